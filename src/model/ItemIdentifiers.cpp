#include "ItemIdentifiers.h"

#include "TODOList.h"

#include <QRandomGenerator>

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
    qint32 candidate = generateItemId();
    while (list && list->usesItemId(candidate))
        candidate = generateItemId();
    return candidate;
}

void setGeneratorForTesting(std::function<quint32()> generator)
{
    testGenerator() = std::move(generator);
}

} // namespace ItemIdentifiers
