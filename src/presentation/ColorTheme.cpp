#include "ColorTheme.h"

#include "ColorText.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOList.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace {

constexpr int FirstThemeTag = 100;

float readInteger(const QString &piece, bool *ok)
{
    return float(piece.toInt(ok));
}

float readDecimal(const QString &piece, bool *ok)
{
    return piece.toFloat(ok);
}

} // namespace

std::optional<ColorTheme> ColorTheme::initWithString(const QString &line)
{
    ColorTheme theme;
    if (!theme.importString(line))
        return std::nullopt;
    return theme;
}

bool ColorTheme::importString(const QString &line)
{
    const QStringList fields = line.split(QLatin1Char(':'));
    if (fields.size() != 3) {
        qCWarning(lcUi, "ERROR: String format requires 3 colon-separated tokens. %lld found",
                  static_cast<long long>(fields.size()));
        return false;
    }
    const QChar format = fields[0].isEmpty() ? QChar() : fields[0][0];
    bool imported = false;
    if (format == u'd') {
        imported = importDoubleString(fields[1]);
    } else if (format == u'h') {
        imported = importHexString(fields[1]);
    } else if (format == u'i') {
        imported = importIntegerString(fields[1]);
    } else {
        // An empty first field has no letter: logged with nothing between the quotes.
        qCWarning(lcUi).noquote() << QStringLiteral("ERROR: String format must start with 'h', 'i' or 'd'. Got '%1'")
                                         .arg(fields[0].left(1));
        return false;
    }
    m_name = fields[2];
    buildImage();
    return imported;
}

std::optional<QStringList> ColorTheme::splitInTokens(const QString &text, int expectedCount)
{
    static const QRegularExpression whiteSpace(QStringLiteral("\\s"));
    const QStringList pieces = text.split(whiteSpace, Qt::SkipEmptyParts);
    if (pieces.size() != expectedCount) {
        qCWarning(lcUi, "ERROR: Theme string format requires %d numbers. %lld found", expectedCount,
                  static_cast<long long>(pieces.size()));
        return std::nullopt;
    }
    return pieces;
}

bool ColorTheme::importIntegerString(const QString &text)
{
    return importTriples(text, 255.0f, readInteger);
}

bool ColorTheme::importDoubleString(const QString &text)
{
    return importTriples(text, 1.0f, readDecimal);
}

bool ColorTheme::importTriples(const QString &text, float maximum, float (*read)(const QString &, bool *))
{
    const std::optional<QStringList> pieces = splitInTokens(text, 12);
    if (!pieces)
        return false;
    float values[12];
    for (int i = 0; i < 12; ++i) {
        bool ok = false;
        values[i] = read(pieces->at(i), &ok);
        // A piece that is no number, or out of range, would make a colour
        // text that reads back as another colour.
        if (!ok || values[i] < 0 || values[i] > maximum)
            return false;
    }
    for (int q = 0; q < 4; ++q)
        m_colors[q] = {values[3 * q] / maximum, values[3 * q + 1] / maximum, values[3 * q + 2] / maximum};
    return true;
}

bool ColorTheme::importHexString(const QString &text)
{
    const std::optional<QStringList> pieces = splitInTokens(text, 4);
    if (!pieces)
        return false;
    // The hex reader takes "#ff0000" or "red" as black; such a piece makes the line invalid.
    static const QRegularExpression hexColor(QStringLiteral("^(0[xX])?[0-9a-fA-F]{1,6}$"));
    for (int q = 0; q < 4; ++q) {
        if (!hexColor.match(pieces->at(q)).hasMatch())
            return false;
        const QColor color = ColorText::colorWithHexColorString(pieces->at(q));
        m_colors[q] = {color.redF(), color.greenF(), color.blueF()};
    }
    return true;
}

