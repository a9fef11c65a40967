#pragma once

#include <QByteArray>

#include <optional>

// Reply bodies sent with "Content-Encoding: gzip". Qt leaves them compressed
// once a request asks for gzip itself.
namespace Gzip {

// The decompressed bytes of a gzip stream (members one after another are
// joined); nothing when the data is damaged, cut short, or would grow past
// `limit` bytes.
std::optional<QByteArray> inflate(const QByteArray &compressed, qsizetype limit = 256 * 1024 * 1024);

} // namespace Gzip
