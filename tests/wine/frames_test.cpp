// The option frames as real windows: driven by messages in a test window, checked against
// their entries, the settings store, the registry (also through reg.exe) and the drives.
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/drivemask.h"
#include "app/mainmodel.h"
#include "app/pathrules.h"
#include "app/runlists.h"
#include "base/text.h"
#include "base/win/handles.h"
#include "base/win/module.h"
#include "registry/applytweak.h"
#include "registry/tweakstate.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/files.h"
#include "tests/support/program.h"
#include "tests/support/screenshot.h"
#include "ui/dialoghelpers.h"
#include "ui/frames/applications.h"
#include "ui/frames/drives.h"
#include "ui/frames/textedit.h"

namespace fs = std::filesystem;
using namespace regtest;

namespace {

const wchar_t* const TestWindowClass = L"QuillmarkFramesTest";

void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// A top-level window with a panel of the option panel's design size, and a host over a
// few entries that records every SettingsChanged call.
struct FrameBench : OptionFrameHost {
    HWND top = nullptr, panel = nullptr;
    TAppObjectsList entries;
    std::vector<int> changes;

    FrameBench() {
        static bool initialised = [] {
            INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES};
            InitCommonControlsEx(&controls);
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
            wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
            wc.lpszClassName = TestWindowClass;
            return RegisterClassW(&wc) != 0;
        }();
        REQUIRE(initialised);
        top = CreateWindowExW(0, TestWindowClass, L"Option frame", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE,
                              40, 40, 500, 380, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        REQUIRE(top);
        panel = CreateWindowExW(WS_EX_CONTROLPARENT, TestWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                8, 8, 451, 304, top, nullptr, GetModuleHandleW(nullptr), nullptr);
        REQUIRE(panel);
        pump();
    }
    ~FrameBench() { DestroyWindow(top); }

    TRestrListRec& Entry(int ObjectIndex) override { return entries[ObjectIndex]; }
    void OnSettingsChanged(int ObjectIndex) override { changes.push_back(ObjectIndex); }

    int add(const wchar_t* name, const wchar_t* frame, bool set, const std::wstring& text = {}, int number = 0,
            const wchar_t* group = L"Group_Types") {
        auto entry = std::make_unique<TRestrListRec>();
        entry->AppName = name;
        entry->GroupName = group;
        entry->AType = L"CheckBox";
        entry->AFrame = frame;
        entry->SetValue = set;
        entry->cValue = text;
        entry->nValue = number;
        return entries.Add(std::move(entry));
    }

    template <class Frame>
    std::unique_ptr<Frame> show(FrameKind kind, int index) {
        std::unique_ptr<TOptionFrame> frame = CreateOptionFrame(kind, panel, *this, index);
        REQUIRE(frame);
        auto* typed = dynamic_cast<Frame*>(frame.get());
        REQUIRE(typed);
        frame.release();
        pump();
        return std::unique_ptr<Frame>(typed);
    }

    // What the screen shows of the window, in front of the others, among the test artifacts.
    void screenshot(const wchar_t* name) {
        SetWindowPos(top, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        pump();
        testsupport::screenshot(top, name);
    }
};

void click(HWND frame, HWND button) {
    SendMessageW(frame, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    pump();
}

// Answers the modal dialog the next call opens: every tick looks for a dialog window of
// this thread and hands it to the next step, until the steps are used up.
class ModalAnswer {
public:
    using Step = std::function<void(HWND dialog)>;
    explicit ModalAnswer(std::vector<Step> steps) {
        steps_ = std::move(steps);
        next_ = 0;
        seen_ = nullptr;
        timer_ = SetTimer(nullptr, 0, 300, tick);
    }
    ~ModalAnswer() { KillTimer(nullptr, timer_); }
    ModalAnswer(const ModalAnswer&) = delete;
    ModalAnswer& operator=(const ModalAnswer&) = delete;
    static bool done() { return next_ >= steps_.size(); }

private:
    static BOOL CALLBACK findDialog(HWND hwnd, LPARAM found) {
        wchar_t name[16];
        GetClassNameW(hwnd, name, 16);
        if (IsWindowVisible(hwnd) && std::wstring(name) == L"#32770") {
            *reinterpret_cast<HWND*>(found) = hwnd;
            return FALSE;
        }
        return TRUE;
    }
    // A step runs on the second tick that sees the dialog, once it has settled.
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (done()) return;
        HWND dialog = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&dialog));
        if (!dialog || dialog != seen_) {
            seen_ = dialog;
            return;
        }
        seen_ = nullptr;
        steps_[next_++](dialog);
    }
    static inline std::vector<Step> steps_;
    static inline std::size_t next_ = 0;
    static inline HWND seen_ = nullptr;
    UINT_PTR timer_ = 0;
};

