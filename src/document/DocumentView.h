#pragma once

#include <QString>

#include <functional>

class TODOItem;

// What the document asks of the window that cannot be state: scrolling,
// starting an edit, moving the focus, opening a sheet, animating the cross.
// Everything the window only mirrors (status text, title, drawer item,
// overlay, toolbar state, row height) is a property of the document with a
// change signal. Quadrants are numbered 0 to 3; rows are positions in a
// quadrant controller's arranged objects.
class DocumentView
{
public:
    virtual ~DocumentView() = default;

    // --- Quadrant tables ------------------------------------------------------
    virtual void scrollRowToVisible(int quadrant, int row) = 0;
    // Starts editing the name of a row with its text selected.
    virtual void beginEditingRow(int quadrant, int row) = 0;
    virtual void focusQuadrant(int quadrant) = 0;
    // Frame width times height of a quadrant's view; 0 when not shown.
    virtual double quadrantArea(int quadrant) const = 0;
    // Moves the handle where the quadrants cross, as fractions of the
    // four-quadrant area (x from the left, y from the bottom).
    virtual void moveQuadrantCross(double x, double y, bool animated) = 0;

    // --- Sidebar --------------------------------------------------------------
    virtual void scrollSidebarRowToVisible(int row) = 0;
    virtual void beginEditingListName(int row) = 0;
    virtual void focusSidebar() = 0;

    // --- Window ---------------------------------------------------------------
    virtual void focusSearchField() = 0;
    virtual void resizeIfNeeded() = 0;
    virtual void showUndeleteSheet() = 0;
};

// Questions and warnings. A question never blocks: the answer arrives later
// through the callback (true for "OK"), and whoever asked checks again what
// it gathered before acting on it. Without a window nobody can answer, and
// the stand-in answers no at once.
class DocumentAlerts
{
public:
    using Answer = std::function<void(bool confirmed)>;

    virtual ~DocumentAlerts() = default;

    // A warning-style alert with the buttons "OK" and "Cancel".
    virtual void confirm(const QString &message, const QString &informativeText, Answer answer) = 0;
    // A warning-style alert with a single "OK" button.
    virtual void warn(const QString &message, const QString &informativeText = QString()) = 0;
};

// The calendar that mirrors dated items. Does nothing until the application
// installs calendar sync, and nothing while calendar sync is switched off.
class CalendarBridge
{
public:
    virtual ~CalendarBridge() = default;
    virtual void updateEventForItem(TODOItem *item, class TODOList *list) = 0;
    virtual void deleteEventForItem(TODOItem *item, class TODOList *list) = 0;
    // The document's export and import actions.
    virtual void exportToCalendar(class MyDocument *) {}
    virtual void importFromCalendar(class MyDocument *) {}
};

// What the document asks of the application around it.
class DocumentHost
{
public:
    // The text size command goes to the next tier; Ctrl+plus and Ctrl+minus
    // to the tier with the next larger or smaller text.
    enum class FontStep { Next, Larger, Smaller };

    virtual ~DocumentHost() = default;
    virtual void rotateFontTier(FontStep step = FontStep::Next) = 0;
    // Text size of the item rows and height of the quadrant rows, in points.
    virtual double currentFontSize() const = 0;
    virtual double currentQuadrantRowHeight() const = 0;
    virtual bool isMasterListOpen() const = 0;
    // The application is quitting: work after a sync skips what only the window would show.
    virtual bool isTerminating() const = 0;
};
