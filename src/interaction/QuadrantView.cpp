#include "QuadrantView.h"

#include "ArrayController.h"
#include "ItemCustomCell.h"
#include "MyDocument.h"
#include "PasteboardOperations.h"
#include "QuadrantItemModel.h"

#include <QDesktopServices>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace {

bool isItemDrag(const QDropEvent *event)
{
    return event->mimeData()->hasFormat(PasteboardTypes::Item);
}

// Items dragged between quadrants move. What another application offers is
// only ever copied or linked: accepting a move would let it delete the
// original (a file manager its file, an editor its text).
Qt::DropAction dropActionFor(const QDropEvent *event)
{
    const Qt::DropActions possible = event->possibleActions();
    if (isItemDrag(event))
        return possible & Qt::MoveAction ? Qt::MoveAction : Qt::IgnoreAction;
    const Qt::DropAction proposed = event->proposedAction();
    if (proposed == Qt::CopyAction || proposed == Qt::LinkAction)
        return proposed;
    if (possible & Qt::CopyAction)
        return Qt::CopyAction;
    return possible & Qt::LinkAction ? Qt::LinkAction : Qt::IgnoreAction;
}

} // namespace

QuadrantView::QuadrantView(QuadrantItemModel *model, MyDocument *document, QWidget *parent)
    : QTableView(parent)
    , m_model(model)
    , m_cell(new ItemCustomCell(document, this))
    , m_document(document)
{
    setModel(model);
    // The model's own selection model follows the document's controller both ways.
    QItemSelectionModel *own = QTableView::selectionModel();
    setSelectionModel(model->selectionModel());
    delete own;
    setItemDelegate(m_cell);

    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setShowGrid(false);
    setWordWrap(false);
    setSelectionMode(ExtendedSelection);
    setSelectionBehavior(SelectRows);
    setDragDropMode(DragDrop);
    setDefaultDropAction(Qt::MoveAction);
    setDropIndicatorShown(true);
    setEditTriggers(EditKeyPressed | SelectedClicked | DoubleClicked);
    setVerticalScrollMode(ScrollPerPixel);

    const QString name = QStringLiteral("quadrant%1").arg(quadrant());
    setObjectName(name);
    setAccessibleName(name);

    auto followRowHeight = [this](double height) {
        if (height > 0)
            verticalHeader()->setDefaultSectionSize(qRound(height));
    };
    followRowHeight(document->quadrantRowHeight());
    connect(document, &MyDocument::quadrantRowHeightChanged, this, followRowHeight);
    // The document follows the selection through its quadrant controller
    // (the model hands every change of the user's on), so nothing is
    // forwarded here: a second call would also fire while the document
    // clears this quadrant for another one.
}

QuadrantView::~QuadrantView() = default;

int QuadrantView::quadrant() const
{
    return m_model->quadrant();
}

// --- Pointer ----------------------------------------------------------------------------

void QuadrantView::mousePressEvent(QMouseEvent *event)
{
    QTableView::mousePressEvent(event);
    if (m_document)
        m_document->itemClickedInQuadrant(quadrant());
}

// A row's link opens; a row without one is renamed; below the rows a new
// item is added here (the press before made this the last clicked quadrant).
// A double click on the done box is the box's own.
void QuadrantView::mouseDoubleClickEvent(QMouseEvent *event)
{
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    const bool onDoneBox = index.isValid() && m_cell->rectForCheckBoxIn(visualRect(index), style()).contains(pos);
    if (event->button() != Qt::LeftButton || !m_document || onDoneBox) {
        QTableView::mouseDoubleClickEvent(event);
        return;
    }
    if (!index.isValid()) {
        m_document->addTODOItem(true);
        return;
    }
    const QString link = index.data(QuadrantItemModel::LinkRole).toString();
    const QUrl url = QUrl::fromUserInput(link);
    if (link.isEmpty() || !url.isValid()) {
        QTableView::mouseDoubleClickEvent(event);
        return;
    }
    QDesktopServices::openUrl(url);
}

// --- Keyboard ------------------------------------------------------------------------

void QuadrantView::keyPressEvent(QKeyEvent *event)
{
    if (!m_document || !handleKey(event->key()))
        QTableView::keyPressEvent(event);
}

