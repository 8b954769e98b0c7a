// Registry access on any backend: the primitives of the backend itself, then the engine's
// reads, writes, removal, listing, Office expansion and renaming on top of them.
#include "tests/contract/registry_contract.h"

#include <cwctype>

#include "registry/keycache.h"

namespace contract {

TEST_CASE("Backend: names without regard to case, kept as first written") {
    Sandbox s;
    const std::wstring key = s.path(L"MixedCase");
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key + L"\\Sub", L"Number", dword(1));
    REQUIRE(s.reg().openKey(kHkeyCurrentUser, s.path(L"mixedcase\\SUB"), kKeyRead));
    {
        std::unique_ptr<IRegKey> k = s.reg().openKey(kHkeyCurrentUser, key + L"\\Sub", kKeyAllAccess);
        REQUIRE(k);
        CHECK(k->setValue(L"NUMBER", sz(L"")));
        CHECK(k->queryValue(L"number") == sz(L""));
        CHECK(k->enumValueName(0) == std::optional<std::wstring>(L"Number"));
        CHECK_FALSE(k->enumValueName(1));
        CHECK_FALSE(k->deleteValue(L"Missing"));
        CHECK(k->deleteValue(L"nUmBeR"));
        CHECK_FALSE(k->valueType(L"Number"));
    }
    std::unique_ptr<IRegKey> parent = s.reg().openKey(kHkeyCurrentUser, key, kKeyRead);
    REQUIRE(parent);
    CHECK(parent->enumSubkey(0, 64) == std::optional<std::wstring>(L"Sub"));
    CHECK_FALSE(parent->enumSubkey(0, 3));  // no room for the name and its null
    CHECK_FALSE(parent->enumSubkey(1, 64));
    CHECK_FALSE(parent->setValue(L"x", dword(1)));  // opened for reading only
}

TEST_CASE("Backend: key information, creation over an existing key, deletion") {
    Sandbox s;
    const std::wstring key = s.path(L"Info");
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"A", dword(1));
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"", sz(L"default"));
    for (const wchar_t* name : {L"Short", L"Much longer name", L"Mid\\Deeper"})
        REQUIRE(s.reg().createKey(kHkeyCurrentUser, key + L"\\" + name, kKeyWrite));
    {
        std::unique_ptr<IRegKey> k = s.reg().openKey(kHkeyCurrentUser, key, kKeyRead);
        REQUIRE(k);
        const std::optional<RegKeyInfo> info = k->queryInfo();
        REQUIRE(info);
        CHECK(info->subkeyCount == 3);
        CHECK(info->maxSubkeyNameLength == 16);
        CHECK(info->valueCount == 2);
    }
    // Creating a key that exists opens it, values kept.
    REQUIRE(s.reg().createKey(kHkeyCurrentUser, s.path(L"INFO"), kKeyWrite));
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, key, L"A") == dword(1));

    CHECK_FALSE(s.reg().deleteKey(kHkeyCurrentUser, key + L"\\Mid"));  // it has a subkey
    CHECK(s.reg().deleteKey(kHkeyCurrentUser, key + L"\\mid\\deeper"));
    CHECK(s.reg().deleteKey(kHkeyCurrentUser, key + L"\\Mid"));
    CHECK_FALSE(s.reg().openKey(kHkeyCurrentUser, key + L"\\Mid", kKeyRead));
    CHECK_FALSE(s.reg().deleteKey(kHkeyCurrentUser, key + L"\\Mid"));
    CHECK_FALSE(s.reg().openKey(0, key, kKeyRead));
}

