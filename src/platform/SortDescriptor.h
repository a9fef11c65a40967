#pragma once

#include <QList>
#include <QString>

#include <functional>

class ManagedObject;

// One key of an order. An empty key sorts by the record itself, which needs
// a custom comparator (the items' date order, for example).
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
    };
    // Answers <0, 0 or >0 like a three-way comparison.
    using Comparator = std::function<int(const ManagedObject *, const ManagedObject *)>;

    SortDescriptor() = default;
    SortDescriptor(QString key, bool ascending, Comparison comparison = Comparison::Default);
    SortDescriptor(QString key, bool ascending, Comparator comparator);

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
};
