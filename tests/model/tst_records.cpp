#include "ItemIdentifiers.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "ResourcePath.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <deque>
#include <memory>

namespace {

// Collects the lines logged under the model's category while it lives.
class ModelLog
{
public:
    ModelLog() { s_current = this, m_previous = qInstallMessageHandler(&ModelLog::handler); }
    ~ModelLog() { qInstallMessageHandler(m_previous), s_current = nullptr; }
    const QStringList &lines() const { return m_lines; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (s_current && context.category && qstrcmp(context.category, lcModel().categoryName()) == 0)
            s_current->m_lines.append(message);
        else if (s_current && s_current->m_previous)
            s_current->m_previous(type, context, message);
    }
    inline static ModelLog *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
    QStringList m_lines;
};

// Feeds a fixed sequence of random draws to the identifier generator.
class ScriptedDraws
{
public:
    explicit ScriptedDraws(std::initializer_list<quint32> draws) : m_draws(std::make_shared<std::deque<quint32>>(draws))
    {
        ItemIdentifiers::setGeneratorForTesting([queue = m_draws]() -> quint32 {
            // Past the script, fresh values keep a faulty caller from drawing forever.
            static quint32 beyond = 1000000;
            if (queue->empty())
                return beyond++;
            const quint32 next = queue->front();
            queue->pop_front();
            return next;
        });
    }
    ~ScriptedDraws() { ItemIdentifiers::setGeneratorForTesting({}); }
    size_t remaining() const { return m_draws->size(); }

private:
    std::shared_ptr<std::deque<quint32>> m_draws;
};

QDateTime at(int year, int month, int day, int hour = 0, int minute = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

// A value of the attribute's type that differs for every attribute position.
QVariant sampleValue(AttributeType type, int position)
{
    switch (type) {
    case AttributeType::Int32: return QVariant(position % 2 ? -(70000 + position) : 70000 + position);
    case AttributeType::Int64: return QVariant(qlonglong(5000000000LL + position));
    case AttributeType::Double: return QVariant(12.625 + position);
    case AttributeType::Bool: return QVariant(true);
    case AttributeType::Text: return QVariant(QStringLiteral("text %1 — ünï \"quoted\" 'x' %").arg(position));
    case AttributeType::Date: return QVariant(QDateTime(QDate(2023, 3, 26), QTime(1, 30, 15, 250)).addDays(position));
    case AttributeType::Binary: return QVariant(QByteArray("\x00\x01\xff binary ", 12) + QByteArray::number(position));
    }
    return {};
}

QString typeName(AttributeType type)
{
    switch (type) {
    case AttributeType::Int32: return QStringLiteral("Int32");
    case AttributeType::Int64: return QStringLiteral("Int64");
    case AttributeType::Double: return QStringLiteral("Double");
    case AttributeType::Bool: return QStringLiteral("Bool");
    case AttributeType::Text: return QStringLiteral("Text");
    case AttributeType::Date: return QStringLiteral("Date");
    case AttributeType::Binary: return QStringLiteral("Binary");
    }
    return {};
}

// Attributes that copyTo never carries over, whatever its flags, and the identifiers.
const QStringList itemNotCopied = {"edited_since", "highlight", "status", "cachedConversation", "boxFolderID"};
const QStringList itemIDs = {"serverID", "id_", "versionID", "resourceURI"};
const QStringList listNotCopied = {"index",   "centerX", "centerY",   "edited_since",     "password",   "lastItemIndex",
                                   "owner",   "deleted", "highlight", "ownersCountCache", "boxFolderID"};
const QStringList listIDs = {"id_", "versionID", "resourceURI"};

// Gives every attribute of a record a distinct value; dates lie well after the epoch.
void fillAll(ManagedObject *record, int offset)
{
    const auto &attributes = record->entity().attributes();
    for (int i = 0; i < attributes.size(); ++i)
        record->setValue(attributes[i].name, sampleValue(attributes[i].type, i + offset));
}

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void schema_data();
    void schema();
    void schemaRelationships();
    void constants();

    void accessors();
    void roundTripThroughStoreFile();

    void uri_data();
    void uri();
    void projectIDAndURIs();

    void copyAttributes_data();
    void copyAttributes();
    void copyItemDates_data();
    void copyItemDates();
    void copyItemProject_data();
    void copyItemProject();

    void findWithID();
    void findItemSkipsDeleted_data();
    void findItemSkipsDeleted();

    void needToUpload_data();
    void needToUpload();
    void needToUploadDuringChangeNotification();

    void resetItemIDs();
    void pastedCopyDropsResourceURI();
    void descriptionRichText();

    void compareByDates_data();
    void compareByDates();
    void idFromURI_data();
    void idFromURI();
    void resourcePaths();
};

void TestRecords::cleanup()
{
    QLocale::setDefault(QLocale::system());
    ItemIdentifiers::setGeneratorForTesting({});
}

// --- Schema -------------------------------------------------------------------

void TestRecords::schema_data()
{
    QTest::addColumn<QString>("entity");
    QTest::addColumn<QString>("attributes");

    QTest::newRow("TODOList") << "TODOList"
                              << "id_:Int32 name:Text state:Int32 index:Int32 centerX:Double centerY:Double "
                                 "textFirstQuadrant:Text textSecondQuadrant:Text textThirdQuadrant:Text "
                                 "textFourthQuadrant:Text colorFirstQuadrant:Text colorSecondQuadrant:Text "
                                 "colorThirdQuadrant:Text colorFourthQuadrant:Text edited_since:Int32 "
                                 "timestamp:Int32 edited_by:Text password:Text lastItemIndex:Int32 owner:Text "
                                 "deleted:Int32 resourceURI:Text requestedTime:Int64 highlight:Int32 "
                                 "editedByDevice:Text ownersCountCache:Int32 editedByUsername:Text "
                                 "versionID:Int64 boxFolderID:Text cv_notes:Text";
    QTest::newRow("TODOItem") << "TODOItem"
                              << "id_:Int32 serverID:Int64 name:Text descriptionRichText:Text "
                                 "descriptionText:Text quadrant:Int32 index:Int32 icon:Text dueDate:Date "
                                 "startDate:Date creationDate:Date completionDate:Date untilDate:Date allDay:Bool "
                                 "state:Int32 completionPercentage:Int32 frequency:Text parentID:Int32 "
                                 "childID:Int32 effort:Int32 edited_since:Int32 timestamp:Int32 edited_by:Text "
                                 "owner:Text ownerUsername:Text creatorUsername:Text editedByUsername:Text "
                                 "editedByDevice:Text resourceURI:Text requestedTime:Int64 highlight:Int32 "
                                 "macResourceURL:Text versionID:Int64 cachedConversation:Text boxFolderID:Text "
                                 "status:Text";
    QTest::newRow("Settings") << "Settings"
                              << "lastVisitedList:Int32 lastListIndex:Int32 email:Text autoSyncing:Int32 "
                                 "multipleLists:Int32 textFirstQuadrant:Text textSecondQuadrant:Text "
                                 "textThirdQuadrant:Text textFourthQuadrant:Text colorFirstQuadrant:Text "
                                 "colorSecondQuadrant:Text colorThirdQuadrant:Text colorFourthQuadrant:Text";
    QTest::newRow("CurrentUser") << "CurrentUser" << "email:Text";
    QTest::newRow("InstantSyncStatus") << "InstantSyncStatus"
                                       << "email:Text lastProjectPollingDate:Date "
                                          "lastProjectPollingDateWithResults:Date lastItemPollingDate:Date "
                                          "lastItemPollingDateWithResults:Date userWentOffline:Int32";
    QTest::newRow("CollaborationStatus") << "CollaborationStatus"
                                         << "email:Text cachedOwnersByProject:Binary "
                                            "cachedOwnersByProjectDates:Binary cachedCollaboratorsByEmail:Binary "
                                            "cachedMe:Binary cachedFollowersByItem:Binary "
                                            "cachedFollowersByItemDates:Binary";
    QTest::newRow("BoxConfig") << "BoxConfig"
                               << "currentUserEmail:Text boxUserID:Int64 rootFolderID:Text boxFolderPathInMac:Text";
}

void TestRecords::schema()
{
    QFETCH(QString, entity);
    QFETCH(QString, attributes);

    const ObjectModel &model = todoListModel();
    QCOMPARE(model.name(), QStringLiteral("todo_list_mac"));
    QCOMPARE(model.version(), 8);
    QCOMPARE(model.entities().size(), 7);

    const EntityDescription *description = model.entity(entity);
    QVERIFY(description);
    QMap<QString, QString> expected, actual;
    for (const QString &pair : attributes.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        expected.insert(pair.section(QLatin1Char(':'), 0, 0), pair.section(QLatin1Char(':'), 1));
    for (const AttributeDescription &attribute : description->attributes())
        actual.insert(attribute.name, typeName(attribute.type));
    QCOMPARE(actual, expected);
}

void TestRecords::schemaRelationships()
{
    const ObjectModel &model = todoListModel();
    const EntityDescription *list = model.entity(QStringLiteral("TODOList"));
    const EntityDescription *item = model.entity(QStringLiteral("TODOItem"));
    QVERIFY(list && item);
    QCOMPARE(list->relationships().size(), 1);
    QCOMPARE(item->relationships().size(), 1);
    const RelationshipDescription &contains = list->relationships().constFirst();
    const RelationshipDescription &owner = item->relationships().constFirst();
    QCOMPARE((QStringList{contains.name, contains.destination, contains.inverse}),
             (QStringList{"contains", "TODOItem", "list"}));
    QCOMPARE((QStringList{owner.name, owner.destination, owner.inverse}), (QStringList{"list", "TODOList", "contains"}));
    QVERIFY(contains.toMany);
    QVERIFY(!owner.toMany);
    for (const auto &entity : model.entities()) {
        if (entity.name() != QLatin1String("TODOList") && entity.name() != QLatin1String("TODOItem"))
            QVERIFY2(entity.relationships().isEmpty(), qPrintable(entity.name()));
    }

    ManagedObjectContext context(model);
    QVERIFY(dynamic_cast<TODOList *>(context.insert(QStringLiteral("TODOList"))));
    QVERIFY(dynamic_cast<TODOItem *>(context.insert(QStringLiteral("TODOItem"))));
    QVERIFY(!dynamic_cast<TODOItem *>(context.insert(QStringLiteral("Settings"))));
}

void TestRecords::constants()
{
    QCOMPARE(TodoModel::storeFileName(), QStringLiteral("corvane_2_8.sqlite"));

    const QStringList titles = {"Critical and Immediate", "Critical but Not Immediate", "Not Critical but Immediate",
                                "Uncategorized"};
    const QStringList colors = {"{0.866667, 0.952941, 0.678431, 1.000000}", "{0.776471, 0.909804, 1.000000, 1.000000}",
                                "{0.478431, 0.756863, 0.423529, 1.000000}", "{1.000000, 1.000000, 1.000000, 1.000000}"};
    for (int q = Quadrant::First; q <= Quadrant::Fourth; ++q) {
        QCOMPARE(Quadrant::defaultTitle(q), titles[q]);
        QCOMPARE(Quadrant::defaultColor(q), colors[q]);
    }
    QVERIFY(Quadrant::defaultTitle(4).isEmpty());
    QVERIFY(Quadrant::defaultColor(-1).isEmpty());

    const QStringList efforts = {"No effort", "1-2 hours", "Half a day",  "One day",       "Half a week",
                                 "One week",  "Two weeks", "One month",   "Several months"};
    for (int code = 0; code < efforts.size(); ++code)
        QCOMPARE(Effort::text(code), efforts[code]);
    QVERIFY(Effort::text(9).isEmpty());
    QVERIFY(Effort::text(-1).isEmpty());

    // A list names its quadrants by its own texts.
    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    list->setTextFirstQuadrant(QStringLiteral("one"));
    list->setTextSecondQuadrant(QStringLiteral("two"));
    list->setTextThirdQuadrant(QStringLiteral("three"));
    list->setTextFourthQuadrant(QStringLiteral("four"));
    QCOMPARE((QStringList{list->nameForQuadrant(-1), list->nameForQuadrant(0), list->nameForQuadrant(1),
                          list->nameForQuadrant(2), list->nameForQuadrant(3), list->nameForQuadrant(4)}),
             (QStringList{"", "one", "two", "three", "four", ""}));
}

// --- Typed accessors -------------------------------------------------------------

// Typed setters write their own key only; typed getters read it, absent values as zero or empty.
void TestRecords::accessors()
{
    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    QCOMPARE(item->id_(), 0);
    QCOMPARE(item->requestedTime(), qint64(0));
    QVERIFY(item->status().isEmpty() && !item->untilDate().isValid() && !item->allDay());
    QCOMPARE(list->centerY(), 0.0);
    QVERIFY(list->cv_notes().isEmpty());
    QVERIFY(!item->list());
    QVERIFY(list->contains().isEmpty());
    context.processPendingChanges();

    const auto wrote = [](ManagedObject *record, const char *key) {
        return record->changedKeysForCurrentEvent() == QSet<QString>{QString::fromLatin1(key)};
    };
    item->setId_(2147483639);
    QVERIFY(wrote(item, "id_"));
    context.processPendingChanges();
    item->setUntilDate(at(2024, 2, 29, 8, 15));
    QVERIFY(wrote(item, "untilDate"));
    context.processPendingChanges();
    item->setEdited_by(QStringLiteral("me"));
    QVERIFY(wrote(item, "edited_by"));
    context.processPendingChanges();
    list->setColorFourthQuadrant(QStringLiteral("c4"));
    QVERIFY(wrote(list, "colorFourthQuadrant"));
    context.processPendingChanges();
    list->setVersionID(7000000000LL);
    QVERIFY(wrote(list, "versionID"));

    fillAll(item, 0);
    fillAll(list, 0);
    QCOMPARE(item->descriptionText(), item->value(QStringLiteral("descriptionText")).toString());
    QCOMPARE(item->index(), item->value(QStringLiteral("index")).toInt());
    QCOMPARE(item->startDate(), item->value(QStringLiteral("startDate")).toDateTime());
    QCOMPARE(item->requestedTime(), item->value(QStringLiteral("requestedTime")).toLongLong());
    QCOMPARE(item->status(), item->value(QStringLiteral("status")).toString());
    QVERIFY(item->allDay());
    QCOMPARE(list->centerY(), list->value(QStringLiteral("centerY")).toDouble());
    QCOMPARE(list->password(), list->value(QStringLiteral("password")).toString());
    QCOMPARE(list->deleted(), list->value(QStringLiteral("deleted")).toInt());
    QCOMPARE(list->cv_notes(), list->value(QStringLiteral("cv_notes")).toString());

    // An empty date clears.
    item->setDueDate(QDateTime());
    QVERIFY(!item->value(QStringLiteral("dueDate")).isValid());
    QVERIFY(!item->hasValue(TODOItem::Attr_dueDate));
}

// --- Store file -----------------------------------------------------------------

void TestRecords::roundTripThroughStoreFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(TodoModel::storeFileName());
    const ObjectModel &model = todoListModel();
    QString error;
    {
        ManagedObjectContext context(model);
        QVERIFY2(context.create(path, &error), qPrintable(error));
        for (int e = 0; e < model.entities().size(); ++e) {
            fillAll(context.insert(model.entities()[e].name()), e * 100);
            context.insert(model.entities()[e].name()); // a record with nothing set
        }
        static_cast<TODOItem *>(context.objects(TODOItem::EntityName).constFirst())
            ->setList(static_cast<TODOList *>(context.objects(TODOList::EntityName).constFirst()));
        QVERIFY2(context.save(&error), qPrintable(error));
    }

    ManagedObjectContext reopened(model);
    QVERIFY2(reopened.open(path, &error), qPrintable(error));
    QHash<QString, ManagedObject *> filledOf;
    for (int e = 0; e < model.entities().size(); ++e) {
        const EntityDescription &entity = model.entities()[e];
        const QList<ManagedObject *> records = reopened.objects(entity.name());
        QCOMPARE(records.size(), 2);
        ManagedObject *filled = nullptr, *empty = nullptr;
        for (ManagedObject *record : records)
            (record->value(entity.attributes().constFirst().name).isValid() ? filled : empty) = record;
        QVERIFY2(filled && empty, qPrintable(entity.name()));
        filledOf.insert(entity.name(), filled);

        const auto &attributes = entity.attributes();
        for (int i = 0; i < attributes.size(); ++i) {
            const QString what = entity.name() + QLatin1Char('.') + attributes[i].name;
            QVERIFY2(!empty->value(attributes[i].name).isValid(), qPrintable(what));
            const QVariant expected = sampleValue(attributes[i].type, i + e * 100);
            const QVariant actual = filled->value(attributes[i].name);
            if (attributes[i].type == AttributeType::Date)
                QVERIFY2(actual.toDateTime() == expected.toDateTime(), qPrintable(what));
            else
                QVERIFY2(actual == expected, qPrintable(what + QStringLiteral(": ") + actual.toString()));
        }
    }
    auto *list = dynamic_cast<TODOList *>(filledOf.value(TODOList::EntityName));
    auto *item = dynamic_cast<TODOItem *>(filledOf.value(TODOItem::EntityName));
    QVERIFY(list && item);
    QCOMPARE(item->list(), list);
    QCOMPARE(list->contains(), QList<TODOItem *>{item});
}

// --- Paths ----------------------------------------------------------------------

void TestRecords::uri_data()
{
    QTest::addColumn<QString>("entity");
    QTest::addColumn<QString>("resourceURI");
    QTest::addColumn<qint64>("id"); // serverID of an item, id_ of a list
    QTest::addColumn<QString>("expected");

    const QString item = TODOItem::EntityName, list = TODOList::EntityName;
    QTest::newRow("item: nothing") << item << QString() << qint64(0) << QString();
    QTest::newRow("item: empty path") << item << QString(QLatin1String("")) << qint64(0) << QString();
    QTest::newRow("item: server id") << item << QString() << qint64(42) << "/api/v1/item/42/";
    QTest::newRow("item: path wins") << item << "/api/v1/item/7/" << qint64(42) << "/api/v1/item/7/";
    QTest::newRow("item: path alone") << item << "/api/v1/item/9/" << qint64(0) << "/api/v1/item/9/";
    // The server id is read by its 32-bit value, yet stored whole.
    QTest::newRow("item: wide server id") << item << QString() << ((qint64(1) << 32) + 5) << "/api/v1/item/5/";
    QTest::newRow("list: nothing") << list << QString() << qint64(0) << QString();
    QTest::newRow("list: id") << list << QString() << qint64(12) << "/api/v1/project/12/";
    QTest::newRow("list: path wins") << list << "/api/v1/project/3/" << qint64(12) << "/api/v1/project/3/";
}

void TestRecords::uri()
{
    QFETCH(QString, entity);
    QFETCH(QString, resourceURI);
    QFETCH(qint64, id);
    QFETCH(QString, expected);

    ManagedObjectContext context(todoListModel());
    if (entity == TODOItem::EntityName) {
        auto *item = context.insert<TODOItem>(entity);
        item->setResourceURI(resourceURI);
        item->setServerID(id);
        QCOMPARE(item->getURI(), expected);
        QCOMPARE(item->value(QStringLiteral("serverID")).toLongLong(), id);
        QCOMPARE(item->serverID(), int(id & 0xffffffff));
    } else {
        auto *list = context.insert<TODOList>(entity);
        list->setResourceURI(resourceURI);
        list->setId_(int(id));
        QCOMPARE(list->getURI(), expected);
    }
}

void TestRecords::projectIDAndURIs()
{
    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    list->setId_(12);

    auto *inList = context.insert<TODOItem>(TODOItem::EntityName);
    inList->setList(list);
    QCOMPARE(inList->getProject(), list);
    QCOMPARE(inList->getProjectID(), std::optional<qint64>(12));
    QCOMPARE(inList->getProjectURIs(), QStringList{QStringLiteral("/api/v1/project/12/")});

    // Without a list, the first path names the project; a list takes precedence.
    auto *byPath = context.insert<TODOItem>(TODOItem::EntityName);
    byPath->setProjectURIs(QStringList{QStringLiteral("/api/v1/project/99/"), QStringLiteral("/api/v1/project/5/")});
    QCOMPARE(byPath->getProjectID(), std::optional<qint64>(99));
    QCOMPARE(byPath->getProjectURIs().size(), 2);
    byPath->setList(list);
    QCOMPARE(byPath->getProjectID(), std::optional<qint64>(12));

    auto *orphan = context.insert<TODOItem>(TODOItem::EntityName);
    QVERIFY(!orphan->getProjectID());
    QVERIFY(orphan->getProjectURIs().isEmpty());
    orphan->setProjectURIs(QStringList{QStringLiteral("not a path")});
    QVERIFY(!orphan->getProjectID());

    // Transient: not an attribute, not a change.
    context.processPendingChanges();
    orphan->setProjectURIs(QStringList{QStringLiteral("/api/v1/project/1/")});
    QVERIFY(orphan->changedKeysForCurrentEvent().isEmpty());
}

// --- Copying --------------------------------------------------------------------

void TestRecords::copyAttributes_data()
{
    // Item: 0 copyTo(t), 1 copyTo(t, false), 2 copyTo(t, false, false), 3 copyTo(t, true, false).
    // List: 0 copyTo(t), 1 copyTo(t, true), 2 copyTo(t, false).
    QTest::addColumn<bool>("item");
    QTest::addColumn<int>("overload");
    QTest::addColumn<bool>("idsCopied");
    QTest::newRow("item copyTo") << true << 0 << true;
    QTest::newRow("item copyTo addProject") << true << 1 << true;
    QTest::newRow("item no ids") << true << 2 << false;
    QTest::newRow("item ids") << true << 3 << true;
    QTest::newRow("list copyTo") << false << 0 << true;
    QTest::newRow("list with ids") << false << 1 << true;
    QTest::newRow("list without ids") << false << 2 << false;
}

void TestRecords::copyAttributes()
{
    QFETCH(bool, item);
    QFETCH(int, overload);
    QFETCH(bool, idsCopied);

    ManagedObjectContext context(todoListModel());
    const QString entity = item ? TODOItem::EntityName : TODOList::EntityName;
    ManagedObject *source = context.insert(entity);
    ManagedObject *target = context.insert(entity);
    fillAll(source, 0);
    fillAll(target, 1000);
    auto *child = context.insert<TODOItem>(TODOItem::EntityName);
    QHash<QString, QVariant> before;
    for (const auto &attribute : target->entity().attributes())
        before.insert(attribute.name, target->value(attribute.name));

    if (item) {
        // Notes as stored: HTML and a plain text that the HTML does not produce.
        source->setValue(QStringLiteral("descriptionRichText"), QStringLiteral("<p>source <i>notes</i></p>"));
        source->setValue(QStringLiteral("descriptionText"), QStringLiteral("typed by hand"));
        auto *from = static_cast<TODOItem *>(source);
        auto *to = static_cast<TODOItem *>(target);
        if (overload == 0)
            from->copyTo(to);
        else if (overload == 1)
            from->copyTo(to, false);
        else
            from->copyTo(to, overload == 3, false);
        QCOMPARE(to->descriptionText(), QStringLiteral("typed by hand"));
        // Neither record has a project, so none is added.
        QVERIFY(!to->list());
    } else {
        auto *from = static_cast<TODOList *>(source);
        auto *to = static_cast<TODOList *>(target);
        child->setList(from);
        if (overload == 0)
            from->copyTo(to);
        else
            from->copyTo(to, overload == 1);
        QVERIFY(to->contains().isEmpty());
        QCOMPARE(from->contains(), QList<TODOItem *>{child});
    }

    const QStringList &notCopied = item ? itemNotCopied : listNotCopied;
    const QStringList &ids = item ? itemIDs : listIDs;
    for (const auto &attribute : target->entity().attributes()) {
        const QString &key = attribute.name;
        const bool copied = !notCopied.contains(key) && (idsCopied || !ids.contains(key));
        QVERIFY2(target->value(key) == (copied ? source->value(key) : before.value(key)), qPrintable(key));
    }
}

void TestRecords::copyItemDates_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<bool>("copied");

