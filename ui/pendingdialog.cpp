#include "ui/pendingdialog.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "ui/dialoghelpers.h"

namespace {

INT_PTR CALLBACK PendingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        const auto& rows = *reinterpret_cast<const std::vector<PendingChange>*>(lParam);
        const HWND list = GetDlgItem(dialog, IDC_PENDINGLIST);
        ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
        RECT client;
        GetClientRect(list, &client);
        const int width = client.right - GetSystemMetrics(SM_CXVSCROLL);
        const struct {
            const wchar_t* caption;
            int percent;
        } columns[] = {{L"Tweak", 24}, {L"Location", 34}, {L"Value", 14}, {L"Now", 14}, {L"After", 14}};
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
        ShowWindow(list, rows.empty() ? SW_HIDE : SW_SHOW);
        ShowWindow(GetDlgItem(dialog, IDC_PENDINGNONE), rows.empty() ? SW_SHOW : SW_HIDE);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void ShowPendingChanges(HMODULE resources, HWND owner, const std::vector<PendingChange>& rows)
{
    DialogBoxParamW(resources, MAKEINTRESOURCEW(IDD_PENDING), owner, PendingProc,
                    reinterpret_cast<LPARAM>(&rows));
}
