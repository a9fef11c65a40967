#include "Predicate.h"

#include "ManagedObject.h"
#include "ManagedObjectContext.h"
#include "ObjectModel.h"

#include <QDateTime>
#include <QUrl>

#include <cmath>

// How a value is read for a comparison: the attribute's type when the key
// path ends at a known attribute, else what the value itself holds.
namespace {

enum class Reading {
    Integer,
    Real,
    Text,
    Date,
    Binary,
    Object,
};

} // namespace

struct Predicate::Node {
    enum class Kind {
        True,
        False,
        Compare,
        IsNil,
        IsNotNil,
        And,
        Or,
        Not,
    };

    Kind kind = Kind::True;
    QString keyPath;
    Op op = Op::Equal;
    Options options;
    QVariant value;
    QString foldedText;       // the value as text, folded by the options
    bool plainKey = false;    // a key of the record itself (no dots)
    QList<Predicate> children;

    // The attribute a plain key names in the last entity seen: filters test
    // records of one entity over and over, so the name is looked up once.
    mutable const EntityDescription *cachedEntity = nullptr;
    mutable int cachedIndex = -1;
    mutable AttributeType cachedType = AttributeType::Text;
};

namespace {

using Node = Predicate::Node;
using Kind = Predicate::Node::Kind;

bool isAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

// Folds text for case- and diacritic-insensitive matching: decomposes and
// drops the combining marks ("Café" -> "Cafe"), then case-folds.
QString fold(const QString &text, Predicate::Options options)
{
    QString result = text;
    if ((options & Predicate::DiacriticInsensitive) && !isAscii(result)) {
        result = result.normalized(QString::NormalizationForm_D);
        result.removeIf([](QChar c) { return c.category() == QChar::Mark_NonSpacing; });
    }
    if (options & Predicate::CaseInsensitive)
        result = result.toCaseFolded();
    return result;
}

bool isDateType(const QVariant &v)
{
    const int id = v.metaType().id();
    return id == QMetaType::QDateTime || id == QMetaType::QDate;
}

bool holdsObject(const QVariant &v)
{
    return v.metaType() == QMetaType::fromType<ManagedObject *>();
}

Reading readingForType(AttributeType type)
{
    switch (type) {
    case AttributeType::Int32:
    case AttributeType::Int64:
    case AttributeType::Bool:
        return Reading::Integer;
    case AttributeType::Double:
        return Reading::Real;
    case AttributeType::Text:
        return Reading::Text;
    case AttributeType::Date:
        return Reading::Date;
    case AttributeType::Binary:
        return Reading::Binary;
    }
    return Reading::Text;
}

// The reading a value suggests by what it holds; false for an absent value.
bool readingForValue(const QVariant &v, Reading *reading)
{
    if (!v.isValid())
        return false;
    if (holdsObject(v) || v.metaType().id() == QMetaType::QUrl) {
        *reading = Reading::Object;
        return true;
    }
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Bool:
        *reading = Reading::Integer;
        return true;
    case QMetaType::Double:
    case QMetaType::Float:
        *reading = Reading::Real;
        return true;
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        *reading = Reading::Date;
        return true;
    case QMetaType::QByteArray:
        *reading = Reading::Binary;
        return true;
    default:
        *reading = Reading::Text;
        return true;
    }
}

Reading resolveReading(const ManagedObject *object, const QString &keyPath, const QVariant &read, const QVariant &given)
{
    AttributeType type;
    if (Predicate::attributeTypeForKeyPath(object, keyPath, &type))
        return readingForType(type);
    Reading reading = Reading::Text;
    if (readingForValue(read, &reading) || readingForValue(given, &reading))
        return reading;
    return Reading::Text;
}

template <typename T>
bool compareOrdered(const T &lhs, const T &rhs, Predicate::Op op)
{
    switch (op) {
    case Predicate::Op::Equal:
        return lhs == rhs;
    case Predicate::Op::NotEqual:
        return !(lhs == rhs);
    case Predicate::Op::Less:
        return lhs < rhs;
    case Predicate::Op::LessOrEqual:
        return lhs < rhs || lhs == rhs;
    case Predicate::Op::Greater:
        return rhs < lhs;
    case Predicate::Op::GreaterOrEqual:
        return rhs < lhs || lhs == rhs;
    case Predicate::Op::Contains:
    case Predicate::Op::BeginsWith:
        break;
    }
    return false;
}

