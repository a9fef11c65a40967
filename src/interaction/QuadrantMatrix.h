#pragma once

#include <QPointF>
#include <QWidget>

#include <array>

class QPropertyAnimation;

// Lays out the four quadrants around a movable cross: quadrant 0 top left,
// 1 top right, 2 bottom left, 3 bottom right. The handle where they cross
// can be dragged; its place is kept as fractions of the area, x from the
// left and y from the bottom, as the lists store it.
class QuadrantMatrix : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QPointF cross READ cross WRITE setCross)
public:
    explicit QuadrantMatrix(QWidget *parent = nullptr);

    // Takes ownership of the quadrant's widget.
    void setQuadrantWidget(int quadrant, QWidget *widget);
    QWidget *quadrantWidget(int quadrant) const;

    QPointF cross() const { return m_cross; }
    // Fractions are kept within 0.1 .. 0.9, so no quadrant vanishes.
    void setCross(const QPointF &fractions);
    void moveCross(const QPointF &fractions, bool animated);

signals:
    // The user dropped the handle at a new place.
    void crossMovedByUser(const QPointF &fractions);

protected:
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void layoutQuadrants();
    QPoint crossPoint() const;

    std::array<QWidget *, 4> m_quadrants{};
    QWidget *m_handle;
    QPropertyAnimation *m_animation;
    QPointF m_cross{0.5, 0.5};
    bool m_draggingHandle = false;
};
