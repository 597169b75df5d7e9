// The days-to-keep field: its key press (three digits, Enter moving on as Tab) and its
// validation (an empty field shows the days in effect again).
#include "TypingBox.h"
#include "textentry/MainModule.h"

#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

class DaysFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        setRefusalBeep([this] { ++beeps; });
        // Created in an order that differs from the tab order, so that a move by creation
        // order would be caught.
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(nextInTabOrder);
        layout->addWidget(days);
        layout->addWidget(new QLineEdit(&window));
        QWidget::setTabOrder(days, nextInTabOrder);
        days->filter = [this](int& KeyAscii) {
            DaysToKeepKeyPress(days, KeyAscii, QLocale(QLocale::English));
        };
        window.show();
        days->setFocus(Qt::TabFocusReason);
    }
    void TearDown() override { setRefusalBeep({}); }

    QWidget window;
    QLineEdit* nextInTabOrder = new QLineEdit(&window);
    TypingBox* days = new TypingBox(&window);
    int beeps = 0;
};

TEST_F(DaysFieldTest, TakesAWholeNumberOfAtMostThreeDigits) {
    QTest::keyClicks(days, "-1.2,34");
    EXPECT_EQ(days->text(), "123");
    EXPECT_EQ(beeps, 4);
}

TEST_F(DaysFieldTest, EnterMovesTheFocusOnAsTabOnceTheKeyIsHandled) {
    days->setText("90");
    days->selectAll(); // as on arrival: Enter leaves the value alone all the same
    QSignalSpy returnPressed(days, &QLineEdit::returnPressed);
    QTest::keyClick(days, Qt::Key_Return);
    EXPECT_EQ(returnPressed.count(), 1); // the Enter key itself went through
    EXPECT_EQ(window.focusWidget(), days);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.focusWidget(), nextInTabOrder);
    EXPECT_EQ(days->text(), "90");
    EXPECT_EQ(beeps, 0);
}

TEST_F(DaysFieldTest, ValidationRefillsAnEmptyFieldWithTheDaysInEffectAndChecksChanges) {
    int checks = 0;
    days->setText("7"); // typed by the operator: stays for the change check to see
    DaysToKeepValidate(days, 60, [&] { ++checks; });
    EXPECT_EQ(days->text(), "7");
    for (std::int16_t keepDays : {60, 0, -5, 32767}) {
        days->setText("");
        DaysToKeepValidate(days, keepDays, [&] { ++checks; });
        EXPECT_EQ(days->text(), QString::number(keepDays));
    }
    EXPECT_EQ(checks, 5);
}

} // namespace
} // namespace dialvane::test
