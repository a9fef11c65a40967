#include "ServerDataMerger.h"

#include "ArrayController.h"
#include "Defaults.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "PayloadBuilder.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include "corvane_wire.pb.h"

#include <QHash>

#include <exception>
#include <string>

using corvane::wire::Todolist;
using corvane::wire::Todolist_Todoitems;

namespace {

const QString kHasSyncedBeforeKey = QStringLiteral("hasSyncedBefore");

// A wire text as a present text: an empty field still stores an empty
// string, not an absent attribute.
QString text(const std::string &value)
{
    QString result = QString::fromStdString(value);
    if (result.isNull())
        result = QLatin1String("");
    return result;
}

// A wire text for attributes that stay absent when the field is.
QString optionalText(bool present, const std::string &value)
{
    return present ? text(value) : QString();
}

// Wire dates up to here are taken as they are; later ones go through
// WireFormat, which clamps them.
constexpr quint64 kLastPlainSecond = 4102444800; // 2100-01-01 UTC

// Dates: 0 (or an absent field) is no date. The records store every date in
// local time, converting what they are given; a UTC moment spares the local
// conversion of the wire date that the record would redo anyway.
QDateTime date(bool present, quint64 seconds)
{
    if (!present || seconds == 0)
        return QDateTime();
    if (seconds <= kLastPlainSecond)
        return QDateTime::fromSecsSinceEpoch(qint64(seconds), Qt::UTC);
    return WireFormat::dateFromWire(seconds);
}

// Match key of a local item: the server identifier once the server gave one
// (1 or more), else the negated local identifier. Keys are 64-bit so that
// negating any 32-bit identifier stays exact.
qint64 matchKey(const TODOItem *item)
{
    return item->serverID() >= 1 ? qint64(item->serverID()) : -qint64(item->id_());
}

// Key for finding the items a reply no longer holds: any non-zero server
// identifier counts, negative ones included.
qint64 deletionKey(const TODOItem *item)
{
    return item->serverID() != 0 ? qint64(item->serverID()) : -qint64(item->id_());
}

qint64 serverKey(const Todolist_Todoitems &incoming)
{
    return qint64(WireFormat::low32(incoming.serverid()));
}

qint64 localKey(const Todolist_Todoitems &incoming)
{
    return -qint64(WireFormat::low32(incoming.idd()));
}

// Cheap checks whether a record already holds what a setter would store, so
// that a reply equal to the store costs no conversions. Each answers true only
// when the setter would certainly change nothing; otherwise the setter runs.
bool holdsInt(const ManagedObject *object, int index, int value)
{
    const QVariant &stored = object->attributeValueAt(index);
    return stored.typeId() == QMetaType::Int && *static_cast<const int *>(stored.constData()) == value;
}

bool holdsInt64(const ManagedObject *object, int index, qint64 value)
{
    const QVariant &stored = object->attributeValueAt(index);
    return stored.typeId() == QMetaType::LongLong && *static_cast<const qlonglong *>(stored.constData()) == value;
}

bool holdsBool(const ManagedObject *object, int index, bool value)
{
    const QVariant &stored = object->attributeValueAt(index);
    return stored.typeId() == QMetaType::Bool && *static_cast<const bool *>(stored.constData()) == value;
}

bool holdsNothing(const ManagedObject *object, int index)
{
    return !object->attributeValueAt(index).isValid();
}

// The stored text equals the wire text. Only ASCII is compared in place
// (byte for byte as Latin-1); other texts are left to the setter.
bool holdsText(const ManagedObject *object, int index, const std::string &value)
{
    const QVariant &stored = object->attributeValueAt(index);
    if (stored.typeId() != QMetaType::QString)
        return false;
    const QString &current = *static_cast<const QString *>(stored.constData());
    if (current.size() != qsizetype(value.size()))
        return false;
    for (const char c : value) {
        if (uchar(c) >= 0x80)
            return false;
    }
    return current == QLatin1StringView(value.data(), qsizetype(value.size()));
}

// The stored date equals the wire date (0 or absent: no date). Wire values
// beyond any real date are left to the setter, which clamps them.
bool holdsDate(const ManagedObject *object, int index, bool present, quint64 seconds)
{
    const QVariant &stored = object->attributeValueAt(index);
    if (!present || seconds == 0)
        return !stored.isValid();
    if (seconds > kLastPlainSecond || stored.typeId() != QMetaType::QDateTime)
        return false;
    return static_cast<const QDateTime *>(stored.constData())->toMSecsSinceEpoch() == qint64(seconds) * 1000;
}

} // namespace

