#include "settings/INIFunctions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace dialvane;

namespace {

// The value of a key in a file's bytes, or nothing when the key is absent.
std::optional<QByteArray> read(const QByteArray& file, const char* section, const char* key) {
    bool found = false;
    const QByteArray value = readProfileValue(file, section, key, &found);
    if (!found) {
        EXPECT_TRUE(value.isEmpty());
        return std::nullopt;
    }
    return value;
}

TEST(IniReading, NamesMatchWithoutRegardToCase) {
    const QByteArray file = "[Global]\r\nGUseIni=True\r\n[Caf\xE9]\r\nK=1\r\n";
    EXPECT_EQ(read(file, "GLOBAL", "guseini"), "True");
    EXPECT_EQ(read(file, "global", "GUSEINI"), "True");
    EXPECT_EQ(read(file, "CAF\xC9", "k"), "1"); // Latin-1 letters fold too
    EXPECT_EQ(read(file, "Global", "GUseIn"), std::nullopt);
}

TEST(IniReading, KeyAndValueAreTrimmedAndOnlyTheFirstEqualsSplits) {
    const QByteArray file = "[S]\r\n"
                            "  spaced  =  value with  inner blanks \t \r\n"
                            "url=a=b==c\r\n"
                            "empty=\r\n"
                            "blank=    \r\n"
                            "\tindented=1\r\n";
    EXPECT_EQ(read(file, "S", "spaced"), "value with  inner blanks");
    EXPECT_EQ(read(file, "S", "url"), "a=b==c");
    EXPECT_EQ(read(file, "S", "empty"), "");
    EXPECT_EQ(read(file, "S", "blank"), "");
    EXPECT_EQ(read(file, "S", "indented"), "1");
}

TEST(IniReading, AMatchingPairOfDoubleQuotesIsRemoved) {
    const QByteArray file = "[S]\r\n"
                            "quoted=\"  kept blanks  \"\r\n"
                            "inner=\"a\"b\"\r\n"
                            "open=\"abc\r\n"
                            "close=abc\"\r\n"
                            "pair=\"\"\r\n"
                            "single=\"\r\n"
                            "middle=a \"b\" c\r\n";
    EXPECT_EQ(read(file, "S", "quoted"), "  kept blanks  ");
    EXPECT_EQ(read(file, "S", "inner"), "a\"b");
    EXPECT_EQ(read(file, "S", "open"), "\"abc");
    EXPECT_EQ(read(file, "S", "close"), "abc\"");
    EXPECT_EQ(read(file, "S", "pair"), "");
    EXPECT_EQ(read(file, "S", "single"), "\"");
    EXPECT_EQ(read(file, "S", "middle"), "a \"b\" c");
}

TEST(IniReading, CommentsAndLinesWithoutEqualsAreNotKeys) {
    const QByteArray file = "[S]\r\n"
                            ";commented=1\r\n"
                            "   ;indented=1\r\n"
                            "loose\r\n"
                            "after=2\r\n";
    EXPECT_EQ(read(file, "S", ";commented"), std::nullopt);
    EXPECT_EQ(read(file, "S", "commented"), std::nullopt);
    EXPECT_EQ(read(file, "S", "indented"), std::nullopt);
    EXPECT_EQ(read(file, "S", "loose"), std::nullopt);
    EXPECT_EQ(read(file, "S", "after"), "2");
}

TEST(IniReading, KeysBelongToTheSectionAboveThem) {
    const QByteArray file = "orphan=0\r\n"
                            "[A]\r\n"
                            "a=1\r\n"
                            "  [ B ]  \r\n"
                            "b=2\r\n"
                            "[C] ; trailing remark\r\n"
                            "c=3\r\n";
    EXPECT_EQ(read(file, "", "orphan"), std::nullopt);
    EXPECT_EQ(read(file, "A", "orphan"), std::nullopt);
    EXPECT_EQ(read(file, "A", "a"), "1");
    EXPECT_EQ(read(file, "A", "b"), std::nullopt);
    EXPECT_EQ(read(file, "B", "b"), "2");
    EXPECT_EQ(read(file, "B", "a"), std::nullopt);
    EXPECT_EQ(read(file, "C", "c"), "3");
    EXPECT_EQ(read(file, "D", "a"), std::nullopt);
}

TEST(IniReading, TheFirstMatchingSectionAndKeyWin) {
    const QByteArray file = "[S]\r\nk=first\r\nK=second\r\n[s]\r\nk=third\r\n";
    EXPECT_EQ(read(file, "S", "k"), "first");
}

TEST(IniReading, ReadsEveryKindOfLineEnd) {
    EXPECT_EQ(read("[S]\r\na=1\r\nb=2\r\n", "S", "b"), "2");
    EXPECT_EQ(read("[S]\na=1\nb=2\n", "S", "b"), "2");
    EXPECT_EQ(read("[S]\ra=1\rb=2\r", "S", "b"), "2");
    const QByteArray mixed = "[S]\ra=1\nb=2\r\n\n\r[T]\rc=3";
    EXPECT_EQ(read(mixed, "S", "a"), "1");
    EXPECT_EQ(read(mixed, "S", "b"), "2");
    EXPECT_EQ(read(mixed, "T", "c"), "3");
    EXPECT_EQ(read(mixed, "S", "c"), std::nullopt);
}

TEST(IniReading, ValuesAreCutToTwoThousandFortySevenCharacters) {
    const QByteArray exact(2047, 'x');
    const QByteArray longer = QByteArray(2047, 'y') + "tail";
    const QByteArray file = "[S]\r\nexact=" + exact + "\r\nlonger=" + longer + "\r\n";
    EXPECT_EQ(read(file, "S", "exact"), exact);
    EXPECT_EQ(read(file, "S", "longer"), QByteArray(2047, 'y'));
}

class IniFileReading : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
};

TEST_F(IniFileReading, GivesTheDefaultForAMissingFileSectionOrKey) {
    QFile f(path("s.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[S]\r\nk=v\r\n");
    f.close();
    const QString def = QStringLiteral("dflt");
    EXPECT_EQ(GetPrivateProfileString("S", "k", def, path("s.ini")), QStringLiteral("v"));
    EXPECT_EQ(GetPrivateProfileString("S", "x", def, path("s.ini")), def);
    EXPECT_EQ(GetPrivateProfileString("T", "k", def, path("s.ini")), def);
    EXPECT_EQ(GetPrivateProfileString("S", "k", def, path("none.ini")), def);
    EXPECT_EQ(GetPrivateProfileString("S", "k", def, dir.path()), def); // a folder, not a file
    // The default passes through the same read buffer as a stored value.
    EXPECT_EQ(GetPrivateProfileString("S", "x", QString(3000, QLatin1Char('d')), path("s.ini")),
              QString(2047, QLatin1Char('d')));
}

TEST_F(IniFileReading, ConvertsEightBitNamesAndValues) {
    QFile f(path("s.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Fran\xE7"
            "ais]\r\nCl\xE9=Ferm\xE9\r\n");
    f.close();
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("FRANÇAIS"), QStringLiteral("clé"), {},
                                      path("s.ini")),
              QStringLiteral("Fermé"));
}

TEST_F(IniFileReading, ABareFileNameIsResolvedInTheCurrentFolder) {
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    QFile f(path("bare.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[S]\r\nk=here\r\n");
    f.close();
    const QString value = GetPrivateProfileString("S", "k", {}, QStringLiteral("bare.ini"));
    QDir::setCurrent(before);
    EXPECT_EQ(value, QStringLiteral("here"));
}

} // namespace
