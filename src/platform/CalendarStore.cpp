#include "CalendarStore.h"

#include "Clock.h"
#include "Defaults.h"
#include "Logging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>
#include <QUuid>

#include <libical/ical.h>

#include <memory>

namespace {

const QString IcsSuffix = QStringLiteral(".ics");
const QString DisplayNameFile = QStringLiteral("displayname");
const QString ColorFile = QStringLiteral("color");

struct ComponentDeleter {
    void operator()(icalcomponent *component) const { icalcomponent_free(component); }
};
using Component = std::unique_ptr<icalcomponent, ComponentDeleter>;

QByteArray hashOf(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).trimmed();
}

// Temporary file, flush, rename: a reader never sees half a file.
bool writeAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
    return false;
}

// The VEVENT of a parsed file, whether the file holds a VCALENDAR or a bare event.
icalcomponent *veventOf(icalcomponent *root)
{
    if (!root)
        return nullptr;
    if (icalcomponent_isa(root) == ICAL_VEVENT_COMPONENT)
        return root;
    return icalcomponent_get_first_component(root, ICAL_VEVENT_COMPONENT);
}

// A time of the event: a date (local midnight), a UTC time, a time in the
// zone its TZID names, or a floating time (the local wall clock).
QDateTime toDateTime(const icaltimetype &time, icalproperty *property)
{
    if (icaltime_is_null_time(time))
        return {};
    const QDate date(time.year, time.month, time.day);
    if (icaltime_is_date(time))
        return QDateTime(date, QTime(0, 0), Qt::LocalTime);
    const QTime clock(time.hour, time.minute, time.second);
    icalparameter *tzid = property ? icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER) : nullptr;
    const QByteArray zoneName = tzid ? QByteArray(icalparameter_get_tzid(tzid)) : QByteArray();
    if (!zoneName.isEmpty() && QTimeZone::isTimeZoneIdAvailable(zoneName))
        return QDateTime(date, clock, QTimeZone(zoneName)).toLocalTime();
    if (icaltime_is_utc(time))
        return QDateTime(date, clock, Qt::UTC).toLocalTime();
    if (time.zone) // a zone the file defines under a name of its own
        return QDateTime::fromSecsSinceEpoch(icaltime_as_timet_with_zone(time, icaltimezone_get_utc_timezone()));
    return QDateTime(date, clock, Qt::LocalTime);
}

icaltimetype toIcalTime(const QDateTime &moment, bool allDay)
{
    if (allDay) {
        icaltimetype date = icaltime_null_date();
        const QDate day = moment.toLocalTime().date();
        date.year = day.year();
        date.month = day.month();
        date.day = day.day();
        return date;
    }
    return icaltime_from_timet_with_zone(moment.toSecsSinceEpoch(), 0, icaltimezone_get_utc_timezone());
}

