// The sync server's request body: the form fields, then a full sync of the
// uploaded message for an account that exists (so the message is read, not
// refused at the login).

#include "FormFields.h"
#include "FuzzSupport.h"
#include "SqliteSyncStorage.h"
#include "SyncService.h"
#include "SyncUtils.h"

#include <QFile>

#include <sodium.h>

namespace {

const QByteArray Email = "fuzz@example.org";
const QString Password = QStringLiteral("secret");
// What the client sends for it.
QByteArray clientHash() { return SyncUtils::HashAndSalt(Password).toUtf8(); }

// Every accepted upload adds to the account, and every reply holds all of it:
// the server starts afresh every few hundred inputs so the run keeps its pace.
struct Server {
    std::unique_ptr<SqliteSyncStorage> storage;
    std::unique_ptr<SyncService> service;
    int uses = 0;

    SyncService &fresh()
    {
        if (service && ++uses < 500)
            return *service;
        service.reset();
        storage.reset();
        const QString path = fuzz::scratch().filePath(QStringLiteral("server.sqlite"));
        for (const QString &suffix : {QString(), QStringLiteral("-wal"), QStringLiteral("-shm")})
            QFile::remove(path + suffix);
        storage = SqliteSyncStorage::open(path, nullptr);
        service = std::make_unique<SyncService>(*storage, SyncService::Registration::Closed);
        service->addUser(QString::fromLatin1(Email), Password);
        uses = 0;
        return *service;
    }
};

Server server;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::NotNeeded);
    return sodium_init() < 0 ? 1 : 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QHash<QByteArray, QByteArray> form = FormFields::parse(fuzz::bytes(data, size));
    form.insert("email", Email);
    form.insert("password", clientHash());
    server.fresh().fullSync(form);
    return 0;
}
