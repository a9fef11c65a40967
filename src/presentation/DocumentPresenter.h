#pragma once

#include <QObject>

#include <array>
#include <memory>

class ColorThemes;
class MyDocument;
class ProjectListModel;
class QuadrantItemModel;
class UndoState;

// Everything the main window shows of the document beside its properties:
// the four quadrants' item models, the sidebar's model, the Edit menu's undo
// state and the theme menu. It is a child of the document, so the models
// never outlive the records they show; the window holds it through a
// QPointer. The document stays across a sync, and so do these, with their
// selection.
class DocumentPresenter : public QObject
{
    Q_OBJECT
public:
    explicit DocumentPresenter(MyDocument *document);
    ~DocumentPresenter() override;

    MyDocument *document() const { return m_document; }
    QuadrantItemModel *quadrantModel(int quadrant) const;
    ProjectListModel *projectListModel() const { return m_projects; }
    UndoState *undoState() const { return m_undo; }
    ColorThemes *colorThemes() const { return m_themes.get(); }

private:
    MyDocument *m_document;
    std::array<QuadrantItemModel *, 4> m_quadrants{};
    ProjectListModel *m_projects;
    UndoState *m_undo;
    std::unique_ptr<ColorThemes> m_themes;
};
