// What the window's item model adds to a quadrant of 10,000 items, beside
// the same work on the array controller alone.
//
//   ModelResort/N       the quadrant switches between index and date order
//                       with its item model (and a selected row) attached
//   ControllerResort/N  the same on a quadrant without a model
//   ModelEdit/N         one item renamed and the change announced: the
//                       controllers rearrange (index order) and the model
//                       updates its row
//   ControllerEdit/N    the same without a model
//
// N is the number of items in the quadrant.

#include "ArrayController.h"
#include "BenchSupport.h"
#include "Clock.h"
#include "Defaults.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "QuadrantFilters.h"
#include "QuadrantItemModel.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <map>
#include <memory>

namespace {

enum class Attached { Model, Nothing };

struct Fixture {
    std::unique_ptr<MyDocument> document;
    std::unique_ptr<QuadrantItemModel> model;
};

std::map<std::pair<int, Attached>, Fixture> g_fixtures;

// A selected list of `count` open items in quadrant 0, half of them dated.
Fixture &fixtureWith(int count, Attached attached)
{
    auto it = g_fixtures.find({count, attached});
    if (it != g_fixtures.end())
        return it->second;
    Fixture f;
    f.document = std::make_unique<MyDocument>(std::make_unique<ManagedObjectContext>(todoListModel()));
    ManagedObjectContext *context = f.document->managedObjectContext();
    context->setUndoManager(nullptr);
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Bench"));
    f.document->selectProject(list);
    const QDateTime base(QDate(2026, 1, 1), QTime(9, 0));
    for (int i = 0; i < count; ++i) {
        auto *item = context->insert<TODOItem>(TODOItem::EntityName);
        item->setId_(i + 1);
        item->setName(QStringLiteral("Item %1").arg(i));
        item->setIndex((count - i) * 100);
        if (i % 2 == 0)
            item->setDueDate(base.addSecs(qint64((i * 7919) % count) * 3600));
        item->setList(list);
    }
    context->processPendingChanges();
    if (attached == Attached::Model)
        f.model = std::make_unique<QuadrantItemModel>(f.document.get(), 0);
    f.document->controllerForQuadrant(0)->setSelectionIndexes({count / 2});
    return g_fixtures.emplace(std::pair{count, attached}, std::move(f)).first->second;
}

void resort(benchmark::State &state, Attached attached)
{
    Fixture &f = fixtureWith(int(state.range(0)), attached);
    ArrayController *quadrant = f.document->controllerForQuadrant(0);
    const QList<SortDescriptor> byIndex = QuadrantFilters::sortDescriptorsForChoice(0);
    const QList<SortDescriptor> byDates = QuadrantFilters::sortDescriptorsForChoice(2);
    bool dates = false;
    for (auto _ : state) {
        dates = !dates;
        quadrant->setSortDescriptors(dates ? byDates : byIndex);
        benchmark::DoNotOptimize(quadrant->selectionIndexes());
    }
}

void edit(benchmark::State &state, Attached attached)
{
    Fixture &f = fixtureWith(int(state.range(0)), attached);
    ArrayController *quadrant = f.document->controllerForQuadrant(0);
    // Index order, whatever the re-sort benchmark left behind: an edit re-sorts the quadrant.
    quadrant->setSortDescriptors(QuadrantFilters::sortDescriptorsForChoice(0));
    auto *item = static_cast<TODOItem *>(quadrant->arrangedObjects().at(quadrant->arrangedObjects().size() / 3));
    int round = 0;
    for (auto _ : state) {
        item->setName(QStringLiteral("Renamed %1").arg(++round));
        f.document->managedObjectContext()->processPendingChanges();
    }
}


} // namespace

int main(int argc, char **argv)
{
    const BenchEnvironment environment(argc, argv);

    const auto add = [](const char *name, void (*run)(benchmark::State &, Attached), Attached attached) {
        benchmark::RegisterBenchmark(name, [run, attached](benchmark::State &state) { run(state, attached); })
            ->Arg(10000)
            ->Unit(benchmark::kMillisecond);
    };
    add("ModelResort", resort, Attached::Model);
    add("ControllerResort", resort, Attached::Nothing);
    add("ModelEdit", edit, Attached::Model);
    add("ControllerEdit", edit, Attached::Nothing);

    const int result = runBenchmarksWithRatios(argc, argv,
                                               {{"ModelResort/10000", "ControllerResort/10000"},
                                                {"ModelEdit/10000", "ControllerEdit/10000"}});
    g_fixtures.clear();
    Defaults::useFileForTesting(QString());
    return result;
}
