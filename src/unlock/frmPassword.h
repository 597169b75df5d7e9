#pragma once
// The administrative password dialog that unlocks the configuration panel. The password is
// the day of the month plus a fixed offset, so it changes every day and is stored nowhere; on
// the one workstation named "QZR8" the dialog fills it in by itself.
//
// A station with [Security] PasswordHash set (see common/PasswordHash.h) has a real password
// instead: only it unlocks, nothing is filled in, and a PasswordHash that cannot be read
// unlocks nothing at all rather than falling back to the password of the day. Checking it
// takes about a second, so it runs on a worker thread while the box is disabled.

#include "common/Clock.h"
#include <QDateTime>

#include <QDialog>
#include <QFutureWatcher>
#include <QLocale>

#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;

namespace dialvane {

// Where the dialog takes the date, the workstation name and the number format from; tests
// set each of them.
struct PasswordContext {
    const Clock* clock = &systemClock();
    std::function<QString(const char*)> environment = [](const char* name) {
        return qEnvironmentVariable(name);
    };
    QLocale locale = QLocale::system();
    // [Security] PasswordHash as read; empty: the password of the day.
    QString passwordHash;
};

class frmPassword : public QDialog {
    Q_OBJECT
public:
    explicit frmPassword(PasswordContext context = {}, QWidget* parent = nullptr);

    // True only when the dialog closed because the right password was entered.
    bool PasswordAccepted() const { return passwordAccepted_; }

    // The password for the day of `now`, as a number.
    static std::int16_t ExpectedPasswordNumber(const QDateTime& now);
    // Whether `entered` unlocks the panel at `now`: with `passwordHash` set only its password
    // does (a malformed one: nothing); without, the number of the day however written. Slow
    // when a hash is set; callable from any thread.
    static bool Unlocks(const QString& passwordHash, const QString& entered, const QDateTime& now,
                        const QLocale& locale);

    QLineEdit* txtPassword;
    QLabel* comPortLabel;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Activate();
    void txtPassword_KeyPress(int& keyCode);
    void checkStoredPassword(const QString& entered);
    void storedPasswordChecked();

    PasswordContext context_;
    bool passwordAccepted_ = false;
    QFutureWatcher<bool> check_; // the stored password being checked, off this thread
};

} // namespace dialvane
