// The quadrant filters and sort orders, and the date, filter and list helpers.

#include "ArrayController.h"
#include "DocumentFakes.h"
#include "Utils.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>

namespace {

// Collects log lines ("category|message") and their types while alive.
class LogCapture
{
public:
    LogCapture()
    {
        s_lines.clear();
        s_types.clear();
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    static QStringList lines() { return s_lines; }
    static QList<QtMsgType> types() { return s_types; }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        s_lines << QString::fromLatin1(context.category ? context.category : "") + QLatin1Char('|') + message;
        s_types << type;
    }
    static inline QStringList s_lines;
    static inline QList<QtMsgType> s_types;
    QtMessageHandler m_previous = nullptr;
};

QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

template<typename T>
QStringList namesOf(const QList<T *> &objects)
{
    QStringList names;
    for (const T *o : objects)
        names << static_cast<const TODOItem *>(o)->name();
    return names;
}

QStringList sorted(QStringList names)
{
    names.sort();
    return names;
}

QStringList arrangedNames(const MyDocument &document, int quadrant)
{
    return namesOf(document.controllerForQuadrant(quadrant)->arrangedObjects());
}

// An item of no list, straight in the store (for the helpers that take items).
TODOItem *looseItem(ManagedObjectContext *context, const QString &name)
{
    auto *item = context->insert<TODOItem>(TODOItem::EntityName);
    item->setName(name);
    return item;
}

} // namespace

class TestFilters : public QObject
{
    Q_OBJECT

private slots:
    void init() { Clock::setNow(QDateTime(QDate(2026, 3, 10), QTime(12, 0))); }
    void cleanup() { Clock::reset(); }

    // Quadrant filter
    void stateChoiceShowsMatchingAndNegativeStates_data();
    void stateChoiceShowsMatchingAndNegativeStates();
    void itemsStateFollowsTheChoice_data();
    void itemsStateFollowsTheChoice();
    void searchTextIsTakenLiterally_data();
    void searchTextIsTakenLiterally();
    void searchKeepsTheOtherFiltersWorking();
    void searchIgnoresCaseAndDiacriticsInNameAndNotes_data();
    void searchIgnoresCaseAndDiacriticsInNameAndNotes();
    void dateRangeFiltersTheQuadrants_data();
    void dateRangeFiltersTheQuadrants();
    void noBoundsMeansNoDateFilter_data();
    void noBoundsMeansNoDateFilter();
    void dueDateChoiceKeepsOnlyDatedItems_data();
    void dueDateChoiceKeepsOnlyDatedItems();
    void ownerFilter_data();
    void ownerFilter();
    void eachQuadrantLogsItsPredicate();
    void updateFiltersRefreshesSavesAndRepairsIndices();
    void basicFilterIgnoresTheChoices();

    // Sorting
    void sortOrders_data();
    void sortOrders();
    void allDayDueDatesFallBackToStartDates_data();
    void allDayDueDatesFallBackToStartDates();
    void unknownSortPositionChangesNothing_data();
    void unknownSortPositionChangesNothing();
    void manualOrderRepairsIndices();

    // Preferences
    void preferencesRoundTrip();

    // Date helpers
    void compareDates_data();
    void compareDates();
    void compareStartDatesFallsBackToCompletion();
    void daysFromDate_data();
    void daysFromDate();

    // Master list helpers
    void olderFirstPutsUndatedItemsLast();
    void sortByIndexAndName();
    void filterBySearchFieldOnGroups();
    void filterByOwnerOnGroups();
};

// --- Quadrant filter ------------------------------------------------------------------

void TestFilters::stateChoiceShowsMatchingAndNegativeStates_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("expectedElsewhere");
    QTest::newRow("all") << 0 << QStringList{"completed", "negative", "open"} << QStringList{"open elsewhere"};
    QTest::newRow("open only") << 1 << QStringList{"negative", "open"} << QStringList{"open elsewhere"};
    QTest::newRow("completed only") << 2 << QStringList{"completed", "negative"} << QStringList{};
}

void TestFilters::stateChoiceShowsMatchingAndNegativeStates()
{
    QFETCH(int, choice);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, expectedElsewhere);

    DocumentFixture f;
    f.selectedList();
    f.item(0, "open")->setState(RecordState::Open);
    f.item(0, "completed")->setState(RecordState::Completed);
    f.item(0, "trashed")->setState(RecordState::Trashed);
    f.item(0, "deleted")->setState(RecordState::Deleted);
    f.item(0, "negative")->setState(-1);
    f.item(1, "open elsewhere")->setState(RecordState::Open);

    f.document->filters().setShowingChoice(choice);
    f.document->updateFilters();

    QCOMPARE(sorted(arrangedNames(*f.document, 0)), expected);
    QCOMPARE(arrangedNames(*f.document, 1), expectedElsewhere);
}

