#include "mainwindow/frmmain.h"

#include "common/Numbers.h"
#include "common/Paths.h"
#include "common/Twips.h"
#include "housekeeping/Housekeeping.h"
#include "link/LinkThread.h"
#include "mainwindow/TextBox.h"
#include "settings/RegistryArea.h"
#include "textentry/MainModule.h"
#include "unlock/frmPassword.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeWidget>

// The pictures live in this library's resources; a static library must register them itself.
static void registerPictures() {
    Q_INIT_RESOURCE(mainwindow);
}

namespace dialvane {

namespace {

// The captions' font: the classic dialog font where it exists, else a metric-compatible one.
QFont dialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    font.setPointSize(8);
    return font;
}

} // namespace

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

void frmmain::createWidgets() {
    setFont(dialogFont());
    // Each widget's place in twips, and how it follows a window made larger than its minimum.
    auto place = [&](QWidget* w, int left, int top, int width, int height, int grow = 0) {
        placed_.push_back({w, QRect(left, top, width, height), grow});
    };
    auto label = [&](const char* name, const QString& caption, QWidget* parent) {
        auto* l = new QLabel(caption, parent);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        return l;
    };
    auto textBox = [&](const char* name, const QString& text, QWidget* parent) {
        auto* t = new TextBox(text, parent);
        t->setObjectName(QString::fromLatin1(name));
        return t;
    };
    auto button = [&](const char* name, const QString& caption, QWidget* parent) {
        auto* b = new QPushButton(caption, parent);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    auto list = [&](const char* name, const QStringList& entries, QWidget* parent) {
        auto* c = new QComboBox(parent);
        c->setObjectName(QString::fromLatin1(name));
        c->addItems(entries);
        c->setCurrentIndex(-1);
        return c;
    };

    FramePath = new QGroupBox(QStringLiteral("Path / Chemin"), this);
    FramePath->setObjectName(QStringLiteral("FramePath"));
    place(FramePath, 127, 98, 4020, 3015, Wider | Taller);
    Label5 = label("Label5", QStringLiteral("Backroom"), FramePath);
    place(Label5, 90, 375, 690, 195);
    txtBackroomPath = textBox("txtBackroomPath", QStringLiteral("c:\\Backroom"), FramePath);
    place(txtBackroomPath, 810, 330, 2670, 285, Wider);
    cmdBackroomPath = button("cmdBackroomPath", QStringLiteral("<"), FramePath);
    place(cmdBackroomPath, 3585, 330, 285, 285, Right);
    Label4 = label("Label4", QStringLiteral("Log"), FramePath);
    place(Label4, 90, 750, 690, 195);
    TXTLogPath = textBox("TXTLogPath", QStringLiteral("c:\\Backroom"), FramePath);
    place(TXTLogPath, 810, 690, 2670, 285, Wider);
    CMDLogPath = button("CMDLogPath", QStringLiteral("<"), FramePath);
    place(CMDLogPath, 3585, 690, 285, 285, Right);
    Label7 = label("Label7", QStringLiteral("Keep (days) / Garde (jours)"), FramePath);
    place(Label7, 870, 1080, 2070, 195);
    TXTDaysToKeep = textBox("TXTDaysToKeep", QString(), FramePath);
    place(TXTDaysToKeep, 3075, 1035, 405, 285);
    Label6 =
        label("Label6", QStringLiteral("Current travel path date / Date du chemin d'inventaire"),
              FramePath);
    place(Label6, 60, 1410, 3900, 195, Wider);

    LVWFileDetails = new QTreeWidget(FramePath);
    LVWFileDetails->setObjectName(QStringLiteral("LVWFileDetails"));
    LVWFileDetails->setColumnCount(4);
    LVWFileDetails->setHeaderLabels({QStringLiteral("restonum"), QStringLiteral("timestamp"),
                                     QStringLiteral("Last call / Dernier appel"),
                                     QStringLiteral("Result / Résultat")});
    LVWFileDetails->setRootIsDecorated(false);
    LVWFileDetails->setItemsExpandable(false);
    LVWFileDetails->setUniformRowHeights(true);
    LVWFileDetails->setAllColumnsShowFocus(true);
    LVWFileDetails->setEditTriggers(QAbstractItemView::NoEditTriggers);
    place(LVWFileDetails, 210, 1680, 3615, 945, Wider | Taller);
    LVWFileDetails->header()->resizeSection(0, twipsToPixels(1050, logicalDpiX()));
    LVWFileDetails->header()->setStretchLastSection(true);
    lblLastCall = label("lblLastCall", QStringLiteral("No call yet / Aucun appel"), FramePath);
    place(lblLastCall, 210, 2670, 3615, 240, Wider | Down);

    FrameCommunication = new QGroupBox(QStringLiteral("Communication"), this);
    FrameCommunication->setObjectName(QStringLiteral("FrameCommunication"));
    place(FrameCommunication, 127, 3195, 4020, 1545, Wider | Down);
    Label1 = label("Label1", QStringLiteral("COM Port / Port Seris"), FrameCommunication);
    place(Label1, 495, 315, 1635, 195);
    cboComPort = list("cboComPort",
                      {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                       QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                       QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9")},
                      FrameCommunication);
    place(cboComPort, 2220, 270, 1365, 315);
    Label2 = label("Label2", QStringLiteral("Speed / Vitesse"), FrameCommunication);
    place(Label2, 495, 720, 1635, 195);
    cboSpeed =
        list("cboSpeed", {QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("9600")},
             FrameCommunication);
    place(cboSpeed, 2220, 675, 1365, 315);
    Label3 = label("Label3", QStringLiteral("Connection"), FrameCommunication);
    place(Label3, 495, 1125, 1635, 195);
    cboConnection = list("cboConnection", {QStringLiteral("Modem"), QStringLiteral("Direct")},
                         FrameCommunication);
    place(cboConnection, 2220, 1080, 1365, 315);

    cmdSave = button("cmdSave", QStringLiteral("&Save / Sauvegarde"), this);
    place(cmdSave, 135, 4875, 1770, 375, Down);
    cmdClose = button("cmdClose", QStringLiteral("&Close / Fermer"), this);
    place(cmdClose, 2010, 4875, 1455, 375, Down);
    cmdUnlock = button("cmdUnlock", QString(), this);
    cmdUnlock->setIcon(QIcon(QStringLiteral(":/dialvane/unlock.xpm")));
    cmdUnlock->setToolTip(QStringLiteral("Unlock / Débarre"));
    place(cmdUnlock, 3570, 4905, 600, 330, Right | Down);

    // Controls that take the focus, in their tab order; labels and frames never take it.
    const QList<QWidget*> tabOrder = {cmdSave,    cmdClose,      txtBackroomPath, cmdBackroomPath,
                                      TXTLogPath, CMDLogPath,    TXTDaysToKeep,   cboComPort,
                                      cboSpeed,   cboConnection, cmdUnlock,       LVWFileDetails};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    fitLayout(QSize(4275, 5325));
}

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
