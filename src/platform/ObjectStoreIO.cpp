#include "ObjectStoreIO.h"

#include "Logging.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "ObjectModel.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <bit>

#include <sqlite3.h>

namespace {

void (*g_rowWrittenHook)(int) = nullptr;

const char *const kMetaTable = "corvane_meta";
// How long a save waits for a reader of the file (a backup tool, the sqlite3 shell).
constexpr int kBusyTimeoutMs = 5000;

QString quoted(const QString &identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

const char *columnType(AttributeType type)
{
    switch (type) {
    case AttributeType::Int32:
    case AttributeType::Int64:
    case AttributeType::Bool:
    case AttributeType::Date:
        return "INTEGER";
    case AttributeType::Double:
        return "REAL";
    case AttributeType::Text:
        return "TEXT";
    case AttributeType::Binary:
        return "BLOB";
    }
    return "";
}

QString fromUtf8Column(sqlite3_stmt *stmt, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return QString::fromUtf8(text, sqlite3_column_bytes(stmt, column));
}

struct Statement {
    sqlite3_stmt *stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

} // namespace

ObjectStoreIO::ObjectStoreIO(sqlite3 *db, const ObjectModel &model)
    : m_db(db)
    , m_model(model)
{
}

ObjectStoreIO::~ObjectStoreIO()
{
    closeConnection();
}

void ObjectStoreIO::closeConnection()
{
    for (auto &s : m_statements) {
        sqlite3_finalize(s.insert);
        sqlite3_finalize(s.update);
        sqlite3_finalize(s.remove);
    }
    m_statements.clear();
    sqlite3_close(m_db);
    m_db = nullptr;
}

void ObjectStoreIO::setRowWrittenHookForTesting(void (*hook)(int))
{
    g_rowWrittenHook = hook;
}

std::unique_ptr<ObjectStoreIO> ObjectStoreIO::open(const QString &path, bool create, const ObjectModel &model,
                                                   StoreAccess access, QString *error)
{
    auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return std::unique_ptr<ObjectStoreIO>();
    };

    const bool exists = QFileInfo::exists(path);
    if (create && exists)
        return fail(QStringLiteral("A file already exists at %1").arg(path));
    if (!create && !exists)
        return fail(QStringLiteral("No store file at %1").arg(path));

    // Recognise a store by its header before SQLite touches the file, so that
    // nothing is ever written into a file that is not a database.
    if (!create) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
        const QByteArray header = file.read(16);
        if (!header.isEmpty() && header != QByteArray("SQLite format 3\0", 16))
            return fail(QStringLiteral("%1 is not a Corvane store (not an SQLite file)").arg(path));
    }

    sqlite3 *db = nullptr;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const QByteArray nativePath = QFile::encodeName(path);
    if (sqlite3_open_v2(nativePath.constData(), &db, flags, nullptr) != SQLITE_OK) {
        const QString message = QStringLiteral("Cannot open %1: %2").arg(path, QString::fromUtf8(sqlite3_errmsg(db)));
        sqlite3_close(db);
        return fail(message);
    }
    std::unique_ptr<ObjectStoreIO> io(new ObjectStoreIO(db, model));
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    // SQLite opens a write-protected file read-only without a word; every save would then fail.
    if (access == StoreAccess::Write && sqlite3_db_readonly(db, "main") == 1)
        return fail(QStringLiteral("The store %1 is write-protected, so no change could be saved. "
                                   "Allow writing to it and try again.")
                        .arg(path));

    QString message;
    if (!io->useRollbackJournal(&message) || !io->exec("PRAGMA synchronous=FULL", &message)
        || !io->checkIdentity(create, &message) || !io->migrateSchema(&message) || !io->prepareStatements(&message)) {
        return fail(QStringLiteral("Cannot open %1: %2").arg(path, message));
    }
    return io;
}

