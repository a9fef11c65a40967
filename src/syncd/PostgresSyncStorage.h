#pragma once

#include "SyncStorage.h"

#include <memory>
#include <variant>

struct pg_conn;
struct pg_result;

// The sync server's data in a PostgreSQL database, tables made on first
// use. Several server processes may share it: a sync locks its account's
// row, so two syncs of one account run one after the other, and syncs of
// different accounts run side by side.
class PostgresSyncStorage : public SyncStorage
{
public:
    // conninfo: a libpq connection string or "postgresql://..." address.
    static std::unique_ptr<PostgresSyncStorage> open(const QString &conninfo, QString *error);
    ~PostgresSyncStorage() override;

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
    using Value = std::variant<qint64, QString, QByteArray>;
    using Result = std::unique_ptr<pg_result, void (*)(pg_result *)>;
    explicit PostgresSyncStorage(pg_conn *connection);
    // The result, or none (logged) when the statement failed.
    std::optional<Result> query(const char *sql, std::initializer_list<Value> values = {});
    std::optional<QList<Record>> records(const char *sql, std::initializer_list<Value> values);
    std::optional<Record> first(const char *sql, std::initializer_list<Value> values);
    std::optional<qint64> insertedId(const char *sql, std::initializer_list<Value> values);

    pg_conn *m_connection;
};
