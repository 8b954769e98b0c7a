#include "platform/controlpanel.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <optional>
#include <utility>

#include "base/win/win32_error.h"

namespace {

// The shell's item ids are allocated with the task allocator.
void freePidl(ITEMIDLIST* pidl) { CoTaskMemFree(pidl); }
using UniquePidl = Unique<ITEMIDLIST*, &freePidl>;

std::optional<std::wstring> displayName(IShellFolder* folder, PCUITEMID_CHILD child, SHGDNF flags)
{
    STRRET name{};
    if (FAILED(folder->GetDisplayNameOf(child, flags, &name))) return std::nullopt;
    wchar_t* text = nullptr;
    if (FAILED(StrRetToStrW(&name, child, &text))) return std::nullopt;
    std::wstring result = text;
    CoTaskMemFree(text);
    return result;
}

std::wstring classIdText(const CLSID& id) { return ClassIdText(id.Data1, id.Data2, id.Data3, id.Data4); }

// The class identifier of the folder at `pidl`, when it is a folder that reports one.
std::optional<std::wstring> folderClassId(IShellFolder* desktop, PCIDLIST_ABSOLUTE pidl)
{
    ComPtr<IPersistFolder> persist;
    if (FAILED(desktop->BindToObject(pidl, nullptr, IID_IPersistFolder, persist.putVoid())) || !persist)
        return std::nullopt;
    CLSID id{};
    if (FAILED(persist->GetClassID(&id))) return std::nullopt;
    return classIdText(id);
}

std::size_t levelCount(PCIDLIST_ABSOLUTE pidl)
{
    std::size_t count = 0;
    for (PCUIDLIST_RELATIVE p = pidl; p && p->mkid.cb; p = ILNext(p)) ++count;
    return count;
}

// The first `levels` ids of `pidl`, as a list of its own.
UniquePidl leadingLevels(PCIDLIST_ABSOLUTE pidl, std::size_t levels)
{
    UniquePidl copy(ILCloneFull(pidl));
    if (!copy) throw std::bad_alloc();
    PUIDLIST_RELATIVE p = copy.get();
    for (std::size_t i = 0; i < levels && p->mkid.cb; ++i) p = ILNext(p);
    p->mkid.cb = 0;
    return copy;
}

// The file-system path when there is one; otherwise the levels from the top, the upper
// folders by class identifier where they report one, every other level by its parent's
// parsing name for it.
std::wstring itemPath(IShellFolder* desktop, PCIDLIST_ABSOLUTE item)
{
    wchar_t fileSystemPath[MAX_PATH] = {};
    if (SHGetPathFromIDListW(item, fileSystemPath) && fileSystemPath[0]) return fileSystemPath;

    std::vector<ShellLevel> levels;
    const std::size_t count = levelCount(item);
    for (std::size_t depth = 1; depth <= count; ++depth) {
        UniquePidl upToHere = leadingLevels(item, depth);
        ShellLevel level;
        if (depth < count) level.ClassId = folderClassId(desktop, upToHere.get());
        if (!level.ClassId) {
            ComPtr<IShellFolder> parent;
            PCUITEMID_CHILD last = nullptr;
            if (SUCCEEDED(SHBindToParent(upToHere.get(), IID_IShellFolder, parent.putVoid(), &last)))
                level.ParsingName = displayName(parent.get(), last, SHGDN_FORPARSING).value_or(std::wstring());
        }
        levels.push_back(std::move(level));
    }
    return JoinAppletPath(levels);
}

UniqueIcon smallIcon(IShellFolder* folder, PCUITEMID_CHILD child, PCIDLIST_ABSOLUTE item)
{
    SHFILEINFOW info{};
    if (SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item), 0, &info, sizeof info,
                       SHGFI_PIDL | SHGFI_ICON | SHGFI_SMALLICON) &&
        info.hIcon)
        return UniqueIcon(info.hIcon);

    // Some folders give their icons only through IExtractIcon.
    ComPtr<IExtractIconW> extract;
    if (FAILED(folder->GetUIObjectOf(nullptr, 1, &child, IID_IExtractIconW, nullptr, extract.putVoid())) || !extract)
        return {};
    wchar_t location[MAX_PATH] = {};
    int index = 0;
    UINT flags = 0;
    if (extract->GetIconLocation(GIL_FORSHELL, location, MAX_PATH, &index, &flags) != S_OK) return {};
    HICON large = nullptr, small = nullptr;
    if (extract->Extract(location, static_cast<UINT>(index), &large, &small, MAKELONG(32, 16)) != S_OK) {
        if (ExtractIconExW(location, index, nullptr, &small, 1) == 0) small = nullptr;
    }
    if (large) DestroyIcon(large);
    return UniqueIcon(small);
}

void appendImageCopy(HIMAGELIST target, HIMAGELIST source, int index)
{
    UniqueIcon icon(ImageList_GetIcon(source, index, ILD_TRANSPARENT));
    if (!icon) throwLastError("ImageList_GetIcon");
    if (ImageList_AddIcon(target, icon.get()) < 0) throwLastError("ImageList_AddIcon");
}

}  // namespace

std::vector<ControlPanelApplet> EnumerateControlPanel(bool withIcons)
{
    ComApartment com;
    std::vector<ControlPanelApplet> applets;
    ComPtr<IShellFolder> desktop;
    if (FAILED(SHGetDesktopFolder(desktop.put()))) return applets;
    ITEMIDLIST* controlsPidl = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_CONTROLS, &controlsPidl)) || !controlsPidl) return applets;
    UniquePidl controls(controlsPidl);
    ComPtr<IShellFolder> folder;
    if (FAILED(desktop->BindToObject(controls.get(), nullptr, IID_IShellFolder, folder.putVoid())) || !folder)
        return applets;
    ComPtr<IEnumIDList> items;
    if (folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items.put()) != S_OK || !items)
        return applets;

    ITEMIDLIST* childPidl = nullptr;
    while (items->Next(1, &childPidl, nullptr) == S_OK) {
        UniquePidl child(childPidl);
        UniquePidl item(ILCombine(controls.get(), child.get()));
        if (!item) throw std::bad_alloc();
        ControlPanelApplet applet;
        applet.Item.InFolderName = displayName(folder.get(), child.get(), SHGDN_INFOLDER).value_or(std::wstring());
        applet.Item.NormalName = displayName(folder.get(), child.get(), SHGDN_NORMAL).value_or(std::wstring());
        applet.Item.Path = itemPath(desktop.get(), item.get());
        if (withIcons) applet.Icon = smallIcon(folder.get(), child.get(), item.get());
        applets.push_back(std::move(applet));
    }
    return applets;
}

std::vector<ControlPanelItem> LoadCPApplets(HIMAGELIST AppImageList, HIMAGELIST img16)
{
    std::vector<ControlPanelItem> items;
    if (ImageList_GetImageCount(AppImageList) > 0) return items;
    appendImageCopy(AppImageList, img16, 2);
    appendImageCopy(AppImageList, img16, 21);
    for (ControlPanelApplet& applet : EnumerateControlPanel()) {
        applet.Item.ImageIndex = 0;
        // An icon that cannot be added leaves the applet with image 0.
        if (applet.Icon && ImageList_AddIcon(AppImageList, applet.Icon.get()) >= 0)
            applet.Item.ImageIndex = ImageList_GetImageCount(AppImageList) - 1;
        items.push_back(std::move(applet.Item));
    }
    return items;
}
