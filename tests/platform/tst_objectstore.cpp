// The object store: values, relationships, change events, undo, URIs,
// saving only what changed, migration, locking and damaged files.

#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "ObjectModel.h"
#include "ObjectStoreIO.h"
#include "UndoManager.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sqlite3.h>

namespace {

const ObjectModel &testModel(int version = 2)
{
    static const ObjectModel v2(QStringLiteral("test_model"), 2,
        {EntityDescription(QStringLiteral("Folder"),
                           {{QStringLiteral("title"), AttributeType::Text},
                            {QStringLiteral("index"), AttributeType::Int32},
                            {QStringLiteral("colour"), AttributeType::Text}},
                           {{QStringLiteral("notes"), QStringLiteral("Note"), QStringLiteral("folder"), true}}),
         EntityDescription(QStringLiteral("Note"),
                           {{QStringLiteral("count"), AttributeType::Int32},
                            {QStringLiteral("big"), AttributeType::Int64},
                            {QStringLiteral("ratio"), AttributeType::Double},
                            {QStringLiteral("flag"), AttributeType::Bool},
                            {QStringLiteral("text"), AttributeType::Text},
                            {QStringLiteral("when"), AttributeType::Date},
                            {QStringLiteral("blob"), AttributeType::Binary},
                            {QStringLiteral("added"), AttributeType::Text}},
                           {{QStringLiteral("folder"), QStringLiteral("Folder"), QStringLiteral("notes"), false}}),
         EntityDescription(QStringLiteral("Extra"), {{QStringLiteral("value"), AttributeType::Text}})});
    static const ObjectModel v1(QStringLiteral("test_model"), 1,
        {EntityDescription(QStringLiteral("Folder"),
                           {{QStringLiteral("title"), AttributeType::Text}, {QStringLiteral("index"), AttributeType::Int32}},
                           {{QStringLiteral("notes"), QStringLiteral("Note"), QStringLiteral("folder"), true}}),
         EntityDescription(QStringLiteral("Note"),
                           {{QStringLiteral("count"), AttributeType::Int32}, {QStringLiteral("text"), AttributeType::Text}},
                           {{QStringLiteral("folder"), QStringLiteral("Folder"), QStringLiteral("notes"), false}})});
    return version == 1 ? v1 : v2;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

int g_rows = 0;
void countRows(int) { ++g_rows; }

int g_killAfter = 0;
void killMidSave(int written)
{
    if (written >= g_killAfter)
        ::raise(SIGKILL);
}

// Child process modes, run by the tests below through QProcess.
int childMain(const QString &mode, const QString &path)
{
    QString error;
    ManagedObjectContext context(testModel());
    if (!context.open(path, &error)) {
        fprintf(stderr, "%s\n", qPrintable(error));
        return 3;
    }
    if (mode == QLatin1String("--kill-mid-save")) {
        for (ManagedObject *note : context.objects(QStringLiteral("Note")))
            note->setValue(QStringLiteral("count"), 999);
        g_killAfter = 50;
        ObjectStoreIO::setRowWrittenHookForTesting(killMidSave);
        context.save(&error);
        return 4; // not reached: the hook kills the process
    }
    // --write: a second writer that tries to change something
    context.objects(QStringLiteral("Note")).first()->setValue(QStringLiteral("count"), -1);
    return context.save(&error) ? 0 : 5;
}

} // namespace

class TestObjectStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void valuesSurviveSaveAndReopen_data();
    void valuesSurviveSaveAndReopen();
    void readersTreatAbsentAsZeroAndEmpty();
    void relationshipsKeepBothSides();
    void saveWritesOnlyChangedRows();
    void deletedRecordsLeaveTheFileAndComeBackByUndo();
    void changesAreAnnouncedOncePerTurn();
    void settingAnEqualValueIsNoChange();
    void observerChangesAreAnnouncedInALaterRound();
    void undoRevertsOneTurnAsAGroup();
    void detachedUndoManagerRecordsNothing();
    void urisResolveBeforeAndAfterReopen();
    void fetchFiltersAndSorts();
    void olderSchemaIsMigratedKeepingValues();
    void secondWriterIsRefused();
    void killedSaveLosesNothingSavedBefore();
    void damagedFilesAreNeverWritten_data();
    void damagedFilesAreNeverWritten();
    void createRefusesAnExistingFile();
};

