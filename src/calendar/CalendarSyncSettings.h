#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>

class MyDocument;

// The calendar sync settings sheet without its widgets: the choices it
// offers, the values of its check boxes and combo boxes, and the
// preferences it reads and writes. The sheet (CalendarSyncViewController)
// shows these fields and calls these operations.
class CalendarSyncSettings
{
public:
    explicit CalendarSyncSettings(MyDocument *document);

    // The sheet's fields.
    bool calendarSyncEnabled = false; // "doCalSync"
    bool autoSyncEnabled = false;     // "doAutoCalSync"
    QString projectName;              // the target list, by name
    QString currentCalendarName;      // "calendarForExport"

    // Names of the shown, uploaded lists ("Looking at project %1" for each list examined).
    QStringList loadProjects() const;
    // Titles of the calendar store's calendars.
    QStringList loadCalendars() const;
    // The fields from the preferences; a calendar name is proposed when none is stored.
    void loadDefaults();
    // The automatic check box and both combo boxes work only with calendar sync on.
    bool choicesEnabled() const { return calendarSyncEnabled; }
    void saveDefaults() const;
    // The sheet's Done button: saves, then starts or stops observing the
    // calendar and, with automatic sync, imports, exports and starts the timer.
    void done();

private:
    QPointer<MyDocument> m_document;
};
