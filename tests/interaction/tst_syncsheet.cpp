// The sync sheet as a user drives it: typing the login, syncing against a
// real HTTP server on 127.0.0.1, reading the label, closing with Done, and
// the account pages it opens in the browser.
#include "DocumentFakes.h"
#include "FakeKeyStore.h"
#include "ScriptedHttpServer.h"
#include "SyncController.h"
#include "SyncLogin.h"
#include "SyncPresenter.h"
#include "SyncUtils.h"
#include "SyncWindowController.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

namespace {

struct Sheet : DocumentFixture {
    ScriptedHttpServer server;
    HttpSyncTransport transport;
    DocumentSyncStore store{*document};
    FakeKeyStore keyStore;
    SyncLogin login{keyStore, Defaults::standard()};
    SyncController controller{&store, &transport};
    SyncPresenter presenter{document.get(), &controller, &login};
    QWidget window;
    SyncWindowController sheet{&presenter, &window};
    LogCapture quiet;

    Sheet() { window.show(); }

    void type(QLineEdit *field, const QString &text)
    {
        field->selectAll();
        QTest::keyClicks(field, text);
    }
};

} // namespace

// Stands in for the browser.
class Browser : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestSyncSheet : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Corvane")); }

    void syncFromTheSheet_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QByteArray>("reply"); // empty: nothing is sent
        QTest::addColumn<QString>("label");

        QTest::newRow("synced") << "ann@example.com" << QByteArray("<>") << "Corvane is now synchronized with server";
        QTest::newRow("not an e-mail") << "ann" << QByteArray() << "Please enter valid username and password";
    }

    // The typed login and server address are what the request carries; the
    // buttons rest and the progress shows while it runs; Done keeps the login.
    void syncFromTheSheet()
    {
        QFETCH(QString, email);
        QFETCH(QByteArray, reply);
        Sheet s;
        s.server.script = {{reply, {}, 200, true}};
        s.presenter.showSyncWindow(SyncPresenter::QuickSync::Off);
        QTRY_VERIFY(s.sheet.isVisible());
        QCOMPARE(s.sheet.windowModality(), Qt::WindowModal);
        QCOMPARE(s.sheet.passwordField()->echoMode(), QLineEdit::Password);
        s.type(s.sheet.emailField(), email);
        s.type(s.sheet.passwordField(), QStringLiteral("pa&ss"));
        s.type(s.sheet.serverField(), s.server.base().toString());
        QTest::keyClick(s.sheet.serverField(), Qt::Key_Return); // the default button: Sync Now

        if (!reply.isEmpty()) {
            QTRY_COMPARE(s.server.requests.size(), 1);
            QVERIFY(s.server.requests[0].body.contains("&email=" + email.toUtf8() + "&password="
                                                       + SyncUtils::HashAndSalt(QStringLiteral("pa&ss")).toUtf8()));
            QVERIFY(!s.sheet.syncNowButton()->isEnabled());
            QVERIFY(!s.sheet.doneButton()->isEnabled());
            QVERIFY(s.sheet.progressIndicator()->isVisible());
            QVERIFY(s.document->isShowingGrayOverlay());
            s.server.release();
        }
        QTRY_VERIFY(s.sheet.syncNowButton()->isEnabled());
        QTEST(s.sheet.infoLabel()->text(), "label");
        QVERIFY(s.sheet.doneButton()->isEnabled());
        QVERIFY(!s.sheet.progressIndicator()->isVisible());
        QVERIFY(!s.document->isShowingGrayOverlay());
        QCOMPARE(s.server.requests.size(), reply.isEmpty() ? 0 : 1);

        QTest::mouseClick(s.sheet.doneButton(), Qt::LeftButton);
        QVERIFY(!s.sheet.isVisible());
        QCOMPARE(login(s), (QStringList{email, "pa&ss"}));
    }

    // Escape while a sync runs does not end the sheet; afterwards it acts as Done.
    void escapeWaitsForTheSync()
    {
        Sheet s;
        s.server.script = {{"<>", {}, 200, true}};
        Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), s.server.base().toString());
        s.presenter.showSyncWindow(SyncPresenter::QuickSync::Off);
        s.type(s.sheet.emailField(), QStringLiteral("ann@example.com"));
        s.type(s.sheet.passwordField(), QStringLiteral("pw"));
        QTest::mouseClick(s.sheet.syncNowButton(), Qt::LeftButton);
        QTRY_COMPARE(s.server.requests.size(), 1);
        QTest::keyClick(&s.sheet, Qt::Key_Escape);
        QVERIFY(s.sheet.isVisible());
        s.server.release();
        QTRY_VERIFY(s.sheet.doneButton()->isEnabled());
        QTest::keyClick(&s.sheet, Qt::Key_Escape);
        QVERIFY(!s.sheet.isVisible());
        QCOMPARE(login(s), (QStringList{"ann@example.com", "pw"}));
    }

    void accountPages_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("url");
        QTest::newRow("sign up") << "signupButton" << "" << "https://www.example.com/sync_create_account";
        QTest::newRow("sign up with e-mail")
            << "signupButton" << "ann@example.com"
            << "https://www.example.com/sync_create_account?email=ann%40example.com&platform=mac";
        QTest::newRow("reset, \"&\" and \"+\" kept in the e-mail")
            << "resetPasswordButton" << "a&b+c@example.com"
            << "https://www.example.com/sync_reset_password?email=a%26b%2Bc%40example.com&platform=mac";
    }

    // The account pages open in the browser with the typed e-mail whole.
    void accountPages()
    {
        QFETCH(QString, button);
        QFETCH(QString, email);
        Sheet s;
        Browser browser;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &browser, "open");
        s.presenter.showSyncWindow(SyncPresenter::QuickSync::Off);
        s.type(s.sheet.emailField(), email);
        QTest::mouseClick(s.sheet.findChild<QPushButton *>(button), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(browser.opened.size(), 1);
        QTEST(browser.opened[0].toString(QUrl::FullyEncoded), "url");
    }

private:
    // The remembered e-mail and its password in the key store.
    static QStringList login(Sheet &s)
    {
        const QString email = Defaults::standard().stringValue(QStringLiteral("cv-login"));
        return {email, s.keyStore.items.value({SyncLogin::Service, email})};
    }
};

QTEST_MAIN(TestSyncSheet)
#include "tst_syncsheet.moc"
