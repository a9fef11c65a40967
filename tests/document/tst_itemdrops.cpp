// Item drops: moves within a list and from another list, new items from
// other applications' drops, and the complete, trash and duplicate buttons.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "HtmlText.h"
#include "ItemDrops.h"
#include "QuadrantFilters.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QTest>

#include <algorithm>

namespace {

// What a copy or a clone does not share with its source.
const QStringList kIdentity{"id_", "serverID", "versionID", "boxFolderID", "resourceURI", "edited_since", "index",
                            "quadrant", "state", "owner", "ownerUsername"};

QString namesOf(const QList<ManagedObject *> &objects)
{
    QStringList names;
    for (const ManagedObject *object : objects)
        names << static_cast<const TODOItem *>(object)->name();
    return names.join(QLatin1Char(' '));
}

// The four quadrants' rows by name, "A B|C||D".
QString layoutOf(const MyDocument &document)
{
    QStringList quadrants;
    for (int q = 0; q < 4; ++q)
        quadrants << namesOf(document.controllerForQuadrant(q)->arrangedObjects());
    return quadrants.join(QLatin1Char('|'));
}

// Items in the selected list as a layout gives them, with every attribute
// filled, in display order by index; the quadrants sorted by a sort choice.
QMap<QString, TODOItem *> makeItems(DocumentFixture &f, TODOList *list, const QString &layout, int sortChoice = 0)
{
    for (int q = 0; q < 4; ++q)
        f.document->controllerForQuadrant(q)->setSortDescriptors(QuadrantFilters::sortDescriptorsForChoice(sortChoice));
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

// The record a drag of the named items out of their quadrant writes. With
// `topDuringDrag`, that item moves to the top afterwards (a merge during the
// drag), so the record's rows name other items by the time it is dropped.
PasteboardTypes::ItemArchive dragOf(DocumentFixture &f, const TODOList *list, const QMap<QString, TODOItem *> &items,
                                    const QString &names, const QString &topDuringDrag = {})
{
    PasteboardTypes::ItemArchive archive{{}, list->objectURI(), {}, true, false};
    for (const QString &name : names.split(QLatin1Char(' '))) {
        const TODOItem *item = items.value(name);
        archive.uris << item->objectURI();
        archive.rowIndexes << f.document->controllerForQuadrant(item->quadrant())->indexOfArrangedObject(item);
    }
    if (TODOItem *top = items.value(topDuringDrag))
        top->setIndex(100000);
    f.document->rearrangeArrayControllers();
    QCoreApplication::processEvents(); // the changes are announced and the turn's undo group closes
    return archive;
}

// Whether the rows of a quadrant show strictly descending indices (manual order holds).
bool indicesDescend(const ArrayController *controller)
{
    const QList<ManagedObject *> &rows = controller->arrangedObjects();
    return std::adjacent_find(rows.cbegin(), rows.cend(), [](const ManagedObject *a, const ManagedObject *b) {
               return static_cast<const TODOItem *>(a)->index() <= static_cast<const TODOItem *>(b)->index();
           }) == rows.cend();
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

enum Operation { Complete, Trash, Duplicate };
// What else happens between the drag and the drop.
enum Twist { NoTwist, Declined, OtherListSelected, CTrashedSince, NoRows };

} // namespace

Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(Twist)

class TestItemDrops : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(10, 0))); }

    void moveWithinList_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("dragged");
        QTest::addColumn<QString>("topDuringDrag");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("sortChoice");
        QTest::addColumn<QString>("expected"); // empty: refused, nothing changes
        QTest::addColumn<bool>("between");     // on the line above the row, not onto it

        // Moving down, the items go after the reference row: the one that stood at row 5.
        QTest::newRow("rows 2 and 3 of six onto row 4") << "A B C D E F|||" << "C D" << "" << 0 << 4 << 0 << "A B E F C D|||" << false;
        QTest::newRow("moving up, before the row") << "A B C D E F|||" << "E F" << "" << 0 << 1 << 0 << "A E F B C D|||" << false;
        QTest::newRow("into an empty quadrant") << "A B C|||" << "A B" << "" << 3 << 0 << 0 << "C|||A B" << false;
        QTest::newRow("a row past the end") << "A B|C D||" << "A B" << "" << 1 << 9 << 0 << "|C D A B||" << false;
        // Rows 1 and 2 hold A and B by the time of the drop: B and C still move.
        QTest::newRow("re-sorted during the drag") << "A B C D|||" << "B C" << "D" << 1 << 0 << 0 << "D A|B C||" << false;
        QTest::newRow("onto its own first row") << "A B C D|||" << "B C" << "" << 0 << 1 << 0 << "" << false;
        QTest::newRow("reorder in a sorted quadrant") << "A B C D|||" << "D" << "" << 0 << 0 << 1 << "" << false;
        // On the line between two rows the items land where the line is.
        QTest::newRow("between rows, moving down") << "A B C D|||" << "A" << "" << 0 << 3 << 0 << "B C A D|||" << true;
        QTest::newRow("between rows, moving up") << "A B C D|||" << "D" << "" << 0 << 1 << 0 << "A D B C|||" << true;
        QTest::newRow("between rows, around a dragged one") << "A B C D|||" << "B D" << "" << 0 << 2 << 0 << "A B D C|||" << true;
        QTest::newRow("below the last row") << "A B C D|||" << "B" << "" << 0 << 4 << 0 << "A C D B|||" << true;
        QTest::newRow("between sorted quadrants") << "B D|A C||" << "D" << "" << 1 << 0 << 1 << "B|A C D||" << false;
    }

    void moveWithinList()
    {
        QFETCH(QString, layout);
        QFETCH(QString, dragged);
        QFETCH(QString, topDuringDrag);
        QFETCH(int, target);
        QFETCH(int, row);
        QFETCH(int, sortChoice);
        QFETCH(QString, expected);
        QFETCH(bool, between);

        DocumentFixture f;
        TODOList *list = f.selectedList();
        const QMap<QString, TODOItem *> items = makeItems(f, list, layout, sortChoice);
        const PasteboardTypes::ItemArchive drag = dragOf(f, list, items, dragged, topDuringDrag);
        const QString layoutAtDrop = layoutOf(*f.document);
        // Only the place changes; a refused drop changes nothing at all.
        const QStringList moved = expected.isEmpty() ? QStringList() : QStringList{"index", "quadrant"};
        QList<QVariantMap> before;
        for (const TODOItem *item : items)
            before << attributeValues(item, moved);

        const bool accepted = f.document->itemDrops().handleTodoItem(
            drag, target, row, between ? ItemDrops::DropPosition::AboveRow : ItemDrops::DropPosition::OnRow);

        QCOMPARE(accepted, !expected.isEmpty());
        QCOMPARE(layoutOf(*f.document), accepted ? expected : layoutAtDrop);
        for (int i = 0; i < items.size(); ++i)
            QCOMPARE(attributeValues(items.values()[i], moved), before[i]);
        if (!accepted)
            return;
        QCOMPARE(namesOf(f.document->controllerForQuadrant(target)->selectedObjects()), dragged);
        for (int q = 0; q < 4; ++q) {
            QVERIFY(q == target || f.document->selectedItemsInQuadrant(q).isEmpty());
            QVERIFY(sortChoice != 0 || indicesDescend(f.document->controllerForQuadrant(q)));
        }
    }

    void moveFromOtherList_data()
    {
        QTest::addColumn<QString>("targetItems"); // quadrant 2 of the selected list
        QTest::addColumn<int>("sortChoice");
        QTest::addColumn<int>("percentage");
        QTest::addColumn<QString>("expected");

        QTest::newRow("to the top of a quadrant with rows") << "X Y" << 0 << 40 << "B C X Y";
        QTest::newRow("into an empty quadrant, completed") << "" << 0 << 100 << "B C";
        QTest::newRow("into a sorted quadrant") << "A0 Z" << 1 << 99 << "A0 B C Z";
    }

    void moveFromOtherList()
    {
        QFETCH(QString, targetItems);
        QFETCH(int, sortChoice);
        QFETCH(int, percentage);
        QFETCH(QString, expected);

        DocumentFixture f;
        TODOList *targetList = f.document->addNewProjectWithName(QStringLiteral("Target"));
        TODOList *source = f.selectedList(QStringLiteral("Source"));
        const QMap<QString, TODOItem *> items = makeItems(f, source, QStringLiteral("A B C|||"));
        for (TODOItem *item : items)
            item->setCompletionPercentage(percentage);
        const PasteboardTypes::ItemArchive drag = dragOf(f, source, items, QStringLiteral("B C"));
        // The drag hovers over the sidebar, which selects the other list.
        f.document->selectProject(targetList);
        makeItems(f, targetList, QStringLiteral("||") + targetItems, sortChoice);
        const int itemCount = f.context()->count(TODOItem::EntityName);
        QCoreApplication::processEvents();

        QVERIFY(f.document->itemDrops().handleTodoItem(drag, 2, 1)); // the row is not used

        QCOMPARE(layoutOf(*f.document), QStringLiteral("||%1|").arg(expected));
        // The originals stay in their list, trashed, so that they can be undeleted there.
        QCOMPARE(statesOf(source), QStringLiteral("A:0 B:2 C:2"));
        for (const TODOItem *copy : targetList->contains()) {
            const TODOItem *original = items.value(copy->name());
            if (!original)
                continue;
            QVERIFY(copy->id_() != original->id_() && copy->serverID() == 0 && copy->resourceURI().isEmpty());
            QCOMPARE(copy->edited_since(), 1);
            QCOMPARE(copy->state(), int(percentage > 99 ? RecordState::Completed : RecordState::Open));
            QCOMPARE(attributeValues(copy, kIdentity), attributeValues(original, kIdentity));
        }
        QCOMPARE(f.calendar.calls, (QStringList{"delete B", "update B", "delete C", "update C"}));

        // One undo takes back the whole drop, in both lists.
        QCoreApplication::processEvents();
        f.document->undo();
        f.context()->processPendingChanges(); // the quadrants follow the store by themselves
        QCOMPARE(f.context()->count(TODOItem::EntityName), itemCount);
        QCOMPARE(statesOf(source), QStringLiteral("A:0 B:0 C:0"));
        QCOMPARE(layoutOf(*f.document), QStringLiteral("||%1|").arg(targetItems));
    }

    void addItemInTable_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("notes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expectedNotes");

        const QString hundred(100, QLatin1Char('a')), b(99, QLatin1Char('b'));
        QTest::newRow("100 characters kept") << hundred << "" << hundred << "";
        QTest::newRow("101 characters, cut and trimmed") << b + " c" << "" << b + "..." << b + " c";
        QTest::newRow("leading line break") << "\n  " + b << "" << b.left(97) + "..." << "\n  " + b;
        const QString markup("From: <bob@example.com> & co\nline 2");
        QTest::newRow("101 characters, notes with markup kept") << hundred + "d" << markup << hundred + "..." << markup;
        // Cutting inside the pair would leave half a character in the name.
        QTest::newRow("two-unit character at the cut") << b + QStringLiteral("\U0001F600g") << "" << b + "..."
                                                       << b + QStringLiteral("\U0001F600g");
    }

    void addItemInTable()
    {
        QFETCH(QString, title);
        QFETCH(QString, notes);
        QFETCH(QString, name);
        QFETCH(QString, expectedNotes);
        DocumentFixture f;
        makeItems(f, f.selectedList(), QStringLiteral("|X Y||"));

        TODOItem *item = f.document->itemDrops().addItemInTable(1, title, notes, "green_world128.png", "https://example.com/");

        QVERIFY(item);
        QCOMPARE(item->name(), name);
        QCOMPARE(item->descriptionText(), expectedNotes);
        QCOMPARE(HtmlText::toPlainText(item->descriptionRichText()).trimmed(), expectedNotes.trimmed());
        QVERIFY(item->icon() == "green_world128.png" && item->macResourceURL() == "https://example.com/");
        QCOMPARE(f.document->selectedItemsInQuadrant(1), QList<TODOItem *>{item});
        QVERIFY(indicesDescend(f.document->controllerForQuadrant(1)));
    }

    void actionButtons_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<Twist>("twist");
        QTest::addColumn<QString>("expected"); // the dragged list's items; empty: nothing happens

        // A and C are dragged; D moves to the top during the drag, so the rows
        // name D and A by the time of the drop. A is recurring: completing it
        // makes its next occurrence, open, in A's own list.
        QTest::newRow("complete") << Complete << NoTwist << "A:0 A:1 B:0 C:1 D:0";
        QTest::newRow("complete, sidebar switched lists") << Complete << OtherListSelected << "A:0 A:1 B:0 C:1 D:0";
        QTest::newRow("complete, one trashed since") << Complete << CTrashedSince << "A:0 A:1 B:0 C:2 D:0";
        QTest::newRow("trash") << Trash << NoTwist << "A:2 B:0 C:2 D:0";
        QTest::newRow("trash declined") << Trash << Declined << "";
        QTest::newRow("duplicate") << Duplicate << NoTwist << "A:0 A:0 B:0 C:0 C:0 D:0";
        QTest::newRow("duplicate, sidebar switched lists") << Duplicate << OtherListSelected << "A:0 A:0 B:0 C:0 C:0 D:0";
        // A copy on the pasteboard is no drag out of a quadrant.
        QTest::newRow("complete without rows") << Complete << NoRows << "";
    }

    void actionButtons()
    {
        QFETCH(Operation, operation);
        QFETCH(Twist, twist);
        QFETCH(QString, expected);

        DocumentFixture f;
        TODOList *other = f.document->addNewProjectWithName(QStringLiteral("Other"));
        TODOList *list = f.selectedList();
        const QMap<QString, TODOItem *> items = makeItems(f, list, QStringLiteral("|A B C D||"));
        items["A"]->setChildID(0);
        items["A"]->setDueDate(localTime(2026, 3, 12, 9));
        items["A"]->setFrequency(QStringLiteral("Daily"));
        items["A"]->setUntilDate(QDateTime());
        PasteboardTypes::ItemArchive drag = dragOf(f, list, items, QStringLiteral("A C"), QStringLiteral("D"));
        drag.hasRowIndexes = twist != NoRows;
        if (twist == CTrashedSince)
            items["C"]->setState(RecordState::Trashed);
        if (twist == OtherListSelected)
            f.document->selectProject(other);
        f.alerts.answer = twist != Declined;
        const QString before = statesOf(list);
        QCoreApplication::processEvents();

        ItemDrops &drops = f.document->itemDrops();
        QList<bool> outcomes;
        if (operation == Trash)
            drops.performTrash(drag, [&outcomes](bool acted) { outcomes << acted; });
        else
            outcomes << (operation == Complete ? drops.performComplete(drag) : drops.performDuplicate(drag));

        QCOMPARE(outcomes, QList<bool>{!expected.isEmpty()});
        QCOMPARE(statesOf(list), expected.isEmpty() ? before : expected);
        QVERIFY(other->contains().isEmpty());
        if (operation != Duplicate || expected.isEmpty())
            return;
        // Clones next to their sources, with their own identity and no owner.
        QVERIFY(twist == OtherListSelected || layoutOf(*f.document) == "|D A A B C C||");
        QVERIFY(indicesDescend(f.document->controllerForQuadrant(1)));
        for (const TODOItem *clone : list->contains()) {
            const TODOItem *source = items.value(clone->name());
            if (clone == source)
                continue;
            QVERIFY(clone->id_() != source->id_() && clone->serverID() == 0);
            QVERIFY(clone->owner().isEmpty() && clone->ownerUsername().isEmpty());
            QCOMPARE(attributeValues(clone, kIdentity), attributeValues(source, kIdentity));
        }
    }
};

QTEST_GUILESS_MAIN(TestItemDrops)
#include "tst_itemdrops.moc"
