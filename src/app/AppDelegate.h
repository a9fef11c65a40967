#pragma once

#include "LauncherBadge.h"
#include "MyDocument.h"
#include "StoreFiles.h"

#include <QAction>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <chrono>
#include <memory>

class PingController;
class SyncPresenter;
class SyncTransport;

// The application shell's owner of the document: it opens the store (or
// first creates it) as the application's one document, which then lives
// until the application quits (a sync merges into it in place). The store files themselves (folder, migration chain of older
// names, rotating backups) are StoreFiles'; the operations here keep the
// names the rest of the application knows them by.
//
// It also runs the application's launch and quit in their order (the
// preferences, the colours, the store, the start ping, the badge, the delayed
// sync and invitation, the welcome; then the sync before exit, the end ping
// and the defaults), and keeps the three sync preferences with their
// check-mark menu items.
//
// Everything runs on the main thread. Failures are logged and never thrown.
class AppDelegate : public QObject, public DocumentHost
{
    Q_OBJECT
public:
    // The three sync preferences.
    enum class SyncOption { AfterStart, BeforeExit, Quick };
    // Where a quit request stands: the exit sync runs, the store is being
    // saved (its question may be open), or the event loop is ending.
    enum class QuitState { Running, SyncingBeforeExit, Saving, Quitting };
    // Whether the application may end now, or later (after the exit sync).
    enum class TerminateReply { Now, Later };

    static inline const QString kSyncingOnStart = QStringLiteral("Syncing on start");
    static inline const QString kSyncingOnExit = QStringLiteral("Syncing on exit");
    static inline const QString kInvitation = QStringLiteral(
        "Do you have a sync account? It's free, and it lets you sync your Mac, iPad, iPhone and Windows.");

    // The sync on start and the invitation come this long after launch.
    explicit AppDelegate(QObject *parent = nullptr,
                         std::chrono::milliseconds launchDelay = std::chrono::milliseconds(500));
    ~AppDelegate() override;

    // The launch after the event loop is set up, in order: "fontsize" and
    // "FONT_TIER", the sync preferences, the colours, the store, the start
    // ping, the badge, the delayed sync on start and invitation, the welcome.
    // Answers false (and does nothing past the store) when no store opened.
    bool applicationDidFinishLaunching();
    // The Quit command, closing the window, a termination signal: syncs first
    // when "sync before exit" is on, then saves (asking while the save
    // fails) and ends the event loop. Ignored while an exit sync exchanges or
    // the save runs; during an exit sync without a running exchange it quits
    // without the sync.
    void requestQuit();
    // Sets terminating and covers the window; Later when the exit sync runs.
    TerminateReply applicationShouldTerminate();
    // The end ping, the defaults written, the badge. Runs once.
    void applicationWillTerminate();
    QuitState quitState() const { return m_quitState; }

    bool syncOption(SyncOption option) const;
    // Keeps the value, checks or unchecks its menu item and stores it.
    void setSyncOption(SyncOption option, bool on);
    // The option's check-mark menu item; triggering it flips the option.
    QAction *syncOptionItem(SyncOption option);

    // Fills the colour dialog's custom colours from a "colour text;name" file,
    // in file order (the first 16 accepted lines).
    void loadColors(const QString &path = QStringLiteral(":/colors.txt"));
    // Sends a usage ping ("startapp", "endapp"); nothing without a document.
    void pingServer(const QString &event);
    // On the very first run, marks it done and asks for the welcome alert.
    void welcomeOnFirstTime();

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

    // Set by the first quit request; cleared only when the user dismisses
    // the exit sync's sheet, so that the window is usable again.
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
    // The first-run alert: an informational message with an OK button.
    void welcomeRequested(const QString &message, const QString &informativeText);

private:
    void setDocument(MyDocument *document);
    void syncOnStart(int row);
    void syncBeforeExit();
    void exitSyncSheetClosed();
    void saveAndQuit();

    struct Option {
        QString key;
        bool on = false;
        std::unique_ptr<QAction> item;
    };

    std::chrono::milliseconds m_launchDelay;
    QPointer<MyDocument> m_document;
    LauncherBadge m_badge;
    std::array<Option, 3> m_options;
    struct Sync;
    std::unique_ptr<Sync> m_sync; // goes before the document, which is a child
    std::unique_ptr<PingController> m_ping; // goes before the transport it posts through
    bool m_terminating = false;
    bool m_masterListOpen = false;
    QuitState m_quitState = QuitState::Running;
    bool m_exitExchangeStarted = false;
    bool m_willTerminateRan = false;
    QString m_lastError;
};
