#include "DateRangeSliderView.h"

#include "DateRangeScale.h"
#include "DoubleSlider.h"
#include "MyDocument.h"

#include <QGridLayout>
#include <QLabel>

DateRangeSliderView::DateRangeSliderView(MyDocument *document, QWidget *parent)
    : QWidget(parent)
    , m_document(document)
    , m_slider(new DoubleSlider(this))
    , m_leftLabel(new QLabel(this))
    , m_centerLabel(new QLabel(this))
    , m_rightLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("timeFilter"));
    m_slider->setObjectName(QStringLiteral("timeFilterSlider"));
    m_leftLabel->setObjectName(QStringLiteral("timeFilterLeftLabel"));
    m_centerLabel->setObjectName(QStringLiteral("timeFilterCenterLabel"));
    m_rightLabel->setObjectName(QStringLiteral("timeFilterRightLabel"));
    m_centerLabel->setAlignment(Qt::AlignCenter);
    m_rightLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    // The whole scale: no filtering until the user moves a knob.
    m_slider->setRange(DateRangeScale::FirstPosition, DateRangeScale::LastPosition);
    m_slider->setLoValue(DateRangeScale::FirstPosition);
    m_slider->setHiValue(DateRangeScale::LastPosition);

    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(8, 2, 8, 2);
    layout->setVerticalSpacing(0);
    layout->addWidget(m_slider, 0, 0, 1, 3);
    layout->addWidget(m_leftLabel, 1, 0);
    layout->addWidget(m_centerLabel, 1, 1);
    layout->addWidget(m_rightLabel, 1, 2);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(2, 1);

    updateRangeLabel();
    connect(m_slider, &DoubleSlider::loValueChanged, this, &DateRangeSliderView::updateRangeLabel);
    connect(m_slider, &DoubleSlider::hiValueChanged, this, &DateRangeSliderView::updateRangeLabel);
    connect(m_slider, &DoubleSlider::knobReleased, this, &DateRangeSliderView::reportDates);
}

void DateRangeSliderView::updateRangeLabel()
{
    const DateRangeScale::RangeLabels labels = DateRangeScale::rangeLabels(m_slider->loValue(), m_slider->hiValue());
    m_leftLabel->setText(labels.left);
    m_centerLabel->setText(labels.center);
    m_rightLabel->setText(labels.right);
    m_slider->setTitle(DateRangeScale::label(m_slider->loValue()));
}

void DateRangeSliderView::reportDates()
{
    m_minSelectedDate = DateRangeScale::minimumDate(m_slider->loValue());
    m_maxSelectedDate = DateRangeScale::maximumDate(m_slider->hiValue());
    if (m_document)
        m_document->dateRangeWithMin(m_minSelectedDate, m_maxSelectedDate);
}
