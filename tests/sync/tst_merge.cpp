// Writing received messages into the store: matching lists and items by
// identifier, creating what is new, deleting what a sync reply no longer
// holds, the field rules of lists and items, identifier reset for imports,
// and the answer of the final save.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "ItemIdentifiers.h"
#include "ObjectModel.h"
#include "PayloadBuilder.h"
#include "ServerDataMerger.h"
#include "SyncUtils.h"
#include "WireLists.h"
#include "corvane_wire.pb.h"

#include <QMap>
#include <QTest>

#include <algorithm>
#include <string>

using corvane::wire::Todolist;
using WireItem = corvane::wire::Todolist_Todoitems;

namespace {

const QString kHasSyncedBefore = QStringLiteral("hasSyncedBefore");

// Keeps every log message while it lives.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines = &m_lines;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_lines = nullptr;
    }
    int count(const QString &line) const { return int(m_lines.count(line)); }
    const QStringList &lines() const { return m_lines; }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        if (s_lines)
            s_lines->append(message);
    }
    static inline QStringList *s_lines = nullptr;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};

// Replaces the identifier source for one test.
struct GeneratorGuard {
    explicit GeneratorGuard(std::function<quint32()> generator) { ItemIdentifiers::setGeneratorForTesting(std::move(generator)); }
    ~GeneratorGuard() { ItemIdentifiers::setGeneratorForTesting({}); }
};

TODOList *localList(DocumentFixture &f, const QString &name, int id)
{
    TODOList *list = f.document->addNewProjectWithName(name);
    list->setId_(id);
    return list;
}

TODOItem *localItem(DocumentFixture &f, TODOList *list, const QString &name, int id, int index,
                    std::optional<qint64> serverID = std::nullopt)
{
    auto *item = f.context()->insert<TODOItem>(TODOItem::EntityName);
    item->setName(name);
    item->setId_(id);
    item->setIndex(index);
    item->setState(RecordState::Open);
    if (serverID)
        item->setServerID(*serverID);
    item->setList(list);
    return item;
}

// A list of the store that is neither shown nor trashed since the document
// was opened: trashed in an earlier session.
TODOList *listTrashedEarlier(DocumentFixture &f, const QString &name, int id)
{
    auto *list = f.context()->insert<TODOList>(TODOList::EntityName);
    list->setName(name);
    list->setId_(id);
    list->setState(RecordState::Trashed);
    f.document->projects().projectsArrayController()->rearrangeObjects();
    return list;
}

Todolist *wireList(WireLists &lists, qint64 idd, const std::string &name)
{
    Todolist *list = lists.message().add_todolist();
    list->set_idd(idd);
    list->set_name(name);
    return list;
}

WireItem *wireItem(Todolist *list, std::optional<qint64> serverId, qint64 idd, const std::string &name)
{
    WireItem *item = list->add_todoitems();
    if (serverId)
        item->set_serverid(*serverId);
    item->set_idd(idd);
    item->set_name(name);
    return item;
}

TODOItem *itemNamed(TODOList *list, const QString &name)
{
    for (TODOItem *item : list->contains()) {
        if (item->name() == name)
            return item;
    }
    return nullptr;
}

QList<TODOList *> listsNamed(DocumentFixture &f, const QString &name)
{
    QList<TODOList *> found;
    for (ManagedObject *object : f.context()->objects(TODOList::EntityName)) {
        auto *list = static_cast<TODOList *>(object);
        if (list->name() == name)
            found << list;
    }
    return found;
}

quint64 wireSeconds(const QDateTime &date)
{
    return quint64(date.toSecsSinceEpoch());
}

QDateTime utc(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s), Qt::UTC);
}

// Every attribute of every list and item, numbers with absent as 0 and texts
// with absent as empty (the records' own reading rule), keyed by record and
// attribute; edited_since left out.
QMap<QString, QVariant> snapshot(ManagedObjectContext *context)
{
    QMap<QString, QVariant> values;
    for (const QString &entity : {TODOList::EntityName, TODOItem::EntityName}) {
        for (const ManagedObject *object : context->objects(entity)) {
            const QString prefix = entity + QLatin1Char('#') + QString::number(object->primaryKey()) + QLatin1Char('.');
            for (const AttributeDescription &attribute : object->entity().attributes()) {
                if (attribute.name == QLatin1String("edited_since"))
                    continue;
                QVariant value;
                switch (attribute.type) {
                case AttributeType::Int32: value = object->intValue(attribute.name); break;
                case AttributeType::Int64: value = object->int64Value(attribute.name); break;
                case AttributeType::Double: value = object->doubleValue(attribute.name); break;
                case AttributeType::Bool: value = object->boolValue(attribute.name); break;
                case AttributeType::Text: value = object->stringValue(attribute.name).isEmpty() ? QStringLiteral("") : object->stringValue(attribute.name); break;
                case AttributeType::Date: value = object->dateValue(attribute.name); break;
                case AttributeType::Binary: value = object->dataValue(attribute.name); break;
                }
                values.insert(prefix + attribute.name, value);
            }
            if (entity == TODOItem::EntityName) {
                const ManagedObject *list = object->toOne(QStringLiteral("list"));
                values.insert(prefix + QStringLiteral("list"), list ? list->primaryKey() : -1);
            }
        }
    }
    return values;
}

} // namespace

class TestMerge : public QObject
{
    Q_OBJECT

private slots:
    void parseAcceptsListMessagesAndRefusesOtherBytes();

    // Lists
    void listMissingFromReplyIsDeletedWithItsItems_data();
    void listMissingFromReplyIsDeletedWithItsItems();
    void neverUploadedListIsReplacedByTheServerCopy();
    void sameListTwiceDetachesTheLocalList_data();
    void sameListTwiceDetachesTheLocalList();
    void incomingListStateIsNotTaken();
    void listsTrashedEarlierAreNeitherMatchedNorDeleted_data();
    void listsTrashedEarlierAreNeitherMatchedNorDeleted();
    void listFieldsWhenPresent();
    void listFieldsWhenAbsent();

    // Items
    void itemMatching_data();
    void itemMatching();
    void laterItemOfEqualKeysIsUpdated();
    void itemsMissingFromReplyAreDeleted_data();
    void itemsMissingFromReplyAreDeleted();
    void negativeServerIDKeysDifferForMatchingAndDeletion();
    void deletedItemIsNeverMatched();
    void itemFieldsWhenPresent();
    void itemFieldsWhenAbsent();
    void plainNotesReplaceTheDerivedText();
    void completionDateOnlyWithFullCompletion_data();
    void completionDateOnlyWithFullCompletion();