    const QDateTime epoch = QDateTime::fromMSecsSinceEpoch(0);
    QTest::newRow("absent") << QDateTime() << false;
    QTest::newRow("epoch") << epoch << false;
    QTest::newRow("before epoch") << epoch.addDays(-3) << false;
    QTest::newRow("under a second after") << epoch.addMSecs(999) << false;
    QTest::newRow("one second after") << epoch.addSecs(1) << true;
    QTest::newRow("ordinary") << at(2024, 6, 1, 9, 30) << true;
}

void TestRecords::copyItemDates()
{
    QFETCH(QDateTime, date);
    QFETCH(bool, copied);

    ManagedObjectContext context(todoListModel());
    auto *source = context.insert<TODOItem>(TODOItem::EntityName);
    auto *target = context.insert<TODOItem>(TODOItem::EntityName);
    const QStringList keys = {"dueDate", "startDate", "creationDate", "completionDate", "untilDate"};
    for (const QString &key : keys) {
        source->setValue(key, date);
        target->setValue(key, at(2030, 1, 1, 12, 0));
    }
    source->copyTo(target);
    for (const QString &key : keys)
        QVERIFY2(target->value(key).toDateTime() == (copied ? date : QDateTime()), qPrintable(key));
    QCOMPARE(target->dueDate(), copied ? date : QDateTime());
}

