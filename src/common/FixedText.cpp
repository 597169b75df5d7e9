#include "common/FixedText.h"

#include <algorithm>

namespace dialvane {

QByteArray assignFixed(const QByteArray& text, int width) {
    QByteArray field = text.left(width);
    if (field.size() < width)
        field.append(width - field.size(), ' ');
    return field;
}

bool isBlank(const QByteArray& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

} // namespace dialvane
