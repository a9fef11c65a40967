#include "CorvaneCtl.h"

#include "CsvImport.h"
#include "DateUtils.h"
#include "Defaults.h"
#include "HelpListController.h"
#include "HtmlExport.h"
#include "KeyStore.h"
#include "ListFiles.h"
#include "ManagedObjectContext.h"
#include "MasterListDataSource.h"
#include "MyDocument.h"
#include "ObjectModel.h"
#include "PdfExport.h"
#include "StoreFiles.h"
#include "SyncController.h"
#include "SyncLogin.h"
#include "SyncUtils.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"
#include "Utils.h"
#include "iCalController.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <numeric>

namespace {

const QString kProgram = QStringLiteral("corvanectl");

struct CommandInfo {
    const char *name;
    const char *summary;
};

constexpr CommandInfo kCommands[] = {
    {"dump", "Print every list and item of the store as JSON."},
    {"import", "Import list files (binary or hexadecimal) as new lists."},
    {"export", "Write lists to a list file."},
    {"add-list", "Add a list."},
    {"add-item", "Add an item to a list."},
    {"help-list", "Download the help list from the sync server and add its lists."},
    {"sync", "Sync the store with the sync server."},
    {"master", "Print the master list: the open items of every list, grouped by list."},
    {"export-html", "Write a list as an HTML page, as its quadrants show it."},
    {"export-pdf", "Write a list as a PDF, as its quadrants show it."},
    {"import-csv", "Import CSV files, each as a new list."},
    {"calendar-export", "Export dated items to the calendar folder, as calendar sync does."},
    {"calendar-import", "Import the calendar folder's events as items, as calendar sync does."},
};

bool isCommand(const QString &name)
{
    return std::any_of(std::begin(kCommands), std::end(kCommands),
                       [&name](const CommandInfo &info) { return name == QLatin1String(info.name); });
}

QString summaryOf(const QString &command)
{
    for (const CommandInfo &info : kCommands) {
        if (command == QLatin1String(info.name))
            return QString::fromLatin1(info.summary);
    }
    return {};
}

// The store's and the document's log is for diagnosing; the tool's own
// messages say what went wrong.
void showLog(bool verbose)
{
    QLoggingCategory::setFilterRules(verbose ? QString() : QStringLiteral("corvane.*=false"));
}

// --- dump -----------------------------------------------------------------------------

// One attribute as the dump writes it, read from the record's typed slots.
QJsonValue jsonValue(const ManagedObject *record, int index, AttributeType type)
{
    if (!record->hasValueAt(index))
        return QJsonValue(QJsonValue::Null);
    switch (type) {
    case AttributeType::Int32:
    case AttributeType::Int64:
        return QJsonValue(record->integerAt(index));
    case AttributeType::Double:
        return record->doubleAt(index);
    case AttributeType::Bool:
        return record->integerAt(index) != 0;
    case AttributeType::Text:
        return record->textAt(index);
    case AttributeType::Date:
        // Whole seconds since the epoch, rounded down also before it.
        return QJsonValue(DateUtils::floorDiv(*record->dateAt(index), 1000));
    case AttributeType::Binary:
        return QString::fromLatin1(record->dataAt(index).toBase64());
    }
    return QJsonValue(QJsonValue::Null);
}

// Every attribute of the record's entity in the schema, absent ones as null.
QJsonObject recordToJson(const ManagedObject *record)
{
    QJsonObject object;
    const EntityDescription *entity = todoListModel().entity(record->entityName());
    if (!entity)
        return object;
    const QVector<AttributeDescription> &attributes = entity->attributes();
    for (int i = 0; i < attributes.size(); ++i)
        object.insert(attributes[i].name, jsonValue(record, i, attributes[i].type));
    return object;
}

// Items as the quadrants show them: descending index.
QList<TODOItem *> inIndexOrder(QList<TODOItem *> items)
{
    std::stable_sort(items.begin(), items.end(),
                     [](const TODOItem *a, const TODOItem *b) { return a->index() > b->index(); });
    return items;
}

// An object as Qt's indented writer lays it out inside a document, depth
// levels deep, without the final line break. Texts in JSON hold no raw line
// break, so every line break starts a line of the layout.
QByteArray indentedJson(const QJsonObject &object, int depth)
{
    const QByteArray indent(4 * depth, ' ');
    QByteArray json = QJsonDocument(object).toJson(QJsonDocument::Indented);
    json.chop(1);
    return indent + json.replace('\n', '\n' + indent);
}

// A text as a JSON string, escaped as Qt's writer escapes it: quotes,
// backslashes and control characters; other characters in UTF-8, and a
// surrogate without its partner as \u and four hex digits.
void appendJsonString(QByteArray &out, QStringView text)
{
    static const char hex[] = "0123456789abcdef";
    const auto escape = [&](char16_t u) {
        const char code[] = {'\\', 'u', hex[(u >> 12) & 15], hex[(u >> 8) & 15], hex[(u >> 4) & 15], hex[u & 15]};
        out.append(code, 6);
    };
    out += '"';
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0x20 && u < 0x80 && u != '"' && u != '\\') {
            out += char(u);
            continue;
        }
        switch (u) {
        case '"': out += "\\\""; continue;
        case '\\': out += "\\\\"; continue;
        case '\b': out += "\\b"; continue;
        case '\f': out += "\\f"; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        default: break;
        }
        if (u < 0x20) {
            escape(u);
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && text[i + 1].isLowSurrogate()) {
            out += text.mid(i, 2).toUtf8();
            ++i;
        } else if (QChar::isSurrogate(u)) {
            escape(u);
        } else {
            out += text.mid(i, 1).toUtf8();
        }
    }
    out += '"';
}

