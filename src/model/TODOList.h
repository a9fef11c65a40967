#pragma once

#include "ManagedObject.h"
#include "ObjectModel.h"
#include "TodoModel.h"

#include <QHash>
#include <QList>
#include <QSet>

#include <optional>

class ManagedObjectContext;
class TODOItem;

// One list (a project in operation names). Typed accessors read and write the
// attribute slots directly by their fixed position in the entity.
class TODOList : public ManagedObject
{
public:
    inline static const QString EntityName = QStringLiteral("TODOList");

    // Position of each attribute in the entity. The schema is built from
    // attributeDescriptions(), which lists the attributes in this order.
    enum Attribute : int {
        Attr_id_,
        Attr_name,
        Attr_state,
        Attr_index,
        Attr_centerX,
        Attr_centerY,
        Attr_textFirstQuadrant,
        Attr_textSecondQuadrant,
        Attr_textThirdQuadrant,
        Attr_textFourthQuadrant,
        Attr_colorFirstQuadrant,
        Attr_colorSecondQuadrant,
        Attr_colorThirdQuadrant,
        Attr_colorFourthQuadrant,
        Attr_edited_since,
        Attr_timestamp,
        Attr_edited_by,
        Attr_password,
        Attr_lastItemIndex,
        Attr_owner,
        Attr_deleted,
        Attr_resourceURI,
        Attr_requestedTime,
        Attr_highlight,
        Attr_editedByDevice,
        Attr_ownersCountCache,
        Attr_editedByUsername,
        Attr_versionID,
        Attr_boxFolderID,
        Attr_cv_notes,
        AttributeCount
    };

    static QVector<AttributeDescription> attributeDescriptions();
    static QVector<RelationshipDescription> relationshipDescriptions();

    TODOList() = default;

    // Whether the attribute holds a value (absent otherwise).
    bool hasValue(Attribute attribute) const { return rawValue(attribute).isValid(); }

    // --- Attributes ----------------------------------------------------------

    int id_() const { return RecordValue::toInt(rawValue(Attr_id_)); }
    void setId_(int value) { setInt(Attr_id_, value); }

    QString name() const { return RecordValue::toText(rawValue(Attr_name)); }
    void setName(const QString &value) { setText(Attr_name, value); }

    int state() const { return RecordValue::toInt(rawValue(Attr_state)); }
    void setState(int value) { setInt(Attr_state, value); }

    int index() const { return RecordValue::toInt(rawValue(Attr_index)); }
    void setIndex(int value) { setInt(Attr_index, value); }

    double centerX() const { return RecordValue::toDouble(rawValue(Attr_centerX)); }
    void setCenterX(double value) { setDouble(Attr_centerX, value); }
    double centerY() const { return RecordValue::toDouble(rawValue(Attr_centerY)); }
    void setCenterY(double value) { setDouble(Attr_centerY, value); }

    QString textFirstQuadrant() const { return RecordValue::toText(rawValue(Attr_textFirstQuadrant)); }
    void setTextFirstQuadrant(const QString &value) { setText(Attr_textFirstQuadrant, value); }
    QString textSecondQuadrant() const { return RecordValue::toText(rawValue(Attr_textSecondQuadrant)); }
    void setTextSecondQuadrant(const QString &value) { setText(Attr_textSecondQuadrant, value); }
    QString textThirdQuadrant() const { return RecordValue::toText(rawValue(Attr_textThirdQuadrant)); }
    void setTextThirdQuadrant(const QString &value) { setText(Attr_textThirdQuadrant, value); }
    QString textFourthQuadrant() const { return RecordValue::toText(rawValue(Attr_textFourthQuadrant)); }
    void setTextFourthQuadrant(const QString &value) { setText(Attr_textFourthQuadrant, value); }

    QString colorFirstQuadrant() const { return RecordValue::toText(rawValue(Attr_colorFirstQuadrant)); }
    void setColorFirstQuadrant(const QString &value) { setText(Attr_colorFirstQuadrant, value); }
    QString colorSecondQuadrant() const { return RecordValue::toText(rawValue(Attr_colorSecondQuadrant)); }
    void setColorSecondQuadrant(const QString &value) { setText(Attr_colorSecondQuadrant, value); }
    QString colorThirdQuadrant() const { return RecordValue::toText(rawValue(Attr_colorThirdQuadrant)); }
    void setColorThirdQuadrant(const QString &value) { setText(Attr_colorThirdQuadrant, value); }
    QString colorFourthQuadrant() const { return RecordValue::toText(rawValue(Attr_colorFourthQuadrant)); }
    void setColorFourthQuadrant(const QString &value) { setText(Attr_colorFourthQuadrant, value); }

    int edited_since() const { return RecordValue::toInt(rawValue(Attr_edited_since)); }
    void setEdited_since(int value) { setInt(Attr_edited_since, value); }

