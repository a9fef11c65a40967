#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "Predicate.h"
#include "TestSupport.h"

#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Predicate)

namespace {

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::LocalTime);
}

} // namespace

class TestPredicate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void evaluate_data();
    void evaluate();

private:
    std::unique_ptr<ManagedObjectContext> m_context;
    ManagedObject *m_errands = nullptr;
    ManagedObject *m_work = nullptr;
    // The notes, in a fixed order, with the labels the table uses.
    QList<ManagedObject *> m_notes;
};

void TestPredicate::initTestCase()
{
    m_context = std::make_unique<ManagedObjectContext>(testModel());
    m_errands = m_context->insert(QStringLiteral("Folder"));
    m_errands->setValue(QStringLiteral("title"), QStringLiteral("Errands"));
    m_errands->setValue(QStringLiteral("state"), 2);
    m_work = m_context->insert(QStringLiteral("Folder"));
    m_work->setValue(QStringLiteral("title"), QStringLiteral("Work"));

    const auto add = [this](const QString &label, const QVariantMap &values, ManagedObject *folder) {
        ManagedObject *note = m_context->insert(QStringLiteral("Note"));
        note->setValue(QStringLiteral("label"), label);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            note->setValue(it.key(), it.value());
        note->setToOne(QStringLiteral("folder"), folder);
        m_notes.append(note);
    };
    add("none", {}, nullptr);  // no values at all
    add("a", {{"quadrant", 0}, {"state", 0}, {"serial", Q_INT64_C(5000000000)}, {"weight", 2.5}, {"flag", true},
              {"name", "Café au lait"}, {"descriptionText", "it's 100% done"}, {"dueDate", local(2024, 3, 5, 10, 0)}}, m_errands);
    add("b", {{"quadrant", 1}, {"state", 2}, {"serial", 7}, {"weight", -1.5}, {"flag", false}, {"name", "Buy *milk*"},
              {"descriptionText", "path C:\\temp\\new"}, {"startDate", local(2024, 3, 1, 8, 0)}}, m_work);
    add("c", {{"quadrant", 0}, {"state", -1}, {"name", QString()}, {"descriptionText", "say \"x\" now"},
              {"dueDate", local(2024, 3, 7, 9, 0)}}, nullptr);
    add("d", {{"quadrant", 3}, {"state", 3}, {"name", "CAFÉ"}, {"descriptionText", "Its 100 percent"},
              {"dueDate", local(2024, 3, 5, 10, 0)}}, m_work);
    // An empty text set explicitly, not just left absent.
    add("e", {{"quadrant", 2}, {"name", ""}, {"descriptionText", "Crème brûlée ?"}}, m_errands);
}

void TestPredicate::cleanupTestCase()
{
    m_notes.clear();
    m_context.reset();
}

