#include "ChangeTracker.h"
#include "DocumentFakes.h"
#include "UndoManager.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTest>

#include <memory>

namespace {

QStringList g_log;
QtMessageHandler g_previousHandler = nullptr;

void captureMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && qstrcmp(context.category, "corvane.document") == 0)
        g_log.append(message);
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

int logCount(const QString &line)
{
    return int(g_log.count(line));
}

int markLines()
{
    int n = 0;
    for (const QString &line : std::as_const(g_log))
        n += line.startsWith(QLatin1String("NOTIFICATION: Marked ")) ? 1 : 0;
    return n;
}

const QString kEnable = QStringLiteral("ENABLE NSMANAGEDOBJECTCONTEXTOBJECTDIDCHANGENOTIFICATION");
const QString kDisable = QStringLiteral("DISABLE NSMANAGEDOBJECTCONTEXTOBJECTDIDCHANGENOTIFICATION");

QString itemMarkLine(const TODOItem *item)
{
    return QStringLiteral("NOTIFICATION: Marked TODOITEM '%1' as edited with id: '%2'").arg(item->name()).arg(item->id_());
}

QString listMarkLine(const TODOList *list)
{
    return QStringLiteral("NOTIFICATION: Marked TODOList '%1' as edited with id: '%2'").arg(list->name()).arg(list->id_());
}

enum ItemEdit {
    Rename,
    Highlight,
    Timestamp,
    SyncBookkeeping,
    MoveQuadrant,
    ChangeIndex,
    SetDueDate,
    Trash,
    PartlyComplete,
    MoveToOtherList,
    SameName,
};

enum ListEdit {
    RenameList,
    MoveCross,
    MaximizeQuadrant,
    QuadrantTitle,
    QuadrantColor,
    TrashList,
    ListBookkeeping,
};

} // namespace

Q_DECLARE_METATYPE(ItemEdit)
Q_DECLARE_METATYPE(ListEdit)

class TestChangeTracking : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void itemEdits_data();
    void itemEdits();
    void listEdits_data();
    void listEdits();
    void markedAfterEventLoopTurn();
    void insertedRecordsMarked();
    void alreadyMarkedNotExaminedAgain();
    void clearedMarkNotSetAgain();
    void otherEntitiesIgnored();
    void marksInsertedUpdatedDeletedInOrder();
    void disableTwiceLogsOnce();
    void enableTwiceDoesNothing();
    void editsBeforeDisablingAreMarked();
    void editsWhileDisabled_data();
    void editsWhileDisabled();

private:
    void settle() { m_f->context()->processPendingChanges(); }

    std::unique_ptr<DocumentFixture> m_f;
    TODOList *m_list = nullptr;
    TODOList *m_otherList = nullptr;
    TODOItem *m_item = nullptr;
    TODOItem *m_bystander = nullptr;
};

void TestChangeTracking::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("corvane.document.info=true"));
    g_previousHandler = qInstallMessageHandler(captureMessages);
}

void TestChangeTracking::init()
{
    m_f = std::make_unique<DocumentFixture>();
    m_otherList = m_f->document->addNewProjectWithName(QStringLiteral("Work"));
    m_list = m_f->selectedList(QStringLiteral("Home"));
    m_item = m_f->item(0, QStringLiteral("Groceries"));
    m_bystander = m_f->item(1, QStringLiteral("Taxes"));
    QVERIFY(m_item && m_bystander);

    g_log.clear();
    // What was made before watching starts is announced unmarked.
    m_f->document->enableDidChangeContextNotifications();
    QVERIFY(m_f->document->isReceivingEditingNotifications());
    QCOMPARE(logCount(kEnable), 1);
    QCOMPARE(m_item->edited_since(), 0);
    QCOMPARE(m_bystander->edited_since(), 0);
    QCOMPARE(m_list->edited_since(), 0);
    QCOMPARE(m_otherList->edited_since(), 0);
    QCOMPARE(markLines(), 0);
    g_log.clear();
}

void TestChangeTracking::cleanup()
{
    m_f.reset();
    g_log.clear();
}

