// Writing received messages into the store: matching lists and items by
// identifier, creating what is new, deleting what a sync reply no longer
// holds, the field rules, identifier reset for list files, and the end of a merge.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "ObjectModel.h"
#include "PayloadBuilder.h"
#include "ServerDataMerger.h"
#include "TestSupport.h"
#include "WireLists.h"
#include "corvane_wire.pb.h"

#include <QTest>

#include <algorithm>
#include <string>

using corvane::wire::Todolist;
using WireItem = corvane::wire::Todolist_Todoitems;

namespace {

TODOList *localList(DocumentFixture &f, const QString &name, int id)
{
    TODOList *list = f.document->addNewProjectWithName(name);
    list->setId_(id);
    return list;
}

// serverID 0: never given.
TODOItem *localItem(DocumentFixture &f, TODOList *list, const QString &name, int id, int index, qint64 serverID = 0)
{
    auto *item = f.context()->insert<TODOItem>(TODOItem::EntityName);
    item->setName(name);
    item->setId_(id);
    item->setIndex(index);
    item->setState(RecordState::Open);
    if (serverID)
        item->setServerID(serverID);
    item->setList(list);
    return item;
}

Todolist *wireList(WireLists &lists, qint64 idd, const std::string &name)
{
    Todolist *list = lists.message().add_todolist();
    list->set_idd(idd);
    list->set_name(name);
    return list;
}

WireItem *wireItem(Todolist *list, qint64 serverId, qint64 idd, const std::string &name)
{
    WireItem *item = list->add_todoitems();
    if (serverId)
        item->set_serverid(serverId);
    item->set_idd(idd);
    item->set_name(name);
    return item;
}

QList<TODOList *> listsNamed(DocumentFixture &f, const QString &name)
{
    QList<TODOList *> found;
    for (ManagedObject *object : f.context()->objects(TODOList::EntityName))
        if (static_cast<TODOList *>(object)->name() == name)
            found << static_cast<TODOList *>(object);
    return found;
}

// Gives every attribute a value that differs by seed and position and
// survives the wire: 32-bit numbers, whole seconds after the epoch.
void fillAll(ManagedObject *record, int seed)
{
    const auto &attributes = record->entity().attributes();
    for (int i = 0; i < attributes.size(); ++i) {
        const int n = seed + i;
        QVariant value;
        switch (attributes[i].type) {
        case AttributeType::Int32: value = n % 2 ? -(70000 + n) : 70000 + n; break;
        case AttributeType::Int64: value = qlonglong(900000 + n); break;
        case AttributeType::Double: value = 12.5 + n; break;
        case AttributeType::Bool: value = true; break;
        case AttributeType::Text: value = QStringLiteral("text %1 ü").arg(n); break;
        case AttributeType::Date: value = QDateTime(QDate(2012, 5, 1).addDays(n), QTime(9, 15, 30)); break;
        case AttributeType::Binary: value = QByteArray::number(n); break;
        }
        record->setValue(attributes[i].name, value);
    }
}

// Every attribute of a record by name; absent ones are invalid.
QVariantMap valuesOf(const ManagedObject *record, const QStringList &skipped = {})
{
    QVariantMap values;
    for (const AttributeDescription &attribute : record->entity().attributes())
        if (!skipped.contains(attribute.name))
            values.insert(attribute.name, record->value(attribute.name));
    return values;
}

// Every list and item of the store: its values and its list.
QList<QVariantMap> snapshot(ManagedObjectContext *context)
{
    QList<QVariantMap> all;
    for (const QString &entity : {TODOList::EntityName, TODOItem::EntityName}) {
        for (const ManagedObject *object : context->objects(entity)) {
            all << valuesOf(object);
            all.last().insert(QStringLiteral("list"), QVariant::fromValue(quintptr(object->toOne(QStringLiteral("list")))));
        }
    }
    return all;
}

// The first key of expected whose value actual does not hold; empty when none.
QString firstDifference(const QVariantMap &actual, const QVariantMap &expected)
{
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        if (actual.value(it.key()) != it.value())
            return it.key() + QStringLiteral(": ") + actual.value(it.key()).toString();
    return {};
}

// Checks a record after a merge against its field rules: a given value, kept
// as before, absent, or else present and 0 or empty. Names the first attribute
// that breaks them.
QString brokenFieldRule(const ManagedObject *record, const QVariantMap &before, const QVariantMap &given,
                        const QStringList &absent, const QStringList &kept)
{
    for (const AttributeDescription &attribute : record->entity().attributes()) {
        const QVariant value = record->value(attribute.name);
        bool holds = value.isValid() && value == QVariant(value.metaType());
        if (given.contains(attribute.name))
            holds = value == given.value(attribute.name);
        else if (kept.contains(attribute.name))
            holds = value == before.value(attribute.name);
        else if (absent.contains(attribute.name))
            holds = !value.isValid();
        if (!holds)
            return attribute.name + QStringLiteral(": ") + value.toString();
    }
    return {};
}

// Rows of itemMatching: a local item (id_, serverID, state; the first has the
// highest index) and an incoming one (serverId, idd).
struct Local {
    int id;
    qint64 serverID;
    int state;
};
struct Incoming {
    qint64 serverId;
    qint64 idd;
};

// Where the local list of listMatching is.
enum class LocalList { Shown, TrashedSinceOpening, TrashedEarlier };

} // namespace

