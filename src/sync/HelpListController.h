#pragma once

#include "SyncController.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class MyDocument;

// What the help list needs of the store: its lists added as new lists.
class HelpListStore
{
public:
    virtual ~HelpListStore() = default;
    // Adds every list of the message as a new list with fresh identifiers;
    // nothing the store holds is changed or deleted.
    virtual SyncStore::MergeResult addLists(const QByteArray &message, QString *error) = 0;
};

// The document as a HelpListStore: the merge of list files, then the
// sidebar rearranged so the new lists take their places.
class DocumentHelpListStore : public HelpListStore
{
public:
    explicit DocumentHelpListStore(MyDocument &document);
    SyncStore::MergeResult addLists(const QByteArray &message, QString *error) override;

private:
    MyDocument &m_document;
};

// Downloads the ready-made help list from the sync server (hexadecimal
// text of a list message) and adds its lists to the store. One download at
// a time; the completion runs on the main thread.
class HelpListController : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds DefaultTimeout{40000};
    enum class Outcome { Succeeded, Failed, ConnectionFailed };
    using After = std::function<void(Outcome)>;

    HelpListController(HelpListStore *store, SyncTransport *transport, QObject *parent = nullptr);

    // Starts a download whose end runs `after` once with the outcome. While
    // one runs, runs `after` at once with Failed and answers no.
    bool downloadHelpList(After after);
    bool isDownloading() const { return bool(m_after); }
    void setTimeout(std::chrono::milliseconds timeout) { m_timeout = timeout; }

    // The alert the application shows for an outcome; empty when it shows
    // none (a failed connection).
    static QString alertText(Outcome outcome);

private:
    Outcome processReply(const QByteArray &reply);

    HelpListStore *m_store;
    SyncTransport *m_transport;
    std::chrono::milliseconds m_timeout = DefaultTimeout;
    After m_after; // present exactly while a download runs
};
