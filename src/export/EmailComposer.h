#pragma once

#include <QList>
#include <QString>
#include <QUrl>

class MyDocument;
class TODOItem;
class TODOList;

// The mails of a list, a quadrant, selected items or one item: HTML
// fragments and subjects, and the two mail links. Names, titles and
// descriptions in the fragments are escaped with HtmlExport::makeValidHTML.
// Quadrants give the items their controllers arrange, as the window shows them.
class EmailComposer
{
public:
    explicit EmailComposer(const MyDocument &document);

    // The four quadrant fragments, each titled with the list's title for it.
    QString emailBodyFromList(const TODOList *list) const;
    // A heading with the title, then an ordered list of the quadrant's items
    // with their percentage, due date and description.
    QString emailBodyFromQuadrant(int quadrant, const QString &title) const;
    // One item: its name, percentage, due date and description.
    static QString emailBodyFromItem(const TODOItem *item);
    // Several items: an ordered list of their item fragments.
    static QString emailBodyFromItems(const QList<TODOItem *> &items);

    // The body with the signature, wrapped as an HTML page.
    static QString includeEmailPrefix(const QString &body);
    static QString signatureMessage();

    // Subjects are plain text: the mail client shows them as they are, so an
    // entity such as "&amp;" would reach the reader as those five characters.
    static QString listSubject(const TODOList *list);
    static QString itemSubject(const TODOItem *item);
    static QString quadrantSubject(const TODOList *list, const QString &title);
    static QString selectedItemsSubject(const TODOList *list, const QList<TODOItem *> &items);

    // mailto: links for the user's mail client. Subject and body are
    // escaped whole, so a "&" or "=" in them never cuts them short.
    static QUrl feedbackLink(const QString &applicationName, const QString &version, const QString &userName);
    static QUrl recommendationLink();
    // A new message with only its subject filled in.
    static QUrl messageLink(const QString &subject);

private:
    const MyDocument &m_document;
};
