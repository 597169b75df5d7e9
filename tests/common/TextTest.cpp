// Eight-bit text, fixed-width fields and folder strings.
#include "common/EightBitText.h"
#include "common/FixedText.h"
#include "common/Paths.h"

#include <gtest/gtest.h>

using namespace dialvane;

namespace {

TEST(EightBitText, EveryByteSurvivesTheRoundTripAndOtherCharactersBecomeQuestionMarks) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = fromEightBit(all);
    EXPECT_EQ(text.size(), 256);
    EXPECT_EQ(toEightBit(text), all);
    EXPECT_EQ(fromEightBit(QByteArray("Caf\xE9")), QStringLiteral("Café"));
    EXPECT_EQ(toEightBit(QStringLiteral("5 €")), QByteArray("5 ?"));
    EXPECT_EQ(toEightBit(QStringLiteral("a\u4E2Db")), QByteArray("a?b"));
}

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
    for (const QByteArray& text : {QByteArray(), QByteArray("      ")})
        EXPECT_TRUE(isBlank(text)) << text.size();
    for (const QByteArray& text : {QByteArray("  1   "), QByteArray("\t"), QByteArray(1, '\0')})
        EXPECT_FALSE(isBlank(text)) << text.toStdString();
    EXPECT_TRUE(isBlank(QString()));
    EXPECT_TRUE(isBlank(assignFixed(QString(), 6)));
    EXPECT_FALSE(isBlank(QStringLiteral("     S")));
    EXPECT_FALSE(isBlank(QString(QChar(0x00A0))));
}

TEST(Folders, EndWithTheSeparatorAndShorterTextsAreNoFolderButTheRoot) {
    const std::pair<const char*, const char*> normalised[] = {
        {"/srv/data", "/srv/data/"}, {"/srv/data/", "/srv/data/"}, {"", "/"}, {"C:\\", "C:\\/"}};
    for (const auto& [folder, result] : normalised)
        EXPECT_EQ(withTrailingSeparator(QString::fromLatin1(folder)), QString::fromLatin1(result))
            << folder;
    const std::pair<const char*, const char*> added[] = {{"ab", "ab/"},
                                                         {"ab/", "ab/"},
                                                         {"/srv/b", "/srv/b/"},
                                                         {"/srv/b//", "/srv/b//"},
                                                         {"", ""},
                                                         {"a", ""},
                                                         {" ", ""},
                                                         {"/", "/"}};
    for (const auto& [path, result] : added)
        EXPECT_EQ(AddBackslash(QString::fromLatin1(path)), QString::fromLatin1(result)) << path;
}

} // namespace
