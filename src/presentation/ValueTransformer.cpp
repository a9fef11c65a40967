#include "ValueTransformer.h"

#include "DisplayTransformers.h"

#include <QHash>

#include <functional>
#include <memory>

QVariant ValueTransformer::reverseTransformedValue(const QVariant &) const
{
    return {};
}

namespace {

using Factory = std::function<std::unique_ptr<ValueTransformer>()>;

template <class T>
std::pair<QString, Factory> entry(const char *name)
{
    return {QString::fromLatin1(name), [] { return std::make_unique<T>(); }};
}

// Every transformer a binding may name, by its class name.
const QHash<QString, Factory> &factories()
{
    static const QHash<QString, Factory> table{
        entry<ImageTransformer>("ImageTransformer"),
        entry<ImageTransformerEnhanced>("ImageTransformerEnhanced"),
        entry<ImageTransformerMasterList>("ImageTransformerMasterList"),
        entry<PercentageTransformer>("PercentageTransformer"),
        entry<DiscretizeTransformer>("DiscretizeTransformer"),
        entry<PercentageToStateTransformer>("PercentageToStateTransformer"),
        entry<DateToStringTransformer>("DateToStringTransformer"),
        entry<EpochToStringTransformer>("EpochToStringTransformer"),
        entry<NSDateToDayOfTheWeekTransformer>("NSDateToDayOfTheWeekTransformer"),
        entry<FontColorFromDueDate>("FontColorFromDueDate"),
        entry<IsNotNeverOrNilValueTransformer>("IsNotNeverOrNilValueTransformer"),
        entry<NSNumberToNSString>("NSNumberToNSString"),
        entry<EffortValueToDurationString>("EffortValueToDurationString"),
        entry<CounterFirstQuadrantTransformer>("CounterFirstQuadrantTransformer"),
        entry<StringToColorTransformer>("StringToColorTransformer"),
        entry<IsInitStringValueTransformer>("IsInitStringValueTransformer"),
        entry<IsNotNilOrZero>("IsNotNilOrZero"),
        entry<IsSyncingTransformer>("IsSyncingTransformer"),
        entry<IsNotNilOrEmptyString>("IsNotNilOrEmptyString"),
        entry<IsNotNil>("NSIsNotNil"),
    };
    return table;
}

} // namespace

const ValueTransformer *ValueTransformer::valueTransformerForName(const QString &name)
{
    static QHash<QString, std::shared_ptr<const ValueTransformer>> instances;
    auto found = instances.constFind(name);
    if (found != instances.constEnd())
        return found->get();
    const auto factory = factories().constFind(name);
    if (factory == factories().constEnd())
        return nullptr;
    return instances.insert(name, (*factory)())->get();
}
