#include <doctest/doctest.h>

#include <fstream>
#include <map>

#include "app/export.h"
#include "app/runlists.h"
#include "base/text.h"
#include "registry/regaccess.h"
#include "store/atomic_file.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::getRaw;
using regtest::setRaw;

namespace {

// A started model whose applet and run-list steps are recorded.
struct SavingApp : App {
    std::vector<std::wstring> steps;
    SavingApp() {
        model.SaveSteps.applyAppletState = [this](const std::wstring& path, bool hidden) {
            steps.push_back(L"applet " + path + (hidden ? L" hidden" : L" shown"));
        };
        model.SaveSteps.saveRunList = [this](const TweakRequest& flag) {
            steps.push_back(L"runlist " + flag.Name + (flag.Wanted ? L" set" : L" clear"));
            return std::vector<SaveFailure>{};
        };
    }
    std::optional<RegValue> policy(const std::wstring& name) { return getRaw(reg, kHkeyCurrentUser, kPolicies, name); }
    std::optional<RegValue> machine(const std::wstring& name) { return getRaw(reg, kHkeyLocalMachine, kMachine, name); }
    void changeStore() {
        SettingsStore->SetStr(L"Probe", L"1");
        model.SettingsChanged(-1);
    }
    bool storeWritten() { return TEncriptor((folder.path / "quillmark.dat").wstring(), true).GetStr(L"Probe", L"") == L"1"; }
};

}  // namespace

TEST_CASE("save: tweaks, then applets in list order, then the run lists, then the store") {
    SavingApp app;
    app.start();
    app.toggle(L"Zeta", true);
    app.toggle(L"::{GUID-MOUSE}\\mouse", true, ImageListKind::AppImageList);
    app.toggle(L"DisallowRun", true);
    app.changeStore();

    // Each step sees the one before it done and the store not yet written.
    app.model.SaveSteps.applyAppletState = [&](const std::wstring& path, bool hidden) {
        CHECK(app.policy(L"Zeta") == dword(1));
        CHECK_FALSE(app.storeWritten());
        app.steps.push_back(L"applet " + path + (hidden ? L" hidden" : L" shown"));
    };
    const SaveResult result = app.model.SaveSettings();
    CHECK(result.Succeeded());
    CHECK(app.steps == std::vector<std::wstring>{L"applet C:\\Windows\\system32\\desk.cpl hidden",
                                                 L"applet ::{GUID-MOUSE}\\mouse hidden", L"runlist DisallowRun set",
                                                 L"runlist RestrictRun clear"});
    CHECK(app.storeWritten());
    CHECK_FALSE(app.model.SettingsModified());
    // Only what differs is written: the unchanged tweaks leave no value behind. The run-list
    // tweaks go with their lists, in that step.
    CHECK_FALSE(app.policy(L"DisallowRun"));
    CHECK_FALSE(app.policy(L"Alpha"));
    CHECK_FALSE(app.machine(L"MachineFlag"));
}

TEST_CASE("save: a text tweak writes the text its editor left in the entry") {
    SavingApp app;
    app.start();
    app.toggle(L"TextTweak", true);
    app.entry(L"TextTweak").cValue = L"hello";
    CHECK(app.model.SaveSettings().Succeeded());
    CHECK(app.policy(L"TextTweak") == regtest::sz(L"hello"));
    CHECK(SettingsStore->GetStr(L"TextTweak_str", L"") == L"hello");
}

