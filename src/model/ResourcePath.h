#pragma once

#include <QString>

#include <optional>

// The server's resource paths of lists and items ("/api/v1/project/12/",
// "/api/v1/item/34/") and the identifier they end in.
namespace ResourcePath {

// The last non-empty "/"-separated component read as a decimal number in the
// user's locale; none for no text, a path of only slashes or a component that
// is not a number.
std::optional<qint64> idFromURI(const QString &path);

// "/api/v1/item/<serverID>/", with the 32-bit value of the server identifier.
QString itemPath(qint64 serverID);

// "/api/v1/project/<id>/".
QString projectPath(qint64 id);

} // namespace ResourcePath
