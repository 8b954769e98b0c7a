#include "ui/filechoosers.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "app/pathrules.h"
#include "base/error.h"
#include "base/win/handles.h"

namespace {

constexpr DWORD LongPathBuffer = 32768;  // the longest path Windows has, with its terminator

}  // namespace

std::wstring documentsFolder()
{
    wchar_t* path = nullptr;
    std::wstring folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Documents, 0, nullptr, &path))) folder = path;
    CoTaskMemFree(path);
    return folder;
}

std::optional<std::wstring> chooseFolder(HWND owner, const std::wstring& startFolder)
{
    IFileOpenDialog* raw = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&raw))))
        throw WideError(L"The folder dialog cannot be opened.");
    const ComPtr<IFileOpenDialog> dialog(raw);
    FILEOPENDIALOGOPTIONS flags = 0;
    dialog->GetOptions(&flags);
    dialog->SetOptions(flags | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    dialog->SetTitle(L"Folder for Machine\\Registry.pol and User\\Registry.pol");
    IShellItem* start = nullptr;
    const std::wstring startAt = ShortDialogFolder(startFolder);
    if (!startAt.empty() && SUCCEEDED(SHCreateItemFromParsingName(startAt.c_str(), nullptr, IID_PPV_ARGS(&start)))) {
        const ComPtr<IShellItem> owned(start);
        dialog->SetFolder(start);
    }
    if (FAILED(dialog->Show(owner))) return std::nullopt;  // also when cancelled
    IShellItem* item = nullptr;
    if (FAILED(dialog->GetResult(&item))) return std::nullopt;
    const ComPtr<IShellItem> result(item);
    wchar_t* path = nullptr;
    if (FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::nullopt;
    std::wstring folder = path;
    CoTaskMemFree(path);
    return folder;
}

std::optional<std::wstring> chooseRegFile(HWND owner, const std::wstring& startFolder)
{
    // A full path opens the dialog in its folder, whatever the dialog remembers; the buffer
    // takes any path the dialog returns.
    const std::wstring folder = ShortDialogFolder(startFolder);
    std::wstring file = folder.empty() ? L"quillmark.reg" : folder + L"\\quillmark.reg";
    file.resize(LongPathBuffer, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"Registry files (*.reg)\0*.reg\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = LongPathBuffer;
    ofn.lpstrDefExt = L"reg";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&ofn)) return std::nullopt;
    return std::wstring(file.c_str());
}

std::optional<std::wstring> chooseProfileFile(HWND owner)
{
    std::wstring file(LongPathBuffer, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"Profiles (*.reg, *.pol)\0*.reg;*.pol\0Registry files (*.reg)\0*.reg\0"
                      L"Registry.pol files (*.pol)\0*.pol\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = LongPathBuffer;
    ofn.lpstrTitle = L"Open profile";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    return std::wstring(file.c_str());
}

std::optional<std::size_t> chooseProfileReading(HWND owner, const std::wstring& file,
                                                const std::vector<std::wstring>& ways)
{
    std::vector<TASKDIALOG_BUTTON> buttons;
    for (std::size_t i = 0; i < ways.size(); ++i)
        buttons.push_back({ProfileReadingButton + static_cast<int>(i), ways[i].c_str()});
    const std::wstring content = L"\"" + file + L"\" is a Registry.pol file: which part is it to be read as?";
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = TDF_USE_COMMAND_LINKS | TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
    config.pszWindowTitle = L"Open profile";
    config.pszMainInstruction = L"Which part of the Group Policy file?";
    config.pszContent = content.c_str();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.data();
    int pressed = IDCANCEL;
    if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) throw WideError(L"The choice cannot be shown.");
    const int index = pressed - ProfileReadingButton;
    if (index < 0 || index >= static_cast<int>(ways.size())) return std::nullopt;
    return static_cast<std::size_t>(index);
}
