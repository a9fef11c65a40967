// The list sidebar's operations without a window: order, reordering by
// dragging, new, delete, clone, selection and the quadrant overviews.

#include "DocumentFakes.h"

#include "ArrayController.h"
#include "ProjectListController.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// Lists "L0".."Ln" with the given indices, shown in index order.
QList<TODOList *> makeLists(DocumentFixture &f, const QList<int> &indices)
{
    QList<TODOList *> lists;
    for (int i = 0; i < indices.size(); ++i) {
        TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L%1").arg(i));
        list->setIndex(indices[i]);
        lists << list;
    }
    f.document->projects().projectsArrayController()->rearrangeObjects();
    return lists;
}

QStringList shownNames(const ProjectListController &projects)
{
    QStringList names;
    for (const TODOList *list : projects.getAllProjects())
        names << list->name();
    return names;
}

QList<int> shownIndices(const ProjectListController &projects)
{
    QList<int> indices;
    for (const TODOList *list : projects.getAllProjects())
        indices << list->index();
    return indices;
}

TODOItem *addItem(DocumentFixture &f, TODOList *list, int quadrant, const QString &name, int state = RecordState::Open)
{
    auto *item = f.context()->insert<TODOItem>(TODOItem::EntityName);
    item->setName(name);
    item->setQuadrant(quadrant);
    item->setState(state);
    item->setList(list);
    return item;
}

using Counts = QList<int>;
using Flags = QList<bool>;

} // namespace

class TestProjects : public QObject
{
    Q_OBJECT

private slots:
    void listDrop_data();
    void listDrop();
    void refusedListDrop_data();
    void refusedListDrop();

    void overview_data();
    void overview();
    void overviewSkipsEqualInputs();
    void overviewOfNoList();

    void deleteSelectsRowAtOldIndexOrLast_data();
    void deleteSelectsRowAtOldIndexOrLast();
    void deleteDeclinedChangesNothing();
    void deleteWithoutSingleSelectionOnlyLogs();
    void trashedArrayFollowsStates();

    void newProjectHasDefaults();
    void listsMadeElsewhereAppearOnRearrange();

    void alphabeticalOrder();
    void loadAppliesStoredOrder();

    void selectProjectTellsLocalListsApart();
    void selectProjectFallsBackToServerId();
    void selectedProjectChangedOnlyForNewRecord();
    void getSelectedProjectLogsWithoutSelection();

    void lastSelectedRowRestoredAfterLoad_data();
    void lastSelectedRowRestoredAfterLoad();

    void cloneWithoutSelectionLogs();
    void cloneSavesAndLogs_data();
    void cloneSavesAndLogs();

    void logAllListsLines();
};

// --- Reordering by dragging ---------------------------------------------------------------

