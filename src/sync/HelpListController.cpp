#include "HelpListController.h"

#include "Defaults.h"
#include "Logging.h"
#include "MyDocument.h"
#include "ServerDataMerger.h"
#include "SyncUtils.h"


#include <algorithm>
#include <utility>

// --- The document as the help list's store --------------------------------------------------

DocumentHelpListStore::DocumentHelpListStore(MyDocument &document)
    : m_document(document)
{
}

SyncStore::MergeResult DocumentHelpListStore::addLists(const QByteArray &message, QString *error)
{
    ServerDataMerger merger(m_document);
    const std::optional<WireLists> lists = merger.parseDataFromServer(message, error);
    if (!lists)
        return SyncStore::MergeResult::NotAMessage;
    // Reset: every list becomes a new one, even when the help list is added twice.
    const bool saved = merger.merge(*lists, true, false);
    m_document.rearrangeProjectArrayController();
    return saved ? SyncStore::MergeResult::Merged : SyncStore::MergeResult::NotSaved;
}

// --- The download ----------------------------------------------------------------------------

namespace {

// The first five characters (all of a shorter text) are non-zero hexadecimal
// digits. A list message starts with C2 3E, so its text passes.
bool startsAsHelpList(const QString &text)
{
    return std::all_of(text.begin(), text.begin() + std::min<qsizetype>(5, text.size()), [](QChar c) {
        return (c >= u'1' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    });
}

} // namespace

HelpListController::HelpListController(HelpListStore *store, SyncTransport *transport, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_transport(transport)
{
}

bool HelpListController::downloadHelpList(After after)
{
    if (m_after) {
        after(Outcome::Failed);
        return false;
    }
    m_after = std::move(after);
    // Each value as it is: none of them holds a character a form would escape.
    const QByteArray body = QStringLiteral("uid=%1&version=%2&type=%3&event=helplist")
                                .arg(SyncUtils::getDeviceUID(), SyncSettings::versionText(), SyncSettings::clientType())
                                .toUtf8();
    const QUrl url = SyncUtils::serverURL(SyncSettings::syncServerBaseURL(), QStringLiteral("/sync/returnMacHelpList"));
    QNetworkRequest request = SyncUtils::formRequest(url, body.size());
    // The transport inflates a gzip reply when it was asked for.
    request.setRawHeader("Accept-Encoding", "gzip");
    request.setTransferTimeout(int(m_timeout.count()));
    m_transport->post(request, body, [self = QPointer<HelpListController>(this)](const SyncTransport::Reply &reply) {
        if (!self)
            return;
        const Outcome outcome = reply.body ? self->processReply(*reply.body) : Outcome::ConnectionFailed;
        const After after = std::exchange(self->m_after, nullptr);
        after(outcome);
    });
    return true;
}

HelpListController::Outcome HelpListController::processReply(const QByteArray &reply)
{
    const QString text = QString::fromUtf8(reply).trimmed();
    qCDebug(lcSync).noquote() << QStringLiteral("cleaned response string: %1").arg(text);
    if (!startsAsHelpList(text))
        return Outcome::Failed;
    // Two letters or fewer hold no list: nothing is added, and that is no failure.
    if (text.size() >= 3) {
        QString error;
        switch (m_store->addLists(SyncUtils::hexToBinary(text.toLatin1()), &error)) {
        case SyncStore::MergeResult::Merged:
            break;
        case SyncStore::MergeResult::NotAMessage:
            qCWarning(lcSync).noquote() << QStringLiteral("Protobuf data is no good: %1").arg(error);
            return Outcome::Failed;
        case SyncStore::MergeResult::NotSaved:
            return Outcome::Failed;
        }
    }
    Defaults::standard().setValue(QStringLiteral("downloadHelpList"), true);
    return Outcome::Succeeded;
}

QString HelpListController::alertText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Succeeded:
        return QStringLiteral("We downloaded a help list for you");
    case Outcome::Failed:
        return QStringLiteral("We couldn't download the help list at this moment");
    case Outcome::ConnectionFailed:
        break;
    }
    return {};
}
