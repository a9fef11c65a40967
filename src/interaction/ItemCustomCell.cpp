#include "ItemCustomCell.h"

#include "EditorText.h"
#include "MyDocument.h"
#include "QuadrantItemModel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>

namespace {

// Space left and right of the done box.
constexpr int kCheckMargin = 4;

QColor overdueColor()
{
    return QColor::fromRgbF(0.7, 0, 0);
}

const QStyle *styleOf(const QStyleOptionViewItem &option)
{
    return option.widget ? option.widget->style() : QApplication::style();
}

QPalette::ColorGroup colorGroup(const QStyleOptionViewItem &option)
{
    if (!(option.state & QStyle::State_Enabled))
        return QPalette::Disabled;
    return option.state & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
}

QFont sizedFont(QFont font, double pixelSize)
{
    font.setPixelSize(std::max(1, qRound(pixelSize)));
    return font;
}

} // namespace

struct ItemCustomCell::Row {
    QImage icon;
    QString title;
    QString notes; // the first line, and only when the font is large enough
    int completion = 0;
    bool recurring = false;
    bool hasLink = false;
    bool overdue = false;
    double fontSize = 14;
};

ItemCustomCell::ItemCustomCell(MyDocument *document, QObject *parent, IconSource icons)
    : QStyledItemDelegate(parent)
    , m_document(document)
    , m_iconTransformer(ValueTransformer::valueTransformerForName(
          icons == IconSource::MasterList ? QStringLiteral("ImageTransformerMasterList")
                                          : QStringLiteral("ImageTransformerEnhanced")))
{
}

ItemCustomCell::Row ItemCustomCell::rowFor(const QModelIndex &index, const QStyleOptionViewItem &option) const
{
    Row row;
    row.fontSize = m_document ? m_document->host()->currentFontSize() : QFontInfo(option.font).pixelSize();
    row.icon = m_iconTransformer->transformedValue(index.data(QuadrantItemModel::ItemRole)).value<QImage>();
    row.title = index.data(Qt::DisplayRole).toString();
    row.completion = index.data(QuadrantItemModel::CompletionRole).toInt();
    row.recurring = index.data(QuadrantItemModel::RecurringRole).toBool();
    row.hasLink = !index.data(QuadrantItemModel::LinkRole).toString().isEmpty();
    row.overdue = index.data(QuadrantItemModel::OverdueRole).toBool();
    // The notes line needs a font of at least 9 (f - 6), so from font size 15 up.
    if (row.fontSize - 6 >= 9) {
        static const QRegularExpression lineBreak(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]"));
        const QString notes = index.data(QuadrantItemModel::NotesRole).toString();
        row.notes = notes.left(notes.indexOf(lineBreak));
    }
    return row;
}

// --- Layout ----------------------------------------------------------------------------

QRect ItemCustomCell::rectForCheckBoxIn(const QRect &rowRect, const QStyle *style) const
{
    const int width = style->pixelMetric(QStyle::PM_IndicatorWidth);
    const int height = style->pixelMetric(QStyle::PM_IndicatorHeight);
    return QRect(rowRect.left() + kCheckMargin, rowRect.top() + (rowRect.height() - height) / 2, width, height);
}

QRect ItemCustomCell::cellFrameIn(const QRect &rowRect, const QStyle *style) const
{
    QRect frame = rowRect;
    frame.setLeft(rectForCheckBoxIn(rowRect, style).right() + 1 + kCheckMargin);
    return frame;
}

QRect ItemCustomCell::rectForIconIn(const QRect &frame) const
{
    const int side = frame.height() - 4;
    return QRect(frame.left() + 6, frame.top() + 2, side, side);
}

// A strip 5 high along the bottom of the icon column, as wide as the row is high less one.
QRect ItemCustomCell::rectForLevelIn(const QRect &frame) const
{
    return QRect(frame.left() + 1, frame.bottom() - 4, frame.height() - 1, 5);
}

int ItemCustomCell::textInset(const QRect &frame, const Row &row) const
{
    return row.icon.isNull() ? 5 : frame.height() + 10;
}

// The bottom of the row, right of the icon.
QRect ItemCustomCell::rectForNotesIn(const QRect &frame, const Row &row) const
{
    const int height = qRound(row.fontSize - 6) + 4;
    QRect rect = frame.adjusted(textInset(frame, row), 0, 0, 0);
    rect.setTop(frame.bottom() + 1 - height);
    if (row.hasLink)
        rect.setRight(rectForLinkIn(frame).left() - 2);
    return rect;
}

QRect ItemCustomCell::rectForFrequencyIn(const QRect &frame) const
{
    return QRect(frame.left() + 2, frame.top() + 2, 16, 16);
}

// 12 by 12, 1 below the top and 4 in from the right edge: the row is the
// table's only column, so a mark outside it would never show.
QRect ItemCustomCell::rectForLinkIn(const QRect &frame) const
{
    return QRect(frame.right() - 4 - 11, frame.top() + 1, 12, 12);
}

