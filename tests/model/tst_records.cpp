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
#include <functional>
#include <memory>

namespace {

// Collects the lines logged under the model's category while it lives.
class ModelLog
{
public:
    ModelLog()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&ModelLog::handler);
    }
    ~ModelLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
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
    explicit ScriptedDraws(std::initializer_list<quint32> draws)
        : m_draws(std::make_shared<std::deque<quint32>>(draws))
    {
        auto queue = m_draws;
        ItemIdentifiers::setGeneratorForTesting([queue]() -> quint32 {
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
    case AttributeType::Int32:
        return QVariant(position % 2 ? -(70000 + position) : 70000 + position);
    case AttributeType::Int64:
        return QVariant(qlonglong(5000000000LL + position));
    case AttributeType::Double:
        return QVariant(12.625 + position);
    case AttributeType::Bool:
        return QVariant(true);
    case AttributeType::Text:
        return QVariant(QStringLiteral("text %1 — ünï \"quoted\" 'x' %").arg(position));
    case AttributeType::Date:
        return QVariant(QDateTime(QDate(2023, 3, 26), QTime(1, 30, 15, 250)).addDays(position));
    case AttributeType::Binary:
        return QVariant(QByteArray("\x00\x01\xff binary ", 12) + QByteArray::number(position));
    }
    return {};
}

QString typeName(AttributeType type)
{
    switch (type) {
    case AttributeType::Int32:
        return QStringLiteral("Int32");
    case AttributeType::Int64:
        return QStringLiteral("Int64");
    case AttributeType::Double:
        return QStringLiteral("Double");
    case AttributeType::Bool:
        return QStringLiteral("Bool");
    case AttributeType::Text:
        return QStringLiteral("Text");
    case AttributeType::Date:
        return QStringLiteral("Date");
    case AttributeType::Binary:
        return QStringLiteral("Binary");
    }
    return {};
}

// One typed accessor pair of a record class, checked against its attribute key.
template <class Record>
struct Accessor {
    QString key;
    std::function<void(Record *, int)> set;       // sets sample 0 or 1
    std::function<QVariant(const Record *)> get;
    std::function<QVariant(int)> sample;
};

#define ACCESSOR(Record, key, getter, setter, a, b)                                          \
    Accessor<Record>                                                                         \
    {                                                                                        \
        QStringLiteral(key), [=](Record *r, int i) { r->setter(i ? (b) : (a)); },            \
            [](const Record *r) { return QVariant::fromValue(r->getter()); },                \
            [=](int i) { return QVariant::fromValue(i ? (b) : (a)); }                        \
    }

QList<Accessor<TODOItem>> itemAccessors()
{
    const QString s1 = QStringLiteral("first"), s2 = QStringLiteral("second");
    const QDateTime d1 = at(2024, 2, 29, 8, 15), d2 = at(2025, 10, 26, 2, 30);
    return {
        ACCESSOR(TODOItem, "id_", id_, setId_, 17, 2147483639),
        ACCESSOR(TODOItem, "serverID", serverID, setServerID, 42, 77),
        ACCESSOR(TODOItem, "name", name, setName, s1, s2),
        ACCESSOR(TODOItem, "descriptionText", descriptionText, setDescriptionText, s1, s2),
        ACCESSOR(TODOItem, "quadrant", quadrant, setQuadrant, 1, 3),
        ACCESSOR(TODOItem, "index", index, setIndex, -1000, 2500),
        ACCESSOR(TODOItem, "icon", icon, setIcon, s1, s2),
        ACCESSOR(TODOItem, "dueDate", dueDate, setDueDate, d1, d2),
        ACCESSOR(TODOItem, "startDate", startDate, setStartDate, d1, d2),
        ACCESSOR(TODOItem, "creationDate", creationDate, setCreationDate, d1, d2),
        ACCESSOR(TODOItem, "completionDate", completionDate, setCompletionDate, d1, d2),
        ACCESSOR(TODOItem, "untilDate", untilDate, setUntilDate, d1, d2),
        ACCESSOR(TODOItem, "allDay", allDay, setAllDay, true, false),
        ACCESSOR(TODOItem, "state", state, setState, 1, 2),
        ACCESSOR(TODOItem, "completionPercentage", completionPercentage, setCompletionPercentage, 50, 100),
        ACCESSOR(TODOItem, "frequency", frequency, setFrequency, QStringLiteral("Weekly"), QStringLiteral("Daily")),
        ACCESSOR(TODOItem, "parentID", parentID, setParentID, 11, 12),
        ACCESSOR(TODOItem, "childID", childID, setChildID, 13, 14),
        ACCESSOR(TODOItem, "effort", effort, setEffort, 4, 8),
        ACCESSOR(TODOItem, "edited_since", edited_since, setEdited_since, 1, 2),
        ACCESSOR(TODOItem, "timestamp", timestamp, setTimestamp, 1700000000, 1700000001),
        ACCESSOR(TODOItem, "edited_by", edited_by, setEdited_by, s1, s2),
        ACCESSOR(TODOItem, "owner", owner, setOwner, s1, s2),
        ACCESSOR(TODOItem, "ownerUsername", ownerUsername, setOwnerUsername, s1, s2),
        ACCESSOR(TODOItem, "creatorUsername", creatorUsername, setCreatorUsername, s1, s2),
        ACCESSOR(TODOItem, "editedByUsername", editedByUsername, setEditedByUsername, s1, s2),
        ACCESSOR(TODOItem, "editedByDevice", editedByDevice, setEditedByDevice, s1, s2),
        ACCESSOR(TODOItem, "resourceURI", resourceURI, setResourceURI, s1, s2),
        ACCESSOR(TODOItem, "requestedTime", requestedTime, setRequestedTime, qint64(6000000000LL), qint64(-3)),
        ACCESSOR(TODOItem, "highlight", highlight, setHighlight, 1, 5),
        ACCESSOR(TODOItem, "macResourceURL", macResourceURL, setMacResourceURL, s1, s2),
        ACCESSOR(TODOItem, "versionID", versionID, setVersionID, qint64(7000000000LL), qint64(9)),
        ACCESSOR(TODOItem, "cachedConversation", cachedConversation, setCachedConversation, s1, s2),
        ACCESSOR(TODOItem, "boxFolderID", boxFolderID, setBoxFolderID, s1, s2),
        ACCESSOR(TODOItem, "status", status, setStatus, s1, s2),
    };
}

QList<Accessor<TODOList>> listAccessors()
{
    const QString s1 = QStringLiteral("first"), s2 = QStringLiteral("second");
    return {
        ACCESSOR(TODOList, "id_", id_, setId_, 12, 13),
        ACCESSOR(TODOList, "name", name, setName, s1, s2),
        ACCESSOR(TODOList, "state", state, setState, 2, 3),
        ACCESSOR(TODOList, "index", index, setIndex, 300, -300),
        ACCESSOR(TODOList, "centerX", centerX, setCenterX, 12.5, 87.25),
        ACCESSOR(TODOList, "centerY", centerY, setCenterY, 33.75, 50.0),
        ACCESSOR(TODOList, "textFirstQuadrant", textFirstQuadrant, setTextFirstQuadrant, s1, s2),
        ACCESSOR(TODOList, "textSecondQuadrant", textSecondQuadrant, setTextSecondQuadrant, s1, s2),
        ACCESSOR(TODOList, "textThirdQuadrant", textThirdQuadrant, setTextThirdQuadrant, s1, s2),
        ACCESSOR(TODOList, "textFourthQuadrant", textFourthQuadrant, setTextFourthQuadrant, s1, s2),
        ACCESSOR(TODOList, "colorFirstQuadrant", colorFirstQuadrant, setColorFirstQuadrant, s1, s2),
        ACCESSOR(TODOList, "colorSecondQuadrant", colorSecondQuadrant, setColorSecondQuadrant, s1, s2),
        ACCESSOR(TODOList, "colorThirdQuadrant", colorThirdQuadrant, setColorThirdQuadrant, s1, s2),
        ACCESSOR(TODOList, "colorFourthQuadrant", colorFourthQuadrant, setColorFourthQuadrant, s1, s2),
        ACCESSOR(TODOList, "edited_since", edited_since, setEdited_since, 1, 2),
        ACCESSOR(TODOList, "timestamp", timestamp, setTimestamp, 1700000000, 1700000001),
        ACCESSOR(TODOList, "edited_by", edited_by, setEdited_by, s1, s2),
        ACCESSOR(TODOList, "password", password, setPassword, s1, s2),
        ACCESSOR(TODOList, "lastItemIndex", lastItemIndex, setLastItemIndex, 1000, 2000),
        ACCESSOR(TODOList, "owner", owner, setOwner, s1, s2),
        ACCESSOR(TODOList, "deleted", deleted, setDeleted, 1, 2),
        ACCESSOR(TODOList, "resourceURI", resourceURI, setResourceURI, s1, s2),
        ACCESSOR(TODOList, "requestedTime", requestedTime, setRequestedTime, qint64(6000000000LL), qint64(-3)),
        ACCESSOR(TODOList, "highlight", highlight, setHighlight, 1, 5),
        ACCESSOR(TODOList, "editedByDevice", editedByDevice, setEditedByDevice, s1, s2),
        ACCESSOR(TODOList, "ownersCountCache", ownersCountCache, setOwnersCountCache, 3, 4),
        ACCESSOR(TODOList, "editedByUsername", editedByUsername, setEditedByUsername, s1, s2),
        ACCESSOR(TODOList, "versionID", versionID, setVersionID, qint64(7000000000LL), qint64(9)),
        ACCESSOR(TODOList, "boxFolderID", boxFolderID, setBoxFolderID, s1, s2),
        ACCESSOR(TODOList, "cv_notes", cv_notes, setCv_notes, s1, s2),
    };
}

#undef ACCESSOR

// Item attributes that copyTo never carries over, whatever its flags.
const QStringList itemNotCopied = {
    QStringLiteral("edited_since"), QStringLiteral("highlight"),   QStringLiteral("status"),
    QStringLiteral("cachedConversation"), QStringLiteral("boxFolderID"),
};
const QStringList itemIDs = {
    QStringLiteral("serverID"), QStringLiteral("id_"), QStringLiteral("versionID"), QStringLiteral("resourceURI"),
};
const QStringList listNotCopied = {
    QStringLiteral("index"),         QStringLiteral("centerX"),  QStringLiteral("centerY"),
    QStringLiteral("edited_since"),  QStringLiteral("password"), QStringLiteral("lastItemIndex"),
    QStringLiteral("owner"),         QStringLiteral("deleted"),  QStringLiteral("highlight"),
    QStringLiteral("ownersCountCache"), QStringLiteral("boxFolderID"),
};
const QStringList listIDs = {QStringLiteral("id_"), QStringLiteral("versionID"), QStringLiteral("resourceURI")};

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

    void itemAccessors_data();
    void itemAccessors();
    void listAccessors_data();
    void listAccessors();
    void serverIDUsesItsThirtyTwoBitValue();
    void absentValuesReadAsZeroAndEmpty();

    void roundTripThroughStoreFile();

    void itemURI_data();
    void itemURI();
    void listURI_data();
    void listURI();
    void projectIDAndURIs();
    void nameForQuadrant_data();
    void nameForQuadrant();

    void copyItemAttributes_data();
    void copyItemAttributes();
    void copyItemDates_data();
    void copyItemDates();
    void copyItemProject_data();
    void copyItemProject();
    void copyList_data();
    void copyList();

    void findItemMatchesServerIDAndLocalID();
    void findItemSkipsDeleted_data();
    void findItemSkipsDeleted();
    void findItemSharedLocalIDAcrossLists();
    void findItemWithoutContext();
    void findList();

    void needToUpload_data();
    void needToUpload();
    void needToUploadDuringChangeNotification();

    void resetItemIDs();
    void resetListIDs();
    void pastedCopyDropsResourceURI();

    void descriptionRichText();
    void descriptionRichTextSameHtmlIsNoOp();

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
    QMap<QString, QString> expected;
    for (const QString &pair : attributes.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = pair.split(QLatin1Char(':'));
        expected.insert(parts[0], parts[1]);
    }
    QMap<QString, QString> actual;
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
    const RelationshipDescription &contains = list->relationships().constFirst();
    QCOMPARE(contains.name, QStringLiteral("contains"));
    QCOMPARE(contains.destination, QStringLiteral("TODOItem"));
    QCOMPARE(contains.inverse, QStringLiteral("list"));
    QVERIFY(contains.toMany);

    QCOMPARE(item->relationships().size(), 1);
    const RelationshipDescription &owner = item->relationships().constFirst();
    QCOMPARE(owner.name, QStringLiteral("list"));
    QCOMPARE(owner.destination, QStringLiteral("TODOList"));
    QCOMPARE(owner.inverse, QStringLiteral("contains"));
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

    const QStringList titles = {QStringLiteral("Critical and Immediate"), QStringLiteral("Critical but Not Immediate"),
                                QStringLiteral("Not Critical but Immediate"), QStringLiteral("Uncategorized")};
    const QStringList colors = {QStringLiteral("{0.866667, 0.952941, 0.678431, 1.000000}"),
                                QStringLiteral("{0.776471, 0.909804, 1.000000, 1.000000}"),
                                QStringLiteral("{0.478431, 0.756863, 0.423529, 1.000000}"),
                                QStringLiteral("{1.000000, 1.000000, 1.000000, 1.000000}")};
    for (int q = Quadrant::First; q <= Quadrant::Fourth; ++q) {
        QCOMPARE(Quadrant::defaultTitle(q), titles[q]);
        QCOMPARE(Quadrant::defaultColor(q), colors[q]);
    }
    QVERIFY(Quadrant::defaultTitle(4).isEmpty());
    QVERIFY(Quadrant::defaultColor(-1).isEmpty());

    const QStringList efforts = {QStringLiteral("No effort"),  QStringLiteral("1-2 hours"),
                                 QStringLiteral("Half a day"), QStringLiteral("One day"),
                                 QStringLiteral("Half a week"), QStringLiteral("One week"),
                                 QStringLiteral("Two weeks"),  QStringLiteral("One month"),
                                 QStringLiteral("Several months")};
    for (int code = 0; code < efforts.size(); ++code)
        QCOMPARE(Effort::text(code), efforts[code]);
    QVERIFY(Effort::text(9).isEmpty());
    QVERIFY(Effort::text(-1).isEmpty());
}

