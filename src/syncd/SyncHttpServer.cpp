#include "SyncHttpServer.h"

#include "FormFields.h"
#include "SyncService.h"

#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrlQuery>

#include <zlib.h>

namespace {

using Status = QHttpServerResponse::StatusCode;

bool acceptsGzip(const QHttpServerRequest &request)
{
    for (const auto &[name, value] : request.headers()) {
        if (name.compare("Accept-Encoding", Qt::CaseInsensitive) == 0 && value.toLower().contains("gzip"))
            return true;
    }
    return false;
}

// The bytes as one gzip member; none if zlib fails.
std::optional<QByteArray> gzip(const QByteArray &bytes)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    QByteArray out(qsizetype(deflateBound(&stream, uLong(bytes.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return status == Z_STREAM_END ? std::optional(out) : std::nullopt;
}

QHttpServerResponse textReply(const QHttpServerRequest &request, const SyncService::Reply &reply)
{
    const auto status = static_cast<Status>(reply.status);
    if (!reply.body.isEmpty() && acceptsGzip(request)) {
        if (const std::optional<QByteArray> compressed = gzip(reply.body)) {
            QHttpServerResponse response("text/plain", *compressed, status);
            response.addHeader("Content-Encoding", "gzip");
            return response;
        }
    }
    return QHttpServerResponse("text/plain", reply.body, status);
}

QString page(const QString &title, const QString &text)
{
    return QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                          "<body><h1>%1</h1><p>%2</p></body></html>\n")
        .arg(title.toHtmlEscaped(), text.toHtmlEscaped());
}

} // namespace

SyncHttpServer::SyncHttpServer(SyncService &service)
    : m_service(service)
{
    addRoutes();
}

quint16 SyncHttpServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server.listen(address, port);
}

void SyncHttpServer::addRoutes()
{
    using Method = QHttpServerRequest::Method;
    m_server.route("/sync/fullSyncV2", Method::Post, [this](const QHttpServerRequest &request) {
        return textReply(request, m_service.fullSync(FormFields::parse(request.body())));
    });
    m_server.route("/sync/returnMacHelpList", Method::Post, [](const QHttpServerRequest &request) {
        return textReply(request, {200, SyncService::helpList()});
    });
    m_server.route("/corvane/ping2.php", Method::Post, [this](const QHttpServerRequest &request) {
        return textReply(request, m_service.ping(FormFields::parse(request.body())));
    });
    // The application opens these in the browser with "?email=...&platform=...".
    m_server.route("/sync_create_account", Method::Get, [this](const QHttpServerRequest &request) {
        const QString email = request.query().queryItemValue(QStringLiteral("email"), QUrl::FullyDecoded);
        if (m_service.openRegistration())
            return page(QStringLiteral("Create a sync account"),
                        QStringLiteral("This server makes an account on the first sync: enter your e-mail address "
                                       "and a new password in Corvane's sync window and choose Sync Now."));
        return page(QStringLiteral("Create a sync account"),
                    QStringLiteral("Accounts on this server are made by its administrator. Ask them for an account%1.")
                        .arg(email.isEmpty() ? QString() : QStringLiteral(" for ") + email));
    });
    m_server.route("/sync_reset_password", Method::Get, [](const QHttpServerRequest &request) {
        const QString email = request.query().queryItemValue(QStringLiteral("email"), QUrl::FullyDecoded);
        return page(QStringLiteral("Reset your password"),
                    QStringLiteral("Passwords on this server are set by its administrator. Ask them for a new "
                                   "password%1.")
                        .arg(email.isEmpty() ? QString() : QStringLiteral(" for ") + email));
    });
}
