// The time filter under the matrix driven as a user drives it: the range its
// knobs report, the filter that sets on the quadrants, dragging and keys.
#include "DateRangeScale.h"
#include "DateRangeSliderView.h"
#include "DocumentFakes.h"
#include "DoubleSlider.h"
#include "Utils.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

using Knob = DoubleSlider::Knob;

// The time filter in a shown window, around a pinned "now".
struct TimeFilter {
    DocumentFixture fx;
    TODOList *list = fx.selectedList();
    QWidget window;
    DateRangeSliderView *view = new DateRangeSliderView(fx.document.get());
    DoubleSlider *slider = view->slider();
    QLineEdit *next = new QLineEdit; // where Tab goes after the slider

    explicit TimeFilter(const QDateTime &now)
    {
        Clock::setNow(now);
        fx.document->setUp();
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(view);
        layout->addWidget(next);
        window.resize(620, 120);
        window.show();
    }

    QString labels() const
    {
        QStringList texts;
        for (const char *name : {"timeFilterLeftLabel", "timeFilterCenterLabel", "timeFilterRightLabel"})
            texts << view->findChild<QLabel *>(QString::fromLatin1(name))->text();
        return texts.join('|');
    }
};

QString dayText(const QDateTime &date)
{
    return date == Utils::distantPast()     ? QStringLiteral("past")
        : date == Utils::distantFuture() ? QStringLiteral("future")
                                         : date.toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

} // namespace

