// Files shared with other programs or damaged on disk: whatever they hold, reading and
// writing must not crash or hang, and the well-formed keys around the damage still count.
#include "settings/INIFunctions.h"

#include <gtest/gtest.h>

using namespace dialvane;

namespace {

QByteArray value(const QByteArray& file, const char* section, const char* key) {
    bool found = false;
    const QByteArray v = readProfileValue(file, section, key, &found);
    return found ? v : QByteArray("<absent>");
}

QByteArray allByteValues() {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    return all;
}

TEST(IniBadInput, BinaryBytesBetweenKeys) {
    const QByteArray junk = allByteValues();
    const QByteArray file = "[A]\r\na=1\r\n" + junk + junk + "\r\nb=2\r\n[B]\r\nc=3\r\n";
    EXPECT_EQ(value(file, "A", "a"), "1");
    EXPECT_EQ(value(file, "A", "b"), "2");
    EXPECT_EQ(value(file, "B", "c"), "3");
    const QByteArray out = writeProfileValue(file, "B", "c", "4");
    EXPECT_EQ(out, "[A]\r\na=1\r\n" + junk + junk + "\r\nb=2\r\n[B]\r\nc=4\r\n");
}

TEST(IniBadInput, NulBytes) {
    static const char raw[] = "[A]\r\na=1\r\n\0\0junk\0=\0\r\nb=2\r\nn=x\0y\r\n";
    const QByteArray file(raw, sizeof raw - 1);
    EXPECT_EQ(value(file, "A", "a"), "1");
    EXPECT_EQ(value(file, "A", "b"), "2");
    EXPECT_EQ(value(file, "A", "n"), QByteArray("x\0y", 3));
    const QByteArray out = writeProfileValue(file, "A", "c", "3");
    EXPECT_EQ(out, file + "c=3\r\n");
}

TEST(IniBadInput, AOneMegabyteLine) {
    const QByteArray huge(1 << 20, 'x');
    const QByteArray file = "[A]\r\na=1\r\n" + huge + "\r\nbig=" + huge + "\r\nb=2\r\n";
    EXPECT_EQ(value(file, "A", "a"), "1");
    EXPECT_EQ(value(file, "A", "b"), "2");
    EXPECT_EQ(value(file, "A", "big"), QByteArray(2047, 'x'));
    EXPECT_EQ(value(file, "A", huge.constData()), "<absent>");
    const QByteArray out = writeProfileValue(file, "A", "b", "3");
    EXPECT_EQ(out, "[A]\r\na=1\r\n" + huge + "\r\nbig=" + huge + "\r\nb=3\r\n");
}

TEST(IniBadInput, NoFinalLineEnd) {
    const QByteArray file = "[A]\r\na=1\r\nb=2";
    EXPECT_EQ(value(file, "A", "a"), "1");
    EXPECT_EQ(value(file, "A", "b"), "2");
    EXPECT_EQ(value("[A]", "A", "a"), "<absent>");
    EXPECT_EQ(writeProfileValue("[A]", "A", "a", "1"), "[A]\r\na=1\r\n");
}

TEST(IniBadInput, AByteOrderMarkBeforeTheFirstSection) {
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray file = bom + "[A]\r\na=1\r\n";
    EXPECT_EQ(value(file, "A", "a"), "1");
    // The existing section is found behind the mark, and the mark stays first.
    EXPECT_EQ(writeProfileValue(file, "A", "b", "2"), bom + "[A]\r\na=1\r\nb=2\r\n");
    EXPECT_EQ(writeProfileValue(bom, "A", "a", "1"), bom + "[A]\r\na=1\r\n");
    // A mark anywhere else is ordinary bytes.
    EXPECT_EQ(value("[A]\r\n" + bom + "a=1\r\nb=2\r\n", "A", "b"), "2");
}

TEST(IniBadInput, ASectionHeaderThatNeverCloses) {
    const QByteArray file = "[A]\r\na=1\r\n[Broken\r\nb=2\r\n[B]\r\nc=3\r\n[\r\n[C\r\n";
    EXPECT_EQ(value(file, "A", "a"), "1");
    EXPECT_EQ(value(file, "B", "c"), "3");
    EXPECT_EQ(value(file, "Broken", "b"), "<absent>");
    EXPECT_EQ(value(file, "C", "c"), "<absent>");
    const QByteArray out = writeProfileValue(file, "B", "d", "4");
    EXPECT_TRUE(out.startsWith(file)) << out.constData();
    EXPECT_EQ(value(out, "B", "d"), "4");
    EXPECT_EQ(value(out, "A", "a"), "1");
    EXPECT_EQ(writeProfileValue("[Open", "Open", "k", "v"), "[Open\r\n[Open]\r\nk=v\r\n");
}

TEST(IniBadInput, ManyEmptyAndHeaderOnlyLines) {
    QByteArray file;
    for (int i = 0; i < 20000; ++i)
        file += "[S" + QByteArray::number(i) + "]\r\n\r\n";
    file += "[Last]\r\nk=v\r\n";
    EXPECT_EQ(value(file, "Last", "k"), "v");
    EXPECT_EQ(value(file, "S19999", "k"), "<absent>");
    const QByteArray out = writeProfileValue(file, "S0", "k", "1");
    EXPECT_TRUE(out.startsWith("[S0]\r\nk=1\r\n\r\n[S1]\r\n"));
    EXPECT_EQ(out.size(), file.size() + 5);
}

} // namespace
