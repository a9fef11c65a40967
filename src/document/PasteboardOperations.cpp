#include "PasteboardOperations.h"

#include "ArrayController.h"
#include "IndexAdjuster.h"
#include "Logging.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "ObjectModel.h"
#include "Pasteboard.h"
#include "QuadrantFilters.h"
#include "TODOItem.h"
#include "TODOList.h"
#include "TodoModel.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborStreamReader>
#include <QCborValue>

#include <algorithm>
#include <limits>

namespace PasteboardTypes {

namespace {

const QString kURIs = QStringLiteral("URIRepresentations");
const QString kListURI = QStringLiteral("URIRepresentationList");
const QString kRows = QStringLiteral("RowIndexes");
const QString kCut = QStringLiteral("Cut");
const QString kRoot = QStringLiteral("root");

QCborArray rowsToCbor(const QList<int> &rows)
{
    QCborArray array;
    for (int row : rows)
        array.append(qint64(row));
    return array;
}

// Row indexes are non-negative 32-bit numbers; anything else is refused.
bool rowsFromCbor(const QCborValue &value, QList<int> *rows)
{
    if (!value.isArray())
        return false;
    QList<int> result;
    const QCborArray array = value.toArray();
    result.reserve(array.size());
    for (const QCborValue &entry : array) {
        if (!entry.isInteger())
            return false;
        const qint64 row = entry.toInteger();
        if (row < 0 || row > std::numeric_limits<int>::max())
            return false;
        result.append(int(row));
    }
    *rows = std::move(result);
    return true;
}

// Empty text stands for "no URI"; any other text must be a valid URL.
bool urlFromText(const QCborValue &value, QUrl *url)
{
    if (!value.isString())
        return false;
    const QString text = value.toString();
    if (text.isEmpty()) {
        *url = QUrl();
        return true;
    }
    const QUrl parsed(text, QUrl::StrictMode);
    if (!parsed.isValid())
        return false;
    *url = parsed;
    return true;
}

// The map the data holds as its one and only CBOR item, or none.
bool readMap(const QByteArray &data, QCborMap *map)
{
    if (data.isEmpty())
        return false;
    QCborStreamReader reader(data);
    const QCborValue value = QCborValue::fromCbor(reader);
    if (reader.lastError() != QCborError::NoError || !value.isMap())
        return false;
    if (reader.currentOffset() != data.size()) // trailing bytes: not our archive
        return false;
    *map = value.toMap();
    return true;
}

} // namespace

QByteArray encodeItems(const ItemArchive &archive)
{
    QCborArray uris;
    for (const QUrl &uri : archive.uris)
        uris.append(uri.toString(QUrl::FullyEncoded));
    QCborMap map;
    map.insert(kURIs, uris);
    map.insert(kListURI, archive.listUri.toString(QUrl::FullyEncoded));
    if (archive.hasRowIndexes)
        map.insert(kRows, rowsToCbor(archive.rowIndexes));
    if (archive.cut)
        map.insert(kCut, true);
    return map.toCborValue().toCbor();
}

bool decodeItems(const QByteArray &data, ItemArchive *archive)
{
    QCborMap map;
    if (!readMap(data, &map))
        return false;

    const QCborValue uriValue = map.value(kURIs);
    if (!uriValue.isArray())
        return false;
    ItemArchive result;
    for (const QCborValue &entry : uriValue.toArray()) {
        QUrl uri;
        if (!urlFromText(entry, &uri) || uri.isEmpty())
            return false;
        result.uris.append(uri);
    }
    if (!urlFromText(map.value(kListURI), &result.listUri))
        return false;
    if (map.contains(kRows)) {
        if (!rowsFromCbor(map.value(kRows), &result.rowIndexes))
            return false;
        result.hasRowIndexes = true;
    }
    if (map.contains(kCut)) {
        if (!map.value(kCut).isBool())
            return false;
        result.cut = map.value(kCut).toBool();
    }
    if (archive)
        *archive = std::move(result);
    return true;
}

QByteArray encodeListRows(const QList<int> &rows)
{
    QCborMap map;
    map.insert(kRoot, rowsToCbor(rows));
    return map.toCborValue().toCbor();
}

bool decodeListRows(const QByteArray &data, QList<int> *rows)
{
    QCborMap map;
    if (!readMap(data, &map))
        return false;
    QList<int> result;
    if (!rowsFromCbor(map.value(kRoot), &result))
        return false;
    if (rows)
        *rows = std::move(result);
    return true;
}

} // namespace PasteboardTypes

