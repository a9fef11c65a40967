#pragma once

#include "ChangeTracker.h"
#include "DocumentView.h"
#include "ItemDrops.h"
#include "PasteboardOperations.h"
#include "ProjectListController.h"
#include "QuadrantFilters.h"
#include "Recurrence.h"

#include <QList>
#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>
#include <memory>

class ArrayController;
class ManagedObjectContext;
struct ObjectsChange;
class ObjectModel;
class Pasteboard;
class TODOItem;
class TODOList;

// The one open store and its four quadrants: the controller behind the main
// window. It holds the store context, the four quadrant item controllers,
// the list controller of the sidebar, the filter and sort state, the
// selection across the quadrants and the status-bar message.
//
// Its operations keep the names the rest of the system knows them by; their
// work lives in focused collaborators (QuadrantFilters, Recurrence,
// ChangeTracker, PasteboardOperations, ProjectListController). It reaches the
// window only through DocumentView and DocumentAlerts, so it runs without
// widgets (corvanectl, tests).
class MyDocument : public QObject
{
    Q_OBJECT
    // What the window shows of the document; each changes with its signal.
    Q_PROPERTY(QString displayName READ displayName NOTIFY displayNameChanged)
    Q_PROPERTY(QString statusText READ statusBarMessage NOTIFY statusTextChanged)
    Q_PROPERTY(bool grayOverlay READ isShowingGrayOverlay NOTIFY grayOverlayChanged)
    Q_PROPERTY(bool canMarkComplete READ canMarkComplete NOTIFY canMarkCompleteChanged)
    Q_PROPERTY(bool draggingItems READ isDraggingItems NOTIFY draggingItemsChanged)
    Q_PROPERTY(double quadrantRowHeight READ quadrantRowHeight NOTIFY quadrantRowHeightChanged)
public:
    static constexpr int StatusClearMilliseconds = 15000;

    // Takes the context of an open store (or of an unsaved one).
    explicit MyDocument(std::unique_ptr<ManagedObjectContext> context, QObject *parent = nullptr);
    ~MyDocument() override;

    // The first document created, while it lives.
    static MyDocument *sharedInstance();
    // Every open document, in creation order.
    static QList<MyDocument *> documents();

    // --- Collaborators set by the application (all optional) --------------------
    // The view and the alerts are forgotten when `owner` (the window) goes.
    void setView(DocumentView *view, QObject *owner = nullptr);
    void setAlerts(DocumentAlerts *alerts, QObject *owner = nullptr);
    void setCalendar(CalendarBridge *calendar) { m_calendar = calendar; }
    void setHost(DocumentHost *host) { m_host = host; }
    void setPasteboard(Pasteboard *pasteboard);
    // Never null: stand-ins that do nothing (and answer no) until set.
    DocumentView *view() const;
    DocumentAlerts *alerts() const;
    DocumentHost *host() const;
    CalendarBridge *calendar() const;
    Pasteboard *pasteboard() const;

    // --- Set-up -------------------------------------------------------------------
    // Window set-up: sidebar order and collapse, the first-run list 0.2 s later,
    // change tracking on.
    void awakeFromNib();
    // Filter preferences, configViews, the undo repair.
    void windowControllerDidLoadNib();
    // Installs filters and sort, and the row height.
    void configViews();
    // All three, in order.
    void setUp();

    static const ObjectModel &managedObjectModel();
    ManagedObjectContext *managedObjectContext() const { return m_context.get(); }

    // --- Saving -------------------------------------------------------------------
    // Saves every open document; "Nothing to save" when there are no changes.
    // A failure is shown ("File could not be saved!") and answers no.
    bool saveFile();
    // Saves now, or once a running sync exchange has ended.
    void autosaveDocument();
    bool autosaving() const { return m_autosaving; }
    static bool autosavesInPlace();
    // Saves; no while changes could not be written.
    bool canCloseDocument();
    // The save at quit: while it fails, asks whether to try again or to quit
    // without saving. `done` learns whether everything was saved.
    void saveBeforeQuitting(std::function<void(bool saved)> done);
    // Saving a few seconds after changes; see docs/ARCHITECTURE.md.
    void setAutosaveEnabled(bool enabled);

