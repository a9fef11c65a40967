#pragma once

#include <QDateTime>
#include <QPointer>
#include <QWidget>

class DoubleSlider;
class MyDocument;
class QLabel;

// The time filter under the matrix: a two-knob slider over the scale from
// "Past" to "Future" with the range's labels beneath. Moving a knob only
// relabels; letting go of it reports the range to the document, which keeps
// it as its filter dates and refilters the quadrants and the overviews.
class DateRangeSliderView : public QWidget
{
    Q_OBJECT
public:
    explicit DateRangeSliderView(MyDocument *document, QWidget *parent = nullptr);

    DoubleSlider *slider() const { return m_slider; }
    // The range last reported; unset until a knob is first released.
    QDateTime minSelectedDate() const { return m_minSelectedDate; }
    QDateTime maxSelectedDate() const { return m_maxSelectedDate; }

private:
    void updateRangeLabel();
    void reportDates();

    QPointer<MyDocument> m_document;
    DoubleSlider *m_slider;
    QLabel *m_leftLabel;
    QLabel *m_centerLabel;
    QLabel *m_rightLabel;
    QDateTime m_minSelectedDate;
    QDateTime m_maxSelectedDate;
};
