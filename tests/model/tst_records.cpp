// The list and item records: the store round trip, paths and lookups, the
// copy rules, change marks, identifier reset, notes and the date order.

#include "ManagedObjectContext.h"
#include "ResourcePath.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TestSupport.h"
#include "TodoModel.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

namespace {

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

// Gives every attribute of a record a distinct value; dates lie well after the epoch.
void fillAll(ManagedObject *record, int offset)
{
    const auto &attributes = record->entity().attributes();
    for (int i = 0; i < attributes.size(); ++i)
        record->setValue(attributes[i].name, sampleValue(attributes[i].type, i + offset));
}

// Attributes that copyTo never carries over, whatever its flags, and the identifiers.
const QStringList itemNotCopied = {"edited_since", "highlight", "status", "cachedConversation", "boxFolderID"};
const QStringList itemIDs = {"serverID", "id_", "versionID", "resourceURI"};
const QStringList listNotCopied = {"index",   "centerX", "centerY",   "edited_since",     "password",   "lastItemIndex",
                                   "owner",   "deleted", "highlight", "ownersCountCache", "boxFolderID"};
const QStringList listIDs = {"id_", "versionID", "resourceURI"};

} // namespace

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::system()); }

    void roundTripThroughStoreFile();
    void uri_data();
    void uri();
    void idFromURI_data();
    void idFromURI();
    void findItem_data();
    void findItem();

    void copyAttributes_data();
    void copyAttributes();
    void copyItemDates_data();
    void copyItemDates();
    void copyItemProject_data();
    void copyItemProject();

    void needToUpload_data();
    void needToUpload();
    void resetIDs();
    void descriptionRichText();
    void compareByDates_data();
    void compareByDates();
};

void TestRecords::roundTripThroughStoreFile()
{
    QTemporaryDir dir;
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
    QCOMPARE(list->contains(), QList<TODOItem *>{item});
}

void TestRecords::uri_data()
{
    QTest::addColumn<bool>("item");
    QTest::addColumn<QString>("resourceURI");
    QTest::addColumn<qint64>("id"); // serverID of an item, id_ of a list
    QTest::addColumn<QString>("expected");

    QTest::newRow("item: nothing") << true << QString() << qint64(0) << QString();
    QTest::newRow("item: server id") << true << QString() << qint64(42) << "/api/v1/item/42/";
    QTest::newRow("item: path wins") << true << "/api/v1/item/7/" << qint64(42) << "/api/v1/item/7/";
    QTest::newRow("item: wide server id") << true << QString() << ((qint64(1) << 32) + 5) << "/api/v1/item/5/";
    QTest::newRow("list: nothing") << false << QString() << qint64(0) << QString();
    QTest::newRow("list: id") << false << QString() << qint64(12) << "/api/v1/project/12/";
    QTest::newRow("list: path wins") << false << "/api/v1/project/3/" << qint64(12) << "/api/v1/project/3/";
}

void TestRecords::uri()
{
    QFETCH(bool, item);
    QFETCH(QString, resourceURI);
    QFETCH(qint64, id);
    QFETCH(QString, expected);

    ManagedObjectContext context(todoListModel());
    ManagedObject *record = context.insert(item ? TODOItem::EntityName : TODOList::EntityName);
    record->setValue(QStringLiteral("resourceURI"), resourceURI);
    record->setValue(item ? QStringLiteral("serverID") : QStringLiteral("id_"), item ? QVariant(qlonglong(id)) : QVariant(int(id)));
    QCOMPARE(item ? static_cast<TODOItem *>(record)->getURI() : static_cast<TODOList *>(record)->getURI(), expected);
}

