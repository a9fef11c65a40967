#include "ArrayController.h"
#include "IndexAdjuster.h"
#include "ItemIdentifiers.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "SortDescriptor.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QSet>
#include <QTest>

#include <deque>
#include <limits>
#include <memory>

namespace {

// Collects the lines logged under the model's category while it lives.
class ModelLog
{
public:
    ModelLog()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&ModelLog::handler);
    }
    ~ModelLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    const QStringList &lines() const { return m_lines; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (s_current && context.category && qstrcmp(context.category, lcModel().categoryName()) == 0)
            s_current->m_lines.append(message);
        else if (s_current && s_current->m_previous)
            s_current->m_previous(type, context, message);
    }

    inline static ModelLog *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    QStringList m_lines;
};

const SortDescriptor byIndexDescending(QStringLiteral("index"), false);

// Rows of one entity, placed in the controller in exactly the given display
// order (as rows dropped by hand are), under a descending index sort.
struct Rows {
    ManagedObjectContext context{todoListModel()};
    ArrayController controller;
    TODOList *list = nullptr;
    QList<ManagedObject *> records;

    Rows(const QString &entity, const QList<int> &indices, const QList<SortDescriptor> &sort = {byIndexDescending})
    {
        list = context.insert<TODOList>(TODOList::EntityName);
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

    QList<int> indices() const
    {
        QList<int> result;
        for (const ManagedObject *record : records)
            result.append(record->intValue(QStringLiteral("index")));
        return result;
    }
    QList<int> arrangedIndices() const
    {
        QList<int> result;
        for (const ManagedObject *record : controller.arrangedObjects())
            result.append(record->intValue(QStringLiteral("index")));
        return result;
    }
};

// Every record whose index moved carries a pending "index" change, and no
// other record carries any change.
void checkChangesMatch(const Rows &rows, const QList<int> &before)
{
    for (int i = 0; i < rows.records.size(); ++i) {
        const QSet<QString> changed = rows.records[i]->changedKeysForCurrentEvent();
        if (rows.records[i]->intValue(QStringLiteral("index")) != before[i])
            QCOMPARE(changed, QSet<QString>{QStringLiteral("index")});
        else
            QVERIFY2(changed.isEmpty(), qPrintable(QString::number(i)));
    }
}

class ScriptedDraws
{
public:
    explicit ScriptedDraws(const QList<quint32> &draws)
        : m_draws(std::make_shared<std::deque<quint32>>(draws.cbegin(), draws.cend()))
    {
        auto queue = m_draws;
        ItemIdentifiers::setGeneratorForTesting([queue]() -> quint32 {
            // Past the script, fresh values keep a faulty caller from drawing forever.
            static quint32 beyond = 1000000;
            if (queue->empty())
                return beyond++;
            const quint32 next = queue->front();
            queue->pop_front();
            return next;
        });
    }
    ~ScriptedDraws() { ItemIdentifiers::setGeneratorForTesting({}); }
    int remaining() const { return int(m_draws->size()); }

private:
    std::shared_ptr<std::deque<quint32>> m_draws;
};

} // namespace

class TestOrdering : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void repair_data();
    void repairItems();
    void repairItems_data() { repair_data(); }
    void repairListsBySidebar();
    void repairListsBySidebar_data() { repair_data(); }
    void repairListsThroughItemOperation();
    void repairListsThroughItemOperation_data() { repair_data(); }

    void sortCheck_data();
    void sortCheck();
    void listsAreRepairedUnderAnySort();
    void oneRowOrNone_data();
    void oneRowOrNone();
    void nullController();

    void newItemIndex();

    void newUniqueIdForItemInList_data();
    void newUniqueIdForItemInList();
    void generateItemIdRemainder_data();
    void generateItemIdRemainder();
    void generateItemIdRange();
};

void TestOrdering::cleanup()
{
    ItemIdentifiers::setGeneratorForTesting({});
}

// --- Repair --------------------------------------------------------------------

