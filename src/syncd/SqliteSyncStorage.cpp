#include "SqliteSyncStorage.h"

#include "SyncdLogging.h"

#include <QDateTime>

#include <sqlite3.h>

#include <variant>

namespace {

const char *const kSchema = R"(
CREATE TABLE IF NOT EXISTS accounts(
  id INTEGER PRIMARY KEY, email TEXT NOT NULL UNIQUE, password_hash TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS lists(
  id INTEGER PRIMARY KEY, account INTEGER NOT NULL, state INTEGER NOT NULL,
  version INTEGER NOT NULL, message BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS lists_by_account ON lists(account, id);
CREATE TABLE IF NOT EXISTS items(
  id INTEGER PRIMARY KEY, account INTEGER NOT NULL, list INTEGER NOT NULL,
  client_id INTEGER NOT NULL, device TEXT NOT NULL, state INTEGER NOT NULL,
  version INTEGER NOT NULL, message BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS items_by_account ON items(account, list, id);
CREATE INDEX IF NOT EXISTS items_by_client_id ON items(list, client_id);
CREATE TABLE IF NOT EXISTS pings(
  day TEXT NOT NULL, event TEXT NOT NULL, count INTEGER NOT NULL, PRIMARY KEY(day, event));
)";

using Value = std::variant<qint64, QString, QByteArray>;

} // namespace

// A prepared statement with its values bound; finalised when it goes.
class SqliteSyncStorage::Statement
{
public:
    Statement(sqlite3 *db, const char *sql, std::initializer_list<Value> values)
        : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK) {
            fail();
            return;
        }
        int index = 1;
        for (const Value &value : values) {
            if (const auto *number = std::get_if<qint64>(&value)) {
                sqlite3_bind_int64(m_statement, index++, *number);
            } else if (const auto *text = std::get_if<QString>(&value)) {
                const QByteArray utf8 = text->toUtf8();
                sqlite3_bind_text(m_statement, index++, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
            } else {
                const QByteArray &bytes = std::get<QByteArray>(value);
                sqlite3_bind_blob(m_statement, index++, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
            }
        }
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // True while a row is there; false at the end or on failure (see ok()).
    bool next()
    {
        if (!m_ok)
            return false;
        const int status = sqlite3_step(m_statement);
        if (status == SQLITE_ROW)
            return true;
        if (status != SQLITE_DONE)
            fail();
        return false;
    }
    // Runs a statement that returns no rows.
    bool run()
    {
        next();
        return m_ok;
    }
    bool ok() const { return m_ok; }
    qint64 number(int column) const { return sqlite3_column_int64(m_statement, column); }
    QByteArray bytes(int column) const
    {
        const auto *data = static_cast<const char *>(sqlite3_column_blob(m_statement, column));
        return QByteArray(data, sqlite3_column_bytes(m_statement, column));
    }

private:
    void fail()
    {
        m_ok = false;
        qCWarning(lcSyncd).noquote() << QStringLiteral("Storage error: %1").arg(QString::fromUtf8(sqlite3_errmsg(m_db)));
    }

    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
    bool m_ok = true;
};

std::unique_ptr<SqliteSyncStorage> SqliteSyncStorage::open(const QString &path, QString *error)
{
    sqlite3 *db = nullptr;
    const int status = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<SqliteSyncStorage> storage(new SqliteSyncStorage(db));
    if (status != SQLITE_OK) {
        *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(status));
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    // The write-ahead log lets replies be read while another process writes;
    // FULL flushes each commit, so an acknowledged sync survives a power cut.
    if (!storage->execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;") || !storage->execute(kSchema)) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
        return nullptr;
    }
    return storage;
}

SqliteSyncStorage::SqliteSyncStorage(sqlite3 *db)
    : m_db(db)
{
}

SqliteSyncStorage::~SqliteSyncStorage()
{
    sqlite3_close(m_db);
}

bool SqliteSyncStorage::execute(const char *sql)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    qCWarning(lcSyncd).noquote() << QStringLiteral("Storage error: %1").arg(QString::fromUtf8(message));
    sqlite3_free(message);
    return false;
}

std::optional<SyncStorage::Account> SqliteSyncStorage::account(const QString &email)
{
    Statement statement(m_db, "SELECT id, password_hash FROM accounts WHERE email = ?", {email.toLower()});
    if (!statement.next())
        return std::nullopt;
    return Account{statement.number(0), statement.bytes(1)};
}

SyncStorage::AccountWrite SqliteSyncStorage::writeAccount(const QString &email, const QByteArray &passwordHash)
{
    const bool exists = account(email).has_value();
    Statement statement(m_db,
                        "INSERT INTO accounts(email, password_hash) VALUES(?, ?) "
                        "ON CONFLICT(email) DO UPDATE SET password_hash = excluded.password_hash",
                        {email.toLower(), QString::fromLatin1(passwordHash)});
    if (!statement.run())
        return AccountWrite::Failed;
    return exists ? AccountWrite::Changed : AccountWrite::Added;
}

bool SqliteSyncStorage::begin(qint64)
{
    // One writer at a time for the whole file, whichever the account.
    return execute("BEGIN IMMEDIATE");
}

bool SqliteSyncStorage::commit()
{
    return execute("COMMIT");
}

void SqliteSyncStorage::rollback()
{
    if (!sqlite3_get_autocommit(m_db))
        execute("ROLLBACK");
}

std::optional<SyncStorage::Record> SqliteSyncStorage::list(qint64 account, qint64 id)
{
    Statement statement(m_db, "SELECT id, version, 0, message FROM lists WHERE id = ? AND account = ?", {id, account});
    const std::optional<QList<Record>> found = records(statement);
    return found && !found->isEmpty() ? std::optional(found->constFirst()) : std::nullopt;
}

std::optional<SyncStorage::Record> SqliteSyncStorage::item(qint64 account, qint64 id)
{
    Statement statement(m_db, "SELECT id, version, list, message FROM items WHERE id = ? AND account = ?", {id, account});
    const std::optional<QList<Record>> found = records(statement);
    return found && !found->isEmpty() ? std::optional(found->constFirst()) : std::nullopt;
}

std::optional<SyncStorage::Record> SqliteSyncStorage::sentItem(qint64 account, qint64 list, qint64 clientId,
                                                               const QString &device)
{
    Statement statement(m_db,
                        "SELECT id, version, list, message FROM items "
                        "WHERE list = ? AND client_id = ? AND device = ? AND account = ? ORDER BY id LIMIT 1",
                        {list, clientId, device, account});
    const std::optional<QList<Record>> found = records(statement);
    return found && !found->isEmpty() ? std::optional(found->constFirst()) : std::nullopt;
}

std::optional<qint64> SqliteSyncStorage::insertList(qint64 account, int state, const QByteArray &message)
{
    Statement statement(m_db, "INSERT INTO lists(account, state, version, message) VALUES(?, ?, 1, ?)",
                        {account, qint64(state), message});
    return statement.run() ? std::optional(qint64(sqlite3_last_insert_rowid(m_db))) : std::nullopt;
}

std::optional<qint64> SqliteSyncStorage::insertItem(qint64 account, qint64 list, qint64 clientId, const QString &device,
                                                    int state, const QByteArray &message)
{
    Statement statement(m_db,
                        "INSERT INTO items(account, list, client_id, device, state, version, message) "
                        "VALUES(?, ?, ?, ?, ?, 1, ?)",
                        {account, list, clientId, device, qint64(state), message});
    return statement.run() ? std::optional(qint64(sqlite3_last_insert_rowid(m_db))) : std::nullopt;
}

bool SqliteSyncStorage::updateList(qint64 id, int state, const QByteArray &message)
{
    Statement statement(m_db, "UPDATE lists SET state = ?, version = version + 1, message = ? WHERE id = ?",
                        {qint64(state), message, id});
    return statement.run();
}

bool SqliteSyncStorage::updateItem(qint64 id, qint64 list, int state, const QByteArray &message)
{
    Statement statement(m_db, "UPDATE items SET list = ?, state = ?, version = version + 1, message = ? WHERE id = ?",
                        {list, qint64(state), message, id});
    return statement.run();
}

std::optional<QList<SyncStorage::Record>> SqliteSyncStorage::liveLists(qint64 account)
{
    Statement statement(m_db,
                        "SELECT id, version, 0, message FROM lists WHERE account = ? AND state NOT IN (2, 3) ORDER BY id",
                        {account});
    return records(statement);
}

std::optional<QList<SyncStorage::Record>> SqliteSyncStorage::liveItems(qint64 account)
{
    Statement statement(m_db,
                        "SELECT i.id, i.version, i.list, i.message FROM items i JOIN lists l ON l.id = i.list "
                        "WHERE i.account = ? AND i.state <> 3 AND l.state NOT IN (2, 3) ORDER BY i.list, i.id",
                        {account});
    return records(statement);
}

bool SqliteSyncStorage::countPing(const QString &event)
{
    Statement statement(m_db,
                        "INSERT INTO pings(day, event, count) VALUES(?, ?, 1) "
                        "ON CONFLICT(day, event) DO UPDATE SET count = count + 1",
                        {QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate), event});
    return statement.run();
}

std::optional<QList<SyncStorage::Record>> SqliteSyncStorage::records(Statement &statement)
{
    QList<Record> found;
    while (statement.next())
        found.append({statement.number(0), statement.number(1), statement.number(2), statement.bytes(3)});
    return statement.ok() ? std::optional(found) : std::nullopt;
}
