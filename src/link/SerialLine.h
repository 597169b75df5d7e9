#pragma once
// A serial port with a modem or a direct cable. Qt reports no change of the carrier line, so
// it is polled while waiting, at most 50 ms apart; a poll is one ioctl, nothing while idle.

#include "link/Line.h"

#include <QElapsedTimer>
#include <QSerialPort>

#include <functional>

namespace dialvane {

class SerialLine final : public Line {
public:
    // `portNumber` is for messages ("COM3"); `device` is what it names (/dev/ttyUSB0, COM12).
    SerialLine(int portNumber, const QString& device);
    ~SerialLine() override;

    // Called once per open when the carrier line cannot be read (no modem lines).
    void onWarning(std::function<void(const QString&)> warn) { warn_ = std::move(warn); }

    void open(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }

    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int InBufferCount() const override;
    bool CDHolding() const override { return carrier_; }
    void SetDTR(bool raised) override;
    void SetRTS(bool raised) override;

    Millis now() const override { return Millis(clock_.elapsed()); }
    Wake waitUntil(Millis deadline) override;

    static constexpr Millis kPollInterval{50};

private:
    bool pollCarrier();
    QString describe(const QString& what) const;

    int portNumber_;
    QString device_;
    QString failure_; // a port failure found while waiting, raised by the next wait
    mutable QSerialPort port_;
    QElapsedTimer clock_;
    bool carrier_ = false;
    bool carrierUnreadable_ = false;
    qint64 seenBytes_ = 0;
    std::function<void(const QString&)> warn_;
};

} // namespace dialvane
