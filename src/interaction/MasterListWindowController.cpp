#include "MasterListWindowController.h"

#include "ColorText.h"
#include "IconBrowser.h"
#include "ItemCustomCell.h"
#include "Logging.h"
#include "MasterListDataSource.h"
#include "MasterListModel.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TodoModel.h"
#include "ValueTransformer.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <functional>

namespace {

// The view buttons, in the order of the views (the button at position n shows view n).
const char *const kViewButtons[] = {
    QT_TRANSLATE_NOOP("MasterListWindowController", "Overdue"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "Today"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "This Week"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "Q1"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "Q2"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "Q3"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "Q4"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "All"),
};
static_assert(std::size(kViewButtons) == std::size_t(MasterView::Count));

// The group orders, in their stored positions.
const char *const kSortChoices[] = {
    QT_TRANSLATE_NOOP("MasterListWindowController", "List Order"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "Reverse List Order"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "Name, A to Z"),
    QT_TRANSLATE_NOOP("MasterListWindowController", "Name, Z to A"),
};
static_assert(std::size(kSortChoices) == std::size_t(MasterListDataSource::GroupOrderCount));

// The first pane of the split view (the table) keeps at least this width.
constexpr int kTableMinimumWidth = 180;

QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback, const QWidget *widget)
{
    return QIcon::fromTheme(QString::fromLatin1(name), widget->style()->standardIcon(fallback));
}

// Item rows as the quadrants draw them, with the master list's icons; group
// rows as a plain line with the list's name. Each row is as high as the model says.
class MasterListCell : public ItemCustomCell
{
public:
    MasterListCell(MyDocument *document, QObject *parent)
        : ItemCustomCell(document, parent, IconSource::MasterList)
    {
    }

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        if (!index.data(MasterListModel::GroupRole).toBool()) {
            ItemCustomCell::paint(painter, option, index);
            return;
        }
        painter->save();
        painter->fillRect(option.rect, option.palette.color(QPalette::AlternateBase));
        // In pixels, as the item rows are, so a printout keeps the screen's proportions.
        QFont font = option.font;
        font.setPixelSize(QFontInfo(option.font).pixelSize());
        font.setBold(true);
        painter->setFont(font);
        painter->setPen(option.palette.color(QPalette::Text));
        const QRect text = option.rect.adjusted(6, 0, -6, 0);
        painter->drawText(text, Qt::AlignLeft | Qt::AlignVCenter,
                          painter->fontMetrics().elidedText(index.data().toString(), Qt::ElideRight, text.width()));
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        // The model's row height, not the quadrants' text-size height.
        return QStyledItemDelegate::sizeHint(option, index);
    }
};

// The table: a click or a key onto a group row leaves the selection as it
// is; a double click on an item row (not on its done box) jumps to the item.
class MasterListTable : public QTableView
{
public:
    std::function<void()> itemDoubleClicked;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex &index, const QEvent *event) const override
    {
        if (index.isValid() && !(index.flags() & Qt::ItemIsSelectable))
            return QItemSelectionModel::NoUpdate;
        return QTableView::selectionCommand(index, event);
    }

    void mouseDoubleClickEvent(QMouseEvent *event) override
    {
        const QPoint pos = event->position().toPoint();
        const QModelIndex index = indexAt(pos);
        const auto *cell = static_cast<const ItemCustomCell *>(itemDelegate());
        const bool onItem = index.isValid() && (index.flags() & Qt::ItemIsSelectable)
            && !cell->rectForCheckBoxIn(visualRect(index), style()).contains(pos);
        if (event->button() == Qt::LeftButton && onItem && itemDoubleClicked)
            itemDoubleClicked();
        else
            QTableView::mouseDoubleClickEvent(event);
    }
};

} // namespace

// The detail panel: a rounded rectangle in the colour of the selected
// item's quadrant, empty without one.
class MasterListDetailView : public QWidget
{
public:
    using QWidget::QWidget;

