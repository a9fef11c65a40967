#include "DrawerPresenter.h"

#include "ArrayController.h"
#include "Clock.h"
#include "DateUtils.h"
#include "HtmlText.h"
#include "ImageFactoryForMac.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "TODOItem.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextDocument>

namespace {

const QString Never = QStringLiteral("Never");

QStringList words(const QString &text)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return text.split(blanks, Qt::SkipEmptyParts);
}

// Plain notes as HTML that shows the same lines.
QString htmlFromPlainText(const QString &plain)
{
    return plain.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
}

} // namespace

DrawerPresenter::DrawerPresenter(MyDocument *document, QObject *parent)
    : QObject(parent)
    , m_document(document)
{
    connect(document, &MyDocument::drawerItemChanged, this, &DrawerPresenter::documentDrawerItemChanged);
}

TODOList *DrawerPresenter::list() const
{
    return m_item ? m_item->list() : nullptr;
}

// The document names the item; the drawer shows the selection of the quadrant holding it.
void DrawerPresenter::documentDrawerItemChanged(TODOItem *item, bool takeFocus)
{
    if (!item || !m_document) {
        close();
        return;
    }
    const int quadrant = m_document->selectedQuadrant() >= 0 ? m_document->selectedQuadrant() : item->quadrant();
    openAndEditSelection(m_document->controllerForQuadrant(quadrant), takeFocus);
}

void DrawerPresenter::openAndEditSelection(ArrayController *controller, bool takeFocus)
{
    if (controller != m_controller) {
        disconnect(m_selectionConnection);
        m_controller = controller;
        // A selection growing to several items closes the drawer, so that no
        // edit goes to all of them; back to one, it opens again.
        if (controller) {
            m_selectionConnection = connect(controller, &ArrayController::selectionChanged, this,
                                            [this] { openAndEditSelection(m_controller, false); });
        }
    }
    const QList<ManagedObject *> selected = controller ? controller->selectedObjects() : QList<ManagedObject *>();
    if (selected.size() != 1) {
        qCInfo(lcUi, "Won't bind drawer: %ld elements selected", long(selected.size()));
        close();
        return;
    }
    show(static_cast<TODOItem *>(selected.first()), takeFocus);
}

void DrawerPresenter::show(TODOItem *item, bool takeFocus)
{
    if (item != m_item) {
        itemSelectionChanged(item);
        modifyIconNameIfNeededForItem(item);
        m_item = item;
    } else if (!takeFocus) {
        return;
    }
    emit itemChanged(item, takeFocus);
}

void DrawerPresenter::close()
{
    if (!m_item)
        return;
    m_item = nullptr;
    emit itemChanged(nullptr, false);
}

// --- Checks before showing --------------------------------------------------------------------

QStringList DrawerPresenter::tokenizeNotes(const QString &html)
{
    return words(HtmlText::toPlainText(html));
}

// The rich notes are read as HTML, the plain notes as the text they are (read
// as HTML, plain notes holding "<" or "&" would never agree).
bool DrawerPresenter::itemIsRichText(const TODOItem *item)
{
    const QString rich = item->descriptionRichText();
    const QString plain = item->descriptionText();
    if (rich.isEmpty() && plain.isEmpty())
        return true;
    if (rich.isEmpty() || plain.isEmpty()) {
        qCInfo(lcUi).noquote() << QStringLiteral("Rich test FAIL for item '%1': R'%2' ?= P'%3'").arg(item->name(), rich, plain);
        return false;
    }
    const QStringList r = tokenizeNotes(rich);
    const QStringList p = words(plain);
    if (r.size() != p.size()) {
        qCInfo(lcUi).noquote() << QStringLiteral("Rich test FAIL for item '%1': different token counts R'%2' ?= P'%3'")
                                      .arg(item->name())
                                      .arg(r.size())
                                      .arg(p.size());
        return false;
    }
    for (qsizetype i = 0; i < r.size(); ++i) {
        if (r[i] != p[i]) {
            qCInfo(lcUi).noquote() << QStringLiteral("Rich test FAIL for item '%1': token %2 difference R'%3' ?= P'%4'")
                                          .arg(item->name())
                                          .arg(i)
                                          .arg(r[i], p[i]);
            return false;
        }
    }
    return true;
}

// The plain notes win, kept exactly as they are; but rich notes are never
// wiped by plain notes that are empty: then the plain notes are derived from
// them instead.
void DrawerPresenter::itemSelectionChanged(TODOItem *item)
{
    if (!item || !m_document || itemIsRichText(item))
        return;
    const QString plain = item->descriptionText();
    qCInfo(lcUi).noquote() << QStringLiteral("On item w/ q=%1, overwriting  '%2' with '%3'")
                                  .arg(item->quadrant())
                                  .arg(item->descriptionRichText(), plain);
    const bool tracking = m_document->isReceivingEditingNotifications();
    if (tracking)
        m_document->disableDidChangeContextNotifications();
    {
        ChangeTracker::MergeWrites unmarked(m_document->changeTracker());
        ManagedObjectContext::WithoutUndo noUndo(*m_document->managedObjectContext());
        if (plain.isEmpty()) {
            item->setDescriptionText(HtmlText::toPlainText(item->descriptionRichText()));
        } else {
            item->setDescriptionRichText(htmlFromPlainText(plain));
            item->setDescriptionText(plain);
        }
    }
    if (tracking)
        m_document->enableDidChangeContextNotifications();
}

bool DrawerPresenter::bundleContainsFileNamed(const QString &name)
{
    return !name.isEmpty() && QFile::exists(QStringLiteral("icons:") + name);
}

