#include "ui/about.h"

#include <commctrl.h>

#include "app/version.h"
#include "platform/version_resource.h"
#include "resources/dialogs.h"
#include "ui/dialoghelpers.h"

namespace {

constexpr COLORREF LinkColour = RGB(0, 0, 128);     // navy
constexpr COLORREF LinkHotColour = RGB(0, 102, 255);

int pointsToPixels(HWND window, int points)
{
    const UINT dpi = GetDpiForWindow(window);
    return -MulDiv(points, dpi ? static_cast<int>(dpi) : 96, 72);
}

}  // namespace

TfrmAbout::TfrmAbout(HMODULE resources, std::wstring versionFile)
    : resources_(resources), versionFile_(std::move(versionFile))
{
}

INT_PTR TfrmAbout::ShowModal(HWND owner)
{
    return DialogBoxParamW(resources_, MAKEINTRESOURCEW(IDD_ABOUT), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void TfrmAbout::FormCreate(HWND dialog)
{
    dialog_ = dialog;
    SetDlgItemTextW(dialog, IDC_VERSION, AboutVersionLine(GetAppVersion(versionFile_)).c_str());

    titleFont_.reset(CreateFontW(pointsToPixels(dialog, 12), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"));
    SendDlgItemMessageW(dialog, IDC_PRODUCTNAME, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.get()), TRUE);

    const HWND link = GetDlgItem(dialog, IDC_WEBSITE);
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
    font.lfUnderline = TRUE;
    linkFont_.reset(CreateFontIndirectW(&font));
    SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.get()), TRUE);
    SetWindowSubclass(link, LinkProc, 0, reinterpret_cast<DWORD_PTR>(this));

    placeByDesign(dialog, 365, 219,
                  {{IDC_ABOUTICON, 16, 10, 32, 32},
                   {IDC_PRODUCTNAME, 64, 8, 240, 24},
                   {IDC_VERSION, 119, 35, 236, 16},
                   {IDC_WEBSITE, 119, 57, 0, 0},
                   {IDOK, 264, 186, 91, 25}});

    centreOnOwner(dialog);
}

INT_PTR CALLBACK TfrmAbout::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<TfrmAbout*>(lParam)->FormCreate(dialog);
        return TRUE;  // the focus goes to the OK button
    }
    auto* self = reinterpret_cast<TfrmAbout*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!self) return FALSE;
    switch (message) {
    case WM_CTLCOLORSTATIC:
        return self->OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:  // Enter and Escape
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        case IDC_WEBSITE:
            if (HIWORD(wParam) == STN_CLICKED) self->lblWebSiteClick();
            return TRUE;
        }
        break;
    case WM_DESTROY:
        RemoveWindowSubclass(GetDlgItem(dialog, IDC_WEBSITE), LinkProc, 0);
        break;
    }
    return FALSE;
}

INT_PTR TfrmAbout::OnCtlColorStatic(HDC dc, HWND control)
{
    if (GetDlgCtrlID(control) != IDC_WEBSITE) return FALSE;
    SetTextColor(dc, linkHot_ ? LinkHotColour : LinkColour);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT CALLBACK TfrmAbout::LinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR selfData)
{
    auto* self = reinterpret_cast<TfrmAbout*>(selfData);
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_MOUSEMOVE:
        if (!self->linkHot_) {
            self->linkHot_ = true;
            TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, link, 0};
            TrackMouseEvent(&track);
            InvalidateRect(link, nullptr, TRUE);
        }
        break;
    case WM_MOUSELEAVE:
        self->linkHot_ = false;
        InvalidateRect(link, nullptr, TRUE);
        break;
    }
    return DefSubclassProc(link, message, wParam, lParam);
}

void TfrmAbout::lblWebSiteClick()
{
    openWebPage(ProductWebPage);
}

void About1Click(HMODULE resources, HWND owner)
{
    TfrmAbout about(resources);
    about.ShowModal(owner);
}

std::wstring GetAppVersion(const std::wstring& FileName)
{
    const std::optional<FileVersion> version = ReadProductVersion(FileName);
    return version ? VersionText(version->mostSignificant, version->leastSignificant) : VersionText(0, 0);
}
