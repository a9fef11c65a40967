#include "ManagedObjectContext.h"

#include "Logging.h"
#include "ManagedObject.h"
#include "ObjectStoreIO.h"
#include "UndoManager.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QUuid>

#include <algorithm>

namespace {
const QList<ManagedObject *> kNoObjects;
// Groups of changes the user can undo; older ones are dropped.
constexpr int kUndoLimit = 100;
}

ManagedObjectContext::ManagedObjectContext(const ObjectModel &model, QObject *parent)
    : QObject(parent)
    , m_model(model)
    , m_storeId(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    for (const EntityDescription &entity : m_model.entities())
        m_entities[entity.name()].entity = &entity;
    m_ownUndoManager = new UndoManager(this);
    m_ownUndoManager->setUndoLimit(kUndoLimit);
    setUndoManager(m_ownUndoManager);
}

ManagedObjectContext::~ManagedObjectContext()
{
    // Undo actions point at records of this context; none may outlive it.
    if (m_undoManager)
        m_undoManager->removeAllActions();
    if (m_ownUndoManager && m_ownUndoManager != m_undoManager)
        m_ownUndoManager->removeAllActions();
    close();
}

// --- The persistent store ------------------------------------------------

namespace {

std::unique_ptr<QLockFile> lockStore(const QString &path, QString *error)
{
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0); // stale only when the holder is gone, never by age
    if (lock->tryLock(0))
        return lock;
    qint64 pid = 0;
    QString host, application;
    lock->getLockInfo(&pid, &host, &application);
    if (error) {
        if (lock->error() == QLockFile::LockFailedError)
            *error = QStringLiteral("The store %1 is in use by another Corvane process (pid %2). Quit it and try again.")
                         .arg(path)
                         .arg(pid);
        else
            *error = QStringLiteral("The store %1 cannot be locked for writing.").arg(path);
    }
    return {};
}

// Logs why opening or creating a store failed and hands the reason back.
bool failWith(QString *error, const QString &text)
{
    qCWarning(lcStore).noquote() << text;
    if (error)
        *error = text;
    return false;
}

} // namespace

bool ManagedObjectContext::open(const QString &path, QString *error, StoreAccess access)
{
    QString message = whyNotOpen(path);
    if (!message.isEmpty())
        return failWith(error, message);
    auto lock = lockStore(path, &message);
    if (!lock)
        return failWith(error, message);
    return openLocked(path, std::move(lock), access, error);
}

QString ManagedObjectContext::whyNotOpen(const QString &path) const
{
    if (m_io)
        return QStringLiteral("A store is already open: %1").arg(m_path);
    if (!m_owned.empty())
        return QStringLiteral("Cannot open %1 into a context that holds records").arg(path);
    return {};
}

// Opens the store into this empty context with its lock already held; the
// lock goes with a failure.
bool ManagedObjectContext::openLocked(const QString &path, std::unique_ptr<QLockFile> lock, StoreAccess access,
                                      QString *error)
{
    QString message;
    auto fail = [error](const QString &text) { return failWith(error, text); };
    auto io = ObjectStoreIO::open(path, false, m_model, access, &message);
    if (!io)
        return fail(message);
    if (!io->storeIdentifier().isEmpty())
        m_storeId = io->storeIdentifier();
    else
        io->setStoreIdentifier(m_storeId);
    if (!io->load(*this, &message)) {
        clearRecords();
        return fail(QStringLiteral("Cannot read %1: %2").arg(path, message));
    }
    m_io = std::move(io);
    m_lock = std::move(lock);
    m_path = QFileInfo(path).absoluteFilePath();
    if (m_undoManager)
        m_undoManager->removeAllActions();
    return true;
}

bool ManagedObjectContext::create(const QString &path, QString *error)
{
    QString message;
    auto fail = [error](const QString &text) { return failWith(error, text); };
    if (m_io)
        return fail(QStringLiteral("A store is already open: %1").arg(m_path));

    auto lock = lockStore(path, &message);
    if (!lock)
        return fail(message);
    auto io = ObjectStoreIO::open(path, true, m_model, StoreAccess::Write, &message);
    if (!io)
        return fail(message);
    io->setStoreIdentifier(m_storeId);
    m_io = std::move(io);
    m_lock = std::move(lock);
    m_path = QFileInfo(path).absoluteFilePath();

    // Everything the context holds goes into the new file.
    for (auto &owned : m_owned) {
        ManagedObject *object = owned.get();
        object->m_inFile = false;
        if (object->m_deleted)
            continue;
        object->m_inserted = true;
        markUnsaved(object);
    }
    if (!save(&message)) {
        m_io.reset();
        m_lock.reset();
        m_path.clear();
        QFile::remove(path);
        return fail(message);
    }
    return true;
}

void ManagedObjectContext::close()
{
    m_io.reset();
    m_lock.reset();
}

bool ManagedObjectContext::hasStore() const
{
    return m_io != nullptr;
}

