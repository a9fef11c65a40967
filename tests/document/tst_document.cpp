// The document's item operations, selection, counts, messages, set-up and saving.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "ItemIdentifiers.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

// Collects the document's log lines while alive.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList lines() { return s_lines; }
    static bool has(const QString &line) { return s_lines.contains(line); }

private:
    static void handler(QtMsgType, const QMessageLogContext &, const QString &message) { s_lines << message; }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

QList<int> indexesOf(const QList<ManagedObject *> &objects)
{
    QList<int> indexes;
    for (ManagedObject *o : objects)
        indexes << static_cast<TODOItem *>(o)->index();
    return indexes;
}

QByteArray hashOf(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestDocument : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(23, 30))); }
    void cleanup() { Clock::reset(); }

    // Adding
    void addingGivesTheNewItemItsDefaults();
    void addingComputesTheIndexFromTheLastRow_data();
    void addingComputesTheIndexFromTheLastRow();
    void addingEmptiesTheSearchFirst();
    void addingWithoutSelectedListDoesNothing();
    void toolbarAddChoosesTheEnlargedQuadrant_data();
    void toolbarAddChoosesTheEnlargedQuadrant();
    void newItemForProjectUsesTheListCounter();

    // Completing and trashing
    void completionFollowsThePercentage();
    void lowerPercentageLeavesTrashedItemsAlone();
    void togglingFlipsBetweenZeroAndHundred();
    void completingTheSelectionReselects();
    void confirmationTexts_data();
    void confirmationTexts();
    void deleteWithNothingSelectedOpensTheUndeleteSheet();
    void deleteAsksAndTrashes();
    void trashingRemovesTheCalendarEventOfDatedItems();

    // Selection
    void onlyOneQuadrantHoldsTheSelection();
    void clickingWithoutSelectionClearsEverything();
    void selectItemFindsOnlyShownItems();

    // Layout, counts, messages
    void maximizeMovesAndSavesTheCross_data();
    void maximizeMovesAndSavesTheCross();
    void overdueCountUsesCalendarDays();
    void statusMessageClearsFifteenSecondsAfterTheLastOne();
    void displayNameFollowsTheSelectedList();
    void debugDumpHasItsFraming();
    void selectingAListPlacesTheCross();
    void itemListingsExcludeDeletedAndSortByIndex();

    // Set-up and saving
    void firstRunCreatesMyProjectOnce();
    void saveWithoutChangesTouchesNothing();
    void saveWritesAndFailureIsReported();
};

void TestDocument::addingGivesTheNewItemItsDefaults()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    list->setLastItemIndex(41);
    TODOItem *item = f.document->addTODOItemToQuadrant(2);
    QVERIFY(item);
    QCOMPARE(item->name(), QStringLiteral("Untitled"));
    QCOMPARE(item->quadrant(), 2);
    QCOMPARE(item->icon(), QStringLiteral("empty_orange128.png"));
    QCOMPARE(item->creationDate(), Clock::now());
    QCOMPARE(item->state(), 0);
    QCOMPARE(item->list(), list);
    QVERIFY(item->id_() >= 0 && item->id_() < 2147483640);
    QCOMPARE(list->lastItemIndex(), 42);

    // The new row is selected, shown, in the drawer and being edited.
    ArrayController *c = f.document->controllerForQuadrant(2);
    const int row = c->indexOfArrangedObject(item);
    QVERIFY(row >= 0);
    QCOMPARE(c->selectionIndexes(), QList<int>{row});
    const int open = f.view.calls.indexOf(QStringLiteral("openDrawer Untitled 0"));
    const int edit = f.view.calls.indexOf(QStringLiteral("beginEditingRow 2 %1").arg(row));
    QVERIFY(open >= 0 && edit > open);
    QVERIFY(f.view.calls.indexOf(QStringLiteral("refreshListCells"), edit) > edit);

    // Identifiers stay unique within the list.
    TODOItem *second = f.document->addTODOItemToQuadrant(2);
    QVERIFY(second->id_() != item->id_());
}

