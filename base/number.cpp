#include "base/number.h"

#include <cstdint>
#include <limits>

namespace {

// Digits from text[i] to the end in `base`, within `limit`; nothing when any is no digit.
std::optional<std::uint64_t> digitsValue(std::wstring_view text, std::size_t i, unsigned base, std::uint64_t limit) {
    if (i == text.size()) return std::nullopt;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const wchar_t c = text[i];
        unsigned digit;
        if (c >= L'0' && c <= L'9') digit = static_cast<unsigned>(c - L'0');
        else if (base == 16 && c >= L'a' && c <= L'f') digit = static_cast<unsigned>(c - L'a' + 10);
        else if (base == 16 && c >= L'A' && c <= L'F') digit = static_cast<unsigned>(c - L'A' + 10);
        else return std::nullopt;
        if (value > (limit - digit) / base) return std::nullopt;
        value = value * base + digit;
    }
    return value;
}

constexpr std::uint64_t kSignedLimit = static_cast<std::uint64_t>(std::numeric_limits<long long>::max());

std::optional<long long> signedValue(std::optional<std::uint64_t> magnitude, bool negative) {
    if (!magnitude) return std::nullopt;
    return static_cast<long long>(negative ? 0 - *magnitude : *magnitude);
}

}  // namespace

std::optional<long long> parseInteger(std::wstring_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    if (i < text.size() && (text[i] == L'$' || text[i] == L'x' || text[i] == L'X'))
        return signedValue(digitsValue(text, i + 1, 16, std::numeric_limits<std::uint64_t>::max()), negative);
    if (i + 1 < text.size() && text[i] == L'0' && (text[i + 1] == L'x' || text[i + 1] == L'X'))
        return signedValue(digitsValue(text, i + 2, 16, std::numeric_limits<std::uint64_t>::max()), negative);
    return signedValue(digitsValue(text, i, 10, kSignedLimit + (negative ? 1 : 0)), negative);
}

std::optional<long long> parseDecimal(std::wstring_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    return signedValue(digitsValue(text, i, 10, kSignedLimit + (negative ? 1 : 0)), negative);
}
