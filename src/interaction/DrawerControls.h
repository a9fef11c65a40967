#pragma once

#include <QColor>
#include <QComboBox>
#include <QDateTime>
#include <QImage>
#include <QToolButton>
#include <QVariant>
#include <QWidget>

#include <algorithm>

class QDateTimeEdit;

// A date that may be absent: a date and time editor with a button that
// clears the date. Its properties are what the drawer's bindings set:
// `dateTime` (none when cleared; an absent date shows its placeholder),
// `hasDate` (the clear button works), `editable` and `textColor`.
class OptionalDateEdit : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QVariant dateTime READ dateTime WRITE setDateTime NOTIFY dateTimeEdited)
    Q_PROPERTY(bool hasDate READ hasDate WRITE setHasDate)
    Q_PROPERTY(bool editable READ isEditable WRITE setEditable)
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)
public:
    explicit OptionalDateEdit(QWidget *parent = nullptr);

    QVariant dateTime() const;
    void setDateTime(const QVariant &dateTime);
    bool hasDate() const { return m_hasDate; }
    void setHasDate(bool hasDate);
    bool isEditable() const;
    void setEditable(bool editable);
    QColor textColor() const { return m_textColor; }
    void setTextColor(const QColor &color);
    // Whole days show no time of day.
    void setDateOnly(bool dateOnly);

    QDateTimeEdit *editor() const { return m_edit; }
    QToolButton *clearButton() const { return m_clear; }

    // Clears the date, as the clear button does.
    void clear();

signals:
    void dateTimeEdited();
    void cleared();

private:
    QDateTimeEdit *m_edit;
    QToolButton *m_clear;
    bool m_hasDate = false;
    bool m_cleared = false; // since the user cleared it, until a date is shown again
    bool m_settingDate = false;
    QColor m_textColor;
};

// A button showing an image (the item's icon), set by a binding.
class ImageButton : public QToolButton
{
    Q_OBJECT
    Q_PROPERTY(QImage image READ image WRITE setImage)
public:
    using QToolButton::QToolButton;
    QImage image() const { return m_image; }
    void setImage(const QImage &image);

private:
    QImage m_image;
};

// The recurrence pop-up. A frequency it does not list (none, the empty text
// of a synced item, a text of a newer client) shows as "Never" rather than
// as whatever the previous item had.
class FrequencyComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QString frequency READ currentText WRITE setFrequency NOTIFY frequencyChanged)
public:
    explicit FrequencyComboBox(const QStringList &frequencies, QWidget *parent = nullptr);
    void setFrequency(const QString &frequency) { setCurrentIndex(std::max(0, findText(frequency))); }

signals:
    void frequencyChanged();
};
