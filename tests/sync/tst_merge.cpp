// Merging received messages: matching lists and items, creating and deleting
// them, the field rules, identifier reset and the answer of the save.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "PayloadBuilder.h"
#include "ServerDataMerger.h"
#include "TestSupport.h"
#include "WireLists.h"
#include "corvane_wire.pb.h"

#include <QCoreApplication>
#include <QTest>

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

// List 57 with items 11 and 12 (open and completed), every other attribute
// filled from the seed; the items without server identifier.
TODOList *fillDocument(DocumentFixture &f, int seed)
{
    TODOList *list = localList(f, QString(), 0);
    fillAttributes(list, seed);
    list->setState(RecordState::Open);
    list->setId_(57);
    for (int i = 0; i < 2; ++i) {
        TODOItem *item = localItem(f, list, QString(), 0, 0);
        fillAttributes(item, seed + 100 * (i + 1));
        item->setValue(QStringLiteral("serverID"), QVariant());
        item->setId_(11 + i);
        item->setState(i);
        item->setCompletionPercentage(100);
    }
    f.document->projects().projectsArrayController()->rearrangeObjects();
    return list;
}

// The first key of expected whose value the record does not hold; empty when none.
QString firstDifference(const ManagedObject *record, const QVariantMap &expected)
{
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        if (record->value(it.key()) != it.value())
            return it.key() + QStringLiteral(": ") + record->value(it.key()).toString();
    return {};
}

// What a record holds after an update by the field rules: the kept values as
// before, given ones, absent ones, and 0 or empty for the rest.
QVariantMap afterUpdate(QVariantMap values, const QVariantMap &given, const QStringList &absent, const QStringList &kept)
{
    for (auto it = values.begin(); it != values.end(); ++it)
        if (!kept.contains(it.key()))
            *it = given.contains(it.key()) ? given.value(it.key()) : absent.contains(it.key()) ? QVariant() : QVariant(it->metaType());
    return values;
}

// Rows of itemMatching: a local item (id_, serverID, state; the first has the
// highest index) and an incoming one (serverId, idd).
struct Local { int id; qint64 serverID; int state; };
struct Incoming { qint64 serverId; qint64 idd; };

enum class LocalList { Shown, TrashedSinceOpening, TrashedEarlier };

} // namespace

Q_DECLARE_METATYPE(QList<Local>)
Q_DECLARE_METATYPE(QList<Incoming>)
Q_DECLARE_METATYPE(LocalList)

class TestMerge : public QObject
{
    Q_OBJECT

private slots:
    void listMatching_data()
    {
        QTest::addColumn<LocalList>("where");
        QTest::addColumn<int>("localId");
        QTest::addColumn<qint64>("idd");
        QTest::addColumn<bool>("matched");
        QTest::addColumn<int>("localState"); // after the merge
        QTest::addColumn<int>("itemState");  // of its trashed item: given the reply's state 0 when matched

        QTest::newRow("missing from the reply") << LocalList::Shown << 10 << qint64(11) << false << 3 << 3;
        QTest::newRow("trashed since opening, missing") << LocalList::TrashedSinceOpening << 10 << qint64(11) << false << 3 << 3;
        QTest::newRow("never uploaded: replaced by the server's copy") << LocalList::Shown << 0 << qint64(77) << false << 3 << 3;
        // A list trashed in an earlier session is matched and stays trashed, never a second list.
        QTest::newRow("trashed earlier, same id") << LocalList::TrashedEarlier << 10 << qint64(10) << true << 2 << 0;
        QTest::newRow("trashed earlier, missing") << LocalList::TrashedEarlier << 10 << qint64(11) << false << 3 << 3;
        QTest::newRow("trashed earlier, never uploaded") << LocalList::TrashedEarlier << 0 << qint64(77) << false << 2 << 2;
        QTest::newRow("idd by its 32 bits") << LocalList::Shown << 12 << (qint64(1) << 32) + 12 << true << 0 << 0;
    }

