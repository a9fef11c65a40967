#include "QuadrantItemModel.h"

#include "ArrayController.h"
#include "Clock.h"
#include "DateUtils.h"
#include "ExternalDrop.h"
#include "ManagedObjectContext.h"
#include "MyDocument.h"
#include "PasteboardOperations.h"
#include "TODOItem.h"
#include "TODOList.h"

#include <QMimeData>
#include <QPointer>
#include <QThreadPool>

#include <algorithm>

namespace {

const QString kColorType = QStringLiteral("application/x-color");

bool isRecurring(const TODOItem *item)
{
    const QString frequency = item->frequency();
    return DateUtils::hasDate(item->dueDate()) && !frequency.isEmpty() && frequency != QLatin1String("Never");
}

bool isOverdue(const TODOItem *item)
{
    return DateUtils::hasDate(item->dueDate()) && item->completionPercentage() < 100
        && DateUtils::daysFromDate(Clock::now(), item->dueDate()) < 0;
}

} // namespace

QuadrantItemModel::QuadrantItemModel(MyDocument *document, int quadrant, QObject *parent)
    : ArrangedObjectsModel(document->controllerForQuadrant(quadrant), document->managedObjectContext(), parent)
    , m_document(document)
    , m_quadrant(quadrant)
{
}

TODOItem *QuadrantItemModel::itemAt(int row) const
{
    return static_cast<TODOItem *>(objectAt(row));
}

QVariant QuadrantItemModel::data(const QModelIndex &index, int role) const
{
    TODOItem *item = itemAt(index.row());
    if (!item || index.parent().isValid())
        return {};
    return itemRoleData(item, role);
}

QVariant QuadrantItemModel::itemRoleData(TODOItem *item, int role)
{
    switch (role) {
    case Qt::DisplayRole:
        return item->name().isEmpty() ? QStringLiteral("Empty name") : item->name();
    case Qt::EditRole:
        return item->name();
    case Qt::CheckStateRole:
        return item->state() != 0 ? Qt::Checked : Qt::Unchecked;
    case ItemRole:
        return QVariant::fromValue(item);
    case NotesRole:
        return item->descriptionText();
    case IconRole:
        return item->icon();
    case DueDateRole:
        return item->dueDate();
    case CompletionRole:
        return item->completionPercentage();
    case FrequencyRole:
        return item->frequency();
    case LinkRole:
        return item->macResourceURL();
    case RecurringRole:
        return isRecurring(item);
    case OverdueRole:
        return isOverdue(item);
    case DoneRole:
        return item->completionPercentage() == 100;
    default:
        return {};
    }
}

bool QuadrantItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TODOItem *item = itemAt(index.row());
    if (!item || index.parent().isValid())
        return false;
    if (role == Qt::EditRole)
        return rename(item, value.toString());
    if (role != Qt::CheckStateRole)
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    // The done box toggles; asking for the state the row already shows changes nothing.
    if (checked != (item->state() != 0))
        m_document->markClickedItemAsDone(m_quadrant, index.row());
    return true;
}

bool QuadrantItemModel::rename(TODOItem *item, const QString &name)
{
    if (item->name() == name)
        return true;
    item->setName(name);
    m_document->managedObjectContext()->setUndoActionName(QStringLiteral("Rename"));
    return true;
}

Qt::ItemFlags QuadrantItemModel::flags(const QModelIndex &index) const
{
    // Drops below the last row land on the root.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsUserCheckable
        | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

// --- Drag and drop ------------------------------------------------------------------

QStringList QuadrantItemModel::mimeTypes() const
{
    return {PasteboardTypes::Item,
            QStringLiteral("text/uri-list"),
            QStringLiteral("text/plain"),
            QStringLiteral("text/html"),
            QStringLiteral("text/x-moz-url"),
            kColorType,
            QStringLiteral("message/rfc822")};
}

// The item drag record (URIs in ascending row order, the selected list, the
// rows), and the names one per line for text editors.
QMimeData *QuadrantItemModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &index : indexes) {
        if (itemAt(index.row()) && !index.parent().isValid())
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    if (rows.isEmpty())
        return nullptr;

    PasteboardTypes::ItemArchive archive;
    QStringList names;
    for (int row : std::as_const(rows)) {
        archive.uris.append(itemAt(row)->objectURI());
        names.append(itemAt(row)->name());
    }
    if (TODOList *list = m_document->projects().selectedList())
        archive.listUri = list->objectURI();
    archive.rowIndexes = rows;
    archive.hasRowIndexes = true;

    auto *data = new QMimeData;
    data->setData(PasteboardTypes::Item, PasteboardTypes::encodeItems(archive));
    data->setText(names.join(QLatin1Char('\n')));
    return data;
}

int QuadrantItemModel::dropRow(int row, const QModelIndex &parent) const
{
    if (parent.isValid())
        return parent.row();
    return row >= 0 ? row : rowCount();
}

bool QuadrantItemModel::canDropMimeData(const QMimeData *data, Qt::DropAction, int row, int,
                                        const QModelIndex &parent) const
{
    if (!data || dropRow(row, parent) > rowCount())
        return false;
    const QStringList types = mimeTypes();
    return std::any_of(types.cbegin(), types.cend(), [data](const QString &type) { return data->hasFormat(type); });
}

bool QuadrantItemModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                     const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    // A colour dropped on a quadrant is taken and changes nothing.
    if (data->hasFormat(kColorType))
        return true;
    if (data->hasFormat(PasteboardTypes::Item)) {
        PasteboardTypes::ItemArchive archive;
        if (!PasteboardTypes::decodeItems(data->data(PasteboardTypes::Item), &archive))
            return false;
        const auto position = parent.isValid() ? ItemDrops::DropPosition::OnRow : ItemDrops::DropPosition::AboveRow;
        return m_document->itemDrops().handleTodoItem(archive, m_quadrant, dropRow(row, parent), position);
    }
    // Another application's drop: one new item per recognised thing.
    const QList<ExternalDrop::Item> items = ExternalDrop::items(data);
    for (const ExternalDrop::Item &item : items) {
        TODOItem *made = m_document->itemDrops().addItemInTable(m_quadrant, item.title, item.notes, item.icon, item.url);
        const QString messageId = ExternalDrop::extractMessageID(item.url);
        if (made && item.notes.isEmpty() && !messageId.isEmpty())
            fillMailBody(made, messageId);
    }
    return !items.isEmpty();
}

void QuadrantItemModel::fillMailBody(TODOItem *item, const QString &messageId) const
{
    const QUrl uri = item->objectURI();
    const QPointer<ManagedObjectContext> context = m_document->managedObjectContext();
    QThreadPool::globalInstance()->start([lookup = m_mailBodyLookup, messageId, uri, context] {
        const QString body = lookup(messageId);
        if (body.isEmpty())
            return;
        QMetaObject::invokeMethod(
            context.get(),
            [body, uri, context] {
                auto *item = static_cast<TODOItem *>(context->objectForURI(uri));
                if (!item)
                    return;
                item->setDescriptionText(body);
                item->setDescriptionRichText(body.toHtmlEscaped());
            },
            Qt::QueuedConnection);
    });
}
