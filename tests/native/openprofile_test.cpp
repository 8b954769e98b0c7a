// Opening a profile: what a machine exports, opened on another, is pending there exactly as
// the export holds it; how each value reads decides its tweak; removals, lists, applets and
// values of no tweak.
#include <doctest/doctest.h>

#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "app/export.h"
#include "app/locationtext.h"
#include "app/openprofile.h"
#include "app/pending.h"
#include "app/runlists.h"
#include "profile/polfile.h"
#include "profile/regfile.h"
#include "registry/cpapplets.h"
#include "registry/regaccess.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::getRaw;
using regtest::setRaw;
using regtest::sz;

namespace {

const wchar_t* const Own = L"quillmark.exe";
const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const std::wstring kDisallow = kExplorer + L"\\DisallowRun";
const std::wstring kRestrict = kExplorer + L"\\RestrictRun";
const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kDesk = L"C:\\Windows\\system32\\desk.cpl";
const std::wstring kClassKey = L"Software\\QuillmarkTest\\CLSID\\{5b4dae26-b807-11d0-9815-00c04fd91972}";
const std::wstring kOffice = L"Software\\Microsoft\\Office";

// The fixture scheme of every value type, with applets the registry decides.
struct ProfileApp : App {
    ProfileApp() : App("tests/fixtures/app/profile.xml") {
        model.SaveSteps = DefaultSaveHooks(Own);
        for (FakeApplet& a : applets.applets) a.hidden = false;
    }
    OpenedProfile open(const std::vector<ProfileKey>& keys) { return model.OpenProfile(keys, Own); }
    OpenedProfile openReg(const std::wstring& body) {
        return open(ReadRegFile(regtest::utf16(L"Windows Registry Editor Version 5.00\r\n\r\n" + body, false)));
    }
    std::vector<std::wstring> storedList(const wchar_t* list) {
        std::vector<std::wstring> items;
        model.Store()->getList(RunListBlock(L"alice", list), items, false);
        return items;
    }
};

// Where a value goes and what it holds, as pending changes and exports both say it.
using Row = std::tuple<std::wstring, std::wstring, std::wstring>;

std::set<Row> pendingRows(App& app) {
    std::set<Row> rows;
    for (const PendingChange& c : PendingChanges(app.model.FAppObjectsList, Own))
        rows.insert({lower(c.Location), lower(c.ValueName), c.After});
    return rows;
}

std::set<Row> exportRows(const std::vector<ProfileKey>& keys) {
    std::set<Row> rows;
    for (const ProfileKey& k : keys)
        for (const ProfileValue& v : k.Values)
            rows.insert({lower(RootKeyName(k.Root) + L"\\" + k.Path), lower(v.Name),
                         v.Data ? RegistryValueText(v.Data) : L"the value is removed"});
    return rows;
}

struct TweakState {
    bool set;
    std::wstring text;
    int number;
    bool operator==(const TweakState&) const = default;
};

// What one machine exports: tweaks of every type switched on, one switched off, lists, an
// applet, a class key (which no file carries).
struct Exported {
    std::vector<ProfileKey> keys;
    std::vector<std::uint8_t> reg;
    PolicyFiles pol;
    std::map<std::wstring, TweakState> states;
};

Exported exportFromSource() {
    ProfileApp a;
    setRaw(a.reg, kHkeyCurrentUser, kPolicies, L"Integer10", dword(1));
    a.reg.createKey(kHkeyCurrentUser, kOffice + L"\\11.0", kKeyWrite);
    a.reg.createKey(kHkeyCurrentUser, kClassKey, kKeyWrite);
    a.start();
    a.toggle(L"T_Integer10", false);
    for (const wchar_t* name :
         {L"T_String10", L"T_String01", L"T_Integer01", L"T_String_YesNo", L"T_String_NoYes", L"T_String_YN",
          L"T_String_NY", L"T_String_yesno", L"T_String_noyes", L"T_Integer31", L"T_Integer30", L"T_Integer20",
          L"T_Integer43", L"T_String", L"T_Integer", L"T_CLSID", L"TwoValues", L"MachineFlag", L"OfficeTweak",
          L"Shared", L"DisallowRun", L"RestrictRun", kDesk.c_str()})
        a.toggle(name, true);
    a.entry(L"T_String").cValue = L"C:\\dir \"q\" \u00e9";
    a.entry(L"T_Integer").nValue = 0x8000001;
    AddRunListFiles(*a.model.Store(), RunListBlock(L"alice", DisallowRunName), {L"C:\\a\\x.exe", L"D:\\y.exe"});
    AddRunListFiles(*a.model.Store(), RunListBlock(L"alice", RestrictRunName), {L"C:\\b\\z.exe"});

    Exported out;
    const ExportPlan plan = PlanExport(a.model.FAppObjectsList, Own);
    REQUIRE(plan.LeftOut.size() == 1);  // the class key
    out.keys = plan.Keys;
    out.reg = RegFileBytes(plan);
    out.pol = PolicyFileBytes(plan);
    for (int i = 0; i < a.model.FAppObjectsList.Count(); ++i) {
        const TRestrListRec& e = a.model.FAppObjectsList[i];
        // A name listed twice: the first entry carries the tweak's state.
        if (e.AType == L"CheckBox" && e.AppName != L"T_CLSID" && !out.states.count(e.AppName))
            out.states[e.AppName] = {e.SetValue, e.AppName == L"T_String" ? e.cValue : L"",
                                     e.AppName == L"T_Integer" ? e.nValue : 0};
    }
    return out;
}

}  // namespace

