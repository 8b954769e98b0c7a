#include "ui/filechoosers.h"

#include <commdlg.h>
#include <shobjidl.h>

#include "base/error.h"
#include "base/win/handles.h"

std::optional<std::wstring> chooseFolder(HWND owner)
{
    IFileOpenDialog* raw = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&raw))))
        throw WideError(L"The folder dialog cannot be opened.");
    const ComPtr<IFileOpenDialog> dialog(raw);
    FILEOPENDIALOGOPTIONS flags = 0;
    dialog->GetOptions(&flags);
    dialog->SetOptions(flags | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
    dialog->SetTitle(L"Folder for Machine\\Registry.pol and User\\Registry.pol");
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

std::optional<std::wstring> chooseRegFile(HWND owner)
{
    wchar_t file[MAX_PATH] = L"quillmark.reg";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"Registry files (*.reg)\0*.reg\0All files (*.*)\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = L"reg";
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&ofn)) return std::nullopt;
    return std::wstring(file);
}
