#include "MyDocument.h"

#include "ArrayController.h"
#include "Clock.h"
#include "DateUtils.h"
#include "Defaults.h"
#include "IndexAdjuster.h"
#include "ItemIdentifiers.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "Pasteboard.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"
#include "UndoManager.h"

#include <QMutexLocker>

#include <algorithm>

namespace {

QList<MyDocument *> &registry()
{
    static QList<MyDocument *> documents;
    return documents;
}

// Stand-ins used while the application has not attached its own.
class NullView : public DocumentView
{
public:
    void scrollRowToVisible(int, int) override {}
    void beginEditingRow(int, int) override {}
    void focusQuadrant(int) override {}
    double quadrantArea(int) const override { return 0.0; }
    void moveQuadrantCross(double, double, bool) override {}
    void scrollSidebarRowToVisible(int) override {}
    void beginEditingListName(int) override {}
    void focusSidebar() override {}
    void focusSearchField() override {}
    void resizeIfNeeded() override {}
    void showUndeleteSheet() override {}
};

// Without a window nobody can confirm: destructive questions answer no.
class NullAlerts : public DocumentAlerts
{
public:
    void confirm(const QString &, const QString &, Answer answer) override { answer(false); }
    void warn(const QString &message, const QString &informativeText = QString()) override
    {
        qCWarning(lcDocument).noquote() << message << informativeText;
    }
};

class NullCalendar : public CalendarBridge
{
public:
    void updateEventForItem(TODOItem *, TODOList *) override {}
    void deleteEventForItem(TODOItem *, TODOList *) override {}
};

class NullHost : public DocumentHost
{
public:
    void rotateFontTier(FontStep = FontStep::Next) override {}
    double currentFontSize() const override { return 14.0; }
    double currentQuadrantRowHeight() const override { return 22.0; }
    bool isMasterListOpen() const override { return false; }
    bool isTerminating() const override { return false; }
};

NullView g_nullView;
NullAlerts g_nullAlerts;
NullCalendar g_nullCalendar;
NullHost g_nullHost;

TODOItem *asItem(ManagedObject *object)
{
    return static_cast<TODOItem *>(object);
}

// Where the quadrant cross goes when a quadrant is enlarged (x from the left,
// y from the bottom, as fractions of the four-quadrant area).
constexpr double kMaximizedCross[4][2] = {{0.9, 0.1}, {0.1, 0.1}, {0.9, 0.9}, {0.1, 0.9}};

// Autosave: a few seconds after the last change, and never later than half a
// minute after the first unsaved one.
constexpr int kAutosaveQuietMs = 5000;
constexpr int kAutosaveLatestMs = 30000;

const QString kSaveFailed = QStringLiteral("File could not be saved!");
const QString kLastSelectedRowKey = QStringLiteral("lastSelectedProjectRow");

// A list's cross position in percent as a fraction of the quadrant area. A
// new list, or one made by a merge, has none (it reads 0): the centre.
double crossFraction(double percent)
{
    return percent == 0.0 ? 0.5 : percent / 100.0;
}

} // namespace

MyDocument::MyDocument(std::unique_ptr<ManagedObjectContext> context, QObject *parent)
    : QObject(parent)
    , m_context(std::move(context))
{
    registry().append(this);

    m_projects = new ProjectListController(*this, this);
    for (int q = 0; q < 4; ++q) {
        auto *controller = new ArrayController(this);
        controller->setContentSource([this]() {
            TODOList *list = m_projects->selectedList();
            return list ? list->toMany(QStringLiteral("contains")) : QList<ManagedObject *>();
        });
        controller->setFilterPredicate(QuadrantFilters::basicPredicateForQuadrant(q));
        controller->setSortDescriptors(QuadrantFilters::sortDescriptorsForChoice(0));
        // An edited item moves to its sorted place, a completed one leaves an open-only quadrant.
        controller->setAutomaticallyRearrangesObjects(m_context.get(), TODOItem::EntityName);
        connect(controller, &ArrayController::selectionChanged, this, [this, q]() { quadrantSelectionChanged(q); });
        m_quadrants[q] = controller;
    }
    m_filters = std::make_unique<QuadrantFilters>(*this);
    m_recurrence = std::make_unique<Recurrence>(*this);
    m_tracker = new ChangeTracker(*this, this);
    m_pasteboardOps = std::make_unique<PasteboardOperations>(*this);
    m_itemDrops = std::make_unique<ItemDrops>(*this);

    connect(m_projects, &ProjectListController::selectedProjectChanged, this, &MyDocument::selectedProjectChanged);
    // The selected list's row moves with the order, a drag or a new list above it.
    connect(m_projects->projectsArrayController(), &ArrayController::selectionChanged, this,
            &MyDocument::storeSelectedProjectRow);

    m_clearStatusTimer.setSingleShot(true);
    m_clearStatusTimer.setTimerType(Qt::PreciseTimer);
    m_clearStatusTimer.setInterval(StatusClearMilliseconds);
    connect(&m_clearStatusTimer, &QTimer::timeout, this, &MyDocument::clearStatusBarMessage);

    m_autosaveTimer.setSingleShot(true);
    connect(&m_autosaveTimer, &QTimer::timeout, this, &MyDocument::autosaveDocument);
    connect(m_context.get(), &ManagedObjectContext::objectsDidChange, this, &MyDocument::scheduleAutosave);
    connect(m_context.get(), &ManagedObjectContext::objectsDidChange, this, &MyDocument::selectedListChangedInStore);
}

