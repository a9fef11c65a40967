#include "DocumentCalendar.h"

#include "Defaults.h"
#include "MyDocument.h"
#include "iCalController.h"

DocumentCalendar::DocumentCalendar(MyDocument *document)
    : m_document(document)
{
    document->setCalendar(this);
    if (iCalController *controller = iCalController::sharedInstance())
        controller->startObservingCalendarNotifications(document);
    if (Defaults::standard().boolValue(QStringLiteral("doAutoCalSync")))
        document->startCalendarSyncTimer();
}

DocumentCalendar::~DocumentCalendar()
{
    if (m_document && m_document->calendar() == this)
        m_document->setCalendar(nullptr);
}

void DocumentCalendar::updateEventForItem(TODOItem *item, TODOList *list)
{
    if (iCalController *controller = iCalController::sharedInstance())
        controller->updateEventForItem(item, list);
}

void DocumentCalendar::deleteEventForItem(TODOItem *item, TODOList *list)
{
    if (iCalController *controller = iCalController::sharedInstance())
        controller->deleteEventForItem(item, list);
}

void DocumentCalendar::exportToCalendar(MyDocument *document)
{
    if (iCalController *controller = iCalController::sharedInstance())
        controller->exportToCalendarFromDocument(document);
}

void DocumentCalendar::importFromCalendar(MyDocument *document)
{
    if (iCalController *controller = iCalController::sharedInstance())
        controller->importFromCalendarToDocument(document);
}
