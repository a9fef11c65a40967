#include "LauncherBadge.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

LauncherBadge::LauncherBadge(const QString &desktopFileName)
    : m_appUri(QStringLiteral("application://") + desktopFileName)
{
}

void LauncherBadge::setCount(int count)
{
    count = qMax(count, 0);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (count == m_lastCount || !bus.isConnected())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/com/nuvalto/Corvane/LauncherEntry"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    signal << m_appUri
           << QVariantMap{{QStringLiteral("count"), qint64(count)}, {QStringLiteral("count-visible"), count > 0}};
    if (bus.send(signal))
        m_lastCount = count;
}
