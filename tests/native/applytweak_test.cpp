#include <doctest/doctest.h>

#include "registry/applytweak.h"
#include "registry/memory_registry.h"
#include "registry/regaccess.h"
#include "tests/native/registry_fixture.h"

using namespace regtest;

namespace {

struct Engine {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    SchemeScope scheme;
    StoreScope store;
    ~Engine() { CHECK(reg.openKeyCount() == 0); }

    std::optional<RegValue> value(const std::wstring& name, const std::wstring& key = kPolicies,
                                  RegRoot root = kHkeyCurrentUser) {
        return getRaw(reg, root, key, name);
    }
    TCheckBoxRec read(const std::wstring& tweak, const std::wstring& group) {
        TCheckBoxRec rec;
        GetTweakState(tweak, group, rec);
        return rec;
    }
};

}  // namespace

TEST_CASE("Each value type writes its checked and unchecked value, and reads back as saved") {
    struct Case {
        const wchar_t* type;
        RegValue checked, unchecked;
    };
    const Case cases[] = {
        {L"String10", sz(L"1"), sz(L"0")},
        {L"String01", sz(L"0"), sz(L"1")},
        {L"Integer10", dword(1), dword(0)},
        {L"Integer01", dword(0), dword(1)},
        {L"String_YesNo", sz(L"Yes"), sz(L"No")},
        {L"String_NoYes", sz(L"No"), sz(L"Yes")},
        {L"String_YN", sz(L"Y"), sz(L"N")},
        {L"String_NY", sz(L"N"), sz(L"Y")},
        {L"String_yesno", sz(L"yes"), sz(L"no")},
        {L"String_noyes", sz(L"no"), sz(L"yes")},
        {L"Integer31", dword(3), dword(1)},
        {L"Integer30", dword(3), dword(0)},
        {L"Integer20", dword(2), dword(0)},
        {L"Integer43", dword(4), dword(3)},
        {L"String", sz(L"abc"), sz(L"")},
        {L"Integer", dword(7), dword(0)},
    };
    for (const Case& c : cases) {
        const std::wstring type = c.type;
        const std::wstring tweak = L"T_" + type;
        CAPTURE(doctest::StringMaker<std::wstring>::convert(type));
        Engine e;
        ApplyTweak(tweak, true, L"Group_Types", L"abc", 7);
        CHECK(e.value(type) == c.checked);
        CHECK(e.read(tweak, L"Group_Types").SetValue);

        ApplyTweak(tweak, false, L"Group_Types", L"abc", 7);
        CHECK(e.value(type) == c.unchecked);
        CHECK_FALSE(e.read(tweak, L"Group_Types").SetValue);
    }
}

TEST_CASE("Only locations that differ are written") {
    Engine e;
    SUBCASE("an Integer10 value that already reads 1 is left as it is") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"Integer10", sz(L"1"));
        ApplyTweak(L"T_Integer10", true, L"Group_Types", L"", 0);
        CHECK(e.value(L"Integer10") == sz(L"1"));
    }
    SUBCASE("unchecking an absent Integer10 writes nothing") {
        ApplyTweak(L"T_Integer10", false, L"Group_Types", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, kPolicies));
    }
    SUBCASE("String10 replaces a REG_DWORD of the same name") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"String10", dword(0));
        ApplyTweak(L"T_String10", true, L"Group_Types", L"", 0);
        CHECK(e.value(L"String10") == sz(L"1"));
    }
    SUBCASE("of two locations only the one that differs") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"First", sz(L"1"));  // Integer10, already checked
        ApplyTweak(L"TwoValues", true, L"Group_Special", L"", 0);
        CHECK(e.value(L"First") == sz(L"1"));
        CHECK(e.value(L"Second") == dword(0));  // Integer01 checked
    }
    SUBCASE("a tweak looked up under its group") {
        ApplyTweak(L"Shared", true, L"Group_Other", L"", 0);
        CHECK(e.value(L"SharedB") == dword(1));
        CHECK_FALSE(e.value(L"SharedA"));
    }
}

