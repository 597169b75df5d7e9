#include "link/TlsContext.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <vector>

namespace dialvane {

namespace {

struct BioDeleter {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Deleter {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Certificate = std::unique_ptr<X509, X509Deleter>;

// A key file must never ask for a pass phrase on a terminal nobody watches.
int noPassPhrase(char*, int, int, void*) {
    return 0;
}

// The whole file, or a Failure naming the setting, the file and the system's reason.
QByteArray readSetting(const char* setting, const QString& path) {
    if (path.isEmpty())
        throw Failure(
            QStringLiteral("no %1 is set in section Network").arg(QLatin1String(setting)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("%1 %2 cannot be read: %3")
                          .arg(QLatin1String(setting), path, file.errorString()));
    const QByteArray bytes = file.read(1024 * 1024); // a PEM file is small; more is no PEM
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("%1 %2 cannot be read: %3")
                          .arg(QLatin1String(setting), path, file.errorString()));
    return bytes;
}

std::unique_ptr<BIO, BioDeleter> memoryOf(const QByteArray& bytes) {
    return std::unique_ptr<BIO, BioDeleter>(
        BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
}

// Every certificate of a PEM file, in its order; a Failure when it holds none.
std::vector<Certificate> certificatesIn(const char* setting, const QString& path) {
    const QByteArray bytes = readSetting(setting, path);
    const auto bio = memoryOf(bytes);
    std::vector<Certificate> found;
    while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, noPassPhrase, nullptr))
        found.emplace_back(cert);
    ERR_clear_error(); // the end of the file reads as an error
    if (found.empty())
        throw Failure(
            QStringLiteral("%1 %2 holds no PEM certificate").arg(QLatin1String(setting), path));
    return found;
}

QString asText(const ASN1_TIME* time) {
    const std::unique_ptr<BIO, BioDeleter> bio(BIO_new(BIO_s_mem()));
    ASN1_TIME_print(bio.get(), time);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QString::fromLatin1(data, static_cast<qsizetype>(size));
}

// A station whose certificate has expired would fail every handshake: better not open.
void checkValidNow(X509* cert, const QString& path) {
    if (X509_cmp_current_time(X509_get0_notAfter(cert)) <= 0)
        throw Failure(QStringLiteral("the certificate in CertificateFile %1 expired on %2")
                          .arg(path, asText(X509_get0_notAfter(cert))));
    if (X509_cmp_current_time(X509_get0_notBefore(cert)) >= 0)
        throw Failure(QStringLiteral("the certificate in CertificateFile %1 is not valid before %2")
                          .arg(path, asText(X509_get0_notBefore(cert))));
}

void useKey(SSL_CTX* context, const QString& path) {
#ifdef Q_OS_UNIX
    // Checked before reading: a key others could read is as good as theirs.
    const QFileInfo info(path);
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (info.exists() && (info.permissions() & others))
        throw Failure(QStringLiteral("KeyFile %1 may be read by others than its owner: make it "
                                     "private (chmod 600)")
                          .arg(path));
#endif
    const QByteArray bytes = readSetting("KeyFile", path);
    const auto bio = memoryOf(bytes);
    const std::unique_ptr<EVP_PKEY, KeyDeleter> key(
        PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassPhrase, nullptr));
    ERR_clear_error();
    if (!key)
        throw Failure(QStringLiteral("KeyFile %1 holds no unencrypted PEM private key").arg(path));
    if (SSL_CTX_use_PrivateKey(context, key.get()) != 1 ||
        SSL_CTX_check_private_key(context) != 1) {
        ERR_clear_error();
        throw Failure(QStringLiteral("the key in KeyFile %1 does not match the certificate in "
                                     "CertificateFile")
                          .arg(path));
    }
}

// Restaurants' certificates: issued by the authority, not revoked when a list is given.
void requireRestaurantCertificates(SSL_CTX* context, const TlsSettings& settings) {
    X509_STORE* store = SSL_CTX_get_cert_store(context);
    // Read (and refused) before the list of names is made, which the context owns only once
    // it is handed over.
    const auto authorities = certificatesIn("ClientCAFile", settings.clientCAFile);
    STACK_OF(X509_NAME)* names = sk_X509_NAME_new_null();
    for (const Certificate& ca : authorities) {
        X509_STORE_add_cert(store, ca.get());
        sk_X509_NAME_push(names, X509_NAME_dup(X509_get_subject_name(ca.get())));
    }
    SSL_CTX_set_client_CA_list(context, names); // so that a site knows which certificate to show
    if (!settings.crlFile.isEmpty()) {
        const QByteArray bytes = readSetting("CRLFile", settings.crlFile);
        const auto bio = memoryOf(bytes);
        int lists = 0;
        while (X509_CRL* crl = PEM_read_bio_X509_CRL(bio.get(), nullptr, noPassPhrase, nullptr)) {
            X509_STORE_add_crl(store, crl);
            X509_CRL_free(crl);
            ++lists;
        }
        ERR_clear_error();
        if (lists == 0)
            throw Failure(
                QStringLiteral("CRLFile %1 holds no PEM revocation list").arg(settings.crlFile));
        X509_STORE_set_flags(store, X509_V_FLAG_CRL_CHECK);
    }
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
    // Resumed sessions keep the certificate checked in the first one.
    static const unsigned char kSessionContext[] = "dialvane";
    SSL_CTX_set_session_id_context(context, kSessionContext, sizeof kSessionContext - 1);
}

} // namespace

std::shared_ptr<const TlsContext> TlsContext::load(const TlsSettings& settings) {
    std::shared_ptr<TlsContext> made(new TlsContext);
    made->context_ = SSL_CTX_new(TLS_server_method());
    if (!made->context_)
        throw Failure(QStringLiteral("TLS cannot be set up: %1").arg(tlsErrorText()));
    SSL_CTX* context = made->context_;
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    // A call that waits costs no buffers: a thousand silent callers stay cheap.
    SSL_CTX_set_mode(context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER |
                                  SSL_MODE_RELEASE_BUFFERS);
    // Whole records in one read rather than a header, then its body: a block costs the
    // same reads as on a plain line.
    SSL_CTX_set_read_ahead(context, 1);
    // A site that hangs up without a goodbye has hung up, as on a plain line.
    SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);