TEST_CASE("ReadIntOrDefault by data type and text") {
    struct Case {
        const char* what;
        RegValue value;
        int expected;
    };
    const int d = -7;
    const Case cases[] = {
        {"text 1", sz(L"1"), 1},
        {"text abc", sz(L"abc"), d},
        {"empty text", sz(L""), d},
        {"leading blanks and minus", sz(L"  -12"), -12},
        {"plus sign", sz(L"+5"), 5},
        {"dollar hex after a blank", sz(L" $1F"), 31},
        {"x hex", sz(L"x1f"), 31},
        {"X hex", sz(L"X10"), 16},
        {"0x hex", sz(L"0x10"), 16},
        {"0X hex", sz(L"0X10"), 16},
        {"negative hex", sz(L"-$10"), -16},
        {"prefix without digits", sz(L"0x"), d},
        {"trailing blank", sz(L"12 "), d},
        {"blank after sign", sz(L"- 1"), d},
        {"tab before digits", sz(L"\t1"), d},
        {"beyond 32 bits keeps the low bits", sz(L"4294967301"), 5},
        {"largest 64-bit number", sz(L"9223372036854775807"), -1},
        {"smallest 64-bit number", sz(L"-9223372036854775808"), 0},
        {"decimal beyond 64 bits", sz(L"9223372036854775808"), d},
        {"hex using all 64 bits", sz(L"$FFFFFFFFFFFFFFFF"), -1},
        {"hex beyond 64 bits", sz(L"$10000000000000000"), d},
        {"text without terminating null", bytes(kRegSz, utf16(L"7", false)), 7},
        {"expandable text is not expanded", bytes(kRegExpandSz, utf16(L"%X%")), d},
        {"expandable text number", bytes(kRegExpandSz, utf16(L"42")), 42},
        {"dword", dword(0xFFFFFFFE), -2},
        {"qword 2^32+5", bytes(kRegQword, {5, 0, 0, 0, 1, 0, 0, 0}), 5},
        {"short binary", bytes(kRegBinary, {0x34, 0x12}), 0x1234},
        {"binary of 8 bytes", bytes(kRegBinary, {1, 0, 0, 0, 0, 0, 0, 0x80}), 1},
        {"binary of 9 bytes", bytes(kRegBinary, std::vector<std::uint8_t>(9, 1)), d},
        {"binary of 16 bytes", bytes(kRegBinary, std::vector<std::uint8_t>(16, 1)), d},
        {"multi-string", bytes(kRegMultiSz, {'1', 0, 0, 0, 0, 0}), d},
        {"big-endian dword", bytes(kRegDwordBigEndian, {0, 0, 0, 1}), d},
        {"none type", bytes(kRegNone, {1}), d},
    };
    Sandbox s;
    const std::wstring key = s.path(L"Read");
    for (const Case& c : cases) {
        CAPTURE(c.what);
        regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"V", c.value);
        CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"V", d) == c.expected);
    }
}

TEST_CASE("ReadIntOrDefault and ReadFlagOrDefault give the default for what is not there") {
    Sandbox s;
    const std::wstring key = s.path(L"Read");
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"One", sz(L"1"));
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"Zero", dword(0));
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"Missing", 9) == 9);
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, s.path(L"Nowhere"), L"One", 9) == 9);
    CHECK(ReadIntOrDefault(0, key, L"One", 9) == 9);
    CHECK(ReadFlagOrDefault(kHkeyCurrentUser, key, L"One", false));
    CHECK_FALSE(ReadFlagOrDefault(kHkeyCurrentUser, key, L"Zero", true));
    CHECK(ReadFlagOrDefault(kHkeyCurrentUser, key, L"Missing", true));
    CHECK_FALSE(ReadFlagOrDefault(kHkeyCurrentUser, key, L"Missing", false));
}

TEST_CASE("ReadStrOrDefault by data type") {
    struct Case {
        const char* what;
        RegValue value;
        std::wstring expected;
    };
    const std::wstring d = L"dflt";
    const Case cases[] = {
        {"text", sz(L"abc"), L"abc"},
        {"empty text", sz(L""), L""},
        {"no data at all", bytes(kRegSz, {}), L""},
        {"expandable text stays unexpanded", bytes(kRegExpandSz, utf16(L"%SystemRoot%")), L"%SystemRoot%"},
        {"binary as UTF-16", bytes(kRegBinary, utf16(L"hi")), L"hi"},
        {"text without terminating null keeps its last character", bytes(kRegSz, utf16(L"Yes", false)), L"Yes"},
        {"text ends at its first null", bytes(kRegSz, utf16(std::wstring(L"ab\0cd", 5))), L"ab"},
        {"text of two nulls reads empty", bytes(kRegSz, {0, 0, 0, 0}), L""},
        {"non-ASCII text", sz(L"Gr\u00FC\u00DFe \u20AC"), L"Gr\u00FC\u00DFe \u20AC"},
        {"dword", dword(1), d},
        {"qword", bytes(kRegQword, {5, 0, 0, 0, 1, 0, 0, 0}), d},
        {"multi-string", bytes(kRegMultiSz, utf16(L"a")), d},
    };
    Sandbox s;
    const std::wstring key = s.path(L"Read");
    for (const Case& c : cases) {
        CAPTURE(c.what);
        regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"V", c.value);
        CHECK(ReadStrOrDefault(kHkeyCurrentUser, key, L"V", d) == c.expected);
    }
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, key, L"Missing", d) == d);
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, s.path(L"Nowhere"), L"V", d) == d);
}