void ColorTheme::buildImage()
{
    // Row 0 holds quadrants 0 and 1, row 1 quadrants 2 and 3, like the matrix.
    QImage pixels(2, 2, QImage::Format_RGB888);
    for (int q = 0; q < 4; ++q) {
        const Rgb &c = m_colors[q];
        pixels.setPixel(q % 2, q / 2, qRgb(int(c.red * 255), int(c.green * 255), int(c.blue * 255)));
    }
    m_image = pixels.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

QColor ColorTheme::colorNumber(int quadrant) const
{
    if (quadrant < 0 || quadrant > 3)
        return {};
    const Rgb &c = m_colors[quadrant];
    return QColor::fromRgbF(c.red, c.green, c.blue);
}

QString ColorTheme::themeString(int quadrant) const
{
    if (quadrant < 0 || quadrant > 3)
        return {};
    const Rgb &c = m_colors[quadrant];
    return ColorText::themeString(c.red, c.green, c.blue);
}

std::optional<ColorThemeProducer> ColorThemeProducer::initWithFileNamed(const QString &name, const QString &folder)
{
    ColorThemeProducer producer;
    if (!producer.importFileNamed(name, folder))
        return std::nullopt;
    return producer;
}

bool ColorThemeProducer::importFileNamed(const QString &name, const QString &folder)
{
    QFile file(QDir(folder).filePath(name + QStringLiteral(".txt")));
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcUi).noquote() << QStringLiteral("ERROR: Cannot open theme file '%1.txt'").arg(name);
        return false;
    }
    // Every line must be a theme: a blank line inside, or "\r\n", makes an
    // empty line and the whole file invalid.
    static const QRegularExpression lineBreak(QStringLiteral("[\\n\\v\\f\\r\\x{85}\\x{2028}\\x{2029}]"));
    const QStringList lines = QString::fromUtf8(file.readAll()).trimmed().split(lineBreak);
    for (const QString &line : lines) {
        std::optional<ColorTheme> theme = ColorTheme::initWithString(line);
        if (!theme) {
            qCWarning(lcUi).noquote() << QStringLiteral("ERROR: Invalid color theme string: '%1'").arg(line);
            return false;
        }
        m_themes.push_back(std::move(*theme));
    }
    return true;
}

ColorThemes::ColorThemes(MyDocument *document, const QString &themeFolder)
    : m_document(document)
    , m_themeFolder(themeFolder)
{
}

void ColorThemes::loadColorThemes()
{
    if (m_loaded)
        return;
    m_loaded = true;
    m_producer = ColorThemeProducer::initWithFileNamed(QStringLiteral("colorthemes"), m_themeFolder);
}

QList<ColorThemes::MenuEntry> ColorThemes::menuEntries() const
{
    QList<MenuEntry> entries;
    if (!m_producer)
        return entries;
    int tag = FirstThemeTag;
    for (const ColorTheme &theme : m_producer->themes())
        entries.append({theme.name(), theme.image(), tag++});
    return entries;
}

void ColorThemes::changeColorTheme(int tag)
{
    const int position = tag - FirstThemeTag;
    if (!m_document || !m_producer || position < 0 || position >= int(m_producer->themes().size()))
        return;
    TODOList *list = m_document->getSelectedProject();
    if (!list)
        return;
    const ColorTheme &theme = m_producer->themes()[std::size_t(position)];
    list->setColorFirstQuadrant(theme.themeString(0));
    list->setColorSecondQuadrant(theme.themeString(1));
    list->setColorThirdQuadrant(theme.themeString(2));
    list->setColorFourthQuadrant(theme.themeString(3));
    m_document->managedObjectContext()->setUndoActionName(QStringLiteral("Apply Theme"));
    m_document->cleanListCustomCells();
}

void ColorThemes::changeColor(int quadrant, const QColor &color)
{
    TODOList *list = m_document ? m_document->getSelectedProject() : nullptr;
    if (!list || !color.isValid() || quadrant < 0 || quadrant > 3)
        return;
    // Greys and named colours are converted, so the text always holds red, green and blue.
    const QString text = ColorText::stringFromColor(color.toRgb());
    switch (quadrant) {
    case 0:
        list->setColorFirstQuadrant(text);
        break;
    case 1:
        list->setColorSecondQuadrant(text);
        break;
    case 2:
        list->setColorThirdQuadrant(text);
        break;
    default:
        list->setColorFourthQuadrant(text);
        break;
    }
    m_document->managedObjectContext()->setUndoActionName(QStringLiteral("Change Color"));
    m_document->cleanListCustomCells();
}
