#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class MyDocument;
class QClipboard;

// The mail commands of the window. Linux mail clients take no prepared HTML
// message, so a mail goes out in two halves: the message (body and
// signature) is put on the clipboard as HTML with a plain-text alternative,
// an alert says so, and the user's mail client opens a new message with the
// subject filled in, ready for the paste. When no mail client opens, an alert
// says so and the message stays on the clipboard.
class MailDelivery
{
public:
    // Opens a link with the user's default handler and tells, maybe later,
    // whether it opened.
    using UrlOpener = std::function<void(const QUrl &url, std::function<void(bool opened)> done)>;
    // xdg-open, whose exit status tells whether a handler took the link (Qt's
    // own opener only tells whether xdg-open started); Qt's opener without it.
    static void openWithDesktop(const QUrl &url, std::function<void(bool opened)> done);

    MailDelivery(MyDocument &document, QClipboard *clipboard, UrlOpener openUrl);

    // The selected list, every quadrant as the window shows it.
    void emailCurrentList();
    // The item open in the item drawer.
    void emailCurrentItem();
    // Quadrant 0..3 of the selected list.
    void emailFromQuadrant(int quadrant);
    // The items selected in the quadrant clicked last.
    void emailSelectedItems();
    // Mail links to the maker, and to a friend.
    void emailFeedbackToNuvalto();
    void emailRecommendCorvane();

    void sendEmailBody(const QString &body, const QString &subject);

private:
    void sendAnEmailWithUrl(const QUrl &url);

    MyDocument &m_document;
    QClipboard *m_clipboard;
    UrlOpener m_openUrl;
};