MyDocument::~MyDocument()
{
    registry().removeAll(this);
    // Collaborators that are QObjects go with this object; the context last.
    delete m_tracker;
    m_tracker = nullptr;
    delete m_projects;
    m_projects = nullptr;
}

MyDocument *MyDocument::sharedInstance()
{
    return registry().isEmpty() ? nullptr : registry().first();
}

QList<MyDocument *> MyDocument::documents()
{
    return registry();
}

void MyDocument::setView(DocumentView *view, QObject *owner)
{
    m_view = view;
    disconnect(m_viewOwnerGone);
    if (owner)
        m_viewOwnerGone = connect(owner, &QObject::destroyed, this, [this]() { m_view = nullptr; });
}

void MyDocument::setAlerts(DocumentAlerts *alerts, QObject *owner)
{
    m_alerts = alerts;
    disconnect(m_alertsOwnerGone);
    if (owner)
        m_alertsOwnerGone = connect(owner, &QObject::destroyed, this, [this]() { m_alerts = nullptr; });
}

void MyDocument::setPasteboard(Pasteboard *pasteboard)
{
    m_pasteboard = pasteboard;
}

CalendarBridge *MyDocument::calendar() const
{
    return m_calendar ? m_calendar : &g_nullCalendar;
}

Pasteboard *MyDocument::pasteboard() const
{
    if (m_pasteboard)
        return m_pasteboard;
    if (!m_ownPasteboard)
        const_cast<MyDocument *>(this)->m_ownPasteboard = std::make_unique<MemoryPasteboard>();
    return m_ownPasteboard.get();
}

// The stand-ins keep every operation free of null checks.
DocumentView *MyDocument::view() const
{
    return m_view ? m_view : &g_nullView;
}

DocumentAlerts *MyDocument::alerts() const
{
    return m_alerts ? m_alerts : &g_nullAlerts;
}

DocumentHost *MyDocument::host() const
{
    return m_host ? m_host : &g_nullHost;
}

// --- Set-up ------------------------------------------------------------------------

void MyDocument::awakeFromNib()
{
    m_projects->load();
    emit sidebarCollapsedChanged(isSidebarCollapsed(), false);
    QTimer::singleShot(200, this, &MyDocument::addFirstProjectIfNeeded);
    enableDidChangeContextNotifications();
}

void MyDocument::addFirstProjectIfNeeded()
{
    if (Defaults::standard().boolValue(QStringLiteral("kAddedMyProject")) || !getAllProjects().isEmpty())
        return;
    TODOList *list = addNewProjectWithName(QStringLiteral("My Project"));
    selectProject(list);
    Defaults::standard().setValue(QStringLiteral("kAddedMyProject"), true);
}

void MyDocument::windowControllerDidLoadNib()
{
    loadPreferences();
    configViews();
    if (UndoManager *undo = m_context->undoManager())
        connect(undo, &UndoManager::didUndo, this, &MyDocument::undoCutIfNeeded, Qt::UniqueConnection);
}

void MyDocument::configViews()
{
    updateFilters();
    updateSortDescriptors();
    setQuadrantRowHeight(host()->currentQuadrantRowHeight());
}

void MyDocument::setUp()
{
    awakeFromNib();
    windowControllerDidLoadNib();
}

const ObjectModel &MyDocument::managedObjectModel()
{
    return todoListModel();
}

// --- Saving -------------------------------------------------------------------------

bool MyDocument::saveFile()
{
    if (writeAllDocuments())
        return true;
    alerts()->warn(kSaveFailed);
    return false;
}