    void setColorText(const QString &text)
    {
        m_color = text.isEmpty() ? QColor() : ColorText::colorWithString(text);
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (!m_color.isValid())
            return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_color);
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    }

private:
    QColor m_color;
};

MasterListWindowController::MasterListWindowController(MyDocument *document, QWidget *parent)
    : QWidget(parent)
    , m_dataSource(new MasterListDataSource(document, document))
    , m_model(new MasterListModel(m_dataSource))
{
    setObjectName(QStringLiteral("masterList"));
    m_ikbWindowController = new IconBrowser(this);

    m_table = makeTable(document);
    setFocusProxy(m_table);

    auto *splitter = new QSplitter(Qt::Horizontal);
    splitter->setChildrenCollapsible(false);
    splitter->addWidget(m_table);
    splitter->addWidget(makeDetailView());
    splitter->setStretchFactor(0, 1);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeToolBar());
    layout->addWidget(splitter, 1);

    connect(m_ikbWindowController, &IconBrowser::selectedImageChanged, m_dataSource, &MasterListDataSource::setIcon);
    connect(m_dataSource, &MasterListDataSource::viewModeChanged, this, &MasterListWindowController::viewModeChanged);
    connect(m_dataSource, &MasterListDataSource::detailChanged, this, &MasterListWindowController::refreshDetail);
    connect(m_dataSource, &MasterListDataSource::mainWindowRequested, this,
            &MasterListWindowController::mainWindowRequested);
    new QShortcut(QKeySequence(Qt::Key_Escape), this, this, [this] { emit mainWindowRequested(); },
                  Qt::WidgetWithChildrenShortcut);

    reloadData();
}

// The table goes before the rows it shows.
MasterListWindowController::~MasterListWindowController()
{
    delete m_table;
    delete m_dataSource;
}

// The table of the model's rows, on the model's own selection model: the
// data source's selection, which the detail follows.
QTableView *MasterListWindowController::makeTable(MyDocument *document)
{
    auto *table = new MasterListTable;
    table->itemDoubleClicked = [this] { m_dataSource->goToSelectedItemInMainWindow(); };
    table->setObjectName(QStringLiteral("masterListTable"));
    table->setModel(m_model);
    QItemSelectionModel *own = table->selectionModel();
    table->setSelectionModel(m_model->selectionModel());
    delete own;
    table->setItemDelegate(new MasterListCell(document, table));
    table->horizontalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->setShowGrid(false);
    table->setWordWrap(false);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    table->setMinimumWidth(kTableMinimumWidth);
    return table;
}

QWidget *MasterListWindowController::makeToolBar()
{
    auto *bar = new QToolBar;
    bar->setObjectName(QStringLiteral("masterListToolBar"));
    bar->setIconSize(QSize(22, 22));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QAction *back = bar->addAction(themeIcon("go-previous", QStyle::SP_ArrowBack, this), tr("Quadrants"));
    back->setObjectName(QStringLiteral("flipToMainWindow"));
    back->setToolTip(tr("Back to the quadrants (Escape)"));
    connect(back, &QAction::triggered, this, &MasterListWindowController::mainWindowRequested);
    bar->addSeparator();

    auto *views = new QButtonGroup(this);
    for (int mode = 0; mode < MasterView::Count; ++mode) {
        auto *button = new QToolButton(bar);
        button->setObjectName(QStringLiteral("masterView%1").arg(mode));
        button->setText(tr(kViewButtons[mode]));
        button->setToolTip(MasterView::title(MasterView::Mode(mode)));
        button->setCheckable(true);
        button->setAutoRaise(true);
        views->addButton(button, mode);
        bar->addWidget(button);
        m_toolbarButtons[mode] = button;
    }
    connect(views, &QButtonGroup::idClicked, this, [this](int mode) { m_dataSource->showViewMode(mode); });

    auto *spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);

    m_masterSort = new QComboBox(bar);
    m_masterSort->setObjectName(QStringLiteral("masterSort"));
    m_masterSort->setToolTip(tr("How the lists are ordered"));
    for (const char *choice : kSortChoices)
        m_masterSort->addItem(tr(choice));
    m_masterSort->setCurrentIndex(MasterListDataSource::groupOrder());
    connect(m_masterSort, &QComboBox::activated, m_dataSource, &MasterListDataSource::updateMasterSorting);
    m_ownerComboBox = new QComboBox(bar);
    m_ownerComboBox->setObjectName(QStringLiteral("ownerComboBox"));
    m_ownerComboBox->setToolTip(tr("Whose items show"));
    m_ownerComboBox->addItems({tr("Everyone"), tr("me only")});
    connect(m_ownerComboBox, &QComboBox::activated, m_dataSource, &MasterListDataSource::updateOwnerFilter);
    m_searchField = new QLineEdit(bar);
    m_searchField->setObjectName(QStringLiteral("masterSearchField"));
    m_searchField->setPlaceholderText(tr("Search"));
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setMaximumWidth(220);
    connect(m_searchField, &QLineEdit::textChanged, m_dataSource, &MasterListDataSource::setSearchString);
    bar->addWidget(m_masterSort);
    bar->addWidget(m_ownerComboBox);
    bar->addWidget(m_searchField);

    QAction *print = bar->addAction(QIcon::fromTheme(QStringLiteral("document-print")), tr("Print…"));
    print->setObjectName(QStringLiteral("printMasterList"));
    connect(print, &QAction::triggered, this, &MasterListWindowController::printDocument);
    return bar;
}

