// Start-up: where each setting comes from, the fallbacks, the conversions and their failures,
// and what the port, the list and the log folder see afterwards.
#include "StationFixture.h"

namespace dialvane::test {
namespace {

using StartupTest = StationTest;

TEST_F(StartupTest, WithoutAnySettingsEverythingFallsBackAndNothingIsWritten) {
    frmmain& w = start();
    EXPECT_EQ(w.configuration().BackroomFolder, home);
    EXPECT_EQ(w.TXTLogPath->text(), home);
    EXPECT_EQ(w.TXTDaysToKeep->text(), "60");
    EXPECT_EQ(w.configuration().SendDelay, "200");
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
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(StartupTest, StoredSettingsReachTheFieldsAndTheLink) {
    ini("Path", "BackroomPath", tmp.filePath("data"));
    ini("Path", "LogPath", tmp.filePath("logs"));
    ini("Global", "GDelay", "350");
    ini("Communication", "ComPort", "3");
    ini("Communication", "Connection", "Modem");
    ini("Communication", "Speed", "2400");
    ini("Ports", "COM3", "tcp:127.0.0.1:0");
    frmmain& w = start();
    EXPECT_FALSE(w.DefaultsUsed());
    EXPECT_EQ(w.txtBackroomPath->text(), tmp.filePath("data") + '/');
    ASSERT_EQ(opens(), 1u); // no built-in folder, no Save at start
    const PortRequest r = lastOpen();
    EXPECT_EQ(r.connectionLetter + QString::number(r.speed) + QString::number(r.portNumber),
              "M24003");
    EXPECT_EQ(r.device, "tcp:127.0.0.1:0");
    EXPECT_EQ(r.config.BackroomFolder, tmp.filePath("data") + '/');
    EXPECT_EQ(r.config.LogFolder, tmp.filePath("logs") + '/');
    EXPECT_EQ(r.config.SendDelay, "350");
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

TEST_F(StartupTest, DaysToKeepAreReadLenientlyButMustFitSixteenBits) {
    for (auto [text, days] :
         {std::pair{"abc", 60}, {"", 60}, {"7.5", 8}, {"6.5", 6}, {" 30 ", 30}}) {
        SCOPED_TRACE(text);
        storeFolders();
        ini("Global", "DaysToKeep", text);
        EXPECT_EQ(start().TXTDaysToKeep->text(), QString::number(days));
        stop();
    }
    ASSERT_TRUE(messages.isEmpty());
    ini("Global", "DaysToKeep", "40000");
    touch(tmp.filePath("backroom/000123/trfbru1"));
    frmmain& w = start();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("40000")) << messages[0].toStdString();
    // Everything after the days was skipped: no choices, no port, no list; Save as created.
    EXPECT_EQ(w.cboComPort->currentIndex(), -1);
    EXPECT_EQ(opens(), 0u);
    EXPECT_EQ(w.windowTitle(), "Dialvane");
    EXPECT_EQ(w.LVWFileDetails->topLevelItemCount(), 0);
    EXPECT_TRUE(w.cmdSave->isEnabled());
    EXPECT_FALSE(w.cboComPort->isEnabled());
}

TEST_F(StartupTest, ValuesTheListsCannotShowAreKeptOrSavedAndNonNumbersStop) {
    storeFolders();
    ini("Communication", "ComPort", "12");
    ini("Communication", "Speed", "4800");
    ini("Communication", "Connection", "modem");
    frmmain& w = start();
    EXPECT_EQ(w.configuration().PortNumber, 12);
    EXPECT_EQ(w.configuration().ConnectionType, "modem");
    EXPECT_EQ(lastOpen().connectionLetter + QString::number(lastOpen().speed) +
                  QString::number(lastOpen().portNumber),
              "D96001");
    EXPECT_EQ(stored("Communication", "ComPort"), "12");
    stop();

    // With a built-in folder the Save at start stores what the lists show instead.
    QFile::remove(program + "Dialvane.ini");
    ini("Communication", "ComPort", "12");
    ini("Communication", "Speed", "4800");
    start();
    EXPECT_EQ(stored("Communication", "ComPort"), "1");
    EXPECT_EQ(stored("Communication", "Speed"), "9600");
    EXPECT_EQ(stored("Path", "BackroomPath"), "<absent>");
    stop();

    for (const char* key : {"ComPort", "Speed"}) {
        SCOPED_TRACE(key);
        messages.clear();
        ini("Communication", "ComPort", "1");
        ini("Communication", "Speed", "9600");
        ini("Communication", key, "x");
        frmmain& x = start();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_TRUE(messages[0].contains("\"x\"")) << messages[0].toStdString();
        EXPECT_EQ(x.cboSpeed->currentIndex(), -1);
        EXPECT_EQ(opens(), 0u);
        stop();
    }
}

TEST_F(StartupTest, ListsRestaurantsPurgesOldLogsAndReportsFailuresInTurn) {
    storeFolders();
    const QString backroom = tmp.filePath("backroom/"), logs = tmp.filePath("logs/");
    touch(backroom + "000123/trfbru1");
    touch(backroom + "000124/trfbru2");
    touch(backroom + "12345/trfbru1");
    touch(backroom + "000125");
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

TEST_F(StartupTest, TheTitleIsDialvaneUntilTheLinkReports) {
    storeFolders();
    QString titleAtCreation;
    start([&](MainWindowContext& context) {
        // Seen from the first queued report on: the window exists, the link has not spoken.
        QObject::connect(context.link, &LinkThread::titleChanged, qApp, [&] {
            if (titleAtCreation.isEmpty() && window)
                titleAtCreation = window->windowTitle();
        });
    });
    EXPECT_EQ(titleAtCreation, "Dialvane");
    EXPECT_EQ(window->windowTitle(), "9600,n,8,1 COM1");
}

} // namespace
} // namespace dialvane::test
