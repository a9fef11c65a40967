#pragma once

#include <QSizeF>
#include <QString>

class MyDocument;
class TODOList;

// The list's HTML page as rich text, printed to a PDF file: laid out
// 768 points wide (or, with "WrapToFitWhenPrinting", rewrapped to the page)
// and scaled to fit the page width, on A4 with one-inch margins. With
// "NumberPagesWhenPrinting" each page has the list's name as its header and
// "Page N of M" as its footer.
class PdfExport
{
public:
    // The size the text is laid out at when it is not rewrapped, in points.
    static constexpr QSizeF OriginalSize{768, 1024};
    static constexpr double MarginPoints = 72;

    struct Options {
        bool pageNumbering = false;
        bool wrappingToFit = false;
    };
    // The two print options as the preferences keep them.
    static Options optionsFromDefaults();

    // Writes the PDF whole or not at all (see HtmlExport::writeFile).
    // Answers the number of pages, or 0 with `error` set.
    static int writePdf(const MyDocument &document, const TODOList *list, const Options &options,
                        const QString &path, QString *error);
};
