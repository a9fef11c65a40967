// Item drops: moves within a list and from another list, new items from
// other applications' drops, and the complete, trash and duplicate buttons.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "HtmlText.h"
#include "ItemDrops.h"
#include "QuadrantFilters.h"
#include "TestSupport.h"
#include "UndoManager.h"

#include <QCoreApplication>
#include <QTest>

namespace {

const QStringList kMovedAttributes{QStringLiteral("index"), QStringLiteral("quadrant")};
// What a copy or a clone does not share with its source.
const QStringList kIdentity{"id_", "serverID", "versionID", "boxFolderID", "resourceURI", "edited_since", "index",
                            "quadrant", "state", "owner", "ownerUsername"};

// Ends the event-loop turn: changes are announced and the turn's undo group closes.
void endTurn()
{
    QCoreApplication::processEvents();
}

QStringList namesOf(const QList<ManagedObject *> &objects)
{
    QStringList names;
    for (const ManagedObject *object : objects)
        names << static_cast<const TODOItem *>(object)->name();
    return names;
}

// The four quadrants' rows by name, "A B|C||D".
QString layoutOf(const MyDocument &document)
{
    QStringList quadrants;
    for (int q = 0; q < 4; ++q)
        quadrants << namesOf(document.controllerForQuadrant(q)->arrangedObjects()).join(QLatin1Char(' '));
    return quadrants.join(QLatin1Char('|'));
}

// Items in the selected list as a layout gives them, with every attribute
// filled, in display order by index.
QMap<QString, TODOItem *> makeItems(DocumentFixture &f, TODOList *list, const QString &layout)
{
    QMap<QString, TODOItem *> items;
    const QStringList quadrants = layout.split(QLatin1Char('|'));
    for (int q = 0; q < quadrants.size(); ++q) {
        const QStringList names = quadrants[q].split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (int i = 0; i < names.size(); ++i) {
            TODOItem *item = f.document->newItemForProject(list, q);
            fillAttributes(item, int(items.size()) * 50);
            item->setName(names[i]);
            item->setQuadrant(q);
            item->setState(RecordState::Open);
            item->setIndex(int(names.size() - i) * 100);
            items.insert(names[i], item);
        }
    }
    f.document->rearrangeArrayControllers();
    return items;
}

// The record a drag of these items out of their quadrant writes.
PasteboardTypes::ItemArchive dragOf(const MyDocument &document, const TODOList *list, const QList<TODOItem *> &items)
{
    PasteboardTypes::ItemArchive archive;
    archive.listUri = list->objectURI();
    archive.hasRowIndexes = true;
    for (TODOItem *item : items) {
        archive.uris << item->objectURI();
        archive.rowIndexes << document.controllerForQuadrant(item->quadrant())->indexOfArrangedObject(item);
    }
    return archive;
}

QList<TODOItem *> pick(const QMap<QString, TODOItem *> &items, const QString &names)
{
    QList<TODOItem *> picked;
    for (const QString &name : names.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        picked << items.value(name);
    return picked;
}

// Whether the rows of a quadrant show strictly descending indices (manual order holds).
bool indicesDescend(const ArrayController *controller)
{
    const QList<ManagedObject *> &rows = controller->arrangedObjects();
    for (int i = 1; i < rows.size(); ++i) {
        if (static_cast<TODOItem *>(rows[i - 1])->index() <= static_cast<TODOItem *>(rows[i])->index())
            return false;
    }
    return true;
}

// "name:state" of every item of a list, sorted.
QString statesOf(const TODOList *list)
{
    QStringList states;
    for (const TODOItem *item : list->contains())
        states << QStringLiteral("%1:%2").arg(item->name()).arg(item->state());
    states.sort();
    return states.join(QLatin1Char(' '));
}

void sortAllQuadrants(MyDocument &document, int sortChoice)
{
    for (int q = 0; q < 4; ++q)
        document.controllerForQuadrant(q)->setSortDescriptors(QuadrantFilters::sortDescriptorsForChoice(sortChoice));
}

enum Operation { Move, Complete, Trash, Duplicate };

} // namespace

Q_DECLARE_METATYPE(Operation)

class TestItemDrops : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(10, 0))); }

    void moveWithinList_data();
    void moveWithinList();

    void moveFromOtherList_data();
    void moveFromOtherList();

    void staleDragRows_data();
    void staleDragRows();

    void addItemInTable_data();
    void addItemInTable();

    void actionButtons_data();
    void actionButtons();
};

