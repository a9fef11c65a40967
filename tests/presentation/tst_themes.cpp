// Colour texts, theme lines and files, applying a theme, and the resources we ship.
#include "ColorList.h"
#include "ColorText.h"
#include "ColorTheme.h"
#include "DocumentFakes.h"
#include "TestSupport.h"
#include "UndoManager.h"

#include <QSignalSpy>
#include <QTest>

namespace {

enum class Operation { ReadBraces, ReadHex };
enum class Setup { SelectedList, UnselectedList, NoThemeFile };

QStringList colorTexts(const TODOList *list)
{
    return {list->colorFirstQuadrant(), list->colorSecondQuadrant(), list->colorThirdQuadrant(),
            list->colorFourthQuadrant()};
}

} // namespace

class TestThemes : public QObject
{
    Q_OBJECT
private slots:
    void colorText_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("color"); // invalid: the text reads as no colour

        const QColor white(Qt::white), red(Qt::red), none;
        QTest::newRow("new list form") << Operation::ReadBraces << "{1.000000, 1.000000, 1.000000, 1.000000}" << white;
        QTest::newRow("spaces everywhere") << Operation::ReadBraces << " { 1 , 0 , 0 , 1 } " << red;
        QTest::newRow("five numbers") << Operation::ReadBraces << "{1, 0, 0, 1, 0}" << none;
        QTest::newRow("hex with 0x") << Operation::ReadHex << "0xff0000" << red;
        QTest::newRow("hex with # is not read") << Operation::ReadHex << "#ff0000" << QColor(Qt::black);
    }

    // The writers' forms read alike.
    void colorText()
    {
        QFETCH(Operation, operation);
        QFETCH(QString, text);
        QFETCH(QColor, color);
        QCOMPARE(operation == Operation::ReadHex ? ColorText::colorWithHexColorString(text) : ColorText::colorWithString(text),
                 color);
    }

    // A theme file, and each theme it loads as "name: the four colour texts applied".
    void themeFile_data()
    {
        QTest::addColumn<QByteArray>("contents"); // null: no file
        QTest::addColumn<QStringList>("themes");  // empty: the file is not loaded

        const QByteArray numbers = "255 0 0 0 255 0 0 0 255 255 255 255", dark = "i:" + numbers + ":Dark";
        const QByteArray spaced = "i:  255   0 0    0 255  0 0 0   255 255 255 255 :A";
        const QByteArray hex = "h:0xff0000\t00ff00 0000FF ffffff:B";
        const QString primaries("{1, 0, 0, 1} {0, 1, 0, 1} {0, 0, 1, 1} {1, 1, 1, 1}");
        QTest::newRow("blank lines around, spaced numbers, hex") << "\n \n  " + spaced + "\n" + hex + "\n\n \t\n"
                                                                 << QStringList{"A: " + primaries, "B: " + primaries};
        QTest::newRow("decimals in shortest form") << QByteArray("d:0.5 1 0.25 0 0 0 1 1 1 0.87 0.93 0.8:D")
                                                   << QStringList{"D: {0.5, 1, 0.25, 1} {0, 0, 0, 1} {1, 1, 1, 1} "
                                                                  "{0.87, 0.93, 0.8, 1}"};
        QTest::newRow("eleven integers") << QByteArray("i:255 0 0 0 255 0 0 0 255 255 255:Name") << QStringList();
        QTest::newRow("name with a colon") << "i:" + numbers + ":Time: now" << QStringList();
        QTest::newRow("hex with #") << QByteArray("h:#ff0000 00ff00 0000ff ffffff:Name") << QStringList();
        QTest::newRow("integer above 255") << "i:256 0 0 " + numbers.mid(8) + ":Name" << QStringList();
        QTest::newRow("blank line inside") << dark + "\n\n" + hex << QStringList();
        QTest::newRow("CR before LF") << dark + "\r\n" + hex + "\r\n" << QStringList();
        QTest::newRow("no file") << QByteArray() << QStringList();
    }

    void themeFile()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QStringList, themes);
        QTemporaryDir dir;
        if (!contents.isNull())
            QVERIFY(writeBytes(dir.filePath("colorthemes.txt"), contents));
        LogCapture quiet;
        const auto producer = ColorThemeProducer::initWithFileNamed(QStringLiteral("colorthemes"), dir.path());
        QStringList loaded;
        for (const ColorTheme &theme : producer ? producer->themes() : std::vector<ColorTheme>()) {
            QStringList texts{theme.name() + ':'};
            for (int q = 0; q < 4; ++q)
                texts << theme.themeString(q);
            loaded << texts.join(QLatin1Char(' '));
        }
        QCOMPARE(producer.has_value(), !themes.isEmpty());
        QCOMPARE(loaded, themes);
    }

    void applyTheme_data()
    {
        QTest::addColumn<int>("tag");
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("texts"); // empty: the list keeps its colours

        const QStringList third{"{1, 0, 0, 1}", "{0.5, 1, 0.25, 1}", "{0, 0, 1, 1}", "{1, 1, 1, 1}"};
        QTest::newRow("third theme") << 102 << Setup::SelectedList << third;
        QTest::newRow("tag before the first") << 99 << Setup::SelectedList << QStringList();
        QTest::newRow("tag after the last") << 103 << Setup::SelectedList << QStringList();
        QTest::newRow("no selected list") << 102 << Setup::UnselectedList << QStringList();
        QTest::newRow("no theme file") << 100 << Setup::NoThemeFile << QStringList();
    }

    // A theme chosen from the menu colours the selected list as one undo step named for the menu.
    void applyTheme()
    {
        QFETCH(int, tag);
        QFETCH(Setup, setup);
        QFETCH(QStringList, texts);
        QTemporaryDir dir;
        const QByteArray file = "i:255 0 0 0 0 0 0 0 0 0 0 0:Dark\nh:eeeeee dddddd cccccc bbbbbb:Grey\n"
                                "d:1 0 0 0.5 1 0.25 0 0 1 1 1 1:Third\n";
        QVERIFY(setup == Setup::NoThemeFile || writeBytes(dir.filePath("colorthemes.txt"), file));
        DocumentFixture f;
        TODOList *list = setup == Setup::UnselectedList ? f.document->addNewProjectWithName("Aside") : f.selectedList();
        QCoreApplication::processEvents();
        const QStringList before = colorTexts(list);
        QSignalSpy overviews(f.document.get(), &MyDocument::listCellsChanged);

        LogCapture quiet;
        ColorThemes themes(f.document.get(), dir.path());
        themes.loadColorThemes();
        themes.changeColorTheme(tag);
        QCoreApplication::processEvents();
        QCOMPARE(colorTexts(list), texts.isEmpty() ? before : texts);
        QCOMPARE(overviews.isEmpty(), texts.isEmpty());
        if (texts.isEmpty())
            return;
        QCOMPARE(f.context()->undoManager()->undoActionName(), QStringLiteral("Apply Theme"));
        f.document->undo();
        QCOMPARE(colorTexts(list), before);
    }

    void colorWell_data()
    {
        QTest::addColumn<int>("quadrant");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<QString>("text"); // empty: the list keeps its colours

        QTest::newRow("half-transparent red") << 2 << QColor::fromRgbF(1, 0, 0, 0.5f) << "{1.000, 0.000, 0.000, 0.500}";
        QTest::newRow("a grey gets red, green and blue") << 0 << QColor::fromHsvF(0, 0, 0.5f) << "{0.500, 0.500, 0.500, 1.000}";
        QTest::newRow("invalid colour") << 1 << QColor() << "";
        QTest::newRow("no such quadrant") << 4 << QColor(Qt::red) << "";
    }

    // A quadrant's colour well writes only that quadrant's text, readable again, as one undo step.
    void colorWell()
    {
        QFETCH(int, quadrant);
        QFETCH(QColor, color);
        QFETCH(QString, text);
        DocumentFixture f;
        TODOList *list = f.selectedList();
        QCoreApplication::processEvents();
        const QStringList before = colorTexts(list);
        ColorThemes(f.document.get()).changeColor(quadrant, color);
        QCoreApplication::processEvents();
        QStringList expected = before;
        if (!text.isEmpty())
            expected[quadrant] = text;
        QCOMPARE(colorTexts(list), expected);
        if (text.isEmpty())
            return;
        QCOMPARE(ColorText::colorWithString(text).rgba(), color.toRgb().rgba());
        f.document->undo();
        QCOMPARE(colorTexts(list), before);
    }

    // Lines that are not a colour and a name around ";" are left out.
    void colorList()
    {
        QTemporaryDir dir;
        QVERIFY(writeBytes(dir.filePath("colors.txt"), "{1, 0, 0, 1};Red\n\n{0, 1, 0, 1};Green;Extra\nNo colour\n"
                                                       "not a colour;Bad\n{0, 0, 1, 1};Blue"));
        QStringList entries;
        for (const ColorList::NamedColor &entry : ColorList::loadColors(dir.filePath("colors.txt")))
            entries << entry.name + " " + ColorText::hexadecimalValue(entry.color);
        QCOMPARE(entries, (QStringList{"Red #ff0000", "Blue #0000ff"}));
    }

    // The files we ship load whole, with distinct names and colours light enough for black text.
    void shippedResources()
    {
        const auto producer = ColorThemeProducer::initWithFileNamed(QStringLiteral("colorthemes"));
        QVERIFY(producer && producer->themes().size() >= 8);
        QSet<QString> names{QString()};
        for (const ColorTheme &theme : producer->themes()) {
            QVERIFY2(!names.contains(theme.name().trimmed()), qPrintable(theme.name()));
            names.insert(theme.name().trimmed());
            for (int q = 0; q < 4; ++q) {
                const QColor c = theme.colorNumber(q);
                QVERIFY2(0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF() > 0.6, qPrintable(theme.name()));
            }
        }
        QVERIFY(ColorList::loadColors().size() >= 12);
    }
};

QTEST_GUILESS_MAIN(TestThemes)
#include "tst_themes.moc"
