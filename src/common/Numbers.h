#pragma once
// Reading numbers from text. Two readings exist side by side on purpose:
// the lenient reading used on header fields from the line (locale-independent, never fails),
// and the regional reading used on what the operator types and on stored settings.

#include "common/Failure.h"

#include <QLocale>
#include <QString>

#include <cstdint>

namespace dialvane {

// Reads a number the lenient way: blanks (space, tab, line ends) are ignored wherever they
// stand, and the text is read from its start as far as its characters can form a number
// (optional sign, digits, one '.', an exponent E or D with optional sign). A text that does
// not begin with a number reads 0. The decimal mark is always '.', whatever the locale.
// Radix prefixes (&H, &O) are not recognised: such a text reads 0.
double readNumberLeniently(const QString& text);

// True when the whole text, blanks around it allowed, is a number under `locale`
// (its decimal and group separators, sign and exponent).
bool isRegionalNumber(const QString& text, const QLocale& locale = QLocale::system());

// Raised when a value cannot become a whole number of the wanted range.
class ConversionError : public Failure {
public:
    using Failure::Failure;
};

// Rounds to the nearest whole number, a half going to the even neighbour (6.5 -> 6, 7.5 -> 8),
// and checks the 16-bit range. Throws ConversionError naming the value and the range.
std::int16_t toInt16(double value);
// Reads `text` as a regional number (blanks around allowed), then as toInt16(double).
std::int16_t toInt16(const QString& text, const QLocale& locale = QLocale::system());

// Rounds half to even without a range check (the durations of the line are not 16-bit).
double roundHalfEven(double value);

} // namespace dialvane
