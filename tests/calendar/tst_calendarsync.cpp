// Calendar sync: dated items out to a vdir calendar folder and events back
// as items, with other programs (khal among them) writing into the folder.

#include "CalendarSyncSettings.h"
#include "DocumentCalendar.h"
#include "DocumentFakes.h"
#include "TestSupport.h"
#include "iCalController.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QDateTime Now = QDateTime(QDate(2026, 10, 20), QTime(12, 0));

// A document with calendar sync on, over a calendar folder of its own.
struct CalendarFixture : DocumentFixture {
    QString folder = dir.filePath(u"calendars"_s);
    std::unique_ptr<DocumentCalendar> bridge;

    explicit CalendarFixture(bool sync = true)
    {
        Clock::setNow(Now);
        Defaults::standard().setValue(u"doCalSync"_s, sync);
        Defaults::standard().setValue(u"calendarStoreFolder"_s, folder);
        bridge = std::make_unique<DocumentCalendar>(document.get());
    }
    TODOList *list(const QString &name, int id)
    {
        TODOList *l = document->addNewProjectWithName(name);
        l->setId_(id);
        return l;
    }
    TODOItem *dated(TODOList *l, const QString &name, const QDateTime &due, bool allDay = false)
    {
        TODOItem *i = document->newItemForProject(l, 0);
        i->setName(name);
        i->setDueDate(due);
        i->setAllDay(allDay);
        return i;
    }
    QString calendarFolder() const
    {
        const QStringList calendars = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        return calendars.isEmpty() ? QString() : folder + u'/' + calendars.constFirst();
    }
    QList<CalEvent> events() const
    {
        CalCalendarStore store(folder);
        QStringList uids;
        for (const CalCalendar &c : store.calendars())
            uids << c.uid;
        return store.events(Now.addYears(-5), Now.addYears(5), uids);
    }
    QStringList eventFiles() const
    {
        const QString calendar = calendarFolder();
        return calendar.isEmpty() ? QStringList() : QDir(calendar).entryList({u"*.ics"_s}, QDir::Files);
    }
    // An event file as another program writes it, in the managed calendar.
    QString writeForeign(const QString &uid, const QString &body)
    {
        if (calendarFolder().isEmpty())
            iCalController::sharedInstance()->getCVCalendar();
        const QString path = calendarFolder() + u'/' + uid + u".ics"_s;
        const QString text = u"BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Other//EN\nBEGIN:VEVENT\nUID:%1\n"
                             "DTSTAMP:20261001T000000Z\n%2\nX-OTHER-PROP:keep me\nEND:VEVENT\nEND:VCALENDAR\n"_s.arg(uid, body);
        writeBytes(path, text.toUtf8().replace("\n", "\r\n"));
        return path;
    }
};

QList<TODOItem *> itemsOf(TODOList *list)
{
    QList<TODOItem *> items = list->contains();
    items.removeIf([](TODOItem *i) { return !RecordState::isShown(i->state()); });
    return items;
}

} // namespace

