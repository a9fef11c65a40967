#include "PrintPanels.h"

#include "Defaults.h"
#include "ListFilePanels.h"
#include "Logging.h"
#include "MyDocument.h"
#include "PdfExport.h"
#include "TODOList.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>

PrintPanels::PrintPanels(MyDocument *document, QWidget *matrix, QWidget *window)
    : QObject(window)
    , m_document(document)
    , m_matrix(matrix)
    , m_window(window)
{
}

PrintPanels::~PrintPanels() = default;

QPrintDialog *PrintPanels::printDocument()
{
    qCInfo(lcUi).noquote() << QStringLiteral("Printing document: '%1'").arg(m_document ? m_document->displayName() : QString());
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setPageOrientation(QPageLayout::Landscape);
    }
    auto *panel = new QPrintDialog(m_printer.get(), m_window);
    panel->setObjectName(QStringLiteral("printPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, qOverload<QPrinter *>(&QPrintDialog::accepted), this, &PrintPanels::printMatrix);
    panel->open();
    return panel;
}

// A screen pixel counts as a point, as on the screen the quadrants were designed for.
void PrintPanels::printMatrix(QPrinter *printer)
{
    QPainter painter;
    if (!painter.begin(printer)) {
        qCWarning(lcUi).noquote() << QStringLiteral("ERROR: Problem printing: %1").arg(printer->outputFileName());
        return;
    }
    const QRectF page = printer->pageRect(QPrinter::DevicePixel);
    const double scale = std::min({0.65 * printer->resolution() / 72.0, page.width() / m_matrix->width(),
                                   page.height() / m_matrix->height()});
    painter.scale(scale, scale);
    m_matrix->render(&painter);
    painter.end();
}

QFileDialog *PrintPanels::saveDocumentAsPDF()
{
    QFileDialog *panel = ListFilePanels::savePanel(
        m_window, m_document ? m_document->getSelectedProject() : nullptr, tr("Export as PDF"), tr("Export project as:"),
        tr("PDF documents (*.pdf)"), QStringLiteral("pdf"), QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    panel->setObjectName(QStringLiteral("pdfPanel"));

    // The page's two options under the panel, as the preferences keep them.
    panel->setOption(QFileDialog::DontUseNativeDialog);
    const PdfExport::Options options = PdfExport::optionsFromDefaults();
    auto *numbering = new QCheckBox(tr("Header and Footer"), panel);
    numbering->setObjectName(QStringLiteral("pageNumbering"));
    numbering->setChecked(options.pageNumbering);
    auto *wrapping = new QCheckBox(tr("Rewrap to fit page"), panel);
    wrapping->setObjectName(QStringLiteral("wrappingToFit"));
    wrapping->setChecked(options.wrappingToFit);
    if (auto *grid = qobject_cast<QGridLayout *>(panel->layout())) {
        const int row = grid->rowCount();
        grid->addWidget(numbering, row, 0, 1, grid->columnCount());
        grid->addWidget(wrapping, row + 1, 0, 1, grid->columnCount());
    }
    connect(panel, &QFileDialog::fileSelected, this, [this, numbering, wrapping](const QString &path) {
        Defaults &defaults = Defaults::standard();
        defaults.setValue(QStringLiteral("NumberPagesWhenPrinting"), numbering->isChecked());
        defaults.setValue(QStringLiteral("WrapToFitWhenPrinting"), wrapping->isChecked());
        writePdf(path, {numbering->isChecked(), wrapping->isChecked()});
    });
    panel->open();
    return panel;
}

void PrintPanels::writePdf(const QString &path, const PdfExport::Options &options)
{
    if (!m_document)
        return;
    QString error;
    if (PdfExport::writePdf(*m_document, m_document->getSelectedProject(), options, path, &error) == 0)
        m_document->alerts()->warn(tr("The PDF could not be written.\n\n%1").arg(error));
}
