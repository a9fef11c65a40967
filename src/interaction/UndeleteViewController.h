#pragma once

#include <QDialog>

class MyDocument;
class QListView;
class UndeleteModel;

// The undelete sheet: the trashed and deleted items of the selected list,
// each click on a row marking or unmarking it (marked names in red). Undelete
// brings the marked items back open in their quadrants as one undo step;
// Cancel changes nothing. Window-modal; the candidates are loaded when it
// opens and dropped when it closes.
class UndeleteViewController : public QDialog
{
    Q_OBJECT
public:
    UndeleteViewController(MyDocument *document, QWidget *parent);

    UndeleteModel *model() const { return m_model; }
    QListView *tableView() const { return m_table; }

    // Loads the candidates and shows the sheet over its window.
    void open() override;
    // Accepted: restores the marked items; rejected: changes nothing.
    void done(int result) override;

private:
    UndeleteModel *m_model;
    QListView *m_table;
};
