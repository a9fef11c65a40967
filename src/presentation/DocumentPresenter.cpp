#include "DocumentPresenter.h"

#include "ColorTheme.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "ProjectListModel.h"
#include "QuadrantItemModel.h"
#include "UndoState.h"

DocumentPresenter::DocumentPresenter(MyDocument *document)
    : QObject(document)
    , m_document(document)
    , m_projects(new ProjectListModel(document, this))
    , m_undo(new UndoState(document->managedObjectContext()->undoManager(), this))
    , m_themes(std::make_unique<ColorThemes>(document))
{
    for (int q = 0; q < 4; ++q)
        m_quadrants[q] = new QuadrantItemModel(document, q, this);
    m_themes->loadColorThemes();
}

DocumentPresenter::~DocumentPresenter() = default;

QuadrantItemModel *DocumentPresenter::quadrantModel(int quadrant) const
{
    return quadrant >= 0 && quadrant < 4 ? m_quadrants[quadrant] : nullptr;
}
