#include "settings/INIFunctions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace dialvane;

namespace {

QByteArray write(const QByteArray& file, const char* section, const char* key, const char* value) {
    return writeProfileValue(file, section, key, value);
}

TEST(IniWriting, ReplacesAnExistingValueInPlaceKeepingTheKeySpelling) {
    EXPECT_EQ(write("[Path]\r\nBackroomPath=old\r\nLogPath=L\r\n", "PATH", "backroompath", "new"),
              "[Path]\r\nBackroomPath=new\r\nLogPath=L\r\n");
    // Only the first of two spellings of the key is rewritten.
    EXPECT_EQ(write("[S]\r\n  Key = a \r\nKEY=b\r\n", "S", "key", "c"),
              "[S]\r\nKey=c\r\nKEY=b\r\n");
    // The rewritten line ends with CRLF; the lines around it keep theirs.
    EXPECT_EQ(write("[S]\na=1\nk=old\nb=2\n", "S", "k", "new"), "[S]\na=1\nk=new\r\nb=2\n");
    EXPECT_EQ(write("[S]\r\nk=old", "S", "k", ""), "[S]\r\nk=\r\n");
}

TEST(IniWriting, AppendsANewKeyAtTheEndOfItsSectionBeforeTrailingBlankLines) {
    EXPECT_EQ(write("[A]\r\na=1\r\n\r\n\r\n[B]\r\nb=2\r\n", "a", "c", "3"),
              "[A]\r\na=1\r\nc=3\r\n\r\n\r\n[B]\r\nb=2\r\n");
    EXPECT_EQ(write("[A]\r\n[B]\r\n", "A", "k", "v"), "[A]\r\nk=v\r\n[B]\r\n");
    EXPECT_EQ(write("[A]\r\na=1\r\n;remark\r\n\r\n", "A", "c", "3"),
              "[A]\r\na=1\r\n;remark\r\nc=3\r\n\r\n");
    // A commented-out key is left alone and a live one added.
    EXPECT_EQ(write("[A]\r\n;k=1\r\n", "A", "k", "2"), "[A]\r\n;k=1\r\nk=2\r\n");
    // The last line gets a line end before the new key follows it.
    EXPECT_EQ(write("[A]\r\na=1", "A", "c", "3"), "[A]\r\na=1\r\nc=3\r\n");
    EXPECT_EQ(write("[A]\na=1\n", "A", "c", "3"), "[A]\na=1\nc=3\r\n");
}

TEST(IniWriting, AppendsANewSectionAtTheEndOfTheFile) {
    EXPECT_EQ(write("", "Global", "GDelay", "200"), "[Global]\r\nGDelay=200\r\n");
    EXPECT_EQ(write("[A]\r\na=1\r\n", "B", "b", "2"), "[A]\r\na=1\r\n[B]\r\nb=2\r\n");
    EXPECT_EQ(write("[A]\r\na=1", "B", "b", "2"), "[A]\r\na=1\r\n[B]\r\nb=2\r\n");
    EXPECT_EQ(write("[A]\r\na=1\r\n\r\n", "B", "b", "2"), "[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n");
    // A key before any section does not make a section of its own.
    EXPECT_EQ(write("k=0\r\n", "S", "k", "1"), "k=0\r\n[S]\r\nk=1\r\n");
}

TEST(IniWriting, KeepsEveryOtherLineByteForByte) {
    const QByteArray head = "; settings of the station\n"
                            "\n"
                            "  junk without equals \t\r"
                            "[Path]\r\n"
                            ";BackroomPath=C:\\old\r\n"
                            "Unknown = \"quoted\"  \r\n"
                            "BackroomPath=";
    const QByteArray tail = "\r\n"
                            "   \r\n"
                            "[Global]\n"
                            "GDelay=200\n"
                            "\x01\x7F\xFF odd bytes";
    const QByteArray out = write(head + "old" + tail, "Path", "BackroomPath", "/srv/backroom/");
    EXPECT_EQ(out, head + "/srv/backroom/" + tail);
}

TEST(IniWriting, LineBreaksInAValueBecomeSpaces) {
    EXPECT_EQ(write("", "S", "k", "a\r\nb\rc\nd"), "[S]\r\nk=a  b c d\r\n");
}

TEST(IniWriting, AValueWrittenIsReadBack) {
    QByteArray file = write("", "S", "k", "first");
    file = write(file, "S", "k", "second");
    file = write(file, "S", "other", "x");
    bool found = false;
    EXPECT_EQ(readProfileValue(file, "s", "K", &found), "second");
    EXPECT_TRUE(found);
    EXPECT_EQ(file, "[S]\r\nk=second\r\nother=x\r\n");
}

class IniFileWriting : public ::testing::Test {
protected:
    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QByteArray bytes(const char* name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QTemporaryDir dir;
};

TEST_F(IniFileWriting, CreatesAMissingFileAndUpdatesItInPlace) {
    EXPECT_TRUE(WritePrivateProfileString("Global", "GDelay", "200", path("Dialvane.ini")));
    EXPECT_EQ(bytes("Dialvane.ini"), "[Global]\r\nGDelay=200\r\n");
    EXPECT_TRUE(WritePrivateProfileString("Path", "LogPath", "/var/log/", path("Dialvane.ini")));
    EXPECT_TRUE(WritePrivateProfileString("global", "gdelay", "300", path("Dialvane.ini")));
    EXPECT_EQ(bytes("Dialvane.ini"), "[Global]\r\nGDelay=300\r\n[Path]\r\nLogPath=/var/log/\r\n");
    // The new file replaced the old one whole: nothing is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("Dialvane.ini")});
}

TEST_F(IniFileWriting, WritesNamesAndValuesAsEightBitText) {
    EXPECT_TRUE(WritePrivateProfileString(QStringLiteral("Fermé"), QStringLiteral("Clé"),
                                          QStringLiteral("Café 5 €"), path("e.ini")));
    EXPECT_EQ(bytes("e.ini"), "[Ferm\xE9]\r\nCl\xE9=Caf\xE9 5 ?\r\n");
    EXPECT_EQ(
        GetPrivateProfileString(QStringLiteral("FERMÉ"), QStringLiteral("clé"), {}, path("e.ini")),
        QStringLiteral("Café 5 ?"));
}

TEST_F(IniFileWriting, AWriteThatCannotBeMadeIsLostWithoutHarm) {
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", path("missing/folder/x.ini")));
    EXPECT_FALSE(QFileInfo::exists(path("missing")));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("adir.ini")));
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", path("adir.ini")));
    EXPECT_TRUE(QFileInfo(path("adir.ini")).isDir());
}

TEST_F(IniFileWriting, AStoredValueOfThreeThousandCharactersReadsBackCut) {
    const QString value(3000, QLatin1Char('v'));
    ASSERT_TRUE(WritePrivateProfileString("S", "k", value, path("long.ini")));
    EXPECT_EQ(bytes("long.ini").size(), qsizetype(sizeof("[S]\r\nk=\r\n") - 1 + 3000));
    EXPECT_EQ(GetPrivateProfileString("S", "k", {}, path("long.ini")), value.left(2047));
}

} // namespace
