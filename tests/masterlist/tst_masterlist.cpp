#include "DocumentFakes.h"
#include "MasterListDataSource.h"
#include "MasterListModel.h"
#include "TestSupport.h"
#include "UndoManager.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The rows as one line: "Home:|Milk|Work:|Report" (a group row ends in a colon).
QString rowsText(const MasterListDataSource &source)
{
    QStringList rows;
    for (int row = 0; row < source.rows().size(); ++row)
        rows << (source.groupListAt(row) ? source.groupListAt(row)->name() + u':' : source.itemAt(row)->name());
    return rows.join(u'|');
}

// "item|list|quadrant title|colour text|icon", empty for no item.
QString detailText(const MasterListDetail &detail)
{
    if (!detail.item)
        return {};
    return QStringList{detail.item->name(), detail.list->name(), detail.quadrantTitles.value(detail.quadrant),
                       detail.colorText, detail.item->icon()}
        .join(u'|');
}

} // namespace

class tst_MasterList : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<DocumentFixture> f;

    TODOList *list(const QString &name, int index)
    {
        TODOList *made = f->document->addNewProjectWithName(name);
        made->setIndex(index);
        return made;
    }

    TODOItem *item(TODOList *in, const QString &name, int index = 0, int quadrant = 0)
    {
        TODOItem *made = f->document->newItemForProject(in, quadrant);
        made->setName(name);
        made->setIndex(index);
        return made;
    }

    // "First:|ant|cat|Second:|bee" in every view but the dated ones.
    void twoLists()
    {
        TODOList *first = list(u"First"_s, 2), *second = list(u"Second"_s, 1);
        first->setTextFirstQuadrant(u"Now"_s);
        first->setColorFirstQuadrant(u"{0, 0, 1, 1}"_s);
        second->setTextThirdQuadrant(u"Soon"_s);
        second->setColorThirdQuadrant(u"{0, 1, 0, 1}"_s);
        second->setTextFourthQuadrant(u"Later"_s);
        second->setColorFourthQuadrant(u"{1, 0, 0, 1}"_s);
        item(first, u"ant"_s, 200);
        item(first, u"cat"_s, 100);
        item(second, u"bee"_s, 0, 3);
        f->context()->processPendingChanges();
    }

