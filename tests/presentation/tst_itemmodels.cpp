// The quadrant and sidebar models follow the document row by row, keep the
// selection, and carry drag data.
#include "ArrayController.h"
#include "DocumentFakes.h"
#include "PasteboardOperations.h"
#include "ProjectListModel.h"
#include "QuadrantItemModel.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

TODOItem *addItem(ManagedObjectContext *context, TODOList *list, int quadrant, const QString &name, int index)
{
    auto *item = context->insert<TODOItem>(TODOItem::EntityName);
    item->setList(list);
    item->setQuadrant(quadrant);
    item->setName(name);
    item->setIndex(index);
    return item;
}

const QStringList kNames{"pear", "apple", "kiwi", "fig", "banana", "cherry"};

// A list "Home" with one item, and the selected list "Work" with six open items
// in quadrant 0 whose rows (index descending) are not in name order.
struct Quadrants : DocumentFixture {
    TODOList *home = document->addNewProjectWithName(QStringLiteral("Home"));
    TODOList *work = nullptr;
    QList<TODOItem *> items;

    Quadrants()
    {
        addItem(context(), home, 0, QStringLiteral("Home 1"), 10);
        work = selectedList(QStringLiteral("Work"));
        for (int i = 0; i < kNames.size(); ++i)
            items << addItem(context(), work, 0, kNames[i], 600 - 100 * i);
        document->updateFilters();
        context()->processPendingChanges();
    }
};

QStringList rowNames(const QAbstractItemModel &model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.index(row, 0).data().toString();
    return names;
}

QModelIndexList indexes(const QAbstractItemModel &model, const QList<int> &rows)
{
    QModelIndexList out;
    for (int row : rows)
        out << model.index(row, 0);
    return out;
}

} // namespace

class TestItemModels : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(12, 0))); }

    void rowsFollowTheController_data();
    void rowsFollowTheController();
    void rowShowsTheItem_data();
    void rowShowsTheItem();
    void itemDragRecord();
    void dropsOnAQuadrant_data();
    void dropsOnAQuadrant();
    void mailBodyArrivesLater();
    void listDrags_data();
    void listDrags();
    void renamingAList();
};

enum class Step { EditInRows, Search, Merge, ManyResorted, SelectFromDocument, OtherList };
Q_DECLARE_METATYPE(Step)

void TestItemModels::rowsFollowTheController_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QStringList>("rows"); // empty: not checked by name
    QTest::newRow("renamed and completed in the rows")
        << Step::EditInRows << QStringList{"pear", "kiwi", "fig", "blueberry", "cherry"};
    QTest::newRow("search text") << Step::Search << QStringList{"kiwi", "fig"};
    QTest::newRow("merge in one event") << Step::Merge
                                        << QStringList{"lime", "fig", "apple", "melon", "kiwi", "mango", "plum"};
    QTest::newRow("many rows sorted anew") << Step::ManyResorted << QStringList();
    QTest::newRow("selection made by the document") << Step::SelectFromDocument << kNames;
    QTest::newRow("another list selected") << Step::OtherList << QStringList{"Home 1"};
}