bool ObjectStoreIO::exec(const char *sql, QString *error)
{
    char *message = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        if (error)
            *error = QString::fromUtf8(message ? message : sqlite3_errmsg(m_db));
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool ObjectStoreIO::exec(const QString &sql, QString *error)
{
    return exec(sql.toUtf8().constData(), error);
}

// A file left in WAL mode keeps saved changes out of the one file the
// backups copy; the pragma answers the mode the file really has.
bool ObjectStoreIO::useRollbackJournal(QString *error)
{
    Statement s;
    if (sqlite3_prepare_v2(m_db, "PRAGMA journal_mode=DELETE", -1, &s.stmt, nullptr) != SQLITE_OK
        || sqlite3_step(s.stmt) != SQLITE_ROW) {
        *error = lastError();
        return false;
    }
    const QString mode = fromUtf8Column(s.stmt, 0);
    if (mode.compare(QLatin1String("delete"), Qt::CaseInsensitive) == 0)
        return true;
    *error = QStringLiteral("the store stays in %1 journal mode (is it open in another program?)").arg(mode);
    return false;
}

bool ObjectStoreIO::settleJournal(const QString &path, QString *error)
{
    const QString journal = path + QStringLiteral("-journal");
    if (!QFileInfo::exists(journal))
        return true;
    sqlite3 *db = nullptr;
    const QByteArray nativePath = QFile::encodeName(path);
    int rc = sqlite3_open_v2(nativePath.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // The first read of a file with a hot journal rolls the journal back.
        rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    const QString reason = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_close(db);
    if (rc != SQLITE_OK) {
        *error = QStringLiteral("its rollback journal could not be rolled back: %1").arg(reason);
        return false;
    }
    if (QFileInfo(journal).size() > 0) {
        *error = QStringLiteral("its rollback journal %1 remains (is another program writing it?)").arg(journal);
        return false;
    }
    return true;
}

QString ObjectStoreIO::lastError() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db));
}

QString ObjectStoreIO::meta(const QString &key, bool *found) const
{
    if (found)
        *found = false;
    Statement s;
    const QByteArray sql = QByteArray("SELECT value FROM ") + kMetaTable + " WHERE key = ?1";
    if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &s.stmt, nullptr) != SQLITE_OK)
        return {};
    const QByteArray k = key.toUtf8();
    sqlite3_bind_text(s.stmt, 1, k.constData(), int(k.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.stmt) != SQLITE_ROW)
        return {};
    if (found)
        *found = true;
    return fromUtf8Column(s.stmt, 0);
}

bool ObjectStoreIO::setMeta(const QString &key, const QString &value, QString *error)
{
    Statement s;
    const QByteArray sql = QByteArray("INSERT OR REPLACE INTO ") + kMetaTable + " (key, value) VALUES (?1, ?2)";
    if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &s.stmt, nullptr) != SQLITE_OK) {
        if (error)
            *error = lastError();
        return false;
    }
    const QByteArray k = key.toUtf8();
    const QByteArray v = value.toUtf8();
    sqlite3_bind_text(s.stmt, 1, k.constData(), int(k.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s.stmt, 2, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(s.stmt) != SQLITE_DONE) {
        if (error)
            *error = lastError();
        return false;
    }
    return true;
}

void ObjectStoreIO::setStoreIdentifier(const QString &id)
{
    m_storeId = id;
}

// Decides whether the file is a store of this model, an empty database that
// may become one, or something else that must be left alone.
bool ObjectStoreIO::checkIdentity(bool create, QString *error)
{
    Statement s;
    if (sqlite3_prepare_v2(m_db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &s.stmt, nullptr)
        != SQLITE_OK) {
        *error = lastError();
        return false;
    }
    QSet<QString> tables;
    int rc;
    while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW)
        tables.insert(fromUtf8Column(s.stmt, 0));
    if (rc != SQLITE_DONE) {
        *error = lastError();
        return false;
    }

    if (tables.contains(QString::fromLatin1(kMetaTable))) {
        const QString name = meta(QStringLiteral("modelName"));
        if (name != m_model.name()) {
            *error = QStringLiteral("the file holds the model \"%1\", not \"%2\"").arg(name, m_model.name());
            return false;
        }
        const int version = meta(QStringLiteral("modelVersion")).toInt();
        if (version > m_model.version())
            qCWarning(lcStore).noquote() << QStringLiteral("Store written by a newer model version (%1 > %2); unknown columns are kept")
                                                .arg(version)
                                                .arg(m_model.version());
        m_storeId = meta(QStringLiteral("storeIdentifier"));
        m_writtenStoreId = m_storeId;
        return true;
    }
    if (!tables.isEmpty() && !create) {
        *error = QStringLiteral("not a Corvane store (no model information)");
        return false;
    }
    return true; // an empty database becomes a store
}

