#pragma once
// Fixed-width text fields: the header fields of a call and the records of a data file
// are always exactly as wide as their field, padded with spaces or cut.

#include <QByteArray>
#include <QString>

namespace dialvane {

// Left-justifies `text` in a field of `width` characters: pads with spaces or cuts.
QByteArray assignFixed(const QByteArray& text, int width);

// True when the text holds nothing but spaces (an empty text counts as blank).
bool isBlank(const QByteArray& text);

} // namespace dialvane
