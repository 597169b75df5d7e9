#pragma once
// The station's main window: start-up, the configuration panel (locked until the
// administrative password is given), the connection choices and the list of restaurant
// folders. The transfer link runs in its own thread; this window only asks it to reopen or
// close the port and listens to what it reports.

#include "link/CallFollower.h"
#include "link/LinkEvents.h"
#include "settings/SettingsManager.h"
#include "station/Station.h"
#include "statuswindow/StatusWindowHost.h"
#include "textentry/BrowseFolders.h"

#include <QDate>
#include <QLocale>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace dialvane {

class LinkThread;
class RegistryArea;
class TextBox;

// What the window takes from its surroundings. Left empty, each part is the real one;
// tests replace those that would wait for a person or read the real clock.
struct MainWindowContext {
    QString programFolder;               // where Dialvane.ini lives
    LinkThread* link = nullptr;          // the link worker; must outlive the window
    RegistryArea* registry = nullptr;    // the per-user settings area
    QLocale locale = QLocale::system();  // how stored numbers are read and dates shown
    const Clock* clock = &systemClock(); // the local date: purge, call history, password
    // A message box titled "Dialvane" with an OK button only.
    std::function<void(const QString& description)> report;
    // A Yes / No question titled "Dialvane": true for Yes.
    std::function<bool(const QString& question)> confirm;
    // The unlock dialog, shown modally: true when the right password was entered.
    std::function<bool()> askPassword;
    // The folder picker behind the two "<" buttons (empty: the system's folder dialog).
    FolderChooser chooseFolder;
    // The days field's key filter (empty: the numeric filter with the mask "999").
    std::function<void(int& keyCode)> daysKeyPress;
};

class frmmain : public QWidget {
    Q_OBJECT
public:
    // Creating the window runs the start-up: settings, panel, port, list, log purge.
    explicit frmmain(MainWindowContext context, QWidget* parent = nullptr);
    ~frmmain() override;

    const Configuration& configuration() const { return station_.configuration(); }
    bool DefaultsUsed() const { return station_.defaultsUsed(); }
    SettingsManager& AppSettings() { return station_.settings(); }
    Station& station() { return station_; }
    StatusWindowHost& statusWindow() { return status_; }

    // Configuration panel.
    void SetPanelLocked(bool Locked);
    void CheckForChanges();
    // The Save action: stores what changed, reopens the port with what the lists show (a
    // failure is reported when the link says so), locks the panel.
    void Save();

    // Connection choices.
    void SelectComPort(std::int16_t port);
    std::int16_t GetSelectedComPort() const;
    void SelectSpeed(std::int16_t speed);
    std::int16_t GetSelectedSpeed() const;
    void SelectConnection(Connection connection);
    Connection GetSelectedConnection() const;

    // The widgets, by the names the rest of the program knows them by.
    QGroupBox* pathFrame;
    QLabel* backroomFolderLabel;
    TextBox* backroomFolderField;
    QPushButton* backroomFolderButton;
    QLabel* logFolderLabel;
    TextBox* logFolderField;
    QPushButton* logFolderButton;
    QLabel* daysToKeepLabel;
    TextBox* daysToKeepField;
    QLabel* restaurantListLabel;
    QTreeWidget* restaurantList;
    QLabel* lastCallLabel; // the last call's outcome and today's failures
    QGroupBox* communicationFrame;
    QLabel* comPortLabel;
    QComboBox* comPortList;
    QLabel* speedLabel;
    QComboBox* speedList;
    QLabel* connectionLabel;
    QComboBox* connectionList;
    QPushButton* saveButton;
    QPushButton* closeButton;
    QPushButton* unlockButton;

signals:
    // The window is closing: the program ends.
    void unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // How a placed widget follows a window larger than its minimum size.
    enum Grow { Wider = 1, Taller = 2, Right = 4, Down = 8 };
    struct Placed {
        QWidget* widget;
        QRect twips;
        int grow;
    };
    void fitLayout(const QSize& windowTwips);
    void layOut(const QSize& extra);

    void heard(const LinkEvent& event);
    void showCallHistory(const QStringList& restaurants);
    void showSaved();
    void callRecorded(const journal::Entry& call);
    void showLastCall();
    bool foldersConfirmed();

    void createWidgets();
    void connectHandlers();
    void Form_Load();
    void Form_Unload();
    void showConfiguration();
    void ListTravelPathDates();
    void report(const QString& description);

    void onSaveClicked();
    void onCloseClicked();
    void onUnlockClicked();
    void onBackroomFolderPick();
    void onLogFolderPick();
    void pickFolder(TextBox* field, const QString& title);
    void onDaysFieldKey(int& keyCode);
    void onDaysFieldLeft();

    MainWindowContext context_;
    Station station_;
    StatusWindowHost status_;
    std::vector<Placed> placed_;
    double scaleX_ = 1;
    std::optional<journal::Entry> lastCall_;
    QDate failuresDate_;
    int failuresToday_ = 0;
    CallFollower callsInProgress_;
    QString journalProblem_;
};

// Selects the whole text of the window's focused control when it is a text box.
void SelectAllOnFocus(QWidget* window);

} // namespace dialvane