bool MyDocument::writeAllDocuments()
{
    if (!m_context->hasChanges()) {
        qCInfo(lcDocument) << "Nothing to save";
        return true;
    }
    if (m_saving) {
        // Asked for while a save runs (by an observer of its changes, say):
        // the next turn saves what is left. That is no failure.
        QTimer::singleShot(0, this, &MyDocument::saveFile);
        return true;
    }
    const QList<MyDocument *> documents = MyDocument::documents();

    qCInfo(lcDocument).noquote() << QStringLiteral("Saving %1 documents").arg(documents.size());
    bool ok = true;
    {
        QMutexLocker locker(&m_savingMutex);
        m_saving = true;
        for (MyDocument *document : documents) {
            // A document without changes (one closed by a reload, say) has nothing to write.
            if (!document->m_context->hasChanges())
                continue;
            QString error;
            if (!document->m_context->save(&error)) {
                ok = false;
                qCWarning(lcDocument).noquote() << QStringLiteral("Error saving file: %1").arg(error);
            }
        }
        m_saving = false;
    }
    if (!ok)
        return false;
    qCInfo(lcDocument).noquote() << QStringLiteral("Done saving %1 documents").arg(documents.size());
    return true;
}

void MyDocument::autosaveDocument()
{
    m_autosaveTimer.stop();
    if (m_syncing) {
        // The exchange writes to the store: saving waits for its end.
        m_autosaveAfterSync = true;
        return;
    }
    qCInfo(lcDocument) << "Autosaving document";
    m_autosaving = true;
    saveFile();
    m_autosaving = false;
}

bool MyDocument::autosavesInPlace()
{
    MyDocument *shared = sharedInstance();
    return !(shared && (shared->autosaving() || shared->isSyncing()));
}

bool MyDocument::canCloseDocument()
{
    return saveFile() && !m_context->hasChanges();
}

void MyDocument::saveBeforeQuitting(std::function<void(bool saved)> done)
{
    if (writeAllDocuments()) {
        done(true);
        return;
    }
    const QString question = QStringLiteral("OK tries again. Cancel quits without saving: "
                                            "the changes since the last save are lost.");
    alerts()->confirm(kSaveFailed, question, [self = QPointer<MyDocument>(this), done](bool again) {
        if (self && again) {
            self->saveBeforeQuitting(done);
            return;
        }
        qCWarning(lcDocument) << "Quitting without saving: the unsaved changes are given up";
        done(false);
    });
}

void MyDocument::setSyncing(bool syncing)
{
    m_syncing = syncing;
    if (!syncing && m_autosaveAfterSync) {
        m_autosaveAfterSync = false;
        m_autosaveTimer.start(0);
    }
}

void MyDocument::setAutosaveEnabled(bool enabled)
{
    m_autosaveEnabled = enabled;
    if (!enabled)
        m_autosaveTimer.stop();
}

void MyDocument::scheduleAutosave()
{
    if (!m_autosaveEnabled || !m_context->hasStore() || !m_context->hasChanges())
        return;
    if (!m_autosaveTimer.isActive() || !m_firstUnsavedChange.isValid())
        m_firstUnsavedChange.start();
    const qint64 left = kAutosaveLatestMs - m_firstUnsavedChange.elapsed();
    m_autosaveTimer.start(int(std::clamp<qint64>(left, 0, kAutosaveQuietMs)));
}

// --- Refreshing and sizes -------------------------------------------------------------

void MyDocument::refreshController()
{
    m_projects->projectsArrayController()->rearrangeObjects();
    for (ArrayController *controller : m_quadrants)
        controller->rearrangeObjects();
}

void MyDocument::reloadTableViews()
{
    rearrangeArrayControllers();
}

void MyDocument::rearrangeArrayControllers()
{
    for (ArrayController *controller : m_quadrants)
        controller->rearrangeObjects();
    emit listCellsChanged();
}

void MyDocument::rearrangeProjectArrayController()
{
    emit listCellsChanged();
    m_projects->projectsArrayController()->rearrangeObjects();
}

void MyDocument::cleanListCustomCells()
{
    emit listCellsChanged();
}

void MyDocument::setQuadrantRowHeight(double height)
{
    if (height == m_rowHeight)
        return;
    m_rowHeight = height;
    emit quadrantRowHeightChanged(height);
}

void MyDocument::rotateFontSize(DocumentHost::FontStep step)
{
    host()->rotateFontTier(step);
    setQuadrantRowHeight(host()->currentQuadrantRowHeight());
    reloadTableViews();
}

void MyDocument::resizeIfNeeded()
{
    view()->resizeIfNeeded();
}

void MyDocument::showGrayOverlay()
{
    if (!m_grayOverlay)
        emit grayOverlayChanged(m_grayOverlay = true);
}

void MyDocument::hideGrayOverlay()
{
    if (m_grayOverlay)
        emit grayOverlayChanged(m_grayOverlay = false);
}

QString MyDocument::displayName() const
{
    TODOList *list = m_projects->selectedList();
    return list ? QStringLiteral("Corvane: %1").arg(list->name()) : QStringLiteral("Corvane");
}

void MyDocument::cancel()
{
    qCInfo(lcDocument) << "cancel from sender" << this;
    closeDrawer();
}