void TestObjectStore::valuesSurviveSaveAndReopen_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");

    QTest::newRow("int32 negative") << "count" << QVariant(-2147483647 - 1);
    QTest::newRow("int32 absent") << "count" << QVariant();
    QTest::newRow("int64 large") << "big" << QVariant(qlonglong(9007199254740993LL));
    QTest::newRow("double") << "ratio" << QVariant(37.125);
    QTest::newRow("bool true") << "flag" << QVariant(true);
    QTest::newRow("bool false is not absent") << "flag" << QVariant(false);
    QTest::newRow("text unicode") << "text" << QVariant(QStringLiteral("Grüße, 世界 \"quoted\" 'x' %_"));
    QTest::newRow("text empty") << "text" << QVariant(QStringLiteral(""));
    QTest::newRow("date with milliseconds")
        << "when" << QVariant(QDateTime(QDate(2012, 6, 15), QTime(9, 30, 12, 345), Qt::UTC));
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
        ManagedObject *note = context.insert(QStringLiteral("Note"));
        note->setValue(QStringLiteral("count"), 7); // so that an absent value is set over a present one
        note->setValue(key, value);
        uri = note->objectURI();
        QVERIFY(context.save());
    }
    ManagedObjectContext reopened(testModel());
    QString error;
    QVERIFY2(reopened.open(file, &error), qPrintable(error));
    ManagedObject *note = reopened.objectForURI(uri);
    QVERIFY(note);
    const QVariant back = note->value(key);
    QCOMPARE(back.isValid(), value.isValid());
    if (value.typeId() == QMetaType::QDateTime)
        QCOMPARE(back.toDateTime().toMSecsSinceEpoch(), value.toDateTime().toMSecsSinceEpoch());
    else if (value.isValid())
        QCOMPARE(back, value);
}

void TestObjectStore::readersTreatAbsentAsZeroAndEmpty()
{
    ManagedObjectContext context(testModel());
    ManagedObject *note = context.insert(QStringLiteral("Note"));
    QCOMPARE(note->intValue(QStringLiteral("count")), 0);
    QCOMPARE(note->int64Value(QStringLiteral("big")), 0);
    QVERIFY(note->stringValue(QStringLiteral("text")).isEmpty());
    QVERIFY(!note->dateValue(QStringLiteral("when")).isValid());
    QVERIFY(!note->value(QStringLiteral("count")).isValid());

    // A null text and an invalid date clear a value.
    note->setValue(QStringLiteral("text"), QStringLiteral("x"));
    note->setValue(QStringLiteral("text"), QString());
    QVERIFY(!note->value(QStringLiteral("text")).isValid());
    note->setValue(QStringLiteral("when"), QDateTime::currentDateTime());
    note->setValue(QStringLiteral("when"), QDateTime());
    QVERIFY(!note->value(QStringLiteral("when")).isValid());

    // Values are brought to the attribute's type.
    note->setValue(QStringLiteral("count"), QStringLiteral("42"));
    QCOMPARE(note->value(QStringLiteral("count")).typeId(), QMetaType::Int);
    QCOMPARE(note->intValue(QStringLiteral("count")), 42);
}

