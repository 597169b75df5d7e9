// Numbers, escaped text, fixed-width fields and folder strings.
#include "common/EightBitText.h"
#include "common/FixedText.h"
#include "common/Numbers.h"
#include "common/PasswordHash.h"
#include "common/Paths.h"
#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace dialvane;
using namespace dialvane::test;

namespace {

// Fields padded with blanks and stray characters never fail the lenient reading, and a comma is
// never a decimal mark here, whatever the regional settings.
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

// Text is read under the regional settings; a failure names the value and the range.
TEST(WholeNumberConversion, ReadsTextUnderTheRegionalSettings) {
    const QLocale french(QLocale::French), c = QLocale::c();
    EXPECT_EQ(toInt16(QStringLiteral(" 6,5 "), french), 6);
    EXPECT_EQ(toInt16(QStringLiteral("7,5"), french), 8);
    EXPECT_EQ(toInt16(QStringLiteral("7.5"), c), 8);
    EXPECT_THROW(toInt16(QStringLiteral("7.5"), french), ConversionError);
    for (const char* text : {"40000", "", "   "})
        EXPECT_THROW(toInt16(QString::fromLatin1(text), c), ConversionError) << text;
    const std::string failure =
        failureOf<ConversionError>([&] { toInt16(QStringLiteral("12AB"), c); });
    for (const char* named : {"12AB", "-32768", "32767"})
        EXPECT_THAT(failure, HasSubstr(named));
}

// The one escaping every journal cell, log line and window text goes through: exactly the C0
// and C1 controls and the two Unicode separators, nothing a name or a path needs.
TEST(EightBitText, EscapingTakesEveryControlAndTheSeparatorsAndNothingElse) {
    const struct {
        char16_t from, to;
        bool escaped;
    } ranges[] = {{0x0000, 0x001F, true},  {0x0020, 0x007E, false}, {0x007F, 0x009F, true},
                  {0x00A0, 0x2027, false}, {0x2028, 0x2029, true},  {0x202A, 0xFFFF, false}};
    for (const auto& r : ranges)
        for (char32_t c = r.from; c <= r.to; ++c) {
            const QString text(QChar(static_cast<char16_t>(c)));
            const QString expected =
                !r.escaped ? text
                : c > 0xFF ? QStringLiteral("\\u%1").arg(static_cast<uint>(c), 4, 16)
                           : QStringLiteral("\\x%1").arg(static_cast<uint>(c), 2, 16, QChar('0'));
            ASSERT_EQ(escapeControls(text), expected) << static_cast<uint>(c);
        }
    EXPECT_EQ(escapeControls(QStringLiteral("C:\\Backroom\\caf\u00e9\r\n")),
              QStringLiteral("C:\\Backroom\\caf\u00e9\\x0d\\x0a"));
}

TEST(FixedWidthText, AssignLeftJustifiesAndPadsOrCutsAndBlankMeansOnlySpaces) {
    EXPECT_EQ(assignFixed(QByteArray("123"), 6), QByteArray("123   "));
    EXPECT_EQ(assignFixed(QByteArray("1234567"), 6), QByteArray("123456"));
    EXPECT_EQ(assignFixed(QByteArray(), 1), QByteArray(" "));
    EXPECT_EQ(assignFixed(QByteArray(" 1"), 3), QByteArray(" 1 ")); // leading blanks are text
    for (const QByteArray& text : {QByteArray(), QByteArray("      ")})
        EXPECT_TRUE(isBlank(text)) << text.size();
    for (const QByteArray& text : {QByteArray("  1   "), QByteArray("\t"), QByteArray(1, '\0')})
        EXPECT_FALSE(isBlank(text)) << text.toStdString();
}

TEST(Folders, EndWithTheSeparatorAndShorterTextsAreNoFolderButTheRoot) {
    const std::pair<const char*, const char*> normalised[] = {
        {"/srv/data", "/srv/data/"}, {"/srv/data/", "/srv/data/"}, {"", "/"}, {"C:\\", "C:\\/"}};
    for (const auto& [folder, result] : normalised)
        EXPECT_EQ(withTrailingSeparator(QString::fromLatin1(folder)), QString::fromLatin1(result))
            << folder;
    const std::pair<const char*, const char*> added[] = {
        {"ab", "ab/"}, {"ab/", "ab/"}, {"/srv/b", "/srv/b/"}, {"/srv/b//", "/srv/b//"}, {"", ""},
        {"a", ""},     {"/", "/"}};
    for (const auto& [path, result] : added)
        EXPECT_EQ(AddBackslash(QString::fromLatin1(path)), QString::fromLatin1(result)) << path;
}

// A stored password the station cannot use is refused with its reason, which the start-up says;
// none is derived from, not even one whose rounds would keep the unlock busy for hours.
TEST(StoredPassword, ATextThatCannotBeUsedIsRefusedWithItsReason) {
    const QString salt = QByteArray(16, 's').toBase64(), key = QByteArray(32, 'k').toBase64();
    const auto text = [&](const char* rounds, const QString& salt, const QString& key) {
        return QStringLiteral("pbkdf2-sha256$%1$%2$%3").arg(rounds, salt, key);
    };
    const std::pair<QString, const char*> cases[] = {
        {" " + text("600000", salt, key) + "\n", ""}, // blanks around it are not part of it
        {text("10000001", salt, key), "iterations"},
        {text("600000", salt.left(8) + '!' + salt.mid(8), key), "salt"},
        {text("600000", QByteArray(15, 's').toBase64(), key), "salt"},
        {text("600000", salt, QByteArray(31, 'k').toBase64()), "hash"},
    };
    for (const auto& [stored, refusal] : cases) {
        QString why;
        EXPECT_EQ(PasswordHash::parse(stored, &why).has_value(), !*refusal) << stored.toStdString();
        EXPECT_TRUE(why.contains(QLatin1String(refusal))) << why.toStdString();
    }
}

} // namespace
