#pragma once

#include "TODOItem.h"

#include <QMetaType>
#include <QString>
#include <QVariant>

// Items travel through transformers and bindings as TODOItem pointers.
Q_DECLARE_METATYPE(TODOItem *)

// Turns a stored value into what a control shows (a percentage into a text, a
// due date into a colour), and for a few transformers back again. An absent
// value is an invalid QVariant in both directions.
//
// Transformers keep no state, so one shared instance per name serves every
// binding; valueTransformerForName() creates it on first use.
class ValueTransformer
{
public:
    virtual ~ValueTransformer() = default;

    virtual QVariant transformedValue(const QVariant &value) const = 0;
    // The stored value for a shown one; only meaningful when
    // allowsReverseTransformation() answers yes.
    virtual QVariant reverseTransformedValue(const QVariant &value) const;
    virtual bool allowsReverseTransformation() const { return false; }
    // The type of what transformedValue() answers.
    virtual QMetaType transformedValueClass() const = 0;

    // The shared transformer registered under a class name, or null for an
    // unknown name. Main thread only.
    static const ValueTransformer *valueTransformerForName(const QString &name);
};
