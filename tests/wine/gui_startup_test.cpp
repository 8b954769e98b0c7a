#include <doctest/doctest.h>

#include "tests/wine/gui_fixture.h"

#include "app/password.h"
#include "app/passwordhash.h"
#include "app/userchoice.h"
#include "resources/dialogs.h"

using namespace guitest;
namespace fs = std::filesystem;

namespace {

// The top-level windows of a process, hidden ones too.
std::vector<HWND> windowsOf(DWORD processId)
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM data) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(data);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s.processId) s.found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring className(HWND hwnd)
{
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

std::wstring title(HWND hwnd)
{
    wchar_t text[256] = {};
    GetWindowTextW(hwnd, text, 256);
    return text;
}

// The product copied into a folder and started there.
struct Product {
    Unique<HANDLE, &CloseHandle> process;
    DWORD id = 0;
};
Product startProduct(const fs::path& folder, const std::wstring& arguments = {})
{
    const fs::path exe = folder / L"quillmark.exe";
    if (!fs::exists(exe)) fs::copy_file(fs::path(env(L"QM_EXE")), exe);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + exe.wstring() + L"\" " + arguments;
    REQUIRE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                           &pi));
    CloseHandle(pi.hThread);
    return {Unique<HANDLE, &CloseHandle>(pi.hProcess), pi.dwProcessId};
}

}  // namespace