void MyDocument::openDrawer(TODOItem *item, bool takeFocus)
{
    if (!item) {
        closeDrawer();
        return;
    }
    // Asking for the focus again on the shown item still reaches the window.
    if (item == m_drawerItem && !takeFocus)
        return;
    m_drawerItem = item;
    emit drawerItemChanged(item, takeFocus);
}

void MyDocument::closeDrawer()
{
    if (!m_drawerItem)
        return;
    m_drawerItem = nullptr;
    emit drawerItemChanged(nullptr, false);
}

QString MyDocument::showDebugContents()
{
    TODOList *list = m_projects->selectedList();
    if (!list)
        return {};
    qCInfo(lcDocument).noquote() << QStringLiteral("Debugging list '%1' with id=%2").arg(list->name()).arg(list->id_());
    QString block = QStringLiteral("Contents of selected list '%1' with id=%2:\n").arg(list->name()).arg(list->id_());
    for (ManagedObject *object : list->toMany(QStringLiteral("contains"))) {
        const TODOItem *item = asItem(object);
        block += QStringLiteral("  Item #%1  \t(state=%2): '%3'\n").arg(item->id_()).arg(item->state()).arg(item->name());
    }
    const QString dump = QStringLiteral("###############\n%1\n^^^^^^^^^^^^^^\n").arg(block);
    qCInfo(lcDocument).noquote() << dump;
    return dump;
}

// --- Quadrants and lookups --------------------------------------------------------------

ArrayController *MyDocument::controllerForQuadrant(int quadrant) const
{
    if (quadrant == -1)
        return m_projects->projectsArrayController();
    return quadrant >= 0 && quadrant < 4 ? m_quadrants[quadrant] : nullptr;
}

int MyDocument::quadrantForController(const ArrayController *controller) const
{
    for (int q = 0; q < 4; ++q) {
        if (m_quadrants[q] == controller)
            return q;
    }
    return -1;
}

TODOList *MyDocument::getProjectWithID(int id) const
{
    for (TODOList *list : getAllProjects()) {
        if (list->id_() == id)
            return list;
    }
    return nullptr;
}

namespace {
QList<TODOItem *> itemsOf(TODOList *list, const std::function<bool(const TODOItem *)> &keep)
{
    QList<TODOItem *> items;
    if (!list)
        return items;
    for (ManagedObject *object : list->toMany(QStringLiteral("contains"))) {
        if (keep(asItem(object)))
            items.append(asItem(object));
    }
    std::stable_sort(items.begin(), items.end(), [](const TODOItem *a, const TODOItem *b) { return a->index() > b->index(); });
    return items;
}
} // namespace

QList<TODOItem *> MyDocument::getAllTODOItemsForTODOList(TODOList *list) const
{
    return itemsOf(list, [](const TODOItem *item) { return item->state() != RecordState::Deleted; });
}

QList<TODOItem *> MyDocument::getAllTODOItemsForTODOList(TODOList *list, int state) const
{
    return itemsOf(list, [state](const TODOItem *item) { return item->state() == state; });
}

bool MyDocument::selectProjectWithID(qint64 id)
{
    TODOList *list = TODOList::findWithID(id, m_context.get());
    if (!list)
        return false;
    return selectProject(list) >= 0;
}

bool MyDocument::selectItemWithServerID(qint64 id)
{
    TODOItem *item = TODOItem::findWithID(id, m_context.get());
    if (!item)
        return false;
    TODOList *list = item->list();
    if (!list || list->id_() < 1)
        return false;
    if (!selectProjectWithID(list->id_()))
        return false;
    const QUrl uri = item->objectURI();
    QTimer::singleShot(0, this, [this, uri]() {
        if (auto *found = static_cast<TODOItem *>(m_context->objectForURI(uri)))
            selectItem(found);
    });
    return true;
}

qint32 MyDocument::generateItemId()
{
    return ItemIdentifiers::generateItemId();
}

qint32 MyDocument::newUniqueIdForItemInList(const TODOList *list) const
{
    return ItemIdentifiers::newUniqueIdForItemInList(list);
}

void MyDocument::adjustItemIndices()
{
    TODOList *list = m_projects->selectedList();
    for (ArrayController *controller : m_quadrants)
        IndexAdjuster::adjustIndices(controller, list);
}

QList<SortDescriptor> MyDocument::sortDescriptors() const
{
    return m_quadrants[0]->sortDescriptors();
}

// --- Adding ------------------------------------------------------------------------------

