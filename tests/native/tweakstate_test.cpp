#include <doctest/doctest.h>

#include "registry/memory_registry.h"
#include "registry/regaccess.h"
#include "registry/tweakstate.h"
#include "tests/native/registry_fixture.h"

using namespace regtest;

namespace {

struct Engine {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    SchemeScope scheme;
    StoreScope store;
    ~Engine() { CHECK(reg.openKeyCount() == 0); }

    TCheckBoxRec read(const std::wstring& tweak, const std::wstring& group = L"Group_Types") {
        TCheckBoxRec rec;
        rec.AName = L"untouched";
        rec.cValue = L"stale";
        rec.nValue = 99;
        rec.SetValue = rec.Exists1 = rec.SetValue1 = rec.Exists2 = rec.SetValue2 = true;
        GetTweakState(tweak, group, rec);
        CHECK(rec.AName == L"untouched");
        return rec;
    }
};

const RegValue kAbsent{0xFFFFFFFF, {}};  // marks "no value" in the tables

}  // namespace

TEST_CASE("InvertByType negates exactly the five inverted types") {
    const std::pair<const wchar_t*, bool> table[] = {
        {L"String01", true},      {L"Integer01", true},     {L"String_NoYes", true}, {L"String_noyes", true},
        {L"String_NY", true},     {L"String10", false},     {L"Integer10", false},   {L"String_YesNo", false},
        {L"String_yesno", false}, {L"String_YN", false},    {L"Integer31", false},   {L"String", false},
        {L"Integer", false},      {L"CLSID", false},        {L"string01", false},    {L"", false},
    };
    for (const auto& [type, inverted] : table) {
        CAPTURE(doctest::StringMaker<std::wstring>::convert(type));
        bool flag = true;
        InvertByType(flag, type);
        CHECK(flag == !inverted);
        flag = false;
        InvertByType(flag, type);
        CHECK(flag == inverted);
    }
}

TEST_CASE("The value-type table holds the seventeen types with their data types") {
    const std::pair<const wchar_t*, RegType> table[] = {
        {L"String10", kRegSz},     {L"String01", kRegSz},      {L"Integer10", kRegDword},  {L"Integer01", kRegDword},
        {L"String_YesNo", kRegSz}, {L"String_NoYes", kRegSz},  {L"String_YN", kRegSz},     {L"String_NY", kRegSz},
        {L"String_yesno", kRegSz}, {L"String_noyes", kRegSz},  {L"Integer31", kRegDword},  {L"Integer30", kRegDword},
        {L"Integer20", kRegDword}, {L"Integer43", kRegDword},  {L"String", kRegSz},        {L"Integer", kRegDword},
    };
    for (const auto& [name, dataType] : table) {
        const TValueTypeRec* type = FindValueType(name);
        REQUIRE(type);
        CHECK(type->DataType == dataType);
        CHECK(DataTypeOf(name) == dataType);
    }
    REQUIRE(FindValueType(L"CLSID"));
    CHECK(FindValueType(L"CLSID")->Kind == ValueKind::Clsid);
    CHECK_FALSE(FindValueType(L"integer10"));
    CHECK_FALSE(FindValueType(L"Integer10 "));
}

