#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class MyDocument;
class TODOList;
class QFileDialog;
class QWidget;

// List files (".corvx") seen from the window: the export save panel, the
// import open panel, and list files dropped anywhere on the window; and the
// selected list saved as an HTML page, and CSV files imported as new lists.
// The panels are window-modal; a save never replaces a file without asking,
// and the file is written whole or not at all. Imported lists appear in the
// sidebar; files that cannot be imported are named in one warning.
class ListFilePanels : public QObject
{
    Q_OBJECT
public:
    // Watches `window` and its drop targets for dropped list files.
    ListFilePanels(MyDocument *document, QWidget *window);

    // Offers to export the lists selected in the sidebar, under the name of
    // the selected list.
    QFileDialog *showSavePanel();
    // Offers to import list files, several at once.
    QFileDialog *showWindowForImportCorvxFile();
    // Imports each file in order; answers how many were imported.
    int importFiles(const QStringList &paths);
    // Offers to save the selected list's page, under the list's name.
    QFileDialog *saveDocumentAsHTMLTo();
    // Offers to import CSV files, each as a new list named after its file.
    QFileDialog *importFromExcel();

    // Local files whose names end in ".corvx"; empty when anything else is among them.
    static QStringList listFilePaths(const QList<QUrl> &urls);

    // A window-modal save panel proposing the list's name (or "Untitled")
    // with the suffix, in `folder` (empty: the current folder).
    static QFileDialog *savePanel(QWidget *window, const TODOList *list, const QString &title, const QString &label,
                                  const QString &filter, const QString &suffix, const QString &folder = {});

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Shown with open(), so window-modal; chooses existing files.
    QFileDialog *makeOpenPanel(const QString &title, const QString &filter, const QString &suffix);
    // The selected list's save panel; no list, no panel.
    QFileDialog *makeSavePanel(const QString &title, const QString &label, const QString &filter, const QString &suffix);
    void exportTo(const QString &path);
    void saveHtmlTo(const QString &path);
    void importCsvFiles(const QStringList &paths);

    QPointer<MyDocument> m_document;
    QWidget *m_window;
};
