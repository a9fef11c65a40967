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

// Dates: 0 (or an absent field) is no date.
QDateTime date(bool present, quint64 seconds)
{
    return present && seconds != 0 ? WireFormat::dateFromWire(seconds) : QDateTime();
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
    const corvane::wire::Alllists &message = lists.message();
    ArrayController *listController = m_document.projects().projectsArrayController();

    // With reset every incoming list is new; otherwise lists are found by id_.
    QHash<int, TODOList *> byID;
    if (!resetIDs)
        byID = PayloadBuilder(m_document).getProjectsByID();

    for (const Todolist &incoming : message.todolist()) {
        TODOList *list = nullptr;
        // The idd is compared as a number with the 32-bit id_: one beyond that
        // range matches no list.
        const qint64 idd = incoming.idd();
        if (idd == qint64(qint32(idd)))
            list = byID.value(int(idd), nullptr);

        if (!list) {
            ManagedObjectContext *context = m_document.managedObjectContext();
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
            const qint64 id = list->id_();
            int matches = 0;
            for (const Todolist &incoming : message.todolist()) {
                if (incoming.idd() == id)
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

    item->setServerID(incoming.serverid());

    item->setId_(low32(incoming.idd()));
    item->setQuadrant(low32(incoming.quadrant()));
    item->setIndex(low32(incoming.index()));
    item->setTimestamp(low32(qint64(incoming.timestamp())));
    item->setState(low32(incoming.state()));
    item->setCompletionPercentage(low32(incoming.completionpercentage()));

    item->setOwner(text(incoming.owner()));
    item->setName(text(incoming.name()));

    // The setter derives the plain text; the message's own plain text replaces it.
    item->setDescriptionRichText(text(incoming.descriptionrichtext()));
    item->setDescriptionText(text(incoming.descriptiontext()));

    item->setIcon(text(incoming.icon()));
    item->setEdited_since(0);

    item->setDueDate(date(incoming.has_duedate(), incoming.duedate()));
    item->setCreationDate(date(incoming.has_creationdate(), incoming.creationdate()));
    item->setStartDate(date(incoming.has_startdate(), incoming.startdate()));
    item->setUntilDate(date(incoming.has_untildate(), incoming.untildate()));
    // A completion date only goes with a finished item.
    item->setCompletionDate(incoming.completionpercentage() == 100
                                ? date(incoming.has_completiondate(), incoming.completiondate())
                                : QDateTime());

    item->setFrequency(text(incoming.frequency()));

    item->setChildID(incoming.has_childid() ? low32(incoming.childid()) : 0);
    item->setParentID(incoming.has_parentid() ? low32(incoming.parentid()) : 0);

    if (incoming.has_requestedtime())
        item->setRequestedTime(low32(incoming.requestedtime()));
    else
        item->setValue(QStringLiteral("requestedTime"), QVariant());

    if (incoming.has_allday())
        item->setAllDay(incoming.allday());
    else
        item->setValue(QStringLiteral("allDay"), QVariant());

    item->setEdited_by(optionalText(incoming.has_editedby(), incoming.editedby()));
    item->setEditedByDevice(optionalText(incoming.has_editedbydevice(), incoming.editedbydevice()));
    item->setOwnerUsername(optionalText(incoming.has_ownerusername(), incoming.ownerusername()));
    item->setCreatorUsername(optionalText(incoming.has_creatorusername(), incoming.creatorusername()));
    item->setEditedByUsername(optionalText(incoming.has_editedbyusername(), incoming.editedbyusername()));
    item->setMacResourceURL(optionalText(incoming.has_macresourceurl(), incoming.macresourceurl()));
    item->setBoxFolderID(optionalText(incoming.has_boxfolderid(), incoming.boxfolderid()));

    if (incoming.has_versionid())
        item->setVersionID(incoming.versionid());
    else
        item->setValue(QStringLiteral("versionID"), QVariant());

    item->setEffort(incoming.has_effort() ? low32(incoming.effort()) : 0);
}
