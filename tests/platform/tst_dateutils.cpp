#include "DateUtils.h"
#include "HtmlText.h"

#include <QTest>

#include <time.h>

namespace {

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::LocalTime);
}

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

void setTimeZone(const QByteArray &zone)
{
    qputenv("TZ", zone);
    tzset();
}

} // namespace

class TestDateUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void compare_data();
    void compare();
    void stripTimeOfDay_data();
    void stripTimeOfDay();
    void stripTimeOfDayWhenMidnightIsSkipped();
    void stripSeconds_data();
    void stripSeconds();
    void daysFromDate_data();
    void daysFromDate();

    void htmlToPlainText_data();
    void htmlToPlainText();
    void htmlTruncatedAnywhere();
    void htmlPlainTextComesBack_data();
    void htmlPlainTextComesBack();
};

void TestDateUtils::initTestCase()
{
    setTimeZone("Europe/Berlin");
    QCOMPARE(local(2024, 1, 15, 12).offsetFromUtc(), 3600);
    QCOMPARE(local(2024, 7, 15, 12).offsetFromUtc(), 7200);
}

void TestDateUtils::compare_data()
{
    QTest::addColumn<QDateTime>("a");
    QTest::addColumn<bool>("allDayA");
    QTest::addColumn<QDateTime>("b");
    QTest::addColumn<bool>("allDayB");
    QTest::addColumn<int>("expected");

    const QDateTime none;
    QTest::newRow("all-day 09:00 and 17:00 same day") << local(2024, 5, 2, 9) << true << local(2024, 5, 2, 17) << true << 0;
    QTest::newRow("all-day 17:00 and 09:00 same day") << local(2024, 5, 2, 17) << true << local(2024, 5, 2, 9) << true << 0;
    QTest::newRow("timed 09:00 before 17:00") << local(2024, 5, 2, 9) << false << local(2024, 5, 2, 17) << false << -1;
    QTest::newRow("timed 17:00 after 09:00") << local(2024, 5, 2, 17) << false << local(2024, 5, 2, 9) << false << 1;
    QTest::newRow("all-day first against timed") << local(2024, 5, 2, 17) << true << local(2024, 5, 2, 9) << false << -1;
    QTest::newRow("timed against all-day") << local(2024, 5, 2, 0, 30) << false << local(2024, 5, 2, 23) << true << 1;
    QTest::newRow("all-day on different days") << local(2024, 5, 2, 23, 59) << true << local(2024, 5, 3, 0, 1) << true << -1;
    QTest::newRow("all-day, day after") << local(2024, 5, 3, 0, 1) << true << local(2024, 5, 2, 23, 59) << true << 1;
    QTest::newRow("seconds ignored") << local(2024, 5, 2, 9, 0, 10) << false << local(2024, 5, 2, 9, 0, 50, 999) << false << 0;
    QTest::newRow("minutes count") << local(2024, 5, 2, 9, 0, 59) << false << local(2024, 5, 2, 9, 1, 0) << false << -1;
    QTest::newRow("same moment in UTC") << local(2024, 5, 2, 9) << false << utc(2024, 5, 2, 7) << false << 0;
    QTest::newRow("dated before undated") << local(2024, 5, 2, 9) << false << none << false << -1;
    QTest::newRow("undated after dated") << none << true << local(2024, 5, 2, 9) << true << 1;
    QTest::newRow("both undated") << none << false << none << true << 0;
    QTest::newRow("epoch is no date") << utc(1970, 1, 1) << false << local(2024, 5, 2, 9) << false << 1;
    QTest::newRow("epoch and undated are alike") << utc(1970, 1, 1) << false << none << false << 0;
    QTest::newRow("half a second after epoch is no date") << utc(1970, 1, 1, 0, 0, 0, 500) << false << none << false << 0;
    QTest::newRow("one second after epoch is a date") << utc(1970, 1, 1, 0, 0, 1) << false << none << false << -1;
    QTest::newRow("pre-epoch is no date") << local(1965, 6, 1, 12) << false << local(2024, 5, 2, 9) << false << 1;
    QTest::newRow("pre-epoch and epoch are alike") << local(1965, 6, 1, 12) << false << utc(1970, 1, 1) << false << 0;
    QTest::newRow("across a year") << local(2023, 12, 31, 23, 59) << false << local(2024, 1, 1) << false << -1;
}

void TestDateUtils::compare()
{
    QFETCH(QDateTime, a);
    QFETCH(bool, allDayA);
    QFETCH(QDateTime, b);
    QFETCH(bool, allDayB);
    QFETCH(int, expected);
    QCOMPARE(DateUtils::compare(a, allDayA, b, allDayB), expected);
    QCOMPARE(DateUtils::compare(b, allDayB, a, allDayA), -expected);
}