TEST_CASE("A present value reads as checked by the test of its value type") {
    struct Case {
        const wchar_t* type;
        RegValue value;
        bool checked;
    };
    const Case cases[] = {
        {L"String10", sz(L"1"), true},        {L"String10", sz(L"2"), true},
        {L"String10", sz(L"0"), false},       {L"String10", sz(L"abc"), false},
        {L"String10", dword(1), true},        {L"String10", kAbsent, false},
        {L"String01", sz(L"abc"), true},      {L"String01", sz(L"1"), false},
        {L"String01", sz(L"0"), true},        {L"String01", kAbsent, false},
        {L"Integer10", dword(1), true},       {L"Integer10", dword(0), false},
        {L"Integer10", sz(L"$10"), true},     {L"Integer10", kAbsent, false},
        {L"Integer01", dword(0), true},       {L"Integer01", dword(5), false},
        {L"Integer01", kAbsent, false},       {L"Integer01", RegValue{kRegMultiSz, {0, 0}}, true},
        {L"String_YesNo", sz(L"Yes"), true},  {L"String_YesNo", sz(L"yes"), false},
        {L"String_YesNo", dword(1), false},   {L"String_NoYes", sz(L"yes"), true},
        {L"String_NoYes", sz(L"No"), true},   {L"String_NoYes", sz(L""), true},
        {L"String_NoYes", sz(L"Yes"), false}, {L"String_NoYes", kAbsent, false},
        {L"String_YN", sz(L"Y"), true},       {L"String_YN", sz(L"y"), false},
        {L"String_NY", sz(L"N"), true},       {L"String_NY", sz(L"Y"), false},
        {L"String_yesno", sz(L"yes"), true},  {L"String_yesno", sz(L"Yes"), false},
        {L"String_noyes", sz(L"no"), true},   {L"String_noyes", sz(L"yes"), false},
        {L"Integer31", dword(3), true},       {L"Integer31", dword(1), false},
        {L"Integer31", dword(0), false},      {L"Integer31", kAbsent, false},
        {L"Integer31", sz(L"3"), true},       {L"Integer30", dword(3), true},
        {L"Integer30", dword(0), false},      {L"Integer20", dword(2), true},
        {L"Integer20", dword(3), false},      {L"Integer43", dword(4), true},
        {L"Integer43", dword(3), false},      {L"String", sz(L"abc"), true},
        {L"String", sz(L""), false},          {L"Integer", dword(7), true},
        {L"Integer", dword(0), false},
    };
    for (const Case& c : cases) {
        const std::wstring type = c.type;
        CAPTURE(doctest::StringMaker<std::wstring>::convert(type));
        CAPTURE(doctest::StringMaker<RegValue>::convert(c.value));
        Engine e;
        const bool present = c.value.type != kAbsent.type;
        if (present) setRaw(e.reg, kHkeyCurrentUser, kPolicies, type, c.value);
        const TCheckBoxRec rec = e.read(L"T_" + type);
        CHECK(rec.SetValue == c.checked);
        CHECK(rec.SetValue1 == c.checked);
        CHECK(rec.Exists1 == present);
        CHECK_FALSE(rec.Exists2);
        CHECK_FALSE(rec.SetValue2);
    }
}

TEST_CASE("String and Integer tweaks keep their text and number, with the store's help") {
    Engine e;
    TEncriptor& store = e.store.store();

    SUBCASE("a present text is the tweak's text") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"String", sz(L"C:\\Logon.bmp"));
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK(rec.SetValue);
        CHECK(rec.cValue == L"C:\\Logon.bmp");
        CHECK(rec.nValue == 0);
    }
    SUBCASE("an empty text with the store recording it checked") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"String", sz(L""));
        store.SetBool(L"T_String", true);
        store.SetStr(L"T_String_str", L"abc");
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK(rec.SetValue);
        CHECK(rec.cValue == L"");
    }
    SUBCASE("an empty text with the store recording it unchecked shows the last text") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"String", sz(L""));
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
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"Integer", dword(0));
        store.SetStr(L"T_Integer_str", L"12");
        const TCheckBoxRec rec = e.read(L"T_Integer");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.nValue == 12);
        CHECK(rec.cValue == L"");
    }
    SUBCASE("a number of 0 that the store records as checked") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"Integer", dword(0));
        store.SetBool(L"T_Integer", true);
        store.SetStr(L"T_Integer_str", L"12");
        const TCheckBoxRec rec = e.read(L"T_Integer");
        CHECK(rec.SetValue);
        CHECK(rec.nValue == 0);
    }
    SUBCASE("a value that is not a number reads as 0") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"Integer", sz(L"drives"));
        store.SetBool(L"T_Integer", true);
        const TCheckBoxRec rec = e.read(L"T_Integer");
        CHECK(rec.SetValue);
        CHECK(rec.nValue == 0);
    }
    SUBCASE("without a settings store the side entries read as absent") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"String", sz(L""));
        store.SetBool(L"T_String", true);
        SettingsStore = nullptr;
        const TCheckBoxRec rec = e.read(L"T_String");
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.cValue == L"");
    }
}

