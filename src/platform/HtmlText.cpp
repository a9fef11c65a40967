#include "HtmlText.h"

#include <QHash>
#include <QStringView>

#include <array>
#include <utility>

namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;

// Named character references: the markup ones, the Latin-1 range and the
// common typographic ones.
const QHash<QString, char32_t> &namedEntities()
{
    static const QHash<QString, char32_t> table = [] {
        QHash<QString, char32_t> t;
        // U+00A0 to U+00FF in order.
        static const char *const latin1[] = {
            "nbsp", "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect",
            "uml", "copy", "ordf", "laquo", "not", "shy", "reg", "macr",
            "deg", "plusmn", "sup2", "sup3", "acute", "micro", "para", "middot",
            "cedil", "sup1", "ordm", "raquo", "frac14", "frac12", "frac34", "iquest",
            "Agrave", "Aacute", "Acirc", "Atilde", "Auml", "Aring", "AElig", "Ccedil",
            "Egrave", "Eacute", "Ecirc", "Euml", "Igrave", "Iacute", "Icirc", "Iuml",
            "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc", "Otilde", "Ouml", "times",
            "Oslash", "Ugrave", "Uacute", "Ucirc", "Uuml", "Yacute", "THORN", "szlig",
            "agrave", "aacute", "acirc", "atilde", "auml", "aring", "aelig", "ccedil",
            "egrave", "eacute", "ecirc", "euml", "igrave", "iacute", "icirc", "iuml",
            "eth", "ntilde", "ograve", "oacute", "ocirc", "otilde", "ouml", "divide",
            "oslash", "ugrave", "uacute", "ucirc", "uuml", "yacute", "thorn", "yuml",
        };
        static_assert(std::size(latin1) == 96);
        for (char32_t i = 0; i < std::size(latin1); ++i)
            t.insert(QString::fromLatin1(latin1[i]), 0xA0 + i);

        static const struct {
            const char *name;
            char32_t code;
        } others[] = {
            {"quot", 0x22}, {"amp", 0x26}, {"apos", 0x27}, {"lt", 0x3C}, {"gt", 0x3E},
            {"OElig", 0x152}, {"oelig", 0x153}, {"Scaron", 0x160}, {"scaron", 0x161},
            {"Yuml", 0x178}, {"fnof", 0x192}, {"circ", 0x2C6}, {"tilde", 0x2DC},
            {"ensp", 0x2002}, {"emsp", 0x2003}, {"thinsp", 0x2009}, {"zwnj", 0x200C},
            {"zwj", 0x200D}, {"lrm", 0x200E}, {"rlm", 0x200F}, {"ndash", 0x2013},
            {"mdash", 0x2014}, {"lsquo", 0x2018}, {"rsquo", 0x2019}, {"sbquo", 0x201A},
            {"ldquo", 0x201C}, {"rdquo", 0x201D}, {"bdquo", 0x201E}, {"dagger", 0x2020},
            {"Dagger", 0x2021}, {"bull", 0x2022}, {"hellip", 0x2026}, {"permil", 0x2030},
            {"prime", 0x2032}, {"Prime", 0x2033}, {"lsaquo", 0x2039}, {"rsaquo", 0x203A},
            {"euro", 0x20AC}, {"trade", 0x2122}, {"larr", 0x2190}, {"uarr", 0x2191},
            {"rarr", 0x2192}, {"darr", 0x2193}, {"harr", 0x2194}, {"minus", 0x2212},
            {"check", 0x2713},
        };
        for (const auto &e : others)
            t.insert(QString::fromLatin1(e.name), e.code);
        return t;
    }();
    return table;
}

// Names browsers also accept without the closing semicolon.
bool isLegacyName(QStringView name)
{
    static const char *const names[] = {"amp", "lt", "gt", "quot", "nbsp", "copy", "reg"};
    for (const char *n : names) {
        if (name == QLatin1String(n))
            return true;
    }
    return false;
}

// Numeric references in 0x80..0x9F name Windows-1252 characters, as browsers read them.
char32_t windows1252(char32_t code)
{
    static constexpr std::array<char16_t, 32> table = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
        0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
    };
    return table[code - 0x80];
}

bool isHtmlSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\n' || u == '\r' || u == '\f';
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z');
}

bool isAsciiAlnum(QChar c)
{
    return isAsciiLetter(c) || (c.unicode() >= '0' && c.unicode() <= '9');
}

bool isBlockElement(QStringView name)
{
    static const char *const names[] = {
        "address", "article", "aside", "blockquote", "center", "dd", "details", "dialog",
        "dir", "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form",
        "h1", "h2", "h3", "h4", "h5", "h6", "header", "hgroup", "hr", "li", "main", "menu",
        "nav", "ol", "p", "pre", "section", "summary", "table", "caption", "thead", "tbody",
        "tfoot", "tr", "ul",
    };
    for (const char *n : names) {
        if (name == QLatin1String(n))
            return true;
    }
    return false;
}

// Elements whose content is never shown; it is skipped up to the end tag unparsed.
bool isHiddenRawText(QStringView name)
{
    return name == u"script" || name == u"style" || name == u"title" || name == u"template";
}