void TestFilters::itemsStateFollowsTheChoice_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("state");
    QTest::newRow("all") << 0 << -1;
    QTest::newRow("open") << 1 << 0;
    QTest::newRow("completed") << 2 << 1;
    QTest::newRow("unknown") << 7 << -1;
}

void TestFilters::itemsStateFollowsTheChoice()
{
    QFETCH(int, choice);
    QFETCH(int, state);
    DocumentFixture f;
    f.document->filters().setShowingChoice(choice);
    QCOMPARE(f.document->itemsState(), state);
}

void TestFilters::searchTextIsTakenLiterally_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("expected");
    const QString all = QStringLiteral("Bob's 100% \"done\" C:\\path");
    QTest::newRow("whole text") << all << QStringList{all};
    QTest::newRow("apostrophe and percent") << QStringLiteral("'s 100%") << QStringList{all};
    QTest::newRow("percent") << QStringLiteral("%") << QStringList{all, "rate 5%"};
    QTest::newRow("apostrophe") << QStringLiteral("'") << QStringList{all, "Bob's 100 done", "O'Neil"};
    QTest::newRow("double quote") << QStringLiteral("\"") << QStringList{all};
    QTest::newRow("backslash") << QStringLiteral("\\") << QStringList{all};
    QTest::newRow("quote closing a format") << QStringLiteral("') OR (name contains '") << QStringList{};
    QTest::newRow("format placeholder") << QStringLiteral("%@") << QStringList{};
    QTest::newRow("wildcard star") << QStringLiteral("*") << QStringList{};
}

void TestFilters::searchTextIsTakenLiterally()
{
    QFETCH(QString, search);
    QFETCH(QStringList, expected);

    DocumentFixture f;
    f.selectedList();
    const QStringList names{QStringLiteral("Bob's 100% \"done\" C:\\path"), "Bob's 100 done", "O'Neil", "rate 5%", "plain"};
    for (const QString &name : names)
        f.item(0, name);

    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->filters().setSearchText(search);
    f.document->updateFilters();

    QCOMPARE(sorted(arrangedNames(*f.document, 0)), sorted(expected));
}

void TestFilters::searchKeepsTheOtherFiltersWorking()
{
    DocumentFixture f;
    f.selectedList();
    f.item(0, "it's 50% \"x\"");
    f.item(0, "done: it's 50% \"x\"")->setState(RecordState::Completed);
    f.item(0, "trashed it's 50% \"x\"")->setState(RecordState::Trashed);
    f.item(1, "second it's 50% \"x\"");
    f.item(0, "unrelated");

    f.document->filters().setShowingChoice(QuadrantFilters::ShowOpen);
    f.document->filters().setSearchText(QStringLiteral("it's 50% \"x\""));
    f.document->updateFilters();

    QCOMPARE(arrangedNames(*f.document, 0), QStringList{"it's 50% \"x\""});
    QCOMPARE(arrangedNames(*f.document, 1), QStringList{"second it's 50% \"x\""});

    f.document->filters().setShowingChoice(QuadrantFilters::ShowCompleted);
    f.document->updateFilters();
    QCOMPARE(arrangedNames(*f.document, 0), QStringList{"done: it's 50% \"x\""});
    QVERIFY(arrangedNames(*f.document, 1).isEmpty());
}

void TestFilters::searchIgnoresCaseAndDiacriticsInNameAndNotes_data()
{
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("name, plain letters") << "cafe" << QStringList{"Café Crème"};
    QTest::newRow("name, upper case with accent") << "CRÈME" << QStringList{"Café Crème"};
    QTest::newRow("notes") << "resume" << QStringList{"Report"};
    QTest::newRow("notes, upper case") << "RÉSUMÉ NOTES" << QStringList{"Report"};
    QTest::newRow("both") << "e" << QStringList{"Café Crème", "Report"};
    QTest::newRow("owner is not searched") << "zoe" << QStringList{};
    QTest::newRow("icon is not searched") << "star.png" << QStringList{};
    QTest::newRow("rich notes markup is not searched") << "<b>" << QStringList{};
}

void TestFilters::searchIgnoresCaseAndDiacriticsInNameAndNotes()
{
    QFETCH(QString, search);
    QFETCH(QStringList, expected);

    DocumentFixture f;
    f.selectedList();
    TODOItem *cafe = f.item(0, QStringLiteral("Café Crème"));
    cafe->setOwnerUsername(QStringLiteral("zoe"));
    cafe->setIcon(QStringLiteral("star.png"));
    TODOItem *report = f.item(0, QStringLiteral("Report"));
    report->setDescriptionRichText(QStringLiteral("<p><b>Résumé</b> notes</p>"));
    QVERIFY(report->descriptionText().contains(QStringLiteral("Résumé")));
    f.item(0, QStringLiteral("Buy milk"));

    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->filters().setSearchText(search);
    f.document->updateFilters();

    QCOMPARE(sorted(arrangedNames(*f.document, 0)), sorted(expected));
}

