// The carrier dropped after every byte offset of a whole call: nothing half-done may remain.
#include "LinkFixture.h"

namespace dialvane::test {
namespace {

class CarrierDropTest : public LinkTest {
protected:
    Site& callAfterPause(SiteScript script) {
        script.callAt = line.now() + 1s;
        return call(std::move(script));
    }
};

// A receiving call leaves the old file or the new one and no temporary; a sending one logs only
// blocks answered ACK and kept by the site, and at most the one in flight is kept unlogged.
TEST_F(CarrierDropTest, NothingHalfDoneRemainsAndTheNextCallIsAnswered) {
    writeFile(resto("trfloc"), "l1,l2\r\n");
    writeFile(resto("trfbru1"), "b1\r\n");
    writeFile(resto("trfinv1"), "i1,i2\r\n");
    const QByteArray previous = "previous\r\n";
    for (const SiteScript& script : {SiteScript{.records = {"r1", "r2", "r3"}},
                                     SiteScript{.transaction = 'X', .records = {}}}) {
        const bool receiving = script.transaction == 'S';
        SCOPED_TRACE(receiving ? "receiving" : "sending");
        const Site& clean = callAfterPause(script);
        ASSERT_TRUE(clean.completed());
        const long total = clean.bytesSent() + clean.bytesReceived();
        ASSERT_GT(total, 600);
        const QByteArray complete = readAll(resto("itrfinv1"));

        for (long offset = 0; offset < total; ++offset) {
            SCOPED_TRACE(offset);
            writeFile(resto("itrfinv1"), previous);
            for (const QString& name : logFiles())
                QFile::remove(logs + name);
            SiteScript dropped = script;
            dropped.dropAfterBytes = offset;
            const Site& site = callAfterPause(dropped);
            ASSERT_EQ(site.outcome(), Site::Outcome::Dropped);
            ASSERT_EQ(link->state().RestoNum + link->state().Transaction, "       ");
            ASSERT_EQ(events.events.back().kind, LinkEvent::Kind::CarrierLost); // window hidden
            ASSERT_TRUE(line.dtr());
            if (receiving) {
                const QByteArray installed = readAll(resto("itrfinv1"));
                ASSERT_TRUE(installed == previous || installed == complete) << installed.data();
                ASSERT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
            }
            const QStringList names = logFiles();
            ASSERT_LE(names.size(), static_cast<int>(site.files().size()));
            for (int f = 0; f < names.size(); ++f) {
                const QByteArray log = readAll(logs + names[f]);
                const qsizetype blockLines = log.count("\nLine ");
                ASSERT_EQ(log.count(" Sent:"), blockLines);
                const auto kept = static_cast<qsizetype>(site.files()[f].size());
                ASSERT_TRUE(kept == blockLines || kept == blockLines + 1)
                    << kept << " " << blockLines;
            }
            ASSERT_TRUE(callAfterPause(script).completed());
        }
    }
    EXPECT_TRUE(events.failures.empty());
}

} // namespace
} // namespace dialvane::test