void TestOrdering::repair_data()
{
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QList<int>>("after");

    QTest::newRow("equal pair") << QList<int>{0, 0} << QList<int>{1000, 0};
    QTest::newRow("equal top") << QList<int>{500, 500, 400} << QList<int>{1500, 500, 400};
    QTest::newRow("inverted pair") << QList<int>{100, 300} << QList<int>{1300, 300};
    QTest::newRow("all zero") << QList<int>{0, 0, 0} << QList<int>{1000, 0, -1000};
    QTest::newRow("ascending") << QList<int>{5, 6, 7} << QList<int>{1006, 6, -994};
    QTest::newRow("midpoint") << QList<int>{300, 100, 200, 0} << QList<int>{300, 100, 50, 0};
    QTest::newRow("midpoint truncated") << QList<int>{1000, 50, 60, 40} << QList<int>{1000, 50, 45, 40};
    QTest::newRow("neighbour too close") << QList<int>{3000, 1000, 2000, 1999} << QList<int>{3000, 1000, 0, -1000};
    QTest::newRow("following neighbour one below") << QList<int>{100, 50, 60, 49} << QList<int>{100, 50, -950, -1950};
    QTest::newRow("following neighbour two below") << QList<int>{100, 50, 60, 48} << QList<int>{100, 50, 49, 48};
    QTest::newRow("well ordered with gaps") << QList<int>{9000, 20, 10, -5000} << QList<int>{9000, 20, 10, -5000};
    QTest::newRow("negative midpoint truncates toward zero") << QList<int>{0, -1, 5, -4}
                                                             << QList<int>{0, -1, -2, -4};
    QTest::newRow("32-bit wrap at the top")
        << QList<int>{std::numeric_limits<int>::max(), std::numeric_limits<int>::max()}
        << QList<int>{std::numeric_limits<int>::min() + 999, std::numeric_limits<int>::max()};
    QTest::newRow("32-bit midpoint") << QList<int>{2147483647, 2147483000, 2147483600, 2147482000}
                                     << QList<int>{2147483647, 2147483000, -1148, -2148};
}

void TestOrdering::repairItems()
{
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);

    Rows rows(TODOItem::EntityName, before);
    QCOMPARE(rows.arrangedIndices(), before);

    ModelLog log;
    IndexAdjuster::adjustIndices(&rows.controller, rows.list);
    QCOMPARE(rows.indices(), after);
    checkChangesMatch(rows, before);
    QVERIFY(log.lines().isEmpty());
}

void TestOrdering::repairListsBySidebar()
{
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);

    Rows rows(TODOList::EntityName, before);
    QCOMPARE(rows.arrangedIndices(), before);

    ModelLog log;
    IndexAdjuster::adjustListIndices(&rows.controller);
    QCOMPARE(rows.indices(), after);
    checkChangesMatch(rows, before);
    QVERIFY(log.lines().isEmpty());
}

void TestOrdering::repairListsThroughItemOperation()
{
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, after);

    Rows rows(TODOList::EntityName, before);
    ModelLog log;
    IndexAdjuster::adjustIndices(&rows.controller, nullptr);
    QCOMPARE(rows.indices(), after);
    QCOMPARE(log.lines(), QStringList{QStringLiteral("reindexing lists")});
}

// Items are renumbered only in manual order: no sort, or first sorted by "index".
void TestOrdering::sortCheck_data()
{
    QTest::addColumn<QStringList>("sortKeys");
    QTest::addColumn<QList<int>>("after");

    const QList<int> untouched{30, 40, 39, 38};
    const QList<int> repaired{1040, 40, 39, 38};
    QTest::newRow("by name") << QStringList{QStringLiteral("name")} << untouched;
    QTest::newRow("by name, then index") << QStringList{QStringLiteral("name"), QStringLiteral("index")} << untouched;
    QTest::newRow("by due date") << QStringList{QStringLiteral("dueDate")} << untouched;
    QTest::newRow("no sort") << QStringList() << repaired;
    QTest::newRow("by index") << QStringList{QStringLiteral("index")} << repaired;
    QTest::newRow("by index, then name") << QStringList{QStringLiteral("index"), QStringLiteral("name")} << repaired;
}

