// The numeric key filter: what each mask lets into a text box as the caret, the selection and
// the regional separators stand; and the system's folder dialog behind the two "<" buttons.
#include "textentry/BrowseFolders.h"
#include "textentry/MainModule.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);
const QLocale ungrouped = [] {
    QLocale locale = english;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}();

constexpr int kEnd = -1;

// Keys typed into a box holding `text` with the caret at `start` (kEnd: after the text), or
// with `length` characters selected from `start`.
struct Typing {
    const char* mask;
    const QLocale& locale;
    const char* text;
    int start, length;
    const char *keys, *result;
    int refused;
};

const Typing typings[] = {
    // Three digits: a whole selection goes on the first key, a partial one is typed over.
    {"999", english, "123", 0, 3, "a", "", 1}, // the selected text goes even so
    {"999", english, "123", 1, 1, "9", "193", 0},
    {"999", english, "12", kEnd, 0, "-.,a +", "12", 6},
    {"999", english, "12", 0, 0, "-", "12", 1}, // no sign even at the start
    // Group separators are not counted; where numbers are not grouped, neither are zeros.
    {"999", english, "1,2", kEnd, 0, "34", "1,23", 1},
    {"999", ungrouped, "100", kEnd, 0, "05", "10005", 0},
    // With a comma separator the full stop is mere punctuation.
    {"-999.99", german, "12", kEnd, 0, ".,5", "12,5", 1},
    // The sign only at the start, and never a digit in front of it.
    {"-999.99", english, "", kEnd, 0, "-1234", "-123", 1},
    {"-999.99", english, "12", 0, 0, "-", "-12", 0},
    {"-999.99", english, "-12", 0, 0, "5", "-12", 1},
    {"-999.99", english, "-12", 0, 3, "5", "5", 0},
    // Three integer places (a text without its sign is measured with one) and two fraction places.
    {"-999.99", english, "12", kEnd, 0, ".345", "12.34", 1},
    {"-999.99", english, "123.4", 3, 0, "5", "123.4", 1},
    // A second separator only in place of a selected first one, and only when the result fits.
    {"-999.99", english, "1.5", 2, 1, ".", "1.5", 1},
    {"-999.99", english, "1.5", 1, 1, ".", "1.5", 0},
    {"-999.99", english, "1.234", 1, 1, ".", "1.234", 1},
    // No mask, no limits: still one separator and the sign at the start.
    {"", english, "", kEnd, 0, "-1234567.891.-x", "-1234567.891", 3},
    // Backspace and Enter pass without a beep, a selection left alone; other characters do not.
    {"999", english, "123", 0, 3, "\b\r", "123", 0},
    {"999", english, "1", kEnd, 0, "\033É٠", "1", 3}, // Escape, a Latin-1 letter, another digit
};

TEST(KeyFilterTest, TypingIntoATextBox) {
    int beeps = 0;
    setRefusalBeep([&] { ++beeps; });
    for (const Typing& t : typings) {
        SCOPED_TRACE(std::string(t.mask) + " " + t.locale.name().toStdString() + " [" + t.text +
                     "] " + std::to_string(t.start) + "+" + std::to_string(t.length) + " " +
                     t.keys);
        QLineEdit box(QString::fromUtf8(t.text));
        if (t.length > 0)
            box.setSelection(t.start, t.length);
        else if (t.start != kEnd)
            box.setCursorPosition(t.start);
        beeps = 0;
        // What the filter lets through goes in over the selection; Backspace and Enter are the
        // box's.
        for (const QChar key : QString::fromUtf8(t.keys)) {
            int keyCode = key.unicode();
            if (FilterNumericKey(&box, keyCode, QString::fromUtf8(t.mask), t.locale) != 0 &&
                QChar(keyCode).isPrint())
                box.insert(QChar(keyCode));
        }
        EXPECT_EQ(box.text().toStdString(), t.result);
        EXPECT_EQ(beeps, t.refused);
    }
    setRefusalBeep({});
}

class FolderDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); // one we can answer
        ASSERT_TRUE(QDir(tmp.path()).mkdir("Data"));
    }
    void TearDown() override {
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs, nativeDialogsOff);
    }

    // Runs the dialog modally and answers it with `answer` once it is up.
    QString browse(const QString& title, const QString& start, void (*answer)(QFileDialog&)) {
        bool answered = false;
        QTimer::singleShot(0, &owner, [&] {
            auto* dialog = owner.findChild<QFileDialog*>();
            ASSERT_NE(dialog, nullptr);
            answered = true;
            EXPECT_TRUE(dialog->isModal());
            EXPECT_EQ(dialog->windowTitle().toStdString(), title.toStdString());
            EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
            // An answer the dialog refuses (with a message box) must fail the test, not hang it.
            QTimer::singleShot(0, dialog, [dialog] {
                if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != dialog)
                    modal->close();
            });
            answer(*dialog);
            if (dialog->isVisible()) {
                ADD_FAILURE() << "the dialog did not take the answer";
                static_cast<QDialog*>(dialog)->done(QDialog::Rejected);
            }
        });
        const QString result = BrowseForFolder(&owner, title, start);
        EXPECT_TRUE(answered);
        return result;
    }
    static void accept(QFileDialog& d) { static_cast<QDialog&>(d).accept(); }
    static void reject(QFileDialog& d) { static_cast<QDialog&>(d).reject(); }

    const bool nativeDialogsOff = QApplication::testAttribute(Qt::AA_DontUseNativeDialogs);
    QWidget owner;
    QTemporaryDir tmp;
};

TEST_F(FolderDialogTest, OpensOnTheStartFolderAndReturnsTheChosenOneOrNothing) {
    // The start folder as the field holds it, separator and all; it comes back without one.
    EXPECT_EQ(browse("Log", tmp.path() + '/', accept).toStdString(), tmp.path().toStdString());
    EXPECT_EQ(browse("Backroom/VeldDB", tmp.path() + '/',
                     [](QFileDialog& d) {
                         d.selectFile("Data");
                         accept(d);
                     })
                  .toStdString(),
              (tmp.path() + "/Data").toStdString());
    EXPECT_EQ(browse("Log", "/", accept).toStdString(), "/"); // a root keeps its separator
    EXPECT_TRUE(browse("Log", tmp.path(), reject).isEmpty());
}

} // namespace
} // namespace dialvane::test
