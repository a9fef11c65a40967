#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkRequest>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

class MyDocument;
class QNetworkAccessManager;
class QNetworkReply;

// What an exchange needs of the store, and nothing more.
class SyncStore
{
public:
    virtual ~SyncStore() = default;
    // Copies the store file into the next rotating backup slot.
    virtual void backup() = 0;
    // The updated payload once a merge has succeeded, the full one before.
    virtual QByteArray payload() = 0;
    // Merges a reply; no (with the reason) when it is not a list message,
    // and no when the store could not be saved afterwards.
    enum class MergeResult { Merged, NotAMessage, NotSaved };
    virtual MergeResult merge(const QByteArray &message, QString *error) = 0;
};

// The document as a SyncStore: its payload builder, merger and store files.
class DocumentSyncStore : public SyncStore
{
public:
    explicit DocumentSyncStore(MyDocument &document);
    void backup() override;
    QByteArray payload() override;
    MergeResult merge(const QByteArray &message, QString *error) override;

private:
    MyDocument &m_document;
};

// One POST with its reply body. The HTTP status is not looked at: the body decides.
class SyncTransport
{
public:
    struct Reply {
        std::optional<QByteArray> body; // none: the connection failed
        QString error = {};             // why it failed, in Qt's words
    };
    using Done = std::function<void(const Reply &)>;
    virtual ~SyncTransport() = default;
    virtual void post(const QNetworkRequest &request, const QByteArray &body, Done done) = 0;
};

// The transport over QNetworkAccessManager: asks for gzip and inflates it,
// follows redirects but never from HTTPS to plain HTTP (the body carries
// the login), and gives up after the request's time-out.
class HttpSyncTransport : public QObject, public SyncTransport
{
    Q_OBJECT
public:
    explicit HttpSyncTransport(QObject *parent = nullptr);
    void post(const QNetworkRequest &request, const QByteArray &body, Done done) override;

private:
    QNetworkAccessManager *m_network;
};

// One sync exchange: backs the store up, sends the payload with the login,
// and merges the reply. One exchange at a time; the outcome arrives through
// finished() on the main thread.
class SyncController : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultTimeout{40000};

    SyncController(SyncStore *store, SyncTransport *transport, QObject *parent = nullptr);

    // Starts an exchange; no while one runs.
    bool uploadToServer(const QString &email, const QString &password);
    bool isSyncing() const { return m_syncing; }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }
    // Another server than the configured one, for this controller only.
    void setServerBaseURL(const QUrl &base) { m_serverBase = base; }

    enum class Outcome { Succeeded, ConnectionFailed, LoginFailed, UnexpectedReply, MergeFailed };
    // The text the sync sheet shows for a failure (empty for success).
    static QString failureMessage(Outcome outcome);
    // "Corvane is now synchronized with server".
    static QString successMessage();

signals:
    void finished(SyncController::Outcome outcome, const QString &message);

private:
    static QByteArray requestBody(const QString &deviceId, const QString &email, const QString &passwordHash,
                                  const QByteArray &payload);
    Outcome processSyncReply(const QByteArray &reply);
    void report(Outcome outcome);

    SyncStore *m_store;
    SyncTransport *m_transport;
    std::chrono::milliseconds m_timeout = DefaultTimeout;
    std::optional<QUrl> m_serverBase;
    bool m_syncing = false;
};
