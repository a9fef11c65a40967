#pragma once

#include <QHash>
#include <QPointer>
#include <QTableView>

class ListCustomCellController;
class MyDocument;
class ProjectListModel;
class TODOList;

// The list sidebar: one row per shown list with its name and the two-by-two
// overview of its quadrants (a ListCustomCellController per list, placed
// over the row while it is visible). Lists are renamed in place, reordered
// by dragging (not in alphabetical order), deleted with Delete; items
// dragged over a row select that list. Right arrow moves to quadrant 0; a
// double click below the rows adds a list.
class NSTableProjects : public QTableView
{
    Q_OBJECT
public:
    NSTableProjects(ProjectListModel *model, MyDocument *document, QWidget *parent = nullptr);
    ~NSTableProjects() override;

    ProjectListModel *projectModel() const { return m_model; }
    // Removes every overview; each is rebuilt when its row is shown again.
    void cleanListCustomCells();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dropEvent(QDropEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    // Places and fills the overviews of the visible rows on the next turn.
    void scheduleOverviewLayout();
    void layoutOverviews();
    // Forgets the overviews of rows about to leave the model.
    void removeOverviews(int first, int last);

    ProjectListModel *m_model;
    QPointer<MyDocument> m_document;
    // One overview per list, and those currently placed over a row.
    QHash<const TODOList *, ListCustomCellController *> m_listCellViewControllers;
    QHash<const TODOList *, ListCustomCellController *> m_listCellViewControllersBeingDisplayed;
    bool m_overviewLayoutPending = false;
};