TEST_CASE("save: a tweak listed in two groups saves what the user chose in either") {
    struct Case {
        const char* name;
        bool before;
        std::wstring group;  // where the user switches it
        bool wanted;
    };
    const Case cases[] = {
        {"switched on in the second group", false, L"Group_Network", true},
        {"switched off in the second group", true, L"Group_Network", false},
        {"switched on in the first group", false, L"Group_MachineSystem", true},
        {"switched off in the first group", true, L"Group_MachineSystem", false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        SavingApp app;
        setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Shared", dword(c.before ? 1 : 0));
        app.start();
        app.model.ShowGroup(c.group);
        app.toggle(L"Shared", c.wanted);
        for (const wchar_t* group : {L"Group_MachineSystem", L"Group_Network"}) {
            const GroupView view = app.model.ShowGroup(group);
            for (const ListItemView& item : view.Items)
                if (item.Name == L"Shared") CHECK(item.Checked == c.wanted);
        }
        CHECK(app.model.SaveSettings().Succeeded());
        CHECK(app.policy(L"Shared") == dword(c.wanted ? 1 : 0));
    }
}

TEST_CASE("save: a denied write is named, the rest is saved, the settings stay unsaved") {
    SavingApp app;
    // A user without administrator rights.
    app.reg.denyAccess(kHkeyLocalMachine, L"Software", kKeyWrite | kKeyCreateSubKey);
    app.start();
    app.toggle(L"MachineFlag", true);
    app.toggle(L"Alpha", true);
    app.changeStore();
    std::vector<bool> notified;
    app.model.OnModifiedChanged = [&](bool m) { notified.push_back(m); };

    SUBCASE("File > Save") {
        const SaveResult result = app.model.SaveSettings();
        REQUIRE(result.Failures.size() == 1);
        CHECK(result.Failures[0].Name == L"MachineFlag");
        CHECK(result.Failures[0].Caption == L"Machine flag");
        CHECK(result.Failures[0].Message ==
              L"Unable to open key \"HKEY_LOCAL_MACHINE\\Software\\QuillmarkTest\\Machine\" for write");
        const std::wstring message = SaveFailureMessage(result);
        CHECK(message.find(L"Machine flag (MachineFlag): Unable to open key") != std::wstring::npos);

        CHECK(app.policy(L"Alpha") == dword(1));
        CHECK_FALSE(app.machine(L"MachineFlag"));
        CHECK(app.steps.size() == 4);  // applets and run lists still ran
        CHECK(app.storeWritten());
        CHECK(app.model.SettingsModified());
        CHECK(notified.back());
    }
    SUBCASE("Yes in the close question keeps the window open and says why") {
        std::vector<SaveFailure> shown;
        app.model.OnSaveFailed = [&](const SaveResult& r) { shown = r.Failures; };
        CHECK_FALSE(app.model.QuerySaveSettings([](auto&, auto&) { return SaveAnswer::Yes; }));
        REQUIRE(shown.size() == 1);
        CHECK(shown[0].Name == L"MachineFlag");
        // The next close asks again.
        bool asked = false;
        app.model.QuerySaveSettings([&](auto&, auto&) {
            asked = true;
            return SaveAnswer::Cancel;
        });
        CHECK(asked);
    }
}

TEST_CASE("save: a class key that cannot be renamed is reported") {
    SavingApp app;
    app.scheme = sourceFile("tests/fixtures/app/clsid.xml");
    const std::wstring classes = L"Software\\QuillmarkTest\\CLSID";
    const std::wstring plain = classes + L"\\{5b4dae26-b807-11d0-9815-00c04fd91972}";
    setRaw(app.reg, kHkeyCurrentUser, plain, L"", regtest::sz(L"Menu bars"));
    app.reg.denyAccess(kHkeyCurrentUser, classes, kKeyWrite | kKeyCreateSubKey);
    app.start();
    app.toggle(L"HideClass", true);
    const SaveResult result = app.model.SaveSettings();
    REQUIRE(result.Failures.size() == 1);
    CHECK(result.Failures[0].Name == L"HideClass");
    CHECK(KeyPresent(kHkeyCurrentUser, plain));
    CHECK(app.model.SettingsModified());
}

TEST_CASE("save: an applet error ends the save, nothing after it runs, the settings stay unsaved") {
    SavingApp app;
    app.start();
    app.toggle(L"Zeta", true);
    app.changeStore();
    app.model.SaveSteps.applyAppletState = [&](const std::wstring& path, bool) {
        app.steps.push_back(L"applet " + path);
        throw EJclRegistryError(L"Unable to open key \"HKEY_CURRENT_USER\\Control Panel\\don't load\" for write");
    };

    SUBCASE("File > Save") {
        CHECK_THROWS_AS(app.model.SaveSettings(), EJclRegistryError);
        CHECK(app.steps == std::vector<std::wstring>{L"applet C:\\Windows\\system32\\desk.cpl"});
        CHECK(app.policy(L"Zeta") == dword(1));  // the step before it is done
        CHECK_FALSE(app.storeWritten());
        CHECK(app.model.SettingsModified());
    }
    SUBCASE("Yes in the close question: the close is abandoned") {
        CHECK_THROWS_AS(app.model.QuerySaveSettings([](auto&, auto&) { return SaveAnswer::Yes; }),
                        EJclRegistryError);
        CHECK(app.model.SettingsModified());
    }
}

TEST_CASE("save: a run list that reports a failure is named like a tweak") {
    SavingApp app;
    app.start();
    app.toggle(L"RestrictRun", true);
    app.model.SaveSteps.saveRunList = [](const TweakRequest& flag) {
        if (flag.Name != L"RestrictRun") return std::vector<SaveFailure>{};
        return std::vector<SaveFailure>{{flag.Name, L"Restrict applications", L"denied"}};
    };
    const SaveResult result = app.model.SaveSettings();
    REQUIRE(result.Failures.size() == 1);
    CHECK(result.Failures[0].Name == L"RestrictRun");
    CHECK(app.model.SettingsModified());
}

TEST_CASE("save with the real applet and run-list steps") {
    SavingApp app;
    app.model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
    const std::wstring dontLoad = L"Control Panel\\don't load";
    const std::wstring explorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    app.start();
    app.toggle(L"::{GUID-MOUSE}\\mouse", true, ImageListKind::AppImageList);
    app.toggle(L"RestrictRun", true);

    SUBCASE("both are written") {
        CHECK(app.model.SaveSettings().Succeeded());
        CHECK(getRaw(app.reg, kHkeyCurrentUser, dontLoad, L"::{GUID-MOUSE}\\mouse") == regtest::sz(L"Yes"));
        CHECK(getRaw(app.reg, kHkeyCurrentUser, explorer + L"\\RestrictRun", L"0") == regtest::sz(L"quillmark.exe"));
        CHECK_FALSE(app.model.SettingsModified());
    }
    SUBCASE("a run list that cannot be written is named") {
        app.reg.denyAccess(kHkeyCurrentUser, explorer, kKeyWrite | kKeyCreateSubKey);
        const SaveResult result = app.model.SaveSettings();
        REQUIRE(result.Failures.size() == 1);
        CHECK(result.Failures[0].Name == L"RestrictRun");
        CHECK(result.Failures[0].Caption == L"Restrict applications");
        CHECK(result.Failures[0].Message.find(L"HKEY_CURRENT_USER\\" + explorer + L"\\RestrictRun") !=
              std::wstring::npos);
        // Without its list the tweak stays off: Explorer would start nothing at all.
        CHECK_FALSE(app.policy(L"RestrictRun"));
        CHECK(app.model.SettingsModified());
    }
}

namespace {

const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
const std::wstring kDisallowKey = kExplorer + L"\\DisallowRun";
const std::wstring kRestrictKey = kExplorer + L"\\RestrictRun";

// Every value of a key by name.
std::map<std::wstring, RegValue> valuesOf(MemoryRegistry& reg, const std::wstring& path) {
    std::map<std::wstring, RegValue> values;
    std::unique_ptr<IRegKey> key = reg.openKey(kHkeyCurrentUser, path, kKeyRead);
    if (!key) return values;
    for (std::uint32_t i = 0;; ++i) {
        const std::optional<std::wstring> name = key->enumValueName(i);
        if (!name) break;
        values[*name] = *key->queryValue(*name);
    }
    return values;
}

std::map<std::wstring, RegValue> listOf(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> values) {
    std::map<std::wstring, RegValue> out;
    for (const auto& [name, program] : values) out[name] = regtest::sz(program);
    return out;
}

// A started model with the real run-list step.
struct ListsApp : SavingApp {
    ListsApp() {
        model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
        // The fake enumeration reports the display applet hidden: the registry agrees.
        setRaw(reg, kHkeyCurrentUser, L"Control Panel\\don't load", L"C:\\Windows\\system32\\desk.cpl",
               regtest::sz(L"Yes"));
    }
    std::vector<std::wstring> shown(const std::wstring& list) {
        std::vector<std::wstring> items;
        model.Store()->getList(RunListBlock(L"alice", list), items, false);
        return items;
    }
};

bool isKey(const std::wstring& a, const std::wstring& b) { return sameTextNoCase(a, b); }

}  // namespace

TEST_CASE("lists: an unrelated save leaves the application lists in the registry as they are") {
    ListsApp app;
    for (int i = 1; i <= 10000; ++i)
        setRaw(app.reg, kHkeyCurrentUser, kDisallowKey, std::to_wstring(i), regtest::sz(L"blocked" + std::to_wstring(i) + L".exe"));
    setRaw(app.reg, kHkeyCurrentUser, kRestrictKey, L"1", regtest::sz(L"explorer.exe"));
    setRaw(app.reg, kHkeyCurrentUser, kRestrictKey, L"2", regtest::sz(L"winword.exe"));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"DisallowRun", dword(1));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"RestrictRun", dword(1));
    const auto disallowBefore = valuesOf(app.reg, kDisallowKey), restrictBefore = valuesOf(app.reg, kRestrictKey);
    {
        // What an earlier save of this program kept: a list of its own, unlike the registry's.
        TEncriptor store((app.folder.path / "quillmark.dat").wstring(), true);
        store.setList(RunListBlock(L"alice", L"RestrictRun"), {L"C:\\Tools\\quillmark.exe"});
        store.Flush(true);
    }
    app.start();

    // The frames show the registry's lists.
    const std::vector<std::wstring> disallow = app.shown(L"DisallowRun");
    REQUIRE(disallow.size() == 10000);
    CHECK(disallow.front() == L"blocked1.exe");
    CHECK(disallow.back() == L"blocked10000.exe");
    CHECK(app.shown(L"RestrictRun") == std::vector<std::wstring>{L"explorer.exe", L"winword.exe"});

    app.toggle(L"Zeta", true);
    REQUIRE(app.model.SaveSettings().Succeeded());
    CHECK(app.policy(L"Zeta") == dword(1));
    CHECK(valuesOf(app.reg, kDisallowKey) == disallowBefore);
    CHECK(valuesOf(app.reg, kRestrictKey) == restrictBefore);  // not even the program itself was added
    CHECK(app.policy(L"RestrictRun") == dword(1));
}

