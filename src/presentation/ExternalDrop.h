#pragma once

#include <QList>
#include <QString>

class QMimeData;

// What a drop from another application becomes: one new item per dropped
// thing, recognised in this order: a mail, an e-mail address, a rich address
// ("Name <addr>"), a note link, task-manager tasks, then each dropped URL as a
// file, a web page or a plain link; failing all of these, the dropped text.
class ExternalDrop
{
public:
    struct Item {
        QString title;
        QString notes;
        QString icon;
        QString url;
    };

    // The items the drop makes; none when it carries nothing usable.
    static QList<Item> items(const QMimeData *data);
};
