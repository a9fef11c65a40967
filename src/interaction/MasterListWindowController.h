#pragma once

#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class IconBrowser;
class MasterListDataSource;
class MasterListDetailView;
class MasterListModel;
class MyDocument;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrinter;
class QPushButton;
class QTableView;
class QToolButton;

// The master list: every open item of every list in one table grouped by
// list, as a page of the main window that replaces the matrix. A toolbar
// chooses one of the eight views (one button each), the group order, the
// owner and a search text; the table shows MasterListModel's rows (group rows
// 20 high and not selectable, item rows 40 high drawn by the item delegate
// with the master list's icons); the detail panel beside it shows the
// selected item in its quadrant's colour with the quadrant pop-up, the icon,
// completion and the jump to the item in the matrix. Printing prints every
// row.
//
// It only shows MasterListDataSource and forwards to it; the data source is
// a child of the document, so its rows never outlive the records.
class MasterListWindowController : public QWidget
{
    Q_OBJECT
public:
    // Print settings made on the first print: landscape, at this scale.
    static constexpr double PrintScale = 0.6;

    explicit MasterListWindowController(MyDocument *document, QWidget *parent = nullptr);
    ~MasterListWindowController() override;

    // Rebuilds the rows for the view chosen last (kept in the defaults); the
    // window title (windowTitle()) names the view.
    void reloadData();
    // Puts the keyboard focus in the search field.
    void gotoMasterFindButton();
    // The print dialog, then print() on the kept settings.
    void printDocument();
    // Prints every row as the table draws it, page after page.
    void print(QPrinter *printer);

signals:
    // Back to the matrix: the back button, Escape, or the jump to an item.
    void mainWindowRequested();

private:
    QTableView *makeTable(MyDocument *document);
    QWidget *makeToolBar();
    QWidget *makeDetailView();
    void setViewMode(int mode);
    // Shows the view's title and the button of the view checked.
    void viewModeChanged(int mode);
    void refreshDetail();

    QPointer<MasterListDataSource> m_dataSource;
    MasterListModel *m_model;
    QTableView *m_table = nullptr;
    std::array<QToolButton *, 8> m_toolbarButtons{};
    QComboBox *m_masterSort = nullptr;
    QComboBox *m_ownerComboBox = nullptr;
    QLineEdit *m_searchField = nullptr;
    MasterListDetailView *m_detailView = nullptr;
    QLabel *m_itemNameTextView = nullptr;
    QComboBox *m_quadrantNameComboBox = nullptr;
    QToolButton *m_iconButton = nullptr;
    QPushButton *m_doneButton = nullptr;
    QPushButton *m_goToButton = nullptr;
    IconBrowser *m_ikbWindowController = nullptr;
    std::unique_ptr<QPrinter> m_printInfo;
};