void TestObjectStore::relationshipsKeepBothSides()
{
    const QString file = path(QStringLiteral("relations.sqlite"));
    QUrl folderUri, secondUri;
    {
        ManagedObjectContext context(testModel());
        ManagedObject *a = context.insert(QStringLiteral("Folder"));
        ManagedObject *b = context.insert(QStringLiteral("Folder"));
        QList<ManagedObject *> notes;
        for (int i = 0; i < 3; ++i) {
            notes << context.insert(QStringLiteral("Note"));
            notes.last()->setValue(QStringLiteral("count"), i);
            notes.last()->setToOne(QStringLiteral("folder"), a);
        }
        QCOMPARE(a->toMany(QStringLiteral("notes")), notes);

        notes[1]->setToOne(QStringLiteral("folder"), b);
        QCOMPARE(a->toMany(QStringLiteral("notes")), (QList<ManagedObject *>{notes[0], notes[2]}));
        QCOMPARE(b->toMany(QStringLiteral("notes")), QList<ManagedObject *>{notes[1]});
        QCOMPARE(notes[1]->valueForKeyPath(QStringLiteral("folder.index")), QVariant());
        b->setValue(QStringLiteral("index"), 5);
        QCOMPARE(notes[1]->valueForKeyPath(QStringLiteral("folder.index")).toInt(), 5);

        // Creating the file after the fact writes everything the context holds.
        QVERIFY(context.create(file));
        folderUri = a->objectURI();
        secondUri = b->objectURI();
    }
    ManagedObjectContext reopened(testModel());
    QVERIFY(reopened.open(file));
    ManagedObject *a = reopened.objectForURI(folderUri);
    ManagedObject *b = reopened.objectForURI(secondUri);
    QVERIFY(a && b);
    const QList<ManagedObject *> inA = a->toMany(QStringLiteral("notes"));
    QCOMPARE(inA.size(), 2);
    QCOMPARE(inA[0]->intValue(QStringLiteral("count")), 0);
    QCOMPARE(inA[1]->intValue(QStringLiteral("count")), 2);
    QCOMPARE(b->toMany(QStringLiteral("notes")).size(), 1);
    QCOMPARE(inA[0]->toOne(QStringLiteral("folder")), a);
}

void TestObjectStore::saveWritesOnlyChangedRows()
{
    const QString file = path(QStringLiteral("rows.sqlite"));
    ManagedObjectContext context(testModel());
    QVERIFY(context.create(file));
    for (int i = 0; i < 200; ++i)
        context.insert(QStringLiteral("Note"))->setValue(QStringLiteral("count"), i);

    ObjectStoreIO::setRowWrittenHookForTesting(countRows);
    g_rows = 0;
    QVERIFY(context.save());
    QCOMPARE(g_rows, 200);
    QVERIFY(!context.hasChanges());

    g_rows = 0;
    QVERIFY(context.save());
    QCOMPARE(g_rows, 0);

    context.objects(QStringLiteral("Note"))[17]->setValue(QStringLiteral("text"), QStringLiteral("changed"));
    QVERIFY(context.hasChanges());
    g_rows = 0;
    QVERIFY(context.save());
    QCOMPARE(g_rows, 1);

    // A change set back to the saved value still writes that one row, never more.
    ManagedObject *note = context.objects(QStringLiteral("Note"))[3];
    note->setValue(QStringLiteral("count"), 1000);
    note->setValue(QStringLiteral("count"), 3);
    g_rows = 0;
    QVERIFY(context.save());
    QCOMPARE(g_rows, 1);
    ObjectStoreIO::setRowWrittenHookForTesting(nullptr);

    ManagedObjectContext reopened(testModel());
    context.close();
    QVERIFY(reopened.open(file));
    QCOMPARE(reopened.count(QStringLiteral("Note")), 200);
    QCOMPARE(reopened.objects(QStringLiteral("Note"))[17]->stringValue(QStringLiteral("text")), QStringLiteral("changed"));
}

void TestObjectStore::deletedRecordsLeaveTheFileAndComeBackByUndo()
{
    const QString file = path(QStringLiteral("delete.sqlite"));
    ManagedObjectContext context(testModel());
    QVERIFY(context.create(file));
    ManagedObject *folder = context.insert(QStringLiteral("Folder"));
    ManagedObject *note = context.insert(QStringLiteral("Note"));
    note->setToOne(QStringLiteral("folder"), folder);
    note->setValue(QStringLiteral("text"), QStringLiteral("keep me"));
    QVERIFY(context.save());
    context.processPendingChanges();
    context.undoManager()->closeAutomaticGroup();
    const QUrl uri = note->objectURI();

    context.deleteObject(note);
    QVERIFY(note->isDeleted());
    QVERIFY(folder->toMany(QStringLiteral("notes")).isEmpty());
    QCOMPARE(context.objectForURI(uri), nullptr);
    QCOMPARE(context.count(QStringLiteral("Note")), 0);
    QVERIFY(context.save());
    {
        ManagedObjectContext other(testModel());
        context.close();
        QVERIFY(other.open(file));
        QCOMPARE(other.count(QStringLiteral("Note")), 0);
    }

    // Undo after the deletion was saved brings the record and its link back.
    context.undoManager()->undo();
    QVERIFY(!note->isDeleted());
    QCOMPARE(context.objectForURI(uri), note);
    QCOMPARE(note->toOne(QStringLiteral("folder")), folder);
    QCOMPARE(folder->toMany(QStringLiteral("notes")), QList<ManagedObject *>{note});
}

