// Sync payloads and merges over an open document, beside protobuf alone.
//
//   Payload/N        build and encode the full payload of every list and item
//                    (PayloadBuilder::makeAllDataForTransfer)
//   SerializeOnly/N  encode the same message, already built (parsed once from
//                    the payload), with SerializeToString: the baseline
//   ReadRecords/N    read every list and item attribute the payload carries
//                    through the record accessors, and nothing else: the
//                    share of the payload that is the store's, not the encoder's
//
// N is 10,000 (100 lists) and 100,000 (1,000 lists), 100 items per list.
// The document of each size is built once (storeWith) and shared by every
// benchmark registered on it with registerOnSizes. The per-list log line of
// the full payload is switched off so that the figures show the work, not
// the terminal.

#include "BenchSupport.h"
#include "Clock.h"
#include "Defaults.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "PayloadBuilder.h"
#include "ServerDataMerger.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"
#include "WireLists.h"
#include "corvane_wire.pb.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

// A document over an in-memory store of `items` items in lists of 100,
// every list shown in the sidebar.
struct SyncBenchStore {
    std::unique_ptr<MyDocument> document;
    QList<TODOList *> lists;
    int items = 0;
};

void fillItem(TODOItem *item, int list, int i, const QDateTime &base)
{
    item->setId_(list * 100 + i + 1);
    item->setServerID(i % 2 ? 500000 + list * 100 + i : 0);
    // Some texts are not ASCII, as in any real store.
    item->setName(i % 5 ? QStringLiteral("Item %1 of list %2").arg(i).arg(list)
                        : QStringLiteral("Überprüfung %1 – Liste %2").arg(i).arg(list));
    item->setDescriptionRichText(QStringLiteral("<p>Some notes for item %1</p>").arg(i));
    item->setDescriptionText(QStringLiteral("Some notes for item %1").arg(i));
    item->setQuadrant(i % 4);
    item->setIndex(i * 100);
    item->setIcon(QStringLiteral("empty_orange128.png"));
    item->setState(i % 10 == 0 ? RecordState::Completed : RecordState::Open);
    item->setCompletionPercentage(i % 10 == 0 ? 100 : 0);
    item->setCreationDate(base.addSecs(i * 60));
    if (i % 3 == 0)
        item->setDueDate(base.addDays(i));
    if (i % 10 == 0)
        item->setCompletionDate(base.addDays(i + 1));
    item->setTimestamp(1767254400 + i);
    item->setEdited_by(QStringLiteral("someone@example.com"));
    item->setOwner(QStringLiteral("someone@example.com"));
    item->setOwnerUsername(QStringLiteral("someone"));
    if (i % 2)
        item->setResourceURI(QStringLiteral("/api/v1/item/%1/").arg(500000 + list * 100 + i));
    item->setVersionID(1000000 + i);
    item->setEdited_since(i % 7 == 0 ? 1 : 0);
}

// The stores by size; owned by main() so that they go before the application object.
std::map<int, SyncBenchStore> *g_stores = nullptr;

