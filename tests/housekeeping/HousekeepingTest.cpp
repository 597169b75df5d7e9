// Housekeeping on real folders: the purge of old transfer logs and the restaurant list with the
// dates of their travel path files. The files get chosen modification times in a scratch tree.
#include "housekeeping/Housekeeping.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#ifdef __linux__
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#endif

using namespace dialvane;
using namespace dialvane::test;
namespace fs = std::filesystem;

namespace {

class ScratchTree {
public:
    ScratchTree() { EXPECT_TRUE(dir_.isValid()); }

    fs::path path(const std::string& relative = {}) const {
        return fs::path(dir_.path().toStdString()) / relative;
    }
    // The folder as the station stores it: with the trailing separator.
    QString folder(const std::string& relative = {}) const {
        return QString::fromStdString((path(relative) / "").string());
    }

    void file(const std::string& relative, const QDateTime& modified = {}) const {
        fs::create_directories(path(relative).parent_path());
        std::ofstream(path(relative)) << "x";
        if (modified.isValid())
            fs::last_write_time(
                path(relative),
                std::chrono::file_clock::from_sys(std::chrono::sys_time<std::chrono::milliseconds>(
                    std::chrono::milliseconds(modified.toMSecsSinceEpoch()))));
    }
    void folderAt(const std::string& relative) const { fs::create_directories(path(relative)); }

    // Names directly in the tree, in the order the file system lists them.
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : fs::directory_iterator(path()))
            result.push_back(entry.path().filename().string());
        return result;
    }
    bool has(const std::string& relative) const {
        return fs::exists(fs::symlink_status(path(relative)));
    }

private:
    QTemporaryDir dir_;
};

std::string logName(const std::string& date, const std::string& rest = "-120000-000123.log") {
    return "Dialvane" + date + rest;
}

// The newest log that goes and the oldest that stays, both named by the date alone: month ends
// and leap days fall where the calendar puts them, and days to keep below one take today's too.
TEST(PurgeOldLogs, DeletesLogsDatedBeforeTheCutoffAndKeepsTheRest) {
    const struct {
        QDate today;
        std::int16_t keepDays;
        const char *lastDeleted, *firstKept;
    } cases[] = {{QDate(2023, 12, 5), 60, "20231005", "20231006"},
                 {QDate(2023, 12, 5), -5, "20231209", "20231210"},
                 {QDate(2024, 3, 1), 1, "20240228", "20240229"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.today.toString(Qt::ISODate).toStdString() + " keep " +
                     std::to_string(c.keepDays));
        ScratchTree tree;
        tree.file(logName(c.lastDeleted, "-235959-000123.log"));
        tree.file(logName(c.firstKept, "-000000-000123.log"));
        tree.file(logName("20991231"));
        PurgeOldLogs(tree.folder(), c.keepDays, c.today);
        EXPECT_FALSE(tree.has(logName(c.lastDeleted, "-235959-000123.log")));
        EXPECT_TRUE(tree.has(logName(c.firstKept, "-000000-000123.log")));
        EXPECT_TRUE(tree.has(logName("20991231")));
    }
}

// Cutoff text on 5 December 2023 with 60 days: Dialvane20231006; only the folder's own files.
TEST(PurgeOldLogs, JudgesFileNamesByCharacterCodeNotByDate) {
    ScratchTree tree;
    EXPECT_NO_THROW(PurgeOldLogs(tree.folder(), 60, QDate(2023, 12, 5))); // empty: no failure
    tree.folderAt(logName("20230103"));
    fs::create_symlink(tree.path("Dial.log"), tree.path(logName("20230102")));
    const std::vector<std::string> staying = {
        "Dialvane20230101-120000-000123.LOG", "Dialvane20230101-120000-000123.log.bak",
        "Dialvane20230101-120000-000123.txt", "Other20230101-120000-000123.log", "Dial.log",
        "Dialvane19991231-120000-000123.log", "dialvane20230101-120000-000123.log",
        ".Dialvane20230101.log",
        // the call journal is purged by months, not here
        "Dialvane-calls-202301.csv",
        // a folder and a link named like old logs, an old log one level down
        logName("20230103"), logName("20230102"), "archive/" + logName("20230101")};
    // Capitals sort before small letters and '.' before digits, so these count as old however
    // recent the date in them; "Dialvane" is matched case-blind and the rest of the name is free.
    const std::vector<std::string> going = {"DIALVANE20991231-120000-000123.log", "Dialvane20.log",
                                            "Dialvane20231005-000000-12    .log",
                                            "Dialvane20230101-\xff\xfe-000123.log",
                                            // wire traces go with the transfer logs
                                            "Dialvane20231005-235959-COM1.trace.log"};
    for (const auto& name : staying)
        if (!tree.has(name))
            tree.file(name);
    for (const auto& name : going)
        tree.file(name);
    PurgeOldLogs(tree.folder(), 60, QDate(2023, 12, 5));
    for (const auto& name : staying)
        EXPECT_TRUE(tree.has(name)) << name;
    for (const auto& name : going)
        EXPECT_FALSE(tree.has(name)) << name;
}

#ifdef __linux__
// An immutable file cannot be deleted, not even by root: the purge stops at it.
bool setImmutable(const fs::path& file, bool on) {
    const int fd = open(file.c_str(), O_RDONLY);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        close(fd);
    return done;
}

// The order in which the purge deletes: by inode number where the scan sorts by it.
std::vector<std::string> deletionOrder(const ScratchTree& tree) {
    std::vector<std::string> names = tree.names();
#ifdef DELETES_IN_INODE_ORDER
    const auto inode = [&](const std::string& name) {
        struct stat st;
        EXPECT_EQ(lstat(tree.path(name).c_str(), &st), 0);
        return st.st_ino;
    };
    std::sort(names.begin(), names.end(),
              [&](const auto& a, const auto& b) { return inode(a) < inode(b); });
#endif
    return names;
}

