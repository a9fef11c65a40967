#include "ChangeTracker.h"

#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "UndoManager.h"

#include <utility>

namespace {

TODOList *asList(ManagedObject *object)
{
    return object->entityName() == TODOList::EntityName ? static_cast<TODOList *>(object) : nullptr;
}

TODOItem *asItem(ManagedObject *object)
{
    return object->entityName() == TODOItem::EntityName ? static_cast<TODOItem *>(object) : nullptr;
}

// Other records than lists and items count as marked: they are never marked.
bool isMarked(ManagedObject *object)
{
    if (TODOList *list = asList(object))
        return list->edited_since() != 0;
    if (TODOItem *item = asItem(object))
        return item->edited_since() != 0;
    return true;
}

// A list or an item whose pending change touches a tracked attribute.
bool hasTrackedChange(ManagedObject *object)
{
    if (TODOList *list = asList(object))
        return list->needToUpload();
    if (TODOItem *item = asItem(object))
        return item->needToUpload();
    return false;
}

} // namespace

ChangeTracker::ChangeTracker(MyDocument &document, QObject *parent)
    : QObject(parent)
    , m_document(document)
{
}

void ChangeTracker::enableDidChangeContextNotifications()
{
    if (m_receiving)
        return;
    qCInfo(lcDocument).noquote() << QStringLiteral("ENABLE NSMANAGEDOBJECTCONTEXTOBJECTDIDCHANGENOTIFICATION");
    ManagedObjectContext *context = m_document.managedObjectContext();
    if (!context)
        return;
    // Changes made while watching was off are announced now, before watching
    // resumes: the merge's stay unmarked, the user's are remembered.
    context->processPendingChanges();
    if (!m_connection)
        m_connection = connect(context, &ManagedObjectContext::objectsDidChange, this, &ChangeTracker::markStuffAsEdited);
    m_receiving = true;
    for (ManagedObject *object : std::exchange(m_editedWhileOff, {})) {
        if (!object->isDeleted())
            mark(object);
    }
    if (m_savedUndoManager) {
        context->setUndoManager(m_savedUndoManager);
        m_savedUndoManager = nullptr;
    }
}

void ChangeTracker::disableDidChangeContextNotifications()
{
    if (!m_receiving)
        return;
    qCInfo(lcDocument).noquote() << QStringLiteral("DISABLE NSMANAGEDOBJECTCONTEXTOBJECTDIDCHANGENOTIFICATION");
    ManagedObjectContext *context = m_document.managedObjectContext();
    if (context) {
        // Edits made so far are still announced, and marked.
        context->processPendingChanges();
    }
    m_receiving = false;
    if (context) {
        // Changes made while watching is off cannot be undone. The group of
        // this turn is closed first, so the next edit after watching returns
        // is an undo step of its own.
        m_savedUndoManager = context->undoManager();
        if (m_savedUndoManager)
            m_savedUndoManager->closeAutomaticGroup();
        context->setUndoManager(nullptr);
    }
}

void ChangeTracker::markStuffAsEdited(const ObjectsChange &change)
{
    const QList<ManagedObject *> *sets[] = {&change.inserted, &change.updated, &change.deleted};
    for (const QList<ManagedObject *> *objects : sets) {
        for (ManagedObject *object : *objects) {
            if (!object)
                continue;
            if (m_receiving) {
                if (!isMarked(object) && hasTrackedChange(object))
                    mark(object);
            } else if (m_mergeDepth == 0 && hasTrackedChange(object)) {
                // Watching is off (the observer stays attached once watching
                // has started): remembered even when marked, as the merge
                // clears the mark.
                m_editedWhileOff.insert(object);
            }
        }
    }
}

void ChangeTracker::mark(ManagedObject *object)
{
    if (isMarked(object))
        return;
    if (TODOList *list = asList(object)) {
        list->setEdited_since(1);
        qCInfo(lcDocument).noquote()
            << QStringLiteral("NOTIFICATION: Marked TODOList '%1' as edited with id: '%2'").arg(list->name()).arg(list->id_());
    } else if (TODOItem *item = asItem(object)) {
        item->setEdited_since(1);
        qCInfo(lcDocument).noquote()
            << QStringLiteral("NOTIFICATION: Marked TODOITEM '%1' as edited with id: '%2'").arg(item->name()).arg(item->id_());
    }
}

ChangeTracker::MergeWrites::MergeWrites(ChangeTracker &tracker)
    : m_tracker(tracker)
{
    // The user's edits so far are announced as theirs.
    if (ManagedObjectContext *context = m_tracker.m_document.managedObjectContext())
        context->processPendingChanges();
    ++m_tracker.m_mergeDepth;
}

ChangeTracker::MergeWrites::~MergeWrites()
{
    // The merge's writes are announced while they are known as the merge's.
    if (ManagedObjectContext *context = m_tracker.m_document.managedObjectContext())
        context->processPendingChanges();
    --m_tracker.m_mergeDepth;
}
