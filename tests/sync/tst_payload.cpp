// The outgoing payloads (full, updated, export) built from a document: which
// lists and items travel, how record values become fields, and the bytes as
// protobuf itself would write them; the salted hash and the corvane:// links.

#include "DocumentFakes.h"
#include "PayloadBuilder.h"
#include "SyncUtils.h"
#include "TestSupport.h"
#include "WireBytes.h"
#include "corvane_wire.pb.h"

#include <QTest>

#include <cmath>
#include <limits>

using corvane::wire::Alllists;
using corvane::wire::Todolist;

namespace {

Alllists decode(const QByteArray &bytes)
{
    Alllists message;
    if (!message.ParseFromArray(bytes.constData(), int(bytes.size())))
        message.Clear();
    return message;
}

TODOItem *addItem(ManagedObjectContext *context, TODOList *list, const QString &name, int index,
                  int state = RecordState::Open, int editedSince = 0)
{
    auto *item = context->insert<TODOItem>(TODOItem::EntityName);
    item->setName(name);
    item->setIndex(index);
    item->setState(state);
    item->setEdited_since(editedSince);
    item->setList(list);
    return item;
}

// A field's value as 64 bits (signed kinds sign-extended); none when the
// message has no field of that name.
std::optional<quint64> fieldBits(const google::protobuf::Message &message, const QString &name)
{
    using google::protobuf::FieldDescriptor;
    const FieldDescriptor *field = message.GetDescriptor()->FindFieldByName(name.toStdString());
    if (!field)
        return std::nullopt;
    const google::protobuf::Reflection *reflection = message.GetReflection();
    switch (field->cpp_type()) {
    case FieldDescriptor::CPPTYPE_UINT64: return reflection->GetUInt64(message, field);
    case FieldDescriptor::CPPTYPE_INT64: return quint64(reflection->GetInt64(message, field));
    default: return quint64(qint64(reflection->GetInt32(message, field)));
    }
}

} // namespace