ServerDataMerger::ServerDataMerger(MyDocument &document)
    : m_document(document)
{
}

std::optional<WireLists> ServerDataMerger::parseDataFromServer(const QByteArray &bytes, QString *error)
{
    return WireLists::parse(bytes, error);
}

bool ServerDataMerger::merge(const WireLists &lists, bool resetIDs, bool deleteNotPresent)
{
    {
        // The server's values are no local edits, also while change tracking is off.
        const ChangeTracker::MergeWrites mergeWrites(m_document.changeTracker());
        // A merge or an import is not undone change by change: a large one would
        // fill the undo history with hundreds of thousands of actions.
        const ManagedObjectContext::WithoutUndo withoutUndo(*m_document.managedObjectContext());
        writeLists(lists.message(), resetIDs, deleteNotPresent);
    }
    Defaults::standard().setValue(kHasSyncedBeforeKey, QStringLiteral("yes"));

    bool saved = false;
    try {
        // saveFile logs its own failures.
        saved = m_document.saveFile();
    } catch (const std::exception &e) {
        qCWarning(lcSync).noquote() << QStringLiteral("Error saving file: %1").arg(QString::fromLocal8Bit(e.what()));
        saved = false;
    } catch (...) {
        qCWarning(lcSync).noquote() << QStringLiteral("Error saving file: %1").arg(QStringLiteral("unknown exception"));
        saved = false;
    }
    return saved;
}

void ServerDataMerger::writeLists(const corvane::wire::Alllists &message, bool resetIDs, bool deleteNotPresent)
{
    ManagedObjectContext *context = m_document.managedObjectContext();
    ArrayController *listController = m_document.projects().projectsArrayController();

    // With reset every incoming list is new; otherwise lists are found by id_.
    QHash<int, TODOList *> byID;
    if (!resetIDs)
        byID = PayloadBuilder(m_document).getProjectsByID();

    for (const Todolist &incoming : message.todolist()) {
        // The idd is compared by its 32-bit value, the value update() stores.
        TODOList *list = byID.value(WireFormat::low32(incoming.idd()), nullptr);

        if (!list) {
            list = context->insert<TODOList>(TODOList::EntityName);
            list->setState(RecordState::Open);
            // The sidebar lists every list of the context; rearranging shows the new one.
            listController->rearrangeObjects();
        }

        update(list, incoming);
        if (resetIDs)
            list->resetIDs();
        updateCoreProject(list, incoming, resetIDs, deleteNotPresent);
    }

    if (deleteNotPresent) {
        const QList<TODOList *> localLists = m_document.projects().getAllProjectsEvenTrashed();
        for (TODOList *list : localLists) {
            // By 32-bit values, as the lookup: a list just made from a wide idd is kept.
            int matches = 0;
            for (const Todolist &incoming : message.todolist()) {
                if (WireFormat::low32(incoming.idd()) == list->id_())
                    ++matches;
            }
            if (matches == 0) {
                // Removed on the server: the list and everything it holds.
                m_document.projects().markProject(list, RecordState::Deleted);
                for (TODOItem *item : list->contains())
                    item->setState(RecordState::Deleted);
                continue;
            }
            for (int extra = 1; extra < matches; ++extra) {
                qCWarning(lcSync).noquote() << QStringLiteral("ERROR: duplicate list named '%1'").arg(list->name());
                // Sent again as a list without identifier by the next upload.
                list->setId_(0);
                list->setEdited_since(1);
            }
        }
    }
}

void ServerDataMerger::updateCoreProject(TODOList *list, const Todolist &incoming, bool resetIDs, bool deleteNotPresent)
{
    if (!list)
        return;
    ManagedObjectContext *context = m_document.managedObjectContext();

    // Items in index-descending order; of two items with the same key the
    // later one (lower index) is kept.
    QHash<qint64, TODOItem *> byKey;
    if (!resetIDs) {
        for (TODOItem *item : m_document.getAllTODOItemsForTODOList(list))
            byKey.insert(matchKey(item), item);
    }

    for (const Todolist_Todoitems &incomingItem : incoming.todoitems()) {
        TODOItem *item = byKey.value(serverKey(incomingItem), nullptr);
        if (!item)
            item = byKey.value(localKey(incomingItem), nullptr);
        if (item) {
            update(item, incomingItem);
            continue;
        }

        item = context->insert<TODOItem>(TODOItem::EntityName);
        update(item, incomingItem);
        if (resetIDs) {
            item->resetIDs();
            // Unique among the list's items, drawn before this one joins them.
            item->setId_(m_document.newUniqueIdForItemInList(list));
        }
        item->setList(list);
    }

    if (!deleteNotPresent)
        return;

    QHash<qint64, TODOItem *> remaining;
    for (TODOItem *item : m_document.getAllTODOItemsForTODOList(list))
        remaining.insert(deletionKey(item), item);
    for (const Todolist_Todoitems &incomingItem : incoming.todoitems()) {
        remaining.remove(serverKey(incomingItem));
        remaining.remove(localKey(incomingItem));
    }
    for (TODOItem *item : std::as_const(remaining))
        item->setState(RecordState::Deleted);
}