void TestProjects::listDrop_data()
{
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<int>("draggedRow");
    QTest::addColumn<int>("dropRow");
    QTest::addColumn<bool>("dropAbove");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QList<int>>("finalIndices");

    const QList<int> spread{7000, 6000, 5000, 4000, 3000, 2000, 1000};
    const QList<int> tight{7, 6, 5, 4, 3, 2, 1};

    // Moving up onto a row: the target's index plus 1.
    QTest::newRow("row 5 onto row 2") << spread << 5 << 2 << false
                                      << QStringList{"L0", "L1", "L5", "L2", "L3", "L4", "L6"}
                                      << QList<int>{7000, 6000, 5001, 5000, 4000, 3000, 1000};
    // Moving down onto a row: the target's index minus 1.
    QTest::newRow("row 2 onto row 5") << spread << 2 << 5 << false
                                      << QStringList{"L0", "L1", "L3", "L4", "L5", "L2", "L6"}
                                      << QList<int>{7000, 6000, 4000, 3000, 2000, 1999, 1000};
    // Dropped above a row: the target's index plus 1, also when moving down.
    QTest::newRow("row 2 above row 5") << spread << 2 << 5 << true
                                       << QStringList{"L0", "L1", "L3", "L4", "L2", "L5", "L6"}
                                       << QList<int>{7000, 6000, 4000, 3000, 2001, 2000, 1000};
    QTest::newRow("row 5 above row 2") << spread << 5 << 2 << true
                                       << QStringList{"L0", "L1", "L5", "L2", "L3", "L4", "L6"}
                                       << QList<int>{7000, 6000, 5001, 5000, 4000, 3000, 1000};
    QTest::newRow("last row onto first") << spread << 6 << 0 << false
                                         << QStringList{"L6", "L0", "L1", "L2", "L3", "L4", "L5"}
                                         << QList<int>{7001, 7000, 6000, 5000, 4000, 3000, 2000};
    // With no gaps the new index ties with a neighbour; the repair makes the
    // order strictly descending again without moving any row.
    QTest::newRow("tight: row 5 onto row 2") << tight << 5 << 2 << false
                                             << QStringList{"L0", "L1", "L5", "L2", "L3", "L4", "L6"}
                                             << QList<int>{7, 6, -994, -1994, -2994, -3994, -4994};
    QTest::newRow("tight: row 2 onto row 5") << tight << 2 << 5 << false
                                             << QStringList{"L0", "L1", "L3", "L4", "L5", "L2", "L6"}
                                             << QList<int>{7, 6, 4, 3, 2, 1, -999};
}

void TestProjects::listDrop()
{
    QFETCH(QList<int>, indices);
    QFETCH(int, draggedRow);
    QFETCH(int, dropRow);
    QFETCH(bool, dropAbove);
    QFETCH(QStringList, order);
    QFETCH(QList<int>, finalIndices);

    DocumentFixture f;
    makeLists(f, indices);
    ProjectListController &projects = f.document->projects();
    QCOMPARE(shownNames(projects), (QStringList{"L0", "L1", "L2", "L3", "L4", "L5", "L6"}));

    QVERIFY(projects.acceptListDrop(draggedRow, dropRow, dropAbove));
    QCOMPARE(shownNames(projects), order);
    QCOMPARE(shownIndices(projects), finalIndices);
}

void TestProjects::refusedListDrop_data()
{
    QTest::addColumn<bool>("alphabetical");
    QTest::addColumn<int>("draggedRow");
    QTest::addColumn<int>("dropRow");
    QTest::addColumn<bool>("dropAbove");

    QTest::newRow("alphabetical order") << true << 3 << 1 << false;
    QTest::newRow("after the last row") << false << 1 << 4 << true;
    QTest::newRow("onto itself") << false << 2 << 2 << false;
    QTest::newRow("above itself") << false << 2 << 2 << true;
    QTest::newRow("no dragged row") << false << -1 << 1 << false;
    QTest::newRow("dragged row past the end") << false << 4 << 1 << false;
    QTest::newRow("negative drop row") << false << 1 << -1 << true;
}

void TestProjects::refusedListDrop()
{
    QFETCH(bool, alphabetical);
    QFETCH(int, draggedRow);
    QFETCH(int, dropRow);
    QFETCH(bool, dropAbove);

    DocumentFixture f;
    // Names in reverse of the index order, so that both orders differ.
    makeLists(f, {4000, 3000, 2000, 1000});
    ProjectListController &projects = f.document->projects();
    projects.setAlphabeticalOrder(alphabetical);
    QCOMPARE(projects.canDragLists(), !alphabetical);
    const QStringList namesBefore = shownNames(projects);
    const QList<int> indicesBefore = shownIndices(projects);

    QVERIFY(!projects.acceptListDrop(draggedRow, dropRow, dropAbove));
    QCOMPARE(shownNames(projects), namesBefore);
    QCOMPARE(shownIndices(projects), indicesBefore);
}

// --- Quadrant overviews ---------------------------------------------------------------------