bool compareText(const QString &lhs, const Node &node)
{
    const QString &rhs = node.foldedText;
    // Plain ASCII text has nothing to decompose, and folding its case is what
    // a case-insensitive search does as it goes: no folded copy is made.
    if (node.op == Predicate::Op::Contains && (node.options & Predicate::CaseInsensitive) && isAscii(lhs))
        return lhs.contains(rhs, Qt::CaseInsensitive);
    const QString left = node.options ? fold(lhs, node.options) : lhs;
    switch (node.op) {
    case Predicate::Op::Contains:
        return left.contains(rhs);
    case Predicate::Op::BeginsWith:
        return left.startsWith(rhs);
    default:
        return compareOrdered(QString::compare(left, rhs), 0, node.op);
    }
}

ManagedObject *objectIn(const QVariant &v)
{
    return holdsObject(v) ? v.value<ManagedObject *>() : nullptr;
}

// The attribute index of a plain key in the object's entity, -1 when the key
// names no attribute; cached in the node per entity.
int cachedAttributeIndex(const Node &node, const ManagedObject *object)
{
    const EntityDescription *entity = &object->entity();
    if (node.cachedEntity != entity) {
        node.cachedEntity = entity;
        node.cachedIndex = entity->attributeIndex(node.keyPath);
        if (node.cachedIndex >= 0)
            node.cachedType = entity->attributes()[node.cachedIndex].type;
    }
    return node.cachedIndex;
}

bool evaluateCompare(const Node &node, const ManagedObject *object)
{
    const QVariant &given = node.value;

    // Fast paths for an attribute of the record itself.
    if (node.plainKey) {
        const int index = cachedAttributeIndex(node, object);
        if (index >= 0) {
            const Reading reading = readingForType(node.cachedType);
            if (node.op == Predicate::Op::Contains || node.op == Predicate::Op::BeginsWith) {
                if (reading == Reading::Text)
                    return compareText(object->textAt(index), node);
            } else if (reading == Reading::Integer && given.metaType().id() == QMetaType::Int) {
                // An absent number reads 0.
                return compareOrdered(object->integerAt(index), qint64(*static_cast<const int *>(given.constData())),
                                      node.op);
            }
        }
    }

    const QVariant read = object->valueForKeyPath(node.keyPath);

    // Text matching reads everything as text.
    if (node.op == Predicate::Op::Contains || node.op == Predicate::Op::BeginsWith) {
        if (isDateType(read) || (!read.isValid() && isDateType(given)))
            return false;
        return compareText(read.isValid() ? read.toString() : QString(), node);
    }

    switch (resolveReading(object, node.keyPath, read, given)) {
    case Reading::Integer:
        if (given.metaType().id() == QMetaType::Double || given.metaType().id() == QMetaType::Float)
            return compareOrdered(read.toDouble(), given.toDouble(), node.op);
        return compareOrdered(read.toLongLong(), given.toLongLong(), node.op);
    case Reading::Real: {
        const double lhs = read.toDouble();
        const double rhs = given.toDouble();
        if (std::isnan(lhs) || std::isnan(rhs))
            return node.op == Predicate::Op::NotEqual;
        return compareOrdered(lhs, rhs, node.op);
    }
    case Reading::Text:
        return compareText(read.isValid() ? read.toString() : QString(), node);
    case Reading::Date: {
        const QDateTime lhs = read.toDateTime();
        const QDateTime rhs = given.toDateTime();
        if (!lhs.isValid() || !rhs.isValid())
            return false;
        return compareOrdered(lhs.toMSecsSinceEpoch(), rhs.toMSecsSinceEpoch(), node.op);
    }
    case Reading::Binary:
        return compareOrdered(read.toByteArray(), given.toByteArray(), node.op);
    case Reading::Object: {
        if (node.op != Predicate::Op::Equal && node.op != Predicate::Op::NotEqual)
            return false;
        const ManagedObject *lhs = objectIn(read);
        bool same = false;
        if (given.metaType().id() == QMetaType::QUrl)
            same = lhs && lhs->objectURI() == given.toUrl();
        else
            same = lhs == objectIn(given);
        return node.op == Predicate::Op::Equal ? same : !same;
    }
    }
    return false;
}