TEST_CASE("first start of the product in an empty folder")
{
    forgetPlacement();
    TempFolder folder;
    const auto [process, processId] = startProduct(folder.path);
    WaitForInputIdle(process.get(), 20000);

    // The window exists hidden while start-up runs inside its creation; wait until it shows.
    HWND hwnd = nullptr;
    for (int i = 0; i < 200; ++i) {
        hwnd = FindWindowW(L"TfrmQuillmark", L"Quillmark");
        if (hwnd && IsWindowVisible(hwnd)) break;
        Sleep(100);
    }
    REQUIRE_MESSAGE(hwnd, "the main window did not appear");
    REQUIRE(IsWindowVisible(hwnd));
    Sleep(500);  // let it paint before the picture is taken

    {
        // The store file is created scrambled, holding the validity marker.
        const std::string file = readBytes(folder.path / L"quillmark.dat");
        REQUIRE_FALSE(file.empty());
        const std::vector<std::string> texts = decodeStoreFile(file);
        REQUIRE(texts.size() == 1);
        CHECK(texts[0] == kMarker + "=" + kMarker + "\r\n");

        TEncriptor store((folder.path / L"quillmark.dat").wstring(), true);
        CHECK(store.IsValid);
        CHECK(store.IDList == std::vector<std::wstring>{L"#QZRWPLMTBKXNDCVG$HSYFJEWQAZMRTLK=#QZRWPLMTBKXNDCVG$HSYFJEWQAZMRTLK"});
    }
    // Wine does not share menus between processes: the items are checked in-process below.
    CHECK(GetMenu(hwnd) != nullptr);

    screenshot(hwnd, L"gui_startup_first_run.bmp");

    // No changes: closing asks nothing and the process ends by itself.
    const std::string before = readBytes(folder.path / L"quillmark.dat");
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    REQUIRE(WaitForSingleObject(process.get(), 15000) == WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    CHECK(exitCode == 0);
    CHECK(readBytes(folder.path / L"quillmark.dat") == before);
}

TEST_CASE("the main window's layout, font, sizes and menu")
{
    forgetPlacement();
    InProcessWindow w;
    const HWND hwnd = w.hwnd();
    const int dpi = static_cast<int>(GetDpiForWindow(hwnd));
    const auto s = [dpi](int units) { return scaleToDpi(units, dpi); };

    wchar_t caption[64] = {};
    GetWindowTextW(hwnd, caption, 64);
    CHECK(std::wstring(caption) == L"Quillmark");
    CHECK(menuTexts(GetMenu(hwnd)) == kMenu);
    CHECK_FALSE(w.saveEnabled());

    RECT client;
    GetClientRect(hwnd, &client);
    CHECK(client.right == s(654));
    CHECK(client.bottom == s(462));
    MINMAXINFO info{};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    // The minimum client area every pane fits in, as a window: it fits a 1366x768 screen at
    // 144 DPI above a 40-pixel taskbar (scaled to this DPI).
    RECT minimum{0, 0, s(layout::MinClientWidth), s(layout::MinClientHeight)};
    AdjustWindowRectExForDpi(&minimum, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)), TRUE,
                             static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)), static_cast<UINT>(dpi));
    CHECK(info.ptMinTrackSize.x == minimum.right - minimum.left);
    CHECK(info.ptMinTrackSize.y == minimum.bottom - minimum.top);
    CHECK(info.ptMinTrackSize.x <= MulDiv(1366, dpi, 144));
    CHECK(info.ptMinTrackSize.y <= MulDiv(768 - 60, dpi, 144));

    // The panes end where the status line begins, along the bottom.
    const int W = client.right, H = client.bottom - s(layout::StatusHeight);
    CHECK(rectIn(w.window->stbStatus(), hwnd) == LayoutRect{0, H, W, client.bottom});
    const HWND tree = w.window->trvCategories();
    const HWND list = w.window->lstRestrList();
    wchar_t cls[64] = {};
    GetClassNameW(tree, cls, 64);
    CHECK(std::wstring(cls) == WC_TREEVIEWW);
    GetClassNameW(list, cls, 64);
    CHECK(std::wstring(cls) == WC_LISTVIEWW);
    CHECK((GetWindowLongPtrW(list, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT);
    CHECK((ListView_GetExtendedListViewStyle(list) & LVS_EX_CHECKBOXES) != 0);

    // The row naming whose restrictions are shown stands above the panes; Wine's process is
    // elevated, so the line about administrator rights is not there.
    const int top = s(layout::UserRowHeight);
    CHECK(IsWindowVisible(w.window->cmbUser()));
    CHECK(rectIn(w.window->cmbUser(), hwnd).top < top);
    CHECK(rectIn(w.window->edtSearch(), hwnd) == LayoutRect{0, top, s(233), top + s(21)});
    CHECK(rectIn(tree, hwnd) == LayoutRect{0, top + s(24), s(233), H});
    CHECK(rectIn(GetDlgItem(hwnd, IDC_CATEGORIESSPLITTER), hwnd) == LayoutRect{s(233), top, s(236), H});
    const int listBottom = H - s(262);
    CHECK(rectIn(list, hwnd) == LayoutRect{s(236), top, W, listBottom});
    // The first group is the advertising one: its panel stands where the list is.
    CHECK(IsWindowVisible(w.window->pnlAdvanced()));
    CHECK_FALSE(IsWindowVisible(list));
    CHECK(rectIn(w.window->pnlAdvanced(), hwnd) == rectIn(list, hwnd));
    CHECK(rectIn(w.window->lblInfo(), hwnd) == LayoutRect{s(236) + s(11), listBottom + s(3) + s(8), W - s(11),
                                                          listBottom + s(3) + s(71)});
    CHECK(rectIn(w.window->pnlAdditionalOpt(), hwnd) == LayoutRect{s(236), H - s(117), W, H});

    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(tree, WM_GETFONT, 0, 0)), sizeof font, &font);
    CHECK(std::wstring(font.lfFaceName) == L"Tahoma");
    CHECK(font.lfHeight == -MulDiv(8, dpi, 72));
}

TEST_CASE("dragging the category split bar stops at the minimum widths")
{
    forgetPlacement();
    InProcessWindow w;
    const HWND bar = GetDlgItem(w.hwnd(), IDC_CATEGORIESSPLITTER);
    REQUIRE(bar);
    const int dpi = static_cast<int>(GetDpiForWindow(w.hwnd()));
    RECT client;
    GetClientRect(w.hwnd(), &client);

    SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(1, 10));
    SendMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(-200, 10));
    CHECK(rectIn(w.window->trvCategories(), w.hwnd()).width() == scaleToDpi(150, dpi));
    SendMessageW(bar, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(2000, 10));
    CHECK(rectIn(w.window->trvCategories(), w.hwnd()).width() == client.right - scaleToDpi(303, dpi));
    SendMessageW(bar, WM_LBUTTONUP, 0, MAKELPARAM(2000, 10));
    CHECK(GetCapture() != bar);
}

