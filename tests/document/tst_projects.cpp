// The list sidebar's operations without a window: order, reordering by
// dragging, delete, selection and the quadrant overviews.

#include "DocumentFakes.h"
#include "TestSupport.h"

#include "ArrayController.h"
#include "ProjectListController.h"

#include <QTest>
#include <QTimer>

namespace {

// Lists "L0".."Ln" with the given indices, shown in index order.
QList<TODOList *> makeLists(DocumentFixture &f, const QList<int> &indices)
{
    QList<TODOList *> lists;
    for (int i = 0; i < indices.size(); ++i) {
        lists << f.document->addNewProjectWithName(QStringLiteral("L%1").arg(i));
        lists.last()->setIndex(indices[i]);
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

} // namespace

class TestProjects : public QObject
{
    Q_OBJECT

private slots:

    void listDrop_data()
    {
        QTest::addColumn<QList<int>>("indices");
        QTest::addColumn<bool>("alphabetical");
        QTest::addColumn<int>("draggedRow");
        QTest::addColumn<int>("dropRow");
        QTest::addColumn<bool>("dropAbove");
        QTest::addColumn<QString>("order"); // row names by their number; empty: refused
        QTest::addColumn<QList<int>>("finalIndices");

        const QList<int> spread{7000, 6000, 5000, 4000, 3000, 2000, 1000}, tight{7, 6, 5, 4, 3, 2, 1};
        // Moving up, or dropped above: the target's index plus 1; moving down onto a row: minus 1.
        QTest::newRow("row 5 onto row 2") << spread << false << 5 << 2 << false << "0152346" << QList<int>{7000, 6000, 5001, 5000, 4000, 3000, 1000};
        QTest::newRow("row 2 above row 5") << spread << false << 2 << 5 << true << "0134256" << QList<int>{7000, 6000, 4000, 3000, 2001, 2000, 1000};
        // With no gaps the new index ties; the repair restores a strict order without moving rows.
        QTest::newRow("tight: row 5 onto row 2") << tight << false << 5 << 2 << false << "0152346" << QList<int>{7, 6, -994, -1994, -2994, -3994, -4994};
        QTest::newRow("alphabetical order") << spread << true << 3 << 1 << false << QString() << spread;
        QTest::newRow("after the last row") << spread << false << 1 << 7 << true << QString() << spread;
        QTest::newRow("no dragged row") << spread << false << -1 << 1 << false << QString() << spread;
    }

    void listDrop()
    {
        QFETCH(QList<int>, indices);
        QFETCH(bool, alphabetical);
        QFETCH(int, draggedRow);
        QFETCH(int, dropRow);
        QFETCH(bool, dropAbove);
        QFETCH(QString, order);

        DocumentFixture f;
        makeLists(f, indices);
        ProjectListController &projects = f.document->projects();
        projects.setAlphabeticalOrder(alphabetical);
        const QStringList before = shownNames(projects);

        QCOMPARE(projects.acceptListDrop(draggedRow, dropRow, dropAbove), !order.isEmpty());
        QStringList expected = before;
        for (int i = 0; i < order.size(); ++i)
            expected[i] = QStringLiteral("L") + order[i];
        QCOMPARE(shownNames(projects), expected);
        projects.setAlphabeticalOrder(false);
        QList<int> shownIndices;
        for (const TODOList *list : projects.getAllProjects())
            shownIndices << list->index();
        QTEST(shownIndices, "finalIndices");
    }

    void overview_data()
    {
        QTest::addColumn<QString>("searchText");
        QTest::addColumn<bool>("onlyDated");
        QTest::addColumn<QDateTime>("minDate");
        QTest::addColumn<QStringList>("owners");
        QTest::addColumn<QList<int>>("counts");

        const QDateTime none, january(QDate(2024, 1, 1), QTime(0, 0));
        QTest::newRow("no filter") << QString() << false << none << QStringList() << QList<int>{2, 1, 0, 1};
        // The search looks at names and notes.
        QTest::newRow("search") << QStringLiteral("alpha") << false << none << QStringList() << QList<int>{1, 1, 0, 0};
        QTest::newRow("only dated items") << QString() << true << none << QStringList() << QList<int>{0, 0, 0, 1};
        QTest::newRow("owner") << QString() << false << none << QStringList{QStringLiteral("bob")} << QList<int>{1, 0, 0, 0};
        // Undated items stay; the item due outside the range goes.
        QTest::newRow("date range") << QString() << false << january << QStringList() << QList<int>{2, 1, 0, 0};
    }

    void overview()
    {
        QFETCH(QString, searchText);
        QFETCH(bool, onlyDated);
        QFETCH(QDateTime, minDate);
        QFETCH(QStringList, owners);

        DocumentFixture f;
        Clock::setNow(QDateTime(QDate(2024, 1, 15), QTime(12, 0)));
        const QDateTime maxDate = minDate.isValid() ? minDate.addMonths(1) : QDateTime();
        TODOList *list = f.selectedList(QStringLiteral("Home"));
        f.item(0, QStringLiteral("Alpha"))->setOwnerUsername(QStringLiteral("bob"));
        f.item(0, QStringLiteral("Beta"))->setState(RecordState::Completed);
        f.item(1, QStringLiteral("Gamma"))->setDescriptionText(QStringLiteral("see ALPHA notes"));
        f.item(1, QStringLiteral("Trashed alpha"))->setState(RecordState::Trashed);
        f.item(2, QStringLiteral("Gone alpha"))->setState(RecordState::Deleted);
        f.item(3, QStringLiteral("Delta"))->setDueDate(QDateTime(QDate(2024, 6, 1), QTime(9, 0)));

        const int anyState = -1;
        ListOverview overview;
        QVERIFY(overview.fill(list, anyState, searchText, onlyDated, minDate, maxDate, onlyDated, owners));
        QTEST(QList<int>(std::begin(overview.overview().counts), std::end(overview.overview().counts)), "counts");
        // A changed input is computed again.
        QVERIFY(overview.fill(list, anyState, searchText, onlyDated, minDate, maxDate, onlyDated, owners + QStringList{"ann"}));
    }

    void deleteList_data()
    {
        QTest::addColumn<QList<int>>("selection");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<int>("trashed"); // -1: none
        QTest::addColumn<QString>("selectedAfter");

        QTest::newRow("last row") << QList<int>{2} << true << 2 << QStringLiteral("L1");
        QTest::newRow("first row") << QList<int>{0} << true << 0 << QStringLiteral("L1");
        QTest::newRow("declined") << QList<int>{2} << false << -1 << QStringLiteral("L2");
        QTest::newRow("two selected") << QList<int>{0, 1} << true << -1 << QString();
        QTest::newRow("none selected") << QList<int>{} << true << -1 << QString();
    }

    void deleteList()
    {
        QFETCH(QList<int>, selection);
        QFETCH(bool, confirmed);
        QFETCH(int, trashed);

        DocumentFixture f;
        const QList<TODOList *> lists = makeLists(f, {3000, 2000, 1000});
        ProjectListController &projects = f.document->projects();
        projects.projectsArrayController()->setSelectionIndexes(selection);
        f.alerts.answer = confirmed;

        projects.markProjectAsDeleted();

        QCOMPARE(f.alerts.messages.size(), selection.size() == 1 ? 1 : 0);
        for (int i = 0; i < lists.size(); ++i)
            QCOMPARE(lists[i]->state(), i == trashed ? int(RecordState::Trashed) : int(RecordState::Open));
        QCOMPARE(projects.getAllProjects().size(), trashed < 0 ? 3 : 2);
        QTEST(projects.selectedList() ? projects.selectedList()->name() : QString(), "selectedAfter");
        // Trashed lists can be brought back, until the server deletes them.
        QCOMPARE(projects.getTrashedProjects(), trashed < 0 ? QList<TODOList *>() : QList<TODOList *>{lists[trashed]});
        projects.markProject(lists[std::max(trashed, 0)], RecordState::Deleted);
        QVERIFY(projects.getTrashedProjects().isEmpty());
    }

    void lastSelectedRowRestoredAfterLoad_data()
    {
        QTest::addColumn<int>("storedRow");
        QTest::addColumn<int>("expectedRow");
        QTest::newRow("last row") << 2 << 2;
        QTest::newRow("past the end") << 3 << -1;
    }

    void lastSelectedRowRestoredAfterLoad()
    {
        QFETCH(int, storedRow);

        DocumentFixture f;
        makeLists(f, {3000, 2000, 1000});
        ProjectListController &projects = f.document->projects();
        Defaults::standard().setValue(QStringLiteral("lastSelectedProjectRow"), storedRow);

        projects.load();
        // Not at once: the sidebar selects the row a moment later, before this timer fires.
        bool restoreDue = false;
        QTimer::singleShot(250, [&restoreDue]() { restoreDue = true; });
        QCOMPARE(projects.selectedRow(), -1);
        QTRY_VERIFY(restoreDue);
        QTEST(projects.selectedRow(), "expectedRow");
    }
};

QTEST_GUILESS_MAIN(TestProjects)
#include "tst_projects.moc"
