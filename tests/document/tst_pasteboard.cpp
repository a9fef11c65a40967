// Cut, copy and paste of items through the pasteboard, the repair after an
// undo, list cloning, and the pasteboard archives.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "ObjectModel.h"
#include "PasteboardOperations.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTest>

namespace {

// Collects log lines while alive.
class LogCapture
{
public:
    LogCapture() { s_lines.clear(), m_previous = qInstallMessageHandler(&LogCapture::handler); }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList lines() { return s_lines; }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message) { s_lines << message; }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

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

int liveItemCount(const DocumentFixture &fixture)
{
    return int(fixture.context()->objects(TODOItem::EntityName).size());
}

// Ends the current event-loop turn: pending changes are announced and the
// undo group of the turn is closed.
void endTurn()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// Item archives that are malformed in one way each. Where it matters, they
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
        {"CBOR text", QCborValue(uriText).toCbor()},
        {"CBOR array", QCborValue(QCborArray{uriText, listText}).toCbor()},
        {"URIs missing", with("URIRepresentations", QCborValue())},
        {"URIs are text", with("URIRepresentations", uriText)},
        {"URI is a number", with("URIRepresentations", QCborArray{uriText, 7})},
        {"URI is not a URL", with("URIRepresentations", QCborArray{uriText, QStringLiteral("http://[::1")})},
        {"list URI missing", with("URIRepresentationList", QCborValue())},
        {"list URI is a number", with("URIRepresentationList", 12)},
        {"rows are text", with("RowIndexes", QStringLiteral("0-2"))},
        {"negative row", with("RowIndexes", QCborArray{0, -1})},
        {"row is a text", with("RowIndexes", QCborArray{0, QStringLiteral("1")})},
        {"trailing bytes", validBytes + QCborValue(1).toCbor()},
        {"truncated", validBytes.first(validBytes.size() - 3)},
        {"list rows archive", PasteboardTypes::encodeListRows({0, 1})},
    };
}

void addMalformedRows()
{
    QTest::addColumn<int>("kind");
    const auto archives = malformedArchives(QUrl(), QUrl());
    for (int i = 0; i < archives.size(); ++i)
        QTest::newRow(qPrintable(archives[i].first)) << i;
}

// A distinct value of an attribute's type.
QVariant sampleValue(const AttributeDescription &attribute, int n)
{
    switch (attribute.type) {
    case AttributeType::Int32: return QVariant(int(1000 + n));
    case AttributeType::Int64: return QVariant(qlonglong(5000000000LL + n));
    case AttributeType::Double: return QVariant(0.25 + n);
    case AttributeType::Bool: return QVariant(true);
    case AttributeType::Text: return QVariant(attribute.name + QStringLiteral(" value"));
    case AttributeType::Date: return QVariant(QDateTime(QDate(2026, 4, 1), QTime(9, 30)).addSecs(n * 60));
    case AttributeType::Binary: return QVariant(QByteArray("bytes of ") + attribute.name.toUtf8());
    }
    return QVariant();
}

} // namespace

class TestPasteboard : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(10, 0))); }
    void cleanup() { Clock::reset(); }

    // Archives
    void itemArchiveRoundTrip_data();
    void itemArchiveRoundTrip();
    void malformedItemArchivesAreRefused_data() { addMalformedRows(); }
    void malformedItemArchivesAreRefused();
    void listRowsArchive();
    void randomBytesNeverDecodeToSomethingElse();

    // Copy and cut
    void copyWritesTheSelectionInRowOrder();
    void cutTrashesAndHidesTheSelection();
    void copyAndCutWithoutSelectionWriteNothing();
    void nothingHappensWithoutAValidQuadrant();

    // Paste
    void cutAndPasteInOneListBringsTheRecordsBack_data();
    void cutAndPasteInOneListBringsTheRecordsBack();
    void copyAndPasteMakesCopiesWithTheirState_data();
    void copyAndPasteMakesCopiesWithTheirState();
    void cutInOneListPasteInAnother();
    void pasteTakesTheSelectedRowPosition_data();
    void pasteTakesTheSelectedRowPosition();
    void pasteUnderAnotherOrderLeavesIndicesAlone();
    void pastedCopyHasEveryAttributeButTheIdentifiers();
    void pasteSkipsRecordsThatAreGoneOrForeign();
    void pasteIgnoresMalformedData_data();
    void pasteIgnoresMalformedData();

    // Undo
    void undoRepairSetsStateFromPercentage_data();
    void undoRepairSetsStateFromPercentage();
    void undoOfAnotherChangeLeavesCutItemsTrashed();
    void undoOfPasteRemovesThePastedItems();
    void undoAfterPastingIntoAnotherList();

    // Cloning
    void cloneList_data();
    void cloneList();
    void cloneRepairsTheSidebarOrder();
};

