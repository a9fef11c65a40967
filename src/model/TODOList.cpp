#include "TODOList.h"

#include "Logging.h"
#include "ManagedObjectContext.h"
#include "Predicate.h"
#include "ResourcePath.h"
#include "TODOItem.h"

#include <exception>

QVector<AttributeDescription> TODOList::attributeDescriptions()
{
    using T = AttributeType;
    // Same order as the Attribute enumeration.
    QVector<AttributeDescription> attributes = {
        {QStringLiteral("id_"), T::Int32},
        {QStringLiteral("name"), T::Text},
        {QStringLiteral("state"), T::Int32},
        {QStringLiteral("index"), T::Int32},
        {QStringLiteral("centerX"), T::Double},
        {QStringLiteral("centerY"), T::Double},
        {QStringLiteral("textFirstQuadrant"), T::Text},
        {QStringLiteral("textSecondQuadrant"), T::Text},
        {QStringLiteral("textThirdQuadrant"), T::Text},
        {QStringLiteral("textFourthQuadrant"), T::Text},
        {QStringLiteral("colorFirstQuadrant"), T::Text},
        {QStringLiteral("colorSecondQuadrant"), T::Text},
        {QStringLiteral("colorThirdQuadrant"), T::Text},
        {QStringLiteral("colorFourthQuadrant"), T::Text},
        {QStringLiteral("edited_since"), T::Int32},
        {QStringLiteral("timestamp"), T::Int32},
        {QStringLiteral("edited_by"), T::Text},
        {QStringLiteral("password"), T::Text},
        {QStringLiteral("lastItemIndex"), T::Int32},
        {QStringLiteral("owner"), T::Text},
        {QStringLiteral("deleted"), T::Int32},
        {QStringLiteral("resourceURI"), T::Text},
        {QStringLiteral("requestedTime"), T::Int64},
        {QStringLiteral("highlight"), T::Int32},
        {QStringLiteral("editedByDevice"), T::Text},
        {QStringLiteral("ownersCountCache"), T::Int32},
        {QStringLiteral("editedByUsername"), T::Text},
        {QStringLiteral("versionID"), T::Int64},
        {QStringLiteral("boxFolderID"), T::Text},
        {QStringLiteral("cv_notes"), T::Text},
    };
    Q_ASSERT(attributes.size() == AttributeCount);
    return attributes;
}

QVector<RelationshipDescription> TODOList::relationshipDescriptions()
{
    return {{QStringLiteral("contains"), TODOItem::EntityName, QStringLiteral("list"), true}};
}

QList<TODOItem *> TODOList::contains() const
{
    const QList<ManagedObject *> objects = toMany(QStringLiteral("contains"));
    QList<TODOItem *> items;
    items.reserve(objects.size());
    for (ManagedObject *object : objects)
        items.append(static_cast<TODOItem *>(object));
    return items;
}

bool TODOList::usesItemId(qint32 id) const
{
    if (!m_itemIdCounts) {
        m_itemIdCounts.emplace();
        for (const TODOItem *item : contains()) {
            if (item->hasValue(TODOItem::Attr_id_))
                ++(*m_itemIdCounts)[item->id_()];
        }
    }
    return m_itemIdCounts->contains(id);
}

void TODOList::countItemId(std::optional<qint32> id, int delta)
{
    if (!m_itemIdCounts || !id)
        return;
    int &count = (*m_itemIdCounts)[*id];
    count += delta;
    if (count <= 0)
        m_itemIdCounts->remove(*id);
}

// The four titles and the four colours are consecutive attributes, first quadrant first.
QString TODOList::nameForQuadrant(int quadrant) const
{
    return quadrant >= 0 && quadrant < 4 ? textAt(Attr_textFirstQuadrant + quadrant) : QString();
}

QString TODOList::colorTextForQuadrant(int quadrant) const
{
    return quadrant >= 0 && quadrant < 4 ? textAt(Attr_colorFirstQuadrant + quadrant) : QString();
}

QString TODOList::getURI() const
{
    const QString uri = resourceURI();
    if (!uri.isEmpty())
        return uri;
    if (const int id = id_())
        return ResourcePath::projectPath(id);
    return QString();
}

TODOList *TODOList::findWithID(qint64 id, ManagedObjectContext *context)
{
    if (!context) {
        qCWarning(lcModel, "an error occurred: %s", "no object context to search");
        return nullptr;
    }
    try {
        const Predicate predicate = Predicate::equal(QStringLiteral("id_"), QVariant(qlonglong(id)))
            && Predicate::notEqual(QStringLiteral("state"), QVariant(int(RecordState::Deleted)));
        const QList<ManagedObject *> found = context->fetch(EntityName, predicate);
        if (found.isEmpty())
            return nullptr;
        if (found.size() != 1)
            qCWarning(lcModel, "%lld is replicated. There are %i copies", static_cast<long long>(id),
                      int(found.size()));
        return static_cast<TODOList *>(found.constFirst());
    } catch (const std::exception &error) {
        qCWarning(lcModel, "an error occurred: %s", error.what());
    } catch (...) {
        qCWarning(lcModel, "an error occurred: %s", "unknown failure");
    }
    return nullptr;
}

void TODOList::copyTo(TODOList *target) const
{
    copyTo(target, true);
}

void TODOList::copyTo(TODOList *target, bool copyIDs) const
{
    if (!target || target == this)
        return;

    const auto copy = [&](Attribute attribute) { target->copyValueAt(attribute, *this); };

    if (copyIDs) {
        for (Attribute a : {Attr_id_, Attr_versionID, Attr_resourceURI})
            copy(a);
    }
    for (Attribute a : {Attr_name, Attr_state, Attr_textFirstQuadrant, Attr_textSecondQuadrant, Attr_textThirdQuadrant,
                        Attr_textFourthQuadrant, Attr_colorFirstQuadrant, Attr_colorSecondQuadrant,
                        Attr_colorThirdQuadrant, Attr_colorFourthQuadrant, Attr_timestamp, Attr_edited_by,
                        Attr_requestedTime, Attr_editedByDevice, Attr_editedByUsername, Attr_cv_notes})
        copy(a);
}

void TODOList::resetIDs()
{
    setId_(0);
    clearValueAt(Attr_versionID);
    clearValueAt(Attr_boxFolderID);
    // A copy that kept the source's path would be taken by the server for the source itself.
    clearValueAt(Attr_resourceURI);
}

bool TODOList::needToUpload() const
{
    return changedKeysForCurrentEventOutside(nonTrackedProperties());
}

const QSet<QString> &TODOList::nonTrackedProperties()
{
    static const QSet<QString> properties = {
        QStringLiteral("centerX"),         QStringLiteral("centerY"),        QStringLiteral("edited_since"),
        QStringLiteral("resourceURI"),     QStringLiteral("edited_by"),      QStringLiteral("editedByDevice"),
        QStringLiteral("timestamp"),       QStringLiteral("requestedTime"),  QStringLiteral("contains"),
        QStringLiteral("lastItemIndex"),   QStringLiteral("ownersCountCache"), QStringLiteral("highlight"),
        QStringLiteral("deleted"),         QStringLiteral("password"),       QStringLiteral("editedByUsername"),
        QStringLiteral("versionID"),
    };
    return properties;
}
