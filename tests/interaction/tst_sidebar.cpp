// The list sidebar and the action buttons as a user drives them: overviews
// over the rows, lists dragged into place, keys, items dragged over rows and
// dropped on the buttons.
#include "DocumentFakes.h"
#include "DocumentPresenter.h"
#include "DraggingDestinationButton.h"
#include "ListCustomCellController.h"
#include "NSTableProjects.h"
#include "PasteboardOperations.h"
#include "ProjectListModel.h"
#include "QuadrantItemModel.h"

#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include <memory>

namespace {

// A shown sidebar over the document's lists, made with the given names in that order.
struct Sidebar : DocumentFixture {
    DocumentPresenter *presenter = new DocumentPresenter(document.get());
    ProjectListModel *model = presenter->projectListModel();
    QList<TODOList *> lists;
    std::unique_ptr<NSTableProjects> sidebar;

    explicit Sidebar(const QStringList &names)
    {
        for (int i = 0; i < names.size(); ++i) {
            lists << document->addNewProjectWithName(names[i]);
            lists.last()->setIndex(1000 * (names.size() - i));
        }
        document->selectProject(lists.first());
        document->updateFilters();
        context()->processPendingChanges();
        sidebar = std::make_unique<NSTableProjects>(model, document.get());
        sidebar->resize(300, 400);
        sidebar->show();
    }

    TODOItem *addItem(TODOList *list, int quadrant, const QString &name, int index = 0)
    {
        TODOItem *item = document->newItemForProject(list, quadrant);
        item->setName(name);
        item->setIndex(index);
        return item;
    }

    QRect rowRect(int row) const { return sidebar->visualRect(model->index(row)); }

    QStringList rowNames() const
    {
        QStringList names;
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row).data().toString();
        return names;
    }

    // The overview placed over a row, as "count" or "-" for an unpainted quadrant, in quadrant order.
    QStringList overviewOf(int row) const
    {
        for (QWidget *overview : sidebar->viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            const QList<ColoredView *> quadrants = overview->findChildren<ColoredView *>();
            if (quadrants.size() != 4 || !overview->isVisible() || !rowRect(row).contains(overview->geometry()))
                continue;
            QStringList shown;
            for (ColoredView *quadrant : quadrants)
                shown << (quadrant->backgroundColor().isEmpty() ? QStringLiteral("-") : QString())
                        + quadrant->findChild<QLabel *>()->text();
            return shown;
        }
        return {};
    }

    // Whether the row's name, left of its overview, is drawn in red.
    bool nameIsRed(int row) const
    {
        const QImage image = sidebar->viewport()->grab(rowRect(row).adjusted(0, 0, -50, 0)).toImage();
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                if (pixel.red() > 150 && pixel.green() < 90 && pixel.blue() < 90)
                    return true;
            }
        }
        return false;
    }
};

QStringList itemStates(MyDocument *document, TODOList *list)
{
    QStringList states;
    for (TODOItem *item : document->getAllTODOItemsForTODOList(list))
        states << item->name() + QLatin1Char(' ') + QString::number(item->state());
    states.sort();
    return states;
}

} // namespace

class TestSidebar : public QObject
{
    Q_OBJECT
private slots:
    void overviewsFollowTheFilters_data();
    void overviewsFollowTheFilters();
    void listDrags_data();
    void listDrags();
    void keys_data();
    void keys();
    void renaming_data();
    void renaming();
    void itemDragOverARowSelectsItsList();
    void actionButtons_data();
    void actionButtons();
};

void TestSidebar::overviewsFollowTheFilters_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("overview"); // "-": the quadrant is not painted
    QTest::addColumn<bool>("red");
    QTest::newRow("item added") << "add" << QStringList{"2", "1", "1", ""} << false;
    QTest::newRow("item completed") << "complete" << QStringList{"1", "1", "", ""} << false;
    QTest::newRow("search for an item") << "MILK" << QStringList{"1", "-", "-", "-"} << false;
    QTest::newRow("search for the list") << "gro" << QStringList{"-", "-", "-", "-"} << true;
}

// The overview over a list's row counts what its quadrants show, with the
// filters of the moment; a list whose name matches the search is red.
void TestSidebar::overviewsFollowTheFilters()
{
    QFETCH(QString, change);
    // Groceries is not selected, so its name is drawn in the model's colour.
    Sidebar f({"Home", "Groceries"});
    TODOList *groceries = f.lists[1];
    TODOItem *milk = f.addItem(groceries, 0, "milk");
    f.addItem(groceries, 0, "bread");
    f.addItem(groceries, 1, "tax");
    f.context()->processPendingChanges();
    QTRY_COMPARE(f.overviewOf(1), (QStringList{"2", "1", "", ""}));

    if (change == "add") {
        f.addItem(groceries, 2, "stamps");
    } else if (change == "complete") {
        f.document->markTODOItem(milk, groceries, nullptr, 100);
    } else {
        f.document->filters().setSearchText(change);
        f.document->updateFilters();
    }
    f.context()->processPendingChanges();
    QFETCH(QStringList, overview);
    QTRY_COMPARE(f.overviewOf(1), overview);
    QTEST(f.nameIsRed(1), "red");
}

