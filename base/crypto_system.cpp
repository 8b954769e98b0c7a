// The parts of base/crypto.h that the system provides: bcrypt.dll on Windows; natively, the
// portable derivation and the C++ library's random device (the kernel's generator).
#include "base/crypto.h"

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#include <winternl.h>

#include "base/win/win32_error.h"

namespace {

// An NTSTATUS as the error text of the call that returned it.
void check(NTSTATUS status, const char* call) {
    if (!BCRYPT_SUCCESS(status)) throw Win32Error(std::wstring(call, call + std::char_traits<char>::length(call)),
                                                  RtlNtStatusToDosError(status));
}

}  // namespace

Bytes pbkdf2Sha256(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                   std::uint32_t iterations, std::size_t length) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    check(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG),
          "BCryptOpenAlgorithmProvider");
    Bytes key(length);
    const NTSTATUS status = BCryptDeriveKeyPBKDF2(
        algorithm, const_cast<PUCHAR>(password.data()), static_cast<ULONG>(password.size()),
        const_cast<PUCHAR>(salt.data()), static_cast<ULONG>(salt.size()), iterations, key.data(),
        static_cast<ULONG>(key.size()), 0);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    check(status, "BCryptDeriveKeyPBKDF2");
    return key;
}

Bytes randomBytes(std::size_t count) {
    Bytes bytes(count);
    if (count == 0) return bytes;  // bcrypt refuses an empty buffer
    check(BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG),
          "BCryptGenRandom");
    return bytes;
}

#else

#include <random>

Bytes pbkdf2Sha256(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                   std::uint32_t iterations, std::size_t length) {
    return portable::pbkdf2Sha256(password, salt, iterations, length);
}

Bytes randomBytes(std::size_t count) {
    std::random_device device;  // the kernel's generator in libstdc++
    Bytes bytes(count);
    for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(device());
    return bytes;
}

#endif
