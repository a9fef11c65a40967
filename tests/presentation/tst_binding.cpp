// A control's property bound to the selection of an array controller.
#include "ArrayController.h"
#include "Binding.h"
#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "TestSupport.h"

#include <QTest>

#include <memory>

// A stand-in for a control, counting every write; its level, like a level
// indicator's, stays between 0 and 100.
class Control : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString text MEMBER m_text WRITE setText NOTIFY changed)
    Q_PROPERTY(int level MEMBER m_level WRITE setLevel NOTIFY changed)
    Q_PROPERTY(bool enabled MEMBER m_enabled NOTIFY changed)
public:
    int writes = 0;
    void setText(const QString &v) { m_text = v, ++writes, emit changed(); }
    void setLevel(int v) { m_level = qBound(0, v, 100), ++writes, emit changed(); }
signals:
    void changed();

private:
    QString m_text;
    int m_level = 0;
    bool m_enabled = false;
};

namespace {

using Mode = BindingOptions::UpdateMode;

// Four notes (Alpha 50, Alpha 150, no name 50, Other 50) in the folder
// "Inbox"; the set-up is announced already, so each test's changes make an event of their own.
struct Notes {
    ManagedObjectContext context{testModel()};
    ArrayController controller;
    QList<ManagedObject *> notes;
    ManagedObject *folder = context.insert(QStringLiteral("Folder"));

