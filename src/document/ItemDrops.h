#pragma once

#include "PasteboardOperations.h"

#include <QList>
#include <QString>

#include <functional>

class ArrayController;
class MyDocument;
class TODOItem;

// What happens when items are dropped: onto a quadrant of the selected list
// (a move, or a copy from another list), onto the action buttons (complete,
// trash, duplicate), and new items made from other applications' drops.
// The item models and buttons decode the drag data and call these; every
// rule about rows, indices and quadrants lives here.
class ItemDrops
{
public:
    // Where a drop lands: onto a row, or on the line above it (the row count: below the last row).
    enum class DropPosition { OnRow, AboveRow };

    explicit ItemDrops(MyDocument &document);

    // Items dragged within the selected list, dropped on row `row` of
    // `targetQuadrant`. Hands a drag from another list to
    // acceptDropToDifferentList. Whether the drop was taken. The items are
    // those the URIs name (the rows may be stale); positions come from where
    // they stand now.
    bool handleTodoItem(const PasteboardTypes::ItemArchive &archive, int targetQuadrant, int row,
                        DropPosition position = DropPosition::OnRow);
    // Items dragged from another list: the originals are trashed in their
    // list, copies with new identities join the selected list.
    bool acceptDropToDifferentList(const PasteboardTypes::ItemArchive &archive, int targetQuadrant);
    // A new item in a quadrant from another application's drop; it is
    // selected. Notes and url may be empty.
    TODOItem *addItemInTable(int quadrant, const QString &title, const QString &notes, const QString &icon,
                             const QString &url);

    // The action buttons, on the items the URIs name that are still in the
    // drag's list and not trashed. Each answers whether it acted. Trashing
    // asks first: `done` (optional) gets the outcome once the user has
    // answered; only items still there then are trashed.
    bool performComplete(const PasteboardTypes::ItemArchive &archive);
    void performTrash(const PasteboardTypes::ItemArchive &archive, std::function<void(bool)> done = {});
    bool performDuplicate(const PasteboardTypes::ItemArchive &archive);
    // A copy of the item in its list with its own identity and no owner.
    // When a controller is given, the clone joins its rows: below its source
    // in manual order, else where the sort puts it.
    TODOItem *createCloneOfItem(TODOItem *source, ArrayController *controller);

private:
    bool trashAfterAnswer(const PasteboardTypes::ItemArchive &archive, const QList<TODOItem *> &asked);
    // The index the moved items share, next to the reference row of the
    // target (after the dragged rows left it); moves `row` below the
    // reference when they go after it.
    static int baseIndex(const ArrayController *target, bool movingDown, int movedCount, int *row);
    // The items an action button acts on; none for a drag without rows.
    QList<TODOItem *> itemsForActionButton(const PasteboardTypes::ItemArchive &archive) const;

    MyDocument &m_document;
};
