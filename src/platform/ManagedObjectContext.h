#pragma once

#include "ObjectModel.h"
#include "ObjectStoreIO.h"
#include "Predicate.h"
#include "SortDescriptor.h"
#include "UndoManager.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUrl>

#include <memory>
#include <vector>

class ManagedObject;
class QLockFile;


// The changes of one change event, announced by objectsDidChange.
struct ObjectsChange {
    QList<ManagedObject *> inserted;
    QList<ManagedObject *> updated;
    QList<ManagedObject *> deleted;
    bool isEmpty() const { return inserted.isEmpty() && updated.isEmpty() && deleted.isEmpty(); }
};

// Owns every record of one object graph and its persistent store file.
//
// All records are loaded when the store opens and live until the context
// goes; fetches run in memory. save() writes only the records changed since
// the last save, in one SQLite transaction, so its cost follows the number of
// changes and not the size of the store, and a crash mid-save leaves the file
// as of the previous save.
//
// Changes are gathered and announced once per turn of the Qt event loop (or
// when processPendingChanges() is called) in objectsDidChange. The undo
// manager groups the changes of one turn; it can be detached and given back.
class ManagedObjectContext : public QObject
{
    Q_OBJECT
public:
    explicit ManagedObjectContext(const ObjectModel &model, QObject *parent = nullptr);
    ~ManagedObjectContext() override;

    const ObjectModel &model() const { return m_model; }

    // --- The persistent store --------------------------------------------

    // Opens an existing store file and loads its records. The file is locked
    // for writing by this process: a second writer fails with a clear message.
    // A file that is not a store of this model is left exactly as it is.
    // Only a context with no records may open a store. A write-protected
    // store is refused unless the caller only reads (StoreAccess::Read).
    bool open(const QString &path, QString *error = nullptr, StoreAccess access = StoreAccess::Write);
    // Creates a new store file at a path where no file exists and writes every
    // record of the context into it.
    bool create(const QString &path, QString *error = nullptr);
    // Releases the store file and its lock; the records stay in memory.
    void close();
    bool hasStore() const;
    QString storePath() const { return m_path; }
    // Identifies the store in object URIs.
    QString storeIdentifier() const { return m_storeId; }

    bool save(QString *error = nullptr);
    bool hasChanges() const { return !m_unsaved.empty(); }

    // --- Records ----------------------------------------------------------

    ManagedObject *insert(const QString &entity);
    template <class T>
    T *insert(const QString &entity) { return static_cast<T *>(insert(entity)); }

    // Deletes a record: it leaves every fetch and relationship. The object
    // stays allocated until the context goes, so undo can bring it back.
    void deleteObject(ManagedObject *object);

    QList<ManagedObject *> fetch(const QString &entity, const Predicate &predicate = {},
                                 const QList<SortDescriptor> &sortDescriptors = {}) const;
    int count(const QString &entity, const Predicate &predicate = {}) const;
    // Every live record of an entity, in insertion order.
    const QList<ManagedObject *> &objects(const QString &entity) const;

    ManagedObject *objectForURI(const QUrl &uri) const;

    // --- Changes ------------------------------------------------------------

    // Announces the changes gathered since the last announcement.
    void processPendingChanges();
    bool isProcessingChanges() const { return m_notifying; }

    UndoManager *undoManager() const { return m_undoManager; }
    // Names the undo step being recorded ("Trash Items"); nothing while the
    // undo manager is detached (a merge).
    void setUndoActionName(const QString &name)
    {
        if (m_undoManager)
            m_undoManager->setActionName(name);
    }
    // Detaching (nullptr) stops undo registration; giving it back resumes it.
    void setUndoManager(UndoManager *undoManager);

    // While alive, the context's changes make no undo step (and so leave the
    // redo stack alone). They are announced before the undo manager returns,
    // so what observers write in answer is not recorded either.
    class WithoutUndo
    {
    public:
        explicit WithoutUndo(ManagedObjectContext &context)
            : m_context(context)
            , m_undoManager(context.undoManager())
        {
            context.setUndoManager(nullptr);
        }
        ~WithoutUndo()
        {
            m_context.processPendingChanges();
            m_context.setUndoManager(m_undoManager);
        }
        WithoutUndo(const WithoutUndo &) = delete;
        WithoutUndo &operator=(const WithoutUndo &) = delete;

    private:
        ManagedObjectContext &m_context;
        UndoManager *m_undoManager;
    };

    // Counts the changes to records (values, relationships, insertions,
    // deletions, records dropped or loaded) as they are made, not when they
    // are announced: what was derived from the records still holds while the
    // count stays the same.
    quint64 changeCount() const { return m_changeCount; }

signals:
    void objectsDidChange(const ObjectsChange &change);
    void didSave();

private:
    friend class ManagedObject;
    friend class ObjectStoreIO;

    struct EntityState {
        const EntityDescription *entity = nullptr;
        QList<ManagedObject *> live;            // insertion order
        QHash<qint64, ManagedObject *> byKey;   // live and deleted-unsaved
        qint64 nextKey = 1;
    };

    EntityState &state(const EntityDescription &entity);
    const EntityState *state(const QString &entity) const;

    // Called by records.
    void recordChange(ManagedObject *object, int bit, bool registerUndo, std::function<void()> undo);
    void markUnsaved(ManagedObject *object);
    void markPending(ManagedObject *object);
    void scheduleProcessing();
    void reinsert(ManagedObject *object);
    void adopt(ManagedObject *object, const EntityDescription &entity, qint64 key);
    void clearRecords();
    QString whyNotOpen(const QString &path) const;
    bool openLocked(const QString &path, std::unique_ptr<QLockFile> lock, StoreAccess access, QString *error);

    const ObjectModel &m_model;
    QString m_path;
    QString m_storeId;
    std::unique_ptr<ObjectStoreIO> m_io;
    std::unique_ptr<QLockFile> m_lock;
    QHash<QString, EntityState> m_entities;
    std::vector<std::unique_ptr<ManagedObject>> m_owned;

    std::vector<ManagedObject *> m_unsaved;  // changed since the last save, in order
    std::vector<ManagedObject *> m_pending;  // changed since the last announcement
    QList<ManagedObject *> m_pendingInserted;
    QList<ManagedObject *> m_pendingDeleted;
    quint64 m_changeCount = 0;
    bool m_processScheduled = false;
    bool m_notifying = false;

    QPointer<UndoManager> m_undoManager;
    UndoManager *m_ownUndoManager = nullptr;
};