    // Reset, round trip, no-op
    void resetMakesNewListsAndItemsEveryTime();
    void resetGivesItemsIdentifiersUniqueInTheirList();
    void resetNeverMatchesItemsOfTheList();
    void exportedListsComeBackEqual();
    void replyEqualToTheFullPayloadChangesNothing();

    // End of a merge
    void everyMergeMarksTheStoreSynced_data();
    void everyMergeMarksTheStoreSynced();
    void answerFollowsTheSave_data();
    void answerFollowsTheSave();
};

void TestMerge::parseAcceptsListMessagesAndRefusesOtherBytes()
{
    DocumentFixture f;
    ServerDataMerger merger(*f.document);

    WireLists lists;
    wireList(lists, 4, "Home");
    wireList(lists, 5, "Work");
    QString error;
    const std::optional<WireLists> parsed = merger.parseDataFromServer(lists.encode(), &error);
    QVERIFY(parsed.has_value());
    QCOMPARE(parsed->listCount(), 2);
    QCOMPARE(parsed->message().todolist(1).name(), std::string("Work"));

    // Field 7 of a list claims 100 bytes but the message ends.
    const QByteArray truncated = QByteArray::fromHex("c23e033a64");
    error.clear();
    QVERIFY(!merger.parseDataFromServer(truncated, &error).has_value());
    QVERIFY(!error.isEmpty());
}

// --- Lists ------------------------------------------------------------------------

void TestMerge::listMissingFromReplyIsDeletedWithItsItems_data()
{
    QTest::addColumn<int>("localState");
    QTest::newRow("shown") << int(RecordState::Open);
    QTest::newRow("trashed since opening") << int(RecordState::Trashed);
}

void TestMerge::listMissingFromReplyIsDeletedWithItsItems()
{
    QFETCH(int, localState);
    DocumentFixture f;
    TODOList *kept = localList(f, QStringLiteral("Kept"), 11);
    TODOList *gone = localList(f, QStringLiteral("Gone"), 10);
    TODOItem *open = localItem(f, gone, QStringLiteral("open"), 1, 300);
    TODOItem *done = localItem(f, gone, QStringLiteral("done"), 2, 200);
    done->setState(RecordState::Completed);
    TODOItem *trashed = localItem(f, gone, QStringLiteral("trashed"), 3, 100);
    trashed->setState(RecordState::Trashed);
    f.document->projects().markProject(gone, localState);
    QCOMPARE(f.document->projects().getAllProjectsEvenTrashed().contains(gone), true);

    WireLists reply;
    wireList(reply, 11, "Kept");
    ServerDataMerger(*f.document).merge(reply);

    QCOMPARE(gone->state(), int(RecordState::Deleted));
    for (TODOItem *item : {open, done, trashed})
        QCOMPARE(item->state(), int(RecordState::Deleted));
    QVERIFY(!f.document->getAllProjects().contains(gone));
    QVERIFY(!f.document->projects().getTrashedProjects().contains(gone));
    QCOMPARE(kept->state(), int(RecordState::Open));
    QCOMPARE(f.document->getAllProjects(), QList<TODOList *>{kept});
}

void TestMerge::neverUploadedListIsReplacedByTheServerCopy()
{
    DocumentFixture f;
    TODOList *local = localList(f, QStringLiteral("Trip"), 0);
    TODOItem *item = localItem(f, local, QStringLiteral("Passport"), 42, 100);

    WireLists reply;
    Todolist *copy = wireList(reply, 77, "Trip");
    wireItem(copy, 901, 42, "Passport");
    ServerDataMerger(*f.document).merge(reply);

    QCOMPARE(local->state(), int(RecordState::Deleted));
    QCOMPARE(item->state(), int(RecordState::Deleted));
    const QList<TODOList *> shown = f.document->getAllProjects();
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first() != local);
    QCOMPARE(shown.first()->id_(), 77);
    const QList<TODOItem *> items = f.document->getAllTODOItemsForTODOList(shown.first());
    QCOMPARE(items.size(), 1);
    QVERIFY(items.first() != item);
    QCOMPARE(items.first()->serverID(), 901);
    QCOMPARE(items.first()->id_(), 42);
}

void TestMerge::sameListTwiceDetachesTheLocalList_data()
{
    QTest::addColumn<int>("copies");
    QTest::addColumn<int>("errorLines");
    QTest::newRow("twice") << 2 << 1;
    QTest::newRow("three times") << 3 << 2;
}

void TestMerge::sameListTwiceDetachesTheLocalList()
{
    QFETCH(int, copies);
    QFETCH(int, errorLines);
    DocumentFixture f;
    TODOList *local = localList(f, QStringLiteral("Groceries"), 10);

    WireLists reply;
    for (int i = 0; i < copies; ++i)
        wireList(reply, 10, "Copy " + std::to_string(i + 1));

    LogCapture log;
    ServerDataMerger(*f.document).merge(reply);

    // Both copies went into the one local list in turn; the last one's name is the list's.
    const QString lastName = QStringLiteral("Copy %1").arg(copies);
    QCOMPARE(local->name(), lastName);
    QCOMPARE(log.count(QStringLiteral("ERROR: duplicate list named '%1'").arg(lastName)), errorLines);
    QCOMPARE(local->id_(), 0);
    QCOMPARE(local->edited_since(), 1);
    QCOMPARE(local->state(), int(RecordState::Open));
    QCOMPARE(f.document->getAllProjects(), QList<TODOList *>{local});
}

