#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Base64 as the sync server speaks it: the standard alphabet with "="
// padding and no line breaks.
class Base64
{
public:
    static QString encode(const QByteArray &bytes);
    // Nothing for a text that is not plain ASCII or whose length is not a
    // multiple of 4. Trailing "=" characters set the output length; any other
    // character outside the alphabet counts as zero bits.
    static std::optional<QByteArray> decode(const QString &text);
};
