// The image strips and the application icon as the built executable carries them.
#include <doctest/doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "resources/icons.h"
#include "tests/support/environment.h"
#include "ui/imagelists.h"

namespace {

struct ExeModule {
    testsupport::ProductResources resources;
    const HMODULE module = resources.get();
};

// A top-down 32-bit DIB to draw images on and read back.
class Canvas {
public:
    Canvas(int width, int height, uint32_t background) : width_(width), height_(height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        REQUIRE(bitmap_ != nullptr);
        old_ = SelectObject(dc_, bitmap_);
        for (int i = 0; i < width * height; ++i) bits_[i] = background;
    }
    ~Canvas()
    {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC dc() const { return dc_; }
    uint32_t pixel(int x, int y) const
    {
        GdiFlush();
        return bits_[y * width_ + x] & 0xFFFFFF;
    }
    void saveBmp(const std::filesystem::path& path) const
    {
        GdiFlush();
        const DWORD bytes = DWORD(width_) * height_ * 4;
        BITMAPINFOHEADER info{};
        info.biSize = sizeof info;
        info.biWidth = width_;
        info.biHeight = -height_;
        info.biPlanes = 1;
        info.biBitCount = 32;
        info.biCompression = BI_RGB;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;  // "BM"
        file.bfOffBits = sizeof file + sizeof info;
        file.bfSize = file.bfOffBits + bytes;
        // GDI leaves the alpha byte of text and background at 0; viewers would take it as transparent.
        std::vector<uint32_t> opaque(bits_, bits_ + width_ * height_);
        for (uint32_t& p : opaque) p |= 0xFF000000u;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&file), sizeof file);
        out.write(reinterpret_cast<const char*>(&info), sizeof info);
        out.write(reinterpret_cast<const char*>(opaque.data()), bytes);
        CHECK(out.good());
    }

private:
    int width_, height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    uint32_t* bits_ = nullptr;
};

int iconSize(HIMAGELIST list)
{
    int cx = 0, cy = 0;
    ImageList_GetIconSize(list, &cx, &cy);
    CHECK(cx == cy);
    return cx;
}

// The image's pixels drawn over a plain background.
std::vector<uint32_t> drawn(HIMAGELIST list, int index, uint32_t background)
{
    const int size = iconSize(list);
    Canvas canvas(size, size, background);
    REQUIRE(ImageList_Draw(list, index, canvas.dc(), 0, 0, ILD_NORMAL));
    std::vector<uint32_t> pixels;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) pixels.push_back(canvas.pixel(x, y));
    return pixels;
}

// Fully transparent images leave both a black and a white background untouched.
bool isVisible(HIMAGELIST list, int index)
{
    for (uint32_t background : {0x000000u, 0xFFFFFFu})
        for (uint32_t p : drawn(list, index, background))
            if (p != background) return true;
    return false;
}

struct Mean {
    double r = 0, g = 0, b = 0;
};

Mean meanColour(const std::vector<uint32_t>& pixels)
{
    Mean m;
    for (uint32_t p : pixels) {
        m.r += (p >> 16) & 0xFF;
        m.g += (p >> 8) & 0xFF;
        m.b += p & 0xFF;
    }
    m.r /= pixels.size();
    m.g /= pixels.size();
    m.b /= pixels.size();
    return m;
}

// Image indexes the scheme's elements refer to by img16="N" / img32="N" (N >= 0).
std::set<int> schemeIndexes(const std::string& attribute)
{
    const std::string content = testsupport::sourceFile("resources/scheme.xml");
    std::set<int> indexes;
    const std::regex pattern("\\b" + attribute + "\\s*=\\s*\"(-?\\d+)\"", std::regex::icase);
    for (auto it = std::sregex_iterator(content.begin(), content.end(), pattern); it != std::sregex_iterator(); ++it) {
        const int value = std::stoi((*it)[1].str());
        if (value >= 0) indexes.insert(value);
    }
    return indexes;
}