Q_DECLARE_METATYPE(QList<Local>)
Q_DECLARE_METATYPE(QList<Incoming>)
Q_DECLARE_METATYPE(LocalList)

class TestMerge : public QObject
{
    Q_OBJECT

private slots:
    void listMatching_data();
    void listMatching();
    void sameListTwiceDetachesTheLocalList();
    void itemMatching_data();
    void itemMatching();
    void fieldRules();
    void resetNeverMatchesAndDrawsIdentifiersUniqueInTheList();
    void syncReplyCarriesEveryField();
    void everyMergeMarksSyncedAndAnswersTheSave_data();
    void everyMergeMarksSyncedAndAnswersTheSave();
};

void TestMerge::listMatching_data()
{
    QTest::addColumn<LocalList>("where");
    QTest::addColumn<int>("localId");
    QTest::addColumn<qint64>("idd");
    QTest::addColumn<bool>("matched");
    QTest::addColumn<int>("localState"); // after the merge
    QTest::addColumn<QString>("itemStates");

    const qint64 wide = qint64(1) << 32;
    QTest::newRow("same id") << LocalList::Shown << 10 << qint64(10) << true << 0 << "0 3 3";
    QTest::newRow("missing from the reply") << LocalList::Shown << 10 << qint64(11) << false << 3 << "3 3 3";
    QTest::newRow("trashed since opening, missing") << LocalList::TrashedSinceOpening << 10 << qint64(11) << false << 3
                                                   << "3 3 3";
    // Never uploaded: the server's copy replaces it.
    QTest::newRow("id 0") << LocalList::Shown << 0 << qint64(77) << false << 3 << "3 3 3";
    QTest::newRow("trashed earlier, same id") << LocalList::TrashedEarlier << 10 << qint64(10) << false << 2 << "0 1 2";
    QTest::newRow("trashed earlier, missing") << LocalList::TrashedEarlier << 10 << qint64(11) << false << 2 << "0 1 2";
    QTest::newRow("idd by its 32 bits") << LocalList::Shown << 12 << wide + 12 << true << 0 << "0 3 3";
    QTest::newRow("new list of a wide idd") << LocalList::Shown << 10 << wide + 5 << false << 3 << "3 3 3";
}

void TestMerge::listMatching()
{
    QFETCH(LocalList, where);
    QFETCH(int, localId);
    QFETCH(qint64, idd);
    QFETCH(bool, matched);
    QFETCH(int, localState);
    QFETCH(QString, itemStates);

    DocumentFixture f;
    TODOList *local = nullptr;
    if (where == LocalList::TrashedEarlier) {
        // In the store but not in the document's list array.
        local = f.context()->insert<TODOList>(TODOList::EntityName);
        local->setId_(localId);
        local->setState(RecordState::Trashed);
    } else {
        local = localList(f, QStringLiteral("Local"), localId);
        if (where == LocalList::TrashedSinceOpening)
            f.document->projects().markProject(local, RecordState::Trashed);
    }
    QList<TODOItem *> items;
    for (int state : {0, 1, 2})
        items << localItem(f, local, QStringLiteral("local"), state + 1, 300 - 100 * state);
    for (int state : {0, 1, 2})
        items[state]->setState(state);

    WireLists reply;
    Todolist *in = wireList(reply, idd, "Reply");
    in->set_state(RecordState::Trashed); // never taken
    wireItem(in, 0, 1, "Reply item");
    ServerDataMerger(*f.document).merge(reply);

    const QList<TODOList *> fromReply = listsNamed(f, QStringLiteral("Reply"));
    QCOMPARE(fromReply.size(), 1);
    QCOMPARE(fromReply.first() == local, matched);
    QCOMPARE(fromReply.first()->id_(), WireFormat::low32(idd));
    QCOMPARE(fromReply.first()->state(), int(RecordState::Open));
    QVERIFY(f.document->getAllProjects().contains(fromReply.first()));
    QCOMPARE(local->state(), localState);
    QStringList states;
    for (TODOItem *item : items)
        states << QString::number(item->state());
    QCOMPARE(states.join(QLatin1Char(' ')), itemStates);
}

