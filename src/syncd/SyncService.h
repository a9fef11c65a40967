#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

class SyncStorage;

namespace corvane::wire {
class Alllists;
class Todolist;
class Todolist_Todoitems;
}

// What corvane-syncd answers, apart from HTTP: accounts, the sync exchange,
// the help list and the usage pings.
//
// A sync stores every list and item of the upload as it came, whole: the
// last upload to arrive wins, whatever the clients' own times or versions
// say. Lists without an identifier (idd 0), or with one this account does
// not have, are added; items without serverId likewise. Trashed and deleted
// states are stored like any other value: a trashed or deleted list and its
// items leave every reply, so clients drop them, and an item keeps its
// state, so a trashed item is in the trash of every client. The reply holds
// every other list of the account with all its items not deleted for good.
class SyncService
{
public:
    enum class Registration { Closed, Open }; // Open: an unknown e-mail makes its account on its first sync
    // Needs sodium_init() first.
    SyncService(SyncStorage &storage, Registration registration);

    struct Reply {
        int status = 200;
        QByteArray body;
    };
    // POST /sync/fullSyncV2: the form's fields "email", "password" (the
    // client's salted hash), "uid" and "message" (Base64 of an Alllists).
    Reply fullSync(const QHash<QByteArray, QByteArray> &form);
    // POST /sync/returnMacHelpList: hexadecimal text of the help list.
    static QByteArray helpList();
    // POST /corvane/ping2.php: counts the form's "event".
    Reply ping(const QHash<QByteArray, QByteArray> &form);

    // Gives the account this password (as the client sends it: its salted
    // hash), adding the account when it is new.
    enum class UserResult { Added, Changed, Failed };
    UserResult addUser(const QString &email, const QString &password);

    // The reply body of a wrong login: fails the client's Base64 check (its
    // length is no multiple of 4), so the client shows its login failure.
    static QByteArray wrongLoginText();
    bool openRegistration() const { return m_registration == Registration::Open; }

private:
    std::optional<qint64> authenticate(const QString &email, const QByteArray &clientHash);
    QByteArray fastHash(const QByteArray &bytes) const;
    std::optional<QByteArray> exchange(qint64 account, const QString &device, corvane::wire::Alllists &upload);
    std::optional<qint64> storeList(qint64 account, const corvane::wire::Todolist &list);
    bool storeItem(qint64 account, qint64 list, const QString &device, const corvane::wire::Todolist_Todoitems &item);
    std::optional<QByteArray> accountLists(qint64 account);

    SyncStorage &m_storage;
    Registration m_registration;
    QByteArray m_verifiedKey;           // random per process
    QHash<qint64, QByteArray> m_verified; // account -> fastHash of the last login that passed
};
