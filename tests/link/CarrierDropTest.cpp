// The carrier dropped after every byte offset of a whole call: nothing half-done may remain,
// and the same station answers the next call normally.
#include "LinkFixture.h"

namespace dialvane::test {
namespace {

class CarrierDropTest : public LinkTest {
protected:
    Site& callAfterPause(SiteScript script) {
        script.callAt = line.now() + 1s;
        return call(std::move(script));
    }

    long cleanCallBytes(SiteScript script) {
        const Site& site = callAfterPause(std::move(script));
        EXPECT_TRUE(site.completed());
        return site.bytesSent() + site.bytesReceived();
    }
};

TEST_F(CarrierDropTest, ReceivingLeavesTheOldFileOrTheNewOneAndNoTemporary) {
    const QByteArray previous = "previous\r\n";
    const SiteScript script{.records = {"r1", "r2", "r3"}};
    const long total = cleanCallBytes(script);
    const QByteArray complete = readAll(resto("itrfinv1"));
    ASSERT_EQ(complete.size(), 3 * 129);
    ASSERT_GT(total, 600);

    for (long offset = 0; offset < total; ++offset) {
        SCOPED_TRACE(offset);
        writeFile(resto("itrfinv1"), previous);
        SiteScript dropped = script;
        dropped.dropAfterBytes = offset;
        const Site& site = callAfterPause(dropped);
        ASSERT_EQ(site.outcome(), Site::Outcome::Dropped);
        const QByteArray installed = readAll(resto("itrfinv1"));
        ASSERT_TRUE(installed == previous || installed == complete) << installed.toStdString();
        ASSERT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
        ASSERT_EQ(link->state().RestoNum + link->state().Transaction, "       ");
        ASSERT_EQ(events.events.back().kind, LinkEvent::Kind::CarrierLost); // window hidden
        ASSERT_TRUE(line.dtr());

        ASSERT_TRUE(callAfterPause({.records = {"next"}}).completed());
        ASSERT_EQ(readAll(resto("itrfinv1")), padded("next") + char(ETX) + "\r\n");
    }
    EXPECT_TRUE(events.failures.empty());
}

TEST_F(CarrierDropTest, SendingLogsOnlyAnsweredBlocksAndStopsAtTheDrop) {
    writeFile(resto("trfloc"), "l1,l2\r\n");
    writeFile(resto("trfbru1"), "b1\r\n");
    writeFile(resto("trfinv1"), "i1,i2\r\n");
    const SiteScript script{.transaction = 'X', .records = {}};
    const long total = cleanCallBytes(script);
    ASSERT_GT(total, 900);

    for (long offset = 0; offset < total; ++offset) {
        SCOPED_TRACE(offset);
        for (const QString& name : logFiles())
            QFile::remove(logs + name);
        SiteScript dropped = script;
        dropped.dropAfterBytes = offset;
        const Site& site = callAfterPause(dropped);
        ASSERT_EQ(site.outcome(), Site::Outcome::Dropped);

        // One log per file begun; every logged block was answered ACK and kept by the site,
        // and at most the block in flight was kept but not logged.
        const QStringList names = logFiles();
        ASSERT_LE(names.size(), static_cast<int>(site.files().size()));
        for (int f = 0; f < names.size(); ++f) {
            const QByteArray log = readAll(logs + names[f]);
            const qsizetype blockLines = log.count("\nLine ");
            ASSERT_EQ(log.count(" Sent:"), blockLines);
            const auto kept = static_cast<qsizetype>(site.files()[f].size());
            ASSERT_TRUE(kept == blockLines || kept == blockLines + 1) << kept << " " << blockLines;
        }
        ASSERT_EQ(link->state().RestoNum, "      ");

        ASSERT_TRUE(callAfterPause({.transaction = 'X', .records = {}}).completed());
    }
}

} // namespace
} // namespace dialvane::test
