#pragma once

#include <QString>

// The count on the application's launcher icon, sent as the Unity
// LauncherEntry signal that KDE Plasma and GNOME's dock extensions show.
// Without a session bus nothing is sent and nothing fails.
class LauncherBadge
{
public:
    explicit LauncherBadge(const QString &desktopFileName = QStringLiteral("com.nuvalto.Corvane.desktop"));

    // A count below 1 hides the badge.
    void setCount(int count);

private:
    QString m_appUri;
    int m_lastCount = -1;
};
