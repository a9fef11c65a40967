#include "Clock.h"
#include "CorvaneCtl.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <exception>

int main(int argc, char *argv[])
{
    Clock::cacheSystemTimeZone();
    QCoreApplication app(argc, argv);
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
