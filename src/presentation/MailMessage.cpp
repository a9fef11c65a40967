#include "MailMessage.h"

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextDocumentFragment>

#include <cctype>

namespace {

// Deeper nesting than any mail client writes is not followed.
constexpr int kMaxDepth = 8;

// A message or one part of it.
struct Entity {
    QHash<QByteArray, QByteArray> headers; // lower-case names, unfolded, the first of each name
    QByteArray body;
};

// The header block ends at the first empty line. A folded line continues the
// header above it; a line without a colon is skipped.
Entity parseEntity(const QByteArray &raw)
{
    Entity entity;
    QByteArray name;
    qsizetype pos = 0;
    while (pos < raw.size()) {
        qsizetype end = raw.indexOf('\n', pos);
        if (end < 0)
            end = raw.size();
        QByteArray line = raw.mid(pos, end - pos);
        pos = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty()) {
            entity.body = raw.mid(pos);
            break;
        }
        if (line.startsWith(' ') || line.startsWith('\t')) {
            if (!name.isEmpty())
                entity.headers[name] += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        name = colon > 0 ? line.left(colon).trimmed().toLower() : QByteArray();
        if (name.isEmpty() || entity.headers.contains(name))
            name.clear();
        else
            entity.headers.insert(name, line.mid(colon + 1).trimmed());
    }
    return entity;
}

// Text in the declared charset; when the charset is unknown or the bytes are
// not in it, UTF-8, and failing that Windows-1252, which is what senders that
// leave the charset out or get it wrong most often write.
QString decodeText(const QByteArray &bytes, const QByteArray &charset)
{
    for (const QByteArray &name : {charset.isEmpty() ? QByteArray("UTF-8") : charset, QByteArray("UTF-8")}) {
        // Stateless: bytes of a character cut off at the end are an error, not held back.
        QStringDecoder decoder(name.constData(), QStringDecoder::Flag::Stateless);
        if (!decoder.isValid())
            continue;
        const QString text = decoder(bytes);
        if (!decoder.hasError())
            return text;
    }
    QStringDecoder fallback("windows-1252");
    return fallback(bytes);
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '=') {
            out += in[i];
            continue;
        }
        // A soft line break: "=" with at most blanks after it before the line ends.
        qsizetype next = i + 1;
        while (next < in.size() && (in[next] == ' ' || in[next] == '\t'))
            ++next;
        if (next < in.size() && (in[next] == '\n' || in[next] == '\r')) {
            i = next + (in[next] == '\r' && next + 1 < in.size() && in[next + 1] == '\n' ? 1 : 0);
        } else if (i + 2 < in.size() && std::isxdigit(uchar(in[i + 1])) && std::isxdigit(uchar(in[i + 2]))) {
            out += char(in.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += '=';
        }
    }
    return out;
}

// Header text with its encoded words ("=?charset?B?...?=" or "?Q?") decoded.
// Blanks between two encoded words are dropped, and adjacent words of one
// charset are decoded together: senders split a character's bytes across them.
QString decodeHeader(const QByteArray &value)
{
    static const QRegularExpression word(QStringLiteral("=\\?([^?\\s]+)\\?([BbQq])\\?([^?\\s]*)\\?="));
    const QString text = decodeText(value, "UTF-8");
    QString out;
    QByteArray pending;
    QByteArray pendingCharset;
    qsizetype last = -1;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const qsizetype from = qMax(last, qsizetype(0));
        const QString between = text.mid(from, match.capturedStart() - from);
        const bool adjacent = last >= 0 && between.trimmed().isEmpty();
        // RFC 2231 lets a language follow the charset after "*".
        const QByteArray charset = match.captured(1).section(QLatin1Char('*'), 0, 0).toLatin1().toLower();
        if (!adjacent || charset != pendingCharset) {
            out += decodeText(pending, pendingCharset);
            pending.clear();
        }
        if (!adjacent)
            out += between;
        const QByteArray data = match.captured(3).toLatin1();
        pending += match.captured(2).toUpper() == QLatin1String("B")
            ? QByteArray::fromBase64(data)
            : decodeQuotedPrintable(QByteArray(data).replace('_', ' '));
        pendingCharset = charset;
        last = match.capturedEnd();
    }
    out += decodeText(pending, pendingCharset);
    return out + text.mid(qMax(last, qsizetype(0)));
}

