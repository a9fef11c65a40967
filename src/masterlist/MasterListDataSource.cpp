#include "MasterListDataSource.h"

#include "Defaults.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "QuadrantFilters.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"
#include "UndoManager.h"

#include <QSet>

#include <algorithm>

namespace {

const QString kLoginKey = QStringLiteral("cv-login");

SortDescriptor descriptorForGroupOrder(MasterListDataSource::GroupOrder order)
{
    using C = SortDescriptor::Comparison;
    switch (order) {
    case MasterListDataSource::IndexAscending:
        return SortDescriptor(QStringLiteral("index"), true, C::Numeric);
    case MasterListDataSource::NameAscending:
        return SortDescriptor(QStringLiteral("name"), true, C::Localized);
    case MasterListDataSource::NameDescending:
        return SortDescriptor(QStringLiteral("name"), false, C::Localized);
    default:
        return SortDescriptor(QStringLiteral("index"), false, C::Numeric);
    }
}

} // namespace

MasterListDataSource::MasterListDataSource(MyDocument *document, QObject *parent)
    : QObject(parent)
    , m_document(document)
    , m_helper(*document)
{
    connect(&m_rows, &ArrayController::selectionChanged, this, [this]() {
        if (m_allowSelection)
            refreshDetail();
    });
    connect(document->managedObjectContext(), &ManagedObjectContext::objectsDidChange, this,
            &MasterListDataSource::storeChanged);
}

// --- Rows ---------------------------------------------------------------------------

TODOItem *MasterListDataSource::itemAt(int row) const
{
    ManagedObject *object = m_rows.arrangedObjects().value(row);
    return object && object->entityName() == TODOItem::EntityName ? static_cast<TODOItem *>(object) : nullptr;
}

TODOList *MasterListDataSource::groupListAt(int row) const
{
    ManagedObject *object = m_rows.arrangedObjects().value(row);
    return object && object->entityName() == TODOList::EntityName ? static_cast<TODOList *>(object) : nullptr;
}

TODOList *MasterListDataSource::projectForItemInRow(int row) const
{
    for (int above = std::min(row, int(rows().size())) - 1; above >= 0; --above) {
        if (TODOList *list = groupListAt(above))
            return list;
    }
    return nullptr;
}

// --- View, owner, search, order -------------------------------------------------------------

void MasterListDataSource::setViewMode(int mode)
{
    m_mode = MasterView::fromInt(mode);
    setDataForMode(m_mode);
    emit viewModeChanged(m_mode);
}

void MasterListDataSource::showViewMode(int mode)
{
    Defaults::standard().setValue(ViewModeKey, int(MasterView::fromInt(mode)));
    setViewMode(mode);
}

void MasterListDataSource::reloadData()
{
    setViewMode(Defaults::standard().intValue(ViewModeKey, 0));
}

void MasterListDataSource::setOwner(const QString &owner)
{
    m_owner = owner;
    setDataForMode(m_mode);
}

void MasterListDataSource::updateOwnerFilter(int position)
{
    switch (position) {
    case Everyone:
        qCInfo(lcDocument) << "User selected 'Everyone'";
        setOwner(QString());
        break;
    case MeOnly:
        qCInfo(lcDocument) << "User selected 'me only'";
        setOwner(Defaults::standard().stringValue(kLoginKey));
        break;
    default:
        qCWarning(lcDocument) << "ERROR: User selected an invalid choice";
        break;
    }
}

void MasterListDataSource::setSearchString(const QString &text)
{
    m_searchString = text;
    setDataForMode(m_mode);
}

void MasterListDataSource::updateMasterSorting(int position)
{
    Defaults::standard().setValue(SortingKey, position);
    setDataForMode(m_mode);
}

MasterListDataSource::GroupOrder MasterListDataSource::groupOrder()
{
    const int stored = Defaults::standard().intValue(SortingKey, 0);
    return stored >= IndexDescending && stored < GroupOrderCount ? GroupOrder(stored) : IndexDescending;
}

void MasterListDataSource::setDataForMode(MasterView::Mode mode)
{
    DataHelper::ItemGroups groups = m_helper.groupsForMode(mode);
    // The first character typed would match nearly everything: filtering starts at the second.
    if (m_searchString.size() >= 2)
        groups = Utils::filterItemsBySearchField(m_searchString, groups);
    if (!m_owner.isEmpty())
        groups = Utils::filterItemsByOwner(m_owner, groups);

    QList<ManagedObject *> lists;
    for (TODOList *list : m_helper.getTODOLists()) {
        if (groups.contains(list->objectURI().toString()))
            lists.append(list);
    }
    SortDescriptor::sort(lists, {descriptorForGroupOrder(groupOrder())});

    // Inside a group, the order the user chose for the quadrants.
    const QList<SortDescriptor> itemOrder = QuadrantFilters::sortDescriptorsForChoice(m_document->filters().sortingChoice());
    QList<ManagedObject *> rows;
    for (ManagedObject *list : std::as_const(lists)) {
        const QList<TODOItem *> items = groups.value(list->objectURI().toString());
        QList<ManagedObject *> sorted(items.cbegin(), items.cend());
        SortDescriptor::sort(sorted, itemOrder);
        rows << list << sorted;
    }

    m_allowSelection = false;
    m_rows.setContent(rows);
    m_rows.setSelectionIndexes(rows.size() > 1 ? QList<int>{1} : QList<int>{});
    m_allowSelection = true;
    refreshDetail();
}