QRect ItemCustomCell::rectForTitleIn(const QRect &frame, const Row &row) const
{
    QRect rect = frame.adjusted(textInset(frame, row), 0, 0, 0);
    if (row.hasLink)
        rect.setRight(rectForLinkIn(frame).left() - 2);
    // Alone, the title sits in the middle of the row.
    if (row.notes.isEmpty())
        rect.setTop(frame.top() + int((frame.height() - row.fontSize) / 2 - 3));
    return rect;
}

// --- Drawing ----------------------------------------------------------------------------

void ItemCustomCell::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QStyle *style = styleOf(opt);

    // Background and selection as the desktop draws them.
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, opt.widget);

    QStyleOptionViewItem check = opt;
    check.rect = rectForCheckBoxIn(opt.rect, style);
    check.state &= ~QStyle::State_HasFocus;
    check.state |= opt.checkState == Qt::Checked ? QStyle::State_On : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &check, painter, opt.widget);

    painter->save();
    painter->setClipRect(opt.rect);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    drawInteriorWithFrame(painter, cellFrameIn(opt.rect, style), rowFor(index, opt), opt);
    painter->restore();
}

void ItemCustomCell::drawInteriorWithFrame(QPainter *painter, const QRect &frame, const Row &row,
                                           const QStyleOptionViewItem &option) const
{
    const QPalette::ColorGroup group = colorGroup(option);
    const bool selected = option.state & QStyle::State_Selected;
    const QColor textColor = option.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);

    if (!row.icon.isNull())
        painter->drawImage(QRectF(rectForIconIn(frame)), row.icon);
    if (row.completion > 0)
        drawCompletionLevelInFrame(painter, rectForLevelIn(frame), row.completion, textColor);

    if (!row.notes.isEmpty()) {
        const QRect rect = rectForNotesIn(frame, row);
        painter->setFont(sizedFont(option.font, row.fontSize - 6));
        QColor color = row.overdue ? overdueColor() : option.palette.color(group, QPalette::PlaceholderText);
        painter->setPen(selected ? textColor : color);
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                          painter->fontMetrics().elidedText(row.notes, Qt::ElideRight, rect.width()));
    }
    if (row.recurring) {
        painter->setFont(sizedFont(option.font, 14));
        painter->setPen(textColor);
        painter->drawText(rectForFrequencyIn(frame), Qt::AlignCenter, QStringLiteral("+"));
    }
    if (row.hasLink)
        painter->drawImage(QRectF(rectForLinkIn(frame)), QImage(QStringLiteral("icons:link.png")));

    // Done items are struck through, over the whole title.
    QFont titleFont = sizedFont(option.font, row.fontSize);
    titleFont.setStrikeOut(row.completion == 100);
    painter->setFont(titleFont);
    painter->setPen(row.overdue ? overdueColor() : textColor);
    const QRect title = rectForTitleIn(frame, row);
    painter->drawText(title, Qt::AlignLeft | Qt::AlignTop,
                      painter->fontMetrics().elidedText(row.title, Qt::ElideRight, title.width()));
}

// "%3d%%" in its first 20 points, then the bar: yellow below 50, green from
// 50, the rest light grey.
void ItemCustomCell::drawCompletionLevelInFrame(QPainter *painter, const QRect &frame, int completionPercentage,
                                                const QColor &textColor) const
{
    const QRect bar = frame.adjusted(20, 0, 0, 0);
    if (bar.width() > 0) {
        painter->fillRect(bar, QColor(Qt::lightGray));
        const int filled = bar.width() * std::clamp(completionPercentage, 0, 100) / 100;
        painter->fillRect(QRect(bar.left(), bar.top(), filled, bar.height()),
                          completionPercentage < 50 ? QColor(Qt::yellow) : QColor(Qt::green));
    }
    painter->setFont(sizedFont(painter->font(), 8));
    painter->setPen(textColor);
    const QRect label(frame.left(), frame.bottom() - 10, 20, 11);
    painter->drawText(label, Qt::AlignLeft | Qt::AlignBottom, QString::asprintf("%3d%%", completionPercentage));
}

QSize ItemCustomCell::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    if (m_document && m_document->quadrantRowHeight() > 0)
        size.setHeight(qRound(m_document->quadrantRowHeight()));
    return size;
}

// --- Editing ----------------------------------------------------------------------------

// The name is edited over the title, in the title's font (the size may have
// changed since the editor opened).
void ItemCustomCell::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                          const QModelIndex &index) const
{
    const Row row = rowFor(index, option);
    const QRect title = rectForTitleIn(cellFrameIn(option.rect, styleOf(option)), row);
    editor->setGeometry(QRect(title.left(), option.rect.top(), title.width(), option.rect.height()));
    editor->setFont(sizedFont(option.font, row.fontSize));
}

// A left click on the done box toggles it when the button goes up; the press
// and a double click on the box are taken too, so they start nothing else.
void ItemCustomCell::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (!editorKeepsItsText(editor, index))
        QStyledItemDelegate::setEditorData(editor, index);
}

bool ItemCustomCell::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                 const QModelIndex &index)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton
        || !rectForCheckBoxIn(option.rect, styleOf(option)).contains(mouse->position().toPoint()))
        return false;
    if (type == QEvent::MouseButtonRelease) {
        const bool checked = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        model->setData(index, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
    return true;
}
