#include "ProjectListController.h"

#include "ArrayController.h"
#include "Clock.h"
#include "Defaults.h"
#include "IndexAdjuster.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"
#include "Utils.h"

#include <QPointer>
#include <QTimer>

#include <exception>

namespace {

const QString kAlphabeticalOrderKey = QStringLiteral("kAlphabeticalProjectOrder");
const QString kLastSelectedRowKey = QStringLiteral("lastSelectedProjectRow");

// Delay before the stored row is selected, so that the sidebar has its rows.
constexpr int kRestoreSelectionDelayMs = 200;

TODOList *asList(ManagedObject *object)
{
    return static_cast<TODOList *>(object);
}

// Trashed and deleted lists never appear in the sidebar.
Predicate shownListsPredicate()
{
    return Predicate::notEqual(QStringLiteral("state"), RecordState::Trashed)
        && Predicate::notEqual(QStringLiteral("state"), RecordState::Deleted);
}

QList<SortDescriptor> listOrder(bool alphabetical)
{
    if (alphabetical)
        return {SortDescriptor(QStringLiteral("name"), true, SortDescriptor::Comparison::Localized)};
    return {SortDescriptor(QStringLiteral("index"), false, SortDescriptor::Comparison::Numeric)};
}

} // namespace

ProjectListController::ProjectListController(MyDocument &document, QObject *parent)
    : QObject(parent)
    , m_document(document)
{
    m_controller = new ArrayController(this);
    m_controller->setFilterPredicate(shownListsPredicate());
    m_controller->setSortDescriptors(listOrder(m_alphabetical));
    // Every list of the context: a list made anywhere shows up on the next rearrange.
    m_controller->setContentSource([this]() {
        ManagedObjectContext *context = m_document.managedObjectContext();
        return context ? context->objects(TODOList::EntityName) : QList<ManagedObject *>();
    });
    // A renamed list moves in alphabetical order; a trashed one leaves.
    m_controller->setAutomaticallyRearrangesObjects(m_document.managedObjectContext(), TODOList::EntityName);
    connect(m_controller, &ArrayController::selectionChanged, this, [this]() {
        TODOList *list = selectedList();
        if (list == m_lastSelected)
            return;
        m_lastSelected = list;
        emit selectedProjectChanged();
    });
}

ProjectListController::~ProjectListController() = default;

void ProjectListController::load()
{
    applyOrder(Defaults::standard().boolValue(kAlphabeticalOrderKey));
    m_controller->rearrangeObjects();

    QTimer::singleShot(kRestoreSelectionDelayMs, this, [this]() {
        const int row = Defaults::standard().intValue(kLastSelectedRowKey);
        if (row < 0 || row >= m_controller->arrangedObjects().size())
            return;
        selectRow(row);
        m_document.view()->scrollSidebarRowToVisible(row);
    });
}

void ProjectListController::applyOrder(bool alphabetical)
{
    m_alphabetical = alphabetical;
    m_controller->setSortDescriptors(listOrder(alphabetical));
}

// --- Lists -------------------------------------------------------------------------

TODOList *ProjectListController::addNewProject()
{
    TODOList *list = addNewProjectWithName(QStringLiteral("My Project"));
    if (!list)
        return nullptr;
    const int row = selectProject(list);
    if (row >= 0)
        m_document.view()->beginEditingListName(row);
    return list;
}

TODOList *ProjectListController::addNewProjectWithName(const QString &name)
{
    ManagedObjectContext *context = m_document.managedObjectContext();
    if (!context)
        return nullptr;
    auto *list = context->insert<TODOList>(TODOList::EntityName);
    list->setId_(0);
    list->setTextFirstQuadrant(Quadrant::defaultTitle(Quadrant::First));
    list->setTextSecondQuadrant(Quadrant::defaultTitle(Quadrant::Second));
    list->setTextThirdQuadrant(Quadrant::defaultTitle(Quadrant::Third));
    list->setTextFourthQuadrant(Quadrant::defaultTitle(Quadrant::Fourth));
    list->setColorFirstQuadrant(Quadrant::defaultColor(Quadrant::First));
    list->setColorSecondQuadrant(Quadrant::defaultColor(Quadrant::Second));
    list->setColorThirdQuadrant(Quadrant::defaultColor(Quadrant::Third));
    list->setColorFourthQuadrant(Quadrant::defaultColor(Quadrant::Fourth));
    list->setName(name);
    // The content source already holds the new list; rearranging shows it.
    m_controller->rearrangeObjects();
    return list;
}

void ProjectListController::markProjectAsDeleted()
{
    const QList<int> selection = m_controller->selectionIndexes();
    if (selection.size() != 1) {
        qCInfo(lcDocument) << "Cannot delete more than one list at a time";
        return;
    }
    TODOList *list = asList(m_controller->arrangedObjects().at(selection.first()));
    QPointer<ProjectListController> self(this);
    userConfirmsProjectDeletion(list, [self, list](bool confirmed) {
        if (self)
            self->trashAfterConfirmation(list, confirmed);
    });
}

