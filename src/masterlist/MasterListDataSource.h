#pragma once

#include "ArrayController.h"
#include "DataHelper.h"

#include <QObject>
#include <QString>
#include <QStringList>

class ManagedObject;
class MyDocument;
struct ObjectsChange;
class TODOItem;
class TODOList;

// What the detail area shows of the selected row.
struct MasterListDetail {
    TODOItem *item = nullptr;  // none for no row or a group row
    TODOList *list = nullptr;
    QStringList quadrantTitles; // the list's four quadrant titles, for the quadrant pop-up
    int quadrant = -1;          // the item's quadrant, selected in that pop-up
    QString colorText;          // the list's colour text of that quadrant; empty: no colour
};

// The master list's rows and what the user does with them, without widgets.
//
// The rows are the arranged objects of rowController(): for each list in
// group order a group row holding the list, then its items in the quadrants'
// sort order. They are rebuilt only when the view, the owner, the search text
// or the group order changes (or reloadData()); an item completed from the
// list keeps its row until then. Records deleted from the store leave at
// once, with their group when it is left empty. After a rebuild with rows the
// first item row (row 1) is selected, and the detail follows the selection.
//
// The view and the group order are kept in the defaults
// ("kLastSelectedMasterListKey", "MasterListSorting"); stored values outside
// their tables read as the first entry. The owner and the search text are
// not kept.
class MasterListDataSource : public QObject
{
    Q_OBJECT
public:
    inline static const QString ViewModeKey = QStringLiteral("kLastSelectedMasterListKey");
    inline static const QString SortingKey = QStringLiteral("MasterListSorting");

    // Positions of the sort pop-up: the order of the groups.
    enum GroupOrder : int { IndexDescending = 0, IndexAscending, NameAscending, NameDescending, GroupOrderCount };
    // Positions of the owner pop-up.
    enum OwnerChoice : int { Everyone = 0, MeOnly = 1 };

    explicit MasterListDataSource(MyDocument *document, QObject *parent = nullptr);

    MyDocument *document() const { return m_document; }

    // --- Rows ----------------------------------------------------------------------
    // The table's rows, for the item model; it has no filter and no order of its own.
    ArrayController *rowController() { return &m_rows; }
    const QList<ManagedObject *> &rows() const { return m_rows.arrangedObjects(); }
    // The item of an item row; none for a group row or outside the rows.
    TODOItem *itemAt(int row) const;
    // The list of a group row; none for an item row or outside the rows.
    TODOList *groupListAt(int row) const;
    // The list of the nearest group row above the row.
    TODOList *projectForItemInRow(int row) const;

    // --- View, owner, search, order ----------------------------------------------------
    MasterView::Mode viewMode() const { return m_mode; }
    QString windowTitle() const { return MasterView::title(m_mode); }
    // Stores the mode (not in the defaults) and rebuilds the rows.
    void setViewMode(int mode);
    // A toolbar button: remembers the mode in the defaults, then setViewMode().
    void showViewMode(int mode);
    // The remembered view, applied.
    void reloadData();
    // The owner whose items alone show; empty for everyone.
    QString owner() const { return m_owner; }
    void setOwner(const QString &owner);
    // The owner pop-up: Everyone, or MeOnly for the sync login ("cv-login";
    // everyone while none is stored); another position changes nothing.
    void updateOwnerFilter(int position);
    // A search text of one character filters nothing.
    void setSearchString(const QString &text);
    // The sort pop-up: remembers the group order and rebuilds.
    void updateMasterSorting(int position);
    // The stored group order.
    static GroupOrder groupOrder();
    // Rebuilds the rows of a view with the current owner, search and order.
    void setDataForMode(MasterView::Mode mode);

    // --- Selection ------------------------------------------------------------------------
    // The first selected row, or -1.
    int selectedRow() const;
    TODOItem *selectedItem() const { return m_detail.item; }
    const MasterListDetail &detail() const { return m_detail; }

    // --- Item actions (each one undo step) ---------------------------------------------------
    // The selected item moves to quadrant 0..3; other numbers change nothing.
    void changeQuadrant(int quadrant);
    // The selected item takes the icon chosen in the icon browser.
    void setIcon(const QString &icon);
    // Completes an open item, reopens a completed one (a recurring item's next
    // occurrence is made once); group rows and other states are left alone.
    void markAsDoneItemInRow(int row);
    // Selects the selected item's list and the item in the main window and
    // asks for the main window; false when no item is selected.
    bool goToSelectedItemInMainWindow();

signals:
    void viewModeChanged(MasterView::Mode mode);
    // The selected item, or what the detail area shows of it, changed.
    void detailChanged();
    // The window should turn back to the main window.
    void mainWindowRequested();

private:
    void refreshDetail();
    void storeChanged(const ObjectsChange &change);
    void asUndoStep(const QString &name, const std::function<void()> &change);

    MyDocument *m_document;
    DataHelper m_helper;
    ArrayController m_rows;
    MasterView::Mode m_mode = MasterView::Overdue;
    QString m_owner;
    QString m_searchString;
    MasterListDetail m_detail;
    // Clear while the rows are rebuilt: the selection changes it causes do not reach the detail.
    bool m_allowSelection = true;
};
