#include "StoreFiles.h"

#include "Defaults.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "ObjectStoreIO.h"
#include "TodoModel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString kCurrentBackupNumberKey = QStringLiteral("_currentBackupNumber");

// Older store names, carried forward oldest first: older, newer, backup.
struct MigrationStep {
    const char *from;
    const char *to;
    const char *backupTo;
};

constexpr MigrationStep kMigrationChain[] = {
    {"corvane.sqlite", "corvane_2_4.sqlite", "corvane_2_3.sqlite.bck"},
    {"corvane_2_4.sqlite", "corvane_2_5.sqlite", "corvane_2_4.sqlite.bck"},
    {"corvane_2_5.sqlite", "corvane_2_6.sqlite", "corvane_2_5.sqlite.bck"},
    {"corvane_2_6.sqlite", "corvane_2_7.sqlite", "corvane_2_6.sqlite.bck"},
    {"corvane_2_7.sqlite", "corvane_2_8.sqlite", "corvane_2_7.sqlite.bck"},
};

bool g_dataLocationOverridden = false;
QString g_dataLocationOverride;

// Something is at the path, a dangling link included: never write over it.
bool occupied(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

void logCopyError(const QString &from, const QString &to, const QString &error)
{
    qCWarning(lcApp).noquote() << QStringLiteral("Error copying %1 to %2").arg(from, to);
    qCWarning(lcApp).noquote() << QStringLiteral("Error message: %1").arg(error);
}

bool copyFile(const QString &from, const QString &to)
{
    QFile source(from);
    if (source.copy(to))
        return true;
    logCopyError(from, to, source.errorString());
    return false;
}

bool removeFile(const QString &path)
{
    QFile file(path);
    if (file.remove())
        return true;
    qCWarning(lcApp).noquote() << QStringLiteral("Error removing %1").arg(path);
    qCWarning(lcApp).noquote() << QStringLiteral("Error message: %1").arg(file.errorString());
    return false;
}

// Flushes a file, or a folder's entries, to the disk.
bool syncToDisk(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!synced)
        qCWarning(lcApp).noquote() << QStringLiteral("Error flushing %1 to the disk").arg(path);
    return synced;
}

// The first older store name of the chain that is still taken, if any.
QString olderStoreLeftBehind(const QString &folder)
{
    for (const MigrationStep &step : kMigrationChain) {
        if (occupied(folder + QString::fromLatin1(step.from)))
            return folder + QString::fromLatin1(step.from);
    }
    return {};
}

// Whether a complete copy of original sits at copy: a regular file of the same size.
bool isCopyOf(const QString &copy, const QString &original)
{
    const QFileInfo copyInfo(copy);
    const QFileInfo originalInfo(original);
    return copyInfo.isFile() && originalInfo.isFile() && copyInfo.size() == originalInfo.size();
}

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

QString StoreFiles::currentStoreName()
{
    return QStringLiteral("corvane_2_8.sqlite");
}

void StoreFiles::setDataLocationForTesting(const QString &base)
{
    g_dataLocationOverridden = true;
    g_dataLocationOverride = base;
}

void StoreFiles::resetDataLocationForTesting()
{
    g_dataLocationOverridden = false;
    g_dataLocationOverride.clear();
}

