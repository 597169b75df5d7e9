#include "journal/Journal.h"

#include "common/EightBitText.h"
#include "common/FileLock.h"
#include "common/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

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

// Control characters of a text (a reason may quote a file name) become \xNN.
QString withoutControls(const QString& text) {
    QString clean;
    clean.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            clean += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            clean += c;
    }
    return clean;
}

// A text cell as a spreadsheet must read it: no formula, quoted when it holds a comma or quote.
QByteArray textCell(const QString& text) {
    QByteArray cell = withoutControls(text).toUtf8();
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

QByteArrayView columnName(Column column) {
    return kNames[static_cast<size_t>(column)];
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

// What closes a last row that a crash tore: its open quote, if any, and its line break.
QByteArray endOfTornRow(QFile& file) {
    constexpr qint64 kLongestRow = 64 * 1024;
    const qint64 size = file.size();
    if (!file.seek(std::max<qint64>(0, size - kLongestRow)))
        return {};
    const QByteArray tail = file.read(kLongestRow);
    if (tail.isEmpty() || tail.endsWith('\n'))
        return {};
    const QByteArray torn = tail.mid(tail.lastIndexOf('\n') + 1);
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

// Reads one journal's rows. Cells are views into the file's bytes; a quoted cell with doubled
// quotes is unquoted into a scratch buffer of its own.
class Reader {
public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}

    void read(const std::function<void(const Row&)>& visit) {
        if (!readRecord() || !mapHeader())
            return;
        while (pos_ < bytes_.size()) {
            if (!readRecord())
                return;
            Row row;
            row.line_ = line_;
            for (size_t i = 0; i < fields_.size() && i < columnOf_.size(); ++i)
                if (columnOf_[i] >= 0)
                    row.cells_[static_cast<size_t>(columnOf_[i])] = fields_[i];
            visit(row);
        }
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

    bool readRecord() {
        fields_.clear();
        size_t scratchUsed = 0;
        const qsizetype start = pos_;
        const char* data = bytes_.constData();
        const qsizetype size = bytes_.size();
        for (;;) {
            if (pos_ < size && data[pos_] == '"') {
                const qsizetype open = ++pos_;
                bool doubled = false;
                while (pos_ < size) {
                    if (data[pos_] == '"') {
                        if (pos_ + 1 < size && data[pos_ + 1] == '"') {
                            doubled = true;
                            pos_ += 2;
                            continue;
                        }
                        break;
                    }
                    ++pos_;
                }
                const QByteArrayView raw(data + open, pos_ - open);
                pos_ = std::min(pos_ + 1, size);
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
                // Anything between a closing quote and the next separator is dropped.
                while (pos_ < size && data[pos_] != ',' && data[pos_] != '\n' && data[pos_] != '\r')
                    ++pos_;
            } else {
                const qsizetype from = pos_;
                while (pos_ < size && data[pos_] != ',' && data[pos_] != '\n' && data[pos_] != '\r')
                    ++pos_;
                fields_.emplace_back(data + from, pos_ - from);
            }
            if (pos_ < size && data[pos_] == ',') {
                ++pos_;
                continue;
            }
            line_ = QByteArrayView(data + start, pos_ - start);
            if (pos_ < size && data[pos_] == '\r')
                ++pos_;
            if (pos_ < size && data[pos_] == '\n')
                ++pos_;
            return true;
        }
    }

    const QByteArray& bytes_;
    qsizetype pos_ = 0;
    std::vector<QByteArrayView> fields_;
    std::deque<std::string> scratch_; // a deque never moves its strings: views stay valid
    std::vector<int> columnOf_;
    QByteArrayView line_;
};

bool readJournal(const QString& path, const std::function<void(const Row&)>& visit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    Reader(bytes).read(visit);
    return true;
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
        if (!readJournal(path, visit))
            problems << QStringLiteral("Cannot read the call journal %1.").arg(path);
    }
    return problems;
}

} // namespace dialvane::journal
