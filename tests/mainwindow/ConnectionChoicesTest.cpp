// The three connection lists: stored values shown, choices read back, and the port reopened
// with what the lists show.
#include "StationFixture.h"

namespace dialvane::test {
namespace {

using ConnectionChoicesTest = StoredFoldersTest;

TEST_F(ConnectionChoicesTest, SelectShowsAnEntryForEveryValueAndGetReadsItBack) {
    frmmain& w = start();
    for (auto [value, shown] : {std::pair{1, "1"}, {9, "9"}, {0, "1"}, {10, "1"}, {-1, "1"}}) {
        w.SelectComPort(static_cast<std::int16_t>(value));
        EXPECT_EQ(w.cboComPort->currentText(), shown) << value;
    }
    for (auto [value, shown] :
         {std::pair{1200, "1200"}, {2400, "2400"}, {300, "9600"}, {19200, "9600"}}) {
        w.SelectSpeed(static_cast<std::int16_t>(value));
        EXPECT_EQ(w.cboSpeed->currentText(), shown) << value;
        EXPECT_EQ(w.GetSelectedSpeed(), QString(shown).toInt());
    }
    for (auto [value, shown] :
         {std::pair{"Modem", "Modem"}, {"modem", "Direct"}, {"MODEM", "Direct"}, {"", "Direct"}}) {
        w.SelectConnection("Modem");
        w.SelectConnection(value);
        EXPECT_EQ(w.cboConnection->currentText(), shown) << value;
        EXPECT_EQ(w.GetSelectedConnection(), shown);
    }
    w.cboComPort->setCurrentText("9");
    EXPECT_EQ(w.GetSelectedComPort(), 9);
    for (QComboBox* list : {w.cboComPort, w.cboSpeed, w.cboConnection}) {
        EXPECT_FALSE(list->isEditable());
        list->setCurrentIndex(-1);
    }
    EXPECT_EQ(QString::number(w.GetSelectedComPort()) + w.GetSelectedConnection() +
                  QString::number(w.GetSelectedSpeed()),
              "1Direct9600");
}

TEST_F(ConnectionChoicesTest, OnlyReopenUsesTheChoicesAndFailuresLeaveThePortClosed) {
    busy(4);
    frmmain& w = start();
    unlock();
    w.cboSpeed->setCurrentText("1200");
    EXPECT_TRUE(w.cmdSave->isEnabled()); // a choice checks for changes
    w.cboComPort->setCurrentText("2");
    settle();
    EXPECT_EQ(opens(), 1u); // choosing does not touch the port
    w.ReopenPort();
    settle();
    EXPECT_EQ(lastOpenedAs(), "D12002");
    EXPECT_EQ(lastOpen().device, deviceForPort(2, {}));
    EXPECT_EQ(w.windowTitle(), "1200,n,8,1 COM2");
    EXPECT_EQ(w.configuration().PortNumber, 1); // the stored value plays no part

    w.cboComPort->setCurrentText("4");
    w.cmdSave->click();
    settle();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("COM4")) << messages[0].toStdString();
    // The Save that called it still locks the panel.
    EXPECT_FALSE(w.cmdUnlock->isHidden());
    EXPECT_FALSE(w.cboComPort->isEnabled());

    // A list without a choice cannot be read: the port is closed, nothing is opened.
    const std::size_t before = opens();
    w.cboSpeed->setCurrentIndex(-1);
    w.ReopenPort();
    settle();
    EXPECT_EQ(messages.size(), 2);
    EXPECT_EQ(opens(), before);
    EXPECT_EQ(w.windowTitle(), "FERME/CLOSED");
}

} // namespace
} // namespace dialvane::test
