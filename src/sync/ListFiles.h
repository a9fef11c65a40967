#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class MyDocument;
class TODOList;

// List files ("Corvx", extension corvx): one export payload, read back as
// binary or as hexadecimal text.
class ListFiles
{
public:
    explicit ListFiles(MyDocument &document);

    // The export payload of the lists.
    QByteArray exportLists(const QList<TODOList *> &lists);
    // The non-visual steps of exporting: basic filters, the lists selected in
    // the sidebar (or those given), the file written atomically, filters back.
    bool exportToFile(const QString &path, const QList<TODOList *> &lists, QString *error = nullptr);
    // Merges a file as new lists (reset identifiers, nothing deleted).
    // False, with the reason, when the file cannot be read, is neither a
    // binary nor a hexadecimal list message (nothing is merged then), or the
    // store could not be saved afterwards. `lists` receives the number of
    // lists the file held.
    bool importURL(const QString &path, QString *error = nullptr, int *lists = nullptr);

private:
    MyDocument &m_document;
};