TEST_CASE("Presence tests: names without regard to case, the default value, any data type") {
    Sandbox s;
    const std::wstring key = s.path(L"Test");
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"NoRun", bytes(kRegMultiSz, {0, 0}));
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"", sz(L"default"));
    CHECK(KeyPresent(kHkeyCurrentUser, key));
    std::wstring otherCase = key;
    for (wchar_t& c : otherCase) c = (c % 2) ? std::towupper(c) : std::towlower(c);
    CHECK(KeyPresent(kHkeyCurrentUser, otherCase));
    CHECK(ValuePresent(kHkeyCurrentUser, key, L"norun"));
    CHECK(ValuePresent(kHkeyCurrentUser, key, L""));
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, key, L"", L"") == L"default");
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, key, L"NoRunX"));
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, s.path(L"Nowhere"), L"NoRun"));
    CHECK_FALSE(KeyPresent(kHkeyLocalMachine, key));
}

TEST_CASE("Writes store the exact data and create missing keys") {
    Sandbox s;
    const std::wstring deep = s.path(L"A\\B\\C");
    WriteStringValue(kHkeyCurrentUser, deep, L"Text", L"abc");
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, deep, L"Text") ==
          RegValue{kRegSz, {'a', 0, 'b', 0, 'c', 0, 0, 0}});
    WriteStringValue(kHkeyCurrentUser, deep, L"Wide", L"Gr\u00FC\u00DFe");
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, deep, L"Wide") == sz(L"Gr\u00FC\u00DFe"));

    WriteDwordValue(kHkeyCurrentUser, deep, L"Number", -2);
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, deep, L"Number") ==
          RegValue{kRegDword, {0xFE, 0xFF, 0xFF, 0xFF}});

    WriteFlagValue(kHkeyCurrentUser, deep, L"FlagText", kRegSz, true);
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, deep, L"FlagText") == RegValue{kRegSz, {'1', 0, 0, 0}});
    WriteFlagValue(kHkeyCurrentUser, deep, L"FlagText", kRegSz, false);
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, deep, L"FlagText") == RegValue{kRegSz, {'0', 0, 0, 0}});
    WriteFlagValue(kHkeyCurrentUser, deep, L"FlagNumber", kRegDword, true);
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, deep, L"FlagNumber") == dword(1));

    // A value of another type is replaced.
    WriteStringValue(kHkeyCurrentUser, deep, L"NUMBER", L"");
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, deep, L"Number") == RegValue{kRegSz, {0, 0}});
    WriteDwordValue(kHkeyCurrentUser, deep, L"FlagText", 7);
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, deep, L"FlagText") == dword(7));

    WriteStringValue(kHkeyCurrentUser, deep, L"", L"x");
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, deep, L"", L"") == L"x");

    // HKEY_LOCAL_MACHINE as well.
    WriteDwordValue(kHkeyLocalMachine, s.path(L"Machine"), L"M", 3);
    CHECK(regtest::getRaw(s.reg(), kHkeyLocalMachine, s.path(L"Machine"), L"M") == dword(3));
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, s.path(L"Machine"), L"M"));
}

TEST_CASE("A write that cannot open its key names the root and the key as passed") {
    CHECK(messageOf([] { WriteDwordValue(0, L"Any\\Key", L"V", 1); }) ==
          L"Unable to open key \"$00000000\\Any\\Key\" for write");
    CHECK(messageOf([] { WriteStringValue(0x80000010, L"Any", L"V", L"a"); }) ==
          L"Unable to open key \"$80000010\\Any\" for write");
}

