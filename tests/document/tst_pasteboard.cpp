// Cut, copy and paste of items through the pasteboard, the repair after an
// undo, list cloning, and the pasteboard archives.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "IndexAdjuster.h"
#include "ObjectModel.h"
#include "PasteboardOperations.h"
#include "TestSupport.h"
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
        {"URIs missing", with("URIRepresentations", QCborValue())},
        {"URI is a number", with("URIRepresentations", QCborArray{uriText, 7})},
        {"URI is not a URL", with("URIRepresentations", QCborArray{uriText, QStringLiteral("http://[::1")})},
        {"cut is a number", with("Cut", 1)},
        {"trailing bytes", validBytes + QCborValue(1).toCbor()},
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

    void malformedArchivesAreIgnored_data()
    {
        QTest::addColumn<int>("kind");
        const auto archives = malformedArchives(QUrl(), QUrl());
        for (int i = 0; i < archives.size(); ++i)
            QTest::newRow(qPrintable(archives[i].first)) << i;
        QTest::newRow("another type") << -1;
        QTest::newRow("records gone, foreign or not items") << -2;
    }

    void malformedArchivesAreIgnored()
    {
        QFETCH(int, kind);
        DocumentFixture f;
        TODOList *list = f.selectedList();
        TODOItem *item = f.item(0, QStringLiteral("item"));
        f.document->markTODOItemAsTrashed(item, list);
        TODOItem *removedByServer = f.item(0, QStringLiteral("removed by server"));
        removedByServer->setState(RecordState::Deleted);
        TODOItem *gone = f.item(0, QStringLiteral("gone"));
        f.context()->deleteObject(gone);
        ManagedObjectContext otherStore(todoListModel());
        const QList<QUrl> unpastable{gone->objectURI(), otherStore.insert<TODOItem>(TODOItem::EntityName)->objectURI(), list->objectURI(),
                                     QUrl(QStringLiteral("https://example.com/TODOItem/p1")), removedByServer->objectURI()};
        if (kind == -1) {
            f.pasteboard.declareAndSet(QStringLiteral("text/plain"), PasteboardTypes::encodeItems({{item->objectURI()}, list->objectURI(), {}, false, true}));
        } else if (kind == -2) {
            f.pasteboard.declareAndSet(PasteboardTypes::Item, PasteboardTypes::encodeItems({unpastable, QUrl(), {}, false, false}));
        } else {
            const QByteArray data = malformedArchives(item->objectURI(), list->objectURI())[kind].second;
            QVERIFY(!PasteboardTypes::decodeItems(data, nullptr));
            f.pasteboard.declareAndSet(PasteboardTypes::Item, data);
        }

        f.document->enableQuadrant(1, {}, false);
        const int before = f.context()->count(TODOItem::EntityName);
        f.document->paste();
        f.document->undoCutIfNeeded();
        QCOMPARE(f.context()->count(TODOItem::EntityName), before);
        QCOMPARE(item->state(), int(RecordState::Trashed));
        QCOMPARE(removedByServer->state(), int(RecordState::Deleted));
        QVERIFY(rowsOf(*f.document, 1).isEmpty());
    }

    void paste_data()
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
        QTest::newRow("copy, 99 percent") << Copy << false << 99 << open << false << open;
        QTest::newRow("copy, 100 percent marked open") << Copy << false << 100 << open << false << completed;
        // A cut of nothing writes nothing: what is on the pasteboard is still a copy.
        QTest::newRow("copy, then a cut of nothing") << CopyThenCutOfNothing << false << 40 << open << false << open;
    }

    void paste()
    {
        QFETCH(Operation, operation);
        QFETCH(bool, intoOtherList);
        QFETCH(int, percentage);
        QFETCH(int, sourceState);
        QFETCH(bool, takenBack);

        DocumentFixture f;
        f.document->windowControllerDidLoadNib();
        f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
        f.document->updateFilters();
        TODOList *other = f.document->addNewProjectWithName(QStringLiteral("B"));
        TODOList *source = f.selectedList(QStringLiteral("A"));
        TODOList *target = intoOtherList ? other : source;
        for (int i = 0; i < 2; ++i)
            f.document->newItemForProject(target, 3)->setIndex(900000 - 100000 * i);
        TODOItem *item = f.item(0, QStringLiteral("item"));
        fillAttributes(item, 0);
        item->setQuadrant(0);
        item->setCompletionPercentage(percentage);
        item->setState(sourceState);
        f.document->rearrangeArrayControllers();
        QCoreApplication::processEvents();
        f.document->enableQuadrant(0, {0}, false);
        f.document->copyToPasteBoardWithCutting(operation == Cut);
        QCoreApplication::processEvents();
        if (operation == Cut) {
            // A cut trashes: the item stays in its list; its row and calendar event go.
            QCOMPARE(item->state(), int(RecordState::Trashed));
            QVERIFY(rowsOf(*f.document, 0).isEmpty());
            QCOMPARE(f.calendar.calls, QStringList{QStringLiteral("delete ") + item->name()});
        }
        if (operation == CopyThenCutOfNothing) {
            f.document->enableQuadrant(2, {}, false);
            f.document->cut();
        }
        f.document->selectProject(target);
        f.document->enableQuadrant(3, {1}, false);
        const int before = f.context()->count(TODOItem::EntityName);
        f.document->paste();

        // In place of the selected row, and the manual order repaired around it.
        const QList<TODOItem *> rows = rowsOf(*f.document, 3);
        QCOMPARE(rows.size(), 3);
        TODOItem *copy = rows[1];
        QVERIFY(rows[0]->index() > copy->index() && copy->index() > rows[2]->index());
        QCOMPARE(copy == item, takenBack);
        QTEST(copy->state(), "pastedState");
        QCOMPARE(copy->list(), target);
        QCOMPARE(f.document->selectedItemsInQuadrant(3), QList<TODOItem *>{copy});
        QCOMPARE(f.calendar.calls.last(), QStringLiteral("update ") + item->name());
        if (!takenBack) {
            // Every attribute but what the server knows the source by.
            const QStringList changedByPaste{"id_", "serverID", "versionID", "boxFolderID", "resourceURI", "quadrant", "state"};
            QCOMPARE(attributeValues(copy, changedByPaste), attributeValues(item, changedByPaste));
            QVERIFY(copy->resourceURI().isEmpty() && copy->boxFolderID().isEmpty() && copy->serverID() == 0);
            QVERIFY(copy->id_() != item->id_());
        }
        // Undo takes the paste back; a cut stands until it is undone too.
        QCoreApplication::processEvents();
        f.document->undo();
        QCOMPARE(f.context()->count(TODOItem::EntityName), before);
        QCOMPARE(rowsOf(*f.document, 3).size(), 2);
        QCOMPARE(item->state() == RecordState::Trashed, operation == Cut);
        if (operation == Cut) {
            f.document->undo();
            QCOMPARE(item->state(), sourceState);
        }
    }

    void undoRepairSetsStateFromPercentage_data()
    {
        QTest::addColumn<int>("percentage");
        QTest::addColumn<int>("expectedState");
        QTest::newRow("100 percent") << 100 << int(RecordState::Completed);
        QTest::newRow("99 percent") << 99 << int(RecordState::Open);
    }

    void undoRepairSetsStateFromPercentage()
    {
        QFETCH(int, percentage);
        DocumentFixture f;
        f.document->windowControllerDidLoadNib();
        TODOList *list = f.selectedList();
        TODOItem *item = f.item(2, QStringLiteral("cut"));
        item->setCompletionPercentage(percentage);
        item->setDueDate(QDateTime(QDate(2026, 3, 11), QTime(12, 0)));
        f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
        f.document->updateFilters();
        TODOItem *other = f.item(1, QStringLiteral("elsewhere"));
        f.document->markTODOItemAsTrashed(other, list);
        QCoreApplication::processEvents();
        f.document->enableQuadrant(2, {0}, false);
        f.document->cut();
        QCoreApplication::processEvents();
        f.calendar.calls.clear();

        f.document->undo(); // the cut is undone, then the repair runs

        QTEST(item->state(), "expectedState");
        QCOMPARE(rowsOf(*f.document, 2), QList<TODOItem *>{item});
        QCOMPARE(f.calendar.calls, QStringList{QStringLiteral("update cut")});
        QCOMPARE(other->state(), int(RecordState::Trashed)); // not on the pasteboard
        // The repair is part of the undo: the cut can be redone.
        QCoreApplication::processEvents();
        f.context()->undoManager()->redo();
        QCOMPARE(item->state(), int(RecordState::Trashed));
    }

    void cloneList_data()
    {
        QTest::addColumn<bool>("withItems");
        QTest::addColumn<bool>("alphabetical");
        QTest::addColumn<int>("sourceIndex");

        QTest::newRow("with items") << true << false << 5000;
        QTest::newRow("sidebar in name order") << true << true << 5000;
        QTest::newRow("index at the 32-bit limit") << false << false << std::numeric_limits<qint32>::max() - 1;
    }

    void cloneList()
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
        TODOItem *open = f.item(1, QStringLiteral("open"));
        open->setServerID(4711);
        open->setOwnerUsername(QStringLiteral("bob"));
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
        QCOMPARE(clone->edited_since(), 1);
        // Only the clone moves; the manual order stays, with the clone directly above the source.
        QCOMPARE(source->index(), sourceIndex);
        for (int i = 0; i < others.size(); ++i)
            QCOMPARE(others[i]->index(), indices[i]);
        QVERIFY(sourceIndex != 5000 || (clone->index() > source->index() && clone->index() < others[2]->index()));

        // The items the owner sees, without anything the server knows them by.
        QStringList names;
        for (const TODOItem *copy : clone->contains()) {
            names << copy->name();
            QVERIFY(copy->serverID() == 0 && copy->ownerUsername().isEmpty() && copy->edited_since() == 1);
        }
        names.sort();
        QCOMPARE(names, withItems ? (QStringList{"completed", "open", "trashed"}) : QStringList());
    }
};

QTEST_GUILESS_MAIN(TestPasteboard)
#include "tst_pasteboard.moc"