TODOItem *MyDocument::addTODOItemToQuadrant(int quadrant)
{
    ArrayController *controller = quadrant >= 0 && quadrant < 4 ? m_quadrants[quadrant] : nullptr;
    TODOList *list = m_projects->selectedList();
    if (!controller || !list)
        return nullptr;
    m_filters->showNewItems();

    list->setLastItemIndex(IndexAdjuster::add32(list->lastItemIndex(), 1));
    const QList<ManagedObject *> arranged = controller->arrangedObjects();
    // Below the last row: rows show in descending index, so the step goes down.
    const int index = arranged.isEmpty() ? 0 : IndexAdjuster::sub32(asItem(arranged.last())->index(), 100);

    auto *item = m_context->insert<TODOItem>(TODOItem::EntityName);
    item->setId_(newUniqueIdForItemInList(list));
    item->setName(QStringLiteral("Untitled"));
    item->setQuadrant(quadrant);
    item->setIcon(QStringLiteral("empty_orange128.png"));
    item->setIndex(index);
    item->setCreationDate(Clock::now());
    item->setList(list);

    if (controller->sortDescriptors().isEmpty() && !arranged.isEmpty())
        controller->insertObject(item, 0);
    else
        controller->rearrangeObjects();

    view()->resizeIfNeeded();
    adjustItemIndices();
    if (!controller->sortDescriptors().isEmpty())
        controller->rearrangeObjects(); // the repair may have moved rows

    const int row = controller->indexOfArrangedObject(item);
    if (row >= 0) {
        controller->setSelectionIndexes({row});
        view()->scrollRowToVisible(quadrant, row);
    }
    openDrawer(item, false);
    if (row >= 0)
        view()->beginEditingRow(quadrant, row);
    cleanListCustomCells();
    return item;
}

TODOItem *MyDocument::addTODOItem(bool senderIsTableView)
{
    if (m_lastQuadrantClicked < 0 || m_lastQuadrantClicked > 3)
        return nullptr;
    if (senderIsTableView)
        return addTODOItemToQuadrant(m_lastQuadrantClicked);

    // An enlarged quadrant (over 40% of the area) receives the item.
    double areas[4];
    double sum = 0;
    for (int q = 0; q < 4; ++q) {
        areas[q] = areaForView(q);
        sum += areas[q];
    }
    if (sum > 0) {
        for (int q = 0; q < 4; ++q) {
            if (areas[q] / sum > 0.4)
                return addTODOItemToQuadrant(q);
        }
    }
    return addTODOItemToQuadrant(m_lastQuadrantClicked);
}

TODOItem *MyDocument::newItemForProject(TODOList *list, int quadrant)
{
    if (!list)
        return nullptr;
    auto *item = m_context->insert<TODOItem>(TODOItem::EntityName);
    item->setId_(newUniqueIdForItemInList(list));
    item->setQuadrant(quadrant);
    item->setCreationDate(Clock::now());
    item->setIcon(QStringLiteral("empty_orange128.png"));
    item->setIndex(IndexAdjuster::newItemIndex(list));
    item->setList(list);
    return item;
}

// --- Completing -----------------------------------------------------------------------------

void MyDocument::markTODOItem(TODOItem *item, TODOList *list, ArrayController *controller, int completionPercentage)
{
    if (!item)
        return;
    if (completionPercentage == 100) {
        item->setState(RecordState::Completed);
        item->setCompletionPercentage(100);
        if (!item->completionDate().isValid())
            item->setCompletionDate(Clock::now());
        performRecurrenceForTODOItem(item, list, controller);
        return;
    }
    if (!RecordState::isShown(item->state()))
        return;
    item->setState(RecordState::Open);
    item->setCompletionPercentage(completionPercentage);
    item->setCompletionDate(QDateTime());
}

QList<TODOItem *> MyDocument::selectedItemsInQuadrant(int quadrant) const
{
    QList<TODOItem *> items;
    if (quadrant < 0 || quadrant > 3)
        return items;
    for (ManagedObject *object : m_quadrants[quadrant]->selectedObjects())
        items.append(asItem(object));
    return items;
}

void MyDocument::reselectAfterRemoval(int quadrant, int firstSelectedRow)
{
    ArrayController *controller = m_quadrants[quadrant];
    const int rows = int(controller->arrangedObjects().size());
    if (rows == 0 || firstSelectedRow < 0)
        return;
    controller->setSelectionIndexes({std::min(firstSelectedRow, rows - 1)});
}

void MyDocument::markSelectedItemsAsCompletedInQuadrant(int quadrant)
{
    if (quadrant < 0 || quadrant > 3)
        return;
    const QList<int> rows = m_quadrants[quadrant]->selectionIndexes();
    completeItems(quadrant, selectedItemsInQuadrant(quadrant), rows.isEmpty() ? -1 : rows.first());
}

namespace {
// Items that may still be acted on: not deleted, not trashed, still in a list.
QList<TODOItem *> stillLive(const QList<TODOItem *> &items)
{
    QList<TODOItem *> live;
    for (TODOItem *item : items) {
        if (!item->isDeleted() && item->list() && RecordState::isShown(item->state()))
            live.append(item);
    }
    return live;
}
} // namespace

