#include "AppDelegate.h"
#include "Defaults.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "StoreFiles.h"
#include "TodoModel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <unistd.h>

namespace {

const QString kStore = QStringLiteral("corvane_2_8.sqlite");
const QString kBackupKey = QStringLiteral("_currentBackupNumber");

// Collects what the application shell logs, passing every message on.
class LogCapture
{
public:
    // A new capture starts empty; a nested one takes over the lines of the outer.
    LogCapture()
    {
        s_lines.clear();
        m_restore = qInstallMessageHandler(&LogCapture::handle);
        if (m_restore != &LogCapture::handle)
            s_previous = m_restore;
    }
    ~LogCapture() { qInstallMessageHandler(m_restore); }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Lines of the application shell's category, in order.
    QStringList lines() const { return linesStartingWith(QString()); }
    bool contains(const QString &text) const { return lines().contains(text); }
    bool containsPrefix(const QString &prefix) const { return !linesStartingWith(prefix).isEmpty(); }
    bool isWarning(const QString &text) const
    {
        for (const Line &line : s_lines)
            if (line.text == text)
                return line.type == QtWarningMsg;
        return false;
    }
    QStringList linesStartingWith(const QString &prefix) const
    {
        QStringList out;
        for (const Line &line : s_lines)
            if (line.text.startsWith(prefix))
                out << line.text;
        return out;
    }

private:
    struct Line {
        QtMsgType type;
        QString text;
    };

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (context.category && qstrcmp(context.category, "corvane.app") == 0)
            s_lines.append({type, message});
        if (s_previous)
            s_previous(type, context, message);
    }

    QtMessageHandler m_restore = nullptr;
    static inline QList<Line> s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

// Makes a real store at path holding one list of that name.
bool writeStore(const QString &path, const QString &listName)
{
    ManagedObjectContext context(todoListModel());
    ManagedObject *list = context.insert(QStringLiteral("TODOList"));
    list->setValue(QStringLiteral("name"), listName);
    QString error;
    if (!context.create(path, &error)) {
        qWarning() << "could not write store" << path << error;
        return false;
    }
    context.close();
    return true;
}

// The store context of the delegate's document; nullptr when none is open.
ManagedObjectContext *contextOf(const AppDelegate &delegate)
{
    return delegate.document() ? delegate.document()->managedObjectContext() : nullptr;
}

QStringList listNames(const ManagedObjectContext *context)
{
    if (!context)
        return {QStringLiteral("<no document>")};
    QStringList names;
    for (const ManagedObject *list : context->fetch(QStringLiteral("TODOList")))
        names << list->stringValue(QStringLiteral("name"));
    names.sort();
    return names;
}

// Names of the lists in the store file at path; "<unreadable>" when it does not open.
QStringList listNamesInFile(const QString &path)
{
    ManagedObjectContext context(todoListModel());
    QString error;
    if (!context.open(path, &error))
        return {QStringLiteral("<unreadable: %1>").arg(error)};
    const QStringList names = listNames(&context);
    context.close();
    return names;
}

QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

class tst_StoreFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void folderIsCreatedUnderTheBase();
    void unusableFolder_data();
    void unusableFolder();

    void migrationChain_data();
    void migrationChain();
    void migrationStepLogsEachFileOperation();
    void migrationCopyFailures_data();
    void migrationCopyFailures();

    void firstLaunch_data();
    void firstLaunch();
    void unopenableStoreIsKept_data();
    void unopenableStoreIsKept();
    void reloadAfterSyncRereadsTheFile();
    void openStoreCreatesThenReopens();
    void failedCreationKeepsTheNewDocument();

