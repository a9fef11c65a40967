// The outgoing payloads (full, updated, export) built from a document, the
// conversions of every item and list field, the salted hash and the device
// identifier, the resource links and hexadecimal text.

#include "DocumentFakes.h"
#include "ManagedObjectContext.h"
#include "PayloadBuilder.h"
#include "SyncUtils.h"
#include "WireLists.h"
#include "WireBytes.h"
#include "corvane_wire.pb.h"

#include <QCryptographicHash>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QTest>

#include <cmath>
#include <limits>

using corvane::wire::Alllists;
using corvane::wire::Todolist;
using WireItem = corvane::wire::Todolist_Todoitems;

namespace {

const QString kItemPath = QStringLiteral("/api/v1/item/");

// The device identifier worked out here from its definition: SHA-1 of the
// salt and the host name.
QString expectedDeviceUID()
{
    const QByteArray bytes = QByteArrayLiteral("quietmarblefoxes") + QSysInfo::machineHostName().toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}

Alllists decode(const QByteArray &bytes)
{
    Alllists message;
    if (!message.ParseFromArray(bytes.constData(), int(bytes.size())))
        qWarning("payload does not parse");
    return message;
}

const Todolist *findList(const Alllists &message, const QString &name)
{
    for (const Todolist &list : message.todolist()) {
        if (text(list.name()) == name)
            return &list;
    }
    return nullptr;
}

QStringList listNames(const Alllists &message)
{
    QStringList names;
    for (const Todolist &list : message.todolist())
        names << text(list.name());
    return names;
}

QStringList itemNames(const Todolist &list)
{
    QStringList names;
    for (const WireItem &item : list.todoitems())
        names << text(item.name());
    return names;
}

template <typename Message>
QByteArray encode(const Message &message)
{
    return encodeMessage(message);
}

QList<int> range(int first, int last, std::initializer_list<int> without)
{
    QList<int> numbers;
    for (int n = first; n <= last; ++n) {
        if (std::find(without.begin(), without.end(), n) == without.end())
            numbers << n;
    }
    return numbers;
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

// Log lines of one category, captured while an instance lives.
class LogCapture
{
public:
    explicit LogCapture(const char *category)
        : m_category(category)
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    QStringList lines;

private:
    static void handler(QtMsgType, const QMessageLogContext &context, const QString &message)
    {
        if (s_current && context.category && qstrcmp(context.category, s_current->m_category) == 0)
            s_current->lines << message;
    }
    inline static LogCapture *s_current = nullptr;
    const char *m_category;
    QtMessageHandler m_previous = nullptr;
};

} // namespace

class TestPayload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // --- Payloads
    void defaultListOnlyInFullPayload_data();
    void defaultListOnlyInFullPayload();
    void updatedPayloadDefaultListRule_data();
    void updatedPayloadDefaultListRule();
    void itemMarkLiftsListMarkAndSendsOnlyThatItem();
    void markOtherThanOneIsNoChange();
    void deletedItemIsNeverSent();
    void trashedListsSinceAndBeforeOpening();
    void deletedListIsNeverSent();
    void exportZeroesOnlyIdentifiers();
    void listWithoutEditorGetsDeviceIdentifier_data();
    void listWithoutEditorGetsDeviceIdentifier();
    void fullPayloadKeepsArrayOrderAndLogsEachList();
    void documentListArrayIsSidebarThenTrashed();
    void emptyPayloadsAreZeroBytes();

    // --- Messages
    void bareItemCarriesEveryFieldWithDefaults();
    void bareListCarriesEveryFieldWithDefaults();
    void itemFieldsFollowTheirAttributes();
    void listFieldsFollowTheirAttributes();
    void timestampIsSignExtended_data();
    void timestampIsSignExtended();
    void requestedTimeTravelsAs32Bits_data();
    void requestedTimeTravelsAs32Bits();
    void centerLosesItsFraction_data();
    void centerLosesItsFraction();
    void datesGoOutAsWholeSeconds_data();
    void datesGoOutAsWholeSeconds();
    void listResourceUriIsItsURI_data();
    void listResourceUriIsItsURI();
    void itemsAreOrderedByIndexDescending();
    void textsTravelAsUtf8_data();
    void textsTravelAsUtf8();
    void largeMessagesKeepTheirLengths();
    void payloadBytesAreTheCanonicalEncoding();
    void localDatesAroundOffsetChanges();

    // --- Lookups
    void projectsByID();
    void itemsByKeyForProject();

    // --- Hashes
    void hashAndSalt_data();
    void hashAndSalt();
    void unsaltedSHA1_data();
    void unsaltedSHA1();
    void deviceUIDIsSaltedHostName();

    // --- Paths and links
    void idFromURI_data();
    void idFromURI();
    void linkPrefixesFollowTheSyncHost();
    void idFromURL_data();
    void idFromURL();
    void urlForItem_data();
    void urlForItem();
    void urlForProject_data();
    void urlForProject();
    void settingsDefaults();

    // --- Hexadecimal text
    void hexToBinary_data();
    void hexToBinary();
};

void TestPayload::initTestCase()
{
    // The per-list line is informational; make sure it is not filtered out.
    QLoggingCategory::setFilterRules(QStringLiteral("corvane.sync.info=true"));
}

// --- Payloads ---------------------------------------------------------------------

void TestPayload::defaultListOnlyInFullPayload_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("My Project") << QStringLiteral("My Project");
    QTest::newRow("My List") << QStringLiteral("My List");
}

void TestPayload::defaultListOnlyInFullPayload()
{
    QFETCH(QString, name);
    DocumentFixture f;
    QVERIFY(!Defaults::standard().contains(QStringLiteral("hasSyncedBefore")));
    TODOList *list = f.document->addNewProjectWithName(name);
    list->setEdited_since(1);
    PayloadBuilder builder(*f.document);

    const Alllists full = decode(builder.makeAllDataForTransfer());
    QCOMPARE(listNames(full), QStringList{name});
    QCOMPARE(full.todolist(0).todoitems_size(), 0);

    // Untouched (no items, open): an updated payload leaves it out even when marked.
    QCOMPARE(builder.makeUpdatedDataForTransfer(), QByteArray());
}

void TestPayload::updatedPayloadDefaultListRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("trashList");
    QTest::addColumn<int>("itemState"); // -1: no item
    QTest::addColumn<int>("listMark");
    QTest::addColumn<bool>("sent");

    QTest::newRow("My List, one trashed item, marked") << QStringLiteral("My List") << false << 2 << 1 << true;
    QTest::newRow("My List, one trashed item, mark 2") << QStringLiteral("My List") << false << 2 << 2 << true;
    QTest::newRow("My List, one trashed item, unmarked") << QStringLiteral("My List") << false << 2 << 0 << false;
    QTest::newRow("My List, one deleted item, marked") << QStringLiteral("My List") << false << 3 << 1 << true;
    QTest::newRow("My List, empty, marked") << QStringLiteral("My List") << false << -1 << 1 << false;
    QTest::newRow("My Project, empty, trashed, marked") << QStringLiteral("My Project") << true << -1 << 1 << true;
    QTest::newRow("other name, empty, marked") << QStringLiteral("Groceries") << false << -1 << 1 << true;
    QTest::newRow("lower case, empty, marked") << QStringLiteral("my list") << false << -1 << 1 << true;
    QTest::newRow("trailing space, empty, marked") << QStringLiteral("My Project ") << false << -1 << 1 << true;
    QTest::newRow("other name, empty, unmarked") << QStringLiteral("Groceries") << false << -1 << 0 << false;
}