bool evaluateIsNil(const Node &node, const ManagedObject *object)
{
    const QVariant read = object->valueForKeyPath(node.keyPath);
    if (!read.isValid() || read.isNull())
        return true;
    AttributeType type;
    Reading reading = Reading::Text;
    if (Predicate::attributeTypeForKeyPath(object, node.keyPath, &type))
        reading = readingForType(type);
    else
        readingForValue(read, &reading);
    switch (reading) {
    case Reading::Text:
        return read.toString().isEmpty();
    case Reading::Date:
        return !read.toDateTime().isValid();
    case Reading::Binary:
        return read.toByteArray().isEmpty();
    case Reading::Integer:
    case Reading::Real:
    case Reading::Object:
        break;
    }
    return false;
}

QString opText(Predicate::Op op)
{
    switch (op) {
    case Predicate::Op::Equal:
        return QStringLiteral("==");
    case Predicate::Op::NotEqual:
        return QStringLiteral("!=");
    case Predicate::Op::Less:
        return QStringLiteral("<");
    case Predicate::Op::LessOrEqual:
        return QStringLiteral("<=");
    case Predicate::Op::Greater:
        return QStringLiteral(">");
    case Predicate::Op::GreaterOrEqual:
        return QStringLiteral(">=");
    case Predicate::Op::Contains:
        return QStringLiteral("CONTAINS");
    case Predicate::Op::BeginsWith:
        return QStringLiteral("BEGINSWITH");
    }
    return {};
}

QString quoted(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

QString valueText(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return QStringLiteral("nil");
    if (holdsObject(v)) {
        const ManagedObject *o = v.value<ManagedObject *>();
        return o ? QLatin1Char('<') + o->objectURI().toString() + QLatin1Char('>') : QStringLiteral("nil");
    }
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return v.toString();
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const QDateTime d = v.toDateTime();
        if (!d.isValid())
            return QStringLiteral("nil");
        const QDateTime withOffset = d.toOffsetFromUtc(d.offsetFromUtc());
        return withOffset.toString(d.time().msec() ? Qt::ISODateWithMs : Qt::ISODate);
    }
    case QMetaType::QUrl:
        return QLatin1Char('<') + v.toUrl().toString() + QLatin1Char('>');
    default:
        return quoted(v.toString());
    }
}

QString optionsText(Predicate::Options options)
{
    if (!options)
        return {};
    QString out = QStringLiteral("[");
    if (options & Predicate::CaseInsensitive)
        out += QLatin1Char('c');
    if (options & Predicate::DiacriticInsensitive)
        out += QLatin1Char('d');
    out += QLatin1Char(']');
    return out;
}

// A null value compared for (in)equality is the NIL test; so is a null record
// or an invalid date.
bool isNilValue(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return true;
    if (isDateType(v))
        return !v.toDateTime().isValid();
    return false;
}

} // namespace

Predicate Predicate::truePredicate()
{
    auto node = QSharedPointer<Node>::create();
    node->kind = Kind::True;
    return Predicate(node);
}

Predicate Predicate::falsePredicate()
{
    auto node = QSharedPointer<Node>::create();
    node->kind = Kind::False;
    return Predicate(node);
}

Predicate Predicate::compare(const QString &keyPath, Op op, const QVariant &value, Options options)
{
    if ((op == Op::Equal || op == Op::NotEqual) && isNilValue(value))
        return op == Op::Equal ? isNil(keyPath) : isNotNil(keyPath);
    auto node = QSharedPointer<Node>::create();
    node->kind = Kind::Compare;
    node->keyPath = keyPath;
    node->plainKey = !keyPath.contains(QLatin1Char('.'));
    node->op = op;
    node->options = options;
    node->value = value;
    if (value.isValid() && !isDateType(value) && !holdsObject(value))
        node->foldedText = fold(value.toString(), options);
    return Predicate(node);
}

Predicate Predicate::isNil(const QString &keyPath)
{
    auto node = QSharedPointer<Node>::create();
    node->kind = Kind::IsNil;
    node->keyPath = keyPath;
    return Predicate(node);
}

Predicate Predicate::isNotNil(const QString &keyPath)
{
    auto node = QSharedPointer<Node>::create();
    node->kind = Kind::IsNotNil;
    node->keyPath = keyPath;
    return Predicate(node);
}

// The empty predicate matches everything: it drops out of an AND and makes an
// OR always true. Nested compounds of the same kind are flattened.
Predicate Predicate::andPredicate(const QList<Predicate> &parts)
{
    QList<Predicate> children;
    for (const Predicate &p : parts) {
        if (p.isNull())
            continue;
        if (p.d->kind == Kind::And)
            children += p.d->children;
        else
            children.append(p);
    }
    if (children.isEmpty())
        return truePredicate();
    if (children.size() == 1)
        return children.first();
    auto node = QSharedPointer<Node>::create();
    node->kind = Kind::And;
    node->children = std::move(children);
    return Predicate(node);
}