    void backupGoesToTheCurrentSlot_data();
    void backupGoesToTheCurrentSlot();
    void backupsRotateThroughTenSlots();
    void failedBackupStillAdvances_data();
    void failedBackupStillAdvances();
    void backupOfTheOpenStoreIsAStore();

private:
    QString folder() const { return m_base + QStringLiteral("/Nuvalto/Corvane/"); }
    QString inFolder(const QString &name) const { return folder() + name; }
    QString slotPath(int slot) const
    {
        return folder() + QStringLiteral("/backup%1_corvane_2_8.sqlite").arg(slot);
    }

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_base;
};

void tst_StoreFiles::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_base = m_tmp->filePath(QStringLiteral("data"));
    AppDelegate::setDataLocationForTesting(m_base);
    Defaults::useFileForTesting(m_tmp->filePath(QStringLiteral("defaults.ini")));
}

void tst_StoreFiles::cleanup()
{
    AppDelegate::resetDataLocationForTesting();
    // Directories made read-only by a test must be removable again.
    QFile::setPermissions(m_base, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_tmp.reset();
}

void tst_StoreFiles::folderIsCreatedUnderTheBase()
{
    QVERIFY(!QFileInfo::exists(folder()));
    const QString path = AppDelegate::pathForFolder();
    QCOMPARE(path, m_base + QStringLiteral("/Nuvalto/Corvane/"));
    QVERIFY(QFileInfo(path).isDir());

    AppDelegate delegate;
    QCOMPARE(delegate.pathForDataFile(), path + kStore);

    // The path follows the base on every call.
    const QString otherBase = m_tmp->filePath(QStringLiteral("other"));
    AppDelegate::setDataLocationForTesting(otherBase);
    QCOMPARE(AppDelegate::pathForFolder(), otherBase + QStringLiteral("/Nuvalto/Corvane/"));
    QVERIFY(QFileInfo(otherBase + QStringLiteral("/Nuvalto/Corvane")).isDir());
}

void tst_StoreFiles::unusableFolder_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("base below a regular file") << QStringLiteral("file");
    QTest::newRow("no base") << QStringLiteral("empty");
    QTest::newRow("read-only base") << QStringLiteral("readonly");
}

void tst_StoreFiles::unusableFolder()
{
    QFETCH(QString, kind);
    if (kind == QLatin1String("file")) {
        const QString plain = m_tmp->filePath(QStringLiteral("plain"));
        QVERIFY(writeBytes(plain, "not a folder"));
        m_base = plain + QStringLiteral("/data");
    } else if (kind == QLatin1String("empty")) {
        m_base = QString();
    } else {
        if (::geteuid() == 0)
            QSKIP("Permissions do not stop root");
        QVERIFY(QDir().mkpath(m_base));
        QVERIFY(QFile::setPermissions(m_base, QFile::ReadOwner | QFile::ExeOwner));
    }
    AppDelegate::setDataLocationForTesting(m_base);
    const QString expectedLine = QStringLiteral("Error when creating directory %1").arg(folder());

    LogCapture log;
    QCOMPARE(AppDelegate::pathForFolder(), QString());
    QVERIFY2(log.contains(expectedLine), qPrintable(log.lines().join(u'\n')));
    QVERIFY(log.isWarning(expectedLine));

    AppDelegate delegate;
    QCOMPARE(delegate.pathForDataFile(), QString());
    QVERIFY(!delegate.reloadFile());
    QVERIFY(delegate.document() == nullptr);
    QVERIFY(!delegate.lastError().isEmpty());
    QVERIFY(log.containsPrefix(QStringLiteral("Error when opening document, ")));

    // No backup takes place and the slot number stays where it was.
    delegate.backupCurrentStore();
    QVERIFY(!Defaults::standard().contains(kBackupKey));
    QVERIFY(!QFileInfo::exists(folder()));
}

