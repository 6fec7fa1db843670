#pragma once

#include <QString>

#include <cstddef>
#include <functional>

// Identifiers that must not be guessable (DPoP "jti"), from the system's secure generator.
namespace SecureRandom {
// Fills `length` bytes at `buffer`; false when the generator could not deliver.
using Source = std::function<bool(unsigned char *buffer, std::size_t length)>;

// OpenSSL's default DRBG (RAND_bytes).
bool systemSource(unsigned char *buffer, std::size_t length);

// `byteCount` random bytes as base64url (16 bytes give 22 characters). A generator
// failure or a negative count throws OrvalenError::dpopUnavailable: a predictable
// identifier must never go out in its place.
QString urlSafeString(int byteCount);
QString urlSafeString(int byteCount, const Source &source);
} // namespace SecureRandom
