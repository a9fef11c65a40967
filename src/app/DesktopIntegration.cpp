#include "DesktopIntegration.h"

#include "Logging.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

void DesktopIntegration::registerDefaultHandler()
{
    const QString entry = QLatin1String(DesktopFileId) + QLatin1String(".desktop");
    if (QStandardPaths::locate(QStandardPaths::ApplicationsLocation, entry).isEmpty())
        return;
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) {
        qCWarning(lcApp, "Error registering default app: %d", -1);
        return;
    }
    auto *process = new QProcess(QCoreApplication::instance());
    QObject::connect(process, &QProcess::finished, process, [process](int exitCode, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || exitCode != 0)
            qCWarning(lcApp, "Error registering default app: %d", status == QProcess::NormalExit ? exitCode : -1);
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            qCWarning(lcApp, "Error registering default app: %d", -1);
            process->deleteLater();
        }
    });
    process->start(xdgMime, {QStringLiteral("default"), entry, QStringLiteral("x-scheme-handler/corvane")});
}
