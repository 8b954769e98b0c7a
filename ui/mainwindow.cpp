#include "ui/mainwindow.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>

#include "app/export.h"
#include "app/locationtext.h"
#include "app/openprofile.h"
#include "app/pending.h"
#include "app/placement.h"
#include "base/scope.h"
#include "base/win/handles.h"
#include "base/win/module.h"
#include "base/win/phasetimes.h"
#include "base/win/win32_error.h"
#include "platform/broadcast.h"
#include "platform/controlpanel.h"
#include "platform/oneinstance.h"
#include "platform/user.h"
#include "platform/userhive.h"
#include "profile/regfile.h"
#include "registry/cpapplets.h"
#include "resources/icons.h"
#include "resources/resource.h"
#include "ui/about.h"
#include "ui/checkpassword.h"
#include "ui/dialoghelpers.h"
#include "ui/filechoosers.h"
#include "ui/passfrm.h"
#include "ui/pendingdialog.h"
#include "ui/placement_registry.h"
#include "ui/users.h"
#include "ui/windows_version.h"

TfrmQuillmark* frmQuillmark = nullptr;

namespace {

constexpr UINT_PTR ListSubclassId = 1, SearchSubclassId = 3;
const wchar_t* const SearchCue = L"Find a tweak (Ctrl+F)";

int compareCaptions(const std::wstring& a, const std::wstring& b)
{
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()), b.c_str(),
                          static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

}  // namespace

TfrmQuillmark::TfrmQuillmark(MainWindowOptions options)
    : options_(std::move(options)), model_(std::make_unique<TMainModel>())
{
    model_->OnModifiedChanged = [this](bool modified) {
        EnableMenuItem(GetMenu(hwnd()), IDM_SAVE, MF_BYCOMMAND | (modified ? MF_ENABLED : MF_GRAYED));
    };
    model_->OnSaveFailed = [this](const SaveResult& result) {
        MessageBoxW(hwnd(), SaveFailureMessage(result).c_str(), SaveFailureCaption, MB_OK | MB_ICONWARNING);
    };
    model_->LoadCPApplets = [this](TAppObjectsList& list) {
        for (const ControlPanelItem& item : ::LoadCPApplets(AppImageList_.get(), img16_.get()))
            list.Add(std::make_unique<TRestrListRec>(MakeAppletEntry<TRestrListRec>(item)));
    };
    model_->IsAdministrator = options_.isAdministrator ? options_.isAdministrator : isUserAdministrator;
    model_->IsElevated = options_.isElevated ? options_.isElevated : isProcessElevated;
    model_->CompareCaptions = compareCaptions;
    model_->RunningWindows = runningWindowsVersion();
    model_->SaveSteps = DefaultSaveHooks(executableName());
    model_->RunningUser = RunningUserProfile();
    model_->OpenUserHive = OpenProfileHive;
}

TfrmQuillmark::~TfrmQuillmark()
{
    if (frmQuillmark == this) frmQuillmark = nullptr;
}

void TfrmQuillmark::Create(HINSTANCE instance, int showCommand)
{
    instance_ = instance;
    // Before anything of the window exists: while the prompt waits there is nothing another
    // program could show, command or close.
    if (!PassGate()) {
        passwordRefused_ = true;
        return;
    }
    instanceMessage_ = InstanceMessage(dataFolder());
    const HMODULE resources = options_.resources ? options_.resources : instance;
    accelerators_.reset(LoadAcceleratorsW(resources, MAKEINTRESOURCEW(IDR_ACCELERATORS)));
    if (!accelerators_) throwLastError("LoadAcceleratorsW");
    UniqueMenu menu(LoadMenuW(resources, MAKEINTRESOURCEW(IDR_MAINMENU)));
    if (!menu) throwLastError("LoadMenuW");
    registerClass(instance, MainWindowClass, LoadCursorW(nullptr, IDC_ARROW), GetSysColorBrush(COLOR_BTNFACE));
    createWindow(WS_EX_CONTROLPARENT, MainWindowClass, MainWindowTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                 nullptr, menu.get(), instance);
    (void)menu.release();  // destroyed with the window
    if (!Started()) {
        // The window went for an elevated copy: it ends before it is ever shown.
        DestroyWindow(hwnd());
        return;
    }
    PlaceInitially(showCommand);
    markPhase("shown");
}

std::wstring TfrmQuillmark::dataFolder() const
{
    return options_.dataFolder.empty() ? executableFolder() : options_.dataFolder;
}

bool TfrmQuillmark::PassGate()
{
    try {
        model_->OpenStore(dataFolder());
    } catch (const std::exception& error) {
        // The password in the file cannot be checked: nothing may open.
        showErrorBox(nullptr, UnreadableStoreMessage(error));
        return false;
    }
    return RunPasswordGate(resources(), *model_->Store());
}

bool TfrmQuillmark::TranslateKeyboard(MSG& msg)
{
    if (!hwnd()) return false;
    if (TranslateAcceleratorW(hwnd(), accelerators_.get(), &msg)) return true;
    // Only this window's own controls: a modal dialog runs a loop of its own.
    if (msg.hwnd != hwnd() && !IsChild(hwnd(), msg.hwnd)) return false;
    return IsDialogMessageW(hwnd(), &msg) != FALSE;
}

LRESULT TfrmQuillmark::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (instanceMessage_ && message == instanceMessage_) {
        // Another start on the same settings folder: this copy comes to the front instead.
        if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_RESTORE);
        SetForegroundWindow(hwnd());
        return InstanceAnswer;
    }
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        // Showing the window reports the size it was laid out at already.
        if (LOWORD(lParam) != laidOutSize_.cx || HIWORD(lParam) != laidOutSize_.cy) Relayout();
        return 0;
    case WM_GETMINMAXINFO:
        OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_DPICHANGED:
        OnDpiChanged(*reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_INITMENUPOPUP:
        UpdateRemoveItem(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_CONTEXTMENU:
        // From the list (the panels pass it up); Shift+F10 and the menu key give -1, -1.
        if (reinterpret_cast<HWND>(wParam) == lstRestrList_) {
            OnListContextMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        }
        break;
    case WM_NOTIFY:
        return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_ENDSESSION:
        // The session ends without WM_DESTROY: a loaded profile must not outlive it.
        if (wParam && model_) model_->ReleaseUserHive();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        if (options_.endsApplication) PostQuitMessage(0);
        return 0;
    }
    return defaultHandling(message, wParam, lParam);
}

void TfrmQuillmark::OnCreate()
{
    frmQuillmark = this;
    try {
        CreateControls();
        markPhase("controls");
    } catch (const std::exception& error) {
        showErrorBox(hwnd(), errorText(error));
    }
    RunStartup();
}

