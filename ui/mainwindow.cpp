#include "ui/mainwindow.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "app/placement.h"
#include "platform/paths.h"
#include "platform/placement_registry.h"
#include "platform/user.h"
#include "platform/win32_error.h"
#include "resources/resource.h"

TfrmQuillmark* frmQuillmark = nullptr;

static const wchar_t* const ProductPage = L"https://quillmark.example.com/";

TfrmQuillmark::TfrmQuillmark(MainWindowOptions options)
    : options_(std::move(options)), model_(std::make_unique<TMainModel>())
{
    model_->OnModifiedChanged = [this](bool modified) {
        EnableMenuItem(GetMenu(hwnd()), IDM_SAVE, MF_BYCOMMAND | (modified ? MF_ENABLED : MF_GRAYED));
    };
}

TfrmQuillmark::~TfrmQuillmark()
{
    if (frmQuillmark == this) frmQuillmark = nullptr;
}

void TfrmQuillmark::Create(HINSTANCE instance, int showCommand)
{
    instance_ = instance;
    const HMODULE resources = options_.resources ? options_.resources : instance;
    accelerators_.reset(LoadAcceleratorsW(resources, MAKEINTRESOURCEW(IDR_ACCELERATORS)));
    if (!accelerators_) throwLastError("LoadAcceleratorsW");
    Unique<HMENU, &DestroyMenu> menu(LoadMenuW(resources, MAKEINTRESOURCEW(IDR_MAINMENU)));
    if (!menu) throwLastError("LoadMenuW");
    registerClass(instance, MainWindowClass, LoadCursorW(nullptr, IDC_ARROW), GetSysColorBrush(COLOR_BTNFACE));
    createWindow(WS_EX_CONTROLPARENT, MainWindowClass, MainWindowTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                 nullptr, menu.get(), instance);
    (void)menu.release();  // destroyed with the window
    PlaceInitially(showCommand);
}

LRESULT TfrmQuillmark::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        Relayout();
        return 0;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(*reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        FormDestroy();
        if (options_.endsApplication) PostQuitMessage(0);
        return 0;
    }
    return defaultHandling(message, wParam, lParam);
}

void TfrmQuillmark::OnCreate()
{
    frmQuillmark = this;
    CreateControls();
    FormCreate();
}

void TfrmQuillmark::FormCreate()
{
    StartupSources sources;
    sources.dataFolder = options_.dataFolder.empty() ? executableFolder() : options_.dataFolder;
    sources.loadScheme = [this](XmlDocument& document) { document.loadFromResource(L"APPSCHEME", options_.resources); };
    sources.userName = currentUserName;
    try {
        model_->FormCreate(sources);
    } catch (const std::exception& error) {
        // Start-up stops at the failing step; the window stays usable with what was built.
        showErrorBox(hwnd(), errorMessage(error));
    }
}

void TfrmQuillmark::FormDestroy()
{
    model_.reset();  // frees the store without writing it
}

void TfrmQuillmark::SettingsChanged(int ObjectIndex)
{
    if (model_) model_->SettingsChanged(ObjectIndex);
}

bool TfrmQuillmark::FormCloseQuery()
{
    return model_->QuerySaveSettings([this](const std::wstring& text, const std::wstring& caption) {
        switch (MessageBoxW(hwnd(), text.c_str(), caption.c_str(), MB_YESNOCANCEL)) {
        case IDYES:
            return SaveAnswer::Yes;
        case IDNO:
            return SaveAnswer::No;
        default:
            return SaveAnswer::Cancel;
        }
    });
}

void TfrmQuillmark::SaveSettings()
{
    model_->SaveSettings();
}

void TfrmQuillmark::mnuSaveClick()
{
    // The accelerator reaches here even while File > Save is disabled.
    if (model_->SettingsModified()) SaveSettings();
}

void TfrmQuillmark::Website1Click()
{
    ShellExecuteW(nullptr, L"open", ProductPage, L"", nullptr, SW_SHOWNORMAL);
}