// Elements that may stand in <head>; any other start tag ends a head left
// open. Text in the head is never shown.
bool isHeadElement(QStringView name)
{
    return name == u"meta" || name == u"link" || name == u"base" || name == u"noscript"
        || isHiddenRawText(name);
}

class Converter
{
public:
    explicit Converter(const QString &html)
        : m_in(html)
        , m_n(html.size())
    {
        m_out.reserve(html.size());
    }

    QString run()
    {
        while (m_i < m_n) {
            const QChar c = m_in[m_i];
            if (c == QLatin1Char('<') && markup())
                continue;
            if (c == QLatin1Char('&')) {
                reference();
                continue;
            }
            ++m_i;
            text(c);
        }
        while (!m_out.isEmpty() && m_out.back().isSpace())
            m_out.chop(1);
        return m_out;
    }

private:
    // --- Output ---------------------------------------------------------------

    bool atLineStart() const { return m_out.isEmpty() || m_out.back() == QLatin1Char('\n'); }

    // Emits what is pending (a line break from a block, a collapsed space or
    // a cell separator) before visible text.
    void flushPending()
    {
        if (m_pendingBreak) {
            if (!atLineStart())
                m_out += QLatin1Char('\n');
            m_pendingBreak = false;
            m_pendingSeparator = QChar();
        }
        if (!m_pendingSeparator.isNull()) {
            if (!atLineStart())
                m_out += m_pendingSeparator;
            m_pendingSeparator = QChar();
        }
    }

    void visible(QChar c)
    {
        flushPending();
        m_out += c;
    }

    // One character of text content, raw or decoded.
    void text(QChar c)
    {
        const bool afterPreStart = std::exchange(m_afterPreStart, false);
        if (m_inHead)
            return;
        if (m_preDepth > 0) {
            if (c == QLatin1Char('\r')) {
                // CR LF and a lone CR are one line break.
                if (m_i < m_n && m_in[m_i] == QLatin1Char('\n'))
                    ++m_i;
                c = QLatin1Char('\n');
            }
            if (c == QLatin1Char('\n')) {
                // The line break right after <pre> belongs to the markup.
                if (afterPreStart)
                    return;
                flushPending();
                m_out += QLatin1Char('\n');
                return;
            }
            visible(c == QChar(0xA0) ? QChar(QLatin1Char(' ')) : c);
            return;
        }
        if (isHtmlSpace(c)) {
            if (m_pendingSeparator.isNull())
                m_pendingSeparator = QLatin1Char(' ');
            return;
        }
        visible(c == QChar(0xA0) ? QChar(QLatin1Char(' ')) : c);
    }

    void codePoint(char32_t code)
    {
        if (QChar::requiresSurrogates(code)) {
            m_afterPreStart = false;
            if (m_inHead)
                return;
            flushPending();
            m_out += QChar(QChar::highSurrogate(code));
            m_out += QChar(QChar::lowSurrogate(code));
        } else {
            text(QChar(char16_t(code)));
        }
    }

    void blockBoundary() { m_pendingBreak = true; }

    void lineBreak()
    {
        flushPending();
        m_out += QLatin1Char('\n');
        m_pendingSeparator = QChar();
    }

    // --- Markup ---------------------------------------------------------------

    qsizetype find(QStringView what, qsizetype from) const
    {
        return QStringView(m_in).indexOf(what, from, Qt::CaseInsensitive);
    }

    // Skips past the next '>' from a position; to the end when there is none.
    void skipPast(QChar end, qsizetype from)
    {
        const qsizetype at = m_in.indexOf(end, from);
        m_i = at < 0 ? m_n : at + 1;
    }

    // At a '<'. Consumes a tag, comment or declaration and answers true, or
    // answers false for a '<' that is plain text.
    bool markup()
    {
        const qsizetype start = m_i;
        if (start + 1 >= m_n)
            return false;
        const QChar next = m_in[start + 1];

        if (next == QLatin1Char('!')) {
            if (QStringView(m_in).sliced(start).startsWith(u"<!--")) {
                // A comment, "<!-->" and "<!--->" included; unterminated runs to the end.
                const qsizetype end = find(u"-->", start + 2);
                m_i = end < 0 ? m_n : end + 3;
            } else {
                skipPast(QLatin1Char('>'), start + 2); // <!DOCTYPE ...>, <![CDATA[...]]>
            }
            return true;
        }
        if (next == QLatin1Char('?')) {
            skipPast(QLatin1Char('>'), start + 2);
            return true;
        }
        if (next == QLatin1Char('/')) {
            if (start + 2 < m_n && isAsciiLetter(m_in[start + 2])) {
                const QString name = tagName(start + 2);
                skipPast(QLatin1Char('>'), start + 2 + name.size());
                endTag(name);
            } else {
                skipPast(QLatin1Char('>'), start + 2); // "</>" and the like: dropped
            }
            return true;
        }
        if (!isAsciiLetter(next))
            return false;

        const QString name = tagName(start + 1);
        m_i = endOfStartTag(start + 1 + name.size());
        startTag(name);
        return true;
    }

