#include "HousekeepingTestSupport.h"
#include "housekeeping/Housekeeping.h"

using dialvane::formatTravelPathTime;
using dialvane::HousekeepingError;
using dialvane::ListTravelPathDates;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QDateTime kStamp(QDate(2023, 12, 5), QTime(14, 5, 9));

TEST(ListTravelPathDates, OnlySixDigitFoldersHoldingTrfbru1GiveARow) {
    ScratchTree tree;
    tree.file("000123/trfbru1", kStamp.addMSecs(700)); // whole seconds are shown
    tree.file("000123/trfbru2", kStamp.addDays(3));
    tree.file("000123/trfinv1", kStamp.addDays(-3));
    fs::last_write_time(tree.path("000123"), fs::file_time_type::clock::now());
    tree.folderAt("000124");
    tree.file("000128/trfbru2");
    tree.folderAt("000129/trfbru1"); // a folder, not the file
    for (const std::string name :
         {"12345", "1234567", "ABCDEF", "1E+003", "+00123", "12.345", "00012 "})
        tree.file(name + "/trfbru1");
    tree.file("000125");
    fs::create_symlink(tree.path("gone"), tree.path("000126"));

    const auto rows = ListTravelPathDates(tree.folder(), kUs);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].restonum, QStringLiteral("000123"));
    EXPECT_EQ(rows[0].modified, kStamp);
    EXPECT_EQ(rows[0].timestamp, QStringLiteral("12/5/23 2:05:09 PM"));
}

TEST(ListTravelPathDates, RowsFollowTheFolderListingAndLinkedFolders) {
    ScratchTree tree;
    for (int i = 0; i < 40; ++i)
        tree.file(QStringLiteral("%1/trfbru1").arg(100000 + 7 * i).toStdString(),
                  kStamp.addSecs(i));
    tree.file("elsewhere/trfbru1", kStamp);
    fs::create_symlink(tree.path("elsewhere"), tree.path("555555"));

    std::vector<QString> expected;
    for (const auto& name : tree.names())
        if (name != "elsewhere")
            expected.push_back(QString::fromStdString(name));
    std::vector<QString> listed;
    for (const auto& row : ListTravelPathDates(tree.folder(), kUs)) {
        listed.push_back(row.restonum);
        const int i =
            row.restonum == QLatin1String("555555") ? 0 : (row.restonum.toInt() - 100000) / 7;
        EXPECT_EQ(row.modified, kStamp.addSecs(i)) << row.restonum.toStdString();
    }
    EXPECT_EQ(listed, expected);
}

TEST(ListTravelPathDates, EmptyOrMissingBackroomGivesNoRows) {
    ScratchTree tree;
    tree.file("plain");
    for (const std::string folder : {"", "missing", "missing/deeper", "plain"})
        EXPECT_TRUE(ListTravelPathDates(tree.folder(folder)).empty()) << folder;
}

TEST(ListTravelPathDates, UnreadableEntryFailsNamingIt) {
    ScratchTree tree;
    tree.folderAt("backroom/000123");
    fs::create_symlink(tree.path("loop"), tree.path("loop")); // resolving it never ends
    fs::create_symlink(tree.path("backroom/000127"), tree.path("backroom/000127"));
    const std::pair<std::string, QString> cases[] = {{"loop", "loop"}, {"backroom", "000127"}};
    for (const auto& [where, named] : cases) {
        try {
            ListTravelPathDates(tree.folder(where));
            ADD_FAILURE() << "no failure in " << where;
        } catch (const HousekeepingError& error) {
            EXPECT_TRUE(error.description().contains(named)) << error.what();
        }
    }
}

TEST(FormatTravelPathTime, ShortDateThenTimeWithSecondsAndNoZone) {
    const QDate day(2023, 12, 5);
    EXPECT_EQ(formatTravelPathTime(QDateTime(day, QTime(0, 0)), kUs), QStringLiteral("12/5/23"));
    EXPECT_EQ(formatTravelPathTime(QDateTime(day, QTime(0, 0, 1)), kUs),
              QStringLiteral("12/5/23 12:00:01 AM"));
    EXPECT_EQ(formatTravelPathTime(kStamp, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("05.12.23 14:05:09"));
    EXPECT_EQ(formatTravelPathTime(kStamp, QLocale(QLocale::Chinese, QLocale::China)),
              QStringLiteral("2023/12/5 14:05:09"));
    EXPECT_EQ(formatTravelPathTime(kStamp, QLocale(QLocale::Persian, QLocale::Iran)),
              QLocale(QLocale::Persian, QLocale::Iran).toString(kStamp, "yyyy/M/d H:mm:ss"));
    EXPECT_EQ(formatTravelPathTime(kStamp, QLocale(QLocale::French, QLocale::Canada)),
              QStringLiteral("2023-12-05 14 h 05 min 09 s"));
}

} // namespace
