#include "MasterListModel.h"

#include "MasterListDataSource.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"

#include <QSize>

MasterListModel::MasterListModel(MasterListDataSource *source)
    : ArrangedObjectsModel(source->rowController(), source->document()->managedObjectContext(), source)
    , m_source(source)
{
}

QVariant MasterListModel::data(const QModelIndex &index, int role) const
{
    if (index.parent().isValid())
        return {};
    if (const TODOList *list = m_source->groupListAt(index.row()))
        return groupData(list, role);
    if (TODOItem *item = m_source->itemAt(index.row()))
        return itemData(item, role);
    return {};
}

QVariant MasterListModel::groupData(const TODOList *list, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
        return list->name();
    case Qt::SizeHintRole:
        return QSize(-1, GroupRowHeight);
    case GroupRole:
        return true;
    default:
        return {};
    }
}

QVariant MasterListModel::itemData(TODOItem *item, int role)
{
    switch (role) {
    case Qt::SizeHintRole:
        return QSize(-1, ItemRowHeight);
    case GroupRole:
        return false;
    default:
        return QuadrantItemModel::itemRoleData(item, role);
    }
}

bool MasterListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const TODOItem *item = m_source->itemAt(index.row());
    if (!item || index.parent().isValid() || role != Qt::CheckStateRole)
        return false;
    // Asking for the state the box already shows changes nothing.
    const bool checked = value.toInt() == Qt::Checked;
    if (checked != (item->state() != RecordState::Open))
        m_source->markAsDoneItemInRow(index.row());
    return true;
}

Qt::ItemFlags MasterListModel::flags(const QModelIndex &index) const
{
    if (m_source->itemAt(index.row()))
        return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable;
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}
