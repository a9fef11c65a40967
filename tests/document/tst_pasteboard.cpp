// Cut, copy and paste of items through the pasteboard, the repair after an
// undo, list cloning, and the pasteboard archives.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "IndexAdjuster.h"
#include "ObjectModel.h"
#include "PasteboardOperations.h"
#include "UndoManager.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QCoreApplication>
#include <QTest>

#include <limits>

namespace {

QList<TODOItem *> rowsOf(const MyDocument &document, int quadrant)
{
    QList<TODOItem *> rows;
    for (ManagedObject *object : document.controllerForQuadrant(quadrant)->arrangedObjects())
        rows << static_cast<TODOItem *>(object);
    return rows;
}

QStringList namesOf(const QList<TODOItem *> &items)
{
    QStringList names;
    for (const TODOItem *item : items)
        names << item->name();
    return names;
}

int itemCount(const DocumentFixture &f)
{
    return int(f.context()->objects(TODOItem::EntityName).size());
}

// Ends the event-loop turn: changes are announced and the turn's undo group closes.
void endTurn()
{
    QCoreApplication::processEvents();
}

// Item archives that are malformed in one way each; where it matters they
// name a real item, so that wrongly accepting one would paste it.
QList<std::pair<QString, QByteArray>> malformedArchives(const QUrl &uri, const QUrl &listUri)
{
    const QString uriText = uri.toString(QUrl::FullyEncoded), listText = listUri.toString(QUrl::FullyEncoded);
    const QCborMap valid{{QStringLiteral("URIRepresentations"), QCborArray{uriText}},
                         {QStringLiteral("URIRepresentationList"), listText}};
    // The valid archive with one key replaced, or removed when value is undefined.
    const auto with = [&](const char *key, const QCborValue &value) {
        QCborMap map = valid;
        if (value.isUndefined())
            map.remove(QString::fromLatin1(key));
        else
            map.insert(QString::fromLatin1(key), value);
        return map.toCborValue().toCbor();
    };
    static const char notCbor[] = "\xff\xfe\x00 this is no archive";
    const QByteArray validBytes = valid.toCborValue().toCbor();
    return {
        {"empty", QByteArray()},
        {"not CBOR", QByteArray(notCbor, sizeof notCbor - 1)},
        {"CBOR array", QCborValue(QCborArray{uriText, listText}).toCbor()},
        {"URIs missing", with("URIRepresentations", QCborValue())},
        {"URIs are text", with("URIRepresentations", uriText)},
        {"URI is a number", with("URIRepresentations", QCborArray{uriText, 7})},
        {"URI is not a URL", with("URIRepresentations", QCborArray{uriText, QStringLiteral("http://[::1")})},
        {"list URI missing", with("URIRepresentationList", QCborValue())},
        {"negative row", with("RowIndexes", QCborArray{0, -1})},
        {"cut is a number", with("Cut", 1)},
        {"trailing bytes", validBytes + QCborValue(1).toCbor()},
        {"truncated", validBytes.first(validBytes.size() - 3)},
        {"list rows archive", PasteboardTypes::encodeListRows({0, 1})},
    };
}

enum Operation { Copy, Cut, CopyThenCutOfNothing };

} // namespace

Q_DECLARE_METATYPE(Operation)

class TestPasteboard : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(10, 0))); }

    void archiveRoundTrip();
    void malformedArchivesAreIgnored_data();
    void malformedArchivesAreIgnored();

    void copyAndCut();
    void paste_data();
    void paste();
    void pasteTakesTheSelectedRowPosition_data();
    void pasteTakesTheSelectedRowPosition();
    void pastedCopyHasEveryAttributeButTheIdentifiers();
    void pasteSkipsRecordsThatAreGoneOrForeign();

    void undoRepairSetsStateFromPercentage_data();
    void undoRepairSetsStateFromPercentage();
    void undoOfAnotherChangeLeavesCutItemsTrashed();
    void undoAfterPastingIntoAnotherList();

    void cloneList_data();
    void cloneList();
};

// --- Archives --------------------------------------------------------------------------------

