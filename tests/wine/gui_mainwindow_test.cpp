#include <doctest/doctest.h>

#include "tests/wine/gui_fixture.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "app/password.h"
#include "base/scope.h"
#include "base/text.h"
#include "base/win/module.h"
#include "platform/user.h"
#include "scheme/xmldata.h"
#include "tests/support/hives.h"
#include "profile/polfile.h"
#include "profile/regfile.h"
#include "ui/filechoosers.h"
#include "ui/frames/applications.h"
#include "ui/frames/drives.h"
#include "ui/frames/textedit.h"
#include "platform/controlpanel.h"
#include "registry/cpapplets.h"
#include "ui/windows_version.h"

using namespace guitest;
namespace fs = std::filesystem;

namespace {

const wchar_t* const PoliciesSystem = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t* const PoliciesExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";

std::wstring text(HWND window)
{
    wchar_t buffer[1024] = {};
    GetWindowTextW(window, buffer, 1024);
    return buffer;
}

std::wstring nodeText(HWND tree, HTREEITEM node)
{
    wchar_t buffer[256] = {};
    TVITEMW item{};
    item.mask = TVIF_TEXT;
    item.hItem = node;
    item.pszText = buffer;
    item.cchTextMax = 256;
    TreeView_GetItem(tree, &item);
    return buffer;
}

std::vector<HTREEITEM> children(HWND tree, HTREEITEM parent)
{
    std::vector<HTREEITEM> out;
    for (HTREEITEM c = parent ? TreeView_GetChild(tree, parent) : TreeView_GetRoot(tree); c;
         c = TreeView_GetNextSibling(tree, c))
        out.push_back(c);
    return out;
}

// The first node with this caption, depth first.
HTREEITEM findNode(HWND tree, const std::wstring& caption, HTREEITEM parent = nullptr)
{
    for (HTREEITEM node : children(tree, parent)) {
        if (nodeText(tree, node) == caption) return node;
        if (HTREEITEM found = findNode(tree, caption, node)) return found;
    }
    return nullptr;
}

struct ShownItem {
    std::wstring caption;
    bool checked;
    int image;
};

std::vector<ShownItem> listItems(HWND list)
{
    std::vector<ShownItem> items;
    const bool checkBoxes = (ListView_GetExtendedListViewStyle(list) & LVS_EX_CHECKBOXES) != 0;
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        wchar_t caption[512] = {};
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = caption;
        item.cchTextMax = 512;
        ListView_GetItem(list, &item);
        items.push_back({caption, checkBoxes && ListView_GetCheckState(list, i) != 0, item.iImage});
    }
    return items;
}

int itemIndex(HWND list, const std::wstring& caption)
{
    const std::vector<ShownItem> items = listItems(list);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].caption == caption) return static_cast<int>(i);
    return -1;
}

void setChecked(HWND list, int index, bool checked)
{
    ListView_SetItemState(list, index, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1), LVIS_STATEIMAGEMASK);
}

void selectItem(HWND list, int index)
{
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void selectGroup(InProcessWindow& w, const std::wstring& caption)
{
    const HTREEITEM node = findNode(w.window->trvCategories(), caption);
    REQUIRE_MESSAGE(node, "no tree node for the group");
    SendMessageW(w.window->trvCategories(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
}

// Selects the tweak that blocks the listed programs, switches it on and returns its list's frame.
TframeApplications& switchOnDisallowRun(InProcessWindow& w)
{
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Restrict Applications Users Can Run");
    const int run = itemIndex(list, getCaption(L"DisallowRun"));
    REQUIRE(run >= 0);
    selectItem(list, run);
    setChecked(list, run, true);
    auto* apps = dynamic_cast<TframeApplications*>(w.window->FLastFrame());
    REQUIRE(apps);
    return *apps;
}

// Wine's reg.exe, as another program sees the registry: its standard output.
std::string regQuery(const std::wstring& arguments, const testsupport::Where& where = testsupport::Where::current())
{
    return runReg(L"query " + arguments, where).output;
}

void deleteValue(const wchar_t* key, const wchar_t* name)
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, key, name);
}

void setDword(const wchar_t* key, const std::wstring& name, DWORD value)
{
    REQUIRE(RegSetKeyValueW(HKEY_CURRENT_USER, key, name.c_str(), REG_DWORD, &value, sizeof value) == ERROR_SUCCESS);
}

std::optional<DWORD> readDword(const wchar_t* key, const wchar_t* name)
{
    DWORD value = 0, size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

// The window as it shows after the messages waiting for it, among the test artifacts.
void snapshot(HWND hwnd, const std::wstring& name)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    screenshot(hwnd, name);
}

bool sortedByCaption(const std::vector<std::wstring>& captions)
{
    for (size_t i = 1; i < captions.size(); ++i)
        if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, captions[i - 1].c_str(), -1, captions[i].c_str(),
                           -1) == CSTR_GREATER_THAN)
            return false;
    return true;
}

// Every node: its children sorted, and expanded when it has any.
void checkTreeLevel(HWND tree, HTREEITEM parent, int& nodes)
{
    std::vector<std::wstring> captions;
    for (HTREEITEM node : children(tree, parent)) {
        ++nodes;
        captions.push_back(nodeText(tree, node));
        if (TreeView_GetChild(tree, node)) {
            CHECK((TreeView_GetItemState(tree, node, TVIS_EXPANDED) & TVIS_EXPANDED) != 0);
            checkTreeLevel(tree, node, nodes);
        }
    }
    CHECK(sortedByCaption(captions));
}

}  // namespace

TEST_CASE("the tree at start: every group sorted and expanded, the first root selected, the advertising panel shown")
{
    InProcessWindow w;
    const HWND tree = w.window->trvCategories();
    int nodes = 0;
    checkTreeLevel(tree, nullptr, nodes);
    int groups = 0;  // every group of the catalogue: Wine's user is an administrator
    const TAppObjectsList& entries = w.window->Model().FAppObjectsList;
    for (int i = 0; i < entries.Count(); ++i) groups += entries[i].AType == L"Group" || entries[i].AType == L"Custom";
    CHECK(nodes == groups);
    CHECK(findNode(tree, L"Windows Common Restrictions") != nullptr);
    CHECK(TreeView_GetSelection(tree) == TreeView_GetRoot(tree));
    CHECK(TreeView_GetImageList(tree, TVSIL_NORMAL) == w.window->img16());

    CHECK(IsWindowVisible(w.window->pnlAdvanced()));
    CHECK_FALSE(IsWindowVisible(w.window->lstRestrList()));
    CHECK(text(w.window->lblInfo()) == getDescr(L"Group_AboutAdvertise"));
    for (int link : {1, 2}) {
        const HWND l = w.window->lnkProduct(link);
        REQUIRE(l);
        CHECK(IsWindowVisible(l));
        CHECK_FALSE(text(l).empty());
        CHECK((GetWindowLongPtrW(l, GWL_STYLE) & WS_TABSTOP) != 0);
    }
    CHECK_FALSE(w.saveEnabled());
    snapshot(w.hwnd(), L"gui_advertising_panel.bmp");
}

TEST_CASE("the tree never scrolls sideways: a caption wider than the pane is cut, and its tooltip remains")
{
    forgetPlacement();  // the default size
    InProcessWindow w;
    const HWND tree = w.window->trvCategories();
    snapshot(w.hwnd(), L"gui_tree_default_width.bmp");  // painted: the tree has set its scroll bars
    RECT client;
    GetClientRect(tree, &client);
    bool cut = false;  // at the default width some captions do not fit
    for (HTREEITEM node = TreeView_GetFirstVisible(tree); node; node = TreeView_GetNextVisible(tree, node)) {
        RECT r;
        if (TreeView_GetItemRect(tree, node, &r, TRUE) && r.top < client.bottom && r.right > client.right) cut = true;
    }
    REQUIRE(cut);
    const LONG_PTR style = GetWindowLongPtrW(tree, GWL_STYLE);
    CHECK((style & WS_HSCROLL) == 0);
    CHECK((style & WS_VSCROLL) != 0);  // the groups are taller than the pane
    CHECK(TreeView_GetToolTips(tree) != nullptr);
}

TEST_CASE("the advertising panel scrolls what it cannot show, and Tab brings a link into view")
{
    InProcessWindow w;
    const HWND panel = w.window->pnlAdvanced();
    REQUIRE(IsWindowVisible(panel));
    const HWND lastText = GetDlgItem(panel, IDC_ADVTEXT2);
    REQUIRE(lastText);
    const auto inView = [panel](HWND control) {
        RECT client;
        GetClientRect(panel, &client);
        const LayoutRect r = rectIn(control, panel);
        return r.top >= 0 && r.bottom <= client.bottom;
    };
    const auto scrollBar = [panel] { return (GetWindowLongPtrW(panel, GWL_STYLE) & WS_VSCROLL) != 0; };

    // At the smallest size the window allows, the two products do not fit.
    MINMAXINFO minimum{};
    SendMessageW(w.hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&minimum));
    SetWindowPos(w.hwnd(), nullptr, 0, 0, minimum.ptMinTrackSize.x, minimum.ptMinTrackSize.y,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    REQUIRE_FALSE(inView(lastText));
    CHECK(scrollBar());
    SendMessageW(panel, WM_VSCROLL, SB_BOTTOM, 0);
    CHECK(inView(lastText));
    CHECK_FALSE(inView(w.window->lnkProduct(1)));
    SendMessageW(panel, WM_VSCROLL, SB_TOP, 0);
    CHECK(inView(w.window->lnkProduct(1)));
    CHECK_FALSE(inView(lastText));

    // Tab reaching a link out of sight scrolls it into view.
    SetFocus(w.window->lnkProduct(2));
    CHECK(inView(w.window->lnkProduct(2)));

    // Where everything fits, no scroll bar and nothing scrolled away.
    ShowWindow(w.hwnd(), SW_MAXIMIZE);
    CHECK(inView(w.window->lnkProduct(1)));
    CHECK(inView(lastText));
    CHECK_FALSE(scrollBar());
    ShowWindow(w.hwnd(), SW_RESTORE);
}

TEST_CASE("the administrator test of the token, and the tree of a user who is not one")
{
    CHECK(isUserAdministrator());  // Wine's user is an elevated administrator

    InProcessWindow w({}, [] { return false; });
    const HWND tree = w.window->trvCategories();
    CHECK(findNode(tree, L"Windows Common Restrictions") == nullptr);
    CHECK(findNode(tree, L"User Restrictions") != nullptr);
    // The branch's tweaks still have their entries.
    CHECK(w.window->Model().FAppObjectsList.IndexOf(L"Group_WinCommonRestr") >= 0);
}