void TestChangeTracking::itemEdits_data()
{
    QTest::addColumn<ItemEdit>("edit");
    QTest::addColumn<bool>("marked");

    QTest::newRow("rename") << Rename << true;
    QTest::newRow("highlight only") << Highlight << false;
    QTest::newRow("timestamp only") << Timestamp << false;
    QTest::newRow("sync bookkeeping only") << SyncBookkeeping << false;
    QTest::newRow("move to another quadrant") << MoveQuadrant << true;
    QTest::newRow("index only") << ChangeIndex << true;
    QTest::newRow("due date") << SetDueDate << true;
    QTest::newRow("trash") << Trash << true;
    QTest::newRow("completion percentage") << PartlyComplete << true;
    QTest::newRow("move to another list") << MoveToOtherList << true;
    QTest::newRow("same name again") << SameName << false;
}

void TestChangeTracking::itemEdits()
{
    QFETCH(ItemEdit, edit);
    QFETCH(bool, marked);

    switch (edit) {
    case Rename:
        m_item->setName(QStringLiteral("Milk and bread"));
        break;
    case Highlight:
        m_item->setHighlight(1);
        break;
    case Timestamp:
        m_item->setTimestamp(1700000000);
        break;
    case SyncBookkeeping:
        m_item->setTimestamp(1700000000);
        m_item->setEdited_by(QStringLiteral("anna"));
        m_item->setEditedByDevice(QStringLiteral("abc"));
        m_item->setServerID(99);
        m_item->setResourceURI(QStringLiteral("/api/v1/todoitem/99/"));
        break;
    case MoveQuadrant:
        m_item->setQuadrant(2);
        m_item->setIndex(m_item->index() + 100);
        break;
    case ChangeIndex:
        m_item->setIndex(m_item->index() + 100);
        break;
    case SetDueDate:
        m_item->setDueDate(QDateTime(QDate(2025, 6, 1), QTime(9, 0)));
        break;
    case Trash:
        m_f->document->markTODOItemAsTrashed(m_item, m_list);
        break;
    case PartlyComplete:
        m_f->document->markTODOItem(m_item, m_list, m_f->document->controllerForQuadrant(0), 50);
        break;
    case MoveToOtherList:
        m_item->setList(m_otherList);
        break;
    case SameName:
        m_item->setName(QStringLiteral("Groceries"));
        break;
    }
    settle();

    QCOMPARE(m_item->edited_since(), marked ? 1 : 0);
    QCOMPARE(logCount(itemMarkLine(m_item)), marked ? 1 : 0);
    QCOMPARE(markLines(), marked ? 1 : 0);
    // Nothing else is marked along with it.
    QCOMPARE(m_bystander->edited_since(), 0);
    QCOMPARE(m_list->edited_since(), 0);
    QCOMPARE(m_otherList->edited_since(), 0);
}

void TestChangeTracking::listEdits_data()
{
    QTest::addColumn<ListEdit>("edit");
    QTest::addColumn<bool>("marked");

    QTest::newRow("rename") << RenameList << true;
    QTest::newRow("quadrant cross") << MoveCross << false;
    QTest::newRow("maximized quadrant") << MaximizeQuadrant << false;
    QTest::newRow("quadrant title") << QuadrantTitle << true;
    QTest::newRow("quadrant colour") << QuadrantColor << true;
    QTest::newRow("trash") << TrashList << true;
    QTest::newRow("bookkeeping only") << ListBookkeeping << false;
}

void TestChangeTracking::listEdits()
{
    QFETCH(ListEdit, edit);
    QFETCH(bool, marked);

    switch (edit) {
    case RenameList:
        m_list->setName(QStringLiteral("House"));
        break;
    case MoveCross:
        m_list->setCenterX(m_list->centerX() + 12.5);
        m_list->setCenterY(m_list->centerY() + 7.5);
        break;
    case MaximizeQuadrant:
        m_f->document->maximizeQuadrant(3);
        QCOMPARE(m_list->centerX(), 10.0);
        break;
    case QuadrantTitle:
        m_list->setTextFirstQuadrant(QStringLiteral("Now"));
        break;
    case QuadrantColor:
        m_list->setColorSecondQuadrant(QStringLiteral("{0.1, 0.2, 0.3, 1}"));
        break;
    case TrashList:
        m_list->setState(RecordState::Trashed);
        break;
    case ListBookkeeping:
        m_list->setLastItemIndex(m_list->lastItemIndex() + 5);
        m_list->setTimestamp(1700000000);
        m_list->setHighlight(1);
        break;
    }
    settle();

    QCOMPARE(m_list->edited_since(), marked ? 1 : 0);
    QCOMPARE(logCount(listMarkLine(m_list)), marked ? 1 : 0);
    QCOMPARE(markLines(), marked ? 1 : 0);
    QCOMPARE(m_item->edited_since(), 0);
    QCOMPARE(m_otherList->edited_since(), 0);
}

