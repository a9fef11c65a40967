#include "AppDelegate.h"

#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TodoModel.h"

#include <memory>

AppDelegate::AppDelegate(QObject *parent)
    : QObject(parent)
{
}

AppDelegate::~AppDelegate() = default;

bool AppDelegate::reloadFile()
{
    m_lastError.clear();

    if (!m_document) {
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

    QString error;
    const QString path = StoreFiles::storePathAfterMigration(&error);
    if (path.isEmpty()) {
        m_lastError = error;
        qCWarning(lcApp).noquote() << QStringLiteral("Error reloading document after syncing: %1").arg(m_lastError);
        return false;
    }
    return reopenStore();
}

MyDocument *AppDelegate::document() const
{
    return m_document;
}

bool AppDelegate::reopenStore()
{
    MyDocument *old = m_document;
    ManagedObjectContext *oldContext = old->managedObjectContext();
    QString error;
    if (!oldContext->save(&error)) {
        // Reopening now would drop the changes that could not be written.
        m_lastError = error;
        qCWarning(lcApp).noquote() << QStringLiteral("Error saving the initial document, %1").arg(error);
        qCWarning(lcApp).noquote() << QStringLiteral("Error reloading document after syncing: %1").arg(error);
        return false;
    }
    // A context that holds records cannot open a store again: a fresh one
    // reads the file, taking the lock over so no other process gets in between.
    auto context = std::make_unique<ManagedObjectContext>(todoListModel());
    MyDocument *replacement = nullptr;
    if (context->takeOverStore(*oldContext, &error)) {
        replacement = new MyDocument(std::move(context), this);
    } else {
        m_lastError = error;
        qCWarning(lcApp).noquote() << QStringLiteral("Error reloading document after syncing: %1").arg(error);
    }
    setDocument(replacement);
    // Callers up the stack may still hold the old document for this turn.
    old->deleteLater();
    return replacement != nullptr;
}

void AppDelegate::setDocument(MyDocument *document)
{
    m_document = document;
    emit documentChanged(document);
}
