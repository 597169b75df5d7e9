// The three connection lists of the main window: what they show of the configuration, and
// what a Save takes from them.
#include "link/LinkThread.h"
#include "mainwindow/frmmain.h"

#include <QComboBox>

namespace dialvane {

void frmmain::SelectComPort(std::int16_t port) {
    comPortList->setCurrentIndex(port >= 1 && port <= 9 ? port - 1 : 0);
}

std::int16_t frmmain::GetSelectedComPort() const {
    const int position = comPortList->currentIndex();
    return static_cast<std::int16_t>(position >= 1 && position <= 8 ? position + 1 : 1);
}

void frmmain::SelectSpeed(std::int16_t speed) {
    speedList->setCurrentIndex(speed == 1200 ? 0 : speed == 2400 ? 1 : 2);
}

std::int16_t frmmain::GetSelectedSpeed() const {
    switch (speedList->currentIndex()) {
    case 0:
        return 1200;
    case 1:
        return 2400;
    default:
        return 9600;
    }
}

void frmmain::SelectConnection(Connection connection) {
    connectionList->setCurrentIndex(connection == Connection::Modem ? 0 : 1);
}

Connection frmmain::GetSelectedConnection() const {
    return connectionList->currentIndex() == 0 ? Connection::Modem : Connection::Direct;
}

} // namespace dialvane