// Adds the tables and columns the model has and the file lacks. Values are
// never touched; columns the model no longer knows are left in place. A file
// that needs changes is checked for damage first, so that a damaged store is
// never written to.
bool ObjectStoreIO::migrateSchema(QString *error)
{
    QStringList statements;
    QSet<QString> tables;
    {
        Statement s;
        if (sqlite3_prepare_v2(m_db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &s.stmt, nullptr)
            != SQLITE_OK) {
            *error = lastError();
            return false;
        }
        while (sqlite3_step(s.stmt) == SQLITE_ROW)
            tables.insert(fromUtf8Column(s.stmt, 0));
    }
    if (!tables.contains(QString::fromLatin1(kMetaTable)))
        statements << QStringLiteral("CREATE TABLE %1 (key TEXT PRIMARY KEY, value TEXT)").arg(QString::fromLatin1(kMetaTable));

    for (const EntityDescription &entity : m_model.entities()) {
        const QString table = quoted(entity.name());
        QSet<QString> columns;
        if (!tables.contains(entity.name())) {
            statements << QStringLiteral("CREATE TABLE %1 (pk INTEGER PRIMARY KEY)").arg(table);
        } else {
            Statement s;
            const QByteArray sql = QStringLiteral("PRAGMA table_info(%1)").arg(table).toUtf8();
            if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &s.stmt, nullptr) != SQLITE_OK) {
                *error = lastError();
                return false;
            }
            while (sqlite3_step(s.stmt) == SQLITE_ROW)
                columns.insert(fromUtf8Column(s.stmt, 1));
        }
        for (const AttributeDescription &a : entity.attributes()) {
            if (!columns.contains(a.name))
                statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                  .arg(table, quoted(a.name), QString::fromLatin1(columnType(a.type)));
        }
        for (const RelationshipDescription &r : entity.relationships()) {
            if (!r.toMany && !columns.contains(r.name))
                statements << QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 INTEGER").arg(table, quoted(r.name));
        }
    }

    bool found = false;
    const int version = tables.contains(QString::fromLatin1(kMetaTable))
        ? meta(QStringLiteral("modelVersion"), &found).toInt()
        : 0;
    const bool recordVersion = !found || version < m_model.version();
    if (statements.isEmpty() && !recordVersion)
        return true;

    if (!tables.isEmpty()) {
        Statement check;
        if (sqlite3_prepare_v2(m_db, "PRAGMA quick_check", -1, &check.stmt, nullptr) != SQLITE_OK
            || sqlite3_step(check.stmt) != SQLITE_ROW) {
            *error = lastError();
            return false;
        }
        const QString verdict = fromUtf8Column(check.stmt, 0);
        if (verdict != QLatin1String("ok")) {
            *error = QStringLiteral("the store is damaged (%1)").arg(verdict);
            return false;
        }
        qCInfo(lcStore).noquote() << QStringLiteral("Migrating store from model version %1 to %2")
                                         .arg(version)
                                         .arg(m_model.version());
    }

    if (!exec("BEGIN IMMEDIATE", error))
        return false;
    auto rollback = [&] {
        exec("ROLLBACK", nullptr);
        return false;
    };
    for (const QString &statement : statements) {
        if (!exec(statement, error))
            return rollback();
    }
    if (recordVersion
        && (!setMeta(QStringLiteral("modelName"), m_model.name(), error)
            || !setMeta(QStringLiteral("modelVersion"), QString::number(m_model.version()), error)))
        return rollback();
    return exec("COMMIT", error) || rollback();
}

