#pragma once
// The call journal: one CSV row per call, however it ended, in
// "<log folder>/Dialvane-calls-<yyyyMM>.csv" (the month the call began). RFC 4180, UTF-8, a
// header row when the file is new. A row is appended and flushed as the call ends, in one
// write under a lock on the file (common/FileLock.h), so rows of calls ending together, or of
// stations on several machines sharing a log folder, never interleave.
//
// Bytes that came from the line (restaurant, transaction, type) are written escaped: printable
// ASCII stays, anything else is \xNN, so no byte a site sends can end a row, open a quote or
// hide in a terminal. Every text cell that a spreadsheet would read as a formula (a leading =,
// +, -, @) gets a leading apostrophe.

#include "common/Failure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace dialvane::journal {

class JournalError : public Failure {
public:
    using Failure::Failure;
};

// The columns, in the order of the file.
enum class Column {
    Start,
    Seconds,
    Port,
    Device,
    Peer,
    Restaurant,
    Transaction,
    Type,
    Direction,
    Files,
    Records,
    RecordsFailed,
    NaksSent,
    BlocksResent,
    Bytes,
    Outcome,
    Reason,
};
constexpr int kColumns = static_cast<int>(Column::Reason) + 1;

struct Entry {
    QDateTime start; // local time
    double seconds = 0;
    QString port;
    QString device;
    QString peer;
    QByteArray restaurant; // bytes from the line
    QByteArray transaction;
    QByteArray type;
    QString direction; // receive, send, none
    QStringList files;
    int records = 0;
    int recordsFailed = 0;
    int naksSent = 0;
    int blocksResent = 0;
    qint64 bytes = 0;
    QString outcome;
    QString reason;
};

QString journalFileName(const QDate& month);
// "2026-12-06T10:44:03+01:00": local time with its offset, whatever the platform's default.
QString isoLocalTime(const QDateTime& time);

QByteArray headerLine();
// One row, CRLF included.
QByteArray rowLine(const Entry& entry);

// How long an append waits for another station to let go of the journal's lock.
inline constexpr std::chrono::milliseconds kLockWait{3000};

// Appends the entry to its month's journal in `logFolder`; throws JournalError naming the
// file and the reason. A lock that cannot be had within `lockWait` does not keep the row out
// of the journal: the row is written without it, and the JournalError that follows says so.
// The journal heals as it goes: a last row torn by a crash (no line break at the end, maybe
// an open quote) is closed first, so it stays a row of its own that readers skip, and a log
// folder that has gone is made again. Returns what the operator should hear of that (the
// folder made again), else an empty text.
QString append(const QString& logFolder, const Entry& entry,
               std::chrono::milliseconds lockWait = kLockWait);

// Removes the journals of the months before the last `keepMonths` (the month of `today`
// included); zero or less keeps them all. Returns what it could not remove, one text each.
QStringList purge(const QString& logFolder, int keepMonths, const QDate& today);

// One row as read back, its cells unquoted. Valid only during the callback.
class Row {
public:
    QByteArrayView cell(Column column) const { return cells_[static_cast<size_t>(column)]; }
    QString text(Column column) const { return QString::fromUtf8(cell(column)); }
    qint64 number(Column column) const;
    // The row as it stands in the file, without its line end.
    QByteArrayView line() const { return line_; }

private:
    friend class Reader;
    std::array<QByteArrayView, kColumns> cells_{};
    QByteArrayView line_;
};

struct JournalFile {
    QDate month; // its first day
    QString path;
};
// The journals of `logFolder`, oldest month first.
std::vector<JournalFile> journalFiles(const QString& logFolder);

// What reading one journal found.
struct JournalRead {
    bool readable = false;
    qint64 skipped = 0; // damaged rows left out
};

// Calls `visit` for every row of one journal, in file order. Every reader of the journal comes
// here, so each leaves out the same rows: those that are not rows as append() writes them (a
// row torn by a crash, another number of cells than the header's, a quote out of place,
// bytes that are not UTF-8, a character isControlCharacter() names). They are counted, not
// visited.
JournalRead readJournal(const QString& path, const std::function<void(const Row&)>& visit);

// What the operator is told of one read: that the journal could not be read, or how many of
// its rows were skipped; empty when it read whole.
QStringList readProblems(const QString& path, const JournalRead& read);

// The row as an entry; restaurant, transaction and type as the journal shows them.
Entry entryOf(const Row& row);

// Calls `visit` for every row of the journals in `logFolder` from the month of `since` on
// (all journals when `since` is null), oldest month first, rows in file order. Unreadable
// journals, and the rows skipped of each, are named in the returned list (readProblems).
QStringList readJournals(const QString& logFolder, const QDate& since,
                         const std::function<void(const Row&)>& visit);

} // namespace dialvane::journal
