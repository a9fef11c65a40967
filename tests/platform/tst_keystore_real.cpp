// The key store over qtkeychain against a real Secret Service (gnome-keyring
// in a private D-Bus session) and without any; run by keystore-session.sh.
#include "KeyStore.h"
#include "TestSupport.h"

#include <QTest>
#include <QUuid>

namespace {
constexpr int Patience = 20000; // ms: the daemon may be slow to answer on a busy machine

// A key store answer; none until it arrives.
template<typename T>
struct Answer {
    std::optional<T> value;
    auto sink()
    {
        value.reset();
        return [this](T answer) { value = answer; };
    }
};
} // namespace

class TestKeyStoreReal : public QObject
{
    Q_OBJECT
    QtKeyStore m_keys;
    Answer<std::optional<QString>> m_found;
    Answer<bool> m_written;

    std::optional<QString> find(const QString &service, const QString &account)
    {
        m_keys.find(service, account, m_found.sink());
        if (!QTest::qWaitFor([&] { return m_found.value.has_value(); }, Patience))
            return QStringLiteral("(no answer)");
        return *m_found.value;
    }
    std::optional<bool> modify(const QString &service, const QString &account, const QString &password)
    {
        m_keys.modify(service, account, password, m_written.sink());
        return QTest::qWaitFor([&] { return m_written.value.has_value(); }, Patience) ? m_written.value : std::nullopt;
    }
    std::optional<bool> add(const QString &service, const QString &account, const QString &password)
    {
        m_keys.add(service, account, password, m_written.sink());
        return QTest::qWaitFor([&] { return m_written.value.has_value(); }, Patience) ? m_written.value : std::nullopt;
    }

private slots:
    // No session bus: each operation answers, and answers failure.
    void withoutKeyStore()
    {
        LogCapture log;
        const QString service = QStringLiteral("Corvane");
        QCOMPARE(find(service, QStringLiteral("ann@example.com")), std::optional<QString>());
        QCOMPARE(add(service, QStringLiteral("ann@example.com"), QStringLiteral("pw")), std::optional(false));
        QCOMPARE(modify(service, QStringLiteral("ann@example.com"), QStringLiteral("pw")), std::optional(false));
    }

    void withKeyStore()
    {
        if (qEnvironmentVariableIsSet("CORVANE_NO_KEYRING"))
            QSKIP(qPrintable(qEnvironmentVariable("CORVANE_NO_KEYRING")));
        if (!qEnvironmentVariableIsSet("CORVANE_PRIVATE_KEYRING"))
            QSKIP("runs only through keystore-session.sh, so as not to write into the user's own keyring");

        const QString service = QStringLiteral("Corvane test ") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        const QString account = QStringLiteral("ann+sync@example.com");
        const QString other = QStringLiteral("bob@example.com");
        QCOMPARE(find(service, account), std::optional<QString>());
        QCOMPARE(modify(service, account, QStringLiteral("never")), std::optional(false));
        QCOMPARE(add(service, account, QStringLiteral("first pässword")), std::optional(true));
        QCOMPARE(find(service, account), std::optional(QStringLiteral("first pässword")));
        QCOMPARE(add(service, account, QStringLiteral("replaced")), std::optional(false));
        QCOMPARE(modify(service, account, QStringLiteral("second")), std::optional(true));
        QCOMPARE(find(service, account), std::optional(QStringLiteral("second")));
        // Another account of the same service, and the same account of another service, are other items.
        QCOMPARE(find(service, other), std::optional<QString>());
        QCOMPARE(add(QStringLiteral("Corvane other ") + service, account, QStringLiteral("x")), std::optional(true));
        QCOMPARE(find(service, account), std::optional(QStringLiteral("second")));
    }
};

QTEST_GUILESS_MAIN(TestKeyStoreReal)
#include "tst_keystore_real.moc"
