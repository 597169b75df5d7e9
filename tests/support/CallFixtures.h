#pragma once
// What tests of calls and of a station's folders share: a free loopback port, records and the
// fields they are filed as, a program run to its end, a Backroom of the test's own, and a raw
// site that speaks the line protocol byte by byte for tests that must control the exact moment
// something happens (a kill, two calls at once).

#include "link/Block.h"
#include "support/TestFiles.h"

#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <memory>

#include <gtest/gtest.h>

namespace dialvane::test {

inline quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// `count` records of 100 bytes: the number, then `fill`.
inline QByteArrayList records(int count, char fill) {
    QByteArrayList list;
    for (int i = 0; i < count; ++i)
        list << QByteArray::number(i).leftJustified(100, fill);
    return list;
}

// Records as 126-byte fields, each followed by `end`; the station installs them with ETX CR LF.
inline QByteArray fields(const QByteArrayList& records, const QByteArray& end = "\x03\r\n") {
    QByteArray out;
    for (const QByteArray& r : records)
        out += r.leftJustified(126, ' ', true) + end;
    return out;
}

// A program run to its end: its exit status (-1 when it crashed or outlived the wait) and what it
// printed. `input` is its whole standard input.
struct Ran {
    int status = -1;
    QByteArray out, err;
};
inline Ran run(const QString& program, const QStringList& arguments, const QByteArray& input = {},
               const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    const bool ended =
        process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    return {ended ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

class BackroomTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(backroom + "000123");
        QDir().mkpath(logs);
    }
    QString resto(const QString& name) const { return backroom + "000123/" + name; }

    QTemporaryDir dir;
    QString backroom = dir.filePath("Backroom/"), logs = dir.filePath("Logs/");
};

// The header of restaurant 000123 sending its file of type 1.
inline const QByteArray kSendHeader = BuildBlock("000123S1");

// A site over a TCP connection; every wait is bounded.
class RawSite {
public:
    // Connects once the station listens; false when it did not within the time.
    bool connectTo(quint16 port, int withinMs = 15000) {
        for (QDeadlineTimer deadline(withinMs); !deadline.hasExpired();) {
            socket_ = std::make_unique<QTcpSocket>();
            socket_->connectToHost(QHostAddress::LocalHost, port);
            if (socket_->waitForConnected(1000))
                return true;
            QThread::msleep(50); // a refused connection comes back at once: pace the tries
        }
        return false;
    }

    bool exchange(const QByteArray& block) {
        socket_->write(block);
        socket_->flush();
        return answer() == ACK;
    }
    bool sendRecords(const QByteArrayList& records) {
        for (const QByteArray& r : records)
            if (!exchange(BuildBlock(r)))
                return false;
        return true;
    }
    // A whole file sent; true when everything, the end block too, was answered ACK.
    bool sendFile(const QByteArrayList& records) {
        return exchange(kSendHeader) && sendRecords(records) && exchange(BuildBlock(kEndMarker));
    }

    // The station's next answer byte, or -1 when the line closed or nothing came in time.
    int answer(int withinMs = 5000) {
        for (QDeadlineTimer deadline(withinMs); socket_->bytesAvailable() == 0;) {
            if (socket_->state() != QAbstractSocket::ConnectedState || deadline.hasExpired())
                return -1;
            socket_->waitForReadyRead(
                static_cast<int>(std::min<qint64>(100, deadline.remainingTime())));
        }
        char c = 0;
        socket_->getChar(&c);
        return static_cast<unsigned char>(c);
    }

    void hangUp() { socket_->abort(); }

private:
    std::unique_ptr<QTcpSocket> socket_;
};

} // namespace dialvane::test