void TestPredicate::evaluate_data()
{
    QTest::addColumn<Predicate>("predicate");
    QTest::addColumn<QString>("expected");

    using P = Predicate;
    const auto ci = P::Options(P::CaseInsensitive);
    const auto di = P::Options(P::DiacriticInsensitive);
    const auto cd = P::Options(P::CaseInsensitive | P::DiacriticInsensitive);

    // Numbers: an absent number reads 0, but is nil.
    QTest::newRow("state != 2 holds for absent") << P::notEqual("state", 2) << "none,a,c,d,e";
    QTest::newRow("state < 0 only negative") << P::compare("state", P::Op::Less, 0) << "c";
    QTest::newRow("state >= 2") << P::compare("state", P::Op::GreaterOrEqual, 2) << "b,d";
    QTest::newRow("state < 0.5 against a double") << P::compare("state", P::Op::Less, 0.5) << "none,a,c,e";
    QTest::newRow("int64 beyond 32 bits") << P::compare("serial", P::Op::Greater, Q_INT64_C(4294967296)) << "a";
    QTest::newRow("double absent reads 0") << P::equal("weight", 0) << "none,c,d,e";
    QTest::newRow("bool false holds for absent") << P::equal("flag", false) << "none,b,c,d,e";
    QTest::newRow("nil number is only absent") << P::isNil("flag") << "none,c,d,e";

    // Texts: absent and empty are alike.
    QTest::newRow("name == empty") << P::equal("name", QString("")) << "none,c,e";
    QTest::newRow("name nil: absent or empty") << P::isNil("name") << "none,c,e";
    QTest::newRow("name not nil") << P::isNotNil("name") << "a,b,d";
    QTest::newRow("text exact is case-sensitive") << P::equal("name", QString("café au lait")) << "";
    QTest::newRow("text ==[cd]") << P::compare("name", P::Op::Equal, QString("cafe"), cd) << "d";
    QTest::newRow("text < orders by code points") << P::compare("name", P::Op::Less, QString("C")) << "none,b,c,e";

    // Search text, matched literally and folded.
    QTest::newRow("cafe finds Café and CAFÉ") << P::contains("name", "cafe") << "a,d";
    QTest::newRow("[c] only keeps accents") << P::contains("name", "cafe", ci) << "";
    QTest::newRow("[d] only keeps case") << P::contains("name", "Cafe", di) << "a";
    QTest::newRow("no options is exact") << P::contains("name", "café", P::NoOption) << "";
    QTest::newRow("accented haystack, plain needle") << P::contains("descriptionText", "creme brulee") << "e";
    QTest::newRow("apostrophe and percent") << P::contains("descriptionText", "it's 100%") << "a";
    QTest::newRow("percent is no wildcard") << P::contains("descriptionText", "it%done") << "";
    QTest::newRow("asterisk is no wildcard") << P::contains("name", "b*k") << "";
    QTest::newRow("question mark is no wildcard") << P::contains("name", "b?y") << "";
    QTest::newRow("backslash literal") << P::contains("descriptionText", "c:\\temp\\") << "b";
    QTest::newRow("backslash-t is not a tab") << P::contains("descriptionText", "\t") << "";
    QTest::newRow("double quotes literal") << P::contains("descriptionText", "\"x\"") << "c";
    QTest::newRow("begins with") << P::compare("name", P::Op::BeginsWith, QString("caf"), cd) << "a,d";
    QTest::newRow("begins with is anchored") << P::compare("name", P::Op::BeginsWith, QString("milk"), cd) << "";

    // Dates: a comparison with an absent date is false, nil tests aside.
    const QDateTime due = local(2024, 3, 5, 10, 0);
    QTest::newRow("date ==") << P::equal("dueDate", due) << "a,d";
    QTest::newRow("date != is false for absent") << P::notEqual("dueDate", due) << "c";
    QTest::newRow("date >=") << P::compare("dueDate", P::Op::GreaterOrEqual, due) << "a,c,d";
    QTest::newRow("date same moment in UTC") << P::equal("dueDate", due.toUTC()) << "a,d";
    QTest::newRow("date nil") << P::isNil("dueDate") << "none,b,e";

    // To-one relationships and key paths through them.
    QTest::newRow("relationship == record") << P::equal("folder", QVariant::fromValue(m_errands)) << "a,e";
    QTest::newRow("relationship != record") << P::notEqual("folder", QVariant::fromValue(m_errands)) << "none,b,c,d";
    QTest::newRow("relationship nil") << P::isNil("folder") << "none,c";
    QTest::newRow("relationship == URI") << P::equal("folder", m_work->objectURI()) << "b,d";
    QTest::newRow("key path text") << P::contains("folder.title", "WORK") << "b,d";
    QTest::newRow("key path text nil without a folder") << P::isNil("folder.title") << "none,c";
    QTest::newRow("key path number reads 0 without a folder") << P::notEqual("folder.state", 2) << "none,b,c,d";

    // Compounds; the null predicate is no filter.
    QTest::newRow("and") << (P::equal("quadrant", 0) && P::notEqual("state", 2)) << "none,a,c";
    QTest::newRow("or") << (P::equal("quadrant", 3) || P::compare("state", P::Op::Less, 0)) << "c,d";
    QTest::newRow("not") << !P::equal("quadrant", 0) << "b,d,e";
    QTest::newRow("and with nested or")
        << P::andPredicate({P::equal("quadrant", 0), P::orPredicate({P::compare("state", P::Op::Less, 0), P::contains("name", "cafe")})})
        << "a,c";
    QTest::newRow("quadrant search filter")
        << P::andPredicate({P::equal("quadrant", 0), P::notEqual("state", 2), P::notEqual("state", 3),
                            P::orPredicate({P::contains("name", "IT'S 100%"), P::contains("descriptionText", "IT'S 100%")})})
        << "a";
    QTest::newRow("empty and") << P::andPredicate({}) << "none,a,b,c,d,e";
    QTest::newRow("empty or") << P::orPredicate({}) << "";
    QTest::newRow("null") << P() << "none,a,b,c,d,e";
    QTest::newRow("null and") << (P() && P::equal("quadrant", 0)) << "none,a,c";
    QTest::newRow("null or") << (P::equal("quadrant", 0) || P()) << "none,a,b,c,d,e";
    QTest::newRow("not null") << !P() << "";
    QTest::newRow("unknown key reads absent") << P::equal("nonexistent", 0) << "none,a,b,c,d,e";
}

void TestPredicate::evaluate()
{
    QFETCH(Predicate, predicate);
    QFETCH(QString, expected);
    QStringList matches;
    for (const ManagedObject *note : std::as_const(m_notes)) {
        if (predicate.evaluate(note))
            matches.append(note->stringValue(QStringLiteral("label")));
    }
    QCOMPARE(matches.join(QLatin1Char(',')), expected);
}

QTEST_GUILESS_MAIN(TestPredicate)
#include "tst_predicate.moc"