TEST_CASE("open: an export opened on a fresh machine is pending there as the export holds it") {
    const Exported exported = exportFromSource();
    for (const bool policyFiles : {false, true}) {
        CAPTURE(policyFiles);
        ProfileApp b;
        setRaw(b.reg, kHkeyCurrentUser, kPolicies, L"Integer10", dword(1));  // switched off by the profile
        setRaw(b.reg, kHkeyCurrentUser, kPolicies, L"SharedB", dword(0));
        b.reg.createKey(kHkeyCurrentUser, kOffice + L"\\11.0", kKeyWrite);
        b.reg.createKey(kHkeyCurrentUser, kClassKey, kKeyWrite);
        b.start();

        std::vector<ProfileKey> profile = ReadRegFile(exported.reg);
        if (policyFiles) {
            profile = ReadPolicyFile(exported.pol.Machine, kHkeyLocalMachine);
            for (ProfileKey& k : ReadPolicyFile(exported.pol.User, kHkeyCurrentUser)) profile.push_back(k);
        }
        const OpenedProfile opened = b.open(profile);
        CHECK(opened.UnmatchedCount() == 0);
        CHECK(b.model.SettingsModified());
        CHECK(pendingRows(b) == exportRows(exported.keys));
        // Nothing reached the registry yet.
        CHECK(getRaw(b.reg, kHkeyCurrentUser, kPolicies, L"Integer10") == dword(1));
        CHECK_FALSE(getRaw(b.reg, kHkeyLocalMachine, kMachine, L"MachineFlag"));

        REQUIRE(b.model.SaveSettings().Succeeded());
        CHECK(PendingChanges(b.model.FAppObjectsList, Own).empty());
        for (const auto& [name, state] : exported.states) {
            CAPTURE(std::string(name.begin(), name.end()));
            TCheckBoxRec read;
            GetTweakState(name, b.entry(name).GroupName, read);
            if (b.entry(name).GroupName == AppletGroupName) GetAppletState(name, read);
            CHECK(TweakState{read.SetValue, name == L"T_String" ? read.cValue : L"",
                             name == L"T_Integer" ? read.nValue : 0} == state);
        }
        // The class key is where it was: no file carries its rename.
        CHECK(b.reg.openKey(kHkeyCurrentUser, kClassKey, kKeyRead));

        // Opened again, the profile finds everything as it says.
        const OpenedProfile again = b.open(profile);
        CHECK(again.Changed == 0);
        CHECK_FALSE(b.model.SettingsModified());
    }
}

