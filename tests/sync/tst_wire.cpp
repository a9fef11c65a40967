// The wire messages byte by byte: the keys and integer kinds the server
// expects, dates read back without overflow, and unknown fields kept in
// ascending field order.

#include "WireBytes.h"
#include "WireLists.h"
#include "corvane_wire.pb.h"

#include <QTest>


using corvane::wire::Todolist;
using Item = corvane::wire::Todolist_Todoitems;

class TestWire : public QObject
{
    Q_OBJECT

private slots:
    void messagesHaveTheirExactBytes_data()
    {
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QByteArray>("expected");

        WireLists nameOnly;
        nameOnly.message().add_todolist()->set_name("Q");
        Todolist emptyItem;
        emptyItem.add_todoitems();
        Todolist listID;
        listID.set_idd(-5);
        Item itemIDs;
        itemIDs.set_idd(-5);
        itemIDs.set_parentid(-1);
        itemIDs.set_serverid(-1);
        Item due;
        due.set_duedate(1338508800); // 2012-06-01 00:00 UTC
        Item files;
        files.add_files("a.pdf");

        QTest::newRow("no lists") << WireLists().encode() << QByteArray();
        QTest::newRow("list with a name only") << nameOnly.encode() << QByteArray::fromHex("c23e03" "3a0151");
        QTest::newRow("items key") << encodeMessage(emptyItem) << QByteArray::fromHex("82f104" "00");
        QTest::newRow("list idd plain") << encodeMessage(listID) << QByteArray::fromHex("78" "fbffffffffffffffff01");
        QTest::newRow("item idd and parentId zig-zag, serverId plain")
            << encodeMessage(itemIDs) << QByteArray::fromHex("28" "09" "a001" "01" "c001" "ffffffffffffffffff01");
        QTest::newRow("due date fixed64") << encodeMessage(due) << QByteArray::fromHex("21" "0006c84f00000000");
        QTest::newRow("files entry") << encodeMessage(files) << QByteArray::fromHex("9a02" "05") + "a.pdf";
    }

    void messagesHaveTheirExactBytes()
    {
        QFETCH(QByteArray, encoded);
        QFETCH(QByteArray, expected);
        QCOMPARE(encoded, expected);
    }

    void incomingDatesAreReadUnsigned_data()
    {
        const QDateTime lastOf9999(QDate(9999, 12, 31), QTime(23, 59, 59), Qt::UTC);
        QTest::addColumn<quint64>("seconds");
        QTest::addColumn<QDateTime>("date");
        QTest::newRow("zero is no date") << quint64(0) << QDateTime();
        QTest::newRow("after 2100") << quint64(5000000000) << QDateTime::fromSecsSinceEpoch(5000000000, Qt::UTC);
        QTest::newRow("sign bit") << (quint64(1) << 63) << lastOf9999;
    }

    void incomingDatesAreReadUnsigned()
    {
        QFETCH(quint64, seconds);
        QFETCH(QDateTime, date);
        QCOMPARE(WireFormat::dateFromWire(seconds), date);
    }

    void unknownFieldsSurviveInAscendingOrder()
    {
        // Known: the list's index (2), name (7) and items (10000), the item's
        // name (13). Unknown: 2000 at the top, 50 in the list, 40 in the item.
        const QByteArray list = QByteArray::fromHex("1003" "3a014c" "90032a" "82f10406" "6a0149" "c00207");
        const std::optional<WireLists> parsed = WireLists::parse(QByteArray::fromHex("827d0101" "c23e12") + list);
        QVERIFY(parsed);
        // Written back whole, in ascending order at every level (protobuf alone
        // writes unknown fields after the known ones).
        QCOMPARE(parsed->encode(), QByteArray::fromHex("c23e12") + list + QByteArray::fromHex("827d0101"));
    }
};

QTEST_GUILESS_MAIN(TestWire)
#include "tst_wire.moc"
