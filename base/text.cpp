#include "base/text.h"

#include <algorithm>
#include <type_traits>

namespace {

using WideUnit = std::make_unsigned_t<wchar_t>;

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c < 0xDC00; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c < 0xE000; }

// Appends a code point (or a lone surrogate) as wchar_t: a pair where wchar_t is 16 bits.
void appendCodePoint(std::wstring& out, char32_t c) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}

}  // namespace

std::string toUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 2);
    const auto add = [&out](char32_t b) { out += static_cast<char>(b); };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<WideUnit>(text[i]);
        if (sizeof(wchar_t) == 2 && isHighSurrogate(c) && i + 1 < text.size() &&
            isLowSurrogate(static_cast<WideUnit>(text[i + 1])))
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<WideUnit>(text[++i]) - 0xDC00);
        if (c > 0x10FFFF) c = 0xFFFD;  // only a native wchar_t can hold such a value
        if (c < 0x80) {
            add(c);
        } else if (c < 0x800) {
            add(0xC0 | (c >> 6));
            add(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            add(0xE0 | (c >> 12));
            add(0x80 | ((c >> 6) & 0x3F));
            add(0x80 | (c & 0x3F));
        } else {
            add(0xF0 | (c >> 18));
            add(0x80 | ((c >> 12) & 0x3F));
            add(0x80 | ((c >> 6) & 0x3F));
            add(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring fromUtf8(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    const auto byteAt = [&](std::size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(bytes[i])); };
    for (std::size_t i = 0; i < bytes.size();) {
        const char32_t lead = byteAt(i);
        const std::size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4
                                   : lead >= 0xE0 && lead < 0xF0 ? 3
                                   : lead >= 0xC2 && lead < 0xE0 ? 2
                                                                 : 1;
        char32_t c = lead & (0x7Fu >> length);
        bool valid = length > 1 && i + length <= bytes.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (byteAt(i + k) & 0xC0) == 0x80;
            c = (c << 6) | (byteAt(i + k) & 0x3F);
        }
        const char32_t shortest = length == 4 ? 0x10000 : length == 3 ? 0x800 : 0x80;
        if (!valid || c < shortest || c > 0x10FFFF) {
            out += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        appendCodePoint(out, c);
        i += length;
    }
    return out;
}

std::vector<std::uint8_t> toUtf16le(std::wstring_view text, bool terminated) {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() * 2 + 2);
    const auto unit = [&bytes](char32_t u) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFF));
    };
    for (wchar_t w : text) {
        const char32_t c = static_cast<WideUnit>(w);
        if (c > 0x10FFFF) {
            unit(0xFFFD);
        } else if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    if (terminated) unit(0);
    return bytes;
}

std::wstring fromUtf16le(const std::uint8_t* bytes, std::size_t size) {
    std::wstring text;
    text.reserve(size / 2);
    const auto unitAt = [bytes](std::size_t i) { return static_cast<char32_t>(bytes[i] | (bytes[i + 1] << 8)); };
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        char32_t u = unitAt(i);
        if (sizeof(wchar_t) == 4 && isHighSurrogate(u) && i + 3 < size && isLowSurrogate(unitAt(i + 2))) {
            u = 0x10000 + ((u - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
            i += 2;
        }
        text += static_cast<wchar_t>(u);
    }
    return text;
}

std::wstring fromUtf16le(const std::vector<std::uint8_t>& bytes) { return fromUtf16le(bytes.data(), bytes.size()); }

std::wstring registryText(const std::vector<std::uint8_t>& data) {
    std::size_t end = 0;
    while (end + 1 < data.size() && (data[end] != 0 || data[end + 1] != 0)) end += 2;
    return fromUtf16le(data.data(), end);
}

std::wstring trimBlanks(std::wstring_view text) {
    const std::size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) return {};
    return std::wstring(text.substr(first, text.find_last_not_of(L' ') - first + 1));
}

std::wstring upperCase(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = upperCase(c);
    return out;
}

bool sameTextNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperCase(a[i]) != upperCase(b[i])) return false;
    return true;
}

int compareTextNoCase(std::wstring_view a, std::wstring_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t x = upperCase(a[i]), y = upperCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool startsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && compareTextNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

bool containsNoCase(std::wstring_view text, std::wstring_view part) {
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i)
        if (startsWithNoCase(text.substr(i), part)) return true;
    return false;
}

std::wstring upperLatin1(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = upperLatin1(c);
    return out;
}

bool sameTextLatin1(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperLatin1(a[i]) != upperLatin1(b[i])) return false;
    return true;
}
