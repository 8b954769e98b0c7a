#include <doctest/doctest.h>

#include <algorithm>
#include <map>

#include "app/locationtext.h"
#include "app/pending.h"
#include "app/runlists.h"
#include "registry/regaccess.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::getRaw;
using regtest::setRaw;
using regtest::sz;

namespace {

const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kDesk = L"C:\\Windows\\system32\\desk.cpl";
const std::wstring kMouse = L"::{GUID-MOUSE}\\mouse";
const std::wstring kDisallow = std::wstring(RunListsKey) + L"DisallowRun";

// Every value below the given keys, by "ROOT\key" and value name, lower case.
using Dump = std::map<std::pair<std::wstring, std::wstring>, RegValue>;

void dumpKey(IRegistry& reg, RegRoot root, const std::wstring& path, Dump& dump) {
    std::unique_ptr<IRegKey> key = reg.openKey(root, path, kKeyRead);
    if (!key) return;
    for (std::uint32_t i = 0;; ++i) {
        const std::optional<std::wstring> name = key->enumValueName(i);
        if (!name) break;
        dump[{lower(RootKeyName(root) + L"\\" + path), lower(*name)}] = *key->queryValue(*name);
    }
    const std::optional<RegKeyInfo> info = key->queryInfo();
    REQUIRE(info);
    std::vector<std::wstring> children;
    for (std::uint32_t i = 0; i < info->subkeyCount; ++i)
        children.push_back(*key->enumSubkey(i, info->maxSubkeyNameLength + 1));
    key.reset();
    for (const std::wstring& child : children) dumpKey(reg, root, path + L"\\" + child, dump);
}

Dump dumpAll(IRegistry& reg) {
    Dump dump;
    dumpKey(reg, kHkeyCurrentUser, L"Software", dump);
    dumpKey(reg, kHkeyCurrentUser, L"Control Panel", dump);
    dumpKey(reg, kHkeyLocalMachine, L"Software", dump);
    return dump;
}

struct PendingApp : App {
    PendingApp() { model.SaveSteps = DefaultSaveHooks(L"quillmark.exe"); }
    // The fake enumeration reports the display applet hidden: make the registry agree.
    void appletsAsEnumerated() { setRaw(reg, kHkeyCurrentUser, kDontLoad, kDesk, sz(L"Yes")); }
    std::vector<PendingChange> pending() { return PendingChanges(model.FAppObjectsList, L"quillmark.exe"); }
};

// The pending list names exactly the values the save then changes, each with the value
// before and after as the registry holds them.
void checkAgainstSave(PendingApp& app) {
    const Dump before = dumpAll(app.reg);
    const std::vector<PendingChange> pending = app.pending();
    REQUIRE(app.model.SaveSettings().Succeeded());
    const Dump after = dumpAll(app.reg);

    std::map<std::pair<std::wstring, std::wstring>, std::pair<std::wstring, std::wstring>> changed;
    for (const auto& [where, value] : before)
        if (!after.count(where)) changed[where] = {RegistryValueText(value), L"the value is removed"};
    for (const auto& [where, value] : after)
        if (!before.count(where) || before.at(where) != value)
            changed[where] = {RegistryValueText(before.count(where) ? std::optional(before.at(where)) : std::nullopt),
                              RegistryValueText(value)};

    std::map<std::pair<std::wstring, std::wstring>, std::pair<std::wstring, std::wstring>> listed;
    for (const PendingChange& c : pending) {
        CAPTURE(c.Location);
        CAPTURE(c.ValueName);
        if (c.Value == L"(key)") {
            // A key listed as removed was there and is gone.
            CHECK(c.Now == L"key present");
            CHECK(c.After == L"the key is removed");
            CHECK_FALSE(KeyPresent(c.Root, c.KeyPath));
            continue;
        }
        CHECK(listed.emplace(std::pair{lower(c.Location), lower(c.ValueName)}, std::pair{c.Now, c.After}).second);
    }
    CHECK(listed == changed);
    CHECK(app.pending().empty());  // nothing is left for the next save
}

}  // namespace

