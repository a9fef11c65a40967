#pragma once

#include "ObjectStoreIO.h"

#include <QString>

#include <memory>

class ManagedObjectContext;

// The store files on disk: where the store lives, carrying files left under
// older names forward, the ten rotating backups, and opening (or first
// creating) the store the way the application does at launch.
//
// Used by the application shell and by corvanectl; nothing here needs a
// window. Everything runs on the calling (main) thread. Failures are logged
// (category lcApp) and never thrown.
class StoreFiles
{
public:
    StoreFiles() = delete;

    // File name of the current store, inside the store folder.
    static QString currentStoreName();
    // Number of rotating backup slots.
    static constexpr int backupSlotCount = 10;

    // The base folder the store folder hangs off: the platform's generic data
    // location, or the folder set for tests. Empty when not available.
    static QString dataLocation();
    // The store folder (ends in '/'), created when missing; empty when it
    // cannot be created. Computed afresh on every call.
    static QString pathForFolder();
    // The store folder joined with the current store name; empty when there
    // is no store folder.
    static QString pathForDataFile();

    // Carries one older store file forward: names are relative to the store
    // folder. Acts only when the older file exists and the newer does not.
    // The older file goes only once its copy is on the disk; a hot journal
    // beside it is rolled back first; otherwise the older file stays.
    static void migrateIfNeeded(const QString &from, const QString &to, const QString &backupTo);
    // Runs the whole chain of older store names, oldest first.
    static void backupOnMigrationIfNeeded();
    // Copies a store file into the next rotating backup slot, a file beside
    // it named "backup<slot>_<store file name>"; by default the
    // application's store. Nothing happens for an empty path.
    static void backupCurrentStore(const QString &storePath = pathForDataFile());

    // The first steps of opening the store: runs the migration chain, then
    // logs and answers the store file's path. Empty, with the reason for the
    // user in `error` (nothing logged), when there is no store folder.
    static QString storePathAfterMigration(QString *error = nullptr);

    // Opens the store as the application does at launch: the migration
    // chain, then the existing store file, or a new one when no file exists.
    // A file that exists but cannot be opened is never replaced; that gives
    // nullptr, and so does an older store file the chain could not carry
    // forward (a new store would hide it). A write-protected store is
    // refused unless access is StoreAccess::Read. When creating the new file
    // fails, the new, empty context comes back without a store (the
    // application keeps it as its document).
    // `error` is empty exactly when the context is open on the store file;
    // `created` tells whether the file was made by this call.
    static std::unique_ptr<ManagedObjectContext> openStore(QString *error = nullptr, bool *created = nullptr,
                                                           StoreAccess access = StoreAccess::Write);

    // Points the base folder somewhere else for tests; an empty text stands
    // for a base that is not available.
    static void setDataLocationForTesting(const QString &base);
    // Goes back to the platform's data location.
    static void resetDataLocationForTesting();
};