void ServerDataMerger::update(TODOList *list, const Todolist &incoming)
{
    if (!list)
        return;
    using WireFormat::low32;

    list->setEdited_since(0);
    list->setId_(low32(incoming.idd()));

    list->setName(text(incoming.name()));
    list->setIndex(low32(incoming.index()));
    list->setTextFirstQuadrant(text(incoming.textfirstquadrant()));
    list->setTextSecondQuadrant(text(incoming.textsecondquadrant()));
    list->setTextThirdQuadrant(text(incoming.textthirdquadrant()));
    list->setTextFourthQuadrant(text(incoming.textfourthquadrant()));
    list->setColorFirstQuadrant(text(incoming.colorfirstquadrant()));
    list->setColorSecondQuadrant(text(incoming.colorsecondquadrant()));
    list->setColorThirdQuadrant(text(incoming.colorthirdquadrant()));
    list->setColorFourthQuadrant(text(incoming.colorfourthquadrant()));
    list->setLastItemIndex(low32(incoming.lastitemindex()));
    list->setRequestedTime(low32(incoming.requestedtime()));

    list->setEdited_by(optionalText(incoming.has_editedby(), incoming.editedby()));
    list->setEditedByDevice(optionalText(incoming.has_editedbydevice(), incoming.editedbydevice()));
    list->setEditedByUsername(optionalText(incoming.has_editedbyusername(), incoming.editedbyusername()));
    list->setBoxFolderID(optionalText(incoming.has_boxfolderid(), incoming.boxfolderid()));
    list->setCv_notes(optionalText(incoming.has_notes(), incoming.notes()));

    list->setOwnersCountCache(incoming.has_ownerscountcache() ? low32(incoming.ownerscountcache()) : 0);

    if (incoming.has_versionid())
        list->setVersionID(incoming.versionid());
    else
        list->setValue(QStringLiteral("versionID"), QVariant());
}

