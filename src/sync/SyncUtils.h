#pragma once

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>

#include <optional>

class TODOItem;
class TODOList;

// Class-level helpers of the sync layer: the salted hash, the device
// identifier, resource paths and the corvane:// links, hexadecimal text.
class SyncUtils
{
public:
    // SHA-1 of "quietmarblefoxes" followed by the text (UTF-8, cut at the
    // first NUL) as 40 lower-case hexadecimal digits.
    static QString HashAndSalt(const QString &text);
    // SHA-1 of the text alone, 40 lower-case hexadecimal digits.
    static QString SHA1fromString(const QString &text);
    static QString SHA1(const char *text);
    // The salted hash of this computer's host name, computed once per process.
    static QString getDeviceUID();

    // --- Resource paths and links -------------------------------------------------
    // The last non-empty path component read as a decimal number; none otherwise.
    static std::optional<qint64> idFromURI(const QString &path);
    // "corvane://<sync host>/api/v1/item/" and ".../project/".
    static QString urlPrefixForItems();
    static QString urlPrefixForProjects();
    static std::optional<qint64> itemIDFromURL(const QUrl &url);
    static std::optional<qint64> projectIDFromURL(const QUrl &url);
    // None for an item without serverID, or a list with id_ below 1.
    static std::optional<QUrl> urlForItem(const TODOItem *item);
    static std::optional<QUrl> urlForProject(const TODOList *list);

    // --- Hexadecimal text ---------------------------------------------------------
    // Pairs of hexadecimal digits to bytes (half the length, an odd last digit
    // dropped). ASCII white space (space, tab, line breaks, CR, vertical tab,
    // form feed) is skipped; any other character counts as the digit 0.
    static QByteArray hexToBinary(const QByteArray &text);

    // The base address with a path appended, whether or not the base ends in "/".
    static QUrl serverURL(const QUrl &base, const QString &path);
    // --- Requests to the maker's servers -------------------------------------------
    // A form POST as every exchange sends it: Content-Length, Content-Type
    // "application/x-www-form-urlencoded" and User-Agent "MyApp-V1.0".
    static QNetworkRequest formRequest(const QUrl &url, qsizetype bodyLength);
};

// Where the maker's servers are: per-user defaults with placeholders under a
// reserved example domain until real addresses are configured.
namespace SyncSettings {
// "syncServerBaseURL", default "https://sync.example.com"
QUrl syncServerBaseURL();
// The host name of the sync server (fills the corvane:// link prefixes).
QString syncServerHost();
// "makerWebHost", default "www.example.com"
QString makerWebHost();
// "widgetsHost", default "widgets.example.com"
QString widgetsHost();
// "supportAddress", default "support@example.com"
QString supportAddress();
// "clientType", default "linux": the word sent as the client's type.
QString clientType();
// The client-type word, a blank and the application version.
QString versionText();
} // namespace SyncSettings
