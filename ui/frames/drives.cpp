#include "ui/frames/drives.h"

#include <algorithm>

#include <commctrl.h>
#include <shellapi.h>

#include <array>

#include "base/scope.h"

namespace {

constexpr UINT_PTR ListSubclassId = 1;
int driveListBuilds = 0;

// BuildDriveList.
std::vector<DriveRow> BuildDriveList() {
    ++driveListBuilds;
    std::vector<DriveRow> rows = EmptyDriveRows();
    // Room for all 26 roots of four characters and the final null.
    std::array<wchar_t, 105> buffer{};
    const DWORD length = GetLogicalDriveStringsW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length == 0 || length > buffer.size()) return rows;
    for (const std::wstring& root : SplitDriveRoots(std::wstring(buffer.data(), length))) {
        SHFILEINFOW info{};
        // A drive the shell cannot name keeps an empty label; the others still get theirs.
        if (!SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME)) info.szDisplayName[0] = 0;
        DescribeDrive(rows, root, info.szDisplayName, GetDriveTypeW(root.c_str()));
    }
    return rows;
}

}  // namespace

const std::vector<DriveRow>& DriveRowCache() {
    static const std::vector<DriveRow> lstDrvCustomList = BuildDriveList();
    return lstDrvCustomList;
}

int DriveListBuildCount() { return driveListBuilds; }

TframeDrives::TframeDrives(HWND parent, OptionFrameHost& host) : TOptionFrame(host) {
    CreateFrame(parent);
    lstDrives_ = AddControl(WC_LISTVIEWW, L"",
                            WS_TABSTOP | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_SINGLESEL, IdDrives);
    ListView_SetExtendedListViewStyle(lstDrives_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const struct {
        const wchar_t* caption;
        int width;
    } columns[] = {{L"Drive", 70}, {L"Label", 300}, {L"Type", 100}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(columns[i].caption);
        column.cx = Scale(columns[i].width);
        column.iSubItem = i;
        ListView_InsertColumn(lstDrives_, i, &column);
    }
    SetWindowSubclass(lstDrives_, ListProc, ListSubclassId, reinterpret_cast<DWORD_PTR>(this));
    const ScopedValue loading(fLoading, true);
    FillDrives();
}

TframeDrives::~TframeDrives() {
    fLoading = true;
    RemoveWindowSubclass(lstDrives_, ListProc, ListSubclassId);
}

void TframeDrives::FillDrives() {
    ListView_DeleteAllItems(lstDrives_);
    int index = 0;
    for (const DriveRow& row : DriveRowCache()) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = index;
        item.pszText = const_cast<wchar_t*>(row.Caption.c_str());
        ListView_InsertItem(lstDrives_, &item);
        ListView_SetItemText(lstDrives_, index, 1, const_cast<wchar_t*>(row.Label.c_str()));
        ListView_SetItemText(lstDrives_, index, 2, const_cast<wchar_t*>(row.Type.c_str()));
        ++index;
    }
}

void TframeDrives::SetValue(int ObjectIndex) {
    const ScopedValue loading(fLoading, true);
    FObjectIndex = ObjectIndex;
    ShowMask(Entry().nValue);
    SetEnabled(Entry().SetValue);
}

void TframeDrives::SetEnabled(bool aEnabled) { EnableWindow(lstDrives_, aEnabled); }

// Rows stand A: to Z:, so a row's index is its letter's bit.
void TframeDrives::ShowMask(int Mask) {
    const DriveChecks checks = ChecksFromMask(Mask);
    for (int bit = 0; bit < DriveCount; ++bit) ListView_SetCheckState(lstDrives_, bit, checks[bit]);
}

int TframeDrives::GetMask() const {
    DriveChecks checks{};
    for (int bit = 0; bit < DriveCount; ++bit) checks[bit] = ListView_GetCheckState(lstDrives_, bit) != 0;
    return MaskFromChecks(checks, FObjectIndex >= 0 ? host_.Entry(FObjectIndex).nValue : 0);
}

void TframeDrives::lstDrivesChange() {
    if (fLoading || FObjectIndex < 0) return;
    const int mask = GetMask();
    if (mask == Entry().nValue) return;
    Entry().nValue = mask;
    host_.OnSettingsChanged(-1);
}

void TframeDrives::Layout(int width, int height) {
    if (!lstDrives_) return;
    MoveWindow(lstDrives_, 0, 0, width, height, TRUE);
    // The label takes what the letter and the type leave, so no column runs past the list's
    // right edge; the 26 rows scroll up and down within the list.
    RECT client;
    GetClientRect(lstDrives_, &client);
    const int scrollBar = GetSystemMetricsForDpi(SM_CXVSCROLL, static_cast<UINT>(Scale(96)));
    const int rest = client.right - (GetWindowLongPtrW(lstDrives_, GWL_STYLE) & WS_VSCROLL ? 0 : scrollBar);
    ListView_SetColumnWidth(lstDrives_, 1, std::max(Scale(80), rest - Scale(70) - Scale(100)));
}

LRESULT TframeDrives::OnNotify(const NMHDR& header) {
    if (header.hwndFrom == lstDrives_ && header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK))
            lstDrivesChange();
    }
    return 0;
}

// lstDrivesMouseDown: a click on a row's check box also selects the row and focuses the list,
// so that Space then acts on the drive and not on the focused tweak of the main list.
LRESULT CALLBACK TframeDrives::ListProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR) {
    if (message == WM_LBUTTONDOWN) {
        if (GetFocus() != hwnd) SetFocus(hwnd);
        LVHITTESTINFO hit{};
        hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const int item = ListView_HitTest(hwnd, &hit);
        if (item >= 0 && !(ListView_GetItemState(hwnd, item, LVIS_SELECTED) & LVIS_SELECTED))
            ListView_SetItemState(hwnd, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}
