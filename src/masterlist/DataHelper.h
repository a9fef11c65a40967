#pragma once

#include "Utils.h"

#include <QList>
#include <QString>

#include <functional>

class MyDocument;
class TODOItem;
class TODOList;

// The eight views of the master list, by their stored number.
namespace MasterView {
enum Mode : int {
    Overdue = 0,     // open items due on a day before today
    Today,           // open items due today
    ThisWeek,        // due today or on one of the next six days
    FirstQuadrant,   // open items of quadrant 0 (to FourthQuadrant: quadrant 3)
    SecondQuadrant,
    ThirdQuadrant,
    FourthQuadrant,
    All,             // every open item
    Count,
};
// The mode of a stored number; one outside the table reads as Overdue.
Mode fromInt(int value);
// The window title of a mode: "Overdue Items" ... "All Items".
QString title(Mode mode);
} // namespace MasterView

// The master list's queries: the open items of every shown list, grouped by
// list (Utils::ItemGroups, keyed by the list's object URI), for one view.
// Day boundaries are calendar days in local time from Clock::now(), so a
// view changes at midnight and a day of a clock change counts as one day.
// Lists without a matching item have no group.
class DataHelper
{
public:
    using ItemGroups = Utils::ItemGroups;

    explicit DataHelper(MyDocument &document);

    // Lists in neither state 2 nor 3, by index ascending.
    QList<TODOList *> getTODOLists() const;

    // Open items due before today, each group earliest first.
    ItemGroups getOverDueTODOItemsByProject() const;
    // Open items due today or on one of the next days - 1 days, earliest first.
    ItemGroups getTODOItemsByProjectDueIn(int days) const;
    ItemGroups getTODOItemsByProjectInQuadrant(int quadrant) const;
    ItemGroups getTODOItemsByProject() const;
    // The groups of a view.
    ItemGroups groupsForMode(MasterView::Mode mode) const;

private:
    enum class Order { AsStored, OlderFirst };
    ItemGroups openItemsWhere(const std::function<bool(const TODOItem *)> &keep, Order order) const;

    MyDocument &m_document;
};