    // --- Refreshing and sizes -----------------------------------------------------------
    void refreshController();
    void reloadTableViews();
    void rearrangeArrayControllers();
    void rearrangeProjectArrayController();
    // The sidebar's quadrant overviews are out of date (listCellsChanged).
    void cleanListCustomCells();
    void setQuadrantRowHeight(double height);
    double quadrantRowHeight() const { return m_rowHeight; }
    void rotateFontSize(DocumentHost::FontStep step = DocumentHost::FontStep::Next);
    void resizeIfNeeded();
    // The busy overlay over the window while a sync runs.
    void showGrayOverlay();
    void hideGrayOverlay();
    bool isShowingGrayOverlay() const { return m_grayOverlay; }
    // "Corvane", or "Corvane: <list name>"; follows a rename of the selected list.
    QString displayName() const;
    void cancel();
    // "Debugging list ..." and the block of the selected list's items; answers the block.
    QString showDebugContents();

    // --- Sync state ---------------------------------------------------------------------
    bool isSyncing() const { return m_syncing; }
    // The end of an exchange runs an autosave it held back.
    void setSyncing(bool syncing);

    // --- Quadrants ----------------------------------------------------------------------
    // The item controller of quadrant 0..3; the sidebar's list controller for -1.
    ArrayController *controllerForQuadrant(int quadrant) const;
    // The quadrant whose controller it is, or -1.
    int quadrantForController(const ArrayController *controller) const;
    int lastQuadrantClicked() const { return m_lastQuadrantClicked; }
    // The quadrant holding the selection, or -1.
    int selectedQuadrant() const { return m_selectedQuadrant; }

    // --- Links ---------------------------------------------------------------------------------
    // Selects the shown list with that server identifier; whether a row was selected.
    bool selectProjectWithID(qint64 id);
    // Selects the list of the item with that server (or local) identifier and,
    // on the next turn, the item itself. No when the item or an uploaded list
    // for it is not found.
    bool selectItemWithServerID(qint64 id);

    // --- Lookups ----------------------------------------------------------------------------
    TODOList *getSelectedProject() const { return m_projects->getSelectedProject(); }
    QList<TODOList *> getAllProjects() const { return m_projects->getAllProjects(); }
    TODOList *getFirstProject() const { return m_projects->getFirstProject(); }
    int selectProject(TODOList *list) { return m_projects->selectProject(list); }
    TODOList *getProjectWithID(int id) const;
    QList<TODOItem *> getAllTODOItemsForTODOList(TODOList *list) const;
    QList<TODOItem *> getAllTODOItemsForTODOList(TODOList *list, int state) const;

    // --- Identifiers and order ----------------------------------------------------------------
    static qint32 generateItemId();
    qint32 newUniqueIdForItemInList(const TODOList *list) const;
    void adjustItemIndices();
    void toggleProjectAlphabeticalOrder(bool on) { m_projects->setAlphabeticalOrder(on); }

    // --- Adding ----------------------------------------------------------------------------------
    TODOItem *addTODOItemToQuadrant(int quadrant);
    TODOItem *addTODOItemToFirstQuadrant() { return addTODOItemToQuadrant(0); }
    TODOItem *addTODOItemToSecondQuadrant() { return addTODOItemToQuadrant(1); }
    TODOItem *addTODOItemToThirdQuadrant() { return addTODOItemToQuadrant(2); }
    TODOItem *addTODOItemToFourthQuadrant() { return addTODOItemToQuadrant(3); }
    // The toolbar's add button (senderIsTableView false) or a table view's.
    TODOItem *addTODOItem(bool senderIsTableView = false);
    // An item for a list outside any quadrant view.
    TODOItem *newItemForProject(TODOList *list, int quadrant = 0);

    // --- Completing ------------------------------------------------------------------------------
    // The one place where completion changes.
    void markTODOItem(TODOItem *item, TODOList *list, ArrayController *controller, int completionPercentage);
    void markListOrItemsAsCompleted();
    void markSelectedItemsAsCompletedInQuadrant(int quadrant);
    void toggleListOrItemsAsCompleted();
    void toggleSelectedItemsAsCompletedInQuadrant(int quadrant);
    // A click on a row's done box; rows outside the quadrant are ignored.
    void markClickedItemAsDone(int quadrant, int row);

    // --- Trashing ----------------------------------------------------------------------------------
    void markItemsAsDeleted();
    void markSelectedItemsAsDeletedInQuadrant(int quadrant);
    void markTODOItemAsTrashed(TODOItem *item, TODOList *list);
    // Ask; the answer comes later (no for an empty list, at once).
    void userConfirmsItemsDeletion(const QList<TODOItem *> &items, DocumentAlerts::Answer answer);
    void userConfirmsItemsCompleted(const QList<TODOItem *> &items, DocumentAlerts::Answer answer);
    void showUndeleteWindow();
    // Brings trashed or deleted items back open, with a new identity, in the
    // quadrant, place and completion they had; one undo step. Items no longer
    // trashed or deleted are left as they are. Answers how many came back.
    int undeleteItems(const QList<TODOItem *> &items);

