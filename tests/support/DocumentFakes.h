#pragma once

// Fakes of the window side of the document, and a fixture that gives each
// test a fresh document on an in-memory store with its own defaults file.

#include "Clock.h"
#include "Defaults.h"
#include "DocumentView.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "Pasteboard.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <memory>

// Records every call as one line ("closeDrawer", "scrollRowToVisible 0 3") in order.
class FakeDocumentView : public DocumentView
{
public:
    QStringList calls;
    std::array<double, 4> areas{100.0, 100.0, 100.0, 100.0};
    bool drawerOpen = false;
    TODOItem *drawerItem = nullptr;
    QString statusText;
    QString searchFieldText;

    bool called(const QString &prefix) const
    {
        for (const QString &c : calls)
            if (c.startsWith(prefix))
                return true;
        return false;
    }
    int count(const QString &prefix) const
    {
        int n = 0;
        for (const QString &c : calls)
            n += c.startsWith(prefix) ? 1 : 0;
        return n;
    }

    void openDrawer(TODOItem *item, bool takeFocus) override
    {
        drawerOpen = true;
        drawerItem = item;
        calls << QStringLiteral("openDrawer %1 %2").arg(item ? item->name() : QStringLiteral("-")).arg(takeFocus);
    }
    void closeDrawer() override
    {
        drawerOpen = false;
        drawerItem = nullptr;
        calls << QStringLiteral("closeDrawer");
    }
    bool isDrawerOpen() const override { return drawerOpen; }
    void reloadTables() override { calls << QStringLiteral("reloadTables"); }
    void scrollRowToVisible(int q, int row) override { calls << QStringLiteral("scrollRowToVisible %1 %2").arg(q).arg(row); }
    void beginEditingRow(int q, int row) override { calls << QStringLiteral("beginEditingRow %1 %2").arg(q).arg(row); }
    void focusQuadrant(int q) override { calls << QStringLiteral("focusQuadrant %1").arg(q); }
    double quadrantArea(int q) const override { return q >= 0 && q < 4 ? areas[q] : 0.0; }
    void setQuadrantRowHeight(double h) override { calls << QStringLiteral("setQuadrantRowHeight %1").arg(h); }
    void moveQuadrantCross(double x, double y, bool animated) override
    {
        calls << QStringLiteral("moveQuadrantCross %1 %2 %3").arg(x).arg(y).arg(animated);
    }
    void setMarkCompleteEnabled(bool e) override { calls << QStringLiteral("setMarkCompleteEnabled %1").arg(e); }
    void setToolbarDragging(bool d) override { calls << QStringLiteral("setToolbarDragging %1").arg(d); }
    void refreshListCells() override { calls << QStringLiteral("refreshListCells"); }
    void reloadSidebar() override { calls << QStringLiteral("reloadSidebar"); }
    void scrollSidebarRowToVisible(int row) override { calls << QStringLiteral("scrollSidebarRowToVisible %1").arg(row); }
    void beginEditingListName(int row) override { calls << QStringLiteral("beginEditingListName %1").arg(row); }
    void focusSidebar() override { calls << QStringLiteral("focusSidebar"); }
    void setSidebarCollapsed(bool c, bool a) override { calls << QStringLiteral("setSidebarCollapsed %1 %2").arg(c).arg(a); }
    void focusSearchField() override { calls << QStringLiteral("focusSearchField"); }
    void setSearchFieldText(const QString &t) override
    {
        searchFieldText = t;
        calls << QStringLiteral("setSearchFieldText %1").arg(t);
    }
    void setStatusText(const QString &t) override
    {
        statusText = t;
        calls << QStringLiteral("setStatusText %1").arg(t);
    }
    void resizeIfNeeded() override { calls << QStringLiteral("resizeIfNeeded"); }
    void showBusyOverlay() override { calls << QStringLiteral("showBusyOverlay"); }
    void hideBusyOverlay() override { calls << QStringLiteral("hideBusyOverlay"); }
    void showUndeleteSheet() override { calls << QStringLiteral("showUndeleteSheet"); }
    void titleChanged() override { calls << QStringLiteral("titleChanged"); }
};

// Answers confirmations from a queue (default: the `answer` value) and keeps
// every message shown.
class FakeAlerts : public DocumentAlerts
{
public:
    bool answer = true;
    QList<bool> queued;
    QStringList messages;      // "message|informative text"
    QStringList warnings;

    bool confirm(const QString &message, const QString &informativeText) override
    {
        messages << message + QLatin1Char('|') + informativeText;
        return queued.isEmpty() ? answer : queued.takeFirst();
    }
    void warn(const QString &message) override { warnings << message; }
};

class FakeCalendar : public CalendarBridge
{
public:
    QStringList calls; // "update <name>" / "delete <name>"
    void updateEventForItem(TODOItem *item, TODOList *) override { calls << QStringLiteral("update ") + item->name(); }
    void deleteEventForItem(TODOItem *item, TODOList *) override { calls << QStringLiteral("delete ") + item->name(); }
};

class FakeHost : public DocumentHost
{
public:
    int rotations = 0;
    double rowHeight = 24.0;
    bool masterListOpen = false;
    void rotateFontTier() override { ++rotations; }
    double currentQuadrantRowHeight() const override { return rowHeight; }
    bool isMasterListOpen() const override { return masterListOpen; }
};

// A document on an in-memory store (no file), with fakes attached and the
// defaults in a temporary file. Call setUp() on the document when a test
// needs the window set-up.
struct DocumentFixture {
    QTemporaryDir dir;
    FakeDocumentView view;
    FakeAlerts alerts;
    FakeCalendar calendar;
    FakeHost host;
    MemoryPasteboard pasteboard;
    std::unique_ptr<MyDocument> document;

    DocumentFixture()
    {
        Defaults::useFileForTesting(dir.filePath(QStringLiteral("defaults.ini")));
        document = std::make_unique<MyDocument>(std::make_unique<ManagedObjectContext>(todoListModel()));
        document->setView(&view);
        document->setAlerts(&alerts);
        document->setCalendar(&calendar);
        document->setHost(&host);
        document->setPasteboard(&pasteboard);
    }
    ~DocumentFixture()
    {
        document.reset();
        Defaults::useFileForTesting(QString());
        Clock::reset();
    }

    ManagedObjectContext *context() const { return document->managedObjectContext(); }

    // A list made through the document and selected.
    TODOList *selectedList(const QString &name = QStringLiteral("List"))
    {
        TODOList *list = document->addNewProjectWithName(name);
        document->selectProject(list);
        return list;
    }

    // An item added to a quadrant of the selected list, named.
    TODOItem *item(int quadrant, const QString &name)
    {
        TODOItem *i = document->addTODOItemToQuadrant(quadrant);
        if (i)
            i->setName(name);
        return i;
    }
};
