#include "FormFields.h"

QHash<QByteArray, QByteArray> FormFields::parse(const QByteArray &body)
{
    QHash<QByteArray, QByteArray> fields;
    for (const QByteArray &field : body.split('&')) {
        const qsizetype equals = field.indexOf('=');
        if (equals > 0)
            fields.insert(field.left(equals), field.mid(equals + 1));
        else if (!field.isEmpty())
            fields.insert(field, QByteArray()); // a name without a value
    }
    return fields;
}
