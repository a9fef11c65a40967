#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QVariant>

#include <vector>

class EntityDescription;
class ManagedObjectContext;

// A persistent record of an object graph. Records belong to their context,
// which creates them, keeps them alive until it goes, and saves them.
//
// Every attribute is optional: value() answers an invalid QVariant for an
// absent one. The typed readers follow the house rule that an absent number
// reads 0 and absent and empty text are alike.
class ManagedObject
{
public:
    ManagedObject();
    virtual ~ManagedObject();

    ManagedObject(const ManagedObject &) = delete;
    ManagedObject &operator=(const ManagedObject &) = delete;

    const EntityDescription &entity() const { return *m_entity; }
    const QString &entityName() const;
    ManagedObjectContext *context() const { return m_context; }

    // Store-wide unique and stable from insertion on; resolves back through
    // ManagedObjectContext::objectForURI, also after the store is reopened.
    QUrl objectURI() const;
    qint64 primaryKey() const { return m_pk; }

    // Attributes, by name. Setting a value equal to the current one is not a change.
    QVariant value(const QString &key) const;
    void setValue(const QString &key, const QVariant &value);

    // Dotted key paths through to-one relationships ("list.state").
    QVariant valueForKeyPath(const QString &keyPath) const;

    // The value of an attribute by its index in the entity, without copying
    // (an invalid QVariant for an absent value). The index must be valid.
    const QVariant &attributeValueAt(int index) const { return m_values[index]; }

    int intValue(const QString &key) const;
    qint64 int64Value(const QString &key) const;
    double doubleValue(const QString &key) const;
    bool boolValue(const QString &key) const;
    QString stringValue(const QString &key) const;
    QDateTime dateValue(const QString &key) const;
    QByteArray dataValue(const QString &key) const;

    // Relationships. Setting a to-one side keeps the inverse to-many side in step.
    ManagedObject *toOne(const QString &relationship) const;
    void setToOne(const QString &relationship, ManagedObject *destination);
    QList<ManagedObject *> toMany(const QString &relationship) const;

    bool isInserted() const { return m_inserted; }   // inserted since the last save
    bool isDeleted() const { return m_deleted; }     // deleted, pending or saved
    bool isUpdated() const { return m_savedMask != 0 && !m_inserted; }
    bool hasChanges() const { return m_inserted || m_deletePending || m_savedMask != 0; }

    // Names changed since the last save.
    QSet<QString> changedKeys() const;
    // Names changed in the current change event: during the context's
    // objects-did-change notification, the changes it announces; otherwise the
    // changes not announced yet.
    QSet<QString> changedKeysForCurrentEvent() const;
    // Whether the current event changed any name outside `ignored`.
    bool changedKeysForCurrentEventOutside(const QSet<QString> &ignored) const;

protected:
    // Raw access for subclasses' typed accessors, by attribute index.
    const QVariant &rawValue(int index) const { return m_values[index]; }
    void setRawValue(int index, const QVariant &value);

    // Called after an attribute or a to-one relationship changed, by whatever
    // path (setters, undo and redo, deletion; not while the store loads), so
    // that subclasses can keep what they derive from it in step.
    virtual void attributeDidChange(int index, const QVariant &old);
    virtual void toOneDidChange(int relationshipIndex, ManagedObject *old);

private:
    friend class ManagedObjectContext;
    friend class ObjectStoreIO;

    QSet<QString> keysForMask(quint64 mask) const;
    int relationshipBit(int relationshipIndex) const;
    void setToOneInternal(int relationshipIndex, ManagedObject *destination, bool registerChange);

    const EntityDescription *m_entity = nullptr;
    ManagedObjectContext *m_context = nullptr;
    qint64 m_pk = 0;

    std::vector<QVariant> m_values;              // by attribute index
    std::vector<ManagedObject *> m_toOne;        // by relationship index (to-one sides)
    std::vector<QList<ManagedObject *>> m_toMany; // by relationship index (to-many sides)

    quint64 m_savedMask = 0;    // changed since the last save
    quint64 m_pendingMask = 0;  // changed since the last change notification
    quint64 m_eventMask = 0;    // announced by the notification in progress
    bool m_inserted = false;    // not in the file yet
    bool m_deleted = false;
    bool m_deletePending = false; // deleted, not saved yet
    bool m_inPending = false;     // listed in the context's pending set
    bool m_inUnsaved = false;     // listed in the context's unsaved set
    bool m_inFile = false;        // a row exists in the store file
    bool m_insertPending = false; // inserted, not announced yet
};
