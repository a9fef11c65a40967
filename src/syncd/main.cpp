#include "PostgresSyncStorage.h"
#include "SqliteSyncStorage.h"
#include "SyncHttpServer.h"
#include "SyncService.h"
#include "SyncdLogging.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <sodium.h>

// corvane-syncd: a sync server for Corvane.
//
//   corvane-syncd --db sqlite:PATH|postgresql://... [--listen ADDRESS:PORT] [--open-registration]
//   corvane-syncd --db sqlite:PATH add-user EMAIL      (password on standard input)
namespace {

int fail(const QString &message)
{
    QTextStream(stderr) << "corvane-syncd: " << message << '\n';
    return 1;
}

// "sqlite:PATH" opens that file, "postgresql://..." that database.
std::unique_ptr<SyncStorage> openStorage(const QString &db, QString *error)
{
    if (db.startsWith(QLatin1String("sqlite:")) && db.size() > 7)
        return SqliteSyncStorage::open(db.mid(7), error);
    if (db.startsWith(QLatin1String("postgresql://")) || db.startsWith(QLatin1String("postgres://")))
        return PostgresSyncStorage::open(db, error);
    *error = QStringLiteral("'%1' is no database: use sqlite:PATH or postgresql://...").arg(db);
    return nullptr;
}

// "ADDRESS:PORT", the address possibly in brackets ("[::1]:8080").
bool parseListen(const QString &text, QHostAddress *address, quint16 *port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (colon < 1 || !ok || number > 65535 || !address->setAddress(host))
        return false;
    *port = quint16(number);
    return true;
}

int addUser(SyncService &service, const QString &email)
{
    if (email.isEmpty() || email.contains(QLatin1Char('&')) || !email.contains(QLatin1Char('@')))
        return fail(QStringLiteral("'%1' is no e-mail address a client can send").arg(email));
    const QString password = QTextStream(stdin).readLine();
    if (password.isEmpty())
        return fail(QStringLiteral("no password on the standard input"));
    switch (service.addUser(email, password)) {
    case SyncService::UserResult::Added:
        QTextStream(stdout) << "Added " << email << '\n';
        return 0;
    case SyncService::UserResult::Changed:
        QTextStream(stdout) << "Changed the password of " << email << '\n';
        return 0;
    case SyncService::UserResult::Failed:
        break;
    }
    return fail(QStringLiteral("could not store the account"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-syncd"));
    if (sodium_init() < 0)
        return fail(QStringLiteral("libsodium could not start"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A sync server for Corvane."));
    parser.addHelpOption();
    const QCommandLineOption dbOption(QStringLiteral("db"), QStringLiteral("The database: sqlite:PATH or postgresql://[USER@]HOST[:PORT]/NAME."), QStringLiteral("DB"));
    const QCommandLineOption listenOption(QStringLiteral("listen"),
                                          QStringLiteral("Address and port to answer on (port 0: a free one). "
                                                         "Default 127.0.0.1:8080."),
                                          QStringLiteral("ADDRESS:PORT"), QStringLiteral("127.0.0.1:8080"));
    const QCommandLineOption openOption(QStringLiteral("open-registration"),
                                        QStringLiteral("Make an account for an unknown e-mail on its first sync."));
    parser.addOptions({dbOption, listenOption, openOption});
    parser.addPositionalArgument(QStringLiteral("add-user"),
                                 QStringLiteral("add-user EMAIL: add the account, or give it a new password, read from "
                                                "the standard input."),
                                 QStringLiteral("[add-user EMAIL]"));
    parser.process(app);

    const QStringList positional = parser.positionalArguments();
    const bool addingUser = positional.value(0) == QLatin1String("add-user") && positional.size() == 2;
    if (!positional.isEmpty() && !addingUser)
        return fail(QStringLiteral("unknown arguments '%1'; try --help").arg(positional.join(QLatin1Char(' '))));
    if (!parser.isSet(dbOption))
        return fail(QStringLiteral("--db is required; try --help"));
    QString error;
    const std::unique_ptr<SyncStorage> storage = openStorage(parser.value(dbOption), &error);
    if (!storage)
        return fail(QStringLiteral("cannot open the database: %1").arg(error));
    SyncService service(*storage, parser.isSet(openOption) ? SyncService::Registration::Open
                                                           : SyncService::Registration::Closed);
    if (addingUser)
        return addUser(service, positional.at(1));

    QHostAddress address;
    quint16 port = 0;
    if (!parseListen(parser.value(listenOption), &address, &port))
        return fail(QStringLiteral("'%1' is no ADDRESS:PORT").arg(parser.value(listenOption)));
    SyncHttpServer server(service);
    const quint16 listening = server.listen(address, port);
    if (listening == 0)
        return fail(QStringLiteral("cannot listen on %1").arg(parser.value(listenOption)));
    // Tests and scripts read the port from here when they asked for a free one.
    QTextStream(stdout) << "corvane-syncd listening on " << address.toString() << ':' << listening << Qt::endl;
    // Stopping it (SIGTERM) is safe at any moment: each sync is one transaction.
    return app.exec();
}