void MyDocument::completeItems(int quadrant, const QList<TODOItem *> &items, int firstSelectedRow)
{
    closeDrawer();
    ArrayController *controller = m_quadrants[quadrant];
    m_context->setUndoActionName(QStringLiteral("Complete Items"));
    for (TODOItem *item : stillLive(items)) {
        // Completed meanwhile (on another device, say): nothing left to do.
        if (item->state() != RecordState::Completed)
            markTODOItem(item, item->list(), controllerForQuadrant(item->quadrant()), 100);
    }
    controller->rearrangeObjects();
    reselectAfterRemoval(quadrant, firstSelectedRow);
    cleanListCustomCells();
}

void MyDocument::markListOrItemsAsCompleted()
{
    const int quadrant = m_lastQuadrantClicked;
    if (quadrant < 0 || quadrant > 3)
        return;
    const QList<TODOItem *> items = selectedItemsInQuadrant(quadrant);
    if (items.isEmpty())
        return;
    const QList<int> rows = m_quadrants[quadrant]->selectionIndexes();
    userConfirmsItemsCompleted(items, [self = QPointer<MyDocument>(this), quadrant, items, rows](bool confirmed) {
        if (self && confirmed)
            self->completeItems(quadrant, items, rows.isEmpty() ? -1 : rows.first());
    });
}

void MyDocument::toggleSelectedItemsAsCompletedInQuadrant(int quadrant)
{
    if (quadrant < 0 || quadrant > 3)
        return;
    TODOList *list = m_projects->selectedList();
    for (TODOItem *item : selectedItemsInQuadrant(quadrant))
        markTODOItem(item, list, m_quadrants[quadrant], item->completionPercentage() == 100 ? 0 : 100);
    reloadTableViews();
}

void MyDocument::toggleListOrItemsAsCompleted()
{
    toggleSelectedItemsAsCompletedInQuadrant(m_lastQuadrantClicked);
}

void MyDocument::markClickedItemAsDone(int quadrant, int row)
{
    if (quadrant < 0 || quadrant > 3)
        return;
    const QList<ManagedObject *> &arranged = m_quadrants[quadrant]->arrangedObjects();
    if (row < 0 || row >= arranged.size())
        return;
    TODOItem *item = asItem(arranged[row]);
    markTODOItem(item, m_projects->selectedList(), m_quadrants[quadrant], item->completionPercentage() == 100 ? 0 : 100);
    reloadTableViews();
}

// --- Trashing ------------------------------------------------------------------------------

void MyDocument::markTODOItemAsTrashed(TODOItem *item, TODOList *list)
{
    if (!item)
        return;
    item->setState(RecordState::Trashed);
    if (item->dueDate().isValid())
        calendar()->deleteEventForItem(item, list);
}

void MyDocument::markSelectedItemsAsDeletedInQuadrant(int quadrant)
{
    if (quadrant < 0 || quadrant > 3)
        return;
    const QList<int> rows = m_quadrants[quadrant]->selectionIndexes();
    trashItems(quadrant, selectedItemsInQuadrant(quadrant), rows.isEmpty() ? -1 : rows.first());
}

void MyDocument::trashItems(int quadrant, const QList<TODOItem *> &items, int firstSelectedRow)
{
    closeDrawer();
    m_context->setUndoActionName(QStringLiteral("Trash Items"));
    for (TODOItem *item : stillLive(items))
        markTODOItemAsTrashed(item, item->list());
    m_quadrants[quadrant]->rearrangeObjects();
    reselectAfterRemoval(quadrant, firstSelectedRow);
    cleanListCustomCells();
}

void MyDocument::markItemsAsDeleted()
{
    qCInfo(lcDocument) << "Marking item or list as deleted";
    const int quadrant = m_lastQuadrantClicked;
    const QList<TODOItem *> items = selectedItemsInQuadrant(quadrant);
    if (items.isEmpty()) {
        showUndeleteWindow();
        return;
    }
    const QList<int> rows = m_quadrants[quadrant]->selectionIndexes();
    userConfirmsItemsDeletion(items, [self = QPointer<MyDocument>(this), quadrant, items, rows](bool confirmed) {
        if (self && confirmed)
            self->trashItems(quadrant, items, rows.isEmpty() ? -1 : rows.first());
    });
}

namespace {
QString nameOrUntitled(const TODOItem *item)
{
    return item->name().isEmpty() ? QStringLiteral("Untitled") : item->name();
}
} // namespace