void TestPayload::updatedPayloadDefaultListRule()
{
    QFETCH(QString, name);
    QFETCH(bool, trashList);
    QFETCH(int, itemState);
    QFETCH(int, listMark);
    QFETCH(bool, sent);

    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(name);
    if (itemState >= 0)
        addItem(f.context(), list, QStringLiteral("item"), 100, itemState, 0);
    if (trashList)
        f.document->projects().markProject(list, RecordState::Trashed);
    list->setEdited_since(listMark);

    PayloadBuilder builder(*f.document);
    const Alllists updated = decode(builder.makeUpdatedDataForTransfer());
    QCOMPARE(updated.todolist_size(), sent ? 1 : 0);
    if (sent) {
        QCOMPARE(text(updated.todolist(0).name()), name);
        QCOMPARE(updated.todolist(0).state(), trashList ? 2 : 0);
        // No item carries a change mark.
        QCOMPARE(updated.todolist(0).todoitems_size(), 0);
    }
}

void TestPayload::itemMarkLiftsListMarkAndSendsOnlyThatItem()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Errands"));
    TODOList *quiet = f.document->addNewProjectWithName(QStringLiteral("Quiet"));
    addItem(f.context(), list, QStringLiteral("a"), 300, RecordState::Open, 0);
    addItem(f.context(), list, QStringLiteral("b"), 200, RecordState::Completed, 1);
    addItem(f.context(), list, QStringLiteral("c"), 100, RecordState::Open, 0);
    addItem(f.context(), quiet, QStringLiteral("q"), 100, RecordState::Open, 0);
    list->setEdited_since(0);
    quiet->setEdited_since(0);

    PayloadBuilder builder(*f.document);
    const Alllists updated = decode(builder.makeUpdatedDataForTransfer());
    QCOMPARE(listNames(updated), QStringList{QStringLiteral("Errands")});
    QCOMPARE(itemNames(updated.todolist(0)), QStringList{QStringLiteral("b")});
    QCOMPARE(updated.todolist(0).editedsince(), 1);
    QCOMPARE(updated.todolist(0).todoitems(0).editedsince(), 1);
    // The mark is stored, and nothing clears it until the server answers.
    QCOMPARE(list->edited_since(), 1);
    QCOMPARE(quiet->edited_since(), 0);
    QCOMPARE(decode(builder.makeUpdatedDataForTransfer()).todolist_size(), 1);

    // The full payload still carries every item.
    QCOMPARE(itemNames(*findList(decode(builder.makeAllDataForTransfer()), QStringLiteral("Errands"))),
             (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
}

void TestPayload::markOtherThanOneIsNoChange()
{
    DocumentFixture f;
    TODOList *unmarked = f.document->addNewProjectWithName(QStringLiteral("Unmarked"));
    TODOList *marked = f.document->addNewProjectWithName(QStringLiteral("Marked"));
    addItem(f.context(), unmarked, QStringLiteral("two"), 100, RecordState::Open, 2);
    addItem(f.context(), marked, QStringLiteral("two"), 200, RecordState::Open, 2);
    addItem(f.context(), marked, QStringLiteral("one"), 100, RecordState::Open, 1);
    unmarked->setEdited_since(0);
    marked->setEdited_since(0);

    PayloadBuilder builder(*f.document);
    const Alllists updated = decode(builder.makeUpdatedDataForTransfer());
    QCOMPARE(listNames(updated), QStringList{QStringLiteral("Marked")});
    QCOMPARE(itemNames(updated.todolist(0)), QStringList{QStringLiteral("one")});
    QCOMPARE(unmarked->edited_since(), 0);
}

void TestPayload::deletedItemIsNeverSent()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Work"));
    TODOList *other = f.document->addNewProjectWithName(QStringLiteral("Other"));
    addItem(f.context(), list, QStringLiteral("gone"), 200, RecordState::Deleted, 1);
    addItem(f.context(), list, QStringLiteral("kept"), 100, RecordState::Open, 0);
    addItem(f.context(), other, QStringLiteral("gone too"), 100, RecordState::Deleted, 1);
    list->setEdited_since(1);
    other->setEdited_since(0);

    PayloadBuilder builder(*f.document);
    const Alllists updated = decode(builder.makeUpdatedDataForTransfer());
    // A deleted item is no item of its list: it neither travels nor marks its list.
    QCOMPARE(listNames(updated), QStringList{QStringLiteral("Work")});
    QCOMPARE(updated.todolist(0).todoitems_size(), 0);
    QCOMPARE(other->edited_since(), 0);

    const Alllists full = decode(builder.makeAllDataForTransfer());
    QCOMPARE(itemNames(*findList(full, QStringLiteral("Work"))), QStringList{QStringLiteral("kept")});
    QCOMPARE(findList(full, QStringLiteral("Other"))->todoitems_size(), 0);

    // Asked for directly, the list message leaves it out too.
    Todolist message;
    builder.makeDataForList(list, false, false, &message);
    QCOMPARE(message.todoitems_size(), 0);
}

void TestPayload::trashedListsSinceAndBeforeOpening()
{
    QTemporaryDir dir;
    Defaults::useFileForTesting(dir.filePath(QStringLiteral("defaults.ini")));
    auto context = std::make_unique<ManagedObjectContext>(todoListModel());
    ManagedObjectContext *ctx = context.get();

    // A store that already holds a trashed list when the document opens.
    auto *before = ctx->insert<TODOList>(TODOList::EntityName);
    before->setName(QStringLiteral("Trashed before"));
    before->setState(RecordState::Trashed);
    before->setEdited_since(1);
    addItem(ctx, before, QStringLiteral("old item"), 100, RecordState::Open, 1);
    auto *since = ctx->insert<TODOList>(TODOList::EntityName);
    since->setName(QStringLiteral("Trashed since"));
    since->setState(RecordState::Open);
    since->setIndex(10);
    addItem(ctx, since, QStringLiteral("new item"), 100, RecordState::Open, 1);

    {
        MyDocument document(std::move(context));
        document.rearrangeProjectArrayController();
        document.projects().markProject(since, RecordState::Trashed);
        since->setEdited_since(1);

        PayloadBuilder builder(document);
        const Alllists updated = decode(builder.makeUpdatedDataForTransfer());
        QCOMPARE(listNames(updated), QStringList{QStringLiteral("Trashed since")});
        QCOMPARE(updated.todolist(0).state(), 2);
        QCOMPARE(itemNames(updated.todolist(0)), QStringList{QStringLiteral("new item")});

        const Alllists full = decode(builder.makeAllDataForTransfer());
        QCOMPARE(listNames(full), QStringList{QStringLiteral("Trashed since")});
        QCOMPARE(full.todolist(0).state(), 2);
        QVERIFY(!builder.getProjectsByID().values().contains(before));
    }
    Defaults::useFileForTesting(QString());
}

