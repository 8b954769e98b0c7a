#include <doctest/doctest.h>

#include "base/text.h"

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string hex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    return out;
}

std::string hex(const Bytes& bytes) { return hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())); }

// Wide text of these UTF-16 units, whatever the width of wchar_t: a pair becomes one
// character where wchar_t holds a whole code point.
std::wstring units(std::initializer_list<char16_t> list) {
    Bytes bytes;
    for (char16_t u : list) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    return fromUtf16le(bytes);
}

}  // namespace

TEST_CASE("UTF-8 both ways: characters of every length and lone surrogates") {
    struct Case {
        const char* what;
        std::wstring text;
        std::string utf8;
    };
    const Case cases[] = {
        {"empty", L"", ""},
        {"ASCII", L"Policies\\Explorer", "Policies\\Explorer"},
        {"two bytes", L"\u00e9\u0416", "\xC3\xA9\xD0\x96"},
        {"three bytes", L"\u20ac\u4e2d", "\xE2\x82\xAC\xE4\xB8\xAD"},
        {"four bytes from a pair", L"\U0001F600", "\xF0\x9F\x98\x80"},
        {"a lone high surrogate", units({u'a', 0xD800, u'b'}), "a\xED\xA0\x80" "b"},
        {"a lone low surrogate", units({0xDC01}), "\xED\xB0\x81"},
        {"a low before a high is two lone ones", units({0xDC00, 0xD800}), "\xED\xB0\x80\xED\xA0\x80"},
        {"a high surrogate at the end", units({u'x', 0xDBFF}), "x\xED\xAF\xBF"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK(hex(toUtf8(c.text)) == hex(c.utf8));
        CHECK(fromUtf8(c.utf8) == c.text);
    }
}

TEST_CASE("UTF-8 reading: damaged bytes read as their Latin-1 characters") {
    struct Case {
        const char* what;
        std::string bytes;
        std::wstring text;
    };
    const Case cases[] = {
        {"Latin-1 text that is no UTF-8", "Gr\xFC\xDF" "e", L"Gr\u00fc\u00df" "e"},
        {"a lead byte cut off at the end", "a\xC3", L"a\u00c3"},
        {"a three-byte sequence cut short", "\xE2\x82" "x", L"\u00e2\u0082x"},
        {"an overlong form", "\xC0\x80", L"\u00c0\u0080"},
        {"a continuation byte on its own", "\x80" "a", L"\u0080a"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", L"\u00f4\u0090\u0080\u0080"},
        {"a bad byte inside a sequence", "\xE2" "A" "\xAC", L"\u00e2" "A" L"\u00ac"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK(fromUtf8(c.bytes) == c.text);
    }
}

TEST_CASE("every wide string survives UTF-8 and UTF-16LE") {
    std::mt19937 random(20260601);
    // Mostly the ranges that matter: ASCII, Latin-1, Cyrillic, surrogates, the supplementary planes.
    const std::uint32_t starts[] = {0x20, 0xA0, 0x400, 0xD800, 0xDC00, 0xE000, 0xFFF0, 0x10000};
    for (int round = 0; round < 2000; ++round) {
        std::vector<char16_t> list;
        const int length = static_cast<int>(random() % 12);
        for (int i = 0; i < length; ++i) {
            const std::uint32_t start = starts[random() % std::size(starts)];
            const std::uint32_t c = start + random() % 0x40;
            if (c >= 0x10000) {
                list.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                list.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                list.push_back(static_cast<char16_t>(c));
            }
        }
        Bytes bytes;
        for (char16_t u : list) {
            bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(u >> 8));
        }
        const std::wstring text = fromUtf16le(bytes);
        CAPTURE(hex(bytes));
        CHECK(fromUtf8(toUtf8(text)) == text);
        CHECK(toUtf16le(text, false) == bytes);
    }
}

TEST_CASE("UTF-16LE data and registry text") {
    CHECK(hex(toUtf16le(L"A\u20ac\U0001F600", true)) == "41 00 AC 20 3D D8 00 DE 00 00 ");
    CHECK(hex(toUtf16le(L"", false)).empty());
    CHECK(fromUtf16le(Bytes{0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE}) == L"A\U0001F600");
    CHECK(fromUtf16le(Bytes{0x41, 0x00, 0x42}) == L"A");  // an odd last byte is no unit
    CHECK(fromUtf16le(Bytes{0x41, 0x00, 0x00, 0x00, 0x42, 0x00}) == std::wstring(L"A\0B", 3));

    struct Case {
        const char* what;
        Bytes data;
        std::wstring text;
    };
    const Case cases[] = {
        {"terminated", {0x61, 0x00, 0x62, 0x00, 0x00, 0x00}, L"ab"},
        {"without its null", {0x61, 0x00, 0x62, 0x00}, L"ab"},
        {"up to the first null", {0x61, 0x00, 0x00, 0x00, 0x62, 0x00, 0x00, 0x00}, L"a"},
        {"a null unit, not a null byte", {0x00, 0x04, 0x00, 0x00}, L"\u0400"},
        {"an odd length", {0x61, 0x00, 0x62}, L"a"},
        {"no data", {}, L""},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK(registryText(c.data) == c.text);
    }
}

TEST_CASE("the ANSI code page of the native build is Latin-1") {
    bool lossless = false;
    CHECK(toAnsi(L"Gr\u00fc\u00dfe", &lossless) == "Gr\xFC\xDF" "e");
    CHECK(lossless);
    CHECK(toAnsi(L"\u20ac1", &lossless) == "?1");
    CHECK_FALSE(lossless);
    CHECK(fromAnsi("\xFC\xE9") == L"\u00fc\u00e9");
}

TEST_CASE("case-insensitive comparison, Unicode and Latin-1") {
    struct Case {
        const char* what;
        std::wstring a, b;
        bool unicode, latin1;
    };
    const Case cases[] = {
        {"ASCII", L"Policies\\Explorer", L"POLICIES\\explorer", true, true},
        {"Latin-1 letters", L"\u00e4\u00f6\u00fe", L"\u00c4\u00d6\u00de", true, true},
        {"division and multiplication signs", L"\u00f7", L"\u00d7", false, false},
        {"y with diaeresis", L"\u00ff", L"\u0178", true, false},
        {"Cyrillic", L"\u043f\u0430\u043f\u043a\u0430", L"\u041f\u0410\u041f\u041a\u0410", true, false},
        {"Greek", L"\u03b1\u03b2", L"\u0391\u0392", true, false},
        {"dotless i is no I", L"\u0131", L"I", false, false},
        {"long s is no S", L"\u017f", L"S", false, false},
        {"sharp s is no SS", L"\u00df", L"SS", false, false},
        {"lengths differ", L"ab", L"abc", false, false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK(sameTextNoCase(c.a, c.b) == c.unicode);
        CHECK((compareTextNoCase(c.a, c.b) == 0) == c.unicode);
        CHECK(sameTextLatin1(c.a, c.b) == c.latin1);
        CHECK((upperLatin1(c.a) == upperLatin1(c.b)) == c.latin1);
    }
    // Captions sort by upper case, a shorter prefix first.
    CHECK(compareTextNoCase(L"apple", L"Banana") < 0);
    CHECK(compareTextNoCase(L"b", L"A") > 0);
    CHECK(compareTextNoCase(L"ab", L"AB c") < 0);
    CHECK(upperCase(L"\u0434\u0438\u0441\u043a c:") == L"\u0414\u0418\u0421\u041a C:");

    CHECK(startsWithNoCase(L"Software\\Policies", L"SOFTWARE"));
    CHECK_FALSE(startsWithNoCase(L"Soft", L"Software"));
    CHECK(containsNoCase(L"Local Disk (C:)", L"c:"));
    CHECK(containsNoCase(L"\u041b\u043e\u043a\u0430\u043b\u044c\u043d\u044b\u0439 (D:)", L"\u041b\u041e\u041a"));
    CHECK(containsNoCase(L"any", L""));
    CHECK_FALSE(containsNoCase(L"C", L"c:"));
}

TEST_CASE("blanks trimmed at both ends, nothing else") {
    CHECK(trimBlanks(L"  a b  ") == L"a b");
    CHECK(trimBlanks(L"   ").empty());
    CHECK(trimBlanks(L"\ta\t") == L"\ta\t");
}
