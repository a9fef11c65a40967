// The document's item operations, selection, cross position, set-up and saving.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "TestSupport.h"

#include <QTest>

#include <limits>

namespace {

constexpr int kMax = std::numeric_limits<int>::max();
constexpr int kMin = std::numeric_limits<int>::min();

std::unique_ptr<MyDocument> documentWithStore(DocumentFixture &f, const QString &name)
{
    auto context = std::make_unique<ManagedObjectContext>(todoListModel());
    if (!context->create(f.dir.filePath(name)))
        return nullptr;
    auto document = std::make_unique<MyDocument>(std::move(context));
    document->setAlerts(&f.alerts);
    return document;
}

} // namespace

class TestDocument : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(23, 30))); }

    void adding_data()
    {
        QTest::addColumn<QList<int>>("existing");
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("showing");
        QTest::addColumn<int>("dueDate");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("showingAfter");
        QTest::addColumn<int>("row"); // where the new item shows
        // The new item goes below the last row; the 32-bit index wraps as stored.
        QTest::newRow("empty quadrant") << QList<int>{} << QString() << 1 << 0 << 0 << 1 << 0;
        QTest::newRow("last row -994") << QList<int>{1006, 6, -994} << QString() << 0 << 0 << -1094 << 0 << 3;
        QTest::newRow("last row at the 32-bit limit") << QList<int>{kMin} << QString() << 1 << 0 << kMax - 99 << 1 << 0;
        // Each filter that would hide the new item goes back to its normal choice.
        QTest::newRow("dated items only") << QList<int>{} << QString() << 0 << 1 << 0 << 0 << 0;
        QTest::newRow("all three") << QList<int>{} << "xyz" << 2 << 1 << 0 << 1 << 0;
    }

    void adding()
    {
        QFETCH(QList<int>, existing);
        QFETCH(QString, search);
        QFETCH(int, showing);
        QFETCH(int, dueDate);
        QFETCH(int, index);
        DocumentFixture f;
        TODOList *list = f.selectedList();
        for (int i : existing)
            f.document->newItemForProject(list, 1)->setIndex(i);
        f.document->filters().setSearchText(search);
        f.document->filters().setShowingChoice(showing);
        f.document->filters().setHasDueDateChoice(dueDate);
        f.document->updateFilters();
        list->setLastItemIndex(kMax);

        TODOItem *item = f.document->addTODOItemToQuadrant(1);
        QCOMPARE(item->index(), index);
        QCOMPARE(list->lastItemIndex(), kMin);
        const int row = f.document->controllerForQuadrant(1)->indexOfArrangedObject(item);
        QTEST(row, "row");
        QCOMPARE(f.document->selectedItemsInQuadrant(1), QList<TODOItem *>{item});
        QVERIFY(f.view.calls.contains(QStringLiteral("beginEditingRow 1 %1").arg(row)));
        QCOMPARE(f.document->filters().searchText(), QString());
        QTEST(f.document->filters().showingChoice(), "showingAfter");
        QCOMPARE(f.document->filters().hasDueDateChoice(), 0);
        QCOMPARE(f.document->addTODOItemToQuadrant(4), nullptr);
        f.document->projects().selectRow(-1);
        QCOMPARE(f.document->addTODOItemToQuadrant(1), nullptr); // no list selected
    }

    void markingFollowsThePercentage()
    {
        DocumentFixture f;
        TODOList *list = f.selectedList();
        TODOItem *item = f.item(1, "Report");

        f.document->markClickedItemAsDone(1, 0);
        QCOMPARE(item->state(), 1);
        QCOMPARE(item->completionPercentage(), 100);
        QCOMPARE(item->completionDate(), Clock::now());
        item->setCompletionDate(Clock::now().addDays(-9));
        f.document->markTODOItem(item, list, nullptr, 100);
        QCOMPARE(item->completionDate(), Clock::now().addDays(-9)); // a present one is kept

        f.document->markClickedItemAsDone(1, 0);
        QCOMPARE(item->state(), 0);
        QCOMPARE(item->completionPercentage(), 0);
        QVERIFY(!item->completionDate().isValid());

        // A trashed item keeps its completion.
        f.document->markTODOItem(item, list, nullptr, 100);
        item->setState(RecordState::Trashed);
        f.document->markTODOItem(item, list, nullptr, 20);
        QCOMPARE(item->state(), int(RecordState::Trashed));
        QCOMPARE(item->completionPercentage(), 100);
    }

    void confirmedActionsOnTheSelection_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::addColumn<QString>("question");
        QTest::addColumn<int>("state");
        QTest::newRow("complete") << false << "Are you sure you want to complete the selected 2 items?|" << 1;
        QTest::newRow("delete") << true << "Are you sure you want to delete 2 items?|Deleted items cannot be restored." << 2;
    }

    // Nothing happens without a yes; then the rows go and the selection moves to a remaining row.
    void confirmedActionsOnTheSelection()
    {
        QFETCH(bool, deleting);
        QFETCH(int, state);
        DocumentFixture f;
        TODOList *list = f.selectedList();
        f.document->updateFilters(); // open items only
        for (int i = 0; i < 4; ++i)
            f.item(0, QStringLiteral("item %1").arg(i))->setDueDate(Clock::now().addDays(i));
        f.document->enableQuadrant(0, {2, 3}, false);
        const QList<TODOItem *> selected = f.document->selectedItemsInQuadrant(0);
        const auto act = [&] { deleting ? f.document->markItemsAsDeleted() : f.document->markListOrItemsAsCompleted(); };

        f.alerts.queued = {false, true};
        act();
        QCOMPARE(selected[0]->state(), 0);
        act();
        QTEST(f.alerts.messages.last(), "question");
        for (TODOItem *item : selected) {
            QCOMPARE(item->state(), state);
            QCOMPARE(item->list(), list); // a trashed item stays in its list
        }
        ArrayController *c = f.document->controllerForQuadrant(0);
        QCOMPARE(c->arrangedObjects().size(), 2);
        QCOMPARE(c->selectionIndexes(), QList<int>{1});
        QCOMPARE(f.calendar.calls.size(), deleting ? 2 : 0); // the calendar events of trashed items go
    }

    // The question stays open while the store changes (a sync, the selection
    // moving on): the answer acts on the items asked about, as far as they are
    // still there, and never on what is selected by then.
    void answerArrivesAfterChanges()
    {
        QFETCH(bool, deleting);
        QFETCH(int, state);
        DocumentFixture f;
        f.selectedList();
        QList<TODOItem *> items;
        for (int i = 0; i < 4; ++i)
            items << f.item(0, QStringLiteral("item %1").arg(i));
        f.document->enableQuadrant(0, {0, 1}, false);
        const QList<TODOItem *> asked = f.document->selectedItemsInQuadrant(0);
        f.alerts.holdAnswers = true;
        deleting ? f.document->markItemsAsDeleted() : f.document->markListOrItemsAsCompleted();
        QCOMPARE(f.alerts.pending.size(), 1);

        asked[0]->setState(RecordState::Deleted); // gone for good meanwhile
        f.document->enableQuadrant(0, {2, 3}, false);
        const QList<TODOItem *> selectedNow = f.document->selectedItemsInQuadrant(0);
        f.alerts.answerNext(true);

        QCOMPARE(asked[0]->state(), int(RecordState::Deleted));
        QCOMPARE(asked[1]->state(), state);
        for (TODOItem *item : selectedNow)
            QCOMPARE(item->state(), int(RecordState::Open));
    }

    void answerArrivesAfterChanges_data()
    {
        confirmedActionsOnTheSelection_data();
    }

    // A stored position is tst_mainwindow's crossKeptPerList.
    void crossPosition_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<QString>("placed");
        QTest::newRow("none stored: the centre") << 0.0 << 0.0 << "moveQuadrantCross 0.5 0.5 false";
        QTest::newRow("x not stored") << 0.0 << 20.0 << "moveQuadrantCross 0.5 0.2 false";
    }

    void crossPosition()
    {
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(QString, placed);
        DocumentFixture f;
        TODOList *list = f.document->addNewProjectWithName("Cross");
        if (x != 0.0)
            list->setCenterX(x);
        if (y != 0.0)
            list->setCenterY(y);
        f.document->selectProject(list);
        QVERIFY(f.view.calls.contains(placed));
        QCOMPARE(list->hasValue(TODOList::Attr_centerX), x != 0.0); // the centre is not written
    }

    void selectedRowIsStoredWhenItMoves_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("row");
        QTest::newRow("alphabetical order") << "alphabetical" << 1;
        QTest::newRow("dragged to the top") << "drag" << 0;
        QTest::newRow("a new list above") << "new list" << 3;
    }

    void selectedRowIsStoredWhenItMoves()
    {
        QFETCH(QString, change);
        DocumentFixture f;
        int index = 300;
        for (const char *name : {"Zeta", "Alpha", "Mid"})
            f.document->addNewProjectWithName(name)->setIndex(index -= 100);
        f.document->projects().projectsArrayController()->rearrangeObjects();
        f.document->projects().selectRow(2); // "Mid"

        if (change == "alphabetical") {
            f.document->toggleProjectAlphabeticalOrder(true);
        } else if (change == "drag") {
            QVERIFY(f.document->projects().acceptListDrop(2, 0, true));
        } else {
            f.document->addNewProjectWithName("Above")->setIndex(500);
            f.document->projects().projectsArrayController()->rearrangeObjects();
        }
        QTEST(Defaults::standard().intValue("lastSelectedProjectRow", -1), "row");
    }

    void firstRunCreatesMyProjectOnce()
    {
        DocumentFixture f;
        // A store that has a list already gets none; its first-run check runs first.
        MyDocument withList(std::make_unique<ManagedObjectContext>(todoListModel()));
        withList.addNewProjectWithName("Existing");
        withList.setUp();
        f.document->setUp();
        QTRY_COMPARE(f.document->getAllProjects().size(), 1);
        QCOMPARE(withList.getAllProjects().size(), 1);

        // Deleted, it does not come back at the next start.
        f.document->projects().markProject(f.document->getAllProjects().first(), 2);
        MyDocument restarted(std::make_unique<ManagedObjectContext>(todoListModel()));
        restarted.setUp();
        bool later = false;
        QTimer::singleShot(250, &restarted, [&later] { later = true; });
        QTRY_VERIFY(later);
        QCOMPARE(restarted.getAllProjects().size(), 0);
    }

    // The fixture's own document has no store file: every save of it fails.
    void failedSaveIsReportedAndNotDropped()
    {
        DocumentFixture f;
        f.document->addNewProjectWithName("unsaved");
        QVERIFY(!f.document->saveFile());
        QCOMPARE(f.alerts.warnings, QStringList{QStringLiteral("File could not be saved!")});
        QVERIFY(!f.document->canCloseDocument());

        // At quit: the user is asked, tries again, then gives up.
        f.alerts.queued = {true, false};
        QList<bool> outcomes;
        const auto record = [&outcomes](bool saved) { outcomes << saved; };
        f.document->saveBeforeQuitting(record);
        QCOMPARE(outcomes, QList<bool>{false});
        QCOMPARE(f.alerts.messages.size(), 2);
        QVERIFY(f.alerts.messages.first().startsWith(QStringLiteral("File could not be saved!|")));

        // A store file: saved at quit without a question; saving no changes leaves it alone.
        f.document.reset();
        const std::unique_ptr<MyDocument> document = documentWithStore(f, "saved.sqlite");
        const QString path = document->managedObjectContext()->storePath();
        document->addNewProjectWithName("kept");
        document->saveBeforeQuitting(record);
        QCOMPARE(outcomes, (QList<bool>{false, true}));
        QCOMPARE(f.alerts.messages.size(), 2);
        const QByteArray saved = fileHash(path);
        QVERIFY(document->canCloseDocument());
        QCOMPARE(fileHash(path), saved);
        ManagedObjectContext reopened(todoListModel());
        document->managedObjectContext()->close();
        QVERIFY(reopened.open(path));
        QCOMPARE(reopened.count(TODOList::EntityName), 1);
    }

    void autosaveWaitsForTheSyncExchange()
    {
        DocumentFixture f;
        const std::unique_ptr<MyDocument> document = documentWithStore(f, "store.sqlite");
        ManagedObjectContext *context = document->managedObjectContext();
        document->setAutosaveEnabled(true);
        document->setSyncing(true);
        document->addNewProjectWithName("typed during the exchange");
        context->processPendingChanges(); // announced: the autosave timer runs
        document->autosaveDocument(); // as its timer would
        QVERIFY(context->hasChanges());
        document->setSyncing(false);
        QTRY_VERIFY(!context->hasChanges());

        // A save asked for by an observer while a save runs is put off, not failed.
        bool observedSave = false;
        QObject::connect(context, &ManagedObjectContext::objectsDidChange, document.get(),
                         [&] { observedSave = document->saveFile(); }, Qt::SingleShotConnection);
        document->addNewProjectWithName("second");
        QVERIFY(document->saveFile());
        QVERIFY(observedSave);
        QTRY_VERIFY(!context->hasChanges());
        QVERIFY(f.alerts.warnings.isEmpty());
    }

    // A window closed before the document (at quit, or when a test ends) is
    // never called again: the document falls back to its stand-ins.
    void windowGoesBeforeTheDocument()
    {
        DocumentFixture f;
        auto window = std::make_unique<QObject>();
        auto view = std::make_unique<FakeDocumentView>();
        auto alerts = std::make_unique<FakeAlerts>();
        f.document->setView(view.get(), window.get());
        f.document->setAlerts(alerts.get(), window.get());
        window.reset();
        view.reset();
        alerts.reset();
        f.selectedList();
        TODOItem *item = f.item(0, "kept");
        f.document->enableQuadrant(0, {0}, false);
        f.document->markItemsAsDeleted(); // nobody left to say yes
        QCOMPARE(item->state(), int(RecordState::Open));
    }
};

QTEST_GUILESS_MAIN(TestDocument)
#include "tst_document.moc"
