#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class Defaults;
class KeyStore;

// The remembered sync login: the e-mail in the defaults ("cv-login", and the
// one before it in "cv-login-previous"), the password in the key store
// (service "Corvane", account the e-mail). Without a key store the login is
// simply not remembered; syncing goes on with the typed password.
class SyncLogin : public QObject
{
    Q_OBJECT
public:
    static inline const QString Service = QStringLiteral("Corvane");

    SyncLogin(KeyStore &keyStore, Defaults &defaults, QObject *parent = nullptr);

    // The stored "cv-login" and "cv-login-previous" (empty when absent).
    QString getCurrentUsername() const;
    QString getPreviousUsername() const;

    // The key store's password of username; none when there is no item.
    void getPasswordForUsername(const QString &username,
                                std::function<void(std::optional<QString>)> done);
    // Replaces the password of username's item, or adds one; answers success.
    void setPassword(const QString &password, const QString &username, std::function<void(bool)> done);

    // Loads the stored e-mail and its password (empty when none is stored).
    void fillOutLogin(std::function<void(const QString &email, const QString &password)> done);
    // Remembers the sheet's e-mail and password; answers whether the password
    // is in the key store.
    void saveUserEmailPassword(const QString &email, const QString &password,
                               std::function<void(bool)> done = {});

private:
    KeyStore &m_keyStore;
    Defaults &m_defaults;
};
