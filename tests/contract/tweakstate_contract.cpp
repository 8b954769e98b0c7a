// Reading a tweak's state on any backend: side entries, locations, lookup, Office paths.
#include "tests/contract/registry_contract.h"

namespace contract {

TEST_CASE("String and Integer tweaks keep their text and number, with the store's help") {
    Engine e;
    TEncriptor& store = e.store.store();

    SUBCASE("a present text is the tweak's text") {
        e.set(L"String", sz(L"C:\\Logon.bmp"));
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK(rec.SetValue);
        CHECK(rec.cValue == L"C:\\Logon.bmp");
        CHECK(rec.nValue == 0);
    }
    SUBCASE("an empty text with the store recording it checked") {
        e.set(L"String", sz(L""));
        store.SetBool(L"T_String", true);
        store.SetStr(L"T_String_str", L"abc");
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK(rec.SetValue);
        CHECK(rec.cValue == L"");
    }
    SUBCASE("an empty text with the store recording it unchecked shows the last text") {
        e.set(L"String", sz(L""));
        store.SetBool(L"T_String", false);
        store.SetStr(L"T_String_str", L"abc");
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.cValue == L"abc");
    }
    SUBCASE("an absent text: unchecked, empty, the store not consulted") {
        store.SetBool(L"T_String", true);
        store.SetStr(L"T_String_str", L"abc");
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK_FALSE(rec.SetValue);
        CHECK_FALSE(rec.Exists1);
        CHECK(rec.cValue == L"");
    }
    SUBCASE("a number of 0 without a store flag shows the last number") {
        e.set(L"Integer", dword(0));
        store.SetStr(L"T_Integer_str", L"12");
        const TCheckBoxRec rec = e.read(L"T_Integer");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.nValue == 12);
        CHECK(rec.cValue == L"");
    }
    SUBCASE("a number of 0 that the store records as checked") {
        e.set(L"Integer", dword(0));
        store.SetBool(L"T_Integer", true);
        store.SetStr(L"T_Integer_str", L"12");
        const TCheckBoxRec rec = e.read(L"T_Integer");
        CHECK(rec.SetValue);
        CHECK(rec.nValue == 0);
    }
    SUBCASE("a value that is not a number reads as 0") {
        e.set(L"Integer", sz(L"drives"));
        store.SetBool(L"T_Integer", true);
        const TCheckBoxRec rec = e.read(L"T_Integer");
        CHECK(rec.SetValue);
        CHECK(rec.nValue == 0);
    }
    SUBCASE("a value that is not a text reads as the empty text") {
        e.set(L"String", dword(5));
        store.SetBool(L"T_String", false);
        store.SetStr(L"T_String_str", L"last");
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.cValue == L"last");
    }
    SUBCASE("without a settings store the side entries read as absent") {
        e.set(L"String", sz(L""));
        store.SetBool(L"T_String", true);
        SettingsStore = nullptr;
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.cValue == L"");
    }
}

TEST_CASE("Finding the tweak and its locations") {
    Engine e;
    SUBCASE("two locations: checked when either is, each reported on its own") {
        e.set(L"Second", dword(0));  // Integer01: checked
        TCheckBoxRec rec = e.read(L"TwoValues", L"Group_Special");
        CHECK(rec.SetValue);
        CHECK_FALSE(rec.Exists1);
        CHECK_FALSE(rec.SetValue1);
        CHECK(rec.Exists2);
        CHECK(rec.SetValue2);

        e.set(L"Second", dword(1));
        e.set(L"First", dword(1));
        rec = e.read(L"TwoValues", L"Group_Special");
        CHECK(rec.SetValue);
        CHECK(rec.SetValue1);
        CHECK(rec.Exists2);
        CHECK_FALSE(rec.SetValue2);
    }
    SUBCASE("locations under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER") {
        e.setAt(e.machine, L"SplitMachine", dword(1), kHkeyLocalMachine);
        TCheckBoxRec rec = e.read(L"SplitValues", L"Group_Special");
        CHECK(rec.SetValue1);
        CHECK_FALSE(rec.Exists2);
        // The same value name under the other root is not the tweak's.
        e.setAt(e.machine, L"SplitMachine", dword(0), kHkeyLocalMachine);
        e.setAt(e.machine, L"SplitMachine", dword(1), kHkeyCurrentUser);
        CHECK_FALSE(e.read(L"SplitValues", L"Group_Special").SetValue);
    }
    SUBCASE("a name in two groups is read under the group named") {
        e.set(L"SharedB", dword(1));
        CHECK(e.read(L"Shared", L"Group_Other").SetValue);
        CHECK_FALSE(e.read(L"Shared", L"Group_Special").SetValue);
        // Without a group, or with one that is not found, the first in the tree is read.
        CHECK_FALSE(e.read(L"Shared", L"").SetValue);
        CHECK_FALSE(e.read(L"Shared", L"TreeItem").SetValue);
        e.set(L"SharedA", dword(1));
        CHECK(e.read(L"Shared", L"TreeItem").SetValue);
    }
    SUBCASE("a tweak the scheme does not hold reads as all clear") {
        const TCheckBoxRec rec = e.read(L"NoSuchTweak");
        CHECK_FALSE(rec.SetValue);
        CHECK_FALSE(rec.Exists1);
        CHECK_FALSE(rec.SetValue1);
        CHECK_FALSE(rec.Exists2);
        CHECK_FALSE(rec.SetValue2);
        CHECK(rec.cValue == L"");
        CHECK(rec.nValue == 0);
        // Held elsewhere in the tree, but not under the group named.
        e.set(L"String10", sz(L"1"));
        const TCheckBoxRec other = e.read(L"T_String10", L"Group_Other");
        CHECK_FALSE(other.Exists1);
        CHECK_FALSE(other.SetValue);
    }
}

TEST_CASE("Office locations") {
    Engine e;
    OfficeScope office;
    e.set(L"OfficeSecond", dword(1));

    SUBCASE("without Office settings the tweak reads as unchecked, location 2 included") {
        const TCheckBoxRec rec = e.read(L"OfficeTweak", L"Group_Special");
        CHECK_FALSE(rec.SetValue);
        CHECK_FALSE(rec.SetValue2);
        CHECK_FALSE(rec.Exists2);
    }
    SUBCASE("an Office key without versions stops the read as well") {
        e.createKey(kOffice);
        CHECK_FALSE(e.read(L"OfficeTweak", L"Group_Special").SetValue);
    }
    SUBCASE("with a version key the value is read below the first version") {
        e.setAt(kOffice + L"\\10.0\\Common\\General", L"OfficeFirst", dword(1));
        e.setAt(kOffice + L"\\11.0\\Common\\General", L"OfficeFirst", dword(0));
        const TCheckBoxRec rec = e.read(L"OfficeTweak", L"Group_Special");
        CHECK(rec.SetValue1);
        CHECK(rec.SetValue2);
    }
    SUBCASE("the first version is read even when the path lies below another") {
        e.createKey(kOffice + L"\\10.0");
        e.setAt(kOffice + L"\\11.0\\Common\\General", L"OfficeFirst", dword(1));
        const TCheckBoxRec rec = e.read(L"OfficeTweak", L"Group_Special");
        CHECK_FALSE(rec.Exists1);
        CHECK_FALSE(rec.SetValue1);
        CHECK(rec.SetValue2);
    }
}

}  // namespace contract
