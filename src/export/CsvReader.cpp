#include "CsvReader.h"

#include "Logging.h"

#include <QFile>
#include <QStringDecoder>
#include <QTextBoundaryFinder>

#include <iconv.h>

#include <cerrno>
#include <optional>
#include <vector>

namespace {

const QString kUndecodable = QStringLiteral("unable to interpret current chunk as a string");

// Where the text's encoding is not one of Qt's own, iconv decodes it.
enum class Eight { Windows1252, MacRoman };

struct Detected {
    std::optional<QStringConverter::Encoding> unicode; // none: an 8-bit encoding
    Eight eight = Eight::Windows1252;
    int bomLength = 0;
};

bool startsWith(const QByteArray &bytes, std::initializer_list<unsigned char> mark)
{
    if (bytes.size() < qsizetype(mark.size()))
        return false;
    qsizetype i = 0;
    for (const unsigned char byte : mark) {
        if (static_cast<unsigned char>(bytes.at(i++)) != byte)
            return false;
    }
    return true;
}

// The encoding, from the first chunk's byte-order mark or content.
Detected detectEncoding(const QByteArray &chunk)
{
    using E = QStringConverter::Encoding;
    if (chunk.isEmpty())
        return {E::Utf8, {}, 0};
    if (startsWith(chunk, {0xEF, 0xBB, 0xBF}))
        return {E::Utf8, {}, 3};
    if (startsWith(chunk, {0xFE, 0xFF}))
        return {E::Utf16BE, {}, 2};
    if (startsWith(chunk, {0xFF, 0xFE, 0x00, 0x00}))
        return {E::Utf32LE, {}, 4};
    if (startsWith(chunk, {0xFF, 0xFE}))
        return {E::Utf16LE, {}, 2};
    if (startsWith(chunk, {0x00, 0x00, 0xFE, 0xFF}))
        return {E::Utf32BE, {}, 4};
    const auto first = static_cast<unsigned char>(chunk.at(0));
    if (first == 0xEF || first == 0xFE || first == 0xFF || first == 0x00)
        return {std::nullopt, Eight::Windows1252, 0};
    // A chunk may end inside a character; the stateful decoder holds that back.
    QStringDecoder utf8(E::Utf8);
    const QString probe = utf8.decode(chunk);
    Q_UNUSED(probe)
    if (!utf8.hasError()) {
        qCInfo(lcDocument) << "unable to determine file encoding; assuming UTF8";
        return {E::Utf8, {}, 0};
    }
    qCInfo(lcDocument) << "unable to determine file encoding; assuming MacOSRoman";
    return {std::nullopt, Eight::MacRoman, 0};
}

std::optional<QString> decodeEightBit(const QByteArray &bytes, Eight encoding)
{
    iconv_t converter = iconv_open("UTF-8", encoding == Eight::MacRoman ? "MACINTOSH" : "WINDOWS-1252");
    if (converter == iconv_t(-1))
        return std::nullopt;
    // One byte gives at most one character of three UTF-8 bytes.
    std::vector<char> output(size_t(bytes.size()) * 3 + 1);
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *out = output.data();
    size_t outLeft = output.size();
    const size_t converted = iconv(converter, &in, &inLeft, &out, &outLeft);
    iconv_close(converter);
    if (converted == size_t(-1))
        return std::nullopt; // a byte without a character (EILSEQ)
    return QString::fromUtf8(output.data(), out - output.data());
}

std::optional<QString> decode(const QByteArray &bytes, const Detected &detected)
{
    const QByteArray text = bytes.mid(detected.bomLength);
    if (!detected.unicode)
        return decodeEightBit(text, detected.eight);
    // A last code unit cut off: UTF-16 and UTF-32 come in two and four bytes.
    using E = QStringConverter::Encoding;
    const int unit = *detected.unicode == E::Utf8 ? 1 : (*detected.unicode == E::Utf16LE || *detected.unicode == E::Utf16BE) ? 2 : 4;
    if (text.size() % unit != 0)
        return std::nullopt;
    // Stateless: a character cut off at the end is an error too. A second
    // byte-order mark is text.
    QStringDecoder decoder(*detected.unicode,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString decoded = decoder.decode(text);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

bool isLineBreak(QChar c)
{
    switch (c.unicode()) {
    case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x85: case 0x2028: case 0x2029:
        return true;
    default:
        return false;
    }
}

QString trimLineBreaks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isLineBreak(text.at(begin)))
        ++begin;
    while (end > begin && isLineBreak(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// A field's value from its text as read, quotes and backslashes included.
// Blanks around the quotes go first, so that `a, "b, c"` reads as `a, b, c`
// would without the blanks.
QString fieldValue(const QString &raw)
{
    QString text = trimLineBreaks(raw).trimmed();
    if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
        text = text.mid(1, text.size() - 2);
    text = text.trimmed();
    text.replace(QLatin1String("\"\""), QLatin1String("\""));
    QString value;
    value.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\\') && i + 1 < text.size())
            ++i;
        else if (text.at(i) == QLatin1Char('\\'))
            continue;
        value += text.at(i);
    }
    return value;
}

// The parse's state between two characters.
struct ParseState {
    QList<QStringList> records;
    QStringList record;
    QString field;
    qint64 recordNumber = 0;
    bool inRecord = false;   // a record has begun and not ended
    bool inComment = false;
    bool inQuotes = false;
    bool escaping = false;   // the previous character was an escaping backslash
    bool justClosed = false; // the previous character closed a quoted section

    void endField()
    {
        record.append(fieldValue(field));
        field.clear();
    }
    void endRecord()
    {
        endField();
        records.append(record);
        record.clear();
        inRecord = false;
    }
};

} // namespace

CsvReader::Result CsvReader::readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, InputError, QStringLiteral("Unable to open file for reading")};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {{}, InputError, QStringLiteral("Unable to read from input stream")};
    return read(bytes);
}

