#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QPointer>
#include <QUrl>

class MyDocument;

// The undelete sheet's table: the trashed and deleted items of the selected
// list by name, each with a mark the user flips with a click. Nothing in the
// store changes until the marked items are restored. Candidates are kept by
// object URI, so a record that went meanwhile is skipped, never touched.
class UndeleteModel : public QAbstractListModel
{
    Q_OBJECT
public:
    explicit UndeleteModel(MyDocument *document, QObject *parent = nullptr);

    // The candidates of the selected list, sorted by name, none marked; none
    // without a selected list.
    void loadUndeleteCandidates();
    void clearUndeleteCandidates();
    // A click on a row: marks it, or unmarks a marked one.
    void toggleMark(int row);
    bool isMarked(int row) const;
    // Restores the marked candidates as one undo step and unloads; answers
    // how many came back.
    int undeleteMarked();

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    // The name; a marked row in red and checked.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    struct Candidate {
        QUrl uri;
        QString name;
        bool marked = false;
    };

    QPointer<MyDocument> m_document;
    QList<Candidate> m_candidates;
};