Predicate Predicate::orPredicate(const QList<Predicate> &parts)
{
    QList<Predicate> children;
    for (const Predicate &p : parts) {
        if (p.isNull())
            return truePredicate();
        if (p.d->kind == Kind::Or)
            children += p.d->children;
        else
            children.append(p);
    }
    if (children.isEmpty())
        return falsePredicate();
    if (children.size() == 1)
        return children.first();
    auto node = QSharedPointer<Node>::create();
    node->kind = Kind::Or;
    node->children = std::move(children);
    return Predicate(node);
}

Predicate Predicate::notPredicate(const Predicate &inner)
{
    if (inner.isNull())
        return falsePredicate();
    auto node = QSharedPointer<Node>::create();
    node->kind = Kind::Not;
    node->children = {inner};
    return Predicate(node);
}

bool Predicate::evaluate(const ManagedObject *object) const
{
    if (!d)
        return true;
    switch (d->kind) {
    case Kind::True:
        return true;
    case Kind::False:
        return false;
    case Kind::Compare:
        return object && evaluateCompare(*d, object);
    case Kind::IsNil:
        return !object || evaluateIsNil(*d, object);
    case Kind::IsNotNil:
        return object && !evaluateIsNil(*d, object);
    case Kind::And:
        for (const Predicate &p : d->children) {
            if (!p.evaluate(object))
                return false;
        }
        return true;
    case Kind::Or:
        for (const Predicate &p : d->children) {
            if (p.evaluate(object))
                return true;
        }
        return false;
    case Kind::Not:
        return !d->children.first().evaluate(object);
    }
    return false;
}

QString Predicate::toString() const
{
    if (!d)
        return QStringLiteral("TRUEPREDICATE");
    switch (d->kind) {
    case Kind::True:
        return QStringLiteral("TRUEPREDICATE");
    case Kind::False:
        return QStringLiteral("FALSEPREDICATE");
    case Kind::Compare:
        return d->keyPath + QLatin1Char(' ') + opText(d->op) + optionsText(d->options) + QLatin1Char(' ')
            + valueText(d->value);
    case Kind::IsNil:
        return d->keyPath + QStringLiteral(" == nil");
    case Kind::IsNotNil:
        return d->keyPath + QStringLiteral(" != nil");
    case Kind::And:
    case Kind::Or: {
        const Kind other = d->kind == Kind::And ? Kind::Or : Kind::And;
        QStringList parts;
        parts.reserve(d->children.size());
        for (const Predicate &p : d->children) {
            const QString text = p.toString();
            parts.append(p.d->kind == other ? QLatin1Char('(') + text + QLatin1Char(')') : text);
        }
        return parts.join(d->kind == Kind::And ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
    }
    case Kind::Not:
        return QStringLiteral("NOT(") + d->children.first().toString() + QLatin1Char(')');
    }
    return {};
}

bool Predicate::attributeTypeForKeyPath(const ManagedObject *object, const QString &keyPath, AttributeType *type)
{
    if (!object)
        return false;
    const EntityDescription *entity = &object->entity();

    // The common case: a plain attribute of the record itself.
    if (!keyPath.contains(QLatin1Char('.'))) {
        const int index = entity->attributeIndex(keyPath);
        if (index < 0)
            return false;
        *type = entity->attributes()[index].type;
        return true;
    }

    // Through to-one relationships, by the model so that the type is known
    // also when a relationship on the way is empty.
    const ObjectModel *model = object->context() ? &object->context()->model() : nullptr;
    const ManagedObject *current = object;
    const QStringList parts = keyPath.split(QLatin1Char('.'));
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const int r = entity->relationshipIndex(parts[i]);
        if (r < 0 || entity->relationships()[r].toMany)
            return false;
        const EntityDescription *next = model ? model->entity(entity->relationships()[r].destination) : nullptr;
        current = current ? current->toOne(parts[i]) : nullptr;
        if (!next && current)
            next = &current->entity();
        if (!next)
            return false;
        entity = next;
    }
    const int index = entity->attributeIndex(parts.last());
    if (index < 0)
        return false;
    *type = entity->attributes()[index].type;
    return true;
}
