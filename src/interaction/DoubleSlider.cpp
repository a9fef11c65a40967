#include "DoubleSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kKnobRadius = 7;
constexpr int kTickTop = 2;
constexpr int kTickHeight = 5;
constexpr int kTrackY = kTickTop + kTickHeight + 4 + kKnobRadius;

} // namespace

DoubleSlider::DoubleSlider(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void DoubleSlider::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = std::max(minimum, maximum);
    const int lo = std::clamp(m_lo, m_minimum, m_maximum);
    const int hi = std::clamp(m_hi, lo, m_maximum);
    const bool loChanged = lo != m_lo;
    const bool hiChanged = hi != m_hi;
    m_lo = lo;
    m_hi = hi;
    update();
    if (loChanged)
        emit loValueChanged(lo);
    if (hiChanged)
        emit hiValueChanged(hi);
}

void DoubleSlider::setLoValue(int value)
{
    value = std::clamp(value, m_minimum, std::min(m_hi, m_maximum));
    if (value == m_lo)
        return;
    m_lo = value;
    update();
    emit loValueChanged(value);
}

void DoubleSlider::setHiValue(int value)
{
    value = std::clamp(value, std::max(m_lo, m_minimum), m_maximum);
    if (value == m_hi)
        return;
    m_hi = value;
    update();
    emit hiValueChanged(value);
}

void DoubleSlider::setValue(Knob knob, int value)
{
    if (knob == Knob::Low)
        setLoValue(value);
    else
        setHiValue(value);
}

void DoubleSlider::setTitle(const QString &title)
{
    setToolTip(title);
    setAccessibleName(title);
}

QPoint DoubleSlider::knobCenter(Knob knob) const
{
    return QPoint(xForValue(value(knob)), kTrackY);
}

QSize DoubleSlider::sizeHint() const
{
    return QSize(400, kTrackY + kKnobRadius + 3);
}

QSize DoubleSlider::minimumSizeHint() const
{
    return QSize(8 * kKnobRadius, sizeHint().height());
}

int DoubleSlider::xForValue(int value) const
{
    const int left = kKnobRadius + 1;
    const int span = std::max(1, width() - 2 * left);
    if (m_maximum == m_minimum)
        return left;
    return left + int(std::lround(double(value - m_minimum) * span / (m_maximum - m_minimum)));
}

// The nearest mark to a horizontal position.
int DoubleSlider::valueForX(int x) const
{
    const int left = kKnobRadius + 1;
    const int span = std::max(1, width() - 2 * left);
    const double fraction = std::clamp(double(x - left) / span, 0.0, 1.0);
    return m_minimum + int(std::lround(fraction * (m_maximum - m_minimum)));
}

void DoubleSlider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &pal = palette();
    const int y = kTrackY;

    QColor tick = pal.color(QPalette::WindowText);
    tick.setAlpha(isEnabled() ? 140 : 60);
    painter.setPen(QPen(tick, 1));
    for (int v = m_minimum; v <= m_maximum; ++v)
        painter.drawLine(xForValue(v), kTickTop, xForValue(v), kTickTop + kTickHeight);

    painter.setPen(QPen(pal.color(QPalette::Mid), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(xForValue(m_minimum), y, xForValue(m_maximum), y);
    painter.setPen(QPen(pal.color(isEnabled() ? QPalette::Highlight : QPalette::Mid), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(xForValue(m_lo), y, xForValue(m_hi), y);

    for (Knob knob : {Knob::Low, Knob::High}) {
        const bool focused = hasFocus() && knob == m_focusKnob;
        painter.setPen(QPen(pal.color(focused ? QPalette::Highlight : QPalette::Dark), focused ? 2.5 : 1));
        painter.setBrush(pal.color(QPalette::Button));
        painter.drawEllipse(QPointF(knobCenter(knob)), kKnobRadius, kKnobRadius);
    }
}

void DoubleSlider::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int x = event->position().toPoint().x();
    m_pressX = x;
    const int toLow = std::abs(x - xForValue(m_lo));
    const int toHigh = std::abs(x - xForValue(m_hi));
    if (m_lo == m_hi && toLow <= kKnobRadius) {
        m_grab = Grab::Undecided;
        return;
    }
    // A press beside the knobs moves the nearer one there.
    const Knob knob = toLow < toHigh || (toLow == toHigh && x < xForValue(m_lo)) ? Knob::Low : Knob::High;
    m_grab = knob == Knob::Low ? Grab::Low : Grab::High;
    m_focusKnob = knob;
    setValue(knob, valueForX(x));
    update();
}

void DoubleSlider::mouseMoveEvent(QMouseEvent *event)
{
    const int x = event->position().toPoint().x();
    if (m_grab == Grab::Undecided) {
        if (x == m_pressX)
            return;
        // Knobs on one mark: the direction of the drag picks the knob.
        m_grab = x < m_pressX ? Grab::Low : Grab::High;
        m_focusKnob = x < m_pressX ? Knob::Low : Knob::High;
    }
    if (m_grab == Grab::Low)
        setLoValue(valueForX(x));
    else if (m_grab == Grab::High)
        setHiValue(valueForX(x));
}

void DoubleSlider::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Grab grab = m_grab;
    m_grab = Grab::None;
    if (grab == Grab::Low || grab == Grab::High)
        emit knobReleased(grab == Grab::Low ? Knob::Low : Knob::High);
}

void DoubleSlider::keyPressEvent(QKeyEvent *event)
{
    const int current = value(m_focusKnob);
    int target = current;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Down:
        target = current - 1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Up:
        target = current + 1;
        break;
    case Qt::Key_Home:
        target = m_minimum;
        break;
    case Qt::Key_End:
        target = m_maximum;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    setValue(m_focusKnob, target);
    // A key press is a whole move: it reports at once, as a release does.
    if (value(m_focusKnob) != current)
        emit knobReleased(m_focusKnob);
}

bool DoubleSlider::focusNextPrevChild(bool next)
{
    if (hasFocus() && next && m_focusKnob == Knob::Low) {
        m_focusKnob = Knob::High;
        update();
        return true;
    }
    if (hasFocus() && !next && m_focusKnob == Knob::High) {
        m_focusKnob = Knob::Low;
        update();
        return true;
    }
    return QWidget::focusNextPrevChild(next);
}

void DoubleSlider::focusInEvent(QFocusEvent *event)
{
    if (event->reason() == Qt::TabFocusReason)
        m_focusKnob = Knob::Low;
    else if (event->reason() == Qt::BacktabFocusReason)
        m_focusKnob = Knob::High;
    QWidget::focusInEvent(event);
}
