#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class MyDocument;
class TODOList;

// The import of CSV files without its open panel: each file becomes a new
// list named after the file, extension included, with one item per record
// in quadrant 0, the first field its name and the second its plain-text
// notes (fields after the second are ignored). A record with one field gives
// an item with that name and no notes. A file that cannot be read still
// gives its list, empty, so the user sees which file it was.
namespace CsvImport {

struct ImportedFile {
    QString path;
    TODOList *list = nullptr;
    int items = 0;
    QString error; // the reader's error; empty when the file was read
};

// Imports every file as one undo step ("Import CSV").
QList<ImportedFile> importFromExcel(MyDocument &document, const QStringList &paths);

} // namespace CsvImport