void pressOk(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); }
void pressCancel(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); }
// The open dialog's file name box, then OK.
ModalAnswer::Step typeFileName(const std::wstring& text) {
    return [text](HWND dialog) {
        HWND box = GetDlgItem(dialog, 0x47C /* cmb13 */);
        if (!box) box = GetDlgItem(dialog, 0x480 /* edt1 */);
        REQUIRE(box);
        SetWindowTextW(box, text.c_str());
        pressOk(dialog);
    };
}

// A file drop as the shell sends it: one path.
HDROP makeDrop(const std::wstring& path) {
    const size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    auto* names = reinterpret_cast<wchar_t*>(drop + 1);
    std::copy(path.begin(), path.end(), names);
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

void dropOn(HWND edit, const std::wstring& path) {
    SendMessageW(edit, WM_DROPFILES, reinterpret_cast<WPARAM>(makeDrop(path)), 0);
    pump();
}

// A scratch folder with a blank in its name and two programs in it.
struct ScratchFiles {
    testsupport::TempFolder folder{"frames scratch"};
    ScratchFiles() {
        fs::create_directories(folder.path / L"sub");
        for (const wchar_t* name : {L"alpha.exe", L"beta tool.exe"}) testsupport::writeBytes(folder.path / name, "x");
    }
    std::wstring path(const wchar_t* name) const { return folder.file(name); }
};

// reg.exe's own output for a command line.
std::string regOutput(const std::wstring& arguments, const testsupport::Where& where = testsupport::Where::current()) {
    return testsupport::runReg(arguments, where).output;
}

// The scratch keys of the fixture scheme, and the real run-list keys, cleaned before and after.
struct CleanRegistry {
    CleanRegistry() { clean(); }
    ~CleanRegistry() { clean(); }
    static void clean() {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\QuillmarkTest");
        for (const wchar_t* list : {DisallowRunName, RestrictRunName})
            RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(RunListsKey) + list).c_str());
    }
};

}  // namespace

