// The object store: values, relationships, change events, undo, URIs,
// saving only what changed, migration, locking and damaged files.

#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "ObjectModel.h"
#include "ObjectStoreIO.h"
#include "TestSupport.h"
#include "UndoManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <future>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

namespace {

const QString kNote = QStringLiteral("Note");
const QString kCount = QStringLiteral("count");

int g_rows = 0;
void countRows(int) { ++g_rows; }
void killMidSave(int written)
{
    if (written >= 50)
        ::raise(SIGKILL);
}

// Child process modes, run by the tests below through QProcess. As root, a
// child asked to be unprivileged runs as nobody, whom file permissions stop.
int childMain(const QString &mode, const QString &path, bool unprivileged)
{
    if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        return 2;
    QString error;
    ManagedObjectContext context(testModel());
    const StoreAccess access = mode == QLatin1String("--read") ? StoreAccess::Read : StoreAccess::Write;
    if (!context.open(path, &error, access)) {
        fprintf(stderr, "%s\n", qPrintable(error));
        return 3;
    }
    if (mode == QLatin1String("--read")) {
        printf("%d\n", context.count(kNote));
        return 0;
    }
    for (ManagedObject *note : context.objects(kNote))
        note->setValue(kCount, 999);
    if (mode == QLatin1String("--kill-mid-save"))
        ObjectStoreIO::setRowWrittenHookForTesting(killMidSave);
    return context.save(&error) ? 0 : 5;
}

} // namespace

class TestObjectStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Runs this binary in a child mode; answers its exit code and output.
    int child(const QStringList &arguments, QByteArray *out = nullptr, QByteArray *err = nullptr) const
    {
        QProcess process;
        process.start(QCoreApplication::applicationFilePath(), arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
            return -1;
        if (out)
            *out = process.readAllStandardOutput();
        if (err)
            *err = process.readAllStandardError();
        return process.exitCode();
    }
    void makeStore(const QString &file, int notes, int version = 2)
    {
        ManagedObjectContext context(testModel(version));
        QVERIFY(context.create(file));
        for (int i = 0; i < notes; ++i)
            context.insert(kNote)->setValue(QStringLiteral("text"), QString(200, QChar('a' + i % 26)));
        QVERIFY(context.save());
    }

private slots:
    void valuesSurviveSaveAndReopen_data();
    void valuesSurviveSaveAndReopen();
    void relationshipsKeepBothSides();
    void saveWritesOnlyChangedRows();
    void changesAreAnnouncedOncePerTurn();
    void undoRevertsOneTurnAsAGroup();
    void urisResolveBeforeAndAfterReopen();
    void olderSchemaIsMigratedKeepingValues();
    void secondWriterIsRefused();
    void writeProtectedStoreOpensOnlyForReading();
    void saveWaitsForAReader();
    void killedSaveLosesNothingSavedBefore();
    void damagedFilesAreNeverWritten_data();
    void damagedFilesAreNeverWritten();
};

void TestObjectStore::valuesSurviveSaveAndReopen_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("int32 negative") << "count" << QVariant(-2147483647 - 1);
    QTest::newRow("int32 absent") << "count" << QVariant();
    QTest::newRow("int64 large") << "big" << QVariant(qlonglong(9007199254740993LL));
    QTest::newRow("double") << "ratio" << QVariant(37.125);
    QTest::newRow("bool false is not absent") << "flag" << QVariant(false);
    QTest::newRow("text unicode") << "text" << QVariant(QStringLiteral("Grüße, 世界 \"quoted\" 'x' %_"));
    QTest::newRow("text empty") << "text" << QVariant(QStringLiteral(""));
    QTest::newRow("date with milliseconds") << "when" << QVariant(QDateTime(QDate(2012, 6, 15), QTime(9, 30, 12, 345), Qt::UTC));
    QTest::newRow("date before epoch") << "when" << QVariant(QDateTime(QDate(1950, 1, 1), QTime(0, 0), Qt::UTC));
    QTest::newRow("binary with zeros") << "blob" << QVariant(QByteArray("a\0b\0c", 5));
}