TEST_CASE("RemoveValue deletes a value and raises for a missing one or a missing key") {
    Sandbox s;
    const std::wstring key = s.path(L"Control Panel\\don't load");
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"desk.cpl", sz(L"Yes"));
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"main.cpl", sz(L"Yes"));
    CHECK(RemoveValue(kHkeyCurrentUser, key, L"DESK.CPL"));
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, key, L"desk.cpl"));
    CHECK(ValuePresent(kHkeyCurrentUser, key, L"main.cpl"));

    CHECK(messageOf([&] { RemoveValue(kHkeyCurrentUser, key, L"desk.cpl"); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\" + key + L"\" and access value \"desk.cpl\"");
    CHECK(messageOf([&] { RemoveValue(kHkeyCurrentUser, s.path(L"Missing"), L"x"); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\" + s.path(L"Missing") + L"\" for write");
}

TEST_CASE("ListSubkeyNames lists direct subkeys sorted without regard to case") {
    Sandbox s;
    const std::wstring key = s.path(L"List");
    for (const wchar_t* name : {L"b", L"A", L"c\\deeper", L"B2"})
        REQUIRE(s.reg().createKey(kHkeyCurrentUser, key + L"\\" + name, kKeyWrite));
    std::vector<std::wstring> list{L"stale"};
    CHECK(ListSubkeyNames(kHkeyCurrentUser, key, list));
    CHECK(list == std::vector<std::wstring>{L"A", L"b", L"B2", L"c"});

    CHECK(ListSubkeyNames(kHkeyCurrentUser, key + L"\\A", list));
    CHECK(list.empty());

    list = {L"stale"};
    CHECK(messageOf([&] { ListSubkeyNames(kHkeyCurrentUser, s.path(L"Missing"), list); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\" + s.path(L"Missing") + L"\" for read");
    CHECK(list.empty());
}

TEST_CASE("ExpandOfficeKey") {
    const std::wstring marked = L"[OfficeAllVersions]\\Common\\General";
    Sandbox s;

    SUBCASE("a path without the marker is left alone, even without Office") {
        std::wstring path = L"Software\\[Identity]\\{Unique Identity}";
        CHECK(ExpandOfficeKey(path));
        CHECK(path == L"Software\\[Identity]\\{Unique Identity}");
    }
    SUBCASE("the marker's search is case-sensitive") {
        std::wstring path = L"[officeallversions]\\Common";
        CHECK(ExpandOfficeKey(path));
        CHECK(path == L"[officeallversions]\\Common");
    }
    SUBCASE("no Office key: false and the path unchanged") {
        OfficeScope office;
        std::wstring path = marked;
        CHECK_FALSE(ExpandOfficeKey(path));
        CHECK(path == marked);
    }
    SUBCASE("an Office key without versions: false and the marker gone") {
        OfficeScope office;
        REQUIRE(s.reg().createKey(kHkeyCurrentUser, kOffice, kKeyWrite));
        std::wstring path = marked;
        CHECK_FALSE(ExpandOfficeKey(path));
        CHECK(path == L"\\Common\\General");
    }
    SUBCASE("the first listed version wins, whatever lies below it") {
        OfficeScope office;
        REQUIRE(s.reg().createKey(kHkeyCurrentUser, kOffice + L"\\11.0\\Common\\General", kKeyWrite));
        REQUIRE(s.reg().createKey(kHkeyCurrentUser, kOffice + L"\\10.0", kKeyWrite));
        std::wstring path = marked;
        CHECK(ExpandOfficeKey(path));
        CHECK(path == L"Software\\Microsoft\\Office\\10.0\\Common\\General");
        // Only the first occurrence of the marker is replaced.
        path = L"Before[OfficeAllVersions]\\X[OfficeAllVersions]";
        CHECK(ExpandOfficeKey(path));
        CHECK(path == L"Software\\Microsoft\\Office\\10.0\\X[OfficeAllVersions]");
    }
    SUBCASE("the expansion always looks under the current user") {
        OfficeScope userOffice;
        OfficeScope machineOffice(kHkeyLocalMachine);
        REQUIRE(s.reg().createKey(kHkeyLocalMachine, kOffice + L"\\12.0", kKeyWrite));
        std::wstring path = marked;
        CHECK_FALSE(ExpandOfficeKey(path));
        CHECK(path == marked);
    }
}

TEST_CASE("RenameKey moves a whole tree") {
    Sandbox s;
    const std::wstring from = s.path(L"CLSID\\{ID}");
    const std::wstring to = s.path(L"CLSID\\-{ID}");
    IRegistry& reg = s.reg();
    regtest::setRaw(reg, kHkeyCurrentUser, from, L"", sz(L"Menu bars"));
    regtest::setRaw(reg, kHkeyCurrentUser, from, L"Flags", bytes(kRegBinary, {1, 2, 3}));
    regtest::setRaw(reg, kHkeyCurrentUser, from + L"\\InprocServer32", L"ThreadingModel", sz(L"Apartment"));
    regtest::setRaw(reg, kHkeyCurrentUser, from + L"\\InprocServer32\\Deep", L"N",
                    bytes(kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}));
    REQUIRE(reg.createKey(kHkeyCurrentUser, from + L"\\Empty", kKeyWrite));

    SUBCASE("values with their types and all subkeys") {
        RenameKey(kHkeyCurrentUser, from, to);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, from));
        CHECK(regtest::getRaw(reg, kHkeyCurrentUser, to, L"") == sz(L"Menu bars"));
        CHECK(regtest::getRaw(reg, kHkeyCurrentUser, to, L"Flags") == RegValue{kRegBinary, {1, 2, 3}});
        CHECK(regtest::getRaw(reg, kHkeyCurrentUser, to + L"\\InprocServer32", L"ThreadingModel") ==
              sz(L"Apartment"));
        CHECK(regtest::getRaw(reg, kHkeyCurrentUser, to + L"\\InprocServer32\\Deep", L"N") ==
              bytes(kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}));
        CHECK(KeyPresent(kHkeyCurrentUser, to + L"\\Empty"));

        // And back again.
        RenameKey(kHkeyCurrentUser, to, from);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, to));
        CHECK(regtest::getRaw(reg, kHkeyCurrentUser, from + L"\\InprocServer32\\Deep", L"N") ==
              bytes(kRegQword, {1, 2, 3, 4, 5, 6, 7, 8}));
    }
    SUBCASE("nothing when the target exists") {
        regtest::setRaw(reg, kHkeyCurrentUser, to, L"Old", dword(1));
        RenameKey(kHkeyCurrentUser, from, to);
        CHECK(ValuePresent(kHkeyCurrentUser, from, L"Flags"));
        CHECK(ValuePresent(kHkeyCurrentUser, from + L"\\InprocServer32", L"ThreadingModel"));
        CHECK_FALSE(ValuePresent(kHkeyCurrentUser, to, L"Flags"));
        CHECK(regtest::getRaw(reg, kHkeyCurrentUser, to, L"Old") == dword(1));
    }
    SUBCASE("nothing when the source is missing") {
        RenameKey(kHkeyCurrentUser, s.path(L"CLSID\\{Other}"), s.path(L"CLSID\\-{Other}"));
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, s.path(L"CLSID\\-{Other}")));
    }
    SUBCASE("never into its own subtree") {
        RenameKey(kHkeyCurrentUser, from, from + L"\\Inner");
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, from + L"\\Inner"));
        CHECK(ValuePresent(kHkeyCurrentUser, from, L"Flags"));
    }
}

