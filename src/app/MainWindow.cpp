#include "MainWindow.h"

#include "AppDelegate.h"
#include "ArrayController.h"
#include "CalendarSyncViewController.h"
#include "ColorTheme.h"
#include "HelpListController.h"
#include "DateRangeSliderView.h"
#include "Defaults.h"
#include "DocumentPresenter.h"
#include "DraggingDestinationButton.h"
#include "ListFilePanels.h"
#include "MailDelivery.h"
#include "Logging.h"
#include "MasterListWindowController.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "MyDrawerController.h"
#include "NSTableProjects.h"
#include "PrintPanels.h"
#include "PageStack.h"
#include "ProjectListModel.h"
#include "QuadrantItemModel.h"
#include "QuadrantMatrix.h"
#include "QuadrantPane.h"
#include "QuadrantView.h"
#include "SyncPresenter.h"
#include "SyncWindowController.h"
#include "TODOList.h"
#include "UndoManager.h"
#include "UndeleteViewController.h"
#include "UndoState.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const QString kGeometryKey = QStringLiteral("windowGeometry");
const QString kSidebarWidthKey = QStringLiteral("sidebarWidth");

// The state choice and the thirteen orders, in their stored positions.
const char *const kShowingChoices[] = {QT_TRANSLATE_NOOP("MainWindow", "All Items"),
                                       QT_TRANSLATE_NOOP("MainWindow", "Open Items"),
                                       QT_TRANSLATE_NOOP("MainWindow", "Completed Items")};
const char *const kSortingChoices[] = {
    QT_TRANSLATE_NOOP("MainWindow", "Manual Order"),
    QT_TRANSLATE_NOOP("MainWindow", "Name"),
    QT_TRANSLATE_NOOP("MainWindow", "Dates, Earliest First"),
    QT_TRANSLATE_NOOP("MainWindow", "Dates, Latest First"),
    QT_TRANSLATE_NOOP("MainWindow", "Most Complete First"),
    QT_TRANSLATE_NOOP("MainWindow", "Least Complete First"),
    QT_TRANSLATE_NOOP("MainWindow", "Icon"),
    QT_TRANSLATE_NOOP("MainWindow", "Newest First"),
    QT_TRANSLATE_NOOP("MainWindow", "Oldest First"),
    QT_TRANSLATE_NOOP("MainWindow", "Recently Completed First"),
    QT_TRANSLATE_NOOP("MainWindow", "Earliest Completed First"),
    QT_TRANSLATE_NOOP("MainWindow", "Recently Edited First"),
    QT_TRANSLATE_NOOP("MainWindow", "Least Recently Edited First"),
};
static_assert(std::size(kSortingChoices) == QuadrantFilters::SortChoiceCount);

QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback, const QWidget *widget)
{
    return QIcon::fromTheme(QString::fromLatin1(name), widget->style()->standardIcon(fallback));
}

} // namespace

MainWindow::MainWindow(AppDelegate *delegate, MyDocument *document, QWidget *parent)
    : QMainWindow(parent)
    , m_delegate(delegate)
    , m_document(document)
    , m_presenter(new DocumentPresenter(document))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(document->displayName());
    connect(document, &MyDocument::displayNameChanged, this, [this] {
        if (!isMasterListShown())
            setWindowTitle(m_document->displayName());
    });

    m_matrix = new QuadrantMatrix;
    for (int q = 0; q < 4; ++q) {
        m_panes[q] = new QuadrantPane(m_presenter, q, m_matrix);
        m_matrix->setQuadrantWidget(q, m_panes[q]);
        connect(m_panes[q]->view(), &QuadrantView::isDraggingChanged, document, &MyDocument::changeToolbarForDragging);
    }
    // A cross the user moved is kept with the selected list.
    connect(m_matrix, &QuadrantMatrix::crossMovedByUser, document, [this](const QPointF &cross) {
        if (TODOList *list = m_document->projects().selectedList()) {
            list->setCenterX(cross.x() * 100.0);
            list->setCenterY(cross.y() * 100.0);
            m_document->managedObjectContext()->setUndoActionName(tr("Resize Quadrants"));
        }
    });

    m_splitter = new QSplitter(Qt::Horizontal);
    m_splitter->setChildrenCollapsible(true);
    m_splitter->addWidget(makeSidebarPanel());
    m_splitter->addWidget(m_matrix);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->installEventFilter(this);
    connect(m_splitter, &QSplitter::splitterMoved, this, &MainWindow::limitSidebarWidth);
    // The quadrants' page; the master list joins it on first use.
    m_pages = new PageStack;
    m_pages->addWidget(m_splitter);
    setCentralWidget(m_pages);

    makeTimeFilter();
    makeToolBar();
    makeMenus();
    makeOverlay();
    makeSyncActions();
    makeDrawer();
    makeListFileActions();
    makePrintAndCalendarActions();
    makeExportActions();

    m_status = new QLabel;
    statusBar()->addWidget(m_status, 1);
    connect(document, &MyDocument::statusTextChanged, m_status, &QLabel::setText);

    connect(document, &MyDocument::draggingItemsChanged, this, &MainWindow::draggingItemsChanged);
    connect(document, &MyDocument::sidebarCollapsedChanged, this, &MainWindow::sidebarCollapsedChanged);
    connect(document, &MyDocument::filtersChanged, this, &MainWindow::showFilterChoices);

    restoreWindowState();
    document->setView(this, this);
}