void TestMerge::sameListTwiceDetachesTheLocalList()
{
    DocumentFixture f;
    TODOList *local = localList(f, QStringLiteral("Groceries"), 10);
    WireLists reply;
    wireList(reply, 10, "Copy 1");
    wireList(reply, 10, "Copy 2");
    ServerDataMerger(*f.document).merge(reply);

    // Both copies went into the one list in turn; the next upload sends it as a new list.
    QCOMPARE(local->name(), QStringLiteral("Copy 2"));
    QCOMPARE(local->id_(), 0);
    QCOMPARE(local->edited_since(), 1);
    QCOMPARE(f.document->getAllProjects(), QList<TODOList *>{local});
}

void TestMerge::itemMatching_data()
{
    QTest::addColumn<QList<Local>>("local");
    QTest::addColumn<QList<Incoming>>("reply");
    QTest::addColumn<bool>("deleteNotPresent");
    QTest::addColumn<QString>("expected"); // name/state of each item; local ones named a, b, ...; incoming r1, r2, ...

    using L = QList<Local>;
    using R = QList<Incoming>;
    const qint64 wide = qint64(1) << 32;
    QTest::newRow("local id") << L{{42, 0, 0}} << R{{0, 42}} << true << "r1/0";
    QTest::newRow("server id, whatever the idd") << L{{7, 900, 0}} << R{{900, 55}} << true << "r1/0";
    QTest::newRow("server id by its 32 bits") << L{{7, 900, 0}} << R{{wide + 900, 7}} << true << "r1/0";
    QTest::newRow("idd by its 32 bits") << L{{42, 0, 0}} << R{{0, wide + 42}} << true << "r1/0";
    QTest::newRow("uploaded item not found by local id") << L{{42, 900, 0}} << R{{0, 42}} << true << "a/3 r1/0";
    QTest::newRow("negative server id: found by local id") << L{{8, -5, 0}} << R{{0, 8}} << true << "r1/0";
    QTest::newRow("negative server id: kept only by it") << L{{1, 300, 0}, {8, -5, 0}} << R{{300, 8}} << true
                                                         << "r1/0 b/3";
    QTest::newRow("negative server id in the reply") << L{{8, -5, 0}} << R{{-5, 77}} << true << "a/0 r1/0";
    QTest::newRow("equal keys: the lower index") << L{{5, 0, 0}, {5, 0, 0}} << R{{0, 5}} << true << "a/0 r1/0";
    QTest::newRow("deleted item never matched") << L{{42, 900, 3}} << R{{900, 42}} << true << "a/3 r1/0";
    const L four{{1, 0, 0}, {2, 700, 0}, {3, 0, 0}, {4, 701, 1}};
    const R three{{0, 1}, {700, 2}, {0, 99}};
    QTest::newRow("sync reply deletes the missing") << four << three << true << "r1/0 r2/0 c/3 d/3 r3/0";
    QTest::newRow("import deletes nothing") << four << three << false << "r1/0 r2/0 c/0 d/1 r3/0";
}

