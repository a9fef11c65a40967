#include "DateUtils.h"

#include <QTime>

#include <time.h>

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
    return orderKey(toMSecs(date), allDay);
}

qint64 orderKey(std::optional<qint64> msecsSinceEpoch, bool allDay)
{
    if (!msecsSinceEpoch || *msecsSinceEpoch / 1000 <= 0)
        return std::numeric_limits<qint64>::max();
    const qint64 ms = *msecsSinceEpoch;
    if (allDay)
        return stripTimeOfDay(QDateTime::fromMSecsSinceEpoch(ms)).toMSecsSinceEpoch();
    // The start of the local minute: the local seconds are subtracted, which
    // also holds under a UTC offset that is not whole minutes.
    const time_t seconds = time_t(ms / 1000);
    tm local;
    tzset(); // as QDateTime does: a changed TZ counts at once
    localtime_r(&seconds, &local);
    return ms - (qint64(local.tm_sec) * 1000 + ms % 1000);
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
