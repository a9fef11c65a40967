#include "DrawerControls.h"

#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLocale>
#include <QPixmap>
#include <QStyle>

OptionalDateEdit::OptionalDateEdit(QWidget *parent)
    : QWidget(parent)
    , m_edit(new QDateTimeEdit(this))
    , m_clear(new QToolButton(this))
{
    m_edit->setCalendarPopup(true);
    m_clear->setIcon(style()->standardIcon(QStyle::SP_LineEditClearButton));
    m_clear->setToolTip(tr("Remove this date"));
    m_clear->setAutoRaise(true);
    setDateOnly(false);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_clear);
    setFocusProxy(m_edit);

    connect(m_edit, &QDateTimeEdit::dateTimeChanged, this, [this] {
        if (!m_settingDate) {
            m_cleared = false;
            emit dateTimeEdited();
        }
    });
    connect(m_clear, &QToolButton::clicked, this, &OptionalDateEdit::clear);
    setHasDate(false);
}

QVariant OptionalDateEdit::dateTime() const
{
    return m_cleared ? QVariant() : QVariant(m_edit->dateTime());
}

void OptionalDateEdit::setDateTime(const QVariant &dateTime)
{
    m_settingDate = true;
    m_cleared = false;
    m_edit->setDateTime(dateTime.toDateTime());
    m_settingDate = false;
}

void OptionalDateEdit::clear()
{
    if (!m_hasDate)
        return;
    m_cleared = true;
    emit dateTimeEdited();
    emit cleared();
}

void OptionalDateEdit::setHasDate(bool hasDate)
{
    m_hasDate = hasDate;
    m_clear->setEnabled(hasDate);
}

bool OptionalDateEdit::isEditable() const
{
    return m_edit->isEnabledTo(this);
}

void OptionalDateEdit::setEditable(bool editable)
{
    m_edit->setEnabled(editable);
}

void OptionalDateEdit::setTextColor(const QColor &color)
{
    m_textColor = color;
    // The disabled look of an absent date stays.
    QPalette colors = m_edit->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        colors.setColor(group, QPalette::Text, color.isValid() ? color : palette().color(group, QPalette::Text));
    m_edit->setPalette(colors);
}

void OptionalDateEdit::setDateOnly(bool dateOnly)
{
    // The locale's short date, with the year written out so that it can be typed.
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    if (!dateOnly)
        format += QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat);
    // Showing the date differently is no edit of it.
    m_settingDate = true;
    m_edit->setDisplayFormat(format);
    m_settingDate = false;
}

void ImageButton::setImage(const QImage &image)
{
    m_image = image;
    setIcon(image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image)));
}

FrequencyComboBox::FrequencyComboBox(const QStringList &frequencies, QWidget *parent)
    : QComboBox(parent)
{
    addItems(frequencies);
    connect(this, &QComboBox::currentTextChanged, this, &FrequencyComboBox::frequencyChanged);
}
