#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QMetaProperty>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>

class ArrayController;
class ManagedObject;
class ManagedObjectContext;
class ValueTransformer;
struct ObjectsChange;

// How and when a Binding works.
struct BindingOptions {
    enum class UpdateMode {
        OnCommit,     // written back when Binding::commit() is called (editing finished)
        Continuously, // written back on every change of the property
    };

    QString valueTransformerName; // empty for none
    UpdateMode updateMode = UpdateMode::OnCommit;
    QVariant noSelectionPlaceholder;
    QVariant multipleValuesPlaceholder;
    QVariant nullPlaceholder;
};

// Binds a property of any QObject (a control) to "selection.<key>" of an
// ArrayController: the property shows the selected records' value, passed
// through a value transformer, and edits of the property are written to
// every selected record. The key may go through to-one relationships
// ("selection.list.name").
//
// The property is set when the selection changes and when the store reports
// a change of the bound key on a selected record, and only when the shown
// value differs, so a text cursor stays where it is. Placeholders stand in
// when nothing is selected, when the selected records disagree, and when the
// value is absent; a placeholder is never written back.
//
// "enabled" and "textColor" bindings, and bindings through a transformer
// that does not convert back, only read.
class Binding : public QObject
{
    Q_OBJECT
public:
    Binding(QObject *target, const char *property, ArrayController *controller, const QString &keyPath,
            const BindingOptions &options = {}, QObject *parent = nullptr);
    ~Binding() override;

    // Writes an edit of the property to the records it shows (for OnCommit
    // bindings; a continuous binding has already written it). An edit not
    // committed when the selection changes is written to the records it was
    // made on before the new selection is shown.
    void commit();
    // Disconnects from the target, the controller and the store for good.
    void unbind();

    bool isReadOnly() const;

private slots:
    void targetChanged();

private:
    // What the property should show now: the transformed value or a placeholder.
    QVariant shownValue() const;
    void showValue();
    void selectionChanged();
    void storeChanged(const ObjectsChange &change);
    bool keyChangedOn(ManagedObject *record) const;

    QPointer<QObject> m_target;
    QMetaProperty m_property;
    QPointer<ArrayController> m_controller;
    QPointer<ManagedObjectContext> m_context;
    QStringList m_key; // the key path after "selection", split at the dots
    BindingOptions m_options;
    const ValueTransformer *m_transformer = nullptr;

    QList<ManagedObject *> m_records; // the records whose value is shown
    QVariant m_shown;                 // what the property was last given or written from
    bool m_settingTarget = false; // the property's change signal comes from the binding itself
    QList<QMetaObject::Connection> m_connections;
    QMetaObject::Connection m_storeConnection;
};
