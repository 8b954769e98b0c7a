#include <doctest/doctest.h>

#include "base/number.h"
#include "base/text.h"

#include <optional>
#include <string>

namespace {

constexpr std::optional<long long> none;

}  // namespace

TEST_CASE("parseInteger: decimal and hexadecimal, 64 bits, nothing after the digits") {
    const struct {
        const wchar_t* text;
        std::optional<long long> expected;
    } cases[] = {
        {L"12", 12},
        {L"-1", -1},
        {L" 7", 7},
        {L"   -12", -12},
        {L"+5", 5},
        {L"0", 0},
        {L"$1F", 31},
        {L" $1F", 31},
        {L"0x1F", 31},
        {L"0X1f", 31},
        {L"x1F", 31},
        {L"X10", 16},
        {L"-$10", -16},
        {L"9223372036854775807", 9223372036854775807LL},
        {L"-9223372036854775808", static_cast<long long>(0x8000000000000000ULL)},
        {L"$FFFFFFFFFFFFFFFF", -1},
        {L"7 ", none},
        {L"", none},
        {L" ", none},
        {L"abc", none},
        {L"$", none},
        {L"0x", none},
        {L"-", none},
        {L"- 1", none},
        {L"\t7", none},
        {L"1e3", none},
        {L"12abc", none},
        {L"$1G", none},
        {L"\u0661", none},  // an Arabic-Indic digit is no digit here
        {L"9223372036854775808", none},
        {L"99999999999999999999", none},
        {L"$10000000000000000", none},
    };
    for (const auto& c : cases) {
        CAPTURE(toUtf8(c.text));
        CHECK(parseInteger(c.text) == c.expected);
    }
}

TEST_CASE("parseDecimal: a sign and decimal digits only") {
    const struct {
        const wchar_t* text;
        std::optional<long long> expected;
    } cases[] = {
        {L"42", 42},
        {L"-42", -42},
        {L"+7", 7},
        {L"007", 7},
        {L"-9223372036854775808", static_cast<long long>(0x8000000000000000ULL)},
        {L"", none},
        {L"+", none},
        {L" 1", none},
        {L"1 ", none},
        {L"$10", none},
        {L"0x10", none},
        {L"1.5", none},
        {L"9223372036854775808", none},
    };
    for (const auto& c : cases) {
        CAPTURE(toUtf8(c.text));
        CHECK(parseDecimal(c.text) == c.expected);
    }
}