private slots:
    void init() { f = std::make_unique<DocumentFixture>(); }
    void cleanup() { f.reset(); }

    void views_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QDateTime>("due");
        QTest::addColumn<int>("state");
        QTest::addColumn<QStringList>("dateViews"); // of "overdue", "today", "week"

        const QDateTime noon = localTime(2024, 6, 12, 12);
        const QStringList todayAndWeek{"today", "week"};
        QTest::newRow("due this morning") << noon << localTime(2024, 6, 12) << 0 << todayAndWeek;
        QTest::newRow("due tonight") << noon << localTime(2024, 6, 12, 23, 59) << 0 << todayAndWeek;
        QTest::newRow("six days ahead") << noon << localTime(2024, 6, 18, 23, 59) << 0 << QStringList{"week"};
        QTest::newRow("seven days ahead") << noon << localTime(2024, 6, 19) << 0 << QStringList{};
        QTest::newRow("a second before midnight, due after it")
            << localTime(2024, 6, 12, 23, 59, 59) << localTime(2024, 6, 13, 0, 0, 1) << 0 << QStringList{"week"};
        QTest::newRow("a second after midnight, due before it")
            << localTime(2024, 6, 13, 0, 0, 1) << localTime(2024, 6, 12, 23, 59, 59) << 0 << QStringList{"overdue"};
        // The week over the spring change has an hour less; its seventh day is still outside.
        QTest::newRow("six days ahead over the spring change")
            << localTime(2024, 3, 30, 12) << localTime(2024, 4, 5, 23, 30) << 0 << QStringList{"week"};
        QTest::newRow("seven days ahead over the spring change")
            << localTime(2024, 3, 30, 12) << localTime(2024, 4, 6, 0, 30) << 0 << QStringList{};
        // The day of the autumn change has 25 hours, all of them today.
        QTest::newRow("late on the autumn change day")
            << localTime(2024, 10, 27, 0, 30) << localTime(2024, 10, 27, 23, 30) << 0 << todayAndWeek;
        QTest::newRow("due at the epoch: no date") << noon << QDateTime::fromSecsSinceEpoch(0) << 0 << QStringList{};
        QTest::newRow("completed") << noon << localTime(2024, 6, 11) << 1 << QStringList{};
    }

    // Each view lists exactly the open items it is about; a list with none has no group row.
    void views()
    {
        QFETCH(QDateTime, now);
        QFETCH(QDateTime, due);
        QFETCH(int, state);
        QFETCH(QStringList, dateViews);
        Clock::setNow(now);
        TODOItem *x = item(list(u"L"_s, 0), u"X"_s, 0, 2);
        x->setDueDate(due);
        x->setState(state);
        MasterListDataSource source(f->document.get());
        const QStringList modes{"overdue", "today", "week", "q1", "q2", "q3", "q4", "all"};
        for (int mode = 0; mode < modes.size(); ++mode) {
            source.setViewMode(mode);
            const bool shown = state == 0 && (dateViews.contains(modes[mode]) || modes[mode] == "q3"_L1 || modes[mode] == "all"_L1);
            QVERIFY2(rowsText(source) == (shown ? u"L:|X"_s : QString()), qPrintable(modes[mode]));
        }
    }

    void searchAndOwner_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<QList<int>>("ownerChoices"); // positions of the owner pop-up, in turn
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("rows");

        const QString all = u"Home:|Milk|Crème brûlée|Work:|Report|50% done"_s, ann = u"Home:|Milk|Work:|Report"_s;
        QTest::newRow("one character filters nothing") << u"m"_s << QList<int>{} << QString() << all;
        QTest::newRow("the second one does, in notes too") << u"mi"_s << QList<int>{} << QString() << ann;
        QTest::newRow("case and accents ignored") << u"CREME"_s << QList<int>{} << QString() << u"Home:|Crème brûlée"_s;
        QTest::newRow("taken literally") << u"0%"_s << QList<int>{} << QString() << u"Work:|50% done"_s;
        QTest::newRow("me only, exact name") << QString() << QList<int>{1} << u"ann"_s << ann;
        QTest::newRow("me only without a login") << QString() << QList<int>{1} << QString() << all;
        QTest::newRow("everyone again") << QString() << QList<int>{1, 0} << u"ann"_s << all;
        QTest::newRow("an unknown choice keeps the owner") << QString() << QList<int>{1, 2} << u"ann"_s << ann;
    }

    void searchAndOwner()
    {
        QFETCH(QString, search);
        QFETCH(QList<int>, ownerChoices);
        QFETCH(QString, login);
        if (!login.isEmpty())
            Defaults::standard().setValue(u"cv-login"_s, login);
        TODOList *home = list(u"Home"_s, 2), *work = list(u"Work"_s, 1);
        const QList<std::tuple<TODOList *, QString, QString, QString>> items{
            {home, u"Milk"_s, u"ann"_s, QString()}, {home, u"Crème brûlée"_s, u"bob"_s, u"dessert"_s},
            {work, u"Report"_s, u"ann"_s, u"milk figures"_s}, {work, u"50% done"_s, u"Ann"_s, QString()}};
        int index = 100;
        for (const auto &[in, name, owner, notes] : items) {
            TODOItem *made = item(in, name, index--);
            made->setOwnerUsername(owner);
            made->setDescriptionText(notes);
        }
        MasterListDataSource source(f->document.get());
        source.setViewMode(MasterView::All);
        for (int position : ownerChoices)
            source.updateOwnerFilter(position);
        source.setSearchString(search);
        QTEST(rowsText(source), "rows");
    }

    void storedChoices_data()
    {
        QTest::addColumn<QVariant>("groupOrder"); // "MasterListSorting"; invalid: absent
        QTest::addColumn<QVariant>("view");       // "kLastSelectedMasterListKey"
        QTest::addColumn<int>("itemOrder");       // the quadrants' sort choice
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("rows");

        QTest::newRow("nothing stored") << QVariant() << QVariant() << 0 << u"Overdue Items"_s << QString();
        QTest::newRow("by index, descending") << QVariant(0) << QVariant(7) << 0 << u"All Items"_s
                                              << u"beta:|b|Gamma:|g|Alpha:|x2|x1"_s;
        QTest::newRow("by index, ascending") << QVariant(1) << QVariant(3) << 0 << u"First Quadrant's Items"_s
                                             << u"Alpha:|x2|x1|Gamma:|g|beta:|b"_s;
        QTest::newRow("by name, any case") << QVariant(2) << QVariant(7) << 0 << u"All Items"_s
                                           << u"Alpha:|x2|x1|beta:|b|Gamma:|g"_s;
        QTest::newRow("Z to A, items in the quadrants' order") << QVariant(3) << QVariant(7) << 1 << u"All Items"_s
                                                               << u"Gamma:|g|beta:|b|Alpha:|x1|x2"_s;
        QTest::newRow("unknown order and view read as the first")
            << QVariant(9) << QVariant(12) << 0 << u"Overdue Items"_s << QString();
    }

    // The stored view and group order come back; values outside their tables read as the first.
    void storedChoices()
    {
        QFETCH(QVariant, groupOrder);
        QFETCH(QVariant, view);
        QFETCH(int, itemOrder);
        if (groupOrder.isValid())
            Defaults::standard().setValue(MasterListDataSource::SortingKey, groupOrder);
        if (view.isValid())
            Defaults::standard().setValue(MasterListDataSource::ViewModeKey, view);
        f->document->filters().setSortingChoice(itemOrder);
        TODOList *alpha = list(u"Alpha"_s, 1);
        item(alpha, u"x1"_s, 100);
        item(alpha, u"x2"_s, 200);
        item(list(u"beta"_s, 3), u"b"_s);
        item(list(u"Gamma"_s, 2), u"g"_s);
        MasterListDataSource source(f->document.get());
        source.reloadData();
        QTEST(source.windowTitle(), "title");
        QTEST(rowsText(source), "rows");

        // A view chosen in the toolbar is the one the next window opens with.
        source.showViewMode(MasterView::SecondQuadrant);
        MasterListDataSource next(f->document.get());
        next.reloadData();
        QCOMPARE(next.windowTitle(), u"Second Quadrant's Items"_s);
    }

    void completeAndReopen_data()
    {
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QString>("reloaded"); // the rows of "All Items" afterwards

        QTest::newRow("completed, reopened") << u"Never"_s << 2 << u"L:|X"_s;
        QTest::newRow("recurring, reopened") << u"Weekly"_s << 2 << u"L:|X|X"_s;
        QTest::newRow("recurring, completed twice: one next occurrence") << u"Weekly"_s << 3 << u"L:|X"_s;
    }

    // The done box of an overdue row completes and reopens the item; the row
    // stays until the view is reloaded, and each click is one undo step.
    void completeAndReopen()
    {
        QFETCH(QString, frequency);
        QFETCH(int, clicks);
        Clock::setNow(localTime(2024, 6, 12, 12));
        TODOList *l = list(u"L"_s, 0);
        TODOItem *x = item(l, u"X"_s);
        x->setDueDate(localTime(2024, 6, 11, 9));
        x->setFrequency(frequency);
        MasterListDataSource source(f->document.get());
        source.setViewMode(MasterView::Overdue);
        MasterListModel model(&source);
        UndoManager *undo = f->context()->undoManager();
        undo->removeAllActions();

        for (int click = 1; click <= clicks; ++click) {
            QVERIFY(model.setData(model.index(1), click % 2 ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
            QCOMPARE(x->state(), click % 2);
            QCOMPARE(x->completionPercentage(), click % 2 ? 100 : 0);
            QCOMPARE(rowsText(source), u"L:|X"_s);
        }
        QCOMPARE(l->contains().size(), frequency == "Weekly"_L1 ? 2 : 1);
        source.setViewMode(MasterView::All);
        QTEST(rowsText(source), "reloaded");

        for (int click = 0; click < clicks; ++click) {
            QVERIFY(undo->canUndo());
            undo->undo();
        }
        QCOMPARE(x->state(), 0);
        QCOMPARE(l->contains().size(), 1);
    }

    void selectionAndActions_data()
    {
        QTest::addColumn<int>("row"); // selected in the view; -1: as the rebuild left it
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("undoable");

        const QString bee = u"bee|Second|Later|{1, 0, 0, 1}|empty_orange128.png"_s;
        QTest::newRow("after a rebuild: the first item") << -1 << QString() << u"ant|First|Now|{0, 0, 1, 1}|empty_orange128.png"_s << false;
        QTest::newRow("an item of the second group") << 4 << QString() << bee << false;
        QTest::newRow("a group row shows nothing") << 3 << QString() << QString() << false;
        QTest::newRow("to the third quadrant") << 4 << u"quadrant 2"_s << u"bee|Second|Soon|{0, 1, 0, 1}|empty_orange128.png"_s << true;
        QTest::newRow("no fifth quadrant") << 4 << u"quadrant 4"_s << bee << false;
        QTest::newRow("icon") << 4 << u"icon star128.png"_s << u"bee|Second|Later|{1, 0, 0, 1}|star128.png"_s << true;
    }

    // The detail follows the selection and the item's changes, each change one undo step.
    void selectionAndActions()
    {
        QFETCH(int, row);
        QFETCH(QString, action);
        QFETCH(bool, undoable);
        f->document->setUp();
        twoLists();
        MasterListDataSource source(f->document.get());
        source.setViewMode(MasterView::All);
        MasterListModel model(&source);
        QVERIFY(!(model.flags(model.index(3)) & Qt::ItemIsSelectable));
        if (row >= 0)
            model.selectionModel()->select(model.index(row), QItemSelectionModel::ClearAndSelect);
        UndoManager *undo = f->context()->undoManager();
        undo->removeAllActions();
        const QString before = detailText(source.detail());

        const QString value = action.section(u' ', 1);
        if (action.startsWith("quadrant"_L1)) {
            source.changeQuadrant(value.toInt());
        } else if (action.startsWith("icon"_L1)) {
            source.setIcon(value);
        }
        QTEST(detailText(source.detail()), "detail");
        QCOMPARE(undo->canUndo(), undoable);
        if (undoable) {
            undo->undo();
            QCOMPARE(detailText(source.detail()), before);
        }
    }

    void modelRowChanges_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("emitted");
        QTest::addColumn<QString>("rows");

        QTest::newRow("an item completed") << u"complete"_s << QStringList{"changed 4-4"} << u"First:|ant|cat|Second:|bee"_s;
        QTest::newRow("a list renamed") << u"rename"_s << QStringList{"changed 0-0"} << u"Renamed:|ant|cat|Second:|bee"_s;
        QTest::newRow("an item deleted") << u"delete row 1"_s << QStringList{"removed 1-1", "changed 0-0"}
                                         << u"First:|cat|Second:|bee"_s;
        QTest::newRow("the last item of a group deleted") << u"delete row 4"_s << QStringList{"removed 3-4"} << u"First:|ant|cat"_s;
        QTest::newRow("a list deleted") << u"delete row 3"_s << QStringList{"removed 3-4"} << u"First:|ant|cat"_s;
        QTest::newRow("a search narrows") << u"search"_s << QStringList{"removed 3-4", "removed 1-1"} << u"First:|cat"_s;
    }

    // Edits and rebuilds reach views as row-level changes, never as a reset.
    void modelRowChanges()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, emitted);
        twoLists();
        MasterListDataSource source(f->document.get());
        source.setViewMode(MasterView::All);
        MasterListModel model(&source);
        QStringList log;
        connect(&model, &QAbstractItemModel::modelReset, this, [&]() { log << u"reset"_s; });
        connect(&model, &QAbstractItemModel::rowsRemoved, this,
                [&](const QModelIndex &, int from, int to) { log << u"removed %1-%2"_s.arg(from).arg(to); });
        connect(&model, &QAbstractItemModel::rowsInserted, this,
                [&](const QModelIndex &, int from, int to) { log << u"inserted %1-%2"_s.arg(from).arg(to); });
        connect(&model, &QAbstractItemModel::dataChanged, this,
                [&](const QModelIndex &from, const QModelIndex &to) { log << u"changed %1-%2"_s.arg(from.row()).arg(to.row()); });

        if (change == "complete"_L1)
            source.markAsDoneItemInRow(4);
        else if (change == "rename"_L1)
            source.groupListAt(0)->setName(u"Renamed"_s);
        else if (change.startsWith("delete"_L1))
            f->context()->deleteObject(source.rows().value(change.mid(11).toInt()));
        else
            source.setSearchString(u"ca"_s);
        f->context()->processPendingChanges();
        QVERIFY2(log == emitted, qPrintable(log.join(u", ")));
        QTEST(rowsText(source), "rows");
    }
};

QTEST_GUILESS_MAIN(tst_MasterList)
#include "tst_masterlist.moc"