void TestMerge::incomingListStateIsNotTaken()
{
    DocumentFixture f;
    TODOList *local = localList(f, QStringLiteral("Shared"), 10);
    local->setOwner(QStringLiteral("me"));
    local->setPassword(QStringLiteral("secret"));
    local->setCenterX(3.0);
    local->setCenterY(4.0);
    local->setTimestamp(1234);
    local->setResourceURI(QStringLiteral("/api/v1/project/10/"));

    WireLists reply;
    for (qint64 idd : {10, 20}) {
        Todolist *list = wireList(reply, idd, "Shared");
        list->set_state(RecordState::Trashed);
        list->set_deleted(1);
        list->set_owner("server");
        list->set_password("other");
        list->set_centerx(50);
        list->set_centery(60);
        list->set_timestamp(99);
        list->set_resourceuri("/api/v1/project/99/");
    }
    ServerDataMerger(*f.document).merge(reply);

    QCOMPARE(local->state(), int(RecordState::Open));
    QCOMPARE(local->deleted(), 0);
    QCOMPARE(local->owner(), QStringLiteral("me"));
    QCOMPARE(local->password(), QStringLiteral("secret"));
    QCOMPARE(local->centerX(), 3.0);
    QCOMPARE(local->centerY(), 4.0);
    QCOMPARE(local->timestamp(), 1234);
    QCOMPARE(local->resourceURI(), QStringLiteral("/api/v1/project/10/"));

    // The list the reply brought in is new, open and shown.
    const QList<TODOList *> shown = f.document->getAllProjects();
    QCOMPARE(shown.size(), 2);
    TODOList *created = shown.first() == local ? shown.last() : shown.first();
    QCOMPARE(created->id_(), 20);
    QCOMPARE(created->state(), int(RecordState::Open));
    QCOMPARE(created->owner(), QString());
    QVERIFY(!f.document->projects().getTrashedProjects().contains(created));
}

void TestMerge::listsTrashedEarlierAreNeitherMatchedNorDeleted_data()
{
    QTest::addColumn<bool>("replyHoldsIt");
    QTest::newRow("reply holds its id") << true;
    QTest::newRow("reply lacks it") << false;
}

void TestMerge::listsTrashedEarlierAreNeitherMatchedNorDeleted()
{
    QFETCH(bool, replyHoldsIt);
    DocumentFixture f;
    TODOList *old = listTrashedEarlier(f, QStringLiteral("Old"), 10);
    TODOItem *oldItem = localItem(f, old, QStringLiteral("old item"), 5, 100);
    TODOList *shown = localList(f, QStringLiteral("Shown"), 11);

    WireLists reply;
    wireList(reply, 11, "Shown");
    if (replyHoldsIt) {
        Todolist *incoming = wireList(reply, 10, "Old on the server");
        wireItem(incoming, 0, 5, "server item");
    }
    ServerDataMerger(*f.document).merge(reply);

    QCOMPARE(old->state(), int(RecordState::Trashed));
    QCOMPARE(old->name(), QStringLiteral("Old"));
    QCOMPARE(oldItem->state(), int(RecordState::Open));
    QCOMPARE(oldItem->name(), QStringLiteral("old item"));
    QCOMPARE(shown->state(), int(RecordState::Open));

    const QList<TODOList *> second = listsNamed(f, QStringLiteral("Old on the server"));
    QCOMPARE(second.size(), replyHoldsIt ? 1 : 0);
    if (replyHoldsIt) {
        QVERIFY(second.first() != old);
        QCOMPARE(second.first()->id_(), 10);
        QCOMPARE(second.first()->state(), int(RecordState::Open));
        QVERIFY(itemNamed(second.first(), QStringLiteral("server item")));
    }
}

void TestMerge::listFieldsWhenPresent()
{
    DocumentFixture f;
    TODOList *local = localList(f, QStringLiteral("Before"), 12);
    local->setEdited_since(1);

    WireLists reply;
    Todolist *in = wireList(reply, (qint64(1) << 32) + 12, "After");
    in->set_index(-7);
    in->set_textfirstquadrant("Q1");
    in->set_textfourthquadrant("Q4");
    in->set_colorfirstquadrant("{1, 0, 0, 1}");
    in->set_colorfourthquadrant("{0.5, 0.5, 0.5, 1}");
    in->set_lastitemindex(17);
    in->set_requestedtime((qint64(3) << 32) + 250);
    in->set_editedby("alice-device");
    in->set_editedbydevice("device-hash");
    in->set_notes("list notes");
    in->set_ownerscountcache(3);
    in->set_versionid((qint64(1) << 40) + 3);

    ServerDataMerger merger(*f.document);
    merger.update(local, *in);

    QCOMPARE(local->edited_since(), 0);
    QCOMPARE(local->id_(), 12);
    QCOMPARE(local->name(), QStringLiteral("After"));
    QCOMPARE(local->index(), -7);
    QCOMPARE(local->textFirstQuadrant(), QStringLiteral("Q1"));
    QCOMPARE(local->textFourthQuadrant(), QStringLiteral("Q4"));
    QCOMPARE(local->colorFirstQuadrant(), QStringLiteral("{1, 0, 0, 1}"));
    QCOMPARE(local->colorFourthQuadrant(), QStringLiteral("{0.5, 0.5, 0.5, 1}"));
    QCOMPARE(local->lastItemIndex(), 17);
    QCOMPARE(local->requestedTime(), qint64(250));
    QCOMPARE(local->edited_by(), QStringLiteral("alice-device"));
    QCOMPARE(local->editedByDevice(), QStringLiteral("device-hash"));
    QCOMPARE(local->cv_notes(), QStringLiteral("list notes"));
    QCOMPARE(local->ownersCountCache(), 3);
    QCOMPARE(local->versionID(), (qint64(1) << 40) + 3);
}

void TestMerge::listFieldsWhenAbsent()
{
    DocumentFixture f;
    TODOList *local = localList(f, QStringLiteral("Before"), 12);
    local->setIndex(40);
    local->setLastItemIndex(9);
    local->setRequestedTime(77);
    local->setEdited_by(QStringLiteral("bob-device"));
    local->setEditedByDevice(QStringLiteral("device"));
    local->setEditedByUsername(QStringLiteral("bob"));
    local->setBoxFolderID(QStringLiteral("box"));
    local->setCv_notes(QStringLiteral("notes"));
    local->setOwnersCountCache(4);
    local->setVersionID(5);

    Todolist in; // nothing present at all
    ServerDataMerger(*f.document).update(local, in);

    QCOMPARE(local->id_(), 0);
    // Always written: empty text or 0.
    QCOMPARE(local->name(), QString());
    QVERIFY(local->hasValue(TODOList::Attr_name));
    QCOMPARE(local->textFirstQuadrant(), QString());
    QVERIFY(local->hasValue(TODOList::Attr_textFirstQuadrant));
    QCOMPARE(local->colorFourthQuadrant(), QString());
    QVERIFY(local->hasValue(TODOList::Attr_colorFourthQuadrant));
    QCOMPARE(local->index(), 0);
    QCOMPARE(local->lastItemIndex(), 0);
    QCOMPARE(local->requestedTime(), qint64(0));
    QVERIFY(local->hasValue(TODOList::Attr_requestedTime));
    // Present only with the field.
    for (TODOList::Attribute attribute : {TODOList::Attr_edited_by, TODOList::Attr_editedByDevice, TODOList::Attr_editedByUsername,
                                          TODOList::Attr_boxFolderID, TODOList::Attr_cv_notes, TODOList::Attr_versionID})
        QVERIFY2(!local->hasValue(attribute), qPrintable(local->entity().attributes().at(attribute).name));
    QCOMPARE(local->ownersCountCache(), 0);
    QVERIFY(local->hasValue(TODOList::Attr_ownersCountCache));

    // A present but empty text is kept as an empty text.
    in.set_editedby("");
    ServerDataMerger(*f.document).update(local, in);
    QVERIFY(local->hasValue(TODOList::Attr_edited_by));
    QCOMPARE(local->edited_by(), QString());
}

