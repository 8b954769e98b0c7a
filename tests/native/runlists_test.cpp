// The application lists on the in-memory registry: what start-up shows of them, and what a
// save writes of them (only what the administrator changed, and nothing they did not remove).
#include <doctest/doctest.h>

#include <map>
#include <string>
#include <vector>

#include "app/mainmodel.h"
#include "app/pathrules.h"
#include "app/runlists.h"
#include "registry/regaccess.h"
#include "registry/memory_registry.h"
#include "tests/native/registry_fixture.h"

using namespace regtest;

namespace {

const std::wstring kOwnExe = L"quillmark.exe";

// A store, a registry and a user, installed as the program-wide values for one test.
struct RunListScope {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    StoreScope store;
    RunListScope() { CurrentUserName = L"alice"; PolicyRootKey = kHkeyCurrentUser; }
    ~RunListScope() {
        ForgetRunListsAtStart();
        CurrentUserName.clear();
    }
    // Start-up over entries for both lists, their tweaks set as given.
    void start(bool disallowSet = false, bool restrictSet = false) {
        TAppObjectsList entries;
        for (const auto& [name, set] : {std::pair{DisallowRunName, disallowSet}, std::pair{RestrictRunName, restrictSet}}) {
            auto entry = std::make_unique<TRestrListRec>();
            entry->AppName = name;
            entry->AType = L"CheckBox";
            entry->SetValue = set;
            entries.Add(std::move(entry));
        }
        TakeRunListsAtStart(store.store(), L"alice", entries);
    }

    void add(const std::wstring& list, std::vector<std::wstring> paths, const std::wstring& user = L"alice") {
        AddRunListFiles(store.store(), RunListBlock(user, list), paths);
    }
    std::vector<std::wstring> stored(const std::wstring& list, const std::wstring& user = L"alice") {
        std::vector<std::wstring> items;
        store.store().getList(RunListBlock(user, list), items, false);
        return items;
    }
    void registry(const std::wstring& list, const std::vector<std::pair<std::wstring, std::wstring>>& values) {
        for (const auto& [name, program] : values)
            setRaw(reg, kHkeyCurrentUser, RunListsKey + list, name, sz(program));
    }
    bool keyExists(const std::wstring& list) {
        return reg.openKey(kHkeyCurrentUser, RunListsKey + list, kKeyRead) != nullptr;
    }
    // Every value of the key by name.
    std::map<std::wstring, std::wstring> values(const std::wstring& list) {
        std::map<std::wstring, std::wstring> result;
        auto key = reg.openKey(kHkeyCurrentUser, RunListsKey + list, kKeyRead);
        REQUIRE(key);
        for (std::uint32_t i = 0;; ++i) {
            auto name = key->enumValueName(i);
            if (!name) break;
            auto value = key->queryValue(*name);
            REQUIRE(value);
            CHECK(value->type == kRegSz);
            std::wstring text;
            for (std::size_t b = 0; b + 1 < value->data.size(); b += 2)
                text += static_cast<wchar_t>(value->data[b] | (value->data[b + 1] << 8));
            if (!text.empty() && text.back() == L'\0') text.pop_back();
            result[*name] = text;
        }
        return result;
    }
};

using Values = std::map<std::wstring, std::wstring>;

}  // namespace

TEST_CASE("the whole list a set tweak leaves, as an export writes it") {
    const struct {
        const wchar_t* list;
        std::vector<std::pair<std::wstring, std::wstring>> registry;
        std::vector<std::wstring> paths;
        Values values;
    } cases[] = {
        {L"DisallowRun", {}, {L"C:\\Games\\solitaire.exe", L"D:\\x\\Mine.EXE"},
         {{L"0", L"solitaire.exe"}, {L"1", L"Mine.EXE"}}},
        {L"DisallowRun", {}, {L"C:\\a.exe", L"C:\\Tools\\QUILLMARK.EXE"}, {{L"0", L"a.exe"}}},
        {L"DisallowRun", {}, {L"C:\\quillmark.exe", L"D:\\quillmark.exe", L"C:\\b.exe"}, {{L"0", L"b.exe"}}},
        {L"DisallowRun", {}, {}, {}},
        {L"RestrictRun", {}, {L"C:\\a.exe", L"C:\\b.exe"}, {{L"0", L"a.exe"}, {L"1", L"b.exe"}, {L"2", L"quillmark.exe"}}},
        {L"RestrictRun", {}, {}, {{L"0", L"quillmark.exe"}}},
        {L"RestrictRun", {}, {L"C:\\Tools\\Quillmark.exe", L"C:\\b.exe"}, {{L"0", L"Quillmark.exe"}, {L"1", L"b.exe"}}},
        // What the registry holds keeps its names; added programs follow the highest number.
        {L"DisallowRun", {{L"3", L"old.exe"}, {L"x", L"other.exe"}}, {L"C:\\new.exe"},
         {{L"3", L"old.exe"}, {L"x", L"other.exe"}, {L"4", L"new.exe"}}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.list);
        RunListScope s;
        s.registry(c.list, c.registry);
        s.start();
        s.add(c.list, c.paths);
        const RunListValues values = PlanRunList(c.list, true, kOwnExe).Values;
        CHECK(Values(values.begin(), values.end()) == c.values);
    }
}