void TfrmQuillmark::RunStartup()
{
    StartupSources sources;
    sources.dataFolder = dataFolder();
    sources.loadScheme = [this](XmlDocument& document) {
        document.loadFromResource(L"APPSCHEME", options_.resources);
        markPhase("scheme");
    };
    sources.userName = currentUserName;
    // Settings only in memory: an elevated copy may be able to create the file, so a copy
    // that is not elevated offers to restart as one once start-up has built the window.
    bool restartWanted = false;
    if (!model_->StoreNotice().empty()) {
        if (model_->IsElevated())
            MessageBoxW(nullptr, model_->StoreNotice().c_str(), MainWindowTitle, MB_OK | MB_ICONWARNING);
        else
            restartWanted = MessageBoxW(nullptr, (model_->StoreNotice() + L"\n\n" + RestartNowQuestion).c_str(),
                                        MainWindowTitle, MB_YESNO | MB_ICONWARNING) == IDYES;
    }
    std::optional<std::wstring> failure;
    try {
        model_->FormCreate(sources);
        markPhase("entries");
    } catch (const std::exception& error) {
        // Start-up stops at the failing step; the window stays usable with what was built.
        failure = errorText(error);
    }
    try {
        BuildCategoryTree();
        markPhase("tree");
    } catch (const std::exception& error) {
        if (!failure) failure = errorText(error);
    }
    if (failure) showErrorBox(hwnd(), *failure);
    CheckMenuItem(GetMenu(hwnd()), IDM_HIDENOEFFECT,
                  MF_BYCOMMAND | (model_->HideWithoutEffect() ? MF_CHECKED : MF_UNCHECKED));
    starting_ = true;
    const ScopeExit started([this] { starting_ = false; });
    ApplyMenuShield();
    ShowEditedUser();
    if (restartWanted && RestartAsAdministrator(model_->EditedUser())) return;
    if (options_.startUser) StartOnUser(*options_.startUser);
}

void TfrmQuillmark::OnDestroy()
{
    FLastFrame_.reset();  // a frame refers to its entry: it goes first
    model_.reset();       // frees the entries, then the store without writing it
}

HMODULE TfrmQuillmark::resources() const
{
    return options_.resources ? options_.resources : instance_;
}

void TfrmQuillmark::OnSettingsChanged(int ObjectIndex)
{
    if (!model_) return;
    ApplyFrameEnabling(model_->SettingsChanged(ObjectIndex));
    // An edit in the frame: the locations show what the save would write now.
    if (FLastFrame_)
        if (const std::optional<std::wstring> name = SelectedItemName()) ShowLocation(*name);
}

