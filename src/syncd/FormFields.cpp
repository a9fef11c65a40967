#include "FormFields.h"

QHash<QByteArray, QByteArray> FormFields::parse(const QByteArray &body)
{
    QHash<QByteArray, QByteArray> fields;
    for (const QByteArray &field : body.split('&')) {
        const qsizetype equals = field.indexOf('=');
        if (field.isEmpty() || equals == 0)
            continue; // nothing, or a value without a name
        if (equals < 0)
            fields.insert(field, QByteArray()); // a name without a value
        else
            fields.insert(field.left(equals), field.mid(equals + 1));
    }
    return fields;
}
