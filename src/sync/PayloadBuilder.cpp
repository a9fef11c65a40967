#include "PayloadBuilder.h"

#include "Logging.h"
#include "MyDocument.h"
#include "ProjectListController.h"
#include "SyncUtils.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include "corvane_wire.pb.h"

#include <QtEndian>

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/wire_format_lite.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using corvane::wire::Alllists;
using corvane::wire::Todolist;
using corvane::wire::Todolist_Todoitems;

// The payloads are written straight to their encoded bytes, field by field in
// ascending field number (the order every encoder of these messages emits, so
// the bytes are the ones the generated code would write). A sync uploads
// every list and item; building protobuf objects first and encoding them
// after costs several times the encoding alone. The message-returning
// operations parse the same bytes, so there is one mapping from records to
// fields.

namespace {

using Item = Todolist_Todoitems;

// The default lists a new store starts with; left untouched they are never
// uploaded by an updated payload.
const QString kDefaultListName = QStringLiteral("My List");
const QString kDefaultProjectName = QStringLiteral("My Project");

// --- Field encoding ------------------------------------------------------------------

constexpr int kWireVarint = google::protobuf::internal::WireFormatLite::WIRETYPE_VARINT;
constexpr int kWireFixed64 = google::protobuf::internal::WireFormatLite::WIRETYPE_FIXED64;
constexpr int kWireLengthDelimited = google::protobuf::internal::WireFormatLite::WIRETYPE_LENGTH_DELIMITED;

inline int varintSize(quint64 value)
{
    int n = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++n;
    }
    return n;
}

inline char *writeVarint(char *p, quint64 value)
{
    while (value >= 0x80) {
        *p++ = char(value | 0x80);
        value >>= 7;
    }
    *p++ = char(value);
    return p;
}

// Copies the leading ASCII characters of a UTF-16 text as bytes, eight or
// four at a time; answers how many were copied.
inline qsizetype copyAscii(const char16_t *source, qsizetype length, char *target)
{
    qsizetype i = 0;
#if defined(__SSE2__)
    const __m128i nonAscii = _mm_set1_epi16(short(0xff80));
    for (; i + 8 <= length; i += 8) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(chunk, nonAscii), _mm_setzero_si128())) != 0xffff)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i *>(target + i), _mm_packus_epi16(chunk, chunk));
    }
#endif
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    for (; i + 4 <= length; i += 4) {
        quint64 chunk;
        memcpy(&chunk, source + i, sizeof chunk);
        if (chunk & 0xff80ff80ff80ff80ULL)
            break;
        for (int k = 0; k < 4; ++k)
            target[i + k] = char(chunk >> (16 * k));
    }
#endif
    for (; i < length && source[i] < 0x80; ++i)
        target[i] = char(source[i]);
    return i;
}

// The encoded bytes of a payload, written in place: every field reserves room
// for its largest encoding and then advances by what it wrote. Nested
// messages (lists, items) are written where they go; the room left for their
// length is a guess that fits the usual sizes, and the body moves only when
// the guess was wrong.
class WireBuffer
{
public:
    qsizetype size() const { return m_size; }
    const char *data() const { return m_data; }
    // Empties the buffer and keeps its room.
    void clear() { m_size = 0; }

    void putInt(int field, qint64 value) // int32, int64: negatives sign-extended (ten bytes)
    {
        char *p = room(20);
        p = writeVarint(p, tag(field, kWireVarint));
        m_size = writeVarint(p, quint64(value)) - m_data;
    }
    void putSInt(int field, qint64 value)
    {
        putInt(field, qint64(google::protobuf::internal::WireFormatLite::ZigZagEncode64(value)));
    }
    void putBool(int field, bool value) { putInt(field, value ? 1 : 0); }
    void putFixed64(int field, quint64 value)
    {
        char *p = room(18);
        p = writeVarint(p, tag(field, kWireFixed64));
        qToLittleEndian(value, p);
        m_size = (p + 8) - m_data;
    }
    void putBytes(int field, const char *bytes, qsizetype length)
    {
        char *p = room(20 + length);
        p = writeVarint(p, tag(field, kWireLengthDelimited));
        p = writeVarint(p, quint64(length));
        memcpy(p, bytes, size_t(length));
        m_size = (p + length) - m_data;
    }
    // UTF-8. ASCII, the usual case, is copied as it is; the length is written
    // for that case first and corrected when other characters make it longer.
    void putText(int field, const QString &text)
    {
        const qsizetype length = text.size();
        const int lengthRoom = varintSize(quint64(length));
        char *p = room(10 + lengthRoom + 3 * length);
        p = writeVarint(p, tag(field, kWireLengthDelimited));
        char *body = p + lengthRoom;
        const char16_t *source = reinterpret_cast<const char16_t *>(text.constData());
        const qsizetype ascii = copyAscii(source, length, body);
        char *end = body + ascii;
        if (ascii < length) {
            // The rest as QString::toUtf8() has it (at most three bytes a character).
            const QByteArray rest = QStringView(text).mid(ascii).toUtf8();
            memcpy(end, rest.constData(), size_t(rest.size()));
            end += rest.size();
        }
        m_size = finishLengthDelimited(p - m_data, body - m_data, end - m_data, lengthRoom);
    }