void TestObjectStore::valuesSurviveSaveAndReopen()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    const QString file = path(QStringLiteral("values-%1.sqlite").arg(QTest::currentDataTag()).replace(' ', '_'));
    QUrl uri;
    {
        ManagedObjectContext context(testModel());
        QVERIFY(context.create(file));
        ManagedObject *note = context.insert(kNote);
        note->setValue(kCount, 7); // so that an absent value is set over a present one
        note->setValue(key, value);
        uri = note->objectURI();
        QVERIFY(context.save());
    }
    ManagedObjectContext reopened(testModel());
    QVERIFY(reopened.open(file));
    ManagedObject *note = reopened.objectForURI(uri);
    QVERIFY(note);
    const QVariant back = note->value(key);
    QCOMPARE(back.isValid(), value.isValid());
    if (value.typeId() == QMetaType::QDateTime)
        QCOMPARE(back.toDateTime().toMSecsSinceEpoch(), value.toDateTime().toMSecsSinceEpoch());
    else if (value.isValid())
        QCOMPARE(back, value);
}

void TestObjectStore::relationshipsKeepBothSides()
{
    const QString file = path(QStringLiteral("relations.sqlite"));
    QUrl aUri, bUri;
    {
        ManagedObjectContext context(testModel());
        ManagedObject *a = context.insert(QStringLiteral("Folder"));
        ManagedObject *b = context.insert(QStringLiteral("Folder"));
        QList<ManagedObject *> notes;
        for (int i = 0; i < 3; ++i) {
            notes << context.insert(kNote);
            notes.last()->setValue(kCount, i);
            notes.last()->setToOne(QStringLiteral("folder"), a);
        }
        notes[1]->setToOne(QStringLiteral("folder"), b);
        QCOMPARE(a->toMany(QStringLiteral("notes")), (QList<ManagedObject *>{notes[0], notes[2]}));
        // Creating the file after the fact writes everything the context holds.
        QVERIFY(context.create(file));
        aUri = a->objectURI();
        bUri = b->objectURI();
    }
    ManagedObjectContext reopened(testModel());
    QVERIFY(reopened.open(file));
    ManagedObject *a = reopened.objectForURI(aUri);
    const QList<ManagedObject *> inA = a->toMany(QStringLiteral("notes"));
    QCOMPARE(inA.size(), 2);
    QCOMPARE(inA[1]->intValue(kCount), 2);
    QCOMPARE(inA[0]->toOne(QStringLiteral("folder")), a);
    QCOMPARE(reopened.objectForURI(bUri)->toMany(QStringLiteral("notes")).size(), 1);
}

void TestObjectStore::saveWritesOnlyChangedRows()
{
    const QString file = path(QStringLiteral("rows.sqlite"));
    ManagedObjectContext context(testModel());
    QVERIFY(context.create(file));
    for (int i = 0; i < 200; ++i)
        context.insert(kNote)->setValue(kCount, i);
    ObjectStoreIO::setRowWrittenHookForTesting(countRows);
    auto rowsWritten = [&] {
        g_rows = 0;
        return context.save() ? g_rows : -1;
    };
    QCOMPARE(rowsWritten(), 200);
    QCOMPARE(rowsWritten(), 0);
    context.objects(kNote)[17]->setValue(QStringLiteral("text"), QStringLiteral("changed"));
    // A change set back to the saved value still writes its one row, never more.
    context.objects(kNote)[3]->setValue(kCount, 1000);
    context.objects(kNote)[3]->setValue(kCount, 3);
    QCOMPARE(rowsWritten(), 2);
    ObjectStoreIO::setRowWrittenHookForTesting(nullptr);

    // Deleted records leave the file.
    context.deleteObject(context.objects(kNote)[0]);
    QVERIFY(context.save());
    context.close();
    ManagedObjectContext reopened(testModel());
    QVERIFY(reopened.open(file));
    QCOMPARE(reopened.count(kNote), 199);
    QCOMPARE(reopened.objects(kNote)[16]->stringValue(QStringLiteral("text")), QStringLiteral("changed"));
}

