// The window's models across a sync: the document stays, and with it the
// filters, the selection, the lists trashed since opening and the undo history.
#include "DocumentFakes.h"
#include "DocumentPresenter.h"
#include "PayloadBuilder.h"
#include "ProjectListModel.h"
#include "QuadrantItemModel.h"
#include "ServerDataMerger.h"
#include "UndoManager.h"
#include "UndoState.h"
#include "WireLists.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

class TestPresenter : public QObject
{
    Q_OBJECT
private slots:
    void survivesAMerge();
};

void TestPresenter::survivesAMerge()
{
    DocumentFixture f;
    MyDocument *document = f.document.get();
    TODOList *home = f.selectedList("Home");
    TODOList *work = document->addNewProjectWithName("Work");
    TODOList *old = document->addNewProjectWithName("Old");
    home->setId_(11), work->setId_(12), old->setId_(13);
    const QStringList names{"task a", "task b", "task c", "other"};
    for (const QString &name : names)
        f.item(0, name);
    document->filters().setSearchText("task");
    document->updateFilters();
    auto *presenter = new DocumentPresenter(document);
    QuadrantItemModel *quadrant = presenter->quadrantModel(0);
    QAbstractItemModelTester quadrantTester(quadrant);
    QAbstractItemModelTester sidebarTester(presenter->projectListModel());
    QCOMPARE(quadrant->rowCount(), 3);
    TODOItem *chosen = quadrant->itemAt(1);
    quadrant->selectionModel()->select(quadrant->index(1), QItemSelectionModel::ClearAndSelect);
    document->projects().markProject(old, RecordState::Trashed);
    f.context()->processPendingChanges();
    f.context()->undoManager()->closeAutomaticGroup();

    // The reply: the server renamed "task a" and no longer holds "Work".
    TODOItem *renamed = quadrant->itemAt(0);
    const QString before = renamed->name();
    renamed->setName("task a, renamed elsewhere");
    const WireLists reply = PayloadBuilder(*document).allData({home, old}, false);
    renamed->setName(before);
    f.context()->processPendingChanges();
    f.context()->undoManager()->closeAutomaticGroup();
    QSignalSpy resets(quadrant, &QAbstractItemModel::modelReset);
    ServerDataMerger(*document).merge(reply);
    f.context()->processPendingChanges();

    QCOMPARE(renamed->name(), QStringLiteral("task a, renamed elsewhere"));
    QCOMPARE(work->state(), int(RecordState::Deleted));
    QCOMPARE(presenter->projectListModel()->rowCount(), 1);
    QCOMPARE(document->projects().getTrashedProjects(), QList<TODOList *>{old});
    QCOMPARE(document->getSelectedProject(), home);
    QCOMPARE(document->filters().searchText(), QStringLiteral("task"));
    QCOMPARE(quadrant->rowCount(), 3);
    QCOMPARE(resets.size(), 0);
    const QModelIndexList selected = quadrant->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(quadrant->itemAt(selected.first().row()), chosen);
    QCOMPARE(document->selectedItemsInQuadrant(0), QList<TODOItem *>{chosen});
    // The merge made no undo step: the user's own steps are still there.
    QVERIFY(presenter->undoState()->canUndo());
    f.context()->undoManager()->undo(); // the rename back, then the trashing
    f.context()->undoManager()->undo();
    QCOMPARE(old->state(), int(RecordState::Open));
}

QTEST_MAIN(TestPresenter)
#include "tst_presenter.moc"