TEST_CASE("Display settings: check a tweak, save, and reg.exe sees the value")
{
    deleteValue(PoliciesSystem, L"NoDispCPL");
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Display settings");

    CHECK(IsWindowVisible(list));
    CHECK_FALSE(IsWindowVisible(w.window->pnlAdvanced()));
    CHECK((GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT);
    CHECK((ListView_GetExtendedListViewStyle(list) & LVS_EX_CHECKBOXES) != 0);
    CHECK(ListView_GetImageList(list, LVSIL_SMALL) == w.window->img16());
    CHECK(text(w.window->lblInfo()) == getDescr(L"Group_Display"));
    std::vector<std::wstring> captions;
    for (const ShownItem& item : listItems(list)) captions.push_back(item.caption);
    CHECK(captions.size() == 11);
    CHECK(sortedByCaption(captions));

    const int index = itemIndex(list, L"Disable the Display Control Panel");
    REQUIRE(index >= 0);
    CHECK_FALSE(listItems(list)[index].checked);
    CHECK(listItems(list)[index].image == 2);
    setChecked(list, index, true);
    CHECK(listItems(list)[index].image == 21);
    CHECK(w.saveEnabled());
    CHECK(text(w.window->lblInfo()) == getDescr(L"NoDispCPL"));
    CHECK_FALSE(readDword(PoliciesSystem, L"NoDispCPL"));  // nothing is written before a save

    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    CHECK_FALSE(w.saveEnabled());
    const std::string output =
        regQuery(L"\"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\" /v NoDispCPL");
    CAPTURE(output);
    CHECK(output.find("NoDispCPL") != std::string::npos);
    CHECK(output.find("REG_DWORD") != std::string::npos);
    CHECK(output.find("0x1\n") != std::string::npos);

    SUBCASE("re-selecting the group shows the edited states")
    {
        const int other = itemIndex(list, getCaption(L"NoDispBackgroundPage"));
        REQUIRE(other >= 0);
        const bool before = listItems(list)[other].checked;
        setChecked(list, other, !before);
        selectGroup(w, L"Printers");
        selectGroup(w, L"Display settings");
        const std::vector<ShownItem> items = listItems(list);
        CHECK(items[itemIndex(list, getCaption(L"NoDispBackgroundPage"))].checked == !before);
        CHECK(items[itemIndex(list, getCaption(L"NoDispBackgroundPage"))].image == (!before ? 21 : 2));
        CHECK(items[itemIndex(list, L"Disable the Display Control Panel")].checked);
        CHECK(w.saveEnabled());
        snapshot(w.hwnd(), L"gui_list_checkboxes.bmp");
    }
    SUBCASE("the close prompt after a change: No ends without writing")
    {
        setChecked(list, itemIndex(list, L"Disable the Display Control Panel"), false);
        MessageBoxAnswerer answerer(IDNO);
        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        CHECK(MessageBoxAnswerer::texts[0] == L"Save the changed restrictions for " + shownUserName() + L" and this computer?");
        CHECK_FALSE(IsWindow(w.hwnd()));
        CHECK(readDword(PoliciesSystem, L"NoDispCPL") == 1u);
    }
    SUBCASE("the close prompt's Yes saves the switch back")
    {
        setChecked(list, itemIndex(list, L"Disable the Display Control Panel"), false);
        MessageBoxAnswerer answerer(IDYES);
        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
        CHECK(MessageBoxAnswerer::texts.size() == 1);
        CHECK_FALSE(IsWindow(w.hwnd()));
        CHECK(regQuery(L"\"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\" /v "
                       L"NoDispCPL")
                  .find("0x1\n") == std::string::npos);
    }
    deleteValue(PoliciesSystem, L"NoDispCPL");
}

TEST_CASE("selecting an item shows its description and does not count as a change; the mouse selects first")
{
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Display settings");
    const int index = itemIndex(list, L"Hide the Screen Saver page");
    REQUIRE(index >= 0);
    const bool checked = listItems(list)[index].checked;

    RECT r{};
    ListView_GetItemRect(list, index, &r, LVIR_LABEL);
    SendMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    SendMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    CHECK((ListView_GetItemState(list, index, LVIS_SELECTED) & LVIS_SELECTED) != 0);
    CHECK(text(w.window->lblInfo()) == getDescr(L"NoDispScrSavPage"));
    CHECK(listItems(list)[index].checked == checked);
    CHECK_FALSE(w.saveEnabled());
}

TEST_CASE("a group of groups: large icons without check boxes; a double click selects the group in the tree")
{
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    const HWND tree = w.window->trvCategories();
    selectGroup(w, L"Control Panel");

    CHECK((GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK) == LVS_ICON);
    CHECK((ListView_GetExtendedListViewStyle(list) & LVS_EX_CHECKBOXES) == 0);
    CHECK(ListView_GetImageList(list, LVSIL_NORMAL) == w.window->img32());
    std::vector<std::wstring> captions;
    for (const ShownItem& item : listItems(list)) captions.push_back(item.caption);
    std::vector<std::wstring> nodes;
    for (HTREEITEM node : children(tree, TreeView_GetSelection(tree))) nodes.push_back(nodeText(tree, node));
    CHECK(captions == nodes);  // the sub-groups, in the tree's order
    const int index = itemIndex(list, L"Display settings");
    REQUIRE(index >= 0);
    TAppObjectsRec display;
    getAppObject(L"Group_Display", getElem(L"TreeItem", nullptr), display);
    CHECK(listItems(list)[index].image == display.imgIndex32);
    snapshot(w.hwnd(), L"gui_list_groups.bmp");

    // Selecting one is no switch.
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    CHECK_FALSE(w.saveEnabled());
    CHECK(text(w.window->lblInfo()) == getDescr(L"Group_Display"));

    RECT r{};
    ListView_GetItemRect(list, index, &r, LVIR_ICON);
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2));
    CHECK(nodeText(tree, TreeView_GetSelection(tree)) == L"Display settings");
    CHECK((GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT);

    // In the report view a double click does nothing.
    SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 5));
    CHECK(nodeText(tree, TreeView_GetSelection(tree)) == L"Display settings");
}

TEST_CASE("the applet group: every applet with its own icon, which stays when it is switched")
{
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Control Panel Applets");
    CHECK((GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT);
    CHECK((ListView_GetExtendedListViewStyle(list) & LVS_EX_CHECKBOXES) != 0);
    CHECK(ListView_GetImageList(list, LVSIL_SMALL) == w.window->AppImageList());

    const TAppObjectsList& entries = w.window->Model().FAppObjectsList;
    int applets = 0;
    for (int i = 0; i < entries.Count(); ++i) applets += entries[i].GroupName == L"CPApplets";
    REQUIRE(applets > 0);  // Wine lists a few of its own
    const std::vector<ShownItem> items = listItems(list);
    CHECK(static_cast<int>(items.size()) == applets);
    CHECK(ImageList_GetImageCount(w.window->AppImageList()) >= 2);
    for (const ShownItem& item : items) {
        CHECK(item.caption.rfind(L" Hide ", 0) == 0);
        const int entry = [&] {
            for (int i = 0; i < entries.Count(); ++i)
                if (entries[i].ACaption == item.caption) return i;
            return -1;
        }();
        REQUIRE(entry >= 0);
        CHECK(item.image == entries[entry].nImageIndex);
    }
    snapshot(w.hwnd(), L"gui_list_applets.bmp");

    const int image = items[0].image;
    setChecked(list, 0, !items[0].checked);
    CHECK(listItems(list)[0].image == image);
    CHECK(listItems(list)[0].checked == !items[0].checked);
    CHECK(w.saveEnabled());
}

TEST_CASE("keyboard: Tab between tree and list, Space switches the focused tweak, access keys on every menu")
{
    deleteValue(PoliciesSystem, L"NoDispCPL");
    InProcessWindow w;
    const HWND tree = w.window->trvCategories(), list = w.window->lstRestrList();
    selectGroup(w, L"Display settings");

    SetFocus(tree);
    REQUIRE(GetFocus() == tree);
    MSG tab{tree, WM_KEYDOWN, VK_TAB, 0, 0, {}};
    CHECK(w.window->TranslateKeyboard(tab));
    CHECK(GetFocus() == list);

    const int index = itemIndex(list, L"Disable the Display Control Panel");
    REQUIRE(index >= 0);
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    CHECK_FALSE(w.saveEnabled());
    SendMessageW(list, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(list, WM_KEYUP, VK_SPACE, 0);
    CHECK(listItems(list)[index].checked);
    CHECK(listItems(list)[index].image == 21);
    CHECK(w.saveEnabled());

    // Every menu and item has an access key of its own within its menu.
    const HMENU bar = GetMenu(w.hwnd());
    const auto accessKeys = [](HMENU menu) {
        std::vector<wchar_t> keys;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            wchar_t label[128] = {};
            if (!GetMenuStringW(menu, static_cast<UINT>(i), label, 128, MF_BYPOSITION) || !label[0]) continue;
            const wchar_t* amp = wcschr(label, L'&');
            CHECK_MESSAGE(amp, "a menu item without an access key");
            if (amp) keys.push_back(static_cast<wchar_t>(towupper(amp[1])));
        }
        std::sort(keys.begin(), keys.end());
        CHECK(std::adjacent_find(keys.begin(), keys.end()) == keys.end());
    };
    accessKeys(bar);
    for (int i = 0; i < GetMenuItemCount(bar); ++i) accessKeys(GetSubMenu(bar, i));

    MessageBoxAnswerer answerer(IDNO);
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    CHECK_FALSE(readDword(PoliciesSystem, L"NoDispCPL"));
}

TEST_CASE("the check marks at start with the whole catalogue, against an empty registry and a busy one")
{
    // The plain one-value tweaks under the two policy keys of the current user.
    struct Tweak {
        std::wstring name, caption, group;
        const wchar_t* key;
    };
    std::vector<Tweak> tweaks;
    {
        InProcessWindow probe;
        const TAppObjectsList& entries = probe.window->Model().FAppObjectsList;
        for (int i = 0; i < entries.Count(); ++i) {
            TAppObjectsRec o;
            getAppObject(entries[i].AppName, getElem(L"TreeItem", nullptr), o);
            if (o.AType != L"CheckBox" || o.AFrame != L"frameCheckBox" || o.AValueType1 != L"Integer10" ||
                !o.AValue2.empty() || o.RootKey1 != L"HKEY_CURRENT_USER" || o.AValue1 != o.AName)
                continue;
            const wchar_t* key = o.AKey1 == L"Policies_System"     ? PoliciesSystem
                                 : o.AKey1 == L"Policies_Explorer" ? PoliciesExplorer
                                                                   : nullptr;
            if (!key || entries.IndexOf(o.AName) != i) continue;
            // As the row shows it: tweaks without effect on this Windows say so after the caption.
            std::wstring caption = getCaption(o.AName);
            if (!TweakHasEffect(o.AName, probe.window->Model().RunningWindows)) caption += NoEffectSuffix;
            tweaks.push_back({o.AName, caption, getCaption(entries[i].GroupName), key});
        }
    }
    REQUIRE(tweaks.size() > 40);

    const auto clear = [&] {
        for (const Tweak& t : tweaks) deleteValue(t.key, t.name.c_str());
    };
    // Every group that lists one of them, read back from the window.
    const auto checkMarks = [&](const std::function<bool(size_t)>& expected) {
        InProcessWindow w;
        const HWND list = w.window->lstRestrList();
        std::wstring shownGroup;
        for (size_t i = 0; i < tweaks.size(); ++i) {
            CAPTURE(tweaks[i].name);
            if (tweaks[i].group != shownGroup) {
                selectGroup(w, tweaks[i].group);
                shownGroup = tweaks[i].group;
            }
            const int index = itemIndex(list, tweaks[i].caption);
            REQUIRE(index >= 0);
            const ShownItem item = listItems(list)[index];
            CHECK(item.checked == expected(i));
            CHECK(item.image == (expected(i) ? 21 : 2));
        }
        CHECK_FALSE(w.saveEnabled());
    };

    clear();
    checkMarks([](size_t) { return false; });

    // Two of every three set, the rest set to the unchecked value or left out.
    for (size_t i = 0; i < tweaks.size(); ++i) {
        if (i % 3 == 0) setDword(tweaks[i].key, tweaks[i].name, 1);
        if (i % 3 == 1) setDword(tweaks[i].key, tweaks[i].name, 1);
        if (i % 3 == 2 && i % 2 == 0) setDword(tweaks[i].key, tweaks[i].name, 0);
    }
    checkMarks([](size_t i) { return i % 3 != 2; });
    clear();
}

TEST_CASE("a save that cannot write a tweak names it in one message and the settings stay unsaved")
{
    // A volatile key cannot hold a lasting subkey: the tweak's key cannot be created below it.
    const wchar_t* parent = L"Software\\Policies\\Microsoft\\Internet Explorer";
    RegDeleteTreeW(HKEY_CURRENT_USER, parent);
    HKEY volatileKey = nullptr;
    REQUIRE(RegCreateKeyExW(HKEY_CURRENT_USER, parent, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &volatileKey, nullptr) == ERROR_SUCCESS);
    UniqueHkey closeIt(volatileKey);

    InProcessWindow w;
    const std::wstring caption = getCaption(L"NoBrowserOptions");
    const int entry = w.window->Model().FAppObjectsList.IndexOf(L"NoBrowserOptions");
    REQUIRE(entry >= 0);
    selectGroup(w, getCaption(w.window->Model().FAppObjectsList[entry].GroupName));
    const HWND list = w.window->lstRestrList();
    const int index = itemIndex(list, caption);
    REQUIRE(index >= 0);
    setChecked(list, index, true);

    {
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        CAPTURE(MessageBoxAnswerer::texts[0]);
        CHECK(MessageBoxAnswerer::captions[0] == L"Save settings");
        CHECK(MessageBoxAnswerer::texts[0].find(caption + L" (NoBrowserOptions)") != std::wstring::npos);
        CHECK(MessageBoxAnswerer::texts[0].find(L"Restrictions") != std::wstring::npos);
        CHECK(w.saveEnabled());
    }
    {
        // Yes in the close prompt: the same message, and the window stays open.
        MessageBoxAnswerer answerer(IDYES);
        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 2);
        CHECK(MessageBoxAnswerer::texts[1].find(caption + L" (NoBrowserOptions)") != std::wstring::npos);
        CHECK(IsWindow(w.hwnd()));
    }
    closeIt.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, parent);
    MessageBoxAnswerer answerer(IDNO);
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    CHECK_FALSE(IsWindow(w.hwnd()));
}