void TestProjects::overview_data()
{
    QTest::addColumn<int>("itemState");
    QTest::addColumn<QString>("searchText");
    QTest::addColumn<bool>("onlyDated");
    QTest::addColumn<QDateTime>("minDate");
    QTest::addColumn<QDateTime>("maxDate");
    QTest::addColumn<QStringList>("owners");
    QTest::addColumn<Counts>("counts");
    QTest::addColumn<Flags>("painted");

    const QDateTime none;
    const QDateTime january(QDate(2024, 1, 1), QTime(0, 0));
    const QDateTime february(QDate(2024, 2, 1), QTime(0, 0));

    // Without a hiding filter an empty quadrant keeps its colour.
    QTest::newRow("no filter") << -1 << QString() << false << none << none << QStringList()
                               << Counts{2, 1, 0, 1} << Flags{true, true, true, true};
    QTest::newRow("open only") << 0 << QString() << false << none << none << QStringList()
                               << Counts{1, 1, 0, 1} << Flags{true, true, true, true};
    QTest::newRow("completed only") << 1 << QString() << false << none << none << QStringList()
                                    << Counts{1, 0, 0, 0} << Flags{true, true, true, true};
    // The search looks at names and notes; quadrants without a match are not painted.
    QTest::newRow("search") << -1 << QStringLiteral("alpha") << false << none << none << QStringList()
                            << Counts{1, 1, 0, 0} << Flags{true, true, false, false};
    QTest::newRow("search with no match") << -1 << QStringLiteral("zeta") << false << none << none << QStringList()
                                          << Counts{0, 0, 0, 0} << Flags{false, false, false, false};
    QTest::newRow("only dated items") << -1 << QString() << true << none << none << QStringList()
                                      << Counts{0, 0, 0, 1} << Flags{false, false, false, true};
    QTest::newRow("owner") << -1 << QString() << false << none << none << QStringList{QStringLiteral("bob")}
                           << Counts{1, 0, 0, 0} << Flags{true, true, true, true};
    // Undated items stay; the item due outside the range goes.
    QTest::newRow("date range") << -1 << QString() << false << january << february << QStringList()
                                << Counts{2, 1, 0, 0} << Flags{true, true, true, true};
}

void TestProjects::overview()
{
    QFETCH(int, itemState);
    QFETCH(QString, searchText);
    QFETCH(bool, onlyDated);
    QFETCH(QDateTime, minDate);
    QFETCH(QDateTime, maxDate);
    QFETCH(QStringList, owners);
    QFETCH(Counts, counts);
    QFETCH(Flags, painted);

    DocumentFixture f;
    Clock::setNow(QDateTime(QDate(2024, 1, 15), QTime(12, 0)));
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Home"));
    list->setColorThirdQuadrant(QStringLiteral("{0.100000, 0.200000, 0.300000, 1.000000}"));
    addItem(f, list, 0, QStringLiteral("Alpha"))->setOwnerUsername(QStringLiteral("bob"));
    TODOItem *done = addItem(f, list, 0, QStringLiteral("Beta"), RecordState::Completed);
    done->setCompletionPercentage(100);
    addItem(f, list, 1, QStringLiteral("Gamma"))->setDescriptionText(QStringLiteral("see ALPHA notes"));
    addItem(f, list, 1, QStringLiteral("Trashed alpha"), RecordState::Trashed);
    addItem(f, list, 2, QStringLiteral("Gone alpha"), RecordState::Deleted);
    addItem(f, list, 3, QStringLiteral("Delta"))->setDueDate(QDateTime(QDate(2024, 6, 1), QTime(9, 0)));

    ListOverview overview;
    QVERIFY(overview.fill(list, itemState, searchText, onlyDated, minDate, maxDate, onlyDated, owners));

    const QString colors[4] = {list->colorFirstQuadrant(), list->colorSecondQuadrant(), list->colorThirdQuadrant(),
                               list->colorFourthQuadrant()};
    for (int q = 0; q < 4; ++q) {
        QCOMPARE(overview.overview().counts[q], counts[q]);
        QCOMPARE(overview.overview().colors[q], painted[q] ? colors[q] : QString());
        // An empty quadrant shows nothing, never "0".
        QCOMPARE(overview.overview().labels[q], counts[q] == 0 ? QString() : QString::number(counts[q]));
    }
}

