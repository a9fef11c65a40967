#pragma once

#include <QString>
#include <QWidget>

// A horizontal slider with a low and a high knob over tick marks, one mark
// per whole value from minimum to maximum; the knobs rest on marks only and
// never cross (they may share a mark). The values change while a knob is
// dragged; knobReleased tells when the user lets go, or when a key has moved
// a knob. Tab moves the keyboard focus from the low knob to the high one
// (Shift+Tab back); the arrow keys move the focused knob, Home and End send
// it as far as it can go.
class DoubleSlider : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(int loValue READ loValue WRITE setLoValue NOTIFY loValueChanged)
    Q_PROPERTY(int hiValue READ hiValue WRITE setHiValue NOTIFY hiValueChanged)
public:
    enum class Knob { Low, High };
    Q_ENUM(Knob)

    explicit DoubleSlider(QWidget *parent = nullptr);

    // Knobs outside the new range are moved into it.
    void setRange(int minimum, int maximum);
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    int loValue() const { return m_lo; }
    int hiValue() const { return m_hi; }
    // Each knob stays within the range and on its side of the other.
    void setLoValue(int value);
    void setHiValue(int value);
    int value(Knob knob) const { return knob == Knob::Low ? m_lo : m_hi; }
    void setValue(Knob knob, int value);
    // The knob the keyboard moves.
    Knob focusedKnob() const { return m_focusKnob; }
    // Shown as the tooltip and read by accessibility tools.
    void setTitle(const QString &title);
    // The centre of a knob, in widget coordinates.
    QPoint knobCenter(Knob knob) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void loValueChanged(int value);
    void hiValueChanged(int value);
    void knobReleased(DoubleSlider::Knob knob);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool focusNextPrevChild(bool next) override;
    void focusInEvent(QFocusEvent *event) override;

private:
    int xForValue(int value) const;
    int valueForX(int x) const;
    // Until the pointer moves, a press on two knobs sharing a mark holds neither.
    enum class Grab { None, Low, High, Undecided };

    int m_minimum = 0;
    int m_maximum = 100;
    int m_lo = 0;
    int m_hi = 100;
    Grab m_grab = Grab::None;
    int m_pressX = 0;
    Knob m_focusKnob = Knob::Low;
};