TEST_CASE("open: how the profile's value reads decides its tweak, by the tweak's value type") {
    const struct {
        const char* what;
        std::vector<std::pair<std::wstring, RegValue>> before;  // under the policies key
        std::wstring body;                                      // values under the policies key
        std::wstring tweak;
        TweakState after;
    } cases[] = {
        {"Integer01 0 is on", {}, L"\"Integer01\"=dword:0", L"T_Integer01", {true, L"", 0}},
        {"Integer01 1 is off", {{L"Integer01", dword(0)}}, L"\"Integer01\"=dword:1", L"T_Integer01", {false, L"", 0}},
        {"String_NoYes No is on", {}, L"\"String_NoYes\"=\"No\"", L"T_String_NoYes", {true, L"", 0}},
        {"String_YesNo yes is off", {{L"String_YesNo", sz(L"Yes")}}, L"\"String_YesNo\"=\"yes\"", L"T_String_YesNo",
         {false, L"", 0}},
        {"String10 as a number", {}, L"\"String10\"=dword:2", L"T_String10", {true, L"", 0}},
        {"Integer31 2 is off", {{L"Integer31", dword(3)}}, L"\"Integer31\"=dword:2", L"T_Integer31", {false, L"", 0}},
        {"a removed value is off", {{L"Integer10", dword(1)}}, L"\"Integer10\"=-", L"T_Integer10", {false, L"", 0}},
        {"either location on", {}, L"\"First\"=dword:0\r\n\"Second\"=dword:0", L"TwoValues", {true, L"", 0}},
        {"every named location off", {{L"Second", dword(0)}}, L"\"First\"=dword:0", L"TwoValues", {false, L"", 0}},
        {"a text", {}, L"\"String\"=\"abc\"", L"T_String", {true, L"abc", 0}},
        {"an empty text is off, the text kept", {{L"String", sz(L"old")}}, L"\"String\"=\"\"", L"T_String",
         {false, L"old", 0}},
        {"a number", {}, L"\"Integer\"=dword:c", L"T_Integer", {true, L"", 12}},
        {"0 is off, the number kept", {{L"Integer", dword(5)}}, L"\"Integer\"=dword:0", L"T_Integer", {false, L"", 5}},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        ProfileApp app;
        for (const auto& [name, value] : c.before) setRaw(app.reg, kHkeyCurrentUser, kPolicies, name, value);
        app.start();
        const OpenedProfile opened = app.openReg(L"[HKEY_CURRENT_USER\\" + kPolicies + L"]\r\n" + c.body + L"\r\n");
        const TRestrListRec& e = app.entry(c.tweak);
        CHECK(TweakState{e.SetValue, e.cValue, e.nValue} == c.after);
        CHECK(opened.Names == std::vector<std::wstring>{c.tweak});
        CHECK(opened.UnmatchedCount() == 0);
    }
}

