#include "iCalController.h"

#include "Clock.h"
#include "Defaults.h"
#include "Logging.h"
#include "MyDocument.h"
#include "SyncUtils.h"
#include "TODOItem.h"
#include "TODOList.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QSet>

namespace {

const QString CalendarTitle = QStringLiteral("Corvane calendar");
constexpr qint64 WindowBefore = 2592000; // 30 days
constexpr qint64 WindowAfter = 31536000; // 365 days

bool isShown(const TODOList *list)
{
    return RecordState::isShown(list->state());
}

// Whether a URL is an event link of ours (whatever list and item).
bool isEventLink(const QString &url)
{
    return url.startsWith(QStringLiteral("http://%1/cal/").arg(SyncSettings::widgetsHost()));
}

// Event identifiers announced as inserted since the process started.
QSet<QString> &seenIdentifiers()
{
    static QSet<QString> seen;
    return seen;
}

} // namespace

iCalController::iCalController(const QString &folder)
    : QObject(QCoreApplication::instance())
    , m_store(std::make_unique<CalCalendarStore>(folder))
{
}

iCalController *iCalController::sharedInstance()
{
    static QMutex creation;
    static QPointer<iCalController> shared;
    const QMutexLocker locker(&creation);
    if (!Defaults::standard().boolValue(QStringLiteral("doCalSync"))) {
        // Switched off: the controller goes, and with it the observation.
        delete shared;
        return nullptr;
    }
    const QString folder = CalCalendarStore::defaultCalendarStoreFolder();
    if (shared && shared->m_store->folder() != QDir::cleanPath(folder)) {
        // The folder preference changed: the old store goes, observation carries over.
        const QPointer<MyDocument> observed = shared->m_observing ? shared->m_document : nullptr;
        delete shared;
        shared = new iCalController(folder);
        if (observed)
            shared->startObservingCalendarNotifications(observed);
    }
    if (!shared)
        shared = new iCalController(folder);
    return shared;
}

void iCalController::startObservingCalendarNotifications(MyDocument *document)
{
    m_document = document;
    disconnect(m_observing);
    m_observing = connect(m_store.get(), &CalCalendarStore::eventsChangedExternally, this, &iCalController::eventsChanged);
}

void iCalController::stopObservingCalendarNotifications()
{
    disconnect(m_observing);
    m_observing = {};
}

// --- Links and dates --------------------------------------------------------------------------

QString iCalController::urlForList(const TODOList *list, const TODOItem *item)
{
    const QString digest = SyncUtils::SHA1fromString(QStringLiteral("iCal.%1.%2").arg(list->id_()).arg(item->id_()));
    return QStringLiteral("http://%1/cal/%2").arg(SyncSettings::widgetsHost(), digest);
}

QDateTime iCalController::minimumDate()
{
    return Clock::now().addSecs(-WindowBefore);
}

QDateTime iCalController::maximumDate()
{
    return Clock::now().addSecs(WindowAfter);
}

QHash<QString, TODOItem *> iCalController::keyToItemMap(const MyDocument *document)
{
    QHash<QString, TODOItem *> map;
    for (TODOList *list : document->getAllProjects()) {
        if (!isShown(list))
            continue;
        for (TODOItem *item : list->contains()) {
            if (RecordState::isShown(item->state()))
                map.insert(urlForList(list, item), item);
        }
    }
    return map;
}

// --- Items and events -------------------------------------------------------------------------------

void iCalController::updateItem(TODOItem *item, const CalEvent &event)
{
    item->setName(event.title);
    // An all-day event ends at the start of the day after its last day.
    item->setDueDate(event.isAllDay ? QDateTime(event.endDate.date().addDays(-1), QTime(0, 0)) : event.endDate);
    item->setStartDate(event.startDate);
    item->setDescriptionText(event.notes);
    item->setAllDay(event.isAllDay);
}

void iCalController::updateCalEvent(CalEvent &event, const TODOItem *item)
{
    const QDateTime due = item->dueDate();
    const QDateTime start = item->startDate();
    event.isAllDay = item->allDay();
    event.title = item->name();
    event.startDate = start.isValid() && start < due ? start : due;
    // A whole day later in the calendar, also across a daylight-saving change.
    event.endDate = event.isAllDay ? QDateTime(due.toLocalTime().date().addDays(1), QTime(0, 0)) : due;
    qCInfo(lcSync).noquote() << QStringLiteral("Updated event: %1").arg(event.title);
}