void TestOrdering::sortCheck()
{
    QFETCH(QStringList, sortKeys);
    QFETCH(QList<int>, after);

    // Named a..d, so a name sort shows them in this order.
    const QList<int> before{30, 40, 39, 38};
    QList<SortDescriptor> sort;
    for (const QString &key : sortKeys)
        sort.append(SortDescriptor(key, key != QLatin1String("index")));
    Rows rows(TODOItem::EntityName, before, sort);
    if (!sortKeys.isEmpty() && sortKeys.constFirst() == QLatin1String("name")) {
        rows.controller.rearrangeObjects();
        QCOMPARE(rows.arrangedIndices(), before);
    }

    IndexAdjuster::adjustIndices(&rows.controller, rows.list);
    QCOMPARE(rows.indices(), after);
    checkChangesMatch(rows, before);
}

void TestOrdering::listsAreRepairedUnderAnySort()
{
    const QList<int> before{30, 40, 39, 38};
    const QList<int> after{1040, 40, 39, 38};
    const QList<SortDescriptor> byName{SortDescriptor(QStringLiteral("name"), true, SortDescriptor::Comparison::Localized)};

    {
        Rows rows(TODOList::EntityName, before, byName);
        rows.controller.rearrangeObjects();
        QCOMPARE(rows.arrangedIndices(), before);
        ModelLog log;
        IndexAdjuster::adjustListIndices(&rows.controller);
        QCOMPARE(rows.indices(), after);
        QVERIFY(log.lines().isEmpty());
    }
    {
        Rows rows(TODOList::EntityName, before, byName);
        rows.controller.rearrangeObjects();
        ModelLog log;
        IndexAdjuster::adjustIndices(&rows.controller, nullptr);
        QCOMPARE(rows.indices(), after);
        QCOMPARE(log.lines(), QStringList{QStringLiteral("reindexing lists")});
    }
}

void TestOrdering::oneRowOrNone_data()
{
    QTest::addColumn<QString>("entity");
    QTest::addColumn<QList<int>>("before");
    QTest::newRow("one item") << TODOItem::EntityName << QList<int>{0};
    QTest::newRow("no item") << TODOItem::EntityName << QList<int>{};
    QTest::newRow("one list") << TODOList::EntityName << QList<int>{-7};
    QTest::newRow("no list") << TODOList::EntityName << QList<int>{};
}

void TestOrdering::oneRowOrNone()
{
    QFETCH(QString, entity);
    QFETCH(QList<int>, before);

    Rows rows(entity, before);
    IndexAdjuster::adjustIndices(&rows.controller, rows.list);
    IndexAdjuster::adjustListIndices(&rows.controller);
    QCOMPARE(rows.indices(), before);
    checkChangesMatch(rows, before);
}

void TestOrdering::nullController()
{
    IndexAdjuster::adjustIndices(nullptr, nullptr);
    IndexAdjuster::adjustListIndices(nullptr);
    QCOMPARE(IndexAdjuster::newItemIndex(nullptr), 0);
}

// --- New items -------------------------------------------------------------------

void TestOrdering::newItemIndex()
{
    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    QCOMPARE(IndexAdjuster::newItemIndex(list), 0);
    QCOMPARE(list->lastItemIndex(), 1000);
    QCOMPARE(IndexAdjuster::newItemIndex(list), 1000);
    QCOMPARE(list->lastItemIndex(), 2000);

    list->setLastItemIndex(-500);
    QCOMPARE(IndexAdjuster::newItemIndex(list), -500);
    QCOMPARE(list->lastItemIndex(), 500);
}

// --- Identifiers -----------------------------------------------------------------

