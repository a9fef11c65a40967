#include "ChangeTracker.h"

#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "UndoManager.h"

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
    // Changes made while watching was off are announced now, before the
    // observer is attached, so that they stay unmarked.
    context->processPendingChanges();
    m_connection = connect(context, &ManagedObjectContext::objectsDidChange, this, &ChangeTracker::markStuffAsEdited);
    m_receiving = true;
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
    disconnect(m_connection);
    m_connection = {};
    m_receiving = false;
    if (context) {
        // Changes made while watching is off cannot be undone.
        m_savedUndoManager = context->undoManager();
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
            const QString &entity = object->entityName();
            if (entity == TODOList::EntityName) {
                auto *list = static_cast<TODOList *>(object);
                if (list->edited_since() == 0 && list->needToUpload()) {
                    list->setEdited_since(1);
                    qCInfo(lcDocument).noquote()
                        << QStringLiteral("NOTIFICATION: Marked TODOList '%1' as edited with id: '%2'")
                               .arg(list->name())
                               .arg(list->id_());
                }
            } else if (entity == TODOItem::EntityName) {
                auto *item = static_cast<TODOItem *>(object);
                if (item->edited_since() == 0 && item->needToUpload()) {
                    item->setEdited_since(1);
                    qCInfo(lcDocument).noquote()
                        << QStringLiteral("NOTIFICATION: Marked TODOITEM '%1' as edited with id: '%2'")
                               .arg(item->name())
                               .arg(item->id_());
                }
            }
        }
    }
}
