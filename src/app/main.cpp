#include "AppDelegate.h"
#include "Clock.h"
#include "DesktopIntegration.h"
#include "DocumentCalendar.h"
#include "LinkOpener.h"
#include "ListFilePanels.h"
#include "Logging.h"
#include "MainWindow.h"
#include "MyDocument.h"
#include "SingleInstance.h"
#include "StoreFiles.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>

#include <memory>

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

// SIGTERM (session logout, kill) and SIGINT (Ctrl+C) are caught from the
// start; they are acted on once the event loop runs.
bool catchTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return true;
}

// A termination signal quits as the Quit command does (the sync before
// exit, the save, the end ping). A second one, while that quit waits, ends
// the event loop at once; the store is saved after it without a question.
void quitOnTerminationSignals(AppDelegate &delegate)
{
    auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &delegate);
    QObject::connect(notifier, &QSocketNotifier::activated, &delegate, [&delegate] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(g_signalPipe[1], &byte, 1);
        if (delegate.quitState() == AppDelegate::QuitState::Running)
            delegate.requestQuit();
        else
            QCoreApplication::exit(0);
    });
}

// The document's questions and warnings, as window-modal message boxes that
// answer when closed; nothing waits for them in a loop of its own.
class MessageBoxAlerts : public DocumentAlerts
{
public:
    explicit MessageBoxAlerts(QWidget *window)
        : m_window(window)
    {
    }

    void confirm(const QString &message, const QString &informativeText, Answer answer) override
    {
        QMessageBox *box = makeBox(message, QMessageBox::Ok | QMessageBox::Cancel);
        box->setInformativeText(informativeText);
        QObject::connect(box, &QDialog::finished, box, [box, answer = std::move(answer)](int) {
            answer(box->standardButton(box->clickedButton()) == QMessageBox::Ok);
        });
        box->open();
    }
    void warn(const QString &message, const QString &informativeText = QString()) override
    {
        QMessageBox *box = makeBox(message, QMessageBox::Ok);
        box->setInformativeText(informativeText);
        box->open();
    }

private:
    QMessageBox *makeBox(const QString &message, QMessageBox::StandardButtons buttons)
    {
        auto *box = new QMessageBox(QMessageBox::Warning, QObject::tr("Corvane"), message, buttons, m_window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        return box;
    }

    QWidget *m_window;
};

bool isLink(const QString &argument)
{
    return argument.startsWith(QLatin1String("corvane:"));
}

} // namespace

int main(int argc, char *argv[])
{
    Clock::cacheSystemTimeZone();
    QApplication app(argc, argv);
    QDir::addSearchPath(QStringLiteral("icons"), QStringLiteral(":/icons"));
    QApplication::setOrganizationName(QStringLiteral("Nuvalto"));
    QApplication::setApplicationName(QStringLiteral("Corvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Corvane"));
    QGuiApplication::setDesktopFileName(QLatin1String(DesktopIntegration::DesktopFileId));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/com.nuvalto.Corvane.svg")));

    const bool catchingSignals = catchTerminationSignals();

    // "corvane FILE.corvx ..." imports list files; "corvane corvane://..." opens a link.
    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("FILE.corvx|LINK"),
                                 QObject::tr("List files to import, in order, or corvane:// links to open."),
                                 QStringLiteral("[FILE.corvx|LINK...]"));
    parser.process(app);
    QStringList arguments;
    for (const QString &argument : parser.positionalArguments())
        arguments << (isLink(argument) ? argument : QFileInfo(argument).absoluteFilePath());

    // A second start on the same store hands its links and files to the
    // running application and ends before it touches the store.
    SingleInstance instance(StoreFiles::pathForDataFile());
    if (instance.claim(arguments) == SingleInstance::Role::Secondary)
        return 0;
    DesktopIntegration::registerDefaultHandler();

    AppDelegate delegate;
    if (catchingSignals)
        quitOnTerminationSignals(delegate);

    // The window, built once the store is open. The welcome alert of the
    // launch opens over it when the event loop runs.
    std::unique_ptr<MainWindow> window;
    QObject::connect(
        &delegate, &AppDelegate::welcomeRequested, &delegate,
        [&window](const QString &message, const QString &informativeText) {
            auto *box = new QMessageBox(QMessageBox::Information, QObject::tr("Corvane"), message, QMessageBox::Ok,
                                        window.get());
            box->setInformativeText(informativeText);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
        },
        Qt::QueuedConnection);

    if (!delegate.applicationDidFinishLaunching()) {
        QString reason = delegate.lastError();
        if (reason.isEmpty())
            reason = QObject::tr("The store could not be opened.");
        QMessageBox::critical(nullptr, QObject::tr("Corvane"),
                              QObject::tr("Corvane cannot open its store.\n\n%1").arg(reason));
        return 1;
    }

    // Quitting from the window or by a first signal saves first
    // (AppDelegate::requestQuit). A second signal ends the loop at once: what
    // is left is saved here, without a question, since no window remains to
    // ask in; then the end ping and the defaults follow.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, [&delegate] {
        if (MyDocument *document = delegate.document()) {
            document->setAlerts(nullptr);
            document->saveBeforeQuitting([](bool) {});
        }
        delegate.applicationWillTerminate();
    });

    MyDocument *document = delegate.document();
    window = std::make_unique<MainWindow>(&delegate, document);
    MessageBoxAlerts alerts(window.get());
    document->setAlerts(&alerts, window.get());
    document->setUp();
    document->setAutosaveEnabled(true);
    // Dated items mirrored into the calendar folder, while calendar sync is on.
    DocumentCalendar calendar(document);

    // The badge whenever the application gains or loses the focus.
    QObject::connect(&app, &QGuiApplication::applicationStateChanged, &delegate, &AppDelegate::updateIconBadge);

    LinkOpener linkOpener(document);
    const auto openArguments = [&linkOpener, &window](const QStringList &received) {
        QStringList listFiles;
        for (const QString &argument : received) {
            if (isLink(argument))
                linkOpener.handleURLEvent(argument);
            else
                listFiles << argument;
        }
        if (!listFiles.isEmpty())
            window->listFilePanels()->importFiles(listFiles);
    };
    QObject::connect(&instance, &SingleInstance::messageReceived, window.get(),
                     [openArguments](const QString &message) { openArguments({message}); });

    window->show();
    openArguments(arguments);
    return app.exec();
}