void drawContactSheet(HIMAGELIST img16, HIMAGELIST img32, UINT dpi)
{
    const int s16 = iconSize(img16), s32 = iconSize(img32);
    const int cell16 = s16 + 10, cell32 = s32 + 10, label = 14, perRow = 12;
    const int rows16 = (kImg16Count + perRow - 1) / perRow, rows32 = (kImg32Count + perRow - 1) / perRow;
    const int width = perRow * std::max(cell16, cell32) + 8;
    const int height = rows16 * (cell16 + label) + rows32 * (cell32 + label) + 16;
    Canvas canvas(width, height, 0xFFFFFF);
    SetBkMode(canvas.dc(), TRANSPARENT);
    HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
    SelectObject(canvas.dc(), font);
    int top = 4;
    for (auto [list, count, cell] : {std::tuple{img16, kImg16Count, cell16}, std::tuple{img32, kImg32Count, cell32}}) {
        const int pitch = std::max(cell16, cell32);
        for (int i = 0; i < count; ++i) {
            const int x = 4 + (i % perRow) * pitch, y = top + (i / perRow) * (cell + label);
            ImageList_Draw(list, i, canvas.dc(), x, y + label, ILD_NORMAL);
            const std::string number = std::to_string(i);
            TextOutA(canvas.dc(), x, y, number.c_str(), int(number.size()));
        }
        top += ((count + perRow - 1) / perRow) * (cell + label) + 8;
    }
    canvas.saveBmp(testsupport::artifacts() / ("icons_" + std::to_string(dpi) + "dpi.bmp"));
}

}  // namespace

TEST_CASE("image lists have every image at the size the DPI asks for")
{
    ExeModule exe;
    struct Case {
        UINT dpi;
        int size16, size32;
    };
    // 96, 144 and 192 match a strip; 120 and 240 are resampled (shrunk, enlarged).
    for (const Case& c : {Case{96, 16, 32}, Case{120, 20, 40}, Case{144, 24, 48}, Case{192, 32, 64}, Case{240, 40, 80}}) {
        CAPTURE(c.dpi);
        UniqueImageList img16 = createImg16(exe.module, c.dpi);
        UniqueImageList img32 = createImg32(exe.module, c.dpi);
        CHECK(ImageList_GetImageCount(img16.get()) == kImg16Count);
        CHECK(ImageList_GetImageCount(img32.get()) == kImg32Count);
        CHECK(iconSize(img16.get()) == c.size16);
        CHECK(iconSize(img32.get()) == c.size32);
        UniqueImageList apps = createAppImageList(c.dpi);
        CHECK(ImageList_GetImageCount(apps.get()) == 0);
        CHECK(iconSize(apps.get()) == c.size16);
    }
}

TEST_CASE("every image the scheme refers to exists and shows something")
{
    ExeModule exe;
    const std::set<int> used16 = schemeIndexes("img16");
    const std::set<int> used32 = schemeIndexes("img32");
    // The catalogue's groups use dozens of each; an empty set means the scan went wrong.
    REQUIRE(used16.size() > 20);
    REQUIRE(used32.size() > 20);
    for (UINT dpi : {96u, 144u, 120u}) {
        CAPTURE(dpi);
        UniqueImageList img16 = createImg16(exe.module, dpi);
        UniqueImageList img32 = createImg32(exe.module, dpi);
        for (int index : used16) {
            CAPTURE(index);
            REQUIRE(index < ImageList_GetImageCount(img16.get()));
            CHECK(isVisible(img16.get(), index));
        }
        for (int index : used32) {
            CAPTURE(index);
            REQUIRE(index < ImageList_GetImageCount(img32.get()));
            CHECK(isVisible(img32.get(), index));
        }
        CHECK(isVisible(img16.get(), kImageTweakOff));
        CHECK(isVisible(img16.get(), kImageTweakOn));
        drawContactSheet(img16.get(), img32.get(), dpi);
    }
}

TEST_CASE("the 'on' document differs from the 'off' one by a green check mark")
{
    ExeModule exe;
    for (UINT dpi : {96u, 144u}) {
        CAPTURE(dpi);
        UniqueImageList img16 = createImg16(exe.module, dpi);
        const int size = iconSize(img16.get());
        const std::vector<uint32_t> off = drawn(img16.get(), kImageTweakOff, 0xFFFFFF);
        const std::vector<uint32_t> on = drawn(img16.get(), kImageTweakOn, 0xFFFFFF);
        CHECK(off != on);
        auto greenInLowerRight = [&](const std::vector<uint32_t>& pixels) {
            int count = 0;
            for (int y = size / 2; y < size; ++y)
                for (int x = size / 2; x < size; ++x) {
                    const uint32_t p = pixels[y * size + x];
                    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                    if (g > r + 40 && g > b + 20) ++count;
                }
            return count;
        };
        CHECK(greenInLowerRight(off) == 0);
        CHECK(greenInLowerRight(on) >= size * size / 16);
    }
}