void TestObjectStore::changesAreAnnouncedOncePerTurn()
{
    ManagedObjectContext context(testModel());
    ManagedObject *existing = context.insert(kNote);
    ManagedObject *doomed = context.insert(kNote);
    existing->setValue(QStringLiteral("text"), QStringLiteral("same"));
    context.processPendingChanges();

    QList<ObjectsChange> changes;
    QList<QSet<QString>> keys;
    connect(&context, &ManagedObjectContext::objectsDidChange, this, [&](const ObjectsChange &change) {
        changes << change;
        for (ManagedObject *o : change.updated) {
            keys << o->changedKeysForCurrentEvent();
            // An observer's own change (change tracking's mark) comes in a later round.
            if (o->changedKeysForCurrentEvent().contains(kCount))
                o->setValue(QStringLiteral("label"), QStringLiteral("marked"));
        }
    });
    existing->setValue(kCount, 1);
    existing->setValue(QStringLiteral("text"), QStringLiteral("same")); // equal: no change
    ManagedObject *added = context.insert(kNote);
    context.deleteObject(doomed);
    context.deleteObject(context.insert(kNote)); // inserted and deleted within the turn: nothing
    QVERIFY(changes.isEmpty());

    QTRY_COMPARE(changes.size(), 2);
    QCOMPARE(changes[0].inserted, QList<ManagedObject *>{added});
    QCOMPARE(changes[0].updated, QList<ManagedObject *>{existing});
    QCOMPARE(changes[0].deleted, QList<ManagedObject *>{doomed});
    QCOMPARE(keys, (QList<QSet<QString>>{{kCount}, {QStringLiteral("label")}}));
}

void TestObjectStore::undoRevertsOneTurnAsAGroup()
{
    ManagedObjectContext context(testModel());
    UndoManager *undo = context.undoManager();
    ManagedObject *folder = context.insert(QStringLiteral("Folder"));
    folder->setValue(QStringLiteral("title"), QStringLiteral("first"));
    QTRY_VERIFY(undo->canUndo());
    QCoreApplication::processEvents(); // the first turn's group is closed

    folder->setValue(QStringLiteral("title"), QStringLiteral("second"));
    ManagedObject *note = context.insert(kNote);
    note->setToOne(QStringLiteral("folder"), folder);
    // Changes while the undo manager is detached (a sync) cannot be undone.
    context.setUndoManager(nullptr);
    folder->setValue(QStringLiteral("index"), 9);
    context.setUndoManager(undo);
    QCoreApplication::processEvents();

    undo->undo();
    QCOMPARE(folder->stringValue(QStringLiteral("title")), QStringLiteral("first"));
    QCOMPARE(folder->intValue(QStringLiteral("index")), 9);
    QVERIFY(note->isDeleted());
    QVERIFY(folder->toMany(QStringLiteral("notes")).isEmpty());
    undo->redo();
    QCOMPARE(note->toOne(QStringLiteral("folder")), folder);

    // The history keeps the last 100 groups: a long session does not grow it for ever.
    undo->removeAllActions();
    for (int i = 0; i < 105; ++i) {
        undo->beginGrouping();
        note->setValue(kCount, i);
        undo->endGrouping();
    }
    int steps = 0;
    for (; undo->canUndo(); ++steps)
        undo->undo();
    QCOMPARE(steps, 100);
    QCOMPARE(note->intValue(kCount), 4);
}