void TfrmQuillmark::OnClose()
{
    if (!FormCloseQuery()) return;
    try {
        SavePlacement();
    } catch (const std::exception& error) {
        // The placement is a convenience: failing to remember it must not keep the window open.
        showErrorBox(hwnd(), errorMessage(error));
    }
    DestroyWindow(hwnd());
}

void TfrmQuillmark::OnCommand(int id)
{
    switch (id) {
    case IDM_SAVE:
        mnuSaveClick();
        break;
    case IDM_EXIT:
        SendMessageW(hwnd(), WM_CLOSE, 0, 0);
        break;
    case IDM_WEBSITE:
        Website1Click();
        break;
    }
}

int TfrmQuillmark::Dpi() const
{
    const UINT dpi = GetDpiForWindow(hwnd());
    return dpi ? static_cast<int>(dpi) : 96;
}

void TfrmQuillmark::CreateControls()
{
    const HWND self = hwnd();
    const auto childId = [](int id) { return reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)); };

    pnlCategories_.create(self, IDC_PNLCATEGORIES, instance_);
    trvCategories_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                                         TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                                     0, 0, 0, 0, pnlCategories_.hwnd(), childId(IDC_CATEGORIES), instance_, nullptr);
    if (!trvCategories_) throwLastError("CreateWindowExW");

    categoriesSplitter_.create(self, IDC_CATEGORIESSPLITTER, instance_, Splitter::Axis::Vertical, [this](int edge) {
        RECT client;
        GetClientRect(hwnd(), &client);
        layout_.dragCategoriesSplitter(edge, client.right, Dpi());
        Relayout();
    });

    pnlRestrictions_.create(self, IDC_PNLRESTRICTIONS, instance_);
    const HWND right = pnlRestrictions_.hwnd();
    lstRestrList_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                    WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_NOCOLUMNHEADER |
                                        LVS_SHOWSELALWAYS | LVS_SINGLESEL,
                                    0, 0, 0, 0, right, childId(IDC_RESTRLIST), instance_, nullptr);
    if (!lstRestrList_) throwLastError("CreateWindowExW");
    ListView_SetExtendedListViewStyle(lstRestrList_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(L"Name");
    column.cx = 100;
    ListView_InsertColumn(lstRestrList_, 0, &column);

    pnlAdvanced_.create(right, IDC_PNLADVANCED, instance_, false);
    optSplitter_.create(right, IDC_OPTSPLITTER, instance_, Splitter::Axis::Horizontal, [this](int edge) {
        RECT panel;
        GetClientRect(pnlRestrictions_.hwnd(), &panel);
        layout_.dragDescriptionSplitter(edge, panel.bottom, Dpi());
        Relayout();
    });
    pnlDescription_.create(right, IDC_PNLDESCRIPTION, instance_);
    lblInfo_ = CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0, 0, 0,
                               pnlDescription_.hwnd(), childId(IDC_INFO), instance_, nullptr);
    if (!lblInfo_) throwLastError("CreateWindowExW");
    pnlAdditionalOpt_.create(pnlDescription_.hwnd(), IDC_PNLADDITIONALOPT, instance_);

    ApplyFont();
}