bool ObjectStoreIO::prepareStatements(QString *error)
{
    for (const EntityDescription &entity : m_model.entities()) {
        QStringList columns;
        for (const AttributeDescription &a : entity.attributes())
            columns << quoted(a.name);
        for (const RelationshipDescription &r : entity.relationships()) {
            if (!r.toMany)
                columns << quoted(r.name);
        }
        const QString table = quoted(entity.name());
        QStringList placeholders;
        QStringList assignments;
        for (int i = 0; i < columns.size(); ++i) {
            placeholders << QStringLiteral("?%1").arg(i + 2);
            assignments << QStringLiteral("%1 = ?%2").arg(columns[i]).arg(i + 2);
        }
        const QString insert = QStringLiteral("INSERT INTO %1 (pk%2%3) VALUES (?1%2%4)")
                                   .arg(table, columns.isEmpty() ? QString() : QStringLiteral(", "),
                                        columns.join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", ")));
        const QString update = columns.isEmpty()
            ? QString()
            : QStringLiteral("UPDATE %1 SET %2 WHERE pk = ?1").arg(table, assignments.join(QStringLiteral(", ")));
        const QString remove = QStringLiteral("DELETE FROM %1 WHERE pk = ?1").arg(table);

        EntityStatements st;
        auto prepare = [&](const QString &sql, sqlite3_stmt **out) {
            if (sql.isEmpty())
                return true;
            const QByteArray utf8 = sql.toUtf8();
            return sqlite3_prepare_v3(m_db, utf8.constData(), -1, SQLITE_PREPARE_PERSISTENT, out, nullptr) == SQLITE_OK;
        };
        const bool ok = prepare(insert, &st.insert) && prepare(update, &st.update) && prepare(remove, &st.remove);
        m_statements.insert(entity.name(), st);
        if (!ok) {
            *error = lastError();
            return false;
        }
    }
    return true;
}

bool ObjectStoreIO::load(ManagedObjectContext &context, QString *error)
{
    struct PendingLink {
        ManagedObject *object;
        int relationship;
        qint64 key;
    };
    std::vector<PendingLink> links;

    for (const EntityDescription &entity : m_model.entities()) {
        QStringList columns{QStringLiteral("pk")};
        for (const AttributeDescription &a : entity.attributes())
            columns << quoted(a.name);
        QVector<int> toOne;
        for (int r = 0; r < entity.relationships().size(); ++r) {
            if (!entity.relationships()[r].toMany) {
                columns << quoted(entity.relationships()[r].name);
                toOne << r;
            }
        }
        const QByteArray sql = QStringLiteral("SELECT %1 FROM %2 ORDER BY pk")
                                   .arg(columns.join(QStringLiteral(", ")), quoted(entity.name()))
                                   .toUtf8();
        Statement s;
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &s.stmt, nullptr) != SQLITE_OK) {
            *error = lastError();
            return false;
        }
        const int attributeCount = int(entity.attributes().size());
        std::vector<QString> previousTexts(static_cast<size_t>(attributeCount));
        qint64 maxKey = 0;
        int rc;
        while ((rc = sqlite3_step(s.stmt)) == SQLITE_ROW) {
            const qint64 key = sqlite3_column_int64(s.stmt, 0);
            ManagedObject *object = entity.instantiate();
            context.adopt(object, entity, key);
            readAttributes(s.stmt, object, previousTexts);
            for (int i = 0; i < toOne.size(); ++i) {
                const int column = attributeCount + 1 + i;
                if (sqlite3_column_type(s.stmt, column) != SQLITE_NULL)
                    links.push_back({object, toOne[i], sqlite3_column_int64(s.stmt, column)});
            }
            maxKey = std::max(maxKey, key);
        }
        if (rc != SQLITE_DONE) {
            *error = lastError();
            return false;
        }
        bool found = false;
        const qint64 storedNext = meta(QStringLiteral("nextKey.") + entity.name(), &found).toLongLong();
        const qint64 next = std::max(found ? storedNext : 1, maxKey + 1);
        context.state(entity).nextKey = next;
        m_writtenNextKeys.insert(entity.name(), next);
    }

    for (const PendingLink &link : links) {
        const RelationshipDescription &rel = link.object->entity().relationships()[link.relationship];
        const auto *destinations = context.state(rel.destination);
        ManagedObject *destination = destinations ? destinations->byKey.value(link.key) : nullptr;
        if (!destination) {
            qCWarning(lcStore).noquote() << QStringLiteral("%1 p%2: %3 refers to a missing record p%4")
                                                .arg(link.object->entityName())
                                                .arg(link.object->primaryKey())
                                                .arg(rel.name)
                                                .arg(link.key);
            continue;
        }
        link.object->setToOneInternal(link.relationship, destination, false);
    }
    return true;
}

