#include "journal/Journal.h"

#include "common/EightBitText.h"
#include "common/FileLock.h"
#include "common/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <deque>
#include <vector>

namespace dialvane::journal {

namespace {

constexpr std::array<const char*, kColumns> kNames = {
    "start",       "seconds",       "port",      "device",  "peer",    "restaurant",
    "transaction", "type",          "direction", "files",   "records", "records_failed",
    "naks_sent",   "blocks_resent", "bytes",     "outcome", "reason"};

const QString kPrefix = QStringLiteral("Dialvane-calls-");
const QString kSuffix = QStringLiteral(".csv");

// A text cell as a spreadsheet must read it: no formula, quoted when it holds a comma or quote.
QByteArray textCell(const QString& text) {
    QByteArray cell = escapeControls(text).toUtf8();
    if (!cell.isEmpty() && QByteArrayView("=+-@").contains(cell.front()))
        cell.prepend('\'');
    if (cell.contains(',') || cell.contains('"'))
        cell = '"' + cell.replace("\"", "\"\"") + '"';
    return cell;
}

QByteArray lineCell(const QByteArray& bytes) {
    return textCell(printable(bytes));
}

QDate monthOfName(const QString& name) {
    if (!name.startsWith(kPrefix) || !name.endsWith(kSuffix) ||
        name.size() != kPrefix.size() + 6 + kSuffix.size())
        return {};
    return QDate::fromString(name.mid(kPrefix.size(), 6), QStringLiteral("yyyyMM"));
}

QDate firstOfMonth(const QDate& date) {
    return QDate(date.year(), date.month(), 1);
}

} // namespace

std::vector<JournalFile> journalFiles(const QString& logFolder) {
    std::vector<JournalFile> found;
    const QDir folder(logFolder);
    const QStringList names =
        folder.entryList({kPrefix + QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Name);
    for (const QString& name : names)
        if (const QDate month = monthOfName(name); month.isValid())
            found.push_back({month, folder.filePath(name)});
    return found;
}

QString journalFileName(const QDate& month) {
    return kPrefix + month.toString(QStringLiteral("yyyyMM")) + kSuffix;
}

QString isoLocalTime(const QDateTime& time) {
    const int offset = time.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

// What closes a last row that a crash tore: its open quote, if any, and its line break. A
// whole file ends with its line break: one byte read says so (a journal on a file server
// costs no more than that per row), and only a torn one has its last row read.
QByteArray endOfTornRow(QFile& file) {
    constexpr qint64 kLongestRow = 64 * 1024;
    const qint64 size = file.size();
    char last = 0;
    if (size == 0 || !file.seek(size - 1) || file.read(&last, 1) != 1 || last == '\n')
        return {};
    if (!file.seek(std::max<qint64>(0, size - kLongestRow)))
        return {};
    const QByteArray tail = file.read(kLongestRow);
    if (tail.isEmpty() || tail.endsWith('\n'))
        return {};
    const QByteArray torn = tail.mid(tail.lastIndexOf('\n') + 1);
    if (torn.endsWith('\r')) // torn between its CR and LF: a whole row
        return "\n";
    return (torn.count('"') % 2 ? QByteArray("\"") : QByteArray()) + "\r\n";
}

QByteArray headerLine() {
    QByteArray line;
    for (const char* name : kNames)
        line += (line.isEmpty() ? "" : ",") + QByteArray(name);
    return line + "\r\n";
}

QByteArray rowLine(const Entry& entry) {
    const std::array<QByteArray, kColumns> cells = {
        isoLocalTime(entry.start).toUtf8(),
        QByteArray::number(entry.seconds, 'f', 1),
        textCell(entry.port),
        textCell(entry.device),
        textCell(entry.peer),
        lineCell(entry.restaurant),
        lineCell(entry.transaction),
        lineCell(entry.type),
        textCell(entry.direction),
        textCell(entry.files.join(QLatin1Char('|'))),
        QByteArray::number(entry.records),
        QByteArray::number(entry.recordsFailed),
        QByteArray::number(entry.naksSent),
        QByteArray::number(entry.blocksResent),
        QByteArray::number(entry.bytes),
        textCell(entry.outcome),
        textCell(entry.reason),
    };
    QByteArray line;
    for (const QByteArray& cell : cells)
        line += (line.isEmpty() ? "" : ",") + cell;
    return line + "\r\n";
}

QString append(const QString& logFolder, const Entry& entry, std::chrono::milliseconds lockWait) {
    QString said;
    if (!QFileInfo(logFolder).isDir() && QDir().mkpath(logFolder))
        said = QStringLiteral("The log folder %1 was missing: it was made again.").arg(logFolder);
    QFile file(withTrailingSeparator(logFolder) + journalFileName(entry.start.date()));
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        throw JournalError(QStringLiteral("Cannot write the call journal %1: %2")
                               .arg(file.fileName(), file.errorString()));
    // Stations on other machines may append to this file through a file server, where an
    // append alone keeps no row whole (a client writes at the end as it last saw it) and two
    // stations could each find the file new and each write the header. The lock is taken
    // before the size is read; taking it also makes an NFS client refresh its idea of the file,
    // and letting it go (the close) sends the row to the server first.
    //
    // When the lock cannot be had in time the row is written all the same: a lost row is worse
    // than the small chance of one torn by a writer at that very moment, and a lock held for
    // seconds belongs to a stuck holder (a station hung on a lost server, a lock the server has
    // not expired yet) that is not writing. The station must not hang on it either.
    const FileLockOutcome lock = lockForWriting(file, lockWait);
    // Header and row in one write: a file is never left with a header only, or a row without.
    const QByteArray bytes =
        (file.size() == 0 ? headerLine() : endOfTornRow(file)) + rowLine(entry);
    QString problem;
    if (file.write(bytes) != bytes.size() || !file.flush())
        problem = file.errorString();
    file.close(); // on a file server the row may fail only here
    if (problem.isEmpty() && file.error() != QFileDevice::NoError)
        problem = file.errorString();
    if (!problem.isEmpty())
        throw JournalError(
            QStringLiteral("Cannot write the call journal %1: %2").arg(file.fileName(), problem));
    if (lock != FileLockOutcome::Taken)
        throw JournalError(
            QStringLiteral("The call journal %1 %2; the row was written without the lock")
                .arg(file.fileName(),
                     lock == FileLockOutcome::Busy
                         ? QStringLiteral("stayed locked by another station for %1 s")
                               .arg(QString::number(lockWait.count() / 1000.0))
                         : QStringLiteral("cannot be locked on its file system")));
    return said;
}

QStringList purge(const QString& logFolder, int keepMonths, const QDate& today) {
    QStringList problems;
    if (keepMonths <= 0)
        return problems;
    const QDate firstKept = firstOfMonth(today).addMonths(-(keepMonths - 1));
    for (const auto& [month, path] : journalFiles(logFolder)) {
        if (month >= firstKept)
            break;
        QFile file(path);
        // Gone already: purged by a station sharing the log folder.
        if (!file.remove() && file.exists())
            problems << QStringLiteral("Cannot remove the call journal %1: %2")
                            .arg(path, file.errorString());
    }
    return problems;
}

qint64 Row::number(Column column) const {
    const QByteArrayView text = cell(column);
    qint64 value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// Reads one journal's rows, strictly. The writer puts every row on one physical line (no
// cell holds a line break), so a line is a row, and damage (a row torn by a crash, bytes that
// are no journal at all) costs only the lines it touches: a quote left open never swallows the
// rows after it. A line that is not a row as the writer makes them is skipped and counted:
// another number of cells than the header's, a quote out of place, bytes that are not UTF-8,
// a control character. Blank lines are no rows at all.
//
// Cells are views into the file's bytes; a quoted cell with doubled quotes is unquoted into a
// scratch buffer of its own.
class Reader {
public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}

    qint64 read(const std::function<void(const Row&)>& visit) {
        qint64 skipped = 0;
        bool header = false;
        while (nextLine()) {
            if (line_.isEmpty())
                continue;
            if (!header) {
                header = splitCells() && mapHeader();
                skipped += header ? 0 : 1;
                continue;
            }
            if (!splitCells() || fields_.size() != columnOf_.size()) {
                ++skipped;
                continue;
            }
            Row row;
            row.line_ = line_;
            for (size_t i = 0; i < fields_.size(); ++i)
                if (columnOf_[i] >= 0)
                    row.cells_[static_cast<size_t>(columnOf_[i])] = fields_[i];
            visit(row);
        }
        return skipped;
    }

private:
    // Columns are found by name, so a journal with columns added later still reads.
    bool mapHeader() {
        columnOf_.assign(fields_.size(), -1);
        bool any = false;
        for (size_t i = 0; i < fields_.size(); ++i)
            for (int c = 0; c < kColumns; ++c)
                if (fields_[i] == QByteArrayView(kNames[static_cast<size_t>(c)])) {
                    columnOf_[i] = c;
                    any = true;
                }
        return any;
    }

    // The next line, without its CRLF or LF; false at the end.
    bool nextLine() {
        const qsizetype size = bytes_.size();
        if (pos_ >= size)
            return false;
        const qsizetype end = bytes_.indexOf('\n', pos_);
        const qsizetype stop = end < 0 ? size : end;
        qsizetype last = stop;
        if (last > pos_ && bytes_[last - 1] == '\r')
            --last;
        line_ = QByteArrayView(bytes_.constData() + pos_, last - pos_);
        pos_ = stop + 1;
        return true;
    }

    // The cells of line_; false when it is no row the writer makes.
    bool splitCells() {
        fields_.clear();
        if (!cleanText(line_))
            return false;
        size_t scratchUsed = 0;
        const char* data = line_.data();
        const qsizetype size = line_.size();
        qsizetype pos = 0;
        for (;;) {
            if (pos < size && data[pos] == '"') {
                const qsizetype open = ++pos;
                bool doubled = false;
                for (;;) {
                    if (pos >= size)
                        return false; // a quote left open
                    if (data[pos] == '"') {
                        if (pos + 1 < size && data[pos + 1] == '"') {
                            doubled = true;
                            pos += 2;
                            continue;
                        }
                        break;
                    }
                    ++pos;
                }
                const QByteArrayView raw(data + open, pos - open);
                ++pos;
                if (pos < size && data[pos] != ',')
                    return false; // text after a closing quote
                if (doubled) {
                    if (scratch_.size() <= scratchUsed)
                        scratch_.emplace_back();
                    std::string& text = scratch_[scratchUsed++];
                    text.clear();
                    for (qsizetype i = 0; i < raw.size(); ++i) {
                        text += raw[i];
                        if (raw[i] == '"')
                            ++i;
                    }
                    fields_.emplace_back(text.data(), static_cast<qsizetype>(text.size()));
                } else {
                    fields_.push_back(raw);
                }
            } else {
                const qsizetype from = pos;
                while (pos < size && data[pos] != ',') {
                    if (data[pos] == '"')
                        return false; // a quote inside an unquoted cell
                    ++pos;
                }
                fields_.emplace_back(data + from, pos - from);
            }
            if (pos >= size)
                return true;
            ++pos; // the comma
        }
    }

    // Whether the bytes are UTF-8 without a character the writer escapes.
    static bool cleanText(QByteArrayView text) {
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        const auto* end = p + text.size();
        while (p < end) {
            const unsigned char lead = *p;
            if (lead < 0x80) {
                if (isControlCharacter(lead))
                    return false;
                ++p;
                continue;
            }
            const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
            if (more < 0 || lead > 0xF4 || end - p <= more)
                return false;
            char32_t c = lead & (0x3F >> more);
            for (int i = 1; i <= more; ++i) {
                if ((p[i] & 0xC0) != 0x80)
                    return false;
                c = (c << 6) | (p[i] & 0x3F);
            }
            static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
            if (c < kLeast[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ||
                isControlCharacter(c))
                return false;
            p += more + 1;
        }
        return true;
    }

    const QByteArray& bytes_;
    qsizetype pos_ = 0;
    std::vector<QByteArrayView> fields_;
    std::deque<std::string> scratch_; // a deque never moves its strings: views stay valid
    std::vector<int> columnOf_;
    QByteArrayView line_;
};

JournalRead readJournal(const QString& path, const std::function<void(const Row&)>& visit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return {true, Reader(bytes).read(visit)};
}

QStringList readProblems(const QString& path, const JournalRead& read) {
    if (!read.readable)
        return {QStringLiteral("Cannot read the call journal %1.").arg(path)};
    if (read.skipped > 0)
        return {QStringLiteral("Skipped %1 damaged %2 of the call journal %3 (a row torn by a "
                               "crash, or bytes that are no row).")
                    .arg(read.skipped)
                    .arg(read.skipped == 1 ? QStringLiteral("row") : QStringLiteral("rows"))
                    .arg(path)};
    return {};
}

Entry entryOf(const Row& row) {
    Entry entry;
    entry.start = QDateTime::fromString(row.text(Column::Start), Qt::ISODate).toLocalTime();
    entry.seconds = row.text(Column::Seconds).toDouble();
    entry.port = row.text(Column::Port);
    entry.device = row.text(Column::Device);
    entry.peer = row.text(Column::Peer);
    entry.restaurant = row.cell(Column::Restaurant).toByteArray();
    entry.transaction = row.cell(Column::Transaction).toByteArray();
    entry.type = row.cell(Column::Type).toByteArray();
    entry.direction = row.text(Column::Direction);
    entry.files = row.text(Column::Files).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    entry.records = static_cast<int>(row.number(Column::Records));
    entry.recordsFailed = static_cast<int>(row.number(Column::RecordsFailed));
    entry.naksSent = static_cast<int>(row.number(Column::NaksSent));
    entry.blocksResent = static_cast<int>(row.number(Column::BlocksResent));
    entry.bytes = row.number(Column::Bytes);
    entry.outcome = row.text(Column::Outcome);
    entry.reason = row.text(Column::Reason);
    return entry;
}

QStringList readJournals(const QString& logFolder, const QDate& since,
                         const std::function<void(const Row&)>& visit) {
    QStringList problems;
    for (const auto& [month, path] : journalFiles(logFolder)) {
        if (since.isValid() && month < firstOfMonth(since))
            continue;
        problems += readProblems(path, readJournal(path, visit));
    }
    return problems;
}

} // namespace dialvane::journal
