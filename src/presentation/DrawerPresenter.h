#pragma once

#include "ArrayController.h"
#include "MyDocument.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QTextDocument;
class TODOItem;
class TODOList;

// The item drawer's logic, without widgets: which item it shows (the one
// selected item of the quadrant holding the selection), the checks made
// before an item is shown (rich notes that say what the plain notes say,
// icon names that exist), and the actions that change several attributes of
// the item at once. Every action writes straight into the store, so each
// user action is one undo step.
class DrawerPresenter : public QObject
{
    Q_OBJECT
public:
    explicit DrawerPresenter(MyDocument *document, QObject *parent = nullptr);

    // The item shown, or none while the drawer is closed or several items are selected.
    TODOItem *item() const { return m_item; }
    TODOList *list() const;
    // The quadrant controller whose selection is shown; the drawer's fields bind to it.
    ArrayController *arrayController() const { return m_controller; }

    // Shows the one selected item of the controller; with any other number
    // selected, shows none ("Won't bind drawer: %ld elements selected").
    void openAndEditSelection(ArrayController *controller, bool takeFocus);
    void close();

    // --- Checks before an item is shown -------------------------------------------
    // Rewrites the rich notes from the plain ones when the two disagree, as
    // no local edit (neither marked for upload nor an undo step).
    void itemSelectionChanged(TODOItem *item);
    // Whether the rich and the plain notes say the same words.
    static bool itemIsRichText(const TODOItem *item);
    // The words of HTML notes.
    static QStringList tokenizeNotes(const QString &html);
    // Replaces an icon name without an image by the nearest that has one;
    // answers whether it changed the name.
    bool modifyIconNameIfNeededForItem(TODOItem *item);
    static bool bundleContainsFileNamed(const QString &name);
    // The item icons there are ("blue_drop128.png"), without their size tiers, sorted.
    static QStringList iconNames();

    // --- Actions ------------------------------------------------------------------------
    void datesCheckBoxWasClicked(bool on);
    void hasStartDateCheckBoxWasClicked(bool on);
    void allDayCheckBoxWasClicked(bool on);
    void frequencyComboBoxWasChanged(const QString &frequency);
    // Completion goes through the document, which sets the state and the
    // completion date and creates the next occurrence of a recurring item.
    void completionSliderChanged(int percentage);
    void setIcon(const QString &name);
    // The notes editor's text as the item's HTML notes (the plain notes follow).
    void setNotes(const QTextDocument &notes);
    // The HTML the notes editor holds: the body of the document, none when it has no text.
    static QString notesHtml(const QTextDocument &notes);

    // --- Suggested dates, each at a whole hour of the local day ---------------------
    static QDateTime suggestedStartDate();
    static QDateTime suggestedDueDate();
    static QDateTime suggestedUntilDate();
    static QDateTime convertDate(const QDateTime &date, int sharpTime);
    // The recurrence texts, "Never" first.
    static QStringList frequencies();

signals:
    // The drawer opens on the item (taking the keyboard focus when asked), or closes for none.
    void itemChanged(TODOItem *item, bool takeFocus);

private:
    void show(TODOItem *item, bool takeFocus);
    void documentDrawerItemChanged(TODOItem *item, bool takeFocus);

    QPointer<MyDocument> m_document;
    QPointer<ArrayController> m_controller;
    QMetaObject::Connection m_selectionConnection;
    TODOItem *m_item = nullptr;
};