void TestChangeTracking::markedAfterEventLoopTurn()
{
    m_item->setName(QStringLiteral("Renamed"));
    QTRY_COMPARE(m_item->edited_since(), 1);
    QCOMPARE(logCount(itemMarkLine(m_item)), 1);
    QCOMPARE(m_bystander->edited_since(), 0);
}

void TestChangeTracking::insertedRecordsMarked()
{
    TODOItem *added = m_f->item(2, QStringLiteral("New task"));
    TODOList *addedList = m_f->document->addNewProjectWithName(QStringLiteral("Fresh"));
    QVERIFY(added && addedList);
    settle();

    QCOMPARE(added->edited_since(), 1);
    QCOMPARE(addedList->edited_since(), 1);
    QCOMPARE(logCount(itemMarkLine(added)), 1);
    QCOMPARE(logCount(listMarkLine(addedList)), 1);
    // Adding an item changes only untracked bookkeeping of its list.
    QCOMPARE(m_list->edited_since(), 0);
}

void TestChangeTracking::alreadyMarkedNotExaminedAgain()
{
    m_item->setName(QStringLiteral("First"));
    settle();
    QCOMPARE(m_item->edited_since(), 1);
    QCOMPARE(markLines(), 1);

    m_item->setName(QStringLiteral("Second"));
    m_item->setQuadrant(3);
    settle();
    QCOMPARE(m_item->edited_since(), 1);
    QCOMPARE(markLines(), 1);

    // Another turn of the loop announces nothing new.
    QCoreApplication::processEvents();
    QCOMPARE(markLines(), 1);
}

void TestChangeTracking::clearedMarkNotSetAgain()
{
    m_item->setName(QStringLiteral("Edited"));
    settle();
    QCOMPARE(m_item->edited_since(), 1);

    // Clearing the mark alone (as a merge does) is no edit.
    m_item->setEdited_since(0);
    settle();
    QCoreApplication::processEvents();
    QCOMPARE(m_item->edited_since(), 0);
    QCOMPARE(markLines(), 1);
}

void TestChangeTracking::otherEntitiesIgnored()
{
    ManagedObject *user = m_f->context()->insert(QStringLiteral("CurrentUser"));
    QVERIFY(user);
    user->setValue(QStringLiteral("email"), QStringLiteral("anna@example.org"));
    settle();
    QCOMPARE(markLines(), 0);
    QVERIFY(!m_f->document->getAllProjects().isEmpty());
}

void TestChangeTracking::marksInsertedUpdatedDeletedInOrder()
{
    // Pending edits: outside a notification each record answers for the
    // changes not announced yet.
    m_f->document->disableDidChangeContextNotifications();
    m_item->setName(QStringLiteral("A"));
    m_bystander->setName(QStringLiteral("B"));
    m_list->setName(QStringLiteral("L"));
    g_log.clear();

    ObjectsChange change;
    change.inserted = {m_bystander};
    change.updated = {m_list};
    change.deleted = {m_item};
    m_f->document->changeTracker().markStuffAsEdited(change);

    const QStringList expected = {itemMarkLine(m_bystander), listMarkLine(m_list), itemMarkLine(m_item)};
    QStringList marks;
    for (const QString &line : std::as_const(g_log)) {
        if (line.startsWith(QLatin1String("NOTIFICATION: ")))
            marks << line;
    }
    QCOMPARE(marks, expected);

    // An empty change is fine.
    m_f->document->changeTracker().markStuffAsEdited(ObjectsChange{});
    QCOMPARE(markLines(), 3);
}