TEST_CASE("File > Save follows the unsaved changes and writes the store")
{
    InProcessWindow w;
    CHECK_FALSE(w.saveEnabled());
    w.change();
    CHECK(w.saveEnabled());

    SendMessageW(w.hwnd(), WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    CHECK_FALSE(w.saveEnabled());
    TEncriptor written((w.folder.path / L"quillmark.dat").wstring(), true);
    CHECK(written.GetStr(L"Probe", L"") == L"1");

    // Ctrl+S saves too, and only while there is something to save.
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    MSG ctrlS{w.hwnd(), WM_KEYDOWN, 'S', 0, 0, {}};
    w.change();
    SettingsStore->SetStr(L"Probe", L"2");
    CHECK(TranslateAcceleratorW(w.hwnd(), w.window->Accelerators(), &ctrlS));
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
    CHECK_FALSE(w.saveEnabled());
    CHECK(TEncriptor((w.folder.path / L"quillmark.dat").wstring(), true).GetStr(L"Probe", L"") == L"2");

    // Saved: the next close asks nothing.
    MessageBoxAnswerer answerer(IDCANCEL);
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    CHECK(MessageBoxAnswerer::texts.empty());
    CHECK_FALSE(IsWindow(w.hwnd()));
}

TEST_CASE("closing with unsaved changes asks, and each answer does its part")
{
    struct Case {
        const char* name;
        int button;
        bool staysOpen, written;
    };
    const Case cases[] = {
        {"Cancel keeps the window and the changes", IDCANCEL, true, false},
        {"No ends without writing", IDNO, false, false},
        {"Yes writes the store and ends", IDYES, false, true},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        InProcessWindow w;
        const HWND hwnd = w.hwnd();
        const std::string before = readBytes((w.folder.path / L"quillmark.dat"));
        w.change();

        MessageBoxAnswerer answerer(c.button);
        SendMessageW(hwnd, WM_CLOSE, 0, 0);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        CHECK(MessageBoxAnswerer::texts[0] == L"Save the changed restrictions for " + shownUserName() + L" and this computer?");
        CHECK(MessageBoxAnswerer::captions[0] == L"Save settings");
        CHECK(bool(IsWindow(hwnd)) == c.staysOpen);
        CHECK((readBytes((w.folder.path / L"quillmark.dat")) != before) == c.written);
        if (c.staysOpen) CHECK(w.saveEnabled());
        if (c.written) {
            TEncriptor written((w.folder.path / L"quillmark.dat").wstring(), true);
            CHECK(written.GetStr(L"Probe", L"") == L"1");
        }
    }
}

TEST_CASE("a start-up step that fails is reported and leaves a usable window")
{
    TempFolder blocker;
    const fs::path notAFolder = blocker.path / L"file";
    std::ofstream(notAFolder) << "x";

    MessageBoxAnswerer answerer(IDOK);
    InProcessWindow w(notAFolder.wstring() + L"\\");
    REQUIRE(MessageBoxAnswerer::texts.size() == 1);
    CHECK(MessageBoxAnswerer::captions[0] == L"Quillmark");
    CHECK_FALSE(MessageBoxAnswerer::texts[0].empty());
    CHECK(IsWindowVisible(w.hwnd()));
    CHECK_FALSE(w.saveEnabled());
    SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
    CHECK(MessageBoxAnswerer::texts.size() == 1);  // nothing to save, nothing asked
    CHECK_FALSE(IsWindow(w.hwnd()));
}

TEST_CASE("the window placement is remembered in the registry and restored")
{
    forgetPlacement();
    WINDOWPLACEMENT first{};
    first.length = sizeof first;
    RECT firstRect{};
    {
        InProcessWindow w;
        SetWindowPos(w.hwnd(), nullptr, 40, 30, 760, 580, SWP_NOZORDER);
        GetWindowPlacement(w.hwnd(), &first);
        GetWindowRect(w.hwnd(), &firstRect);
        SendMessageW(w.hwnd(), WM_CLOSE, 0, 0);
        REQUIRE_FALSE(IsWindow(w.hwnd()));
    }

    const wchar_t* key = L"Software\\Quillmark\\frmQuillmark";
    const auto dword = [&](const wchar_t* name) {
        DWORD value = 0, size = sizeof value;
        CHECK(RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS);
        return value;
    };
    const auto text = [&](const wchar_t* name) {
        wchar_t value[128] = {};
        DWORD size = sizeof value;
        CHECK(RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS);
        return std::wstring(value);
    };
    CHECK(dword(L"ShowCmd") == first.showCmd);
    CHECK(dword(L"Flags") == first.flags);
    CHECK(dword(L"PixelsPerInch") == GetDpiForSystem());
    const RECT& n = first.rcNormalPosition;
    CHECK(text(L"NormPos") == std::to_wstring(n.left) + L"," + std::to_wstring(n.top) + L"," +
                                  std::to_wstring(n.right) + L"," + std::to_wstring(n.bottom));
    CHECK(text(L"MinMaxPos") == std::to_wstring(first.ptMinPosition.x) + L"," + std::to_wstring(first.ptMinPosition.y) +
                                    L"," + std::to_wstring(first.ptMaxPosition.x) + L"," +
                                    std::to_wstring(first.ptMaxPosition.y));

    {
        InProcessWindow w;
        RECT again;
        GetWindowRect(w.hwnd(), &again);
        CHECK(again.left == firstRect.left);
        CHECK(again.top == firstRect.top);
        CHECK(again.right == firstRect.right);
        CHECK(again.bottom == firstRect.bottom);
    }

    // Remembered on a monitor that is no longer there: it opens, whole, on the nearest work area.
    const std::wstring offScreen[] = {L"5000,4000,5700,4500", L"-3000,100,-2300,600", L"100,-2000,800,-1500"};
    for (const std::wstring& normPos : offScreen) {
        CAPTURE(toUtf8(normPos));
        REQUIRE(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"NormPos", REG_SZ, normPos.c_str(),
                                static_cast<DWORD>((normPos.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
        InProcessWindow w;
        RECT shown{};
        GetWindowRect(w.hwnd(), &shown);
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        REQUIRE(GetMonitorInfoW(MonitorFromWindow(w.hwnd(), MONITOR_DEFAULTTONULL), &monitor));
        const RECT& work = monitor.rcWork;
        CHECK(shown.left >= work.left);
        CHECK(shown.top >= work.top);
        CHECK(shown.right <= work.right);
        CHECK(shown.bottom <= work.bottom);
        CHECK(shown.right - shown.left == 700);
        CHECK(shown.bottom - shown.top == 500);
    }
    forgetPlacement();
}

TEST_CASE("another program showing, commanding and closing windows during the password prompt changes nothing")
{
    forgetPlacement();
    TempFolder folder;
    {
        TEncriptor store((folder.path / L"quillmark.dat").wstring(), true);
        store.SetStr(AdminPassKey, HashPassword(L"Secret"));
        store.Flush(true);
    }
    const std::string before = readBytes(folder.path / L"quillmark.dat");

    const Product product = startProduct(folder.path);
    const DWORD processId = product.id;
    const auto findPrompt = [&] {
        for (HWND hwnd : windowsOf(processId))
            if (className(hwnd) == L"#32770" && IsWindowVisible(hwnd) && title(hwnd) == L"Password") return hwnd;
        return HWND{};
    };
    HWND prompt = nullptr;
    for (int i = 0; i < 200 && !prompt; ++i, Sleep(100)) prompt = findPrompt();
    REQUIRE_MESSAGE(prompt, "the password prompt did not appear");

    // What an attacker of the same user can do from outside: show every other window of the
    // process, send it File > Save and Edit > Administrator's password, close it; send the
    // same commands to the prompt. COM's and the input method's own windows are left alone.
    CHECK_FALSE(FindWindowW(L"TfrmQuillmark", nullptr));
    for (HWND hwnd : windowsOf(processId)) {
        const std::wstring name = className(hwnd);
        MESSAGE(std::string(name.begin(), name.end()));
        if (hwnd == prompt || name == L"IME" || name == L"OleMainThreadWndClass") continue;
        ShowWindow(hwnd, SW_SHOW);
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDM_ADMINPASSWORD, 0), 0);
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    }
    PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDM_ADMINPASSWORD, 0), 0);
    PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDM_SAVE, 0), 0);
    Sleep(1500);

    CHECK(WaitForSingleObject(product.process.get(), 0) == WAIT_TIMEOUT);  // nothing ended
    CHECK(findPrompt() == prompt);
    CHECK_FALSE(FindWindowW(L"TfrmQuillmark", nullptr));
    CHECK(readBytes(folder.path / L"quillmark.dat") == before);
    CHECK_FALSE(fs::exists(folder.path / L"default.qmk"));

    // The right password still opens the tool, and the store still holds a hash of it.
    SendMessageW(GetDlgItem(prompt, IDC_EDTPASSWORD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Secret"));
    PostMessageW(prompt, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    HWND hwnd = nullptr;
    for (int i = 0; i < 200; ++i, Sleep(100)) {
        hwnd = FindWindowW(L"TfrmQuillmark", L"Quillmark");
        if (hwnd && IsWindowVisible(hwnd)) break;
    }
    REQUIRE_MESSAGE(hwnd, "the main window did not appear");
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    REQUIRE(WaitForSingleObject(product.process.get(), 15000) == WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(product.process.get(), &exitCode);
    CHECK(exitCode == 0);
    TEncriptor store((folder.path / L"quillmark.dat").wstring(), true);
    CHECK(StoredPasswordFormOf(store.GetStr(AdminPassKey, L"")) == StoredPasswordForm::Hash);
    CHECK(PasswordMatches(store.GetStr(AdminPassKey, L""), L"Secret"));
}

TEST_CASE("two copies: a second start on the same folder brings the first to the front and ends; another folder runs")
{
    forgetPlacement();
    TempFolder folder, other;
    const auto shownWindowOf = [](DWORD processId) {
        for (int i = 0; i < 200; ++i, Sleep(100))
            for (HWND hwnd : windowsOf(processId))
                if (className(hwnd) == L"TfrmQuillmark" && IsWindowVisible(hwnd)) return hwnd;
        return HWND{};
    };
    auto [first, firstId] = startProduct(folder.path);
    const HWND firstWindow = shownWindowOf(firstId);
    REQUIRE_MESSAGE(firstWindow, "the first copy's window did not appear");
    ShowWindow(firstWindow, SW_MINIMIZE);
    REQUIRE(IsIconic(firstWindow));

    auto [second, secondId] = startProduct(folder.path);
    REQUIRE(WaitForSingleObject(second.get(), 15000) == WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(second.get(), &exitCode);
    CHECK(exitCode == 0);
    CHECK_FALSE(IsIconic(firstWindow));  // brought back
    CHECK(WaitForSingleObject(first.get(), 0) == WAIT_TIMEOUT);
    // A command beside the window is not held back: deployment tools run it whenever they like.
    const testsupport::ProgramRun listed = testsupport::runProgram(L"\"" + (folder.path / L"quillmark.exe").wstring() + L"\" /list /csv");
    CHECK(listed.exitCode == 0);
    CHECK(listed.output.find("NoThemesTab") != std::string::npos);

    // Each folder has a copy of its own.
    auto [third, thirdId] = startProduct(other.path);
    const HWND thirdWindow = shownWindowOf(thirdId);
    CHECK(thirdWindow);
    for (auto [process, hwnd] : {std::pair{first.get(), firstWindow}, std::pair{third.get(), thirdWindow}}) {
        if (hwnd) PostMessageW(hwnd, WM_CLOSE, 0, 0);
        CHECK(WaitForSingleObject(process, 15000) == WAIT_OBJECT_0);
    }
}

TEST_CASE("a copy restarted as administrator waits for the one that restarted it; an ordinary start still ends")
{
    forgetPlacement();
    TempFolder folder;
    const auto shownWindowOf = [](DWORD processId, int tenths) {
        for (int i = 0; i < tenths; ++i, Sleep(100))
            for (HWND hwnd : windowsOf(processId))
                if (className(hwnd) == L"TfrmQuillmark" && IsWindowVisible(hwnd)) return hwnd;
        return HWND{};
    };
    auto [first, firstId] = startProduct(folder.path);
    const HWND firstWindow = shownWindowOf(firstId, 200);
    REQUIRE_MESSAGE(firstWindow, "the first copy's window did not appear");

    // The restarted copy waits while the first still runs, then takes over once it has closed.
    auto [restarted, restartedId] = startProduct(folder.path, L"/restarted");
    CHECK_FALSE(shownWindowOf(restartedId, 20));
    CHECK(WaitForSingleObject(restarted.get(), 0) == WAIT_TIMEOUT);
    PostMessageW(firstWindow, WM_CLOSE, 0, 0);
    REQUIRE(WaitForSingleObject(first.get(), 15000) == WAIT_OBJECT_0);
    const HWND restartedWindow = shownWindowOf(restartedId, 100);
    REQUIRE_MESSAGE(restartedWindow, "the restarted copy did not take over");

    // It holds the folder now: an ordinary start brings it to the front and ends.
    ShowWindow(restartedWindow, SW_MINIMIZE);
    auto [second, secondId] = startProduct(folder.path);
    REQUIRE(WaitForSingleObject(second.get(), 15000) == WAIT_OBJECT_0);
    CHECK_FALSE(IsIconic(restartedWindow));

    // A restarted copy whose starter never ends says so and ends after its wait.
    auto [late, lateId] = startProduct(folder.path, L"/restarted");
    HWND box = nullptr;
    for (int i = 0; i < 200 && !box; ++i, Sleep(100))
        for (HWND hwnd : windowsOf(lateId))
            if (className(hwnd) == L"#32770" && IsWindowVisible(hwnd)) box = hwnd;
    REQUIRE_MESSAGE(box, "the restarted copy did not say that it waited in vain");
    wchar_t text[512] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    CHECK(std::wstring(text) == RestartTimedOutText);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    REQUIRE(WaitForSingleObject(late.get(), 15000) == WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(late.get(), &exitCode);
    CHECK(exitCode == 1);
    CHECK_FALSE(IsWindowVisible(box));
    CHECK(WaitForSingleObject(restarted.get(), 0) == WAIT_TIMEOUT);  // the running copy is untouched
    PostMessageW(restartedWindow, WM_CLOSE, 0, 0);
    CHECK(WaitForSingleObject(restarted.get(), 15000) == WAIT_OBJECT_0);
}

TEST_CASE("settings only in memory: a copy that is not elevated offers to restart as administrator")
{
    forgetPlacement();
    ProductResources resources;
    TempFolder parent;
    const std::wstring missing = (parent.path / L"no such folder" / L"").wstring();  // the file cannot be made
    const struct {
        bool elevated;
        int answer;
        bool restarted;
    } cases[] = {{false, IDYES, true}, {false, IDNO, false}, {true, IDOK, false}};
    for (const auto& c : cases) {
        CAPTURE(c.elevated);
        CAPTURE(c.answer);
        std::vector<std::wstring> restarts;
        MessageBoxAnswerer answerer(c.answer);
        TfrmQuillmark window(MainWindowOptions{.dataFolder = missing,
                                               .endsApplication = false,
                                               .resources = resources.get(),
                                               .isElevated = [&] { return c.elevated; },
                                               .restartElevated = [&](const std::wstring& parameters) {
                                                   restarts.push_back(parameters);
                                                   return true;
                                               }});
        window.Create(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
        REQUIRE(MessageBoxAnswerer::texts.size() == 1);
        const std::wstring& text = MessageBoxAnswerer::texts[0];
        CHECK(text.find(L"It runs with its settings in memory.") != std::wstring::npos);
        CHECK((text.find(RestartNowQuestion) != std::wstring::npos) == !c.elevated);
        CHECK(window.Started() == !c.restarted);
        CHECK(restarts.size() == (c.restarted ? 1u : 0u));
        if (c.restarted) CHECK(restarts[0].rfind(L"/restarted /user ", 0) == 0);
        if (c.restarted) CHECK_FALSE(IsWindow(window.hwnd()));
        else CHECK(IsWindowVisible(window.hwnd()));
        if (window.hwnd() && IsWindow(window.hwnd())) DestroyWindow(window.hwnd());
    }
    forgetPlacement();
}
