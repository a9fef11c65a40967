#pragma once

#include "ArrangedObjectsModel.h"
#include "QuadrantItemModel.h"

class MasterListDataSource;
class TODOItem;
class TODOList;

// The master list's table: the data source's rows, one column. Group rows
// show the list's name, are 20 points high and cannot be selected; item rows
// are 40 points high and answer the roles of QuadrantItemModel, so the item
// delegate draws them (ItemRole is what ImageTransformerMasterList takes).
// A rebuild of the rows and an edit of a shown record reach views as row
// removals, moves, insertions and dataChanged, like the quadrants' models.
// The selection model is the data source's selection, so the detail follows it.
class MasterListModel : public ArrangedObjectsModel
{
    Q_OBJECT
public:
    enum Role {
        GroupRole = QuadrantItemModel::DoneRole + 1, // true on a group row
    };
    static constexpr int GroupRowHeight = 20;
    static constexpr int ItemRowHeight = 40;

    // A child of the data source, so it never outlives the rows.
    explicit MasterListModel(MasterListDataSource *source);

    MasterListDataSource *dataSource() const { return m_source; }

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // The done box: completes or reopens the item (MasterListDataSource::markAsDoneItemInRow).
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    QVariant groupData(const TODOList *list, int role) const;
    static QVariant itemData(TODOItem *item, int role);

    MasterListDataSource *m_source;
};