TEST_CASE("the drives frame lists the letters with the drives Wine has") {
    FrameBench bench;
    const int index = bench.add(L"T_Integer", L"frameDrives", true, {}, 5);
    auto frame = bench.show<TframeDrives>(FrameKind::Drives, index);
    const HWND list = frame->lstDrives();

    REQUIRE(ListView_GetItemCount(list) == 26);
    std::wstring present;
    wchar_t roots[105];
    const DWORD length = GetLogicalDriveStringsW(105, roots);
    for (const std::wstring& root : SplitDriveRoots(std::wstring(roots, length))) present += root[0];
    CHECK(present.find(L'C') != std::wstring::npos);

    auto cell = [&](int row, int column) {
        wchar_t text[300] = {};
        ListView_GetItemText(list, row, column, text, 300);
        return std::wstring(text);
    };
    for (int row = 0; row < 26; ++row) {
        const wchar_t letter = static_cast<wchar_t>(L'A' + row);
        CHECK(cell(row, 0) == std::wstring{letter, L':'});
        if (present.find(letter) == std::wstring::npos) {
            CHECK((cell(row, 1).empty() && cell(row, 2).empty()));
        } else {
            CHECK_FALSE(cell(row, 2).empty());
            // The label is the shell's display name without its "(X:)" part; Wine's drives
            // usually have no volume name, which leaves it empty.
            const std::wstring root{letter, L':', L'\\'};
            SHFILEINFOW info{};
            REQUIRE(SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME));
            std::wstring name = info.szDisplayName;
            name.erase(0, name.find_first_not_of(L' '));
            CHECK(cell(row, 1) == name.substr(0, name.find(std::wstring(L"(") + letter + L":")));
            MESSAGE(toUtf8(cell(row, 0) + L" [" + cell(row, 1) + L"] " + cell(row, 2)));
        }
    }
    CHECK(cell(2, 2) == L"Hard drive");

    std::vector<int> checked;
    for (int row = 0; row < 26; ++row)
        if (ListView_GetCheckState(list, row)) checked.push_back(row);
    CHECK(checked == std::vector<int>{0, 2});
    CHECK(bench.changes.empty());
    CHECK(IsWindowEnabled(list));
    bench.screenshot(L"frames_drives.bmp");

    ListView_SetCheckState(list, 1, TRUE);
    pump();
    CHECK(bench.entries[index].nValue == 7);
    ListView_SetCheckState(list, 1, FALSE);
    pump();
    CHECK(bench.entries[index].nValue == 5);
    CHECK(bench.changes == std::vector<int>{-1, -1});

    SUBCASE("a click on a row's check box selects the row, checks it and focuses the list") {
        SetFocus(GetParent(list));
        REQUIRE(GetFocus() != list);
        RECT row{};
        row.left = LVIR_BOUNDS;
        REQUIRE(SendMessageW(list, LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&row)));
        RECT icon{};
        icon.left = LVIR_ICON;
        SendMessageW(list, LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&icon));
        const int x = row.left + 8, y = (row.top + row.bottom) / 2;
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        pump();
        CHECK(ListView_GetNextItem(list, -1, LVNI_SELECTED) == 3);
        CHECK(bench.entries[index].nValue == (5 | 8));
        CHECK(GetFocus() == list);  // Space now acts on the drive
    }
    SUBCASE("another drives frame reuses the rows; bits above Z: are kept") {
        const int other = bench.add(L"NoViewOnDrive", L"frameDrives", false, {}, (1 << 26) | 1);
        frame.reset();
        auto second = bench.show<TframeDrives>(FrameKind::Drives, other);
        CHECK(DriveListBuildCount() == 1);
        CHECK_FALSE(IsWindowEnabled(second->lstDrives()));
        CHECK(ListView_GetCheckState(second->lstDrives(), 0));
        CHECK_FALSE(ListView_GetCheckState(second->lstDrives(), 25));
        second->SetEnabled(true);
        ListView_SetCheckState(second->lstDrives(), 1, TRUE);
        pump();
        CHECK(bench.entries[other].nValue == ((1 << 26) | 3));
    }
}

TEST_CASE("a string tweak edited in its frame and saved reads back from the registry and the store") {
    CleanRegistry clean;
    SchemeScope scheme;
    StoreScope store;
    FrameBench bench;
    const int index = bench.add(L"T_String", L"frameStringEdit", true);

    auto frame = bench.show<TframeStringEdit>(FrameKind::StringEdit, index);
    CHECK(windowText(frame->lblTitle()) == L"Enter text:");
    CHECK(windowText(frame->btnClear()) == L"&Clear");
    CHECK(windowText(frame->edtString()).empty());
    CHECK(IsWindowEnabled(frame->edtString()));
    CHECK(bench.changes.empty());  // binding is no change
    RECT panel, placed;
    GetClientRect(bench.panel, &panel);
    GetClientRect(frame->hwnd(), &placed);
    CHECK((placed.right == panel.right && placed.bottom == panel.bottom));
    CHECK(IsWindowVisible(frame->hwnd()));

    SetWindowTextW(frame->edtString(), L"Authorised use only");
    pump();
    CHECK(bench.entries[index].cValue == L"Authorised use only");
    CHECK(bench.changes == std::vector<int>{-1});
    bench.screenshot(L"frames_string_edit.bmp");

    const TRestrListRec& entry = bench.entries[index];
    CHECK(ApplyTweak(entry.AppName, entry.SetValue, entry.GroupName, entry.cValue, entry.nValue).empty());
    TCheckBoxRec state;
    GetTweakState(L"T_String", L"Group_Types", state);
    CHECK(state.SetValue);
    CHECK(state.cValue == L"Authorised use only");
    CHECK(store.store().GetStr(L"T_String_str", L"") == L"Authorised use only");
    const std::string query = regOutput(L"query \"HKCU\\Software\\QuillmarkTest\\Policies\" /v String");
    CHECK(query.find("REG_SZ") != std::string::npos);
    CHECK(query.find("Authorised use only") != std::string::npos);
    MESSAGE(query);
}