TEST_CASE("pending changes: tweaks, applets and a run list, exactly what the save then writes") {
    PendingApp app;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta", dword(1));
    setRaw(app.reg, kHkeyCurrentUser, kDontLoad, kMouse, sz(L"Yes"));
    setRaw(app.reg, kHkeyCurrentUser, kDisallow, L"0", sz(L"old.exe"));
    setRaw(app.reg, kHkeyCurrentUser, kDisallow, L"5", sz(L"gone.exe"));
    app.start();
    REQUIRE(app.entry(L"Zeta").SetValue);

    app.toggle(L"Zeta", false);
    app.toggle(L"Alpha", true);
    app.toggle(L"Shared", true);  // in two groups, one location
    app.toggle(L"MachineFlag", true);
    app.toggle(L"TextTweak", true);
    app.entry(L"TextTweak").cValue = L"C:\\dir \"quoted\"";
    app.toggle(L"DisallowRun", true);
    AddRunListFiles(*app.model.Store(), RunListBlock(L"alice", L"DisallowRun"), {L"C:\\a\\x.exe", L"D:\\y.exe"});

    const std::vector<PendingChange> pending = app.pending();
    // The fake enumeration shows the mouse applet and hides the display applet.
    const auto row = [&](const std::wstring& value) -> const PendingChange* {
        for (const PendingChange& c : pending)
            if (c.ValueName == value) return &c;
        return nullptr;
    };
    REQUIRE(row(L"Zeta"));
    CHECK(row(L"Zeta")->Caption == L"zeta tweak");
    CHECK(row(L"Zeta")->Location == L"HKEY_CURRENT_USER\\" + kPolicies);
    CHECK(row(L"Zeta")->Now == L"REG_DWORD 0x00000001 (1)");
    CHECK(row(L"Zeta")->After == L"REG_DWORD 0x00000000 (0)");
    REQUIRE(row(kMouse));
    CHECK(row(kMouse)->Caption == L"Hide Mouse");
    CHECK(row(kMouse)->After == L"the value is removed");
    // The list gains the two programs under new numbers; what it held stays.
    REQUIRE(row(L"6"));
    CHECK(row(L"6")->Caption == L"Disallow applications");
    CHECK(row(L"6")->Now == L"(not set)");
    CHECK(row(L"6")->After == L"REG_SZ \"x.exe\"");
    REQUIRE(row(L"7"));
    CHECK_FALSE(row(L"5"));
    CHECK_FALSE(row(L"0"));
    CHECK_FALSE(row(L"Middle"));

    checkAgainstSave(app);
}

TEST_CASE("pending changes: a run list that is off is left alone; switched on, it gains the program itself") {
    PendingApp app;
    app.appletsAsEnumerated();
    setRaw(app.reg, kHkeyCurrentUser, kDisallow, L"1", sz(L"kept.exe"));
    app.start();
    CHECK(app.pending().empty());
    REQUIRE(app.model.SaveSettings().Succeeded());
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kDisallow, L"1") == sz(L"kept.exe"));

    app.toggle(L"RestrictRun", true);  // always holds the program itself
    const std::vector<PendingChange> pending = app.pending();
    REQUIRE(pending.size() == 2);
    CHECK(pending[0].ValueName == L"0");
    CHECK(pending[0].After == L"REG_SZ \"quillmark.exe\"");
    CHECK(pending[1].ValueName == L"RestrictRun");
    checkAgainstSave(app);
}

TEST_CASE("pending changes: nothing switched, nothing pending; the save then reports that it wrote nothing") {
    PendingApp app;
    app.appletsAsEnumerated();
    app.start();
    CHECK(app.pending().empty());
    const SaveResult result = app.model.SaveSettings();
    CHECK(result.Succeeded());
    CHECK_FALSE(result.Wrote);
    app.toggle(L"Alpha", true);
    CHECK(app.model.SaveSettings().Wrote);
}

