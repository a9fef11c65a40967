#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "ObjectModel.h"
#include "Predicate.h"

#include <QTest>

#include <memory>

#include <time.h>

Q_DECLARE_METATYPE(Predicate)

namespace {

const ObjectModel &testModel()
{
    static const ObjectModel model(QStringLiteral("PredicateTest"), 1, {
        EntityDescription(QStringLiteral("List"),
                          {{QStringLiteral("title"), AttributeType::Text},
                           {QStringLiteral("state"), AttributeType::Int32}},
                          {{QStringLiteral("items"), QStringLiteral("Item"), QStringLiteral("list"), true}}),
        EntityDescription(QStringLiteral("Item"),
                          {{QStringLiteral("quadrant"), AttributeType::Int32},
                           {QStringLiteral("state"), AttributeType::Int32},
                           {QStringLiteral("serial"), AttributeType::Int64},
                           {QStringLiteral("weight"), AttributeType::Double},
                           {QStringLiteral("flagged"), AttributeType::Bool},
                           {QStringLiteral("name"), AttributeType::Text},
                           {QStringLiteral("descriptionText"), AttributeType::Text},
                           {QStringLiteral("dueDate"), AttributeType::Date},
                           {QStringLiteral("startDate"), AttributeType::Date}},
                          {{QStringLiteral("list"), QStringLiteral("List"), QStringLiteral("items"), false}}),
    });
    return model;
}

QDateTime local(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

QVariant objectValue(ManagedObject *object)
{
    return QVariant::fromValue<ManagedObject *>(object);
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
    void nullPredicateMatchesEverything();
    void composesWithNullPredicate();
    void dottedKeyPathReadsThroughAnEmptyRelationship();
    void toString_data();
    void toString();

private:
    QString matches(const Predicate &predicate) const;

    std::unique_ptr<ManagedObjectContext> m_context;
    ManagedObject *m_list1 = nullptr;
    ManagedObject *m_list2 = nullptr;
    // The records, in a fixed order, with the labels the tables use.
    QList<QPair<QString, ManagedObject *>> m_items;
};

void TestPredicate::initTestCase()
{
    qputenv("TZ", "Europe/Berlin");
    tzset();
    QCOMPARE(local(2024, 1, 15, 12).offsetFromUtc(), 3600);

    m_context = std::make_unique<ManagedObjectContext>(testModel());
    m_list1 = m_context->insert(QStringLiteral("List"));
    m_list1->setValue(QStringLiteral("title"), QStringLiteral("Errands"));
    m_list1->setValue(QStringLiteral("state"), 2);
    m_list2 = m_context->insert(QStringLiteral("List"));
    m_list2->setValue(QStringLiteral("title"), QStringLiteral("Work"));

    auto add = [this](const QString &label, const QVariantMap &values, ManagedObject *list) {
        ManagedObject *item = m_context->insert(QStringLiteral("Item"));
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            item->setValue(it.key(), it.value());
        if (list)
            item->setToOne(QStringLiteral("list"), list);
        m_items.append({label, item});
    };

    // "none" has no values at all.
    add(QStringLiteral("none"), {}, nullptr);
    add(QStringLiteral("a"),
        {{QStringLiteral("quadrant"), 0},
         {QStringLiteral("state"), 0},
         {QStringLiteral("serial"), Q_INT64_C(5000000000)},
         {QStringLiteral("weight"), 2.5},
         {QStringLiteral("flagged"), true},
         {QStringLiteral("name"), QStringLiteral("Café au lait")},
         {QStringLiteral("descriptionText"), QStringLiteral("it's 100% done")},
         {QStringLiteral("dueDate"), local(2024, 3, 5, 10, 0)}},
        m_list1);
    add(QStringLiteral("b"),
        {{QStringLiteral("quadrant"), 1},
         {QStringLiteral("state"), 2},
         {QStringLiteral("serial"), 7},
         {QStringLiteral("weight"), -1.5},
         {QStringLiteral("flagged"), false},
         {QStringLiteral("name"), QStringLiteral("Buy *milk*")},
         {QStringLiteral("descriptionText"), QStringLiteral("path C:\\temp\\new")},
         {QStringLiteral("startDate"), local(2024, 3, 1, 8, 0)}},
        m_list2);
    add(QStringLiteral("c"),
        {{QStringLiteral("quadrant"), 0},
         {QStringLiteral("state"), -1},
         {QStringLiteral("name"), QString()},
         {QStringLiteral("descriptionText"), QStringLiteral("say \"x\" now")},
         {QStringLiteral("dueDate"), local(2024, 3, 7, 9, 0)}},
        nullptr);
    add(QStringLiteral("d"),
        {{QStringLiteral("quadrant"), 3},
         {QStringLiteral("state"), 3},
         {QStringLiteral("name"), QStringLiteral("CAFÉ")},
         {QStringLiteral("descriptionText"), QStringLiteral("Its 100 percent")},
         {QStringLiteral("dueDate"), local(2024, 3, 5, 10, 0)}},
        m_list2);
    // An empty text set explicitly, not just left absent.
    add(QStringLiteral("e"),
        {{QStringLiteral("quadrant"), 2},
         {QStringLiteral("name"), QStringLiteral("")},
         {QStringLiteral("descriptionText"), QStringLiteral("Crème brûlée ?")}},
        m_list1);
}

void TestPredicate::cleanupTestCase()
{
    m_items.clear();
    m_context.reset();
}

QString TestPredicate::matches(const Predicate &predicate) const
{
    QStringList labels;
    for (const auto &[label, item] : m_items) {
        if (predicate.evaluate(item))
            labels.append(label);
    }
    return labels.join(QLatin1Char(','));
}

void TestPredicate::evaluate_data()
{
    QTest::addColumn<Predicate>("predicate");
    QTest::addColumn<QString>("expected");

    using P = Predicate;
    const auto ci = P::Options(P::CaseInsensitive);
    const auto di = P::Options(P::DiacriticInsensitive);
    const auto cd = P::Options(P::CaseInsensitive | P::DiacriticInsensitive);

    // Numbers: an absent number reads 0.
    QTest::newRow("state != 2 holds for absent") << P::notEqual("state", 2) << "none,a,c,d,e";
    QTest::newRow("state == 0 holds for absent") << P::equal("state", 0) << "none,a,e";
    QTest::newRow("state < 0 only negative") << P::compare("state", P::Op::Less, 0) << "c";
    QTest::newRow("state <= -1") << P::compare("state", P::Op::LessOrEqual, -1) << "c";
    QTest::newRow("state >= 2") << P::compare("state", P::Op::GreaterOrEqual, 2) << "b,d";
    QTest::newRow("state > 2") << P::compare("state", P::Op::Greater, 2) << "d";
    QTest::newRow("state < 0.5 against a double") << P::compare("state", P::Op::Less, 0.5) << "none,a,c,e";
    QTest::newRow("int64 beyond 32 bits") << P::compare("serial", P::Op::Greater, Q_INT64_C(4294967296)) << "a";
    QTest::newRow("double below zero") << P::compare("weight", P::Op::Less, 0) << "b";
    QTest::newRow("double == 2.5") << P::equal("weight", 2.5) << "a";
    QTest::newRow("double absent reads 0") << P::equal("weight", 0) << "none,c,d,e";
    QTest::newRow("bool true") << P::equal("flagged", true) << "a";
    QTest::newRow("bool false holds for absent") << P::equal("flagged", false) << "none,b,c,d,e";
    QTest::newRow("nil number is only absent") << P::isNil("flagged") << "none,c,d,e";
    QTest::newRow("not nil number") << P::isNotNil("state") << "a,b,c,d";

    // Texts: absent and empty are alike.
    QTest::newRow("name == empty") << P::equal("name", QString("")) << "none,c,e";
    QTest::newRow("name != empty") << P::notEqual("name", QString("")) << "a,b,d";
    QTest::newRow("name nil: absent or empty") << P::isNil("name") << "none,c,e";
    QTest::newRow("name not nil") << P::isNotNil("name") << "a,b,d";
    QTest::newRow("name == null string is nil") << P::equal("name", QVariant()) << "none,c,e";
    QTest::newRow("text exact is case-sensitive") << P::equal("name", QString("café au lait")) << "";
    QTest::newRow("text ==[c]") << P::compare("name", P::Op::Equal, QString("café au lait"), ci) << "a";
    QTest::newRow("text ==[cd]") << P::compare("name", P::Op::Equal, QString("cafe"), cd) << "d";
    QTest::newRow("text < orders by code points") << P::compare("name", P::Op::Less, QString("C")) << "none,b,c,e";

    // Search text, matched literally and folded.
    QTest::newRow("cafe finds Café and CAFÉ") << P::contains("name", "cafe") << "a,d";
    QTest::newRow("[c] only keeps accents") << P::contains("name", "cafe", ci) << "";
    QTest::newRow("[c] only, accented needle") << P::contains("name", "café", ci) << "a,d";
    QTest::newRow("[d] only keeps case") << P::contains("name", "Cafe", di) << "a";
    QTest::newRow("no options is exact") << P::contains("name", "Café", P::NoOption) << "a";
    QTest::newRow("no options misses other case") << P::contains("name", "café", P::NoOption) << "";
    QTest::newRow("accented haystack, plain needle") << P::contains("descriptionText", "creme brulee") << "e";
    QTest::newRow("apostrophe and percent") << P::contains("descriptionText", "it's 100%") << "a";
    QTest::newRow("percent is no wildcard") << P::contains("descriptionText", "it%done") << "";
    QTest::newRow("percent alone") << P::contains("descriptionText", "%") << "a";
    QTest::newRow("asterisk literal") << P::contains("name", "*milk*") << "b";
    QTest::newRow("asterisk is no wildcard") << P::contains("name", "b*k") << "";
    QTest::newRow("question mark literal") << P::contains("descriptionText", "?") << "e";
    QTest::newRow("question mark is no wildcard") << P::contains("name", "b?y") << "";
    QTest::newRow("backslash literal") << P::contains("descriptionText", "c:\\temp\\") << "b";
    QTest::newRow("backslash is no escape") << P::contains("descriptionText", "\\t") << "b";
    QTest::newRow("backslash-t is not a tab") << P::contains("descriptionText", "\t") << "";
    QTest::newRow("double quotes literal") << P::contains("descriptionText", "\"x\"") << "c";
    QTest::newRow("begins with") << P::compare("name", P::Op::BeginsWith, QString("caf"), cd) << "a,d";
    QTest::newRow("begins with is anchored") << P::compare("name", P::Op::BeginsWith, QString("milk"), cd) << "";

    // Dates: a comparison with an absent date is false, NIL tests aside.
    const QDateTime due = local(2024, 3, 5, 10, 0);
    QTest::newRow("date ==") << P::equal("dueDate", due) << "a,d";
    QTest::newRow("date != is false for absent") << P::notEqual("dueDate", due) << "c";
    QTest::newRow("date >") << P::compare("dueDate", P::Op::Greater, due) << "c";
    QTest::newRow("date >=") << P::compare("dueDate", P::Op::GreaterOrEqual, due) << "a,c,d";
    QTest::newRow("date < far future skips absent") << P::compare("dueDate", P::Op::Less, local(2100, 1, 1)) << "a,c,d";
    QTest::newRow("date same moment in UTC") << P::equal("dueDate", due.toUTC()) << "a,d";
    QTest::newRow("date nil") << P::isNil("dueDate") << "none,b,e";
    QTest::newRow("date not nil") << P::isNotNil("dueDate") << "a,c,d";
    QTest::newRow("date != nil value") << P::notEqual("dueDate", QDateTime()) << "a,c,d";
    QTest::newRow("contains on a date") << P::contains("dueDate", "2024") << "";

    // To-one relationships.
    QTest::newRow("relationship == record") << P::equal("list", objectValue(m_list1)) << "a,e";
    QTest::newRow("relationship != record") << P::notEqual("list", objectValue(m_list1)) << "none,b,c,d";
    QTest::newRow("relationship == null record") << P::equal("list", objectValue(nullptr)) << "none,c";
    QTest::newRow("relationship nil") << P::isNil("list") << "none,c";
    QTest::newRow("relationship not nil") << P::isNotNil("list") << "a,b,d,e";
    QTest::newRow("relationship == URI") << P::equal("list", m_list2->objectURI()) << "b,d";
    QTest::newRow("key path text") << P::contains("list.title", "WORK") << "b,d";
    QTest::newRow("key path number reads 0 without a list") << P::notEqual("list.state", 2) << "none,b,c,d";
    QTest::newRow("key path number equal") << P::equal("list.state", 2) << "a,e";

    // Compounds.
    QTest::newRow("and") << (P::equal("quadrant", 0) && P::notEqual("state", 2)) << "none,a,c";
    QTest::newRow("or") << (P::equal("quadrant", 3) || P::compare("state", P::Op::Less, 0)) << "c,d";
    QTest::newRow("not") << !P::equal("quadrant", 0) << "b,d,e";
    QTest::newRow("and with nested or")
        << P::andPredicate({P::equal("quadrant", 0),
                            P::orPredicate({P::compare("state", P::Op::Less, 0), P::contains("name", "cafe")})})
        << "a,c";
    QTest::newRow("or with nested and")
        << P::orPredicate({P::andPredicate({P::equal("quadrant", 0), P::isNotNil("dueDate")}), P::equal("quadrant", 3)})
        << "a,c,d";
    QTest::newRow("not of and") << P::notPredicate(P::equal("quadrant", 0) && P::equal("state", 0)) << "b,c,d,e";
    QTest::newRow("double negation") << !!P::isNil("name") << "none,c,e";
    QTest::newRow("quadrant search filter")
        << P::andPredicate({P::equal("quadrant", 0), P::notEqual("state", 2), P::notEqual("state", 3),
                            P::orPredicate({P::contains("name", "IT'S 100%"), P::contains("descriptionText", "IT'S 100%")})})
        << "a";
    QTest::newRow("true") << P::truePredicate() << "none,a,b,c,d,e";
    QTest::newRow("false") << P::falsePredicate() << "";
    QTest::newRow("empty and") << P::andPredicate({}) << "none,a,b,c,d,e";
    QTest::newRow("empty or") << P::orPredicate({}) << "";
    QTest::newRow("unknown key reads absent") << P::equal("nonexistent", 0) << "none,a,b,c,d,e";
}

void TestPredicate::evaluate()
{
    QFETCH(Predicate, predicate);
    QFETCH(QString, expected);
    QCOMPARE(matches(predicate), expected);
}

void TestPredicate::nullPredicateMatchesEverything()
{
    const Predicate none;
    QVERIFY(none.isNull());
    QCOMPARE(matches(none), QStringLiteral("none,a,b,c,d,e"));
    QVERIFY(!Predicate::truePredicate().isNull());
}

void TestPredicate::composesWithNullPredicate()
{
    const Predicate none;
    const Predicate quadrant = Predicate::equal("quadrant", 0);
    QCOMPARE(matches(none && quadrant), matches(quadrant));
    QCOMPARE(matches(quadrant && none), matches(quadrant));
    QCOMPARE(matches(none || quadrant), QStringLiteral("none,a,b,c,d,e"));
    QCOMPARE(matches(!none), QString());
}

void TestPredicate::dottedKeyPathReadsThroughAnEmptyRelationship()
{
    // The type comes from the model: with no list the title is absent text
    // (empty), not an unknown value.
    ManagedObject *none = m_items.first().second;
    QVERIFY(Predicate::isNil("list.title").evaluate(none));
    QVERIFY(Predicate::equal("list.title", QString("")).evaluate(none));
    AttributeType type = AttributeType::Binary;
    QVERIFY(Predicate::attributeTypeForKeyPath(none, "list.state", &type));
    QCOMPARE(type, AttributeType::Int32);
    QVERIFY(Predicate::attributeTypeForKeyPath(none, "dueDate", &type));
    QCOMPARE(type, AttributeType::Date);
    QVERIFY(!Predicate::attributeTypeForKeyPath(none, "list", &type));
    QVERIFY(!Predicate::attributeTypeForKeyPath(none, "list.nothing", &type));
    QVERIFY(!Predicate::attributeTypeForKeyPath(none, "name.length", &type));
}

void TestPredicate::toString_data()
{
    QTest::addColumn<Predicate>("predicate");
    QTest::addColumn<QString>("expected");

    using P = Predicate;
    const QString search = QStringLiteral("it's 100%");
    QTest::newRow("quadrant filter")
        << P::andPredicate({P::equal("quadrant", 0), P::notEqual("state", 2), P::notEqual("state", 3),
                            P::orPredicate({P::contains("name", search), P::contains("descriptionText", search)})})
        << R"(quadrant == 0 AND state != 2 AND state != 3 AND (name CONTAINS[cd] "it's 100%" OR descriptionText CONTAINS[cd] "it's 100%"))";
    QTest::newRow("chained and stays flat")
        << (P::equal("a", 1) && P::equal("b", 2) && P::equal("c", 3)) << "a == 1 AND b == 2 AND c == 3";
    QTest::newRow("and inside or")
        << (P::equal("a", 1) || (P::equal("b", 2) && P::equal("c", 3))) << "a == 1 OR (b == 2 AND c == 3)";
    QTest::newRow("not nil") << P::isNotNil("dueDate") << "dueDate != nil";
    QTest::newRow("nil") << P::isNil("dueDate") << "dueDate == nil";
    QTest::newRow("equal null value") << P::equal("name", QVariant()) << "name == nil";
    QTest::newRow("date winter")
        << P::compare("startDate", P::Op::GreaterOrEqual, local(2024, 3, 5, 9, 30))
        << "startDate >= 2024-03-05T09:30:00+01:00";
    QTest::newRow("date summer")
        << P::compare("startDate", P::Op::Less, local(2024, 7, 1, 0, 0, 5)) << "startDate < 2024-07-01T00:00:05+02:00";
    QTest::newRow("date UTC")
        << P::compare("startDate", P::Op::Less, QDateTime(QDate(2024, 7, 1), QTime(12, 0), Qt::UTC))
        << "startDate < 2024-07-01T12:00:00Z";
    QTest::newRow("true") << P::truePredicate() << "TRUEPREDICATE";
    QTest::newRow("false") << P::falsePredicate() << "FALSEPREDICATE";
    QTest::newRow("null") << P() << "TRUEPREDICATE";
    QTest::newRow("not") << !P::equal("state", 2) << "NOT(state == 2)";
    QTest::newRow("not of or") << !(P::equal("a", 1) || P::equal("b", 2)) << "NOT(a == 1 OR b == 2)";
    QTest::newRow("escaped quotes and backslash")
        << P::equal("name", QString("say \"hi\" \\ there")) << R"(name == "say \"hi\" \\ there")";
    QTest::newRow("case only") << P::contains("name", "x", P::CaseInsensitive) << R"(name CONTAINS[c] "x")";
    QTest::newRow("diacritics only") << P::contains("name", "x", P::DiacriticInsensitive) << R"(name CONTAINS[d] "x")";
    QTest::newRow("begins with, no options")
        << P::compare("name", P::Op::BeginsWith, QString("x")) << R"(name BEGINSWITH "x")";
    QTest::newRow("negative number") << P::compare("state", P::Op::LessOrEqual, -1) << "state <= -1";
    QTest::newRow("double") << P::compare("weight", P::Op::Greater, 2.5) << "weight > 2.5";
    QTest::newRow("bool") << P::equal("flagged", true) << "flagged == 1";
    QTest::newRow("key path") << P::equal("list.state", 2) << "list.state == 2";
}

void TestPredicate::toString()
{
    QFETCH(Predicate, predicate);
    QFETCH(QString, expected);
    QCOMPARE(predicate.toString(), expected);
}

QTEST_GUILESS_MAIN(TestPredicate)
#include "tst_predicate.moc"