TEST_CASE("lists: a list switched on goes in before its tweak, and without its list the tweak stays off") {
    ListsApp app;
    app.start();
    AddRunListFiles(*app.model.Store(), RunListBlock(L"alice", L"RestrictRun"), {L"C:\\Office\\excel.exe"});
    app.toggle(L"RestrictRun", true);
    std::vector<std::wstring> changes;
    std::function<bool(const std::wstring&, const std::wstring&)> refuse = [](auto&, auto&) { return false; };
    app.reg.refuseValueChange = [&](RegRoot, const std::wstring& path, const std::wstring& name) {
        changes.push_back((isKey(path, kRestrictKey) ? L"list " : isKey(path, kPolicies) ? L"tweak " : L"other ") + name);
        return refuse(path, name);
    };

    SUBCASE("written: the list, then the tweak") {
        REQUIRE(app.model.SaveSettings().Succeeded());
        CHECK(changes == std::vector<std::wstring>{L"list 0", L"list 1", L"tweak RestrictRun"});
        CHECK(valuesOf(app.reg, kRestrictKey) == listOf({{L"0", L"excel.exe"}, {L"1", L"quillmark.exe"}}));
        CHECK(app.policy(L"RestrictRun") == dword(1));
        // The next save has nothing left to do for it.
        changes.clear();
        app.model.SettingsChanged(-1);
        REQUIRE(app.model.SaveSettings().Succeeded());
        CHECK(changes.empty());
    }
    SUBCASE("a value of the list fails: nothing of it stays, the tweak stays off, the save says so") {
        refuse = [](const std::wstring& path, const std::wstring& name) { return isKey(path, kRestrictKey) && name == L"1"; };
        const SaveResult result = app.model.SaveSettings();
        REQUIRE(result.Failures.size() == 1);
        CHECK(result.Failures[0].Name == L"RestrictRun");
        CHECK(result.Failures[0].Message.find(L"Unable to write the application list") != std::wstring::npos);
        CHECK_FALSE(app.reg.openKey(kHkeyCurrentUser, kRestrictKey, kKeyRead));
        CHECK_FALSE(app.policy(L"RestrictRun"));
        CHECK(app.model.SettingsModified());
        // The edit is not lost: the next save tries again.
        refuse = [](auto&, auto&) { return false; };
        REQUIRE(app.model.SaveSettings().Succeeded());
        CHECK(app.policy(L"RestrictRun") == dword(1));
        CHECK(valuesOf(app.reg, kRestrictKey).size() == 2);
    }
    SUBCASE("the tweak cannot be switched on: the list is put back as it was") {
        refuse = [](const std::wstring& path, const std::wstring&) { return isKey(path, kPolicies); };
        const SaveResult result = app.model.SaveSettings();
        REQUIRE(result.Failures.size() == 1);
        CHECK(result.Failures[0].Message.find(L"put back as it was") != std::wstring::npos);
        CHECK_FALSE(app.reg.openKey(kHkeyCurrentUser, kRestrictKey, kKeyRead));
        CHECK_FALSE(app.policy(L"RestrictRun"));
    }
    app.reg.refuseValueChange = nullptr;
}