// A parameter of a header such as Content-Type, quoted or not.
QByteArray parameter(const QByteArray &header, const QString &name)
{
    const QRegularExpression param(QStringLiteral("(?:^|;)\\s*%1\\s*=\\s*(?:\"([^\"]*)\"|([^;\\s]+))").arg(name),
                                   QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = param.match(QString::fromLatin1(header));
    return (match.hasCaptured(1) ? match.captured(1) : match.captured(2)).toLatin1();
}

// The parts between the boundary's delimiter lines. A part that the input
// ends in without its closing delimiter is taken as far as it goes.
QList<QByteArray> bodyParts(const QByteArray &body, const QByteArray &boundary)
{
    const QByteArray delimiter = "--" + boundary;
    QList<QByteArray> parts;
    qsizetype start = -1;
    qsizetype pos = 0;
    while (pos < body.size()) {
        qsizetype end = body.indexOf('\n', pos);
        if (end < 0)
            end = body.size();
        const QByteArrayView line = QByteArrayView(body).sliced(pos, end - pos);
        if (line.startsWith(delimiter)) {
            if (start >= 0)
                parts.append(body.mid(start, pos - start));
            if (line.startsWith(delimiter + "--"))
                return parts;
            start = end + 1;
        }
        pos = end + 1;
    }
    if (start >= 0 && start < body.size())
        parts.append(body.mid(start));
    return parts;
}

QByteArray mediaType(const QByteArray &contentType)
{
    const qsizetype end = contentType.indexOf(';');
    return (end < 0 ? contentType : contentType.first(end)).trimmed().toLower();
}

// The entity's body with its transfer encoding undone, in its charset.
QString bodyText(const Entity &entity, const QByteArray &contentType)
{
    const QByteArray encoding = entity.headers.value("content-transfer-encoding").trimmed().toLower();
    QByteArray bytes = entity.body;
    if (encoding == "base64")
        bytes = QByteArray::fromBase64(bytes);
    else if (encoding == "quoted-printable")
        bytes = decodeQuotedPrintable(bytes);
    return decodeText(bytes, parameter(contentType, QStringLiteral("charset")));
}

struct Texts {
    QString plain;
    QString html; // as plain text
};

// The first plain-text part and the first HTML part that are not attachments.
void findTexts(const Entity &entity, Texts &found, int depth)
{
    if (entity.headers.value("content-disposition").trimmed().toLower().startsWith("attachment"))
        return;
    const QByteArray contentType = entity.headers.value("content-type", "text/plain");
    const QByteArray type = mediaType(contentType);
    if (type.startsWith("multipart/")) {
        const QByteArray boundary = parameter(contentType, QStringLiteral("boundary"));
        if (depth >= kMaxDepth || boundary.isEmpty())
            return;
        for (const QByteArray &part : bodyParts(entity.body, boundary)) {
            findTexts(parseEntity(part), found, depth + 1);
            if (!found.plain.isEmpty())
                return;
        }
    } else if (type == "text/plain" || type.isEmpty()) {
        found.plain = bodyText(entity, contentType).trimmed();
    } else if (type == "text/html" && found.html.isEmpty()) {
        found.html = QTextDocumentFragment::fromHtml(bodyText(entity, contentType)).toPlainText().trimmed();
    }
}

} // namespace

MailMessage MailMessage::read(const QByteArray &raw)
{
    const Entity message = parseEntity(raw);
    Texts texts;
    findTexts(message, texts, 0);
    QString body = texts.plain.isEmpty() ? texts.html : texts.plain;
    body.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));

    const QByteArray id = message.headers.value("message-id");
    const qsizetype open = id.indexOf('<');
    const qsizetype close = id.indexOf('>', open + 1);
    const QString messageId = open >= 0 && close > open + 1 ? QString::fromUtf8(id.mid(open + 1, close - open - 1)) : QString();
    return {decodeHeader(message.headers.value("subject")).simplified(), body.trimmed(), messageId};
}
