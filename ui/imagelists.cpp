#include "ui/imagelists.h"

#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/win/win32_error.h"
#include "resources/icons.h"

namespace {

using UniqueBitmap = UniqueGdi<HBITMAP>;

struct StripChoice {
    int size;
    int resourceId;
};

// Images side by side, top row first, 32-bit BGRA with straight alpha.
struct Strip {
    int imageSize = 0;
    int count = 0;
    std::vector<uint32_t> pixels;
    int width() const { return imageSize * count; }
};

Strip loadStrip(HMODULE module, int resourceId, int imageSize, int count)
{
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), RT_BITMAP);
    if (!found) throwLastError("FindResourceW(image strip)");
    HGLOBAL loaded = LoadResource(module, found);
    const auto* data = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!data) throwLastError("LoadResource(image strip)");
    const DWORD size = SizeofResource(module, found);

    BITMAPINFOHEADER header;
    if (size < sizeof header) throw std::runtime_error("image strip: truncated header");
    std::memcpy(&header, data, sizeof header);
    const int height = std::abs(header.biHeight);
    if (header.biBitCount != 32 || (header.biCompression != BI_RGB && header.biCompression != BI_BITFIELDS)
        || header.biWidth != imageSize * count || height != imageSize || header.biSize < sizeof header)
        throw std::runtime_error("image strip " + std::to_string(resourceId) + ": not a "
                                 + std::to_string(count) + " x " + std::to_string(imageSize)
                                 + " px 32-bit strip");
    // A 40-byte header with BI_BITFIELDS is followed by its three colour masks.
    size_t offset = header.biSize;
    if (header.biCompression == BI_BITFIELDS && header.biSize == sizeof header) offset += 12;
    const size_t rowBytes = size_t(header.biWidth) * 4;
    if (size < offset + rowBytes * height) throw std::runtime_error("image strip: truncated pixels");

    Strip strip{imageSize, count, std::vector<uint32_t>(size_t(header.biWidth) * height)};
    for (int y = 0; y < height; ++y) {
        const int sourceRow = header.biHeight > 0 ? height - 1 - y : y;
        std::memcpy(&strip.pixels[size_t(y) * header.biWidth], data + offset + rowBytes * sourceRow, rowBytes);
    }
    return strip;
}

// Source samples and weights for each target sample along one axis: a tent filter whose
// width grows with the reduction, so shrinking averages and enlarging interpolates.
struct Taps {
    int first = 0;
    std::vector<float> weights;
};

std::vector<Taps> tentTaps(int from, int to)
{
    const double scale = double(from) / to;
    const double radius = std::max(1.0, scale);
    std::vector<Taps> all(to);
    for (int d = 0; d < to; ++d) {
        const double center = (d + 0.5) * scale - 0.5;
        const int lo = std::max(0, int(std::floor(center - radius)) + 1);
        const int hi = std::min(from - 1, int(std::ceil(center + radius)) - 1);
        Taps& taps = all[d];
        taps.first = lo;
        float sum = 0;
        for (int s = lo; s <= hi; ++s) {
            const float w = float(std::max(0.0, 1.0 - std::abs(s - center) / radius));
            taps.weights.push_back(w);
            sum += w;
        }
        for (float& w : taps.weights) w /= sum;
    }
    return all;
}

using Premultiplied = std::array<float, 4>;  // b, g, r, a

Premultiplied premultiply(uint32_t p)
{
    const float a = float(p >> 24) / 255.0f;
    return {float(p & 0xFF) * a, float((p >> 8) & 0xFF) * a, float((p >> 16) & 0xFF) * a, a * 255.0f};
}

uint32_t straighten(const Premultiplied& c)
{
    if (c[3] < 0.5f) return 0;
    auto channel = [&](float v) { return uint32_t(std::clamp(std::lround(v * 255.0f / c[3]), 0L, 255L)); };
    const uint32_t a = uint32_t(std::clamp(std::lround(c[3]), 0L, 255L));
    return channel(c[0]) | channel(c[1]) << 8 | channel(c[2]) << 16 | a << 24;
}