void TestItemDrops::moveWithinList_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("dragged");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("sortChoice");
    QTest::addColumn<QString>("expected"); // empty: refused

    // Moving down, the items go after the reference row: the one that stood at row 5.
    QTest::newRow("rows 2 and 3 of six onto row 4") << "A B C D E F|||" << "C D" << 0 << 4 << 0 << "A B E F C D|||";
    QTest::newRow("one item onto the row below itself") << "A B C D E F|||" << "B" << 0 << 2 << 0 << "A C B D E F|||";
    QTest::newRow("moving up, before the row") << "A B C D E F|||" << "E F" << 0 << 1 << 0 << "A E F B C D|||";
    QTest::newRow("into an empty quadrant") << "A B C|||" << "A B" << 3 << 0 << 0 << "C|||A B";
    QTest::newRow("onto a middle row of another quadrant") << "A B C|D E F||" << "A" << 1 << 1 << 0 << "B C|D A E F||";
    QTest::newRow("at the end of a non-empty quadrant") << "A B|C D||" << "A" << 1 << 2 << 0 << "B|C D A||";
    QTest::newRow("a row past the end") << "A B|C D||" << "A B" << 1 << 9 << 0 << "|C D A B||";
    QTest::newRow("onto its own first row") << "A B C D|||" << "B C" << 0 << 1 << 0 << "";
    QTest::newRow("reorder in a sorted quadrant") << "A B C D|||" << "D" << 0 << 0 << 1 << "";
    QTest::newRow("between sorted quadrants") << "B D|A C||" << "D" << 1 << 0 << 1 << "B|A C D||";
}

void TestItemDrops::moveWithinList()
{
    QFETCH(QString, layout);
    QFETCH(QString, dragged);
    QFETCH(int, target);
    QFETCH(int, row);
    QFETCH(int, sortChoice);
    QFETCH(QString, expected);

    DocumentFixture f;
    TODOList *list = f.selectedList();
    sortAllQuadrants(*f.document, sortChoice);
    const QMap<QString, TODOItem *> items = makeItems(f, list, layout);
    const PasteboardTypes::ItemArchive drag = dragOf(*f.document, list, pick(items, dragged));
    QMap<QString, QVariantMap> before;
    for (auto it = items.cbegin(); it != items.cend(); ++it)
        before.insert(it.key(), attributeValues(it.value()));
    endTurn();

    const bool accepted = f.document->itemDrops().handleTodoItem(drag, target, row);

    QCOMPARE(accepted, !expected.isEmpty());
    QCOMPARE(layoutOf(*f.document), accepted ? expected : layout);
    // Only the place changes; a refused drop changes nothing at all.
    for (auto it = items.cbegin(); it != items.cend(); ++it) {
        QVariantMap unchanged = before.value(it.key());
        for (const QString &name : accepted ? kMovedAttributes : QStringList())
            unchanged.remove(name);
        QCOMPARE(attributeValues(it.value(), accepted ? kMovedAttributes : QStringList()), unchanged);
        QCOMPARE(it.value()->list(), list);
    }
    if (!accepted)
        return;
    QCOMPARE(namesOf(f.document->controllerForQuadrant(target)->selectedObjects()).join(QLatin1Char(' ')), dragged);
    for (int q = 0; q < 4; ++q) {
        QVERIFY(q == target || f.document->selectedItemsInQuadrant(q).isEmpty());
        QVERIFY2(sortChoice != 0 || indicesDescend(f.document->controllerForQuadrant(q)), qPrintable(QString::number(q)));
    }
}