void TestChangeTracking::disableTwiceLogsOnce()
{
    UndoManager *undo = m_f->context()->undoManager();
    QVERIFY(undo);

    m_f->document->disableDidChangeContextNotifications();
    m_f->document->disableDidChangeContextNotifications();
    QCOMPARE(logCount(kDisable), 1);
    QVERIFY(!m_f->document->isReceivingEditingNotifications());
    QCOMPARE(m_f->context()->undoManager(), nullptr);

    m_f->document->enableDidChangeContextNotifications();
    QCOMPARE(logCount(kEnable), 1);
    QVERIFY(m_f->document->isReceivingEditingNotifications());
    // The second disable must not have lost the undo manager.
    QCOMPARE(m_f->context()->undoManager(), undo);
}

void TestChangeTracking::enableTwiceDoesNothing()
{
    UndoManager *undo = m_f->context()->undoManager();
    m_f->document->enableDidChangeContextNotifications();
    QCOMPARE(logCount(kEnable), 0);
    QVERIFY(m_f->document->isReceivingEditingNotifications());
    QCOMPARE(m_f->context()->undoManager(), undo);

    // One disable still stops all watching: the observer was attached once.
    m_f->document->disableDidChangeContextNotifications();
    m_item->setName(QStringLiteral("Changed by sync"));
    settle();
    QCOMPARE(m_item->edited_since(), 0);
    QCOMPARE(markLines(), 0);
}

void TestChangeTracking::editsBeforeDisablingAreMarked()
{
    m_item->setName(QStringLiteral("Edited just before sync"));
    // Not announced yet: disabling announces it while still watching.
    m_f->document->disableDidChangeContextNotifications();
    QCOMPARE(m_item->edited_since(), 1);
    QCOMPARE(logCount(itemMarkLine(m_item)), 1);
    // The disable line comes first, then the mark.
    QCOMPARE(g_log.indexOf(kDisable), 0);
    QCOMPARE(g_log.indexOf(itemMarkLine(m_item)), 1);
}

void TestChangeTracking::editsWhileDisabled_data()
{
    QTest::addColumn<bool>("announcedWhileOff");

    QTest::newRow("announced when watching resumes") << false;
    QTest::newRow("announced by the event loop while off") << true;
}

void TestChangeTracking::editsWhileDisabled()
{
    QFETCH(bool, announcedWhileOff);

    ManagedObjectContext *context = m_f->context();
    UndoManager *undo = context->undoManager();
    QVERIFY(undo);
    settle();
    undo->closeAutomaticGroup();
    undo->removeAllActions();
    QVERIFY(!undo->canUndo());

    m_f->document->disableDidChangeContextNotifications();
    QCOMPARE(context->undoManager(), nullptr);

    // What a merge of server data does.
    m_item->setName(QStringLiteral("From the server"));
    m_item->setQuadrant(3);
    m_list->setName(QStringLiteral("Server name"));
    TODOItem *merged = m_f->document->newItemForProject(m_list, 1);
    merged->setName(QStringLiteral("Merged item"));
    if (announcedWhileOff)
        QCoreApplication::processEvents();

    m_f->document->enableDidChangeContextNotifications();
    QCOMPARE(context->undoManager(), undo);
    QCoreApplication::processEvents();
    settle();

    QCOMPARE(m_item->edited_since(), 0);
    QCOMPARE(m_list->edited_since(), 0);
    QCOMPARE(merged->edited_since(), 0);
    QCOMPARE(markLines(), 0);
    QVERIFY(!undo->canUndo());

    // Watching works again, with undo.
    m_bystander->setName(QStringLiteral("Edited by the user"));
    settle();
    QCOMPARE(m_bystander->edited_since(), 1);
    QCOMPARE(m_item->edited_since(), 0);
    QVERIFY(undo->canUndo());
    undo->closeAutomaticGroup();
    undo->undo();
    QCOMPARE(m_bystander->name(), QStringLiteral("Taxes"));
    QCOMPARE(m_item->name(), QStringLiteral("From the server"));
}

QTEST_GUILESS_MAIN(TestChangeTracking)
#include "tst_changetracking.moc"
