#pragma once

#include <QSharedPointer>
#include <QString>
#include <QVariant>

class ManagedObject;
enum class AttributeType;

// A small composable condition over records, evaluated in memory.
//
// Values are held as values, never parsed from text: a search text with
// quotes or percent signs in it matches itself. toString() renders the
// conventional text form ("quadrant == 0 AND state != 2") for log lines.
//
// Comparison rules follow the records' reading rules: an absent number reads
// 0, absent and empty text are alike, and comparisons with an absent date are
// false (except the NIL tests).
class Predicate
{
public:
    enum class Op {
        Equal,
        NotEqual,
        Less,
        LessOrEqual,
        Greater,
        GreaterOrEqual,
        Contains,   // text contains
        BeginsWith, // text begins with
    };

    enum Option {
        NoOption = 0,
        CaseInsensitive = 0x1,       // [c]
        DiacriticInsensitive = 0x2,  // [d]
    };
    Q_DECLARE_FLAGS(Options, Option)

    // The empty predicate: matches everything and is "none" for isNull().
    Predicate() = default;

    static Predicate truePredicate();
    static Predicate falsePredicate();
    static Predicate compare(const QString &keyPath, Op op, const QVariant &value, Options options = NoOption);
    static Predicate isNil(const QString &keyPath);
    static Predicate isNotNil(const QString &keyPath);
    static Predicate andPredicate(const QList<Predicate> &parts);
    static Predicate orPredicate(const QList<Predicate> &parts);
    static Predicate notPredicate(const Predicate &inner);

    // Shorthands.
    static Predicate equal(const QString &keyPath, const QVariant &value) { return compare(keyPath, Op::Equal, value); }
    static Predicate notEqual(const QString &keyPath, const QVariant &value) { return compare(keyPath, Op::NotEqual, value); }
    static Predicate contains(const QString &keyPath, const QString &text, Options options = Options(CaseInsensitive | DiacriticInsensitive))
    {
        return compare(keyPath, Op::Contains, text, options);
    }

    Predicate operator&&(const Predicate &other) const { return andPredicate({*this, other}); }
    Predicate operator||(const Predicate &other) const { return orPredicate({*this, other}); }
    Predicate operator!() const { return notPredicate(*this); }

    bool isNull() const { return !d; }
    bool evaluate(const ManagedObject *object) const;
    QString toString() const;

    // The type of the attribute a key path ends at, following to-one
    // relationships ("list.state") through the record's model. False when the
    // path does not end at an attribute (unknown key, or a relationship).
    static bool attributeTypeForKeyPath(const ManagedObject *object, const QString &keyPath, AttributeType *type);

    struct Node;

private:
    explicit Predicate(QSharedPointer<const Node> node) : d(std::move(node)) {}
    QSharedPointer<const Node> d;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Predicate::Options)