    // --- Selection ---------------------------------------------------------------------------------
    void itemClickedInQuadrant(int quadrant);
    // A quadrant's (0..3) or the sidebar's (-1) selection changed.
    void tableViewSelectionDidChange(int quadrant);
    void selectItem(TODOItem *item);
    void enableQuadrant(int quadrant, const QList<int> &rows, bool extendSelection = true);
    void enableFirstQuadrantAndSelectRow(int row) { enableQuadrant(0, {row}); }
    void enableSecondQuadrantAndSelectRow(int row) { enableQuadrant(1, {row}); }
    void enableThirdQuadrantAndSelectRow(int row) { enableQuadrant(2, {row}); }
    void enableFourthQuadrantAndSelectRow(int row) { enableQuadrant(3, {row}); }
    void enableProjectView();
    void gotoFindField();
    // The selected items of a quadrant, in row order.
    QList<TODOItem *> selectedItemsInQuadrant(int quadrant) const;

    // --- The item drawer ------------------------------------------------------------------------------
    // The item the drawer shows, or none when it is closed.
    TODOItem *drawerItem() const { return m_drawerItem; }
    void openDrawer(TODOItem *item, bool takeFocus);
    void closeDrawer();
    bool isDrawerOpen() const { return m_drawerItem != nullptr; }

    // --- Layout --------------------------------------------------------------------------------------
    void maximizeQuadrant(int quadrant);
    double areaForView(int quadrant) const;
    // While items are dragged, the toolbar's add button takes duplicates.
    void changeToolbarForDragging(bool dragging);
    bool isDraggingItems() const { return m_draggingItems; }
    // The complete button works while an item is selected.
    bool canMarkComplete() const { return m_canMarkComplete; }
    void collapseUncollapseSplitView();
    bool isSidebarCollapsed() const;

    // --- Counts and messages ------------------------------------------------------------------------
    int countOverdueItems() const;
    void setStatusBarMessage(const QString &message);
    void clearStatusBarMessage();
    QString statusBarMessage() const { return m_statusMessage; }
    const QTimer &statusClearTimer() const { return m_clearStatusTimer; }

    // --- Filters and sorting --------------------------------------------------------------------------
    QuadrantFilters &filters() { return *m_filters; }
    const QuadrantFilters &filters() const { return *m_filters; }
    void updateFilters() { m_filters->updateFilters(); }
    void changeFiltersToNormal() { m_filters->changeFiltersToNormal(); }
    void updateSortDescriptors() { m_filters->updateSortDescriptors(); }
    void dateRangeWithMin(const QDateTime &minDate, const QDateTime &maxDate) { m_filters->dateRangeWithMin(minDate, maxDate); }
    void loadPreferences() { m_filters->loadPreferences(); }
    void savePreferences() { m_filters->savePreferences(); }
    int itemsState() const { return m_filters->itemsState(); }
    QString searchString() const { return m_filters->searchString(); }
    bool onlyDatedItems() const { return m_filters->onlyDatedItems(); }
    QDateTime minDate() const { return m_filters->minDate(); }
    QDateTime maxDate() const { return m_filters->maxDate(); }
    QStringList currentOwnerUsernames() const { return m_filters->currentOwnerUsernames(); }
    QList<SortDescriptor> sortDescriptors() const;

    // --- Recurrence ---------------------------------------------------------------------------------------
    void performRecurrenceForTODOItem(TODOItem *item, TODOList *list, ArrayController *controller)
    {
        m_recurrence->performRecurrenceForTODOItem(item, list, controller);
    }

    // --- Change tracking -------------------------------------------------------------------------------------
    ChangeTracker &changeTracker() { return *m_tracker; }
    void enableDidChangeContextNotifications() { m_tracker->enableDidChangeContextNotifications(); }
    void disableDidChangeContextNotifications() { m_tracker->disableDidChangeContextNotifications(); }
    bool isReceivingEditingNotifications() const { return m_tracker->isReceivingEditingNotifications(); }

    // --- Cut, copy, paste, clone ----------------------------------------------------------------------------
    void copy() { m_pasteboardOps->copyToPasteBoardWithCutting(false); }
    void cut();
    void copyToPasteBoardWithCutting(bool cutting) { m_pasteboardOps->copyToPasteBoardWithCutting(cutting); }
    void paste() { m_pasteboardOps->paste(); }
    void undoCutIfNeeded() { m_pasteboardOps->undoCutIfNeeded(); }
    TODOList *cloneList(TODOList *source, bool withItems) { return m_pasteboardOps->cloneList(source, withItems); }
    // Undoes the last group of changes (then repairs cut items).
    void undo();

