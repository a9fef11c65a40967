// The quadrant tables, driven as a user drives them: keys, clicks, drops
// and renaming in place, on real widgets over a document.
#include "DocumentFakes.h"
#include "DocumentPresenter.h"
#include "ItemCustomCell.h"
#include "QuadrantItemModel.h"
#include "QuadrantView.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include <array>

namespace {

// The host with a font size the test chooses.
struct SizedHost : FakeHost {
    double fontSize = 14;
    double currentFontSize() const override { return fontSize; }
};

// Records the links the desktop is asked to open.
class LinkRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

// The four quadrant tables of one list in a shown window. Items are given
// per quadrant in row order.
struct Matrix {
    SizedHost host;
    DocumentFixture fx;
    TODOList *list = nullptr;
    QWidget window;
    std::array<QuadrantView *, 4> views{};

    explicit Matrix(const std::array<QStringList, 4> &quadrants)
    {
        fx.document->setHost(&host);
        fx.document->setQuadrantRowHeight(32);
        list = fx.selectedList();
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
        for (int q = 0; q < 4; ++q) {
            views[q] = new QuadrantView(presenter->quadrantModel(q), fx.document.get());
            grid->addWidget(views[q], q / 2, q % 2);
        }
        window.resize(800, 600);
        window.show();
        fx.view.calls.clear();
    }

    TODOItem *item(const QString &name) const
    {
        for (TODOItem *item : fx.document->getAllTODOItemsForTODOList(list)) {
            if (item->name() == name)
                return item;
        }
        return nullptr;
    }
    QModelIndex index(int q, int row) const { return views[q]->model()->index(row, 0); }
    QPoint middleOf(int q, int row) const { return views[q]->visualRect(index(q, row)).center(); }
    // The rows of a quadrant: "A,B,C".
    QString rows(int q) const
    {
        QStringList names;
        for (int row = 0; row < views[q]->model()->rowCount(); ++row)
            names << index(q, row).data().toString();
        return names.join(',');
    }
    // The selection across the quadrants: "2:c1,c2".
    QString selection() const
    {
        QStringList parts;
        for (int q = 0; q < 4; ++q) {
            QStringList names;
            for (TODOItem *item : fx.document->selectedItemsInQuadrant(q))
                names << item->name();
            if (!names.isEmpty())
                parts << QStringLiteral("%1:%2").arg(q).arg(names.join(','));
        }
        return parts.join(' ');
    }
    // Items no longer open: "c1=1 a2=2".
    QString states() const
    {
        QStringList parts;
        for (TODOItem *item : fx.document->getAllTODOItemsForTODOList(list)) {
            if (item->state() != 0)
                parts << QStringLiteral("%1=%2").arg(item->name()).arg(item->state());
        }
        parts.sort();
        return parts.join(' ');
    }
    // A row picked as the user picks it, in the view's selection.
    void select(int q, int row)
    {
        views[q]->selectionModel()->setCurrentIndex(index(q, row), QItemSelectionModel::ClearAndSelect);
    }
};

const std::array<QStringList, 4> kKeyLayout{QStringList{"a1", "a2"}, QStringList{},
                                            QStringList{"c1", "c2", "c3"}, QStringList{"d1"}};

} // namespace

class TestQuadrantView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QDir::addSearchPath(QStringLiteral("icons"), QStringLiteral(":/icons")); }

    void keyboard_data();
    void keyboard();
    void drops_data();
    void drops();
    void renameInPlace();
    void doneBoxClick_data();
    void doneBoxClick();
    void doubleClick_data();
    void doubleClick();
    void rowDrawing_data();
    void rowDrawing();
};

