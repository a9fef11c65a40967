#include "IndexAdjuster.h"

#include "ArrayController.h"
#include "Logging.h"
#include "TODOItem.h"
#include "TODOList.h"

#include <algorithm>

namespace {

constexpr qint32 Step = 1000;

qint32 indexOf(const ManagedObject *object)
{
    if (auto item = dynamic_cast<const TODOItem *>(object))
        return item->index();
    if (auto list = dynamic_cast<const TODOList *>(object))
        return list->index();
    return object->intValue(QStringLiteral("index"));
}

// Written through the records' setters so that each rewrite counts as an edit.
void setIndexOf(ManagedObject *object, qint32 index)
{
    if (auto item = dynamic_cast<TODOItem *>(object))
        item->setIndex(index);
    else if (auto list = dynamic_cast<TODOList *>(object))
        list->setIndex(index);
    else
        object->setValue(QStringLiteral("index"), index);
}

// Walks the rows once in display order; a rewritten index is stored at once so
// that the next row is compared with it.
void repair(const QList<ManagedObject *> &rows)
{
    const qsizetype count = rows.size();
    if (count < 2)
        return;

    if (indexOf(rows[0]) <= indexOf(rows[1]))
        setIndexOf(rows[0], IndexAdjuster::add32(indexOf(rows[1]), Step));

    for (qsizetype i = 1; i < count; ++i) {
        const qint32 previous = indexOf(rows[i - 1]);
        if (previous > indexOf(rows[i]))
            continue;
        if (i == count - 1) {
            setIndexOf(rows[i], IndexAdjuster::sub32(previous, Step));
            continue;
        }
        const qint32 next = indexOf(rows[i + 1]);
        if (IndexAdjuster::sub32(previous, next) < 2)
            setIndexOf(rows[i], IndexAdjuster::sub32(previous, Step));
        else
            setIndexOf(rows[i], IndexAdjuster::add32(previous, next) / 2);
    }
}

} // namespace

void IndexAdjuster::adjustListIndices(ArrayController *listController)
{
    if (!listController)
        return;
    // Lists are repaired in index order whatever order the sidebar shows
    // (walking them by name would renumber every list); of equal indices the
    // list added first stays in place, as in the manual order.
    QList<ManagedObject *> rows = listController->content();
    const Predicate &shown = listController->filterPredicate();
    if (!shown.isNull())
        rows.removeIf([&shown](const ManagedObject *object) { return !shown.evaluate(object); });
    std::stable_sort(rows.begin(), rows.end(),
                     [](const ManagedObject *a, const ManagedObject *b) { return indexOf(a) > indexOf(b); });
    repair(rows);
}

void IndexAdjuster::adjustIndices(ArrayController *itemController, TODOList *list)
{
    Q_UNUSED(list);
    if (!itemController)
        return;
    const QList<ManagedObject *> rows = itemController->arrangedObjects();
    if (!rows.isEmpty() && dynamic_cast<const TODOList *>(rows.constLast())) {
        qCInfo(lcModel, "reindexing lists");
        adjustListIndices(itemController);
        return;
    }
    const QList<SortDescriptor> &sort = itemController->sortDescriptors();
    if (!sort.isEmpty() && sort.constFirst().key() != QLatin1String("index"))
        return;
    repair(rows);
}

int IndexAdjuster::newItemIndex(TODOList *list)
{
    if (!list)
        return 0;
    const int index = list->lastItemIndex();
    list->setLastItemIndex(IndexAdjuster::add32(index, Step));
    return index;
}

qint32 IndexAdjuster::add32(qint32 a, qint32 b)
{
    return static_cast<qint32>(static_cast<quint32>(a) + static_cast<quint32>(b));
}

qint32 IndexAdjuster::sub32(qint32 a, qint32 b)
{
    return static_cast<qint32>(static_cast<quint32>(a) - static_cast<quint32>(b));
}