    void listMatching()
    {
        QFETCH(LocalList, where);
        QFETCH(int, localId);
        QFETCH(qint64, idd);
        QFETCH(bool, matched);
        QFETCH(int, localState);
        QFETCH(int, itemState);

        DocumentFixture f;
        TODOList *local = localList(f, QStringLiteral("Local"), localId);
        if (where == LocalList::TrashedSinceOpening)
            f.document->projects().markProject(local, RecordState::Trashed);
        if (where == LocalList::TrashedEarlier) { // in the store only, as after reopening it
            local->setState(RecordState::Trashed);
            f.document->projects().projectsArrayController()->rearrangeObjects();
        }
        TODOItem *trashed = localItem(f, local, QStringLiteral("trashed"), 2, 100);
        trashed->setState(RecordState::Trashed);

        WireLists reply;
        Todolist *in = wireList(reply, idd, "Reply");
        in->set_state(RecordState::Trashed); // never taken
        wireItem(in, 0, 2, "Reply item");
        ServerDataMerger(*f.document).merge(reply);

        const QList<TODOList *> fromReply = listsNamed(f, QStringLiteral("Reply"));
        QCOMPARE(fromReply.size(), 1);
        QCOMPARE(fromReply.first() == local, matched);
        QCOMPARE(fromReply.first()->id_(), WireFormat::low32(idd));
        QCOMPARE(local->state(), localState);
        QCOMPARE(trashed->state(), itemState);
        if (!matched) {
            QCOMPARE(fromReply.first()->state(), int(RecordState::Open));
            QVERIFY(f.document->getAllProjects().contains(fromReply.first()));
        }
    }

