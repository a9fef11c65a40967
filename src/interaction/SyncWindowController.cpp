#include "SyncWindowController.h"

#include "SyncPresenter.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

SyncWindowController::SyncWindowController(SyncPresenter *presenter, QWidget *window)
    : QDialog(window)
    , m_presenter(presenter)
    , m_email(new QLineEdit(this))
    , m_password(new QLineEdit(this))
    , m_server(new QLineEdit(this))
    , m_info(new QLabel(this))
    , m_progress(new QProgressBar(this))
    , m_syncNow(new QPushButton(tr("Sync Now"), this))
    , m_done(new QPushButton(tr("Done"), this))
{
    setObjectName(QStringLiteral("syncSheet"));
    setWindowTitle(tr("Sync"));
    setWindowModality(Qt::WindowModal);

    m_email->setObjectName(QStringLiteral("emailField"));
    m_email->setPlaceholderText(tr("you@example.com"));
    m_password->setObjectName(QStringLiteral("passwordField"));
    m_password->setEchoMode(QLineEdit::Password);
    m_server->setObjectName(QStringLiteral("serverField"));
    m_info->setObjectName(QStringLiteral("infoLabel"));
    m_info->setWordWrap(true);
    m_info->setMinimumWidth(360);
    m_progress->setRange(0, 0); // busy, no percentage
    m_progress->setTextVisible(false);
    m_syncNow->setDefault(true);

    auto *form = new QFormLayout;
    form->addRow(tr("E-mail:"), m_email);
    form->addRow(tr("Password:"), m_password);
    form->addRow(tr("Sync server:"), m_server);
    auto *buttons = new QDialogButtonBox;
    buttons->addButton(m_syncNow, QDialogButtonBox::ActionRole);
    buttons->addButton(m_done, QDialogButtonBox::AcceptRole);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(makeAccountRow());
    layout->addWidget(m_info);
    layout->addWidget(m_progress);
    layout->addWidget(buttons);

    // The fields follow the presenter, and what is typed goes to it.
    const auto showLogin = [this] {
        if (m_email->text() != m_presenter->email())
            m_email->setText(m_presenter->email());
        if (m_password->text() != m_presenter->password())
            m_password->setText(m_presenter->password());
    };
    showLogin();
    connect(presenter, &SyncPresenter::emailChanged, this, showLogin);
    connect(presenter, &SyncPresenter::passwordChanged, this, showLogin);
    connect(m_email, &QLineEdit::textEdited, presenter, &SyncPresenter::setEmail);
    connect(m_password, &QLineEdit::textEdited, presenter, &SyncPresenter::setPassword);
    m_server->setText(presenter->serverAddress());
    connect(presenter, &SyncPresenter::serverAddressChanged, this,
            [this] { m_server->setText(m_presenter->serverAddress()); });
    connect(m_server, &QLineEdit::editingFinished, this, [this] {
        if (m_server->text() != m_presenter->serverAddress())
            m_presenter->setServerAddress(m_server->text());
    });

    m_info->setText(presenter->label());
    connect(presenter, &SyncPresenter::labelChanged, this, [this] { m_info->setText(m_presenter->label()); });
    showButtonsEnabled();
    connect(presenter, &SyncPresenter::buttonsEnabledChanged, this, &SyncWindowController::showButtonsEnabled);
    m_progress->setVisible(presenter->isSyncing());
    connect(presenter, &SyncPresenter::syncingChanged, this, [this] { m_progress->setVisible(m_presenter->isSyncing()); });

    connect(m_syncNow, &QPushButton::clicked, presenter, &SyncPresenter::beginSync);
    connect(m_done, &QPushButton::clicked, presenter, &SyncPresenter::closeSheet);
    connect(presenter, &SyncPresenter::sheetRequested, this, &QDialog::open);
    connect(presenter, &SyncPresenter::sheetClosed, this, &QDialog::accept);
}

QWidget *SyncWindowController::makeAccountRow()
{
    auto *row = new QWidget(this);
    auto *signup = new QPushButton(tr("Create Account..."), row);
    signup->setObjectName(QStringLiteral("signupButton"));
    signup->setAutoDefault(false);
    auto *reset = new QPushButton(tr("Forgot Password..."), row);
    reset->setObjectName(QStringLiteral("resetPasswordButton"));
    reset->setAutoDefault(false);
    connect(signup, &QPushButton::clicked, m_presenter, &SyncPresenter::openSignupURL);
    connect(reset, &QPushButton::clicked, m_presenter, &SyncPresenter::resetAccount);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(signup);
    layout->addWidget(reset);
    layout->addStretch(1);
    return row;
}

void SyncWindowController::showButtonsEnabled()
{
    const bool enabled = m_presenter->buttonsEnabled();
    m_syncNow->setEnabled(enabled);
    m_done->setEnabled(enabled);
}

void SyncWindowController::reject()
{
    if (m_presenter->buttonsEnabled())
        m_presenter->closeSheet();
}

void SyncWindowController::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    m_email->setFocus();
    m_presenter->sheetActivated();
}
