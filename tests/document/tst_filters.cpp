// The quadrant filters and sort orders, their preferences, and the master list helpers.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "TestSupport.h"
#include "Utils.h"

#include <QTest>

namespace {

QStringList arrangedNames(const MyDocument &document, int quadrant)
{
    QStringList names;
    for (const ManagedObject *o : document.controllerForQuadrant(quadrant)->arrangedObjects())
        names << static_cast<const TODOItem *>(o)->name();
    return names;
}

void filter(DocumentFixture &f, int showing, const QString &search = {}, int dueDate = 0, const QDateTime &min = {},
            const QDateTime &max = {})
{
    f.document->filters().setShowingChoice(showing);
    f.document->filters().setSearchText(search);
    f.document->filters().setHasDueDateChoice(dueDate);
    f.document->dateRangeWithMin(min, max);
}

} // namespace

class TestFilters : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(localTime(2026, 3, 10, 12, 0)); }

    void stateAndSearch_data()
    {
        QTest::addColumn<int>("showing");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("basic");
        QTest::addColumn<QStringList>("expected");
        const QString odd = QStringLiteral("Bob's 100% \"done\" C:\\path");
        QTest::newRow("all states") << 0 << QString() << false << QStringList{odd, "Café Crème", "Report", "done", "negative", "rate 5%"};
        QTest::newRow("open only") << 1 << QString() << false << QStringList{odd, "Café Crème", "Report", "negative", "rate 5%"};
        QTest::newRow("completed only") << 2 << QString() << false << QStringList{"done", "negative"};
        QTest::newRow("percent") << 0 << "%" << false << QStringList{odd, "rate 5%"};
        QTest::newRow("quote closing a format") << 0 << "') OR (name contains '" << false << QStringList{};
        QTest::newRow("case and accents") << 0 << "CAFE CREME" << false << QStringList{"Café Crème"};
        QTest::newRow("notes, not their markup") << 0 << "RÉSUMÉ NOTES" << false << QStringList{"Report"};
        QTest::newRow("owner is not searched") << 0 << "zoe" << false << QStringList{};
        QTest::newRow("search with the state choice") << 2 << "o" << false << QStringList{"done"};
        // The basic filter (while a recurring item or an export is made) keeps the choices but ignores them.
        QTest::newRow("basic filter") << 2 << "zzz" << true << QStringList{odd, "Café Crème", "Report", "done", "negative", "rate 5%"};
    }

    void stateAndSearch()
    {
        QFETCH(int, showing);
        QFETCH(QString, search);
        QFETCH(bool, basic);

        DocumentFixture f;
        f.selectedList();
        f.item(0, QStringLiteral("Bob's 100% \"done\" C:\\path"));
        f.item(0, "rate 5%");
        f.item(0, "Café Crème")->setOwnerUsername("zoe");
        f.item(0, "Report")->setDescriptionRichText(QStringLiteral("<p><b>Résumé</b> notes</p>"));
        f.item(0, "done")->setState(RecordState::Completed);
        f.item(0, "negative")->setState(-1);
        f.item(0, "trashed")->setState(RecordState::Trashed);
        f.item(0, "deleted")->setState(RecordState::Deleted);

        filter(f, showing, search, basic ? 1 : 0, basic ? localTime(2030, 1, 1) : QDateTime());
        if (basic)
            f.document->changeFiltersToNormal();

        QStringList shown = arrangedNames(*f.document, 0);
        shown.sort();
        QTEST(shown, "expected"); // the rows written in code point order
        QCOMPARE(Defaults::standard().intValue(QStringLiteral("showingComboBox"), -5), showing);
    }

    void dateRange_data()
    {
        QTest::addColumn<QDateTime>("min");
        QTest::addColumn<QDateTime>("max");
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("due");
        QTest::addColumn<QDateTime>("completion");
        QTest::addColumn<int>("dueDateChoice");
        QTest::addColumn<bool>("passes");

        const QDateTime min = localTime(2026, 3, 1);
        const QDateTime max = localTime(2026, 3, 8);
        const QDateTime none;
        QTest::newRow("no bounds") << none << none << none << none << localTime(1980, 1, 1) << 0 << true;
        QTest::newRow("min: due exactly at min") << min << none << none << min << none << 0 << true;
        QTest::newRow("min: completed 1 s before") << min << none << none << none << min.addSecs(-1) << 0 << false;
        QTest::newRow("min: no dates at all") << min << none << none << none << none << 0 << true;
        QTest::newRow("max: due 1 s before") << none << max << none << max.addSecs(-1) << none << 0 << true;
        QTest::newRow("max: due at max") << none << max << none << max << none << 0 << false;
        QTest::newRow("both: spanning, due exactly at max") << min << max << min.addSecs(-1) << max << none << 0 << true;
        QTest::newRow("both: before the range") << min << max << min.addDays(-5) << min.addDays(-1) << min.addSecs(-1) << 0 << false;
        QTest::newRow("both: after the range") << min << max << max << max.addDays(1) << max.addDays(1) << 0 << false;
        QTest::newRow("both: only completion in range") << min << max << min.addDays(-9) << min.addDays(-2) << min.addDays(1) << 0 << true;
        QTest::newRow("only dated: undated hidden") << none << none << none << none << none << 1 << false;
        QTest::newRow("only dated: dated shown") << none << none << none << max << none << 1 << true;
        QTest::newRow("only dated: due outside the range") << min << max << none << max << none << 1 << false;
    }

    void dateRange()
    {
        QFETCH(QDateTime, min);
        QFETCH(QDateTime, max);
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, due);
        QFETCH(QDateTime, completion);
        QFETCH(int, dueDateChoice);
        QFETCH(bool, passes);

        DocumentFixture f;
        f.selectedList();
        TODOItem *item = f.item(2, "dated");
        item->setStartDate(start);
        item->setDueDate(due);
        item->setCompletionDate(completion);

        filter(f, QuadrantFilters::ShowAll, {}, dueDateChoice, min, max);
        QCOMPARE(arrangedNames(*f.document, 2), passes ? QStringList{"dated"} : QStringList{});
    }

    void sortOrders_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("expected");
        // See sortOrders() for the items' values. Each starts from order 12 (11 for 12).
        const QStringList byTimestamp{"Banana", "cherry", "Date", "apple"};
        QTest::newRow("0 index descending") << 0 << QStringList{"Date", "Banana", "cherry", "apple"};
        QTest::newRow("1 name, localised") << 1 << QStringList{"apple", "Banana", "cherry", "Date"};
        QTest::newRow("2 dates ascending, undated last") << 2 << QStringList{"apple", "Banana", "Date", "cherry"};
        QTest::newRow("3 dates descending, undated first") << 3 << QStringList{"cherry", "Date", "Banana", "apple"};
        QTest::newRow("4 completion descending") << 4 << QStringList{"cherry", "Banana", "Date", "apple"};
        QTest::newRow("5 completion ascending") << 5 << QStringList{"apple", "Date", "Banana", "cherry"};
        QTest::newRow("6 icon descending") << 6 << QStringList{"Date", "apple", "Banana", "cherry"};
        QTest::newRow("7 created, newest first") << 7 << QStringList{"Banana", "Date", "apple", "cherry"};
        QTest::newRow("8 created, oldest first") << 8 << QStringList{"cherry", "apple", "Date", "Banana"};
        QTest::newRow("9 completed, newest first") << 9 << QStringList{"Banana", "Date", "cherry", "apple"};
        QTest::newRow("10 completed, oldest first") << 10 << QStringList{"apple", "cherry", "Date", "Banana"};
        QTest::newRow("11 timestamp descending") << 11 << QStringList{"apple", "Date", "cherry", "Banana"};
        QTest::newRow("12 timestamp ascending") << 12 << byTimestamp;
        QTest::newRow("13 unknown: the order stays") << 13 << byTimestamp;
        QTest::newRow("-1 unknown: the order stays") << -1 << byTimestamp;
    }

    void sortOrders()
    {
        QFETCH(int, position);
        QFETCH(QStringList, expected);

        DocumentFixture f;
        TODOList *list = f.selectedList();
        const auto add = [&](const char *name, int index, const QDateTime &due, int percent, const char *icon,
                             const QDateTime &completed, int timestamp, int createdDay) {
            for (int q : {1, 3}) {
                TODOItem *item = f.document->newItemForProject(list, q);
                item->setName(QString::fromUtf8(name));
                item->setIndex(index);
                item->setDueDate(due);
                item->setCompletionPercentage(percent);
                item->setIcon(QString::fromUtf8(icon));
                item->setCompletionDate(completed);
                item->setTimestamp(timestamp);
                item->setCreationDate(localTime(2026, 1, createdDay));
            }
        };
        add("Banana", 300, localTime(2026, 3, 2, 10, 0), 50, "b.png", localTime(2026, 2, 1), 10, 4);
        add("apple", 100, localTime(2026, 3, 1, 10, 0), 0, "c.png", QDateTime(), 40, 2);
        add("cherry", 200, QDateTime(), 100, "a.png", localTime(2026, 1, 15), 20, 1);
        add("Date", 400, QDateTime(), 20, "d.png", localTime(2026, 1, 20), 30, 3);
        filter(f, QuadrantFilters::ShowAll);
        const int start = position == 12 ? 11 : 12;
        f.document->filters().setSortingChoice(start);
        f.document->updateSortDescriptors();

        f.document->filters().setSortingChoice(position);
        f.document->updateSortDescriptors();
        f.document->rearrangeArrayControllers();

        QCOMPARE(arrangedNames(*f.document, 1), expected);
        QCOMPARE(arrangedNames(*f.document, 3), expected);
        const bool known = position >= 0 && position < QuadrantFilters::SortChoiceCount;
        QCOMPARE(Defaults::standard().intValue("sortingComboBox", -5), known ? position : start);
    }

    // The date sorts run on keys derived once per item; the order, ties included,
    // is the one a stable sort with TODOItem::compareByDates gives.
    void dateSortsKeepTheComparatorsOrder()
    {
        const QList<QDateTime> dates{
            QDateTime(),                          // none
            utcTime(1969, 12, 31, 23, 59, 59),    // before the epoch: none
            utcTime(1970, 1, 1, 0, 0, 0, 999),    // not a whole second after the epoch: none
            utcTime(1970, 1, 1, 0, 0, 1),
            localTime(2026, 3, 2, 10, 15, 5),
            localTime(2026, 3, 2, 10, 15, 50),    // same minute, other seconds
            localTime(2026, 3, 2, 10, 16),
            localTime(2026, 3, 2),                // midnight: an all-day date of that day
            localTime(2026, 3, 2, 23, 59, 59),
            // Berlin's clocks go back an hour at 03:00 CEST on 2026-10-25.
            utcTime(2026, 10, 25, 0, 40),         // 02:40 CEST
            utcTime(2026, 10, 25, 1, 10, 30),     // 02:10 CET, later
            localTime(2026, 10, 25, 2, 10),
        };
        DocumentFixture f;
        TODOList *list = f.selectedList();
        for (int i = 0; i < 60; ++i) {
            TODOItem *item = f.document->newItemForProject(list, 0);
            item->setName(QString::number(i));
            item->setDueDate(dates[(i * 5) % dates.size()]);
            item->setStartDate(dates[(i * 7 + i / 12) % dates.size()]);
            item->setAllDay(i % 3 == 0);
            item->setCompletionPercentage(i % 4 == 0 ? 50 : 0);
        }
        filter(f, QuadrantFilters::ShowAll);
        for (const int position : {2, 3}) { // dates ascending, descending
            f.document->filters().setSortingChoice(0);
            f.document->updateSortDescriptors();
            QList<ManagedObject *> expected = f.document->controllerForQuadrant(0)->content();
            QCOMPARE(expected.size(), 60);
            f.document->filters().setSortingChoice(position);
            f.document->updateSortDescriptors();

            const int direction = position == 2 ? 1 : -1;
            std::stable_sort(expected.begin(), expected.end(), [direction](const ManagedObject *a, const ManagedObject *b) {
                return direction * static_cast<const TODOItem *>(a)->compareByDates(static_cast<const TODOItem *>(b)) < 0;
            });
            QStringList expectedNames;
            for (const ManagedObject *o : std::as_const(expected))
                expectedNames << static_cast<const TODOItem *>(o)->name();
            QCOMPARE(arrangedNames(*f.document, 0), expectedNames);
        }
    }

    // Rows with the same index are told apart when the manual order or a filter is installed.
    void manualOrderRepairsIndices()
    {
        DocumentFixture f;
        f.selectedList();
        TODOItem *a = f.item(1, "a");
        TODOItem *b = f.item(1, "b");
        for (const int sort : {1, 0}) {
            f.document->filters().setSortingChoice(sort);
            f.document->updateSortDescriptors();
            a->setIndex(700);
            b->setIndex(700);
            if (sort == 0) {
                filter(f, QuadrantFilters::ShowAll);
            } else {
                f.document->filters().setSortingChoice(0);
                f.document->updateSortDescriptors();
            }
            QVERIFY(a->index() != b->index());
            const QList<ManagedObject *> rows = f.document->controllerForQuadrant(1)->arrangedObjects();
            QVERIFY(static_cast<TODOItem *>(rows[0])->index() > static_cast<TODOItem *>(rows[1])->index());
        }
    }

    void storedChoicesAreLoaded()
    {
        DocumentFixture f;
        Defaults::standard().setValue(QStringLiteral("showingComboBox"), 2);
        Defaults::standard().setValue(QStringLiteral("sortingComboBox"), 11);
        f.document->loadPreferences();
        QCOMPARE(f.document->filters().showingChoice(), int(QuadrantFilters::ShowCompleted));
        QCOMPARE(f.document->filters().sortingChoice(), 11);
    }

    // Older first, as the master list groups items; its search is tst_masterlist's searchAndOwner.
    void olderFirst()
    {
        DocumentFixture f;
        f.selectedList();
        TODOItem *late = f.item(0, "late");
        TODOItem *undated = f.item(0, "undated");
        TODOItem *soon = f.item(0, "soon");
        late->setDueDate(localTime(2026, 5, 3));
        soon->setDueDate(localTime(2026, 5, 1));
        QCOMPARE(Utils::olderFirst({late, undated, soon}), (QList<TODOItem *>{soon, late, undated}));
    }
};

QTEST_GUILESS_MAIN(TestFilters)
#include "tst_filters.moc"
