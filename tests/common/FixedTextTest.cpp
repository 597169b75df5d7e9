#include "common/FixedText.h"

#include <gtest/gtest.h>

using namespace dialvane;

namespace {

TEST(FixedWidthText, AssignLeftJustifiesAndPadsOrCuts) {
    EXPECT_EQ(assignFixed(QByteArray("123"), 6), QByteArray("123   "));
    EXPECT_EQ(assignFixed(QByteArray("1234567"), 6), QByteArray("123456"));
    EXPECT_EQ(assignFixed(QByteArray("123456"), 6), QByteArray("123456"));
    EXPECT_EQ(assignFixed(QByteArray(), 1), QByteArray(" "));
    EXPECT_EQ(assignFixed(QByteArray("S"), 0), QByteArray());
    // Leading blanks are part of the text, not trimmed.
    EXPECT_EQ(assignFixed(QByteArray(" 1"), 3), QByteArray(" 1 "));

    EXPECT_EQ(assignFixed(QStringLiteral("é"), 3), QStringLiteral("é  "));
    EXPECT_EQ(assignFixed(QStringLiteral("abcdef"), 2), QStringLiteral("ab"));
    EXPECT_EQ(assignFixed(QString(), 2), QStringLiteral("  "));
}

TEST(FixedWidthText, BlankMeansOnlySpaces) {
    EXPECT_TRUE(isBlank(QByteArray()));
    EXPECT_TRUE(isBlank(QByteArray("      ")));
    EXPECT_FALSE(isBlank(QByteArray("  1   ")));
    EXPECT_FALSE(isBlank(QByteArray("\t")));
    EXPECT_FALSE(isBlank(QByteArray(1, '\0')));

    EXPECT_TRUE(isBlank(QString()));
    EXPECT_TRUE(isBlank(assignFixed(QString(), 6)));
    EXPECT_FALSE(isBlank(QStringLiteral("     S")));
    EXPECT_FALSE(isBlank(QString(QChar(0x00A0))));
}

} // namespace
