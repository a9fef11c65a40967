// corvane-syncd's sync exchange over HTTP, beside its HTTP layer alone.
//
//   Sync/SQLite      one sync of one of 100 accounts of 1,000 items each, in
//                    turn: the upload carries one changed item, the reply the
//                    account's whole list (the server in this process on
//                    127.0.0.1, the client a QNetworkAccessManager)
//   Sync/PostgreSQL  the same on a temporary PostgreSQL cluster, started as
//                    the tests start theirs; left out, with the reason
//                    printed, where none can start
//   Echo             the same request answered "<>" by a QHttpServer route in
//                    this process: the baseline
//
// syncs_per_second is the rate of each.

#include "BenchSupport.h"
#include "PostgresCluster.h"
#include "PostgresSyncStorage.h"
#include "SqliteSyncStorage.h"
#include "SyncHttpServer.h"
#include "SyncService.h"
#include "SyncUtils.h"
#include "corvane_wire.pb.h"

#include <QEventLoop>
#include <QHttpServer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>

#include <sodium.h>

#include <cstdio>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kAccounts = 100;
constexpr int kItems = 1000;

QNetworkAccessManager *g_network = nullptr;

QByteArray post(const QUrl &url, const QByteArray &body)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QNetworkReply *reply = g_network->post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->readAll();
}

QByteArray syncForm(int account, const corvane::wire::Alllists &upload)
{
    const std::string bytes = upload.SerializeAsString();
    static const QByteArray hash = SyncUtils::HashAndSalt(u"secret"_s).toLatin1();
    return "uid=bench&email=user" + QByteArray::number(account) + "@example.com&password=" + hash
        + "&message=" + QByteArray::fromStdString(bytes).toBase64() + "&force=1";
}

// A server with its accounts, each holding one list of kItems items.
struct BenchServer {
    std::unique_ptr<SyncStorage> storage;
    std::unique_ptr<SyncService> service;
    std::unique_ptr<SyncHttpServer> http;
    QUrl url;
    struct Account {
        qint64 list = 0;
        qint64 item = 0; // the item each sync changes
    };
    QList<Account> accounts;

    // The upload of one sync: the list with its one changed item.
    QByteArray nextSync(int account, int round) const
    {
        corvane::wire::Alllists upload;
        auto *list = upload.add_todolist();
        list->set_idd(accounts[account].list);
        list->set_name("Bench");
        auto *item = list->add_todoitems();
        item->set_serverid(accounts[account].item);
        item->set_name("Item 0, round " + std::to_string(round));
        return syncForm(account, upload);
    }
};

// The server on the storage; false, with the reason printed, when it cannot be filled.
bool fill(BenchServer &server, std::unique_ptr<SyncStorage> storage)
{
    if (!storage) {
        std::fprintf(stderr, "the database could not be opened\n");
        return false;
    }
    server.storage = std::move(storage);
    server.service = std::make_unique<SyncService>(*server.storage, SyncService::Registration::Closed);
    server.http = std::make_unique<SyncHttpServer>(*server.service);
    const quint16 port = server.http->listen(QHostAddress::LocalHost, 0);
    server.url = QUrl(u"http://127.0.0.1:%1/sync/fullSyncV2"_s.arg(port));
    // One slow password hash serves every account.
    if (server.service->addUser(u"user0@example.com"_s, u"secret"_s) == SyncService::UserResult::Failed) {
        std::fprintf(stderr, "the accounts could not be made\n");
        return false;
    }
    const QByteArray hash = server.storage->account(u"user0@example.com"_s)->passwordHash;
    for (int account = 0; account < kAccounts; ++account) {
        server.storage->writeAccount(u"user%1@example.com"_s.arg(account), hash);
        corvane::wire::Alllists upload;
        auto *list = upload.add_todolist();
        list->set_name("Bench");
        for (int i = 0; i < kItems; ++i) {
            auto *item = list->add_todoitems();
            item->set_idd(i + 1);
            item->set_index(100 * (kItems - i));
            item->set_quadrant(i % 4);
            item->set_name("Item " + std::to_string(i));
        }
        corvane::wire::Alllists reply;
        const QByteArray bytes = QByteArray::fromBase64(post(server.url, syncForm(account, upload)));
        if (!reply.ParseFromArray(bytes.constData(), int(bytes.size())) || reply.todolist_size() != 1
            || reply.todolist(0).todoitems_size() != kItems) {
            std::fprintf(stderr, "account %d could not be filled\n", account);
            return false;
        }
        server.accounts.append({reply.todolist(0).idd(), reply.todolist(0).todoitems(0).serverid()});
    }
    return true;
}

// --- Benchmarks ------------------------------------------------------------------------------

void Sync(benchmark::State &state, const BenchServer *server)
{
    int round = 0;
    for (auto _ : state) {
        const int account = round % kAccounts;
        const QByteArray reply = post(server->url, server->nextSync(account, ++round));
        if (reply.size() < kItems * 10)
            state.SkipWithError("the sync did not answer the account's list");
    }
    state.counters["syncs_per_second"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void Echo(benchmark::State &state, const BenchServer *server)
{
    QHttpServer echo;
    echo.route("/sync/fullSyncV2", QHttpServerRequest::Method::Post, [] { return QByteArray("<>"); });
    const QUrl url(u"http://127.0.0.1:%1/sync/fullSyncV2"_s.arg(echo.listen(QHostAddress::LocalHost, 0)));
    int round = 0;
    for (auto _ : state) {
        const int account = round % kAccounts;
        if (post(url, server->nextSync(account, ++round)) != "<>")
            state.SkipWithError("no \"<>\"");
    }
    state.counters["syncs_per_second"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

int main(int argc, char **argv)
{
    const BenchEnvironment environment(argc, argv);
    if (sodium_init() < 0)
        return 1;
    QNetworkAccessManager network;
    g_network = &network;
    QTemporaryDir dir;
    QString error;

    std::map<std::string, BenchServer> servers;
    if (!fill(servers["SQLite"], SqliteSyncStorage::open(dir.filePath(u"sync.sqlite"_s), &error)))
        return 1;
    PostgresCluster cluster;
    const QString missing = cluster.start();
    if (missing.isEmpty()) {
        QProcess::execute(u"psql"_s, {u"-q"_s, cluster.address(u"postgres"_s), u"-c"_s, u"CREATE DATABASE syncd"_s});
        std::unique_ptr<PostgresSyncStorage> storage = PostgresSyncStorage::open(cluster.address(u"syncd"_s), &error);
        if (!fill(servers["PostgreSQL"], std::move(storage)))
            return 1;
    } else {
        std::printf("Sync/PostgreSQL left out: %s\n", qPrintable(missing));
    }

    for (const auto &[name, server] : servers)
        benchmark::RegisterBenchmark(("Sync/" + name).c_str(), Sync, &server)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime(); // the database's time is the server's, not this thread's CPU
    benchmark::RegisterBenchmark("Echo", Echo, &servers["SQLite"])->Unit(benchmark::kMillisecond)->UseRealTime();

    const int result = runBenchmarksWithRatios(
        argc, argv,
        {{"Sync/SQLite/real_time", "Echo/real_time"},
         {"Sync/PostgreSQL/real_time", "Echo/real_time"},
         {"Sync/PostgreSQL/real_time", "Sync/SQLite/real_time"}});
    g_network = nullptr;
    return result;
}