TEST_CASE("Edit > Undo all tweaks brings the first start's states back and shows them")
{
    deleteValue(PoliciesSystem, L"NoDispCPL");
    InProcessWindow w;
    CHECK(fs::exists(w.folder.path / L"default.qmk"));
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Display settings");
    const int index = itemIndex(list, L"Disable the Display Control Panel");
    setChecked(list, index, true);
    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    REQUIRE(readDword(PoliciesSystem, L"NoDispCPL") == 1u);

    {
        MessageBoxAnswerer answerer(IDYES);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_UNDOALL, 0), 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        CHECK(MessageBoxAnswerer::texts[0] == L"Do you want to reset all tweaks to the previous state ?");
    }
    // The list shows the restored state at once; the registry follows at the next save.
    CHECK_FALSE(listItems(list)[itemIndex(list, L"Disable the Display Control Panel")].checked);
    CHECK(w.saveEnabled());
    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    CHECK(readDword(PoliciesSystem, L"NoDispCPL").value_or(0) == 0);
    deleteValue(PoliciesSystem, L"NoDispCPL");
}

TEST_CASE("Edit > Administrators password and Help > About open their dialogs")
{
    InProcessWindow w;
    {
        // Both entries left empty and confirmed: the empty password, a change to save.
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_ADMINPASSWORD, 0), 0);
        REQUIRE(MessageBoxAnswerer::captions.size() == 1);
        CHECK(MessageBoxAnswerer::captions[0] == L"Administrator Password");
        CHECK(w.saveEnabled());
    }
    {
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_ABOUT, 0), 0);
        REQUIRE(MessageBoxAnswerer::captions.size() == 1);
        CHECK(MessageBoxAnswerer::captions[0] == L"About");
        CHECK(IsWindow(w.hwnd()));
    }
}

TEST_CASE("the start-up password gate: a wrong or cancelled password ends before the window is used")
{
    TempFolder folder;
    {
        TEncriptor store((folder.path / L"quillmark.dat").wstring(), true);
        store.SetStr(AdminPassKey, L"Secret");
        store.Flush(true);
    }
    const std::string before = readBytes((folder.path / L"quillmark.dat"));

    MessageBoxAnswerer answerer(IDCANCEL);
    InProcessWindow w(folder.withSeparator(), {}, false);
    REQUIRE(MessageBoxAnswerer::texts.size() == 2);  // the prompt, then the refusal
    CHECK(MessageBoxAnswerer::captions[0] == L"Password");
    CHECK(MessageBoxAnswerer::texts[1] == L"The password is wrong !");
    CHECK_FALSE(w.window->Started());
    CHECK_FALSE(IsWindow(w.window->hwnd()));
    CHECK(readBytes(folder.path / L"quillmark.dat") == before);
    // The snapshot is taken only past the gate.
    CHECK_FALSE(fs::exists(folder.path / L"default.qmk"));
}

