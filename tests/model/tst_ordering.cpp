// Index repair and item identifiers.

#include "ArrayController.h"
#include "IndexAdjuster.h"
#include "ItemIdentifiers.h"
#include "ManagedObjectContext.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TestSupport.h"
#include "UndoManager.h"

#include <QTest>

#include <algorithm>
#include <limits>

namespace {

// Rows of one entity, placed in the controller in exactly the given display
// order (as rows dropped by hand are), named a, b, c... in that order.
struct Rows {
    ManagedObjectContext context{todoListModel()};
    ArrayController controller;
    TODOList *list = context.insert<TODOList>(TODOList::EntityName);
    QList<ManagedObject *> records;

    Rows(const QString &entity, const QList<int> &indices, const QList<SortDescriptor> &sort)
    {
        controller.setSortDescriptors(sort);
        for (int i = 0; i < indices.size(); ++i) {
            ManagedObject *record = context.insert(entity);
            record->setValue(QStringLiteral("index"), indices[i]);
            record->setValue(QStringLiteral("name"), QString(QLatin1Char(char('a' + i))));
            if (auto item = dynamic_cast<TODOItem *>(record))
                item->setList(list);
            records.append(record);
            controller.insertObject(record, i);
        }
        context.processPendingChanges();
    }

    // The repaired indices; only the records whose index moved carry a change (and are uploaded).
    void check(const QList<int> &before, const QList<int> &after) const
    {
        for (int i = 0; i < records.size(); ++i) {
            const int index = records[i]->intValue(QStringLiteral("index"));
            QCOMPARE(index, after[i]);
            QCOMPARE(records[i]->changedKeysForCurrentEvent(),
                     index != before[i] ? QSet<QString>{QStringLiteral("index")} : QSet<QString>{});
        }
    }
};

// What happens to the records between two draws, and what is replayed after.
enum class Change { Insert, DeleteA, DeleteB, MoveAOut, MoveDIn, ChangeAId, RemoveAId };
enum class Replay { None, Undo };

} // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(Replay)

class TestOrdering : public QObject
{
    Q_OBJECT

private slots:
    void repair_data()
    {
        QTest::addColumn<QList<int>>("before");
        QTest::addColumn<QList<int>>("after");
        QTest::addColumn<QString>("sortKey"); // "" for no sort; descending when "index"

        const int top = std::numeric_limits<int>::max();
        QTest::newRow("no row") << QList<int>{} << QList<int>{} << "index";
        QTest::newRow("all zero") << QList<int>{0, 0, 0} << QList<int>{1000, 0, -1000} << "index";
        QTest::newRow("ascending") << QList<int>{5, 6, 7} << QList<int>{1006, 6, -994} << "index";
        QTest::newRow("midpoint") << QList<int>{300, 100, 200, 0} << QList<int>{300, 100, 50, 0} << "index";
        QTest::newRow("neighbour too close") << QList<int>{3000, 1000, 2000, 1999} << QList<int>{3000, 1000, 0, -1000} << "index";
        QTest::newRow("following neighbour two below") << QList<int>{100, 50, 60, 48} << QList<int>{100, 50, 49, 48} << "index";
        QTest::newRow("well ordered with gaps") << QList<int>{9000, 20, 10, -5000} << QList<int>{9000, 20, 10, -5000} << "index";
        QTest::newRow("negative midpoint truncates toward zero") << QList<int>{0, -1, 5, -4} << QList<int>{0, -1, -2, -4} << "index";
        QTest::newRow("32-bit wrap at the top") << QList<int>{top, top} << QList<int>{std::numeric_limits<int>::min() + 999, top} << "index";
        QTest::newRow("32-bit midpoint") << QList<int>{top, 2147483000, 2147483600, 2147482000}
                                         << QList<int>{top, 2147483000, -1148, -2148} << "index";
        // Items are renumbered only in manual order: no sort, or sorted by index.
        QTest::newRow("no sort") << QList<int>{30, 40, 39, 38} << QList<int>{1040, 40, 39, 38} << "";
        QTest::newRow("by name") << QList<int>{30, 40, 39, 38} << QList<int>{30, 40, 39, 38} << "name";
    }

    void repair()
    {
        QFETCH(QList<int>, before);
        QFETCH(QList<int>, after);
        QFETCH(QString, sortKey);

        QList<SortDescriptor> sort;
        if (!sortKey.isEmpty())
            sort << SortDescriptor(sortKey, sortKey != QLatin1String("index"));
        Rows items(TODOItem::EntityName, before, sort);
        IndexAdjuster::adjustIndices(&items.controller, items.list);
        items.check(before, after);

        // Lists shown in index order (ties included) are repaired the same way.
        if (sortKey == QLatin1String("index") && std::is_sorted(before.crbegin(), before.crend())) {
            Rows lists(TODOList::EntityName, before, sort);
            IndexAdjuster::adjustListIndices(&lists.controller);
            lists.check(before, after);
        }
    }

