#pragma once

#include "Predicate.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class TODOItem;

// Class-level helpers of the document: the date, due-date, owner and search
// filters, and the list helpers of the master list.
class Utils
{
public:
    using ItemGroups = QHash<QString, QList<TODOItem *>>;

    // The whole text is one e-mail address: "[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,4}".
    static bool validateEmail(const QString &text);

    // --- Filters ----------------------------------------------------------------
    // Items with no dates at all, or a start, due or completion date in
    // [minDate, maxDate), or starting before minDate and due at or after maxDate.
    // None (a null Predicate) when neither bound is given. The distant past and
    // the distant future (see distantPast/distantFuture) count as no bound.
    static Predicate filterItemsBetweenMinDate(const QDateTime &minDate, const QDateTime &maxDate, const QDateTime &now);
    // "(dueDate <> NIL)"
    static Predicate filterForItemsThatHaveDueDate();
    // Any of "(ownerUsername = %@)"; none for no names.
    static Predicate filterByOwnerUsernames(const QStringList &usernames);
    // Name or notes contain the text, ignoring case and diacritics.
    static Predicate searchPredicate(const QString &text);

    static QDateTime distantPast();
    static QDateTime distantFuture();

    // --- Master list helpers ----------------------------------------------------------
    // Sorted by due date, earliest first; undated items last.
    static QList<TODOItem *> olderFirst(const QList<TODOItem *> &items);
    static QList<TODOItem *> sortByIndex(const QList<TODOItem *> &items, bool ascending);
    static QList<TODOItem *> sortByAlphabetical(const QList<TODOItem *> &items, bool ascending);
    // Per group, the items whose name or notes contain the text; groups left
    // empty are dropped. An empty text yields the groups unchanged; no groups
    // yields none (std::nullopt is not needed: an empty hash).
    static ItemGroups filterItemsBySearchField(const QString &text, const ItemGroups &groups);
    static ItemGroups filterItemsByOwner(const QString &username, const ItemGroups &groups);
};
