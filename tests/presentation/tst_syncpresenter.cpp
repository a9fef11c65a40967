// The sync sheet's logic without widgets: what the label, the buttons, the
// status bar and change tracking do around one exchange.
#include "ArrayController.h"
#include "DocumentFakes.h"
#include "FakeKeyStore.h"
#include "SyncController.h"
#include "SyncLogin.h"
#include "SyncPresenter.h"
#include "SyncUtils.h"
#include "TestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

struct FakeTransport : SyncTransport {
    QList<QByteArray> bodies;
    std::optional<QByteArray> reply = QByteArray("<>");
    bool hold = false;
    Done pending;

    void post(const QNetworkRequest &, const QByteArray &body, Done done) override
    {
        bodies << body;
        if (hold)
            pending = std::move(done);
        else
            QTimer::singleShot(0, [done = std::move(done), reply = reply] { done({reply}); });
    }
};

struct FakeSyncStore : SyncStore {
    void backup() override {}
    QByteArray payload() override { return "p"; }
    MergeResult merge(const QByteArray &, QString *) override { return MergeResult::Merged; }
};

struct Sheet : DocumentFixture {
    FakeTransport transport;
    FakeSyncStore store;
    FakeKeyStore keyStore;
    SyncLogin login{keyStore, Defaults::standard()};
    SyncController controller{&store, &transport};
    SyncPresenter presenter{document.get(), &controller, &login};
    LogCapture quiet;

    // A login remembered by an earlier run.
    void storeLogin(const QString &email, const QString &password)
    {
        Defaults::standard().setValue(QStringLiteral("cv-login"), email);
        if (!password.isEmpty())
            keyStore.items[{SyncLogin::Service, email}] = password;
    }
};

} // namespace

