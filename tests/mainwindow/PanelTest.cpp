// The configuration panel: its lock and the password that opens it, the change check, the Save
// action and the port it reopens, the fields as the operator types into them, the folder
// buttons, and closing the window.
#include "StationFixture.h"

#include "unlock/frmPassword.h"

#include <QKeyEvent>
#include <QSignalSpy>
#include <QTimer>

namespace dialvane::test {
namespace {

class PanelTest : public StationTest {
protected:
    // Folders stored, so no built-in folder makes the start-up save.
    void SetUp() override {
        StationTest::SetUp();
        storeFolders();
    }
    bool panelEnabled(bool enabled) const {
        const frmmain& w = *window;
        for (QWidget* widget :
             QWidgetList{w.Label1, w.Label2, w.Label3, w.Label4, w.Label5, w.Label6, w.Label7,
                         w.TXTLogPath, w.TXTDaysToKeep, w.txtBackroomPath, w.CMDLogPath,
                         w.cmdBackroomPath, w.cboComPort, w.cboConnection, w.cboSpeed})
            if (widget->isEnabled() != enabled)
                return false;
        return true;
    }
};

TEST_F(PanelTest, LockedUntilTheRightPasswordReopenedFromTheListsAndLockedAgainBySave) {
    busy(4);
    frmmain& w = start();
    EXPECT_TRUE(panelEnabled(false));
    EXPECT_FALSE(w.cmdSave->isEnabled());
    w.cmdUnlock->click(); // wrong password
    EXPECT_TRUE(panelEnabled(false));
    unlock();
    EXPECT_TRUE(panelEnabled(true));
    EXPECT_TRUE(w.cmdUnlock->isHidden());

    // A choice checks for changes and leaves the port alone; a reopen takes what the lists show.
    w.cboComPort->setCurrentText("3");
    w.cboComPort->setCurrentText("1");
    EXPECT_FALSE(w.cmdSave->isEnabled());
    w.cboComPort->setCurrentText("3");
    w.cboSpeed->setCurrentText("1200");
    EXPECT_TRUE(w.cmdSave->isEnabled());
    settle();
    EXPECT_EQ(opens(), 1u);
    w.ReopenPort();
    settle();
    EXPECT_EQ(lastOpenedAs(), "D12003");
    EXPECT_EQ(title(), "1200,n,8,1 COM3");

    // Save stores only what changed, reopens the port and locks the panel, whether or not the
    // port then opens.
    w.cboComPort->setCurrentText("4");
    w.cmdSave->click();
    settle();
    EXPECT_EQ(stored("Communication", "ComPort") + '|' + stored("Communication", "Speed") + '|' +
                  stored("Communication", "Connection") + '|' + stored("Global", "DaysToKeep"),
              "4|1200|<absent>|<absent>");
    EXPECT_EQ(lastOpenedAs(), "D12004");
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("COM4")) << messages[0].toStdString();
    EXPECT_TRUE(panelEnabled(false));
    EXPECT_FALSE(w.cmdUnlock->isHidden());
    EXPECT_FALSE(w.cmdSave->isEnabled());
}

TEST_F(PanelTest, CheckForChangesComparesEachValueItsOwnWay) {
    frmmain& w = start();
    unlock();
    const QString backroom = tmp.filePath("backroom/");
    const struct {
        QWidget* field;
        QString value;
        bool changed;
    } cases[] = {{w.txtBackroomPath, backroom.toUpper(), false},
                 {w.txtBackroomPath, backroom.chopped(1), true},
                 {w.TXTLogPath, "/elsewhere/", true},
                 {w.TXTDaysToKeep, "060", true},
                 {w.TXTDaysToKeep, " 60", true},
                 {w.TXTDaysToKeep, "60", false},
                 {w.cboComPort, "3", true},
                 {w.cboConnection, "Modem", true},
                 {w.cboSpeed, "1200", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE((c.field->objectName() + '=' + c.value).toStdString());
        auto* text = qobject_cast<QLineEdit*>(c.field);
        auto* list = qobject_cast<QComboBox*>(c.field);
        const QString kept = text ? text->text() : list->currentText();
        text ? text->setText(c.value) : list->setCurrentText(c.value);
        w.CheckForChanges();
        EXPECT_EQ(w.cmdSave->isEnabled(), c.changed);
        text ? text->setText(kept) : list->setCurrentText(kept);
        w.CheckForChanges();
        ASSERT_FALSE(w.cmdSave->isEnabled());
    }
}

TEST_F(PanelTest, SaveStoresWhatDiffersInItsOwnForm) {
    const QString data = tmp.filePath("Data"), own = tmp.filePath("backroom/"),
                  upper = own.toUpper(), absent = "<absent>";
    const struct {
        QString backroom, days, storedBackroom, storedDays, field;
    } cases[] = {
        {data, "60", data + '/', absent, "60"},
        {"D", "60", "", absent, "60"},    // a single character empties the folder
        {upper, "30", upper, "30", "30"}, // a new case rides along another change
        {own, "060", own, absent, "060"}, // same value
        {own, "7.5", own, "8", "7.5"},
        {own, "abc", own, absent, "60"}, // kept, shown again
        {own, "40000", own, absent, "60"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.backroom + '|' + c.days).toStdString());
        QFile::remove(program + "Dialvane.ini");
        storeFolders();
        frmmain& w = start();
        unlock();
        w.txtBackroomPath->setText(c.backroom);
        w.TXTDaysToKeep->setText(c.days);
        w.CheckForChanges(); // what leaving the field does
        w.cmdSave->click();
        settle();
        EXPECT_EQ(stored("Path", "BackroomPath") + '|' + stored("Global", "DaysToKeep") + '|' +
                      w.TXTDaysToKeep->text().toStdString(),
                  (c.storedBackroom + '|' + c.storedDays + '|' + c.field).toStdString());
        // The port reopens with the folder the field now shows.
        EXPECT_EQ(lastOpen().config.BackroomFolder, w.txtBackroomPath->text());
        stop();
    }
}

TEST_F(PanelTest, FieldsSelectOnFocusCheckWhenLeftAndTheDaysFieldTakesThreeDigits) {
    frmmain& w = start();
    unlock();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // A text box selects its text on Tab by itself; the fields do it however they get the focus.
    for (TextBox* field : {w.txtBackroomPath, w.TXTLogPath, w.TXTDaysToKeep}) {
        field->setFocus(Qt::MouseFocusReason);
        EXPECT_EQ(field->selectedText(), field->text()) << field->objectName().toStdString();
    }
    QTest::keyClicks(w.TXTDaysToKeep, "4a567");
    EXPECT_EQ(w.TXTDaysToKeep->text(), "456");
    EXPECT_EQ(beeps, 2); // the letter and the fourth digit
    // Editing keys type no character, even Delete with the DEL code some keyboards give it: the
    // filter never sees them.
    QTest::keyClick(w.TXTDaysToKeep, Qt::Key_Home);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(w.TXTDaysToKeep, &del);
    EXPECT_EQ(w.TXTDaysToKeep->text(), "56");
    QTest::keyClick(w.TXTDaysToKeep, Qt::Key_4);
    EXPECT_EQ(beeps, 2);
    // Enter moves on as Tab does, once the key itself has been handled.
    QTest::keyClick(w.TXTDaysToKeep, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.TXTDaysToKeep);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), w.cboComPort);
    EXPECT_TRUE(w.cmdSave->isEnabled());

    // Emptied and left: refilled before the check, so nothing to save.
    w.TXTDaysToKeep->setFocus();
    w.TXTDaysToKeep->clear();
    w.cboSpeed->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.TXTDaysToKeep->text(), "60");
    EXPECT_FALSE(w.cmdSave->isEnabled());

    for (TextBox* field : {w.txtBackroomPath, w.TXTLogPath}) {
        const QString kept = field->text();
        field->setFocus();
        field->setText("/somewhere/else/");
        EXPECT_FALSE(w.cmdSave->isEnabled()); // typing alone checks nothing
        w.cboSpeed->setFocus(Qt::TabFocusReason);
        EXPECT_TRUE(w.cmdSave->isEnabled());
        field->setText(kept);
        w.CheckForChanges();
    }
}

