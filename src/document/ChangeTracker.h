#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>

class ManagedObject;
class MyDocument;
class UndoManager;
struct ObjectsChange;

// Marks lists and items changed on this machine (edited_since = 1) by watching
// the store's change announcements. Sync turns watching off while it
// exchanges data with the server, and with it the undo manager; what the user
// edits meanwhile is remembered and marked when watching returns. Only the
// merge's own writes (made inside a MergeWrites scope) stay unmarked.
class ChangeTracker : public QObject
{
    Q_OBJECT
public:
    explicit ChangeTracker(MyDocument &document, QObject *parent = nullptr);

    // Both idempotent.
    void enableDidChangeContextNotifications();
    void disableDidChangeContextNotifications();
    bool isReceivingEditingNotifications() const { return m_receiving; }

    // The observer.
    void markStuffAsEdited(const ObjectsChange &change);

    // While alive, changes are the merge of server data: the server's values,
    // which must not be sent back as local edits while watching is off.
    class MergeWrites
    {
    public:
        explicit MergeWrites(ChangeTracker &tracker);
        ~MergeWrites();
        MergeWrites(const MergeWrites &) = delete;
        MergeWrites &operator=(const MergeWrites &) = delete;

    private:
        ChangeTracker &m_tracker;
    };

private:
    void mark(ManagedObject *object);

    MyDocument &m_document;
    bool m_receiving = false;
    int m_mergeDepth = 0;
    QMetaObject::Connection m_connection;
    QPointer<UndoManager> m_savedUndoManager;
    // Records the user changed while watching was off, marked when it returns.
    QSet<ManagedObject *> m_editedWhileOff;
};
