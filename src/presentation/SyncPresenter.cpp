#include "SyncPresenter.h"

#include "Defaults.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "SyncController.h"
#include "SyncLogin.h"
#include "SyncUtils.h"
#include "TODOList.h"
#include "Utils.h"

#include <QDesktopServices>
#include <QTimer>

SyncPresenter::SyncPresenter(MyDocument *document, SyncController *controller, SyncLogin *login,
                             QObject *parent)
    : QObject(parent)
    , m_document(document)
    , m_controller(controller)
    , m_login(login)
{
    connect(controller, &SyncController::finished, this, [this](SyncController::Outcome outcome, const QString &message) {
        exchangeFinished(outcome == SyncController::Outcome::Succeeded, message);
    });
}

void SyncPresenter::setEmail(const QString &email)
{
    if (email == m_email)
        return;
    m_email = email;
    emit emailChanged();
}

void SyncPresenter::setPassword(const QString &password)
{
    if (password == m_password)
        return;
    m_password = password;
    emit passwordChanged();
}

bool SyncPresenter::isSyncing() const
{
    return m_controller->isSyncing();
}

void SyncPresenter::setLabel(const QString &label)
{
    if (label == m_label)
        return;
    m_label = label;
    emit labelChanged();
}

void SyncPresenter::enableAllButtons(bool enabled)
{
    if (enabled == m_buttonsEnabled)
        return;
    m_buttonsEnabled = enabled;
    emit buttonsEnabledChanged();
}

void SyncPresenter::fillOutLogin(std::function<void()> then)
{
    m_login->fillOutLogin([self = QPointer<SyncPresenter>(this), then = std::move(then)](const QString &email,
                                                                                        const QString &password) {
        if (!self)
            return;
        // Without a key store the password typed for this e-mail earlier in
        // the session is still the one to use.
        if (!password.isEmpty() || email != self->m_email)
            self->setPassword(password);
        self->setEmail(email);
        then();
    });
}

// --- Opening ---------------------------------------------------------------------------

void SyncPresenter::showSyncWindow(QuickSync quickSync, const QString &initMessage, std::function<void()> after)
{
    if (!m_document)
        return;
    m_document->closeDrawer();
    qCInfo(lcSync) << "Opening sync window";
    m_quickSync = quickSync;
    m_onDidSync = std::move(after);
    m_initSyncingMessage = initMessage;
    setLabel(initMessage);
    // Every sync starts from a saved store; a failed save is reported and the sync goes on.
    m_document->saveFile();
    if (quickSync == QuickSync::On)
        silentSyncAfterSave();
    else
        syncAfterSave();
}

void SyncPresenter::syncAfterSave()
{
    m_sheetShown = true;
    // The sheet opens with the remembered login, unless one is typed already.
    if (!m_email.isEmpty()) {
        emit sheetRequested();
        return;
    }
    fillOutLogin([this] { emit sheetRequested(); });
}

void SyncPresenter::silentSyncAfterSave()
{
    fillOutLogin([this] {
        if (!syncIfPossible())
            syncAfterSave(); // no complete login: the user types one
    });
}

bool SyncPresenter::syncIfPossible()
{
    if (m_email.isEmpty() || m_password.isEmpty() || isSyncing())
        return false;
    qCInfo(lcSync) << "QUICK SYNC STARTING";
    beginSync();
    return true;
}

void SyncPresenter::sheetActivated()
{
    setLabel(m_initSyncingMessage);
    if (m_quickSync == QuickSync::On)
        syncIfPossible();
}

void SyncPresenter::closeSheet()
{
    m_login->saveUserEmailPassword(m_email, m_password);
    emit sheetClosed();
    // Back in the window: the search field has the focus, and what the sync
    // brought shows through the filters.
    if (std::exchange(m_sheetShown, false) && m_document) {
        m_document->view()->focusSearchField();
        m_document->updateFilters();
        m_document->refreshController();
    }
}

void SyncPresenter::openSignupURL()
{
    openAccountPage(QStringLiteral("/sync_create_account"));
}

void SyncPresenter::resetAccount()
{
    openAccountPage(QStringLiteral("/sync_reset_password"));
}

