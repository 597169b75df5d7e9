// How the main window ends, its access keys and its pictures.
#include "StationFixture.h"

#include "link/ui/frmcom.h"

#include <QSignalSpy>

namespace dialvane::test {
namespace {

using WindowTest = StoredFoldersTest;

TEST_F(WindowTest, PicturesHeadersAndAccessKeysThatPressTheirButtons) {
    frmmain& w = start();
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_FALSE(w.cmdUnlock->icon().isNull());
    EXPECT_EQ(w.cmdUnlock->toolTip(), QStringLiteral("Unlock / D\u00e9barre"));
    EXPECT_EQ(w.LVWFileDetails->headerItem()->text(0) + ' ' +
                  w.LVWFileDetails->headerItem()->text(1),
              "restonum timestamp");
    showActive();
    unlock();
    w.cboComPort->setCurrentText("2");
    // An access key presses its button visibly: the click follows a moment later.
    QSignalSpy saved(w.cmdSave, &QPushButton::clicked);
    QTest::keyClick(&w, Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(saved.wait(2000));
    EXPECT_EQ(stored("Communication", "ComPort"), "2");
    QSignalSpy unloaded(&w, &frmmain::unloaded);
    QTest::keyClick(&w, Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(unloaded.wait(2000));
    EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowTest, ClosingEndsWithoutSavingUnloadsTheStatusWindowAndClosesThePort) {
    for (bool byButton : {false, true}) {
        SCOPED_TRACE(byButton ? "button" : "close box");
        frmmain& w = start();
        w.show();
        unlock();
        w.cboComPort->setCurrentText("5");
        w.statusWindow().showStatus();
        QSignalSpy unloaded(&w, &frmmain::unloaded);
        if (byButton)
            w.cmdClose->click();
        else
            w.close();
        EXPECT_EQ(unloaded.count(), 1);
        EXPECT_EQ(w.statusWindow().window(), nullptr);
        EXPECT_EQ(stored("Communication", "ComPort"), "<absent>");
        settle();
        EXPECT_EQ(w.windowTitle(), "FERME/CLOSED");
        stop();
    }
}

} // namespace
} // namespace dialvane::test