QString textOf(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// The event a file holds, or none when it is not one we can read.
std::optional<CalEvent> parseEvent(const QByteArray &bytes)
{
    const Component root(icalparser_parse_string(bytes.constData()));
    icalcomponent *vevent = veventOf(root.get());
    if (!vevent)
        return std::nullopt;
    CalEvent event;
    event.uid = textOf(icalcomponent_get_uid(vevent));
    const icaltimetype start = icalcomponent_get_dtstart(vevent);
    event.startDate = toDateTime(start, icalcomponent_get_first_property(vevent, ICAL_DTSTART_PROPERTY));
    // Without DTEND, the end comes from DURATION in the start's zone.
    icalproperty *end = icalcomponent_get_first_property(vevent, ICAL_DTEND_PROPERTY);
    event.endDate = toDateTime(icalcomponent_get_dtend(vevent),
                               end ? end : icalcomponent_get_first_property(vevent, ICAL_DTSTART_PROPERTY));
    event.isAllDay = icaltime_is_date(start);
    if (event.uid.isEmpty() || !event.startDate.isValid())
        return std::nullopt;
    if (!event.endDate.isValid()) // no end: a day for all-day events, else an instant
        event.endDate = event.isAllDay ? event.startDate.addDays(1) : event.startDate;
    event.title = textOf(icalcomponent_get_summary(vevent));
    event.notes = textOf(icalcomponent_get_description(vevent));
    if (icalproperty *url = icalcomponent_get_first_property(vevent, ICAL_URL_PROPERTY))
        event.url = textOf(icalproperty_get_url(url));
    event.source = bytes;
    return event;
}

void removeAll(icalcomponent *component, icalproperty_kind kind)
{
    while (icalproperty *property = icalcomponent_get_first_property(component, kind)) {
        icalcomponent_remove_property(component, property);
        icalproperty_free(property);
    }
}

void replace(icalcomponent *component, icalproperty_kind kind, icalproperty *property)
{
    removeAll(component, kind);
    icalcomponent_add_property(component, property);
}

// A time that did not change keeps the form it has (a zone, a date), so a
// repeating event goes on repeating in its own zone.
void setTime(icalcomponent *vevent, icalproperty_kind kind, const QDateTime &moment, bool allDay)
{
    const bool isStart = kind == ICAL_DTSTART_PROPERTY;
    if (icalproperty *old = icalcomponent_get_first_property(vevent, kind)) {
        const icaltimetype time = isStart ? icalproperty_get_dtstart(old) : icalproperty_get_dtend(old);
        if (bool(icaltime_is_date(time)) == allDay && toDateTime(time, old) == moment)
            return;
    }
    const icaltimetype time = toIcalTime(moment, allDay);
    replace(vevent, kind, isStart ? icalproperty_new_dtstart(time) : icalproperty_new_dtend(time));
}

// The event's file text: what the file held with our properties replaced.
QByteArray serialize(const CalEvent &event)
{
    Component root(event.source.isEmpty() ? nullptr : icalparser_parse_string(event.source.constData()));
    if (!veventOf(root.get())) {
        root.reset(icalcomponent_new_vcalendar());
        icalcomponent_add_property(root.get(), icalproperty_new_version("2.0"));
        icalcomponent_add_property(root.get(), icalproperty_new_prodid("-//Nuvalto//Corvane//EN"));
        icalcomponent_add_component(root.get(), icalcomponent_new_vevent());
    }
    icalcomponent *vevent = veventOf(root.get());
    const QByteArray uid = event.uid.toUtf8();
    replace(vevent, ICAL_UID_PROPERTY, icalproperty_new_uid(uid.constData()));
    replace(vevent, ICAL_DTSTAMP_PROPERTY,
            icalproperty_new_dtstamp(toIcalTime(Clock::now(), false)));
    replace(vevent, ICAL_SUMMARY_PROPERTY, icalproperty_new_summary(event.title.toUtf8().constData()));
    setTime(vevent, ICAL_DTSTART_PROPERTY, event.startDate, event.isAllDay);
    removeAll(vevent, ICAL_DURATION_PROPERTY);
    setTime(vevent, ICAL_DTEND_PROPERTY, event.endDate, event.isAllDay);
    removeAll(vevent, ICAL_URL_PROPERTY);
    if (!event.url.isEmpty())
        icalcomponent_add_property(vevent, icalproperty_new_url(event.url.toUtf8().constData()));
    removeAll(vevent, ICAL_DESCRIPTION_PROPERTY);
    if (!event.notes.isEmpty())
        icalcomponent_add_property(vevent, icalproperty_new_description(event.notes.toUtf8().constData()));
    char *text = icalcomponent_as_ical_string_r(root.get());
    const QByteArray bytes(text);
    free(text);
    return bytes;
}

// A file name for a new event: its UID where that is a safe name.
QString fileNameFor(const QString &uid)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9@._-]"));
    QString name = uid;
    name.replace(unsafe, QStringLiteral("_"));
    return name + IcsSuffix;
}

} // namespace

QString CalCalendarStore::defaultCalendarStoreFolder()
{
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             + QStringLiteral("/Nuvalto/Corvane/calendars");
    return Defaults::standard().stringValue(QStringLiteral("calendarStoreFolder"), fallback);
}