void TestObjectStore::urisResolveBeforeAndAfterReopen()
{
    const QString file = path(QStringLiteral("uris.sqlite"));
    QList<QUrl> uris;
    {
        ManagedObjectContext context(testModel());
        QVERIFY(context.create(file));
        for (int i = 0; i < 3; ++i) {
            ManagedObject *note = context.insert(kNote);
            note->setValue(kCount, i);
            uris << note->objectURI();
            QCOMPARE(context.objectForURI(uris.last()), note); // from insertion on
        }
        QVERIFY(context.save());
        // Keys are never handed out twice, even after a deletion.
        context.deleteObject(context.objects(kNote).last());
        QVERIFY(context.save());
    }
    ManagedObjectContext context(testModel());
    QVERIFY(context.open(file));
    QCOMPARE(context.objectForURI(uris[1])->intValue(kCount), 1);
    QCOMPARE(context.objectForURI(uris[2]), nullptr);
    QVERIFY(!uris.contains(context.insert(kNote)->objectURI()));
    // A URI of another store resolves to nothing.
    QCOMPARE(ManagedObjectContext(testModel()).objectForURI(uris[0]), nullptr);
}

void TestObjectStore::olderSchemaIsMigratedKeepingValues()
{
    const QString file = path(QStringLiteral("old.sqlite"));
    QUrl noteUri;
    {
        ManagedObjectContext old(testModel(1));
        QVERIFY(old.create(file));
        ManagedObject *folder = old.insert(QStringLiteral("Folder"));
        folder->setValue(QStringLiteral("title"), QStringLiteral("kept"));
        ManagedObject *note = old.insert(kNote);
        note->setValue(kCount, 77);
        note->setToOne(QStringLiteral("folder"), folder);
        noteUri = note->objectURI();
        QVERIFY(old.save());
    }
    for (int launch = 0; launch < 2; ++launch) {
        ManagedObjectContext context(testModel(2));
        QString error;
        QVERIFY2(context.open(file, &error), qPrintable(error));
        ManagedObject *note = context.objectForURI(noteUri);
        QCOMPARE(note->intValue(kCount), 77);
        QCOMPARE(note->toOne(QStringLiteral("folder"))->stringValue(QStringLiteral("title")), QStringLiteral("kept"));
        if (launch == 1) {
            QCOMPARE(note->stringValue(QStringLiteral("added")), QStringLiteral("new column"));
            QCOMPARE(context.count(QStringLiteral("Extra")), 1);
            break;
        }
        note->setValue(QStringLiteral("added"), QStringLiteral("new column"));
        context.insert(QStringLiteral("Extra"))->setValue(QStringLiteral("value"), QStringLiteral("new table"));
        QVERIFY(context.save());
    }
}

void TestObjectStore::secondWriterIsRefused()
{
    const QString file = path(QStringLiteral("locked.sqlite"));
    makeStore(file, 1);
    ManagedObjectContext first(testModel());
    QVERIFY(first.open(file));
    const QByteArray before = fileHash(file);

    ManagedObjectContext second(testModel());
    QString error;
    QVERIFY(!second.open(file, &error));
    QVERIFY2(error.contains(QStringLiteral("in use by another Corvane process")), qPrintable(error));
    QCOMPARE(child({QStringLiteral("--write"), file}), 3);

    // Reopening hands the lock over: the store is never free in between.
    ManagedObjectContext reopened(testModel());
    QVERIFY(reopened.takeOverStore(first, &error));
    QVERIFY(!first.hasStore());
    QCOMPARE(reopened.count(kNote), 1);
    QCOMPARE(child({QStringLiteral("--write"), file}), 3);
    QCOMPARE(fileHash(file), before);

    reopened.close();
    QVERIFY(second.open(file, &error));
}

void TestObjectStore::writeProtectedStoreOpensOnlyForReading()
{
    // The children run as nobody when this runs as root: they need a way in.
    const QString folder = path(QStringLiteral("protected"));
    const QString file = folder + QStringLiteral("/store.sqlite");
    QVERIFY(QDir().mkpath(folder));
    makeStore(file, 3);
    const auto all = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const auto enter = all | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(m_dir.path(), enter | QFile::WriteOwner));
    QVERIFY(QFile::setPermissions(folder, enter | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther));
    QVERIFY(QFile::setPermissions(file, all));
    const QByteArray before = fileHash(file);

    QByteArray out, err;
    QCOMPARE(child({QStringLiteral("--write"), file, QStringLiteral("--unprivileged")}, &out, &err), 3);
    QVERIFY2(err.contains("is write-protected"), err.constData());
    QCOMPARE(child({QStringLiteral("--read"), file, QStringLiteral("--unprivileged")}, &out, &err), 0);
    QCOMPARE(out, QByteArray("3\n"));
    QCOMPARE(fileHash(file), before);
}

