#include "ManagedObjectContext.h"
#include "ObjectModel.h"
#include "ScriptedHttpServer.h"
#include "SyncUtils.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TestSupport.h"
#include "TodoModel.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

// Who else has the store while the tool runs.
enum class Holder { Nobody, Corvane, Reader };

struct Run {
    int exitCode = -1;  // also when it crashed
    QByteArray out;
    QByteArray err;
};

QStringList namesOf(const QJsonValue &records, bool sorted = false)
{
    QStringList names;
    for (const QJsonValue &record : records.toArray())
        names << record["name"_L1].toString();
    if (sorted)
        names.sort();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(Holder)

class tst_CorvaneCtl : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(u"HOME"_s, path(u"home"_s));
        m_environment.insert(u"XDG_DATA_HOME"_s, path(u"xdg-data"_s));
        m_environment.insert(u"XDG_CONFIG_HOME"_s, path(u"xdg-config"_s));
        QVERIFY(m_tmp->isValid() && QDir().mkpath(path(u"home"_s)) && QDir().mkpath(path(u"xdg-config"_s)));
    }

    void addDumpExportAndImport()
    {
        setPreferences({{u"lastSelectedProjectRow"_s, 7}, {u"showingComboBox"_s, 0}});
        const QString source = path(u"source.sqlite"_s);
        makeSource(source);
        const QByteArray hash = fileHash(source);
        // Every record: shown lists in the sidebar's order, then trashed, then deleted ones.
        const QJsonObject root = dump(source);
        const QJsonValue lists = root["lists"_L1];
        QCOMPARE(namesOf(lists), (QStringList{"One", "Two", "Three", "Trashed", "Gone"}));
        QCOMPARE(lists[4]["centerX"_L1].toDouble(), 30.5);
        QCOMPARE(lists[4]["items"_L1][0]["completionDate"_L1].toInteger(), -1);  // whole seconds, rounded down
        QCOMPARE(root["orphanItems"_L1][0]["serverID"_L1].toInteger(), 5000000000LL);
        // Every attribute of the schema, absent ones as null.
        const QJsonValue one = lists[0];
        QCOMPARE(one.toObject().size(), todoListModel().entity(TODOList::EntityName)->attributes().size() + 1);
        QCOMPARE(namesOf(one["items"_L1]), (QStringList{"Milk", "Bread"}));  // the newer item below the older
        const QJsonValue milk = one["items"_L1][0];
        QCOMPARE(milk.toObject().size(), todoListModel().entity(TODOItem::EntityName)->attributes().size());
        QCOMPARE(milk["quadrant"_L1].toInt(), 1);
        QCOMPARE(milk["dueDate"_L1].toInteger(), QDateTime(QDate(2024, 5, 17), QTime(0, 0)).toSecsSinceEpoch());
        QCOMPARE(milk["allDay"_L1], QJsonValue(true));
        QCOMPARE(one["items"_L1][1]["dueDate"_L1].toInteger(), QDateTime(QDate(2024, 5, 17), QTime(9, 30)).toSecsSinceEpoch());
        QCOMPARE(one["items"_L1][1]["allDay"_L1].toBool(), false);
        QCOMPARE(milk["descriptionRichText"_L1].toString(), u"<p>Two &lt;b&gt;&amp;&lt;/b&gt; more</p>"_s);
        QCOMPARE(milk["descriptionText"_L1].toString(), u"Two <b>&</b> more"_s);
        QCOMPARE(milk["edited_since"_L1].toInt(), 1);  // marked for upload, as in the application

        const QString all = path(u"all.corvx"_s), named = path(u"named.corvx"_s);
        QCOMPARE(ctl({u"--store"_s, source, u"export"_s, u"-o"_s, all}).exitCode, 0);
        QCOMPARE(ctl({u"--store"_s, source, u"export"_s, u"--list"_s, u"Three"_s, u"--list"_s, u"One"_s, u"-o"_s, named}).exitCode, 0);
        QCOMPARE(fileHash(source), hash);  // dump and export only read

        // The list was selected only to add, the filters switched only to export: Corvane starts as the user left it.
        const QSettings settings(path(u"xdg-config/Nuvalto/Corvane.conf"_s), QSettings::IniFormat);
        QCOMPARE(settings.value(u"lastSelectedProjectRow"_s).toInt(), 7);
        QCOMPARE(settings.value(u"showingComboBox"_s).toInt(), 0);
        QVERIFY(!settings.contains(u"sortingComboBox"_s));

        // A bad file is reported and the next one still imported; importing again makes second copies.
        const QString bad = path(u"bad.corvx"_s);
        QVERIFY(writeBytes(bad, QByteArray(16, '\xff')));
        const QString target = path(u"target.sqlite"_s);
        const Run run = ctl({u"--store"_s, target, u"import"_s, bad, all});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(QString::fromUtf8(run.out), u"Imported 3 list(s) from %1\n"_s.arg(all));
        QCOMPARE(ctl({u"--store"_s, target, u"import"_s, all}).exitCode, 0);
        const QJsonValue imported = dump(target)["lists"_L1];
        QCOMPARE(namesOf(imported, true), (QStringList{"One", "One", "Three", "Three", "Two", "Two"}));
        for (const QJsonValue &list : imported.toArray()) {
            // New lists, marked for the next upload, with the items of the original.
            QCOMPARE(list["id_"_L1].toInt(-1), 0);
            QCOMPARE(list["edited_since"_L1].toInt(), 1);
            const QJsonValue original = lists[namesOf(lists).indexOf(list["name"_L1].toString())];
            QCOMPARE(namesOf(list["items"_L1]), namesOf(original["items"_L1]));
        }
        const QString chosen = path(u"chosen.sqlite"_s);
        QCOMPARE(ctl({u"--store"_s, chosen, u"import"_s, named}).exitCode, 0);
        QCOMPARE(namesOf(dump(chosen)["lists"_L1]), (QStringList{"One", "Three"}));
    }

    void commandLine_data()
    {
        // The application's store holds the list "One"; "{store}" is its path, "{missing}" no file, "{dir}" the folder.
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Holder>("holder");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");  // the start of the output, or a part of the error

        QTest::newRow("skipped local time") << QStringList{"add-item", "--list", "One", "--due", "2024-03-31T02:30", "X"} << Holder::Nobody << 2
                                            << "'2024-03-31T02:30' does not exist in local time";
        const QString form = u"is not a date of the form YYYY-MM-DD or YYYY-MM-DDTHH:MM"_s;
        QTest::newRow("no leap day") << QStringList{"add-item", "--list", "One", "--due", "2023-02-29", "X"} << Holder::Nobody << 2
                                     << "'2023-02-29' " + form;
        QTest::newRow("due with seconds") << QStringList{"add-item", "--list", "One", "--due", "2024-05-01T10:00:00", "X"} << Holder::Nobody
                                          << 2 << "'2024-05-01T10:00:00' " + form;
        QTest::newRow("unknown list") << QStringList{"add-item", "--list", "Nope", "X"} << Holder::Nobody << 1 << "no list named 'Nope'";
        QTest::newRow("import of a damaged file") << QStringList{"import", "{dir}/bad.corvx"} << Holder::Nobody << 1 << "{dir}/bad.corvx";
        QTest::newRow("export, unknown list") << QStringList{"export", "--list", "One", "--list", "Four", "-o", "{dir}/x"} << Holder::Nobody << 1
                                              << "'Four'";
        // Only what imports or adds a list makes a missing store.
        QTest::newRow("dump, missing store") << QStringList{"--store", "{missing}", "dump"} << Holder::Nobody << 1 << "no store at {missing}";
        QTest::newRow("add-item, missing store") << QStringList{"--store", "{missing}", "add-item", "--list", "One", "X"} << Holder::Nobody << 1
                                                 << "no store at {missing}";
        QTest::newRow("export-html, unknown list") << QStringList{"export-html", "--list", "Nope", "-o", "{dir}/p.html"} << Holder::Nobody << 1
                                                   << "no list named 'Nope'";
        QTest::newRow("export-pdf without a list") << QStringList{"export-pdf", "-o", "{dir}/p.pdf"} << Holder::Nobody << 2
                                                   << "--list NAME is required";
        // A missing file would still make an empty list: nothing is made.
        QTest::newRow("import-csv, missing file") << QStringList{"import-csv", "{dir}/bad.corvx", "{dir}/none.csv"} << Holder::Nobody << 1
                                                  << "cannot read {dir}/none.csv";
        QTest::newRow("store in use") << QStringList{"add-list", "More"} << Holder::Corvane << 1 << "{store} is in use by another Corvane process";
        // A reader (a backup tool, the sqlite3 shell) keeps the save from writing: the tool says so.
        QTest::newRow("save fails") << QStringList{"add-list", "More"} << Holder::Reader << 1 << "could not be saved";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Holder, holder);
        QFETCH(int, exitCode);
        QFETCH(QString, message);

        const QString store = path(u"xdg-data/Nuvalto/Corvane/corvane_2_8.sqlite"_s);
        QCOMPARE(ctl({u"add-list"_s, u"One"_s}).exitCode, 0);
        QVERIFY(writeBytes(path(u"bad.corvx"_s), QByteArray(64, '\xff')));
        const QByteArray hash = fileHash(store);
        const QStringList before = folderEntries(m_tmp->path());
        const auto fill = [this, &store](QString &text) {
            text.replace(u"{store}"_s, store).replace(u"{missing}"_s, path(u"missing.sqlite"_s)).replace(u"{dir}"_s, m_tmp->path());
        };
        std::for_each(arguments.begin(), arguments.end(), fill);
        fill(message);
        ManagedObjectContext corvane(todoListModel());
        QString error;
        QVERIFY2(holder != Holder::Corvane || corvane.open(store, &error), qPrintable(error));
        sqlite3 *reader = nullptr;
        const auto closeReader = qScopeGuard([&reader] { sqlite3_close(reader); });
        if (holder == Holder::Reader) {
            QCOMPARE(sqlite3_open(qPrintable(store), &reader), SQLITE_OK);
            QCOMPARE(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr), SQLITE_OK);
        }

        const Run run = ctl(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(exitCode == 0 ? run.out.startsWith(message.toUtf8()) && run.err.isEmpty()
                               : run.err.contains(message.toUtf8()) && run.out.isEmpty(),
                 (run.out + run.err).constData());
        QCOMPARE(run.err.contains("--help"), exitCode == 2);  // only a bad command line points to the help
        QCOMPARE(fileHash(store), hash);  // nothing changed, nothing made
        QCOMPARE(folderEntries(m_tmp->path()), before);
    }

    void helpList_data()
    {
        QTest::addColumn<QByteArray>("reply"); // "{list}": the hexadecimal text of a list file with "Welcome"
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message"); // the output, or a part of the error
        QTest::newRow("help list") << QByteArray("{list}\n") << 0 << QByteArray("We downloaded a help list for you\n");
        QTest::newRow("no server") << QByteArray() << 1 << QByteArray("cannot reach the sync server");
    }

    // The help list's lists join the store as new lists marked for upload; a failure changes nothing.
    void helpList()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        const QString source = path(u"source.sqlite"_s), file = path(u"welcome.corvx"_s), store = path(u"store.sqlite"_s);
        for (const QStringList &arguments : {QStringList{"--store", source, "add-list", "Welcome"}, {"--store", source, "export", "-o", file},
                                             {"--store", store, "add-list", "Mine"}})
            QCOMPARE(ctl(arguments).exitCode, 0);
        const QByteArray hash = fileHash(store);
        ScriptedHttpServer server;
        server.script = {{reply.replace("{list}", readBytes(file).toHex())}};
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        setPreferences({{u"syncServerBaseURL"_s, reply.isEmpty() ? u"http://127.0.0.1:%1"_s.arg(closed.serverPort()) : server.base().toString()}});
        closed.close();

        const Run run = ctl({u"--store"_s, store, u"help-list"_s});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(exitCode == 0 ? run.out == message : run.err.contains(message), (run.out + run.err).constData());
        if (exitCode != 0) {
            QCOMPARE(fileHash(store), hash);
            return;
        }
        QCOMPARE(server.requests.size(), 1);
        const QJsonValue lists = dump(store)["lists"_L1];
        QCOMPARE(namesOf(lists, true), (QStringList{"Mine", "Welcome"}));
        for (const QJsonValue &list : lists.toArray())
            QCOMPARE(list["edited_since"_L1].toInt(), 1);
    }

    void sync_data()
    {
        QTest::addColumn<QByteArray>("reply"); // empty: no server listens
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("message"); // the output, or a part of the error
        QTest::newRow("synced") << QByteArray(" <>\n") << QByteArray("pw\n") << 0
                                << QByteArray("Preparing lists for syncing...\nCorvane is now synchronized with server\n");
        QTest::newRow("no server") << QByteArray() << QByteArray("pw\n") << 1 << QByteArray("Connection failed.");
        QTest::newRow("no password") << QByteArray("<>") << QByteArray("\n") << 1
                                     << QByteArray("Please enter valid username and password");
    }

    // The tool syncs as the application does, with the password read from
    // the standard input, and says how it went.
    void sync()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, password);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, message);
        const QString store = path(u"store.sqlite"_s);
        QCOMPARE(ctl({u"--store"_s, store, u"add-list"_s, u"Mine"_s}).exitCode, 0);
        ScriptedHttpServer server;
        server.script = {{reply}};
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const QString url = reply.isEmpty() ? u"http://127.0.0.1:%1"_s.arg(closed.serverPort()) : server.base().toString();
        closed.close();

        const Run run = ctl({u"--store"_s, store, u"sync"_s, u"--server"_s, url, u"--email"_s, u"ann@example.com"_s,
                             u"--password-stdin"_s},
                            password);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(exitCode == 0 ? run.out == message : run.err.contains(message), (run.out + run.err).constData());
        // The password read from the standard input is the one sent.
        if (exitCode == 0)
            QVERIFY(server.requests.value(0).body.contains("&password=" + SyncUtils::HashAndSalt(u"pw"_s).toUtf8()));
        // Whatever the reply, an upload backs up the file synced, beside it; the application's store is left alone.
        const bool uploaded = password != "\n";
        QCOMPARE(QFileInfo::exists(path(u"backup0_store.sqlite"_s)), uploaded);
        if (uploaded)
            QCOMPARE(namesOf(dump(path(u"backup0_store.sqlite"_s))["lists"_L1]), QStringList{u"Mine"_s});
        QCOMPARE(folderEntries(path(u"xdg-data/Nuvalto/Corvane"_s)).filter(u"backup"_s), QStringList());
    }

    void master_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("output"); // {dN}: the date N days from today

        const QByteArray all = "One\n    Late  due {d-1}\n    Now  due {d0} 09:30\nTwo\n    Soon  due {d6}\n    Later  due {d7}\n    Undated\n";
        QTest::newRow("stored view: none, overdue") << QStringList{} << 0 << QByteArray("One\n    Late  due {d-1}\n");
        QTest::newRow("all") << QStringList{"--view", "all"} << 0 << all;
        QTest::newRow("json") << QStringList{"--view", "all", "--search", "undated", "--json"} << 0
                              << QJsonDocument::fromJson(R"([{"name": "Two", "items": [{"name": "Undated", "quadrant": 3,
                                                             "dueDate": null, "allDay": false}]}])")
                                     .toJson();
        QTest::newRow("unknown view") << QStringList{"--view", "q5"} << 2 << QByteArray();
    }

    // The master list's groups and rows of a store with items due around today; only open items show.
    void master()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, output);
        const QString store = path(u"store.sqlite"_s);
        const QDate today = QDate::currentDate();
        {
            ManagedObjectContext context(todoListModel());
            // name, list, quadrant, due date (local), all day, state
            const QList<std::tuple<QString, int, int, QDateTime, bool, int>> items{
                {u"Late"_s, 0, 0, today.addDays(-1).startOfDay(), true, RecordState::Open},
                {u"Now"_s, 0, 1, QDateTime(today, QTime(9, 30)), false, RecordState::Open},
                {u"Soon"_s, 1, 2, today.addDays(6).startOfDay(), true, RecordState::Open},
                {u"Later"_s, 1, 3, today.addDays(7).startOfDay(), true, RecordState::Open},
                {u"Undated"_s, 1, 3, QDateTime(), false, RecordState::Open},
                {u"Done"_s, 1, 0, QDateTime(), false, RecordState::Completed},
                {u"Trashed"_s, 0, 0, today.startOfDay(), true, RecordState::Trashed},
            };
            QList<TODOList *> lists;
            for (const QString &name : {u"One"_s, u"Two"_s}) {
                lists << context.insert<TODOList>(TODOList::EntityName);
                lists.last()->setName(name);
            }
            int index = 0;
            for (const auto &[name, list, quadrant, due, allDay, state] : items) {
                auto *item = context.insert<TODOItem>(TODOItem::EntityName);
                item->setName(name);
                item->setList(lists[list]);
                item->setQuadrant(quadrant);
                item->setDueDate(due);
                item->setAllDay(allDay);
                item->setState(state);
                item->setIndex(--index);
            }
            QVERIFY(context.create(store));
        }
        const QByteArray hash = fileHash(store);
        for (int days : {-1, 0, 6, 7})
            output.replace(u"{d%1}"_s.arg(days).toUtf8(), today.addDays(days).toString(Qt::ISODate).toUtf8());

        const Run run = ctl(QStringList{u"--store"_s, store, u"master"_s} + arguments);
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(run.out, output);
        QCOMPARE(fileHash(store), hash);  // only read
    }

    // A CSV file becomes a list; its page and PDF show what the quadrants
    // show with the saved filters, and leave store and preferences alone.
    void csvPageAndPdf()
    {
        // Open items only, numbered pages.
        setPreferences({{u"lastSelectedProjectRow"_s, 7}, {u"showingComboBox"_s, 1}, {u"NumberPagesWhenPrinting"_s, true}});
        const QString store = path(u"store.sqlite"_s), csv = path(u"Shop & <b>.csv"_s);
        QVERIFY(writeBytes(csv, "Milk,\"2 l, fresh\"\nDone item,x\n"));
        Run run = ctl({u"--store"_s, store, u"import-csv"_s, csv});
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(QString::fromUtf8(run.out), u"Imported 2 item(s) from %1\n"_s.arg(csv));
        const QJsonValue list = dump(store)["lists"_L1][0];
        QCOMPARE(list["name"_L1].toString(), u"Shop & <b>.csv"_s);
        QCOMPARE(namesOf(list["items"_L1], true), (QStringList{"Done item", "Milk"}));
        QCOMPARE(list["items"_L1][0]["edited_since"_L1].toInt(), 1);
        {
            ManagedObjectContext context(todoListModel());
            QVERIFY(context.open(store));
            for (ManagedObject *object : context.objects(TODOItem::EntityName)) {
                if (auto *item = static_cast<TODOItem *>(object); item->name() == u"Done item"_s) {
                    item->setState(RecordState::Completed);
                    item->setCompletionPercentage(100);
                }
            }
            QVERIFY(context.save());
        }
        const QByteArray hash = fileHash(store);
        const QString page = path(u"page.html"_s), pdf = path(u"page.pdf"_s);
        QVERIFY(writeBytes(page, "an older page"));
        for (const QString &command : {u"export-html"_s, u"export-pdf"_s}) {
            run = ctl({u"--store"_s, store, command, u"--list"_s, u"Shop & <b>.csv"_s, u"-o"_s, command.endsWith(u"pdf"_s) ? pdf : page});
            QVERIFY2(run.exitCode == 0, run.err.constData());
        }
        const QByteArray html = readBytes(page);
        QVERIFY(html.contains("<b>Milk</b><br>\n<i>&nbsp;2 l, fresh</i>"));
        QVERIFY(!html.contains("Done item"));
        QProcess pdftotext;
        pdftotext.start(u"pdftotext"_s, {pdf, u"-"_s});
        QVERIFY(pdftotext.waitForFinished());
        const QByteArray text = pdftotext.readAllStandardOutput();
        QVERIFY2(text.contains("Milk") && text.contains("Page 1 of 1") && !text.contains("Done item"), text.constData());
        QCOMPARE(fileHash(store), hash);
        QCOMPARE(QSettings(path(u"xdg-config/Nuvalto/Corvane.conf"_s), QSettings::IniFormat).value(u"lastSelectedProjectRow"_s).toInt(), 7);
        QCOMPARE(folderEntries(m_tmp->path()).filter(u"page"_s), (QStringList{"page.html", "page.pdf"}));
    }

    void calendar_data()
    {
        QTest::addColumn<bool>("sync");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("items");  // the list's items afterwards
        QTest::addColumn<int>("events");         // event files afterwards
        const QStringList both{u"Dentist"_s, u"Haircut"_s};
        QTest::newRow("export") << true << u"calendar-export"_s << 0 << QStringList{u"Haircut"_s} << 2;
        QTest::newRow("import") << true << u"calendar-import"_s << 0 << both << 1;
        QTest::newRow("export, sync off") << false << u"calendar-export"_s << 1 << QStringList{u"Haircut"_s} << 1;
    }

    // One run of calendar sync with the application's preferences; with
    // calendar sync off nothing changes.
    void calendar()
    {
        QFETCH(bool, sync);
        QFETCH(QString, command);
        QFETCH(int, exitCode);
        QFETCH(QStringList, items);
        QFETCH(int, events);
        const QString store = path(u"store.sqlite"_s), folder = path(u"calendars/work"_s);
        {
            ManagedObjectContext context(todoListModel());
            auto *list = context.insert<TODOList>(TODOList::EntityName);
            list->setName(u"Uploaded"_s);
            list->setId_(7);
            auto *item = context.insert<TODOItem>(TODOItem::EntityName);
            item->setList(list);
            item->setId_(11);
            item->setName(u"Haircut"_s);
            item->setDueDate(QDateTime::currentDateTime().addDays(2));
            QVERIFY(context.create(store));
        }
        const QString start = QDate::currentDate().addDays(3).toString(u"yyyyMMdd"_s);
        QVERIFY(QDir().mkpath(folder) && writeBytes(folder + u"/displayname"_s, "Work")
                && writeBytes(folder + u"/other.ics"_s, "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other//EN\r\nBEGIN:VEVENT\r\n"
                                                          "UID:other-1\r\nSUMMARY:Dentist\r\nDTSTART;VALUE=DATE:" + start.toLatin1()
                                                          + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n"));
        setPreferences({{u"doCalSync"_s, sync}, {u"calendarStoreFolder"_s, path(u"calendars"_s)}, {u"calendarForExport"_s, u"Work"_s}});
        const QByteArray hash = fileHash(store), eventHash = fileHash(folder + u"/other.ics"_s);

        const Run run = ctl({u"--store"_s, store, command});
        QCOMPARE(run.exitCode, exitCode);
        QCOMPARE(namesOf(dump(store)["lists"_L1][0]["items"_L1], true), items);
        QCOMPARE(QDir(folder).entryList({u"*.ics"_s}).size(), events);
        QCOMPARE(QDir(path(u"calendars"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{u"work"_s});
        if (command == u"calendar-import"_s && sync)
            QVERIFY(readBytes(folder + u"/other.ics"_s).contains("URL:http"));
        else
            QCOMPARE(fileHash(folder + u"/other.ics"_s), eventHash);
        if (!sync || command == u"calendar-export"_s)
            QCOMPARE(fileHash(store), hash);
        QVERIFY2(sync || run.err.contains("calendar sync is switched off"), run.err.constData());
    }

private:
    QString path(const QString &name) const { return m_tmp->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_tmp;
    QProcessEnvironment m_environment;

    // The application's preferences, where the tool reads them.
    void setPreferences(const QVariantMap &values) const
    {
        QSettings settings(path(u"xdg-config/Nuvalto/Corvane.conf"_s), QSettings::IniFormat);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }

    // Runs the tool in the temporary folder, with preferences and the default store inside it.
    Run ctl(const QStringList &arguments, const QByteArray &input = {}) const
    {
        Run run;
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.setWorkingDirectory(m_tmp->path());
        // The event loop runs meanwhile: a server inside the test answers the tool.
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(QStringLiteral(CORVANECTL_PATH), arguments);
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForStarted() || (finished.isEmpty() && !finished.wait(120000)))
            process.kill();
        if (process.exitStatus() == QProcess::NormalExit)
            run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
        return run;
    }

    // The store's dump, parsed; empty when it fails or is not laid out byte
    // for byte as Qt's indented writer lays out the same document.
    QJsonObject dump(const QString &store) const
    {
        const QByteArray out = ctl({u"--store"_s, store, u"dump"_s}).out;
        const QJsonDocument document = QJsonDocument::fromJson(out);
        return out == document.toJson(QJsonDocument::Indented) ? document.object() : QJsonObject();
    }

    // Lists One, Two, Three (Milk and Bread in One) added by the tool to a trashed and a deleted list and an orphan.
    void makeSource(const QString &store)
    {
        {
            ManagedObjectContext context(todoListModel());
            TODOList *list = nullptr;  // in the end the deleted list, Gone
            for (const auto &[name, state] : {std::pair(u"Trashed"_s, RecordState::Trashed), std::pair(u"Gone"_s, RecordState::Deleted)}) {
                list = context.insert<TODOList>(TODOList::EntityName);
                list->setName(name);
                list->setState(state);
            }
            list->setCenterX(30.5);
            auto *item = context.insert<TODOItem>(TODOItem::EntityName);
            item->setList(list);
            item->setState(RecordState::Deleted);
            item->setCompletionDate(QDateTime::fromMSecsSinceEpoch(-500, Qt::UTC));
            context.insert<TODOItem>(TODOItem::EntityName)->setServerID(5000000000LL);
            QString error;
            QVERIFY2(context.create(store, &error), qPrintable(error));
        }
        const QList<QStringList> commands = {
            {"add-list", "One"}, {"add-list", "Two"}, {"add-list", "Three"},
            {"add-item", "--list", "One", "--quadrant", "1", "--due", "2024-05-17", "--notes", "Two <b>&</b> more", "Milk"},
            {"add-item", "--list", "One", "-q", "1", "--due", "2024-05-17T09:30", "Bread"},
        };
        for (const QStringList &arguments : commands) {
            const Run run = ctl(QStringList{u"--store"_s, store} + arguments);
            QVERIFY2(run.exitCode == 0, run.err.constData());
        }
    }
};

QTEST_GUILESS_MAIN(tst_CorvaneCtl)
#include "tst_corvanectl.moc"