TEST_CASE("Undo all then Save puts back the registry of the first start exactly, as pending changes list it") {
    PendingApp app;
    app.appletsAsEnumerated();
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta", sz(L"1"));  // a flag kept as text
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"TextTweak", RegValue{kRegExpandSz, regtest::utf16(L"%X%\\a", true)});
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Middle", RegValue{kRegQword, {0, 0, 0, 0, 0, 0, 0, 0}});
    setRaw(app.reg, kHkeyCurrentUser, kDisallow, L"1", sz(L"kept.exe"));
    app.start();  // writes the snapshot
    const Dump first = dumpAll(app.reg);

    app.toggle(L"Zeta", false);
    app.toggle(L"Alpha", true);
    app.toggle(L"Middle", true);
    app.toggle(L"MachineFlag", true);
    app.toggle(L"DrivesTweak", true);
    app.entry(L"DrivesTweak").nValue = 5;
    app.entry(L"TextTweak").cValue = L"changed";
    app.toggle(L"DisallowRun", true);
    AddRunListFiles(*app.model.Store(), RunListBlock(L"alice", L"DisallowRun"), {L"C:\\a\\x.exe"});
    REQUIRE(app.model.SaveSettings().Succeeded());
    REQUIRE(dumpAll(app.reg) != first);

    UndoWindow window;
    window.askYesNo = [](const std::wstring&, const std::wstring&) { return true; };
    window.showError = [](const std::wstring& text, const std::wstring&) { FAIL(doctest::StringMaker<std::wstring>::convert(text)); };
    app.model.UndoAllTweaks(window);

    const std::vector<PendingChange> pending = app.pending();
    const auto after = [&](const std::wstring& value) {
        for (const PendingChange& c : pending)
            if (c.ValueName == value) return c.After;
        return std::wstring(L"not listed");
    };
    // Values that were absent are removed, not switched off; the others get their data and type back.
    for (const wchar_t* name : {L"Alpha", L"MachineFlag", L"DrivesTweak", L"DisallowRun"}) {
        CAPTURE(doctest::StringMaker<std::wstring>::convert(name));
        CHECK(after(name) == L"the value is removed");
    }
    CHECK(after(L"Zeta") == L"REG_SZ \"1\"");
    CHECK(after(L"TextTweak") == L"REG_EXPAND_SZ \"%X%\\a\"");
    CHECK(after(L"Middle") == L"REG_QWORD 8 bytes");
    checkAgainstSave(app);
    CHECK(dumpAll(app.reg) == first);
}

TEST_CASE("Not configured, and Remove from registry: offered under a Policies key, listed as pending, done by the save") {
    PendingApp app;
    app.appletsAsEnumerated();
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta", dword(0));  // switched off by a value
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"TextTweak", sz(L"notice"));
    setRaw(app.reg, kHkeyLocalMachine, kMachine, L"MachineFlag", dword(1));
    app.start();

    CHECK(EntryNotConfigured(app.entry(L"Alpha")));
    CHECK_FALSE(EntryNotConfigured(app.entry(L"Zeta")));
    CHECK_FALSE(EntryNotConfigured(app.entry(L"TextTweak")));
    CHECK_FALSE(EntryNotConfigured(app.entry(L"Group_MachineSystem")));
    CHECK_FALSE(EntryNotConfigured(app.entry(kDesk)));  // an applet is no tweak
    CHECK(CanRemoveFromRegistry(app.entry(L"Zeta")));
    CHECK(CanRemoveFromRegistry(app.entry(L"TextTweak")));
    CHECK_FALSE(CanRemoveFromRegistry(app.entry(L"MachineFlag")));  // not under a Policies key
    CHECK_FALSE(CanRemoveFromRegistry(app.entry(kDesk)));

    MarkRemoveFromRegistry(app.entry(L"Zeta"));
    MarkRemoveFromRegistry(app.entry(L"TextTweak"));
    MarkRemoveFromRegistry(app.entry(L"MachineFlag"));  // not offered: nothing happens
    const std::vector<PendingChange> pending = app.pending();
    REQUIRE(pending.size() == 2);
    for (const PendingChange& c : pending) CHECK(c.After == L"the value is removed");
    checkAgainstSave(app);
    CHECK_FALSE(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta"));
    CHECK_FALSE(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"TextTweak"));
    CHECK(getRaw(app.reg, kHkeyLocalMachine, kMachine, L"MachineFlag") == dword(1));
    CHECK(EntryNotConfigured(app.entry(L"Zeta")));

    // Switching the check box afterwards writes values again, the off value included.
    app.toggle(L"Zeta", true);
    REQUIRE(app.model.SaveSettings().Succeeded());
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta") == dword(1));
    app.toggle(L"Zeta", false);
    REQUIRE(app.model.SaveSettings().Succeeded());
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta") == dword(0));
}

