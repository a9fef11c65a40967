#pragma once

#include "DateUtils.h"
#include "ManagedObject.h"
#include "ObjectModel.h"
#include "SortDescriptor.h"
#include "TodoModel.h"

#include <QSet>
#include <QStringList>

#include <optional>

class ManagedObjectContext;
class TODOList;

// One task. Typed accessors read and write the attribute slots directly by
// their fixed position in the entity (see Attribute), so no name lookup is
// made on the hot paths of sorting and filtering.
class TODOItem : public ManagedObject
{
public:
    inline static const QString EntityName = QStringLiteral("TODOItem");

    // Position of each attribute in the entity. The schema is built from
    // attributeDescriptions(), which lists the attributes in this order.
    enum Attribute : int {
        Attr_id_,
        Attr_serverID,
        Attr_name,
        Attr_descriptionRichText,
        Attr_descriptionText,
        Attr_quadrant,
        Attr_index,
        Attr_icon,
        Attr_dueDate,
        Attr_startDate,
        Attr_creationDate,
        Attr_completionDate,
        Attr_untilDate,
        Attr_allDay,
        Attr_state,
        Attr_completionPercentage,
        Attr_frequency,
        Attr_parentID,
        Attr_childID,
        Attr_effort,
        Attr_edited_since,
        Attr_timestamp,
        Attr_edited_by,
        Attr_owner,
        Attr_ownerUsername,
        Attr_creatorUsername,
        Attr_editedByUsername,
        Attr_editedByDevice,
        Attr_resourceURI,
        Attr_requestedTime,
        Attr_highlight,
        Attr_macResourceURL,
        Attr_versionID,
        Attr_cachedConversation,
        Attr_boxFolderID,
        Attr_status,
        AttributeCount
    };

    static QVector<AttributeDescription> attributeDescriptions();
    static QVector<RelationshipDescription> relationshipDescriptions();

    TODOItem() = default;

    // Whether the attribute holds a value (absent otherwise).
    bool hasValue(Attribute attribute) const { return hasValueAt(attribute); }

    // --- Attributes ----------------------------------------------------------

    int id_() const { return int(integerAt(Attr_id_)); }
    void setId_(int value) { setIntegerAt(Attr_id_, value); }

    // The server's identifier, as its 32-bit value (every comparison and every
    // text made from it uses that value). The stored number may be wider.
    int serverID() const { return static_cast<qint32>(integerAt(Attr_serverID)); }
    void setServerID(qint64 value) { setIntegerAt(Attr_serverID, value); }

    const QString &name() const { return textAt(Attr_name); }
    void setName(const QString &value) { setTextAt(Attr_name, value); }

    const QString &descriptionRichText() const { return textAt(Attr_descriptionRichText); }
    // Stores the HTML notes and derives descriptionText from them; setting the
    // HTML that is already stored does nothing.
    void setDescriptionRichText(const QString &html);

    const QString &descriptionText() const { return textAt(Attr_descriptionText); }
    void setDescriptionText(const QString &value) { setTextAt(Attr_descriptionText, value); }

    int quadrant() const { return int(integerAt(Attr_quadrant)); }
    void setQuadrant(int value) { setIntegerAt(Attr_quadrant, value); }

    int index() const { return int(integerAt(Attr_index)); }
    void setIndex(int value) { setIntegerAt(Attr_index, value); }

    const QString &icon() const { return textAt(Attr_icon); }
    void setIcon(const QString &value) { setTextAt(Attr_icon, value); }