void TestPayload::deletedListIsNeverSent()
{
    DocumentFixture f;
    TODOList *gone = f.document->addNewProjectWithName(QStringLiteral("Gone"));
    TODOList *kept = f.document->addNewProjectWithName(QStringLiteral("Kept"));
    addItem(f.context(), gone, QStringLiteral("x"), 100, RecordState::Open, 1);
    gone->setEdited_since(1);
    kept->setEdited_since(1);
    f.document->projects().markProject(gone, RecordState::Trashed);
    f.document->projects().markProject(gone, RecordState::Deleted);

    PayloadBuilder builder(*f.document);
    // Even when handed over explicitly.
    const QList<TODOList *> lists{gone, kept};
    QCOMPARE(listNames(decode(builder.makeAllDataForTransfer(lists))), QStringList{QStringLiteral("Kept")});
    QCOMPARE(listNames(decode(builder.makeUpdatedDataForTransfer(lists))), QStringList{QStringLiteral("Kept")});
    QCOMPARE(listNames(decode(builder.exportLists(lists))), QStringList{QStringLiteral("Kept")});
    QCOMPARE(listNames(decode(builder.makeAllDataForTransfer())), QStringList{QStringLiteral("Kept")});
}

void TestPayload::exportZeroesOnlyIdentifiers()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Shared"));
    list->setId_(57);
    list->setVersionID(9000000000LL);
    list->setBoxFolderID(QStringLiteral("box-57"));
    TODOItem *a = addItem(f.context(), list, QStringLiteral("a"), 200);
    a->setId_(11);
    a->setVersionID(7000000001LL);
    a->setParentID(21);
    a->setChildID(31);
    a->setBoxFolderID(QStringLiteral("box-a"));
    a->setResourceURI(QStringLiteral("/api/v1/item/901/"));
    TODOItem *b = addItem(f.context(), list, QStringLiteral("b"), 100);
    b->setId_(12);
    b->setVersionID(-3);

    PayloadBuilder builder(*f.document);
    for (const bool reset : {false, true}) {
        const QByteArray bytes = reset ? builder.exportLists({list}) : builder.makeAllDataForTransfer({list});
        QCOMPARE(bytes, builder.makeAllDataForTransfer({list}, reset));
        const Alllists message = decode(bytes);
        QCOMPARE(message.todolist_size(), 1);
        const Todolist &l = message.todolist(0);
        QVERIFY(l.has_idd());
        QCOMPARE(l.idd(), reset ? 0 : 57);
        QCOMPARE(l.versionid(), 9000000000LL);
        QCOMPARE(text(l.boxfolderid()), QStringLiteral("box-57"));
        QCOMPARE(text(l.resourceuri()), QStringLiteral("/api/v1/project/57/"));
        QCOMPARE(l.todoitems_size(), 2);
        const WireItem &wa = l.todoitems(0);
        const WireItem &wb = l.todoitems(1);
        QVERIFY(wa.has_idd() && wb.has_idd());
        QCOMPARE(wa.idd(), reset ? 0 : 11);
        QCOMPARE(wb.idd(), reset ? 0 : 12);
        QCOMPARE(wa.versionid(), 7000000001LL);
        QCOMPARE(wb.versionid(), -3);
        QCOMPARE(wa.parentid(), 21);
        QCOMPARE(wa.childid(), 31);
        QCOMPARE(text(wa.boxfolderid()), QStringLiteral("box-a"));
        QCOMPARE(text(wa.resourceuri()), QStringLiteral("/api/v1/item/901/"));
    }
    // The store keeps its identifiers.
    QCOMPARE(list->id_(), 57);
    QCOMPARE(a->id_(), 11);
}

void TestPayload::listWithoutEditorGetsDeviceIdentifier_data()
{
    QTest::addColumn<QString>("stored"); // null: never set
    QTest::addColumn<bool>("expectDevice");
    QTest::newRow("absent") << QString() << true;
    QTest::newRow("empty") << QStringLiteral("") << true;
    QTest::newRow("someone") << QStringLiteral("alice") << false;
}

void TestPayload::listWithoutEditorGetsDeviceIdentifier()
{
    QFETCH(QString, stored);
    QFETCH(bool, expectDevice);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Mine"));
    if (!stored.isNull())
        list->setEdited_by(stored);
    list->setEditedByDevice(QStringLiteral("another device"));
    TODOItem *item = addItem(f.context(), list, QStringLiteral("i"), 100);
    item->setEdited_by(QStringLiteral("bob"));
    item->setEditedByDevice(QStringLiteral("another device"));

    const QString device = expectedDeviceUID();
    const QString expected = expectDevice ? device : stored;
    PayloadBuilder builder(*f.document);
    const Alllists message = decode(builder.makeAllDataForTransfer({list}));
    QCOMPARE(list->edited_by(), expected);
    QCOMPARE(text(message.todolist(0).editedby()), expected);
    // The device field always names this computer, whatever is stored.
    QCOMPARE(text(message.todolist(0).editedbydevice()), device);
    QCOMPARE(text(message.todolist(0).todoitems(0).editedbydevice()), device);
    QCOMPARE(text(message.todolist(0).todoitems(0).editedby()), QStringLiteral("bob"));
    QCOMPARE(item->edited_by(), QStringLiteral("bob"));
}

void TestPayload::fullPayloadKeepsArrayOrderAndLogsEachList()
{
    DocumentFixture f;
    TODOList *a = f.document->addNewProjectWithName(QStringLiteral("A"));
    TODOList *b = f.document->addNewProjectWithName(QStringLiteral("B"));
    TODOList *c = f.document->addNewProjectWithName(QStringLiteral("C"));
    TODOList *d = f.document->addNewProjectWithName(QStringLiteral("D"));
    d->setState(RecordState::Deleted);
    addItem(f.context(), b, QStringLiteral("b1"), 100);

    PayloadBuilder builder(*f.document);
    LogCapture log("corvane.sync");
    const Alllists full = decode(builder.makeAllDataForTransfer({c, a, d, b}));
    QCOMPARE(listNames(full), (QStringList{QStringLiteral("C"), QStringLiteral("A"), QStringLiteral("B")}));
    // One line per list sent, none for the skipped one.
    QCOMPARE(log.lines.size(), 3);
    QVERIFY(log.lines[0].contains(QLatin1String("'C'")));
    QVERIFY(log.lines[2].contains(QLatin1String("'B'")));
    QVERIFY(log.lines[2].contains(QLatin1String("1 items")));
}

void TestPayload::documentListArrayIsSidebarThenTrashed()
{
    DocumentFixture f;
    TODOList *low = f.document->addNewProjectWithName(QStringLiteral("Low"));
    TODOList *high = f.document->addNewProjectWithName(QStringLiteral("High"));
    TODOList *trashed = f.document->addNewProjectWithName(QStringLiteral("Trashed"));
    low->setIndex(100);
    high->setIndex(500);
    trashed->setIndex(900);
    f.document->projects().markProject(trashed, RecordState::Trashed);
    f.document->rearrangeProjectArrayController();

    PayloadBuilder builder(*f.document);
    QCOMPARE(listNames(decode(builder.makeAllDataForTransfer())),
             (QStringList{QStringLiteral("High"), QStringLiteral("Low"), QStringLiteral("Trashed")}));
}

