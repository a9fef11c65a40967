#include "ExternalDrop.h"

#include "Logging.h"
#include "Utils.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

namespace {

using Item = ExternalDrop::Item;

const QString kEnvelope = QStringLiteral("green_envelope128.png");
const QString kPen = QStringLiteral("green_pen128.png");
const QString kFileCabinet = QStringLiteral("green_filecabinet128.png");
const QString kWorld = QStringLiteral("green_world128.png");
const QString kMailType = QStringLiteral("message/rfc822");
const QString kMozUrlType = QStringLiteral("text/x-moz-url");
const QString kOmniFocusType = QStringLiteral("com.omnigroup.omnifocus.pboard.tasks.v1");
const QString kRtfType = QStringLiteral("text/rtf");
constexpr qint64 kMaxFileSize = 1024 * 1024;

// The address of "Name <addr>": the last non-empty piece between the angle
// brackets, when it is an address; empty otherwise.
QString validateRichEmail(const QString &text)
{
    static const QRegularExpression brackets(QStringLiteral("[<>]"));
    const QStringList pieces = text.split(brackets, Qt::SkipEmptyParts);
    return !pieces.isEmpty() && Utils::validateEmail(pieces.last()) ? pieces.last() : QString();
}

bool isEvernote(const QString &plain)
{
    return plain.startsWith(QLatin1String("evernote:"));
}

// Only a file on this machine is ever opened.
bool isFile(const QUrl &url)
{
    return url.isLocalFile() && (url.host().isEmpty() || url.host() == QLatin1String("localhost"));
}

bool isWWW(const QUrl &url)
{
    return url.scheme().startsWith(QLatin1String("http"));
}

// A mail application's message link, or a saved message file.
bool isEmail(const QUrl &url)
{
    return url.scheme() == QLatin1String("message")
        || (isFile(url) && url.path().endsWith(QLatin1String(".eml"), Qt::CaseInsensitive));
}

// The bytes of a regular local file of at most 1 MiB; nothing otherwise.
std::optional<QByteArray> readSmallFile(const QUrl &url)
{
    QFile file(url.toLocalFile());
    const QFileInfo info(file);
    if (!info.isFile() || info.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(kMaxFileSize + 1);
    if (bytes.size() > kMaxFileSize)
        return std::nullopt;
    return bytes;
}

QString decodeCharset(const QByteArray &bytes, const QByteArray &charset)
{
    QStringDecoder decoder(charset.isEmpty() ? "UTF-8" : charset.constData());
    return decoder.isValid() ? QString(decoder(bytes)) : QString::fromLatin1(bytes);
}

QByteArray decodeQuotedPrintable(const QByteArray &in)
{
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        const QByteArray next = in.mid(i + 1, 2);
        if (in[i] != '=') {
            out += in[i];
        } else if (next.startsWith('\n') || next == "\r\n") {
            i += next.startsWith('\n') ? 1 : 2;  // soft line break
        } else if (next.size() == 2 && std::isxdigit(uchar(next[0])) && std::isxdigit(uchar(next[1]))) {
            out += char(next.toInt(nullptr, 16));
            i += 2;
        } else {
            out += '=';
        }
    }
    return out;
}

// Header text with its "=?charset?B|Q?...?=" words decoded; blanks between
// two encoded words are dropped.
QString decodeHeader(const QByteArray &value)
{
    static const QRegularExpression word(QStringLiteral("=\\?([^?]+)\\?([BbQq])\\?([^?]*)\\?="));
    const QString text = QString::fromUtf8(value);
    QString out;
    qsizetype last = 0;
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const QString between = text.mid(last, match.capturedStart() - last);
        if (last == 0 || !between.trimmed().isEmpty())
            out += between;
        const QByteArray data = match.captured(3).toLatin1();
        const QByteArray bytes = match.captured(2).toUpper() == QLatin1String("B")
            ? QByteArray::fromBase64(data)
            : decodeQuotedPrintable(QByteArray(data).replace('_', ' '));
        out += decodeCharset(bytes, match.captured(1).section(QLatin1Char('*'), 0, 0).toLatin1());
        last = match.capturedEnd();
    }
    return out + text.mid(last);
}

QByteArray headerParameter(const QByteArray &value, const QString &name)
{
    const QRegularExpression param(name + QStringLiteral("\\s*=\\s*\"?([^\";]+)\"?"),
                                   QRegularExpression::CaseInsensitiveOption);
    return param.match(QString::fromLatin1(value)).captured(1).trimmed().toLatin1();
}