void ProjectListController::trashAfterConfirmation(TODOList *list, bool confirmed)
{
    // While the question was open a sync may have removed the list or
    // moved it: only a list still shown is trashed, and the row selected
    // afterwards is the one it stands in now.
    const int row = m_controller->indexOfArrangedObject(list);
    if (confirmed && row >= 0) {
        m_document.managedObjectContext()->setUndoActionName(QStringLiteral("Delete List"));
        markProject(list, RecordState::Trashed);
        m_document.closeDrawer();
        const int rows = int(m_controller->arrangedObjects().size());
        if (rows > 0)
            selectRow(row < rows ? row : rows - 1);
    }
    m_document.cleanListCustomCells();
}

void ProjectListController::userConfirmsProjectDeletion(TODOList *list, DocumentAlerts::Answer answer)
{
    if (!list) {
        answer(false);
        return;
    }
    m_document.alerts()->confirm(QStringLiteral("Are you sure you want to delete list named '%1'?").arg(list->name()),
                                 QStringLiteral("Deleted lists cannot be restored."), std::move(answer));
}

void ProjectListController::markProject(TODOList *list, int state)
{
    if (!list)
        return;
    list->setState(state);
    m_controller->rearrangeObjects();
    if (state == RecordState::Trashed) {
        if (!m_trashed.contains(list))
            m_trashed.append(list);
    } else if (state == RecordState::Deleted) {
        m_trashed.removeAll(list);
    }
}

