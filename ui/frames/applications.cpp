#include "ui/frames/applications.h"

#include <commctrl.h>
#include <cderr.h>
#include <commdlg.h>
#include <shobjidl.h>

#include <algorithm>

#include "app/mainmodel.h"
#include "app/pathrules.h"
#include "app/runlists.h"
#include "base/scope.h"
#include "base/win/handles.h"
#include "base/win/win32_error.h"

namespace {

const wchar_t* const DialogTitle = L"Specify file(s)";
const wchar_t* const TooManyFilesText =
    L"The names typed are too long for one go: nothing was added. Select the files in the list instead, "
    L"or add them in several goes.";
std::optional<FileDialogStyle> forcedStyle;

std::vector<std::wstring> askNewStyle(HWND owner) {
    const ComApartment com;
    IFileOpenDialog* raw = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&raw))))
        throw Win32Error(L"CoCreateInstance(FileOpenDialog)", ERROR_NOT_SUPPORTED);
    ComPtr<IFileOpenDialog> dialog(raw);
    const COMDLG_FILTERSPEC types[] = {
        {L"Executable files (*.exe;*.com;*.bat)", L"*.exe;*.com;*.bat"},
        {L"Any files (*.*)", L"*.*"},
    };
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_ALLOWMULTISELECT | FOS_FORCEFILESYSTEM | FOS_FILEMUSTEXIST);
    dialog->SetFileTypes(2, types);
    dialog->SetTitle(DialogTitle);
    if (FAILED(dialog->Show(owner))) return {};  // cancelled

    IShellItemArray* rawItems = nullptr;
    if (FAILED(dialog->GetResults(&rawItems))) return {};
    ComPtr<IShellItemArray> items(rawItems);
    DWORD count = 0;
    items->GetCount(&count);
    std::vector<std::wstring> paths;
    for (DWORD i = 0; i < count; ++i) {
        IShellItem* rawItem = nullptr;
        if (FAILED(items->GetItemAt(i, &rawItem))) continue;
        ComPtr<IShellItem> item(rawItem);
        PWSTR path = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
            paths.emplace_back(path);
            CoTaskMemFree(path);
        }
    }
    return paths;
}

// The classic dialog writes a selection into the caller's buffer and fails one that does not
// fit. Whenever the selection changes, the hook makes room for the folder and every name in
// it (the names are shorter than the quoted list the dialog shows).
UINT_PTR CALLBACK growSelectionBuffer(HWND child, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_NOTIFY) return 0;
    const auto* notify = reinterpret_cast<const OFNOTIFYW*>(lParam);
    if (notify->hdr.code != CDN_SELCHANGE) return 0;
    const HWND dialog = GetParent(child);
    const LRESULT folder = SendMessageW(dialog, CDM_GETFOLDERPATH, 0, 0);
    const LRESULT spec = SendMessageW(dialog, CDM_GETSPEC, 0, 0);
    if (folder < 0 || spec < 0) return 0;
    OPENFILENAMEW& ofn = *notify->lpOFN;
    auto& buffer = *reinterpret_cast<std::wstring*>(ofn.lCustData);
    const std::size_t needed = static_cast<std::size_t>(folder + spec) + 2;
    if (needed > buffer.size()) {
        buffer.resize(2 * needed, L'\0');
        ofn.lpstrFile = buffer.data();
        ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    }
    return 0;
}

std::vector<std::wstring> askClassic(HWND owner) {
    std::wstring buffer(4096, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = L"Executable files (*.exe;*.com;*.bat)\0*.exe;*.com;*.bat\0Any files (*.*)\0*.*\0";
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = DialogTitle;
    dialog.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                   OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_ENABLESIZING | OFN_ENABLEHOOK;
    dialog.lpfnHook = growSelectionBuffer;
    dialog.lCustData = reinterpret_cast<LPARAM>(&buffer);
    if (GetOpenFileNameW(&dialog)) return SplitOpenDialogSelection(buffer);
    // Typed names bypass the hook: a list longer than the buffer is said, not taken for Cancel.
    if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
        MessageBoxW(owner, TooManyFilesText, DialogTitle, MB_OK | MB_ICONWARNING);
    return {};
}

}  // namespace

FileDialogStyle ApplicationsDialogStyle() {
    if (forcedStyle) return *forcedStyle;
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const bool known = GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
#pragma GCC diagnostic pop
    const bool vista = known && version.dwMajorVersion == 6 && version.dwMinorVersion == 0 &&
                       version.wProductType == VER_NT_WORKSTATION;
    return vista ? FileDialogStyle::NewStyle : FileDialogStyle::Classic;
}

void ForceApplicationsDialogStyle(std::optional<FileDialogStyle> style) { forcedStyle = style; }

std::vector<std::wstring> AskForApplications(HWND owner, FileDialogStyle style) {
    return style == FileDialogStyle::NewStyle ? askNewStyle(owner) : askClassic(owner);
}

