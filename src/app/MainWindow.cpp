#include "MainWindow.h"

#include "AppDelegate.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QAction>
#include <QCloseEvent>
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
    connect(quit, &QAction::triggered, m_delegate, &AppDelegate::requestQuit);

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

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window quits, once everything is saved.
    if (!m_delegate->terminating()) {
        event->ignore();
        m_delegate->requestQuit();
        return;
    }
    event->accept();
}

QString MainWindow::summaryText() const
{
    return m_summary->text();
}

void MainWindow::watchDocument(MyDocument *document)
{
    for (const QMetaObject::Connection &connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    m_document = document;
    if (document) {
        m_connections << connect(document->managedObjectContext(), &ManagedObjectContext::objectsDidChange, this,
                                 &MainWindow::refresh);
        // The title names the selected list and follows its renames.
        m_connections << connect(document, &MyDocument::displayNameChanged, this, &MainWindow::refresh);
    }
    refresh();
}

void MainWindow::refresh()
{
    if (!m_document) {
        setWindowTitle(QStringLiteral("Corvane"));
        m_summary->setText(tr("No store is open."));
        return;
    }
    setWindowTitle(m_document->displayName());

    // What the sidebar and the quadrants show: lists and items neither trashed nor deleted.
    const QList<TODOList *> lists = m_document->getAllProjects();
    int items = 0;
    for (TODOList *list : lists) {
        for (const TODOItem *item : list->contains()) {
            if (RecordState::isShown(item->state()))
                ++items;
        }
    }
    m_summary->setText(tr("Store: %1\n\n%2 lists, %3 items")
                           .arg(QDir::toNativeSeparators(m_document->managedObjectContext()->storePath()),
                                QString::number(lists.size()), QString::number(items)));
}