void TestDocument::addingComputesTheIndexFromTheLastRow_data()
{
    QTest::addColumn<QList<int>>("existing");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty quadrant") << QList<int>{} << 0;
    QTest::newRow("last row -994") << QList<int>{1006, 6, -994} << -894;
    QTest::newRow("last row 0") << QList<int>{2000, 1000, 0} << 100;
}

void TestDocument::addingComputesTheIndexFromTheLastRow()
{
    QFETCH(QList<int>, existing);
    QFETCH(int, expected);
    DocumentFixture f;
    TODOList *list = f.selectedList();
    for (int index : existing) {
        TODOItem *item = f.document->newItemForProject(list, 1);
        item->setIndex(index);
    }
    f.document->controllerForQuadrant(1)->rearrangeObjects();
    TODOItem *item = f.document->addTODOItemToQuadrant(1);
    QCOMPARE(item->index(), expected);
    // The order stays strictly descending.
    const QList<int> indexes = indexesOf(f.document->controllerForQuadrant(1)->arrangedObjects());
    for (int i = 1; i < indexes.size(); ++i)
        QVERIFY(indexes[i - 1] > indexes[i]);
}

void TestDocument::addingEmptiesTheSearchFirst()
{
    DocumentFixture f;
    f.selectedList();
    f.document->filters().setSearchText(QStringLiteral("nothing matches this"));
    f.document->updateFilters();
    TODOItem *item = f.document->addTODOItemToQuadrant(0);
    QVERIFY(item);
    QVERIFY(f.document->filters().searchText().isEmpty());
    QCOMPARE(f.view.searchFieldText, QString());
    QVERIFY(f.view.calls.indexOf(QStringLiteral("setSearchFieldText ")) < f.view.calls.indexOf(QStringLiteral("openDrawer Untitled 0")));
    QVERIFY(f.document->controllerForQuadrant(0)->indexOfArrangedObject(item) >= 0);
}

void TestDocument::addingWithoutSelectedListDoesNothing()
{
    DocumentFixture f;
    QCOMPARE(f.document->addTODOItemToQuadrant(0), nullptr);
    f.selectedList();
    QCOMPARE(f.document->addTODOItemToQuadrant(4), nullptr);
    QCOMPARE(f.document->addTODOItemToQuadrant(-1), nullptr);
    QCOMPARE(f.context()->count(TODOItem::EntityName), 0);
}

void TestDocument::toolbarAddChoosesTheEnlargedQuadrant_data()
{
    QTest::addColumn<QList<double>>("areas");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<bool>("fromTable");
    QTest::addColumn<int>("expected");
    QTest::newRow("quadrant 2 at 70%") << QList<double>{10, 10, 70, 10} << 0 << false << 2;
    QTest::newRow("even areas, before any click") << QList<double>{25, 25, 25, 25} << -2 << false << 0;
    QTest::newRow("even areas, last clicked 3") << QList<double>{25, 25, 25, 25} << 3 << false << 3;
    QTest::newRow("exactly 40% is not enough") << QList<double>{40, 20, 20, 20} << 1 << false << 1;
    QTest::newRow("from a table view") << QList<double>{10, 10, 70, 10} << 1 << true << 1;
}

void TestDocument::toolbarAddChoosesTheEnlargedQuadrant()
{
    QFETCH(QList<double>, areas);
    QFETCH(int, clicked);
    QFETCH(bool, fromTable);
    QFETCH(int, expected);
    DocumentFixture f;
    f.selectedList();
    for (int q = 0; q < 4; ++q)
        f.view.areas[q] = areas[q];
    if (clicked >= 0)
        f.document->itemClickedInQuadrant(clicked);
    TODOItem *item = f.document->addTODOItem(fromTable);
    QVERIFY(item);
    QCOMPARE(item->quadrant(), expected);
    if (clicked >= 0)
        QCOMPARE(f.document->lastQuadrantClicked(), clicked); // the add button does not change it
}