void TestSidebar::listDrags_data()
{
    QTest::addColumn<int>("dragged");
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("above"); // above the target row, else onto it
    QTest::addColumn<QStringList>("order");
    QTest::newRow("row 5 onto row 2") << 5 << 2 << false << QStringList{"L0", "L1", "L5", "L2", "L3", "L4"};
    QTest::newRow("row 2 onto row 5") << 2 << 5 << false << QStringList{"L0", "L1", "L3", "L4", "L5", "L2"};
    QTest::newRow("row 2 above row 5") << 2 << 5 << true << QStringList{"L0", "L1", "L3", "L4", "L2", "L5"};
}

// A list dropped on the sidebar moves once, as the drop says; the view
// removes no rows of its own.
void TestSidebar::listDrags()
{
    QFETCH(int, dragged);
    QFETCH(int, target);
    QFETCH(bool, above);
    Sidebar f({"L0", "L1", "L2", "L3", "L4", "L5"});
    std::unique_ptr<QMimeData> data(f.model->mimeData({f.model->index(dragged)}));
    const QRect rect = f.rowRect(target);
    const QPoint at = above ? QPoint(rect.center().x(), rect.top() + 1) : rect.center();
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.sidebar->viewport(), &enter);
    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.sidebar->viewport(), &drop);
    QVERIFY(drop.isAccepted());
    f.context()->processPendingChanges();
    QTEST(f.rowNames(), "order");
}

void TestSidebar::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("selectedRow");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QStringList>("viewCalls");
    const QStringList askB{"Are you sure you want to delete list named 'B'?|Deleted lists cannot be restored."};
    const QStringList askC{"Are you sure you want to delete list named 'C'?|Deleted lists cannot be restored."};
    QTest::newRow("Delete on the middle list") << int(Qt::Key_Delete) << 1 << true << QStringList{"A", "C"} << "C"
                                               << askB << QStringList{};
    QTest::newRow("Backspace on the last list") << int(Qt::Key_Backspace) << 2 << true << QStringList{"A", "B"} << "B"
                                                << askC << QStringList{};
    QTest::newRow("Delete declined") << int(Qt::Key_Delete) << 1 << false << QStringList{"A", "B", "C"} << "B" << askB
                                     << QStringList{};
    QTest::newRow("Right arrow") << int(Qt::Key_Right) << 1 << true << QStringList{"A", "B", "C"} << "B" << QStringList{}
                                 << QStringList{"focusQuadrant 0"};
}

// Delete asks, then trashes the selected list and selects the row now in its
// place (or the new last row); Right arrow moves to the first quadrant.
void TestSidebar::keys()
{
    QFETCH(int, key);
    QFETCH(int, selectedRow);
    QFETCH(bool, answer);
    Sidebar f({"A", "B", "C"});
    f.addItem(f.lists[selectedRow], 0, "task");
    f.document->projects().selectRow(selectedRow);
    f.context()->processPendingChanges();
    f.alerts.answer = answer;
    f.view.calls.clear();
    QTest::keyClick(f.sidebar.get(), Qt::Key(key));
    f.context()->processPendingChanges();
    QTEST(f.rowNames(), "order");
    QTEST(f.document->getSelectedProject()->name(), "selected");
    QTEST(f.alerts.messages, "asked");
    QFETCH(QStringList, viewCalls);
    for (const QString &call : viewCalls)
        QVERIFY2(f.view.calls.contains(call), qPrintable(f.view.calls.join(", ")));
}

void TestSidebar::renaming_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("F2 on the selected list") << "F2" << QStringList{"Errands", "Work"};
    QTest::newRow("double click on a name") << "double click" << QStringList{"Home", "Errands"};
    QTest::newRow("double click below the rows") << "below" << QStringList{"Home", "Work", "My Project"};
}

// A list is renamed in place, in an editor that leaves its overview free;
// Return keeps the name. A double click below the rows adds a list, whose
// name the window then edits.
void TestSidebar::renaming()
{
    QFETCH(QString, trigger);
    Sidebar f({"Home", "Work"});
    QWidget *viewport = f.sidebar->viewport();
    if (trigger == "below") {
        const QPoint below = f.rowRect(1).bottomLeft() + QPoint(10, 20);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, below);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
        QVERIFY(f.view.calls.contains("beginEditingListName 2"));
    } else {
        const int row = trigger == "F2" ? 0 : 1;
        const QPoint name = f.rowRect(row).center() - QPoint(50, 0);
        if (trigger == "F2") {
            QTest::keyClick(f.sidebar.get(), Qt::Key_F2);
        } else {
            // As a desktop delivers it: a click, then the double click.
            QTest::mouseClick(viewport, Qt::LeftButton, {}, name);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, name);
        }
        auto *editor = viewport->findChild<QLineEdit *>();
        QVERIFY(editor);
        QVERIFY(editor->geometry().right() < f.rowRect(row).right() - 40);
        QTest::keyClicks(editor, "Errands");
        QTest::keyClick(editor, Qt::Key_Return);
    }
    QFETCH(QStringList, order);
    QTRY_COMPARE(f.rowNames(), order);
}