    // Dates: an invalid QDateTime reads as "no date" and, when set, clears the
    // attribute. The MSecs readers answer milliseconds since the epoch, without
    // a conversion to local time.
    QDateTime dueDate() const { return DateUtils::fromMSecs(dateAt(Attr_dueDate)); }
    std::optional<qint64> dueDateMSecs() const { return dateAt(Attr_dueDate); }
    void setDueDate(const QDateTime &value) { setDateAt(Attr_dueDate, DateUtils::toMSecs(value)); }
    QDateTime startDate() const { return DateUtils::fromMSecs(dateAt(Attr_startDate)); }
    std::optional<qint64> startDateMSecs() const { return dateAt(Attr_startDate); }
    void setStartDate(const QDateTime &value) { setDateAt(Attr_startDate, DateUtils::toMSecs(value)); }
    QDateTime creationDate() const { return DateUtils::fromMSecs(dateAt(Attr_creationDate)); }
    std::optional<qint64> creationDateMSecs() const { return dateAt(Attr_creationDate); }
    void setCreationDate(const QDateTime &value) { setDateAt(Attr_creationDate, DateUtils::toMSecs(value)); }
    QDateTime completionDate() const { return DateUtils::fromMSecs(dateAt(Attr_completionDate)); }
    std::optional<qint64> completionDateMSecs() const { return dateAt(Attr_completionDate); }
    void setCompletionDate(const QDateTime &value) { setDateAt(Attr_completionDate, DateUtils::toMSecs(value)); }
    QDateTime untilDate() const { return DateUtils::fromMSecs(dateAt(Attr_untilDate)); }
    std::optional<qint64> untilDateMSecs() const { return dateAt(Attr_untilDate); }
    void setUntilDate(const QDateTime &value) { setDateAt(Attr_untilDate, DateUtils::toMSecs(value)); }

    bool allDay() const { return integerAt(Attr_allDay) != 0; }
    void setAllDay(bool value) { setIntegerAt(Attr_allDay, value); }

    int state() const { return int(integerAt(Attr_state)); }
    void setState(int value) { setIntegerAt(Attr_state, value); }

    int completionPercentage() const { return int(integerAt(Attr_completionPercentage)); }
    void setCompletionPercentage(int value) { setIntegerAt(Attr_completionPercentage, value); }

    const QString &frequency() const { return textAt(Attr_frequency); }
    void setFrequency(const QString &value) { setTextAt(Attr_frequency, value); }

    int parentID() const { return int(integerAt(Attr_parentID)); }
    void setParentID(int value) { setIntegerAt(Attr_parentID, value); }
    int childID() const { return int(integerAt(Attr_childID)); }
    void setChildID(int value) { setIntegerAt(Attr_childID, value); }

    int effort() const { return int(integerAt(Attr_effort)); }
    void setEffort(int value) { setIntegerAt(Attr_effort, value); }

    int edited_since() const { return int(integerAt(Attr_edited_since)); }
    void setEdited_since(int value) { setIntegerAt(Attr_edited_since, value); }

    int timestamp() const { return int(integerAt(Attr_timestamp)); }
    void setTimestamp(int value) { setIntegerAt(Attr_timestamp, value); }

    const QString &edited_by() const { return textAt(Attr_edited_by); }
    void setEdited_by(const QString &value) { setTextAt(Attr_edited_by, value); }

    const QString &owner() const { return textAt(Attr_owner); }
    void setOwner(const QString &value) { setTextAt(Attr_owner, value); }
    const QString &ownerUsername() const { return textAt(Attr_ownerUsername); }
    void setOwnerUsername(const QString &value) { setTextAt(Attr_ownerUsername, value); }
    const QString &creatorUsername() const { return textAt(Attr_creatorUsername); }
    void setCreatorUsername(const QString &value) { setTextAt(Attr_creatorUsername, value); }
    const QString &editedByUsername() const { return textAt(Attr_editedByUsername); }
    void setEditedByUsername(const QString &value) { setTextAt(Attr_editedByUsername, value); }
    const QString &editedByDevice() const { return textAt(Attr_editedByDevice); }
    void setEditedByDevice(const QString &value) { setTextAt(Attr_editedByDevice, value); }

    const QString &resourceURI() const { return textAt(Attr_resourceURI); }
    void setResourceURI(const QString &value) { setTextAt(Attr_resourceURI, value); }

