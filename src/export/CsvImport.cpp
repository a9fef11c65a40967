#include "CsvImport.h"

#include "CsvReader.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "UndoManager.h"

#include <QFileInfo>

namespace CsvImport {

namespace {

ImportedFile importFile(MyDocument &document, const QString &path)
{
    ImportedFile imported;
    imported.path = path;
    qCInfo(lcDocument).noquote() << QStringLiteral("Importing CSV file: %1").arg(path);
    const CsvReader::Result result = CsvReader::readFile(path);
    if (result.error != CsvReader::NoError) {
        imported.error = result.errorText;
        qCWarning(lcDocument).noquote() << result.errorText;
    }
    qCInfo(lcDocument).noquote() << QStringLiteral("%1 record(s) read").arg(result.records.size());

    imported.list = document.addNewProjectWithName(QFileInfo(path).fileName());
    if (!imported.list)
        return imported;
    for (const QStringList &record : result.records) {
        TODOItem *item = document.newItemForProject(imported.list);
        if (!item)
            continue;
        item->setName(record.constFirst());
        if (record.size() > 1)
            item->setDescriptionText(record.at(1));
        ++imported.items;
    }
    return imported;
}

} // namespace

QList<ImportedFile> importFromExcel(MyDocument &document, const QStringList &paths)
{
    ManagedObjectContext *context = document.managedObjectContext();
    UndoManager *undo = context->undoManager();
    if (undo)
        undo->beginGrouping();
    context->setUndoActionName(QStringLiteral("Import CSV"));
    QList<ImportedFile> imported;
    for (const QString &path : paths)
        imported.append(importFile(document, path));
    // What observers change in answer (change marks, order) joins the same step.
    context->processPendingChanges();
    if (undo)
        undo->endGrouping();
    return imported;
}

} // namespace CsvImport
