#pragma once

#include "ManagedObjectContext.h"

#include <QObject>
#include <QPointer>
#include <QString>

// The application shell's owner of the store files: where the store lives,
// carrying files left under older names forward, the ten rotating backups
// and opening (or first creating) the store as the application's document.
//
// Everything runs on the main thread. Failures are logged and never thrown.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // File name of the current store, inside the store folder.
    static QString currentStoreName();
    // Number of rotating backup slots.
    static constexpr int backupSlotCount = 10;

    // The store folder (ends in '/'), created when missing; empty when it
    // cannot be created. Computed afresh on every call.
    static QString pathForFolder();
    // The store folder joined with the current store name; empty when there
    // is no store folder.
    QString pathForDataFile() const;

    // Carries one older store file forward: names are relative to the store
    // folder. Acts only when the older file exists and the newer does not.
    void migrateIfNeeded(const QString &from, const QString &to, const QString &backupTo);
    // Runs the whole chain of older store names, oldest first.
    void backupOnMigrationIfNeeded();
    // Copies the current store file into the next rotating backup slot.
    void backupCurrentStore();

    // Runs the migration chain, then opens the store as the document, creating
    // it when no file exists. With a document already open, saves it, closes
    // it and opens the file again. Returns whether a document is open on the
    // store file afterwards.
    bool reloadFile();

    // The open document; nullptr when none could be opened.
    ManagedObjectContext *document() const;
    // Why the last reloadFile() failed, for the user; empty after success.
    QString lastError() const { return m_lastError; }

    // Points the base folder (normally the generic data location) somewhere
    // else for tests; an empty text stands for a base that is not available.
    static void setDataLocationForTesting(const QString &base);
    // Goes back to the platform's data location.
    static void resetDataLocationForTesting();

signals:
    // The document was replaced (reload) or dropped; nullptr when none.
    void documentChanged(ManagedObjectContext *document);

private:
    bool openExistingStore(const QString &path);
    bool createStore(const QString &path);
    bool reopenStore(const QString &path);
    void setDocument(ManagedObjectContext *context);

    QPointer<ManagedObjectContext> m_document;
    QString m_lastError;
};
