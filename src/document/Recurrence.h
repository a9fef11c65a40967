#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

class ArrayController;
class MyDocument;
class TODOItem;
class TODOList;

// Creates the next occurrence of a completed recurring item.
class Recurrence
{
public:
    // A period of a frequency, added as calendar components.
    struct Period {
        int days = 0;
        int months = 0;
        int years = 0;
    };

    explicit Recurrence(MyDocument &document);

    // Creates the next occurrence of a just-completed item, when it has a due
    // date, a known frequency and no successor yet, and the next due date does
    // not pass its until date. The controller is the quadrant's that shows the
    // item, or none.
    void performRecurrenceForTODOItem(TODOItem *item, TODOList *list, ArrayController *controller);

    // The period of a frequency text; none for "Never", empty or unknown texts.
    static std::optional<Period> periodForFrequency(const QString &frequency);
    // The date moved on by the period in the local calendar: days are calendar
    // days (the time of day is kept across clock changes); months and years
    // keep the day of the month or fall back to the month's last day.
    static QDateTime addPeriod(const QDateTime &date, const Period &period);

private:
    MyDocument &m_document;
};
