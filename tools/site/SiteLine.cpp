#include "SiteLine.h"

#include "link/PortAddress.h"

#include <QFile>
#include <QSslConfiguration>
#include <QSslKey>
#include <QThread>

namespace dialvane::site {

namespace {

QList<QSslCertificate> certificatesIn(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw SiteLineError(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const QList<QSslCertificate> found = QSslCertificate::fromData(file.readAll(), QSsl::Pem);
    if (found.isEmpty())
        throw SiteLineError(QStringLiteral("%1 holds no PEM certificate").arg(path));
    return found;
}

// The station's certificate checked against `caFile` and the host name or address called,
// and the restaurant's own certificate when given.
QSslConfiguration tlsConfiguration(const SiteTls& tls) {
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    if (!tls.caFile.isEmpty())
        config.setCaCertificates(certificatesIn(tls.caFile));
    if (tls.certificateFile.isEmpty() != tls.keyFile.isEmpty())
        throw SiteLineError(QStringLiteral("--cert and --key go together"));
    if (!tls.certificateFile.isEmpty()) {
        const QList<QSslCertificate> chain = certificatesIn(tls.certificateFile);
        config.setLocalCertificateChain(chain);
        QFile file(tls.keyFile);
        if (!file.open(QIODevice::ReadOnly))
            throw SiteLineError(
                QStringLiteral("cannot read %1: %2").arg(tls.keyFile, file.errorString()));
        const QByteArray pem = file.readAll();
        QSslKey key(pem, QSsl::Ec);
        if (key.isNull())
            key = QSslKey(pem, QSsl::Rsa);
        if (key.isNull())
            throw SiteLineError(QStringLiteral("%1 holds no unencrypted PEM key").arg(tls.keyFile));
        config.setPrivateKey(key);
    }
    return config;
}

class TcpSiteLine final : public SiteLine {
public:
    TcpSiteLine(QString host, quint16 port, const SiteTls& tls)
        : host_(std::move(host)), port_(port), tls_(tls.on) {
        if (!tls_)
            return;
        if (!QSslSocket::supportsSsl())
            throw SiteLineError(QStringLiteral("TLS is not available here"));
        socket_.setSslConfiguration(tlsConfiguration(tls));
    }

    void callUp() override {
        if (tls_)
            return encryptedCallUp();
        socket_.connectToHost(host_, port_);
        if (!socket_.waitForConnected(10000))
            throw SiteLineError(QStringLiteral("cannot connect to %1:%2: %3")
                                    .arg(host_)
                                    .arg(port_)
                                    .arg(socket_.errorString()));
    }
    void hangUp() override { socket_.abort(); }
    void write(const QByteArray& bytes) override {
        socket_.write(bytes);
        socket_.flush();
    }
    QByteArray read(int ms) override {
        if (socket_.state() != QAbstractSocket::ConnectedState) {
            if (!socket_.isOpen()) {
                QThread::msleep(static_cast<unsigned long>(ms));
                return {};
            }
            return socket_.readAll(); // what came before the station hung up
        }
        if (socket_.bytesAvailable() == 0)
            socket_.waitForReadyRead(ms);
        return socket_.readAll();
    }
    bool stationPresent() override {
        // A station that refuses the restaurant's certificate says so after the handshake.
        if (tls_ && (socket_.error() == QAbstractSocket::SslHandshakeFailedError ||
                     socket_.error() == QAbstractSocket::SslInternalError))
            throw SiteLineError(QStringLiteral("TLS handshake with %1:%2 failed: %3")
                                    .arg(host_)
                                    .arg(port_)
                                    .arg(socket_.errorString()));
        return socket_.state() == QAbstractSocket::ConnectedState;
    }

private:
    void encryptedCallUp() {
        QString problems; // what was wrong with the station's certificate
        QObject::connect(&socket_, &QSslSocket::sslErrors, [&](const QList<QSslError>& errors) {
            for (const QSslError& error : errors)
                problems += (problems.isEmpty() ? "" : "; ") + error.errorString();
        });
        socket_.connectToHostEncrypted(host_, port_);
        if (!socket_.waitForEncrypted(10000))
            throw SiteLineError(QStringLiteral("TLS handshake with %1:%2 failed: %3")
                                    .arg(host_)
                                    .arg(port_)
                                    .arg(problems.isEmpty() ? socket_.errorString() : problems));
    }

    QString host_;
    quint16 port_;
    bool tls_;
    QSslSocket socket_;
};

class SerialSiteLine final : public SiteLine {
public:
    SerialSiteLine(const QString& device, int speed, QString dial) : dial_(std::move(dial)) {
        port_.setPortName(device);
        if (!port_.open(QIODevice::ReadWrite))
            throw SiteLineError(
                QStringLiteral("cannot open %1: %2").arg(device, port_.errorString()));
        port_.setBaudRate(speed);
        port_.setDataBits(QSerialPort::Data8);
        port_.setParity(QSerialPort::NoParity);
        port_.setStopBits(QSerialPort::OneStop);
        port_.setFlowControl(QSerialPort::NoFlowControl);
        port_.setDataTerminalReady(false);
        port_.setRequestToSend(true);
    }

    void callUp() override {
        port_.setDataTerminalReady(true);
        if (dial_.isEmpty())
            return;
        // A modem of our own: reset it, dial, and wait for the connection.
        command("ATZ\r", "OK", 5000);
        command(("ATDT" + dial_ + "\r").toLatin1(), "CONNECT", 60000);
    }
    void hangUp() override { port_.setDataTerminalReady(false); }
    void write(const QByteArray& bytes) override {
        port_.write(bytes);
        port_.flush();
        port_.waitForBytesWritten(1000);
    }
    QByteArray read(int ms) override {
        if (port_.bytesAvailable() == 0)
            port_.waitForReadyRead(ms);
        port_.clearError();
        return port_.readAll();
    }
    bool stationPresent() override {
        // The station's DTR reaches us as carrier detect (null modem) or as the modem's carrier.
        const auto pins = port_.pinoutSignals();
        if (port_.error() != QSerialPort::NoError) {
            port_.clearError();
            return true; // no modem lines to watch: the station's hang-up cannot be seen
        }
        return pins.testFlag(QSerialPort::DataCarrierDetectSignal);
    }

private:
    void command(const QByteArray& text, const QByteArray& expect, int ms) {
        write(text);
        QByteArray answer;
        QElapsedTimer timer;
        timer.start();
        while (!answer.contains(expect)) {
            if (timer.elapsed() > ms)
                throw SiteLineError(
                    QStringLiteral("the modem did not answer %1 to %2")
                        .arg(QString::fromLatin1(expect), QString::fromLatin1(text.trimmed())));
            answer += read(50);
        }
    }

    QSerialPort port_;
    QString dial_;
};

} // namespace

std::unique_ptr<SiteLine> openSiteLine(const QString& line, int speed, const QString& dial,
                                       const SiteTls& tls) {
    const PortAddress address = parsePortValue(line);
    if (address.isNetwork()) {
        if (!address.error.isEmpty())
            throw SiteLineError(address.error);
        SiteTls encrypted = tls;
        encrypted.on = tls.on || address.kind == PortAddress::Kind::Tls;
        return std::make_unique<TcpSiteLine>(address.host, address.port, encrypted);
    }
    if (tls.on)
        throw SiteLineError(QStringLiteral("--tls needs a network line (tls:HOST:PORT)"));
    return std::make_unique<SerialSiteLine>(line, speed, dial);
}

} // namespace dialvane::site
