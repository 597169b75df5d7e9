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

TEST_F(ReceivedFileTest, TheEndBlockIsAnsweredOnlyOnceTheFileIsInstalled) {
    const struct {
        Step failing;
        bool installed; // the new file is in place
        const char* reason;
    } cases[] = {
        {Step::None, true, nullptr},
        {Step::Write, false, "Cannot write"},
        {Step::Sync, false, "Cannot write"},
        {Step::Rename, false, "No space left on device"},
        // The rename happened but may not survive a power cut: no "received" either.
        {Step::FolderSync, true, "Input/output error"},
    };
    auto steps = std::make_shared<FailingSteps>();
    LinkConfig withSteps = config();
    withSteps.files = steps;
    link->setConfig(withSteps);
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.failing));
        steps->failing = c.failing;
        writeFile(resto("itrfinv1"), previous);
        events.failures.clear();
        const qsizetype before = line.sentBytes().size();

        const Site& site = send();
        const QByteArray answered = line.sentBytes().mid(before);

        EXPECT_EQ(readAll(resto("itrfinv1")), c.installed ? complete : previous);
        EXPECT_FALSE(QFile::exists(resto("itrfinv1.tmp")));
        // The site heard the end block's ACK exactly when the file is installed and durable.
        EXPECT_EQ(site.completed(), c.reason == nullptr);
        if (c.reason == nullptr) {
            EXPECT_EQ(answered, QByteArray(5, ACK));
            EXPECT_TRUE(events.failures.empty());
            continue;
        }
        // Header and the blocks written; never the end block.
        EXPECT_EQ(answered, QByteArray(c.failing == Step::Write ? 1 : 4, ACK));
        EXPECT_EQ(site.outcome(), Site::Outcome::HungUpByStation);
        ASSERT_EQ(events.failures.size(), 1u);
        EXPECT_TRUE(events.failures[0].contains(c.reason)) << events.failures[0].toStdString();
    }
}

TEST_F(ReceivedFileTest, ALeftoverTemporaryFileNeverBlocksTheRestaurant) {
    const QString outside = dir.path() + "/outside";
    writeFile(outside, "not ours\r\n");
    const struct {
        const char* what;
        std::function<void()> leave;
        bool completes;
    } cases[] = {
        {"a longer file from a crash",
         [&] { writeFile(resto("itrfinv1.tmp"), QByteArray(5000, 'x')); }, true},
        {"a read-only file",
         [&] {
             writeFile(resto("itrfinv1.tmp"), "old");
             QFile::setPermissions(resto("itrfinv1.tmp"), QFile::ReadOwner);
         },
         true},
        {"a link to a file elsewhere", [&] { QFile::link(outside, resto("itrfinv1.tmp")); }, true},
        {"a folder that cannot be removed", [&] { QDir().mkpath(resto("itrfinv1.tmp/inside")); },
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(resto("itrfinv1"), previous);
        events.failures.clear();
        c.leave();
        const Site& site = send();
        EXPECT_EQ(site.completed(), c.completes);
        EXPECT_EQ(readAll(resto("itrfinv1")), c.completes ? complete : previous);
        EXPECT_EQ(readAll(outside), "not ours\r\n");
        if (!c.completes) {
            ASSERT_EQ(events.failures.size(), 1u);
            EXPECT_TRUE(events.failures[0].startsWith("Cannot remove"));
            QDir(resto("itrfinv1.tmp")).removeRecursively();
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
