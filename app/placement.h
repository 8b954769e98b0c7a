#pragma once
// The remembered window placement: the platform's placement data as the five registry
// values under HKEY_CURRENT_USER\Software\Quillmark\frmQuillmark, and back.
#include <optional>
#include <string>

#include "app/layout.h"

inline const wchar_t* const PlacementKey = L"Software\\Quillmark\\frmQuillmark";

struct PlacementPoint {
    int x = 0, y = 0;
    bool operator==(const PlacementPoint&) const = default;
};

// The fields of WINDOWPLACEMENT, plus the resolution they were taken at.
struct WindowPlacementData {
    int showCmd = 0;
    int flags = 0;
    int pixelsPerInch = 96;
    PlacementPoint minPosition, maxPosition;
    LayoutRect normalPosition;
    bool operator==(const WindowPlacementData&) const = default;
};

// The registry values, named as stored.
struct PlacementValues {
    std::optional<int> ShowCmd, Flags, PixelsPerInch;
    std::optional<std::wstring> MinMaxPos, NormPos;
};

PlacementValues toPlacementValues(const WindowPlacementData& data);
// None when a value is missing or malformed: the window then opens centred.
std::optional<WindowPlacementData> fromPlacementValues(const PlacementValues& values);

// The placement to restore on a screen of `currentDpi`: a window that was minimized opens
// normal, and a rectangle saved at another resolution keeps its size in 96-DPI units.
WindowPlacementData placementToRestore(const WindowPlacementData& saved, int currentDpi);

// The window rectangle moved, and shrunk if it must be, so that all of it lies in `workArea`.
LayoutRect onWorkArea(const LayoutRect& window, const LayoutRect& workArea);

namespace showcmd {
inline constexpr int Normal = 1, Minimized = 2, Maximized = 3;
}
