// The help list download and the usage ping against a real HTTP server on
// 127.0.0.1 that records each request and answers from a script.
#include "DocumentFakes.h"
#include "HelpListController.h"
#include "PayloadBuilder.h"
#include "PingController.h"
#include "ScriptedHttpServer.h"
#include "SyncUtils.h"
#include "TODOItem.h"
#include "TestSupport.h"

#include <QTest>

namespace {

using Outcome = HelpListController::Outcome;

// Hexadecimal text of a message with the lists "Welcome" (id 7, one item with
// a server identifier) and "Tips", as the server would send it.
QByteArray helpListText()
{
    DocumentFixture server;
    TODOList *welcome = server.selectedList(QStringLiteral("Welcome"));
    welcome->setId_(7);
    server.document->addTODOItemToQuadrant(0)->setServerID(900);
    server.document->addNewProjectWithName(QStringLiteral("Tips"));
    return PayloadBuilder(*server.document).makeAllDataForTransfer().toHex();
}

// Records the posts and answers them when told to.
struct HeldTransport : SyncTransport {
    QList<QByteArray> bodies;
    QList<Done> waiting;
    void post(const QNetworkRequest &, const QByteArray &body, Done done) override
    {
        bodies << body;
        waiting << std::move(done);
    }
};

} // namespace

class TestHelpList : public QObject
{
    Q_OBJECT

private slots:
    void download_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QStringList>("lists"); // the sidebar afterwards

