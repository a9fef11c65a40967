#include "NSTableProjects.h"

#include "EditorText.h"
#include "ListCustomCellController.h"
#include "MyDocument.h"
#include "PasteboardOperations.h"
#include "ProjectListModel.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QStyledItemDelegate>
#include <QTimer>

namespace {

constexpr int kRowHeight = 48;
constexpr int kOverviewSize = 40;
constexpr int kOverviewMargin = 4;

// The overview's square at the right end of a row.
QRect overviewFrame(const QRect &row)
{
    return QRect(row.right() + 1 - kOverviewMargin - kOverviewSize, row.top() + (row.height() - kOverviewSize) / 2,
                 kOverviewSize, kOverviewSize);
}

// The part of a row left of its overview, where the name is drawn and edited.
QRect nameRect(const QRect &row)
{
    return row.adjusted(0, 0, -(kOverviewSize + 2 * kOverviewMargin), 0);
}

// Draws the selection across the whole row, but the name (in the model's
// colour: red for a search match) only left of the overview.
class ListNameDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyle *style = option.widget ? option.widget->style() : QApplication::style();
        QStyleOptionViewItem row = option;
        initStyleOption(&row, index);
        QStyleOptionViewItem name = row;
        row.text.clear();
        style->drawControl(QStyle::CE_ItemViewItem, &row, painter, option.widget);

        // The text alone, in the colour the style gives a selected row.
        const QPalette::ColorGroup group = !(name.state & QStyle::State_Enabled) ? QPalette::Disabled
                                           : (name.state & QStyle::State_Active) ? QPalette::Active
                                                                                 : QPalette::Inactive;
        if (name.state & QStyle::State_Selected)
            name.palette.setBrush(group, QPalette::Text, name.palette.brush(group, QPalette::HighlightedText));
        name.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus | QStyle::State_MouseOver);
        name.backgroundBrush = Qt::NoBrush;
        name.rect = nameRect(option.rect);
        style->drawControl(QStyle::CE_ItemViewItem, &name, painter, option.widget);
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override
    {
        QStyleOptionViewItem name = option;
        name.rect = nameRect(option.rect);
        QStyledItemDelegate::updateEditorGeometry(editor, name, index);
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        if (!editorKeepsItsText(editor, index))
            QStyledItemDelegate::setEditorData(editor, index);
    }
};

} // namespace

NSTableProjects::NSTableProjects(ProjectListModel *model, MyDocument *document, QWidget *parent)
    : QTableView(parent)
    , m_model(model)
    , m_document(document)
{
    setModel(model);
    // The model's own selection model stays in step with the document's selected list.
    QItemSelectionModel *viewOwn = QTableView::selectionModel();
    setSelectionModel(model->selectionModel());
    delete viewOwn;

    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setShowGrid(false);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollMode(ScrollPerPixel);
    setItemDelegate(new ListNameDelegate(this));
    setEditTriggers(DoubleClicked | EditKeyPressed);
    // Lists are dropped above or onto a row; the drop itself moves them.
    setDragDropMode(DragDrop);
    setDragDropOverwriteMode(false);
    setDefaultDropAction(Qt::MoveAction);

    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &, int first, int last) { removeOverviews(first, last); });
    connect(model, &QAbstractItemModel::modelAboutToBeReset, this, &NSTableProjects::cleanListCustomCells);
    connect(model, &QObject::destroyed, this, [this]() {
        cleanListCustomCells();
        m_model = nullptr;
    });
    connect(model, &QAbstractItemModel::rowsInserted, this, &NSTableProjects::scheduleOverviewLayout);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &NSTableProjects::scheduleOverviewLayout);
    connect(model, &QAbstractItemModel::rowsMoved, this, &NSTableProjects::scheduleOverviewLayout);
    connect(model, &QAbstractItemModel::modelReset, this, &NSTableProjects::scheduleOverviewLayout);
    connect(model, &QAbstractItemModel::layoutChanged, this, &NSTableProjects::scheduleOverviewLayout);
    connect(model, &QAbstractItemModel::dataChanged, this, &NSTableProjects::scheduleOverviewLayout);
    connect(document, &MyDocument::listCellsChanged, this, &NSTableProjects::scheduleOverviewLayout);
    connect(document, &MyDocument::filtersChanged, this, &NSTableProjects::scheduleOverviewLayout);
}

NSTableProjects::~NSTableProjects()
{
    qDeleteAll(m_listCellViewControllers);
}

// --- Overviews -------------------------------------------------------------------------------

void NSTableProjects::cleanListCustomCells()
{
    qDeleteAll(m_listCellViewControllers);
    m_listCellViewControllers.clear();
    m_listCellViewControllersBeingDisplayed.clear();
    scheduleOverviewLayout();
}

