#include "ItemDrops.h"

#include "ArrayController.h"
#include "IndexAdjuster.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "ObjectModel.h"
#include "QuadrantFilters.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QPointer>

#include <algorithm>

namespace {

constexpr int MaxTitleLength = 100;

bool isValidQuadrant(int quadrant)
{
    return quadrant >= 0 && quadrant < Quadrant::Count;
}

// The list a drag record names, unless it is gone from the store.
TODOList *listForURI(ManagedObjectContext *context, const QUrl &uri)
{
    ManagedObject *object = uri.isEmpty() ? nullptr : context->objectForURI(uri);
    if (!object || object->entityName() != TODOList::EntityName)
        return nullptr;
    auto *list = static_cast<TODOList *>(object);
    return list->state() == RecordState::Deleted ? nullptr : list;
}

// The dragged items that are still there to act on, in the drag's order:
// items of this store, still in `list`, neither trashed nor removed by the
// server. The drag's rows may be stale by now (a re-sort, a merge), so the
// items are found by their URIs, never by the rows.
QList<TODOItem *> draggedItems(ManagedObjectContext *context, const PasteboardTypes::ItemArchive &archive,
                               const TODOList *list)
{
    QList<TODOItem *> items;
    if (!list)
        return items;
    for (const QUrl &uri : archive.uris) {
        ManagedObject *object = context->objectForURI(uri);
        if (!object || object->entityName() != TODOItem::EntityName)
            continue;
        auto *item = static_cast<TODOItem *>(object);
        if (!RecordState::isShown(item->state()) || item->list() != list || items.contains(item))
            continue;
        items.append(item);
    }
    return items;
}

// Where the items stand now in the controller's rows, ascending; items it
// does not show are left out.
QList<int> currentRows(const ArrayController *controller, const QList<TODOItem *> &items)
{
    QList<int> rows;
    for (const TODOItem *item : items) {
        const int row = controller->indexOfArrangedObject(item);
        if (row >= 0)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Takes the items out of the rows of the quadrants showing them; answers
// those quadrants' controllers.
QList<ArrayController *> takeOutOfQuadrants(const MyDocument &document, const QList<TODOItem *> &items)
{
    QList<ArrayController *> sources;
    for (TODOItem *item : items) {
        if (!isValidQuadrant(item->quadrant()))
            continue;
        ArrayController *source = document.controllerForQuadrant(item->quadrant());
        source->removeObject(item);
        if (!sources.contains(source))
            sources.append(source);
    }
    return sources;
}

// A new record with every attribute of the source, by name (the list is not copied).
TODOItem *insertCopy(ManagedObjectContext *context, const TODOItem *source)
{
    auto *copy = context->insert<TODOItem>(TODOItem::EntityName);
    for (const AttributeDescription &attribute : source->entity().attributes())
        copy->setValue(attribute.name, source->value(attribute.name));
    return copy;
}

// Plain notes as the HTML fragment the notes field holds: escaped, with
// their line breaks, so that text like "<bob@example.com>" survives.
QString notesAsHtml(const QString &notes)
{
    if (notes.isEmpty())
        return QString();
    return QStringLiteral("<p>%1</p>").arg(notes.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>")));
}

// The first 100 characters of a long title, trimmed, never splitting a
// character that takes two UTF-16 units.
QString shortenedTitle(const QString &title)
{
    int length = MaxTitleLength;
    if (title.at(length - 1).isHighSurrogate())
        --length;
    return QStringLiteral("%1...").arg(title.left(length).trimmed());
}

} // namespace

ItemDrops::ItemDrops(MyDocument &document)
    : m_document(document)
{
}

bool ItemDrops::handleTodoItem(const PasteboardTypes::ItemArchive &archive, int targetQuadrant, int row,
                               DropPosition position)
{
    if (archive.listUri.isEmpty()) {
        qCWarning(lcDocument)
            << "When accepting drop, we got uriRepresentationForSourceList == nil. This should not happen. BUG";
        return false;
    }
    TODOList *list = m_document.getSelectedProject();
    if (!list || archive.listUri != list->objectURI())
        return acceptDropToDifferentList(archive, targetQuadrant);
    if (!isValidQuadrant(targetQuadrant))
        return false;

    ManagedObjectContext *context = m_document.managedObjectContext();
    const QList<TODOItem *> items = draggedItems(context, archive, list);
    if (items.isEmpty())
        return false;

    ArrayController *target = m_document.controllerForQuadrant(targetQuadrant);
    const bool sameQuadrant = items.first()->quadrant() == targetQuadrant;
    const QList<int> draggedRows = currentRows(target, items);
    row = std::clamp(row, 0, int(target->arrangedObjects().size()));
    const bool onRow = position == DropPosition::OnRow;
    if (sameQuadrant
        && (!QuadrantFilters::isManualOrder(target) || (onRow && !draggedRows.isEmpty() && draggedRows.first() == row)))
        return false; // onto itself, or a reorder of a sorted quadrant

    // Dropped onto a row further down, the items go after it. Dropped on the
    // line between two rows they go where the line is, before the row below
    // it, whichever way they move.
    const bool movingDown = onRow && sameQuadrant && !draggedRows.isEmpty() && draggedRows.first() < row;
    int r = row;
    for (int dragged : draggedRows) {
        if (dragged < r)
            --r;
    }
    const QList<ArrayController *> sources = takeOutOfQuadrants(m_document, items);
    const int base = baseIndex(target, movingDown, int(items.size()), &r);
    const bool manual = QuadrantFilters::isManualOrder(target);
    for (int i = 0; i < items.size(); ++i) {
        items[i]->setIndex(base);
        items[i]->setQuadrant(targetQuadrant);
        if (manual)
            target->insertObject(items[i], r + i); // past the end it appends
        else
            target->addObject(items[i]);
    }
    for (ArrayController *source : sources) {
        if (source != target)
            source->rearrangeObjects();
    }
    // The renumbering follows the rows as placed: a re-sort first would put
    // the moved items, which share one index, in arbitrary order among equals.
    if (manual)
        IndexAdjuster::adjustIndices(target, list);
    target->rearrangeObjects();

    m_document.enableQuadrant(targetQuadrant, currentRows(target, items), false);
    m_document.cleanListCustomCells();
    context->setUndoActionName(QStringLiteral("Move Items"));
    return true;
}

int ItemDrops::baseIndex(const ArrayController *target, bool movingDown, int movedCount, int *row)
{
    const QList<ManagedObject *> &arranged = target->arrangedObjects();
    const int size = int(arranged.size());
    if (size == 0)
        return 0;
    const int reference = static_cast<const TODOItem *>(arranged[std::min(*row, size - 1)])->index();
    // Rows show descending indices: below the reference takes less, above it more.
    if (movingDown || *row >= size) {
        *row = std::min(*row + 1, size);
        return IndexAdjuster::sub32(reference, 1);
    }
    return IndexAdjuster::add32(reference, movedCount);
}

bool ItemDrops::acceptDropToDifferentList(const PasteboardTypes::ItemArchive &archive, int targetQuadrant)
{
    TODOList *list = m_document.getSelectedProject();
    ManagedObjectContext *context = m_document.managedObjectContext();
    TODOList *sourceList = listForURI(context, archive.listUri);
    if (!list || !sourceList || sourceList == list || !isValidQuadrant(targetQuadrant))
        return false;
    const QList<TODOItem *> items = draggedItems(context, archive, sourceList);
    if (items.isEmpty())
        return false;

    ArrayController *target = m_document.controllerForQuadrant(targetQuadrant);
    const bool manual = QuadrantFilters::isManualOrder(target);
    const bool hasRows = !target->arrangedObjects().isEmpty();
    QList<TODOItem *> copies;
    for (TODOItem *source : items) {
        // Trashed, so that it can be undeleted in its old list.
        m_document.markTODOItemAsTrashed(source, sourceList);
        qCInfo(lcDocument).noquote() << source->name();

        TODOItem *copy = insertCopy(context, source);
        copy->setQuadrant(targetQuadrant);
        copy->setList(list);
        copy->resetIDs(); // a new record for the server, unique in its new list
        copy->setEdited_since(1);
        copy->setState(copy->completionPercentage() > 99 ? RecordState::Completed : RecordState::Open);
        // At the top, in the order they were dragged.
        if (manual && hasRows)
            target->insertObject(copy, int(copies.size()));
        else
            target->addObject(copy);
        if (copy->dueDate().isValid())
            m_document.calendar()->updateEventForItem(copy, list);
        copies.append(copy);
    }

    if (manual)
        IndexAdjuster::adjustIndices(target, list);
    target->rearrangeObjects();
    m_document.enableQuadrant(targetQuadrant, currentRows(target, copies), false);
    m_document.cleanListCustomCells();
    context->setUndoActionName(QStringLiteral("Move Items"));
    return true;
}

TODOItem *ItemDrops::addItemInTable(int quadrant, const QString &title, const QString &notes, const QString &icon,
                                    const QString &url)
{
    TODOItem *item = m_document.addTODOItemToQuadrant(quadrant);
    if (!item)
        return nullptr;

    QString itemNotes = notes;
    QString name = title;
    if (title.size() > MaxTitleLength) {
        name = shortenedTitle(title);
        if (itemNotes.isEmpty())
            itemNotes = title;
    }
    item->setName(name);
    item->setDescriptionRichText(notesAsHtml(itemNotes));
    item->setDescriptionText(itemNotes);
    item->setIcon(icon);
    item->setMacResourceURL(url);

    ArrayController *controller = m_document.controllerForQuadrant(quadrant);
    if (QuadrantFilters::isManualOrder(controller))
        IndexAdjuster::adjustIndices(controller, m_document.getSelectedProject());
    controller->rearrangeObjects();

    const int row = controller->indexOfArrangedObject(item);
    if (row >= 0)
        m_document.enableQuadrant(quadrant, {row}, false);
    m_document.cleanListCustomCells();
    m_document.managedObjectContext()->setUndoActionName(QStringLiteral("Add Item"));
    return item;
}

bool ItemDrops::performComplete(const PasteboardTypes::ItemArchive &archive)
{
    const QList<TODOItem *> items = itemsForActionButton(archive);
    if (items.isEmpty())
        return false;
    TODOList *selected = m_document.getSelectedProject();
    for (TODOItem *item : items) {
        // The item's own list: a recurring item's next occurrence joins it,
        // even when the sidebar switched lists during the drag.
        TODOList *list = item->list();
        ArrayController *controller = list == selected ? m_document.controllerForQuadrant(item->quadrant()) : nullptr;
        m_document.markTODOItem(item, list, controller, 100);
    }
    m_document.rearrangeArrayControllers();
    m_document.cleanListCustomCells();
    m_document.managedObjectContext()->setUndoActionName(QStringLiteral("Complete Items"));
    return true;
}

void ItemDrops::performTrash(const PasteboardTypes::ItemArchive &archive, std::function<void(bool)> done)
{
    const QList<TODOItem *> asked = itemsForActionButton(archive);
    QPointer<MyDocument> document(&m_document);
    m_document.userConfirmsItemsDeletion(asked, [document, archive, asked, done](bool confirmed) {
        const bool acted = confirmed && document && document->itemDrops().trashAfterAnswer(archive, asked);
        if (done)
            done(acted);
    });
}

bool ItemDrops::trashAfterAnswer(const PasteboardTypes::ItemArchive &archive, const QList<TODOItem *> &asked)
{
    // Only what was asked about and is still there to trash once the user answered.
    QList<TODOItem *> items = itemsForActionButton(archive);
    items.removeIf([&asked](TODOItem *item) { return !asked.contains(item); });
    if (items.isEmpty())
        return false;
    for (TODOItem *item : std::as_const(items))
        m_document.markTODOItemAsTrashed(item, item->list());
    m_document.rearrangeArrayControllers();
    m_document.cleanListCustomCells();
    m_document.managedObjectContext()->setUndoActionName(QStringLiteral("Trash Items"));
    return true;
}

bool ItemDrops::performDuplicate(const PasteboardTypes::ItemArchive &archive)
{
    const QList<TODOItem *> items = itemsForActionButton(archive);
    if (items.isEmpty())
        return false;
    TODOList *selected = m_document.getSelectedProject();
    QList<ArrayController *> controllers;
    for (TODOItem *source : items) {
        ArrayController *controller =
            source->list() == selected ? m_document.controllerForQuadrant(source->quadrant()) : nullptr;
        createCloneOfItem(source, controller);
        if (controller && !controllers.contains(controller))
            controllers.append(controller);
    }
    for (ArrayController *controller : std::as_const(controllers)) {
        if (QuadrantFilters::isManualOrder(controller))
            IndexAdjuster::adjustIndices(controller, selected);
        controller->rearrangeObjects();
    }
    m_document.cleanListCustomCells();
    m_document.managedObjectContext()->setUndoActionName(QStringLiteral("Duplicate Items"));
    return true;
}

TODOItem *ItemDrops::createCloneOfItem(TODOItem *source, ArrayController *controller)
{
    if (!source)
        return nullptr;
    TODOItem *clone = insertCopy(m_document.managedObjectContext(), source);
    clone->setList(source->list());
    clone->resetIDs();
    clone->setOwner(QString());
    clone->setOwnerUsername(QString());
    clone->setEdited_since(1);
    if (!controller)
        return clone;
    // In manual order directly below its source, where the renumbering keeps
    // it; otherwise the sort places it (it carries its source's index).
    const int sourceRow = controller->indexOfArrangedObject(source);
    if (QuadrantFilters::isManualOrder(controller) && sourceRow >= 0)
        controller->insertObject(clone, sourceRow + 1);
    else
        controller->addObject(clone);
    return clone;
}

QList<TODOItem *> ItemDrops::itemsForActionButton(const PasteboardTypes::ItemArchive &archive) const
{
    // Only a drag out of a quadrant carries rows; a drag of no rows does nothing.
    if (!archive.hasRowIndexes || archive.rowIndexes.isEmpty())
        return {};
    ManagedObjectContext *context = m_document.managedObjectContext();
    return draggedItems(context, archive, listForURI(context, archive.listUri));
}
