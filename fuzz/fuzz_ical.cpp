// An iCalendar file in a calendar folder of the calendar store, read as an
// event.

#include "CalendarStore.h"
#include "FuzzSupport.h"

#include <QDir>
#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::NotNeeded);
    QDir(fuzz::scratch().path()).mkpath(QStringLiteral("calendars/fuzz"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString folder = fuzz::scratch().filePath(QStringLiteral("calendars"));
    QFile file(folder + QStringLiteral("/fuzz/event.ics"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(fuzz::bytes(data, size));
    file.close();
    CalCalendarStore store(folder);
    const QDateTime start = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    for (const CalEvent &event : store.events(start, start.addYears(200), {QStringLiteral("fuzz")}))
        store.eventWithUID(event.uid);
    return 0;
}
