#pragma once

#include <QHostAddress>
#include <QHttpServer>

class SyncService;

// The sync server's HTTP side: the routes clients call, answered from the
// service on the event loop's thread. Replies are gzip-compressed when the
// request accepts gzip.
//
//   POST /sync/fullSyncV2        the sync exchange
//   POST /sync/returnMacHelpList the help list as hexadecimal text
//   POST /corvane/ping2.php      usage pings
//   GET  /sync_create_account, /sync_reset_password   the account pages
class SyncHttpServer
{
public:
    explicit SyncHttpServer(SyncService &service);
    // The port listened on (the one given, or a free one for 0); 0 when it failed.
    quint16 listen(const QHostAddress &address, quint16 port);

private:
    void addRoutes();

    SyncService &m_service;
    QHttpServer m_server;
};