class TestSyncPresenter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Corvane")); }

    void exchange_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("reply"); // empty: nothing is sent
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("status");

        const QString failed = "Sync failed. Please check your login info. Email support@example.com if you need help.";
        QTest::newRow("wrong login") << "ann@example.com" << "no"
                                     << "Sync failed. Please check your login and password. If this problem persists, "
                                        "contact support@example.com."
                                     << failed;
        QTest::newRow("one letter after the dot") << "ann@example.c" << ""
                                                  << "Please enter valid username and password" << "";
    }

    // A sync shows its outcome; change tracking is off during the exchange
    // and comes back a second after it, so the merge's writes stay unmarked.
    void exchange()
    {
        QFETCH(QString, email);
        QFETCH(QString, reply);
        Sheet s;
        s.document->enableDidChangeContextNotifications();
        s.transport.reply = reply.toUtf8();
        s.presenter.setEmail(email);
        s.presenter.setPassword(QStringLiteral("pw"));
        bool ranAfter = false;
        s.presenter.showSyncWindow(SyncPresenter::QuickSync::Off, {}, [&ranAfter] { ranAfter = true; });
        s.presenter.beginSync();
        QCOMPARE(s.transport.bodies.size(), reply.isEmpty() ? 0 : 1);
        if (!reply.isEmpty()) {
            QVERIFY(!s.presenter.buttonsEnabled());
            QVERIFY(!s.document->isReceivingEditingNotifications());
            QTRY_VERIFY(!s.presenter.isSyncing());
            QVERIFY(!s.document->isReceivingEditingNotifications());
            QTRY_VERIFY(s.document->isReceivingEditingNotifications());
            QVERIFY(ranAfter);
        }
        QTEST(s.presenter.label(), "label");
        QTEST(s.document->statusBarMessage(), "status");
        QVERIFY(s.presenter.buttonsEnabled());
        QVERIFY(!s.document->isShowingGrayOverlay());
    }

    void opening_data()
    {
        QTest::addColumn<int>("quickSync");
        QTest::addColumn<QString>("storedPassword");
        QTest::addColumn<bool>("sheet");
        QTest::addColumn<int>("requests");

        QTest::newRow("quick, login stored") << int(SyncPresenter::QuickSync::On) << "pw" << false << 1;
        QTest::newRow("quick, no password") << int(SyncPresenter::QuickSync::On) << "" << true << 0;
        QTest::newRow("from the menu") << int(SyncPresenter::QuickSync::Off) << "pw" << true << 0;
    }

    // A quick sync with a stored login never shows the sheet; otherwise the
    // sheet is asked for. Either way the store is saved first.
    void opening()
    {
        QFETCH(int, quickSync);
        QFETCH(QString, storedPassword);
        Sheet s;
        s.storeLogin(QStringLiteral("ann@example.com"), storedPassword);
        QSignalSpy sheet(&s.presenter, &SyncPresenter::sheetRequested);
        QVERIFY(s.context()->create(s.dir.filePath(QStringLiteral("store.sqlite"))));
        s.selectedList();
        s.presenter.showSyncWindow(SyncPresenter::QuickSync(quickSync), QStringLiteral("Syncing on start"));
        QVERIFY(!s.context()->hasChanges());
        QTEST(!sheet.isEmpty(), "sheet");
        QCOMPARE(s.presenter.email(), QStringLiteral("ann@example.com"));
        QTEST(int(s.transport.bodies.size()), "requests");
    }

    // A second sync while one runs leaves the first alone; after success the
    // list selected before is selected again and a quick sync keeps the login.
    void secondSyncAndReselection()
    {
        Sheet s;
        TODOList *work = s.selectedList(QStringLiteral("Work"));
        s.document->addNewProjectWithName(QStringLiteral("Home"));
        s.transport.hold = true;
        s.storeLogin(QStringLiteral("ann@example.com"), QStringLiteral("old"));
        s.presenter.showSyncWindow(SyncPresenter::QuickSync::On);
        QCOMPARE(s.transport.bodies.size(), 1);
        s.presenter.setPassword(QStringLiteral("pw")); // typed meanwhile
        s.presenter.beginSync();
        QCOMPARE(s.transport.bodies.size(), 1);
        s.document->projects().selectRow(-1);
        s.transport.pending({QByteArray("<>")});
        QCOMPARE(s.document->getSelectedProject(), work);
        // The quick sync closed the sheet, which keeps the login.
        QCOMPARE(s.keyStore.items.value({SyncLogin::Service, QStringLiteral("ann@example.com")}), QStringLiteral("pw"));
    }

    // Without a key store nothing is remembered across runs, but a quick
    // sync later in the session still uses the password typed in the sheet.
    void quickSyncWithoutKeyStore()
    {
        Sheet s;
        s.keyStore.mode = FakeKeyStore::Mode::Unavailable;
        s.presenter.setEmail(QStringLiteral("ann@example.com"));
        s.presenter.setPassword(QStringLiteral("pw"));
        s.presenter.closeSheet();
        s.presenter.showSyncWindow(SyncPresenter::QuickSync::On);
        QCOMPARE(s.transport.bodies.size(), 1);
        QVERIFY(s.transport.bodies[0].contains("&password=" + SyncUtils::HashAndSalt(QStringLiteral("pw")).toUtf8()));
    }

    void sheetEnd_data()
    {
        QTest::addColumn<int>("quickSync");
        QTest::addColumn<QStringList>("window"); // what the window is asked to do
        QTest::newRow("sheet closed") << int(SyncPresenter::QuickSync::Off) << QStringList{"focusSearchField"};
        QTest::newRow("quick sync, no sheet") << int(SyncPresenter::QuickSync::On) << QStringList();
    }

    // Once the sheet ends the user is back in the search field, with the
    // quadrants filtered again; a quick sync without the sheet leaves the focus.
    void sheetEnd()
    {
        QFETCH(int, quickSync);
        Sheet s;
        s.storeLogin(QStringLiteral("ann@example.com"), QStringLiteral("pw"));
        s.selectedList();
        s.item(0, QStringLiteral("Milk"));
        s.document->filters().setSearchText(QStringLiteral("Bread"));
        s.view.calls.clear();
        s.presenter.showSyncWindow(SyncPresenter::QuickSync(quickSync));
        if (quickSync == int(SyncPresenter::QuickSync::Off))
            s.presenter.closeSheet();
        QTRY_VERIFY(!s.presenter.isSyncing());
        QTEST(s.view.calls.filter(QStringLiteral("focus")), "window");
        QCOMPARE(s.document->controllerForQuadrant(0)->arrangedObjects().size(), 0);
    }

    void serverAddress_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("used");
        QTest::newRow("https") << " https://sync.mine.org:8443 " << true << "https://sync.mine.org:8443";
        QTest::newRow("no scheme") << "sync.mine.org" << false << "https://old.example.org";
        QTest::newRow("empty: the default") << "" << true << "https://sync.example.com";
    }

    // The sheet's server field changes where syncs go; a mistyped address
    // is refused rather than breaking every later sync.
    void serverAddress()
    {
        QFETCH(QString, typed);
        Sheet s;
        Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), QStringLiteral("https://old.example.org"));
        QTEST(s.presenter.setServerAddress(typed), "accepted");
        QTEST(SyncSettings::syncServerBaseURL().toString(), "used");
        QTEST(s.presenter.serverAddress(), "used");
    }
};

QTEST_MAIN(TestSyncPresenter)
#include "tst_syncpresenter.moc"