TEST_CASE("lists: switched off, the tweak goes first and the list stays; only removed programs leave it") {
    ListsApp app;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"DisallowRun", dword(1));
    setRaw(app.reg, kHkeyCurrentUser, kDisallowKey, L"1", regtest::sz(L"a.exe"));
    setRaw(app.reg, kHkeyCurrentUser, kDisallowKey, L"2", regtest::sz(L"b.exe"));
    app.start();
    DeleteRunListFile(*app.model.Store(), RunListBlock(L"alice", L"DisallowRun"), L"a.exe");
    app.toggle(L"DisallowRun", false);
    std::vector<std::wstring> changes;
    bool refuseTweak = false;
    app.reg.refuseValueChange = [&](RegRoot, const std::wstring& path, const std::wstring& name) {
        changes.push_back((isKey(path, kDisallowKey) ? L"list " : L"tweak ") + name);
        return refuseTweak && isKey(path, kPolicies);
    };
    SUBCASE("saved") {
        REQUIRE(app.model.SaveSettings().Succeeded());
        CHECK(changes == std::vector<std::wstring>{L"tweak DisallowRun", L"list 1"});
        CHECK(app.policy(L"DisallowRun") == dword(0));
        CHECK(valuesOf(app.reg, kDisallowKey) == listOf({{L"2", L"b.exe"}}));
    }
    SUBCASE("the tweak cannot be cleared: the list is left alone as well") {
        refuseTweak = true;
        REQUIRE(app.model.SaveSettings().Failures.size() == 1);
        CHECK(valuesOf(app.reg, kDisallowKey) == listOf({{L"1", L"a.exe"}, {L"2", L"b.exe"}}));
    }
    app.reg.refuseValueChange = nullptr;
}