void TestRecords::copyItemProject_data()
{
    // Lists: "A" has id_ 12, "B" id_ 13; "none" is no list.
    QTest::addColumn<QString>("sourceList");
    QTest::addColumn<QStringList>("sourceURIs");
    QTest::addColumn<QString>("targetList");
    QTest::addColumn<bool>("addProject");
    QTest::addColumn<QString>("expected");

    const QStringList none;
    QTest::newRow("moves to the source's list") << "A" << none << "B" << true << "A";
    QTest::newRow("joins from no list") << "A" << none << "none" << true << "A";
    QTest::newRow("without addProject stays") << "A" << none << "B" << false << "B";
    QTest::newRow("same project stays") << "B" << none << "B" << true << "B";
    QTest::newRow("source without project stays") << "none" << none << "B" << true << "B";
    QTest::newRow("project by path") << "none" << QStringList{"/api/v1/project/12/"} << "B" << true << "A";
    QTest::newRow("unknown project leaves the list")
        << "none" << QStringList{"/api/v1/project/99/"} << "B" << true << "none";
}

void TestRecords::copyItemProject()
{
    QFETCH(QString, sourceList);
    QFETCH(QStringList, sourceURIs);
    QFETCH(QString, targetList);
    QFETCH(bool, addProject);
    QFETCH(QString, expected);

    ManagedObjectContext context(todoListModel());
    auto *a = context.insert<TODOList>(TODOList::EntityName);
    a->setId_(12);
    auto *b = context.insert<TODOList>(TODOList::EntityName);
    b->setId_(13);
    // A deleted list with A's identifier is never the one joined.
    auto *gone = context.insert<TODOList>(TODOList::EntityName);
    gone->setId_(12);
    gone->setState(RecordState::Deleted);
    const QHash<QString, TODOList *> lists = {{QStringLiteral("A"), a}, {QStringLiteral("B"), b}};

    auto *source = context.insert<TODOItem>(TODOItem::EntityName);
    source->setList(lists.value(sourceList));
    if (!sourceURIs.isEmpty())
        source->setProjectURIs(sourceURIs);
    auto *target = context.insert<TODOItem>(TODOItem::EntityName);
    target->setList(lists.value(targetList));

    source->copyTo(target, addProject);

    TODOList *wanted = lists.value(expected);
    QCOMPARE(target->list(), wanted);
    for (TODOList *list : {a, b, gone})
        QCOMPARE(list->contains().contains(target), list == wanted);
}

