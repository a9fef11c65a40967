#pragma once

#include <QLineEdit>
#include <QModelIndex>

// The store announces changes of a record while its name is being edited (a
// new item or list, its change mark, a sync). An editor keeps what the user
// has typed, and the selected name they are about to type over, so the view
// must not set its text again.
inline bool editorKeepsItsText(const QWidget *editor, const QModelIndex &index)
{
    const auto *line = qobject_cast<const QLineEdit *>(editor);
    return line && (line->isModified() || line->text() == index.data(Qt::EditRole).toString());
}
