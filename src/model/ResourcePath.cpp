#include "ResourcePath.h"

#include <QLocale>
#include <QStringList>

namespace ResourcePath {

namespace {

// Reads a whole decimal number the way the user's number format writes it
// (group separators included). A fractional number names no record.
std::optional<qint64> readDecimal(const QString &text)
{
    bool ok = false;
    const qlonglong number = QLocale().toLongLong(text, &ok);
    if (!ok)
        return std::nullopt;
    return number;
}

} // namespace

std::optional<qint64> idFromURI(const QString &path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QStringList components = path.split(QLatin1Char('/'));
    for (auto it = components.crbegin(); it != components.crend(); ++it) {
        if (!it->isEmpty())
            return readDecimal(*it);
    }
    return std::nullopt;
}

QString itemPath(qint64 serverID)
{
    return QStringLiteral("/api/v1/item/%1/").arg(static_cast<qint32>(serverID));
}

QString projectPath(qint64 id)
{
    return QStringLiteral("/api/v1/project/%1/").arg(id);
}

} // namespace ResourcePath
