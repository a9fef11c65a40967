#include "Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {
QClipboard *clipboard()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
}
} // namespace

void ClipboardPasteboard::declareAndSet(const QString &type, const QByteArray &data)
{
    if (QClipboard *c = clipboard()) {
        auto *mime = new QMimeData;
        mime->setData(type, data);
        c->setMimeData(mime);
    }
}

QByteArray ClipboardPasteboard::data(const QString &type) const
{
    QClipboard *c = clipboard();
    const QMimeData *mime = c ? c->mimeData() : nullptr;
    return mime ? mime->data(type) : QByteArray();
}

bool ClipboardPasteboard::hasType(const QString &type) const
{
    QClipboard *c = clipboard();
    const QMimeData *mime = c ? c->mimeData() : nullptr;
    return mime && mime->hasFormat(type);
}

void ClipboardPasteboard::clear()
{
    if (QClipboard *c = clipboard())
        c->clear();
}
