// The three connection lists of the main window and the re-opening of the port with what they
// show. The stored port, speed and connection play no part in the re-opening: the lists do.
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

void frmmain::SelectConnection(Connection connection) {
    cboConnection->setCurrentIndex(connection == Connection::Modem ? 0 : 1);
}

Connection frmmain::GetSelectedConnection() const {
    return cboConnection->currentIndex() == 0 ? Connection::Modem : Connection::Direct;
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
    // A list left without a choice (only a caller can leave one so) names no port: the port is
    // closed first in any case, and stays closed.
    if (cboComPort->currentIndex() < 0 || cboSpeed->currentIndex() < 0) {
        context_.link->close();
        report(cboComPort->currentIndex() < 0 ? QStringLiteral("No port is chosen.")
                                              : QStringLiteral("No speed is chosen."));
        return;
    }
    // The configuration in use with what the lists show: the station builds the request from it
    // as it does at start-up. A failure comes back as openFailed and is reported then.
    Configuration shown = station_.configuration();
    shown.PortNumber = GetSelectedComPort();
    shown.LineSpeed = GetSelectedSpeed();
    shown.setConnection(GetSelectedConnection());
    station_.openPort(shown);
}

} // namespace dialvane