// The attribute columns follow the primary key, in attribute order, so the
// values of each kind arrive in the order the record keeps them. NULL is absent.
void ObjectStoreIO::readAttributes(sqlite3_stmt *stmt, ManagedObject *object, std::vector<QString> &previousTexts)
{
    const QVector<AttributeDescription> &attributes = object->entity().attributes();
    quint64 present = 0;
    for (int a = 0; a < attributes.size(); ++a) {
        if (sqlite3_column_type(stmt, a + 1) != SQLITE_NULL)
            present |= ManagedObject::bit(a);
    }
    object->m_present = present;
    const EntityDescription &entity = object->entity();
    object->m_numbers.reserve(std::popcount(present & entity.slotMask(SlotKind::Number)));
    object->m_texts.reserve(std::popcount(present & entity.slotMask(SlotKind::Text)));
    object->m_blobs.reserve(std::popcount(present & entity.slotMask(SlotKind::Binary)));
    for (int a = 0; a < attributes.size(); ++a) {
        if (!(present & ManagedObject::bit(a)))
            continue;
        const int column = a + 1;
        switch (attributes[a].type) {
        case AttributeType::Int32:
            object->m_numbers.push_back(qint32(sqlite3_column_int64(stmt, column)));
            break;
        case AttributeType::Int64:
        case AttributeType::Date:
            object->m_numbers.push_back(sqlite3_column_int64(stmt, column));
            break;
        case AttributeType::Bool:
            object->m_numbers.push_back(sqlite3_column_int64(stmt, column) != 0);
            break;
        case AttributeType::Double:
            object->m_numbers.push_back(std::bit_cast<qint64>(sqlite3_column_double(stmt, column)));
            break;
        case AttributeType::Text: {
            // Records repeat texts (icons, devices, owners) row after row:
            // an ASCII text equal to the previous row's shares its string.
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
            const int size = sqlite3_column_bytes(stmt, column);
            QString &previous = previousTexts[size_t(a)];
            const bool ascii = std::all_of(text, text + size, [](char c) { return uchar(c) < 0x80; });
            if (size == 0 || !ascii || previous.size() != size || previous != QLatin1StringView(text, size))
                previous = QString::fromUtf8(text, size);
            object->m_texts.push_back(previous);
            break;
        }
        case AttributeType::Binary: {
            const auto *blob = static_cast<const char *>(sqlite3_column_blob(stmt, column));
            const int size = sqlite3_column_bytes(stmt, column);
            // An empty value stays a value (not absent).
            object->m_blobs.push_back(blob ? QByteArray(blob, size) : QByteArray(""));
            break;
        }
        }
    }
}

