#include "common/Numbers.h"

#include <cmath>
#include <limits>

namespace dialvane {

namespace {

bool isLenientBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\r');
}

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

double readNumberLeniently(const QString& text) {
    QString compact;
    compact.reserve(text.size());
    for (QChar c : text)
        if (!isLenientBlank(c))
            compact.append(c);

    // Longest prefix of the form [sign] digits [. digits] [(E|D) [sign] digits].
    qsizetype i = 0;
    const qsizetype n = compact.size();
    QString number;
    if (i < n && (compact[i] == QLatin1Char('+') || compact[i] == QLatin1Char('-')))
        number.append(compact[i++]);
    bool mantissaDigits = false;
    while (i < n && isDigit(compact[i])) {
        number.append(compact[i++]);
        mantissaDigits = true;
    }
    if (i < n && compact[i] == QLatin1Char('.')) {
        number.append(compact[i++]);
        while (i < n && isDigit(compact[i])) {
            number.append(compact[i++]);
            mantissaDigits = true;
        }
    }
    if (!mantissaDigits)
        return 0.0;
    if (i < n && QStringLiteral("EeDd").contains(compact[i])) {
        qsizetype j = i + 1;
        QString exponent = QStringLiteral("e");
        if (j < n && (compact[j] == QLatin1Char('+') || compact[j] == QLatin1Char('-')))
            exponent.append(compact[j++]);
        bool exponentDigits = false;
        while (j < n && isDigit(compact[j])) {
            exponent.append(compact[j++]);
            exponentDigits = true;
        }
        if (exponentDigits)
            number.append(exponent);
    }
    bool ok = false;
    const double value = number.toDouble(&ok); // C locale: '.' decimal mark
    if (!ok || !std::isfinite(value))
        return 0.0;
    return value;
}

bool isRegionalNumber(const QString& text, const QLocale& locale) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    bool ok = false;
    locale.toDouble(trimmed, &ok);
    return ok;
}

double roundHalfEven(double value) {
    // nearbyint rounds under the current rounding mode, which is round-to-nearest-even.
    return std::nearbyint(value);
}

std::int16_t toInt16(double value) {
    const auto range = QStringLiteral("a whole number from %1 to %2")
                           .arg(std::numeric_limits<std::int16_t>::min())
                           .arg(std::numeric_limits<std::int16_t>::max());
    if (!std::isfinite(value))
        throw ConversionError(QStringLiteral("The value %1 is not %2.").arg(value).arg(range));
    const double rounded = roundHalfEven(value);
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        throw ConversionError(
            QStringLiteral("The value %1 does not fit %2.").arg(value, 0, 'g', 17).arg(range));
    return static_cast<std::int16_t>(rounded);
}

std::int16_t toInt16(const QString& text, const QLocale& locale) {
    bool ok = false;
    const QString trimmed = text.trimmed();
    const double value = trimmed.isEmpty() ? 0.0 : locale.toDouble(trimmed, &ok);
    if (!ok)
        throw ConversionError(
            QStringLiteral(
                "The value \"%1\" is not a number: expected a whole number from %2 to %3.")
                .arg(text)
                .arg(std::numeric_limits<std::int16_t>::min())
                .arg(std::numeric_limits<std::int16_t>::max()));
    return toInt16(value);
}

} // namespace dialvane