TEST_CASE("the list's Not configured mark follows what the next save leaves, and Remove from registry sets it") {
    PendingApp app;
    app.appletsAsEnumerated();
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta", dword(1));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Shared", dword(0));  // off by a value, in two groups
    app.start();
    const auto marked = [&](const std::wstring& group) {
        std::map<std::wstring, bool> rows;
        for (const ListItemView& item : app.model.ShowGroup(group).Items) rows[item.Name] = item.NotConfigured;
        return rows;
    };
    const std::map<std::wstring, bool> display = marked(L"Group_Display"), network = marked(L"Group_Network");
    CHECK(display.at(L"Alpha"));
    CHECK_FALSE(display.at(L"Zeta"));  // on
    CHECK(display.at(L"TextTweak"));
    CHECK_FALSE(network.at(L"Shared"));  // off, by a value
    CHECK_FALSE(app.model.NotConfigured(kDesk));
    CHECK_FALSE(app.model.CanRemoveFromRegistry(L"Alpha"));        // nothing to remove
    CHECK_FALSE(app.model.CanRemoveFromRegistry(L"MachineFlag"));  // not under a Policies key
    CHECK_FALSE(app.model.RemoveFromRegistry(L"MachineFlag"));
    CHECK_FALSE(app.model.SettingsModified());

    // Switched on, a tweak without values is about to get one: no longer marked.
    app.toggle(L"Alpha", true);
    CHECK_FALSE(app.model.NotConfigured(L"Alpha"));
    app.toggle(L"Alpha", false);  // back: the save writes nothing, and nothing is there
    CHECK(app.model.NotConfigured(L"Alpha"));

    // Marked for removal it reads as switched off, in both groups, before the save and after it.
    REQUIRE(app.model.CanRemoveFromRegistry(L"Zeta"));
    REQUIRE(app.model.RemoveFromRegistry(L"Shared"));
    REQUIRE(app.model.RemoveFromRegistry(L"Zeta"));
    CHECK(app.model.SettingsModified());
    CHECK_FALSE(app.entry(L"Zeta").SetValue);
    CHECK(marked(L"Group_Display").at(L"Zeta"));
    CHECK(marked(L"Group_Network").at(L"Shared"));
    CHECK_FALSE(app.model.CanRemoveFromRegistry(L"Zeta"));  // done once is enough
    checkAgainstSave(app);
    CHECK_FALSE(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Zeta"));
    CHECK_FALSE(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Shared"));
    CHECK(marked(L"Group_Display").at(L"Zeta"));
    CHECK(app.model.NotConfigured(L"Shared"));

    // The status line counts what a save wrote and removed, for whom.
    app.toggle(L"Zeta", true);
    app.toggle(L"Alpha", true);
    SaveResult saved = app.model.SaveSettings();
    CHECK(saved.Written == 2);
    CHECK(saved.Removed == 0);
    CHECK(app.model.SavedStatusText(saved) == L"Saved for alice and this computer: 2 values written.");
    REQUIRE(app.model.RemoveFromRegistry(L"Alpha"));
    app.toggle(L"Zeta", false);
    saved = app.model.SaveSettings();
    CHECK(app.model.SavedStatusText(saved) == L"Saved for alice and this computer: 1 value written, 1 value removed.");
    CHECK(app.model.SavedStatusText(app.model.SaveSettings()) ==
          L"Saved. The registry already held every value; nothing was written to it.");
}

TEST_CASE("Undo all + save removes again the keys that were absent at the first start, once they are empty") {
    PendingApp app;
    app.appletsAsEnumerated();
    setRaw(app.reg, kHkeyLocalMachine, kMachine, L"Other", dword(7));  // the machine key was there
    app.start();
    // The first start recorded how many levels of each absent value's key were missing.
    const TEncriptor snapshot(app.folder.withSeparator() + UndoSnapshotFileName, true);
    CHECK(snapshot.GetInt(L"Alpha_key1", 0) == 3);  // Software\QuillmarkTest\Policies
    CHECK(snapshot.GetInt(L"MachineFlag_key1", 0) == 0);
    const Dump first = dumpAll(app.reg);

    for (const wchar_t* name : {L"Alpha", L"Zeta", L"MachineFlag"}) app.toggle(name, true);
    REQUIRE(app.model.SaveSettings().Succeeded());
    REQUIRE(KeyPresent(kHkeyCurrentUser, kPolicies));

    UndoWindow window;
    window.askYesNo = [](const std::wstring&, const std::wstring&) { return true; };
    window.showError = [](const std::wstring& text, const std::wstring&) { FAIL(doctest::StringMaker<std::wstring>::convert(text)); };
    SUBCASE("the keys go with their last value; a key that was there stays") {
        app.model.UndoAllTweaks(window);
        checkAgainstSave(app);
        CHECK(dumpAll(app.reg) == first);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, L"Software\\QuillmarkTest"));
        CHECK(KeyPresent(kHkeyLocalMachine, kMachine));
    }
    SUBCASE("a key that holds something else by then stays") {
        setRaw(app.reg, kHkeyCurrentUser, kPolicies + L"\\Sub", L"Kept", dword(1));
        app.model.UndoAllTweaks(window);
        checkAgainstSave(app);
        CHECK_FALSE(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Alpha"));
        CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies + L"\\Sub", L"Kept") == dword(1));
    }
}

