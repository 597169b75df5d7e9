#include "link/SerialLine.h"

namespace dialvane {

namespace {

QString reasonFor(QSerialPort::SerialPortError error, const QString& text) {
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return QStringLiteral("the device does not exist");
    case QSerialPort::PermissionError:
        return QStringLiteral("the device is in use or you have no permission to open it (%1)")
            .arg(text);
    case QSerialPort::OpenError:
        return QStringLiteral("the device is already open");
    default:
        return text;
    }
}

} // namespace

SerialLine::SerialLine(int portNumber, const QString& device)
    : portNumber_(portNumber), device_(device) {
    clock_.start();
}

SerialLine::~SerialLine() {
    close();
}

QString SerialLine::describe(const QString& what) const {
    return QStringLiteral("COM%1 (%2): %3").arg(portNumber_).arg(device_, what);
}

void SerialLine::open(const LineSettings& settings) {
    port_.setPortName(device_);
    if (!port_.open(QIODevice::ReadWrite))
        throw LineError(describe(QStringLiteral("cannot open the port: ") +
                                 reasonFor(port_.error(), port_.errorString())));
    if (!port_.setBaudRate(settings.speed) || !port_.setDataBits(QSerialPort::Data8) ||
        !port_.setParity(QSerialPort::NoParity) || !port_.setStopBits(QSerialPort::OneStop) ||
        !port_.setFlowControl(QSerialPort::NoFlowControl)) {
        const QString reason = port_.errorString();
        port_.close();
        throw LineError(describe(QStringLiteral("the port refused the line settings %1: %2")
                                     .arg(settings.text(), reason)));
    }
    SetRTS(true);
    SetDTR(true);
    carrierUnreadable_ = false;
    seenBytes_ = 0;
    carrier_ = pollCarrier();
}

void SerialLine::close() {
    failure_.clear();
    if (port_.isOpen()) {
        port_.clearError();
        port_.close();
    }
    carrier_ = false;
}

void SerialLine::Output(const QByteArray& bytes) {
    if (port_.write(bytes) != bytes.size())
        throw LineError(describe(QStringLiteral("cannot send: ") + port_.errorString()));
    port_.flush();
}

QByteArray SerialLine::Input() {
    seenBytes_ = 0;
    return port_.readAll();
}

int SerialLine::InBufferCount() const {
    return static_cast<int>(port_.bytesAvailable());
}

void SerialLine::SetDTR(bool raised) {
    port_.setDataTerminalReady(raised);
}

void SerialLine::SetRTS(bool raised) {
    port_.setRequestToSend(raised);
}

bool SerialLine::pollCarrier() {
    if (carrierUnreadable_)
        return false;
    const QSerialPort::PinoutSignals pins = port_.pinoutSignals();
    if (port_.error() != QSerialPort::NoError) {
        // A pseudo-terminal or an adapter without modem lines: say so once, then stop asking.
        carrierUnreadable_ = true;
        const QString reason = port_.errorString();
        port_.clearError();
        if (warn_)
            warn_(describe(QStringLiteral("the carrier line cannot be read (%1); calls on this "
                                          "port will not be answered")
                               .arg(reason)));
        return false;
    }
    return pins.testFlag(QSerialPort::DataCarrierDetectSignal);
}

Line::Wake SerialLine::waitUntil(Millis deadline) {
    for (;;) {
        if (!failure_.isEmpty()) {
            const QString failure = failure_;
            failure_.clear();
            throw LineError(failure);
        }
        if (!port_.isOpen())
            return Wake::Deadline;
        const bool carrier = pollCarrier();
        if (carrier != carrier_) {
            carrier_ = carrier;
            return Wake::Carrier;
        }
        if (port_.bytesAvailable() > seenBytes_) {
            seenBytes_ = port_.bytesAvailable();
            return Wake::Data;
        }
        const Millis left = deadline - now();
        if (left <= Millis(0))
            return Wake::Deadline;
        port_.waitForReadyRead(static_cast<int>(std::min(left, kPollInterval).count()));
        if (port_.error() == QSerialPort::ResourceError) {
            // The adapter was unplugged: that ends any call, and the next wait says why.
            failure_ = describe(QStringLiteral("the port failed: ") + port_.errorString());
            carrier_ = false;
            port_.close();
            return Wake::Carrier;
        }
        port_.clearError(); // a time-out of the wait is not a failure
    }
}

} // namespace dialvane
