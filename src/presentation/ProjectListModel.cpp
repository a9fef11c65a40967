#include "ProjectListModel.h"

#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "PasteboardOperations.h"
#include "TODOItem.h"
#include "TODOList.h"

#include <QColor>
#include <QMimeData>

#include <algorithm>

namespace {

// The item keys the overview counts depend on.
const QSet<QString> &countedKeys()
{
    static const QSet<QString> keys{QStringLiteral("state"),        QStringLiteral("quadrant"),
                                    QStringLiteral("name"),         QStringLiteral("descriptionText"),
                                    QStringLiteral("dueDate"),      QStringLiteral("startDate"),
                                    QStringLiteral("completionDate"), QStringLiteral("ownerUsername")};
    return keys;
}

const QList<int> kOverviewRoles{ProjectListModel::ColorTextsRole, ProjectListModel::CountLabelsRole};

} // namespace

ProjectListModel::ProjectListModel(MyDocument *document, QObject *parent)
    : ArrangedObjectsModel(document->projects().projectsArrayController(), document->managedObjectContext(), parent)
    , m_document(document)
{
    connect(document, &MyDocument::listCellsChanged, this, &ProjectListModel::allOverviewsChanged);
}

TODOList *ProjectListModel::listAt(int row) const
{
    return static_cast<TODOList *>(objectAt(row));
}

const QuadrantOverview &ProjectListModel::overviewFor(TODOList *list) const
{
    ListOverview &overview = m_overviews[list];
    const bool onlyDated = m_document->onlyDatedItems();
    overview.fill(list, m_document->itemsState(), m_document->searchString(), onlyDated, m_document->minDate(),
                  m_document->maxDate(), onlyDated, m_document->currentOwnerUsernames());
    return overview.overview();
}

QVariant ProjectListModel::data(const QModelIndex &index, int role) const
{
    TODOList *list = listAt(index.row());
    if (!list || index.parent().isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return list->name();
    case Qt::ForegroundRole: {
        const QString search = m_document->searchString();
        if (!search.isEmpty() && list->name().toLower().contains(search))
            return QColor(Qt::red);
        return {};
    }
    case ListRole:
        return QVariant::fromValue(list);
    case ColorTextsRole: {
        const QuadrantOverview &overview = overviewFor(list);
        return QStringList(std::begin(overview.colors), std::end(overview.colors));
    }
    case CountLabelsRole: {
        const QuadrantOverview &overview = overviewFor(list);
        return QStringList(std::begin(overview.labels), std::end(overview.labels));
    }
    default:
        return {};
    }
}

// Renames; a list without a name cannot be told apart, so an empty name is refused.
bool ProjectListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TODOList *list = listAt(index.row());
    const QString name = value.toString();
    if (!list || index.parent().isValid() || role != Qt::EditRole || name.trimmed().isEmpty())
        return false;
    if (list->name() == name)
        return true;
    list->setName(name);
    m_document->managedObjectContext()->setUndoActionName(QStringLiteral("Rename"));
    return true;
}

Qt::ItemFlags ProjectListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsDropEnabled;
    if (m_document->projects().canDragLists())
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

// --- Keeping the overviews current ------------------------------------------------------

void ProjectListModel::allOverviewsChanged()
{
    m_overviews.clear();
    if (rowCount() > 0)
        emit dataChanged(index(0), index(rowCount() - 1), kOverviewRoles + QList<int>{Qt::ForegroundRole});
}

void ProjectListModel::recordsChanged(const ObjectsChange &change)
{
    QList<ManagedObject *> lists;
    bool everyList = false;
    const auto countsChangedIn = [&](ManagedObject *object) {
        TODOList *list = static_cast<TODOItem *>(object)->list();
        if (list)
            lists.append(list);
        // A deleted item may have left its list already.
        everyList = everyList || !list;
    };
    for (ManagedObject *object : change.inserted + change.deleted) {
        if (object->entityName() == TODOItem::EntityName)
            countsChangedIn(object);
    }
    for (ManagedObject *object : change.updated) {
        if (object->entityName() == TODOList::EntityName) {
            m_overviews.remove(static_cast<TODOList *>(object)); // colours
            continue;
        }
        const QSet<QString> keys = object->changedKeysForCurrentEvent();
        // An item that moved to another list changes the counts of both.
        everyList = everyList || keys.contains(QStringLiteral("list"));
        if (keys.intersects(countedKeys()))
            countsChangedIn(object);
    }
    // The lists' own rows (name, colours) change with all their roles.
    ArrangedObjectsModel::recordsChanged(change);

    if (everyList) {
        allOverviewsChanged();
        return;
    }
    for (ManagedObject *list : std::as_const(lists))
        m_overviews.remove(static_cast<TODOList *>(list));
    emitDataChanged(lists, kOverviewRoles);
}

// --- Drag and drop ------------------------------------------------------------------------

QStringList ProjectListModel::mimeTypes() const
{
    return {PasteboardTypes::List, PasteboardTypes::Item};
}

QMimeData *ProjectListModel::mimeData(const QModelIndexList &indexes) const
{
    // In alphabetical order the rows cannot be placed by hand.
    if (!m_document->projects().canDragLists())
        return nullptr;
    QList<int> rows;
    for (const QModelIndex &index : indexes) {
        if (listAt(index.row()) && !index.parent().isValid())
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return nullptr;
    auto *data = new QMimeData;
    data->setData(PasteboardTypes::List, PasteboardTypes::encodeListRows(rows));
    return data;
}

bool ProjectListModel::canDropMimeData(const QMimeData *data, Qt::DropAction, int row, int,
                                       const QModelIndex &parent) const
{
    if (!data)
        return false;
    const int proposed = parent.isValid() ? parent.row() : (row >= 0 ? row : rowCount());
    if (data->hasFormat(PasteboardTypes::Item)) {
        // Hovering items select the list (and keep it selected even when the drag is
        // cancelled), so that they can be dropped into one of its quadrants.
        if (proposed < rowCount())
            m_document->projects().selectRow(proposed);
        return false;
    }
    return data->hasFormat(PasteboardTypes::List) && proposed < rowCount();
}

bool ProjectListModel::dropMimeData(const QMimeData *data, Qt::DropAction, int row, int, const QModelIndex &parent)
{
    if (!data || !data->hasFormat(PasteboardTypes::List))
        return false;
    QList<int> rows;
    if (!PasteboardTypes::decodeListRows(data->data(PasteboardTypes::List), &rows) || rows.size() != 1)
        return false;
    if (parent.isValid())
        return m_document->projects().acceptListDrop(rows.first(), parent.row(), false);
    // Below the last row (row -1) is refused.
    return row >= 0 && m_document->projects().acceptListDrop(rows.first(), row, true);
}