class TestPayload : public QObject
{
    Q_OBJECT

private slots:
    void updatedPayloadSendsMarkedListsAndItems_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("listState"); // 0, 2 (trashed) or 3 (deleted)
        QTest::addColumn<int>("itemState"); // -1: no item
        QTest::addColumn<int>("itemMark");
        QTest::addColumn<int>("listMark");
        QTest::addColumn<int>("sent"); // items sent with the list; -1: the list stays local
        // An untouched default list (no items, open) stays local, marked or not.
        QTest::newRow("My List, trashed item, marked") << "My List" << 0 << 2 << 0 << 1 << 0;
        QTest::newRow("My List, deleted item, both marked") << "My List" << 0 << 3 << 1 << 1 << 0;
        QTest::newRow("My List, empty, marked") << "My List" << 0 << -1 << 0 << 1 << -1;
        QTest::newRow("My Project, empty, marked") << "My Project" << 0 << -1 << 0 << 1 << -1;
        QTest::newRow("My Project, empty, trashed, marked") << "My Project" << 2 << -1 << 0 << 1 << 0;
        QTest::newRow("other name, empty, marked") << "Groceries" << 0 << -1 << 0 << 1 << 0;
        QTest::newRow("lower case, empty, marked") << "my list" << 0 << -1 << 0 << 1 << 0;
        QTest::newRow("trailing space, empty, marked") << "My Project " << 0 << -1 << 0 << 1 << 0;
        QTest::newRow("other name, empty, unmarked") << "Groceries" << 0 << -1 << 0 << 0 << -1;
        // Only items marked exactly 1 travel, and they take their list along.
        QTest::newRow("open item marked") << "Errands" << 0 << 0 << 1 << 0 << 1;
        QTest::newRow("trashed item marked") << "Errands" << 0 << 2 << 1 << 0 << 1;
        QTest::newRow("item mark 2") << "Errands" << 0 << 0 << 2 << 0 << -1;
        QTest::newRow("item mark 2, list marked") << "Errands" << 0 << 0 << 2 << 1 << 0;
        QTest::newRow("deleted item marked") << "Errands" << 0 << 3 << 1 << 0 << -1;
        // Nothing of a deleted list travels.
        QTest::newRow("deleted list, marked, marked item") << "Errands" << 3 << 0 << 1 << 1 << -1;
    }

    void updatedPayloadSendsMarkedListsAndItems()
    {
        QFETCH(QString, name);
        QFETCH(int, listState);
        QFETCH(int, itemState);
        QFETCH(int, itemMark);
        QFETCH(int, listMark);
        QFETCH(int, sent);
        DocumentFixture f;
        TODOList *list = f.document->addNewProjectWithName(name);
        if (itemState >= 0)
            addItem(f.context(), list, QStringLiteral("item"), 100, itemState, itemMark);
        if (listState >= RecordState::Trashed)
            f.document->projects().markProject(list, RecordState::Trashed);
        if (listState == RecordState::Deleted)
            f.document->projects().markProject(list, RecordState::Deleted);
        list->setEdited_since(listMark);

        // Over the document's lists, those trashed since opening included.
        PayloadBuilder builder(*f.document);
        const Alllists updated = decode(builder.makeUpdatedDataForTransfer());
        QCOMPARE(updated.todolist_size(), sent >= 0 ? 1 : 0);
        if (sent >= 0) {
            QCOMPARE(updated.todolist(0).state(), listState);
            QCOMPARE(updated.todolist(0).todoitems_size(), sent);
        }
        // The list's mark is stored: nothing clears it until the server answers.
        QCOMPARE(list->edited_since(), sent == 1 ? 1 : listMark);
        // The full payload of the list, even handed over, carries it unless it is
        // deleted, and every item but a deleted one.
        const Alllists full = decode(builder.makeAllDataForTransfer({list}));
        QCOMPARE(full.todolist_size(), listState == RecordState::Deleted ? 0 : 1);
        if (full.todolist_size() == 1)
            QCOMPARE(full.todolist(0).todoitems_size(), itemState >= 0 && itemState != 3 ? 1 : 0);
    }

    void conversions_data()
    {
        // Set on the list and the item where each has the attribute; the field of
        // the same name is checked on each message that has one.
        QTest::addColumn<QString>("attribute");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<quint64>("wire");
        const quint64 minus1 = std::numeric_limits<quint64>::max();
        const quint64 int32Min = quint64(qint64(std::numeric_limits<qint32>::min()));
        // Integers: the 32-bit value, sign-extended into the field.
        QTest::newRow("timestamp -1") << "timestamp" << QVariant(-1) << minus1;
        QTest::newRow("requestedTime above 32 bits") << "requestedTime" << QVariant(qint64(0x100000005LL)) << quint64(5);
        QTest::newRow("requestedTime 2^31") << "requestedTime" << QVariant(qint64(0x80000000LL)) << int32Min;
        // The centre loses its fraction (toward zero), held to 32 bits.
        QTest::newRow("centerX fraction") << "centerX" << QVariant(412.99) << quint64(412);
        QTest::newRow("centerY negative fraction") << "centerY" << QVariant(-3.7) << quint64(qint64(-3));
        QTest::newRow("centerX beyond 32 bits") << "centerX" << QVariant(1e12) << quint64(0x7fffffff);
        QTest::newRow("centerX not a number") << "centerX" << QVariant(std::nan("")) << quint64(0);
        // Dates: the whole seconds of a date after the epoch, else 0.
        QTest::newRow("dueDate absent") << "dueDate" << QVariant() << quint64(0);
        QTest::newRow("startDate, fraction") << "startDate" << QVariant(utcTime(2012, 6, 1, 0, 0, 1, 999)) << quint64(1338508801);
        QTest::newRow("creationDate, local time") << "creationDate" << QVariant(QDateTime(QDate(2012, 6, 1), QTime(2, 0)))
                                                  << quint64(1338508800);
        QTest::newRow("untilDate before the epoch") << "untilDate" << QVariant(utcTime(1960, 1, 1)) << quint64(0);
        QTest::newRow("dueDate past 32 bits") << "dueDate" << QVariant(utcTime(2038, 1, 19, 3, 14, 8)) << quint64(2147483648);
        QTest::newRow("untilDate year 9000") << "untilDate" << QVariant(utcTime(9000, 1, 1)) << quint64(221845392000);
        // Around the offset changes of Europe/Berlin, the zone the tests run in.
        for (const QDateTime &instant : {utcTime(2024, 3, 31, 0, 59, 59), utcTime(2024, 3, 31, 1), utcTime(2024, 3, 31, 22, 30),
                                         utcTime(2024, 10, 26, 21, 59), utcTime(2024, 10, 27, 0, 30), utcTime(2024, 10, 27, 1, 30),
                                         utcTime(2024, 10, 27, 23)})
            QTest::addRow("dueDate %s local", qPrintable(instant.toLocalTime().toString(Qt::ISODate)))
                << "dueDate" << QVariant(instant.toLocalTime()) << quint64(instant.toSecsSinceEpoch());
    }

    void conversions()
    {
        QFETCH(QString, attribute);
        QFETCH(QVariant, stored);
        DocumentFixture f;
        TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
        TODOItem *item = addItem(f.context(), list, QStringLiteral("i"), 1);
        for (ManagedObject *record : std::initializer_list<ManagedObject *>{list, item})
            if (record->entity().attributeIndex(attribute) >= 0)
                record->setValue(attribute, stored);

        const QByteArray bytes = PayloadBuilder(*f.document).makeAllDataForTransfer({list});
        const Alllists message = decode(bytes);
        int checked = 0;
        for (const google::protobuf::Message *out :
             std::initializer_list<const google::protobuf::Message *>{&message.todolist(0), &message.todolist(0).todoitems(0)}) {
            if (const std::optional<quint64> bits = fieldBits(*out, attribute)) {
                QTEST(*bits, "wire");
                ++checked;
            }
        }
        QVERIFY(checked > 0);
        QCOMPARE(encodeMessage(message), bytes); // as protobuf writes it
    }

    void textsTravelAsUtf8_data()
    {
        // Around the lengths copied eight and four characters at a time, and the
        // lengths that need one more byte.
        QTest::addColumn<QString>("value");
        QTest::newRow("empty") << QString();
        QTest::newRow("seven ASCII") << QStringLiteral("abcdefg");
        QTest::newRow("eight ASCII") << QStringLiteral("abcdefgh");
        QTest::newRow("127 ASCII") << QString(127, QLatin1Char('x'));
        QTest::newRow("128 ASCII") << QString(128, QLatin1Char('y'));
        QTest::newRow("non-ASCII at 5") << QStringLiteral("Strasße");
        QTest::newRow("non-ASCII at 17") << QStringLiteral("abcdefghijklmnopqé tail");
        QTest::newRow("surrogate pair") << QStringLiteral("Party 🎉 time");
        QTest::newRow("CJK") << QStringLiteral("日本語のメモ");
        QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + QStringLiteral("x");
        // 70 characters of two bytes: a two-byte length, though fewer than 128 characters.
        QTest::newRow("140 bytes of é") << QString(70, QChar(0xe9));
        // Most items and lists need lengths of two and three bytes; these need more.
        QTest::newRow("item over 16 KB") << QString(10000, QLatin1Char('l'));
        QTest::newRow("list over 2 MB") << QString(550000, QLatin1Char('h'));
    }

    void textsTravelAsUtf8()
    {
        QFETCH(QString, value);
        DocumentFixture f;
        TODOList *list = f.document->addNewProjectWithName(value);
        addItem(f.context(), list, value, 1)->setDescriptionText(value + value);

        const QByteArray bytes = PayloadBuilder(*f.document).makeAllDataForTransfer({list});
        const Alllists message = decode(bytes);
        QCOMPARE(message.todolist_size(), 1);
        const QByteArray utf8 = value.toUtf8();
        QCOMPARE(QByteArray::fromStdString(message.todolist(0).name()), utf8);
        QCOMPARE(QByteArray::fromStdString(message.todolist(0).todoitems(0).name()), utf8);
        QCOMPARE(QByteArray::fromStdString(message.todolist(0).todoitems(0).descriptiontext()), utf8 + utf8);
        QCOMPARE(encodeMessage(message), bytes);
    }

    void payloadBytesAreTheCanonicalEncoding()
    {
        DocumentFixture f;
        auto *list = f.context()->insert<TODOList>(TODOList::EntityName); // nobody edited it
        list->setName(QStringLiteral("Grüne Liste"));
        list->setId_(12);
        list->setVersionID(std::numeric_limits<qint64>::min());
        list->setEdited_since(1);
        list->setOwnersCountCache(4);
        list->setEditedByUsername(QStringLiteral("editor"));
        list->setEditedByDevice(QStringLiteral("another device"));
        for (int i = 0; i < 2; ++i) {
            TODOItem *item = addItem(f.context(), list, QStringLiteral("Aufgabe %1 ✓").arg(i), i - 1, 0, i);
            item->setId_(i - 2);
            item->setParentID(-i);
            item->setChildID(std::numeric_limits<qint32>::min() + i);
            item->setServerID(5);
            item->setCreatorUsername(QStringLiteral("creator"));
            item->setEditedByUsername(QStringLiteral("editor"));
            item->setEditedByDevice(QStringLiteral("another device"));
        }
        TODOList *alices = f.document->addNewProjectWithName(QStringLiteral("Alice's"));
        alices->setEdited_by(QStringLiteral("alice"));

        // Written again by protobuf, the same bytes: every field has its declared
        // wire type, in ascending order, with minimal lengths.
        PayloadBuilder builder(*f.document);
        const QByteArray full = builder.makeAllDataForTransfer({list, alices});
        for (const QByteArray &bytes : {full, builder.makeUpdatedDataForTransfer({list}), builder.exportLists({list})})
            QCOMPARE(encodeMessage(decode(bytes)), bytes);

        // Every field the server does not own is written, absent values included;
        // an item's files (35) are not sent either.
        const Alllists message = decode(full);
        QCOMPARE(fieldNumbers(encodeMessage(message.todolist(0))),
                 (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 27, 28,
                             29, 10000, 10000}));
        QCOMPARE(fieldNumbers(encodeMessage(message.todolist(0).todoitems(0))),
                 (QList<int>{1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                             17, 18, 19, 20, 21, 22, 23, 25, 26, 27, 28, 30, 32, 33, 34}));
        // A list nobody edited is attributed to this computer, and stays so; the
        // device fields always name this computer.
        const QString device = SyncUtils::getDeviceUID();
        QCOMPARE(list->edited_by(), device);
        QCOMPARE(QString::fromStdString(message.todolist(0).editedby()), device);
        QCOMPARE(message.todolist(1).editedby(), std::string("alice"));
        QCOMPARE(QString::fromStdString(message.todolist(0).editedbydevice()), device);
        QCOMPARE(QString::fromStdString(message.todolist(0).todoitems(0).editedbydevice()), device);
        // A list's path is made from its id_ when none is stored; an item's goes as stored.
        QCOMPARE(message.todolist(0).resourceuri(), std::string("/api/v1/project/12/"));
        QCOMPARE(message.todolist(0).todoitems(0).resourceuri(), std::string());
    }

    void hashAndSalt_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("digest");
        // Reference digests from sha1sum over "quietmarblefoxes" followed by the text.
        QTest::newRow("abc") << QStringLiteral("abc") << QStringLiteral("bd4edc77a3fbfb368dbcfca318fafbd1d1386f5c");
        QTest::newRow("UTF-8") << QStringLiteral("été") << QStringLiteral("a53dbb1099536cb0e15a2a0a33ca35f5b98c2c25");
    }

    void hashAndSalt()
    {
        QFETCH(QString, input);
        QTEST(SyncUtils::HashAndSalt(input), "digest");
    }

    void links_data()
    {
        QTest::addColumn<bool>("project");
        QTest::addColumn<qint64>("recordID"); // a list's id_ or an item's serverID; -1: no record
        QTest::addColumn<QString>("link");    // the record's link (empty: none), read back
        QTest::addColumn<qint64>("id");       // what the link names; -1: nothing
        const QString items = QStringLiteral("corvane://sync.example.com/api/v1/item/");
        const QString lists = QStringLiteral("corvane://sync.example.com/api/v1/project/");
        QTest::newRow("item, 32-bit value") << false << qint64(0x10000004DLL) << items + "77" << qint64(77);
        QTest::newRow("item without serverID") << false << qint64(0) << QString() << qint64(-1);
        QTest::newRow("list") << true << qint64(12) << lists + "12" << qint64(12);
        QTest::newRow("list not uploaded") << true << qint64(0) << QString() << qint64(-1);
        QTest::newRow("trailing slash") << true << qint64(-1) << lists + "12/" << qint64(12);
        QTest::newRow("item link read as list") << true << qint64(-1) << items + "12" << qint64(-1);
        QTest::newRow("list link read as item") << false << qint64(-1) << lists + "77" << qint64(-1);
    }

    void links()
    {
        QFETCH(bool, project);
        QFETCH(qint64, recordID);
        QFETCH(QString, link);
        QFETCH(qint64, id);
        DocumentFixture f;
        if (recordID >= 0) {
            TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
            TODOItem *item = addItem(f.context(), list, QStringLiteral("i"), 1);
            list->setId_(int(recordID));
            item->setServerID(recordID);
            const std::optional<QUrl> url = project ? SyncUtils::urlForProject(list) : SyncUtils::urlForItem(item);
            QCOMPARE(url.value_or(QUrl()).toString(), link);
        }
        const std::optional<qint64> named = project ? SyncUtils::projectIDFromURL(QUrl(link)) : SyncUtils::itemIDFromURL(QUrl(link));
        QCOMPARE(named, id >= 0 ? std::optional<qint64>(id) : std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestPayload)
#include "tst_payload.moc"
