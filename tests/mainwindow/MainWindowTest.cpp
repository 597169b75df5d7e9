// The main window on a private folder (its own Dialvane.ini, registry values in memory, home
// folder) and a link whose opens are recorded; a busy port is an address already taken.
#include "journal/Journal.h"
#include "link/LinkThread.h"
#include "link/NetworkLine.h"
#include "link/PortAddress.h"
#include "mainwindow/TextBox.h"
#include "mainwindow/frmmain.h"
#include "settings/INIFunctions.h"
#include "statuswindow/frmcom.h"
#include "support/LoopbackPort.h"
#include "support/ManualClock.h"
#include "support/MemoryRegistry.h"
#include "support/TestFiles.h"
#include "unlock/frmPassword.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMutex>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <string>

namespace dialvane::test {
namespace {

class StationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        program = folder("program");
        // The built-in folders are the home folder, which the start-up lists and purges.
        home = folder("home");
        qputenv("HOME", QFile::encodeName(home));
        ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    }
    void ini(const QString& section, const QString& key, const QString& value) {
        ASSERT_TRUE(WritePrivateProfileString(section, key, value, program + "Dialvane.ini"));
    }
    std::string stored(const QString& section, const QString& key) const {
        return GetPrivateProfileString(section, key, "<absent>", program + "Dialvane.ini")
            .toStdString();
    }
    QString folder(const QString& name) {
        QDir().mkpath(tmp.filePath(name));
        return tmp.filePath(name) + '/';
    }
    void storeFolders() {
        ini("Path", "BackroomPath", folder("backroom"));
        ini("Path", "LogPath", folder("logs"));
    }
    // Noon on the day of the tests, for the purge, the history and the password.
    ManualClock clock{QDateTime(QDate(2026, 12, 5), QTime(12, 0))};
    void busy(int port) {
        ini("Ports", QString("COM%1").arg(port),
            QString("tcp:127.0.0.1:%1").arg(taken.serverPort()));
    }

    frmmain& start() {
        window.reset(); // before the link it uses
        requests.clear();
        link =
            std::make_unique<LinkThread>([this](const PortRequest& request, LinkEventSink& events) {
                QMutexLocker lock(&mutex);
                requests.push_back(request);
                if (parsePortValue(request.device).isNetwork())
                    return makeRealLine(request, events);
                // No real serial port in tests: a loopback line stands in.
                return std::unique_ptr<Line>(
                    std::make_unique<NetworkLine>(request.portNumber, loopbackAnyPort()));
            });
        MainWindowContext context;
        context.programFolder = program;
        context.link = link.get();
        context.registry = &registry;
        context.locale = QLocale::c();
        context.clock = &clock;
        context.report = [this](const QString& text) { messages << text; };
        context.askPassword = askPassword;
        context.confirm = [this](const QString& question) {
            questions << question;
            return confirmAnswer;
        };
        context.chooseFolder = [this](QWidget*, const QString& title, const QString& start) {
            chooserCalls << title + '|' + start;
            return chosenFolder;
        };
        window = std::make_unique<frmmain>(context);
        settle();
        return *window;
    }
    void settle() {
        link->waitIdle();
        QCoreApplication::processEvents();
    }
    void unlock() {
        passwordRight = true;
        window->unlockButton->click();
        ASSERT_TRUE(window->comPortList->isEnabled());
    }
    std::string title() const { return window->windowTitle().toStdString(); }
    QString fields() const {
        return window->backroomFolderField->text() + '|' + window->logFolderField->text() + '|' +
               window->daysToKeepField->text();
    }
    // The opens so far, then the last: connection, speed, port and device ("1: D96001 /dev/ttyS0").
    std::string opened() {
        QMutexLocker lock(&mutex);
        const PortRequest r = requests.empty() ? PortRequest{} : requests.back();
        return QString("%1: %2%3%4 %5")
            .arg(QString::number(requests.size()),
                 QString(r.connection == Connection::Modem ? "M" : "D"), QString::number(r.speed),
                 QString::number(r.portNumber), r.device)
            .toStdString();
    }

    EnvironmentVariable homeVariable{"HOME"};
    QTemporaryDir tmp;
    QString program, home;
    MemoryRegistry registry;
    QTcpServer taken;
    QMutex mutex;
    std::vector<PortRequest> requests; // every port open, in turn
    std::unique_ptr<LinkThread> link;
    std::unique_ptr<frmmain> window;
    QStringList messages, chooserCalls, questions;
    bool confirmAnswer = true; // the answer to Save's question about a folder
    QString chosenFolder;
    bool passwordRight = false;
    std::function<bool()> askPassword = [this] { return passwordRight; }; // null: the dialog
};

