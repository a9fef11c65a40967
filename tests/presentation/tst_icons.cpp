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
};

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