// One attribute's value as Qt's writer writes it, read from the typed slot.
void appendJsonValue(QByteArray &out, const ManagedObject *record, int index, AttributeType type)
{
    if (!record->hasValueAt(index)) {
        out += "null";
        return;
    }
    switch (type) {
    case AttributeType::Int32:
    case AttributeType::Int64:
        out += QByteArray::number(record->integerAt(index));
        return;
    case AttributeType::Bool:
        out += record->integerAt(index) != 0 ? "true" : "false";
        return;
    case AttributeType::Text:
        appendJsonString(out, record->textAt(index));
        return;
    case AttributeType::Date:
        out += QByteArray::number(DateUtils::floorDiv(*record->dateAt(index), 1000));
        return;
    case AttributeType::Double:
    case AttributeType::Binary:
        break;
    }
    // Rare in items: Qt writes them, inside a one-element array.
    const QByteArray array = QJsonDocument(QJsonArray{jsonValue(record, index, type)}).toJson(QJsonDocument::Compact);
    out += QByteArrayView(array).sliced(1, array.size() - 2);
}

// Writes the items, in the quadrants' order, as the elements of an array
// whose opening bracket is written and whose closing bracket is still to
// come: one record at a time, so that memory follows one record, not the
// store. Each is laid out as Qt's indented writer lays out the object of
// recordToJson() depth + 1 levels deep: keys in code unit order.
void writeItems(QTextStream &out, const QList<TODOItem *> &items, int depth)
{
    const QVector<AttributeDescription> &attributes = todoListModel().entity(TODOItem::EntityName)->attributes();
    QList<int> order(attributes.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return attributes[a].name < attributes[b].name; });
    QList<QByteArray> keys(attributes.size());
    for (int i : order) {
        appendJsonString(keys[i], attributes[i].name);
        keys[i] += ": ";
    }
    const QByteArray indent(4 * (depth + 1), ' ');
    const QByteArray fieldIndent(4 * (depth + 2), ' ');

    QByteArray json;
    const char *separator = "";
    for (const TODOItem *item : inIndexOrder(items)) {
        json.clear();
        json += separator;
        json += indent;
        json += "{\n";
        for (int k = 0; k < order.size(); ++k) {
            const int i = order[k];
            json += fieldIndent;
            json += keys[i];
            appendJsonValue(json, item, i, attributes[i].type);
            json += k + 1 < order.size() ? ",\n" : "\n";
        }
        json += indent;
        json += '}';
        out << json;
        separator = ",\n";
    }
    if (!items.isEmpty())
        out << '\n';
}

// A list with its items, depth levels deep, without the final line break.
void writeList(QTextStream &out, const TODOList *list, int depth)
{
    QJsonObject object = recordToJson(list);
    object.insert(QStringLiteral("items"), QJsonArray());
    const QByteArray json = indentedJson(object, depth);
    // The items go between the brackets of the object's only array, which
    // the writer opens with "[" at the end of a line.
    const qsizetype inside = json.indexOf("[\n") + 2;
    out << json.left(inside);
    writeItems(out, list->contains(), depth + 1);
    out << json.mid(inside);
}

// Keeps preferences of the application as they were: document operations
// run here for their effect on the store, not on what the application shows
// at its next start (the selected list, the quadrant filters).
class PreferenceKeeper
{
public:
    explicit PreferenceKeeper(const QStringList &keys)
    {
        const Defaults &defaults = Defaults::standard();
        for (const QString &key : keys)
            m_saved.append({key, defaults.contains(key), defaults.value(key)});
    }
    ~PreferenceKeeper()
    {
        Defaults &defaults = Defaults::standard();
        for (const Saved &saved : std::as_const(m_saved)) {
            if (saved.present)
                defaults.setValue(saved.key, saved.value);
            else
                defaults.remove(saved.key);
        }
    }
    PreferenceKeeper(const PreferenceKeeper &) = delete;
    PreferenceKeeper &operator=(const PreferenceKeeper &) = delete;

private:
    struct Saved {
        QString key;
        bool present = false;
        QVariant value;
    };
    QList<Saved> m_saved;
};

// --- master ----------------------------------------------------------------------------

// The views of --view, in the order of the master list's view modes.
const QStringList kMasterViews = {QStringLiteral("overdue"), QStringLiteral("today"), QStringLiteral("week"),
                                  QStringLiteral("q1"), QStringLiteral("q2"), QStringLiteral("q3"),
                                  QStringLiteral("q4"), QStringLiteral("all")};

// The rows as groups: [{"name": list, "items": [{"name", "quadrant", "dueDate", "allDay"}]}],
// due dates in whole seconds since the epoch.
QJsonArray masterGroups(const MasterListDataSource &source)
{
    QJsonArray groups;
    QJsonObject group;
    QJsonArray items;
    const auto finishGroup = [&]() {
        if (group.isEmpty())
            return;
        group.insert(QStringLiteral("items"), items);
        groups.append(group);
        items = QJsonArray();
    };
    for (int row = 0; row < source.rows().size(); ++row) {
        if (const TODOList *list = source.groupListAt(row)) {
            finishGroup();
            group = QJsonObject{{QStringLiteral("name"), list->name()}};
            continue;
        }
        const TODOItem *item = source.itemAt(row);
        const QDateTime due = item->dueDate();
        items.append(QJsonObject{
            {QStringLiteral("name"), item->name()},
            {QStringLiteral("quadrant"), item->quadrant()},
            {QStringLiteral("dueDate"), due.isValid() ? QJsonValue(due.toSecsSinceEpoch()) : QJsonValue(QJsonValue::Null)},
            {QStringLiteral("allDay"), item->allDay()},
        });
    }
    finishGroup();
    return groups;
}

