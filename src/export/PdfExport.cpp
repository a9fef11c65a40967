#include "PdfExport.h"

#include "Defaults.h"
#include "HtmlExport.h"
#include "TODOList.h"

#include <QAbstractTextDocumentLayout>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>


namespace {

// Header and footer, in the top and bottom margins.
void drawPageDecorations(QPainter &painter, const QRectF &page, const QString &title, int number, int count)
{
    QFont font = painter.font();
    font.setPointSizeF(9);
    painter.setFont(font);
    const double m = PdfExport::MarginPoints;
    painter.drawText(QRectF(m, m / 3, page.width() - 2 * m, m / 3), Qt::AlignLeft | Qt::AlignVCenter, title);
    painter.drawText(QRectF(m, page.height() - 2 * m / 3, page.width() - 2 * m, m / 3), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("Page %1 of %2").arg(number).arg(count));
}

// Where each page starts, in layout units: a page ends above the first text
// line it would cut (lines of neighbouring cells included), unless a single
// line is taller than the page.
QList<double> pageTops(const QTextDocument &text, double pageHeight)
{
    QList<std::pair<double, double>> lines; // top and bottom of every line
    for (QTextBlock block = text.begin(); block != text.end(); block = block.next()) {
        const double blockTop = text.documentLayout()->blockBoundingRect(block).top();
        const QTextLayout *layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QRectF line = layout->lineAt(i).rect();
            lines.append({blockTop + line.top(), blockTop + line.bottom()});
        }
    }
    QList<double> tops{0};
    const double height = text.size().height();
    while (tops.last() + pageHeight < height) {
        const double top = tops.last();
        double end = top + pageHeight;
        for (bool moved = true; moved;) {
            moved = false;
            for (const auto &[lineTop, lineBottom] : std::as_const(lines)) {
                if (lineTop < end && lineBottom > end && lineTop > top) {
                    end = lineTop;
                    moved = true;
                }
            }
        }
        tops.append(end);
    }
    return tops;
}

} // namespace

PdfExport::Options PdfExport::optionsFromDefaults()
{
    const Defaults &defaults = Defaults::standard();
    return {defaults.boolValue(QStringLiteral("NumberPagesWhenPrinting")),
            defaults.boolValue(QStringLiteral("WrapToFitWhenPrinting"))};
}

int PdfExport::writePdf(const MyDocument &document, const TODOList *list, const Options &options,
                        const QString &path, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return 0;
    }
    QPdfWriter writer(&file);
    writer.setTitle(list ? list->name() : QString());
    writer.setCreator(QStringLiteral("Corvane"));
    writer.setResolution(72); // one unit is one point
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
    const QRectF page(QPointF(), QPageSize(QPageSize::A4).size(QPageSize::Point));
    const QSizeF content(page.width() - 2 * MarginPoints, page.height() - 2 * MarginPoints);

    // Fit pagination: the text's width is scaled to the page's content width.
    const double layoutWidth = options.wrappingToFit ? content.width() : OriginalSize.width();
    const double scale = content.width() / layoutWidth;
    QTextDocument text;
    text.setHtml(HtmlExport(document).listToHtml(list));
    text.setTextWidth(layoutWidth);
    const double pageHeight = content.height() / scale;
    const QList<double> tops = pageTops(text, pageHeight);
    const int pages = int(tops.size());

    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            writer.newPage();
        if (options.pageNumbering)
            drawPageDecorations(painter, page, list ? list->name() : QString(), i + 1, pages);
        const double bottom = i + 1 < pages ? tops[i + 1] : tops[i] + pageHeight;
        const QRectF slice(0, tops[i], layoutWidth, bottom - tops[i]);
        painter.save();
        painter.translate(MarginPoints, MarginPoints);
        painter.scale(scale, scale);
        painter.translate(0, -slice.top());
        painter.setClipRect(slice);
        // Lines that only touch the slice belong to the neighbouring page.
        text.drawContents(&painter, slice.adjusted(0, 0.5, 0, -0.5));
        painter.restore();
    }
    if (!painter.end() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return 0;
    }
    return pages;
}