void TestQuadrantView::keyboard_data()
{
    QTest::addColumn<int>("quadrant");
    QTest::addColumn<int>("row"); // selected before the key, -1 for none
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("focusCall"); // the last focus move asked of the window
    QTest::addColumn<QString>("states");

    QTest::newRow("down from the last row of 0") << 0 << 1 << int(Qt::Key_Down) << "2:c1" << "focusQuadrant 2" << "";
    QTest::newRow("down within 0") << 0 << 0 << int(Qt::Key_Down) << "0:a2" << "" << "";
    QTest::newRow("up from row 0 of 2") << 2 << 0 << int(Qt::Key_Up) << "0:a2" << "focusQuadrant 0" << "";
    QTest::newRow("up within 2") << 2 << 2 << int(Qt::Key_Up) << "2:c2" << "" << "";
    QTest::newRow("up from 3 into empty 1") << 3 << 0 << int(Qt::Key_Up) << "" << "focusQuadrant 1" << "";
    QTest::newRow("down from empty 1") << 1 << -1 << int(Qt::Key_Down) << "3:d1" << "focusQuadrant 3" << "";
    QTest::newRow("left from 3") << 3 << 0 << int(Qt::Key_Left) << "2:c1" << "focusQuadrant 2" << "";
    QTest::newRow("left from 0 to the sidebar") << 0 << 1 << int(Qt::Key_Left) << "0:a2" << "focusSidebar" << "";
    QTest::newRow("right from 2") << 2 << 2 << int(Qt::Key_Right) << "3:d1" << "focusQuadrant 3" << "";
    QTest::newRow("right from 3 stays") << 3 << 0 << int(Qt::Key_Right) << "3:d1" << "" << "";
    QTest::newRow("space completes") << 2 << 1 << int(Qt::Key_Space) << "2:c2" << "" << "c2=1";
    // Quadrant 0 was the last clicked; the key still trashes this quadrant's selection.
    QTest::newRow("delete trashes") << 2 << 0 << int(Qt::Key_Delete) << "2:c2" << "" << "c1=2";
    QTest::newRow("backspace trashes") << 3 << 0 << int(Qt::Key_Backspace) << "" << "" << "d1=2";
}

void TestQuadrantView::keyboard()
{
    QFETCH(int, quadrant);
    QFETCH(int, row);
    QFETCH(int, key);
    Matrix m(kKeyLayout);
    if (row >= 0)
        m.select(quadrant, row);
    m.fx.view.calls.clear();

    QTest::keyClick(m.views[quadrant], Qt::Key(key));
    const QStringList focusCalls = m.fx.view.calls.filter(QStringLiteral("focus"));
    QTEST(m.selection(), "selection");
    QTEST(focusCalls.isEmpty() ? QString() : focusCalls.last(), "focusCall");
    QTEST(m.states(), "states");
}

void TestQuadrantView::drops_data()
{
    QTest::addColumn<int>("source");      // quadrant dragged from, -1 for another application
    QTest::addColumn<QList<int>>("dragged");
    QTest::addColumn<QStringList>("formats"); // "type=data" of another application's drag
    QTest::addColumn<int>("modifiers");   // pick the proposed action: none copy, Shift move, Ctrl+Shift link
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("row");          // dropped on the middle of this row; -1 below the rows
    QTest::addColumn<int>("action");       // what the drop is accepted as
    QTest::addColumn<QString>("rows");     // the target's rows afterwards

    const int shift = Qt::ShiftModifier;
    const int link = Qt::ControlModifier | Qt::ShiftModifier;
    QTest::newRow("rows 2 and 3 onto row 4") << 0 << QList<int>{2, 3} << QStringList() << shift << 0 << 4
                                             << int(Qt::MoveAction) << "A,B,E,F,C,D";
    QTest::newRow("into another quadrant") << 0 << QList<int>{1} << QStringList() << shift << 3 << -1
                                           << int(Qt::MoveAction) << "X,B";
    QTest::newRow("onto itself") << 0 << QList<int>{2} << QStringList() << shift << 0 << 2
                                 << int(Qt::IgnoreAction) << "A,B,C,D,E,F";
    QTest::newRow("file manager") << -1 << QList<int>() << QStringList{"text/uri-list=file:///home/me/report.pdf\r\n"}
                                  << 0 << 3 << 0 << int(Qt::CopyAction) << "report.pdf,X";
    QTest::newRow("browser link") << -1 << QList<int>()
                                  << QStringList{"text/x-moz-url=https://ex.org\nEx", "text/uri-list=https://ex.org\r\n"}
                                  << link << 3 << -1 << int(Qt::LinkAction) << "Ex,X";
    // An editor offering its text as a move would delete it once the move is taken.
    QTest::newRow("text offered as a move") << -1 << QList<int>() << QStringList{"text/plain=jane@example.com"}
                                            << shift << 3 << 0 << int(Qt::CopyAction) << "jane@example.com,X";
    QTest::newRow("mail") << -1 << QList<int>() << QStringList{"message/rfc822=Subject: Roof\r\n\r\nbody"} << 0
                          << 3 << 0 << int(Qt::CopyAction) << "Roof,X";
}

