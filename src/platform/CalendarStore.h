#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFileSystemWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

// A calendar of the store: one folder of the store's folder.
struct CalCalendar {
    QString uid;   // the folder's name; empty until saved
    QString title; // the folder's "displayname" file
    QString notes; // kept while the process runs; the folder layout has no place for it
    QString color; // the folder's "color" file, "#RRGGBB"
};

// One event: one VEVENT in one .ics file of a calendar's folder.
struct CalEvent {
    QString uid;      // the event's UID, its identifier in the store; made when first saved
    QString calendar; // uid of the calendar holding it
    QString url;
    QString title;
    QDateTime startDate;
    QDateTime endDate; // all-day events: midnight (local time) after the last day
    bool isAllDay = false;
    QString notes;
    // Where it was read from and what the file held: a rewrite keeps the
    // properties we do not know.
    QString filePath;
    QByteArray source;
};

// The calendar store: calendars and their events in a folder of iCalendar
// files in the vdir layout (one folder per calendar with "displayname" and
// "color" files, one .ics file per event), which khal reads and vdirsyncer
// carries to a CalDAV server. Writes are atomic; a file that cannot be read
// is logged and left alone. Changes made by other programs are announced by
// eventsChangedExternally; our own writes are not.
class CalCalendarStore : public QObject
{
    Q_OBJECT
public:
    // The folder preference ("calendarStoreFolder"): by default a "calendars"
    // folder in the application's data folder.
    static QString defaultCalendarStoreFolder();

    // The store over a folder, made when missing.
    explicit CalCalendarStore(const QString &folder, QObject *parent = nullptr);
    ~CalCalendarStore() override;

    QString folder() const { return m_folder; }

    QList<CalCalendar> calendars() const;
    // Writes a new calendar's folder, or an existing one's title and colour.
    bool saveCalendar(CalCalendar &calendar, QString *error);

    // The events of those calendars that overlap the range from start to end.
    QList<CalEvent> events(const QDateTime &start, const QDateTime &end, const QStringList &calendarUids) const;
    std::optional<CalEvent> eventWithUID(const QString &uid) const;
    // Saves this occurrence: a new event gets a UID and its own file.
    bool saveEvent(CalEvent &event, QString *error);
    bool removeEvent(const CalEvent &event, QString *error);

signals:
    // Identifiers of events other programs added or changed in the folder.
    void eventsChangedExternally(const QStringList &inserted, const QStringList &updated);

private:
    // What the store last saw of an event file: its bytes' hash and UID.
    struct Seen {
        QByteArray hash;
        QString uid;
    };

    // Every readable event of one calendar's folder.
    QList<CalEvent> eventsIn(const QString &calendarUid) const;
    // Compares the folder with what was seen; with announce, tells what others changed.
    void rescan(bool announce);
    void watchFolders();
    void remember(const QString &path, const QByteArray &bytes, const QString &uid);

    QString m_folder;
    QHash<QString, QString> m_notes; // calendar notes by uid
    QHash<QString, Seen> m_seen; // by file path
    QFileSystemWatcher m_watcher;
    QTimer m_rescanTimer;
};
