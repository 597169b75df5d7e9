// The real program, killed or contended: a site told "received" can rely on it.
#include "StationProcess.h"

#include "link/RestaurantLock.h"

#include <QDeadlineTimer>
#include <QRandomGenerator>
#include <QThread>

namespace dialvane::test {
namespace {

using ReceivedFileProcess = StationProcessTest;

TEST_F(ReceivedFileProcess, AStationKilledAroundTheEndBlockNeverTellsASiteAnUntrueReceived) {
    writeFile(resto("itrfinv1"), "first\r\n");
    int heard = 0;
    for (int run = 0; run < 12; ++run) {
        SCOPED_TRACE(run);
        const QByteArrayList sent = records(300, static_cast<char>('a' + run));
        const QByteArray previous = readAll(resto("itrfinv1"));
        StationProcess service = station("station");
        service.start();
        RawSite site;
        ASSERT_TRUE(site.connectTo(service.port()));
        ASSERT_TRUE(site.exchange(kSendHeader) && site.sendRecords(sent));
        site.send(BuildBlock(kEndMarker));
        // Right after the end block left: at once, within a few milliseconds, or late enough
        // that the answer has usually gone.
        const int spread[] = {1, 4000, 200000};
        QThread::usleep(QRandomGenerator::global()->bounded(spread[run % 3]));
        service.kill();
        const bool toldReceived = site.rest(3000).contains(ACK);
        heard += toldReceived;
        qInfo("run %d: %s", run, toldReceived ? "told received" : "not told");

        const QByteArray now = readAll(resto("itrfinv1"));
        if (toldReceived)
            ASSERT_EQ(now, fields(sent));
        else
            ASSERT_TRUE(now == previous || now == fields(sent));
    }
    // Kills before and after the answer were both seen, or the runs proved little.
    EXPECT_GT(heard, 0);
    EXPECT_LT(heard, 12);
}

TEST_F(ReceivedFileProcess, TwoStationsOnOneBackroomServeOneCallOfARestaurantAtATime) {
    StationProcess first = station("one"), second = station("two");
    first.start();
    second.start();
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        RawSite a, b;
        ASSERT_TRUE(a.connectTo(first.port()));
        ASSERT_TRUE(b.connectTo(second.port()));
        // Both headers before either answer is read: the calls overlap.
        a.send(kSendHeader);
        b.send(kSendHeader);
        const int answerA = a.answer(), answerB = b.answer();
        ASSERT_TRUE((answerA == ACK) != (answerB == ACK)) << answerA << " " << answerB;
        RawSite& served = answerA == ACK ? a : b;
        RawSite& refused = answerA == ACK ? b : a;
        EXPECT_EQ(refused.rest(), QByteArray()) << "the busy station hangs up without a word";

        const QByteArrayList sent = records(20, answerA == ACK ? 'a' : 'b');
        ASSERT_TRUE(served.sendRecords(sent) && served.exchange(BuildBlock(kEndMarker)));
        served.hangUp();
        EXPECT_EQ(readAll(resto("itrfinv1")), fields(sent));
        // The served station lets go of the restaurant just after its last answer; a loaded
        // machine may delay that past the next round's headers, which would both be busy.
        const auto restaurantFree = [&] {
            RestaurantLock probe;
            return probe.tryLock(resto("")) == RestaurantLock::Outcome::Taken;
        };
        for (QDeadlineTimer deadline(5000); !restaurantFree() && !deadline.hasExpired();)
            QThread::msleep(5);
    }
}

} // namespace
} // namespace dialvane::test