// --- Archives --------------------------------------------------------------------------

void TestPasteboard::itemArchiveRoundTrip_data()
{
    QTest::addColumn<QList<QUrl>>("uris");
    QTest::addColumn<QUrl>("listUri");
    QTest::addColumn<bool>("hasRows");
    QTest::addColumn<QList<int>>("rows");

    const QUrl a(QStringLiteral("x-corvane-object://5f0e/TODOItem/p3"));
    const QUrl b(QStringLiteral("x-corvane-object://5f0e/TODOItem/p12"));
    const QUrl list(QStringLiteral("x-corvane-object://5f0e/TODOList/p1"));
    QTest::newRow("copy") << QList<QUrl>{a, b} << list << false << QList<int>{};
    QTest::newRow("drag") << QList<QUrl>{b, a} << list << true << QList<int>{4, 0, 7};
    QTest::newRow("drag without rows") << QList<QUrl>{a} << list << true << QList<int>{};
    QTest::newRow("no items, no list") << QList<QUrl>{} << QUrl() << false << QList<int>{};
}

void TestPasteboard::itemArchiveRoundTrip()
{
    QFETCH(QList<QUrl>, uris);
    QFETCH(QUrl, listUri);
    QFETCH(bool, hasRows);
    QFETCH(QList<int>, rows);

    const QByteArray data = PasteboardTypes::encodeItems({uris, listUri, rows, hasRows});
    // The keys others read the archive by.
    const QCborMap map = QCborValue::fromCbor(data).toMap();
    QVERIFY(map.value(QStringLiteral("URIRepresentations")).isArray());
    QVERIFY(map.value(QStringLiteral("URIRepresentationList")).isString());
    QCOMPARE(map.contains(QStringLiteral("RowIndexes")), hasRows);

    PasteboardTypes::ItemArchive decoded;
    QVERIFY(PasteboardTypes::decodeItems(data, &decoded));
    QCOMPARE(decoded.uris, uris);
    QCOMPARE(decoded.listUri, listUri);
    QCOMPARE(decoded.hasRowIndexes, hasRows);
    QCOMPARE(decoded.rowIndexes, rows);
}

void TestPasteboard::malformedItemArchivesAreRefused()
{
    QFETCH(int, kind);
    const QUrl list(QStringLiteral("x-corvane-object://5f0e/TODOList/p1"));
    PasteboardTypes::ItemArchive archive;
    archive.uris = {list};
    const auto archives = malformedArchives(QUrl(QStringLiteral("x-corvane-object://5f0e/TODOItem/p3")), list);
    QVERIFY(!PasteboardTypes::decodeItems(archives[kind].second, &archive));
    // A refused archive leaves the caller's value alone.
    QCOMPARE(archive.uris, QList<QUrl>{list});
}

void TestPasteboard::listRowsArchive()
{
    const QList<int> rows{3, 0, 5};
    const QByteArray data = PasteboardTypes::encodeListRows(rows);
    QCOMPARE(QCborValue::fromCbor(data).toMap().value(QStringLiteral("root")).toArray().size(), 3);
    QList<int> decoded;
    QVERIFY(PasteboardTypes::decodeListRows(data, &decoded));
    QCOMPARE(decoded, rows);

    QList<int> untouched{9};
    const auto root = [](const QCborValue &value) { return QCborValue(QCborMap{{QStringLiteral("root"), value}}).toCbor(); };
    const QList<QByteArray> bad{
        QByteArray(),
        QByteArray("\x9f\x01", 2), // an unfinished array
        QCborValue(QCborArray{1, 2}).toCbor(),
        root(QStringLiteral("1,2")),
        root(QCborArray{1, -2}),
        root(QCborArray{1, 2.5}),
        root(QCborArray{qint64(1) << 40}),
        QCborValue(QCborMap{{QStringLiteral("rows"), QCborArray{1}}}).toCbor(),
        PasteboardTypes::encodeItems({}),
    };
    for (const QByteArray &data : bad) {
        QVERIFY2(!PasteboardTypes::decodeListRows(data, &untouched), data.toHex().constData());
        QCOMPARE(untouched, QList<int>{9});
    }
}

