// Opening a store and saving changes, beside raw SQLite on the same file.
//
//   Open/N         load every record of a store of N items
//   RawRead/N      read every item row with one prepared statement
//   SaveOne/N      change one item and save
//   RawUpdateOne/N update one item row in a transaction
//   Save1000/N     change 1,000 items and save
//   RawUpdate1000/N update 1,000 item rows in a transaction
//   Resident/N     open a store and keep it: counters give the growth of the
//                  resident size (MiB) and of the heap in use (bytes per item)
//
// N is 10,000 (100 lists) and 100,000 (1,000 lists), 100 items per list.

#include "BenchSupport.h"
#include "Clock.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "TodoModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>
#include <map>
#include <sqlite3.h>
#include <unistd.h>

namespace {

QTemporaryDir *g_dir = nullptr;
std::map<int, QString> g_files;

// Builds (once per size) a store of `items` items in lists of 100.
QString storeWith(int items)
{
    auto it = g_files.find(items);
    if (it != g_files.end())
        return it->second;
    const QString path = g_dir->filePath(QStringLiteral("bench_%1.sqlite").arg(items));
    ManagedObjectContext context(todoListModel());
    context.setUndoManager(nullptr);
    const QDateTime base(QDate(2026, 1, 1), QTime(9, 0));
    for (int l = 0; l < items / 100; ++l) {
        ManagedObject *list = context.insert(QStringLiteral("TODOList"));
        list->setValue(QStringLiteral("name"), QStringLiteral("List %1").arg(l));
        list->setValue(QStringLiteral("index"), l * 1000);
        list->setValue(QStringLiteral("state"), 0);
        list->setValue(QStringLiteral("textFirstQuadrant"), QStringLiteral("Critical and Immediate"));
        for (int i = 0; i < 100; ++i) {
            ManagedObject *item = context.insert(QStringLiteral("TODOItem"));
            item->setValue(QStringLiteral("id_"), l * 100 + i + 1);
            item->setValue(QStringLiteral("name"), QStringLiteral("Item %1 of list %2").arg(i).arg(l));
            item->setValue(QStringLiteral("descriptionRichText"), QStringLiteral("<p>Some notes for item %1</p>").arg(i));
            item->setValue(QStringLiteral("descriptionText"), QStringLiteral("Some notes for item %1").arg(i));
            item->setValue(QStringLiteral("quadrant"), i % 4);
            item->setValue(QStringLiteral("index"), i * 100);
            item->setValue(QStringLiteral("icon"), QStringLiteral("empty_orange128.png"));
            item->setValue(QStringLiteral("state"), i % 10 == 0 ? 1 : 0);
            item->setValue(QStringLiteral("completionPercentage"), i % 10 == 0 ? 100 : 0);
            item->setValue(QStringLiteral("creationDate"), base.addSecs(i * 60));
            if (i % 3 == 0)
                item->setValue(QStringLiteral("dueDate"), base.addDays(i));
            item->setValue(QStringLiteral("timestamp"), 1767254400 + i);
            item->setToOne(QStringLiteral("list"), list);
        }
    }
    if (!context.create(path))
        qFatal("cannot build the benchmark store");
    g_files[items] = path;
    return path;
}

void Open(benchmark::State &state)
{
    const QString path = storeWith(int(state.range(0)));
    for (auto _ : state) {
        ManagedObjectContext context(todoListModel());
        if (!context.open(path))
            state.SkipWithError("open failed");
        benchmark::DoNotOptimize(context.objects(QStringLiteral("TODOItem")).size());
    }
}

// Resident pages of this process, in bytes.
double residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) : 0;
}

void Resident(benchmark::State &state)
{
    const QString path = storeWith(int(state.range(0)));
    double resident = 0;
    double heap = 0;
    for (auto _ : state) {
        // Hand freed memory back first, so that the growth is the open store's.
        malloc_trim(0);
        const double residentBefore = residentBytes();
        const double heapBefore = double(mallinfo2().uordblks);
        ManagedObjectContext context(todoListModel());
        if (!context.open(path))
            state.SkipWithError("open failed");
        resident = residentBytes() - residentBefore;
        heap = double(mallinfo2().uordblks) - heapBefore;
    }
    state.counters["resident_MiB"] = resident / (1024.0 * 1024.0);
    state.counters["heap_per_item"] = heap / double(state.range(0));
}

