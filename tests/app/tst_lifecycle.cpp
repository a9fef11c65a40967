// The application's launch and quit as a user meets them: the first run,
// the sync on start, the sync before exit holding the quit, the colours.
// The store lives in a temporary folder; the pings and exchanges go to a
// scripted HTTP server.
#include "AppDelegate.h"
#include "ArrayController.h"
#include "Defaults.h"
#include "DocumentFakes.h"
#include "ScriptedHttpServer.h"
#include "SyncPresenter.h"
#include "TestSupport.h"

#include <QColorDialog>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

namespace {

const QString kLogin = QStringLiteral("ann@example.com");

// Counts the requests whose body holds a text ("event=endapp", "&message=").
int requestsWith(const ScriptedHttpServer &server, const QByteArray &text)
{
    return int(std::count_if(server.requests.cbegin(), server.requests.cend(),
                             [&text](const ScriptedHttpServer::Request &r) { return r.body.contains(text); }));
}

void storeDefaults(const QVariantMap &values)
{
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        Defaults::standard().setValue(it.key(), it.value());
}

} // namespace

class TestLifecycle : public QObject
{
    Q_OBJECT

    // A launch on the temporary store, its delays cut to nothing.
    struct Launch {
        AppDelegate delegate{nullptr, 0ms};
        QSignalSpy welcome{&delegate, &AppDelegate::welcomeRequested};
        FakeDocumentView view;
        std::unique_ptr<QSignalSpy> sheet;

        Launch()
        {
            QVERIFY(delegate.applicationDidFinishLaunching());
            delegate.document()->setView(&view);
            sheet = std::make_unique<QSignalSpy>(delegate.syncPresenter(), &SyncPresenter::sheetRequested);
        }
        // What the user does in the sheet: types the login and syncs.
        void typeLoginAndSync()
        {
            delegate.syncPresenter()->setEmail(kLogin);
            delegate.syncPresenter()->setPassword(QStringLiteral("secret"));
            delegate.syncPresenter()->beginSync();
        }
    };

private slots:
    void initTestCase()
    {
        // No key store: a remembered login has no password, so the sheet asks for it.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        AppDelegate::setDataLocationForTesting(m_tmp->filePath(QStringLiteral("data")));
        Defaults::useFileForTesting(m_tmp->filePath(QStringLiteral("defaults.ini")));
        m_server = std::make_unique<ScriptedHttpServer>();
        Defaults &defaults = Defaults::standard();
        defaults.setValue(QStringLiteral("syncServerBaseURL"), m_server->base().toString());
        defaults.setValue(QStringLiteral("makerWebHost"), m_server->base().authority());
    }

    void cleanup()
    {
        m_server.reset();
        Defaults::useFileForTesting(QString());
        AppDelegate::resetDataLocationForTesting();
        m_tmp.reset();
    }

    void launch_data()
    {
        QTest::addColumn<QVariantMap>("stored"); // the defaults before the launch
        QTest::addColumn<int>("tier");
        QTest::addColumn<QList<bool>>("options"); // after start, before exit, quick
        QTest::addColumn<bool>("welcome");
        QTest::addColumn<bool>("invitation");

        QTest::newRow("first run") << QVariantMap{} << 0 << QList<bool>{false, false, false} << true << true;
        QTest::newRow("later run, signed in")
            << QVariantMap{{"kFirstTimeRunning", "NO"}, {"cv-login", kLogin}, {"FONT_TIER", 3}, {"SYNC_BEFORE_EXIT", true}}
            << 3 << QList<bool>{false, true, false} << false << false;
        QTest::newRow("later run, never signed in")
            << QVariantMap{{"kFirstTimeRunning", "NO"}, {"QUICK_SYNC", "true"}, {"FONT_TIER", 5}} << 5
            << QList<bool>{false, false, true} << false << true;
    }

    void launch()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(int, tier);
        QFETCH(QList<bool>, options);
        QFETCH(bool, welcome);
        QFETCH(bool, invitation);
        storeDefaults(stored);
        Defaults &defaults = Defaults::standard();

