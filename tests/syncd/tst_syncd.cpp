#include "Defaults.h"
#include "FormFields.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "PostgresCluster.h"
#include "ProjectListController.h"
#include "SyncController.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TestSupport.h"
#include "TodoModel.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

using Fields = QHash<QByteArray, QByteArray>;

// InProcess: the application's own exchange in this process, on SQLite.
enum class Backend { SQLite, PostgreSQL, InProcess };

struct Run {
    int exitCode = -1; // also when it crashed
    QByteArray out;
    QByteArray err;
};

Run runProgram(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
               const QByteArray &input = {})
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000))
        process.kill();
    Run run;
    if (process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool execute(const QString &store, const QString &sql)
{
    sqlite3 *db = nullptr;
    const auto close = qScopeGuard([&db] { sqlite3_close(db); });
    return sqlite3_open(qPrintable(store), &db) == SQLITE_OK
        && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK && sqlite3_changes(db) > 0;
}

QString quoted(const QString &text)
{
    return u"'"_s + QString(text).replace(u"'"_s, u"''"_s) + u"'"_s;
}

// The shown lists of a dump by name: "Home[Milk, Rye bread(2)]", states other
// than open in brackets. With identifiers, each list and item also shows the
// identifiers the server gave, and items their quadrant.
QString shown(const QJsonObject &dump, bool identifiers)
{
    QStringList lists;
    for (const QJsonValue &list : dump["lists"_L1].toArray()) {
        if (list["state"_L1].toInt() != 0)
            continue;
        QStringList items;
        for (const QJsonValue &item : list["items"_L1].toArray()) {
            if (item["state"_L1].toInt() == 3)
                continue;
            QString text = item["name"_L1].toString();
            if (item["state"_L1].toInt() != 0)
                text += u"(%1)"_s.arg(item["state"_L1].toInt());
            if (identifiers)
                text += u" #%1/%2 q%3"_s.arg(item["serverID"_L1].toInteger()).arg(item["id_"_L1].toInteger()).arg(item["quadrant"_L1].toInt());
            items << text;
        }
        items.sort();
        QString name = list["name"_L1].toString();
        if (identifiers)
            name += u" #%1"_s.arg(list["id_"_L1].toInteger());
        lists << name + u"["_s + items.join(u", "_s) + u"]"_s;
    }
    lists.sort();
    return lists.join(u" "_s);
}

} // namespace

Q_DECLARE_METATYPE(Backend)

