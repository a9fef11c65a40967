#include "LinkOpener.h"

#include "Logging.h"
#include "MyDocument.h"
#include "SyncUtils.h"

#include <QTimer>
#include <QUrl>

LinkOpener::LinkOpener(MyDocument *document, int firstMilliseconds, int retryMilliseconds, QObject *parent)
    : QObject(parent)
    , m_document(document)
    , m_firstMilliseconds(firstMilliseconds)
    , m_retryMilliseconds(retryMilliseconds)
{
}

bool LinkOpener::handleURLEvent(const QString &text)
{
    qCInfo(lcApp).noquote() << text;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return false;
    Target target;
    if (const std::optional<qint64> id = SyncUtils::projectIDFromURL(url)) {
        target = {[this, id = *id] { return m_document->selectProjectWithID(id); },
                  tr("Syncing and searching for project ..."), tr("The project was not found")};
    } else if (const std::optional<qint64> id = SyncUtils::itemIDFromURL(url)) {
        target = {[this, id = *id] { return m_document->selectItemWithServerID(id); },
                  tr("Syncing and searching for item ..."),
                  tr("The item was not found. Maybe you don't own that item, it was already erased or it is being "
                     "filtered by the UI at this moment.")};
    } else {
        return false;
    }
    QTimer::singleShot(m_firstMilliseconds, this, [this, target] { attempt(target, false); });
    return true;
}

void LinkOpener::attempt(const Target &target, bool lastTry)
{
    if (!m_document)
        return;
    const bool found = target.select();
    if (!lastTry && !found) {
        m_document->setStatusBarMessage(target.searching);
        QTimer::singleShot(m_retryMilliseconds, this, [this, target] { attempt(target, true); });
        return;
    }
    if (!lastTry)
        return;
    if (!found)
        m_document->alerts()->warn(tr("Not found"), target.notFound);
    m_document->clearStatusBarMessage();
}
