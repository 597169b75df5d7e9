// The three connection lists of the main window and the re-opening of the port with what they
// show. The stored configuration plays no part in the re-opening: the lists do.
#include "common/Numbers.h"
#include "link/LinkThread.h"
#include "mainwindow/frmmain.h"

#include <QComboBox>

namespace dialvane {

void frmmain::SelectComPort(std::int16_t port) {
    cboComPort->setCurrentIndex(port >= 1 && port <= 9 ? port - 1 : 0);
}

std::int16_t frmmain::GetSelectedComPort() const {
    const int position = cboComPort->currentIndex();
    return static_cast<std::int16_t>(position >= 1 && position <= 8 ? position + 1 : 1);
}

void frmmain::SelectSpeed(std::int16_t speed) {
    cboSpeed->setCurrentIndex(speed == 1200 ? 0 : speed == 2400 ? 1 : 2);
}

std::int16_t frmmain::GetSelectedSpeed() const {
    switch (cboSpeed->currentIndex()) {
    case 0:
        return 1200;
    case 1:
        return 2400;
    default:
        return 9600;
    }
}

void frmmain::SelectConnection(const QString& connection) {
    cboConnection->setCurrentIndex(connection == QStringLiteral("Modem") ? 0 : 1);
}

QString frmmain::GetSelectedConnection() const {
    return cboConnection->currentIndex() == 0 ? QStringLiteral("Modem") : QStringLiteral("Direct");
}

void frmmain::cboComPort_Click() {
    CheckForChanges();
}

void frmmain::cboSpeed_Click() {
    CheckForChanges();
}

void frmmain::cboConnection_Click() {
    CheckForChanges();
}

void frmmain::ReopenPort() {
    const QString connection = cboConnection->currentText();
    const QString speedText = cboSpeed->currentText();
    const QString portText = cboComPort->currentText();

    PortRequest request;
    try {
        request.connectionLetter = connection.left(1);
        request.portNumber = toInt16(portText, context_.locale);
        bool ok = false;
        request.speed = context_.locale.toDouble(speedText.trimmed(), &ok);
        if (!ok)
            throw ConversionError(
                QStringLiteral("The speed \"%1\" is not a number.").arg(speedText));
    } catch (const ConversionError& failure) {
        // The port is closed first in any case; it stays closed.
        context_.link->close();
        report(failure.description());
        return;
    }
    request.device = portDevice(station_.settings(), request.portNumber);
    applyToRequest(station_.configuration(), request);
    // A failure comes back as openFailed and is reported then.
    station_.openPort(request);
}

} // namespace dialvane
