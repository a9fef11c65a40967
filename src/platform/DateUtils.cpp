#include "DateUtils.h"

#include <QTime>

#include <time.h>

#include <atomic>
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

namespace {

constexpr qint64 kDaySeconds = 86400;
constexpr qint64 kDaySlots = 4096; // eleven years of days without a collision

// The C library's offset at a second, or none when its clock fields are not
// the second plus the offset (a zone counting leap seconds).
std::optional<int> libraryOffset(qint64 seconds)
{
    const time_t t = time_t(seconds);
    tm local;
    if (!localtime_r(&t, &local))
        return std::nullopt;
    const qint64 clock = (qint64(local.tm_hour) * 60 + local.tm_min) * 60 + local.tm_sec;
    const qint64 expected = seconds + local.tm_gmtoff - floorDiv(seconds + local.tm_gmtoff, kDaySeconds) * kDaySeconds;
    if (clock != expected)
        return std::nullopt;
    return int(local.tm_gmtoff);
}

} // namespace

LocalOffsets &LocalOffsets::current()
{
    thread_local LocalOffsets offsets;
    tzset();
    const char *zone = getenv("TZ");
    const std::string name = zone ? std::string(1, '=') + zone : std::string();
    if (offsets.m_days.empty() || offsets.m_zone != name) {
        static std::atomic<quint32> tables = 0;
        offsets.m_days.assign(kDaySlots, Day());
        offsets.m_zone = name;
        offsets.m_generation = ++tables;
    }
    return offsets;
}

LocalOffsets::Day &LocalOffsets::day(qint64 number)
{
    Day &slot = m_days[size_t(number & (kDaySlots - 1))];
    if (slot.number == number)
        return slot;
    const std::optional<int> first = libraryOffset(number * kDaySeconds);
    const std::optional<int> last = libraryOffset(number * kDaySeconds + kDaySeconds - 1);
    slot = {number, first.value_or(0), first && first == last, std::nullopt};
    return slot;
}

bool LocalOffsets::isSteady(Day &d)
{
    if (!d.steady) {
        // The neighbours' slots are other slots than d's: the table is larger.
        bool steady = d.regular;
        for (qint64 near : {d.number - 2, d.number - 1, d.number + 1}) {
            const Day &other = day(near);
            steady = steady && other.regular && other.offset == d.offset;
        }
        d.steady = steady;
    }
    return *d.steady;
}

qint64 LocalOffsets::orderKeyOf(qint64 ms, bool allDay)
{
    const qint64 seconds = ms / 1000;
    if (seconds <= 0)
        return std::numeric_limits<qint64>::max();
    Day &d = day(floorDiv(seconds, kDaySeconds));
    if (!d.regular)
        return DateUtils::orderKey(ms, allDay);
    const int offset = d.offset;
    const qint64 local = seconds + offset;
    if (!allDay)
        return ms - ((local - floorDiv(local, 60) * 60) * 1000 + ms % 1000);
    // Local midnight of the date's day, when no offset change lies within a
    // day of it (a change could skip or repeat midnight). That midnight is
    // within the day before the date's second, so the days from two before
    // to one after cover a day either side of it.
    if (!isSteady(d))
        return DateUtils::orderKey(ms, allDay);
    return (floorDiv(local, kDaySeconds) * kDaySeconds - offset) * 1000;
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
