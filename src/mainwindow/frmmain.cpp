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
    for (TextBox* field : {backroomFolderField, logFolderField})
        connect(field, &QLineEdit::textChanged, field, &QWidget::setToolTip);

    connect(saveButton, &QPushButton::clicked, this, &frmmain::onSaveClicked);
    connect(closeButton, &QPushButton::clicked, this, &frmmain::onCloseClicked);
    connect(unlockButton, &QPushButton::clicked, this, &frmmain::onUnlockClicked);
    connect(backroomFolderButton, &QPushButton::clicked, this, &frmmain::onBackroomFolderPick);
    connect(logFolderButton, &QPushButton::clicked, this, &frmmain::onLogFolderPick);
    // A choice, or a folder field left, checks for changes; a field entered is selected whole.
    for (QComboBox* list : {comPortList, speedList, connectionList})
        connect(list, &QComboBox::currentIndexChanged, this, &frmmain::CheckForChanges);
    for (TextBox* field : {backroomFolderField, logFolderField, daysToKeepField})
        connect(field, &TextBox::gotFocus, this, [this] { SelectAllOnFocus(this); });
    for (TextBox* field : {backroomFolderField, logFolderField})
        connect(field, &TextBox::lostFocus, this, &frmmain::CheckForChanges);
    connect(daysToKeepField, &TextBox::validate, this, &frmmain::onDaysFieldLeft);
    daysToKeepField->keyPress = [this](int& keyCode) { onDaysFieldKey(keyCode); };
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
        for (int i = 0; i < restaurantList->topLevelItemCount(); ++i)
            restaurants << restaurantList->topLevelItem(i)->text(0);
        showCallHistory(restaurants);
    };
    saveButton->setEnabled(false);
    station_.start(view);
}

void frmmain::showConfiguration() {
    const Configuration& config = station_.configuration();
    backroomFolderField->setText(config.BackroomFolder);
    logFolderField->setText(config.LogFolder);
    daysToKeepField->setText(QString::number(config.KeepDays));
    SelectComPort(config.PortNumber);
    SelectConnection(config.connection);
    SelectSpeed(config.LineSpeed);
}

void frmmain::ListTravelPathDates() {
    restaurantList->hide();
    // A failure leaves the list hidden for the rest of the run.
    const std::vector<TravelPathRow> rows =
        dialvane::ListTravelPathDates(station_.configuration().BackroomFolder, context_.locale);
    for (const TravelPathRow& row : rows) {
        auto* item = new QTreeWidgetItem(restaurantList);
        item->setText(0, row.restonum);
        item->setText(1, row.timestamp);
    }
    restaurantList->show();
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

void frmmain::onCloseClicked() {
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

void frmmain::onDaysFieldKey(int& keyCode) {
    if (context_.daysKeyPress)
        context_.daysKeyPress(keyCode);
    else
        DaysToKeepKeyPress(daysToKeepField, keyCode, context_.locale);
}

void frmmain::onDaysFieldLeft() {
    // A field left empty shows the days in effect again; the move is never refused.
    DaysToKeepValidate(daysToKeepField, station_.configuration().KeepDays,
                       [this] { CheckForChanges(); });
}

// ---- Folder buttons ------------------------------------------------------------------------

void frmmain::onBackroomFolderPick() {
    pickFolder(backroomFolderField, BackroomFolderTitle());
}

void frmmain::onLogFolderPick() {
    pickFolder(logFolderField, LogFolderTitle());
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