// --- Typed accessors -------------------------------------------------------------

void TestRecords::itemAccessors_data()
{
    QTest::addColumn<int>("position");
    const auto accessors = ::itemAccessors();
    for (int i = 0; i < accessors.size(); ++i)
        QTest::newRow(qPrintable(accessors[i].key)) << i;
}

// Each accessor reads and writes exactly its own attribute.
template <class Record>
static void checkAccessor(const Accessor<Record> &accessor, const QString &entity)
{
    ManagedObjectContext context(todoListModel());
    auto *record = context.insert<Record>(entity);
    context.processPendingChanges();

    accessor.set(record, 0);
    QCOMPARE(record->changedKeysForCurrentEvent(), QSet<QString>{accessor.key});
    QCOMPARE(accessor.get(record), accessor.sample(0));
    QCOMPARE(record->value(accessor.key), accessor.sample(0));

    context.processPendingChanges();
    record->setValue(accessor.key, accessor.sample(1));
    QCOMPARE(accessor.get(record), accessor.sample(1));
}

void TestRecords::itemAccessors()
{
    QFETCH(int, position);
    checkAccessor(::itemAccessors().at(position), TODOItem::EntityName);
}

void TestRecords::listAccessors_data()
{
    QTest::addColumn<int>("position");
    const auto accessors = ::listAccessors();
    for (int i = 0; i < accessors.size(); ++i)
        QTest::newRow(qPrintable(accessors[i].key)) << i;
}

