#include "ManagedObject.h"

#include "Logging.h"
#include "ManagedObjectContext.h"
#include "ObjectModel.h"

#include <algorithm>

namespace {

// Brings a value to the attribute's type; absent stays absent. A null text,
// an invalid date and a null byte array count as absent.
QVariant coerce(const QVariant &value, AttributeType type)
{
    if (!value.isValid())
        return {};
    switch (type) {
    case AttributeType::Int32:
        return QVariant(value.toInt());
    case AttributeType::Int64:
        return QVariant(value.toLongLong());
    case AttributeType::Double:
        return QVariant(value.toDouble());
    case AttributeType::Bool:
        return QVariant(value.toBool());
    case AttributeType::Text: {
        QString s = value.toString();
        return s.isNull() ? QVariant() : QVariant(s);
    }
    case AttributeType::Date: {
        const QDateTime d = value.toDateTime();
        // Stored to the millisecond, in local time, so that values read back
        // from the file compare equal to the ones that were set.
        return d.isValid() ? QVariant(QDateTime::fromMSecsSinceEpoch(d.toMSecsSinceEpoch())) : QVariant();
    }
    case AttributeType::Binary: {
        QByteArray b = value.toByteArray();
        return b.isNull() ? QVariant() : QVariant(b);
    }
    }
    return {};
}

bool sameValue(const QVariant &a, const QVariant &b, AttributeType type)
{
    if (!a.isValid() || !b.isValid())
        return a.isValid() == b.isValid();
    if (type == AttributeType::Date)
        return a.toDateTime().toMSecsSinceEpoch() == b.toDateTime().toMSecsSinceEpoch();
    return a == b;
}

} // namespace

ManagedObject::ManagedObject() = default;
ManagedObject::~ManagedObject() = default;

const QString &ManagedObject::entityName() const
{
    return m_entity->name();
}

QUrl ManagedObject::objectURI() const
{
    if (!m_context)
        return {};
    return QUrl(QStringLiteral("x-corvane-object://%1/%2/p%3")
                    .arg(m_context->storeIdentifier(), entityName())
                    .arg(m_pk));
}

QVariant ManagedObject::value(const QString &key) const
{
    const int index = m_entity->attributeIndex(key);
    if (index >= 0)
        return m_values[index];
    const int r = m_entity->relationshipIndex(key);
    if (r >= 0 && !m_entity->relationships()[r].toMany)
        return m_toOne[r] ? QVariant::fromValue(m_toOne[r]) : QVariant();
    return {};
}

QVariant ManagedObject::valueForKeyPath(const QString &keyPath) const
{
    const int dot = keyPath.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return value(keyPath);
    const ManagedObject *next = toOne(keyPath.left(dot));
    return next ? next->valueForKeyPath(keyPath.mid(dot + 1)) : QVariant();
}

void ManagedObject::setValue(const QString &key, const QVariant &value)
{
    const int index = m_entity->attributeIndex(key);
    if (index >= 0) {
        setRawValue(index, value);
        return;
    }
    const int r = m_entity->relationshipIndex(key);
    if (r >= 0 && !m_entity->relationships()[r].toMany) {
        setToOneInternal(r, value.value<ManagedObject *>(), true);
        return;
    }
    qCWarning(lcStore).noquote() << QStringLiteral("%1 has no attribute %2").arg(entityName(), key);
}

void ManagedObject::setRawValue(int index, const QVariant &value)
{
    const AttributeType type = m_entity->attributes()[index].type;
    QVariant v = coerce(value, type);
    if (sameValue(m_values[index], v, type))
        return;
    QVariant old = std::exchange(m_values[index], std::move(v));
    attributeDidChange(index, old);
    if (m_context)
        m_context->recordChange(this, index, true, [this, index, old]() { setRawValue(index, old); });
}

int ManagedObject::intValue(const QString &key) const
{
    return value(key).toInt();
}

qint64 ManagedObject::int64Value(const QString &key) const
{
    return value(key).toLongLong();
}

double ManagedObject::doubleValue(const QString &key) const
{
    return value(key).toDouble();
}

bool ManagedObject::boolValue(const QString &key) const
{
    return value(key).toBool();
}