void TestDateUtils::stripTimeOfDay_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("afternoon") << local(2024, 5, 2, 15, 42, 7, 123) << local(2024, 5, 2);
    QTest::newRow("midnight stays") << local(2024, 5, 2) << local(2024, 5, 2);
    QTest::newRow("last minute") << local(2024, 5, 2, 23, 59, 59, 999) << local(2024, 5, 2);
    // 22:30 UTC is already the next day in Berlin.
    QTest::newRow("UTC input, local day") << utc(2024, 5, 2, 22, 30) << local(2024, 5, 3);
    QTest::newRow("clocks go forward that day") << local(2024, 3, 31, 12) << local(2024, 3, 31);
    QTest::newRow("clocks go back that day") << local(2024, 10, 27, 23) << local(2024, 10, 27);
    QTest::newRow("invalid stays invalid") << QDateTime() << QDateTime();
}

void TestDateUtils::stripTimeOfDay()
{
    QFETCH(QDateTime, date);
    QFETCH(QDateTime, expected);
    const QDateTime stripped = DateUtils::stripTimeOfDay(date);
    QCOMPARE(stripped.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(stripped.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
        QCOMPARE(stripped.toLocalTime().time(), QTime(0, 0));
    }
}

void TestDateUtils::stripTimeOfDayWhenMidnightIsSkipped()
{
    // In São Paulo clocks went from 00:00 to 01:00 on 4 November 2018: that
    // day starts at 01:00 local time.
    // Local date-times are read in the zone of the moment, so everything is
    // brought to UTC before Berlin comes back.
    setTimeZone("America/Sao_Paulo");
    const QDateTime noon = local(2018, 11, 4, 12);
    const QDateTime stripped = DateUtils::stripTimeOfDay(noon).toUTC();
    const QDateTime dayBefore = DateUtils::stripTimeOfDay(local(2018, 11, 3, 12)).toUTC();
    const int days = DateUtils::daysFromDate(local(2018, 11, 3, 23, 30), noon);
    setTimeZone("Europe/Berlin");

    QVERIFY(stripped.isValid());
    QCOMPARE(stripped, utc(2018, 11, 4, 3, 0));       // 01:00 at -02:00
    QCOMPARE(dayBefore, utc(2018, 11, 3, 3, 0));      // 00:00 at -03:00
    QCOMPARE(days, 1);
}

void TestDateUtils::stripSeconds_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("seconds and milliseconds") << local(2024, 5, 2, 9, 41, 59, 500) << local(2024, 5, 2, 9, 41);
    QTest::newRow("on the minute") << local(2024, 5, 2, 9, 41) << local(2024, 5, 2, 9, 41);
    QTest::newRow("UTC input") << utc(2024, 5, 2, 7, 41, 3) << local(2024, 5, 2, 9, 41);
    // The second 02:30 of the night the clocks go back (UTC+1), not the first.
    QTest::newRow("repeated hour keeps its offset") << utc(2024, 10, 27, 1, 30, 45) << utc(2024, 10, 27, 1, 30);
    QTest::newRow("invalid stays invalid") << QDateTime() << QDateTime();
}

void TestDateUtils::stripSeconds()
{
    QFETCH(QDateTime, date);
    QFETCH(QDateTime, expected);
    const QDateTime stripped = DateUtils::stripSeconds(date);
    QCOMPARE(stripped.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(stripped.toMSecsSinceEpoch(), expected.toMSecsSinceEpoch());
}

void TestDateUtils::daysFromDate_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<int>("expected");

    QTest::newRow("same day") << local(2024, 5, 2, 0, 5) << local(2024, 5, 2, 23, 55) << 0;
    QTest::newRow("23:30 to 00:10 next day") << local(2024, 5, 2, 23, 30) << local(2024, 5, 3, 0, 10) << 1;
    QTest::newRow("00:10 back to 23:30 the day before") << local(2024, 5, 3, 0, 10) << local(2024, 5, 2, 23, 30) << -1;
    QTest::newRow("a week") << local(2024, 5, 2, 12) << local(2024, 5, 9, 8) << 7;
    QTest::newRow("leap day") << local(2024, 2, 28, 12) << local(2024, 3, 1, 12) << 2;
    QTest::newRow("year boundary") << local(2023, 12, 31, 23, 59) << local(2024, 1, 1, 0, 0) << 1;
    // Spring forward on 31 March 2024: 22.5 hours from 23:30 to 23:00 the next day.
    QTest::newRow("over a short night") << local(2024, 3, 30, 23, 30) << local(2024, 3, 31, 23, 0) << 1;
    QTest::newRow("midnight to midnight over a short day") << local(2024, 3, 31) << local(2024, 4, 1) << 1;
    QTest::newRow("two days over a short day") << local(2024, 3, 30) << local(2024, 4, 1) << 2;
    // Fall back on 27 October 2024: that day has 25 hours.
    QTest::newRow("within a long day") << local(2024, 10, 27, 0, 0) << local(2024, 10, 27, 23, 59) << 0;
    QTest::newRow("over a long day") << local(2024, 10, 27, 0, 30) << local(2024, 10, 28, 0, 10) << 1;
    QTest::newRow("back over a long day") << local(2024, 10, 28, 0, 10) << local(2024, 10, 26, 23, 50) << -2;
    QTest::newRow("UTC inputs read as local days") << utc(2024, 5, 2, 22, 30) << utc(2024, 5, 2, 21, 30) << -1;
    QTest::newRow("invalid") << QDateTime() << local(2024, 5, 2) << 0;
}