void TfrmQuillmark::BuildCategoryTree()
{
    {
        SendMessageW(trvCategories_, WM_SETREDRAW, FALSE, 0);
        const ScopeExit redrawOn([this] {
            SendMessageW(trvCategories_, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(trvCategories_, nullptr, TRUE);
        });
        TreeView_DeleteAllItems(trvCategories_);
        AddGroupNodes(model_->CategoryTree(), TVI_ROOT);
        // Selecting the first root shows its group; the tree paints once, with it selected.
        if (const HTREEITEM first = TreeView_GetRoot(trvCategories_)) {
            if (TreeView_GetSelection(trvCategories_) == first) TreeView_SelectItem(trvCategories_, nullptr);
            TreeView_SelectItem(trvCategories_, first);
        }
    }
}

void TfrmQuillmark::AddGroupNodes(const std::vector<CategoryNode>& nodes, HTREEITEM parent)
{
    for (const CategoryNode& node : nodes) {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = TVI_LAST;  // the model gives them sorted
        insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        insert.item.pszText = const_cast<wchar_t*>(node.Caption.c_str());
        insert.item.iImage = insert.item.iSelectedImage = node.Image;
        // The model's nodes live as long as the window's model.
        insert.item.lParam = reinterpret_cast<LPARAM>(&node);
        const HTREEITEM item = TreeView_InsertItem(trvCategories_, &insert);
        if (!item) throwLastError("TreeView_InsertItem");
        AddGroupNodes(node.Children, item);
        if (!node.Children.empty()) TreeView_Expand(trvCategories_, item, TVE_EXPAND);
    }
}

void TfrmQuillmark::OnTreeSelChanged(const NMTREEVIEWW& change)
{
    if (!change.itemNew.hItem || !change.itemNew.lParam) return;
    if (searching_) {
        // Choosing a group ends the search; emptying the box shows the new selection.
        SetWindowTextW(edtSearch_, L"");
        if (!searching_) return;
        searching_ = false;
    }
    ShowGroupView(model_->ShowGroup(reinterpret_cast<const CategoryNode*>(change.itemNew.lParam)->Name));
}

// Maps what the model shows for a group to the list, or to the advertising panel.
void TfrmQuillmark::ShowGroupView(GroupView view)
{
    if (view.Advertise) {
        ShowWindow(pnlAdvanced_.hwnd(), SW_SHOW);
        ShowWindow(lstRestrList_, SW_HIDE);  // its items stay as they were
        BuildOptionFrame(view.Frame);
        ShowDescription(view.Description, view.Supported);
        ShowLocation(L"");
        return;
    }
    listView_ = view.View;
    smallImages_ = view.SmallImages;
    FillList(std::move(view.Items), nullptr, view.CheckBoxes, view.Description, view.Supported, view.Frame);
}

void TfrmQuillmark::ShowDescription(const std::wstring& description, const std::wstring& supported)
{
    SetWindowTextW(lblInfo_, description.c_str());
    FitInfoScrollBar();
    SetWindowTextW(lblSupported_, supported.c_str());
}

// The description's scroll bar only while its text is longer than its space.
void TfrmQuillmark::FitInfoScrollBar()
{
    ShowScrollBar(lblInfo_, SB_VERT, FALSE);
    RECT box;
    GetClientRect(lblInfo_, &box);
    TEXTMETRICW metrics{};
    {
        const WindowDc dc(lblInfo_);
        const SelectedObject font(dc.get(), reinterpret_cast<HFONT>(SendMessageW(lblInfo_, WM_GETFONT, 0, 0)));
        GetTextMetricsW(dc.get(), &metrics);
    }
    const LRESULT lines = SendMessageW(lblInfo_, EM_GETLINECOUNT, 0, 0);
    const bool longer = metrics.tmHeight > 0 && lines * metrics.tmHeight > box.bottom;
    if (longer) ShowScrollBar(lblInfo_, SB_VERT, TRUE);
}

void TfrmQuillmark::FillList(std::vector<ListItemView> items, const std::vector<std::wstring>* groups,
                             bool checkBoxes, const std::wstring& description, const std::wstring& supported,
                             const FrameRequest& frame)
{
    ShowWindow(pnlAdvanced_.hwnd(), SW_HIDE);
    ShowWindow(lstRestrList_, SW_SHOW);
    // Both undone however the filling ends: a list left loading ignores every click, and one
    // left without redraw stays hidden.
    const ScopedValue loading(FListLoading, true);
    {
        SendMessageW(lstRestrList_, WM_SETREDRAW, FALSE, 0);
        const ScopeExit redrawOn([this] {
            SendMessageW(lstRestrList_, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(lstRestrList_, nullptr, TRUE);
        });
        ListView_DeleteAllItems(lstRestrList_);
        BuildOptionFrame(frame);

        // Search rows name their group in a second column, under a visible header. The last
        // column says which tweaks are not configured.
        LONG_PTR style = GetWindowLongPtrW(lstRestrList_, GWL_STYLE) & ~LONG_PTR{LVS_TYPEMASK | LVS_NOCOLUMNHEADER};
        style |= listView_ == ListViewStyle::LargeIcons ? LVS_ICON : LVS_REPORT;
        if (!groups) style |= LVS_NOCOLUMNHEADER;
        SetWindowLongPtrW(lstRestrList_, GWL_STYLE, style);
        while (Header_GetItemCount(ListView_GetHeader(lstRestrList_)) > 1) ListView_DeleteColumn(lstRestrList_, 1);
        if (groups) addColumn(lstRestrList_, 1, L"Group", 100);
        const int stateColumn = groups ? 2 : 1;
        addColumn(lstRestrList_, stateColumn, L"State", 100);

        ListView_SetExtendedListViewStyleEx(lstRestrList_, LVS_EX_CHECKBOXES, checkBoxes ? LVS_EX_CHECKBOXES : 0);
        ListView_SetImageList(lstRestrList_,
                              smallImages_ == ImageListKind::AppImageList ? AppImageList_.get() : img16_.get(),
                              LVSIL_SMALL);
        ListView_SetImageList(lstRestrList_, img32_.get(), LVSIL_NORMAL);
        ShowDescription(description, supported);
        ShowLocation(L"");

        listItems_ = std::move(items);
        for (size_t i = 0; i < listItems_.size(); ++i) {
            const ListItemView& shown = listItems_[i];
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
            item.iItem = static_cast<int>(i);
            item.pszText = const_cast<wchar_t*>(shown.Caption.c_str());
            item.iImage = shown.Image;
            item.lParam = static_cast<LPARAM>(i);
            const int index = ListView_InsertItem(lstRestrList_, &item);
            if (index < 0) throwLastError("ListView_InsertItem");
            if (groups) setSubItem(lstRestrList_, index, 1, (*groups)[i]);
            if (shown.NotConfigured) setSubItem(lstRestrList_, index, stateColumn, NotConfiguredText);
            if (checkBoxes) ListView_SetCheckState(lstRestrList_, index, shown.Checked);
        }
    }
    Relayout();  // the columns follow the view
}

void TfrmQuillmark::OnSearchChanged()
{
    // Blanks alone start no search: the tree's group stays.
    if (!model_ || (!searching_ && windowText(edtSearch_).find_first_not_of(L" \t") == std::wstring::npos))
        return;
    ShowCurrentList();
}

void TfrmQuillmark::ShowCurrentList()
{
    SearchView view = model_->Search(windowText(edtSearch_));
    if (!view.Active) {
        searching_ = false;
        ShowSelectedGroup();
        return;
    }
    searching_ = true;
    listView_ = ListViewStyle::Report;
    smallImages_ = view.SmallImages;
    std::vector<ListItemView> items;
    std::vector<std::wstring> groups;
    for (SearchRow& row : view.Rows) {
        items.push_back(std::move(row.Item));
        groups.push_back(std::move(row.GroupCaption));
    }
    FillList(std::move(items), &groups, true, L"", L"", FrameRequest{});
}

void TfrmQuillmark::ShowLocation(const std::wstring& itemName)
{
    std::wstring text;
    if (!itemName.empty() && model_) {
        try {
            const int index = model_->FAppObjectsList.IndexOf(itemName);
            const std::wstring otherUser = model_->EditsRunningUser() ? L"" : model_->EditedUser().Name;
            if (index >= 0) text = LocationText(model_->FAppObjectsList, index, otherUser);
        } catch (const std::exception& error) {
            text = errorText(error);
        }
    }
    SetWindowTextW(edtLocation_, text.c_str());
    ShowWindow(edtLocation_, text.empty() ? SW_HIDE : SW_SHOW);
}

void TfrmQuillmark::PlaceLocation()
{
    const MainLayout l = CurrentLayout();
    const LayoutRect& r = FLastFrame_ ? l.edtLocationAboveFrame : l.edtLocation;
    SetWindowPos(edtLocation_, nullptr, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    // The empty option panel would cover the text, which then reaches down to the bottom.
    ShowWindow(pnlAdditionalOpt_.hwnd(), FLastFrame_ ? SW_SHOW : SW_HIDE);
}

LRESULT CALLBACK TfrmQuillmark::SearchProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                           DWORD_PTR self)
{
    switch (message) {
    case WM_GETDLGCODE:
        // Esc belongs to the box, not to the dialog handling of the main window.
        if (const auto* msg = reinterpret_cast<const MSG*>(lParam);
            msg && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
            return DefSubclassProc(edit, message, wParam, lParam) | DLGC_WANTMESSAGE;
        break;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE) {
            SetWindowTextW(edit, L"");
            return 0;
        }
        // Down goes on to the results, as in a search box of the shell.
        if (wParam == VK_DOWN) {
            const HWND list = reinterpret_cast<TfrmQuillmark*>(self)->lstRestrList_;
            if (ListView_GetItemCount(list) > 0) {
                SetFocus(list);
                return 0;
            }
        }
        break;
    case WM_CHAR:
        if (wParam == VK_ESCAPE) return 0;  // no beep
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(edit, SearchProc, SearchSubclassId);
        break;
    }
    return DefSubclassProc(edit, message, wParam, lParam);
}

void TfrmQuillmark::OnListItemChanged(const NMLISTVIEW& change)
{
    // Check state, selection and focus arrive as state changes; the image set below does not.
    if (FListLoading || change.iItem < 0 || !(change.uChanged & LVIF_STATE)) return;
    ShowDescription(L"", L"");
    ShowLocation(L"");
    const size_t data = static_cast<size_t>(change.lParam);
    if (data >= listItems_.size()) return;
    const ListItemView& shown = listItems_[data];
    // Without check boxes an item keeps the state it was filled with: selecting it is no switch.
    const bool checked = listView_ == ListViewStyle::Report ? ListView_GetCheckState(lstRestrList_, change.iItem) != 0
                                                            : shown.Checked;
    const ListChange result = model_->lstRestrListChange(shown.Name, checked, smallImages_);
    ApplyFrameEnabling(result.EnableShownFrame);
    if (result.NewImage) {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = change.iItem;
        item.iImage = *result.NewImage;
        ListView_SetItem(lstRestrList_, &item);
    }
    // Switched, a tweak has something to write, or nothing any more.
    if (result.NewImage && listView_ == ListViewStyle::Report)
        setSubItem(lstRestrList_, change.iItem, searching_ ? 2 : 1,
                   model_->NotConfigured(shown.Name) ? NotConfiguredText : L"");
    ShowDescription(result.Description, result.Supported);
    ShowLocation(shown.Name);
    if (result.Frame) BuildOptionFrame(*result.Frame);
}

// Rows of tweaks without effect on this Windows are drawn in the grey of disabled text; they
// stay selectable and switchable like any other.
LRESULT TfrmQuillmark::OnListCustomDraw(NMLVCUSTOMDRAW& draw)
{
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        const size_t data = static_cast<size_t>(draw.nmcd.lItemlParam);
        if (data < listItems_.size() && listItems_[data].NoEffect) draw.clrText = GetSysColor(COLOR_GRAYTEXT);
    }
    return CDRF_DODEFAULT;
}

void TfrmQuillmark::OnListDblClick()
{
    const int selected = ListView_GetNextItem(lstRestrList_, -1, LVNI_SELECTED);
    std::optional<std::wstring> caption;
    if (selected >= 0) {
        wchar_t text[512] = {};
        ListView_GetItemText(lstRestrList_, selected, 0, text, 512);
        caption = text;
    }
    std::vector<HTREEITEM> children;
    std::vector<std::wstring> captions;
    const HTREEITEM node = TreeView_GetSelection(trvCategories_);
    for (HTREEITEM child = node ? TreeView_GetChild(trvCategories_, node) : nullptr; child;
         child = TreeView_GetNextSibling(trvCategories_, child)) {
        wchar_t text[512] = {};
        TVITEMW item{};
        item.mask = TVIF_TEXT;
        item.hItem = child;
        item.pszText = text;
        item.cchTextMax = 512;
        TreeView_GetItem(trvCategories_, &item);
        children.push_back(child);
        captions.push_back(text);
    }
    const int target = DblClickTarget(listView_, caption, captions);
    if (target >= 0) TreeView_SelectItem(trvCategories_, children[static_cast<size_t>(target)]);
}

void TfrmQuillmark::OnListMouseDown(POINT at)
{
    // Selected, and its frame built, before a click on its check box switches it.
    LVHITTESTINFO hit{};
    hit.pt = at;
    const int index = ListView_HitTest(lstRestrList_, &hit);
    if (index < 0 || (ListView_GetItemState(lstRestrList_, index, LVIS_SELECTED) & LVIS_SELECTED)) return;
    ListView_SetItemState(lstRestrList_, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

LRESULT CALLBACK TfrmQuillmark::ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        reinterpret_cast<TfrmQuillmark*>(self)->OnListMouseDown({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        break;
    case WM_SETFOCUS:
        // Reached by keyboard with no row focused, the list shows where the keys act: the first row.
        if (ListView_GetNextItem(list, -1, LVNI_FOCUSED) < 0 && ListView_GetItemCount(list) > 0 &&
            GetKeyState(VK_LBUTTON) >= 0)
            ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(list, ListProc, ListSubclassId);
        break;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

void TfrmQuillmark::BuildOptionFrame(const FrameRequest& request)
{
    // Never reused: the old frame goes before the new one exists.
    FLastFrame_.reset();
    FLastFrame_ = CreateOptionFrame(request.Kind, pnlAdditionalOpt_.hwnd(), *this, request.BindIndex);
    PlaceLocation();
}

void TfrmQuillmark::ApplyFrameEnabling(std::optional<bool> enabled)
{
    if (enabled && FLastFrame_) FLastFrame_->SetEnabled(*enabled);
}

LRESULT TfrmQuillmark::OnNotify(const NMHDR& header)
{
    if (!model_) return 0;  // shutting down
    switch (header.idFrom) {
    case IDC_CATEGORIES:
        if (header.code == TVN_SELCHANGEDW) OnTreeSelChanged(reinterpret_cast<const NMTREEVIEWW&>(header));
        break;
    case IDC_RESTRLIST:
        if (header.code == LVN_ITEMCHANGED)
            OnListItemChanged(reinterpret_cast<const NMLISTVIEW&>(header));
        else if (header.code == NM_DBLCLK)
            OnListDblClick();
        else if (header.code == NM_CUSTOMDRAW)
            return OnListCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header)));
        break;
    }
    return 0;
}

bool TfrmQuillmark::CanClose()
{
    return model_->QuerySaveSettings(AskSave());
}

// The save question of closing, also asked before switching users and restarting.
AskSaveHook TfrmQuillmark::AskSave()
{
    return [this](const std::wstring& text, const std::wstring& caption) {
        switch (MessageBoxW(hwnd(), text.c_str(), caption.c_str(), MB_YESNOCANCEL)) {
        case IDYES:
            // Saved here, so that a save on closing also tells the running programs; a
            // failed one has shown its message and keeps the window open.
            SaveAndBroadcast();
            return model_->SettingsModified() ? SaveAnswer::Cancel : SaveAnswer::No;
        case IDNO:
            return SaveAnswer::No;
        default:
            return SaveAnswer::Cancel;
        }
    };
}

void TfrmQuillmark::SaveAndBroadcast()
{
    const SaveResult result = model_->SaveSettings();
    RefreshRows();  // what the save removed is not configured now
    const std::wstring status = model_->SavedStatusText(result);
    SendMessageW(stbStatus_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(status.c_str()));
    // Another user's programs are not running on this desktop: they read the values when
    // that user signs in.
    if (result.Wrote && model_->EditsRunningUser()) BroadcastPolicyChange();
    if (!result.Succeeded()) model_->OnSaveFailed(result);
    if (const std::optional<std::wstring> message = model_->SavedMessage(result))
        MessageBoxW(hwnd(), message->c_str(), SaveFailureCaption, MB_OK | MB_ICONINFORMATION);
}

void TfrmQuillmark::LoadUserChoices()
{
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    const ScopeExit arrow([] { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); });
    userChoices_ = UserChoices(ComputerProfiles(), model_->RunningUser);
}

// The chooser, the title and the line without administrator rights for the user shown now.
void TfrmQuillmark::ShowEditedUser()
{
    const UserProfile& edited = model_->EditedUser();
    const auto shown = std::find_if(userChoices_.begin(), userChoices_.end(),
                                    [&](const UserChoice& c) { return SameUser(c.Profile, edited); });
    if (shown == userChoices_.end()) userChoices_ = {ChoiceFor(edited, model_->RunningUser)};
    const auto index = std::find_if(userChoices_.begin(), userChoices_.end(),
                                    [&](const UserChoice& c) { return SameUser(c.Profile, edited); }) -
                       userChoices_.begin();
    userBar_.ShowChoices(userChoices_, static_cast<int>(index));
    SetWindowTextW(hwnd(), MainWindowTitleFor(edited, model_->RunningUser).c_str());
    ShowElevationLine();
}

void TfrmQuillmark::ShowElevationLine()
{
    const int count = model_->TweaksNeedingElevation();
    const bool elevated = !model_->IsElevated || model_->IsElevated();
    userBar_.ShowElevationNote(elevated ? std::nullopt : std::optional<std::wstring>(NotElevatedText(count)));
    Relayout();
}

void TfrmQuillmark::OnUserChosen()
{
    const int index = userBar_.Selected();
    if (index < 0 || index >= static_cast<int>(userChoices_.size())) return;
    ChooseUser(userChoices_[static_cast<size_t>(index)].Profile);
}

void TfrmQuillmark::ChooseUser(const UserProfile& user)
{
    const auto showError = [this](const std::wstring& text) {
        MessageBoxW(hwnd(), text.c_str(), ChooseUserCaption, MB_OK | MB_ICONERROR);
    };
    TMainModel::UserSwitch result;
    {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        const ScopeExit arrow([] { SetCursor(LoadCursorW(nullptr, IDC_ARROW)); });
        result = model_->ChooseUser(user, AskSave(), showError);
    }
    if (result == TMainModel::UserSwitch::NeedsElevation &&
        MessageBoxW(hwnd(), NeedsElevationMessage(user).c_str(), ChooseUserCaption, MB_YESNO | MB_ICONINFORMATION) ==
            IDYES &&
        RestartAsAdministrator(user))
        return;
    // The entries are the chosen user's now: every list and frame is built anew from them.
    if (result == TMainModel::UserSwitch::Switched) ShowCurrentList();
    ShowEditedUser();
}

void TfrmQuillmark::StartOnUser(const std::wstring& argument)
{
    LoadUserChoices();
    if (const std::optional<UserProfile> user = FindUserChoice(userChoices_, argument))
        ChooseUser(*user);
    else
        MessageBoxW(hwnd(), (UnknownUserMessage(argument) + L"\n\nThe restrictions shown are your own.").c_str(),
                    ChooseUserCaption, MB_OK | MB_ICONWARNING);
}

void TfrmQuillmark::OnChooseUserMenu()
{
    SetFocus(userBar_.cmbUser());
    SendMessageW(userBar_.cmbUser(), CB_SHOWDROPDOWN, TRUE, 0);
}

void TfrmQuillmark::OnRestartAsAdministrator()
{
    RestartAsAdministrator(model_->EditedUser());
}

// Asks about unsaved changes as closing does, starts the elevated copy on the same user, and
// leaves it the field. False when this window stays: cancelled, declined or failed.
bool TfrmQuillmark::RestartAsAdministrator(const UserProfile& user)
{
    if (!CanClose()) return false;
    bool started = false;
    try {
        const std::wstring parameters = RestartParameters(user);
        started = options_.restartElevated ? options_.restartElevated(parameters) : restartElevated(parameters);
    } catch (const std::exception& error) {
        showErrorBox(hwnd(), errorText(error));
    }
    if (!started) return false;
    if (starting_) {
        restarting_ = true;  // Create ends the window once start-up returns
        return true;
    }
    try {
        SavePlacement();
    } catch (const std::exception&) {
        // The elevated copy opens centred instead.
    }
    DestroyWindow(hwnd());
    return true;
}

void TfrmQuillmark::ApplyMenuShield()
{
    const HMENU menu = GetMenu(hwnd());
    if (!model_->IsElevated || model_->IsElevated()) {
        DeleteMenu(menu, IDM_RESTARTADMIN, MF_BYCOMMAND);
        return;
    }
    UniqueGdi<HBITMAP> shield = createShieldMenuBitmap(static_cast<UINT>(Dpi()));
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_BITMAP;
    item.hbmpItem = shield.get();
    SetMenuItemInfoW(menu, IDM_RESTARTADMIN, FALSE, &item);
    shieldBitmap_ = std::move(shield);  // the menu no longer shows the old one
}

void TfrmQuillmark::OnSave()
{
    // The accelerator reaches here even while File > Save is disabled.
    if (model_->SettingsModified()) SaveAndBroadcast();
}

void TfrmQuillmark::OnWebsite()
{
    openWebPage(ProductWebPage);
}

void TfrmQuillmark::OnUndoAll()
{
    bool restored = false;
    UndoWindow window;
    window.showBusyCursor = [](bool busy) { SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW)); };
    window.settingsChanged = [this, &restored] {
        restored = true;
        OnSettingsChanged(-1);
    };
    window.askYesNo = [this](const std::wstring& text, const std::wstring& caption) {
        return MessageBoxW(hwnd(), text.c_str(), caption.c_str(), MB_YESNO) == IDYES;
    };
    window.showError = [this](const std::wstring& text, const std::wstring& caption) {
        MessageBoxW(hwnd(), text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
    };
    model_->UndoAllTweaks(window);
    // Left alone, the list and the frame would show the states of before, and selecting an
    // item would store its stale check mark back: show the group anew from the entries.
    if (restored) ShowCurrentList();
}