void TestItemDrops::moveFromOtherList_data()
{
    QTest::addColumn<QString>("targetItems"); // quadrant 2 of the selected list
    QTest::addColumn<int>("sortChoice");
    QTest::addColumn<int>("percentage");
    QTest::addColumn<QString>("expected");

    QTest::newRow("to the top of a quadrant with rows") << "X Y" << 0 << 40 << "B C X Y";
    QTest::newRow("into an empty quadrant, completed") << "" << 0 << 100 << "B C";
    QTest::newRow("into a sorted quadrant") << "A0 Z" << 1 << 99 << "A0 B C Z";
}

void TestItemDrops::moveFromOtherList()
{
    QFETCH(QString, targetItems);
    QFETCH(int, sortChoice);
    QFETCH(int, percentage);
    QFETCH(QString, expected);

    DocumentFixture f;
    TODOList *targetList = f.document->addNewProjectWithName(QStringLiteral("Target"));
    TODOList *source = f.selectedList(QStringLiteral("Source"));
    const QMap<QString, TODOItem *> items = makeItems(f, source, QStringLiteral("A B C|||"));
    for (TODOItem *item : items) {
        item->setCompletionPercentage(percentage);
        item->setDueDate(localTime(2026, 4, 1, 9));
    }
    const QList<TODOItem *> originals = pick(items, QStringLiteral("B C"));
    const PasteboardTypes::ItemArchive drag = dragOf(*f.document, source, originals);
    // The drag hovers over the sidebar, which selects the other list.
    f.document->selectProject(targetList);
    sortAllQuadrants(*f.document, sortChoice);
    makeItems(f, targetList, QStringLiteral("||") + targetItems);
    const int itemCount = f.context()->count(TODOItem::EntityName);
    endTurn();

    QVERIFY(f.document->itemDrops().handleTodoItem(drag, 2, 1));

    QCOMPARE(layoutOf(*f.document), QStringLiteral("||%1|").arg(expected));
    QMap<QString, TODOItem *> inTarget;
    for (TODOItem *item : targetList->contains())
        inTarget.insert(item->name(), item);
    const QList<TODOItem *> copies = pick(inTarget, QStringLiteral("B C"));
    for (int i = 0; i < originals.size(); ++i) {
        // The original stays in its list, trashed, so that it can be undeleted there.
        QCOMPARE(originals[i]->state(), int(RecordState::Trashed));
        QCOMPARE(originals[i]->list(), source);
        TODOItem *copy = copies[i];
        QVERIFY(copy && copy != originals[i]);
        QCOMPARE(copy->list(), targetList);
        QVERIFY(copy->id_() != originals[i]->id_());
        QVERIFY(copy->serverID() == 0 && copy->versionID() == 0 && copy->resourceURI().isEmpty());
        QCOMPARE(copy->edited_since(), 1);
        QCOMPARE(copy->state(), int(percentage > 99 ? RecordState::Completed : RecordState::Open));
        QCOMPARE(attributeValues(copy, kIdentity), attributeValues(originals[i], kIdentity));
    }
    QCOMPARE(f.calendar.calls, (QStringList{"delete B", "update B", "delete C", "update C"}));
    QCOMPARE(f.context()->undoManager()->undoActionName(), QStringLiteral("Move Items"));

    // One undo takes back the whole drop, in both lists.
    endTurn();
    f.document->undo();
    f.document->rearrangeArrayControllers();
    QCOMPARE(f.context()->count(TODOItem::EntityName), itemCount);
    QCOMPARE(statesOf(source), QStringLiteral("A:0 B:0 C:0"));
    QCOMPARE(layoutOf(*f.document), QStringLiteral("||%1|").arg(targetItems));
}

void TestItemDrops::staleDragRows_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("trashedSince");

    for (const auto &[name, operation] : {std::pair{"move", Move}, {"complete", Complete}, {"trash", Trash}, {"duplicate", Duplicate}}) {
        QTest::addRow("%s, re-sorted", name) << operation << false;
        QTest::addRow("%s, one item trashed since", name) << operation << true;
    }
}

