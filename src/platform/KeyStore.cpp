#include "KeyStore.h"

#include "Logging.h"

#include <qt6keychain/keychain.h>

namespace {

// Reads the item of service and account; answers the job's error (EntryNotFound
// when there is no such item) and the password. Other errors are logged: they
// tell the user why a login is not remembered.
void readItem(QObject *owner, const QString &service, const QString &account,
              std::function<void(QKeychain::Error, const QString &)> done)
{
    auto *job = new QKeychain::ReadPasswordJob(service, owner);
    job->setInsecureFallback(false);
    job->setKey(account);
    QObject::connect(job, &QKeychain::Job::finished, owner, [job, done = std::move(done)] {
        if (job->error() != QKeychain::NoError && job->error() != QKeychain::EntryNotFound)
            qCWarning(lcSync).noquote() << QStringLiteral("Key store: %1").arg(job->errorString());
        done(job->error(), job->error() == QKeychain::NoError ? job->textData() : QString());
    });
    job->start();
}

} // namespace

QtKeyStore::QtKeyStore(QObject *parent)
    : QObject(parent)
{
}

void QtKeyStore::find(const QString &service, const QString &account, FindDone done)
{
    readItem(this, service, account,
             [done = std::move(done)](QKeychain::Error error, const QString &password) {
                 done(error == QKeychain::NoError ? std::optional<QString>(password) : std::nullopt);
             });
}

// qtkeychain's write replaces or creates; the read before it gives modify and
// add the meaning of their names: modify needs the item, add must not replace one.
void QtKeyStore::modify(const QString &service, const QString &account, const QString &password,
                        WriteDone done)
{
    readItem(this, service, account,
             [this, service, account, password, done = std::move(done)](QKeychain::Error error, const QString &) {
                 if (error == QKeychain::NoError)
                     write(service, account, password, done);
                 else
                     done(false);
             });
}

void QtKeyStore::add(const QString &service, const QString &account, const QString &password,
                     WriteDone done)
{
    readItem(this, service, account,
             [this, service, account, password, done = std::move(done)](QKeychain::Error error, const QString &) {
                 if (error == QKeychain::EntryNotFound)
                     write(service, account, password, done);
                 else
                     done(false);
             });
}

void QtKeyStore::write(const QString &service, const QString &account, const QString &password,
                       WriteDone done)
{
    auto *job = new QKeychain::WritePasswordJob(service, this);
    job->setInsecureFallback(false);
    job->setKey(account);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [job, done = std::move(done)] {
        if (job->error() != QKeychain::NoError)
            qCWarning(lcSync).noquote() << QStringLiteral("Key store: %1").arg(job->errorString());
        done(job->error() == QKeychain::NoError);
    });
    job->start();
}