TEST_CASE("the text frame: Clear, every change reported, enabled with its tweak") {
    FrameBench bench;
    const int on = bench.add(L"T_String", L"frameStringEdit", true, L"abc");
    const int off = bench.add(L"Other", L"frameStringEdit", false, L"kept text");

    auto frame = bench.show<TframeStringEdit>(FrameKind::StringEdit, on);
    SendMessageW(frame->edtString(), EM_SETSEL, 3, 3);
    SendMessageW(frame->edtString(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"d"));
    SendMessageW(frame->edtString(), EM_SETSEL, 3, 4);
    SendMessageW(frame->edtString(), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L""));
    pump();
    CHECK(bench.entries[on].cValue == L"abc");
    CHECK(bench.changes == std::vector<int>{-1, -1});  // back to the old text, still a change

    click(frame->hwnd(), frame->btnClear());
    CHECK(bench.entries[on].cValue.empty());
    CHECK(bench.changes.size() == 3);
    click(frame->hwnd(), frame->btnClear());
    CHECK(bench.changes.size() == 3);

    frame.reset();
    CHECK(GetWindow(bench.panel, GW_CHILD) == nullptr);  // the frame went with its object
    auto disabled = bench.show<TframeStringEdit>(FrameKind::StringEdit, off);
    CHECK(windowText(disabled->edtString()) == L"kept text");
    for (HWND control : {disabled->lblTitle(), disabled->edtString(), disabled->btnClear()})
        CHECK_FALSE(IsWindowEnabled(control));
    CHECK(bench.changes.size() == 3);
    bench.screenshot(L"frames_string_edit_disabled.bmp");
    disabled->SetEnabled(true);
    CHECK(IsWindowEnabled(disabled->edtString()));
    CHECK(windowText(disabled->edtString()) == L"kept text");

    // The frame follows its panel's size.
    MoveWindow(bench.panel, 8, 8, 400, 200, TRUE);
    pump();
    RECT placed;
    GetClientRect(disabled->hwnd(), &placed);
    CHECK((placed.right == 400 && placed.bottom == 200));
    CHECK(CreateOptionFrame(FrameKind::None, bench.panel, bench, on) == nullptr);
}

TEST_CASE("the folder frame: drops and the folder browser") {
    ScratchFiles files;
    FrameBench bench;
    const int index = bench.add(L"DefaultCategory", L"frameDirectoryEdit", true);
    auto frame = bench.show<TframeDirEdit>(FrameKind::DirEdit, index);
    CHECK(windowText(frame->lblTitle()) == L"Specify the folder path:");

    dropOn(frame->edtDirEdit(), files.path(L"beta tool.exe"));
    CHECK(bench.entries[index].cValue == files.folder.path.wstring());
    dropOn(frame->edtDirEdit(), files.path(L"sub") + L"\\");
    CHECK(bench.entries[index].cValue == files.path(L"sub"));
    CHECK(bench.changes.size() == 2);
    bench.screenshot(L"frames_dir_edit.bmp");

    SUBCASE("the browser starts at the folder of the edit") {
        SetWindowTextW(frame->edtDirEdit(), L"C:\\windows\\system32");
        ModalAnswer answer({pressOk});
        click(frame->hwnd(), frame->btnBrowse());
        CHECK(ModalAnswer::done());
        CHECK(lower(bench.entries[index].cValue) == L"c:\\windows\\system32");
    }
    SUBCASE("a missing folder starts it at the root of the current drive") {
        SetWindowTextW(frame->edtDirEdit(), L"C:\\no such folder here");
        ModalAnswer answer({pressOk});
        click(frame->hwnd(), frame->btnBrowse());
        wchar_t root[MAX_PATH];
        GetFullPathNameW(L"\\", MAX_PATH, root, nullptr);
        CHECK(lower(bench.entries[index].cValue) == lower(root));
    }
    SUBCASE("cancelling the browser changes nothing") {
        const auto before = bench.changes.size();
        ModalAnswer answer({pressCancel});
        click(frame->hwnd(), frame->btnBrowse());
        CHECK(ModalAnswer::done());
        CHECK(bench.entries[index].cValue == files.path(L"sub"));
        CHECK(bench.changes.size() == before);
    }
}

