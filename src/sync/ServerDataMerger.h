#pragma once

#include "WireLists.h"

#include <QByteArray>
#include <QString>

#include <optional>

class MyDocument;
class TODOItem;
class TODOList;
namespace corvane::wire {
class Alllists;
class Todolist;
class Todolist_Todoitems;
}

// Writes a received message into the store: lists and items matched by
// identifier are updated, others created; for a sync reply, what the reply
// no longer holds gets state 3. The server decides every conflict.
class ServerDataMerger
{
public:
    explicit ServerDataMerger(MyDocument &document);

    // None, with the reason, for bytes that are not a list message.
    std::optional<WireLists> parseDataFromServer(const QByteArray &bytes, QString *error = nullptr);

    // A sync reply: no reset, deletion. Answers whether the store was saved.
    bool merge(const WireLists &lists) { return merge(lists, false, true); }
    bool merge(const WireLists &lists, bool resetIDs, bool deleteNotPresent);

    void updateCoreProject(TODOList *list, const corvane::wire::Todolist &incoming, bool resetIDs = false,
                           bool deleteNotPresent = true);
    void update(TODOList *list, const corvane::wire::Todolist &incoming);
    void update(TODOItem *item, const corvane::wire::Todolist_Todoitems &incoming);

private:
    // Writes the message's lists and items into the store (merge without the save).
    void writeLists(const corvane::wire::Alllists &message, bool resetIDs, bool deleteNotPresent);

    MyDocument &m_document;
};
