#include "CalendarSyncSettings.h"

#include "CalendarStore.h"
#include "Defaults.h"
#include "Logging.h"
#include "MyDocument.h"
#include "TODOList.h"
#include "TodoModel.h"
#include "iCalController.h"

namespace {

const QString SyncKey = QStringLiteral("doCalSync");
const QString AutoSyncKey = QStringLiteral("doAutoCalSync");
const QString ProjectKey = QStringLiteral("calendarProject");
const QString CalendarKey = QStringLiteral("calendarForExport");

bool isOffered(const TODOList *list)
{
    return RecordState::isShown(list->state()) && list->id_() >= 1;
}

} // namespace

CalendarSyncSettings::CalendarSyncSettings(MyDocument *document)
    : m_document(document)
{
}

QStringList CalendarSyncSettings::loadProjects() const
{
    QStringList names;
    if (!m_document)
        return names;
    for (const TODOList *list : m_document->getAllProjects()) {
        qCInfo(lcSync).noquote() << QStringLiteral("Looking at project %1").arg(list->name());
        if (isOffered(list))
            names << list->name();
    }
    return names;
}

QStringList CalendarSyncSettings::loadCalendars() const
{
    QStringList titles;
    iCalController *controller = iCalController::sharedInstance();
    // With calendar sync off there is no controller; the store is read all the same.
    const QList<CalCalendar> calendars = controller
        ? controller->store().calendars()
        : CalCalendarStore(CalCalendarStore::defaultCalendarStoreFolder()).calendars();
    for (const CalCalendar &calendar : calendars)
        titles << calendar.title;
    return titles;
}

void CalendarSyncSettings::loadDefaults()
{
    const Defaults &defaults = Defaults::standard();
    calendarSyncEnabled = defaults.boolValue(SyncKey);
    autoSyncEnabled = defaults.boolValue(AutoSyncKey);
    projectName.clear();
    const int id = defaults.intValue(ProjectKey);
    if (m_document) {
        for (const TODOList *list : m_document->getAllProjects()) {
            if (id != 0 && list->id_() == id && isOffered(list)) {
                projectName = list->name();
                break;
            }
        }
    }
    currentCalendarName = defaults.stringValue(CalendarKey);
    if (currentCalendarName.isEmpty()) {
        const QString login = defaults.stringValue(QStringLiteral("cv-login"));
        currentCalendarName = login.isEmpty() ? QStringLiteral("Corvane") : QStringLiteral("Corvane - %1").arg(login);
    }
}

void CalendarSyncSettings::saveDefaults() const
{
    Defaults &defaults = Defaults::standard();
    defaults.setValue(SyncKey, calendarSyncEnabled);
    defaults.setValue(AutoSyncKey, autoSyncEnabled);
    int id = 0;
    if (m_document) {
        for (const TODOList *list : m_document->getAllProjects()) {
            if (list->name() == projectName) {
                id = list->id_();
                break;
            }
        }
    }
    defaults.setValue(ProjectKey, id);
    defaults.setValue(CalendarKey, currentCalendarName);
}

void CalendarSyncSettings::done()
{
    saveDefaults();
    iCalController *controller = iCalController::sharedInstance(); // none, and no observing, while sync is off
    if (!controller || !m_document)
        return;
    controller->startObservingCalendarNotifications(m_document);
    if (autoSyncEnabled) {
        controller->importFromCalendarToDocument(m_document);
        controller->exportToCalendarFromDocument(m_document);
        m_document->startCalendarSyncTimer();
    } else {
        m_document->stopCalendarSyncTimer();
    }
}
