#include "ui/frames/textedit.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "app/pathrules.h"
#include "base/scope.h"

namespace {

constexpr UINT_PTR EditSubclassId = 1;

bool folderExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "\" as the browser sees it: the root of the current drive.
std::wstring fullPath(const std::wstring& path) {
    std::wstring buffer(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0 || length >= buffer.size()) return path;
    buffer.resize(length);
    return buffer;
}

int CALLBACK browseCallback(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

TframeTextEdit::TframeTextEdit(HWND parent, OptionFrameHost& host, const wchar_t* title, Browse browse)
    : TOptionFrame(host), browse_(browse) {
    CreateFrame(parent);
    lblTitle_ = AddControl(WC_STATICW, title, SS_LEFT | SS_NOPREFIX, IdTitle);
    edit_ = AddControl(WC_EDITW, L"", WS_TABSTOP | ES_AUTOHSCROLL, IdEdit, WS_EX_CLIENTEDGE);
    if (browse_ != Browse::None) {
        btnBrowse_ = AddControl(WC_BUTTONW, L"...", WS_TABSTOP | BS_PUSHBUTTON, IdBrowse);
        DragAcceptFiles(edit_, TRUE);
        SetWindowSubclass(edit_, EditProc, EditSubclassId, reinterpret_cast<DWORD_PTR>(this));
    }
    btnClear_ = AddControl(WC_BUTTONW, L"&Clear", WS_TABSTOP | BS_PUSHBUTTON, IdClear);
    // The icon only decorates the button: without one the caption says it all.
    SHSTOCKICONINFO icon{};
    icon.cbSize = sizeof icon;
    if (SUCCEEDED(SHGetStockIconInfo(SIID_DELETE, SHGSI_ICON | SHGSI_SMALLICON, &icon))) {
        clearIcon_.reset(icon.hIcon);
        SendMessageW(btnClear_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon.hIcon));
    }
}

TframeTextEdit::~TframeTextEdit() {
    if (btnBrowse_) RemoveWindowSubclass(edit_, EditProc, EditSubclassId);
}

TframeStringEdit::TframeStringEdit(HWND parent, OptionFrameHost& host)
    : TframeTextEdit(parent, host, L"Enter text:", Browse::None) {}
TframeDirEdit::TframeDirEdit(HWND parent, OptionFrameHost& host)
    : TframeTextEdit(parent, host, L"Specify the folder path:", Browse::Folder) {}
TframeFileEdit::TframeFileEdit(HWND parent, OptionFrameHost& host)
    : TframeTextEdit(parent, host, L"Specify the file location:", Browse::File) {}

void TframeTextEdit::SetValue(int ObjectIndex) {
    const ScopedValue loading(fLoading, true);
    FObjectIndex = ObjectIndex;
    SetWindowTextW(edit_, Entry().cValue.c_str());
    SetEnabled(Entry().SetValue);
}

void TframeTextEdit::SetEnabled(bool aEnabled) {
    for (HWND control : {lblTitle_, edit_, btnBrowse_, btnClear_})
        if (control) EnableWindow(control, aEnabled);
}

void TframeTextEdit::Layout(int width, int) {
    if (!btnClear_) return;  // still being built
    const int left = Scale(9), right = width - Scale(8);
    const int browseWidth = btnBrowse_ ? Scale(23) : 0;
    MoveWindow(lblTitle_, left, Scale(3), right - left, Scale(16), TRUE);
    MoveWindow(edit_, left, Scale(22), right - left - browseWidth, Scale(21), TRUE);
    if (btnBrowse_) MoveWindow(btnBrowse_, right - browseWidth, Scale(22), browseWidth, Scale(21), TRUE);
    MoveWindow(btnClear_, right - Scale(73), Scale(49), Scale(73), Scale(35), TRUE);
}

void TframeTextEdit::OnCommand(int id, int code) {
    if (id == IdEdit && code == EN_CHANGE) edtChange();
    else if (id == IdClear && code == BN_CLICKED) btnClearClick();
    else if (id == IdBrowse && code == BN_CLICKED) btnBrowseClick();
}

COLORREF TframeTextEdit::TextColor(HWND control) const {
    return control == lblTitle_ ? RGB(0, 81, 231) : CLR_INVALID;
}

std::wstring TframeTextEdit::EditText() const {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit_)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(edit_, text.data(), static_cast<int>(text.size()))));
    return text;
}

void TframeTextEdit::edtChange() {
    if (fLoading || FObjectIndex < 0) return;
    // Every change counts, also one back to the saved text: the host only learns "changed".
    Entry().cValue = EditText();
    host_.OnSettingsChanged(-1);
}

void TframeTextEdit::btnClearClick() {
    if (GetWindowTextLengthW(edit_) > 0) SetWindowTextW(edit_, L"");
}

void TframeTextEdit::btnBrowseClick() {
    if (browse_ == Browse::Folder) BrowseFolder();
    else if (browse_ == Browse::File) BrowseFile();
}

void TframeTextEdit::BrowseFolder() {
    const std::wstring start = ShortDialogFolder(fullPath(FolderBrowserStart(EditText(), folderExists)));
    BROWSEINFOW info{};
    info.hwndOwner = GetAncestor(hwnd(), GA_ROOT);
    info.lpszTitle = L"Specify the folder path:";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = browseCallback;
    info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
    const PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return;
    const ScopeExit freeChosen([chosen] { CoTaskMemFree(chosen); });
    PWSTR path = nullptr;  // of any length
    if (FAILED(SHGetNameFromIDList(chosen, SIGDN_FILESYSPATH, &path))) return;
    const ScopeExit freePath([path] { CoTaskMemFree(path); });
    SetWindowTextW(edit_, path);
}

void TframeTextEdit::BrowseFile() {
    const std::wstring start = ShortDialogFolder(FileDialogStartFolder(EditText()));
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetAncestor(hwnd(), GA_ROOT);
    dialog.lpstrFilter = L"All files (*.*)\0*.*\0";
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR |
                   OFN_ENABLESIZING;
    if (GetOpenFileNameW(&dialog)) SetWindowTextW(edit_, QuoteIfBlank(file.data()).c_str());
}

void TframeTextEdit::TakeDroppedFile(HDROP drop) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0) return;
    std::wstring path(length + 1, L'\0');
    path.resize(DragQueryFileW(drop, 0, path.data(), length + 1));
    const std::wstring text =
        browse_ == Browse::Folder ? DroppedOnFolderEdit(path, folderExists(path)) : QuoteIfBlank(path);
    SetWindowTextW(edit_, text.c_str());
}

LRESULT CALLBACK TframeTextEdit::EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                          DWORD_PTR data) {
    if (message == WM_DROPFILES) {
        const auto drop = reinterpret_cast<HDROP>(wParam);
        reinterpret_cast<TframeTextEdit*>(data)->TakeDroppedFile(drop);
        DragFinish(drop);
        return 0;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}