void tst_StoreFiles::migrationChain_data()
{
    QTest::addColumn<QStringList>("present");        // store files made first, one list named after each
    QTest::addColumn<QString>("opened");             // file whose list the document shows
    QTest::addColumn<QStringList>("expectedFiles");  // the whole folder afterwards
    QTest::addColumn<QStringList>("copies");         // "copy<source" pairs: bytes of the original source
    QTest::addColumn<QStringList>("migrated");       // older names carried forward, in order
    QTest::addColumn<bool>("settled");               // a second launch moves nothing

    QTest::newRow("only the unversioned name")
        << QStringList{"corvane.sqlite"} << "corvane.sqlite"
        << QStringList{"corvane_2_3.sqlite.bck", "corvane_2_4.sqlite.bck", "corvane_2_5.sqlite.bck",
                       "corvane_2_6.sqlite.bck", "corvane_2_7.sqlite.bck", "corvane_2_8.sqlite"}
        << QStringList{"corvane_2_3.sqlite.bck<corvane.sqlite", "corvane_2_4.sqlite.bck<corvane.sqlite",
                       "corvane_2_5.sqlite.bck<corvane.sqlite", "corvane_2_6.sqlite.bck<corvane.sqlite",
                       "corvane_2_7.sqlite.bck<corvane.sqlite"}
        << QStringList{"corvane.sqlite", "corvane_2_4.sqlite", "corvane_2_5.sqlite", "corvane_2_6.sqlite",
                       "corvane_2_7.sqlite"}
        << true;

    QTest::newRow("only 2_5")
        << QStringList{"corvane_2_5.sqlite"} << "corvane_2_5.sqlite"
        << QStringList{"corvane_2_5.sqlite.bck", "corvane_2_6.sqlite.bck", "corvane_2_7.sqlite.bck",
                       "corvane_2_8.sqlite"}
        << QStringList{"corvane_2_5.sqlite.bck<corvane_2_5.sqlite", "corvane_2_6.sqlite.bck<corvane_2_5.sqlite",
                       "corvane_2_7.sqlite.bck<corvane_2_5.sqlite"}
        << QStringList{"corvane_2_5.sqlite", "corvane_2_6.sqlite", "corvane_2_7.sqlite"} << true;

    QTest::newRow("only 2_7")
        << QStringList{"corvane_2_7.sqlite"} << "corvane_2_7.sqlite"
        << QStringList{"corvane_2_7.sqlite.bck", "corvane_2_8.sqlite"}
        << QStringList{"corvane_2_7.sqlite.bck<corvane_2_7.sqlite"}
        << QStringList{"corvane_2_7.sqlite"} << true;

    QTest::newRow("2_7 and 2_8")
        << QStringList{"corvane_2_7.sqlite", "corvane_2_8.sqlite"} << "corvane_2_8.sqlite"
        << QStringList{"corvane_2_7.sqlite", "corvane_2_8.sqlite"}
        << QStringList{"corvane_2_7.sqlite<corvane_2_7.sqlite"}
        << QStringList{} << true;

    QTest::newRow("only the current name")
        << QStringList{"corvane_2_8.sqlite"} << "corvane_2_8.sqlite"
        << QStringList{"corvane_2_8.sqlite"} << QStringList{} << QStringList{} << true;

    // The chain stops where a newer name is taken and picks up after it. The
    // 2_5 file left behind moves on at the next launch, once 2_6 is free.
    QTest::newRow("unversioned name and 2_6")
        << QStringList{"corvane.sqlite", "corvane_2_6.sqlite"} << "corvane_2_6.sqlite"
        << QStringList{"corvane_2_3.sqlite.bck", "corvane_2_4.sqlite.bck", "corvane_2_5.sqlite",
                       "corvane_2_6.sqlite.bck", "corvane_2_7.sqlite.bck", "corvane_2_8.sqlite"}
        << QStringList{"corvane_2_3.sqlite.bck<corvane.sqlite", "corvane_2_4.sqlite.bck<corvane.sqlite",
                       "corvane_2_5.sqlite<corvane.sqlite", "corvane_2_6.sqlite.bck<corvane_2_6.sqlite",
                       "corvane_2_7.sqlite.bck<corvane_2_6.sqlite"}
        << QStringList{"corvane.sqlite", "corvane_2_4.sqlite", "corvane_2_6.sqlite", "corvane_2_7.sqlite"}
        << false;
}

