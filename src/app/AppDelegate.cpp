#include "AppDelegate.h"

#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TodoModel.h"

#include <QCoreApplication>

#include <memory>

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

MyDocument *AppDelegate::document() const
{
    return m_document;
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

void AppDelegate::setDocument(MyDocument *document)
{
    m_document = document;
    emit documentChanged(document);
}
