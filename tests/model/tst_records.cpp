// The list and item records: the store round trip, paths and lookups, the
// copy rules, change marks, identifier reset and notes.

#include "ManagedObjectContext.h"
#include "ResourcePath.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TestSupport.h"
#include "TodoModel.h"

#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

class TestRecords : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::system()); }
    void roundTripThroughStoreFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(TodoModel::storeFileName());
        const ObjectModel &model = todoListModel();
        QString error;
        {
            ManagedObjectContext context(model);
            QVERIFY2(context.create(path, &error), qPrintable(error));
            for (int e = 0; e < model.entities().size(); ++e) {
                fillAttributes(context.insert(model.entities()[e].name()), e * 100);
                context.insert(model.entities()[e].name()); // a record with nothing set
            }
            static_cast<TODOItem *>(context.objects(TODOItem::EntityName).constFirst())
                ->setList(static_cast<TODOList *>(context.objects(TODOList::EntityName).constFirst()));
            QVERIFY2(context.save(&error), qPrintable(error));
        }

        ManagedObjectContext reopened(model);
        QVERIFY2(reopened.open(path, &error), qPrintable(error));
        QHash<QString, ManagedObject *> filled;
        for (int e = 0; e < model.entities().size(); ++e) {
            const EntityDescription &entity = model.entities()[e];
            QList<ManagedObject *> records = reopened.objects(entity.name());
            QCOMPARE(records.size(), 2);
            if (!records.first()->value(entity.attributes().constFirst().name).isValid())
                records.swapItemsAt(0, 1); // the filled one first
            filled.insert(entity.name(), records[0]);
            for (int i = 0; i < entity.attributes().size(); ++i) {
                const AttributeDescription &attribute = entity.attributes()[i];
                QVERIFY2(records[0]->value(attribute.name) == sampleValue(attribute.type, i + e * 100), qPrintable(attribute.name));
                QVERIFY2(!records[1]->value(attribute.name).isValid(), qPrintable(attribute.name));
            }
        }
        QCOMPARE(static_cast<TODOList *>(filled.value(TODOList::EntityName))->contains(),
                 QList<TODOItem *>{static_cast<TODOItem *>(filled.value(TODOItem::EntityName))});
    }

    // The path a list goes to the server by: none without an id_; a stored one wins over one made from the id_.
    void listURI()
    {
        ManagedObjectContext context(todoListModel());
        auto *list = context.insert<TODOList>(TODOList::EntityName);
        QCOMPARE(list->getURI(), QString());
        list->setId_(12);
        list->setResourceURI(QStringLiteral("/api/v1/project/7/"));
        QCOMPARE(list->getURI(), QStringLiteral("/api/v1/project/7/"));
    }

    void idFromURI_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("path");
        QTest::addColumn<std::optional<qint64>>("expected");
        using Id = std::optional<qint64>;
        QTest::newRow("negative") << "C" << "/x/-5/" << Id(-5);
        QTest::newRow("only slashes") << "C" << "///" << Id();
        QTest::newRow("last component not a number") << "C" << "/api/v1/item/123/abc/" << Id();
        QTest::newRow("fraction") << "C" << "/api/v1/item/12.5/" << Id();
        QTest::newRow("German grouping") << "de_DE" << "/api/v1/item/1.234/" << Id(1234);
    }

    void idFromURI()
    {
        QFETCH(QString, locale);
        QFETCH(QString, path);
        QLocale::setDefault(QLocale(locale));
        QTEST(ResourcePath::idFromURI(path), "expected");
    }

    void findItem_data()
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
        QTest::newRow("another number") << qint64(900) << 0 << qint64(8) << false;
        QTest::newRow("server id from 2^31, by its path") << high << 0 << *ResourcePath::idFromURI(ResourcePath::itemPath(high)) << true;
        QTest::newRow("wide server id, by its 32 bits") << (qint64(1) << 32) + 900 << 0 << qint64(900) << true;
    }

    void findItem()
    {
        QFETCH(qint64, serverID);
        QFETCH(int, state);
        QFETCH(qint64, number);
        QFETCH(bool, found);

        ManagedObjectContext context(todoListModel());
        auto *item = context.insert<TODOItem>(TODOItem::EntityName);
        item->setId_(7);
        item->setServerID(serverID);
        item->setState(state);
        QCOMPARE(TODOItem::findWithID(number, &context), found ? item : nullptr);
    }

    void copyAttributes_data()
    {
        QTest::addColumn<bool>("item");
        QTest::addColumn<bool>("withIDs");
        for (bool item : {true, false})
            for (bool withIDs : {true, false})
                QTest::addRow("%s, identifiers %s", item ? "item" : "list", withIDs ? "too" : "not") << item << withIDs;
    }

    void copyAttributes()
    {
        QFETCH(bool, item);
        QFETCH(bool, withIDs);

        ManagedObjectContext context(todoListModel());
        ManagedObject *source = context.insert(item ? TODOItem::EntityName : TODOList::EntityName);
        ManagedObject *target = context.insert(item ? TODOItem::EntityName : TODOList::EntityName);
        fillAttributes(source, 0);
        fillAttributes(target, 1000);
        const QVariantMap before = attributeValues(target);
        QStringList notCopied = {"edited_since", "highlight", "boxFolderID"};
        QStringList ids = {"id_", "versionID", "resourceURI"};
        if (item) {
            notCopied << "status" << "cachedConversation";
            ids << "serverID";
            // Notes as stored: HTML and a plain text that the HTML does not produce.
            source->setValue(QStringLiteral("descriptionText"), QStringLiteral("typed by hand"));
            // Dates copy from one second after the epoch on; earlier ones clear the target's.
            const QDateTime epoch = QDateTime::fromMSecsSinceEpoch(0);
            source->setValue(QStringLiteral("dueDate"), epoch.addSecs(1));
            source->setValue(QStringLiteral("startDate"), epoch.addMSecs(999));
            source->setValue(QStringLiteral("creationDate"), epoch.addDays(-3));
            source->setValue(QStringLiteral("untilDate"), QVariant());
            auto *from = static_cast<TODOItem *>(source), *to = static_cast<TODOItem *>(target);
            withIDs ? from->copyTo(to) : from->copyTo(to, false, false);
        } else {
            notCopied << "index" << "centerX" << "centerY" << "password" << "lastItemIndex" << "owner" << "deleted"
                      << "ownersCountCache";
            auto *from = static_cast<TODOList *>(source);
            auto *child = context.insert<TODOItem>(TODOItem::EntityName);
            child->setList(from);
            from->copyTo(static_cast<TODOList *>(target), withIDs);
            QVERIFY(static_cast<TODOList *>(target)->contains().isEmpty());
            QCOMPARE(child->list(), from);
        }

        for (const auto &attribute : target->entity().attributes()) {
            const QString &key = attribute.name;
            QVariant expected = !notCopied.contains(key) && (withIDs || !ids.contains(key)) ? source->value(key) : before.value(key);
            if (key == QLatin1String("startDate") || key == QLatin1String("creationDate"))
                expected = QVariant();
            QVERIFY2(target->value(key) == expected, qPrintable(key));
        }
    }

    void copyItemProject_data()
    {
        // Lists: "A" has id_ 12, "B" id_ 13; "none" is no list.
        QTest::addColumn<QString>("sourceList");
        QTest::addColumn<QStringList>("sourceURIs");
        QTest::addColumn<QString>("targetList");
        QTest::addColumn<bool>("addProject");
        QTest::addColumn<QString>("expected");

        const QStringList none;
        QTest::newRow("moves to the source's list") << "A" << none << "B" << true << "A";
        QTest::newRow("without addProject stays") << "A" << none << "B" << false << "B";
        QTest::newRow("source without project stays") << "none" << none << "B" << true << "B";
        QTest::newRow("project by path") << "none" << QStringList{"/api/v1/project/12/"} << "B" << true << "A";
        QTest::newRow("unknown project leaves the list") << "none" << QStringList{"/api/v1/project/99/"} << "B" << true << "none";
    }

    void copyItemProject()
    {
        QFETCH(QString, sourceList);
        QFETCH(QStringList, sourceURIs);
        QFETCH(QString, targetList);
        QFETCH(bool, addProject);
        QFETCH(QString, expected);

        ManagedObjectContext context(todoListModel());
        // A deleted list with A's identifier, made first, is never the one joined.
        auto *gone = context.insert<TODOList>(TODOList::EntityName);
        gone->setId_(12);
        gone->setState(RecordState::Deleted);
        auto *a = context.insert<TODOList>(TODOList::EntityName);
        a->setId_(12);
        auto *b = context.insert<TODOList>(TODOList::EntityName);
        b->setId_(13);
        const QHash<QString, TODOList *> lists = {{QStringLiteral("A"), a}, {QStringLiteral("B"), b}};

        auto *source = context.insert<TODOItem>(TODOItem::EntityName);
        source->setList(lists.value(sourceList));
        if (!sourceURIs.isEmpty())
            source->setProjectURIs(sourceURIs);
        auto *target = context.insert<TODOItem>(TODOItem::EntityName);
        target->setList(lists.value(targetList));
        source->copyTo(target, addProject);

        QCOMPARE(target->list(), lists.value(expected));
        for (TODOList *list : {a, b, gone})
            QCOMPARE(list->contains().contains(target), list == lists.value(expected));
    }

    void needToUpload_data()
    {
        QTest::addColumn<QString>("entity");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("expected");

        const QStringList untrackedItem = {"creatorUsername", "owner", "edited_since", "requestedTime", "serverID", "resourceURI",
                                           "edited_by", "editedByDevice", "timestamp", "highlight", "versionID"};
        const QStringList untrackedList = {"centerX", "centerY", "edited_since", "resourceURI", "edited_by", "editedByDevice",
                                           "timestamp", "requestedTime", "contains", "lastItemIndex", "ownersCountCache",
                                           "highlight", "deleted", "password", "editedByUsername", "versionID"};
        for (const QString &entity : {TODOItem::EntityName, TODOList::EntityName}) {
            const EntityDescription *description = todoListModel().entity(entity);
            QStringList keys = {description->relationships().constFirst().name};
            for (const auto &attribute : description->attributes())
                keys << attribute.name;
            for (const QString &key : keys)
                QTest::addRow("%s %s", qPrintable(entity), qPrintable(key))
                    << entity << key << !(entity == TODOItem::EntityName ? untrackedItem : untrackedList).contains(key);
        }
    }

    void needToUpload()
    {
        QFETCH(QString, entity);
        QFETCH(QString, key);

        ManagedObjectContext context(todoListModel());
        ManagedObject *record = context.insert(entity);
        auto *item = dynamic_cast<TODOItem *>(record);
        const auto ask = [&] { return item ? item->needToUpload() : static_cast<TODOList *>(record)->needToUpload(); };
        context.processPendingChanges();
        QVERIFY(!ask());

        if (key == QLatin1String("list"))
            item->setList(context.insert<TODOList>(TODOList::EntityName));
        else if (key == QLatin1String("contains"))
            context.insert<TODOItem>(TODOItem::EntityName)->setList(static_cast<TODOList *>(record));
        else
            record->setValue(key, sampleValue(record->entity().attributes()[record->entity().attributeIndex(key)].type, 3));
        QVERIFY2(record->changedKeysForCurrentEvent().contains(key), qPrintable(key));
        QTEST(ask(), "expected");

        // A tracked change next to an untracked one still counts.
        record->setValue(QStringLiteral("name"), QStringLiteral("renamed"));
        QVERIFY(ask());
    }

    // A reset record goes to the server as a new one: every identifier the server
    // knows it by is dropped, its path too (or the server would take a pasted
    // copy for its source); the rest stays.
    void resetIDs()
    {
        ManagedObjectContext context(todoListModel());
        auto *list = context.insert<TODOList>(TODOList::EntityName);
        auto *item = context.insert<TODOItem>(TODOItem::EntityName);
        fillAttributes(list, 0);
        fillAttributes(item, 0);
        item->setList(list);
        item->setId_(7);
        auto *sibling = context.insert<TODOItem>(TODOItem::EntityName);
        sibling->setList(list);
        sibling->setId_(500);
        const QStringList ids = {"id_", "serverID", "versionID", "boxFolderID", "resourceURI"};
        const QVariantMap listKept = attributeValues(list, ids), itemKept = attributeValues(item, ids);

        // Draws already taken in the list, the item's own id and one out of range are skipped.
        ScriptedDraws draws({500, 7, 2147483640u + 501u});
        item->resetIDs();
        list->resetIDs();
        QCOMPARE(draws.remaining(), 0);
        QCOMPARE(item->id_(), 501);
        QCOMPARE(list->id_(), 0); // zeroed, not drawn
        for (const QString &key : ids.mid(1))
            QVERIFY2(!item->value(key).isValid() && !attributeValues(list).value(key).isValid(), qPrintable(key));
        QVERIFY(attributeValues(item, ids) == itemKept && attributeValues(list, ids) == listKept);
    }

    void descriptionRichText()
    {
        ManagedObjectContext context(todoListModel());
        auto *item = context.insert<TODOItem>(TODOItem::EntityName);
        const QString html = QStringLiteral("<p>Call <b>Anna</b> &amp; Bob</p>");
        item->setDescriptionRichText(html);
        // The same HTML again keeps a plain text edited by hand.
        item->setDescriptionText(QStringLiteral("edited by hand"));
        item->setDescriptionRichText(html);
        QCOMPARE(item->descriptionText(), QStringLiteral("edited by hand"));
    }
};

QTEST_GUILESS_MAIN(TestRecords)
#include "tst_records.moc"
