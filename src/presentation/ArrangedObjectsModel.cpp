#include "ArrangedObjectsModel.h"

#include "ArrayController.h"
#include "ManagedObjectContext.h"

#include <QSet>

#include <algorithm>

namespace {

// After this many row moves in one rearrangement (a new sort order, say) the
// rest is announced as one layout change: each move costs a pass over the rows.
constexpr int kMaxMoveSignals = 32;

QSet<const ManagedObject *> asSet(const QList<ManagedObject *> &objects)
{
    return QSet<const ManagedObject *>(objects.cbegin(), objects.cend());
}

} // namespace

ArrangedObjectsModel::ArrangedObjectsModel(ArrayController *controller, ManagedObjectContext *context, QObject *parent)
    : QAbstractListModel(parent)
    , m_controller(controller)
    , m_rows(controller->arrangedObjects())
    , m_selectionModel(this)
{
    connect(controller, &ArrayController::arrangedObjectsChanged, this, &ArrangedObjectsModel::followArrangement);
    connect(controller, &ArrayController::selectionChanged, this, &ArrangedObjectsModel::selectionFromController);
    connect(context, &ManagedObjectContext::objectsDidChange, this,
            [this](const ObjectsChange &change) { recordsChanged(change); });
    connect(&m_selectionModel, &QItemSelectionModel::selectionChanged, this, &ArrangedObjectsModel::selectionToController);
    selectionFromController();
}

int ArrangedObjectsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

ManagedObject *ArrangedObjectsModel::objectAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows[row] : nullptr;
}

void ArrangedObjectsModel::recordsChanged(const ObjectsChange &change)
{
    // A record inserted and then edited in the same turn is announced as
    // inserted only, but its row may have been shown before the edit.
    emitDataChanged(change.inserted + change.updated);
}

void ArrangedObjectsModel::emitDataChanged(const QList<ManagedObject *> &records, const QList<int> &roles)
{
    if (records.isEmpty())
        return;
    const QSet<const ManagedObject *> changed = asSet(records);
    for (int first = 0; first < m_rows.size(); ++first) {
        if (!changed.contains(m_rows[first]))
            continue;
        int last = first;
        while (last + 1 < m_rows.size() && changed.contains(m_rows[last + 1]))
            ++last;
        emit dataChanged(index(first), index(last), roles);
        first = last;
    }
}

// --- Following the controller ----------------------------------------------------

void ArrangedObjectsModel::followArrangement()
{
    const QList<ManagedObject *> arranged = m_controller->arrangedObjects();
    const QSet<const ManagedObject *> next = asSet(arranged);
    const bool shared = std::any_of(m_rows.cbegin(), m_rows.cend(), [&](const ManagedObject *o) { return next.contains(o); });

    // The selection model follows its rows by itself, and the controller's
    // selection follows its records: the two stay in step.
    if (!shared && !m_rows.isEmpty() && !arranged.isEmpty()) {
        // Nothing in common (another list): nothing a view holds can survive.
        beginResetModel();
        m_rows = arranged;
        endResetModel();
    } else {
        removeRowsNotIn(arranged);
        moveRowsToOrderOf(arranged);
        insertRowsOf(arranged);
    }
}

void ArrangedObjectsModel::removeRowsNotIn(const QList<ManagedObject *> &arranged)
{
    const QSet<const ManagedObject *> next = asSet(arranged);
    // From the end, so that the rows still to look at keep their numbers.
    for (int last = int(m_rows.size()) - 1; last >= 0; --last) {
        if (next.contains(m_rows[last]))
            continue;
        int first = last;
        while (first > 0 && !next.contains(m_rows[first - 1]))
            --first;
        beginRemoveRows(QModelIndex(), first, last);
        m_rows.remove(first, last - first + 1);
        endRemoveRows();
        last = first;
    }
}

// Every row is in `arranged` here. Brings blocks of rows that stay together
// to their new place, one move each, front to back.
void ArrangedObjectsModel::moveRowsToOrderOf(const QList<ManagedObject *> &arranged)
{
    const QSet<const ManagedObject *> current = asSet(m_rows);
    QList<ManagedObject *> target;
    target.reserve(m_rows.size());
    for (ManagedObject *object : arranged) {
        if (current.contains(object))
            target.append(object);
    }

    int moves = 0;
    for (int i = 0; i < target.size(); ++i) {
        if (m_rows[i] == target[i])
            continue;
        if (moves++ == kMaxMoveSignals) {
            relayout(target);
            return;
        }
        const int from = int(m_rows.indexOf(target[i], i + 1));
        int count = 1;
        while (from + count < m_rows.size() && m_rows[from + count] == target[i + count])
            ++count;
        beginMoveRows(QModelIndex(), from, from + count - 1, QModelIndex(), i);
        std::rotate(m_rows.begin() + i, m_rows.begin() + from, m_rows.begin() + from + count);
        endMoveRows();
        i += count - 1;
    }
}

// One layout change to `order` (a permutation of the rows); persistent
// indexes follow their records.
void ArrangedObjectsModel::relayout(const QList<ManagedObject *> &order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    QHash<const ManagedObject *, int> newRow;
    newRow.reserve(order.size());
    for (int i = 0; i < order.size(); ++i)
        newRow.insert(order[i], i);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &old : before)
        after.append(index(newRow.value(m_rows[old.row()]), old.column()));
    m_rows = order;
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// The rows are `arranged` without its new records here; inserts those in runs.
void ArrangedObjectsModel::insertRowsOf(const QList<ManagedObject *> &arranged)
{
    const QSet<const ManagedObject *> current = asSet(m_rows);
    for (int first = 0; first < arranged.size(); ++first) {
        if (current.contains(arranged[first]))
            continue;
        int last = first;
        while (last + 1 < arranged.size() && !current.contains(arranged[last + 1]))
            ++last;
        beginInsertRows(QModelIndex(), first, last);
        m_rows.insert(first, last - first + 1, nullptr);
        std::copy(arranged.cbegin() + first, arranged.cbegin() + last + 1, m_rows.begin() + first);
        endInsertRows();
        first = last;
    }
}

// --- Selection -------------------------------------------------------------------------

void ArrangedObjectsModel::selectionFromController()
{
    const QList<ManagedObject *> selected = m_controller->selectedObjects();
    const QSet<const ManagedObject *> wanted = asSet(selected);
    QItemSelection selection;
    for (int first = 0; first < m_rows.size() && !wanted.isEmpty(); ++first) {
        if (!wanted.contains(m_rows[first]))
            continue;
        int last = first;
        while (last + 1 < m_rows.size() && wanted.contains(m_rows[last + 1]))
            ++last;
        selection.select(index(first), index(last));
        first = last;
    }
    m_syncingSelection = true;
    m_selectionModel.select(selection, QItemSelectionModel::ClearAndSelect);
    // Keyboard navigation starts from a selected row.
    if (!selection.isEmpty() && !m_selectionModel.isSelected(m_selectionModel.currentIndex()))
        m_selectionModel.setCurrentIndex(selection.first().topLeft(), QItemSelectionModel::NoUpdate);
    m_syncingSelection = false;
}

void ArrangedObjectsModel::selectionToController()
{
    if (m_syncingSelection)
        return;
    QList<ManagedObject *> objects;
    for (const QModelIndex &index : m_selectionModel.selectedRows())
        objects.append(m_rows[index.row()]);
    // The controller answers with its own selectionChanged; selecting the same
    // rows again changes nothing, so there is no loop.
    m_controller->setSelectedObjects(objects);
}
