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

namespace {
constexpr std::int32_t kOwnFile = 4;
}

void frmmain::SetPanelLocked(bool Locked) {
    const QList<QWidget*> panel = {Label1,        Label2,          Label3,     Label4,
                                   Label5,        Label6,          Label7,     TXTLogPath,
                                   TXTDaysToKeep, txtBackroomPath, CMDLogPath, cmdBackroomPath,
                                   cboComPort,    cboConnection,   cboSpeed};
    for (QWidget* widget : panel)
        widget->setEnabled(!Locked);
}

void frmmain::CheckForChanges() {
    cmdSave->setEnabled(false);
    const bool changed = txtBackroomPath->text().toUpper() != config_.BackroomFolder.toUpper() ||
                         TXTLogPath->text().toUpper() != config_.LogFolder.toUpper() ||
                         TXTDaysToKeep->text() != QString::number(config_.KeepDays) ||
                         GetSelectedComPort() != config_.PortNumber ||
                         GetSelectedConnection() != config_.ConnectionType ||
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
        frmPassword dialog;
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
    try {
        Save();
    } catch (const std::exception& failure) {
        report(QString::fromLocal8Bit(failure.what()));
    }
}

void frmmain::Save() {
    const QString path = QStringLiteral("Path");
    const QString communication = QStringLiteral("Communication");

    if (txtBackroomPath->text() != config_.BackroomFolder) {
        const QString folder = AddBackslash(txtBackroomPath->text());
        settings_.Save(path, QStringLiteral("BackroomPath"), folder, kOwnFile);
        config_.BackroomFolder = folder;
        txtBackroomPath->setText(folder);
    }
    if (TXTLogPath->text() != config_.LogFolder) {
        const QString folder = AddBackslash(TXTLogPath->text());
        settings_.Save(path, QStringLiteral("LogPath"), folder, kOwnFile);
        config_.LogFolder = folder;
        TXTLogPath->setText(folder);
    }

    // Days: a field holding no number, or one beyond the 16-bit range (pasted text, or a field
    // emptied just before the click), keeps the days in effect and shows them again.
    const QString daysText = TXTDaysToKeep->text();
    bool daysUsable = isRegionalNumber(daysText, context_.locale);
    if (daysUsable) {
        const double days = context_.locale.toDouble(daysText.trimmed());
        if (days != config_.KeepDays) {
            try {
                config_.KeepDays = toInt16(days);
                settings_.Save(QStringLiteral("Global"), QStringLiteral("DaysToKeep"),
                               QString::number(config_.KeepDays), kOwnFile);
            } catch (const ConversionError&) {
                daysUsable = false;
            }
        }
    }
    if (!daysUsable)
        TXTDaysToKeep->setText(QString::number(config_.KeepDays));

    // A list without a choice (only after a start-up that stopped early) keeps its value.
    if (cboComPort->currentIndex() >= 0 &&
        cboComPort->currentText().toInt() != config_.PortNumber) {
        config_.PortNumber = GetSelectedComPort();
        settings_.Save(communication, QStringLiteral("ComPort"),
                       QString::number(config_.PortNumber), kOwnFile);
    }
    if (cboConnection->currentIndex() >= 0 &&
        cboConnection->currentText() != config_.ConnectionType) {
        config_.ConnectionType = GetSelectedConnection();
        settings_.Save(communication, QStringLiteral("Connection"), config_.ConnectionType,
                       kOwnFile);
    }
    if (cboSpeed->currentIndex() >= 0 && cboSpeed->currentText().toInt() != config_.LineSpeed) {
        config_.LineSpeed = GetSelectedSpeed();
        settings_.Save(communication, QStringLiteral("Speed"), QString::number(config_.LineSpeed),
                       kOwnFile);
    }

    cmdSave->setEnabled(false);
    ReopenPort();
    cmdUnlock->show();
    SetPanelLocked(true);
}

} // namespace dialvane
