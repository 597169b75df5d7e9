// The configuration panel: its lock, the change check, the Save action, the focus routines of
// its fields, the folder buttons and the unlock button with the real password dialog.
#include "StationFixture.h"
#include "textentry/MainModule.h"

#include "unlock/frmPassword.h"

#include <QTimer>

namespace dialvane::test {
namespace {

class PanelTest : public StoredFoldersTest {
protected:
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
    QByteArray iniBytes() const {
        QFile f(program + "Dialvane.ini");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

TEST_F(PanelTest, LockedUntilTheRightPasswordAndLockedAgainBySave) {
    frmmain& w = start();
    EXPECT_TRUE(panelEnabled(false));
    for (QWidget* untouched :
         QWidgetList{w.FramePath, w.FrameCommunication, w.LVWFileDetails, w.cmdClose, w.cmdUnlock})
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
    frmmain& w = start();
    unlock();
    const QString backroom = tmp.filePath("backroom/");
    const struct {
        QWidget* field;
        QString value;
        bool changed;
    } cases[] = {
        {w.txtBackroomPath, backroom.toUpper(), false},
        {w.TXTLogPath, "/elsewhere/", true},
        {w.txtBackroomPath, backroom.chopped(1), true},
        {w.TXTDaysToKeep, "060", true},
        {w.TXTDaysToKeep, " 60", true},
        {w.TXTDaysToKeep, "60", false},
        {w.cboComPort, "3", true},
        {w.cboConnection, "Modem", true},
        {w.cboSpeed, "1200", true},
    };
    auto set = [](QWidget* field, const QString& value) {
        if (auto* text = qobject_cast<QLineEdit*>(field))
            text->setText(value);
        else
            static_cast<QComboBox*>(field)->setCurrentText(value);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.field->objectName() + '=' + c.value).toStdString());
        const QString kept = qobject_cast<QLineEdit*>(c.field)
                                 ? static_cast<QLineEdit*>(c.field)->text()
                                 : static_cast<QComboBox*>(c.field)->currentText();
        set(c.field, c.value);
        w.CheckForChanges();
        EXPECT_EQ(w.cmdSave->isEnabled(), c.changed);
        set(c.field, kept);
        w.CheckForChanges();
        ASSERT_FALSE(w.cmdSave->isEnabled());
    }
}

TEST_F(PanelTest, SaveStoresWhatDiffersInItsOwnForm) {
    const QString data = tmp.filePath("Data"), own = tmp.filePath("backroom/"),
                  upper = own.toUpper(), absent = "<absent>";
    const struct {
        QString backroom, days, storedBackroom, storedDays, field;
        int keep;
    } cases[] = {
        {data, "60", data + '/', absent, "60", 60},
        {"D", "60", "", absent, "60", 60},    // a single character empties the folder
        {upper, "30", upper, "30", "30", 30}, // a new case rides along another change
        {own, "060", own, absent, "060", 60}, // same value
        {own, "7.5", own, "8", "7.5", 8},
        {own, "abc", own, absent, "60", 60}, // kept, shown again
        {own, "40000", own, absent, "60", 60},
        {own, "", own, absent, "60", 60},
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
        EXPECT_EQ(stored("Path", "BackroomPath"), c.storedBackroom);
        EXPECT_EQ(w.configuration().BackroomFolder, w.txtBackroomPath->text());
        EXPECT_EQ(stored("Global", "DaysToKeep"), c.storedDays);
        EXPECT_EQ(w.TXTDaysToKeep->text(), c.field);
        EXPECT_EQ(w.configuration().KeepDays, c.keep);
        EXPECT_EQ(lastOpen().config.BackroomFolder, w.configuration().BackroomFolder);
        EXPECT_TRUE(panelEnabled(false));
        stop();
    }
}

TEST_F(PanelTest, SaveWithNothingToStoreStillReopens) {
    frmmain& w = start();
    unlock();
    const QByteArray before = iniBytes();
    w.Save();
    settle();
    EXPECT_EQ(iniBytes(), before);
    EXPECT_EQ(opens(), 2u);
    EXPECT_TRUE(panelEnabled(false));
}

TEST_F(PanelTest, FieldsSelectOnFocusCheckWhenLeftAndTheDaysFieldTakesThreeDigits) {
    int beeps = 0;
    setRefusalBeep([&] { ++beeps; });
    frmmain& w = start();
    unlock();
    showActive();
    w.cmdClose->setFocus();
    for (TextBox* field : {w.txtBackroomPath, w.TXTLogPath, w.TXTDaysToKeep}) {
        for (int tabs = 0; tabs < 20 && QApplication::focusWidget() != field; ++tabs)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(field->selectedText(), field->text()) << field->objectName().toStdString();
    }
    QTest::keyClicks(w.TXTDaysToKeep, "4a567");
    EXPECT_EQ(w.TXTDaysToKeep->text(), "456");
    EXPECT_EQ(beeps, 2); // the letter and the fourth digit
    setRefusalBeep({});
    QTest::keyClick(w.TXTDaysToKeep, Qt::Key_Return);
    QApplication::processEvents(); // the focus moves once the Enter key has been handled
    EXPECT_NE(QApplication::focusWidget(), w.TXTDaysToKeep);
    EXPECT_TRUE(w.cmdSave->isEnabled());

    // Emptied and left: refilled before the check, so nothing to save.
    w.TXTDaysToKeep->setFocus();
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

TEST_F(PanelTest, TheUnlockButtonShowsThePasswordDialogThenFolderButtonsAndKeyFilterWork) {
    QList<int> keys;
    frmmain& w = start([&](MainWindowContext& context) {
        context.askPassword = nullptr;
        context.daysKeyPress = [&](int& KeyAscii) {
            keys << KeyAscii;
            if (KeyAscii == 'a')
                KeyAscii = 0;
        };
    });
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
    ASSERT_TRUE(panelEnabled(true));
    EXPECT_TRUE(w.cmdUnlock->isHidden());

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

} // namespace
} // namespace dialvane::test
