#include "Clock.h"

#include <QFileInfo>

#include <time.h>

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

void Clock::cacheSystemTimeZone()
{
    if (qEnvironmentVariableIsSet("TZ") || !QFileInfo::exists(QStringLiteral("/etc/localtime")))
        return;
    qputenv("TZ", ":/etc/localtime");
    tzset();
}