void TestMerge::itemMatching()
{
    QFETCH(QList<Local>, local);
    QFETCH(QList<Incoming>, reply);
    QFETCH(bool, deleteNotPresent);
    QFETCH(QString, expected);

    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    for (int i = 0; i < local.size(); ++i) {
        const Local &l = local[i];
        localItem(f, list, QString(QChar(u'a' + i)), l.id, 100 * int(local.size() - i), l.serverID)->setState(l.state);
    }
    WireLists message;
    Todolist *in = wireList(message, 10, "L");
    for (int i = 0; i < reply.size(); ++i)
        wireItem(in, reply[i].serverId, reply[i].idd, "r" + std::to_string(i + 1));
    ServerDataMerger(*f.document).merge(message, false, deleteNotPresent);

    QStringList items;
    for (TODOItem *item : list->contains())
        items << QStringLiteral("%1/%2").arg(item->name()).arg(item->state());
    QCOMPARE(items.join(QLatin1Char(' ')), expected);
}

void TestMerge::fieldRules()
{
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 12);
    auto *item = f.context()->insert<TODOItem>(TODOItem::EntityName);
    fillAll(list, 0);
    fillAll(item, 0);
    const QVariantMap listBefore = valuesOf(list), itemBefore = valuesOf(item);

    // Wide numbers, an empty editor, a due date of 0, a completion date
    // without full completion, notes without their plain text; nothing else.
    const qint64 wide = qint64(1) << 40;
    Todolist inList;
    inList.set_requestedtime(wide + 250);
    inList.set_versionid(wide + 3);
    inList.set_editedby("");
    WireItem in;
    in.set_idd(wide - 5);
    in.set_serverid(wide + 900);
    in.set_parentid(wide + 13);
    in.set_requestedtime(wide + 250);
    in.set_versionid(wide + 1);
    in.set_editedby("");
    in.set_duedate(0);
    in.set_completiondate(1338544800);
    in.set_descriptionrichtext("<p>Call <i>Bob</i></p>");
    ServerDataMerger(*f.document).update(list, inList);
    ServerDataMerger(*f.document).update(item, in);

    QCOMPARE(brokenFieldRule(list, listBefore, {{"requestedTime", qlonglong(250)}, {"versionID", qlonglong(wide + 3)}},
                             {"editedByDevice", "editedByUsername", "boxFolderID", "cv_notes"},
                             {"state", "centerX", "centerY", "timestamp", "password", "owner", "deleted", "resourceURI", "highlight"}),
             QString());
    const QVariantMap given = {{"id_", -5}, {"serverID", qlonglong(wide + 900)}, {"parentID", 13}, {"requestedTime", qlonglong(250)},
                               {"versionID", qlonglong(wide + 1)}, {"descriptionRichText", "<p>Call <i>Bob</i></p>"}};
    const QStringList absent = {"dueDate", "startDate", "creationDate", "completionDate", "untilDate", "allDay",
                                "editedByDevice", "ownerUsername", "creatorUsername", "editedByUsername", "macResourceURL", "boxFolderID"};
    QCOMPARE(brokenFieldRule(item, itemBefore, given, absent, {"highlight", "cachedConversation", "status", "resourceURI"}), QString());
    QCOMPARE(item->serverID(), 900);
}

void TestMerge::resetNeverMatchesAndDrawsIdentifiersUniqueInTheList()
{
    // A source that keeps drawing 42 before moving on.
    quint32 draws = 0;
    ScriptedDraws script([&draws]() -> quint32 { return ++draws <= 8 ? 42u : 42u + draws; });
    DocumentFixture f;
    TODOList *list = localList(f, QStringLiteral("L"), 10);
    TODOItem *mine = localItem(f, list, QStringLiteral("mine"), 42, 100, 900);

    Todolist in;
    in.set_idd(10);
    for (int i = 0; i < 3; ++i) {
        WireItem *theirs = wireItem(&in, 900, 42, "theirs");
        theirs->set_versionid(5);
        theirs->set_boxfolderid("box");
    }
    ServerDataMerger(*f.document).updateCoreProject(list, in, true, false);

    QCOMPARE(mine->name(), QStringLiteral("mine"));
    QSet<int> ids;
    for (TODOItem *item : list->contains()) {
        ids.insert(item->id_());
        if (item == mine)
            continue;
        QCOMPARE(item->name(), QStringLiteral("theirs"));
        for (TODOItem::Attribute attribute : {TODOItem::Attr_serverID, TODOItem::Attr_versionID, TODOItem::Attr_boxFolderID})
            QVERIFY(!item->hasValue(attribute));
    }
    QCOMPARE(ids.size(), 4);
}