// --- Lookups -------------------------------------------------------------------

void TestRecords::findWithID()
{
    ManagedObjectContext context(todoListModel());
    const auto newItem = [&](TODOList *list, int id) {
        auto *item = context.insert<TODOItem>(TODOItem::EntityName);
        item->setList(list);
        item->setId_(id);
        return item;
    };
    // Items match by server id or by local id; the server id wins.
    TODOItem *byServer = newItem(nullptr, 900);
    byServer->setServerID(5);
    newItem(nullptr, 5);
    TODOItem *other = newItem(nullptr, 6);
    {
        ModelLog log;
        QCOMPARE(TODOItem::findWithID(5, &context), byServer);
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Duplicated item with id: 5")});
    }
    {
        ModelLog log;
        QCOMPARE(TODOItem::findWithID(6, &context), other);
        QCOMPARE(TODOItem::findWithID(900, &context), byServer);
        QCOMPARE(TODOItem::findWithID(7, &context), nullptr);
        QVERIFY(log.lines().isEmpty());
    }
    // A local id shared by items of different lists still logs the duplicate.
    auto *first = context.insert<TODOList>(TODOList::EntityName);
    TODOItem *a = newItem(first, 4711);
    newItem(context.insert<TODOList>(TODOList::EntityName), 4711);
    {
        ModelLog log;
        QCOMPARE(TODOItem::findWithID(4711, &context), a);
        QCOMPARE(log.lines(), QStringList{QStringLiteral("Duplicated item with id: 4711")});
    }

    // Lists match by id_ only and skip deleted ones.
    first->setId_(12);
    first->setState(RecordState::Deleted);
    auto *trashed = context.insert<TODOList>(TODOList::EntityName);
    trashed->setId_(12);
    trashed->setState(RecordState::Trashed);
    {
        ModelLog log;
        QCOMPARE(TODOList::findWithID(12, &context), trashed);
        QCOMPARE(TODOList::findWithID(13, &context), nullptr);
        QCOMPARE(TODOList::findWithID(900, &context), nullptr);
        QVERIFY(log.lines().isEmpty());
    }
    context.insert<TODOList>(TODOList::EntityName)->setId_(12);
    {
        ModelLog log;
        QCOMPARE(TODOList::findWithID(12, &context), trashed);
        QCOMPARE(log.lines(), QStringList{QStringLiteral("12 is replicated. There are 2 copies")});
    }

    ModelLog log;
    QCOMPARE(TODOItem::findWithID(1, nullptr), nullptr);
    QCOMPARE(TODOList::findWithID(1, nullptr), nullptr);
    QCOMPARE(log.lines().size(), 2);
    for (const QString &line : log.lines())
        QVERIFY2(line.startsWith(QLatin1String("an error occurred: ")), qPrintable(line));
}