void TestDocument::newItemForProjectUsesTheListCounter()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Imported"));
    list->setLastItemIndex(5000);
    TODOItem *a = f.document->newItemForProject(list, 3);
    TODOItem *b = f.document->newItemForProject(list);
    QCOMPARE(a->index(), 5000);
    QCOMPARE(b->index(), 6000);
    QCOMPARE(list->lastItemIndex(), 7000);
    QCOMPARE(a->quadrant(), 3);
    QCOMPARE(b->quadrant(), 0);
    QCOMPARE(a->list(), list);
    QCOMPARE(a->icon(), QStringLiteral("empty_orange128.png"));
    QVERIFY(a->id_() != b->id_());
}

void TestDocument::completionFollowsThePercentage()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *item = f.item(0, QStringLiteral("Report"));
    const QDateTime earlier(QDate(2026, 1, 2), QTime(8, 0));

    f.document->markTODOItem(item, list, nullptr, 100);
    QCOMPARE(item->state(), 1);
    QCOMPARE(item->completionPercentage(), 100);
    QCOMPARE(item->completionDate(), Clock::now());

    // A present completion date is kept.
    item->setCompletionDate(earlier);
    f.document->markTODOItem(item, list, nullptr, 100);
    QCOMPARE(item->completionDate(), earlier);

    f.document->markTODOItem(item, list, nullptr, 60);
    QCOMPARE(item->state(), 0);
    QCOMPARE(item->completionPercentage(), 60);
    QVERIFY(!item->completionDate().isValid());
}

void TestDocument::lowerPercentageLeavesTrashedItemsAlone()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    for (int state : {2, 3}) {
        TODOItem *item = f.item(0, QStringLiteral("gone"));
        item->setCompletionPercentage(100);
        item->setCompletionDate(Clock::now());
        item->setState(state);
        f.document->markTODOItem(item, list, nullptr, 20);
        QCOMPARE(item->state(), state);
        QCOMPARE(item->completionPercentage(), 100);
        QVERIFY(item->completionDate().isValid());
    }
}

void TestDocument::togglingFlipsBetweenZeroAndHundred()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *item = f.item(1, QStringLiteral("Forty"));
    item->setCompletionPercentage(40);
    f.document->controllerForQuadrant(1)->rearrangeObjects();
    const int row = f.document->controllerForQuadrant(1)->indexOfArrangedObject(item);

    f.document->markClickedItemAsDone(1, row);
    QCOMPARE(item->completionPercentage(), 100);
    QCOMPARE(item->state(), 1);
    QVERIFY(item->completionDate().isValid());
    QVERIFY(f.view.called(QStringLiteral("reloadTables")));

    f.document->enableQuadrant(1, {row}, false);
    f.document->toggleListOrItemsAsCompleted();
    QCOMPARE(item->completionPercentage(), 0);
    QCOMPARE(item->state(), 0);
    QVERIFY(!item->completionDate().isValid());

    // A click outside the rows is ignored.
    f.document->markClickedItemAsDone(1, 99);
    f.document->markClickedItemAsDone(1, -1);
    QCOMPARE(item->completionPercentage(), 0);
}

void TestDocument::completingTheSelectionReselects()
{
    DocumentFixture f;
    f.selectedList();
    f.document->filters().setShowingChoice(QuadrantFilters::ShowOpen);
    f.document->updateFilters();
    QList<TODOItem *> items;
    for (int i = 0; i < 4; ++i)
        items << f.item(0, QStringLiteral("item %1").arg(i));
    ArrayController *c = f.document->controllerForQuadrant(0);
    c->rearrangeObjects();
    f.document->enableQuadrant(0, {2, 3}, false);
    const QList<TODOItem *> selected = f.document->selectedItemsInQuadrant(0);
    QCOMPARE(selected.size(), 2);

    f.alerts.answer = true;
    f.document->markListOrItemsAsCompleted();
    QCOMPARE(f.alerts.messages.last(), QStringLiteral("Are you sure you want to complete the selected 2 items?|"));
    for (TODOItem *item : selected)
        QCOMPARE(item->state(), 1);
    // Two rows remain; the former first selected position (2) is past the end: the last row.
    QCOMPARE(c->arrangedObjects().size(), 2);
    QCOMPARE(c->selectionIndexes(), QList<int>{1});
    QVERIFY(f.view.called(QStringLiteral("closeDrawer")));
}