    qint64 requestedTime() const { return integerAt(Attr_requestedTime); }
    void setRequestedTime(qint64 value) { setIntegerAt(Attr_requestedTime, value); }

    int highlight() const { return int(integerAt(Attr_highlight)); }
    void setHighlight(int value) { setIntegerAt(Attr_highlight, value); }

    const QString &macResourceURL() const { return textAt(Attr_macResourceURL); }
    void setMacResourceURL(const QString &value) { setTextAt(Attr_macResourceURL, value); }

    qint64 versionID() const { return integerAt(Attr_versionID); }
    void setVersionID(qint64 value) { setIntegerAt(Attr_versionID, value); }

    const QString &cachedConversation() const { return textAt(Attr_cachedConversation); }
    void setCachedConversation(const QString &value) { setTextAt(Attr_cachedConversation, value); }

    const QString &boxFolderID() const { return textAt(Attr_boxFolderID); }
    void setBoxFolderID(const QString &value) { setTextAt(Attr_boxFolderID, value); }

    const QString &status() const { return textAt(Attr_status); }
    void setStatus(const QString &value) { setTextAt(Attr_status, value); }

    // --- Relationship ----------------------------------------------------------

    TODOList *list() const;
    void setList(TODOList *list);

    // --- Operations --------------------------------------------------------------

    TODOList *getProject() const { return list(); }
    // The list's id_ when the item has a list; else the identifier in the first
    // of the projectURIs; else none.
    std::optional<qint64> getProjectID() const;
    // The server paths of the item's lists (transient, never stored). When none
    // is held yet and the item has a project identifier, the path of that
    // project is stored first.
    QStringList getProjectURIs();
    void setProjectURIs(std::optional<QStringList> uris);

    // resourceURI when not empty; else the item path of a non-zero serverID;
    // else the empty text (none).
    QString getURI() const;

    // The first item whose serverID (by its 32-bit value) or id_ is the number
    // and whose state is not Deleted; nullptr when none.
    static TODOItem *findWithID(qint64 id, ManagedObjectContext *context);

    // Copies this item's attributes onto target (see copyTo(TODOItem*, bool, bool)).
    void copyTo(TODOItem *target) const;                   // IDs copied, project added
    void copyTo(TODOItem *target, bool addProject) const;  // IDs copied
    // With copyIDs, serverID, id_, versionID and resourceURI go along. With
    // addProject, the target moves to the list of the source's project.
    // edited_since, highlight, status, cachedConversation, boxFolderID and
    // list are never copied.
    void copyTo(TODOItem *target, bool copyIDs, bool addProject) const;

    // Gives the item a fresh identifier within its list and drops every
    // identifier the server knows it by (serverID, versionID, boxFolderID,
    // resourceURI), so that it is uploaded as a new record.
    void resetIDs();

    // Whether the change of the current change event touches a tracked attribute.
    bool needToUpload() const;
    // Attributes whose change alone does not mark an item for upload.
    static const QSet<QString> &nonTrackedProperties();

    // Date order: due dates (with the allDay flags), then compareStartDates.
    // Answers -1, 0 or 1.
    int compareByDates(const TODOItem *other) const;
    // The same order as a key computed once per sort: the due date's and the
    // start date's order keys (DateUtils::orderKey), then completionPercentage.
    SortDescriptor::RecordKey dateOrderKey(DateUtils::LocalOffsets &offsets) const;
    // Start dates (with the allDay flags), then completionPercentage ascending.
    static int compareStartDates(const TODOItem *a, const TODOItem *b);

protected:
    // Keep the used identifiers of the lists in step.
    void attributeDidChange(int index, const StoredValue &old) override;
    void toOneDidChange(int relationshipIndex, ManagedObject *old) override;

private:

    // id_ when it holds a value.
    std::optional<qint32> storedId() const;

    std::optional<QStringList> m_projectURIs;
};