TODOItem *iCalController::newICalItemForProject(TODOList *list) const
{
    TODOItem *item = m_document ? m_document->newItemForProject(list, 3) : nullptr;
    if (item)
        item->setIcon(QStringLiteral("red_clock128.png"));
    return item;
}

// --- The calendar and its events -------------------------------------------------------------------------

std::optional<CalCalendar> iCalController::getCVCalendar()
{
    const QString title = Defaults::standard().stringValue(QStringLiteral("calendarForExport"));
    if (!title.isEmpty()) {
        for (const CalCalendar &calendar : m_store->calendars()) {
            if (calendar.title == title)
                return calendar;
        }
    }
    CalCalendar calendar;
    calendar.title = CalendarTitle;
    calendar.notes = QStringLiteral("Calendar managed by Corvane");
    QString error;
    if (!m_store->saveCalendar(calendar, &error)) {
        qCWarning(lcSync).noquote() << QStringLiteral("ERROR saving new calendar with title '%1' -> %2").arg(CalendarTitle, error);
        return std::nullopt;
    }
    Defaults::standard().setValue(QStringLiteral("calendarForExport"), CalendarTitle);
    return calendar;
}

QList<CalEvent> iCalController::allRelevantEvents()
{
    const std::optional<CalCalendar> calendar = getCVCalendar();
    if (!calendar) {
        qCWarning(lcSync).noquote() << QStringLiteral("ERROR grabbing calendar");
        return {};
    }
    return m_store->events(minimumDate(), maximumDate(), {calendar->uid});
}

QHash<QString, CalEvent> iCalController::urlToEventMap()
{
    QHash<QString, CalEvent> map;
    for (const CalEvent &event : allRelevantEvents()) {
        if (!event.url.isEmpty())
            map.insert(event.url, event);
    }
    return map;
}

TODOList *iCalController::getTargetProject() const
{
    if (!m_document)
        return nullptr;
    const int id = Defaults::standard().intValue(QStringLiteral("calendarProject"));
    const QList<TODOList *> lists = m_document->getAllProjects();
    for (TODOList *list : lists) {
        if (id != 0 && list->id_() == id)
            return list;
    }
    // The links of a list's items change when the list is first uploaded:
    // an uploaded list keeps the events linked.
    for (TODOList *list : lists) {
        if (list->id_() >= 1)
            return list;
    }
    return m_document->getFirstProject();
}

bool iCalController::saveEvent(CalEvent &event)
{
    QString error;
    if (m_store->saveEvent(event, &error))
        return true;
    qCWarning(lcSync).noquote() << QStringLiteral("ERROR: Problem saving to calendar store: %1").arg(error);
    return false;
}

std::optional<CalEvent> iCalController::eventFromUID(const QString &uid, const CalCalendar &calendar) const
{
    std::optional<CalEvent> event = m_store->eventWithUID(uid);
    if (!event || event->calendar != calendar.uid || event->endDate < minimumDate() || event->startDate > maximumDate())
        return std::nullopt;
    return event;
}

// --- Export ------------------------------------------------------------------------------------------------

void iCalController::updateEventForItem(TODOItem *item, TODOList *list, QHash<QString, CalEvent> &map,
                                        const CalCalendar &calendar)
{
    const QString link = urlForList(list, item);
    auto found = map.find(link);
    CalEvent event;
    if (found != map.end()) {
        event = *found;
    } else {
        event.calendar = calendar.uid;
        event.url = link;
    }
    updateCalEvent(event, item);
    if (saveEvent(event))
        map.insert(link, event);
}

void iCalController::deleteEventForItem(TODOItem *item, TODOList *list, const QHash<QString, CalEvent> &map)
{
    const QString link = urlForList(list, item);
    const auto found = map.constFind(link);
    if (found == map.constEnd() || found->url != link)
        return;
    QString error;
    if (!m_store->removeEvent(*found, &error))
        qCWarning(lcSync).noquote() << QStringLiteral("ERROR: Problem removing calendar event: %1").arg(error);
}

