// A sync reply: the Base64 text the server answers, and the wire message it
// carries merged into a store that already holds a list of the same
// identifiers the message may name.

#include "Base64.h"
#include "FuzzSupport.h"
#include "ServerDataMerger.h"
#include "TODOItem.h"
#include "TODOList.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::NotNeeded);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    std::unique_ptr<MyDocument> document = fuzz::newDocument();
    document->addNewProject()->setId_(1);
    if (TODOItem *item = document->addTODOItemToFirstQuadrant())
        item->setServerID(1);
    ServerDataMerger merger(*document);
    for (const QByteArray &message : {input, Base64::decode(QString::fromLatin1(input)).value_or(QByteArray())}) {
        if (std::optional<WireLists> lists = merger.parseDataFromServer(message))
            merger.merge(*lists);
    }
    return 0;
}
