#pragma once
// A restaurant calling an encrypted line on loopback, with OpenSSL on a plain socket. The
// encryption runs on memory buffers and this class moves the bytes, so a test can stop after
// any byte of the handshake, and a benchmark can drive many callers from one epoll loop.
// Every wait is bounded.

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dialvane::test {

class TlsCaller {
public:
    // `authority` checks the station's certificate (empty: not checked); `cert` and `key`
    // (both or neither) are the restaurant's.
    TlsCaller(const QString& authority, const QString& cert = {}, const QString& key = {}) {
        context_ = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_min_proto_version(context_, TLS1_2_VERSION);
        if (!authority.isEmpty()) {
            SSL_CTX_load_verify_locations(context_, authority.toLocal8Bit().constData(), nullptr);
            SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
        }
        if (!cert.isEmpty()) {
            SSL_CTX_use_certificate_chain_file(context_, cert.toLocal8Bit().constData());
            SSL_CTX_use_PrivateKey_file(context_, key.toLocal8Bit().constData(), SSL_FILETYPE_PEM);
        }
    }
    ~TlsCaller() {
        hangUp();
        SSL_CTX_free(context_);
    }
    TlsCaller(const TlsCaller&) = delete;
    TlsCaller& operator=(const TlsCaller&) = delete;

    // Connects to 127.0.0.1:`port` and does the handshake. With `cutAt` >= 0 it hangs up once
    // it has sent that many bytes of its side of the handshake, and returns false.
    bool call(quint16 port, qint64 cutAt = -1) {
        hangUp();
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return false;
        ssl_ = SSL_new(context_);
        SSL_set_bio(ssl_, BIO_new(BIO_s_mem()), BIO_new(BIO_s_mem()));
        SSL_set_connect_state(ssl_);
        sent_ = 0;
        for (;;) {
            const int result = SSL_do_handshake(ssl_);
            QByteArray out = pending();
            if (cutAt >= 0 && sent_ + out.size() >= cutAt) {
                out.truncate(cutAt - sent_);
                sendRaw(out);
                hangUp();
                return false;
            }
            sendRaw(out);
            if (result == 1)
                return true;
            if (SSL_get_error(ssl_, result) != SSL_ERROR_WANT_READ || !receive(5000)) {
                ERR_clear_error();
                return false;
            }
        }
    }
    // Bytes of its own side of the handshake sent by the last call().
    qint64 handshakeBytes() const { return sent_; }

    bool send(const QByteArray& plain) {
        if (!ssl_ || SSL_write(ssl_, plain.constData(), static_cast<int>(plain.size())) <= 0)
            return false;
        return sendRaw(pending());
    }
    // What the station sent that waits now, or within `withinMs` when nothing waits.
    QByteArray read(int withinMs) {
        QDeadlineTimer deadline(withinMs);
        QByteArray plain = decrypted();
        // What comes may be the station's session tickets, which decrypt to nothing.
        while (plain.isEmpty() && receive(static_cast<int>(deadline.remainingTime())))
            plain = decrypted();
        return plain;
    }
    // The station's next byte, or -1 when the line closed or nothing came in time.
    int answer(int withinMs = 5000) {
        if (buffered_.isEmpty())
            buffered_ = read(withinMs);
        if (buffered_.isEmpty())
            return -1;
        const auto c = static_cast<unsigned char>(buffered_[0]);
        buffered_.remove(0, 1);
        return c;
    }
    bool exchange(const QByteArray& block) { return send(block) && answer() == 0x06; }

    void hangUp() {
        if (ssl_)
            SSL_free(ssl_);
        ssl_ = nullptr;
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        buffered_.clear();
    }
    int descriptor() const { return fd_; }

private:
    QByteArray pending() {
        QByteArray out;
        BIO* wire = SSL_get_wbio(ssl_);
        char chunk[4096];
        for (int n; (n = BIO_read(wire, chunk, sizeof chunk)) > 0;)
            out.append(chunk, n);
        return out;
    }
    bool sendRaw(const QByteArray& bytes) {
        sent_ += bytes.size();
        return bytes.isEmpty() ||
               ::send(fd_, bytes.constData(), bytes.size(), MSG_NOSIGNAL) == bytes.size();
    }
    // Moves what the socket holds into the session; false on a close or a silence.
    bool receive(int withinMs) {
        pollfd p{fd_, POLLIN, 0};
        if (fd_ < 0 || ::poll(&p, 1, withinMs) <= 0)
            return false;
        char chunk[16384];
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0)
            return false;
        BIO_write(SSL_get_rbio(ssl_), chunk, static_cast<int>(got));
        return true;
    }
    QByteArray decrypted() {
        QByteArray plain;
        char chunk[4096];
        for (int n; ssl_ && (n = SSL_read(ssl_, chunk, sizeof chunk)) > 0;)
            plain.append(chunk, n);
        ERR_clear_error();
        if (ssl_)
            sendRaw(pending()); // a key update or ticket answer, if any
        return plain;
    }

    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    int fd_ = -1;
    qint64 sent_ = 0;
    QByteArray buffered_;
};

} // namespace dialvane::test