void TestRecords::listAccessors()
{
    QFETCH(int, position);
    checkAccessor(::listAccessors().at(position), TODOList::EntityName);
}

void TestRecords::serverIDUsesItsThirtyTwoBitValue()
{
    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    const qint64 wide = (qint64(1) << 32) + 42;
    item->setServerID(wide);
    QCOMPARE(item->value(QStringLiteral("serverID")).toLongLong(), wide);
    QCOMPARE(item->serverID(), 42);
    QCOMPARE(item->getURI(), QStringLiteral("/api/v1/item/42/"));
}

void TestRecords::absentValuesReadAsZeroAndEmpty()
{
    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    auto *list = context.insert<TODOList>(TODOList::EntityName);

    for (const auto &accessor : ::itemAccessors()) {
        const QVariant value = accessor.get(item);
        QVERIFY2(!item->value(accessor.key).isValid(), qPrintable(accessor.key));
        if (value.typeId() == QMetaType::QString)
            QVERIFY2(value.toString().isEmpty(), qPrintable(accessor.key));
        else if (value.typeId() == QMetaType::QDateTime)
            QVERIFY2(!value.toDateTime().isValid(), qPrintable(accessor.key));
        else
            QVERIFY2(value.toDouble() == 0.0, qPrintable(accessor.key));
    }
    for (const auto &accessor : ::listAccessors()) {
        const QVariant value = accessor.get(list);
        if (value.typeId() == QMetaType::QString)
            QVERIFY2(value.toString().isEmpty(), qPrintable(accessor.key));
        else
            QVERIFY2(value.toDouble() == 0.0, qPrintable(accessor.key));
    }
    QVERIFY(!item->list());
    QVERIFY(list->contains().isEmpty());

    // An empty date clears.
    item->setDueDate(at(2024, 1, 1));
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

    {
        ManagedObjectContext context(model);
        QString error;
        QVERIFY2(context.create(path, &error), qPrintable(error));

        for (int e = 0; e < model.entities().size(); ++e) {
            fillAll(context.insert(model.entities()[e].name()), e * 100);
            context.insert(model.entities()[e].name()); // a record with nothing set
        }
        auto *list = static_cast<TODOList *>(context.objects(TODOList::EntityName).constFirst());
        auto *item = static_cast<TODOItem *>(context.objects(TODOItem::EntityName).constFirst());
        item->setList(list);
        QVERIFY2(context.save(&error), qPrintable(error));
    }

    ManagedObjectContext reopened(model);
    QString error;
    QVERIFY2(reopened.open(path, &error), qPrintable(error));

    for (int e = 0; e < model.entities().size(); ++e) {
        const EntityDescription &entity = model.entities()[e];
        const QList<ManagedObject *> records = reopened.objects(entity.name());
        QCOMPARE(records.size(), 2);
        const ManagedObject *filled = nullptr;
        const ManagedObject *empty = nullptr;
        for (const ManagedObject *record : records)
            (record->value(entity.attributes().constFirst().name).isValid() ? filled : empty) = record;
        QVERIFY2(filled && empty, qPrintable(entity.name()));

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

    const QList<ManagedObject *> lists = reopened.objects(TODOList::EntityName);
    const QList<ManagedObject *> items = reopened.objects(TODOItem::EntityName);
    TODOList *list = nullptr;
    TODOItem *item = nullptr;
    for (ManagedObject *record : lists) {
        if (record->value(QStringLiteral("name")).isValid())
            list = dynamic_cast<TODOList *>(record);
    }
    for (ManagedObject *record : items) {
        if (record->value(QStringLiteral("name")).isValid())
            item = dynamic_cast<TODOItem *>(record);
    }
    QVERIFY(list && item);
    QCOMPARE(item->list(), list);
    QCOMPARE(list->contains(), QList<TODOItem *>{item});

    // The typed readers see the reloaded values.
    const auto offset = [&](const QString &name) {
        for (int e = 0; e < model.entities().size(); ++e) {
            if (model.entities()[e].name() == name)
                return e * 100;
        }
        return -1;
    };
    const int itemOffset = offset(TODOItem::EntityName);
    const int listOffset = offset(TODOList::EntityName);
    QCOMPARE(item->name(), sampleValue(AttributeType::Text, TODOItem::Attr_name + itemOffset).toString());
    QCOMPARE(item->index(), sampleValue(AttributeType::Int32, TODOItem::Attr_index + itemOffset).toInt());
    QCOMPARE(item->serverID(), int(sampleValue(AttributeType::Int64, TODOItem::Attr_serverID + itemOffset).toLongLong()));
    QCOMPARE(item->dueDate(), sampleValue(AttributeType::Date, TODOItem::Attr_dueDate + itemOffset).toDateTime());
    QVERIFY(item->allDay());
    QCOMPARE(list->centerX(), sampleValue(AttributeType::Double, TODOList::Attr_centerX + listOffset).toDouble());
    QCOMPARE(list->versionID(), sampleValue(AttributeType::Int64, TODOList::Attr_versionID + listOffset).toLongLong());
}

// --- Paths and lookups ---------------------------------------------------------

void TestRecords::itemURI_data()
{
    QTest::addColumn<QString>("resourceURI");
    QTest::addColumn<qint64>("serverID");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing") << QString() << qint64(0) << QString();
    QTest::newRow("empty path, no server id") << QString(QLatin1String("")) << qint64(0) << QString();
    QTest::newRow("server id") << QString() << qint64(42) << QStringLiteral("/api/v1/item/42/");
    QTest::newRow("path wins") << QStringLiteral("/api/v1/item/7/") << qint64(42) << QStringLiteral("/api/v1/item/7/");
    QTest::newRow("path without server id") << QStringLiteral("/api/v1/item/9/") << qint64(0)
                                            << QStringLiteral("/api/v1/item/9/");
    QTest::newRow("wide server id") << QString() << ((qint64(1) << 32) + 5) << QStringLiteral("/api/v1/item/5/");
}

void TestRecords::itemURI()
{
    QFETCH(QString, resourceURI);
    QFETCH(qint64, serverID);
    QFETCH(QString, expected);

    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    item->setResourceURI(resourceURI);
    item->setServerID(serverID);
    QCOMPARE(item->getURI(), expected);
}

void TestRecords::listURI_data()
{
    QTest::addColumn<QString>("resourceURI");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing") << QString() << 0 << QString();
    QTest::newRow("id") << QString() << 12 << QStringLiteral("/api/v1/project/12/");
    QTest::newRow("path wins") << QStringLiteral("/api/v1/project/3/") << 12 << QStringLiteral("/api/v1/project/3/");
}

void TestRecords::listURI()
{
    QFETCH(QString, resourceURI);
    QFETCH(int, id);
    QFETCH(QString, expected);

    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    list->setResourceURI(resourceURI);
    list->setId_(id);
    QCOMPARE(list->getURI(), expected);
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

    // Without a list, the first path names the project.
    auto *byPath = context.insert<TODOItem>(TODOItem::EntityName);
    byPath->setProjectURIs(QStringList{QStringLiteral("/api/v1/project/99/"), QStringLiteral("/api/v1/project/5/")});
    QCOMPARE(byPath->getProjectID(), std::optional<qint64>(99));
    QCOMPARE(byPath->getProjectURIs().size(), 2);

    // The list takes precedence over the paths.
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

void TestRecords::nameForQuadrant_data()
{
    QTest::addColumn<int>("quadrant");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << "one";
    QTest::newRow("1") << 1 << "two";
    QTest::newRow("2") << 2 << "three";
    QTest::newRow("3") << 3 << "four";
    QTest::newRow("4") << 4 << "";
    QTest::newRow("-1") << -1 << "";
}

void TestRecords::nameForQuadrant()
{
    QFETCH(int, quadrant);
    QFETCH(QString, expected);

    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    list->setTextFirstQuadrant(QStringLiteral("one"));
    list->setTextSecondQuadrant(QStringLiteral("two"));
    list->setTextThirdQuadrant(QStringLiteral("three"));
    list->setTextFourthQuadrant(QStringLiteral("four"));
    QCOMPARE(list->nameForQuadrant(quadrant), expected);
}

// --- Copying --------------------------------------------------------------------

void TestRecords::copyItemAttributes_data()
{
    QTest::addColumn<int>("overload");  // 0 copyTo(t), 1 copyTo(t, false), 2 copyTo(t, false, false), 3 copyTo(t, true, false)
    QTest::addColumn<bool>("idsCopied");
    QTest::newRow("copyTo") << 0 << true;
    QTest::newRow("copyTo andAddProject") << 1 << true;
    QTest::newRow("no ids") << 2 << false;
    QTest::newRow("ids") << 3 << true;
}

void TestRecords::copyItemAttributes()
{
    QFETCH(int, overload);
    QFETCH(bool, idsCopied);

    ManagedObjectContext context(todoListModel());
    auto *source = context.insert<TODOItem>(TODOItem::EntityName);
    auto *target = context.insert<TODOItem>(TODOItem::EntityName);
    fillAll(source, 0);
    fillAll(target, 1000);
    // Notes as stored: HTML and a plain text that the HTML does not produce.
    source->setValue(QStringLiteral("descriptionRichText"), QStringLiteral("<p>source <i>notes</i></p>"));
    source->setValue(QStringLiteral("descriptionText"), QStringLiteral("typed by hand"));

    QHash<QString, QVariant> before;
    for (const auto &attribute : target->entity().attributes())
        before.insert(attribute.name, target->value(attribute.name));

    switch (overload) {
    case 0:
        source->copyTo(target);
        break;
    case 1:
        source->copyTo(target, false);
        break;
    case 2:
        source->copyTo(target, false, false);
        break;
    default:
        source->copyTo(target, true, false);
        break;
    }

    for (const auto &attribute : target->entity().attributes()) {
        const QString &key = attribute.name;
        const bool copied = !itemNotCopied.contains(key) && (idsCopied || !itemIDs.contains(key));
        const QVariant expected = copied ? source->value(key) : before.value(key);
        QVERIFY2(target->value(key) == expected, qPrintable(key));
    }
    QCOMPARE(target->descriptionText(), QStringLiteral("typed by hand"));
    // Neither record has a project, so none is added.
    QVERIFY(!target->list());
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
    const QDateTime old = at(2030, 1, 1, 12, 0);
    for (TODOItem::Attribute attribute : {TODOItem::Attr_dueDate, TODOItem::Attr_startDate, TODOItem::Attr_creationDate,
                                          TODOItem::Attr_completionDate, TODOItem::Attr_untilDate}) {
        const QString key = todoListModel().entity(TODOItem::EntityName)->attributes()[attribute].name;
        source->setValue(key, date);
        target->setValue(key, old);
    }

    source->copyTo(target);

    QCOMPARE(target->dueDate(), copied ? date : QDateTime());
    QCOMPARE(target->startDate(), copied ? date : QDateTime());
    QCOMPARE(target->creationDate(), copied ? date : QDateTime());
    QCOMPARE(target->completionDate(), copied ? date : QDateTime());
    QCOMPARE(target->untilDate(), copied ? date : QDateTime());
}

void TestRecords::copyItemProject_data()
{
    // Lists: "A" has id_ 12, "B" id_ 13; "none" is no list.
    QTest::addColumn<QString>("sourceList");
    QTest::addColumn<QStringList>("sourceURIs");
    QTest::addColumn<QString>("targetList");
    QTest::addColumn<bool>("addProject");
    QTest::addColumn<QString>("expected");

    QTest::newRow("moves to the source's list") << "A" << QStringList() << "B" << true << "A";
    QTest::newRow("joins from no list") << "A" << QStringList() << "none" << true << "A";
    QTest::newRow("without addProject stays") << "A" << QStringList() << "B" << false << "B";
    QTest::newRow("same project stays") << "B" << QStringList() << "B" << true << "B";
    QTest::newRow("source without project stays") << "none" << QStringList() << "B" << true << "B";
    QTest::newRow("project by path") << "none" << QStringList{QStringLiteral("/api/v1/project/12/")} << "B" << true
                                     << "A";
    QTest::newRow("unknown project leaves the list") << "none" << QStringList{QStringLiteral("/api/v1/project/99/")}
                                                     << "B" << true << "none";
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

void TestRecords::copyList_data()
{
    QTest::addColumn<bool>("copyIDs");
    QTest::addColumn<bool>("defaultOverload");
    QTest::newRow("copyTo") << true << true;
    QTest::newRow("with ids") << true << false;
    QTest::newRow("without ids") << false << false;
}

void TestRecords::copyList()
{
    QFETCH(bool, copyIDs);
    QFETCH(bool, defaultOverload);

    ManagedObjectContext context(todoListModel());
    auto *source = context.insert<TODOList>(TODOList::EntityName);
    auto *target = context.insert<TODOList>(TODOList::EntityName);
    fillAll(source, 0);
    fillAll(target, 500);
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    item->setList(source);

    QHash<QString, QVariant> before;
    for (const auto &attribute : target->entity().attributes())
        before.insert(attribute.name, target->value(attribute.name));

    if (defaultOverload)
        source->copyTo(target);
    else
        source->copyTo(target, copyIDs);

    for (const auto &attribute : target->entity().attributes()) {
        const QString &key = attribute.name;
        const bool copied = !listNotCopied.contains(key) && (copyIDs || !listIDs.contains(key));
        QVERIFY2(target->value(key) == (copied ? source->value(key) : before.value(key)), qPrintable(key));
    }
    QVERIFY(target->contains().isEmpty());
    QCOMPARE(source->contains(), QList<TODOItem *>{item});
}

// --- Lookups -------------------------------------------------------------------

void TestRecords::findItemMatchesServerIDAndLocalID()
{
    ManagedObjectContext context(todoListModel());
    auto *byServer = context.insert<TODOItem>(TODOItem::EntityName);
    byServer->setServerID(5);
    byServer->setId_(900);
    auto *byLocal = context.insert<TODOItem>(TODOItem::EntityName);
    byLocal->setId_(5);
    auto *other = context.insert<TODOItem>(TODOItem::EntityName);
    other->setId_(6);

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
}

void TestRecords::findItemSkipsDeleted_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("byServerID");
    QTest::addColumn<bool>("found");
    for (int state : {0, 1, 2, 3}) {
        QTest::addRow("state %d, server id", state) << state << true << (state != 3);
        QTest::addRow("state %d, local id", state) << state << false << (state != 3);
    }
}

void TestRecords::findItemSkipsDeleted()
{
    QFETCH(int, state);
    QFETCH(bool, byServerID);
    QFETCH(bool, found);

    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    if (byServerID)
        item->setServerID(31);
    else
        item->setId_(31);
    item->setState(state);

    ModelLog log;
    QCOMPARE(TODOItem::findWithID(31, &context), found ? item : nullptr);
    QVERIFY(log.lines().isEmpty());
}

void TestRecords::findItemSharedLocalIDAcrossLists()
{
    ManagedObjectContext context(todoListModel());
    auto *first = context.insert<TODOList>(TODOList::EntityName);
    auto *second = context.insert<TODOList>(TODOList::EntityName);
    auto *a = context.insert<TODOItem>(TODOItem::EntityName);
    a->setList(first);
    a->setId_(4711);
    auto *b = context.insert<TODOItem>(TODOItem::EntityName);
    b->setList(second);
    b->setId_(4711);

    ModelLog log;
    QCOMPARE(TODOItem::findWithID(4711, &context), a);
    QCOMPARE(log.lines(), QStringList{QStringLiteral("Duplicated item with id: 4711")});
}

void TestRecords::findItemWithoutContext()
{
    ModelLog log;
    QCOMPARE(TODOItem::findWithID(1, nullptr), nullptr);
    QCOMPARE(TODOList::findWithID(1, nullptr), nullptr);
    QCOMPARE(log.lines().size(), 2);
    for (const QString &line : log.lines())
        QVERIFY2(line.startsWith(QLatin1String("an error occurred: ")), qPrintable(line));
}

void TestRecords::findList()
{
    ManagedObjectContext context(todoListModel());
    auto *deleted = context.insert<TODOList>(TODOList::EntityName);
    deleted->setId_(12);
    deleted->setState(RecordState::Deleted);
    auto *trashed = context.insert<TODOList>(TODOList::EntityName);
    trashed->setId_(12);
    trashed->setState(RecordState::Trashed);

    {
        ModelLog log;
        QCOMPARE(TODOList::findWithID(12, &context), trashed);
        QCOMPARE(TODOList::findWithID(13, &context), nullptr);
        QVERIFY(log.lines().isEmpty());
    }

    auto *copy = context.insert<TODOList>(TODOList::EntityName);
    copy->setId_(12);
    {
        ModelLog log;
        QCOMPARE(TODOList::findWithID(12, &context), trashed);
        QCOMPARE(log.lines(), QStringList{QStringLiteral("12 is replicated. There are 2 copies")});
    }

    // Lists match by id_ only.
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    item->setId_(77);
    QCOMPARE(TODOList::findWithID(77, &context), nullptr);
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
        for (const QString &key : keys) {
            QTest::addRow("%s %s", qPrintable(entity), qPrintable(key))
                << entity << key << !untracked.value(entity).contains(key);
        }
    }
}

// Changes one attribute (or relationship) of the record to a new value.
static void changeKey(ManagedObjectContext &context, ManagedObject *record, const QString &key)
{
    if (key == QLatin1String("list")) {
        static_cast<TODOItem *>(record)->setList(context.insert<TODOList>(TODOList::EntityName));
        return;
    }
    if (key == QLatin1String("contains")) {
        context.insert<TODOItem>(TODOItem::EntityName)->setList(static_cast<TODOList *>(record));
        return;
    }
    const int index = record->entity().attributeIndex(key);
    QVERIFY2(index >= 0, qPrintable(key));
    record->setValue(key, sampleValue(record->entity().attributes()[index].type, 3));
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

    changeKey(context, record, key);
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

    ScriptedDraws draws{500, 7, 2147483640u + 501u};
    item->resetIDs();

    QCOMPARE(draws.remaining(), size_t(0));
    QCOMPARE(item->id_(), 501);
    for (TODOItem::Attribute attribute : {TODOItem::Attr_serverID, TODOItem::Attr_versionID, TODOItem::Attr_boxFolderID,
                                          TODOItem::Attr_resourceURI})
        QVERIFY(!item->hasValue(attribute));
    QVERIFY(item->getURI().isEmpty());
    QCOMPARE(item->name(), QStringLiteral("kept"));
    QCOMPARE(item->list(), list);
}

void TestRecords::resetListIDs()
{
    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    list->setId_(12);
    list->setVersionID(8);
    list->setBoxFolderID(QStringLiteral("box"));
    list->setResourceURI(QStringLiteral("/api/v1/project/12/"));
    list->setName(QStringLiteral("kept"));

    list->resetIDs();

    QCOMPARE(list->id_(), 0);
    QVERIFY(list->hasValue(TODOList::Attr_id_));
    for (TODOList::Attribute attribute : {TODOList::Attr_versionID, TODOList::Attr_boxFolderID, TODOList::Attr_resourceURI})
        QVERIFY(!list->hasValue(attribute));
    QVERIFY(list->getURI().isEmpty());
    QCOMPARE(list->name(), QStringLiteral("kept"));
}

// A pasted copy takes every attribute of its source, then fresh identifiers:
// it must not go to the server under the source's path.
void TestRecords::pastedCopyDropsResourceURI()
{
    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    list->setId_(12);
    list->setResourceURI(QStringLiteral("/api/v1/project/12/"));
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
}

// --- Notes ------------------------------------------------------------------------

void TestRecords::descriptionRichText()
{
    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);

    const QString html = QStringLiteral("<p>Call <b>Anna</b> &amp; Bob</p>");
    item->setDescriptionRichText(html);
    QCOMPARE(item->descriptionRichText(), html);
    QCOMPARE(item->descriptionText(), QStringLiteral("Call Anna & Bob"));

    item->setDescriptionRichText(QString());
    QVERIFY(item->descriptionRichText().isEmpty());
    QVERIFY(item->descriptionText().isEmpty());
}

