#pragma once

#include "SyncStorage.h"

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// The sync server's data in one SQLite file (write-ahead log, every commit
// flushed), made with its tables on first use. One connection; syncs are
// serialised by BEGIN IMMEDIATE, so several processes may share the file,
// each waiting up to five seconds for the others.
class SqliteSyncStorage : public SyncStorage
{
public:
    // None, with the reason, when the file cannot be opened or set up.
    static std::unique_ptr<SqliteSyncStorage> open(const QString &path, QString *error);
    ~SqliteSyncStorage() override;

    std::optional<Account> account(const QString &email) override;
    AccountWrite writeAccount(const QString &email, const QByteArray &passwordHash) override;
    bool begin(qint64 account) override;
    bool commit() override;
    void rollback() override;
    std::optional<Record> list(qint64 account, qint64 id) override;
    std::optional<Record> item(qint64 account, qint64 id) override;
    std::optional<Record> sentItem(qint64 account, qint64 list, qint64 clientId, const QString &device) override;
    std::optional<qint64> insertList(qint64 account, int state, const QByteArray &message) override;
    std::optional<qint64> insertItem(qint64 account, qint64 list, qint64 clientId, const QString &device, int state,
                                     const QByteArray &message) override;
    bool updateList(qint64 id, int state, const QByteArray &message) override;
    bool updateItem(qint64 id, qint64 list, int state, const QByteArray &message) override;
    std::optional<QList<Record>> liveLists(qint64 account) override;
    std::optional<QList<Record>> liveItems(qint64 account) override;
    bool countPing(const QString &event) override;

private:
    class Statement;
    explicit SqliteSyncStorage(sqlite3 *db);
    bool execute(const char *sql);
    std::optional<QList<Record>> records(Statement &statement);

    sqlite3 *m_db;
};