void TestPasteboard::randomBytesNeverDecodeToSomethingElse()
{
    // Random data and damaged archives: decoding never crashes, and whatever
    // it accepts is an archive that survives another round trip unchanged.
    QRandomGenerator random(20260310);
    const QByteArray validData = PasteboardTypes::encodeItems({{QUrl(QStringLiteral("x-corvane-object://5f0e/TODOItem/p3"))},
                                                               QUrl(QStringLiteral("x-corvane-object://5f0e/TODOList/p1")),
                                                               {1, 2},
                                                               true});
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray data = validData;
        if (round % 2 == 0) {
            data.resize(int(random.bounded(64)));
            for (char &c : data)
                c = char(random.bounded(256));
        } else {
            for (int i = 0, flips = 1 + int(random.bounded(3)); i < flips; ++i)
                data[random.bounded(int(data.size()))] = char(random.bounded(256));
        }
        PasteboardTypes::ItemArchive archive, again;
        if (PasteboardTypes::decodeItems(data, &archive)) {
            ++accepted;
            QVERIFY(PasteboardTypes::decodeItems(PasteboardTypes::encodeItems(archive), &again));
            QCOMPARE(again.uris, archive.uris);
            QCOMPARE(again.listUri, archive.listUri);
            QCOMPARE(again.rowIndexes, archive.rowIndexes);
        }
        QList<int> rows;
        if (PasteboardTypes::decodeListRows(data, &rows)) {
            for (int row : rows)
                QVERIFY(row >= 0);
        }
    }
    // The undamaged archive is accepted, so the loop exercised both outcomes.
    QVERIFY(PasteboardTypes::decodeItems(validData, nullptr));
    QVERIFY(accepted < 3000);
}

// --- Copy and cut --------------------------------------------------------------------------

void TestPasteboard::copyWritesTheSelectionInRowOrder()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    for (const char *name : {"a", "b", "c"})
        f.item(1, QString::fromLatin1(name));
    const QList<TODOItem *> rows = rowsOf(*f.document, 1);
    QCOMPARE(rows.size(), 3);

    f.document->enableQuadrant(1, {2, 0}, false);
    f.document->copy();

    PasteboardTypes::ItemArchive archive;
    QVERIFY(PasteboardTypes::decodeItems(f.pasteboard.data(PasteboardTypes::Item), &archive));
    QCOMPARE(archive.uris, (QList<QUrl>{rows[0]->objectURI(), rows[2]->objectURI()}));
    QCOMPARE(archive.listUri, list->objectURI());
    QVERIFY(!archive.hasRowIndexes);
    QVERIFY(f.document->isCopying());
    // A copy changes nothing in the store.
    for (const TODOItem *item : rows)
        QCOMPARE(item->state(), int(RecordState::Open));
    QCOMPARE(rowsOf(*f.document, 1), rows);
}

void TestPasteboard::cutTrashesAndHidesTheSelection()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *dated = f.item(0, QStringLiteral("dated"));
    dated->setDueDate(QDateTime(QDate(2026, 3, 12), QTime(9, 0)));
    TODOItem *plain = f.item(0, QStringLiteral("plain"));
    TODOItem *kept = f.item(0, QStringLiteral("kept"));
    f.document->rearrangeArrayControllers();

    ArrayController *rows = f.document->controllerForQuadrant(0);
    f.document->enableQuadrant(0, {rows->indexOfArrangedObject(dated), rows->indexOfArrangedObject(plain)}, false);
    f.view.calls.clear();
    f.document->cut();

    QVERIFY(!f.document->isCopying());
    QCOMPARE(dated->state(), int(RecordState::Trashed));
    QCOMPARE(plain->state(), int(RecordState::Trashed));
    QCOMPARE(kept->state(), int(RecordState::Open));
    // The items stay in their list; only the rows vanish.
    QCOMPARE(list->contains().size(), 3);
    QCOMPARE(rowsOf(*f.document, 0), QList<TODOItem *>{kept});
    QCOMPARE(f.calendar.calls, QStringList{QStringLiteral("delete dated")});
    QVERIFY(f.view.called(QStringLiteral("refreshListCells")));
    QVERIFY(f.view.called(QStringLiteral("closeDrawer")));
    PasteboardTypes::ItemArchive archive;
    QVERIFY(PasteboardTypes::decodeItems(f.pasteboard.data(PasteboardTypes::Item), &archive));
    QCOMPARE(archive.uris.size(), 2);
}

