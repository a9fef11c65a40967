#pragma once

#include <QDateTime>

// Every reading of "now" goes through here so that tests can pin time.
namespace Clock {

// The current moment: the pinned one when set, else the system clock.
QDateTime now();

// Pins "now" to a fixed moment (tests). An invalid moment unpins.
void setNow(const QDateTime &moment);

// Returns to the system clock.
void reset();

} // namespace Clock
