#include "ManagedObjectContext.h"
#include "ObjectModel.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#ifndef CORVANECTL_PATH
#error "CORVANECTL_PATH must name the corvanectl executable"
#endif

namespace {

struct Run {
    bool finished = false;
    bool crashed = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes) == bytes.size();
}

QByteArray fileHash(const QString &path)
{
    return QCryptographicHash::hash(readBytes(path), QCryptographicHash::Sha256).toHex();
}

QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

// Whole seconds since the epoch of a local date and time.
qint64 localSeconds(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::LocalTime).toSecsSinceEpoch();
}

QStringList attributeNames(const QString &entity)
{
    QStringList names;
    for (const AttributeDescription &attribute : todoListModel().entity(entity)->attributes())
        names << attribute.name;
    return names;
}

QStringList namesOf(const QJsonArray &records)
{
    QStringList names;
    for (const QJsonValue &record : records)
        names << record.toObject().value(QStringLiteral("name")).toString();
    return names;
}

QJsonObject findByName(const QJsonArray &records, const QString &name)
{
    for (const QJsonValue &record : records) {
        if (record.toObject().value(QStringLiteral("name")).toString() == name)
            return record.toObject();
    }
    return {};
}

// The fields that travel in a list file, for comparing a list with its copy.
// An absent number, flag or text reads like 0, false and the empty text.
QJsonObject portableItem(const QJsonObject &item)
{
    const EntityDescription *entity = todoListModel().entity(TODOItem::EntityName);
    QJsonObject kept;
    for (const char *key : {"name", "quadrant", "dueDate", "allDay", "descriptionRichText", "descriptionText", "state",
                            "index", "icon", "creationDate", "completionPercentage"}) {
        const QString name = QLatin1String(key);
        QJsonValue value = item.value(name);
        if (value.isNull()) {
            switch (entity->attributes().at(entity->attributeIndex(name)).type) {
            case AttributeType::Int32:
            case AttributeType::Int64:
                value = 0;
                break;
            case AttributeType::Bool:
                value = false;
                break;
            case AttributeType::Text:
                value = QString();
                break;
            default:
                break;
            }
        }
        kept.insert(name, value);
    }
    return kept;
}

QJsonArray portableItems(const QJsonObject &list)
{
    QJsonArray items;
    for (const QJsonValue &item : list.value(QStringLiteral("items")).toArray())
        items.append(portableItem(item.toObject()));
    return items;
}

} // namespace

class tst_CorvaneCtl : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void addAndDumpRoundTrip();
    void dumpIncludesEveryRecord_data();
    void dumpIncludesEveryRecord();
    void commandsKeepTheApplicationsPreferences();
    void exportThenImport();
    void exportNamedLists();
    void importHexadecimal_data();
    void importHexadecimal();
    void importFailures_data();
    void importFailures();
    void importGoesOnAfterABadFile();
    void storeHeldByAnotherProcess_data();
    void storeHeldByAnotherProcess();
    void help_data();
    void help();
    void badInput_data();
    void badInput();
    void missingStoreFile_data();
    void missingStoreFile();
    void defaultStoreLocation_data();
    void defaultStoreLocation();
    void defaultStoreIsCarriedForward();

private:
    // Runs the tool in the temporary folder, with the test's environment unless one is given.
    Run ctl(const QStringList &arguments, const QProcessEnvironment *environment = nullptr) const;
    // Runs dump on a store and parses it; an empty object when that fails.
    QJsonObject dump(const QString &store) const;
    QString path(const QString &name) const { return m_tmp->filePath(name); }
    QString defaultFolder() const { return m_tmp->filePath(QStringLiteral("xdg-data/Nuvalto/Corvane/")); }
    // A store with one list "Groceries" holding one item "Milk".
    void makeGroceries(const QString &store);

    std::unique_ptr<QTemporaryDir> m_tmp;
    QProcessEnvironment m_environment;
};

void tst_CorvaneCtl::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    // Preferences and the default store stay inside the temporary folder.
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
    m_environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("xdg-data")));
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("xdg-config")));
    m_environment.remove(QStringLiteral("QT_LOGGING_RULES"));
    QVERIFY(QDir().mkpath(path(QStringLiteral("home"))));
    QVERIFY(QDir().mkpath(path(QStringLiteral("xdg-config"))));
}

void tst_CorvaneCtl::cleanup() { m_tmp.reset(); }

