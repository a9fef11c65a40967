#pragma once

#include <QPointer>
#include <QTableView>

class ItemCustomCell;
class MyDocument;
class QuadrantItemModel;

// One quadrant of the matrix: a table of the quadrant's item model, drawn by
// ItemCustomCell. It forwards clicks, keys and drops to the document and its
// item model; it holds no task logic. Selection changes reach the document
// through the model's own selection model, which the view uses.
//
// Keys: arrows cross into the neighbouring quadrant at the edges (left from
// quadrants 0 and 2 moves to the sidebar), space toggles completion, Delete
// trashes. A double click opens the row's link or, without one, renames the
// row; below the rows it adds an item.
class QuadrantView : public QTableView
{
    Q_OBJECT
    // True while a drag of rows out of this view is under way.
    Q_PROPERTY(bool isDragging READ isDragging NOTIFY isDraggingChanged)
public:
    QuadrantView(QuadrantItemModel *model, MyDocument *document, QWidget *parent = nullptr);
    ~QuadrantView() override;

    int quadrant() const;
    QuadrantItemModel *itemModel() const { return m_model; }
    bool isDragging() const { return m_dragging; }

signals:
    void isDraggingChanged(bool dragging);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    enum class RowChoice { First, Last };
    // The keys of the quadrant table; false for the view's own handling.
    bool handleKey(int key);
    void selectInQuadrant(int target, RowChoice choice);
    void setDragging(bool dragging);
    // Where a drop lands, as the model takes it: onto a row (that row as the
    // parent), or on the line above a row (the row, no parent).
    struct DropPlace {
        int row = -1;
        QModelIndex parent;
    };
    DropPlace dropPlaceAt(const QPoint &pos) const;

    QuadrantItemModel *m_model;
    ItemCustomCell *m_cell;
    QPointer<MyDocument> m_document;
    bool m_dragging = false;
};