void TestPasteboard::archiveRoundTrip()
{
    const QUrl a(QStringLiteral("x-corvane-object://5f0e/TODOItem/p3")), b(QStringLiteral("x-corvane-object://5f0e/TODOItem/p12"));
    const QUrl list(QStringLiteral("x-corvane-object://5f0e/TODOList/p1"));
    for (const PasteboardTypes::ItemArchive &archive :
         {PasteboardTypes::ItemArchive{{a, b}, list, {}, false, true}, PasteboardTypes::ItemArchive{{b, a}, list, {4, 0, 7}, true, false},
          PasteboardTypes::ItemArchive{}}) {
        PasteboardTypes::ItemArchive decoded;
        QVERIFY(PasteboardTypes::decodeItems(PasteboardTypes::encodeItems(archive), &decoded));
        QCOMPARE(decoded.uris, archive.uris);
        QCOMPARE(decoded.listUri, archive.listUri);
        QCOMPARE(decoded.hasRowIndexes, archive.hasRowIndexes);
        QCOMPARE(decoded.rowIndexes, archive.rowIndexes);
        QCOMPARE(decoded.cut, archive.cut);
    }
    QList<int> rows{9};
    QVERIFY(PasteboardTypes::decodeListRows(PasteboardTypes::encodeListRows({3, 0, 5}), &rows));
    QCOMPARE(rows, (QList<int>{3, 0, 5}));
    const auto root = [](const QCborValue &value) { return QCborValue(QCborMap{{QStringLiteral("root"), value}}).toCbor(); };
    for (const QByteArray &bad : {root(QCborArray{1, -2}), root(QCborArray{qint64(1) << 40}), PasteboardTypes::encodeItems({})})
        QVERIFY(!PasteboardTypes::decodeListRows(bad, &rows));
    QCOMPARE(rows, (QList<int>{3, 0, 5}));
}

void TestPasteboard::malformedArchivesAreIgnored_data()
{
    QTest::addColumn<int>("kind");
    const auto archives = malformedArchives(QUrl(), QUrl());
    for (int i = 0; i < archives.size(); ++i)
        QTest::newRow(qPrintable(archives[i].first)) << i;
    QTest::newRow("another type") << -1;
}

void TestPasteboard::malformedArchivesAreIgnored()
{
    QFETCH(int, kind);
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = f.item(0, QStringLiteral("item"));
    f.document->markTODOItemAsTrashed(item, list);
    const QByteArray valid = PasteboardTypes::encodeItems({{item->objectURI()}, list->objectURI(), {}, false, true});
    if (kind < 0) {
        f.pasteboard.declareAndSet(QStringLiteral("text/plain"), valid);
    } else {
        const QByteArray data = malformedArchives(item->objectURI(), list->objectURI())[kind].second;
        PasteboardTypes::ItemArchive archive{{list->objectURI()}, {}, {}, false, false};
        QVERIFY(!PasteboardTypes::decodeItems(data, &archive));
        QCOMPARE(archive.uris, QList<QUrl>{list->objectURI()}); // left alone
        f.pasteboard.declareAndSet(PasteboardTypes::Item, data);
    }

    f.document->enableQuadrant(1, {}, false);
    const int before = itemCount(f);
    f.document->paste();
    f.document->undoCutIfNeeded();
    QCOMPARE(itemCount(f), before);
    QCOMPARE(item->state(), int(RecordState::Trashed));
    QVERIFY(rowsOf(*f.document, 1).isEmpty());
}

// --- Copy, cut, paste ---------------------------------------------------------------------

void TestPasteboard::copyAndCut()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *dated = f.item(1, QStringLiteral("dated"));
    dated->setDueDate(QDateTime(QDate(2026, 3, 12), QTime(9, 0)));
    TODOItem *kept = f.item(1, QStringLiteral("kept"));
    TODOItem *plain = f.item(1, QStringLiteral("plain"));
    f.document->rearrangeArrayControllers();
    const QList<TODOItem *> rows = rowsOf(*f.document, 1);
    const int datedRow = int(rows.indexOf(dated)), plainRow = int(rows.indexOf(plain));

    // A copy names the selection in row order and changes nothing.
    f.document->enableQuadrant(1, {std::max(datedRow, plainRow), std::min(datedRow, plainRow)}, false);
    f.document->copy();
    PasteboardTypes::ItemArchive archive;
    QVERIFY(PasteboardTypes::decodeItems(f.pasteboard.data(PasteboardTypes::Item), &archive));
    QCOMPARE(archive.uris.size(), 2);
    QCOMPARE(archive.uris.first(), rows[std::min(datedRow, plainRow)]->objectURI());
    QCOMPARE(archive.listUri, list->objectURI());
    QVERIFY(!archive.cut);
    QCOMPARE(rowsOf(*f.document, 1), rows);

    // A cut trashes: the items stay in their list, their rows and calendar events go.
    f.document->cut();
    QVERIFY(PasteboardTypes::decodeItems(f.pasteboard.data(PasteboardTypes::Item), &archive));
    QVERIFY(archive.cut);
    QCOMPARE(dated->state(), int(RecordState::Trashed));
    QCOMPARE(plain->state(), int(RecordState::Trashed));
    QCOMPARE(list->contains().size(), 3);
    QCOMPARE(rowsOf(*f.document, 1), QList<TODOItem *>{kept});
    QCOMPARE(f.calendar.calls, QStringList{QStringLiteral("delete dated")});
}

