#pragma once
// Text conversions, each written once. wchar_t text is UTF-16 on Windows and UTF-32 in the
// native build; every function here treats it the same way on both.
//
// Lone surrogates: a surrogate code unit without its partner is kept as it is, never
// replaced. UTF-16 carries it as its one unit, UTF-8 as the three-byte form of its value
// (as the settings store has always written it), and reading either gives it back. So every
// wide string survives a round trip through UTF-8 and through UTF-16.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// UTF-8 of the text; a surrogate pair becomes one four-byte sequence.
std::string toUtf8(std::wstring_view text);
// Reads UTF-8 (and what toUtf8 writes). A byte that starts no complete shortest-form
// sequence reads as the character of that byte (Latin-1): damaged text gives what it can,
// and plain Latin-1 bytes read as themselves.
std::wstring fromUtf8(std::string_view bytes);

// UTF-16LE code units as bytes, with a terminating null unit when `terminated`.
std::vector<std::uint8_t> toUtf16le(std::wstring_view text, bool terminated);
// Every unit of UTF-16LE bytes, nulls included; an odd last byte is ignored.
std::wstring fromUtf16le(const std::uint8_t* bytes, std::size_t size);
std::wstring fromUtf16le(const std::vector<std::uint8_t>& bytes);
// The text of registry string data: UTF-16LE up to the first null unit, or all of it
// when the data carries no null. Windows' own readers stop at the first null as well.
std::wstring registryText(const std::vector<std::uint8_t>& data);

// The system's ANSI code page (Latin-1 in the native build). `lossless` tells whether the
// text reads back unchanged: characters the code page lacks, or maps to a look-alike
// ("a" for "a with ogonek"), are losses.
std::string toAnsi(std::wstring_view text, bool* lossless = nullptr);
std::wstring fromAnsi(std::string_view bytes);

// The text without the blanks (U+0020) at either end.
std::wstring trimBlanks(std::wstring_view text);

// Case-insensitive comparison in two strengths.
//
// Unicode: a character compares as its simple upper case, as Windows compares file and
// registry names ("Ä" and "ä", "Д" and "д" are the same; "ß" stays itself). For names in the
// scheme, the registry, captions and searches.
wchar_t upperCaseBeyondAscii(wchar_t c);
inline wchar_t upperCase(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 0x20) : c;
    return upperCaseBeyondAscii(c);
}
std::wstring upperCase(std::wstring_view text);
bool sameTextNoCase(std::wstring_view a, std::wstring_view b);
int compareTextNoCase(std::wstring_view a, std::wstring_view b);  // <0, 0, >0 by upper case
bool containsNoCase(std::wstring_view text, std::wstring_view part);
bool startsWithNoCase(std::wstring_view text, std::wstring_view prefix);
//
// Latin-1: only a-z and the Latin-1 letters U+00E0..U+00FE (but U+00F7) fold; everything
// else compares exactly. The settings store's names are matched so, and must stay so for
// the files it already wrote.
inline wchar_t upperLatin1(wchar_t c) {
    if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 0x20);
    return c;
}
std::wstring upperLatin1(std::wstring_view text);
bool sameTextLatin1(std::wstring_view a, std::wstring_view b);
