#include "Clock.h"
#include "CorvaneCtl.h"

#include <QGuiApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>

int main(int argc, char *argv[])
{
    Clock::cacheSystemTimeZone();
    // A PDF is laid out with fonts, which need the GUI application; the tool
    // shows no window, so it needs no display. Other commands stay without it.
    const bool laysOutText = std::any_of(argv + 1, argv + argc, [](const char *argument) {
        return qstrcmp(argument, "export-pdf") == 0;
    });
    if (laysOutText && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::unique_ptr<QCoreApplication> app =
        laysOutText ? std::make_unique<QGuiApplication>(argc, argv) : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Nuvalto"));
    QCoreApplication::setApplicationName(QStringLiteral("corvanectl"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    int status = CorvaneCtl::Failure;
    try {
        CorvaneCtl ctl(out, err);
        status = ctl.run(QCoreApplication::arguments());
    } catch (const std::exception &e) {
        err << "corvanectl: " << QString::fromLocal8Bit(e.what()) << '\n';
    } catch (...) {
        err << "corvanectl: unexpected failure\n";
    }
    out.flush();
    err.flush();
    return status;
}