struct Message {
    QHash<QByteArray, QByteArray> headers;  // lower-case names, unfolded, first occurrence
    QByteArray body;
};

Message parseMessage(const QByteArray &raw)
{
    Message message;
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
            message.body = raw.mid(pos);
            break;
        }
        const qsizetype colon = line.indexOf(':');
        if (line.startsWith(' ') || line.startsWith('\t')) {
            if (!name.isEmpty())
                message.headers[name] += ' ' + line.trimmed();
        } else if (colon > 0) {
            name = line.left(colon).trimmed().toLower();
            if (message.headers.contains(name))
                name.clear();
            else
                message.headers.insert(name, line.mid(colon + 1).trimmed());
        }
    }
    return message;
}

// The first plain-text part of a message, decoded.
QString plainBody(const Message &message, int depth = 0)
{
    const QByteArray contentType = message.headers.value("content-type", "text/plain");
    const QByteArray type = contentType.trimmed().toLower();
    if (type.startsWith("multipart/") && depth < 8) {
        const QByteArray boundary = "--" + headerParameter(contentType, QStringLiteral("boundary"));
        for (qsizetype pos = message.body.indexOf(boundary); boundary.size() > 2 && pos >= 0;) {
            const qsizetype start = message.body.indexOf('\n', pos) + 1;
            const qsizetype next = message.body.indexOf(boundary, start);
            if (start <= 0 || next < 0)
                break;
            const QString text = plainBody(parseMessage(message.body.mid(start, next - start)), depth + 1);
            if (!text.isEmpty())
                return text;
            pos = next;
        }
        return {};
    }
    if (!type.startsWith("text/plain"))
        return {};
    const QByteArray encoding = message.headers.value("content-transfer-encoding").trimmed().toLower();
    QByteArray bytes = message.body;
    if (encoding == "base64")
        bytes = QByteArray::fromBase64(bytes);
    else if (encoding == "quoted-printable")
        bytes = decodeQuotedPrintable(bytes);
    return decodeCharset(bytes, headerParameter(contentType, QStringLiteral("charset"))).trimmed();
}

// "mid:" and the Message-ID without its angle brackets, or empty.
QString extractMessageID(const Message &message)
{
    const QByteArray id = message.headers.value("message-id");
    const qsizetype open = id.indexOf('<');
    const qsizetype close = id.indexOf('>', open + 1);
    if (open < 0 || close <= open + 1)
        return {};
    const QString bare = QString::fromUtf8(id.mid(open + 1, close - open - 1));
    return QStringLiteral("mid:") + QString::fromLatin1(QUrl::toPercentEncoding(bare, "@"));
}

// A mail: its subject, its plain body as notes, linked by its identifier.
Item mailItem(const QByteArray &raw)
{
    const Message message = parseMessage(raw);
    return {decodeHeader(message.headers.value("subject")).simplified(), plainBody(message), kEnvelope,
            extractMessageID(message)};
}

// The drag's text: the plain text, else the text of the HTML.
QString extractText(const QMimeData *data)
{
    QString text = data->text().trimmed();
    if (text.isEmpty() && data->hasHtml())
        text = QTextDocumentFragment::fromHtml(data->html()).toPlainText().trimmed();
    qCDebug(lcUi, "text = '%s'", qUtf8Printable(text));
    return text;
}

// The task names as "* name" lines and their notes as indented lines; the
// names of contexts are left out.
QString extractOmnifocusText(const QByteArray &xml)
{
    static const QSet<QString> tracked{QStringLiteral("task"), QStringLiteral("context"), QStringLiteral("name"),
                                       QStringLiteral("lit")};
    QSet<QString> open;
    QString text;
    QXmlStreamReader reader(xml);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        const QString name = reader.name().toString();
        if (token == QXmlStreamReader::StartElement && tracked.contains(name))
            open.insert(name);
        else if (token == QXmlStreamReader::EndElement)
            open.remove(name);
        else if (token == QXmlStreamReader::Characters && !reader.isWhitespace()
                 && !open.contains(QStringLiteral("context"))) {
            if (open.contains(QStringLiteral("name")))
                text += QStringLiteral("* %1\n").arg(reader.text());
            else if (open.contains(QStringLiteral("lit")))
                text += QStringLiteral(" %1\n").arg(reader.text());
        }
    }
    if (reader.hasError())
        qCWarning(lcUi, "task XML: %s", qUtf8Printable(reader.errorString()));
    return text;
}

