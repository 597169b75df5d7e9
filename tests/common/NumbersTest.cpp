#include "common/Numbers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace dialvane;

namespace {

// Header fields from the line are padded with blanks and may carry stray characters; the
// lenient reading must never fail on them.
TEST(LenientNumberReading, IgnoresBlanksWhereverTheyStand) {
    EXPECT_EQ(readNumberLeniently(QStringLiteral("  12 3")), 123);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("\t1\n2\r3 ")), 123);
    EXPECT_EQ(readNumberLeniently(QStringLiteral(" - 5")), -5);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("1 . 5")), 1.5);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("      ")), 0);
    EXPECT_EQ(readNumberLeniently(QString()), 0);
}

TEST(LenientNumberReading, ReadsLeadingZerosAsTheNumber) {
    EXPECT_EQ(readNumberLeniently(QStringLiteral("000000")), 0);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("000012")), 12);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("0 0 0 7")), 7);
}

TEST(LenientNumberReading, StopsWhereTheCharactersNoLongerFormANumber) {
    EXPECT_EQ(readNumberLeniently(QStringLiteral("12AB")), 12);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("1.2.3")), 1.2);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("7-3")), 7);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("+7")), 7);
    EXPECT_EQ(readNumberLeniently(QStringLiteral(".5")), 0.5);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("5.")), 5);
    // A comma is never a decimal mark here, whatever the regional settings.
    EXPECT_EQ(readNumberLeniently(QStringLiteral("1,5")), 1);
}

TEST(LenientNumberReading, ReadsExponentsOnlyWhenTheyHaveDigits) {
    EXPECT_EQ(readNumberLeniently(QStringLiteral("1.5E2")), 150);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("1.5e2")), 150);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("1.5D2")), 150);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("2E+1")), 20);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("25E-1")), 2.5);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("1 E 2")), 100);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("1.5E")), 1.5);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("3E+")), 3);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("3EX")), 3);
}

TEST(LenientNumberReading, ReadsZeroForATextNotStartingWithANumber) {
    EXPECT_EQ(readNumberLeniently(QStringLiteral("A12")), 0);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("-")), 0);
    EXPECT_EQ(readNumberLeniently(QStringLiteral(".")), 0);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("-.E5")), 0);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("E5")), 0);
    EXPECT_EQ(readNumberLeniently(QStringLiteral("&H10")), 0);
}

TEST(LenientNumberReading, NeverReturnsAnInfiniteValue) {
    EXPECT_TRUE(std::isfinite(readNumberLeniently(QStringLiteral("1E400"))));
    EXPECT_TRUE(std::isfinite(readNumberLeniently(QString(5000, QLatin1Char('9')))));
}

TEST(RegionalNumberTest, FollowsTheDecimalMarkOfTheLocale) {
    const QLocale french(QLocale::French);
    EXPECT_TRUE(isRegionalNumber(QStringLiteral("1,5"), french));
    EXPECT_FALSE(isRegionalNumber(QStringLiteral("1.5"), french));
    EXPECT_TRUE(isRegionalNumber(QStringLiteral("1.5"), QLocale::c()));
    EXPECT_FALSE(isRegionalNumber(QStringLiteral("1,5"), QLocale::c()));
}

TEST(RegionalNumberTest, TakesTheWholeTextWithBlanksAroundOnly) {
    const QLocale c = QLocale::c();
    EXPECT_TRUE(isRegionalNumber(QStringLiteral("  60  "), c));
    EXPECT_TRUE(isRegionalNumber(QStringLiteral("-3"), c));
    EXPECT_TRUE(isRegionalNumber(QStringLiteral("1e3"), c));
    EXPECT_FALSE(isRegionalNumber(QStringLiteral("6 0"), c));
    EXPECT_FALSE(isRegionalNumber(QStringLiteral("12AB"), c));
    EXPECT_FALSE(isRegionalNumber(QStringLiteral("A12"), c));
    EXPECT_FALSE(isRegionalNumber(QString(), c));
    EXPECT_FALSE(isRegionalNumber(QStringLiteral("   "), c));
}

TEST(WholeNumberConversion, RoundsAHalfToTheEvenNeighbour) {
    EXPECT_EQ(toInt16(6.5), 6);
    EXPECT_EQ(toInt16(7.5), 8);
    EXPECT_EQ(toInt16(-2.5), -2);
    EXPECT_EQ(toInt16(-3.5), -4);
    EXPECT_EQ(toInt16(0.5), 0);
    EXPECT_EQ(toInt16(2.4999), 2);
    EXPECT_EQ(toInt16(2.5001), 3);
    EXPECT_EQ(roundHalfEven(100000.5), 100000);
    EXPECT_EQ(roundHalfEven(100001.5), 100002);
}

TEST(WholeNumberConversion, AcceptsTheWholeSixteenBitRangeAndNoMore) {
    EXPECT_EQ(toInt16(32767.0), 32767);
    EXPECT_EQ(toInt16(-32768.0), -32768);
    EXPECT_EQ(toInt16(32766.5), 32766);
    EXPECT_EQ(toInt16(-32768.5), -32768); // the half goes to the even neighbour, inside
    EXPECT_THROW(toInt16(32767.5), ConversionError);
    EXPECT_THROW(toInt16(-32769.0), ConversionError);
    EXPECT_THROW(toInt16(std::numeric_limits<double>::quiet_NaN()), ConversionError);
    EXPECT_THROW(toInt16(std::numeric_limits<double>::infinity()), ConversionError);
}

TEST(WholeNumberConversion, FailureNamesTheValueAndTheRange) {
    try {
        toInt16(40000.0);
        FAIL() << "40000 does not fit 16 bits";
    } catch (const ConversionError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("40000"))) << e.what();
        EXPECT_TRUE(e.description().contains(QStringLiteral("-32768"))) << e.what();
        EXPECT_TRUE(e.description().contains(QStringLiteral("32767"))) << e.what();
        EXPECT_EQ(QString::fromStdString(e.what()), e.description());
    }
    try {
        toInt16(QStringLiteral("12AB"), QLocale::c());
        FAIL() << "12AB is not a number";
    } catch (const ConversionError& e) {
        EXPECT_TRUE(e.description().contains(QStringLiteral("12AB"))) << e.what();
        EXPECT_TRUE(e.description().contains(QStringLiteral("32767"))) << e.what();
    }
}

TEST(WholeNumberConversion, ReadsTextUnderTheRegionalSettings) {
    EXPECT_EQ(toInt16(QStringLiteral(" 6,5 "), QLocale(QLocale::French)), 6);
    EXPECT_EQ(toInt16(QStringLiteral("7,5"), QLocale(QLocale::French)), 8);
    EXPECT_EQ(toInt16(QStringLiteral("7.5"), QLocale::c()), 8);
    EXPECT_EQ(toInt16(QStringLiteral("-2.5"), QLocale::c()), -2);
    EXPECT_EQ(toInt16(QStringLiteral("60"), QLocale::c()), 60);
    EXPECT_THROW(toInt16(QStringLiteral("7.5"), QLocale(QLocale::French)), ConversionError);
    EXPECT_THROW(toInt16(QStringLiteral("40000"), QLocale::c()), ConversionError);
    EXPECT_THROW(toInt16(QString(), QLocale::c()), ConversionError);
    EXPECT_THROW(toInt16(QStringLiteral("   "), QLocale::c()), ConversionError);
}

} // namespace
