#include "WireLists.h"

#include "corvane_wire.pb.h"

#include <google/protobuf/io/coded_stream.h>

#include <algorithm>
#include <vector>

using corvane::wire::Alllists;

namespace WireFormat {

quint64 dateToWire(const QDateTime &date)
{
    if (!date.isValid())
        return 0;
    const qint64 seconds = date.toMSecsSinceEpoch() / 1000; // truncated toward zero
    return seconds > 0 ? quint64(seconds) : 0;
}

QDateTime dateFromWire(quint64 seconds)
{
    if (seconds == 0)
        return {};
    static const quint64 lastSecond = quint64(QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC).toSecsSinceEpoch());
    return QDateTime::fromSecsSinceEpoch(qint64(std::min(seconds, lastSecond)));
}

} // namespace WireFormat

namespace {

// Rewrites one message's fields in ascending field number (stable), recursing
// into the nested messages of the schema: Alllists.todolist (1000) holds
// Todolist, Todolist.todoitems (10000) holds items. protobuf writes unknown
// fields after the known ones; this puts them in their place.
bool reorder(const std::string &in, int level, std::string *out)
{
    struct Field {
        quint32 number;
        std::string bytes;
    };
    std::vector<Field> fields;
    google::protobuf::io::CodedInputStream input(reinterpret_cast<const quint8 *>(in.data()), int(in.size()));
    while (true) {
        const quint32 tag = input.ReadTag();
        if (tag == 0)
            break;
        const quint32 number = tag >> 3;
        const int wireType = int(tag & 7);
        std::string encoded;
        {
            google::protobuf::io::StringOutputStream sink(&encoded);
            google::protobuf::io::CodedOutputStream output(&sink);
            output.WriteTag(tag);
            switch (wireType) {
            case 0: {
                uint64_t v;
                if (!input.ReadVarint64(&v))
                    return false;
                output.WriteVarint64(v);
                break;
            }
            case 1: {
                uint64_t v;
                if (!input.ReadLittleEndian64(&v))
                    return false;
                output.WriteLittleEndian64(v);
                break;
            }
            case 5: {
                uint32_t v;
                if (!input.ReadLittleEndian32(&v))
                    return false;
                output.WriteLittleEndian32(v);
                break;
            }
            case 2: {
                uint32_t length;
                std::string payload;
                if (!input.ReadVarint32(&length) || !input.ReadString(&payload, int(length)))
                    return false;
                const bool nested = (level == 0 && number == 1000) || (level == 1 && number == 10000);
                if (nested) {
                    std::string sorted;
                    if (!reorder(payload, level + 1, &sorted))
                        return false;
                    payload.swap(sorted);
                }
                output.WriteVarint32(quint32(payload.size()));
                output.WriteString(payload);
                break;
            }
            default:
                return false; // groups are not used by this schema
            }
        }
        fields.push_back({number, std::move(encoded)});
    }
    std::stable_sort(fields.begin(), fields.end(), [](const Field &a, const Field &b) { return a.number < b.number; });
    out->clear();
    for (const Field &f : fields)
        out->append(f.bytes);
    return true;
}

bool hasUnknownFields(const Alllists &message)
{
    if (!message.unknown_fields().empty())
        return true;
    for (const auto &list : message.todolist()) {
        if (!list.unknown_fields().empty())
            return true;
        for (const auto &item : list.todoitems()) {
            if (!item.unknown_fields().empty())
                return true;
        }
    }
    return false;
}

} // namespace

WireLists::WireLists()
    : m_message(std::make_unique<Alllists>())
{
}

WireLists::~WireLists() = default;
WireLists::WireLists(WireLists &&other) noexcept = default;
WireLists &WireLists::operator=(WireLists &&other) noexcept = default;

WireLists::WireLists(const WireLists &other)
    : m_message(std::make_unique<Alllists>(*other.m_message))
{
}

WireLists &WireLists::operator=(const WireLists &other)
{
    if (this != &other)
        m_message = std::make_unique<Alllists>(*other.m_message);
    return *this;
}

std::optional<WireLists> WireLists::parse(const QByteArray &bytes, QString *error)
{
    WireLists lists;
    if (!lists.m_message->ParseFromArray(bytes.constData(), int(bytes.size()))) {
        if (error)
            *error = QStringLiteral("the data is not a valid list message (%1 bytes)").arg(bytes.size());
        return std::nullopt;
    }
    return lists;
}

QByteArray WireLists::encode() const
{
    std::string bytes;
    m_message->SerializeToString(&bytes);
    if (hasUnknownFields(*m_message)) {
        std::string sorted;
        if (reorder(bytes, 0, &sorted))
            bytes.swap(sorted);
    }
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

int WireLists::listCount() const
{
    return m_message->todolist_size();
}

Alllists &WireLists::message()
{
    return *m_message;
}

const Alllists &WireLists::message() const
{
    return *m_message;
}
