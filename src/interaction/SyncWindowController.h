#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class SyncPresenter;

// The sync sheet: a window-modal dialog over the main window that shows the
// presenter's login fields, status label and progress, and forwards the
// buttons to it. It opens when the presenter asks for it and closes when
// the presenter's sheet is closed. No logic of its own.
class SyncWindowController : public QDialog
{
    Q_OBJECT
public:
    SyncWindowController(SyncPresenter *presenter, QWidget *window);

    QLineEdit *emailField() const { return m_email; }
    QLineEdit *passwordField() const { return m_password; }
    QLineEdit *serverField() const { return m_server; }
    QLabel *infoLabel() const { return m_info; }
    QProgressBar *progressIndicator() const { return m_progress; }
    QPushButton *syncNowButton() const { return m_syncNow; }
    QPushButton *doneButton() const { return m_done; }

    // Escape acts as the done button, and does nothing while a sync runs.
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    QWidget *makeAccountRow();
    void showButtonsEnabled();

    SyncPresenter *m_presenter;
    QLineEdit *m_email;
    QLineEdit *m_password;
    QLineEdit *m_server;
    QLabel *m_info;
    QProgressBar *m_progress;
    QPushButton *m_syncNow;
    QPushButton *m_done;
};