void TestRecords::findItemSkipsDeleted_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("byServerID");
    for (int state : {0, 1, 2, 3}) {
        QTest::addRow("state %d, server id", state) << state << true;
        QTest::addRow("state %d, local id", state) << state << false;
    }
}

void TestRecords::findItemSkipsDeleted()
{
    QFETCH(int, state);
    QFETCH(bool, byServerID);

    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    if (byServerID)
        item->setServerID(31);
    else
        item->setId_(31);
    item->setState(state);

    ModelLog log;
    QCOMPARE(TODOItem::findWithID(31, &context), state != 3 ? item : nullptr);
    QVERIFY(log.lines().isEmpty());
}

// --- Change marks --------------------------------------------------------------

void TestRecords::needToUpload_data()
{
    QTest::addColumn<QString>("entity");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("expected");

    const QHash<QString, QStringList> untracked = {
        {TODOItem::EntityName,
         {"creatorUsername", "owner", "edited_since", "requestedTime", "serverID", "resourceURI", "edited_by",
          "editedByDevice", "timestamp", "highlight", "versionID"}},
        {TODOList::EntityName,
         {"centerX", "centerY", "edited_since", "resourceURI", "edited_by", "editedByDevice", "timestamp",
          "requestedTime", "contains", "lastItemIndex", "ownersCountCache", "highlight", "deleted", "password",
          "editedByUsername", "versionID"}},
    };
    // Every attribute and the relationship of both entities.
    for (const QString &entity : {TODOItem::EntityName, TODOList::EntityName}) {
        const EntityDescription *description = todoListModel().entity(entity);
        QStringList keys;
        for (const auto &attribute : description->attributes())
            keys.append(attribute.name);
        for (const auto &relationship : description->relationships())
            keys.append(relationship.name);
        for (const QString &key : keys)
            QTest::addRow("%s %s", qPrintable(entity), qPrintable(key))
                << entity << key << !untracked.value(entity).contains(key);
    }
}