TEST_CASE("Undo all + save removes an application list key that was absent at the first start, once it is empty") {
    const std::wstring policies = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies";
    const std::wstring explorer = policies + L"\\Explorer";
    const struct {
        const char* what;
        const wchar_t* list;
        bool explorerAtStart, listKeyAtStart;
        bool emptiedBeforeUndo;  // a later save of the session emptied the list already
        bool oldSnapshot;        // written before the list keys were recorded
        int recorded;            // the levels the snapshot records
        bool listKeyAfter, explorerAfter;
    } cases[] = {
        {"absent with its parent: both go", L"DisallowRun", false, false, false, false, 2, false, false},
        {"absent, its parent there: the parent stays", L"RestrictRun", true, false, false, false, 1, false, true},
        {"emptied by an earlier save: the empty key goes", L"DisallowRun", false, false, true, false, 2, false, false},
        {"there at the first start, empty: it stays", L"DisallowRun", true, true, false, false, 0, true, true},
        {"an older snapshot: the emptied key stays, as before", L"DisallowRun", false, false, false, true, 2, true, true},
    };
    for (const auto& c : cases) {
        INFO(c.what);
        const std::wstring listKey = explorer + L"\\" + c.list;
        PendingApp app;
        app.appletsAsEnumerated();
        setRaw(app.reg, kHkeyCurrentUser, policies, L"Other", dword(7));
        if (c.explorerAtStart) setRaw(app.reg, kHkeyCurrentUser, explorer, L"NoRun", dword(1));
        if (c.listKeyAtStart) app.reg.createKey(kHkeyCurrentUser, listKey, kKeyWrite);
        {
            // An older build's restore leaves the record in the settings file, which the
            // snapshot starts from: the registry's own record replaces it.
            TEncriptor stale(app.folder.withSeparator() + L"quillmark.dat", true);
            stale.SetInt(c.list + std::wstring(L"_listkey"), 5);
            stale.Flush(true);
        }
        app.start();  // writes the snapshot
        const std::wstring snapshotPath = app.folder.withSeparator() + UndoSnapshotFileName;
        if (c.oldSnapshot) {
            TEncriptor old(snapshotPath, true);
            old.Delete(c.list + std::wstring(L"_listkey"));
            old.Flush(true);
        }
        CHECK(TEncriptor(snapshotPath, true).GetInt(c.list + std::wstring(L"_listkey"), 0) ==
              (c.oldSnapshot ? 0 : c.recorded));
        const Dump first = dumpAll(app.reg);

        const std::wstring block = RunListBlock(L"alice", c.list);
        AddRunListFiles(*app.model.Store(), block, {L"portable.exe"});
        app.toggle(c.list, true);
        REQUIRE(app.model.SaveSettings().Succeeded());
        REQUIRE(getRaw(app.reg, kHkeyCurrentUser, listKey, L"0"));
        if (c.emptiedBeforeUndo) {
            DeleteRunListFile(*app.model.Store(), block, L"portable.exe");
            app.toggle(c.list, false);
            REQUIRE(app.model.SaveSettings().Succeeded());
            REQUIRE(KeyPresent(kHkeyCurrentUser, listKey));
            REQUIRE(ReadValues(kHkeyCurrentUser, listKey).empty());
        }

        UndoWindow window;
        window.askYesNo = [](const std::wstring&, const std::wstring&) { return true; };
        app.model.UndoAllTweaks(window);
        CHECK_FALSE(app.model.Store()->isValue(c.list + std::wstring(L"_listkey")));  // no setting of its own
        const std::vector<PendingChange> pending = app.pending();
        const bool keyListed = std::any_of(pending.begin(), pending.end(), [&](const PendingChange& p) {
            return p.Value == L"(key)" && lower(p.KeyPath) == lower(listKey) && p.After == L"the key is removed";
        });
        CHECK(keyListed == !c.listKeyAfter);
        checkAgainstSave(app);
        CHECK(dumpAll(app.reg) == first);
        CHECK(KeyPresent(kHkeyCurrentUser, listKey) == c.listKeyAfter);
        CHECK(KeyPresent(kHkeyCurrentUser, explorer) == c.explorerAfter);
        CHECK(KeyPresent(kHkeyCurrentUser, policies));
    }
}