void TestFilters::dateRangeFiltersTheQuadrants_data()
{
    QTest::addColumn<QDateTime>("min");
    QTest::addColumn<QDateTime>("max");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDateTime>("due");
    QTest::addColumn<QDateTime>("completion");
    QTest::addColumn<bool>("passes");

    const QDateTime min = at(2026, 3, 1, 0, 0);
    const QDateTime max = at(2026, 3, 8, 0, 0);
    const QDateTime none;
    const QDateTime future = Utils::distantFuture();
    const QDateTime past = Utils::distantPast();

    // Minimum only.
    QTest::newRow("min only: due exactly at min") << min << future << none << min << none << true;
    QTest::newRow("min only: completed 1 s before min") << min << future << none << none << min.addSecs(-1) << false;
    QTest::newRow("min only: no dates") << min << future << none << none << none << true;
    QTest::newRow("min only: due long after") << min << future << none << at(2030, 1, 1) << none << true;
    QTest::newRow("min only: started before, due before") << min << future << min.addDays(-3) << min.addSecs(-1) << none << false;
    QTest::newRow("min only: absent max") << min << none << none << min.addSecs(-1) << none << false;

    // Maximum only.
    QTest::newRow("max only: due 1 s before max") << past << max << none << max.addSecs(-1) << none << true;
    QTest::newRow("max only: due at max") << past << max << none << max << none << false;
    QTest::newRow("max only: started long ago") << none << max << at(1990, 1, 1) << none << none << true;

    // Both bounds.
    QTest::newRow("both: start in range") << min << max << min.addDays(2) << none << none << true;
    QTest::newRow("both: completed at the last second") << min << max << none << none << max.addSecs(-1) << true;
    QTest::newRow("both: due at max, no start") << min << max << none << max << none << false;
    QTest::newRow("both: spanning the range") << min << max << min.addDays(-5) << max.addDays(5) << none << true;
    QTest::newRow("both: spanning, due exactly at max") << min << max << min.addSecs(-1) << max << none << true;
    QTest::newRow("both: starting after the range") << min << max << max.addDays(1) << max.addDays(2) << none << false;
    QTest::newRow("both: before the range") << min << max << min.addDays(-5) << min.addDays(-1) << min.addSecs(-1) << false;
    QTest::newRow("both: after the range") << min << max << max << max.addDays(1) << max.addDays(1) << false;
    QTest::newRow("both: only completion in range") << min << max << min.addDays(-9) << min.addDays(-2) << min.addDays(1) << true;
}

void TestFilters::dateRangeFiltersTheQuadrants()
{
    QFETCH(QDateTime, min);
    QFETCH(QDateTime, max);
    QFETCH(QDateTime, start);
    QFETCH(QDateTime, due);
    QFETCH(QDateTime, completion);
    QFETCH(bool, passes);

    DocumentFixture f;
    f.selectedList();
    TODOItem *item = f.item(2, QStringLiteral("dated"));
    item->setStartDate(start);
    item->setDueDate(due);
    item->setCompletionDate(completion);
    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);

    f.document->dateRangeWithMin(min, max);

    QCOMPARE(f.document->minDate(), min);
    QCOMPARE(f.document->maxDate(), max);
    QCOMPARE(arrangedNames(*f.document, 2), passes ? QStringList{"dated"} : QStringList{});
    // The helper gives the same answer on its own.
    QCOMPARE(Utils::filterItemsBetweenMinDate(min, max, Clock::now()).evaluate(item), passes);
}

void TestFilters::noBoundsMeansNoDateFilter_data()
{
    QTest::addColumn<QDateTime>("min");
    QTest::addColumn<QDateTime>("max");
    QTest::newRow("absent") << QDateTime() << QDateTime();
    QTest::newRow("distant past and future") << Utils::distantPast() << Utils::distantFuture();
    QTest::newRow("beyond the distant dates") << Utils::distantPast().addYears(-1) << Utils::distantFuture().addDays(1);
    QTest::newRow("distant past, absent max") << Utils::distantPast() << QDateTime();
}

void TestFilters::noBoundsMeansNoDateFilter()
{
    QFETCH(QDateTime, min);
    QFETCH(QDateTime, max);
    QVERIFY(Utils::filterItemsBetweenMinDate(min, max, Clock::now()).isNull());

    DocumentFixture f;
    f.selectedList();
    f.item(0, QStringLiteral("old"))->setCompletionDate(at(1980, 1, 1));
    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->dateRangeWithMin(min, max);
    QCOMPARE(arrangedNames(*f.document, 0), QStringList{"old"});
}