TEST_CASE("open: values of no tweak are handed back, and saved as a .reg file of their own they read back") {
    ProfileApp app;
    app.start();
    const OpenedProfile opened = app.openReg(
        L"[HKEY_CURRENT_USER\\" + kPolicies + L"]\r\n\"Integer10\"=dword:1\r\n\"Stranger\"=dword:5\r\n"
        L"\"Gone\"=-\r\n\r\n[-HKEY_CURRENT_USER\\Software\\Elsewhere]\r\n\r\n"
        L"[HKEY_CURRENT_USER\\" + kDisallow + L"]\r\n\"0\"=\"a.exe\"\r\n\"1\"=dword:1\r\n\r\n"
        L"[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n@=\"x\"\r\n");
    CHECK(app.entry(L"T_Integer10").SetValue);
    CHECK(opened.Lists == std::vector<std::wstring>{DisallowRunName});
    const std::vector<ProfileKey> expected = {
        {kHkeyCurrentUser, kPolicies, ProfileKey::Removal::None, true, {{L"Stranger", dword(5)}, {L"Gone", std::nullopt}}},
        {kHkeyCurrentUser, L"Software\\Elsewhere", ProfileKey::Removal::Tree, false, {}},
        {kHkeyCurrentUser, kDisallow, ProfileKey::Removal::None, true, {{L"1", dword(1)}}},
        {kHkeyLocalMachine, L"Software\\Other", ProfileKey::Removal::None, true, {{L"", sz(L"x")}}},
    };
    CHECK(opened.Unmatched == expected);
    CHECK(opened.UnmatchedCount() == 5);
    CHECK(UnmatchedLines(opened.Unmatched) ==
          std::vector<std::wstring>{
              L"HKEY_CURRENT_USER\\" + kPolicies + L": Stranger = REG_DWORD 0x00000005 (5)",
              L"HKEY_CURRENT_USER\\" + kPolicies + L": Gone is removed",
              L"HKEY_CURRENT_USER\\Software\\Elsewhere: the key is removed",
              L"HKEY_CURRENT_USER\\" + kDisallow + L": 1 = REG_DWORD 0x00000001 (1)",
              L"HKEY_LOCAL_MACHINE\\Software\\Other: (Default) = REG_SZ \"x\""});
    CHECK(ReadRegFile(RegFileBytes(RegFileText(opened.Unmatched))) == opened.Unmatched);
    const std::wstring message = OpenProfileMessage(opened);
    CHECK(message.find(L"5 values belong to no tweak") != std::wstring::npos);
    CHECK(message.find(L"Stranger") != std::wstring::npos);
}

TEST_CASE("open: a removed key switches off what lies in it and below it; a removal of values only the key's own") {
    const std::wstring removals =
        L"[-HKEY_CURRENT_USER\\Software\\QuillmarkTest]\r\n[-HKEY_CURRENT_USER\\" + kExplorer + L"]\r\n"
        L"[-HKEY_CURRENT_USER\\" + kDontLoad + L"]\r\n";
    ProfileApp app;
    for (FakeApplet& a : app.applets.applets) a.hidden = a.path == kDesk;
    setRaw(app.reg, kHkeyCurrentUser, kDontLoad, kDesk, sz(L"Yes"));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Integer10", dword(1));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"String10", sz(L"1"));
    setRaw(app.reg, kHkeyCurrentUser, kExplorer, L"DisallowRun", dword(1));
    setRaw(app.reg, kHkeyCurrentUser, kDisallow, L"0", sz(L"a.exe"));
    setRaw(app.reg, kHkeyCurrentUser, kOffice + L"\\11.0\\Common\\General", L"OfficeFlag", dword(1));
    app.start();
    AddRunListFiles(*app.model.Store(), RunListBlock(L"alice", DisallowRunName), {L"C:\\a.exe"});
    REQUIRE(app.entry(L"OfficeTweak").SetValue);

    SUBCASE("whole keys") {
        const OpenedProfile opened = app.openReg(removals);
        CHECK_FALSE(app.entry(L"T_Integer10").SetValue);
        CHECK_FALSE(app.entry(L"T_String10").SetValue);
        CHECK_FALSE(app.entry(L"DisallowRun").SetValue);
        CHECK_FALSE(app.entry(kDesk).SetValue);
        CHECK(app.storedList(DisallowRunName).empty());
        CHECK(app.entry(L"OfficeTweak").SetValue);  // elsewhere
        CHECK(opened.Unmatched.empty());
    }
    SUBCASE("the values of one key") {
        const std::vector<ProfileKey> profile = {
            {kHkeyCurrentUser, L"Software\\QuillmarkTest", ProfileKey::Removal::Values, true, {}},
            {kHkeyCurrentUser, kOffice, ProfileKey::Removal::Tree, false, {}},
        };
        const OpenedProfile opened = app.open(profile);
        CHECK(app.entry(L"T_Integer10").SetValue);  // below the emptied key
        CHECK_FALSE(app.entry(L"OfficeTweak").SetValue);  // every version goes with the Office key
        CHECK(opened.Unmatched == std::vector<ProfileKey>{profile[0]});
    }
}

