#pragma once

#include "Predicate.h"
#include "SortDescriptor.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

class ArrayController;
class MyDocument;

// The filter and sort choices of the four quadrants, and their installation
// on the quadrant controllers.
class QuadrantFilters
{
public:
    // Positions of the state choice ("showingComboBox").
    enum Showing { ShowAll = 0, ShowOpen = 1, ShowCompleted = 2 };
    static constexpr int SortChoiceCount = 13;

    explicit QuadrantFilters(MyDocument &document);

    // --- Choices ----------------------------------------------------------------
    QString searchText() const { return m_searchText; }
    void setSearchText(const QString &text) { m_searchText = text; }
    int showingChoice() const { return m_showing; }
    void setShowingChoice(int position) { m_showing = position; }
    int sortingChoice() const { return m_sorting; }
    void setSortingChoice(int position) { m_sorting = position; }
    int hasDueDateChoice() const { return m_hasDueDate; }
    void setHasDueDateChoice(int position) { m_hasDueDate = position; }
    QDateTime minDate() const { return m_minDate; }
    QDateTime maxDate() const { return m_maxDate; }
    QStringList currentOwnerUsernames() const { return m_owners; }
    void setCurrentOwnerUsernames(const QStringList &owners) { m_owners = owners; }

    // --- Accessors for other parts ------------------------------------------------------
    // 0 for open only, 1 for completed only, -1 otherwise.
    int itemsState() const;
    // The search text in lower case.
    QString searchString() const { return m_searchText.toLower(); }
    bool onlyDatedItems() const { return m_hasDueDate == 1; }

    // --- Operations -----------------------------------------------------------------
    // Rebuilds and installs the filter of all four quadrant controllers,
    // logging "%d pred: %@" for each.
    void updateFilters();
    // Installs the basic filter only: quadrant, and state neither 2 nor 3.
    void changeFiltersToNormal();
    // Installs the chosen order; "BUG in sorting" for an unknown position.
    void updateSortDescriptors();
    // Makes a new item (open, undated) visible: empties the search and sets a
    // state or due-date choice that would hide it back to the normal one.
    void showNewItems();
    // Stores both bounds and rebuilds the filters.
    void dateRangeWithMin(const QDateTime &minDate, const QDateTime &maxDate);

    void loadPreferences();
    void savePreferences();

    // The predicate updateFilters installs for one quadrant (without logging).
    Predicate predicateForQuadrant(int quadrant) const;
    // The basic predicate for one quadrant.
    static Predicate basicPredicateForQuadrant(int quadrant);
    // The sort descriptors of a sort position; empty for an unknown one.
    static QList<SortDescriptor> sortDescriptorsForChoice(int position);
    // Rows are placed by hand only in manual order: no sort, or index first.
    static bool isManualOrder(const ArrayController *controller);

private:
    MyDocument &m_document;
    QString m_searchText;
    int m_showing = ShowOpen;
    int m_sorting = 0;
    int m_hasDueDate = 0;
    QDateTime m_minDate;
    QDateTime m_maxDate;
    QStringList m_owners;
};