void TestRecords::descriptionRichTextSameHtmlIsNoOp()
{
    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    const QString html = QStringLiteral("<p>same</p>");
    item->setDescriptionRichText(html);
    item->setDescriptionText(QStringLiteral("edited by hand"));
    context.processPendingChanges();

    item->setDescriptionRichText(QString(html));
    QCOMPARE(item->descriptionText(), QStringLiteral("edited by hand"));
    QVERIFY(item->changedKeysForCurrentEvent().isEmpty());

    item->setDescriptionRichText(QStringLiteral("<p>other</p>"));
    QCOMPARE(item->descriptionText(), QStringLiteral("other"));
    QCOMPARE(item->changedKeysForCurrentEvent(),
             (QSet<QString>{QStringLiteral("descriptionRichText"), QStringLiteral("descriptionText")}));
}

// --- Date order ------------------------------------------------------------------

void TestRecords::compareByDates_data()
{
    QTest::addColumn<QDateTime>("dueA");
    QTest::addColumn<QDateTime>("startA");
    QTest::addColumn<bool>("allDayA");
    QTest::addColumn<int>("percentA");
    QTest::addColumn<QDateTime>("dueB");
    QTest::addColumn<QDateTime>("startB");
    QTest::addColumn<bool>("allDayB");
    QTest::addColumn<int>("percentB");
    QTest::addColumn<int>("expected");

    const QDateTime none;
    const QDateTime may10 = at(2024, 5, 10, 9, 0);
    const QDateTime may10Evening = at(2024, 5, 10, 18, 0);
    const QDateTime may11 = at(2024, 5, 11, 9, 0);

    QTest::newRow("earlier due first") << may10 << may11 << false << 90 << may11 << may10 << false << 0 << -1;
    QTest::newRow("later due last") << may11 << none << false << 0 << may10 << none << false << 0 << 1;
    QTest::newRow("dated before undated") << may11 << none << false << 0 << none << may10 << false << 0 << -1;
    QTest::newRow("same due, start decides") << may10 << may10 << false << 90 << may10 << may11 << false << 0 << -1;
    QTest::newRow("no due, start decides") << none << may11 << false << 0 << none << may10 << false << 90 << 1;
    QTest::newRow("started before not started") << none << may11 << false << 50 << none << none << false << 0 << -1;
    QTest::newRow("percentage decides") << may10 << may10 << false << 10 << may10 << may10 << false << 50 << -1;
    QTest::newRow("higher percentage last") << none << none << false << 60 << none << none << false << 20 << 1;
    QTest::newRow("all the same") << may10 << none << false << 20 << may10 << none << false << 20 << 0;
    QTest::newRow("times count") << may10Evening << none << false << 0 << may10 << none << false << 90 << 1;
    QTest::newRow("all-day ignores the time") << may10Evening << none << true << 0 << may10 << none << true << 90
                                              << -1;
}

