#include "ColorList.h"

#include "ColorText.h"
#include "Logging.h"

#include <QFile>

namespace ColorList {

QList<NamedColor> loadColors(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi).noquote() << QStringLiteral("error while loading colors %1").arg(file.errorString());
        return {};
    }
    QList<NamedColor> colors;
    const QStringList lines = QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(';'));
        if (parts.size() != 2)
            continue;
        // A colour list cannot hold "no colour".
        const QColor color = ColorText::colorWithString(parts[0]);
        if (color.isValid())
            colors.append({parts[1], color});
    }
    return colors;
}

} // namespace ColorList