// One drop reaches the document exactly once; another application's drop
// makes one item with the icon of its kind.
void TestQuadrantView::drops()
{
    QFETCH(int, source);
    QFETCH(QList<int>, dragged);
    QFETCH(QStringList, formats);
    QFETCH(int, modifiers);
    QFETCH(int, target);
    QFETCH(int, row);
    QFETCH(int, action);
    Matrix m({QStringList{"A", "B", "C", "D", "E", "F"}, QStringList{}, QStringList{}, QStringList{"X"}});
    const QStringList before = m.rows(target).split(',');

    std::unique_ptr<QMimeData> data;
    if (source >= 0) {
        QModelIndexList indexes;
        for (int r : dragged)
            indexes << m.index(source, r);
        data.reset(m.views[source]->model()->mimeData(indexes));
    } else {
        data = std::make_unique<QMimeData>();
        for (const QString &format : formats) {
            const QString type = format.section('=', 0, 0);
            const QString value = format.section('=', 1);
            // Firefox writes its link and title in UTF-16.
            const QByteArray utf16(reinterpret_cast<const char *>(value.utf16()), value.size() * 2);
            data->setData(type, type == "text/x-moz-url" ? utf16 : value.toUtf8());
        }
    }
    QuadrantView *view = m.views[target];
    const QPoint pos = row >= 0 ? m.middleOf(target, row) : QPoint(20, view->viewport()->height() - 5);
    const Qt::DropActions possible = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    const auto keys = Qt::KeyboardModifiers(modifiers);
    QDragEnterEvent enter(pos, possible, data.get(), Qt::LeftButton, keys);
    QApplication::sendEvent(view->viewport(), &enter);
    QDragMoveEvent move(pos, possible, data.get(), Qt::LeftButton, keys);
    QApplication::sendEvent(view->viewport(), &move);
    QDropEvent drop(pos, possible, data.get(), Qt::LeftButton, keys);
    QApplication::sendEvent(view->viewport(), &drop);
    m.fx.context()->processPendingChanges();

    QCOMPARE(drop.isAccepted() ? int(drop.dropAction()) : int(Qt::IgnoreAction), action);
    QTEST(m.rows(target), "rows");
    QCOMPARE(m.fx.context()->count(TODOItem::EntityName), 7 + (source < 0 ? 1 : 0));
    if (source < 0) {
        const QString name = m.rows(target).section(',', 0, 0);
        QVERIFY(!before.contains(name));
        const QString icon = m.item(name)->icon();
        QVERIFY2(icon == "green_filecabinet128.png" || icon == "green_world128.png" || icon == "green_envelope128.png",
                 qPrintable(icon));
    }
}

// F2 opens the name for editing; Return keeps the typed name, and one undo
// brings the old one back.
void TestQuadrantView::renameInPlace()
{
    Matrix m({QStringList{"a1", "a2"}, QStringList{}, QStringList{}, QStringList{}});
    m.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&m.window));
    m.select(0, 1);
    m.views[0]->setFocus();
    QTest::keyClick(m.views[0], Qt::Key_F2);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QVERIFY(m.views[0]->visualRect(m.index(0, 1)).contains(editor->geometry().center()));
    QTest::keyClicks(editor, QStringLiteral("Paint the fence"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(m.rows(0), QStringLiteral("a1,Paint the fence")); // the editor commits on the next turn

    QCoreApplication::processEvents(); // closes the undo group
    m.fx.document->undo();
    m.fx.context()->processPendingChanges();
    QCOMPARE(m.rows(0), QStringLiteral("a1,a2"));
}

void TestQuadrantView::doneBoxClick_data()
{
    QTest::addColumn<int>("completion");
    QTest::addColumn<bool>("onTheBox");
    QTest::addColumn<int>("after");

    QTest::newRow("open item") << 40 << true << 100;
    QTest::newRow("done item") << 100 << true << 0;
    QTest::newRow("click on the name") << 40 << false << 40;
}

void TestQuadrantView::doneBoxClick()
{
    QFETCH(int, completion);
    QFETCH(bool, onTheBox);
    Matrix m({QStringList{"a1", "a2"}, QStringList{}, QStringList{}, QStringList{}});
    TODOItem *item = m.item("a2");
    m.fx.document->markTODOItem(item, m.list, nullptr, completion);
    m.fx.context()->processPendingChanges();

    QuadrantView *view = m.views[0];
    const QRect rowRect = view->visualRect(m.index(0, 1));
    auto *cell = qobject_cast<ItemCustomCell *>(view->itemDelegate());
    const QPoint pos = onTheBox ? cell->rectForCheckBoxIn(rowRect, view->style()).center() : rowRect.center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pos);
    QTEST(item->completionPercentage(), "after");
}

