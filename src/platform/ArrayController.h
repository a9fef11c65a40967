#pragma once

#include "Predicate.h"
#include "SortDescriptor.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class ManagedObject;
class ManagedObjectContext;
struct ObjectsChange;

// Holds a collection of records and arranges it for display: the content,
// filtered by a predicate and ordered by sort descriptors, gives the arranged
// objects; the selection is kept as indexes into the arranged objects.
//
// The content is either set directly or pulled from a source function on
// every rearrange (a quadrant's content is "the selected list's items").
class ArrayController : public QObject
{
    Q_OBJECT
public:
    using ContentSource = std::function<QList<ManagedObject *>()>;

    explicit ArrayController(QObject *parent = nullptr);

    // --- Content ------------------------------------------------------------
    void setContent(const QList<ManagedObject *> &content);
    void setContentSource(ContentSource source);
    QList<ManagedObject *> content() const;

    // --- Arrangement ----------------------------------------------------------
    void setFilterPredicate(const Predicate &predicate);
    const Predicate &filterPredicate() const { return m_filter; }
    void setSortDescriptors(const QList<SortDescriptor> &descriptors);
    const QList<SortDescriptor> &sortDescriptors() const { return m_sort; }

    // Re-reads the content source, filters and sorts. The selection keeps the
    // selected records that are still arranged.
    void rearrangeObjects();
    const QList<ManagedObject *> &arrangedObjects() const { return m_arranged; }
    int indexOfArrangedObject(const ManagedObject *object) const;

    // Opt-in: rearranges after each change event of the context that inserts,
    // updates or deletes a record that is or may be in the content (with a
    // content source, any record of `entity`), so an edited row moves to its
    // sorted place and a record that no longer passes the filter leaves.
    // A null context switches it off. While it is on, a rearrange that finds
    // the content, the filter and every record of the context as they were
    // last time (a new order, say) reuses what passed the filter then.
    void setAutomaticallyRearrangesObjects(ManagedObjectContext *context, const QString &entity);

    // --- Editing --------------------------------------------------------------
    // Adds to the content and rearranges.
    void addObject(ManagedObject *object);
    // Adds to the content and places the object at an arranged position
    // without re-sorting (as a table does for a new row); clamped to the ends.
    void insertObject(ManagedObject *object, int arrangedIndex);
    // Removes arranged objects from the content (not from the store).
    void removeObjectsAtArrangedIndexes(const QList<int> &indexes);
    void removeObject(ManagedObject *object);

    // --- Selection ------------------------------------------------------------
    QList<int> selectionIndexes() const { return m_selection; }
    bool setSelectionIndexes(const QList<int> &indexes);
    QList<ManagedObject *> selectedObjects() const;
    bool setSelectedObjects(const QList<ManagedObject *> &objects);
    void clearSelection() { setSelectionIndexes({}); }

signals:
    void arrangedObjectsChanged();
    void selectionChanged();

private:
    // Whether the records at these arranged indexes differ from the ones selected before.
    bool selectedObjectsDiffer(const QList<ManagedObject *> &before, const QList<int> &indexes) const;
    bool concerns(const ObjectsChange &change) const;
    // The content that passes the filter, in content order.
    QList<ManagedObject *> filteredContent();

    QList<ManagedObject *> m_content;
    ContentSource m_source;
    Predicate m_filter;
    QList<SortDescriptor> m_sort;
    QList<ManagedObject *> m_arranged;
    QList<int> m_selection;
    QString m_watchedEntity;
    QPointer<ManagedObjectContext> m_watchedContext;
    QMetaObject::Connection m_watch;

    // The last filtering: what it read and what passed.
    struct Filtered {
        bool valid = false;
        QList<ManagedObject *> content;
        quint64 changeCount = 0;
        QList<ManagedObject *> passed;
    } m_filtered;
};
