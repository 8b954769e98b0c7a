#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "app/savesequence.h"
#include "base/text.h"
#include "base/win/handles.h"
#include "platform/controlpanel.h"
#include "registry/cpapplets.h"
#include "scheme/xmldata.h"
#include "tests/support/environment.h"
#include "tests/support/program.h"
#include "tests/support/screenshot.h"
#include "ui/imagelists.h"

namespace {

const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kControlPanelPrefix =
    L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}\\";

// The product's executable mapped for its resources, and its scheme as the lookups' data.
struct Product {
    testsupport::ProductResources module;
    TXMLDataModule scheme;
    Product()
    {
        scheme.FXml.loadFromResource(L"APPSCHEME", module.get());
        XMLDataModule = &scheme;
    }
    ~Product() { XMLDataModule = nullptr; }
};

// reg.exe as an outside witness of what was written: its exit code and output.
using RegResult = testsupport::ProgramRun;
using testsupport::runReg;

RegResult queryApplet(const std::wstring& path)
{
    return runReg(L"query \"HKCU\\" + kDontLoad + L"\" /v \"" + path + L"\"");
}

void forgetApplets() { RegDeleteTreeW(HKEY_CURRENT_USER, kDontLoad.c_str()); }

DWORD valueCount()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kDontLoad.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return count;
}

// The pixels of one image drawn on white, to compare images of different lists.
std::vector<DWORD> pixelsOf(HIMAGELIST list, int index)
{
    int cx = 0, cy = 0;
    ImageList_GetIconSize(list, &cx, &cy);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), cx, -cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
    const UniqueGdi<HBITMAP> bitmap(CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    REQUIRE(bitmap);
    const HGDIOBJ old = SelectObject(dc.get(), bitmap.get());
    RECT all{0, 0, cx, cy};
    FillRect(dc.get(), &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(list, index, dc.get(), 0, 0, ILD_TRANSPARENT);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + cx * cy);
    SelectObject(dc.get(), old);
    return pixels;
}

bool blank(const std::vector<DWORD>& pixels)
{
    for (DWORD p : pixels)
        if ((p & 0xFFFFFF) != 0xFFFFFF) return false;
    return true;
}

}  // namespace

TEST_CASE("Wine's Control Panel applets are listed with their names, paths and small icons")
{
    const ComApartment com;  // as the product's entry point sets it up
    const std::vector<ControlPanelApplet> applets = EnumerateControlPanel();
    REQUIRE(applets.size() >= 3);
    std::vector<std::wstring> names;
    for (const ControlPanelApplet& a : applets) {
        CAPTURE(toUtf8(a.Item.Path));
        names.push_back(a.Item.InFolderName);
        CHECK_FALSE(a.Item.InFolderName.empty());
        CHECK_FALSE(a.Item.NormalName.empty());
        // Not a file: the class identifiers of My Computer and the Control Panel, then the item.
        CHECK(a.Item.Path == kControlPanelPrefix + a.Item.InFolderName);
        REQUIRE(a.Icon);
        ICONINFO icon{};
        REQUIRE(GetIconInfo(a.Icon.get(), &icon));
        const UniqueGdi<HBITMAP> colour(icon.hbmColor), mask(icon.hbmMask);
        BITMAP bm{};
        GetObjectW(colour ? colour.get() : mask.get(), sizeof bm, &bm);
        CHECK(bm.bmWidth == GetSystemMetrics(SM_CXSMICON));
    }
    for (const wchar_t* expected : {L"Add/Remove Programs", L"Internet Settings", L"Game Controllers"}) {
        CAPTURE(toUtf8(expected));
        CHECK(std::find(names.begin(), names.end(), expected) != names.end());
    }
}

TEST_CASE("LoadCPApplets puts the off and on images first, then one icon per applet, once")
{
    const ComApartment com;  // as the product's entry point sets it up
    Product product;
    UniqueImageList img16 = createImg16(product.module.get(), 96);
    UniqueImageList appImages = createAppImageList(96);

    const std::vector<ControlPanelItem> items = LoadCPApplets(appImages.get(), img16.get());
    REQUIRE(items.size() >= 3);
    CHECK(ImageList_GetImageCount(appImages.get()) == static_cast<int>(items.size()) + 2);
    CHECK(pixelsOf(appImages.get(), 0) == pixelsOf(img16.get(), 2));
    CHECK(pixelsOf(appImages.get(), 1) == pixelsOf(img16.get(), 21));
    for (std::size_t i = 0; i < items.size(); ++i) {
        CAPTURE(toUtf8(items[i].InFolderName));
        CHECK(items[i].ImageIndex == static_cast<int>(i) + 2);
        CHECK_FALSE(blank(pixelsOf(appImages.get(), items[i].ImageIndex)));
    }

    CHECK(LoadCPApplets(appImages.get(), img16.get()).empty());
    CHECK(ImageList_GetImageCount(appImages.get()) == static_cast<int>(items.size()) + 2);
}

