#include "PingController.h"

#include "Logging.h"
#include "SyncController.h"
#include "SyncUtils.h"

#include <QPointer>

PingController::PingController(SyncTransport *transport, QObject *parent)
    : QObject(parent)
    , m_transport(transport)
{
}

void PingController::pingServer(const QString &event)
{
    m_waiting.append(event);
    if (!m_sending)
        sendNext();
}

void PingController::sendNext()
{
    if (m_waiting.isEmpty()) {
        m_sending = false;
        return;
    }
    m_sending = true;
    // Nothing about the user or the system beyond the device identifier.
    const QByteArray body = QStringLiteral("uid=%1&version=%2&event=%3&iosversion=%4")
                                .arg(SyncUtils::getDeviceUID(), SyncSettings::versionText(), m_waiting.takeFirst(),
                                     QStringLiteral("Not collected"))
                                .toUtf8();
    const QUrl url(QStringLiteral("http://%1/corvane/ping2.php").arg(SyncSettings::makerWebHost()));
    QNetworkRequest request = SyncUtils::formRequest(url, body.size());
    request.setTransferTimeout(int(Timeout.count()));
    m_transport->post(request, body, [self = QPointer<PingController>(this)](const SyncTransport::Reply &reply) {
        if (!self)
            return;
        if (reply.body)
            qCInfo(lcSync) << "Ping was successful";
        else
            qCWarning(lcSync).noquote() << QStringLiteral("Ping connection failed with this error: %1").arg(reply.error);
        self->sendNext();
    });
}
