// Lays out a station's folders at scale and times one run of the housekeeping on them.
//
//   housekeeping_bench make-logs DIR           100,000 files: 40,000 logs older than the cutoff
//                                              of 30 June 2024 with 60 days, 40,000 newer logs,
//                                              20,000 files of other programs
//   housekeeping_bench make-backroom DIR       10,000 restaurant folders, every other one
//                                              holding trfbru1
//   housekeeping_bench purge DIR               PurgeOldLogs(DIR, 60, 30 June 2024)
//   housekeeping_bench list DIR                ListTravelPathDates(DIR)
//
// Every file's modification time is the date and time in its name, so that a find by time
// over a copy selects the same logs as the purge does by name.

#include "housekeeping/Housekeeping.h"

#include <QDateTime>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const QDate kToday(2024, 6, 30);
constexpr std::int16_t kKeepDays = 60; // cutoff date: 1 May 2024

void makeFile(const fs::path& path, const QDateTime& modified) {
    std::ofstream(path) << "20240101,000123,1,OK\n";
    const auto since = std::chrono::seconds(modified.toSecsSinceEpoch());
    fs::last_write_time(path, std::chrono::file_clock::from_sys(std::chrono::sys_seconds(since)));
}

// Spreads `count` times evenly over [from, from + days), never at midnight.
QDateTime spread(const QDate& from, int days, int i, int count) {
    const qint64 seconds = qint64(days) * 86400 * i / count;
    return QDateTime(from, QTime(0, 0, 1)).addSecs(seconds);
}

std::string logName(const QDateTime& when, int resto) {
    return "Dialvane" + when.toString(QStringLiteral("yyyyMMdd-hhmmss-")).toStdString() +
           QStringLiteral("%1").arg(resto, 6, 10, QLatin1Char('0')).toStdString() + ".log";
}

void makeLogs(const fs::path& dir) {
    fs::create_directories(dir);
    const QDate cutoff = kToday.addDays(-kKeepDays);
    for (int i = 0; i < 40000; ++i) { // 1 May 2023 to 30 April 2024
        const QDateTime when = spread(cutoff.addYears(-1), 366, i, 40000);
        makeFile(dir / logName(when, i % 10000), when);
    }
    for (int i = 0; i < 40000; ++i) { // 1 May to 30 June 2024
        const QDateTime when = spread(cutoff, int(cutoff.daysTo(kToday)) + 1, i, 40000);
        makeFile(dir / logName(when, i % 10000), when);
    }
    for (int i = 0; i < 20000; ++i) { // other programs' files, as old as the oldest logs
        const QDateTime when = spread(cutoff.addYears(-1), 366, i, 20000);
        const std::string stamp = when.toString(QStringLiteral("yyyyMMdd-hhmmss")).toStdString();
        const char* forms[] = {"Backup", "Stockwell", "Dialvane"};
        const char* endings[] = {".log", ".txt", ".log.bak"};
        makeFile(dir / (forms[i % 3] + stamp + "-" + std::to_string(i) + endings[i % 3]), when);
    }
}

void makeBackroom(const fs::path& dir) {
    for (int i = 0; i < 10000; ++i) {
        const fs::path resto = dir / QStringLiteral("%1").arg(100000 + i).toStdString();
        fs::create_directories(resto);
        makeFile(resto / "trfloc", QDateTime(kToday, QTime(9, 0)));
        if (i % 2 == 0)
            makeFile(resto / "trfbru1", spread(kToday.addDays(-30), 30, i, 10000));
    }
}

template <typename Run> double timed(Run run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s make-logs|make-backroom|purge|list DIR\n", argv[0]);
        return 2;
    }
    const std::string command = argv[1];
    const QString dir = QString::fromLocal8Bit(argv[2]);
    try {
        if (command == "make-logs") {
            makeLogs(argv[2]);
        } else if (command == "make-backroom") {
            makeBackroom(argv[2]);
        } else if (command == "purge") {
            const double ms = timed([&] { dialvane::PurgeOldLogs(dir, kKeepDays, kToday); });
            std::printf("PurgeOldLogs: %.1f ms\n", ms);
        } else if (command == "list") {
            std::size_t rows = 0;
            const double ms = timed([&] { rows = dialvane::ListTravelPathDates(dir).size(); });
            std::printf("ListTravelPathDates: %zu rows, %.1f ms\n", rows, ms);
        } else {
            std::fprintf(stderr, "unknown command %s\n", argv[1]);
            return 2;
        }
    } catch (const dialvane::HousekeepingError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
