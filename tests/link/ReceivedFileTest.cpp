// A received file is acknowledged only once it is installed: whatever step fails, what the site
// was told matches what is on the disk, and one restaurant is in one call at a time.
#include "LinkFixture.h"

#include <QFileInfo>

namespace dialvane::test {
namespace {

enum class Step { None, Write, Sync, Rename, FolderSync };

// Real file steps, but for the one that fails.
struct FailingSteps : FileSteps {
    Step failing = Step::None;
    bool write(QFile& file, const QByteArray& bytes) override {
        return failing != Step::Write && FileSteps::write(file, bytes);
    }
    bool sync(QFile& file) override { return failing != Step::Sync && FileSteps::sync(file); }
    QString rename(const QString& from, const QString& to) override {
        return failing == Step::Rename ? QStringLiteral("No space left on device")
                                       : FileSteps::rename(from, to);
    }
    QString syncFolder(const QString& folder) override {
        return failing == Step::FolderSync ? QStringLiteral("Input/output error")
                                           : FileSteps::syncFolder(folder);
    }
};

class ReceivedFileTest : public LinkTest {
protected:
    const QByteArray previous = "previous\r\n";
    const QByteArray complete = padded("r1") + char(ETX) + "\r\n" + padded("r2") + char(ETX) +
                                "\r\n" + padded("r3") + char(ETX) + "\r\n";

    const Site& send(char transaction = 'S') {
        return call(
            {.transaction = transaction, .records = {"r1", "r2", "r3"}, .callAt = line.now() + 1s});
    }
};

// Whatever a crash or another program left where the file is received is never followed: the
// temporary file is always made anew.
TEST_F(ReceivedFileTest, TheEndBlockIsAnsweredOnlyOnceTheFileIsInstalled) {
    const QString outside = dir.path() + "/outside", temporary = resto("itrfinv1.tmp");
    writeFile(outside, "not ours\r\n");
    const struct {
        const char* what;
        Step failing;
        std::function<void()> leave;
        int acks; // the header, the blocks written, the end block once installed
        bool installed;
        const char* reason;
    } cases[] = {
        {"installed", Step::None, [] {}, 5, true, nullptr},
        {"write", Step::Write, [] {}, 1, false, "Cannot write"},
        {"sync", Step::Sync, [] {}, 4, false, "Cannot write"},
        {"rename", Step::Rename, [] {}, 4, false, "No space left on device"},
        // The rename happened but may not survive a power cut: no "received" either.
        {"folder sync", Step::FolderSync, [] {}, 4, true, "Input/output error"},
        {"a longer file from a crash", Step::None,
         [&] { writeFile(temporary, QByteArray(5000, 'x')); }, 5, true, nullptr},
        {"a read-only file", Step::None,
         [&] {
             writeFile(temporary, "old");
             QFile::setPermissions(temporary, QFile::ReadOwner);
         },
         5, true, nullptr},
        {"a link to a file elsewhere", Step::None, [&] { QFile::link(outside, temporary); }, 5,
         true, nullptr},
        {"a folder that cannot be removed", Step::None,
         [&] { QDir().mkpath(temporary + "/inside"); }, 1, false, "Cannot remove"},
    };
    auto steps = std::make_shared<FailingSteps>();
    LinkConfig withSteps = config();
    withSteps.files = steps;
    link->setConfig(withSteps);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        steps->failing = c.failing;
        writeFile(resto("itrfinv1"), previous);
        c.leave();
        events.failures.clear();
        const qsizetype before = line.sentBytes().size();

        const Site& site = send();
        EXPECT_EQ(line.sentBytes().mid(before), QByteArray(c.acks, ACK));
        EXPECT_EQ(site.completed(), c.reason == nullptr);
        EXPECT_EQ(readAll(resto("itrfinv1")), c.installed ? complete : previous);
        EXPECT_EQ(readAll(outside), "not ours\r\n");
        QDir(temporary).removeRecursively(); // the folder only: a file is no folder
        EXPECT_FALSE(QFile::exists(temporary));
        ASSERT_EQ(events.failures.size(), c.reason ? 1u : 0u);
        if (c.reason) {
            EXPECT_EQ(site.outcome(), Site::Outcome::HungUpByStation);
            EXPECT_TRUE(events.failures[0].contains(c.reason)) << events.failures[0].toStdString();
        }
    }
}

TEST_F(ReceivedFileTest, ARestaurantInAnotherCallIsBusyInBothDirections) {
    for (const char* name : {"trfloc", "trfbru1", "trfinv1"})
        writeFile(resto(name), "x\r\n");
    for (char transaction : {'S', 'X'}) {
        SCOPED_TRACE(transaction);
        writeFile(resto("itrfinv1"), previous);
        RestaurantLock otherCall;
        ASSERT_EQ(otherCall.tryLock(backroom + "000123/"), RestaurantLock::Outcome::Taken);
        events.failures.clear();
        const qsizetype before = line.sentBytes().size();

        const Site& site = send(transaction);
        // The header is left unanswered while the station asks for the restaurant for 3 s,
        // then the line is hung up; nothing written or logged.
        EXPECT_EQ(line.sentBytes().mid(before), QByteArray());
        const Millis header = receivedAt(site::headerBlock("000123", transaction, '1')).back();
        EXPECT_EQ(dtrAt(false, header), header + TransferLink::kBusyWait);
        EXPECT_EQ(site.outcome(), Site::Outcome::HungUpByStation);
        ASSERT_EQ(events.failures.size(), 1u);
        EXPECT_EQ(events.failures[0], "restaurant 000123 is busy on another call");
        EXPECT_EQ(readAll(resto("itrfinv1")), previous);
        EXPECT_TRUE(logFiles().isEmpty());

        otherCall.release();
        EXPECT_TRUE(send(transaction).completed());
        // The call released its lock when it ended.
        EXPECT_EQ(otherCall.tryLock(backroom + "000123/"), RestaurantLock::Outcome::Taken);
    }
    // The lock file is hidden, so no listing of the restaurant's files shows it.
    EXPECT_TRUE(QFileInfo(resto(RestaurantLock::kFileName)).isHidden());
}

} // namespace
} // namespace dialvane::test
