#pragma once

#include "ValueTransformer.h"

#include <QPointer>
#include <QStyledItemDelegate>

class MyDocument;
class QStyle;

// Draws one item row of a quadrant from QuadrantItemModel's roles: the done
// box, the icon with its due-date badge (ImageFactoryForMac), the completion
// bar, the name (struck through when done, dark red when overdue), the first
// notes line at the larger font sizes, the recurrence and link marks. The
// text size is the document host's current font size. Renaming happens in
// place over the title.
//
// Sizes are in device-independent pixels (the points of the font tiers and
// row heights), so rows look the same at 100% and 200% scale.
class ItemCustomCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    // Where a row's icon picture comes from: the quadrants' transformer, or
    // the master list's (ImageTransformerMasterList: no picture for a plain
    // icon with an overdue date).
    enum class IconSource { Quadrant, MasterList };

    explicit ItemCustomCell(MyDocument *document, QObject *parent = nullptr, IconSource icons = IconSource::Quadrant);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
    // Shows the stored name in the editor until the user types.
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;

    // The done box at the left edge of a row, and the cell frame right of it
    // that the rest of the row is laid out in.
    QRect rectForCheckBoxIn(const QRect &rowRect, const QStyle *style) const;
    QRect cellFrameIn(const QRect &rowRect, const QStyle *style) const;
    // The icon's square: side frame height - 4, 6 in from the left.
    QRect rectForIconIn(const QRect &frame) const;

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    // What one row shows, read from the model's roles.
    struct Row;
    Row rowFor(const QModelIndex &index, const QStyleOptionViewItem &option) const;

    QRect rectForLevelIn(const QRect &frame) const;
    QRect rectForNotesIn(const QRect &frame, const Row &row) const;
    QRect rectForFrequencyIn(const QRect &frame) const;
    QRect rectForLinkIn(const QRect &frame) const;
    QRect rectForTitleIn(const QRect &frame, const Row &row) const;
    // Left edge of the title and notes within the frame.
    int textInset(const QRect &frame, const Row &row) const;

    void drawCompletionLevelInFrame(QPainter *painter, const QRect &frame, int completionPercentage,
                                    const QColor &textColor) const;
    void drawInteriorWithFrame(QPainter *painter, const QRect &frame, const Row &row,
                               const QStyleOptionViewItem &option) const;

    QPointer<MyDocument> m_document;
    const ValueTransformer *m_iconTransformer;
};
