#include "AppDelegate.h"

#include "ArrayController.h"
#include "ColorText.h"
#include "Defaults.h"
#include "KeyStore.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "PingController.h"
#include "SyncController.h"
#include "SyncLogin.h"
#include "SyncPresenter.h"
#include "SyncUtils.h"
#include "TodoModel.h"

#include <QColorDialog>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <exception>
#include <memory>

namespace {

struct FontTier {
    double fontSize;
    double rowHeight;
};
// Tier 0, the default, is not the smallest.
constexpr FontTier kFontTiers[] = {{16, 45}, {18, 50}, {10, 30}, {11, 32}, {12, 35}, {14, 40}};
constexpr int kFontTierCount = int(std::size(kFontTiers));
const QString kFontTierKey = QStringLiteral("FONT_TIER");

// A stored tier outside the table reads as tier 0.
int currentTierNumber()
{
    const int tier = Defaults::standard().intValue(kFontTierKey, 0);
    return tier >= 0 && tier < kFontTierCount ? tier : 0;
}

} // namespace

// What one document's sync is made of, in the order it is built.
struct AppDelegate::Sync {
    explicit Sync(MyDocument &document)
        : store(document)
        , login(keyStore, Defaults::standard())
        , controller(&store, &transport)
        , presenter(&document, &controller, &login)
    {
    }
    HttpSyncTransport transport;
    DocumentSyncStore store;
    QtKeyStore keyStore;
    SyncLogin login;
    SyncController controller;
    SyncPresenter presenter;
};

AppDelegate::AppDelegate(QObject *parent, std::chrono::milliseconds launchDelay)
    : QObject(parent)
    , m_launchDelay(launchDelay)
{
    m_options[size_t(SyncOption::AfterStart)].key = QStringLiteral("SYNC_AFTER_START");
    m_options[size_t(SyncOption::BeforeExit)].key = QStringLiteral("SYNC_BEFORE_EXIT");
    m_options[size_t(SyncOption::Quick)].key = QStringLiteral("QUICK_SYNC");
}

AppDelegate::~AppDelegate() = default;

// --- Launch ----------------------------------------------------------------------------------

bool AppDelegate::applicationDidFinishLaunching()
{
    Defaults &defaults = Defaults::standard();
    defaults.setValue(QStringLiteral("fontsize"), 14);
    if (!defaults.contains(kFontTierKey))
        defaults.setValue(kFontTierKey, 0);
    for (SyncOption which : {SyncOption::AfterStart, SyncOption::BeforeExit, SyncOption::Quick})
        setSyncOption(which, defaults.boolValue(m_options[size_t(which)].key));
    loadColors();

    bool opened = false;
    try {
        opened = reloadFile();
    } catch (const std::exception &e) {
        qCWarning(lcApp).noquote() << QStringLiteral("EXCEPTION WHEN LOADING FILE: %1").arg(QString::fromUtf8(e.what()));
    }
    if (!opened)
        return false;

    pingServer(QStringLiteral("startapp"));
    updateIconBadge();
    // Both delayed steps are queued in this order; when both apply, both run.
    if (syncOption(SyncOption::AfterStart)) {
        const int row = defaults.intValue(QStringLiteral("lastSelectedProjectRow"));
        QTimer::singleShot(m_launchDelay, this, [this, row] { syncOnStart(row); });
    }
    if (defaults.stringValue(QStringLiteral("cv-login")).isEmpty()) {
        QTimer::singleShot(m_launchDelay, this, [this] {
            if (SyncPresenter *sync = syncPresenter())
                sync->showSyncWindow(SyncPresenter::QuickSync::Off, kInvitation);
        });
    }
    welcomeOnFirstTime();
    return true;
}

// After the sync the sidebar row selected at the last run is selected again.
void AppDelegate::syncOnStart(int row)
{
    SyncPresenter *sync = syncPresenter();
    if (!sync)
        return;
    sync->showSyncWindow(SyncPresenter::QuickSync::On, kSyncingOnStart, [document = m_document, row] {
        if (!document || row < 0 || row >= document->projects().projectsArrayController()->arrangedObjects().size())
            return;
        document->projects().selectRow(row);
        document->view()->scrollSidebarRowToVisible(row);
    });
}

