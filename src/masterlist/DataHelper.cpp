#include "DataHelper.h"

#include "Clock.h"
#include "DateUtils.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <array>

MasterView::Mode MasterView::fromInt(int value)
{
    return value >= Overdue && value < Count ? Mode(value) : Overdue;
}

QString MasterView::title(Mode mode)
{
    static const std::array<QString, Count> titles = {
        QStringLiteral("Overdue Items"),
        QStringLiteral("Today's Items"),
        QStringLiteral("This Week's Items"),
        QStringLiteral("First Quadrant's Items"),
        QStringLiteral("Second Quadrant's Items"),
        QStringLiteral("Third Quadrant's Items"),
        QStringLiteral("Fourth Quadrant's Items"),
        QStringLiteral("All Items"),
    };
    return titles[fromInt(mode)];
}

DataHelper::DataHelper(MyDocument &document)
    : m_document(document)
{
}

QList<TODOList *> DataHelper::getTODOLists() const
{
    const Predicate shown = Predicate::notEqual(QStringLiteral("state"), int(RecordState::Trashed))
        && Predicate::notEqual(QStringLiteral("state"), int(RecordState::Deleted));
    const QList<ManagedObject *> found = m_document.managedObjectContext()->fetch(
        TODOList::EntityName, shown, {SortDescriptor(QStringLiteral("index"), true, SortDescriptor::Comparison::Numeric)});
    QList<TODOList *> lists;
    lists.reserve(found.size());
    for (ManagedObject *object : found)
        lists.append(static_cast<TODOList *>(object));
    return lists;
}

DataHelper::ItemGroups DataHelper::openItemsWhere(const std::function<bool(const TODOItem *)> &keep, Order order) const
{
    ItemGroups groups;
    for (TODOList *list : getTODOLists()) {
        QList<TODOItem *> items;
        for (TODOItem *item : list->contains()) {
            if (item->state() == RecordState::Open && keep(item))
                items.append(item);
        }
        if (items.isEmpty())
            continue;
        groups.insert(list->objectURI().toString(), order == Order::OlderFirst ? Utils::olderFirst(items) : items);
    }
    return groups;
}

DataHelper::ItemGroups DataHelper::getOverDueTODOItemsByProject() const
{
    const QDateTime now = Clock::now();
    return openItemsWhere(
        [&now](const TODOItem *item) {
            const QDateTime due = item->dueDate();
            return DateUtils::hasDate(due) && DateUtils::daysFromDate(now, due) < 0;
        },
        Order::OlderFirst);
}

DataHelper::ItemGroups DataHelper::getTODOItemsByProjectDueIn(int days) const
{
    const QDateTime now = Clock::now();
    return openItemsWhere(
        [&now, days](const TODOItem *item) {
            const QDateTime due = item->dueDate();
            if (!DateUtils::hasDate(due))
                return false;
            const int d = DateUtils::daysFromDate(now, due);
            return d >= 0 && d < days;
        },
        Order::OlderFirst);
}

DataHelper::ItemGroups DataHelper::getTODOItemsByProjectInQuadrant(int quadrant) const
{
    return openItemsWhere([quadrant](const TODOItem *item) { return item->quadrant() == quadrant; }, Order::AsStored);
}

DataHelper::ItemGroups DataHelper::getTODOItemsByProject() const
{
    return openItemsWhere([](const TODOItem *) { return true; }, Order::AsStored);
}

DataHelper::ItemGroups DataHelper::groupsForMode(MasterView::Mode mode) const
{
    switch (mode) {
    case MasterView::Overdue:
        return getOverDueTODOItemsByProject();
    case MasterView::Today:
        return getTODOItemsByProjectDueIn(1);
    case MasterView::ThisWeek:
        return getTODOItemsByProjectDueIn(7);
    case MasterView::FirstQuadrant:
    case MasterView::SecondQuadrant:
    case MasterView::ThirdQuadrant:
    case MasterView::FourthQuadrant:
        return getTODOItemsByProjectInQuadrant(mode - MasterView::FirstQuadrant);
    case MasterView::All:
    case MasterView::Count:
        break;
    }
    return getTODOItemsByProject();
}
