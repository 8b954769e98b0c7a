// Applying a tweak on any backend: only what differs is written, side entries, what
// cannot be resolved, and the plan that a save executes.
#include "tests/contract/registry_contract.h"

#include "registry/applytweak.h"

namespace contract {

TEST_CASE("Only locations that differ are written") {
    Engine e;
    SUBCASE("an Integer10 value that already reads 1 is left as it is") {
        e.set(L"Integer10", sz(L"1"));
        ApplyTweak(L"T_Integer10", true, L"Group_Types", L"", 0);
        CHECK(e.value(L"Integer10") == sz(L"1"));
    }
    SUBCASE("unchecking an absent Integer10 writes nothing, not even its key") {
        ApplyTweak(L"T_Integer10", false, L"Group_Types", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, e.policies));
    }
    SUBCASE("checking creates the missing keys") {
        ApplyTweak(L"T_Integer10", true, L"Group_Types", L"", 0);
        CHECK(e.value(L"Integer10") == dword(1));
    }
    SUBCASE("String10 replaces a REG_DWORD of the same name") {
        e.set(L"String10", dword(0));
        ApplyTweak(L"T_String10", true, L"Group_Types", L"", 0);
        CHECK(e.value(L"String10") == sz(L"1"));
    }
    SUBCASE("of two locations only the one that differs") {
        e.set(L"First", sz(L"1"));  // Integer10, already checked
        ApplyTweak(L"TwoValues", true, L"Group_Special", L"", 0);
        CHECK(e.value(L"First") == sz(L"1"));
        CHECK(e.value(L"Second") == dword(0));  // Integer01 checked
        const TCheckBoxRec rec = e.read(L"TwoValues", L"Group_Special");
        CHECK(rec.SetValue1);
        CHECK(rec.SetValue2);
    }
    SUBCASE("a location under HKEY_LOCAL_MACHINE and one under HKEY_CURRENT_USER") {
        ApplyTweak(L"SplitValues", true, L"Group_Special", L"", 0);
        CHECK(e.valueAt(e.machine, L"SplitMachine", kHkeyLocalMachine) == dword(1));
        CHECK(e.value(L"SplitUser") == dword(1));
        CHECK_FALSE(e.valueAt(e.machine, L"SplitMachine", kHkeyCurrentUser));
        ApplyTweak(L"SplitValues", false, L"Group_Special", L"", 0);
        CHECK(e.valueAt(e.machine, L"SplitMachine", kHkeyLocalMachine) == dword(0));
        CHECK(e.value(L"SplitUser") == dword(0));
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
    SUBCASE("a checked text differing only in letter case is written") {
        ApplyTweak(L"T_String", true, L"Group_Types", L"abc", 0);
        ApplyTweak(L"T_String", true, L"Group_Types", L"ABC", 0);
        CHECK(e.value(L"String") == sz(L"ABC"));
    }
    SUBCASE("unchecking keeps the text in the store") {
        ApplyTweak(L"T_String", true, L"Group_Types", L"abc", 0);
        ApplyTweak(L"T_String", false, L"Group_Types", L"abc", 0);
        CHECK(e.value(L"String") == sz(L""));
        CHECK(store.GetStr(L"T_String", L"") == L"0");
        CHECK(store.GetStr(L"T_String_str", L"") == L"abc");
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.cValue == L"abc");
    }
    SUBCASE("an unchecked text that was edited is written") {
        e.set(L"String", sz(L""));
        ApplyTweak(L"T_String", false, L"Group_Types", L"new", 0);
        CHECK(e.value(L"String") == sz(L""));
        CHECK(store.GetStr(L"T_String_str", L"") == L"new");
        CHECK(e.read(L"T_String").cValue == L"new");
    }
    SUBCASE("a drive mask of 0 saved as checked reads back as checked") {
        ApplyTweak(L"T_Integer", true, L"Group_Types", L"", 0);
        CHECK(e.value(L"Integer") == dword(0));
        CHECK(store.GetStr(L"T_Integer", L"") == L"1");
        CHECK(store.GetStr(L"T_Integer_str", L"") == L"0");
        CHECK(e.read(L"T_Integer").SetValue);
    }
    SUBCASE("an unchecked number keeps the number in the store") {
        ApplyTweak(L"T_Integer", true, L"Group_Types", L"", 67108863);
        ApplyTweak(L"T_Integer", false, L"Group_Types", L"", 67108863);
        CHECK(e.value(L"Integer") == dword(0));
        CHECK(store.GetStr(L"T_Integer_str", L"") == L"67108863");
        const TCheckBoxRec rec = e.read(L"T_Integer");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.nValue == 67108863);
    }
}

TEST_CASE("Nothing is written for what cannot be resolved") {
    Engine e;
    SUBCASE("location 1 without Office settings stops the whole tweak") {
        OfficeScope office;
        ApplyTweak(L"OfficeTweak", true, L"Group_Special", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, e.policies));
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, L"\\Common\\General"));
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, L"Common\\General"));
    }
    SUBCASE("with Office settings both locations are written, below the first version") {
        OfficeScope office;
        e.createKey(kOffice + L"\\11.0");
        e.createKey(kOffice + L"\\12.0\\Common\\General");
        ApplyTweak(L"OfficeTweak", true, L"Group_Special", L"", 0);
        CHECK(e.valueAt(kOffice + L"\\11.0\\Common\\General", L"OfficeFirst") == dword(1));
        CHECK_FALSE(e.valueAt(kOffice + L"\\12.0\\Common\\General", L"OfficeFirst"));
        CHECK(e.value(L"OfficeSecond") == dword(1));
    }
    SUBCASE("a name the scheme does not hold, such as an applet") {
        const TweakPlan plan = PlanTweak(L"desk.cpl", true, L"CPApplets", L"", 0);
        CHECK(plan.locations.empty());
        ApplyTweak(L"desk.cpl", true, L"CPApplets", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, e.sandbox.root()));
    }
    SUBCASE("an unknown value type") {
        ApplyTweak(L"T_Unknown", true, L"Group_Types", L"", 0);
        CHECK_FALSE(e.value(L"Unknown"));
    }
}

TEST_CASE("A plan says what a save would write, without writing") {
    Engine e;
    e.set(L"First", dword(1));
    const TweakPlan plan = PlanTweak(L"TwoValues", true, L"Group_Special", L"", 0);
    REQUIRE(plan.locations.size() == 1);
    const LocationPlan& second = plan.locations[0];
    CHECK(second.index == 2);
    CHECK(second.location.Root == kHkeyCurrentUser);
    CHECK(second.location.KeyPath == e.policies);
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
    CHECK_FALSE(e.value(L"String"));

    ExecutePlan(plan);
    CHECK(e.value(L"Second") == dword(0));
    CHECK(e.value(L"First") == dword(1));
}

}  // namespace contract