void TestPayload::emptyPayloadsAreZeroBytes()
{
    DocumentFixture f;
    PayloadBuilder builder(*f.document);
    QCOMPARE(builder.makeAllDataForTransfer(), QByteArray());
    QCOMPARE(builder.makeAllDataForTransfer({}), QByteArray());
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Nothing changed"));
    addItem(f.context(), list, QStringLiteral("i"), 100);
    list->setEdited_since(0);
    QCOMPARE(builder.makeUpdatedDataForTransfer(), QByteArray());
    QCOMPARE(builder.updatedData({list}).listCount(), 0);
}

// --- Messages -------------------------------------------------------------------------

void TestPayload::bareItemCarriesEveryFieldWithDefaults()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    auto *item = f.context()->insert<TODOItem>(TODOItem::EntityName);
    item->setList(list);
    // Attributes that are never sent.
    item->setServerID(5);
    item->setCreatorUsername(QStringLiteral("creator"));
    item->setEditedByUsername(QStringLiteral("editor"));

    PayloadBuilder builder(*f.document);
    WireItem out;
    builder.makeDataForItem(item, false, &out);

    // Every field but serverId (24), creatorUsername (29), editedByUsername (31)
    // and files (35) is written, in ascending number.
    QCOMPARE(fieldNumbers(encode(out)), range(1, 34, {24, 29, 31}));
    QCOMPARE(out.files_size(), 0);

    QCOMPARE(out.state(), 0);
    QCOMPARE(out.idd(), 0);
    QCOMPARE(out.timestamp(), 0u);
    QCOMPARE(out.duedate(), 0u);
    QCOMPARE(out.untildate(), 0u);
    QCOMPARE(out.allday(), false);
    QCOMPARE(out.versionid(), 0);
    QCOMPARE(out.effort(), 0);
    for (const std::string *s : {&out.owner(), &out.descriptionrichtext(), &out.descriptiontext(), &out.editedby(),
                                 &out.icon(), &out.name(), &out.status(), &out.frequency(), &out.resourceuri(),
                                 &out.macresourceurl(), &out.ownerusername(), &out.boxfolderid()})
        QVERIFY(s->empty());
    // Not the path built from the serverID: the stored resourceURI as it is.
    QVERIFY(item->getURI().startsWith(kItemPath));
    QCOMPARE(text(out.editedbydevice()), expectedDeviceUID());
}

void TestPayload::bareListCarriesEveryFieldWithDefaults()
{
    DocumentFixture f;
    auto *list = f.context()->insert<TODOList>(TODOList::EntityName);
    list->setOwnersCountCache(4);
    list->setEditedByUsername(QStringLiteral("editor"));

    PayloadBuilder builder(*f.document);
    Todolist out;
    builder.makeDataForList(list, true, false, &out);
    // Every list field but ownersCountCache (25) and editedByUsername (26).
    QCOMPARE(fieldNumbers(encode(out)), range(1, 29, {25, 26}));
    QCOMPARE(out.idd(), 0);
    QCOMPARE(out.timestamp(), 0u);
    QCOMPARE(out.centerx(), 0);
    QVERIFY(out.resourceuri().empty());
    QVERIFY(out.password().empty());
    QCOMPARE(text(out.editedby()), expectedDeviceUID());
}

void TestPayload::itemFieldsFollowTheirAttributes()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    auto *item = f.context()->insert<TODOItem>(TODOItem::EntityName);
    item->setList(list);
    item->setState(RecordState::Completed);
    item->setIndex(-250);
    item->setQuadrant(3);
    item->setId_(-5);
    item->setDescriptionRichText(QStringLiteral("<p>Grüße</p>"));
    item->setDescriptionText(QStringLiteral("Grüße ✓"));
    item->setTimestamp(1700000000);
    item->setEdited_since(1);
    item->setCompletionPercentage(100);
    item->setName(QStringLiteral("Ünïcödé 日本"));
    item->setCreationDate(QDateTime(QDate(2012, 5, 1), QTime(8, 30, 15), Qt::UTC));
    item->setDueDate(QDateTime(QDate(2012, 6, 1), QTime(0, 0), Qt::UTC));
    item->setCompletionDate(QDateTime(QDate(2012, 6, 2), QTime(12, 0), Qt::UTC));
    item->setChildID(-7);
    item->setParentID(2147483600);
    item->setResourceURI(QStringLiteral("/api/v1/item/3/"));
    item->setRequestedTime(1234);
    item->setAllDay(true);
    item->setVersionID(0x123456789ALL);
    item->setEffort(Effort::OneWeek);

    PayloadBuilder builder(*f.document);
    WireItem out;
    builder.makeDataForItem(item, false, &out);
    QCOMPARE(out.state(), 1);
    QCOMPARE(out.index(), -250);
    QCOMPARE(out.quadrant(), 3);
    QCOMPARE(out.idd(), -5);
    QCOMPARE(text(out.descriptionrichtext()), QStringLiteral("<p>Grüße</p>"));
    QCOMPARE(text(out.descriptiontext()), QStringLiteral("Grüße ✓"));
    QCOMPARE(out.timestamp(), 1700000000u);
    QCOMPARE(out.editedsince(), 1);
    QCOMPARE(out.completionpercentage(), 100);
    // UTF-8 on the wire.
    QCOMPARE(QByteArray::fromStdString(out.name()), QStringLiteral("Ünïcödé 日本").toUtf8());
    QCOMPARE(out.creationdate(), 1335861015u);
    QCOMPARE(out.duedate(), 1338508800u);
    QCOMPARE(out.completiondate(), 1338638400u);
    QCOMPARE(out.childid(), -7);
    QCOMPARE(out.parentid(), 2147483600);
    QCOMPARE(text(out.resourceuri()), QStringLiteral("/api/v1/item/3/"));
    QCOMPARE(out.requestedtime(), 1234);
    QCOMPARE(out.allday(), true);
    QCOMPARE(out.versionid(), 0x123456789ALL);
    QCOMPARE(out.effort(), 5);
    QVERIFY(!out.has_serverid());

    // With reset, only idd changes.
    WireItem reset;
    builder.makeDataForItem(item, true, &reset);
    QVERIFY(reset.has_idd());
    QCOMPARE(reset.idd(), 0);
    reset.set_idd(-5);
    QCOMPARE(encode(reset), encode(out));
}