class TestTimeFilter : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { Clock::reset(); }

    void range_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<QString>("min");
        QTest::addColumn<QString>("max");
        QTest::addColumn<QString>("labels");

        // Clocks go forward in Berlin on 2026-03-29.
        const QDateTime spring(QDate(2026, 3, 27), QTime(15, 30));
        QTest::newRow("past to future") << spring << 0 << 30 << "past" << "future" << "Past|(Time Filter)|Future";
        QTest::newRow("today only") << spring << 15 << 15 << "2026-03-27 00:00" << "2026-03-28 00:00" << "|Today|";
        QTest::newRow("to +3 day across the clock change")
            << spring << 15 << 18 << "2026-03-27 00:00" << "2026-03-31 00:00" << "Today|(Time Filter)|+3 day";
        QTest::newRow("+1 week is eight days") << spring << 15 << 20 << "2026-03-27 00:00" << "2026-04-05 00:00"
                                               << "Today|(Time Filter)|+1 week";
        QTest::newRow("-1 year over a leap day to yesterday") << QDateTime(QDate(2024, 3, 10), QTime(0, 0)) << 1 << 14 << "2023-03-11 00:00"
                                                              << "2024-03-10 00:00" << "-1 year|(Time Filter)|Yesterday";
        QTest::newRow("both on future: beyond a year") << spring << 30 << 30 << "2027-03-28 00:00" << "future" << "|Future|";
        QTest::newRow("both on past: before a year ago") << spring << 0 << 0 << "past" << "2025-03-27 00:00" << "|Past|";
    }

    // The knobs' values change while dragging; a release reports.
    void range()
    {
        QFETCH(QDateTime, now);
        QFETCH(int, low);
        QFETCH(int, high);
        TimeFilter t(now);
        t.slider->setLoValue(low);
        t.slider->setHiValue(high);
        const QPoint knob = t.slider->knobCenter(Knob::High);
        QTest::mousePress(t.slider, Qt::LeftButton, {}, knob);
        QTest::mouseMove(t.slider, knob + QPoint(1, 0));
        QTest::mouseRelease(t.slider, Qt::LeftButton, {}, knob + QPoint(1, 0));

        QTEST(dayText(t.view->minSelectedDate()), "min");
        QTEST(dayText(t.view->maxSelectedDate()), "max");
        QCOMPARE(t.fx.document->minDate(), t.view->minSelectedDate());
        QCOMPARE(t.fx.document->maxDate(), t.view->maxSelectedDate());
        QTEST(t.labels(), "labels"); // which items the range lets through is tst_filters' dates
    }

    void keyboard_data()
    {
        QTest::addColumn<QList<int>>("keys"); // after the slider takes the focus with Tab
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::addColumn<int>("reports");

        using L = QList<int>;
        QTest::newRow("arrows move the low knob") << L{Qt::Key_Right, Qt::Key_Right, Qt::Key_Up} << 3 << 30 << 3;
        QTest::newRow("tab to the high knob") << L{Qt::Key_Tab, Qt::Key_Left, Qt::Key_Down} << 0 << 28 << 2;
        QTest::newRow("back-tab to the low knob") << L{Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Right} << 1 << 30 << 1;
        QTest::newRow("low knob stops at the high one") << L{Qt::Key_Tab, Qt::Key_Home, Qt::Key_Backtab, Qt::Key_Right}
                                                        << 0 << 0 << 1;
        QTest::newRow("end takes the low knob to the high one") << L{Qt::Key_End, Qt::Key_Right} << 30 << 30 << 1;
        QTest::newRow("nothing below the scale") << L{Qt::Key_Left, Qt::Key_Home} << 0 << 30 << 0;
        QTest::newRow("tab past the high knob leaves") << L{Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Left} << 0 << 30 << 0;
    }

    void keyboard()
    {
        QFETCH(QList<int>, keys);
        TimeFilter t(QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
        QSignalSpy released(t.slider, &DoubleSlider::knobReleased);
        QApplication::setActiveWindow(&t.window);
        t.slider->setFocus(Qt::TabFocusReason);
        for (int key : keys) {
            const Qt::KeyboardModifiers modifiers = key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
        }
        QTEST(t.slider->loValue(), "low");
        QTEST(t.slider->hiValue(), "high");
        QTEST(int(released.size()), "reports");
        // Each key that moved a knob refiltered with the range it shows.
        if (!released.isEmpty())
            QCOMPARE(t.fx.document->maxDate(), DateRangeScale::maximumDate(t.slider->hiValue()));
    }

    void mouse_data()
    {
        QTest::addColumn<int>("low"); // the knobs before the drag
        QTest::addColumn<int>("high");
        QTest::addColumn<int>("from"); // the marks pressed and released at
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("lowAfter");
        QTest::addColumn<int>("highAfter");

        QTest::newRow("low knob to today") << 0 << 30 << 0 << 15 << 15 << 30;
        QTest::newRow("high knob stops at the low one") << 15 << 30 << 30 << 5 << 15 << 15;
        QTest::newRow("low knob stops at the high one") << 0 << 10 << 0 << 25 << 10 << 10;
        QTest::newRow("shared mark, dragged left: low knob") << 15 << 15 << 15 << 10 << 10 << 15;
        QTest::newRow("shared mark, dragged right: high knob") << 15 << 15 << 15 << 20 << 15 << 20;
        QTest::newRow("click on the track moves the nearer knob") << 5 << 25 << 22 << 22 << 5 << 22;
    }

    void mouse()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        TimeFilter t(QDateTime(QDate(2026, 6, 1), QTime(12, 0)));
        // The ends of the scale, where the knobs start.
        const int left = t.slider->knobCenter(Knob::Low).x();
        const int right = t.slider->knobCenter(Knob::High).x();
        const auto at = [&](int mark) { return QPoint(left + (right - left) * mark / 30, t.slider->knobCenter(Knob::Low).y()); };
        QFETCH(int, low);
        QFETCH(int, high);
        t.slider->setHiValue(high);
        t.slider->setLoValue(low);

        QTest::mousePress(t.slider, Qt::LeftButton, {}, at(from));
        QTest::mouseMove(t.slider, at((from + to) / 2));
        QTest::mouseMove(t.slider, at(to));
        // Dragging relabels but leaves the quadrants alone until the release.
        QVERIFY(!t.fx.document->minDate().isValid());
        QTest::mouseRelease(t.slider, Qt::LeftButton, {}, at(to));

        QTEST(t.slider->loValue(), "lowAfter");
        QTEST(t.slider->hiValue(), "highAfter");
        QCOMPARE(t.fx.document->minDate(), DateRangeScale::minimumDate(t.slider->loValue()));
        QCOMPARE(t.fx.document->maxDate(), DateRangeScale::maximumDate(t.slider->hiValue()));
    }
};

QTEST_MAIN(TestTimeFilter)
#include "tst_timefilter.moc"
