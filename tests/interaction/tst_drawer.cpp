// The item drawer and the icon browser driven as a user drives them: the
// drawer follows the selection, each control writes its attribute into the
// store as one undo step, the icon browser filters and chooses.
#include "DocumentFakes.h"
#include "DrawerControls.h"
#include "DrawerPresenter.h"
#include "IconBrowser.h"
#include "MyDrawerController.h"
#include "TestSupport.h"
#include "UndoManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QSlider>
#include <QTest>
#include <QTextEdit>

#include <functional>

using Edit = std::function<void(MyDrawerController &)>;
Q_DECLARE_METATYPE(Edit)

namespace {

// Two lists; the first, selected, has items in quadrants 0 and 2. The drawer
// is docked in a shown window.
struct Window {
    LogCapture log;
    DocumentFixture fx;
    TODOList *other = fx.selectedList(QStringLiteral("Other"));
    TODOList *list = fx.selectedList();
    QMainWindow window;
    MyDrawerController *drawer = new MyDrawerController(fx.document.get(), &window);

    Window()
    {
        for (const char *name : {"a1", "a2", "c1", "c2"}) {
            auto *item = fx.context()->insert<TODOItem>(TODOItem::EntityName);
            item->setList(list);
            item->setQuadrant(name[0] == 'a' ? 0 : 2);
            item->setName(QString::fromLatin1(name));
            item->setIcon(QStringLiteral("empty_orange128.png"));
            item->setIndex(1000 - 100 * (name[1] - '1'));
        }
        fx.document->changeFiltersToNormal();
        fx.context()->processPendingChanges();
        window.setCentralWidget(new QWidget);
        window.addDockWidget(Qt::RightDockWidgetArea, drawer);
        window.resize(900, 700);
        window.show();
    }
    // "2:0,1" selects rows 0 and 1 of quadrant 2; "-" clears the selection;
    // "L" selects the other list; "H" and "S" hide and show the drawer as the View menu does.
    void select(const QString &step)
    {
        if (step == QLatin1String("H") || step == QLatin1String("S")) {
            drawer->setDrawerShown(step == QLatin1String("S"));
        } else if (step == QLatin1String("L")) {
            fx.document->selectProject(other);
        } else if (step == QLatin1String("-")) {
            fx.document->selectItem(nullptr);
            fx.document->closeDrawer();
        } else {
            QList<int> rows;
            for (const QString &row : step.section(QLatin1Char(':'), 1).split(QLatin1Char(',')))
                rows << row.toInt();
            fx.document->controllerForQuadrant(step.section(QLatin1Char(':'), 0, 0).toInt())->setSelectionIndexes(rows);
        }
    }
    TODOItem *item(int q, int row) const
    {
        return static_cast<TODOItem *>(fx.document->controllerForQuadrant(q)->arrangedObjects().at(row));
    }
};

// Every attribute of an item, to see that an undo leaves nothing behind.
QVariantList snapshot(const TODOItem *item)
{
    QVariantList values;
    for (int a = 0; a < TODOItem::AttributeCount; ++a)
        values << item->value(TODOItem::attributeDescriptions()[a].name);
    return values;
}

} // namespace

