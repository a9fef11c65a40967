#pragma once

#include <QList>
#include <QString>

#include <functional>

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

    // The message identifier of a mail link ("message:%3Cid%3E" gives "id");
    // empty for any other link.
    static QString extractMessageID(const QString &url);

    // The body of a message in the running mail application. Linux mail
    // clients answer no such request (they drop the whole message instead),
    // so this logs that and answers the empty text at once.
    static QString getSelectedEmailBody(const QString &messageId);
};

// Finds the plain body of a mail message by its identifier in the running
// mail application; it is called off the main thread, so a slow answer never
// holds up a drop. The application's lookup is getSelectedEmailBody.
using MailBodyLookup = std::function<QString(const QString &messageId)>;