void ServerDataMerger::update(TODOItem *item, const Todolist_Todoitems &incoming)
{
    if (!item)
        return;
    using WireFormat::low32;

    // Every attribute goes through its setter unless the record already holds
    // the incoming value: the setters ignore equal values anyway, and the
    // checks spare the text and date conversions of an unchanged record.
    const auto setInt = [item](int index, int value, void (TODOItem::*setter)(int)) {
        if (!holdsInt(item, index, value))
            (item->*setter)(value);
    };
    const auto setText = [item](int index, const std::string &value, void (TODOItem::*setter)(const QString &)) {
        if (!holdsText(item, index, value))
            (item->*setter)(text(value));
    };
    const auto setOptionalText = [item](int index, bool present, const std::string &value,
                                        void (TODOItem::*setter)(const QString &)) {
        if (present ? !holdsText(item, index, value) : !holdsNothing(item, index))
            (item->*setter)(optionalText(present, value));
    };
    const auto setDate = [item](int index, bool present, quint64 seconds,
                                void (TODOItem::*setter)(const QDateTime &)) {
        if (!holdsDate(item, index, present, seconds))
            (item->*setter)(date(present, seconds));
    };

    if (!holdsInt64(item, TODOItem::Attr_serverID, incoming.serverid()))
        item->setServerID(incoming.serverid());

    setInt(TODOItem::Attr_id_, low32(incoming.idd()), &TODOItem::setId_);
    setInt(TODOItem::Attr_quadrant, low32(incoming.quadrant()), &TODOItem::setQuadrant);
    setInt(TODOItem::Attr_index, low32(incoming.index()), &TODOItem::setIndex);
    setInt(TODOItem::Attr_timestamp, low32(qint64(incoming.timestamp())), &TODOItem::setTimestamp);
    setInt(TODOItem::Attr_state, low32(incoming.state()), &TODOItem::setState);
    setInt(TODOItem::Attr_completionPercentage, low32(incoming.completionpercentage()),
           &TODOItem::setCompletionPercentage);

    setText(TODOItem::Attr_owner, incoming.owner(), &TODOItem::setOwner);
    setText(TODOItem::Attr_name, incoming.name(), &TODOItem::setName);

    // The setter derives the plain text; the message's own plain text replaces it.
    setText(TODOItem::Attr_descriptionRichText, incoming.descriptionrichtext(), &TODOItem::setDescriptionRichText);
    setText(TODOItem::Attr_descriptionText, incoming.descriptiontext(), &TODOItem::setDescriptionText);

    setText(TODOItem::Attr_icon, incoming.icon(), &TODOItem::setIcon);
    setInt(TODOItem::Attr_edited_since, 0, &TODOItem::setEdited_since);

    setDate(TODOItem::Attr_dueDate, incoming.has_duedate(), incoming.duedate(), &TODOItem::setDueDate);
    setDate(TODOItem::Attr_creationDate, incoming.has_creationdate(), incoming.creationdate(),
            &TODOItem::setCreationDate);
    setDate(TODOItem::Attr_startDate, incoming.has_startdate(), incoming.startdate(), &TODOItem::setStartDate);
    setDate(TODOItem::Attr_untilDate, incoming.has_untildate(), incoming.untildate(), &TODOItem::setUntilDate);
    // A completion date only goes with a finished item.
    const bool finished = incoming.completionpercentage() == 100;
    setDate(TODOItem::Attr_completionDate, finished && incoming.has_completiondate(),
            finished ? incoming.completiondate() : 0, &TODOItem::setCompletionDate);

    setText(TODOItem::Attr_frequency, incoming.frequency(), &TODOItem::setFrequency);

    setInt(TODOItem::Attr_childID, incoming.has_childid() ? low32(incoming.childid()) : 0, &TODOItem::setChildID);
    setInt(TODOItem::Attr_parentID, incoming.has_parentid() ? low32(incoming.parentid()) : 0, &TODOItem::setParentID);

    if (incoming.has_requestedtime()) {
        if (!holdsInt64(item, TODOItem::Attr_requestedTime, low32(incoming.requestedtime())))
            item->setRequestedTime(low32(incoming.requestedtime()));
    } else if (!holdsNothing(item, TODOItem::Attr_requestedTime)) {
        item->setValue(QStringLiteral("requestedTime"), QVariant());
    }

    if (incoming.has_allday()) {
        if (!holdsBool(item, TODOItem::Attr_allDay, incoming.allday()))
            item->setAllDay(incoming.allday());
    } else if (!holdsNothing(item, TODOItem::Attr_allDay)) {
        item->setValue(QStringLiteral("allDay"), QVariant());
    }

    setOptionalText(TODOItem::Attr_edited_by, incoming.has_editedby(), incoming.editedby(), &TODOItem::setEdited_by);
    setOptionalText(TODOItem::Attr_editedByDevice, incoming.has_editedbydevice(), incoming.editedbydevice(),
                    &TODOItem::setEditedByDevice);
    setOptionalText(TODOItem::Attr_ownerUsername, incoming.has_ownerusername(), incoming.ownerusername(),
                    &TODOItem::setOwnerUsername);
    setOptionalText(TODOItem::Attr_creatorUsername, incoming.has_creatorusername(), incoming.creatorusername(),
                    &TODOItem::setCreatorUsername);
    setOptionalText(TODOItem::Attr_editedByUsername, incoming.has_editedbyusername(), incoming.editedbyusername(),
                    &TODOItem::setEditedByUsername);
    setOptionalText(TODOItem::Attr_macResourceURL, incoming.has_macresourceurl(), incoming.macresourceurl(),
                    &TODOItem::setMacResourceURL);
    setOptionalText(TODOItem::Attr_boxFolderID, incoming.has_boxfolderid(), incoming.boxfolderid(),
                    &TODOItem::setBoxFolderID);

    if (incoming.has_versionid()) {
        if (!holdsInt64(item, TODOItem::Attr_versionID, incoming.versionid()))
            item->setVersionID(incoming.versionid());
    } else if (!holdsNothing(item, TODOItem::Attr_versionID)) {
        item->setValue(QStringLiteral("versionID"), QVariant());
    }

    setInt(TODOItem::Attr_effort, incoming.has_effort() ? low32(incoming.effort()) : 0, &TODOItem::setEffort);
}