using StartupTest = StationTest;

// Values the lists cannot show are shown, and opened, as the lists can; with built-in folders the
// start-up saves as a click on Save would, which stores those lists but not the folders.
TEST_F(StartupTest, BuiltInFoldersAreShownAndTheStartUpSavesWhatTheListsShow) {
    writeFile(program + "Dialvane.ini",
              "[Communication]\nComPort=12\nSpeed=4800\nConnection=modem\n");
    frmmain& w = start();
    EXPECT_EQ(fields(), home + '|' + home + "|60");
    EXPECT_EQ(stored("Communication", "ComPort") + '|' + stored("Communication", "Speed") + '|' +
                  stored("Communication", "Connection") + '|' + stored("Path", "BackroomPath") +
                  '|' + stored("Path", "LogPath"),
              "1|9600|Direct|<absent>|<absent>");
    EXPECT_EQ(opened(), "2: D96001 " + deviceForPort(1, {}).toStdString());
    EXPECT_EQ(title(), "9600,n,8,1 COM1");
    EXPECT_FALSE(w.saveButton->isEnabled());
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(StartupTest, StoredSettingsReachTheFieldsTheLinkAndThePurge) {
    const QString data = tmp.filePath("data"), logs = folder("logs").chopped(1);
    writeFile(program + "Dialvane.ini",
              ("[Path]\nBackroomPath=" + data + "\nLogPath=" + logs +
               "\n[Global]\nGDelay=350\nDaysToKeep=30\n[Communication]\nComPort=3\n"
               "Connection=Modem\nSpeed=2400\n[Ports]\nCOM3=/dev/ttyUSB3\n")
                  .toUtf8());
    writeFile(logs + "/Dialvane20261104-235959-000123.log", {}); // before the cutoff of 30 days
    writeFile(logs + "/Dialvane20261105-000000-000123.log", {});
    start();
    EXPECT_EQ(fields(), data + "/|" + logs + "/|30");
    ASSERT_EQ(opened(), "1: M24003 /dev/ttyUSB3"); // no built-in folder, no Save at start
    const PortRequest r = requests.back();
    EXPECT_EQ(r.config.BackroomFolder + '|' + r.config.LogFolder + '|' +
                  QString::number(r.config.sendDelay.count()),
              data + "/|" + logs + "/|350");
    EXPECT_EQ(title(), "2400,n,8,1 COM3");
    EXPECT_FALSE(QFile::exists(logs + "/Dialvane20261104-235959-000123.log"));
    EXPECT_TRUE(QFile::exists(logs + "/Dialvane20261105-000000-000123.log"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('\n').toStdString();
}

TEST_F(StartupTest, FailuresAreReportedInTurnAndTheRestOfTheStartUpRuns) {
    storeFolders();
    ini("Communication", "Speed", "abc");                   // cannot be read: 9600 is used
    busy(1);                                                // the port cannot be opened
    ini("Path", "LogPath", tmp.filePath("no-such-folder")); // the purge cannot read it
    writeFile(folder("backroom/000123") + "trfbru1", {});
    frmmain& w = start();
    ASSERT_EQ(messages.size(), 3) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages[0].contains("Speed=\"abc\"")) << messages[0].toStdString();
    EXPECT_TRUE(messages[1].contains("no-such-folder")) << messages[1].toStdString();
    EXPECT_TRUE(messages[2].contains("COM1")) << messages[2].toStdString();
    // The title keeps what the port routines set last: the address tried (a network line).
    EXPECT_TRUE(title().starts_with("tcp:127.0.0.1:") && title().ends_with(" COM1")) << title();
    ASSERT_EQ(w.restaurantList->topLevelItemCount(), 1);
    const QTreeWidgetItem* row = w.restaurantList->topLevelItem(0);
    EXPECT_TRUE(row->text(0) == "000123" && !row->text(1).isEmpty() &&
                !w.restaurantList->isHidden());
    EXPECT_EQ(stored("Communication", "Speed"), "abc"); // left for the operator to mend
}

class PanelTest : public StationTest {
protected:
    // Folders stored, so no built-in folder makes the start-up save, and two restaurants.
    void SetUp() override {
        StationTest::SetUp();
        storeFolders();
        for (const char* resto : {"000100", "000200"})
            writeFile(folder(QString("backroom/") + resto) + "trfbru1", {});
    }
    QTreeWidgetItem* row(const QString& resto) const {
        const auto found = window->restaurantList->findItems(resto, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.first();
    }
    bool panelEnabled(bool enabled) const {
        const frmmain& w = *window;
        for (QWidget* widget : QWidgetList{
                 w.comPortLabel, w.speedLabel, w.connectionLabel, w.logFolderLabel,
                 w.backroomFolderLabel, w.restaurantListLabel, w.daysToKeepLabel, w.logFolderField,
                 w.daysToKeepField, w.backroomFolderField, w.logFolderButton,
                 w.backroomFolderButton, w.comPortList, w.connectionList, w.speedList})
            if (widget->isEnabled() != enabled)
                return false;
        return true;
    }
};

TEST_F(PanelTest, LockedUntilTheRightPasswordReopenedFromTheListsAndLockedAgainBySave) {
    busy(4);
    frmmain& w = start();
    EXPECT_TRUE(panelEnabled(false));
    EXPECT_FALSE(w.saveButton->isEnabled());
    w.unlockButton->click(); // wrong password
    EXPECT_TRUE(panelEnabled(false));
    unlock();
    EXPECT_TRUE(w.unlockButton->isHidden());
    w.comPortList->setCurrentText("3"); // a choice: opens nothing until Save
    w.speedList->setCurrentText("1200");

    // A folder that cannot take files is stored only once the operator says so.
    const QString missing = tmp.filePath("missing") + '/';
    w.backroomFolderField->setText(missing);
    confirmAnswer = false;
    w.saveButton->click();
    EXPECT_EQ(questions.join('\n'),
              "The Backroom folder " + missing + " does not exist. Save anyway?");
    EXPECT_EQ(stored("Communication", "Speed") + '|' + stored("Path", "BackroomPath"),
              "<absent>|" + tmp.filePath("backroom/").toStdString());
    EXPECT_TRUE(panelEnabled(true) && w.saveButton->isEnabled());
    EXPECT_EQ(w.backroomFolderField->text(), missing);

    // Save stores only what changed, reopens the port as the lists show and locks the panel.
    confirmAnswer = true;
    w.comPortList->setCurrentText("4");
    w.saveButton->click();
    settle();
    EXPECT_EQ(stored("Communication", "ComPort") + '|' + stored("Communication", "Speed") + '|' +
                  stored("Communication", "Connection") + '|' + stored("Global", "DaysToKeep") +
                  '|' + stored("Path", "BackroomPath"),
              "4|1200|<absent>|<absent>|" + missing.toStdString());
    EXPECT_EQ(opened(),
              QString("2: D12004 tcp:127.0.0.1:%1").arg(taken.serverPort()).toStdString());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("COM4")) << messages[0].toStdString();
    EXPECT_TRUE(panelEnabled(false));
    EXPECT_FALSE(w.unlockButton->isHidden());
    EXPECT_FALSE(w.saveButton->isEnabled());
}

TEST_F(PanelTest, SaveStoresWhatDiffersInItsOwnForm) {
    const QString data = tmp.filePath("Data"), own = tmp.filePath("backroom/"),
                  upper = own.toUpper(), absent = "<absent>";
    const struct {
        QString backroom, days, storedBackroom, storedDays, field;
    } cases[] = {
        {data, "60", data + '/', absent, "60"},
        {upper, "30", upper, "30", "30"}, // a new case rides along another change
        {own, "060", own, absent, "060"}, // same value
        {own, "7.5", own, "8", "7.5"},
        {own, "abc", own, absent, "60"}, // kept, shown again
        {own, "40000", own, absent, "60"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.backroom + '|' + c.days).toStdString());
        QFile::remove(program + "Dialvane.ini");
        storeFolders();
        frmmain& w = start();
        unlock();
        w.backroomFolderField->setText(c.backroom);
        w.daysToKeepField->setText(c.days);
        w.CheckForChanges(); // what leaving the field does
        w.saveButton->click();
        settle();
        EXPECT_EQ(stored("Path", "BackroomPath") + '|' + stored("Global", "DaysToKeep") + '|' +
                      w.daysToKeepField->text().toStdString(),
                  (c.storedBackroom + '|' + c.storedDays + '|' + c.field).toStdString());
    }
}

TEST_F(PanelTest, FieldsSelectOnFocusCheckWhenLeftAndTheDaysFieldTakesThreeDigits) {
    frmmain& w = start();
    unlock();
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    // A text box selects its text on Tab by itself; the fields do it however they get the focus.
    for (TextBox* field : {w.backroomFolderField, w.logFolderField, w.daysToKeepField}) {
        field->setFocus(Qt::MouseFocusReason);
        EXPECT_EQ(field->selectedText(), field->text()) << field->objectName().toStdString();
    }
    QTest::keyClicks(w.daysToKeepField, "4a567");
    EXPECT_EQ(w.daysToKeepField->text(), "456");
    // Editing keys type nothing, even Delete with the DEL code some keyboards give it.
    QTest::keyClick(w.daysToKeepField, Qt::Key_Home);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(w.daysToKeepField, &del);
    EXPECT_EQ(w.daysToKeepField->text(), "56");
    QTest::keyClick(w.daysToKeepField, Qt::Key_4);
    // Enter moves on as Tab does, once the key itself has been handled.
    QTest::keyClick(w.daysToKeepField, Qt::Key_Return);
    EXPECT_EQ(QApplication::focusWidget(), w.daysToKeepField);
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), w.comPortList);
    EXPECT_TRUE(w.saveButton->isEnabled());

    // Emptied and left: refilled before the check, so nothing to save.
    w.daysToKeepField->setFocus();
    w.daysToKeepField->clear();
    w.speedList->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(w.daysToKeepField->text(), "60");
    EXPECT_FALSE(w.saveButton->isEnabled());

    // Each value is compared its own way once a list is chosen or a field left, not while typing.
    const QString backroom = tmp.filePath("backroom/");
    const struct {
        QWidget* field;
        QString value;
        bool changed;
    } cases[] = {{w.backroomFolderField, backroom.toUpper(), false},
                 {w.backroomFolderField, backroom.chopped(1), true},
                 {w.logFolderField, "/elsewhere/", true},
                 {w.daysToKeepField, "060", true},
                 {w.comPortList, "3", true},
                 {w.connectionList, "Modem", true},
                 {w.speedList, "1200", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE((c.field->objectName() + '=' + c.value).toStdString());
        auto* text = qobject_cast<QLineEdit*>(c.field);
        auto* list = qobject_cast<QComboBox*>(c.field);
        const QString kept = text ? text->text() : list->currentText();
        c.field->setFocus();
        text ? text->setText(c.value) : list->setCurrentText(c.value);
        EXPECT_EQ(w.saveButton->isEnabled(), c.changed && list);
        w.closeButton->setFocus(Qt::TabFocusReason);
        EXPECT_EQ(w.saveButton->isEnabled(), c.changed);
        text ? text->setText(kept) : list->setCurrentText(kept);
        w.CheckForChanges();
        ASSERT_FALSE(w.saveButton->isEnabled());
    }
    w.closeButton->click(); // as the close box does
    EXPECT_FALSE(w.isVisible());
}