    int timestamp() const { return RecordValue::toInt(rawValue(Attr_timestamp)); }
    void setTimestamp(int value) { setInt(Attr_timestamp, value); }

    QString edited_by() const { return RecordValue::toText(rawValue(Attr_edited_by)); }
    void setEdited_by(const QString &value) { setText(Attr_edited_by, value); }

    QString password() const { return RecordValue::toText(rawValue(Attr_password)); }
    void setPassword(const QString &value) { setText(Attr_password, value); }

    int lastItemIndex() const { return RecordValue::toInt(rawValue(Attr_lastItemIndex)); }
    void setLastItemIndex(int value) { setInt(Attr_lastItemIndex, value); }

    QString owner() const { return RecordValue::toText(rawValue(Attr_owner)); }
    void setOwner(const QString &value) { setText(Attr_owner, value); }

    int deleted() const { return RecordValue::toInt(rawValue(Attr_deleted)); }
    void setDeleted(int value) { setInt(Attr_deleted, value); }

    QString resourceURI() const { return RecordValue::toText(rawValue(Attr_resourceURI)); }
    void setResourceURI(const QString &value) { setText(Attr_resourceURI, value); }

    qint64 requestedTime() const { return RecordValue::toInt64(rawValue(Attr_requestedTime)); }
    void setRequestedTime(qint64 value) { setInt64(Attr_requestedTime, value); }

    int highlight() const { return RecordValue::toInt(rawValue(Attr_highlight)); }
    void setHighlight(int value) { setInt(Attr_highlight, value); }

    QString editedByDevice() const { return RecordValue::toText(rawValue(Attr_editedByDevice)); }
    void setEditedByDevice(const QString &value) { setText(Attr_editedByDevice, value); }

    int ownersCountCache() const { return RecordValue::toInt(rawValue(Attr_ownersCountCache)); }
    void setOwnersCountCache(int value) { setInt(Attr_ownersCountCache, value); }

    QString editedByUsername() const { return RecordValue::toText(rawValue(Attr_editedByUsername)); }
    void setEditedByUsername(const QString &value) { setText(Attr_editedByUsername, value); }

    qint64 versionID() const { return RecordValue::toInt64(rawValue(Attr_versionID)); }
    void setVersionID(qint64 value) { setInt64(Attr_versionID, value); }

    QString boxFolderID() const { return RecordValue::toText(rawValue(Attr_boxFolderID)); }
    void setBoxFolderID(const QString &value) { setText(Attr_boxFolderID, value); }

    QString cv_notes() const { return RecordValue::toText(rawValue(Attr_cv_notes)); }
    void setCv_notes(const QString &value) { setText(Attr_cv_notes, value); }

    // --- Relationship ----------------------------------------------------------

    // The list's items, all states included.
    QList<TODOItem *> contains() const;

    // Whether an item of the list, in any state, holds this id_.
    bool usesItemId(qint32 id) const;

    // --- Operations --------------------------------------------------------------

    // The title of quadrant 0..3; the empty text for any other number.
    QString nameForQuadrant(int quadrant) const;

    // resourceURI when not empty; else the project path of a non-zero id_;
    // else the empty text (none).
    QString getURI() const;

    // The first list whose id_ is the number and whose state is not Deleted;
    // nullptr when none.
    static TODOList *findWithID(qint64 id, ManagedObjectContext *context);

    // Copies the list's attributes (not its items) onto target. With copyIDs,
    // id_, versionID and resourceURI go along. index, centerX, centerY,
    // edited_since, password, lastItemIndex, owner, deleted, highlight,
    // ownersCountCache and boxFolderID are never copied.
    void copyTo(TODOList *target) const;  // IDs copied
    void copyTo(TODOList *target, bool copyIDs) const;

    // Drops every identifier the server knows the list by: id_ becomes 0,
    // versionID, boxFolderID and resourceURI are cleared.
    void resetIDs();

    // Whether the change of the current change event touches a tracked attribute.
    bool needToUpload() const;
    // Attributes and relationships whose change alone does not mark a list for upload.
    static const QSet<QString> &nonTrackedProperties();

private:
    friend class TODOItem;
    // Counts one more (delta 1) or one fewer (-1) item holding the id_ value;
    // an absent value counts for nothing.
    void countItemId(const QVariant &id, int delta);

    void setInt(Attribute attribute, int value) { setRawValue(attribute, QVariant(value)); }
    void setInt64(Attribute attribute, qint64 value) { setRawValue(attribute, QVariant(qlonglong(value))); }
    void setDouble(Attribute attribute, double value) { setRawValue(attribute, QVariant(value)); }
    void setText(Attribute attribute, const QString &value) { setRawValue(attribute, RecordValue::fromText(value)); }

    // How many of the list's items hold each id_ (items may share one), so
    // that drawing a free identifier does not scan the list. Gathered on
    // first use, then kept in step by the items as they join, leave or
    // change identifiers.
    mutable std::optional<QHash<qint32, int>> m_itemIdCounts;
};