void TestItemDrops::staleDragRows()
{
    QFETCH(Operation, operation);
    QFETCH(bool, trashedSince);

    DocumentFixture f;
    TODOList *list = f.selectedList();
    const QMap<QString, TODOItem *> items = makeItems(f, list, QStringLiteral("A B C D|||"));
    const PasteboardTypes::ItemArchive drag = dragOf(*f.document, list, pick(items, QStringLiteral("B C")));
    // During the drag a merge puts D on top: rows 1 and 2 now hold A and B.
    items["D"]->setIndex(1000);
    if (trashedSince)
        items["C"]->setState(RecordState::Trashed);
    f.document->rearrangeArrayControllers();
    QCOMPARE(layoutOf(*f.document), trashedSince ? QStringLiteral("D A B|||") : QStringLiteral("D A B C|||"));
    endTurn();

    ItemDrops &drops = f.document->itemDrops();
    bool acted = false;
    switch (operation) {
    case Move: acted = drops.handleTodoItem(drag, 1, 0); break;
    case Complete: acted = drops.performComplete(drag); break;
    case Trash: drops.performTrash(drag, [&acted](bool done) { acted = done; }); break;
    case Duplicate: acted = drops.performDuplicate(drag); break;
    }

    QVERIFY(acted);
    const QString expected[2][4] = {{"D A|B C||", "A:0 B:1 C:1 D:0", "A:0 B:2 C:2 D:0", "A:0 B:0 B:0 C:0 C:0 D:0"},
                                    {"D A|B||", "A:0 B:1 C:2 D:0", "A:0 B:2 C:2 D:0", "A:0 B:0 B:0 C:2 D:0"}};
    const QString &outcome = expected[trashedSince][operation];
    QCOMPARE(operation == Move ? layoutOf(*f.document) : statesOf(list), outcome);
}

void TestItemDrops::addItemInTable_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("notes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expectedNotes");

    const QString hundred(100, QLatin1Char('a'));
    QTest::newRow("100 characters kept") << hundred << "" << hundred << "";
    QTest::newRow("101 characters, cut and trimmed") << QString(99, 'b') + " c" << "" << QString(99, 'b') + "..."
                                                     << QString(99, 'b') + " c";
    QTest::newRow("leading line break") << "\n  " + QString(99, 'e') << "" << QString(97, 'e') + "..."
                                        << "\n  " + QString(99, 'e');
    QTest::newRow("101 characters, notes kept") << hundred + "d" << "kept" << hundred + "..." << "kept";
    // Cutting inside the pair would leave half a character in the name.
    QTest::newRow("two-unit character at the cut") << QString(99, 'f') + QStringLiteral("\U0001F600g") << "" << QString(99, 'f') + "..."
                                                   << QString(99, 'f') + QStringLiteral("\U0001F600g");
    QTest::newRow("notes with markup characters") << "Mail" << "From: Bob <bob@example.com> & co\nline 2" << "Mail"
                                                  << "From: Bob <bob@example.com> & co\nline 2";
}

void TestItemDrops::addItemInTable()
{
    QFETCH(QString, title);
    QFETCH(QString, notes);
    QFETCH(QString, name);
    QFETCH(QString, expectedNotes);

    DocumentFixture f;
    TODOList *list = f.selectedList();
    makeItems(f, list, QStringLiteral("|X Y||"));
    const QString url = QStringLiteral("https://example.com/page");

    TODOItem *item = f.document->itemDrops().addItemInTable(1, title, notes, QStringLiteral("green_world128.png"), url);

    QVERIFY(item);
    QCOMPARE(item->name(), name);
    QCOMPARE(item->descriptionText(), expectedNotes);
    QCOMPARE(HtmlText::toPlainText(item->descriptionRichText()).trimmed(), expectedNotes.trimmed());
    QCOMPARE(item->icon(), QStringLiteral("green_world128.png"));
    QCOMPARE(item->macResourceURL(), url);
    QCOMPARE(item->list(), list);
    QCOMPARE(f.document->selectedItemsInQuadrant(1), QList<TODOItem *>{item});
    QVERIFY(indicesDescend(f.document->controllerForQuadrant(1)));
}