// --- Items ----------------------------------------------------------------------------

void TestMerge::itemMatching_data()
{
    QTest::addColumn<int>("localId");
    QTest::addColumn<qint64>("localServerID"); // 0: never given
    QTest::addColumn<qint64>("incomingServerId");
    QTest::addColumn<qint64>("incomingIdd");
    QTest::addColumn<bool>("matched");
    QTest::addColumn<int>("expectedId");
    QTest::addColumn<qint64>("expectedServerID");

    QTest::newRow("local id without server id") << 42 << qint64(0) << qint64(0) << qint64(42) << true << 42 << qint64(0);
    QTest::newRow("server id even with another idd") << 7 << qint64(900) << qint64(900) << qint64(55) << true << 55 << qint64(900);
    QTest::newRow("server id compared in 32 bits") << 7 << qint64(900) << (qint64(1) << 32) + 900 << qint64(7) << true << 7
                                                   << (qint64(1) << 32) + 900;
    QTest::newRow("idd compared in 32 bits") << 42 << qint64(0) << qint64(0) << (qint64(1) << 32) + 42 << true << 42 << qint64(0);
    QTest::newRow("server-known item not found by local id") << 42 << qint64(900) << qint64(0) << qint64(42) << false << 42
                                                             << qint64(0);
    QTest::newRow("negative server id matches by local id") << 8 << qint64(-5) << qint64(0) << qint64(8) << true << 8 << qint64(0);
}

void TestMerge::itemMatching()
{
    QFETCH(int, localId);
    QFETCH(qint64, localServerID);
    QFETCH(qint64, incomingServerId);
    QFETCH(qint64, incomingIdd);
    QFETCH(bool, matched);
    QFETCH(int, expectedId);
    QFETCH(qint64, expectedServerID);

    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *local = localItem(f, list, QStringLiteral("Local"), localId, 100,
                                localServerID ? std::optional<qint64>(localServerID) : std::nullopt);

    WireLists reply;
    wireItem(wireList(reply, 10, "L"), incomingServerId, incomingIdd, "Incoming");
    ServerDataMerger(*f.document).merge(reply);

    TODOItem *target = itemNamed(list, QStringLiteral("Incoming"));
    QVERIFY(target);
    QCOMPARE(target == local, matched);
    QCOMPARE(target->id_(), expectedId);
    QCOMPARE(target->int64Value(QStringLiteral("serverID")), expectedServerID);
    QVERIFY(target->hasValue(TODOItem::Attr_serverID));
    QCOMPARE(target->state(), int(RecordState::Open));
    QCOMPARE(list->contains().size(), matched ? 1 : 2);
    if (!matched) {
        // Still known under its server id, which the reply no longer holds.
        QCOMPARE(local->name(), QStringLiteral("Local"));
        QCOMPARE(local->state(), int(RecordState::Deleted));
    }
}

void TestMerge::laterItemOfEqualKeysIsUpdated()
{
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *high = localItem(f, list, QStringLiteral("high"), 5, 200);
    TODOItem *low = localItem(f, list, QStringLiteral("low"), 5, 100);

    WireLists reply;
    wireItem(wireList(reply, 10, "L"), 0, 5, "Incoming")->set_index(100);
    ServerDataMerger(*f.document).merge(reply);

    QCOMPARE(low->name(), QStringLiteral("Incoming"));
    QCOMPARE(high->name(), QStringLiteral("high"));
    QCOMPARE(list->contains().size(), 2);
}

void TestMerge::itemsMissingFromReplyAreDeleted_data()
{
    QTest::addColumn<bool>("deleteNotPresent");
    QTest::newRow("sync reply") << true;
    QTest::newRow("import") << false;
}

void TestMerge::itemsMissingFromReplyAreDeleted()
{
    QFETCH(bool, deleteNotPresent);
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *byId = localItem(f, list, QStringLiteral("by id"), 1, 400);
    TODOItem *byServer = localItem(f, list, QStringLiteral("by server id"), 2, 300, 700);
    TODOItem *missing = localItem(f, list, QStringLiteral("missing"), 3, 200);
    TODOItem *missingUploaded = localItem(f, list, QStringLiteral("missing uploaded"), 4, 100, 701);
    missingUploaded->setState(RecordState::Completed);

    WireLists reply;
    Todolist *in = wireList(reply, 10, "L");
    wireItem(in, 0, 1, "by id");
    wireItem(in, 700, 2, "by server id");
    wireItem(in, 0, 99, "new");
    ServerDataMerger(*f.document).merge(reply, false, deleteNotPresent);

    const int gone = deleteNotPresent ? RecordState::Deleted : RecordState::Open;
    QCOMPARE(byId->state(), int(RecordState::Open));
    QCOMPARE(byServer->state(), int(RecordState::Open));
    QCOMPARE(missing->state(), gone);
    QCOMPARE(missingUploaded->state(), deleteNotPresent ? int(RecordState::Deleted) : int(RecordState::Completed));
    // The item just created is part of the reply and stays.
    TODOItem *created = itemNamed(list, QStringLiteral("new"));
    QVERIFY(created);
    QCOMPARE(created->state(), int(RecordState::Open));
    QCOMPARE(created->id_(), 99);
}

