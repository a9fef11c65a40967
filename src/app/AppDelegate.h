#pragma once

#include "LauncherBadge.h"
#include "MyDocument.h"
#include "StoreFiles.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class SyncPresenter;
class SyncTransport;

// The application shell's owner of the document: it opens the store (or
// first creates it) as the application's one document, which then lives
// until the application quits (a sync merges into it in place). The store files themselves (folder, migration chain of older
// names, rotating backups) are StoreFiles'; the operations here keep the
// names the rest of the application knows them by.
//
// Everything runs on the main thread. Failures are logged and never thrown.
class AppDelegate : public QObject, public DocumentHost
{
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr);
    ~AppDelegate() override;

    // File name of the current store, inside the store folder.
    static QString currentStoreName() { return StoreFiles::currentStoreName(); }
    // Number of rotating backup slots.
    static constexpr int backupSlotCount = StoreFiles::backupSlotCount;

    // The store folder (ends in '/'), created when missing; empty when it
    // cannot be created. Computed afresh on every call.
    static QString pathForFolder() { return StoreFiles::pathForFolder(); }
    // The store folder joined with the current store name; empty when there
    // is no store folder.
    QString pathForDataFile() const { return StoreFiles::pathForDataFile(); }

    // Carries one older store file forward: names are relative to the store
    // folder. Acts only when the older file exists and the newer does not.
    void migrateIfNeeded(const QString &from, const QString &to, const QString &backupTo)
    {
        StoreFiles::migrateIfNeeded(from, to, backupTo);
    }
    // Runs the whole chain of older store names, oldest first.
    void backupOnMigrationIfNeeded() { StoreFiles::backupOnMigrationIfNeeded(); }
    // Copies the current store file into the next rotating backup slot.
    void backupCurrentStore() { StoreFiles::backupCurrentStore(); }

    // Runs the migration chain, then opens the store as the document, creating
    // it when no file exists. With a document already open it keeps it: its
    // filters, selection, trashed lists and undo history stay. Returns
    // whether a document is open on the store file afterwards.
    bool reloadFile();

    // Quitting: saves (asking what to do while saving fails), then quits.
    void requestQuit();
    bool terminating() const { return m_terminating; }

    // Font tiers ("FONT_TIER", 0 to 5; anything else reads as 0): the text
    // size of the item rows and the height of the quadrant rows.
    void rotateFontTier(FontStep step = FontStep::Next) override;
    double currentFontSize() const override;
    double currentQuadrantRowHeight() const override;
    bool isMasterListOpen() const override { return m_masterListOpen; }
    // The window tells while the master list shows in place of the quadrants.
    void setMasterListOpen(bool open) { m_masterListOpen = open; }
    bool isTerminating() const override { return m_terminating; }

    // Shows the count of overdue open items on the launcher icon.
    void updateIconBadge();

    // The open document; nullptr when none could be opened.
    MyDocument *document() const;
    // The document's sync: the sheet's logic over one exchange at a time,
    // with the login remembered in the key store. Made on first use;
    // nullptr without a document.
    SyncPresenter *syncPresenter();
    // The HTTP transport the exchanges with the maker's servers share.
    SyncTransport *syncTransport();
    // Why the last reloadFile() failed, for the user; empty after success.
    QString lastError() const { return m_lastError; }

    // Points the base folder (normally the generic data location) somewhere
    // else for tests; an empty text stands for a base that is not available.
    static void setDataLocationForTesting(const QString &base) { StoreFiles::setDataLocationForTesting(base); }
    // Goes back to the platform's data location.
    static void resetDataLocationForTesting() { StoreFiles::resetDataLocationForTesting(); }

signals:
    // The document was opened; nullptr when none.
    void documentChanged(MyDocument *document);

private:
    void setDocument(MyDocument *document);

    QPointer<MyDocument> m_document;
    LauncherBadge m_badge;
    struct Sync;
    std::unique_ptr<Sync> m_sync; // goes before the document, which is a child
    bool m_terminating = false;
    bool m_masterListOpen = false;
    QString m_lastError;
};