bool ManagedObjectContext::save(QString *error)
{
    processPendingChanges();
    if (!m_io) {
        const QString text = QStringLiteral("No store file to save to");
        if (error)
            *error = text;
        return false;
    }
    if (m_unsaved.empty())
        return true;

    QHash<QString, qint64> nextKeys;
    for (auto it = m_entities.cbegin(); it != m_entities.cend(); ++it)
        nextKeys.insert(it.key(), it->nextKey);

    QString message;
    if (!m_io->write(m_unsaved, nextKeys, &message)) {
        qCWarning(lcStore).noquote() << QStringLiteral("Saving %1 failed: %2").arg(m_path, message);
        if (error)
            *error = message;
        return false;
    }
    for (ManagedObject *object : m_unsaved) {
        object->m_inUnsaved = false;
        object->m_savedMask = 0;
        if (object->m_deleted) {
            if (object->m_inFile)
                state(object->entity()).byKey.remove(object->m_pk);
            object->m_inFile = false;
            object->m_deletePending = false;
        } else if (object->m_inserted) {
            object->m_inserted = false;
            object->m_inFile = true;
        }
    }
    m_unsaved.clear();
    emit didSave();
    return true;
}

// --- Records ---------------------------------------------------------------

ManagedObjectContext::EntityState &ManagedObjectContext::state(const EntityDescription &entity)
{
    return m_entities[entity.name()];
}

const ManagedObjectContext::EntityState *ManagedObjectContext::state(const QString &entity) const
{
    auto it = m_entities.constFind(entity);
    return it == m_entities.cend() ? nullptr : &it.value();
}

void ManagedObjectContext::adopt(ManagedObject *object, const EntityDescription &entity, qint64 key)
{
    object->m_entity = &entity;
    object->m_context = this;
    object->m_pk = key;
    object->m_toOne.resize(entity.relationships().size(), nullptr);
    object->m_toMany.resize(entity.relationships().size());
    object->m_inFile = true;
    ++m_changeCount;
    m_owned.emplace_back(object);
    EntityState &st = state(entity);
    st.live.append(object);
    st.byKey.insert(key, object);
}

void ManagedObjectContext::clearRecords()
{
    ++m_changeCount;
    m_unsaved.clear();
    m_pending.clear();
    m_pendingInserted.clear();
    m_pendingDeleted.clear();
    for (auto &st : m_entities) {
        st.live.clear();
        st.byKey.clear();
        st.nextKey = 1;
    }
    m_owned.clear();
}

ManagedObject *ManagedObjectContext::insert(const QString &entityName)
{
    const EntityDescription *entity = m_model.entity(entityName);
    if (!entity) {
        qCCritical(lcStore).noquote() << QStringLiteral("Unknown entity %1").arg(entityName);
        return nullptr;
    }
    EntityState &st = state(*entity);
    ManagedObject *object = entity->instantiate();
    adopt(object, *entity, st.nextKey++);
    object->m_inFile = false;
    object->m_inserted = true;
    object->m_insertPending = true;
    markUnsaved(object);
    m_pendingInserted.append(object);
    if (m_undoManager)
        m_undoManager->registerUndo([this, object]() { deleteObject(object); });
    scheduleProcessing();
    return object;
}

void ManagedObjectContext::deleteObject(ManagedObject *object)
{
    if (!object || object->m_context != this || object->m_deleted)
        return;

    // Relationships are nullified, each change undoable on its own.
    const auto &relationships = object->entity().relationships();
    for (int r = 0; r < relationships.size(); ++r) {
        if (!relationships[r].toMany) {
            object->setToOneInternal(r, nullptr, true);
            continue;
        }
        const QList<ManagedObject *> members = object->m_toMany[r];
        for (ManagedObject *member : members) {
            const int inverse = member->entity().relationshipIndex(relationships[r].inverse);
            if (inverse >= 0)
                member->setToOneInternal(inverse, nullptr, true);
        }
    }

    object->m_deleted = true;
    EntityState &st = state(object->entity());
    st.live.removeOne(object);
    if (object->m_inFile)
        object->m_deletePending = true;
    object->m_inserted = false;
    markUnsaved(object);
    if (object->m_insertPending) {
        object->m_insertPending = false;
        m_pendingInserted.removeOne(object);
    } else {
        m_pendingDeleted.append(object);
    }
    if (m_undoManager)
        m_undoManager->registerUndo([this, object]() { reinsert(object); });
    scheduleProcessing();
}

void ManagedObjectContext::reinsert(ManagedObject *object)
{
    if (!object->m_deleted)
        return;
    object->m_deleted = false;
    object->m_deletePending = false;
    if (!object->m_inFile)
        object->m_inserted = true;

    EntityState &st = state(object->entity());
    st.byKey.insert(object->m_pk, object);
    auto pos = std::lower_bound(st.live.begin(), st.live.end(), object,
                                [](const ManagedObject *a, const ManagedObject *b) { return a->m_pk < b->m_pk; });
    st.live.insert(pos, object);

    markUnsaved(object);
    if (m_pendingDeleted.removeOne(object)) {
        // deleted and restored within one event: nothing to announce
    } else {
        object->m_insertPending = true;
        m_pendingInserted.append(object);
    }
    if (m_undoManager)
        m_undoManager->registerUndo([this, object]() { deleteObject(object); });
    scheduleProcessing();
}