QWidget *MasterListWindowController::makeDetailView()
{
    m_detailView = new MasterListDetailView;
    m_detailView->setObjectName(QStringLiteral("detailView"));
    m_detailView->setMinimumWidth(200);

    m_iconButton = new QToolButton(m_detailView);
    m_iconButton->setObjectName(QStringLiteral("iconButton"));
    m_iconButton->setIconSize(QSize(64, 64));
    m_iconButton->setAutoRaise(true);
    m_iconButton->setToolTip(tr("Choose an icon"));
    connect(m_iconButton, &QToolButton::clicked, m_ikbWindowController, [this] { m_ikbWindowController->showWindow(); });

    m_itemNameTextView = new QLabel(m_detailView);
    m_itemNameTextView->setObjectName(QStringLiteral("itemNameTextView"));
    m_itemNameTextView->setWordWrap(true);
    m_itemNameTextView->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont bold = m_itemNameTextView->font();
    bold.setBold(true);
    m_itemNameTextView->setFont(bold);

    m_quadrantNameComboBox = new QComboBox(m_detailView);
    m_quadrantNameComboBox->setObjectName(QStringLiteral("quadrantNameComboBox"));
    m_quadrantNameComboBox->setToolTip(tr("Move the item to another quadrant"));
    connect(m_quadrantNameComboBox, &QComboBox::activated, m_dataSource, &MasterListDataSource::changeQuadrant);

    m_doneButton = new QPushButton(m_detailView);
    m_doneButton->setObjectName(QStringLiteral("markSelectedAsDone"));
    connect(m_doneButton, &QPushButton::clicked, m_dataSource, [this] {
        if (m_dataSource->selectedRow() != -1)
            m_dataSource->markAsDoneItemInRow(m_dataSource->selectedRow());
    });
    m_goToButton = new QPushButton(tr("Show in Quadrants"), m_detailView);
    m_goToButton->setObjectName(QStringLiteral("goToSelectedItem"));
    connect(m_goToButton, &QPushButton::clicked, m_dataSource,
            [this] { m_dataSource->goToSelectedItemInMainWindow(); });

    auto *layout = new QVBoxLayout(m_detailView);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->addWidget(m_iconButton, 0, Qt::AlignHCenter);
    layout->addWidget(m_itemNameTextView);
    layout->addWidget(new QLabel(tr("Quadrant:"), m_detailView));
    layout->addWidget(m_quadrantNameComboBox);
    layout->addWidget(m_doneButton);
    layout->addWidget(m_goToButton);
    layout->addStretch(1);
    return m_detailView;
}