void TfrmQuillmark::OnFind()
{
    SetFocus(edtSearch_);
    SendMessageW(edtSearch_, EM_SETSEL, 0, -1);
}

void TfrmQuillmark::OnPendingChanges()
{
    std::vector<PendingChange> rows;
    try {
        rows = model_->PendingChanges(executableName());
    } catch (const std::exception& error) {
        showErrorBox(hwnd(), errorText(error));
        return;
    }
    ShowPendingChanges(resources(), hwnd(), rows);
}

std::optional<std::wstring> TfrmQuillmark::ChooseExportPath(bool folder)
{
    if (options_.chooseExportPath) return options_.chooseExportPath(folder);
    if (lastExportFolder_.empty()) lastExportFolder_ = documentsFolder();
    return folder ? chooseFolder(hwnd(), lastExportFolder_) : chooseRegFile(hwnd(), lastExportFolder_);
}

std::optional<ExportContent> TfrmQuillmark::ChooseExportContent()
{
    if (options_.chooseExportContent) return options_.chooseExportContent();
    enum { ChangedButton = 101, EverythingButton = 102 };
    const TASKDIALOG_BUTTON buttons[] = {{ChangedButton, ExportChangedChoice}, {EverythingButton, ExportEverythingChoice}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = hwnd();
    config.dwFlags = TDF_USE_COMMAND_LINKS | TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
    config.pszWindowTitle = ExportCaption;
    config.pszMainInstruction = L"What should the export include?";
    config.cButtons = static_cast<UINT>(std::size(buttons));
    config.pButtons = buttons;
    config.nDefaultButton = ChangedButton;
    int chosen = IDCANCEL;
    if (FAILED(TaskDialogIndirect(&config, &chosen, nullptr, nullptr))) throw WideError(L"The export question cannot be shown.");
    if (chosen == ChangedButton) return ExportContent::Changed;
    if (chosen == EverythingButton) return ExportContent::Everything;
    return std::nullopt;
}

void TfrmQuillmark::OnExport(bool policyFiles)
{
    try {
        const std::optional<ExportContent> content = ChooseExportContent();
        if (!content) return;
        const std::optional<std::wstring> path = ChooseExportPath(policyFiles);
        if (!path) return;
        if (policyFiles) {
            const std::vector<std::filesystem::path> existing = ExistingPolicyFiles(*path);
            if (!existing.empty() && MessageBoxW(hwnd(), ReplacePolicyFilesQuestion(existing).c_str(), ExportCaption,
                                                 MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES)
                return;
        }
        const ExportPlan plan = model_->PlanExport(executableName(), *content);
        if (policyFiles)
            WritePolicyFiles(*path, plan);
        else
            WriteRegFile(*path, plan);
        lastExportFolder_ = policyFiles ? *path : std::filesystem::path(*path).parent_path().wstring();
        const std::wstring message = ExportMessage(plan);
        if (!message.empty()) MessageBoxW(hwnd(), message.c_str(), ExportCaption, MB_OK | MB_ICONINFORMATION);
    } catch (const std::exception& error) {
        showErrorBox(hwnd(), errorText(error));
    }
}

void TfrmQuillmark::OnHideWithoutEffect()
{
    const bool hide = !model_->HideWithoutEffect();
    const std::wstring error = model_->SetHideWithoutEffect(hide);
    CheckMenuItem(GetMenu(hwnd()), IDM_HIDENOEFFECT, MF_BYCOMMAND | (hide ? MF_CHECKED : MF_UNCHECKED));
    ShowCurrentList();
    if (!error.empty())
        MessageBoxW(hwnd(), (L"The list follows the new choice, but it could not be remembered:\n\n" + error).c_str(),
                    L"Quillmark", MB_OK | MB_ICONWARNING);
}

void TfrmQuillmark::OnOpenProfile()
{
    try {
        const std::optional<std::wstring> file =
            options_.chooseProfilePath ? options_.chooseProfilePath() : chooseProfileFile(hwnd());
        if (!file) return;
        const std::vector<ProfileChoice> choices = ProfileChoices(*file);
        std::size_t chosen = 0;
        if (choices.size() > 1) {
            std::vector<std::wstring> ways;
            for (const ProfileChoice& choice : choices) ways.push_back(choice.Caption);
            const std::optional<std::size_t> answer = chooseProfileReading(hwnd(), *file, ways);
            if (!answer) return;
            chosen = *answer;
        }
        std::vector<ProfileKey> profile;
        try {
            profile = ReadProfile(choices[chosen].Sources);
        } catch (const ProfileError& error) {
            const std::wstring text = L"The profile cannot be read; nothing was changed.\n\n" + error.message();
            MessageBoxW(hwnd(), text.c_str(), OpenProfileCaption, MB_OK | MB_ICONERROR);
            return;
        }
        const OpenedProfile opened = model_->OpenProfile(profile, executableName());
        // The list and the frame show the entries as the profile left them.
        ShowCurrentList();
        std::wstring text = OpenProfileMessage(opened);
        if (opened.UnmatchedCount() == 0) {
            MessageBoxW(hwnd(), text.c_str(), OpenProfileCaption, MB_OK | MB_ICONINFORMATION);
            return;
        }
        text += L"\n\nSave them as a .reg file of their own?";
        if (MessageBoxW(hwnd(), text.c_str(), OpenProfileCaption, MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
        if (const std::optional<std::wstring> target = ChooseExportPath(false))
            WriteProfileFile(*target, RegFileBytes(RegFileText(opened.Unmatched)));
    } catch (const std::exception& error) {
        showErrorBox(hwnd(), errorText(error));
    }
}

std::optional<std::wstring> TfrmQuillmark::SelectedItemName() const
{
    if (!IsWindowVisible(lstRestrList_)) return std::nullopt;
    const int selected = ListView_GetNextItem(lstRestrList_, -1, LVNI_SELECTED);
    if (selected < 0) return std::nullopt;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = selected;
    if (!ListView_GetItem(lstRestrList_, &item) || static_cast<size_t>(item.lParam) >= listItems_.size())
        return std::nullopt;
    return listItems_[static_cast<size_t>(item.lParam)].Name;
}

void TfrmQuillmark::UpdateRemoveItem(HMENU menu)
{
    const std::optional<std::wstring> name = SelectedItemName();
    const bool offered = model_ && name && model_->CanRemoveFromRegistry(*name);
    EnableMenuItem(menu, IDM_REMOVEFROMREGISTRY, MF_BYCOMMAND | (offered ? MF_ENABLED : MF_GRAYED));
}

void TfrmQuillmark::OnListContextMenu(POINT at)
{
    if (at.x == -1 && at.y == -1) {
        // From the keyboard: below the focused row, else at the list's corner.
        RECT row{};
        const int focused = ListView_GetNextItem(lstRestrList_, -1, LVNI_FOCUSED);
        if (focused < 0 || !ListView_GetItemRect(lstRestrList_, focused, &row, LVIR_LABEL)) row = {};
        at = {row.left, row.bottom};
        ClientToScreen(lstRestrList_, &at);
    }
    UniqueMenu menu(CreatePopupMenu());
    if (!menu) return;
    AppendMenuW(menu.get(), MF_STRING, IDM_REMOVEFROMREGISTRY, L"&Remove from registry");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, IDM_PENDING, L"&Pending changes...");
    UpdateRemoveItem(menu.get());
    const int command =
        options_.trackContextMenu
            ? options_.trackContextMenu(menu.get())
            : static_cast<int>(TrackPopupMenu(menu.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd(), nullptr));
    if (command) OnCommand(command, 0);
}

void TfrmQuillmark::OnRemoveFromRegistry()
{
    const std::optional<std::wstring> name = SelectedItemName();
    if (!name || !model_->RemoveFromRegistry(*name)) return;
    RefreshRows();
    // The item shown anew, as after selecting it: its frame follows the switch that went off.
    const ListChange shown = model_->lstRestrListChange(*name, false, smallImages_);
    ShowDescription(shown.Description, shown.Supported);
    ShowLocation(*name);
    if (shown.Frame) BuildOptionFrame(*shown.Frame);
}

void TfrmQuillmark::RefreshRows()
{
    if (!model_ || listView_ != ListViewStyle::Report || !IsWindowVisible(lstRestrList_)) return;
    const ScopedValue loading(FListLoading, true);
    const int stateColumn = searching_ ? 2 : 1;
    const bool checkBoxes = (ListView_GetExtendedListViewStyle(lstRestrList_) & LVS_EX_CHECKBOXES) != 0;
    for (int row = 0; row < ListView_GetItemCount(lstRestrList_); ++row) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (!ListView_GetItem(lstRestrList_, &item) || static_cast<size_t>(item.lParam) >= listItems_.size()) continue;
        ListItemView& shown = listItems_[static_cast<size_t>(item.lParam)];
        const int index = model_->FAppObjectsList.IndexOf(shown.Name);
        if (index < 0) continue;
        const TRestrListRec& entry = model_->FAppObjectsList[index];
        shown.Checked = entry.SetValue;
        shown.NotConfigured = model_->NotConfigured(shown.Name);
        if (checkBoxes) ListView_SetCheckState(lstRestrList_, row, shown.Checked);
        if (const std::optional<int> image = CheckImage(entry, smallImages_, shown.Checked)) {
            item.mask = LVIF_IMAGE;
            item.iImage = *image;
            ListView_SetItem(lstRestrList_, &item);
        }
        setSubItem(lstRestrList_, row, stateColumn, shown.NotConfigured ? NotConfiguredText : L"");
    }
}

void TfrmQuillmark::ShowSelectedGroup()
{
    const HTREEITEM node = TreeView_GetSelection(trvCategories_);
    if (!node) return;
    TVITEMW item{};
    item.mask = TVIF_PARAM;
    item.hItem = node;
    if (TreeView_GetItem(trvCategories_, &item) && item.lParam)
        ShowGroupView(model_->ShowGroup(reinterpret_cast<const CategoryNode*>(item.lParam)->Name));
}

void TfrmQuillmark::OnAdminPassword()
{
    if (!model_->Store()) return;  // start-up failed before the store was opened
    if (::Administratorspassword1Click(resources(), hwnd(), *model_->Store())) OnSettingsChanged(-1);
}

void TfrmQuillmark::OnAbout()
{
    ::About1Click(resources(), hwnd());
}

void TfrmQuillmark::OnClose()
{
    if (!CanClose()) return;
    try {
        SavePlacement();
    } catch (const std::exception& error) {
        // The placement is a convenience: failing to remember it must not keep the window open.
        showErrorBox(hwnd(), errorText(error));
    }
    DestroyWindow(hwnd());
}

void TfrmQuillmark::OnCommand(int id, int code)
{
    switch (id) {
    case IDC_SEARCH:
        if (code == EN_CHANGE) OnSearchChanged();
        break;
    case IDC_USER:
        // A list that is open changes its selection as the pointer moves: the choice is made
        // when it closes.
        if (code == CBN_DROPDOWN) {
            LoadUserChoices();
            ShowEditedUser();
        } else if (code == CBN_CLOSEUP || (code == CBN_SELCHANGE && !userBar_.DroppedDown())) {
            OnUserChosen();
        }
        break;
    case IDM_CHOOSEUSER:
        OnChooseUserMenu();
        break;
    case IDC_RESTART:
    case IDM_RESTARTADMIN:
        OnRestartAsAdministrator();
        break;
    case IDM_FIND:
        OnFind();
        break;
    case IDM_PENDING:
        OnPendingChanges();
        break;
    case IDM_REMOVEFROMREGISTRY:
        OnRemoveFromRegistry();
        break;
    case IDM_OPENPROFILE:
        OnOpenProfile();
        break;
    case IDM_EXPORTREG:
        OnExport(false);
        break;
    case IDM_EXPORTPOL:
        OnExport(true);
        break;
    case IDM_HIDENOEFFECT:
        OnHideWithoutEffect();
        break;
    case IDM_MOVECATEGORIESBAR:
        categoriesSplitter_.MoveByKeyboard(scaleToDpi(layout::SplitterKeyStep, Dpi()));
        break;
    case IDM_MOVEDESCRIPTIONBAR:
        optSplitter_.MoveByKeyboard(scaleToDpi(layout::SplitterKeyStep, Dpi()));
        break;
    case IDM_SAVE:
        OnSave();
        break;
    case IDM_EXIT:
        SendMessageW(hwnd(), WM_CLOSE, 0, 0);
        break;
    case IDM_UNDOALL:
        OnUndoAll();
        break;
    case IDM_ADMINPASSWORD:
        OnAdminPassword();
        break;
    case IDM_WEBSITE:
        OnWebsite();
        break;
    case IDM_ABOUT:
        OnAbout();
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

    userBar_.create(self, instance_);  // first in the tab order, as it is first on screen

    pnlCategories_.create(self, IDC_PNLCATEGORIES, instance_);
    edtSearch_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                 0, 0, 0, 0, pnlCategories_.hwnd(), childId(IDC_SEARCH), instance_, nullptr);
    if (!edtSearch_) throwLastError("CreateWindowExW");
    if (!SetWindowSubclass(edtSearch_, SearchProc, SearchSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        throwLastError("SetWindowSubclass");
    SendMessageW(edtSearch_, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(SearchCue));
    // A navigation pane: it never scrolls sideways, which would hide the groups' nesting and
    // take a line; a caption wider than the pane shows whole in the tree's tooltip, and the
    // split bar widens the pane. (A sideways scroll bar also cost every start about 15 ms of
    // painting under Wine.)
    trvCategories_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                                         TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP | TVS_NOHSCROLL,
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
                                        LVS_SHOWSELALWAYS | LVS_SINGLESEL | LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE,
                                    0, 0, 0, 0, right, childId(IDC_RESTRLIST), instance_, nullptr);
    if (!lstRestrList_) throwLastError("CreateWindowExW");
    if (!SetWindowSubclass(lstRestrList_, ListProc, ListSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        throwLastError("SetWindowSubclass");
    ListView_SetExtendedListViewStyle(lstRestrList_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    addColumn(lstRestrList_, 0, L"Name", 100);

    pnlAdvanced_.create(right, IDC_PNLADVANCED, instance_);
    optSplitter_.create(right, IDC_OPTSPLITTER, instance_, Splitter::Axis::Horizontal, [this](int edge) {
        RECT panel;
        GetClientRect(pnlRestrictions_.hwnd(), &panel);
        layout_.dragDescriptionSplitter(edge, panel.bottom, Dpi());
        Relayout();
    });
    pnlDescription_.create(right, IDC_PNLDESCRIPTION, instance_);
    lblSupported_ = CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                                    0, 0, 0, 0, pnlDescription_.hwnd(), childId(IDC_SUPPORTED), instance_, nullptr);
    if (!lblSupported_) throwLastError("CreateWindowExW");
    pnlAdditionalOpt_.create(pnlDescription_.hwnd(), IDC_PNLADDITIONALOPT, instance_);
    // A long description in a small window scrolls within its space rather than hide its last
    // lines behind the Supported-on line; Tab reaches it after the frame, to scroll by keyboard.
    lblInfo_ = CreateWindowExW(0, WC_EDITW, L"",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY,
                               0, 0, 0, 0, pnlDescription_.hwnd(), childId(IDC_INFO), instance_, nullptr);
    if (!lblInfo_) throwLastError("CreateWindowExW");
    letTabLeave(lblInfo_);
    // After the option panel: Tab reaches a tweak's frame before its locations.
    // Text the user selects and copies: where the selected tweak writes. Long key paths wrap
    // rather than scroll sideways, so that two lines are two lines of text in a small window.
    edtLocation_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                                   WS_CHILD | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                                   0, 0, 0, 0, pnlDescription_.hwnd(), childId(IDC_LOCATION), instance_, nullptr);
    if (!edtLocation_) throwLastError("CreateWindowExW");
    letTabLeave(edtLocation_);

    stbStatus_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | CCS_NORESIZE | CCS_NOPARENTALIGN,
                                 0, 0, 0, 0, self, childId(IDC_STATUS), instance_, nullptr);
    if (!stbStatus_) throwLastError("CreateWindowExW");

    ApplyFont();
    ApplyImages();
}

void TfrmQuillmark::ApplyImages()
{
    const UINT dpi = static_cast<UINT>(Dpi());
    const HMODULE module = resources();
    UniqueImageList small = createImg16(module, dpi);
    UniqueImageList large = createImg32(module, dpi);
    UniqueImageList applets = createAppImageList(dpi);
    if (AppImageList_ && ImageList_GetImageCount(AppImageList_.get()) > 0) {
        // Same indexes at the new size: the off and on images anew, then the applets' icons.
        appendImageCopy(applets.get(), small.get(), kImageTweakOff);
        appendImageCopy(applets.get(), small.get(), kImageTweakOn);
        for (int i = 2; i < ImageList_GetImageCount(AppImageList_.get()); ++i)
            appendImageCopy(applets.get(), AppImageList_.get(), i);
    }
    TreeView_SetImageList(trvCategories_, small.get(), TVSIL_NORMAL);
    ListView_SetImageList(lstRestrList_,
                          smallImages_ == ImageListKind::AppImageList ? applets.get() : small.get(), LVSIL_SMALL);
    ListView_SetImageList(lstRestrList_, large.get(), LVSIL_NORMAL);
    img16_ = std::move(small);  // the controls no longer use the old lists
    img32_ = std::move(large);
    AppImageList_ = std::move(applets);

    // The window's icon in the sizes the system shows at this DPI.
    const auto icon = [&](int metricX, int metricY) {
        return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDI_QUILLMARK), IMAGE_ICON,
                                             GetSystemMetricsForDpi(metricX, dpi),
                                             GetSystemMetricsForDpi(metricY, dpi), LR_DEFAULTCOLOR));
    };
    UniqueIcon big(icon(SM_CXICON, SM_CYICON)), smallIcon(icon(SM_CXSMICON, SM_CYSMICON));
    if (!big || !smallIcon) throwLastError("LoadImageW");
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
    bigIcon_ = std::move(big);
    smallIcon_ = std::move(smallIcon);
}