bool QuadrantView::handleKey(int key)
{
    const int q = quadrant();
    const QModelIndex current = currentIndex();
    const int selectedRow = current.isValid() && selectionModel()->isSelected(current) ? current.row() : -1;
    const int rows = m_model->rowCount();
    switch (key) {
    case Qt::Key_Up:
        if (q < 2 || (rows > 0 && selectedRow != 0))
            return false;
        selectInQuadrant(q - 2, RowChoice::Last);
        return true;
    case Qt::Key_Down:
        if (q > 1 || (rows > 0 && selectedRow != rows - 1))
            return false;
        selectInQuadrant(q + 2, RowChoice::First);
        return true;
    case Qt::Key_Left:
        if (q % 2 == 0)
            m_document->enableProjectView();
        else
            selectInQuadrant(q - 1, RowChoice::First);
        return true;
    case Qt::Key_Right:
        if (q % 2 == 0)
            selectInQuadrant(q + 1, RowChoice::First);
        return true;
    case Qt::Key_Space:
        m_document->toggleSelectedItemsAsCompletedInQuadrant(q);
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        // The selection may have come by keyboard alone: trash this quadrant's.
        m_document->enableQuadrant(q, {});
        m_document->markItemsAsDeleted();
        return true;
    default:
        return false;
    }
}

// An empty quadrant still takes the focus, so the arrows can go on from it.
void QuadrantView::selectInQuadrant(int target, RowChoice choice)
{
    const int rows = int(m_document->controllerForQuadrant(target)->arrangedObjects().size());
    if (rows == 0) {
        m_document->enableQuadrant(target, {});
        m_document->view()->focusQuadrant(target);
        return;
    }
    m_document->enableQuadrant(target, {choice == RowChoice::First ? 0 : rows - 1}, false);
}

// --- Dragging out ------------------------------------------------------------------------

void QuadrantView::startDrag(Qt::DropActions supportedActions)
{
    setDragging(true);
    if (m_document)
        m_document->closeDrawer();
    // The model answers no to removeRows, so a finished move removes nothing
    // here: the drop has moved the items already.
    QTableView::startDrag(supportedActions);
    setDragging(false);
}

void QuadrantView::setDragging(bool dragging)
{
    m_dragging = dragging;
    emit isDraggingChanged(dragging);
}

// --- Dropping ----------------------------------------------------------------------------

// Near a row's top or bottom edge the drop lands on the line there; in its
// middle, onto the row; below the rows, on the line after the last. The
// margins are those of Qt's drop indicator.
QuadrantView::DropPlace QuadrantView::dropPlaceAt(const QPoint &pos) const
{
    const QModelIndex index = indexAt(pos);
    if (!index.isValid())
        return {m_model->rowCount(), {}};
    const QRect rect = visualRect(index);
    const int margin = qBound(2, qRound(qreal(rect.height()) / 5.5), 12);
    if (pos.y() - rect.top() < margin)
        return {index.row(), {}};
    if (rect.bottom() - pos.y() < margin)
        return {index.row() + 1, {}};
    return {-1, index};
}

void QuadrantView::dragEnterEvent(QDragEnterEvent *event)
{
    const Qt::DropAction action = dropActionFor(event);
    if (action == Qt::IgnoreAction || !m_model->canDropMimeData(event->mimeData(), action, -1, -1, {})) {
        event->ignore();
        return;
    }
    setState(DraggingState);
    event->setDropAction(action);
    event->accept();
}

void QuadrantView::dragMoveEvent(QDragMoveEvent *event)
{
    const Qt::DropAction action = dropActionFor(event);
    // Qt refuses a move onto the dragged rows themselves; whether that is a
    // reorder is the document's call, so the base places the indicator and
    // scrolls as for a copy.
    event->setDropAction(Qt::CopyAction);
    QTableView::dragMoveEvent(event);
    const DropPlace place = dropPlaceAt(event->position().toPoint());
    if (action == Qt::IgnoreAction || !m_model->canDropMimeData(event->mimeData(), action, place.row, -1, place.parent)) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
}

// The drop goes to the model once, here; QAbstractItemView's own dropEvent
// is not called, so it cannot apply it a second time.
void QuadrantView::dropEvent(QDropEvent *event)
{
    const Qt::DropAction action = dropActionFor(event);
    const DropPlace place = dropPlaceAt(event->position().toPoint());
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    if (action == Qt::IgnoreAction
        || !m_model->dropMimeData(event->mimeData(), action, place.row, -1, place.parent)) {
        event->ignore();
        return;
    }
    event->setDropAction(action);
    event->accept();
    if (action == Qt::MoveAction)
        setFocus();
}