TEST_CASE("the window's icons and image lists follow its DPI")
{
    InProcessWindow w;
    const UINT dpi = GetDpiForWindow(w.hwnd());
    const auto iconWidth = [&](WPARAM which) {
        const HICON icon = reinterpret_cast<HICON>(SendMessageW(w.hwnd(), WM_GETICON, which, 0));
        REQUIRE(icon);
        ICONINFO info{};
        REQUIRE(GetIconInfo(icon, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
        return bitmap.bmWidth;
    };
    CHECK(iconWidth(ICON_BIG) == GetSystemMetricsForDpi(SM_CXICON, dpi));
    CHECK(iconWidth(ICON_SMALL) == GetSystemMetricsForDpi(SM_CXSMICON, dpi));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(w.window->img16(), &cx, &cy);
    CHECK(cx == MulDiv(16, static_cast<int>(dpi), 96));
    ImageList_GetIconSize(w.window->img32(), &cx, &cy);
    CHECK(cx == MulDiv(32, static_cast<int>(dpi), 96));
    ImageList_GetIconSize(w.window->AppImageList(), &cx, &cy);
    CHECK(cx == MulDiv(16, static_cast<int>(dpi), 96));
}

namespace {

// Sets the user's screen resolution for processes started from now on; restores it after.
class ScopedLogPixels {
public:
    explicit ScopedLogPixels(DWORD dpi)
    {
        DWORD value = 0, size = sizeof value;
        if (RegGetValueW(HKEY_CURRENT_USER, key_, L"LogPixels", RRF_RT_REG_DWORD, nullptr, &value, &size) ==
            ERROR_SUCCESS)
            saved_ = value;
        REQUIRE(RegSetKeyValueW(HKEY_CURRENT_USER, key_, L"LogPixels", REG_DWORD, &dpi, sizeof dpi) == ERROR_SUCCESS);
    }
    ~ScopedLogPixels()
    {
        if (saved_)
            RegSetKeyValueW(HKEY_CURRENT_USER, key_, L"LogPixels", REG_DWORD, &*saved_, sizeof *saved_);
        else
            RegDeleteKeyValueW(HKEY_CURRENT_USER, key_, L"LogPixels");
    }

private:
    const wchar_t* key_ = L"Control Panel\\Desktop";
    std::optional<DWORD> saved_;
};

const char* const DpiChildCase = "the window at the screen resolution of this process";

}  // namespace

// Run by the next test in a process of its own, started at the resolution it sets: a
// process takes its resolution when it starts.
TEST_CASE(DpiChildCase)
{
    const wchar_t* wanted = _wgetenv(L"QM_DPI_CHILD");
    if (!wanted) return;  // only in the child process
    // Aware as the product's manifest makes it (Wine 8 knows only the first version of
    // per-monitor awareness); a window takes its thread's awareness.
    REQUIRE((SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) ||
             SetThreadDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)));
    const int dpi = std::stoi(wanted);
    forgetPlacement();
    InProcessWindow w;
    CHECK(static_cast<int>(GetDpiForWindow(w.hwnd())) == dpi);
    // The client size scales; where the frame scales by less, the minimum outer size (also
    // scaled) can add a pixel or two.
    RECT client{}, outer{};
    GetClientRect(w.hwnd(), &client);
    GetWindowRect(w.hwnd(), &outer);
    CHECK(client.right >= MulDiv(654, dpi, 96));
    CHECK(client.bottom >= MulDiv(462, dpi, 96));
    MINMAXINFO minimum{};
    SendMessageW(w.hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&minimum));
    CHECK(minimum.ptMinTrackSize.y <= MulDiv(768 - 60, dpi, 144));
    CHECK((client.right == MulDiv(654, dpi, 96) || outer.right - outer.left == minimum.ptMinTrackSize.x));
    CHECK((client.bottom == MulDiv(462, dpi, 96) || outer.bottom - outer.top == minimum.ptMinTrackSize.y));
    int cx = 0, cy = 0;
    ImageList_GetIconSize(w.window->img16(), &cx, &cy);
    CHECK(cx == MulDiv(16, dpi, 96));
    ImageList_GetIconSize(w.window->img32(), &cx, &cy);
    CHECK(cx == MulDiv(32, dpi, 96));
    CHECK(TreeView_GetItemHeight(w.window->trvCategories()) >= MulDiv(16, dpi, 96));
    const HICON small = reinterpret_cast<HICON>(SendMessageW(w.hwnd(), WM_GETICON, ICON_SMALL, 0));
    ICONINFO info{};
    REQUIRE(GetIconInfo(small, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    CHECK(bitmap.bmWidth == GetSystemMetricsForDpi(SM_CXSMICON, static_cast<UINT>(dpi)));

    // The report view's columns fill the list at this scale too, the state as wide as its text.
    selectGroup(w, L"Display settings");
    RECT list{};
    GetClientRect(w.window->lstRestrList(), &list);
    const int stateWidth = ListView_GetColumnWidth(w.window->lstRestrList(), 1);
    CHECK(ListView_GetColumnWidth(w.window->lstRestrList(), 0) + stateWidth == list.right);
    CHECK(stateWidth >= ListView_GetStringWidth(w.window->lstRestrList(), NotConfiguredText));
    snapshot(w.hwnd(), (L"gui_dpi_" + std::to_wstring(dpi) + L".bmp").c_str());

    // At the minimum size with the drive list shown, and maximised: the locations stay two
    // lines high between the description and the frame, and every pane stays in the window.
    const HWND lst = w.window->lstRestrList();
    selectGroup(w, L"Drives restrictions");
    selectItem(lst, itemIndex(lst, getCaption(L"NoDrives")));
    REQUIRE(w.window->FLastFrame() != nullptr);
    for (const bool maximised : {false, true}) {
        CAPTURE(maximised);
        if (maximised)
            ShowWindow(w.hwnd(), SW_MAXIMIZE);
        else
            SetWindowPos(w.hwnd(), nullptr, 0, 0, minimum.ptMinTrackSize.x, minimum.ptMinTrackSize.y,
                         SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
        GetClientRect(w.hwnd(), &client);
        const LayoutRect location = rectIn(w.window->edtLocation(), w.hwnd());
        const LayoutRect frame = rectIn(w.window->pnlAdditionalOpt(), w.hwnd());
        const LayoutRect info = rectIn(w.window->lblInfo(), w.hwnd());
        CHECK(location.height() >= MulDiv(layout::LocationMinHeight, dpi, 96) - 3);
        CHECK(location.bottom <= frame.top);
        CHECK(info.bottom <= location.top);
        const int panesBottom = rectIn(w.window->stbStatus(), w.hwnd()).top;
        CHECK(rectIn(w.window->stbStatus(), w.hwnd()).bottom == client.bottom);
        CHECK(frame.bottom == panesBottom);
        CHECK(rectIn(lst, w.hwnd()).height() >= MulDiv(layout::ListMinHeight, dpi, 96) - 3);
        CHECK(rectIn(lst, w.hwnd()).bottom <= rectIn(w.window->lblInfo(), w.hwnd()).top);
        CHECK(rectIn(w.window->trvCategories(), w.hwnd()).bottom == panesBottom);
        snapshot(w.hwnd(), (L"gui_dpi_" + std::to_wstring(dpi) + (maximised ? L"_maximised" : L"_minimum") +
                            L"_drives.bmp").c_str());
    }

    // At the minimum size with an application list, whose description is long: it stays above
    // the Supported-on line, and what does not fit scrolls into view, down to its last line.
    ShowWindow(w.hwnd(), SW_RESTORE);
    SetWindowPos(w.hwnd(), nullptr, 0, 0, minimum.ptMinTrackSize.x, minimum.ptMinTrackSize.y,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    selectGroup(w, L"Restrict Applications Users Can Run");
    selectItem(lst, itemIndex(lst, getCaption(L"DisallowRun")));
    REQUIRE(w.window->FLastFrame() != nullptr);
    const HWND description = w.window->lblInfo();
    REQUIRE(text(description) == getDescr(L"DisallowRun"));
    CHECK(rectIn(description, w.hwnd()).bottom <= rectIn(w.window->lblSupported(), w.hwnd()).top);
    // Every button and box of the frame lies whole inside it, none cut at its right edge.
    const HWND frameWindow = w.window->pnlAdditionalOpt();
    RECT frameBox{};
    GetClientRect(frameWindow, &frameBox);
    for (HWND child = GetWindow(frameWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        for (HWND control = GetWindow(child, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
            const LayoutRect box = rectIn(control, frameWindow);
            CAPTURE(toUtf8(text(control)));
            CHECK(box.left >= 0);
            CHECK(box.right <= frameBox.right);
            CHECK(box.bottom <= frameBox.bottom);
        }
    snapshot(w.hwnd(), (L"gui_dpi_" + std::to_wstring(dpi) + L"_minimum_applications.bmp").c_str());
    RECT box{};
    GetClientRect(description, &box);
    // The last character's line top, -1 while it lies above the view.
    const auto lastLineTop = [&] {
        const LRESULT last = SendMessageW(description, EM_POSFROMCHAR, text(description).size() - 1, 0);
        return last == -1 ? -1 : static_cast<int>(static_cast<short>(HIWORD(last)));
    };
    TEXTMETRICW font{};
    {
        const WindowDc dc(description);
        const SelectedObject selected(dc.get(), reinterpret_cast<HFONT>(SendMessageW(description, WM_GETFONT, 0, 0)));
        GetTextMetricsW(dc.get(), &font);
    }
    const int lineHeight = font.tmHeight;
    const auto lastLineShown = [&] { return lastLineTop() >= 0 && lastLineTop() + lineHeight <= box.bottom; };
    for (int page = 0; page < 10 && !lastLineShown(); ++page) SendMessageW(description, EM_SCROLL, SB_PAGEDOWN, 0);
    CAPTURE(lastLineTop());
    CAPTURE(box.bottom);
    CHECK(lastLineShown());
    CHECK(SendMessageW(description, EM_GETFIRSTVISIBLELINE, 0, 0) > 0);  // it did not all fit: the fault this covers
    CHECK((GetWindowLongPtrW(description, GWL_STYLE) & WS_VSCROLL) != 0);   // and its scroll bar says so
}

TEST_CASE("the window at 96 and at 144 DPI: sizes, images, icons and column scale")
{
    for (const DWORD dpi : {96u, 144u}) {
        CAPTURE(dpi);
        ScopedLogPixels logPixels(dpi);
        const std::wstring self = modulePath();
        std::wstring commandLine = L"\"" + self + L"\" --test-case=\"" +
                                   fromUtf8(DpiChildCase) + L"\"";
        SetEnvironmentVariableW(L"QM_DPI_CHILD", std::to_wstring(dpi).c_str());
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;  // its report goes where this one's goes
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION pi{};
        const BOOL started =
            CreateProcessW(self.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        SetEnvironmentVariableW(L"QM_DPI_CHILD", nullptr);
        REQUIRE(started);
        const UniqueHandle process(pi.hProcess), thread(pi.hThread);
        REQUIRE(WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.get(), &exitCode);
        CHECK(exitCode == 0);  // its failures are printed above
        CHECK(fs::exists(artifacts() / (L"gui_dpi_" + std::to_wstring(dpi) + L".bmp")));
    }
}

TEST_CASE("option frames in the panel: built for the selected tweak, enabled by its switch, gone with the group")
{
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    const HWND panel = w.window->pnlAdditionalOpt();
    selectGroup(w, L"Media Player");
    CHECK(w.window->FLastFrame() == nullptr);
    const int index = itemIndex(list, getCaption(L"TitleBar"));
    REQUIRE(index >= 0);
    const bool wasOn = listItems(list)[index].checked;

    selectItem(list, index);
    auto* frame = dynamic_cast<TframeStringEdit*>(w.window->FLastFrame());
    REQUIRE(frame);
    CHECK(GetParent(frame->hwnd()) == panel);
    CHECK(IsWindowVisible(frame->hwnd()));
    CHECK(bool(IsWindowEnabled(frame->edtString())) == wasOn);
    CHECK_FALSE(w.saveEnabled());  // binding a frame is no change

    // Switching the tweak rebuilds the frame for it and enables it exactly when on.
    setChecked(list, index, true);
    frame = dynamic_cast<TframeStringEdit*>(w.window->FLastFrame());
    REQUIRE(frame);
    CHECK(IsWindowEnabled(frame->edtString()));
    SetWindowTextW(frame->edtString(), L"Kiosk player");
    CHECK(w.window->Model().FAppObjectsList[w.window->Model().FAppObjectsList.IndexOf(L"TitleBar")].cValue ==
          L"Kiosk player");
    CHECK(w.saveEnabled());
    CHECK(IsWindowEnabled(frame->edtString()));  // typing leaves the enabling alone
    // The locations show what the save would write now, the text typed included.
    CHECK(text(w.window->edtLocation()).find(L"\"Kiosk player\"") != std::wstring::npos);
    // Tab goes on from the list into the frame.
    SetFocus(list);
    MSG tab{list, WM_KEYDOWN, VK_TAB, 0, 0, {}};
    CHECK(w.window->TranslateKeyboard(tab));
    CHECK(IsChild(frame->hwnd(), GetFocus()));
    snapshot(w.hwnd(), L"gui_option_frame_text.bmp");
    setChecked(list, index, false);
    frame = dynamic_cast<TframeStringEdit*>(w.window->FLastFrame());
    REQUIRE(frame);
    CHECK_FALSE(IsWindowEnabled(frame->edtString()));
    CHECK(text(frame->edtString()) == L"Kiosk player");  // the text stays

    // A plain check-box tweak shows no frame; another group empties the panel.
    for (int i = 0; i < ListView_GetItemCount(list); ++i)
        if (i != index) {
            selectItem(list, i);
            break;
        }
    CHECK(w.window->FLastFrame() == nullptr);
    selectItem(list, index);
    CHECK(w.window->FLastFrame() != nullptr);
    selectGroup(w, L"Display settings");
    CHECK(w.window->FLastFrame() == nullptr);
    CHECK(GetWindow(panel, GW_CHILD) == nullptr);

    SUBCASE("the drives frame")
    {
        selectGroup(w, L"Drives restrictions");
        selectItem(list, itemIndex(list, getCaption(L"NoDrives")));
        CHECK(dynamic_cast<TframeDrives*>(w.window->FLastFrame()) != nullptr);
    }
    SUBCASE("the applications frame stays enabled whatever its switch")
    {
        selectGroup(w, L"Restrict Applications Users Can Run");
        const int run = itemIndex(list, getCaption(L"DisallowRun"));
        REQUIRE(run >= 0);
        selectItem(list, run);
        auto* apps = dynamic_cast<TframeApplications*>(w.window->FLastFrame());
        REQUIRE(apps);
        CHECK(IsWindowEnabled(apps->btnBrowseApp()));
        setChecked(list, run, !listItems(list)[run].checked);
        apps = dynamic_cast<TframeApplications*>(w.window->FLastFrame());
        REQUIRE(apps);
        CHECK(IsWindowEnabled(apps->btnBrowseApp()));
        snapshot(w.hwnd(), L"gui_option_frame_applications.bmp");
    }
    // Closing with a frame shown: the frame goes before the entries it refers to.
    MessageBoxAnswerer answerer(IDNO);
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    CHECK_FALSE(IsWindow(w.hwnd()));
}

namespace {

std::wstring subItemText(HWND list, int item, int subItem)
{
    wchar_t buffer[512] = {};
    ListView_GetItemText(list, item, subItem, buffer, 512);
    return buffer;
}

int columnCount(HWND list)
{
    return Header_GetItemCount(ListView_GetHeader(list));
}

void typeSearch(InProcessWindow& w, const wchar_t* text)
{
    // WM_SETTEXT reports EN_CHANGE like typing does.
    SetWindowTextW(w.window->edtSearch(), text);
}

// Key presses as the message loop hands them over: the window's keyboard handling first.
void pressKey(InProcessWindow& w, HWND target, WPARAM key, bool control = false, bool shift = false)
{
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    const BYTE controlBefore = keys[VK_CONTROL], shiftBefore = keys[VK_SHIFT];
    keys[VK_CONTROL] = control ? 0x80 : 0;
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG msg{target, WM_KEYDOWN, key, 0, 0, {}};
    if (!w.window->TranslateKeyboard(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    keys[VK_CONTROL] = controlBefore;
    keys[VK_SHIFT] = shiftBefore;
    SetKeyboardState(keys);
}

// A top-level window of the test that keeps what WM_SETTINGCHANGE broadcasts said.
struct SettingChangeListener {
    static inline std::vector<std::wstring> heard;
    Unique<HWND, &DestroyWindow> window;
    SettingChangeListener()
    {
        heard.clear();
        WNDCLASSW cls{};
        cls.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
            if (message == WM_SETTINGCHANGE)
                heard.push_back(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
            return DefWindowProcW(hwnd, message, wParam, lParam);
        };
        cls.hInstance = GetModuleHandleW(nullptr);
        cls.lpszClassName = L"QmSettingChangeListener";
        RegisterClassW(&cls);
        window.reset(CreateWindowExW(0, cls.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                     cls.hInstance, nullptr));
        REQUIRE(window);
    }
    bool heardPolicy() const { return std::find(heard.begin(), heard.end(), L"Policy") != heard.end(); }
};

// Rows of the Pending changes dialog, read while it is open; the hook then closes it.
struct PendingDialogReader {
    static inline std::vector<std::vector<std::wstring>> rows;
    static inline std::vector<std::wstring> titles;
    static inline std::vector<std::wstring> clipped;  // texts wider than their column
    static inline bool noneShown = false, seen = false, resizable = false;
    Unique<HHOOK, &UnhookWindowsHookEx> hook{SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId())};
    PendingDialogReader()
    {
        REQUIRE(hook);
        rows.clear();
        titles.clear();
        clipped.clear();
        noneShown = seen = resizable = false;
    }
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_ACTIVATE) {
            const HWND dialog = reinterpret_cast<HWND>(wParam);
            if (const HWND list = GetDlgItem(dialog, IDC_PENDINGLIST); list && !seen) {
                seen = true;
                for (int i = 0; i < ListView_GetItemCount(list); ++i) {
                    std::vector<std::wstring> row;
                    for (int c = 0; c < columnCount(list); ++c) row.push_back(subItemText(list, i, c));
                    rows.push_back(row);
                }
                const HWND header = ListView_GetHeader(list);
                for (int c = 0; c < columnCount(list); ++c) {
                    wchar_t title[64] = {};
                    HDITEMW item{};
                    item.mask = HDI_TEXT;
                    item.pszText = title;
                    item.cchTextMax = 64;
                    Header_GetItem(header, c, &item);
                    titles.push_back(title);
                    const int width = ListView_GetColumnWidth(list, c);
                    for (const auto& row : rows)
                        if (ListView_GetStringWidth(list, row[c].c_str()) > width) clipped.push_back(row[c]);
                }
                resizable = (GetWindowLongPtrW(dialog, GWL_STYLE) & WS_THICKFRAME) != 0;
                noneShown = (GetWindowLongPtrW(GetDlgItem(dialog, IDC_PENDINGNONE), GWL_STYLE) & WS_VISIBLE) != 0;
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
};

const wchar_t* const DisplayTweak = L"Disable the Display Control Panel";

// The product's manifest made active, so that the controls are the common controls 6 ones
// the product gets: the cue banner of an edit exists only there.
struct ProductActivationContext {
    HANDLE context = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie = 0;
    ProductActivationContext()
    {
        const std::wstring exe = env(L"QM_EXE");
        ACTCTXW actCtx{};
        actCtx.cbSize = sizeof actCtx;
        actCtx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        actCtx.lpSource = exe.c_str();
        actCtx.lpResourceName = MAKEINTRESOURCEW(1);
        context = CreateActCtxW(&actCtx);
        REQUIRE(context != INVALID_HANDLE_VALUE);
        REQUIRE(ActivateActCtx(context, &cookie));
    }
    ~ProductActivationContext()
    {
        DeactivateActCtx(0, cookie);
        ReleaseActCtx(context);
    }
};

}  // namespace

TEST_CASE("the search box: finds tweaks of every group, switches and saves them, and clearing it shows the group again")
{
    deleteValue(PoliciesSystem, L"NoDispCPL");
    ProductActivationContext commonControls6;
    InProcessWindow w;
    const HWND list = w.window->lstRestrList(), box = w.window->edtSearch();
    selectGroup(w, L"Printers");
    std::vector<std::wstring> printers;
    for (const ShownItem& item : listItems(list)) printers.push_back(item.caption);
    REQUIRE_FALSE(printers.empty());

    wchar_t cue[64] = {};
    SendMessageW(box, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(cue), 64);
    CHECK(std::wstring(cue) == L"Find a tweak (Ctrl+F)");

    typeSearch(w, L"nODISPcpl");  // the value name, in any case
    std::vector<ShownItem> rows = listItems(list);
    REQUIRE(rows.size() == 1);
    CHECK(rows[0].caption == DisplayTweak);
    CHECK_FALSE(rows[0].checked);
    CHECK(rows[0].image == AppImageUnchecked);
    CHECK(columnCount(list) == 3);  // name, group, state
    CHECK(subItemText(list, 0, 1).find(L"Display settings") != std::wstring::npos);
    CHECK((GetWindowLongPtrW(list, GWL_STYLE) & LVS_NOCOLUMNHEADER) == 0);
    CHECK(ListView_GetImageList(list, LVSIL_SMALL) == w.window->AppImageList());

    typeSearch(w, L"display control");  // words of the caption
    rows = listItems(list);
    CHECK(std::any_of(rows.begin(), rows.end(), [](const ShownItem& r) { return r.caption == DisplayTweak; }));
    const int index = itemIndex(list, DisplayTweak);
    REQUIRE(index >= 0);
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    CHECK(text(w.window->lblInfo()) == getDescr(L"NoDispCPL"));
    CHECK_FALSE(w.saveEnabled());
    setChecked(list, index, true);
    CHECK(listItems(list)[index].image == AppImageChecked);
    CHECK(w.saveEnabled());
    snapshot(w.hwnd(), L"gui_search_results.bmp");

    SUBCASE("saving a found tweak writes it, and the tree's group shows the new state")
    {
        SettingChangeListener listener;
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
        CHECK_FALSE(w.saveEnabled());
        const std::string output = regQuery(
            L"\"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\" /v NoDispCPL");
        CAPTURE(output);
        CHECK(output.find("0x1\n") != std::string::npos);
        CHECK(listener.heardPolicy());  // the save wrote something: running programs are told

        // A save that changes nothing in the registry tells nobody.
        SettingChangeListener quiet;
        w.change();
        REQUIRE(w.saveEnabled());
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
        CHECK_FALSE(w.saveEnabled());
        CHECK_FALSE(quiet.heardPolicy());

        selectGroup(w, L"Display settings");  // choosing a group ends the search
        CHECK(text(box).empty());
        CHECK(columnCount(list) == 2);  // name, state
        CHECK(listItems(list)[itemIndex(list, DisplayTweak)].checked);
        CHECK(listItems(list)[itemIndex(list, DisplayTweak)].image == ImageChecked);
    }
    SUBCASE("Esc in the box clears it and the tree's group comes back")
    {
        pressKey(w, box, VK_ESCAPE);
        CHECK(text(box).empty());
        CHECK(IsWindow(w.hwnd()));
        std::vector<std::wstring> shown;
        for (const ShownItem& item : listItems(list)) shown.push_back(item.caption);
        CHECK(shown == printers);
        CHECK(columnCount(list) == 2);
        CHECK((GetWindowLongPtrW(list, GWL_STYLE) & LVS_NOCOLUMNHEADER) != 0);
        CHECK(ListView_GetImageList(list, LVSIL_SMALL) == w.window->img16());
        CHECK(w.saveEnabled());  // the switch made while searching stays
        MessageBoxAnswerer answerer(IDNO);
        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    }
    SUBCASE("blanks alone are no search, and nothing found leaves an empty list")
    {
        typeSearch(w, L"");
        typeSearch(w, L"   ");
        CHECK(listItems(list).size() == printers.size());
        typeSearch(w, L"zzqqxx no such tweak");
        CHECK(listItems(list).empty());
        MessageBoxAnswerer answerer(IDNO);
        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    }
    deleteValue(PoliciesSystem, L"NoDispCPL");
}

TEST_CASE("the search finds the applets with their own icons; Ctrl+F focuses the box")
{
    InProcessWindow w;
    const HWND list = w.window->lstRestrList(), box = w.window->edtSearch();
    selectGroup(w, L"Display settings");
    SetFocus(list);
    pressKey(w, list, 'F', true);
    CHECK(GetFocus() == box);

    typeSearch(w, L"DON'T LOAD");  // the applets' key
    const TAppObjectsList& entries = w.window->Model().FAppObjectsList;
    int applets = 0;
    for (int i = 0; i < entries.Count(); ++i) {
        if (entries[i].GroupName != L"CPApplets") continue;
        ++applets;
        const int row = itemIndex(list, entries[i].ACaption);
        CAPTURE(entries[i].ACaption);
        REQUIRE(row >= 0);
        CHECK(listItems(list)[row].image == entries[i].nImageIndex);
    }
    CHECK(applets > 0);
    const int image = listItems(list)[0].image;
    const bool checked = listItems(list)[0].checked;
    setChecked(list, 0, !checked);
    CHECK(listItems(list)[0].image == image);
    CHECK(w.saveEnabled());
    MessageBoxAnswerer answerer(IDNO);
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
}

TEST_CASE("the selected tweak's registry locations as text to copy")
{
    InProcessWindow w;
    const HWND list = w.window->lstRestrList(), location = w.window->edtLocation();
    selectGroup(w, L"Display settings");
    CHECK_FALSE(IsWindowVisible(location));
    const int index = itemIndex(list, DisplayTweak);
    REQUIRE(index >= 0);
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    const std::wstring shown = text(location);
    CAPTURE(shown);
    CHECK(IsWindowVisible(location));
    CHECK(shown.find(L"Root: HKEY_CURRENT_USER\r\n") != std::wstring::npos);
    CHECK(shown.find(L"Key: Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\r\n") != std::wstring::npos);
    CHECK(shown.find(L"Value: NoDispCPL\r\n") != std::wstring::npos);
    CHECK(shown.find(L"REG_DWORD") != std::wstring::npos);
    const LONG_PTR style = GetWindowLongPtrW(location, GWL_STYLE);
    CHECK((style & ES_READONLY) != 0);
    CHECK((style & ES_MULTILINE) != 0);
    CHECK((style & WS_TABSTOP) != 0);
    // It stands below the description, inside the panel.
    const LayoutRect info = rectIn(w.window->lblInfo(), w.hwnd()), box = rectIn(location, w.hwnd());
    CHECK(box.top >= info.bottom);
    CHECK(box.height() > 0);
    snapshot(w.hwnd(), L"gui_location_text.bmp");

    // Selected and copied like any edit's text.
    SendMessageW(location, EM_SETSEL, 0, -1);
    DWORD from = 0, to = 0;
    SendMessageW(location, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    CHECK(to == shown.size());

    selectGroup(w, L"Printers");  // another group: nothing selected, nothing shown
    CHECK(text(location).empty());
    CHECK_FALSE(IsWindowVisible(location));
}

TEST_CASE("Edit > Pending changes lists what the next save writes")
{
    deleteValue(PoliciesSystem, L"NoDispCPL");
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Display settings");
    setChecked(list, itemIndex(list, DisplayTweak), true);
    {
        PendingDialogReader reader;
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_PENDING, 0), 0);
        REQUIRE(PendingDialogReader::seen);
        CHECK_FALSE(PendingDialogReader::noneShown);
        const auto& rows = PendingDialogReader::rows;
        const auto row = std::find_if(rows.begin(), rows.end(), [](const auto& r) { return r[0] == DisplayTweak; });
        REQUIRE(row != rows.end());
        REQUIRE(row->size() == 5);
        CHECK((*row)[1] == L"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System");
        CHECK((*row)[2] == L"NoDispCPL");
        CHECK((*row)[3] == L"(not set)");
        CHECK((*row)[4].find(L"REG_DWORD") == 0);
        CHECK(PendingDialogReader::titles == std::vector<std::wstring>{L"Tweak", L"Location", L"Value name", L"Now", L"After"});
        CHECK_MESSAGE(PendingDialogReader::clipped.empty(), toUtf8(PendingDialogReader::clipped.empty() ? L"" : PendingDialogReader::clipped[0]));
        CHECK(PendingDialogReader::resizable);
    }
    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    {
        // Once saved, the switch is no longer pending.
        PendingDialogReader reader;
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_PENDING, 0), 0);
        REQUIRE(PendingDialogReader::seen);
        const auto& rows = PendingDialogReader::rows;
        CHECK(std::none_of(rows.begin(), rows.end(), [](const auto& r) { return r[0] == DisplayTweak; }));
        CHECK(PendingDialogReader::noneShown == rows.empty());
    }
    deleteValue(PoliciesSystem, L"NoDispCPL");
}

TEST_CASE("the applets are enumerated when something first needs them, and each place that needs them sees them")
{
    // One applet hidden by its "don't load" value: the window shows it checked and exports it.
    const std::vector<ControlPanelApplet> enumerated = EnumerateControlPanel();
    REQUIRE_FALSE(enumerated.empty());  // Wine lists a few of its own
    const ControlPanelItem& applet = enumerated[0].Item;
    const std::wstring caption = AppletCaption(applet.InFolderName);
    const wchar_t* const dontLoad = L"Control Panel\\don't load";
    const auto hiddenInRegistry = [&] {
        wchar_t text[8] = {};
        DWORD size = sizeof text;
        return RegGetValueW(HKEY_CURRENT_USER, dontLoad, applet.Path.c_str(), RRF_RT_REG_SZ, nullptr, text, &size) ==
                   ERROR_SUCCESS &&
               std::wstring(text) == L"Yes";
    };
    REQUIRE(RegSetKeyValueW(HKEY_CURRENT_USER, dontLoad, applet.Path.c_str(), REG_SZ, L"Yes", 8) == ERROR_SUCCESS);
    TempFolder folder, out;
    {
        InProcessWindow first(folder.withSeparator());  // writes the undo snapshot
    }
    const auto shownChecked = [&](InProcessWindow& w) {
        const HWND list = w.window->lstRestrList();
        const int row = itemIndex(list, caption);
        return row >= 0 && listItems(list)[static_cast<size_t>(row)].checked;
    };

    // Nothing is pending for an applet nobody switched, and the save leaves it as it is: those
    // two places show only that they asked for the applets (the model's tests show them
    // acting on one).
    struct Place {
        const char* name;
        std::function<bool(InProcessWindow&)> useAndSeeApplet;
    };
    const Place places[] = {
        {"their group shown",
         [&](InProcessWindow& w) {
             selectGroup(w, L"Control Panel Applets");
             return shownChecked(w);
         }},
        {"the search",
         [&](InProcessWindow& w) {
             typeSearch(w, L"DON'T LOAD");
             return shownChecked(w);
         }},
        {"Edit > Pending changes",
         [&](InProcessWindow& w) {
             PendingDialogReader reader;
             SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_PENDING, 0), 0);
             return PendingDialogReader::seen;
         }},
        {"File > Export",
         [&](InProcessWindow& w) {
             w.exportPath = (out.path / L"applets.reg").wstring();
             MessageBoxAnswerer answerer(IDOK);
             SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTREG, 0), 0);
             const std::string bytes = readBytes(out.path / L"applets.reg");
             std::wstring regText(bytes.size() / 2, L'\0');
             std::memcpy(regText.data(), bytes.data(), regText.size() * 2);
             std::wstring name;  // as regedit escapes it
             for (wchar_t c : applet.Path) name += c == L'\\' ? std::wstring(L"\\\\") : std::wstring(1, c);
             return regText.find(L"\"" + name + L"\"=\"Yes\"") != std::wstring::npos;
         }},
        {"File > Save",
         [&](InProcessWindow& w) {
             w.change();
             SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
             return !w.saveEnabled() && hiddenInRegistry();
         }},
    };
    for (const Place& place : places) {
        CAPTURE(std::string(place.name));
        InProcessWindow w(folder.withSeparator());
        const TAppObjectsList& entries = w.window->Model().FAppObjectsList;
        const auto appletEntries = [&] {
            int count = 0;
            for (int i = 0; i < entries.Count(); ++i) count += entries[i].GroupName == L"CPApplets";
            return count;
        };
        CHECK(appletEntries() == 0);
        CHECK(ImageList_GetImageCount(w.window->AppImageList()) == 0);

        CHECK(place.useAndSeeApplet(w));
        CHECK(appletEntries() == static_cast<int>(enumerated.size()));
        CHECK(ImageList_GetImageCount(w.window->AppImageList()) >= 2);
        MessageBoxAnswerer answerer(IDNO);
        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    }
    CHECK(hiddenInRegistry());
    RegDeleteKeyValueW(HKEY_CURRENT_USER, dontLoad, applet.Path.c_str());
}

TEST_CASE("File > Export writes a .reg file and the two Registry.pol files")
{
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Display settings");
    setChecked(list, itemIndex(list, DisplayTweak), true);
    TempFolder out;

    w.exportPath = (out.path / L"tweaks.reg").wstring();
    {
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTREG, 0), 0);
        for (const std::wstring& caption : MessageBoxAnswerer::captions) CHECK(caption == L"Export");
    }
    const std::string bytes = readBytes(out.path / L"tweaks.reg");
    REQUIRE(bytes.size() > 2);
    CHECK(bytes.substr(0, 2) == "\xFF\xFE");
    std::wstring textOfFile((bytes.size() - 2) / 2, L'\0');
    std::memcpy(textOfFile.data(), bytes.data() + 2, textOfFile.size() * 2);
    CHECK(textOfFile.rfind(L"Windows Registry Editor Version 5.00\r\n", 0) == 0);
    CHECK(textOfFile.find(L"\"NoDispCPL\"=dword:00000001") != std::wstring::npos);

    w.exportPath = out.path.wstring();
    {
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTPOL, 0), 0);
    }
    for (const wchar_t* part : {L"Machine", L"User"}) {
        CAPTURE(fs::path(part).string());
        CHECK(readBytes(out.path / part / L"Registry.pol").substr(0, 4) == "PReg");
    }
    CHECK(readBytes(out.path / L"User" / L"Registry.pol").find("N\0o\0D\0i\0s\0p\0C\0P\0L", 0, 17) != std::string::npos);

    SUBCASE("a file that cannot be written is named in a message")
    {
        w.exportPath = (out.path / L"no such folder" / L"tweaks.reg").wstring();
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTREG, 0), 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        CHECK(MessageBoxAnswerer::texts[0].find(L"tweaks.reg") != std::wstring::npos);
    }
    SUBCASE("only the tweaks changed: the one switched here, and nothing of the rest")
    {
        w.exportContent = ExportContent::Changed;
        w.exportPath = (out.path / L"changed.reg").wstring();
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTREG, 0), 0);
        const std::string changed = readBytes(out.path / L"changed.reg");
        REQUIRE(changed.size() > 2);
        std::wstring text((changed.size() - 2) / 2, L'\0');
        std::memcpy(text.data(), changed.data() + 2, text.size() * 2);
        const auto valueLines = [](const std::wstring& t) {
            int n = 0;
            for (std::size_t at = t.find(L"\"="); at != std::wstring::npos; at = t.find(L"\"=", at + 1)) ++n;
            return n;
        };
        CHECK(text.find(L"\"NoDispCPL\"=dword:00000001") != std::wstring::npos);
        CHECK(valueLines(text) == 1);
        CHECK(valueLines(textOfFile) > 1);  // every tweak as it stands
    }
    SUBCASE("Registry.pol files in place are replaced only when the administrator says so")
    {
        std::ofstream(out.path / L"User" / L"Registry.pol", std::ios::binary | std::ios::trunc) << "kept";
        const std::string before = readBytes(out.path / L"User" / L"Registry.pol");
        w.exportPath = out.path.wstring();
        {
            MessageBoxAnswerer answerer(IDNO);
            SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTPOL, 0), 0);
            REQUIRE(MessageBoxAnswerer::texts.size() == 1);
            CHECK(MessageBoxAnswerer::texts[0].find(L"These files already exist:") == 0);
            CHECK(MessageBoxAnswerer::texts[0].find((out.path / L"User" / L"Registry.pol").wstring()) != std::wstring::npos);
        }
        CHECK(readBytes(out.path / L"User" / L"Registry.pol") == before);
        {
            // Yes to the question; OK to the note on what was left out, when the registry has any.
            MessageBoxAnswerer answerer(std::vector<int>{IDYES, IDOK});
            SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTPOL, 0), 0);
        }
        const std::string after = readBytes(out.path / L"User" / L"Registry.pol");
        CHECK(after.substr(0, 4) == "PReg");
        CHECK(after.find("N\0o\0D\0i\0s\0p\0C\0P\0L", 0, 17) != std::string::npos);
    }
    SUBCASE("a cancelled question writes nothing")
    {
        w.exportContent.reset();
        w.exportPath = (out.path / L"never.reg").wstring();
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTREG, 0), 0);
        CHECK_FALSE(fs::exists(out.path / L"never.reg"));
    }
    SUBCASE("a cancelled choice writes nothing")
    {
        w.exportPath.reset();
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_EXPORTREG, 0), 0);
        CHECK(MessageBoxAnswerer::texts.empty());
    }
    MessageBoxAnswerer answerer(IDNO);
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
}

