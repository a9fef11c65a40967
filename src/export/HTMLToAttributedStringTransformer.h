#pragma once

#include "DisplayTransformers.h"

#include <QTextDocumentFragment>

// Item notes between the HTML they are stored as (descriptionRichText) and
// the rich text the drawer edits, both ways. Text that is not HTML (notes
// typed before notes were rich) becomes rich text in the 11-point system font.
class HTMLToAttributedStringTransformer : public TransformerTo<QTextDocumentFragment>
{
public:
    // HTML text → rich text; none gives none.
    QVariant transformedValue(const QVariant &value) const override;
    // Rich text → an HTML fragment; none gives none.
    QVariant reverseTransformedValue(const QVariant &value) const override;
    bool allowsReverseTransformation() const override { return true; }

    static QTextDocumentFragment attributedStringFromHTML(const QString &text);
    // The rich text as HTML without doctype, html, head and body: a fragment
    // to store. Empty rich text gives an empty text.
    static QString htmlForAttributedString(const QTextDocumentFragment &text);
    // Begins with "<" and its last ">" is its last or next-to-last character
    // (one trailing character, such as a line break, is allowed).
    static bool isHTML(const QString &text);
};