void AppDelegate::welcomeOnFirstTime()
{
    Defaults &defaults = Defaults::standard();
    const QString key = QStringLiteral("kFirstTimeRunning");
    if (!defaults.stringValue(key).isEmpty())
        return;
    defaults.setValue(key, QStringLiteral("NO"));
    emit welcomeRequested(tr("Welcome to Corvane"),
                          tr("Please take a minute to read the help list. In case of trouble, you can contact us at %1.")
                              .arg(SyncSettings::supportAddress()));
}

// Qt's colour dialog has no named lists: the colours become its custom
// colours, the names are dropped. Lines are "colour text;name".
void AppDelegate::loadColors(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcApp).noquote() << QStringLiteral("error while loading colors %1").arg(file.errorString());
        return;
    }
    const QString text = QString::fromLatin1(file.readAll());
    int index = 0;
    for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char(';'));
        const QColor color = parts.size() == 2 ? ColorText::colorWithString(parts[0]) : QColor();
        if (!color.isValid())
            continue;
        if (index == QColorDialog::customCount())
            break;
        QColorDialog::setCustomColor(index++, color);
    }
}

void AppDelegate::pingServer(const QString &event)
{
    if (!m_ping) {
        SyncTransport *transport = syncTransport();
        if (!transport)
            return;
        m_ping = std::make_unique<PingController>(transport);
    }
    m_ping->pingServer(event);
}

// --- Sync preferences --------------------------------------------------------------------------

bool AppDelegate::syncOption(SyncOption which) const
{
    return m_options[size_t(which)].on;
}

void AppDelegate::setSyncOption(SyncOption which, bool on)
{
    Option &option = m_options[size_t(which)];
    option.on = on;
    if (option.item)
        option.item->setChecked(on);
    Defaults::standard().setValue(option.key, on);
}

// Made on first use: a menu item needs the GUI application.
QAction *AppDelegate::syncOptionItem(SyncOption which)
{
    Option &option = m_options[size_t(which)];
    if (!option.item) {
        const QString texts[] = {tr("Sync When Corvane &Starts"), tr("Sync Before &Quitting"),
                                 tr("&Toolbar Syncs Without the Sheet")};
        option.item = std::make_unique<QAction>(texts[size_t(which)]);
        option.item->setObjectName(option.key);
        option.item->setCheckable(true);
        option.item->setChecked(option.on);
        connect(option.item.get(), &QAction::triggered, this, [this, which](bool checked) { setSyncOption(which, checked); });
    }
    return option.item.get();
}

// --- Quit --------------------------------------------------------------------------------------

void AppDelegate::requestQuit()
{
    switch (m_quitState) {
    case QuitState::Running:
        break;
    case QuitState::SyncingBeforeExit:
        // The exchange's end quits. Without one (no login typed, or none
        // could start) a second request quits without syncing.
        if (syncPresenter()->isSyncing())
            return;
        m_options[size_t(SyncOption::BeforeExit)].on = false;
        m_quitState = QuitState::Running;
        break;
    case QuitState::Saving:
    case QuitState::Quitting:
        return;
    }
    if (applicationShouldTerminate() == TerminateReply::Now)
        saveAndQuit();
}

AppDelegate::TerminateReply AppDelegate::applicationShouldTerminate()
{
    qCInfo(lcApp) << "Application should terminate";
    m_terminating = true;
    if (m_document)
        m_document->showGrayOverlay();
    if (!syncOption(SyncOption::BeforeExit) || !syncPresenter()) {
        qCInfo(lcApp) << "Actually terminating now";
        return TerminateReply::Now;
    }
    syncBeforeExit();
    return TerminateReply::Later;
}

// The quit waits for the exchange; its end, good or bad, quits again, this
// time without a sync (the stored preference and the menu item stay on).
void AppDelegate::syncBeforeExit()
{
    SyncPresenter *sync = syncPresenter();
    m_quitState = QuitState::SyncingBeforeExit;
    m_exitExchangeStarted = sync->isSyncing();
    sync->showSyncWindow(SyncPresenter::QuickSync::On, kSyncingOnExit, [this, sync] {
        if (m_quitState != QuitState::SyncingBeforeExit)
            return;
        m_options[size_t(SyncOption::BeforeExit)].on = false;
        m_quitState = QuitState::Running;
        sync->closeSheet();
        requestQuit();
    });
}

