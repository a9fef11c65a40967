#pragma once

#include "DateUtils.h"

#include <QList>
#include <QString>

#include <array>
#include <functional>

class ManagedObject;

// One key of an order. An empty key sorts by the record itself, through a
// custom comparator or, cheaper, a key function (the items' date order).
class SortDescriptor
{
public:
    enum class Comparison {
        Default,   // by the attribute's type: numbers numerically, dates by time, texts by code points
        Numeric,
        Localized, // locale-aware, case-insensitive text comparison
        Text,      // plain text comparison
        Date,
        Custom,
        Keyed,     // by the record keys a key function derives
    };
    // Answers <0, 0 or >0 like a three-way comparison.
    using Comparator = std::function<int(const ManagedObject *, const ManagedObject *)>;
    // A record's place in a keyed order, compared part by part. Sorting
    // derives it once per record, not once per comparison, with one table of
    // the zone's offsets for the whole sort. A key function reads only the
    // record's own values, so the record keeps its key until one changes.
    using RecordKey = std::array<qint64, 3>;
    using KeyFunction = RecordKey (*)(const ManagedObject *, DateUtils::LocalOffsets &);

    SortDescriptor() = default;
    SortDescriptor(QString key, bool ascending, Comparison comparison = Comparison::Default);
    SortDescriptor(QString key, bool ascending, Comparator comparator);
    SortDescriptor(bool ascending, KeyFunction keyFunction);

    const QString &key() const { return m_key; }
    bool ascending() const { return m_ascending; }
    Comparison comparison() const { return m_comparison; }

    // Three-way comparison of two records under this descriptor, direction applied.
    int compare(const ManagedObject *a, const ManagedObject *b) const;

    // Stable sort of records by a list of descriptors, first descriptor first.
    static void sort(QList<ManagedObject *> &objects, const QList<SortDescriptor> &descriptors);

private:
    QString m_key;
    bool m_ascending = true;
    Comparison m_comparison = Comparison::Default;
    Comparator m_comparator;
    KeyFunction m_keyFunction;
};
