#include "Gzip.h"

#include <zlib.h>

namespace {

constexpr int kGzipWindowBits = 16 + MAX_WBITS; // a gzip header, not a zlib one

} // namespace

std::optional<QByteArray> Gzip::inflate(const QByteArray &compressed, qsizetype limit)
{
    z_stream stream{};
    if (inflateInit2(&stream, kGzipWindowBits) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    stream.avail_in = uInt(compressed.size());

    QByteArray out;
    char buffer[64 * 1024];
    bool complete = false;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        const int status = ::inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break; // damaged, or no progress: the input ended inside a member
        out.append(buffer, qsizetype(sizeof buffer - stream.avail_out));
        if (out.size() > limit)
            break;
        if (status == Z_STREAM_END) {
            complete = stream.avail_in == 0;
            if (complete || inflateReset(&stream) != Z_OK)
                break;
            continue; // the next member of a multi-member stream
        }
        if (stream.avail_in == 0 && stream.avail_out != 0)
            break; // all input read, the member not finished
    }
    inflateEnd(&stream);
    if (!complete)
        return std::nullopt;
    return out;
}
