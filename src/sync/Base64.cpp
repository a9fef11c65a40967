#include "Base64.h"

#include <array>

namespace {

// The six bits of each alphabet character; everything else reads as zero.
constexpr std::array<quint8, 128> decodingTable()
{
    std::array<quint8, 128> table{};
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (quint8 i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = i;
    return table;
}

} // namespace

QString Base64::encode(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

std::optional<QByteArray> Base64::decode(const QString &text)
{
    static constexpr std::array<quint8, 128> table = decodingTable();
    const qsizetype length = text.size();
    if (length % 4 != 0)
        return std::nullopt;
    qsizetype padding = 0;
    while (padding < length && text[length - 1 - padding] == QLatin1Char('='))
        ++padding;

    QByteArray bytes;
    bytes.reserve(length / 4 * 3);
    for (qsizetype i = 0; i < length; i += 4) {
        quint32 group = 0;
        for (qsizetype j = i; j < i + 4; ++j) {
            const char16_t c = text[j].unicode();
            if (c > 127)
                return std::nullopt;
            group = (group << 6) | table[c];
        }
        bytes.append(char(group >> 16)).append(char(group >> 8)).append(char(group));
    }
    bytes.chop(std::min(padding, bytes.size()));
    return bytes;
}
