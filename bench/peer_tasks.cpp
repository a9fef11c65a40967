// Writes the same N tasks twice for bench/peer.sh: as a Corvane list file
// (one list, written by ListFiles from an in-memory store) and as a JSON
// array for Taskwarrior's `task import`.
//
//   peer_tasks N LISTFILE JSONFILE
//
// Every task has a name and notes; a tenth are completed, two thirds have a
// due date (every fifth of them all day), and the quadrant becomes the
// Taskwarrior priority (H, M, L, none).

#include "Defaults.h"
#include "ListFiles.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QUuid>

#include <memory>

namespace {

struct Task {
    QString name;
    QString notes;
    int quadrant = 0;
    bool completed = false;
    QDateTime created;
    QDateTime due;   // invalid: none
    bool allDay = false;
};

Task taskNumber(int i, int count)
{
    const QDateTime base(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC);
    Task t;
    t.name = QStringLiteral("Task %1 of the peer list").arg(i);
    t.notes = QStringLiteral("Some notes for task %1").arg(i);
    t.quadrant = i % 4;
    t.completed = i % 10 == 0;
    t.created = base.addSecs(qint64(i) * 60);
    if (i % 3 != 0) {
        t.allDay = i % 5 == 0;
        const QDateTime due = base.addSecs(qint64((i * 7919) % count) * 3600);
        t.due = t.allDay ? QDateTime(due.date(), QTime(0, 0), Qt::UTC) : due;
    }
    return t;
}

QString taskwarriorDate(const QDateTime &d)
{
    return d.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

QJsonObject taskwarriorTask(const Task &t)
{
    static const char *const priorities[] = {"H", "M", "L"};
    QJsonObject o{
        {QStringLiteral("uuid"), QUuid::createUuid().toString(QUuid::WithoutBraces)},
        {QStringLiteral("description"), t.name},
        {QStringLiteral("status"), t.completed ? QStringLiteral("completed") : QStringLiteral("pending")},
        {QStringLiteral("entry"), taskwarriorDate(t.created)},
        {QStringLiteral("annotations"),
         QJsonArray{QJsonObject{{QStringLiteral("entry"), taskwarriorDate(t.created)},
                                {QStringLiteral("description"), t.notes}}}},
    };
    if (t.quadrant < 3)
        o.insert(QStringLiteral("priority"), QLatin1String(priorities[t.quadrant]));
    if (t.completed)
        o.insert(QStringLiteral("end"), taskwarriorDate(t.created.addDays(1)));
    if (t.due.isValid())
        o.insert(QStringLiteral("due"), taskwarriorDate(t.due));
    return o;
}

void addItem(ManagedObjectContext *context, TODOList *list, const Task &t, int i)
{
    auto *item = context->insert<TODOItem>(TODOItem::EntityName);
    item->setId_(i + 1);
    item->setName(t.name);
    item->setDescriptionText(t.notes);
    item->setQuadrant(t.quadrant);
    item->setIndex((i + 1) * 100);
    item->setState(t.completed ? RecordState::Completed : RecordState::Open);
    item->setCompletionPercentage(t.completed ? 100 : 0);
    item->setCreationDate(t.created);
    if (t.completed)
        item->setCompletionDate(t.created.addDays(1));
    item->setDueDate(t.due);
    item->setAllDay(t.allDay);
    item->setList(list);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments();
    bool ok = false;
    const int count = args.size() == 4 ? args[1].toInt(&ok) : 0;
    if (!ok || count <= 0) {
        err << "usage: peer_tasks N LISTFILE JSONFILE\n";
        return 2;
    }
    // The document reads and writes its preferences: keep them out of the user's.
    QTemporaryDir dir;
    Defaults::useFileForTesting(dir.filePath(QStringLiteral("defaults.ini")));

    auto document = std::make_unique<MyDocument>(std::make_unique<ManagedObjectContext>(todoListModel()));
    ManagedObjectContext *context = document->managedObjectContext();
    context->setUndoManager(nullptr);
    TODOList *list = document->addNewProjectWithName(QStringLiteral("Peer"));
    QJsonArray tasks;
    for (int i = 0; i < count; ++i) {
        const Task t = taskNumber(i, count);
        addItem(context, list, t, i);
        tasks.append(taskwarriorTask(t));
    }
    context->processPendingChanges();

    QString error;
    if (!ListFiles(*document).exportToFile(args[2], {list}, &error)) {
        err << error << '\n';
        return 1;
    }
    QSaveFile json(args[3]);
    if (!json.open(QIODevice::WriteOnly) || json.write(QJsonDocument(tasks).toJson(QJsonDocument::Compact)) < 0
        || !json.commit()) {
        err << "Cannot write " << args[3] << ": " << json.errorString() << '\n';
        return 1;
    }
    document.reset();
    Defaults::useFileForTesting(QString());
    return 0;
}
