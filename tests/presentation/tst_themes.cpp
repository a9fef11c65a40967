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

enum class Reader { Braces, Hex };
enum class Selection { Selected, NotSelected };

const QStringList Primaries{"{1, 0, 0, 1}", "{0, 1, 0, 1}", "{0, 0, 1, 1}", "{1, 1, 1, 1}"};

QStringList appliedTexts(const ColorTheme &theme)
{
    QStringList texts;
    for (int q = 0; q < 4; ++q)
        texts << theme.themeString(q);
    return texts;
}

QStringList colorTexts(const TODOList *list)
{
    return {list->colorFirstQuadrant(), list->colorSecondQuadrant(), list->colorThirdQuadrant(),
            list->colorFourthQuadrant()};
}

} // namespace

Q_DECLARE_METATYPE(Reader)
Q_DECLARE_METATYPE(Selection)

class TestThemes : public QObject
{
    Q_OBJECT
private slots:
    void readColorText_data();
    void readColorText();
    void writeColorText_data();
    void writeColorText();
    void themeLine_data();
    void themeLine();
    void themeFile_data();
    void themeFile();
    void colorList_data();
    void colorList();
    void shippedResources();
    void applyTheme_data();
    void applyTheme();
    void picture_data();
    void picture();
};

void TestThemes::readColorText_data()
{
    QTest::addColumn<Reader>("reader");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("expected"); // invalid: no colour

    const QColor white(Qt::white), red(Qt::red), none;
    QTest::newRow("theme form") << Reader::Braces << "{1, 1, 1, 1}" << white;
    QTest::newRow("new list form") << Reader::Braces << "{1.000000, 1.000000, 1.000000, 1.000000}" << white;
    QTest::newRow("colour well form") << Reader::Braces << "{1.000, 1.000, 1.000, 1.000}" << white;
    QTest::newRow("spaces everywhere") << Reader::Braces << " { 1 , 0 , 0 , 1 } " << red;
    QTest::newRow("fractions") << Reader::Braces << "{0.5, 0.25, 0, 0.5}" << QColor::fromRgbF(0.5f, 0.25f, 0, 0.5f);
    QTest::newRow("five numbers") << Reader::Braces << "{1, 0, 0, 1, 0}" << none;
    QTest::newRow("text after the brace") << Reader::Braces << "{1, 0, 0, 1} x" << none;
    QTest::newRow("missing opening brace") << Reader::Braces << "1, 0, 0, 1}" << none;
    QTest::newRow("missing closing brace") << Reader::Braces << "{1, 0, 0, 1" << none;
    QTest::newRow("missing number") << Reader::Braces << "{1, , 0, 1}" << none;
    QTest::newRow("empty") << Reader::Braces << "" << none;
    QTest::newRow("hex with 0x") << Reader::Hex << "0xff0000" << red;
    QTest::newRow("hex digits only") << Reader::Hex << "00ff00" << QColor(Qt::green);
    QTest::newRow("hex upper case") << Reader::Hex << "0X0000FF" << QColor(Qt::blue);
    QTest::newRow("hex with # is not read") << Reader::Hex << "#ff0000" << QColor(Qt::black);
    QTest::newRow("hex empty") << Reader::Hex << "" << QColor(Qt::black);
}

void TestThemes::readColorText()
{
    QFETCH(Reader, reader);
    QFETCH(QString, text);
    QFETCH(QColor, expected);
    const QColor color = reader == Reader::Braces ? ColorText::colorWithString(text)
                                                  : ColorText::colorWithHexColorString(text);
    QCOMPARE(color, expected);
}

void TestThemes::writeColorText_data()
{
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hex");

    QTest::newRow("white") << QColor(Qt::white) << "{1.000, 1.000, 1.000, 1.000}" << "#ffffff";
    QTest::newRow("black") << QColor(Qt::black) << "{0.000, 0.000, 0.000, 1.000}" << "#000000";
    QTest::newRow("half transparent red") << QColor::fromRgbF(1, 0, 0, 0.5f) << "{1.000, 0.000, 0.000, 0.500}"
                                          << "#ff0000";
    QTest::newRow("first quadrant default") << QColor(221, 243, 173) << "{0.867, 0.953, 0.678, 1.000}" << "#ddf3ad";
    QTest::newRow("hsv colour") << QColor::fromHsv(240, 255, 255) << "{0.000, 0.000, 1.000, 1.000}" << "#0000ff";
}

