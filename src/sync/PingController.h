#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>

class SyncTransport;

// Tells the maker's web host that the application started ("startapp") or
// ended ("endapp"). The answer is ignored; failures are only logged. Pings
// go out one at a time, in the order they were asked for.
class PingController : public QObject
{
    Q_OBJECT
public:
    // A ping that hangs gives up after this, so the ones behind it still go.
    static constexpr std::chrono::milliseconds Timeout{60000};

    explicit PingController(SyncTransport *transport, QObject *parent = nullptr);

    void pingServer(const QString &event);

private:
    void sendNext();

    SyncTransport *m_transport;
    QStringList m_waiting; // events not sent yet
    bool m_sending = false;
};