void TestDocument::confirmationTexts_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("deletion");
    QTest::addColumn<QString>("expected");
    QTest::newRow("delete one") << QStringList{QStringLiteral("Taxes")} << true
                                << "Are you sure you want to delete item named 'Taxes'?|Deleted items cannot be restored.";
    QTest::newRow("delete one unnamed") << QStringList{QString()} << true
                                        << "Are you sure you want to delete item named 'Untitled'?|Deleted items cannot be restored.";
    QTest::newRow("delete three") << QStringList{"a", "b", "c"} << true
                                  << "Are you sure you want to delete 3 items?|Deleted items cannot be restored.";
    QTest::newRow("complete one") << QStringList{QStringLiteral("Call Ann")} << false
                                  << "Are you sure you want to complete item named 'Call Ann'?|";
    QTest::newRow("complete two") << QStringList{"a", "b"} << false
                                  << "Are you sure you want to complete the selected 2 items?|";
}

void TestDocument::confirmationTexts()
{
    QFETCH(QStringList, names);
    QFETCH(bool, deletion);
    QFETCH(QString, expected);
    DocumentFixture f;
    f.selectedList();
    QList<TODOItem *> items;
    for (const QString &name : names) {
        items << f.item(0, QStringLiteral("x"));
        items.last()->setName(name);
    }
    f.alerts.queued = {false, true};
    QCOMPARE(deletion ? f.document->userConfirmsItemsDeletion(items) : f.document->userConfirmsItemsCompleted(items), false);
    QCOMPARE(deletion ? f.document->userConfirmsItemsDeletion(items) : f.document->userConfirmsItemsCompleted(items), true);
    QCOMPARE(f.alerts.messages.first(), expected);
    // No items: no alert and no.
    QCOMPARE(f.document->userConfirmsItemsDeletion({}), false);
    QCOMPARE(f.alerts.messages.size(), 2);
}

void TestDocument::deleteWithNothingSelectedOpensTheUndeleteSheet()
{
    DocumentFixture f;
    f.selectedList();
    f.item(0, QStringLiteral("kept"));
    f.document->selectItem(nullptr);
    LogCapture log;
    f.document->markItemsAsDeleted();
    QVERIFY(LogCapture::has(QStringLiteral("Marking item or list as deleted")));
    QVERIFY(LogCapture::has(QStringLiteral("Opening item undelete window")));
    QVERIFY(f.view.called(QStringLiteral("showUndeleteSheet")));
    QVERIFY(f.alerts.messages.isEmpty());
}

void TestDocument::deleteAsksAndTrashes()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *item = f.item(3, QString());
    item->setName(QString());
    ArrayController *c = f.document->controllerForQuadrant(3);
    f.document->enableQuadrant(3, {c->indexOfArrangedObject(item)}, false);

    f.alerts.answer = false;
    f.document->markItemsAsDeleted();
    QCOMPARE(item->state(), 0);
    QCOMPARE(f.alerts.messages.last(), QStringLiteral("Are you sure you want to delete item named 'Untitled'?|Deleted items cannot be restored."));

    f.alerts.answer = true;
    f.document->markItemsAsDeleted();
    QCOMPARE(item->state(), 2);
    QCOMPARE(item->list()->toMany(QStringLiteral("contains")).size(), 1); // stays in its list
    QCOMPARE(c->indexOfArrangedObject(item), -1);
    QVERIFY(!f.view.called(QStringLiteral("showUndeleteSheet")));
}

void TestDocument::trashingRemovesTheCalendarEventOfDatedItems()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    TODOItem *dated = f.item(0, QStringLiteral("dated"));
    dated->setDueDate(Clock::now().addDays(2));
    TODOItem *undated = f.item(0, QStringLiteral("undated"));
    f.document->markTODOItemAsTrashed(dated, list);
    f.document->markTODOItemAsTrashed(undated, list);
    QCOMPARE(f.calendar.calls, QStringList{QStringLiteral("delete dated")});
    QCOMPARE(undated->state(), 2);
}

