// The master list page of the main window driven as a user drives it:
// opening it and going back, the table's group and item rows, the detail
// panel's actions, the jump into the quadrants and printing.
#include "AppDelegate.h"
#include "DocumentFakes.h"
#include "MainWindow.h"
#include "MasterListDataSource.h"
#include "MasterListWindowController.h"
#include "QuadrantView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// Two lists; "Work" is selected and its "Report" (quadrant 1) selected in the quadrants.
struct Window {
    DocumentFixture f;
    AppDelegate delegate;
    TODOList *home = f.document->addNewProjectWithName(u"Home"_s);
    TODOList *work = f.selectedList(u"Work"_s);
    TODOItem *report = f.item(1, u"Report"_s);
    TODOItem *slides = f.item(2, u"Slides"_s);
    QList<TODOItem *> homeItems; // rows 4 and 5 of "All Items"
    std::unique_ptr<MainWindow> window;

    Window()
    {
        home->setIndex(100);
        work->setIndex(200);
        home->setTextThirdQuadrant(u"Soon"_s);
        report->setIndex(300);
        slides->setIndex(200);
        int index = 300;
        for (const QString &name : {u"Milk"_s, u"Bread"_s}) {
            TODOItem *item = f.document->newItemForProject(home, 0);
            item->setName(name);
            item->setIndex(index -= 100);
            homeItems << item;
        }
        f.document->setQuadrantRowHeight(24); // the quadrants' rows are not the master list's
        f.document->selectItem(report);
        f.document->closeDrawer();
        f.context()->processPendingChanges();
        window = std::make_unique<MainWindow>(&delegate, f.document.get());
        window->resize(1000, 700);
        window->show();
        QApplication::setActiveWindow(window.get());
    }

    // Opens the master list on "All Items" (groups by list order: Work, then Home).
    MasterListWindowController *openAll()
    {
        Defaults::standard().setValue(MasterListDataSource::ViewModeKey, int(MasterView::All));
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
        window->showMasterList();
        return window->masterList();
    }
    QTableView *table() const { return window->masterList()->findChild<QTableView *>(u"masterListTable"_s); }
    QPoint rowCentre(int row) const { return table()->visualRect(table()->model()->index(row, 0)).center(); }
    QString detailName() const { return window->masterList()->findChild<QLabel *>(u"itemNameTextView"_s)->text(); }
    bool showsMasterList() const { return window->masterList() && window->masterList()->isVisible(); }
};

} // namespace

