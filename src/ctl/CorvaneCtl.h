#pragma once

#include "ObjectStoreIO.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class MyDocument;
class QCommandLineParser;
class QTextStream;
class TODOList;

// corvanectl: the document driven from the command line, without a window.
//
//   corvanectl [--store PATH] dump
//   corvanectl [--store PATH] import FILE...
//   corvanectl [--store PATH] export [--list NAME]... -o FILE
//   corvanectl [--store PATH] add-list NAME
//   corvanectl [--store PATH] add-item --list NAME [--quadrant N] [--due DATE] [--notes TEXT] NAME
//   corvanectl [--store PATH] help-list
//   corvanectl [--store PATH] master [--view overdue|today|week|q1|q2|q3|q4|all] [--search TEXT] [--json]
//   corvanectl [--store PATH] export-html --list NAME -o FILE
//   corvanectl [--store PATH] export-pdf --list NAME -o FILE
//   corvanectl [--store PATH] import-csv FILE...
//   corvanectl [--store PATH] calendar-export | calendar-import
//
// Without --store the application's own store is opened the way the
// application opens it at launch (store folder, older names carried forward,
// created when missing); a store another process holds is refused. Records
// are made through the document's operations, with change tracking on, so
// identifiers, order and change marks are those of the application.
//
// Results go to the output stream, errors to the error stream; nothing is
// thrown for bad input.
class CorvaneCtl
{
public:
    // Exit statuses.
    enum Status : int {
        Success = 0,
        Failure = 1,     // the store or a file could not be read or written
        UsageError = 2,  // bad command line: nothing was opened or changed
    };

    CorvaneCtl(QTextStream &out, QTextStream &err);
    ~CorvaneCtl();

    // Runs one command line; arguments[0] is the program. Answers the exit status.
    int run(const QStringList &arguments);

    // The due date of add-item: "YYYY-MM-DD" (all day: midnight, local time)
    // or "YYYY-MM-DDTHH:MM" (local time). Empty when the text is a due date;
    // else what is wrong with it.
    static QString parseDue(const QString &text, QDateTime *due, bool *allDay);

private:
    struct Common;
    // What add-item makes, checked before the store is opened.
    struct ItemRequest {
        QString name;
        QString list;
        int quadrant = 0;
        QDateTime due;
        bool allDay = false;
        QString notes;
    };

    int runCommand(const QString &command, const QStringList &arguments, const QString &globalStore);
    int dump(MyDocument &document);
    int importFiles(MyDocument &document, const QStringList &files);
    int exportLists(MyDocument &document, const QStringList &names, const QString &output);
    int addList(MyDocument &document, const QString &name);
    int addItem(MyDocument &document, const ItemRequest &request);
    int helpList(MyDocument &document);
    struct SyncRequest {
        QString email;
        QUrl server; // invalid: the configured one
        bool passwordFromStdin = false;
    };
    int sync(MyDocument &document, const SyncRequest &request);
    // The master list's groups and rows of a view, as text or JSON; reads only.
    static void addMasterOptions(QCommandLineParser &parser);
    int master(const QCommandLineParser &parser, const QString &storePath);
    enum class CalendarDirection { Export, Import };
    // Needs calendar sync switched on ("doCalSync").
    int calendarSync(MyDocument &document, CalendarDirection direction);

    // Opens the store: the application's (storePath empty) or the file at
    // storePath, made when missing if mayCreate. A write-protected store opens
    // only for commands that read (StoreAccess::Read). nullptr, reported, on failure.
    std::unique_ptr<MyDocument> openDocument(const QString &storePath, bool mayCreate,
                                             StoreAccess access = StoreAccess::Write);
    // Saves the document's pending changes; reports a failure.
    bool save(MyDocument &document);
    // The first shown list of that name, in sidebar order.
    static TODOList *shownListNamed(MyDocument &document, const QString &name);

    // export-html, export-pdf and import-csv: their options, and running them.
    static bool isSharingCommand(const QString &command);
    static void addSharingOptions(const QString &command, QCommandLineParser &parser);
    int runSharingCommand(const QString &command, const QCommandLineParser &parser, const QString &storePath);
    enum class PageFormat { Html, Pdf };
    int exportPage(MyDocument &document, const QString &listName, const QString &output, PageFormat format);
    int importCsv(MyDocument &document, const QStringList &files);

    int usageError(const QString &command, const QString &message);
    int failure(const QString &message);
    QString helpText(const QString &command, const QCommandLineParser &parser) const;

    QTextStream &m_out;
    QTextStream &m_err;
    QString m_program;
};