    // A nested message: its fields follow begin(); end() writes its length.
    qsizetype beginNested(int field, int lengthRoom)
    {
        char *p = room(10 + lengthRoom);
        p = writeVarint(p, tag(field, kWireLengthDelimited));
        m_size = (p - m_data) + lengthRoom;
        return m_size;
    }
    void endNested(qsizetype bodyStart, int lengthRoom)
    {
        m_size = finishLengthDelimited(bodyStart - lengthRoom, bodyStart, m_size, lengthRoom);
    }

private:
    static quint64 tag(int field, int type) { return (quint64(field) << 3) | quint64(type); }

    // Room for `extra` more bytes; the write position.
    char *room(qsizetype extra)
    {
        if (m_capacity - m_size < extra) {
            m_capacity = std::max(m_size + extra, m_capacity * 2 + 256);
            m_bytes.resize(m_capacity);
            m_data = m_bytes.data();
        }
        return m_data + m_size;
    }

    // Writes the length of the body [bodyAt, endAt) at lengthAt, which was
    // given `lengthRoom` bytes, moving the body when its length needs a
    // different number; answers the end of the field.
    qsizetype finishLengthDelimited(qsizetype lengthAt, qsizetype bodyAt, qsizetype endAt, int lengthRoom)
    {
        const qsizetype length = endAt - bodyAt;
        const int lengthSize = varintSize(quint64(length));
        if (lengthSize != lengthRoom) {
            if (lengthSize > lengthRoom) {
                m_size = endAt;
                room(lengthSize - lengthRoom);
            }
            memmove(m_data + lengthAt + lengthSize, m_data + bodyAt, size_t(length));
        }
        writeVarint(m_data + lengthAt, quint64(length));
        return lengthAt + lengthSize + length;
    }