class tst_MasterListWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QDir::addSearchPath(u"icons"_s, u":/icons"_s); }

    void openAndBack_data()
    {
        QTest::addColumn<QString>("open"); // "button": the main toolbar's; "keys": Ctrl+Shift+M
        QTest::addColumn<QString>("back"); // "escape", "button" (the page's), "keys"

        QTest::newRow("toolbar, then Escape") << u"button"_s << u"escape"_s;
        QTest::newRow("shortcut, then the back button") << u"keys"_s << u"button"_s;
        QTest::newRow("shortcut both ways") << u"keys"_s << u"keys"_s;
    }

    // The page replaces the quadrants and goes again; the quadrants'
    // selection is what it was.
    void openAndBack()
    {
        QFETCH(QString, open);
        QFETCH(QString, back);
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
        if (open == "button"_L1) {
            auto *bar = w.window->findChild<QToolBar *>(u"mainToolBar"_s);
            QTest::mouseClick(bar->widgetForAction(w.window->action(u"masterList"_s)), Qt::LeftButton);
        } else {
            QTest::keyClick(w.window.get(), Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QVERIFY(w.showsMasterList());
        QVERIFY(w.delegate.isMasterListOpen());
        QVERIFY(!w.window->quadrantView(1)->isVisible());
        // A view button switches the view and renames the window.
        QTest::mouseClick(w.window->masterList()->findChild<QToolButton *>(u"masterView7"_s), Qt::LeftButton);
        QCOMPARE(w.window->windowTitle(), u"All Items"_s);
        QCOMPARE(w.detailName(), u"Report"_s);

        if (back == "escape"_L1) {
            QTest::keyClick(w.table(), Qt::Key_Escape);
        } else if (back == "button"_L1) {
            auto *bar = w.window->masterList()->findChild<QToolBar *>(u"masterListToolBar"_s);
            QTest::mouseClick(bar->widgetForAction(bar->findChild<QAction *>(u"flipToMainWindow"_s)), Qt::LeftButton);
        } else {
            QTest::keyClick(w.table(), Qt::Key_M, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QVERIFY(!w.showsMasterList());
        QVERIFY(w.window->quadrantView(1)->isVisible());
        QVERIFY(!w.delegate.isMasterListOpen());
        QCOMPARE(w.f.document->selectedItemsInQuadrant(1), QList<TODOItem *>{w.report});
        QVERIFY(w.window->quadrantView(1)->selectionModel()->isRowSelected(0));
    }

    // The table shows the groups and items of the model, group rows lower
    // than item rows; group rows cannot be selected (which row the detail
    // shows is tests/masterlist's). Rows: 0 Work, 1 Report, 2 Slides, 3 Home,
    // 4 Milk, 5 Bread (items by index).
    void clickRows()
    {
        Window w;
        w.f.document->newItemForProject(w.home, 0)->setState(RecordState::Completed); // never listed
        w.openAll();
        QTableView *table = w.table();
        QStringList shown;
        for (int row = 0; row < table->model()->rowCount(); ++row)
            shown << table->model()->index(row, 0).data().toString() + u'/' + QString::number(table->rowHeight(row));
        QCOMPARE(shown.join(u' '), u"Work/20 Report/40 Slides/40 Home/20 Milk/40 Bread/40"_s);

        for (int row : {4, 0}) // an item, then its group row
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, w.rowCentre(row));
        QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
        QCOMPARE(table->selectionModel()->selectedRows().constFirst().row(), 4);
        QCOMPARE(w.detailName(), u"Milk"_s);
    }

    void detailActions_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("state");    // of the row's item afterwards
        QTest::addColumn<int>("quadrant");

        QTest::newRow("complete") << 4 << u"done"_s << 1 << 0;
        QTest::newRow("complete, then reopen") << 4 << u"done done"_s << 0 << 0;
        QTest::newRow("another quadrant") << 4 << u"quadrant"_s << 0 << 2;
        QTest::newRow("the done box of the row") << 5 << u"box"_s << 1 << 0;
    }

    // What the detail panel and the row's done box do reaches the store; the
    // row stays until the view is rebuilt.
    void detailActions()
    {
        QFETCH(int, row);
        QFETCH(QString, action);
        Window w;
        MasterListWindowController *page = w.openAll();
        QTableView *table = w.table();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, w.rowCentre(row));
        TODOItem *item = w.homeItems.at(row - 4);
        QCOMPARE(w.detailName(), item->name());
        for (const QString &step : action.split(u' ')) {
            if (step == "done"_L1) {
                QTest::mouseClick(page->findChild<QPushButton *>(u"markSelectedAsDone"_s), Qt::LeftButton);
            } else if (step == "quadrant"_L1) {
                auto *quadrants = page->findChild<QComboBox *>(u"quadrantNameComboBox"_s);
                QCOMPARE(quadrants->itemText(2), u"Soon"_s);
                quadrants->setFocus();
                QTest::keyClick(quadrants, Qt::Key_Down);
                QTest::keyClick(quadrants, Qt::Key_Down);
            } else {
                const QRect box = table->visualRect(table->model()->index(row, 0));
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 10, box.center().y()));
            }
        }
        QTEST(item->state(), "state");
        QTEST(item->quadrant(), "quadrant");
        QCOMPARE(item->completionPercentage(), item->state() == RecordState::Completed ? 100 : 0);
        QCOMPARE(table->model()->index(row, 0).data().toString(), item->name());
    }

    void jump_data()
    {
        QTest::addColumn<QString>("how"); // "double click" on the row, or the detail's "button"
        QTest::newRow("double click") << u"double click"_s;
        QTest::newRow("button") << u"button"_s;
    }

    // The jump selects the item's list and the item in the quadrants.
    void jump()
    {
        QFETCH(QString, how);
        Window w;
        MasterListWindowController *page = w.openAll();
        QTest::mouseClick(w.table()->viewport(), Qt::LeftButton, {}, w.rowCentre(5));
        if (how == "double click"_L1)
            QTest::mouseDClick(w.table()->viewport(), Qt::LeftButton, {}, w.rowCentre(5));
        else
            QTest::mouseClick(page->findChild<QPushButton *>(u"goToSelectedItem"_s), Qt::LeftButton);

        QVERIFY(!w.showsMasterList());
        QCOMPARE(w.f.document->projects().selectedList(), w.home);
        QCOMPARE(w.f.document->selectedItemsInQuadrant(0), QList<TODOItem *>{w.homeItems[1]});
        QCOMPARE(w.f.document->selectedItemsInQuadrant(1), QList<TODOItem *>{});
        QuadrantView *quadrant = w.window->quadrantView(0);
        const QModelIndexList rows = quadrant->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.constFirst().data().toString(), u"Bread"_s);
    }

    // Every row reaches the paper, those scrolled out of sight too, page after page.
    void print()
    {
        const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_s);
        if (pdftotext.isEmpty())
            QSKIP("pdftotext (poppler-utils) is missing");
        Window w;
        for (int i = 1; i <= 40; ++i)
            w.f.document->newItemForProject(w.home, 3)->setName(u"Chore %1"_s.arg(i, 2, 10, QLatin1Char('0')));
        MasterListWindowController *page = w.openAll();
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageOrientation(QPageLayout::Landscape);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(w.f.dir.filePath(u"master.pdf"_s));
        page->print(&printer);

        QProcess reader;
        reader.start(pdftotext, {u"-layout"_s, printer.outputFileName(), u"-"_s});
        QVERIFY(reader.waitForFinished());
        const QString text = QString::fromUtf8(reader.readAllStandardOutput());
        QVERIFY(text.count(u'\f') > 1);
        for (const QString &name : {u"Work"_s, u"Report"_s, u"Home"_s, u"Chore 01"_s, u"Chore 40"_s})
            QVERIFY2(text.contains(name), qPrintable(name));
        QCOMPARE(text.count(u"Chore "_s), 40);
    }
};

QTEST_MAIN(tst_MasterListWindow)
#include "tst_masterlistwindow.moc"
