#include "DateRangeScale.h"

#include "Clock.h"
#include "DateUtils.h"
#include "Utils.h"

#include <QCoreApplication>

#include <array>

namespace {

struct Mark {
    const char *label;
    int days;
};

// "+3 day" and "+5 day" are the labels users know; "+1 week" reaches 8 days.
constexpr std::array<Mark, DateRangeScale::LastPosition + 1> kMarks = {{
    {QT_TRANSLATE_NOOP("DateRangeScale", "Past"), 0},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-1 year"), -365},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-9 months"), -270},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-6 months"), -180},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-4 months"), -120},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-3 months"), -90},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-2 months"), -60},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-1 month"), -30},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-3 weeks"), -21},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-2 weeks"), -14},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-1 week"), -7},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-5 days"), -5},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-3 days"), -3},
    {QT_TRANSLATE_NOOP("DateRangeScale", "-2 days"), -2},
    {QT_TRANSLATE_NOOP("DateRangeScale", "Yesterday"), -1},
    {QT_TRANSLATE_NOOP("DateRangeScale", "Today"), 0},
    {QT_TRANSLATE_NOOP("DateRangeScale", "Tomorrow"), 1},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+2 days"), 2},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+3 day"), 3},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+5 day"), 5},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+1 week"), 8},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+2 weeks"), 14},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+3 weeks"), 21},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+1 month"), 30},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+2 months"), 60},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+3 months"), 90},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+4 months"), 120},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+6 months"), 180},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+9 months"), 270},
    {QT_TRANSLATE_NOOP("DateRangeScale", "+1 year"), 365},
    {QT_TRANSLATE_NOOP("DateRangeScale", "Future"), 0},
}};

bool onScale(int position)
{
    return position >= DateRangeScale::FirstPosition && position <= DateRangeScale::LastPosition;
}

// Calendar days rather than multiples of 86400 seconds, so that a range
// across a clock change still starts and ends at midnight.
QDateTime startOfDayFromToday(int days)
{
    return DateRangeScale::today().date().addDays(days).startOfDay();
}

} // namespace

QString DateRangeScale::label(int position)
{
    return onScale(position) ? QCoreApplication::translate("DateRangeScale", kMarks[position].label) : QString();
}

QDateTime DateRangeScale::today()
{
    return DateUtils::stripTimeOfDay(Clock::now());
}

// "Past" and "Future" have no day of their own: as the low knob "Future"
// starts after the "+1 year" day, as the high knob "Past" ends before the
// "-1 year" day, so both knobs on one end show what lies beyond the scale.
QDateTime DateRangeScale::minimumDate(int position)
{
    if (position <= FirstPosition)
        return Utils::distantPast();
    if (position >= LastPosition)
        return startOfDayFromToday(kMarks[LastPosition - 1].days + 1);
    return startOfDayFromToday(kMarks[position].days);
}

QDateTime DateRangeScale::maximumDate(int position)
{
    if (position >= LastPosition)
        return Utils::distantFuture();
    if (position <= FirstPosition)
        return startOfDayFromToday(kMarks[FirstPosition + 1].days);
    return startOfDayFromToday(kMarks[position].days + 1);
}

DateRangeScale::RangeLabels DateRangeScale::rangeLabels(int low, int high)
{
    const QString lowLabel = label(low);
    const QString highLabel = label(high);
    if (lowLabel == highLabel)
        return {QString(), lowLabel, QString()};
    return {lowLabel, QCoreApplication::translate("DateRangeScale", "(Time Filter)"), highLabel};
}