void tst_StoreFiles::migrationChain()
{
    QFETCH(QStringList, present);
    QFETCH(QString, opened);
    QFETCH(QStringList, expectedFiles);
    QFETCH(QStringList, copies);
    QFETCH(QStringList, migrated);
    QFETCH(bool, settled);

    QVERIFY(QDir().mkpath(folder()));
    QHash<QString, QByteArray> original;
    for (const QString &name : present) {
        QVERIFY(writeStore(inFolder(name), QStringLiteral("list from ") + name));
        original.insert(name, readBytes(inFolder(name)));
        QVERIFY(!original.value(name).isEmpty());
    }

    LogCapture log;
    {
        AppDelegate delegate;
        QVERIFY2(delegate.reloadFile(), qPrintable(delegate.lastError()));
        QVERIFY(delegate.document() != nullptr);
        QCOMPARE(contextOf(delegate)->storePath(), inFolder(kStore));
        QCOMPARE(listNames(contextOf(delegate)), QStringList{QStringLiteral("list from ") + opened});
    }

    QCOMPARE(entries(folder()), expectedFiles);
    for (const QString &pair : copies) {
        const QString copy = pair.section(u'<', 0, 0);
        const QString source = pair.section(u'<', 1, 1);
        QVERIFY2(readBytes(inFolder(copy)) == original.value(source), qPrintable(copy));
    }

    QStringList expectedMigrating;
    for (const QString &name : migrated)
        expectedMigrating << QStringLiteral("We are migrating since %1 exists").arg(inFolder(name));
    QCOMPARE(log.linesStartingWith(QStringLiteral("We are migrating since ")), expectedMigrating);
    if (migrated.isEmpty()) {
        QVERIFY(!log.containsPrefix(QStringLiteral("Copying ")));
        QVERIFY(!log.containsPrefix(QStringLiteral("Removing ")));
    }
    QVERIFY(log.contains(QStringLiteral("File name for nsdocument: %1").arg(inFolder(kStore))));

    if (!settled)
        return;
    // A second launch finds everything in place and moves nothing.
    LogCapture again;
    {
        AppDelegate delegate;
        QVERIFY(delegate.reloadFile());
        QCOMPARE(listNames(contextOf(delegate)), QStringList{QStringLiteral("list from ") + opened});
    }
    QVERIFY(!again.containsPrefix(QStringLiteral("We are migrating since ")));
    QCOMPARE(entries(folder()), expectedFiles);
}

void tst_StoreFiles::migrationStepLogsEachFileOperation()
{
    QVERIFY(QDir().mkpath(folder()));
    QVERIFY(writeStore(inFolder(QStringLiteral("corvane_2_7.sqlite")), QStringLiteral("older")));

    LogCapture log;
    AppDelegate delegate;
    QVERIFY(delegate.reloadFile());

    const QString older = inFolder(QStringLiteral("corvane_2_7.sqlite"));
    const QStringList expected{
        QStringLiteral("We are migrating since %1 exists").arg(older),
        QStringLiteral("Copying %1 to %2").arg(older, inFolder(QStringLiteral("corvane_2_7.sqlite.bck"))),
        QStringLiteral("Copying %1 to %2").arg(older, inFolder(kStore)),
        QStringLiteral("Removing %1").arg(older),
        QStringLiteral("File name for nsdocument: %1").arg(inFolder(kStore)),
    };
    QCOMPARE(log.lines(), expected);
}

void tst_StoreFiles::migrationCopyFailures_data()
{
    QTest::addColumn<bool>("backupBlocked");
    QTest::addColumn<bool>("newerBlocked");

    QTest::newRow("both copies succeed") << false << false;
    QTest::newRow("backup name is a folder") << true << false;
    QTest::newRow("newer name cannot be written") << false << true;
    QTest::newRow("neither can be written") << true << true;
}