// The colour well's text reads back as the same colour, and as the same web colour.
void TestThemes::writeColorText()
{
    QFETCH(QColor, color);
    QFETCH(QString, text);
    QFETCH(QString, hex);
    QCOMPARE(ColorText::stringFromColor(color), text);
    QCOMPARE(ColorText::hexadecimalValue(color), hex);
    const QColor readBack = ColorText::colorWithString(text);
    QCOMPARE(ColorText::hexadecimalValue(readBack), hex);
    QCOMPARE(readBack.alpha(), color.alpha());
}

void TestThemes::themeLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("texts"); // empty: the line is invalid
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("log");

    QTest::newRow("integers with runs of spaces")
        << "i:  255   0 0    0 255  0 0 0     255 255 255 255  :Primary" << Primaries << "Primary" << "";
    QTest::newRow("eleven integers") << "i:255 0 0 0 255 0 0 0 255 255 255:Short" << QStringList() << ""
                                     << "ERROR: Theme string format requires 12 numbers. 11 found";
    QTest::newRow("format hex") << "hex:0xff0000\t00ff00 0000FF ffffff:Hex" << Primaries << "Hex" << "";
    QTest::newRow("decimals keep their shortest form")
        << "d:0.5 1 0.25 0 0 0 1 1 1 0.87 0.93 0.8:Half"
        << QStringList{"{0.5, 1, 0.25, 1}", "{0, 0, 0, 1}", "{1, 1, 1, 1}", "{0.87, 0.93, 0.8, 1}"} << "Half" << "";
    QTest::newRow("integers in between")
        << "i:128 0 0 0 0 0 0 0 0 0 0 0:Dark"
        << QStringList{"{0.501961, 0, 0, 1}", "{0, 0, 0, 1}", "{0, 0, 0, 1}", "{0, 0, 0, 1}"} << "Dark" << "";
    QTest::newRow("name with a colon") << "i:255 0 0 0 255 0 0 0 255 255 255 255:Time: now" << QStringList() << ""
                                       << "ERROR: String format requires 3 colon-separated tokens. 4 found";
    QTest::newRow("bad format letter") << "x:255 0 0 0 255 0 0 0 255 255 255 255:Odd" << QStringList() << ""
                                       << "ERROR: String format must start with 'h', 'i' or 'd'. Got 'x'";
    QTest::newRow("empty first field") << ":255 0 0 0 255 0 0 0 255 255 255 255:Odd" << QStringList() << ""
                                       << "ERROR: String format must start with 'h', 'i' or 'd'. Got ''";
    QTest::newRow("hex with #") << "h:#ff0000 00ff00 0000ff ffffff:Hash" << QStringList() << "" << "";
    QTest::newRow("integer above 255") << "i:256 0 0 0 255 0 0 0 255 255 255 255:Big" << QStringList() << "" << "";
    QTest::newRow("word among decimals") << "d:1 0 x 0 1 0 0 0 1 1 1 1:Word" << QStringList() << "" << "";
}

void TestThemes::themeLine()
{
    QFETCH(QString, line);
    QFETCH(QStringList, texts);
    QFETCH(QString, name);
    QFETCH(QString, log);
    LogCapture capture("corvane.ui");
    const std::optional<ColorTheme> theme = ColorTheme::initWithString(line);
    QCOMPARE(theme.has_value(), !texts.isEmpty());
    if (theme) {
        QCOMPARE(appliedTexts(*theme), texts);
        QCOMPARE(theme->name(), name);
    }
    if (!log.isEmpty())
        QCOMPARE(capture.lines(), QStringList{log});
}

