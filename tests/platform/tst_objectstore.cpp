// The object store: values, relationships, URIs, saving only what changed,
// change events, the undo limit, migration, other processes, damaged files.

#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "ObjectStoreIO.h"
#include "TestSupport.h"

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

using namespace Qt::StringLiterals;

namespace {

const QString kNote = QStringLiteral("Note");
const QString kCount = QStringLiteral("count");

int g_rows = 0;
void countRows(int) { ++g_rows; }
void killMidSave(int written) { if (written >= 50) ::raise(SIGKILL); }

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
    // Runs this binary in a child mode; answers its exit code (-1: killed) and output.
    int child(const QStringList &arguments, QByteArray *output = nullptr) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QCoreApplication::applicationFilePath(), arguments);
        const bool finished = process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit;
        if (output)
            *output = process.readAll();
        return finished ? process.exitCode() : -1;
    }
    void makeStore(const QString &file, int notes, int version = 2)
    {
        ManagedObjectContext context(testModel(version));
        for (int i = 0; i < notes; ++i)
            context.insert(kNote)->setValue(QStringLiteral("text"), QString(200, QChar('a' + i % 26)));
        QVERIFY(context.create(file));
    }

private slots:
    void recordsSurviveReopen()
    {
        const QString file = path(QStringLiteral("records.sqlite"));
        QList<QUrl> uris; // folders a and b, notes 0..3 (note 3 is deleted)
        // Texts of consecutive rows, equal or alike in their bytes.
        const QStringList names{u"Ã©"_s, u"é"_s, u"é"_s, u"x"_s};
        const QStringList labels{u"tea"_s, u"tea"_s, u"tee"_s, u"x"_s};
        {
            ManagedObjectContext context(testModel());
            ManagedObject *a = context.insert(QStringLiteral("Folder"));
            ManagedObject *b = context.insert(QStringLiteral("Folder"));
            uris << a->objectURI() << b->objectURI();
            for (int i = 0; i < 4; ++i) {
                ManagedObject *note = context.insert(kNote);
                note->setValue(kCount, i + 7);
                note->setValue(u"name"_s, names[i]);
                note->setValue(u"label"_s, labels[i]);
                note->setToOne(QStringLiteral("folder"), i == 1 ? b : a);
                uris << note->objectURI();
                QCOMPARE(context.objectForURI(uris.last()), note); // from insertion on
            }
            // Creating the file after the fact writes everything the context holds.
            QVERIFY(context.create(file));
            context.deleteObject(context.objectForURI(uris[5]));
            QVERIFY(context.save());
        }
        ManagedObjectContext reopened(testModel());
        QVERIFY(reopened.open(file));
        QCOMPARE(reopened.objectForURI(uris[2])->intValue(kCount), 7);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(reopened.objectForURI(uris[2 + i])->value(u"name"_s).toString(), names[i]);
            QCOMPARE(reopened.objectForURI(uris[2 + i])->value(u"label"_s).toString(), labels[i]);
        }
        QCOMPARE(reopened.objectForURI(uris[0])->toMany(QStringLiteral("notes")),
                 (QList<ManagedObject *>{reopened.objectForURI(uris[2]), reopened.objectForURI(uris[4])}));
        QCOMPARE(reopened.objectForURI(uris[3])->toOne(QStringLiteral("folder")), reopened.objectForURI(uris[1]));
        // Keys are never handed out twice, even after a deletion; other stores' URIs resolve to nothing.
        QCOMPARE(reopened.objectForURI(uris[5]), nullptr);
        QVERIFY(!uris.contains(reopened.insert(kNote)->objectURI()));
        QCOMPARE(ManagedObjectContext(testModel()).objectForURI(uris[2]), nullptr);
    }

    // One attribute changes among values of every type; the change and every
    // other value survive saving and reopening, and undo and redo bring back
    // exactly the values before and after.
    void valuesKeepTheirTypeThroughSaveAndUndo_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("before"); // invalid: absent
        QTest::addColumn<QVariant>("after");
        const auto utc = [](int month, int day, int hour, int minute) {
            return QVariant(QDateTime(QDate(2026, month, day), QTime(hour, minute), Qt::UTC));
        };
        QTest::newRow("number added between numbers") << "state" << QVariant() << QVariant(7);
        QTest::newRow("number removed") << "quadrant" << QVariant(3) << QVariant();
        QTest::newRow("negative 64-bit number") << "big" << QVariant(qlonglong(5)) << QVariant(qlonglong(-9007199254740993LL));
        QTest::newRow("double") << "ratio" << QVariant() << QVariant(-2.5e-300);
        QTest::newRow("false is a value") << "flag" << QVariant(true) << QVariant(false);
        QTest::newRow("empty text is a value") << "added" << QVariant(QStringLiteral("x")) << QVariant(QStringLiteral(""));
        QTest::newRow("text added between texts") << "name" << QVariant() << QVariant(QStringLiteral("Grüße, 世界 \"quoted\" 'x' %_"));
        QTest::newRow("empty bytes are a value") << "blob" << QVariant() << QVariant(QByteArray(""));
        // 02:30 local time twice in Berlin: summer time, then winter time.
        QTest::newRow("repeated hour of a clock change") << "when" << utc(10, 25, 0, 30) << utc(10, 25, 1, 30);
        QTest::newRow("date removed after the skipped hour") << "dueDate" << utc(3, 29, 1, 30) << QVariant();
        QTest::newRow("date before 1970 with milliseconds") << "dueDate" << QVariant() << QVariant(QDateTime(QDate(1950, 1, 1), QTime(0, 0, 0, 345), Qt::UTC));
    }

    void valuesKeepTheirTypeThroughSaveAndUndo()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, before);
        QFETCH(QVariant, after);
        // One value of each type and state on every side of the changed one.
        QVariantHash others{{kCount, 1}, {u"big"_s, qlonglong(-2)}, {u"ratio"_s, 0.5}, {u"flag"_s, true}, {u"text"_s, u"t"_s},
                            {u"when"_s, QDateTime(QDate(2026, 7, 1), QTime(12, 0, 0, 7), Qt::UTC)}, {u"blob"_s, QByteArray("b\0", 2)},
                            {u"added"_s, u"a"_s}, {u"name"_s, QVariant()}, {u"label"_s, u"l"_s}, {u"descriptionText"_s, u""_s},
                            {u"quadrant"_s, 2}, {u"state"_s, 0}, {u"serial"_s, qlonglong(1) << 40}, {u"dueDate"_s, QVariant()}};
        others.remove(key);
        const auto expect = [&](const ManagedObject *note, const QVariant &value) {
            for (auto it = others.cbegin(); it != others.cend(); ++it)
                QCOMPARE(note->value(it.key()), it.value()); // an absent value never equals a present one
            QCOMPARE(note->value(key), value);
        };

        const QString file = path(QStringLiteral("typed_%1.sqlite").arg(QTest::currentDataTag()));
        ManagedObjectContext context(testModel());
        UndoManager *undo = context.undoManager();
        ManagedObject *note = context.insert(kNote);
        for (auto it = others.cbegin(); it != others.cend(); ++it)
            note->setValue(it.key(), it.value());
        note->setValue(key, before);
        context.processPendingChanges();
        QVERIFY(context.create(file));
        undo->beginGrouping();
        note->setValue(key, after);
        undo->endGrouping();
        QVERIFY(context.save());
        context.close(); // the records stay
        expect(note, after);
        {
            ManagedObjectContext reopened(testModel());
            QVERIFY(reopened.open(file));
            expect(reopened.objects(kNote).constFirst(), after);
        }
        undo->undo();
        expect(note, before);
        undo->redo();
        expect(note, after);
    }

    void saveWritesOnlyChangedRows()
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
        // A change set back to the saved value still writes its one row, never more.
        context.objects(kNote)[3]->setValue(kCount, 1000);
        context.objects(kNote)[3]->setValue(kCount, 3);
        QCOMPARE(rowsWritten(), 1);
        ObjectStoreIO::setRowWrittenHookForTesting(nullptr);
    }

    void changesAreAnnouncedOncePerTurn()
    {
        ManagedObjectContext context(testModel());
        ManagedObject *existing = context.insert(kNote);
        ManagedObject *doomed = context.insert(kNote);
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

    // A long session does not grow the undo history for ever: it keeps the last 100 groups.
    void undoHistoryIsCapped()
    {
        ManagedObjectContext context(testModel());
        UndoManager *undo = context.undoManager();
        ManagedObject *note = context.insert(kNote);
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

    void olderSchemaIsMigratedKeepingValues()
    {
        const QString file = path(QStringLiteral("old.sqlite"));
        QUrl uri;
        {
            ManagedObjectContext old(testModel(1));
            ManagedObject *note = old.insert(kNote);
            note->setValue(kCount, 77);
            note->setToOne(QStringLiteral("folder"), old.insert(QStringLiteral("Folder")));
            uri = note->objectURI();
            QVERIFY(old.create(file));
        }
        for (int launch = 0; launch < 2; ++launch) {
            ManagedObjectContext context(testModel(2));
            QVERIFY(context.open(file));
            ManagedObject *note = context.objectForURI(uri);
            QCOMPARE(note->intValue(kCount), 77);
            QVERIFY(note->toOne(QStringLiteral("folder")));
            // The new column and table take values, which the next launch reads.
            QCOMPARE(note->stringValue(QStringLiteral("added")), launch ? QStringLiteral("new") : QString());
            QCOMPARE(context.count(QStringLiteral("Extra")), launch);
            note->setValue(QStringLiteral("added"), QStringLiteral("new"));
            context.insert(QStringLiteral("Extra"));
            QVERIFY(context.save());
        }
    }

    void otherWritersNeverSpoilTheStore()
    {
        const QString file = path(QStringLiteral("locked.sqlite"));
        makeStore(file, 100);
        ManagedObjectContext first(testModel());
        QVERIFY(first.open(file));
        ManagedObjectContext second(testModel());
        QString error;
        QVERIFY(!second.open(file, &error));
        QVERIFY2(error.contains(QStringLiteral("in use by another Corvane process")), qPrintable(error));

        // Another program reading the file (a backup tool, the sqlite3 shell) makes a save wait, not fail.
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
        first.objects(kNote).first()->setValue(kCount, 5);
        const bool saved = first.save();
        reader.join();
        QVERIFY(saved);

        // A writer killed inside its save leaves a stale lock and the file as of the last save.
        first.close();
        QCOMPARE(child({QStringLiteral("--kill-mid-save"), file}), -1);
        QVERIFY2(second.open(file, &error), qPrintable(error));
        QCOMPARE(second.count(kNote), 100);
        QCOMPARE(second.count(kNote, Predicate::equal(kCount, 999)), 0);
    }

    void writeProtectedStoreOpensOnlyForReading()
    {
        // The children run as nobody when this runs as root: they need a way in.
        const QString folder = path(QStringLiteral("protected"));
        const QString file = folder + QStringLiteral("/store.sqlite");
        QVERIFY(QDir().mkpath(folder));
        makeStore(file, 3);
        const auto readable = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
        const auto open = readable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther | QFile::WriteOwner;
        QVERIFY(QFile::setPermissions(m_dir.path(), open) && QFile::setPermissions(file, readable)
                && QFile::setPermissions(folder, open | QFile::WriteGroup | QFile::WriteOther));
        const QByteArray before = fileHash(file);

        QByteArray output;
        QCOMPARE(child({QStringLiteral("--write"), file, QStringLiteral("--unprivileged")}, &output), 3);
        QVERIFY2(output.contains("is write-protected"), output.constData());
        QCOMPARE(child({QStringLiteral("--read"), file, QStringLiteral("--unprivileged")}, &output), 0);
        QCOMPARE(output, QByteArray("3\n"));
        QCOMPARE(fileHash(file), before);
    }

    void damagedFilesAreNeverWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text file") << "text";
        QTest::newRow("truncated store") << "truncated";
        QTest::newRow("truncated store of an older model") << "truncated-old"; // would need migrating
        QTest::newRow("foreign database") << "foreign";
        QTest::newRow("other model") << "other-model";
    }

    void damagedFilesAreNeverWritten()
    {
        QFETCH(QString, kind);
        const QString file = path(QStringLiteral("damaged-%1.sqlite").arg(kind));
        if (kind.startsWith(QLatin1String("truncated"))) {
            makeStore(file, 2000, kind == QLatin1String("truncated-old") ? 1 : 2);
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.resize(f.size() / 3));
        } else if (kind == QLatin1String("foreign")) {
            sqlite3 *db = nullptr;
            QVERIFY(sqlite3_open(QFile::encodeName(file).constData(), &db) == SQLITE_OK
                    && sqlite3_exec(db, "CREATE TABLE recipes (name TEXT);", nullptr, nullptr, nullptr) == SQLITE_OK);
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
        QVERIFY(!context.open(file, &error) && !error.isEmpty());
        QCOMPARE(context.count(kNote), 0);
        // Nor is anything created over it.
        QVERIFY(!context.create(file));
        QCOMPARE(fileHash(file), before);
        QVERIFY(!QFile::exists(file + QStringLiteral("-journal")));
    }
};

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
