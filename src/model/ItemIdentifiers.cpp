#include "ItemIdentifiers.h"

#include "TODOItem.h"
#include "TODOList.h"

#include <QRandomGenerator>
#include <QSet>

namespace ItemIdentifiers {

namespace {

std::function<quint32()> &testGenerator()
{
    static std::function<quint32()> generator;
    return generator;
}

quint32 draw()
{
    const auto &generator = testGenerator();
    return generator ? generator() : QRandomGenerator::global()->generate();
}

} // namespace

qint32 generateItemId()
{
    return static_cast<qint32>(draw() % Modulus);
}

qint32 newUniqueIdForItemInList(const TODOList *list)
{
    // Only identifiers actually held count: an item without one reserves nothing.
    QSet<qint32> used;
    if (list) {
        const QList<TODOItem *> items = list->contains();
        used.reserve(items.size());
        for (const TODOItem *item : items) {
            if (item->hasValue(TODOItem::Attr_id_))
                used.insert(item->id_());
        }
    }
    qint32 candidate = generateItemId();
    while (used.contains(candidate))
        candidate = generateItemId();
    return candidate;
}

void setGeneratorForTesting(std::function<quint32()> generator)
{
    testGenerator() = std::move(generator);
}

} // namespace ItemIdentifiers
