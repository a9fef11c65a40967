#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "Predicate.h"
#include "TestSupport.h"

#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Predicate)

class TestPredicate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_context = std::make_unique<ManagedObjectContext>(testModel());
        const auto add = [this](const QString &entity, const QVariantMap &values, ManagedObject *folder = nullptr) {
            ManagedObject *record = m_context->insert(entity);
            for (auto it = values.cbegin(); it != values.cend(); ++it)
                record->setValue(it.key(), it.value());
            if (folder)
                record->setToOne(QStringLiteral("folder"), folder);
            return record;
        };
        m_errands = add("Folder", {{"title", "Errands"}, {"state", 2}});
        ManagedObject *work = add("Folder", {{"title", "Work"}});
        m_notes = {
            add("Note", {{"label", "none"}}),
            add("Note", {{"label", "a"}, {"quadrant", 0}, {"state", 0}, {"serial", Q_INT64_C(5000000000)}, {"flag", true},
                         {"name", "Café au lait"}, {"descriptionText", "it's 100% done"}, {"dueDate", localTime(2024, 3, 5, 10)}}, m_errands),
            add("Note", {{"label", "b"}, {"quadrant", 1}, {"state", 2}, {"flag", false}, {"name", "Buy *milk*"},
                         {"descriptionText", "path C:\\temp\\new"}}, work),
            add("Note", {{"label", "c"}, {"quadrant", 0}, {"state", -1}, {"name", QString()}, {"descriptionText", "say \"x\" now"},
                         {"dueDate", localTime(2024, 3, 7, 9)}}),
            add("Note", {{"label", "d"}, {"quadrant", 3}, {"state", 3}, {"name", "CAFÉ"}, {"descriptionText", "Its 100 percent"},
                         {"dueDate", localTime(2024, 3, 5, 10)}}, work),
            add("Note", {{"label", "e"}, {"quadrant", 2}, {"name", ""}, {"descriptionText", "Crème brûlée ?"}}, m_errands),  // empty name
        };
    }

    void evaluate_data()
    {
        QTest::addColumn<Predicate>("predicate");
        QTest::addColumn<QString>("expected");

        using P = Predicate;
        const auto cd = P::Options(P::CaseInsensitive | P::DiacriticInsensitive);

        QTest::newRow("state != 2 holds for absent number") << P::notEqual("state", 2) << "none,a,c,d,e";
        QTest::newRow("int64 beyond 32 bits") << P::compare("serial", P::Op::Greater, Q_INT64_C(4294967296)) << "a";
        QTest::newRow("state < 0.5 against a double") << P::compare("state", P::Op::Less, 0.5) << "none,a,c,e";
        QTest::newRow("bool false holds for absent") << P::equal("flag", false) << "none,b,c,d,e";

        QTest::newRow("name nil: absent or empty") << P::isNil("name") << "none,c,e";
        QTest::newRow("text ==[cd]") << P::compare("name", P::Op::Equal, QString("cafe"), cd) << "d";

        QTest::newRow("cafe finds Café and CAFÉ") << P::contains("name", "cafe") << "a,d";
        QTest::newRow("backslash literal") << P::contains("descriptionText", "c:\\temp\\") << "b";

        const QDateTime due(QDate(2024, 3, 5), QTime(10, 0));
        QTest::newRow("date ==") << P::equal("dueDate", due) << "a,d";
        QTest::newRow("date != is false for absent") << P::notEqual("dueDate", due) << "c";

        QTest::newRow("relationship == record") << P::equal("folder", QVariant::fromValue(m_errands)) << "a,e";

        QTest::newRow("null and") << (P() && P::equal("quadrant", 0)) << "none,a,c";
    }

    void evaluate()
    {
        QFETCH(Predicate, predicate);
        QStringList matches;
        for (const ManagedObject *note : std::as_const(m_notes)) {
            if (predicate.evaluate(note))
                matches.append(note->stringValue(QStringLiteral("label")));
        }
        QTEST(matches.join(QLatin1Char(',')), "expected");
    }

private:
    std::unique_ptr<ManagedObjectContext> m_context;
    ManagedObject *m_errands = nullptr;
    QList<ManagedObject *> m_notes;  // "none" has no values at all
};

QTEST_GUILESS_MAIN(TestPredicate)
#include "tst_predicate.moc"