SyncBenchStore &storeWith(int items)
{
    std::map<int, SyncBenchStore> &stores = *g_stores;
    auto it = stores.find(items);
    if (it != stores.end())
        return it->second;

    auto context = std::make_unique<ManagedObjectContext>(todoListModel());
    context->setUndoManager(nullptr);
    const QDateTime base(QDate(2026, 1, 1), QTime(9, 0));
    QList<TODOList *> lists;
    for (int l = 0; l < items / 100; ++l) {
        auto *list = context->insert<TODOList>(TODOList::EntityName);
        list->setId_(l + 1);
        list->setName(QStringLiteral("List %1").arg(l));
        list->setIndex(l * 1000);
        list->setState(RecordState::Open);
        for (int q = 0; q < Quadrant::Count; ++q) {
            const QString title = Quadrant::defaultTitle(q);
            const QString color = Quadrant::defaultColor(q);
            switch (q) {
            case 0: list->setTextFirstQuadrant(title); list->setColorFirstQuadrant(color); break;
            case 1: list->setTextSecondQuadrant(title); list->setColorSecondQuadrant(color); break;
            case 2: list->setTextThirdQuadrant(title); list->setColorThirdQuadrant(color); break;
            default: list->setTextFourthQuadrant(title); list->setColorFourthQuadrant(color); break;
            }
        }
        list->setEdited_by(QStringLiteral("someone@example.com"));
        list->setVersionID(2000000 + l);
        for (int i = 0; i < 100; ++i) {
            auto *item = context->insert<TODOItem>(TODOItem::EntityName);
            fillItem(item, l, i, base);
            item->setList(list);
        }
        lists.append(list);
    }

    SyncBenchStore store;
    store.document = std::make_unique<MyDocument>(std::move(context));
    store.document->rearrangeProjectArrayController();
    store.lists = store.document->projects().getAllProjectsEvenTrashed();
    store.items = items;
    if (store.lists.size() != lists.size())
        qFatal("the sidebar does not show every benchmark list");
    return stores.emplace(items, std::move(store)).first->second;
}

// --- Payload ------------------------------------------------------------------------

void Payload(benchmark::State &state)
{
    SyncBenchStore &store = storeWith(int(state.range(0)));
    PayloadBuilder builder(*store.document);
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray payload = builder.makeAllDataForTransfer();
        bytes = payload.size();
        benchmark::DoNotOptimize(payload.constData());
    }
    state.counters["bytes"] = double(bytes);
}

void SerializeOnly(benchmark::State &state)
{
    SyncBenchStore &store = storeWith(int(state.range(0)));
    PayloadBuilder builder(*store.document);
    // The same message as the payload above, built once outside the timing.
    const std::optional<WireLists> built = WireLists::parse(builder.makeAllDataForTransfer());
    if (!built) {
        state.SkipWithError("the payload does not parse");
        return;
    }
    qint64 bytes = 0;
    for (auto _ : state) {
        std::string encoded;
        built->message().SerializeToString(&encoded);
        bytes = qint64(encoded.size());
        benchmark::DoNotOptimize(encoded.data());
    }
    state.counters["bytes"] = double(bytes);
}

void ReadRecords(benchmark::State &state)
{
    SyncBenchStore &store = storeWith(int(state.range(0)));
    MyDocument &document = *store.document;
    for (auto _ : state) {
        qint64 sum = 0;
        for (TODOList *list : document.projects().getAllProjectsEvenTrashed()) {
            sum += qint64(list->centerX() + list->centerY()) + list->index() + list->deleted() + list->state()
                + list->edited_since() + list->timestamp() + list->id_() + list->lastItemIndex() + list->requestedTime()
                + list->versionID();
            for (const QString &text :
                 {list->owner(), list->textFirstQuadrant(), list->textSecondQuadrant(), list->textThirdQuadrant(),
                  list->textFourthQuadrant(), list->colorFirstQuadrant(), list->colorSecondQuadrant(),
                  list->colorThirdQuadrant(), list->colorFourthQuadrant(), list->name(), list->edited_by(),
                  list->password(), list->getURI(), list->boxFolderID(), list->cv_notes()})
                sum += text.size();
            for (const TODOItem *item : document.getAllTODOItemsForTODOList(list)) {
                sum += item->state() + item->index() + item->quadrant() + item->id_() + item->timestamp()
                    + item->edited_since() + item->completionPercentage() + item->parentID() + item->childID()
                    + item->requestedTime() + item->allDay() + item->versionID() + item->effort();
                for (const QString &text :
                     {item->owner(), item->descriptionText(), item->edited_by(), item->icon(), item->name(),
                      item->status(), item->descriptionRichText(), item->frequency(), item->macResourceURL(),
                      item->resourceURI(), item->ownerUsername(), item->boxFolderID()})
                    sum += text.size();
                for (std::optional<qint64> date : {item->dueDateMSecs(), item->startDateMSecs(), item->creationDateMSecs(),
                                                   item->completionDateMSecs(), item->untilDateMSecs()})
                    sum += date.value_or(0) % 1000;
            }
        }
        benchmark::DoNotOptimize(sum);
    }
}

