#include "ManagedObject.h"

#include "Logging.h"
#include "ManagedObjectContext.h"
#include "ObjectModel.h"

#include <algorithm>

namespace {

// A value set through setValue() as the attribute's type holds it; absent
// stays absent. A null text, an invalid date and a null byte array count as
// absent.
ManagedObject::StoredValue unboxed(const QVariant &value, AttributeType type)
{
    if (!value.isValid())
        return std::monostate();
    switch (type) {
    case AttributeType::Int32:
        return qint64(value.toInt());
    case AttributeType::Int64:
        return qint64(value.toLongLong());
    case AttributeType::Double:
        return std::bit_cast<qint64>(value.toDouble());
    case AttributeType::Bool:
        return qint64(value.toBool() ? 1 : 0);
    case AttributeType::Text: {
        QString s = value.toString();
        return s.isNull() ? ManagedObject::StoredValue() : ManagedObject::StoredValue(std::move(s));
    }
    case AttributeType::Date: {
        const QDateTime d = value.toDateTime();
        return d.isValid() ? ManagedObject::StoredValue(d.toMSecsSinceEpoch()) : ManagedObject::StoredValue();
    }
    case AttributeType::Binary: {
        QByteArray b = value.toByteArray();
        return b.isNull() ? ManagedObject::StoredValue() : ManagedObject::StoredValue(std::move(b));
    }
    }
    return std::monostate();
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
        return attributeValueAt(index);
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
        storeValue(index, unboxed(value, m_entity->attributes()[index].type));
        return;
    }
    const int r = m_entity->relationshipIndex(key);
    if (r >= 0 && !m_entity->relationships()[r].toMany) {
        setToOneInternal(r, value.value<ManagedObject *>(), true);
        return;
    }
    qCWarning(lcStore).noquote() << QStringLiteral("%1 has no attribute %2").arg(entityName(), key);
}

QVariant ManagedObject::attributeValueAt(int index) const
{
    if (!hasValueAt(index))
        return {};
    switch (m_entity->attributes()[index].type) {
    case AttributeType::Int32:
        return QVariant(int(integerAt(index)));
    case AttributeType::Int64:
        return QVariant(qlonglong(integerAt(index)));
    case AttributeType::Double:
        return QVariant(doubleAt(index));
    case AttributeType::Bool:
        return QVariant(integerAt(index) != 0);
    case AttributeType::Text:
        return QVariant(textAt(index));
    case AttributeType::Date:
        return QVariant(QDateTime::fromMSecsSinceEpoch(*dateAt(index)));
    case AttributeType::Binary:
        return QVariant(dataAt(index));
    }
    return {};
}

double ManagedObject::doubleAt(int index) const
{
    return std::bit_cast<double>(integerAt(index));
}

const QString &ManagedObject::textAt(int index) const
{
    static const QString none;
    return hasValueAt(index) ? m_texts[position(index, SlotKind::Text)] : none;
}

const QByteArray &ManagedObject::dataAt(int index) const
{
    static const QByteArray none;
    return hasValueAt(index) ? m_blobs[position(index, SlotKind::Binary)] : none;
}

void ManagedObject::setIntegerAt(int index, qint64 value)
{
    switch (m_entity->attributes()[index].type) {
    case AttributeType::Int32:
        value = qint32(value);
        break;
    case AttributeType::Bool:
        value = value != 0;
        break;
    default:
        break;
    }
    storeValue(index, value);
}

void ManagedObject::setDoubleAt(int index, double value)
{
    storeValue(index, std::bit_cast<qint64>(value));
}

void ManagedObject::setTextAt(int index, const QString &value)
{
    storeValue(index, value.isNull() ? StoredValue() : StoredValue(value));
}

void ManagedObject::setDateAt(int index, std::optional<qint64> msecsSinceEpoch)
{
    storeValue(index, msecsSinceEpoch ? StoredValue(*msecsSinceEpoch) : StoredValue());
}

ManagedObject::StoredValue ManagedObject::storedValue(int index) const
{
    if (!hasValueAt(index))
        return std::monostate();
    switch (slotKind(m_entity->attributes()[index].type)) {
    case SlotKind::Number:
        return m_numbers[position(index, SlotKind::Number)];
    case SlotKind::Text:
        return m_texts[position(index, SlotKind::Text)];
    case SlotKind::Binary:
        return m_blobs[position(index, SlotKind::Binary)];
    }
    return std::monostate();
}

void ManagedObject::storeValue(int index, StoredValue value)
{
    StoredValue old = storedValue(index);
    if (old == value)
        return;
    putValue(index, std::move(value));
    attributeDidChange(index, old);
    if (m_context)
        m_context->recordChange(this, index, true, [this, index, old = std::move(old)]() { storeValue(index, old); });
}

namespace {

// Replaces, inserts or erases the element at `at` of a kind's present values
// with what `value` holds of that kind; answers whether a value is present.
template <typename T>
bool place(std::vector<T> &values, int at, bool wasPresent, ManagedObject::StoredValue &value)
{
    T *held = std::get_if<T>(&value);
    if (!held) {
        if (wasPresent)
            values.erase(values.begin() + at);
    } else if (wasPresent) {
        values[at] = std::move(*held);
    } else {
        values.insert(values.begin() + at, std::move(*held));
    }
    return held;
}

} // namespace

void ManagedObject::putValue(int index, StoredValue &&value)
{
    const bool wasPresent = hasValueAt(index);
    const SlotKind kind = slotKind(m_entity->attributes()[index].type);
    const int at = position(index, kind);
    bool present = false;
    switch (kind) {
    case SlotKind::Number:
        present = place(m_numbers, at, wasPresent, value);
        break;
    case SlotKind::Text:
        present = place(m_texts, at, wasPresent, value);
        break;
    case SlotKind::Binary:
        present = place(m_blobs, at, wasPresent, value);
        break;
    }
    m_present = present ? m_present | bit(index) : m_present & ~bit(index);
    m_sortKeyFunction = nullptr;
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

void ManagedObject::attributeDidChange(int, const StoredValue &) {}

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