// A group name per line, its items indented below with their due dates in local time.
void writeMasterText(QTextStream &out, const QJsonArray &groups)
{
    for (const QJsonValue &group : groups) {
        out << group[QLatin1String("name")].toString() << '\n';
        for (const QJsonValue &item : group[QLatin1String("items")].toArray()) {
            out << "    " << item[QLatin1String("name")].toString();
            if (!item[QLatin1String("dueDate")].isNull()) {
                const QDateTime due = QDateTime::fromSecsSinceEpoch(item[QLatin1String("dueDate")].toInteger());
                const QString format = item[QLatin1String("allDay")].toBool() ? QStringLiteral("yyyy-MM-dd")
                                                                              : QStringLiteral("yyyy-MM-dd HH:mm");
                out << "  due " << due.toLocalTime().toString(format);
            }
            out << '\n';
        }
    }
}

} // namespace

QString CorvaneCtl::parseDue(const QString &text, QDateTime *due, bool *allDay)
{
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{4})-([0-9]{2})-([0-9]{2})(?:T([0-9]{2}):([0-9]{2}))?$"));
    const QString wrong = QStringLiteral("'%1' is not a date of the form YYYY-MM-DD or YYYY-MM-DDTHH:MM").arg(text);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return wrong;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    if (!date.isValid())
        return wrong;
    const bool withTime = !match.captured(4).isEmpty();
    const QTime time = withTime ? QTime(match.captured(4).toInt(), match.captured(5).toInt()) : QTime(0, 0);
    if (!time.isValid())
        return wrong;
    const QDateTime moment(date, time, Qt::LocalTime);
    // A local time skipped by a daylight-saving change does not exist.
    if (!moment.isValid() || moment.date() != date || moment.time() != time)
        return QStringLiteral("'%1' does not exist in local time").arg(text);
    *due = moment;
    *allDay = !withTime;
    return {};
}

// Options every command takes.
struct CorvaneCtl::Common {
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help.")};
    QCommandLineOption store{QStringLiteral("store"),
                             QStringLiteral("Use the store file at PATH instead of the application's store."),
                             QStringLiteral("PATH")};
    QCommandLineOption verbose{QStringLiteral("verbose"), QStringLiteral("Show the store's and the document's log.")};

    void addTo(QCommandLineParser &parser) const
    {
        parser.addOption(help);
        parser.addOption(store);
        parser.addOption(verbose);
    }
};

CorvaneCtl::CorvaneCtl(QTextStream &out, QTextStream &err)
    : m_out(out)
    , m_err(err)
{
}

CorvaneCtl::~CorvaneCtl() = default;

int CorvaneCtl::run(const QStringList &arguments)
{
    m_program = arguments.isEmpty() ? kProgram : arguments.constFirst();
    showLog(false);

    QCommandLineParser parser;
    QString description = QStringLiteral("Reads and changes the Corvane store from the command line.\n\nCommands:\n");
    for (const CommandInfo &info : kCommands)
        description += QStringLiteral("  %1  %2\n").arg(QString::fromLatin1(info.name).leftJustified(15), QString::fromLatin1(info.summary));
    description += QStringLiteral("\n'%1 COMMAND --help' describes a command.\n"
                                  "Without --store the application's own store is used; it must not be open in Corvane.\n"
                                  "Exit status: 0 done, 1 the store or a file could not be used, 2 bad command line.")
                       .arg(kProgram);
    parser.setApplicationDescription(description);
    const Common common;
    common.addTo(parser);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run."),
                                 QStringLiteral("COMMAND [ARGUMENTS]"));
    // Everything from the command on belongs to the command.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);

    if (!parser.parse(arguments.isEmpty() ? QStringList{kProgram} : arguments))
        return usageError(QString(), parser.errorText());

    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(common.help) || (!positional.isEmpty() && positional.constFirst() == QLatin1String("help"))) {
        // "help COMMAND" is the command's own help.
        if (positional.size() >= 2 && positional.constFirst() == QLatin1String("help"))
            return runCommand(positional.at(1), {QStringLiteral("--help")}, QString());
        m_out << helpText(QString(), parser);
        return Success;
    }
    if (positional.isEmpty())
        return usageError(QString(), QStringLiteral("no command given"));

    if (parser.isSet(common.store) && parser.value(common.store).isEmpty())
        return usageError(QString(), QStringLiteral("--store needs the path of a store file"));
    if (parser.isSet(common.verbose))
        showLog(true);
    return runCommand(positional.constFirst(), positional.mid(1), parser.value(common.store));
}