void TestPasteboard::paste_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("intoOtherList");
    QTest::addColumn<int>("percentage");
    QTest::addColumn<int>("sourceState");
    QTest::addColumn<bool>("takenBack");
    QTest::addColumn<int>("pastedState");

    const int open = RecordState::Open, completed = RecordState::Completed;
    // A cut item is trashed when pasted: it comes back open, even at 100 percent.
    QTest::newRow("cut, same list") << Cut << false << 100 << completed << true << open;
    QTest::newRow("cut, other list") << Cut << true << 100 << completed << false << open;
    QTest::newRow("copy, completed") << Copy << false << 100 << completed << false << completed;
    QTest::newRow("copy, 99 percent") << Copy << false << 99 << open << false << open;
    QTest::newRow("copy, 100 percent marked open") << Copy << false << 100 << open << false << completed;
    QTest::newRow("copy, other list") << Copy << true << 40 << open << false << open;
    // A cut of nothing writes nothing: what is on the pasteboard is still a copy.
    QTest::newRow("copy, then a cut of nothing") << CopyThenCutOfNothing << false << 40 << open << false << open;
}

void TestPasteboard::paste()
{
    QFETCH(Operation, operation);
    QFETCH(bool, intoOtherList);
    QFETCH(int, percentage);
    QFETCH(int, sourceState);
    QFETCH(bool, takenBack);
    QFETCH(int, pastedState);

    DocumentFixture f;
    TODOList *source = f.selectedList(QStringLiteral("A"));
    TODOItem *item = f.item(0, QStringLiteral("item"));
    item->setCompletionPercentage(percentage);
    item->setState(sourceState);
    f.document->rearrangeArrayControllers();
    f.document->enableQuadrant(0, {0}, false);
    f.document->copyToPasteBoardWithCutting(operation == Cut);
    if (operation == CopyThenCutOfNothing) {
        f.document->enableQuadrant(2, {}, false);
        f.document->cut();
    }
    TODOList *target = intoOtherList ? f.selectedList(QStringLiteral("B")) : source;
    f.document->enableQuadrant(3, {}, false);
    const int before = itemCount(f);
    f.document->paste();

    const QList<TODOItem *> pasted = rowsOf(*f.document, 3);
    QCOMPARE(pasted.size(), 1);
    QCOMPARE(pasted.first() == item, takenBack);
    QCOMPARE(pasted.first()->state(), pastedState);
    QCOMPARE(pasted.first()->list(), target);
    QCOMPARE(pasted.first()->completionPercentage(), percentage);
    QCOMPARE(f.document->selectedItemsInQuadrant(3), pasted);
    if (!takenBack) {
        QVERIFY(pasted.first()->id_() != item->id_());
        QCOMPARE(item->state(), operation == Cut ? int(RecordState::Trashed) : sourceState);
        QCOMPARE(item->quadrant(), 0);
        QCOMPARE(item->list(), source);
    }
    // Pasting again: another copy with its own identifier; a record taken back stays one.
    f.document->paste();
    QCOMPARE(itemCount(f), before + (takenBack ? 0 : 2));
    const QList<TODOItem *> again = rowsOf(*f.document, 3);
    if (!takenBack)
        QVERIFY(again[0]->id_() != again[1]->id_());
}

void TestPasteboard::pasteTakesTheSelectedRowPosition_data()
{
    QTest::addColumn<QList<int>>("selectedRows");
    QTest::addColumn<int>("firstPosition");
    QTest::newRow("row 2 selected") << QList<int>{2} << 2;
    QTest::newRow("rows 4 and 1 selected") << QList<int>{4, 1} << 1;
    QTest::newRow("last row selected") << QList<int>{4} << 4;
    QTest::newRow("nothing selected: by index") << QList<int>{} << 0;
}