void TestPayload::listFieldsFollowTheirAttributes()
{
    DocumentFixture f;
    auto *list = f.context()->insert<TODOList>(TODOList::EntityName);
    list->setCenterY(0.25);
    list->setCenterX(0.75);
    list->setIndex(-3000);
    list->setDeleted(1);
    list->setTextFirstQuadrant(QStringLiteral("t1"));
    list->setTextFourthQuadrant(QStringLiteral("t4"));
    list->setColorFirstQuadrant(QStringLiteral("{1, 0, 0, 1}"));
    list->setColorFourthQuadrant(QStringLiteral("c4"));
    list->setName(QStringLiteral("Näme"));
    list->setState(RecordState::Trashed);
    list->setEdited_since(2);
    list->setTimestamp(1600000000);
    list->setId_(-5);
    list->setLastItemIndex(77);
    list->setRequestedTime(99);
    list->setVersionID(-9000000000LL);
    list->setCv_notes(QStringLiteral("notes"));

    PayloadBuilder builder(*f.document);
    Todolist out;
    builder.makeDataForList(list, true, false, &out);
    QCOMPARE(out.centery(), 0);
    QCOMPARE(out.centerx(), 0);
    QCOMPARE(out.index(), -3000);
    QCOMPARE(out.deleted(), 1);
    QCOMPARE(text(out.textfirstquadrant()), QStringLiteral("t1"));
    QCOMPARE(text(out.textfourthquadrant()), QStringLiteral("t4"));
    QCOMPARE(text(out.colorfirstquadrant()), QStringLiteral("{1, 0, 0, 1}"));
    QCOMPARE(text(out.colorfourthquadrant()), QStringLiteral("c4"));
    QCOMPARE(text(out.name()), QStringLiteral("Näme"));
    QCOMPARE(out.state(), 2);
    QCOMPARE(out.editedsince(), 2);
    QCOMPARE(out.timestamp(), 1600000000u);
    QCOMPARE(out.idd(), -5);
    QCOMPARE(out.lastitemindex(), 77);
    QCOMPARE(out.requestedtime(), 99);
    QCOMPARE(out.versionid(), -9000000000LL);
    QCOMPARE(text(out.notes()), QStringLiteral("notes"));
    QVERIFY(!out.has_ownerscountcache());
    QVERIFY(!out.has_editedbyusername());
}

void TestPayload::timestampIsSignExtended_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<quint64>("wire");
    QTest::newRow("zero") << 0 << quint64(0);
    QTest::newRow("positive") << 1767254400 << quint64(1767254400);
    QTest::newRow("largest") << std::numeric_limits<qint32>::max() << quint64(0x7fffffff);
    // A negative timestamp is its 64-bit two's complement: a huge unsigned value.
    QTest::newRow("minus one") << -1 << quint64(0xffffffffffffffffULL);
    QTest::newRow("smallest") << std::numeric_limits<qint32>::min() << quint64(0xffffffff80000000ULL);
}

void TestPayload::timestampIsSignExtended()
{
    QFETCH(int, stored);
    QFETCH(quint64, wire);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    list->setTimestamp(stored);
    addItem(f.context(), list, QStringLiteral("i"), 1)->setTimestamp(stored);

    PayloadBuilder builder(*f.document);
    const QByteArray bytes = builder.makeAllDataForTransfer({list});
    const Alllists message = decode(bytes);
    QCOMPARE(quint64(message.todolist(0).timestamp()), wire);
    QCOMPARE(quint64(message.todolist(0).todoitems(0).timestamp()), wire);
    // fixed64 on the wire: key 0x61 (field 12, type 1) and the eight bytes, low first.
    QByteArray fixed;
    fixed.append(char(0x61));
    for (int i = 0; i < 8; ++i)
        fixed.append(char((wire >> (8 * i)) & 0xff));
    QVERIFY(bytes.contains(fixed));
}

void TestPayload::requestedTimeTravelsAs32Bits_data()
{
    QTest::addColumn<qint64>("stored");
    QTest::addColumn<qint64>("wire");
    QTest::newRow("small") << qint64(5) << qint64(5);
    QTest::newRow("negative") << qint64(-1) << qint64(-1);
    QTest::newRow("above 32 bits") << qint64(0x100000005LL) << qint64(5);
    QTest::newRow("sign bit of the low half") << qint64(0x80000000LL) << qint64(std::numeric_limits<qint32>::min());
}

void TestPayload::requestedTimeTravelsAs32Bits()
{
    QFETCH(qint64, stored);
    QFETCH(qint64, wire);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    list->setRequestedTime(stored);
    addItem(f.context(), list, QStringLiteral("i"), 1)->setRequestedTime(stored);

    PayloadBuilder builder(*f.document);
    const Alllists message = decode(builder.makeAllDataForTransfer({list}));
    QCOMPARE(qint64(message.todolist(0).requestedtime()), wire);
    QCOMPARE(qint64(message.todolist(0).todoitems(0).requestedtime()), wire);
}

void TestPayload::centerLosesItsFraction_data()
{
    QTest::addColumn<double>("stored");
    QTest::addColumn<int>("wire");
    QTest::newRow("whole") << 412.0 << 412;
    QTest::newRow("fraction") << 412.99 << 412;
    QTest::newRow("negative fraction") << -3.7 << -3;
    QTest::newRow("below one") << 0.5 << 0;
    QTest::newRow("beyond 32 bits") << 1e12 << std::numeric_limits<qint32>::max();
    QTest::newRow("not a number") << std::nan("") << 0;
}

void TestPayload::centerLosesItsFraction()
{
    QFETCH(double, stored);
    QFETCH(int, wire);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    list->setCenterX(stored);
    list->setCenterY(-stored);

    PayloadBuilder builder(*f.document);
    Todolist out;
    builder.makeDataForList(list, true, false, &out);
    QCOMPARE(out.centerx(), wire);
    if (!std::isnan(stored) && std::abs(stored) < 1e9)
        QCOMPARE(out.centery(), -wire);
}

void TestPayload::datesGoOutAsWholeSeconds_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<quint64>("wire");
    QTest::newRow("absent") << QDateTime() << quint64(0);
    QTest::newRow("1 June 2012 UTC") << QDateTime(QDate(2012, 6, 1), QTime(0, 0), Qt::UTC) << quint64(1338508800);
    QTest::newRow("fraction dropped") << QDateTime(QDate(2012, 6, 1), QTime(0, 0, 1, 999), Qt::UTC)
                                      << quint64(1338508801);
    QTest::newRow("local time") << QDateTime(QDate(2012, 6, 1), QTime(2, 0), Qt::LocalTime) << quint64(1338508800);
    QTest::newRow("before the epoch") << QDateTime(QDate(1960, 1, 1), QTime(0, 0), Qt::UTC) << quint64(0);
}

void TestPayload::datesGoOutAsWholeSeconds()
{
    QFETCH(QDateTime, date);
    QFETCH(quint64, wire);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    TODOItem *item = addItem(f.context(), list, QStringLiteral("i"), 1);
    item->setDueDate(date);
    item->setStartDate(date);
    item->setCreationDate(date);
    item->setCompletionDate(date);
    item->setUntilDate(date);

    PayloadBuilder builder(*f.document);
    WireItem out;
    builder.makeDataForItem(item, false, &out);
    QCOMPARE(quint64(out.duedate()), wire);
    QCOMPARE(quint64(out.startdate()), wire);
    QCOMPARE(quint64(out.creationdate()), wire);
    QCOMPARE(quint64(out.completiondate()), wire);
    QCOMPARE(quint64(out.untildate()), wire);
    QVERIFY(out.has_duedate() && out.has_untildate());
}

void TestPayload::listResourceUriIsItsURI_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("stored path") << 12 << QStringLiteral("/api/v1/project/99/") << QStringLiteral("/api/v1/project/99/");
    QTest::newRow("from id_") << 12 << QString() << QStringLiteral("/api/v1/project/12/");
    QTest::newRow("never uploaded") << 0 << QString() << QString();
}

