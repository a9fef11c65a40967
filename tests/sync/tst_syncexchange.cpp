// One sync exchange against a real HTTP server on 127.0.0.1 that records
// each request and answers from a script, and the codecs a reply passes
// through (gzip, then Base64).
#include "Base64.h"
#include "DocumentFakes.h"
#include "Gzip.h"
#include "PayloadBuilder.h"
#include "ScriptedHttpServer.h"
#include "SyncController.h"
#include "SyncUtils.h"
#include "TestSupport.h"
#include "WireLists.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTest>

#include <zlib.h>

namespace {

using Request = ScriptedHttpServer::Request;
using Response = ScriptedHttpServer::Response;

// A store that records what the exchange asks of it.
struct FakeStore : SyncStore {
    int backups = 0;
    QByteArray sent = "payload bytes";
    QList<QByteArray> merged;
    MergeResult result = MergeResult::Merged;

    void backup() override { ++backups; }
    QByteArray payload() override { return sent; }
    MergeResult merge(const QByteArray &message, QString *) override
    {
        merged << message;
        return result;
    }
};

// One exchange against the server at `base`, with a recording store.
struct Exchange {
    explicit Exchange(const QString &base) { Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), base); }
    FakeStore store;
    HttpSyncTransport transport;
    SyncController sync{&store, &transport};
    QSignalSpy finished{&sync, &SyncController::finished};
};

QByteArray gzip(const QByteArray &bytes)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(bytes.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

// An HTTPS server on 127.0.0.1 with a self-signed certificate made for the
// test: the first request is redirected to `location`, later ones get "<>".
class TlsRedirectServer : public QObject
{
public:
    QList<QByteArray> heads;
    QByteArray location;

    bool start(const QString &folder)
    {
        const QString cert = folder + QStringLiteral("/cert.pem"), key = folder + QStringLiteral("/key.pem");
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
                                                  "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
                                                  key, "-out", cert});
        openssl.waitForFinished();
        const QList<QSslCertificate> certificates = QSslCertificate::fromPath(cert);
        if (openssl.exitCode() != 0 || certificates.isEmpty())
            return false;
        QSslConfiguration server = QSslConfiguration::defaultConfiguration();
        server.setLocalCertificate(certificates.first());
        server.setPrivateKey(QSslKey(readBytes(key), QSsl::Rsa));
        m_server.setSslConfiguration(server);
        // Only this test's client trusts the certificate.
        QSslConfiguration client = QSslConfiguration::defaultConfiguration();
        client.addCaCertificates(certificates);
        QSslConfiguration::setDefaultConfiguration(client);
        connect(&m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        });
        return m_server.listen(QHostAddress::LocalHost);
    }
    QString base() const { return QStringLiteral("https://127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    void read(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        qsizetype length = 0;
        for (const QByteArray &line : buffer.left(end).split('\n')) {
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        }
        if (buffer.size() < end + 4 + length)
            return;
        heads << buffer.left(end);
        const QByteArray answer = heads.size() == 1 ? "HTTP/1.1 307 X\r\nLocation: " + location + "\r\nContent-Length: 0\r\n"
                                                    : QByteArray("HTTP/1.1 200 X\r\nContent-Length: 2\r\n");
        socket->write(answer + "Connection: close\r\n\r\n" + (heads.size() == 1 ? "" : "<>"));
        socket->disconnectFromHost();
    }

    QSslServer m_server;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

enum Codec { Base64Text, GzipBytes };

} // namespace

Q_DECLARE_METATYPE(SyncStore::MergeResult)
Q_DECLARE_METATYPE(Codec)