TEST_CASE("lists: Undo all brings back the lists of the first start") {
    ListsApp app;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"DisallowRun", dword(1));
    setRaw(app.reg, kHkeyCurrentUser, kDisallowKey, L"1", regtest::sz(L"a.exe"));
    setRaw(app.reg, kHkeyCurrentUser, kDisallowKey, L"2", regtest::sz(L"b.exe"));
    app.start();  // the first start: the snapshot records the registry's lists
    const std::wstring block = RunListBlock(L"alice", L"DisallowRun");
    AddRunListFiles(*app.model.Store(), block, {L"C:\\Games\\c.exe"});
    DeleteRunListFile(*app.model.Store(), block, L"a.exe");
    app.model.SettingsChanged(-1);
    REQUIRE(app.model.SaveSettings().Succeeded());
    CHECK(valuesOf(app.reg, kDisallowKey) == listOf({{L"2", L"b.exe"}, {L"3", L"c.exe"}}));

    UndoWindow window;
    window.askYesNo = [](auto&, auto&) { return true; };
    window.showError = [](auto&, auto&) { FAIL("no error expected"); };
    app.model.UndoAllTweaks(window);
    CHECK(app.shown(L"DisallowRun") == std::vector<std::wstring>{L"a.exe", L"b.exe"});
    REQUIRE(app.model.SaveSettings().Succeeded());
    CHECK(valuesOf(app.reg, kDisallowKey) == listOf({{L"2", L"b.exe"}, {L"4", L"a.exe"}}));
}

