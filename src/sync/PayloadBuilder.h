#pragma once

#include "WireLists.h"

#include <QByteArray>
#include <QHash>
#include <QList>

class MyDocument;
class TODOItem;
class TODOList;
namespace corvane::wire {
class Todolist;
class Todolist_Todoitems;
}

// Builds the outgoing messages of the document: the full payload, the
// updated payload (what changed since the last sync) and the export payload
// (identifiers zeroed, for list files).
class PayloadBuilder
{
public:
    explicit PayloadBuilder(MyDocument &document);

    // Over the document's list array: the sidebar's lists, then the lists
    // trashed since the document was opened.
    QByteArray makeAllDataForTransfer();
    QByteArray makeUpdatedDataForTransfer();
    QByteArray makeAllDataForTransfer(const QList<TODOList *> &lists, bool resetIDs = false);
    QByteArray exportLists(const QList<TODOList *> &lists) { return makeAllDataForTransfer(lists, true); }
    QByteArray makeUpdatedDataForTransfer(const QList<TODOList *> &lists);

    // The same as messages.
    WireLists allData(const QList<TODOList *> &lists, bool resetIDs);
    WireLists updatedData(const QList<TODOList *> &lists);

    void makeDataForList(TODOList *list, bool allItems, bool resetIDs, corvane::wire::Todolist *out);
    void makeDataForItem(const TODOItem *item, bool resetID, corvane::wire::Todolist_Todoitems *out);

    // List id_ to list over the list array; the later of two equal ids wins.
    QHash<int, TODOList *> getProjectsByID();
    // Item id_ to item over the list's items not in state 3.
    QHash<int, TODOItem *> getItemsByKeyForProject(TODOList *list);

private:
    MyDocument &m_document;
};