void TestPayload::listResourceUriIsItsURI()
{
    QFETCH(int, id);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    list->setId_(id);
    list->setResourceURI(stored);

    PayloadBuilder builder(*f.document);
    Todolist out;
    builder.makeDataForList(list, true, false, &out);
    QVERIFY(out.has_resourceuri());
    QCOMPARE(text(out.resourceuri()), expected);
}

void TestPayload::itemsAreOrderedByIndexDescending()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    addItem(f.context(), list, QStringLiteral("100"), 100);
    addItem(f.context(), list, QStringLiteral("-50"), -50);
    addItem(f.context(), list, QStringLiteral("300"), 300, RecordState::Trashed);
    addItem(f.context(), list, QStringLiteral("deleted"), 250, RecordState::Deleted);
    addItem(f.context(), list, QStringLiteral("200"), 200, RecordState::Completed);

    PayloadBuilder builder(*f.document);
    const Alllists message = decode(builder.makeAllDataForTransfer({list}));
    QCOMPARE(itemNames(message.todolist(0)),
             (QStringList{QStringLiteral("300"), QStringLiteral("200"), QStringLiteral("100"), QStringLiteral("-50")}));
}

void TestPayload::textsTravelAsUtf8_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("empty") << QString();
    QTest::newRow("one letter") << QStringLiteral("a");
    QTest::newRow("seven ASCII") << QStringLiteral("abcdefg");
    QTest::newRow("eight ASCII") << QStringLiteral("abcdefgh");
    QTest::newRow("seventeen ASCII") << QStringLiteral("abcdefghijklmnopq");
    QTest::newRow("127 ASCII") << QString(127, QLatin1Char('x'));
    QTest::newRow("128 ASCII") << QString(128, QLatin1Char('y'));
    QTest::newRow("non-ASCII first") << QStringLiteral("Ärger im Büro");
    QTest::newRow("non-ASCII at 5") << QStringLiteral("Strasße");
    QTest::newRow("non-ASCII at 9") << QStringLiteral("abcdefghié");
    QTest::newRow("non-ASCII at 17") << QStringLiteral("abcdefghijklmnopqé tail");
    QTest::newRow("surrogate pair") << QStringLiteral("Party 🎉 time");
    QTest::newRow("CJK") << QStringLiteral("日本語のメモ");
    // 50 characters of two bytes: a one-byte length; 70 of them need two.
    QTest::newRow("100 bytes of é") << QString(50, QChar(0xe9));
    QTest::newRow("140 bytes of é") << QString(70, QChar(0xe9));
    QTest::newRow("long mixed") << QString(300, QLatin1Char('m')) + QStringLiteral("ü") + QString(300, QLatin1Char('n'));
    QTest::newRow("lone surrogate") << QString(QChar(0xd800)) + QStringLiteral("x");
}

void TestPayload::textsTravelAsUtf8()
{
    QFETCH(QString, value);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(value);
    TODOItem *item = addItem(f.context(), list, value, 1);
    item->setDescriptionRichText(value);
    item->setDescriptionText(value + value);
    item->setOwnerUsername(value);

    PayloadBuilder builder(*f.document);
    const QByteArray bytes = builder.makeAllDataForTransfer({list});
    const Alllists message = decode(bytes);
    QCOMPARE(message.todolist_size(), 1);
    const WireItem &out = message.todolist(0).todoitems(0);
    const QByteArray utf8 = value.toUtf8();
    QCOMPARE(QByteArray::fromStdString(message.todolist(0).name()), utf8);
    QCOMPARE(QByteArray::fromStdString(out.name()), utf8);
    QCOMPARE(QByteArray::fromStdString(out.descriptionrichtext()), utf8);
    QCOMPARE(QByteArray::fromStdString(out.descriptiontext()), (value + value).toUtf8());
    QCOMPARE(QByteArray::fromStdString(out.ownerusername()), utf8);
    // The fields around the texts are intact.
    QCOMPARE(text(out.editedbydevice()), expectedDeviceUID());
    QCOMPARE(out.index(), 1);
    QCOMPARE(encode(message), bytes);
}

void TestPayload::largeMessagesKeepTheirLengths()
{
    DocumentFixture f;
    TODOList *big = f.document->addNewProjectWithName(QStringLiteral("Big"));
    TODOList *empty = f.document->addNewProjectWithName(QStringLiteral("Empty"));
    // An item of more than 16 KB and one of more than 2 MB: lengths of three
    // and four bytes, where most items and lists need two and three.
    addItem(f.context(), big, QStringLiteral("large"), 2)->setDescriptionText(QString(20000, QLatin1Char('l')));
    addItem(f.context(), big, QStringLiteral("huge"), 1)->setDescriptionText(QString(2200000, QLatin1Char('h')));

    PayloadBuilder builder(*f.document);
    const QByteArray bytes = builder.makeAllDataForTransfer({empty, big});
    const Alllists message = decode(bytes);
    QCOMPARE(listNames(message), (QStringList{QStringLiteral("Empty"), QStringLiteral("Big")}));
    QCOMPARE(message.todolist(0).todoitems_size(), 0);
    QCOMPARE(itemNames(message.todolist(1)), (QStringList{QStringLiteral("large"), QStringLiteral("huge")}));
    QCOMPARE(message.todolist(1).todoitems(0).descriptiontext().size(), size_t(20000));
    QCOMPARE(message.todolist(1).todoitems(1).descriptiontext().size(), size_t(2200000));
    QCOMPARE(encode(message), bytes);

    // The same through the message-returning operations.
    Todolist list;
    builder.makeDataForList(big, true, false, &list);
    QCOMPARE(encode(list), encode(message.todolist(1)));
}

void TestPayload::payloadBytesAreTheCanonicalEncoding()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Grüne Liste"));
    list->setId_(-8);
    list->setCenterX(-12.5);
    list->setTimestamp(-1);
    list->setVersionID(std::numeric_limits<qint64>::min());
    list->setEdited_since(1);
    for (int i = 0; i < 5; ++i) {
        TODOItem *item = addItem(f.context(), list, QStringLiteral("Aufgabe %1 ✓").arg(i), i * 100 - 200);
        item->setId_(i - 2);
        item->setParentID(-i);
        item->setChildID(std::numeric_limits<qint32>::min() + i);
        item->setRequestedTime(-qint64(i));
        item->setEdited_since(i % 2);
        item->setDueDate(QDateTime(QDate(2030, 1, 1 + i), QTime(12, 0), Qt::UTC));
    }

    PayloadBuilder builder(*f.document);
    for (const QByteArray &bytes : {builder.makeAllDataForTransfer({list}), builder.makeUpdatedDataForTransfer({list}),
                                    builder.exportLists({list})}) {
        Alllists message;
        QVERIFY(message.ParseFromArray(bytes.constData(), int(bytes.size())));
        // Written again by protobuf, field for field the same bytes: every
        // field has its declared wire type, in ascending order, with minimal
        // lengths, and nothing unknown.
        QCOMPARE(encode(message), bytes);
        QVERIFY(message.unknown_fields().empty());
        QVERIFY(message.todolist(0).unknown_fields().empty());
        QCOMPARE(builder.allData({list}, false).encode(), builder.makeAllDataForTransfer({list}));
    }
}