void TestThemes::themeFile_data()
{
    QTest::addColumn<QByteArray>("contents"); // null: no file
    QTest::addColumn<QStringList>("names");   // empty: not loaded
    QTest::addColumn<QString>("log");

    const QByteArray a = "i:255 0 0 0 255 0 0 0 255 255 255 255:A";
    const QByteArray b = "h:ffffff eeeeee dddddd cccccc:B";
    const QByteArray bad = "x:1 1 1 1:C";
    QTest::newRow("two themes") << a + "\n" + b << QStringList{"A", "B"} << "";
    QTest::newRow("blank lines and spaces around") << "\n \n  " + a + "\n" + b + "\n\n \t\n" << QStringList{"A", "B"}
                                                   << "";
    QTest::newRow("blank line inside") << a + "\n\n" + b << QStringList() << "ERROR: Invalid color theme string: ''";
    QTest::newRow("carriage return before line feed") << a + "\r\n" + b + "\r\n" << QStringList()
                                                      << "ERROR: Invalid color theme string: ''";
    QTest::newRow("invalid last line") << a + "\n" + bad << QStringList()
                                       << "ERROR: Invalid color theme string: '" + QString::fromLatin1(bad) + "'";
    QTest::newRow("empty file") << QByteArray("") << QStringList() << "ERROR: Invalid color theme string: ''";
    QTest::newRow("no file") << QByteArray() << QStringList() << "ERROR: Cannot open theme file 'colorthemes.txt'";
}

void TestThemes::themeFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, names);
    QFETCH(QString, log);
    QTemporaryDir dir;
    if (!contents.isNull())
        QVERIFY(writeBytes(dir.filePath("colorthemes.txt"), contents));
    LogCapture capture("corvane.ui");
    const auto producer = ColorThemeProducer::initWithFileNamed(QStringLiteral("colorthemes"), dir.path());
    QStringList loaded;
    if (producer) {
        for (const ColorTheme &theme : producer->themes())
            loaded << theme.name();
    }
    QCOMPARE(producer.has_value(), !names.isEmpty());
    QCOMPARE(loaded, names);
    if (!log.isEmpty())
        QVERIFY2(capture.contains(log), qPrintable(capture.lines().join('\n')));
}

void TestThemes::colorList_data()
{
    QTest::addColumn<QByteArray>("contents"); // null: no file
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QList<QColor>>("colors");

    QTest::newRow("file order, odd lines skipped")
        << QByteArray("{1, 0, 0, 1};Red\n\n{0, 1, 0, 1};Green;Extra\nNo colour\nnot a colour;Bad\n"
                      "{0.5, 0.5, 0.5, 1.000};Grey\n{0, 0, 1, 1};Blue")
        << QStringList{"Red", "Grey", "Blue"}
        << QList<QColor>{Qt::red, QColor::fromRgbF(0.5f, 0.5f, 0.5f), Qt::blue};
    QTest::newRow("no file") << QByteArray() << QStringList() << QList<QColor>();
}

void TestThemes::colorList()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, names);
    QFETCH(QList<QColor>, colors);
    QTemporaryDir dir;
    const QString path = dir.filePath("colors.txt");
    if (!contents.isNull())
        QVERIFY(writeBytes(path, contents));
    LogCapture capture("corvane.ui");
    QStringList loadedNames;
    QList<QColor> loadedColors;
    for (const ColorList::NamedColor &entry : ColorList::loadColors(path))
        loadedNames << entry.name, loadedColors << entry.color;
    QCOMPARE(loadedNames, names);
    QCOMPARE(loadedColors, colors);
    const bool logged = !capture.lines().isEmpty() && capture.lines().first().startsWith("error while loading colors ");
    QCOMPARE(logged, contents.isNull());
}

// The files we ship load whole, with names to tell the themes apart and
// colours light enough for black text.
void TestThemes::shippedResources()
{
    const auto producer = ColorThemeProducer::initWithFileNamed(QStringLiteral("colorthemes"));
    QVERIFY(producer);
    QVERIFY(producer->themes().size() >= 8);
    QSet<QString> names;
    for (const ColorTheme &theme : producer->themes()) {
        QVERIFY(!theme.name().trimmed().isEmpty());
        names.insert(theme.name());
        for (int q = 0; q < 4; ++q) {
            const QColor c = theme.colorNumber(q);
            QVERIFY2(0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF() > 0.6, qPrintable(theme.name()));
        }
    }
    QCOMPARE(names.size(), int(producer->themes().size()));
    QVERIFY(ColorList::loadColors().size() >= 12);
}

