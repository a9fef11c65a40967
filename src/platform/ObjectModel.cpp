#include "ObjectModel.h"

#include "ManagedObject.h"

EntityDescription::EntityDescription(QString name, QVector<AttributeDescription> attributes,
                                     QVector<RelationshipDescription> relationships, Factory factory)
    : m_name(std::move(name))
    , m_attributes(std::move(attributes))
    , m_relationships(std::move(relationships))
    , m_factory(std::move(factory))
{
    for (int i = 0; i < m_attributes.size(); ++i) {
        m_attributeIndex.insert(m_attributes[i].name, i);
        m_slotMasks[int(slotKind(m_attributes[i].type))] |= quint64(1) << i;
    }
    for (int i = 0; i < m_relationships.size(); ++i)
        m_relationshipIndex.insert(m_relationships[i].name, i);
    // Change masks are one 64-bit word per record.
    Q_ASSERT(m_attributes.size() + m_relationships.size() <= 64);
}

int EntityDescription::attributeIndex(const QString &name) const
{
    auto it = m_attributeIndex.constFind(name);
    return it == m_attributeIndex.cend() ? -1 : it.value();
}

int EntityDescription::relationshipIndex(const QString &name) const
{
    auto it = m_relationshipIndex.constFind(name);
    return it == m_relationshipIndex.cend() ? -1 : it.value();
}

ManagedObject *EntityDescription::instantiate() const
{
    return m_factory ? m_factory() : new ManagedObject;
}

ObjectModel::ObjectModel(QString name, int version, QVector<EntityDescription> entities)
    : m_name(std::move(name))
    , m_version(version)
    , m_entities(std::move(entities))
{
}

const EntityDescription *ObjectModel::entity(const QString &name) const
{
    for (const auto &e : m_entities) {
        if (e.name() == name)
            return &e;
    }
    return nullptr;
}
