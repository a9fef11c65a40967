#pragma once

#include <QMainWindow>
#include <QPointer>

class AppDelegate;
class ManagedObjectContext;
class QLabel;

// The application's one window. For now a placeholder that names the open
// store and how many lists and items it holds.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(AppDelegate *delegate, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The text of the placeholder, as shown.
    QString summaryText() const;

private:
    void watchDocument(ManagedObjectContext *document);
    void refresh();

    AppDelegate *m_delegate = nullptr;
    QPointer<ManagedObjectContext> m_document;
    QMetaObject::Connection m_changeConnection;
    QLabel *m_summary = nullptr;
};
