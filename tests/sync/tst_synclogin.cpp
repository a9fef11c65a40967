// The remembered sync login: e-mail in the defaults, password in the key store.
#include "Defaults.h"
#include "FakeKeyStore.h"
#include "SyncLogin.h"
#include "TestSupport.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(FakeKeyStore::Mode)

namespace {
const QString Service = QStringLiteral("Corvane");
const QString Ann = QStringLiteral("ann@example.com");
const QString Bob = QStringLiteral("bob+sync@example.com");
} // namespace

class TestSyncLogin : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<Defaults> m_defaults;
    FakeKeyStore m_keys;

private slots:
    void init()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("d.ini")));
        m_defaults = std::make_unique<Defaults>(
            std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("d.ini")), QSettings::IniFormat));
        m_keys = FakeKeyStore();
    }

    void fillOutLogin_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<FakeKeyStore::Mode>("mode");
        QTest::addColumn<QString>("password");

        const auto ok = FakeKeyStore::Mode::Available;
        QTest::newRow("nothing stored") << QString() << ok << QString();
        QTest::newRow("found") << Ann << ok << "s3cret";
        QTest::newRow("no item for the e-mail") << Bob << ok << QString();
        QTest::newRow("no key store") << Ann << FakeKeyStore::Mode::Unavailable << QString();
    }
    void fillOutLogin()
    {
        QFETCH(QString, stored);
        QFETCH(FakeKeyStore::Mode, mode);
        if (!stored.isEmpty())
            m_defaults->setValue(QStringLiteral("cv-login"), stored);
        m_keys.items[{Service, Ann}] = QStringLiteral("s3cret");
        m_keys.items[{QStringLiteral("Other"), Bob}] = QStringLiteral("not this one");
        m_keys.mode = mode;
        SyncLogin login(m_keys, *m_defaults);
        LogCapture quiet;

        int answers = 0;
        login.fillOutLogin([&](const QString &email, const QString &password) {
            ++answers;
            QCOMPARE(email, stored);
            QTEST(password, "password");
        });
        QCOMPARE(answers, 1);
    }

    void saveUserEmailPassword_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("password");
        QTest::addColumn<FakeKeyStore::Mode>("mode");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("kept"); // the key store's password of the e-mail afterwards

        const auto ok = FakeKeyStore::Mode::Available;
        QTest::newRow("existing item modified") << Ann << "new" << ok << true << "new";
        QTest::newRow("new item added") << Bob << "pw" << ok << true << "pw";
        QTest::newRow("add fails") << Bob << "pw" << FakeKeyStore::Mode::AddFails << false << QString();
        QTest::newRow("no key store") << Ann << "new" << FakeKeyStore::Mode::Unavailable << false << "old";
        // The sheet could not read the key store, so its field stayed empty:
        // the remembered password must survive closing the sheet.
        QTest::newRow("empty password keeps the stored one") << Ann << "" << ok << false << "old";
        QTest::newRow("empty e-mail") << "" << "pw" << ok << false << QString();
    }
    void saveUserEmailPassword()
    {
        QFETCH(QString, email);
        QFETCH(QString, password);
        QFETCH(FakeKeyStore::Mode, mode);
        const QString before = QStringLiteral("first@example.com");
        m_defaults->setValue(QStringLiteral("cv-login"), before);
        m_keys.items[{Service, Ann}] = QStringLiteral("old");
        m_keys.mode = mode;
        SyncLogin login(m_keys, *m_defaults);
        LogCapture quiet;

        QList<bool> answers;
        login.saveUserEmailPassword(email, password, [&](bool saved) { answers << saved; });
        QCOMPARE(answers.size(), 1);
        QTEST(answers.first(), "saved");
        QTEST(m_keys.items.value({Service, email}), "kept");
        // The e-mail is remembered even when its password could not be.
        QCOMPARE(login.getPreviousUsername(), before);
        QCOMPARE(login.getCurrentUsername(), email);
    }
};

QTEST_GUILESS_MAIN(TestSyncLogin)
#include "tst_synclogin.moc"
