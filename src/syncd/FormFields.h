#pragma once

#include <QByteArray>
#include <QHash>

// A form body as Corvane clients write it: fields split at "&", each at its
// first "=", values taken as they are. Clients do not percent-encode, so a
// Base64 "+" stays a "+" (form decoding would turn it into a blank) and "="
// padding stays part of the value. A name given twice keeps its last value.
namespace FormFields {

QHash<QByteArray, QByteArray> parse(const QByteArray &body);

} // namespace FormFields
