#pragma once

// An in-memory key store with the real one's rules: modify needs the item,
// add must not replace one, and an unavailable store fails everything.

#include "KeyStore.h"

#include <QMap>
#include <QString>

#include <utility>

class FakeKeyStore : public KeyStore
{
public:
    enum class Mode { Available, AddFails, Unavailable };

    QMap<std::pair<QString, QString>, QString> items; // (service, account) -> password
    Mode mode = Mode::Available;

    void find(const QString &service, const QString &account, FindDone done) override
    {
        const auto it = items.constFind({service, account});
        done(mode != Mode::Unavailable && it != items.cend() ? std::optional<QString>(*it) : std::nullopt);
    }
    void modify(const QString &service, const QString &account, const QString &password, WriteDone done) override
    {
        const bool ok = mode != Mode::Unavailable && items.contains({service, account});
        if (ok)
            items[{service, account}] = password;
        done(ok);
    }
    void add(const QString &service, const QString &account, const QString &password, WriteDone done) override
    {
        const bool ok = mode == Mode::Available && !items.contains({service, account});
        if (ok)
            items[{service, account}] = password;
        done(ok);
    }
};