// --- Selection ----------------------------------------------------------------------------

int MasterListDataSource::selectedRow() const
{
    const QList<int> selection = m_rows.selectionIndexes();
    return selection.isEmpty() ? -1 : selection.constFirst();
}

void MasterListDataSource::refreshDetail()
{
    const int row = selectedRow();
    MasterListDetail detail;
    detail.item = itemAt(row);
    detail.list = detail.item ? projectForItemInRow(row) : nullptr;
    if (detail.list) {
        for (int q = 0; q < Quadrant::Count; ++q)
            detail.quadrantTitles << detail.list->nameForQuadrant(q);
        detail.quadrant = detail.item->quadrant();
        detail.colorText = detail.list->colorTextForQuadrant(detail.quadrant);
    }
    m_detail = detail;
    emit detailChanged();
}

// Deleted records leave the rows (the items of a deleted list with it), and
// a group with them when no item is left under it; a change to the selected
// item or its list refreshes the detail.
void MasterListDataSource::storeChanged(const ObjectsChange &change)
{
    const QSet<const ManagedObject *> deleted(change.deleted.cbegin(), change.deleted.cend());
    const QList<ManagedObject *> &current = rows();
    if (std::none_of(current.cbegin(), current.cend(), [&](const ManagedObject *o) { return deleted.contains(o); })) {
        const QSet<const ManagedObject *> updated(change.updated.cbegin(), change.updated.cend());
        if (updated.contains(m_detail.item) || updated.contains(m_detail.list))
            refreshDetail();
        return;
    }
    const auto isGroup = [](const ManagedObject *object) { return object->entityName() == TODOList::EntityName; };
    QList<ManagedObject *> kept;
    bool inDeletedGroup = false;
    for (ManagedObject *object : current) {
        if (isGroup(object))
            inDeletedGroup = deleted.contains(object);
        if (inDeletedGroup || deleted.contains(object))
            continue;
        // A group row right after another one has no items left: the later one takes its place.
        if (isGroup(object) && !kept.isEmpty() && isGroup(kept.constLast()))
            kept.last() = object;
        else
            kept.append(object);
    }
    if (!kept.isEmpty() && isGroup(kept.constLast()))
        kept.removeLast();
    m_rows.setContent(kept);
    refreshDetail();
}

// --- Item actions ----------------------------------------------------------------------------

void MasterListDataSource::asUndoStep(const QString &name, const std::function<void()> &change)
{
    ManagedObjectContext *context = m_document->managedObjectContext();
    // Announcing the changes and closing the group at once, rather than at the
    // end of the turn, keeps what came before and what comes after out of this step.
    const auto closeStep = [context]() {
        context->processPendingChanges();
        if (UndoManager *undo = context->undoManager())
            undo->closeAutomaticGroup();
    };
    closeStep();
    change();
    context->setUndoActionName(name);
    closeStep();
}

void MasterListDataSource::changeQuadrant(int quadrant)
{
    TODOItem *item = m_detail.item;
    if (!item || quadrant < 0 || quadrant >= Quadrant::Count || item->quadrant() == quadrant)
        return;
    asUndoStep(QStringLiteral("Change Quadrant"), [&]() { item->setQuadrant(quadrant); });
}

void MasterListDataSource::setIcon(const QString &icon)
{
    TODOItem *item = m_detail.item;
    if (!item || icon.isEmpty() || item->icon() == icon)
        return;
    asUndoStep(QStringLiteral("Change Icon"), [&]() { item->setIcon(icon); });
}

void MasterListDataSource::markAsDoneItemInRow(int row)
{
    TODOItem *item = itemAt(row);
    if (!item)
        return;
    TODOList *list = projectForItemInRow(row);
    if (!list) {
        qCWarning(lcDocument).noquote() << QStringLiteral("List couldn't be found for item %1").arg(item->name());
        return;
    }
    if (item->state() == RecordState::Open) {
        asUndoStep(QStringLiteral("Complete Items"), [&]() { m_document->markTODOItem(item, list, nullptr, 100); });
    } else if (item->state() == RecordState::Completed) {
        asUndoStep(QStringLiteral("Reopen Items"), [&]() { m_document->markTODOItem(item, list, nullptr, 0); });
    }
}

bool MasterListDataSource::goToSelectedItemInMainWindow()
{
    TODOItem *item = m_detail.item;
    if (!item || !m_detail.list)
        return false;
    m_document->selectProject(m_detail.list);
    m_document->selectItem(item);
    emit mainWindowRequested();
    return true;
}
