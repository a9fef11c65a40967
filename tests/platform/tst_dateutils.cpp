#include "DateUtils.h"
#include "HtmlText.h"

#include <QTest>

#include <time.h>

namespace {

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
}

} // namespace

// Dates in Europe/Berlin (summer time from 31 March to 27 October 2024); the plain text of notes.
class TestDateUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compare_data();
    void compare();
    void strip_data();
    void strip();
    void stripWhenMidnightIsSkipped();
    void daysFromDate_data();
    void daysFromDate();
    void htmlToPlainText_data();
    void htmlToPlainText();
};

void TestDateUtils::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestDateUtils::compare_data()
{
    QTest::addColumn<QDateTime>("a");
    QTest::addColumn<bool>("allDayA");
    QTest::addColumn<QDateTime>("b");
    QTest::addColumn<bool>("allDayB");
    QTest::addColumn<int>("expected");

    QTest::newRow("all-day: the day counts") << local(2024, 5, 2, 17) << true << local(2024, 5, 2, 9) << true << 0;
    QTest::newRow("timed: the time counts") << local(2024, 5, 2, 9) << false << local(2024, 5, 2, 17) << false << -1;
    QTest::newRow("all-day before timed that day") << local(2024, 5, 2, 17) << true << local(2024, 5, 2, 9) << false << -1;
    QTest::newRow("same moment in UTC") << local(2024, 5, 2, 9) << false << utc(2024, 5, 2, 7) << false << 0;
    QTest::newRow("dated before undated") << local(2024, 5, 2, 9) << false << QDateTime() << true << -1;
    // The epoch and earlier are no date; a second after it is one.
    QTest::newRow("half a second after epoch is no date") << utc(1970, 1, 1, 0, 0, 0, 500) << false << QDateTime() << false << 0;
    QTest::newRow("one second after epoch is a date") << utc(1970, 1, 1, 0, 0, 1) << false << QDateTime() << false << -1;
    QTest::newRow("pre-epoch is no date") << local(1965, 6, 1, 12) << false << local(2024, 5, 2, 9) << false << 1;
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

void TestDateUtils::strip_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QDateTime>("day");
    QTest::addColumn<QDateTime>("minute");

    // 22:30 UTC is already the next day in Berlin.
    QTest::newRow("UTC input, local day") << utc(2024, 5, 2, 22, 30, 5) << local(2024, 5, 3) << local(2024, 5, 3, 0, 30);
    QTest::newRow("clocks go forward that day") << local(2024, 3, 31, 12) << local(2024, 3, 31) << local(2024, 3, 31, 12);
    // The second 02:30 of the night the clocks go back (UTC+1), not the first.
    QTest::newRow("repeated hour") << utc(2024, 10, 27, 1, 30, 45) << local(2024, 10, 27) << utc(2024, 10, 27, 1, 30);
    QTest::newRow("invalid stays invalid") << QDateTime() << QDateTime() << QDateTime();
}

void TestDateUtils::strip()
{
    QFETCH(QDateTime, date);
    QFETCH(QDateTime, day);
    QFETCH(QDateTime, minute);
    QCOMPARE(DateUtils::stripTimeOfDay(date), day);
    QCOMPARE(DateUtils::stripSeconds(date), minute);
}

void TestDateUtils::stripWhenMidnightIsSkipped()
{
    // In São Paulo clocks went from 00:00 to 01:00 on 4 November 2018: that
    // day starts at 01:00. Local times are read in the zone of the moment, so
    // everything is brought to UTC before Berlin comes back.
    qputenv("TZ", "America/Sao_Paulo");
    tzset();
    const QDateTime noon = local(2018, 11, 4, 12);
    const QDateTime stripped = DateUtils::stripTimeOfDay(noon).toUTC();
    const int days = DateUtils::daysFromDate(local(2018, 11, 3, 23, 30), noon);
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QCOMPARE(stripped, utc(2018, 11, 4, 3, 0));  // 01:00 at -02:00
    QCOMPARE(days, 1);
}

void TestDateUtils::daysFromDate_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<int>("expected");

    QTest::newRow("same day") << local(2024, 5, 2, 0, 5) << local(2024, 5, 2, 23, 55) << 0;
    QTest::newRow("23:30 to 00:10 next day") << local(2024, 5, 2, 23, 30) << local(2024, 5, 3, 0, 10) << 1;
    QTest::newRow("year boundary") << local(2023, 12, 31, 23, 59) << local(2024, 1, 1, 0, 0) << 1;
    // 22.5 hours from 23:30 to 23:00 the next day, over the short night.
    QTest::newRow("over a short night") << local(2024, 3, 30, 23, 30) << local(2024, 3, 31, 23, 0) << 1;
    QTest::newRow("two days over a short day") << local(2024, 3, 30) << local(2024, 4, 1) << 2;
    QTest::newRow("back over a long day") << local(2024, 10, 28, 0, 10) << local(2024, 10, 26, 23, 50) << -2;
}

void TestDateUtils::daysFromDate()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(int, expected);
    QCOMPARE(DateUtils::daysFromDate(from, to), expected);
}

// --- The plain text of notes, as search and list files see it ---------------------------

void TestDateUtils::htmlToPlainText_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain text comes back") << "it's 100% done, x < 3 and y > 4: Grüße 😀" << "it's 100% done, x < 3 and y > 4: Grüße 😀";
    QTest::newRow("entities") << "a &amp; b &lt;c&gt; caf&eacute; &ldquo;x&rdquo; &#65;&#x1F600;" << "a & b <c> café “x” A😀";
    QTest::newRow("invalid code points") << "&#0;|&#xD800;|&#x110000;" << "\uFFFD|\uFFFD|\uFFFD";
    QTest::newRow("blocks and breaks") << "<p>One</p>\n <p>Two<br>2b</p><ul><li>a</li><li>b <b>bold</b></li></ul>after"
                                       << "One\nTwo\n2b\na\nb bold\nafter";
    QTest::newRow("collapses whitespace") << "  hello \t  world \r\n again&nbsp; " << "hello world again";
    QTest::newRow("pre keeps whitespace") << "<pre>\n  keep   this\n</pre>c   d" << "  keep   this\nc d";
    QTest::newRow("hidden content") << "<head><title>T</title></head><!-- x -->ok<script>a = '<p>';</script><style>p {}</style>"
                                    << "ok";
    QTest::newRow("unterminated script") << "shown<script>hidden" << "shown";
    QTest::newRow("unterminated tag") << "unterminated <b class=\"x" << "unterminated";
}

void TestDateUtils::htmlToPlainText()
{
    QFETCH(QString, html);
    QFETCH(QString, expected);
    QCOMPARE(HtmlText::toPlainText(html), expected);
}

QTEST_GUILESS_MAIN(TestDateUtils)
#include "tst_dateutils.moc"
