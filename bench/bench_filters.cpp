// Filtering and sorting the four quadrants of a list of 10,000 items, beside
// the same work written directly against the records.
//
//   UpdateFilters/N   the document's updateFilters() with a search text and
//                     the open-items choice (all four quadrants, index order)
//   DirectFilter/N    the same conditions tested with the typed accessors,
//                     each quadrant's rows stable-sorted by index, descending
//   SortByDates/N     the document's updateSortDescriptors() at position 2
//                     (date order) with the open-items choice
//   DescriptorSort/N  the sort step alone: SortDescriptor::sort with the date
//                     order's descriptors on each quadrant's filtered rows
//   KeySort/N         std::stable_sort of the same rows of each quadrant on
//                     64-bit keys computed beforehand (the due dates' order
//                     keys), the floor of any sort
//
// N is the number of items of the selected list, spread over the quadrants.

#include "ArrayController.h"
#include "BenchSupport.h"
#include "Clock.h"
#include "DateUtils.h"
#include "Defaults.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

namespace {

const QString kSearch = QStringLiteral("report");

struct Fixture {
    std::unique_ptr<MyDocument> document;
    TODOList *list = nullptr;
};

std::map<int, Fixture> g_fixtures;

// A document whose selected list holds `count` items: a tenth completed, one
// in fifty trashed, one in twelve mentioning the search text in its name or
// notes, two thirds with a due date and half with a start date.
Fixture &fixtureWith(int count)
{
    auto it = g_fixtures.find(count);
    if (it != g_fixtures.end())
        return it->second;

    Fixture f;
    f.document = std::make_unique<MyDocument>(std::make_unique<ManagedObjectContext>(todoListModel()));
    ManagedObjectContext *context = f.document->managedObjectContext();
    context->setUndoManager(nullptr);
    f.list = f.document->addNewProjectWithName(QStringLiteral("Bench"));
    f.document->selectProject(f.list);

    const QDateTime base(QDate(2026, 1, 1), QTime(9, 0));
    for (int i = 0; i < count; ++i) {
        auto *item = context->insert<TODOItem>(TODOItem::EntityName);
        item->setId_(i + 1);
        QString name = QStringLiteral("Item %1 of the bench list").arg(i);
        if (i % 12 == 0)
            name += QStringLiteral(" (Report)");
        item->setName(name);
        item->setDescriptionText(i % 12 == 6 ? QStringLiteral("Notes for the quarterly réport %1").arg(i)
                                             : QStringLiteral("Some notes for item %1").arg(i));
        item->setQuadrant(i % 4);
        item->setIndex((count - i) * 100);
        item->setIcon(QStringLiteral("empty_orange128.png"));
        const int state = i % 50 == 0 ? RecordState::Trashed : (i % 10 == 0 ? RecordState::Completed : RecordState::Open);
        item->setState(state);
        item->setCompletionPercentage(state == RecordState::Completed ? 100 : (i * 7) % 100);
        item->setCreationDate(base.addSecs(qint64(i) * 60));
        if (i % 3 != 0)
            item->setDueDate(base.addSecs(qint64((i * 7919) % count) * 3600));
        if (i % 2 == 0)
            item->setStartDate(base.addSecs(qint64((i * 104729) % count) * 1800));
        item->setAllDay(i % 5 == 0);
        item->setTimestamp(1767254400 + i);
        item->setList(f.list);
    }
    context->processPendingChanges();
    return g_fixtures.emplace(count, std::move(f)).first->second;
}

// The same folding the search does, written out: case always, diacritics
// only when the text is not plain ASCII.
bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool containsFolded(const QString &haystack, const QString &foldedNeedle)
{
    if (isAscii(haystack))
        return haystack.contains(foldedNeedle, Qt::CaseInsensitive);
    QString folded = haystack.normalized(QString::NormalizationForm_D);
    folded.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    return folded.toCaseFolded().contains(foldedNeedle);
}

// The conditions of the quadrant filter for open items, with an optional search.
bool passes(const TODOItem *item, int quadrant, const QString &foldedSearch)
{
    if (item->quadrant() != quadrant)
        return false;
    const int state = item->state();
    if (state == RecordState::Trashed || state == RecordState::Deleted)
        return false;
    if (!foldedSearch.isEmpty() && !containsFolded(item->name(), foldedSearch)
        && !containsFolded(item->descriptionText(), foldedSearch))
        return false;
    return state == RecordState::Open || state < 0;
}

template <typename Less>
std::vector<TODOItem *> directQuadrant(const QList<ManagedObject *> &content, int quadrant, const QString &foldedSearch, Less less)
{
    std::vector<TODOItem *> rows;
    for (ManagedObject *object : content) {
        auto *item = static_cast<TODOItem *>(object);
        if (passes(item, quadrant, foldedSearch))
            rows.push_back(item);
    }
    std::stable_sort(rows.begin(), rows.end(), less);
    return rows;
}

void UpdateFilters(benchmark::State &state)
{
    Fixture &f = fixtureWith(int(state.range(0)));
    QuadrantFilters &filters = f.document->filters();
    filters.setSortingChoice(0);
    f.document->updateSortDescriptors();
    filters.setShowingChoice(QuadrantFilters::ShowOpen);
    filters.setSearchText(kSearch);
    for (auto _ : state) {
        f.document->updateFilters();
        benchmark::DoNotOptimize(f.document->controllerForQuadrant(3)->arrangedObjects().size());
    }
    state.counters["rows"] = double(f.document->controllerForQuadrant(0)->arrangedObjects().size());
}

void DirectFilter(benchmark::State &state)
{
    Fixture &f = fixtureWith(int(state.range(0)));
    const QString folded = kSearch.toCaseFolded();
    size_t rows = 0;
    for (auto _ : state) {
        for (int q = 0; q < 4; ++q) {
            const auto arranged = directQuadrant(f.list->toMany(QStringLiteral("contains")), q, folded,
                                                 [](const TODOItem *a, const TODOItem *b) { return a->index() > b->index(); });
            benchmark::DoNotOptimize(arranged.data());
            if (q == 0)
                rows = arranged.size();
        }
    }
    state.counters["rows"] = double(rows);
}

void SortByDates(benchmark::State &state)
{
    Fixture &f = fixtureWith(int(state.range(0)));
    QuadrantFilters &filters = f.document->filters();
    filters.setShowingChoice(QuadrantFilters::ShowOpen);
    filters.setSearchText(QString());
    f.document->updateFilters();
    filters.setSortingChoice(2);
    for (auto _ : state) {
        f.document->updateSortDescriptors();
        benchmark::DoNotOptimize(f.document->controllerForQuadrant(3)->arrangedObjects().size());
    }
    state.counters["rows"] = double(f.document->controllerForQuadrant(0)->arrangedObjects().size());
}

// Each quadrant's open items in the list's order, as the filter leaves them.
std::vector<QList<ManagedObject *>> openRows(const Fixture &f)
{
    std::vector<QList<ManagedObject *>> quadrants;
    for (int q = 0; q < 4; ++q) {
        QList<ManagedObject *> rows;
        for (ManagedObject *object : f.list->toMany(QStringLiteral("contains"))) {
            if (passes(static_cast<TODOItem *>(object), q, QString()))
                rows.append(object);
        }
        quadrants.push_back(std::move(rows));
    }
    return quadrants;
}

void DescriptorSort(benchmark::State &state)
{
    Fixture &f = fixtureWith(int(state.range(0)));
    const std::vector<QList<ManagedObject *>> quadrants = openRows(f);
    const QList<SortDescriptor> descriptors = QuadrantFilters::sortDescriptorsForChoice(2);
    for (auto _ : state) {
        for (const QList<ManagedObject *> &rows : quadrants) {
            QList<ManagedObject *> sorted = rows;
            SortDescriptor::sort(sorted, descriptors);
            benchmark::DoNotOptimize(sorted.data());
        }
    }
    state.counters["rows"] = double(quadrants.front().size());
}

void KeySort(benchmark::State &state)
{
    Fixture &f = fixtureWith(int(state.range(0)));
    using Row = std::pair<qint64, TODOItem *>;
    std::vector<std::vector<Row>> quadrants;
    for (const QList<ManagedObject *> &open : openRows(f)) {
        std::vector<Row> rows;
        for (ManagedObject *object : open) {
            auto *item = static_cast<TODOItem *>(object);
            rows.emplace_back(DateUtils::orderKey(item->dueDate(), item->allDay()), item);
        }
        quadrants.push_back(std::move(rows));
    }
    for (auto _ : state) {
        for (const std::vector<Row> &rows : quadrants) {
            std::vector<Row> sorted = rows;
            std::stable_sort(sorted.begin(), sorted.end(), [](const Row &a, const Row &b) { return a.first < b.first; });
            benchmark::DoNotOptimize(sorted.data());
        }
    }
    state.counters["rows"] = double(quadrants.front().size());
}


} // namespace

int main(int argc, char **argv)
{
    const BenchEnvironment environment(argc, argv);
    Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(12, 0)));

    benchmark::RegisterBenchmark("UpdateFilters", UpdateFilters)->Arg(10000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("DirectFilter", DirectFilter)->Arg(10000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("SortByDates", SortByDates)->Arg(10000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("DescriptorSort", DescriptorSort)->Arg(10000)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("KeySort", KeySort)->Arg(10000)->Unit(benchmark::kMillisecond);

    const int result = runBenchmarksWithRatios(argc, argv,
                                               {{"UpdateFilters/10000", "DirectFilter/10000"},
                                                {"SortByDates/10000", "KeySort/10000"},
                                                {"DescriptorSort/10000", "KeySort/10000"}});
    g_fixtures.clear();
    Defaults::useFileForTesting(QString());
    return result;
}