namespace {

// Makes the list refuse its n-th insert from now on, as a control short of memory does.
class RefusingInsert {
public:
    RefusingInsert(HWND list, int refused) : list_(list), refused_(refused)
    {
        REQUIRE(SetWindowSubclass(list_, Proc, Id, reinterpret_cast<DWORD_PTR>(this)));
    }
    ~RefusingInsert() { RemoveWindowSubclass(list_, Proc, Id); }
    RefusingInsert(const RefusingInsert&) = delete;
    RefusingInsert& operator=(const RefusingInsert&) = delete;

private:
    static LRESULT CALLBACK Proc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
    {
        auto& me = *reinterpret_cast<RefusingInsert*>(self);
        if (message == LVM_INSERTITEMW && ++me.inserts_ == me.refused_) return -1;
        return DefSubclassProc(list, message, wParam, lParam);
    }
    static constexpr UINT_PTR Id = 77;
    HWND list_;
    int refused_;
    int inserts_ = 0;
};

}  // namespace

TEST_CASE("an exception in the middle of filling the list leaves the list working")
{
    deleteValue(PoliciesSystem, L"NoDispCPL");
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Printers");
    {
        MessageBoxAnswerer answerer(IDOK);
        RefusingInsert refusing(list, 3);
        selectGroup(w, L"Display settings");
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        CHECK(MessageBoxAnswerer::texts[0].starts_with(L"ListView_InsertItem: "));
    }
    REQUIRE(ListView_GetItemCount(list) == 2);
    // A click on a check box still switches its tweak.
    CHECK_FALSE(w.saveEnabled());
    setChecked(list, 0, !listItems(list)[0].checked);
    CHECK(w.saveEnabled());
    CHECK_FALSE(text(w.window->lblInfo()).empty());
    // The next fill is whole again.
    selectGroup(w, L"Printers");
    selectGroup(w, L"Display settings");
    CHECK(ListView_GetItemCount(list) == 11);
}

