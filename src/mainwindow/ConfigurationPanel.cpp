// The configuration panel of the main window: the lock, the change check, the unlock button
// and the Save action.
#include "common/Numbers.h"
#include "mainwindow/TextBox.h"
#include "mainwindow/frmmain.h"
#include "textentry/MainModule.h"
#include "unlock/frmPassword.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace dialvane {

void frmmain::SetPanelLocked(bool Locked) {
    const QList<QWidget*> panel = {comPortLabel,        speedLabel,          connectionLabel,
                                   logFolderLabel,      backroomFolderLabel, restaurantListLabel,
                                   daysToKeepLabel,     logFolderField,      daysToKeepField,
                                   backroomFolderField, logFolderButton,     backroomFolderButton,
                                   comPortList,         connectionList,      speedList};
    for (QWidget* widget : panel)
        widget->setEnabled(!Locked);
}

void frmmain::CheckForChanges() {
    const Configuration& config_ = station_.configuration();
    saveButton->setEnabled(false);
    const bool changed =
        backroomFolderField->text().toUpper() != config_.BackroomFolder.toUpper() ||
        logFolderField->text().toUpper() != config_.LogFolder.toUpper() ||
        daysToKeepField->text() != QString::number(config_.KeepDays) ||
        GetSelectedComPort() != config_.PortNumber ||
        connectionName(GetSelectedConnection()) != config_.connectionText() ||
        GetSelectedSpeed() != config_.LineSpeed;
    if (changed)
        saveButton->setEnabled(true);
}

void frmmain::onUnlockClicked() {
    bool accepted = false;
    if (context_.askPassword) {
        accepted = context_.askPassword();
    } else {
        // Built afresh for every try; shown modally without an owner.
        PasswordContext password;
        password.clock = context_.clock;
        password.passwordHash = station_.configuration().PasswordHash;
        frmPassword dialog(password);
        dialog.exec();
        accepted = dialog.PasswordAccepted();
    }
    if (!accepted)
        return;
    SetPanelLocked(false);
    unlockButton->hide();
}

void frmmain::onSaveClicked() {
    // Nothing in Save is expected to fail once start-up has run; should it, the operator is
    // told and the station keeps running.
    if (!foldersConfirmed())
        return; // the panel stays open with the change
    try {
        Save();
    } catch (const std::exception& failure) {
        report(describeFailure(failure));
    }
}

void frmmain::Save() {
    const Configuration& stored = station_.configuration();
    Configuration wanted = stored;
    if (backroomFolderField->text() != stored.BackroomFolder) {
        wanted.BackroomFolder = AddBackslash(backroomFolderField->text());
        backroomFolderField->setText(wanted.BackroomFolder);
    }
    if (logFolderField->text() != stored.LogFolder) {
        wanted.LogFolder = AddBackslash(logFolderField->text());
        logFolderField->setText(wanted.LogFolder);
    }

    // Days: a field holding no number, or one beyond the 16-bit range (pasted text, or a field
    // emptied just before the click), keeps the days in effect and shows them again. A usable
    // value stays as typed ("060").
    const QString daysText = daysToKeepField->text();
    bool daysUsable = isRegionalNumber(daysText, context_.locale);
    if (daysUsable) {
        const double days = context_.locale.toDouble(daysText.trimmed());
        try {
            if (days != stored.KeepDays)
                wanted.KeepDays = toInt16(days);
        } catch (const ConversionError&) {
            daysUsable = false;
        }
    }
    if (!daysUsable)
        daysToKeepField->setText(QString::number(stored.KeepDays));

    // A list without a choice keeps its value.
    if (comPortList->currentIndex() >= 0 && comPortList->currentText().toInt() != stored.PortNumber)
        wanted.PortNumber = GetSelectedComPort();
    if (connectionList->currentIndex() >= 0 &&
        connectionList->currentText() != stored.connectionText())
        wanted.setConnection(GetSelectedConnection());
    if (speedList->currentIndex() >= 0 && speedList->currentText().toInt() != stored.LineSpeed)
        wanted.LineSpeed = GetSelectedSpeed();
    station_.apply(wanted);
    showSaved();
}

// Once saved, the panel locks again until the next password.
void frmmain::showSaved() {
    saveButton->setEnabled(false);
    unlockButton->show();
    SetPanelLocked(true);
}

} // namespace dialvane
