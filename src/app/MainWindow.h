#pragma once

#include "DocumentView.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

#include <array>

class AppDelegate;
class DateRangeSliderView;
class ListFilePanels;
class DocumentPresenter;
class DraggingDestinationButton;
class MasterListWindowController;
class MyDocument;
class MyDrawerController;
class NSTableProjects;
class PageStack;
class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QSplitter;
class QToolButton;
class QuadrantMatrix;
class QuadrantPane;
class QuadrantView;

// The window a user keeps their tasks in: the list sidebar beside the four
// quadrants around their movable cross, the toolbar with the drop targets,
// filters and search, the menus and the status bar. It shows the document
// through its presenter and forwards what the user does; it is also the
// document's DocumentView. Geometry, the sidebar's width and each list's
// cross are kept between runs.
class MainWindow : public QMainWindow, public DocumentView
{
    Q_OBJECT
public:
    MainWindow(AppDelegate *delegate, MyDocument *document, QWidget *parent = nullptr);
    ~MainWindow() override;

    QuadrantView *quadrantView(int quadrant) const;
    NSTableProjects *sidebar() const { return m_sidebar; }
    QuadrantMatrix *matrix() const { return m_matrix; }
    QLineEdit *searchField() const { return m_search; }
    // Every menu and toolbar action by object name, for the shortcuts listed in README.
    QAction *action(const QString &name) const;
    MyDrawerController *drawer() const { return m_drawer; }
    DateRangeSliderView *timeFilter() const { return m_timeFilter; }
    // The export and import panels, and list files dropped or named at start.
    ListFilePanels *listFilePanels() const { return m_listFiles; }
    // The master list in place of the quadrants (made on first use, reloaded
    // on each later opening), and back; null before the first opening.
    void showMasterList();
    void flipToMainWindow();
    MasterListWindowController *masterList() const { return m_masterList; }

    // DocumentView
    void scrollRowToVisible(int quadrant, int row) override;
    void beginEditingRow(int quadrant, int row) override;
    void focusQuadrant(int quadrant) override;
    double quadrantArea(int quadrant) const override;
    void moveQuadrantCross(double x, double y, bool animated) override;
    void scrollSidebarRowToVisible(int row) override;
    void beginEditingListName(int row) override;
    void focusSidebar() override;
    void focusSearchField() override;
    void resizeIfNeeded() override;
    void showUndeleteSheet() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *makeSidebarPanel();
    void makeToolBar();
    void makeMenus();
    void makeThemeMenu(QMenu *menu);
    void makeOverlay();
    // The sync menu, the sync sheet and the help list download.
    void makeSyncActions();
    void downloadHelpList();
    // The item drawer at the right edge, and its View menu action.
    void makeDrawer();
    // The time filter under the matrix.
    void makeTimeFilter();
    // File menu entries for list files, and list files dropped on the window.
    void makeListFileActions();
    // File menu entries for printing and PDF; the calendar settings in the Sync menu.
    void makePrintAndCalendarActions();
    // File menu entries for the HTML page, CSV files and mail; the Help menu's mail links.
    void makeExportActions();
    QAction *menuAction(QMenu *menu, const QString &name, const QString &text, const QKeySequence &shortcut,
                       std::function<void()> slot);
    // The quadrant whose table (or its editor) has the focus; 0 when none has.
    int focusedQuadrant() const;
    void showFilterChoices();
    void draggingItemsChanged(bool dragging);
    void sidebarCollapsedChanged(bool collapsed, bool animated);
    void limitSidebarWidth();
    void restoreWindowState();
    void saveWindowState();
    bool isMasterListShown() const;

    AppDelegate *m_delegate;
    QPointer<MyDocument> m_document;
    DocumentPresenter *m_presenter;
    QSplitter *m_splitter = nullptr;
    NSTableProjects *m_sidebar = nullptr;
    QuadrantMatrix *m_matrix = nullptr;
    std::array<QuadrantPane *, 4> m_panes{};
    DraggingDestinationButton *m_addButton = nullptr;
    DraggingDestinationButton *m_completeButton = nullptr;
    DraggingDestinationButton *m_trashButton = nullptr;
    QToolButton *m_collapseButton = nullptr;
    QAction *m_textSizeAction = nullptr;
    QComboBox *m_showing = nullptr;
    QComboBox *m_sorting = nullptr;
    QLineEdit *m_search = nullptr;
    QLabel *m_status = nullptr;
    QWidget *m_overlay = nullptr;
    int m_expandedSidebarWidth = 0;
    MyDrawerController *m_drawer = nullptr;
    DateRangeSliderView *m_timeFilter = nullptr;
    ListFilePanels *m_listFiles = nullptr;
    PageStack *m_pages = nullptr;
    MasterListWindowController *m_masterList = nullptr;
    QAction *m_masterListAction = nullptr;
};