TEST_CASE("open: a tweak listed twice, an Office key of another version, an applet this machine does not list") {
    ProfileApp app;
    app.reg.createKey(kHkeyCurrentUser, kOffice + L"\\16.0", kKeyWrite);
    app.start();
    const OpenedProfile opened = app.openReg(
        L"[HKEY_CURRENT_USER\\" + kPolicies + L"]\r\n\"SharedB\"=dword:1\r\n"
        L"[HKEY_CURRENT_USER\\" + kOffice + L"\\11.0\\Common\\General]\r\n\"OfficeFlag\"=dword:1\r\n"
        L"[HKEY_CURRENT_USER\\" + kDontLoad + L"]\r\n\"C:\\\\Other\\\\new.cpl\"=\"Yes\"\r\n\"C:\\\\Other\\\\old.cpl\"=-\r\n");
    CHECK(app.entry(L"Shared").SetValue);  // the first entry of the name: the one every edit reaches
    CHECK(app.entry(L"OfficeTweak").SetValue);
    const int applet = app.index(L"C:\\Other\\new.cpl");
    REQUIRE(applet >= 0);
    CHECK(app.model.FAppObjectsList[applet].GroupName == AppletGroupName);
    CHECK(app.model.FAppObjectsList[applet].ACaption == L" Hide new.cpl");
    CHECK(app.model.FAppObjectsList[applet].SetValue);
    CHECK(app.index(L"C:\\Other\\old.cpl") < 0);  // shown here already: nothing to write for it
    CHECK(opened.Changed == 3);
    const std::set<Row> rows = pendingRows(app);
    CHECK(rows.count({lower(L"HKEY_CURRENT_USER\\" + kOffice + L"\\16.0\\Common\\General"), L"officeflag",
                      L"REG_DWORD 0x00000001 (1)"}));
    CHECK(rows.count({lower(L"HKEY_CURRENT_USER\\" + kDontLoad), L"c:\\other\\new.cpl", L"REG_SZ \"Yes\""}));
}