void TestDocument::onlyOneQuadrantHoldsTheSelection()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *a = f.item(0, QStringLiteral("a"));
    TODOItem *b = f.item(2, QStringLiteral("b"));
    f.document->selectItem(a);
    QCOMPARE(f.document->selectedItemsInQuadrant(0), QList<TODOItem *>{a});
    QCOMPARE(f.document->lastQuadrantClicked(), 0);

    f.document->selectItem(b);
    QVERIFY(f.document->selectedItemsInQuadrant(0).isEmpty());
    QCOMPARE(f.document->selectedItemsInQuadrant(2), QList<TODOItem *>{b});
    QCOMPARE(f.document->lastQuadrantClicked(), 2);
    QCOMPARE(f.document->selectedQuadrant(), 2);

    // A selection made in a table directly clears the others too.
    ArrayController *c0 = f.document->controllerForQuadrant(0);
    c0->setSelectionIndexes({c0->indexOfArrangedObject(a)});
    QVERIFY(f.document->selectedItemsInQuadrant(2).isEmpty());
    QCOMPARE(f.document->selectedQuadrant(), 0);
    // The drawer opens on the next turn.
    QTRY_COMPARE(f.view.drawerItem, a);

    // While a sync runs, selections are cleared instead.
    f.document->setSyncing(true);
    f.document->tableViewSelectionDidChange(0);
    QVERIFY(f.document->selectedItemsInQuadrant(0).isEmpty());
}

void TestDocument::clickingWithoutSelectionClearsEverything()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *a = f.item(1, QStringLiteral("a"));
    f.document->selectItem(a);
    f.view.calls.clear();
    f.document->controllerForQuadrant(1)->clearSelection();
    f.document->itemClickedInQuadrant(1);
    QVERIFY(f.view.called(QStringLiteral("closeDrawer")));
    for (int q = 0; q < 4; ++q)
        QVERIFY(f.document->selectedItemsInQuadrant(q).isEmpty());

    f.document->itemClickedInQuadrant(7);
    QCOMPARE(f.document->lastQuadrantClicked(), 7);
    QCOMPARE(f.document->addTODOItem(), nullptr); // outside 0..3: nothing happens
}

void TestDocument::selectItemFindsOnlyShownItems()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *shown = f.item(0, QStringLiteral("shown"));
    TODOItem *hidden = f.item(0, QStringLiteral("hidden"));
    hidden->setState(2);
    f.document->controllerForQuadrant(0)->rearrangeObjects();
    f.document->selectItem(nullptr);
    f.document->selectItem(hidden);
    QVERIFY(f.document->selectedItemsInQuadrant(0).isEmpty());
    f.document->selectItem(shown);
    QCOMPARE(f.document->selectedItemsInQuadrant(0), QList<TODOItem *>{shown});
}

void TestDocument::maximizeMovesAndSavesTheCross_data()
{
    QTest::addColumn<int>("quadrant");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("y");
    QTest::newRow("first") << 0 << 0.9 << 0.1;
    QTest::newRow("second") << 1 << 0.1 << 0.1;
    QTest::newRow("third") << 2 << 0.9 << 0.9;
    QTest::newRow("fourth") << 3 << 0.1 << 0.9;
}

void TestDocument::maximizeMovesAndSavesTheCross()
{
    QFETCH(int, quadrant);
    QFETCH(double, x);
    QFETCH(double, y);
    DocumentFixture f;
    TODOList *list = f.selectedList();
    f.document->maximizeQuadrant(quadrant);
    QCOMPARE(f.view.calls.last(), QStringLiteral("moveQuadrantCross %1 %2 1").arg(x).arg(y));
    QCOMPARE(list->centerX(), x * 100);
    QCOMPARE(list->centerY(), y * 100);
}

