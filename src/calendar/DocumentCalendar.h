#pragma once

#include "DocumentView.h"

#include <QPointer>

class MyDocument;

// The calendar the application installs on its document: the item
// operations' requests and the document's export and import actions reach
// the shared iCalController while calendar sync is on, and touch nothing
// while it is off.
class DocumentCalendar : public CalendarBridge
{
public:
    // Installs itself on the document. With calendar sync on, changes other
    // programs make to the calendar are imported into it; with automatic
    // sync on, the document's export timer starts.
    explicit DocumentCalendar(MyDocument *document);
    ~DocumentCalendar() override;
    DocumentCalendar(const DocumentCalendar &) = delete;
    DocumentCalendar &operator=(const DocumentCalendar &) = delete;

    void updateEventForItem(TODOItem *item, TODOList *list) override;
    void deleteEventForItem(TODOItem *item, TODOList *list) override;
    void exportToCalendar(MyDocument *document) override;
    void importFromCalendar(MyDocument *document) override;

private:
    QPointer<MyDocument> m_document;
};
