// The floor of a window like Quillmark's under the same Wine: the same DLLs imported, the
// same manifest, COM initialised the same way and the same controls created and laid out,
// but empty. Quillmark's start is measured against it and against the trivial program.
#include "base/win/phasetimes.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <winver.h>

#include <initializer_list>

namespace {

// One address from each DLL the program imports, so that the loader maps them all at start.
[[gnu::used]] void* const importedDlls[] = {
    reinterpret_cast<void*>(&InitCommonControlsEx), reinterpret_cast<void*>(&SHGetDesktopFolder),
    reinterpret_cast<void*>(&CoInitializeEx),       reinterpret_cast<void*>(&RegOpenKeyExW),
    reinterpret_cast<void*>(&PathFileExistsW),      reinterpret_cast<void*>(&GetSaveFileNameW),
    reinterpret_cast<void*>(&CreateFontW),          reinterpret_cast<void*>(&GetFileVersionInfoSizeW),
};

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND child(DWORD exStyle, const wchar_t* className, DWORD style, HWND parent, HINSTANCE instance)
{
    return CreateWindowExW(exStyle, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent, nullptr,
                           instance, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    markPhase("wWinMain");
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) return 1;

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = L"QmBenchProbe";
    if (!RegisterClassW(&windowClass)) return 1;
    windowClass.lpszClassName = L"QmBenchProbePanel";
    if (!RegisterClassW(&windowClass)) return 1;

    HMENU menu = CreateMenu(), file = CreatePopupMenu();
    AppendMenuW(file, MF_STRING, 1, L"&Save");
    AppendMenuW(file, MF_STRING, 2, L"E&xit");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"&File");
    HWND window = CreateWindowExW(WS_EX_CONTROLPARENT, L"QmBenchProbe", L"Probe", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 800, 560, nullptr, menu, instance, nullptr);
    if (!window) return 1;

    // The main window's controls: the user bar, two panes, search box, tree, splitters, list,
    // description, supported-on line, location text and status bar.
    HWND userLabel = child(0, WC_STATICW, SS_LEFT, window, instance);
    HWND userList = child(0, WC_COMBOBOXW, WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS, window, instance);
    HWND elevation = child(0, WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, window, instance);
    HWND restart = child(0, WC_BUTTONW, WS_TABSTOP | BS_PUSHBUTTON, window, instance);
    for (HWND hidden : {elevation, restart}) ShowWindow(hidden, SW_HIDE);
    HWND left = child(WS_EX_CONTROLPARENT, L"QmBenchProbePanel", WS_CLIPCHILDREN, window, instance);
    HWND search = child(WS_EX_CLIENTEDGE, WC_EDITW, WS_TABSTOP | ES_AUTOHSCROLL, left, instance);
    SendMessageW(search, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Find"));
    HWND tree = child(WS_EX_CLIENTEDGE, WC_TREEVIEWW,
                      WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_NOHSCROLL, left,
                      instance);
    HWND splitter1 = child(0, L"QmBenchProbePanel", 0, window, instance);
    HWND right = child(WS_EX_CONTROLPARENT, L"QmBenchProbePanel", WS_CLIPCHILDREN, window, instance);
    HWND list = child(WS_EX_CLIENTEDGE, WC_LISTVIEWW,
                      WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SHOWSELALWAYS | LVS_SINGLESEL, right, instance);
    ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 100;
    ListView_InsertColumn(list, 0, &column);
    HWND advert = child(0, L"QmBenchProbePanel", 0, right, instance);
    ShowWindow(advert, SW_HIDE);
    HWND splitter2 = child(0, L"QmBenchProbePanel", 0, right, instance);
    HWND description = child(WS_EX_CONTROLPARENT, L"QmBenchProbePanel", WS_CLIPCHILDREN, right, instance);
    HWND supported = child(0, WC_STATICW, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, description, instance);
    HWND options = child(WS_EX_CONTROLPARENT, L"QmBenchProbePanel", WS_CLIPCHILDREN, description, instance);
    HWND info = child(0, WC_EDITW, WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY, description, instance);
    HWND location = child(WS_EX_CLIENTEDGE, WC_EDITW, WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                          description, instance);
    ShowWindow(location, SW_HIDE);  // shown once a tweak is selected
    HWND status = child(0, STATUSCLASSNAMEW, CCS_NORESIZE | CCS_NOPARENTALIGN, window, instance);
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma");
    for (HWND control : {userLabel, userList, search, tree, list, supported, info, location, status})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    markPhase("controls");

    const struct {
        HWND control;
        RECT r;
    } places[] = {{userLabel, {4, 4, 100, 24}},     {userList, {104, 2, 400, 200}},  {left, {0, 28, 250, 500}},
                  {search, {4, 4, 246, 24}},        {tree, {4, 28, 246, 468}},       {splitter1, {250, 28, 254, 500}},
                  {right, {254, 28, 784, 500}},     {list, {0, 0, 530, 300}},        {advert, {0, 0, 530, 300}},
                  {splitter2, {0, 300, 530, 304}},  {description, {0, 304, 530, 472}}, {supported, {4, 4, 526, 20}},
                  {options, {4, 24, 526, 90}},      {info, {4, 94, 526, 164}},       {status, {0, 500, 784, 522}}};
    for (const auto& p : places)
        SetWindowPos(p.control, nullptr, p.r.left, p.r.top, p.r.right - p.r.left, p.r.bottom - p.r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(window, show);
    markPhase("shown");

    MSG message;
    bool idleMarked = !phaseTimesEnabled();
    while (true) {
        if (!idleMarked && !PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            markPhase("idle");
            idleMarked = true;
        }
        if (GetMessageW(&message, nullptr, 0, 0) <= 0) break;
        if (IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DeleteObject(font);
    CoUninitialize();
    return 0;
}
