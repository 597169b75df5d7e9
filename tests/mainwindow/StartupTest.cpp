// Start-up as the window runs it: the configuration reaches the fields, the lists and the link,
// built-in folders make it save once, and whatever fails is put in a message box while the rest
// of the start-up still runs. How each value is read is the station core's, tested there.
#include "StationFixture.h"

namespace dialvane::test {
namespace {

class StartupTest : public StationTest {
protected:
    QString fields() const {
        return window->txtBackroomPath->text() + '|' + window->TXTLogPath->text() + '|' +
               window->TXTDaysToKeep->text();
    }
};

// Values the lists cannot show are shown, and opened, as the lists can; with built-in folders the
// start-up saves as a click on Save would, which stores those lists but not the folders.
TEST_F(StartupTest, BuiltInFoldersAreShownAndTheStartUpSavesWhatTheListsShow) {
    for (auto [key, value] :
         {std::pair{"ComPort", "12"}, {"Speed", "4800"}, {"Connection", "modem"}})
        ini("Communication", key, value);
    frmmain& w = start();
    EXPECT_EQ(fields(), home + '|' + home + "|60");
    EXPECT_EQ(stored("Communication", "ComPort") + '|' + stored("Communication", "Speed") + '|' +
                  stored("Communication", "Connection") + '|' + stored("Path", "BackroomPath") +
                  '|' + stored("Path", "LogPath"),
              "1|9600|Direct|<absent>|<absent>");
    EXPECT_EQ(opens(), 2u);
    EXPECT_EQ(lastOpenedAs(), "D96001");
    EXPECT_EQ(lastOpen().device, deviceForPort(1, {}));
    EXPECT_EQ(title(), "9600,n,8,1 COM1");
    EXPECT_FALSE(w.cmdSave->isEnabled());
    EXPECT_FALSE(w.txtBackroomPath->isEnabled());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(StartupTest, StoredSettingsReachTheFieldsAndTheLink) {
    const QString data = tmp.filePath("data"), logs = folder("logs").chopped(1);
    for (auto [section, key, value] : {std::tuple{"Path", "BackroomPath", data},
                                       {"Path", "LogPath", logs},
                                       {"Global", "GDelay", QString("350")},
                                       {"Global", "DaysToKeep", QString("30")},
                                       {"Communication", "ComPort", QString("3")},
                                       {"Communication", "Connection", QString("Modem")},
                                       {"Communication", "Speed", QString("2400")},
                                       {"Ports", "COM3", QString("tcp:127.0.0.1:0")}})
        ini(section, key, value);
    start();
    EXPECT_EQ(fields(), data + "/|" + logs + "/|30");
    ASSERT_EQ(opens(), 1u); // no built-in folder, no Save at start
    EXPECT_EQ(lastOpenedAs(), "M24003");
    const PortRequest r = lastOpen();
    EXPECT_EQ(r.device, "tcp:127.0.0.1:0");
    EXPECT_EQ(r.config.BackroomFolder + '|' + r.config.LogFolder + '|' + r.config.SendDelay,
              data + "/|" + logs + "/|350");
    EXPECT_EQ(title(), "2400,n,8,1 COM3");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(StartupTest, FailuresAreReportedInTurnAndTheRestOfTheStartUpRuns) {
    storeFolders();
    ini("Communication", "Speed", "abc"); // cannot be read: 9600 is used
    busy(1);                              // the port cannot be opened
    const QString logs = tmp.filePath("logs/");
    touch(tmp.filePath("backroom/000123/trfbru1"));
    touch(logs + "Dialvane20261005-235959-000123.log"); // before the cutoff of 60 days
    touch(logs + "Dialvane20261006-000000-000123.log");
    frmmain& w = start();
    ASSERT_EQ(messages.size(), 2) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages[0].contains("Speed=\"abc\"")) << messages[0].toStdString();
    EXPECT_TRUE(messages[1].contains("COM1")) << messages[1].toStdString();
    // The title keeps what the port routines set last: the settings tried.
    EXPECT_EQ(title(), "9600,n,8,1 COM1");
    ASSERT_EQ(w.LVWFileDetails->topLevelItemCount(), 1);
    EXPECT_EQ(w.LVWFileDetails->topLevelItem(0)->text(0), "000123");
    EXPECT_FALSE(w.LVWFileDetails->topLevelItem(0)->text(1).isEmpty());
    EXPECT_FALSE(w.LVWFileDetails->isHidden());
    EXPECT_FALSE(QFile::exists(logs + "Dialvane20261005-235959-000123.log"));
    EXPECT_TRUE(QFile::exists(logs + "Dialvane20261006-000000-000123.log"));
    EXPECT_EQ(stored("Communication", "Speed"), "abc"); // left for the operator to mend
    stop();

    messages.clear();
    ini("Path", "LogPath", tmp.filePath("no-such-folder"));
    start();
    ASSERT_EQ(messages.size(), 3) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages.join('\n').contains("no-such-folder"))
        << messages.join('\n').toStdString();
}

} // namespace
} // namespace dialvane::test