void TestRecords::needToUpload()
{
    QFETCH(QString, entity);
    QFETCH(QString, key);
    QFETCH(bool, expected);

    ManagedObjectContext context(todoListModel());
    ManagedObject *record = context.insert(entity);
    context.processPendingChanges();
    const auto ask = [&] {
        if (auto item = dynamic_cast<TODOItem *>(record))
            return item->needToUpload();
        return static_cast<TODOList *>(record)->needToUpload();
    };
    QVERIFY(!ask());

    if (key == QLatin1String("list")) {
        static_cast<TODOItem *>(record)->setList(context.insert<TODOList>(TODOList::EntityName));
    } else if (key == QLatin1String("contains")) {
        context.insert<TODOItem>(TODOItem::EntityName)->setList(static_cast<TODOList *>(record));
    } else {
        const int index = record->entity().attributeIndex(key);
        QVERIFY2(index >= 0, qPrintable(key));
        record->setValue(key, sampleValue(record->entity().attributes()[index].type, 3));
    }
    QVERIFY2(record->changedKeysForCurrentEvent().contains(key), qPrintable(key));
    QCOMPARE(ask(), expected);

    // A tracked change next to an untracked one still counts.
    record->setValue(QStringLiteral("name"), QStringLiteral("renamed"));
    QVERIFY(ask());
}