void iCalController::exportToCalendarFromDocument(MyDocument *document)
{
    document->setStatusBarMessage(QStringLiteral("Exporting your items to the calendar..."));
    m_document = document;
    const QDateTime minimum = minimumDate();
    const QDateTime maximum = maximumDate();
    const std::optional<CalCalendar> calendar = getCVCalendar();
    if (!calendar) {
        document->setStatusBarMessage(
            QStringLiteral("Error exporting your items to the calendar. Please verify your calendar settings."));
        return;
    }
    QHash<QString, CalEvent> map = urlToEventMap();
    for (TODOList *list : document->getAllProjects()) {
        // Lists never uploaded have no lasting identifier to link with.
        if (!isShown(list) || list->id_() < 1)
            continue;
        for (TODOItem *item : list->contains()) {
            const int state = item->state();
            if (state == RecordState::Deleted)
                continue;
            if (state == RecordState::Completed || state == RecordState::Trashed) {
                deleteEventForItem(item, list, map);
                continue;
            }
            const QDateTime due = item->dueDate();
            if (due.isValid() && due > minimum && due < maximum)
                updateEventForItem(item, list, map, *calendar);
        }
    }
    document->reloadTableViews();
}

void iCalController::updateEventForItem(TODOItem *item, TODOList *list)
{
    QHash<QString, CalEvent> map = urlToEventMap();
    const std::optional<CalCalendar> calendar = getCVCalendar();
    if (calendar && item->dueDate().isValid())
        updateEventForItem(item, list, map, *calendar);
}

void iCalController::deleteEventForItem(TODOItem *item, TODOList *list)
{
    deleteEventForItem(item, list, urlToEventMap());
}

// --- Import ------------------------------------------------------------------------------------------------

void iCalController::takeEvent(CalEvent &event, QHash<QString, TODOItem *> &items, TODOList *target)
{
    if (TODOItem *known = items.value(event.url)) {
        updateItem(known, event);
        return;
    }
    TODOItem *item = newICalItemForProject(target);
    if (!item)
        return;
    // The event's own web address would be lost under our link: its notes keep it.
    if (!event.url.isEmpty() && !isEventLink(event.url))
        event.notes = event.notes.isEmpty() ? event.url : event.notes + QLatin1Char('\n') + event.url;
    event.url = urlForList(target, item);
    items.insert(event.url, item);
    updateItem(item, event);
    updateCalEvent(event, item);
    saveEvent(event);
}

void iCalController::importFromCalendarToDocument(MyDocument *document)
{
    document->setStatusBarMessage(QStringLiteral("Importing your items from the calendar..."));
    m_document = document;
    QList<CalEvent> events = allRelevantEvents();
    if (events.isEmpty())
        return;
    QHash<QString, TODOItem *> items = keyToItemMap(document);
    TODOList *target = getTargetProject();
    for (CalEvent &event : events)
        takeEvent(event, items, target);
    document->reloadTableViews();
}

void iCalController::eventsChanged(const QStringList &inserted, const QStringList &updated)
{
    if (!m_document)
        return;
    TODOList *target = getTargetProject();
    QHash<QString, TODOItem *> items = keyToItemMap(m_document);
    const std::optional<CalCalendar> calendar = getCVCalendar();
    if (!calendar) {
        m_document->setStatusBarMessage(
            QStringLiteral("Error updating your calendar items. Please verify your calendar settings."));
        return;
    }
    for (const QString &uid : inserted) {
        if (seenIdentifiers().contains(uid))
            continue;
        seenIdentifiers().insert(uid);
        std::optional<CalEvent> event = eventFromUID(uid, *calendar);
        if (!event)
            continue;
        qCInfo(lcSync).noquote() << QStringLiteral("Event was inserted: %1").arg(uid);
        takeEvent(*event, items, target);
    }
    for (const QString &uid : updated) {
        if (std::optional<CalEvent> event = eventFromUID(uid, *calendar))
            takeEvent(*event, items, target);
    }
    m_document->reloadTableViews();
}
