#pragma once
// What the real-process tests share: a loopback port nobody listens on right now, for a
// station's network line, a Backroom, and records as a site sends them.

#include "link/Block.h"
#include "support/TestFiles.h"

#include <QByteArrayList>
#include <QDir>
#include <QTcpServer>
#include <QTemporaryDir>

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

// A Backroom with restaurant 000123, and a log folder.
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

} // namespace dialvane::test
