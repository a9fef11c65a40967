#include "ImageFactoryForMac.h"

#include <QDir>
#include <QTest>

// Every icon name the application uses must come out of the compiled-in
// icon set at each size tier, as its own picture rather than the fallback.
class TestIcons : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QDir::addSearchPath(QStringLiteral("icons"), QStringLiteral(":/icons")); }

    void itemIconsAtEveryTier_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"empty_orange128.png", "green_checkmark128.png", "green_envelope128.png",
                                 "green_pen128.png", "green_filecabinet128.png", "green_world128.png",
                                 "red_clock128.png"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void itemIconsAtEveryTier()
    {
        QFETCH(QString, name);
        auto &factory = ImageFactoryForMac::sharedInstance();
        for (const int size : {32, 44, 64, 128}) {
            const QImage image = factory.imageNamed(name, QDateTime(), size);
            QCOMPARE(image.size(), QSize(size, size));
            // Not blank, and not the default icon standing in for a missing file.
            QImage blank(image.size(), image.format());
            blank.fill(Qt::transparent);
            QVERIFY(image != blank);
            if (name != ImageFactoryForMac::defaultIconName())
                QVERIFY(image != factory.imageNamed(ImageFactoryForMac::defaultIconName(), QDateTime(), size));
        }
    }

    void toolbarImages_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("size");
        for (const char *name : {"plus", "duplicate", "show-left", "show-right", "link"}) {
            QTest::newRow(name) << QStringLiteral("%1.png").arg(QLatin1String(name)) << 32;
            QTest::newRow(qPrintable(QStringLiteral("%1@2x").arg(QLatin1String(name))))
                << QStringLiteral("%1@2x.png").arg(QLatin1String(name)) << 64;
        }
        QTest::newRow("transparent1x1") << QStringLiteral("transparent1x1.png") << 1;
    }
    void toolbarImages()
    {
        QFETCH(QString, file);
        QFETCH(int, size);
        const QImage image(QStringLiteral("icons:") + file);
        QCOMPARE(image.size(), QSize(size, size));
    }
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
