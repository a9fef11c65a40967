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
        m_current.push_back(std::move(action));
        return;
    }
    openGroup()->push_back(std::move(action));
    m_redoStack.clear();
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
        m_current.clear();
    }
}

void UndoManager::closeAutomaticGroup()
{
    if (!m_automatic || m_depth > 0)
        return;
    m_automatic = false;
    if (!m_current.empty())
        pushUndoGroup(std::move(m_current));
    m_current.clear();
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
    m_current.clear();
    for (auto it = group.rbegin(); it != group.rend(); ++it)
        (*it)();
    Group inverse = std::move(m_current);
    m_current.clear();
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
    m_current.clear();
    m_automatic = false;
}