void TestOrdering::newUniqueIdForItemInList_data()
{
    // Item identifiers of the list, with -1 for an item without one; the
    // states of those items cycle through 0..3.
    QTest::addColumn<QList<int>>("used");
    QTest::addColumn<QList<int>>("usedElsewhere");
    QTest::addColumn<QList<quint32>>("draws");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("drawsTaken");

    QTest::newRow("free at once") << QList<int>{5, 7} << QList<int>{} << QList<quint32>{9} << 9 << 1;
    QTest::newRow("collides first") << QList<int>{5, 7} << QList<int>{} << QList<quint32>{5, 7, 5, 11} << 11 << 4;
    QTest::newRow("collides after the remainder") << QList<int>{5} << QList<int>{}
                                                  << QList<quint32>{2147483645u, 4294967295u, 6} << 15 << 2;
    QTest::newRow("every state counts") << QList<int>{1, 2, 3, 4} << QList<int>{}
                                        << QList<quint32>{4, 3, 2, 1, 8} << 8 << 5;
    QTest::newRow("missing id reserves nothing") << QList<int>{-1} << QList<int>{} << QList<quint32>{0} << 0 << 1;
    QTest::newRow("id zero is taken") << QList<int>{0} << QList<int>{} << QList<quint32>{0, 3} << 3 << 2;
    QTest::newRow("other lists do not count") << QList<int>{1} << QList<int>{9} << QList<quint32>{9} << 9 << 1;
    QTest::newRow("empty list") << QList<int>{} << QList<int>{} << QList<quint32>{2147483639u} << 2147483639 << 1;
}

void TestOrdering::newUniqueIdForItemInList()
{
    QFETCH(QList<int>, used);
    QFETCH(QList<int>, usedElsewhere);
    QFETCH(QList<quint32>, draws);
    QFETCH(int, expected);
    QFETCH(int, drawsTaken);

    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    auto *other = context.insert<TODOList>(TODOList::EntityName);
    for (int i = 0; i < used.size(); ++i) {
        auto *item = context.insert<TODOItem>(TODOItem::EntityName);
        item->setList(list);
        item->setState(i % 4);
        if (used[i] >= 0)
            item->setId_(used[i]);
    }
    for (int id : usedElsewhere) {
        auto *item = context.insert<TODOItem>(TODOItem::EntityName);
        item->setList(other);
        item->setId_(id);
    }

    ScriptedDraws scripted(draws);
    QCOMPARE(ItemIdentifiers::newUniqueIdForItemInList(list), expected);
    QCOMPARE(int(draws.size()) - scripted.remaining(), drawsTaken);
}

void TestOrdering::generateItemIdRemainder_data()
{
    QTest::addColumn<quint32>("draw");
    QTest::addColumn<int>("expected");
    QTest::newRow("0") << 0u << 0;
    QTest::newRow("largest") << 2147483639u << 2147483639;
    QTest::newRow("modulus") << 2147483640u << 0;
    QTest::newRow("int max") << 2147483647u << 7;
    QTest::newRow("above int max") << 2147483648u << 8;
    QTest::newRow("uint max") << 4294967295u << 15;
}

void TestOrdering::generateItemIdRemainder()
{
    QFETCH(quint32, draw);
    QFETCH(int, expected);
    ScriptedDraws scripted({draw});
    QCOMPARE(ItemIdentifiers::generateItemId(), expected);
    QCOMPARE(scripted.remaining(), 0);
}

void TestOrdering::generateItemIdRange()
{
    QSet<qint32> seen;
    for (int i = 0; i < 20000; ++i) {
        const qint32 id = ItemIdentifiers::generateItemId();
        QVERIFY(id >= 0);
        QVERIFY(id < 2147483640);
        seen.insert(id);
    }
    // Uniform over about 2^31 values: repeats among 20000 draws are rare.
    QVERIFY(seen.size() > 19900);
}

QTEST_GUILESS_MAIN(TestOrdering)
#include "tst_ordering.moc"
