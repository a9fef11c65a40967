#include "QuadrantMatrix.h"

#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kGap = 6;          // space between the quadrants
constexpr int kHandleSize = 14;  // the round handle where they cross
constexpr double kMinFraction = 0.1;

double bounded(double fraction)
{
    return std::clamp(fraction, kMinFraction, 1.0 - kMinFraction);
}

} // namespace

QuadrantMatrix::QuadrantMatrix(QWidget *parent)
    : QWidget(parent)
    , m_handle(new QWidget(this))
    , m_animation(new QPropertyAnimation(this, "cross", this))
{
    m_handle->setObjectName(QStringLiteral("quadrantCrossHandle"));
    m_handle->setFixedSize(kHandleSize, kHandleSize);
    m_handle->setCursor(Qt::SizeAllCursor);
    m_handle->setToolTip(tr("Drag to resize the quadrants"));
    m_handle->setAutoFillBackground(true);
    m_handle->setBackgroundRole(QPalette::Mid);
    m_handle->setStyleSheet(QStringLiteral("#quadrantCrossHandle { border-radius: %1px; background: palette(mid); }")
                                .arg(kHandleSize / 2));
    m_handle->installEventFilter(this);
    m_animation->setDuration(200);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
}

void QuadrantMatrix::setQuadrantWidget(int quadrant, QWidget *widget)
{
    if (quadrant < 0 || quadrant > 3)
        return;
    delete m_quadrants[quadrant];
    m_quadrants[quadrant] = widget;
    widget->setParent(this);
    widget->show();
    m_handle->raise();
    layoutQuadrants();
}

QWidget *QuadrantMatrix::quadrantWidget(int quadrant) const
{
    return quadrant >= 0 && quadrant <= 3 ? m_quadrants[quadrant] : nullptr;
}

void QuadrantMatrix::setCross(const QPointF &fractions)
{
    m_cross = QPointF(bounded(fractions.x()), bounded(fractions.y()));
    layoutQuadrants();
}

void QuadrantMatrix::moveCross(const QPointF &fractions, bool animated)
{
    m_animation->stop();
    if (!animated || !isVisible()) {
        setCross(fractions);
        return;
    }
    m_animation->setStartValue(m_cross);
    m_animation->setEndValue(QPointF(bounded(fractions.x()), bounded(fractions.y())));
    m_animation->start();
}

QPoint QuadrantMatrix::crossPoint() const
{
    return {qRound(width() * m_cross.x()), qRound(height() * (1.0 - m_cross.y()))};
}

void QuadrantMatrix::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutQuadrants();
}

void QuadrantMatrix::layoutQuadrants()
{
    const QPoint c = crossPoint();
    const int half = kGap / 2;
    const QRect frames[4] = {
        QRect(QPoint(0, 0), QPoint(c.x() - half - 1, c.y() - half - 1)),
        QRect(QPoint(c.x() + half, 0), QPoint(width() - 1, c.y() - half - 1)),
        QRect(QPoint(0, c.y() + half), QPoint(c.x() - half - 1, height() - 1)),
        QRect(QPoint(c.x() + half, c.y() + half), QPoint(width() - 1, height() - 1)),
    };
    for (int q = 0; q < 4; ++q) {
        if (m_quadrants[q])
            m_quadrants[q]->setGeometry(frames[q]);
    }
    m_handle->move(c - QPoint(kHandleSize / 2, kHandleSize / 2));
}

// Dragging the handle moves the cross; releasing it reports the new place.
bool QuadrantMatrix::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_handle || width() <= 0 || height() <= 0)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        m_animation->stop();
        m_draggingHandle = static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton;
        return m_draggingHandle;
    case QEvent::MouseMove:
        if (m_draggingHandle) {
            const QPoint p = mapFromGlobal(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
            setCross(QPointF(double(p.x()) / width(), 1.0 - double(p.y()) / height()));
        }
        return m_draggingHandle;
    case QEvent::MouseButtonRelease:
        if (!m_draggingHandle)
            return false;
        m_draggingHandle = false;
        emit crossMovedByUser(m_cross);
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}