// The window's state is kept however the application ends (Quit, closing
// the window, a termination signal).
MainWindow::~MainWindow()
{
    saveWindowState();
}

QuadrantView *MainWindow::quadrantView(int quadrant) const
{
    return quadrant >= 0 && quadrant <= 3 ? m_panes[quadrant]->view() : nullptr;
}

QAction *MainWindow::action(const QString &name) const
{
    return findChild<QAction *>(name);
}

// --- Building the window ----------------------------------------------------------------

QWidget *MainWindow::makeSidebarPanel()
{
    auto *panel = new QWidget;
    panel->setObjectName(QStringLiteral("sidebarPanel"));
    m_sidebar = new NSTableProjects(m_presenter->projectListModel(), m_document, panel);

    auto *bar = new QToolBar(panel);
    bar->setIconSize(QSize(16, 16));
    QAction *add = bar->addAction(themeIcon("list-add", QStyle::SP_FileDialogNewFolder, this), tr("New List"));
    connect(add, &QAction::triggered, m_document, &MyDocument::addNewProject);
    QAction *remove = bar->addAction(themeIcon("list-remove", QStyle::SP_TrashIcon, this), tr("Delete List"));
    connect(remove, &QAction::triggered, m_document, &MyDocument::markProjectAsDeleted);
    QAction *alphabetical = bar->addAction(themeIcon("view-sort-ascending", QStyle::SP_ArrowDown, this),
                                           tr("Sort Lists by Name"));
    alphabetical->setObjectName(QStringLiteral("sortListsByName"));
    alphabetical->setCheckable(true);
    alphabetical->setChecked(m_document->projects().alphabeticalOrder());
    connect(alphabetical, &QAction::toggled, m_document, &MyDocument::toggleProjectAlphabeticalOrder);

    auto *layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_sidebar, 1);
    layout->addWidget(bar);
    return panel;
}

