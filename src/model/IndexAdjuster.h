#pragma once

#include <QtGlobal>

class ArrayController;
class TODOList;

// Keeps the descending "index" order of lists and items repairable without
// renumbering: only rows out of order get a new index, placed between or
// below their neighbours.
class IndexAdjuster
{
public:
    // Repairs the indices of the controller's arranged lists, walking them in
    // index order whatever the controller's sort (the sidebar may show names).
    static void adjustListIndices(ArrayController *listController);

    // Repairs the indices of the controller's arranged items, but only when the
    // rows are in manual order (no sort descriptors, or first sorted by
    // "index"). A controller of lists is always repaired, as by
    // adjustListIndices. The list is not consulted.
    static void adjustIndices(ArrayController *itemController, TODOList *list);

    // The index of an item created for a list outside a quadrant view: the
    // list's lastItemIndex, which then grows by 1000.
    static int newItemIndex(TODOList *list);

    // Index arithmetic is 32-bit and wraps like the stored integer does.
    static qint32 add32(qint32 a, qint32 b);
    static qint32 sub32(qint32 a, qint32 b);

    IndexAdjuster() = delete;
};