void MasterListWindowController::reloadData()
{
    m_dataSource->reloadData();
}

void MasterListWindowController::gotoMasterFindButton()
{
    m_searchField->setFocus(Qt::ShortcutFocusReason);
    m_searchField->selectAll();
}

void MasterListWindowController::viewModeChanged(int mode)
{
    if (mode >= 0 && mode < int(m_toolbarButtons.size()))
        m_toolbarButtons[mode]->setChecked(true); // the group unchecks the others
    setWindowTitle(m_dataSource->windowTitle());
    m_table->scrollToTop();
}

void MasterListWindowController::refreshDetail()
{
    const MasterListDetail &detail = m_dataSource->detail();
    const TODOItem *item = detail.list ? detail.item : nullptr;
    m_detailView->setColorText(item ? detail.colorText : QString());
    for (QWidget *control : std::initializer_list<QWidget *>{m_iconButton, m_quadrantNameComboBox, m_doneButton, m_goToButton})
        control->setEnabled(item);

    if (!item) {
        m_quadrantNameComboBox->clear();
        m_itemNameTextView->clear();
        m_iconButton->setIcon(QIcon());
        m_doneButton->setText(tr("Mark as Done"));
        return;
    }
    m_itemNameTextView->setText(item->name().isEmpty() ? tr("Empty name") : item->name());
    // Refilled only for other titles: a choice in the pop-up refreshes the detail while it reports.
    QStringList titles;
    for (int q = 0; q < m_quadrantNameComboBox->count(); ++q)
        titles << m_quadrantNameComboBox->itemText(q);
    if (titles != detail.quadrantTitles) {
        m_quadrantNameComboBox->clear();
        m_quadrantNameComboBox->addItems(detail.quadrantTitles);
    }
    m_quadrantNameComboBox->setCurrentIndex(detail.quadrant);
    static const ValueTransformer *iconImage = ValueTransformer::valueTransformerForName(QStringLiteral("ImageTransformer"));
    m_iconButton->setIcon(QPixmap::fromImage(iconImage->transformedValue(item->icon()).value<QImage>()));
    m_doneButton->setText(item->state() == RecordState::Completed ? tr("Reopen") : tr("Mark as Done"));
    m_doneButton->setEnabled(item->state() == RecordState::Open || item->state() == RecordState::Completed);
}

// --- Printing ----------------------------------------------------------------------------------

void MasterListWindowController::printDocument()
{
    if (!m_printInfo) {
        m_printInfo = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printInfo->setPageOrientation(QPageLayout::Landscape);
    }
    auto *dialog = new QPrintDialog(m_printInfo.get(), this);
    connect(dialog, &QDialog::accepted, this, [this] { print(m_printInfo.get()); });
    connect(dialog, &QDialog::finished, dialog, &QObject::deleteLater);
    dialog->open();
}

// Rows are laid out in points at PrintScale, as wide as the table shows
// them (narrower when the page is), and a page breaks between rows.
void MasterListWindowController::print(QPrinter *printer)
{
    QPainter painter;
    if (!painter.begin(printer)) {
        qCWarning(lcUi).noquote() << QStringLiteral("ERROR: Problem printing master list: %1")
                                         .arg(tr("the printer could not be opened"));
        return;
    }
    const double scale = PrintScale * printer->resolution() / 72.0;
    painter.scale(scale, scale);
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const int pageHeight = int(page.height() / scale);
    const int width = std::min(m_table->viewport()->width(), int(page.width() / scale));

    QStyleOptionViewItem option;
    option.initFrom(m_table);
    option.state = QStyle::State_Enabled | QStyle::State_Active;
    option.font = m_table->font();
    option.widget = m_table;
    int top = 0;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row);
        const int height = index.data(Qt::SizeHintRole).toSize().height();
        if (top > 0 && top + height > pageHeight) {
            printer->newPage();
            top = 0;
        }
        option.rect = QRect(0, top, width, height);
        m_table->itemDelegate()->paint(&painter, option, index);
        top += height;
    }
}
