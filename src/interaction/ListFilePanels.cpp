#include "ListFilePanels.h"

#include "ListFiles.h"
#include "MyDocument.h"
#include "TODOList.h"

#include <QDropEvent>
#include <QFileDialog>
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

QFileDialog *ListFilePanels::makePanel(const QString &title)
{
    // Shown with open(), so window-modal.
    auto *panel = new QFileDialog(m_window, title);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setNameFilter(tr("Corvx list files (*.corvx)"));
    panel->setDefaultSuffix(QStringLiteral("corvx"));
    return panel;
}

QFileDialog *ListFilePanels::showSavePanel()
{
    TODOList *list = m_document ? m_document->getSelectedProject() : nullptr;
    if (!list) {
        if (m_document)
            m_document->alerts()->warn(tr("Select the lists to export first."));
        return nullptr;
    }
    QFileDialog *panel = makePanel(tr("Export List as Corvx File"));
    panel->setObjectName(QStringLiteral("exportPanel"));
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setLabelText(QFileDialog::FileName, tr("Export List As:"));
    // A slash in a list's name would point into another folder.
    QString name = list->name();
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    panel->selectFile((name.isEmpty() ? tr("Untitled") : name) + QStringLiteral(".corvx"));
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
    QFileDialog *panel = makePanel(tr("Import Corvx Files"));
    panel->setObjectName(QStringLiteral("importPanel"));
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setFileMode(QFileDialog::ExistingFiles);
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
