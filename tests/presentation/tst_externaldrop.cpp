// What other applications put on a drag becomes new items in a quadrant.
#include "DocumentFakes.h"
#include "MailMessage.h"
#include "QuadrantItemModel.h"
#include "TestSupport.h"

#include <QMimeData>
#include <QTest>

namespace {

using Bytes = QMap<QString, QByteArray>;  // MIME type or file name -> bytes

QByteArray utf16(const QString &text)
{
    return QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

const QByteArray kMail = "From: Jane Doe <jane@example.com>\r\n"
                         "Subject: =?UTF-8?B?R3LDvA==?= =?UTF-8?Q?=C3=9Fe?= from\r\n the office\r\n"
                         "Message-ID: <abc.123@mail.example.com>\r\n"
                         "Content-Type: multipart/alternative; boundary=\"XX\"\r\n\r\n"
                         "--XX\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n"
                         "--XX\r\nContent-Type: text/plain; charset=utf-8\r\n"
                         "Content-Transfer-Encoding: quoted-printable\r\n\r\nSee you at 5 =E2=80=93 J.=\r\n\r\n--XX--\r\n";
const QByteArray kOmniFocus = "<omnifocus><task><name>Call Bob</name><context><name>Phone</name></context>"
                              "<note><text><p><run><lit>about the roof</lit></run></p></text></note></task></omnifocus>";

}  // namespace

class TestExternalDrop : public QObject
{
    Q_OBJECT
private slots:
    void dropMakesItems_data();
    void dropMakesItems();
    void mailFiles_data();
    void mailFiles();
};

void TestExternalDrop::dropMakesItems_data()
{
    QTest::addColumn<Bytes>("formats");  // "%DIR%" in a value stands for the folder of the files
    QTest::addColumn<Bytes>("files");
    QTest::addColumn<QStringList>("expected");  // title|notes|icon|link, in row order

    const QByteArray page = "https://example.org/a?b=1";
    QTest::newRow("firefox link") << Bytes{{"text/uri-list", page + "\r\n"}, {"text/plain", page},
                                           {"text/x-moz-url", utf16("https://example.org/a?b=1\nExample page")}}
                                  << Bytes{} << QStringList{"Example page||green_world128.png|" + page};
    QTest::newRow("other scheme") << Bytes{{"text/uri-list", "ftp://example.org/f.txt"}, {"text/plain", "the file"}}
                                  << Bytes{} << QStringList{"the file||green_pen128.png|ftp://example.org/f.txt"};
    QTest::newRow("selected html") << Bytes{{"text/html", "<b>Hello</b> world"}} << Bytes{}
                                   << QStringList{"Hello world||green_pen128.png|"};
    QTest::newRow("editor text") << Bytes{{"text/plain", "Buy milk\n"}} << Bytes{}
                                 << QStringList{"Buy milk||green_pen128.png|"};
    QTest::newRow("address") << Bytes{{"text/plain", "jane.doe+x@example.info"}} << Bytes{}
                             << QStringList{"jane.doe+x@example.info||green_envelope128.png|mailto:jane.doe+x@example.info"};
    QTest::newRow("one-letter domain") << Bytes{{"text/plain", "jane@example.c"}} << Bytes{}
                                       << QStringList{"jane@example.c||green_pen128.png|"};
    QTest::newRow("five-letter domain") << Bytes{{"text/plain", "jane@example.abcde"}} << Bytes{}
                                        << QStringList{"jane@example.abcde||green_pen128.png|"};
    QTest::newRow("rich address") << Bytes{{"text/plain", "Jane Doe <jane@example.com>"}} << Bytes{}
                                  << QStringList{"Jane Doe <jane@example.com>||green_envelope128.png|mailto:jane@example.com"};
    QTest::newRow("note link") << Bytes{{"text/plain", "evernote:///view/1/s1/n1/"}, {"text/html", "<p>Trip plan</p>"}}
                               << Bytes{} << QStringList{"Trip plan||green_pen128.png|evernote:///view/1/s1/n1/"};
    const QString mailItem = QStringLiteral("Grüße from the office|See you at 5 – J.|green_envelope128.png|"
                                            "mid:abc.123@mail.example.com");
    QTest::newRow("dragged mail") << Bytes{{"message/rfc822", kMail}} << Bytes{} << QStringList{mailItem};
    QTest::newRow("mail without id") << Bytes{{"message/rfc822", "From: a@b.org\nSubject: Hi\n\nBody"}} << Bytes{}
                                     << QStringList{"Hi|Body|green_envelope128.png|"};
    QTest::newRow("eml with a large attachment") << Bytes{{"text/uri-list", "file://%DIR%/big.eml"}}
                                                 << Bytes{{"big.eml", kMail + QByteArray(2 << 20, 'x')}}
                                                 << QStringList{mailItem};
    QTest::newRow("eml that is no mail") << Bytes{{"text/uri-list", "file://%DIR%/junk.eml"}}
                                         << Bytes{{"junk.eml", QByteArray("\0\xff\xfe garbage\n", 12)}}
                                         << QStringList{"junk.eml||green_envelope128.png|file://%DIR%/junk.eml"};
    QTest::newRow("file on another host") << Bytes{{"text/uri-list", "file://nas%DIR%/m.eml"}} << Bytes{{"m.eml", kMail}}
                                          << QStringList{"file://nas%DIR%/m.eml||green_pen128.png|file://nas%DIR%/m.eml"};
    QTest::newRow("two files") << Bytes{{"text/uri-list", "file://%DIR%/a%20b.pdf\r\nfile://%DIR%/c.txt\r\n"},
                                        {"text/plain", "%DIR%/a b.pdf\n%DIR%/c.txt"}}
                               << Bytes{{"a b.pdf", "%PDF"}, {"c.txt", "c"}}
                               << QStringList{"a b.pdf||green_filecabinet128.png|file://%DIR%/a%20b.pdf",
                                              "c.txt||green_filecabinet128.png|file://%DIR%/c.txt"};
    QTest::newRow("task manager") << Bytes{{"com.omnigroup.omnifocus.pboard.tasks.v1", kOmniFocus},
                                           {"text/rtf", "{\\field{\\*\\fldinst HYPERLINK \"omnifocus:///task/k1\"}}"},
                                           {"text/plain", "Call Bob"}}
                                  << Bytes{} << QStringList{"Call Bob|* Call Bob\n about the roof\n|green_pen128.png|omnifocus:///task/k1"};
    QTest::newRow("nothing usable") << Bytes{{"text/plain", "  \n"}} << Bytes{} << QStringList{};
}

// Each drop lands in quadrant 1 through the quadrant's model, and answers
// whether it made anything.
void TestExternalDrop::dropMakesItems()
{
    QFETCH(Bytes, formats);
    QFETCH(Bytes, files);
    QFETCH(QStringList, expected);
    DocumentFixture f;
    f.selectedList();
    const QString dir = f.dir.path();
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        QVERIFY(writeBytes(dir + '/' + it.key(), it.value()));
    QMimeData data;
    for (auto it = formats.cbegin(); it != formats.cend(); ++it)
        data.setData(it.key(), QByteArray(it.value()).replace("%DIR%", dir.toUtf8()));
    expected.replaceInStrings(QStringLiteral("%DIR%"), dir);

    QuadrantItemModel model(f.document.get(), 1);
    QCOMPARE(model.dropMimeData(&data, Qt::CopyAction, -1, 0, {}), !expected.isEmpty());
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        rows << QStringList{index.data().toString(), index.data(QuadrantItemModel::NotesRole).toString(),
                            index.data(QuadrantItemModel::IconRole).toString(),
                            index.data(QuadrantItemModel::LinkRole).toString()}
                    .join('|');
    }
    QCOMPARE(rows, expected);
}