void TestRecords::compareByDates()
{
    QFETCH(QDateTime, dueA);
    QFETCH(QDateTime, startA);
    QFETCH(bool, allDayA);
    QFETCH(int, percentA);
    QFETCH(QDateTime, dueB);
    QFETCH(QDateTime, startB);
    QFETCH(bool, allDayB);
    QFETCH(int, percentB);
    QFETCH(int, expected);

    ManagedObjectContext context(todoListModel());
    auto *a = context.insert<TODOItem>(TODOItem::EntityName);
    a->setDueDate(dueA);
    a->setStartDate(startA);
    a->setAllDay(allDayA);
    a->setCompletionPercentage(percentA);
    auto *b = context.insert<TODOItem>(TODOItem::EntityName);
    b->setDueDate(dueB);
    b->setStartDate(startB);
    b->setAllDay(allDayB);
    b->setCompletionPercentage(percentB);

    QCOMPARE(a->compareByDates(b), expected);
    QCOMPARE(b->compareByDates(a), -expected);
}

// --- Resource paths ---------------------------------------------------------

void TestRecords::idFromURI_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("path");
    QTest::addColumn<std::optional<qint64>>("expected");

    const std::optional<qint64> none;
    QTest::newRow("item path") << "C" << "/api/v1/item/123/" << std::optional<qint64>(123);
    QTest::newRow("no trailing slash") << "C" << "/api/v1/item/123" << std::optional<qint64>(123);
    QTest::newRow("project path") << "C" << "/api/v1/project/12/" << std::optional<qint64>(12);
    QTest::newRow("doubled slashes") << "C" << "/api/v1/item/8//" << std::optional<qint64>(8);
    QTest::newRow("bare number") << "C" << "42" << std::optional<qint64>(42);
    QTest::newRow("wide number") << "C" << "/api/v1/item/6000000000/" << std::optional<qint64>(6000000000LL);
    QTest::newRow("negative") << "C" << "/x/-5/" << std::optional<qint64>(-5);
    QTest::newRow("only slashes") << "C" << "///" << none;
    QTest::newRow("empty") << "C" << "" << none;
    QTest::newRow("null") << "C" << QString() << none;
    QTest::newRow("text") << "C" << "abc" << none;
    QTest::newRow("last component not a number") << "C" << "/api/v1/item/123/abc/" << none;
    QTest::newRow("number with suffix") << "C" << "/api/v1/item/12x/" << none;
    QTest::newRow("fraction") << "C" << "/api/v1/item/12.5/" << none;
    QTest::newRow("German grouping") << "de_DE" << "/api/v1/item/1.234/" << std::optional<qint64>(1234);
    QTest::newRow("English grouping") << "en_US" << "/api/v1/item/1,234/" << std::optional<qint64>(1234);
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
