// The system's folder dialog behind the two "<" buttons, answered in place of an operator. What
// the buttons do with its answer is tested with the main window.
#include "textentry/BrowseFolders.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace dialvane::test {
namespace {

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
