#pragma once

#include "CalendarStore.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

class MyDocument;
class TODOItem;
class TODOList;

// Calendar sync: dated, open items of uploaded lists become events of one
// calendar of the calendar store, and that calendar's events become items.
// An event's URL (urlForList) is the only link between it and its item.
// Works only while the preference "doCalSync" is on.
class iCalController : public QObject
{
    Q_OBJECT
public:
    // The process's controller while "doCalSync" is on, else none. It works
    // on the calendar store in the folder the preferences name, and follows
    // the preference when it changes.
    static iCalController *sharedInstance();

    CalCalendarStore &store() { return *m_store; }

    // Imports what other programs add or change in the calendar into `document`.
    void startObservingCalendarNotifications(MyDocument *document);
    void stopObservingCalendarNotifications();

    void exportToCalendarFromDocument(MyDocument *document);
    void importFromCalendarToDocument(MyDocument *document);
    // The event of one item, for edits outside export: no date window.
    void updateEventForItem(TODOItem *item, TODOList *list);
    void deleteEventForItem(TODOItem *item, TODOList *list);

    // The calendar titled by "calendarForExport", made ("Corvane calendar")
    // when there is none. None when it cannot be made.
    std::optional<CalCalendar> getCVCalendar();
    // The calendar's events within the date window.
    QList<CalEvent> allRelevantEvents();
    QHash<QString, CalEvent> urlToEventMap();
    // The shown list whose id_ is "calendarProject", else the first shown
    // uploaded list, else the first shown list.
    TODOList *getTargetProject() const;
    // A new item in quadrant 3 of the list, with the clock icon.
    TODOItem *newICalItemForProject(TODOList *list) const;
    // The store's notification: other programs inserted or updated events.
    void eventsChanged(const QStringList &inserted, const QStringList &updated);

    // The event link of an item: the same list and item always give the same URL.
    static QString urlForList(const TODOList *list, const TODOItem *item);
    // The event link of every open or completed item of the shown lists.
    static QHash<QString, TODOItem *> keyToItemMap(const MyDocument *document);
    static void updateItem(TODOItem *item, const CalEvent &event);
    static void updateCalEvent(CalEvent &event, const TODOItem *item);
    static QDateTime minimumDate();
    static QDateTime maximumDate();

private:
    explicit iCalController(const QString &folder);

    void updateEventForItem(TODOItem *item, TODOList *list, QHash<QString, CalEvent> &map, const CalCalendar &calendar);
    void deleteEventForItem(TODOItem *item, TODOList *list, const QHash<QString, CalEvent> &map);
    bool saveEvent(CalEvent &event);
    // The event with that UID when it is ours and touches the date window.
    std::optional<CalEvent> eventFromUID(const QString &uid, const CalCalendar &calendar) const;
    // Fills the item the event links to, or a new item of the target list
    // whose link the event then carries.
    void takeEvent(CalEvent &event, QHash<QString, TODOItem *> &items, TODOList *target);

    std::unique_ptr<CalCalendarStore> m_store;
    QPointer<MyDocument> m_document;
    QMetaObject::Connection m_observing;
};