class tst_Syncd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_postgresMissing = m_postgres.start(); }

    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tmp->isValid());
        // Two clients with empty stores.
        for (const QString &client : {u"a"_s, u"b"_s}) {
            ManagedObjectContext context(todoListModel());
            QString error;
            QVERIFY2(QDir().mkpath(m_tmp->filePath(client)) && context.create(storeOf(client), &error), qPrintable(error));
        }
    }

    void cleanup()
    {
        if (m_server) {
            m_server->kill();
            m_server->waitForFinished();
        }
        m_server.reset();
    }

    void converge_data() { convergeRows(); }

    // Two stores syncing in turn through the server end with the same lists,
    // items and identifiers.
    void converge()
    {
        QFETCH(Backend, backend);
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        if (backend == Backend::PostgreSQL && !m_postgresMissing.isEmpty())
            QSKIP(qPrintable(m_postgresMissing));
        startServer(backend, {});
        if (QTest::currentTestFailed())
            return;
        steps << u"a|sync"_s << u"b|sync"_s << u"a|sync"_s;
        if (backend == Backend::InProcess)
            convergeInProcess(steps);
        else
            for (const QString &step : std::as_const(steps))
                QVERIFY2(applyWithCtl(step), qPrintable(step));
        if (QTest::currentTestFailed())
            return;
        const QJsonObject a = dump(u"a"_s), b = dump(u"b"_s);
        QCOMPARE(shown(a, false), expected);
        QCOMPARE(shown(a, true), shown(b, true));
    }

    void login_data()
    {
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QStringList>("serverOptions");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("exitCode");
        for (const Backend backend : {Backend::SQLite, Backend::PostgreSQL}) {
        const auto newRow = [backend](const char *name) -> QTestData & { return backendRow(name, backend); };
        newRow("wrong password") << QStringList{} << u"ann@example.com"_s << QByteArray("Secret\n") << 1;
        newRow("e-mail in other case") << QStringList{} << u"Ann@Example.com"_s << QByteArray("secret\n") << 0;
        newRow("unknown e-mail, closed server") << QStringList{} << u"bob@example.com"_s << QByteArray("secret\n") << 1;
        newRow("unknown e-mail, open server") << QStringList{u"--open-registration"_s} << u"bob@example.com"_s
                                                     << QByteArray("other\n") << 0;
        newRow("open server, wrong password") << QStringList{u"--open-registration"_s} << u"ann@example.com"_s
                                                     << QByteArray("other\n") << 1;
        }
    }

    // A refused login leaves the store as it was and shows the client's login text.
    void login()
    {
        QFETCH(Backend, backend);
        QFETCH(QStringList, serverOptions);
        QFETCH(QString, email);
        QFETCH(QByteArray, password);
        QFETCH(int, exitCode);
        if (backend == Backend::PostgreSQL && !m_postgresMissing.isEmpty())
            QSKIP(qPrintable(m_postgresMissing));
        startServer(backend, serverOptions);
        if (QTest::currentTestFailed())
            return;
        // A login that passed before does not let another password pass.
        QCOMPARE(sync(u"b"_s).exitCode, 0);
        QCOMPARE(ctl(u"a"_s, {u"add-list"_s, u"Home"_s}).exitCode, 0);
        const QByteArray before = fileHash(storeOf(u"a"_s));
        const Run run = sync(u"a"_s, email, password);
        QCOMPARE(run.exitCode, exitCode);
        if (exitCode != 0) {
            QVERIFY2(run.err.contains("Please check your login and password"), run.err.constData());
            QCOMPARE(fileHash(storeOf(u"a"_s)), before);
            return;
        }
        // The account now holds the list: the second store gets it under the same login.
        QCOMPARE(sync(u"b"_s, email, password).exitCode, 0);
        QCOMPARE(shown(dump(u"b"_s), false), u"Home[]"_s);
    }

    // The help list merges into a client as a new list with the usual quadrant titles.
    void helpList()
    {
        startServer(Backend::SQLite, {});
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(ctl(u"a"_s, {u"add-list"_s, u"Home"_s}).exitCode, 0);
        QSettings settings(m_tmp->filePath(u"a/xdg-config-home/Nuvalto/Corvane.conf"_s), QSettings::IniFormat);
        settings.setValue(u"syncServerBaseURL"_s, m_base);
        settings.sync();
        const Run run = ctl(u"a"_s, {u"help-list"_s});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const QJsonArray lists = dump(u"a"_s)["lists"_L1].toArray();
        const auto welcome = std::find_if(lists.begin(), lists.end(), [](const QJsonValue &list) {
            return list["name"_L1].toString() == "Welcome to Corvane"_L1;
        });
        QVERIFY(welcome != lists.end());
        QCOMPARE((*welcome)["textFirstQuadrant"_L1].toString(), u"Critical and Immediate"_s);
        QCOMPARE((*welcome)["items"_L1].toArray().size(), 6);
    }

    void formFields_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<Fields>("fields");
        QTest::newRow("Base64 keeps + and =") << QByteArray("uid=ab&message=wr+/Aw==&force=1")
                                              << Fields{{"uid", "ab"}, {"message", "wr+/Aw=="}, {"force", "1"}};
        QTest::newRow("e-mail with + and no percent-decoding") << QByteArray("email=ann+x@example.com&password=a%20b")
                                                               << Fields{{"email", "ann+x@example.com"}, {"password", "a%20b"}};
        QTest::newRow("empty and missing values") << QByteArray("email=&force&&=x") << Fields{{"email", ""}, {"force", ""}};
    }

    void formFields()
    {
        QFETCH(QByteArray, body);
        QFETCH(Fields, fields);
        QCOMPARE(FormFields::parse(body), fields);
    }

    // Pings are counted per event and day; nothing of the sender is kept.
    void ping()
    {
        startServer(Backend::SQLite, {});
        if (QTest::currentTestFailed())
            return;
        QNetworkAccessManager network;
        for (const QByteArray event : {"startapp", "startapp", "endapp"}) {
            QNetworkRequest request(QUrl(m_base + u"/corvane/ping2.php"_s));
            request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
            QNetworkReply *reply = network.post(request, "uid=0123abcd&version=linux 1.6.7.20130219-pcw&event=" + event
                                                    + "&iosversion=Not collected");
            QSignalSpy finished(reply, &QNetworkReply::finished);
            QVERIFY(finished.wait());
            QCOMPARE(reply->error(), QNetworkReply::NoError);
            reply->deleteLater();
        }
        const QByteArray database = readBytes(m_tmp->filePath(u"sync.sqlite"_s))
            + readBytes(m_tmp->filePath(u"sync.sqlite-wal"_s));
        QVERIFY(!database.contains("0123abcd"));
        sqlite3 *db = nullptr;
        const auto close = qScopeGuard([&db] { sqlite3_close(db); });
        QCOMPARE(sqlite3_open(qPrintable(m_tmp->filePath(u"sync.sqlite"_s)), &db), SQLITE_OK);
        sqlite3_stmt *statement = nullptr;
        QCOMPARE(sqlite3_prepare_v2(db, "SELECT group_concat(event || '=' || count, ' ') FROM (SELECT * FROM pings ORDER BY event)", -1, &statement, nullptr), SQLITE_OK);
        QCOMPARE(sqlite3_step(statement), SQLITE_ROW);
        const QString counts = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        QCOMPARE(counts, u"endapp=1 startapp=2"_s);
    }