QList<ManagedObject *> ManagedObjectContext::fetch(const QString &entity, const Predicate &predicate,
                                                   const QList<SortDescriptor> &sortDescriptors) const
{
    const EntityState *st = state(entity);
    if (!st) {
        qCWarning(lcStore).noquote() << QStringLiteral("Fetch of unknown entity %1").arg(entity);
        return {};
    }
    QList<ManagedObject *> result;
    if (predicate.isNull()) {
        result = st->live;
    } else {
        for (ManagedObject *object : st->live) {
            if (predicate.evaluate(object))
                result.append(object);
        }
    }
    if (!sortDescriptors.isEmpty())
        SortDescriptor::sort(result, sortDescriptors);
    return result;
}

int ManagedObjectContext::count(const QString &entity, const Predicate &predicate) const
{
    const EntityState *st = state(entity);
    if (!st)
        return 0;
    if (predicate.isNull())
        return int(st->live.size());
    return int(std::count_if(st->live.cbegin(), st->live.cend(),
                             [&](const ManagedObject *o) { return predicate.evaluate(o); }));
}

const QList<ManagedObject *> &ManagedObjectContext::objects(const QString &entity) const
{
    const EntityState *st = state(entity);
    return st ? st->live : kNoObjects;
}

ManagedObject *ManagedObjectContext::objectForURI(const QUrl &uri) const
{
    if (uri.scheme() != QLatin1String("x-corvane-object") || uri.host() != m_storeId.toLower())
        return nullptr;
    const QStringList parts = uri.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.size() != 2 || !parts[1].startsWith(QLatin1Char('p')))
        return nullptr;
    bool ok = false;
    const qint64 key = parts[1].mid(1).toLongLong(&ok);
    const EntityState *st = state(parts[0]);
    if (!ok || !st)
        return nullptr;
    ManagedObject *object = st->byKey.value(key);
    return object && !object->m_deleted ? object : nullptr;
}

// --- Changes -----------------------------------------------------------------

void ManagedObjectContext::markUnsaved(ManagedObject *object)
{
    if (!object->m_inUnsaved) {
        object->m_inUnsaved = true;
        m_unsaved.push_back(object);
    }
}

void ManagedObjectContext::markPending(ManagedObject *object)
{
    if (!object->m_inPending) {
        object->m_inPending = true;
        m_pending.push_back(object);
    }
}

void ManagedObjectContext::recordChange(ManagedObject *object, int bit, bool registerUndo, std::function<void()> undo)
{
    const quint64 mask = quint64(1) << bit;
    object->m_savedMask |= mask;
    object->m_pendingMask |= mask;
    markUnsaved(object);
    markPending(object);
    if (registerUndo && m_undoManager && undo)
        m_undoManager->registerUndo(std::move(undo));
    scheduleProcessing();
}

void ManagedObjectContext::scheduleProcessing()
{
    ++m_changeCount;
    if (m_processScheduled)
        return;
    m_processScheduled = true;
    // Once per turn of the event loop: announce the changes, then close the
    // undo group of this turn.
    QMetaObject::invokeMethod(
        this,
        [this]() {
            m_processScheduled = false;
            processPendingChanges();
            if (m_undoManager)
                m_undoManager->closeAutomaticGroup();
        },
        Qt::QueuedConnection);
}

void ManagedObjectContext::processPendingChanges()
{
    if (m_notifying)
        return; // changes made by observers are announced in the next round

    // Observers may change records in answer; those changes are announced in
    // further rounds, until nothing is left.
    for (int round = 0; round < 100; ++round) {
        ObjectsChange change;
        change.inserted = std::exchange(m_pendingInserted, {});
        change.deleted = std::exchange(m_pendingDeleted, {});
        std::vector<ManagedObject *> touched = std::exchange(m_pending, {});
        for (ManagedObject *object : change.inserted) {
            if (!object->m_inPending)
                touched.push_back(object);
            object->m_inPending = true;
        }
        for (ManagedObject *object : touched) {
            object->m_eventMask = object->m_pendingMask;
            object->m_pendingMask = 0;
            object->m_inPending = false;
        }
        for (ManagedObject *object : touched) {
            if (!object->m_deleted && !object->m_insertPending && object->m_eventMask != 0)
                change.updated.append(object);
        }
        for (ManagedObject *object : change.inserted)
            object->m_insertPending = false;
        if (change.isEmpty())
            return;

        m_notifying = true;
        emit objectsDidChange(change);
        m_notifying = false;
        for (ManagedObject *object : touched)
            object->m_eventMask = 0;
    }
    qCWarning(lcStore) << "Change notifications did not settle after 100 rounds";
}

void ManagedObjectContext::setUndoManager(UndoManager *undoManager)
{
    if (m_undoManager == undoManager)
        return;
    if (m_undoManager) {
        m_undoManager->setCheckpoint({});
        m_undoManager->setAfterReplay({});
    }
    m_undoManager = undoManager;
    if (m_undoManager) {
        m_undoManager->setCheckpoint([this]() { processPendingChanges(); });
        m_undoManager->setAfterReplay([this]() { processPendingChanges(); });
    }
}
