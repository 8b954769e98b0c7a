#pragma once
// .reg files, as regedit writes and imports them.
#include <cstdint>
#include <string>
#include <vector>

#include "profile/profile.h"

inline const wchar_t* const RegFileHeader5 = L"Windows Registry Editor Version 5.00";
inline const wchar_t* const RegFileHeader4 = L"REGEDIT4";

// "Windows Registry Editor Version 5.00" text, lines ending in CR LF; each comment becomes
// a "; " line after the header.
std::wstring RegFileText(const std::vector<ProfileKey>& keys, const std::vector<std::wstring>& comments = {});
// The text as regedit writes it: UTF-16LE after its byte-order mark.
std::vector<std::uint8_t> RegFileBytes(const std::wstring& text);

// Reads either version: "Windows Registry Editor Version 5.00" (UTF-16LE after a byte-order
// mark, or UTF-8 after one) and "REGEDIT4" (the ANSI code page; its hex(1), hex(2) and hex(7)
// data too). Keys in brackets, "[-key]" removals, "name"= and @= values with "text",
// dword:, hex: and hex(n): data, hex data continued over lines ending in "\", "name"=-
// removals, comments after ";". Raises ProfileError naming the line for anything else.
std::vector<ProfileKey> ReadRegFile(const std::vector<std::uint8_t>& bytes);
