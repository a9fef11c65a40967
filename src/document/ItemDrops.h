#pragma once

#include "PasteboardOperations.h"

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
    explicit ItemDrops(MyDocument &document);

    // Items dragged within the selected list, dropped on row `row` of
    // `targetQuadrant`. Hands a drag from another list to
    // acceptDropToDifferentList. Whether the drop was taken.
    bool handleTodoItem(const PasteboardTypes::ItemArchive &archive, int targetQuadrant, int row);
    // Items dragged from another list: the originals are trashed in their
    // list, copies with new identities join the selected list.
    bool acceptDropToDifferentList(const PasteboardTypes::ItemArchive &archive, int targetQuadrant);
    // A new item in a quadrant from another application's drop; it is
    // selected. Notes and url may be empty.
    TODOItem *addItemInTable(int quadrant, const QString &title, const QString &notes, const QString &icon,
                             const QString &url);

    // The action buttons. Each answers whether it acted. Trashing asks
    // first: `done` (optional) gets the outcome once the user has answered.
    bool performComplete(const PasteboardTypes::ItemArchive &archive);
    void performTrash(const PasteboardTypes::ItemArchive &archive, std::function<void(bool)> done = {});
    bool performDuplicate(const PasteboardTypes::ItemArchive &archive);
    // A copy of the item with its own identity and no owner.
    TODOItem *createCloneOfItem(TODOItem *source, ArrayController *controller);

private:
    MyDocument &m_document;
};
