#pragma once

#include <QColor>
#include <QList>
#include <QString>

// The named colours offered beside the colour wells, read from "colors.txt":
// one "{r, g, b, a};Name" a line.
namespace ColorList {

struct NamedColor {
    QString name;
    QColor color;
};

// The colours in file order. Lines that are not two parts around ";", or
// whose colour text does not read, are skipped; an unreadable file is logged
// and gives none.
QList<NamedColor> loadColors(const QString &path = QStringLiteral(":/colors.txt"));

} // namespace ColorList