// Lists 57 and 58 with items 11 and 12 (open and completed), every other
// attribute filled from the seed; items without server identifier.
QList<TODOList *> fillDocument(DocumentFixture &f, int seed)
{
    QList<TODOList *> lists;
    for (int l = 0; l < 2; ++l) {
        TODOList *list = localList(f, QString(), 0);
        fillAll(list, seed + 100 * l);
        list->setState(RecordState::Open);
        list->setId_(57 + l);
        for (int i = 0; i < 2; ++i) {
            TODOItem *item = localItem(f, list, QString(), 11 + i, 0);
            fillAll(item, seed + 100 * l + 10 * i + 1);
            item->setValue(QStringLiteral("serverID"), QVariant());
            item->setId_(11 + i);
            item->setState(i);
            item->setCompletionPercentage(100);
        }
        lists << list;
    }
    f.document->projects().projectsArrayController()->rearrangeObjects();
    return lists;
}

void TestMerge::syncReplyCarriesEveryField()
{
    DocumentFixture source;
    const QList<TODOList *> sent = fillDocument(source, 0);
    DocumentFixture f;
    fillDocument(f, 1000);
    const auto reply = WireLists::parse(PayloadBuilder(*source.document).makeAllDataForTransfer(sent));
    QVERIFY(reply);
    ServerDataMerger merger(*f.document);
    merger.merge(*reply);

    // Not carried: not sent, never taken, or the server's.
    const QStringList listSkipped = {"edited_since", "editedByDevice", "resourceURI", "highlight", "editedByUsername",
                                     "ownersCountCache", "centerX", "centerY", "timestamp", "password", "owner", "deleted"};
    const QStringList itemSkipped = {"edited_since", "editedByDevice", "serverID", "status", "resourceURI",
                                     "highlight", "cachedConversation", "creatorUsername", "editedByUsername"};
    for (TODOList *a : sent) {
        const QList<TODOList *> named = listsNamed(f, a->name());
        QCOMPARE(named.size(), 1);
        QCOMPARE(firstDifference(valuesOf(named.first()), valuesOf(a, listSkipped)), QString());
        const QList<TODOItem *> items = named.first()->contains();
        QCOMPARE(items.size(), 2);
        for (TODOItem *item : a->contains()) {
            const auto got = std::find_if(items.cbegin(), items.cend(), [item](TODOItem *b) { return b->name() == item->name(); });
            QVERIFY(got != items.cend());
            QCOMPARE(firstDifference(valuesOf(*got), valuesOf(item, itemSkipped)), QString());
        }
    }

    // The same reply again changes nothing.
    const QList<QVariantMap> merged = snapshot(f.context());
    merger.merge(*reply);
    QVERIFY(snapshot(f.context()) == merged);
}

void TestMerge::everyMergeMarksSyncedAndAnswersTheSave_data()
{
    QTest::addColumn<bool>("listFile");
    QTest::addColumn<bool>("empty");
    QTest::addColumn<bool>("storeFile");
    QTest::newRow("sync reply") << false << false << true;
    QTest::newRow("empty sync reply") << false << true << true;
    QTest::newRow("list file, no store file") << true << false << false;
    QTest::newRow("empty list file") << true << true << true;
}

void TestMerge::everyMergeMarksSyncedAndAnswersTheSave()
{
    QFETCH(bool, listFile);
    QFETCH(bool, empty);
    QFETCH(bool, storeFile);
    DocumentFixture f;
    if (storeFile)
        QVERIFY(f.context()->create(f.dir.filePath(QStringLiteral("store.sqlite"))));
    Defaults::standard().setValue(QStringLiteral("hasSyncedBefore"), QStringLiteral("no"));

    WireLists message;
    if (!empty)
        wireItem(wireList(message, 3, "From server"), 5, 5, "I");
    QCOMPARE(ServerDataMerger(*f.document).merge(message, listFile, !listFile), storeFile);

    QCOMPARE(Defaults::standard().stringValue(QStringLiteral("hasSyncedBefore")), QStringLiteral("yes"));
    // Whatever became of the save, the records stay written.
    QCOMPARE(listsNamed(f, QStringLiteral("From server")).size(), empty ? 0 : 1);
    QCOMPARE(f.context()->hasChanges(), !storeFile && !empty);
}

QTEST_GUILESS_MAIN(TestMerge)
#include "tst_merge.moc"
