#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace corvane::wire {
class Alllists;
}

// Conversions between record values and wire fields.
namespace WireFormat {

// Whole seconds since the Unix epoch for a date field, exact for any date
// after the epoch (the field is 64 bits and is read back unsigned, so dates
// past 2038-01-19 survive a round trip). No date, and dates at or before the
// epoch, go out as 0 ("no date").
quint64 dateToWire(const QDateTime &date);
// A date field read back: 0 is no date; seconds are read unsigned and a
// value beyond the year 9999 is taken as the last second of 9999.
QDateTime dateFromWire(quint64 seconds);
// The low 32 bits of an integer field, as a signed 32-bit number.
inline qint32 low32(qint64 value) { return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(value))); }

} // namespace WireFormat

// A decoded or built `Alllists` message: the unit of every exchange (sync
// upload and reply, list files, help list). Fields this version does not
// know are kept and written out again.
class WireLists
{
public:
    WireLists();
    ~WireLists();
    WireLists(WireLists &&other) noexcept;
    WireLists &operator=(WireLists &&other) noexcept;
    WireLists(const WireLists &other);
    WireLists &operator=(const WireLists &other);

    // None, with the reason, for bytes that are not such a message.
    static std::optional<WireLists> parse(const QByteArray &bytes, QString *error = nullptr);

    // Fields in ascending number at every level, unknown fields included.
    QByteArray encode() const;

    int listCount() const;

    // The generated message, for the code of the sync layer.
    corvane::wire::Alllists &message();
    const corvane::wire::Alllists &message() const;

private:
    std::unique_ptr<corvane::wire::Alllists> m_message;
};
