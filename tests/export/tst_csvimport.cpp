#include "ArrayController.h"
#include "CsvImport.h"
#include "CsvReader.h"
#include "DocumentFakes.h"
#include "TestSupport.h"
#include "UndoManager.h"

#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Records as "field|field", one per record.
QStringList flattened(const QList<QStringList> &records)
{
    QStringList lines;
    for (const QStringList &record : records)
        lines << record.join(u'|');
    return lines;
}

QByteArray encoded(QStringConverter::Encoding encoding, const QString &text)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::Stateless);
    return encoder.encode(text);
}

} // namespace

class tst_CsvImport : public QObject
{
    Q_OBJECT

private slots:
    void dialect_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("records");  // "field|field"
        QTest::addColumn<QString>("error");        // the reader's error text; empty when read

        const auto row = [](const char *name, const QByteArray &bytes, const QStringList &records, const QString &error = {}) {
            QTest::newRow(name) << bytes << records << error;
        };
        row("quoted comma", "Buy milk,\"a, b\"\n", {"Buy milk|a, b"});
        row("quoted line break", "a,\"x\ny\"\n", {"a|x\ny"});
        row("doubled quotes", "a,\"say \"\"hi\"\"\"\n", {"a|say \"hi\""});
        row("quoted field beginning with a comma", "\",a\",b", {",a|b"});
        row("quote inside a field runs on", "ab\"c,d\",x\n", {"ab\"c,d\"|x"});
        row("text after a closing quote", "x,y\n\n#c\na,\"b\"c\nd,e\n", {}, u"Invalid CSV format on line #2 immediately after \"\"b\"\""_s);
        row("trailing comma", "a,\nb,c", {"a|", "b|c"});
        row("trailing comma at the end", "a,", {"a|"});
        row("empty fields", ",a,,b\n", {"|a||b"});
        row("trimmed", "a , b ,\t c \n\" d \",e", {"a|b|c", "d|e"});
        row("a blank before a quoted field", "Buy milk, \"a, b\"", {"Buy milk|a, b"});
        row("comments and blank lines, LF", "#x,y\n\na,b\n\n#y\nc\n\n", {"a|b", "c"});
        row("comments and blank lines, CR", "#x,y\r\ra,b\r\r#y\rc\r\r", {"a|b", "c"});
        row("comments and blank lines, CR LF", "\r\n#x,y\r\n\r\na,b\r\n#y\r\nc", {"a|b", "c"});
        row("Unicode line breaks", "a\xe2\x80\xa8" "b\xc2\x85" "c\x0b" "d\x0c", {"a", "b", "c", "d"});
        row("hash inside a record", "a#b,#c\n", {"a#b|#c"});
        row("escapes", "a\\,b,c\\\"d,e\\\\f\n", {"a,b|c\"d|e\\f"});
        row("escaped line break", "a\\\nb,c\n", {"a\nb|c"});
        row("delimiter with a combining mark", "a,\xcc\x81" "b\n", {"a,\xcc\x81" "b"});
        row("unterminated quote", "a,\"b\nc", {"a|\"b\nc"});
        row("lone quote at the end", "a,\"", {"a|\""});
        row("empty input", "", {});
        // Encodings: byte-order marks, then detection.
        const QString accented = u"é,ü€😀\n"_s;
        const QStringList accentedRecord{u"é|ü€😀"_s};
        QTest::newRow("UTF-8 with mark") << "\xef\xbb\xbf" + accented.toUtf8() << accentedRecord << QString();
        QTest::newRow("UTF-8 without mark") << accented.toUtf8() << accentedRecord << QString();
        QTest::newRow("UTF-16 LE") << "\xff\xfe" + encoded(QStringConverter::Utf16LE, accented) << accentedRecord << QString();
        QTest::newRow("UTF-16 BE") << "\xfe\xff" + encoded(QStringConverter::Utf16BE, accented) << accentedRecord << QString();
        QTest::newRow("UTF-32 LE") << QByteArray("\xff\xfe\0\0", 4) + encoded(QStringConverter::Utf32LE, accented) << accentedRecord << QString();
        QTest::newRow("UTF-32 BE") << QByteArray("\0\0\xfe\xff", 4) + encoded(QStringConverter::Utf32BE, accented) << accentedRecord << QString();
        QTest::newRow("UTF-8 across the first chunk") << QByteArray(2047, 'x') + "\xc3\xa9" << QStringList{QString(2047, u'x') + u"é"_s} << QString();
        QTest::newRow("Mac OS Roman") << QByteArray("caf\x8e,\xe9t\xe9\n") << QStringList{u"café|ÈtÈ"_s} << QString();
        QTest::newRow("Windows-1252") << QByteArray("\xff\x80,a") << QStringList{u"ÿ€|a"_s} << QString();
        const QString undecodable = u"unable to interpret current chunk as a string"_s;
        QTest::newRow("undefined Windows-1252 byte") << QByteArray("\xef\x81,a\n") << QStringList() << undecodable;
        QTest::newRow("UTF-8 cut off") << QByteArray("\xef\xbb\xbf" "a,\xc3") << QStringList() << undecodable;
        QTest::newRow("UTF-16 odd length") << QByteArray("\xff\xfe" "a\0,") << QStringList() << undecodable;
    }

    void dialect()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const CsvReader::Result result = CsvReader::read(bytes);
        QTEST(flattened(result.records), "records");
        QCOMPARE(result.errorText, error);
        QCOMPARE(result.error == CsvReader::NoError, error.isEmpty());
    }

    // Whatever the bytes, the reader answers: all records, each with a field, or an error and none.
    void noCrashOnMutatedInput()
    {
        const QList<QByteArray> seeds{"a,\"b\"\"c\",d\\,e\n#x\r\n\"f\ng\",h", "\xff\xfe" "a\0,\0\"\0", "\xef\xbb\xbf\"\\\"\",\n,,\"",
                                      "caf\x8e,\"x\"\"\"\n"};
        const QByteArray alphabet("\",\\#\n\r \x85\xe2\x80\xa8\xcc\x81\0\xff\xfe", 17);
        QRandomGenerator random(20261207);
        const LogCapture quiet;
        for (int round = 0; round < 4000; ++round) {
            QByteArray bytes = seeds[round % seeds.size()];
            for (int edits = random.bounded(1, 8); edits > 0; --edits) {
                const auto at = random.bounded(qsizetype(bytes.size()) + 1);
                const char c = random.bounded(4) == 0 ? char(random.bounded(256)) : alphabet[random.bounded(alphabet.size())];
                switch (random.bounded(3)) {
                case 0: bytes.insert(at, c); break;
                case 1: bytes.remove(at, 1); break;
                default: bytes.truncate(at); bytes.append(c); break;
                }
            }
            const CsvReader::Result result = CsvReader::read(bytes);
            QVERIFY2(result.error == CsvReader::NoError || result.records.isEmpty(), bytes.toHex().constData());
            for (const QStringList &record : result.records)
                QVERIFY2(!record.isEmpty(), bytes.toHex().constData());
        }
    }

    void import_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("items");  // "name|notes" as the quadrant shows them, top first
        QTest::addColumn<bool>("read");
        QTest::newRow("three records") << QByteArray("Name,Notes\nBuy milk,\"2 l, fresh\"\nCall Ann,\"about\nthe party\",x\n")
                                       << QStringList{"Call Ann|about\nthe party", "Buy milk|2 l, fresh", "Name|Notes"} << true;
        QTest::newRow("record of one field") << QByteArray("Alone\nBoth,n") << QStringList{"Both|n", "Alone|"} << true;
        QTest::newRow("format error") << QByteArray("a,b\n\"c\"d,e\n") << QStringList() << false;
    }

    // Each file becomes a list named after it, one item per record in quadrant 0; one undo takes it all back.
    void import()
    {
        QFETCH(QByteArray, bytes);
        DocumentFixture f;
        f.document->setUp();
        const QString path = f.dir.filePath(u"Errands.csv"_s);
        QVERIFY(writeBytes(path, bytes));
        f.context()->processPendingChanges();
        f.context()->undoManager()->removeAllActions();

        const QList<CsvImport::ImportedFile> imported = CsvImport::importFromExcel(*f.document, {path});
        QCOMPARE(imported.size(), 1);
        QTEST(imported[0].error.isEmpty(), "read");
        TODOList *list = imported[0].list;
        QVERIFY(list);
        QCOMPARE(list->name(), u"Errands.csv"_s);
        f.document->selectProject(list);
        QStringList shown;
        for (const ManagedObject *object : f.document->controllerForQuadrant(0)->arrangedObjects()) {
            const auto *item = static_cast<const TODOItem *>(object);
            shown << item->name() + u'|' + item->descriptionText();
            QVERIFY(item->descriptionRichText().isEmpty());
        }
        QTEST(shown, "items");

        f.context()->processPendingChanges();
        f.document->undo();
        f.context()->processPendingChanges();
        QVERIFY(f.context()->objects(TODOItem::EntityName).isEmpty());
        QCOMPARE(f.document->getAllProjects().size(), 0);
    }
};

QTEST_MAIN(tst_CsvImport)
#include "tst_csvimport.moc"
