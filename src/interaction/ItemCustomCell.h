#pragma once

#include <QPointer>
#include <QStyledItemDelegate>

class MyDocument;

// Draws one item row of a quadrant from QuadrantItemModel's roles: the done
// box, the icon with its due-date badge (ImageFactoryForMac), the completion
// bar, the name (struck through when done, dark red when overdue), the first
// notes line at the larger font sizes, the recurrence and link marks. The
// text size is the document host's current font size. Renaming happens in
// place over the title.
class ItemCustomCell : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit ItemCustomCell(MyDocument *document, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;

protected:
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;

private:
    QPointer<MyDocument> m_document;
};