TEST_CASE("A CLSID tweak is checked when its class key carries the prefix") {
    Engine e;
    SUBCASE("neither key: exists, unchecked") {
        const TCheckBoxRec rec = e.read(L"T_CLSID");
        CHECK(rec.Exists1);
        CHECK_FALSE(rec.SetValue);
    }
    SUBCASE("the plain key: unchecked") {
        e.reg.createKey(kHkeyCurrentUser, kClasses + L"\\" + kClassId, kKeyWrite);
        CHECK_FALSE(e.read(L"T_CLSID").SetValue);
    }
    SUBCASE("the prefixed key, in other letter case: checked") {
        e.reg.createKey(kHkeyCurrentUser, kClasses + L"\\-{5B4DAE26-B807-11D0-9815-00C04FD91972}", kKeyWrite);
        CHECK(e.read(L"T_CLSID").SetValue);
    }
}

TEST_CASE("Finding the tweak and its locations") {
    Engine e;
    SUBCASE("two locations: checked when either is, each reported on its own") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"Second", dword(0));  // Integer01: checked
        TCheckBoxRec rec = e.read(L"TwoValues", L"Group_Special");
        CHECK(rec.SetValue);
        CHECK_FALSE(rec.Exists1);
        CHECK_FALSE(rec.SetValue1);
        CHECK(rec.Exists2);
        CHECK(rec.SetValue2);

        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"Second", dword(1));
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"First", dword(1));
        rec = e.read(L"TwoValues", L"Group_Special");
        CHECK(rec.SetValue);
        CHECK(rec.SetValue1);
        CHECK_FALSE(rec.SetValue2);
    }
    SUBCASE("a name in two groups is read under the group named") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"SharedB", dword(1));
        CHECK(e.read(L"Shared", L"Group_Other").SetValue);
        CHECK_FALSE(e.read(L"Shared", L"Group_Special").SetValue);
        // Without a group, or with one that is not found, the first in the tree is read.
        CHECK_FALSE(e.read(L"Shared", L"").SetValue);
        CHECK_FALSE(e.read(L"Shared", L"TreeItem").SetValue);
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"SharedA", dword(1));
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
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"String10", sz(L"1"));
        const TCheckBoxRec other = e.read(L"T_String10", L"Group_Other");
        CHECK_FALSE(other.Exists1);
        CHECK_FALSE(other.SetValue);
    }
    SUBCASE("an alias that resolves to no key path is not read at the root") {
        setRaw(e.reg, kHkeyCurrentUser, L"", L"MissingAlias", dword(1));
        setRaw(e.reg, kHkeyCurrentUser, L"", L"EmptyAlias", dword(1));
        CHECK_FALSE(e.read(L"MissingAlias", L"Group_Special").Exists1);
        CHECK_FALSE(e.read(L"EmptyAlias", L"Group_Special").Exists1);
    }
    SUBCASE("an unknown value type reads as unchecked although its value is present") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"Unknown", dword(1));
        const TCheckBoxRec rec = e.read(L"T_Unknown");
        CHECK(rec.Exists1);
        CHECK_FALSE(rec.SetValue);
    }
    SUBCASE("denied access reads as absent") {
        setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"Integer10", dword(1));
        e.reg.denyAccess(kHkeyCurrentUser, kPolicies);
        const TCheckBoxRec rec = e.read(L"T_Integer10");
        CHECK_FALSE(rec.Exists1);
        CHECK_FALSE(rec.SetValue);
    }
}

TEST_CASE("Office locations") {
    Engine e;
    const std::wstring office = L"Software\\Microsoft\\Office";
    setRaw(e.reg, kHkeyCurrentUser, kPolicies, L"OfficeSecond", dword(1));

    SUBCASE("without Office settings the tweak reads as unchecked, location 2 included") {
        const TCheckBoxRec rec = e.read(L"OfficeTweak", L"Group_Special");
        CHECK_FALSE(rec.SetValue);
        CHECK_FALSE(rec.SetValue2);
        CHECK_FALSE(rec.Exists2);
    }
    SUBCASE("with a version key the value is read below it") {
        setRaw(e.reg, kHkeyCurrentUser, office + L"\\10.0\\Common\\General", L"OfficeFirst", dword(1));
        const TCheckBoxRec rec = e.read(L"OfficeTweak", L"Group_Special");
        CHECK(rec.SetValue1);
        CHECK(rec.SetValue2);
    }
}