void TfrmQuillmark::ApplyFont()
{
    const int dpi = Dpi();
    Unique<HFONT, &DeleteObject> font(CreateFontW(-MulDiv(layout::FontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE,
                                                  FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Tahoma"));
    if (!font) throwLastError("CreateFontW");
    EnumChildWindows(
        hwnd(),
        [](HWND child, LPARAM newFont) {
            SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(newFont), TRUE);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(font.get()));
    font_ = std::move(font);  // the controls no longer use the old one
    TreeView_SetIndent(trvCategories_, scaleToDpi(19, dpi));
}

void TfrmQuillmark::Relayout()
{
    if (!trvCategories_) return;
    RECT client;
    GetClientRect(hwnd(), &client);
    const MainLayout l = layout_.compute(client.right, client.bottom, Dpi());
    const auto place = [](HWND control, const LayoutRect& r) {
        SetWindowPos(control, nullptr, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(pnlCategories_.hwnd(), l.pnlCategories);
    place(trvCategories_, {0, 0, l.pnlCategories.width(), l.pnlCategories.height()});
    place(categoriesSplitter_.hwnd(), l.categoriesSplitter);
    place(pnlRestrictions_.hwnd(), l.pnlRestrictions);
    place(lstRestrList_, l.lstRestrList);
    place(pnlAdvanced_.hwnd(), l.lstRestrList);
    place(optSplitter_.hwnd(), l.optSplitter);
    place(pnlDescription_.hwnd(), l.pnlDescription);
    place(lblInfo_, l.lblInfo);
    place(pnlAdditionalOpt_.hwnd(), l.pnlAdditionalOpt);

    RECT list;
    GetClientRect(lstRestrList_, &list);
    ListView_SetColumnWidth(lstRestrList_, 0, list.right);
}

void TfrmQuillmark::OnGetMinMaxInfo(MINMAXINFO& info)
{
    const int dpi = Dpi();
    info.ptMinTrackSize = {scaleToDpi(layout::MinWindowWidth, dpi), scaleToDpi(layout::MinWindowHeight, dpi)};
}

void TfrmQuillmark::OnDpiChanged(const RECT& suggested)
{
    ApplyFont();
    SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Relayout();
}

void TfrmQuillmark::PlaceInitially(int showCommand)
{
    const int dpi = Dpi();
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE));
    RECT frame{0, 0, scaleToDpi(layout::ClientWidth, dpi), scaleToDpi(layout::ClientHeight, dpi)};
    AdjustWindowRectExForDpi(&frame, style, TRUE, exStyle, static_cast<UINT>(dpi));
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;

    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    SetWindowPos(hwnd(), nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height, SWP_NOZORDER | SWP_NOACTIVATE);

    if (const auto saved = fromPlacementValues(readPlacementValues())) {
        const WindowPlacementData restore = placementToRestore(*saved, dpi);
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        wp.flags = static_cast<UINT>(restore.flags);
        wp.showCmd = static_cast<UINT>(restore.showCmd);
        wp.ptMinPosition = {restore.minPosition.x, restore.minPosition.y};
        wp.ptMaxPosition = {restore.maxPosition.x, restore.maxPosition.y};
        const LayoutRect& r = restore.normalPosition;
        wp.rcNormalPosition = {r.left, r.top, r.right, r.bottom};
        if (SetWindowPlacement(hwnd(), &wp)) return;
    }
    ShowWindow(hwnd(), showCommand);
}

void TfrmQuillmark::SavePlacement()
{
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    if (!GetWindowPlacement(hwnd(), &wp)) throwLastError("GetWindowPlacement");
    WindowPlacementData data;
    data.showCmd = static_cast<int>(wp.showCmd);
    data.flags = static_cast<int>(wp.flags);
    data.pixelsPerInch = Dpi();
    data.minPosition = {wp.ptMinPosition.x, wp.ptMinPosition.y};
    data.maxPosition = {wp.ptMaxPosition.x, wp.ptMaxPosition.y};
    const RECT& r = wp.rcNormalPosition;
    data.normalPosition = {r.left, r.top, r.right, r.bottom};
    writePlacementValues(toPlacementValues(data));
}

int RunQuillmark(HINSTANCE instance, int showCommand)
{
    // The shell's folders and links want a single-threaded apartment on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int exitCode = 0;
    {
        TfrmQuillmark window;
        window.Create(instance, showCommand);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (window.hwnd() && TranslateAcceleratorW(window.hwnd(), window.Accelerators(), &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        exitCode = static_cast<int>(msg.wParam);
    }
    if (SUCCEEDED(com)) CoUninitialize();
    return exitCode;
}