// The user closed the exit sync's sheet without an exchange: the quit is
// given up and the window is usable again; a later quit does not sync.
void AppDelegate::exitSyncSheetClosed()
{
    if (m_quitState != QuitState::SyncingBeforeExit || m_exitExchangeStarted)
        return;
    m_options[size_t(SyncOption::BeforeExit)].on = false;
    m_quitState = QuitState::Running;
    m_terminating = false;
    if (m_document)
        m_document->hideGrayOverlay();
}

// Saves (asking while the save fails), then ends the event loop.
void AppDelegate::saveAndQuit()
{
    m_quitState = QuitState::Saving;
    const auto quit = [this](bool) {
        m_quitState = QuitState::Quitting;
        applicationWillTerminate();
        QCoreApplication::quit();
    };
    if (m_document)
        m_document->saveBeforeQuitting(quit);
    else
        quit(true);
}

void AppDelegate::applicationWillTerminate()
{
    if (std::exchange(m_willTerminateRan, true))
        return;
    pingServer(QStringLiteral("endapp"));
    if (!Defaults::standard().synchronize())
        qCWarning(lcApp) << "WARNING: Couldn't save change in user defaults";
    updateIconBadge();
}

// --- Store and sync ----------------------------------------------------------------------------

bool AppDelegate::reloadFile()
{
    if (m_document) {
        // The open document already shows the store; a merge wrote into it.
        m_document->refreshController();
        return m_document->managedObjectContext()->hasStore();
    }
    // At launch: open the store file, or make it when there is none.
    QString error;
    std::unique_ptr<ManagedObjectContext> context = StoreFiles::openStore(&error);
    m_lastError = error;
    if (!context)
        return false;
    // A store that could not be created still leaves the new, empty document.
    setDocument(new MyDocument(std::move(context), this));
    return m_lastError.isEmpty();
}

void AppDelegate::updateIconBadge()
{
    m_badge.setCount(m_document ? m_document->countOverdueItems() : 0);
}

MyDocument *AppDelegate::document() const
{
    return m_document;
}

SyncPresenter *AppDelegate::syncPresenter()
{
    if (!m_document)
        return nullptr;
    if (!m_sync) {
        m_sync = std::make_unique<Sync>(*m_document);
        SyncPresenter *sync = &m_sync->presenter;
        connect(sync, &SyncPresenter::syncingChanged, this, [this, sync] {
            m_exitExchangeStarted = m_exitExchangeStarted || sync->isSyncing();
        });
        connect(sync, &SyncPresenter::sheetClosed, this, &AppDelegate::exitSyncSheetClosed);
    }
    return &m_sync->presenter;
}

SyncTransport *AppDelegate::syncTransport()
{
    return syncPresenter() ? &m_sync->transport : nullptr;
}

void AppDelegate::rotateFontTier(FontStep step)
{
    Defaults &defaults = Defaults::standard();
    const int current = currentTierNumber();
    int next = defaults.contains(kFontTierKey) ? (current + 1) % kFontTierCount : 0;
    if (step != FontStep::Next) {
        // The tier whose text size is the nearest above (below) the current one; none: stay.
        next = current;
        for (int tier = 0; tier < kFontTierCount; ++tier) {
            const double size = kFontTiers[tier].fontSize;
            const double now = kFontTiers[current].fontSize;
            const double best = kFontTiers[next].fontSize;
            if (step == FontStep::Larger ? size > now && (next == current || size < best)
                                         : size < now && (next == current || size > best))
                next = tier;
        }
    }
    defaults.setValue(kFontTierKey, next);
    qCInfo(lcApp).noquote() << QStringLiteral("Rotated to font tier %1, base size %2")
                                   .arg(next)
                                   .arg(kFontTiers[next].fontSize);
}

double AppDelegate::currentFontSize() const
{
    return kFontTiers[currentTierNumber()].fontSize;
}

double AppDelegate::currentQuadrantRowHeight() const
{
    return kFontTiers[currentTierNumber()].rowHeight;
}

void AppDelegate::setDocument(MyDocument *document)
{
    m_document = document;
    document->setHost(this);
    emit documentChanged(document);
}
