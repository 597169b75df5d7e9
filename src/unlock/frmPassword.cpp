#include "unlock/frmPassword.h"

#include "common/Numbers.h"
#include "common/PasswordHash.h"
#include "common/Twips.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QThreadPool>

#include <algorithm>

namespace dialvane {

namespace {

// Added to the day of the month. Never shown, never logged.
constexpr int kPasswordOffset = 482;
// The workstation whose operators get the password filled in.
const QString kPrefilledWorkstation = QStringLiteral("QZR8");

constexpr int kEnter = 13;
constexpr int kEscape = 27;

// The character code a key press delivers to a text box; 0 for keys that deliver none
// (arrows, function keys), which never reach the key-press handler.
int keyAscii(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kEnter;
    case Qt::Key_Escape:
        return kEscape;
    default:
        break;
    }
    const QString text = key.text();
    if (text.size() != 1)
        return 0;
    return text.at(0).unicode();
}

} // namespace

frmPassword::frmPassword(PasswordContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    setObjectName(QStringLiteral("frmPassword"));
    setWindowTitle(QStringLiteral("Administrative Password"));
    setModal(true);

    comPortLabel = new QLabel(QStringLiteral("Enter Password"), this);
    comPortLabel->setObjectName(QStringLiteral("comPortLabel"));
    // The drawing's proportions, widened as a whole when this platform's font needs more room
    // for the caption than the drawing gives it.
    constexpr int kLabelTwips = 1185;
    const double needed = comPortLabel->fontMetrics().horizontalAdvance(comPortLabel->text());
    const double dpiX =
        logicalDpiX() * std::max(1.0, needed / twipsToPixels(kLabelTwips, logicalDpiX()));
    const double dpiY = logicalDpiY();
    auto place = [&](QWidget* w, int left, int top, int width, int height) {
        w->setGeometry(twipsToPixels(left, dpiX), twipsToPixels(top, dpiY),
                       twipsToPixels(width, dpiX), twipsToPixels(height, dpiY));
    };

    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    // Every typed character shows as an asterisk, whatever the style would draw.
    txtPassword->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    place(txtPassword, 1350, 135, 2490, 285);
    txtPassword->installEventFilter(this);

    place(comPortLabel, 135, 180, kLabelTwips, 195);
    // A caption taller than the drawn row is centred on it rather than cut.
    if (const int tall = comPortLabel->fontMetrics().height(); tall > comPortLabel->height())
        comPortLabel->setGeometry(comPortLabel->x(),
                                  comPortLabel->y() - (tall - comPortLabel->height()) / 2,
                                  comPortLabel->width(), tall);

    setFixedSize(twipsToPixels(3990, dpiX), twipsToPixels(585, dpiY));
    txtPassword->setFocus();
    connect(&check_, &QFutureWatcher<bool>::finished, this, &frmPassword::storedPasswordChecked);

    // On load: a fresh dialog has not accepted anything.
    passwordAccepted_ = false;
}

std::int16_t frmPassword::ExpectedPasswordNumber(const QDateTime& now) {
    const int day = now.toString(QStringLiteral("dd")).toInt();
    return static_cast<std::int16_t>(day + kPasswordOffset);
}

bool frmPassword::Unlocks(const QString& passwordHash, const QString& entered, const QDateTime& now,
                          const QLocale& locale) {
    if (!passwordHash.isEmpty())
        return passwordMatches(passwordHash, entered);
    return isRegionalNumber(entered, locale) &&
           locale.toDouble(entered.trimmed()) == double(ExpectedPasswordNumber(now));
}

bool frmPassword::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        Form_Activate();
    return QDialog::event(event);
}

void frmPassword::Form_Activate() {
    if (!context_.passwordHash.isEmpty()) // a real password is never filled in
        return;
    if (context_.environment("COMPUTERNAME") != kPrefilledWorkstation)
        return;
    const QString password = QString::number(ExpectedPasswordNumber(context_.clock->localTime()));
    txtPassword->setText(password);
    txtPassword->setCursorPosition(static_cast<int>(password.size()));
}

bool frmPassword::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtPassword && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        int keyCode = keyAscii(*key);
        if (keyCode == 0)
            return false; // a key without a character: the box handles it as usual
        txtPassword_KeyPress(keyCode);
        return keyCode == 0 || keyCode == kEscape;
    }
    return QDialog::eventFilter(watched, event);
}

void frmPassword::txtPassword_KeyPress(int& keyCode) {
    if (keyCode == kEnter) {
        keyCode = 0;
        const QString text = txtPassword->text();
        if (!context_.passwordHash.isEmpty()) {
            checkStoredPassword(text);
            return;
        }
        if (!isRegionalNumber(text, context_.locale))
            return;
        if (Unlocks(QString(), text, context_.clock->localTime(), context_.locale)) {
            passwordAccepted_ = true;
            accept();
            return;
        }
        passwordAccepted_ = false;
    }
    if (keyCode == kEscape)
        reject();
}

// The box takes no keys until the answer is in; Escape still closes the dialog, and an answer
// that comes after it has gone is dropped with the watcher.
void frmPassword::checkStoredPassword(const QString& entered) {
    if (check_.isRunning())
        return;
    txtPassword->setEnabled(false);
    setCursor(Qt::BusyCursor);
    auto promise = std::make_shared<QPromise<bool>>();
    check_.setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, hash = context_.passwordHash, entered] {
        promise->start();
        promise->addResult(passwordMatches(hash, entered));
        promise->finish();
    });
}

void frmPassword::storedPasswordChecked() {
    unsetCursor();
    txtPassword->setEnabled(true);
    txtPassword->setFocus();
    if (check_.future().resultCount() > 0 && check_.result()) {
        passwordAccepted_ = true;
        accept();
    }
    // A wrong password leaves the dialog as a wrong number does: open, the text kept.
}

} // namespace dialvane
