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

#include <memory>

// Records every call as one line ("closeDrawer", "scrollRowToVisible 0 3") in order.
class FakeDocumentView : public DocumentView
{
public:
    QStringList calls;
    TODOItem *drawerItem = nullptr;
    QString searchFieldText;

    void openDrawer(TODOItem *item, bool takeFocus) override
    {
        drawerItem = item;
        record("openDrawer", item ? item->name() : QStringLiteral("-"), takeFocus);
    }
    void closeDrawer() override { drawerItem = nullptr, record("closeDrawer"); }
    bool isDrawerOpen() const override { return drawerItem; }
    void scrollRowToVisible(int q, int row) override { record("scrollRowToVisible", q, row); }
    void beginEditingRow(int q, int row) override { record("beginEditingRow", q, row); }
    void focusQuadrant(int q) override { record("focusQuadrant", q); }
    double quadrantArea(int) const override { return 100.0; }
    void setQuadrantRowHeight(double h) override { record("setQuadrantRowHeight", h); }
    void moveQuadrantCross(double x, double y, bool animated) override { record("moveQuadrantCross", x, y, animated); }
    void setMarkCompleteEnabled(bool e) override { record("setMarkCompleteEnabled", e); }
    void setToolbarDragging(bool d) override { record("setToolbarDragging", d); }
    void scrollSidebarRowToVisible(int row) override { record("scrollSidebarRowToVisible", row); }
    void beginEditingListName(int row) override { record("beginEditingListName", row); }
    void focusSidebar() override { record("focusSidebar"); }
    void setSidebarCollapsed(bool c, bool a) override { record("setSidebarCollapsed", c, a); }
    void focusSearchField() override { record("focusSearchField"); }
    void setSearchFieldText(const QString &t) override { searchFieldText = t, record("setSearchFieldText", t); }
    void setStatusText(const QString &t) override { record("setStatusText", t); }
    void resizeIfNeeded() override { record("resizeIfNeeded"); }
    void showBusyOverlay() override { record("showBusyOverlay"); }
    void hideBusyOverlay() override { record("hideBusyOverlay"); }
    void showUndeleteSheet() override { record("showUndeleteSheet"); }
    void titleChanged() override { record("titleChanged"); }

private:
    template <typename... Args>
    void record(const char *name, const Args &...args)
    {
        QStringList line{QString::fromLatin1(name)};
        (line.append(QVariant(args).toString()), ...);
        calls << line.join(QLatin1Char(' '));
    }
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
    void rotateFontTier() override {}
    double currentQuadrantRowHeight() const override { return 24.0; }
    bool isMasterListOpen() const override { return false; }
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

    TODOList *selectedList(const QString &name = QStringLiteral("List"))
    {
        TODOList *list = document->addNewProjectWithName(name);
        document->selectProject(list);
        return list;
    }

    TODOItem *item(int quadrant, const QString &name)
    {
        TODOItem *i = document->addTODOItemToQuadrant(quadrant);
        if (i)
            i->setName(name);
        return i;
    }
};
