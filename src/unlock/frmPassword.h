#pragma once
// The administrative password dialog that unlocks the configuration panel. The password is
// the day of the month plus a fixed offset, so it changes every day and is stored nowhere; on
// the one workstation named "QZR8" the dialog fills it in by itself.

#include "common/Clock.h"
#include <QDateTime>

#include <QDialog>
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
};

class frmPassword : public QDialog {
    Q_OBJECT
public:
    explicit frmPassword(PasswordContext context = {}, QWidget* parent = nullptr);

    // True only when the dialog closed because the right password was entered.
    bool PasswordAccepted() const { return passwordAccepted_; }

    // The password for the day of `now`, as a number.
    static std::int16_t ExpectedPasswordNumber(const QDateTime& now);

    QLineEdit* txtPassword;
    QLabel* comPortLabel;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Activate();
    void txtPassword_KeyPress(int& keyCode);

    PasswordContext context_;
    bool passwordAccepted_ = false;
};

} // namespace dialvane