int CorvaneCtl::runCommand(const QString &command, const QStringList &arguments, const QString &globalStore)
{
    if (!isCommand(command))
        return usageError(QString(), QStringLiteral("unknown command '%1'").arg(command));

    QCommandLineParser parser;
    parser.setApplicationDescription(summaryOf(command));
    const Common common;
    common.addTo(parser);

    const QCommandLineOption listOption({QStringLiteral("l"), QStringLiteral("list")},
                                        command == QLatin1String("export")
                                            ? QStringLiteral("Export the list named NAME (repeatable). Without it, every shown list.")
                                            : QStringLiteral("The list the item goes into (the first of that name in sidebar order)."),
                                        QStringLiteral("NAME"));
    const QCommandLineOption outputOption({QStringLiteral("o"), QStringLiteral("output")},
                                          QStringLiteral("The list file to write (replaced when it exists)."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption quadrantOption({QStringLiteral("q"), QStringLiteral("quadrant")},
                                            QStringLiteral("Quadrant 0 to 3: 0 Critical and Immediate, 1 Critical but Not "
                                                           "Immediate, 2 Not Critical but Immediate, 3 Uncategorized. Default 0."),
                                            QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption dueOption({QStringLiteral("d"), QStringLiteral("due")},
                                       QStringLiteral("Due date in local time: YYYY-MM-DD (all day) or YYYY-MM-DDTHH:MM."),
                                       QStringLiteral("DATE"));
    const QCommandLineOption notesOption({QStringLiteral("n"), QStringLiteral("notes")},
                                         QStringLiteral("Notes, as plain text."), QStringLiteral("TEXT"));
    const QCommandLineOption serverOption(QStringLiteral("server"),
                                          QStringLiteral("The sync server's address for this run, instead of the configured one."),
                                          QStringLiteral("URL"));
    const QCommandLineOption emailOption(QStringLiteral("email"), QStringLiteral("The sync account's e-mail address."),
                                         QStringLiteral("ADDRESS"));
    const QCommandLineOption passwordOption(QStringLiteral("password-stdin"),
                                            QStringLiteral("Read the password from the first line of the standard input; "
                                                           "without it, the key store's password of the account is used."));

    if (command == QLatin1String("import")) {
        parser.addPositionalArgument(QStringLiteral("FILE"), QStringLiteral("List files to import, in order."),
                                     QStringLiteral("FILE..."));
    } else if (command == QLatin1String("export")) {
        parser.addOption(listOption);
        parser.addOption(outputOption);
    } else if (command == QLatin1String("add-list")) {
        parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The new list's name."));
    } else if (command == QLatin1String("add-item")) {
        parser.addOption(listOption);
        parser.addOption(quadrantOption);
        parser.addOption(dueOption);
        parser.addOption(notesOption);
        parser.addPositionalArgument(QStringLiteral("NAME"), QStringLiteral("The new item's name."));
    } else if (command == QLatin1String("sync")) {
        parser.addOption(serverOption);
        parser.addOption(emailOption);
        parser.addOption(passwordOption);
    } else if (command == QLatin1String("master")) {
        addMasterOptions(parser);
    } else if (isSharingCommand(command)) {
        addSharingOptions(command, parser);
    }

    if (!parser.parse(QStringList{m_program} + arguments))
        return usageError(command, parser.errorText());
    if (parser.isSet(common.help)) {
        m_out << helpText(command, parser);
        return Success;
    }
    if (parser.isSet(common.verbose))
        showLog(true);

    QString storePath = globalStore;
    if (parser.isSet(common.store)) {
        const QString local = parser.value(common.store);
        if (local.isEmpty())
            return usageError(command, QStringLiteral("--store needs the path of a store file"));
        if (!globalStore.isEmpty() && globalStore != local)
            return usageError(command, QStringLiteral("--store is given twice"));
        storePath = local;
    }

    // Everything on the command line is checked before the store is opened.
    const QStringList positional = parser.positionalArguments();
    if (isSharingCommand(command))
        return runSharingCommand(command, parser, storePath);

    if (command == QLatin1String("master"))
        return master(parser, storePath);

    if (command == QLatin1String("dump")) {
        if (!positional.isEmpty())
            return usageError(command, QStringLiteral("unexpected argument '%1'").arg(positional.constFirst()));
        std::unique_ptr<MyDocument> document = openDocument(storePath, false, StoreAccess::Read);
        return document ? dump(*document) : int(Failure);
    }

    if (command == QLatin1String("import")) {
        if (positional.isEmpty())
            return usageError(command, QStringLiteral("no list file given"));
        std::unique_ptr<MyDocument> document = openDocument(storePath, true);
        return document ? importFiles(*document, positional) : int(Failure);
    }

    if (command == QLatin1String("export")) {
        if (!positional.isEmpty())
            return usageError(command, QStringLiteral("unexpected argument '%1'").arg(positional.constFirst()));
        const QString output = parser.value(outputOption);
        if (output.isEmpty())
            return usageError(command, QStringLiteral("-o FILE is required"));
        std::unique_ptr<MyDocument> document = openDocument(storePath, false, StoreAccess::Read);
        return document ? exportLists(*document, parser.values(listOption), output) : int(Failure);
    }

    if (command == QLatin1String("add-list")) {
        if (positional.size() != 1)
            return usageError(command, positional.isEmpty() ? QStringLiteral("the list's NAME is missing")
                                                            : QStringLiteral("only one NAME is taken"));
        if (positional.constFirst().trimmed().isEmpty())
            return usageError(command, QStringLiteral("the list's name is empty"));
        std::unique_ptr<MyDocument> document = openDocument(storePath, true);
        return document ? addList(*document, positional.constFirst()) : int(Failure);
    }

    if (command == QLatin1String("sync")) {
        if (!positional.isEmpty())
            return usageError(command, QStringLiteral("unexpected argument '%1'").arg(positional.constFirst()));
        SyncRequest request;
        request.email = parser.value(emailOption);
        if (request.email.isEmpty())
            return usageError(command, QStringLiteral("--email ADDRESS is required"));
        if (parser.isSet(serverOption)) {
            request.server = QUrl(parser.value(serverOption));
            if (!request.server.isValid() || request.server.scheme().isEmpty())
                return usageError(command, QStringLiteral("'%1' is not a server address").arg(parser.value(serverOption)));
        }
        request.passwordFromStdin = parser.isSet(passwordOption);
        std::unique_ptr<MyDocument> document = openDocument(storePath, false);
        return document ? sync(*document, request) : int(Failure);
    }

    if (command == QLatin1String("calendar-export") || command == QLatin1String("calendar-import")) {
        if (!positional.isEmpty())
            return usageError(command, QStringLiteral("unexpected argument '%1'").arg(positional.constFirst()));
        if (!iCalController::sharedInstance())
            return failure(QStringLiteral("calendar sync is switched off in Corvane's settings; nothing was changed"));
        const bool exporting = command == QLatin1String("calendar-export");
        std::unique_ptr<MyDocument> document =
            openDocument(storePath, false, exporting ? StoreAccess::Read : StoreAccess::Write);
        return document ? calendarSync(*document, exporting ? CalendarDirection::Export : CalendarDirection::Import)
                        : int(Failure);
    }

    if (command == QLatin1String("help-list")) {
        if (!positional.isEmpty())
            return usageError(command, QStringLiteral("unexpected argument '%1'").arg(positional.constFirst()));
        std::unique_ptr<MyDocument> document = openDocument(storePath, true);
        return document ? helpList(*document) : int(Failure);
    }

    // add-item
    if (positional.size() != 1)
        return usageError(command, positional.isEmpty() ? QStringLiteral("the item's NAME is missing")
                                                        : QStringLiteral("only one NAME is taken"));
    ItemRequest request;
    request.name = positional.constFirst();
    if (request.name.trimmed().isEmpty())
        return usageError(command, QStringLiteral("the item's name is empty"));
    if (parser.values(listOption).size() != 1)
        return usageError(command, parser.isSet(listOption) ? QStringLiteral("--list is given more than once")
                                                            : QStringLiteral("--list NAME is required"));
    request.list = parser.value(listOption);
    if (parser.values(quadrantOption).size() > 1)
        return usageError(command, QStringLiteral("--quadrant is given more than once"));
    bool quadrantOk = false;
    const QString quadrantText = parser.value(quadrantOption);
    request.quadrant = quadrantText.toInt(&quadrantOk);
    if (!quadrantOk || request.quadrant < 0 || request.quadrant >= Quadrant::Count)
        return usageError(command, QStringLiteral("the quadrant must be 0, 1, 2 or 3, not '%1'").arg(quadrantText));
    if (parser.isSet(dueOption)) {
        if (parser.values(dueOption).size() > 1)
            return usageError(command, QStringLiteral("--due is given more than once"));
        const QString wrong = parseDue(parser.value(dueOption), &request.due, &request.allDay);
        if (!wrong.isEmpty())
            return usageError(command, wrong);
    }
    if (parser.values(notesOption).size() > 1)
        return usageError(command, QStringLiteral("--notes is given more than once"));
    request.notes = parser.value(notesOption);

    // An item needs a list, and a store that does not exist holds none.
    std::unique_ptr<MyDocument> document = openDocument(storePath, false);
    return document ? addItem(*document, request) : int(Failure);
}

// --- Opening and saving ------------------------------------------------------------------

std::unique_ptr<MyDocument> CorvaneCtl::openDocument(const QString &storePath, bool mayCreate, StoreAccess access)
{
    std::unique_ptr<ManagedObjectContext> context;
    QString error;
    if (storePath.isEmpty()) {
        // The application's store, as the application opens it at launch.
        context = StoreFiles::openStore(&error, nullptr, access);
        if (!context || !error.isEmpty()) {
            failure(QStringLiteral("cannot open the store: %1").arg(error));
            return nullptr;
        }
    } else {
        const QFileInfo info(storePath);
        context = std::make_unique<ManagedObjectContext>(todoListModel());
        if (info.exists() || info.isSymLink()) {
            if (!context->open(storePath, &error, access)) {
                failure(QStringLiteral("cannot open the store: %1").arg(error));
                return nullptr;
            }
        } else if (!mayCreate) {
            failure(QStringLiteral("there is no store at %1").arg(storePath));
            return nullptr;
        } else if (!context->create(storePath, &error)) {
            failure(QStringLiteral("cannot create the store: %1").arg(error));
            return nullptr;
        }
    }

    auto document = std::make_unique<MyDocument>(std::move(context));
    // The sidebar's order, as the user chose it in the application.
    if (Defaults::standard().boolValue(QStringLiteral("kAlphabeticalProjectOrder")))
        document->toggleProjectAlphabeticalOrder(true);
    return document;
}

bool CorvaneCtl::save(MyDocument &document)
{
    // Change marks are made when the changes are announced; they go into the file too.
    document.managedObjectContext()->processPendingChanges();
    if (!document.saveFile()) {
        failure(QStringLiteral("the store could not be saved"));
        return false;
    }
    return true;
}

TODOList *CorvaneCtl::shownListNamed(MyDocument &document, const QString &name)
{
    for (TODOList *list : document.getAllProjects()) {
        if (list->name() == name)
            return list;
    }
    return nullptr;
}

// --- Commands ---------------------------------------------------------------------------

int CorvaneCtl::dump(MyDocument &document)
{
    ManagedObjectContext *context = document.managedObjectContext();

    // Sidebar order: the shown lists as arranged, then the trashed and the
    // deleted ones, each by descending index.
    QList<TODOList *> lists = document.getAllProjects();
    QList<TODOList *> hidden;
    for (ManagedObject *object : context->objects(TODOList::EntityName)) {
        auto *list = static_cast<TODOList *>(object);
        if (!lists.contains(list))
            hidden.append(list);
    }
    std::stable_sort(hidden.begin(), hidden.end(), [](const TODOList *a, const TODOList *b) {
        if (a->state() != b->state())
            return a->state() < b->state();
        return a->index() > b->index();
    });
    lists += hidden;

    QList<TODOItem *> orphans;
    for (ManagedObject *object : context->objects(TODOItem::EntityName)) {
        auto *item = static_cast<TODOItem *>(object);
        if (!item->list())
            orphans.append(item);
    }

    // Written as it goes, laid out as Qt's indented writer lays out the whole
    // document {"lists": [...], "orphanItems": [...]}.
    m_out << "{\n    \"lists\": [\n";
    const char *separator = "";
    for (const TODOList *list : std::as_const(lists)) {
        m_out << separator;
        writeList(m_out, list, 2);
        separator = ",\n";
    }
    if (!lists.isEmpty())
        m_out << '\n';
    m_out << "    ],\n    \"orphanItems\": [\n";
    writeItems(m_out, orphans, 1);
    m_out << "    ]\n}\n";
    return Success;
}

int CorvaneCtl::importFiles(MyDocument &document, const QStringList &files)
{
    // Imported records are marked for upload, as in the application.
    document.enableDidChangeContextNotifications();
    ListFiles listFiles(document);
    bool allImported = true;
    for (const QString &file : files) {
        QString error;
        int count = 0;
        if (listFiles.importURL(file, &error, &count)) {
            m_out << QStringLiteral("Imported %1 list(s) from %2\n").arg(count).arg(file);
        } else {
            allImported = false;
            failure(error);
        }
        m_out.flush();
    }
    if (!save(document))
        return Failure;
    return allImported ? Success : Failure;
}

int CorvaneCtl::exportLists(MyDocument &document, const QStringList &names, const QString &output)
{
    const QList<TODOList *> shown = document.getAllProjects();
    QList<TODOList *> chosen;
    if (names.isEmpty()) {
        chosen = shown;
    } else {
        for (const QString &name : names) {
            if (!shownListNamed(document, name))
                return failure(QStringLiteral("there is no list named '%1'").arg(name));
        }
        // In sidebar order, as a selection in the sidebar gives them.
        for (TODOList *list : shown) {
            if (names.contains(list->name()))
                chosen.append(list);
        }
    }

    QString error;
    bool written = false;
    {
        // Exporting switches the quadrant filters to the basic ones and back,
        // which stores the filter choices.
        const PreferenceKeeper keeper({QStringLiteral("showingComboBox"), QStringLiteral("sortingComboBox")});
        written = ListFiles(document).exportToFile(output, chosen, &error);
    }
    if (!written)
        return failure(error);
    m_out << QStringLiteral("Exported %1 list(s) to %2\n").arg(chosen.size()).arg(output);
    return Success;
}

int CorvaneCtl::addList(MyDocument &document, const QString &name)
{
    document.enableDidChangeContextNotifications();
    if (!document.addNewProjectWithName(name))
        return failure(QStringLiteral("the list could not be added"));
    return save(document) ? int(Success) : int(Failure);
}

int CorvaneCtl::addItem(MyDocument &document, const ItemRequest &request)
{
    TODOList *list = shownListNamed(document, request.list);
    if (!list)
        return failure(QStringLiteral("there is no list named '%1'").arg(request.list));

    document.enableDidChangeContextNotifications();
    TODOItem *item = nullptr;
    {
        const PreferenceKeeper keeper({QStringLiteral("lastSelectedProjectRow")});
        if (document.selectProject(list) < 0)
            return failure(QStringLiteral("the list '%1' could not be selected").arg(request.list));
        item = document.addTODOItemToQuadrant(request.quadrant);
    }
    if (!item)
        return failure(QStringLiteral("the item could not be added"));

    item->setName(request.name);
    if (request.due.isValid()) {
        item->setDueDate(request.due);
        if (request.allDay)
            item->setAllDay(true);
    }
    if (!request.notes.isEmpty())
        item->setDescriptionRichText(QStringLiteral("<p>%1</p>").arg(request.notes.toHtmlEscaped()));

    if (!save(document))
        return Failure;
    m_out << item->id_() << '\n';
    return Success;
}

int CorvaneCtl::helpList(MyDocument &document)
{
    // The help list's lists are marked for upload, as in the application.
    document.enableDidChangeContextNotifications();
    DocumentHelpListStore store(document);
    HttpSyncTransport transport;
    HelpListController controller(&store, &transport);
    auto outcome = HelpListController::Outcome::ConnectionFailed;
    QEventLoop loop;
    controller.downloadHelpList([&](HelpListController::Outcome result) {
        outcome = result;
        loop.quit();
    });
    loop.exec();

    switch (outcome) {
    case HelpListController::Outcome::ConnectionFailed:
        return failure(QStringLiteral("cannot reach the sync server at %1").arg(SyncSettings::syncServerBaseURL().toString()));
    case HelpListController::Outcome::Failed:
        return failure(HelpListController::alertText(outcome));
    case HelpListController::Outcome::Succeeded:
        break;
    }
    if (!save(document))
        return Failure;
    m_out << HelpListController::alertText(outcome) << '\n';
    return Success;
}

// The application's quick sync: the store is saved and backed up, the
// payload goes out, the reply is merged and saved. The password comes from
// the standard input or the key store, never from the command line.
int CorvaneCtl::sync(MyDocument &document, const SyncRequest &request)
{
    QString password;
    if (request.passwordFromStdin) {
        password = QTextStream(stdin).readLine();
    } else {
        QtKeyStore keyStore;
        SyncLogin login(keyStore, Defaults::standard());
        QEventLoop loop;
        login.getPasswordForUsername(request.email, [&](std::optional<QString> stored) {
            password = stored.value_or(QString());
            loop.quit();
        });
        loop.exec();
    }
    if (password.isEmpty() || !Utils::validateEmail(request.email))
        return failure(QStringLiteral("Please enter valid username and password"));
    if (!save(document))
        return Failure;

    DocumentSyncStore store(document);
    HttpSyncTransport transport;
    SyncController controller(&store, &transport);
    if (request.server.isValid())
        controller.setServerBaseURL(request.server);
    m_out << "Preparing lists for syncing...\n";
    m_out.flush();
    auto outcome = SyncController::Outcome::ConnectionFailed;
    QString message;
    QEventLoop loop;
    QObject::connect(&controller, &SyncController::finished, &loop, [&](SyncController::Outcome result, const QString &text) {
        outcome = result;
        message = text;
        loop.quit();
    });
    controller.uploadToServer(request.email, password);
    loop.exec();
    if (outcome != SyncController::Outcome::Succeeded)
        return failure(message);
    m_out << SyncController::successMessage() << '\n';
    return Success;
}

// --- Pages and CSV files ----------------------------------------------------------------

bool CorvaneCtl::isSharingCommand(const QString &command)
{
    return command == QLatin1String("export-html") || command == QLatin1String("export-pdf")
        || command == QLatin1String("import-csv");
}

void CorvaneCtl::addSharingOptions(const QString &command, QCommandLineParser &parser)
{
    if (command == QLatin1String("import-csv")) {
        parser.addPositionalArgument(QStringLiteral("FILE"),
                                     QStringLiteral("CSV files, in order: each becomes a list named after the file, with an "
                                                    "item per line (first field the name, second the notes)."),
                                     QStringLiteral("FILE..."));
        return;
    }
    parser.addOption({{QStringLiteral("l"), QStringLiteral("list")},
                      QStringLiteral("The list to write (the first of that name in sidebar order)."), QStringLiteral("NAME")});
    parser.addOption({{QStringLiteral("o"), QStringLiteral("output")},
                      QStringLiteral("The file to write (replaced when it exists)."), QStringLiteral("FILE")});
}

int CorvaneCtl::runSharingCommand(const QString &command, const QCommandLineParser &parser, const QString &storePath)
{
    const QStringList positional = parser.positionalArguments();
    if (command == QLatin1String("import-csv")) {
        if (positional.isEmpty())
            return usageError(command, QStringLiteral("no CSV file given"));
        // A file that is not there would still give an empty list: refuse before anything is made.
        for (const QString &file : positional) {
            const QFileInfo info(file);
            if (!info.isFile() || !info.isReadable())
                return failure(QStringLiteral("cannot read %1").arg(file));
        }
        std::unique_ptr<MyDocument> document = openDocument(storePath, true);
        return document ? importCsv(*document, positional) : int(Failure);
    }

    if (!positional.isEmpty())
        return usageError(command, QStringLiteral("unexpected argument '%1'").arg(positional.constFirst()));
    if (parser.values(QStringLiteral("list")).size() != 1)
        return usageError(command, parser.isSet(QStringLiteral("list")) ? QStringLiteral("--list is given more than once")
                                                                          : QStringLiteral("--list NAME is required"));
    const QString output = parser.value(QStringLiteral("output"));
    if (output.isEmpty())
        return usageError(command, QStringLiteral("-o FILE is required"));
    std::unique_ptr<MyDocument> document = openDocument(storePath, false, StoreAccess::Read);
    const PageFormat format = command == QLatin1String("export-pdf") ? PageFormat::Pdf : PageFormat::Html;
    return document ? exportPage(*document, parser.value(QStringLiteral("list")), output, format) : int(Failure);
}

int CorvaneCtl::exportPage(MyDocument &document, const QString &listName, const QString &output, PageFormat format)
{
    TODOList *list = shownListNamed(document, listName);
    if (!list)
        return failure(QStringLiteral("there is no list named '%1'").arg(listName));
    QString error;
    bool written = false;
    {
        // The quadrants as the window shows them: the saved filter choices,
        // with this list selected. Corvane still starts as the user left it.
        const PreferenceKeeper keeper({QStringLiteral("lastSelectedProjectRow"), QStringLiteral("showingComboBox"),
                                       QStringLiteral("sortingComboBox")});
        document.loadPreferences();
        document.configViews();
        if (document.selectProject(list) < 0)
            return failure(QStringLiteral("the list '%1' could not be selected").arg(listName));
        if (format == PageFormat::Html)
            written = HtmlExport::writeFile(output, HtmlExport(document).listToHtml(list).toUtf8(), &error);
        else
            written = PdfExport::writePdf(document, list, PdfExport::optionsFromDefaults(), output, &error) > 0;
    }
    if (!written)
        return failure(error);
    m_out << QStringLiteral("Exported '%1' to %2\n").arg(listName, output);
    return Success;
}

int CorvaneCtl::importCsv(MyDocument &document, const QStringList &files)
{
    // The new lists and items are marked for upload, as in the application.
    document.enableDidChangeContextNotifications();
    bool allRead = true;
    for (const CsvImport::ImportedFile &file : CsvImport::importFromExcel(document, files)) {
        if (!file.error.isEmpty()) {
            allRead = false;
            failure(QStringLiteral("%1: %2").arg(file.path, file.error));
        }
        m_out << QStringLiteral("Imported %1 item(s) from %2\n").arg(file.items).arg(file.path);
    }
    if (!save(document))
        return Failure;
    return allRead ? Success : Failure;
}

// --- Messages ------------------------------------------------------------------------------

// --- master ------------------------------------------------------------------------------------

void CorvaneCtl::addMasterOptions(QCommandLineParser &parser)
{
    parser.addOption(QCommandLineOption(QStringLiteral("view"),
                                        QStringLiteral("The view: %1. Default: the one the master list showed last.")
                                            .arg(kMasterViews.join(QStringLiteral(", "))),
                                        QStringLiteral("VIEW")));
    parser.addOption(QCommandLineOption(QStringLiteral("search"),
                                        QStringLiteral("Only items whose name or notes contain TEXT (two characters or more)."),
                                        QStringLiteral("TEXT")));
    parser.addOption(QCommandLineOption(QStringLiteral("json"), QStringLiteral("Print the groups as JSON.")));
}

int CorvaneCtl::master(const QCommandLineParser &parser, const QString &storePath)
{
    const QString command = QStringLiteral("master");
    if (!parser.positionalArguments().isEmpty())
        return usageError(command, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));
    for (const QString &option : {QStringLiteral("view"), QStringLiteral("search")}) {
        if (parser.values(option).size() > 1)
            return usageError(command, QStringLiteral("--%1 is given more than once").arg(option));
    }
    const qsizetype view = parser.isSet(QStringLiteral("view")) ? kMasterViews.indexOf(parser.value(QStringLiteral("view"))) : -1;
    if (parser.isSet(QStringLiteral("view")) && view < 0)
        return usageError(command, QStringLiteral("the view must be one of %1, not '%2'")
                                       .arg(kMasterViews.join(QStringLiteral(", ")), parser.value(QStringLiteral("view"))));

    std::unique_ptr<MyDocument> document = openDocument(storePath, false, StoreAccess::Read);
    if (!document)
        return Failure;
    // Items inside a group come in the order chosen for the quadrants.
    document->loadPreferences();
    MasterListDataSource source(document.get());
    source.setSearchString(parser.value(QStringLiteral("search")));
    if (view < 0)
        source.reloadData();
    else
        source.setViewMode(int(view));

    const QJsonArray groups = masterGroups(source);
    if (parser.isSet(QStringLiteral("json")))
        m_out << QJsonDocument(groups).toJson(QJsonDocument::Indented);
    else
        writeMasterText(m_out, groups);
    return Success;
}

int CorvaneCtl::usageError(const QString &command, const QString &message)
{
    const QString who = command.isEmpty() ? kProgram : QStringLiteral("%1 %2").arg(kProgram, command);
    m_err << QStringLiteral("%1: %2\nTry '%1 --help'.\n").arg(who, message);
    m_err.flush();
    return UsageError;
}

int CorvaneCtl::failure(const QString &message)
{
    m_err << QStringLiteral("%1: %2\n").arg(kProgram, message);
    m_err.flush();
    return Failure;
}

QString CorvaneCtl::helpText(const QString &command, const QCommandLineParser &parser) const
{
    // The parser names the program as it was started; the usage line names the command too.
    QString text = parser.helpText();
    const QString usage = QStringLiteral("Usage: %1").arg(QCoreApplication::arguments().value(0, m_program));
    if (text.startsWith(usage)) {
        const QString replacement = command.isEmpty() ? QStringLiteral("Usage: %1").arg(kProgram)
                                                      : QStringLiteral("Usage: %1 %2").arg(kProgram, command);
        text.replace(0, usage.size(), replacement);
    }
    return text;
}

// One run of calendar sync in one direction, with the application's
// calendar preferences. What the application shows in its status bar is
// the outcome.
int CorvaneCtl::calendarSync(MyDocument &document, CalendarDirection direction)
{
    iCalController *controller = iCalController::sharedInstance();
    // Items made from events are marked for upload, as in the application.
    document.enableDidChangeContextNotifications();
    if (direction == CalendarDirection::Export)
        controller->exportToCalendarFromDocument(&document);
    else
        controller->importFromCalendarToDocument(&document);
    const QString status = document.statusBarMessage();
    if (status.startsWith(QLatin1String("Error")))
        return failure(status);
    if (direction == CalendarDirection::Import && !save(document))
        return Failure;
    m_out << QStringLiteral("%1 calendar '%2' in %3\n")
                 .arg(direction == CalendarDirection::Export ? QStringLiteral("Exported to") : QStringLiteral("Imported from"),
                      Defaults::standard().stringValue(QStringLiteral("calendarForExport")), controller->store().folder());
    return Success;
}
