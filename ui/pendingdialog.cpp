#include "ui/pendingdialog.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "ui/dialoghelpers.h"

namespace {

// The list fills the dialog above the Close button, which keeps its corner; the template's
// size is the smallest.
struct PendingLayout {
    SIZE minimum{};     // the dialog's window at its template size
    RECT margins{};     // of the list inside the client area
    POINT buttonGap{};  // from the Close button's top left to the client's bottom right
};

void placePendingControls(HWND dialog, const PendingLayout& layout)
{
    RECT client;
    GetClientRect(dialog, &client);
    const HWND button = GetDlgItem(dialog, IDCANCEL);
    SetWindowPos(button, nullptr, client.right - layout.buttonGap.x, client.bottom - layout.buttonGap.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    SetWindowPos(GetDlgItem(dialog, IDC_PENDINGLIST), nullptr, layout.margins.left, layout.margins.top,
                 client.right - layout.margins.left - layout.margins.right,
                 client.bottom - layout.margins.top - layout.margins.bottom, SWP_NOZORDER);
    InvalidateRect(dialog, nullptr, TRUE);
}

struct PendingDialogState {
    const std::vector<PendingChange>& rows;
    PendingLayout layout;
};

PendingLayout measurePendingLayout(HWND dialog)
{
    PendingLayout layout;
    RECT window, client, list, button;
    GetWindowRect(dialog, &window);
    layout.minimum = {window.right - window.left, window.bottom - window.top};
    GetClientRect(dialog, &client);
    GetWindowRect(GetDlgItem(dialog, IDC_PENDINGLIST), &list);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&list), 2);
    GetWindowRect(GetDlgItem(dialog, IDCANCEL), &button);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
    layout.margins = {list.left, list.top, client.right - list.right, client.bottom - list.bottom};
    layout.buttonGap = {client.right - button.left, client.bottom - button.top};
    return layout;
}

INT_PTR CALLBACK PendingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        auto& shown = *reinterpret_cast<PendingDialogState*>(lParam);
        shown.layout = measurePendingLayout(dialog);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const std::vector<PendingChange>& rows = shown.rows;
        const HWND list = GetDlgItem(dialog, IDC_PENDINGLIST);
        ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
        RECT client;
        GetClientRect(list, &client);
        const int width = client.right - GetSystemMetrics(SM_CXVSCROLL);
        const struct {
            const wchar_t* caption;
            int percent;
        } columns[] = {{L"Tweak", 24}, {L"Location", 34}, {L"Value name", 14}, {L"Now", 14}, {L"After", 14}};
        for (int i = 0; i < 5; ++i) addColumn(list, i, columns[i].caption, width * columns[i].percent / 100);
        for (size_t i = 0; i < rows.size(); ++i) {
            const PendingChange& row = rows[i];
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(i);
            item.pszText = const_cast<wchar_t*>(row.Caption.c_str());
            const int at = ListView_InsertItem(list, &item);
            setSubItem(list, at, 1, row.Location);
            setSubItem(list, at, 2, row.Value);
            setSubItem(list, at, 3, row.Now);
            setSubItem(list, at, 4, row.After);
        }
        // Each column as wide as its widest text or its title, whichever is wider.
        // The last column's header size fills what is left, which can be less than its text.
        if (!rows.empty())
            for (int i = 0; i < 5; ++i) {
                ListView_SetColumnWidth(list, i, LVSCW_AUTOSIZE);
                const int text = ListView_GetColumnWidth(list, i);
                ListView_SetColumnWidth(list, i, LVSCW_AUTOSIZE_USEHEADER);
                if (ListView_GetColumnWidth(list, i) < text) ListView_SetColumnWidth(list, i, text);
            }
        ShowWindow(list, rows.empty() ? SW_HIDE : SW_SHOW);
        ShowWindow(GetDlgItem(dialog, IDC_PENDINGNONE), rows.empty() ? SW_SHOW : SW_HIDE);
        return TRUE;
    }
    case WM_SIZE:
        if (const auto* shown = reinterpret_cast<const PendingDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER)))
            placePendingControls(dialog, shown->layout);
        return TRUE;
    case WM_GETMINMAXINFO:
        if (const auto* shown = reinterpret_cast<const PendingDialogState*>(GetWindowLongPtrW(dialog, DWLP_USER)))
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {shown->layout.minimum.cx, shown->layout.minimum.cy};
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ShowPendingChanges(HMODULE resources, HWND owner, const std::vector<PendingChange>& rows)
{
    PendingDialogState shown{rows, {}};
    DialogBoxParamW(resources, MAKEINTRESOURCEW(IDD_PENDING), owner, PendingProc, reinterpret_cast<LPARAM>(&shown));
}