    std::vector<Certificate> chain = certificatesIn("CertificateFile", settings.certificateFile);
    checkValidNow(chain.front().get(), settings.certificateFile);
    SSL_CTX_use_certificate(context, chain.front().get());
    for (std::size_t i = 1; i < chain.size(); ++i)
        SSL_CTX_add1_chain_cert(context, chain[i].get());
    useKey(context, settings.keyFile);
    if (!settings.clientCAFile.isEmpty()) {
        requireRestaurantCertificates(context, settings);
        made->restaurantCertificates_ = true;
    } else if (!settings.crlFile.isEmpty()) {
        throw Failure(QStringLiteral("CRLFile is set without ClientCAFile: there are no "
                                     "restaurant certificates to revoke"));
    }
    made->handshakeLimit_ = settings.handshakeLimit;
    return made;
}

TlsContext::~TlsContext() {
    SSL_CTX_free(context_);
}

LoadedTls loadTlsFor(const PortAddress& address, const TlsSettings& settings) {
    if (address.kind != PortAddress::Kind::Tls || !address.error.isEmpty())
        return {};
    try {
        return {TlsContext::load(settings), {}};
    } catch (const Failure& failure) {
        return {nullptr, QStringLiteral("%1: %2").arg(address.value, failure.description())};
    }
}

QString tlsErrorText() {
    const unsigned long code = ERR_peek_last_error(); // the most particular of them
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("the connection failed");
    if (const char* reason = ERR_reason_error_string(code))
        return QString::fromLatin1(reason);
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace dialvane
