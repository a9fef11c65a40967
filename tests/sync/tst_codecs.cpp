// The codecs a sync reply passes through: gzip, then Base64.
#include "Base64.h"
#include "Gzip.h"

#include <QRandomGenerator>
#include <QTest>

#include <zlib.h>

namespace {

// A gzip stream of the bytes, as a web server would send it.
QByteArray gzip(const QByteArray &bytes)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(bytes.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.constData()));
    stream.avail_in = uInt(bytes.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

} // namespace

class TestCodecs : public QObject
{
    Q_OBJECT
private slots:
    void base64Decode_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("decodes");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("empty") << "" << true << QByteArray();
        QTest::newRow("no padding") << "TWFu" << true << QByteArray("Man");
        QTest::newRow("two padding") << "TQ==" << true << QByteArray("M");
        QTest::newRow("plus and slash survive") << "+/+/" << true << QByteArray("\xfb\xff\xbf", 3);
        QTest::newRow("length not a multiple of 4") << "TWFuTQ" << false << QByteArray();
        QTest::newRow("a line break counts") << "TWFu\nTQ==" << false << QByteArray();
        QTest::newRow("not plain ASCII") << "TWä=" << false << QByteArray();
        // Outside the alphabet: zero bits, no error.
        QTest::newRow("a space inside") << "T Fu" << true << QByteArray("L\x01n", 3);
        QTest::newRow("padding only sets the length") << "====" << true << QByteArray();
    }

    // The server's reply is read by these rules; whatever fails here is a login failure.
    void base64Decode()
    {
        QFETCH(QString, text);
        QFETCH(bool, decodes);
        const std::optional<QByteArray> bytes = Base64::decode(text);
        QCOMPARE(bytes.has_value(), decodes);
        if (decodes)
            QTEST(*bytes, "bytes");
    }

    // Every byte value and every length survive a round trip.
    void base64RoundTrip()
    {
        for (int length = 0; length < 64; ++length) {
            QByteArray bytes(length, Qt::Uninitialized);
            for (char &b : bytes)
                b = char(QRandomGenerator::global()->bounded(256));
            QCOMPARE(Base64::decode(Base64::encode(bytes)), std::optional<QByteArray>(bytes));
        }
    }

    void gzipInflate_data()
    {
        const QByteArray reply = QByteArray("CiQKBFdvcmsQARgA").repeated(5000);
        QTest::addColumn<QByteArray>("compressed");
        QTest::addColumn<bool>("inflates");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("a reply") << gzip(reply) << true << reply;
        QTest::newRow("two members") << gzip("CiQK") + gzip("BFdv") << true << QByteArray("CiQKBFdv");
        QTest::newRow("cut short") << gzip(reply).chopped(10) << false << QByteArray();
        QTest::newRow("not gzip") << QByteArray("CiQKBFdvcmsQARgA") << false << QByteArray();
        QTest::newRow("empty") << QByteArray() << false << QByteArray();
    }

    // A damaged or cut-off reply is refused whole, never merged in part.
    void gzipInflate()
    {
        QFETCH(QByteArray, compressed);
        QFETCH(bool, inflates);
        const std::optional<QByteArray> bytes = Gzip::inflate(compressed);
        QCOMPARE(bytes.has_value(), inflates);
        if (inflates)
            QTEST(*bytes, "bytes");
    }

    // A small bomb stops at the limit.
    void gzipLimit()
    {
        const QByteArray zeros(1 << 20, '\0');
        QVERIFY(Gzip::inflate(gzip(zeros), 1 << 20).has_value());
        QVERIFY(!Gzip::inflate(gzip(zeros), (1 << 20) - 1).has_value());
    }
};

QTEST_GUILESS_MAIN(TestCodecs)
#include "tst_codecs.moc"
