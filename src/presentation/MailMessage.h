#pragma once

#include <QByteArray>
#include <QString>

// What an item needs of a mail message in its file form (".eml", or the
// message/rfc822 bytes a mail client drags): the subject, the plain body and
// the identifier. Folded header lines are joined; encoded words in the
// subject, quoted-printable and base64 bodies and their charsets are decoded.
// Of a multipart message the first plain-text part that is no attachment is
// read, or the text of the first HTML part when there is none. Input that is
// truncated or not a message gives what could be read, possibly nothing.
struct MailMessage {
    QString subject;   // one line
    QString body;      // line breaks as "\n", trimmed
    QString messageId; // without its angle brackets; empty when there is none

    static MailMessage read(const QByteArray &raw);
};
