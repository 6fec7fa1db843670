#pragma once

#include <QString>

#include <cstddef>
#include <functional>

// Identifiers that must not be guessable (DPoP "jti"), from the system's secure generator.
namespace SecureRandom {
// Fills `length` bytes at `buffer`; false when the generator could not deliver.
using Source = std::function<bool(unsigned char *buffer, std::size_t length)>;

// The kernel's secure generator (getrandom).
bool systemSource(unsigned char *buffer, std::size_t length);

// Fills `length` bytes from `source`; throws OrvalenError::dpopUnavailable when it fails.
void fill(unsigned char *buffer, std::size_t length, const Source &source);

// `byteCount` random bytes as base64url (16 bytes give 22 characters). A generator
// failure or a negative count throws OrvalenError::dpopUnavailable: a predictable
// identifier must never go out in its place.
QString urlSafeString(int byteCount);
QString urlSafeString(int byteCount, const Source &source);
} // namespace SecureRandom