TEST(PurgeOldLogs, FirstUndeletableFileStopsThePurgeThere) {
    ScratchTree tree;
    // Enough files for the folder to be indexed, so that its listing is not in creation order.
    for (int day = 10; day < 30; ++day)
        for (int resto = 100; resto < 110; ++resto)
            tree.file(logName("202301" + std::to_string(day),
                              "-120000-000" + std::to_string(resto) + ".log"));
    const std::vector<std::string> order = deletionOrder(tree);
    const std::string stuck = order[order.size() / 2];
    if (!setImmutable(tree.path(stuck), true))
        GTEST_SKIP() << "this file system or user cannot make a file immutable";
    EXPECT_THAT(
        failureOf<HousekeepingError>([&] { PurgeOldLogs(tree.folder(), 60, QDate(2023, 12, 5)); }),
        HasSubstr(stuck));
    setImmutable(tree.path(stuck), false);
    for (std::size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(tree.has(order[i]), i >= order.size() / 2) << order[i];
}
#endif

const QLocale kUs(QLocale::English, QLocale::UnitedStates);
const QDateTime kStamp(QDate(2023, 12, 5), QTime(14, 5, 9));

// Six-digit folders holding trfbru1, linked or not, give rows in listing order, in whole seconds.
TEST(ListTravelPathDates, OnlySixDigitFoldersHoldingTrfbru1GiveARowInListingOrder) {
    ScratchTree tree;
    std::set<std::string> restaurants = {"555555"};
    for (int i = 0; i < 40; ++i) {
        restaurants.insert(std::to_string(100000 + 7 * i));
        tree.file(std::to_string(100000 + 7 * i) + "/trfbru1", kStamp.addSecs(i).addMSecs(700));
    }
    tree.file("elsewhere/trfbru1", kStamp);
    fs::create_symlink(tree.path("elsewhere"), tree.path("555555"));
    tree.file("100000/trfbru2", kStamp.addDays(3));
    tree.file("100000/trfinv1", kStamp.addDays(-3));
    fs::last_write_time(tree.path("100000"), fs::file_time_type::clock::now());
    tree.folderAt("000124");
    tree.file("000128/trfbru2");
    tree.folderAt("000129/trfbru1"); // a folder, not the file
    for (const std::string name :
         {"12345", "1234567", "ABCDEF", "1E+003", "+00123", "12.345", "00012 "})
        tree.file(name + "/trfbru1");
    tree.file("000125");
    fs::create_symlink(tree.path("gone"), tree.path("000126"));

    std::vector<std::string> expected, listed;
    for (const auto& name : tree.names())
        if (restaurants.count(name))
            expected.push_back(name);
    for (const auto& row : ListTravelPathDates(tree.folder(), kUs)) {
        listed.push_back(row.restonum.toStdString());
        const int i =
            row.restonum == QLatin1String("555555") ? 0 : (row.restonum.toInt() - 100000) / 7;
        EXPECT_EQ(row.modified, kStamp.addSecs(i)) << row.restonum.toStdString();
        EXPECT_EQ(row.timestamp, QString("12/5/23 2:05:%1 PM").arg(9 + i, 2, 10, QChar('0')));
    }
    EXPECT_EQ(listed, expected);
}

// Unreadable folders and entries fail, naming them, but a missing Backroom has no restaurants.
TEST(UnreadableFolders, FailNamingThemButAMissingBackroomHasNoRestaurants) {
    ScratchTree tree;
    tree.file("plain");
    for (const std::string bad : {"missing", "plain"})
        EXPECT_THAT(failureOf<HousekeepingError>(
                        [&] { PurgeOldLogs(tree.folder(bad), 60, QDate(2023, 12, 5)); }),
                    HasSubstr(tree.folder(bad).toStdString()));
    for (const std::string folder : {"", "missing", "missing/deeper", "plain"})
        EXPECT_TRUE(ListTravelPathDates(tree.folder(folder)).empty()) << folder;
    tree.folderAt("backroom/000123");
    fs::create_symlink(tree.path("loop"), tree.path("loop")); // resolving it never ends
    fs::create_symlink(tree.path("backroom/000127"), tree.path("backroom/000127"));
    const std::pair<std::string, std::string> cases[] = {{"loop", "loop"}, {"backroom", "000127"}};
    for (const auto& c : cases)
        EXPECT_THAT(
            failureOf<HousekeepingError>([&] { ListTravelPathDates(tree.folder(c.first)); }),
            HasSubstr(c.second));
}

TEST(FormatTravelPathTime, ShortDateThenTimeWithSecondsAndNoZone) {
    const QDate day(2023, 12, 5);
    EXPECT_EQ(formatTravelPathTime(QDateTime(day, QTime(0, 0)), kUs), QStringLiteral("12/5/23"));
    EXPECT_EQ(formatTravelPathTime(QDateTime(day, QTime(0, 0, 1)), kUs),
              QStringLiteral("12/5/23 12:00:01 AM"));
    EXPECT_EQ(formatTravelPathTime(kStamp, QLocale(QLocale::Persian, QLocale::Iran)),
              QLocale(QLocale::Persian, QLocale::Iran).toString(kStamp, "yyyy/M/d H:mm:ss"));
    EXPECT_EQ(formatTravelPathTime(kStamp, QLocale(QLocale::French, QLocale::Canada)),
              QStringLiteral("2023-12-05 14 h 05 min 09 s"));
}

} // namespace
