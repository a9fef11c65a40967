#pragma once

#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <QList>

class ArrayController;
class ManagedObject;
class ManagedObjectContext;
struct ObjectsChange;

// A list model over an array controller's arranged objects. It keeps its own
// copy of the rows and turns each rearrangement into row removals, moves and
// insertions, so a view's selection, scroll position and open editor survive
// edits, re-sorts and merges. Only a change that shares no row with the
// previous content (another list selected) resets the model. Records updated
// in the store get dataChanged for their rows only.
//
// The model owns a selection model kept in step with the controller's
// selection both ways. It must not outlive the controller.
class ArrangedObjectsModel : public QAbstractListModel
{
    Q_OBJECT
public:
    ArrangedObjectsModel(ArrayController *controller, ManagedObjectContext *context, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;

    QItemSelectionModel *selectionModel() { return &m_selectionModel; }
    // The record shown in a row; null outside the rows.
    ManagedObject *objectAt(int row) const;

protected:
    // Store changes: the default emits dataChanged for the rows of inserted and updated records.
    virtual void recordsChanged(const ObjectsChange &change);
    // dataChanged for the rows of these records, in contiguous runs.
    void emitDataChanged(const QList<ManagedObject *> &records, const QList<int> &roles = {});

private:
    void followArrangement();
    void removeRowsNotIn(const QList<ManagedObject *> &arranged);
    void moveRowsToOrderOf(const QList<ManagedObject *> &arranged);
    void relayout(const QList<ManagedObject *> &order);
    void insertRowsOf(const QList<ManagedObject *> &arranged);
    void selectionFromController();
    void selectionToController();

    ArrayController *m_controller;
    QList<ManagedObject *> m_rows;
    QItemSelectionModel m_selectionModel;
    // Set while the model copies the controller's selection.
    bool m_syncingSelection = false;
};
