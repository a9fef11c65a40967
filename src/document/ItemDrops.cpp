#include "ItemDrops.h"

ItemDrops::ItemDrops(MyDocument &document)
    : m_document(document)
{
}
