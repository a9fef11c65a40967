#pragma once

#include <QColor>
#include <QFrame>
#include <QPointer>

class DocumentPresenter;
class QLineEdit;
class QToolButton;
class QuadrantView;

// One quadrant as the window shows it: a title line (the quadrant's name,
// editable, its colour well, add and enlarge buttons) above the quadrant's
// table. Title and background follow the selected list through bindings.
class QuadrantPane : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
    Q_PROPERTY(QString quadrantName READ quadrantName WRITE setQuadrantName NOTIFY quadrantNameEdited)
public:
    QuadrantPane(DocumentPresenter *presenter, int quadrant, QWidget *parent = nullptr);
    ~QuadrantPane() override;

    QuadrantView *view() const { return m_view; }
    QLineEdit *nameTextField() const { return m_nameTextField; }
    QToolButton *colorWell() const { return m_colorWell; }

    QColor backgroundColor() const { return m_background; }
    void setBackgroundColor(const QColor &color);
    QString quadrantName() const;
    void setQuadrantName(const QString &name);

signals:
    void quadrantNameEdited();

private:
    void chooseColor();

    QPointer<DocumentPresenter> m_presenter;
    int m_quadrant;
    QuadrantView *m_view;
    QLineEdit *m_nameTextField;
    QToolButton *m_colorWell;
    QColor m_background;
};
