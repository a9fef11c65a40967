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
    // The remembered e-mail and its password in the key store.
    QStringList remembered() const
    {
        const QString email = Defaults::standard().stringValue(QStringLiteral("cv-login"));
        return {email, keyStore.items.value({SyncLogin::Service, email})};
    }
};

} // namespace

class TestSyncSheet : public QObject
{
    Q_OBJECT
    QList<QUrl> m_opened; // pages the browser was asked to open

public:
    Q_INVOKABLE void openUrl(const QUrl &url) { m_opened << url; }

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
    // buttons rest and the progress shows while it runs, and Escape does not end
    // the sheet then; afterwards Done, or Escape, closes it and keeps the login.
    void syncFromTheSheet()
    {
        QFETCH(QString, email);
        QFETCH(QByteArray, reply);
        Sheet s;
        s.server.script = {{reply, {}, 200, true}};
        s.presenter.showSyncWindow(SyncPresenter::QuickSync::Off);
        QTRY_VERIFY(s.sheet.isVisible());
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
            QTest::keyClick(&s.sheet, Qt::Key_Escape);
            QVERIFY(s.sheet.isVisible());
            s.server.release();
        }
        QTRY_VERIFY(s.sheet.syncNowButton()->isEnabled());
        QTEST(s.sheet.infoLabel()->text(), "label");
        QVERIFY(s.sheet.doneButton()->isEnabled());
        QVERIFY(!s.sheet.progressIndicator()->isVisible());
        QVERIFY(!s.document->isShowingGrayOverlay());
        QCOMPARE(s.server.requests.size(), reply.isEmpty() ? 0 : 1);

        if (reply.isEmpty())
            QTest::mouseClick(s.sheet.doneButton(), Qt::LeftButton);
        else
            QTest::keyClick(&s.sheet, Qt::Key_Escape);
        QVERIFY(!s.sheet.isVisible());
        QCOMPARE(s.remembered(), (QStringList{email, "pa&ss"}));
    }

    void accountPages_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("url");
        QTest::newRow("sign up") << "signupButton" << "" << "https://www.example.com/sync_create_account";
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
        m_opened.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        s.presenter.showSyncWindow(SyncPresenter::QuickSync::Off);
        s.type(s.sheet.emailField(), email);
        QTest::mouseClick(s.sheet.findChild<QPushButton *>(button), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(m_opened.size(), 1);
        QTEST(m_opened[0].toString(QUrl::FullyEncoded), "url");
    }
};

QTEST_MAIN(TestSyncSheet)
#include "tst_syncsheet.moc"