TEST_CASE("the stored list: one item per path whatever its case, renumbered after a delete") {
    RunListScope s;
    s.add(L"DisallowRun", {L"C:\\Games\\Solitaire.exe", L"  c:\\games\\SOLITAIRE.EXE "});
    CHECK(s.stored(L"DisallowRun") == std::vector<std::wstring>{L"C:\\Games\\Solitaire.exe"});

    s.add(L"DisallowRun", {L"C:\\Games\\mine.exe"});
    DeleteRunListFile(s.store.store(), RunListBlock(L"alice", L"DisallowRun"), L"c:\\games\\solitaire.exe");
    CHECK(s.stored(L"DisallowRun") == std::vector<std::wstring>{L"C:\\Games\\mine.exe"});
    CHECK(s.store.store().isValue(L"aliceDisallowRun0"));
    CHECK_FALSE(s.store.store().isValue(L"aliceDisallowRun1"));

    SUBCASE("each user keeps a list of their own") {
        s.add(L"DisallowRun", {L"C:\\bob.exe"}, L"bob");
        CHECK(s.stored(L"DisallowRun", L"bob") == std::vector<std::wstring>{L"C:\\bob.exe"});
        CHECK(s.stored(L"DisallowRun") == std::vector<std::wstring>{L"C:\\Games\\mine.exe"});
    }
}

