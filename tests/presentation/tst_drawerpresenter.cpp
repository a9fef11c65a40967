// The item drawer's rules without widgets: the notes check and the icon
// repair made before an item is shown, and the actions that change several
// attributes at once.
#include "DocumentFakes.h"
#include "DrawerPresenter.h"
#include "TestSupport.h"
#include "UndoManager.h"

#include <QDir>
#include <QImage>
#include <QTest>

namespace {

// An item of quadrant 0, selected and shown in the drawer, with the undo history empty.
struct Shown {
    DocumentFixture fx;
    TODOList *list = fx.selectedList();
    TODOItem *item = fx.item(0, QStringLiteral("a1"));
    DrawerPresenter presenter{fx.document.get()};

    explicit Shown(const QVariantMap &attributes)
    {
        for (auto it = attributes.begin(); it != attributes.end(); ++it)
            item->setValue(it.key(), it.value());
        fx.document->changeFiltersToNormal();
        fx.document->enableDidChangeContextNotifications();
        item->setEdited_since(0);
        fx.context()->processPendingChanges();
        fx.context()->undoManager()->removeAllActions();
    }
    void show()
    {
        ArrayController *controller = fx.document->controllerForQuadrant(0);
        controller->setSelectionIndexes({controller->indexOfArrangedObject(item)});
        presenter.openAndEditSelection(controller, false);
        fx.context()->processPendingChanges();
    }
};

} // namespace

class TestDrawerPresenter : public QObject
{
    Q_OBJECT
    QTemporaryDir m_icons;

private slots:
    void initTestCase();
    void repairsBeforeShowing_data();
    void repairsBeforeShowing();
    void actions_data();
    void actions();
};

// The built-in icons, and a few of our own that exist in one tier only.
void TestDrawerPresenter::initTestCase()
{
    for (const char *name : {"64solo128.png", "44duo.png", "32duo128.png"})
        QImage(4, 4, QImage::Format_ARGB32).save(m_icons.filePath(QLatin1String(name)));
    QDir::addSearchPath(QStringLiteral("icons"), QStringLiteral(":/icons"));
    QDir::addSearchPath(QStringLiteral("icons"), m_icons.path());
}

// The notes check, and the icon repair (the tier's copy, then the plain name, then the default icon).
void TestDrawerPresenter::repairsBeforeShowing_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QVariantMap>("shown");
    const auto notes = [](const char *name, const QString &rich, const QString &plain, const QString &shownRich,
                          const QString &shownPlain) {
        QTest::newRow(name) << QVariantMap{{"descriptionRichText", rich}, {"descriptionText", plain}}
                            << QVariantMap{{"descriptionRichText", shownRich}, {"descriptionText", shownPlain}};
    };
    const auto icon = [](const char *name, const QString &stored, const QString &shown) {
        QTest::newRow(name) << QVariantMap{{"icon", stored.isEmpty() ? QVariant() : QVariant(stored)}}
                            << QVariantMap{{"icon", shown}};
    };
    notes("one paragraph, same words", "<p>two  words</p>", "two words", "<p>two  words</p>", "two words");
    notes("no notes", "", "", "", "");
    notes("plain notes only", "", "call Bob\nat <5>", "call Bob<br>at &lt;5&gt;", "call Bob\nat <5>");
    notes("plain notes changed elsewhere", "<p>old text</p>", "new text here", "new text here", "new text here");
    // Plain notes are compared as the text they are, so markup characters in them agree.
    notes("plain notes with markup characters", "<p>x &lt;y&gt; <b>z</b></p>", "x <y> z", "<p>x &lt;y&gt; <b>z</b></p>", "x <y> z");
    // Empty plain notes never wipe the rich ones.
    notes("rich notes only", "<p>keep <b>this</b></p>", "", "<p>keep <b>this</b></p>", "keep this");
    icon("existing", "green_pen128.png", "green_pen128.png");
    icon("none", "", "empty_orange128.png");
    icon("without extension", "blue_star128", "blue_star128.png");
    icon("size mark of a missing tier", "32red_flag.png", "red_flag128.png");
    icon("64 tier after the plain names", "32solo128.png", "64solo128.png");
    icon("44 before 32", "duo128.png", "44duo.png");
    icon("nothing similar", "17green_pen128.png", "17green_pen128.png");
}

