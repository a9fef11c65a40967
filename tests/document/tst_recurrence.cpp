#include "ArrayController.h"
#include "DocumentFakes.h"
#include "ItemIdentifiers.h"
#include "Recurrence.h"

#include <QRandomGenerator>
#include <QTest>

#include <time.h>

namespace {

QDateTime local(int y, int m, int d, int h = 9, int min = 0)
{
    return QDateTime(QDate(y, m, d), QTime(h, min), Qt::LocalTime);
}

// Items of the list that were not there before.
QList<TODOItem *> addedItems(const TODOList *list, const QList<TODOItem *> &before)
{
    QList<TODOItem *> added;
    for (TODOItem *item : list->contains()) {
        if (!before.contains(item))
            added.append(item);
    }
    return added;
}

// A recurring item in a quadrant of the fixture's selected list.
TODOItem *recurringItem(DocumentFixture &f, int quadrant, const QString &frequency, const QDateTime &due)
{
    TODOItem *item = f.item(quadrant, QStringLiteral("Water the plants"));
    item->setFrequency(frequency);
    item->setDueDate(due);
    return item;
}

// Completes the item the way the quadrant's done box does.
void complete(DocumentFixture &f, TODOItem *item)
{
    f.document->markTODOItem(item, item->list(), f.document->controllerForQuadrant(item->quadrant()), 100);
}

} // namespace

class TestRecurrence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void frequencies_data();
    void frequencies();
    void dailyAcrossClockChange_data();
    void dailyAcrossClockChange();
    void noOccurrence_data();
    void noOccurrence();
    void untilDate_data();
    void untilDate();
    void dailyChainEndsAtUntilDate();
    void completingAgainCreatesNoSecondSuccessor();
    void startDateLeadIsKept();
    void noStartDateStaysWithout();
    void withoutControllerAddsToItsList();
    void withControllerShowsInQuadrant();
    void freshIdentifiersAndLinks();
    void identifierUniqueInList();
    void attributesCopied();
    void completedItemKeepsItsState();
    void userFiltersRestored();
};

void TestRecurrence::initTestCase()
{
    // The date cases below are written for this zone.
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QVERIFY2(local(2025, 1, 15).offsetFromUtc() == 3600 && local(2025, 7, 15).offsetFromUtc() == 7200,
             "local time zone must be Europe/Berlin");
}

void TestRecurrence::cleanup()
{
    ItemIdentifiers::setGeneratorForTesting({});
    Clock::reset();
}

void TestRecurrence::frequencies_data()
{
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QDateTime>("due");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("daily") << "Daily" << local(2025, 3, 10, 9, 0) << local(2025, 3, 11, 9, 0);
    QTest::newRow("daily over month end") << "Daily" << local(2025, 2, 28, 7, 15) << local(2025, 3, 1, 7, 15);
    QTest::newRow("weekly keeps time of day") << "Weekly" << local(2025, 3, 10, 14, 35) << local(2025, 3, 17, 14, 35);
    QTest::newRow("biweekly") << "Biweekly" << local(2025, 3, 10, 14, 35) << local(2025, 3, 24, 14, 35);
    QTest::newRow("4-weekly over summer time") << "4-weekly" << local(2025, 3, 10, 14, 35) << local(2025, 4, 7, 14, 35);
    QTest::newRow("monthly 31 Jan") << "Monthly" << local(2025, 1, 31, 10, 0) << local(2025, 2, 28, 10, 0);
    QTest::newRow("monthly 31 Jan leap year") << "Monthly" << local(2024, 1, 31, 10, 0) << local(2024, 2, 29, 10, 0);
    QTest::newRow("monthly 15th") << "Monthly" << local(2025, 10, 15, 23, 30) << local(2025, 11, 15, 23, 30);
    QTest::newRow("quarterly 30 Nov") << "Quarterly" << local(2025, 11, 30, 8, 0) << local(2026, 2, 28, 8, 0);
    QTest::newRow("semesterly 31 Aug") << "Semesterly" << local(2025, 8, 31, 8, 0) << local(2026, 2, 28, 8, 0);
    QTest::newRow("yearly 29 Feb") << "Yearly" << local(2024, 2, 29, 12, 0) << local(2025, 2, 28, 12, 0);
    QTest::newRow("yearly") << "Yearly" << local(2025, 6, 15, 12, 0) << local(2026, 6, 15, 12, 0);
}