void NSTableProjects::removeOverviews(int first, int last)
{
    for (int row = first; m_model && row <= last; ++row) {
        const TODOList *list = m_model->listAt(row);
        m_listCellViewControllersBeingDisplayed.remove(list);
        delete m_listCellViewControllers.take(list);
    }
}

void NSTableProjects::scheduleOverviewLayout()
{
    if (m_overviewLayoutPending)
        return;
    m_overviewLayoutPending = true;
    // Once the view has placed its rows for the change.
    QMetaObject::invokeMethod(
        this,
        [this]() {
            m_overviewLayoutPending = false;
            layoutOverviews();
        },
        Qt::QueuedConnection);
}

void NSTableProjects::layoutOverviews()
{
    if (!m_model)
        return;
    const int first = rowAt(0);
    int last = rowAt(viewport()->height() - 1);
    if (last < 0)
        last = m_model->rowCount() - 1;
    QHash<const TODOList *, ListCustomCellController *> shown;
    for (int row = first; first >= 0 && row <= last; ++row) {
        const QModelIndex index = m_model->index(row);
        const TODOList *list = m_model->listAt(row);
        ListCustomCellController *&controller = m_listCellViewControllers[list];
        if (!controller)
            controller = new ListCustomCellController;
        controller->fillOutCellInfo(index.data(ProjectListModel::ColorTextsRole).toStringList(),
                                    index.data(ProjectListModel::CountLabelsRole).toStringList());
        controller->showViews(viewport(), overviewFrame(visualRect(index)));
        shown.insert(list, controller);
    }
    // Rows scrolled out of view keep their controller, hidden.
    for (auto [list, controller] : m_listCellViewControllersBeingDisplayed.asKeyValueRange()) {
        if (!shown.contains(list))
            controller->hideViews();
    }
    m_listCellViewControllersBeingDisplayed = shown;
}

void NSTableProjects::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    // At once, so that rows scrolled into view never show without their overview.
    layoutOverviews();
}

void NSTableProjects::updateGeometries()
{
    QTableView::updateGeometries();
    scheduleOverviewLayout();
}

// --- Keys and mouse ---------------------------------------------------------------------------

void NSTableProjects::keyPressEvent(QKeyEvent *event)
{
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (m_document && plain && state() != EditingState) {
        switch (event->key()) {
        case Qt::Key_Delete:
        case Qt::Key_Backspace:
            m_document->markProjectAsDeleted();
            return;
        case Qt::Key_Right:
            m_document->enableFirstQuadrantAndSelectRow(0);
            return;
        default:
            break;
        }
    }
    QTableView::keyPressEvent(event);
}

void NSTableProjects::mousePressEvent(QMouseEvent *event)
{
    if (m_document)
        m_document->selectItem(nullptr);
    QTableView::mousePressEvent(event);
}

void NSTableProjects::mouseDoubleClickEvent(QMouseEvent *event)
{
    // Below the last row: a new list, whose name the document has edited.
    if (m_document && event->button() == Qt::LeftButton && !indexAt(event->position().toPoint()).isValid()) {
        m_document->addNewProject();
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

void NSTableProjects::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    // The base gives the keys back to the sidebar when the edit ended here
    // (Return, Escape), not when the user clicked elsewhere: Delete must then
    // act where they clicked, not on this list.
    QTableView::closeEditor(editor, hint);
    // A rename may move the list (alphabetical order): keep it in sight.
    QTimer::singleShot(100, this, [this]() {
        const QModelIndexList selected = selectionModel() ? selectionModel()->selectedRows() : QModelIndexList();
        if (!selected.isEmpty())
            scrollTo(selected.first());
    });
}

// --- Dragging lists ------------------------------------------------------------------------------

void NSTableProjects::startDrag(Qt::DropActions)
{
    // The drop moves the list (ProjectListModel::dropMimeData); unlike the
    // default, nothing is removed or cleared here when the drag ends.
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (!m_model || rows.size() != 1)
        return;
    QMimeData *data = m_model->mimeData(rows); // none in alphabetical order
    if (!data)
        return;
    const QRect rect = visualRect(rows.first());
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(viewport()->grab(rect));
    drag->setHotSpot(viewport()->mapFromGlobal(QCursor::pos()) - rect.topLeft());
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void NSTableProjects::dropEvent(QDropEvent *event)
{
    // Only lists are dropped here, and only from this sidebar. A drop without
    // a source (no drag of this process) names rows only, so at worst it
    // reorders lists, which an undo takes back.
    const QObject *source = event->source();
    if (!event->mimeData()->hasFormat(PasteboardTypes::List) || (source && source != this)) {
        event->ignore();
        stopAutoScroll();
        setState(NoState);
        viewport()->update();
        return;
    }
    QTableView::dropEvent(event);
}
