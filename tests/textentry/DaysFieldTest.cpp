// The days-to-keep field: its key press (three digits, Enter moving on as Tab) and its
// validation (an empty field shows the days in effect again).
#include "TypingBox.h"
#include "textentry/MainModule.h"

#include <QApplication>
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
        // Created in an order that differs from the tab order, so that moving by creation
        // order would be caught.
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(nextInTabOrder);
        layout->addWidget(days);
        layout->addWidget(nextCreated);
        QWidget::setTabOrder(days, nextInTabOrder);
        QWidget::setTabOrder(nextInTabOrder, nextCreated);
        days->filter = [this](int& KeyAscii) { DaysToKeepKeyPress(days, KeyAscii, locale); };
        window.show();
        days->setFocus(Qt::TabFocusReason);
    }
    void TearDown() override { setRefusalBeep({}); }

    QWidget window;
    QLineEdit* nextInTabOrder = new QLineEdit(&window);
    TypingBox* days = new TypingBox(&window);
    QLineEdit* nextCreated = new QLineEdit(&window);
    QLocale locale = QLocale(QLocale::English, QLocale::UnitedStates);
    int beeps = 0;
};

TEST_F(DaysFieldTest, TakesAWholeNumberOfAtMostThreeDigits) {
    QTest::keyClicks(days, "-1.2,34");
    EXPECT_EQ(days->text(), "123");
    EXPECT_EQ(beeps, 4);

    days->selectAll(); // as the focus leaves it on arrival
    QTest::keyClicks(days, "45");
    EXPECT_EQ(days->text(), "45");
    QTest::keyClick(days, Qt::Key_Backspace);
    EXPECT_EQ(days->text(), "4");
    EXPECT_EQ(beeps, 4);
}

TEST_F(DaysFieldTest, EnterMovesTheFocusOnAsTabOnceTheKeyIsHandled) {
    days->setText("90");
    QSignalSpy returnPressed(days, &QLineEdit::returnPressed);
    QTest::keyClick(days, Qt::Key_Return);
    // The Enter key itself went through unchanged; the move follows it.
    EXPECT_EQ(returnPressed.count(), 1);
    EXPECT_EQ(window.focusWidget(), days);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.focusWidget(), nextInTabOrder);
    EXPECT_EQ(days->text(), "90");
    EXPECT_EQ(beeps, 0);

    // Enter typed over a wholly selected value leaves the value alone.
    days->setFocus(Qt::TabFocusReason);
    days->selectAll();
    QTest::keyClick(days, Qt::Key_Enter);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(window.focusWidget(), nextInTabOrder);
    EXPECT_EQ(days->text(), "90");
}

TEST_F(DaysFieldTest, ValidationRefillsAnEmptyFieldWithTheDaysInEffectAndChecksChanges) {
    int checks = 0;
    const auto check = [&] { ++checks; };

    days->setText("");
    DaysToKeepValidate(days, 60, check);
    EXPECT_EQ(days->text(), "60");
    EXPECT_EQ(checks, 1);

    days->setText("7"); // a value typed by the operator stays for the change check to see
    DaysToKeepValidate(days, 60, check);
    EXPECT_EQ(days->text(), "7");
    EXPECT_EQ(checks, 2);

    for (std::int16_t keepDays : {0, -5, 32767}) {
        days->setText("");
        DaysToKeepValidate(days, keepDays, check);
        EXPECT_EQ(days->text(), QString::number(keepDays));
    }
    EXPECT_EQ(checks, 5);
}

} // namespace
} // namespace dialvane::test
