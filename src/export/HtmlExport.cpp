#include "HtmlExport.h"

#include "ArrayController.h"
#include "ColorText.h"
#include "MyDocument.h"
#include "SyncUtils.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QHash>
#include <QSaveFile>

namespace {

// The page, with its eleven insertions: name, the four colours, name again,
// the four quadrant blocks, the signature.
const char kPageTemplate[] =
    "<html><head>    <meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\" />    <title >%1</title>\n"
    "    <style type=\"text/css\">\n"
    "    <!--\n"
    "    .cvitem { background: rgba(50, 70, 50, .1); }\n"
    "    .cvquadrant { }\n"
    "    .cvquadrantheader{ font-weight: bold; }\n"
    "    .cvsuperquadrant { text-align: center; padding: 5px; }\n"
    "    #q1 { background:%2; }\n"
    "    #q2 { background:%3; }\n"
    "    #q3 { background:%4; }\n"
    "    #q4 { background:%5; }\n"
    "    -->\n"
    "    </style>\n"
    "    </head>\n"
    "<body ><h2>%6</h2><table><tr ><td class=\"cvsuperquadrant\" valign=\"top\" id=\"q1\">%7</td>\n"
    "\n"
    "<td class=\"cvsuperquadrant\" valign=\"top\" id=\"q2\">%8</td></tr>\n"
    "\n"
    "<tr ><td class=\"cvsuperquadrant\" valign=\"top\" id=\"q3\">%9</td>\n"
    "\n"
    "<td class=\"cvsuperquadrant\" valign=\"top\" id=\"q4\">%10</td></tr></table><br>%11</body></html>\n";

// HTML 4.01's Latin-1 entities, U+00A0 to U+00FF in order.
const char *const kLatin1Entities[96] = {
    "nbsp", "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy", "ordf", "laquo",
    "not", "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3", "acute", "micro", "para", "middot",
    "cedil", "sup1", "ordm", "raquo", "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc", "Atilde",
    "Auml", "Aring", "AElig", "Ccedil", "Egrave", "Eacute", "Ecirc", "Euml", "Igrave", "Iacute", "Icirc", "Iuml",
    "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc", "Otilde", "Ouml", "times", "Oslash", "Ugrave", "Uacute", "Ucirc",
    "Uuml", "Yacute", "THORN", "szlig", "agrave", "aacute", "acirc", "atilde", "auml", "aring", "aelig", "ccedil",
    "egrave", "eacute", "ecirc", "euml", "igrave", "iacute", "icirc", "iuml", "eth", "ntilde", "ograve", "oacute",
    "ocirc", "otilde", "ouml", "divide", "oslash", "ugrave", "uacute", "ucirc", "uuml", "yacute", "thorn", "yuml",
};

struct Entity {
    char16_t unit;
    const char *name;
};

// HTML 4.01's special and symbol entities, and the apostrophe.
const Entity kOtherEntities[] = {
    {34, "quot"}, {38, "amp"}, {39, "apos"}, {60, "lt"}, {62, "gt"},
    {338, "OElig"}, {339, "oelig"}, {352, "Scaron"}, {353, "scaron"}, {376, "Yuml"}, {402, "fnof"},
    {710, "circ"}, {732, "tilde"},
    {913, "Alpha"}, {914, "Beta"}, {915, "Gamma"}, {916, "Delta"}, {917, "Epsilon"}, {918, "Zeta"},
    {919, "Eta"}, {920, "Theta"}, {921, "Iota"}, {922, "Kappa"}, {923, "Lambda"}, {924, "Mu"}, {925, "Nu"},
    {926, "Xi"}, {927, "Omicron"}, {928, "Pi"}, {929, "Rho"}, {931, "Sigma"}, {932, "Tau"}, {933, "Upsilon"},
    {934, "Phi"}, {935, "Chi"}, {936, "Psi"}, {937, "Omega"},
    {945, "alpha"}, {946, "beta"}, {947, "gamma"}, {948, "delta"}, {949, "epsilon"}, {950, "zeta"},
    {951, "eta"}, {952, "theta"}, {953, "iota"}, {954, "kappa"}, {955, "lambda"}, {956, "mu"}, {957, "nu"},
    {958, "xi"}, {959, "omicron"}, {960, "pi"}, {961, "rho"}, {962, "sigmaf"}, {963, "sigma"}, {964, "tau"},
    {965, "upsilon"}, {966, "phi"}, {967, "chi"}, {968, "psi"}, {969, "omega"},
    {977, "thetasym"}, {978, "upsih"}, {982, "piv"},
    {8194, "ensp"}, {8195, "emsp"}, {8201, "thinsp"}, {8204, "zwnj"}, {8205, "zwj"}, {8206, "lrm"}, {8207, "rlm"},
    {8211, "ndash"}, {8212, "mdash"}, {8216, "lsquo"}, {8217, "rsquo"}, {8218, "sbquo"}, {8220, "ldquo"},
    {8221, "rdquo"}, {8222, "bdquo"}, {8224, "dagger"}, {8225, "Dagger"}, {8226, "bull"}, {8230, "hellip"},
    {8240, "permil"}, {8242, "prime"}, {8243, "Prime"}, {8249, "lsaquo"}, {8250, "rsaquo"}, {8254, "oline"},
    {8260, "frasl"}, {8364, "euro"}, {8465, "image"}, {8472, "weierp"}, {8476, "real"}, {8482, "trade"},
    {8501, "alefsym"},
    {8592, "larr"}, {8593, "uarr"}, {8594, "rarr"}, {8595, "darr"}, {8596, "harr"}, {8629, "crarr"},
    {8656, "lArr"}, {8657, "uArr"}, {8658, "rArr"}, {8659, "dArr"}, {8660, "hArr"},
    {8704, "forall"}, {8706, "part"}, {8707, "exist"}, {8709, "empty"}, {8711, "nabla"}, {8712, "isin"},
    {8713, "notin"}, {8715, "ni"}, {8719, "prod"}, {8721, "sum"}, {8722, "minus"}, {8727, "lowast"},
    {8730, "radic"}, {8733, "prop"}, {8734, "infin"}, {8736, "ang"}, {8743, "and"}, {8744, "or"},
    {8745, "cap"}, {8746, "cup"}, {8747, "int"}, {8756, "there4"}, {8764, "sim"}, {8773, "cong"},
    {8776, "asymp"}, {8800, "ne"}, {8801, "equiv"}, {8804, "le"}, {8805, "ge"}, {8834, "sub"}, {8835, "sup"},
    {8836, "nsub"}, {8838, "sube"}, {8839, "supe"}, {8853, "oplus"}, {8855, "otimes"}, {8869, "perp"},
    {8901, "sdot"}, {8968, "lceil"}, {8969, "rceil"}, {8970, "lfloor"}, {8971, "rfloor"}, {9001, "lang"},
    {9002, "rang"}, {9674, "loz"}, {9824, "spades"}, {9827, "clubs"}, {9829, "hearts"}, {9830, "diams"},
};

const QHash<char16_t, QString> &entities()
{
    static const QHash<char16_t, QString> table = [] {
        QHash<char16_t, QString> byUnit;
        for (int i = 0; i < 96; ++i)
            byUnit.insert(char16_t(160 + i), QStringLiteral("&%1;").arg(QLatin1String(kLatin1Entities[i])));
        for (const Entity &entity : kOtherEntities)
            byUnit.insert(entity.unit, QStringLiteral("&%1;").arg(QLatin1String(entity.name)));
        return byUnit;
    }();
    return table;
}

} // namespace

