#include "SyncService.h"

#include "SyncStorage.h"
#include "SyncUtils.h"
#include "SyncdLogging.h"
#include "TodoModel.h"

#include "corvane_wire.pb.h"

#include <QScopeGuard>

#include <sodium.h>

#include <limits>
#include <string_view>

Q_LOGGING_CATEGORY(lcSyncd, "corvane.syncd")

using corvane::wire::Alllists;
using corvane::wire::Todolist;
using corvane::wire::Todolist_Todoitems;

namespace {

constexpr std::string_view kWrongLogin = "Wrong e-mail or password.";
static_assert(kWrongLogin.size() % 4 != 0, "the client must fail to read it as Base64");

// Clients keep list and item identifiers in 32 bits.
constexpr qint64 kLastIdentifier = std::numeric_limits<qint32>::max();

QByteArray serialized(const google::protobuf::MessageLite &message)
{
    std::string bytes;
    message.SerializeToString(&bytes);
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

// A new record's identifier, refused once it would not fit the clients.
std::optional<qint64> checked(std::optional<qint64> id)
{
    if (id && *id > kLastIdentifier) {
        qCCritical(lcSyncd) << "No identifiers left for new lists and items";
        return std::nullopt;
    }
    return id;
}

// The libsodium hash of the client's salted hash: slow to guess, salted per account.
std::optional<QByteArray> slowHash(const QByteArray &clientHash)
{
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, clientHash.constData(), quint64(clientHash.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        return std::nullopt;
    return QByteArray(hash);
}

} // namespace

SyncService::SyncService(SyncStorage &storage, Registration registration)
    : m_storage(storage)
    , m_registration(registration)
    , m_verifiedKey(crypto_generichash_KEYBYTES, Qt::Uninitialized)
{
    randombytes_buf(m_verifiedKey.data(), size_t(m_verifiedKey.size()));
}

QByteArray SyncService::fastHash(const QByteArray &bytes) const
{
    QByteArray hash(crypto_generichash_BYTES, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char *>(hash.data()), size_t(hash.size()),
                       reinterpret_cast<const unsigned char *>(bytes.constData()), quint64(bytes.size()),
                       reinterpret_cast<const unsigned char *>(m_verifiedKey.constData()), size_t(m_verifiedKey.size()));
    return hash;
}

QByteArray SyncService::wrongLoginText()
{
    return QByteArray(kWrongLogin.data(), qsizetype(kWrongLogin.size()));
}

SyncService::Reply SyncService::fullSync(const QHash<QByteArray, QByteArray> &form)
{
    const QString email = QString::fromUtf8(form.value("email"));
    const std::optional<qint64> account = authenticate(email, form.value("password"));
    if (!account) {
        qCInfo(lcSyncd).noquote() << QStringLiteral("Wrong login for %1").arg(email);
        return {403, wrongLoginText()};
    }
    // Anything but a list message is no sync: the client says the reply was unexpected.
    const QByteArray bytes = QByteArray::fromBase64(form.value("message"), QByteArray::AbortOnBase64DecodingErrors);
    Alllists upload;
    if ((bytes.isEmpty() && !form.value("message").isEmpty()) || !upload.ParseFromArray(bytes.constData(), int(bytes.size()))) {
        qCWarning(lcSyncd).noquote() << QStringLiteral("Unreadable upload from %1").arg(email);
        return {400, {}};
    }
    const std::optional<QByteArray> reply = exchange(*account, QString::fromUtf8(form.value("uid")), upload);
    if (!reply)
        return {500, {}};
    return {200, reply->toBase64()};
}

std::optional<qint64> SyncService::authenticate(const QString &email, const QByteArray &clientHash)
{
    if (email.isEmpty() || clientHash.isEmpty())
        return std::nullopt;
    if (const std::optional<SyncStorage::Account> account = m_storage.account(email)) {
        // The slow hash runs once per login and process: a login that passed
        // is remembered as a keyed fast hash of it and the stored hash, so a
        // new password (stored by add-user) is checked slowly again.
        const QByteArray remembered = fastHash(account->passwordHash + '\n' + clientHash);
        if (m_verified.value(account->id) == remembered)
            return account->id;
        if (crypto_pwhash_str_verify(account->passwordHash.constData(), clientHash.constData(),
                                     quint64(clientHash.size()))
            != 0)
            return std::nullopt;
        m_verified.insert(account->id, remembered);
        return account->id;
    }
    if (m_registration == Registration::Closed)
        return std::nullopt;
    const std::optional<QByteArray> hash = slowHash(clientHash);
    if (!hash || m_storage.writeAccount(email, *hash) == SyncStorage::AccountWrite::Failed)
        return std::nullopt;
    qCInfo(lcSyncd).noquote() << QStringLiteral("New account %1").arg(email);
    const std::optional<SyncStorage::Account> added = m_storage.account(email);
    return added ? std::optional(added->id) : std::nullopt;
}

// The upload is stored and the reply read in one transaction.
std::optional<QByteArray> SyncService::exchange(qint64 account, const QString &device, Alllists &upload)
{
    if (!m_storage.begin(account))
        return std::nullopt;
    auto undo = qScopeGuard([this] { m_storage.rollback(); });
    for (Todolist &list : *upload.mutable_todolist()) {
        // The list is kept without its items; they are kept one by one.
        google::protobuf::RepeatedPtrField<Todolist_Todoitems> items;
        items.Swap(list.mutable_todoitems());
        const std::optional<qint64> listId = storeList(account, list);
        if (!listId)
            return std::nullopt;
        for (const Todolist_Todoitems &item : items) {
            if (!storeItem(account, *listId, device, item))
                return std::nullopt;
        }
    }
    const std::optional<QByteArray> reply = accountLists(account);
    if (!reply || !m_storage.commit())
        return std::nullopt;
    undo.dismiss();
    return reply;
}

std::optional<qint64> SyncService::storeList(qint64 account, const Todolist &list)
{
    const QByteArray message = serialized(list);
    const qint64 id = list.idd();
    if (id > 0 && id <= kLastIdentifier && m_storage.list(account, id))
        return m_storage.updateList(id, list.state(), message) ? std::optional(id) : std::nullopt;
    return checked(m_storage.insertList(account, list.state(), message));
}

bool SyncService::storeItem(qint64 account, qint64 list, const QString &device, const Todolist_Todoitems &item)
{
    const QByteArray message = serialized(item);
    // An item is found by its serverId in the whole account (it may have
    // moved to this list); a new one also by the identifier its device gave
    // it, in case the device resends it because our reply was lost.
    const std::optional<SyncStorage::Record> known = item.serverid() > 0
        ? m_storage.item(account, item.serverid())
        : m_storage.sentItem(account, list, item.idd(), device);
    if (known)
        return m_storage.updateItem(known->id, list, item.state(), message);
    return checked(m_storage.insertItem(account, list, item.idd(), device, item.state(), message)).has_value();
}

// Every live list of the account with its items, each stamped with its
// identifier and version.
std::optional<QByteArray> SyncService::accountLists(qint64 account)
{
    const std::optional<QList<SyncStorage::Record>> lists = m_storage.liveLists(account);
    const std::optional<QList<SyncStorage::Record>> items = m_storage.liveItems(account);
    if (!lists || !items)
        return std::nullopt;
    Alllists reply;
    QHash<qint64, Todolist *> byId;
    for (const SyncStorage::Record &record : *lists) {
        Todolist *list = reply.add_todolist();
        if (!list->ParseFromArray(record.message.constData(), int(record.message.size())))
            qCWarning(lcSyncd) << "Damaged list record" << record.id; // sent with what could be read
        list->set_idd(record.id);
        list->set_versionid(record.version);
        list->set_editedsince(0);
        byId.insert(record.id, list);
    }
    for (const SyncStorage::Record &record : *items) {
        Todolist_Todoitems *item = byId.value(record.list)->add_todoitems();
        if (!item->ParseFromArray(record.message.constData(), int(record.message.size())))
            qCWarning(lcSyncd) << "Damaged item record" << record.id;
        item->set_serverid(record.id);
        item->set_versionid(record.version);
        item->set_editedsince(0);
    }
    // A message without lists is zero bytes, an empty Base64 text, which
    // clients take for no reply at all; a field they do not know (and keep)
    // makes it a message that removes their lists.
    if (reply.todolist_size() == 0)
        reply.mutable_unknown_fields()->AddVarint(1, 0);
    return serialized(reply);
}

QByteArray SyncService::helpList()
{
    // The items of each quadrant, first to fourth.
    const QList<QStringList> items = {
        {QStringLiteral("Add an item with the + button of a quadrant, then type its name"),
         QStringLiteral("Double-click an item to see its notes, dates and effort")},
        {QStringLiteral("Drag items between quadrants as their urgency changes"),
         QStringLiteral("Sync keeps your lists the same on every computer")},
        {QStringLiteral("Tick an item to complete it; recurring items come back on their next date")},
        {QStringLiteral("Trashed items wait in the undelete panel until you empty it")},
    };
    const auto title = [](int quadrant) { return Quadrant::defaultTitle(quadrant).toStdString(); };
    const auto color = [](int quadrant) { return Quadrant::defaultColor(quadrant).toStdString(); };
    Alllists message;
    Todolist *list = message.add_todolist();
    list->set_name("Welcome to Corvane");
    // Clients take titles and colours from the message, absent ones as empty.
    list->set_textfirstquadrant(title(Quadrant::First));
    list->set_textsecondquadrant(title(Quadrant::Second));
    list->set_textthirdquadrant(title(Quadrant::Third));
    list->set_textfourthquadrant(title(Quadrant::Fourth));
    list->set_colorfirstquadrant(color(Quadrant::First));
    list->set_colorsecondquadrant(color(Quadrant::Second));
    list->set_colorthirdquadrant(color(Quadrant::Third));
    list->set_colorfourthquadrant(color(Quadrant::Fourth));
    for (int quadrant = Quadrant::First; quadrant < Quadrant::Count; ++quadrant) {
        int index = 1000; // shown by descending index: first item on top
        for (const QString &name : items[quadrant]) {
            Todolist_Todoitems *item = list->add_todoitems();
            item->set_name(name.toStdString());
            item->set_quadrant(quadrant);
            item->set_index(index -= 100);
        }
    }
    return serialized(message).toHex();
}

SyncService::Reply SyncService::ping(const QHash<QByteArray, QByteArray> &form)
{
    // Only the event is counted: the device identifier and version are not kept.
    const QString event = QString::fromUtf8(form.value("event")).left(32);
    if (event.isEmpty())
        return {400, {}};
    return m_storage.countPing(event) ? Reply{200, "OK"} : Reply{500, {}};
}

SyncService::UserResult SyncService::addUser(const QString &email, const QString &password)
{
    const std::optional<QByteArray> hash = slowHash(SyncUtils::HashAndSalt(password).toUtf8());
    if (!hash)
        return UserResult::Failed;
    switch (m_storage.writeAccount(email, *hash)) {
    case SyncStorage::AccountWrite::Added:
        return UserResult::Added;
    case SyncStorage::AccountWrite::Changed:
        return UserResult::Changed;
    case SyncStorage::AccountWrite::Failed:
        break;
    }
    return UserResult::Failed;
}
