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
#include <QTextDocument>

#include <cmath>

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
    text.setPageSize(QSizeF(layoutWidth, content.height() / scale));
    const int pages = std::max(1, text.pageCount());

    QPainter painter(&writer);
    for (int i = 0; i < pages; ++i) {
        if (i > 0)
            writer.newPage();
        if (options.pageNumbering)
            drawPageDecorations(painter, page, list ? list->name() : QString(), i + 1, pages);
        painter.save();
        painter.translate(MarginPoints, MarginPoints);
        painter.scale(scale, scale);
        const QRectF slice(0, i * text.pageSize().height(), layoutWidth, text.pageSize().height());
        painter.translate(0, -slice.top());
        painter.setClipRect(slice);
        text.drawContents(&painter, slice);
        painter.restore();
    }
    if (!painter.end() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return 0;
    }
    return pages;
}
