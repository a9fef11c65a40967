// A control's property bound to the selection of an array controller.
#include "ArrayController.h"
#include "Binding.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "TestSupport.h"

#include <QColor>
#include <QTest>

#include <memory>

// A stand-in for a control: properties with change signals, counting every
// write; its level, like a level indicator's, stays between 0 and 100.
class Control : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text MEMBER m_text WRITE setText NOTIFY changed)
    Q_PROPERTY(int level MEMBER m_level WRITE setLevel NOTIFY changed)
    Q_PROPERTY(bool enabled MEMBER m_enabled WRITE setEnabled NOTIFY changed)
    Q_PROPERTY(QColor colour MEMBER m_colour NOTIFY changed)
public:
    int writes = 0;
    void setText(const QString &v) { m_text = v, ++writes, emit changed(); }
    void setLevel(int v) { m_level = qBound(0, v, 100), ++writes, emit changed(); }
    void setEnabled(bool v) { m_enabled = v, ++writes, emit changed(); }
signals:
    void changed();

private:
    QString m_text;
    int m_level = 0;
    bool m_enabled = false;
    QColor m_colour;
};

namespace {

using Mode = BindingOptions::UpdateMode;

// Four notes in a folder, arranged by a controller; the set-up is announced
// already, so that each test's changes make an event of their own.
struct Notes {
    ManagedObjectContext context{testModel()};
    ArrayController controller;
    QList<ManagedObject *> notes;
    ManagedObject *folder = context.insert(QStringLiteral("Folder"));

    Notes()
    {
        folder->setValue(QStringLiteral("title"), QStringLiteral("Inbox"));
        const QVariant names[] = {QStringLiteral("Alpha"), QStringLiteral("Alpha"), QVariant(), QStringLiteral("Other")};
        const int counts[] = {50, 150, 50, 50};
        for (int i = 0; i < 4; ++i) {
            ManagedObject *note = context.insert(QStringLiteral("Note"));
            note->setValue(QStringLiteral("name"), names[i]);
            note->setValue(QStringLiteral("count"), counts[i]);
            note->setToOne(QStringLiteral("folder"), folder);
            notes << note;
        }
        notes[0]->setValue(QStringLiteral("text"), QStringLiteral("{1, 0, 0, 1}"));
        controller.setContent(notes);
        context.processPendingChanges();
    }

    // The values of a key path of the selected notes, as texts.
    QStringList selectedValues(const QString &keyPath) const
    {
        QStringList values;
        for (ManagedObject *note : controller.selectedObjects())
            values << note->valueForKeyPath(keyPath.mid(int(qstrlen("selection.")))).toString();
        return values;
    }
};

BindingOptions withPlaceholders(const QString &transformer = {}, Mode mode = Mode::OnCommit)
{
    return {transformer, mode, QStringLiteral("No selection"), QStringLiteral("Multiple values"),
            QStringLiteral("No item name")};
}

} // namespace

class TestBinding : public QObject
{
    Q_OBJECT
private slots:
    void shows_data();
    void shows();
    void follows_data();
    void follows();
    void writes_data();
    void writes();
    void editKeptWhenSelectionMoves();
    void lifetime_data();
    void lifetime();
};

void TestBinding::shows_data()
{
    QTest::addColumn<QList<int>>("selection");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<QString>("transformer");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("one") << QList<int>{0} << QByteArray("text") << "selection.name" << "" << QVariant("Alpha");
    QTest::newRow("two alike") << QList<int>{0, 1} << QByteArray("text") << "selection.name" << "" << QVariant("Alpha");
    QTest::newRow("two differ") << QList<int>{0, 1} << QByteArray("text") << "selection.count"
                                << "PercentageTransformer" << QVariant("Multiple values");
    QTest::newRow("none") << QList<int>{} << QByteArray("text") << "selection.name" << "" << QVariant("No selection");
    QTest::newRow("absent") << QList<int>{2} << QByteArray("text") << "selection.name" << "" << QVariant("No item name");
    QTest::newRow("through folder") << QList<int>{0} << QByteArray("text") << "selection.folder.title" << ""
                                    << QVariant("Inbox");
    QTest::newRow("transformed") << QList<int>{0} << QByteArray("text") << "selection.count"
                                 << "PercentageTransformer" << QVariant("50% complete");
    QTest::newRow("colour") << QList<int>{0} << QByteArray("colour") << "selection.text"
                            << "StringToColorTransformer" << QVariant(QColor(Qt::red));
    QTest::newRow("enabled") << QList<int>{0} << QByteArray("enabled") << "selection.name" << "NSIsNotNil"
                             << QVariant(true);
    QTest::newRow("disabled") << QList<int>{2} << QByteArray("enabled") << "selection.name" << "NSIsNotNil"
                              << QVariant(false);
}