QString ManagedObject::stringValue(const QString &key) const
{
    const QVariant v = value(key);
    return v.isValid() ? v.toString() : QString();
}

QDateTime ManagedObject::dateValue(const QString &key) const
{
    return value(key).toDateTime();
}

QByteArray ManagedObject::dataValue(const QString &key) const
{
    return value(key).toByteArray();
}

ManagedObject *ManagedObject::toOne(const QString &relationship) const
{
    const int r = m_entity->relationshipIndex(relationship);
    if (r < 0 || m_entity->relationships()[r].toMany)
        return nullptr;
    return m_toOne[r];
}

void ManagedObject::setToOne(const QString &relationship, ManagedObject *destination)
{
    const int r = m_entity->relationshipIndex(relationship);
    if (r < 0 || m_entity->relationships()[r].toMany) {
        qCWarning(lcStore).noquote() << QStringLiteral("%1 has no to-one relationship %2").arg(entityName(), relationship);
        return;
    }
    setToOneInternal(r, destination, true);
}

QList<ManagedObject *> ManagedObject::toMany(const QString &relationship) const
{
    const int r = m_entity->relationshipIndex(relationship);
    if (r < 0 || !m_entity->relationships()[r].toMany)
        return {};
    return m_toMany[r];
}

int ManagedObject::relationshipBit(int relationshipIndex) const
{
    return int(m_entity->attributes().size()) + relationshipIndex;
}

void ManagedObject::setToOneInternal(int r, ManagedObject *destination, bool registerChange)
{
    ManagedObject *old = m_toOne[r];
    if (old == destination)
        return;
    const RelationshipDescription &rel = m_entity->relationships()[r];
    if (destination && destination->entityName() != rel.destination) {
        qCWarning(lcStore).noquote() << QStringLiteral("%1.%2 cannot hold a %3")
                                            .arg(entityName(), rel.name, destination->entityName());
        return;
    }

    // Keep the inverse to-many side in step; it counts as a change of the
    // destination too, but its undo is covered by this side's.
    auto inverseIndex = [&](ManagedObject *o) { return o->m_entity->relationshipIndex(rel.inverse); };
    if (old) {
        const int inv = inverseIndex(old);
        if (inv >= 0) {
            old->m_toMany[inv].removeOne(this);
            if (registerChange && m_context)
                m_context->recordChange(old, old->relationshipBit(inv), false, {});
        }
    }
    m_toOne[r] = destination;
    if (destination) {
        const int inv = inverseIndex(destination);
        if (inv >= 0) {
            destination->m_toMany[inv].append(this);
            if (registerChange && m_context)
                m_context->recordChange(destination, destination->relationshipBit(inv), false, {});
        }
    }
    if (registerChange) {
        toOneDidChange(r, old);
        if (m_context)
            m_context->recordChange(this, relationshipBit(r), true, [this, r, old]() { setToOneInternal(r, old, true); });
    }
}

void ManagedObject::attributeDidChange(int, const QVariant &) {}

void ManagedObject::toOneDidChange(int, ManagedObject *) {}

QSet<QString> ManagedObject::keysForMask(quint64 mask) const
{
    QSet<QString> keys;
    const auto &attributes = m_entity->attributes();
    const auto &relationships = m_entity->relationships();
    for (int bit = 0; mask != 0 && bit < 64; ++bit, mask >>= 1) {
        if (!(mask & 1))
            continue;
        if (bit < attributes.size())
            keys.insert(attributes[bit].name);
        else if (bit - attributes.size() < relationships.size())
            keys.insert(relationships[bit - attributes.size()].name);
    }
    return keys;
}

QSet<QString> ManagedObject::changedKeys() const
{
    return keysForMask(m_savedMask);
}

QSet<QString> ManagedObject::changedKeysForCurrentEvent() const
{
    if (m_context && m_context->isProcessingChanges())
        return keysForMask(m_eventMask);
    return keysForMask(m_pendingMask);
}

bool ManagedObject::changedKeysForCurrentEventOutside(const QSet<QString> &ignored) const
{
    const QSet<QString> changed = changedKeysForCurrentEvent();
    return std::any_of(changed.cbegin(), changed.cend(), [&](const QString &key) { return !ignored.contains(key); });
}