    void newUniqueIdForItemInList_data()
    {
        // Item identifiers of the list, -1 for an item without one; the states of
        // those items cycle through 0..3. Another list holds the identifier 9.
        QTest::addColumn<QList<int>>("used");
        QTest::addColumn<QList<quint32>>("draws");
        QTest::addColumn<int>("expected");

        QTest::newRow("collides first") << QList<int>{5, 7} << QList<quint32>{5, 7, 5, 11} << 11;
        QTest::newRow("collides after the remainder") << QList<int>{5} << QList<quint32>{2147483645u, 4294967295u, 6} << 15;
        QTest::newRow("every state counts") << QList<int>{1, 2, 3, 4} << QList<quint32>{4, 3, 2, 1, 8} << 8;
        QTest::newRow("missing id reserves nothing") << QList<int>{-1} << QList<quint32>{0} << 0;
        QTest::newRow("id zero is taken") << QList<int>{0} << QList<quint32>{0, 3} << 3;
        QTest::newRow("other lists do not count") << QList<int>{1} << QList<quint32>{9} << 9;
    }

    void newUniqueIdForItemInList()
    {
        QFETCH(QList<int>, used);
        QFETCH(QList<quint32>, draws);

        ManagedObjectContext context(todoListModel());
        auto *list = context.insert<TODOList>(TODOList::EntityName);
        auto *elsewhere = context.insert<TODOItem>(TODOItem::EntityName);
        elsewhere->setList(context.insert<TODOList>(TODOList::EntityName));
        elsewhere->setId_(9);
        for (int i = 0; i < used.size(); ++i) {
            auto *item = context.insert<TODOItem>(TODOItem::EntityName);
            item->setList(list);
            item->setState(i % 4);
            if (used[i] >= 0)
                item->setId_(used[i]);
        }
        ScriptedDraws scripted(draws);
        QTEST(ItemIdentifiers::newUniqueIdForItemInList(list), "expected");
    }

    // The identifiers a list uses follow every change made after a first draw.
    void newUniqueIdAfterChanges_data()
    {
        // The list holds a (5), b and c (both 7); another list holds d (9).
        QTest::addColumn<Change>("change");
        QTest::addColumn<Replay>("replay");
        QTest::addColumn<QList<quint32>>("draws");
        QTest::addColumn<int>("expected");

        QTest::newRow("inserted") << Change::Insert << Replay::None << QList<quint32>{11, 12} << 12;
        QTest::newRow("deleted") << Change::DeleteA << Replay::None << QList<quint32>{5} << 5;
        QTest::newRow("delete undone") << Change::DeleteA << Replay::Undo << QList<quint32>{5, 6} << 6;
        QTest::newRow("one of two sharing an id deleted") << Change::DeleteB << Replay::None << QList<quint32>{7, 8} << 8;
        QTest::newRow("moved away") << Change::MoveAOut << Replay::None << QList<quint32>{5} << 5;
        QTest::newRow("moved in") << Change::MoveDIn << Replay::None << QList<quint32>{9, 10} << 10;
        QTest::newRow("id changed") << Change::ChangeAId << Replay::None << QList<quint32>{6, 5} << 5;
        QTest::newRow("id removed by name") << Change::RemoveAId << Replay::None << QList<quint32>{5} << 5;
    }

    void newUniqueIdAfterChanges()
    {
        QFETCH(Change, change);
        QFETCH(Replay, replay);

        ManagedObjectContext context(todoListModel());
        auto *list = context.insert<TODOList>(TODOList::EntityName);
        auto *other = context.insert<TODOList>(TODOList::EntityName);
        const auto newItem = [&](TODOList *in, int id) {
            auto *item = context.insert<TODOItem>(TODOItem::EntityName);
            item->setList(in);
            item->setId_(id);
            return item;
        };
        TODOItem *a = newItem(list, 5);
        TODOItem *b = newItem(list, 7);
        newItem(list, 7);
        TODOItem *d = newItem(other, 9);
        UndoManager *undo = context.undoManager();
        const auto endTurn = [&] {
            context.processPendingChanges();
            undo->closeAutomaticGroup();
        };
        endTurn();
        {
            ScriptedDraws first({5, 9});
            QCOMPARE(ItemIdentifiers::newUniqueIdForItemInList(list), 9);
        }

        switch (change) {
        case Change::Insert: newItem(list, 11); break;
        case Change::DeleteA: context.deleteObject(a); break;
        case Change::DeleteB: context.deleteObject(b); break;
        case Change::MoveAOut: a->setList(other); break;
        case Change::MoveDIn: d->setList(list); break;
        case Change::ChangeAId: a->setId_(6); break;
        case Change::RemoveAId: a->setValue(QStringLiteral("id_"), QVariant()); break;
        }
        endTurn();
        if (replay == Replay::Undo)
            undo->undo();

        QFETCH(QList<quint32>, draws);
        ScriptedDraws scripted(draws);
        QTEST(ItemIdentifiers::newUniqueIdForItemInList(list), "expected");
    }
};

QTEST_GUILESS_MAIN(TestOrdering)
#include "tst_ordering.moc"
