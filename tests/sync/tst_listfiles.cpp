// List files: export of the selected lists, and import as new lists of files
// written in binary or as hexadecimal text.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "ListFiles.h"
#include "TestSupport.h"
#include "WireLists.h"
#include "corvane_wire.pb.h"

#include <QTest>

namespace {

// A due date past the last second that 32-bit seconds hold.
const QDateTime kDue2050(QDate(2050, 6, 1), QTime(10, 0), Qt::UTC);

// A list (sidebar index = id) with one open item due in 2050, one completed
// and one trashed.
TODOList *makeList(MyDocument &document, const QString &name, int id)
{
    TODOList *list = document.addNewProjectWithName(name);
    list->setId_(id);
    list->setIndex(id);
    list->setVersionID(9000 + id);
    const QList<QPair<QString, int>> items{{"open", 0}, {"done", 1}, {"binned", 2}};
    for (const auto &[itemName, state] : items) {
        TODOItem *item = document.newItemForProject(list, state);
        item->setName(itemName);
        item->setState(state);
        item->setServerID(500 + state);
        if (state == 0)
            item->setDueDate(kDue2050);
    }
    document.projects().projectsArrayController()->rearrangeObjects();
    return list;
}

} // namespace

class TestListFiles : public QObject
{
    Q_OBJECT

private slots:
    void exportWritesTheSelectedListsWithoutIdentifiers()
    {
        DocumentFixture f;
        TODOList *first = makeList(*f.document, QStringLiteral("First"), 57);
        TODOList *second = makeList(*f.document, QStringLiteral("Second"), 58);
        makeList(*f.document, QStringLiteral("Not chosen"), 59);
        f.document->projects().projectsArrayController()->setSelectedObjects({first, second});

        const QString path = f.dir.filePath(QStringLiteral("two.corvx"));
        QVERIFY(writeBytes(path, "an older file that is replaced"));
        QVERIFY(ListFiles(*f.document).exportToFile(path, {}));

        const std::optional<WireLists> file = WireLists::parse(readBytes(path));
        QVERIFY(file);
        QStringList names; // sidebar order
        for (const auto &list : file->message().todolist()) {
            names << QString::fromStdString(list.name());
            QCOMPARE(list.idd(), 0);
            QVERIFY(list.versionid() > 9000); // kept
            QCOMPARE(list.todoitems_size(), 3);
            for (const auto &item : list.todoitems()) {
                QCOMPARE(item.idd(), 0);
                if (item.name() == "open")
                    QCOMPARE(item.duedate(), quint64(kDue2050.toSecsSinceEpoch()));
            }
        }
        QCOMPARE(names, (QStringList{"Second", "First"}));
        QCOMPARE(first->id_(), 57); // the store keeps its identifiers
    }

    void importReadsBinaryAndHexadecimalText_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all
        QTest::addColumn<int>("lists");          // the lists the file holds; -1: refused
        DocumentFixture source;
        const QByteArray bytes = ListFiles(*source.document).exportLists({makeList(*source.document, QStringLiteral("Shared"), 12)});
        const QByteArray hex = bytes.toHex();
        QByteArray lines, spaced;
        for (qsizetype i = 0; i < hex.size(); i += 64)
            lines += hex.mid(i, 64).toUpper() + "\r\n";
        for (qsizetype i = 0; i < hex.size(); i += 3)
            spaced += hex.mid(i, 3) + " \t\n\v\f\r";
        QTest::newRow("binary") << bytes << 1;
        QTest::newRow("lines of 64 digits, CR LF") << lines << 1;
        QTest::newRow("white space inside bytes") << spaced << 1;
        QTest::newRow("empty file") << QByteArray("") << 0;
        // Binary that is not a message, and whose hexadecimal reading is not one either.
        QTest::newRow("truncated message") << QByteArray::fromHex("c23e05") << -1;
        QTest::newRow("missing file") << QByteArray() << -1;
    }

    void importReadsBinaryAndHexadecimalText()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, lists);
        DocumentFixture f;
        QVERIFY(f.context()->create(f.dir.filePath(QStringLiteral("store.sqlite"))));
        const QString path = f.dir.filePath(QStringLiteral("import.corvx"));
        if (!content.isNull())
            QVERIFY(writeBytes(path, content));

        LogCapture log("corvane.sync");
        ListFiles files(*f.document);
        QString error;
        int count = -1;
        QCOMPARE(files.importURL(path, &error, &count), lists >= 0);
        QCOMPARE(error.isEmpty(), lists >= 0);
        QCOMPARE(count, lists);
        // An accepted file is merged and saved, and the store counts as synced.
        QVERIFY(!f.context()->hasChanges());
        QCOMPARE(Defaults::standard().contains(QStringLiteral("hasSyncedBefore")), lists >= 0);
        // Each import adds new lists, nothing matched or deleted; their items'
        // states and dates are as they were (2050 included).
        QCOMPARE(files.importURL(path), lists >= 0);
        const QList<TODOList *> imported = f.document->getAllProjects();
        QCOMPARE(imported.size(), 2 * std::max(lists, 0));
        for (TODOList *list : imported) {
            QCOMPARE(list->name(), QStringLiteral("Shared"));
            QCOMPARE(list->id_(), 0);
            QStringList items; // name/state/quadrant/due date/serverID
            for (TODOItem *item : list->contains())
                items << QStringLiteral("%1/%2/%3/%4/%5").arg(item->name()).arg(item->state()).arg(item->quadrant())
                             .arg(item->dueDate().toUTC().toString(Qt::ISODate)).arg(item->serverID());
            items.sort();
            QCOMPARE(items, (QStringList{"binned/2/2//0", "done/1/1//0", "open/0/0/2050-06-01T10:00:00Z/0"}));
        }
    }
};

QTEST_GUILESS_MAIN(TestListFiles)
#include "tst_listfiles.moc"