TEST_CASE("String and Integer tweaks write the registry and the store's side entries") {
    Engine e;
    TEncriptor& store = e.store.store();

    SUBCASE("a checked text that changed") {
        ApplyTweak(L"T_String", true, L"Group_Types", L"abc", 0);
        ApplyTweak(L"T_String", true, L"Group_Types", L"abd", 0);
        CHECK(e.value(L"String") == sz(L"abd"));
        CHECK(store.GetStr(L"T_String", L"") == L"1");
        CHECK(store.GetStr(L"T_String_str", L"") == L"abd");
    }
    SUBCASE("unchecking keeps the text in the store") {
        ApplyTweak(L"T_String", true, L"Group_Types", L"abc", 0);
        ApplyTweak(L"T_String", false, L"Group_Types", L"abc", 0);
        CHECK(e.value(L"String") == sz(L""));
        CHECK(store.GetStr(L"T_String", L"") == L"0");
        CHECK(store.GetStr(L"T_String_str", L"") == L"abc");
        const TCheckBoxRec rec = e.read(L"T_String", L"Group_Types");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.cValue == L"abc");
    }
    SUBCASE("an unchecked text that was edited is written") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"String", sz(L""));
        ApplyTweak(L"T_String", false, L"Group_Types", L"new", 0);
        CHECK(e.value(L"String") == sz(L""));
        CHECK(store.GetStr(L"T_String_str", L"") == L"new");
        CHECK(e.read(L"T_String", L"Group_Types").cValue == L"new");
    }
    SUBCASE("a drive mask of 0 saved as checked reads back as checked") {
        ApplyTweak(L"T_Integer", true, L"Group_Types", L"", 0);
        CHECK(e.value(L"Integer") == dword(0));
        CHECK(store.GetStr(L"T_Integer", L"") == L"1");
        CHECK(store.GetStr(L"T_Integer_str", L"") == L"0");
        CHECK(e.read(L"T_Integer", L"Group_Types").SetValue);
    }
    SUBCASE("an unchecked number keeps the number in the store") {
        ApplyTweak(L"T_Integer", true, L"Group_Types", L"", 67108863);
        ApplyTweak(L"T_Integer", false, L"Group_Types", L"", 67108863);
        CHECK(e.value(L"Integer") == dword(0));
        const TCheckBoxRec rec = e.read(L"T_Integer", L"Group_Types");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.nValue == 67108863);
    }
}

TEST_CASE("A CLSID tweak moves its class key") {
    Engine e;
    const std::wstring plain = kClasses + L"\\" + kClassId;
    const std::wstring hidden = kClasses + L"\\-" + kClassId;
    setRaw(e.reg, kHkeyCurrentUser, plain, L"", sz(L"Menu bars"));
    setRaw(e.reg, kHkeyCurrentUser, plain + L"\\InprocServer32", L"", sz(L"shell32.dll"));

    ApplyTweak(L"T_CLSID", true, L"Group_Types", L"", 0);
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, plain));
    CHECK(e.value(L"", hidden) == sz(L"Menu bars"));
    CHECK(e.value(L"", hidden + L"\\InprocServer32") == sz(L"shell32.dll"));
    CHECK(e.read(L"T_CLSID", L"Group_Types").SetValue);

    ApplyTweak(L"T_CLSID", false, L"Group_Types", L"", 0);
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, hidden));
    CHECK(e.value(L"", plain + L"\\InprocServer32") == sz(L"shell32.dll"));

    SUBCASE("nothing happens when the source key is absent") {
        e.reg.deleteKey(kHkeyCurrentUser, plain + L"\\InprocServer32");
        e.reg.deleteKey(kHkeyCurrentUser, plain);
        ApplyTweak(L"T_CLSID", true, L"Group_Types", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, hidden));
        CHECK(PlanTweak(L"T_CLSID", true, L"Group_Types", L"", 0).locations.at(0).write == std::nullopt);
    }
}