TEST_F(PanelTest, ThePasswordDialogUnlocksTheFolderButtonsFillTheFieldsAndClosingSavesNothing) {
    askPassword = nullptr;
    frmmain& w = start();
    // Should the dialog not take the number, this guard ends its modal loop.
    QTimer::singleShot(10000, &w, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    // The number of the window's own day, not of the computer's clock.
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmPassword*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        QTest::keyClicks(dialog->txtPassword,
                         QString::number(frmPassword::ExpectedPasswordNumber(clock.localTime())));
        QTest::keyClick(dialog->txtPassword, Qt::Key_Return);
    });
    w.unlockButton->click();
    ASSERT_TRUE(panelEnabled(true));

    // The chooser starts at the field's folder; what it gives goes in with its separator.
    chosenFolder = tmp.filePath("picked");
    w.backroomFolderButton->click();
    EXPECT_EQ(w.backroomFolderField->text(), chosenFolder + '/');
    EXPECT_TRUE(w.saveButton->isEnabled());
    chosenFolder.clear(); // cancelled: nothing changes, nothing is checked
    w.saveButton->setEnabled(false);
    w.logFolderButton->click();
    EXPECT_EQ(w.logFolderField->text(), tmp.filePath("logs/"));
    EXPECT_FALSE(w.saveButton->isEnabled());
    EXPECT_EQ(chooserCalls.join('\n'),
              "Backroom/VeldDB|" + tmp.filePath("backroom/") + "\nLog|" + tmp.filePath("logs/"));

    // Its close box drops the change, unloads the status window and closes the port.
    w.show();
    LinkEvent started(LinkEvent::Kind::CallStarted);
    started.call = 1;
    w.statusWindow().apply(started);
    QSignalSpy unloaded(&w, &frmmain::unloaded);
    w.close();
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.statusWindow().window(), nullptr);
    EXPECT_EQ(stored("Path", "BackroomPath"), tmp.filePath("backroom/").toStdString());
    settle();
    EXPECT_EQ(title(), "FERME/CLOSED");
}

