#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

// The desktop's store of secrets, as three operations on generic password
// items found by service and account. Each answers once, through its
// callback, on the main thread; answers may come later than the call.
// Passwords are never logged.
class KeyStore
{
public:
    using FindDone = std::function<void(std::optional<QString> password)>; // none: no such item
    using WriteDone = std::function<void(bool ok)>;

    virtual ~KeyStore() = default;
    // Finds the item of service and account and reads its password.
    virtual void find(const QString &service, const QString &account, FindDone done) = 0;
    // Replaces the password of the item of service and account.
    virtual void modify(const QString &service, const QString &account, const QString &password,
                        WriteDone done) = 0;
    // Adds an item for service and account.
    virtual void add(const QString &service, const QString &account, const QString &password,
                     WriteDone done) = 0;
};

// The key store over qtkeychain: the Secret Service (GNOME Keyring, KeePassXC)
// or KWallet. Never falls back to a plain file: without a key store every
// operation fails and logs why (never the password).
class QtKeyStore : public QObject, public KeyStore
{
    Q_OBJECT
public:
    explicit QtKeyStore(QObject *parent = nullptr);

    void find(const QString &service, const QString &account, FindDone done) override;
    void modify(const QString &service, const QString &account, const QString &password,
                WriteDone done) override;
    void add(const QString &service, const QString &account, const QString &password,
             WriteDone done) override;

private:
    void write(const QString &service, const QString &account, const QString &password,
               WriteDone done);
};
