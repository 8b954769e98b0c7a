// Whose restrictions are shown, on the in-memory registry: the profile list, the chooser's
// items, /user, and the model switching between the running user, another user's hive and
// back.
#include <doctest/doctest.h>

#include <map>

#include "app/locationtext.h"
#include "app/runlists.h"
#include "app/userchoice.h"
#include "base/error.h"
#include "registry/regaccess.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::getRaw;
using regtest::setRaw;
using regtest::sz;

namespace {

const std::wstring kAliceSid = L"S-1-5-21-1-2-3-1000";
const std::wstring kBobSid = L"S-1-5-21-1-2-3-1001";
const std::wstring kCarolSid = L"S-1-5-21-1-2-3-1002";
const std::wstring kProfiles = ProfileListKey;
const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kDesk = L"C:\\Windows\\system32\\desk.cpl";
const std::wstring kMouse = L"::{GUID-MOUSE}\\mouse";

ProfileNaming naming() {
    return {[](const std::wstring& sid) -> std::optional<std::wstring> {
                const std::map<std::wstring, std::wstring> names{{kAliceSid, L"PC\\alice"},
                                                                 {kBobSid, L"PC\\bob"},
                                                                 {kCarolSid, L"CORP\\carol"},
                                                                 {L"S-1-12-1-5-6-7-8", L"AzureAD\\erin"}};
                const auto it = names.find(sid);
                if (it == names.end()) return std::nullopt;
                return it->second;
            },
            [](const std::wstring& path) {
                const std::wstring var = L"%SystemDrive%";
                std::wstring out = path;
                if (const std::size_t at = out.find(var); at != std::wstring::npos) out.replace(at, var.size(), L"C:");
                return out;
            }};
}

void addProfile(MemoryRegistry& reg, const std::wstring& sid, const std::wstring& folder) {
    setRaw(reg, kHkeyLocalMachine, kProfiles + L"\\" + sid, L"ProfileImagePath",
           {kRegExpandSz, regtest::utf16(folder)});
}

UserProfile profile(const std::wstring& sid, const std::wstring& name, bool signedIn = false) {
    return {sid, name, L"C:\\Users\\" + name.substr(name.find(L'\\') + 1) + L"\\NTUSER.DAT", signedIn, false};
}
UserProfile defaultProfile() { return {L"", DefaultProfileName, L"C:\\Users\\Default\\NTUSER.DAT", false, true}; }

std::string show(const std::vector<UserProfile>& profiles) {
    std::wstring text;
    for (const UserProfile& p : profiles)
        text += p.Name + L" [" + p.Sid + L"] " + p.HivePath + (p.SignedIn ? L" signed in" : L"") +
                (p.DefaultProfile ? L" default" : L"") + L"\n";
    return toUtf8(text);
}

// A started model for alice, with bob's hive mounted beside her registry: each of them has
// switched on a different half of the tweaks.
struct Users : App {
    FakeHives hives;
    UserProfile alice{kAliceSid, L"PC\\alice", L"C:\\Users\\alice\\NTUSER.DAT", true, false};
    UserProfile bob = profile(kBobSid, L"PC\\bob");
    std::wstring bobKey = FakeHives::mountOf(bob);
    std::vector<std::wstring> asked, errors;
    SaveAnswer answer = SaveAnswer::Cancel;
    bool elevated = true;