TEST_CASE("Hiding an applet and saving writes Yes under don't load; showing it again removes the value")
{
    const ComApartment com;  // as the product's entry point sets it up
    Product product;
    forgetApplets();
    UniqueImageList img16 = createImg16(product.module.get(), 96);
    UniqueImageList appImages = createAppImageList(96);

    TAppObjectsList entries;
    for (const ControlPanelItem& item : LoadCPApplets(appImages.get(), img16.get()))
        entries.Add(std::make_unique<TRestrListRec>(MakeAppletEntry<TRestrListRec>(item)));
    REQUIRE(entries.Count() >= 3);
    for (int i = 0; i < entries.Count(); ++i) {
        CHECK(entries[i].ACaption == L" Hide " + entries[i].AppName.substr(kControlPanelPrefix.size()));
        CHECK_FALSE(entries[i].SetValue);
    }
    SaveHooks hooks;
    hooks.applyAppletState = ApplyAppletState;

    // Saving untouched applets writes nothing.
    RunSaveSequence(entries, nullptr, hooks);
    CHECK(valueCount() == 0);

    TRestrListRec& applet = entries[1];
    applet.SetValue = true;
    RunSaveSequence(entries, nullptr, hooks);
    const RegResult hidden = queryApplet(applet.AppName);
    CHECK(hidden.exitCode == 0);
    CHECK(hidden.output.find("REG_SZ") != std::string::npos);
    CHECK(hidden.output.find("Yes") != std::string::npos);
    CHECK(valueCount() == 1);
    CHECK(MakeAppletEntry<TRestrListRec>({L"x", L"x", applet.AppName, 0}).SetValue);

    applet.SetValue = false;
    RunSaveSequence(entries, nullptr, hooks);
    CHECK(queryApplet(applet.AppName).exitCode != 0);
    CHECK(valueCount() == 0);
    forgetApplets();
}

TEST_CASE("An applet whose value is not exactly Yes is listed shown, and hiding it writes Yes")
{
    const ComApartment com;  // as the product's entry point sets it up
    Product product;
    forgetApplets();
    const std::wstring path = kControlPanelPrefix + L"Game Controllers";
    for (const wchar_t* other : {L"No", L"yes"}) {
        CAPTURE(toUtf8(other));
        REQUIRE(runReg(L"add \"HKCU\\" + kDontLoad + L"\" /v \"" + path + L"\" /t REG_SZ /d " + other + L" /f")
                    .exitCode == 0);
        const TRestrListRec entry = MakeAppletEntry<TRestrListRec>({L"Game Controllers", L"", path, 0});
        CHECK_FALSE(entry.SetValue);
        ApplyAppletState(path, false);  // agrees: left alone
        CHECK(queryApplet(path).output.find(toUtf8(other)) != std::string::npos);
        ApplyAppletState(path, true);
        CHECK(queryApplet(path).output.find("Yes") != std::string::npos);
    }
    forgetApplets();
}

TEST_CASE("The applet entries shown in a check-box list with their icons")
{
    const ComApartment com;  // as the product's entry point sets it up
    Product product;
    forgetApplets();
    UniqueImageList img16 = createImg16(product.module.get(), 96);
    UniqueImageList appImages = createAppImageList(96);
    const std::vector<ControlPanelItem> items = LoadCPApplets(appImages.get(), img16.get());
    REQUIRE_FALSE(items.empty());
    ApplyAppletState(items[0].Path, true);

    // The list as the tweak list shows a group of applets: report view, check boxes, the
    // applets' icons as small images.
    const HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                      WS_POPUP | WS_VISIBLE | WS_CAPTION | LVS_REPORT | LVS_NOCOLUMNHEADER |
                                          LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_SHAREIMAGELISTS,
                                      100, 100, 320, 160, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    REQUIRE(list);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    ListView_SetImageList(list, appImages.get(), LVSIL_SMALL);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 280;
    ListView_InsertColumn(list, 0, &column);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const TRestrListRec entry = MakeAppletEntry<TRestrListRec>(items[i]);
        LVITEMW row{};
        row.mask = LVIF_TEXT | LVIF_IMAGE;
        row.iItem = static_cast<int>(i);
        row.pszText = const_cast<wchar_t*>(entry.ACaption.c_str());
        row.iImage = entry.nImageIndex;
        REQUIRE(ListView_InsertItem(list, &row) == static_cast<int>(i));
        ListView_SetCheckState(list, static_cast<int>(i), entry.SetValue);
    }
    CHECK(ListView_GetCheckState(list, 0));
    CHECK_FALSE(ListView_GetCheckState(list, 1));

    RedrawWindow(list, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    Sleep(300);
    // Row 0's icon, drawn by the list, is the applet's icon and not the blank background.
    RECT iconRect{LVIR_ICON, 0, 0, 0};
    REQUIRE(SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&iconRect)));
    const WindowDc dc(list);
    int coloured = 0;
    for (int y = iconRect.top; y < iconRect.bottom; ++y)
        for (int x = iconRect.left; x < iconRect.right; ++x)
            if ((GetPixel(dc.get(), x, y) & 0xFFFFFF) != (GetSysColor(COLOR_WINDOW) & 0xFFFFFF)) ++coloured;
    CHECK(coloured > 20);

    testsupport::screenshot(list, L"applets_list.bmp");  // a picture for the eye

    DestroyWindow(list);
    forgetApplets();
}
