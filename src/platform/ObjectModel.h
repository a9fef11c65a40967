#pragma once

#include <QHash>
#include <QString>
#include <QVector>

#include <functional>

class ManagedObject;

// Types an attribute can hold, and the QVariant each is boxed in. Every
// attribute is optional: an invalid QVariant means "absent".
enum class AttributeType {
    Int32,   // int
    Int64,   // qlonglong
    Double,  // double (the "float" attributes)
    Bool,    // bool
    Text,    // QString
    Date,    // QDateTime; kept as milliseconds since the epoch (UTC)
    Binary,  // QByteArray
};

// Where a record keeps a value of each type: numbers, booleans and dates in
// 64-bit slots, texts and binary values in their own storage.
enum class SlotKind { Number, Text, Binary };

inline SlotKind slotKind(AttributeType type)
{
    return type == AttributeType::Text ? SlotKind::Text
                                       : (type == AttributeType::Binary ? SlotKind::Binary : SlotKind::Number);
}

struct AttributeDescription {
    QString name;
    AttributeType type = AttributeType::Int32;
};

// One side of a relationship pair. A to-one side is stored as a column holding
// the destination's primary key; the to-many side is derived from it.
struct RelationshipDescription {
    QString name;
    QString destination;   // entity name
    QString inverse;       // relationship name on the destination
    bool toMany = false;
};

class EntityDescription
{
public:
    using Factory = std::function<ManagedObject *()>;

    EntityDescription() = default;
    EntityDescription(QString name, QVector<AttributeDescription> attributes,
                      QVector<RelationshipDescription> relationships = {}, Factory factory = {});

    const QString &name() const { return m_name; }
    const QVector<AttributeDescription> &attributes() const { return m_attributes; }
    const QVector<RelationshipDescription> &relationships() const { return m_relationships; }

    // Index of an attribute or relationship, -1 when unknown.
    int attributeIndex(const QString &name) const;
    int relationshipIndex(const QString &name) const;

    // Makes an instance of the record class of this entity (ManagedObject when none).
    ManagedObject *instantiate() const;

    // The attributes (one bit each, by index) kept in slots of that kind.
    quint64 slotMask(SlotKind kind) const { return m_slotMasks[int(kind)]; }

private:
    QString m_name;
    quint64 m_slotMasks[3] = {};
    QVector<AttributeDescription> m_attributes;
    QVector<RelationshipDescription> m_relationships;
    QHash<QString, int> m_attributeIndex;
    QHash<QString, int> m_relationshipIndex;
    Factory m_factory;
};

// A named, versioned schema. Store files record the model's name and version;
// opening a file of an older version adds whatever the model has and the file lacks.
class ObjectModel
{
public:
    ObjectModel(QString name, int version, QVector<EntityDescription> entities);

    const QString &name() const { return m_name; }
    int version() const { return m_version; }
    const QVector<EntityDescription> &entities() const { return m_entities; }

    // The entity of that name, nullptr when unknown.
    const EntityDescription *entity(const QString &name) const;

private:
    QString m_name;
    int m_version = 0;
    QVector<EntityDescription> m_entities;
};
