#include "Recurrence.h"

#include "ArrayController.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"

Recurrence::Recurrence(MyDocument &document)
    : m_document(document)
{
}

std::optional<Recurrence::Period> Recurrence::periodForFrequency(const QString &frequency)
{
    if (frequency == QLatin1String("Daily"))
        return Period{1, 0, 0};
    if (frequency == QLatin1String("Weekly"))
        return Period{7, 0, 0};
    if (frequency == QLatin1String("Biweekly"))
        return Period{14, 0, 0};
    if (frequency == QLatin1String("4-weekly"))
        return Period{28, 0, 0};
    if (frequency == QLatin1String("Monthly"))
        return Period{0, 1, 0};
    if (frequency == QLatin1String("Quarterly"))
        return Period{0, 3, 0};
    if (frequency == QLatin1String("Semesterly"))
        return Period{0, 6, 0};
    if (frequency == QLatin1String("Yearly"))
        return Period{0, 0, 1};
    // "Never", empty and anything else: no recurrence.
    return std::nullopt;
}

QDateTime Recurrence::addPeriod(const QDateTime &date, const Period &period)
{
    if (!date.isValid())
        return {};
    // The arithmetic runs on the local calendar date; the wall-clock time is
    // put back afterwards, so a step across a clock change keeps it.
    // QDate::addMonths/addYears clamp to the last day of a shorter month.
    const QDateTime local = date.toLocalTime();
    const QDate day = local.date().addYears(period.years).addMonths(period.months).addDays(period.days);
    QDateTime next(day, local.time(), Qt::LocalTime);
    if (!next.isValid()) {
        // The time of day does not exist on that date (skipped by a clock
        // change): fall back to adding the elapsed calendar days.
        next = local.addYears(period.years).addMonths(period.months).addDays(period.days);
    }
    return next;
}

void Recurrence::performRecurrenceForTODOItem(TODOItem *item, TODOList *list, ArrayController *controller)
{
    if (!item)
        return;

    // 1. A due date and a real frequency are needed.
    const QDateTime dueDate = item->dueDate();
    const QString frequency = item->frequency();
    if (!dueDate.isValid() || frequency.isEmpty() || frequency == QLatin1String("Never"))
        return;

    // 2. The next occurrence exists already (completed twice, or un-completed
    // and completed again).
    if (item->childID() != 0)
        return;

    // 3. Unknown frequencies end here.
    const std::optional<Period> period = periodForFrequency(frequency);
    if (!period)
        return;

    // 4. The next dates, one period on.
    const QDateTime nextDue = addPeriod(dueDate, *period);
    const QDateTime startDate = item->startDate();
    const QDateTime nextStart = startDate.isValid() ? addPeriod(startDate, *period) : QDateTime();

    // 5. The chain ends at the until date (a due date on it is allowed).
    const QDateTime untilDate = item->untilDate();
    if (untilDate.isValid() && nextDue > untilDate)
        return;

    TODOList *targetList = list ? list : item->list();
    ManagedObjectContext *context = m_document.managedObjectContext();
    if (!context)
        return;

    // 6. The basic filter, so that the new row is not hidden while it is set up.
    m_document.changeFiltersToNormal();

    // 7. The new item, in the same list. It joins the list before it gets
    // its identifier, so that the identifier is unique among the list's items.
    auto *next = context->insert<TODOItem>(TODOItem::EntityName);
    next->setList(targetList);

    // 8. Everything but identifiers and the list.
    item->copyTo(next, false, false);

    // 9. Fresh identifiers: a new record for the server.
    next->resetIDs();

    // 10. The chain links.
    next->setParentID(item->id_());
    item->setChildID(next->id_());
    next->setChildID(0);

    // 11. Open again, with the new dates.
    next->setCompletionDate(QDateTime());
    next->setCompletionPercentage(0);
    next->setState(RecordState::Open);
    next->setDueDate(nextDue);
    next->setStartDate(nextStart);

    // 12. Shown by the quadrant that showed the completed item.
    if (controller) {
        if (controller->content().contains(next))
            controller->rearrangeObjects();
        else
            controller->addObject(next);
    }

    qCDebug(lcDocument).noquote() << QStringLiteral("Next occurrence of '%1' (%2) due %3 with id %4")
                                         .arg(item->name(), frequency, nextDue.toString(Qt::ISODate))
                                         .arg(next->id_());

    // 13. The user's filters again.
    m_document.updateFilters();
}