    QByteArray m_bytes;
    char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

// --- Attribute conversions --------------------------------------------------------------

// Integer attributes go out as their 32-bit value sign-extended into the
// field, whatever the field's width.
inline qint64 wireInt(qint64 stored)
{
    return WireFormat::low32(stored);
}

// fixed64 fields holding a stored integer (timestamp): the 32-bit value
// sign-extended to 64 bits and written as the field's unsigned bits, so a
// negative timestamp travels as a very large unsigned number (two's complement).
inline quint64 wireFixed(qint64 stored)
{
    return quint64(qint64(WireFormat::low32(stored)));
}

// centerX/centerY are kept as floating-point numbers: the fraction is dropped
// (toward zero) and the result held to the 32-bit range; a value that is not
// a number goes out as 0.
inline qint32 wireTruncated(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double t = std::trunc(value);
    if (t <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    if (t >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    return qint32(t);
}

// The device identifier as UTF-8, made once.
const std::string &deviceUidUtf8()
{
    static const std::string uid = SyncUtils::getDeviceUID().toStdString();
    return uid;
}

// Dates go out as whole seconds since the epoch (truncated toward zero); no
// date and dates at or before the epoch as 0.
inline quint64 wireDate(std::optional<qint64> msecsSinceEpoch)
{
    const qint64 seconds = msecsSinceEpoch ? *msecsSinceEpoch / 1000 : 0;
    return seconds > 0 ? quint64(seconds) : 0;
}

// The buffer payloads are written in, kept from one payload to the next by
// the thread that builds them: a payload of a large store is tens of
// megabytes, and a buffer grown afresh for each one is copied on every
// doubling and, past the allocator's mapping threshold, is new memory
// (page faults) every time. The result is copied out at its exact size.
WireBuffer &payloadScratch()
{
    thread_local WireBuffer buffer;
    buffer.clear();
    return buffer;
}

// Room left for the length of a nested message: two bytes hold an item of up
// to 16 KB, three bytes a list of up to 2 MB.
constexpr int kItemLengthRoom = 2;
constexpr int kListLengthRoom = 3;

// --- Encoder ------------------------------------------------------------------------------

// Writes list and item messages for one operation.
class PayloadEncoder
{
public:
    explicit PayloadEncoder(MyDocument &document)
        : m_document(document)
    {
    }

    // One Todolist message body, its selected items included; answers the
    // number of items written.
    int writeList(TODOList *list, bool allItems, bool resetIDs, WireBuffer &out);
    // One item message body.
    void writeItem(const TODOItem *item, bool resetID, WireBuffer &out);

    // Appends the list as one entry of an Alllists.
    int appendList(TODOList *list, bool allItems, bool resetIDs, WireBuffer &payload)
    {
        const qsizetype body = payload.beginNested(Alllists::kTodolistFieldNumber, kListLengthRoom);
        const int items = writeList(list, allItems, resetIDs, payload);
        payload.endNested(body, kListLengthRoom);
        return items;
    }

private:
    MyDocument &m_document;
};

void PayloadEncoder::writeItem(const TODOItem *item, bool resetID, WireBuffer &out)
{
    out.putInt(Item::kStateFieldNumber, wireInt(item->state()));
    out.putInt(Item::kIndexFieldNumber, wireInt(item->index()));
    out.putInt(Item::kQuadrantFieldNumber, wireInt(item->quadrant()));
    out.putFixed64(Item::kDueDateFieldNumber, wireDate(item->dueDateMSecs()));
    out.putSInt(Item::kIddFieldNumber, resetID ? 0 : wireInt(item->id_()));
    out.putText(Item::kOwnerFieldNumber, item->owner());
    out.putText(Item::kDescriptionTextFieldNumber, item->descriptionText());
    out.putText(Item::kEditedByFieldNumber, item->edited_by());
    out.putFixed64(Item::kTimestampFieldNumber, wireFixed(item->timestamp()));
    out.putText(Item::kIconFieldNumber, item->icon());
    out.putInt(Item::kEditedSinceFieldNumber, wireInt(item->edited_since()));
    out.putInt(Item::kCompletionPercentageFieldNumber, wireInt(item->completionPercentage()));
    out.putText(Item::kNameFieldNumber, item->name());
    out.putText(Item::kStatusFieldNumber, item->status());
    out.putFixed64(Item::kCreationDateFieldNumber, wireDate(item->creationDateMSecs()));
    out.putFixed64(Item::kCompletionDateFieldNumber, wireDate(item->completionDateMSecs()));
    out.putText(Item::kDescriptionRichTextFieldNumber, item->descriptionRichText());
    out.putText(Item::kFrequencyFieldNumber, item->frequency());
    out.putFixed64(Item::kUntilDateFieldNumber, wireDate(item->untilDateMSecs()));
    out.putSInt(Item::kParentIdFieldNumber, wireInt(item->parentID()));
    out.putSInt(Item::kChildIdFieldNumber, wireInt(item->childID()));
    out.putFixed64(Item::kStartDateFieldNumber, wireDate(item->startDateMSecs()));
    out.putText(Item::kMacResourceUrlFieldNumber, item->macResourceURL());
    // serverId is the server's to give: never sent.
    // The stored path as it is (not getURI): an item the server has not named
    // yet goes without one.
    out.putText(Item::kResourceUriFieldNumber, item->resourceURI());
    out.putInt(Item::kRequestedTimeFieldNumber, wireInt(item->requestedTime()));
    out.putBool(Item::kAllDayFieldNumber, item->allDay());
    const std::string &device = deviceUidUtf8();
    out.putBytes(Item::kEditedByDeviceFieldNumber, device.data(), qsizetype(device.size()));
    // creatorUsername and editedByUsername are the server's: never sent.
    out.putText(Item::kOwnerUsernameFieldNumber, item->ownerUsername());
    out.putInt(Item::kVersionIdFieldNumber, item->versionID());
    out.putText(Item::kBoxFolderIdFieldNumber, item->boxFolderID());
    out.putInt(Item::kEffortFieldNumber, wireInt(item->effort()));
}

int PayloadEncoder::writeList(TODOList *list, bool allItems, bool resetIDs, WireBuffer &out)
{
    // A list nobody has edited yet is attributed to this computer (stored).
    if (list->edited_by().isEmpty())
        list->setEdited_by(SyncUtils::getDeviceUID());

    out.putInt(Todolist::kCenterYFieldNumber, wireTruncated(list->centerY()));
    out.putInt(Todolist::kIndexFieldNumber, wireInt(list->index()));
    out.putText(Todolist::kOwnerFieldNumber, list->owner());
    out.putInt(Todolist::kDeletedFieldNumber, wireInt(list->deleted()));
    out.putText(Todolist::kTextFirstQuadrantFieldNumber, list->textFirstQuadrant());
    out.putText(Todolist::kColorFourthQuadrantFieldNumber, list->colorFourthQuadrant());
    out.putText(Todolist::kNameFieldNumber, list->name());
    out.putInt(Todolist::kStateFieldNumber, wireInt(list->state()));
    out.putInt(Todolist::kEditedSinceFieldNumber, wireInt(list->edited_since()));
    out.putText(Todolist::kTextFourthQuadrantFieldNumber, list->textFourthQuadrant());
    out.putText(Todolist::kTextThirdQuadrantFieldNumber, list->textThirdQuadrant());
    out.putFixed64(Todolist::kTimestampFieldNumber, wireFixed(list->timestamp()));
    out.putText(Todolist::kColorSecondQuadrantFieldNumber, list->colorSecondQuadrant());
    out.putText(Todolist::kColorThirdQuadrantFieldNumber, list->colorThirdQuadrant());
    out.putInt(Todolist::kIddFieldNumber, resetIDs ? 0 : wireInt(list->id_()));
    out.putText(Todolist::kTextSecondQuadrantFieldNumber, list->textSecondQuadrant());
    out.putText(Todolist::kPasswordFieldNumber, list->password());
    out.putInt(Todolist::kCenterXFieldNumber, wireTruncated(list->centerX()));
    out.putText(Todolist::kColorFirstQuadrantFieldNumber, list->colorFirstQuadrant());
    out.putInt(Todolist::kLastItemIndexFieldNumber, wireInt(list->lastItemIndex()));
    out.putText(Todolist::kEditedByFieldNumber, list->edited_by());
    // The stored path, or the one made from id_, or empty.
    out.putText(Todolist::kResourceUriFieldNumber, list->getURI());
    out.putInt(Todolist::kRequestedTimeFieldNumber, wireInt(list->requestedTime()));
    const std::string &device = deviceUidUtf8();
    out.putBytes(Todolist::kEditedByDeviceFieldNumber, device.data(), qsizetype(device.size()));
    // ownersCountCache and editedByUsername are the server's: never sent.
    out.putInt(Todolist::kVersionIdFieldNumber, list->versionID());
    out.putText(Todolist::kBoxFolderIdFieldNumber, list->boxFolderID());
    out.putText(Todolist::kNotesFieldNumber, list->cv_notes());

    // The items not in state 3, index descending: all of them, or those marked
    // as changed (a mark of exactly 1).
    int written = 0;
    // Waiting for texts from memory is most of the time an item takes;
    // asking for those of items ahead overlaps the waits.
    constexpr qsizetype kTextsAhead = 4;
    const QList<TODOItem *> items = m_document.getAllTODOItemsForTODOList(list);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const TODOItem *item = items[i];
        if (i + kTextsAhead < items.size())
            items[i + kTextsAhead]->prefetchTexts();
        if (!allItems && (item->edited_since() != 1 || item->state() == RecordState::Deleted))
            continue;
        const qsizetype body = out.beginNested(Todolist::kTodoitemsFieldNumber, kItemLengthRoom);
        writeItem(item, resetIDs, out);
        out.endNested(body, kItemLengthRoom);
        ++written;
    }
    return written;
}

} // namespace

PayloadBuilder::PayloadBuilder(MyDocument &document)
    : m_document(document)
{
}

// --- Payloads ----------------------------------------------------------------------

QByteArray PayloadBuilder::makeAllDataForTransfer()
{
    return makeAllDataForTransfer(m_document.projects().getAllProjectsEvenTrashed(), false);
}

QByteArray PayloadBuilder::makeUpdatedDataForTransfer()
{
    return makeUpdatedDataForTransfer(m_document.projects().getAllProjectsEvenTrashed());
}

QByteArray PayloadBuilder::makeAllDataForTransfer(const QList<TODOList *> &lists, bool resetIDs)
{
    PayloadEncoder encoder(m_document);
    WireBuffer &payload = payloadScratch();
    for (TODOList *list : lists) {
        if (!list || list->state() == RecordState::Deleted)
            continue;
        const int items = encoder.appendList(list, true, resetIDs, payload);
        qCInfo(lcSync).noquote()
            << QStringLiteral("Adding list '%1' (id %2) with %3 items").arg(list->name()).arg(list->id_()).arg(items);
    }
    return QByteArray(payload.data(), payload.size());
}

QByteArray PayloadBuilder::makeUpdatedDataForTransfer(const QList<TODOList *> &lists)
{
    PayloadEncoder encoder(m_document);
    WireBuffer &payload = payloadScratch();
    for (TODOList *list : lists) {
        if (!list || list->state() == RecordState::Deleted)
            continue;

        // A changed item marks its list as changed (stored).
        for (const TODOItem *item : m_document.getAllTODOItemsForTODOList(list)) {
            if (item->edited_since() == 1) {
                list->setEdited_since(1);
                break;
            }
        }

        // An untouched default list stays local.
        const QString name = list->name();
        if ((name == kDefaultListName || name == kDefaultProjectName) && list->contains().isEmpty()
            && list->state() == RecordState::Open)
            continue;

        if (list->edited_since() > 0)
            encoder.appendList(list, false, false, payload);
    }
    return QByteArray(payload.data(), payload.size());
}

namespace {

bool mergeInto(google::protobuf::MessageLite &message, const WireBuffer &bytes)
{
    google::protobuf::io::CodedInputStream input(reinterpret_cast<const quint8 *>(bytes.data()), int(bytes.size()));
    return message.MergeFromCodedStream(&input);
}

WireLists parsePayload(const QByteArray &bytes)
{
    WireLists result;
    if (!result.message().ParseFromArray(bytes.constData(), int(bytes.size())))
        qCWarning(lcSync) << "Built payload does not parse:" << bytes.size() << "bytes";
    return result;
}

} // namespace

WireLists PayloadBuilder::allData(const QList<TODOList *> &lists, bool resetIDs)
{
    return parsePayload(makeAllDataForTransfer(lists, resetIDs));
}

WireLists PayloadBuilder::updatedData(const QList<TODOList *> &lists)
{
    return parsePayload(makeUpdatedDataForTransfer(lists));
}

// --- Messages -------------------------------------------------------------------------

// Both add to `out` the way setting its fields would: scalars and texts are
// replaced, items are appended.
void PayloadBuilder::makeDataForList(TODOList *list, bool allItems, bool resetIDs, Todolist *out)
{
    if (!list || !out)
        return;
    PayloadEncoder encoder(m_document);
    WireBuffer bytes;
    encoder.writeList(list, allItems, resetIDs, bytes);
    if (!mergeInto(*out, bytes))
        qCWarning(lcSync) << "Built list message does not parse";
}

void PayloadBuilder::makeDataForItem(const TODOItem *item, bool resetID, Todolist_Todoitems *out)
{
    if (!item || !out)
        return;
    PayloadEncoder encoder(m_document);
    WireBuffer bytes;
    encoder.writeItem(item, resetID, bytes);
    if (!mergeInto(*out, bytes))
        qCWarning(lcSync) << "Built item message does not parse";
}

// --- Lookups -----------------------------------------------------------------------------

QHash<int, TODOList *> PayloadBuilder::getProjectsByID()
{
    QHash<int, TODOList *> byID;
    for (TODOList *list : m_document.projects().getAllProjectsEvenTrashed())
        byID.insert(list->id_(), list);
    return byID;
}

QHash<int, TODOItem *> PayloadBuilder::getItemsByKeyForProject(TODOList *list)
{
    QHash<int, TODOItem *> byID;
    for (TODOItem *item : m_document.getAllTODOItemsForTODOList(list))
        byID.insert(item->id_(), item);
    return byID;
}
