#include "ui/advertpanel.h"

#include <commctrl.h>

#include <algorithm>

#include "app/layout.h"
#include "base/scope.h"
#include "base/win/win32_error.h"
#include "resources/resource.h"
#include "ui/dialoghelpers.h"

namespace {

// The two companion products: a link, then its lines of text.
struct Advert {
    int linkId, textId;
    const wchar_t* name;
    const wchar_t* page;
    const wchar_t* text;
};
const Advert Adverts[] = {
    {IDC_LNKPRODUCT1, IDC_ADVTEXT1, L"Quillmark Inkwell", L"https://quillmark.example.com/inkwell/",
     L"Keeps a journal of every restriction changed on this computer.\r\n"
     L"Shows who changed a setting, when, and what it was before.\r\n"
     L"Compares the journals of two computers side by side.\r\n"
     L"Prints the journal as a plain report for the records."},
    {IDC_LNKPRODUCT2, IDC_ADVTEXT2, L"Quillmark Ledger", L"https://quillmark.example.com/ledger/",
     L"Collects the restrictions of every computer in a network into one overview."},
};
const COLORREF LinkColor = RGB(0, 0, 128);  // navy
constexpr UINT_PTR LinkSubclassId = 2;

const Advert* advertOfLink(int id)
{
    for (const Advert& advert : Adverts)
        if (advert.linkId == id) return &advert;
    return nullptr;
}

LRESULT CALLBACK LinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_NCDESTROY:
        RemoveWindowSubclass(link, LinkProc, LinkSubclassId);
        break;
    }
    return DefSubclassProc(link, message, wParam, lParam);
}

}  // namespace

void AdvertisingPanel::create(HWND parent, int id, HINSTANCE instance)
{
    Panel::create(parent, id, instance, false);
    for (const Advert& advert : Adverts) {
        // An owner-drawn button: reachable with Tab and pressed with Space, drawn as a link.
        const HWND link = CreateWindowExW(0, WC_BUTTONW, advert.name,
                                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW | BS_NOTIFY,
                                          0, 0, 0, 0, hwnd(), reinterpret_cast<HMENU>(INT_PTR{advert.linkId}),
                                          instance, nullptr);
        if (!link) throwLastError("CreateWindowExW");
        if (!SetWindowSubclass(link, LinkProc, LinkSubclassId, 0)) throwLastError("SetWindowSubclass");
        if (!CreateWindowExW(0, WC_STATICW, advert.text, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                             hwnd(), reinterpret_cast<HMENU>(INT_PTR{advert.textId}), instance, nullptr))
            throwLastError("CreateWindowExW");
    }
}

HWND AdvertisingPanel::link(int which) const
{
    return GetDlgItem(hwnd(), which == 1 ? IDC_LNKPRODUCT1 : IDC_LNKPRODUCT2);
}

void AdvertisingPanel::ApplyFont(HFONT textFont)
{
    const UINT dpi = GetDpiForWindow(hwnd());
    UniqueGdi<HFONT> linkFont(CreateFontW(-MulDiv(9, dpi ? static_cast<int>(dpi) : 96, 72), 0, 0, 0, FW_BOLD, FALSE,
                                          TRUE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                          DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
    if (!linkFont) throwLastError("CreateFontW");
    linkFont_ = std::move(linkFont);
    textFont_ = textFont;
    for (const Advert& advert : Adverts) {
        SendDlgItemMessageW(hwnd(), advert.textId, WM_SETFONT, reinterpret_cast<WPARAM>(textFont), TRUE);
        InvalidateRect(GetDlgItem(hwnd(), advert.linkId), nullptr, TRUE);
    }
    Layout();
}

LRESULT AdvertisingPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (!advertOfLink(static_cast<int>(item.CtlID))) break;
        DrawLink(item);
        return TRUE;
    }
    case WM_COMMAND:
        if (const Advert* advert = advertOfLink(LOWORD(wParam))) {
            if (HIWORD(wParam) == BN_CLICKED) openWebPage(advert->page);
            // Tab never leaves the focus on a link scrolled out of sight.
            if (HIWORD(wParam) == BN_SETFOCUS) ScrollIntoView(reinterpret_cast<HWND>(lParam));
            return 0;
        }
        break;
    case WM_VSCROLL:
        OnVScroll(LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL: {
        UINT lines = 3;
        SystemParametersInfoW(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
        ScrollBy(-GET_WHEEL_DELTA_WPARAM(wParam) * static_cast<int>(std::min(lines, 10u)) * LineStep() / WHEEL_DELTA);
        return 0;
    }
    }
    return Panel::HandleMessage(message, wParam, lParam);
}

int AdvertisingPanel::LineStep() const
{
    const UINT dpi = GetDpiForWindow(hwnd());
    return scaleToDpi(16, dpi ? static_cast<int>(dpi) : 96);
}

int AdvertisingPanel::MaxScroll() const
{
    RECT panel;
    GetClientRect(hwnd(), &panel);
    return std::max(0, contentHeight_ - static_cast<int>(panel.bottom));
}

void AdvertisingPanel::OnVScroll(int request)
{
    RECT panel;
    GetClientRect(hwnd(), &panel);
    switch (request) {
    case SB_LINEUP: ScrollBy(-LineStep()); break;
    case SB_LINEDOWN: ScrollBy(LineStep()); break;
    case SB_PAGEUP: ScrollBy(-panel.bottom); break;
    case SB_PAGEDOWN: ScrollBy(panel.bottom); break;
    case SB_TOP: ScrollBy(-scroll_); break;
    case SB_BOTTOM: ScrollBy(contentHeight_); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        GetScrollInfo(hwnd(), SB_VERT, &info);
        ScrollBy(info.nTrackPos - scroll_);
        break;
    }
    }
}

