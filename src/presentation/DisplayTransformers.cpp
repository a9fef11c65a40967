#include "DisplayTransformers.h"

#include "Clock.h"
#include "ColorText.h"
#include "DateUtils.h"
#include "ImageFactoryForMac.h"

#include <QDateTime>
#include <QLocale>
#include <QSequentialIterable>

#include <cmath>

namespace {

const QString NoDate = QStringLiteral("---");

bool isPresent(const QVariant &value)
{
    return value.isValid() && !value.isNull();
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// The integer part of a number, truncated towards zero as the platform's
// integer accessors do; 0 for what is not a finite number.
qint64 integerPart(const QVariant &value)
{
    if (value.typeId() != QMetaType::Double && value.typeId() != QMetaType::Float)
        return value.toLongLong();
    const double d = value.toDouble();
    if (!std::isfinite(d))
        return 0;
    return static_cast<qint64>(std::clamp(d, -9.0e18, 9.0e18));
}

QDateTime dateOf(const QVariant &value)
{
    return value.typeId() == QMetaType::QDateTime ? value.toDateTime() : QDateTime();
}

QVariant imageOrNone(const QImage &image)
{
    return image.isNull() ? QVariant() : QVariant(image);
}

// Icons that say nothing by themselves: a row shows them only with a badge.
bool hasPlainIcon(const TODOItem &item)
{
    const QString icon = item.icon();
    return icon.isEmpty() || icon == ImageFactoryForMac::defaultIconName()
        || icon == ImageFactoryForMac::nameForCompletedIcon();
}

// The picture a quadrant row shows: the icon at row height 40, rewritten to
// the size tier's file, with the due-date badge.
QVariant badgedIcon(const TODOItem &item)
{
    return imageOrNone(ImageFactoryForMac::sharedInstance().imageNamed(
        item.icon(), item.dueDate(), 40, item.completionPercentage(), true));
}

} // namespace

QVariant ImageTransformer::transformedValue(const QVariant &value) const
{
    const QString name = value.toString();
    return name.isEmpty() ? QVariant() : imageOrNone(QImage(QStringLiteral("icons:") + name));
}

QVariant ImageTransformerEnhanced::transformedValue(const QVariant &value) const
{
    const TODOItem *item = value.value<TODOItem *>();
    if (!item || (!DateUtils::hasDate(item->dueDate()) && hasPlainIcon(*item)))
        return {};
    return badgedIcon(*item);
}

QVariant ImageTransformerMasterList::transformedValue(const QVariant &value) const
{
    const TODOItem *item = value.value<TODOItem *>();
    if (!item)
        return {};
    const QDateTime due = item->dueDate();
    const bool dueFromToday = DateUtils::hasDate(due) && DateUtils::daysFromDate(Clock::now(), due) >= 0;
    if (hasPlainIcon(*item) && !dueFromToday)
        return {};
    return badgedIcon(*item);
}

QVariant PercentageTransformer::transformedValue(const QVariant &value) const
{
    if (!isPresent(value))
        return {};
    return QStringLiteral("%1% complete").arg(static_cast<int>(integerPart(value)));
}

QVariant DiscretizeTransformer::transformedValue(const QVariant &value) const
{
    return isPresent(value) ? QVariant(static_cast<int>(integerPart(value))) : QVariant();
}

QVariant DiscretizeTransformer::reverseTransformedValue(const QVariant &value) const
{
    return transformedValue(value);
}

QVariant PercentageToStateTransformer::transformedValue(const QVariant &value) const
{
    if (!isPresent(value))
        return {};
    return integerPart(value) > 99 ? 1 : 0;
}

QVariant DateToStringTransformer::transformedValue(const QVariant &value) const
{
    const QDateTime date = dateOf(value);
    if (!date.isValid())
        return NoDate;
    return QLocale().toString(date.toLocalTime().date(), QLocale::LongFormat);
}

// Qt has no medium date style: the locale's short date and short time stand
// in for it ("1/5/24 3:04 PM" in American English, "05.01.24 15:04" in German).
// The seconds are read as 64 bits, so a moment after 2038 shows as itself.
QVariant EpochToStringTransformer::transformedValue(const QVariant &value) const
{
    const qint64 seconds = isNumber(value) ? integerPart(value) : 0;
    if (seconds < 1)
        return NoDate;
    const QDateTime moment = QDateTime::fromSecsSinceEpoch(seconds);
    const QLocale locale;
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(moment.time(), QLocale::ShortFormat);
}

QVariant NSDateToDayOfTheWeekTransformer::transformedValue(const QVariant &value) const
{
    const QDateTime date = dateOf(value);
    if (!date.isValid())
        return QString();
    return QLocale().dayName(date.toLocalTime().date().dayOfWeek(), QLocale::ShortFormat);
}

QVariant FontColorFromDueDate::transformedValue(const QVariant &value) const
{
    const QDateTime date = dateOf(value);
    const bool overdue = date.isValid() && DateUtils::daysFromDate(Clock::now(), date) < 0;
    return overdue ? QColor::fromRgbF(0.8f, 0, 0, 1) : QColor(Qt::black);
}

QVariant IsNotNeverOrNilValueTransformer::transformedValue(const QVariant &value) const
{
    const QString text = value.toString();
    return isPresent(value) && !text.isEmpty() && text != QLatin1String("Never");
}

QVariant NSNumberToNSString::transformedValue(const QVariant &value) const
{
    if (!isNumber(value))
        return QStringLiteral("0");
    return value.typeId() == QMetaType::Bool ? QString::number(value.toInt()) : value.toString();
}

QVariant EffortValueToDurationString::transformedValue(const QVariant &value) const
{
    static const QStringList durations{
        QStringLiteral("No effort"),  QStringLiteral("1-2 hours"), QStringLiteral("Half a day"),
        QStringLiteral("One day"),    QStringLiteral("Half a week"), QStringLiteral("One week"),
        QStringLiteral("Two weeks"),  QStringLiteral("One month"), QStringLiteral("Several months")};
    if (!isNumber(value))
        return QString();
    const qint64 code = integerPart(value);
    return code >= 0 && code < durations.size() ? durations[code] : QString();
}

QVariant CounterFirstQuadrantTransformer::transformedValue(const QVariant &value) const
{
    qsizetype count = 0;
    if (value.canConvert<QSequentialIterable>())
        count = value.value<QSequentialIterable>().size();
    return QString::number(count);
}

QVariant StringToColorTransformer::transformedValue(const QVariant &value) const
{
    const QColor color = ColorText::colorWithString(value.toString());
    return color.isValid() ? color : QColor(Qt::white);
}

QVariant IsInitStringValueTransformer::transformedValue(const QVariant &value) const
{
    return value.toString() == QLatin1String("init");
}

QVariant IsNotNilOrZero::transformedValue(const QVariant &value) const
{
    return isPresent(value) && value.toDouble() != 0;
}

QVariant IsSyncingTransformer::transformedValue(const QVariant &value) const
{
    return !isPresent(value) || value.toString() == QLatin1String("Syncing...");
}

QVariant IsNotNilOrEmptyString::transformedValue(const QVariant &value) const
{
    return isPresent(value) && !value.toString().isEmpty();
}

QVariant IsNotNil::transformedValue(const QVariant &value) const
{
    return isPresent(value);
}