void TestMerge::negativeServerIDKeysDifferForMatchingAndDeletion()
{
    // Matching takes a server id only from 1 up, deletion any non-zero one.
    {
        // The reply's idd 8 would keep an item keyed by its local id, but for
        // deletion the item is known by its (negative) server id.
        DocumentFixture f;
        TODOList *list = localList(f, QStringLiteral("L"), 10);
        TODOItem *uploaded = localItem(f, list, QStringLiteral("uploaded"), 1, 200, 300);
        TODOItem *negative = localItem(f, list, QStringLiteral("negative"), 8, 100, -5);

        WireLists reply;
        wireItem(wireList(reply, 10, "L"), 300, 8, "Incoming");
        ServerDataMerger(*f.document).merge(reply);

        QCOMPARE(uploaded->name(), QStringLiteral("Incoming"));
        QCOMPARE(uploaded->id_(), 8);
        QCOMPARE(uploaded->state(), int(RecordState::Open));
        QCOMPARE(negative->name(), QStringLiteral("negative"));
        QCOMPARE(negative->state(), int(RecordState::Deleted));
    }
    {
        // The reply's server id -5 finds nothing to update (the item's match
        // key is its local id), yet it keeps the item from being deleted.
        DocumentFixture f;
        TODOList *list = localList(f, QStringLiteral("L"), 10);
        TODOItem *negative = localItem(f, list, QStringLiteral("negative"), 8, 100, -5);

        WireLists reply;
        wireItem(wireList(reply, 10, "L"), -5, 77, "Incoming");
        ServerDataMerger(*f.document).merge(reply);

        QCOMPARE(negative->name(), QStringLiteral("negative"));
        QCOMPARE(negative->id_(), 8);
        QCOMPARE(negative->state(), int(RecordState::Open));
        TODOItem *created = itemNamed(list, QStringLiteral("Incoming"));
        QVERIFY(created);
        QVERIFY(created != negative);
        QCOMPARE(created->serverID(), -5);
        QCOMPARE(created->id_(), 77);
        QCOMPARE(created->state(), int(RecordState::Open));
    }
}

void TestMerge::deletedItemIsNeverMatched()
{
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *deleted = localItem(f, list, QStringLiteral("deleted"), 42, 100, 900);
    deleted->setState(RecordState::Deleted);

    WireLists reply;
    wireItem(wireList(reply, 10, "L"), 900, 42, "Incoming");
    ServerDataMerger(*f.document).merge(reply);

    QCOMPARE(deleted->name(), QStringLiteral("deleted"));
    QCOMPARE(deleted->state(), int(RecordState::Deleted));
    TODOItem *created = itemNamed(list, QStringLiteral("Incoming"));
    QVERIFY(created);
    QVERIFY(created != deleted);
    QCOMPARE(created->serverID(), 900);
    QCOMPARE(created->id_(), 42);
    QCOMPARE(created->list(), list);
    QCOMPARE(list->contains().size(), 2);
}

void TestMerge::itemFieldsWhenPresent()
{
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *item = localItem(f, list, QStringLiteral("Before"), 1, 100);
    item->setEdited_since(1);
    item->setStatus(QStringLiteral("local status"));
    item->setResourceURI(QStringLiteral("/api/v1/item/1/"));

    const QDateTime due = utc(2012, 6, 1);
    const QDateTime start = utc(2012, 5, 20, 12);
    const QDateTime completion = utc(2012, 5, 30, 17, 45, 3);

    WireItem in;
    in.set_serverid((qint64(2) << 32) + 900);
    in.set_idd((qint64(1) << 32) - 5); // low 32 bits: -5
    in.set_quadrant(2);
    in.set_index(-300);
    in.set_timestamp(quint64(1338508800));
    in.set_state(RecordState::Completed);
    in.set_completionpercentage(100);
    in.set_name("After");
    in.set_descriptionrichtext("<p>Buy <b>milk</b></p>");
    in.set_descriptiontext("Buy milk!");
    in.set_editedsince(1);
    in.set_duedate(wireSeconds(due));
    in.set_startdate(wireSeconds(start));
    in.set_completiondate(wireSeconds(completion));
    in.set_childid(-12);
    in.set_parentid((qint64(1) << 33) + 13);
    in.set_requestedtime(4242);
    in.set_allday(true);
    in.set_editedby("editor");
    in.set_creatorusername("creator-user");
    in.set_versionid((qint64(1) << 40) + 1);
    in.set_effort(5);
    in.set_status("server status");
    in.set_resourceuri("/api/v1/item/999/");
    in.add_files("a.txt");

    ServerDataMerger(*f.document).update(item, in);

    QCOMPARE(item->int64Value(QStringLiteral("serverID")), (qint64(2) << 32) + 900);
    QCOMPARE(item->serverID(), 900);
    QCOMPARE(item->id_(), -5);
    QCOMPARE(item->quadrant(), 2);
    QCOMPARE(item->index(), -300);
    QCOMPARE(item->timestamp(), 1338508800);
    QCOMPARE(item->state(), int(RecordState::Completed));
    QCOMPARE(item->completionPercentage(), 100);
    QCOMPARE(item->name(), QStringLiteral("After"));
    QCOMPARE(item->descriptionRichText(), QStringLiteral("<p>Buy <b>milk</b></p>"));
    QCOMPARE(item->descriptionText(), QStringLiteral("Buy milk!"));
    QCOMPARE(item->edited_since(), 0);
    QCOMPARE(item->dueDate(), due);
    QCOMPARE(item->startDate(), start);
    QCOMPARE(item->completionDate(), completion);
    QCOMPARE(item->childID(), -12);
    QCOMPARE(item->parentID(), 13);
    QCOMPARE(item->requestedTime(), qint64(4242));
    QCOMPARE(item->allDay(), true);
    QCOMPARE(item->edited_by(), QStringLiteral("editor"));
    QCOMPARE(item->creatorUsername(), QStringLiteral("creator-user"));
    QCOMPARE(item->versionID(), (qint64(1) << 40) + 1);
    QCOMPARE(item->effort(), 5);
    // Never taken from a message.
    QCOMPARE(item->status(), QStringLiteral("local status"));
    QCOMPARE(item->resourceURI(), QStringLiteral("/api/v1/item/1/"));
    QCOMPARE(item->list(), list);
}