Run tst_CorvaneCtl::ctl(const QStringList &arguments, const QProcessEnvironment *environment) const
{
    Run run;
    QProcess process;
    process.setProcessEnvironment(environment ? *environment : m_environment);
    process.setWorkingDirectory(m_tmp->path());
    process.start(QStringLiteral(CORVANECTL_PATH), arguments);
    if (!process.waitForStarted(30000))
        return run;
    run.finished = process.waitForFinished(120000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.crashed = process.exitStatus() == QProcess::CrashExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

QJsonObject tst_CorvaneCtl::dump(const QString &store) const
{
    const Run run = ctl({QStringLiteral("--store"), store, QStringLiteral("dump")});
    if (!run.finished || run.crashed || run.exitCode != 0) {
        qWarning() << "dump failed" << run.exitCode << run.err;
        return {};
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(run.out, &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning() << "dump is no JSON:" << error.errorString();
        return {};
    }
    return document.object();
}

void tst_CorvaneCtl::makeGroceries(const QString &store)
{
    QCOMPARE(ctl({QStringLiteral("--store"), store, QStringLiteral("add-list"), QStringLiteral("Groceries")}).exitCode, 0);
    QCOMPARE(ctl({QStringLiteral("--store"), store, QStringLiteral("add-item"), QStringLiteral("--list"),
                  QStringLiteral("Groceries"), QStringLiteral("Milk")}).exitCode, 0);
}

// --- dump and add ------------------------------------------------------------------------

void tst_CorvaneCtl::addAndDumpRoundTrip()
{
    const QString store = path(QStringLiteral("round.sqlite"));
    const qint64 before = QDateTime::currentSecsSinceEpoch();

    Run run = ctl({QStringLiteral("--store"), store, QStringLiteral("add-list"), QStringLiteral("Groceries")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(QFileInfo(store).isFile());

    const QRegularExpression idLine(QStringLiteral("^([0-9]+)\\n$"));
    QStringList ids;
    const QList<QStringList> items = {
        {QStringLiteral("--quadrant"), QStringLiteral("1"), QStringLiteral("--due"), QStringLiteral("2024-05-17"),
         QStringLiteral("--notes"), QStringLiteral("Two <b>&</b> more"), QStringLiteral("Milk")},
        {QStringLiteral("--quadrant"), QStringLiteral("1"), QStringLiteral("--due"), QStringLiteral("2024-05-17T09:30"),
         QStringLiteral("Bread")},
        {QStringLiteral("Eggs")},
    };
    for (const QStringList &arguments : items) {
        run = ctl(QStringList{QStringLiteral("add-item"), QStringLiteral("--store"), store, QStringLiteral("--list"),
                              QStringLiteral("Groceries")}
                  + arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const QRegularExpressionMatch match = idLine.match(QString::fromUtf8(run.out));
        QVERIFY2(match.hasMatch(), run.out.constData());
        ids << match.captured(1);
    }
    const qint64 after = QDateTime::currentSecsSinceEpoch();

    const QJsonObject root = dump(store);
    const QJsonArray lists = root.value(QStringLiteral("lists")).toArray();
    QCOMPARE(lists.size(), 1);
    QCOMPARE(root.value(QStringLiteral("orphanItems")).toArray().size(), 0);

    // Every attribute of the schema is there, absent ones as null; nothing else but the items.
    const QJsonObject list = lists.first().toObject();
    QStringList listKeys = attributeNames(TODOList::EntityName) << QStringLiteral("items");
    listKeys.sort();
    QCOMPARE(list.keys(), listKeys);
    QCOMPARE(list.value(QStringLiteral("name")).toString(), QStringLiteral("Groceries"));
    QCOMPARE(list.value(QStringLiteral("id_")).toInt(-1), 0);
    QCOMPARE(list.value(QStringLiteral("edited_since")).toInt(), 1);
    QCOMPARE(list.value(QStringLiteral("textThirdQuadrant")).toString(), QStringLiteral("Not Critical but Immediate"));
    QVERIFY(list.value(QStringLiteral("cv_notes")).isNull());

    const QJsonArray itemArray = list.value(QStringLiteral("items")).toArray();
    QCOMPARE(itemArray.size(), 3);
    QStringList itemKeys = attributeNames(TODOItem::EntityName);
    itemKeys.sort();
    QStringList dumpedIds;
    for (int i = 0; i < itemArray.size(); ++i) {
        const QJsonObject item = itemArray.at(i).toObject();
        QCOMPARE(item.keys(), itemKeys);
        dumpedIds << QString::number(item.value(QStringLiteral("id_")).toInteger());
        // Change tracking marked every new item, as in the application.
        QCOMPARE(item.value(QStringLiteral("edited_since")).toInt(), 1);
        const qint64 created = item.value(QStringLiteral("creationDate")).toInteger(-1);
        QVERIFY2(created >= before && created <= after, qPrintable(QString::number(created)));
        // Displayed order: descending index.
        if (i > 0)
            QVERIFY(itemArray.at(i - 1).toObject().value(QStringLiteral("index")).toInt()
                    >= item.value(QStringLiteral("index")).toInt());
    }
    QStringList sortedIds = ids;
    sortedIds.sort();
    dumpedIds.sort();
    QCOMPARE(dumpedIds, sortedIds);

    const QJsonObject milk = findByName(itemArray, QStringLiteral("Milk"));
    QCOMPARE(QString::number(milk.value(QStringLiteral("id_")).toInteger()), ids.at(0));
    QCOMPARE(milk.value(QStringLiteral("quadrant")).toInt(), 1);
    QCOMPARE(milk.value(QStringLiteral("dueDate")).toInteger(), localSeconds(2024, 5, 17));
    QCOMPARE(milk.value(QStringLiteral("allDay")).toBool(), true);
    QCOMPARE(milk.value(QStringLiteral("descriptionRichText")).toString(),
             QStringLiteral("<p>Two &lt;b&gt;&amp;&lt;/b&gt; more</p>"));
    QCOMPARE(milk.value(QStringLiteral("descriptionText")).toString(), QStringLiteral("Two <b>&</b> more"));
    QCOMPARE(milk.value(QStringLiteral("icon")).toString(), QStringLiteral("empty_orange128.png"));

    const QJsonObject bread = findByName(itemArray, QStringLiteral("Bread"));
    QCOMPARE(QString::number(bread.value(QStringLiteral("id_")).toInteger()), ids.at(1));
    QCOMPARE(bread.value(QStringLiteral("dueDate")).toInteger(), localSeconds(2024, 5, 17, 9, 30));
    QCOMPARE(bread.value(QStringLiteral("allDay")).toBool(false), false);
    QVERIFY(bread.value(QStringLiteral("descriptionRichText")).isNull());

    const QJsonObject eggs = findByName(itemArray, QStringLiteral("Eggs"));
    QCOMPARE(eggs.value(QStringLiteral("quadrant")).toInt(), 0);
    QVERIFY(eggs.value(QStringLiteral("dueDate")).isNull());

    // The newer item of a quadrant is shown above the older one.
    const QStringList order = namesOf(itemArray);
    QVERIFY(order.indexOf(QStringLiteral("Bread")) < order.indexOf(QStringLiteral("Milk")));
}

void tst_CorvaneCtl::dumpIncludesEveryRecord_data()
{
    QTest::addColumn<bool>("alphabetical");
    QTest::addColumn<QStringList>("expectedLists");

    // Shown lists in sidebar order, then trashed, then deleted, each by descending index.
    QTest::newRow("manual order") << false
                                  << QStringList{"Zeta", "Alpha", "Trashed high", "Trashed low", "Gone"};
    QTest::newRow("alphabetical order") << true
                                        << QStringList{"Alpha", "Zeta", "Trashed high", "Trashed low", "Gone"};
}

void tst_CorvaneCtl::dumpIncludesEveryRecord()
{
    QFETCH(bool, alphabetical);
    QFETCH(QStringList, expectedLists);

    const QString store = path(QStringLiteral("every.sqlite"));
    const QDateTime due = QDateTime(QDate(2024, 1, 1), QTime(12, 0, 0, 900), Qt::UTC);
    const QDateTime beforeEpoch = QDateTime::fromMSecsSinceEpoch(-500, Qt::UTC);
    {
        ManagedObjectContext context(todoListModel());
        const auto addList = [&context](const QString &name, int index, int state) {
            auto *list = context.insert<TODOList>(TODOList::EntityName);
            list->setName(name);
            list->setIndex(index);
            list->setState(state);
            return list;
        };
        TODOList *zeta = addList(QStringLiteral("Zeta"), 5, RecordState::Open);
        zeta->setCenterX(30.5);
        addList(QStringLiteral("Alpha"), 1, RecordState::Open);
        addList(QStringLiteral("Gone"), 7, RecordState::Deleted);
        addList(QStringLiteral("Trashed low"), 3, RecordState::Trashed);
        addList(QStringLiteral("Trashed high"), 9, RecordState::Trashed);

        const auto addItem = [&context](TODOList *list, const QString &name, int index, int state) {
            auto *item = context.insert<TODOItem>(TODOItem::EntityName);
            item->setName(name);
            item->setIndex(index);
            item->setState(state);
            item->setList(list);
            return item;
        };
        TODOItem *open = addItem(zeta, QStringLiteral("open"), 10, RecordState::Open);
        open->setDueDate(due);
        open->setAllDay(false);
        addItem(zeta, QStringLiteral("trashed"), 30, RecordState::Trashed);
        TODOItem *deleted = addItem(zeta, QStringLiteral("deleted"), 20, RecordState::Deleted);
        deleted->setCompletionDate(beforeEpoch);
        TODOItem *orphan = addItem(nullptr, QStringLiteral("orphan"), 0, RecordState::Open);
        orphan->setServerID(5000000000LL);
        QString error;
        QVERIFY2(context.create(store, &error), qPrintable(error));
    }
    if (alphabetical) {
        QSettings settings(path(QStringLiteral("xdg-config/Nuvalto/Corvane.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("kAlphabeticalProjectOrder"), true);
    }
    const QByteArray hash = fileHash(store);

    const QJsonObject root = dump(store);
    const QJsonArray lists = root.value(QStringLiteral("lists")).toArray();
    QCOMPARE(namesOf(lists), expectedLists);
    QCOMPARE(findByName(lists, QStringLiteral("Gone")).value(QStringLiteral("state")).toInt(), 3);
    QCOMPARE(findByName(lists, QStringLiteral("Trashed low")).value(QStringLiteral("state")).toInt(), 2);

    const QJsonObject zeta = findByName(lists, QStringLiteral("Zeta"));
    QCOMPARE(zeta.value(QStringLiteral("centerX")).toDouble(), 30.5);
    QVERIFY(zeta.value(QStringLiteral("centerY")).isNull());
    const QJsonArray items = zeta.value(QStringLiteral("items")).toArray();
    QCOMPARE(namesOf(items), (QStringList{"trashed", "deleted", "open"}));
    QCOMPARE(items.at(0).toObject().value(QStringLiteral("state")).toInt(), 2);
    QCOMPARE(items.at(1).toObject().value(QStringLiteral("state")).toInt(), 3);
    // Dates as whole seconds, rounded down, also before the epoch.
    QCOMPARE(items.at(1).toObject().value(QStringLiteral("completionDate")).toInteger(), qint64(-1));
    QCOMPARE(items.at(2).toObject().value(QStringLiteral("dueDate")).toInteger(),
             due.toMSecsSinceEpoch() / 1000);
    QVERIFY(items.at(2).toObject().value(QStringLiteral("allDay")).isBool());
    QCOMPARE(items.at(2).toObject().value(QStringLiteral("allDay")).toBool(true), false);
    QCOMPARE(findByName(lists, QStringLiteral("Alpha")).value(QStringLiteral("items")).toArray().size(), 0);

    const QJsonArray orphans = root.value(QStringLiteral("orphanItems")).toArray();
    QCOMPARE(namesOf(orphans), QStringList{QStringLiteral("orphan")});
    QCOMPARE(orphans.first().toObject().value(QStringLiteral("serverID")).toInteger(), 5000000000LL);

    // Reading changes nothing.
    QCOMPARE(fileHash(store), hash);
}

void tst_CorvaneCtl::commandsKeepTheApplicationsPreferences()
{
    const QString store = path(QStringLiteral("keep.sqlite"));
    Run run = ctl({QStringLiteral("--store"), store, QStringLiteral("add-list"), QStringLiteral("One")});
    QCOMPARE(run.exitCode, 0);
    run = ctl({QStringLiteral("--store"), store, QStringLiteral("add-list"), QStringLiteral("Two")});
    QCOMPARE(run.exitCode, 0);

    const QString ini = path(QStringLiteral("xdg-config/Nuvalto/Corvane.conf"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("lastSelectedProjectRow"), 7);
        settings.setValue(QStringLiteral("showingComboBox"), 0);
    }
    run = ctl({QStringLiteral("--store"), store, QStringLiteral("add-item"), QStringLiteral("--list"),
               QStringLiteral("Two"), QStringLiteral("Call back")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    run = ctl({QStringLiteral("--store"), store, QStringLiteral("export"), QStringLiteral("-o"),
               path(QStringLiteral("out.corvx"))});
    QVERIFY2(run.exitCode == 0, run.err.constData());

    // The list was selected only to add the item, and the filters switched only
    // to export: the application starts as the user left it.
    QSettings settings(ini, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("lastSelectedProjectRow")).toInt(), 7);
    QCOMPARE(settings.value(QStringLiteral("showingComboBox")).toInt(), 0);
    QVERIFY(!settings.contains(QStringLiteral("sortingComboBox")));
    const QJsonArray lists = dump(store).value(QStringLiteral("lists")).toArray();
    QCOMPARE(namesOf(findByName(lists, QStringLiteral("Two")).value(QStringLiteral("items")).toArray()),
             QStringList{QStringLiteral("Call back")});
    QCOMPARE(findByName(lists, QStringLiteral("One")).value(QStringLiteral("items")).toArray().size(), 0);
}

// --- export and import ---------------------------------------------------------------------

void tst_CorvaneCtl::exportThenImport()
{
    const QString source = path(QStringLiteral("source.sqlite"));
    const QString target = path(QStringLiteral("target.sqlite"));
    const QString file = path(QStringLiteral("lists.corvx"));

    const QList<QStringList> setup = {
        {QStringLiteral("add-list"), QStringLiteral("One")},
        {QStringLiteral("add-list"), QStringLiteral("Two")},
        {QStringLiteral("add-item"), QStringLiteral("--list"), QStringLiteral("One"), QStringLiteral("--due"),
         QStringLiteral("2030-01-02"), QStringLiteral("--notes"), QStringLiteral("first"), QStringLiteral("a")},
        {QStringLiteral("add-item"), QStringLiteral("--list"), QStringLiteral("One"), QStringLiteral("-q"),
         QStringLiteral("3"), QStringLiteral("b")},
        {QStringLiteral("add-item"), QStringLiteral("--list"), QStringLiteral("Two"), QStringLiteral("--due"),
         QStringLiteral("2030-01-02T18:45"), QStringLiteral("c")},
    };
    for (const QStringList &arguments : setup) {
        const Run run = ctl(QStringList{QStringLiteral("--store"), source} + arguments);
        QVERIFY2(run.exitCode == 0, run.err.constData());
    }

    Run run = ctl({QStringLiteral("--store"), source, QStringLiteral("export"), QStringLiteral("-o"), file});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(QFileInfo(file).size() > 0);

    for (int i = 0; i < 2; ++i) {
        run = ctl({QStringLiteral("--store"), target, QStringLiteral("import"), file});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("Imported 2 list(s) from %1\n").arg(file));
    }

    const QJsonArray original = dump(source).value(QStringLiteral("lists")).toArray();
    const QJsonArray imported = dump(target).value(QStringLiteral("lists")).toArray();
    QCOMPARE(imported.size(), 4);
    QStringList names = namesOf(imported);
    names.sort();
    QCOMPARE(names, (QStringList{"One", "One", "Two", "Two"}));
    for (const QJsonValue &value : imported) {
        const QJsonObject list = value.toObject();
        QCOMPARE(list.value(QStringLiteral("id_")).toInt(-1), 0);
        // Imported lists are new lists, marked for the next upload.
        QCOMPARE(list.value(QStringLiteral("edited_since")).toInt(), 1);
        const QJsonObject copied = findByName(original, list.value(QStringLiteral("name")).toString());
        QCOMPARE(portableItems(list), portableItems(copied));
        QCOMPARE(list.value(QStringLiteral("textSecondQuadrant")), copied.value(QStringLiteral("textSecondQuadrant")));
    }
}

void tst_CorvaneCtl::exportNamedLists()
{
    const QString source = path(QStringLiteral("source.sqlite"));
    for (const char *name : {"One", "Two", "Three"}) {
        const Run run = ctl({QStringLiteral("--store"), source, QStringLiteral("add-list"), QLatin1String(name)});
        QCOMPARE(run.exitCode, 0);
    }
    const QByteArray hash = fileHash(source);

    const QString file = path(QStringLiteral("named.corvx"));
    Run run = ctl({QStringLiteral("--store"), source, QStringLiteral("export"), QStringLiteral("--list"),
                   QStringLiteral("Three"), QStringLiteral("--list"), QStringLiteral("One"), QStringLiteral("-o"), file});
    QVERIFY2(run.exitCode == 0, run.err.constData());

    const QString target = path(QStringLiteral("target.sqlite"));
    run = ctl({QStringLiteral("--store"), target, QStringLiteral("import"), file});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QStringList names = namesOf(dump(target).value(QStringLiteral("lists")).toArray());
    names.sort();
    QCOMPARE(names, (QStringList{"One", "Three"}));

    // An unknown name is an error and writes no file.
    const QString none = path(QStringLiteral("none.corvx"));
    run = ctl({QStringLiteral("--store"), source, QStringLiteral("export"), QStringLiteral("--list"),
               QStringLiteral("One"), QStringLiteral("--list"), QStringLiteral("Four"), QStringLiteral("-o"), none});
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains("Four"));
    QVERIFY(!QFileInfo::exists(none));
    // Exporting reads the store and leaves it as it was.
    QCOMPARE(fileHash(source), hash);
}

void tst_CorvaneCtl::importHexadecimal_data()
{
    QTest::addColumn<bool>("upperCase");
    QTest::newRow("lower case") << false;
    QTest::newRow("upper case") << true;
}

void tst_CorvaneCtl::importHexadecimal()
{
    QFETCH(bool, upperCase);
    const QString source = path(QStringLiteral("source.sqlite"));
    makeGroceries(source);
    const QString binary = path(QStringLiteral("groceries.corvx"));
    Run run = ctl({QStringLiteral("--store"), source, QStringLiteral("export"), QStringLiteral("-o"), binary});
    QCOMPARE(run.exitCode, 0);

    QByteArray hex = readBytes(binary).toHex();
    if (upperCase)
        hex = hex.toUpper();
    const QString text = path(QStringLiteral("groceries.txt"));
    QVERIFY(writeBytes(text, hex));

    const QString fromBinary = path(QStringLiteral("binary.sqlite"));
    const QString fromText = path(QStringLiteral("text.sqlite"));
    run = ctl({QStringLiteral("--store"), fromBinary, QStringLiteral("import"), binary});
    QCOMPARE(run.exitCode, 0);
    run = ctl({QStringLiteral("--store"), fromText, QStringLiteral("import"), text});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("Imported 1 list(s) from %1\n").arg(text));

    const QJsonArray a = dump(fromBinary).value(QStringLiteral("lists")).toArray();
    const QJsonArray b = dump(fromText).value(QStringLiteral("lists")).toArray();
    QCOMPARE(namesOf(b), QStringList{QStringLiteral("Groceries")});
    QCOMPARE(portableItems(b.first().toObject()), portableItems(a.first().toObject()));
    QCOMPARE(namesOf(b.first().toObject().value(QStringLiteral("items")).toArray()), QStringList{QStringLiteral("Milk")});
}

void tst_CorvaneCtl::importFailures_data()
{
    QTest::addColumn<QByteArray>("content");  // null: no file at all
    QTest::newRow("overlong varint") << QByteArray(64, '\xff');
    QTest::newRow("words") << QByteArray("This is no list file, only a few words.\n");
    QTest::newRow("missing file") << QByteArray();
}

void tst_CorvaneCtl::importFailures()
{
    QFETCH(QByteArray, content);
    const QString store = path(QStringLiteral("store.sqlite"));
    makeGroceries(store);
    const QByteArray hash = fileHash(store);
    const QStringList before = entries(m_tmp->path());

    const QString file = path(QStringLiteral("bad.corvx"));
    if (!content.isNull())
        QVERIFY(writeBytes(file, content));

    const Run run = ctl({QStringLiteral("--store"), store, QStringLiteral("import"), file});
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(file.toUtf8()));
    QVERIFY(!run.out.contains("Imported"));
    QCOMPARE(fileHash(store), hash);
    QStringList after = entries(m_tmp->path());
    after.removeAll(QStringLiteral("bad.corvx"));
    QCOMPARE(after, before);
}

void tst_CorvaneCtl::importGoesOnAfterABadFile()
{
    const QString source = path(QStringLiteral("source.sqlite"));
    makeGroceries(source);
    const QString good = path(QStringLiteral("good.corvx"));
    Run run = ctl({QStringLiteral("--store"), source, QStringLiteral("export"), QStringLiteral("-o"), good});
    QCOMPARE(run.exitCode, 0);
    const QString bad = path(QStringLiteral("bad.corvx"));
    QVERIFY(writeBytes(bad, QByteArray(16, '\xff')));

    const QString target = path(QStringLiteral("target.sqlite"));
    run = ctl({QStringLiteral("--store"), target, QStringLiteral("import"), bad, good});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.err.contains(bad.toUtf8()));
    QCOMPARE(QString::fromUtf8(run.out), QStringLiteral("Imported 1 list(s) from %1\n").arg(good));
    QCOMPARE(namesOf(dump(target).value(QStringLiteral("lists")).toArray()), QStringList{QStringLiteral("Groceries")});
}

// --- the one-writer lock ---------------------------------------------------------------------

void tst_CorvaneCtl::storeHeldByAnotherProcess_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("defaultStore");
    QTest::newRow("dump") << QStringList{"dump"} << false;
    QTest::newRow("add-list") << QStringList{"add-list", "More"} << false;
    QTest::newRow("add-item") << QStringList{"add-item", "--list", "Groceries", "Butter"} << false;
    QTest::newRow("export") << QStringList{"export", "-o", "out.corvx"} << false;
    QTest::newRow("import") << QStringList{"import", "in.corvx"} << false;
    QTest::newRow("default store, add-list") << QStringList{"add-list", "More"} << true;
}

void tst_CorvaneCtl::storeHeldByAnotherProcess()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, defaultStore);
    const QString store = defaultStore ? defaultFolder() + QStringLiteral("corvane_2_8.sqlite") : path(QStringLiteral("held.sqlite"));
    const QStringList storeOption = defaultStore ? QStringList{} : QStringList{QStringLiteral("--store"), store};
    QCOMPARE(ctl(storeOption + QStringList{QStringLiteral("add-list"), QStringLiteral("Groceries")}).exitCode, 0);
    QVERIFY(QFileInfo(store).isFile());
    Run run = ctl({QStringLiteral("--store"), store, QStringLiteral("export"), QStringLiteral("-o"),
                   path(QStringLiteral("in.corvx"))});
    QCOMPARE(run.exitCode, 0);
    const QByteArray hash = fileHash(store);

    // This process holds the store, as a running Corvane would.
    auto holder = std::make_unique<ManagedObjectContext>(todoListModel());
    QString error;
    QVERIFY2(holder->open(store, &error), qPrintable(error));

    run = ctl(storeOption + arguments);
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("in use by another Corvane process"), run.err.constData());
    QVERIFY(run.err.contains(store.toUtf8()));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(fileHash(store), hash);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("out.corvx"))));

    // Once it is free, the same command goes through.
    holder.reset();
    run = ctl(storeOption + arguments);
    QVERIFY2(run.exitCode == 0, run.err.constData());
}