void TestObjectStore::changesAreAnnouncedOncePerTurn()
{
    ManagedObjectContext context(testModel());
    ManagedObject *existing = context.insert(QStringLiteral("Note"));
    ManagedObject *doomed = context.insert(QStringLiteral("Note"));
    context.processPendingChanges();

    QList<ObjectsChange> changes;
    QList<QSet<QString>> keysDuringEvent;
    connect(&context, &ManagedObjectContext::objectsDidChange, this, [&](const ObjectsChange &change) {
        changes << change;
        for (ManagedObject *o : change.updated)
            keysDuringEvent << o->changedKeysForCurrentEvent();
    });

    existing->setValue(QStringLiteral("count"), 1);
    existing->setValue(QStringLiteral("text"), QStringLiteral("a"));
    ManagedObject *added = context.insert(QStringLiteral("Note"));
    added->setValue(QStringLiteral("count"), 5);
    context.deleteObject(doomed);
    QVERIFY(changes.isEmpty()); // nothing before the turn ends
    QCOMPARE(existing->changedKeysForCurrentEvent(), (QSet<QString>{QStringLiteral("count"), QStringLiteral("text")}));

    QTRY_COMPARE(changes.size(), 1);
    QCoreApplication::processEvents();
    QCOMPARE(changes.size(), 1);
    const ObjectsChange &c = changes.first();
    QCOMPARE(c.inserted, QList<ManagedObject *>{added});
    QCOMPARE(c.updated, QList<ManagedObject *>{existing});
    QCOMPARE(c.deleted, QList<ManagedObject *>{doomed});
    QCOMPARE(keysDuringEvent.first(), (QSet<QString>{QStringLiteral("count"), QStringLiteral("text")}));
    QVERIFY(existing->changedKeysForCurrentEvent().isEmpty());

    // Inserted and deleted within one turn: nothing to announce.
    context.deleteObject(context.insert(QStringLiteral("Note")));
    context.processPendingChanges();
    QCOMPARE(changes.size(), 1);
}

void TestObjectStore::settingAnEqualValueIsNoChange()
{
    const QString file = path(QStringLiteral("equal.sqlite"));
    ManagedObjectContext context(testModel());
    QVERIFY(context.create(file));
    ManagedObject *note = context.insert(QStringLiteral("Note"));
    const QDateTime when(QDate(2020, 2, 29), QTime(23, 59, 59, 999));
    note->setValue(QStringLiteral("count"), 3);
    note->setValue(QStringLiteral("when"), when);
    note->setValue(QStringLiteral("text"), QStringLiteral("same"));
    QVERIFY(context.save());
    context.processPendingChanges();

    QSignalSpy spy(&context, &ManagedObjectContext::objectsDidChange);
    note->setValue(QStringLiteral("count"), 3);
    note->setValue(QStringLiteral("count"), qlonglong(3));
    note->setValue(QStringLiteral("when"), when.toUTC());
    note->setValue(QStringLiteral("text"), QStringLiteral("same"));
    context.processPendingChanges();
    QCOMPARE(spy.count(), 0);
    QVERIFY(!context.hasChanges());
    QVERIFY(!note->isUpdated());
}

void TestObjectStore::observerChangesAreAnnouncedInALaterRound()
{
    // The pattern of change tracking: an observer marks a record in answer to
    // a change, and that mark is announced on its own.
    ManagedObjectContext context(testModel());
    ManagedObject *note = context.insert(QStringLiteral("Note"));
    context.processPendingChanges();

    QList<QSet<QString>> rounds;
    connect(&context, &ManagedObjectContext::objectsDidChange, this, [&](const ObjectsChange &change) {
        for (ManagedObject *o : change.updated) {
            rounds << o->changedKeysForCurrentEvent();
            if (o->changedKeysForCurrentEvent().contains(QStringLiteral("text")))
                o->setValue(QStringLiteral("count"), 1);
        }
    });
    note->setValue(QStringLiteral("text"), QStringLiteral("edited"));
    context.processPendingChanges();
    QCOMPARE(rounds.size(), 2);
    QCOMPARE(rounds[0], QSet<QString>{QStringLiteral("text")});
    QCOMPARE(rounds[1], QSet<QString>{QStringLiteral("count")});
}