TEST_CASE("Failures are swallowed per location") {
    Engine e;
    TEncriptor& store = e.store.store();
    // A user without administrator rights.
    e.reg.denyAccess(kHkeyLocalMachine, L"Software", kKeyWrite | kKeyCreateSubKey);

    SUBCASE("the other location is still written") {
        ApplyTweak(L"SplitValues", true, L"Group_Special", L"", 0);
        CHECK_FALSE(e.value(L"SplitMachine", kMachine, kHkeyLocalMachine));
        CHECK(e.value(L"SplitUser") == dword(1));
    }
    SUBCASE("a failed write leaves the store's side entries alone") {
        store.SetBool(L"MachineString", false);
        store.SetStr(L"MachineString_str", L"old");
        ApplyTweak(L"MachineString", true, L"Group_Special", L"new", 0);
        CHECK(store.GetStr(L"MachineString", L"") == L"0");
        CHECK(store.GetStr(L"MachineString_str", L"") == L"old");
        CHECK_FALSE(e.read(L"MachineString", L"Group_Special").SetValue);
    }
    SUBCASE("WriteTweakValue itself raises") {
        CHECK_THROWS_AS(WriteTweakValue(kHkeyLocalMachine, kMachine, L"V", kRegDword, true, L"Integer10", L"", 0,
                                        L"V"),
                        EJclRegistryError);
    }
}

TEST_CASE("Nothing is written for what cannot be resolved") {
    Engine e;
    SUBCASE("location 1 without Office settings stops the whole tweak") {
        ApplyTweak(L"OfficeTweak", true, L"Group_Special", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, kPolicies));
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, L"\\Common\\General"));
    }
    SUBCASE("with Office settings both locations are written") {
        e.reg.createKey(kHkeyCurrentUser, L"Software\\Microsoft\\Office\\11.0", kKeyWrite);
        ApplyTweak(L"OfficeTweak", true, L"Group_Special", L"", 0);
        CHECK(e.value(L"OfficeFirst", L"Software\\Microsoft\\Office\\11.0\\Common\\General") == dword(1));
        CHECK(e.value(L"OfficeSecond") == dword(1));
    }
    SUBCASE("an alias without a key path is not written at the root") {
        ApplyTweak(L"MissingAlias", true, L"Group_Special", L"", 0);
        ApplyTweak(L"EmptyAlias", true, L"Group_Special", L"", 0);
        CHECK_FALSE(e.value(L"MissingAlias", L""));
        CHECK_FALSE(e.value(L"EmptyAlias", L""));
    }
    SUBCASE("a name the scheme does not hold, such as an applet") {
        const TweakPlan plan = PlanTweak(L"desk.cpl", true, L"CPApplets", L"", 0);
        CHECK(plan.locations.empty());
        ApplyTweak(L"desk.cpl", true, L"CPApplets", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, L"Software"));
    }
    SUBCASE("an unknown value type") {
        ApplyTweak(L"T_Unknown", true, L"Group_Types", L"", 0);
        CHECK_FALSE(e.value(L"Unknown"));
    }
}

TEST_CASE("A plan says what a save would write, without writing") {
    Engine e;
    setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"First", dword(1));
    const TweakPlan plan = PlanTweak(L"TwoValues", true, L"Group_Special", L"", 0);
    REQUIRE(plan.locations.size() == 1);
    const LocationPlan& second = plan.locations[0];
    CHECK(second.index == 2);
    CHECK(second.location.Root == kHkeyCurrentUser);
    CHECK(second.location.KeyPath == kPolicies);
    REQUIRE(second.write);
    CHECK(second.write->op == RegistryWrite::Op::WriteDword);
    CHECK(second.write->valueName == L"Second");
    CHECK(second.write->number == 0);
    CHECK_FALSE(second.store);
    CHECK_FALSE(e.value(L"Second"));

    const TweakPlan text = PlanTweak(L"T_String", true, L"Group_Types", L"abc", 0);
    REQUIRE(text.locations.size() == 1);
    REQUIRE(text.locations[0].store);
    CHECK(text.locations[0].store->text == L"abc");
    CHECK(text.locations[0].store->flag);
    CHECK_FALSE(e.store.store().isValue(L"T_String"));

    ExecutePlan(plan);
    CHECK(e.value(L"Second") == dword(0));
}
