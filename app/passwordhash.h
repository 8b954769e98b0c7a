#pragma once
// The administrator password as the settings store keeps it: a salted, slow hash in one
// self-describing entry, "pbkdf2-sha256$<iterations>$<salt, base64>$<hash, base64>", so that
// whoever reads quillmark.dat learns nothing they could type here or elsewhere.
// A value of any other form is a password that an earlier version kept as plain text (inside
// the scrambled file); it still lets its owner in, and the gate replaces it by a hash.
#include <cstdint>
#include <string>

// About 0.1 s of BCryptDeriveKeyPBKDF2 on the machine this was measured on (README).
inline constexpr std::uint32_t PasswordIterations = 90000;
// A stored count above this is not one this program wrote: it would only stall the prompt.
inline constexpr std::uint32_t MaxPasswordIterations = 100 * PasswordIterations;

// While alive, new hashes take this many iterations. The native tests' sanitized portable
// derivation is slow, and what they check does not depend on the count.
class ScopedPasswordIterations {
public:
    explicit ScopedPasswordIterations(std::uint32_t iterations);
    ~ScopedPasswordIterations();
    ScopedPasswordIterations(const ScopedPasswordIterations&) = delete;
    ScopedPasswordIterations& operator=(const ScopedPasswordIterations&) = delete;

private:
    std::uint32_t previous_;
};

// The entry for a new password, with a fresh random salt.
std::wstring HashPassword(const std::wstring& password);

enum class StoredPasswordForm {
    None,     // empty: no password
    Hash,     // an entry of HashPassword
    Legacy,   // the password itself, as earlier versions stored it
    Damaged,  // begins like a hash but does not read as one: no answer matches it
};
StoredPasswordForm StoredPasswordFormOf(const std::wstring& entry);

// The typed password against a stored entry of any form. A hash is compared in constant
// time; a legacy password exactly, with case.
bool PasswordMatches(const std::wstring& entry, const std::wstring& typed);
