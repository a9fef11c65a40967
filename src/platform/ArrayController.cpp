#include "ArrayController.h"

#include "ManagedObject.h"
#include "ManagedObjectContext.h"

#include <QSet>

#include <algorithm>

namespace {

// QList's own == hands memcmp a null pointer for an empty list, which the
// undefined-behaviour sanitizer rejects.
bool sameIndexes(const QList<int> &a, const QList<int> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend());
}

} // namespace

ArrayController::ArrayController(QObject *parent)
    : QObject(parent)
{
}

void ArrayController::setContent(const QList<ManagedObject *> &content)
{
    m_content = content;
    rearrangeObjects();
}

void ArrayController::setContentSource(ContentSource source)
{
    m_source = std::move(source);
    rearrangeObjects();
}

QList<ManagedObject *> ArrayController::content() const
{
    return m_content;
}

void ArrayController::setFilterPredicate(const Predicate &predicate)
{
    m_filter = predicate;
    m_filtered.valid = false;
    rearrangeObjects();
}

void ArrayController::setSortDescriptors(const QList<SortDescriptor> &descriptors)
{
    m_sort = descriptors;
    rearrangeObjects();
}

void ArrayController::rearrangeObjects()
{
    if (m_source)
        m_content = m_source();

    const QList<ManagedObject *> previouslySelected = selectedObjects();

    QList<ManagedObject *> arranged = filteredContent();
    SortDescriptor::sort(arranged, m_sort);
    m_arranged = std::move(arranged);

    // The selection follows its records to their new places.
    QList<int> selection;
    if (!previouslySelected.isEmpty()) {
        const QSet<const ManagedObject *> wanted(previouslySelected.cbegin(), previouslySelected.cend());
        for (int i = 0; i < m_arranged.size(); ++i) {
            if (wanted.contains(m_arranged[i]))
                selection.append(i);
        }
    }
    const bool selectionChanged = !sameIndexes(selection, m_selection) || selectedObjectsDiffer(previouslySelected, selection);
    m_selection = std::move(selection);

    emit arrangedObjectsChanged();
    if (selectionChanged)
        emit this->selectionChanged();
}

void ArrayController::setAutomaticallyRearrangesObjects(ManagedObjectContext *context, const QString &entity)
{
    disconnect(m_watch);
    m_watchedEntity = entity;
    m_watchedContext = context;
    m_filtered.valid = false;
    if (!context)
        return;
    m_watch = connect(context, &ManagedObjectContext::objectsDidChange, this, [this](const ObjectsChange &change) {
        if (concerns(change))
            rearrangeObjects();
    });
}

QList<ManagedObject *> ArrayController::filteredContent()
{
    // A filter reads records only, so the same records unchanged pass the same.
    if (m_watchedContext && m_filtered.valid && m_filtered.changeCount == m_watchedContext->changeCount()
        && m_filtered.content == m_content)
        return m_filtered.passed;

    QList<ManagedObject *> passed;
    passed.reserve(m_content.size());
    for (ManagedObject *object : std::as_const(m_content)) {
        if (object && m_filter.evaluate(object))
            passed.append(object);
    }
    if (m_watchedContext)
        m_filtered = {true, m_content, m_watchedContext->changeCount(), passed};
    return passed;
}

bool ArrayController::concerns(const ObjectsChange &change) const
{
    QSet<const ManagedObject *> changed;
    for (const QList<ManagedObject *> *records : {&change.inserted, &change.updated, &change.deleted}) {
        for (const ManagedObject *object : *records) {
            if (object->entityName() == m_watchedEntity)
                changed.insert(object);
        }
    }
    // A source decides the content anew on each rearrange: any record of the entity may be in it.
    if (changed.isEmpty() || m_source)
        return !changed.isEmpty();
    return std::any_of(m_content.cbegin(), m_content.cend(), [&](const ManagedObject *object) { return changed.contains(object); });
}