void TestPasteboard::copyAndCutWithoutSelectionWriteNothing()
{
    DocumentFixture f;
    f.selectedList();
    f.item(0, QStringLiteral("a"));
    f.document->enableQuadrant(2, {}, false); // quadrant 2 is empty

    f.document->copy();
    QVERIFY(f.document->isCopying());
    QVERIFY(!f.pasteboard.hasType(PasteboardTypes::Item));
    f.document->copyToPasteBoardWithCutting(true);
    QVERIFY(!f.document->isCopying());
    QVERIFY(!f.pasteboard.hasType(PasteboardTypes::Item));
    QCOMPARE(rowsOf(*f.document, 0).size(), 1);
}

void TestPasteboard::nothingHappensWithoutAValidQuadrant()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *item = f.item(0, QStringLiteral("a"));
    f.document->enableQuadrant(0, {0}, false);
    f.document->copy();
    const QByteArray written = f.pasteboard.data(PasteboardTypes::Item);
    QVERIFY(!written.isEmpty());

    f.document->itemClickedInQuadrant(-1);
    QCOMPARE(f.document->lastQuadrantClicked(), -1);
    f.document->cut();
    QCOMPARE(item->state(), int(RecordState::Open));
    QVERIFY(f.document->isCopying());
    const int before = liveItemCount(f);
    f.document->paste();
    QCOMPARE(liveItemCount(f), before);
    QCOMPARE(f.pasteboard.data(PasteboardTypes::Item), written);
}

// --- Paste -------------------------------------------------------------------------------------

void TestPasteboard::cutAndPasteInOneListBringsTheRecordsBack_data()
{
    QTest::addColumn<int>("target");
    QTest::newRow("into quadrant 3") << 3;
    QTest::newRow("back into quadrant 0") << 0;
}

void TestPasteboard::cutAndPasteInOneListBringsTheRecordsBack()
{
    QFETCH(int, target);
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *done = f.item(0, QStringLiteral("done"));
    done->setCompletionPercentage(100);
    done->setState(RecordState::Completed);
    TODOItem *open = f.item(0, QStringLiteral("open"));
    open->setCompletionPercentage(30);
    const int doneId = done->id_();
    f.document->rearrangeArrayControllers();

    f.document->enableQuadrant(0, {0, 1}, false);
    f.document->cut();
    QVERIFY(rowsOf(*f.document, 0).isEmpty());
    f.document->enableQuadrant(target, {}, false);
    const int before = liveItemCount(f);
    f.document->paste();

    // The records themselves, not copies; state 0 even at 100 percent.
    QCOMPARE(liveItemCount(f), before);
    QCOMPARE(list->contains().size(), 2);
    for (TODOItem *item : {done, open}) {
        QCOMPARE(item->state(), int(RecordState::Open));
        QCOMPARE(item->quadrant(), target);
        QVERIFY(rowsOf(*f.document, target).contains(item));
    }
    QCOMPARE(done->id_(), doneId);
    QCOMPARE(done->completionPercentage(), 100);
    QCOMPARE(f.document->selectedItemsInQuadrant(target).size(), 2);
}

void TestPasteboard::copyAndPasteMakesCopiesWithTheirState_data()
{
    QTest::addColumn<int>("percentage");
    QTest::addColumn<int>("sourceState");
    QTest::addColumn<int>("expectedState");
    QTest::newRow("completed") << 100 << int(RecordState::Completed) << int(RecordState::Completed);
    QTest::newRow("open") << 40 << int(RecordState::Open) << int(RecordState::Open);
    QTest::newRow("99 percent is open") << 99 << int(RecordState::Open) << int(RecordState::Open);
    QTest::newRow("100 percent marked open") << 100 << int(RecordState::Open) << int(RecordState::Completed);
}

