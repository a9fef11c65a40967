#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

class MyDocument;
class TODOList;

// The private pasteboard types and their archives (CBOR maps).
namespace PasteboardTypes {
inline const QString Item = QStringLiteral("TODOItemDataType");
inline const QString List = QStringLiteral("TODOListDataType");

struct ItemArchive {
    QList<QUrl> uris;       // "URIRepresentations"
    QUrl listUri;           // "URIRepresentationList"
    QList<int> rowIndexes;  // "RowIndexes" (drags only)
    bool hasRowIndexes = false;
    // "Cut": written by a cut. Only a cut's records may be taken back by a
    // paste; anything else (a copy, a drag, another writer) is pasted as copies.
    bool cut = false;
};

QByteArray encodeItems(const ItemArchive &archive);
// False for data that is not such an archive.
bool decodeItems(const QByteArray &data, ItemArchive *archive);
QByteArray encodeListRows(const QList<int> &rows);
bool decodeListRows(const QByteArray &data, QList<int> *rows);
} // namespace PasteboardTypes

// Copy, cut and paste of items through the pasteboard, the repair after an
// undo, and cloning a list.
class PasteboardOperations
{
public:
    explicit PasteboardOperations(MyDocument &document);

    void copyToPasteBoardWithCutting(bool cutting);
    void paste();
    // After every undo: items named on the pasteboard get their state back
    // from their percentage; the quadrants re-arrange.
    void undoCutIfNeeded();
    // The new list, or none.
    TODOList *cloneList(TODOList *source, bool withItems);

private:
    MyDocument &m_document;
};