TEST_CASE("a path longer than MAX_PATH in the folder and file frames opens their dialogs at a parent they can take") {
    ScratchFiles files;
    // A real folder 1,090 characters long, five levels below the scratch folder.
    std::wstring deep = files.path(L"sub");
    const std::wstring level(200, L'd');
    while (deep.size() + 1 + level.size() <= 1090) deep += L"\\" + level;
    deep += L"\\" + std::wstring(1090 - deep.size() - 1, L'e');
    REQUIRE(deep.size() == 1090);
    struct RemoveDeep {  // deepest first: the temporary folder's own clean-up takes no path this long
        std::wstring deep, stop;
        ~RemoveDeep() {
            for (std::wstring p = deep; p.size() > stop.size(); p.resize(p.rfind(L'\\')))
                RemoveDirectoryW((L"\\\\?\\" + p).c_str());
        }
    } removeDeep{deep, files.path(L"sub")};
    REQUIRE(fs::create_directories(L"\\\\?\\" + deep));
    // What the dialogs start at: the deepest parent shorter than MAX_PATH.
    std::wstring shortParent = deep;
    while (shortParent.size() >= MAX_PATH) shortParent.resize(shortParent.rfind(L'\\'));
    REQUIRE(shortParent.size() > files.path(L"sub").size());
    FrameBench bench;
    {
        const int index = bench.add(L"DefaultCategory", L"frameDirectoryEdit", true);
        auto frame = bench.show<TframeDirEdit>(FrameKind::DirEdit, index);
        SetWindowTextW(frame->edtDirEdit(), deep.c_str());
        // OK once the browser's tree shows its start, which it selects a moment after opening.
        const std::wstring startName = shortParent.substr(shortParent.rfind(L'\\') + 1);
        ModalAnswer answer({[&](HWND dialog) {
            HWND tree = nullptr;
            EnumChildWindows(
                dialog,
                [](HWND child, LPARAM found) {
                    wchar_t name[32] = {};
                    GetClassNameW(child, name, 32);
                    if (std::wstring(name) == WC_TREEVIEWW) *reinterpret_cast<HWND*>(found) = child;
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&tree));
            REQUIRE(tree);
            for (int i = 0; i < 100; ++i, pump(), Sleep(50)) {
                wchar_t text[MAX_PATH] = {};
                TVITEMW item{TVIF_TEXT, TreeView_GetSelection(tree), 0, 0, text, MAX_PATH};
                if (item.hItem && TreeView_GetItem(tree, &item) && text == startName) break;
            }
            pressOk(dialog);
        }});
        click(frame->hwnd(), frame->btnBrowse());
        CHECK(ModalAnswer::done());
        CHECK(lower(bench.entries[index].cValue) == lower(shortParent));
    }
    {
        const int index = bench.add(L"DefaultMailClient", L"frameFileNameEdit", true);
        auto frame = bench.show<TframeFileEdit>(FrameKind::FileEdit, index);
        const std::wstring file = deep + L"\\tool.exe";
        SetWindowTextW(frame->edtFileEdit(), file.c_str());
        {
            ModalAnswer answer({pressCancel});
            click(frame->hwnd(), frame->btnBrowse());
            CHECK(ModalAnswer::done());
        }
        CHECK(bench.entries[index].cValue == file);  // kept whole
    }
}