namespace {

bool isValidQuadrant(int quadrant)
{
    return quadrant >= 0 && quadrant < Quadrant::Count;
}

// The item a pasteboard URI names in this store, or none: URIs of other
// stores, of other entities, of records deleted from the store and of items
// the server removed (state 3) name nothing.
TODOItem *itemForURI(ManagedObjectContext *context, const QUrl &uri)
{
    ManagedObject *object = context->objectForURI(uri);
    if (!object || object->entityName() != TODOItem::EntityName)
        return nullptr;
    auto *item = static_cast<TODOItem *>(object);
    return item->state() == RecordState::Deleted ? nullptr : item;
}

// The item archive on the pasteboard, if there is a well-formed one.
bool readItemArchive(const Pasteboard *pasteboard, PasteboardTypes::ItemArchive *archive)
{
    if (!pasteboard->hasType(PasteboardTypes::Item))
        return false;
    if (!PasteboardTypes::decodeItems(pasteboard->data(PasteboardTypes::Item), archive)) {
        qCWarning(lcDocument) << "Ignoring malformed" << PasteboardTypes::Item << "data on the pasteboard";
        return false;
    }
    return true;
}

} // namespace

PasteboardOperations::PasteboardOperations(MyDocument &document)
    : m_document(document)
{
}

void PasteboardOperations::copyToPasteBoardWithCutting(bool cutting)
{
    const int quadrant = m_document.lastQuadrantClicked();
    if (!isValidQuadrant(quadrant))
        return;

    const QList<TODOItem *> items = m_document.selectedItemsInQuadrant(quadrant);
    if (items.isEmpty())
        return;

    TODOList *list = m_document.projects().selectedList();
    PasteboardTypes::ItemArchive archive;
    archive.cut = cutting;
    for (TODOItem *item : items) {
        archive.uris.append(item->objectURI());
        // A cut is a trash that a later paste into the same list takes back.
        if (cutting)
            m_document.markTODOItemAsTrashed(item, list);
    }
    if (list)
        archive.listUri = list->objectURI();
    m_document.pasteboard()->declareAndSet(PasteboardTypes::Item, PasteboardTypes::encodeItems(archive));

    if (cutting) {
        m_document.controllerForQuadrant(quadrant)->rearrangeObjects();
        m_document.cleanListCustomCells();
    }
}