void TestDocument::overdueCountUsesCalendarDays()
{
    // Now is 23:30 on 10 March.
    DocumentFixture f;
    TODOList *list = f.selectedList();
    auto due = [&](const QDateTime &when, int state = 0) {
        TODOItem *item = f.document->newItemForProject(list);
        item->setDueDate(when);
        item->setState(state);
        return item;
    };
    due(QDateTime(QDate(2026, 3, 9), QTime(23, 59)));      // yesterday: overdue
    due(QDateTime(QDate(2026, 3, 10), QTime(0, 1)));       // today, earlier: not overdue
    due(QDateTime(QDate(2026, 3, 11), QTime(0, 10)));      // tomorrow
    due(QDateTime(QDate(2026, 2, 1), QTime(12, 0)), 1);    // completed
    due(QDateTime(QDate(2026, 2, 1), QTime(12, 0)), 2);    // trashed
    f.document->newItemForProject(list);                   // no due date
    QCOMPARE(f.document->countOverdueItems(), 1);

    // Items of trashed lists do not count.
    TODOList *other = f.document->addNewProjectWithName(QStringLiteral("other"));
    TODOItem *old = f.document->newItemForProject(other);
    old->setDueDate(QDateTime(QDate(2025, 1, 1), QTime(9, 0)));
    f.document->projects().projectsArrayController()->rearrangeObjects();
    QCOMPARE(f.document->countOverdueItems(), 2);
    f.document->projects().markProject(other, 2);
    QCOMPARE(f.document->countOverdueItems(), 1);
}

void TestDocument::statusMessageClearsFifteenSecondsAfterTheLastOne()
{
    DocumentFixture f;
    f.document->setStatusBarMessage(QStringLiteral("Syncing and searching for item ..."));
    QCOMPARE(f.view.statusText, QStringLiteral("Syncing and searching for item ..."));
    QTest::qWait(300);
    f.document->setStatusBarMessage(QStringLiteral("second"));
    const QTimer &timer = f.document->statusClearTimer();
    QVERIFY(timer.isActive());
    QCOMPARE(timer.interval(), 15000);
    QVERIFY(timer.remainingTime() > 14800); // started over at the second message

    f.document->clearStatusBarMessage();
    QVERIFY(!timer.isActive());
    QCOMPARE(f.view.statusText, QString());
    QCOMPARE(f.document->statusBarMessage(), QString());
}

void TestDocument::displayNameFollowsTheSelectedList()
{
    DocumentFixture f;
    QCOMPARE(f.document->displayName(), QStringLiteral("Corvane"));
    f.selectedList(QStringLiteral("Garden"));
    QCOMPARE(f.document->displayName(), QStringLiteral("Corvane: Garden"));
    QVERIFY(f.view.called(QStringLiteral("titleChanged")));
}

void TestDocument::debugDumpHasItsFraming()
{
    DocumentFixture f;
    TODOList *list = f.selectedList(QStringLiteral("Dump"));
    list->setId_(77);
    TODOItem *a = f.document->newItemForProject(list);
    a->setId_(5);
    a->setName(QStringLiteral("first"));
    TODOItem *b = f.document->newItemForProject(list);
    b->setId_(6);
    b->setName(QStringLiteral("second"));
    b->setState(2);
    LogCapture log;
    const QString dump = f.document->showDebugContents();
    QCOMPARE(dump, QStringLiteral("###############\nContents of selected list 'Dump' with id=77:\n"
                                  "  Item #5  \t(state=0): 'first'\n"
                                  "  Item #6  \t(state=2): 'second'\n"
                                  "\n^^^^^^^^^^^^^^\n"));
    QVERIFY(LogCapture::has(QStringLiteral("Debugging list 'Dump' with id=77")));
    QVERIFY(LogCapture::has(dump));
}

void TestDocument::selectingAListPlacesTheCross()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Cross"));
    list->setCenterX(30);
    list->setCenterY(70);
    f.document->selectProject(list);
    QVERIFY(f.view.calls.contains(QStringLiteral("moveQuadrantCross 0.3 0.7 0")));
}

