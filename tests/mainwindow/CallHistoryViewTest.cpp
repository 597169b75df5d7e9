// What the main window shows of the call history, the question Save asks about a folder that
// cannot take files, and a layout where no caption is cut and a larger window goes to the list.
#include "StationFixture.h"

#include "journal/Journal.h"
#include "link/ui/frmcom.h"
#include "unlock/frmPassword.h"

#include <QGroupBox>

namespace dialvane::test {
namespace {

class CallHistoryView : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        storeFolders();
        for (const char* resto : {"000100", "000200"})
            touch(folder("backroom") + resto + "/trfbru1");
    }
    QTreeWidgetItem* row(const QString& resto) const {
        const auto found = window->LVWFileDetails->findItems(resto, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.first();
    }
};

journal::Entry call(const char* resto, const char* direction, const char* outcome, QTime at) {
    journal::Entry e;
    e.start = QDateTime(QDate(2026, 12, 5), at);
    e.restaurant = resto;
    e.direction = QString::fromLatin1(direction);
    e.outcome = QString::fromLatin1(outcome);
    e.files = {QStringLiteral("itrfinv1")};
    e.records = 2000;
    return e;
}

TEST_F(CallHistoryView, TheListAndTheLastCallLineFollowTheJournal) {
    const QString logs = folder("logs");
    journal::append(logs, call("000100", "receive", "completed", QTime(10, 44)));
    journal::Entry failed = call("000200", "send", "failed", QTime(10, 46));
    failed.reason = QStringLiteral("Cannot open trfloc");
    journal::append(logs, failed);

    frmmain& w = start();
    ASSERT_TRUE(row("000100") && row("000200"));
    EXPECT_EQ(row("000100")->text(3), "sent itrfinv1: 2000 records");
    EXPECT_TRUE(row("000100")->text(2).contains("10:44"));
    EXPECT_EQ(row("000200")->text(3), "fetch failed: Cannot open trfloc");
    EXPECT_EQ(w.lblLastCall->text(),
              "10:46 000200 fetch failed: Cannot open trfloc  ·  1 failed today");

    // A call ends: its row goes to the journal, and the list and the line follow at once.
    CallSummary dropped;
    dropped.start = QDateTime(QDate(2026, 12, 5), QTime(11, 0));
    dropped.restoNum = "000100";
    dropped.transaction = "S";
    dropped.type = "1";
    dropped.outcome = CallOutcome::Dropped;
    emit link->callFinished(dropped);
    EXPECT_EQ(row("000100")->text(3), "send dropped");
    EXPECT_EQ(w.lblLastCall->text(), "11:00 000100 send dropped  ·  2 failed today");
    emit link->callsInProgress(3); // a network line answers several at once
    EXPECT_TRUE(w.lblLastCall->text().startsWith("3 calls in progress / en cours  ·  11:00"));
    emit link->callsInProgress(0);
    EXPECT_TRUE(w.lblLastCall->text().startsWith("11:00"));
    int rows = 0;
    journal::readJournals(logs, QDate(), [&](const journal::Row&) { ++rows; });
    EXPECT_EQ(rows, 3);
}

TEST_F(CallHistoryView, SaveAsksBeforeStoringAFolderThatCannotTakeFiles) {
    frmmain& w = start();
    unlock();
    const std::string before = stored("Path", "BackroomPath");
    const QString missing = tmp.filePath("missing") + '/';
    w.txtBackroomPath->setText(missing);
    w.CheckForChanges();

    confirmAnswer = false;
    w.cmdSave->click();
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0], "The Backroom folder " + missing + " does not exist. Save anyway?");
    EXPECT_EQ(stored("Path", "BackroomPath"), before);
    EXPECT_TRUE(w.cmdSave->isEnabled());
    EXPECT_TRUE(w.txtBackroomPath->isEnabled()); // the panel stays open with the change
    EXPECT_EQ(w.txtBackroomPath->text(), missing);

    confirmAnswer = true;
    w.cmdSave->click();
    EXPECT_EQ(stored("Path", "BackroomPath"), missing.toStdString());
    EXPECT_FALSE(w.txtBackroomPath->isEnabled());
}

TEST_F(CallHistoryView, NoCaptionIsCutAndALargerWindowGoesToTheListAndTheFolders) {
    frmmain& w = start();
    frmPassword password;
    frmcom status;
    for (QWidget* top : QWidgetList{&w, &password, &status})
        top->show(); // laid out as the operator sees them
    QCoreApplication::processEvents();
    for (QWidget* top : QWidgetList{&w, &password, &status}) {
        for (const QLabel* l : top->findChildren<QLabel*>()) {
            if (l == w.lblLastCall || l->text().isEmpty())
                continue; // the last-call line holds any text; its tooltip shows it whole
            const QFontMetrics m = l->fontMetrics();
            EXPECT_LE(m.horizontalAdvance(l->text()), l->contentsRect().width())
                << l->objectName().toStdString();
            EXPECT_LE(m.height(), l->contentsRect().height()) << l->objectName().toStdString();
        }
        for (const QPushButton* b : top->findChildren<QPushButton*>())
            EXPECT_LT(b->fontMetrics().horizontalAdvance(QString(b->text()).remove('&')),
                      b->width())
                << b->objectName().toStdString();
        for (const QGroupBox* g : top->findChildren<QGroupBox*>())
            EXPECT_LT(g->fontMetrics().horizontalAdvance(g->title()), g->width())
                << g->objectName().toStdString();
    }

    const QSize list = w.LVWFileDetails->size();
    const int field = w.txtBackroomPath->width();
    const QPoint picker = w.cmdBackroomPath->pos();
    const QPoint save = w.cmdSave->pos();
    w.resize(w.minimumSize() + QSize(200, 100));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.LVWFileDetails->size(), list + QSize(200, 100));
    EXPECT_EQ(w.txtBackroomPath->width(), field + 200);
    EXPECT_EQ(w.cmdBackroomPath->pos(), picker + QPoint(200, 0));
    EXPECT_EQ(w.cmdSave->pos(), save + QPoint(0, 100));
    w.resize(w.minimumSize() - QSize(50, 50));
    EXPECT_EQ(w.size(), w.minimumSize());
    EXPECT_EQ(w.txtBackroomPath->toolTip(), w.txtBackroomPath->text());
}

} // namespace
} // namespace dialvane::test
