#include "link/TlsSession.h"

#include "common/EightBitText.h"
#include "link/SocketCalls.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>

namespace dialvane {

namespace {

using namespace sockets;

// OpenSSL's own socket transport writes with write(), and a caller gone away would raise
// SIGPIPE in the whole station: this one sends as the plain lines do, without the signal.
TlsSession::Wire& wireOf(BIO* bio) {
    return *static_cast<TlsSession::Wire*>(BIO_get_data(bio));
}

int sendSome(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const auto sent = ::send(socketOf(wireOf(bio).descriptor), data, size, kNoSignal);
    if (sent < 0 && tryAgainLater())
        BIO_set_retry_write(bio);
    return static_cast<int>(sent);
}

int receiveSome(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    const auto got = ::recv(socketOf(wireOf(bio).descriptor), data, size, 0);
    if (got < 0 && tryAgainLater())
        BIO_set_retry_read(bio);
    if (got > 0)
        wireOf(bio).received += got;
    return static_cast<int>(got);
}

long control(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0; // sends are never held back
}

BIO_METHOD* socketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "call connection");
        BIO_meth_set_write(made, sendSome);
        BIO_meth_set_read(made, receiveSome);
        BIO_meth_set_ctrl(made, control);
        return made;
    }();
    return method;
}

bool isRestaurantNumber(const QString& name) {
    return name.size() == 6 && std::all_of(name.begin(), name.end(), [](QChar c) {
               return c >= QLatin1Char('0') && c <= QLatin1Char('9');
           });
}

} // namespace

TlsSession::TlsSession(const TlsContext& context, qintptr descriptor)
    : ssl_(SSL_new(context.context())),
      requireRestaurant_(context.restaurantCertificates()), wire_{descriptor, 0} {
    if (!ssl_)
        return;
    BIO* bio = BIO_new(socketMethod());
    BIO_set_data(bio, &wire_);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl_, bio, bio);
    SSL_set_accept_state(ssl_);
}

TlsSession::~TlsSession() {
    SSL_free(ssl_);
}

TlsSession::Step TlsSession::handshake() {
    if (!ssl_) {
        failure_ = QStringLiteral("TLS handshake failed: ") + tlsErrorText();
        return Step::Failed;
    }
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl_);
    if (result != 1) {
        const Step step = failed(result);
        if (step == Step::Closed)
            failure_ = QStringLiteral("the caller hung up during the TLS handshake");
        return step;
    }
    if (requireRestaurant_ && !readRestaurant())
        return Step::Failed;
    return Step::Done;
}

TlsSession::Io TlsSession::read(char* into, qint64 size) {
    ERR_clear_error();
    std::size_t got = 0;
    const int result = SSL_read_ex(ssl_, into, static_cast<std::size_t>(size), &got);
    if (result == 1)
        return {Step::Done, static_cast<qint64>(got)};
    return {failed(result)};
}

bool TlsSession::holdsInput() const {
    return SSL_has_pending(ssl_) == 1;
}

TlsSession::Io TlsSession::write(const char* from, qint64 size) {
    ERR_clear_error();
    std::size_t sent = 0;
    const int result = SSL_write_ex(ssl_, from, static_cast<std::size_t>(size), &sent);
    if (result == 1)
        return {Step::Done, static_cast<qint64>(sent)};
    return {failed(result)};
}

void TlsSession::close() {
    if (ssl_ && SSL_is_init_finished(ssl_)) {
        ERR_clear_error();
        SSL_shutdown(ssl_); // once, without waiting for the caller's answer
        ERR_clear_error();
    }
}

TlsSession::Step TlsSession::failed(int result) {
    switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
        return Step::WantRead;
    case SSL_ERROR_WANT_WRITE:
        return Step::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
        ERR_clear_error();
        return Step::Closed;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0)
            return Step::Closed; // the connection ended, with or without a word
        break;
    default:
        break;
    }
    const long verified = SSL_get_verify_result(ssl_);
    if (verified != X509_V_OK && !SSL_is_init_finished(ssl_)) {
        ERR_clear_error();
        failure_ = QStringLiteral("TLS handshake failed: the caller's certificate: %1")
                       .arg(QString::fromLatin1(X509_verify_cert_error_string(verified)));
    } else {
        failure_ = QStringLiteral("TLS %1failed: %2")
                       .arg(SSL_is_init_finished(ssl_) ? QString() : QStringLiteral("handshake "),
                            tlsErrorText());
    }
    return Step::Failed;
}

// The certificate was checked against the authority during the handshake; its common name is
// the one restaurant the caller may call as.
bool TlsSession::readRestaurant() {
    X509* certificate = SSL_get0_peer_certificate(ssl_);
    if (!certificate) {
        failure_ = QStringLiteral("the caller presented no certificate");
        return false;
    }
    X509_NAME* subject = X509_get_subject_name(certificate);
    const int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    QByteArray name;
    if (index >= 0) {
        unsigned char* text = nullptr;
        const int size = ASN1_STRING_to_UTF8(
            &text, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
        if (size >= 0)
            name = QByteArray(reinterpret_cast<const char*>(text), std::min(size, 64));
        OPENSSL_free(text);
    }
    const bool another =
        index >= 0 && X509_NAME_get_index_by_NID(subject, NID_commonName, index) >= 0;
    if (another || !isRestaurantNumber(QString::fromLatin1(name))) {
        failure_ = QStringLiteral("certificate common name \"%1\" is not a six-digit restaurant "
                                  "number")
                       .arg(printable(name));
        return false;
    }
    restaurant_ = QString::fromLatin1(name);
    return true;
}

} // namespace dialvane
