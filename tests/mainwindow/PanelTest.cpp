// The configuration panel: its lock, the change check, the Save action, the focus routines of
// its fields, the folder buttons and the unlock button with the real password dialog.
#include "StationFixture.h"
#include "textentry/MainModule.h"

#include "unlock/frmPassword.h"

#include <QTest>
#include <QTimer>

namespace dialvane::test {
namespace {

class PanelTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        storeFolders();
    }
    QList<QWidget*> panelSet() const {
        const frmmain& w = *window;
        return {w.Label1,     w.Label2,          w.Label3,     w.Label4,        w.Label5,
                w.Label6,     w.Label7,          w.TXTLogPath, w.TXTDaysToKeep, w.txtBackroomPath,
                w.CMDLogPath, w.cmdBackroomPath, w.cboComPort, w.cboConnection, w.cboSpeed};
    }
    bool panelEnabled(bool enabled) const {
        for (QWidget* widget : panelSet())
            if (widget->isEnabled() != enabled)
                return false;
        return true;
    }
    void showActive() {
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    // What leaving an edited field does, then a click on Save.
    void saveEdits() {
        window->CheckForChanges();
        window->cmdSave->click();
        settle();
    }
};

TEST_F(PanelTest, LockedUntilTheRightPasswordAndLockedAgainBySave) {
    frmmain& w = start();
    EXPECT_TRUE(panelEnabled(false));
    for (QWidget* untouched : QList<QWidget*>{w.FramePath, w.FrameCommunication, w.LVWFileDetails,
                                              w.cmdClose, w.cmdUnlock})
        EXPECT_TRUE(untouched->isEnabled()) << untouched->objectName().toStdString();
    EXPECT_FALSE(w.cmdSave->isEnabled());

    w.cmdUnlock->click(); // wrong password
    EXPECT_TRUE(panelEnabled(false));
    EXPECT_FALSE(w.cmdUnlock->isHidden());
    unlock();
    EXPECT_TRUE(panelEnabled(true));
    EXPECT_TRUE(w.cmdUnlock->isHidden());
    EXPECT_FALSE(w.cmdSave->isEnabled());

    // Port 1 -> 3: only "ComPort" is stored, the port reopens as 3, the panel locks.
    w.cboComPort->setCurrentText("3");
    w.cboComPort->setCurrentText("1");
    EXPECT_FALSE(w.cmdSave->isEnabled());
    w.cboComPort->setCurrentText("3");
    w.cmdSave->click();
    settle();
    EXPECT_EQ(stored("Communication", "ComPort"), "3");
    EXPECT_EQ(stored("Communication", "Speed") + stored("Communication", "Connection") +
                  stored("Global", "DaysToKeep"),
              "<absent><absent><absent>");
    EXPECT_EQ(lastOpen().portNumber, 3);
    EXPECT_EQ(opens(), 2u);
    EXPECT_TRUE(panelEnabled(false));
    EXPECT_FALSE(w.cmdUnlock->isHidden());
    EXPECT_FALSE(w.cmdSave->isEnabled());
}

TEST_F(PanelTest, CheckForChangesComparesEachValueItsOwnWay) {
    const QString backroom = tmp.filePath("backroom/");
    const std::vector<std::tuple<const char*, std::function<void(frmmain&)>, bool>> cases = {
        {"folder case", [&](frmmain& w) { w.txtBackroomPath->setText(backroom.toUpper()); }, false},
        {"other folder", [](frmmain& w) { w.TXTLogPath->setText("/elsewhere/"); }, true},
        {"no separator", [&](frmmain& w) { w.txtBackroomPath->setText(backroom.chopped(1)); },
         true},
        {"060", [](frmmain& w) { w.TXTDaysToKeep->setText("060"); }, true},
        {" 60", [](frmmain& w) { w.TXTDaysToKeep->setText(" 60"); }, true},
        {"60", [](frmmain& w) { w.TXTDaysToKeep->setText("60"); }, false},
        {"port", [](frmmain& w) { w.cboComPort->setCurrentIndex(2); }, true},
        {"connection", [](frmmain& w) { w.cboConnection->setCurrentIndex(0); }, true},
        {"speed", [](frmmain& w) { w.cboSpeed->setCurrentIndex(0); }, true},
    };
    frmmain& w = start();
    unlock();
    for (const auto& [name, edit, changed] : cases) {
        SCOPED_TRACE(name);
        edit(w);
        w.CheckForChanges();
        EXPECT_EQ(w.cmdSave->isEnabled(), changed);
        w.txtBackroomPath->setText(backroom);
        w.TXTLogPath->setText(tmp.filePath("logs/"));
        w.TXTDaysToKeep->setText("60");
        w.SelectComPort(1);
        w.SelectConnection("Direct");
        w.SelectSpeed(9600);
    }
}

TEST_F(PanelTest, SaveStoresWhatDiffersInItsOwnForm) {
    struct Case {
        QString backroom, days;
        QString storedBackroom, storedDays, field;
        int keep;
    };
    const QString data = tmp.filePath("Data"), upper = tmp.filePath("backroom/").toUpper();
    const Case cases[] = {
        {data, "60", data + '/', "<absent>", "60", 60},
        {"D", "60", "", "<absent>", "60", 60}, // a single character empties the folder
        {upper, "30", upper, "30", "30", 30},  // a new case rides along another change
        {tmp.filePath("backroom/"), "060", "<absent>", "<absent>", "060", 60}, // same value
        {tmp.filePath("backroom/"), "7.5", "<absent>", "8", "7.5", 8},
        {tmp.filePath("backroom/"), "abc", "<absent>", "<absent>", "60", 60}, // kept, shown again
        {tmp.filePath("backroom/"), "40000", "<absent>", "<absent>", "60", 60},
        {tmp.filePath("backroom/"), "", "<absent>", "<absent>", "60", 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE((c.backroom + '|' + c.days).toStdString());
        QFile::remove(program + "Dialvane.ini");
        ini("Path", "LogPath", tmp.filePath("logs/"));
        ini("Path", "BackroomPath", tmp.filePath("backroom/"));
        frmmain& w = start();
        unlock();
        w.txtBackroomPath->setText(c.backroom);
        w.TXTDaysToKeep->setText(c.days);
        saveEdits();
        EXPECT_EQ(stored("Path", "BackroomPath"),
                  c.storedBackroom == "<absent>" ? tmp.filePath("backroom/") : c.storedBackroom);
        EXPECT_EQ(w.configuration().BackroomFolder, w.txtBackroomPath->text());
        EXPECT_EQ(stored("Global", "DaysToKeep"), c.storedDays);
        EXPECT_EQ(w.TXTDaysToKeep->text(), c.field);
        EXPECT_EQ(w.configuration().KeepDays, c.keep);
        EXPECT_EQ(lastOpen().config.BackroomFolder, w.configuration().BackroomFolder);
        EXPECT_TRUE(panelEnabled(false));
        stop();
    }
}

TEST_F(PanelTest, SaveWithNothingToStoreStillReopensAndSurvivesAnEarlyStop) {
    frmmain& w = start();
    unlock();
    const QByteArray before = [&] {
        QFile f(program + "Dialvane.ini");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    w.Save();
    settle();
    QFile f(program + "Dialvane.ini");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(opens(), 2u);
    EXPECT_TRUE(panelEnabled(false));
    stop();

    // Start-up stopped before any list had a choice; Save (still enabled) keeps those values.
    ini("Communication", "ComPort", "x");
    frmmain& x = start();
    x.cmdSave->click();
    settle();
    EXPECT_EQ(stored("Communication", "ComPort"), "x");
    EXPECT_EQ(stored("Communication", "Speed"), "<absent>");
    EXPECT_EQ(messages.size(), 2); // the stop, then the reopen that could not read the lists
    EXPECT_EQ(x.windowTitle(), "FERME/CLOSED");
}

TEST_F(PanelTest, FieldsSelectTheirTextOnFocusAndCheckWhenLeft) {
    frmmain& w = start();
    unlock();
    showActive();
    w.cmdClose->setFocus();
    for (TextBox* field : {w.txtBackroomPath, w.TXTLogPath, w.TXTDaysToKeep}) {
        for (int tabs = 0; tabs < 20 && QApplication::focusWidget() != field; ++tabs)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(field->selectedText(), field->text()) << field->objectName().toStdString();
    }
    QTest::keyClicks(w.TXTDaysToKeep, "9");
    EXPECT_EQ(w.TXTDaysToKeep->text(), "9");

    // Emptied and left: refilled before the check, so nothing to save.
    w.TXTDaysToKeep->clear();
    w.cboSpeed->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.TXTDaysToKeep->text(), "60");
    EXPECT_FALSE(w.cmdSave->isEnabled());

    for (TextBox* field : {w.txtBackroomPath, w.TXTLogPath}) {
        const QString kept = field->text();
        field->setFocus(Qt::MouseFocusReason);
        EXPECT_EQ(field->selectedText(), kept);
        field->setText("/somewhere/else/");
        EXPECT_FALSE(w.cmdSave->isEnabled()); // typing alone checks nothing
        w.cboSpeed->setFocus(Qt::TabFocusReason);
        EXPECT_TRUE(w.cmdSave->isEnabled());
        field->setFocus();
        field->setText(kept);
        w.cboSpeed->setFocus(Qt::TabFocusReason);
        EXPECT_FALSE(w.cmdSave->isEnabled());
    }

    // The edit field of a combo box is not a text box.
    w.cboSpeed->setEditable(true);
    w.cboSpeed->setFocus();
    w.cboSpeed->lineEdit()->deselect();
    SelectAllOnFocus(&w);
    EXPECT_FALSE(w.cboSpeed->lineEdit()->hasSelectedText());
}

TEST_F(PanelTest, FolderButtonsAndTheDaysKeyFilterAreWired) {
    QList<int> keys;
    frmmain& w = start([&](MainWindowContext& context) {
        context.daysKeyPress = [&](int& KeyAscii) {
            keys << KeyAscii;
            if (KeyAscii == 'a')
                KeyAscii = 0;
        };
    });
    unlock();
    chosenFolder = tmp.filePath("picked");
    w.cmdBackroomPath->click();
    EXPECT_EQ(chooserCalls.value(0), "Backroom/VeldDB|" + tmp.filePath("backroom/"));
    EXPECT_EQ(w.txtBackroomPath->text(), chosenFolder + '/');
    EXPECT_TRUE(w.cmdSave->isEnabled());
    chosenFolder.clear(); // cancelled: nothing changes, nothing is checked
    w.cmdSave->setEnabled(false);
    w.CMDLogPath->click();
    EXPECT_EQ(chooserCalls.value(1), "Log|" + tmp.filePath("logs/"));
    EXPECT_EQ(w.TXTLogPath->text(), tmp.filePath("logs/"));
    EXPECT_FALSE(w.cmdSave->isEnabled());

    w.TXTDaysToKeep->clear();
    QTest::keyClicks(w.TXTDaysToKeep, "1a2");
    QTest::keyClick(w.TXTDaysToKeep, Qt::Key_Left); // no character: not filtered
    EXPECT_EQ(w.TXTDaysToKeep->text(), "12");
    EXPECT_EQ(keys, QList<int>({'1', 'a', '2'}));
}

TEST_F(PanelTest, TheDaysFieldTakesThreeDigitsAndEnterMovesOn) {
    int beeps = 0;
    setRefusalBeep([&] { ++beeps; });
    frmmain& w = start();
    unlock();
    showActive();
    w.TXTDaysToKeep->setFocus();
    w.TXTDaysToKeep->selectAll();
    QTest::keyClicks(w.TXTDaysToKeep, "4a567");
    EXPECT_EQ(w.TXTDaysToKeep->text(), "456");
    EXPECT_EQ(beeps, 2); // the letter and the fourth digit
    QTest::keyClick(w.TXTDaysToKeep, Qt::Key_Return);
    QApplication::processEvents(); // the focus moves once the Enter key has been handled
    EXPECT_NE(QApplication::focusWidget(), w.TXTDaysToKeep);
    EXPECT_TRUE(w.cmdSave->isEnabled());
    setRefusalBeep({});
}

TEST_F(PanelTest, TheUnlockButtonShowsThePasswordDialog) {
    frmmain& w = start([](MainWindowContext& context) { context.askPassword = nullptr; });
    // Should the dialog not come up, the guard ends its modal loop instead of the test hanging.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    guard.start(10000);
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmPassword*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->txtPassword, QString::number(frmPassword::ExpectedPasswordNumber(
                                                  QDateTime::currentDateTime())));
        QTest::keyClick(dialog->txtPassword, Qt::Key_Return);
    });
    w.cmdUnlock->click();
    EXPECT_TRUE(panelEnabled(true));
    EXPECT_TRUE(w.cmdUnlock->isHidden());
}

} // namespace
} // namespace dialvane::test