void PasteboardOperations::paste()
{
    qCInfo(lcDocument) << "Pasting";
    const int quadrant = m_document.lastQuadrantClicked();
    if (!isValidQuadrant(quadrant))
        return;
    PasteboardTypes::ItemArchive archive;
    if (!readItemArchive(m_document.pasteboard(), &archive))
        return;
    TODOList *list = m_document.projects().selectedList();
    if (!list) {
        qCWarning(lcDocument) << "No list selected to paste into";
        return;
    }

    ManagedObjectContext *context = m_document.managedObjectContext();
    ArrayController *controller = m_document.controllerForQuadrant(quadrant);
    const QList<int> selection = controller->selectionIndexes();
    const int firstSelectedRow = selection.isEmpty() ? -1 : *std::min_element(selection.cbegin(), selection.cend());
    controller->clearSelection();

    // Only the records of a cut from this very list come back themselves;
    // everything else is pasted as copies.
    const bool takeBackCut = archive.cut && !archive.listUri.isEmpty() && archive.listUri == list->objectURI();
    const QVector<AttributeDescription> &attributes = context->model().entity(TODOItem::EntityName)->attributes();

    int position = firstSelectedRow;
    QList<ManagedObject *> pasted;
    for (const QUrl &uri : std::as_const(archive.uris)) {
        TODOItem *source = itemForURI(context, uri);
        if (!source)
            continue;
        qCInfo(lcDocument).noquote() << source->name();

        TODOItem *item = source;
        if (!takeBackCut || source->list() != list) {
            item = context->insert<TODOItem>(TODOItem::EntityName);
            for (const AttributeDescription &attribute : attributes)
                item->setValue(attribute.name, source->value(attribute.name));
            item->setList(list);
            item->resetIDs();
        }

        if (item->state() == RecordState::Trashed)
            item->setState(RecordState::Open);
        else
            item->setState(item->completionPercentage() > 99 ? RecordState::Completed : RecordState::Open);
        item->setQuadrant(quadrant);

        if (controller->indexOfArrangedObject(item) >= 0) {
            // Already a row of this quadrant (a cut that was undone): it stays where it is.
        } else if (position >= 0 && !controller->arrangedObjects().isEmpty()) {
            controller->insertObject(item, position);
            ++position;
        } else {
            controller->addObject(item);
        }

        if (item->dueDate().isValid())
            m_document.calendar()->updateEventForItem(item, list);
        if (!pasted.contains(item))
            pasted.append(item);
    }

    controller->setSelectedObjects(pasted);
    if (QuadrantFilters::isManualOrder(controller))
        IndexAdjuster::adjustIndices(controller, list);
    controller->rearrangeObjects();
    m_document.cleanListCustomCells();
}

void PasteboardOperations::undoCutIfNeeded()
{
    PasteboardTypes::ItemArchive archive;
    if (!readItemArchive(m_document.pasteboard(), &archive))
        return;

    ManagedObjectContext *context = m_document.managedObjectContext();
    // The repair belongs to the undo it follows: its writes, the change
    // tracker's marks included, make no undo step of their own, which would
    // clear the redo stack (redo would then never bring the cut back).
    {
        const ManagedObjectContext::WithoutUndo withoutUndo(*context);
        TODOList *list = m_document.projects().selectedList();
        for (const QUrl &uri : std::as_const(archive.uris)) {
            TODOItem *item = itemForURI(context, uri);
            // An item still trashed was not brought back by this undo (its cut
            // stands, or it was trashed on purpose since): leave it trashed.
            if (!item || item->state() == RecordState::Trashed)
                continue;
            item->setState(item->completionPercentage() > 99 ? RecordState::Completed : RecordState::Open);
            if (item->dueDate().isValid())
                m_document.calendar()->updateEventForItem(item, list);
        }
    }
    m_document.rearrangeArrayControllers();
    m_document.cleanListCustomCells();
}

TODOList *PasteboardOperations::cloneList(TODOList *source, bool withItems)
{
    if (!source)
        return nullptr;

    TODOList *clone = m_document.addNewProjectWithName(source->name());
    if (!clone)
        return nullptr;
    source->copyTo(clone, false);
    clone->resetIDs();
    clone->setIndex(IndexAdjuster::add32(source->index(), 2)); // directly above the source
    clone->setEdited_since(1);

    if (withItems) {
        const QList<TODOItem *> items = source->contains();
        for (const TODOItem *sourceItem : items) {
            // What the list shows its owner: not the items the server removed.
            if (sourceItem->state() == RecordState::Deleted)
                continue;
            TODOItem *item = m_document.newItemForProject(clone);
            if (!item)
                continue;
            sourceItem->copyTo(item, false, false);
            item->resetIDs();
            item->setOwner(QString());
            item->setOwnerUsername(QString());
            item->setEdited_since(1);
        }
    }

    ArrayController *lists = m_document.projects().projectsArrayController();
    lists->rearrangeObjects(); // the repair walks the lists with the clone in place
    IndexAdjuster::adjustListIndices(lists);
    m_document.rearrangeProjectArrayController();
    return clone;
}
