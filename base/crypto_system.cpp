// The parts of base/crypto.h that the system provides: bcrypt.dll on Windows; natively, the
// portable derivation and the C++ library's random device (the kernel's generator).
#include "base/crypto.h"

#ifdef _WIN32
#include <windows.h>

#include <bcrypt.h>
#include <winternl.h>

#include "base/text.h"
#include "base/win/win32_error.h"

namespace {

// An NTSTATUS as the error text of the call that returned it.
void check(NTSTATUS status, const char* call) {
    if (!BCRYPT_SUCCESS(status)) throw Win32Error(fromUtf8(call), RtlNtStatusToDosError(status));
}

// bcrypt.dll is loaded when a password is first hashed or a salt drawn, not with the program:
// under Wine loading it takes some 20 ms, which the window's start does not need.
struct Bcrypt {
    decltype(&BCryptOpenAlgorithmProvider) openAlgorithmProvider;
    decltype(&BCryptCloseAlgorithmProvider) closeAlgorithmProvider;
    decltype(&BCryptDeriveKeyPBKDF2) deriveKeyPBKDF2;
    decltype(&BCryptGenRandom) genRandom;
};

template <typename Function>
void find(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (!function) throw Win32Error(L"GetProcAddress " + fromUtf8(name), GetLastError());
}

// Loaded once and kept for the life of the process; a failed load is tried again next time.
const Bcrypt& bcrypt() {
    static const Bcrypt functions = [] {
        const HMODULE module = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!module) throw Win32Error(L"LoadLibraryExW bcrypt.dll", GetLastError());
        Bcrypt found{};
        find(module, "BCryptOpenAlgorithmProvider", found.openAlgorithmProvider);
        find(module, "BCryptCloseAlgorithmProvider", found.closeAlgorithmProvider);
        find(module, "BCryptDeriveKeyPBKDF2", found.deriveKeyPBKDF2);
        find(module, "BCryptGenRandom", found.genRandom);
        return found;
    }();
    return functions;
}

}  // namespace

Bytes pbkdf2Sha256(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                   std::uint32_t iterations, std::size_t length) {
    const Bcrypt& api = bcrypt();
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    check(api.openAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, BCRYPT_ALG_HANDLE_HMAC_FLAG),
          "BCryptOpenAlgorithmProvider");
    Bytes key(length);
    const NTSTATUS status = api.deriveKeyPBKDF2(
        algorithm, const_cast<PUCHAR>(password.data()), static_cast<ULONG>(password.size()),
        const_cast<PUCHAR>(salt.data()), static_cast<ULONG>(salt.size()), iterations, key.data(),
        static_cast<ULONG>(key.size()), 0);
    api.closeAlgorithmProvider(algorithm, 0);
    check(status, "BCryptDeriveKeyPBKDF2");
    return key;
}

Bytes randomBytes(std::size_t count) {
    Bytes bytes(count);
    if (count == 0) return bytes;  // bcrypt refuses an empty buffer
    check(bcrypt().genRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG),
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
