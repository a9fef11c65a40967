// The Edit menu's undo and redo entries follow the history.
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "TestSupport.h"
#include "UndoState.h"

#include <QSignalSpy>
#include <QTest>

class TestUndoState : public QObject
{
    Q_OBJECT
private slots:
    void menuFollowsHistory();
};

// A named step is offered under its name and can be undone and redone; a new
// edit after an undo takes the redo entry away.
void TestUndoState::menuFollowsHistory()
{
    ManagedObjectContext context(testModel());
    UndoState state(context.undoManager());
    QSignalSpy changed(&state, &UndoState::changed);
    QVERIFY(!state.canUndo() && !state.canRedo());

    ManagedObject *note = context.insert(QStringLiteral("Note"));
    context.undoManager()->setActionName(QStringLiteral("Add Note"));
    context.processPendingChanges();
    context.undoManager()->closeAutomaticGroup();
    QVERIFY(state.canUndo());
    QCOMPARE(state.undoText(), QStringLiteral("Undo Add Note"));
    QVERIFY(!changed.isEmpty());

    context.undoManager()->undo();
    QVERIFY(note->isDeleted());
    QVERIFY(state.canRedo() && !state.canUndo());

    context.undoManager()->redo();
    QVERIFY(!note->isDeleted());
    note->setValue(QStringLiteral("count"), 3);
    context.processPendingChanges();
    QVERIFY(state.canUndo());
    QVERIFY(!state.canRedo());
}

QTEST_GUILESS_MAIN(TestUndoState)
#include "tst_undostate.moc"
