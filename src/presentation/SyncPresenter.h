#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class MyDocument;
class SyncController;
class SyncLogin;

// The logic of the sync sheet, without widgets: the login fields, the status
// label, whether the buttons work and whether an exchange runs, and what
// happens before and after an exchange (saving, change tracking, the
// refresh, the status bar). The sheet binds to its properties.
class SyncPresenter : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged)
    Q_PROPERTY(QString password READ password WRITE setPassword NOTIFY passwordChanged)
    Q_PROPERTY(QString label READ label NOTIFY labelChanged)
    Q_PROPERTY(bool buttonsEnabled READ buttonsEnabled NOTIFY buttonsEnabledChanged)
    Q_PROPERTY(bool syncing READ isSyncing NOTIFY syncingChanged)
    Q_PROPERTY(QString serverAddress READ serverAddress NOTIFY serverAddressChanged)
public:
    enum class QuickSync { Off, On };
    static constexpr int TrackingPauseMilliseconds = 1000;

    SyncPresenter(MyDocument *document, SyncController *controller, SyncLogin *login, QObject *parent = nullptr);

    QString email() const { return m_email; }
    void setEmail(const QString &email);
    QString password() const { return m_password; }
    void setPassword(const QString &password);
    QString label() const { return m_label; }
    bool buttonsEnabled() const { return m_buttonsEnabled; }
    bool isSyncing() const;

    // Saves the document, then goes on with silentSyncAfterSave() when quick
    // sync is on, else with syncAfterSave(). `after` runs once the exchange
    // has ended, successful or not.
    void showSyncWindow(QuickSync quickSync, const QString &initMessage = {}, std::function<void()> after = {});
    // Shows the sheet (sheetRequested); when it ends, the search field takes
    // the focus and the quadrants are filtered again.
    void syncAfterSave();
    // Syncs with the stored login; without a complete one, shows the sheet.
    void silentSyncAfterSave();
    // Starts an exchange with the login in the fields when it is complete.
    bool syncIfPossible();
    // The sheet's sync button.
    void beginSync();
    // The sheet's done button: keeps the login, then closes the sheet.
    void closeSheet();
    // The sheet became the active window.
    void sheetActivated();

    // The maker's account pages in the browser, with the e-mail when one is typed.
    void openSignupURL();
    void resetAccount();

    // The sync server's base address ("syncServerBaseURL"). An address that
    // is not http or https with a host is refused (no, and the label says
    // so); an empty one goes back to the default.
    QString serverAddress() const;
    bool setServerAddress(const QString &address);

signals:
    void emailChanged();
    void passwordChanged();
    void labelChanged();
    void buttonsEnabledChanged();
    void syncingChanged();
    void serverAddressChanged();
    void sheetRequested();
    void sheetClosed();

private:
    void setLabel(const QString &label);
    void enableAllButtons(bool enabled);
    void exchangeFinished(bool succeeded, const QString &message);
    void syncSucceeded();
    void syncFailedWithMessage(const QString &message);
    void afterExchange();
    void fillOutLogin(std::function<void()> then);
    void openAccountPage(const QString &path);

    QPointer<MyDocument> m_document;
    SyncController *m_controller;
    SyncLogin *m_login;
    QString m_email;
    QString m_password;
    QString m_label;
    QString m_initSyncingMessage;
    bool m_buttonsEnabled = true;
    QuickSync m_quickSync = QuickSync::Off;
    bool m_sheetShown = false; // by syncAfterSave, until closeSheet
    std::function<void()> m_onDidSync;
    QUrl m_origSelectedList; // selected again after a successful sync
};