TEST_F(PanelTest, TheUnlockButtonAsksWithThePasswordDialogAndTheFolderButtonsFillTheFields) {
    frmmain& w = start([](MainWindowContext& context) { context.askPassword = nullptr; });
    // Should the dialog not take the number, the guard ends its modal loop instead of the test
    // hanging.
    QTimer::singleShot(10000, &w, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmPassword*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->txtPassword, QString::number(frmPassword::ExpectedPasswordNumber(
                                                  QDateTime::currentDateTime())));
        QTest::keyClick(dialog->txtPassword, Qt::Key_Return);
    });
    w.cmdUnlock->click();
    ASSERT_TRUE(panelEnabled(true));

    // The chooser starts at the field's folder; what it gives goes in with its separator.
    chosenFolder = tmp.filePath("picked");
    w.cmdBackroomPath->click();
    EXPECT_EQ(w.txtBackroomPath->text(), chosenFolder + '/');
    EXPECT_TRUE(w.cmdSave->isEnabled());
    chosenFolder.clear(); // cancelled: nothing changes, nothing is checked
    w.cmdSave->setEnabled(false);
    w.CMDLogPath->click();
    EXPECT_EQ(w.TXTLogPath->text(), tmp.filePath("logs/"));
    EXPECT_FALSE(w.cmdSave->isEnabled());
    EXPECT_EQ(chooserCalls.join('\n'),
              "Backroom/VeldDB|" + tmp.filePath("backroom/") + "\nLog|" + tmp.filePath("logs/"));
}

TEST_F(PanelTest, ClosingEndsWithoutSavingUnloadsTheStatusWindowAndClosesThePort) {
    for (bool byButton : {false, true}) {
        SCOPED_TRACE(byButton ? "button" : "close box");
        frmmain& w = start();
        w.show();
        unlock();
        w.cboComPort->setCurrentText("5");
        w.statusWindow().showStatus();
        QSignalSpy unloaded(&w, &frmmain::unloaded);
        byButton ? w.cmdClose->click() : void(w.close());
        EXPECT_EQ(unloaded.count(), 1);
        EXPECT_FALSE(w.isVisible());
        EXPECT_EQ(w.statusWindow().window(), nullptr);
        EXPECT_EQ(stored("Communication", "ComPort"), "<absent>");
        settle();
        EXPECT_EQ(title(), "FERME/CLOSED");
        stop();
    }
}

} // namespace
} // namespace dialvane::test
