#include "store/passwords.h"

#include <sodium.h>

namespace {
// The interactive costs: a login stays well under a second on a station PC, a guess costs the
// same for an attacker with the file.
const unsigned long long kOps = crypto_pwhash_OPSLIMIT_INTERACTIVE;
const size_t kMemory = crypto_pwhash_MEMLIMIT_INTERACTIVE;

bool Ready() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}
} // namespace

QString HashPassword(const QString& password) {
    if (!Ready()) return {};
    const QByteArray plain = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, plain.constData(), static_cast<unsigned long long>(plain.size()),
                          kOps, kMemory) != 0)
        return {};
    return QString::fromLatin1(out);
}

bool IsPasswordHash(const QString& stored) {
    return stored.startsWith(QLatin1String(crypto_pwhash_argon2id_STRPREFIX));
}

bool VerifyPassword(const QString& stored, const QString& password) {
    if (!Ready() || !IsPasswordHash(stored)) return false;
    const QByteArray hash = stored.toLatin1();
    const QByteArray plain = password.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), plain.constData(),
                                    static_cast<unsigned long long>(plain.size())) == 0;
}

namespace {
const QString& Dummy() {
    static const QString dummy = HashPassword(QStringLiteral("no such account"));
    return dummy;
}
} // namespace

void PrepareNoPassword() {
    Dummy();
}

void VerifyNoPassword(const QString& password) {
    VerifyPassword(Dummy(), password);
}