// --- command line ------------------------------------------------------------------------------

void tst_CorvaneCtl::help_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("usage");

    QTest::newRow("tool") << QStringList{"--help"} << "Usage: corvanectl [options] COMMAND";
    QTest::newRow("tool, short") << QStringList{"-h"} << "Usage: corvanectl [options] COMMAND";
    QTest::newRow("help command") << QStringList{"help"} << "Usage: corvanectl [options] COMMAND";
    QTest::newRow("dump") << QStringList{"dump", "--help"} << "Usage: corvanectl dump [options]";
    QTest::newRow("import") << QStringList{"import", "--help"} << "Usage: corvanectl import [options] FILE...";
    QTest::newRow("export") << QStringList{"export", "--help"} << "Usage: corvanectl export [options]";
    QTest::newRow("add-list") << QStringList{"add-list", "--help"} << "Usage: corvanectl add-list [options] NAME";
    QTest::newRow("add-item") << QStringList{"add-item", "-h"} << "Usage: corvanectl add-item [options] NAME";
    QTest::newRow("help add-item") << QStringList{"help", "add-item"} << "Usage: corvanectl add-item [options] NAME";
    QTest::newRow("help with a store") << QStringList{"--store", "x.sqlite", "add-item", "--help"}
                                       << "Usage: corvanectl add-item [options] NAME";
}