void TestPasteboard::pasteTakesTheSelectedRowPosition()
{
    QFETCH(QList<int>, selectedRows);
    QFETCH(int, firstPosition);
    DocumentFixture f;
    f.selectedList();
    QList<TODOItem *> made;
    for (const char *name : {"r0", "r1", "r2", "r3", "r4", "c1", "c2"})
        made << f.item(name[0] == 'r' ? 0 : 1, QString::fromLatin1(name));
    // Indices set once all are added (adding repairs the order itself).
    const QList<int> indexes{5000, 4000, 3000, 2000, 1000, 9000, 8000};
    for (int i = 0; i < made.size(); ++i)
        made[i]->setIndex(indexes[i]);
    f.document->rearrangeArrayControllers();

    f.document->enableQuadrant(1, {0, 1}, false);
    f.document->copy();
    f.document->enableQuadrant(0, selectedRows, false);
    f.document->paste();

    const QList<TODOItem *> after = rowsOf(*f.document, 0);
    QStringList expected{"r0", "r1", "r2", "r3", "r4"};
    expected.insert(firstPosition, QStringLiteral("c1"));
    expected.insert(firstPosition + 1, QStringLiteral("c2"));
    QCOMPARE(namesOf(after), expected);
    // The manual order is repaired: indices strictly descending down the rows.
    for (int i = 1; i < after.size(); ++i)
        QVERIFY2(after[i - 1]->index() > after[i]->index(), qPrintable(after[i]->name()));
    QCOMPARE(f.document->selectedItemsInQuadrant(0), (QList<TODOItem *>{after[firstPosition], after[firstPosition + 1]}));
}

void TestPasteboard::pastedCopyHasEveryAttributeButTheIdentifiers()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *source = f.item(0, QStringLiteral("source"));
    f.item(0, QStringLiteral("undated"));
    const QVector<AttributeDescription> &attributes = source->entity().attributes();
    for (int n = 0; n < attributes.size(); ++n) {
        const AttributeDescription &attribute = attributes[n];
        if (attribute.name == QLatin1String("quadrant") || attribute.name == QLatin1String("state")
            || attribute.name == QLatin1String("completionPercentage"))
            continue;
        const QVariant values[] = {int(1000 + n), qlonglong(5000000000LL + n), 0.25 + n, true, attribute.name + QStringLiteral(" value"),
                                   QDateTime(QDate(2026, 4, 1), QTime(9, 30)).addSecs(n * 60), attribute.name.toUtf8()};
        source->setValue(attribute.name, values[int(attribute.type)]);
    }
    f.document->rearrangeArrayControllers();

    // Both rows are pasted; only the dated one reaches the calendar.
    f.document->enableQuadrant(0, {0, 1}, false);
    f.document->copy();
    f.document->enableQuadrant(2, {}, false);
    f.document->paste();
    QCOMPARE(f.calendar.calls, QStringList{QStringLiteral("update ") + source->name()});

    TODOItem *copy = nullptr;
    for (TODOItem *item : rowsOf(*f.document, 2))
        copy = item->name() == source->name() ? item : copy;
    QVERIFY(copy);
    const QSet<QString> changedByPaste{"id_", "serverID", "versionID", "boxFolderID", "resourceURI", "quadrant", "state"};
    for (const AttributeDescription &attribute : attributes) {
        if (!changedByPaste.contains(attribute.name))
            QVERIFY2(copy->value(attribute.name) == source->value(attribute.name), qPrintable(attribute.name));
    }
    // Nothing the server knows the source by goes along; the source keeps its own.
    QVERIFY(copy->resourceURI().isEmpty() && copy->boxFolderID().isEmpty());
    QCOMPARE(copy->serverID(), 0);
    QCOMPARE(copy->versionID(), qint64(0));
    QVERIFY(copy->id_() != source->id_());
    QCOMPARE(source->resourceURI(), QStringLiteral("resourceURI value"));
}

