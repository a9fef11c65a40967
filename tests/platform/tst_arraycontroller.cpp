#include "ArrayController.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "ObjectModel.h"
#include "Predicate.h"
#include "SortDescriptor.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include <time.h>

Q_DECLARE_METATYPE(SortDescriptor)

namespace {

const ObjectModel &testModel()
{
    static const ObjectModel model(QStringLiteral("ArrangementTest"), 1, {
        EntityDescription(QStringLiteral("List"),
                          {{QStringLiteral("title"), AttributeType::Text}},
                          {{QStringLiteral("items"), QStringLiteral("Item"), QStringLiteral("list"), true}}),
        EntityDescription(QStringLiteral("Item"),
                          {{QStringLiteral("label"), AttributeType::Text},
                           {QStringLiteral("quadrant"), AttributeType::Int32},
                           {QStringLiteral("state"), AttributeType::Int32},
                           {QStringLiteral("serial"), AttributeType::Int64},
                           {QStringLiteral("weight"), AttributeType::Double},
                           {QStringLiteral("done"), AttributeType::Bool},
                           {QStringLiteral("name"), AttributeType::Text},
                           {QStringLiteral("dueDate"), AttributeType::Date}},
                          {{QStringLiteral("list"), QStringLiteral("List"), QStringLiteral("items"), false}}),
    });
    return model;
}

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::LocalTime);
}

QString labels(const QList<ManagedObject *> &objects)
{
    QStringList out;
    for (const ManagedObject *o : objects)
        out.append(o->stringValue(QStringLiteral("label")));
    return out.join(QLatin1Char(','));
}

int nameLength(const ManagedObject *a, const ManagedObject *b)
{
    return int(a->stringValue(QStringLiteral("name")).size() - b->stringValue(QStringLiteral("name")).size());
}

} // namespace

class TestArrayController : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    // Sort descriptors
    void sort_data();
    void sort();
    void compareAppliesDirection_data();
    void compareAppliesDirection();
    void localizedFollowsTheDefaultLocale();
    void localizedInTheCLocaleIgnoresCase();
    void sortsManyRecordsStably();

    // Array controller
    void filtersAndSorts();
    void settingArrangementRearranges();
    void selectionFollowsRecordsAcrossRearrange();
    void unchangedSelectionIsQuiet();
    void filteredOutRecordsLeaveTheSelection();
    void insertPlacesWithoutSorting();
    void insertClampsToTheEnds_data();
    void insertClampsToTheEnds();
    void addObjectSortsIn();
    void removesFromContent();
    void removeObjectOutsideTheArrangement();
    void contentSource();
    void setSelectionIndexes_data();
    void setSelectionIndexes();
    void setSelectedObjects();

private:
    ManagedObject *item(const QString &label) const;
    ManagedObject *makeItem(const QString &label, const QVariantMap &values);

    QLocale m_savedLocale;
    std::unique_ptr<ManagedObjectContext> m_context;
    QList<ManagedObject *> m_items;
};

void TestArrayController::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    m_savedLocale = QLocale();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestArrayController::cleanupTestCase()
{
    QLocale::setDefault(m_savedLocale);
}

ManagedObject *TestArrayController::makeItem(const QString &label, const QVariantMap &values)
{
    ManagedObject *o = m_context->insert(QStringLiteral("Item"));
    o->setValue(QStringLiteral("label"), label);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        o->setValue(it.key(), it.value());
    return o;
}

