#include <doctest/doctest.h>

#include "registry/regaccess.h"
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
        model.SaveSteps.writeRunList = [this](const std::wstring& name, bool set) {
            steps.push_back(L"runlist " + name + (set ? L" set" : L" clear"));
            return std::vector<SaveFailure>{};
        };
    }
    std::optional<RegValue> policy(const std::wstring& name) { return getRaw(reg, kHkeyCurrentUser, kPolicies, name); }
    std::optional<RegValue> machine(const std::wstring& name) { return getRaw(reg, kHkeyLocalMachine, kMachine, name); }
    void changeStore() {
        SettingsStore->SetStr(L"Probe", L"1");
        model.SettingsChanged(-1);
    }
    bool storeWritten() { return TEncriptor(folder.dat().wstring(), true).GetStr(L"Probe", L"") == L"1"; }
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
    // Only what differs is written: the unchanged tweaks leave no value behind.
    CHECK(app.policy(L"DisallowRun") == dword(1));
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
    app.scheme = readSource("tests/fixtures/app/clsid.xml");
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
    app.model.SaveSteps.writeRunList = [](const std::wstring& name, bool) {
        if (name != L"RestrictRun") return std::vector<SaveFailure>{};
        return std::vector<SaveFailure>{{name, L"Restrict applications", L"denied"}};
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
        CHECK(app.model.SettingsModified());
    }
}