TEST_CASE("a main window that cannot be created ends in a message, not in a crash")
{
    MessageBoxAnswerer answerer(IDOK);
    // This test program carries none of the product's resources: no accelerators, no menu.
    CHECK(RunQuillmark(GetModuleHandleW(nullptr), SW_SHOWNORMAL) == 1);
    REQUIRE(MessageBoxAnswerer::texts.size() == 1);
    CHECK(MessageBoxAnswerer::texts[0].starts_with(L"LoadAcceleratorsW: "));
    CHECK(MessageBoxAnswerer::captions[0] == L"Quillmark");
}

namespace {

// The text colour the window gives a row of the list when it is drawn.
COLORREF rowTextColour(InProcessWindow& w, int index)
{
    const HWND list = w.window->lstRestrList();
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    REQUIRE(ListView_GetItem(list, &item));
    NMLVCUSTOMDRAW draw{};
    draw.nmcd.hdr = {list, static_cast<UINT_PTR>(IDC_RESTRLIST), static_cast<UINT>(NM_CUSTOMDRAW)};
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    CHECK(SendMessageW(GetParent(list), WM_NOTIFY, IDC_RESTRLIST, reinterpret_cast<LPARAM>(&draw)) ==
          CDRF_NOTIFYITEMDRAW);
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = static_cast<DWORD_PTR>(index);
    draw.nmcd.lItemlParam = item.lParam;
    draw.clrText = CLR_DEFAULT;
    SendMessageW(GetParent(list), WM_NOTIFY, IDC_RESTRLIST, reinterpret_cast<LPARAM>(&draw));
    return draw.clrText;
}

void writeBytes(const fs::path& file, const std::vector<std::uint8_t>& bytes)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
}

void writeRegFile(const fs::path& file, const std::wstring& body)
{
    writeBytes(file, RegFileBytes(L"Windows Registry Editor Version 5.00\r\n\r\n" + body));
}

}  // namespace

// Run by the next test case in a copy of this program that Wine tells it runs on the Windows
// named in QM_WINE_VERSION.
TEST_CASE("on one Windows: a tweak of Windows 2000 to 2003 greyed or not, hidden by View, its Supported on line" *
          doctest::skip())
{
    const std::wstring version = env(L"QM_WINE_VERSION");
    const bool xp = version == L"winxp64";
    const std::optional<WindowsVersion> running = runningWindowsVersion();
    REQUIRE(running);
    CHECK(running->Major == (xp ? 5u : 10u));
    CHECK(running->Minor == (xp ? 2u : 0u));

    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Active Desktop");
    // "Windows 2000 to Windows Server 2003": 5.0-5.2. Changing the wallpaper works on every one.
    const std::wstring old = getCaption(L"ForceActiveDesktopOn");
    const std::wstring shown = xp ? old : old + L" (no effect on this Windows)";
    const int index = itemIndex(list, shown);
    REQUIRE(index >= 0);
    CHECK(rowTextColour(w, index) == (xp ? CLR_DEFAULT : GetSysColor(COLOR_GRAYTEXT)));
    const int everywhere = itemIndex(list, getCaption(L"NoChangingWallpaper"));
    REQUIRE(everywhere >= 0);
    CHECK(rowTextColour(w, everywhere) == CLR_DEFAULT);

    // Selected, it shows its description and under it the Windows it works on; it still switches.
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    CHECK(text(w.window->lblInfo()) == getDescr(L"ForceActiveDesktopOn"));
    CHECK(text(w.window->lblSupported()) == L"Supported on: Windows 2000 to Windows Server 2003");
    setChecked(list, index, true);
    CHECK(w.saveEnabled());
    snapshot(w.hwnd(), L"gui_supported_on_" + version + L".bmp");
    setChecked(list, index, false);

    const auto viewChecked = [&] {
        return (GetMenuState(GetMenu(w.hwnd()), IDM_HIDENOEFFECT, MF_BYCOMMAND) & MF_CHECKED) != 0;
    };
    CHECK_FALSE(viewChecked());
    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_HIDENOEFFECT, 0), 0);
    CHECK(viewChecked());
    CHECK((itemIndex(list, shown) >= 0) == xp);
    CHECK(itemIndex(list, getCaption(L"NoChangingWallpaper")) >= 0);
    CHECK(TEncriptor(w.folder.file(L"quillmark.dat"), true).GetBool(HideWithoutEffectEntry, false));
    // The search leaves it out too.
    SetWindowTextW(w.window->edtSearch(), L"Active Desktop");
    CHECK((itemIndex(list, shown) >= 0) == xp);
    SetWindowTextW(w.window->edtSearch(), L"");

    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_HIDENOEFFECT, 0), 0);
    CHECK_FALSE(viewChecked());
    CHECK(itemIndex(list, shown) >= 0);
    MessageBoxAnswerer answerer(IDNO);  // the switch above left unsaved changes
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
}

