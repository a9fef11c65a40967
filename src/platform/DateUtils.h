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

    // Names the table, different for every table learnt (another thread's,
    // or this thread's under another TZ): keys derived with one table are
    // good while current() answers the same number.
    quint32 generation() const { return m_generation; }

    // The same value as orderKey() for a date in milliseconds since the epoch.
    // Inline so that the optional is not built in memory for each call.
    qint64 orderKey(std::optional<qint64> msecsSinceEpoch, bool allDay)
    {
        return msecsSinceEpoch ? orderKeyOf(*msecsSinceEpoch, allDay) : std::numeric_limits<qint64>::max();
    }

private:
    qint64 orderKeyOf(qint64 msecsSinceEpoch, bool allDay);

    struct Day {
        qint64 number = std::numeric_limits<qint64>::min(); // days since the epoch, UTC
        int offset = 0;  // seconds east of UTC all that day
        bool regular = false;
        // Whether the two days before and the day after are regular with the
        // same offset, so that no change lies within a day of a midnight in
        // this day: unknown until asked.
        std::optional<bool> steady;
    };
    Day &day(qint64 number);
    bool isSteady(Day &day);
    std::vector<Day> m_days; // direct-mapped by day number
    std::string m_zone;      // the TZ value the table was learnt under
    quint32 m_generation = 0;
};

// Division rounding towards negative infinity: the day or second a moment
// before the epoch falls in.
inline qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

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
