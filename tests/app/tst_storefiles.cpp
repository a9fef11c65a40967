// The store files: folder, migration chain of older names, opening or first
// creating the store, reopening after a sync, rotating backups.

#include "AppDelegate.h"
#include "Defaults.h"
#include "ListFiles.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "SingleInstance.h"
#include "TestSupport.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QDir>
#include <QPointer>
#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <sqlite3.h>

namespace {

const QString kStore = QStringLiteral("corvane_2_8.sqlite");
const QString kBackupKey = QStringLiteral("_currentBackupNumber");

bool writeStore(const QString &path, const QString &listName, int count = 1)
{
    ManagedObjectContext context(todoListModel());
    for (int i = 0; i < count; ++i)
        context.insert(QStringLiteral("TODOList"))->setValue(QStringLiteral("name"), listName);
    return context.create(path);
}

QStringList listNames(const ManagedObjectContext *context)
{
    QStringList names;
    for (const ManagedObject *list : context ? context->fetch(QStringLiteral("TODOList")) : QList<ManagedObject *>())
        names << list->stringValue(QStringLiteral("name"));
    names.removeDuplicates();
    return context ? names : QStringList{QStringLiteral("<nothing opened>")};
}

// Leaves at `path` what a crash in the middle of a save of `source` leaves:
// some pages of an unfinished change in the file, the older pages in its hot journal.
bool copyMidSave(const QString &source, const QString &path)
{
    sqlite3 *db = nullptr;
    bool copied = sqlite3_open(QFile::encodeName(source).constData(), &db) == SQLITE_OK
        && sqlite3_exec(db, "PRAGMA cache_size=10; BEGIN; UPDATE TODOList SET name = 'half-saved';", nullptr, nullptr, nullptr)
            == SQLITE_OK
        && QFile::copy(source, path) && QFile::copy(source + QStringLiteral("-journal"), path + QStringLiteral("-journal"));
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return copied;
}

} // namespace