void TestMerge::itemFieldsWhenAbsent()
{
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *item = localItem(f, list, QStringLiteral("Before"), 1, 100, 900);
    item->setQuadrant(3);
    item->setOwner(QStringLiteral("owner"));
    item->setFrequency(QStringLiteral("daily"));
    item->setDueDate(utc(2012, 1, 1));
    item->setStartDate(utc(2012, 1, 3));
    item->setCompletionDate(utc(2012, 1, 5));
    item->setCompletionPercentage(100);
    item->setChildID(4);
    item->setParentID(5);
    item->setRequestedTime(77);
    item->setAllDay(true);
    item->setEdited_by(QStringLiteral("e"));
    item->setEditedByDevice(QStringLiteral("d"));
    item->setCreatorUsername(QStringLiteral("c"));
    item->setBoxFolderID(QStringLiteral("b"));
    item->setVersionID(8);
    item->setEffort(3);

    WireItem in; // nothing present
    ServerDataMerger(*f.document).update(item, in);

    QCOMPARE(item->int64Value(QStringLiteral("serverID")), qint64(0));
    QVERIFY(item->hasValue(TODOItem::Attr_serverID));
    QCOMPARE(item->id_(), 0);
    QCOMPARE(item->quadrant(), 0);
    QCOMPARE(item->index(), 0);
    QCOMPARE(item->completionPercentage(), 0);
    for (TODOItem::Attribute attribute : {TODOItem::Attr_owner, TODOItem::Attr_name, TODOItem::Attr_frequency}) {
        QVERIFY2(item->hasValue(attribute), qPrintable(item->entity().attributes().at(attribute).name));
        QCOMPARE(item->value(item->entity().attributes().at(attribute).name).toString(), QString());
    }
    for (TODOItem::Attribute attribute : {TODOItem::Attr_dueDate, TODOItem::Attr_startDate, TODOItem::Attr_completionDate,
                                          TODOItem::Attr_requestedTime, TODOItem::Attr_allDay, TODOItem::Attr_edited_by,
                                          TODOItem::Attr_editedByDevice, TODOItem::Attr_creatorUsername,
                                          TODOItem::Attr_boxFolderID, TODOItem::Attr_versionID})
        QVERIFY2(!item->hasValue(attribute), qPrintable(item->entity().attributes().at(attribute).name));
    // No effort in the message: effort 0, not absent.
    QCOMPARE(item->effort(), 0);
    QVERIFY(item->hasValue(TODOItem::Attr_effort));
    QCOMPARE(item->childID(), 0);
    QCOMPARE(item->parentID(), 0);
    QVERIFY(item->hasValue(TODOItem::Attr_childID));

    // A date field that is present but 0 is no date either.
    in.set_duedate(0);
    in.set_startdate(0);
    item->setDueDate(utc(2012, 1, 1));
    item->setStartDate(utc(2012, 1, 1));
    ServerDataMerger(*f.document).update(item, in);
    QVERIFY(!item->hasValue(TODOItem::Attr_dueDate));
    QVERIFY(!item->hasValue(TODOItem::Attr_startDate));
}

void TestMerge::plainNotesReplaceTheDerivedText()
{
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *item = localItem(f, list, QStringLiteral("I"), 1, 100);

    // Without the plain text field the derived text is replaced by the empty text.
    WireItem in;
    in.set_descriptionrichtext("<p>Call <i>Bob</i></p>");
    ServerDataMerger(*f.document).update(item, in);
    QCOMPARE(item->descriptionRichText(), QStringLiteral("<p>Call <i>Bob</i></p>"));
    QCOMPARE(item->descriptionText(), QString());

    // With it, that text wins over what the notes would give.
    in.set_descriptiontext("plain");
    ServerDataMerger(*f.document).update(item, in);
    QCOMPARE(item->descriptionText(), QStringLiteral("plain"));
}

void TestMerge::completionDateOnlyWithFullCompletion_data()
{
    QTest::addColumn<int>("percentage"); // -1: field absent
    QTest::addColumn<quint64>("completionSeconds");
    QTest::addColumn<bool>("dated");

    const quint64 seconds = wireSeconds(utc(2012, 6, 1, 10));
    QTest::newRow("100 and a date") << 100 << seconds << true;
    QTest::newRow("90 and a date") << 90 << seconds << false;
    QTest::newRow("percentage absent") << -1 << seconds << false;
    QTest::newRow("100 and date 0") << 100 << quint64(0) << false;
}

void TestMerge::completionDateOnlyWithFullCompletion()
{
    QFETCH(int, percentage);
    QFETCH(quint64, completionSeconds);
    QFETCH(bool, dated);

    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *item = localItem(f, list, QStringLiteral("I"), 1, 100);
    item->setCompletionPercentage(100);
    item->setCompletionDate(utc(2011, 1, 1));

    WireLists reply;
    WireItem *in = wireItem(wireList(reply, 10, "L"), 0, 1, "I");
    if (percentage >= 0)
        in->set_completionpercentage(percentage);
    in->set_completiondate(completionSeconds);
    ServerDataMerger(*f.document).merge(reply);

    QCOMPARE(item->completionPercentage(), std::max(percentage, 0));
    QCOMPARE(item->completionDate().isValid(), dated);
    if (dated)
        QCOMPARE(item->completionDate(), QDateTime::fromSecsSinceEpoch(qint64(completionSeconds), Qt::UTC));
}

// --- Reset, round trip, no-op ------------------------------------------------------------

void TestMerge::resetMakesNewListsAndItemsEveryTime()
{
    DocumentFixture f;
    TODOList *local = localList(f, QStringLiteral("Shared"), 10);
    TODOItem *localOne = localItem(f, local, QStringLiteral("one"), 42, 100, 900);

    WireLists file;
    Todolist *in = wireList(file, 10, "Shared");
    in->set_versionid(31);
    in->set_boxfolderid("box-list");
    WireItem *item = wireItem(in, 900, 42, "one");
    item->set_versionid(32);
    item->set_boxfolderid("box-item");

    ServerDataMerger merger(*f.document);
    merger.merge(file, true, false);
    merger.merge(file, true, false);

    // The local list and item are untouched; two copies were added.
    QCOMPARE(local->id_(), 10);
    QCOMPARE(local->contains(), QList<TODOItem *>{localOne});
    QCOMPARE(localOne->serverID(), 900);
    QCOMPARE(localOne->id_(), 42);

    QList<TODOList *> copies = listsNamed(f, QStringLiteral("Shared"));
    copies.removeAll(local);
    QCOMPARE(copies.size(), 2);
    QVERIFY(copies[0] != copies[1]);
    for (TODOList *copy : copies) {
        QCOMPARE(copy->id_(), 0);
        QCOMPARE(copy->state(), int(RecordState::Open));
        QVERIFY(!copy->hasValue(TODOList::Attr_versionID));
        QVERIFY(!copy->hasValue(TODOList::Attr_boxFolderID));
        QVERIFY(f.document->getAllProjects().contains(copy));
        const QList<TODOItem *> items = copy->contains();
        QCOMPARE(items.size(), 1);
        QVERIFY(items.first() != localOne);
        QCOMPARE(items.first()->name(), QStringLiteral("one"));
        QCOMPARE(items.first()->int64Value(QStringLiteral("serverID")), qint64(0));
        QVERIFY(!items.first()->hasValue(TODOItem::Attr_versionID));
        QVERIFY(!items.first()->hasValue(TODOItem::Attr_boxFolderID));
    }
}