void TestFilters::dueDateChoiceKeepsOnlyDatedItems_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("withRange");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("all") << 0 << false << QStringList{"dated", "in range", "undated"};
    QTest::newRow("only dated") << 1 << false << QStringList{"dated", "in range"};
    QTest::newRow("other position means all") << 2 << false << QStringList{"dated", "in range", "undated"};
    QTest::newRow("only dated, with a date range") << 1 << true << QStringList{"in range"};
    QTest::newRow("all, with a date range") << 0 << true << QStringList{"in range", "undated"};
}

void TestFilters::dueDateChoiceKeepsOnlyDatedItems()
{
    QFETCH(int, choice);
    QFETCH(bool, withRange);
    QFETCH(QStringList, expected);

    DocumentFixture f;
    f.selectedList();
    f.item(0, "dated")->setDueDate(at(2026, 6, 1, 9, 0));
    f.item(0, "in range")->setDueDate(at(2026, 3, 12, 9, 0));
    f.item(0, "undated");
    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->filters().setHasDueDateChoice(choice);
    QCOMPARE(f.document->onlyDatedItems(), choice == 1);

    if (withRange)
        f.document->dateRangeWithMin(at(2026, 3, 10), at(2026, 3, 20));
    else
        f.document->updateFilters();

    QCOMPARE(sorted(arrangedNames(*f.document, 0)), expected);
}

void TestFilters::ownerFilter_data()
{
    QTest::addColumn<QStringList>("owners");
    QTest::addColumn<bool>("isNone");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("no names") << QStringList{} << true << QStringList{"ann's", "bob's", "nobody's", "o'hara's"};
    QTest::newRow("one name") << QStringList{"ann"} << false << QStringList{"ann's"};
    QTest::newRow("two names") << QStringList{"ann", "bob"} << false << QStringList{"ann's", "bob's"};
    QTest::newRow("unknown name") << QStringList{"zed"} << false << QStringList{};
    QTest::newRow("quotes in a name") << QStringList{"o'hara\""} << false << QStringList{"o'hara's"};
    QTest::newRow("part of a name") << QStringList{"an"} << false << QStringList{};
}

void TestFilters::ownerFilter()
{
    QFETCH(QStringList, owners);
    QFETCH(bool, isNone);
    QFETCH(QStringList, expected);

    DocumentFixture f;
    QList<TODOItem *> items;
    items << looseItem(f.context(), "ann's") << looseItem(f.context(), "bob's") << looseItem(f.context(), "nobody's")
          << looseItem(f.context(), "o'hara's");
    items[0]->setOwnerUsername("ann");
    items[1]->setOwnerUsername("bob");
    items[3]->setOwnerUsername("o'hara\"");

    const Predicate predicate = Utils::filterByOwnerUsernames(owners);
    QCOMPARE(predicate.isNull(), isNone);
    QStringList passing;
    for (TODOItem *item : items) {
        if (predicate.evaluate(item))
            passing << item->name();
    }
    QCOMPARE(sorted(passing), sorted(expected));
}

void TestFilters::eachQuadrantLogsItsPredicate()
{
    DocumentFixture f;
    f.selectedList();
    f.document->filters().setShowingChoice(QuadrantFilters::ShowOpen);
    f.document->filters().setSearchText(QStringLiteral("it's"));
    f.document->filters().setHasDueDateChoice(1);

    LogCapture capture;
    f.document->dateRangeWithMin(at(2026, 3, 1), at(2026, 3, 8));

    const QStringList lines = LogCapture::lines();
    for (int q = 0; q < 4; ++q) {
        // Due-date part first, then the date range, then quadrant, states, search and state choice.
        const QRegularExpression pattern(QStringLiteral("^corvane\\.document\\|%1 pred: dueDate != nil AND \\(.*startDate == nil.*\\) AND "
                                                        "quadrant == %1 AND state != 2 AND state != 3 AND "
                                                        "\\(name CONTAINS\\[cd\\] \"it's\" OR descriptionText CONTAINS\\[cd\\] \"it's\"\\) AND "
                                                        "\\(state == 0 OR state < 0\\)$")
                                             .arg(q));
        const auto hits = std::count_if(lines.cbegin(), lines.cend(), [&](const QString &l) { return pattern.match(l).hasMatch(); });
        QVERIFY2(hits == 1, qPrintable(QStringLiteral("quadrant %1 in:\n%2").arg(q).arg(lines.join('\n'))));
    }
    // In quadrant order, at info level.
    int previous = -1;
    for (int q = 0; q < 4; ++q) {
        const auto it = std::find_if(lines.cbegin(), lines.cend(),
                                     [&](const QString &l) { return l.startsWith(QStringLiteral("corvane.document|%1 pred: ").arg(q)); });
        QVERIFY(it != lines.cend());
        const int index = int(it - lines.cbegin());
        QVERIFY(index > previous);
        QCOMPARE(LogCapture::types().at(index), QtInfoMsg);
        previous = index;
    }

    // The basic text without any choice.
    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->filters().setSearchText(QString());
    f.document->filters().setHasDueDateChoice(0);
    f.document->dateRangeWithMin(QDateTime(), QDateTime());
    QVERIFY(LogCapture::lines().contains(QStringLiteral("corvane.document|3 pred: quadrant == 3 AND state != 2 AND state != 3")));
}

