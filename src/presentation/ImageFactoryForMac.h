#pragma once

#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QString>

// Makes and caches the icon pictures of item rows: an icon image with a
// round badge telling how far off the due date is ("!!" today, "3d", "2w").
//
// Images are looked up as "icons:<name>"; the application adds the "icons"
// search path (QDir::addSearchPath) for its icon resources. Icon files come
// in size tiers: "<name>128.png" and the smaller "32", "44" and "64" copies
// named with that prefix.
class ImageFactoryForMac
{
public:
    static ImageFactoryForMac &sharedInstance();

    // The icon picture for a row of the given height, with the badge of the
    // due date (none when the date is invalid or at the epoch) unless the
    // completion is above 99. With rewritingPrefix the name is changed to the
    // size tier's file ("green_pen128.png" at height 40 is "44green_pen128.png").
    // A null image for a done item with the default icon.
    QImage imageNamed(const QString &name, const QDateTime &dueDate, int cellHeight, int completion = 0,
                      bool rewritingPrefix = true);
    // Forgets every picture made.
    void clear() { m_images.clear(); }

    static QString nameForCompletedIcon() { return QStringLiteral("green_checkmark128.png"); }
    // The icon of items that have none of their own.
    static QString defaultIconName() { return QStringLiteral("empty_orange128.png"); }

    // The badge text for a due date: "!!!" overdue, "!!" today, then days,
    // weeks, months or years ahead ("3d", "2w", "13m", "1y"); empty for none.
    static QString badgeLabel(const QDateTime &dueDate);

private:
    ImageFactoryForMac() = default;

    QHash<QString, QImage> m_images; // by "name:label:completion"
};