TEST_CASE("the file frame: paths with a blank are quoted, from drops and from the dialog") {
    ScratchFiles files;
    FrameBench bench;
    const int index = bench.add(L"DefaultMailClient", L"frameFileNameEdit", true);
    auto frame = bench.show<TframeFileEdit>(FrameKind::FileEdit, index);
    CHECK(windowText(frame->lblTitle()) == L"Specify the file location:");

    dropOn(frame->edtFileEdit(), files.path(L"beta tool.exe"));
    CHECK(bench.entries[index].cValue == L"\"" + files.path(L"beta tool.exe") + L"\"");
    SetWindowTextW(frame->edtFileEdit(), L"C:\\windows\\notepad.exe");
    pump();
    CHECK(bench.entries[index].cValue == L"C:\\windows\\notepad.exe");

    SetWindowTextW(frame->edtFileEdit(), (L"\"" + files.path(L"alpha.exe") + L"\"").c_str());
    {
        // The dialog starts in the folder of the edit's file: a bare name is found there.
        ModalAnswer answer({typeFileName(L"beta tool.exe")});
        click(frame->hwnd(), frame->btnBrowse());
        CHECK(ModalAnswer::done());
    }
    CHECK(lower(bench.entries[index].cValue) == lower(L"\"" + files.path(L"beta tool.exe") + L"\""));
    bench.screenshot(L"frames_file_edit.bmp");
    {
        ModalAnswer answer({typeFileName(L"C:\\windows\\notepad.exe")});
        click(frame->hwnd(), frame->btnBrowse());
    }
    CHECK(lower(bench.entries[index].cValue) == L"c:\\windows\\notepad.exe");
}

TEST_CASE("Add files takes a selection longer than the dialog's first buffer") {
    CleanRegistry clean;
    StoreScope store;
    CurrentUserName = L"frametester";
    ForceApplicationsDialogStyle(FileDialogStyle::Classic);
    // 80 names of 200 characters: several times the buffer the dialog is given at first. (Wine's
    // own dialog takes no selection longer than its file name box, 30,000 characters.)
    testsupport::TempFolder many{"many"};
    std::vector<std::wstring> names;
    for (int i = 0; i < 80; ++i) {
        const std::wstring number = std::to_wstring(1000 + i);
        names.push_back(number + std::wstring(192, L'n') + L".exe");
        testsupport::writeBytes(many.path / names.back(), "x");
    }
    FrameBench bench;
    const int index = bench.add(L"DisallowRun", L"frameApplications", false, {}, 0, L"Group_Apps");
    auto frame = bench.show<TframeApplications>(FrameKind::Applications, index);
    const auto selectAllAndOpen = [](HWND dialog) {
        const HWND view = FindWindowExW(dialog, nullptr, L"SHELLDLL_DefView", nullptr);
        REQUIRE(view);
        const HWND list = FindWindowExW(view, nullptr, WC_LISTVIEWW, nullptr);
        REQUIRE(list);
        REQUIRE(ListView_GetItemCount(list) == 80);
        ListView_SetItemState(list, -1, LVIS_SELECTED, LVIS_SELECTED);
        pressOk(dialog);
    };
    {
        ModalAnswer answer({typeFileName(many.path.wstring()), selectAllAndOpen});
        click(frame->hwnd(), frame->btnBrowseApp());
        CHECK(ModalAnswer::done());
    }
    CHECK(bench.changes == std::vector<int>{index});
    std::vector<std::wstring> stored;
    store.store().getList(L"frametesterDisallowRun", stored, false);
    REQUIRE(stored.size() == 80);
    std::sort(stored.begin(), stored.end());
    for (std::size_t i = 0; i < names.size(); ++i) CHECK(lower(stored[i]) == lower(many.file(names[i])));
    CHECK(ListView_GetItemCount(frame->lstFiles()) == 80);
    frame.reset();
    ForceApplicationsDialogStyle(std::nullopt);
    CurrentUserName.clear();
}