class TestDrawer : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QDir::addSearchPath(QStringLiteral("icons"), QStringLiteral(":/icons")); }
    void cleanup() { Clock::reset(); }

    void follows_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("shown"); // the name field and the repeat; empty when the drawer has closed

        QTest::newRow("an item") << "0:0" << "a1 Never";
        QTest::newRow("across quadrants") << "0:0;2:1" << "c2 Weekly";
        QTest::newRow("two rows") << "0:0;0:0,1" << "";
        QTest::newRow("one row after two") << "0:0,1;0:1" << "a2 Never";
        QTest::newRow("another list") << "2:0;L" << "";
        QTest::newRow("none") << "0:1;-" << "";
        QTest::newRow("the same item after closing") << "0:0;-;0:0" << "a1 Never";
        QTest::newRow("hidden by the user") << "0:0;H;2:0" << "";
        QTest::newRow("shown again") << "0:0;H;2:0;S" << "c1 Never";
    }

    void follows()
    {
        QFETCH(QString, steps);
        QFETCH(QString, shown);
        Window w;
        w.item(0, 0)->setValue(QStringLiteral("frequency"), QString(""));  // as synced items have it
        w.item(2, 1)->setFrequency(QStringLiteral("Weekly"));
        for (const QString &step : steps.split(QLatin1Char(';'))) {
            w.select(step);
            QCoreApplication::processEvents();
        }
        if (shown.isEmpty()) {
            QTRY_VERIFY(!w.drawer->isVisible());
        } else {
            QTRY_VERIFY(w.drawer->isVisible());
            QCOMPARE(w.drawer->nameTextField()->text() + ' ' + w.drawer->repeatComboBox()->currentText(), shown);
            QVERIFY(w.drawer->widget()->isEnabled());
        }
    }

    void edits_data()
    {
        QTest::addColumn<QVariantMap>("before");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QVariantMap>("after");

        const QVariant none;
        const QDateTime due = localTime(2026, 3, 12, 15, 45);
        const QDateTime start = localTime(2026, 3, 12, 9, 30);
        const QVariantMap dated{{"dueDate", due}, {"startDate", start}, {"frequency", "Weekly"}, {"untilDate", localTime(2026, 6, 1)}};
        const auto click = [](auto button) { return Edit([button](MyDrawerController &d) { (d.*button)()->click(); }); };
        const auto clear = [](auto picker) { return Edit([picker](MyDrawerController &d) { (d.*picker)()->clearButton()->click(); }); };
        const auto key = [](auto control, Qt::Key key) { return Edit([=](MyDrawerController &d) { QTest::keyClick((d.*control)(), key); }); };
        using D = MyDrawerController;
        QTest::newRow("name") << QVariantMap{} << Edit([](D &d) { QTest::keyClicks(d.nameTextField(), "x"); }) << QVariantMap{{"name", "a1x"}};
        QTest::newRow("notes") << QVariantMap{{"descriptionRichText", "<p>call</p>"}, {"descriptionText", "call"}}
                               << Edit([](D &d) {
                                      d.notesTextView()->moveCursor(QTextCursor::End);
                                      QTest::keyClicks(d.notesTextView(), "s");
                                  })
                               << QVariantMap{{"descriptionText", "calls"}};
        QTest::newRow("due date") << dated << Edit([](D &d) { d.dueDateDatePicker()->editor()->setDateTime(localTime(2026, 4, 1, 8, 0)); })
                                  << QVariantMap{{"dueDate", localTime(2026, 4, 1, 8, 0)}, {"startDate", start}};
        QTest::newRow("until date by keyboard") << dated
                                                << Edit([](D &d) {
                                                       QDateTimeEdit *e = d.untilDateDatePicker()->editor();
                                                       e->setCurrentSection(QDateTimeEdit::YearSection);
                                                       QTest::keyClick(e, Qt::Key_Up);
                                                   })
                                                << QVariantMap{{"untilDate", localTime(2027, 6, 1)}};
        QTest::newRow("clearing the start date") << dated << clear(&D::startDateDatePicker) << QVariantMap{{"startDate", none}, {"dueDate", due}};
        QTest::newRow("clearing the due date") << dated << clear(&D::dueDateDatePicker)
                                               << QVariantMap{{"dueDate", none}, {"startDate", none}, {"frequency", "Never"}, {"untilDate", none}};
        QTest::newRow("clearing the completion date") << QVariantMap{{"completionDate", due}, {"completionPercentage", 100}, {"state", 1}}
                                                      << clear(&D::completedDateDatePicker) << QVariantMap{{"completionDate", none}, {"completionPercentage", 100}};
        QTest::newRow("dates box on") << QVariantMap{} << click(&D::datesCheckBox) << QVariantMap{{"dueDate", localTime(2026, 3, 10, 17, 0)}, {"frequency", "Never"}};
        QTest::newRow("start box on") << QVariantMap{{"dueDate", due}} << click(&D::hasStartDateCheckBox) << QVariantMap{{"startDate", localTime(2026, 3, 10, 16, 0)}};
        // Controls of absent dates rest.
        QTest::newRow("no start date without a due date") << QVariantMap{} << click(&D::hasStartDateCheckBox) << QVariantMap{{"startDate", none}};
        QTest::newRow("no until date without a repeat") << QVariantMap{{"dueDate", due}}
                                                        << Edit([](D &d) { QTest::keyClick(d.untilDateDatePicker()->editor(), Qt::Key_Up); })
                                                        << QVariantMap{{"untilDate", none}};
        QTest::newRow("all day") << dated << click(&D::allDayCheckBox)
                                 << QVariantMap{{"allDay", true}, {"dueDate", localTime(2026, 3, 12)}, {"startDate", localTime(2026, 3, 12)}};
        QTest::newRow("repeat") << QVariantMap{{"dueDate", due}} << key(&D::repeatComboBox, Qt::Key_Down)
                                << QVariantMap{{"frequency", "Daily"}, {"untilDate", localTime(2027, 3, 10, 17, 0)}};
        QTest::newRow("effort") << QVariantMap{{"effort", 2}} << key(&D::effortComboBox, Qt::Key_Down) << QVariantMap{{"effort", 3}};
        QTest::newRow("completion level") << QVariantMap{{"completionPercentage", 20}} << key(&D::completionLevelIndicator, Qt::Key_PageUp)
                                          << QVariantMap{{"completionPercentage", 30}, {"state", 0}};
        QTest::newRow("done box") << QVariantMap{{"completionPercentage", 20}} << click(&D::completionCheckBox)
                                  << QVariantMap{{"completionPercentage", 100}, {"state", 1}, {"completionDate", localTime(2026, 3, 10, 9, 0)}};
    }

    // The edit reaches the store at once; one undo takes all of it back.
    void edits()
    {
        QFETCH(QVariantMap, before);
        QFETCH(Edit, edit);
        QFETCH(QVariantMap, after);
        Clock::setNow(localTime(2026, 3, 10, 9, 0));
        Window w;
        TODOItem *item = w.item(0, 0);
        for (auto it = before.begin(); it != before.end(); ++it)
            item->setValue(it.key(), it.value());
        w.fx.context()->processPendingChanges();
        w.fx.context()->undoManager()->removeAllActions();
        const QVariantList original = snapshot(item);
        w.select(QStringLiteral("0:0"));
        QTRY_VERIFY(w.drawer->widget()->isEnabled());
        QCOMPARE(snapshot(item), original);

        edit(*w.drawer);
        w.fx.context()->processPendingChanges();
        for (auto it = after.begin(); it != after.end(); ++it)
            QCOMPARE(item->value(it.key()), it.value());
        w.fx.document->undo();
        w.fx.context()->processPendingChanges();
        QCOMPARE(snapshot(item), original);
        QVERIFY(!w.fx.context()->undoManager()->canUndo());
    }

    void iconBrowser_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("shown");

        QTest::newRow("two words") << "Red P" << QStringList{"red_pin128.png"};
        QTest::newRow("a colour") << "blue" << QStringList{"blue_drop128.png", "blue_house128.png", "blue_phone128.png", "blue_plane128.png", "blue_star128.png"};
        QTest::newRow("nothing") << "zebra" << QStringList{};
    }

    // Return chooses the first icon the filter lets through, as one undo step.
    void iconBrowser()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, shown);
        Window w;
        TODOItem *item = w.item(2, 1);
        w.fx.context()->processPendingChanges();
        w.fx.context()->undoManager()->removeAllActions();
        w.select(QStringLiteral("2:1"));
        QTRY_VERIFY(w.drawer->widget()->isEnabled());
        const QString icon = item->icon();

        w.drawer->imageViewButton()->click();
        IconBrowser *browser = w.drawer->iconBrowser();
        QTRY_VERIFY(browser->isVisible());
        QTest::keyClicks(browser->filterField(), filter);
        QCOMPARE(browser->shownIcons(), shown);
        QTest::keyClick(browser->filterField(), Qt::Key_Return);
        w.fx.context()->processPendingChanges();
        QCOMPARE(item->icon(), shown.isEmpty() ? icon : shown.first());
        if (shown.isEmpty())
            return;
        QVERIFY(!browser->isVisible());
        QCOMPARE(w.drawer->imageViewButton()->image().isNull(), false);
        w.fx.document->undo();
        QCOMPARE(item->icon(), icon);
    }
};

QTEST_MAIN(TestDrawer)
#include "tst_drawer.moc"
