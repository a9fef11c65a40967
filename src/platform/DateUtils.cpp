#include "DateUtils.h"

#include <QTime>

namespace DateUtils {

bool hasDate(const QDateTime &date)
{
    // Whole seconds, truncated toward zero: anything before 1970-01-01T00:00:01Z
    // is no date.
    return date.isValid() && date.toMSecsSinceEpoch() / 1000 > 0;
}

namespace {

// The moment a date compares by: the start of its minute, or of its local day
// for an all-day date. Sorting calls this hundreds of thousands of times, so
// the usual case stays arithmetic: with a UTC offset of whole minutes, the
// local seconds are the UTC seconds. The date is after the epoch here.
qint64 comparisonKey(const QDateTime &date, bool allDay)
{
    if (allDay)
        return stripTimeOfDay(date).toMSecsSinceEpoch();
    const qint64 ms = date.toMSecsSinceEpoch();
    if (date.offsetFromUtc() % 60 == 0)
        return ms - ms % 60000;
    return stripSeconds(date).toMSecsSinceEpoch();
}

} // namespace

int compare(const QDateTime &a, bool allDayA, const QDateTime &b, bool allDayB)
{
    const bool hasA = hasDate(a);
    const bool hasB = hasDate(b);
    if (!hasA || !hasB) {
        if (hasA == hasB)
            return 0;
        return hasA ? -1 : 1;
    }
    const qint64 l = comparisonKey(a, allDayA);
    const qint64 r = comparisonKey(b, allDayB);
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
