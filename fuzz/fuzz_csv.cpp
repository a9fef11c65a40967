// A CSV file in any encoding the reader detects (UTF-8 with or without a
// byte-order mark, UTF-16 either way round, Latin-1), read into rows.

#include "CsvReader.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::NotNeeded);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CsvReader::read(fuzz::bytes(data, size));
    return 0;
}