void TestProjects::overviewSkipsEqualInputs()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Home"));
    TODOList *other = f.document->addNewProjectWithName(QStringLiteral("Work"));
    addItem(f, list, 0, QStringLiteral("One"));
    const QDateTime min(QDate(2024, 1, 1), QTime(0, 0));
    const QDateTime max(QDate(2025, 1, 1), QTime(0, 0));

    ListOverview overview;
    QVERIFY(overview.fill(list, -1, QString(), false, min, max, false, {}));
    QCOMPARE(overview.overview().counts[0], 1);

    // Equal inputs (equal dates in other objects): nothing is recomputed, so a
    // new item is not counted yet.
    addItem(f, list, 0, QStringLiteral("Two"));
    QVERIFY(!overview.fill(list, -1, QString(), false, QDateTime(min), max.addSecs(0), false, {}));
    QCOMPARE(overview.overview().counts[0], 1);

    // Any changed input recomputes.
    QVERIFY(overview.fill(list, -1, QStringLiteral("t"), false, min, max, false, {}));
    QCOMPARE(overview.overview().counts[0], 1); // only "Two" contains a "t"
    QVERIFY(overview.fill(list, -1, QString(), false, min, max, false, {}));
    QCOMPARE(overview.overview().counts[0], 2);
    QVERIFY(overview.fill(list, 0, QString(), false, min, max, false, {}));
    QVERIFY(overview.fill(list, 0, QString(), true, min, max, false, {}));
    QVERIFY(overview.fill(list, 0, QString(), true, min, max.addDays(1), false, {}));
    QVERIFY(overview.fill(list, 0, QString(), true, min, max.addDays(1), true, {}));
    QVERIFY(overview.fill(list, 0, QString(), true, min, max.addDays(1), true, {QStringLiteral("bob")}));
    QVERIFY(overview.fill(other, 0, QString(), true, min, max.addDays(1), true, {QStringLiteral("bob")}));
    QCOMPARE(overview.overview().counts[0], 0);
}

void TestProjects::overviewOfNoList()
{
    ListOverview overview;
    QVERIFY(overview.fill(nullptr, -1, QString(), false, {}, {}, false, {}));
    for (int q = 0; q < 4; ++q) {
        QCOMPARE(overview.overview().counts[q], 0);
        QVERIFY(overview.overview().colors[q].isEmpty());
        QVERIFY(overview.overview().labels[q].isEmpty());
    }
}

// --- Deleting ----------------------------------------------------------------------------------

void TestProjects::deleteSelectsRowAtOldIndexOrLast_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("selectedAfter");

    QTest::newRow("last row") << 2 << QStringLiteral("L1");
    QTest::newRow("middle row") << 1 << QStringLiteral("L2");
    QTest::newRow("first row") << 0 << QStringLiteral("L1");
}

void TestProjects::deleteSelectsRowAtOldIndexOrLast()
{
    QFETCH(int, row);
    QFETCH(QString, selectedAfter);

    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000, 2000, 1000});
    ProjectListController &projects = f.document->projects();
    projects.selectRow(row);
    f.view.drawerOpen = true;
    f.view.calls.clear();

    projects.markProjectAsDeleted();

    QCOMPARE(f.alerts.messages,
             QStringList{QStringLiteral("Are you sure you want to delete list named 'L%1'?|Deleted lists cannot be restored.").arg(row)});
    QCOMPARE(lists[row]->state(), int(RecordState::Trashed));
    QCOMPARE(projects.getAllProjects().size(), 2);
    QVERIFY(!projects.getAllProjects().contains(lists[row]));
    QCOMPARE(projects.getTrashedProjects(), QList<TODOList *>{lists[row]});
    QVERIFY(projects.selectedList());
    QCOMPARE(projects.selectedList()->name(), selectedAfter);
    QVERIFY(!f.view.drawerOpen);
    QCOMPARE(f.view.count(QStringLiteral("refreshListCells")), 1);
}

