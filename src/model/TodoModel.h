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

// Readers and writers of attribute values that follow the records' rules:
// an absent number reads 0, an absent text reads empty, an absent date is invalid.
namespace RecordValue {

inline int toInt(const QVariant &v)
{
    return v.typeId() == QMetaType::Int ? *static_cast<const int *>(v.constData()) : v.toInt();
}

inline qint64 toInt64(const QVariant &v)
{
    return v.typeId() == QMetaType::LongLong ? *static_cast<const qlonglong *>(v.constData())
                                             : v.toLongLong();
}

inline double toDouble(const QVariant &v)
{
    return v.typeId() == QMetaType::Double ? *static_cast<const double *>(v.constData()) : v.toDouble();
}

inline bool toBool(const QVariant &v)
{
    return v.typeId() == QMetaType::Bool ? *static_cast<const bool *>(v.constData()) : v.toBool();
}

inline QString toText(const QVariant &v)
{
    return v.isValid() ? v.toString() : QString();
}

inline QDateTime toDate(const QVariant &v)
{
    return v.isValid() ? v.toDateTime() : QDateTime();
}

// A null text is stored as absent.
inline QVariant fromText(const QString &s)
{
    return s.isNull() ? QVariant() : QVariant(s);
}

// An invalid date is stored as absent, which clears the attribute.
inline QVariant fromDate(const QDateTime &d)
{
    return d.isValid() ? QVariant(d) : QVariant();
}

} // namespace RecordValue