void MyDocument::userConfirmsItemsDeletion(const QList<TODOItem *> &items, DocumentAlerts::Answer answer)
{
    if (items.isEmpty()) {
        answer(false);
        return;
    }
    const QString message = items.size() == 1
        ? QStringLiteral("Are you sure you want to delete item named '%1'?").arg(nameOrUntitled(items.first()))
        : QStringLiteral("Are you sure you want to delete %1 items?").arg(items.size());
    alerts()->confirm(message, QStringLiteral("Deleted items cannot be restored."), std::move(answer));
}

void MyDocument::userConfirmsItemsCompleted(const QList<TODOItem *> &items, DocumentAlerts::Answer answer)
{
    if (items.isEmpty()) {
        answer(false);
        return;
    }
    const QString message = items.size() == 1
        ? QStringLiteral("Are you sure you want to complete item named '%1'?").arg(nameOrUntitled(items.first()))
        : QStringLiteral("Are you sure you want to complete the selected %1 items?").arg(items.size());
    alerts()->confirm(message, QString(), std::move(answer));
}

void MyDocument::showUndeleteWindow()
{
    closeDrawer();
    qCInfo(lcDocument) << "Opening item undelete window";
    view()->showUndeleteSheet();
}

int MyDocument::undeleteItems(const QList<TODOItem *> &items)
{
    int restored = 0;
    for (TODOItem *item : items) {
        if (item->state() != RecordState::Trashed && item->state() != RecordState::Deleted)
            continue;
        // The next sync sends it as a new item, whatever the server did with the old one.
        item->resetIDs();
        item->setState(RecordState::Open);
        if (item->dueDate().isValid())
            calendar()->updateEventForItem(item, item->list());
        ++restored;
    }
    if (restored > 0) {
        // The quadrants show them again once the change is announced.
        m_context->setUndoActionName(QStringLiteral("Undelete Items"));
        cleanListCustomCells();
    }
    return restored;
}

// --- Selection -----------------------------------------------------------------------------------

void MyDocument::itemClickedInQuadrant(int quadrant)
{
    m_lastQuadrantClicked = quadrant;
    if (quadrant < 0 || quadrant > 3) {
        closeDrawer();
        return;
    }
    const QList<TODOItem *> items = selectedItemsInQuadrant(quadrant);
    if (items.size() == 1) {
        openDrawer(items.first(), false);
        view()->resizeIfNeeded();
    } else if (items.isEmpty()) {
        closeDrawer();
        selectItem(nullptr);
    }
}

void MyDocument::quadrantSelectionChanged(int quadrant)
{
    if (m_changingSelection)
        return;
    tableViewSelectionDidChange(quadrant);
}

void MyDocument::tableViewSelectionDidChange(int quadrant)
{
    if (quadrant < 0 || quadrant > 3 || m_syncing) {
        selectItem(nullptr);
        return;
    }
    // Only one quadrant holds a selection at a time.
    if (m_selectedQuadrant != quadrant) {
        if (m_selectedQuadrant >= 0 && m_selectedQuadrant < 4) {
            m_changingSelection = true;
            m_quadrants[m_selectedQuadrant]->clearSelection();
            m_changingSelection = false;
        }
        m_selectedQuadrant = quadrant;
    }
    if (!m_quadrants[quadrant]->selectionIndexes().isEmpty()) {
        QTimer::singleShot(0, this, [this, quadrant]() {
            const QList<TODOItem *> items = selectedItemsInQuadrant(quadrant);
            if (items.isEmpty())
                return;
            openDrawer(items.first(), false);
            view()->resizeIfNeeded();
            setCanMarkComplete(true);
        });
    } else {
        closeDrawer();
        setCanMarkComplete(false);
    }
}

void MyDocument::selectItem(TODOItem *item)
{
    if (!item) {
        m_changingSelection = true;
        for (ArrayController *controller : m_quadrants) {
            if (!controller->selectionIndexes().isEmpty())
                controller->clearSelection();
        }
        m_changingSelection = false;
        return;
    }
    const int quadrant = item->quadrant();
    if (quadrant < 0 || quadrant > 3)
        return;
    const int row = m_quadrants[quadrant]->indexOfArrangedObject(item);
    if (row >= 0)
        enableQuadrant(quadrant, {row}, false);
}

void MyDocument::enableQuadrant(int quadrant, const QList<int> &rows, bool extendSelection)
{
    if (quadrant < 0 || quadrant > 3)
        return;
    m_changingSelection = true;
    for (int q = 0; q < 4; ++q) {
        if (q != quadrant)
            m_quadrants[q]->clearSelection();
    }
    m_changingSelection = false;
    m_lastQuadrantClicked = quadrant;
    if (rows.isEmpty())
        return;

    ArrayController *controller = m_quadrants[quadrant];
    view()->focusQuadrant(quadrant);
    QList<int> selection = rows;
    if (extendSelection)
        selection += controller->selectionIndexes();
    controller->setSelectionIndexes(selection);
    view()->scrollRowToVisible(quadrant, rows.first());
    if (isDrawerOpen()) {
        const QList<TODOItem *> items = selectedItemsInQuadrant(quadrant);
        if (!items.isEmpty())
            openDrawer(items.first(), false);
    }
}

