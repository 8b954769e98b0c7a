#pragma once
// What a window shows, written to the artifacts folder as a 24-bit BMP for
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
    // The window's own pixels, not the screen's: without a window manager (Xvfb) a maximised
    // window still shows on the screen at its old place and size, and a copy from there comes
    // back black beyond it. Its children draw into the same pixels.
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const WindowDc source(window, true);
    const UniqueMemoryDc memory(CreateCompatibleDC(source.get()));
    const UniqueGdi<HBITMAP> bitmap(CreateCompatibleBitmap(source.get(), w, h));
    {
        const SelectedObject target(memory.get(), bitmap.get());
        BitBlt(memory.get(), 0, 0, w, h, source.get(), 0, 0, SRCCOPY);
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
