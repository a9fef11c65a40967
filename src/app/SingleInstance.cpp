#include "SingleInstance.h"

#include "Logging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {
constexpr int TimeoutMilliseconds = 2000;
}

SingleInstance::SingleInstance(const QString &storePath, QObject *parent)
    : QObject(parent)
{
    // In the user's runtime folder: other users never meet this socket.
    const QByteArray path = QFileInfo(storePath).absoluteFilePath().toUtf8();
    const QString hash = QString::fromLatin1(QCryptographicHash::hash(path, QCryptographicHash::Sha1).toHex().left(16));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    m_name = QDir(folder).filePath(QStringLiteral("corvane-%1.socket").arg(hash));
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::readConnection);
}

SingleInstance::Role SingleInstance::claim(const QStringList &messages)
{
    if (deliver(messages))
        return Role::Secondary;
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(m_name))
        return Role::Primary;
    // Another start may have begun listening meanwhile; otherwise the socket
    // is left over from a crash and can go.
    if (deliver(messages))
        return Role::Secondary;
    QLocalServer::removeServer(m_name);
    if (!m_server.listen(m_name))
        qCWarning(lcApp).noquote() << "Cannot listen for links of other starts:" << m_server.errorString();
    return Role::Primary;
}

bool SingleInstance::deliver(const QStringList &messages) const
{
    QLocalSocket socket;
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(TimeoutMilliseconds))
        return false;
    for (const QString &message : messages)
        socket.write(message.toUtf8() + '\n');
    socket.disconnectFromServer();
    return socket.state() == QLocalSocket::UnconnectedState || socket.waitForDisconnected(TimeoutMilliseconds);
}

void SingleInstance::readConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QString message = QString::fromUtf8(socket->readLine()).trimmed();
                if (!message.isEmpty())
                    emit messageReceived(message);
            }
        });
    }
}