void TestObjectStore::undoRevertsOneTurnAsAGroup()
{
    ManagedObjectContext context(testModel());
    UndoManager *undo = context.undoManager();
    ManagedObject *folder = context.insert(QStringLiteral("Folder"));
    folder->setValue(QStringLiteral("title"), QStringLiteral("first"));
    QTRY_VERIFY(undo->canUndo());
    QCoreApplication::processEvents(); // the first turn's group is closed

    // Second turn: three changes and an insertion.
    folder->setValue(QStringLiteral("title"), QStringLiteral("second"));
    folder->setValue(QStringLiteral("index"), 9);
    ManagedObject *note = context.insert(QStringLiteral("Note"));
    note->setToOne(QStringLiteral("folder"), folder);
    QCoreApplication::processEvents();

    QSignalSpy didUndo(undo, &UndoManager::didUndo);
    QList<ObjectsChange> changes;
    connect(&context, &ManagedObjectContext::objectsDidChange, this,
            [&](const ObjectsChange &change) { changes << change; });
    undo->undo();
    QCOMPARE(didUndo.count(), 1);
    QCOMPARE(folder->stringValue(QStringLiteral("title")), QStringLiteral("first"));
    QVERIFY(!folder->value(QStringLiteral("index")).isValid());
    QVERIFY(note->isDeleted());
    QVERIFY(folder->toMany(QStringLiteral("notes")).isEmpty());
    // The undone changes were announced before didUndo.
    QCOMPARE(changes.size(), 1);
    QCOMPARE(changes.first().updated, QList<ManagedObject *>{folder});

    undo->redo();
    QCOMPARE(folder->stringValue(QStringLiteral("title")), QStringLiteral("second"));
    QCOMPARE(folder->intValue(QStringLiteral("index")), 9);
    QVERIFY(!note->isDeleted());
    QCOMPARE(note->toOne(QStringLiteral("folder")), folder);

    undo->undo();
    undo->undo();
    QVERIFY(folder->isDeleted());
    QVERIFY(!undo->canUndo());
}

void TestObjectStore::detachedUndoManagerRecordsNothing()
{
    ManagedObjectContext context(testModel());
    ManagedObject *note = context.insert(QStringLiteral("Note"));
    context.processPendingChanges();
    UndoManager *undo = context.undoManager();
    undo->closeAutomaticGroup();
    undo->removeAllActions();

    context.setUndoManager(nullptr);
    note->setValue(QStringLiteral("text"), QStringLiteral("from the server"));
    context.processPendingChanges();
    context.setUndoManager(undo);
    QVERIFY(!undo->canUndo());

    note->setValue(QStringLiteral("text"), QStringLiteral("by the user"));
    QVERIFY(undo->canUndo());
    undo->undo();
    QCOMPARE(note->stringValue(QStringLiteral("text")), QStringLiteral("from the server"));
}

void TestObjectStore::urisResolveBeforeAndAfterReopen()
{
    const QString file = path(QStringLiteral("uris.sqlite"));
    QList<QUrl> uris;
    {
        ManagedObjectContext context(testModel());
        QVERIFY(context.create(file));
        for (int i = 0; i < 5; ++i) {
            ManagedObject *note = context.insert(QStringLiteral("Note"));
            note->setValue(QStringLiteral("count"), i);
            uris << note->objectURI();
            QCOMPARE(context.objectForURI(note->objectURI()), note); // from insertion on
        }
        uris << context.insert(QStringLiteral("Folder"))->objectURI();
        QVERIFY(context.save());
        // Keys are never handed out twice, even after a deletion.
        context.deleteObject(context.objects(QStringLiteral("Note")).last());
        QVERIFY(context.save());
    }
    QCOMPARE(QSet<QUrl>(uris.begin(), uris.end()).size(), uris.size());

    ManagedObjectContext context(testModel());
    QVERIFY(context.open(file));
    for (int i = 0; i < 4; ++i) {
        ManagedObject *note = context.objectForURI(uris[i]);
        QVERIFY(note);
        QCOMPARE(note->intValue(QStringLiteral("count")), i);
        QCOMPARE(note->objectURI(), uris[i]);
    }
    QCOMPARE(context.objectForURI(uris[4]), nullptr);
    QVERIFY(context.objectForURI(uris[5]));
    const QUrl fresh = context.insert(QStringLiteral("Note"))->objectURI();
    QVERIFY(!uris.contains(fresh));

    // A URI of another store, or a malformed one, resolves to nothing.
    ManagedObjectContext other(testModel());
    QCOMPARE(other.objectForURI(uris[0]), nullptr);
    QCOMPARE(context.objectForURI(QUrl(QStringLiteral("x-corvane-object://nope/Note/px"))), nullptr);
    QCOMPARE(context.objectForURI(QUrl(QStringLiteral("https://example.org/"))), nullptr);
}

