#include "mainwindow/frmmain.h"

#include "housekeeping/Housekeeping.h"
#include "link/LinkThread.h"
#include "mainwindow/TextBox.h"
#include "textentry/MainModule.h"
#include "unlock/frmPassword.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

// The pictures live in this library's resources; a static library must register them itself.
static void registerPictures() {
    Q_INIT_RESOURCE(mainwindow);
}

namespace dialvane {

StationContext stationContext(const MainWindowContext& context) {
    StationContext station;
    station.programFolder = context.programFolder;
    station.link = context.link;
    station.registry = context.registry;
    station.locale = context.locale;
    station.clock = context.clock;
    return station;
}

frmmain::frmmain(MainWindowContext context, QWidget* parent)
    : QWidget(parent), context_(std::move(context)), station_(stationContext(context_)) {
    Q_ASSERT(context_.link);
    registerPictures();
    setObjectName(QStringLiteral("frmmain"));
    setWindowTitle(QStringLiteral("Dialvane"));
    setWindowIcon(QIcon(QStringLiteral(":/dialvane/dialvane.xpm")));
    createWidgets();
    connectHandlers();
    Form_Load();
}

frmmain::~frmmain() = default;

void frmmain::connectHandlers() {
    LinkThread& link = *context_.link;
    connect(&link, &LinkThread::event, this, &frmmain::heard);
    status_.attach(link);
    connect(&station_, &Station::callRecorded, this, &frmmain::callRecorded);
    connect(&station_, &Station::journalFailed, this, [this](const QString& text) {
        journalProblem_ = text;
        showLastCall();
    });
    // A hook that failed is said on the line under the list, as a journal problem is, until
    // the next call.
    connect(&station_.hooks(), &HookQueue::finished, this, [this](const HookRun& run) {
        if (run.ok())
            return;
        journalProblem_ = run.describe();
        showLastCall();
    });
    // A folder field shows its whole path when it is wider than the field.
    for (TextBox* field : {txtBackroomPath, TXTLogPath})
        connect(field, &QLineEdit::textChanged, field, &QWidget::setToolTip);

    connect(cmdSave, &QPushButton::clicked, this, &frmmain::cmdSave_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmmain::cmdClose_Click);
    connect(cmdUnlock, &QPushButton::clicked, this, &frmmain::cmdUnlock_Click);
    connect(cmdBackroomPath, &QPushButton::clicked, this, &frmmain::cmdBackroomPath_Click);
    connect(CMDLogPath, &QPushButton::clicked, this, &frmmain::CMDLogPath_Click);
    connect(cboComPort, &QComboBox::currentIndexChanged, this, &frmmain::cboComPort_Click);
    connect(cboSpeed, &QComboBox::currentIndexChanged, this, &frmmain::cboSpeed_Click);
    connect(cboConnection, &QComboBox::currentIndexChanged, this, &frmmain::cboConnection_Click);
    connect(txtBackroomPath, &TextBox::gotFocus, this, &frmmain::txtBackroomPath_GotFocus);
    connect(txtBackroomPath, &TextBox::lostFocus, this, &frmmain::txtBackroomPath_LostFocus);
    connect(TXTLogPath, &TextBox::gotFocus, this, &frmmain::TXTLogPath_GotFocus);
    connect(TXTLogPath, &TextBox::lostFocus, this, &frmmain::TXTLogPath_LostFocus);
    connect(TXTDaysToKeep, &TextBox::gotFocus, this, &frmmain::TXTDaysToKeep_GotFocus);
    connect(TXTDaysToKeep, &TextBox::validate, this, &frmmain::TXTDaysToKeep_Validate);
    TXTDaysToKeep->keyPress = [this](int& KeyAscii) { TXTDaysToKeep_KeyPress(KeyAscii); };
}

// What the link tells the main window: the title, a port that cannot be opened or a line
// the operator should know about, and the calls in progress.
void frmmain::heard(const LinkEvent& event) {
    using Kind = LinkEvent::Kind;
    if (const QString title = windowTitleFor(event); !title.isEmpty())
        setWindowTitle(title);
    if ((event.kind == Kind::PortClosed && event.failure == LinkEvent::PortFailure::CannotOpen) ||
        (event.kind == Kind::LineNotice && event.level == LinkEvent::Level::Warning &&
         event.call == 0))
        report(event.text);
    if (event.kind == Kind::CallStarted)
        callsInProgress_.started(event.call);
    else if (event.kind == Kind::CallEnded)
        callsInProgress_.ended(event.call);
    else
        return;
    showLastCall();
}

// ---- Start-up ----------------------------------------------------------------------------

// The station's own start-up, with the window's steps between its steps. A value that cannot
// be read is reported and replaced by its default; the start-up goes on, so that the station
// answers calls whatever the file holds.
void frmmain::Form_Load() {
    SetPanelLocked(true);
    connect(&station_, &Station::problem, this, &frmmain::report);
    StartupView view;
    view.loaded = [this] { showConfiguration(); };
    // Built-in folders are saved as a click on Save would: nothing differs, so nothing is
    // written, but the port is opened again and the panel locked.
    view.save = [this] { Save(); };
    view.listRestaurants = [this] {
        ListTravelPathDates();
        QStringList restaurants;
        for (int i = 0; i < LVWFileDetails->topLevelItemCount(); ++i)
            restaurants << LVWFileDetails->topLevelItem(i)->text(0);
        showCallHistory(restaurants);
    };
    cmdSave->setEnabled(false);
    station_.start(view);
}

void frmmain::showConfiguration() {
    const Configuration& config = station_.configuration();
    txtBackroomPath->setText(config.BackroomFolder);
    TXTLogPath->setText(config.LogFolder);
    TXTDaysToKeep->setText(QString::number(config.KeepDays));
    SelectComPort(config.PortNumber);
    SelectConnection(config.connection);
    SelectSpeed(config.LineSpeed);
}

void frmmain::ListTravelPathDates() {
    LVWFileDetails->hide();
    // A failure leaves the list hidden for the rest of the run.
    const std::vector<TravelPathRow> rows =
        dialvane::ListTravelPathDates(station_.configuration().BackroomFolder, context_.locale);
    for (const TravelPathRow& row : rows) {
        auto* item = new QTreeWidgetItem(LVWFileDetails);
        item->setText(0, row.restonum);
        item->setText(1, row.timestamp);
    }
    LVWFileDetails->show();
}

void frmmain::report(const QString& description) {
    if (context_.report) {
        context_.report(description);
        return;
    }
    // Modal for the operator, yet no nested event loop: the window goes on answering the link.
    auto* box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Dialvane"), description,
                                QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

// ---- Closing -------------------------------------------------------------------------------

void frmmain::cmdClose_Click() {
    status_.unload();
    close();
}

void frmmain::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void frmmain::Form_Unload() {
    // Unsaved changes are dropped; the port is released with the link thread.
    status_.unload();
    context_.link->close();
    emit unloaded();
}

// ---- Focus routines ------------------------------------------------------------------------

void SelectAllOnFocus(QWidget* window) {
    QWidget* active = window->focusWidget();
    auto* textBox = qobject_cast<QLineEdit*>(active);
    // The edit field inside a combo box is part of the combo box, not a text box.
    if (!textBox || qobject_cast<QComboBox*>(textBox->parentWidget()))
        return;
    textBox->setSelection(0, static_cast<int>(textBox->text().size()));
}

void frmmain::txtBackroomPath_GotFocus() {
    SelectAllOnFocus(this);
}

void frmmain::txtBackroomPath_LostFocus() {
    CheckForChanges();
}

void frmmain::TXTLogPath_GotFocus() {
    SelectAllOnFocus(this);
}

void frmmain::TXTLogPath_LostFocus() {
    CheckForChanges();
}

void frmmain::TXTDaysToKeep_GotFocus() {
    SelectAllOnFocus(this);
}

void frmmain::TXTDaysToKeep_KeyPress(int& KeyAscii) {
    if (context_.daysKeyPress)
        context_.daysKeyPress(KeyAscii);
    else
        DaysToKeepKeyPress(TXTDaysToKeep, KeyAscii, context_.locale);
}

void frmmain::TXTDaysToKeep_Validate() {
    // A field left empty shows the days in effect again; the move is never refused.
    DaysToKeepValidate(TXTDaysToKeep, station_.configuration().KeepDays,
                       [this] { CheckForChanges(); });
}

// ---- Folder buttons ------------------------------------------------------------------------

void frmmain::cmdBackroomPath_Click() {
    pickFolder(txtBackroomPath, BackroomFolderTitle());
}

void frmmain::CMDLogPath_Click() {
    pickFolder(TXTLogPath, LogFolderTitle());
}

void frmmain::pickFolder(TextBox* field, const QString& title) {
    const QString start = field->text();
    const QString chosen = context_.chooseFolder ? context_.chooseFolder(this, title, start)
                                                 : BrowseForFolder(this, title, start);
    if (chosen.isEmpty())
        return;
    field->setText(AddBackslash(chosen));
    CheckForChanges();
}

} // namespace dialvane