void TestExternalDrop::mailFiles_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("body");

    QTest::newRow("plain") << QByteArray("Subject: Hello\r\n\r\nLine one\r\nLine two\r\n") << "Hello"
                           << "Line one\nLine two";
    QTest::newRow("quoted-printable utf-8")
        << QByteArray("Subject: x\nContent-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: quoted-printable\n\n"
                      "Caf=C3=A9 au lait, = \nsoft break, a=3Db, a =\tb=\n")
        << "x" << "Café au lait, soft break, a=b, a =\tb";
    QTest::newRow("base64 latin-1")
        << QByteArray("Subject: x\nContent-Type: text/plain; charset=\"ISO-8859-1\"\nContent-Transfer-Encoding: BASE64\n\n"
                      "R3L832UgYXVzIEv2\nbG4NCmJpcyBiYWxk\n")
        << "x" << "Grüße aus Köln\nbis bald";
    const QByteArray alternative = "Subject: x\nContent-Type: multipart/mixed; boundary=outer\n\npreamble\n--outer\n"
                                   "Content-Type: multipart/alternative; boundary=\"in ner\"\n\n--in ner\n"
                                   "Content-Type: text/html; charset=utf-8\n\n<p>Hi <b>there</b></p>\n--in ner\n"
                                   "Content-Type: text/plain\n\nHi there\n--in ner--\n--outer\n"
                                   "Content-Type: text/plain\nContent-Disposition: attachment\n\nattached\n--outer--\n";
    QTest::newRow("nested multipart: plain part") << alternative << "x" << "Hi there";
    QTest::newRow("only html") << QByteArray(alternative).replace("Hi there\n", "\n") << "x" << "Hi there";
    QTest::newRow("encoded words")
        << QByteArray("Subject: =?ISO-8859-1?Q?Caf=E9_?=  =?utf-8*en?B?R3LDvMOfZQ==?= and =?UTF-8?Q?=C3?=\r\n"
                      " =?UTF-8?Q?=A9?= ok\r\n\r\n")
        << "Café Grüße and é ok" << "";
    QTest::newRow("folded header, first of two") << QByteArray("Subject: a long\r\n\tsubject\r\n  line\r\nSubject: no\r\n\r\nb")
                                                 << "a long subject line" << "b";
    QTest::newRow("raw utf-8 header") << QByteArray("Subject: Grüße\n\n") << "Grüße" << "";
    QTest::newRow("headers cut short") << QByteArray("From: a@b.org\nSubject: Cut") << "Cut" << "";
    QTest::newRow("part cut short") << alternative.left(alternative.indexOf("there\n--in ner--")) << "x" << "Hi";
    QTest::newRow("unknown charset, bad encoded words")
        << QByteArray("Subject: =?x-none?Q?abc?= =?utf-8?B?!!!?= =?utf-8?Q?=?=\nContent-Type: text/plain; charset=x-none\n\n"
                      "caf\xe9")
        << "abc=" << "café";
    QTest::newRow("multipart without parts") << QByteArray("Content-Type: multipart/mixed; boundary=b\n\n--b\n--b\n--b--")
                                             << "" << "";
    QTest::newRow("multipart without boundary") << QByteArray("Content-Type: multipart/mixed\n\n--b\nx\n--b--") << "" << "";
    QByteArray deep = "Subject: deep\n";
    for (int i = 0; i < 50; ++i)
        deep += QStringLiteral("Content-Type: multipart/mixed; boundary=b%1\n\n--b%1\n").arg(i).toLatin1();
    QTest::newRow("nested too deep") << deep + "\ntext" << "deep" << "";
    QTest::newRow("garbage") << QByteArray("\0\xff:\n\n\r\n", 7) << "" << "";
}

// Mail files as mail clients write them, and broken ones: subject and body
// come out decoded, or as much of them as the input holds.
void TestExternalDrop::mailFiles()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, subject);
    QFETCH(QString, body);
    const MailMessage message = MailMessage::read(raw);
    QCOMPARE(message.subject, subject);
    QCOMPARE(message.body, body);
}

QTEST_GUILESS_MAIN(TestExternalDrop)
#include "tst_externaldrop.moc"
