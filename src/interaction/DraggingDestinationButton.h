#pragma once

#include <QPointer>
#include <QToolButton>

class MyDocument;
class QMimeData;

// A toolbar button that takes items dragged out of a quadrant: it completes,
// trashes or duplicates them through the document's ItemDrops. While a drag
// hovers over it, it shows its "entered" image.
class DraggingDestinationButton : public QToolButton
{
    Q_OBJECT
public:
    enum class Operation { None, Complete, Trash, Duplicate };

    DraggingDestinationButton(MyDocument *document, Operation operation, QWidget *parent = nullptr);

    Operation operation() const { return m_operation; }
    // The add button takes duplicates only while items are dragged.
    void setOperation(Operation operation) { m_operation = operation; }
    // Icon names ("icons:<name>") shown while a drag hovers and after it left; empty for none.
    void setImageMouseEntered(const QString &name) { m_imageMouseEntered = name; }
    void setImageMouseExited(const QString &name) { m_imageMouseExited = name; }

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // Whether a drag with this source and data is one this button takes.
    bool acceptsDrag(const QObject *source, const QMimeData *data) const;
    void showImage(const QString &name);

    QPointer<MyDocument> m_document;
    Operation m_operation;
    QString m_imageMouseEntered;
    QString m_imageMouseExited;
};