using CallHistoryView = PanelTest;

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
    EXPECT_EQ(w.statusWindow().window(), nullptr); // the status window is loaded on first use
    ASSERT_TRUE(row("000100") && row("000200"));
    EXPECT_EQ(row("000100")->text(3), "sent itrfinv1: 2000 records");
    EXPECT_TRUE(row("000100")->text(2).contains("10:44"));
    EXPECT_EQ(row("000200")->text(3), "fetch failed: Cannot open trfloc");
    EXPECT_EQ(w.lastCallLabel->text(),
              "10:46 000200 fetch failed: Cannot open trfloc  ·  1 failed today");

    // A call ends: its row goes to the journal, and the list and the line follow at once.
    CallSummary dropped;
    dropped.start = QDateTime(QDate(2026, 12, 5), QTime(11, 0));
    dropped.restoNum = "000100";
    dropped.transaction = "S";
    dropped.type = "1";
    dropped.outcome = CallOutcome::Dropped;
    const auto tell = [&](LinkEvent::Kind kind, std::uint64_t number) {
        LinkEvent e(kind);
        e.call = number;
        e.summary = dropped;
        link->handle(e);
        QCoreApplication::processEvents();
    };
    tell(LinkEvent::Kind::CallEnded, 100);
    EXPECT_EQ(row("000100")->text(3), "send dropped");
    EXPECT_EQ(w.lastCallLabel->text(), "11:00 000100 send dropped  ·  2 failed today");
    for (std::uint64_t number : {101, 102, 103}) // a network line answers several at once
        tell(LinkEvent::Kind::CallStarted, number);
    EXPECT_TRUE(w.lastCallLabel->text().startsWith("3 calls in progress / en cours  ·  11:00"));
    ASSERT_TRUE(w.statusWindow().window()); // the status window hears the link too
    EXPECT_TRUE(w.statusWindow().window()->isVisible());
    // A block's event has a signal of its own; what a site sends is shown as escaped text.
    LinkEvent block(LinkEvent::Kind::BlockMoved);
    block.call = 103;
    block.bytes = "\x02<b>12</b> caf\xe9\x85\x03";
    link->handle(block);
    QCoreApplication::processEvents();
    const QLabel* data = w.statusWindow().window()->dataValue;
    EXPECT_EQ(data->text(), QStringLiteral("\\x02<b>12</b> caf\u00e9\\x85\\x03"));
    EXPECT_EQ(data->textFormat(), Qt::PlainText);
    for (std::uint64_t number : {101, 102, 103})
        tell(LinkEvent::Kind::CallEnded, number);
    EXPECT_TRUE(w.lastCallLabel->text().startsWith("11:00"));
    link->handle(LinkEvent(LinkEvent::Kind::PortClosed));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.statusWindow().window(), nullptr); // gone with the port
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
            if (l == w.lastCallLabel || l->text().isEmpty())
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

    const QSize list = w.restaurantList->size();
    const int field = w.backroomFolderField->width();
    const QPoint picker = w.backroomFolderButton->pos();
    const QPoint save = w.saveButton->pos();
    w.resize(w.minimumSize() + QSize(200, 100));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.restaurantList->size(), list + QSize(200, 100));
    EXPECT_EQ(w.backroomFolderField->width(), field + 200);
    EXPECT_EQ(w.backroomFolderButton->pos(), picker + QPoint(200, 0));
    EXPECT_EQ(w.saveButton->pos(), save + QPoint(0, 100));
    w.resize(w.minimumSize() - QSize(50, 50));
    EXPECT_EQ(w.size(), w.minimumSize());
    EXPECT_EQ(w.backroomFolderField->toolTip(), w.backroomFolderField->text());
}

} // namespace
} // namespace dialvane::test
