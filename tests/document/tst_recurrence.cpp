// The next occurrence of a completed recurring item (the dates are written for TZ=Europe/Berlin).

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "TestSupport.h"

#include <QTest>

namespace {

// Completes an item the way its quadrant's done box does; the items added to its list.
QList<TODOItem *> complete(DocumentFixture &f, TODOItem *item)
{
    const QList<TODOItem *> before = item->list()->contains();
    f.document->markTODOItem(item, item->list(), f.document->controllerForQuadrant(item->quadrant()), 100);
    QList<TODOItem *> added = item->list()->contains();
    added.removeIf([&before](TODOItem *i) { return before.contains(i); });
    return added;
}

TODOItem *recurringItem(DocumentFixture &f, const QString &frequency, const QDateTime &due, int quadrant = 0)
{
    TODOItem *item = f.item(quadrant, QStringLiteral("Water the plants"));
    item->setFrequency(frequency);
    item->setDueDate(due);
    return item;
}

} // namespace

class TestRecurrence : public QObject
{
    Q_OBJECT

private slots:

    void nextDueDate_data()
    {
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QDateTime>("due");
        QTest::addColumn<QDateTime>("until");
        QTest::addColumn<QDateTime>("expected"); // none: no next item

        const QDateTime none;
        QTest::newRow("weekly") << "Weekly" << localTime(2025, 3, 10, 14, 35) << none << localTime(2025, 3, 17, 14, 35);
        QTest::newRow("biweekly") << "Biweekly" << localTime(2025, 3, 10, 14, 35) << none << localTime(2025, 3, 24, 14, 35);
        QTest::newRow("4-weekly over summer time") << "4-weekly" << localTime(2025, 3, 10, 14, 35) << none << localTime(2025, 4, 7, 14, 35);
        QTest::newRow("monthly 31 Jan leap year") << "Monthly" << localTime(2024, 1, 31, 10, 0) << none << localTime(2024, 2, 29, 10, 0);
        QTest::newRow("quarterly 30 Nov") << "Quarterly" << localTime(2025, 11, 30, 8, 0) << none << localTime(2026, 2, 28, 8, 0);
        QTest::newRow("semesterly 31 Aug") << "Semesterly" << localTime(2025, 8, 31, 8, 0) << none << localTime(2026, 2, 28, 8, 0);
        QTest::newRow("yearly 29 Feb") << "Yearly" << localTime(2024, 2, 29, 12, 0) << none << localTime(2025, 2, 28, 12, 0);
        QTest::newRow("until the next due date") << "Daily" << localTime(2025, 5, 1, 9) << localTime(2025, 5, 2, 9) << localTime(2025, 5, 2, 9);
        QTest::newRow("until a minute earlier") << "Daily" << localTime(2025, 5, 1, 9) << localTime(2025, 5, 2, 8, 59) << none;
        QTest::newRow("no due date") << "Daily" << none << none << none;
        QTest::newRow("unknown text") << "Fortnightly" << localTime(2025, 3, 10, 9) << none << none;
        QTest::newRow("other case") << "daily" << localTime(2025, 3, 10, 9) << none << none;
    }

    void nextDueDate()
    {
        QFETCH(QString, frequency);
        QFETCH(QDateTime, due);
        QFETCH(QDateTime, until);
        QFETCH(QDateTime, expected);

        DocumentFixture f;
        f.selectedList();
        TODOItem *item = recurringItem(f, frequency, due);
        item->setUntilDate(until);

        const QList<TODOItem *> added = complete(f, item);
        QCOMPARE(item->state(), int(RecordState::Completed));
        QCOMPARE(added.size(), expected.isValid() ? 1 : 0);
        if (added.isEmpty()) {
            QCOMPARE(item->childID(), 0);
            return;
        }
        QCOMPARE(added.first()->dueDate(), expected);
        QVERIFY(!added.first()->startDate().isValid());
    }

    // The next item: an open copy with fresh identifiers, linked, its dates one period on.
    void nextItemCopiesAndStartsOver()
    {
        DocumentFixture f;
        f.selectedList();
        Clock::setNow(localTime(2025, 3, 21, 16, 45));
        TODOItem *other = f.item(1, QStringLiteral("Other"));
        TODOItem *item = recurringItem(f, QStringLiteral("Weekly"), localTime(2025, 3, 20, 18, 0), 3);
        item->setStartDate(localTime(2025, 3, 17, 18, 0));
        item->setIndex(4200);
        item->setServerID(4711);
        item->setParentID(123);
        // The first draws hit identifiers the list already uses.
        const ScriptedDraws draws({quint32(item->id_()), quint32(other->id_()), 777u});

        const QList<TODOItem *> added = complete(f, item);
        QCOMPARE(added.size(), 1);
        TODOItem *next = added.first();
        QCOMPARE(next->index(), 4200);
        QCOMPARE(next->frequency(), QStringLiteral("Weekly"));
        QCOMPARE(next->state(), int(RecordState::Open));
        QCOMPARE(next->completionPercentage(), 0);
        QVERIFY(!next->completionDate().isValid());
        // Across the start of summer time: the same lead of three days, the same time.
        QCOMPARE(next->dueDate(), localTime(2025, 3, 27, 18, 0));
        QCOMPARE(next->startDate(), localTime(2025, 3, 24, 18, 0));

        QCOMPARE(next->id_(), 777);
        QCOMPARE(next->serverID(), 0);
        QCOMPARE(next->parentID(), item->id_());
        QCOMPARE(item->childID(), 777);
        // The completed item keeps its own values.
        QCOMPARE(item->completionDate(), Clock::now());
        QCOMPARE(item->dueDate(), localTime(2025, 3, 20, 18, 0));
        QCOMPARE(item->serverID(), 4711);
        QCOMPARE(item->parentID(), 123);
    }

    // Shown at once in the quadrant, under the user's filters; from the master list it only joins its list.
    void shownWhereTheCompletedItemWas()
    {
        DocumentFixture f;
        f.selectedList();
        TODOItem *item = recurringItem(f, QStringLiteral("Daily"), localTime(2025, 3, 10, 9), 2);
        f.document->filters().setSearchText(QStringLiteral("plants"));
        f.document->updateFilters();
        const QString userFilter = f.document->filters().predicateForQuadrant(2).toString();
        ArrayController *controller = f.document->controllerForQuadrant(2);

        TODOItem *next = complete(f, item).value(0);
        QVERIFY(next);
        QCOMPARE(controller->arrangedObjects().count(next), 1);
        QCOMPARE(controller->filterPredicate().toString(), userFilter);

        TODOList *other = f.document->addNewProjectWithName(QStringLiteral("Elsewhere"));
        TODOItem *rent = f.document->newItemForProject(other, 2);
        rent->setFrequency(QStringLiteral("Monthly"));
        rent->setDueDate(localTime(2025, 1, 31, 9));
        f.document->markTODOItem(rent, other, nullptr, 100);
        QList<TODOItem *> inOther = other->contains();
        inOther.removeAll(rent);
        QCOMPARE(inOther.size(), 1);
        QVERIFY(!controller->arrangedObjects().contains(inOther.first()));
    }
};

QTEST_GUILESS_MAIN(TestRecurrence)
#include "tst_recurrence.moc"