class TestSyncExchange : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() { Defaults::useFileForTesting(m_dir.filePath(QStringLiteral("defaults.ini"))); }
    void cleanup() { Defaults::useFileForTesting(QString()); }

    void replies_data()
    {
        QTest::addColumn<QList<Response>>("script");
        QTest::addColumn<SyncStore::MergeResult>("mergeResult");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("merged"); // what reached the store; "-" for nothing

        using R = SyncStore::MergeResult;
        const int ok = int(SyncController::Outcome::Succeeded);
        const QByteArray b64 = "CgRXb3Jr"; // "\n\x04Work"
        const QByteArray bytes = "\n\x04Work";
        QTest::newRow("nothing new, with blanks") << QList<Response>{{" <>\r\n"}} << R::Merged << ok << QByteArray("-");
        QTest::newRow("a message") << QList<Response>{{b64 + "\n"}} << R::Merged << ok << bytes;
        QTest::newRow("an error page is read as the body") << QList<Response>{{b64, {}, 500}} << R::Merged << ok << bytes;
        QTest::newRow("not Base64") << QList<Response>{{"Wrong password"}} << R::Merged
                                    << int(SyncController::Outcome::LoginFailed) << QByteArray("-");
        QTest::newRow("Base64 but no message") << QList<Response>{{b64}} << R::NotAMessage
                                               << int(SyncController::Outcome::UnexpectedReply) << bytes;
        // An empty reply would mark every local list deleted.
        QTest::newRow("empty") << QList<Response>{{" \n"}} << R::Merged
                               << int(SyncController::Outcome::UnexpectedReply) << QByteArray("-");
        QTest::newRow("store not saved") << QList<Response>{{b64}} << R::NotSaved
                                         << int(SyncController::Outcome::MergeFailed) << bytes;
        QTest::newRow("gzip") << QList<Response>{{gzip(b64), "Content-Encoding: gzip\r\n"}} << R::Merged << ok << bytes;
        QTest::newRow("damaged gzip") << QList<Response>{{gzip(b64).chopped(4), "Content-Encoding: gzip\r\n"}}
                                      << R::Merged << int(SyncController::Outcome::UnexpectedReply) << QByteArray("-");
        QTest::newRow("redirect") << QList<Response>{{"", "Location: /sync/moved\r\n", 307}, {b64}} << R::Merged << ok
                                  << bytes;
    }

    // Each reply ends in one outcome; only a decoded message reaches the store.
    void replies()
    {
        QFETCH(QList<Response>, script);
        QFETCH(SyncStore::MergeResult, mergeResult);
        QFETCH(QByteArray, merged);
        ScriptedHttpServer server;
        server.script = script;
        Exchange x(server.base().toString());
        x.store.result = mergeResult;
        LogCapture quiet;

        QVERIFY(x.sync.uploadToServer(QStringLiteral("ann@example.com"), QStringLiteral("secret")));
        QTRY_COMPARE(x.finished.size(), 1);
        QTEST(int(x.finished[0][0].value<SyncController::Outcome>()), "outcome");
        QCOMPARE(x.store.merged, merged == "-" ? QList<QByteArray>() : QList<QByteArray>{merged});
        QCOMPARE(x.store.backups, 1);
        QVERIFY(!x.sync.isSyncing());
    }

    // The body carries every value as it is (an address with "&" and "+",
    // the Base64 "+", "/" and "="), with the headers the server expects.
    void request()
    {
        ScriptedHttpServer server;
        Exchange x(server.base().toString() + "/");
        x.store.sent = QByteArray("\xfb\xff\xbf\x01", 4); // "+/+/AQ=="
        QVERIFY(x.sync.uploadToServer(QStringLiteral("a&b+c@example.com"), QString()));
        QTRY_COMPARE(x.finished.size(), 1);

        QCOMPARE(server.requests.size(), 1);
        const QByteArray head = server.requests[0].head;
        QVERIFY(head.startsWith("POST /sync/fullSyncV2 HTTP/1.1\r\n"));
        for (const char *header : {"Content-Type: application/x-www-form-urlencoded", "User-Agent: MyApp-V1.0",
                                   "Accept-Encoding: gzip"})
            QVERIFY2(head.contains(header), header);
        QCOMPARE(server.requests[0].body,
                 "uid=" + SyncUtils::getDeviceUID().toUtf8() + "&email=a&b+c@example.com&password="
                     + SyncUtils::SHA1fromString(QStringLiteral("quietmarblefoxes")).toUtf8()
                     + "&message=+/+/AQ==&force=1");
    }

    // One exchange at a time; a closed port is a connection failure.
    void oneAtATimeAndClosedPort()
    {
        ScriptedHttpServer server;
        server.script = {{"<>", {}, 200, true}};
        Exchange x(server.base().toString());
        QVERIFY(x.sync.uploadToServer(QStringLiteral("ann@example.com"), QStringLiteral("pw")));
        QTRY_COMPARE(server.requests.size(), 1);
        QVERIFY(x.sync.isSyncing());
        QVERIFY(!x.sync.uploadToServer(QStringLiteral("ann@example.com"), QStringLiteral("pw")));
        server.release();
        QTRY_COMPARE(x.finished.size(), 1);
        QCOMPARE(x.store.backups, 1);

        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), QStringLiteral("http://127.0.0.1:%1").arg(port));
        LogCapture quiet;
        QVERIFY(x.sync.uploadToServer(QStringLiteral("ann@example.com"), QStringLiteral("pw")));
        QTRY_COMPARE(x.finished.size(), 2);
        QCOMPARE(x.finished[1][0].value<SyncController::Outcome>(), SyncController::Outcome::ConnectionFailed);
        QCOMPARE(x.finished[1][1].toString(), QStringLiteral("Connection failed. Check your internet connectivity."));
    }

    void redirectFromHttps_data()
    {
        QTest::addColumn<bool>("toPlainHttp");
        QTest::addColumn<int>("outcome");
        QTest::newRow("to HTTPS: followed") << false << int(SyncController::Outcome::Succeeded);
        QTest::newRow("to plain HTTP: refused") << true << int(SyncController::Outcome::ConnectionFailed);
    }

    // The body carries the login: it never follows a redirect to plain HTTP.
    void redirectFromHttps()
    {
        QFETCH(bool, toPlainHttp);
        const QSslConfiguration trusted = QSslConfiguration::defaultConfiguration();
        const auto restore = qScopeGuard([&trusted] { QSslConfiguration::setDefaultConfiguration(trusted); });
        ScriptedHttpServer plain;
        TlsRedirectServer tls;
        QVERIFY(tls.start(m_dir.path()));
        tls.location = ((toPlainHttp ? plain.base().toString() : tls.base()) + QStringLiteral("/sync/moved")).toUtf8();
        Exchange x(tls.base());
        LogCapture quiet;
        QVERIFY(x.sync.uploadToServer(QStringLiteral("ann@example.com"), QStringLiteral("pw")));
        QTRY_COMPARE(x.finished.size(), 1);
        QTEST(int(x.finished[0][0].value<SyncController::Outcome>()), "outcome");
        QCOMPARE(tls.heads.size(), toPlainHttp ? 1 : 2);
        QVERIFY(plain.requests.isEmpty());
    }

    // The first sync of a store sends everything; after a merge, only what changed.
    void fullThenUpdated()
    {
        QByteArray reply;
        {
            DocumentFixture server;
            server.document->addNewProjectWithName(QStringLiteral("Work"))->setId_(7);
            reply = Base64::encode(PayloadBuilder(*server.document).makeAllDataForTransfer()).toUtf8();
        }
        DocumentFixture f;
        QVERIFY(f.context()->create(f.dir.filePath(QStringLiteral("store.sqlite"))));
        f.selectedList(QStringLiteral("Home"));
        ScriptedHttpServer http;
        http.script = {{reply}, {"<>"}};
        Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), http.base().toString());
        DocumentSyncStore store(*f.document);
        HttpSyncTransport transport;
        SyncController sync(&store, &transport);
        QSignalSpy finished(&sync, &SyncController::finished);
        LogCapture quiet;
        for (int round = 1; round <= 2; ++round) {
            QVERIFY(sync.uploadToServer(QStringLiteral("ann@example.com"), QStringLiteral("pw")));
            QTRY_COMPARE(finished.size(), round);
            QCOMPARE(finished.last()[0].value<SyncController::Outcome>(), SyncController::Outcome::Succeeded);
        }
        QList<int> listsSent;
        for (const Request &request : std::as_const(http.requests)) {
            const QByteArray message = request.body.split('&').value(3).mid(8);
            listsSent << WireLists::parse(*Base64::decode(QString::fromLatin1(message)))->listCount();
        }
        QCOMPARE(listsSent, (QList<int>{1, 0}));
    }

    // --- The codecs a reply passes through ---------------------------------------------

    void codecs_data()
    {
        QTest::addColumn<Codec>("codec");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QByteArray>("bytes");

        // The server's reply is read by these Base64 rules; whatever fails here is a login failure.
        QTest::newRow("empty") << Base64Text << QByteArray("") << true << QByteArray();
        QTest::newRow("two padding") << Base64Text << QByteArray("TQ==") << true << QByteArray("M");
        QTest::newRow("plus and slash survive") << Base64Text << QByteArray("+/+/") << true << QByteArray("\xfb\xff\xbf", 3);
        QTest::newRow("length not a multiple of 4") << Base64Text << QByteArray("TWFuTQ") << false << QByteArray();
        QTest::newRow("a line break counts") << Base64Text << QByteArray("TWFu\nTQ==") << false << QByteArray();
        QTest::newRow("not plain ASCII") << Base64Text << QByteArray("TWä=") << false << QByteArray();
        // Outside the alphabet: zero bits, no error.
        QTest::newRow("a space inside") << Base64Text << QByteArray("T Fu") << true << QByteArray("L\x01n", 3);
        QTest::newRow("padding only sets the length") << Base64Text << QByteArray("====") << true << QByteArray();
        // A damaged or cut-off gzip reply is refused whole, never merged in part.
        const QByteArray reply = QByteArray("CiQKBFdvcmsQARgA").repeated(5000);
        QTest::newRow("gzip reply") << GzipBytes << gzip(reply) << true << reply;
        QTest::newRow("two members") << GzipBytes << gzip("CiQK") + gzip("BFdv") << true << QByteArray("CiQKBFdv");
        QTest::newRow("cut short") << GzipBytes << gzip(reply).chopped(10) << false << QByteArray();
        QTest::newRow("not gzip") << GzipBytes << QByteArray("CiQKBFdvcmsQARgA") << false << QByteArray();
        QTest::newRow("empty gzip") << GzipBytes << QByteArray() << false << QByteArray();
    }

    void codecs()
    {
        QFETCH(Codec, codec);
        QFETCH(QByteArray, input);
        QFETCH(bool, decodes);
        const std::optional<QByteArray> bytes = codec == Base64Text ? Base64::decode(QString::fromUtf8(input)) : Gzip::inflate(input);
        QCOMPARE(bytes.has_value(), decodes);
        if (decodes)
            QTEST(*bytes, "bytes");
    }

    // A small bomb stops at the limit.
    void gzipLimit()
    {
        const QByteArray zeros(1 << 20, '\0');
        QVERIFY(Gzip::inflate(gzip(zeros), 1 << 20).has_value());
        QVERIFY(!Gzip::inflate(gzip(zeros), (1 << 20) - 1).has_value());
    }
};

QTEST_GUILESS_MAIN(TestSyncExchange)
#include "tst_syncexchange.moc"