// After each change the rows are the controller's arranged objects, nothing
// but a list change resets the model, and the selected item stays selected
// at its new row (a view's editor on it stays open).
void TestItemModels::rowsFollowTheController()
{
    QFETCH(Step, step);
    Quadrants f;
    ArrayController *controller = f.document->controllerForQuadrant(0);
    QuadrantItemModel model(f.document.get(), 0);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
    model.selectionModel()->select(model.index(2), QItemSelectionModel::ClearAndSelect);
    const QPersistentModelIndex selected(model.index(2));

    switch (step) {
    case Step::EditInRows:
        QVERIFY(model.setData(model.index(4), QStringLiteral("blueberry")));
        QCOMPARE(f.context()->undoManager()->undoActionName(), QStringLiteral("Rename"));
        QVERIFY(model.setData(model.index(1), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(f.items[1]->completionPercentage(), 100);
        break;
    case Step::Search:
        f.document->filters().setSearchText(QStringLiteral("i"));
        f.document->updateFilters();
        break;
    case Step::Merge: {
        ManagedObjectContext::WithoutUndo detached(*f.context());
        addItem(f.context(), f.work, 0, QStringLiteral("lime"), 1000);
        addItem(f.context(), f.work, 0, QStringLiteral("melon"), 450);
        addItem(f.context(), f.work, 0, QStringLiteral("plum"), 50);
        f.items[0]->setState(RecordState::Deleted);
        f.items[4]->setName(QStringLiteral("mango"));
        f.items[3]->setIndex(700);
        f.items[5]->setQuadrant(1);
        break;
    }
    case Step::ManyResorted:
        // Sorted by name they come in reverse, first: more moves than one signal each.
        for (int i = 0; i < 120; ++i)
            addItem(f.context(), f.work, 0, QStringLiteral("a%1").arg(i, 3, 10, QLatin1Char('0')), 2000 + i);
        f.context()->processPendingChanges();
        f.document->filters().setSortingChoice(1);
        f.document->updateSortDescriptors();
        break;
    case Step::SelectFromDocument:
        controller->setSelectionIndexes({0, 4});
        break;
    case Step::OtherList:
        f.document->selectProject(f.home);
        break;
    }
    f.context()->processPendingChanges();

    const QList<ManagedObject *> &arranged = controller->arrangedObjects();
    QCOMPARE(model.rowCount(), arranged.size());
    for (int row = 0; row < model.rowCount(); ++row)
        QCOMPARE(model.itemAt(row), arranged[row]);
    QFETCH(QStringList, rows);
    if (!rows.isEmpty())
        QCOMPARE(rowNames(model), rows);
    QCOMPARE(resets.size(), step == Step::OtherList ? 1 : 0);

    QList<int> selectedRows;
    for (const QModelIndex &index : model.selectionModel()->selectedRows())
        selectedRows << index.row();
    std::sort(selectedRows.begin(), selectedRows.end());
    QCOMPARE(selectedRows, controller->selectionIndexes());
    if (step != Step::SelectFromDocument && step != Step::OtherList) {
        QVERIFY(selected.isValid());
        QCOMPARE(model.itemAt(selected.row()), f.items[2]); // kiwi
        QVERIFY(model.selectionModel()->isSelected(selected));
    }
}

void TestItemModels::rowShowsTheItem_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("dueInDays"); // 99: no due date
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<int>("completion");
    QTest::addColumn<QStringList>("marks");
    QTest::newRow("no name, weekly without a date") << QString() << 99 << "Every Week" << 0 << QStringList();
    QTest::newRow("due yesterday, never repeats") << "Pay" << -1 << "Never" << 50 << QStringList{"overdue"};
    QTest::newRow("due today") << "Pay" << 0 << QString() << 0 << QStringList();
    QTest::newRow("weekly, done after its day") << "Gym" << -3 << "Every Week" << 100 << QStringList{"recurring", "done"};
}

void TestItemModels::rowShowsTheItem()
{
    QFETCH(QString, name);
    QFETCH(int, dueInDays);
    QFETCH(QString, frequency);
    QFETCH(int, completion);
    QFETCH(QStringList, marks);
    DocumentFixture f;
    TODOItem *item = addItem(f.context(), f.selectedList(), 2, name, 0);
    item->setDueDate(dueInDays == 99 ? QDateTime() : Clock::now().addDays(dueInDays));
    item->setFrequency(frequency);
    item->setCompletionPercentage(completion);
    f.context()->processPendingChanges();
    QuadrantItemModel model(f.document.get(), 2);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    const QModelIndex row = model.index(0);
    QCOMPARE(row.data(QuadrantItemModel::ItemRole).value<TODOItem *>(), item);
    QCOMPARE(row.data(Qt::EditRole).toString(), name);
    QCOMPARE(row.data(QuadrantItemModel::RecurringRole).toBool(), marks.contains("recurring"));
    QCOMPARE(row.data(QuadrantItemModel::OverdueRole).toBool(), marks.contains("overdue"));
    QCOMPARE(row.data(QuadrantItemModel::DoneRole).toBool(), marks.contains("done"));
}

// Dragging rows 3 and 2 carries those items in row order, the list and the
// rows; a text editor gets the names.
void TestItemModels::itemDragRecord()
{
    Quadrants f;
    QuadrantItemModel model(f.document.get(), 0);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    std::unique_ptr<QMimeData> data(model.mimeData(indexes(model, {3, 2})));
    PasteboardTypes::ItemArchive archive;
    QVERIFY(data && PasteboardTypes::decodeItems(data->data(PasteboardTypes::Item), &archive));
    QCOMPARE(archive.uris, (QList<QUrl>{f.items[2]->objectURI(), f.items[3]->objectURI()}));
    QCOMPARE(archive.listUri, f.work->objectURI());
    QVERIFY(archive.hasRowIndexes);
    QCOMPARE(archive.rowIndexes, (QList<int>{2, 3}));
    QCOMPARE(data->text(), QStringLiteral("kiwi\nfig"));
}

void TestItemModels::dropsOnAQuadrant_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QList<int>>("dragged"); // rows dragged out of this quadrant
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("parentRow");
    QTest::addColumn<bool>("canDrop");
    QTest::addColumn<bool>("taken");
    const QString color = QStringLiteral("application/x-color");
    const QString item = PasteboardTypes::Item;
    const QList<int> none;
    QTest::newRow("colour on a row") << color << none << -1 << 2 << true << true;
    QTest::newRow("colour past the rows") << color << none << 7 << -1 << false << false;
    QTest::newRow("unknown type") << "application/x-other" << none << 0 << -1 << false << false;
    QTest::newRow("damaged item record") << item << none << 1 << -1 << true << false;
    // Not a drop onto itself: it lands below the last row.
    QTest::newRow("last row below the last row") << item << QList<int>{5} << -1 << -1 << true << true;
}

