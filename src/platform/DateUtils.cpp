#include "DateUtils.h"

#include <QTime>

#include <limits>

namespace DateUtils {

bool hasDate(const QDateTime &date)
{
    // Whole seconds, truncated toward zero: anything before 1970-01-01T00:00:01Z
    // is no date.
    return date.isValid() && date.toMSecsSinceEpoch() / 1000 > 0;
}

qint64 orderKey(const QDateTime &date, bool allDay)
{
    if (!date.isValid())
        return std::numeric_limits<qint64>::max();
    // Sorting reads this for every item, so each date is converted once: a
    // local date holds its local time of day as it is.
    const qint64 ms = date.toMSecsSinceEpoch();
    if (ms / 1000 <= 0)
        return std::numeric_limits<qint64>::max();
    if (allDay)
        return stripTimeOfDay(date).toMSecsSinceEpoch();
    // The start of the local minute: the local seconds are subtracted, which
    // also holds under a UTC offset that is not whole minutes.
    const QTime local = (date.timeSpec() == Qt::LocalTime ? date : date.toLocalTime()).time();
    return ms - (qint64(local.second()) * 1000 + local.msec());
}

int compare(const QDateTime &a, bool allDayA, const QDateTime &b, bool allDayB)
{
    // No date orders last: every real key is lower.
    const qint64 l = orderKey(a, allDayA);
    const qint64 r = orderKey(b, allDayB);
    return l < r ? -1 : (l > r ? 1 : 0);
}

QDateTime stripTimeOfDay(const QDateTime &date)
{
    if (!date.isValid())
        return {};
    return date.toLocalTime().date().startOfDay(Qt::LocalTime);
}

QDateTime stripSeconds(const QDateTime &date)
{
    if (!date.isValid())
        return {};
    // Subtracting the local seconds keeps the moment's own UTC offset, which
    // rebuilding from the local fields would not do in the repeated hour of a
    // clock change.
    const QDateTime local = date.toLocalTime();
    const QTime time = local.time();
    return local.addMSecs(-(qint64(time.second()) * 1000 + time.msec()));
}

int daysFromDate(const QDateTime &from, const QDateTime &to)
{
    if (!from.isValid() || !to.isValid())
        return 0;
    return int(from.toLocalTime().date().daysTo(to.toLocalTime().date()));
}

} // namespace DateUtils