void TestDocument::itemListingsExcludeDeletedAndSortByIndex()
{
    DocumentFixture f;
    TODOList *list = f.selectedList();
    const QList<QPair<int, int>> rows{{100, 0}, {300, 1}, {200, 3}, {50, 2}};
    for (const auto &[index, state] : rows) {
        TODOItem *item = f.document->newItemForProject(list);
        item->setIndex(index);
        item->setState(state);
    }
    QList<int> indexes;
    for (TODOItem *item : f.document->getAllTODOItemsForTODOList(list))
        indexes << item->index();
    QCOMPARE(indexes, (QList<int>{300, 100, 50}));
    QCOMPARE(f.document->getAllTODOItemsForTODOList(list, 3).size(), 1);
    QCOMPARE(f.document->getAllTODOItemsForTODOList(nullptr).size(), 0);
}

void TestDocument::firstRunCreatesMyProjectOnce()
{
    {
        DocumentFixture f;
        f.document->setUp();
        QCOMPARE(f.document->getAllProjects().size(), 0);
        QTRY_COMPARE(f.document->getAllProjects().size(), 1);
        QCOMPARE(f.document->getAllProjects().first()->name(), QStringLiteral("My Project"));
        QVERIFY(Defaults::standard().boolValue(QStringLiteral("kAddedMyProject")));
        QVERIFY(f.document->isReceivingEditingNotifications());

        // Deleting it and starting again does not bring it back.
        f.document->projects().markProject(f.document->getAllProjects().first(), 2);
        auto second = std::make_unique<MyDocument>(std::make_unique<ManagedObjectContext>(todoListModel()));
        second->setUp();
        QTest::qWait(400);
        QCOMPARE(second->getAllProjects().size(), 0);
    }
    {
        // A store that has a list already gets none.
        DocumentFixture f;
        f.document->addNewProjectWithName(QStringLiteral("Existing"));
        f.document->setUp();
        QTest::qWait(400);
        QCOMPARE(f.document->getAllProjects().size(), 1);
    }
}

void TestDocument::saveWithoutChangesTouchesNothing()
{
    DocumentFixture f;
    const QString path = f.dir.filePath(QStringLiteral("store.sqlite"));
    auto context = std::make_unique<ManagedObjectContext>(todoListModel());
    QVERIFY(context->create(path));
    MyDocument document(std::move(context));
    const QByteArray before = hashOf(path);
    const QDateTime modified = QFileInfo(path).lastModified();
    LogCapture log;
    QVERIFY(document.saveFile());
    QVERIFY(LogCapture::has(QStringLiteral("Nothing to save")));
    QCOMPARE(hashOf(path), before);
    QCOMPARE(QFileInfo(path).lastModified(), modified);
}

void TestDocument::saveWritesAndFailureIsReported()
{
    DocumentFixture f; // its own document has no store file
    f.document->addNewProjectWithName(QStringLiteral("unsaved"));
    {
        LogCapture log;
        QVERIFY(!f.document->saveFile());
        QCOMPARE(f.alerts.warnings, QStringList{QStringLiteral("File could not be saved!")});
        bool logged = false;
        for (const QString &line : LogCapture::lines())
            logged = logged || line.startsWith(QStringLiteral("Error saving file: "));
        QVERIFY(logged);
    }

    // A second document with a store: both are saved, the failing one reported again.
    const QString path = f.dir.filePath(QStringLiteral("saved.sqlite"));
    auto context = std::make_unique<ManagedObjectContext>(todoListModel());
    QVERIFY(context->create(path));
    MyDocument document(std::move(context));
    document.setAlerts(&f.alerts);
    document.addNewProjectWithName(QStringLiteral("kept"));
    f.document.reset();
    LogCapture log;
    QVERIFY(document.saveFile());
    QVERIFY(LogCapture::has(QStringLiteral("Saving 1 documents")));
    QVERIFY(LogCapture::has(QStringLiteral("Done saving 1 documents")));
    QVERIFY(!document.managedObjectContext()->hasChanges());

    ManagedObjectContext reopened(todoListModel());
    document.managedObjectContext()->close();
    QVERIFY(reopened.open(path));
    QCOMPARE(reopened.count(TODOList::EntityName), 1);
}

QTEST_GUILESS_MAIN(TestDocument)
#include "tst_document.moc"
