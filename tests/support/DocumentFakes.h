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

// Records every call as one line ("scrollRowToVisible 0 3") in order.
class FakeDocumentView : public DocumentView
{
public:
    QStringList calls;

    void scrollRowToVisible(int q, int row) override { record("scrollRowToVisible", q, row); }
    void beginEditingRow(int q, int row) override { record("beginEditingRow", q, row); }
    void focusQuadrant(int q) override { record("focusQuadrant", q); }
    double quadrantArea(int) const override { return 100.0; }
    void moveQuadrantCross(double x, double y, bool animated) override { record("moveQuadrantCross", x, y, animated); }
    void scrollSidebarRowToVisible(int row) override { record("scrollSidebarRowToVisible", row); }
    void beginEditingListName(int row) override { record("beginEditingListName", row); }
    void focusSidebar() override { record("focusSidebar"); }
    void focusSearchField() override { record("focusSearchField"); }
    void resizeIfNeeded() override { record("resizeIfNeeded"); }
    void showUndeleteSheet() override { record("showUndeleteSheet"); }

    template <typename... Args>
    void record(const char *name, const Args &...args)
    {
        QStringList line{QString::fromLatin1(name)};
        (line.append(QVariant(args).toString()), ...);
        calls << line.join(QLatin1Char(' '));
    }
};

// Answers questions from a queue (default: the `answer` value) and keeps
// every message shown. With `holdAnswers` the questions wait in `pending`
// until the test answers them, as a window-modal alert would.
class FakeAlerts : public DocumentAlerts
{
public:
    bool answer = true;
    bool holdAnswers = false;
    QList<bool> queued;
    QList<Answer> pending;
    QStringList messages;      // "message|informative text"
    QStringList warnings;

    void confirm(const QString &message, const QString &informativeText, Answer reply) override
    {
        messages << message + QLatin1Char('|') + informativeText;
        if (holdAnswers)
            pending << reply;
        else
            reply(queued.isEmpty() ? answer : queued.takeFirst());
    }
    void warn(const QString &message, const QString &informativeText = QString()) override
    {
        warnings << (informativeText.isEmpty() ? message : message + QLatin1Char('|') + informativeText);
    }
    void answerNext(bool confirmed) { pending.takeFirst()(confirmed); }
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
    void rotateFontTier(FontStep = FontStep::Next) override {}
    double currentFontSize() const override { return 14.0; }
    double currentQuadrantRowHeight() const override { return 24.0; }
    bool isMasterListOpen() const override { return false; }
    bool terminating = false;
    bool isTerminating() const override { return terminating; }
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
        // The drawer is document state; the log shows when it opened and closed.
        QObject::connect(document.get(), &MyDocument::drawerItemChanged, [this](TODOItem *item, bool takeFocus) {
            if (item)
                view.record("openDrawer", item->name(), takeFocus);
            else
                view.record("closeDrawer");
        });
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