Item omniFocusItem(const QMimeData *data)
{
    const QByteArray rtf = data->data(kRtfType);
    const qsizetype start = rtf.indexOf("omnifocus:///");
    const QString link = start < 0 ? QString() : QString::fromUtf8(rtf.mid(start, rtf.indexOf('"', start) - start));
    qCDebug(lcUi, "link: '%s'", qUtf8Printable(link));
    return {extractText(data), extractOmnifocusText(data->data(kOmniFocusType)), kPen, link};
}

// The dropped URLs in order, each with the title a browser gave it.
QList<std::pair<QUrl, QString>> droppedUrls(const QMimeData *data)
{
    const QByteArray moz = data->data(kMozUrlType);
    QString mozText = QString::fromUtf16(reinterpret_cast<const char16_t *>(moz.constData()), moz.size() / 2);
    mozText.remove(QChar::ByteOrderMark).remove(QChar::Null).remove(QLatin1Char('\r'));
    const QStringList lines = mozText.split(QLatin1Char('\n'));
    QList<std::pair<QUrl, QString>> urls;
    for (qsizetype i = 0; i < lines.size(); i += 2) {
        if (!lines[i].trimmed().isEmpty())
            urls.append({QUrl(lines[i].trimmed()), i + 1 < lines.size() ? lines[i + 1].trimmed() : QString()});
    }
    if (data->hasUrls()) {
        QList<std::pair<QUrl, QString>> listed;
        for (const QUrl &url : data->urls()) {
            const auto titled =
                std::find_if(urls.cbegin(), urls.cend(), [&url](const auto &u) { return u.first == url; });
            listed.append({url, titled == urls.cend() ? QString() : titled->second});
        }
        urls = listed;
    }
    urls.removeIf([](const auto &u) { return !u.first.isValid() || u.first.scheme().isEmpty(); });
    return urls;
}

// One dropped URL: a mail, a file, a web page, or any other link.
Item urlItem(const QUrl &url, const QString &title)
{
    const QString link = url.toString(QUrl::FullyEncoded);
    if (isEmail(url) && url.scheme() == QLatin1String("message"))
        return {title, {}, kEnvelope, link};
    if (isEmail(url)) {
        if (const std::optional<QByteArray> bytes = readSmallFile(url)) {
            Item mail = mailItem(*bytes);
            if (mail.url.isEmpty())
                mail.url = link;
            return mail;
        }
    }
    if (isFile(url)) {
        const QString path = url.path();
        return {path.section(QLatin1Char('/'), -1, -1, QString::SectionSkipEmpty), {}, kFileCabinet, link};
    }
    return {title, {}, isWWW(url) ? kWorld : kPen, link};
}

}  // namespace

QString ExternalDrop::extractMessageID(const QString &url)
{
    if (!url.startsWith(QLatin1String("message:")))
        return {};
    QString id = QUrl::fromPercentEncoding(url.mid(8).toUtf8());
    if (id.startsWith(QLatin1Char('<')) && id.endsWith(QLatin1Char('>')))
        id = id.mid(1, id.size() - 2);
    return id;
}

QList<ExternalDrop::Item> ExternalDrop::items(const QMimeData *data)
{
    if (data->hasFormat(kMailType))
        return {mailItem(data->data(kMailType))};
    const QString plain = data->text().trimmed();
    if (Utils::validateEmail(plain))
        return {{plain, {}, kEnvelope, QStringLiteral("mailto:") + plain}};
    if (const QString address = validateRichEmail(plain); !address.isEmpty())
        return {{plain, {}, kEnvelope, QStringLiteral("mailto:") + address}};
    if (isEvernote(plain)) {
        const QString html = QTextDocumentFragment::fromHtml(data->html()).toPlainText().trimmed();
        return {{html.isEmpty() ? plain : html, {}, kPen, plain}};
    }
    if (data->hasFormat(kOmniFocusType))
        return {omniFocusItem(data)};
    const QList<std::pair<QUrl, QString>> urls = droppedUrls(data);
    const QString text = extractText(data);
    if (urls.isEmpty())
        return text.isEmpty() ? QList<Item>{} : QList<Item>{{text, {}, kPen, {}}};
    QList<Item> made;
    for (const auto &[url, title] : urls) {
        const QString name = !title.isEmpty() ? title : urls.size() == 1 && !text.isEmpty() ? text : url.toString();
        made.append(urlItem(url, name));
    }
    return made;
}
