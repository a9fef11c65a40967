#include "ImageFactoryForMac.h"

#include "Clock.h"
#include "DateUtils.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

namespace {

struct Tier {
    int size;
    QString prefix;
};

// Row heights up to 32, 44 and 64 points take the 32, 44 and 64 point
// files; taller rows the full 128 point ones.
Tier tierForHeight(int cellHeight)
{
    if (cellHeight <= 32)
        return {32, QStringLiteral("32")};
    if (cellHeight <= 44)
        return {44, QStringLiteral("44")};
    if (cellHeight <= 64)
        return {64, QStringLiteral("64")};
    return {128, QString()};
}

QString withTierPrefix(const QString &name, const QString &prefix)
{
    for (const char *sizePrefix : {"44", "64", "128"}) {
        if (name.startsWith(QLatin1String(sizePrefix)))
            return prefix + name.mid(int(qstrlen(sizePrefix)));
    }
    return prefix + name;
}

QImage loadIcon(const QString &name)
{
    QImage image(QStringLiteral("icons:") + name);
    if (image.isNull()) {
        QString full = name;
        image.load(QStringLiteral("icons:") + full.replace(QStringLiteral(".png"), QStringLiteral("128.png")));
    }
    if (image.isNull())
        image.load(QStringLiteral("icons:") + ImageFactoryForMac::defaultIconName());
    return image;
}

enum class BadgePlacement { OnIcon, Centred };

// Draws the round badge with its label over the icon (or alone, for the
// default icon) at the centre (x, y), measured from the top left corner.
QImage drawBadge(const QImage &icon, const QString &label, QPointF centre, BadgePlacement placement)
{
    const int w = icon.width();
    QImage picture(icon.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    if (placement == BadgePlacement::OnIcon)
        painter.drawImage(0, 0, icon);

    const bool overdue = label == QLatin1String("!!!");
    const bool today = label == QLatin1String("!!");
    const QColor fill = overdue ? QColor::fromRgbF(1, 0, 0, 0.7f)
                      : today   ? QColor::fromRgbF(1, 1, 0.9f, 0.7f)
                                : QColor::fromRgbF(0.4f, 0.4f, 0.4f, 1);
    const double radius = (placement == BadgePlacement::Centred ? 0.375 : 0.75 * 0.375) * w;
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawEllipse(centre, radius, radius);

    // Shrink the font in tenths down to 0.3 of its size until the label fits
    // the circle; the last size tried is used even if it still does not fit.
    const double fullSize = 0.375 * w;
    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(qMax(1, qRound(fullSize)));
    if (QFontMetricsF(font).horizontalAdvance(label) > 2 * radius) {
        for (int tenths = 10; tenths >= 3; --tenths) {
            font.setPixelSize(qMax(1, qRound(fullSize * tenths / 10)));
            if (QFontMetricsF(font).horizontalAdvance(label) <= 2 * radius)
                break;
        }
    }
    const QFontMetricsF metrics(font);
    const QSizeF text(metrics.horizontalAdvance(label), metrics.height());
    painter.setFont(font);
    painter.setPen(today ? Qt::black : Qt::white);
    // The text box ends a third of its height below the centre, which puts
    // the glyphs (above their descent) in the middle of the circle.
    const QRectF box(centre.x() - text.width() / 2, centre.y() + text.height() / 3 - text.height(), text.width(),
                     text.height());
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, label);
    return picture;
}

} // namespace

ImageFactoryForMac &ImageFactoryForMac::sharedInstance()
{
    static ImageFactoryForMac factory;
    return factory;
}

QString ImageFactoryForMac::badgeLabel(const QDateTime &dueDate)
{
    if (!dueDate.isValid() || dueDate.toMSecsSinceEpoch() <= 10)
        return QString();
    const int days = DateUtils::daysFromDate(Clock::now(), dueDate);
    if (days < 0)
        return QStringLiteral("!!!");
    if (days == 0)
        return QStringLiteral("!!");
    if (days < 7)
        return QStringLiteral("%1d").arg(days);
    if (days < 35)
        return QStringLiteral("%1w").arg(days / 7);
    const int months = days / 30;
    return months % 12 ? QStringLiteral("%1m").arg(months) : QStringLiteral("%1y").arg(days / 360);
}

QImage ImageFactoryForMac::imageNamed(const QString &name, const QDateTime &dueDate, int cellHeight, int completion,
                                      bool rewritingPrefix)
{
    const QString iconName = name.isEmpty() ? defaultIconName() : name;
    // The default icon stands for "no icon": a done item shows nothing.
    const bool isDefault = iconName == defaultIconName();
    if (completion > 99 && isDefault)
        return QImage();

    const Tier tier = tierForHeight(cellHeight);
    const QString fileName = rewritingPrefix ? withTierPrefix(iconName, tier.prefix) : iconName;
    const QString label = completion > 99 ? QString() : badgeLabel(dueDate);
    const QString key = QStringLiteral("%1:%2:%3").arg(fileName, label).arg(completion);
    const auto cached = m_images.constFind(key);
    if (cached != m_images.constEnd())
        return *cached;

    const QImage icon = loadIcon(fileName);
    QImage picture = icon;
    if (!label.isEmpty() && !icon.isNull()) {
        // The default icon shows only its badge, larger, in the middle.
        const QPointF centre = isDefault ? QPointF(icon.width() / 2, icon.width() / 2)
                                         : QPointF(tier.size * 40 / 128, tier.size * 32 / 128);
        picture = drawBadge(icon, label, centre, isDefault ? BadgePlacement::Centred : BadgePlacement::OnIcon);
    }
    m_images.insert(key, picture);
    return picture;
}
