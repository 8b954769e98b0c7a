#pragma once
// Whole numbers from text, by one grammar for everything the scheme and the registry hold.
#include <optional>
#include <string_view>

// Leading blanks, an optional sign, then decimal digits, or hexadecimal digits after "$",
// "x", "X", "0x" or "0X"; nothing may follow. Decimal must fit a signed 64-bit value;
// hexadecimal may use all 64 bits ("$FFFFFFFFFFFFFFFF" is -1, "-$10" is -16). Nothing for
// an empty, malformed or overflowing text.
std::optional<long long> parseInteger(std::wstring_view text);

// The strict form for numbers this program wrote itself: an optional sign and decimal
// digits, nothing else (no blanks, no hexadecimal), within a signed 64-bit value.
std::optional<long long> parseDecimal(std::wstring_view text);