void TestFilters::updateFiltersRefreshesSavesAndRepairsIndices()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *a = f.item(0, "a");
    TODOItem *b = f.item(0, "b");
    a->setIndex(500);
    b->setIndex(500);
    f.view.calls.clear();
    f.document->filters().setShowingChoice(QuadrantFilters::ShowCompleted);

    f.document->updateFilters();
    QVERIFY(f.view.called("refreshListCells"));
    QVERIFY(f.view.called("reloadSidebar"));
    QCOMPARE(Defaults::standard().intValue("showingComboBox", -5), 2);
    // Both are hidden now (open items, completed shown); show them and repair.
    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->updateFilters();
    QVERIFY(a->index() != b->index());
}

void TestFilters::basicFilterIgnoresTheChoices()
{
    DocumentFixture f;
    f.selectedList();
    f.item(0, "open");
    f.item(0, "completed")->setState(RecordState::Completed);
    f.item(0, "trashed")->setState(RecordState::Trashed);
    f.item(1, "other quadrant");
    f.document->filters().setShowingChoice(QuadrantFilters::ShowOpen);
    f.document->filters().setSearchText(QStringLiteral("zzz"));
    f.document->filters().setHasDueDateChoice(1);
    f.document->dateRangeWithMin(at(2030, 1, 1), at(2030, 2, 1));
    QVERIFY(arrangedNames(*f.document, 0).isEmpty());

    f.document->changeFiltersToNormal();
    QCOMPARE(sorted(arrangedNames(*f.document, 0)), (QStringList{"completed", "open"}));
    QCOMPARE(arrangedNames(*f.document, 1), QStringList{"other quadrant"});
    // The controls keep their values.
    QCOMPARE(f.document->filters().searchText(), QStringLiteral("zzz"));
    QCOMPARE(f.document->itemsState(), 0);
    QVERIFY(f.document->onlyDatedItems());
}

// --- Sorting ----------------------------------------------------------------------------

void TestFilters::sortOrders_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("expected");
    // See sortOrders() for the items' values.
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
    QTest::newRow("12 timestamp ascending") << 12 << QStringList{"Banana", "cherry", "Date", "apple"};
}

void TestFilters::sortOrders()
{
    QFETCH(int, position);
    QFETCH(QStringList, expected);

    DocumentFixture f;
    f.selectedList();
    struct Values {
        const char *name;
        int index;
        QDateTime due;
        int percent;
        const char *icon;
        QDateTime created;
        QDateTime completed;
        int timestamp;
    };
    const Values values[] = {
        {"Banana", 300, at(2026, 3, 2, 10, 0), 50, "b.png", at(2026, 1, 4), at(2026, 2, 1), 10},
        {"apple", 100, at(2026, 3, 1, 10, 0), 0, "c.png", at(2026, 1, 2), QDateTime(), 40},
        {"cherry", 200, QDateTime(), 100, "a.png", at(2026, 1, 1), at(2026, 1, 15), 20},
        {"Date", 400, QDateTime(), 20, "d.png", at(2026, 1, 3), at(2026, 1, 20), 30},
    };
    // Created first and given their values afterwards: adding an item repairs
    // the indices of the rows already there.
    QList<TODOItem *> items;
    for (int q : {0, 3}) {
        for (const Values &v : values)
            items << f.item(q, QString::fromUtf8(v.name));
    }
    for (TODOItem *item : std::as_const(items)) {
        for (const Values &v : values) {
            if (item->name() != QString::fromUtf8(v.name))
                continue;
            item->setIndex(v.index);
            item->setDueDate(v.due);
            item->setCompletionPercentage(v.percent);
            item->setIcon(QString::fromUtf8(v.icon));
            item->setCreationDate(v.created);
            item->setCompletionDate(v.completed);
            item->setTimestamp(v.timestamp);
        }
    }
    f.document->filters().setShowingChoice(QuadrantFilters::ShowAll);
    f.document->updateFilters();
    // Start from another order, so that every position has to be installed.
    f.document->filters().setSortingChoice(position == 12 ? 11 : 12);
    f.document->updateSortDescriptors();
    QVERIFY(arrangedNames(*f.document, 0) != expected);
    f.view.calls.clear();

    f.document->filters().setSortingChoice(position);
    f.document->updateSortDescriptors();

    QCOMPARE(arrangedNames(*f.document, 0), expected);
    QCOMPARE(arrangedNames(*f.document, 3), expected);
    for (int q = 0; q < 4; ++q) {
        const QList<SortDescriptor> descriptors = f.document->controllerForQuadrant(q)->sortDescriptors();
        QCOMPARE(descriptors.size(), 1);
        QCOMPARE(descriptors.first().key(), f.document->sortDescriptors().first().key());
        QCOMPARE(descriptors.first().ascending(), f.document->sortDescriptors().first().ascending());
    }
    QVERIFY(f.view.called("refreshListCells"));
    QVERIFY(f.view.called("closeDrawer"));
    QCOMPARE(Defaults::standard().intValue("sortingComboBox", -1), position);
}

