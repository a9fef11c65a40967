#include "QuadrantFilters.h"

#include "ArrayController.h"
#include "Clock.h"
#include "Defaults.h"
#include "Logging.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TodoModel.h"
#include "Utils.h"

namespace {

const QString kShowingKey = QStringLiteral("showingComboBox");
const QString kSortingKey = QStringLiteral("sortingComboBox");

// The date filter looks one day ahead of now.
constexpr qint64 kOneDaySeconds = 86400;

// The date order (TODOItem::compareByDates) as keys derived once per sort.
SortDescriptor::RecordKey itemDateOrderKey(const ManagedObject *item, DateUtils::LocalOffsets &offsets)
{
    return static_cast<const TODOItem *>(item)->dateOrderKey(offsets);
}

} // namespace

QuadrantFilters::QuadrantFilters(MyDocument &document)
    : m_document(document)
{
}

int QuadrantFilters::itemsState() const
{
    switch (m_showing) {
    case ShowOpen:
        return RecordState::Open;
    case ShowCompleted:
        return RecordState::Completed;
    default:
        return -1;
    }
}

Predicate QuadrantFilters::basicPredicateForQuadrant(int quadrant)
{
    return Predicate::andPredicate({Predicate::equal(QStringLiteral("quadrant"), quadrant),
                                    Predicate::notEqual(QStringLiteral("state"), int(RecordState::Trashed)),
                                    Predicate::notEqual(QStringLiteral("state"), int(RecordState::Deleted))});
}

Predicate QuadrantFilters::predicateForQuadrant(int quadrant) const
{
    QList<Predicate> parts{basicPredicateForQuadrant(quadrant)};
    if (!m_searchText.isEmpty())
        parts << Utils::searchPredicate(m_searchText);
    const int state = itemsState();
    if (state >= 0) {
        // Negative states are shown whatever the choice.
        parts << (Predicate::equal(QStringLiteral("state"), state)
                  || Predicate::compare(QStringLiteral("state"), Predicate::Op::Less, 0));
    }
    Predicate predicate = Predicate::andPredicate(parts);

    const Predicate dates = Utils::filterItemsBetweenMinDate(m_minDate, m_maxDate, Clock::now().addSecs(kOneDaySeconds));
    if (!dates.isNull())
        predicate = dates && predicate;
    if (onlyDatedItems())
        predicate = Utils::filterForItemsThatHaveDueDate() && predicate;
    return predicate;
}

QList<SortDescriptor> QuadrantFilters::sortDescriptorsForChoice(int position)
{
    using C = SortDescriptor::Comparison;
    switch (position) {
    case 0:
        return {SortDescriptor(QStringLiteral("index"), false, C::Numeric)};
    case 1:
        return {SortDescriptor(QStringLiteral("name"), true, C::Localized)};
    case 2:
        return {SortDescriptor(true, itemDateOrderKey)};
    case 3:
        return {SortDescriptor(false, itemDateOrderKey)};
    case 4:
        return {SortDescriptor(QStringLiteral("completionPercentage"), false, C::Numeric)};
    case 5:
        return {SortDescriptor(QStringLiteral("completionPercentage"), true, C::Numeric)};
    case 6:
        return {SortDescriptor(QStringLiteral("icon"), false, C::Text)};
    case 7:
        return {SortDescriptor(QStringLiteral("creationDate"), false, C::Date)};
    case 8:
        return {SortDescriptor(QStringLiteral("creationDate"), true, C::Date)};
    case 9:
        return {SortDescriptor(QStringLiteral("completionDate"), false, C::Date)};
    case 10:
        return {SortDescriptor(QStringLiteral("completionDate"), true, C::Date)};
    case 11:
        return {SortDescriptor(QStringLiteral("timestamp"), false, C::Numeric)};
    case 12:
        return {SortDescriptor(QStringLiteral("timestamp"), true, C::Numeric)};
    default:
        return {};
    }
}

void QuadrantFilters::updateFilters()
{
    for (int q = 0; q < Quadrant::Count; ++q) {
        const Predicate predicate = predicateForQuadrant(q);
        if (ArrayController *controller = m_document.controllerForQuadrant(q)) {
            // Installing the filter rearranges the controller.
            controller->setFilterPredicate(predicate);
        }
        qCInfo(lcDocument).noquote() << QStringLiteral("%1 pred: %2").arg(q).arg(predicate.toString());
    }

    // The sidebar's overviews count with the same choices.
    m_document.cleanListCustomCells();
    emit m_document.filtersChanged();
    savePreferences();
    m_document.adjustItemIndices();
}

void QuadrantFilters::changeFiltersToNormal()
{
    for (int q = 0; q < Quadrant::Count; ++q) {
        if (ArrayController *controller = m_document.controllerForQuadrant(q))
            controller->setFilterPredicate(basicPredicateForQuadrant(q));
    }
}

void QuadrantFilters::updateSortDescriptors()
{
    const QList<SortDescriptor> descriptors = sortDescriptorsForChoice(m_sorting);
    if (descriptors.isEmpty()) {
        qCWarning(lcDocument) << "BUG in sorting";
    } else {
        for (int q = 0; q < Quadrant::Count; ++q) {
            // Installing the order rearranges the controller.
            if (ArrayController *controller = m_document.controllerForQuadrant(q))
                controller->setSortDescriptors(descriptors);
        }
        m_document.cleanListCustomCells();
        emit m_document.filtersChanged();
        savePreferences();
        if (m_sorting == 0)
            m_document.adjustItemIndices();
    }
    m_document.closeDrawer();
}

void QuadrantFilters::showNewItems()
{
    if (m_searchText.isEmpty() && m_showing != ShowCompleted && !onlyDatedItems())
        return;
    if (!m_searchText.isEmpty()) {
        m_searchText.clear();
    }
    if (m_showing == ShowCompleted)
        m_showing = ShowOpen;
    m_hasDueDate = 0;
    updateFilters();
}

void QuadrantFilters::dateRangeWithMin(const QDateTime &minDate, const QDateTime &maxDate)
{
    m_minDate = minDate;
    m_maxDate = maxDate;
    updateFilters();
}

void QuadrantFilters::loadPreferences()
{
    const Defaults &defaults = Defaults::standard();
    m_showing = defaults.intValue(kShowingKey, ShowOpen);
    m_sorting = defaults.intValue(kSortingKey, 0);
}

void QuadrantFilters::savePreferences()
{
    Defaults &defaults = Defaults::standard();
    // Every filter change saves; writing only what differs leaves the file
    // alone when the choices have not changed.
    const auto store = [&defaults](const QString &key, int value) {
        if (!defaults.contains(key) || defaults.value(key).toInt() != value)
            defaults.setValue(key, value);
    };
    store(kShowingKey, m_showing);
    store(kSortingKey, m_sorting);
    defaults.synchronize();
}

bool QuadrantFilters::isManualOrder(const ArrayController *controller)
{
    const QList<SortDescriptor> &sort = controller->sortDescriptors();
    return sort.isEmpty() || sort.constFirst().key() == QLatin1String("index");
}
