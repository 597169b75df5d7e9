#include "common/PasswordHash.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>

namespace dialvane {

namespace {

const QString kScheme = QStringLiteral("pbkdf2-sha256");

QByteArray deriveKey(const QString& password, const QByteArray& salt, int iterations) {
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt,
                                              iterations, PasswordHash::kKeyBytes);
}

// Every byte is looked at whatever the first difference, so the time taken tells a guesser
// nothing about how much of the key was right.
bool sameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

std::optional<QByteArray> strictBase64(const QString& text) {
    const auto decoded =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || text.isEmpty())
        return std::nullopt;
    return *decoded;
}

} // namespace

PasswordHash PasswordHash::derive(const QString& password, int iterations) {
    PasswordHash hash;
    hash.iterations = iterations;
    hash.salt.resize(kSaltBytes);
    QRandomGenerator::system()->generate(hash.salt.begin(), hash.salt.end());
    hash.key = deriveKey(password, hash.salt, iterations);
    return hash;
}

QString PasswordHash::text() const {
    return QStringLiteral("%1$%2$%3$%4")
        .arg(kScheme)
        .arg(iterations)
        .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(key.toBase64()));
}

std::optional<PasswordHash> PasswordHash::parse(const QString& text, QString* why) {
    auto refuse = [why](const QString& reason) -> std::optional<PasswordHash> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QStringList fields = text.trimmed().split(QLatin1Char('$'));
    if (fields.size() != 4 || fields[0] != kScheme)
        return refuse(QStringLiteral("not %1$ITERATIONS$SALT$HASH").arg(kScheme));
    const QString& rounds = fields[1];
    bool ok = !rounds.isEmpty() && rounds.size() <= 9 &&
              std::all_of(rounds.begin(), rounds.end(),
                          [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
    PasswordHash hash;
    hash.iterations = ok ? rounds.toInt(&ok) : 0;
    if (!ok || hash.iterations < kMinIterations || hash.iterations > kMaxIterations)
        return refuse(QStringLiteral("the iterations must be a number from %1 to %2")
                          .arg(kMinIterations)
                          .arg(kMaxIterations));
    const auto salt = strictBase64(fields[2]);
    if (!salt || salt->size() < kSaltBytes)
        return refuse(
            QStringLiteral("the salt must be base64 of at least %1 bytes").arg(kSaltBytes));
    const auto key = strictBase64(fields[3]);
    if (!key || key->size() != kKeyBytes)
        return refuse(QStringLiteral("the hash must be base64 of %1 bytes").arg(kKeyBytes));
    hash.salt = *salt;
    hash.key = *key;
    return hash;
}

bool PasswordHash::matches(const QString& password) const {
    return sameBytes(deriveKey(password, salt, iterations), key);
}

bool passwordMatches(const QString& storedText, const QString& password) {
    const std::optional<PasswordHash> stored = PasswordHash::parse(storedText);
    return stored && stored->matches(password);
}

} // namespace dialvane