// --- Merge ----------------------------------------------------------------------------

// The store's own full payload as the server would send it back: the same
// lists and items, with the server identifiers the upload leaves out.
QByteArray replyFor(MyDocument &document)
{
    std::optional<WireLists> reply = WireLists::parse(PayloadBuilder(document).makeAllDataForTransfer());
    if (!reply)
        qFatal("the payload does not parse");
    int l = 0;
    for (TODOList *list : document.projects().getAllProjectsEvenTrashed()) {
        if (list->state() == RecordState::Deleted)
            continue;
        auto *message = reply->message().mutable_todolist(l++);
        int i = 0;
        for (TODOItem *item : document.getAllTODOItemsForTODOList(list)) {
            if (item->serverID() != 0)
                message->mutable_todoitems(i)->set_serverid(item->serverID());
            ++i;
        }
    }
    return reply->encode();
}

// Merges that reply into the store that produced it: every list and item is
// matched and rewritten.
void Merge(benchmark::State &state)
{
    SyncBenchStore &store = storeWith(int(state.range(0)));
    const QByteArray reply = replyFor(*store.document);
    ServerDataMerger merger(*store.document);
    const int itemsBefore = store.document->managedObjectContext()->count(TODOItem::EntityName);
    for (auto _ : state) {
        const std::optional<WireLists> lists = merger.parseDataFromServer(reply);
        if (!lists) {
            state.SkipWithError("the reply does not parse");
            return;
        }
        merger.merge(*lists);
    }
    if (store.document->projects().getAllProjects().size() != store.lists.size()
        || store.document->managedObjectContext()->count(TODOItem::EntityName) != itemsBefore)
        state.SkipWithError("the merge did not match every record");
}

void ParseOnly(benchmark::State &state)
{
    SyncBenchStore &store = storeWith(int(state.range(0)));
    const QByteArray reply = replyFor(*store.document);
    for (auto _ : state) {
        corvane::wire::Alllists message;
        if (!message.ParseFromArray(reply.constData(), int(reply.size())))
            state.SkipWithError("the reply does not parse");
        benchmark::DoNotOptimize(message.todolist_size());
    }
}

void registerOnSizes(const char *name, void (*fn)(benchmark::State &))
{
    benchmark::RegisterBenchmark(name, fn)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv)
{
    // The merges end in a save that fails without a store file; its log lines are not printed.
    const BenchEnvironment environment(argc, argv);
    std::map<int, SyncBenchStore> stores;
    g_stores = &stores;

    registerOnSizes("Payload", Payload);
    registerOnSizes("SerializeOnly", SerializeOnly);
    registerOnSizes("ReadRecords", ReadRecords);
    registerOnSizes("Merge", Merge);
    registerOnSizes("ParseOnly", ParseOnly);

    std::vector<std::pair<std::string, std::string>> ratios{
        {"Payload/10000", "SerializeOnly/10000"},
        {"Payload/100000", "SerializeOnly/100000"},
        {"Payload/100000", "Payload/10000"},
        {"Payload/10000", "ReadRecords/10000"},
        {"Payload/100000", "ReadRecords/100000"},
        {"ReadRecords/10000", "SerializeOnly/10000"},
        {"ReadRecords/100000", "SerializeOnly/100000"},
        {"Merge/10000", "ParseOnly/10000"},
        {"Merge/100000", "ParseOnly/100000"},
        {"Merge/100000", "Merge/10000"},
    };
    const int result = runBenchmarksWithRatios(argc, argv, ratios);
    stores.clear();
    g_stores = nullptr;
    Defaults::useFileForTesting(QString());
    return result;
}