TEST_CASE("the applications frame: files added and deleted in the store, the run list written on save") {
    CleanRegistry clean;
    ScratchFiles files;
    StoreScope store;
    CurrentUserName = L"frametester";
    PolicyRootKey = kHkeyCurrentUser;
    ForceApplicationsDialogStyle(FileDialogStyle::Classic);
    FrameBench bench;
    bench.add(L"DisallowRun", L"frameApplications", false, {}, 0, L"Group_Apps");
    const int index = bench.add(L"RestrictRun", L"frameApplications", false, {}, 0, L"Group_Apps");
    store.store().setListItem(L"frametesterRestrictRun", L"C:\\Tools\\old.exe");
    store.store().setListItem(L"someoneelseRestrictRun", L"C:\\Tools\\theirs.exe");

    auto frame = bench.show<TframeApplications>(FrameKind::Applications, index);
    CHECK(windowText(frame->btnBrowseApp()) == L"&Add files");
    CHECK(windowText(frame->btnDeleteFile()) == L"&Delete file");
    CHECK(IsWindowEnabled(frame->lstFiles()));  // whatever the tweak's state
    auto items = [&] {
        std::vector<std::wstring> captions;
        for (int i = 0; i < ListView_GetItemCount(frame->lstFiles()); ++i) {
            wchar_t text[MAX_PATH] = {};
            ListView_GetItemText(frame->lstFiles(), i, 0, text, MAX_PATH);
            captions.emplace_back(text);
        }
        return captions;
    };
    CHECK(items() == std::vector<std::wstring>{L"C:\\Tools\\old.exe"});

    {
        ModalAnswer answer({pressCancel});
        click(frame->hwnd(), frame->btnBrowseApp());
        CHECK(ModalAnswer::done());
    }
    CHECK(bench.changes.empty());
    CHECK(items().size() == 1);

    {
        // Into the scratch folder first, then two of its files.
        ModalAnswer answer({typeFileName(files.folder.path.wstring()), typeFileName(L"\"alpha.exe\" \"beta tool.exe\"")});
        click(frame->hwnd(), frame->btnBrowseApp());
        CHECK(ModalAnswer::done());
    }
    CHECK(bench.changes == std::vector<int>{index});
    const std::vector<std::wstring> shown = items();
    REQUIRE(shown.size() == 3);
    CHECK(lower(shown[1]) == lower(files.path(L"alpha.exe")));
    CHECK(lower(shown[2]) == lower(files.path(L"beta tool.exe")));
    bench.screenshot(L"frames_applications.bmp");

    // Delete the first, with no selection first.
    click(frame->hwnd(), frame->btnDeleteFile());
    CHECK(bench.changes.size() == 1);
    ListView_SetItemState(frame->lstFiles(), 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    click(frame->hwnd(), frame->btnDeleteFile());
    CHECK(bench.changes == std::vector<int>{index, index});
    CHECK(items().size() == 2);
    std::vector<std::wstring> stored;
    store.store().getList(L"frametesterRestrictRun", stored, false);
    CHECK(stored == items());
    CHECK(store.store().isValue(L"frametesterRestrictRun1"));

    const std::wstring ownExe = executableName();
    CHECK(lower(ownExe) == L"frames_test.exe");
    const std::wstring listKey = std::wstring(RunListsKey) + RestrictRunName;
    struct RemoveKey {
        std::wstring path;
        ~RemoveKey() { RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }
    } removeKey{listKey};
    ExecuteRunListPlan(PlanRunList(RestrictRunName, true, ownExe));
    const std::string query =
        regOutput(L"query \"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\RestrictRun\"");
    MESSAGE(query);
    CHECK(query.find("    0    REG_SZ    alpha.exe") != std::string::npos);
    CHECK(query.find("    1    REG_SZ    beta tool.exe") != std::string::npos);
    CHECK(query.find("    2    REG_SZ    " + toUtf8(ownExe)) != std::string::npos);
    CHECK(query.find("    3    ") == std::string::npos);
    CHECK(query.find("old.exe") == std::string::npos);

    // Unchecked: the list stays in the registry and in the frame; only the tweak goes off.
    CHECK_FALSE(PlanRunList(RestrictRunName, false, ownExe).TouchesRegistry());
    CHECK(items().size() == 2);

    frame.reset();
    ForceApplicationsDialogStyle(std::nullopt);
    CurrentUserName.clear();
}
