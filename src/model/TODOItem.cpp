#include "TODOItem.h"

#include "DateUtils.h"
#include "HtmlText.h"
#include "ItemIdentifiers.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "Predicate.h"
#include "ResourcePath.h"
#include "TODOList.h"

#include <exception>

QVector<AttributeDescription> TODOItem::attributeDescriptions()
{
    using T = AttributeType;
    // Same order as the Attribute enumeration.
    QVector<AttributeDescription> attributes = {
        {QStringLiteral("id_"), T::Int32},
        {QStringLiteral("serverID"), T::Int64},
        {QStringLiteral("name"), T::Text},
        {QStringLiteral("descriptionRichText"), T::Text},
        {QStringLiteral("descriptionText"), T::Text},
        {QStringLiteral("quadrant"), T::Int32},
        {QStringLiteral("index"), T::Int32},
        {QStringLiteral("icon"), T::Text},
        {QStringLiteral("dueDate"), T::Date},
        {QStringLiteral("startDate"), T::Date},
        {QStringLiteral("creationDate"), T::Date},
        {QStringLiteral("completionDate"), T::Date},
        {QStringLiteral("untilDate"), T::Date},
        {QStringLiteral("allDay"), T::Bool},
        {QStringLiteral("state"), T::Int32},
        {QStringLiteral("completionPercentage"), T::Int32},
        {QStringLiteral("frequency"), T::Text},
        {QStringLiteral("parentID"), T::Int32},
        {QStringLiteral("childID"), T::Int32},
        {QStringLiteral("effort"), T::Int32},
        {QStringLiteral("edited_since"), T::Int32},
        {QStringLiteral("timestamp"), T::Int32},
        {QStringLiteral("edited_by"), T::Text},
        {QStringLiteral("owner"), T::Text},
        {QStringLiteral("ownerUsername"), T::Text},
        {QStringLiteral("creatorUsername"), T::Text},
        {QStringLiteral("editedByUsername"), T::Text},
        {QStringLiteral("editedByDevice"), T::Text},
        {QStringLiteral("resourceURI"), T::Text},
        {QStringLiteral("requestedTime"), T::Int64},
        {QStringLiteral("highlight"), T::Int32},
        {QStringLiteral("macResourceURL"), T::Text},
        {QStringLiteral("versionID"), T::Int64},
        {QStringLiteral("cachedConversation"), T::Text},
        {QStringLiteral("boxFolderID"), T::Text},
        {QStringLiteral("status"), T::Text},
    };
    Q_ASSERT(attributes.size() == AttributeCount);
    return attributes;
}

QVector<RelationshipDescription> TODOItem::relationshipDescriptions()
{
    return {{QStringLiteral("list"), TODOList::EntityName, QStringLiteral("contains"), false}};
}

void TODOItem::setDescriptionRichText(const QString &html)
{
    if (html == descriptionRichText())
        return;
    // Derived first: html may be one of this item's own texts, which the
    // first change moves.
    const QString plain = html.isEmpty() ? QString() : HtmlText::toPlainText(html);
    setTextAt(Attr_descriptionRichText, html);
    setDescriptionText(plain);
}

TODOList *TODOItem::list() const
{
    return static_cast<TODOList *>(toOne(QStringLiteral("list")));
}

void TODOItem::setList(TODOList *list)
{
    setToOne(QStringLiteral("list"), list);
}

std::optional<qint32> TODOItem::storedId() const
{
    return hasValue(Attr_id_) ? std::optional<qint32>(id_()) : std::nullopt;
}

void TODOItem::attributeDidChange(int index, const StoredValue &old)
{
    if (index != Attr_id_)
        return;
    if (TODOList *owner = list()) {
        const qint64 *oldId = std::get_if<qint64>(&old);
        owner->countItemId(oldId ? std::optional<qint32>(qint32(*oldId)) : std::nullopt, -1);
        owner->countItemId(storedId(), 1);
    }
}

void TODOItem::toOneDidChange(int, ManagedObject *old)
{
    // The list is the item's only to-one relationship.
    if (old)
        static_cast<TODOList *>(old)->countItemId(storedId(), -1);
    if (TODOList *owner = list())
        owner->countItemId(storedId(), 1);
}

std::optional<qint64> TODOItem::getProjectID() const
{
    if (const TODOList *project = list())
        return project->id_();
    if (m_projectURIs && !m_projectURIs->isEmpty())
        return ResourcePath::idFromURI(m_projectURIs->constFirst());
    return std::nullopt;
}

QStringList TODOItem::getProjectURIs()
{
    if (!m_projectURIs) {
        if (const auto projectID = getProjectID())
            m_projectURIs = QStringList{ResourcePath::projectPath(*projectID)};
    }
    return m_projectURIs.value_or(QStringList());
}

void TODOItem::setProjectURIs(std::optional<QStringList> uris)
{
    m_projectURIs = std::move(uris);
}

QString TODOItem::getURI() const
{
    const QString uri = resourceURI();
    if (!uri.isEmpty())
        return uri;
    if (const int id = serverID())
        return ResourcePath::itemPath(id);
    return QString();
}