TEST_CASE("the registry's list: its text values, numbered names in numeric order") {
    RunListScope s;
    s.registry(L"DisallowRun", {{L"10", L"ten.exe"}, {L"2", L"two.exe"}, {L"Custom", L"named.exe"}, {L"1", L"C:\\Tools\\one.exe"}});
    setRaw(s.reg, kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun"), L"3", dword(7));
    setRaw(s.reg, kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun"), L"4", {kRegExpandSz, utf16(L"%x%.exe")});
    // Only the native calls make such a name; no .reg or .pol file can carry it.
    setRaw(s.reg, kHkeyCurrentUser, RunListsKey + std::wstring(L"DisallowRun"), std::wstring(L"5\0x", 3), sz(L"hidden.exe"));
    CHECK(ReadRunList(L"DisallowRun") == std::vector<RunListEntry>{{L"1", L"C:\\Tools\\one.exe"},
                                                                   {L"2", L"two.exe"},
                                                                   {L"4", L"%x%.exe"},
                                                                   {L"10", L"ten.exe"},
                                                                   {L"Custom", L"named.exe"}});
    CHECK(ReadRunList(L"RestrictRun").empty());
    CHECK(s.reg.openKeyCount() == 0);
}

TEST_CASE("the list shown: the registry's programs, by the stored path that names each; else the stored list") {
    using Entries = std::vector<RunListEntry>;
    using Items = std::vector<std::wstring>;
    const struct {
        const char* what;
        Entries registry;
        Items stored;
        bool tweakOn;
        Items shown;
    } cases[] = {
        {"no list anywhere", {}, {}, false, {}},
        {"none in the registry, tweak off: the stored list, to go in with the tweak", {},
         {L"C:\\a\\x.exe", L"D:\\y.exe"}, false, {L"C:\\a\\x.exe", L"D:\\y.exe"}},
        {"none in the registry, tweak on: none, as is in force", {}, {L"C:\\a\\x.exe"}, true, {}},
        {"none stored: the registry's", {{L"1", L"x.exe"}, {L"2", L"y.exe"}}, {}, true, {L"x.exe", L"y.exe"}},
        {"stored paths name the registry's programs",
         {{L"0", L"X.EXE"}, {L"1", L"y.exe"}},
         {L"D:\\y.exe", L"C:\\a\\x.exe"},
         false,
         {L"C:\\a\\x.exe", L"D:\\y.exe"}},
        {"the registry decides what is listed",
         {{L"0", L"x.exe"}, {L"1", L"z.exe"}},
         {L"C:\\a\\x.exe", L"C:\\old\\gone.exe"},
         true,
         {L"C:\\a\\x.exe", L"z.exe"}},
        {"a program listed twice is shown once", {{L"0", L"x.exe"}, {L"1", L"X.exe"}}, {}, true, {L"x.exe"}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        CHECK(RunListShown(c.registry, c.stored, c.tweakOn) == c.shown);
    }
}

TEST_CASE("start-up puts the shown list into the current user's block, and leaves another user's") {
    RunListScope s;
    s.registry(L"DisallowRun", {{L"1", L"game.exe"}, {L"2", L"chat.exe"}});
    s.add(L"DisallowRun", {L"C:\\Games\\game.exe", L"C:\\Old\\old.exe"});
    s.add(L"RestrictRun", {L"C:\\Office\\excel.exe"});
    s.add(L"DisallowRun", {L"C:\\bob.exe"}, L"bob");
    s.start();
    CHECK(s.stored(L"DisallowRun") == std::vector<std::wstring>{L"C:\\Games\\game.exe", L"chat.exe"});
    CHECK(s.stored(L"RestrictRun") == std::vector<std::wstring>{L"C:\\Office\\excel.exe"});
    CHECK(s.stored(L"DisallowRun", L"bob") == std::vector<std::wstring>{L"C:\\bob.exe"});
}

TEST_CASE("a save's plan holds only what the administrator changed") {
    using Pairs = std::vector<std::pair<std::wstring, std::wstring>>;
    using Entries = std::vector<RunListEntry>;
    const struct {
        const char* what;
        const wchar_t* list;
        Pairs registry;                       // at start-up
        std::vector<std::wstring> stored;     // before start-up
        bool setAtStart, wanted;
        std::vector<std::wstring> add, remove;  // the administrator's edits in the frame
        Pairs registryLater;                  // changed by someone else after start-up
        Entries planAdd, planRemove;
    } cases[] = {
        {"nothing touched, a long list in force", L"DisallowRun", {{L"1", L"a.exe"}, {L"2", L"b.exe"}}, {}, true, true,
         {}, {}, {}, {}, {}},
        {"nothing touched, tweak off", L"RestrictRun", {{L"1", L"a.exe"}}, {}, false, false, {}, {}, {}, {}, {}},
        {"one program added", L"DisallowRun", {{L"1", L"a.exe"}, {L"7", L"b.exe"}}, {}, true, true,
         {L"C:\\c.exe"}, {}, {}, {{L"8", L"c.exe"}}, {}},
        {"one program removed", L"DisallowRun", {{L"1", L"a.exe"}, {L"2", L"b.exe"}}, {}, true, true, {}, {L"a.exe"},
         {}, {}, {{L"1", L"a.exe"}}},
        {"switched on with a stored list and none in the registry", L"DisallowRun", {},
         {L"C:\\a\\x.exe", L"D:\\y.exe"}, false, true, {}, {}, {}, {{L"0", L"x.exe"}, {L"1", L"y.exe"}}, {}},
        {"\"RestrictRun\" switched on always allows the program itself", L"RestrictRun", {{L"1", L"a.exe"}}, {}, false,
         true, {}, {}, {}, {{L"2", L"quillmark.exe"}}, {}},
        {"\"RestrictRun\" keeps the program itself when it is removed", L"RestrictRun",
         {{L"0", L"a.exe"}, {L"1", L"quillmark.exe"}}, {}, true, true, {}, {L"quillmark.exe"}, {}, {}, {}},
        {"\"DisallowRun\" never blocks the program itself", L"DisallowRun", {}, {}, false, true,
         {L"C:\\Tools\\Quillmark.exe", L"C:\\x.exe"}, {}, {}, {{L"0", L"x.exe"}}, {}},
        {"entries another program added since start-up stay", L"DisallowRun", {{L"1", L"a.exe"}, {L"2", L"b.exe"}}, {},
         true, true, {}, {L"a.exe"}, {{L"3", L"gpo.exe"}}, {}, {{L"1", L"a.exe"}}},
        {"switched off: the list stays as it is", L"DisallowRun", {{L"1", L"a.exe"}}, {}, true, false, {}, {}, {}, {},
         {}},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        RunListScope s;
        s.registry(c.list, c.registry);
        if (!c.stored.empty()) s.add(c.list, c.stored);
        s.start(std::wstring(c.list) == L"DisallowRun" && c.setAtStart, std::wstring(c.list) == L"RestrictRun" && c.setAtStart);
        s.add(c.list, c.add);
        for (const std::wstring& program : c.remove) {
            std::vector<std::wstring> items = s.stored(c.list);
            for (const std::wstring& item : items)
                if (FileNamePart(item) == program) DeleteRunListFile(s.store.store(), RunListBlock(L"alice", c.list), item);
        }
        s.registry(c.list, c.registryLater);
        const RunListPlan plan = PlanRunList(c.list, c.wanted, kOwnExe);
        CHECK(plan.Add == c.planAdd);
        CHECK(plan.Remove == c.planRemove);
        CHECK(plan.TouchesRegistry() == (!c.planAdd.empty() || !c.planRemove.empty()));
    }
}

TEST_CASE("without a recorded start-up a plan only adds") {
    RunListScope s;
    s.registry(L"DisallowRun", {{L"1", L"a.exe"}});
    s.add(L"DisallowRun", {L"C:\\b.exe"});
    const RunListPlan plan = PlanRunList(L"DisallowRun", true, kOwnExe);
    CHECK(plan.Add == std::vector<RunListEntry>{{L"2", L"b.exe"}});
    CHECK(plan.Remove.empty());
}

TEST_CASE("a list write that fails part way puts every value back as it was") {
    RunListScope s;
    const std::wstring key = RunListsKey + std::wstring(L"DisallowRun");
    RunListPlan plan;
    plan.ListName = L"DisallowRun";
    plan.Root = kHkeyCurrentUser;
    plan.KeyPath = key;
    plan.Add = {{L"5", L"new1.exe"}, {L"6", L"new2.exe"}};
    plan.Remove = {{L"1", L"old1.exe"}, {L"2", L"old2.exe"}};

    SUBCASE("the key was there") {
        s.registry(L"DisallowRun", {{L"1", L"old1.exe"}, {L"2", L"old2.exe"}, {L"3", L"kept.exe"}});
        const Values before = s.values(L"DisallowRun");
        for (const wchar_t* failing : {L"6", L"2"}) {
            CAPTURE(doctest::StringMaker<std::wstring>::convert(failing));
            s.reg.refuseValueChange = [&](RegRoot, const std::wstring&, const std::wstring& name) { return name == failing; };
            CHECK_THROWS_AS(ExecuteRunListPlan(plan), EJclRegistryError);
            s.reg.refuseValueChange = nullptr;
            CHECK(s.values(L"DisallowRun") == before);
        }
        const RunListUndo undo = ExecuteRunListPlan(plan);
        CHECK(s.values(L"DisallowRun") == Values{{L"3", L"kept.exe"}, {L"5", L"new1.exe"}, {L"6", L"new2.exe"}});
        CHECK(UndoRunListWrite(undo));
        CHECK(s.values(L"DisallowRun") == before);
    }
    SUBCASE("the key was not there: it goes again") {
        plan.Remove.clear();
        s.reg.refuseValueChange = [](RegRoot, const std::wstring&, const std::wstring& name) { return name == L"6"; };
        CHECK_THROWS_WITH(ExecuteRunListPlan(plan),
                          doctest::Contains(toUtf8(L"HKEY_CURRENT_USER\\" + key).c_str()));
        CHECK_FALSE(s.keyExists(L"DisallowRun"));
    }
    SUBCASE("the write emptied the key and removed it with its parent: both come back") {
        s.registry(L"DisallowRun", {{L"1", L"old1.exe"}, {L"2", L"old2.exe"}});
        const Values before = s.values(L"DisallowRun");
        plan.Add.clear();
        plan.EmptyKeysToRemove = 2;
        const RunListUndo undo = ExecuteRunListPlan(plan);
        CHECK_FALSE(s.keyExists(L"DisallowRun"));
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, RunListsKey));
        CHECK(UndoRunListWrite(undo));
        CHECK(s.values(L"DisallowRun") == before);
    }
    SUBCASE("the key cannot be created") {
        s.reg.denyAccess(kHkeyCurrentUser, key);
        CHECK_THROWS_AS(ExecuteRunListPlan(plan), EJclRegistryError);
        CHECK_FALSE(s.keyExists(L"DisallowRun"));
    }
    CHECK(s.reg.openKeyCount() == 0);
}

TEST_CASE("a typed program name: its file name goes in, or the error says what is wrong") {
    const struct {
        const wchar_t* typed;
        const wchar_t* name;  // empty: refused
        const wchar_t* errorStart;
    } cases[] = {
        {L"portable.exe", L"portable.exe", L""},
        {L"  Game Launcher.EXE  ", L"Game Launcher.EXE", L""},
        {L"D:\\USB\\tools\\putty.exe", L"putty.exe", L""},  // the rule matches the file name only
        {L"", L"", L"Type the file name of a program"},
        {L"   ", L"", L"Type the file name of a program"},
        {L"C:\\Tools\\", L"", L"Type the file name of a program"},
        {L"tool", L"", L"Type the program's file name with its extension"},
        {L"tool.", L"", L"Type the program's file name with its extension"},
        {L".exe", L"", L"Type the program's file name with its extension"},
        {L"what?.exe", L"", L"A file name cannot contain"},
        {L"a|b.exe", L"", L"A file name cannot contain"},
    };
    for (const auto& c : cases) {
        CAPTURE(toUtf8(c.typed));
        const TypedProgram typed = CheckTypedProgram(c.typed);
        CHECK(typed.Name == c.name);
        CHECK(typed.Error.rfind(c.errorStart, 0) == 0);
        CHECK(typed.Error.empty() == !typed.Name.empty());
    }
}
