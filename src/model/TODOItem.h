#pragma once

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
    bool hasValue(Attribute attribute) const { return rawValue(attribute).isValid(); }

    // --- Attributes ----------------------------------------------------------

    int id_() const { return RecordValue::toInt(rawValue(Attr_id_)); }
    void setId_(int value) { setInt(Attr_id_, value); }

    // The server's identifier, as its 32-bit value (every comparison and every
    // text made from it uses that value). The stored number may be wider.
    int serverID() const { return static_cast<qint32>(RecordValue::toInt64(rawValue(Attr_serverID))); }
    void setServerID(qint64 value) { setInt64(Attr_serverID, value); }

    QString name() const { return RecordValue::toText(rawValue(Attr_name)); }
    void setName(const QString &value) { setText(Attr_name, value); }

    QString descriptionRichText() const { return RecordValue::toText(rawValue(Attr_descriptionRichText)); }
    // Stores the HTML notes and derives descriptionText from them; setting the
    // HTML that is already stored does nothing.
    void setDescriptionRichText(const QString &html);

    QString descriptionText() const { return RecordValue::toText(rawValue(Attr_descriptionText)); }
    void setDescriptionText(const QString &value) { setText(Attr_descriptionText, value); }

    int quadrant() const { return RecordValue::toInt(rawValue(Attr_quadrant)); }
    void setQuadrant(int value) { setInt(Attr_quadrant, value); }

    int index() const { return RecordValue::toInt(rawValue(Attr_index)); }
    void setIndex(int value) { setInt(Attr_index, value); }

    QString icon() const { return RecordValue::toText(rawValue(Attr_icon)); }
    void setIcon(const QString &value) { setText(Attr_icon, value); }

    // Dates: an invalid QDateTime reads as "no date" and, when set, clears the attribute.
    QDateTime dueDate() const { return RecordValue::toDate(rawValue(Attr_dueDate)); }
    void setDueDate(const QDateTime &value) { setDate(Attr_dueDate, value); }
    QDateTime startDate() const { return RecordValue::toDate(rawValue(Attr_startDate)); }
    void setStartDate(const QDateTime &value) { setDate(Attr_startDate, value); }
    QDateTime creationDate() const { return RecordValue::toDate(rawValue(Attr_creationDate)); }
    void setCreationDate(const QDateTime &value) { setDate(Attr_creationDate, value); }
    QDateTime completionDate() const { return RecordValue::toDate(rawValue(Attr_completionDate)); }
    void setCompletionDate(const QDateTime &value) { setDate(Attr_completionDate, value); }
    QDateTime untilDate() const { return RecordValue::toDate(rawValue(Attr_untilDate)); }
    void setUntilDate(const QDateTime &value) { setDate(Attr_untilDate, value); }

    bool allDay() const { return RecordValue::toBool(rawValue(Attr_allDay)); }
    void setAllDay(bool value) { setBool(Attr_allDay, value); }

    int state() const { return RecordValue::toInt(rawValue(Attr_state)); }
    void setState(int value) { setInt(Attr_state, value); }

    int completionPercentage() const { return RecordValue::toInt(rawValue(Attr_completionPercentage)); }
    void setCompletionPercentage(int value) { setInt(Attr_completionPercentage, value); }

    QString frequency() const { return RecordValue::toText(rawValue(Attr_frequency)); }
    void setFrequency(const QString &value) { setText(Attr_frequency, value); }

    int parentID() const { return RecordValue::toInt(rawValue(Attr_parentID)); }
    void setParentID(int value) { setInt(Attr_parentID, value); }
    int childID() const { return RecordValue::toInt(rawValue(Attr_childID)); }
    void setChildID(int value) { setInt(Attr_childID, value); }

    int effort() const { return RecordValue::toInt(rawValue(Attr_effort)); }
    void setEffort(int value) { setInt(Attr_effort, value); }

    int edited_since() const { return RecordValue::toInt(rawValue(Attr_edited_since)); }
    void setEdited_since(int value) { setInt(Attr_edited_since, value); }

    int timestamp() const { return RecordValue::toInt(rawValue(Attr_timestamp)); }
    void setTimestamp(int value) { setInt(Attr_timestamp, value); }

    QString edited_by() const { return RecordValue::toText(rawValue(Attr_edited_by)); }
    void setEdited_by(const QString &value) { setText(Attr_edited_by, value); }

    QString owner() const { return RecordValue::toText(rawValue(Attr_owner)); }
    void setOwner(const QString &value) { setText(Attr_owner, value); }
    QString ownerUsername() const { return RecordValue::toText(rawValue(Attr_ownerUsername)); }
    void setOwnerUsername(const QString &value) { setText(Attr_ownerUsername, value); }
    QString creatorUsername() const { return RecordValue::toText(rawValue(Attr_creatorUsername)); }
    void setCreatorUsername(const QString &value) { setText(Attr_creatorUsername, value); }
    QString editedByUsername() const { return RecordValue::toText(rawValue(Attr_editedByUsername)); }
    void setEditedByUsername(const QString &value) { setText(Attr_editedByUsername, value); }
    QString editedByDevice() const { return RecordValue::toText(rawValue(Attr_editedByDevice)); }
    void setEditedByDevice(const QString &value) { setText(Attr_editedByDevice, value); }

    QString resourceURI() const { return RecordValue::toText(rawValue(Attr_resourceURI)); }
    void setResourceURI(const QString &value) { setText(Attr_resourceURI, value); }

    qint64 requestedTime() const { return RecordValue::toInt64(rawValue(Attr_requestedTime)); }
    void setRequestedTime(qint64 value) { setInt64(Attr_requestedTime, value); }

    int highlight() const { return RecordValue::toInt(rawValue(Attr_highlight)); }
    void setHighlight(int value) { setInt(Attr_highlight, value); }

    QString macResourceURL() const { return RecordValue::toText(rawValue(Attr_macResourceURL)); }
    void setMacResourceURL(const QString &value) { setText(Attr_macResourceURL, value); }

    qint64 versionID() const { return RecordValue::toInt64(rawValue(Attr_versionID)); }
    void setVersionID(qint64 value) { setInt64(Attr_versionID, value); }

    QString cachedConversation() const { return RecordValue::toText(rawValue(Attr_cachedConversation)); }
    void setCachedConversation(const QString &value) { setText(Attr_cachedConversation, value); }

    QString boxFolderID() const { return RecordValue::toText(rawValue(Attr_boxFolderID)); }
    void setBoxFolderID(const QString &value) { setText(Attr_boxFolderID, value); }

    QString status() const { return RecordValue::toText(rawValue(Attr_status)); }
    void setStatus(const QString &value) { setText(Attr_status, value); }

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
    SortDescriptor::RecordKey dateOrderKey() const;
    // Start dates (with the allDay flags), then completionPercentage ascending.
    static int compareStartDates(const TODOItem *a, const TODOItem *b);

protected:
    // Keep the used identifiers of the lists in step.
    void attributeDidChange(int index, const QVariant &old) override;
    void toOneDidChange(int relationshipIndex, ManagedObject *old) override;

private:
    void setBool(Attribute attribute, bool value) { setRawValue(attribute, QVariant(value)); }
    void setInt(Attribute attribute, int value) { setRawValue(attribute, QVariant(value)); }
    void setInt64(Attribute attribute, qint64 value) { setRawValue(attribute, QVariant(qlonglong(value))); }
    void setText(Attribute attribute, const QString &value) { setRawValue(attribute, RecordValue::fromText(value)); }
    void setDate(Attribute attribute, const QDateTime &value) { setRawValue(attribute, RecordValue::fromDate(value)); }

    std::optional<QStringList> m_projectURIs;
};
