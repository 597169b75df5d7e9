#pragma once
// One transfer log per data file sent: "FileName:" and the path, then one line per record,
// "Line N Sent:" or "Line N Failed:" followed by the 126-byte record, CR LF after each line.
// Named Dialvane<yyyyMMdd-hhmmss->RestoNum.log after the local time the file's send began;
// the log purge selects the files to delete by that name.

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

namespace dialvane {

QString transferLogName(const QDateTime& start, const QByteArray& restoNum);

class TransferLog {
public:
    // Opens (appending, created when missing) the log in `logFolder`; throws CallFailed.
    TransferLog(const QString& logFolder, const QDateTime& start, const QByteArray& restoNum);
    void writeFileLine(const QString& dataFile);
    void writeRecordLine(int number, bool sent, const QByteArray& record);
    QString path() const { return file_.fileName(); }

private:
    void writeLine(const QByteArray& line);
    QFile file_;
};

} // namespace dialvane
