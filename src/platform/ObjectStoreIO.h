#pragma once

#include <QHash>
#include <QString>

#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class EntityDescription;
class ManagedObject;
class ManagedObjectContext;
class ObjectModel;

// What the opener of a store needs. Read: a store that cannot be written
// opens all the same (its saves then fail); Write: such a store is refused.
enum class StoreAccess { Write, Read };

// Reads and writes the records of one context in a SQLite file.
//
// Layout: one table per entity named after it, a column per attribute named
// after it (to-one relationships hold the destination's primary key), the
// integer primary key "pk", and the table "corvane_meta" with the model's
// name and version, the store identifier and the next primary key per entity.
// The file uses a rollback journal (journal_mode=DELETE, synchronous=FULL):
// every committed save is complete in the one file, which the rotating
// backups copy on its own. A reader holding the file makes a save wait a few
// seconds before it fails.
class ObjectStoreIO
{
public:
    ~ObjectStoreIO();

    // Opens an existing store (create == false) or makes a new one at a path
    // where no file exists (create == true). An existing file that is not a
    // store of this model is never written to.
    static std::unique_ptr<ObjectStoreIO> open(const QString &path, bool create, const ObjectModel &model,
                                               StoreAccess access, QString *error);

    // Lets SQLite roll back the hot journal a crash left beside the file at
    // path (open, read the schema, close), so the file is whole on its own
    // before it is copied. Fails when a journal remains, e.g. because another
    // program is writing the file.
    static bool settleJournal(const QString &path, QString *error);

    // Loads every record into the context (which must be empty).
    bool load(ManagedObjectContext &context, QString *error);

    // Writes the given changed records in one transaction.
    bool write(const std::vector<ManagedObject *> &objects, const QHash<QString, qint64> &nextKeys, QString *error);

    QString storeIdentifier() const { return m_storeId; }
    void setStoreIdentifier(const QString &id);

    // Test hook: called after each row written during a save, with the count so far.
    static void setRowWrittenHookForTesting(void (*hook)(int rowsWritten));

private:
    struct EntityStatements {
        sqlite3_stmt *insert = nullptr;
        sqlite3_stmt *update = nullptr;
        sqlite3_stmt *remove = nullptr;
    };

    ObjectStoreIO(sqlite3 *db, const ObjectModel &model);
    bool exec(const char *sql, QString *error);
    bool exec(const QString &sql, QString *error);
    bool useRollbackJournal(QString *error);
    void closeConnection();
    QString lastError() const;
    bool checkIdentity(bool create, QString *error);
    bool migrateSchema(QString *error);
    bool prepareStatements(QString *error);
    // The previous row's texts, by attribute: an equal text shares its string.
    static void readAttributes(sqlite3_stmt *stmt, ManagedObject *object, std::vector<QString> &previousTexts);
    bool bindRow(sqlite3_stmt *stmt, const ManagedObject *object, int firstParameter, QString *error);
    QString meta(const QString &key, bool *found = nullptr) const;
    bool setMeta(const QString &key, const QString &value, QString *error);

    sqlite3 *m_db = nullptr;
    const ObjectModel &m_model;
    QString m_storeId;
    QString m_writtenStoreId;
    QHash<QString, EntityStatements> m_statements;
    QHash<QString, qint64> m_writtenNextKeys;
};
