#include "app/placement.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>

PlacementValues toPlacementValues(const WindowPlacementData& data)
{
    wchar_t text[80];
    PlacementValues v;
    v.ShowCmd = data.showCmd;
    v.Flags = data.flags;
    v.PixelsPerInch = data.pixelsPerInch;
    std::swprintf(text, std::size(text), L"%d,%d,%d,%d", data.minPosition.x, data.minPosition.y,
                  data.maxPosition.x, data.maxPosition.y);
    v.MinMaxPos = text;
    const LayoutRect& r = data.normalPosition;
    std::swprintf(text, std::size(text), L"%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
    v.NormPos = text;
    return v;
}

// Exactly four comma-separated decimal integers, nothing else.
static bool parseFour(const std::wstring& text, int (&out)[4])
{
    const wchar_t* p = text.c_str();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != L',') return false;
            ++p;
        }
        while (*p == L' ') ++p;
        wchar_t* end = nullptr;
        const long value = std::wcstol(p, &end, 10);
        if (end == p || value < -1000000 || value > 1000000) return false;
        out[i] = static_cast<int>(value);
        p = end;
        while (*p == L' ') ++p;
    }
    return *p == L'\0';
}

std::optional<WindowPlacementData> fromPlacementValues(const PlacementValues& v)
{
    if (!v.ShowCmd || !v.Flags || !v.PixelsPerInch || !v.MinMaxPos || !v.NormPos) return std::nullopt;
    int minMax[4], norm[4];
    if (!parseFour(*v.MinMaxPos, minMax) || !parseFour(*v.NormPos, norm)) return std::nullopt;
    if (norm[2] <= norm[0] || norm[3] <= norm[1] || *v.PixelsPerInch <= 0) return std::nullopt;
    WindowPlacementData d;
    d.showCmd = *v.ShowCmd;
    d.flags = *v.Flags;
    d.pixelsPerInch = *v.PixelsPerInch;
    d.minPosition = {minMax[0], minMax[1]};
    d.maxPosition = {minMax[2], minMax[3]};
    d.normalPosition = {norm[0], norm[1], norm[2], norm[3]};
    return d;
}

WindowPlacementData placementToRestore(const WindowPlacementData& saved, int currentDpi)
{
    WindowPlacementData d = saved;
    if (d.showCmd != showcmd::Maximized) d.showCmd = showcmd::Normal;
    if (saved.pixelsPerInch != currentDpi && currentDpi > 0) {
        LayoutRect& r = d.normalPosition;
        const auto rescale = [&](int length) {
            return static_cast<int>(static_cast<long long>(length) * currentDpi / saved.pixelsPerInch);
        };
        r.right = r.left + rescale(saved.normalPosition.width());
        r.bottom = r.top + rescale(saved.normalPosition.height());
        d.pixelsPerInch = currentDpi;
    }
    return d;
}

LayoutRect onWorkArea(const LayoutRect& window, const LayoutRect& workArea)
{
    const int width = std::min(window.width(), workArea.width());
    const int height = std::min(window.height(), workArea.height());
    const int left = std::clamp(window.left, workArea.left, workArea.right - width);
    const int top = std::clamp(window.top, workArea.top, workArea.bottom - height);
    return {left, top, left + width, top + height};
}