void TestArrayController::init()
{
    m_context = std::make_unique<ManagedObjectContext>(testModel());
    m_items = {
        makeItem("r1", {{"quadrant", 0}, {"state", 2}, {"serial", Q_INT64_C(5000000000)}, {"weight", 1.5},
                        {"name", "banana"}, {"dueDate", local(2024, 3, 5, 10, 0)}}),
        makeItem("r2", {{"quadrant", 1}, {"state", -1}, {"serial", 3}, {"weight", -2.0}, {"name", "Apple"}}),
        makeItem("r3", {{"quadrant", 0}, {"weight", 10.0}, {"name", "Émile"}, {"dueDate", local(2024, 3, 4, 9, 0)}}),
        makeItem("r4", {{"quadrant", 1}, {"state", 3}, {"serial", 40}, {"name", "cherry"}}),
        makeItem("r5", {{"quadrant", 0}, {"state", 2}, {"serial", 1}, {"weight", 1.5}, {"name", "Zoe"},
                        {"dueDate", local(2024, 3, 5, 9, 59)}}),
        makeItem("r6", {{"quadrant", 2}, {"state", 0}, {"serial", 2}, {"weight", 0.25}, {"name", "éclair"},
                        {"dueDate", local(2024, 3, 6)}}),
    };
}

void TestArrayController::cleanup()
{
    m_items.clear();
    m_context.reset();
}

ManagedObject *TestArrayController::item(const QString &label) const
{
    for (ManagedObject *o : m_items) {
        if (o->stringValue(QStringLiteral("label")) == label)
            return o;
    }
    return nullptr;
}

// --- Sort descriptors ---------------------------------------------------------

void TestArrayController::sort_data()
{
    QTest::addColumn<QList<SortDescriptor>>("descriptors");
    QTest::addColumn<QString>("expected");

    using S = SortDescriptor;
    using C = SortDescriptor::Comparison;
    QTest::newRow("none keeps the order") << QList<S>{} << "r1,r2,r3,r4,r5,r6";
    QTest::newRow("int ascending, absent reads 0") << QList<S>{S("state", true)} << "r2,r3,r6,r1,r5,r4";
    QTest::newRow("numeric descending, ties stable")
        << QList<S>{S("state", false, C::Numeric)} << "r4,r1,r5,r3,r6,r2";
    QTest::newRow("int64 beyond 32 bits") << QList<S>{S("serial", true)} << "r3,r5,r6,r2,r4,r1";
    QTest::newRow("double") << QList<S>{S("weight", true)} << "r2,r4,r6,r1,r5,r3";
    QTest::newRow("localized name") << QList<S>{S("name", true, C::Localized)} << "r2,r1,r4,r6,r3,r5";
    QTest::newRow("localized name descending") << QList<S>{S("name", false, C::Localized)} << "r5,r3,r6,r4,r1,r2";
    QTest::newRow("text by code points") << QList<S>{S("name", true, C::Text)} << "r2,r5,r1,r4,r3,r6";
    QTest::newRow("default text by code points") << QList<S>{S("name", true)} << "r2,r5,r1,r4,r3,r6";
    QTest::newRow("dates, undated first") << QList<S>{S("dueDate", true)} << "r2,r4,r3,r5,r1,r6";
    QTest::newRow("dates descending, undated last")
        << QList<S>{S("dueDate", false, C::Date)} << "r6,r1,r5,r3,r2,r4";
    QTest::newRow("custom without key") << QList<S>{S(QString(), true, S::Comparator(nameLength))} << "r5,r2,r3,r1,r4,r6";
    QTest::newRow("custom descending")
        << QList<S>{S(QString(), false, S::Comparator(nameLength))} << "r1,r4,r6,r2,r3,r5";
    QTest::newRow("stable on ties") << QList<S>{S("quadrant", true)} << "r1,r3,r5,r2,r4,r6";
    QTest::newRow("several descriptors")
        << QList<S>{S("quadrant", true), S("state", false), S("name", false, C::Localized)} << "r5,r1,r3,r4,r2,r6";
    QTest::newRow("later descriptors only break ties")
        << QList<S>{S("weight", true), S("dueDate", true)} << "r2,r4,r6,r5,r1,r3";
}

void TestArrayController::sort()
{
    QFETCH(QList<SortDescriptor>, descriptors);
    QFETCH(QString, expected);

    QList<ManagedObject *> objects = m_items;
    SortDescriptor::sort(objects, descriptors);
    QCOMPARE(labels(objects), expected);

    // The pairwise comparison agrees with the sort.
    for (int i = 1; i < objects.size(); ++i) {
        int result = 0;
        for (const SortDescriptor &d : std::as_const(descriptors)) {
            result = d.compare(objects[i - 1], objects[i]);
            if (result != 0)
                break;
        }
        QVERIFY2(result <= 0, qPrintable(QStringLiteral("at %1").arg(i)));
    }
}

