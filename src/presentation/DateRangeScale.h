#pragma once

#include <QDateTime>
#include <QString>

// The time filter's scale: 31 named positions from "Past" through "Today"
// to "Future", each a number of days from today, and the date range that a
// pair of positions stands for.
namespace DateRangeScale {

constexpr int FirstPosition = 0;  // "Past": no lower bound
constexpr int LastPosition = 30;  // "Future": no upper bound

// The label shown for a position; empty outside the scale.
QString label(int position);

// The start of the current local day. Taken afresh at every call, so a
// window left open past midnight measures from the new day.
QDateTime today();

// The start of the day at the low knob; the distant past for "Past", the
// day after "+1 year" for "Future".
QDateTime minimumDate(int position);
// The start of the day after the day at the high knob, so that the whole day
// is inside the range; the distant future for "Future", the "-1 year" day
// for "Past".
QDateTime maximumDate(int position);

// What the three labels under the slider show for the two knobs.
struct RangeLabels {
    QString left;
    QString center;
    QString right;
};
RangeLabels rangeLabels(int low, int high);

} // namespace DateRangeScale
