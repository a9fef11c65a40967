#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <QVariant>

#include "ObjectModel.h"
#include "SortDescriptor.h"

#include <bit>
#include <optional>
#include <variant>
#include <vector>

class ManagedObjectContext;

// A persistent record of an object graph. Records belong to their context,
// which creates them, keeps them alive until it goes, and saves them.
//
// Every attribute is optional: value() answers an invalid QVariant for an
// absent one. The typed readers follow the house rule that an absent number
// reads 0 and absent and empty text are alike.
//
// Values are kept by type, only those present: a mask of the attributes
// holding a value, one 64-bit slot per number, boolean (0 or 1), double (its
// bits) and date (milliseconds since the epoch), and a QString or QByteArray
// per text or binary value, each in attribute order. QVariants are made only
// at the edge (value(), attributeValueAt()).
class ManagedObject
{
public:
    // One attribute's value outside its record (undo keeps these): absent, a
    // slot, a text or bytes.
    using StoredValue = std::variant<std::monostate, qint64, QString, QByteArray>;

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

    // The value of an attribute by its index in the entity (an invalid
    // QVariant for an absent value). The index must be valid.
    QVariant attributeValueAt(int index) const;

    // Typed readers by attribute index, without conversions; the index must
    // name an attribute of the matching type. Absent numbers read 0, absent
    // texts and bytes read null. A text or bytes reference stays valid until
    // the record's next change (values move as others come and go).
    bool hasValueAt(int index) const { return m_present & bit(index); }
    qint64 integerAt(int index) const   // Int32, Int64, Bool
    {
        return hasValueAt(index) ? m_numbers[position(index, SlotKind::Number)] : 0;
    }
    double doubleAt(int index) const;
    const QString &textAt(int index) const;
    const QByteArray &dataAt(int index) const;
    // Milliseconds since the epoch; none when absent.
    std::optional<qint64> dateAt(int index) const
    {
        if (!hasValueAt(index))
            return std::nullopt;
        return m_numbers[position(index, SlotKind::Number)];
    }

    // Asks the memory for the record's texts ahead of reading them. Loops
    // over many records call it a few records ahead, so that they do not wait
    // for each text in turn.
    void prefetchTexts() const
    {
        for (const QString &text : m_texts)
            __builtin_prefetch(text.constData());
    }

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
    // Typed writers for subclasses' accessors, by attribute index (of the
    // matching type). A null text or byte array and no date clear the value.
    void setIntegerAt(int index, qint64 value);   // Int32 (kept to 32 bits), Int64, Bool (0 or 1)
    void setDoubleAt(int index, double value);
    void setTextAt(int index, const QString &value);
    void setDateAt(int index, std::optional<qint64> msecsSinceEpoch);
    void clearValueAt(int index) { storeValue(index, std::monostate()); }
    // Sets the attribute to the value it has in source, a record of the same entity.
    void copyValueAt(int index, const ManagedObject &source) { storeValue(index, source.storedValue(index)); }

    // Called after an attribute or a to-one relationship changed, by whatever
    // path (setters, undo and redo, deletion; not while the store loads), so
    // that subclasses can keep what they derive from it in step.
    virtual void attributeDidChange(int index, const StoredValue &old);
    virtual void toOneDidChange(int relationshipIndex, ManagedObject *old);

private:
    friend class ManagedObjectContext;
    friend class ObjectStoreIO;
    friend class SortDescriptor;

    static quint64 bit(int index) { return quint64(1) << index; }
    // Where the attribute's value is (or would go) among the present values of its kind.
    int position(int index, SlotKind kind) const
    {
        return bitCount(m_present & m_entity->slotMask(kind) & (bit(index) - 1));
    }
    // std::popcount, inline: without a popcount instruction in the target
    // it is a library call, and this runs for every value read.
    static int bitCount(quint64 x)
    {
        x -= (x >> 1) & 0x5555555555555555ULL;
        x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
        x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
        return int((x * 0x0101010101010101ULL) >> 56);
    }
    StoredValue storedValue(int index) const;
    // Changes the value (recording the change and its undo) unless it is the same.
    void storeValue(int index, StoredValue value);
    // Puts the value in place, nothing else.
    void putValue(int index, StoredValue &&value);

    QSet<QString> keysForMask(quint64 mask) const;
    int relationshipBit(int relationshipIndex) const;
    void setToOneInternal(int relationshipIndex, ManagedObject *destination, bool registerChange);

    // What reading values needs comes first, so that it takes few cache lines.
    const EntityDescription *m_entity = nullptr;
    quint64 m_present = 0;                       // attributes holding a value, by index
    std::vector<qint64> m_numbers;               // present numbers, booleans and dates
    std::vector<QString> m_texts;                // present texts
    std::vector<QByteArray> m_blobs;             // present binary values

    // The key a keyed sort last derived for this record, with the key
    // function and zone table it came from; a change of a value drops it.
    // A re-sort reads these lines of the record only.
    SortDescriptor::RecordKey m_sortKey{};
    SortDescriptor::KeyFunction m_sortKeyFunction = nullptr;
    quint32 m_sortKeyZone = 0;

    ManagedObjectContext *m_context = nullptr;
    qint64 m_pk = 0;
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