void TestPasteboard::copyAndPasteMakesCopiesWithTheirState()
{
    QFETCH(int, percentage);
    QFETCH(int, sourceState);
    QFETCH(int, expectedState);
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *source = f.item(0, QStringLiteral("source"));
    source->setCompletionPercentage(percentage);
    source->setState(sourceState);
    f.document->rearrangeArrayControllers();

    f.document->enableQuadrant(0, {0}, false);
    f.document->copy();
    f.document->enableQuadrant(2, {}, false);
    f.document->paste();

    QCOMPARE(list->contains().size(), 2);
    const QList<TODOItem *> pasted = rowsOf(*f.document, 2);
    QCOMPARE(pasted.size(), 1);
    TODOItem *copy = pasted.first();
    QVERIFY(copy != source);
    QCOMPARE(copy->name(), source->name());
    QCOMPARE(copy->state(), expectedState);
    QCOMPARE(copy->quadrant(), 2);
    QCOMPARE(copy->list(), list);
    QVERIFY(copy->id_() != source->id_());
    // The source stays as it was.
    QCOMPARE(source->state(), sourceState);
    QCOMPARE(source->quadrant(), 0);
    QCOMPARE(f.document->selectedItemsInQuadrant(2), QList<TODOItem *>{copy});

    // Pasting the same copy again makes another copy with its own identifier.
    f.document->enableQuadrant(2, {}, false);
    f.document->paste();
    QCOMPARE(list->contains().size(), 3);
    const QList<TODOItem *> twice = rowsOf(*f.document, 2);
    QCOMPARE(namesOf(twice), (QStringList{"source", "source"}));
    QVERIFY(twice[0]->id_() != twice[1]->id_());
    QVERIFY(twice[0]->id_() != source->id_() && twice[1]->id_() != source->id_());
}

void TestPasteboard::cutInOneListPasteInAnother()
{
    DocumentFixture f;
    TODOList *a = f.selectedList(QStringLiteral("A"));
    TODOItem *first = f.item(0, QStringLiteral("first"));
    TODOItem *second = f.item(0, QStringLiteral("second"));
    second->setCompletionPercentage(100);
    second->setState(RecordState::Completed);
    f.document->rearrangeArrayControllers();
    f.document->enableQuadrant(0, {0, 1}, false);
    f.document->cut();

    TODOList *b = f.selectedList(QStringLiteral("B"));
    QCOMPARE(f.document->projects().selectedList(), b);
    f.document->enableQuadrant(3, {}, false);
    f.document->paste();

    // B gets copies in the last clicked quadrant...
    const QList<TODOItem *> copies = b->contains();
    QStringList names = namesOf(copies);
    names.sort();
    QCOMPARE(names, (QStringList{"first", "second"}));
    for (TODOItem *copy : copies) {
        QVERIFY(copy != first && copy != second);
        QCOMPARE(copy->quadrant(), 3);
        // The copy of a cut item is made from a trashed record: open, whatever its percentage.
        QCOMPARE(copy->state(), int(RecordState::Open));
    }
    QCOMPARE(rowsOf(*f.document, 3).size(), 2);
    // ...and the cut items stay trashed in A.
    QCOMPARE(a->contains().size(), 2);
    QCOMPARE(first->state(), int(RecordState::Trashed));
    QCOMPARE(second->state(), int(RecordState::Trashed));
    QCOMPARE(first->list(), a);
    QCOMPARE(first->quadrant(), 0);
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
    const QList<TODOItem *> before = rowsOf(*f.document, 0);
    QCOMPARE(namesOf(before), (QStringList{"r0", "r1", "r2", "r3", "r4"}));

    f.document->enableQuadrant(1, {0, 1}, false);
    f.document->copy();
    f.document->enableQuadrant(0, selectedRows, false);
    f.document->paste();

    const QList<TODOItem *> after = rowsOf(*f.document, 0);
    QCOMPARE(after.size(), 7);
    QStringList expected = namesOf(before);
    expected.insert(firstPosition, QStringLiteral("c1"));
    expected.insert(firstPosition + 1, QStringLiteral("c2"));
    QCOMPARE(namesOf(after), expected);
    QVERIFY(!before.contains(after[firstPosition]));
    QVERIFY(!before.contains(after[firstPosition + 1]));
    // The manual order is repaired: indices strictly descending down the rows.
    for (int i = 1; i < after.size(); ++i)
        QVERIFY2(after[i - 1]->index() > after[i]->index(), qPrintable(QStringLiteral("rows %1, %2").arg(i - 1).arg(i)));
    QCOMPARE(f.document->selectedItemsInQuadrant(0), (QList<TODOItem *>{after[firstPosition], after[firstPosition + 1]}));
    QVERIFY(f.view.called(QStringLiteral("refreshListCells")));
}

