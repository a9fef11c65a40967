#include "MasterListModel.h"

#include "Clock.h"
#include "DateUtils.h"
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

QVariant MasterListModel::itemData(TODOItem *item, int role) const
{
    const QDateTime due = item->dueDate();
    switch (role) {
    case Qt::DisplayRole:
        return item->name().isEmpty() ? QStringLiteral("Empty name") : item->name();
    case Qt::CheckStateRole:
        return item->state() != RecordState::Open ? Qt::Checked : Qt::Unchecked;
    case Qt::SizeHintRole:
        return QSize(-1, ItemRowHeight);
    case GroupRole:
        return false;
    case QuadrantItemModel::ItemRole:
        return QVariant::fromValue(item);
    case QuadrantItemModel::NotesRole:
        return item->descriptionText();
    case QuadrantItemModel::IconRole:
        return item->icon();
    case QuadrantItemModel::DueDateRole:
        return due;
    case QuadrantItemModel::CompletionRole:
        return item->completionPercentage();
    case QuadrantItemModel::FrequencyRole:
        return item->frequency();
    case QuadrantItemModel::LinkRole:
        return item->macResourceURL();
    case QuadrantItemModel::RecurringRole:
        return DateUtils::hasDate(due) && !item->frequency().isEmpty() && item->frequency() != QLatin1String("Never");
    case QuadrantItemModel::OverdueRole:
        return DateUtils::hasDate(due) && item->completionPercentage() < 100
            && DateUtils::daysFromDate(Clock::now(), due) < 0;
    case QuadrantItemModel::DoneRole:
        return item->completionPercentage() == 100;
    default:
        return {};
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