void TestArrayController::compareAppliesDirection_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("comparison");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("ascendingSign");

    QTest::newRow("numbers") << "state" << int(SortDescriptor::Comparison::Default) << "r1" << "r2" << 1;
    QTest::newRow("equal numbers") << "state" << int(SortDescriptor::Comparison::Default) << "r1" << "r5" << 0;
    QTest::newRow("absent reads 0") << "state" << int(SortDescriptor::Comparison::Numeric) << "r3" << "r2" << 1;
    QTest::newRow("undated before dated") << "dueDate" << int(SortDescriptor::Comparison::Date) << "r2" << "r1" << -1;
    QTest::newRow("two undated") << "dueDate" << int(SortDescriptor::Comparison::Date) << "r2" << "r4" << 0;
    QTest::newRow("localized ignores case") << "name" << int(SortDescriptor::Comparison::Localized) << "r2" << "r1" << -1;
    QTest::newRow("code points put capitals first") << "name" << int(SortDescriptor::Comparison::Text) << "r5" << "r1" << -1;
}

void TestArrayController::compareAppliesDirection()
{
    QFETCH(QString, key);
    QFETCH(int, comparison);
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, ascendingSign);

    const auto kind = SortDescriptor::Comparison(comparison);
    const SortDescriptor up(key, true, kind);
    const SortDescriptor down(key, false, kind);
    auto sign = [](int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); };
    QCOMPARE(sign(up.compare(item(first), item(second))), ascendingSign);
    QCOMPARE(sign(up.compare(item(second), item(first))), -ascendingSign);
    QCOMPARE(sign(down.compare(item(first), item(second))), -ascendingSign);
}

void TestArrayController::localizedFollowsTheDefaultLocale()
{
    ManagedObject *beer = makeItem("beer", {{"name", "Öl"}});
    ManagedObject *fox = makeItem("fox", {{"name", "Zorro"}});
    const QList<SortDescriptor> byName{SortDescriptor("name", true, SortDescriptor::Comparison::Localized)};

    QList<ManagedObject *> objects{fox, beer};
    SortDescriptor::sort(objects, byName);
    QCOMPARE(labels(objects), QStringLiteral("beer,fox"));

    // In Swedish, Ö is a letter of its own after Z.
    QLocale::setDefault(QLocale(QLocale::Swedish, QLocale::Sweden));
    objects = {beer, fox};
    SortDescriptor::sort(objects, byName);
    const int swedish = byName.first().compare(beer, fox);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(labels(objects), QStringLiteral("fox,beer"));
    QVERIFY(swedish > 0);
    QVERIFY(byName.first().compare(beer, fox) < 0);
}