void TestRecurrence::frequencies()
{
    QFETCH(QString, frequency);
    QFETCH(QDateTime, due);
    QFETCH(QDateTime, expected);

    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 0, frequency, due);
    const QList<TODOItem *> before = list->contains();

    complete(f, item);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    TODOItem *next = added.first();
    QCOMPARE(next->dueDate(), expected);
    // Same local calendar date and wall-clock time, not just the same instant.
    QCOMPARE(next->dueDate().toLocalTime().date(), expected.date());
    QCOMPARE(next->dueDate().toLocalTime().time(), due.time());
    QCOMPARE(next->frequency(), frequency);
    QCOMPARE(next->list(), list);
}

void TestRecurrence::dailyAcrossClockChange_data()
{
    QTest::addColumn<QDateTime>("due");
    QTest::addColumn<QDateTime>("expected");
    QTest::addColumn<int>("hours");

    QTest::newRow("29/30 March, clocks forward") << local(2025, 3, 29) << local(2025, 3, 30) << 23;
    QTest::newRow("30/31 March, after the change") << local(2025, 3, 30) << local(2025, 3, 31) << 24;
    QTest::newRow("25/26 October, clocks back") << local(2025, 10, 25) << local(2025, 10, 26) << 25;
    QTest::newRow("26/27 October, after the change") << local(2025, 10, 26) << local(2025, 10, 27) << 24;
}

void TestRecurrence::dailyAcrossClockChange()
{
    QFETCH(QDateTime, due);
    QFETCH(QDateTime, expected);
    QFETCH(int, hours);

    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Daily"), due);
    const QList<TODOItem *> before = list->contains();

    complete(f, item);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    const QDateTime next = added.first()->dueDate();
    QCOMPARE(next.toLocalTime().time(), QTime(9, 0));
    QCOMPARE(next, expected);
    QCOMPARE(due.secsTo(next), qint64(hours) * 3600);
}

void TestRecurrence::noOccurrence_data()
{
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QDateTime>("due");

    QTest::newRow("no due date") << "Daily" << QDateTime();
    QTest::newRow("no frequency") << QString() << local(2025, 3, 10);
    QTest::newRow("empty frequency") << "" << local(2025, 3, 10);
    QTest::newRow("Never") << "Never" << local(2025, 3, 10);
    QTest::newRow("unknown text") << "Fortnightly" << local(2025, 3, 10);
    QTest::newRow("other case") << "daily" << local(2025, 3, 10);
}

void TestRecurrence::noOccurrence()
{
    QFETCH(QString, frequency);
    QFETCH(QDateTime, due);

    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 0, frequency, due);
    const int itemsBefore = int(list->contains().size());
    const int storeBefore = f.context()->count(TODOItem::EntityName);

    complete(f, item);

    QCOMPARE(int(list->contains().size()), itemsBefore);
    QCOMPARE(f.context()->count(TODOItem::EntityName), storeBefore);
    QCOMPARE(item->childID(), 0);
    QCOMPARE(item->state(), int(RecordState::Completed));
}

void TestRecurrence::untilDate_data()
{
    QTest::addColumn<QDateTime>("until");
    QTest::addColumn<bool>("created");

    QTest::newRow("next due equals until") << local(2025, 5, 2, 9, 0) << true;
    QTest::newRow("until a minute earlier") << local(2025, 5, 2, 8, 59) << false;
    QTest::newRow("until a day later") << local(2025, 5, 3, 9, 0) << true;
    QTest::newRow("until before the due date") << local(2025, 4, 30, 9, 0) << false;
}

void TestRecurrence::untilDate()
{
    QFETCH(QDateTime, until);
    QFETCH(bool, created);

    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Daily"), local(2025, 5, 1, 9, 0));
    item->setUntilDate(until);
    const QList<TODOItem *> before = list->contains();

    complete(f, item);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), created ? 1 : 0);
    QCOMPARE(item->childID() != 0, created);
    if (created) {
        QCOMPARE(added.first()->dueDate(), local(2025, 5, 2, 9, 0));
        QCOMPARE(added.first()->untilDate(), until);
    }
}

void TestRecurrence::dailyChainEndsAtUntilDate()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Daily"), local(2025, 5, 1, 9, 0));
    item->setUntilDate(local(2025, 5, 2, 9, 0));
    QList<TODOItem *> before = list->contains();

    complete(f, item);
    QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    TODOItem *second = added.first();
    QCOMPARE(second->dueDate(), local(2025, 5, 2, 9, 0));

    before = list->contains();
    complete(f, second);
    QCOMPARE(addedItems(list, before).size(), 0);
    QCOMPARE(second->childID(), 0);
    QCOMPARE(second->state(), int(RecordState::Completed));
}