void TestProjects::deleteDeclinedChangesNothing()
{
    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000, 2000, 1000});
    ProjectListController &projects = f.document->projects();
    projects.selectRow(2);
    f.view.drawerOpen = true;
    f.view.calls.clear();
    f.alerts.answer = false;
    QSignalSpy changed(&projects, &ProjectListController::selectedProjectChanged);

    projects.markProjectAsDeleted();

    QCOMPARE(f.alerts.messages.size(), 1);
    for (TODOList *list : lists)
        QCOMPARE(list->state(), int(RecordState::Open));
    QCOMPARE(shownNames(projects), (QStringList{"L0", "L1", "L2"}));
    QVERIFY(projects.getTrashedProjects().isEmpty());
    QCOMPARE(projects.selectedList(), lists[2]);
    QCOMPARE(changed.count(), 0);
    QVERIFY(f.view.drawerOpen);
    // The overviews are rebuilt either way.
    QCOMPARE(f.view.calls, QStringList{QStringLiteral("refreshListCells")});
}

void TestProjects::deleteWithoutSingleSelectionOnlyLogs()
{
    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000, 2000, 1000});
    ProjectListController &projects = f.document->projects();
    f.view.calls.clear();

    QTest::ignoreMessage(QtInfoMsg, "Cannot delete more than one list at a time");
    projects.markProjectAsDeleted();

    projects.projectsArrayController()->setSelectionIndexes({0, 1});
    f.view.calls.clear();
    QTest::ignoreMessage(QtInfoMsg, "Cannot delete more than one list at a time");
    projects.markProjectAsDeleted();

    QVERIFY(f.alerts.messages.isEmpty());
    QVERIFY(f.view.calls.isEmpty());
    for (TODOList *list : lists)
        QCOMPARE(list->state(), int(RecordState::Open));
}

void TestProjects::trashedArrayFollowsStates()
{
    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000, 2000, 1000});
    ProjectListController &projects = f.document->projects();

    projects.markProject(lists[0], RecordState::Trashed);
    projects.markProject(lists[2], RecordState::Trashed);
    QCOMPARE(projects.getTrashedProjects(), (QList<TODOList *>{lists[0], lists[2]}));
    QCOMPARE(projects.getAllProjects(), QList<TODOList *>{lists[1]});
    QCOMPARE(projects.getAllProjectsEvenTrashed(), (QList<TODOList *>{lists[1], lists[0], lists[2]}));

    // Deleted for good: gone from the trashed lists too.
    projects.markProject(lists[0], RecordState::Deleted);
    QCOMPARE(lists[0]->state(), int(RecordState::Deleted));
    QCOMPARE(projects.getTrashedProjects(), QList<TODOList *>{lists[2]});
    QCOMPARE(projects.getAllProjectsEvenTrashed(), (QList<TODOList *>{lists[1], lists[2]}));

    // Restored: shown again, and it stays in the array until it is deleted.
    projects.markProject(lists[2], RecordState::Open);
    QCOMPARE(projects.getAllProjects(), (QList<TODOList *>{lists[1], lists[2]}));
    QCOMPARE(projects.getAllProjectsEvenTrashed(), (QList<TODOList *>{lists[1], lists[2]}));
}

// --- New lists -------------------------------------------------------------------------------------