// Each image is resampled on its own, in premultiplied alpha, so no colour bleeds in from
// transparent pixels or from the neighbouring image.
Strip resample(const Strip& source, int size)
{
    const int from = source.imageSize;
    const std::vector<Taps> taps = tentTaps(from, size);
    Strip target{size, source.count, std::vector<uint32_t>(size_t(size) * size * source.count)};
    std::vector<Premultiplied> rows(size_t(size) * from);  // horizontal pass: size wide, from high
    for (int image = 0; image < source.count; ++image) {
        for (int y = 0; y < from; ++y)
            for (int x = 0; x < size; ++x) {
                Premultiplied sum{};
                for (size_t k = 0; k < taps[x].weights.size(); ++k) {
                    const int sx = image * from + taps[x].first + int(k);
                    const Premultiplied p = premultiply(source.pixels[size_t(y) * source.width() + sx]);
                    for (int c = 0; c < 4; ++c) sum[c] += p[c] * taps[x].weights[k];
                }
                rows[size_t(y) * size + x] = sum;
            }
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                Premultiplied sum{};
                for (size_t k = 0; k < taps[y].weights.size(); ++k) {
                    const Premultiplied& p = rows[size_t(taps[y].first + int(k)) * size + x];
                    for (int c = 0; c < 4; ++c) sum[c] += p[c] * taps[y].weights[k];
                }
                target.pixels[size_t(y) * target.width() + image * size + x] = straighten(sum);
            }
    }
    return target;
}

UniqueImageList createFromStrips(HMODULE module, const std::vector<StripChoice>& strips, int baseSize,
                                 int count, UINT dpi)
{
    const int size = scaledImageSize(baseSize, dpi);
    // Exact size first; else shrink the next larger strip (sharper than enlarging); else
    // enlarge the largest.
    StripChoice chosen = strips.back();
    for (const StripChoice& s : strips)
        if (s.size >= size) {
            chosen = s;
            break;
        }
    Strip strip = loadStrip(module, chosen.resourceId, chosen.size, count);
    if (chosen.size != size) strip = resample(strip, size);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = strip.width();
    info.bmiHeader.biHeight = -size;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) throwLastError("CreateDIBSection");
    std::memcpy(bits, strip.pixels.data(), strip.pixels.size() * sizeof(uint32_t));

    UniqueImageList list(ImageList_Create(size, size, ILC_COLOR32, count, 4));
    if (!list) throwLastError("ImageList_Create");
    if (ImageList_Add(list.get(), bitmap.get(), nullptr) != 0 || ImageList_GetImageCount(list.get()) != count)
        throwLastError("ImageList_Add");
    return list;
}

}  // namespace

int scaledImageSize(int baseSize, UINT dpi)
{
    return MulDiv(baseSize, int(dpi), USER_DEFAULT_SCREEN_DPI);
}

UniqueImageList createImg16(HMODULE resources, UINT dpi)
{
    return createFromStrips(resources, {{16, IDB_IMG16_16}, {24, IDB_IMG16_24}, {32, IDB_IMG16_32}}, 16,
                            kImg16Count, dpi);
}

UniqueImageList createImg32(HMODULE resources, UINT dpi)
{
    return createFromStrips(resources, {{32, IDB_IMG32_32}, {48, IDB_IMG32_48}, {64, IDB_IMG32_64}}, 32,
                            kImg32Count, dpi);
}

UniqueImageList createAppImageList(UINT dpi)
{
    const int size = scaledImageSize(16, dpi);
    UniqueImageList list(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 0, 16));
    if (!list) throwLastError("ImageList_Create");
    return list;
}

int appendImageCopy(HIMAGELIST target, HIMAGELIST source, int index)
{
    UniqueIcon icon(ImageList_GetIcon(source, index, ILD_TRANSPARENT));
    if (!icon) throwLastError("ImageList_GetIcon");
    const int added = ImageList_AddIcon(target, icon.get());
    if (added < 0) throwLastError("ImageList_AddIcon");
    return added;
}

UniqueGdi<HBITMAP> createShieldMenuBitmap(UINT dpi)
{
    const int size = GetSystemMetricsForDpi(SM_CXSMICON, dpi);
    SHSTOCKICONINFO stock{};
    stock.cbSize = sizeof stock;
    const UniqueIcon owned(SUCCEEDED(SHGetStockIconInfo(SIID_SHIELD, SHGSI_ICON | SHGSI_SMALLICON, &stock)) ? stock.hIcon
                                                                                                       : nullptr);
    // Else user32's own, which is shared and never destroyed.
    const HICON icon = owned ? owned.get()
                             : static_cast<HICON>(LoadImageW(nullptr, IDI_SHIELD, IMAGE_ICON, size, size, LR_SHARED));
    if (!icon) return {};
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    UniqueGdi<HBITMAP> bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    if (!bitmap || !dc) return {};
    const HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
    // Drawn onto transparent black, the icon's alpha carries over into the bitmap.
    DrawIconEx(dc.get(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    SelectObject(dc.get(), old);
    return bitmap;
}