// What item drags do to the rows is tst_itemdrops' and tst_quadrantview's;
// here, which drops the model takes, and that the rest leave every item as it was.
void TestItemModels::dropsOnAQuadrant()
{
    QFETCH(QString, type);
    QFETCH(QList<int>, dragged);
    QFETCH(int, row);
    QFETCH(int, parentRow);
    Quadrants f;
    QuadrantItemModel model(f.document.get(), 0);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    const QStringList before = rowNames(model);
    std::unique_ptr<QMimeData> data(dragged.isEmpty() ? new QMimeData : model.mimeData(indexes(model, dragged)));
    if (dragged.isEmpty())
        data->setData(type, "not an archive");
    const QModelIndex parent = parentRow >= 0 ? model.index(parentRow) : QModelIndex();
    QTEST(model.canDropMimeData(data.get(), Qt::MoveAction, row, 0, parent), "canDrop");
    QTEST(model.dropMimeData(data.get(), Qt::MoveAction, row, 0, parent), "taken");
    f.context()->processPendingChanges();
    QCOMPARE(rowNames(model), before);
    // A view's move drag never removes rows by itself.
    QVERIFY(!model.removeRows(0, 1));
}

// A mail link becomes an item at once; the body found for its message
// identifier fills the notes when it arrives, without holding up the drop.
void TestItemModels::mailBodyArrivesLater()
{
    Quadrants f;
    QuadrantItemModel model(f.document.get(), 1);
    QSemaphore answer;
    model.setMailBodyLookup([&answer](const QString &id) {
        answer.acquire();
        return QStringLiteral("Body of ") + id;
    });
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("message:%3Cabc@example.org%3E"))});
    data.setText(QStringLiteral("Lunch on Friday"));
    QVERIFY(model.dropMimeData(&data, Qt::CopyAction, -1, 0, {}));
    TODOItem *item = model.itemAt(0);
    QVERIFY(item && item->name() == QLatin1String("Lunch on Friday") && item->descriptionText().isEmpty());
    answer.release();
    QTRY_COMPARE(item->descriptionText(), QStringLiteral("Body of abc@example.org"));
}