HtmlExport::HtmlExport(const MyDocument &document)
    : m_document(document)
{
}

QString HtmlExport::listToHtml(const TODOList *list) const
{
    const QString name = makeValidHTML(list ? list->name() : QString());
    const auto color = [list](int q) { return ColorText::hexadecimalValue(colorForQuadrant(q, list)); };
    // One pass over the template: a "%1" inside a name stays as it is.
    return QString::fromLatin1(kPageTemplate)
        .arg(name, color(0), color(1), color(2), color(3), name, quadrant(0, list), quadrant(1, list),
             quadrant(2, list), quadrant(3, list), signature());
}

QString HtmlExport::quadrant(int quadrant, const TODOList *list) const
{
    QString rows;
    if (const ArrayController *controller = m_document.controllerForQuadrant(quadrant)) {
        for (const ManagedObject *object : controller->arrangedObjects()) {
            const auto *item = static_cast<const TODOItem *>(object);
            // An empty description still has its note part.
            const QString notes = item->hasValue(TODOItem::Attr_descriptionText)
                ? QStringLiteral("<br>\n<i>&nbsp;%1</i>").arg(makeValidHTML(item->descriptionText()))
                : QString();
            rows += QStringLiteral("<tr><td class=\"cvitem\"><b>%1</b>%2</td></tr>\n").arg(makeValidHTML(item->name()), notes);
        }
    }
    return QStringLiteral("<b>%1</b><br>\n<table class=\"cvquadrant\">%2</table>")
        .arg(makeValidHTML(titleForQuadrant(quadrant, list)), rows);
}

QString HtmlExport::titleForQuadrant(int quadrant, const TODOList *list)
{
    return list ? list->nameForQuadrant(quadrant) : QString();
}

QColor HtmlExport::colorForQuadrant(int quadrant, const TODOList *list)
{
    const QColor color = ColorText::colorWithString(list ? list->colorTextForQuadrant(quadrant) : QString());
    return color.isValid() ? color : QColor(Qt::white);
}

QString HtmlExport::makeValidHTML(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    const QHash<char16_t, QString> &named = entities();
    for (const QChar c : text) {
        const auto found = named.constFind(c.unicode());
        if (found != named.constEnd())
            escaped += *found;
        else if (c.unicode() >= 128)
            escaped += QStringLiteral("&#%1;").arg(int(c.unicode()));
        else
            escaped += c;
    }
    return escaped;
}

QString HtmlExport::signature()
{
    return QStringLiteral("Generated with <a href=\"http://%1/\">Corvane</a>, by Nuvalto")
        .arg(makeValidHTML(SyncSettings::makerWebHost()));
}

bool HtmlExport::writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    // QSaveFile writes a temporary file in the same folder, flushes it to
    // the disk on commit and only then renames it over the old file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}
