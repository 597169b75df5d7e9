// Start-up: where each setting comes from, the fallbacks, the conversions and their failures,
// and what the port, the list and the log folder see afterwards.
#include "StationFixture.h"

namespace dialvane::test {
namespace {

using StartupTest = StationTest;

TEST_F(StartupTest, WithoutAnySettingsEverythingFallsBackAndNothingIsWritten) {
    QString titleAtFirstReport;
    frmmain& w = start([&](MainWindowContext& context) {
        // Seen from the first queued report on: the window exists, the link has not spoken.
        QObject::connect(context.link, &LinkThread::titleChanged, qApp, [&] {
            if (titleAtFirstReport.isEmpty() && window)
                titleAtFirstReport = window->windowTitle();
        });
    });
    EXPECT_EQ(titleAtFirstReport, "Dialvane");
    EXPECT_EQ(w.configuration().BackroomFolder + '|' + w.TXTLogPath->text() + '|' +
                  w.TXTDaysToKeep->text() + '|' + w.configuration().SendDelay,
              home + '|' + home + "|60|200");
    EXPECT_EQ(w.cboComPort->currentText() + w.cboConnection->currentText() +
                  w.cboSpeed->currentText(),
              "1Direct9600");
    EXPECT_TRUE(w.DefaultsUsed());
    // The Save action ran: nothing differed, so no file appeared, but the port opened twice.
    EXPECT_FALSE(QFile::exists(program + "Dialvane.ini"));
    EXPECT_EQ(opens(), 2u);
    EXPECT_EQ(lastOpen().device, deviceForPort(1, {}));
    EXPECT_EQ(w.windowTitle(), "9600,n,8,1 COM1");
    EXPECT_FALSE(w.cmdSave->isEnabled());
    EXPECT_FALSE(w.txtBackroomPath->isEnabled());
    // A missing file is said, never silently taken for a configuration.
    ASSERT_EQ(messages.size(), 1) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages[0].contains("Dialvane.ini does not exist"));
}

TEST_F(StartupTest, StoredSettingsReachTheFieldsAndTheLink) {
    const QString data = tmp.filePath("data"), logs = tmp.filePath("logs");
    for (auto [section, key, value] : {std::tuple{"Path", "BackroomPath", data},
                                       {"Path", "LogPath", logs},
                                       {"Global", "GDelay", QString("350")},
                                       {"Communication", "ComPort", QString("3")},
                                       {"Communication", "Connection", QString("Modem")},
                                       {"Communication", "Speed", QString("2400")},
                                       {"Ports", "COM3", QString("tcp:127.0.0.1:0")}})
        ini(section, key, value);
    frmmain& w = start();
    EXPECT_FALSE(w.DefaultsUsed());
    EXPECT_EQ(w.txtBackroomPath->text(), data + '/');
    ASSERT_EQ(opens(), 1u); // no built-in folder, no Save at start
    EXPECT_EQ(lastOpenedAs(), "M24003");
    const PortRequest r = lastOpen();
    EXPECT_EQ(r.device, "tcp:127.0.0.1:0");
    EXPECT_EQ(r.config.BackroomFolder + '|' + r.config.LogFolder + '|' + r.config.SendDelay,
              data + "/|" + logs + "/|350");
    EXPECT_EQ(w.windowTitle(), "2400,n,8,1 COM3");
}

TEST_F(StartupTest, FoldersFallBackToTheCompanionProduct) {
    const QString e = tmp.filePath("E"), g = tmp.filePath("G"), l = tmp.filePath("L");
    struct Case {
        QString own, resto, log, general, backroom, logFolder;
        bool defaults;
    } cases[] = {
        {"", e, "", g + '/', e + '/', g + "/Logs/", false},
        {"", e, l, "", e + '/', l + '/', false},
        {"", e, "", g, e + '/', g + "Logs/", false}, // nothing put between G and Logs
        {"", e, "", "", e + '/', e + '/', true},
        {"", "", "", g, home, g + "Logs/", true},
        {"D", e, l, "", "", l + '/', false}, // one character: no folder at all
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.own + '|' + c.resto + '|' + c.log + '|' + c.general).toStdString());
        QFile::remove(program + "Dialvane.ini");
        if (!c.own.isEmpty())
            ini("Path", "BackroomPath", c.own);
        registry.values = {{"Stockwell/Global/GRestoPath", c.resto},
                           {"Stockwell/Global/LogPath", c.log},
                           {"Stockwell/Global/GGeneralPath", c.general}};
        frmmain& w = start();
        EXPECT_EQ(w.configuration().BackroomFolder, c.backroom);
        EXPECT_EQ(w.txtBackroomPath->text(), c.backroom);
        EXPECT_EQ(w.configuration().LogFolder, c.logFolder);
        EXPECT_EQ(w.DefaultsUsed(), c.defaults);
        stop();
    }
    // The companion's own INI file beside the station wins over its registry when switched on.
    WritePrivateProfileString("Global", "GUseIni", "True", program + "Stockwell.ini");
    WritePrivateProfileString("Global", "GRestoPath", g, program + "Stockwell.ini");
    QFile::remove(program + "Dialvane.ini");
    EXPECT_EQ(start().configuration().BackroomFolder, g + '/');
}

