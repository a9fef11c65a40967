#pragma once

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>
#include <vector>

class MyDocument;

// One line of the theme file: "format:colours:name". The format's first
// letter picks the notation of the colours field: "d" twelve fractions,
// "i" twelve integers 0..255, "h" four hexadecimal colours; three components
// (red, green, blue) per quadrant, quadrants 0 to 3, always opaque.
class ColorTheme
{
public:
    // Nothing when the line is invalid; the reason is logged.
    static std::optional<ColorTheme> initWithString(const QString &line);

    // The colours field cut at white space; nothing (logged) when the count
    // of pieces is not the expected one.
    static std::optional<QStringList> splitInTokens(const QString &text, int expectedCount);

    QString name() const { return m_name; }
    // 32x32 picture of the four colours laid out like the matrix.
    QImage image() const { return m_image; }
    // Quadrant 0 to 3; an invalid colour outside that range.
    QColor colorNumber(int quadrant) const;
    // The colour text written when the theme is applied: "{%g, %g, %g, 1}"
    // of the components as the file gives them, so 0.5 stays "0.5".
    QString themeString(int quadrant) const;

private:
    struct Rgb {
        float red = 0;
        float green = 0;
        float blue = 0;
    };

    ColorTheme() = default;
    bool importString(const QString &line);
    bool importIntegerString(const QString &text);
    bool importDoubleString(const QString &text);
    bool importHexString(const QString &text);
    // Twelve numbers read by `read`, each within 0..maximum, divided by maximum.
    bool importTriples(const QString &text, float maximum, float (*read)(const QString &, bool *));
    void buildImage();

    QString m_name;
    std::array<Rgb, 4> m_colors{};
    QImage m_image;
};

// The themes of one theme file, in file order.
class ColorThemeProducer
{
public:
    // Reads "<name>.txt" from the folder (the application's resources unless
    // given). Nothing when the file cannot be read or any line is invalid.
    static std::optional<ColorThemeProducer> initWithFileNamed(const QString &name,
                                                               const QString &folder = QStringLiteral(":/"));

    const std::vector<ColorTheme> &themes() const { return m_themes; }

private:
    ColorThemeProducer() = default;
    bool importFileNamed(const QString &name, const QString &folder);

    std::vector<ColorTheme> m_themes;
};

// The theme menu of a document: one entry per theme of "colorthemes.txt",
// and applying the chosen one to the selected list.
class ColorThemes
{
public:
    struct MenuEntry {
        QString title;
        QImage image;
        int tag = 0; // 100 + the theme's position
    };

    explicit ColorThemes(MyDocument *document, const QString &themeFolder = QStringLiteral(":/"));

    // Reads the theme file the first time; later calls keep what was read.
    void loadColorThemes();
    // Empty until loaded, and when the theme file could not be used.
    QList<MenuEntry> menuEntries() const;
    // Writes the theme with this tag into the selected list's four colour
    // texts as one undo step; nothing for an unknown tag or no selected list.
    void changeColorTheme(int tag);
    // A quadrant's colour well: stores the colour (as calibrated RGB with its
    // own alpha) in the selected list's colour text of that quadrant, one undo
    // step. Nothing for an invalid colour or no selected list.
    void changeColor(int quadrant, const QColor &color);

private:
    QPointer<MyDocument> m_document;
    QString m_themeFolder;
    bool m_loaded = false;
    std::optional<ColorThemeProducer> m_producer;
};
