// The wire messages byte by byte: field numbers and types, zig-zag and plain
// integers, dates, unknown fields and field order.

#include "WireBytes.h"
#include "WireLists.h"
#include "corvane_wire.pb.h"

#include <QTest>

using corvane::wire::Alllists;
using corvane::wire::Todolist;
using Item = corvane::wire::Todolist_Todoitems;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

} // namespace

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void emptyMessageIsZeroBytes();
    void nameOnlyListHasItsExactBytes();
    void itemsFieldKeyIsThreeBytes();
    void identifiersUseTheirOwnIntegerKinds();
    void datesAreWholeSecondsAsFixed64();
    void datesOutsideThe32BitRangeAreNeverWrapped_data();
    void datesOutsideThe32BitRangeAreNeverWrapped();
    void incomingDatesAreReadWithoutOverflow();
    void filesEntriesParseAndAreIgnored();
    void unknownFieldsSurviveAndKeepAscendingOrder();
    void garbageIsRefused_data();
    void garbageIsRefused();
    void low32TakesTheLowBits_data();
    void low32TakesTheLowBits();
};

void TestWire::emptyMessageIsZeroBytes()
{
    WireLists empty;
    QCOMPARE(empty.encode(), QByteArray());
    const auto parsed = WireLists::parse(QByteArray());
    QVERIFY(parsed);
    QCOMPARE(parsed->listCount(), 0);
}

void TestWire::nameOnlyListHasItsExactBytes()
{
    WireLists lists;
    lists.message().add_todolist()->set_name("Q");
    QCOMPARE(lists.encode(), bytes({0xC2, 0x3E, 0x03, 0x3A, 0x01, 'Q'}));

    const auto back = WireLists::parse(lists.encode());
    QVERIFY(back);
    QCOMPARE(back->listCount(), 1);
    QCOMPARE(QString::fromStdString(back->message().todolist(0).name()), QStringLiteral("Q"));
    QVERIFY(!back->message().todolist(0).has_idd());
}

void TestWire::itemsFieldKeyIsThreeBytes()
{
    Todolist list;
    list.add_todoitems();
    QCOMPARE(encodeMessage(list), bytes({0x82, 0xF1, 0x04, 0x00}));
}

void TestWire::identifiersUseTheirOwnIntegerKinds()
{
    Item item;
    item.set_idd(-5);
    QCOMPARE(encodeMessage(item), bytes({0x28, 0x09}));

    Todolist list;
    list.set_idd(-5);
    QCOMPARE(encodeMessage(list), bytes({0x78, 0xFB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}));

    Item itemBack;
    QVERIFY(itemBack.ParseFromString(encodeMessage(item).toStdString()));
    QCOMPARE(itemBack.idd(), -5);
    Todolist listBack;
    QVERIFY(listBack.ParseFromString(encodeMessage(list).toStdString()));
    QCOMPARE(listBack.idd(), -5);

    // serverId is a plain int64, parentId and childId zig-zag.
    Item other;
    other.set_serverid(-1);
    other.set_parentid(-1);
    const QByteArray encoded = encodeMessage(other);
    QCOMPARE(encoded.left(2), bytes({0xA0, 0x01}).left(2)); // field 20 (parentId), varint
    QCOMPARE(encoded.mid(2, 1), bytes({0x01}));              // zig-zag -1
    QCOMPARE(encoded.size(), 3 + 2 + 10);                    // field 24 key (2 bytes) + ten-byte -1
}

void TestWire::datesAreWholeSecondsAsFixed64()
{
    const QDateTime june(QDate(2012, 6, 1), QTime(0, 0), Qt::UTC);
    const quint64 seconds = WireFormat::dateToWire(june.addMSecs(999)); // fractions are dropped
    QCOMPARE(seconds, quint64(1338508800));

    Item item;
    item.set_duedate(seconds);
    const QByteArray encoded = encodeMessage(item);
    QCOMPARE(encoded, bytes({0x21, 0x00, 0x06, 0xC8, 0x4F, 0x00, 0x00, 0x00, 0x00}));
    Item back;
    QVERIFY(back.ParseFromString(encoded.toStdString()));
    QCOMPARE(WireFormat::dateFromWire(back.duedate()), june);
    QVERIFY(!WireFormat::dateFromWire(0).isValid());
    QCOMPARE(WireFormat::dateToWire(QDateTime()), quint64(0));
}

void TestWire::datesOutsideThe32BitRangeAreNeverWrapped_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<quint64>("expected");
    QTest::newRow("epoch") << QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC) << quint64(0);
    QTest::newRow("before the epoch") << QDateTime(QDate(1969, 7, 20), QTime(20, 17), Qt::UTC) << quint64(0);
    QTest::newRow("last 32-bit second") << QDateTime(QDate(2038, 1, 19), QTime(3, 14, 7), Qt::UTC) << quint64(2147483647);
    QTest::newRow("after 2038") << QDateTime(QDate(2100, 1, 1), QTime(0, 0), Qt::UTC) << quint64(2147483647);
    QTest::newRow("year 9000") << QDateTime(QDate(9000, 1, 1), QTime(0, 0), Qt::UTC) << quint64(2147483647);
}