void TfrmQuillmark::ApplyFont()
{
    const int dpi = Dpi();
    UniqueGdi<HFONT> font(CreateFontW(-MulDiv(layout::FontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                      DEFAULT_PITCH, L"Tahoma"));
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
    pnlAdvanced_.ApplyFont(font_.get());
}

void TfrmQuillmark::Relayout()
{
    if (!trvCategories_ || !layoutReady_) return;
    RECT client;
    GetClientRect(hwnd(), &client);
    laidOutSize_ = {client.right, client.bottom};
    const MainLayout l = CurrentLayout();
    const auto place = [](HWND control, const LayoutRect& r) {
        SetWindowPos(control, nullptr, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    userBar_.Place(l);
    place(pnlCategories_.hwnd(), l.pnlCategories);
    place(edtSearch_, l.edtSearch);
    place(trvCategories_, l.trvCategories);
    place(categoriesSplitter_.hwnd(), l.categoriesSplitter);
    place(pnlRestrictions_.hwnd(), l.pnlRestrictions);
    place(lstRestrList_, l.lstRestrList);
    place(pnlAdvanced_.hwnd(), l.lstRestrList);
    place(optSplitter_.hwnd(), l.optSplitter);
    place(pnlDescription_.hwnd(), l.pnlDescription);
    place(lblInfo_, l.lblInfo);
    FitInfoScrollBar();
    place(lblSupported_, l.lblSupported);
    place(pnlAdditionalOpt_.hwnd(), l.pnlAdditionalOpt);
    place(edtLocation_, FLastFrame_ ? l.edtLocationAboveFrame : l.edtLocation);
    place(stbStatus_, l.stbStatus);

    // The columns fill the list: the state as wide as its text, the name the rest, which a
    // search's rows share with their group.
    RECT list;
    GetClientRect(lstRestrList_, &list);
    if (listView_ == ListViewStyle::Report) {
        const int state = std::min<int>(list.right / 3, ListView_GetStringWidth(lstRestrList_, NotConfiguredText) +
                                                            scaleToDpi(16, Dpi()));
        const int rest = std::max(0, static_cast<int>(list.right) - state);
        if (searching_) {
            ListView_SetColumnWidth(lstRestrList_, 0, rest * 3 / 5);
            ListView_SetColumnWidth(lstRestrList_, 1, rest - rest * 3 / 5);
            ListView_SetColumnWidth(lstRestrList_, 2, state);
        } else {
            ListView_SetColumnWidth(lstRestrList_, 0, rest);
            ListView_SetColumnWidth(lstRestrList_, 1, state);
        }
    }
}

MainLayout TfrmQuillmark::CurrentLayout() const
{
    RECT client;
    GetClientRect(hwnd(), &client);
    return layout_.compute(client.right, client.bottom, Dpi(), userBar_.ElevationLineShown());
}

void TfrmQuillmark::OnGetMinMaxInfo(MINMAXINFO& info)
{
    const int dpi = Dpi();
    RECT frame{0, 0, scaleToDpi(layout::MinClientWidth, dpi), scaleToDpi(layout::MinClientHeight, dpi)};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_STYLE)), TRUE,
                             static_cast<DWORD>(GetWindowLongPtrW(hwnd(), GWL_EXSTYLE)), static_cast<UINT>(dpi));
    info.ptMinTrackSize = {frame.right - frame.left, frame.bottom - frame.top};
}

