#include "SyncLogin.h"

#include "Defaults.h"
#include "KeyStore.h"
#include "Logging.h"

#include <QPointer>

namespace {
const QString LoginKey = QStringLiteral("cv-login");
const QString PreviousLoginKey = QStringLiteral("cv-login-previous");
} // namespace

SyncLogin::SyncLogin(KeyStore &keyStore, Defaults &defaults, QObject *parent)
    : QObject(parent)
    , m_keyStore(keyStore)
    , m_defaults(defaults)
{
}

QString SyncLogin::getCurrentUsername() const
{
    return m_defaults.stringValue(LoginKey);
}

QString SyncLogin::getPreviousUsername() const
{
    return m_defaults.stringValue(PreviousLoginKey);
}

void SyncLogin::getPasswordForUsername(const QString &username,
                                       std::function<void(std::optional<QString>)> done)
{
    m_keyStore.find(Service, username, std::move(done));
}

void SyncLogin::setPassword(const QString &password, const QString &username, std::function<void(bool)> done)
{
    QPointer<SyncLogin> self(this);
    m_keyStore.find(Service, username, [self, password, username, done = std::move(done)](std::optional<QString> found) {
        if (!self)
            return;
        if (found) {
            self->m_keyStore.modify(Service, username, password, done);
            return;
        }
        qCInfo(lcSync).noquote() << QStringLiteral("Creating new keychain item for user %1").arg(username);
        self->m_keyStore.add(Service, username, password, [username, done](bool added) {
            if (!added)
                qCWarning(lcSync).noquote() << QStringLiteral("Could not create a new keychain item for user %1").arg(username);
            done(added);
        });
    });
}

void SyncLogin::fillOutLogin(std::function<void(const QString &, const QString &)> done)
{
    const QString email = getCurrentUsername();
    auto loaded = [email, done = std::move(done)](const QString &password) {
        qCInfo(lcSync).noquote() << QStringLiteral("Loaded email = %1").arg(email);
        done(email, password);
    };
    if (email.isEmpty()) {
        loaded(QString());
        return;
    }
    getPasswordForUsername(email, [email, loaded](std::optional<QString> password) {
        if (!password)
            qCWarning(lcSync).noquote() << QStringLiteral("ERROR: couldn't produce password for username %1").arg(email);
        loaded(password.value_or(QString()));
    });
}

// An empty e-mail has no item to key, and an empty password (the key store
// could not be read when the sheet was filled, or the field was cleared) is
// not written over the remembered one.
void SyncLogin::saveUserEmailPassword(const QString &email, const QString &password, std::function<void(bool)> done)
{
    m_defaults.setValue(PreviousLoginKey, getCurrentUsername());
    m_defaults.setValue(LoginKey, email);
    m_defaults.synchronize();
    if (!done)
        done = [](bool) {};
    if (email.isEmpty() || password.isEmpty()) {
        done(false);
        return;
    }
    setPassword(password, email, [email, done](bool saved) {
        if (!saved)
            qCWarning(lcSync).noquote() << QStringLiteral("ERROR: Failed to save password for user %1").arg(email);
        done(saved);
    });
}
