// On which Windows a tweak has an effect: the range decision over versions and builds, and
// what the lists, the search and the description panel make of it.
#include <doctest/doctest.h>

#include <algorithm>
#include <cwchar>
#include <filesystem>

#include "app/search.h"
#include "app/supportedon.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;

namespace {

const WindowsVersion kWin2000{5, 0, 2195}, kXP{5, 1, 2600}, kXP64{5, 2, 3790}, kVista{6, 0, 6002},
    kWin81{6, 3, 9600}, kWin10_22H2{10, 0, 19045}, kServer2022{10, 0, 20348}, kWin11{10, 0, 22000};

struct WindowsApp : App {
    TTweakSearch search;
    WindowsApp() : App("tests/fixtures/app/windows.xml") {}
    static std::vector<std::wstring> captions(const std::vector<ListItemView>& items) {
        std::vector<std::wstring> out;
        for (const ListItemView& item : items) out.push_back(item.Caption);
        return out;
    }
    std::vector<std::wstring> greyed(const std::wstring& group) {
        std::vector<std::wstring> out;
        for (const ListItemView& item : model.ShowGroup(group).Items)
            if (item.NoEffect) out.push_back(item.Name);
        return out;
    }
    std::vector<std::wstring> shown(const std::wstring& group) {
        std::vector<std::wstring> out;
        for (const ListItemView& item : model.ShowGroup(group).Items) out.push_back(item.Name);
        return out;
    }
};

}  // namespace

TEST_CASE("a range holds the running Windows on the precision of each end; builds matter") {
    struct Case {
        const wchar_t* range;
        WindowsVersion running;
        bool effect;
    };
    const Case cases[] = {
        {L"", kWin11, true},              // not documented: never greyed
        {L"5.0-", kWin2000, true},
        {L"5.0-", kWin11, true},
        {L"5.1-", kWin2000, false},       // before the lower end
        {L"5.1-", kXP, true},             // 5.1 holds every build of XP
        {L"5.2-", kXP, false},
        {L"5.0-5.2", kXP64, true},        // the upper end holds every build of 5.2
        {L"5.0-5.2", kVista, false},
        {L"5.0-5.0", kWin2000, true},
        {L"5.0-5.0", kXP, false},
        {L"5.0-6.3", kWin81, true},
        {L"5.0-6.3", kWin10_22H2, false},
        {L"5.0-10.0.19045", kWin10_22H2, true},
        {L"5.0-10.0.19045", kServer2022, false},  // a later build of the same 10.0
        {L"5.0-10.0.19045", kWin11, false},
        {L"5.0-10.0", kWin11, true},      // 10.0 without a build holds Windows 11 too
        {L"10.0.22000-", kWin10_22H2, false},
        {L"10.0.22000-", kWin11, true},
        {L"-4.0", kWin2000, false},       // Windows NT 4 and before
        {L"9x", kWin2000, false},         // no NT version at all
        {L"9x", kWin11, false},
        // What the program cannot read greys nothing.
        {L"NT4", kWin11, true},
        {L"6.0-5.2", kXP, true},
        {L"-", kWin11, true},
        {L"5-6", kWin11, true},
        {L"5.0-5.2-6.0", kWin11, true},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.range, c.range + std::wcslen(c.range)));
        CAPTURE(c.running.Major);
        CAPTURE(c.running.Minor);
        CAPTURE(c.running.Build);
        CHECK(HasEffectOn(c.range, c.running) == c.effect);
    }
}

TEST_CASE("the ranges the program reads are the ones the scheme generator accepts") {
    for (const wchar_t* ok : {L"", L"9x", L"5.0-", L"-4.0", L"5.0-5.2", L"5.0-5.0", L"5.1-10.0.19045",
                              L"10.0.22000-", L"5.2.3790-5.2"}) {
        CAPTURE(std::wstring(ok).size());
        CHECK(ValidWindowsRange(ok));
    }
    for (const wchar_t* bad : {L"?", L"-", L"5.0", L"5-6", L"5.0-5.2-6.0", L" 5.0-", L"6.0-5.2",
                               L"10.0.22000-10.0.19045", L"XP", L"5.0.1.2-"}) {
        CAPTURE(std::wstring(bad).size());
        CHECK_FALSE(ValidWindowsRange(bad));
    }
}

