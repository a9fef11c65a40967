#pragma once

#include <QColor>
#include <QString>

// Colours written as text. A list keeps one colour per quadrant as
// "{r, g, b, a}", each component from 0 to 1; three writers produce it with
// different precision and all read back alike.
namespace ColorText {

// "{r, g, b, a}" with white space anywhere between the tokens; at most four
// numbers, nothing after the closing brace. An invalid QColor for anything else.
QColor colorWithString(const QString &text);
// A hexadecimal integer (an optional "0x", no "#"): red in bits 16 to 23,
// green 8 to 15, blue 0 to 7; opaque. Black for an empty text.
QColor colorWithHexColorString(const QString &text);

// The colour well's form: "{%0.3f, %0.3f, %0.3f, %0.3f}" with the colour's alpha.
QString stringFromColor(const QColor &color);
// An applied theme's form: "{%g, %g, %g, 1}" (shortest form, always opaque).
// Takes the components as read from the theme file, so that 0.5 stays "0.5".
QString themeString(float red, float green, float blue);
// "#rrggbb" for web pages; empty for an invalid colour.
QString hexadecimalValue(const QColor &color);

} // namespace ColorText
