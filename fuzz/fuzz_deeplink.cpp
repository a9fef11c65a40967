// A corvane:// link as another program hands it over, and the server paths
// stored in records.

#include "FuzzSupport.h"
#include "ResourcePath.h"
#include "SyncUtils.h"

#include <QUrl>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::NotNeeded);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const QUrl url(text, QUrl::StrictMode);
    SyncUtils::projectIDFromURL(url);
    SyncUtils::itemIDFromURL(url);
    SyncUtils::idFromURI(text);
    return 0;
}
