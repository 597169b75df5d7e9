// The real program, killed or contended: a site told "received" can rely on it.
#include "StationProcess.h"

#include "support/TestFiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

namespace dialvane::test {
namespace {

constexpr char kAck = 6;

QByteArray records(int count, char fill) {
    QByteArray lines;
    for (int i = 0; i < count; ++i)
        lines += QByteArray::number(i).leftJustified(100, fill);
    return lines;
}

// What the station installs for records(count, fill).
QByteArray installed(int count, char fill) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += QByteArray::number(i).leftJustified(100, fill).leftJustified(126, ' ') +
                 char(ETX) + "\r\n";
    return bytes;
}

// Sends a whole file but for the end block's answer; true when every answer so far was ACK.
bool sendUpToTheEndBlock(RawSite& site, char fill, int count) {
    site.send(header("000123", 'S'));
    if (site.answer() != kAck)
        return false;
    const QByteArray all = records(count, fill);
    for (int i = 0; i < count; ++i) {
        site.send(BuildBlock(all.mid(i * 100, 100)));
        if (site.answer() != kAck)
            return false;
    }
    site.send(BuildBlock(kEndMarker));
    return true;
}

TEST(ReceivedFileProcess, AStationKilledAroundTheEndBlockNeverTellsASiteAnUntrueReceived) {
    QTemporaryDir dir;
    const QString backroom = dir.filePath("Backroom/"), file = backroom + "000123/itrfinv1";
    QDir().mkpath(backroom + "000123");
    QDir().mkpath(dir.filePath("Logs"));
    writeFile(file, "first\r\n");
    const int count = 300;
    int heard = 0;
    for (int run = 0; run < 12; ++run) {
        SCOPED_TRACE(run);
        const char fill = static_cast<char>('a' + run);
        const QByteArray previous = readAll(file);
        StationProcess station(dir.filePath("station"), backroom, dir.filePath("Logs/"));
        station.start();
        RawSite site;
        ASSERT_TRUE(site.connectTo(station.port()));
        ASSERT_TRUE(sendUpToTheEndBlock(site, fill, count));
        // Right after the end block left: at once, within a few milliseconds, or late enough
        // that the answer has usually gone.
        const int spread[] = {1, 4000, 200000};
        QThread::usleep(QRandomGenerator::global()->bounded(spread[run % 3]));
        station.kill();
        const bool toldReceived = site.rest(3000).contains(kAck);
        heard += toldReceived;
        qInfo("run %d: %s", run, toldReceived ? "told received" : "not told");

        const QByteArray now = readAll(file);
        if (toldReceived)
            ASSERT_EQ(now, installed(count, fill));
        else
            ASSERT_TRUE(now == previous || now == installed(count, fill));
    }
    // Kills before and after the answer were both seen, or the runs proved little.
    EXPECT_GT(heard, 0);
    EXPECT_LT(heard, 12);
}

TEST(ReceivedFileProcess, TwoStationsOnOneBackroomServeOneCallOfARestaurantAtATime) {
    QTemporaryDir dir;
    const QString backroom = dir.filePath("Backroom/"), file = backroom + "000123/itrfinv1";
    QDir().mkpath(backroom + "000123");
    StationProcess first(dir.filePath("one"), backroom, dir.filePath("Logs/"));
    StationProcess second(dir.filePath("two"), backroom, dir.filePath("Logs/"));
    first.start();
    second.start();
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        RawSite a, b;
        ASSERT_TRUE(a.connectTo(first.port()));
        ASSERT_TRUE(b.connectTo(second.port()));
        // Both headers before either answer is read: the calls overlap.
        a.send(header("000123", 'S'));
        b.send(header("000123", 'S'));
        const int answerA = a.answer(), answerB = b.answer();
        ASSERT_TRUE((answerA == kAck) != (answerB == kAck)) << answerA << " " << answerB;
        RawSite& served = answerA == kAck ? a : b;
        RawSite& refused = answerA == kAck ? b : a;
        EXPECT_EQ(refused.rest(), QByteArray()) << "the busy station hangs up without a word";

        const char fill = answerA == kAck ? 'a' : 'b';
        const QByteArray all = records(20, fill);
        for (int i = 0; i < 20; ++i) {
            served.send(BuildBlock(all.mid(i * 100, 100)));
            ASSERT_EQ(served.answer(), kAck);
        }
        served.send(BuildBlock(kEndMarker));
        ASSERT_EQ(served.answer(), kAck);
        served.hangUp();
        EXPECT_EQ(readAll(file), installed(20, fill));
    }
}

} // namespace
} // namespace dialvane::test
