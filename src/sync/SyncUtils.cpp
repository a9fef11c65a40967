#include "SyncUtils.h"

#include "Defaults.h"
#include "ResourcePath.h"
#include "TODOItem.h"
#include "TODOList.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSysInfo>

namespace {

const QByteArray kSalt = QByteArrayLiteral("quietmarblefoxes");

// The bytes a C text of the string holds: UTF-8, ending before the first NUL.
QByteArray cText(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return bytes;
}

QString sha1Hex(const QByteArray &bytes)
{
    // toHex() writes lower-case digits.
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 0;
}

// The record number a link names, when the link starts with the prefix exactly.
std::optional<qint64> idFromLink(const QUrl &url, const QString &prefix)
{
    if (!url.isValid() || !url.toString().startsWith(prefix))
        return std::nullopt;
    // The last component of the path, a trailing "/" ignored.
    return ResourcePath::idFromURI(url.path());
}

QString stringSetting(const QString &key, const QString &fallback)
{
    const QString value = Defaults::standard().stringValue(key, fallback);
    return value.isEmpty() ? fallback : value;
}

} // namespace

QString SyncUtils::HashAndSalt(const QString &text)
{
    // Cut the whole C text, salt included, at its first NUL.
    QByteArray bytes = kSalt + text.toUtf8();
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return sha1Hex(bytes);
}

QString SyncUtils::SHA1fromString(const QString &text)
{
    return sha1Hex(cText(text));
}

QString SyncUtils::SHA1(const char *text)
{
    return sha1Hex(text ? QByteArray(text) : QByteArray());
}

QString SyncUtils::getDeviceUID()
{
    // The host name does not change while the application runs.
    static const QString uid = HashAndSalt(QSysInfo::machineHostName());
    return uid;
}

std::optional<qint64> SyncUtils::idFromURI(const QString &path)
{
    return ResourcePath::idFromURI(path);
}

QString SyncUtils::urlPrefixForItems()
{
    return QStringLiteral("corvane://%1/api/v1/item/").arg(SyncSettings::syncServerHost());
}

QString SyncUtils::urlPrefixForProjects()
{
    return QStringLiteral("corvane://%1/api/v1/project/").arg(SyncSettings::syncServerHost());
}

std::optional<qint64> SyncUtils::itemIDFromURL(const QUrl &url)
{
    return idFromLink(url, urlPrefixForItems());
}

std::optional<qint64> SyncUtils::projectIDFromURL(const QUrl &url)
{
    return idFromLink(url, urlPrefixForProjects());
}

std::optional<QUrl> SyncUtils::urlForItem(const TODOItem *item)
{
    // serverID() is the 32-bit value every comparison uses.
    if (!item || item->serverID() == 0)
        return std::nullopt;
    return QUrl(urlPrefixForItems() + QString::number(item->serverID()));
}

std::optional<QUrl> SyncUtils::urlForProject(const TODOList *list)
{
    if (!list || list->id_() < 1)
        return std::nullopt;
    return QUrl(urlPrefixForProjects() + QString::number(list->id_()));
}

QByteArray SyncUtils::hexToBinary(const QByteArray &text)
{
    // Files written on other systems break lines (CR LF) or space the digits.
    QByteArray digits = text;
    digits.removeIf([](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); });
    QByteArray out(digits.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i + 1 < digits.size(); i += 2)
        out[i / 2] = char((hexDigit(digits[i]) << 4) | hexDigit(digits[i + 1]));
    return out;
}

QUrl SyncUtils::serverURL(const QUrl &base, const QString &path)
{
    QUrl url = base;
    url.setPath(url.path().remove(QRegularExpression(QStringLiteral("/+$"))) + path);
    return url;
}

QNetworkRequest SyncUtils::formRequest(const QUrl &url, qsizetype bodyLength)
{
    QNetworkRequest request(url);
    request.setRawHeader("Content-Length", QByteArray::number(bodyLength));
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    request.setRawHeader("User-Agent", "MyApp-V1.0");
    return request;
}

namespace SyncSettings {

QUrl syncServerBaseURL()
{
    return QUrl(stringSetting(QStringLiteral("syncServerBaseURL"), QStringLiteral("https://sync.example.com")));
}

QString syncServerHost()
{
    const QString host = syncServerBaseURL().host();
    return host.isEmpty() ? QStringLiteral("sync.example.com") : host;
}

QString makerWebHost()
{
    return stringSetting(QStringLiteral("makerWebHost"), QStringLiteral("www.example.com"));
}

QString widgetsHost()
{
    return stringSetting(QStringLiteral("widgetsHost"), QStringLiteral("widgets.example.com"));
}

QString supportAddress()
{
    return stringSetting(QStringLiteral("supportAddress"), QStringLiteral("support@example.com"));
}

QString clientType()
{
    return stringSetting(QStringLiteral("clientType"), QStringLiteral("linux"));
}

QString versionText()
{
    return QStringLiteral("%1 %2").arg(clientType(), QStringLiteral("1.6.7.20130219-pcw"));
}

} // namespace SyncSettings
