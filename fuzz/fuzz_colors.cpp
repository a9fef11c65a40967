// Theme lines and colour texts, one per line of the input.

#include "ColorText.h"
#include "ColorTheme.h"
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::Needed);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        ColorTheme::initWithString(line);
        ColorText::colorWithString(line);
        ColorText::colorWithHexColorString(line);
    }
    return 0;
}