    // --- Lists (the sidebar's operations) ------------------------------------------------------------------------
    ProjectListController &projects() { return *m_projects; }
    const ProjectListController &projects() const { return *m_projects; }
    TODOList *addNewProject() { return m_projects->addNewProject(); }
    TODOList *addNewProjectWithName(const QString &name) { return m_projects->addNewProjectWithName(name); }
    void markProjectAsDeleted() { m_projects->markProjectAsDeleted(); }

    ItemDrops &itemDrops() { return *m_itemDrops; }

    // --- Calendar ---------------------------------------------------------------------------------------------------
    // Export to and import from the calendar (nothing while calendar sync is off).
    void iCalExport() { calendar()->exportToCalendar(this); }
    void iCalImport() { calendar()->importFromCalendar(this); }
    // The repeating export every 300 seconds, unless one runs; stopping forgets it.
    void startCalendarSyncTimer();
    void stopCalendarSyncTimer();
    // The running export timer, or none.
    const QTimer *calendarSyncTimer() const { return m_calendarSyncTimer.get(); }

signals:
    // Item counts or filters changed: the sidebar's overviews are rebuilt.
    void listCellsChanged();
    // The search text, the state, date or due-date filter or the order changed.
    void filtersChanged();
    void displayNameChanged();
    void statusTextChanged(const QString &text);
    void grayOverlayChanged(bool shown);
    void canMarkCompleteChanged(bool enabled);
    void draggingItemsChanged(bool dragging);
    void quadrantRowHeightChanged(double height);
    void sidebarCollapsedChanged(bool collapsed, bool animated);
    // The drawer opens on an item (with the keyboard focus when asked) or,
    // for none, closes.
    void drawerItemChanged(TODOItem *item, bool takeFocus);

private:
    void quadrantSelectionChanged(int quadrant);
    void selectedProjectChanged();
    // "lastSelectedProjectRow": the selected list's row, restored at the next launch.
    void storeSelectedProjectRow();
    // Saves every open document, logging failures; false when one failed.
    bool writeAllDocuments();
    void addFirstProjectIfNeeded();
    void reselectAfterRemoval(int quadrant, int firstSelectedRow);
    // The items the user confirmed, as far as they are still in the state asked about.
    void completeItems(int quadrant, const QList<TODOItem *> &items, int firstSelectedRow);
    void trashItems(int quadrant, const QList<TODOItem *> &items, int firstSelectedRow);
    void setCanMarkComplete(bool enabled);
    void selectedListChangedInStore(const ObjectsChange &change);
    void scheduleAutosave();

    std::unique_ptr<ManagedObjectContext> m_context;
    std::array<ArrayController *, 4> m_quadrants{};
    std::unique_ptr<QuadrantFilters> m_filters;
    std::unique_ptr<Recurrence> m_recurrence;
    ChangeTracker *m_tracker = nullptr;
    std::unique_ptr<PasteboardOperations> m_pasteboardOps;
    std::unique_ptr<ItemDrops> m_itemDrops;
    ProjectListController *m_projects = nullptr;

    DocumentView *m_view = nullptr;
    DocumentAlerts *m_alerts = nullptr;
    // The window that set the view or alerts; they are dropped when it goes.
    QMetaObject::Connection m_viewOwnerGone;
    QMetaObject::Connection m_alertsOwnerGone;
    CalendarBridge *m_calendar = nullptr;
    DocumentHost *m_host = nullptr;
    Pasteboard *m_pasteboard = nullptr;
    std::unique_ptr<Pasteboard> m_ownPasteboard;

    TODOItem *m_drawerItem = nullptr;
    double m_rowHeight = 0.0;
    bool m_grayOverlay = false;
    bool m_draggingItems = false;
    bool m_canMarkComplete = false;
    QString m_lastDisplayName;
    int m_lastQuadrantClicked = 0;
    int m_selectedQuadrant = -1;
    bool m_syncing = false;
    bool m_autosaving = false;
    bool m_saving = false;
    QMutex m_savingMutex;
    QString m_statusMessage;
    QTimer m_clearStatusTimer;
    QTimer m_autosaveTimer;
    QElapsedTimer m_firstUnsavedChange;
    bool m_autosaveEnabled = false;
    bool m_autosaveAfterSync = false;
    bool m_changingSelection = false;
    std::unique_ptr<QTimer> m_calendarSyncTimer;
};