void MainWindow::makeToolBar()
{
    QToolBar *bar = addToolBar(tr("Toolbar"));
    bar->setObjectName(QStringLiteral("mainToolBar"));
    bar->setMovable(false);
    bar->setIconSize(QSize(24, 24));
    bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    const auto dropButton = [this, bar](const QString &name, DraggingDestinationButton::Operation operation, const QIcon &icon,
                                        const QString &text, const QString &toolTip) {
        auto *button = new DraggingDestinationButton(m_document, operation, bar);
        button->setObjectName(name);
        button->setIcon(icon);
        button->setText(text);
        button->setToolTip(toolTip);
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setAutoRaise(true);
        bar->addWidget(button);
        return button;
    };
    m_addButton = dropButton(QStringLiteral("addButton"), DraggingDestinationButton::Operation::None, QIcon(QStringLiteral("icons:plus.png")),
                             tr("Add"), tr("Add an item to the largest or last used quadrant; drop items here to duplicate them"));
    connect(m_addButton, &QToolButton::clicked, m_document, [this] { m_document->addTODOItem(false); });
    m_completeButton = dropButton(QStringLiteral("completeButton"), DraggingDestinationButton::Operation::Complete,
                                  QIcon(QStringLiteral("icons:green_checkmark128.png")), tr("Complete"),
                                  tr("Complete the selected items; drop items here to complete them"));
    m_completeButton->setEnabled(m_document->canMarkComplete());
    connect(m_completeButton, &QToolButton::clicked, m_document, &MyDocument::markListOrItemsAsCompleted);
    connect(m_document, &MyDocument::canMarkCompleteChanged, m_completeButton, &QWidget::setEnabled);
    m_trashButton = dropButton(QStringLiteral("trashButton"), DraggingDestinationButton::Operation::Trash,
                               themeIcon("user-trash", QStyle::SP_TrashIcon, this), tr("Trash"),
                               tr("Move the selected items to the trash; drop items here to trash them"));
    connect(m_trashButton, &QToolButton::clicked, m_document, &MyDocument::markItemsAsDeleted);

    bar->addSeparator();
    m_collapseButton = new QToolButton(bar);
    m_collapseButton->setObjectName(QStringLiteral("collapseSidebarButton"));
    m_collapseButton->setAutoRaise(true);
    m_collapseButton->setText(tr("Lists"));
    m_collapseButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    m_collapseButton->setToolTip(tr("Show or hide the lists"));
    m_collapseButton->setIcon(QIcon(QStringLiteral("icons:show-left.png")));
    connect(m_collapseButton, &QToolButton::clicked, m_document, &MyDocument::collapseUncollapseSplitView);
    bar->addWidget(m_collapseButton);
    m_textSizeAction = bar->addAction(themeIcon("format-font-size-more", QStyle::SP_FileDialogDetailedView, this),
                                      tr("Text Size"));
    m_textSizeAction->setObjectName(QStringLiteral("textSize"));
    m_textSizeAction->setToolTip(tr("Switch to the next text size"));
    connect(m_textSizeAction, &QAction::triggered, m_document, [this] { m_document->rotateFontSize(); });
    m_masterListAction = bar->addAction(themeIcon("view-list-details", QStyle::SP_FileDialogListView, this),
                                        tr("&Master List"));
    m_masterListAction->setObjectName(QStringLiteral("masterList"));
    m_masterListAction->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
    m_masterListAction->setToolTip(tr("The open items of every list, by due date or quadrant"));
    m_masterListAction->setCheckable(true);
    connect(m_masterListAction, &QAction::triggered, this, [this](bool show) {
        if (show)
            showMasterList();
        else
            flipToMainWindow();
    });

    auto *spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);

    m_showing = new QComboBox(bar);
    m_showing->setObjectName(QStringLiteral("showingComboBox"));
    m_showing->setToolTip(tr("Which items the quadrants show"));
    for (const char *choice : kShowingChoices)
        m_showing->addItem(tr(choice));
    m_sorting = new QComboBox(bar);
    m_sorting->setObjectName(QStringLiteral("sortingComboBox"));
    m_sorting->setToolTip(tr("How the quadrants are ordered"));
    for (const char *choice : kSortingChoices)
        m_sorting->addItem(tr(choice));
    m_search = new QLineEdit(bar);
    m_search->setObjectName(QStringLiteral("searchField"));
    m_search->setPlaceholderText(tr("Search"));
    m_search->setClearButtonEnabled(true);
    m_search->setMaximumWidth(220);
    bar->addWidget(m_showing);
    bar->addWidget(m_sorting);
    bar->addWidget(m_search);
    showFilterChoices();

    connect(m_showing, &QComboBox::activated, m_document, [this](int position) {
        m_document->filters().setShowingChoice(position);
        m_document->updateFilters();
        m_document->savePreferences();
    });
    connect(m_sorting, &QComboBox::activated, m_document, [this](int position) {
        m_document->filters().setSortingChoice(position);
        m_document->updateSortDescriptors();
        m_document->savePreferences();
    });
    connect(m_search, &QLineEdit::textEdited, m_document, [this](const QString &text) {
        m_document->filters().setSearchText(text);
        m_document->updateFilters();
    });
    // The clear button does not count as an edit.
    connect(m_search, &QLineEdit::textChanged, m_document, [this](const QString &text) {
        if (text.isEmpty() && !m_document->filters().searchText().isEmpty()) {
            m_document->filters().setSearchText(QString());
            m_document->updateFilters();
        }
    });
}

QAction *MainWindow::menuAction(QMenu *menu, const QString &name, const QString &text, const QKeySequence &shortcut,
                               std::function<void()> slot)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(name);
    action->setShortcut(shortcut);
    connect(action, &QAction::triggered, m_document, std::move(slot));
    return action;
}

