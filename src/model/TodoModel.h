#pragma once

#include "ObjectModel.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QVariant>

// The schema of the task store: "todo_list_mac", all seven entities.
// Built once per process and shared by every context.
const ObjectModel &todoListModel();

namespace TodoModel {

inline constexpr int Version = 8;
QString modelName();      // "todo_list_mac"
QString storeFileName();  // "corvane_2_8.sqlite"

} // namespace TodoModel

// State codes of lists and items (attribute "state").
namespace RecordState {
enum : int {
    Open = 0,       // an active list, or an item not yet done
    Completed = 1,  // items only, always with completion 100
    Trashed = 2,    // hidden, can be restored
    Deleted = 3,    // removed by the server; every lookup excludes it
};
// Shown in the quadrants and the sidebar: neither trashed nor deleted.
inline bool isShown(int state)
{
    return state != Trashed && state != Deleted;
}
} // namespace RecordState

// Quadrant numbers (attribute "quadrant"), first to fourth quadrant.
namespace Quadrant {
enum : int {
    First = 0,
    Second = 1,
    Third = 2,
    Fourth = 3,
    Count = 4,
};

// Default title of a quadrant ("Critical and Immediate" ...); empty for other numbers.
QString defaultTitle(int quadrant);
// Default background colour of a quadrant as "{r, g, b, a}" text; empty for other numbers.
QString defaultColor(int quadrant);
} // namespace Quadrant

// Effort codes (attribute "effort").
namespace Effort {
enum : int {
    NoEffort = 0,
    OneToTwoHours = 1,
    HalfADay = 2,
    OneDay = 3,
    HalfAWeek = 4,
    OneWeek = 5,
    TwoWeeks = 6,
    OneMonth = 7,
    SeveralMonths = 8,
};

// "No effort", "1-2 hours" ...; empty text for any other code.
QString text(int code);
} // namespace Effort
