#include "SortDescriptor.h"

#include "Logging.h"
#include "ManagedObject.h"
#include "ObjectModel.h"
#include "Predicate.h"

#include <QCollator>
#include <QDateTime>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace {

// How many records ahead a loop over records asks for their values.
constexpr qsizetype kPrefetchAhead = 16;

enum class Reading : quint8 {
    None,     // nothing to compare: every record ranks the same
    Integer,
    Real,
    Text,
    Localized,
    Date,
    Binary,
    Object,
};

// One record's value under one descriptor, read once per sort.
struct SortKey {
    Reading reading = Reading::None;
    bool absent = false;   // no date, no destination record
    qint64 integer = 0;    // Integer, Date (ms since the epoch), Object (primary key)
    double real = 0;       // Integer and Real, for mixed comparisons
    QString text;          // Text, Localized; Binary as Latin-1, which keeps the byte order
};

// The locale-aware, case-insensitive collator of the user's locale, made once
// per thread and remade only when the default locale changes.
QCollator &localizedCollator()
{
    struct Cache {
        QLocale locale;
        std::optional<QCollator> collator;
    };
    thread_local Cache cache;
    const QLocale current;
    if (!cache.collator || cache.locale != current) {
        cache.locale = current;
        cache.collator.emplace(current);
        cache.collator->setCaseSensitivity(Qt::CaseInsensitive);
    }
    return *cache.collator;
}

template <typename T>
int threeWay(const T &a, const T &b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// NaN ranks before every number so that the order stays strict.
int compareReal(double a, double b)
{
    const bool nanA = std::isnan(a);
    const bool nanB = std::isnan(b);
    if (nanA || nanB)
        return nanA == nanB ? 0 : (nanA ? -1 : 1);
    return threeWay(a, b);
}

Reading readingForType(AttributeType type)
{
    switch (type) {
    case AttributeType::Int32:
    case AttributeType::Int64:
    case AttributeType::Bool:
        return Reading::Integer;
    case AttributeType::Double:
        return Reading::Real;
    case AttributeType::Text:
        return Reading::Text;
    case AttributeType::Date:
        return Reading::Date;
    case AttributeType::Binary:
        return Reading::Binary;
    }
    return Reading::None;
}

Reading readingForValue(const QVariant &v)
{
    if (!v.isValid())
        return Reading::None;
    if (v.metaType() == QMetaType::fromType<ManagedObject *>())
        return Reading::Object;
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Bool:
        return Reading::Integer;
    case QMetaType::Double:
    case QMetaType::Float:
        return Reading::Real;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return Reading::Date;
    case QMetaType::QByteArray:
        return Reading::Binary;
    default:
        return Reading::Text;
    }
}

// The attribute type a key resolves to, remembered per entity while reading
// many records: for a plain key it depends on the entity only.
struct TypeCache {
    const EntityDescription *entity = nullptr;
    bool known = false;
    AttributeType type = AttributeType::Int32;
};

