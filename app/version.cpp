#include "app/version.h"

std::wstring VersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant)
{
    return std::to_wstring(mostSignificant >> 16) + L'.' + std::to_wstring(mostSignificant & 0xFFFF) + L'.' +
           std::to_wstring(leastSignificant >> 16) + L'.' + std::to_wstring(leastSignificant & 0xFFFF);
}

std::wstring AboutVersionLine(const std::wstring& version)
{
    // The short form is everything before the second dot; a text with fewer dots is shown whole.
    std::wstring shortForm = version;
    const std::size_t first = version.find(L'.');
    if (first != std::wstring::npos) {
        const std::size_t second = version.find(L'.', first + 1);
        if (second != std::wstring::npos) shortForm = version.substr(0, second);
    }
    return L"Version " + shortForm + L" (Build " + version + L")";
}