TEST_CASE("save: a class key whose two forms both exist, or whose class is not registered, is reported") {
    const std::wstring classes = L"Software\\QuillmarkTest\\CLSID";
    const std::wstring plain = classes + L"\\{5b4dae26-b807-11d0-9815-00c04fd91972}";
    const std::wstring hidden = classes + L"\\-{5b4dae26-b807-11d0-9815-00c04fd91972}";
    const struct {
        const char* what;
        bool plainThere, hiddenThere, wanted;
        const wchar_t* message;
    } cases[] = {
        {"both forms, shown again", true, true, false, L"is there both as it is and renamed"},
        {"not registered, hidden", false, false, true, L"is not registered on this computer"},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        SavingApp app;
        app.scheme = sourceFile("tests/fixtures/app/clsid.xml");
        if (c.plainThere) setRaw(app.reg, kHkeyCurrentUser, plain, L"", regtest::sz(L"Menu bars"));
        if (c.hiddenThere) setRaw(app.reg, kHkeyCurrentUser, hidden, L"", regtest::sz(L"Menu bars"));
        app.start();
        app.toggle(L"HideClass", c.wanted);
        const SaveResult result = app.model.SaveSettings();
        REQUIRE(result.Failures.size() == 1);
        CHECK(result.Failures[0].Name == L"HideClass");
        CHECK(result.Failures[0].Message.find(c.message) != std::wstring::npos);
        CHECK(result.Failures[0].Message.find(L"HKEY_CURRENT_USER\\" + plain) != std::wstring::npos);
        CHECK(KeyPresent(kHkeyCurrentUser, plain) == c.plainThere);
        CHECK(KeyPresent(kHkeyCurrentUser, hidden) == c.hiddenThere);
        CHECK(app.model.SettingsModified());
    }
}