void TestFilters::allDayDueDatesFallBackToStartDates_data()
{
    QTest::addColumn<bool>("allDay");
    QTest::addColumn<QStringList>("expected");
    // "late" is due at 17:00 but started first; "early" is due at 09:00.
    QTest::newRow("all-day: same day, start dates decide") << true << QStringList{"late", "early"};
    QTest::newRow("timed: due times decide") << false << QStringList{"early", "late"};
}

void TestFilters::allDayDueDatesFallBackToStartDates()
{
    QFETCH(bool, allDay);
    QFETCH(QStringList, expected);

    DocumentFixture f;
    f.selectedList();
    TODOItem *early = f.item(0, "early");
    early->setDueDate(at(2026, 4, 2, 9, 0));
    early->setStartDate(at(2026, 3, 20, 8, 0));
    early->setAllDay(allDay);
    TODOItem *late = f.item(0, "late");
    late->setDueDate(at(2026, 4, 2, 17, 0));
    late->setStartDate(at(2026, 3, 18, 8, 0));
    late->setAllDay(allDay);

    QCOMPARE(Utils::compare(early->dueDate(), allDay, late->dueDate(), allDay), allDay ? 0 : -1);

    f.document->filters().setSortingChoice(2);
    f.document->updateSortDescriptors();
    QCOMPARE(arrangedNames(*f.document, 0), expected);
}

void TestFilters::unknownSortPositionChangesNothing_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("13") << 13;
    QTest::newRow("-1") << -1;
}

void TestFilters::unknownSortPositionChangesNothing()
{
    QFETCH(int, position);

    DocumentFixture f;
    f.selectedList();
    f.item(0, "b")->setCompletionPercentage(10);
    f.item(0, "a")->setCompletionPercentage(90);
    f.item(0, "c")->setCompletionPercentage(50);
    f.document->filters().setSortingChoice(4);
    f.document->updateSortDescriptors();
    const QStringList before = arrangedNames(*f.document, 0);
    QCOMPARE(before, (QStringList{"a", "c", "b"}));
    f.view.calls.clear();

    f.document->filters().setSortingChoice(position);
    LogCapture capture;
    f.document->updateSortDescriptors();

    QVERIFY(LogCapture::lines().contains(QStringLiteral("corvane.document|BUG in sorting")));
    QVERIFY(!f.view.called("refreshListCells"));
    QVERIFY(f.view.called("closeDrawer"));
    for (int q = 0; q < 4; ++q) {
        const QList<SortDescriptor> descriptors = f.document->controllerForQuadrant(q)->sortDescriptors();
        QCOMPARE(descriptors.size(), 1);
        QCOMPARE(descriptors.first().key(), QStringLiteral("completionPercentage"));
    }
    f.document->rearrangeArrayControllers();
    QCOMPARE(arrangedNames(*f.document, 0), before);
    QCOMPARE(Defaults::standard().intValue("sortingComboBox", -1), 4);
}

void TestFilters::manualOrderRepairsIndices()
{
    DocumentFixture f;
    f.selectedList();
    TODOItem *a = f.item(1, "a");
    TODOItem *b = f.item(1, "b");
    f.document->filters().setSortingChoice(1);
    f.document->updateSortDescriptors();
    a->setIndex(700);
    b->setIndex(700);

    f.document->filters().setSortingChoice(0);
    f.document->updateSortDescriptors();
    QVERIFY(a->index() != b->index());
    const QList<ManagedObject *> rows = f.document->controllerForQuadrant(1)->arrangedObjects();
    QCOMPARE(rows.size(), 2);
    QVERIFY(static_cast<TODOItem *>(rows[0])->index() > static_cast<TODOItem *>(rows[1])->index());
}

// --- Preferences --------------------------------------------------------------------------