bool ArrayController::selectedObjectsDiffer(const QList<ManagedObject *> &before, const QList<int> &indexes) const
{
    if (before.size() != indexes.size())
        return true;
    for (int i = 0; i < indexes.size(); ++i) {
        if (m_arranged[indexes[i]] != before[i])
            return true;
    }
    return false;
}

int ArrayController::indexOfArrangedObject(const ManagedObject *object) const
{
    for (int i = 0; i < m_arranged.size(); ++i) {
        if (m_arranged[i] == object)
            return i;
    }
    return -1;
}

void ArrayController::addObject(ManagedObject *object)
{
    if (!object)
        return;
    m_content.append(object);
    rearrangeObjects();
}

void ArrayController::insertObject(ManagedObject *object, int arrangedIndex)
{
    if (!object)
        return;
    m_content.append(object);
    const int index = std::clamp(arrangedIndex, 0, int(m_arranged.size()));
    m_arranged.insert(index, object);

    // Selected rows at or after the new one move down by one.
    QList<int> selection = m_selection;
    for (int &i : selection) {
        if (i >= index)
            ++i;
    }
    const bool selectionChanged = !sameIndexes(selection, m_selection);
    m_selection = std::move(selection);

    emit arrangedObjectsChanged();
    if (selectionChanged)
        emit this->selectionChanged();
}

void ArrayController::removeObjectsAtArrangedIndexes(const QList<int> &indexes)
{
    QList<int> rows;
    for (int i : indexes) {
        if (i >= 0 && i < m_arranged.size())
            rows.append(i);
    }
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    const QList<ManagedObject *> previouslySelected = selectedObjects();
    const QSet<const ManagedObject *> wanted(previouslySelected.cbegin(), previouslySelected.cend());
    QSet<const ManagedObject *> removed;
    for (auto it = rows.crbegin(); it != rows.crend(); ++it) {
        removed.insert(m_arranged[*it]);
        m_arranged.removeAt(*it);
    }
    // With a content source the content is the source's: it comes back as
    // it is on the next rearrange.
    if (!m_source) {
        m_content.removeIf([&](ManagedObject *object) { return removed.contains(object); });
    }

    QList<int> selection;
    for (int i = 0; i < m_arranged.size(); ++i) {
        if (wanted.contains(m_arranged[i]))
            selection.append(i);
    }
    const bool selectionChanged = !sameIndexes(selection, m_selection) || selectedObjectsDiffer(previouslySelected, selection);
    m_selection = std::move(selection);

    emit arrangedObjectsChanged();
    if (selectionChanged)
        emit this->selectionChanged();
}

void ArrayController::removeObject(ManagedObject *object)
{
    const int index = indexOfArrangedObject(object);
    if (index >= 0) {
        removeObjectsAtArrangedIndexes({index});
        return;
    }
    // Filtered out: only the content holds it.
    if (!m_source)
        m_content.removeAll(object);
}

bool ArrayController::setSelectionIndexes(const QList<int> &indexes)
{
    QList<int> selection;
    selection.reserve(indexes.size());
    for (int i : indexes) {
        if (i >= 0 && i < m_arranged.size())
            selection.append(i);
    }
    std::sort(selection.begin(), selection.end());
    selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
    if (sameIndexes(selection, m_selection))
        return false;
    m_selection = std::move(selection);
    emit selectionChanged();
    return true;
}

QList<ManagedObject *> ArrayController::selectedObjects() const
{
    QList<ManagedObject *> objects;
    objects.reserve(m_selection.size());
    for (int i : m_selection)
        objects.append(m_arranged[i]);
    return objects;
}

bool ArrayController::setSelectedObjects(const QList<ManagedObject *> &objects)
{
    const QSet<const ManagedObject *> wanted(objects.cbegin(), objects.cend());
    QList<int> indexes;
    for (int i = 0; i < m_arranged.size(); ++i) {
        if (wanted.contains(m_arranged[i]))
            indexes.append(i);
    }
    return setSelectionIndexes(indexes);
}