// Items dragged over a row select its list, so that they can be dropped into
// its quadrants; the sidebar itself never takes them.
void TestSidebar::itemDragOverARowSelectsItsList()
{
    Sidebar f({"L0", "L1", "L2"});
    TODOItem *task = f.addItem(f.lists[0], 0, "task");
    f.context()->processPendingChanges();
    QuadrantItemModel *quadrant = f.presenter->quadrantModel(0);
    QCOMPARE(quadrant->rowCount(), 1);
    std::unique_ptr<QMimeData> data(quadrant->mimeData({quadrant->index(0)}));
    const QPoint at = f.rowRect(2).center();

    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.sidebar->viewport(), &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.sidebar->viewport(), &move);
    QCOMPARE(f.document->getSelectedProject(), f.lists[2]);
    QVERIFY(!move.isAccepted());

    QDropEvent drop(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(f.sidebar->viewport(), &drop);
    QVERIFY(!drop.isAccepted());
    f.context()->processPendingChanges();
    QCOMPARE(f.rowNames(), (QStringList{"L0", "L1", "L2"}));
    QCOMPARE(task->list(), f.lists[0]);
    QCOMPARE(task->state(), int(RecordState::Open));
}

void TestSidebar::actionButtons_data()
{
    using Op = DraggingDestinationButton::Operation;
    QTest::addColumn<int>("operation");
    QTest::addColumn<bool>("colour"); // the drag also carries a colour
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QStringList>("rows"); // quadrant 0 afterwards
    QTest::addColumn<QStringList>("states");
    const QStringList untouched{"a 0", "b 0", "c 0"};
    QTest::newRow("complete") << int(Op::Complete) << false << true << true << QStringList{"c"}
                              << QStringList{"a 1", "b 1", "c 0"};
    QTest::newRow("trash") << int(Op::Trash) << false << true << true << QStringList{"c"}
                           << QStringList{"a 2", "b 2", "c 0"};
    QTest::newRow("trash declined") << int(Op::Trash) << false << false << true << QStringList{"a", "b", "c"} << untouched;
    QTest::newRow("duplicate") << int(Op::Duplicate) << false << true << true << QStringList{"a", "a", "b", "b", "c"}
                               << QStringList{"a 0", "a 0", "b 0", "b 0", "c 0"};
    QTest::newRow("colour refused") << int(Op::Complete) << true << true << false << QStringList{"a", "b", "c"}
                                    << untouched;
}

// Rows dragged out of a quadrant onto a button are completed, trashed once
// the user agrees, or duplicated next to their sources.
void TestSidebar::actionButtons()
{
    QFETCH(int, operation);
    QFETCH(bool, colour);
    QFETCH(bool, answer);
    QFETCH(bool, accepted);
    Sidebar f({"Work"});
    f.addItem(f.lists[0], 0, "a", 300);
    f.addItem(f.lists[0], 0, "b", 200);
    f.addItem(f.lists[0], 0, "c", 100);
    f.context()->processPendingChanges();
    f.alerts.answer = answer;
    QuadrantItemModel *quadrant = f.presenter->quadrantModel(0);
    const auto quadrantRows = [quadrant]() {
        QStringList names;
        for (int row = 0; row < quadrant->rowCount(); ++row)
            names << quadrant->index(row).data().toString();
        return names;
    };
    QCOMPARE(quadrantRows(), (QStringList{"a", "b", "c"}));
    std::unique_ptr<QMimeData> data(quadrant->mimeData({quadrant->index(0), quadrant->index(1)}));
    if (colour)
        data->setData(QStringLiteral("application/x-color"), QByteArray());
    DraggingDestinationButton button(f.document.get(), DraggingDestinationButton::Operation(operation));
    button.show();

    QDragEnterEvent enter(QPoint(1, 1), Qt::MoveAction | Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&button, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDropEvent drop(QPoint(1, 1), Qt::MoveAction | Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&button, &drop);
    QCOMPARE(drop.isAccepted(), accepted);
    f.context()->processPendingChanges();
    QTEST(quadrantRows(), "rows");
    QTEST(itemStates(f.document.get(), f.lists[0]), "states");
    QCOMPARE(f.alerts.messages.size(), operation == int(DraggingDestinationButton::Operation::Trash) ? 1 : 0);
}

QTEST_MAIN(TestSidebar)
#include "tst_sidebar.moc"
