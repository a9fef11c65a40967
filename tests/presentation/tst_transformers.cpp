// What the display transformers and the icon factory show for stored values.
#include "Clock.h"
#include "DisplayTransformers.h"
#include "ImageFactoryForMac.h"
#include "ManagedObjectContext.h"
#include "TODOItem.h"
#include "TestSupport.h"
#include "TodoModel.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

// "Now" in every test: a Sunday noon in the test's time zone.
QDateTime now()
{
    return localTime(2026, 3, 15, 12, 0);
}

QDateTime inDays(int days)
{
    return now().addDays(days);
}

bool sameColour(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) <= 3 && qAbs(a.green() - b.green()) <= 3 && qAbs(a.blue() - b.blue()) <= 3
        && qAbs(a.alpha() - b.alpha()) <= 3;
}

const QColor Grey = QColor::fromRgbF(0.4f, 0.4f, 0.4f);
const QColor Blue(0, 0, 255);
const QColor Green(0, 160, 0);
const QColor Orange(255, 140, 0);

} // namespace

class TestTransformers : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init() { Clock::setNow(now()); ImageFactoryForMac::sharedInstance().clear(); }
    void cleanupTestCase() { Clock::reset(); }

    void rules_data();
    void rules();
    void registry();
    void badgeLabels_data();
    void badgeLabels();
    void iconFiles_data();
    void iconFiles();
    void rowPictures_data();
    void rowPictures();
    void badgePixels_data();
    void badgePixels();
    void cacheFollowsLabel();

private:
    QTemporaryDir m_icons;
    ManagedObjectContext m_context{todoListModel()};
};

// A few icon files, each a plain colour, in the tiers' naming scheme.
void TestTransformers::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const struct {
        const char *name;
        int size;
        QColor colour;
    } files[] = {{"green_pen128.png", 128, Green},
                 {"44green_pen128.png", 44, Blue},
                 {"empty_orange128.png", 128, Orange},
                 {"44empty_orange128.png", 44, Orange}};
    for (const auto &file : files) {
        QImage image(file.size, file.size, QImage::Format_ARGB32);
        image.fill(file.colour);
        QVERIFY(image.save(m_icons.filePath(QLatin1String(file.name))));
    }
    QDir::setSearchPaths(QStringLiteral("icons"), {m_icons.path()});
}