void tst_StoreFiles::migrationCopyFailures()
{
    QFETCH(bool, backupBlocked);
    QFETCH(bool, newerBlocked);

    QVERIFY(QDir().mkpath(folder()));
    const QString older = inFolder(QStringLiteral("corvane_2_5.sqlite"));
    const QString newer = inFolder(QStringLiteral("corvane_2_6.sqlite"));
    const QString backup = inFolder(QStringLiteral("corvane_2_5.sqlite.bck"));
    QVERIFY(writeStore(older, QStringLiteral("precious")));
    const QByteArray bytes = readBytes(older);

    if (backupBlocked)
        QVERIFY(QDir().mkpath(backup));
    // A dangling link leaves the name free, yet nothing can be written through it,
    // not even by root.
    if (newerBlocked)
        QVERIFY(QFile::link(m_tmp->filePath(QStringLiteral("missing/target")), newer));

    LogCapture log;
    AppDelegate delegate;
    delegate.migrateIfNeeded(QStringLiteral("corvane_2_5.sqlite"), QStringLiteral("corvane_2_6.sqlite"),
                             QStringLiteral("corvane_2_5.sqlite.bck"));

    QVERIFY(log.contains(QStringLiteral("We are migrating since %1 exists").arg(older)));
    QCOMPARE(log.contains(QStringLiteral("Error copying %1 to %2").arg(older, backup)), backupBlocked);
    QCOMPARE(log.contains(QStringLiteral("Error copying %1 to %2").arg(older, newer)), newerBlocked);
    QCOMPARE(log.linesStartingWith(QStringLiteral("Error message: ")).size(), int(backupBlocked) + int(newerBlocked));

    if (!backupBlocked)
        QCOMPARE(readBytes(backup), bytes);
    if (newerBlocked) {
        // No copy under the newer name: the older file stays, byte for byte.
        QVERIFY(QFileInfo::exists(older));
        QCOMPARE(readBytes(older), bytes);
        QVERIFY(!log.contains(QStringLiteral("Removing %1").arg(older)));
    } else {
        QVERIFY(!QFileInfo::exists(older));
        QCOMPARE(readBytes(newer), bytes);
        QVERIFY(log.contains(QStringLiteral("Removing %1").arg(older)));
    }
}

void tst_StoreFiles::firstLaunch_data()
{
    QTest::addColumn<bool>("folderExists");
    QTest::newRow("missing folder") << false;
    QTest::newRow("empty folder") << true;
}

void tst_StoreFiles::firstLaunch()
{
    QFETCH(bool, folderExists);
    if (folderExists)
        QVERIFY(QDir().mkpath(folder()));

    {
        LogCapture log;
        AppDelegate delegate;
        QSignalSpy changed(&delegate, &AppDelegate::documentChanged);
        QVERIFY2(delegate.reloadFile(), qPrintable(delegate.lastError()));
        QVERIFY(delegate.document() != nullptr);
        ManagedObjectContext *document = delegate.document()->managedObjectContext();
        QVERIFY(document != nullptr);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(document->storePath(), inFolder(kStore));
        QVERIFY(document->hasStore());
        QCOMPARE(document->count(QStringLiteral("TODOList")), 0);
        QCOMPARE(document->count(QStringLiteral("TODOItem")), 0);
        QVERIFY(log.contains(QStringLiteral("File name for nsdocument: %1").arg(inFolder(kStore))));
        QVERIFY(!log.containsPrefix(QStringLiteral("Error")));

        // The new store is on disk already, before anything is saved.
        QCOMPARE(entries(folder()).filter(QRegularExpression(QStringLiteral("\\.sqlite$"))), QStringList{kStore});

        ManagedObject *list = document->insert(QStringLiteral("TODOList"));
        list->setValue(QStringLiteral("name"), QStringLiteral("Groceries"));
        QString error;
        QVERIFY2(document->save(&error), qPrintable(error));
    }

    // The next launch opens the same file instead of making another.
    AppDelegate delegate;
    QVERIFY(delegate.reloadFile());
    QCOMPARE(listNames(contextOf(delegate)), QStringList{QStringLiteral("Groceries")});
}