void TestPasteboard::pasteSkipsRecordsThatAreGoneOrForeign()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *good = f.item(0, QStringLiteral("good"));
    TODOItem *gone = f.item(0, QStringLiteral("gone"));
    TODOItem *removedByServer = f.item(0, QStringLiteral("removed by server"));
    removedByServer->setState(RecordState::Deleted);
    const QUrl goneUri = gone->objectURI();
    f.context()->deleteObject(gone);
    ManagedObjectContext otherStore(todoListModel());
    auto *foreign = otherStore.insert<TODOItem>(TODOItem::EntityName);
    foreign->setName(QStringLiteral("foreign"));

    const QList<QUrl> uris{goneUri, foreign->objectURI(), list->objectURI(), QUrl(QStringLiteral("https://example.com/TODOItem/p1")),
                           removedByServer->objectURI(), good->objectURI()};
    f.pasteboard.declareAndSet(PasteboardTypes::Item, PasteboardTypes::encodeItems({uris, QUrl(), {}, false, false}));
    f.document->enableQuadrant(3, {}, false);
    const int before = itemCount(f);
    f.document->paste();

    QCOMPARE(itemCount(f), before + 1);
    const QList<TODOItem *> pasted = rowsOf(*f.document, 3);
    QCOMPARE(namesOf(pasted), QStringList{QStringLiteral("good")});
    QVERIFY(pasted.first() != good);
    QCOMPARE(removedByServer->state(), int(RecordState::Deleted));
}

// --- Undo ------------------------------------------------------------------------------------

void TestPasteboard::undoRepairSetsStateFromPercentage_data()
{
    QTest::addColumn<int>("percentage");
    QTest::addColumn<int>("sourceState");
    QTest::addColumn<int>("expectedState");
    QTest::newRow("100 percent") << 100 << int(RecordState::Open) << int(RecordState::Completed);
    QTest::newRow("100 percent, completed") << 100 << int(RecordState::Completed) << int(RecordState::Completed);
    QTest::newRow("99 percent") << 99 << int(RecordState::Open) << int(RecordState::Open);
}

void TestPasteboard::undoRepairSetsStateFromPercentage()
{
    QFETCH(int, percentage);
    QFETCH(int, sourceState);
    QFETCH(int, expectedState);
    DocumentFixture f;
    f.document->windowControllerDidLoadNib();
    TODOList *list = f.selectedList();
    TODOItem *item = f.item(2, QStringLiteral("cut"));
    item->setCompletionPercentage(percentage);
    item->setState(sourceState);
    item->setDueDate(QDateTime(QDate(2026, 3, 11), QTime(12, 0)));
    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->updateFilters();
    TODOItem *other = f.item(1, QStringLiteral("elsewhere"));
    f.document->markTODOItemAsTrashed(other, list);
    endTurn();
    f.document->enableQuadrant(2, {0}, false);
    f.document->cut();
    endTurn();
    f.calendar.calls.clear();

    f.document->undo(); // the cut is undone, then the repair runs

    QCOMPARE(item->state(), expectedState);
    QCOMPARE(rowsOf(*f.document, 2), QList<TODOItem *>{item});
    QCOMPARE(f.calendar.calls, QStringList{QStringLiteral("update cut")});
    QCOMPARE(other->state(), int(RecordState::Trashed)); // not on the pasteboard
    // The repair is part of the undo: the cut can be redone.
    endTurn();
    f.context()->undoManager()->redo();
    QCOMPARE(item->state(), int(RecordState::Trashed));
}

void TestPasteboard::undoOfAnotherChangeLeavesCutItemsTrashed()
{
    DocumentFixture f;
    f.document->windowControllerDidLoadNib();
    f.selectedList();
    TODOItem *cut = f.item(0, QStringLiteral("cut"));
    TODOItem *renamed = f.item(1, QStringLiteral("before"));
    endTurn();
    f.document->enableQuadrant(0, {0}, false);
    f.document->cut();
    endTurn();
    renamed->setName(QStringLiteral("after"));
    endTurn();

    f.document->undo(); // undoes the rename only

    QCOMPARE(renamed->name(), QStringLiteral("before"));
    QCOMPARE(cut->state(), int(RecordState::Trashed));
    QVERIFY(rowsOf(*f.document, 0).isEmpty());
}

void TestPasteboard::undoAfterPastingIntoAnotherList()
{
    DocumentFixture f;
    f.document->windowControllerDidLoadNib();
    TODOList *a = f.selectedList(QStringLiteral("A"));
    TODOItem *item = f.item(0, QStringLiteral("moving"));
    TODOList *b = f.document->addNewProjectWithName(QStringLiteral("B"));
    endTurn();
    f.document->enableQuadrant(0, {0}, false);
    f.document->cut();
    endTurn();
    f.document->selectProject(b);
    f.document->enableQuadrant(1, {}, false);
    f.document->paste();
    QCOMPARE(b->contains().size(), 1);
    TODOItem *copy = b->contains().first();
    endTurn();

    f.document->undo();
    // The copy in B is gone; the cut in A stands until it is undone too.
    QVERIFY(copy->isDeleted());
    QVERIFY(b->contains().isEmpty());
    QVERIFY(rowsOf(*f.document, 1).isEmpty());
    QCOMPARE(a->contains(), QList<TODOItem *>{item});
    QCOMPARE(item->state(), int(RecordState::Trashed));

    f.document->undo();
    QCOMPARE(item->state(), int(RecordState::Open));
    QCOMPARE(item->quadrant(), 0);
}