    Users() {
        setRaw(reg, kHkeyCurrentUser, kPolicies, L"Zeta", dword(1));
        setRaw(reg, kHkeyCurrentUser, kPolicies, L"TextTweak", sz(L"alice's text"));
        setRaw(reg, kHkeyCurrentUser, kDontLoad, kDesk, sz(L"Yes"));
        setRaw(reg, kHkeyUsers, bobKey + L"\\" + kPolicies, L"Alpha", dword(1));
        setRaw(reg, kHkeyUsers, bobKey + L"\\" + kPolicies, L"TextTweak", sz(L"bob's text"));
        setRaw(reg, kHkeyUsers, bobKey + L"\\" + kDontLoad, kMouse, sz(L"Yes"));
        setRaw(reg, kHkeyLocalMachine, kMachine, L"MachineFlag", dword(1));
        applets.applets = {{kDesk, L"Display", true}, {kMouse, L"Mouse", false}};
        model.RunningUser = alice;
        model.OpenUserHive = hives.hook();
        model.IsElevated = [this] { return elevated; };
        model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
        start();
    }
    TMainModel::UserSwitch choose(const UserProfile& user) {
        return model.ChooseUser(
            user,
            [this](const std::wstring& text, const std::wstring&) {
                asked.push_back(text);
                return answer;
            },
            [this](const std::wstring& text) { errors.push_back(text); });
    }
    std::optional<RegValue> bobs(const std::wstring& key, const std::wstring& name) {
        return getRaw(reg, kHkeyUsers, bobKey + L"\\" + key, name);
    }
};

// Every value below a key, with its path, for comparing a whole subtree before and after.
void dump(IRegistry& reg, RegRoot root, const std::wstring& path, std::map<std::wstring, RegValue>& out) {
    std::unique_ptr<IRegKey> key = reg.openKey(root, path, kKeyRead);
    if (!key) return;
    for (std::uint32_t i = 0;; ++i) {
        const std::optional<std::wstring> name = key->enumValueName(i);
        if (!name) break;
        out[path + L"|" + *name] = *key->queryValue(*name);
    }
    std::vector<std::wstring> subkeys;
    for (std::uint32_t i = 0;; ++i) {
        const std::optional<std::wstring> name = key->enumSubkey(i, 256);
        if (!name) break;
        subkeys.push_back(*name);
    }
    key.reset();
    for (const std::wstring& sub : subkeys) dump(reg, root, path.empty() ? sub : path + L"\\" + sub, out);
}
std::map<std::wstring, RegValue> dump(IRegistry& reg, RegRoot root) {
    std::map<std::wstring, RegValue> out;
    dump(reg, root, L"", out);
    return out;
}

}  // namespace

TEST_CASE("the profile list: user accounts sorted by name, signed in when HKEY_USERS holds them, the default profile last") {
    MemoryRegistry reg;
    for (const auto& [sid, folder] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"S-1-5-18", L"%systemroot%\\system32\\config\\systemprofile"},
             {L"S-1-5-19", L"C:\\Windows\\ServiceProfiles\\LocalService"},
             {L"S-1-5-80-1-2", L"C:\\Windows\\ServiceProfiles\\Service"},
             {kBobSid, L"%SystemDrive%\\Users\\bob"},
             {kAliceSid, L"C:\\Users\\alice\\"},
             {kBobSid + L".bak", L"C:\\Users\\bob.old"},
             {L"S-1-12-1-5-6-7-8", L"C:\\Users\\erin"},
             {L"S-1-5-21-1-2-3-1007", L"C:\\Users\\gone"}}) {
        addProfile(reg, sid, folder);
    }
    // Listed without a folder and not loaded: nothing to show.
    REQUIRE(reg.createKey(kHkeyLocalMachine, kProfiles + L"\\" + kCarolSid, kKeyWrite));
    REQUIRE(reg.createKey(kHkeyUsers, kAliceSid, kKeyWrite));
    REQUIRE(reg.createKey(kHkeyUsers, L"S-1-5-18", kKeyWrite));

    const std::vector<UserProfile> expected{
        {L"S-1-12-1-5-6-7-8", L"AzureAD\\erin", L"C:\\Users\\erin\\NTUSER.DAT", false, false},
        {kAliceSid, L"PC\\alice", L"C:\\Users\\alice\\NTUSER.DAT", true, false},
        {kBobSid, L"PC\\bob", L"C:\\Users\\bob\\NTUSER.DAT", false, false},
        // An account that cannot be found any more is named by its SID.
        {L"S-1-5-21-1-2-3-1007", L"S-1-5-21-1-2-3-1007", L"C:\\Users\\gone\\NTUSER.DAT", false, false},
        defaultProfile(),
    };
    CHECK(show(ReadProfiles(reg, naming())) == show(expected));

    SUBCASE("the default profile where ProfileList's Default value says") {
        setRaw(reg, kHkeyLocalMachine, kProfiles, L"Default", {kRegExpandSz, regtest::utf16(L"D:\\Profiles\\Default")});
        CHECK(ReadProfiles(reg, naming()).back().HivePath == L"D:\\Profiles\\Default\\NTUSER.DAT");
    }
    SUBCASE("no profile list at all: only the default profile") {
        MemoryRegistry empty;
        CHECK(show(ReadProfiles(empty, naming())) == show({defaultProfile()}));
    }
    CHECK(reg.openKeyCount() == 0);
}

