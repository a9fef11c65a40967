// The quadrant tables driven as a user drives them (keys, clicks, drops,
// renaming in place) on real widgets over a document.
#include "DocumentFakes.h"
#include "DocumentPresenter.h"
#include "ItemCustomCell.h"
#include "QuadrantItemModel.h"
#include "QuadrantView.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

namespace {

struct SizedHost : FakeHost {
    double fontSize = 14;
    double currentFontSize() const override { return fontSize; }
};

// The four tables of one list in a shown window; items per quadrant in row order.
struct Matrix {
    SizedHost host;
    DocumentFixture fx;
    TODOList *list = fx.selectedList();
    QWidget window;
    QuadrantView *views[4] = {};

    explicit Matrix(const QList<QStringList> &quadrants)
    {
        fx.document->setHost(&host);
        fx.document->setQuadrantRowHeight(32);
        for (int q = 0; q < 4; ++q) {
            for (int i = 0; i < quadrants[q].size(); ++i) {
                auto *item = fx.context()->insert<TODOItem>(TODOItem::EntityName);
                item->setList(list);
                item->setQuadrant(q);
                item->setName(quadrants[q][i]);
                item->setIndex(1000 - 100 * i);
            }
        }
        fx.document->changeFiltersToNormal();
        fx.context()->processPendingChanges();
        auto *presenter = new DocumentPresenter(fx.document.get());
        auto *grid = new QGridLayout(&window);
        for (int q = 0; q < 4; ++q)
            grid->addWidget(views[q] = new QuadrantView(presenter->quadrantModel(q), fx.document.get()), q / 2, q % 2);
        window.resize(800, 600);
        window.show();
    }

    TODOItem *item(int q, int row) const { return views[q]->itemModel()->itemAt(row); }
    QModelIndex index(int q, int row) const { return views[q]->model()->index(row, 0); }
    // The middle of a row; below the rows for -1.
    QPoint pointAt(int q, int row) const
    {
        return row >= 0 ? views[q]->visualRect(index(q, row)).center() : QPoint(20, views[q]->viewport()->height() - 5);
    }
    // The names of a quadrant's rows, done items marked: "a1,b1*".
    QString rows(int q) const
    {
        QStringList names;
        for (int row = 0; row < views[q]->model()->rowCount(); ++row)
            names << item(q, row)->name() + (item(q, row)->completionPercentage() == 100 ? "*" : "");
        return names.join(',');
    }
    // The quadrant holding the selection: "2:c1,c2".
    QString selection() const
    {
        const int q = fx.document->selectedQuadrant();
        QStringList names;
        for (TODOItem *item : fx.document->selectedItemsInQuadrant(q))
            names << item->name();
        return names.isEmpty() ? QString() : QStringLiteral("%1:%2").arg(q).arg(names.join(','));
    }
};

} // namespace

class TestQuadrantView : public QObject
{
    Q_OBJECT
    QStringList m_opened; // links the desktop was asked to open

public:
    Q_INVOKABLE void openUrl(const QUrl &url) { m_opened << url.toString(); }

private slots:
    void initTestCase() { QDir::addSearchPath(QStringLiteral("icons"), QStringLiteral(":/icons")); }

    void keyboard_data()
    {
        QTest::addColumn<int>("quadrant");
        QTest::addColumn<int>("row"); // selected as the user selects, before the key; -1 none
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("selection");
        QTest::addColumn<QString>("focus"); // the last focus move asked of the window
        QTest::addColumn<QString>("rows");  // of quadrant 2

        const QString c = "c1,c2,c3";
        QTest::newRow("down from the last row of 0") << 0 << 1 << int(Qt::Key_Down) << "2:c1" << "focusQuadrant 2" << c;
        QTest::newRow("up from row 0 of 2") << 2 << 0 << int(Qt::Key_Up) << "0:a2" << "focusQuadrant 0" << c;
        QTest::newRow("up from 3 into empty 1") << 3 << 0 << int(Qt::Key_Up) << "" << "focusQuadrant 1" << c;
        QTest::newRow("down from empty 1") << 1 << -1 << int(Qt::Key_Down) << "3:d1" << "focusQuadrant 3" << c;
        QTest::newRow("left from 3") << 3 << 0 << int(Qt::Key_Left) << "2:c1" << "focusQuadrant 2" << c;
        QTest::newRow("left from 0 to the sidebar") << 0 << 1 << int(Qt::Key_Left) << "0:a2" << "focusSidebar" << c;
        QTest::newRow("right from 2") << 2 << 2 << int(Qt::Key_Right) << "3:d1" << "focusQuadrant 3" << c;
        QTest::newRow("space completes") << 2 << 1 << int(Qt::Key_Space) << "2:c2" << "" << "c1,c2*,c3";
        // Quadrant 0 is the last clicked; the key trashes this quadrant's selection.
        QTest::newRow("delete trashes") << 2 << 0 << int(Qt::Key_Delete) << "2:c2" << "" << "c2,c3";
    }