void TestTransformers::rules_data()
{
    QTest::addColumn<QString>("transformer");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected");

    const QVariant none;
    const QColor darkRed = QColor::fromRgbF(0.8f, 0, 0, 1);
    auto row = [](const char *name, const char *transformer, const QVariant &input, const QVariant &expected) {
        QTest::newRow(name) << QString::fromLatin1(transformer) << input << expected;
    };
    row("percent 50", "PercentageTransformer", 50, QStringLiteral("50% complete"));
    row("percent 99.9 truncated", "PercentageTransformer", 99.9, QStringLiteral("99% complete"));
    row("percent none", "PercentageTransformer", none, none);
    row("state 99", "PercentageToStateTransformer", 99, 0);
    row("state 100", "PercentageToStateTransformer", 100, 1);
    row("state none", "PercentageToStateTransformer", none, none);
    row("discretize 3.7", "DiscretizeTransformer", 3.7, 3);
    row("discretize -2.5", "DiscretizeTransformer", -2.5, -2);
    row("discretize none", "DiscretizeTransformer", none, none);
    // Late in the evening UTC is already the next day in the local calendar.
    row("date local day", "DateToStringTransformer", utcTime(2026, 3, 14, 23, 30).toLocalTime(),
        QStringLiteral("Sonntag, 15. März 2026"));
    row("date none", "DateToStringTransformer", none, QStringLiteral("---"));
    row("epoch 0", "EpochToStringTransformer", 0, QStringLiteral("---"));
    row("epoch negative", "EpochToStringTransformer", -86400, QStringLiteral("---"));
    row("epoch none", "EpochToStringTransformer", none, QStringLiteral("---"));
    row("epoch text", "EpochToStringTransformer", QStringLiteral("1700000000"), QStringLiteral("---"));
    row("epoch 2023", "EpochToStringTransformer", 1700000000, QStringLiteral("14.11.23 23:13"));
    row("epoch past 2038", "EpochToStringTransformer", qint64(1) << 31, QStringLiteral("19.01.38 04:14"));
    row("weekday", "NSDateToDayOfTheWeekTransformer", localTime(2026, 3, 16, 23, 59), QStringLiteral("Mo."));
    row("weekday none", "NSDateToDayOfTheWeekTransformer", none, QString());
    row("due yesterday", "FontColorFromDueDate", localTime(2026, 3, 14, 23, 59), darkRed);
    row("due earlier today", "FontColorFromDueDate", localTime(2026, 3, 15, 0, 1), QColor(Qt::black));
    row("due next year", "FontColorFromDueDate", inDays(365), QColor(Qt::black));
    row("due none", "FontColorFromDueDate", none, QColor(Qt::black));
    row("repeat daily", "IsNotNeverOrNilValueTransformer", QStringLiteral("Daily"), true);
    row("repeat never", "IsNotNeverOrNilValueTransformer", QStringLiteral("Never"), false);
    row("repeat empty", "IsNotNeverOrNilValueTransformer", QString(""), false);
    row("repeat none", "IsNotNeverOrNilValueTransformer", none, false);
    row("number", "NSNumberToNSString", 7, QStringLiteral("7"));
    row("number fraction", "NSNumberToNSString", 2.5, QStringLiteral("2.5"));
    row("number none", "NSNumberToNSString", none, QStringLiteral("0"));
    row("number text", "NSNumberToNSString", QStringLiteral("12"), QStringLiteral("0"));
    row("effort 0", "EffortValueToDurationString", 0, QStringLiteral("No effort"));
    row("effort 8", "EffortValueToDurationString", 8, QStringLiteral("Several months"));
    row("effort 9", "EffortValueToDurationString", 9, QString());
    row("effort -1", "EffortValueToDurationString", -1, QString());
    row("effort text", "EffortValueToDurationString", QStringLiteral("3"), QString());
    row("effort none", "EffortValueToDurationString", none, QString());
    row("counter", "CounterFirstQuadrantTransformer", QVariantList{1, 2, 3}, QStringLiteral("3"));
    row("counter none", "CounterFirstQuadrantTransformer", none, QStringLiteral("0"));
    row("colour", "StringToColorTransformer", QStringLiteral("{1, 0, 0, 1}"), QColor(Qt::red));
    row("colour bad text", "StringToColorTransformer", QStringLiteral("{1, 0, zero}"), QColor(Qt::white));
    row("colour none", "StringToColorTransformer", none, QColor(Qt::white));
    row("init", "IsInitStringValueTransformer", QStringLiteral("init"), true);
    row("init other", "IsInitStringValueTransformer", QStringLiteral("Init"), false);
    row("nonzero 0", "IsNotNilOrZero", 0, false);
    row("nonzero none", "IsNotNilOrZero", none, false);
    row("nonzero 3", "IsNotNilOrZero", 3, true);
    row("syncing none", "IsSyncingTransformer", none, true);
    row("syncing", "IsSyncingTransformer", QStringLiteral("Syncing..."), true);
    row("synced", "IsSyncingTransformer", QStringLiteral("Sync completed"), false);
    row("text empty", "IsNotNilOrEmptyString", QString(""), false);
    row("text none", "IsNotNilOrEmptyString", none, false);
    row("text", "IsNotNilOrEmptyString", QStringLiteral("a"), true);
    row("present none", "NSIsNotNil", none, false);
    row("present date", "NSIsNotNil", now(), true);
    row("icon file", "ImageTransformer", QStringLiteral("missing.png"), none);
}

