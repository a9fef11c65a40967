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

const int NoDate = 9999;

// Days from "now" in every test, a Sunday noon in the test's time zone.
QDateTime inDays(int days)
{
    return localTime(2026, 3, 15, 12, 0).addDays(days);
}

// Equal but for antialiasing and rounding.
bool sameColour(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue())
        + qAbs(a.alpha() - b.alpha()) <= 8;
}

const QColor Grey = QColor::fromRgbF(0.4f, 0.4f, 0.4f);
const QColor Blue(0, 0, 255);
const QColor Green(0, 160, 0);
const QColor Orange(255, 140, 0);

} // namespace

// A picture asked of the factory, and the colour it has at one point.
struct Picture {
    const char *icon;
    int height;
    int dueInDays; // NoDate: none
    int completion;
    QPoint pixel;
    QColor colour;
    int size;
    bool rewriting = true;
};
Q_DECLARE_METATYPE(Picture)

class TestTransformers : public QObject
{
    Q_OBJECT
private slots:
    // A few icon files, each a plain colour, in the tiers' naming scheme.
    void initTestCase()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const std::tuple<const char *, int, QColor> files[] = {{"green_pen128.png", 128, Green},
            {"44green_pen128.png", 44, Blue}, {"empty_orange128.png", 128, Orange}, {"44empty_orange128.png", 44, Orange}};
        for (const auto &[name, size, colour] : files) {
            QImage image(size, size, QImage::Format_ARGB32);
            image.fill(colour);
            QVERIFY(image.save(m_icons.filePath(QLatin1String(name))));
        }
        QDir::setSearchPaths(QStringLiteral("icons"), {m_icons.path()});
    }

    void init() { Clock::setNow(inDays(0)); ImageFactoryForMac::sharedInstance().clear(); }
    void cleanupTestCase() { Clock::reset(); }

    void rules_data()
    {
        QTest::addColumn<QString>("transformer");
        QTest::addColumn<QVariant>("input");
        QTest::addColumn<QVariant>("expected");

        const QVariant none;
        auto row = [](const char *name, const char *transformer, const QVariant &input, const QVariant &expected) {
            QTest::newRow(name) << QString::fromLatin1(transformer) << input << expected;
        };
        row("state 99", "PercentageToStateTransformer", 99, 0);
        row("state 100", "PercentageToStateTransformer", 100, 1);
        // Late in the evening UTC is already the next day in the local calendar.
        row("date local day", "DateToStringTransformer", utcTime(2026, 3, 14, 23, 30).toLocalTime(),
            QStringLiteral("Sonntag, 15. März 2026"));
        row("date none", "DateToStringTransformer", none, QStringLiteral("---"));
        row("epoch 0", "EpochToStringTransformer", 0, QStringLiteral("---"));
        row("epoch past 2038", "EpochToStringTransformer", qint64(1) << 31, QStringLiteral("19.01.38 04:14"));
        row("weekday", "NSDateToDayOfTheWeekTransformer", localTime(2026, 3, 16, 23, 59), QStringLiteral("Mo."));
        row("due yesterday", "FontColorFromDueDate", localTime(2026, 3, 14, 23, 59), QColor::fromRgbF(0.8f, 0, 0));
        row("due earlier today", "FontColorFromDueDate", localTime(2026, 3, 15, 0, 1), QColor(Qt::black));
        row("due none", "FontColorFromDueDate", none, QColor(Qt::black));
        row("repeat daily", "IsNotNeverOrNilValueTransformer", QStringLiteral("Daily"), true);
        row("repeat never", "IsNotNeverOrNilValueTransformer", QStringLiteral("Never"), false);
        row("effort 8", "EffortValueToDurationString", 8, QStringLiteral("Several months"));
        row("effort 9", "EffortValueToDurationString", 9, QString());
        row("counter", "CounterFirstQuadrantTransformer", QVariantList{1, 2, 3}, QStringLiteral("3"));
        row("colour bad text", "StringToColorTransformer", QStringLiteral("{1, 0, zero}"), QColor(Qt::white));
        row("syncing, no status", "IsSyncingTransformer", none, true);
    }

    void rules()
    {
        QFETCH(QString, transformer);
        QFETCH(QVariant, input);
        const ValueTransformer *t = ValueTransformer::valueTransformerForName(transformer);
        QVERIFY(t);
        QTEST(t->transformedValue(input), "expected");
    }

    // Unknown names find nothing; the level indicator's value converts back to
    // whole numbers; an icon name shows the icon file.
    void registry()
    {
        QVERIFY(!ValueTransformer::valueTransformerForName(QStringLiteral("HTMLToAttributedStringTransformer")));
        const ValueTransformer *discretize = ValueTransformer::valueTransformerForName(QStringLiteral("DiscretizeTransformer"));
        QCOMPARE(discretize->reverseTransformedValue(4.9), QVariant(4));
        const ValueTransformer *image = ValueTransformer::valueTransformerForName(QStringLiteral("ImageTransformer"));
        QCOMPARE(image->transformedValue(QStringLiteral("green_pen128.png")).value<QImage>().size(), QSize(128, 128));
    }

    void badgeLabels_data()
    {
        QTest::addColumn<QDateTime>("due");
        QTest::addColumn<QString>("label");
        QTest::newRow("no date") << QDateTime() << QString();
        QTest::newRow("epoch") << QDateTime::fromSecsSinceEpoch(0) << QString();
        QTest::newRow("yesterday late") << localTime(2026, 3, 14, 23, 59) << "!!!";
        QTest::newRow("earlier today") << localTime(2026, 3, 15, 0, 1) << "!!";
        const std::pair<int, const char *> ahead[] = {{1, "1d"},  {6, "6d"},    {7, "1w"},    {34, "4w"},
                                                      {35, "1m"}, {359, "11m"}, {365, "1y"},  {400, "13m"}};
        for (const auto &[days, label] : ahead)
            QTest::addRow("%d days", days) << inDays(days) << QString::fromLatin1(label);
    }

    void badgeLabels()
    {
        QFETCH(QDateTime, due);
        QTEST(ImageFactoryForMac::badgeLabel(due), "label");
    }

    // Which rows of a quadrant and of the master list show a picture.
    void rowPictures_data()
    {
        QTest::addColumn<QString>("icon");
        QTest::addColumn<int>("dueInDays");
        QTest::addColumn<int>("completion");
        QTest::addColumn<QList<bool>>("shown"); // in a quadrant, in the master list
        QTest::newRow("default, no date") << "empty_orange128.png" << NoDate << 0 << QList<bool>{false, false};
        QTest::newRow("own icon, no date") << "green_pen128.png" << NoDate << 0 << QList<bool>{true, true};
        QTest::newRow("absent, due tomorrow") << "" << 1 << 0 << QList<bool>{true, true};
        QTest::newRow("default, overdue") << "empty_orange128.png" << -1 << 0 << QList<bool>{true, false};
        QTest::newRow("default, done") << "empty_orange128.png" << 3 << 100 << QList<bool>{false, false};
    }

    void rowPictures()
    {
        QFETCH(QString, icon);
        QFETCH(int, dueInDays);
        QFETCH(int, completion);
        auto *item = m_context.insert<TODOItem>(TODOItem::EntityName);
        item->setIcon(icon);
        item->setDueDate(dueInDays == NoDate ? QDateTime() : inDays(dueInDays));
        item->setCompletionPercentage(completion);
        QList<bool> found;
        for (const char *name : {"ImageTransformerEnhanced", "ImageTransformerMasterList"})
            found << ValueTransformer::valueTransformerForName(QLatin1String(name))
                         ->transformedValue(QVariant::fromValue(item)).isValid();
        QTEST(found, "shown");
    }

    // Which file a name and row height load (the tier's copy, then the "128"
    // file, then the default icon), and the badge's colour where it is drawn.
    void pictures_data()
    {
        QTest::addColumn<Picture>("p");
        const QPoint middle(22, 22);
        QTest::newRow("tier 2, 64 file") << Picture{"64green_pen128.png", 44, NoDate, 0, middle, Blue, 44};
        QTest::newRow("tier 2, 128 file") << Picture{"128green_pen.png", 40, NoDate, 0, middle, Blue, 44};
        QTest::newRow("tier 0") << Picture{"green_pen128.png", 65, NoDate, 0, middle, Green, 128};
        QTest::newRow("kept name") << Picture{"green_pen128.png", 40, NoDate, 0, middle, Green, 128, false};
        QTest::newRow("tier 3 missing") << Picture{"green_pen128.png", 32, NoDate, 0, middle, Orange, 128};
        QTest::newRow("no name") << Picture{"", 40, NoDate, 0, middle, Orange, 44};
        // The default icon: only a large badge in the middle (radius 16.5 of 44).
        const char *none = "empty_orange128.png";
        QTest::newRow("default, no icon") << Picture{none, 40, 1, 0, QPoint(2, 2), Qt::transparent, 44};
        QTest::newRow("default, overdue") << Picture{none, 40, -2, 0, QPoint(22, 7), QColor::fromRgbF(1, 0, 0, 0.7f), 44};
        QTest::newRow("default, today") << Picture{none, 40, 0, 0, QPoint(22, 7), QColor::fromRgbF(1, 1, 0.9f, 0.7f), 44};
        // Another icon: a smaller badge (radius 12.4) around (13, 11).
        QTest::newRow("icon, badge") << Picture{"green_pen128.png", 40, 1, 0, QPoint(2, 11), Grey, 44};
        QTest::newRow("icon, outside badge") << Picture{"green_pen128.png", 40, 1, 0, QPoint(30, 11), Blue, 44};
        QTest::newRow("icon, done") << Picture{"green_pen128.png", 40, 1, 100, QPoint(2, 11), Blue, 44};
    }

    void pictures()
    {
        QFETCH(Picture, p);
        const QDateTime due = p.dueInDays == NoDate ? QDateTime() : inDays(p.dueInDays);
        const QImage image = ImageFactoryForMac::sharedInstance().imageNamed(QString::fromLatin1(p.icon), due, p.height,
                                                                              p.completion, p.rewriting);
        QCOMPARE(image.width(), p.size);
        const QColor found = image.pixelColor(p.pixel);
        QVERIFY2(sameColour(found, p.colour), qPrintable(found.name(QColor::HexArgb)));
    }

    // A cached picture lasts only as long as its badge: once the day changes the label, it is drawn anew.
    void cacheFollowsLabel()
    {
        ImageFactoryForMac &factory = ImageFactoryForMac::sharedInstance();
        const QString icon("green_pen128.png");
        QVERIFY(sameColour(factory.imageNamed(icon, inDays(1), 40).pixelColor(2, 11), Grey));
        Clock::setNow(inDays(1));
        QVERIFY(!sameColour(factory.imageNamed(icon, inDays(1), 40).pixelColor(2, 11), Grey));
    }

private:
    QTemporaryDir m_icons;
    ManagedObjectContext m_context{todoListModel()};
};

QTEST_MAIN(TestTransformers)
#include "tst_transformers.moc"