private:
    static QTestData &backendRow(const char *name, Backend backend)
    {
        const char *suffix[] = {"", ", PostgreSQL", ", in process"};
        return QTest::addRow("%s%s", name, suffix[int(backend)]) << backend;
    }

    static void convergeRows()
    {
        // Steps "client|command|arguments": add-list NAME, add-item LIST NAME, sync,
        // and what the application would store: rename OLD NEW, trash NAME, move NAME QUADRANT,
        // trash-list NAME (each corvanectl run opens the store anew: all were done in an earlier session).
        // sync-lost: a sync whose reply never arrives (the store stays as before it).
        QTest::addColumn<Backend>("backend");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected"); // both stores, once a, b and a synced again
        for (const Backend backend : {Backend::SQLite, Backend::PostgreSQL, Backend::InProcess}) {
        const auto newRow = [backend](const char *name) -> QTestData & { return backendRow(name, backend); };
        newRow("lists from both sides")
            << QStringList{"a|add-list|Home", "a|add-item|Home|Milk", "b|add-list|Work", "b|add-item|Work|Report", "a|sync", "b|sync"}
            << u"Home[Milk] Work[Report]"_s;
        newRow("edits on both sides")
            << QStringList{"a|add-list|Home", "a|add-item|Home|Milk", "a|add-item|Home|Bread", "a|sync", "b|sync",
                           "a|rename|Bread|Rye bread", "b|rename|Milk|Oat milk", "b|move|Oat milk|2", "b|add-item|Home|Eggs"}
            << u"Home[Eggs, Oat milk, Rye bread]"_s;
        newRow("trashed on one side, added on the other")
            << QStringList{"a|add-list|Home", "a|add-item|Home|Milk", "a|sync", "b|sync", "b|trash|Milk", "b|sync",
                           "a|add-item|Home|Eggs"}
            << u"Home[Eggs, Milk(2)]"_s;
        newRow("the later upload wins an edit")
            << QStringList{"a|add-list|Home", "a|add-item|Home|Milk", "a|sync", "b|sync", "a|rename|Milk|Oat milk",
                           "b|rename|Milk|Soy milk", "a|sync", "b|sync"}
            << u"Home[Soy milk]"_s;
        newRow("an edit after a trash brings the item back")
            << QStringList{"a|add-list|Home", "a|add-item|Home|Milk", "a|sync", "b|sync", "a|trash|Milk", "a|sync",
                           "b|rename|Milk|Oat milk", "b|sync"}
            << u"Home[Oat milk]"_s;
        newRow("a trashed list leaves both")
            << QStringList{"a|add-list|Home", "a|add-list|Work", "a|add-item|Home|Milk", "a|sync", "b|sync",
                           "a|trash-list|Home", "b|add-item|Work|Report"}
            << u"Work[Report]"_s;
        newRow("an edit keeps a list trashed elsewhere")
            << QStringList{"a|add-list|Home", "a|add-item|Home|Milk", "a|sync", "b|sync", "a|trash-list|Home", "a|sync",
                           "b|rename|Milk|Oat milk", "b|sync"}
            << u"Home[Oat milk]"_s;
        newRow("a lost reply adds nothing twice")
            << QStringList{"a|add-list|Home", "a|sync", "a|add-item|Home|Milk", "a|sync-lost", "b|sync", "a|sync"}
            << u"Home[Milk]"_s;
        }
    }

    // --- The application's exchange in this process ---------------------------------------

    enum class Delivery { Delivered, Lost };

    // The real transport; a lost reply reaches the server but never the client.
    class LosingTransport : public SyncTransport
    {
    public:
        void post(const QNetworkRequest &request, const QByteArray &body, Done done) override
        {
            m_http.post(request, body, [done = std::move(done)](const Reply &) { done({std::nullopt, u"lost"_s}); });
        }

    private:
        HttpSyncTransport m_http;
    };

    // Saves the document, as the application does before a sync, then syncs
    // it with its client's own defaults (where "hasSyncedBefore" is kept),
    // change tracking off while the exchange runs, as the sync sheet has it.
    SyncController::Outcome syncInProcess(MyDocument &document, Delivery delivery) const
    {
        Defaults::useFileForTesting(QFileInfo(document.managedObjectContext()->storePath()).dir().filePath(u"defaults.ini"_s));
        document.managedObjectContext()->processPendingChanges();
        if (!document.saveFile())
            return SyncController::Outcome::MergeFailed;
        DocumentSyncStore store(document);
        HttpSyncTransport http;
        LosingTransport losing;
        SyncController controller(&store, delivery == Delivery::Lost ? static_cast<SyncTransport *>(&losing) : &http);
        controller.setServerBaseURL(QUrl(m_base));
        QSignalSpy finished(&controller, &SyncController::finished);
        document.disableDidChangeContextNotifications();
        const auto track = qScopeGuard([&document] { document.enableDidChangeContextNotifications(); });
        if (!controller.uploadToServer(u"ann@example.com"_s, u"secret"_s) || !finished.wait(20000))
            return SyncController::Outcome::ConnectionFailed;
        return finished.first().first().value<SyncController::Outcome>();
    }

    static TODOList *shownList(MyDocument &document, const QString &name)
    {
        for (TODOList *list : document.projects().getAllProjects())
            if (list->name() == name)
                return list;
        return nullptr;
    }

    static TODOItem *itemNamed(MyDocument &document, const QString &name)
    {
        for (TODOList *list : document.projects().getAllProjects())
            for (TODOItem *item : document.getAllTODOItemsForTODOList(list))
                if (item->name() == name)
                    return item;
        return nullptr;
    }

    // A document per client, open for the whole sequence as in the application.
    void convergeInProcess(const QStringList &steps) const
    {
        const auto restoreDefaults = qScopeGuard([] { Defaults::useFileForTesting(QString()); });
        std::map<QString, std::unique_ptr<MyDocument>> documents;
        for (const QString &client : {u"a"_s, u"b"_s}) {
            auto context = std::make_unique<ManagedObjectContext>(todoListModel());
            QString error;
            QVERIFY2(context->open(storeOf(client), &error), qPrintable(error));
            documents[client] = std::make_unique<MyDocument>(std::move(context));
            documents[client]->enableDidChangeContextNotifications();
        }
        for (const QString &step : steps)
            QVERIFY2(applyInProcess(*documents[step.section(u'|', 0, 0)], step), qPrintable(step));
    }

    // One step of a converge row through corvanectl, or as the application
    // would have stored the edit.
    bool applyWithCtl(const QString &step) const
    {
        static const QHash<QString, QString> edits = {
            {u"rename"_s, u"UPDATE TODOItem SET name = %2, edited_since = 1 WHERE name = %1 AND state <> 3"_s},
            {u"trash"_s, u"UPDATE TODOItem SET state = 2, edited_since = 1 WHERE name = %1 AND state <> 3"_s},
            {u"trash-list"_s, u"UPDATE TODOList SET state = 2, edited_since = 1 WHERE name = %1 AND state = 0"_s},
            {u"move"_s, u"UPDATE TODOItem SET quadrant = CAST(%2 AS INTEGER), edited_since = 1 WHERE name = %1 AND state <> 3"_s}};
        const QStringList part = step.split(u'|');
        const QString store = storeOf(part[0]);
        const QString &command = part[1];
        if (command == "add-list"_L1)
            return ctl(part[0], {command, part[2]}).exitCode == 0;
        if (command == "add-item"_L1)
            return ctl(part[0], {command, u"--list"_s, part[2], part[3]}).exitCode == 0;
        if (command == "sync"_L1)
            return sync(part[0]).exitCode == 0;
        if (command == "sync-lost"_L1)
            return QFile::copy(store, store + u".before"_s) && sync(part[0]).exitCode == 0 && QFile::remove(store)
                && QFile::rename(store + u".before"_s, store);
        const QString edit = edits.value(command);
        return !edit.isEmpty() && execute(store, part.size() > 3 ? edit.arg(quoted(part[2]), quoted(part[3])) : edit.arg(quoted(part[2])));
    }

    // One step of a converge row through the document's own operations.
    bool applyInProcess(MyDocument &document, const QString &step) const
    {
        const QStringList part = step.split(u'|');
        const QString &command = part[1];
        if (command == "add-list"_L1)
            return document.addNewProjectWithName(part[2]) != nullptr;
        if (command == "sync"_L1 || command == "sync-lost"_L1) {
            const bool lost = command == "sync-lost"_L1;
            return syncInProcess(document, lost ? Delivery::Lost : Delivery::Delivered)
                == (lost ? SyncController::Outcome::ConnectionFailed : SyncController::Outcome::Succeeded);
        }
        if (command == "trash-list"_L1) {
            TODOList *list = shownList(document, part[2]);
            document.projects().markProject(list, RecordState::Trashed);
            return list != nullptr;
        }
        if (command == "add-item"_L1) {
            TODOList *list = shownList(document, part[2]);
            TODOItem *item = list && document.selectProject(list) >= 0 ? document.addTODOItemToQuadrant(0) : nullptr;
            if (item)
                item->setName(part[3]);
            return item != nullptr;
        }
        TODOItem *item = itemNamed(document, part[2]);
        if (!item)
            return false;
        if (command == "rename"_L1)
            item->setName(part[3]);
        else if (command == "trash"_L1)
            document.markTODOItemAsTrashed(item, item->list());
        else if (command == "move"_L1)
            item->setQuadrant(part[3].toInt());
        else
            return false;
        return true;
    }

    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<QProcess> m_server;
    QString m_base;
    QString m_database;
    PostgresCluster m_postgres;
    QString m_postgresMissing; // why the PostgreSQL rows are skipped

    QString storeOf(const QString &client) const { return m_tmp->filePath(client + u"/store.sqlite"_s); }

    // The server on an empty database with the account ann@example.com
    // ("secret"), on a free port of 127.0.0.1, as it says on its first line.
    void startServer(Backend backend, const QStringList &options)
    {
        const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        m_database = u"sqlite:"_s + m_tmp->filePath(u"sync.sqlite"_s);
        if (backend == Backend::PostgreSQL) {
            m_database = m_postgres.address(u"syncd"_s);
            const Run run = runProgram(u"psql"_s, {u"-q"_s, m_postgres.address(u"postgres"_s), u"-c"_s, u"DROP DATABASE IF EXISTS syncd"_s,
                                                   u"-c"_s, u"CREATE DATABASE syncd"_s}, environment);
            QVERIFY2(run.exitCode == 0, run.err.constData());
        }
        const Run added = runProgram(QStringLiteral(CORVANE_SYNCD_PATH), {u"--db"_s, m_database, u"add-user"_s, u"ann@example.com"_s},
                                     environment, "secret\n");
        QVERIFY2(added.exitCode == 0, added.err.constData());
        m_server = std::make_unique<QProcess>();
        m_server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server->start(QStringLiteral(CORVANE_SYNCD_PATH),
                        QStringList{u"--db"_s, m_database, u"--listen"_s, u"127.0.0.1:0"_s} + options);
        QTRY_VERIFY_WITH_TIMEOUT(m_server->canReadLine(), 20000);
        const QByteArray line = m_server->readLine().trimmed();
        QVERIFY2(line.startsWith("corvane-syncd listening on 127.0.0.1:"), line.constData());
        m_base = u"http://"_s + QString::fromLatin1(line.mid(line.lastIndexOf(' ') + 1));
    }

    // corvanectl for one client: its own store, preferences and home.
    Run ctl(const QString &client, const QStringList &arguments, const QByteArray &input = {}) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const QString folder = m_tmp->filePath(client + u"/"_s + QString::fromLatin1(name).toLower().replace(u'_', u'-'));
            QDir().mkpath(folder);
            environment.insert(QString::fromLatin1(name), folder);
        }
        return runProgram(QStringLiteral(CORVANECTL_PATH), QStringList{u"--store"_s, storeOf(client)} + arguments,
                          environment, input);
    }

    Run sync(const QString &client, const QString &email = u"ann@example.com"_s, const QByteArray &password = "secret\n") const
    {
        return ctl(client, {u"sync"_s, u"--server"_s, m_base, u"--email"_s, email, u"--password-stdin"_s}, password);
    }

    QJsonObject dump(const QString &client) const
    {
        return QJsonDocument::fromJson(ctl(client, {u"dump"_s}).out).object();
    }
};

QTEST_GUILESS_MAIN(tst_Syncd)
#include "tst_syncd.moc"