void MainWindow::makeMenus()
{
    MyDocument *d = m_document;

    QMenu *file = menuBar()->addMenu(tr("&File"));
    menuAction(file, QStringLiteral("save"), tr("&Save"), QKeySequence::Save, [d] { d->saveFile(); });
    file->addSeparator();
    QAction *quit = menuAction(file, QStringLiteral("quit"), tr("&Quit"), QKeySequence(Qt::CTRL | Qt::Key_Q),
                              [this] { m_delegate->requestQuit(); });
    quit->setMenuRole(QAction::QuitRole);

    QMenu *edit = menuBar()->addMenu(tr("&Edit"));
    UndoState *undo = m_presenter->undoState();
    QAction *undoAction = menuAction(edit, QStringLiteral("undo"), tr("&Undo"), QKeySequence::Undo, [d] { d->undo(); });
    QAction *redoAction = menuAction(edit, QStringLiteral("redo"), tr("&Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                    [d] { d->managedObjectContext()->undoManager()->redo(); });
    const auto showUndo = [undo, undoAction, redoAction] {
        undoAction->setEnabled(undo->canUndo());
        undoAction->setText(undo->undoText());
        redoAction->setEnabled(undo->canRedo());
        redoAction->setText(undo->redoText());
    };
    connect(undo, &UndoState::changed, undoAction, showUndo);
    showUndo();
    edit->addSeparator();
    menuAction(edit, QStringLiteral("cut"), tr("Cu&t"), QKeySequence::Cut, [d] { d->cut(); });
    menuAction(edit, QStringLiteral("copy"), tr("&Copy"), QKeySequence::Copy, [d] { d->copy(); });
    menuAction(edit, QStringLiteral("paste"), tr("&Paste"), QKeySequence::Paste, [d] { d->paste(); });
    edit->addSeparator();
    menuAction(edit, QStringLiteral("find"), tr("&Find"), QKeySequence::Find, [this, d] {
        if (isMasterListShown())
            m_masterList->gotoMasterFindButton();
        else
            d->gotoFindField();
    });

    QMenu *items = menuBar()->addMenu(tr("&Item"));
    menuAction(items, QStringLiteral("newItem"), tr("&New Item"), QKeySequence::New,
              [this] { m_document->addTODOItemToQuadrant(focusedQuadrant()); });
    for (int q = 0; q < 4; ++q) {
        menuAction(items, QStringLiteral("newItemInQuadrant%1").arg(q + 1), tr("New Item in Quadrant %1").arg(q + 1),
                  QKeySequence(Qt::CTRL | Qt::ALT | (Qt::Key_1 + q)), [d, q] { d->addTODOItemToQuadrant(q); });
    }
    items->addSeparator();
    QAction *complete = menuAction(items, QStringLiteral("markComplete"), tr("Mark as &Complete"),
                                  QKeySequence(Qt::CTRL | Qt::Key_Return), [d] { d->markListOrItemsAsCompleted(); });
    complete->setEnabled(d->canMarkComplete());
    connect(d, &MyDocument::canMarkCompleteChanged, complete, &QAction::setEnabled);
    menuAction(items, QStringLiteral("toggleComplete"), tr("&Toggle Complete"), QKeySequence(),
              [d] { d->toggleListOrItemsAsCompleted(); });
    menuAction(items, QStringLiteral("trashItems"), tr("Move to &Trash"), QKeySequence(), [d] { d->markItemsAsDeleted(); });
    items->addSeparator();
    menuAction(items, QStringLiteral("enlargeQuadrant"), tr("&Enlarge Quadrant"), QKeySequence(Qt::CTRL | Qt::Key_M),
              [d] { d->maximizeQuadrant(d->lastQuadrantClicked()); });

    QMenu *lists = menuBar()->addMenu(tr("&List"));
    menuAction(lists, QStringLiteral("newList"), tr("&New List"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
              [d] { d->addNewProject(); });
    menuAction(lists, QStringLiteral("duplicateList"), tr("&Duplicate List"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D),
              [d] { d->projects().cloneProjectWithItems(); });
    menuAction(lists, QStringLiteral("duplicateListWithoutItems"), tr("Duplicate List &Without Items"), QKeySequence(),
              [d] { d->projects().cloneProjectWithOutItems(); });
    menuAction(lists, QStringLiteral("deleteList"), tr("De&lete List"), QKeySequence(), [d] { d->markProjectAsDeleted(); });
    lists->addSeparator();
    lists->addAction(findChild<QAction *>(QStringLiteral("sortListsByName")));

    QMenu *view = menuBar()->addMenu(tr("&View"));
    view->addAction(m_masterListAction);
    view->addSeparator();
    QAction *sidebar = menuAction(view, QStringLiteral("toggleSidebar"), tr("Show &Lists"), QKeySequence(Qt::Key_F9),
                                 [d] { d->collapseUncollapseSplitView(); });
    sidebar->setCheckable(true);
    sidebar->setChecked(!d->isSidebarCollapsed());
    connect(d, &MyDocument::sidebarCollapsedChanged, sidebar, [sidebar](bool collapsed) { sidebar->setChecked(!collapsed); });
    view->addAction(m_textSizeAction);
    QAction *larger = menuAction(view, QStringLiteral("largerText"), tr("&Larger Text"), QKeySequence::ZoomIn,
                                 [d] { d->rotateFontSize(DocumentHost::FontStep::Larger); });
    larger->setShortcuts({QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    menuAction(view, QStringLiteral("smallerText"), tr("&Smaller Text"), QKeySequence::ZoomOut,
               [d] { d->rotateFontSize(DocumentHost::FontStep::Smaller); });
    view->addSeparator();
    makeThemeMenu(view->addMenu(tr("Colour &Themes")));

    QMenu *help = menuBar()->addMenu(tr("&Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction *about = help->addAction(tr("&About Corvane"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, [this] {
        QMessageBox::about(this, tr("About Corvane"),
                           tr("<b>Corvane</b><p>Your tasks in four quadrants: what is critical, what is "
                              "immediate, and what can wait.</p>"));
    });
}

void MainWindow::makeThemeMenu(QMenu *menu)
{
    ColorThemes *themes = m_presenter->colorThemes();
    themes->loadColorThemes();
    for (const ColorThemes::MenuEntry &entry : themes->menuEntries()) {
        QAction *action = menu->addAction(QIcon(QPixmap::fromImage(entry.image)), entry.title);
        action->setObjectName(QStringLiteral("colorTheme%1").arg(entry.tag));
        action->setData(entry.tag);
        connect(action, &QAction::triggered, m_presenter, [themes, tag = entry.tag] { themes->changeColorTheme(tag); });
    }
    menu->setEnabled(!menu->isEmpty());
}

// The grey overlay with a busy bar over the window while a sync runs.
void MainWindow::makeOverlay()
{
    // A child of the window, not of the splitter, which would take it as a pane.
    m_overlay = new QWidget(this);
    m_overlay->setObjectName(QStringLiteral("grayOverlay"));
    m_overlay->setAutoFillBackground(true);
    QPalette grey = m_overlay->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128, 140));
    m_overlay->setPalette(grey);
    auto *busy = new QProgressBar(m_overlay);
    busy->setRange(0, 0);
    busy->setTextVisible(false);
    busy->setMaximumWidth(160);
    auto *layout = new QVBoxLayout(m_overlay);
    layout->addWidget(busy, 0, Qt::AlignCenter);
    m_overlay->setVisible(m_document->isShowingGrayOverlay());
    connect(m_document, &MyDocument::grayOverlayChanged, m_overlay, [this](bool shown) {
        m_overlay->setGeometry(centralWidget()->geometry());
        m_overlay->raise();
        m_overlay->setVisible(shown);
    });
}

// --- Sync ------------------------------------------------------------------------------------

void MainWindow::makeSyncActions()
{
    // Before the Help menu.
    auto *menu = new QMenu(tr("S&ync"), menuBar());
    menuBar()->insertMenu(findChild<QMenu *>(QStringLiteral("helpMenu"))->menuAction(), menu);
    if (SyncPresenter *sync = m_delegate->syncPresenter()) {
        new SyncWindowController(sync, this); // opens when the presenter asks for the sheet
        menuAction(menu, QStringLiteral("syncWindow"), tr("&Sync..."), QKeySequence(),
                  [sync] { sync->showSyncWindow(SyncPresenter::QuickSync::Off); });
        // With a remembered login this syncs without showing the sheet.
        menuAction(menu, QStringLiteral("quickSync"), tr("&Quick Sync"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S),
                  [sync] { sync->showSyncWindow(SyncPresenter::QuickSync::On); });
        // The toolbar's button syncs quickly when the preference says so.
        auto *bar = findChild<QToolBar *>(QStringLiteral("mainToolBar"));
        auto *button = new QAction(themeIcon("view-refresh", QStyle::SP_BrowserReload, this), tr("Sync"), bar);
        button->setObjectName(QStringLiteral("toolbarSync"));
        button->setToolTip(tr("Sync your lists with the sync server"));
        bar->insertAction(bar->actions().value(bar->actions().indexOf(m_textSizeAction) + 1), button);
        connect(button, &QAction::triggered, m_document, [this, sync] {
            const bool quick = m_delegate->syncOption(AppDelegate::SyncOption::Quick);
            sync->showSyncWindow(quick ? SyncPresenter::QuickSync::On : SyncPresenter::QuickSync::Off);
        });
        menuAction(findChild<QMenu *>(QStringLiteral("helpMenu")), QStringLiteral("downloadHelpList"),
                   tr("Download the &Help List"), QKeySequence(), [this] { downloadHelpList(); });
        menu->addSeparator();
    }
    for (auto option : {AppDelegate::SyncOption::AfterStart, AppDelegate::SyncOption::BeforeExit,
                        AppDelegate::SyncOption::Quick})
        menu->addAction(m_delegate->syncOptionItem(option));
}

// The help list's lists join the sidebar; an alert tells how it went (a
// connection that failed shows none).
void MainWindow::downloadHelpList()
{
    auto store = std::make_shared<DocumentHelpListStore>(*m_document);
    auto *controller = new HelpListController(store.get(), m_delegate->syncTransport(), this);
    controller->downloadHelpList([this, controller, store](HelpListController::Outcome outcome) {
        controller->deleteLater();
        const QString text = HelpListController::alertText(outcome);
        if (text.isEmpty())
            return;
        auto *box = new QMessageBox(QMessageBox::Information, tr("Corvane"), text, QMessageBox::Ok, this);
        box->button(QMessageBox::Ok)->setText(tr("Ok"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}

void MainWindow::makeDrawer()
{
    m_drawer = new MyDrawerController(m_document, this);
    addDockWidget(Qt::RightDockWidgetArea, m_drawer);
    QAction *toggle = new QAction(tr("Show Item &Details"), this);
    toggle->setObjectName(QStringLiteral("toggleDrawer"));
    toggle->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    toggle->setCheckable(true);
    toggle->setChecked(m_drawer->isDrawerShown());
    connect(toggle, &QAction::toggled, m_drawer, &MyDrawerController::setDrawerShown);
    for (QAction *menu : menuBar()->actions()) {
        if (menu->menu() && menu->text() == tr("&View"))
            menu->menu()->insertAction(m_textSizeAction, toggle);
    }
}

void MainWindow::makeTimeFilter()
{
    auto *column = new QWidget;
    m_splitter->replaceWidget(1, column);
    // The quadrants take what the window gains, as the matrix did.
    m_splitter->setStretchFactor(1, 1);
    m_timeFilter = new DateRangeSliderView(m_document, column);
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_matrix, 1);
    layout->addWidget(m_timeFilter);
    m_matrix->show();
}

void MainWindow::makeListFileActions()
{
    m_listFiles = new ListFilePanels(m_document, this);
    QAction *exportAction = new QAction(tr("&Export List…"), this);
    exportAction->setObjectName(QStringLiteral("exportList"));
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(exportAction, &QAction::triggered, m_listFiles, &ListFilePanels::showSavePanel);
    QAction *importAction = new QAction(tr("&Import Lists…"), this);
    importAction->setObjectName(QStringLiteral("importLists"));
    importAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(importAction, &QAction::triggered, m_listFiles, &ListFilePanels::showWindowForImportCorvxFile);
    // Above Quit in the File menu.
    QAction *quit = action(QStringLiteral("quit"));
    QMenu *file = menuBar()->actions().constFirst()->menu();
    file->insertActions(quit, {importAction, exportAction});
    file->insertSeparator(quit);
}

void MainWindow::makePrintAndCalendarActions()
{
    auto *printing = new PrintPanels(m_document, m_matrix, this);
    QAction *print = new QAction(tr("&Print…"), this);
    print->setObjectName(QStringLiteral("print"));
    print->setShortcut(QKeySequence::Print);
    connect(print, &QAction::triggered, printing, &PrintPanels::printDocument);
    QAction *pdf = new QAction(tr("Export as P&DF…"), this);
    pdf->setObjectName(QStringLiteral("exportPdf"));
    pdf->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    connect(pdf, &QAction::triggered, printing, &PrintPanels::saveDocumentAsPDF);
    QAction *quit = action(QStringLiteral("quit"));
    QMenu *file = menuBar()->actions().constFirst()->menu();
    file->insertActions(quit, {pdf, print});
    file->insertSeparator(quit);

    // The calendar entries close the Sync menu.
    for (QAction *entry : menuBar()->actions()) {
        QMenu *menu = entry->menu();
        if (!menu || entry->text() != tr("S&ync"))
            continue;
        auto *sheet = new CalendarSyncViewController(m_document, this);
        menu->addSeparator();
        menuAction(menu, QStringLiteral("calendarSettings"), tr("&Calendar Sync…"), QKeySequence(), [sheet] { sheet->open(); });
        menuAction(menu, QStringLiteral("calendarExport"), tr("&Export to Calendar"), QKeySequence(),
                   [this] { m_document->iCalExport(); });
        menuAction(menu, QStringLiteral("calendarImport"), tr("&Import from Calendar"), QKeySequence(),
                   [this] { m_document->iCalImport(); });
    }
}

// --- The master list ------------------------------------------------------------------------

// The drawer closes; the quadrants' toolbar gives way to the master list's.
void MainWindow::showMasterList()
{
    m_document->closeDrawer();
    if (!m_masterList) {
        m_masterList = new MasterListWindowController(m_document);
        m_pages->addWidget(m_masterList);
        connect(m_masterList, &MasterListWindowController::mainWindowRequested, this, &MainWindow::flipToMainWindow);
        connect(m_masterList, &QWidget::windowTitleChanged, this, [this](const QString &title) {
            if (isMasterListShown())
                setWindowTitle(title);
        });
    } else {
        m_masterList->reloadData();
    }
    findChild<QToolBar *>(QStringLiteral("mainToolBar"))->hide();
    m_pages->flipTo(m_masterList);
    setWindowTitle(m_masterList->windowTitle());
    m_masterListAction->setChecked(true);
    m_delegate->setMasterListOpen(true);
    m_masterList->setFocus();
}

// Back to the quadrants, with the focus on the one holding the selection.
void MainWindow::flipToMainWindow()
{
    if (!isMasterListShown())
        return;
    m_pages->flipTo(m_splitter);
    findChild<QToolBar *>(QStringLiteral("mainToolBar"))->show();
    setWindowTitle(m_document->displayName());
    m_masterListAction->setChecked(false);
    m_delegate->setMasterListOpen(false);
    const int selected = m_document->selectedQuadrant();
    focusQuadrant(selected >= 0 ? selected : 0);
}

bool MainWindow::isMasterListShown() const
{
    return m_masterList && m_pages->currentWidget() == m_masterList;
}

void MainWindow::makeExportActions()
{
    QAction *quit = action(QStringLiteral("quit"));
    QMenu *file = menuBar()->actions().constFirst()->menu();
    auto *html = new QAction(tr("Save as &HTML…"), this);
    html->setObjectName(QStringLiteral("saveAsHtml"));
    html->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_H));
    connect(html, &QAction::triggered, m_listFiles, &ListFilePanels::saveDocumentAsHTMLTo);
    auto *csv = new QAction(tr("Import &CSV…"), this);
    csv->setObjectName(QStringLiteral("importCsv"));
    connect(csv, &QAction::triggered, m_listFiles, &ListFilePanels::importFromExcel);
    file->insertActions(quit, {html, csv});

    // Shared by the menu entries, which live no longer than the document.
    auto mail = std::make_shared<MailDelivery>(*m_document, QGuiApplication::clipboard(), &MailDelivery::openWithDesktop);
    QMenu *mailMenu = new QMenu(tr("&Mail"), file);
    file->insertMenu(quit, mailMenu);
    file->insertSeparator(quit);
    menuAction(mailMenu, QStringLiteral("mailList"), tr("Mail &List"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_L),
               [mail] { mail->emailCurrentList(); });
    menuAction(mailMenu, QStringLiteral("mailSelectedItems"), tr("Mail &Selected Items"),
               QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_M), [mail] { mail->emailSelectedItems(); });
    menuAction(mailMenu, QStringLiteral("mailItem"), tr("Mail the Item in the &Drawer"), QKeySequence(),
               [mail] { mail->emailCurrentItem(); });
    mailMenu->addSeparator();
    for (int q = 0; q < 4; ++q) {
        menuAction(mailMenu, QStringLiteral("mailQuadrant%1").arg(q + 1), tr("Mail Quadrant &%1").arg(q + 1),
                   QKeySequence(), [mail, q] { mail->emailFromQuadrant(q); });
    }

    QMenu *help = findChild<QMenu *>(QStringLiteral("helpMenu"));
    menuAction(help, QStringLiteral("sendFeedback"), tr("Send &Feedback…"), QKeySequence(),
               [mail] { mail->emailFeedbackToNuvalto(); });
    menuAction(help, QStringLiteral("recommend"), tr("&Recommend Corvane…"), QKeySequence(),
               [mail] { mail->emailRecommendCorvane(); });
}

// --- Following the document ------------------------------------------------------------------

int MainWindow::focusedQuadrant() const
{
    const QWidget *focus = QApplication::focusWidget();
    for (int q = 0; q < 4; ++q) {
        if (focus && (focus == m_panes[q]->view() || m_panes[q]->view()->isAncestorOf(focus)))
            return q;
    }
    return 0;
}

void MainWindow::showFilterChoices()
{
    const QuadrantFilters &filters = m_document->filters();
    m_showing->setCurrentIndex(filters.showingChoice());
    m_sorting->setCurrentIndex(filters.sortingChoice());
    // Adding an item empties the search so the item cannot hide.
    if (m_search->text() != filters.searchText())
        m_search->setText(filters.searchText());
}

// While items are dragged the add button takes duplicates and the buttons
// that cannot take a drop rest.
void MainWindow::draggingItemsChanged(bool dragging)
{
    m_addButton->setOperation(dragging ? DraggingDestinationButton::Operation::Duplicate
                                       : DraggingDestinationButton::Operation::None);
    m_addButton->setIcon(QIcon(dragging ? QStringLiteral("icons:duplicate.png") : QStringLiteral("icons:plus.png")));
    m_textSizeAction->setEnabled(!dragging);
    m_collapseButton->setEnabled(!dragging);
}

// At set-up the sidebar gets the width it had in the last run; the toggle
// opens it at a quarter of the window.
void MainWindow::sidebarCollapsedChanged(bool collapsed, bool animated)
{
    // Before the window is shown the splitter has no width of its own yet.
    const int total = m_splitter->isVisible() ? m_splitter->width() : width();
    int sidebar = 0;
    if (!collapsed)
        sidebar = animated && total > 0 ? total / 4 : m_expandedSidebarWidth;
    else if (m_splitter->sizes().value(0) > 0)
        m_expandedSidebarWidth = m_splitter->sizes().value(0);
    m_splitter->setSizes({sidebar, std::max(total - sidebar, 1)});
    m_collapseButton->setIcon(
        QIcon(collapsed ? QStringLiteral("icons:show-right.png") : QStringLiteral("icons:show-left.png")));
}

// The sidebar never takes more than a third of the window.
void MainWindow::limitSidebarWidth()
{
    const int limit = m_splitter->width() / 3;
    const QList<int> sizes = m_splitter->sizes();
    if (sizes.size() == 2 && sizes[0] > limit)
        m_splitter->setSizes({limit, sizes[0] + sizes[1] - limit});
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_splitter && event->type() == QEvent::Resize) {
        limitSidebarWidth();
        if (m_overlay)
            m_overlay->setGeometry(centralWidget()->geometry());
    }
    return QMainWindow::eventFilter(watched, event);
}

// --- Window state ------------------------------------------------------------------------------

void MainWindow::restoreWindowState()
{
    Defaults &defaults = Defaults::standard();
    if (!restoreGeometry(defaults.value(kGeometryKey).toByteArray()))
        resize(1100, 700);
    m_expandedSidebarWidth = defaults.intValue(kSidebarWidthKey, 240);
    sidebarCollapsedChanged(m_document->isSidebarCollapsed(), false);
}

void MainWindow::saveWindowState()
{
    Defaults &defaults = Defaults::standard();
    defaults.setValue(kGeometryKey, saveGeometry());
    const int sidebar = m_splitter->sizes().value(0);
    defaults.setValue(kSidebarWidthKey, sidebar > 0 ? sidebar : m_expandedSidebarWidth);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window quits, once everything is synced and saved.
    if (m_delegate->quitState() != AppDelegate::QuitState::Quitting) {
        event->ignore();
        m_delegate->requestQuit();
        return;
    }
    event->accept();
}

// --- DocumentView ------------------------------------------------------------------------------

void MainWindow::scrollRowToVisible(int quadrant, int row)
{
    if (QuadrantView *view = quadrantView(quadrant))
        view->scrollTo(view->model()->index(row, 0));
}

void MainWindow::beginEditingRow(int quadrant, int row)
{
    QuadrantView *view = quadrantView(quadrant);
    if (!view)
        return;
    // A new item is named where it shows.
    flipToMainWindow();
    const QModelIndex index = view->model()->index(row, 0);
    view->setFocus();
    // The document has selected the row; the view only moves its cursor there.
    view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    view->edit(index);
}

void MainWindow::focusQuadrant(int quadrant)
{
    if (QuadrantView *view = quadrantView(quadrant))
        view->setFocus();
}

double MainWindow::quadrantArea(int quadrant) const
{
    const QWidget *pane = quadrant >= 0 && quadrant <= 3 ? m_panes[quadrant] : nullptr;
    return pane && pane->isVisible() ? double(pane->width()) * pane->height() : 0.0;
}

void MainWindow::moveQuadrantCross(double x, double y, bool animated)
{
    m_matrix->moveCross(QPointF(x, y), animated);
}

void MainWindow::scrollSidebarRowToVisible(int row)
{
    m_sidebar->scrollTo(m_sidebar->model()->index(row, 0));
}

void MainWindow::beginEditingListName(int row)
{
    flipToMainWindow();
    const QModelIndex index = m_sidebar->model()->index(row, 0);
    m_sidebar->setFocus();
    m_sidebar->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    m_sidebar->edit(index);
}

void MainWindow::focusSidebar()
{
    m_sidebar->setFocus();
}

void MainWindow::focusSearchField()
{
    m_search->setFocus(Qt::ShortcutFocusReason);
    m_search->selectAll();
}

// A window wider than the screen is narrowed to fit.
void MainWindow::resizeIfNeeded()
{
    const QScreen *screen = this->screen();
    if (!screen)
        return;
    const int available = screen->availableGeometry().width();
    if (frameGeometry().width() <= available)
        return;
    qCInfo(lcUi) << "WINDOW TOO BIG, RESIZING";
    resize(available - (frameGeometry().width() - width()), height());
}

void MainWindow::showUndeleteSheet()
{
    auto *sheet = new UndeleteViewController(m_document, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}
