#include "PostgresSyncStorage.h"

#include "SyncdLogging.h"

#include <libpq-fe.h>

#include <vector>

namespace {

const char *const kSchema = R"(
SET client_min_messages = warning;
CREATE TABLE IF NOT EXISTS accounts(
  id BIGSERIAL PRIMARY KEY, email TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS lists(
  id BIGSERIAL PRIMARY KEY, account BIGINT NOT NULL, state INTEGER NOT NULL,
  version BIGINT NOT NULL, message BYTEA NOT NULL);
CREATE INDEX IF NOT EXISTS lists_by_account ON lists(account, id);
CREATE TABLE IF NOT EXISTS items(
  id BIGSERIAL PRIMARY KEY, account BIGINT NOT NULL, list BIGINT NOT NULL,
  client_id BIGINT NOT NULL, device TEXT NOT NULL, state INTEGER NOT NULL,
  version BIGINT NOT NULL, message BYTEA NOT NULL);
CREATE INDEX IF NOT EXISTS items_by_account ON items(account, list, id);
CREATE INDEX IF NOT EXISTS items_by_client_id ON items(list, client_id);
CREATE TABLE IF NOT EXISTS pings(
  day DATE NOT NULL, event TEXT NOT NULL, count BIGINT NOT NULL, PRIMARY KEY(day, event));
)";

qint64 number(pg_result *result, int row, int column)
{
    return QByteArray(PQgetvalue(result, row, column)).toLongLong();
}

QByteArray bytes(pg_result *result, int row, int column)
{
    size_t length = 0;
    unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(PQgetvalue(result, row, column)), &length);
    const QByteArray value(reinterpret_cast<const char *>(raw), qsizetype(length));
    PQfreemem(raw);
    return value;
}

} // namespace

std::unique_ptr<PostgresSyncStorage> PostgresSyncStorage::open(const QString &conninfo, QString *error)
{
    pg_conn *connection = PQconnectdb(conninfo.toUtf8().constData());
    std::unique_ptr<PostgresSyncStorage> storage(new PostgresSyncStorage(connection));
    if (PQstatus(connection) != CONNECTION_OK) {
        *error = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
        return nullptr;
    }
    // Several processes may start at once; the lock keeps their CREATEs apart.
    if (!storage->query("SELECT pg_advisory_lock(7305)") || !storage->query(kSchema)
        || !storage->query("SELECT pg_advisory_unlock(7305)")) {
        *error = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
        return nullptr;
    }
    return storage;
}

PostgresSyncStorage::PostgresSyncStorage(pg_conn *connection)
    : m_connection(connection)
{
}

PostgresSyncStorage::~PostgresSyncStorage()
{
    PQfinish(m_connection);
}

std::optional<PostgresSyncStorage::Result> PostgresSyncStorage::query(const char *sql, std::initializer_list<Value> values)
{
    // Numbers and texts go as text, messages as binary.
    std::vector<QByteArray> data;
    std::vector<const char *> pointers;
    std::vector<int> lengths;
    std::vector<int> formats;
    data.reserve(values.size());
    for (const Value &value : values) {
        if (const auto *integer = std::get_if<qint64>(&value))
            data.push_back(QByteArray::number(*integer));
        else if (const auto *text = std::get_if<QString>(&value))
            data.push_back(text->toUtf8());
        else
            data.push_back(std::get<QByteArray>(value));
        pointers.push_back(data.back().constData());
        lengths.push_back(int(data.back().size()));
        formats.push_back(std::holds_alternative<QByteArray>(value) ? 1 : 0);
    }
    Result result(values.size() == 0 ? PQexec(m_connection, sql)
                                     : PQexecParams(m_connection, sql, int(values.size()), nullptr, pointers.data(),
                                                    lengths.data(), formats.data(), 0),
                  PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        qCWarning(lcSyncd).noquote() << QStringLiteral("Storage error: %1")
                                            .arg(QString::fromUtf8(PQerrorMessage(m_connection)).trimmed());
        return std::nullopt;
    }
    return result;
}

std::optional<QList<SyncStorage::Record>> PostgresSyncStorage::records(const char *sql, std::initializer_list<Value> values)
{
    const std::optional<Result> result = query(sql, values);
    if (!result)
        return std::nullopt;
    QList<Record> found;
    for (int row = 0; row < PQntuples(result->get()); ++row)
        found.append({number(result->get(), row, 0), number(result->get(), row, 1), number(result->get(), row, 2),
                      bytes(result->get(), row, 3)});
    return found;
}

std::optional<SyncStorage::Record> PostgresSyncStorage::first(const char *sql, std::initializer_list<Value> values)
{
    const std::optional<QList<Record>> found = records(sql, values);
    return found && !found->isEmpty() ? std::optional(found->constFirst()) : std::nullopt;
}

