#pragma once
// A stored password as one self-describing text, "pbkdf2-sha256$<iterations>$<salt>$<hash>"
// (salt and hash in base64): what `dialvane password` prints and [Security] PasswordHash
// holds. Only the derived key is kept; the password itself is stored nowhere.
//
// Deriving the key is deliberately slow (PBKDF2-HMAC-SHA256, at least kMinIterations rounds,
// about a second on a small machine) so that a copied Dialvane.ini is costly to guess from.
// Callers on a user-interface thread run passwordMatches elsewhere.
//
// Nothing here throws: a text that cannot be used is reported by parsePasswordHash and never
// matches any password.

#include <QByteArray>
#include <QString>

#include <optional>

namespace dialvane {

struct PasswordHash {
    // Fewer rounds would make a stolen hash cheap to guess; more than the maximum would keep
    // the unlock dialog busy for minutes.
    static constexpr int kMinIterations = 600'000;
    static constexpr int kMaxIterations = 10'000'000;
    static constexpr int kSaltBytes = 16;
    static constexpr int kKeyBytes = 32;

    int iterations = kMinIterations;
    QByteArray salt;
    QByteArray key;

    // The hash of `password` (as UTF-8) with a fresh random salt from the system's generator.
    static PasswordHash derive(const QString& password, int iterations = kMinIterations);
    // The text form; empty when `text` is not one. `why` says what is wrong with it.
    QString text() const;
    static std::optional<PasswordHash> parse(const QString& text, QString* why = nullptr);

    // Whether `password` derives the same key, compared in constant time.
    bool matches(const QString& password) const;
};

// Whether `password` is the one `storedText` was made from; false for a text that is no hash.
bool passwordMatches(const QString& storedText, const QString& password);

} // namespace dialvane
