// A mail file as mail clients hand it over when a message is dragged out:
// headers, encoded words, multipart bodies, transfer encodings, charsets.

#include "FuzzSupport.h"
#include "MailMessage.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::NotNeeded);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    MailMessage::read(fuzz::bytes(data, size));
    return 0;
}
