#pragma once

#include <QString>

class TODOItem;

// Everything the document does to the window goes through here. The main
// window implements it; tests record the calls. Quadrants are numbered 0 to 3;
// rows are positions in a quadrant controller's arranged objects.
class DocumentView
{
public:
    virtual ~DocumentView() = default;

    // --- Drawer -------------------------------------------------------------
    // Opens the item drawer on an item (the selection of its quadrant).
    virtual void openDrawer(TODOItem *item, bool takeFocus) = 0;
    virtual void closeDrawer() = 0;
    virtual bool isDrawerOpen() const = 0;

    // --- Quadrant tables ------------------------------------------------------
    virtual void scrollRowToVisible(int quadrant, int row) = 0;
    // Starts editing the name of a row with its text selected.
    virtual void beginEditingRow(int quadrant, int row) = 0;
    virtual void focusQuadrant(int quadrant) = 0;
    // Frame width times height of a quadrant's view; 0 when not shown.
    virtual double quadrantArea(int quadrant) const = 0;
    virtual void setQuadrantRowHeight(double height) = 0;
    // Moves the handle where the quadrants cross, as fractions of the
    // four-quadrant area (x from the left, y from the bottom).
    virtual void moveQuadrantCross(double x, double y, bool animated) = 0;
    virtual void setMarkCompleteEnabled(bool enabled) = 0;
    virtual void setToolbarDragging(bool dragging) = 0;

    // --- Sidebar --------------------------------------------------------------
    virtual void scrollSidebarRowToVisible(int row) = 0;
    virtual void beginEditingListName(int row) = 0;
    virtual void focusSidebar() = 0;
    virtual void setSidebarCollapsed(bool collapsed, bool animated) = 0;

    // --- Window ---------------------------------------------------------------
    virtual void focusSearchField() = 0;
    virtual void setSearchFieldText(const QString &text) = 0;
    virtual void setStatusText(const QString &text) = 0;
    virtual void resizeIfNeeded() = 0;
    virtual void showBusyOverlay() = 0;
    virtual void hideBusyOverlay() = 0;
    virtual void showUndeleteSheet() = 0;
    virtual void titleChanged() = 0;
};

// Modal questions and warnings. Each call blocks until answered in the
// application; tests answer at once.
class DocumentAlerts
{
public:
    virtual ~DocumentAlerts() = default;

    // A warning-style alert with the buttons "OK" and "Cancel"; true for "OK".
    virtual bool confirm(const QString &message, const QString &informativeText) = 0;
    // A warning-style alert with a single "OK" button.
    virtual void warn(const QString &message) = 0;
};

// The calendar that mirrors dated items. Does nothing until calendar sync
// exists.
class CalendarBridge
{
public:
    virtual ~CalendarBridge() = default;
    virtual void updateEventForItem(TODOItem *item, class TODOList *list) = 0;
    virtual void deleteEventForItem(TODOItem *item, class TODOList *list) = 0;
};

// What the document asks of the application around it.
class DocumentHost
{
public:
    virtual ~DocumentHost() = default;
    virtual void rotateFontTier() = 0;
    virtual double currentQuadrantRowHeight() const = 0;
    virtual bool isMasterListOpen() const = 0;
};