        LogCapture quiet;
        for (int run = 0; run < 2; ++run) {
            Launch launch;
            QCOMPARE(defaults.intValue(QStringLiteral("FONT_TIER"), -1), tier);
            const AppDelegate::SyncOption all[] = {AppDelegate::SyncOption::AfterStart, AppDelegate::SyncOption::BeforeExit,
                                                   AppDelegate::SyncOption::Quick};
            for (int i = 0; i < 3; ++i) {
                const bool on = options[i] != (i == 2 && run == 1); // the first run flips Quick by its menu item
                QCOMPARE(launch.delegate.syncOption(all[i]), on);
                QCOMPARE(launch.delegate.syncOptionItem(all[i])->isChecked(), on);
            }
            if (run == 0)
                launch.delegate.syncOptionItem(AppDelegate::SyncOption::Quick)->trigger();
            // The welcome only on the very first run.
            QCOMPARE(launch.welcome.size(), welcome && run == 0 ? 1 : 0);
            QCOMPARE(defaults.stringValue(QStringLiteral("kFirstTimeRunning")), QStringLiteral("NO"));
            QTRY_COMPARE(requestsWith(*m_server, "event=startapp"), run + 1);
            QCOMPARE(launch.sheet->size(), invitation ? 1 : 0);
            if (invitation)
                QCOMPARE(launch.delegate.syncPresenter()->label(), AppDelegate::kInvitation);
        }
    }

    // After the sync on start, the row selected at the last run is selected
    // again, although the sync itself restores the list selected before it.
    void syncOnStartReselectsTheStoredRow()
    {
        storeDefaults({{"kFirstTimeRunning", "NO"}, {"cv-login", kLogin}, {"SYNC_AFTER_START", true}, {"lastSelectedProjectRow", 2}});
        LogCapture quiet;
        Launch launch;
        MyDocument *document = launch.delegate.document();
        for (const char *name : {"Work", "Home", "Garden"})
            document->addNewProjectWithName(QLatin1String(name));
        document->projects().selectRow(0);

        QTRY_COMPARE(launch.sheet->size(), 1);
        QCOMPARE(launch.delegate.syncPresenter()->label(), AppDelegate::kSyncingOnStart);
        launch.typeLoginAndSync();
        QTRY_VERIFY(launch.view.calls.contains(QStringLiteral("scrollSidebarRowToVisible 2")));
        QCOMPARE(document->projects().selectedRow(), 2);
        QCOMPARE(requestsWith(*m_server, "&message="), 1);
    }

    // With "sync before exit" on, the quit waits for the exchange, whatever
    // its outcome, and the preference stays on for the next launch. A sheet
    // closed without an exchange gives the quit up.
    void quitWithSyncBeforeExit_data()
    {
        QTest::addColumn<QByteArray>("reply"); // empty: the user does not sync
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("closeSheet"); // else the user quits again
        QTest::newRow("synced") << QByteArray("<>") << 200 << false;
        QTest::newRow("sync failed") << QByteArray("Error") << 500 << false;
        QTest::newRow("sheet closed, quit later") << QByteArray() << 0 << true;
        QTest::newRow("quit again without syncing") << QByteArray() << 0 << false;
    }

    void quitWithSyncBeforeExit()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        QFETCH(bool, closeSheet);
        storeDefaults({{"kFirstTimeRunning", "NO"}, {"cv-login", kLogin}, {"SYNC_BEFORE_EXIT", true}});
        LogCapture quiet;
        {
            Launch launch;
            MyDocument *document = launch.delegate.document();
            m_server->script = {ScriptedHttpServer::Response("<>"), ScriptedHttpServer::Response(reply, {}, status, true)};
            QTRY_COMPARE(requestsWith(*m_server, "event=startapp"), 1);

            launch.delegate.requestQuit();
            QVERIFY(launch.delegate.terminating() && document->isShowingGrayOverlay());
            QTRY_COMPARE(launch.sheet->size(), 1);
            QCOMPARE(launch.delegate.syncPresenter()->label(), AppDelegate::kSyncingOnExit);
            if (reply.isEmpty() && !closeSheet) {
                launch.delegate.requestQuit(); // the second quit quits without syncing
            } else if (reply.isEmpty()) {
                launch.delegate.syncPresenter()->closeSheet();
                QCOMPARE(launch.delegate.quitState(), AppDelegate::QuitState::Running);
                QVERIFY(!launch.delegate.terminating() && !document->isShowingGrayOverlay());
                launch.delegate.requestQuit(); // a later quit does not sync again
            } else {
                launch.typeLoginAndSync();
                QTRY_COMPARE(requestsWith(*m_server, "&message="), 1);
                launch.delegate.requestQuit(); // a second quit does not cut the exchange short
                QCOMPARE(launch.delegate.quitState(), AppDelegate::QuitState::SyncingBeforeExit);
                QCOMPARE(requestsWith(*m_server, "event=endapp"), 0);
                m_server->release();
            }
            QTRY_COMPARE(launch.delegate.quitState(), AppDelegate::QuitState::Quitting);
            QTRY_COMPARE(requestsWith(*m_server, "event=endapp"), 1);
            QCOMPARE(requestsWith(*m_server, "&message="), reply.isEmpty() ? 0 : 1);
        }
        Launch next;
        QVERIFY(next.delegate.syncOption(AppDelegate::SyncOption::BeforeExit));
    }

    // Lines without exactly two parts, empty ones (line ends of either kind)
    // and unreadable colours are skipped and use up no slot of the colour dialog.
    void colorsFillTheCustomColours()
    {
        for (int i = 0; i < QColorDialog::customCount(); ++i)
            QColorDialog::setCustomColor(i, Qt::black);
        const QString path = m_tmp->filePath(QStringLiteral("colors.txt"));
        QVERIFY(writeBytes(path, "{1, 0, 0, 1};Red\r\n\r\n{0, 1, 0, 1};Green;again\n{0, 0, 1, 1}\n{0, 0.5, 0, 1};Fern\nmaroon;Maroon\n"));

        AppDelegate delegate;
        delegate.loadColors(path);
        const QStringList colours{"#ff0000", "#008000", "#000000"};
        for (int i = 0; i < colours.size(); ++i)
            QCOMPARE(QColorDialog::customColor(i).name(), colours[i]);
    }

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    std::unique_ptr<ScriptedHttpServer> m_server;
};

QTEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
