#include "ListFiles.h"

#include "ArrayController.h"
#include "Logging.h"
#include "MyDocument.h"
#include "PayloadBuilder.h"
#include "ServerDataMerger.h"
#include "SyncUtils.h"
#include "TODOList.h"

#include <QFile>
#include <QSaveFile>

ListFiles::ListFiles(MyDocument &document)
    : m_document(document)
{
}

QByteArray ListFiles::exportLists(const QList<TODOList *> &lists)
{
    return PayloadBuilder(m_document).exportLists(lists);
}

bool ListFiles::exportToFile(const QString &path, const QList<TODOList *> &lists, QString *error)
{
    qCInfo(lcSync).noquote() << QStringLiteral("Got URL: %1").arg(path);

    // The export reads whole lists, whatever the quadrants currently show.
    m_document.changeFiltersToNormal();
    QList<TODOList *> chosen = lists;
    if (chosen.isEmpty()) {
        for (ManagedObject *object : m_document.projects().projectsArrayController()->selectedObjects())
            chosen.append(static_cast<TODOList *>(object));
    }
    const QByteArray bytes = exportLists(chosen);

    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!ok) {
        const QString reason = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
        qCWarning(lcSync).noquote() << reason;
        if (error)
            *error = reason;
    }
    m_document.updateFilters();
    return ok;
}

bool ListFiles::importURL(const QString &path, QString *error, int *lists)
{
    auto fail = [&](const QString &reason) {
        qCWarning(lcSync).noquote() << reason;
        if (error)
            *error = reason;
        return false;
    };

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray content = file.readAll();
    file.close();

    ServerDataMerger merger(m_document);
    QString reason;
    std::optional<WireLists> message = merger.parseDataFromServer(content, &reason);
    if (!message) {
        // Not a binary list file: the same bytes may be written as hexadecimal text.
        qCWarning(lcSync).noquote() << QStringLiteral("Exception in MyDocument importURL: %1").arg(reason);
        const QByteArray digits = QString::fromUtf8(content).toLatin1();
        message = merger.parseDataFromServer(SyncUtils::hexToBinary(digits), &reason);
        if (!message)
            return fail(QStringLiteral("%1 is neither a list file nor a list file written as hexadecimal text; nothing was imported")
                            .arg(path));
    }
    if (lists)
        *lists = message->listCount();
    if (!merger.merge(*message, true, false))
        return fail(QStringLiteral("The lists of %1 were imported but the store could not be saved").arg(path));
    return true;
}