TEST_CASE("the chooser: the running user first, signed-in users marked, the default profile last") {
    const UserProfile alice = profile(kAliceSid, L"PC\\alice", true);
    const std::vector<UserProfile> profiles{profile(kCarolSid, L"CORP\\carol", true), alice,
                                            profile(kBobSid, L"PC\\bob"), defaultProfile()};
    const auto captions = [](const std::vector<UserChoice>& choices) {
        std::vector<std::wstring> out;
        for (const UserChoice& c : choices) out.push_back(c.Caption + (c.Running ? L" *" : L""));
        return out;
    };
    CHECK(captions(UserChoices(profiles, alice)) ==
          std::vector<std::wstring>{L"PC\\alice (you) *", L"CORP\\carol (signed in)", L"PC\\bob",
                                    L"New users (default profile)"});
    // A running user whom the profile list does not hold is offered all the same.
    const UserProfile dave = profile(L"S-1-5-21-1-2-3-1009", L"PC\\dave", true);
    CHECK(captions(UserChoices(profiles, dave)).front() == L"PC\\dave (you) *");
    CHECK(UserChoices(profiles, dave).size() == profiles.size() + 1);
}

TEST_CASE("/user: default, a SID, DOMAIN\\name, a name alone only when it is unique, a hive file") {
    const std::vector<UserProfile> profiles{profile(kAliceSid, L"PC\\alice", true), profile(kBobSid, L"PC\\bob"),
                                            profile(kCarolSid, L"CORP\\bob"), defaultProfile()};
    struct Case {
        const wchar_t* argument;
        const wchar_t* name;  // null: no profile
        const wchar_t* hivePath;
    };
    const Case cases[] = {
        {L"default", DefaultProfileName, L"C:\\Users\\Default\\NTUSER.DAT"},
        {L"DEFAULT", DefaultProfileName, L"C:\\Users\\Default\\NTUSER.DAT"},
        {L"S-1-5-21-1-2-3-1001", L"PC\\bob", L"C:\\Users\\bob\\NTUSER.DAT"},
        {L"s-1-5-21-1-2-3-1002", L"CORP\\bob", L"C:\\Users\\bob\\NTUSER.DAT"},
        {L"pc\\BOB", L"PC\\bob", L"C:\\Users\\bob\\NTUSER.DAT"},
        {L" alice ", L"PC\\alice", L"C:\\Users\\alice\\NTUSER.DAT"},
        {L"bob", nullptr, nullptr},  // two accounts of that name: never a guess
        {L"c:\\users\\alice\\ntuser.dat", L"PC\\alice", L"C:\\Users\\alice\\NTUSER.DAT"},
        {L"E:\\Backup\\Users\\frank\\NTUSER.DAT", L"E:\\Backup\\Users\\frank\\NTUSER.DAT",
         L"E:\\Backup\\Users\\frank\\NTUSER.DAT"},
        {L"nobody", nullptr, nullptr},
        {L"", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        CAPTURE(toUtf8(c.argument));
        const std::optional<UserProfile> found = FindUserProfile(profiles, c.argument);
        REQUIRE(found.has_value() == (c.name != nullptr));
        if (!found) continue;
        CHECK(found->Name == c.name);
        CHECK(found->HivePath == c.hivePath);
    }
    // A loose hive file is nobody's profile: its snapshot and lists are its own.
    const UserProfile loose = *FindUserProfile(profiles, L"E:\\Backup\\Users\\frank\\NTUSER.DAT");
    CHECK(loose.Sid.empty());
    CHECK(UndoSnapshotFileFor(loose) == L"E__Backup_Users_frank_NTUSER.DAT.qmk");
    CHECK(UndoSnapshotFileFor(profiles[1]) == L"S-1-5-21-1-2-3-1001.qmk");
    CHECK(UndoSnapshotFileFor(defaultProfile()) == L"DefaultProfile.qmk");
    CHECK(RunListOwner(profiles[1]) == L"bob");
    CHECK(RunListOwner(defaultProfile()) == L"*DefaultProfile");
}

TEST_CASE("another user chosen: every per-user read and write goes to that user's hive, none to the running user's") {
    Users app;
    const auto hkcuBefore = dump(app.reg, kHkeyCurrentUser);
    CHECK(app.entry(L"Zeta").SetValue);
    CHECK(app.entry(kDesk).SetValue);

    REQUIRE(app.choose(app.bob) == TMainModel::UserSwitch::Switched);
    CHECK(app.asked.empty());  // nothing was unsaved
    CHECK(app.model.EditedUser().Name == L"PC\\bob");
    CHECK(CurrentUserName == L"bob");

    std::vector<std::pair<RegRoot, std::wstring>> opened;
    app.reg.beforeOpen = [&](RegRoot root, const std::wstring& path) { opened.emplace_back(root, path); };
    // Bob's states, applets included; the machine-wide tweak reads the same for everyone.
    CHECK_FALSE(app.entry(L"Zeta").SetValue);
    CHECK(app.entry(L"Alpha").SetValue);
    CHECK(app.entry(L"TextTweak").cValue == L"bob's text");
    CHECK_FALSE(app.entry(kDesk).SetValue);
    CHECK(app.entry(kMouse).SetValue);
    CHECK(app.entry(L"MachineFlag").SetValue);

    app.toggle(L"Zeta", true);
    app.toggle(L"Alpha", false);
    app.entry(L"TextTweak").cValue = L"bob's new text";
    app.model.SettingsChanged(app.index(L"TextTweak"));
    app.toggle(kDesk, true, ImageListKind::AppImageList);
    app.toggle(kMouse, false, ImageListKind::AppImageList);
    app.toggle(L"MachineFlag", false);
    AddRunListFiles(*SettingsStore, RunListBlock(CurrentUserName, DisallowRunName), {L"C:\\Games\\game.exe"});
    app.toggle(L"DisallowRun", true);
    const SaveResult result = app.model.SaveSettings();
    CHECK(result.Succeeded());
    CHECK(result.Wrote);

    CHECK(app.bobs(kPolicies, L"Zeta") == dword(1));
    CHECK(app.bobs(kPolicies, L"Alpha") == dword(0));
    CHECK(app.bobs(kPolicies, L"TextTweak") == sz(L"bob's new text"));
    CHECK(app.bobs(kDontLoad, kDesk) == sz(L"Yes"));
    CHECK_FALSE(app.bobs(kDontLoad, kMouse));
    CHECK(app.bobs(std::wstring(RunListsKey) + DisallowRunName, L"0") == sz(L"game.exe"));
    CHECK(getRaw(app.reg, kHkeyLocalMachine, kMachine, L"MachineFlag") == dword(0));
    for (const auto& [root, path] : opened) {
        CAPTURE(toUtf8(path));
        CHECK(root != kHkeyCurrentUser);
    }
    CHECK(dump(app.reg, kHkeyCurrentUser) == hkcuBefore);
    CHECK(app.model.SavedMessage(result) ==
          std::optional<std::wstring>(L"The restrictions of PC\\bob were saved. They take effect when PC\\bob next "
                                      L"signs in."));
}

TEST_CASE("back to the running user: her own registry, states and lists again, and no hive left open") {
    Users app;
    REQUIRE(app.choose(app.bob) == TMainModel::UserSwitch::Switched);
    CHECK(*app.hives.open == 1);
    CHECK(&Registry() != &app.reg);

    REQUIRE(app.choose(app.alice) == TMainModel::UserSwitch::Switched);
    CHECK(*app.hives.open == 0);
    CHECK(&Registry() == &app.reg);
    CHECK(app.model.EditsRunningUser());
    CHECK(CurrentUserName == L"alice");
    CHECK(app.entry(L"Zeta").SetValue);
    CHECK_FALSE(app.entry(L"Alpha").SetValue);
    CHECK(app.entry(L"TextTweak").cValue == L"alice's text");
    CHECK(app.hives.opened == std::vector<std::wstring>{L"PC\\bob"});  // her own needs no hive

    // Choosing whoever is shown already changes nothing and asks nothing.
    app.toggle(L"Alpha", true);
    CHECK(app.choose(app.alice) == TMainModel::UserSwitch::Unchanged);
    CHECK(app.asked.empty());
    CHECK(app.entry(L"Alpha").SetValue);

}

TEST_CASE("a model that ends while another user is shown lets go of the hive") {
    Users app;
    {
        TMainModel model;
        model.LoadCPApplets = [](TAppObjectsList&) {};
        model.RunningUser = app.alice;
        model.OpenUserHive = app.hives.hook();
        model.FormCreate({app.folder.withSeparator(), [&](XmlDocument& doc) { doc.loadFromBytes(app.scheme); },
                          [] { return std::wstring(L"alice"); }});
        REQUIRE(model.ChooseUser(app.bob, [](const std::wstring&, const std::wstring&) { return SaveAnswer::No; },
                                 [](const std::wstring&) {}) == TMainModel::UserSwitch::Switched);
        CHECK(*app.hives.open == 1);
    }
    CHECK(*app.hives.open == 0);
    CHECK(&Registry() == &app.reg);
}

TEST_CASE("switching with unsaved changes asks exactly as closing does") {
    struct Case {
        const char* name;
        SaveAnswer answer;
        TMainModel::UserSwitch result;
        std::optional<RegValue> aliceAlpha;  // what alice's registry holds afterwards
    };
    const Case cases[] = {
        {"Cancel stays on her, changes kept", SaveAnswer::Cancel, TMainModel::UserSwitch::Unchanged, std::nullopt},
        {"No drops the changes and switches", SaveAnswer::No, TMainModel::UserSwitch::Switched, std::nullopt},
        {"Yes saves them for her, then switches", SaveAnswer::Yes, TMainModel::UserSwitch::Switched, dword(1)},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        Users app;
        app.answer = c.answer;
        app.toggle(L"Alpha", true);
        SettingsStore->SetStr(L"Probe", L"1");
        REQUIRE(app.model.SettingsModified());

        CHECK(app.choose(app.bob) == c.result);
        CHECK(app.asked == std::vector<std::wstring>{L"Save the changed restrictions for PC\\alice and this computer?"});
        CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Alpha") == c.aliceAlpha);
        if (c.answer == SaveAnswer::Cancel) {
            CHECK(app.model.EditsRunningUser());
            CHECK(app.model.SettingsModified());
            CHECK(app.entry(L"Alpha").SetValue);
            CHECK(SettingsStore->GetStr(L"Probe", L"") == L"1");
            CHECK(app.hives.opened.empty());
        } else {
            CHECK(app.model.EditedUser().Name == L"PC\\bob");
            CHECK_FALSE(app.model.SettingsModified());
            // What was dropped is gone from memory too, and what was saved stays.
            CHECK(SettingsStore->GetStr(L"Probe", L"") == (c.answer == SaveAnswer::Yes ? L"1" : L""));
        }
    }
}

TEST_CASE("a hive that cannot be loaded names the user and why, and the window stays on the user it showed") {
    Users app;
    REQUIRE(app.choose(app.bob) == TMainModel::UserSwitch::Switched);
    app.toggle(L"Zeta", true);
    app.answer = SaveAnswer::No;
    app.hives.failure = L"its settings file \"C:\\Users\\carol\\NTUSER.DAT\" is in use.";

    CHECK(app.choose(profile(kCarolSid, L"CORP\\carol")) == TMainModel::UserSwitch::Unchanged);
    CHECK(app.errors == std::vector<std::wstring>{L"The restrictions of CORP\\carol cannot be shown: its settings "
                                                  L"file \"C:\\Users\\carol\\NTUSER.DAT\" is in use."});
    CHECK(app.model.EditedUser().Name == L"PC\\bob");
    CHECK(*app.hives.open == 1);
    CHECK(CurrentUserName == L"bob");
    CHECK(app.entry(L"Alpha").SetValue);
    CHECK(app.entry(L"Zeta").SetValue);  // the edit not yet saved is still there
    app.hives.failure.reset();
    CHECK(app.model.SaveSettings().Succeeded());
    CHECK(app.bobs(kPolicies, L"Zeta") == dword(1));
}

TEST_CASE("without administrator rights another user is not shown, and the tweaks that cannot be saved are counted") {
    Users app;
    app.elevated = false;
    CHECK(app.choose(app.bob) == TMainModel::UserSwitch::NeedsElevation);
    CHECK(app.hives.opened.empty());
    CHECK(app.model.EditsRunningUser());
    CHECK(app.model.TweaksNeedingElevation() == 1);  // MachineFlag, under HKEY_LOCAL_MACHINE
    app.elevated = true;
    CHECK(app.model.TweaksNeedingElevation() == 0);

    // Another user's every tweak and applet, each once although Shared is listed twice.
    CHECK(TweaksNeedingElevation(app.model.FAppObjectsList, true) == 11);
    CHECK(NotElevatedText(1) == L"Not running as administrator: 1 tweak cannot be saved.");
    CHECK(NotElevatedText(11) == L"Not running as administrator: 11 tweaks cannot be saved.");
}

TEST_CASE("each user has a snapshot of their own first-seen state, and Undo all returns them to it") {
    Users app;
    const fs::path bobSnapshot = app.folder.path / (kBobSid + L".qmk");
    CHECK(fs::exists(app.folder.path / "default.qmk"));
    CHECK_FALSE(fs::exists(bobSnapshot));

    REQUIRE(app.choose(app.bob) == TMainModel::UserSwitch::Switched);
    REQUIRE(fs::exists(bobSnapshot));
    {
        const TEncriptor snapshot(bobSnapshot.wstring(), true);
        CHECK(snapshot.GetBool(L"Alpha", false));
        CHECK_FALSE(snapshot.GetBool(L"Zeta", true));
        CHECK(snapshot.GetStr(L"TextTweak_str", L"") == L"bob's text");
    }
    app.toggle(L"Alpha", false);
    REQUIRE(app.model.SaveSettings().Succeeded());

    // Seen again later, bob keeps the snapshot of the first time.
    REQUIRE(app.choose(app.alice) == TMainModel::UserSwitch::Switched);
    REQUIRE(app.choose(app.bob) == TMainModel::UserSwitch::Switched);
    CHECK_FALSE(app.entry(L"Alpha").SetValue);
    const auto undo = [&] {
        app.model.UndoAllTweaks({[](bool) {}, [&] { app.model.SettingsChanged(-1); },
                                 [](const std::wstring&, const std::wstring&) { return true; },
                                 [](const std::wstring&, const std::wstring&) {}});
    };
    undo();
    CHECK(app.entry(L"Alpha").SetValue);
    CHECK_FALSE(app.entry(L"Zeta").SetValue);

    // Alice's undo is hers: default.qmk, taken when she started.
    app.answer = SaveAnswer::No;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta", dword(0));
    REQUIRE(app.choose(app.alice) == TMainModel::UserSwitch::Switched);
    CHECK_FALSE(app.entry(L"Zeta").SetValue);
    undo();
    CHECK(app.entry(L"Zeta").SetValue);
    CHECK_FALSE(app.entry(L"Alpha").SetValue);
}

TEST_CASE("what the window tells about another user: location roots, the export's header, the message after saving") {
    Users app;
    const int zeta = app.index(L"Zeta"), machine = app.index(L"MachineFlag");
    CHECK(LocationText(app.model.FAppObjectsList, zeta).find(L"Root: HKEY_CURRENT_USER\r\n") != std::wstring::npos);
    CHECK_FALSE(app.model.SavedMessage(SaveResult{}));
    CHECK(app.model.PlanExport(L"quillmark.exe").MadeFor.empty());

    REQUIRE(app.choose(app.bob) == TMainModel::UserSwitch::Switched);
    const std::wstring bob = app.model.EditedUser().Name;
    CHECK(LocationText(app.model.FAppObjectsList, zeta, bob).find(L"Root: HKEY_CURRENT_USER of PC\\bob\r\n") !=
          std::wstring::npos);
    CHECK(LocationText(app.model.FAppObjectsList, machine, bob)
              .find(L"Root: HKEY_LOCAL_MACHINE (machine-wide: the same for every user)\r\n") != std::wstring::npos);
    CHECK(LocationText(app.model.FAppObjectsList, app.index(kMouse), bob)
              .find(L"Root: HKEY_CURRENT_USER of PC\\bob\r\n") != std::wstring::npos);

    // The export still names HKEY_CURRENT_USER, with bob's values, and says for whom.
    app.toggle(L"Middle", true);
    const ExportPlan plan = app.model.PlanExport(L"quillmark.exe");
    const std::wstring text = RegFileText(plan);
    CHECK(text.starts_with(L"Windows Registry Editor Version 5.00\r\n\r\n; Made for PC\\bob: HKEY_CURRENT_USER below "
                           L"is the user who imports this file.\r\n\r\n"));
    CHECK(text.find(L"[HKEY_CURRENT_USER\\Software\\QuillmarkTest\\Policies]\r\n") != std::wstring::npos);
    CHECK(text.find(L"\"Alpha\"=dword:00000001") != std::wstring::npos);
    CHECK(text.find(L"\"Middle\"=dword:00000001") != std::wstring::npos);
    CHECK(text.find(L"\"Zeta\"") == std::wstring::npos);  // on for alice only
    CHECK(text.find(L"HKEY_USERS") == std::wstring::npos);

    app.bob.SignedIn = true;
    CHECK(SavedForUserMessage(app.bob) ==
          L"The restrictions of PC\\bob were saved. They take effect when PC\\bob next signs in.\n\nPC\\bob is signed "
          L"in now: they take effect after signing out and in again.");
    CHECK(SavedForUserMessage(defaultProfile()) ==
          L"The restrictions were saved in the default profile. They apply to every account created from now on, "
          L"from its first sign-in.");
    SaveResult failed;
    failed.Failures.push_back({L"Zeta", L"zeta tweak", L"denied"});
    CHECK_FALSE(app.model.SavedMessage(failed));
}