class tst_StoreFiles : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_base = m_tmp->filePath(QStringLiteral("data"));
        AppDelegate::setDataLocationForTesting(m_base);
        Defaults::useFileForTesting(m_tmp->filePath(QStringLiteral("defaults.ini")));
    }

    void cleanup()
    {
        AppDelegate::resetDataLocationForTesting();
        m_tmp.reset();
    }

    void unusableFolder_data()
    {
        QTest::addColumn<bool>("belowAFile");
        QTest::newRow("base below a regular file") << true;
        QTest::newRow("no base") << false;
    }

    void unusableFolder()
    {
        QFETCH(bool, belowAFile);
        QVERIFY(writeBytes(m_tmp->filePath(QStringLiteral("plain")), "not a folder"));
        m_base = belowAFile ? m_tmp->filePath(QStringLiteral("plain/data")) : QString();
        AppDelegate::setDataLocationForTesting(m_base);

        LogCapture log;
        AppDelegate delegate;
        QVERIFY(!delegate.reloadFile() && !delegate.document() && !delegate.lastError().isEmpty());
        // No backup takes place and the slot number stays where it was.
        delegate.backupCurrentStore();
        QVERIFY(!Defaults::standard().contains(kBackupKey));
    }

    // Launches over the files of earlier versions, or over a store that cannot be
    // opened. Files are named relative to the store folder, separated by spaces.
    void launch_data()
    {
        QTest::addColumn<QString>("present");  // made first, each a store with one list named after it, or name:kind
        QTest::addColumn<QString>("opened");   // the file whose list the document shows; "" when nothing opens
        QTest::addColumn<QString>("files");    // the whole folder afterwards
        QTest::addColumn<QString>("copies");   // copy<source: the bytes of the original source
        QTest::addColumn<bool>("settled");     // a second launch finds the same

        QTest::newRow("only the unversioned name") << "corvane.sqlite" << "corvane.sqlite"
            << "corvane_2_3.sqlite.bck corvane_2_4.sqlite.bck corvane_2_5.sqlite.bck corvane_2_6.sqlite.bck corvane_2_7.sqlite.bck corvane_2_8.sqlite"
            << "corvane_2_3.sqlite.bck<corvane.sqlite corvane_2_7.sqlite.bck<corvane.sqlite corvane_2_8.sqlite<corvane.sqlite" << true;
        // The chain stops where a newer name is taken and picks up after it. The
        // 2_5 file left behind moves on at the next launch, once 2_6 is free.
        QTest::newRow("unversioned name and 2_6") << "corvane.sqlite corvane_2_6.sqlite" << "corvane_2_6.sqlite"
            << "corvane_2_3.sqlite.bck corvane_2_4.sqlite.bck corvane_2_5.sqlite corvane_2_6.sqlite.bck corvane_2_7.sqlite.bck corvane_2_8.sqlite"
            << "corvane_2_5.sqlite<corvane.sqlite corvane_2_6.sqlite.bck<corvane_2_6.sqlite" << false;
        QTest::newRow("backup name taken by a folder") << "corvane_2_6.sqlite corvane_2_6.sqlite.bck:folder" << "corvane_2_6.sqlite"
            << "corvane_2_6.sqlite.bck corvane_2_7.sqlite.bck corvane_2_8.sqlite" << "corvane_2_8.sqlite<corvane_2_6.sqlite" << true;
        // The journal is rolled back first: the copy holds the last save, whole.
        QTest::newRow("older file with a hot journal") << "corvane_2_6.sqlite:mid-save" << "corvane_2_6.sqlite"
            << "corvane_2_6.sqlite.bck corvane_2_7.sqlite.bck corvane_2_8.sqlite" << "" << false;
        // A new store would hide the older file that could not be carried forward.
        QTest::newRow("next name cannot be written") << "corvane_2_6.sqlite corvane_2_7.sqlite:dangling" << ""
            << "corvane_2_6.sqlite corvane_2_6.sqlite.bck corvane_2_7.sqlite" << "corvane_2_6.sqlite<corvane_2_6.sqlite" << true;
        QTest::newRow("garbage under the current name") << "corvane_2_8.sqlite:garbage" << "" << "corvane_2_8.sqlite"
                                                        << "corvane_2_8.sqlite<corvane_2_8.sqlite" << false;
        QTest::newRow("store held by another Corvane") << "corvane_2_8.sqlite:held" << ""
            << "corvane_2_8.sqlite corvane_2_8.sqlite.lock" << "corvane_2_8.sqlite<corvane_2_8.sqlite" << false;
    }

    void launch()
    {
        QFETCH(QString, present);
        QFETCH(QString, opened);
        QFETCH(QString, files);
        QFETCH(QString, copies);
        QFETCH(bool, settled);

        QVERIFY(QDir().mkpath(folder()));
        ManagedObjectContext holder(todoListModel());
        QHash<QString, QByteArray> original;
        for (const QString &entry : present.split(u' ')) {
            const QString name = entry.section(u':', 0, 0), kind = entry.section(u':', 1), file = inFolder(name);
            const QString scratch = m_tmp->filePath(QStringLiteral("scratch.sqlite"));
            if (kind == QLatin1String("folder"))
                QVERIFY(QDir().mkpath(file));
            else if (kind == QLatin1String("dangling")) // the name is free, yet nothing can be written through it, not even by root
                QVERIFY(QFile::link(m_tmp->filePath(QStringLiteral("missing/target")), file));
            else if (kind == QLatin1String("garbage"))
                QVERIFY(writeBytes(file, "This is no store, only some words of text.\n"));
            else if (kind == QLatin1String("mid-save"))
                QVERIFY(writeStore(scratch, QStringLiteral("list from ") + name, 2000) && copyMidSave(scratch, file));
            else
                QVERIFY(writeStore(file, QStringLiteral("list from ") + name));
            QVERIFY(kind != QLatin1String("held") || holder.open(file));
            original.insert(name, readBytes(file));
        }
        LogCapture log;
        for (int launch = 0; launch < (settled ? 2 : 1); ++launch) {
            {
                AppDelegate delegate;
                QCOMPARE(delegate.reloadFile(), !opened.isEmpty());
                QCOMPARE(delegate.lastError().isEmpty(), !opened.isEmpty());
                QCOMPARE(listNames(delegate.document() ? delegate.document()->managedObjectContext() : nullptr),
                         QStringList{opened.isEmpty() ? QStringLiteral("<nothing opened>") : QStringLiteral("list from ") + opened});
            }
            QCOMPARE(folderEntries(folder()), files.split(u' '));
        }
        for (const QString &pair : copies.split(u' ', Qt::SkipEmptyParts))
            QVERIFY2(readBytes(inFolder(pair.section(u'<', 0, 0))) == original.value(pair.section(u'<', 1, 1)), qPrintable(pair));
    }

    void failedCreationKeepsTheNewDocument()
    {
        // A folder where the store's lock file goes: the new store cannot be made, not even by root.
        QVERIFY(QDir().mkpath(inFolder(kStore + QStringLiteral(".lock"))));

        LogCapture log;
        AppDelegate delegate;
        QVERIFY(!delegate.reloadFile() && !delegate.lastError().isEmpty());
        // The application keeps the new, empty document all the same.
        QVERIFY(delegate.document() && !delegate.document()->managedObjectContext()->hasStore());
        QCOMPARE(folderEntries(folder()), QStringList{kStore + QStringLiteral(".lock")});
    }

    // What a sync does: merge a reply (here an import) into the open document,
    // which stays (what it keeps is checked through the presenter).
    void mergeKeepsTheDocument()
    {
        AppDelegate delegate;
        QVERIFY(delegate.reloadFile());
        QPointer<MyDocument> first = delegate.document();
        TODOList *list = first->addNewProjectWithName(QStringLiteral("Merged"));
        const QString file = m_tmp->filePath(QStringLiteral("shared.corvx"));
        QVERIFY(ListFiles(*first).exportToFile(file, {list}));
        QVERIFY(ListFiles(*first).importURL(file));
        QVERIFY2(delegate.reloadFile(), qPrintable(delegate.lastError()));
        QCOMPARE(delegate.document(), first.data());
        QCOMPARE(first->getAllProjects().size(), 2);

        // The backup taken while the store is open is a store.
        StoreFiles::backupCurrentStore();
        ManagedObjectContext backup(todoListModel());
        QVERIFY(backup.open(slotPath(0)));
        QCOMPARE(backup.count(TODOList::EntityName), 2);
    }

    // A second start of the application on the same store hands its link to
    // the running one and ends without opening, or creating, the store.
    void secondStartHandsOverItsLink()
    {
        const QString store = StoreFiles::pathForDataFile();
        SingleInstance running(store);
        QCOMPARE(running.claim({}), SingleInstance::Role::Primary);
        QSignalSpy received(&running, &SingleInstance::messageReceived);
        QProcess second;
        second.setProcessEnvironment(applicationEnvironment());
        const QString link = QStringLiteral("corvane://sync.example.com/api/v1/project/12");
        second.start(QStringLiteral(CORVANE_PATH), {link});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(received.size(), 1);
        QCOMPARE(received[0][0].toString(), link);
        QVERIFY(!QFileInfo::exists(store));
    }

    // Logging out (SIGTERM) or Ctrl+C in a terminal (SIGINT) quits as the Quit
    // command does, and what was changed since the last save is saved.
    void terminationSignalSavesTheStore_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void terminationSignalSavesTheStore()
    {
        QFETCH(int, signal);
        QSettings settings(m_tmp->filePath(QStringLiteral("config/Nuvalto/Corvane.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("makerWebHost"), QStringLiteral("127.0.0.1:1")); // pings go nowhere
        settings.setValue(QStringLiteral("kFirstTimeRunning"), QStringLiteral("NO"));
        settings.setValue(QStringLiteral("cv-login"), QStringLiteral("ann@example.com")); // no invitation, which saves
        settings.sync();

        // The first run's list is made once the window is set up, and saved
        // by the autosave seconds later: the signal comes before.
        QProcess application;
        QProcessEnvironment environment = applicationEnvironment();
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("corvane.document.info=true"));
        application.setProcessEnvironment(environment);
        application.start(QStringLiteral(CORVANE_PATH));
        QByteArray log;
        QTRY_VERIFY2_WITH_TIMEOUT((log += application.readAllStandardError()).contains("Marked TODOList 'My Project'"),
                                  log.constData(), 30000);
        QVERIFY(!log.contains("Saving"));
        QCOMPARE(::kill(pid_t(application.processId()), signal), 0);
        QVERIFY(application.waitForFinished(30000));
        QCOMPARE(application.exitStatus(), QProcess::NormalExit);
        QCOMPARE(application.exitCode(), 0);

        ManagedObjectContext store(todoListModel());
        QVERIFY(store.open(inFolder(kStore)));
        QCOMPARE(listNames(&store), QStringList{QStringLiteral("My Project")});
    }

    void backupGoesToTheCurrentSlot_data()
    {
        QTest::addColumn<int>("number");  // -1: no number stored yet
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("next");
        QTest::addColumn<bool>("storeExists");
        QTest::newRow("first backup") << -1 << 0 << 1 << true;
        QTest::newRow("replaces an existing slot") << 3 << 3 << 4 << true;
        QTest::newRow("last slot, then the first again") << 9 << 9 << 0 << true;
        QTest::newRow("stray number stays in range") << 12 << 2 << 3 << true;
        QTest::newRow("no store file still advances") << 5 << 5 << 6 << false;
    }

    void backupGoesToTheCurrentSlot()
    {
        QFETCH(int, number);
        QFETCH(int, slot);
        QFETCH(int, next);
        QFETCH(bool, storeExists);

        QVERIFY(QDir().mkpath(folder()));
        if (storeExists)
            QVERIFY(writeBytes(inFolder(kStore), "fresh"));
        QVERIFY(writeBytes(slotPath(3), "a stale backup that is longer than the store"));
        if (number >= 0)
            Defaults::standard().setValue(kBackupKey, number);

        LogCapture log;
        StoreFiles::backupCurrentStore();
        QCOMPARE(readBytes(slotPath(slot)), storeExists ? QByteArray("fresh") : QByteArray());
        QCOMPARE(Defaults::standard().intValue(kBackupKey, -1), next);
        QCOMPARE(folderEntries(folder()).filter(QStringLiteral("backup")).size(), slot == 3 || !storeExists ? 1 : 2);
    }

private:
    // The application started as a user would, on the temporary folders.
    QProcessEnvironment applicationEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), m_base);
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_tmp->filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }
    QString folder() const { return m_base + QStringLiteral("/Nuvalto/Corvane/"); }
    QString inFolder(const QString &name) const { return folder() + name; }
    QString slotPath(int slot) const { return folder() + QStringLiteral("/backup%1_corvane_2_8.sqlite").arg(slot); }

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_base;
};

QTEST_GUILESS_MAIN(tst_StoreFiles)
#include "tst_storefiles.moc"