void TestObjectStore::fetchFiltersAndSorts()
{
    ManagedObjectContext context(testModel());
    for (int i : {5, 1, 4, 2, 3}) {
        ManagedObject *note = context.insert(QStringLiteral("Note"));
        note->setValue(QStringLiteral("count"), i);
    }
    const QList<ManagedObject *> found = context.fetch(
        QStringLiteral("Note"), Predicate::compare(QStringLiteral("count"), Predicate::Op::Greater, 1),
        {SortDescriptor(QStringLiteral("count"), false)});
    QList<int> counts;
    for (ManagedObject *o : found)
        counts << o->intValue(QStringLiteral("count"));
    QCOMPARE(counts, (QList<int>{5, 4, 3, 2}));
    QCOMPARE(context.count(QStringLiteral("Note"), Predicate::equal(QStringLiteral("count"), 4)), 1);
    QCOMPARE(context.count(QStringLiteral("Nothing")), 0);
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
        ManagedObject *note = old.insert(QStringLiteral("Note"));
        note->setValue(QStringLiteral("count"), 77);
        note->setValue(QStringLiteral("text"), QStringLiteral("old text"));
        note->setToOne(QStringLiteral("folder"), folder);
        noteUri = note->objectURI();
        QVERIFY(old.save());
    }
    {
        ManagedObjectContext context(testModel(2));
        QString error;
        QVERIFY2(context.open(file, &error), qPrintable(error));
        ManagedObject *note = context.objectForURI(noteUri);
        QVERIFY(note);
        QCOMPARE(note->intValue(QStringLiteral("count")), 77);
        QCOMPARE(note->stringValue(QStringLiteral("text")), QStringLiteral("old text"));
        QCOMPARE(note->toOne(QStringLiteral("folder"))->stringValue(QStringLiteral("title")), QStringLiteral("kept"));
        QVERIFY(!note->value(QStringLiteral("added")).isValid());
        note->setValue(QStringLiteral("added"), QStringLiteral("new column"));
        context.insert(QStringLiteral("Extra"))->setValue(QStringLiteral("value"), QStringLiteral("new table"));
        QVERIFY(context.save());
    }
    ManagedObjectContext context(testModel(2));
    QVERIFY(context.open(file));
    QCOMPARE(context.objectForURI(noteUri)->stringValue(QStringLiteral("added")), QStringLiteral("new column"));
    QCOMPARE(context.count(QStringLiteral("Extra")), 1);

    // The file records the model it now has.
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt *stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT value FROM corvane_meta WHERE key = 'modelVersion'", -1, &stmt, nullptr);
    QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
    QCOMPARE(sqlite3_column_int(stmt, 0), 2);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
}

void TestObjectStore::secondWriterIsRefused()
{
    const QString file = path(QStringLiteral("locked.sqlite"));
    ManagedObjectContext first(testModel());
    QVERIFY(first.create(file));
    first.insert(QStringLiteral("Note"))->setValue(QStringLiteral("count"), 1);
    QVERIFY(first.save());
    const QByteArray before = fileHash(file);

    // In this process.
    ManagedObjectContext second(testModel());
    QString error;
    QVERIFY(!second.open(file, &error));
    QVERIFY2(error.contains(QStringLiteral("in use by another Corvane process")), qPrintable(error));

    // From another process, which would also try to write.
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--write"), file});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 3);
    QVERIFY(QString::fromLocal8Bit(child.readAllStandardError()).contains(QStringLiteral("in use")));
    QCOMPARE(fileHash(file), before);

    // Once the first writer lets go, the store opens.
    first.close();
    QVERIFY(second.open(file, &error));
}