void TestQuadrantView::doubleClick_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("row"); // -1: below the rows
    QTest::addColumn<QString>("opened");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QString>("rows");

    QTest::newRow("a row's web link") << "https://ex.org/a?b=1" << 0 << "https://ex.org/a?b=1" << false << "a1";
    QTest::newRow("a row without link") << "" << 0 << "" << true << "a1";
    QTest::newRow("below the rows") << "" << -1 << "" << false << "Untitled,a1";
}

void TestQuadrantView::doubleClick()
{
    QFETCH(QString, link);
    QFETCH(int, row);
    Matrix m({QStringList{}, QStringList{}, QStringList{}, QStringList{"a1"}});
    m.item("a1")->setMacResourceURL(link);
    LinkRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");

    QuadrantView *view = m.views[3];
    const QPoint pos = row >= 0 ? m.middleOf(3, row) : QPoint(20, view->viewport()->height() - 5);
    // A double click starts with a click.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, pos);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    m.fx.context()->processPendingChanges();

    QTEST(recorder.opened.isEmpty() ? QString() : recorder.opened.first().toString(), "opened");
    QTEST(view->findChild<QLineEdit *>() != nullptr && view->findChild<QLineEdit *>()->isVisible(), "editing");
    QTEST(m.rows(3), "rows");
}

void TestQuadrantView::rowDrawing_data()
{
    QTest::addColumn<double>("fontSize");
    QTest::addColumn<QString>("notes");  // of the first row; the second has none
    QTest::addColumn<int>("completion"); // of the first row; the second is at 99
    QTest::addColumn<bool>("sameText");  // the text parts of the two rows look the same

    QTest::newRow("no notes line at 14") << 14.0 << "Call Bob\nabout the roof" << 99 << true;
    QTest::newRow("notes line at 16") << 16.0 << "Call Bob\nabout the roof" << 99 << false;
    QTest::newRow("98 percent looks like 99") << 14.0 << "" << 98 << true;
    QTest::newRow("done is struck through") << 14.0 << "" << 100 << false;
}

// Two rows with the same name, told apart only by what the case changes;
// compared right of the icon column, where the title and notes are.
void TestQuadrantView::rowDrawing()
{
    QFETCH(double, fontSize);
    QFETCH(QString, notes);
    QFETCH(int, completion);
    Matrix m({QStringList{"Paint", "Paint"}, QStringList{}, QStringList{}, QStringList{}});
    m.host.fontSize = fontSize;
    const QList<TODOItem *> items = m.fx.document->getAllTODOItemsForTODOList(m.list);
    for (TODOItem *item : items)
        item->setIcon(QStringLiteral("green_pen128.png"));
    items[0]->setDescriptionText(notes);
    m.fx.document->markTODOItem(items[0], m.list, nullptr, completion);
    m.fx.document->markTODOItem(items[1], m.list, nullptr, 99);
    m.fx.context()->processPendingChanges();

    QuadrantView *view = m.views[0];
    auto *cell = qobject_cast<ItemCustomCell *>(view->itemDelegate());
    QList<QImage> text;
    for (int row = 0; row < 2; ++row) {
        const QRect rowRect = view->visualRect(m.index(0, row));
        const int left = cell->rectForIconIn(cell->cellFrameIn(rowRect, view->style())).right() + 1;
        text << view->viewport()->grab(rowRect.adjusted(left - rowRect.left(), 0, 0, 0)).toImage();
    }
    QTEST(text[0] == text[1], "sameText");
}

QTEST_MAIN(TestQuadrantView)
#include "tst_quadrantview.moc"
