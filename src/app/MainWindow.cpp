#include "MainWindow.h"

#include "AppDelegate.h"
#include "ManagedObjectContext.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>

MainWindow::MainWindow(AppDelegate *delegate, QWidget *parent)
    : QMainWindow(parent)
    , m_delegate(delegate)
{
    setWindowTitle(QStringLiteral("Corvane"));
    resize(960, 640);

    QMenu *fileMenu = menuBar()->addMenu(tr("&File"));
    QAction *quit = fileMenu->addAction(tr("&Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    // Quitting goes through the application so that its aboutToQuit handlers run.
    connect(quit, &QAction::triggered, qApp, &QApplication::quit, Qt::QueuedConnection);

    m_summary = new QLabel(this);
    m_summary->setAlignment(Qt::AlignCenter);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_summary->setWordWrap(true);
    m_summary->setMargin(24);
    setCentralWidget(m_summary);

    connect(m_delegate, &AppDelegate::documentChanged, this, &MainWindow::watchDocument);
    watchDocument(m_delegate->document());
}

MainWindow::~MainWindow() = default;

QString MainWindow::summaryText() const
{
    return m_summary->text();
}

void MainWindow::watchDocument(ManagedObjectContext *document)
{
    disconnect(m_changeConnection);
    m_document = document;
    if (document)
        m_changeConnection = connect(document, &ManagedObjectContext::objectsDidChange, this, &MainWindow::refresh);
    refresh();
}

void MainWindow::refresh()
{
    if (!m_document) {
        m_summary->setText(tr("No store is open."));
        return;
    }
    const int lists = m_document->count(QStringLiteral("TODOList"));
    const int items = m_document->count(QStringLiteral("TODOItem"));
    m_summary->setText(tr("Store: %1\n\n%2 lists, %3 items")
                           .arg(QDir::toNativeSeparators(m_document->storePath()),
                                QString::number(lists), QString::number(items)));
}