TEST_CASE("a group's list greys the tweaks without effect, after their captions, and the option hides them") {
    struct Case {
        std::optional<WindowsVersion> running;
        std::vector<std::wstring> greyed;  // in the list's order, by caption
    };
    const Case cases[] = {
        {kXP64, {L"Only9x"}},
        {kWin2000, {L"AtLeastXP", L"Only9x"}},
        {kWin10_22H2, {L"Only9x", L"Win2000To2003"}},
        {kWin11, {L"UpTo22H2", L"Only9x", L"Win2000To2003"}},
        {std::nullopt, {}},  // the platform could not tell: nothing is greyed
    };
    for (const Case& c : cases) {
        CAPTURE(c.running ? c.running->Build : 0u);
        WindowsApp app;
        app.model.RunningWindows = c.running;
        app.start();
        CHECK(app.greyed(L"Group_Old") == c.greyed);

        const GroupView view = app.model.ShowGroup(L"Group_Old");
        for (const ListItemView& item : view.Items) {
            CAPTURE(item.Caption);
            const std::wstring caption = getCaption(item.Name);
            CHECK(item.Caption == (item.NoEffect ? caption + L" (no effect on this Windows)" : caption));
        }

        REQUIRE(app.model.SetHideWithoutEffect(true).empty());
        for (const wchar_t* group : {L"Group_Old", L"Group_Other"}) {
            std::vector<std::wstring> shown = app.shown(group);
            CHECK(app.greyed(group).empty());
            for (const std::wstring& name : c.greyed) CHECK(std::count(shown.begin(), shown.end(), name) == 0);
        }
        CHECK(app.shown(L"Group_Old").size() == 6 - c.greyed.size());
        // Applets are no tweaks of the scheme: never greyed, never hidden.
        CHECK(app.shown(L"CPApplets").size() == 2);
        // Hidden rows still read and write: the entry keeps its state and can be switched.
        app.toggle(L"Only9x", true);
        CHECK(app.entry(L"Only9x").SetValue);
        CHECK(app.model.SettingsModified());
    }
}

TEST_CASE("search results grey and hide as the lists do") {
    WindowsApp app;
    app.model.RunningWindows = kWin11;
    app.start();
    auto rows = [&] {
        std::vector<std::pair<std::wstring, bool>> out;
        for (const SearchRow& row : app.search.Find(app.model.FAppObjectsList, L"windows", {}, app.model.Effect()).Rows)
            out.emplace_back(row.Item.Caption, row.Item.NoEffect);
        return out;
    };
    // "windows" is in the texts of three tweaks, sorted by caption before the suffix is added,
    // and in the path of an applet, which is never greyed.
    CHECK(rows() == std::vector<std::pair<std::wstring, bool>>{{L" Hide Display", false},
                                                               {L"Before Windows 11 (no effect on this Windows)", true},
                                                               {L"Nine x (no effect on this Windows)", true},
                                                               {L"Up to 2003 (no effect on this Windows)", true}});
    REQUIRE(app.model.SetHideWithoutEffect(true).empty());
    CHECK(rows() == std::vector<std::pair<std::wstring, bool>>{{L" Hide Display", false}});
    const SearchView all = app.search.Find(app.model.FAppObjectsList, L"a", {}, app.model.Effect());
    CHECK(std::none_of(all.Rows.begin(), all.Rows.end(), [](const SearchRow& r) { return r.Item.NoEffect; }));
}

TEST_CASE("the description panel's Supported on line, for tweaks and groups") {
    WindowsApp app;
    app.start();
    CHECK(app.toggle(L"Win2000To2003", true).Supported == L"Supported on: Windows 2000 to Windows Server 2003");
    CHECK(app.toggle(L"NotDocumented", true).Supported == L"Supported on: Not documented");
    CHECK(app.model.ShowGroup(L"Group_Old").Supported.empty());
    // An applet's entry names no Description entry.
    CHECK(app.toggle(L"C:\\Windows\\system32\\desk.cpl", false, ImageListKind::AppImageList).Supported.empty());
}

TEST_CASE("the hide option is off by default and remembered at once, without the unsaved changes") {
    WindowsApp app;
    app.start();
    CHECK_FALSE(app.model.HideWithoutEffect());
    // An unsaved change in the store: the option must not write it to the file.
    app.model.Store()->SetStr(L"Pending", L"not saved");
    REQUIRE(app.model.SetHideWithoutEffect(true).empty());
    CHECK(app.model.HideWithoutEffect());
    {
        TEncriptor file(app.folder.file(L"quillmark.dat"), true);
        CHECK(file.GetBool(HideWithoutEffectEntry, false));
        CHECK_FALSE(file.isValue(L"Pending"));
    }

    // The next start reads it from the file.
    WindowsApp next;
    std::filesystem::copy_file(app.folder.path / L"quillmark.dat", next.folder.path / L"quillmark.dat");
    next.start();
    CHECK(next.model.HideWithoutEffect());
    REQUIRE(next.model.SetHideWithoutEffect(false).empty());
    TEncriptor file(next.folder.file(L"quillmark.dat"), true);
    CHECK_FALSE(file.GetBool(HideWithoutEffectEntry, true));
}

TEST_CASE("the hide option that cannot be written holds for the run and says why") {
    WindowsApp app;
    app.model.RunningWindows = kWin11;
    app.start();
    // The store file's folder is gone: the write fails, the choice still applies.
    std::filesystem::remove_all(app.folder.path);
    const std::wstring error = app.model.SetHideWithoutEffect(true);
    CHECK_FALSE(error.empty());
    CHECK(app.model.HideWithoutEffect());
    CHECK(app.greyed(L"Group_Old").empty());
    CHECK(app.shown(L"Group_Old").size() == 3);
}