void TestRecords::idFromURI_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("path");
    QTest::addColumn<std::optional<qint64>>("expected");

    using Id = std::optional<qint64>;
    QTest::newRow("item path") << "C" << "/api/v1/item/123/" << Id(123);
    QTest::newRow("no trailing slash") << "C" << "/api/v1/item/123" << Id(123);
    QTest::newRow("doubled slashes") << "C" << "/api/v1/item/8//" << Id(8);
    QTest::newRow("wide number") << "C" << "/api/v1/item/6000000000/" << Id(6000000000LL);
    QTest::newRow("negative") << "C" << "/x/-5/" << Id(-5);
    QTest::newRow("only slashes") << "C" << "///" << Id();
    QTest::newRow("empty") << "C" << "" << Id();
    QTest::newRow("last component not a number") << "C" << "/api/v1/item/123/abc/" << Id();
    QTest::newRow("fraction") << "C" << "/api/v1/item/12.5/" << Id();
    QTest::newRow("German grouping") << "de_DE" << "/api/v1/item/1.234/" << Id(1234);
}

void TestRecords::idFromURI()
{
    QFETCH(QString, locale);
    QFETCH(QString, path);
    QFETCH(std::optional<qint64>, expected);

    QLocale::setDefault(QLocale(locale));
    QCOMPARE(ResourcePath::idFromURI(path), expected);
}

void TestRecords::findItem_data()
{
    QTest::addColumn<qint64>("serverID"); // of the one item; its id_ is 7
    QTest::addColumn<int>("state");
    QTest::addColumn<qint64>("number");
    QTest::addColumn<bool>("found");

    const qint64 high = (qint64(1) << 31) + 5;
    QTest::newRow("server id") << qint64(900) << 0 << qint64(900) << true;
    QTest::newRow("local id") << qint64(900) << 0 << qint64(7) << true;
    QTest::newRow("trashed") << qint64(900) << 2 << qint64(900) << true;
    QTest::newRow("deleted") << qint64(900) << 3 << qint64(900) << false;
    QTest::newRow("deleted, local id") << qint64(900) << 3 << qint64(7) << false;
    QTest::newRow("another number") << qint64(900) << 0 << qint64(8) << false;
    QTest::newRow("server id from 2^31, by its path") << high << 0 << *ResourcePath::idFromURI(ResourcePath::itemPath(high))
                                                      << true;
    QTest::newRow("wide server id, by its 32 bits") << (qint64(1) << 32) + 900 << 0 << qint64(900) << true;
}

void TestRecords::findItem()
{
    QFETCH(qint64, serverID);
    QFETCH(int, state);
    QFETCH(qint64, number);
    QFETCH(bool, found);

    ManagedObjectContext context(todoListModel());
    context.insert<TODOItem>(TODOItem::EntityName)->setId_(8);
    context.objects(TODOItem::EntityName).constFirst()->setValue(QStringLiteral("state"), int(RecordState::Deleted));
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    item->setId_(7);
    item->setServerID(serverID);
    item->setState(state);
    QCOMPARE(TODOItem::findWithID(number, &context), found ? item : nullptr);
}

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
    } else {
        auto *from = static_cast<TODOList *>(source);
        auto *to = static_cast<TODOList *>(target);
        auto *child = context.insert<TODOItem>(TODOItem::EntityName);
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
    QTest::newRow("before epoch") << epoch.addDays(-3) << false;
    QTest::newRow("under a second after") << epoch.addMSecs(999) << false;
    QTest::newRow("one second after") << epoch.addSecs(1) << true;
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
    QTest::newRow("source without project stays") << "none" << none << "B" << true << "B";
    QTest::newRow("project by path") << "none" << QStringList{"/api/v1/project/12/"} << "B" << true << "A";
    QTest::newRow("unknown project leaves the list") << "none" << QStringList{"/api/v1/project/99/"} << "B" << true
                                                     << "none";
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
            QTest::addRow("%s %s", qPrintable(entity), qPrintable(key)) << entity << key << !untracked.value(entity).contains(key);
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
        record->setValue(key, sampleValue(record->entity().attributes()[index].type, 3));
    }
    QVERIFY2(record->changedKeysForCurrentEvent().contains(key), qPrintable(key));
    QCOMPARE(ask(), expected);

    // A tracked change next to an untracked one still counts.
    record->setValue(QStringLiteral("name"), QStringLiteral("renamed"));
    QVERIFY(ask());
}

