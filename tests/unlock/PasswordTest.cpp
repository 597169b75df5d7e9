// The administrative password dialog: the daily number, Enter and Escape, numbers written in
// other ways, the change of day, and the pre-fill on the one workstation.
#include "unlock/frmPassword.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

class PasswordTest : public ::testing::Test {
protected:
    std::unique_ptr<frmPassword> open() {
        PasswordContext context;
        context.now = [this] { return now; };
        context.environment = [this](const char* name) {
            return QString::fromLatin1(name) == "COMPUTERNAME" ? computerName : QString();
        };
        context.locale = locale;
        auto dialog = std::make_unique<frmPassword>(context);
        dialog->show();
        // Activation is what the window system reports when the dialog comes to the front.
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(dialog.get(), &activate);
        return dialog;
    }
    QString right() const { return QString::number(frmPassword::ExpectedPasswordNumber(now)); }
    static void type(frmPassword& d, const QString& text) { QTest::keyClicks(d.txtPassword, text); }
    static void enter(frmPassword& d) { QTest::keyClick(d.txtPassword, Qt::Key_Return); }

    QDateTime now = QDateTime(QDate(2026, 12, 5), QTime(10, 0));
    QString computerName = QStringLiteral("STATION1");
    QLocale locale = QLocale::c();
};

TEST_F(PasswordTest, TheDialogAsLaidOut) {
    auto d = open();
    EXPECT_EQ(d->windowTitle(), "Administrative Password");
    EXPECT_EQ(d->Label1->text(), "Enter Password");
    EXPECT_TRUE(d->txtPassword->text().isEmpty());
    EXPECT_EQ(d->txtPassword->echoMode(), QLineEdit::Password);
    type(*d, "12a");
    EXPECT_EQ(d->txtPassword->displayText(), "***");
    EXPECT_EQ(d->txtPassword->text(), "12a"); // no filter of its own
    EXPECT_TRUE(d->isModal());
    EXPECT_EQ(d->size(), QSize(266, 39));
    EXPECT_FALSE(d->PasswordAccepted());
}

TEST_F(PasswordTest, ThePasswordIsTheDayPlusAFixedThreeDigitOffset) {
    const auto onDay = [](int day) {
        return frmPassword::ExpectedPasswordNumber(QDateTime(QDate(2026, 1, day), QTime(12, 0)));
    };
    EXPECT_EQ(onDay(31) - onDay(1), 30);
    const int offset = onDay(1) - 1;
    EXPECT_GE(offset, 100);
    EXPECT_LE(offset, 999 - 31);
    EXPECT_EQ(frmPassword::ExpectedPasswordNumber(QDateTime(QDate(2027, 2, 28), QTime(0, 0))),
              offset + 28);
}

TEST_F(PasswordTest, TheRightNumberAndEnterCloseTheDialogAccepted) {
    auto d = open();
    type(*d, right());
    enter(*d);
    EXPECT_TRUE(d->PasswordAccepted());
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), QDialog::Accepted);
}

TEST_F(PasswordTest, AWrongNumberLeavesTheDialogOpenWithItsText) {
    auto d = open();
    const QString wrong = QString::number(right().toInt() + 1);
    type(*d, wrong);
    enter(*d);
    EXPECT_FALSE(d->PasswordAccepted());
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(d->txtPassword->text(), wrong); // Enter inserted nothing
    EXPECT_EQ(d->txtPassword->cursorPosition(), wrong.size());

    // Escape after a wrong entry closes it, not accepted.
    QTest::keyClick(d->txtPassword, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_FALSE(d->PasswordAccepted());
}

TEST_F(PasswordTest, TextThatIsNoNumberAndAnEmptyBoxAreIgnored) {
    for (const char* text : {"", "   ", "abc", "12x"}) {
        SCOPED_TRACE(text);
        auto d = open();
        type(*d, text);
        enter(*d);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->txtPassword->text(), text);
        QTest::keyClick(d->txtPassword, Qt::Key_Escape);
        EXPECT_FALSE(d->isVisible());
        EXPECT_FALSE(d->PasswordAccepted());
    }
}

TEST_F(PasswordTest, TheNumberCountsNotHowItIsWritten) {
    const QString r = right();
    for (const QString& text : {"00" + r, " " + r + " ", r + ".0", r + ".000"}) {
        SCOPED_TRACE(text.toStdString());
        auto d = open();
        type(*d, text);
        enter(*d);
        EXPECT_TRUE(d->PasswordAccepted());
    }
    // The regional decimal separator: a comma in German.
    locale = QLocale(QLocale::German, QLocale::Germany);
    auto d = open();
    type(*d, r + ",0");
    enter(*d);
    EXPECT_TRUE(d->PasswordAccepted());
    // ...where r,5 is a number too, but not the right one.
    auto e = open();
    type(*e, r + ",5");
    enter(*e);
    EXPECT_FALSE(e->PasswordAccepted());
    EXPECT_TRUE(e->isVisible());
}

TEST_F(PasswordTest, TheNumberIsTakenWhenEnterIsPressed) {
    now = QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59));
    auto d = open();
    const QString yesterday = right();
    type(*d, yesterday);
    now = now.addSecs(2);
    enter(*d);
    EXPECT_FALSE(d->PasswordAccepted());
    EXPECT_TRUE(d->isVisible());
    d->txtPassword->clear();
    type(*d, right());
    enter(*d);
    EXPECT_TRUE(d->PasswordAccepted());
}

TEST_F(PasswordTest, TheOneWorkstationGetsThePasswordFilledInOnEveryActivation) {
    computerName = QStringLiteral("QZR8");
    auto d = open();
    EXPECT_EQ(d->txtPassword->text(), right());
    EXPECT_EQ(d->txtPassword->cursorPosition(), right().size());
    EXPECT_FALSE(d->txtPassword->hasSelectedText());

    type(*d, "77");
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(d.get(), &activate);
    EXPECT_EQ(d->txtPassword->text(), right());

    // A pre-fill made before midnight fails after it, until the next activation.
    now = now.addDays(1);
    enter(*d);
    EXPECT_FALSE(d->PasswordAccepted());
    QApplication::sendEvent(d.get(), &activate);
    enter(*d);
    EXPECT_TRUE(d->PasswordAccepted());
}

TEST_F(PasswordTest, OtherNamesGetNoPreFill) {
    for (const char* name : {"qzr8", "QZR8 ", "QZR", ""}) {
        SCOPED_TRACE(name);
        computerName = QString::fromLatin1(name);
        auto d = open();
        EXPECT_TRUE(d->txtPassword->text().isEmpty());
    }
}

} // namespace
} // namespace dialvane::test