void TestPayload::localDatesAroundOffsetChanges()
{
    // Instants chosen around the changes of Europe/Berlin (the zone the tests
    // run in) and on ordinary days; each goes out as its own seconds.
    const QList<qint64> instants{
        QDateTime(QDate(2024, 3, 31), QTime(0, 59, 59), Qt::UTC).toSecsSinceEpoch(),  // 01:59:59 CET
        QDateTime(QDate(2024, 3, 31), QTime(1, 0), Qt::UTC).toSecsSinceEpoch(),       // 03:00 CEST
        QDateTime(QDate(2024, 3, 31), QTime(22, 30), Qt::UTC).toSecsSinceEpoch(),     // 00:30 next day
        QDateTime(QDate(2024, 10, 27), QTime(0, 30), Qt::UTC).toSecsSinceEpoch(),     // 02:30 CEST
        QDateTime(QDate(2024, 10, 27), QTime(1, 30), Qt::UTC).toSecsSinceEpoch(),     // 02:30 CET
        QDateTime(QDate(2024, 10, 26), QTime(21, 59), Qt::UTC).toSecsSinceEpoch(),    // 23:59 the day before
        QDateTime(QDate(2024, 10, 27), QTime(23, 0), Qt::UTC).toSecsSinceEpoch(),     // midnight after
    };
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("Dates"));
    for (int i = 0; i < instants.size(); ++i) {
        TODOItem *item = addItem(f.context(), list, QString::number(i), 1000 - i);
        item->setDueDate(QDateTime::fromSecsSinceEpoch(instants[i]));
        item->setStartDate(QDateTime::fromSecsSinceEpoch(instants[i]).toTimeSpec(Qt::UTC));
    }

    PayloadBuilder builder(*f.document);
    const Alllists message = decode(builder.makeAllDataForTransfer({list}));
    QCOMPARE(message.todolist(0).todoitems_size(), int(instants.size()));
    for (int i = 0; i < instants.size(); ++i) {
        const WireItem &item = message.todolist(0).todoitems(i);
        QCOMPARE(text(item.name()), QString::number(i));
        QCOMPARE(qint64(item.duedate()), instants[i]);
        QCOMPARE(qint64(item.startdate()), instants[i]);
    }
}

// --- Lookups ------------------------------------------------------------------------------

void TestPayload::projectsByID()
{
    DocumentFixture f;
    TODOList *a = f.document->addNewProjectWithName(QStringLiteral("A"));
    TODOList *b = f.document->addNewProjectWithName(QStringLiteral("B"));
    TODOList *t = f.document->addNewProjectWithName(QStringLiteral("T"));
    a->setId_(4);
    b->setId_(9);
    t->setId_(12);
    f.document->projects().markProject(t, RecordState::Trashed);
    f.document->rearrangeProjectArrayController();

    PayloadBuilder builder(*f.document);
    const QHash<int, TODOList *> byID = builder.getProjectsByID();
    QCOMPARE(byID.size(), 3);
    QCOMPARE(byID.value(4), a);
    QCOMPARE(byID.value(9), b);
    QCOMPARE(byID.value(12), t);
}

void TestPayload::itemsByKeyForProject()
{
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    TODOItem *a = addItem(f.context(), list, QStringLiteral("a"), 100);
    TODOItem *trashed = addItem(f.context(), list, QStringLiteral("t"), 200, RecordState::Trashed);
    TODOItem *deleted = addItem(f.context(), list, QStringLiteral("d"), 300, RecordState::Deleted);
    a->setId_(1);
    trashed->setId_(2);
    deleted->setId_(3);

    PayloadBuilder builder(*f.document);
    const QHash<int, TODOItem *> byKey = builder.getItemsByKeyForProject(list);
    QCOMPARE(byKey.size(), 2);
    QCOMPARE(byKey.value(1), a);
    QCOMPARE(byKey.value(2), trashed);
    QVERIFY(!byKey.contains(3));
}

// --- Hashes -------------------------------------------------------------------------------

void TestPayload::hashAndSalt_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("digest");
    // Reference digests from sha1sum over "quietmarblefoxes" followed by the text.
    QTest::newRow("abc") << QStringLiteral("abc") << QStringLiteral("bd4edc77a3fbfb368dbcfca318fafbd1d1386f5c");
    QTest::newRow("empty") << QString() << QStringLiteral("ddd750d7f2cd458a90f099a51d278a5008594c94");
    QTest::newRow("UTF-8") << QStringLiteral("été") << QStringLiteral("a53dbb1099536cb0e15a2a0a33ca35f5b98c2c25");
    QTest::newRow("cut at NUL") << QString::fromUtf8("abc\0def", 7) << QStringLiteral("bd4edc77a3fbfb368dbcfca318fafbd1d1386f5c");
    QTest::newRow("leading NUL") << QString::fromUtf8("\0abc", 4) << QStringLiteral("ddd750d7f2cd458a90f099a51d278a5008594c94");
}

void TestPayload::hashAndSalt()
{
    QFETCH(QString, input);
    QFETCH(QString, digest);
    QCOMPARE(SyncUtils::HashAndSalt(input), digest);
}

void TestPayload::unsaltedSHA1_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("digest");
    // FIPS 180 examples.
    QTest::newRow("abc") << QByteArray("abc") << QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d");
    QTest::newRow("two blocks") << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                                << QStringLiteral("84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    QTest::newRow("empty") << QByteArray("") << QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

void TestPayload::unsaltedSHA1()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, digest);
    QCOMPARE(SyncUtils::SHA1(input.constData()), digest);
    QCOMPARE(SyncUtils::SHA1fromString(QString::fromUtf8(input)), digest);
}

void TestPayload::deviceUIDIsSaltedHostName()
{
    const QString uid = SyncUtils::getDeviceUID();
    QCOMPARE(uid, expectedDeviceUID());
    QCOMPARE(uid.size(), 40);
    QCOMPARE(SyncUtils::getDeviceUID(), uid);
}

// --- Paths and links ------------------------------------------------------------------------

void TestPayload::idFromURI_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<qint64>("id"); // -1: none
    QTest::newRow("item path") << QStringLiteral("/api/v1/item/123/") << qint64(123);
    QTest::newRow("no trailing slash") << QStringLiteral("/api/v1/item/123") << qint64(123);
    QTest::newRow("project path") << QStringLiteral("/api/v1/project/12/") << qint64(12);
    QTest::newRow("several trailing slashes") << QStringLiteral("/api/v1/item/8//") << qint64(8);
    QTest::newRow("only slashes") << QStringLiteral("///") << qint64(-1);
    QTest::newRow("empty") << QString() << qint64(-1);
    QTest::newRow("not a number") << QStringLiteral("/api/v1/item/abc/") << qint64(-1);
}

void TestPayload::idFromURI()
{
    QFETCH(QString, path);
    QFETCH(qint64, id);
    const std::optional<qint64> got = SyncUtils::idFromURI(path);
    QCOMPARE(got.has_value(), id >= 0);
    if (got)
        QCOMPARE(*got, id);
}

