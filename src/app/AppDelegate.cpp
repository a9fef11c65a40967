#include "AppDelegate.h"

#include "Defaults.h"
#include "KeyStore.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "SyncController.h"
#include "SyncLogin.h"
#include "SyncPresenter.h"
#include "TodoModel.h"

#include <QCoreApplication>

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

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
{
}

AppDelegate::~AppDelegate() = default;

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
    if (!m_sync)
        m_sync = std::make_unique<Sync>(*m_document);
    return &m_sync->presenter;
}

SyncTransport *AppDelegate::syncTransport()
{
    return syncPresenter() ? &m_sync->transport : nullptr;
}

void AppDelegate::requestQuit()
{
    if (m_terminating)
        return;
    m_terminating = true;
    const auto quit = [](bool) { QCoreApplication::quit(); };
    if (m_document)
        m_document->saveBeforeQuitting(quit);
    else
        quit(true);
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
    emit documentChanged(document);
}
