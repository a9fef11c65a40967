// Marking lists and items for upload, and what a sync exchange does to it.

#include "ChangeTracker.h"
#include "DocumentFakes.h"
#include "UndoManager.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

namespace {

// Which attribute counts as an edit is tst_records' needToUpload; these rows are the tracker's own paths.
enum Edit { Rename, SyncBookkeeping, SameName, ClearedMark, AddItem, OtherEntity, RenameList, MaximizeQuadrant };

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestChangeTracking : public QObject
{
    Q_OBJECT

    std::unique_ptr<DocumentFixture> m_f;
    TODOList *m_list = nullptr;
    TODOList *m_otherList = nullptr;
    TODOItem *m_item = nullptr;
    TODOItem *m_bystander = nullptr;

    QStringList markedNames() const
    {
        QStringList names;
        for (const QString &entity : {TODOList::EntityName, TODOItem::EntityName})
            for (ManagedObject *object : m_f->context()->objects(entity))
                if (object->intValue(QStringLiteral("edited_since")) == 1)
                    names << object->stringValue(QStringLiteral("name"));
        names.sort();
        return names;
    }

private slots:
    void init()
    {
        m_f = std::make_unique<DocumentFixture>();
        m_otherList = m_f->document->addNewProjectWithName(QStringLiteral("Work"));
        m_list = m_f->selectedList(QStringLiteral("Home"));
        m_item = m_f->item(0, QStringLiteral("Groceries"));
        m_bystander = m_f->item(1, QStringLiteral("Taxes"));
        // What was made before watching starts stays unmarked (every row below checks it).
        m_f->document->enableDidChangeContextNotifications();
    }
    void cleanup() { m_f.reset(); }
    void edits_data();
    void edits();
    void syncExchange();
};

void TestChangeTracking::edits_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<QStringList>("marked");

    const QStringList none;
    QTest::newRow("rename item") << Rename << QStringList{QStringLiteral("Milk")};
    QTest::newRow("sync bookkeeping only") << SyncBookkeeping << none;
    QTest::newRow("same name again") << SameName << none;
    // A merge clears the mark; that alone is no edit.
    QTest::newRow("mark cleared") << ClearedMark << none;
    QTest::newRow("new item") << AddItem << QStringList{QStringLiteral("New task")};
    QTest::newRow("other entity") << OtherEntity << none;
    QTest::newRow("rename list") << RenameList << QStringList{QStringLiteral("House")};
    QTest::newRow("maximized quadrant") << MaximizeQuadrant << none;
}

void TestChangeTracking::edits()
{
    QFETCH(Edit, edit);

    switch (edit) {
    case Rename: m_item->setName(QStringLiteral("Milk")); break;
    case SyncBookkeeping:
        m_item->setTimestamp(1700000000);
        m_item->setHighlight(1);
        m_item->setEdited_by(QStringLiteral("anna"));
        m_item->setServerID(99);
        m_item->setResourceURI(QStringLiteral("/api/v1/todoitem/99/"));
        break;
    case SameName: m_item->setName(QStringLiteral("Groceries")); break;
    case ClearedMark:
        m_item->setEdited_since(1);
        m_f->context()->processPendingChanges();
        m_item->setEdited_since(0);
        break;
    case AddItem: m_f->item(2, QStringLiteral("New task")); break;
    case OtherEntity: m_f->context()->insert(QStringLiteral("CurrentUser"))->setValue(QStringLiteral("email"), QStringLiteral("a@b.org")); break;
    case RenameList: m_list->setName(QStringLiteral("House")); break;
    case MaximizeQuadrant: m_f->document->maximizeQuadrant(3); break;
    }
    // The store announces its changes at the end of the event-loop turn.
    QCoreApplication::processEvents();
    QTEST(markedNames(), "marked");
}

// Tracking is off from just before the upload until 1.0 second after the
// exchange: only the merge's own writes stay unmarked, and nothing done
// meanwhile can be undone.
void TestChangeTracking::syncExchange()
{
    MyDocument &document = *m_f->document;
    UndoManager *undo = m_f->context()->undoManager();
    QCoreApplication::processEvents();
    undo->removeAllActions();

    // An edit of the same event-loop turn as the sync start is still marked.
    m_item->setName(QStringLiteral("Edited before the sync"));
    document.disableDidChangeContextNotifications();
    document.disableDidChangeContextNotifications();
    QCOMPARE(markedNames(), QStringList{QStringLiteral("Edited before the sync")});

    m_bystander->setName(QStringLiteral("Typed during the exchange"));
    QCoreApplication::processEvents();
    TODOItem *merged = nullptr;
    {
        const ChangeTracker::MergeWrites merge(document.changeTracker());
        m_item->setEdited_since(0); // uploaded: the server has it now
        m_list->setName(QStringLiteral("Server name"));
        merged = document.newItemForProject(m_list, 1);
        merged->setName(QStringLiteral("From the server"));
    }
    m_otherList->setName(QStringLiteral("Typed in the second after"));

    document.enableDidChangeContextNotifications();
    document.enableDidChangeContextNotifications();
    QCoreApplication::processEvents();
    QCOMPARE(markedNames(), (QStringList{"Typed during the exchange", "Typed in the second after"}));

    // Nothing done while tracking was off can be undone.
    undo->undo();
    QCOMPARE(m_item->name(), QStringLiteral("Groceries"));
    QCOMPARE(m_bystander->name(), QStringLiteral("Typed during the exchange"));
    QCOMPARE(m_list->name(), QStringLiteral("Server name"));
    QVERIFY(!merged->isDeleted());

    // A quiet sync (nothing marked when tracking returns) between two edits:
    // they stay two undo steps.
    m_item->setName(QStringLiteral("Before a quiet sync"));
    document.disableDidChangeContextNotifications();
    QCoreApplication::processEvents();
    document.enableDidChangeContextNotifications();
    m_item->setName(QStringLiteral("After a quiet sync"));
    QCoreApplication::processEvents();
    undo->undo();
    QCOMPARE(m_item->name(), QStringLiteral("Before a quiet sync"));
}

QTEST_GUILESS_MAIN(TestChangeTracking)
#include "tst_changetracking.moc"