std::optional<qint64> PostgresSyncStorage::insertedId(const char *sql, std::initializer_list<Value> values)
{
    const std::optional<Result> result = query(sql, values);
    if (!result || PQntuples(result->get()) != 1)
        return std::nullopt;
    return number(result->get(), 0, 0);
}

std::optional<SyncStorage::Account> PostgresSyncStorage::account(const QString &email)
{
    const std::optional<Result> result = query("SELECT id, password_hash FROM accounts WHERE email = $1", {email.toLower()});
    if (!result || PQntuples(result->get()) != 1)
        return std::nullopt;
    return Account{number(result->get(), 0, 0), QByteArray(PQgetvalue(result->get(), 0, 1))};
}

SyncStorage::AccountWrite PostgresSyncStorage::writeAccount(const QString &email, const QByteArray &passwordHash)
{
    // xmax is 0 for a row this statement inserted, not for one it updated.
    const std::optional<Result> result = query("INSERT INTO accounts(email, password_hash) VALUES($1, $2) "
                                               "ON CONFLICT(email) DO UPDATE SET password_hash = excluded.password_hash "
                                               "RETURNING (xmax = 0)",
                                               {email.toLower(), QString::fromLatin1(passwordHash)});
    if (!result || PQntuples(result->get()) != 1)
        return AccountWrite::Failed;
    return PQgetvalue(result->get(), 0, 0)[0] == 't' ? AccountWrite::Added : AccountWrite::Changed;
}

bool PostgresSyncStorage::begin(qint64 account)
{
    return query("BEGIN") && query("SELECT id FROM accounts WHERE id = $1 FOR UPDATE", {account});
}

bool PostgresSyncStorage::commit()
{
    return query("COMMIT").has_value();
}

void PostgresSyncStorage::rollback()
{
    if (PQtransactionStatus(m_connection) != PQTRANS_IDLE)
        query("ROLLBACK");
}

std::optional<SyncStorage::Record> PostgresSyncStorage::list(qint64 account, qint64 id)
{
    return first("SELECT id, version, 0, message FROM lists WHERE id = $1 AND account = $2", {id, account});
}

std::optional<SyncStorage::Record> PostgresSyncStorage::item(qint64 account, qint64 id)
{
    return first("SELECT id, version, list, message FROM items WHERE id = $1 AND account = $2", {id, account});
}

std::optional<SyncStorage::Record> PostgresSyncStorage::sentItem(qint64 account, qint64 list, qint64 clientId,
                                                                 const QString &device)
{
    return first("SELECT id, version, list, message FROM items "
                 "WHERE list = $1 AND client_id = $2 AND device = $3 AND account = $4 ORDER BY id LIMIT 1",
                 {list, clientId, device, account});
}

std::optional<qint64> PostgresSyncStorage::insertList(qint64 account, int state, const QByteArray &message)
{
    return insertedId("INSERT INTO lists(account, state, version, message) VALUES($1, $2, 1, $3) RETURNING id",
                      {account, qint64(state), message});
}

std::optional<qint64> PostgresSyncStorage::insertItem(qint64 account, qint64 list, qint64 clientId,
                                                      const QString &device, int state, const QByteArray &message)
{
    return insertedId("INSERT INTO items(account, list, client_id, device, state, version, message) "
                      "VALUES($1, $2, $3, $4, $5, 1, $6) RETURNING id",
                      {account, list, clientId, device, qint64(state), message});
}

bool PostgresSyncStorage::updateList(qint64 id, int state, const QByteArray &message)
{
    return query("UPDATE lists SET state = $1, version = version + 1, message = $2 WHERE id = $3",
                 {qint64(state), message, id})
        .has_value();
}

bool PostgresSyncStorage::updateItem(qint64 id, qint64 list, int state, const QByteArray &message)
{
    return query("UPDATE items SET list = $1, state = $2, version = version + 1, message = $3 WHERE id = $4",
                 {list, qint64(state), message, id})
        .has_value();
}

std::optional<QList<SyncStorage::Record>> PostgresSyncStorage::liveLists(qint64 account)
{
    return records("SELECT id, version, 0, message FROM lists WHERE account = $1 AND state NOT IN (2, 3) ORDER BY id",
                   {account});
}

std::optional<QList<SyncStorage::Record>> PostgresSyncStorage::liveItems(qint64 account)
{
    return records("SELECT i.id, i.version, i.list, i.message FROM items i JOIN lists l ON l.id = i.list "
                   "WHERE i.account = $1 AND i.state <> 3 AND l.state NOT IN (2, 3) ORDER BY i.list, i.id",
                   {account});
}

bool PostgresSyncStorage::countPing(const QString &event)
{
    return query("INSERT INTO pings(day, event, count) VALUES((now() AT TIME ZONE 'UTC')::date, $1, 1) "
                 "ON CONFLICT(day, event) DO UPDATE SET count = pings.count + 1",
                 {event})
        .has_value();
}