void TestTransformers::rules()
{
    QFETCH(QString, transformer);
    QFETCH(QVariant, input);
    QFETCH(QVariant, expected);
    const ValueTransformer *t = ValueTransformer::valueTransformerForName(transformer);
    QVERIFY(t);
    const QVariant result = t->transformedValue(input);
    QCOMPARE(result.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(result, expected);
}

// One shared instance per name; unknown names find nothing; the level
// indicator's value converts back to whole numbers.
void TestTransformers::registry()
{
    const ValueTransformer *discretize = ValueTransformer::valueTransformerForName(QStringLiteral("DiscretizeTransformer"));
    QCOMPARE(ValueTransformer::valueTransformerForName(QStringLiteral("DiscretizeTransformer")), discretize);
    QVERIFY(!ValueTransformer::valueTransformerForName(QStringLiteral("HTMLToAttributedStringTransformer")));
    QVERIFY(discretize->allowsReverseTransformation());
    QCOMPARE(discretize->reverseTransformedValue(4.9), QVariant(4));
    const ValueTransformer *image = ValueTransformer::valueTransformerForName(QStringLiteral("ImageTransformer"));
    QCOMPARE(image->transformedValue(QStringLiteral("green_pen128.png")).value<QImage>().size(), QSize(128, 128));
}

void TestTransformers::badgeLabels_data()
{
    QTest::addColumn<QDateTime>("due");
    QTest::addColumn<QString>("label");
    QTest::newRow("no date") << QDateTime() << QString();
    QTest::newRow("epoch") << QDateTime::fromSecsSinceEpoch(0) << QString();
    QTest::newRow("long overdue") << inDays(-400) << "!!!";
    QTest::newRow("yesterday late") << localTime(2026, 3, 14, 23, 59) << "!!!";
    QTest::newRow("earlier today") << localTime(2026, 3, 15, 0, 1) << "!!";
    QTest::newRow("tomorrow") << inDays(1) << "1d";
    QTest::newRow("6 days") << inDays(6) << "6d";
    QTest::newRow("7 days") << inDays(7) << "1w";
    QTest::newRow("10 days") << inDays(10) << "1w";
    QTest::newRow("34 days") << inDays(34) << "4w";
    QTest::newRow("35 days") << inDays(35) << "1m";
    QTest::newRow("40 days") << inDays(40) << "1m";
    QTest::newRow("359 days") << inDays(359) << "11m";
    QTest::newRow("365 days") << inDays(365) << "1y";
    QTest::newRow("400 days") << inDays(400) << "13m";
    QTest::newRow("720 days") << inDays(720) << "2y";
}

void TestTransformers::badgeLabels()
{
    QFETCH(QDateTime, due);
    QFETCH(QString, label);
    QCOMPARE(ImageFactoryForMac::badgeLabel(due), label);
}

// Which file a name and row height load: the tier's copy, then the "128"
// file, then the default icon.
void TestTransformers::iconFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("height");
    QTest::addColumn<bool>("rewriting");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("size");
    QTest::newRow("tier 2") << "green_pen128.png" << 40 << true << Blue << 44;
    QTest::newRow("tier 2, 64 file") << "64green_pen128.png" << 44 << true << Blue << 44;
    QTest::newRow("tier 2, 128 file") << "128green_pen.png" << 40 << true << Blue << 44;
    QTest::newRow("tier 0") << "green_pen128.png" << 65 << true << Green << 128;
    QTest::newRow("kept name") << "green_pen128.png" << 40 << false << Green << 128;
    QTest::newRow("tier 3 missing") << "green_pen128.png" << 32 << true << Orange << 128;
    QTest::newRow("no name") << "" << 40 << true << Orange << 44;
}

void TestTransformers::iconFiles()
{
    QFETCH(QString, name);
    QFETCH(int, height);
    QFETCH(bool, rewriting);
    QFETCH(QColor, colour);
    QFETCH(int, size);
    const QImage image = ImageFactoryForMac::sharedInstance().imageNamed(name, QDateTime(), height, 0, rewriting);
    QCOMPARE(image.width(), size);
    QVERIFY(sameColour(image.pixelColor(size / 2, size / 2), colour));
}

// Which rows of a quadrant and of the master list show a picture.
void TestTransformers::rowPictures_data()
{
    QTest::addColumn<QString>("icon");
    QTest::addColumn<int>("dueInDays"); // 9999: no due date
    QTest::addColumn<int>("completion");
    QTest::addColumn<bool>("quadrantPicture");
    QTest::addColumn<bool>("masterListPicture");
    QTest::newRow("default, no date") << "empty_orange128.png" << 9999 << 0 << false << false;
    QTest::newRow("absent, no date") << "" << 9999 << 0 << false << false;
    QTest::newRow("check mark, no date") << "green_checkmark128.png" << 9999 << 100 << false << false;
    QTest::newRow("own icon, no date") << "green_pen128.png" << 9999 << 0 << true << true;
    QTest::newRow("absent, due tomorrow") << "" << 1 << 0 << true << true;
    QTest::newRow("default, due today") << "empty_orange128.png" << 0 << 0 << true << true;
    QTest::newRow("default, overdue") << "empty_orange128.png" << -1 << 0 << true << false;
    QTest::newRow("default, done") << "empty_orange128.png" << 3 << 100 << false << false;
    QTest::newRow("own icon, overdue") << "green_pen128.png" << -1 << 0 << true << true;
}