CalCalendarStore::CalCalendarStore(const QString &folder, QObject *parent)
    : QObject(parent)
    , m_folder(QDir::cleanPath(folder))
{
    QDir().mkpath(m_folder);
    // Changes come in bursts (a sync program writes many files): one look after them.
    m_rescanTimer.setSingleShot(true);
    m_rescanTimer.setInterval(100);
    connect(&m_rescanTimer, &QTimer::timeout, this, [this]() { rescan(true); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_rescanTimer, qOverload<>(&QTimer::start));
    rescan(false);
}

CalCalendarStore::~CalCalendarStore() = default;

QList<CalCalendar> CalCalendarStore::calendars() const
{
    QList<CalCalendar> result;
    const QFileInfoList folders = QDir(m_folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &info : folders) {
        CalCalendar calendar;
        calendar.uid = info.fileName();
        calendar.title = readText(info.filePath() + QLatin1Char('/') + DisplayNameFile);
        if (calendar.title.isEmpty())
            calendar.title = calendar.uid;
        calendar.color = readText(info.filePath() + QLatin1Char('/') + ColorFile);
        calendar.notes = m_notes.value(calendar.uid);
        result << calendar;
    }
    return result;
}

bool CalCalendarStore::saveCalendar(CalCalendar &calendar, QString *error)
{
    const QString uid = calendar.uid.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : calendar.uid;
    const QString path = m_folder + QLatin1Char('/') + uid;
    if (!QDir().mkpath(path)) {
        if (error)
            *error = QStringLiteral("%1: cannot create the folder").arg(path);
        return false;
    }
    if (!writeAtomically(path + QLatin1Char('/') + DisplayNameFile, calendar.title.toUtf8(), error))
        return false;
    if (!calendar.color.isEmpty() && !writeAtomically(path + QLatin1Char('/') + ColorFile, calendar.color.toUtf8(), error))
        return false;
    calendar.uid = uid;
    m_notes.insert(uid, calendar.notes);
    watchFolders();
    return true;
}

QList<CalEvent> CalCalendarStore::eventsIn(const QString &calendarUid) const
{
    QList<CalEvent> result;
    const QDir dir(m_folder + QLatin1Char('/') + calendarUid);
    for (const QFileInfo &info : dir.entryInfoList({QStringLiteral("*.ics")}, QDir::Files, QDir::Name)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        std::optional<CalEvent> event = parseEvent(file.readAll());
        if (!event)
            continue; // logged by the scan that found it
        event->calendar = calendarUid;
        event->filePath = info.filePath();
        result << *event;
    }
    return result;
}

QList<CalEvent> CalCalendarStore::events(const QDateTime &start, const QDateTime &end,
                                         const QStringList &calendarUids) const
{
    QList<CalEvent> result;
    for (const QString &uid : calendarUids) {
        for (const CalEvent &event : eventsIn(uid)) {
            if (event.endDate >= start && event.startDate <= end)
                result << event;
        }
    }
    return result;
}

std::optional<CalEvent> CalCalendarStore::eventWithUID(const QString &uid) const
{
    for (const CalCalendar &calendar : calendars()) {
        for (const CalEvent &event : eventsIn(calendar.uid)) {
            if (event.uid == uid)
                return event;
        }
    }
    return std::nullopt;
}

bool CalCalendarStore::saveEvent(CalEvent &event, QString *error)
{
    if (event.calendar.isEmpty() || !QFileInfo(m_folder + QLatin1Char('/') + event.calendar).isDir()) {
        if (error)
            *error = QStringLiteral("no calendar '%1'").arg(event.calendar);
        return false;
    }
    CalEvent saved = event;
    if (saved.uid.isEmpty())
        saved.uid = QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral("@corvane");
    if (saved.filePath.isEmpty())
        saved.filePath = m_folder + QLatin1Char('/') + saved.calendar + QLatin1Char('/') + fileNameFor(saved.uid);
    saved.source = serialize(saved);
    if (!writeAtomically(saved.filePath, saved.source, error))
        return false;
    remember(saved.filePath, saved.source, saved.uid);
    event = saved;
    return true;
}

bool CalCalendarStore::removeEvent(const CalEvent &event, QString *error)
{
    if (event.filePath.isEmpty() || !QFile::remove(event.filePath)) {
        if (error)
            *error = QStringLiteral("cannot remove the event '%1' (%2)").arg(event.uid, event.filePath);
        return false;
    }
    m_seen.remove(event.filePath);
    return true;
}

void CalCalendarStore::remember(const QString &path, const QByteArray &bytes, const QString &uid)
{
    m_seen.insert(path, Seen{hashOf(bytes), uid});
}

void CalCalendarStore::watchFolders()
{
    QStringList folders{m_folder};
    for (const QFileInfo &info : QDir(m_folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders << info.filePath();
    const QStringList watched = m_watcher.directories();
    for (const QString &folder : std::as_const(folders)) {
        if (!watched.contains(folder))
            m_watcher.addPath(folder);
    }
}

void CalCalendarStore::rescan(bool announce)
{
    watchFolders();
    QStringList inserted, updated;
    QHash<QString, Seen> now;
    for (const QFileInfo &folder : QDir(m_folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QFileInfo &info : QDir(folder.filePath()).entryInfoList({QStringLiteral("*.ics")}, QDir::Files)) {
            const QString path = info.filePath();
            QFile file(path);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            const QByteArray hash = hashOf(bytes);
            const auto known = m_seen.constFind(path);
            if (known != m_seen.constEnd() && known->hash == hash) { // unchanged, or our own write
                now.insert(path, *known);
                continue;
            }
            const std::optional<CalEvent> event = parseEvent(bytes);
            if (!event) {
                qCWarning(lcStore).noquote() << QStringLiteral("Cannot read the calendar event file %1").arg(path);
                now.insert(path, Seen{hash, QString()});
                continue;
            }
            const bool isNew = known == m_seen.constEnd() || known->uid != event->uid;
            (isNew ? inserted : updated) << event->uid;
            now.insert(path, Seen{hash, event->uid});
        }
    }
    m_seen = now;
    if (announce && (!inserted.isEmpty() || !updated.isEmpty()))
        emit eventsChangedExternally(inserted, updated);
}