void TestRecords::needToUploadDuringChangeNotification()
{
    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    context.processPendingChanges();

    QList<bool> answers;
    connect(&context, &ManagedObjectContext::objectsDidChange, this, [&](const ObjectsChange &change) {
        if (change.updated.contains(item))
            answers.append(item->needToUpload());
    });
    item->setEdited_since(1);
    item->setServerID(88);
    context.processPendingChanges();
    item->setName(QStringLiteral("changed"));
    context.processPendingChanges();
    QCOMPARE(answers, (QList<bool>{false, true}));
}

// --- Identifiers ------------------------------------------------------------

void TestRecords::resetItemIDs()
{
    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    auto *sibling = context.insert<TODOItem>(TODOItem::EntityName);
    sibling->setList(list);
    sibling->setId_(500);
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    item->setList(list);
    item->setId_(7);
    item->setServerID(42);
    item->setVersionID(3);
    item->setBoxFolderID(QStringLiteral("box"));
    item->setResourceURI(QStringLiteral("/api/v1/item/42/"));
    item->setName(QStringLiteral("kept"));

    // Draws already taken in the list, the item's own id and one out of range are skipped.
    ScriptedDraws draws{500, 7, 2147483640u + 501u};
    item->resetIDs();

    QCOMPARE(draws.remaining(), size_t(0));
    QCOMPARE(item->id_(), 501);
    for (TODOItem::Attribute attribute :
         {TODOItem::Attr_serverID, TODOItem::Attr_versionID, TODOItem::Attr_boxFolderID, TODOItem::Attr_resourceURI})
        QVERIFY(!item->hasValue(attribute));
    QVERIFY(item->getURI().isEmpty());
    QCOMPARE(item->name(), QStringLiteral("kept"));
    QCOMPARE(item->list(), list);
}

// A pasted copy takes every attribute of its source, then fresh identifiers:
// it must not go to the server under the source's path.
void TestRecords::pastedCopyDropsResourceURI()
{
    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    list->setId_(12);
    list->setVersionID(8);
    list->setBoxFolderID(QStringLiteral("box"));
    list->setResourceURI(QStringLiteral("/api/v1/project/12/"));
    list->setName(QStringLiteral("kept"));
    auto *source = context.insert<TODOItem>(TODOItem::EntityName);
    source->setList(list);
    source->setId_(300);
    source->setServerID(42);
    source->setResourceURI(QStringLiteral("/api/v1/item/42/"));

    auto *copy = context.insert<TODOItem>(TODOItem::EntityName);
    source->copyTo(copy);
    QCOMPARE(copy->list(), list);
    QCOMPARE(copy->getURI(), QStringLiteral("/api/v1/item/42/"));
    ScriptedDraws draws{300, 301};
    copy->resetIDs();
    QCOMPARE(copy->id_(), 301);
    QVERIFY(copy->getURI().isEmpty());
    QCOMPARE(source->getURI(), QStringLiteral("/api/v1/item/42/"));

    auto *listCopy = context.insert<TODOList>(TODOList::EntityName);
    list->copyTo(listCopy);
    QCOMPARE(listCopy->getURI(), QStringLiteral("/api/v1/project/12/"));
    listCopy->resetIDs();
    QVERIFY(listCopy->getURI().isEmpty());

    // A list's id_ is zeroed, not drawn.
    list->resetIDs();
    QCOMPARE(list->id_(), 0);
    QVERIFY(list->hasValue(TODOList::Attr_id_));
    for (TODOList::Attribute attribute : {TODOList::Attr_versionID, TODOList::Attr_boxFolderID, TODOList::Attr_resourceURI})
        QVERIFY(!list->hasValue(attribute));
    QVERIFY(list->getURI().isEmpty());
    QCOMPARE(list->name(), QStringLiteral("kept"));
}

// --- Notes ------------------------------------------------------------------------

void TestRecords::descriptionRichText()
{
    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);

    item->setDescriptionRichText(QStringLiteral("<p>Call <b>Anna</b> &amp; Bob</p>"));
    QCOMPARE(item->descriptionRichText(), QStringLiteral("<p>Call <b>Anna</b> &amp; Bob</p>"));
    QCOMPARE(item->descriptionText(), QStringLiteral("Call Anna & Bob"));
    item->setDescriptionRichText(QString());
    QVERIFY(item->descriptionRichText().isEmpty());
    QVERIFY(item->descriptionText().isEmpty());

    // The same HTML again changes nothing, not even a hand-edited plain text.
    const QString html = QStringLiteral("<p>same</p>");
    item->setDescriptionRichText(html);
    item->setDescriptionText(QStringLiteral("edited by hand"));
    context.processPendingChanges();
    item->setDescriptionRichText(QString(html));
    QCOMPARE(item->descriptionText(), QStringLiteral("edited by hand"));
    QVERIFY(item->changedKeysForCurrentEvent().isEmpty());

    item->setDescriptionRichText(QStringLiteral("<p>other</p>"));
    QCOMPARE(item->descriptionText(), QStringLiteral("other"));
    QCOMPARE(item->changedKeysForCurrentEvent(), (QSet<QString>{"descriptionRichText", "descriptionText"}));
}