void TestProjects::newProjectHasDefaults()
{
    DocumentFixture f;
    makeLists(f, {3000, 2000});
    ProjectListController &projects = f.document->projects();
    f.view.calls.clear();
    QSignalSpy changed(&projects, &ProjectListController::selectedProjectChanged);

    TODOList *list = f.document->addNewProject();
    QVERIFY(list);
    QCOMPARE(list->name(), QStringLiteral("My Project"));
    QVERIFY(list->hasValue(TODOList::Attr_id_));
    QCOMPARE(list->id_(), 0);
    QVERIFY(!list->hasValue(TODOList::Attr_index));
    QCOMPARE(list->textFirstQuadrant(), QStringLiteral("Critical and Immediate"));
    QCOMPARE(list->textSecondQuadrant(), QStringLiteral("Critical but Not Immediate"));
    QCOMPARE(list->textThirdQuadrant(), QStringLiteral("Not Critical but Immediate"));
    QCOMPARE(list->textFourthQuadrant(), QStringLiteral("Uncategorized"));
    QCOMPARE(list->colorFirstQuadrant(), QStringLiteral("{0.866667, 0.952941, 0.678431, 1.000000}"));
    QCOMPARE(list->colorSecondQuadrant(), QStringLiteral("{0.776471, 0.909804, 1.000000, 1.000000}"));
    QCOMPARE(list->colorThirdQuadrant(), QStringLiteral("{0.478431, 0.756863, 0.423529, 1.000000}"));
    QCOMPARE(list->colorFourthQuadrant(), QStringLiteral("{1.000000, 1.000000, 1.000000, 1.000000}"));

    // Shown (with no index it sorts last), selected, and its name in edit mode.
    const int row = projects.getAllProjects().indexOf(list);
    QCOMPARE(row, 2);
    QCOMPARE(projects.selectedList(), list);
    QCOMPARE(changed.count(), 1);
    QVERIFY(f.view.calls.contains(QStringLiteral("beginEditingListName 2")));
}

void TestProjects::listsMadeElsewhereAppearOnRearrange()
{
    DocumentFixture f;
    ProjectListController &projects = f.document->projects();
    auto *list = f.context()->insert<TODOList>(TODOList::EntityName);
    list->setName(QStringLiteral("From a sync"));
    auto *trashed = f.context()->insert<TODOList>(TODOList::EntityName);
    trashed->setState(RecordState::Trashed);

    projects.projectsArrayController()->rearrangeObjects();
    QCOMPARE(projects.getAllProjects(), QList<TODOList *>{list});
    QCOMPARE(projects.getFirstProject(), list);
}

// --- Order -----------------------------------------------------------------------------------------

void TestProjects::alphabeticalOrder()
{
    DocumentFixture f;
    ProjectListController &projects = f.document->projects();
    const QStringList names{QStringLiteral("cherry"), QStringLiteral("Banana"), QStringLiteral("apple"),
                            QStringLiteral("Date")};
    const QList<int> indices{4000, 3000, 2000, 1000};
    for (int i = 0; i < names.size(); ++i)
        f.document->addNewProjectWithName(names[i])->setIndex(indices[i]);
    projects.projectsArrayController()->rearrangeObjects();
    QCOMPARE(shownNames(projects), names);
    projects.selectRow(0); // "cherry"
    f.view.calls.clear();

    f.document->toggleProjectAlphabeticalOrder(true);
    // Case does not count: plain code points would put "Banana" and "Date" first.
    QCOMPARE(shownNames(projects), (QStringList{"apple", "Banana", "cherry", "Date"}));
    QVERIFY(projects.alphabeticalOrder());
    QVERIFY(!projects.canDragLists());
    QCOMPARE(Defaults::standard().boolValue(QStringLiteral("kAlphabeticalProjectOrder")), true);
    QCOMPARE(projects.selectedList()->name(), QStringLiteral("cherry"));
    QVERIFY(f.view.calls.contains(QStringLiteral("scrollSidebarRowToVisible 2")));

    f.view.calls.clear();
    f.document->toggleProjectAlphabeticalOrder(false);
    QCOMPARE(shownNames(projects), names);
    QVERIFY(projects.canDragLists());
    QVERIFY(Defaults::standard().contains(QStringLiteral("kAlphabeticalProjectOrder")));
    QCOMPARE(Defaults::standard().boolValue(QStringLiteral("kAlphabeticalProjectOrder"), true), false);
    QVERIFY(f.view.calls.contains(QStringLiteral("scrollSidebarRowToVisible 0")));
}