// Wine reports the Windows version named for a program under HKCU\Software\Wine\AppDefaults,
// read when the process starts: a copy of this program, so named, runs the case above.
TEST_CASE("the same tweak greyed on Windows 10 and not on Windows XP x64, and the View option hiding it")
{
    wchar_t self[MAX_PATH] = {};
    REQUIRE(GetModuleFileNameW(nullptr, self, MAX_PATH) > 0);
    for (const std::wstring version : {L"winxp64", L"win10"}) {
        CAPTURE(std::string(version.begin(), version.end()));
        TempFolder folder;
        const std::wstring name = L"qm_as_" + version + L".exe";
        fs::copy_file(self, folder.path / name);
        const std::wstring appDefaults = L"Software\\Wine\\AppDefaults\\" + name;
        REQUIRE(RegSetKeyValueW(HKEY_CURRENT_USER, appDefaults.c_str(), L"Version", REG_SZ, version.c_str(),
                                static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
        const ScopeExit forget([&] { RegDeleteTreeW(HKEY_CURRENT_USER, appDefaults.c_str()); });
        REQUIRE(SetEnvironmentVariableW(L"QM_WINE_VERSION", version.c_str()));

        const fs::path report = folder.path / L"report.txt";
        std::wstring commandLine = L"\"" + (folder.path / name).wstring() +
                                   L"\" --no-skip --test-case=\"on one Windows*\" --out=" + report.wstring();
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        REQUIRE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
        Unique<HANDLE, &CloseHandle> process(pi.hProcess), thread(pi.hThread);
        REQUIRE(WaitForSingleObject(process.get(), 120000) == WAIT_OBJECT_0);
        DWORD exitCode = 1;
        GetExitCodeProcess(process.get(), &exitCode);
        const std::string output = testsupport::readBytes(report);
        CAPTURE(output);
        CHECK(output.find("1 passed") != std::string::npos);  // the case ran, and was not skipped
        CHECK(exitCode == 0);
    }
}

TEST_CASE("keyboard: Tab and Shift+Tab go round every pane and out of the location box; Down enters the results; F1 opens About")
{
    InProcessWindow w;
    const HWND search = w.window->edtSearch(), tree = w.window->trvCategories(), list = w.window->lstRestrList(),
               location = w.window->edtLocation();
    selectGroup(w, L"Media Player");
    const int index = itemIndex(list, getCaption(L"TitleBar"));
    REQUIRE(index >= 0);
    ListView_SetItemState(list, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    setChecked(list, index, true);  // its text box enabled, so that Tab stops in the frame
    const TOptionFrame* frame = w.window->FLastFrame();
    REQUIRE(frame);
    REQUIRE(IsWindowVisible(location));
    const auto focused = [] { return GetFocus(); };
    const auto inFrame = [&] { return IsChild(frame->hwnd(), GetFocus()) != FALSE; };

    SetFocus(search);
    pressKey(w, focused(), VK_TAB);
    CHECK(focused() == tree);
    pressKey(w, focused(), VK_TAB);
    CHECK(focused() == list);
    pressKey(w, focused(), VK_TAB);
    CHECK(inFrame());
    for (int i = 0; i < 4 && inFrame(); ++i) pressKey(w, focused(), VK_TAB);  // the frame's own stops
    CHECK(focused() == w.window->lblInfo());  // the description, to scroll a long one
    pressKey(w, focused(), VK_TAB);
    CHECK(focused() == location);
    // Out of the location box and, within a few steps, round to the search box again.
    pressKey(w, focused(), VK_TAB);
    CHECK(focused() != location);
    for (int i = 0; i < 4 && focused() != search; ++i) pressKey(w, focused(), VK_TAB);
    CHECK(focused() == search);

    // Backwards from the location box through the same panes.
    SetFocus(location);
    pressKey(w, focused(), VK_TAB, false, true);
    CHECK(focused() == w.window->lblInfo());
    pressKey(w, focused(), VK_TAB, false, true);
    CHECK(inFrame());
    SetFocus(list);
    pressKey(w, focused(), VK_TAB, false, true);
    CHECK(focused() == tree);
    pressKey(w, focused(), VK_TAB, false, true);
    CHECK(focused() == search);

    // Down in the search box: the first result focused and selected, so the list shows where it is.
    typeSearch(w, L"DON'T LOAD");
    REQUIRE(ListView_GetItemCount(list) > 0);
    REQUIRE(ListView_GetNextItem(list, -1, LVNI_FOCUSED) < 0);
    SetFocus(search);
    pressKey(w, search, VK_DOWN);
    CHECK(focused() == list);
    CHECK(ListView_GetNextItem(list, -1, LVNI_FOCUSED) == 0);
    CHECK(ListView_GetNextItem(list, -1, LVNI_SELECTED) == 0);

    // F1 anywhere in the window: About, the help there is without a shipped manual.
    MessageBoxAnswerer answerer(IDOK);
    pressKey(w, list, VK_F1);
    REQUIRE(MessageBoxAnswerer::captions.size() == 1);
    CHECK(MessageBoxAnswerer::captions[0].find(L"About") != std::wstring::npos);
}

TEST_CASE("an application list takes a typed program name, which the save puts into DisallowRun")
{
    const std::wstring listKey = std::wstring(PoliciesExplorer) + L"\\DisallowRun";
    RegDeleteTreeW(HKEY_CURRENT_USER, listKey.c_str());
    deleteValue(PoliciesExplorer, L"DisallowRun");
    InProcessWindow w;
    TframeApplications* apps = &switchOnDisallowRun(w);

    {
        // A name without its extension would never match: refused with the reason.
        MessageBoxAnswerer answerer(IDOK);
        SetWindowTextW(apps->edtName(), L"portable");
        SendMessageW(apps->btnAddName(), BM_CLICK, 0, 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        CHECK(MessageBoxAnswerer::texts[0].find(L"extension") != std::wstring::npos);
        CHECK(ListView_GetItemCount(apps->lstFiles()) == 0);
    }
    SetWindowTextW(apps->edtName(), L"  portable.exe ");
    SendMessageW(apps->btnAddName(), BM_CLICK, 0, 0);
    REQUIRE(ListView_GetItemCount(apps->lstFiles()) == 1);
    CHECK(subItemText(apps->lstFiles(), 0, 0) == L"portable.exe");
    CHECK(text(apps->edtName()).empty());
    CHECK(w.saveEnabled());

    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    std::vector<std::wstring> programs;
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, listKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS);
    for (DWORD i = 0;; ++i) {
        wchar_t name[64], data[260];
        DWORD nameSize = 64, dataSize = sizeof data, type = 0;
        if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS)
            break;
        if (type == REG_SZ) programs.push_back(data);
    }
    RegCloseKey(key);
    CHECK(programs == std::vector<std::wstring>{L"portable.exe"});

    RegDeleteTreeW(HKEY_CURRENT_USER, listKey.c_str());
    deleteValue(PoliciesExplorer, L"DisallowRun");
}

TEST_CASE("File > Open profile: the profile's tweaks become pending changes, values of no tweak a .reg file")
{
    deleteValue(PoliciesSystem, L"NoDispCPL");
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    selectGroup(w, L"Display settings");
    TempFolder files;
    w.profilePath = (files.path / L"profile.reg").wstring();
    w.exportPath = (files.path / L"others.reg").wstring();
    writeRegFile(*w.profilePath, L"[HKEY_CURRENT_USER\\" + std::wstring(PoliciesSystem) +
                                     L"]\r\n\"NoDispCPL\"=dword:00000001\r\n\"Stranger\"=dword:00000005\r\n");
    {
        MessageBoxAnswerer answerer(IDYES);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_OPENPROFILE, 0), 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        const std::wstring& said = MessageBoxAnswerer::texts[0];
        CHECK(said.rfind(L"The profile changed 1 tweak, applet or application list.", 0) == 0);
        CHECK(said.find(L"1 value belongs to no tweak and was not taken:\n\nHKEY_CURRENT_USER\\" +
                        std::wstring(PoliciesSystem) + L": Stranger = REG_DWORD 0x00000005 (5)") != std::wstring::npos);
    }
    // Shown as switched, pending, not written.
    CHECK(listItems(list)[static_cast<size_t>(itemIndex(list, DisplayTweak))].checked);
    CHECK(w.saveEnabled());
    CHECK_FALSE(readDword(PoliciesSystem, L"NoDispCPL"));
    const std::string others = testsupport::readBytes(files.path / L"others.reg");
    CHECK(ReadRegFile({others.begin(), others.end()}) ==
          std::vector<ProfileKey>{{kHkeyCurrentUser, PoliciesSystem, ProfileKey::Removal::None, true,
                                   {{L"Stranger", RegValue{kRegDword, {5, 0, 0, 0}}}}}});

    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    CHECK(readDword(PoliciesSystem, L"NoDispCPL") == 1u);

    SUBCASE("a damaged profile is named by its line and changes nothing")
    {
        writeRegFile(*w.profilePath, L"[HKEY_CURRENT_USER\\" + std::wstring(PoliciesSystem) +
                                         L"]\r\n\"NoDispCPL\"=dword:0\r\n\"Broken\"=dword:\r\n");
        MessageBoxAnswerer answerer(IDOK);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_OPENPROFILE, 0), 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        CHECK(MessageBoxAnswerer::texts[0].rfind(L"The profile cannot be read; nothing was changed.", 0) == 0);
        CHECK(MessageBoxAnswerer::texts[0].find(L"profile.reg\", line 5: dword: needs") != std::wstring::npos);
        CHECK_FALSE(w.saveEnabled());
        CHECK(listItems(list)[static_cast<size_t>(itemIndex(list, DisplayTweak))].checked);
    }
    SUBCASE("a Registry.pol part with the other part beside it: this part alone, or both")
    {
        const fs::path user = files.path / L"gpo" / L"User" / L"Registry.pol";
        writeBytes(user, PolicyFileBytes({{kHkeyCurrentUser, PoliciesSystem, ProfileKey::Removal::None, true,
                                           {{L"NoDispCPL", std::nullopt}}}},
                                         kHkeyCurrentUser));
        writeBytes(files.path / L"gpo" / L"Machine" / L"Registry.pol",
                   PolicyFileBytes({{kHkeyLocalMachine, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                                     ProfileKey::Removal::None, true, {{L"DisableCAD", RegValue{kRegDword, {0, 0, 0, 0}}}}}},
                                   kHkeyLocalMachine));
        w.profilePath = user.wstring();
        const int disableCad = w.window->Model().FAppObjectsList.IndexOf(L"DisableCAD");
        REQUIRE(disableCad >= 0);
        const bool cadBefore = w.window->Model().FAppObjectsList[disableCad].SetValue;
        {
            MessageBoxAnswerer answerer(std::vector<int>{ProfileReadingButton + 1, IDOK});  // only this part
            SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_OPENPROFILE, 0), 0);
            CHECK(MessageBoxAnswerer::texts.size() == 2);
        }
        CHECK_FALSE(listItems(list)[static_cast<size_t>(itemIndex(list, DisplayTweak))].checked);
        CHECK(w.window->Model().FAppObjectsList[disableCad].SetValue == cadBefore);
        {
            MessageBoxAnswerer answerer(std::vector<int>{ProfileReadingButton + 0, IDOK});  // both parts
            SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_OPENPROFILE, 0), 0);
        }
        CHECK(w.window->Model().FAppObjectsList[disableCad].SetValue);
        {
            MessageBoxAnswerer answerer(IDCANCEL);  // the choice cancelled: nothing read
            w.window->Model().FAppObjectsList[disableCad].SetValue = cadBefore;
            SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_OPENPROFILE, 0), 0);
            CHECK(MessageBoxAnswerer::texts.size() == 1);
        }
        CHECK(w.window->Model().FAppObjectsList[disableCad].SetValue == cadBefore);
    }
    deleteValue(PoliciesSystem, L"NoDispCPL");
    MessageBoxAnswerer answerer(IDNO);
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
}

namespace {

std::vector<std::wstring> comboItems(HWND combo)
{
    std::vector<std::wstring> items;
    for (int i = 0; i < ComboBox_GetCount(combo); ++i) {
        wchar_t item[512] = {};
        ComboBox_GetLBText(combo, i, item);
        items.emplace_back(item);
    }
    return items;
}

// Opens the chooser (which reads the computer's profiles then), picks a user and closes it.
void chooseUser(InProcessWindow& w, const std::wstring& caption)
{
    const HWND combo = w.window->cmbUser();
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    const std::vector<std::wstring> items = comboItems(combo);
    const auto it = std::find(items.begin(), items.end(), caption);
    if (it != items.end()) ComboBox_SetCurSel(combo, static_cast<int>(it - items.begin()));
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    CAPTURE(toUtf8(caption));
    REQUIRE_MESSAGE(it != items.end(), "no such user in the chooser");
}

bool listChecked(InProcessWindow& w, const std::wstring& caption)
{
    const HWND list = w.window->lstRestrList();
    const int index = itemIndex(list, caption);
    REQUIRE_MESSAGE(index >= 0, "no such tweak in the list");
    return listItems(list)[static_cast<size_t>(index)].checked;
}

}  // namespace

