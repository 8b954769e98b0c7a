#pragma once
// The main window's image lists, built from the executable's bitmap strips for a given DPI.
#include <windows.h>
#include <commctrl.h>

#include "base/win/handles.h"

using UniqueImageList = Unique<HIMAGELIST, &ImageList_Destroy>;

// Number of images in the strips; the scheme's img16 and img32 attributes index them.
constexpr int kImg16Count = 66;
constexpr int kImg32Count = 37;
// img16 images of a tweak row: a blank document when off, one with a check mark when on.
constexpr int kImageTweakOff = 2;
constexpr int kImageTweakOn = 21;

// Pixel size of a base-96-DPI size at dpi.
int scaledImageSize(int baseSize, UINT dpi);

// img16 (tree and rows) and img32 (large-icon view), ILC_COLOR32 with alpha, images of
// scaledImageSize(16 or 32, dpi) pixels. The strip whose size fits best is taken, and
// resampled when none matches exactly. resources is the module holding the strips.
// Throws std::runtime_error when a strip is missing or malformed, Win32Error when a call fails.
UniqueImageList createImg16(HMODULE resources, UINT dpi);
UniqueImageList createImg32(HMODULE resources, UINT dpi);

// AppImageList: empty, 16-pixel images scaled for dpi; the applet enumeration fills it.
UniqueImageList createAppImageList(UINT dpi);

// Appends a copy of image `index` of `source` to `target`; returns its index in `target`.
int appendImageCopy(HIMAGELIST target, HIMAGELIST source, int index);

// The system's shield (an action that needs administrator rights) as a 32-bit bitmap with
// alpha, for a menu item, at the small icon size for dpi; null when the system has none.
UniqueGdi<HBITMAP> createShieldMenuBitmap(UINT dpi);
