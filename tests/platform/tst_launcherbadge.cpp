// The overdue count on the launcher icon, as a dock listening on the session
// bus receives it. Run inside a private bus (dbus-run-session).
#include "LauncherBadge.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>

class TestLauncherBadge : public QObject
{
    Q_OBJECT
    QStringList m_received; // "<app uri> <count> <visible>"

public slots:
    void onUpdate(const QString &appUri, const QVariantMap &properties)
    {
        m_received << QStringLiteral("%1 %2 %3")
                          .arg(appUri, properties.value(QStringLiteral("count")).toString(),
                               properties.value(QStringLiteral("count-visible")).toString());
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no session bus: run through dbus-run-session");
        // The dock's side: a connection of its own, listening to every sender.
        QDBusConnection dock = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("dock"));
        QVERIFY(dock.isConnected());
        QVERIFY(dock.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                             QStringLiteral("Update"), this, SLOT(onUpdate(QString, QVariantMap))));
    }

    // Each change of the count reaches the dock once; no count hides the badge.
    void countsReachTheDock()
    {
        LauncherBadge badge;
        for (int count : {3, 3, 0, -2, 12})
            badge.setCount(count);
        const QString app = QStringLiteral("application://com.nuvalto.Corvane.desktop ");
        QTRY_COMPARE(m_received, (QStringList{app + "3 true", app + "0 false", app + "12 true"}));
    }
};

QTEST_GUILESS_MAIN(TestLauncherBadge)
#include "tst_launcherbadge.moc"
