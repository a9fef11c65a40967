// List files: export of the selected lists, import as new lists (binary or
// hexadecimal text), and files that are neither.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "ListFiles.h"
#include "WireLists.h"
#include "corvane_wire.pb.h"

#include <QFile>
#include <QTest>

namespace {

// A document on a real store file, so that merges can save.
struct StoreDocument {
    QTemporaryDir dir;
    std::unique_ptr<MyDocument> document;

    StoreDocument()
    {
        Defaults::useFileForTesting(dir.filePath(QStringLiteral("defaults.ini")));
        auto context = std::make_unique<ManagedObjectContext>(todoListModel());
        if (!context->create(dir.filePath(QStringLiteral("store.sqlite"))))
            qFatal("cannot create the test store");
        document = std::make_unique<MyDocument>(std::move(context));
    }
    ~StoreDocument()
    {
        document.reset();
        Defaults::useFileForTesting(QString());
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QList<TODOList *> lists() const { return document->getAllProjects(); }
};

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A list with one open, one completed and one trashed item.
TODOList *makeList(MyDocument &document, const QString &name, int id)
{
    TODOList *list = document.addNewProjectWithName(name);
    list->setId_(id);
    list->setVersionID(9000 + id);
    const QList<QPair<QString, int>> items{{"open", 0}, {"done", 1}, {"binned", 2}};
    for (const auto &[itemName, state] : items) {
        TODOItem *item = document.newItemForProject(list, state);
        item->setName(itemName);
        item->setState(state);
        item->setCompletionPercentage(state == 1 ? 100 : 0);
        item->setServerID(500 + state);
    }
    document.projects().projectsArrayController()->rearrangeObjects();
    return list;
}

QStringList itemSummary(TODOList *list)
{
    QStringList out;
    for (TODOItem *item : list->contains())
        out << QStringLiteral("%1/%2/%3").arg(item->name()).arg(item->state()).arg(item->quadrant());
    out.sort();
    return out;
}

} // namespace

class TestListFiles : public QObject
{
    Q_OBJECT

private slots:
    void exportWritesTheSelectedListsWithoutIdentifiers();
    void importTwiceGivesTwoCopies();
    void hexadecimalTextImportsLikeBinary_data();
    void hexadecimalTextImportsLikeBinary();
    void emptyFileImportsNothingButStillSaves();
    void filesThatAreNeitherImportNothing_data();
    void filesThatAreNeitherImportNothing();
    void missingFileIsReported();
};

void TestListFiles::exportWritesTheSelectedListsWithoutIdentifiers()
{
    StoreDocument s;
    TODOList *first = makeList(*s.document, QStringLiteral("First"), 57);
    TODOList *second = makeList(*s.document, QStringLiteral("Second"), 58);
    makeList(*s.document, QStringLiteral("Not chosen"), 59);
    ArrayController *lists = s.document->projects().projectsArrayController();
    lists->setSelectedObjects({first, second});

    ListFiles files(*s.document);
    const QString path = s.path(QStringLiteral("two.corvx"));
    writeFile(path, "an older file that is replaced");
    QVERIFY(files.exportToFile(path, {}));

    const auto message = WireLists::parse(readFile(path));
    QVERIFY(message);
    QCOMPARE(message->listCount(), 2);
    // Sidebar order: index descending, the later list first when indices tie
    // is not guaranteed, so compare against the sidebar itself.
    QStringList expected;
    for (TODOList *list : s.lists())
        if (list == first || list == second)
            expected << list->name();
    QStringList names;
    for (const auto &list : message->message().todolist()) {
        names << QString::fromStdString(list.name());
        QCOMPARE(list.idd(), 0);
        QVERIFY(list.versionid() > 9000); // kept
        QCOMPARE(list.todoitems_size(), 3);
        for (const auto &item : list.todoitems())
            QCOMPARE(item.idd(), 0);
    }
    QCOMPARE(names, expected);
    // The quadrants show what the user chose again.
    QVERIFY(!s.document->controllerForQuadrant(0)->filterPredicate().isNull());
}

void TestListFiles::importTwiceGivesTwoCopies()
{
    StoreDocument source;
    TODOList *list = makeList(*source.document, QStringLiteral("Shared"), 12);
    const QString path = source.path(QStringLiteral("shared.corvx"));
    QVERIFY(ListFiles(*source.document).exportToFile(path, {list}));

    StoreDocument target;
    ListFiles files(*target.document);
    int count = -1;
    QVERIFY(files.importURL(path, nullptr, &count));
    QCOMPARE(count, 1);
    QVERIFY(files.importURL(path));
    target.document->projects().projectsArrayController()->rearrangeObjects();

    const QList<TODOList *> lists = target.lists();
    QCOMPARE(lists.size(), 2);
    QSet<int> itemIds;
    for (TODOList *imported : lists) {
        QCOMPARE(imported->name(), QStringLiteral("Shared"));
        QCOMPARE(imported->id_(), 0);
        QCOMPARE(imported->state(), 0);
        // Completed and trashed items arrive completed and trashed.
        QCOMPARE(itemSummary(imported), (QStringList{"binned/2/2", "done/1/1", "open/0/0"}));
        for (TODOItem *item : imported->contains()) {
            QCOMPARE(item->serverID(), 0);
            itemIds.insert(item->id_());
        }
    }
    QCOMPARE(Defaults::standard().stringValue(QStringLiteral("hasSyncedBefore")), QStringLiteral("yes"));
    QVERIFY(!target.document->managedObjectContext()->hasChanges()); // saved
    QCOMPARE(itemIds.size(), 6);
}

void TestListFiles::hexadecimalTextImportsLikeBinary_data()
{
    QTest::addColumn<bool>("upper");
    QTest::newRow("lower case") << false;
    QTest::newRow("upper case") << true;
}

void TestListFiles::hexadecimalTextImportsLikeBinary()
{
    QFETCH(bool, upper);
    StoreDocument source;
    TODOList *list = makeList(*source.document, QStringLiteral("Hex"), 3);
    QByteArray hex = ListFiles(*source.document).exportLists({list}).toHex();
    if (upper)
        hex = hex.toUpper();
    const QString path = source.path(QStringLiteral("hex.corvx"));
    writeFile(path, hex);

    StoreDocument target;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Exception in MyDocument importURL: .*")));
    QVERIFY(ListFiles(*target.document).importURL(path));
    target.document->projects().projectsArrayController()->rearrangeObjects();
    QCOMPARE(target.lists().size(), 1);
    QCOMPARE(target.lists().first()->name(), QStringLiteral("Hex"));
    QCOMPARE(itemSummary(target.lists().first()), itemSummary(list));
}

void TestListFiles::emptyFileImportsNothingButStillSaves()
{
    StoreDocument s;
    s.document->addNewProjectWithName(QStringLiteral("unsaved change"));
    const QString path = s.path(QStringLiteral("empty.corvx"));
    writeFile(path, QByteArray());
    int count = -1;
    QVERIFY(ListFiles(*s.document).importURL(path, nullptr, &count));
    QCOMPARE(count, 0);
    QCOMPARE(s.lists().size(), 1);
    QCOMPARE(Defaults::standard().stringValue(QStringLiteral("hasSyncedBefore")), QStringLiteral("yes"));
    QVERIFY(!s.document->managedObjectContext()->hasChanges());
}

void TestListFiles::filesThatAreNeitherImportNothing_data()
{
    QTest::addColumn<QByteArray>("content");
    // Binary that is not a message, and whose hexadecimal reading is not one either.
    QTest::newRow("truncated message") << QByteArray::fromHex("c23e05");
    QTest::newRow("bad wire type") << QByteArray::fromHex("0f0f0f0f");
}

void TestListFiles::filesThatAreNeitherImportNothing()
{
    QFETCH(QByteArray, content);
    StoreDocument s;
    const QString path = s.path(QStringLiteral("bad.corvx"));
    writeFile(path, content);
    QString error;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Exception in MyDocument importURL: .*")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".*neither a list file.*")));
    QVERIFY(!ListFiles(*s.document).importURL(path, &error));
    QVERIFY(error.contains(QStringLiteral("nothing was imported")));
    QCOMPARE(s.document->managedObjectContext()->count(TODOList::EntityName), 0);
    QVERIFY(!Defaults::standard().contains(QStringLiteral("hasSyncedBefore")));
}

void TestListFiles::missingFileIsReported()
{
    StoreDocument s;
    QString error;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Cannot read .*")));
    QVERIFY(!ListFiles(*s.document).importURL(s.path(QStringLiteral("nowhere.corvx")), &error));
    QVERIFY(error.startsWith(QStringLiteral("Cannot read")));
}

QTEST_GUILESS_MAIN(TestListFiles)
#include "tst_listfiles.moc"