void tst_StoreFiles::unopenableStoreIsKept_data()
{
    QTest::addColumn<bool>("held");
    QTest::newRow("garbage file") << false;
    QTest::newRow("held by another context") << true;
}

void tst_StoreFiles::unopenableStoreIsKept()
{
    QFETCH(bool, held);
    QVERIFY(QDir().mkpath(folder()));
    if (held)
        QVERIFY(writeStore(inFolder(kStore), QStringLiteral("held")));
    else
        QVERIFY(writeBytes(inFolder(kStore), QByteArray("This is no store, only some words of text.\n").repeated(200)));
    const QByteArray bytes = readBytes(inFolder(kStore));

    // Another context keeps the store open, as another Corvane would.
    ManagedObjectContext holder(todoListModel());
    QString error;
    if (held)
        QVERIFY2(holder.open(inFolder(kStore), &error), qPrintable(error));

    LogCapture log;
    {
        AppDelegate delegate;
        QVERIFY(!delegate.reloadFile());
        QVERIFY(delegate.document() == nullptr);
        QVERIFY(!delegate.lastError().isEmpty());
        QVERIFY(log.contains(QStringLiteral("Error when opening document, %1").arg(delegate.lastError())));
        QVERIFY(!log.containsPrefix(QStringLiteral("Error saving the initial document")));
    }
    // Never replaced by a new store.
    QCOMPARE(readBytes(inFolder(kStore)), bytes);
    if (!held) {
        QCOMPARE(entries(folder()), QStringList{kStore});
        return;
    }

    // Once it is free, the store opens with its contents.
    holder.close();
    AppDelegate delegate;
    QVERIFY2(delegate.reloadFile(), qPrintable(delegate.lastError()));
    QCOMPARE(listNames(contextOf(delegate)), QStringList{QStringLiteral("held")});
}

void tst_StoreFiles::reloadAfterSyncRereadsTheFile()
{
    AppDelegate delegate;
    QVERIFY(delegate.reloadFile());
    QPointer<MyDocument> firstDocument = delegate.document();
    QVERIFY(firstDocument);
    QPointer<ManagedObjectContext> first = firstDocument->managedObjectContext();
    QVERIFY(first);

    ManagedObject *list = first->insert(QStringLiteral("TODOList"));
    list->setValue(QStringLiteral("name"), QStringLiteral("Merged from the server"));

    QSignalSpy changed(&delegate, &AppDelegate::documentChanged);
    QVERIFY2(delegate.reloadFile(), qPrintable(delegate.lastError()));
    QCOMPARE(changed.count(), 1);
    MyDocument *secondDocument = delegate.document();
    QVERIFY(secondDocument != nullptr);
    QVERIFY(secondDocument != firstDocument.data());
    QCOMPARE(changed.first().first().value<MyDocument *>(), secondDocument);
    ManagedObjectContext *second = secondDocument->managedObjectContext();
    QVERIFY(second != first.data());
    QVERIFY(second->hasStore());
    QVERIFY(!first->hasStore());
    // The change was written before the file was read again.
    QCOMPARE(listNames(second), QStringList{QStringLiteral("Merged from the server")});
    // The new document works on the reread records.
    QCOMPARE(secondDocument->getAllProjects().size(), 1);

    // The replaced document, and its context with it, goes with the next turn of the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(firstDocument.isNull());
    QVERIFY(first.isNull());
    QCOMPARE(delegate.document(), secondDocument);
}