void TestPasteboard::pasteUnderAnotherOrderLeavesIndicesAlone()
{
    DocumentFixture f;
    f.selectedList();
    f.item(0, QStringLiteral("b"))->setIndex(100);
    f.item(0, QStringLiteral("d"))->setIndex(200);
    f.item(1, QStringLiteral("c"))->setIndex(900);
    for (int q = 0; q < 4; ++q)
        f.document->controllerForQuadrant(q)->setSortDescriptors(
            {SortDescriptor(QStringLiteral("name"), true, SortDescriptor::Comparison::Localized)});

    f.document->enableQuadrant(1, {0}, false);
    f.document->copy();
    f.document->enableQuadrant(0, {0}, false);
    f.document->paste();

    const QList<TODOItem *> rows = rowsOf(*f.document, 0);
    QCOMPARE(namesOf(rows), (QStringList{"b", "c", "d"}));
    QCOMPARE((QList<int>{rows[0]->index(), rows[1]->index(), rows[2]->index()}), (QList<int>{100, 900, 200}));
}

void TestPasteboard::pastedCopyHasEveryAttributeButTheIdentifiers()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *source = f.item(0, QStringLiteral("source"));
    source->setDueDate(QDateTime(QDate(2026, 3, 20), QTime(8, 0)));
    f.item(0, QStringLiteral("undated"));
    const QVector<AttributeDescription> &attributes = source->entity().attributes();
    const QSet<QString> notSampled{"quadrant", "state", "completionPercentage"};
    for (int i = 0; i < attributes.size(); ++i) {
        if (!notSampled.contains(attributes[i].name))
            source->setValue(attributes[i].name, sampleValue(attributes[i], i));
    }
    source->setCompletionPercentage(40);
    QVERIFY(!source->resourceURI().isEmpty());
    QVERIFY(source->serverID() != 0);
    f.document->rearrangeArrayControllers();

    // Both rows are pasted; only the dated one reaches the calendar.
    f.document->enableQuadrant(0, {0, 1}, false);
    f.document->copy();
    QVERIFY(f.calendar.calls.isEmpty());
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
    // Nothing the server knows the source by goes along.
    QVERIFY(copy->resourceURI().isEmpty());
    QCOMPARE(copy->serverID(), 0);
    QCOMPARE(copy->versionID(), qint64(0));
    QVERIFY(copy->boxFolderID().isEmpty());
    QVERIFY(copy->id_() != source->id_());
    QCOMPARE(copy->state(), int(RecordState::Open));
    QCOMPARE(copy->quadrant(), 2);
    // The source keeps its own.
    QCOMPARE(source->resourceURI(), QStringLiteral("resourceURI value"));
    QVERIFY(source->serverID() != 0);
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

    // Written by someone else: no source list, so the paste makes copies.
    const QList<QUrl> uris{goneUri,
                           foreign->objectURI(),
                           list->objectURI(), // a list, not an item
                           QUrl(QStringLiteral("https://example.com/TODOItem/p1")),
                           removedByServer->objectURI(),
                           good->objectURI()};
    f.pasteboard.declareAndSet(PasteboardTypes::Item, PasteboardTypes::encodeItems({uris, QUrl(), {}, false}));

    f.document->enableQuadrant(3, {}, false);
    const int before = liveItemCount(f);
    LogCapture log;
    f.document->paste();

    QCOMPARE(liveItemCount(f), before + 1);
    const QList<TODOItem *> pasted = rowsOf(*f.document, 3);
    QCOMPARE(namesOf(pasted), QStringList{QStringLiteral("good")});
    QVERIFY(pasted.first() != good);
    QCOMPARE(log.lines(), (QStringList{"Pasting", "good"}));
    QCOMPARE(removedByServer->state(), int(RecordState::Deleted));
}

void TestPasteboard::pasteIgnoresMalformedData_data()
{
    addMalformedRows();
    QTest::newRow("another type") << -1;
    QTest::newRow("nothing on the pasteboard") << -2;
}

void TestPasteboard::pasteIgnoresMalformedData()
{
    QFETCH(int, kind);
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = f.item(0, QStringLiteral("item"));
    f.document->markTODOItemAsTrashed(item, list);
    if (kind == -1)
        f.pasteboard.declareAndSet(QStringLiteral("text/plain"),
                                   PasteboardTypes::encodeItems({{item->objectURI()}, list->objectURI(), {}, false}));
    else if (kind >= 0)
        f.pasteboard.declareAndSet(PasteboardTypes::Item,
                                   malformedArchives(item->objectURI(), list->objectURI())[kind].second);

    f.document->enableQuadrant(1, {}, false);
    f.view.calls.clear();
    const int before = liveItemCount(f);
    f.document->paste();
    f.document->undoCutIfNeeded();

    QCOMPARE(liveItemCount(f), before);
    QCOMPARE(item->state(), int(RecordState::Trashed));
    QCOMPARE(item->quadrant(), 0);
    QVERIFY(rowsOf(*f.document, 1).isEmpty());
    QVERIFY(!f.view.called(QStringLiteral("refreshListCells")));
}