// A repair is no undo step; the notes check is no local edit either (not marked for upload).
void TestDrawerPresenter::repairsBeforeShowing()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QVariantMap, shown);
    LogCapture log;
    Shown s(stored);
    s.show();
    for (auto it = shown.begin(); it != shown.end(); ++it)
        QCOMPARE(s.item->value(it.key()).toString(), it.value().toString());
    if (!stored.contains("icon"))
        QCOMPARE(s.item->edited_since(), 0);
    QVERIFY(!s.fx.context()->undoManager()->canUndo());
    QVERIFY(DrawerPresenter::itemIsRichText(s.item));
}

void TestDrawerPresenter::actions_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QVariantMap>("before");
    QTest::addColumn<QVariantMap>("after");
    QTest::addColumn<int>("items"); // in the list afterwards

    const QVariant none;
    const QDateTime due = localTime(2026, 3, 12, 15, 45);
    const QDateTime start = localTime(2026, 3, 12, 9, 30);
    const QDateTime until = localTime(2026, 6, 1, 17, 0);
    const QVariantMap dated{{"dueDate", due}, {"startDate", start}, {"allDay", true}, {"frequency", "Weekly"}, {"untilDate", until}};
    // Now is 23:30, so an hour from now is tomorrow.
    QTest::newRow("dates on") << "dates on" << QVariantMap{}
                              << QVariantMap{{"dueDate", localTime(2026, 3, 11, 17, 0)}, {"allDay", false}, {"frequency", "Never"}, {"untilDate", none}} << 1;
    QTest::newRow("dates off") << "dates off" << dated
                               << QVariantMap{{"dueDate", none}, {"startDate", none}, {"allDay", false}, {"frequency", "Never"}, {"untilDate", none}} << 1;
    QTest::newRow("start off") << "start off" << dated << QVariantMap{{"startDate", none}, {"dueDate", due}} << 1;
    QTest::newRow("all day off") << "all day off" << dated << QVariantMap{{"allDay", false}, {"dueDate", due}, {"startDate", start}} << 1;
    QTest::newRow("repeat never") << "Never" << dated << QVariantMap{{"frequency", "Never"}, {"untilDate", none}} << 1;
    QTest::newRow("another repeat keeps the until date") << "Monthly" << dated << QVariantMap{{"frequency", "Monthly"}, {"untilDate", until}} << 1;
    QTest::newRow("done, recurring") << "100" << dated
                                     << QVariantMap{{"completionPercentage", 100}, {"state", 1}, {"completionDate", localTime(2026, 3, 10, 23, 30)}} << 2;
    QTest::newRow("the shown completion again") << "0" << QVariantMap{{"completionDate", due}}
                                                << QVariantMap{{"completionDate", due}} << 1;
}

void TestDrawerPresenter::actions()
{
    QFETCH(QString, action);
    QFETCH(QVariantMap, before);
    QFETCH(QVariantMap, after);
    LogCapture log;
    Clock::setNow(localTime(2026, 3, 10, 23, 30));
    Shown s(before);
    s.show();
    DrawerPresenter &p = s.presenter;
    bool percentage = false;
    const int completion = action.toInt(&percentage);
    if (percentage)
        p.completionSliderChanged(completion);
    else if (action.startsWith(QLatin1String("dates")))
        p.datesCheckBoxWasClicked(action.endsWith(QLatin1String("on")));
    else if (action.startsWith(QLatin1String("start")))
        p.hasStartDateCheckBoxWasClicked(action.endsWith(QLatin1String("on")));
    else if (action.startsWith(QLatin1String("all day")))
        p.allDayCheckBoxWasClicked(action.endsWith(QLatin1String("on")));
    else
        p.frequencyComboBoxWasChanged(action);
    for (auto it = after.begin(); it != after.end(); ++it)
        QCOMPARE(s.item->value(it.key()), it.value());
    QTEST(int(s.fx.document->getAllTODOItemsForTODOList(s.list).size()), "items");
}

QTEST_MAIN(TestDrawerPresenter)
#include "tst_drawerpresenter.moc"
