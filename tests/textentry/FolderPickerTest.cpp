// The folder picker and the two "<" buttons it serves: what the chooser is asked, what goes
// into the field, and the system's dialog answered in place of an operator.
#include "textentry/BrowseFolders.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

class FolderButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        setFolderChooser([this](QWidget* owner, const QString& title, const QString& start) {
            asked << QStringList{title, start, owner == &window ? "owner" : "other"};
            return chosen;
        });
    }
    void TearDown() override { setFolderChooser({}); }
    void click(const QString& title) {
        PickFolderInto(&window, &field, title, [this] { ++checks; });
    }

    QWidget window;
    QLineEdit field{QStringLiteral("/srv/backroom/"), &window};
    QString chosen;
    QList<QStringList> asked;
    int checks = 0;
};

TEST_F(FolderButtonTest, AChosenFolderFillsTheFieldWithItsSeparatorAndIsChecked) {
    chosen = "/data/picked";
    click(BackroomFolderTitle());
    EXPECT_EQ(field.text(), "/data/picked/");
    chosen = "/"; // a root keeps its one separator
    click(LogFolderTitle());
    EXPECT_EQ(field.text(), "/");
    EXPECT_EQ(checks, 2);
    // Each starts at the field's text exactly, separator and all.
    EXPECT_EQ(asked, QList<QStringList>({{"Backroom/VeldDB", "/srv/backroom/", "owner"},
                                         {"Log", "/data/picked/", "owner"}}));
}

TEST_F(FolderButtonTest, CancelLeavesTheFieldAndChecksNothing) {
    field.setText("c:\\Backroom");
    click(BackroomFolderTitle());
    click(LogFolderTitle());
    EXPECT_EQ(field.text(), "c:\\Backroom");
    EXPECT_EQ(checks, 0);
    EXPECT_EQ(asked.size(), 2);
}

// The system's dialog, run modally and answered by `answer` once it is up.
class FolderDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); // one we can answer
        ASSERT_TRUE(QDir(tmp.path()).mkdir("Data"));
    }

    QString browse(const QString& title, const QString& start, void (*answer)(QFileDialog&)) {
        bool answered = false;
        QTimer::singleShot(0, &owner, [&] {
            auto* dialog = owner.findChild<QFileDialog*>();
            ASSERT_NE(dialog, nullptr);
            answered = true;
            EXPECT_TRUE(dialog->isModal());
            EXPECT_EQ(dialog->windowTitle(), title);
            EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
            // An answer the dialog does not take (it may put up a message box about it) must
            // fail the test, not leave it waiting for an operator.
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

    QWidget owner;
    QTemporaryDir tmp;
};

TEST_F(FolderDialogTest, OpensOnTheStartFolderAndReturnsTheChosenOne) {
    EXPECT_EQ(browse("Log", tmp.path() + '/', accept), tmp.path());
    EXPECT_EQ(browse("Backroom/VeldDB", tmp.path() + '/',
                     [](QFileDialog& d) {
                         d.selectFile("Data");
                         accept(d);
                     }),
              tmp.path() + "/Data");
    EXPECT_EQ(browse("Log", "/", accept), "/");
}

TEST_F(FolderDialogTest, CancelReturnsTheEmptyText) {
    EXPECT_EQ(browse("Log", tmp.path(), reject), QString());
    EXPECT_EQ(browse("Log", "c:\\Backroom", reject), QString());
}

} // namespace
} // namespace dialvane::test
