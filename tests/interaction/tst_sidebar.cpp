// The list sidebar and the action buttons as a user drives them: overviews
// over the rows, drags, keys, renaming in place, drops on the buttons.
#include "DocumentFakes.h"
#include "DocumentPresenter.h"
#include "DraggingDestinationButton.h"
#include "ListCustomCellController.h"
#include "NSTableProjects.h"
#include "ProjectListModel.h"
#include "QuadrantItemModel.h"

#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace {

using Op = DraggingDestinationButton::Operation;

QStringList words(const QString &text)
{
    return text.split(' ', Qt::SkipEmptyParts);
}

QStringList rowNames(const QAbstractItemModel *model)
{
    QStringList names;
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

// A drag entering a widget, moving and dropped at a point; whether the drop was taken.
bool dragAndDrop(QWidget *target, const QPoint &at, const QMimeData *data)
{
    QDragEnterEvent enter(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// A shown sidebar over lists with these names, in this order; the first is selected.
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

    // The overview shown over a row: each quadrant's count, "-" first when it is not painted.
    QStringList overviewOf(int row) const
    {
        for (QWidget *overview : sidebar->viewport()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            const QList<ColoredView *> quadrants = overview->findChildren<ColoredView *>();
            if (quadrants.size() != 4 || !overview->isVisible() || !rowRect(row).contains(overview->geometry()))
                continue;
            QStringList shown;
            for (ColoredView *quadrant : quadrants)
                shown << (quadrant->backgroundColor().isEmpty() ? "-" : "") + quadrant->findChild<QLabel *>()->text();
            return shown;
        }
        return {};
    }
};

} // namespace

class TestSidebar : public QObject
{
    Q_OBJECT
private slots:

    void overviewsFollowTheFilters_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("overview");
        QTest::addColumn<bool>("redName");
        QTest::newRow("item added") << "add" << QStringList{"2", "1", "1", ""} << false;
        // Completed as a sync merge would: only the store tells.
        QTest::newRow("item completed") << "complete" << QStringList{"1", "1", "", ""} << false;
        // What a search for an item counts is tst_projects overview's.
        QTest::newRow("search for the list") << "gro" << QStringList{"-", "-", "-", "-"} << true;
    }

    // The overview over a row, once scrolled into view, counts what the list's
    // quadrants show under the filters of the moment; a list whose name matches
    // the search is drawn in red.
    void overviewsFollowTheFilters()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, overview);
        // Groceries is the last of more rows than the sidebar shows at once.
        Sidebar f(QString("Home,L1,L2,L3,L4,L5,L6,L7,L8,L9,Groceries").split(','));
        const int last = 10;
        TODOList *groceries = f.lists[last];
        TODOItem *milk = f.addItem(groceries, 0, "milk");
        f.addItem(groceries, 0, "bread");
        f.addItem(groceries, 1, "tax");
        f.context()->processPendingChanges();
        QTRY_COMPARE(f.overviewOf(0), (QStringList{"", "", "", ""}));
        f.sidebar->verticalScrollBar()->setValue(f.sidebar->verticalScrollBar()->maximum()); // as the wheel does
        QCOMPARE(f.overviewOf(last), (QStringList{"2", "1", "", ""}));

        if (change == "add") {
            f.addItem(groceries, 2, "stamps");
        } else if (change == "complete") {
            milk->setCompletionPercentage(100);
            milk->setState(RecordState::Completed);
        } else {
            f.document->filters().setSearchText(change);
            f.document->updateFilters();
        }
        f.context()->processPendingChanges();
        QTRY_COMPARE(f.overviewOf(last), overview);
        const QImage name = f.sidebar->viewport()->grab(f.rowRect(last).adjusted(0, 0, -50, 0)).toImage();
        bool red = false;
        for (int i = 0; i < name.width() * name.height(); ++i) {
            const QColor pixel = name.pixelColor(i % name.width(), i / name.width());
            red = red || (pixel.red() > 150 && pixel.green() < 90);
        }
        QTEST(red, "redName");
    }

    // A list dropped onto a row moves once, as the drop says (a drop above a
    // row, and items dragged over a row, are tst_itemmodels' listDrags).
    void drags()
    {
        Sidebar f({"L0", "L1", "L2", "L3", "L4", "L5"});
        std::unique_ptr<QMimeData> data(f.model->mimeData({f.model->index(2)}));
        QVERIFY(dragAndDrop(f.sidebar->viewport(), f.rowRect(5).center(), data.get()));
        f.context()->processPendingChanges();
        QCOMPARE(rowNames(f.model), words("L0 L1 L3 L4 L5 L2"));
        QCOMPARE(f.document->getSelectedProject()->name(), "L0");
    }

    void keysAndClicks_data()
    {
        QTest::addColumn<int>("key");       // 0: a double click
        QTest::addColumn<int>("row");       // the selected row, or the one double clicked (3: below the rows)
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<int>("asked");
        QTest::newRow("Delete") << int(Qt::Key_Delete) << 1 << words("A C") << "C" << 1;
        QTest::newRow("Backspace on the last row") << int(Qt::Key_Backspace) << 2 << words("A B") << "B" << 1;
        QTest::newRow("Right arrow") << int(Qt::Key_Right) << 1 << words("A B C") << "B" << 0;
        QTest::newRow("F2 renames") << int(Qt::Key_F2) << 0 << words("Errands B C") << "Errands" << 0;
        QTest::newRow("double click renames") << 0 << 0 << words("Errands B C") << "Errands" << 0;
        QTest::newRow("double click below the rows") << 0 << 3 << QStringList{"A", "B", "C", "My Project"} << "My Project" << 0;
    }

    // Delete asks, then trashes the selected list and selects the row now in its
    // place (or the new last row); Right arrow moves to the first quadrant. A
    // click ends the item selection; a name is edited in place, left of the
    // overview, and Return keeps it; a double click below the rows adds a list.
    void keysAndClicks()
    {
        QFETCH(int, key);
        QFETCH(int, row);
        QFETCH(QStringList, order);
        Sidebar f({"A", "B", "C"});
        TODOItem *task = f.addItem(f.lists[0], 0, "task");
        f.context()->processPendingChanges();
        f.document->selectItem(task);
        f.view.calls.clear();
        QWidget *viewport = f.sidebar->viewport();
        if (key) {
            f.document->projects().selectRow(row);
            QTest::keyClick(f.sidebar.get(), Qt::Key(key));
        } else { // as a desktop delivers it: a click, then the double click
            const QPoint at = row < 3 ? f.rowRect(row).center() - QPoint(50, 0)
                                      : f.rowRect(2).bottomLeft() + QPoint(10, 20);
            QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
            QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
        }
        if (auto *editor = viewport->findChild<QLineEdit *>()) {
            QVERIFY(editor->geometry().right() < f.rowRect(row).right() - 40);
            QTest::keyClicks(editor, "Errands");
            QTest::keyClick(editor, Qt::Key_Return);
        }
        f.context()->processPendingChanges();
        QTRY_COMPARE(rowNames(f.model), order);
        QTEST(f.document->getSelectedProject()->name(), "selected");
        QTEST(int(f.alerts.messages.size()), "asked");
        QCOMPARE(f.view.calls.contains("focusQuadrant 0"), key == Qt::Key_Right);
        if (!key) // a click in the sidebar ends the item selection
            QVERIFY(f.document->selectedItemsInQuadrant(0).isEmpty());
    }

    void actionButtons_data()
    {
        QTest::addColumn<int>("operation");
        QTest::addColumn<QString>("extraType"); // also on the drag
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QStringList>("rows"); // quadrant 0 afterwards
        QTest::newRow("complete") << int(Op::Complete) << "" << true << words("c");
        QTest::newRow("trash asks") << int(Op::Trash) << "" << true << words("c");
        QTest::newRow("duplicate") << int(Op::Duplicate) << "" << true << words("a a b b c");
        QTest::newRow("with a colour") << int(Op::Complete) << "application/x-color" << false << words("a b c");
    }

    // Rows dragged out of a quadrant onto a button go to its operation (what each
    // operation does is tests/document's); a drag that also carries a colour is refused.
    void actionButtons()
    {
        QFETCH(int, operation);
        QFETCH(QString, extraType);
        Sidebar f({"Work"});
        for (auto [name, index] : {std::pair{"a", 300}, {"b", 200}, {"c", 100}})
            f.addItem(f.lists[0], 0, QString::fromLatin1(name), index);
        f.context()->processPendingChanges();
        QuadrantItemModel *quadrant = f.presenter->quadrantModel(0);
        std::unique_ptr<QMimeData> data(quadrant->mimeData({quadrant->index(0), quadrant->index(1)}));
        if (!extraType.isEmpty())
            data->setData(extraType, QByteArray());
        DraggingDestinationButton button(f.document.get(), Op(operation));
        button.show();

        QTEST(dragAndDrop(&button, QPoint(1, 1), data.get()), "taken");
        f.context()->processPendingChanges();
        QTEST(rowNames(quadrant), "rows");
        QCOMPARE(f.alerts.messages.size(), operation == int(Op::Trash) ? 1 : 0);
    }
};

QTEST_MAIN(TestSidebar)
#include "tst_sidebar.moc"