void TestProjects::loadAppliesStoredOrder()
{
    DocumentFixture f;
    ProjectListController &projects = f.document->projects();
    f.document->addNewProjectWithName(QStringLiteral("b"))->setIndex(2000);
    f.document->addNewProjectWithName(QStringLiteral("a"))->setIndex(1000);
    Defaults::standard().setValue(QStringLiteral("kAlphabeticalProjectOrder"), true);

    projects.load();
    QVERIFY(projects.alphabeticalOrder());
    QCOMPARE(shownNames(projects), (QStringList{"a", "b"}));
}

// --- Selection -------------------------------------------------------------------------------------

void TestProjects::selectProjectTellsLocalListsApart()
{
    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000, 2000, 1000});
    ProjectListController &projects = f.document->projects();
    for (TODOList *list : lists)
        QCOMPARE(list->id_(), 0);
    f.view.calls.clear();

    QCOMPARE(projects.selectProject(lists[1]), 1);
    QCOMPARE(projects.selectedList(), lists[1]);
    QCOMPARE(projects.selectProject(lists[2]), 2);
    QCOMPARE(projects.selectedList(), lists[2]);
    QCOMPARE(f.view.calls.filter(QStringLiteral("scrollSidebarRowToVisible")),
             (QStringList{QStringLiteral("scrollSidebarRowToVisible 1"), QStringLiteral("scrollSidebarRowToVisible 2")}));

    // A local list that is not shown is not found, and the selection stays.
    auto *hidden = f.document->addNewProjectWithName(QStringLiteral("hidden"));
    projects.markProject(hidden, RecordState::Trashed);
    QCOMPARE(projects.selectProject(hidden), -1);
    QCOMPARE(projects.selectedList(), lists[2]);
    QCOMPARE(projects.selectProject(nullptr), -1);
}

void TestProjects::selectProjectFallsBackToServerId()
{
    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000, 2000});
    ProjectListController &projects = f.document->projects();
    lists[1]->setId_(42);
    // Another record for the same server list that is not shown.
    auto *copy = f.context()->insert<TODOList>(TODOList::EntityName);
    copy->setId_(42);
    copy->setState(RecordState::Trashed);

    QCOMPARE(projects.selectProject(copy), 1);
    QCOMPARE(projects.selectedList(), lists[1]);
}

void TestProjects::selectedProjectChangedOnlyForNewRecord()
{
    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000, 2000});
    ProjectListController &projects = f.document->projects();
    QSignalSpy changed(&projects, &ProjectListController::selectedProjectChanged);

    projects.selectRow(1);
    QCOMPARE(changed.count(), 1);

    // A new list above it moves the selected row, not the selected list.
    f.document->addNewProjectWithName(QStringLiteral("top"))->setIndex(9000);
    projects.projectsArrayController()->rearrangeObjects();
    QCOMPARE(projects.selectedRow(), 2);
    QCOMPARE(projects.selectedList(), lists[1]);
    QCOMPARE(changed.count(), 1);

    projects.selectRow(0);
    QCOMPARE(changed.count(), 2);
    projects.selectRow(-1);
    QCOMPARE(changed.count(), 3);
    QVERIFY(!projects.selectedList());
}

void TestProjects::getSelectedProjectLogsWithoutSelection()
{
    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000, 2000});
    ProjectListController &projects = f.document->projects();

    QTest::ignoreMessage(QtInfoMsg, "getSelectedProject: No selected list, or more than one; Returning nil.");
    QVERIFY(!projects.getSelectedProject());

    projects.projectsArrayController()->setSelectionIndexes({0, 1});
    QVERIFY(!projects.selectedList());
    QTest::ignoreMessage(QtInfoMsg, "getSelectedProject: No selected list, or more than one; Returning nil.");
    QVERIFY(!projects.getSelectedProject());

    projects.selectRow(1);
    QCOMPARE(projects.getSelectedProject(), lists[1]);
}

