#include "Binding.h"

#include "ArrayController.h"
#include "Logging.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "ValueTransformer.h"

namespace {

const QString SelectionPrefix = QStringLiteral("selection.");

// The record that holds the last key of the path, through the to-one relationships before it.
ManagedObject *ownerOfKey(ManagedObject *record, const QStringList &key)
{
    for (qsizetype i = 0; record && i + 1 < key.size(); ++i)
        record = record->toOne(key[i]);
    return record;
}

QVariant valueForKey(ManagedObject *record, const QStringList &key)
{
    const ManagedObject *owner = ownerOfKey(record, key);
    return owner ? owner->value(key.last()) : QVariant();
}

} // namespace

Binding::Binding(QObject *target, const char *property, ArrayController *controller, const QString &keyPath,
                 const BindingOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    const int propertyIndex = target ? target->metaObject()->indexOfProperty(property) : -1;
    if (propertyIndex < 0 || !controller || !keyPath.startsWith(SelectionPrefix)) {
        qCWarning(lcUi).noquote() << QStringLiteral("Cannot bind %1 to %2").arg(QLatin1String(property), keyPath);
        return;
    }
    if (!options.valueTransformerName.isEmpty()) {
        m_transformer = ValueTransformer::valueTransformerForName(options.valueTransformerName);
        if (!m_transformer) {
            qCWarning(lcUi).noquote() << QStringLiteral("No value transformer named %1").arg(options.valueTransformerName);
            return;
        }
    }
    m_target = target;
    m_property = target->metaObject()->property(propertyIndex);
    m_controller = controller;
    m_key = keyPath.mid(SelectionPrefix.size()).split(QLatin1Char('.'));

    m_connections << connect(controller, &ArrayController::selectionChanged, this, &Binding::selectionChanged);
    // Without its control or its controller a binding has nothing left to do.
    m_connections << connect(controller, &QObject::destroyed, this, &Binding::unbind);
    m_connections << connect(target, &QObject::destroyed, this, &Binding::unbind);
    if (m_property.hasNotifySignal() && !isReadOnly()) {
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("targetChanged()"));
        m_connections << connect(target, m_property.notifySignal(), this, slot);
    }
    selectionChanged();
}

Binding::~Binding()
{
    unbind();
}

bool Binding::isReadOnly() const
{
    const QLatin1String name(m_property.name());
    return name == QLatin1String("enabled") || name == QLatin1String("textColor")
        || (m_transformer && !m_transformer->allowsReverseTransformation());
}

void Binding::unbind()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    disconnect(m_storeConnection);
    m_target = nullptr;
    m_controller = nullptr;
    m_context = nullptr;
    m_records.clear();
}

void Binding::selectionChanged()
{
    commit();
    const QList<ManagedObject *> selected = m_controller ? m_controller->selectedObjects() : QList<ManagedObject *>();
    ManagedObjectContext *context = selected.isEmpty() ? m_context.data() : selected.first()->context();
    if (context != m_context) {
        disconnect(m_storeConnection);
        m_context = context;
        if (context)
            m_storeConnection = connect(context, &ManagedObjectContext::objectsDidChange, this, &Binding::storeChanged);
    }
    m_records = selected;
    showValue();
}

QVariant Binding::shownValue() const
{
    if (m_records.isEmpty())
        return m_options.noSelectionPlaceholder;
    const QVariant value = valueForKey(m_records.first(), m_key);
    for (ManagedObject *record : m_records) {
        if (valueForKey(record, m_key) != value)
            return m_options.multipleValuesPlaceholder;
    }
    const QVariant shown = m_transformer ? m_transformer->transformedValue(value) : value;
    return shown.isValid() ? shown : m_options.nullPlaceholder;
}

void Binding::showValue()
{
    if (!m_target)
        return;
    QVariant value = shownValue();
    const QMetaType type = m_property.metaType();
    if (type != QMetaType::fromType<QVariant>()) {
        if (!value.isValid())
            value = QVariant(type);
        else if (value.metaType() != type)
            value.convert(type);
    }
    // Setting an equal value again would still move a text cursor.
    if (m_property.read(m_target) != value) {
        m_settingTarget = true;
        m_property.write(m_target, value);
        m_settingTarget = false;
    }
    // What the control holds now, which may be less than the value (a clamped
    // level): that is no edit of the user's and is never written back.
    m_shown = m_property.read(m_target);
}

void Binding::targetChanged()
{
    if (!m_settingTarget && m_options.updateMode == BindingOptions::UpdateMode::Continuously)
        commit();
}

void Binding::commit()
{
    if (!m_target || isReadOnly() || !m_context)
        return;
    const QVariant edited = m_property.read(m_target);
    // Unchanged: the value or placeholder the binding gave, never written back.
    if (edited == m_shown)
        return;
    const QVariant value = m_transformer ? m_transformer->reverseTransformedValue(edited) : edited;
    for (ManagedObject *record : std::as_const(m_records)) {
        ManagedObject *owner = ownerOfKey(record, m_key);
        if (owner && !owner->isDeleted())
            owner->setValue(m_key.last(), value);
    }
    m_shown = edited;
}

void Binding::storeChanged(const ObjectsChange &change)
{
    if (change.updated.isEmpty() && change.inserted.isEmpty())
        return;
    for (ManagedObject *record : std::as_const(m_records)) {
        if (keyChangedOn(record)) {
            showValue();
            return;
        }
    }
}

bool Binding::keyChangedOn(ManagedObject *record) const
{
    for (const QString &key : m_key) {
        if (!record)
            return false;
        if (record->changedKeysForCurrentEvent().contains(key))
            return true;
        record = record->toOne(key);
    }
    return false;
}