TEST_CASE("Through one save's key cache the engine sees each change it makes, as without it") {
    Sandbox s;
    const std::wstring key = s.path(L"Cached");
    const std::wstring from = s.path(L"CLSID\\{ID}");
    const std::wstring to = s.path(L"CLSID\\-{ID}");
    regtest::setRaw(s.reg(), kHkeyCurrentUser, from, L"", sz(L"Class"));
    {
        ScopedKeyCache cache;
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, key));
        WriteDwordValue(kHkeyCurrentUser, key, L"A", 1);
        WriteStringValue(kHkeyCurrentUser, key, L"B", L"text");
        CHECK(ReadValue(kHkeyCurrentUser, key, L"A") == dword(1));
        CHECK(RemoveValue(kHkeyCurrentUser, key, L"A"));
        CHECK_FALSE(ValuePresent(kHkeyCurrentUser, key, L"A"));

        // Moved away and back: a deleted key's handle is dead, the one created in its place
        // is opened anew.
        CHECK(KeyPresent(kHkeyCurrentUser, from));
        RenameKey(kHkeyCurrentUser, from, to);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, from));
        CHECK(ReadStrOrDefault(kHkeyCurrentUser, to, L"", L"") == L"Class");
        RenameKey(kHkeyCurrentUser, to, from);
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, to));
        WriteDwordValue(kHkeyCurrentUser, from, L"Written", 2);
    }
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, key, L"B") == sz(L"text"));
    CHECK_FALSE(regtest::getRaw(s.reg(), kHkeyCurrentUser, key, L"A"));
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, from, L"") == sz(L"Class"));
    CHECK(regtest::getRaw(s.reg(), kHkeyCurrentUser, from, L"Written") == dword(2));
}

}  // namespace contract
