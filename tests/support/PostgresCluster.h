#pragma once

// A temporary PostgreSQL cluster of its own, for the sync server's tests and
// benchmark: it answers only on a socket in its own folder and stops when it
// goes. PostgreSQL refuses to run as root: then it runs as the postgres user.

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

class PostgresCluster
{
public:
    PostgresCluster() = default;
    PostgresCluster(const PostgresCluster &) = delete;
    PostgresCluster &operator=(const PostgresCluster &) = delete;
    ~PostgresCluster()
    {
        if (m_running)
            run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), m_dir.filePath(QStringLiteral("data")),
                                           QStringLiteral("-m"), QStringLiteral("immediate"), QStringLiteral("stop")});
    }

    // Empty, or why it cannot run.
    QString start()
    {
        const QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql"))
                                         .entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::Reversed);
        if (versions.isEmpty())
            return QStringLiteral("PostgreSQL is not installed (no /usr/lib/postgresql/VERSION/bin)");
        m_bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(versions.constFirst());
        if (::geteuid() == 0 && QProcess::execute(QStringLiteral("chown"), {QStringLiteral("postgres"), m_dir.path()}) != 0)
            return QStringLiteral("there is no postgres user to run PostgreSQL as");
        const QString data = m_dir.filePath(QStringLiteral("data"));
        QString output;
        if (run(QStringLiteral("initdb"), {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"),
                                           QStringLiteral("-U"), QStringLiteral("postgres")}, &output) != 0
            || run(QStringLiteral("pg_ctl"),
                   {QStringLiteral("-D"), data, QStringLiteral("-l"), m_dir.filePath(QStringLiteral("log")), QStringLiteral("-w"),
                    QStringLiteral("-o"), QStringLiteral("-p 5432 -k %1 -c listen_addresses=''").arg(m_dir.path()),
                    QStringLiteral("start")}, &output) != 0)
            return QStringLiteral("PostgreSQL could not start: ") + output.trimmed();
        m_running = true;
        return {};
    }

    // The connection address of a database of the cluster.
    QString address(const QString &database) const
    {
        return QStringLiteral("postgresql:///%1?host=%2&port=5432&user=postgres").arg(database, m_dir.path());
    }

private:
    // The tool's exit code (-1 when it did not end normally); its output goes to `output`.
    int run(const QString &tool, const QStringList &arguments, QString *output = nullptr) const
    {
        const QString program = m_bin + QLatin1Char('/') + tool;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        if (::geteuid() == 0)
            process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                                 QStringLiteral("--"), program} + arguments);
        else
            process.start(program, arguments);
        process.waitForFinished(120000);
        if (output)
            *output = QString::fromLocal8Bit(process.readAll());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    QTemporaryDir m_dir; // the data, the socket and the log
    QString m_bin;
    bool m_running = false;
};
