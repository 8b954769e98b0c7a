#pragma once
// PBKDF2 with HMAC-SHA-256, and random bytes. The system's own implementations (bcrypt.dll)
// on Windows. The portable one below stands in for them in the native build, where there is
// no system library to ask, and checks them in tests; the product on Windows does not use it.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// `length` bytes derived from password and salt. Throws WideError when the system refuses.
Bytes pbkdf2Sha256(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                   std::uint32_t iterations, std::size_t length);
// Bytes from the system's cryptographic random generator. Throws WideError when it fails.
Bytes randomBytes(std::size_t count);

namespace portable {

Bytes sha256(std::span<const std::uint8_t> data);
Bytes hmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data);
Bytes pbkdf2Sha256(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                   std::uint32_t iterations, std::size_t length);

}  // namespace portable
