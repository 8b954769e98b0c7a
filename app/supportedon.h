#pragma once
// On which Windows a tweak has an effect: the "Supported on" text and the Windows range of
// its Description entry, against the Windows that runs the program.
#include <optional>
#include <string>
#include <string_view>

struct WindowsVersion {
    unsigned Major = 0, Minor = 0, Build = 0;
};

// The range as the scheme writes it: empty when not documented, "9x" for Windows 95, 98 and
// Me only, else "MIN-MAX" with either end open, each end major.minor or major.minor.build.
bool ValidWindowsRange(std::wstring_view range);

// False only for a valid range that leaves `running` out. Each end is compared on its own
// precision: "5.0-5.2" holds every build of 5.2, "-10.0.19045" ends before 10.0.22000.
// "9x" leaves out every NT version, which is every Windows the program runs on.
bool HasEffectOn(std::wstring_view range, const WindowsVersion& running);

// Whether the tweak of that scheme name has an effect; always true without a running version
// (the platform could not tell) or without a documented range.
bool TweakHasEffect(const std::wstring& name, const std::optional<WindowsVersion>& running);

// What a list row shows after the caption of a tweak without effect.
inline const wchar_t* const NoEffectSuffix = L" (no effect on this Windows)";

// The description panel's line under the description; empty when the entry has no text.
std::wstring SupportedOnLine(const std::wstring& name);