// The repaired name keeps its ".png": the rows and the icon button load icons by file name.
// A repair is no undo step of the user's.
bool DrawerPresenter::modifyIconNameIfNeededForItem(TODOItem *item)
{
    const QString name = item->icon();
    if (bundleContainsFileNamed(name))
        return false;
    ManagedObjectContext::WithoutUndo noUndo(*item->context());
    if (name.isEmpty()) {
        item->setIcon(ImageFactoryForMac::defaultIconName());
        return true;
    }
    QString stem = name.endsWith(QLatin1String(".png")) ? name.chopped(4) : name;
    for (const char *size : {"64", "44", "32"}) {
        if (stem.startsWith(QLatin1String(size)))
            stem.remove(0, 2);
    }
    if (stem.endsWith(QLatin1String("128")))
        stem.chop(3);
    for (const char *prefix : {"", "64", "44", "32"}) {
        for (const char *suffix : {"", "128"}) {
            const QString candidate = QLatin1String(prefix) + stem + QLatin1String(suffix) + QLatin1String(".png");
            if (bundleContainsFileNamed(candidate)) {
                qCInfo(lcUi).noquote() << QStringLiteral("Replacing missing icon name '%1' with '%2'").arg(name, candidate);
                item->setIcon(candidate);
                return true;
            }
        }
    }
    qCWarning(lcUi).noquote() << QStringLiteral("ERROR: Cannot find an icon name similar to %1").arg(name);
    return false;
}

QStringList DrawerPresenter::iconNames()
{
    static const QRegularExpression itemIcon(QStringLiteral("^[^0-9].*128\\.png$"));
    QStringList names;
    for (const QString &folder : QDir::searchPaths(QStringLiteral("icons")))
        names += QDir(folder).entryList({QStringLiteral("*128.png")}, QDir::Files).filter(itemIcon);
    names.sort();
    names.removeDuplicates();
    return names;
}

// --- Actions -----------------------------------------------------------------------------------

void DrawerPresenter::datesCheckBoxWasClicked(bool on)
{
    if (!m_item)
        return;
    if (on) {
        m_item->setDueDate(suggestedDueDate());
    } else {
        m_item->setStartDate(QDateTime());
        m_item->setDueDate(QDateTime());
    }
    m_item->setAllDay(false);
    m_item->setFrequency(Never);
    m_item->setUntilDate(QDateTime());
}

// Turning the box off clears the start date: a box left showing a start date
// the user turned off would be a lie.
void DrawerPresenter::hasStartDateCheckBoxWasClicked(bool on)
{
    if (m_item)
        m_item->setStartDate(on ? suggestedStartDate() : QDateTime());
}

void DrawerPresenter::allDayCheckBoxWasClicked(bool on)
{
    if (!m_item)
        return;
    m_item->setAllDay(on);
    if (!on)
        return;
    m_item->setDueDate(DateUtils::stripTimeOfDay(m_item->dueDate()));
    m_item->setStartDate(DateUtils::stripTimeOfDay(m_item->startDate()));
}

// An until date the user already set stays when one repeating frequency
// replaces another.
void DrawerPresenter::frequencyComboBoxWasChanged(const QString &frequency)
{
    if (!m_item)
        return;
    m_item->setFrequency(frequency);
    if (frequency == Never)
        m_item->setUntilDate(QDateTime());
    else if (!m_item->untilDate().isValid())
        m_item->setUntilDate(suggestedUntilDate());
}

void DrawerPresenter::completionSliderChanged(int percentage)
{
    // The control showing the stored value again is no change.
    if (!m_item || !m_document || percentage == m_item->completionPercentage())
        return;
    m_document->markTODOItem(m_item, list(), m_controller, percentage);
    m_document->reloadTableViews();
}

void DrawerPresenter::setIcon(const QString &name)
{
    if (m_item && !name.isEmpty())
        m_item->setIcon(name);
}

QString DrawerPresenter::notesHtml(const QTextDocument &notes)
{
    if (notes.toPlainText().trimmed().isEmpty())
        return {};
    const QString html = notes.toHtml();
    const qsizetype bodyTag = html.indexOf(QLatin1String("<body"));
    const qsizetype start = bodyTag < 0 ? -1 : html.indexOf(QLatin1Char('>'), bodyTag);
    const qsizetype end = html.lastIndexOf(QLatin1String("</body>"));
    if (start < 0 || end < start)
        return html;
    return html.mid(start + 1, end - start - 1).trimmed();
}

void DrawerPresenter::setNotes(const QTextDocument &notes)
{
    if (m_item)
        m_item->setDescriptionRichText(notesHtml(notes));
}

// --- Suggested dates -----------------------------------------------------------------------------

QDateTime DrawerPresenter::convertDate(const QDateTime &date, int sharpTime)
{
    return QDateTime(date.toLocalTime().date(), QTime(sharpTime, 0));
}

QDateTime DrawerPresenter::suggestedStartDate()
{
    return convertDate(Clock::now().addSecs(3600), 16);
}

QDateTime DrawerPresenter::suggestedDueDate()
{
    return convertDate(Clock::now().addSecs(3600), 17);
}

QDateTime DrawerPresenter::suggestedUntilDate()
{
    return convertDate(Clock::now().addSecs(365 * 86400), 17);
}

QStringList DrawerPresenter::frequencies()
{
    return {Never,
            QStringLiteral("Daily"),
            QStringLiteral("Weekly"),
            QStringLiteral("Biweekly"),
            QStringLiteral("4-weekly"),
            QStringLiteral("Monthly"),
            QStringLiteral("Quarterly"),
            QStringLiteral("Semesterly"),
            QStringLiteral("Yearly")};
}
