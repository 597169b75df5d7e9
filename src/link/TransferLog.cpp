#include "link/TransferLog.h"

#include "common/EightBitText.h"
#include "link/TransferLink.h"

namespace dialvane {

QString transferLogName(const QDateTime& start, const QByteArray& restoNum) {
    return QStringLiteral("Dialvane") + start.toString(QStringLiteral("yyyyMMdd-hhmmss-")) +
           fromEightBit(restoNum) + QStringLiteral(".log");
}

TransferLog::TransferLog(const QString& logFolder, const QDateTime& start,
                         const QByteArray& restoNum)
    : file_(logFolder + transferLogName(start, restoNum)) {
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
        throw CallFailed(QStringLiteral("Cannot open the transfer log %1: %2")
                             .arg(file_.fileName(), file_.errorString()));
}

void TransferLog::writeFileLine(const QString& dataFile) {
    writeLine("FileName:" + toEightBit(dataFile));
}

void TransferLog::writeRecordLine(int number, bool sent, const QByteArray& record) {
    writeLine("Line " + QByteArray::number(number) + (sent ? " Sent:" : " Failed:") + record);
}

void TransferLog::writeLine(const QByteArray& line) {
    // Each line goes out at once: a crash loses no outcome that the site has already seen.
    if (file_.write(line + "\r\n") < 0 || !file_.flush())
        throw CallFailed(QStringLiteral("Cannot write the transfer log %1: %2")
                             .arg(file_.fileName(), file_.errorString()));
}

} // namespace dialvane