// Binds the record's values from their slots; they stay untouched until the
// statement has run, so SQLite reads them in place.
bool ObjectStoreIO::bindRow(sqlite3_stmt *stmt, const ManagedObject *object, int firstParameter, QString *error)
{
    const EntityDescription &entity = object->entity();
    int p = firstParameter;
    int rc = SQLITE_OK;
    auto number = object->m_numbers.cbegin();
    auto text = object->m_texts.cbegin();
    auto blob = object->m_blobs.cbegin();
    for (int a = 0; a < entity.attributes().size() && rc == SQLITE_OK; ++a, ++p) {
        if (!object->hasValueAt(a)) {
            rc = sqlite3_bind_null(stmt, p);
            continue;
        }
        switch (entity.attributes()[a].type) {
        case AttributeType::Int32:
        case AttributeType::Int64:
        case AttributeType::Bool:
        case AttributeType::Date:
            rc = sqlite3_bind_int64(stmt, p, *number++);
            break;
        case AttributeType::Double:
            rc = sqlite3_bind_double(stmt, p, std::bit_cast<double>(*number++));
            break;
        case AttributeType::Text:
            rc = sqlite3_bind_text16(stmt, p, text->utf16(), int(text->size() * 2), SQLITE_STATIC);
            ++text;
            break;
        case AttributeType::Binary:
            rc = sqlite3_bind_blob(stmt, p, blob->constData(), int(blob->size()), SQLITE_STATIC);
            ++blob;
            break;
        }
    }
    for (int r = 0; r < entity.relationships().size() && rc == SQLITE_OK; ++r) {
        if (entity.relationships()[r].toMany)
            continue;
        const ManagedObject *destination = object->m_toOne[r];
        rc = destination ? sqlite3_bind_int64(stmt, p, destination->primaryKey()) : sqlite3_bind_null(stmt, p);
        ++p;
    }
    if (rc != SQLITE_OK)
        *error = lastError();
    return rc == SQLITE_OK;
}

bool ObjectStoreIO::write(const std::vector<ManagedObject *> &objects, const QHash<QString, qint64> &nextKeys,
                          QString *error)
{
    if (!m_db) {
        *error = QStringLiteral("the store was closed after a failed rollback; open it again");
        return false;
    }
    if (!exec("BEGIN IMMEDIATE", error))
        return false;

    auto step = [&](sqlite3_stmt *stmt) {
        const int rc = sqlite3_step(stmt);
        sqlite3_reset(stmt);
        sqlite3_clear_bindings(stmt);
        if (rc != SQLITE_DONE)
            *error = lastError();
        return rc == SQLITE_DONE;
    };

    bool ok = true;
    int written = 0;
    for (ManagedObject *object : objects) {
        const EntityStatements &st = m_statements[object->entityName()];
        sqlite3_stmt *stmt = nullptr;
        if (object->m_deleted) {
            if (!object->m_inFile)
                continue; // inserted and deleted between two saves
            stmt = st.remove;
            ok = sqlite3_bind_int64(stmt, 1, object->primaryKey()) == SQLITE_OK;
        } else if (object->m_inserted) {
            stmt = st.insert;
            ok = sqlite3_bind_int64(stmt, 1, object->primaryKey()) == SQLITE_OK && bindRow(stmt, object, 2, error);
        } else if (object->m_savedMask != 0 && st.update) {
            stmt = st.update;
            ok = sqlite3_bind_int64(stmt, 1, object->primaryKey()) == SQLITE_OK && bindRow(stmt, object, 2, error);
        } else {
            continue;
        }
        if (ok)
            ok = step(stmt);
        else
            sqlite3_reset(stmt);
        if (!ok)
            break;
        ++written;
        if (g_rowWrittenHook)
            g_rowWrittenHook(written);
    }

    if (ok) {
        for (auto it = nextKeys.cbegin(); ok && it != nextKeys.cend(); ++it) {
            if (m_writtenNextKeys.value(it.key()) != it.value())
                ok = setMeta(QStringLiteral("nextKey.") + it.key(), QString::number(it.value()), error);
        }
    }
    if (ok && !m_storeId.isEmpty() && m_writtenStoreId != m_storeId)
        ok = setMeta(QStringLiteral("storeIdentifier"), m_storeId, error);
    if (ok)
        ok = exec("COMMIT", error);
    if (!ok) {
        exec("ROLLBACK", nullptr);
        // A transaction still open would take the next save's rows into it:
        // closing the connection rolls it back or leaves a hot journal.
        if (!sqlite3_get_autocommit(m_db)) {
            *error += QStringLiteral("; the rollback failed too, so the store was closed");
            closeConnection();
        }
        return false;
    }
    for (auto it = nextKeys.cbegin(); it != nextKeys.cend(); ++it)
        m_writtenNextKeys.insert(it.key(), it.value());
    m_writtenStoreId = m_storeId;
    return true;
}