    Notes()
    {
        folder->setValue(QStringLiteral("title"), QStringLiteral("Inbox"));
        const QVariant names[] = {QStringLiteral("Alpha"), QStringLiteral("Alpha"), {}, QStringLiteral("Other")};
        for (int i = 0; i < 4; ++i) {
            notes << context.insert(QStringLiteral("Note"));
            notes[i]->setValue(QStringLiteral("name"), names[i]);
            notes[i]->setValue(QStringLiteral("count"), i == 1 ? 150 : 50);
            notes[i]->setToOne(QStringLiteral("folder"), folder);
        }
        controller.setContent(notes);
        context.processPendingChanges();
    }

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

// A binding of a property to a key path, the value it shows, what is typed
// (invalid: nothing), and the selected notes' values after the commit (empty: unchanged).
struct Case {
    QList<int> selection;
    const char *property;
    const char *keyPath;
    const char *transformer;
    Mode mode;
    QVariant shown;
    QVariant typed;
    QStringList after;
};
Q_DECLARE_METATYPE(Case)

class TestBinding : public QObject
{
    Q_OBJECT
private slots:
    void binds_data();
    void binds();
    void follows_data();
    void follows();
    void lifetime_data();
    void lifetime();
};

// What a binding shows; an edit reaches every selected record, continuously
// or on commit, while what the binding shows by itself (a placeholder, a
// clamped or one-way value) is never written back.
void TestBinding::binds_data()
{
    QTest::addColumn<Case>("c");
    const Mode commit = Mode::OnCommit, continuous = Mode::Continuously;
    const char *name = "selection.name", *count = "selection.count";
    const QString alpha("Alpha"), multiple("Multiple values");
    QTest::newRow("two alike") << Case{{0, 1}, "text", name, "", continuous, alpha, {}, {}};
    QTest::newRow("two differ") << Case{{0, 1}, "text", count, "PercentageTransformer", commit, multiple, {}, {}};
    QTest::newRow("none") << Case{{}, "text", name, "", continuous, QStringLiteral("No selection"), {}, {}};
    QTest::newRow("absent") << Case{{2}, "text", name, "", commit, QStringLiteral("No item name"), {}, {}};
    QTest::newRow("one-way transformer") << Case{{0}, "text", count, "PercentageTransformer", continuous,
                                                 QStringLiteral("50% complete"), QStringLiteral("70% complete"), {}};
    QTest::newRow("disabled") << Case{{2}, "enabled", name, "NSIsNotNil", commit, false, {}, {}};
    QTest::newRow("enabled") << Case{{0}, "enabled", count, "", continuous, true, false, {}};
    QTest::newRow("continuous") << Case{{0}, "text", name, "", continuous, alpha, QStringLiteral("Beta"), {"Beta"}};
    QTest::newRow("every selected, on commit") << Case{{0, 3}, "text", name, "", commit, multiple,
                                                       QStringLiteral("Gamma"), {"Gamma", "Gamma"}};
    QTest::newRow("through folder") << Case{{0}, "text", "selection.folder.title", "", commit,
                                            QStringLiteral("Inbox"), QStringLiteral("Archive"), {"Archive"}};
    QTest::newRow("two-way transformer") << Case{{0}, "level", count, "DiscretizeTransformer", continuous, 50, 70,
                                                 {"70"}};
    QTest::newRow("clamped by control") << Case{{1}, "level", count, "DiscretizeTransformer", continuous, 100, {},
                                                {}};
}

void TestBinding::binds()
{
    QFETCH(Case, c);
    Notes notes;
    Control control;
    const QString keyPath = QString::fromLatin1(c.keyPath);
    notes.controller.setSelectionIndexes({3});
    Binding binding(&control, c.property, &notes.controller, keyPath,
                    withPlaceholders(QString::fromLatin1(c.transformer), c.mode));
    // The value follows a change of selection after binding too.
    notes.controller.setSelectionIndexes(c.selection);
    QCOMPARE(control.property(c.property), c.shown);
    const QStringList stored = notes.selectedValues(keyPath);
    const QStringList after = c.after.isEmpty() ? stored : c.after;
    if (c.typed.isValid())
        control.setProperty(c.property, c.typed);
    const int writes = control.writes;
    const QVariant edited = control.property(c.property);

    notes.context.processPendingChanges();
    QCOMPARE(notes.selectedValues(keyPath), c.mode == Mode::Continuously ? after : stored);
    binding.commit();
    notes.context.processPendingChanges();
    QCOMPARE(notes.selectedValues(keyPath), after);
    // The binding's own write does not come back to the control.
    QCOMPARE(control.writes, writes);
    QCOMPARE(control.property(c.property), edited);
}

enum class Change { RenameSelected, RenameOther, CountOfSelected, RetitleFolder, SelectOther };

// The value is read again only when the bound key changed on a selected
// record; an edit in progress survives other changes, and goes to the note it
// was typed for when the selection moves.
void TestBinding::follows_data()
{
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("firstName");
    const QString name("selection.name");
    QTest::newRow("name renamed") << name << Change::RenameSelected << "Renamed" << "Renamed";
    QTest::newRow("other note renamed") << name << Change::RenameOther << "typing" << "Alpha";
    QTest::newRow("count changed") << name << Change::CountOfSelected << "typing" << "Alpha";
    QTest::newRow("folder retitled") << "selection.folder.title" << Change::RetitleFolder << "Archive" << "Alpha";
    QTest::newRow("selection moved") << name << Change::SelectOther << "Other" << "typing";
}

void TestBinding::follows()
{
    QFETCH(QString, keyPath);
    QFETCH(Change, change);
    QFETCH(QString, expected);
    QFETCH(QString, firstName);
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
    QCOMPARE(notes.notes[0]->value(QStringLiteral("name")).toString(), firstName);
}

enum class GoesFirst { Target, Controller, Unbind };

void TestBinding::lifetime_data()
{
    QTest::addColumn<GoesFirst>("goesFirst");
    QTest::newRow("target deleted") << GoesFirst::Target;
    QTest::newRow("controller deleted") << GoesFirst::Controller;
    QTest::newRow("unbound") << GoesFirst::Unbind;
}

// Whatever goes first, nothing crashes, and a binding left alone neither
// shows nor writes anything any more.
void TestBinding::lifetime()
{
    QFETCH(GoesFirst, goesFirst);
    Notes notes;
    auto control = std::make_unique<Control>();
    auto controller = std::make_unique<ArrayController>();
    controller->setContent(notes.notes);
    controller->setSelectionIndexes({0});
    Binding binding(control.get(), "text", controller.get(), QStringLiteral("selection.name"),
                    withPlaceholders(QString(), Mode::Continuously));
    switch (goesFirst) {
    case GoesFirst::Target: control.reset(); break;
    case GoesFirst::Controller: controller.reset(); break;
    case GoesFirst::Unbind: binding.unbind(); break;
    }
    if (control)
        control->setProperty("text", QStringLiteral("typed after"));
    if (controller)
        controller->setSelectionIndexes({3});
    notes.notes[3]->setValue(QStringLiteral("name"), QStringLiteral("Renamed"));
    notes.context.processPendingChanges();
    binding.commit();

    QCOMPARE(notes.notes[0]->value(QStringLiteral("name")).toString(), QStringLiteral("Alpha"));
    if (control)
        QCOMPARE(control->property("text").toString(), QStringLiteral("typed after"));
}

QTEST_MAIN(TestBinding)
#include "tst_binding.moc"