TEST_CASE("open: application lists name a program by its stored full path where the store has one") {
    ProfileApp app;
    setRaw(app.reg, kHkeyCurrentUser, kDisallow, L"0", sz(L"x.exe"));
    setRaw(app.reg, kHkeyCurrentUser, kDisallow, L"1", sz(L"y.exe"));
    app.start();
    AddRunListFiles(*app.model.Store(), RunListBlock(L"alice", DisallowRunName), {L"C:\\a\\x.exe", L"D:\\y.exe"});
    AddRunListFiles(*app.model.Store(), RunListBlock(L"alice", RestrictRunName), {L"C:\\b\\z.exe"});
    const std::wstring disallow = L"[HKEY_CURRENT_USER\\" + kDisallow + L"]\r\n";
    const std::wstring restrict = L"[HKEY_CURRENT_USER\\" + kRestrict + L"]\r\n";
    const struct {
        const char* what;
        std::wstring body;
        std::vector<std::wstring> disallowed, restricted;
    } cases[] = {
        {"the same files", L"[-HKEY_CURRENT_USER\\" + kDisallow + L"]\r\n" + disallow + L"\"0\"=\"x.exe\"\r\n\"1\"=\"y.exe\"\r\n",
         {L"C:\\a\\x.exe", L"D:\\y.exe"}, {L"C:\\b\\z.exe"}},
        {"one value added to the registry's", disallow + L"\"2\"=\"w.exe\"\r\n", {L"C:\\a\\x.exe", L"D:\\y.exe", L"w.exe"},
         {L"C:\\b\\z.exe"}},
        {"one value removed", disallow + L"\"0\"=-\r\n", {L"D:\\y.exe"}, {L"C:\\b\\z.exe"}},
        {"in the order of their numbers", L"[-HKEY_CURRENT_USER\\" + kDisallow + L"]\r\n" + disallow +
             L"\"10\"=\"c.exe\"\r\n\"2\"=\"b.exe\"\r\n\"0\"=\"a.exe\"\r\n",
         {L"a.exe", L"b.exe", L"c.exe"}, {L"C:\\b\\z.exe"}},
        {"the program's own name that the save adds anyway", restrict + L"\"0\"=\"z.exe\"\r\n\"1\"=\"quillmark.exe\"\r\n",
         {L"C:\\a\\x.exe", L"D:\\y.exe"}, {L"C:\\b\\z.exe"}},
    };
    for (const auto& c : cases) {
        CAPTURE(std::string(c.what));
        // Each case on the same start: the store's lists back as they were.
        app.model.Store()->setList(RunListBlock(L"alice", DisallowRunName), {L"C:\\a\\x.exe", L"D:\\y.exe"});
        app.model.Store()->setList(RunListBlock(L"alice", RestrictRunName), {L"C:\\b\\z.exe"});
        app.openReg(c.body);
        CHECK(app.storedList(DisallowRunName) == c.disallowed);
        CHECK(app.storedList(RestrictRunName) == c.restricted);
    }
}

TEST_CASE("open: the ways a chosen file can be read") {
    TempFolder folder;
    const auto write = [&](const fs::path& relative, const std::vector<std::uint8_t>& bytes) {
        fs::create_directories((folder.path / relative).parent_path());
        std::ofstream(folder.path / relative, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return folder.path / relative;
    };
    const std::vector<std::uint8_t> pol = PolicyFileBytes({}, kHkeyCurrentUser);
    const fs::path user = write("gpo/User/Registry.pol", pol);
    const fs::path lone = write("lone/machine/Registry.pol", pol);
    const fs::path stray = write("stray.pol", pol);
    const fs::path reg = write("profile.pol.reg", RegFileBytes(RegFileText(std::vector<ProfileKey>{})));
    using Sources = std::vector<std::pair<fs::path, RegRoot>>;
    const auto sources = [](const std::vector<ProfileChoice>& choices) {
        std::vector<Sources> out;
        for (const ProfileChoice& c : choices) {
            out.emplace_back();
            for (const ProfileSource& s : c.Sources) out.back().emplace_back(s.File, s.Root);
        }
        return out;
    };
    CHECK(sources(ProfileChoices(reg)) == std::vector<Sources>{{{reg, 0}}});  // by content, not by name
    CHECK(sources(ProfileChoices(lone)) == std::vector<Sources>{{{lone, kHkeyLocalMachine}}});
    CHECK(sources(ProfileChoices(user)) == std::vector<Sources>{{{user, kHkeyCurrentUser}}});
    const fs::path machine = write("gpo/Machine/Registry.pol", pol);
    CHECK(sources(ProfileChoices(user)) ==
          std::vector<Sources>{{{user, kHkeyCurrentUser}, {machine, kHkeyLocalMachine}}, {{user, kHkeyCurrentUser}}});
    const std::vector<ProfileChoice> strayChoices = ProfileChoices(stray);
    CHECK(sources(strayChoices) == std::vector<Sources>{{{stray, kHkeyCurrentUser}}, {{stray, kHkeyLocalMachine}}});
    CHECK(strayChoices[1].Caption == L"As the machine part (HKEY_LOCAL_MACHINE)");
}
