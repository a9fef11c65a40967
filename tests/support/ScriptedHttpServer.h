#pragma once

// A real HTTP server on 127.0.0.1 for tests: records each request and
// answers from a script, on a fresh connection each time.
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUrl>

class ScriptedHttpServer : public QObject
{
public:
    struct Request {
        QByteArray head; // request line and headers
        QByteArray body;
    };

    struct Response {
        Response() = default;
        Response(const QByteArray &body, const QByteArray &extraHeaders = {}, int status = 200, bool hold = false)
            : body(body)
            , extraHeaders(extraHeaders)
            , status(status)
            , hold(hold)
        {
        }
        QByteArray body;
        QByteArray extraHeaders; // "Name: value\r\n" lines
        int status = 200;
        bool hold = false; // answer only when release() is called
    };

    QList<Request> requests;
    QList<Response> script;

    ScriptedHttpServer()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
    }
    QUrl base() const { return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort())); }
    void release()
    {
        if (m_held)
            answer(m_held, m_heldResponse);
        m_held = nullptr;
    }

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        qsizetype length = 0;
        for (const QByteArray &line : head.split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return;
        requests.append({head, buffer.mid(end + 4, length)});
        m_buffers.remove(socket);
        const Response response = script.isEmpty() ? Response{"<>"} : script.takeFirst();
        if (response.hold) {
            m_held = socket;
            m_heldResponse = response;
            return;
        }
        answer(socket, response);
    }
    void answer(QTcpSocket *socket, const Response &response)
    {
        socket->write("HTTP/1.1 " + QByteArray::number(response.status) + " X\r\nConnection: close\r\nContent-Length: "
                      + QByteArray::number(response.body.size()) + "\r\n" + response.extraHeaders + "\r\n"
                      + response.body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QTcpSocket *m_held = nullptr;
    Response m_heldResponse;
};