void TestWire::datesOutsideThe32BitRangeAreNeverWrapped()
{
    QFETCH(QDateTime, date);
    QFETCH(quint64, expected);
    QCOMPARE(WireFormat::dateToWire(date), expected);
}

void TestWire::incomingDatesAreReadWithoutOverflow()
{
    // Seconds past 2038 are read as they are (unsigned), not as negatives.
    const QDateTime after2038 = WireFormat::dateFromWire(quint64(3000000000));
    QCOMPARE(after2038.toSecsSinceEpoch(), qint64(3000000000));
    // Absurd values are held at the end of year 9999 instead of overflowing.
    const QDateTime huge = WireFormat::dateFromWire(std::numeric_limits<quint64>::max());
    QVERIFY(huge.isValid());
    QCOMPARE(huge.toUTC().date(), QDate(9999, 12, 31));
    const QDateTime signBit = WireFormat::dateFromWire(quint64(1) << 63);
    QVERIFY(signBit.isValid());
    QVERIFY(signBit > after2038);
}

void TestWire::filesEntriesParseAndAreIgnored()
{
    Todolist list;
    Item *item = list.add_todoitems();
    item->set_name("with files");
    item->add_files("a.pdf");
    item->add_files("b.png");
    WireLists lists;
    *lists.message().add_todolist() = list;
    const auto back = WireLists::parse(lists.encode());
    QVERIFY(back);
    QCOMPARE(back->message().todolist(0).todoitems(0).name(), std::string("with files"));
}

void TestWire::unknownFieldsSurviveAndKeepAscendingOrder()
{
    // A list with name (7), an unknown varint field 50, and one item carrying
    // an unknown field 40 after its name (13); the top level has unknown 2000.
    Todolist list;
    list.set_name("L");
    list.set_index(3);
    Item *item = list.add_todoitems();
    item->set_name("I");
    QByteArray itemBytes = encodeMessage(*item) + bytes({0xC0, 0x02, 0x07}); // field 40, varint 7
    QByteArray listBytes = bytes({0x10, 0x03, 0x3A, 0x01, 'L'}) + bytes({0x90, 0x03, 0x2A})  // field 50 = 42
        + bytes({0x82, 0xF1, 0x04, char(itemBytes.size())}) + itemBytes;
    QByteArray all = bytes({0x82, 0x7D, 0x01, 0x01})  // field 2000, length 1, one byte
        + bytes({0xC2, 0x3E, char(listBytes.size())}) + listBytes;

    const auto parsed = WireLists::parse(all);
    QVERIFY(parsed);
    QCOMPARE(parsed->message().todolist(0).name(), std::string("L"));
    const QByteArray again = parsed->encode();

    // Everything survives, each level in ascending field order.
    QCOMPARE(again.size(), all.size());
    QCOMPARE(fieldNumbers(again), (QList<int>{1000, 2000}));
    const auto reparsed = WireLists::parse(again);
    QVERIFY(reparsed);
    // Re-encoding the re-parsed message gives the same bytes: the order is stable.
    QCOMPARE(reparsed->encode(), again);
    // The unknown list field 50 sits between 7 (name) and 10000 (items).
    const int listStart = again.indexOf(bytes({0x10, 0x03}));
    const QByteArray listPart = again.mid(listStart);
    QCOMPARE(fieldNumbers(listPart).mid(0, 4), (QList<int>{2, 7, 50, 10000}));
    // Inside the item: name (13) before the unknown 40.
    const QByteArray itemPart = listPart.mid(listPart.indexOf(bytes({0x82, 0xF1, 0x04})) + 4);
    QCOMPARE(fieldNumbers(itemPart).mid(0, 2), (QList<int>{13, 40}));
}

void TestWire::garbageIsRefused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("truncated length") << bytes({0xC2, 0x3E, 0x05, 0x3A});
    QTest::newRow("bad wire type") << bytes({0x07, 0x01});
    QTest::newRow("text") << QByteArray("hello, this is not a message");
    QTest::newRow("unterminated varint") << bytes({0x08, 0xFF, 0xFF});
}

void TestWire::garbageIsRefused()
{
    QFETCH(QByteArray, data);
    QString error;
    QVERIFY(!WireLists::parse(data, &error));
    QVERIFY(!error.isEmpty());
}

void TestWire::low32TakesTheLowBits_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("small") << qint64(42) << 42;
    QTest::newRow("negative") << qint64(-5) << -5;
    QTest::newRow("2^32 + 7") << ((qint64(1) << 32) + 7) << 7;
    QTest::newRow("2^31") << (qint64(1) << 31) << int(-2147483647 - 1);
}

void TestWire::low32TakesTheLowBits()
{
    QFETCH(qint64, value);
    QFETCH(int, expected);
    QCOMPARE(WireFormat::low32(value), expected);
}

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
