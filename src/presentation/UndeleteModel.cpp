#include "UndeleteModel.h"

#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QColor>

#include <algorithm>

UndeleteModel::UndeleteModel(MyDocument *document, QObject *parent)
    : QAbstractListModel(parent)
    , m_document(document)
{
}

void UndeleteModel::loadUndeleteCandidates()
{
    beginResetModel();
    m_candidates.clear();
    if (TODOList *list = m_document ? m_document->getSelectedProject() : nullptr) {
        for (TODOItem *item : list->contains()) {
            if (item->state() == RecordState::Trashed || item->state() == RecordState::Deleted)
                m_candidates.append({item->objectURI(), item->name()});
        }
        std::stable_sort(m_candidates.begin(), m_candidates.end(),
                         [](const Candidate &a, const Candidate &b) { return a.name < b.name; });
    }
    endResetModel();
    qCInfo(lcUi).noquote() << QStringLiteral("%1 items table view").arg(m_candidates.size());
}

void UndeleteModel::clearUndeleteCandidates()
{
    beginResetModel();
    m_candidates.clear();
    endResetModel();
}

void UndeleteModel::toggleMark(int row)
{
    if (row < 0 || row >= m_candidates.size())
        return;
    m_candidates[row].marked = !m_candidates[row].marked;
    emit dataChanged(index(row), index(row), {Qt::ForegroundRole, Qt::CheckStateRole});
}

bool UndeleteModel::isMarked(int row) const
{
    return row >= 0 && row < m_candidates.size() && m_candidates[row].marked;
}

int UndeleteModel::undeleteMarked()
{
    QList<TODOItem *> items;
    if (m_document) {
        for (const Candidate &candidate : std::as_const(m_candidates)) {
            ManagedObject *object = candidate.marked ? m_document->managedObjectContext()->objectForURI(candidate.uri) : nullptr;
            if (auto *item = dynamic_cast<TODOItem *>(object))
                items.append(item);
        }
    }
    clearUndeleteCandidates();
    return items.isEmpty() ? 0 : m_document->undeleteItems(items);
}

int UndeleteModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_candidates.size());
}

QVariant UndeleteModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_candidates.size())
        return {};
    const Candidate &candidate = m_candidates[index.row()];
    switch (role) {
    case Qt::DisplayRole:
        return candidate.name;
    case Qt::ForegroundRole:
        return candidate.marked ? QVariant(QColor(Qt::red)) : QVariant();
    case Qt::CheckStateRole:
        return candidate.marked ? Qt::Checked : Qt::Unchecked;
    default:
        return {};
    }
}