void TestRecurrence::completingAgainCreatesNoSecondSuccessor()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 1, QStringLiteral("Weekly"), local(2025, 3, 10));
    ArrayController *controller = f.document->controllerForQuadrant(1);
    const QList<TODOItem *> before = list->contains();

    f.document->markTODOItem(item, list, controller, 100);
    const int child = item->childID();
    QVERIFY(child != 0);
    f.document->markTODOItem(item, list, controller, 0);
    QCOMPARE(item->state(), int(RecordState::Open));
    f.document->markTODOItem(item, list, controller, 100);
    f.document->markTODOItem(item, list, controller, 100);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    QCOMPARE(item->childID(), child);
    QCOMPARE(added.first()->id_(), child);
}

void TestRecurrence::startDateLeadIsKept()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    // Due on a Thursday evening, started the Monday before; the weeks run
    // across the start of summer time.
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Weekly"), local(2025, 3, 20, 18, 0));
    item->setStartDate(local(2025, 3, 17, 18, 0));

    TODOItem *current = item;
    for (int week = 1; week <= 3; ++week) {
        const QList<TODOItem *> before = list->contains();
        complete(f, current);
        const QList<TODOItem *> added = addedItems(list, before);
        QCOMPARE(added.size(), 1);
        TODOItem *next = added.first();
        const QDate dueDay = QDate(2025, 3, 20).addDays(7 * week);
        QCOMPARE(next->dueDate(), QDateTime(dueDay, QTime(18, 0)));
        QCOMPARE(next->startDate(), QDateTime(dueDay.addDays(-3), QTime(18, 0)));
        QCOMPARE(next->startDate().daysTo(next->dueDate()), qint64(3));
        current = next;
    }
}

void TestRecurrence::noStartDateStaysWithout()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Monthly"), local(2025, 3, 10));
    const QList<TODOItem *> before = list->contains();

    complete(f, item);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    QVERIFY(!added.first()->startDate().isValid());
    QVERIFY(!added.first()->hasValue(TODOItem::Attr_startDate));
}

void TestRecurrence::withoutControllerAddsToItsList()
{
    // As from the master list: the item's list is not the one on screen and
    // no quadrant controller is involved.
    DocumentFixture f;
    TODOList *other = f.document->addNewProjectWithName(QStringLiteral("Elsewhere"));
    f.selectedList(QStringLiteral("On screen"));
    TODOItem *item = f.document->newItemForProject(other, 2);
    item->setName(QStringLiteral("Pay rent"));
    item->setFrequency(QStringLiteral("Monthly"));
    item->setDueDate(local(2025, 1, 31));
    const QList<TODOItem *> before = other->contains();

    f.document->markTODOItem(item, other, nullptr, 100);

    const QList<TODOItem *> added = addedItems(other, before);
    QCOMPARE(added.size(), 1);
    TODOItem *next = added.first();
    QCOMPARE(next->list(), other);
    QCOMPARE(next->quadrant(), 2);
    QCOMPARE(next->name(), QStringLiteral("Pay rent"));
    QCOMPARE(next->dueDate(), local(2025, 2, 28));
    QCOMPARE(next->state(), int(RecordState::Open));
    for (int q = 0; q < 4; ++q)
        QVERIFY(!f.document->controllerForQuadrant(q)->arrangedObjects().contains(next));
}

void TestRecurrence::withControllerShowsInQuadrant()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    f.item(2, QStringLiteral("Other"));
    TODOItem *item = recurringItem(f, 2, QStringLiteral("Daily"), local(2025, 3, 10));
    const QList<TODOItem *> before = list->contains();

    complete(f, item);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    TODOItem *next = added.first();
    const QList<ManagedObject *> &arranged = f.document->controllerForQuadrant(2)->arrangedObjects();
    QCOMPARE(arranged.count(next), 1);
    QCOMPARE(next->quadrant(), 2);
    for (int q : {0, 1, 3})
        QVERIFY(!f.document->controllerForQuadrant(q)->arrangedObjects().contains(next));
}

void TestRecurrence::freshIdentifiersAndLinks()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Weekly"), local(2025, 3, 10));
    item->setServerID(4711);
    item->setVersionID(99);
    item->setResourceURI(QStringLiteral("/api/v1/todoitem/4711/"));
    item->setBoxFolderID(QStringLiteral("box-1"));
    item->setParentID(123);
    const QList<TODOItem *> before = list->contains();

    complete(f, item);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    TODOItem *next = added.first();
    QVERIFY(next->hasValue(TODOItem::Attr_id_));
    QVERIFY(next->id_() != item->id_());
    QCOMPARE(next->serverID(), 0);
    QCOMPARE(next->versionID(), qint64(0));
    QVERIFY(next->resourceURI().isEmpty());
    QVERIFY(next->boxFolderID().isEmpty());
    QVERIFY(next->getURI().isEmpty());

    QCOMPARE(next->parentID(), item->id_());
    QCOMPARE(item->childID(), next->id_());
    QCOMPARE(next->childID(), 0);
    // The completed item keeps its own identifiers and back link.
    QCOMPARE(item->serverID(), 4711);
    QCOMPARE(item->parentID(), 123);
    QCOMPARE(item->resourceURI(), QStringLiteral("/api/v1/todoitem/4711/"));
}