// The e-mail is percent-encoded, so an address with "&" or "+" arrives whole.
void SyncPresenter::openAccountPage(const QString &path)
{
    QUrl url(QStringLiteral("https://%1%2").arg(SyncSettings::makerWebHost(), path));
    if (!m_email.isEmpty())
        url.setQuery(QStringLiteral("email=%1&platform=mac").arg(QString::fromLatin1(QUrl::toPercentEncoding(m_email))));
    qCInfo(lcSync).noquote() << QStringLiteral("Calling URL: %1").arg(url.toString(QUrl::FullyEncoded));
    QDesktopServices::openUrl(url);
}

QString SyncPresenter::serverAddress() const
{
    return SyncSettings::syncServerBaseURL().toString();
}

bool SyncPresenter::setServerAddress(const QString &address)
{
    const QString text = address.trimmed();
    const QUrl url(text, QUrl::StrictMode);
    const bool web = url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http");
    if (!text.isEmpty() && (!url.isValid() || !web || url.host().isEmpty())) {
        setLabel(tr("The sync server's address must begin with https:// (or http://) and name a host"));
        emit serverAddressChanged(); // the field shows the address in use again
        return false;
    }
    if (text.isEmpty())
        Defaults::standard().remove(QStringLiteral("syncServerBaseURL"));
    else
        Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), url.toString());
    emit serverAddressChanged();
    return true;
}

// --- The exchange ------------------------------------------------------------------------

void SyncPresenter::beginSync()
{
    if (!m_document)
        return;
    if (m_email.isEmpty() || m_password.isEmpty() || !Utils::validateEmail(m_email)) {
        setLabel(QStringLiteral("Please enter valid username and password"));
        enableAllButtons(true);
        return;
    }
    setLabel(QStringLiteral("Preparing lists for syncing..."));
    enableAllButtons(false);
    m_document->disableDidChangeContextNotifications();
    const TODOList *selected = m_document->projects().selectedList();
    m_origSelectedList = selected ? selected->objectURI() : QUrl();
    if (!m_controller->uploadToServer(m_email, m_password)) {
        // The running exchange turns change tracking on again when it ends.
        setLabel(QStringLiteral("Problem while syncing..."));
        enableAllButtons(true);
        return;
    }
    m_document->setSyncing(true);
    m_document->showGrayOverlay();
    emit syncingChanged();
}

void SyncPresenter::exchangeFinished(bool succeeded, const QString &message)
{
    if (m_document)
        m_document->setSyncing(false);
    emit syncingChanged();
    if (succeeded)
        syncSucceeded();
    else
        syncFailedWithMessage(message);
}

void SyncPresenter::syncSucceeded()
{
    setLabel(SyncController::successMessage());
    enableAllButtons(true);
    if (!m_document)
        return;
    m_document->saveFile();
    if (!m_document->host()->isTerminating()) {
        m_document->updateFilters();
        m_document->refreshController();
        auto *list = static_cast<TODOList *>(m_document->managedObjectContext()->objectForURI(m_origSelectedList));
        if (list)
            m_document->selectProject(list);
    }
    if (m_quickSync == QuickSync::On)
        closeSheet();
    afterExchange();
    if (!m_document->host()->isTerminating())
        m_document->setStatusBarMessage(QStringLiteral("Done syncing your data!"));
}

void SyncPresenter::syncFailedWithMessage(const QString &message)
{
    enableAllButtons(true);
    setLabel(message);
    if (!m_document)
        return;
    afterExchange();
    if (!m_document->host()->isTerminating())
        m_document->setStatusBarMessage(
            QStringLiteral("Sync failed. Please check your login info. Email %1 if you need help.")
                .arg(SyncSettings::supportAddress()));
}

// Change tracking comes back a second after the exchange, so that the
// merge's own writes are never marked; the overlay goes, and the caller's
// completion runs on the next turn.
void SyncPresenter::afterExchange()
{
    QTimer::singleShot(TrackingPauseMilliseconds, m_document,
                       [document = m_document] { document->enableDidChangeContextNotifications(); });
    if (!m_document->host()->isTerminating())
        m_document->hideGrayOverlay();
    if (m_onDidSync)
        QTimer::singleShot(0, this, [after = std::exchange(m_onDidSync, {})] { after(); });
}
