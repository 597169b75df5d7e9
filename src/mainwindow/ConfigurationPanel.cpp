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
    const QList<QWidget*> panel = {Label1,        Label2,          Label3,     Label4,
                                   Label5,        Label6,          Label7,     TXTLogPath,
                                   TXTDaysToKeep, txtBackroomPath, CMDLogPath, cmdBackroomPath,
                                   cboComPort,    cboConnection,   cboSpeed};
    for (QWidget* widget : panel)
        widget->setEnabled(!Locked);
}

void frmmain::CheckForChanges() {
    const Configuration& config_ = station_.configuration();
    cmdSave->setEnabled(false);
    const bool changed = txtBackroomPath->text().toUpper() != config_.BackroomFolder.toUpper() ||
                         TXTLogPath->text().toUpper() != config_.LogFolder.toUpper() ||
                         TXTDaysToKeep->text() != QString::number(config_.KeepDays) ||
                         GetSelectedComPort() != config_.PortNumber ||
                         connectionName(GetSelectedConnection()) != config_.connectionText() ||
                         GetSelectedSpeed() != config_.LineSpeed;
    if (changed)
        cmdSave->setEnabled(true);
}

void frmmain::cmdUnlock_Click() {
    bool accepted = false;
    if (context_.askPassword) {
        accepted = context_.askPassword();
    } else {
        // Built afresh for every try; shown modally without an owner.
        PasswordContext password;
        password.clock = context_.clock;
        frmPassword dialog(password);
        dialog.exec();
        accepted = dialog.PasswordAccepted();
    }
    if (!accepted)
        return;
    SetPanelLocked(false);
    cmdUnlock->hide();
}

void frmmain::cmdSave_Click() {
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
    if (txtBackroomPath->text() != stored.BackroomFolder) {
        wanted.BackroomFolder = AddBackslash(txtBackroomPath->text());
        txtBackroomPath->setText(wanted.BackroomFolder);
    }
    if (TXTLogPath->text() != stored.LogFolder) {
        wanted.LogFolder = AddBackslash(TXTLogPath->text());
        TXTLogPath->setText(wanted.LogFolder);
    }

    // Days: a field holding no number, or one beyond the 16-bit range (pasted text, or a field
    // emptied just before the click), keeps the days in effect and shows them again. A usable
    // value stays as typed ("060").
    const QString daysText = TXTDaysToKeep->text();
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
        TXTDaysToKeep->setText(QString::number(stored.KeepDays));

    // A list without a choice keeps its value.
    if (cboComPort->currentIndex() >= 0 && cboComPort->currentText().toInt() != stored.PortNumber)
        wanted.PortNumber = GetSelectedComPort();
    if (cboConnection->currentIndex() >= 0 &&
        cboConnection->currentText() != stored.connectionText())
        wanted.setConnection(GetSelectedConnection());
    if (cboSpeed->currentIndex() >= 0 && cboSpeed->currentText().toInt() != stored.LineSpeed)
        wanted.LineSpeed = GetSelectedSpeed();
    station_.apply(wanted);
    showSaved();
}

// Once saved, the panel locks again until the next password.
void frmmain::showSaved() {
    cmdSave->setEnabled(false);
    cmdUnlock->show();
    SetPanelLocked(true);
}

} // namespace dialvane