// --- Cloning ---------------------------------------------------------------------------------

void TestPasteboard::cloneList_data()
{
    QTest::addColumn<bool>("withItems");
    QTest::addColumn<bool>("alphabetical");
    QTest::addColumn<int>("sourceIndex");

    QTest::newRow("with items") << true << false << 5000;
    QTest::newRow("without items") << false << false << 5000;
    QTest::newRow("sidebar in name order") << true << true << 5000;
    QTest::newRow("index at the 32-bit limit") << false << false << std::numeric_limits<qint32>::max() - 1;
}

void TestPasteboard::cloneList()
{
    QFETCH(bool, withItems);
    QFETCH(bool, alphabetical);
    QFETCH(int, sourceIndex);
    DocumentFixture f;
    // Name order differs from index order; "Above" already holds the clone's index.
    QList<TODOList *> others;
    for (const auto &[name, index] : {std::pair{"b top", 9000}, {"a below", 1000}})
        (others << f.document->addNewProjectWithName(QString::fromLatin1(name))).last()->setIndex(index);
    (others << f.document->addNewProjectWithName(QStringLiteral("d above"))).last()->setIndex(IndexAdjuster::add32(sourceIndex, 2));
    TODOList *source = f.selectedList(QStringLiteral("c source"));
    source->setId_(77);
    source->setIndex(sourceIndex);
    source->setResourceURI(QStringLiteral("/api/lists/77/"));
    source->setTextThirdQuadrant(QStringLiteral("Someday"));
    TODOItem *open = f.item(1, QStringLiteral("open"));
    open->setServerID(4711);
    open->setOwnerUsername(QStringLiteral("bob"));
    open->setDescriptionRichText(QStringLiteral("<p>notes</p>"));
    f.document->markTODOItemAsTrashed(f.item(2, QStringLiteral("trashed")), source);
    f.item(3, QStringLiteral("completed"))->setState(RecordState::Completed);
    f.item(3, QStringLiteral("removed by server"))->setState(RecordState::Deleted);
    f.document->toggleProjectAlphabeticalOrder(alphabetical);
    QList<int> indices;
    for (const TODOList *list : std::as_const(others))
        indices << list->index();

    TODOList *clone = f.document->cloneList(source, withItems);

    QVERIFY(clone && clone != source);
    QCOMPARE(clone->id_(), 0);
    QCOMPARE(clone->name(), source->name());
    QCOMPARE(clone->textThirdQuadrant(), QStringLiteral("Someday"));
    QVERIFY(clone->resourceURI().isEmpty());
    QCOMPARE(clone->edited_since(), 1);
    // Only the clone moves; the manual order stays, with the clone directly above the source.
    QCOMPARE(source->index(), sourceIndex);
    for (int i = 0; i < others.size(); ++i)
        QCOMPARE(others[i]->index(), indices[i]);
    if (sourceIndex == 5000) {
        QVERIFY(clone->index() > source->index() && clone->index() < others[2]->index());
    }

    // The items the owner sees, without anything the server knows them by.
    QStringList names;
    for (const TODOItem *copy : clone->contains()) {
        names << copy->name();
        QCOMPARE(copy->serverID(), 0);
        QVERIFY(copy->ownerUsername().isEmpty());
        QCOMPARE(copy->edited_since(), 1);
    }
    names.sort();
    QCOMPARE(names, withItems ? (QStringList{"completed", "open", "trashed"}) : QStringList());
    if (withItems) {
        const TODOItem *copy = clone->contains().first(); // the first made, as in the source
        QCOMPARE(copy->descriptionRichText(), open->descriptionRichText());
        QCOMPARE(copy->quadrant(), 1);
        QVERIFY(copy->id_() != open->id_());
    }
    QCOMPARE(open->ownerUsername(), QStringLiteral("bob"));
    QCOMPARE(source->contains().size(), 4);
}

QTEST_GUILESS_MAIN(TestPasteboard)
#include "tst_pasteboard.moc"