// --- Date order ------------------------------------------------------------------

struct DateFields {
    QDateTime due, start;
    bool allDay = false;
    int percent = 0;
};
Q_DECLARE_METATYPE(DateFields)

void TestRecords::compareByDates_data()
{
    QTest::addColumn<DateFields>("a");
    QTest::addColumn<DateFields>("b");
    QTest::addColumn<int>("expected");

    const QDateTime none, may10 = at(2024, 5, 10, 9, 0), may10Evening = at(2024, 5, 10, 18, 0),
                          may11 = at(2024, 5, 11, 9, 0);
    using D = DateFields;
    QTest::newRow("earlier due first") << D{may10, may11, false, 90} << D{may11, may10, false, 0} << -1;
    QTest::newRow("later due last") << D{may11, none, false, 0} << D{may10, none, false, 0} << 1;
    QTest::newRow("dated before undated") << D{may11, none, false, 0} << D{none, may10, false, 0} << -1;
    QTest::newRow("same due, start decides") << D{may10, may10, false, 90} << D{may10, may11, false, 0} << -1;
    QTest::newRow("no due, start decides") << D{none, may11, false, 0} << D{none, may10, false, 90} << 1;
    QTest::newRow("started before not started") << D{none, may11, false, 50} << D{none, none, false, 0} << -1;
    QTest::newRow("percentage decides") << D{may10, may10, false, 10} << D{may10, may10, false, 50} << -1;
    QTest::newRow("higher percentage last") << D{none, none, false, 60} << D{none, none, false, 20} << 1;
    QTest::newRow("all the same") << D{may10, none, false, 20} << D{may10, none, false, 20} << 0;
    QTest::newRow("times count") << D{may10Evening, none, false, 0} << D{may10, none, false, 90} << 1;
    QTest::newRow("all-day ignores the time") << D{may10Evening, none, true, 0} << D{may10, none, true, 90} << -1;
}

void TestRecords::compareByDates()
{
    QFETCH(DateFields, a);
    QFETCH(DateFields, b);
    QFETCH(int, expected);

    ManagedObjectContext context(todoListModel());
    const auto make = [&](const DateFields &fields) {
        auto *item = context.insert<TODOItem>(TODOItem::EntityName);
        item->setDueDate(fields.due);
        item->setStartDate(fields.start);
        item->setAllDay(fields.allDay);
        item->setCompletionPercentage(fields.percent);
        return item;
    };
    TODOItem *first = make(a), *second = make(b);
    QCOMPARE(first->compareByDates(second), expected);
    QCOMPARE(second->compareByDates(first), -expected);
}

// --- Resource paths ---------------------------------------------------------

void TestRecords::idFromURI_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("path");
    QTest::addColumn<std::optional<qint64>>("expected");

    using Id = std::optional<qint64>;
    QTest::newRow("item path") << "C" << "/api/v1/item/123/" << Id(123);
    QTest::newRow("no trailing slash") << "C" << "/api/v1/item/123" << Id(123);
    QTest::newRow("project path") << "C" << "/api/v1/project/12/" << Id(12);
    QTest::newRow("doubled slashes") << "C" << "/api/v1/item/8//" << Id(8);
    QTest::newRow("bare number") << "C" << "42" << Id(42);
    QTest::newRow("wide number") << "C" << "/api/v1/item/6000000000/" << Id(6000000000LL);
    QTest::newRow("negative") << "C" << "/x/-5/" << Id(-5);
    QTest::newRow("only slashes") << "C" << "///" << Id();
    QTest::newRow("empty") << "C" << "" << Id();
    QTest::newRow("null") << "C" << QString() << Id();
    QTest::newRow("text") << "C" << "abc" << Id();
    QTest::newRow("last component not a number") << "C" << "/api/v1/item/123/abc/" << Id();
    QTest::newRow("number with suffix") << "C" << "/api/v1/item/12x/" << Id();
    QTest::newRow("fraction") << "C" << "/api/v1/item/12.5/" << Id();
    QTest::newRow("German grouping") << "de_DE" << "/api/v1/item/1.234/" << Id(1234);
    QTest::newRow("English grouping") << "en_US" << "/api/v1/item/1,234/" << Id(1234);
}

void TestRecords::idFromURI()
{
    QFETCH(QString, locale);
    QFETCH(QString, path);
    QFETCH(std::optional<qint64>, expected);

    QLocale::setDefault(QLocale(locale));
    QCOMPARE(ResourcePath::idFromURI(path), expected);
}

void TestRecords::resourcePaths()
{
    QCOMPARE(ResourcePath::itemPath(123), QStringLiteral("/api/v1/item/123/"));
    QCOMPARE(ResourcePath::itemPath((qint64(1) << 32) + 9), QStringLiteral("/api/v1/item/9/"));
    QCOMPARE(ResourcePath::projectPath(12), QStringLiteral("/api/v1/project/12/"));
    for (qint64 id : {qint64(1), qint64(77), qint64(2147483639)}) {
        QCOMPARE(ResourcePath::idFromURI(ResourcePath::itemPath(id)), std::optional<qint64>(id));
        QCOMPARE(ResourcePath::idFromURI(ResourcePath::projectPath(id)), std::optional<qint64>(id));
    }
}

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