void TestProjects::lastSelectedRowRestoredAfterLoad_data()
{
    QTest::addColumn<int>("storedRow");
    QTest::addColumn<int>("expectedRow");

    QTest::newRow("middle row") << 1 << 1;
    QTest::newRow("last row") << 2 << 2;
    QTest::newRow("past the end") << 3 << -1;
    QTest::newRow("negative") << -1 << -1;
}

void TestProjects::lastSelectedRowRestoredAfterLoad()
{
    QFETCH(int, storedRow);
    QFETCH(int, expectedRow);

    DocumentFixture f;
    makeLists(f, {3000, 2000, 1000});
    ProjectListController &projects = f.document->projects();
    Defaults::standard().setValue(QStringLiteral("lastSelectedProjectRow"), storedRow);
    f.view.calls.clear();

    projects.load();
    // Not at once: the sidebar selects the row a moment later.
    QCOMPARE(projects.selectedRow(), -1);

    if (expectedRow >= 0) {
        QTRY_COMPARE(projects.selectedRow(), expectedRow);
        QVERIFY(f.view.calls.contains(QStringLiteral("scrollSidebarRowToVisible %1").arg(expectedRow)));
    } else {
        QTest::qWait(400);
        QCOMPARE(projects.selectedRow(), -1);
        QVERIFY(!f.view.called(QStringLiteral("scrollSidebarRowToVisible")));
    }
}

// --- Cloning ---------------------------------------------------------------------------------------

void TestProjects::cloneWithoutSelectionLogs()
{
    DocumentFixture f;
    makeLists(f, {3000, 2000});
    ProjectListController &projects = f.document->projects();
    const auto before = f.context()->objects(TODOList::EntityName).size();

    QTest::ignoreMessage(QtWarningMsg, "ERROR: Can only clone one list at a time");
    QVERIFY(!projects.cloneSelectedProjectWithItems(true));
    projects.projectsArrayController()->setSelectionIndexes({0, 1});
    QTest::ignoreMessage(QtWarningMsg, "ERROR: Can only clone one list at a time");
    QVERIFY(!projects.cloneSelectedProjectWithItems(false));

    QCOMPARE(f.context()->objects(TODOList::EntityName).size(), before);
}

void TestProjects::cloneSavesAndLogs_data()
{
    QTest::addColumn<bool>("withStore");
    QTest::newRow("saved") << true;
    QTest::newRow("saving fails") << false;
}

void TestProjects::cloneSavesAndLogs()
{
    QFETCH(bool, withStore);

    DocumentFixture f;
    if (withStore)
        QVERIFY(f.context()->create(f.dir.filePath(QStringLiteral("store.sqlite"))));
    const QList<TODOList *> lists = makeLists(f, {3000, 2000});
    ProjectListController &projects = f.document->projects();
    projects.selectRow(1);

    if (withStore) {
        QTest::ignoreMessage(QtInfoMsg, "Attempted to save file successfully after cloning");
    } else {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Error saving file: ")));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Error saving file after cloning\\. Exception: '.+'$")));
    }
    QVERIFY(projects.cloneSelectedProjectWithItems(true));

    // The clone stays and is shown either way.
    QCOMPARE(projects.getAllProjects().size(), 3);
    if (withStore)
        QVERIFY(!f.context()->hasChanges());
    else
        QCOMPARE(f.alerts.warnings, QStringList{QStringLiteral("File could not be saved!")});
}

// --- Debug listing -----------------------------------------------------------------------------------

void TestProjects::logAllListsLines()
{
    DocumentFixture f;
    const QList<TODOList *> lists = makeLists(f, {3000});
    lists[0]->setId_(17);
    TODOItem *item = addItem(f, lists[0], 2, QStringLiteral("Milk"), RecordState::Trashed);
    item->setId_(5);

    QTest::ignoreMessage(QtInfoMsg, "List, ID: 17. NAME: L0, STATE: 0");
    QTest::ignoreMessage(QtInfoMsg, "     Item, ID: 5. NAME: Milk, STATE: 2");
    f.document->projects().logAllLists();
}

QTEST_GUILESS_MAIN(TestProjects)
#include "tst_projects.moc"
