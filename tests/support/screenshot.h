#pragma once
// What the screen shows of a window, written to the artifacts folder as a 24-bit BMP for
// the eye: no test compares its pixels.
#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/win/handles.h"
#include "tests/support/environment.h"
#include "tests/support/where.h"

namespace testsupport {

// `name` with its ".bmp"; returns the file written.
inline fs::path screenshot(HWND window, const std::wstring& name, const Where& where = Where::current()) {
    RedrawWindow(window, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    Sleep(300);  // the X server shows what was drawn a moment later
    RECT r, shown;
    GetWindowRect(window, &shown);
    // A maximised window's frame lies off the screen, and a copy from there comes back black.
    const RECT screenArea{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                          GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                          GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    if (!IntersectRect(&r, &shown, &screenArea)) r = shown;
    const int w = r.right - r.left, h = r.bottom - r.top;
    const WindowDc screen(nullptr);
    const UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
    const UniqueGdi<HBITMAP> bitmap(CreateCompatibleBitmap(screen.get(), w, h));
    {
        const SelectedObject target(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, w, h, screen.get(), r.left, r.top, SRCCOPY);
    }
    BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
    std::vector<char> pixels(stride * static_cast<std::size_t>(h));
    GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = static_cast<DWORD>(header.bfOffBits + pixels.size());
    const fs::path file = artifacts(where) / name;
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    check(static_cast<bool>(out), "cannot write " + toUtf8(file.wstring()), where);
    return file;
}

}  // namespace testsupport