void TfrmQuillmark::OnDpiChanged(const RECT& suggested)
{
    ApplyFont();
    ApplyImages();
    ApplyMenuShield();
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
    const int left = work.left + (work.right - work.left - width) / 2, top = work.top + (work.bottom - work.top - height) / 2;
    // The default size is taller than a small screen at a high DPI leaves.
    LayoutRect r = onWorkArea({left, top, left + width, top + height}, {work.left, work.top, work.right, work.bottom});

    std::optional<WINDOWPLACEMENT> remembered;
    if (const auto saved = fromPlacementValues(readPlacementValues())) {
        const WindowPlacementData restore = placementToRestore(*saved, dpi);
        WINDOWPLACEMENT wp{};
        wp.length = sizeof wp;
        wp.flags = static_cast<UINT>(restore.flags);
        wp.showCmd = static_cast<UINT>(restore.showCmd);
        wp.ptMinPosition = {restore.minPosition.x, restore.minPosition.y};
        wp.ptMaxPosition = {restore.maxPosition.x, restore.maxPosition.y};
        r = restore.normalPosition;
        // Saved on a screen that is gone or smaller now: onto the nearest one's work area.
        const RECT savedRect{r.left, r.top, r.right, r.bottom};
        MONITORINFO nearest{};
        nearest.cbSize = sizeof nearest;
        if (GetMonitorInfoW(MonitorFromRect(&savedRect, MONITOR_DEFAULTTONEAREST), &nearest)) {
            const RECT& w = nearest.rcWork;
            r = onWorkArea(r, {w.left, w.top, w.right, w.bottom});
        }
        wp.rcNormalPosition = {r.left, r.top, r.right, r.bottom};
        remembered = wp;
    }

    // Laid out while still hidden, at the size it is shown at: showing then moves, erases and
    // paints no control twice (only a maximised start lays out once more, at its new size).
    SetWindowPos(hwnd(), nullptr, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    layoutReady_ = true;
    Relayout();
    if (remembered && SetWindowPlacement(hwnd(), &*remembered)) return;
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

int RunQuillmark(HINSTANCE instance, int showCommand, MainWindowOptions options)
{
    // The shell's folders and links want a single-threaded apartment on this thread.
    const ComApartment com;
    try {
        const std::wstring folder = executableFolder();
        InstanceLock lock(folder);
        if (!lock.First() && options.restarted && !lock.WaitForRelease(RestartWaitSeconds * 1000)) {
            showErrorBox(nullptr, RestartTimedOutText);
            return 1;
        }
        if (!lock.First()) {
            ActivateRunningCopy(folder);
            return 0;
        }
        TfrmQuillmark window(std::move(options));
        window.Create(instance, showCommand);
        if (!window.Started()) return 0;
        MSG msg;
        bool idleMarked = !phaseTimesEnabled();
        while (true) {
            if (!idleMarked && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
                markPhase("idle");
                idleMarked = true;
            }
            if (GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
            if (window.TranslateKeyboard(msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return static_cast<int>(msg.wParam);
    } catch (const std::exception& error) {
        // The window could not be made (its resources or class are missing): say why.
        showErrorBox(nullptr, errorText(error));
        return 1;
    }
}