void TestThemes::applyTheme_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<Selection>("selection");
    QTest::addColumn<bool>("withThemeFile");
    QTest::addColumn<QStringList>("texts"); // empty: the list keeps its colours

    const QStringList third{"{1, 0, 0, 1}", "{0.5, 1, 0.25, 1}", "{0, 0, 1, 1}", "{1, 1, 1, 1}"};
    QTest::newRow("third theme") << 102 << Selection::Selected << true << third;
    QTest::newRow("first theme") << 100 << Selection::Selected << true << Primaries;
    QTest::newRow("tag before the first") << 99 << Selection::Selected << true << QStringList();
    QTest::newRow("tag after the last") << 103 << Selection::Selected << true << QStringList();
    QTest::newRow("no selected list") << 102 << Selection::NotSelected << true << QStringList();
    QTest::newRow("no theme file") << 100 << Selection::Selected << false << QStringList();
}

// A theme applied to the selected list is one undo step named for the menu.
void TestThemes::applyTheme()
{
    QFETCH(int, tag);
    QFETCH(Selection, selection);
    QFETCH(bool, withThemeFile);
    QFETCH(QStringList, texts);
    QTemporaryDir dir;
    if (withThemeFile) {
        QVERIFY(writeBytes(dir.filePath("colorthemes.txt"), "i:255 0 0 0 255 0 0 0 255 255 255 255:Primary\n"
                                                            "h:eeeeee dddddd cccccc bbbbbb:Grey\n"
                                                            "d:1 0 0 0.5 1 0.25 0 0 1 1 1 1:Third\n"));
    }
    DocumentFixture f;
    TODOList *list = selection == Selection::Selected ? f.selectedList()
                                                      : f.document->addNewProjectWithName(QStringLiteral("Aside"));
    QCoreApplication::processEvents();
    const QStringList before = colorTexts(list);
    QSignalSpy overviews(f.document.get(), &MyDocument::listCellsChanged);

    LogCapture capture;
    ColorThemes themes(f.document.get(), dir.path());
    themes.loadColorThemes();
    QCOMPARE(themes.menuEntries().size(), withThemeFile ? 3 : 0);
    themes.changeColorTheme(tag);
    QCoreApplication::processEvents();

    if (texts.isEmpty()) {
        QCOMPARE(colorTexts(list), before);
        QVERIFY(overviews.isEmpty());
        return;
    }
    QCOMPARE(colorTexts(list), texts);
    QVERIFY(!overviews.isEmpty());
    UndoManager *undo = f.context()->undoManager();
    QCOMPARE(undo->undoActionName(), QStringLiteral("Apply Theme"));
    f.document->undo();
    QCOMPARE(colorTexts(list), before);
}

void TestThemes::picture_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QList<QRgb>>("pixels"); // quadrants 0 to 3

    QTest::newRow("primaries") << "i:255 0 0 0 255 0 0 0 255 255 255 255:P"
                               << QList<QRgb>{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    QTest::newRow("hex") << "h:ffe0b2 102030 0xabcdef 000000:H"
                         << QList<QRgb>{qRgb(0xff, 0xe0, 0xb2), qRgb(0x10, 0x20, 0x30), qRgb(0xab, 0xcd, 0xef),
                                        qRgb(0, 0, 0)};
}

// The picture shows the quadrants like the matrix, each a sharp 16x16 block.
void TestThemes::picture()
{
    QFETCH(QString, line);
    QFETCH(QList<QRgb>, pixels);
    const std::optional<ColorTheme> theme = ColorTheme::initWithString(line);
    QVERIFY(theme);
    const QImage image = theme->image();
    QCOMPARE(image.size(), QSize(32, 32));
    for (int q = 0; q < 4; ++q) {
        const int left = (q % 2) * 16, top = (q / 2) * 16;
        for (const QPoint corner : {QPoint(left, top), QPoint(left + 15, top + 15)})
            QCOMPARE(QColor(image.pixel(corner)), QColor(pixels[q]));
    }
}

QTEST_GUILESS_MAIN(TestThemes)
#include "tst_themes.moc"