void TestMerge::resetGivesItemsIdentifiersUniqueInTheirList()
{
    // A source that keeps drawing the same number before moving on.
    quint32 draws = 0;
    GeneratorGuard guard([&draws]() -> quint32 { return ++draws <= 8 ? 7u : 7u + draws; });

    DocumentFixture f;
    WireLists file;
    Todolist *in = wireList(file, 10, "Imported");
    for (int i = 0; i < 3; ++i)
        wireItem(in, 0, 7, "item " + std::to_string(i));
    ServerDataMerger(*f.document).merge(file, true, false);

    const QList<TODOList *> imported = listsNamed(f, QStringLiteral("Imported"));
    QCOMPARE(imported.size(), 1);
    const QList<TODOItem *> items = imported.first()->contains();
    QCOMPARE(items.size(), 3);
    QSet<int> ids;
    for (TODOItem *item : items)
        ids.insert(item->id_());
    QCOMPARE(ids.size(), 3);
}

void TestMerge::resetNeverMatchesItemsOfTheList()
{
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *mine = localItem(f, list, QStringLiteral("mine"), 42, 100, 900);

    Todolist in;
    in.set_idd(10);
    wireItem(&in, 900, 42, "theirs");
    ServerDataMerger(*f.document).updateCoreProject(list, in, true, false);

    QCOMPARE(mine->name(), QStringLiteral("mine"));
    QCOMPARE(mine->serverID(), 900);
    TODOItem *theirs = itemNamed(list, QStringLiteral("theirs"));
    QVERIFY(theirs);
    QVERIFY(theirs != mine);
    QCOMPARE(theirs->int64Value(QStringLiteral("serverID")), qint64(0));
    // Fresh and unique in the list, so never the 42 the list already uses.
    QVERIFY(theirs->id_() != 42);
}

void TestMerge::exportedListsComeBackEqual()
{
    struct ItemValues {
        QString name, rich, plain, icon, frequency;
        QDateTime due, start, creation, completion, until;
        int state, quadrant, index, percentage, effort;
        bool allDay;
    };
    struct ListValues {
        QString name;
        QStringList titles, colors;
        QList<ItemValues> items;
    };
    auto itemValues = [](const TODOItem *i) {
        return ItemValues{i->name(), i->descriptionRichText(), i->descriptionText(), i->icon(), i->frequency(),
                          i->dueDate(), i->startDate(), i->creationDate(), i->completionDate(), i->untilDate(),
                          i->state(), i->quadrant(), i->index(), i->completionPercentage(), i->effort(), i->allDay()};
    };
    auto listValues = [&itemValues](DocumentFixture &f, TODOList *l) {
        ListValues v{l->name(),
                     {l->textFirstQuadrant(), l->textSecondQuadrant(), l->textThirdQuadrant(), l->textFourthQuadrant()},
                     {l->colorFirstQuadrant(), l->colorSecondQuadrant(), l->colorThirdQuadrant(), l->colorFourthQuadrant()},
                     {}};
        for (TODOItem *item : f.document->getAllTODOItemsForTODOList(l))
            v.items << itemValues(item);
        return v;
    };

    QByteArray exported;
    QList<ListValues> expected;
    {
        DocumentFixture source;
        TODOList *home = localList(source, QStringLiteral("Home"), 57);
        home->setIndex(200);
        home->setTextFirstQuadrant(QStringLiteral("Now"));
        home->setColorSecondQuadrant(QStringLiteral("{0.1, 0.2, 0.3, 1}"));
        TODOItem *a = localItem(source, home, QStringLiteral("Pay rent"), 11, 300, 901);
        a->setQuadrant(0);
        a->setDescriptionRichText(QStringLiteral("<p>Before the <b>1st</b></p>"));
        a->setDueDate(utc(2012, 6, 1));
        a->setCreationDate(utc(2012, 5, 1, 9, 15, 30));
        a->setIcon(QStringLiteral("money.png"));
        a->setFrequency(QStringLiteral("monthly"));
        a->setVersionID(4);
        TODOItem *b = localItem(source, home, QStringLiteral("Fix bike"), 12, 200);
        b->setQuadrant(2);
        b->setState(RecordState::Completed);
        b->setCompletionPercentage(100);
        b->setCompletionDate(utc(2012, 5, 30, 18));
        b->setStartDate(utc(2012, 5, 28));
        b->setAllDay(true);
        b->setEffort(2);
        TODOItem *c = localItem(source, home, QStringLiteral("Old idea"), 13, 100);
        c->setQuadrant(3);
        c->setState(RecordState::Trashed);
        c->setUntilDate(utc(2013, 1, 1));
        TODOList *work = localList(source, QStringLiteral("Work"), 58);
        work->setIndex(100);
        work->setTextFourthQuadrant(QStringLiteral("Later"));
        localItem(source, work, QStringLiteral("Report"), 21, 100)->setQuadrant(1);

        exported = PayloadBuilder(*source.document).exportLists({home, work});
        expected << listValues(source, home) << listValues(source, work);
    }

    DocumentFixture destination;
    QVERIFY(destination.context()->create(destination.dir.filePath(QStringLiteral("store.sqlite"))));
    const std::optional<WireLists> file = WireLists::parse(exported);
    QVERIFY(file.has_value());
    QVERIFY(ServerDataMerger(*destination.document).merge(*file, true, false));

    const QList<TODOList *> lists = destination.document->getAllProjects();
    QCOMPARE(lists.size(), expected.size());
    for (const ListValues &want : expected) {
        const QList<TODOList *> named = listsNamed(destination, want.name);
        QCOMPARE(named.size(), 1);
        TODOList *list = named.first();
        QCOMPARE(list->id_(), 0);
        const ListValues got = listValues(destination, list);
        QCOMPARE(got.titles, want.titles);
        QCOMPARE(got.colors, want.colors);
        QCOMPARE(got.items.size(), want.items.size());
        for (int i = 0; i < want.items.size(); ++i) {
            const ItemValues &g = got.items[i];
            const ItemValues &w = want.items[i];
            QCOMPARE(g.name, w.name);
            QCOMPARE(g.rich, w.rich);
            QCOMPARE(g.plain, w.plain);
            QCOMPARE(g.icon, w.icon);
            QCOMPARE(g.frequency, w.frequency);
            QCOMPARE(g.due, w.due);
            QCOMPARE(g.start, w.start);
            QCOMPARE(g.creation, w.creation);
            QCOMPARE(g.completion, w.completion);
            QCOMPARE(g.until, w.until);
            QCOMPARE(g.state, w.state);
            QCOMPARE(g.quadrant, w.quadrant);
            QCOMPARE(g.index, w.index);
            QCOMPARE(g.percentage, w.percentage);
            QCOMPARE(g.effort, w.effort);
            QCOMPARE(g.allDay, w.allDay);
        }
        for (TODOItem *item : list->contains())
            QCOMPARE(item->int64Value(QStringLiteral("serverID")), qint64(0));
    }
}

