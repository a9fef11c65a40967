#include "Clock.h"

namespace {
QDateTime g_pinned;
}

QDateTime Clock::now()
{
    return g_pinned.isValid() ? g_pinned : QDateTime::currentDateTime();
}

void Clock::setNow(const QDateTime &moment)
{
    g_pinned = moment;
}

void Clock::reset()
{
    g_pinned = QDateTime();
}