void TestItemModels::listDrags_data()
{
    QTest::addColumn<bool>("alphabetical");
    QTest::addColumn<QList<int>>("dragged"); // none: items from a quadrant
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("parentRow");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QString>("selected");
    const QStringList same{"L0", "L1", "L2", "L3"};
    QTest::newRow("row 3 onto row 1") << false << QList<int>{3} << -1 << 1 << true << QStringList{"L0", "L3", "L1", "L2"} << "L1";
    QTest::newRow("below the last row") << false << QList<int>{0} << -1 << -1 << false << same << "L1";
    QTest::newRow("onto itself") << false << QList<int>{1} << -1 << 1 << false << same << "L1";
    QTest::newRow("two rows") << false << QList<int>{0, 1} << -1 << 3 << false << same << "L1";
    QTest::newRow("alphabetical order") << true << QList<int>{3} << -1 << 1 << false << same << "L1";
    QTest::newRow("items below the last row") << false << QList<int>{} << -1 << -1 << false << same << "L1";
}

// A list drag carries its row and moves the list (where to is tst_projects');
// alphabetical order gives no drag. Items dragged over a list select it, so that they can be dropped into
// its quadrants; the sidebar itself never takes them.
void TestItemModels::listDrags()
{
    QFETCH(bool, alphabetical);
    QFETCH(QList<int>, dragged);
    QFETCH(int, row);
    QFETCH(int, parentRow);
    DocumentFixture f;
    for (int i = 0; i < 4; ++i)
        f.document->addNewProjectWithName(QStringLiteral("L%1").arg(i))->setIndex(4000 - 1000 * i);
    f.context()->processPendingChanges();
    f.document->projects().selectRow(1);
    ProjectListModel model(f.document.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    f.document->toggleProjectAlphabeticalOrder(alphabetical);
    const QModelIndex parent = parentRow >= 0 ? model.index(parentRow) : QModelIndex();

    std::unique_ptr<QMimeData> data(dragged.isEmpty() ? new QMimeData : model.mimeData(indexes(model, dragged)));
    QList<int> rows;
    if (dragged.isEmpty()) {
        data->setData(PasteboardTypes::Item, PasteboardTypes::encodeItems({}));
        QVERIFY(!model.canDropMimeData(data.get(), Qt::CopyAction, row, 0, parent));
    } else {
        QVERIFY(!data || PasteboardTypes::decodeListRows(data->data(PasteboardTypes::List), &rows));
        QCOMPARE(rows, alphabetical ? QList<int>() : dragged);
    }
    if (data)
        QTEST(model.dropMimeData(data.get(), Qt::MoveAction, row, 0, parent), "taken");
    f.context()->processPendingChanges();
    QTEST(rowNames(model), "order");
    QTEST(f.document->getSelectedProject()->name(), "selected");
}

// Made and renamed in one turn, the store announces the list as inserted only;
// the view still repaints the new name. A blank name is refused.
void TestItemModels::renamingAList()
{
    DocumentFixture f;
    TODOList *list = f.selectedList(QStringLiteral("Shopping"));
    ProjectListModel model(f.document.get());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(!model.setData(model.index(0), QStringLiteral("   ")));
    QVERIFY(model.setData(model.index(0), QStringLiteral("Errands")));
    f.context()->processPendingChanges();
    QCOMPARE(list->name(), QStringLiteral("Errands"));
    QCOMPARE(model.index(0).data().toString(), QStringLiteral("Errands"));
    QVERIFY(!changed.isEmpty());
}

QTEST_MAIN(TestItemModels)
#include "tst_itemmodels.moc"
