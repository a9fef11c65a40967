#pragma once

#include <QObject>
#include <QPointer>

class MyDocument;
class UndoManager;
struct ObjectsChange;

// Marks lists and items changed on this machine (edited_since = 1) by watching
// the store's change announcements. Sync turns watching off while it writes
// server data, and with it the undo manager.
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

private:
    MyDocument &m_document;
    bool m_receiving = false;
    QMetaObject::Connection m_connection;
    QPointer<UndoManager> m_savedUndoManager;
};