TODOItem *TODOItem::findWithID(qint64 id, ManagedObjectContext *context)
{
    if (!context) {
        qCWarning(lcModel, "an error occurred: %s", "no object context to search");
        return nullptr;
    }
    try {
        // The server identifier by its 32-bit value, the value its links and
        // paths carry; id_ as a number.
        const qint32 server = static_cast<qint32>(id);
        QList<ManagedObject *> found =
            context->fetch(EntityName, Predicate::notEqual(QStringLiteral("state"), QVariant(int(RecordState::Deleted))));
        found.removeIf([server, id](const ManagedObject *object) {
            const auto *item = static_cast<const TODOItem *>(object);
            return item->serverID() != server && item->id_() != id;
        });
        if (found.isEmpty())
            return nullptr;
        if (found.size() > 1)
            qCWarning(lcModel, "Duplicated item with id: %lld", static_cast<long long>(id));
        return static_cast<TODOItem *>(found.constFirst());
    } catch (const std::exception &error) {
        qCWarning(lcModel, "an error occurred: %s", error.what());
    } catch (...) {
        qCWarning(lcModel, "an error occurred: %s", "unknown failure");
    }
    return nullptr;
}

void TODOItem::copyTo(TODOItem *target) const
{
    copyTo(target, true, true);
}

void TODOItem::copyTo(TODOItem *target, bool addProject) const
{
    copyTo(target, true, addProject);
}

void TODOItem::copyTo(TODOItem *target, bool copyIDs, bool addProject) const
{
    if (!target || target == this)
        return;

    const auto copy = [&](Attribute attribute) { target->copyValueAt(attribute, *this); };

    if (copyIDs) {
        for (Attribute a : {Attr_serverID, Attr_id_, Attr_versionID, Attr_resourceURI})
            copy(a);
    }

    copy(Attr_name);
    target->setDescriptionRichText(descriptionRichText());
    copy(Attr_descriptionText);
    for (Attribute a : {Attr_quadrant, Attr_index, Attr_icon, Attr_state, Attr_timestamp, Attr_edited_by,
                        Attr_completionPercentage, Attr_frequency, Attr_owner, Attr_requestedTime, Attr_allDay,
                        Attr_editedByDevice})
        copy(a);

    // A date is copied only when it lies at least one second after the Unix
    // epoch; anything earlier stands for "no date".
    for (Attribute a : {Attr_creationDate, Attr_startDate, Attr_dueDate, Attr_untilDate, Attr_completionDate}) {
        const std::optional<qint64> date = dateAt(a);
        target->setDateAt(a, date && *date >= 1000 ? date : std::nullopt);
    }

    for (Attribute a : {Attr_ownerUsername, Attr_creatorUsername, Attr_editedByUsername, Attr_macResourceURL,
                        Attr_effort, Attr_childID, Attr_parentID})
        copy(a);

    if (addProject) {
        const std::optional<qint64> projectID = getProjectID();
        if (projectID && projectID != target->getProjectID()) {
            ManagedObjectContext *store = target->context() ? target->context() : context();
            target->setList(TODOList::findWithID(*projectID, store));
        }
    }
}

void TODOItem::resetIDs()
{
    setId_(ItemIdentifiers::newUniqueIdForItemInList(list()));
    clearValueAt(Attr_serverID);
    clearValueAt(Attr_versionID);
    clearValueAt(Attr_boxFolderID);
    // A copy that kept the source's path would be taken by the server for the source itself.
    clearValueAt(Attr_resourceURI);
}

bool TODOItem::needToUpload() const
{
    return changedKeysForCurrentEventOutside(nonTrackedProperties());
}

const QSet<QString> &TODOItem::nonTrackedProperties()
{
    static const QSet<QString> properties = {
        QStringLiteral("creatorUsername"), QStringLiteral("owner"),          QStringLiteral("edited_since"),
        QStringLiteral("requestedTime"),   QStringLiteral("serverID"),       QStringLiteral("resourceURI"),
        QStringLiteral("edited_by"),       QStringLiteral("editedByDevice"), QStringLiteral("timestamp"),
        QStringLiteral("highlight"),       QStringLiteral("versionID"),
    };
    return properties;
}

int TODOItem::compareByDates(const TODOItem *other) const
{
    const qint64 due = DateUtils::orderKey(dueDateMSecs(), allDay());
    const qint64 otherDue = DateUtils::orderKey(other->dueDateMSecs(), other->allDay());
    if (due != otherDue)
        return due < otherDue ? -1 : 1;
    return compareStartDates(this, other);
}

SortDescriptor::RecordKey TODOItem::dateOrderKey(DateUtils::LocalOffsets &offsets) const
{
    const bool day = allDay();
    return {offsets.orderKey(dueDateMSecs(), day), offsets.orderKey(startDateMSecs(), day),
            completionPercentage()};
}

int TODOItem::compareStartDates(const TODOItem *a, const TODOItem *b)
{
    const qint64 startA = DateUtils::orderKey(a->startDateMSecs(), a->allDay());
    const qint64 startB = DateUtils::orderKey(b->startDateMSecs(), b->allDay());
    if (startA != startB)
        return startA < startB ? -1 : 1;
    const int pa = a->completionPercentage();
    const int pb = b->completionPercentage();
    return pa < pb ? -1 : (pa > pb ? 1 : 0);
}