void TestFilters::preferencesRoundTrip()
{
    DocumentFixture f;
    // Absent values fall back to the defaults.
    f.document->filters().setShowingChoice(0);
    f.document->filters().setSortingChoice(9);
    f.document->loadPreferences();
    QCOMPARE(f.document->filters().showingChoice(), 1);
    QCOMPARE(f.document->filters().sortingChoice(), 0);

    f.document->filters().setShowingChoice(2);
    f.document->filters().setSortingChoice(11);
    f.document->savePreferences();
    QFile file(f.dir.filePath(QStringLiteral("defaults.ini")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY2(text.contains("showingComboBox=2") && text.contains("sortingComboBox=11"), text.constData());

    f.document->filters().setShowingChoice(0);
    f.document->filters().setSortingChoice(0);
    f.document->loadPreferences();
    QCOMPARE(f.document->filters().showingChoice(), 2);
    QCOMPARE(f.document->filters().sortingChoice(), 11);
}

// --- Date helpers -------------------------------------------------------------------------

void TestFilters::compareDates_data()
{
    QTest::addColumn<QDateTime>("first");
    QTest::addColumn<bool>("firstAllDay");
    QTest::addColumn<QDateTime>("second");
    QTest::addColumn<bool>("secondAllDay");
    QTest::addColumn<int>("result");

    const QDateTime epoch = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    QTest::newRow("no dates") << QDateTime() << false << QDateTime() << false << 0;
    QTest::newRow("undated before dated") << QDateTime() << false << at(2026, 1, 1) << false << 1;
    QTest::newRow("dated before undated") << at(2026, 1, 1) << false << QDateTime() << false << -1;
    QTest::newRow("epoch counts as no date") << epoch << false << at(2026, 1, 1) << false << 1;
    QTest::newRow("one second after the epoch counts") << epoch.addSecs(1) << false << QDateTime() << false << -1;
    QTest::newRow("seconds ignored") << at(2026, 1, 1, 10, 0, 5) << false << at(2026, 1, 1, 10, 0, 50) << false << 0;
    QTest::newRow("minutes count") << at(2026, 1, 1, 10, 1) << false << at(2026, 1, 1, 10, 0, 59) << false << 1;
    QTest::newRow("all-day first: midnight before 08:00") << at(2026, 1, 1, 20, 0) << true << at(2026, 1, 1, 8, 0) << false << -1;
    QTest::newRow("both all-day, same day") << at(2026, 1, 1, 20, 0) << true << at(2026, 1, 1, 8, 0) << true << 0;
    QTest::newRow("both all-day, next day") << at(2026, 1, 1, 23, 59) << true << at(2026, 1, 2, 0, 1) << true << -1;
}

void TestFilters::compareDates()
{
    QFETCH(QDateTime, first);
    QFETCH(bool, firstAllDay);
    QFETCH(QDateTime, second);
    QFETCH(bool, secondAllDay);
    QFETCH(int, result);
    QCOMPARE(Utils::compare(first, firstAllDay, second, secondAllDay), result);
    QCOMPARE(Utils::compare(second, secondAllDay, first, firstAllDay), -result);
}

void TestFilters::compareStartDatesFallsBackToCompletion()
{
    DocumentFixture f;
    TODOItem *a = looseItem(f.context(), "a");
    TODOItem *b = looseItem(f.context(), "b");
    a->setStartDate(at(2026, 2, 1, 9, 0, 10));
    b->setStartDate(at(2026, 2, 1, 9, 0, 40));
    a->setCompletionPercentage(60);
    b->setCompletionPercentage(20);
    QCOMPARE(Utils::compareStartDates(a, b), 1);
    QCOMPARE(Utils::compareStartDates(b, a), -1);
    b->setCompletionPercentage(60);
    QCOMPARE(Utils::compareStartDates(a, b), 0);
    b->setStartDate(at(2026, 2, 1, 9, 1));
    QCOMPARE(Utils::compareStartDates(a, b), -1);
    b->setStartDate(QDateTime());
    QCOMPARE(Utils::compareStartDates(b, a), 1);
}

void TestFilters::daysFromDate_data()
{
    QTest::addColumn<QDateTime>("from");
    QTest::addColumn<QDateTime>("to");
    QTest::addColumn<int>("days");
    QTest::newRow("same day") << at(2026, 3, 10, 0, 1) << at(2026, 3, 10, 23, 59) << 0;
    QTest::newRow("late to early next day") << at(2026, 3, 10, 23, 59) << at(2026, 3, 11, 0, 1) << 1;
    QTest::newRow("earlier day") << at(2026, 3, 10, 8, 0) << at(2026, 3, 7, 20, 0) << -3;
    QTest::newRow("across the spring clock change") << at(2026, 3, 28, 12, 0) << at(2026, 3, 30, 1, 0) << 2;
}

void TestFilters::daysFromDate()
{
    QFETCH(QDateTime, from);
    QFETCH(QDateTime, to);
    QFETCH(int, days);
    QCOMPARE(Utils::daysFromDate(from, to), days);
    QCOMPARE(Utils::stripTimeOfDay(from), from.date().startOfDay());
    QCOMPARE(Utils::stripSeconds(at(2026, 3, 10, 14, 27, 59)), at(2026, 3, 10, 14, 27));
}

// --- Master list helpers -------------------------------------------------------------------

void TestFilters::olderFirstPutsUndatedItemsLast()
{
    DocumentFixture f;
    QList<TODOItem *> items;
    items << looseItem(f.context(), "third") << looseItem(f.context(), "undated 1") << looseItem(f.context(), "first")
          << looseItem(f.context(), "undated 2") << looseItem(f.context(), "second");
    items[0]->setDueDate(at(2026, 5, 3));
    items[2]->setDueDate(at(2026, 5, 1));
    items[4]->setDueDate(at(2026, 5, 1, 0, 1));

    const QList<TODOItem *> result = Utils::olderFirst(items);
    const QStringList names = namesOf(result);
    QCOMPARE(names.size(), 5);
    QCOMPARE(names.mid(0, 3), (QStringList{"first", "second", "third"}));
    QCOMPARE(sorted(names.mid(3)), (QStringList{"undated 1", "undated 2"}));
    // A new list: the input is left as it was.
    QCOMPARE(namesOf(items).first(), QStringLiteral("third"));
    QVERIFY(Utils::olderFirst({}).isEmpty());
}

void TestFilters::sortByIndexAndName()
{
    DocumentFixture f;
    QList<TODOItem *> items;
    items << looseItem(f.context(), "beta") << looseItem(f.context(), "Alpha") << looseItem(f.context(), "gamma");
    items[0]->setIndex(20);
    items[1]->setIndex(-5);
    items[2]->setIndex(300);

    QCOMPARE(namesOf(Utils::sortByIndex(items, true)), (QStringList{"Alpha", "beta", "gamma"}));
    QCOMPARE(namesOf(Utils::sortByIndex(items, false)), (QStringList{"gamma", "beta", "Alpha"}));
    items[1]->setName("alpha");
    items[0]->setName("Beta");
    QCOMPARE(namesOf(Utils::sortByAlphabetical(items, true)), (QStringList{"alpha", "Beta", "gamma"}));
    QCOMPARE(namesOf(Utils::sortByAlphabetical(items, false)), (QStringList{"gamma", "Beta", "alpha"}));
}

void TestFilters::filterBySearchFieldOnGroups()
{
    DocumentFixture f;
    TODOItem *pay = looseItem(f.context(), "Pay the 10% deposit");
    TODOItem *call = looseItem(f.context(), "Call");
    call->setDescriptionText(QStringLiteral("about the DÉPOSIT"));
    TODOItem *walk = looseItem(f.context(), "Walk");
    Utils::ItemGroups groups;
    groups.insert("today", {pay, walk});
    groups.insert("later", {call});
    groups.insert("someday", {walk});

    QVERIFY(Utils::filterItemsBySearchField(QString(), groups) == groups);
    QVERIFY(Utils::filterItemsBySearchField(QStringLiteral("x"), {}).isEmpty());

    const Utils::ItemGroups deposit = Utils::filterItemsBySearchField(QStringLiteral("deposit"), groups);
    QCOMPARE(sorted(deposit.keys()), (QStringList{"later", "today"}));
    QCOMPARE(namesOf(deposit.value("today")), QStringList{"Pay the 10% deposit"});
    QCOMPARE(namesOf(deposit.value("later")), QStringList{"Call"});

    const Utils::ItemGroups percent = Utils::filterItemsBySearchField(QStringLiteral("10%"), groups);
    QCOMPARE(percent.keys(), QStringList{"today"});
    QVERIFY(Utils::filterItemsBySearchField(QStringLiteral("nothing"), groups).isEmpty());
}

void TestFilters::filterByOwnerOnGroups()
{
    DocumentFixture f;
    TODOItem *a = looseItem(f.context(), "a");
    TODOItem *b = looseItem(f.context(), "b");
    TODOItem *c = looseItem(f.context(), "c");
    a->setOwnerUsername("ann");
    b->setOwnerUsername("bob");
    c->setOwnerUsername("ann");
    Utils::ItemGroups groups;
    groups.insert("q0", {a, b});
    groups.insert("q1", {b});
    groups.insert("q2", {c});

    const Utils::ItemGroups ann = Utils::filterItemsByOwner("ann", groups);
    QCOMPARE(sorted(ann.keys()), (QStringList{"q0", "q2"}));
    QCOMPARE(namesOf(ann.value("q0")), QStringList{"a"});
    QCOMPARE(namesOf(ann.value("q2")), QStringList{"c"});
    QVERIFY(Utils::filterItemsByOwner("ann", {}).isEmpty());
    QVERIFY(Utils::filterItemsByOwner("zed", groups).isEmpty());
}

QTEST_GUILESS_MAIN(TestFilters)
#include "tst_filters.moc"
