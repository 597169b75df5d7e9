// Private-profile text: the rules a lookup follows, and where a write puts its value while every
// other byte stays, damaged files included. Files on disk are tested with the settings manager.
#include "settings/INIFunctions.h"

#include <gtest/gtest.h>

using namespace dialvane;

namespace {

// The value of a key in a file's bytes, or "<absent>"; an absent key must come back empty.
QByteArray iniRead(const QByteArray& file, const QByteArray& section, const QByteArray& key) {
    bool found = false;
    const QByteArray value = readProfileValue(file, section, key, &found);
    EXPECT_TRUE(found || value.isEmpty());
    return found ? value : QByteArray("<absent>");
}

// One file for the rules of a lookup; the table below names each rule's keys.
const QByteArray kRules =
    "orphan=0\r\n[Global]\r\nGUseIni=True\r\n[Caf\xE9]\r\nK=1\r\n[A]\r\na=1\r\n"
    "  [ B ]  \r\nb=2\r\n[C] ; trailing remark\r\nc=3\r\n"
    "[S]\r\n  spaced  =  value with  inner blanks \t \r\n"
    "url=a=b==c\r\nempty=\r\nblank=    \r\n\tindented=1\r\n"
    "quoted=\"  kept blanks  \"\r\ninner=\"a\"b\"\r\nopen=\"abc\r\n"
    "close=abc\"\r\npair=\"\"\r\nsingle=\"\r\nmiddle=a \"b\" c\r\n"
    ";commented=1\r\n   ;hidden=1\r\nloose\r\nafter=2\r\n"
    "k=first\r\nK=second\r\n[s]\r\nk=third\r\nonly=4\r\n";
const QByteArray kMixedEnds = "[S]\ra=1\nb=2\r\n\n\r[T]\rc=3";
const QByteArray kBom = "\xEF\xBB\xBF";
const QByteArray kUnclosed = "[A]\r\na=1\r\n[Broken\r\nb=2\r\n[B]\r\nc=3\r\n[\r\n[C\r\n";

// Every byte value twice, between a key and the next one of the same section.
const QByteArray kBinary = [] {
    QByteArray bytes;
    for (int b = 0; b < 512; ++b)
        bytes.append(static_cast<char>(b % 256));
    return "[A]\r\na=1\r\n" + bytes + "\r\nb=2\r\n";
}();

TEST(IniReading, FollowsTheLookupRules) {
    const struct {
        QByteArray file;
        QByteArray section;
        QByteArray key;
        QByteArray value; // "<absent>" when the key is not found
    } cases[] = {
        // Names match without regard to case, Latin-1 letters included.
        {kRules, "GLOBAL", "guseini", "True"},
        {kRules, "CAF\xC9", "k", "1"},
        {kRules, "Global", "GUseIn", "<absent>"},
        // Key and value are trimmed and only the first '=' splits.
        {kRules, "S", "spaced", "value with  inner blanks"},
        {kRules, "S", "url", "a=b==c"},
        {kRules, "S", "blank", ""},
        // A matching pair of double quotes is removed.
        {kRules, "S", "quoted", "  kept blanks  "},
        {kRules, "S", "inner", "a\"b"},
        {kRules, "S", "open", "\"abc"},
        {kRules, "S", "close", "abc\""},
        {kRules, "S", "pair", ""},
        {kRules, "S", "single", "\""},
        // Comments and lines without '=' are not keys, and do not end the section.
        {kRules, "S", ";hidden", "<absent>"},
        {kRules, "S", "after", "2"},
        // Keys belong to the section above them; lines before the first belong to none.
        {kRules, "", "orphan", "<absent>"},
        {kRules, "A", "orphan", "<absent>"},
        {kRules, "A", "b", "<absent>"},
        {kRules, "B", "b", "2"},
        {kRules, "C", "c", "3"},
        // The first matching section and the first matching key win.
        {kRules, "S", "k", "first"},
        {kRules, "s", "only", "<absent>"},
        // Every kind of line end, and none at the end of the file.
        {kMixedEnds, "S", "a", "1"},
        {kMixedEnds, "T", "c", "3"},
        // Values are cut to 2047 characters.
        {"[S]\r\nk=" + QByteArray(2047, 'y') + "tail", "S", "k", QByteArray(2047, 'y')},
        // A key after damaged lines still counts.
        {kBinary, "A", "b", "2"},
        // NUL bytes are ordinary bytes.
        {QByteArray("[A]\r\nn=x\0y\r\n", 12), "A", "n", QByteArray("x\0y", 3)},
        // A byte order mark is skipped at the start, and only there.
        {kBom + "[A]\r\na=1\r\n", "A", "a", "1"},
        {"[A]\r\n" + kBom + "a=1\r\n", "A", "a", "<absent>"},
        // A '[' without ']' is no header: the lines after it stay in the section above.
        {kUnclosed, "A", "b", "2"},
        {kUnclosed, "B", "c", "3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(iniRead(c.file, c.section, c.key), c.value);
    }
}

TEST(IniWriting, PutsTheValueInItsPlaceAndKeepsEveryOtherByte) {
    const QByteArray head = "; settings of the station\n\n  junk without equals \t\r[Path]\r\n"
                            ";BackroomPath=C:\\old\r\nUnknown = \"quoted\"  \r\nBackroomPath=";
    const QByteArray tail = "\r\n   \r\n[Global]\nGDelay=200\n\x01\x7F\xFF odd bytes";
    const struct {
        QByteArray before;
        const char* section;
        const char* key;
        const char* value;
        QByteArray after;
    } cases[] = {
        // An existing key keeps its spelling and place; only its own line gets CRLF.
        {"[Path]\r\nKey=old\r\nL=1\r\n", "PATH", "kEY", "new", "[Path]\r\nKey=new\r\nL=1\r\n"},
        {"[S]\r\n  Key = a \r\nKEY=b\r\n", "S", "key", "c", "[S]\r\nKey=c\r\nKEY=b\r\n"},
        {"[S]\na=1\nk=old\nb=2\n", "S", "k", "new", "[S]\na=1\nk=new\r\nb=2\n"},
        {head + "old" + tail, "Path", "BackroomPath", "/srv/", head + "/srv/" + tail},
        // A new key follows the last non-blank line of its section (a commented-out key is
        // not it), and a line without a line end gets one.
        {"[A]\r\na=1\r\n\r\n\r\n[B]\r\n", "a", "c", "3", "[A]\r\na=1\r\nc=3\r\n\r\n\r\n[B]\r\n"},
        {"[A]\r\n[B]\r\n", "A", "k", "v", "[A]\r\nk=v\r\n[B]\r\n"},
        {"[A]\r\na=1\r\n;remark\r\n\r\n", "A", "c", "3", "[A]\r\na=1\r\n;remark\r\nc=3\r\n\r\n"},
        {"[A]\r\na=1", "A", "c", "3", "[A]\r\na=1\r\nc=3\r\n"},
        {"[A]\na=1\n", "A", "c", "3", "[A]\na=1\nc=3\r\n"},
        {kUnclosed, "B", "d", "4", kUnclosed + "d=4\r\n"},
        {kBinary, "a", "B", "3", kBinary.chopped(3) + "3\r\n"},
        // A new section goes at the end of the file; a key above all sections is in none.
        {"", "Global", "GDelay", "200", "[Global]\r\nGDelay=200\r\n"},
        {"[A]\r\na=1", "B", "b", "2", "[A]\r\na=1\r\n[B]\r\nb=2\r\n"},
        {"k=0\r\n", "S", "k", "1", "k=0\r\n[S]\r\nk=1\r\n"},
        // A byte order mark stays first.
        {kBom + "[A]\r\na=1\r\n", "A", "b", "2", kBom + "[A]\r\na=1\r\nb=2\r\n"},
        // Line breaks in a value become spaces.
        {"", "S", "k", "a\r\nb\rc\nd", "[S]\r\nk=a  b c d\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(writeProfileValue(c.before, c.section, c.key, c.value), c.after);
    }
}

} // namespace