// --- Undo ----------------------------------------------------------------------------------------

void TestPasteboard::undoRepairSetsStateFromPercentage_data()
{
    QTest::addColumn<int>("percentage");
    QTest::addColumn<int>("sourceState");
    QTest::addColumn<int>("expectedState");
    QTest::newRow("100 percent") << 100 << int(RecordState::Open) << int(RecordState::Completed);
    QTest::newRow("100 percent, completed") << 100 << int(RecordState::Completed) << int(RecordState::Completed);
    QTest::newRow("99 percent") << 99 << int(RecordState::Open) << int(RecordState::Open);
    QTest::newRow("0 percent") << 0 << int(RecordState::Open) << int(RecordState::Open);
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
    TODOItem *open = f.item(2, QStringLiteral("open"));
    open->setCompletionPercentage(20);
    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->updateFilters();
    item->setDueDate(QDateTime(QDate(2026, 3, 11), QTime(12, 0)));
    TODOItem *other = f.item(1, QStringLiteral("elsewhere"));
    f.document->markTODOItemAsTrashed(other, list);
    f.document->rearrangeArrayControllers();
    endTurn();
    f.document->enableQuadrant(2, {0, 1}, false);
    f.document->cut();
    QCOMPARE(item->state(), int(RecordState::Trashed));
    QVERIFY(rowsOf(*f.document, 2).isEmpty());
    endTurn();
    f.calendar.calls.clear();
    f.view.calls.clear();

    f.document->undo(); // the cut is undone, then the repair runs

    QCOMPARE(item->state(), expectedState);
    QCOMPARE(open->state(), int(RecordState::Open));
    // The rows are back without any other refresh; the dated item's calendar event is written again.
    QCOMPARE(rowsOf(*f.document, 2).size(), 2);
    QCOMPARE(f.calendar.calls, QStringList{QStringLiteral("update cut")});
    QVERIFY(f.view.called(QStringLiteral("refreshListCells")));
    // Only items named on the pasteboard are touched.
    QCOMPARE(other->state(), int(RecordState::Trashed));
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

void TestPasteboard::undoOfPasteRemovesThePastedItems()
{
    DocumentFixture f;
    f.document->windowControllerDidLoadNib();
    TODOList *list = f.selectedList();
    TODOItem *source = f.item(0, QStringLiteral("source"));
    endTurn();

    f.document->enableQuadrant(0, {0}, false);
    f.document->copy();
    f.document->enableQuadrant(3, {}, false);
    f.document->paste();
    const QList<TODOItem *> pasted = rowsOf(*f.document, 3);
    QCOMPARE(pasted.size(), 1);
    QCOMPARE(list->contains().size(), 2);
    endTurn();

    f.document->undo();

    QVERIFY(pasted.first()->isDeleted());
    QCOMPARE(list->contains(), QList<TODOItem *>{source});
    QVERIFY(rowsOf(*f.document, 3).isEmpty());
    QCOMPARE(rowsOf(*f.document, 0), QList<TODOItem *>{source});
    QCOMPARE(source->state(), int(RecordState::Open));
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
    QVERIFY(f.document->selectProject(b) >= 0);
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

// --- Cloning -------------------------------------------------------------------------------------

void TestPasteboard::cloneList_data()
{
    QTest::addColumn<bool>("withItems");
    QTest::newRow("with items") << true;
    QTest::newRow("without items") << false;
}

void TestPasteboard::cloneList()
{
    QFETCH(bool, withItems);
    DocumentFixture f;
    TODOList *source = f.selectedList(QStringLiteral("Source"));
    source->setId_(77);
    source->setIndex(5000);
    source->setResourceURI(QStringLiteral("/api/lists/77/"));
    source->setTextThirdQuadrant(QStringLiteral("Someday"));
    source->setColorFirstQuadrant(QStringLiteral("{1, 0, 0, 1}"));
    f.document->addNewProjectWithName(QStringLiteral("Above"))->setIndex(9000);

    TODOItem *open = f.item(1, QStringLiteral("open"));
    open->setServerID(4711);
    open->setResourceURI(QStringLiteral("/api/items/4711/"));
    open->setOwner(QStringLiteral("42"));
    open->setOwnerUsername(QStringLiteral("bob"));
    open->setDescriptionRichText(QStringLiteral("<p>notes</p>"));
    open->setEdited_since(0);
    TODOItem *trashed = f.item(2, QStringLiteral("trashed"));
    f.document->markTODOItemAsTrashed(trashed, source);
    TODOItem *completed = f.item(3, QStringLiteral("completed"));
    completed->setCompletionPercentage(100);
    completed->setState(RecordState::Completed);
    f.document->rearrangeProjectArrayController();

    TODOList *clone = f.document->cloneList(source, withItems);

    QVERIFY(clone && clone != source);
    QCOMPARE(clone->id_(), 0);
    QCOMPARE(clone->name(), QStringLiteral("Source"));
    QCOMPARE(clone->textThirdQuadrant(), QStringLiteral("Someday"));
    QCOMPARE(clone->colorFirstQuadrant(), QStringLiteral("{1, 0, 0, 1}"));
    QVERIFY(clone->resourceURI().isEmpty());
    QCOMPARE(clone->index(), 5002);
    QCOMPARE(clone->edited_since(), 1);
    // Directly above the source in the sidebar.
    const QList<TODOList *> shown = f.document->getAllProjects();
    QCOMPARE(shown.indexOf(clone) + 1, shown.indexOf(source));
    // The source is untouched.
    QCOMPARE(source->id_(), 77);
    QCOMPARE(source->index(), 5000);
    QCOMPARE(source->contains().size(), 3);

    const QList<TODOItem *> items = clone->contains();
    QStringList names = namesOf(items);
    names.sort();
    QCOMPARE(names, withItems ? (QStringList{"completed", "open", "trashed"}) : QStringList());
    for (const TODOItem *copy : items) {
        const TODOItem *original = copy->name() == QLatin1String("open") ? open
                                   : copy->name() == QLatin1String("trashed") ? trashed
                                                                              : completed;
        QVERIFY2(copy->name() == original->name(), qPrintable(copy->name()));
        QVERIFY(copy != original);
        QCOMPARE(copy->state(), original->state());
        QCOMPARE(copy->quadrant(), original->quadrant());
        QCOMPARE(copy->completionPercentage(), original->completionPercentage());
        QCOMPARE(copy->descriptionRichText(), original->descriptionRichText());
        QVERIFY(copy->id_() != original->id_());
        QCOMPARE(copy->serverID(), 0);
        QVERIFY(copy->resourceURI().isEmpty());
        QVERIFY(copy->owner().isEmpty());
        QVERIFY(copy->ownerUsername().isEmpty());
        QCOMPARE(copy->edited_since(), 1);
    }
    QCOMPARE(trashed->state(), int(RecordState::Trashed));
    QCOMPARE(open->ownerUsername(), QStringLiteral("bob"));
    QCOMPARE(open->serverID(), 4711);
}

void TestPasteboard::cloneRepairsTheSidebarOrder()
{
    // The list above the source already holds source + 2: the clone takes
    // that place too, and the sidebar's indices are repaired to strictly
    // descending without moving the source.
    DocumentFixture f;
    QList<TODOList *> made;
    for (const auto &[name, index] : {std::pair{"Top", 9000}, {"Above", 5002}, {"Source", 5000}, {"Below", 1000}}) {
        made << f.document->addNewProjectWithName(QString::fromLatin1(name));
        made.last()->setIndex(index);
    }
    f.document->rearrangeProjectArrayController();

    TODOList *clone = f.document->cloneList(made[2], false);
    QVERIFY(clone);

    const QList<TODOList *> shown = f.document->getAllProjects();
    QCOMPARE(shown.size(), 5);
    for (int i = 1; i < shown.size(); ++i)
        QVERIFY2(shown[i - 1]->index() > shown[i]->index(), qPrintable(shown[i]->name()));
    QCOMPARE(shown.first(), made[0]);
    QCOMPARE(shown.last(), made[3]);
    QCOMPARE(shown.indexOf(clone), 2);
    QCOMPARE(shown.indexOf(made[2]), 3);
}

QTEST_GUILESS_MAIN(TestPasteboard)
#include "tst_pasteboard.moc"