void TestRecurrence::identifierUniqueInList()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *other = f.item(1, QStringLiteral("Other"));
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Daily"), local(2025, 3, 10));
    const QList<TODOItem *> before = list->contains();

    // The first draws hit identifiers the list already uses.
    QList<quint32> draws = {quint32(item->id_()), quint32(other->id_()), 777u};
    ItemIdentifiers::setGeneratorForTesting([&draws]() {
        return draws.isEmpty() ? QRandomGenerator::global()->generate() : draws.takeFirst();
    });

    complete(f, item);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    QCOMPARE(added.first()->id_(), 777);
    QCOMPARE(item->childID(), 777);
}

void TestRecurrence::attributesCopied()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = recurringItem(f, 3, QStringLiteral("Quarterly"), local(2025, 3, 10));
    item->setName(QStringLiteral("Quarterly report"));
    item->setDescriptionRichText(QStringLiteral("<p>Send to <b>finance</b></p>"));
    item->setIcon(QStringLiteral("star_blue128.png"));
    item->setIndex(4200);
    item->setEffort(3);
    item->setUntilDate(local(2026, 12, 31));
    item->setOwnerUsername(QStringLiteral("anna"));
    item->setMacResourceURL(QStringLiteral("https://example.org/report"));
    item->setAllDay(true);
    const QList<TODOItem *> before = list->contains();

    complete(f, item);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    TODOItem *next = added.first();
    QCOMPARE(next->name(), item->name());
    QCOMPARE(next->descriptionRichText(), item->descriptionRichText());
    QCOMPARE(next->descriptionText(), item->descriptionText());
    QCOMPARE(next->quadrant(), 3);
    QCOMPARE(next->icon(), QStringLiteral("star_blue128.png"));
    QCOMPARE(next->index(), 4200);
    QCOMPARE(next->effort(), 3);
    QCOMPARE(next->frequency(), QStringLiteral("Quarterly"));
    QCOMPARE(next->untilDate(), local(2026, 12, 31));
    QCOMPARE(next->ownerUsername(), QStringLiteral("anna"));
    QCOMPARE(next->macResourceURL(), QStringLiteral("https://example.org/report"));
    QCOMPARE(next->allDay(), true);
    QCOMPARE(next->dueDate(), local(2025, 6, 10));
}

void TestRecurrence::completedItemKeepsItsState()
{
    DocumentFixture f;
    const QDateTime now = local(2025, 3, 11, 16, 45);
    Clock::setNow(now);
    TODOList *list = f.selectedList();
    const QDateTime due = local(2025, 3, 10, 9, 0);
    const QDateTime start = local(2025, 3, 8, 9, 0);
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Daily"), due);
    item->setStartDate(start);
    item->setCompletionPercentage(40);
    const QList<TODOItem *> before = list->contains();

    complete(f, item);

    QCOMPARE(item->state(), int(RecordState::Completed));
    QCOMPARE(item->completionPercentage(), 100);
    QCOMPARE(item->completionDate(), now);
    QCOMPARE(item->dueDate(), due);
    QCOMPARE(item->startDate(), start);
    QCOMPARE(item->list(), list);

    const QList<TODOItem *> added = addedItems(list, before);
    QCOMPARE(added.size(), 1);
    TODOItem *next = added.first();
    QCOMPARE(next->state(), int(RecordState::Open));
    QCOMPARE(next->completionPercentage(), 0);
    QVERIFY(!next->completionDate().isValid());
    QCOMPARE(next->dueDate(), local(2025, 3, 11, 9, 0));
    QCOMPARE(next->startDate(), local(2025, 3, 9, 9, 0));
}

void TestRecurrence::userFiltersRestored()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *item = recurringItem(f, 0, QStringLiteral("Daily"), local(2025, 3, 10));
    f.document->filters().setSearchText(QStringLiteral("plants"));
    f.document->updateFilters();
    ArrayController *controller = f.document->controllerForQuadrant(0);
    const QString userFilter = f.document->filters().predicateForQuadrant(0).toString();
    QVERIFY(userFilter != QuadrantFilters::basicPredicateForQuadrant(0).toString());

    complete(f, item);

    QCOMPARE(controller->filterPredicate().toString(), userFilter);
    QVERIFY(item->childID() != 0);
}

QTEST_GUILESS_MAIN(TestRecurrence)
#include "tst_recurrence.moc"
