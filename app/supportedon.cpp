#include "app/supportedon.h"

#include <vector>

#include "scheme/xmldata.h"

namespace {

// "major.minor" or "major.minor.build" into its two or three numbers; none for anything else.
std::optional<std::vector<unsigned>> parseVersion(std::wstring_view text) {
    std::vector<unsigned> parts;
    unsigned value = 0;
    bool digits = false;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            if (value > 100000) return std::nullopt;
            value = value * 10 + static_cast<unsigned>(c - L'0');
            digits = true;
        } else if (c == L'.' && digits) {
            parts.push_back(value);
            value = 0;
            digits = false;
        } else {
            return std::nullopt;
        }
    }
    if (!digits) return std::nullopt;
    parts.push_back(value);
    if (parts.size() < 2 || parts.size() > 3) return std::nullopt;
    return parts;
}

// The running version cut to the precision of an end, compared with it: <0, 0, >0.
int compareOnPrecision(const WindowsVersion& running, const std::vector<unsigned>& end) {
    const unsigned mine[] = {running.Major, running.Minor, running.Build};
    for (std::size_t i = 0; i < end.size(); ++i)
        if (mine[i] != end[i]) return mine[i] < end[i] ? -1 : 1;
    return 0;
}

struct Range {
    bool ntNever = false;  // "9x"
    std::optional<std::vector<unsigned>> low, high;
};

std::optional<Range> parseRange(std::wstring_view text) {
    Range range;
    if (text.empty()) return range;
    if (text == L"9x") {
        range.ntNever = true;
        return range;
    }
    const std::size_t dash = text.find(L'-');
    if (dash == std::wstring_view::npos || text.find(L'-', dash + 1) != std::wstring_view::npos) return std::nullopt;
    const std::wstring_view low = text.substr(0, dash), high = text.substr(dash + 1);
    if (low.empty() && high.empty()) return std::nullopt;
    if (!low.empty() && !(range.low = parseVersion(low))) return std::nullopt;
    if (!high.empty() && !(range.high = parseVersion(high))) return std::nullopt;
    if (range.low && range.high) {
        // A lower end above the upper one on the upper end's precision names no Windows.
        const std::vector<unsigned>& l = *range.low;
        const WindowsVersion lowVersion{l[0], l[1], l.size() > 2 ? l[2] : 0};
        if (compareOnPrecision(lowVersion, *range.high) > 0) return std::nullopt;
    }
    return range;
}

}  // namespace

bool ValidWindowsRange(std::wstring_view range) { return parseRange(range).has_value(); }

bool HasEffectOn(std::wstring_view text, const WindowsVersion& running) {
    const std::optional<Range> range = parseRange(text);
    // A range the program cannot read says nothing: no row is greyed by surprise.
    if (!range) return true;
    if (range->ntNever) return false;
    if (range->low && compareOnPrecision(running, *range->low) < 0) return false;
    if (range->high && compareOnPrecision(running, *range->high) > 0) return false;
    return true;
}

bool TweakHasEffect(const std::wstring& name, const std::optional<WindowsVersion>& running) {
    return !running || HasEffectOn(getWindows(name), *running);
}

std::wstring SupportedOnLine(const std::wstring& name) {
    const std::wstring supported = getSupported(name);
    return supported.empty() ? std::wstring() : L"Supported on: " + supported;
}
