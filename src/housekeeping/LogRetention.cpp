// Log retention. The transfer link names its logs "Dialvane" + yyyyMMdd-hhmmss- + restaurant +
// ".log", so the date is in the name: comparing names with "Dialvane" + cutoff date tells which
// logs are old without reading any file's time. The three name tests are deliberately the plain
// character comparisons below (not a parse of the date), so that every name the station ever
// wrote, and every odd name next to them, meets the same rule whatever it looks like.

#include "housekeeping/FolderScan.h"
#include "housekeeping/Housekeeping.h"

#include <QByteArray>

#include <algorithm>
#include <string_view>

namespace dialvane {

namespace {

constexpr std::size_t kOlderLength = 16; // "Dialvane" + yyyyMMdd
constexpr std::size_t kOursLength = 10;  // "Dialvane" + the century digits
constexpr std::string_view kLogEnding = ".log";

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The name tests work on the name's bytes: the cutoff text is ASCII, and any other character is
// encoded with bytes above every ASCII code, so order and case-blind equality come out as they
// would on the decoded characters.
struct LogNameRule {
    std::string cutoff; // "Dialvane" + yyyyMMdd of the cutoff date

    // Its first sixteen characters (all of it when shorter) sort strictly before the cutoff text,
    // by character code: a capital sorts before every small letter.
    bool older(std::string_view name) const {
        return name.substr(0, kOlderLength) < std::string_view(cutoff);
    }

    // "Dialvane" and the cutoff's century, case ignored.
    bool ours(std::string_view name) const {
        if (name.size() < kOursLength)
            return false;
        return std::equal(name.begin(), name.begin() + kOursLength, cutoff.begin(),
                          [](char a, char b) { return lowerAscii(a) == lowerAscii(b); });
    }

    static bool log(std::string_view name) { return name.ends_with(kLogEnding); }

    bool expired(std::string_view name) const { return older(name) && ours(name) && log(name); }
};

} // namespace

void PurgeOldLogs(const QString& logFolder, std::int16_t keepDays, QDate today) {
    // Calendar arithmetic: month ends and leap days fall where they are.
    const QDate cutoffDate = today.addDays(-static_cast<qint64>(keepDays));
    const LogNameRule rule{
        QByteArray("Dialvane" + cutoffDate.toString(QStringLiteral("yyyyMMdd")).toLatin1())
            .toStdString()};
    scan::removeFiles(logFolder, [&rule](std::string_view name) { return rule.expired(name); });
}

} // namespace dialvane
