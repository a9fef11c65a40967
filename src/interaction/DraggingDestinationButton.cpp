#include "DraggingDestinationButton.h"

#include "MyDocument.h"
#include "PasteboardOperations.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace {

const QString kColorType = QStringLiteral("application/x-color");

// A copy where the drag allows one: the items stay in their quadrant.
void acceptAsCopy(QDropEvent *event)
{
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace

DraggingDestinationButton::DraggingDestinationButton(MyDocument *document, Operation operation, QWidget *parent)
    : QToolButton(parent)
    , m_document(document)
    , m_operation(operation)
{
    setAcceptDrops(true);
}

// Items dragged out of a quadrant, never colours. A drag with no source
// comes from outside this process's drags: its item URIs name records of
// this store only if it is this store's own data (the store is open in one
// process at a time), and the document acts on nothing else. Any other
// widget of this window is refused.
bool DraggingDestinationButton::acceptsDrag(const QObject *source, const QMimeData *data) const
{
    if (!m_document || m_operation == Operation::None || !data)
        return false;
    if (!data->hasFormat(PasteboardTypes::Item) || data->hasFormat(kColorType))
        return false;
    return !source || source->inherits("QuadrantView");
}

void DraggingDestinationButton::showImage(const QString &name)
{
    if (!name.isEmpty())
        setIcon(QIcon(QStringLiteral("icons:") + name));
}

void DraggingDestinationButton::dragEnterEvent(QDragEnterEvent *event)
{
    if (!acceptsDrag(event->source(), event->mimeData())) {
        event->ignore();
        return;
    }
    // The button looks pressed while items hover over it.
    setDown(true);
    showImage(m_imageMouseEntered);
    acceptAsCopy(event);
}

void DraggingDestinationButton::dragLeaveEvent(QDragLeaveEvent *)
{
    setDown(false);
    showImage(m_imageMouseExited);
}

void DraggingDestinationButton::dropEvent(QDropEvent *event)
{
    setDown(false);
    showImage(m_imageMouseExited);
    PasteboardTypes::ItemArchive archive;
    if (!acceptsDrag(event->source(), event->mimeData())
        || !PasteboardTypes::decodeItems(event->mimeData()->data(PasteboardTypes::Item), &archive)) {
        event->ignore();
        return;
    }
    ItemDrops &drops = m_document->itemDrops();
    bool acted = false;
    switch (m_operation) {
    case Operation::Complete:
        acted = drops.performComplete(archive);
        break;
    case Operation::Trash:
        // The user is asked first; the items go once the answer comes.
        drops.performTrash(archive);
        acted = true;
        break;
    case Operation::Duplicate:
        acted = drops.performDuplicate(archive);
        break;
    case Operation::None:
        break;
    }
    if (acted)
        acceptAsCopy(event);
    else
        event->ignore();
}