void TestDateUtils::daysFromDate()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(int, expected);
    QCOMPARE(DateUtils::daysFromDate(from, to), expected);
}

// --- HtmlText -------------------------------------------------------------------

void TestDateUtils::htmlToPlainText_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    // Entities
    QTest::newRow("markup entities") << "a &amp; b &lt;c&gt; &quot;q&quot; &apos;s&apos;" << "a & b <c> \"q\" 's'";
    QTest::newRow("latin-1 entities") << "caf&eacute; &copy; &Auml;&szlig; &frac12; &yuml;" << "café © Äß ½ ÿ";
    QTest::newRow("typographic entities") << "&ldquo;x&rdquo; &ndash; &hellip;&euro;" << "“x” – …€";
    QTest::newRow("decimal and hex") << "&#65;&#x42;&#X43;&#x1F600;&#128512;" << "ABC😀😀";
    QTest::newRow("numeric without semicolon") << "&#65 &#x42z" << "A Bz";
    QTest::newRow("invalid code points")
        << "&#0;|&#xD800;|&#xDFFF;|&#x110000;|&#99999999999999999999;" << "\uFFFD|\uFFFD|\uFFFD|\uFFFD|\uFFFD";
    QTest::newRow("windows-1252 range") << "&#150;&#x80;" << "–€";
    QTest::newRow("not entities") << "AT&T &unknown; & &#; &#x; &;" << "AT&T &unknown; & &#; &#x; &;";
    QTest::newRow("legacy without semicolon") << "fish &amp chips" << "fish & chips";
    QTest::newRow("named needs the semicolon") << "&eacutex" << "&eacutex";
    QTest::newRow("entity does not open a tag") << "&lt;b&gt;bold&lt;/b&gt;" << "<b>bold</b>";
    QTest::newRow("nbsp is a space that stays") << "a&nbsp;&nbsp;b&nbsp;" << "a  b";
    QTest::newRow("unterminated entity at end") << "x &am" << "x &am";

    // Tags and lines
    QTest::newRow("inline tags dropped") << "<b>bold</b> and <i>it<u>alic</u></i>" << "bold and italic";
    QTest::newRow("paragraphs") << "<p>One</p><p>Two</p>" << "One\nTwo";
    QTest::newRow("whitespace between blocks") << "<p>One</p>\n\n   <p>Two</p>\n" << "One\nTwo";
    QTest::newRow("br forms") << "Line 1<br>Line 2<br/>Line 3<BR />Line 4</br>" << "Line 1\nLine 2\nLine 3\nLine 4";
    QTest::newRow("double br gives an empty line") << "x<br><br>y" << "x\n\ny";
    QTest::newRow("br at the end of a block") << "<p>a<br></p><p>b</p>" << "a\nb";
    QTest::newRow("nested lists") << "<ul><li>a</li><li>b <b>bold <i>it</i></b><ol><li>c</li></ol></li></ul>after"
                                  << "a\nb bold it\nc\nafter";
    QTest::newRow("nested divs") << "<div><div>x</div></div>y" << "x\ny";
    QTest::newRow("headings") << "<h1>Title</h1>text<h6>small</h6>" << "Title\ntext\nsmall";
    QTest::newRow("blockquote") << "say<blockquote>quoted</blockquote>after" << "say\nquoted\nafter";
    QTest::newRow("table rows and cells") << "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>"
                                          << "a\tb\nc";
    QTest::newRow("uppercase and attributes") << "<P CLASS=\"x\">Up</P><DIV id=a>Down</DIV>" << "Up\nDown";
    QTest::newRow("quoted > in an attribute") << "<a href=\"x>y\" title='a>b'>link</a> text" << "link text";

    // Whitespace
    QTest::newRow("collapses whitespace") << "  hello \t  world \r\n again  " << "hello world again";
    QTest::newRow("space between inline tags") << "a<span> </span>b" << "a b";
    QTest::newRow("trailing whitespace and lines") << "text<br>  \n<p> </p>" << "text";
    QTest::newRow("pre keeps whitespace") << "<pre>  keep   this\n  indented\r\n</pre>after" << "  keep   this\n  indented\nafter";
    QTest::newRow("pre drops its first newline") << "x<pre>\nfirst\n second</pre>" << "x\nfirst\n second";
    QTest::newRow("collapsing resumes after pre") << "<pre>a  b</pre>c   d" << "a  b\nc d";

    // Hidden content
    QTest::newRow("comments") << "<!-- hidden -->shown<!---->!<!-->x" << "shown!x";
    QTest::newRow("unterminated comment") << "shown<!-- hidden <p>still hidden" << "shown";
    QTest::newRow("script and style")
        << "<script>if (a < b) { x = '<p>'; }</script>ok<style>p { color: red }</style>"
        << "ok";
    QTest::newRow("script end tag in another case") << "<SCRIPT type=x>hidden</Script >shown" << "shown";
    QTest::newRow("unterminated script") << "shown<script>hidden" << "shown";
    QTest::newRow("head") << "<html><head><title>T</title><meta charset=utf-8>junk</head><body>Body</body></html>"
                          << "Body";
    QTest::newRow("head left open") << "<head><title>T</title><body><p>Body</p>" << "Body";
    QTest::newRow("doctype and processing instruction") << "<!DOCTYPE html><?xml version=\"1.0\"?>x" << "x";

    // Malformed
    QTest::newRow("unterminated tag") << "unterminated <b class=\"x" << "unterminated";
    QTest::newRow("unclosed tags") << "<b><i>bold" << "bold";
    QTest::newRow("stray end tags") << "</p></div>x</b>" << "x";
    QTest::newRow("empty end tag") << "a</>b" << "ab";
    QTest::newRow("less-than as text") << "a < b and c > d" << "a < b and c > d";
    QTest::newRow("lone less-than at the end") << "x <" << "x <";
    QTest::newRow("lone ampersand") << "&" << "&";
    QTest::newRow("empty") << "" << "";
}