    void keyboard()
    {
        QFETCH(int, quadrant);
        QFETCH(int, row);
        QFETCH(int, key);
        Matrix m({{"a1", "a2"}, {}, {"c1", "c2", "c3"}, {"d1"}});
        if (row >= 0)
            m.views[quadrant]->selectionModel()->setCurrentIndex(m.index(quadrant, row), QItemSelectionModel::ClearAndSelect);
        m.fx.view.calls.clear();

        QTest::keyClick(m.views[quadrant], Qt::Key(key));
        m.fx.context()->processPendingChanges();
        const QStringList focusCalls = m.fx.view.calls.filter(QStringLiteral("focus"));
        QTEST(m.selection(), "selection");
        QTEST(focusCalls.isEmpty() ? QString() : focusCalls.last(), "focus");
        QTEST(m.rows(2), "rows");
    }

    void drops_data()
    {
        QTest::addColumn<QList<int>>("dragged");  // rows of quadrant 0; none for another application's drag
        QTest::addColumn<QStringList>("formats"); // "type=data" of another application's drag
        QTest::addColumn<int>("modifiers");       // the proposed action: none copy, Shift move, Ctrl+Shift link
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("row");             // dropped on the middle of this row; -1 below the rows
        QTest::addColumn<int>("action");          // what the drop is accepted as
        QTest::addColumn<QString>("rows");        // the target's rows afterwards

        const int move = Qt::ShiftModifier;
        QTest::newRow("rows 2 and 3 onto row 4") << QList<int>{2, 3} << QStringList() << move << 0 << 4
                                                 << int(Qt::MoveAction) << "A,B,E,F,C,D";
        QTest::newRow("onto itself") << QList<int>{2} << QStringList() << move << 0 << 2 << int(Qt::IgnoreAction)
                                     << "A,B,C,D,E,F";
        QTest::newRow("file manager") << QList<int>() << QStringList{"text/uri-list=file:///home/me/report.pdf\r\n"} << 0
                                      << 3 << 0 << int(Qt::CopyAction) << "X,report.pdf";
        QTest::newRow("browser link") << QList<int>() << QStringList{"text/uri-list=https://ex.org/\r\n"}
                                      << int(Qt::ControlModifier | Qt::ShiftModifier) << 3 << -1 << int(Qt::LinkAction)
                                      << "X,https://ex.org/";
        // Taking an editor's move would make it delete the dragged text.
        QTest::newRow("text offered as a move") << QList<int>() << QStringList{"text/plain=jane@example.com"} << move << 3
                                                << 0 << int(Qt::CopyAction) << "X,jane@example.com";
    }

    // A drop reaches the document exactly once: one new item from another application.
    void drops()
    {
        QFETCH(QList<int>, dragged);
        QFETCH(QStringList, formats);
        QFETCH(int, modifiers);
        QFETCH(int, target);
        QFETCH(int, row);
        Matrix m({{"A", "B", "C", "D", "E", "F"}, {}, {}, {"X"}});
        QModelIndexList indexes;
        for (int r : dragged)
            indexes << m.index(0, r);
        std::unique_ptr<QMimeData> data(dragged.isEmpty() ? new QMimeData : m.views[0]->model()->mimeData(indexes));
        for (const QString &format : formats)
            data->setData(format.section('=', 0, 0), format.section('=', 1).toUtf8());

        const QPoint pos = m.pointAt(target, row);
        const auto actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        const auto keys = Qt::KeyboardModifiers(modifiers);
        QDragEnterEvent enter(pos, actions, data.get(), Qt::LeftButton, keys);
        QDragMoveEvent move(pos, actions, data.get(), Qt::LeftButton, keys);
        QDropEvent drop(pos, actions, data.get(), Qt::LeftButton, keys);
        for (QEvent *event : std::initializer_list<QEvent *>{&enter, &move, &drop})
            QApplication::sendEvent(m.views[target]->viewport(), event);
        m.fx.context()->processPendingChanges();

        QTEST(drop.isAccepted() ? int(drop.dropAction()) : int(Qt::IgnoreAction), "action");
        QTEST(m.rows(target), "rows");
        QCOMPARE(m.fx.context()->count(TODOItem::EntityName), 7 + (dragged.isEmpty() ? 1 : 0));
    }