void RawRead(benchmark::State &state)
{
    const QByteArray path = QFile::encodeName(storeWith(int(state.range(0))));
    for (auto _ : state) {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt *stmt = nullptr;
        sqlite3_prepare_v2(db, "SELECT * FROM TODOItem", -1, &stmt, nullptr);
        const int columns = sqlite3_column_count(stmt);
        qint64 sum = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(stmt, c)) {
                case SQLITE_INTEGER: sum += sqlite3_column_int64(stmt, c); break;
                case SQLITE_FLOAT: sum += qint64(sqlite3_column_double(stmt, c)); break;
                case SQLITE_TEXT: sum += sqlite3_column_bytes(stmt, c); sum += *sqlite3_column_text(stmt, c); break;
                case SQLITE_BLOB: sum += sqlite3_column_bytes(stmt, c); break;
                default: break;
                }
            }
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        benchmark::DoNotOptimize(sum);
    }
}

// Saves `changes` changed items per iteration.
void saveChanges(benchmark::State &state, int changes)
{
    const QString path = storeWith(int(state.range(0)));
    ManagedObjectContext context(todoListModel());
    context.setUndoManager(nullptr);
    if (!context.open(path)) {
        state.SkipWithError("open failed");
        return;
    }
    const QList<ManagedObject *> items = context.objects(QStringLiteral("TODOItem"));
    int round = 0;
    for (auto _ : state) {
        ++round;
        for (int i = 0; i < changes; ++i)
            items[(i * 97 + round) % items.size()]->setValue(QStringLiteral("completionPercentage"), round % 100);
        if (!context.save())
            state.SkipWithError("save failed");
    }
}

void SaveOne(benchmark::State &state) { saveChanges(state, 1); }
void Save1000(benchmark::State &state) { saveChanges(state, 1000); }

void rawUpdates(benchmark::State &state, int rows)
{
    const QByteArray path = QFile::encodeName(storeWith(int(state.range(0))));
    const int count = int(state.range(0));
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL;", nullptr, nullptr, nullptr);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "UPDATE TODOItem SET completionPercentage = ?1 WHERE pk = ?2", -1, &stmt, nullptr);
    int round = 0;
    for (auto _ : state) {
        ++round;
        sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        for (int i = 0; i < rows; ++i) {
            sqlite3_bind_int(stmt, 1, round % 100);
            sqlite3_bind_int64(stmt, 2, 1 + (i * 97 + round) % count);
            sqlite3_step(stmt);
            sqlite3_reset(stmt);
        }
        if (sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
            state.SkipWithError("commit failed");
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

void RawUpdateOne(benchmark::State &state) { rawUpdates(state, 1); }
void RawUpdate1000(benchmark::State &state) { rawUpdates(state, 1000); }

} // namespace

int main(int argc, char **argv)
{
    Clock::cacheSystemTimeZone();
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;

    benchmark::RegisterBenchmark("Resident", Resident)->Arg(100000)->Iterations(3)->Unit(benchmark::kMillisecond);
    for (auto *fn : {&Open, &RawRead})
        benchmark::RegisterBenchmark(fn == &Open ? "Open" : "RawRead", fn)
            ->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("SaveOne", SaveOne)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("RawUpdateOne", RawUpdateOne)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Save1000", Save1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("RawUpdate1000", RawUpdate1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

    return runBenchmarksWithRatios(argc, argv,
                                   {{"Open/10000", "RawRead/10000"},
                                    {"Open/100000", "RawRead/100000"},
                                    {"SaveOne/10000", "RawUpdateOne/10000"},
                                    {"SaveOne/100000", "RawUpdateOne/100000"},
                                    {"SaveOne/100000", "SaveOne/10000"},
                                    {"Save1000/10000", "RawUpdate1000/10000"},
                                    {"Save1000/100000", "RawUpdate1000/100000"}});
}
