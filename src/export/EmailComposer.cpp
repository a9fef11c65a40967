#include "EmailComposer.h"

#include "ArrayController.h"
#include "HtmlExport.h"
#include "MyDocument.h"
#include "SyncUtils.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QLocale>

namespace {

// Full date style without time, in the user's locale.
QString formattedDate(const QDateTime &date)
{
    return QLocale().toString(date.toLocalTime().date(), QLocale::LongFormat);
}

QString nameLine(const TODOItem *item, const QString &prefix)
{
    const QString name = HtmlExport::makeValidHTML(item->name());
    if (item->completionPercentage() > 0)
        return QStringLiteral("%1<b>%2</b> (%3% complete)").arg(prefix, name, QString::number(item->completionPercentage()));
    return QStringLiteral("%1<b>%2</b>").arg(prefix, name);
}

// The due date and description of an item, when it has either.
QString details(const TODOItem *item, const QString &dueLine)
{
    const QString description = item->descriptionText();
    if (!item->dueDate().isValid() && description.isEmpty())
        return QString();
    QString lines = QStringLiteral("<ul>\n");
    if (item->dueDate().isValid())
        lines += dueLine.arg(formattedDate(item->dueDate()));
    if (!description.isEmpty())
        lines += QStringLiteral("<li>Description: %1")
                     .arg(HtmlExport::makeValidHTML(description).replace(QLatin1Char('\n'), QLatin1String("<br>")));
    return lines + QStringLiteral("</ul>\n");
}

QUrl mailLink(const QString &recipient, const QString &subject, const QString &body)
{
    const QString text = QStringLiteral("mailto:%1?subject=%2&body=%3")
                             .arg(QString::fromLatin1(QUrl::toPercentEncoding(recipient, "@")),
                                  QString::fromLatin1(QUrl::toPercentEncoding(subject)),
                                  QString::fromLatin1(QUrl::toPercentEncoding(body)));
    return QUrl(text, QUrl::StrictMode);
}

QString makerPage(const QString &path)
{
    return QStringLiteral("http://%1%2").arg(SyncSettings::makerWebHost(), path);
}

} // namespace

EmailComposer::EmailComposer(const MyDocument &document)
    : m_document(document)
{
}

QString EmailComposer::emailBodyFromList(const TODOList *list) const
{
    QString body;
    for (int q = 0; q < Quadrant::Count; ++q)
        body += emailBodyFromQuadrant(q, HtmlExport::titleForQuadrant(q, list));
    return body;
}

QString EmailComposer::emailBodyFromQuadrant(int quadrant, const QString &title) const
{
    QString body = QStringLiteral("<br><b>%1:</b>\n<ol>\n").arg(HtmlExport::makeValidHTML(title));
    if (const ArrayController *controller = m_document.controllerForQuadrant(quadrant)) {
        for (const ManagedObject *object : controller->arrangedObjects()) {
            const auto *item = static_cast<const TODOItem *>(object);
            body += nameLine(item, QStringLiteral("<li>")) + details(item, QStringLiteral("<li>Due %1"));
        }
    }
    return body + QStringLiteral("</ol>\n");
}

QString EmailComposer::emailBodyFromItem(const TODOItem *item)
{
    return nameLine(item, QString()) + details(item, QStringLiteral("<li>Due %1\n"));
}

QString EmailComposer::emailBodyFromItems(const QList<TODOItem *> &items)
{
    QString body = QStringLiteral("<ol>");
    for (const TODOItem *item : items)
        body += QStringLiteral("<li> %1").arg(emailBodyFromItem(item));
    return body + QStringLiteral("</ol>");
}

QString EmailComposer::includeEmailPrefix(const QString &body)
{
    return QStringLiteral("<html> %1 <body>%2</body> </html>\n")
        .arg(QStringLiteral("<head><meta http-equiv=\"content-type\" content=\"text/html; charset=utf-8\" /></head>"),
             body + signatureMessage());
}

QString EmailComposer::signatureMessage()
{
    return QStringLiteral("<p><br><br><i>Composed in <a href=\"%1\">Corvane</a> by Nuvalto.</i>\n")
        .arg(HtmlExport::makeValidHTML(makerPage(QStringLiteral("/corvane_mac_email"))));
}

QString EmailComposer::listSubject(const TODOList *list)
{
    return list->name();
}

QString EmailComposer::itemSubject(const TODOItem *item)
{
    return item->name();
}

QString EmailComposer::quadrantSubject(const TODOList *list, const QString &title)
{
    return QStringLiteral("%1: %2").arg(list->name(), title);
}

QString EmailComposer::selectedItemsSubject(const TODOList *list, const QList<TODOItem *> &items)
{
    const QString name = list->name();
    if (items.size() == 1)
        return QStringLiteral("%1: %2").arg(name, items.constFirst()->name());
    return QStringLiteral("%1: %2 items").arg(name, QString::number(items.size()));
}

QUrl EmailComposer::feedbackLink(const QString &applicationName, const QString &version, const QString &userName)
{
    return mailLink(SyncSettings::supportAddress(),
                    QStringLiteral("Feedback for %1 v%2 From %3").arg(applicationName, version, userName), QString());
}

QUrl EmailComposer::messageLink(const QString &subject)
{
    return mailLink(QString(), subject, QString());
}

QUrl EmailComposer::recommendationLink()
{
    return mailLink(QString(), QStringLiteral("I recommend you check out Corvane"),
                    QStringLiteral("I'd like to recommend to you a Mac OS app I currently use called Corvane. It's an "
                                   "innovative task management software based on the Eisenhower Method that syncs "
                                   "between your iPhone, iPad and Mac. ")
                        + makerPage(QStringLiteral("/macr")));
}
