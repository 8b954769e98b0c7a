// Applying tweaks: the contract and the value-type table on the in-memory registry, plus
// denied writes, which only the in-memory registry can produce.
#include "tests/contract/applytweak_contract.cpp"
#include "tests/contract/valuetype_contract.cpp"

using namespace contract;

TEST_CASE("A denied write is swallowed per location") {
    Engine e;
    TEncriptor& store = e.store.store();
    e.setAt(e.machine, L"SplitMachine", dword(0), kHkeyLocalMachine);
    // A user without administrator rights.
    e.sandbox.memory().denyAccess(kHkeyLocalMachine, L"Software", kKeyWrite | kKeyCreateSubKey);

    SUBCASE("the other location is still written") {
        ApplyTweak(L"SplitValues", true, L"Group_Special", L"", 0);
        CHECK(e.valueAt(e.machine, L"SplitMachine", kHkeyLocalMachine) == dword(0));
        CHECK(e.value(L"SplitUser") == dword(1));
        // The next reading shows the old state of the denied location.
        const TCheckBoxRec rec = e.read(L"SplitValues", L"Group_Special");
        CHECK_FALSE(rec.SetValue1);
        CHECK(rec.SetValue2);
    }
    SUBCASE("a failed write leaves the store's side entries alone") {
        store.SetBool(L"MachineString", false);
        store.SetStr(L"MachineString_str", L"old");
        ApplyTweak(L"MachineString", true, L"Group_Special", L"new", 0);
        CHECK(store.GetStr(L"MachineString", L"") == L"0");
        CHECK(store.GetStr(L"MachineString_str", L"") == L"old");
        CHECK_FALSE(e.valueAt(e.machine, L"MachineString", kHkeyLocalMachine));
        CHECK_FALSE(e.read(L"MachineString", L"Group_Special").SetValue);
    }
    SUBCASE("WriteTweakValue itself raises") {
        CHECK_THROWS_AS(WriteTweakValue(kHkeyLocalMachine, e.machine, L"V", kRegDword, true, L"Integer10", L"", 0,
                                        L"V"),
                        EJclRegistryError);
    }
}

// Values directly under a root would be the real registry's own, so this stays in memory.
TEST_CASE("An alias without a key path is not written at the root") {
    Engine e;
    ApplyTweak(L"MissingAlias", true, L"Group_Special", L"", 0);
    ApplyTweak(L"EmptyAlias", true, L"Group_Special", L"", 0);
    CHECK_FALSE(e.valueAt(L"", L"MissingAlias"));
    CHECK_FALSE(e.valueAt(L"", L"EmptyAlias"));
}
