#pragma once

#include "ArrangedObjectsModel.h"
#include "ExternalDrop.h"

class MyDocument;
class TODOItem;

// The rows of one quadrant: the selected list's items as its array
// controller arranges them, one column. Besides the name and the done box it
// answers what the row delegate draws, and carries item drags: out as the
// item drag record, in to the document's drop operations.
//
// removeRows() is deliberately not implemented (it answers false): after a
// move drag a view asks the source model to remove the dragged rows, but
// moving items is the drop's job, done once by the document.
class QuadrantItemModel : public ArrangedObjectsModel
{
    Q_OBJECT
public:
    enum Role {
        ItemRole = Qt::UserRole + 1,  // TODOItem *
        NotesRole,                    // descriptionText
        IconRole,                     // icon name
        DueDateRole,
        CompletionRole,               // completionPercentage
        FrequencyRole,
        LinkRole,                     // macResourceURL
        RecurringRole,                // a due date and a frequency other than "Never"
        OverdueRole,                  // due before today and not done
        DoneRole,                     // completion 100
    };

    QuadrantItemModel(MyDocument *document, int quadrant, QObject *parent = nullptr);

    int quadrant() const { return m_quadrant; }
    // Where the notes of a dropped mail link come from.
    void setMailBodyLookup(MailBodyLookup lookup) { m_mailBodyLookup = std::move(lookup); }
    TODOItem *itemAt(int row) const;

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // What an item row answers for a role, in any model that shows items.
    static QVariant itemRoleData(TODOItem *item, int role);
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction | Qt::CopyAction; }
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

private:
    bool rename(TODOItem *item, const QString &name);
    // The row a drop lands on: on a row, above a row, or below the last row.
    int dropRow(int row, const QModelIndex &parent) const;
    // Looks the mail's body up off the main thread and writes it into the
    // item, when the item is still there, once it arrives.
    void fillMailBody(TODOItem *item, const QString &messageId) const;

    MyDocument *m_document;
    int m_quadrant;
    MailBodyLookup m_mailBodyLookup = ExternalDrop::getSelectedEmailBody;
};
