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
    bool hasValue(Attribute attribute) const { return hasValueAt(attribute); }

    // --- Attributes ----------------------------------------------------------

    int id_() const { return int(integerAt(Attr_id_)); }
    void setId_(int value) { setIntegerAt(Attr_id_, value); }

    const QString &name() const { return textAt(Attr_name); }
    void setName(const QString &value) { setTextAt(Attr_name, value); }

    int state() const { return int(integerAt(Attr_state)); }
    void setState(int value) { setIntegerAt(Attr_state, value); }

    int index() const { return int(integerAt(Attr_index)); }
    void setIndex(int value) { setIntegerAt(Attr_index, value); }

    double centerX() const { return doubleAt(Attr_centerX); }
    void setCenterX(double value) { setDoubleAt(Attr_centerX, value); }
    double centerY() const { return doubleAt(Attr_centerY); }
    void setCenterY(double value) { setDoubleAt(Attr_centerY, value); }

    const QString &textFirstQuadrant() const { return textAt(Attr_textFirstQuadrant); }
    void setTextFirstQuadrant(const QString &value) { setTextAt(Attr_textFirstQuadrant, value); }
    const QString &textSecondQuadrant() const { return textAt(Attr_textSecondQuadrant); }
    void setTextSecondQuadrant(const QString &value) { setTextAt(Attr_textSecondQuadrant, value); }
    const QString &textThirdQuadrant() const { return textAt(Attr_textThirdQuadrant); }
    void setTextThirdQuadrant(const QString &value) { setTextAt(Attr_textThirdQuadrant, value); }
    const QString &textFourthQuadrant() const { return textAt(Attr_textFourthQuadrant); }
    void setTextFourthQuadrant(const QString &value) { setTextAt(Attr_textFourthQuadrant, value); }

    const QString &colorFirstQuadrant() const { return textAt(Attr_colorFirstQuadrant); }
    void setColorFirstQuadrant(const QString &value) { setTextAt(Attr_colorFirstQuadrant, value); }
    const QString &colorSecondQuadrant() const { return textAt(Attr_colorSecondQuadrant); }
    void setColorSecondQuadrant(const QString &value) { setTextAt(Attr_colorSecondQuadrant, value); }
    const QString &colorThirdQuadrant() const { return textAt(Attr_colorThirdQuadrant); }
    void setColorThirdQuadrant(const QString &value) { setTextAt(Attr_colorThirdQuadrant, value); }
    const QString &colorFourthQuadrant() const { return textAt(Attr_colorFourthQuadrant); }
    void setColorFourthQuadrant(const QString &value) { setTextAt(Attr_colorFourthQuadrant, value); }

    int edited_since() const { return int(integerAt(Attr_edited_since)); }
    void setEdited_since(int value) { setIntegerAt(Attr_edited_since, value); }

    int timestamp() const { return int(integerAt(Attr_timestamp)); }
    void setTimestamp(int value) { setIntegerAt(Attr_timestamp, value); }

    const QString &edited_by() const { return textAt(Attr_edited_by); }
    void setEdited_by(const QString &value) { setTextAt(Attr_edited_by, value); }

    const QString &password() const { return textAt(Attr_password); }
    void setPassword(const QString &value) { setTextAt(Attr_password, value); }

    int lastItemIndex() const { return int(integerAt(Attr_lastItemIndex)); }
    void setLastItemIndex(int value) { setIntegerAt(Attr_lastItemIndex, value); }

    const QString &owner() const { return textAt(Attr_owner); }
    void setOwner(const QString &value) { setTextAt(Attr_owner, value); }

    int deleted() const { return int(integerAt(Attr_deleted)); }
    void setDeleted(int value) { setIntegerAt(Attr_deleted, value); }

    const QString &resourceURI() const { return textAt(Attr_resourceURI); }
    void setResourceURI(const QString &value) { setTextAt(Attr_resourceURI, value); }

    qint64 requestedTime() const { return integerAt(Attr_requestedTime); }
    void setRequestedTime(qint64 value) { setIntegerAt(Attr_requestedTime, value); }

    int highlight() const { return int(integerAt(Attr_highlight)); }
    void setHighlight(int value) { setIntegerAt(Attr_highlight, value); }

    const QString &editedByDevice() const { return textAt(Attr_editedByDevice); }
    void setEditedByDevice(const QString &value) { setTextAt(Attr_editedByDevice, value); }

    int ownersCountCache() const { return int(integerAt(Attr_ownersCountCache)); }
    void setOwnersCountCache(int value) { setIntegerAt(Attr_ownersCountCache, value); }

    const QString &editedByUsername() const { return textAt(Attr_editedByUsername); }
    void setEditedByUsername(const QString &value) { setTextAt(Attr_editedByUsername, value); }

    qint64 versionID() const { return integerAt(Attr_versionID); }
    void setVersionID(qint64 value) { setIntegerAt(Attr_versionID, value); }

    const QString &boxFolderID() const { return textAt(Attr_boxFolderID); }
    void setBoxFolderID(const QString &value) { setTextAt(Attr_boxFolderID, value); }

    const QString &cv_notes() const { return textAt(Attr_cv_notes); }
    void setCv_notes(const QString &value) { setTextAt(Attr_cv_notes, value); }

    // --- Relationship ----------------------------------------------------------

    // The list's items, all states included.
    QList<TODOItem *> contains() const;

    // Whether an item of the list, in any state, holds this id_.
    bool usesItemId(qint32 id) const;

    // --- Operations --------------------------------------------------------------

    // The title of quadrant 0..3; the empty text for any other number.
    QString nameForQuadrant(int quadrant) const;
    // The colour text of quadrant 0..3; the empty text for any other number.
    QString colorTextForQuadrant(int quadrant) const;

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
    void countItemId(std::optional<qint32> id, int delta);


    // How many of the list's items hold each id_ (items may share one), so
    // that drawing a free identifier does not scan the list. Gathered on
    // first use, then kept in step by the items as they join, leave or
    // change identifiers.
    mutable std::optional<QHash<qint32, int>> m_itemIdCounts;
};
