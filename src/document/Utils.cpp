#include "Utils.h"

#include "SortDescriptor.h"
#include "TODOItem.h"

#include <QRegularExpression>
#include <QTime>

#include <algorithm>

namespace {

const QString kStartDate = QStringLiteral("startDate");
const QString kDueDate = QStringLiteral("dueDate");
const QString kCompletionDate = QStringLiteral("completionDate");
const QString kOwnerUsername = QStringLiteral("ownerUsername");

// The bounds of one date attribute, as far as they exist, joined by AND.
Predicate dateWithinBounds(const QString &key, const QDateTime *minDate, const QDateTime *maxDate)
{
    QList<Predicate> parts;
    if (minDate)
        parts << Predicate::compare(key, Predicate::Op::GreaterOrEqual, *minDate);
    if (maxDate)
        parts << Predicate::compare(key, Predicate::Op::Less, *maxDate);
    return Predicate::andPredicate(parts);
}

QList<ManagedObject *> asObjects(const QList<TODOItem *> &items)
{
    QList<ManagedObject *> objects;
    objects.reserve(items.size());
    for (TODOItem *item : items)
        objects.append(item);
    return objects;
}

QList<TODOItem *> asItems(const QList<ManagedObject *> &objects)
{
    QList<TODOItem *> items;
    items.reserve(objects.size());
    for (ManagedObject *object : objects)
        items.append(static_cast<TODOItem *>(object));
    return items;
}

// Per group, the items the predicate lets through; groups left empty are dropped.
Utils::ItemGroups filterGroups(const Utils::ItemGroups &groups, const Predicate &predicate)
{
    Utils::ItemGroups result;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        QList<TODOItem *> kept;
        for (TODOItem *item : it.value()) {
            if (item && predicate.evaluate(item))
                kept.append(item);
        }
        if (!kept.isEmpty())
            result.insert(it.key(), kept);
    }
    return result;
}

} // namespace

// --- Filters ---------------------------------------------------------------------

Predicate Utils::filterItemsBetweenMinDate(const QDateTime &minDate, const QDateTime &maxDate, const QDateTime &now)
{
    Q_UNUSED(now) // the range alone decides

    const bool hasMin = minDate.isValid() && minDate > distantPast();
    const bool hasMax = maxDate.isValid() && maxDate < distantFuture();
    if (!hasMin && !hasMax)
        return {};

    const QDateTime *lower = hasMin ? &minDate : nullptr;
    const QDateTime *upper = hasMax ? &maxDate : nullptr;

    QList<Predicate> alternatives;
    alternatives << Predicate::andPredicate(
        {Predicate::isNil(kStartDate), Predicate::isNil(kDueDate), Predicate::isNil(kCompletionDate)});
    alternatives << dateWithinBounds(kStartDate, lower, upper);
    alternatives << dateWithinBounds(kDueDate, lower, upper);
    alternatives << dateWithinBounds(kCompletionDate, lower, upper);
    // Started before the range and due at or after its end: spans the whole range.
    if (hasMin && hasMax) {
        alternatives << Predicate::andPredicate({Predicate::compare(kStartDate, Predicate::Op::Less, minDate),
                                                 Predicate::compare(kDueDate, Predicate::Op::GreaterOrEqual, maxDate)});
    }
    return Predicate::orPredicate(alternatives);
}

Predicate Utils::filterForItemsThatHaveDueDate()
{
    return Predicate::isNotNil(kDueDate);
}

Predicate Utils::filterByOwnerUsernames(const QStringList &usernames)
{
    if (usernames.isEmpty())
        return {};
    QList<Predicate> alternatives;
    alternatives.reserve(usernames.size());
    for (const QString &name : usernames)
        alternatives << Predicate::equal(kOwnerUsername, name);
    return Predicate::orPredicate(alternatives);
}

Predicate Utils::searchPredicate(const QString &text)
{
    // The text is a value of the predicate, never part of a format: quotes,
    // percent signs and backslashes in it match themselves.
    return Predicate::contains(QStringLiteral("name"), text) || Predicate::contains(QStringLiteral("descriptionText"), text);
}

QDateTime Utils::distantPast()
{
    static const QDateTime date(QDate(1, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

QDateTime Utils::distantFuture()
{
    static const QDateTime date(QDate(4001, 1, 1), QTime(0, 0), Qt::UTC);
    return date;
}

// --- Master list helpers ------------------------------------------------------------

QList<TODOItem *> Utils::olderFirst(const QList<TODOItem *> &items)
{
    // Each due date is read once; undated items go after every dated one and
    // keep their order among themselves.
    struct Entry {
        TODOItem *item;
        qint64 due;
        bool dated;
    };
    std::vector<Entry> entries;
    entries.reserve(items.size());
    for (TODOItem *item : items) {
        const QDateTime due = item ? item->dueDate() : QDateTime();
        entries.push_back({item, due.isValid() ? due.toMSecsSinceEpoch() : 0, due.isValid()});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) {
        if (a.dated != b.dated)
            return a.dated;
        return a.dated && a.due < b.due;
    });
    QList<TODOItem *> sorted;
    sorted.reserve(items.size());
    for (const Entry &e : entries)
        sorted.append(e.item);
    return sorted;
}

QList<TODOItem *> Utils::sortByIndex(const QList<TODOItem *> &items, bool ascending)
{
    QList<ManagedObject *> objects = asObjects(items);
    SortDescriptor::sort(objects, {SortDescriptor(QStringLiteral("index"), ascending, SortDescriptor::Comparison::Numeric)});
    return asItems(objects);
}

QList<TODOItem *> Utils::sortByAlphabetical(const QList<TODOItem *> &items, bool ascending)
{
    QList<ManagedObject *> objects = asObjects(items);
    SortDescriptor::sort(objects, {SortDescriptor(QStringLiteral("name"), ascending, SortDescriptor::Comparison::Localized)});
    return asItems(objects);
}

Utils::ItemGroups Utils::filterItemsBySearchField(const QString &text, const ItemGroups &groups)
{
    if (groups.isEmpty())
        return {};
    if (text.isEmpty())
        return groups;
    return filterGroups(groups, searchPredicate(text));
}

Utils::ItemGroups Utils::filterItemsByOwner(const QString &username, const ItemGroups &groups)
{
    if (groups.isEmpty())
        return {};
    if (username.isEmpty())
        return groups;
    return filterGroups(groups, Predicate::equal(kOwnerUsername, username));
}

bool Utils::validateEmail(const QString &text)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(
        QStringLiteral("[A-Z0-9a-z._%+-]+@[A-Za-z0-9.-]+\\.[A-Za-z]{2,4}")));
    return pattern.match(text).hasMatch();
}