void TestDateUtils::htmlToPlainText()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(HtmlText::toPlainText(html), expected);
}

void TestDateUtils::htmlTruncatedAnywhere()
{
    // Every prefix of a document converts without showing hidden content or
    // markup (a '<' can only be left over at the very end, as text).
    const QString html = QStringLiteral(
        "<!DOCTYPE html><html><head><title>secret</title><style>secret{}</style></head>"
        "<body><p class=\"a&quot;b\">Caf&eacute; &amp; &#x1F600; &#233;</p><!-- secret -->"
        "<ul><li>one<li>two</ul><pre>  pre\n text</pre><script>var secret = '<b>';</script>"
        "<table><tr><td>c1<td>c2</table>end<br/></body></html>");
    const QString full = HtmlText::toPlainText(html);
    QCOMPARE(full, QString::fromUtf8("Café & 😀 é\none\ntwo\n  pre\n text\nc1\tc2\nend"));
    for (qsizetype n = 0; n <= html.size(); ++n) {
        QString text = HtmlText::toPlainText(html.left(n));
        QVERIFY2(!text.contains(QLatin1String("secret")), qPrintable(html.left(n)));
        if (text.endsWith(QLatin1Char('<'))) {
            text.chop(1);
            while (text.endsWith(QLatin1Char('\n')))
                text.chop(1);
        }
        QVERIFY2(!text.contains(QLatin1Char('<')), qPrintable(html.left(n)));
        QVERIFY2(!text.contains(QLatin1Char('>')), qPrintable(html.left(n)));
        // Every line but the last, which may be cut short, is as in the whole.
        const QStringList lines = text.split(QLatin1Char('\n'));
        const QStringList fullLines = full.split(QLatin1Char('\n'));
        QVERIFY2(lines.size() <= fullLines.size(), qPrintable(text));
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            QCOMPARE(lines[i], fullLines[i]);
    }
}

void TestDateUtils::htmlPlainTextComesBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("words") << "Buy milk";
    QTest::newRow("punctuation") << "it's 100% done, isn't it? (yes) * \\ \"quoted\"";
    QTest::newRow("non-latin") << "Grüße, 東京, Привет 😀";
    QTest::newRow("comparison signs") << "x < 3 and y > 4";
}

void TestDateUtils::htmlPlainTextComesBack()
{
    QFETCH(QString, text);
    QCOMPARE(HtmlText::toPlainText(text), text);
}

QTEST_GUILESS_MAIN(TestDateUtils)
#include "tst_dateutils.moc"
