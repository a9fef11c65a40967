#pragma once

#include <QDateTime>

#include <limits>

#include <optional>
#include <string>
#include <vector>

// Date helpers for items' dates, in local time (the system time zone).
namespace DateUtils {

// Orders two items' dates: -1 when the first comes before the second, 0 when
// they are the same, 1 when it comes after. A date counts only when it lies
// after the Unix epoch (whole seconds since the epoch > 0); an item with a
// date comes before one without. Seconds are ignored, and so is the time of
// day of an all-day date.
int compare(const QDateTime &a, bool allDayA, const QDateTime &b, bool allDayB);

// Whether a date counts as a date for compare(): set and after the epoch.
bool hasDate(const QDateTime &date);

// The value compare() orders a date by, for sorting on keys computed once:
// the start of its minute (of its local day when all-day) in milliseconds
// since the epoch, or the highest value for no date, so that undated items
// come last.
qint64 orderKey(const QDateTime &date, bool allDay);

// The same for a date held as milliseconds since the epoch (none for no date).
qint64 orderKey(std::optional<qint64> msecsSinceEpoch, bool allDay);

// The system zone's offsets from UTC, learnt a UTC day at a time from the C
// library and kept while TZ stays the same, so that sorting many dates costs
// a table look-up per date instead of a local-time conversion. A day is taken
// as regular when its first and last second have the same offset and the
// library's clock fields agree with the offset (no leap seconds); dates near
// an irregular day are converted as orderKey() does.
class LocalOffsets
{
public:
    // This thread's table, for the zone TZ names now (what it learnt under
    // another TZ is dropped). Take it once per sort, not once per date.
    static LocalOffsets &current();

    // The same value as orderKey() for a date in milliseconds since the epoch.
    qint64 orderKey(std::optional<qint64> msecsSinceEpoch, bool allDay);

private:
    struct Day {
        qint64 number = std::numeric_limits<qint64>::min(); // days since the epoch, UTC
        int offset = 0;  // seconds east of UTC all that day
        bool regular = false;
    };
    const Day &day(qint64 number);
    // The offset at a second when its day is regular.
    std::optional<int> regularOffset(qint64 seconds);

    std::vector<Day> m_days; // direct-mapped by day number
    std::string m_zone;      // the TZ value the table was learnt under
};

// A date as records keep it, milliseconds since the epoch, and back (in
// local time); an invalid date is none.
inline std::optional<qint64> toMSecs(const QDateTime &date)
{
    return date.isValid() ? std::optional<qint64>(date.toMSecsSinceEpoch()) : std::nullopt;
}
inline QDateTime fromMSecs(std::optional<qint64> msecsSinceEpoch)
{
    return msecsSinceEpoch ? QDateTime::fromMSecsSinceEpoch(*msecsSinceEpoch) : QDateTime();
}

// The start of the date's local day (midnight, or the first moment of the day
// when a clock change skips midnight). Invalid stays invalid.
QDateTime stripTimeOfDay(const QDateTime &date);

// The date with seconds and milliseconds dropped, in local time.
QDateTime stripSeconds(const QDateTime &date);

// Whole calendar days from the first date's local day to the second's;
// negative when the second is earlier, 0 when either is invalid.
int daysFromDate(const QDateTime &from, const QDateTime &to);

} // namespace DateUtils