TEST_CASE("another user's restrictions in the window: shown from that user's hive, saved into it, unloaded after")
{
    deleteValue(PoliciesSystem, L"NoDispCPL");
    deleteValue(PoliciesSystem, L"NoDispBackgroundPage");
    // bob, not signed in: a profile folder whose NTUSER.DAT has the Display Control Panel off.
    const testsupport::HiveFile hive({{PoliciesSystem, L"NoDispCPL", 1}});
    const testsupport::ListedProfile bob(L"S-1-5-21-0-0-0-1301", hive.folder.path.wstring());
    const std::wstring disableDisplay = L"Disable the Display Control Panel";
    const auto background = [] { return getCaption(L"NoDispBackgroundPage"); };  // once the window has the scheme

    SUBCASE("started with /user: a save goes into bob's hive, and closing unloads it")
    {
        InProcessWindow w({}, {}, true, bob.sid);
        CHECK(text(w.hwnd()) == L"Quillmark - restrictions of " + bob.sid);
        CHECK(text(w.window->cmbUser()) == bob.sid);
        const std::vector<std::wstring> mounts = testsupport::quillmarkMounts();
        REQUIRE(mounts.size() == 1);
        const std::wstring bobsPolicies = mounts[0] + L"\\" + PoliciesSystem;

        selectGroup(w, L"Display settings");
        CHECK(listChecked(w, disableDisplay));  // bob's, while the running user has it off
        CHECK_FALSE(listChecked(w, background()));
        setChecked(w.window->lstRestrList(), itemIndex(w.window->lstRestrList(), background()), true);
        {
            MessageBoxAnswerer answerer(IDOK);
            SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
            REQUIRE(MessageBoxAnswerer::texts.size() == 1);
            CHECK(MessageBoxAnswerer::texts[0].starts_with(L"The restrictions of " + bob.sid + L" were saved."));
        }
        CHECK_FALSE(w.saveEnabled());
        // Read while the hive is loaded: Wine does not write a loaded hive back to its file when
        // it is unloaded (Windows does), so after closing nothing of the save could be seen.
        const std::string saved = regQuery(L"\"HKU\\" + bobsPolicies + L"\" /v NoDispBackgroundPage");
        CAPTURE(saved);
        CHECK(saved.find("REG_DWORD    0x1\n") != std::string::npos);
        CHECK_FALSE(readDword(PoliciesSystem, L"NoDispBackgroundPage"));
        CHECK_FALSE(readDword(PoliciesSystem, L"NoDispCPL"));

        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
        CHECK_FALSE(IsWindow(w.hwnd()));
        CHECK(testsupport::quillmarkMounts().empty());
    }
    SUBCASE("picked in the chooser: bob's check marks, then the running user's own again and no mount left")
    {
        InProcessWindow w;
        selectGroup(w, L"Display settings");
        CHECK_FALSE(listChecked(w, disableDisplay));
        chooseUser(w, bob.sid);
        CHECK(text(w.hwnd()) == L"Quillmark - restrictions of " + bob.sid);
        CHECK(testsupport::quillmarkMounts().size() == 1);
        CHECK(listChecked(w, disableDisplay));
        snapshot(w.hwnd(), L"gui_other_user.bmp");

        chooseUser(w, shownUserName() + L" (you)");
        CHECK(text(w.hwnd()) == L"Quillmark");
        CHECK(testsupport::quillmarkMounts().empty());
        CHECK_FALSE(listChecked(w, disableDisplay));
    }
}

TEST_CASE("not elevated: one line says how many tweaks cannot be saved, beside Restart as administrator")
{
    InProcessWindow w({}, {}, true, {}, [] { return false; });
    CHECK(IsWindowVisible(w.window->lblElevation()));
    CHECK(IsWindowVisible(w.window->btnRestart()));
    const std::wstring line = text(w.window->lblElevation());
    CHECK(line.starts_with(L"Not running as administrator: "));
    CHECK(line == NotElevatedText(w.window->Model().TweaksNeedingElevation()));
    CHECK(w.window->Model().TweaksNeedingElevation() > 0);
    CHECK(text(w.window->btnRestart()) == RestartAsAdministratorText);
    snapshot(w.hwnd(), L"gui_not_elevated.bmp");
}

TEST_CASE("Not configured: the state column, Edit > Remove from registry and the list's context menu")
{
    const wchar_t* const Advanced = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced";
    setDword(PoliciesSystem, L"NoDispCPL", 1);
    deleteValue(PoliciesSystem, L"NoDispAppearancePage");
    const std::optional<DWORD> persist = readDword(Advanced, L"PersistBrowsers");
    setDword(Advanced, L"PersistBrowsers", 0);
    const ScopeExit restore([&] {
        deleteValue(PoliciesSystem, L"NoDispCPL");
        if (persist)
            setDword(Advanced, L"PersistBrowsers", *persist);
        else
            deleteValue(Advanced, L"PersistBrowsers");
    });
    InProcessWindow w;
    const HWND list = w.window->lstRestrList();
    const HMENU edit = GetSubMenu(GetMenu(w.hwnd()), 1);
    // As Windows asks before the Edit menu opens.
    const auto offeredInEdit = [&] {
        SendMessageW(w.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(edit), 1);
        return (GetMenuState(edit, IDM_REMOVEFROMREGISTRY, MF_BYCOMMAND) & MF_GRAYED) == 0;
    };
    std::vector<bool> offeredInContext;
    int contextCommand = 0;
    w.contextMenu = [&](HMENU menu) {
        offeredInContext.push_back((GetMenuState(menu, IDM_REMOVEFROMREGISTRY, MF_BYCOMMAND) & MF_GRAYED) == 0);
        return contextCommand;
    };

    selectGroup(w, L"Display settings");
    const std::wstring cplCaption = getCaption(L"NoDispCPL");
    const int cpl = itemIndex(list, cplCaption), appearance = itemIndex(list, getCaption(L"NoDispAppearancePage"));
    REQUIRE(cpl >= 0);
    REQUIRE(appearance >= 0);
    CHECK(subItemText(list, appearance, 1) == L"Not configured");
    CHECK(subItemText(list, cpl, 1).empty());
    CHECK(listItems(list)[cpl].checked);
    // Switched on, it is about to get a value; back off, it is not configured again.
    setChecked(list, appearance, true);
    CHECK(subItemText(list, appearance, 1).empty());
    setChecked(list, appearance, false);
    CHECK(subItemText(list, appearance, 1) == L"Not configured");
    CHECK(w.saveEnabled());
    CHECK_FALSE(offeredInEdit());  // nothing selected
    selectItem(list, appearance);
    CHECK_FALSE(offeredInEdit());  // nothing there to remove
    SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));  // Shift+F10
    selectItem(list, cpl);
    CHECK(offeredInEdit());
    RECT row{};
    ListView_GetItemRect(list, cpl, &row, LVIR_LABEL);
    POINT at{row.left + 4, row.top + 4};
    ClientToScreen(list, &at);
    contextCommand = IDM_REMOVEFROMREGISTRY;
    SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(at.x, at.y));  // right click
    CHECK(offeredInContext == std::vector<bool>{false, true});

    // Marked: switched off and not configured at once; the value goes at the save.
    const int marked = itemIndex(list, cplCaption);
    CHECK_FALSE(listItems(list)[marked].checked);
    CHECK(listItems(list)[marked].image == ImageUnchecked);
    CHECK(subItemText(list, marked, 1) == L"Not configured");
    CHECK(w.saveEnabled());
    CHECK(readDword(PoliciesSystem, L"NoDispCPL") == 1u);
    CHECK_FALSE(offeredInEdit());
    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    CHECK_FALSE(readDword(PoliciesSystem, L"NoDispCPL"));
    wchar_t status[256] = {};
    SendMessageW(w.window->stbStatus(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(status));
    CHECK(std::wstring(status) == L"Saved for " + shownUserName() + L" and this computer: 1 value removed.");
    CHECK(rectIn(w.window->stbStatus(), w.hwnd()).bottom == [&] {
        RECT client;
        GetClientRect(w.hwnd(), &client);
        return client.bottom;
    }());
    CHECK(regQuery(L"\"HKEY_CURRENT_USER\\" + std::wstring(PoliciesSystem) + L"\" /v NoDispCPL").find("NoDispCPL") ==
          std::string::npos);
    selectGroup(w, L"Display settings");  // shown anew from the entries and the registry
    CHECK(subItemText(list, itemIndex(list, cplCaption), 1) == L"Not configured");
    CHECK_FALSE(listItems(list)[itemIndex(list, cplCaption)].checked);
    snapshot(w.hwnd(), L"gui_not_configured.bmp");

    // A value outside a Policies key has a Windows default of its own: not offered.
    selectGroup(w, getCaption(L"Group_DesktopExplorer"));
    const int persistRow = itemIndex(list, getCaption(L"PersistBrowsers"));
    REQUIRE(persistRow >= 0);
    CHECK(subItemText(list, persistRow, 1).empty());
    selectItem(list, persistRow);
    CHECK_FALSE(offeredInEdit());
    contextCommand = 0;
    SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
    CHECK(offeredInContext.back() == false);
    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_REMOVEFROMREGISTRY, 0), 0);
    CHECK(readDword(Advanced, L"PersistBrowsers") == 0u);
    CHECK_FALSE(w.saveEnabled());
}

TEST_CASE("Undo all + Save leaves the touched keys as reg export showed them at the first start, an application list's key included")
{
    // No Policies\Explorer at the first start: the save creates it, and the undo removes it again.
    RegDeleteTreeW(HKEY_CURRENT_USER, PoliciesExplorer);
    deleteValue(PoliciesSystem, L"NoDispCPL");
    deleteValue(PoliciesSystem, L"NoDispAppearancePage");
    TempFolder exports{"undo_export"};
    const auto exported = [&](const std::wstring& name) {
        const fs::path file = exports.path / name;
        runReg(L"export \"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\" \"" +
               file.wstring() + L"\" /y");
        return readBytes(file);
    };
    const std::string first = exported(L"first.reg");

    InProcessWindow w;  // a first start: it writes the undo snapshot
    const HWND list = w.window->lstRestrList();
    const auto switchOn = [&](const std::wstring& group, const wchar_t* tweak) {
        selectGroup(w, group);
        const int index = itemIndex(list, getCaption(tweak));
        REQUIRE(index >= 0);
        setChecked(list, index, true);
    };
    switchOn(L"Display settings", L"NoDispCPL");
    switchOn(L"Display settings", L"NoDispAppearancePage");
    switchOn(getCaption(L"Group_StartMenuTaskbar"), L"NoRun");
    switchOn(getCaption(L"Group_StartMenuTaskbar"), L"NoClose");
    // An application list that was not there either: a typed program, and its tweak on.
    TframeApplications& apps = switchOnDisallowRun(w);
    SetWindowTextW(apps.edtName(), L"portable.exe");
    SendMessageW(apps.btnAddName(), BM_CLICK, 0, 0);
    REQUIRE(ListView_GetItemCount(apps.lstFiles()) == 1);
    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    REQUIRE(readDword(PoliciesExplorer, L"NoRun") == 1u);
    const std::wstring listKey = std::wstring(PoliciesExplorer) + L"\\DisallowRun";
    HKEY key = nullptr;
    REQUIRE(RegOpenKeyExW(HKEY_CURRENT_USER, listKey.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS);
    RegCloseKey(key);
    REQUIRE(exported(L"saved.reg") != first);

    {
        MessageBoxAnswerer answerer(IDYES);
        SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_UNDOALL, 0), 0);
    }
    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    CHECK(exported(L"undone.reg") == first);
    for (const std::wstring& gone : {listKey, std::wstring(PoliciesExplorer)}) {
        INFO(toUtf8(gone));
        key = nullptr;
        CHECK(RegOpenKeyExW(HKEY_CURRENT_USER, gone.c_str(), 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND);
        if (key) RegCloseKey(key);
    }
}

TEST_CASE("the split bars move by keyboard: View's items give them the focus, the arrows move them, Enter gives it back")
{
    forgetPlacement();
    InProcessWindow w;
    const int step = scaleToDpi(layout::SplitterKeyStep, static_cast<int>(GetDpiForWindow(w.hwnd())));
    const HWND tree = w.window->trvCategories(), list = w.window->lstRestrList();
    selectGroup(w, L"Display settings");
    SetFocus(list);

    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_MOVECATEGORIESBAR, 0), 0);
    const HWND bar = GetFocus();
    CHECK(bar == GetDlgItem(w.hwnd(), IDC_CATEGORIESSPLITTER));
    const int width = rectIn(tree, w.hwnd()).width();
    pressKey(w, bar, VK_RIGHT);
    pressKey(w, bar, VK_RIGHT);
    CHECK(rectIn(tree, w.hwnd()).width() == width + 2 * step);
    pressKey(w, bar, VK_LEFT);
    CHECK(rectIn(tree, w.hwnd()).width() == width + step);
    CHECK(rectIn(bar, w.hwnd()).left == rectIn(tree, w.hwnd()).right);
    snapshot(w.hwnd(), L"gui_splitter_keyboard.bmp");
    pressKey(w, bar, VK_RETURN);
    CHECK(GetFocus() == list);

    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_MOVEDESCRIPTIONBAR, 0), 0);
    const HWND horizontal = GetFocus();
    CHECK(horizontal == GetDlgItem(GetParent(list), IDC_OPTSPLITTER));
    const int listHeight = rectIn(list, w.hwnd()).height();
    pressKey(w, horizontal, VK_UP);  // the description panel grows
    CHECK(rectIn(list, w.hwnd()).height() == listHeight - step);
    pressKey(w, horizontal, VK_ESCAPE);
    CHECK(GetFocus() == list);
}
