#pragma once

#include "ArrangedObjectsModel.h"

#include "ProjectListController.h"

#include <QHash>

class MyDocument;
class TODOList;

// The sidebar's rows: the shown lists in their order, each with its name
// (red while it matches the search text) and the overview of its four
// quadrants. Lists are reordered by dragging them; items dragged over a row
// select that list, so they can be dropped into its quadrants.
class ProjectListModel : public ArrangedObjectsModel
{
    Q_OBJECT
public:
    enum Role {
        ListRole = Qt::UserRole + 1,  // TODOList *
        ColorTextsRole,               // QStringList: each quadrant's colour text, empty when not painted
        CountLabelsRole,              // QStringList: each quadrant's count, empty for none
    };

    explicit ProjectListModel(MyDocument *document, QObject *parent = nullptr);

    TODOList *listAt(int row) const;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction | Qt::CopyAction; }
    // An item drag selects the list under it, and is refused as a drop here.
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

protected:
    void recordsChanged(const ObjectsChange &change) override;

private:
    const QuadrantOverview &overviewFor(TODOList *list) const;
    // Every overview is out of date (filters, search, counts).
    void allOverviewsChanged();

    MyDocument *m_document;
    // One overview per list; it recomputes only when its inputs differ.
    mutable QHash<const TODOList *, ListOverview> m_overviews;
};