class TestCalendarSync : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { Clock::reset(); }

    void exportWritesDatedItems_data()
    {
        QTest::addColumn<int>("listId");
        QTest::addColumn<QDateTime>("due");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QDateTime>("eventStart"); // invalid: no event
        QTest::addColumn<QByteArray>("fileHolds");

        const QDateTime due = Now.addDays(3);
        QTest::newRow("due 10 days ago") << 5 << Now.addDays(-10) << QDateTime() << false << Now.addDays(-10) << "DTEND:20261010T100000Z"_ba;
        QTest::newRow("due 40 days ago") << 5 << Now.addDays(-40) << QDateTime() << false << QDateTime() << QByteArray();
        QTest::newRow("due in 300 days") << 5 << Now.addDays(300) << QDateTime() << false << Now.addDays(300) << QByteArray();
        QTest::newRow("due in 400 days") << 5 << Now.addDays(400) << QDateTime() << false << QDateTime() << QByteArray();
        QTest::newRow("start before due") << 5 << due << due.addDays(-2) << false << due.addDays(-2) << QByteArray();
        QTest::newRow("start after due") << 5 << due << due.addDays(2) << false << due << QByteArray();
        // The last Sunday of October has 25 hours: the event still ends at the next day.
        QTest::newRow("all day, clocks go back") << 5 << QDateTime(QDate(2026, 10, 25), QTime(0, 0)) << QDateTime() << true
                                                 << QDateTime(QDate(2026, 10, 25), QTime(0, 0)) << "DTEND;VALUE=DATE:20261026"_ba;
        QTest::newRow("list never uploaded") << 0 << due << QDateTime() << false << QDateTime() << QByteArray();
    }

    void exportWritesDatedItems()
    {
        QFETCH(int, listId);
        QFETCH(QDateTime, due);
        QFETCH(QDateTime, start);
        QFETCH(bool, allDay);
        QFETCH(QDateTime, eventStart);
        QFETCH(QByteArray, fileHolds);

        CalendarFixture f;
        TODOList *list = f.list(u"Home"_s, listId);
        TODOItem *item = f.dated(list, u"Dentist"_s, due, allDay);
        item->setStartDate(start);
        f.document->iCalExport();
        f.document->iCalExport(); // a second run changes the same event

        const QList<CalEvent> events = f.events();
        QCOMPARE(events.size(), eventStart.isValid() ? 1 : 0);
        if (events.isEmpty())
            return;
        const CalEvent &event = events.constFirst();
        QCOMPARE(event.url, iCalController::urlForList(list, item));
        QCOMPARE(event.title, u"Dentist"_s);
        QCOMPARE(event.startDate, eventStart);
        QCOMPARE(event.isAllDay, allDay);
        QVERIFY2(event.source.contains(fileHolds), event.source.constData());

        // What comes back is what went out.
        item->setDueDate(Now.addDays(-1));
        f.document->iCalImport();
        QCOMPARE(item->dueDate(), due);
        QCOMPARE(item->allDay(), allDay);
        QCOMPARE(itemsOf(list).size(), 1);
    }

    void doneItemsLoseTheirEvents_data()
    {
        QTest::addColumn<bool>("sync");
        QTest::addColumn<bool>("complete"); // else trash
        QTest::addColumn<int>("eventsLeft");

        QTest::newRow("completed, then exported") << true << true << 0;
        QTest::newRow("trashed") << true << false << 0;
        QTest::newRow("trashed, sync off") << false << false << 1;
    }

    void doneItemsLoseTheirEvents()
    {
        QFETCH(bool, sync);
        QFETCH(bool, complete);
        QFETCH(int, eventsLeft);

        CalendarFixture f;
        TODOList *list = f.list(u"Home"_s, 5);
        TODOItem *item = f.dated(list, u"Dentist"_s, Now.addDays(2));
        f.dated(list, u"Undated"_s, QDateTime());
        f.document->iCalExport();
        QCOMPARE(f.events().size(), 1);
        const QByteArray before = fileHash(f.calendarFolder() + u'/' + f.eventFiles().constFirst());

        Defaults::standard().setValue(u"doCalSync"_s, sync);
        if (complete)
            f.document->markTODOItem(item, list, nullptr, 100);
        else
            f.document->markTODOItemAsTrashed(item, list);
        f.document->iCalExport();
        QCOMPARE(f.events().size(), eventsLeft);
        if (eventsLeft)
            QCOMPARE(fileHash(f.calendarFolder() + u'/' + f.eventFiles().constFirst()), before);
    }

    void eventsComeBackAsItems_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QDateTime>("due");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<int>("project"); // "calendarProject"

        // Never into a list whose links change at its first upload.
        QTest::newRow("no list chosen") << u"SUMMARY:Dentist\nDTSTART:20261215T090000Z\nDTEND:20261215T100000Z"_s
                                        << QDateTime(QDate(2026, 12, 15), QTime(11, 0)) << false << QString() << 0;
        QTest::newRow("all day") << u"SUMMARY:Dentist\nDTSTART;VALUE=DATE:20261215\nDTEND;VALUE=DATE:20261216"_s
                                 << QDateTime(QDate(2026, 12, 15), QTime(0, 0)) << true << QString() << 9;
        QTest::newRow("in a named zone") << u"SUMMARY:Dentist\nDTSTART;TZID=America/New_York:20261215T090000\n"
                                            "DTEND;TZID=America/New_York:20261215T100000"_s
                                         << QDateTime(QDate(2026, 12, 15), QTime(16, 0)) << false << QString() << 9;
        // Its own address is not lost under the item's link.
        QTest::newRow("with a web address") << u"SUMMARY:Dentist\nDTSTART:20261215T090000Z\nDTEND:20261215T100000Z\n"
                                               "DESCRIPTION:Bring the card\nURL:https://example.org/meet"_s
                                            << QDateTime(QDate(2026, 12, 15), QTime(11, 0)) << false
                                            << u"Bring the card\nhttps://example.org/meet"_s << 9;
    }

    void eventsComeBackAsItems()
    {
        QFETCH(QString, body);
        QFETCH(int, project);

        CalendarFixture f;
        f.document->enableDidChangeContextNotifications();
        TODOList *other = f.list(u"Other"_s, 0);
        TODOList *target = f.list(u"Target"_s, 9);
        Defaults::standard().setValue(u"calendarProject"_s, project);
        const QString path = f.writeForeign(u"other-1"_s, body);
        const QString broken = f.calendarFolder() + u"/broken.ics"_s;
        writeBytes(broken, "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:half");
        const QByteArray brokenHash = fileHash(broken);

        f.document->iCalImport();
        f.document->iCalImport(); // the second run finds the item by the event's link
        QCOMPARE(itemsOf(other).size(), 0);
        const QList<TODOItem *> items = itemsOf(target);
        QCOMPARE(items.size(), 1);
        TODOItem *item = items.constFirst();
        QCOMPARE(item->name(), u"Dentist"_s);
        QTEST(item->dueDate(), "due");
        QTEST(item->allDay(), "allDay");
        QCOMPARE(item->quadrant(), 3);
        QTEST(item->descriptionText(), "notes");
        QTRY_COMPARE(item->edited_since(), 1); // marked for the next upload
        const QByteArray written = readBytes(path).replace("\r\n ", ""); // long lines unfolded
        QVERIFY2(written.contains(("URL:" + iCalController::urlForList(target, item)).toUtf8()), written.constData());
        QVERIFY(written.contains("X-OTHER-PROP:keep me"));
        // The start did not change, nor does its form (zone, date).
        QVERIFY2(written.contains(body.section(u'\n', 1, 1).toUtf8()), written.constData());
        QCOMPARE(fileHash(broken), brokenHash);
    }

    void otherProgramsChangesAreImported_data()
    {
        QTest::addColumn<bool>("linked"); // the event carries the link of an existing item
        QTest::newRow("new event") << false;
        QTest::newRow("event of a known item") << true;
    }

    void otherProgramsChangesAreImported()
    {
        QFETCH(bool, linked);
        static int run = 0;
        const QString uid = u"external-%1"_s.arg(++run);

        CalendarFixture f;
        TODOList *list = f.list(u"Home"_s, 5);
        TODOItem *known = f.dated(list, u"Known"_s, Now.addDays(1));
        f.document->iCalExport();
        const QString url = linked ? iCalController::urlForList(list, known) : QString();
        const QString path = f.writeForeign(uid, u"SUMMARY:Renamed\nDTSTART:20261215T090000Z\nDTEND:20261215T100000Z%1"_s
                                                     .arg(linked ? u"\nURL:"_s + url : QString()));

        QTRY_COMPARE(itemsOf(list).size(), linked ? 1 : 2);
        QTRY_VERIFY(readBytes(path).contains("URL:http"));
        if (linked) {
            QTRY_COMPARE(known->name(), u"Renamed"_s);
        } else {
            TODOItem *added = itemsOf(list).constLast() == known ? itemsOf(list).constFirst() : itemsOf(list).constLast();
            QCOMPARE(added->name(), u"Renamed"_s);
            QVERIFY(readBytes(path).replace("\r\n ", "").contains(("URL:" + iCalController::urlForList(list, added)).toUtf8()));
        }
    }

    void timerExports()
    {
        CalendarFixture f;
        Defaults::standard().setValue(u"doAutoCalSync"_s, true);
        DocumentCalendar bridge(f.document.get());
        f.dated(f.list(u"Home"_s, 5), u"Dentist"_s, Now.addDays(2));
        QVERIFY(f.document->calendarSyncTimer());
        QMetaObject::invokeMethod(const_cast<QTimer *>(f.document->calendarSyncTimer()), "timeout");
        QCOMPARE(f.events().size(), 1);
    }

    // The sheet proposes the stored calendar title and writes nothing while sync stays off.
    void settingsSheet()
    {
        CalendarFixture f(false);
        Defaults::standard().setValue(u"calendarForExport"_s, u"Work"_s);
        f.list(u"Never uploaded"_s, 0);
        TODOList *home = f.list(u"Home"_s, 5);
        f.dated(home, u"Dentist"_s, Now.addDays(2));

        CalendarSyncSettings sheet(f.document.get());
        sheet.loadDefaults();
        QCOMPARE(sheet.currentCalendarName, u"Work"_s);
        QCOMPARE(sheet.loadProjects(), QStringList{u"Home"_s});
        sheet.done(); // sync stays off: nothing is written
        QVERIFY(f.eventFiles().isEmpty());

        sheet.calendarSyncEnabled = true;
        sheet.autoSyncEnabled = true;
        sheet.projectName = u"Home"_s;
        sheet.done();
        QCOMPARE(f.events().size(), 1);
        QVERIFY(f.document->calendarSyncTimer());
        // A title no calendar has gives the calendar Corvane makes and names itself.
        QCOMPARE(sheet.loadCalendars(), QStringList{u"Corvane calendar"_s});
        sheet.loadDefaults();
        QCOMPARE(sheet.projectName, u"Home"_s);
        QCOMPARE(sheet.currentCalendarName, u"Corvane calendar"_s);
    }

    void khalReadsAndWrites()
    {
        const QString khal = QStandardPaths::findExecutable(u"khal"_s);
        if (khal.isEmpty())
            QSKIP("khal is not installed (scripts/install-deps installs it)");
        CalendarFixture f;
        TODOList *list = f.list(u"Home"_s, 5);
        f.dated(list, u"Dentist"_s, QDateTime(QDate(2026, 11, 3), QTime(9, 30)));
        f.dated(list, u"Holiday"_s, QDateTime(QDate(2026, 11, 4), QTime(0, 0)), true);
        f.document->iCalExport();

        const QString config = f.dir.filePath(u"khal.conf"_s);
        writeBytes(config, u"[calendars]\n[[corvane]]\npath = %1\ntype = calendar\n[sqlite]\npath = %2\n"
                           "[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\nlongdateformat = %Y-%m-%d\n"
                           "datetimeformat = %Y-%m-%d %H:%M\nlongdatetimeformat = %Y-%m-%d %H:%M\n"
                           "local_timezone = Europe/Berlin\ndefault_timezone = Europe/Berlin\n"
                           "[default]\ndefault_calendar = corvane\n"_s
                               .arg(f.calendarFolder(), f.dir.filePath(u"khal.db"_s))
                               .toUtf8());
        QProcess process;
        process.start(khal, {u"-c"_s, config, u"list"_s, u"2026-11-01"_s, u"10d"_s});
        if (!process.waitForFinished(60000) || process.exitCode() != 0)
            QSKIP(qPrintable(u"khal cannot run here: "_s + QString::fromUtf8(process.readAllStandardError())));
        const QString listed = QString::fromUtf8(process.readAllStandardOutput());
        QVERIFY2(listed.contains(u"Dentist"_s) && listed.contains(u"Holiday"_s), qPrintable(listed));

        process.start(khal, {u"-c"_s, config, u"new"_s, u"2026-11-05"_s, u"14:00"_s, u"15:00"_s, u"Haircut"_s});
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitCode(), 0);
        f.document->iCalImport();
        const QList<TODOItem *> items = itemsOf(list);
        const auto haircut = std::find_if(items.begin(), items.end(), [](TODOItem *i) { return i->name() == u"Haircut"_s; });
        QVERIFY(haircut != items.end());
        QCOMPARE((*haircut)->dueDate(), QDateTime(QDate(2026, 11, 5), QTime(15, 0)));
    }
};

QTEST_GUILESS_MAIN(TestCalendarSync)
#include "tst_calendarsync.moc"
