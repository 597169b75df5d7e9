#include "common/FixedText.h"

#include <algorithm>

namespace dialvane {

QByteArray assignFixed(const QByteArray& text, int width) {
    QByteArray field = text.left(width);
    if (field.size() < width)
        field.append(width - field.size(), ' ');
    return field;
}

QString assignFixed(const QString& text, int width) {
    QString field = text.left(width);
    if (field.size() < width)
        field.append(QString(width - field.size(), QLatin1Char(' ')));
    return field;
}

bool isBlank(const QByteArray& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

bool isBlank(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c == QLatin1Char(' '); });
}

} // namespace dialvane
