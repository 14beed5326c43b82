#pragma once
// The administrator passwords of usertable: a salted, deliberately slow hash (argon2id through
// libsodium's crypto_pwhash_str), so that a copy of the database does not give the passwords
// away. The stored text is libsodium's own "$argon2id$..." string, which carries its salt and
// costs.

#include <QString>

// The hash of a password; empty only when libsodium cannot work (out of memory).
QString HashPassword(const QString& password);
// True when stored is a hash of password. A stored text that is no hash never matches.
bool VerifyPassword(const QString& stored, const QString& password);
// True when stored is a hash this program wrote (anything else is a plain-text password of an
// older database, which the upgrade hashes).
bool IsPasswordHash(const QString& stored);
// Takes as long as checking a password against a stored hash, and fails: a login by a name that
// does not exist must not answer faster than one with a wrong password.
void VerifyNoPassword(const QString& password);
// Makes the hash VerifyNoPassword checks against, so that its first use costs no more than the
// others.
void PrepareNoPassword();