        const QStringList before{"Mine"};
        const QStringList added{"Mine", "Welcome", "Tips"};
        const QByteArray hex = helpListText();
        QTest::newRow("help list") << hex << Outcome::Succeeded << added;
        QTest::newRow("upper case, line breaks") << "\r\n" + hex.toUpper() + "\n" << Outcome::Succeeded << added;
        QTest::newRow("empty: nothing to add") << QByteArray(" \n") << Outcome::Succeeded << before;
        // 08 01 (an unknown field) before the lists would decode: only the leading 0 refuses it.
        QTest::newRow("a leading 0") << "0801" + hex << Outcome::Failed << before;
        QTest::newRow("an error page") << QByteArray("<html>Bad gateway</html>") << Outcome::Failed << before;
        QTest::newRow("hexadecimal, no message") << QByteArray("ffffffffff") << Outcome::Failed << before;
    }

    // The reply is added as new lists, or nothing is added; the request is the one the server expects.
    void download()
    {
        QFETCH(QByteArray, reply);
        QFETCH(Outcome, outcome);
        QFETCH(QStringList, lists);
        DocumentFixture f;
        QVERIFY(f.context()->create(f.dir.filePath(QStringLiteral("store.sqlite"))));
        f.selectedList(QStringLiteral("Mine"))->setId_(7);
        ScriptedHttpServer server;
        server.script = {{reply}};
        Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), server.base().toString() + "/");
        Defaults::standard().setValue(QStringLiteral("clientType"), QStringLiteral("desktop"));
        DocumentHelpListStore store(*f.document);
        HttpSyncTransport transport;
        HelpListController controller(&store, &transport);
        QList<Outcome> outcomes;
        LogCapture quiet;

        QVERIFY(controller.downloadHelpList([&outcomes](Outcome result) { outcomes << result; }));
        QTRY_COMPARE(outcomes.size(), 1);
        QCOMPARE(outcomes[0], outcome);
        QVERIFY(!controller.isDownloading());
        QCOMPARE(Defaults::standard().boolValue(QStringLiteral("downloadHelpList")), outcome == Outcome::Succeeded);

        QStringList names;
        for (const TODOList *list : f.document->getAllProjects()) {
            names << list->name();
            // New lists and items: the user's own list with the same id is left alone.
            if (list->name() != QLatin1String("Mine")) {
                QCOMPARE(list->id_(), 0);
                for (const TODOItem *item : list->contains())
                    QCOMPARE(item->serverID(), 0);
            }
        }
        names.sort();
        std::sort(lists.begin(), lists.end());
        QCOMPARE(names, lists);

        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests[0].head.startsWith("POST /sync/returnMacHelpList HTTP/1.1\r\n"));
        for (const char *header : {"Content-Type: application/x-www-form-urlencoded", "User-Agent: MyApp-V1.0"})
            QVERIFY2(server.requests[0].head.contains(header), header);
        QCOMPARE(server.requests[0].body,
                 "uid=" + SyncUtils::getDeviceUID().toUtf8() + "&version=desktop 1.6.7.20130219-pcw&type=desktop&event=helplist");
    }

    // One download at a time; asked for again later, the help list is added a second time.
    void oneAtATimeThenAgain()
    {
        DocumentFixture f;
        QVERIFY(f.context()->create(f.dir.filePath(QStringLiteral("store.sqlite"))));
        ScriptedHttpServer server;
        const QByteArray hex = helpListText();
        server.script = {{hex, {}, 200, true}, {hex}};
        Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), server.base().toString());
        DocumentHelpListStore store(*f.document);
        HttpSyncTransport transport;
        HelpListController controller(&store, &transport);
        QList<Outcome> outcomes;
        const auto record = [&outcomes](Outcome result) { outcomes << result; };
        LogCapture quiet;

        QVERIFY(controller.downloadHelpList(record));
        QTRY_COMPARE(server.requests.size(), 1);
        QVERIFY(!controller.downloadHelpList(record));
        QCOMPARE(outcomes, QList<Outcome>{Outcome::Failed});
        server.release();
        QTRY_COMPARE(outcomes.size(), 2);
        QVERIFY(controller.downloadHelpList(record));
        QTRY_COMPARE(outcomes.size(), 3);
        QCOMPARE(outcomes, (QList<Outcome>{Outcome::Failed, Outcome::Succeeded, Outcome::Succeeded}));
        QCOMPARE(f.document->getAllProjects().size(), 4);
    }

    // The ping goes over plain HTTP to the web host with exactly the event and "Not collected".
    void pingBody()
    {
        QTemporaryDir dir;
        Defaults::useFileForTesting(dir.filePath(QStringLiteral("defaults.ini")));
        ScriptedHttpServer server;
        Defaults::standard().setValue(QStringLiteral("makerWebHost"), server.base().authority());
        HttpSyncTransport transport;
        PingController ping(&transport);
        LogCapture log;
        ping.pingServer(QStringLiteral("startapp"));
        QTRY_VERIFY(log.contains(QStringLiteral("Ping was successful")));
        Defaults::useFileForTesting(QString());

        QCOMPARE(server.requests.size(), 1);
        QVERIFY(server.requests[0].head.startsWith("POST /corvane/ping2.php HTTP/1.1\r\n"));
        QVERIFY(server.requests[0].head.contains("Content-Type: application/x-www-form-urlencoded"));
        QCOMPARE(server.requests[0].body, "uid=" + SyncUtils::getDeviceUID().toUtf8()
                                              + "&version=linux 1.6.7.20130219-pcw&event=startapp&iosversion=Not collected");
    }

    // Pings go one at a time and in order; a failed one does not hold up the next.
    void pingsOneAtATime()
    {
        HeldTransport transport;
        PingController ping(&transport);
        LogCapture quiet;
        ping.pingServer(QStringLiteral("startapp"));
        ping.pingServer(QStringLiteral("endapp"));
        QCOMPARE(transport.bodies.size(), 1);
        transport.waiting.takeFirst()({std::nullopt});
        QCOMPARE(transport.bodies.size(), 2);
        QVERIFY(transport.bodies[0].contains("&event=startapp&"));
        QVERIFY(transport.bodies[1].contains("&event=endapp&"));
    }
};

QTEST_GUILESS_MAIN(TestHelpList)
#include "tst_helplist.moc"
