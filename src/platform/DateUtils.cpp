#include "DateUtils.h"

#include <QTime>

namespace DateUtils {

bool hasDate(const QDateTime &date)
{
    // Whole seconds, truncated toward zero: anything before 1970-01-01T00:00:01Z
    // is no date.
    return date.isValid() && date.toMSecsSinceEpoch() / 1000 > 0;
}

int compare(const QDateTime &a, bool allDayA, const QDateTime &b, bool allDayB)
{
    const bool hasA = hasDate(a);
    const bool hasB = hasDate(b);
    if (!hasA || !hasB) {
        if (hasA == hasB)
            return 0;
        return hasA ? -1 : 1;
    }
    QDateTime left = stripSeconds(a);
    QDateTime right = stripSeconds(b);
    if (allDayA)
        left = stripTimeOfDay(left);
    if (allDayB)
        right = stripTimeOfDay(right);
    const qint64 l = left.toMSecsSinceEpoch();
    const qint64 r = right.toMSecsSinceEpoch();
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