SortKey readKey(const ManagedObject *object, const QString &key, SortDescriptor::Comparison comparison,
                TypeCache *cache = nullptr)
{
    SortKey k;
    if (!object)
        return k;
    const QVariant v = object->valueForKeyPath(key);

    // Default: by the attribute's type, else by what the value holds.
    Reading reading = Reading::None;
    bool integral = false;
    AttributeType type = AttributeType::Int32;
    bool known = false;
    if (cache && cache->entity == &object->entity()) {
        known = cache->known;
        type = cache->type;
    } else {
        known = Predicate::attributeTypeForKeyPath(object, key, &type);
        if (cache && !key.contains(QLatin1Char('.')))
            *cache = {&object->entity(), known, type};
    }
    switch (comparison) {
    case SortDescriptor::Comparison::Default:
        reading = known ? readingForType(type) : readingForValue(v);
        integral = reading == Reading::Integer;
        break;
    case SortDescriptor::Comparison::Numeric:
        reading = Reading::Real;
        integral = known ? readingForType(type) == Reading::Integer : readingForValue(v) == Reading::Integer;
        break;
    case SortDescriptor::Comparison::Localized:
        reading = Reading::Localized;
        break;
    case SortDescriptor::Comparison::Text:
        reading = Reading::Text;
        break;
    case SortDescriptor::Comparison::Date:
        reading = Reading::Date;
        break;
    case SortDescriptor::Comparison::Custom:
    case SortDescriptor::Comparison::Keyed:
        reading = Reading::None;
        break;
    }

    switch (reading) {
    case Reading::None:
        break;
    case Reading::Integer:
    case Reading::Real:
        // An absent number reads 0.
        if (integral) {
            k.reading = Reading::Integer;
            k.integer = v.toLongLong();
            k.real = double(k.integer);
        } else {
            k.reading = Reading::Real;
            k.real = v.toDouble();
        }
        break;
    case Reading::Text:
    case Reading::Localized:
        // Absent and empty text are alike.
        k.reading = reading;
        k.text = v.isValid() ? v.toString() : QString();
        break;
    case Reading::Date: {
        k.reading = Reading::Date;
        const QDateTime d = v.toDateTime();
        k.absent = !d.isValid();
        k.integer = k.absent ? 0 : d.toMSecsSinceEpoch();
        break;
    }
    case Reading::Binary:
        k.reading = Reading::Binary;
        k.text = QString::fromLatin1(v.toByteArray());
        break;
    case Reading::Object: {
        k.reading = Reading::Object;
        const ManagedObject *destination = v.value<ManagedObject *>();
        k.absent = !destination;
        k.integer = destination ? destination->primaryKey() : 0;
        break;
    }
    }
    return k;
}

// Three-way comparison of two keys read under the same descriptor, ascending.
int compareKeys(const SortKey &a, const SortKey &b)
{
    if (a.reading != b.reading) {
        // Mixed integer and real readings (records of different entities) compare as numbers.
        const bool numA = a.reading == Reading::Integer || a.reading == Reading::Real;
        const bool numB = b.reading == Reading::Integer || b.reading == Reading::Real;
        if (numA && numB)
            return compareReal(a.real, b.real);
        return threeWay(int(a.reading), int(b.reading));
    }
    switch (a.reading) {
    case Reading::None:
        return 0;
    case Reading::Integer:
        return threeWay(a.integer, b.integer);
    case Reading::Real:
        return compareReal(a.real, b.real);
    case Reading::Text:
    case Reading::Binary:
        return threeWay(QString::compare(a.text, b.text, Qt::CaseSensitive), 0);
    case Reading::Localized:
        return threeWay(localizedCollator().compare(a.text, b.text), 0);
    case Reading::Date:
        // A record without a date ranks before every dated one, so that in
        // ascending order undated records come first and in descending order
        // last; two undated records rank the same.
        if (a.absent || b.absent)
            return a.absent == b.absent ? 0 : (a.absent ? -1 : 1);
        return threeWay(a.integer, b.integer);
    case Reading::Object:
        // No natural order: to-one destinations group by primary key, none first.
        if (a.absent || b.absent)
            return a.absent == b.absent ? 0 : (a.absent ? -1 : 1);
        return threeWay(a.integer, b.integer);
    }
    return 0;
}

// Stable sort of records by one key each, keyOf(i) being objects[i]'s, read
// once in order of position. Keys and records are sorted together, without
// going back to the keys through positions for each comparison.
template <typename Key, typename KeyOf>
void sortByKeys(QList<ManagedObject *> &objects, KeyOf keyOf, bool ascending)
{
    std::vector<std::pair<Key, ManagedObject *>> rows;
    rows.reserve(size_t(objects.size()));
    for (qsizetype i = 0; i < objects.size(); ++i)
        rows.emplace_back(keyOf(i), objects[i]);
    if (ascending)
        std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    else
        std::stable_sort(rows.begin(), rows.end(), [](const auto &a, const auto &b) { return b.first < a.first; });
    for (size_t i = 0; i < rows.size(); ++i)
        objects[qsizetype(i)] = rows[i].second;
}

} // namespace

SortDescriptor::SortDescriptor(QString key, bool ascending, Comparison comparison)
    : m_key(std::move(key))
    , m_ascending(ascending)
    , m_comparison(comparison)
{
    if (m_comparison == Comparison::Custom)
        qCWarning(lcModel) << "A custom sort descriptor needs a comparator; it orders nothing:" << m_key;
    else if (m_key.isEmpty())
        qCWarning(lcModel) << "A sort descriptor without a key needs a custom comparator; it orders nothing";
}