void TestBinding::shows()
{
    QFETCH(QList<int>, selection);
    QFETCH(QByteArray, property);
    QFETCH(QString, keyPath);
    QFETCH(QString, transformer);
    QFETCH(QVariant, expected);
    Notes notes;
    Control control;
    notes.controller.setSelectionIndexes({3});
    Binding binding(&control, property, &notes.controller, keyPath, withPlaceholders(transformer));
    // The value follows a change of selection after binding too.
    notes.controller.setSelectionIndexes(selection);
    QCOMPARE(control.property(property), expected);
}

enum class Change { RenameSelected, RenameOther, CountOfSelected, RetitleFolder, SelectOther };

// What the store reports re-reads the value only when the bound key changed
// on a selected record; an edit in progress survives other changes.
void TestBinding::follows_data()
{
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("expected");
    QTest::newRow("name renamed") << "selection.name" << Change::RenameSelected << "Renamed";
    QTest::newRow("other note renamed") << "selection.name" << Change::RenameOther << "typing";
    QTest::newRow("count changed") << "selection.name" << Change::CountOfSelected << "typing";
    QTest::newRow("folder retitled") << "selection.folder.title" << Change::RetitleFolder << "Archive";
    QTest::newRow("folder retitled, name bound") << "selection.name" << Change::RetitleFolder << "typing";
    QTest::newRow("selection moved") << "selection.name" << Change::SelectOther << "Other";
}

void TestBinding::follows()
{
    QFETCH(QString, keyPath);
    QFETCH(Change, change);
    QFETCH(QString, expected);
    Notes notes;
    Control control;
    notes.controller.setSelectionIndexes({0});
    Binding binding(&control, "text", &notes.controller, keyPath, withPlaceholders());
    control.setProperty("text", QStringLiteral("typing"));

    switch (change) {
    case Change::RenameSelected: notes.notes[0]->setValue(QStringLiteral("name"), QStringLiteral("Renamed")); break;
    case Change::RenameOther: notes.notes[3]->setValue(QStringLiteral("name"), QStringLiteral("Renamed")); break;
    case Change::CountOfSelected: notes.notes[0]->setValue(QStringLiteral("count"), 7); break;
    case Change::RetitleFolder: notes.folder->setValue(QStringLiteral("title"), QStringLiteral("Archive")); break;
    case Change::SelectOther: notes.controller.setSelectionIndexes({3}); break;
    }
    notes.context.processPendingChanges();
    QCOMPARE(control.property("text").toString(), expected);
}

// An edit reaches every selected record, continuously or on commit; what the
// binding shows by itself (a placeholder, a one-way transformed value) never does.
void TestBinding::writes_data()
{
    QTest::addColumn<QList<int>>("selection");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<QString>("transformer");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QVariant>("edit"); // invalid: no edit
    QTest::addColumn<QStringList>("beforeCommit");
    QTest::addColumn<QStringList>("afterCommit");
    const QByteArray text("text");
    QTest::newRow("continuous") << QList<int>{0} << text << "selection.name" << "" << Mode::Continuously
                                << QVariant("Beta") << QStringList{"Beta"} << QStringList{"Beta"};
    QTest::newRow("on commit") << QList<int>{0} << text << "selection.name" << "" << Mode::OnCommit
                               << QVariant("Beta") << QStringList{"Alpha"} << QStringList{"Beta"};
    QTest::newRow("every selected") << QList<int>{0, 3} << text << "selection.name" << "" << Mode::OnCommit
                                    << QVariant("Gamma") << QStringList{"Alpha", "Other"}
                                    << QStringList{"Gamma", "Gamma"};
    QTest::newRow("through folder") << QList<int>{0} << text << "selection.folder.title" << "" << Mode::OnCommit
                                    << QVariant("Archive") << QStringList{"Inbox"} << QStringList{"Archive"};
    QTest::newRow("two-way transformer") << QList<int>{0} << QByteArray("level") << "selection.count"
                                         << "DiscretizeTransformer" << Mode::Continuously << QVariant(70)
                                         << QStringList{"70"} << QStringList{"70"};
    QTest::newRow("clamped by control") << QList<int>{1} << QByteArray("level") << "selection.count"
                                        << "DiscretizeTransformer" << Mode::Continuously << QVariant()
                                        << QStringList{"150"} << QStringList{"150"};
    QTest::newRow("one-way transformer") << QList<int>{0} << text << "selection.count" << "PercentageTransformer"
                                         << Mode::Continuously << QVariant("70% complete") << QStringList{"50"}
                                         << QStringList{"50"};
    QTest::newRow("enabled") << QList<int>{0} << QByteArray("enabled") << "selection.count" << "" << Mode::Continuously
                             << QVariant(false) << QStringList{"50"} << QStringList{"50"};
    QTest::newRow("multiple values shown") << QList<int>{0, 3} << text << "selection.name" << "" << Mode::Continuously
                                           << QVariant() << QStringList{"Alpha", "Other"}
                                           << QStringList{"Alpha", "Other"};
    QTest::newRow("null shown") << QList<int>{2} << text << "selection.name" << "" << Mode::OnCommit << QVariant()
                                << QStringList{""} << QStringList{""};
}