    QString tagName(qsizetype from) const
    {
        qsizetype end = from;
        while (end < m_n) {
            const QChar c = m_in[end];
            if (isHtmlSpace(c) || c == QLatin1Char('/') || c == QLatin1Char('>'))
                break;
            ++end;
        }
        return m_in.mid(from, end - from).toLower();
    }

    // Past the '>' that ends a start tag, skipping quoted attribute values;
    // the end of the input when the tag is unterminated.
    qsizetype endOfStartTag(qsizetype from) const
    {
        qsizetype i = from;
        bool afterEquals = false;
        while (i < m_n) {
            const QChar c = m_in[i];
            if (c == QLatin1Char('>'))
                return i + 1;
            if (c == QLatin1Char('=')) {
                afterEquals = true;
                ++i;
                continue;
            }
            if (afterEquals && (c == QLatin1Char('"') || c == QLatin1Char('\''))) {
                const qsizetype close = m_in.indexOf(c, i + 1);
                if (close < 0)
                    return m_n;
                i = close + 1;
                afterEquals = false;
                continue;
            }
            if (!isHtmlSpace(c))
                afterEquals = false;
            ++i;
        }
        return m_n;
    }

    void startTag(const QString &name)
    {
        m_afterPreStart = false;
        if (name == u"head") {
            m_inHead = true;
            return;
        }
        if (m_inHead && !isHeadElement(name))
            m_inHead = false;
        if (isHiddenRawText(name)) {
            // Raw text up to the end tag, which is not parsed as markup.
            const qsizetype end = find(QString(QLatin1String("</") + name), m_i);
            if (end < 0) {
                m_i = m_n;
                return;
            }
            skipPast(QLatin1Char('>'), end + 2 + name.size());
            return;
        }
        if (name == u"br") {
            lineBreak();
            return;
        }
        if (name == u"td" || name == u"th") {
            m_pendingSeparator = QLatin1Char('\t');
            return;
        }
        if (isBlockElement(name))
            blockBoundary();
        if (name == u"pre") {
            ++m_preDepth;
            m_afterPreStart = true;
        }
    }

    void endTag(const QString &name)
    {
        m_afterPreStart = false;
        if (name == u"head") {
            m_inHead = false;
            return;
        }
        if (name == u"br") {
            // "</br>" is read as <br>, as browsers do.
            lineBreak();
            return;
        }
        if (name == u"pre" && m_preDepth > 0)
            --m_preDepth;
        if (isBlockElement(name))
            blockBoundary();
    }

    // At a '&': a character reference, or a plain ampersand.
    void reference()
    {
        const qsizetype start = m_i;
        qsizetype i = start + 1;
        if (i < m_n && m_in[i] == QLatin1Char('#')) {
            ++i;
            bool hex = false;
            if (i < m_n && (m_in[i] == QLatin1Char('x') || m_in[i] == QLatin1Char('X'))) {
                hex = true;
                ++i;
            }
            const qsizetype digitsStart = i;
            char32_t code = 0;
            bool overflow = false;
            while (i < m_n) {
                const char16_t u = m_in[i].unicode();
                int digit = -1;
                if (u >= '0' && u <= '9')
                    digit = u - '0';
                else if (hex && u >= 'a' && u <= 'f')
                    digit = u - 'a' + 10;
                else if (hex && u >= 'A' && u <= 'F')
                    digit = u - 'A' + 10;
                if (digit < 0)
                    break;
                if (!overflow) {
                    code = code * (hex ? 16 : 10) + char32_t(digit);
                    overflow = code > 0x10FFFF;
                }
                ++i;
            }
            if (i == digitsStart) {
                // "&#" without digits is text.
                m_i = start + 1;
                text(QLatin1Char('&'));
                return;
            }
            if (i < m_n && m_in[i] == QLatin1Char(';'))
                ++i;
            m_i = i;
            if (overflow || code == 0 || (code >= 0xD800 && code <= 0xDFFF))
                code = ReplacementCharacter;
            else if (code >= 0x80 && code <= 0x9F)
                code = windows1252(code);
            codePoint(code);
            return;
        }

        while (i < m_n && i - start <= 32 && isAsciiAlnum(m_in[i]))
            ++i;
        const QStringView name = QStringView(m_in).sliced(start + 1, i - start - 1);
        const bool terminated = i < m_n && m_in[i] == QLatin1Char(';');
        if (!name.isEmpty() && (terminated || isLegacyName(name))) {
            const auto &table = namedEntities();
            const auto it = table.constFind(name.toString());
            if (it != table.cend()) {
                m_i = terminated ? i + 1 : i;
                codePoint(it.value());
                return;
            }
        }
        m_i = start + 1;
        text(QLatin1Char('&'));
    }

    const QString &m_in;
    const qsizetype m_n;
    qsizetype m_i = 0;
    QString m_out;
    bool m_pendingBreak = false;
    QChar m_pendingSeparator;   // ' ' for collapsed whitespace, '\t' between table cells
    int m_preDepth = 0;
    bool m_afterPreStart = false;
    bool m_inHead = false;
};

} // namespace

QString HtmlText::toPlainText(const QString &html)
{
    return Converter(html).run();
}