QString StoreFiles::dataLocation()
{
    if (g_dataLocationOverridden)
        return g_dataLocationOverride;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString StoreFiles::pathForFolder()
{
    const QString base = dataLocation();
    const QString path = base + QStringLiteral("/Nuvalto/Corvane/");
    // Without a base the path would hang off the file system root.
    if (!base.isEmpty()) {
        if (QFileInfo(path).isDir())
            return path;
        if (QDir().mkpath(path))
            return path;
    }
    qCWarning(lcApp).noquote() << QStringLiteral("Error when creating directory %1").arg(path);
    return {};
}

QString StoreFiles::pathForDataFile()
{
    const QString folder = pathForFolder();
    if (folder.isEmpty())
        return {};
    return folder + currentStoreName();
}

void StoreFiles::migrateIfNeeded(const QString &from, const QString &to, const QString &backupTo)
{
    const QString folder = pathForFolder();
    if (folder.isEmpty())
        return;

    const QString older = folder + from;
    const QString newer = folder + to;
    const QString backup = folder + backupTo;
    if (!QFileInfo::exists(older) || QFileInfo::exists(newer))
        return;

    qCInfo(lcApp).noquote() << QStringLiteral("We are migrating since %1 exists").arg(older);

    // A crash mid-save leaves half a transaction in the file; its journal does not travel with a copy.
    QString reason;
    if (!ObjectStoreIO::settleJournal(older, &reason)) {
        qCWarning(lcApp).noquote() << QStringLiteral("Keeping %1 where it is: %2").arg(older, reason);
        return;
    }

    qCInfo(lcApp).noquote() << QStringLiteral("Copying %1 to %2").arg(older, backup);
    copyFile(older, backup);

    qCInfo(lcApp).noquote() << QStringLiteral("Copying %1 to %2").arg(older, newer);
    copyFile(older, newer);

    // The older file is the only copy until one sits on the disk under the
    // newer name; the backup alone is not enough, since nothing reads backups back.
    if (!isCopyOf(newer, older) || !syncToDisk(newer) || !syncToDisk(folder)) {
        qCWarning(lcApp).noquote()
            << QStringLiteral("Keeping %1 since no complete copy of it exists at %2").arg(older, newer);
        return;
    }

    qCInfo(lcApp).noquote() << QStringLiteral("Removing %1").arg(older);
    removeFile(older);
}

void StoreFiles::backupOnMigrationIfNeeded()
{
    for (const MigrationStep &step : kMigrationChain)
        migrateIfNeeded(QString::fromLatin1(step.from), QString::fromLatin1(step.to),
                        QString::fromLatin1(step.backupTo));
}

void StoreFiles::backupCurrentStore(const QString &storePath)
{
    if (storePath.isEmpty())
        return;

    Defaults &defaults = Defaults::standard();
    int slot = defaults.intValue(kCurrentBackupNumberKey, 0);
    // A stray value still lands in one of the ten slots.
    slot = ((slot % backupSlotCount) + backupSlotCount) % backupSlotCount;

    const QFileInfo store(storePath);
    const QString slotPath = QStringLiteral("%1/backup%2_%3")
                                 .arg(store.absolutePath(), QString::number(slot), store.fileName());

    // Copying does not overwrite, so the slot is cleared first.
    if (occupied(slotPath))
        removeFile(slotPath);

    copyFile(storePath, slotPath);

    defaults.setValue(kCurrentBackupNumberKey, (slot + 1) % backupSlotCount);
    defaults.synchronize();
}

QString StoreFiles::storePathAfterMigration(QString *error)
{
    backupOnMigrationIfNeeded();

    const QString path = pathForDataFile();
    qCInfo(lcApp).noquote() << QStringLiteral("File name for nsdocument: %1").arg(path);
    if (path.isEmpty()) {
        setError(error, QCoreApplication::translate("StoreFiles", "The folder for the store could not be created under %1.")
                            .arg(QDir::toNativeSeparators(dataLocation())));
        return {};
    }
    setError(error, QString());
    return path;
}

std::unique_ptr<ManagedObjectContext> StoreFiles::openStore(QString *error, bool *created, StoreAccess access)
{
    if (created)
        *created = false;

    QString reason;
    const QString path = storePathAfterMigration(&reason);
    if (path.isEmpty()) {
        setError(error, reason);
        qCWarning(lcApp).noquote() << QStringLiteral("Error when opening document, %1").arg(reason);
        return nullptr;
    }

    auto context = std::make_unique<ManagedObjectContext>(todoListModel());

    // A store that exists but cannot be opened is never replaced by a new one.
    if (occupied(path)) {
        if (!context->open(path, &reason, access)) {
            setError(error, reason);
            qCWarning(lcApp).noquote() << QStringLiteral("Error when opening document, %1").arg(reason);
            return nullptr;
        }
        setError(error, QString());
        return context;
    }

    // A new store would hide an older file the chain failed to carry
    // forward; the next launch tries again.
    const QString stranded = olderStoreLeftBehind(pathForFolder());
    if (!stranded.isEmpty()) {
        reason = QCoreApplication::translate("StoreFiles", "The older store %1 could not be carried forward; "
                                                           "nothing was opened, so that a new store does not hide it.")
                     .arg(QDir::toNativeSeparators(stranded));
        setError(error, reason);
        qCWarning(lcApp).noquote() << QStringLiteral("Error when opening document, %1").arg(reason);
        return nullptr;
    }

    if (!context->create(path, &reason)) {
        setError(error, reason);
        qCWarning(lcApp).noquote() << QStringLiteral("Error saving the initial document, %1").arg(reason);
        // The new, empty context is still the caller's to keep.
        return context;
    }
    if (created)
        *created = true;
    setError(error, QString());
    return context;
}
