#include "DateUtils.h"
#include "HtmlText.h"
#include "TestSupport.h"

#include <QTest>

#include <time.h>

using namespace Qt::StringLiterals;

class TestDateUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    void compare_data()
    {
        QTest::addColumn<QDateTime>("a");
        QTest::addColumn<bool>("allDayA");
        QTest::addColumn<QDateTime>("b");
        QTest::addColumn<bool>("allDayB");
        QTest::addColumn<int>("expected");

        QTest::newRow("all-day: the day counts") << localTime(2024, 5, 2, 17) << true << localTime(2024, 5, 2, 9) << true << 0;
        QTest::newRow("all-day before timed that day") << localTime(2024, 5, 2, 17) << true << localTime(2024, 5, 2, 9) << false << -1;
        QTest::newRow("same moment in UTC") << localTime(2024, 5, 2, 9) << false << utcTime(2024, 5, 2, 7) << false << 0;
        QTest::newRow("dated before undated") << localTime(2024, 5, 2, 9) << false << QDateTime() << true << -1;
        // The epoch and earlier are no date; a second after it is one.
        QTest::newRow("half a second after epoch and earlier are no date")
            << QDateTime::fromMSecsSinceEpoch(500, Qt::UTC) << false << localTime(1965, 6, 1, 12) << false << 0;
        QTest::newRow("one second after epoch is a date") << utcTime(1970, 1, 1, 0, 0, 1) << false << QDateTime() << false << -1;
    }

    void compare()
    {
        QFETCH(QDateTime, a);
        QFETCH(bool, allDayA);
        QFETCH(QDateTime, b);
        QFETCH(bool, allDayB);
        QFETCH(int, expected);
        QCOMPARE(DateUtils::compare(a, allDayA, b, allDayB), expected);
        QCOMPARE(DateUtils::compare(b, allDayB, a, allDayA), -expected);
    }

    void days_data()
    {
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<QDateTime>("to");
        QTest::addColumn<int>("days");  // from the day of from to the day of to
        QTest::addColumn<QDateTime>("day");  // the start of to's day
        QTest::addColumn<QDateTime>("minute");  // to without its seconds

        QTest::newRow("23:30 to 00:10 next day")
            << localTime(2024, 5, 2, 23, 30) << localTime(2024, 5, 3, 0, 10, 5) << 1 << localTime(2024, 5, 3) << localTime(2024, 5, 3, 0, 10);
        QTest::newRow("22.5 hours over the short night")
            << localTime(2024, 3, 30, 23, 30) << localTime(2024, 3, 31, 23, 0) << 1 << localTime(2024, 3, 31) << localTime(2024, 3, 31, 23, 0);
        QTest::newRow("the second 02:30 of the night the clocks go back (UTC+1)")
            << localTime(2024, 10, 26, 0, 30) << utcTime(2024, 10, 27, 1, 30, 45) << 1 << localTime(2024, 10, 27) << utcTime(2024, 10, 27, 1, 30);
        QTest::newRow("back over the 25-hour day")
            << localTime(2024, 10, 28, 0, 10) << localTime(2024, 10, 26, 23, 50) << -2 << localTime(2024, 10, 26) << localTime(2024, 10, 26, 23, 50);
    }

    void days()
    {
        QFETCH(QDateTime, from);
        QFETCH(QDateTime, to);
        QTEST(DateUtils::daysFromDate(from, to), "days");
        QTEST(DateUtils::stripTimeOfDay(to), "day");
        QTEST(DateUtils::stripSeconds(to), "minute");
    }

    void dayStartsLateWhenMidnightIsSkipped()
    {
        // In São Paulo clocks went from 00:00 to 01:00 on 4 November 2018 (Santiago still does so): the day
        // starts at 01:00. Local times are read in the zone of the moment, so all is in UTC before Berlin is back.
        qputenv("TZ", "America/Sao_Paulo");
        tzset();
        const QDateTime noon = localTime(2018, 11, 4, 12);
        const QDateTime stripped = DateUtils::stripTimeOfDay(noon).toUTC();
        const int days = DateUtils::daysFromDate(localTime(2018, 11, 3, 23, 30), noon);
        initTestCase();
        QCOMPARE(stripped, utcTime(2018, 11, 4, 3, 0));  // 01:00 at -02:00
        QCOMPARE(days, 1);
    }

    void orderKeysFromTheOffsetTable_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<QDateTime>("date");
        QTest::addColumn<bool>("allDay");
        QTest::addColumn<QDateTime>("key");  // the start of its local minute, or of its local day

        const QByteArray berlin = "Europe/Berlin";
        QTest::newRow("last second of CET before the spring change")
            << berlin << utcTime(2026, 3, 29, 0, 59, 59, 500) << false << utcTime(2026, 3, 29, 0, 59);
        QTest::newRow("first minute of CEST") << berlin << utcTime(2026, 3, 29, 1, 0, 30) << false << utcTime(2026, 3, 29, 1, 0);
        QTest::newRow("all-day on the 23-hour day") << berlin << utcTime(2026, 3, 29, 20) << true << utcTime(2026, 3, 28, 23);
        QTest::newRow("all-day the day after it") << berlin << utcTime(2026, 3, 30, 10) << true << utcTime(2026, 3, 29, 22);
        QTest::newRow("02:40 CEST before the autumn change") << berlin << utcTime(2026, 10, 25, 0, 40, 20) << false << utcTime(2026, 10, 25, 0, 40);
        QTest::newRow("all-day late on the 25-hour day") << berlin << utcTime(2026, 10, 25, 22, 30) << true << utcTime(2026, 10, 24, 22);
        QTest::newRow("all-day after midnight in summer, a UTC day earlier")
            << berlin << utcTime(2026, 7, 1, 23, 30) << true << utcTime(2026, 7, 1, 22);
        // Monrovia kept -0:44:30 until 1972: local minutes do not start on UTC minutes.
        QTest::newRow("offset with seconds") << QByteArray("Africa/Monrovia") << utcTime(1971, 5, 26, 12, 0, 10) << false
                                             << utcTime(1971, 5, 26, 11, 59, 30);
        QTest::newRow("all-day under an offset with seconds")
            << QByteArray("Africa/Monrovia") << utcTime(1971, 5, 26, 12) << true << utcTime(1971, 5, 26, 0, 44, 30);
        QTest::newRow("all-day when midnight is skipped")
            << QByteArray("America/Sao_Paulo") << utcTime(2018, 11, 4, 15) << true << utcTime(2018, 11, 4, 3);
        QTest::newRow("all-day late that day, the next UTC day")
            << QByteArray("America/Sao_Paulo") << utcTime(2018, 11, 5, 1) << true << utcTime(2018, 11, 4, 3);
    }

    // Sorting reads the zone's offsets from a table learnt a day at a time;
    // its keys are the ones the C library's local time gives.
    void orderKeysFromTheOffsetTable()
    {
        QFETCH(QByteArray, zone);
        QFETCH(QDateTime, date);
        QFETCH(bool, allDay);
        QFETCH(QDateTime, key);
        qputenv("TZ", zone);
        DateUtils::LocalOffsets &offsets = DateUtils::LocalOffsets::current();
        const qint64 fromTable = offsets.orderKey(date.toMSecsSinceEpoch(), allDay);
        const qint64 fromLibrary = DateUtils::orderKey(date, allDay);
        initTestCase();
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(fromTable, Qt::UTC), key);
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(fromLibrary, Qt::UTC), key);
    }

    void plainTextOfNotes()
    {
        // What search and list files see of a note: the text, without markup or hidden content.
        const QString html = u"<p>a &amp; b</p><!-- x --><script>s = '<p>';</script><style>p {}</style>c<script>cut"_s;
        QCOMPARE(HtmlText::toPlainText(html), u"a & b\nc"_s);
    }
};

QTEST_GUILESS_MAIN(TestDateUtils)
#include "tst_dateutils.moc"