void TestObjectStore::saveWaitsForAReader()
{
    const QString file = path(QStringLiteral("busy.sqlite"));
    makeStore(file, 1);
    ManagedObjectContext context(testModel());
    QVERIFY(context.open(file));

    // Another program (a backup tool, the sqlite3 shell) reads the file for a moment.
    std::promise<void> reading;
    std::thread reader([&] {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_exec(db, "BEGIN; SELECT count(*) FROM Note;", nullptr, nullptr, nullptr);
        reading.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    });
    reading.get_future().wait();
    context.objects(kNote).first()->setValue(kCount, 5);
    QString error;
    const bool saved = context.save(&error);
    reader.join();
    QVERIFY2(saved, qPrintable(error));
}

void TestObjectStore::killedSaveLosesNothingSavedBefore()
{
    const QString file = path(QStringLiteral("killed.sqlite"));
    makeStore(file, 500);
    QCOMPARE(child({QStringLiteral("--kill-mid-save"), file}), -1); // killed inside the transaction

    // The dead writer's lock is stale; the file reads as of the last save.
    ManagedObjectContext context(testModel());
    QString error;
    QVERIFY2(context.open(file, &error), qPrintable(error));
    QCOMPARE(context.count(kNote), 500);
    QCOMPARE(context.count(kNote, Predicate::equal(kCount, 999)), 0);
}

void TestObjectStore::damagedFilesAreNeverWritten_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("text file") << "text";
    QTest::newRow("truncated store") << "truncated";
    QTest::newRow("truncated store of an older model") << "truncated-old"; // would need migrating
    QTest::newRow("foreign database") << "foreign";
    QTest::newRow("other model") << "other-model";
}

void TestObjectStore::damagedFilesAreNeverWritten()
{
    QFETCH(QString, kind);
    const QString file = path(QStringLiteral("damaged-%1.sqlite").arg(kind));
    if (kind.startsWith(QLatin1String("truncated"))) {
        makeStore(file, 2000, kind == QLatin1String("truncated-old") ? 1 : 2);
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.resize(f.size() / 3));
    } else if (kind == QLatin1String("foreign")) {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "CREATE TABLE recipes (name TEXT); INSERT INTO recipes VALUES ('soup');", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    } else if (kind == QLatin1String("other-model")) {
        static const ObjectModel other(QStringLiteral("another_model"), 1, {EntityDescription(QStringLiteral("Thing"), {{QStringLiteral("x"), AttributeType::Int32}})});
        ManagedObjectContext context(other);
        context.insert(QStringLiteral("Thing"));
        QVERIFY(context.create(file));
    } else {
        QVERIFY(writeBytes(file, "these are my notes, not a database\n"));
    }
    const QByteArray before = fileHash(file);

    LogCapture quiet;
    ManagedObjectContext context(testModel());
    QString error;
    QVERIFY(!context.open(file, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!context.hasStore());
    QCOMPARE(context.count(kNote), 0);
    QCOMPARE(fileHash(file), before);
    QVERIFY(!QFile::exists(file + QStringLiteral("-journal")));
    // Nor is anything created over it.
    QVERIFY(!context.create(file));
    QCOMPARE(fileHash(file), before);
}

int main(int argc, char **argv)
{
    if (argc >= 3 && QByteArray(argv[1]).startsWith("--"))
        return childMain(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]),
                         argc > 3 && QByteArray(argv[3]) == "--unprivileged");
    QCoreApplication app(argc, argv);
    TestObjectStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_objectstore.moc"
