// Item notes as HTML: read into rich text, written back as a fragment, made
// plain, and escaped for a page.

#include "FuzzSupport.h"
#include "HTMLToAttributedStringTransformer.h"
#include "HtmlExport.h"
#include "HtmlText.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startQt(fuzz::Gui::Needed);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const HTMLToAttributedStringTransformer transformer;
    transformer.reverseTransformedValue(transformer.transformedValue(text));
    HtmlText::toPlainText(text);
    HtmlExport::makeValidHTML(text);
    return 0;
}
