#include "ArrayController.h"
#include "DateUtils.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "Predicate.h"
#include "SortDescriptor.h"
#include "TestSupport.h"

#include <QLocale>
#include <QTest>

#include <memory>
#include <utility>

Q_DECLARE_METATYPE(SortDescriptor)

namespace {

QString labels(const QList<ManagedObject *> &objects)
{
    QStringList out;
    for (const ManagedObject *o : objects)
        out.append(o->stringValue(QStringLiteral("label")));
    return out.join(QLatin1Char(','));
}

// The local day of the due date, as the all-day date order has it.
SortDescriptor::RecordKey dueDayKey(const ManagedObject *object, DateUtils::LocalOffsets &offsets)
{
    return {offsets.orderKey(DateUtils::toMSecs(object->dateValue(QStringLiteral("dueDate"))), true), 0, 0};
}

} // namespace

class TestArrayController : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        m_context = std::make_unique<ManagedObjectContext>(testModel());
        m_items = {
            makeItem("r1", {{"quadrant", 0}, {"state", 2}, {"serial", Q_INT64_C(5000000000)}, {"name", "banana"}, {"dueDate", localTime(2024, 3, 5, 10, 0)}}),
            makeItem("r2", {{"quadrant", 1}, {"state", -1}, {"serial", 3}, {"name", "Apple"}}),
            makeItem("r3", {{"quadrant", 0}, {"name", "Émile"}, {"dueDate", localTime(2024, 3, 4, 9, 0)}}),
            makeItem("r4", {{"quadrant", 1}, {"state", 3}, {"serial", 40}, {"name", "cherry"}}),
            makeItem("r5", {{"quadrant", 0}, {"state", 2}, {"serial", 1}, {"name", "Zoe"}, {"dueDate", localTime(2024, 3, 5, 9, 59)}}),
            makeItem("r6", {{"quadrant", 2}, {"state", 0}, {"serial", 2}, {"name", "éclair"}, {"dueDate", localTime(2024, 3, 6, 0, 0)}}),
        };
    }

    void sort_data()
    {
        QTest::addColumn<QList<SortDescriptor>>("descriptors");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QLocale>("locale");

        using S = SortDescriptor;
        using C = SortDescriptor::Comparison;
        const QLocale english(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("int, absent reads 0") << QList<S>{S("state", true)} << "r2,r3,r6,r1,r5,r4" << english;
        QTest::newRow("numeric descending, ties stable") << QList<S>{S("state", false, C::Numeric)} << "r4,r1,r5,r3,r6,r2" << english;
        QTest::newRow("int64 beyond 32 bits") << QList<S>{S("serial", true)} << "r3,r5,r6,r2,r4,r1" << english;
        QTest::newRow("text by code points") << QList<S>{S("name", true)} << "r2,r5,r1,r4,r3,r6" << english;
        QTest::newRow("localized") << QList<S>{S("name", true, C::Localized)} << "r2,r1,r4,r6,r3,r5" << english;
        // In the C locale case is ignored; otherwise code points decide (accented letters last).
        QTest::newRow("localized in C") << QList<S>{S("name", true, C::Localized)} << "r2,r1,r4,r5,r6,r3" << QLocale::c();
        QTest::newRow("dates, undated first") << QList<S>{S("dueDate", true)} << "r2,r4,r3,r5,r1,r6" << english;
        QTest::newRow("later descriptors only break ties")
            << QList<S>{S("quadrant", true), S("state", false), S("name", false, C::Localized)} << "r5,r1,r3,r4,r2,r6" << english;
    }

    void sort()
    {
        QFETCH(QList<SortDescriptor>, descriptors);
        QFETCH(QLocale, locale);

        QLocale::setDefault(locale);
        QList<ManagedObject *> objects = m_items;
        SortDescriptor::sort(objects, descriptors);
        QTEST(labels(objects), "expected");
    }

    void sortsManyRecordsStably()
    {
        QList<ManagedObject *> objects;  // many records with equal keys keep their input order
        for (int i = 0; i < 1000; ++i)
            objects.append(makeItem(QString::number(i), {{"quadrant", (i * 7) % 4}}));
        SortDescriptor::sort(objects, {SortDescriptor("quadrant", true)});
        for (int i = 1; i < objects.size(); ++i)
            QVERIFY(std::pair(objects[i - 1]->intValue("quadrant"), objects[i - 1]->stringValue("label").toInt())
                    < std::pair(objects[i]->intValue("quadrant"), objects[i]->stringValue("label").toInt()));
    }

    void selection()
    {
        QList<ManagedObject *> source = m_items;
        ArrayController controller;
        controller.setContentSource([&source] { return source; });
        controller.setSortDescriptors({SortDescriptor("name", true, SortDescriptor::Comparison::Localized)});
        QVERIFY(controller.setSelectionIndexes({5, 2, 2, -1, 6, 0}));  // sorted, without duplicates or rows out of range
        QCOMPARE(controller.selectionIndexes(), (QList<int>{0, 2, 5}));
        // The selection follows its records when they move.
        m_items[0]->setValue("name", "zucchini");
        controller.rearrangeObjects();
        QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r2,r4,r6,r3,r5,r1"));
        QCOMPARE(controller.selectionIndexes(), (QList<int>{0, 1, 4}));
        // Records the filter hides leave the selection for good, and cannot be selected.
        controller.setFilterPredicate(Predicate::notEqual("quadrant", 1));
        controller.setFilterPredicate(Predicate());
        QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r5"));
        controller.setFilterPredicate(Predicate::equal("quadrant", 0));
        QVERIFY(controller.setSelectedObjects({m_items[1], m_items[2], m_items[4]}));
        QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r3,r5"));
        // Every rearrange reads the source again; a record gone from it leaves the selection.
        source.removeOne(m_items[4]);
        controller.rearrangeObjects();
        QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r3,r1"));
        QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r3"));
    }

    void editing()
    {
        ArrayController controller;
        controller.setContent(m_items);
        controller.setSortDescriptors({SortDescriptor("state", true)});
        QVERIFY(controller.setSelectionIndexes({0, 2}));
        // Inserting places the record where asked, clamped to the ends, without sorting; adding sorts it in.
        controller.insertObject(makeItem("new", {{"state", 100}}), 1);
        controller.insertObject(makeItem("last", {{"state", -5}}), 99);
        controller.insertObject(makeItem("first", {{"state", 50}}), -3);
        QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("first,r2,new,r3,r6,r1,r5,r4,last"));
        controller.addObject(makeItem("added", {{"state", 1}}));
        QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("last,r2,r3,r6,added,r1,r5,r4,first,new"));
        QCOMPARE(labels(controller.selectedObjects()), QStringLiteral("r2,r6"));
        // Removing takes records out of the content only; duplicate and out-of-range rows are ignored.
        controller.removeObjectsAtArrangedIndexes({3, 0, 3, 99, -1});
        controller.removeObject(m_items[1]);
        controller.setFilterPredicate(Predicate::compare("state", Predicate::Op::Less, 10));
        QCOMPARE(labels(controller.arrangedObjects()), QStringLiteral("r3,added,r1,r5,r4"));
        QCOMPARE(m_context->objects("Note").size(), 10);
    }

    void rearrangesAfterStoreChanges_data()
    {
        QTest::addColumn<bool>("fromSource");
        QTest::addColumn<QString>("expected");
        QTest::newRow("record of the content trashed") << false << "r2,r3";
        QTest::newRow("new record in a source") << true << "r2,r3,r4,r6,new";
    }

    // Opted in, the arrangement follows the store's change events by itself.
    void rearrangesAfterStoreChanges()
    {
        QFETCH(bool, fromSource);
        m_context->processPendingChanges();
        ArrayController controller;
        if (fromSource)
            controller.setContentSource([this] { return m_items; });
        else
            controller.setContent({m_items[1], m_items[2], m_items[5]});
        controller.setFilterPredicate(Predicate::notEqual(QStringLiteral("state"), 2));
        controller.setAutomaticallyRearrangesObjects(m_context.get(), QStringLiteral("Note"));
        if (fromSource)
            m_items << makeItem(QStringLiteral("new"), {});
        else
            m_items[5]->setValue(QStringLiteral("state"), 2);
        m_context->processPendingChanges();
        QTEST(labels(controller.arrangedObjects()), "expected");
    }

    void refiltersWhateverChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nothing") << "" << "r6,r3,r2";
        QTest::newRow("a value, not announced yet") << "value" << "r3,r2";
        QTest::newRow("a record replaced in the source") << "replace" << "r4,r3,r2";
        QTest::newRow("a record added to the source") << "add" << "r6,r3,r2,new";
    }

    // A new order alone reuses the last filtering; any change to the records
    // or the content since then filters again, announced or not.
    void refiltersWhateverChanged()
    {
        QFETCH(QString, change);
        QList<ManagedObject *> source{m_items[1], m_items[2], m_items[5]};
        ArrayController controller;
        controller.setAutomaticallyRearrangesObjects(m_context.get(), QStringLiteral("Note"));
        controller.setContentSource([&source] { return source; });
        controller.setFilterPredicate(Predicate::notEqual(QStringLiteral("state"), 2));
        if (change == QLatin1String("value"))
            m_items[5]->setValue(QStringLiteral("state"), 2);
        else if (change == QLatin1String("replace"))
            source[2] = m_items[3];
        else if (change == QLatin1String("add"))
            source.append(makeItem(QStringLiteral("new"), {}));
        controller.setSortDescriptors({SortDescriptor(QStringLiteral("label"), false)});
        QTEST(labels(controller.arrangedObjects()), "expected");
    }

    // Records keep the key a keyed sort derived until a value or the zone changes.
    void keyedSortFollowsChanges()
    {
        const QByteArray zone = qgetenv("TZ");
        qputenv("TZ", "UTC");
        ManagedObject *a = makeItem(QStringLiteral("a"), {{"dueDate", QDateTime(QDate(2026, 3, 10), QTime(0, 30), Qt::UTC)}});
        ManagedObject *b = makeItem(QStringLiteral("b"), {{"dueDate", QDateTime(QDate(2026, 3, 9), QTime(23, 45), Qt::UTC)}});
        const QList<SortDescriptor> byDay{SortDescriptor(true, dueDayKey)};
        QList<ManagedObject *> objects{a, b};
        SortDescriptor::sort(objects, byDay);
        QCOMPARE(labels(objects), QStringLiteral("b,a"));
        // In Berlin both are due on the 10th: a tie keeps the given order.
        qputenv("TZ", "Europe/Berlin");
        objects = {a, b};
        SortDescriptor::sort(objects, byDay);
        QCOMPARE(labels(objects), QStringLiteral("a,b"));
        b->setValue(QStringLiteral("dueDate"), QDateTime(QDate(2026, 3, 11), QTime(12, 0), Qt::UTC));
        objects = {b, a};
        SortDescriptor::sort(objects, byDay);
        QCOMPARE(labels(objects), QStringLiteral("a,b"));
        a->setValue(QStringLiteral("dueDate"), QVariant());
        objects = {b, a};
        SortDescriptor::sort(objects, byDay);
        QCOMPARE(labels(objects), QStringLiteral("b,a"));
        qputenv("TZ", zone);
    }

private:
    ManagedObject *makeItem(const QString &label, const QVariantMap &values)
    {
        ManagedObject *o = m_context->insert(QStringLiteral("Note"));
        o->setValue(QStringLiteral("label"), label);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            o->setValue(it.key(), it.value());
        return o;
    }

    std::unique_ptr<ManagedObjectContext> m_context;
    QList<ManagedObject *> m_items;
};

QTEST_GUILESS_MAIN(TestArrayController)
#include "tst_arraycontroller.moc"