void TestItemDrops::actionButtons_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<bool>("otherListSelected");
    QTest::addColumn<bool>("withRows");
    QTest::addColumn<QString>("expected"); // the source list's items; empty: nothing happens

    // A is recurring: completing it makes its next occurrence, open, in A's own list.
    QTest::newRow("complete") << Complete << true << false << true << "A:0 A:1 B:0 C:1";
    QTest::newRow("complete, sidebar switched lists") << Complete << true << true << true << "A:0 A:1 B:0 C:1";
    QTest::newRow("trash") << Trash << true << false << true << "A:2 B:0 C:2";
    QTest::newRow("trash declined") << Trash << false << false << true << "";
    QTest::newRow("duplicate") << Duplicate << true << false << true << "A:0 A:0 B:0 C:0 C:0";
    QTest::newRow("duplicate, sidebar switched lists") << Duplicate << true << true << true << "A:0 A:0 B:0 C:0 C:0";
    // A copy on the pasteboard is no drag out of a quadrant.
    QTest::newRow("complete without rows") << Complete << true << false << false << "";
    QTest::newRow("duplicate without rows") << Duplicate << true << false << false << "";
}

void TestItemDrops::actionButtons()
{
    QFETCH(Operation, operation);
    QFETCH(bool, confirm);
    QFETCH(bool, otherListSelected);
    QFETCH(bool, withRows);
    QFETCH(QString, expected);

    DocumentFixture f;
    TODOList *other = f.document->addNewProjectWithName(QStringLiteral("Other"));
    TODOList *list = f.selectedList();
    const QMap<QString, TODOItem *> items = makeItems(f, list, QStringLiteral("|A B C||"));
    for (TODOItem *item : items) {
        item->setOwner(QStringLiteral("alice-id"));
        item->setOwnerUsername(QStringLiteral("alice"));
        item->setCompletionPercentage(20);
        item->setFrequency(QString());
        item->setChildID(0);
    }
    items["A"]->setDueDate(localTime(2026, 3, 12, 9));
    items["A"]->setFrequency(QStringLiteral("Daily"));
    items["A"]->setUntilDate(QDateTime());
    PasteboardTypes::ItemArchive drag = dragOf(*f.document, list, pick(items, QStringLiteral("A C")));
    drag.hasRowIndexes = withRows;
    if (otherListSelected)
        f.document->selectProject(other);
    f.alerts.answer = confirm;
    const QString before = statesOf(list);
    endTurn();

    ItemDrops &drops = f.document->itemDrops();
    QList<bool> outcomes;
    switch (operation) {
    case Complete: outcomes << drops.performComplete(drag); break;
    case Trash: drops.performTrash(drag, [&outcomes](bool acted) { outcomes << acted; }); break;
    default: outcomes << drops.performDuplicate(drag); break;
    }

    QCOMPARE(outcomes, QList<bool>{!expected.isEmpty()});
    QCOMPARE(statesOf(list), expected.isEmpty() ? before : expected);
    QVERIFY(other->contains().isEmpty());
    if (operation != Duplicate || expected.isEmpty())
        return;
    // Clones next to their sources, with their own identity and no owner.
    if (!otherListSelected)
        QCOMPARE(layoutOf(*f.document), QStringLiteral("|A A B C C||"));
    for (const TODOItem *clone : list->contains()) {
        const TODOItem *source = items.value(clone->name());
        if (clone == source)
            continue;
        QVERIFY(clone->id_() != source->id_() && clone->serverID() == 0 && clone->resourceURI().isEmpty());
        QVERIFY(clone->owner().isEmpty() && clone->ownerUsername().isEmpty());
        QCOMPARE(source->ownerUsername(), QStringLiteral("alice"));
        QCOMPARE(attributeValues(clone, kIdentity), attributeValues(source, kIdentity));
    }
    QVERIFY(indicesDescend(f.document->controllerForQuadrant(1)));
}

QTEST_GUILESS_MAIN(TestItemDrops)
#include "tst_itemdrops.moc"