void TestTransformers::rowPictures()
{
    QFETCH(QString, icon);
    QFETCH(int, dueInDays);
    QFETCH(int, completion);
    QFETCH(bool, quadrantPicture);
    QFETCH(bool, masterListPicture);
    auto *item = m_context.insert<TODOItem>(TODOItem::EntityName);
    item->setIcon(icon);
    item->setDueDate(dueInDays == 9999 ? QDateTime() : inDays(dueInDays));
    item->setCompletionPercentage(completion);
    const QVariant value = QVariant::fromValue(item);
    QCOMPARE(ValueTransformer::valueTransformerForName(QStringLiteral("ImageTransformerEnhanced"))
                 ->transformedValue(value).isValid(), quadrantPicture);
    QCOMPARE(ValueTransformer::valueTransformerForName(QStringLiteral("ImageTransformerMasterList"))
                 ->transformedValue(value).isValid(), masterListPicture);
}

// The badge's colour where it is drawn, and what stays of the icon.
void TestTransformers::badgePixels_data()
{
    QTest::addColumn<QString>("icon");
    QTest::addColumn<int>("dueInDays");
    QTest::addColumn<int>("completion");
    QTest::addColumn<QPoint>("pixel");
    QTest::addColumn<QColor>("colour");
    const QColor red70 = QColor::fromRgbF(1, 0, 0, 0.7f);
    const QColor paleYellow70 = QColor::fromRgbF(1, 1, 0.9f, 0.7f);
    // The default icon: only a large badge in the middle (radius 16.5 of 44).
    QTest::newRow("default, badge top") << "empty_orange128.png" << 1 << 0 << QPoint(22, 7) << Grey;
    QTest::newRow("default, badge left") << "empty_orange128.png" << 1 << 0 << QPoint(7, 22) << Grey;
    QTest::newRow("default, no icon") << "empty_orange128.png" << 1 << 0 << QPoint(2, 2) << QColor(Qt::transparent);
    QTest::newRow("default, overdue") << "empty_orange128.png" << -2 << 0 << QPoint(22, 7) << red70;
    QTest::newRow("default, today") << "empty_orange128.png" << 0 << 0 << QPoint(22, 7) << paleYellow70;
    // Another icon: a smaller badge (radius 12.4) around (13, 11).
    QTest::newRow("icon, badge") << "green_pen128.png" << 1 << 0 << QPoint(2, 11) << Grey;
    QTest::newRow("icon, outside badge") << "green_pen128.png" << 1 << 0 << QPoint(30, 11) << Blue;
    QTest::newRow("icon, done") << "green_pen128.png" << 1 << 100 << QPoint(2, 11) << Blue;
}

void TestTransformers::badgePixels()
{
    QFETCH(QString, icon);
    QFETCH(int, dueInDays);
    QFETCH(int, completion);
    QFETCH(QPoint, pixel);
    QFETCH(QColor, colour);
    const QImage image = ImageFactoryForMac::sharedInstance().imageNamed(icon, inDays(dueInDays), 40, completion);
    QCOMPARE(image.size(), QSize(44, 44));
    const QColor found = image.pixelColor(pixel);
    QVERIFY2(sameColour(found, colour), qPrintable(found.name(QColor::HexArgb)));
}

// A picture is made once per label: the same one until the day changes the badge.
void TestTransformers::cacheFollowsLabel()
{
    ImageFactoryForMac &factory = ImageFactoryForMac::sharedInstance();
    const QDateTime due = inDays(1);
    const QImage first = factory.imageNamed(QStringLiteral("green_pen128.png"), due, 40);
    QCOMPARE(factory.imageNamed(QStringLiteral("green_pen128.png"), due, 40).cacheKey(), first.cacheKey());

    Clock::setNow(now().addDays(1));
    const QImage dueToday = factory.imageNamed(QStringLiteral("green_pen128.png"), due, 40);
    QVERIFY(sameColour(first.pixelColor(2, 11), Grey));
    QVERIFY(!sameColour(dueToday.pixelColor(2, 11), Grey));
}

QTEST_MAIN(TestTransformers)
#include "tst_transformers.moc"
