// A list file, binary or hexadecimal, imported into a store.

#include "FuzzSupport.h"
#include "ListFiles.h"

#include <QFile>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::NotNeeded);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzz::scratch().filePath(QStringLiteral("input.corvx"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(fuzz::bytes(data, size));
    file.close();
    std::unique_ptr<MyDocument> document = fuzz::newDocument();
    ListFiles(*document).importURL(path);
    return 0;
}