void TestMerge::replyEqualToTheFullPayloadChangesNothing()
{
    DocumentFixture f;
    const QString device = SyncUtils::getDeviceUID();

    TODOList *home = localList(f, QStringLiteral("Home"), 57);
    home->setIndex(200);
    home->setLastItemIndex(3);
    home->setCv_notes(QStringLiteral("notes"));
    home->setVersionID(9);
    home->setEditedByDevice(device);
    TODOItem *a = localItem(f, home, QStringLiteral("Pay rent"), 11, 300);
    a->setDescriptionRichText(QStringLiteral("<p>Before the <b>1st</b></p>"));
    a->setDueDate(utc(2012, 6, 1));
    a->setCreationDate(utc(2012, 5, 1, 9, 15, 30));
    a->setIcon(QStringLiteral("money.png"));
    a->setVersionID(4);
    a->setEdited_by(QStringLiteral("someone"));
    a->setEditedByDevice(device);
    a->setStatus(QStringLiteral("status"));
    a->setEdited_since(1);
    TODOItem *b = localItem(f, home, QStringLiteral("Fix bike"), 12, 200);
    b->setQuadrant(2);
    b->setState(RecordState::Completed);
    b->setCompletionPercentage(100);
    b->setCompletionDate(utc(2012, 5, 30, 18));
    b->setAllDay(true);
    b->setEffort(2);
    b->setEditedByDevice(device);
    TODOItem *gone = localItem(f, home, QStringLiteral("Deleted earlier"), 13, 100);
    gone->setState(RecordState::Deleted);
    TODOList *work = localList(f, QStringLiteral("Work"), 58);
    work->setIndex(100);
    work->setEditedByDevice(device);
    work->setEdited_since(1);
    TODOItem *report = localItem(f, work, QStringLiteral("Report"), 21, 100);
    report->setQuadrant(1);
    report->setEditedByDevice(device);
    f.document->projects().markProject(work, RecordState::Trashed);

    // Building the payload may store the device as a list's editor; compare from there.
    const std::optional<WireLists> reply = WireLists::parse(PayloadBuilder(*f.document).makeAllDataForTransfer());
    QVERIFY(reply.has_value());
    QCOMPARE(reply->listCount(), 2);
    const QMap<QString, QVariant> before = snapshot(f.context());
    const qsizetype listCount = f.context()->objects(TODOList::EntityName).size();
    const qsizetype itemCount = f.context()->objects(TODOItem::EntityName).size();

    ServerDataMerger(*f.document).merge(*reply);

    QCOMPARE(f.context()->objects(TODOList::EntityName).size(), listCount);
    QCOMPARE(f.context()->objects(TODOItem::EntityName).size(), itemCount);
    const QMap<QString, QVariant> after = snapshot(f.context());
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
    QCOMPARE(work->state(), int(RecordState::Trashed));
    QCOMPARE(gone->state(), int(RecordState::Deleted));
    QCOMPARE(f.document->projects().getTrashedProjects(), QList<TODOList *>{work});
    // The change marks are cleared.
    for (TODOItem *item : {a, report})
        QCOMPARE(item->edited_since(), 0);
    QCOMPARE(work->edited_since(), 0);
}

// --- End of a merge --------------------------------------------------------------------

void TestMerge::everyMergeMarksTheStoreSynced_data()
{
    QTest::addColumn<bool>("resetIDs");
    QTest::addColumn<bool>("deleteNotPresent");
    QTest::addColumn<bool>("emptyMessage");
    QTest::newRow("sync reply") << false << true << false;
    QTest::newRow("empty sync reply") << false << true << true;
    QTest::newRow("list file") << true << false << false;
    QTest::newRow("empty list file") << true << false << true;
}

void TestMerge::everyMergeMarksTheStoreSynced()
{
    QFETCH(bool, resetIDs);
    QFETCH(bool, deleteNotPresent);
    QFETCH(bool, emptyMessage);
    DocumentFixture f;
    Defaults::standard().setValue(kHasSyncedBefore, QStringLiteral("no"));

    WireLists message;
    if (!emptyMessage)
        wireItem(wireList(message, 3, "L"), 0, 1, "I");
    ServerDataMerger(*f.document).merge(message, resetIDs, deleteNotPresent);

    QCOMPARE(Defaults::standard().stringValue(kHasSyncedBefore), QStringLiteral("yes"));
}

void TestMerge::answerFollowsTheSave_data()
{
    QTest::addColumn<bool>("withStoreFile");
    QTest::newRow("store file") << true;
    QTest::newRow("no store file") << false;
}

void TestMerge::answerFollowsTheSave()
{
    QFETCH(bool, withStoreFile);
    DocumentFixture f;
    if (withStoreFile)
        QVERIFY(f.context()->create(f.dir.filePath(QStringLiteral("store.sqlite"))));

    WireLists reply;
    wireItem(wireList(reply, 3, "From server"), 5, 5, "I");
    const bool saved = ServerDataMerger(*f.document).merge(reply);

    QCOMPARE(saved, withStoreFile);
    QCOMPARE(f.context()->hasChanges(), !withStoreFile);
    // Whatever became of the save, the records stay written.
    QCOMPARE(listsNamed(f, QStringLiteral("From server")).size(), 1);
}

QTEST_GUILESS_MAIN(TestMerge)
#include "tst_merge.moc"
