#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The CSV reader of the import: comma-separated, with its own dialect
// (quotes that toggle, backslash escapes, "#" comment lines, any Unicode line
// break, blank lines skipped) and text-encoding detection from the first
// 2048 bytes. Characters are taken as grapheme clusters, so a comma or quote
// carrying a combining mark is ordinary text. A parse either gives every
// record or, on any error, none.
class CsvReader
{
public:
    enum Error : int {
        NoError = 0,
        InputError = 1,  // the input could not be opened, read or decoded
        FormatError = 2, // text right after a closing quote
    };

    struct Result {
        QList<QStringList> records; // each with one or more fields
        Error error = NoError;
        QString errorText;
    };

    // The size in which input is read and examined for its encoding.
    static constexpr int ChunkSize = 2048;

    static Result readFile(const QString &path);
    // The bytes of a whole file; their encoding is detected.
    static Result read(const QByteArray &bytes);

private:
    static Result parse(const QString &text);
};