TEST_CASE("resampled images keep the colours of the strip they come from")
{
    // 20 px is shrunk from the 24 px strip, 40 px enlarged from the 32 px one. A channel
    // swap, dark fringes from unpremultiplied filtering or lost alpha shift the mean colour.
    ExeModule exe;
    UniqueImageList exact = createImg16(exe.module, 144);   // 24 px strip as stored
    UniqueImageList shrunk = createImg16(exe.module, 120);  // 20 px
    UniqueImageList source32 = createImg16(exe.module, 192);
    UniqueImageList enlarged = createImg16(exe.module, 240);  // 40 px
    for (auto [reference, resampled] : {std::pair{exact.get(), shrunk.get()}, std::pair{source32.get(), enlarged.get()}}) {
        for (int index : {kImageTweakOff, kImageTweakOn, 10, 25, 65}) {
            CAPTURE(index);
            for (uint32_t background : {0x000000u, 0xFFFFFFu}) {
                const Mean a = meanColour(drawn(reference, index, background));
                const Mean b = meanColour(drawn(resampled, index, background));
                CHECK(std::abs(a.r - b.r) < 10);
                CHECK(std::abs(a.g - b.g) < 10);
                CHECK(std::abs(a.b - b.b) < 10);
            }
        }
    }
}

TEST_CASE("copies of the tweak documents go into the applet image list")
{
    ExeModule exe;
    UniqueImageList img16 = createImg16(exe.module, 96);
    UniqueImageList apps = createAppImageList(96);
    CHECK(appendImageCopy(apps.get(), img16.get(), kImageTweakOff) == 0);
    CHECK(appendImageCopy(apps.get(), img16.get(), kImageTweakOn) == 1);
    CHECK(ImageList_GetImageCount(apps.get()) == 2);
    for (auto [copy, original] : {std::pair{0, kImageTweakOff}, std::pair{1, kImageTweakOn}}) {
        CAPTURE(original);
        const Mean a = meanColour(drawn(apps.get(), copy, 0xFFFFFF));
        const Mean b = meanColour(drawn(img16.get(), original, 0xFFFFFF));
        CHECK(std::abs(a.r - b.r) < 3);
        CHECK(std::abs(a.g - b.g) < 3);
        CHECK(std::abs(a.b - b.b) < 3);
    }
}

namespace {

BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    auto* names = reinterpret_cast<std::vector<std::wstring>*>(param);
    names->push_back(IS_INTRESOURCE(name) ? L"#" + std::to_wstring(uintptr_t(name)) : std::wstring(name));
    return TRUE;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

}  // namespace

TEST_CASE("the executable's first icon is the application icon, up to 256 pixels")
{
    ExeModule exe;
    std::vector<std::wstring> groups;
    EnumResourceNamesW(exe.module, RT_GROUP_ICON, collectName, reinterpret_cast<LONG_PTR>(&groups));
    REQUIRE(!groups.empty());
    CHECK(groups.front() == L"#" + std::to_wstring(IDI_QUILLMARK));

    HRSRC found = FindResourceW(exe.module, MAKEINTRESOURCEW(IDI_QUILLMARK), RT_GROUP_ICON);
    REQUIRE(found != nullptr);
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(exe.module, found)));
    REQUIRE(group != nullptr);
    const WORD count = *reinterpret_cast<const WORD*>(group + 4);
    std::set<int> sizes;
    for (WORD i = 0; i < count; ++i) {
        const auto* entry = reinterpret_cast<const GroupIconEntry*>(group + 6 + i * sizeof(GroupIconEntry));
        sizes.insert(entry->width == 0 ? 256 : entry->width);
        CHECK(entry->bitCount == 32);
    }
    CHECK(sizes == std::set<int>{16, 20, 24, 32, 40, 48, 64, 256});

    // The 256 entry (PNG) and a small one become real icons of their size.
    for (int size : {256, 16}) {
        CAPTURE(size);
        const int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(group), TRUE, size, size, LR_DEFAULTCOLOR);
        REQUIRE(id != 0);
        HRSRC image = FindResourceW(exe.module, MAKEINTRESOURCEW(id), RT_ICON);
        REQUIRE(image != nullptr);
        auto* bits = static_cast<BYTE*>(LockResource(LoadResource(exe.module, image)));
        HICON icon = CreateIconFromResourceEx(bits, SizeofResource(exe.module, image), TRUE, 0x00030000, size, size,
                                              LR_DEFAULTCOLOR);
        REQUIRE(icon != nullptr);
        ICONINFO info{};
        REQUIRE(GetIconInfo(icon, &info));
        BITMAP bm{};
        GetObject(info.hbmColor, sizeof bm, &bm);
        CHECK(bm.bmWidth == size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}
