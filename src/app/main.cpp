#include "AppDelegate.h"
#include "Clock.h"
#include "Logging.h"
#include "MainWindow.h"
#include "MyDocument.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <exception>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[0], &byte, 1);
}

// SIGTERM (session logout, kill) and SIGINT end every running event loop, an
// open alert included; after the main loop ends the store is saved and its
// lock released.
void quitOnTerminationSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(g_signalPipe[1], &byte, 1);
        QCoreApplication::exit(0);
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// The document's questions and warnings, as modal message boxes.
class MessageBoxAlerts : public DocumentAlerts
{
public:
    bool confirm(const QString &message, const QString &informativeText) override
    {
        QMessageBox box(QMessageBox::Warning, QObject::tr("Corvane"), message, QMessageBox::Ok | QMessageBox::Cancel);
        box.setInformativeText(informativeText);
        return box.exec() == QMessageBox::Ok;
    }
    void warn(const QString &message) override { QMessageBox::warning(nullptr, QObject::tr("Corvane"), message); }
};

} // namespace

int main(int argc, char *argv[])
{
    Clock::cacheSystemTimeZone();
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Nuvalto"));
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));

    quitOnTerminationSignals(app);

    // Declared first: the documents keep a pointer to it until they go.
    MessageBoxAlerts alerts;
    AppDelegate delegate;

    bool opened = false;
    try {
        opened = delegate.reloadFile();
    } catch (const std::exception &e) {
        qCWarning(lcApp).noquote() << QStringLiteral("EXCEPTION WHEN LOADING FILE: %1").arg(QString::fromUtf8(e.what()));
    }

    if (!opened) {
        QString reason = delegate.lastError();
        if (reason.isEmpty())
            reason = QObject::tr("The store could not be opened.");
        QMessageBox::critical(nullptr, QObject::tr("Corvane"),
                              QObject::tr("Corvane cannot open its store.\n\n%1").arg(reason));
        return 1;
    }

    // Everything the user changed reaches the file before the process ends,
    // unless the user, told that it cannot be saved, chooses to quit anyway.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, [&delegate] {
        if (MyDocument *document = delegate.document())
            document->saveBeforeQuitting();
    });

    MainWindow window(&delegate);

    // Every document the delegate opens (at launch, and again after a sync)
    // gets its set-up and saves on its own.
    const auto prepare = [&alerts](MyDocument *document) {
        if (!document)
            return;
        document->setAlerts(&alerts);
        document->setUp();
        document->setAutosaveEnabled(true);
    };
    QObject::connect(&delegate, &AppDelegate::documentChanged, &window, prepare);
    prepare(delegate.document());

    window.show();
    return app.exec();
}
