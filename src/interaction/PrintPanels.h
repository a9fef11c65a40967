#pragma once

#include "PdfExport.h"

#include <QObject>
#include <QPointer>

#include <memory>

class MyDocument;
class QFileDialog;
class QPrintDialog;
class QPrinter;
class QWidget;

// Printing from the window. Print shows a picture of the four quadrants as
// they are on screen, landscape at 65 percent (smaller when that would not
// fit the page); its print settings are made on first use and kept for the
// next print. Export as PDF writes the selected list's page through
// PdfExport, numbered and rewrapped as the two check boxes under the save
// panel say (kept as "NumberPagesWhenPrinting" and "WrapToFitWhenPrinting");
// the file is written whole or not at all.
// Both panels are window-modal.
class PrintPanels : public QObject
{
    Q_OBJECT
public:
    // `matrix` is the widget holding the four quadrants.
    PrintPanels(MyDocument *document, QWidget *matrix, QWidget *window);
    ~PrintPanels() override;

    QPrintDialog *printDocument();
    // The save panel, proposing the selected list's name.
    QFileDialog *saveDocumentAsPDF();

private:
    void printMatrix(QPrinter *printer);
    void writePdf(const QString &path, const PdfExport::Options &options);

    QPointer<MyDocument> m_document;
    QWidget *m_matrix;
    QWidget *m_window;
    std::unique_ptr<QPrinter> m_printer;
};
