#include "MailDelivery.h"

#include "DocumentView.h"
#include "EmailComposer.h"
#include "HtmlExport.h"
#include "Logging.h"
#include "MyDocument.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QTextDocumentFragment>

#include <pwd.h>
#include <unistd.h>

namespace {

// The user's full name from the password database, else the login name.
QString fullUserName()
{
    const passwd *entry = getpwuid(getuid());
    if (!entry)
        return qEnvironmentVariable("USER");
    const QString name = QString::fromLocal8Bit(entry->pw_gecos ? entry->pw_gecos : "").section(QLatin1Char(','), 0, 0);
    return name.trimmed().isEmpty() ? QString::fromLocal8Bit(entry->pw_name) : name.trimmed();
}

} // namespace

MailDelivery::MailDelivery(MyDocument &document, QClipboard *clipboard, UrlOpener openUrl)
    : m_document(document)
    , m_clipboard(clipboard)
    , m_openUrl(std::move(openUrl))
{
}

void MailDelivery::emailCurrentList()
{
    const TODOList *list = m_document.getSelectedProject();
    if (!list) {
        qCWarning(lcDocument) << "ERROR: Can only one list at a time";
        return;
    }
    sendEmailBody(EmailComposer(m_document).emailBodyFromList(list), EmailComposer::listSubject(list));
}

void MailDelivery::emailCurrentItem()
{
    const TODOItem *item = m_document.drawerItem();
    if (!item)
        return;
    qCInfo(lcDocument) << "Got an item of type TODOItem";
    sendEmailBody(EmailComposer::emailBodyFromItem(item), EmailComposer::itemSubject(item));
}

void MailDelivery::emailFromQuadrant(int quadrant)
{
    const TODOList *list = m_document.getSelectedProject();
    if (!list || quadrant < 0 || quadrant >= Quadrant::Count)
        return;
    const QString title = HtmlExport::titleForQuadrant(quadrant, list);
    sendEmailBody(EmailComposer(m_document).emailBodyFromQuadrant(quadrant, title),
                  EmailComposer::quadrantSubject(list, title));
}

void MailDelivery::emailSelectedItems()
{
    const int quadrant = m_document.lastQuadrantClicked();
    const TODOList *list = m_document.getSelectedProject();
    if (!list || quadrant < 0 || quadrant >= Quadrant::Count)
        return;
    const QList<TODOItem *> items = m_document.selectedItemsInQuadrant(quadrant);
    if (items.isEmpty())
        return;
    const QString body =
        items.size() == 1 ? EmailComposer::emailBodyFromItem(items.constFirst()) : EmailComposer::emailBodyFromItems(items);
    sendEmailBody(body, EmailComposer::selectedItemsSubject(list, items));
}

void MailDelivery::emailFeedbackToNuvalto()
{
    sendAnEmailWithUrl(EmailComposer::feedbackLink(QGuiApplication::applicationDisplayName(),
                                                   QCoreApplication::applicationVersion(), fullUserName()));
}

void MailDelivery::emailRecommendCorvane()
{
    sendAnEmailWithUrl(EmailComposer::recommendationLink());
}

void MailDelivery::sendEmailBody(const QString &body, const QString &subject)
{
    // The signature goes with the body: the clipboard is all the mail gets.
    const QString fullBody = EmailComposer::includeEmailPrefix(body);
    qCInfo(lcDocument).noquote() << QStringLiteral("fullBody =\n%1").arg(fullBody);
    auto *data = new QMimeData;
    data->setHtml(fullBody);
    data->setText(QTextDocumentFragment::fromHtml(fullBody).toPlainText());
    m_clipboard->setMimeData(data);
    m_document.alerts()->warn(QStringLiteral("Message ready"),
                              QStringLiteral("We have copied your message in the pasteboard. You can now paste it in "
                                             "the mail window. We are filling out a message window for your "
                                             "convenience."));
    sendAnEmailWithUrl(EmailComposer::messageLink(subject));
}

void MailDelivery::sendAnEmailWithUrl(const QUrl &url)
{
    qCInfo(lcDocument).noquote() << QStringLiteral("urlString = '%1'").arg(url.toString(QUrl::FullyEncoded));
    if (!url.isValid()) {
        qCWarning(lcDocument) << "ERROR: Failed to create email url";
        return;
    }
    // The answer may come after the window, and with it the alerts, has gone.
    m_openUrl(url, [document = QPointer<MyDocument>(&m_document)](bool opened) {
        if (!opened && document)
            document->alerts()->warn(QStringLiteral("Run and configure the Mail app"));
    });
}

void MailDelivery::openWithDesktop(const QUrl &url, std::function<void(bool opened)> done)
{
    auto *process = new QProcess;
    QObject::connect(process, &QProcess::finished, process, [process, done](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        done(status == QProcess::NormalExit && code == 0);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, url, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process->deleteLater();
        done(QDesktopServices::openUrl(url));
    });
    process->start(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}