void tst_CorvaneCtl::help()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);

    const Run run = ctl(arguments);
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(QString::fromUtf8(run.out).startsWith(usage), run.out.constData());
    QVERIFY(run.out.contains("--store"));
    QVERIFY(run.err.isEmpty());
    // Help opens no store.
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("xdg-data/Nuvalto"))));
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("x.sqlite"))));
}

void tst_CorvaneCtl::badInput_data()
{
    QTest::addColumn<QStringList>("arguments");  // "{store}" and "{dir}" are filled in
    QTest::addColumn<int>("exitCode");

    const QString store = QStringLiteral("{store}");
    QTest::newRow("no command") << QStringList{} << 2;
    QTest::newRow("unknown command") << QStringList{"--store", store, "frobnicate"} << 2;
    QTest::newRow("unknown tool option") << QStringList{"--frob", "--store", store, "dump"} << 2;
    QTest::newRow("unknown command option") << QStringList{"--store", store, "dump", "--frob"} << 2;
    QTest::newRow("store without path") << QStringList{"--store"} << 2;
    QTest::newRow("two stores") << QStringList{"--store", store, "dump", "--store", "{dir}/other.sqlite"} << 2;
    QTest::newRow("dump with argument") << QStringList{"--store", store, "dump", "extra"} << 2;
    QTest::newRow("add-list without name") << QStringList{"--store", store, "add-list"} << 2;
    QTest::newRow("add-list with empty name") << QStringList{"--store", store, "add-list", ""} << 2;
    QTest::newRow("add-list with two names") << QStringList{"--store", store, "add-list", "A", "B"} << 2;
    QTest::newRow("add-item without list") << QStringList{"--store", store, "add-item", "X"} << 2;
    QTest::newRow("add-item without name") << QStringList{"--store", store, "add-item", "--list", "Groceries"} << 2;
    QTest::newRow("add-item, list without value") << QStringList{"--store", store, "add-item", "X", "--list"} << 2;
    QTest::newRow("quadrant 4") << QStringList{"--store", store, "add-item", "--list", "Groceries", "-q", "4", "X"} << 2;
    QTest::newRow("quadrant -1") << QStringList{"--store", store, "add-item", "--list", "Groceries", "--quadrant=-1", "X"} << 2;
    QTest::newRow("quadrant text") << QStringList{"--store", store, "add-item", "--list", "Groceries", "-q", "two", "X"} << 2;
    QTest::newRow("quadrant empty") << QStringList{"--store", store, "add-item", "--list", "Groceries", "-q", "", "X"} << 2;
    QTest::newRow("month 13") << QStringList{"--store", store, "add-item", "--list", "Groceries", "--due", "2024-13-01", "X"} << 2;
    QTest::newRow("30 February") << QStringList{"--store", store, "add-item", "--list", "Groceries", "--due", "2024-02-30", "X"} << 2;
    QTest::newRow("hour 25") << QStringList{"--store", store, "add-item", "--list", "Groceries", "--due", "2024-05-01T25:00", "X"} << 2;
    QTest::newRow("single digits") << QStringList{"--store", store, "add-item", "--list", "Groceries", "--due", "2024-5-1", "X"} << 2;
    QTest::newRow("words") << QStringList{"--store", store, "add-item", "--list", "Groceries", "--due", "tomorrow", "X"} << 2;
    QTest::newRow("with seconds") << QStringList{"--store", store, "add-item", "--list", "Groceries", "--due", "2024-05-01T10:00:00", "X"} << 2;
    QTest::newRow("skipped local time") << QStringList{"--store", store, "add-item", "--list", "Groceries", "--due", "2024-03-31T02:30", "X"} << 2;
    QTest::newRow("unknown list") << QStringList{"--store", store, "add-item", "--list", "Nope", "X"} << 1;
    QTest::newRow("export without output") << QStringList{"--store", store, "export"} << 2;
    QTest::newRow("export with argument") << QStringList{"--store", store, "export", "-o", "{dir}/x.corvx", "more"} << 2;
    QTest::newRow("export to a folder") << QStringList{"--store", store, "export", "-o", "{dir}"} << 1;
    QTest::newRow("import without files") << QStringList{"--store", store, "import"} << 2;
    QTest::newRow("import of a folder") << QStringList{"--store", store, "import", "{dir}"} << 1;
}