// A reset record goes to the server as a new one: every identifier the server
// knows it by is dropped, its path too (or the server would take a pasted
// copy for its source); the rest stays.
void TestRecords::resetIDs()
{
    ManagedObjectContext context(todoListModel());
    auto *list = context.insert<TODOList>(TODOList::EntityName);
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    fillAll(list, 0);
    fillAll(item, 0);
    item->setList(list);
    item->setId_(7);
    auto *sibling = context.insert<TODOItem>(TODOItem::EntityName);
    sibling->setList(list);
    sibling->setId_(500);
    // Names the first attribute besides id_ that is neither cleared nor as before.
    const auto broken = [](ManagedObject *record) {
        QHash<QString, QVariant> before;
        for (const auto &attribute : record->entity().attributes())
            before.insert(attribute.name, record->value(attribute.name));
        return [record, before]() -> QString {
            const QStringList cleared = {"serverID", "versionID", "boxFolderID", "resourceURI"};
            for (auto it = before.cbegin(); it != before.cend(); ++it)
                if (it.key() != QLatin1String("id_")
                    && record->value(it.key()) != (cleared.contains(it.key()) ? QVariant() : it.value()))
                    return it.key();
            return {};
        };
    };
    const auto listBroken = broken(list), itemBroken = broken(item);

    // Draws already taken in the list, the item's own id and one out of range are skipped.
    ScriptedDraws draws({500, 7, 2147483640u + 501u});
    item->resetIDs();
    list->resetIDs();

    QCOMPARE(draws.remaining(), 0);
    QCOMPARE(item->id_(), 501);
    QCOMPARE(list->id_(), 0); // zeroed, not drawn
    QCOMPARE(itemBroken(), QString());
    QCOMPARE(listBroken(), QString());
    QVERIFY(item->getURI().isEmpty());
    QVERIFY(list->getURI().isEmpty());
    QCOMPARE(item->list(), list);
}

void TestRecords::descriptionRichText()
{
    ManagedObjectContext context(todoListModel());
    auto *item = context.insert<TODOItem>(TODOItem::EntityName);
    item->setDescriptionRichText(QStringLiteral("<p>Call <b>Anna</b> &amp; Bob</p>"));
    QCOMPARE(item->descriptionText(), QStringLiteral("Call Anna & Bob"));

    // The same HTML again keeps a hand-edited plain text.
    item->setDescriptionText(QStringLiteral("edited by hand"));
    item->setDescriptionRichText(QStringLiteral("<p>Call <b>Anna</b> &amp; Bob</p>"));
    QCOMPARE(item->descriptionText(), QStringLiteral("edited by hand"));
    item->setDescriptionRichText(QString());
    QVERIFY(item->descriptionText().isEmpty());
}

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

    const QDateTime none, may10 = at(2024, 5, 10, 9), may10Evening = at(2024, 5, 10, 18), may11 = at(2024, 5, 11, 9);
    using D = DateFields;
    QTest::newRow("earlier due first") << D{may10, may11, false, 90} << D{may11, may10, false, 0} << -1;
    QTest::newRow("dated before undated") << D{may11, none, false, 0} << D{none, may10, false, 0} << -1;
    QTest::newRow("same due, start decides") << D{may10, may10, false, 90} << D{may10, may11, false, 0} << -1;
    QTest::newRow("started before not started") << D{none, may11, false, 50} << D{none, none, false, 0} << -1;
    QTest::newRow("then the percentage") << D{none, none, false, 60} << D{none, none, false, 20} << 1;
    QTest::newRow("all the same") << D{may10, none, false, 20} << D{may10, none, false, 20} << 0;
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

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
