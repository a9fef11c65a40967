#pragma once

#include <QByteArray>
#include <QColor>
#include <QString>

class MyDocument;
class TODOList;

// The HTML page of a list: the matrix as a two-by-two table, each cell one
// quadrant's title and items on the quadrant's colour, then the signature.
// The items are those the document's quadrants arrange at that moment (the
// selected list's, filtered and sorted), so the page shows what the window
// shows. Every text from the store is escaped: names may come from another
// user through sync and must never run as markup when the page is opened.
class HtmlExport
{
public:
    explicit HtmlExport(const MyDocument &document);

    // The whole page for the list.
    QString listToHtml(const TODOList *list) const;
    // One quadrant's block: its title and a table with a row per arranged item.
    QString quadrant(int quadrant, const TODOList *list) const;
    // The list's title for the quadrant (0..3).
    static QString titleForQuadrant(int quadrant, const TODOList *list);
    // The quadrant's background as its table shows it: the list's colour
    // text, white when there is none or it does not parse.
    static QColor colorForQuadrant(int quadrant, const TODOList *list);
    // Escapes per UTF-16 code unit: HTML 4.01's named entities (and &apos;),
    // "&#N;" for any other unit of 128 or more.
    static QString makeValidHTML(const QString &text);
    // "Generated with Corvane, by Nuvalto", linked to the maker's web host.
    static QString signature();

    // Writes the file whole or not at all: a temporary file beside it is
    // flushed to the disk and then renamed over it. On failure the old file
    // stays as it was and `error` says why.
    static bool writeFile(const QString &path, const QByteArray &bytes, QString *error);

private:
    const MyDocument &m_document;
};