TEST_CASE("the settings file: a save that cannot write it says the registry was changed and the file was not") {
    SavingApp app;
    app.start();
    app.toggle(L"Alpha", true);
    SUBCASE("the file cannot be replaced") {
        const storefile::ScopedStepFault fault(storefile::WriteStep::Replace);
        const SaveResult result = app.model.SaveSettings();
        CHECK(result.Failures.empty());
        CHECK(result.Wrote);
        CHECK_FALSE(result.StoreFailure.empty());
        CHECK(SaveFailureMessage(result).find(L"The registry was changed, but the settings file was not saved: ") !=
              std::wstring::npos);
    }
    SUBCASE("another copy saved it since: it is not overwritten") {
        {
            TEncriptor other((app.folder.path / "quillmark.dat").wstring(), true);
            other.SetStr(L"Probe", L"from the other copy");
            other.Flush(true);
        }
        const SaveResult result = app.model.SaveSettings();
        CHECK(result.StoreFailure.find(L"was changed by another program") != std::wstring::npos);
        CHECK(TEncriptor((app.folder.path / "quillmark.dat").wstring(), true).GetStr(L"Probe", L"") == L"from the other copy");
    }
    CHECK(app.policy(L"Alpha") == dword(1));
    CHECK(app.model.SettingsModified());
}

TEST_CASE("the settings file cannot be read: start-up ends; it cannot be created: the settings stay in memory") {
    SUBCASE("a folder where the file should be") {
        App app;
        fs::create_directory((app.folder.path / "quillmark.dat"));
        try {
            app.model.OpenStore(app.folder.withSeparator());
            FAIL("the store opened");
        } catch (const EInOutError& error) {
            const std::wstring message = UnreadableStoreMessage(error);
            CHECK(message.find((app.folder.path / "quillmark.dat").wstring()) != std::wstring::npos);
            CHECK(message.find(L"cannot check it, so it does not start") != std::wstring::npos);
        }
        CHECK_FALSE(app.model.Store());
    }
    SUBCASE("a place where no file can be created") {
        App app;
        const fs::path notAFolder = app.folder.path / "plain file";
        std::ofstream(notAFolder) << "x";
        app.model.OpenStore((notAFolder / "").wstring());
        CHECK(app.model.StoreNotice().find(L"runs with its settings in memory") != std::wstring::npos);
        CHECK(app.model.StoreNotice().find(L"restart Quillmark as administrator") != std::wstring::npos);
        app.start();
        app.toggle(L"Alpha", true);
        const SaveResult result = app.model.SaveSettings();
        CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Alpha") == dword(1));
        CHECK_FALSE(result.StoreFailure.empty());
    }
}

TEST_CASE("texts: kept when the tweak's value cannot hold them, and REG_EXPAND_SZ kept as it is") {
    App app("tests/fixtures/app/texts.xml");
    app.model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"StartFolder", {kRegExpandSz, regtest::utf16(L"%SystemDrive%\\Start")});
    app.start();
    CHECK(app.entry(L"StartFolder").cValue == L"%SystemDrive%\\Start");
    app.entry(L"StartFolder").cValue = L"%SystemDrive%\\Other";
    app.toggle(L"LogFile", true);
    app.entry(L"LogFile").cValue = L"C:\\Logs\\quillmark.log";
    app.model.SettingsChanged(-1);
    REQUIRE(app.model.SaveSettings().Succeeded());
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"StartFolder") ==
          RegValue{kRegExpandSz, regtest::utf16(L"%SystemDrive%\\Other")});
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"LogFile") == dword(0));  // Integer01: on is 0

    // The export keeps the type too.
    const ExportPlan plan = PlanExport(app.model.FAppObjectsList, L"quillmark.exe");
    CHECK(RegFileText(plan).find(L"\"StartFolder\"=hex(2):25,00,53,00") != std::wstring::npos);

    // The next start shows the text the flag could not take.
    TMainModel next;
    next.FormCreate({app.folder.withSeparator(), [&](XmlDocument& doc) { doc.loadFromBytes(app.scheme); },
                     [] { return std::wstring(L"alice"); }});
    CHECK(next.FAppObjectsList[next.FAppObjectsList.IndexOf(L"LogFile")].cValue == L"C:\\Logs\\quillmark.log");
}
