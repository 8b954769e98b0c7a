#include "app/passwordhash.h"

#include <optional>
#include <string_view>
#include <vector>

#include "base/crypto.h"
#include "base/number.h"
#include "base/text.h"

namespace {

const std::wstring_view Scheme = L"pbkdf2-sha256";
constexpr std::size_t SaltBytes = 16, HashBytes = 32;
std::uint32_t newHashIterations = PasswordIterations;

const char Base64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::wstring toBase64(const Bytes& data) {
    std::wstring out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t n = (std::uint32_t{data[i]} << 16) | (i + 1 < data.size() ? data[i + 1] << 8 : 0) |
                                (i + 2 < data.size() ? data[i + 2] : 0);
        for (int d = 0; d < 4; ++d)
            out += i + static_cast<std::size_t>(d) <= data.size() ? static_cast<wchar_t>(Base64Digits[(n >> (18 - 6 * d)) & 63])
                                                                  : L'=';
    }
    return out;
}

// Strict: padded to a multiple of four, nothing but the digits and final "=".
std::optional<Bytes> fromBase64(std::wstring_view text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    Bytes out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t n = 0;
        int padding = 0;
        for (std::size_t d = 0; d < 4; ++d) {
            const wchar_t c = text[i + d];
            int value = -1;
            if (c == L'=' && i + 4 == text.size() && d >= 2) {
                ++padding;
                value = 0;
            } else if (padding == 0 && c < 128) {
                for (int v = 0; v < 64; ++v)
                    if (Base64Digits[v] == c) value = v;
            }
            if (value < 0) return std::nullopt;
            n = (n << 6) | static_cast<std::uint32_t>(value);
        }
        for (int b = 0; b < 3 - padding; ++b) out.push_back(static_cast<std::uint8_t>(n >> (16 - 8 * b)));
    }
    return out;
}

struct HashEntry {
    std::uint32_t iterations = 0;
    Bytes salt, hash;
};

std::optional<HashEntry> readHash(std::wstring_view entry) {
    std::vector<std::wstring_view> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = entry.find(L'$', start);
        parts.push_back(entry.substr(start, end == std::wstring_view::npos ? std::wstring_view::npos : end - start));
        if (end == std::wstring_view::npos) break;
        start = end + 1;
    }
    if (parts.size() != 4 || parts[0] != Scheme) return std::nullopt;
    const std::optional<long long> iterations = parseDecimal(parts[1]);
    std::optional<Bytes> salt = fromBase64(parts[2]), hash = fromBase64(parts[3]);
    if (!iterations || *iterations < 1 || *iterations > MaxPasswordIterations || !salt || !hash ||
        hash->size() != HashBytes || salt->empty())
        return std::nullopt;
    return HashEntry{static_cast<std::uint32_t>(*iterations), std::move(*salt), std::move(*hash)};
}

Bytes derive(const std::wstring& password, const Bytes& salt, std::uint32_t iterations) {
    const std::string utf8 = toUtf8(password);
    return pbkdf2Sha256(Bytes(utf8.begin(), utf8.end()), salt, iterations, HashBytes);
}

// Takes as long for every pair of equal length, whichever byte differs.
bool sameBytes(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return false;
    std::uint8_t difference = 0;
    for (std::size_t i = 0; i < a.size(); ++i) difference |= static_cast<std::uint8_t>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace

ScopedPasswordIterations::ScopedPasswordIterations(std::uint32_t iterations) : previous_(newHashIterations) {
    newHashIterations = iterations;
}
ScopedPasswordIterations::~ScopedPasswordIterations() { newHashIterations = previous_; }

std::wstring HashPassword(const std::wstring& password) {
    const Bytes salt = randomBytes(SaltBytes);
    return std::wstring(Scheme) + L"$" + std::to_wstring(newHashIterations) + L"$" + toBase64(salt) + L"$" +
           toBase64(derive(password, salt, newHashIterations));
}

StoredPasswordForm StoredPasswordFormOf(const std::wstring& entry) {
    if (entry.empty()) return StoredPasswordForm::None;
    if (readHash(entry)) return StoredPasswordForm::Hash;
    return std::wstring_view(entry).starts_with(std::wstring(Scheme) + L"$") ? StoredPasswordForm::Damaged
                                                                            : StoredPasswordForm::Legacy;
}

bool PasswordMatches(const std::wstring& entry, const std::wstring& typed) {
    switch (StoredPasswordFormOf(entry)) {
    case StoredPasswordForm::None:
    case StoredPasswordForm::Damaged:
        return false;
    case StoredPasswordForm::Legacy:
        return entry == typed;
    case StoredPasswordForm::Hash:
        break;
    }
    const HashEntry hash = *readHash(entry);
    return sameBytes(derive(typed, hash.salt, hash.iterations), hash.hash);
}