void TestBinding::writes()
{
    QFETCH(QList<int>, selection);
    QFETCH(QByteArray, property);
    QFETCH(QString, keyPath);
    QFETCH(QString, transformer);
    QFETCH(Mode, mode);
    QFETCH(QVariant, edit);
    QFETCH(QStringList, beforeCommit);
    QFETCH(QStringList, afterCommit);
    Notes notes;
    Control control;
    notes.controller.setSelectionIndexes(selection);
    Binding binding(&control, property, &notes.controller, keyPath, withPlaceholders(transformer, mode));
    if (edit.isValid())
        control.setProperty(property, edit);
    const int writes = control.writes;
    const QVariant shown = control.property(property);

    notes.context.processPendingChanges();
    QCOMPARE(notes.selectedValues(keyPath), beforeCommit);
    binding.commit();
    notes.context.processPendingChanges();
    QCOMPARE(notes.selectedValues(keyPath), afterCommit);
    // The binding's own write does not come back to the control.
    QCOMPARE(control.writes, writes);
    QCOMPARE(control.property(property), shown);
}

// Typing not yet committed goes to the note it was typed for, not to the next one.
void TestBinding::editKeptWhenSelectionMoves()
{
    Notes notes;
    Control control;
    notes.controller.setSelectionIndexes({0});
    Binding binding(&control, "text", &notes.controller, QStringLiteral("selection.name"), withPlaceholders());
    control.setProperty("text", QStringLiteral("Beta"));
    notes.controller.setSelectionIndexes({3});
    QCOMPARE(notes.notes[0]->value(QStringLiteral("name")).toString(), QStringLiteral("Beta"));
    QCOMPARE(notes.notes[3]->value(QStringLiteral("name")).toString(), QStringLiteral("Other"));
    QCOMPARE(control.property("text").toString(), QStringLiteral("Other"));
}

enum class GoesFirst { Target, Controller, Unbind };

void TestBinding::lifetime_data()
{
    QTest::addColumn<GoesFirst>("goesFirst");
    QTest::newRow("target deleted") << GoesFirst::Target;
    QTest::newRow("controller deleted") << GoesFirst::Controller;
    QTest::newRow("unbound") << GoesFirst::Unbind;
}

// Whatever goes first, nothing crashes and an unbound control neither shows
// nor writes anything any more.
void TestBinding::lifetime()
{
    QFETCH(GoesFirst, goesFirst);
    Notes notes;
    auto control = std::make_unique<Control>();
    auto controller = std::make_unique<ArrayController>();
    controller->setContent(notes.notes);
    controller->setSelectionIndexes({0});
    auto binding = std::make_unique<Binding>(control.get(), "text", controller.get(), QStringLiteral("selection.name"),
                                             withPlaceholders(QString(), Mode::Continuously));
    switch (goesFirst) {
    case GoesFirst::Target: control.reset(); break;
    case GoesFirst::Controller: controller.reset(); break;
    case GoesFirst::Unbind: binding->unbind(); break;
    }
    if (control)
        control->setProperty("text", QStringLiteral("typed after"));
    if (controller)
        controller->setSelectionIndexes({3});
    notes.notes[3]->setValue(QStringLiteral("name"), QStringLiteral("Renamed"));
    notes.context.processPendingChanges();
    binding->commit();
    binding.reset();

    QCOMPARE(notes.notes[0]->value(QStringLiteral("name")).toString(), QStringLiteral("Alpha"));
    QCOMPARE(notes.notes[3]->value(QStringLiteral("name")).toString(), QStringLiteral("Renamed"));
    if (control)
        QCOMPARE(control->property("text").toString(), QStringLiteral("typed after"));
}

QTEST_MAIN(TestBinding)
#include "tst_binding.moc"
