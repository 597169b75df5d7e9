#include "common/Numbers.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace dialvane;
using namespace dialvane::test;

namespace {

// Header fields from the line are padded with blanks and may carry stray characters; the
// lenient reading must never fail on them. Blanks are ignored wherever they stand, the number
// stops where the characters no longer form one (a comma is never a decimal mark here, whatever
// the regional settings), an exponent counts only with its digits, and a text that does not
// start with a number reads zero.
TEST(LenientNumberReading, ReadsFromTheStartAsFarAsTheCharactersFormANumber) {
    const std::pair<const char*, double> cases[] = {
        {"  12 3", 123}, {"\t1\n2\r3 ", 123}, {" - 5", -5},
        {"1 . 5", 1.5},  {"      ", 0},       {"", 0},
        {"000000", 0},   {"000012", 12},      {"0 0 0 7", 7},
        {"12AB", 12},    {"1.2.3", 1.2},      {"7-3", 7},
        {"+7", 7},       {".5", 0.5},         {"5.", 5},
        {"1,5", 1},      {"1.5E2", 150},      {"1.5e2", 150},
        {"1.5D2", 150},  {"2E+1", 20},        {"25E-1", 2.5},
        {"1 E 2", 100},  {"1.5E", 1.5},       {"3E+", 3},
        {"3EX", 3},      {"A12", 0},          {"-", 0},
        {".", 0},        {"-.E5", 0},         {"E5", 0},
        {"&H10", 0}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(readNumberLeniently(QString::fromLatin1(text)), value) << text;
    EXPECT_TRUE(std::isfinite(readNumberLeniently(QStringLiteral("1E400"))));
    EXPECT_TRUE(std::isfinite(readNumberLeniently(QString(5000, QLatin1Char('9')))));
}

TEST(RegionalNumberTest, TakesTheWholeTextWithBlanksAroundOnlyUnderTheLocale) {
    const QLocale french(QLocale::French), c = QLocale::c();
    EXPECT_TRUE(isRegionalNumber(QStringLiteral("1,5"), french));
    EXPECT_FALSE(isRegionalNumber(QStringLiteral("1.5"), french));
    EXPECT_TRUE(isRegionalNumber(QStringLiteral("1.5"), c));
    EXPECT_FALSE(isRegionalNumber(QStringLiteral("1,5"), c));
    for (const char* text : {"  60  ", "-3", "1e3"})
        EXPECT_TRUE(isRegionalNumber(QString::fromLatin1(text), c)) << text;
    for (const char* text : {"6 0", "12AB", "A12", "", "   "})
        EXPECT_FALSE(isRegionalNumber(QString::fromLatin1(text), c)) << text;
}

// A half goes to the even neighbour, also at the ends of the range (-32768.5 stays inside).
TEST(WholeNumberConversion, RoundsAHalfToTheEvenNeighbourWithinSixteenBits) {
    const std::pair<double, int> cases[] = {{6.5, 6},         {7.5, 8},          {-2.5, -2},
                                            {-3.5, -4},       {0.5, 0},          {2.4999, 2},
                                            {2.5001, 3},      {32767.0, 32767},  {-32768.0, -32768},
                                            {32766.5, 32766}, {-32768.5, -32768}};
    for (const auto& [value, rounded] : cases)
        EXPECT_EQ(toInt16(value), rounded) << value;
    EXPECT_EQ(roundHalfEven(100000.5), 100000);
    EXPECT_EQ(roundHalfEven(100001.5), 100002);
    for (double outside : {32767.5, -32769.0, std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity()})
        EXPECT_THROW(toInt16(outside), ConversionError) << outside;
}

TEST(WholeNumberConversion, FailureNamesTheValueAndTheRange) {
    for (const auto& [failure, value] :
         {std::pair{failureOf<ConversionError>([] { toInt16(40000.0); }), "40000"},
          {failureOf<ConversionError>([] { toInt16(QStringLiteral("12AB"), QLocale::c()); }),
           "12AB"}})
        for (const char* named : {value, "-32768", "32767"})
            EXPECT_THAT(failure, HasSubstr(named));
}

TEST(WholeNumberConversion, ReadsTextUnderTheRegionalSettings) {
    const QLocale french(QLocale::French), c = QLocale::c();
    EXPECT_EQ(toInt16(QStringLiteral(" 6,5 "), french), 6);
    EXPECT_EQ(toInt16(QStringLiteral("7,5"), french), 8);
    EXPECT_EQ(toInt16(QStringLiteral("7.5"), c), 8);
    EXPECT_THROW(toInt16(QStringLiteral("7.5"), french), ConversionError);
    for (const char* text : {"40000", "", "   "})
        EXPECT_THROW(toInt16(QString::fromLatin1(text), c), ConversionError) << text;
}

} // namespace