void TestObjectStore::killedSaveLosesNothingSavedBefore()
{
    const QString file = path(QStringLiteral("killed.sqlite"));
    {
        ManagedObjectContext context(testModel());
        QVERIFY(context.create(file));
        for (int i = 0; i < 500; ++i)
            context.insert(QStringLiteral("Note"))->setValue(QStringLiteral("count"), i);
        QVERIFY(context.save());
    }
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--kill-mid-save"), file});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit); // killed inside the transaction

    // The dead writer's lock is stale; the file reads as of the last save.
    ManagedObjectContext context(testModel());
    QString error;
    QVERIFY2(context.open(file, &error), qPrintable(error));
    const QList<ManagedObject *> notes = context.objects(QStringLiteral("Note"));
    QCOMPARE(notes.size(), 500);
    for (int i = 0; i < notes.size(); ++i)
        QCOMPARE(notes[i]->intValue(QStringLiteral("count")), i);
}

void TestObjectStore::damagedFilesAreNeverWritten_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("kind");

    QTest::newRow("text file") << QByteArray("these are my notes, not a database\n") << QString();
    QByteArray garbage(8192, '\x5a');
    QTest::newRow("binary garbage") << garbage << QString();
    QTest::newRow("truncated store") << QByteArray() << QStringLiteral("truncated");
    QTest::newRow("truncated store of an older model") << QByteArray() << QStringLiteral("truncated-old");
    QTest::newRow("foreign database") << QByteArray() << QStringLiteral("foreign");
    QTest::newRow("other model") << QByteArray() << QStringLiteral("other-model");
}

void TestObjectStore::damagedFilesAreNeverWritten()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, kind);
    const QString file = path(QStringLiteral("damaged-%1.sqlite").arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-')));

    if (kind.startsWith(QLatin1String("truncated"))) {
        {
            // An older model's file needs migrating, which must not write into a damaged file.
            ManagedObjectContext context(testModel(kind == QLatin1String("truncated-old") ? 1 : 2));
            QVERIFY(context.create(file));
            for (int i = 0; i < 2000; ++i)
                context.insert(QStringLiteral("Note"))->setValue(QStringLiteral("text"), QString(200, QChar('a' + i % 26)));
            QVERIFY(context.save());
        }
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() / 3));
    } else if (kind == QLatin1String("foreign")) {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "CREATE TABLE recipes (name TEXT); INSERT INTO recipes VALUES ('soup');", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    } else if (kind == QLatin1String("other-model")) {
        static const ObjectModel other(QStringLiteral("another_model"), 1, {EntityDescription(QStringLiteral("Thing"), {{QStringLiteral("x"), AttributeType::Int32}})});
        ManagedObjectContext context(other);
        QVERIFY(context.create(file));
        context.insert(QStringLiteral("Thing"));
        QVERIFY(context.save());
    } else {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const QByteArray before = fileHash(file);
    const qint64 sizeBefore = QFileInfo(file).size();

    ManagedObjectContext context(testModel());
    QString error;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".*")));
    QVERIFY(!context.open(file, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!context.hasStore());
    QCOMPARE(context.count(QStringLiteral("Note")), 0);
    QCOMPARE(QFileInfo(file).size(), sizeBefore);
    QCOMPARE(fileHash(file), before);
    QVERIFY(!QFile::exists(file + QStringLiteral("-journal")));
}

void TestObjectStore::createRefusesAnExistingFile()
{
    const QString file = path(QStringLiteral("exists.sqlite"));
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("precious");
    }
    ManagedObjectContext context(testModel());
    context.insert(QStringLiteral("Note"));
    QString error;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("A file already exists.*")));
    QVERIFY(!context.create(file, &error));
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("precious"));
}

int main(int argc, char **argv)
{
    if (argc == 3 && QByteArray(argv[1]).startsWith("--"))
        return childMain(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    TestObjectStore test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_objectstore.moc"