CsvReader::Result CsvReader::read(const QByteArray &bytes)
{
    const std::optional<QString> text = decode(bytes, detectEncoding(bytes.left(ChunkSize)));
    if (!text)
        return {{}, InputError, kUndecodable};
    return parse(*text);
}

CsvReader::Result CsvReader::parse(const QString &text)
{
    ParseState state;
    QTextBoundaryFinder clusters(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = clusters.toNextBoundary();
        const QStringView c = QStringView(text).mid(start, (end < 0 ? text.size() : end) - start);
        start += c.size();
        const bool lineBreak = isLineBreak(c.front());

        if (!state.inRecord) {
            // Blank lines and the rest of a run of line breaks yield nothing.
            if (state.inComment || lineBreak) {
                state.inComment = state.inComment && !lineBreak;
                continue;
            }
            if (c == QLatin1String("#")) {
                state.inComment = true;
                continue;
            }
            state.inRecord = true;
            ++state.recordNumber;
        }

        if (state.escaping) {
            state.field += c;
            state.escaping = false;
            continue;
        }
        const bool quote = c == QLatin1String("\"");
        const bool backslash = c == QLatin1String("\\");
        const bool delimiter = c == QLatin1String(",");
        if (state.justClosed && !(delimiter || lineBreak || quote || backslash)) {
            const QString message = QStringLiteral("Invalid CSV format on line #%1 immediately after \"%2\"")
                                        .arg(state.recordNumber)
                                        .arg(state.field);
            return {{}, FormatError, message};
        }
        state.justClosed = false;
        if (backslash) {
            state.field += c;
            state.escaping = true;
        } else if (quote) {
            state.field += c;
            state.inQuotes = !state.inQuotes;
            state.justClosed = !state.inQuotes;
        } else if (delimiter && !state.inQuotes) {
            state.endField();
        } else if (lineBreak && !state.inQuotes) {
            state.endRecord();
        } else {
            state.field += c;
        }
    }
    // A record still open at the end (even after a final delimiter) ends there.
    if (state.inRecord)
        state.endRecord();
    return {state.records, NoError, {}};
}