void TestArrayController::localizedInTheCLocaleIgnoresCase()
{
    QLocale::setDefault(QLocale::c());
    QList<ManagedObject *> objects = m_items;
    const SortDescriptor byName("name", true, SortDescriptor::Comparison::Localized);
    SortDescriptor::sort(objects, {byName});
    const int appleBanana = byName.compare(item("r2"), item("r1"));
    const int zoeBanana = byName.compare(item("r5"), item("r1"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    // Case is ignored; otherwise code points decide (accented letters last).
    QCOMPARE(labels(objects), QStringLiteral("r2,r1,r4,r5,r6,r3"));
    QVERIFY(appleBanana < 0);
    QVERIFY(zoeBanana > 0);
}

void TestArrayController::sortsManyRecordsStably()
{
    // Many records with few distinct keys: equal keys keep their input order.
    QList<ManagedObject *> objects;
    for (int i = 0; i < 2000; ++i)
        objects.append(makeItem(QString::number(i), {{"quadrant", (i * 7) % 4}, {"name", i % 3 ? "b" : "A"}}));
    SortDescriptor::sort(objects, {SortDescriptor("quadrant", true),
                                   SortDescriptor("name", true, SortDescriptor::Comparison::Localized)});
    QCOMPARE(objects.size(), 2000);
    for (int i = 1; i < objects.size(); ++i) {
        const ManagedObject *a = objects[i - 1];
        const ManagedObject *b = objects[i];
        const int qa = a->intValue("quadrant");
        const int qb = b->intValue("quadrant");
        QVERIFY(qa <= qb);
        if (qa == qb) {
            const QString na = a->stringValue("name");
            const QString nb = b->stringValue("name");
            QVERIFY(!(na == "b" && nb == "A"));
            if (na == nb)
                QVERIFY(a->stringValue("label").toInt() < b->stringValue("label").toInt());
        }
    }
}

// --- Array controller -----------------------------------------------------------

void TestArrayController::filtersAndSorts()
{
    ArrayController controller;
    QSignalSpy arranged(&controller, &ArrayController::arrangedObjectsChanged);
    controller.setContent(m_items);
    controller.setFilterPredicate(Predicate::equal("quadrant", 0));
    controller.setSortDescriptors({SortDescriptor("state", true), SortDescriptor("name", false, SortDescriptor::Comparison::Localized)});
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r3,r5,r1"));
    QCOMPARE(controller.content(), m_items);
    QVERIFY(arranged.count() >= 1);

    arranged.clear();
    controller.rearrangeObjects();
    QCOMPARE(arranged.count(), 1);
    QCOMPARE(controller.indexOfArrangedObject(item("r5")), 1);
    QCOMPARE(controller.indexOfArrangedObject(item("r2")), -1);
}

void TestArrayController::settingArrangementRearranges()
{
    ArrayController controller;
    controller.setContent(m_items);
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r1,r2,r3,r4,r5,r6"));
    controller.setSortDescriptors({SortDescriptor("serial", false)});
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r1,r4,r2,r6,r5,r3"));
    controller.setFilterPredicate(Predicate::compare("serial", Predicate::Op::Less, 10));
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r6,r5,r3"));
    controller.setFilterPredicate(Predicate());
    QCOMPARE(controller.arrangedObjects().size(), 6);
}

void TestArrayController::selectionFollowsRecordsAcrossRearrange()
{
    ArrayController controller;
    controller.setContent(m_items);
    controller.setSortDescriptors({SortDescriptor("name", true, SortDescriptor::Comparison::Localized)});
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r1,r4,r6,r3,r5"));
    QVERIFY(controller.setSelectedObjects({item("r4"), item("r1")}));
    QCOMPARE(controller.selectionIndexes(), (QList<int>{1, 2}));

    QSignalSpy selection(&controller, &ArrayController::selectionChanged);
    item("r1")->setValue("name", "zucchini");
    controller.rearrangeObjects();
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r4,r6,r3,r5,r1"));
    QCOMPARE(controller.selectionIndexes(), (QList<int>{1, 5}));
    QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r4,r1"));
    QCOMPARE(selection.count(), 1);
}

void TestArrayController::unchangedSelectionIsQuiet()
{
    ArrayController controller;
    controller.setContent(m_items);
    controller.setSortDescriptors({SortDescriptor("state", true)});
    QVERIFY(controller.setSelectionIndexes({0, 3}));
    QSignalSpy selection(&controller, &ArrayController::selectionChanged);
    QSignalSpy arranged(&controller, &ArrayController::arrangedObjectsChanged);
    // A change that moves unselected records only.
    item("r3")->setValue("state", 1);
    controller.rearrangeObjects();
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r6,r3,r1,r5,r4"));
    QCOMPARE(controller.selectionIndexes(), (QList<int>{0, 3}));
    QCOMPARE(selection.count(), 0);
    QCOMPARE(arranged.count(), 1);
}

void TestArrayController::filteredOutRecordsLeaveTheSelection()
{
    ArrayController controller;
    controller.setContent(m_items);
    QVERIFY(controller.setSelectedObjects({item("r2"), item("r3"), item("r6")}));
    QSignalSpy selection(&controller, &ArrayController::selectionChanged);
    controller.setFilterPredicate(Predicate::notEqual("quadrant", 0));
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r4,r6"));
    QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r2,r6"));
    QCOMPARE(controller.selectionIndexes(), (QList<int>{0, 2}));
    QCOMPARE(selection.count(), 1);

    // Coming back does not reselect it.
    controller.setFilterPredicate(Predicate());
    QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r2,r6"));
    QCOMPARE(controller.selectionIndexes(), (QList<int>{1, 5}));
}

void TestArrayController::insertPlacesWithoutSorting()
{
    ArrayController controller;
    controller.setContent(m_items);
    controller.setSortDescriptors({SortDescriptor("state", true)});
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r3,r6,r1,r5,r4"));
    QVERIFY(controller.setSelectionIndexes({0, 2}));

    QSignalSpy arranged(&controller, &ArrayController::arrangedObjectsChanged);
    QSignalSpy selection(&controller, &ArrayController::selectionChanged);
    ManagedObject *fresh = makeItem("new", {{"state", 100}});
    controller.insertObject(fresh, 1);
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,new,r3,r6,r1,r5,r4"));
    QVERIFY(controller.content().contains(fresh));
    QCOMPARE(arranged.count(), 1);
    // The selected records keep their selection at their new rows.
    QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r2,r6"));
    QCOMPARE(controller.selectionIndexes(), (QList<int>{0, 3}));
    QCOMPARE(selection.count(), 1);

    controller.rearrangeObjects();
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r3,r6,r1,r5,r4,new"));
    QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r2,r6"));
}

void TestArrayController::insertClampsToTheEnds_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("expected");
    QTest::newRow("before the start") << -3 << "new,r1,r2,r3";
    QTest::newRow("start") << 0 << "new,r1,r2,r3";
    QTest::newRow("last") << 3 << "r1,r2,r3,new";
    QTest::newRow("past the end") << 99 << "r1,r2,r3,new";
}

void TestArrayController::insertClampsToTheEnds()
{
    QFETCH(int, index);
    QFETCH(QString, expected);
    ArrayController controller;
    controller.setContent(m_items.mid(0, 3));
    controller.insertObject(makeItem("new", {}), index);
    QCOMPARE(labels(controller.arrangedObjects()), expected);
}

void TestArrayController::addObjectSortsIn()
{
    ArrayController controller;
    controller.setSortDescriptors({SortDescriptor("state", true)});
    controller.setContent(m_items);
    QSignalSpy arranged(&controller, &ArrayController::arrangedObjectsChanged);
    controller.addObject(makeItem("new", {{"state", 1}}));
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r3,r6,new,r1,r5,r4"));
    QCOMPARE(controller.content().size(), 7);
    QCOMPARE(arranged.count(), 1);
}

void TestArrayController::removesFromContent()
{
    ArrayController controller;
    controller.setContent(m_items);
    QVERIFY(controller.setSelectionIndexes({1, 3, 4}));
    QSignalSpy arranged(&controller, &ArrayController::arrangedObjectsChanged);
    QSignalSpy selection(&controller, &ArrayController::selectionChanged);

    // Duplicate and out-of-range indexes are ignored.
    controller.removeObjectsAtArrangedIndexes({3, 0, 3, 99, -1});
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r3,r5,r6"));
    QCOMPARE(labels(controller.content()), QStringLiteral("r2,r3,r5,r6"));
    QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r2,r5"));
    QCOMPARE(controller.selectionIndexes(), (QList<int>{0, 2}));
    QCOMPARE(arranged.count(), 1);
    QCOMPARE(selection.count(), 1);

    // Gone for good: a rearrange does not bring them back.
    controller.rearrangeObjects();
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r3,r5,r6"));

    // Nothing valid to remove: nothing happens.
    arranged.clear();
    controller.removeObjectsAtArrangedIndexes({7});
    QCOMPARE(arranged.count(), 0);
    QCOMPARE(controller.arrangedObjects().size(), 4);
    // The records themselves stay in the store.
    QVERIFY(!m_items.first()->isDeleted());
    QCOMPARE(m_context->objects("Item").size(), 6);
}

void TestArrayController::removeObjectOutsideTheArrangement()
{
    ArrayController controller;
    controller.setContent(m_items);
    controller.setFilterPredicate(Predicate::equal("quadrant", 0));
    controller.removeObject(item("r2")); // filtered out
    controller.removeObject(item("r5")); // arranged
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r1,r3"));
    controller.setFilterPredicate(Predicate());
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r1,r3,r4,r6"));
}

void TestArrayController::contentSource()
{
    QList<ManagedObject *> source{item("r1"), item("r2"), item("r3")};
    ArrayController controller;
    controller.setSortDescriptors({SortDescriptor("state", false)});
    controller.setContentSource([&source] { return source; });
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r1,r3,r2"));

    // Every rearrange reads the source again.
    source.append(item("r4"));
    source.removeOne(item("r2"));
    controller.rearrangeObjects();
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r4,r1,r3"));
    QCOMPARE(controller.content(), source);

    // Removal affects only the arrangement until the next rearrange.
    QVERIFY(controller.setSelectionIndexes({2}));
    controller.removeObjectsAtArrangedIndexes({0});
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r1,r3"));
    QCOMPARE(controller.selectionIndexes(), QList<int>{1});
    QCOMPARE(source.size(), 3);
    controller.rearrangeObjects();
    QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r4,r1,r3"));
    QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r3"));
}

void TestArrayController::setSelectionIndexes_data()
{
    QTest::addColumn<QList<int>>("before");
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<bool>("changed");

    QTest::newRow("sorted, duplicates and out of range dropped")
        << QList<int>{} << QList<int>{5, 1, 1, -1, 6, 3} << QList<int>{1, 3, 5} << true;
    QTest::newRow("same set in another order") << QList<int>{1, 3} << QList<int>{3, 1} << QList<int>{1, 3} << false;
    QTest::newRow("only invalid from empty") << QList<int>{} << QList<int>{6, 7, -2} << QList<int>{} << false;
    QTest::newRow("only invalid clears") << QList<int>{2} << QList<int>{6} << QList<int>{} << true;
    QTest::newRow("clear") << QList<int>{0, 5} << QList<int>{} << QList<int>{} << true;
    QTest::newRow("replace") << QList<int>{0} << QList<int>{4} << QList<int>{4} << true;
}

void TestArrayController::setSelectionIndexes()
{
    QFETCH(QList<int>, before);
    QFETCH(QList<int>, indexes);
    QFETCH(QList<int>, expected);
    QFETCH(bool, changed);

    ArrayController controller;
    controller.setContent(m_items);
    controller.setSelectionIndexes(before);
    QCOMPARE(controller.selectionIndexes(), before);
    QSignalSpy selection(&controller, &ArrayController::selectionChanged);
    QCOMPARE(controller.setSelectionIndexes(indexes), changed);
    QCOMPARE(controller.selectionIndexes(), expected);
    QCOMPARE(selection.count(), changed ? 1 : 0);
    QCOMPARE(controller.selectedObjects().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(controller.selectedObjects()[i], controller.arrangedObjects()[expected[i]]);
}

void TestArrayController::setSelectedObjects()
{
    ArrayController controller;
    controller.setContent(m_items);
    controller.setFilterPredicate(Predicate::equal("quadrant", 0));
    // Records not arranged are not selectable.
    QVERIFY(controller.setSelectedObjects({item("r5"), item("r2"), item("r1")}));
    QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r1,r5"));
    QVERIFY(!controller.setSelectedObjects({item("r1"), item("r5")}));
    QSignalSpy selection(&controller, &ArrayController::selectionChanged);
    controller.clearSelection();
    QVERIFY(controller.selectionIndexes().isEmpty());
    QCOMPARE(selection.count(), 1);
}

QTEST_GUILESS_MAIN(TestArrayController)
#include "tst_arraycontroller.moc"