SortDescriptor::SortDescriptor(QString key, bool ascending, Comparator comparator)
    : m_key(std::move(key))
    , m_ascending(ascending)
    , m_comparison(Comparison::Custom)
    , m_comparator(std::move(comparator))
{
}

SortDescriptor::SortDescriptor(bool ascending, KeyFunction keyFunction)
    : m_ascending(ascending)
    , m_comparison(Comparison::Keyed)
    , m_keyFunction(std::move(keyFunction))
{
}

int SortDescriptor::compare(const ManagedObject *a, const ManagedObject *b) const
{
    int result = 0;
    if (m_comparison == Comparison::Custom) {
        if (m_comparator)
            result = threeWay(m_comparator(a, b), 0);
    } else if (m_comparison == Comparison::Keyed && m_keyFunction) {
        DateUtils::LocalOffsets &offsets = DateUtils::LocalOffsets::current();
        result = threeWay(m_keyFunction(a, offsets), m_keyFunction(b, offsets));
    } else if (!m_key.isEmpty()) {
        result = compareKeys(readKey(a, m_key, m_comparison), readKey(b, m_key, m_comparison));
    }
    return m_ascending ? result : -result;
}

void SortDescriptor::sort(QList<ManagedObject *> &objects, const QList<SortDescriptor> &descriptors)
{
    if (objects.size() < 2 || descriptors.isEmpty())
        return;

    // Each record's values are read once up front into one compact array per
    // descriptor, so that the comparisons touch little memory.
    enum class Layout { Nothing, Custom, Keys, Integers, Reals, Texts, CollationKeys, Mixed };
    struct Column {
        const SortDescriptor *descriptor = nullptr;
        Layout layout = Layout::Nothing;
        std::vector<RecordKey> recordKeys;
        std::vector<qint64> integers;   // numbers, dates (no date lowest), primary keys (none lowest)
        std::vector<double> reals;
        std::vector<QString> texts;
        std::vector<QCollatorSortKey> collationKeys;
        std::vector<SortKey> keys;      // mixed readings (records of different entities)
    };
    const qsizetype n = objects.size();

    // One key function, the date orders: the records' kept keys, or keys
    // derived anew, go straight into the sort; records a few ahead are asked
    // for while reading.
    const SortDescriptor &first = descriptors.front();
    if (descriptors.size() == 1 && first.m_comparison == Comparison::Keyed && first.m_keyFunction) {
        DateUtils::LocalOffsets &offsets = DateUtils::LocalOffsets::current();
        const quint32 zone = offsets.generation();
        sortByKeys<RecordKey>(objects, [&](qsizetype i) {
            if (i + kPrefetchAhead < n)
                __builtin_prefetch(&objects[i + kPrefetchAhead]->m_sortKey);
            ManagedObject *object = objects[i];
            if (object->m_sortKeyFunction != first.m_keyFunction || object->m_sortKeyZone != zone) {
                object->m_sortKey = first.m_keyFunction(object, offsets);
                object->m_sortKeyFunction = first.m_keyFunction;
                object->m_sortKeyZone = zone;
            }
            return object->m_sortKey;
        }, first.m_ascending);
        return;
    }

    std::vector<Column> columns;
    columns.reserve(descriptors.size());
    for (const SortDescriptor &descriptor : descriptors) {
        Column column;
        column.descriptor = &descriptor;
        if (descriptor.m_comparison == Comparison::Custom) {
            column.layout = descriptor.m_comparator ? Layout::Custom : Layout::Nothing;
            columns.push_back(std::move(column));
            continue;
        }
        if (descriptor.m_comparison == Comparison::Keyed) {
            if (!descriptor.m_keyFunction) {
                columns.push_back(std::move(column));
                continue;
            }
            column.layout = Layout::Keys;
            column.recordKeys.reserve(n);
            DateUtils::LocalOffsets &offsets = DateUtils::LocalOffsets::current();
            for (const ManagedObject *object : std::as_const(objects))
                column.recordKeys.push_back(descriptor.m_keyFunction(object, offsets));
            columns.push_back(std::move(column));
            continue;
        }
        if (descriptor.m_key.isEmpty()) {
            columns.push_back(std::move(column));
            continue;
        }

        std::vector<SortKey> keys;
        keys.reserve(n);
        TypeCache cache;
        for (const ManagedObject *object : std::as_const(objects))
            keys.push_back(readKey(object, descriptor.m_key, descriptor.m_comparison, &cache));
        Reading reading = keys.front().reading;
        bool numeric = true;
        for (const SortKey &k : keys) {
            if (k.reading != Reading::Integer && k.reading != Reading::Real)
                numeric = false;
            if (k.reading != reading)
                reading = Reading::None;
        }
        if (reading == Reading::None && numeric)
            reading = Reading::Real;

        switch (reading) {
        case Reading::Integer:
        case Reading::Date:
        case Reading::Object:
            // No date and no destination rank lowest, as in compareKeys().
            column.layout = Layout::Integers;
            column.integers.reserve(n);
            for (const SortKey &k : keys)
                column.integers.push_back(k.absent ? std::numeric_limits<qint64>::min() : k.integer);
            break;
        case Reading::Real:
            column.layout = Layout::Reals;
            column.reals.reserve(n);
            for (const SortKey &k : keys)
                column.reals.push_back(k.real);
            break;
        case Reading::Text:
        case Reading::Binary:
            column.layout = Layout::Texts;
            column.texts.reserve(n);
            for (SortKey &k : keys)
                column.texts.push_back(std::move(k.text));
            break;
        case Reading::Localized: {
            const QCollator &collator = localizedCollator();
            if (collator.locale().language() == QLocale::C) {
                // The C collator compares case-insensitively by code points,
                // which is comparing case-folded texts; its collation keys
                // would not ignore case.
                column.layout = Layout::Texts;
                column.texts.reserve(n);
                for (const SortKey &k : keys)
                    column.texts.push_back(k.text.toCaseFolded());
            } else {
                column.layout = Layout::CollationKeys;
                column.collationKeys.reserve(n);
                for (const SortKey &k : keys)
                    column.collationKeys.push_back(collator.sortKey(k.text));
            }
            break;
        }
        case Reading::None:
            column.layout = Layout::Mixed;
            column.keys = std::move(keys);
            break;
        }
        columns.push_back(std::move(column));
    }

    // One integer column, the manual order among them: sorted with the records.
    if (columns.size() == 1 && columns.front().layout == Layout::Integers) {
        const std::vector<qint64> &integers = columns.front().integers;
        sortByKeys<qint64>(objects, [&](qsizetype i) { return integers[size_t(i)]; }, columns.front().descriptor->m_ascending);
        return;
    }

    std::vector<qsizetype> order(n);
    for (qsizetype i = 0; i < n; ++i)
        order[i] = i;

    std::stable_sort(order.begin(), order.end(), [&](qsizetype i, qsizetype j) {
        for (const Column &column : columns) {
            int result = 0;
            switch (column.layout) {
            case Layout::Nothing:
                break;
            case Layout::Custom:
                result = threeWay(column.descriptor->m_comparator(objects[i], objects[j]), 0);
                break;
            case Layout::Keys:
                result = threeWay(column.recordKeys[i], column.recordKeys[j]);
                break;
            case Layout::Integers:
                result = threeWay(column.integers[i], column.integers[j]);
                break;
            case Layout::Reals:
                result = compareReal(column.reals[i], column.reals[j]);
                break;
            case Layout::Texts:
                result = threeWay(QString::compare(column.texts[i], column.texts[j], Qt::CaseSensitive), 0);
                break;
            case Layout::CollationKeys:
                result = threeWay(column.collationKeys[i].compare(column.collationKeys[j]), 0);
                break;
            case Layout::Mixed:
                result = compareKeys(column.keys[i], column.keys[j]);
                break;
            }
            if (result != 0)
                return column.descriptor->m_ascending ? result < 0 : result > 0;
        }
        return false;
    });

    QList<ManagedObject *> sorted;
    sorted.reserve(n);
    for (qsizetype i : order)
        sorted.append(objects[i]);
    objects = std::move(sorted);
}
