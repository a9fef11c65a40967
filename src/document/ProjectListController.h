#pragma once

#include "DocumentView.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class ArrayController;
class MyDocument;
class TODOList;

// The headless half of the list sidebar: the shown lists in their order, the
// selected list, the lists trashed since the document was opened, and the
// list operations (new, delete, clone, order, reorder by dragging).
// The sidebar widget (NSTableProjects) shows and drives it.
class ProjectListController : public QObject
{
    Q_OBJECT
public:
    explicit ProjectListController(MyDocument &document, QObject *parent = nullptr);
    ~ProjectListController() override;

    // Lists not trashed or deleted, ordered by index descending or by name.
    ArrayController *projectsArrayController() const { return m_controller; }

    // Applies the stored order, then, 0.2 seconds later, selects the row
    // stored under "lastSelectedProjectRow" when it is a shown row.
    void load();

    // --- Lists ------------------------------------------------------------------
    // A new list "My Project" whose name is then edited in the sidebar.
    TODOList *addNewProject();
    // A new list with id_ 0, the default quadrant titles and colours and the name.
    TODOList *addNewProjectWithName(const QString &name);
    // Asks, then trashes the selected list ("Cannot delete more than one list at a time"
    // when not exactly one is selected).
    void markProjectAsDeleted();
    // Asks whether to delete the list; the answer comes later.
    void userConfirmsProjectDeletion(TODOList *list, DocumentAlerts::Answer answer);
    // Sets the state and keeps the trashed-list array in step.
    void markProject(TODOList *list, int state);

    void cloneProjectWithItems() { cloneSelectedProjectWithItems(true); }
    void cloneProjectWithOutItems() { cloneSelectedProjectWithItems(false); }
    bool cloneSelectedProjectWithItems(bool withItems);

    // --- Order -------------------------------------------------------------------
    void setAlphabeticalOrder(bool alphabetical);
    bool alphabeticalOrder() const { return m_alphabetical; }
    // Lists can be dragged only in manual order.
    bool canDragLists() const { return !m_alphabetical; }
    // Moves the list at draggedRow to the drop row: above it or onto it.
    // False (and nothing changes) for a drop that is refused.
    bool acceptListDrop(int draggedRow, int dropRow, bool dropAbove);

    // --- Selection ------------------------------------------------------------------
    // The selected list when exactly one is selected; logs otherwise.
    TODOList *getSelectedProject() const;
    // The same without the log line, for frequent callers.
    TODOList *selectedList() const;
    // Selects the shown list with the same id_; its row, or -1.
    int selectProject(TODOList *list);
    // Selects a shown row (-1 clears the selection).
    void selectRow(int row);
    int selectedRow() const;
    TODOList *getFirstProject() const;

    QList<TODOList *> getAllProjects() const;
    QList<TODOList *> getTrashedProjects() const { return m_trashed; }
    // The shown lists, the lists trashed since opening, then the trashed
    // lists with a server identifier that were trashed earlier.
    QList<TODOList *> getAllProjectsEvenTrashed() const;

    // "List, ID: %d. NAME: %@, STATE: %d" and its items.
    void logAllLists() const;

signals:
    void selectedProjectChanged();

private:
    void trashAfterConfirmation(TODOList *list, bool confirmed);
    // Installs the sort of an order without storing it.
    void applyOrder(bool alphabetical);

    MyDocument &m_document;
    ArrayController *m_controller = nullptr;
    QList<TODOList *> m_trashed;
    bool m_alphabetical = false;
    // The list selectedProjectChanged last announced.
    TODOList *m_lastSelected = nullptr;
};

// The counts of one list's quadrant overview in the sidebar.
struct QuadrantOverview {
    int counts[4] = {0, 0, 0, 0};
    // The colour text each quadrant is painted with; empty: not painted.
    QString colors[4];
    // "%ld" of the count, or empty for 0.
    QString labels[4];
};

// Computes a list's overview and skips the work when the inputs did not
// change since the last fill.
class ListOverview
{
public:
    // Whether the overview was computed anew.
    bool fill(TODOList *list, int itemState, const QString &searchText, bool onlyDatedItems,
              const QDateTime &minDate, const QDateTime &maxDate, bool hasDueDate, const QStringList &owners);
    const QuadrantOverview &overview() const { return m_overview; }

private:
    bool m_filled = false;
    TODOList *m_list = nullptr;
    int m_itemState = -1;
    QString m_searchText;
    bool m_onlyDatedItems = false;
    QDateTime m_minDate;
    QDateTime m_maxDate;
    bool m_hasDueDate = false;
    QStringList m_owners;
    QuadrantOverview m_overview;
};
