#include "UndoState.h"

#include "UndoManager.h"

namespace {
QString menuText(const QString &verb, const QString &name)
{
    return name.isEmpty() ? verb : QStringLiteral("%1 %2").arg(verb, name);
}
} // namespace

UndoState::UndoState(UndoManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
{
    if (manager)
        connect(manager, &UndoManager::stateChanged, this, &UndoState::changed);
}

bool UndoState::canUndo() const
{
    return m_manager && m_manager->canUndo();
}

bool UndoState::canRedo() const
{
    return m_manager && m_manager->canRedo();
}

QString UndoState::undoText() const
{
    return menuText(tr("Undo"), m_manager ? m_manager->undoActionName() : QString());
}

QString UndoState::redoText() const
{
    return menuText(tr("Redo"), m_manager ? m_manager->redoActionName() : QString());
}