bool ProjectListController::cloneSelectedProjectWithItems(bool withItems)
{
    TODOList *list = selectedList();
    if (!list) {
        qCWarning(lcDocument) << "ERROR: Can only clone one list at a time";
        return false;
    }
    m_document.cloneList(list, withItems);

    // The clone stays in the store whatever becomes of the save.
    QString failure;
    try {
        if (!m_document.saveFile())
            failure = QStringLiteral("File could not be saved");
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    if (failure.isEmpty())
        qCInfo(lcDocument) << "Attempted to save file successfully after cloning";
    else
        qCWarning(lcDocument).noquote() << QStringLiteral("Error saving file after cloning. Exception: '%1'").arg(failure);

    m_controller->rearrangeObjects();
    return true;
}

// --- Order -------------------------------------------------------------------------

void ProjectListController::setAlphabeticalOrder(bool alphabetical)
{
    Defaults::standard().setValue(kAlphabeticalOrderKey, alphabetical);
    applyOrder(alphabetical);
    m_controller->rearrangeObjects();
    const int row = selectedRow();
    if (row >= 0)
        m_document.view()->scrollSidebarRowToVisible(row);
}

bool ProjectListController::acceptListDrop(int draggedRow, int dropRow, bool dropAbove)
{
    if (!canDragLists())
        return false;
    const QList<ManagedObject *> rows = m_controller->arrangedObjects();
    const int count = int(rows.size());
    // A drop after the last row (dropRow == count) is refused like any other row outside.
    if (draggedRow < 0 || draggedRow >= count || dropRow < 0 || dropRow >= count || draggedRow == dropRow)
        return false;

    TODOList *target = asList(rows[dropRow]);
    TODOList *dragged = asList(rows[draggedRow]);
    // Moving up, or dropped above the row: just before the target; else just after it.
    const bool beforeTarget = dropAbove || draggedRow > dropRow;
    dragged->setIndex(IndexAdjuster::add32(target->index(), beforeTarget ? 1 : -1));

    m_controller->rearrangeObjects();
    IndexAdjuster::adjustListIndices(m_controller);
    m_controller->rearrangeObjects();
    return true;
}

// --- Selection ---------------------------------------------------------------------

TODOList *ProjectListController::getSelectedProject() const
{
    TODOList *list = selectedList();
    if (!list)
        qCInfo(lcDocument) << "getSelectedProject: No selected list, or more than one; Returning nil.";
    return list;
}

TODOList *ProjectListController::selectedList() const
{
    const QList<int> selection = m_controller->selectionIndexes();
    if (selection.size() != 1)
        return nullptr;
    return asList(m_controller->arrangedObjects().at(selection.first()));
}

int ProjectListController::selectProject(TODOList *list)
{
    if (!list)
        return -1;
    const QList<ManagedObject *> &rows = m_controller->arrangedObjects();
    // The record itself first: every list made on this machine has id_ 0, so the
    // id_ tells lists apart only once the server has given one.
    int row = m_controller->indexOfArrangedObject(list);
    if (row < 0 && list->id_() != 0) {
        for (int i = 0; i < rows.size(); ++i) {
            if (asList(rows[i])->id_() == list->id_()) {
                row = i;
                break;
            }
        }
    }
    if (row < 0)
        return -1;
    selectRow(row);
    m_document.view()->scrollSidebarRowToVisible(row);
    return row;
}

void ProjectListController::selectRow(int row)
{
    if (row < 0)
        m_controller->clearSelection();
    else
        m_controller->setSelectionIndexes({row});
}

int ProjectListController::selectedRow() const
{
    const QList<int> selection = m_controller->selectionIndexes();
    return selection.size() == 1 ? selection.first() : -1;
}

TODOList *ProjectListController::getFirstProject() const
{
    const QList<ManagedObject *> &rows = m_controller->arrangedObjects();
    return rows.isEmpty() ? nullptr : asList(rows.first());
}

QList<TODOList *> ProjectListController::getAllProjects() const
{
    QList<TODOList *> lists;
    const QList<ManagedObject *> &rows = m_controller->arrangedObjects();
    lists.reserve(rows.size());
    for (ManagedObject *object : rows)
        lists.append(asList(object));
    return lists;
}

QList<TODOList *> ProjectListController::getAllProjectsEvenTrashed() const
{
    QList<TODOList *> lists = getAllProjects();
    for (TODOList *list : m_trashed) {
        if (!lists.contains(list))
            lists.append(list);
    }
    // Lists trashed in an earlier session that the server knows: until the
    // server has answered an upload of their trash they must be sent and
    // matched, or a reply that still holds one brings it back as a new list.
    ManagedObjectContext *context = m_document.managedObjectContext();
    const QList<ManagedObject *> stored = context ? context->objects(TODOList::EntityName) : QList<ManagedObject *>();
    for (ManagedObject *object : stored) {
        TODOList *list = asList(object);
        if (list->state() == RecordState::Trashed && list->id_() != 0 && !lists.contains(list))
            lists.append(list);
    }
    return lists;
}

void ProjectListController::logAllLists() const
{
    for (TODOList *list : getAllProjects()) {
        qCInfo(lcDocument).noquote()
            << QStringLiteral("List, ID: %1. NAME: %2, STATE: %3").arg(list->id_()).arg(list->name()).arg(list->state());
        for (ManagedObject *object : list->toMany(QStringLiteral("contains"))) {
            const auto *item = static_cast<const TODOItem *>(object);
            qCInfo(lcDocument).noquote()
                << QStringLiteral("     Item, ID: %1. NAME: %2, STATE: %3").arg(item->id_()).arg(item->name()).arg(item->state());
        }
    }
}

// --- Quadrant overview --------------------------------------------------------------

bool ListOverview::fill(TODOList *list, int itemState, const QString &searchText, bool onlyDatedItems,
                        const QDateTime &minDate, const QDateTime &maxDate, bool hasDueDate, const QStringList &owners)
{
    if (m_filled && m_list == list && m_itemState == itemState && m_searchText == searchText
        && m_onlyDatedItems == onlyDatedItems && m_minDate == minDate && m_maxDate == maxDate
        && m_hasDueDate == hasDueDate && m_owners == owners)
        return false;

    m_filled = true;
    m_list = list;
    m_itemState = itemState;
    m_searchText = searchText;
    m_onlyDatedItems = onlyDatedItems;
    m_minDate = minDate;
    m_maxDate = maxDate;
    m_hasDueDate = hasDueDate;
    m_owners = owners;
    m_overview = QuadrantOverview();
    if (!list)
        return true;

    // The parts shared by the four quadrants.
    QList<Predicate> shared;
    shared << Predicate::notEqual(QStringLiteral("state"), RecordState::Trashed)
           << Predicate::notEqual(QStringLiteral("state"), RecordState::Deleted);
    if (itemState != -1) {
        shared << (Predicate::equal(QStringLiteral("state"), itemState)
                   || Predicate::compare(QStringLiteral("state"), Predicate::Op::Less, 0));
    }
    if (!searchText.isEmpty()) {
        shared << (Predicate::contains(QStringLiteral("name"), searchText)
                   || Predicate::contains(QStringLiteral("descriptionText"), searchText));
    }
    const Predicate datePredicate = Utils::filterItemsBetweenMinDate(minDate, maxDate, Clock::now().addSecs(86400));
    if (!datePredicate.isNull())
        shared << datePredicate;
    if (hasDueDate)
        shared << Utils::filterForItemsThatHaveDueDate();
    const Predicate ownersPredicate = Utils::filterByOwnerUsernames(owners);
    if (!ownersPredicate.isNull())
        shared << ownersPredicate;

    // With a filter that hides items, a quadrant with nothing to show is left unpainted.
    const bool marksEmptyQuadrants = onlyDatedItems || !searchText.isEmpty();

    const QList<ManagedObject *> items = list->toMany(QStringLiteral("contains"));
    for (int q = 0; q < Quadrant::Count; ++q) {
        const Predicate predicate = Predicate::andPredicate(QList<Predicate>{Predicate::equal(QStringLiteral("quadrant"), q)} + shared);
        int count = 0;
        for (const ManagedObject *item : items) {
            if (predicate.evaluate(item))
                ++count;
        }
        m_overview.counts[q] = count;
        m_overview.colors[q] = marksEmptyQuadrants && count == 0 ? QString() : list->colorTextForQuadrant(q);
        m_overview.labels[q] = count == 0 ? QString() : QString::number(count);
    }
    return true;
}
