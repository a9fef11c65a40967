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

// Lets the C library read the system time zone once instead of checking
// /etc/localtime on every local-time conversion (which it does while TZ is
// unset, and which makes sorting by dates many times slower). Call at the
// start of main(), before any thread starts; a TZ already set is kept.
void cacheSystemTimeZone();

} // namespace Clock
