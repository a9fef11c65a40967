#include "UndoManager.h"

UndoManager::UndoManager(QObject *parent)
    : QObject(parent)
{
}

UndoManager::~UndoManager() = default;

UndoManager::Group *UndoManager::openGroup()
{
    if (m_depth == 0 && !m_automatic)
        m_automatic = true;
    return &m_current;
}

void UndoManager::pushUndoGroup(Group &&group)
{
    m_undoStack.push_back(std::move(group));
    if (m_undoLimit > 0 && int(m_undoStack.size()) > m_undoLimit)
        m_undoStack.erase(m_undoStack.begin(), m_undoStack.end() - m_undoLimit);
}

void UndoManager::registerUndo(std::function<void()> action)
{
    if (m_undoing || m_redoing) {
        // Inverse actions during a replay form one group on the other stack;
        // replay() collects them in m_current.
        m_current.actions.push_back(std::move(action));
        return;
    }
    Group *group = openGroup();
    group->actions.push_back(std::move(action));
    const bool hadRedo = !m_redoStack.empty();
    m_redoStack.clear();
    if (group->actions.size() == 1 || hadRedo)
        emit stateChanged();
}

void UndoManager::setActionName(const QString &name)
{
    m_current.name = name;
    emit stateChanged();
}

QString UndoManager::undoActionName() const
{
    if (!m_current.empty() && m_depth == 0 && !m_undoing && !m_redoing)
        return m_current.name;
    return m_undoStack.empty() ? QString() : m_undoStack.back().name;
}

QString UndoManager::redoActionName() const
{
    return m_redoStack.empty() ? QString() : m_redoStack.back().name;
}

void UndoManager::beginGrouping()
{
    if (m_depth == 0 && m_automatic)
        closeAutomaticGroup();
    ++m_depth;
}

void UndoManager::endGrouping()
{
    if (m_depth == 0)
        return;
    if (--m_depth == 0) {
        if (!m_current.empty())
            pushUndoGroup(std::move(m_current));
        m_current = {};
    }
}

void UndoManager::closeAutomaticGroup()
{
    if (!m_automatic || m_depth > 0)
        return;
    m_automatic = false;
    if (!m_current.empty())
        pushUndoGroup(std::move(m_current));
    m_current = {};
}

bool UndoManager::canUndo() const
{
    return !m_undoStack.empty() || (!m_current.empty() && m_depth == 0);
}

bool UndoManager::canRedo() const
{
    return !m_redoStack.empty();
}

void UndoManager::replay(std::vector<Group> &from, bool undoing)
{
    if (m_checkpoint)
        m_checkpoint();
    closeAutomaticGroup();
    if (m_depth > 0 || from.empty())
        return;

    Group group = std::move(from.back());
    from.pop_back();

    (undoing ? m_undoing : m_redoing) = true;
    m_current = {};
    for (auto it = group.actions.rbegin(); it != group.actions.rend(); ++it)
        (*it)();
    Group inverse = std::move(m_current);
    inverse.name = group.name;
    m_current = {};
    if (m_afterReplay)
        m_afterReplay();
    (undoing ? m_undoing : m_redoing) = false;

    if (!inverse.empty()) {
        if (undoing)
            m_redoStack.push_back(std::move(inverse));
        else
            pushUndoGroup(std::move(inverse));
    }

    if (undoing)
        emit didUndo();
    else
        emit didRedo();
    emit stateChanged();
}

void UndoManager::undo()
{
    replay(m_undoStack, true);
}

void UndoManager::redo()
{
    replay(m_redoStack, false);
}

void UndoManager::removeAllActions()
{
    m_undoStack.clear();
    m_redoStack.clear();
    m_current = {};
    m_automatic = false;
    emit stateChanged();
}
