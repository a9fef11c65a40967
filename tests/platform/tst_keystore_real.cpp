// The key store over qtkeychain against a real Secret Service (gnome-keyring
// in a private D-Bus session) and without any; run by keystore-session.sh.
#include "KeyStore.h"
#include "TestSupport.h"

#include <QTest>
#include <QUuid>

constexpr int Patience = 20000; // ms: the daemon may be slow to answer on a busy machine
using Write = void (QtKeyStore::*)(const QString &, const QString &, const QString &, KeyStore::WriteDone);

class TestKeyStoreReal : public QObject
{
    Q_OBJECT
    QtKeyStore m_keys;
    std::optional<std::optional<QString>> m_found;
    std::optional<bool> m_written;

    // Both wait for the key store's answer; a missing answer fails the comparison.
    std::optional<QString> find(const QString &service, const QString &account)
    {
        m_found.reset();
        m_keys.find(service, account, [this](std::optional<QString> password) { m_found = password; });
        return QTest::qWaitFor([&] { return m_found.has_value(); }, Patience) ? *m_found : QStringLiteral("(none)");
    }
    std::optional<bool> write(Write operation, const QString &service, const QString &account, const QString &password)
    {
        m_written.reset();
        (m_keys.*operation)(service, account, password, [this](bool ok) { m_written = ok; });
        return QTest::qWaitFor([&] { return m_written.has_value(); }, Patience) ? m_written : std::nullopt;
    }

private slots:
    // No session bus: each operation answers, and answers failure.
    void withoutKeyStore()
    {
        LogCapture log;
        const QString service = QStringLiteral("Corvane"), account = QStringLiteral("ann@example.com");
        QCOMPARE(find(service, account), std::optional<QString>());
        QCOMPARE(write(&QtKeyStore::add, service, account, QStringLiteral("pw")), std::optional(false));
        QCOMPARE(write(&QtKeyStore::modify, service, account, QStringLiteral("pw")), std::optional(false));
    }

    void withKeyStore()
    {
        if (qEnvironmentVariableIsSet("CORVANE_NO_KEYRING"))
            QSKIP(qPrintable(qEnvironmentVariable("CORVANE_NO_KEYRING")));
        if (!qEnvironmentVariableIsSet("CORVANE_PRIVATE_KEYRING"))
            QSKIP("runs only through keystore-session.sh, so as not to write into the user's own keyring");

        const QString service = QStringLiteral("Corvane test ") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        const QString account = QStringLiteral("ann+sync@example.com");
        QCOMPARE(find(service, account), std::optional<QString>());
        QCOMPARE(write(&QtKeyStore::modify, service, account, QStringLiteral("never")), std::optional(false));
        QCOMPARE(write(&QtKeyStore::add, service, account, QStringLiteral("first pässword")), std::optional(true));
        QCOMPARE(find(service, account), std::optional(QStringLiteral("first pässword")));
        QCOMPARE(write(&QtKeyStore::add, service, account, QStringLiteral("replaced")), std::optional(false));
        QCOMPARE(write(&QtKeyStore::modify, service, account, QStringLiteral("second")), std::optional(true));
        QCOMPARE(find(service, account), std::optional(QStringLiteral("second")));
        // Items are told apart by service and account together.
        QCOMPARE(find(service, QStringLiteral("bob@example.com")), std::optional<QString>());
        QCOMPARE(write(&QtKeyStore::add, service + QStringLiteral(" 2"), account, QStringLiteral("x")), std::optional(true));
        QCOMPARE(find(service, account), std::optional(QStringLiteral("second")));
    }
};

QTEST_GUILESS_MAIN(TestKeyStoreReal)
#include "tst_keystore_real.moc"
