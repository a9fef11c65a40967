#include "SyncController.h"

#include "Base64.h"
#include "Defaults.h"
#include "Gzip.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "PayloadBuilder.h"
#include "ServerDataMerger.h"
#include "StoreFiles.h"
#include "SyncUtils.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

// --- The document as the exchange's store ------------------------------------------------

DocumentSyncStore::DocumentSyncStore(MyDocument &document)
    : m_document(document)
{
}

// The file the document has open, which is not always the application's
// store (corvanectl --store); a store without a file has nothing to back up.
void DocumentSyncStore::backup()
{
    StoreFiles::backupCurrentStore(m_document.managedObjectContext()->storePath());
}

QByteArray DocumentSyncStore::payload()
{
    PayloadBuilder builder(m_document);
    const bool syncedBefore = Defaults::standard().value(QStringLiteral("hasSyncedBefore")).toString()
        == QLatin1String("yes");
    return syncedBefore ? builder.makeUpdatedDataForTransfer() : builder.makeAllDataForTransfer();
}

SyncStore::MergeResult DocumentSyncStore::merge(const QByteArray &message, QString *error)
{
    ServerDataMerger merger(m_document);
    const std::optional<WireLists> lists = merger.parseDataFromServer(message, error);
    if (!lists)
        return MergeResult::NotAMessage;
    return merger.merge(*lists) ? MergeResult::Merged : MergeResult::NotSaved;
}

// --- HTTP ----------------------------------------------------------------------------------

HttpSyncTransport::HttpSyncTransport(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{
}

void HttpSyncTransport::post(const QNetworkRequest &request, const QByteArray &body, Done done)
{
    QNetworkRequest sent = request;
    sent.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    QNetworkReply *reply = m_network->post(sent, body);
    // A redirect is followed as proposed, except away from HTTPS once a
    // request went out over it. (The reply's own URL already names the
    // target when this signal comes, so it cannot tell where it came from.)
    const bool secure = sent.url().scheme() == QLatin1String("https");
    connect(reply, &QNetworkReply::redirected, reply, [reply, secure](const QUrl &target) {
        if (secure && target.scheme() != QLatin1String("https")) {
            qCWarning(lcSync).noquote() << QStringLiteral("Refusing a redirect from HTTPS to %1").arg(target.toString());
            reply->abort();
            return;
        }
        emit reply->redirectAllowed();
    });
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        reply->deleteLater();
        // An error status still brings a body to read; a refused redirect or
        // a time-out (both cancel the reply) brings none.
        if (reply->error() != QNetworkReply::NoError
            && (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isNull()
                || reply->error() == QNetworkReply::OperationCanceledError)) {
            qCWarning(lcSync).noquote() << reply->errorString();
            done({std::nullopt, reply->errorString()});
            return;
        }
        QByteArray body = reply->readAll();
        // Asked for gzip ourselves, so Qt hands the body over as it came.
        if (reply->rawHeader("Content-Encoding").trimmed().compare("gzip", Qt::CaseInsensitive) == 0) {
            // A damaged body reads as an empty reply, which is never merged.
            body = Gzip::inflate(body).value_or(QByteArray());
        }
        done({body});
    });
}

// --- The exchange ----------------------------------------------------------------------------

SyncController::SyncController(SyncStore *store, SyncTransport *transport, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_transport(transport)
{
}

// The form body, each value as it is: the Base64 text keeps "+", "/" and "=".
QByteArray SyncController::requestBody(const QString &deviceId, const QString &email, const QString &passwordHash,
                                       const QByteArray &payload)
{
    const QString force = QStringLiteral("1");
    qCDebug(lcSync).noquote() << QStringLiteral("Force: %1 PBdata:%2").arg(force, QString::fromLatin1(payload.toHex()));
    return QStringLiteral("uid=%1&email=%2&password=%3&message=%4&force=%5")
        .arg(deviceId, email, passwordHash, Base64::encode(payload), force)
        .toUtf8();
}

bool SyncController::uploadToServer(const QString &email, const QString &password)
{
    if (m_syncing)
        return false;
    m_store->backup();
    m_syncing = true;
    const QByteArray payload = m_store->payload();
    if (payload.isEmpty())
        qCInfo(lcSync) << "No data to upload";
    const QByteArray body =
        requestBody(SyncUtils::getDeviceUID(), email, SyncUtils::HashAndSalt(password), payload);
    const QUrl url =
        SyncUtils::serverURL(m_serverBase.value_or(SyncSettings::syncServerBaseURL()), QStringLiteral("/sync/fullSyncV2"));
    QNetworkRequest request = SyncUtils::formRequest(url, body.size());
    request.setRawHeader("Accept-Encoding", "gzip"); // the transport inflates it
    request.setTransferTimeout(int(m_timeout.count()));
    m_transport->post(request, body, [self = QPointer<SyncController>(this)](const SyncTransport::Reply &reply) {
        if (!self)
            return;
        self->report(reply.body ? self->processSyncReply(*reply.body) : Outcome::ConnectionFailed);
    });
    return true;
}

SyncController::Outcome SyncController::processSyncReply(const QByteArray &reply)
{
    const QString text = QString::fromUtf8(reply).trimmed();
    if (text == QLatin1String("<>"))
        return Outcome::Succeeded; // nothing new on the server
    // An empty reply would merge as a message without lists and mark every
    // local list deleted: it is no valid reply.
    if (text.isEmpty())
        return Outcome::UnexpectedReply;
    const std::optional<QByteArray> bytes = Base64::decode(text);
    if (!bytes)
        return Outcome::LoginFailed;
    QString error;
    switch (m_store->merge(*bytes, &error)) {
    case SyncStore::MergeResult::Merged:
        return Outcome::Succeeded;
    case SyncStore::MergeResult::NotAMessage:
        qCWarning(lcSync).noquote() << QStringLiteral("Protobuf data is no good. Exception: %1").arg(error);
        return Outcome::UnexpectedReply;
    case SyncStore::MergeResult::NotSaved:
        break;
    }
    return Outcome::MergeFailed;
}

QString SyncController::failureMessage(Outcome outcome)
{
    const QString support = SyncSettings::supportAddress();
    switch (outcome) {
    case Outcome::Succeeded:
        return {};
    case Outcome::ConnectionFailed:
        return QStringLiteral("Connection failed. Check your internet connectivity.");
    case Outcome::LoginFailed:
        return QStringLiteral("Sync failed. Please check your login and password. If this problem persists, contact %1.")
            .arg(support);
    case Outcome::UnexpectedReply:
        return tr("Unexpected reply from server. Please ensure that you are using the latest version. Contact us at "
                  "%1 for more information.")
            .arg(support);
    case Outcome::MergeFailed:
        break;
    }
    return QStringLiteral("Sync failed");
}

QString SyncController::successMessage()
{
    // The store is Corvane's, whichever program synced it.
    return QStringLiteral("Corvane is now synchronized with server");
}

void SyncController::report(Outcome outcome)
{
    m_syncing = false;
    const QString message = failureMessage(outcome);
    if (outcome != Outcome::Succeeded)
        qCWarning(lcSync).noquote() << QStringLiteral("ERROR syncing: %1").arg(message);
    emit finished(outcome, message);
}
