#include "ui/dialoghelpers.h"

#include <commctrl.h>
#include <shellapi.h>

std::wstring windowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring dialogItemText(HWND dialog, int id) { return windowText(GetDlgItem(dialog, id)); }

void addColumn(HWND list, int index, const wchar_t* caption, int width)
{
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(caption);
    column.cx = width;
    ListView_InsertColumn(list, index, &column);
}

void setSubItem(HWND list, int item, int subItem, const std::wstring& text)
{
    ListView_SetItemText(list, item, subItem, const_cast<wchar_t*>(text.c_str()));
}

void openWebPage(const wchar_t* page)
{
    ShellExecuteW(nullptr, L"open", page, L"", nullptr, SW_SHOWNORMAL);
}

void centreOnOwner(HWND dialog)
{
    RECT box, area;
    GetWindowRect(dialog, &box);
    const HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
        area = monitor.rcWork;
    }
    const int width = box.right - box.left, height = box.bottom - box.top;
    SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void placeByDesign(HWND dialog, int clientWidth, int clientHeight, std::initializer_list<DesignPlace> places)
{
    const UINT dpi = GetDpiForWindow(dialog) ? GetDpiForWindow(dialog) : 96;
    const auto scale = [dpi](int pixels) { return MulDiv(pixels, static_cast<int>(dpi), 96); };
    for (const DesignPlace& p : places) {
        const HWND control = GetDlgItem(dialog, p.id);
        RECT current;
        GetWindowRect(control, &current);
        const int width = p.width ? scale(p.width) : current.right - current.left;
        const int height = p.height ? scale(p.height) : current.bottom - current.top;
        SetWindowPos(control, nullptr, scale(p.left), scale(p.top), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT frame{0, 0, scale(clientWidth), scale(clientHeight)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)), dpi);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

constexpr UINT_PTR TabLeavesSubclassId = 0x7AB;

LRESULT CALLBACK TabLeavesProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_GETDLGCODE) {
        const auto* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB)
            return DefSubclassProc(edit, message, wParam, lParam) & ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(edit, TabLeavesProc, TabLeavesSubclassId);
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

}  // namespace

void letTabLeave(HWND edit) { SetWindowSubclass(edit, TabLeavesProc, TabLeavesSubclassId, 0); }
