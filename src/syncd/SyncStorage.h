#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// What the sync server keeps, behind one interface: accounts, the lists and
// items of each account, and the usage-ping counts. Lists and items are kept
// as the messages clients sent (items apart from their list), so fields this
// server does not know survive. Identifiers are shared by all accounts and
// never reused; every write of a record adds one to its version.
//
// A sync of an account runs between begin() and commit(), one after another
// for the same account; on any failure the caller calls rollback(), and
// nothing of that sync is kept.
class SyncStorage
{
public:
    struct Account {
        qint64 id = 0;
        QByteArray passwordHash; // libsodium's crypto_pwhash_str text
    };
    struct Record {
        qint64 id = 0;
        qint64 version = 0;
        qint64 list = 0; // items: the list holding the item
        QByteArray message;
    };
    enum class AccountWrite { Added, Changed, Failed };

    virtual ~SyncStorage() = default;

    // E-mail addresses are kept and looked up in lower case.
    virtual std::optional<Account> account(const QString &email) = 0;
    // Adds the account, or gives an existing one this password hash.
    virtual AccountWrite writeAccount(const QString &email, const QByteArray &passwordHash) = 0;

    virtual bool begin(qint64 account) = 0;
    virtual bool commit() = 0;
    virtual void rollback() = 0;

    // The account's list or item of that identifier; none when there is no
    // such record or it belongs to another account.
    virtual std::optional<Record> list(qint64 account, qint64 id) = 0;
    virtual std::optional<Record> item(qint64 account, qint64 id) = 0;
    // An item the device already sent as new into that list under its own
    // identifier: the reply to that sync never reached it.
    virtual std::optional<Record> sentItem(qint64 account, qint64 list, qint64 clientId, const QString &device) = 0;

    // New records get version 1; none when the write failed.
    virtual std::optional<qint64> insertList(qint64 account, int state, const QByteArray &message) = 0;
    virtual std::optional<qint64> insertItem(qint64 account, qint64 list, qint64 clientId, const QString &device,
                                             int state, const QByteArray &message) = 0;
    virtual bool updateList(qint64 id, int state, const QByteArray &message) = 0;
    virtual bool updateItem(qint64 id, qint64 list, int state, const QByteArray &message) = 0;

    // The account's lists that are neither trashed nor deleted, by identifier,
    // and the items of those lists that are not deleted, by list and identifier.
    virtual std::optional<QList<Record>> liveLists(qint64 account) = 0;
    virtual std::optional<QList<Record>> liveItems(qint64 account) = 0;

    // One more ping of that event today (UTC); nothing about the sender is kept.
    virtual bool countPing(const QString &event) = 0;
};
