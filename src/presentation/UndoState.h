#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class UndoManager;

// What the Edit menu shows of the undo history: whether undo and redo are
// possible and their texts ("Undo Trash Items", or "Undo" for an unnamed step).
class UndoState : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY changed)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY changed)
    Q_PROPERTY(QString undoText READ undoText NOTIFY changed)
    Q_PROPERTY(QString redoText READ redoText NOTIFY changed)
public:
    explicit UndoState(UndoManager *manager, QObject *parent = nullptr);

    bool canUndo() const;
    bool canRedo() const;
    QString undoText() const;
    QString redoText() const;

signals:
    void changed();

private:
    QPointer<UndoManager> m_manager;
};