TEST_F(StartupTest, DaysToKeepAreReadLenientlyAndListValuesTheListsCannotShowAreKept) {
    storeFolders();
    for (auto [text, days] :
         {std::pair{"abc", 60}, {"", 60}, {"7.5", 8}, {"6.5", 6}, {" 30 ", 30}}) {
        SCOPED_TRACE(text);
        ini("Global", "DaysToKeep", text);
        EXPECT_EQ(start().TXTDaysToKeep->text(), QString::number(days));
        stop();
    }
    messages.clear();
    ini("Global", "DaysToKeep", "30");
    ini("Communication", "ComPort", "12");
    ini("Communication", "Speed", "4800");
    ini("Communication", "Connection", "modem");
    frmmain& w = start();
    EXPECT_EQ(w.configuration().PortNumber, 12);
    EXPECT_EQ(w.configuration().ConnectionType, "modem");
    EXPECT_EQ(lastOpenedAs(), "D96001");
    EXPECT_EQ(stored("Communication", "ComPort"), "12");
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
    stop();

    // With a built-in folder the Save at start stores what the lists show instead.
    QFile::remove(program + "Dialvane.ini");
    ini("Communication", "ComPort", "12");
    ini("Communication", "Speed", "4800");
    start();
    EXPECT_EQ(stored("Communication", "ComPort") + '|' + stored("Communication", "Speed") + '|' +
                  stored("Path", "BackroomPath"),
              "1|9600|<absent>");
}

TEST_F(StartupTest, AValueThatCannotBeReadIsReportedAndTheStationAnswersWithItsDefault) {
    touch(tmp.filePath("backroom/000123/trfbru1"));
    for (auto [section, key, value] : {std::tuple{"Global", "DaysToKeep", "40000"},
                                       {"Communication", "ComPort", "1junk"},
                                       {"Communication", "Speed", "abc"}}) {
        SCOPED_TRACE(key);
        QFile::remove(program + "Dialvane.ini");
        messages.clear();
        storeFolders();
        ini(section, key, value);
        frmmain& w = start();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].contains(QString("%1=\"%2\"").arg(key, value)))
            << messages[0].toStdString();
        // The rest of the start-up ran: the port opened with the default, the list filled.
        EXPECT_EQ(lastOpenedAs(), "D96001");
        EXPECT_EQ(w.windowTitle(), "9600,n,8,1 COM1");
        EXPECT_EQ(w.LVWFileDetails->topLevelItemCount(), 1);
        EXPECT_EQ(w.TXTDaysToKeep->text(), "60");
        EXPECT_EQ(stored(section, key), value) << "the file is left for the operator to mend";
        stop();
    }
}

TEST_F(StartupTest, ListsRestaurantsPurgesOldLogsAndReportsFailuresInTurn) {
    storeFolders();
    const QString backroom = tmp.filePath("backroom/"), logs = tmp.filePath("logs/");
    for (const char* name : {"000123/trfbru1", "000124/trfbru2", "12345/trfbru1", "000125"})
        touch(backroom + name);
    touch(logs + "Dialvane20261005-235959-000123.log"); // before the cutoff of 60 days
    touch(logs + "Dialvane20261006-000000-000123.log");
    busy(1); // the port fails, and the start-up goes on
    frmmain& w = start();
    ASSERT_EQ(w.LVWFileDetails->topLevelItemCount(), 1);
    EXPECT_EQ(w.LVWFileDetails->topLevelItem(0)->text(0), "000123");
    EXPECT_FALSE(w.LVWFileDetails->topLevelItem(0)->text(1).isEmpty());
    EXPECT_FALSE(w.LVWFileDetails->isHidden());
    EXPECT_FALSE(QFile::exists(logs + "Dialvane20261005-235959-000123.log"));
    EXPECT_TRUE(QFile::exists(logs + "Dialvane20261006-000000-000123.log"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("COM1")) << messages[0].toStdString();
    // The title keeps what the port routines set last: the settings tried.
    EXPECT_EQ(w.windowTitle(), "9600,n,8,1 COM1");
    stop();

    messages.clear();
    ini("Path", "LogPath", tmp.filePath("no-such-folder"));
    start();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages.join('\n').contains("no-such-folder"))
        << messages.join('\n').toStdString();
}

} // namespace
} // namespace dialvane::test
