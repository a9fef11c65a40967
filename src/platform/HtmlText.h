#pragma once

#include <QString>

// Plain text out of HTML notes, without QtGui: the text a browser would show,
// with block elements and <br> on their own lines.
namespace HtmlText {

// Drops tags, comments and the content of <script>, <style>, <title> and
// <head>; block elements and <br> give line breaks; HTML whitespace collapses
// to single spaces outside <pre>; character references are decoded (invalid
// code points become U+FFFD) and non-breaking spaces become plain spaces.
// Trailing whitespace is trimmed. Malformed input is read the forgiving way
// browsers read it: an unterminated tag or comment runs to the end.
QString toPlainText(const QString &html);

} // namespace HtmlText