void tst_CorvaneCtl::badInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);

    const QString store = path(QStringLiteral("store.sqlite"));
    makeGroceries(store);
    const QByteArray hash = fileHash(store);
    const QStringList before = entries(m_tmp->path());
    for (QString &argument : arguments) {
        argument.replace(QStringLiteral("{store}"), store);
        argument.replace(QStringLiteral("{dir}"), m_tmp->path());
    }

    const Run run = ctl(arguments);
    QVERIFY(run.finished);
    QVERIFY(!run.crashed);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(!run.err.isEmpty());
    // A bad command line points to the help.
    if (exitCode == 2)
        QVERIFY2(run.err.contains("--help"), run.err.constData());
    QVERIFY2(run.out.isEmpty(), run.out.constData());
    QCOMPARE(fileHash(store), hash);
    QCOMPARE(entries(m_tmp->path()), before);
}

void tst_CorvaneCtl::missingStoreFile_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("creates");

    QTest::newRow("dump") << QStringList{"dump"} << false;
    QTest::newRow("export") << QStringList{"export", "-o", "{dir}/out.corvx"} << false;
    QTest::newRow("add-item") << QStringList{"add-item", "--list", "Inbox", "X"} << false;
    QTest::newRow("add-list") << QStringList{"add-list", "Inbox"} << true;
    QTest::newRow("import") << QStringList{"import", "{dir}/in.corvx"} << true;
}