TframeApplications::TframeApplications(HWND parent, OptionFrameHost& host) : TOptionFrame(host) {
    CreateFrame(parent);
    btnBrowseApp_ = AddControl(WC_BUTTONW, L"&Add files", WS_TABSTOP | BS_PUSHBUTTON, IdBrowseApp);
    btnDeleteFile_ = AddControl(WC_BUTTONW, L"&Delete file", WS_TABSTOP | BS_PUSHBUTTON, IdDeleteFile);
    edtName_ = AddControl(WC_EDITW, L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, IdName);
    SendMessageW(edtName_, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Program name, e.g. tool.exe"));
    btnAddName_ = AddControl(WC_BUTTONW, L"Add &name", WS_TABSTOP | BS_PUSHBUTTON, IdAddName);
    lstFiles_ = AddControl(WC_LISTVIEWW, L"", WS_TABSTOP | WS_BORDER | LVS_LIST | LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                           IdFiles);
}

void TframeApplications::SetValue(int ObjectIndex) {
    FObjectIndex = ObjectIndex;
    const ScopedValue loading(fLoading, true);
    LoadFiles();
}

void TframeApplications::SetEnabled(bool aEnabled) { EnableWindow(lstFiles_, aEnabled); }

void TframeApplications::Layout(int width, int height) {
    if (!lstFiles_) return;
    MoveWindow(btnBrowseApp_, Scale(3), Scale(3), Scale(98), Scale(25), TRUE);
    MoveWindow(btnDeleteFile_, Scale(107), Scale(3), Scale(98), Scale(25), TRUE);
    // The typed name takes what is left of the row, before its button at the right; where the
    // row leaves it too little, the box and its button move to a row of their own.
    const int buttonWidth = Scale(80), minNameWidth = Scale(100);
    const bool oneRow = width >= Scale(211) + minNameWidth + buttonWidth + Scale(9);
    const int rowTop = oneRow ? 0 : Scale(31), nameLeft = oneRow ? Scale(211) : Scale(3);
    const int nameWidth = std::max(Scale(60), width - nameLeft - buttonWidth - Scale(9));
    MoveWindow(edtName_, nameLeft, rowTop + Scale(4), nameWidth, Scale(23), TRUE);
    MoveWindow(btnAddName_, nameLeft + nameWidth + Scale(6), rowTop + Scale(3), buttonWidth, Scale(25), TRUE);
    const int listTop = rowTop + Scale(34);
    MoveWindow(lstFiles_, 0, listTop, width, std::max(0, height - listTop), TRUE);
}

void TframeApplications::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == IdBrowseApp) btnBrowseAppClick();
    else if (id == IdDeleteFile) btnDeleteFileClick();
    else if (id == IdAddName) btnAddNameClick();
}

std::wstring TframeApplications::Block() { return RunListBlock(CurrentUserName, Entry().AppName); }

void TframeApplications::btnBrowseAppClick() {
    if (FObjectIndex < 0 || !SettingsStore) return;
    const std::vector<std::wstring> paths = AskForApplications(GetAncestor(hwnd(), GA_ROOT), ApplicationsDialogStyle());
    if (paths.empty()) return;
    host_.OnSettingsChanged(FObjectIndex);
    AddRunListFiles(*SettingsStore, Block(), paths);
    LoadFiles();
}

void TframeApplications::btnAddNameClick() {
    if (FObjectIndex < 0 || !SettingsStore) return;
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edtName_)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(edtName_, text.data(), static_cast<int>(text.size()))));
    const TypedProgram typed = CheckTypedProgram(text);
    if (!typed.Error.empty()) {
        MessageBoxW(GetAncestor(hwnd(), GA_ROOT), typed.Error.c_str(), L"Add name", MB_OK | MB_ICONERROR);
        SetFocus(edtName_);
        return;
    }
    host_.OnSettingsChanged(FObjectIndex);
    AddRunListFiles(*SettingsStore, Block(), {typed.Name});
    SetWindowTextW(edtName_, L"");
    LoadFiles();
}

void TframeApplications::btnDeleteFileClick() {
    if (FObjectIndex < 0 || !SettingsStore) return;
    const int selected = ListView_GetNextItem(lstFiles_, -1, LVNI_SELECTED);
    if (selected < 0) return;
    std::wstring caption(32768, L'\0');
    ListView_GetItemText(lstFiles_, selected, 0, caption.data(), static_cast<int>(caption.size()));
    caption.resize(wcslen(caption.c_str()));
    DeleteRunListFile(*SettingsStore, Block(), caption);
    host_.OnSettingsChanged(FObjectIndex);
    LoadFiles();
}

void TframeApplications::LoadFiles() {
    std::vector<std::wstring> paths;
    if (SettingsStore && FObjectIndex >= 0) SettingsStore->getList(Block(), paths, false);
    ListView_DeleteAllItems(lstFiles_);
    int index = 0, widest = 0;
    for (const std::wstring& path : paths) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = index++;
        item.pszText = const_cast<wchar_t*>(path.c_str());
        ListView_InsertItem(lstFiles_, &item);
        widest = std::max(widest, ListView_GetStringWidth(lstFiles_, path.c_str()));
    }
    // Whole paths: the list's columns are as wide as the longest one.
    ListView_SetColumnWidth(lstFiles_, 0, widest + Scale(16));
}
