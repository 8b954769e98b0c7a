// The value-type table on any backend: for each value type, what a present value reads as,
// and what checking and unchecking write and read back as.
#include "tests/contract/registry_contract.h"

#include "registry/applytweak.h"

namespace contract {

namespace {

struct ReadCase {
    std::optional<RegValue> value;  // none: the value is absent
    bool checked;
};

struct ValueTypeRow {
    const wchar_t* type;
    std::vector<ReadCase> reads;
    std::optional<RegValue> checked, unchecked;  // what a save writes; none: nothing
};

const RegValue kMulti = bytes(kRegMultiSz, {'1', 0, 0, 0, 0, 0});
const RegValue kQword = bytes(kRegQword, {5, 0, 0, 0, 1, 0, 0, 0});  // 2^32 + 5
const RegValue kLongBinary = bytes(kRegBinary, std::vector<std::uint8_t>(16, 1));
const std::nullopt_t kAbsent = std::nullopt;

// The text and number a save passes; only "String" and "Integer" write them.
const std::wstring kText = L"C:\\Logon Screen.bmp";
const int kNumber = 0x3FFFFFF;

const ValueTypeRow kValueTypes[] = {
    {L"String10",
     {{sz(L"1"), true}, {sz(L"2"), true}, {sz(L"0"), false}, {sz(L"abc"), false}, {dword(1), true},
      {kQword, true}, {kMulti, false}, {kLongBinary, false}, {kAbsent, false}},
     sz(L"1"), sz(L"0")},
    {L"String01",
     {{sz(L"abc"), true}, {sz(L"1"), false}, {sz(L"0"), true}, {kMulti, true}, {kAbsent, false}},
     sz(L"0"), sz(L"1")},
    {L"Integer10",
     {{dword(1), true}, {dword(0), false}, {sz(L"$10"), true}, {kQword, true},
      {bytes(kRegQword, {0, 0, 0, 0, 1, 0, 0, 0}), false}, {kMulti, false}, {kLongBinary, false},
      {bytes(kRegBinary, {0, 1}), true}, {kAbsent, false}},
     dword(1), dword(0)},
    {L"Integer01",
     {{dword(0), true}, {dword(5), false}, {kMulti, true}, {kLongBinary, true}, {kAbsent, false}},
     dword(0), dword(1)},
    {L"String_YesNo",
     {{sz(L"Yes"), true}, {sz(L"yes"), false}, {sz(L"Yes "), false}, {dword(1), false},
      {bytes(kRegExpandSz, utf16(L"Yes")), true}, {bytes(kRegSz, utf16(L"Yes", false)), true}, {kAbsent, false}},
     sz(L"Yes"), sz(L"No")},
    {L"String_NoYes",
     {{sz(L"yes"), true}, {sz(L"No"), true}, {sz(L""), true}, {sz(L"Yes"), false}, {dword(0), true},
      {kAbsent, false}},
     sz(L"No"), sz(L"Yes")},
    {L"String_YN", {{sz(L"Y"), true}, {sz(L"y"), false}, {sz(L"N"), false}, {kAbsent, false}}, sz(L"Y"), sz(L"N")},
    {L"String_NY", {{sz(L"N"), true}, {sz(L"Y"), false}, {sz(L"y"), true}, {kAbsent, false}}, sz(L"N"), sz(L"Y")},
    {L"String_yesno", {{sz(L"yes"), true}, {sz(L"Yes"), false}, {kAbsent, false}}, sz(L"yes"), sz(L"no")},
    {L"String_noyes", {{sz(L"no"), true}, {sz(L"yes"), false}, {sz(L"YES"), true}, {kAbsent, false}},
     sz(L"no"), sz(L"yes")},
    {L"Integer31",
     {{dword(3), true}, {dword(1), false}, {dword(0), false}, {sz(L"3"), true}, {kMulti, false}, {kAbsent, false}},
     dword(3), dword(1)},
    {L"Integer30", {{dword(3), true}, {dword(0), false}, {kAbsent, false}}, dword(3), dword(0)},
    {L"Integer20", {{dword(2), true}, {dword(3), false}, {kAbsent, false}}, dword(2), dword(0)},
    {L"Integer43", {{dword(4), true}, {dword(3), false}, {sz(L"0x4"), true}, {kAbsent, false}}, dword(4), dword(3)},
    // 0 is no documented state of a toolbar button: it reads as shown, and unchecking writes 1.
    {L"Integer21",
     {{dword(2), true}, {dword(1), false}, {dword(0), false}, {sz(L"2"), true}, {kMulti, false}, {kAbsent, false}},
     dword(2), dword(1)},
    {L"String",
     {{sz(L"abc"), true}, {sz(L""), false}, {dword(1), false}, {kAbsent, false}},
     sz(kText), sz(L"")},
    {L"Integer",
     {{dword(7), true}, {dword(0), false}, {sz(L"12"), true}, {kMulti, false}, {kAbsent, false}},
     dword(kNumber), dword(0)},
    // A name outside the table ("integer10": the comparison is case-sensitive).
    {L"Unknown", {{dword(1), false}, {sz(L"1"), false}, {kAbsent, false}}, kAbsent, kAbsent},
};

}  // namespace

TEST_CASE("The value-type table: what a present value reads as, what a save writes and reads back as") {
    for (const ValueTypeRow& row : kValueTypes) {
        const std::wstring type = row.type;
        const std::wstring tweak = L"T_" + type;
        CAPTURE(show(type));
        for (const ReadCase& c : row.reads) {
            CAPTURE(doctest::StringMaker<std::optional<RegValue>>::convert(c.value));
            Engine e;
            if (c.value) e.set(type, *c.value);
            const TCheckBoxRec rec = e.read(tweak);
            CHECK(rec.SetValue == c.checked);
            CHECK(rec.SetValue1 == c.checked);
            CHECK(rec.Exists1 == c.value.has_value());
            CHECK_FALSE(rec.Exists2);
            CHECK_FALSE(rec.SetValue2);
        }

        Engine e;
        ApplyTweak(tweak, true, L"Group_Types", kText, kNumber);
        CHECK(e.value(type) == row.checked);
        CHECK(e.read(tweak).SetValue == row.checked.has_value());

        ApplyTweak(tweak, false, L"Group_Types", kText, kNumber);
        CHECK(e.value(type) == row.unchecked);
        const TCheckBoxRec rec = e.read(tweak);
        CHECK_FALSE(rec.SetValue);
        CHECK(rec.Exists1 == row.unchecked.has_value());
        // An unchecked "String" or "Integer" tweak still shows the last text or number.
        if (type == L"String") CHECK(rec.cValue == kText);
        if (type == L"Integer") CHECK(rec.nValue == kNumber);
    }
}

// The seventeenth type renames a key instead of writing a value.
TEST_CASE("The value-type table: CLSID renames its class key with values and subkeys, both ways") {
    Engine e;
    const std::wstring plain = e.classes + L"\\" + regtest::kClassId;
    const std::wstring hidden = e.classes + L"\\-" + regtest::kClassId;

    SUBCASE("neither key: the location exists, unchecked, and a save moves nothing") {
        const TCheckBoxRec rec = e.read(L"T_CLSID");
        CHECK(rec.Exists1);
        CHECK_FALSE(rec.SetValue);
        ApplyTweak(L"T_CLSID", true, L"Group_Types", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, hidden));
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, plain));
    }
    SUBCASE("the prefixed key, in other letter case, reads as checked") {
        e.createKey(e.classes + L"\\-{5B4DAE26-B807-11D0-9815-00C04FD91972}");
        CHECK(e.read(L"T_CLSID").SetValue);
    }
    SUBCASE("checking and unchecking move the whole tree") {
        e.setAt(plain, L"", sz(L"Menu bars"));
        e.setAt(plain, L"Flags", bytes(kRegBinary, {1, 2, 3}));
        e.setAt(plain + L"\\InprocServer32", L"", sz(L"shell32.dll"));
        e.setAt(plain + L"\\InprocServer32", L"ThreadingModel", sz(L"Apartment"));
        e.createKey(plain + L"\\Implemented Categories\\{00021493-0000-0000-C000-000000000046}");
        CHECK_FALSE(e.read(L"T_CLSID").SetValue);

        ApplyTweak(L"T_CLSID", true, L"Group_Types", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, plain));
        CHECK(e.valueAt(hidden, L"") == sz(L"Menu bars"));
        CHECK(e.valueAt(hidden, L"Flags") == bytes(kRegBinary, {1, 2, 3}));
        CHECK(e.valueAt(hidden + L"\\InprocServer32", L"") == sz(L"shell32.dll"));
        CHECK(e.valueAt(hidden + L"\\InprocServer32", L"ThreadingModel") == sz(L"Apartment"));
        CHECK(KeyPresent(kHkeyCurrentUser, hidden + L"\\Implemented Categories\\{00021493-0000-0000-C000-000000000046}"));
        CHECK(e.read(L"T_CLSID").SetValue);

        ApplyTweak(L"T_CLSID", false, L"Group_Types", L"", 0);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, hidden));
        CHECK(e.valueAt(plain, L"Flags") == bytes(kRegBinary, {1, 2, 3}));
        CHECK(e.valueAt(plain + L"\\InprocServer32", L"ThreadingModel") == sz(L"Apartment"));
        CHECK(KeyPresent(kHkeyCurrentUser, plain + L"\\Implemented Categories\\{00021493-0000-0000-C000-000000000046}"));
        CHECK_FALSE(e.read(L"T_CLSID").SetValue);
    }
    SUBCASE("both keys present: checked, and unchecking leaves both as they are") {
        e.setAt(plain, L"Which", sz(L"plain"));
        e.setAt(hidden, L"Which", sz(L"hidden"));
        CHECK(e.read(L"T_CLSID").SetValue);
        ApplyTweak(L"T_CLSID", false, L"Group_Types", L"", 0);
        CHECK(e.valueAt(plain, L"Which") == sz(L"plain"));
        CHECK(e.valueAt(hidden, L"Which") == sz(L"hidden"));
    }
}

}  // namespace contract
