#pragma once

#include <QMainWindow>
#include <QPointer>

class AppDelegate;
class MyDocument;
class QLabel;

// The application's one window. For now a placeholder that names the open
// store and how many lists and items its document shows; the window title is
// the document's display name.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(AppDelegate *delegate, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The text of the placeholder, as shown.
    QString summaryText() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void watchDocument(MyDocument *document);
    void refresh();

    AppDelegate *m_delegate = nullptr;
    QPointer<MyDocument> m_document;
    QList<QMetaObject::Connection> m_connections;
    QLabel *m_summary = nullptr;
};
