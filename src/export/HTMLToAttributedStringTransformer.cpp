#include "HTMLToAttributedStringTransformer.h"

#include "Logging.h"

#include <QFontDatabase>
#include <QTextCursor>
#include <QTextDocument>

QVariant HTMLToAttributedStringTransformer::transformedValue(const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return {};
    return QVariant::fromValue(attributedStringFromHTML(value.toString()));
}

QVariant HTMLToAttributedStringTransformer::reverseTransformedValue(const QVariant &value) const
{
    if (!value.isValid() || value.isNull() || !value.canConvert<QTextDocumentFragment>())
        return {};
    return htmlForAttributedString(value.value<QTextDocumentFragment>());
}

QTextDocumentFragment HTMLToAttributedStringTransformer::attributedStringFromHTML(const QString &text)
{
    if (isHTML(text))
        return QTextDocumentFragment::fromHtml(text);
    QTextDocument document;
    QTextCharFormat format;
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(11);
    format.setFont(font);
    QTextCursor(&document).insertText(text, format);
    return QTextDocumentFragment(&document);
}

QString HTMLToAttributedStringTransformer::htmlForAttributedString(const QTextDocumentFragment &text)
{
    if (text.isEmpty())
        return QString();
    QTextDocument document;
    QTextCursor(&document).insertFragment(text);
    // The writer makes a whole page; the notes keep what is inside its body.
    const QString page = document.toHtml();
    const qsizetype bodyTag = page.indexOf(QLatin1String("<body"));
    const qsizetype start = bodyTag < 0 ? -1 : page.indexOf(QLatin1Char('>'), bodyTag);
    const qsizetype end = page.lastIndexOf(QLatin1String("</body>"));
    if (start < 0 || end < start) {
        qCWarning(lcUi).noquote() << QStringLiteral("ERROR converting attr string '%1' to HTML: %2")
                                         .arg(text.toPlainText(), QStringLiteral("no body in the written HTML"));
        return QString();
    }
    // The writer starts the body's content on a new line.
    return page.mid(start + 1, end - start - 1).trimmed();
}

bool HTMLToAttributedStringTransformer::isHTML(const QString &text)
{
    const qsizetype lastClose = text.lastIndexOf(QLatin1Char('>'));
    return text.startsWith(QLatin1Char('<')) && lastClose >= 0 && lastClose >= text.size() - 2;
}
