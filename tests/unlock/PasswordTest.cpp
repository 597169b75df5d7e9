// The administrative password dialog: the daily number however written, Enter and Escape, the
// change of day, the pre-fill on the one workstation, and a stored password that replaces them.
#include "common/PasswordHash.h"
#include "support/ManualClock.h"
#include "unlock/frmPassword.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

class PasswordTest : public ::testing::Test {
protected:
    std::unique_ptr<frmPassword> open() {
        PasswordContext context;
        context.clock = &clock;
        context.environment = [this](const char* name) {
            return QByteArray(name) == "COMPUTERNAME" ? computerName : QString();
        };
        context.locale = locale;
        context.passwordHash = hash;
        auto dialog = std::make_unique<frmPassword>(context);
        dialog->show();
        activate(*dialog);
        return dialog;
    }
    static void activate(frmPassword& d) {
        QEvent activation(QEvent::WindowActivate);
        QApplication::sendEvent(&d, &activation);
    }
    QString right() const {
        return QString::number(frmPassword::ExpectedPasswordNumber(clock.localTime()));
    }
    // Types `text` and Enter; true when the dialog closed accepted.
    static bool enter(frmPassword& d, const QString& text) {
        QTest::keyClicks(d.txtPassword, text);
        QTest::keyClick(d.txtPassword, Qt::Key_Return);
        return d.PasswordAccepted() && !d.isVisible() && d.result() == QDialog::Accepted;
    }

    ManualClock clock{QDateTime(QDate(2026, 12, 5), QTime(23, 59, 59))};
    QString computerName = "STATION1";
    QLocale locale = QLocale::c();
    QString hash;
};

// The day of the month plus 482, as the administrators work it out: it must not drift.
TEST_F(PasswordTest, TheRightNumberHoweverWrittenClosesTheDialogAccepted) {
    EXPECT_EQ(right(), "487");
    for (const QString& text : {right(), "00" + right(), " " + right() + " ", right() + ".0"})
        EXPECT_TRUE(enter(*open(), text)) << text.toStdString();
    locale = QLocale(QLocale::German, QLocale::Germany);
    EXPECT_TRUE(enter(*open(), right() + ",0"));
    EXPECT_FALSE(enter(*open(), right() + ",5"));
}

TEST_F(PasswordTest, WrongOrNoNumbersLeaveItOpenUntilEscape) {
    auto d = open();
    for (const QString& text :
         {QString(), QString("   "), QString("abc"), QString::number(right().toInt() - 1),
          QString::number(right().toInt() + 1)}) {
        d->txtPassword->clear();
        EXPECT_FALSE(enter(*d, text));
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->txtPassword->text(), text); // Enter inserts nothing
        EXPECT_EQ(d->txtPassword->displayText(), QString(text.size(), '*'));
    }
    QTest::keyClick(d->txtPassword, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible() || d->PasswordAccepted());
}

TEST_F(PasswordTest, TheOneWorkstationGetsItFilledInOnEveryActivation) {
    for (const char* name : {"qzr8", "QZR8 ", ""}) {
        computerName = name;
        EXPECT_TRUE(open()->txtPassword->text().isEmpty()) << name;
    }
    computerName = "QZR8";
    auto d = open();
    EXPECT_EQ(d->txtPassword->text(), right());
    EXPECT_EQ(d->txtPassword->cursorPosition(), right().size());
    EXPECT_FALSE(d->txtPassword->hasSelectedText());
    // The number is taken at Enter: one filled in before midnight fails...
    clock.advance(std::chrono::seconds(2));
    EXPECT_FALSE(enter(*d, ""));
    activate(*d); // ...until the next activation fills it in anew, over what the box holds
    EXPECT_EQ(d->txtPassword->text(), right());
    EXPECT_TRUE(enter(*d, ""));
}

// A stored password is the only way in: the day's number no longer unlocks, and a hash that is
// malformed or too cheap to derive unlocks nothing at all, not even its own password.
TEST_F(PasswordTest, AStoredPasswordReplacesTheNumberAndABadOneUnlocksNothing) {
    const QString good = PasswordHash::derive("sel et poivre").text();
    const struct {
        QString hash;
        QString entered;
        bool unlocks;
    } cases[] = {
        {good, "sel et poivre", true},
        {good, right(), false}, // the day's number no longer works
        {PasswordHash::derive("sel et poivre", 599'999).text(), "sel et poivre", false},
        {QString(good).replace("pbkdf2-sha256$", "pbkdf2-sha1$"), "sel et poivre", false},
        {QString(good).replace("$600000$", "$+600000$"), "sel et poivre", false},
        {good + "$", "sel et poivre", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(frmPassword::Unlocks(c.hash, c.entered, clock.localTime(), locale), c.unlocks)
            << c.hash.toStdString() << " / " << c.entered.toStdString();
}

// The dialog checks a stored password off its thread: nothing is filled in even on the one
// workstation, the box takes no keys meanwhile, and the right password closes it accepted.
TEST_F(PasswordTest, TheDialogChecksAStoredPasswordWithoutFreezing) {
    computerName = "QZR8";
    hash = PasswordHash::derive("poivre").text();
    auto d = open();
    EXPECT_TRUE(d->txtPassword->text().isEmpty());
    QTest::keyClicks(d->txtPassword, "poivre");
    QTest::keyClick(d->txtPassword, Qt::Key_Return);
    EXPECT_FALSE(d->txtPassword->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !d->isVisible(); }, 30000));
    EXPECT_TRUE(d->PasswordAccepted());
}

} // namespace
} // namespace dialvane::test
