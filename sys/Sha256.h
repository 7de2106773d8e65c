#pragma once
// SHA-256 of a byte range, through the system's own cryptography: nettle on Linux, the
// Cryptography API: Next Generation (BCrypt, Windows Vista and later) on Windows.

#include <array>
#include <cstdint>
#include <span>

namespace sys {

using Sha256Digest = std::array<uint8_t, 32>;

// The digest of the bytes; false (digest unchanged) when the system could not compute it.
bool Sha256(std::span<const uint8_t> bytes, Sha256Digest& digest);

// The digest as 64 lower-case hexadecimal digits and a NUL.
void Sha256Hex(const Sha256Digest& digest, char (&out)[65]);

}  // namespace sys