void MyDocument::enableProjectView()
{
    view()->focusSidebar();
}

void MyDocument::gotoFindField()
{
    if (!host()->isMasterListOpen())
        view()->focusSearchField();
}

void MyDocument::selectedProjectChanged()
{
    selectItem(nullptr);
    m_selectedQuadrant = -1;
    for (ArrayController *controller : m_quadrants)
        controller->rearrangeObjects();

    if (TODOList *list = m_projects->selectedList())
        view()->moveQuadrantCross(crossFraction(list->centerX()), crossFraction(list->centerY()), false);
    m_lastDisplayName = displayName();
    emit displayNameChanged();
}

void MyDocument::selectedListChangedInStore(const ObjectsChange &)
{
    // A rename of the selected list (by the user, an undo or a sync) renames the window.
    const QString name = displayName();
    if (name != m_lastDisplayName) {
        m_lastDisplayName = name;
        emit displayNameChanged();
    }
}

void MyDocument::setCanMarkComplete(bool enabled)
{
    if (enabled != m_canMarkComplete)
        emit canMarkCompleteChanged(m_canMarkComplete = enabled);
}

void MyDocument::storeSelectedProjectRow()
{
    const int row = m_projects->selectedRow();
    Defaults &defaults = Defaults::standard();
    if (row >= 0 && defaults.intValue(kLastSelectedRowKey, -1) != row)
        defaults.setValue(kLastSelectedRowKey, row);
}

// --- Layout ------------------------------------------------------------------------------------

void MyDocument::maximizeQuadrant(int quadrant)
{
    if (quadrant < 0 || quadrant > 3)
        return;
    const double x = kMaximizedCross[quadrant][0];
    const double y = kMaximizedCross[quadrant][1];
    view()->moveQuadrantCross(x, y, true);
    if (TODOList *list = m_projects->selectedList()) {
        list->setCenterX(x * 100.0);
        list->setCenterY(y * 100.0);
    }
}

double MyDocument::areaForView(int quadrant) const
{
    return view()->quadrantArea(quadrant);
}

void MyDocument::changeToolbarForDragging(bool dragging)
{
    if (dragging != m_draggingItems)
        emit draggingItemsChanged(m_draggingItems = dragging);
}

bool MyDocument::isSidebarCollapsed() const
{
    return Defaults::standard().boolValue(QStringLiteral("kCollapsedSplitView"));
}

void MyDocument::collapseUncollapseSplitView()
{
    const bool collapsed = !isSidebarCollapsed();
    Defaults::standard().setValue(QStringLiteral("kCollapsedSplitView"), collapsed);
    emit sidebarCollapsedChanged(collapsed, true);
}

// --- Counts and messages --------------------------------------------------------------------------

int MyDocument::countOverdueItems() const
{
    const QDateTime now = Clock::now();
    int count = 0;
    for (TODOList *list : getAllProjects()) {
        for (ManagedObject *object : list->toMany(QStringLiteral("contains"))) {
            const TODOItem *item = asItem(object);
            if (item->state() == RecordState::Open && item->dueDate().isValid()
                && DateUtils::daysFromDate(now, item->dueDate()) < 0)
                ++count;
        }
    }
    return count;
}

void MyDocument::setStatusBarMessage(const QString &message)
{
    m_statusMessage = message;
    emit statusTextChanged(message);
    m_clearStatusTimer.start(); // a pending clear starts over
}

void MyDocument::clearStatusBarMessage()
{
    m_clearStatusTimer.stop();
    m_statusMessage.clear();
    emit statusTextChanged(QString());
}

// --- Pasteboard and undo ------------------------------------------------------------------------------

void MyDocument::cut()
{
    m_pasteboardOps->copyToPasteBoardWithCutting(true);
    closeDrawer();
}

void MyDocument::undo()
{
    if (UndoManager *undo = m_context->undoManager())
        undo->undo();
}

// --- Calendar ---------------------------------------------------------------------------------------

void MyDocument::startCalendarSyncTimer()
{
    if (m_calendarSyncTimer)
        return;
    m_calendarSyncTimer = std::make_unique<QTimer>();
    m_calendarSyncTimer->setInterval(300 * 1000);
    connect(m_calendarSyncTimer.get(), &QTimer::timeout, this, &MyDocument::iCalExport);
    m_calendarSyncTimer->start();
}

void MyDocument::stopCalendarSyncTimer()
{
    m_calendarSyncTimer.reset();
}
