#include "ListFilePanels.h"

#include "CsvImport.h"
#include "HtmlExport.h"
#include "ListFiles.h"
#include "Logging.h"
#include "MyDocument.h"
#include "TODOList.h"

#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

ListFilePanels::ListFilePanels(MyDocument *document, QWidget *window)
    : QObject(window)
    , m_document(document)
    , m_window(window)
{
    // Every widget that takes drops sees a list file first, so that a list
    // file dropped on a quadrant is imported rather than linked to an item.
    window->setAcceptDrops(true);
    window->installEventFilter(this);
    for (QWidget *child : window->findChildren<QWidget *>()) {
        if (child->acceptDrops())
            child->installEventFilter(this);
    }
}

QFileDialog *ListFilePanels::makeOpenPanel(const QString &title, const QString &filter, const QString &suffix)
{
    auto *panel = new QFileDialog(m_window, title);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setNameFilter(filter);
    panel->setDefaultSuffix(suffix);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::ExistingFiles);
    return panel;
}

QFileDialog *ListFilePanels::savePanel(QWidget *window, const TODOList *list, const QString &title,
                                       const QString &label, const QString &filter, const QString &suffix,
                                       const QString &folder)
{
    auto *panel = new QFileDialog(window, title, folder);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setNameFilter(filter);
    panel->setDefaultSuffix(suffix);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setLabelText(QFileDialog::FileName, label);
    // A slash in a list's name would point into another folder.
    QString name = list ? list->name() : QString();
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    panel->selectFile((name.isEmpty() ? tr("Untitled") : name) + QLatin1Char('.') + suffix);
    return panel;
}

QFileDialog *ListFilePanels::makeSavePanel(const QString &title, const QString &label, const QString &filter,
                                           const QString &suffix)
{
    TODOList *list = m_document ? m_document->getSelectedProject() : nullptr;
    if (!list) {
        if (m_document)
            m_document->alerts()->warn(tr("Select the lists to export first."));
        return nullptr;
    }
    return savePanel(m_window, list, title, label, filter, suffix);
}

QFileDialog *ListFilePanels::showSavePanel()
{
    QFileDialog *panel = makeSavePanel(tr("Export List as Corvx File"), tr("Export List As:"),
                                       tr("Corvx list files (*.corvx)"), QStringLiteral("corvx"));
    if (!panel)
        return nullptr;
    panel->setObjectName(QStringLiteral("exportPanel"));
    connect(panel, &QFileDialog::fileSelected, this, &ListFilePanels::exportTo);
    panel->open();
    return panel;
}

void ListFilePanels::exportTo(const QString &path)
{
    QString error;
    if (m_document && !ListFiles(*m_document).exportToFile(path, {}, &error))
        m_document->alerts()->warn(tr("The list file could not be written.\n\n%1").arg(error));
}

QFileDialog *ListFilePanels::showWindowForImportCorvxFile()
{
    QFileDialog *panel = makeOpenPanel(tr("Import Corvx Files"), tr("Corvx list files (*.corvx)"), QStringLiteral("corvx"));
    panel->setObjectName(QStringLiteral("importPanel"));
    connect(panel, &QFileDialog::filesSelected, this, &ListFilePanels::importFiles);
    panel->open();
    return panel;
}

int ListFilePanels::importFiles(const QStringList &paths)
{
    if (!m_document)
        return 0;
    int imported = 0;
    int lists = 0;
    QStringList failures;
    for (const QString &path : paths) {
        QString error;
        int count = 0;
        if (ListFiles(*m_document).importURL(path, &error, &count)) {
            ++imported;
            lists += count;
        } else {
            failures << error;
        }
        // The new lists appear in the sidebar.
        m_document->rearrangeProjectArrayController();
    }
    if (imported > 0)
        m_document->setStatusBarMessage(tr("Imported %n list(s).", nullptr, lists));
    if (!failures.isEmpty())
        m_document->alerts()->warn(tr("Some list files could not be imported.\n\n%1").arg(failures.join(QLatin1Char('\n'))));
    return imported;
}

QFileDialog *ListFilePanels::saveDocumentAsHTMLTo()
{
    QFileDialog *panel = makeSavePanel(tr("Export as HTML"), tr("Export project as:"), tr("HTML pages (*.html)"),
                                       QStringLiteral("html"));
    if (!panel)
        return nullptr;
    panel->setObjectName(QStringLiteral("htmlPanel"));
    connect(panel, &QFileDialog::fileSelected, this, &ListFilePanels::saveHtmlTo);
    panel->open();
    return panel;
}

void ListFilePanels::saveHtmlTo(const QString &path)
{
    if (!m_document)
        return;
    qCInfo(lcUi).noquote() << QStringLiteral("Got URL: %1").arg(QUrl::fromLocalFile(path).toString());
    const QString page = HtmlExport(*m_document).listToHtml(m_document->getSelectedProject());
    // Written beside the file and renamed over it, so a page is never half written.
    QString error;
    if (!HtmlExport::writeFile(path, page.toUtf8(), &error))
        m_document->alerts()->warn(tr("The page could not be written.\n\n%1").arg(error));
}

QFileDialog *ListFilePanels::importFromExcel()
{
    QFileDialog *panel = makeOpenPanel(tr("Import CSV Files"), tr("CSV files (*.csv)"), QStringLiteral("csv"));
    panel->setObjectName(QStringLiteral("csvPanel"));
    connect(panel, &QFileDialog::filesSelected, this, &ListFilePanels::importCsvFiles);
    panel->open();
    return panel;
}

void ListFilePanels::importCsvFiles(const QStringList &paths)
{
    if (!m_document)
        return;
    QStringList failures;
    int items = 0;
    for (const CsvImport::ImportedFile &file : CsvImport::importFromExcel(*m_document, paths)) {
        items += file.items;
        if (!file.error.isEmpty())
            failures << QStringLiteral("%1: %2").arg(QFileInfo(file.path).fileName(), file.error);
    }
    // The new lists appear in the sidebar.
    m_document->rearrangeProjectArrayController();
    m_document->setStatusBarMessage(tr("Imported %n item(s).", nullptr, items));
    // An empty list alone would not tell a file that could not be read from an empty one.
    if (!failures.isEmpty())
        m_document->alerts()->warn(tr("Some CSV files could not be read; their lists are empty.\n\n%1")
                                       .arg(failures.join(QLatin1Char('\n'))));
}

QStringList ListFilePanels::listFilePaths(const QList<QUrl> &urls)
{
    QStringList paths;
    for (const QUrl &url : urls) {
        if (!url.isLocalFile() || !url.toLocalFile().endsWith(QLatin1String(".corvx"), Qt::CaseInsensitive))
            return {};
        paths << url.toLocalFile();
    }
    return paths;
}

bool ListFilePanels::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);
    auto *drop = static_cast<QDropEvent *>(event);
    const QStringList paths = drop->mimeData()->hasUrls() ? listFilePaths(drop->mimeData()->urls()) : QStringList();
    if (paths.isEmpty())
        return QObject::eventFilter(watched, event);
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop)
        importFiles(paths);
    return true;
}
