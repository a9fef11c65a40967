#pragma once

#include <QtGlobal>

#include <functional>

class TODOList;

// Identifiers of items, drawn at random before an item ever reaches the server.
namespace ItemIdentifiers {

// Item identifiers lie in [0, Modulus).
inline constexpr quint32 Modulus = 2147483640u;

// A uniformly random unsigned 32-bit value modulo Modulus.
qint32 generateItemId();

// A drawn identifier that no item of the list (all states) uses yet; draws
// again until one is free. A null list has no items.
qint32 newUniqueIdForItemInList(const TODOList *list);

// Replaces the source of random 32-bit values (tests); an empty function
// returns to the process-wide random generator.
void setGeneratorForTesting(std::function<quint32()> generator);

} // namespace ItemIdentifiers