void tst_StoreFiles::openStoreCreatesThenReopens()
{
    {
        LogCapture log;
        QString error = QStringLiteral("stale");
        bool created = false;
        std::unique_ptr<ManagedObjectContext> context = StoreFiles::openStore(&error, &created);
        QVERIFY(context != nullptr);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(created);
        QVERIFY(context->hasStore());
        QCOMPARE(context->storePath(), inFolder(kStore));
        QVERIFY(QFileInfo(inFolder(kStore)).isFile());
        QVERIFY(log.contains(QStringLiteral("File name for nsdocument: %1").arg(inFolder(kStore))));

        ManagedObject *list = context->insert(QStringLiteral("TODOList"));
        list->setValue(QStringLiteral("name"), QStringLiteral("Kept"));
        QVERIFY2(context->save(&error), qPrintable(error));

        // While it is open, nobody else gets the store, and nothing is made instead.
        QString busy;
        bool createdAgain = true;
        QVERIFY(StoreFiles::openStore(&busy, &createdAgain) == nullptr);
        QVERIFY(!busy.isEmpty());
        QVERIFY(!createdAgain);
        QVERIFY(log.contains(QStringLiteral("Error when opening document, %1").arg(busy)));
    }

    QString error;
    bool created = true;
    std::unique_ptr<ManagedObjectContext> context = StoreFiles::openStore(&error, &created);
    QVERIFY(context != nullptr);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!created);
    QCOMPARE(listNames(context.get()), QStringList{QStringLiteral("Kept")});
    QCOMPARE(entries(folder()).filter(QRegularExpression(QStringLiteral("\\.sqlite$"))), QStringList{kStore});
}

void tst_StoreFiles::failedCreationKeepsTheNewDocument()
{
    // A folder where the store's lock file goes: the new store cannot be made, not even by root.
    QVERIFY(QDir().mkpath(inFolder(kStore + QStringLiteral(".lock"))));

    LogCapture log;
    QString error;
    bool created = true;
    std::unique_ptr<ManagedObjectContext> context = StoreFiles::openStore(&error, &created);
    QVERIFY(context != nullptr);
    QVERIFY(!context->hasStore());
    QVERIFY(!error.isEmpty());
    QVERIFY(!created);
    QVERIFY(log.contains(QStringLiteral("Error saving the initial document, %1").arg(error)));
    QVERIFY(!QFileInfo::exists(inFolder(kStore)));
    context.reset();

    // The application keeps the new, empty document all the same, and says why it has no file.
    AppDelegate delegate;
    QSignalSpy changed(&delegate, &AppDelegate::documentChanged);
    QVERIFY(!delegate.reloadFile());
    QVERIFY(delegate.document() != nullptr);
    QCOMPARE(changed.count(), 1);
    QVERIFY(!delegate.document()->managedObjectContext()->hasStore());
    QVERIFY(!delegate.lastError().isEmpty());
}

void tst_StoreFiles::backupGoesToTheCurrentSlot_data()
{
    QTest::addColumn<int>("number");  // -1: no number stored yet
    QTest::addColumn<int>("slot");
    QTest::addColumn<int>("next");
    QTest::newRow("first backup") << -1 << 0 << 1;
    QTest::newRow("replaces an existing slot") << 3 << 3 << 4;
    QTest::newRow("stray number stays in range") << 12 << 2 << 3;
}

void tst_StoreFiles::backupGoesToTheCurrentSlot()
{
    QFETCH(int, number);
    QFETCH(int, slot);
    QFETCH(int, next);

    QVERIFY(QDir().mkpath(folder()));
    QVERIFY(writeBytes(inFolder(kStore), "fresh"));
    QVERIFY(writeBytes(slotPath(3), "a stale backup that is longer than the store"));
    if (number >= 0)
        Defaults::standard().setValue(kBackupKey, number);

    LogCapture log;
    AppDelegate delegate;
    delegate.backupCurrentStore();

    QCOMPARE(readBytes(slotPath(slot)), QByteArray("fresh"));
    QCOMPARE(Defaults::standard().intValue(kBackupKey, -1), next);
    QVERIFY(!log.containsPrefix(QStringLiteral("Error")));
    QCOMPARE(entries(folder()).filter(QStringLiteral("backup")).size(), slot == 3 ? 1 : 2);
}