void tst_CorvaneCtl::missingStoreFile()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, creates);

    const QString file = path(QStringLiteral("in.corvx"));
    QVERIFY(writeBytes(file, QByteArray()));  // an empty list file holds no list
    for (QString &argument : arguments)
        argument.replace(QStringLiteral("{dir}"), m_tmp->path());

    const QString store = path(QStringLiteral("new.sqlite"));
    const Run run = ctl(QStringList{QStringLiteral("--store"), store} + arguments);
    QVERIFY(!run.crashed);
    QCOMPARE(QFileInfo(store).isFile(), creates);
    if (creates) {
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(!dump(store).isEmpty());
    } else {
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.err.contains(store.toUtf8()));
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("out.corvx"))));
    }
}

// --- the application's store -------------------------------------------------------------------

void tst_CorvaneCtl::defaultStoreLocation_data()
{
    QTest::addColumn<bool>("withXdg");
    QTest::addColumn<QString>("folder");  // relative to the temporary folder
    QTest::newRow("XDG_DATA_HOME") << true << "xdg-data/Nuvalto/Corvane/";
    QTest::newRow("HOME") << false << "home/.local/share/Nuvalto/Corvane/";
}

void tst_CorvaneCtl::defaultStoreLocation()
{
    QFETCH(bool, withXdg);
    QFETCH(QString, folder);

    QProcessEnvironment environment = m_environment;
    if (!withXdg)
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
    const QString store = path(folder + QStringLiteral("corvane_2_8.sqlite"));

    // Like the application at launch, the store is made when it is missing.
    Run run = ctl({QStringLiteral("dump")}, &environment);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(QFileInfo(store).isFile());
    QCOMPARE(QJsonDocument::fromJson(run.out).object().value(QStringLiteral("lists")).toArray().size(), 0);

    run = ctl({QStringLiteral("add-list"), QStringLiteral("Inbox")}, &environment);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(namesOf(dump(store).value(QStringLiteral("lists")).toArray()), QStringList{QStringLiteral("Inbox")});
    QCOMPARE(entries(path(folder)).filter(QStringLiteral(".sqlite")), QStringList{QStringLiteral("corvane_2_8.sqlite")});
}

void tst_CorvaneCtl::defaultStoreIsCarriedForward()
{
    QVERIFY(QDir().mkpath(defaultFolder()));
    {
        ManagedObjectContext context(todoListModel());
        auto *list = context.insert<TODOList>(TODOList::EntityName);
        list->setName(QStringLiteral("From 2.7"));
        QString error;
        QVERIFY2(context.create(defaultFolder() + QStringLiteral("corvane_2_7.sqlite"), &error), qPrintable(error));
    }

    const Run run = ctl({QStringLiteral("dump")});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    const QJsonArray lists = QJsonDocument::fromJson(run.out).object().value(QStringLiteral("lists")).toArray();
    QCOMPARE(namesOf(lists), QStringList{QStringLiteral("From 2.7")});
    QCOMPARE(entries(defaultFolder()),
             (QStringList{QStringLiteral("corvane_2_7.sqlite.bck"), QStringLiteral("corvane_2_8.sqlite")}));
}

QTEST_GUILESS_MAIN(tst_CorvaneCtl)
#include "tst_corvanectl.moc"