void TestPayload::linkPrefixesFollowTheSyncHost()
{
    DocumentFixture f;
    QCOMPARE(SyncUtils::urlPrefixForItems(), QStringLiteral("corvane://sync.example.com/api/v1/item/"));
    QCOMPARE(SyncUtils::urlPrefixForProjects(), QStringLiteral("corvane://sync.example.com/api/v1/project/"));
    Defaults::standard().setValue(QStringLiteral("syncServerBaseURL"), QStringLiteral("https://tasks.example.org:8443/base"));
    QCOMPARE(SyncUtils::urlPrefixForItems(), QStringLiteral("corvane://tasks.example.org/api/v1/item/"));
    QCOMPARE(SyncUtils::urlPrefixForProjects(), QStringLiteral("corvane://tasks.example.org/api/v1/project/"));
    QCOMPARE(SyncUtils::projectIDFromURL(QUrl(QStringLiteral("corvane://tasks.example.org/api/v1/project/12"))),
             std::optional<qint64>(12));
    QCOMPARE(SyncUtils::projectIDFromURL(QUrl(QStringLiteral("corvane://sync.example.com/api/v1/project/12"))),
             std::optional<qint64>());
}

void TestPayload::idFromURL_data()
{
    QTest::addColumn<bool>("project");
    QTest::addColumn<QString>("link");
    QTest::addColumn<qint64>("id"); // -1: none
    const QString host = QStringLiteral("corvane://sync.example.com/api/v1/");
    QTest::newRow("project 12") << true << host + QStringLiteral("project/12") << qint64(12);
    QTest::newRow("project, trailing slash") << true << host + QStringLiteral("project/12/") << qint64(12);
    QTest::newRow("project, other host") << true << QStringLiteral("corvane://other.example.net/api/v1/project/12") << qint64(-1);
    QTest::newRow("project, other scheme") << true << QStringLiteral("https://sync.example.com/api/v1/project/12") << qint64(-1);
    QTest::newRow("project, item link") << true << host + QStringLiteral("item/12") << qint64(-1);
    QTest::newRow("project, prefix alone") << true << host + QStringLiteral("project/") << qint64(-1);
    QTest::newRow("project, not a number") << true << host + QStringLiteral("project/twelve") << qint64(-1);
    QTest::newRow("item 77") << false << host + QStringLiteral("item/77") << qint64(77);
    QTest::newRow("item, trailing slash") << false << host + QStringLiteral("item/77/") << qint64(77);
    QTest::newRow("item, other host") << false << QStringLiteral("corvane://other.example.net/api/v1/item/77") << qint64(-1);
    QTest::newRow("item, project link") << false << host + QStringLiteral("project/77") << qint64(-1);
}

void TestPayload::idFromURL()
{
    QFETCH(bool, project);
    QFETCH(QString, link);
    QFETCH(qint64, id);
    DocumentFixture f;
    const std::optional<qint64> got = project ? SyncUtils::projectIDFromURL(QUrl(link)) : SyncUtils::itemIDFromURL(QUrl(link));
    QCOMPARE(got, id >= 0 ? std::optional<qint64>(id) : std::nullopt);
}

void TestPayload::urlForItem_data()
{
    QTest::addColumn<bool>("hasServerID");
    QTest::addColumn<qint64>("serverID");
    QTest::addColumn<QString>("link"); // empty: none
    QTest::newRow("77") << true << qint64(77) << QStringLiteral("corvane://sync.example.com/api/v1/item/77");
    QTest::newRow("zero") << true << qint64(0) << QString();
    QTest::newRow("absent") << false << qint64(0) << QString();
    QTest::newRow("32-bit value") << true << qint64(0x10000004DLL) << QStringLiteral("corvane://sync.example.com/api/v1/item/77");
}

void TestPayload::urlForItem()
{
    QFETCH(bool, hasServerID);
    QFETCH(qint64, serverID);
    QFETCH(QString, link);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    TODOItem *item = addItem(f.context(), list, QStringLiteral("i"), 1);
    item->setId_(77);
    if (hasServerID)
        item->setServerID(serverID);
    const std::optional<QUrl> url = SyncUtils::urlForItem(item);
    QCOMPARE(url.has_value(), !link.isEmpty());
    if (url) {
        QCOMPARE(url->toString(), link);
        QCOMPARE(SyncUtils::itemIDFromURL(*url), std::optional<qint64>(77));
    }
}

void TestPayload::urlForProject_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("link"); // empty: none
    QTest::newRow("12") << 12 << QStringLiteral("corvane://sync.example.com/api/v1/project/12");
    QTest::newRow("1") << 1 << QStringLiteral("corvane://sync.example.com/api/v1/project/1");
    QTest::newRow("zero") << 0 << QString();
    QTest::newRow("negative") << -4 << QString();
}

void TestPayload::urlForProject()
{
    QFETCH(int, id);
    QFETCH(QString, link);
    DocumentFixture f;
    TODOList *list = f.document->addNewProjectWithName(QStringLiteral("L"));
    list->setId_(id);
    const std::optional<QUrl> url = SyncUtils::urlForProject(list);
    QCOMPARE(url.has_value(), !link.isEmpty());
    if (url) {
        QCOMPARE(url->toString(), link);
        QCOMPARE(SyncUtils::projectIDFromURL(*url), std::optional<qint64>(id));
    }
}

void TestPayload::settingsDefaults()
{
    DocumentFixture f;
    QCOMPARE(SyncSettings::syncServerBaseURL(), QUrl(QStringLiteral("https://sync.example.com")));
    QCOMPARE(SyncSettings::syncServerHost(), QStringLiteral("sync.example.com"));
    QCOMPARE(SyncSettings::makerWebHost(), QStringLiteral("www.example.com"));
    QCOMPARE(SyncSettings::widgetsHost(), QStringLiteral("widgets.example.com"));
    QCOMPARE(SyncSettings::supportAddress(), QStringLiteral("support@example.com"));

    Defaults::standard().setValue(QStringLiteral("makerWebHost"), QStringLiteral("web.example.org"));
    QCOMPARE(SyncSettings::makerWebHost(), QStringLiteral("web.example.org"));
}

// --- Hexadecimal text ---------------------------------------------------------------------

void TestPayload::hexToBinary_data()
{
    QTest::addColumn<QByteArray>("hex");
    QTest::addColumn<QByteArray>("binary");
    QTest::newRow("lower case") << QByteArray("00ff10abcdef") << QByteArray::fromRawData("\x00\xff\x10\xab\xcd\xef", 6);
    QTest::newRow("upper case") << QByteArray("00FF10ABCDEF") << QByteArray::fromRawData("\x00\xff\x10\xab\xcd\xef", 6);
    QTest::newRow("mixed case") << QByteArray("aBcD") << QByteArray("\xab\xcd");
    QTest::newRow("invalid characters count 0") << QByteArray("g1z9-F") << QByteArray::fromRawData("\x01\x09\x0f", 3);
    QTest::newRow("odd length drops the last digit") << QByteArray("abc") << QByteArray("\xab");
    QTest::newRow("single digit") << QByteArray("f") << QByteArray();
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestPayload::hexToBinary()
{
    QFETCH(QByteArray, hex);
    QFETCH(QByteArray, binary);
    QCOMPARE(SyncUtils::hexToBinary(hex), binary);
}

QTEST_GUILESS_MAIN(TestPayload)
#include "tst_payload.moc"