void tst_StoreFiles::backupsRotateThroughTenSlots()
{
    QVERIFY(QDir().mkpath(folder()));
    AppDelegate delegate;
    for (int i = 0; i < 10; ++i) {
        const QByteArray contents = "generation " + QByteArray::number(i);
        QVERIFY(writeBytes(inFolder(kStore), contents));
        delegate.backupCurrentStore();
        QCOMPARE(readBytes(slotPath(i)), contents);
        QCOMPARE(Defaults::standard().intValue(kBackupKey, -1), (i + 1) % 10);
    }
    QCOMPARE(entries(folder()).filter(QStringLiteral("backup")).size(), 10);

    // The eleventh backup overwrites the oldest slot and leaves the others alone.
    QVERIFY(writeBytes(inFolder(kStore), "generation 10"));
    delegate.backupCurrentStore();
    QCOMPARE(readBytes(slotPath(0)), QByteArray("generation 10"));
    QCOMPARE(readBytes(slotPath(1)), QByteArray("generation 1"));
    QCOMPARE(Defaults::standard().intValue(kBackupKey, -1), 1);
    QCOMPARE(entries(folder()).filter(QStringLiteral("backup")).size(), 10);
}

void tst_StoreFiles::failedBackupStillAdvances_data()
{
    QTest::addColumn<bool>("storeExists");
    QTest::addColumn<bool>("slotIsFolder");
    QTest::newRow("no store file") << false << false;
    QTest::newRow("slot taken by a folder") << true << true;
}

void tst_StoreFiles::failedBackupStillAdvances()
{
    QFETCH(bool, storeExists);
    QFETCH(bool, slotIsFolder);

    QVERIFY(QDir().mkpath(folder()));
    if (storeExists)
        QVERIFY(writeBytes(inFolder(kStore), "contents"));
    if (slotIsFolder) {
        QVERIFY(QDir().mkpath(slotPath(5)));
        QVERIFY(writeBytes(slotPath(5) + QStringLiteral("/inside"), "keeps the folder non-empty"));
    }
    Defaults::standard().setValue(kBackupKey, 5);

    LogCapture log;
    AppDelegate delegate;
    delegate.backupCurrentStore();

    // The slot path is used as built, with two slashes after the folder.
    const QString slot = folder() + QStringLiteral("/backup5_corvane_2_8.sqlite");
    const QString copyError = QStringLiteral("Error copying %1 to %2").arg(inFolder(kStore), slot);
    QVERIFY2(log.contains(copyError), qPrintable(log.lines().join(u'\n')));
    QVERIFY(log.isWarning(copyError));
    QCOMPARE(log.contains(QStringLiteral("Error removing %1").arg(slot)), slotIsFolder);
    QCOMPARE(log.linesStartingWith(QStringLiteral("Error message: ")).size(), slotIsFolder ? 2 : 1);
    QCOMPARE(Defaults::standard().intValue(kBackupKey, -1), 6);
}

void tst_StoreFiles::backupOfTheOpenStoreIsAStore()
{
    AppDelegate delegate;
    QVERIFY(delegate.reloadFile());
    QVERIFY(contextOf(delegate) != nullptr);
    ManagedObject *list = contextOf(delegate)->insert(QStringLiteral("TODOList"));
    list->setValue(QStringLiteral("name"), QStringLiteral("Before the upload"));
    QString error;
    QVERIFY2(contextOf(delegate)->save(&error), qPrintable(error));

    delegate.backupCurrentStore();

    QCOMPARE(listNamesInFile(slotPath(0)), QStringList{QStringLiteral("Before the upload")});
}

QTEST_GUILESS_MAIN(tst_StoreFiles)
#include "tst_storefiles.moc"
