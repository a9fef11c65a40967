#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

// Records undo actions in groups and replays them. Actions registered while
// undoing go to the redo stack and the other way round, as usual.
//
// Grouping is by event: the first registration outside an open group opens
// an automatic group, which the owner closes at the end of the event-loop turn
// (ManagedObjectContext does so after announcing its changes). Explicit
// begin/endGrouping nest inside.
class UndoManager : public QObject
{
    Q_OBJECT
public:
    explicit UndoManager(QObject *parent = nullptr);
    ~UndoManager() override;

    void registerUndo(std::function<void()> action);

    void beginGrouping();
    void endGrouping();
    // Closes the automatic group of this turn, if one is open.
    void closeAutomaticGroup();

    bool canUndo() const;
    bool canRedo() const;
    bool isUndoing() const { return m_undoing; }
    bool isRedoing() const { return m_redoing; }

    void undo();
    void redo();
    void removeAllActions();
    // Keeps at most this many groups to undo, dropping the oldest; 0 keeps all.
    void setUndoLimit(int groups) { m_undoLimit = groups; }

    // Names the group being recorded (or the next one) for the Edit menu,
    // "Trash Items" say; the name travels with the group to the redo stack.
    void setActionName(const QString &name);
    // The name of the group undo (redo) would replay; empty when unnamed.
    QString undoActionName() const;
    QString redoActionName() const;

    // Run before undo or redo replays a group, so that the owner can settle
    // pending changes first.
    void setCheckpoint(std::function<void()> checkpoint) { m_checkpoint = std::move(checkpoint); }
    // Run after undo or redo replayed a group, before didUndo/didRedo.
    void setAfterReplay(std::function<void()> after) { m_afterReplay = std::move(after); }

signals:
    void didUndo();
    void didRedo();
    // Whether undo or redo is possible, or their names, may have changed.
    void stateChanged();

private:
    struct Group {
        std::vector<std::function<void()>> actions;
        QString name;
        bool empty() const { return actions.empty(); }
    };

    void replay(std::vector<Group> &from, bool undoing);
    Group *openGroup();
    void pushUndoGroup(Group &&group);

    std::vector<Group> m_undoStack;
    std::vector<Group> m_redoStack;
    Group m_current;          // the open group
    int m_undoLimit = 0;      // groups kept on the undo stack; 0: no limit
    int m_depth = 0;          // explicit nesting
    bool m_automatic = false; // the open group was opened automatically
    bool m_undoing = false;
    bool m_redoing = false;
    std::function<void()> m_checkpoint;
    std::function<void()> m_afterReplay;
};