    void sameListTwiceDetachesTheLocalList()
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
    }

    void itemMatching_data()
    {
        QTest::addColumn<QList<Local>>("local");
        QTest::addColumn<QList<Incoming>>("reply");
        QTest::addColumn<bool>("deleteNotPresent");
        QTest::addColumn<QString>("expected"); // name/state of each item; local ones named a, b, ...; incoming r1, r2, ...

        using L = QList<Local>;
        using R = QList<Incoming>;
        const qint64 wide = qint64(1) << 32;
        QTest::newRow("server id, whatever the idd") << L{{7, 900, 0}} << R{{900, 55}} << true << "r1/0";
        QTest::newRow("server id by its 32 bits") << L{{7, 900, 0}} << R{{wide + 900, 7}} << true << "r1/0";
        QTest::newRow("idd by its 32 bits") << L{{42, 0, 0}} << R{{0, wide + 42}} << true << "r1/0";
        QTest::newRow("uploaded item not found by local id") << L{{42, 900, 0}} << R{{0, 42}} << true << "a/3 r1/0";
        QTest::newRow("negative server id: found by local id") << L{{8, -5, 0}} << R{{0, 8}} << true << "r1/0";
        QTest::newRow("negative server id: kept only by it") << L{{1, 300, 0}, {8, -5, 0}} << R{{300, 8}} << true << "r1/0 b/3";
        QTest::newRow("negative server id in the reply") << L{{8, -5, 0}} << R{{-5, 77}} << true << "a/0 r1/0";
        QTest::newRow("equal keys: the lower index") << L{{5, 0, 0}, {5, 0, 0}} << R{{0, 5}} << true << "a/0 r1/0";
        QTest::newRow("deleted item never matched") << L{{42, 900, 3}} << R{{900, 42}} << true << "a/3 r1/0";
        const L four{{1, 0, 0}, {2, 700, 0}, {3, 0, 0}, {4, 701, 1}};
        const R three{{0, 1}, {700, 2}, {0, 99}};
        QTest::newRow("sync reply deletes the missing") << four << three << true << "r1/0 r2/0 c/3 d/3 r3/0";
        QTest::newRow("import deletes nothing") << four << three << false << "r1/0 r2/0 c/0 d/1 r3/0";
    }

    void itemMatching()
    {
        QFETCH(QList<Local>, local);
        QFETCH(QList<Incoming>, reply);
        QFETCH(bool, deleteNotPresent);

        DocumentFixture f;
        TODOList *list = localList(f, QStringLiteral("L"), 10);
        for (int i = 0; i < local.size(); ++i)
            localItem(f, list, QString(QChar(u'a' + i)), local[i].id, 100 * int(local.size() - i), local[i].serverID)
                ->setState(local[i].state);
        WireLists message;
        Todolist *in = wireList(message, 10, "L");
        for (int i = 0; i < reply.size(); ++i)
            wireItem(in, reply[i].serverId, reply[i].idd, "r" + std::to_string(i + 1));
        ServerDataMerger(*f.document).merge(message, false, deleteNotPresent);

        QStringList items;
        for (TODOItem *item : list->contains())
            items << QStringLiteral("%1/%2").arg(item->name()).arg(item->state());
        QTEST(items.join(QLatin1Char(' ')), "expected");
    }

    void fieldRules()
    {
        DocumentFixture f;
        TODOList *list = localList(f, QStringLiteral("L"), 12);
        auto *item = f.context()->insert<TODOItem>(TODOItem::EntityName);
        fillAttributes(list, 0);
        fillAttributes(item, 0);
        const QVariantMap listBefore = attributeValues(list), itemBefore = attributeValues(item);

        // Wide numbers, an empty editor, a due date of 0, a completion date without
        // full completion, notes without their plain text, a start an hour earlier; nothing else.
        const qint64 wide = qint64(1) << 40;
        Todolist inList;
        inList.set_requestedtime(wide + 250);
        inList.set_editedby("");
        WireItem in;
        in.set_idd(wide - 5);
        in.set_serverid(wide + 900);
        in.set_parentid(wide + 13);
        in.set_requestedtime(wide + 250);
        const QDateTime start = itemBefore.value(QStringLiteral("startDate")).toDateTime().addSecs(-3600);
        in.set_startdate(quint64(start.toSecsSinceEpoch()));
        in.set_editedby("");
        in.set_duedate(0);
        in.set_completiondate(1338544800);
        in.set_descriptionrichtext("<p>Call <i>Bob</i></p>");
        ServerDataMerger(*f.document).update(list, inList);
        ServerDataMerger(*f.document).update(item, in);

        QCOMPARE(firstDifference(list, afterUpdate(listBefore, {{"requestedTime", qlonglong(250)}},
                                                   {"editedByDevice", "editedByUsername", "boxFolderID", "cv_notes", "versionID"},
                                                   {"state", "centerX", "centerY", "timestamp", "password", "owner", "deleted",
                                                    "resourceURI", "highlight"})),
                 QString());
        const QVariantMap given = {{"id_", -5}, {"serverID", qlonglong(wide + 900)}, {"parentID", 13}, {"requestedTime", qlonglong(250)},
                                   {"startDate", start}, {"descriptionRichText", "<p>Call <i>Bob</i></p>"}};
        const QStringList absent = {"dueDate", "creationDate", "completionDate", "untilDate", "allDay", "editedByDevice", "versionID",
                                    "ownerUsername", "creatorUsername", "editedByUsername", "macResourceURL", "boxFolderID"};
        const QStringList kept = {"highlight", "cachedConversation", "status", "resourceURI"};
        QCOMPARE(firstDifference(item, afterUpdate(itemBefore, given, absent, kept)), QString());
    }

    void resetNeverMatchesAndDrawsIdentifiersUniqueInTheList()
    {
        quint32 draws = 0; // 42 eight times, then other numbers
        ScriptedDraws script([&draws]() -> quint32 { return ++draws <= 8 ? 42u : 42u + draws; });
        DocumentFixture f;
        TODOList *list = localList(f, QStringLiteral("L"), 10);
        TODOItem *mine = localItem(f, list, QStringLiteral("mine"), 42, 100, 900);
        WireLists file;
        Todolist *in = wireList(file, 10, "L");
        in->set_versionid(5);
        in->set_boxfolderid("box");
        for (int i = 0; i < 3; ++i)
            wireItem(in, 900, 42, "theirs");
        ServerDataMerger(*f.document).updateCoreProject(list, *in, true, false);

        QCOMPARE(mine->name(), QStringLiteral("mine"));
        QSet<int> ids;
        for (TODOItem *item : list->contains()) {
            ids.insert(item->id_());
            if (item != mine)
                QCOMPARE(firstDifference(item, {{"name", "theirs"}, {"serverID", {}}}), QString());
        }
        QCOMPARE(ids.size(), 4);
        // A list of a file is always a new one, without the server's identifiers.
        ServerDataMerger(*f.document).merge(file, true, false);
        QCOMPARE(listsNamed(f, QStringLiteral("L")).size(), 2);
        QCOMPARE(firstDifference(listsNamed(f, QStringLiteral("L")).last(), {{"id_", 0}, {"versionID", {}}, {"boxFolderID", {}}}), QString());
    }

    void syncReplyCarriesEveryField()
    {
        DocumentFixture source;
        TODOList *sent = fillDocument(source, 0);
        DocumentFixture f;
        TODOList *list = fillDocument(f, 1000);
        const auto reply = WireLists::parse(PayloadBuilder(*source.document).makeAllDataForTransfer({sent}));
        QVERIFY(reply);
        ServerDataMerger merger(*f.document);
        merger.merge(*reply);

        // Not carried: not sent, never taken, or the server's; requestedTime goes as its 32-bit value (fieldRules).
        const QStringList listSkipped = {"edited_since", "editedByDevice", "resourceURI", "highlight", "editedByUsername", "requestedTime",
                                         "ownersCountCache", "centerX", "centerY", "timestamp", "password", "owner", "deleted"};
        const QStringList itemSkipped = {"edited_since", "editedByDevice", "serverID", "status", "resourceURI", "requestedTime",
                                         "highlight", "cachedConversation", "creatorUsername", "editedByUsername"};
        QCOMPARE(firstDifference(list, attributeValues(sent, listSkipped)), QString());
        const QList<TODOItem *> items = list->contains();
        QCOMPARE(items.size(), 2);
        for (int i = 0; i < 2; ++i)
            QCOMPARE(firstDifference(items[i], attributeValues(sent->contains()[i], itemSkipped)), QString());

        // The same reply again changes nothing.
        const QList<QVariantMap> merged = {attributeValues(list), attributeValues(items[0]), attributeValues(items[1])};
        merger.merge(*reply);
        QVERIFY((QList<QVariantMap>{attributeValues(list), attributeValues(items[0]), attributeValues(items[1])}) == merged);
        QCOMPARE(f.context()->objects(TODOList::EntityName).size() + f.context()->objects(TODOItem::EntityName).size(), 3);
    }

    // A sync merges with tracking off; when tracking returns, the server's values
    // are not marked to be sent back as local edits. Without a store file the
    // save fails and the answer says so; the records stay written.
    void mergedValuesAreNotSentBack()
    {
        DocumentFixture f;
        Defaults::standard().setValue(QStringLiteral("hasSyncedBefore"), QStringLiteral("no"));
        f.document->enableDidChangeContextNotifications();
        TODOList *local = localList(f, QStringLiteral("Home"), 3);
        QCoreApplication::processEvents();
        local->setEdited_since(0);
        f.document->disableDidChangeContextNotifications();
        WireLists reply;
        wireItem(wireList(reply, 3, "Renamed on the server"), 5, 5, "From the server");
        QVERIFY(!ServerDataMerger(*f.document).merge(reply));
        QCOMPARE(Defaults::standard().stringValue(QStringLiteral("hasSyncedBefore")), QStringLiteral("yes"));
        f.document->enableDidChangeContextNotifications();
        QCoreApplication::processEvents();
        QCOMPARE(local->name(), QStringLiteral("Renamed on the server"));
        QCOMPARE(local->contains().size(), 1);
        QCOMPARE(local->edited_since(), 0);
        QCOMPARE(local->contains().first()->edited_since(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMerge)
#include "tst_merge.moc"