void AdvertisingPanel::ScrollBy(int delta)
{
    const int target = std::clamp(scroll_ + delta, 0, MaxScroll());
    if (target == scroll_) return;
    scroll_ = target;
    Layout();
    InvalidateRect(hwnd(), nullptr, TRUE);
}

void AdvertisingPanel::ScrollIntoView(HWND control)
{
    RECT panel, r;
    GetClientRect(hwnd(), &panel);
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
    if (r.top < 0) ScrollBy(r.top);
    else if (r.bottom > panel.bottom) ScrollBy(std::min(r.bottom - panel.bottom, r.top));
}

void AdvertisingPanel::Layout()
{
    if (!linkFont_ || laying_) return;  // no fonts yet; or the scroll bar came or went below
    RECT placed;
    GetClientRect(hwnd(), &placed);
    // Not placed yet: its fonts come before the window's first layout, whose WM_SIZE lays it
    // out. Laid out at no width, every word would be a line of its own, and a scroll bar shown.
    if (placed.right <= 0 || placed.bottom <= 0) return;
    const ScopedValue laying(laying_, true);
    const UINT windowDpi = GetDpiForWindow(hwnd());
    const int dpi = windowDpi ? static_cast<int>(windowDpi) : 96;
    const int margin = scaleToDpi(16, dpi);
    const WindowDc dc(hwnd());
    // Again when the scroll bar came or went (the width changed) or the texts now end above
    // the panel's bottom (the scroll position changed).
    for (int pass = 0; pass < 3; ++pass) {
        RECT panel;
        GetClientRect(hwnd(), &panel);
        const int width = std::max(0, static_cast<int>(panel.right) - 2 * margin);
        int top = margin - scroll_;
        for (const Advert& advert : Adverts) {
            // The link is as wide as its text, so that only the text is a target.
            RECT linkRect{0, 0, 0, 0};
            {
                const SelectedObject font(dc.get(), linkFont_.get());
                DrawTextW(dc.get(), advert.name, -1, &linkRect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
            }
            const int linkHeight = linkRect.bottom + scaleToDpi(4, dpi);
            SetWindowPos(GetDlgItem(hwnd(), advert.linkId), nullptr, margin, top,
                         std::min<int>(linkRect.right + scaleToDpi(4, dpi), width), linkHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            top += linkHeight + scaleToDpi(4, dpi);
            RECT textRect{0, 0, width, 0};
            {
                const SelectedObject font(dc.get(), textFont_);
                DrawTextW(dc.get(), advert.text, -1, &textRect, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            }
            SetWindowPos(GetDlgItem(hwnd(), advert.textId), nullptr, margin, top, width, textRect.bottom,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            top += textRect.bottom + margin;
        }
        contentHeight_ = top + scroll_;
        const int placedAt = scroll_;
        scroll_ = std::clamp(scroll_, 0, MaxScroll());
        SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, std::max(0, contentHeight_ - 1),
                        static_cast<UINT>(std::max(0L, panel.bottom)), scroll_, 0};
        SetScrollInfo(hwnd(), SB_VERT, &info, TRUE);
        RECT after;
        GetClientRect(hwnd(), &after);
        if (after.right == panel.right && scroll_ == placedAt) break;
    }
}

void AdvertisingPanel::DrawLink(const DRAWITEMSTRUCT& item)
{
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
    const std::wstring text = windowText(item.hwndItem);
    const SelectedObject font(item.hDC, linkFont_.get());
    SetTextColor(item.hDC, LinkColor);
    SetBkMode(item.hDC, TRANSPARENT);
    RECT r = item.rcItem;
    DrawTextW(item.hDC, text.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}
