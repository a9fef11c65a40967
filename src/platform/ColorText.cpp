#include "ColorText.h"

#include <QStringView>

namespace ColorText {

namespace {

// Reads the texts "{n}" .. "{n, n, n, n}" as a scanner would: white space is
// skipped before every token.
class ColorScanner
{
public:
    explicit ColorScanner(QStringView text)
        : m_text(text)
    {
    }

    bool scanCharacter(QChar c)
    {
        skipSpace();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }

    bool scanNumber(double *value)
    {
        skipSpace();
        qsizetype end = m_pos;
        if (end < m_text.size() && (m_text[end] == u'+' || m_text[end] == u'-'))
            ++end;
        const qsizetype digitsStart = end;
        while (end < m_text.size() && (m_text[end].isDigit() || m_text[end] == u'.'))
            ++end;
        if (end == digitsStart)
            return false;
        if (end < m_text.size() && (m_text[end] == u'e' || m_text[end] == u'E')) {
            qsizetype exponent = end + 1;
            if (exponent < m_text.size() && (m_text[exponent] == u'+' || m_text[exponent] == u'-'))
                ++exponent;
            const qsizetype exponentDigits = exponent;
            while (exponent < m_text.size() && m_text[exponent].isDigit())
                ++exponent;
            if (exponent > exponentDigits)
                end = exponent;
        }
        bool ok = false;
        *value = m_text.mid(m_pos, end - m_pos).toDouble(&ok);
        if (!ok)
            return false;
        m_pos = end;
        return true;
    }

    bool atEnd()
    {
        skipSpace();
        return m_pos == m_text.size();
    }

private:
    void skipSpace()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }

    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace

QColor colorWithString(const QString &text)
{
    ColorScanner scanner(text);
    // Components not given read as opaque black's.
    double components[4] = {0.0, 0.0, 0.0, 1.0};
    if (!scanner.scanCharacter(u'{') || !scanner.scanNumber(&components[0]))
        return {};
    int count = 1;
    while (!scanner.scanCharacter(u'}')) {
        if (count == 4 || !scanner.scanCharacter(u',') || !scanner.scanNumber(&components[count]))
            return {};
        ++count;
    }
    if (!scanner.atEnd())
        return {};
    for (double &component : components)
        component = qBound(0.0, component, 1.0);
    return QColor::fromRgbF(float(components[0]), float(components[1]), float(components[2]), float(components[3]));
}

QColor colorWithHexColorString(const QString &text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    // The scanner reads the leading hexadecimal digits and stops at the first other one.
    uint value = 0;
    for (QChar c : std::as_const(digits)) {
        const int digit = QStringLiteral("0123456789abcdef").indexOf(c.toLower());
        if (digit < 0)
            break;
        value = (value << 4) | uint(digit);
    }
    return QColor::fromRgb(int((value >> 16) & 0xff), int((value >> 8) & 0xff), int(value & 0xff));
}

QString stringFromColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    // QString::asprintf always writes a decimal point; the C library would
    // follow the user's locale and write "0,867" where a comma separates components.
    return QString::asprintf("{%0.3f, %0.3f, %0.3f, %0.3f}", double(rgb.redF()), double(rgb.greenF()),
                             double(rgb.blueF()), double(rgb.alphaF()));
}

QString themeString(float red, float green, float blue)
{
    return QString::asprintf("{%g, %g, %g, 1}", double(red), double(green), double(blue));
}

QString hexadecimalValue(const QColor &color)
{
    if (!color.isValid())
        return {};
    const QColor rgb = color.toRgb();
    auto channel = [](float component) { return int(double(component) * 255.99998474121094); };
    return QString::asprintf("#%02x%02x%02x", channel(rgb.redF()), channel(rgb.greenF()), channel(rgb.blueF()));
}

} // namespace ColorText
