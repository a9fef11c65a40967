#pragma once

// Byte-level helpers for tests of the wire messages.

#include <QByteArray>
#include <QList>

// A generated message encoded by protobuf alone.
template <typename Message>
QByteArray encodeMessage(const Message &message)
{
    return QByteArray::fromStdString(message.SerializeAsString());
}

// Field numbers of a message's top level, in the order they are written.
inline QList<int> fieldNumbers(const QByteArray &data)
{
    QList<int> numbers;
    int i = 0;
    auto varint = [&]() {
        quint64 v = 0;
        for (int shift = 0; i < data.size(); shift += 7) {
            const quint8 b = quint8(data[i++]);
            v |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80))
                break;
        }
        return v;
    };
    while (i < data.size()) {
        const quint64 tag = varint();
        numbers << int(tag >> 3);
        switch (tag & 7) {
        case 0: varint(); break;
        case 1: i += 8; break;
        case 5: i += 4; break;
        case 2: i += int(varint()); break;
        default: return numbers;
        }
    }
    return numbers;
}
