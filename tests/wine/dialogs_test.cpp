#include <doctest/doctest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/password.h"
#include "app/passwordhash.h"
#include "base/win/handles.h"
#include "resources/dialogs.h"
#include "resources/version.h"
#include "store/Encript.h"
#include "tests/support/environment.h"
#include "tests/support/screenshot.h"
#include "ui/about.h"
#include "ui/checkpassword.h"
#include "ui/dialoghelpers.h"
#include "ui/passfrm.h"

namespace fs = std::filesystem;

namespace {

using testsupport::env;
using testsupport::ProductResources;
using testsupport::screenshot;

std::wstring className(HWND window)
{
    wchar_t text[64] = {};
    GetClassNameW(window, text, 64);
    return text;
}

// The visible dialog box of this thread with the given caption; null when there is none.
HWND findDialog(const std::wstring& caption)
{
    struct Search {
        const std::wstring& caption;
        HWND found = nullptr;
    } search{caption};
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM data) {
            auto& s = *reinterpret_cast<Search*>(data);
            if (IsWindowVisible(window) && className(window) == L"#32770" && windowText(window) == s.caption) {
                s.found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Drives the modal loops of this thread from a timer: every tick the current step runs
// once its dialog is up; a step that needs its dialog to stay waits for the next tick. Past
// the time limit every dialog of the thread is cancelled so that a failing test ends.
class Script {
public:
    struct Step {
        std::wstring caption;               // the dialog the step acts on
        std::function<void(HWND)> action;
    };
    explicit Script(std::vector<Step> steps) : steps_(std::move(steps))
    {
        current_ = this;
        timer_ = SetTimer(nullptr, 0, 50, Tick);
        REQUIRE(timer_);
    }
    ~Script()
    {
        KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    bool finished() const { return next_ == steps_.size(); }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        Script* self = current_;
        if (!self || self->busy_) return;
        if (++self->ticks_ > 400) {
            for (const Step& s : self->steps_)
                if (HWND d = findDialog(s.caption)) PostMessageW(d, WM_COMMAND, IDCANCEL, 0);
            return;
        }
        if (self->finished()) return;
        const Step& step = self->steps_[self->next_];
        const HWND dialog = findDialog(step.caption);
        if (!dialog) return;
        ++self->next_;
        self->busy_ = true;  // an action may open a message box whose loop ticks again
        step.action(dialog);
        self->busy_ = false;
    }
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    int ticks_ = 0;
    bool busy_ = false;
    UINT_PTR timer_ = 0;
    static inline Script* current_ = nullptr;
};

void type(HWND dialog, int id, const std::wstring& text) { SetDlgItemTextW(dialog, id, text.c_str()); }
void pressKey(HWND dialog, UINT key) { PostMessageW(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, key, 0); }
void click(HWND dialog, int id) { PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// What a message box said, answered with OK.
struct Said {
    std::wstring text, caption;
};
Script::Step answerMessageBox(const std::wstring& caption, std::vector<Said>& said)
{
    return {caption, [&said](HWND box) {
                said.push_back({windowText(GetDlgItem(box, 0xFFFF)), windowText(box)});
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }};
}

// A control's rectangle in its dialog's client pixels.
RECT placeOf(HWND dialog, int id)
{
    RECT r;
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The forms' pixel designs at 96 dots per inch, scaled for the screen.
void checkNear(long actual, long designed)
{
    CHECK(actual == MulDiv(designed, static_cast<int>(GetDpiForSystem()), 96));
}

void checkClientSize(HWND dialog, int width, int height)
{
    RECT client;
    GetClientRect(dialog, &client);
    checkNear(client.right, width);
    checkNear(client.bottom, height);
}

bool isDefaultButton(HWND dialog, int id)
{
    return (GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

std::wstring fontFace(HWND control, LONG* height = nullptr, LONG* weight = nullptr)
{
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    if (height) *height = font.lfHeight;
    if (weight) *weight = font.lfWeight;
    return font.lfFaceName;
}

// A settings store on a scratch file holding a password: its hash, or the text itself as an
// earlier version stored it.
enum class Stored { Hash, Legacy };
struct ScratchStore {
    fs::path path;
    std::unique_ptr<TEncriptor> store;
    explicit ScratchStore(const std::wstring& password = L"", Stored form = Stored::Hash)
    {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path = fs::path(base) / (L"qm_dialogs_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                 std::to_wstring(counter++) + L".dat");
        fs::remove(path);
        store = std::make_unique<TEncriptor>(path.wstring(), true);
        if (!password.empty()) store->SetStr(AdminPassKey, form == Stored::Hash ? HashPassword(password) : password);
    }
    std::wstring entry() const { return store->GetStr(AdminPassKey, L""); }
    ~ScratchStore()
    {
        store.reset();
        std::error_code ec;
        fs::remove(path, ec);
    }
    static inline int counter = 0;
};

}  // namespace

TEST_CASE("The password prompt: layout, mask, focus, and what each way of closing it gives")
{
    ProductResources resources;
    SUBCASE("its form") {
        Script script({{L"Password", [](HWND d) {
                            CHECK(windowText(GetDlgItem(d, IDC_LBLENTERPASSWORD)) == L"Enter password:");
                            CHECK(windowText(GetDlgItem(d, IDOK)) == L"OK");
                            CHECK(windowText(GetDlgItem(d, IDCANCEL)) == L"Cancel");
                            CHECK(isDefaultButton(d, IDOK));
                            const HWND edit = GetDlgItem(d, IDC_EDTPASSWORD);
                            CHECK(GetFocus() == edit);
                            CHECK(SendMessageW(edit, EM_GETPASSWORDCHAR, 0, 0) == L'*');
                            CHECK(fontFace(edit) == L"Tahoma");
                            CHECK((GetWindowLongPtrW(d, GWL_STYLE) & WS_THICKFRAME) == 0);
                            checkClientSize(d, 307, 91);
                            const RECT editPlace = placeOf(d, IDC_EDTPASSWORD), ok = placeOf(d, IDOK),
                                       cancel = placeOf(d, IDCANCEL);
                            checkNear(editPlace.left, 8);
                            checkNear(editPlace.top, 27);
                            checkNear(editPlace.right - editPlace.left, 288);
                            checkNear(ok.left, 141);
                            checkNear(ok.top, 56);
                            checkNear(ok.right - ok.left, 75);
                            checkNear(ok.bottom - ok.top, 25);
                            checkNear(cancel.left, 222);
                            // Centred on the screen: the main window is not shown yet.
                            RECT box, work;
                            GetWindowRect(d, &box);
                            SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
                            CHECK(std::abs((box.left + box.right) / 2 - (work.left + work.right) / 2) <= 2);
                            type(d, IDC_EDTPASSWORD, L"Secret");
                            screenshot(d, L"dialog_password_prompt.bmp");
                            click(d, IDOK);
                        }}});
        CHECK(TfrmCheckPass::Ask(resources.get()) == std::optional<std::wstring>(L"Secret"));
        CHECK(script.finished());
    }
    SUBCASE("the ways of closing") {
        const struct {
            const char* what;
            std::function<void(HWND)> close;
            std::optional<std::wstring> result;
        } cases[] = {
            {"Enter accepts what was typed", [](HWND d) { pressKey(d, VK_RETURN); }, L"typed"},
            {"Escape cancels", [](HWND d) { pressKey(d, VK_ESCAPE); }, std::nullopt},
            {"Cancel cancels", [](HWND d) { click(d, IDCANCEL); }, std::nullopt},
            {"the close button cancels", [](HWND d) { PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, std::nullopt},
        };
        for (const auto& c : cases) {
            CAPTURE(c.what);
            Script script({{L"Password", [&c](HWND d) {
                                type(d, IDC_EDTPASSWORD, L"typed");
                                c.close(d);
                            }}});
            CHECK(TfrmCheckPass::Ask(resources.get()) == c.result);
            CHECK(script.finished());
        }
    }
}

TEST_CASE("The start-up gate: a wrong or cancelled password is refused with its message")
{
    ProductResources resources;
    const struct {
        const char* what;
        std::wstring stored;
        std::function<void(HWND)> answer;  // null: no prompt expected
        bool goesOn;
        Stored form = Stored::Hash;
    } cases[] = {
        {"no password: no prompt", L"", nullptr, true},
        {"the right password, stored as text by an earlier version", L"Secret",
         [](HWND d) {
             type(d, IDC_EDTPASSWORD, L"Secret");
             pressKey(d, VK_RETURN);
         },
         true, Stored::Legacy},
        {"a wrong one against a password stored as text", L"Secret",
         [](HWND d) {
             type(d, IDC_EDTPASSWORD, L"secret");
             pressKey(d, VK_RETURN);
         },
         false, Stored::Legacy},
        {"the right password", L"Secret",
         [](HWND d) {
             type(d, IDC_EDTPASSWORD, L"Secret");
             pressKey(d, VK_RETURN);
         },
         true},
        {"another letter case", L"Secret",
         [](HWND d) {
             type(d, IDC_EDTPASSWORD, L"SECRET");
             pressKey(d, VK_RETURN);
         },
         false},
        {"cancelled", L"Secret", [](HWND d) { click(d, IDCANCEL); }, false},
        {"Escape with the right text typed", L"Secret",
         [](HWND d) {
             type(d, IDC_EDTPASSWORD, L"Secret");
             pressKey(d, VK_ESCAPE);
         },
         false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        ScratchStore s(c.stored, c.form);
        std::vector<Said> said;
        std::vector<Script::Step> steps;
        int prompted = 0;
        if (c.answer)
            steps.push_back({L"Password", [&](HWND d) {
                                 ++prompted;
                                 c.answer(d);
                             }});
        if (!c.goesOn) steps.push_back(answerMessageBox(L"Quillmark", said));
        Script script(steps);
        CHECK(RunPasswordGate(resources.get(), *s.store) == c.goesOn);
        CHECK(prompted == (c.answer ? 1 : 0));
        // Accepted, a password stored as text becomes its hash (in memory until a save).
        if (!c.stored.empty())
            CHECK(StoredPasswordFormOf(s.entry()) ==
                  (c.goesOn ? StoredPasswordForm::Hash : c.form == Stored::Hash ? StoredPasswordForm::Hash
                                                                                : StoredPasswordForm::Legacy));
        if (c.goesOn) {
            CHECK(said.empty());
        } else {
            REQUIRE(said.size() == 1);
            CHECK(said[0].text == L"The password is wrong !");
            CHECK(said[0].caption == L"Quillmark");
        }
    }
}

TEST_CASE("The password definition dialog: layout, confirmation and the store")
{
    ProductResources resources;
    SUBCASE("its form, and OK without the confirmation") {
        ScratchStore s(L"current");
        const std::string fileBefore = [&] {
            std::ifstream in(s.path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        }();
        std::vector<Said> said;
        Script script({
            {L"Administrator Password",
             [](HWND d) {
                 CHECK((GetWindowLongPtrW(d, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0);
                 CHECK((GetWindowLongPtrW(d, GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0);
                 CHECK(windowText(GetDlgItem(d, IDC_LBLDEFINE)) ==
                       L"Define the password to prevent anybody change settings");
                 CHECK(windowText(GetDlgItem(d, IDC_LBLCONFIRM)) == L"Confirm password");
                 const HWND enter = GetDlgItem(d, IDC_ENTERPASSWORD), confirm = GetDlgItem(d, IDC_CONFIRMPASSWORD);
                 // Only the hash is kept: there is no password to show.
                 CHECK(windowText(enter).empty());
                 CHECK(windowText(confirm).empty());
                 CHECK(SendMessageW(enter, EM_GETPASSWORDCHAR, 0, 0) == L'*');
                 CHECK(SendMessageW(confirm, EM_GETPASSWORDCHAR, 0, 0) == L'*');
                 CHECK(GetFocus() == enter);
                 CHECK(isDefaultButton(d, IDOK));
                 CHECK(fontFace(enter) == L"MS Sans Serif");
                 checkClientSize(d, 298, 151);
                 const RECT e = placeOf(d, IDC_ENTERPASSWORD), c = placeOf(d, IDC_CONFIRMPASSWORD),
                            ok = placeOf(d, IDOK), cancel = placeOf(d, IDCANCEL);
                 checkNear(e.left, 10);
                 checkNear(e.top, 39);
                 checkNear(e.right - e.left, 281);
                 checkNear(c.top, 87);
                 checkNear(ok.left, 136);
                 checkNear(ok.top, 120);
                 checkNear(cancel.left, 216);
                 screenshot(d, L"dialog_define_password.bmp");
                 type(d, IDC_CONFIRMPASSWORD, L"curren");
                 click(d, IDOK);
             }},
            answerMessageBox(L"Passwords do not match", said),
            {L"Administrator Password",
             [&said](HWND d) {
                 // The message was shown, the confirmation emptied and focused, the dialog open.
                 CHECK(said.size() == 1);
                 CHECK(windowText(GetDlgItem(d, IDC_CONFIRMPASSWORD)).empty());
                 CHECK(GetFocus() == GetDlgItem(d, IDC_CONFIRMPASSWORD));
                 type(d, IDC_ENTERPASSWORD, L"New Pass");
                 type(d, IDC_CONFIRMPASSWORD, L"New Pass");
                 pressKey(d, VK_RETURN);
             }},
        });
        CHECK(Administratorspassword1Click(resources.get(), nullptr, *s.store));
        CHECK(script.finished());
        REQUIRE(said.size() == 1);
        CHECK(said[0].text == ConfirmPasswordMessage);
        CHECK(PasswordMatches(s.entry(), L"New Pass"));
        CHECK_FALSE(PasswordMatches(s.entry(), L"current"));
        std::ifstream in(s.path, std::ios::binary);
        CHECK(std::string(std::istreambuf_iterator<char>(in), {}) == fileBefore);  // memory only until saved
    }
    SUBCASE("Enter with different entries asks for the confirmation and stays open") {
        ScratchStore s(L"current");
        std::vector<Said> said;
        Script script({
            {L"Administrator Password",
             [](HWND d) {
                 type(d, IDC_ENTERPASSWORD, L"abc");
                 type(d, IDC_CONFIRMPASSWORD, L"ABC");
                 pressKey(d, VK_RETURN);
             }},
            answerMessageBox(L"Passwords do not match", said),
            {L"Administrator Password", [](HWND d) { pressKey(d, VK_ESCAPE); }},
        });
        CHECK_FALSE(Administratorspassword1Click(resources.get(), nullptr, *s.store));
        CHECK(script.finished());
        CHECK(said.size() == 1);
        CHECK(PasswordMatches(s.entry(), L"current"));
    }
    SUBCASE("Cancel and Escape change nothing; empty entries remove the password once that is confirmed") {
        const struct {
            const char* what;
            std::vector<Script::Step> steps;
            bool changed, removed;
        } cases[] = {
            {"Cancel",
             {{L"Administrator Password",
               [](HWND d) {
                   type(d, IDC_ENTERPASSWORD, L"x");
                   type(d, IDC_CONFIRMPASSWORD, L"x");
                   click(d, IDCANCEL);
               }}},
             false, false},
            {"Escape", {{L"Administrator Password", [](HWND d) { pressKey(d, VK_ESCAPE); }}}, false, false},
            {"OK on empty entries, removal confirmed",
             {{L"Administrator Password", [](HWND d) { click(d, IDOK); }},
              {L"Quillmark", [](HWND box) { PostMessageW(box, WM_COMMAND, IDYES, 0); }}},
             true, true},
            {"OK on empty entries, removal declined: the dialog stays",
             {{L"Administrator Password", [](HWND d) { click(d, IDOK); }},
              {L"Quillmark", [](HWND box) { PostMessageW(box, WM_COMMAND, IDNO, 0); }},
              {L"Administrator Password", [](HWND d) { click(d, IDCANCEL); }}},
             false, false},
        };
        for (const auto& c : cases) {
            CAPTURE(c.what);
            ScratchStore s(L"current");
            Script script(c.steps);
            CHECK(Administratorspassword1Click(resources.get(), nullptr, *s.store) == c.changed);
            CHECK(script.finished());
            CHECK(s.store->isValue(AdminPassKey) == !c.removed);
            if (!c.removed) CHECK(PasswordMatches(s.entry(), L"current"));
        }
    }
    SUBCASE("without a password, OK on empty entries asks nothing") {
        ScratchStore s;
        Script script({{L"Administrator Password", [](HWND d) { click(d, IDOK); }}});
        CHECK(Administratorspassword1Click(resources.get(), nullptr, *s.store));
        CHECK(script.finished());
        CHECK_FALSE(s.store->isValue(AdminPassKey));
    }
}

TEST_CASE("The About box shows the product, the version line of the executable and the link")
{
    ProductResources resources;
    const std::wstring exe = env(L"QM_EXE");
    const std::wstring version = GetAppVersion(exe);
    CHECK(version == L"" QM_VERSION_TEXT);
    const std::wstring expectedLine = L"Version " + std::to_wstring(QM_VERSION_MAJOR) + L"." +
                                      std::to_wstring(QM_VERSION_MINOR) + L" (Build " + version + L")";

    SUBCASE("its form") {
        Script script({{L"About", [&](HWND d) {
                            CHECK(windowText(GetDlgItem(d, IDC_VERSION)) == expectedLine);
                            LONG height = 0, weight = 0;
                            const HWND name = GetDlgItem(d, IDC_PRODUCTNAME);
                            CHECK(windowText(name) == L"Quillmark");
                            CHECK(fontFace(name, &height, &weight) == L"Arial");
                            CHECK(height == -MulDiv(12, static_cast<int>(GetDpiForWindow(d)), 72));
                            CHECK(weight == FW_BOLD);
                            const HWND link = GetDlgItem(d, IDC_WEBSITE);
                            CHECK(className(link) == L"Static");
                            CHECK((GetWindowLongPtrW(link, GWL_STYLE) & SS_NOTIFY) != 0);
                            CHECK(windowText(GetDlgItem(d, IDOK)) == L"OK");
                            CHECK(isDefaultButton(d, IDOK));
                            checkClientSize(d, 365, 219);
                            const RECT ok = placeOf(d, IDOK), line = placeOf(d, IDC_VERSION),
                                       title = placeOf(d, IDC_PRODUCTNAME);
                            checkNear(ok.left, 264);
                            checkNear(ok.top, 186);
                            checkNear(ok.right - ok.left, 91);
                            checkNear(line.left, 119);
                            checkNear(line.top, 35);
                            checkNear(title.left, 64);
                            checkNear(title.top, 8);
                            screenshot(d, L"dialog_about.bmp");
                            pressKey(d, VK_RETURN);
                        }}});
        TfrmAbout about(resources.get(), exe);
        CHECK(about.ShowModal(nullptr) == IDOK);
        CHECK(script.finished());
    }
    SUBCASE("Escape closes it, and it opens again") {
        for (int round = 0; round < 2; ++round) {
            Script script({{L"About", [](HWND d) { pressKey(d, VK_ESCAPE); }}});
            TfrmAbout about(resources.get(), exe);
            CHECK(about.ShowModal(nullptr) == IDCANCEL);
            CHECK(script.finished());
        }
    }
    SUBCASE("a file without a version resource reads as 0.0.0.0") {
        CHECK(GetAppVersion() == L"0.0.0.0");  // this test program carries none
        CHECK(GetAppVersion(exe + L".missing") == L"0.0.0.0");
        Script script({{L"About", [](HWND d) {
                            CHECK(windowText(GetDlgItem(d, IDC_VERSION)) == L"Version 0.0 (Build 0.0.0.0)");
                            click(d, IDOK);
                        }}});
        About1Click(resources.get(), nullptr);
        CHECK(script.finished());
    }
}