    void mouse_data()
    {
        QTest::addColumn<int>("completion"); // of the row a1
        QTest::addColumn<QString>("link");   // of a1
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<bool>("editing");

        const QString url = "https://ex.org/a?b=1";
        QTest::newRow("done box of an open item") << 40 << "" << "click box" << "a1*,b1" << "" << false;
        QTest::newRow("done box of a done item") << 100 << "" << "click box" << "a1,b1" << "" << false;
        QTest::newRow("click on the name") << 40 << "" << "click row" << "a1,b1" << "" << false;
        QTest::newRow("a row's link") << 0 << url << "double row" << "a1,b1" << url << false;
        QTest::newRow("a row without link") << 0 << "" << "double row" << "a1,b1" << "" << true;
        QTest::newRow("below the rows") << 0 << "" << "double below" << "a1,b1,Untitled" << "" << false;
    }

    void mouse()
    {
        QFETCH(int, completion);
        QFETCH(QString, link);
        QFETCH(QString, gesture);
        Matrix m({{}, {}, {}, {"a1", "b1"}});
        m.fx.document->markTODOItem(m.item(3, 0), m.list, nullptr, completion);
        m.item(3, 0)->setMacResourceURL(link);
        m.fx.context()->processPendingChanges();
        m_opened.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");

        QuadrantView *view = m.views[3];
        const auto *cell = qobject_cast<ItemCustomCell *>(view->itemDelegate());
        QPoint pos = m.pointAt(3, gesture.endsWith("below") ? -1 : 0);
        if (gesture == "click box")
            pos = cell->rectForCheckBoxIn(view->visualRect(m.index(3, 0)), view->style()).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pos); // a double click starts with a click
        if (gesture.startsWith("double"))
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, pos);
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        m.fx.context()->processPendingChanges();

        QTEST(m.rows(3), "rows");
        QTEST(m_opened.join(' '), "opened");
        const auto *editor = view->findChild<QLineEdit *>();
        QTEST(editor && editor->isVisible(), "editing");
    }

    void rowDrawing_data()
    {
        QTest::addColumn<double>("fontSize");
        QTest::addColumn<QString>("notes");  // of the first row; the second has none
        QTest::addColumn<int>("completion"); // of the first row; the second is at 99
        QTest::addColumn<bool>("sameText");

        QTest::newRow("no notes line at 14") << 14.0 << "Call Bob\nabout the roof" << 99 << true;
        QTest::newRow("notes line at 16") << 16.0 << "Call Bob\nabout the roof" << 99 << false;
        QTest::newRow("98 percent looks like 99") << 14.0 << "" << 98 << true;
        QTest::newRow("done is struck through") << 14.0 << "" << 100 << false;
    }

    // Two rows with the same name and icon, compared right of the icon column,
    // where the title and the notes are.
    void rowDrawing()
    {
        QFETCH(double, fontSize);
        QFETCH(int, completion);
        Matrix m({{"Paint", "Paint"}, {}, {}, {}});
        m.host.fontSize = fontSize;
        for (int row = 0; row < 2; ++row) {
            m.item(0, row)->setIcon(QStringLiteral("green_pen128.png"));
            m.fx.document->markTODOItem(m.item(0, row), m.list, nullptr, row == 0 ? completion : 99);
        }
        QFETCH(QString, notes);
        m.item(0, 0)->setDescriptionText(notes);
        m.fx.context()->processPendingChanges();

        QuadrantView *view = m.views[0];
        const auto *cell = qobject_cast<ItemCustomCell *>(view->itemDelegate());
        QList<QImage> text;
        for (int row = 0; row < 2; ++row) {
            QRect rect = view->visualRect(m.index(0, row));
            rect.setLeft(cell->rectForIconIn(cell->cellFrameIn(rect, view->style())).right() + 1);
            text << view->viewport()->grab(rect).toImage();
        }
        QTEST(text[0] == text[1], "sameText");
    }
};

QTEST_MAIN(TestQuadrantView)
#include "tst_quadrantview.moc"
