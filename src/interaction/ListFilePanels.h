#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>

class MyDocument;
class QFileDialog;
class QWidget;

// List files (".corvx") seen from the window: the export save panel, the
// import open panel, and list files dropped anywhere on the window. Both
// panels are window-modal; a save never replaces a file without asking, and
// the file is written whole or not at all. Imported lists appear in the
// sidebar; a file that cannot be imported is named in one warning.
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

    // Local files whose names end in ".corvx"; empty when anything else is among them.
    static QStringList listFilePaths(const QList<QUrl> &urls);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QFileDialog *makePanel(const QString &title);
    void exportTo(const QString &path);

    QPointer<MyDocument> m_document;
    QWidget *m_window;
};
