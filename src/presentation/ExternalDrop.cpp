#include "ExternalDrop.h"

#include "Logging.h"
#include "MailMessage.h"
#include "Utils.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QSet>
#include <QTextDocumentFragment>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
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
constexpr qint64 kMaxMailBytes = 1024 * 1024;

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

// The first MiB of a regular local file: a message's headers and text come
// before its attachments, so a large message still gives its subject and body.
std::optional<QByteArray> readMailFile(const QUrl &url)
{
    QFile file(url.toLocalFile());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(kMaxMailBytes);
}

// A mail: its subject, its plain body as notes, linked by its identifier.
Item mailItem(const QByteArray &raw)
{
    const MailMessage message = MailMessage::read(raw);
    const QString link = message.messageId.isEmpty()
        ? QString()
        : QStringLiteral("mid:") + QString::fromLatin1(QUrl::toPercentEncoding(message.messageId, "@"));
    return {message.subject, message.body, kEnvelope, link};
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
        if (const std::optional<QByteArray> bytes = readMailFile(url)) {
            Item mail = mailItem(*bytes);
            if (mail.url.isEmpty())
                mail.url = link;
            if (mail.title.isEmpty())
                mail.title = QFileInfo(url.toLocalFile()).fileName();
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

QString ExternalDrop::getSelectedEmailBody(const QString &)
{
    qCInfo(lcUi) << "Mail app is not running; no messages to select";
    return {};
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
