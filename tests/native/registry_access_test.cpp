#include <doctest/doctest.h>

#include <functional>

#include "registry/memory_registry.h"
#include "registry/regaccess.h"
#include "tests/native/registry_fixture.h"

using namespace regtest;

namespace {

const std::wstring kKey = L"Software\\Test";

struct RegistryScope {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    ~RegistryScope() { CHECK(reg.openKeyCount() == 0); }
};

std::wstring messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const EJclRegistryError& e) {
        return e.message();
    }
    return L"(nothing raised)";
}

RegValue bytes(RegType type, std::vector<std::uint8_t> data) { return {type, std::move(data)}; }

}  // namespace

TEST_CASE("RootKeyByName matches the seven names exactly and names roots in messages") {
    const std::pair<const wchar_t*, RegRoot> table[] = {
        {L"HKEY_CLASSES_ROOT", 0x80000000},  {L"HKEY_CURRENT_USER", 0x80000001},
        {L"HKEY_LOCAL_MACHINE", 0x80000002}, {L"HKEY_USERS", 0x80000003},
        {L"HKEY_PERFORMANCE_DATA", 0x80000004}, {L"HKEY_CURRENT_CONFIG", 0x80000005},
        {L"HKEY_DYN_DATA", 0x80000006},
    };
    for (const auto& [name, root] : table) {
        CHECK(RootKeyByName(name) == root);
        CHECK(RootKeyName(root) == name);
    }
    CHECK(RootKeyByName(L"hkey_current_user") == 0);
    CHECK(RootKeyByName(L"HKEY_CURRENT_USER ") == 0);
    CHECK(RootKeyByName(L"") == 0);
    CHECK(RootKeyName(0x1234abcd) == L"$1234abcd");
    CHECK(RootKeyName(0) == L"$00000000");
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
        {"dollar hex", sz(L"$1F"), 31},
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
        {"binary of 16 bytes", bytes(kRegBinary, std::vector<std::uint8_t>(16, 0)), d},
        {"multi-string", bytes(kRegMultiSz, {'1', 0, 0, 0, 0, 0}), d},
        {"big-endian dword", bytes(kRegDwordBigEndian, {0, 0, 0, 1}), d},
        {"none type", bytes(kRegNone, {1}), d},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        RegistryScope r;
        setRaw(r.reg, kHkeyCurrentUser, kKey, L"V", c.value);
        CHECK(ReadIntOrDefault(kHkeyCurrentUser, kKey, L"V", d) == c.expected);
    }
}

TEST_CASE("ReadIntOrDefault and ReadFlagOrDefault give the default for what cannot be read") {
    RegistryScope r;
    setRaw(r.reg, kHkeyCurrentUser, kKey, L"One", sz(L"1"));
    setRaw(r.reg, kHkeyCurrentUser, kKey, L"Zero", dword(0));
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, kKey, L"Missing", 9) == 9);
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, L"Software\\Nowhere", L"One", 9) == 9);
    CHECK(ReadIntOrDefault(0, kKey, L"One", 9) == 9);
    CHECK(ReadFlagOrDefault(kHkeyCurrentUser, kKey, L"One", false));
    CHECK_FALSE(ReadFlagOrDefault(kHkeyCurrentUser, kKey, L"Zero", true));
    CHECK(ReadFlagOrDefault(kHkeyCurrentUser, kKey, L"Missing", true));
    CHECK_FALSE(ReadFlagOrDefault(kHkeyCurrentUser, kKey, L"Missing", false));

    r.reg.denyAccess(kHkeyCurrentUser, kKey, kKeyQueryValue);
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, kKey, L"One", 9) == 9);
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, kKey));
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, kKey, L"One"));
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
        {"expandable text stays unexpanded", bytes(kRegExpandSz, utf16(L"%PATH%")), L"%PATH%"},
        {"binary as UTF-16", bytes(kRegBinary, utf16(L"hi")), L"hi"},
        {"text without terminating null keeps its last character", bytes(kRegSz, utf16(L"Yes", false)), L"Yes"},
        {"non-ASCII text", sz(L"Gr\u00FC\u00DFe \u20AC"), L"Gr\u00FC\u00DFe \u20AC"},
        {"dword", dword(1), d},
        {"multi-string", bytes(kRegMultiSz, utf16(L"a")), d},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        RegistryScope r;
        setRaw(r.reg, kHkeyCurrentUser, kKey, L"V", c.value);
        CHECK(ReadStrOrDefault(kHkeyCurrentUser, kKey, L"V", d) == c.expected);
    }
    RegistryScope r;
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, kKey, L"V", d) == d);
}

TEST_CASE("Presence tests: names without regard to case, the default value, any data type") {
    RegistryScope r;
    setRaw(r.reg, kHkeyCurrentUser, kKey, L"NoRun", bytes(kRegMultiSz, {0, 0}));
    setRaw(r.reg, kHkeyCurrentUser, kKey, L"", sz(L"default"));
    CHECK(KeyPresent(kHkeyCurrentUser, L"SOFTWARE\\test"));
    CHECK(ValuePresent(kHkeyCurrentUser, kKey, L"norun"));
    CHECK(ValuePresent(kHkeyCurrentUser, kKey, L""));
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, kKey, L"", L"") == L"default");
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, kKey, L"NoRunX"));
    CHECK_FALSE(KeyPresent(kHkeyLocalMachine, kKey));
}

TEST_CASE("Writes store the exact data and create missing keys") {
    RegistryScope r;
    const std::wstring deep = L"Software\\A\\B\\C";
    WriteStringValue(kHkeyCurrentUser, deep, L"Text", L"abc");
    CHECK(getRaw(r.reg, kHkeyCurrentUser, deep, L"Text") == RegValue{kRegSz, {'a', 0, 'b', 0, 'c', 0, 0, 0}});

    WriteDwordValue(kHkeyCurrentUser, deep, L"Number", -2);
    CHECK(getRaw(r.reg, kHkeyCurrentUser, deep, L"Number") == RegValue{kRegDword, {0xFE, 0xFF, 0xFF, 0xFF}});

    WriteFlagValue(kHkeyCurrentUser, deep, L"FlagText", kRegSz, true);
    CHECK(getRaw(r.reg, kHkeyCurrentUser, deep, L"FlagText") == RegValue{kRegSz, {'1', 0, 0, 0}});
    WriteFlagValue(kHkeyCurrentUser, deep, L"FlagNumber", kRegDword, false);
    CHECK(getRaw(r.reg, kHkeyCurrentUser, deep, L"FlagNumber") == dword(0));

    // A value of another type is replaced, and its name keeps its first spelling.
    WriteStringValue(kHkeyCurrentUser, deep, L"NUMBER", L"");
    CHECK(getRaw(r.reg, kHkeyCurrentUser, deep, L"Number") == RegValue{kRegSz, {0, 0}});

    WriteStringValue(kHkeyCurrentUser, deep, L"", L"x");
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, deep, L"", L"") == L"x");
}

TEST_CASE("Write errors name the root and the key as passed") {
    RegistryScope r;
    r.reg.denyAccess(kHkeyLocalMachine, L"SYSTEM", kKeyWrite);
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\EventLog";
    const std::wstring expected =
        L"Unable to open key \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\" for write";
    CHECK(messageOf([&] { WriteDwordValue(kHkeyLocalMachine, path, L"V", 1); }) == expected);
    CHECK(messageOf([&] { WriteStringValue(kHkeyLocalMachine, path, L"V", L"a"); }) == expected);
    CHECK(messageOf([&] { WriteFlagValue(kHkeyLocalMachine, path, L"V", kRegSz, true); }) == expected);
    CHECK_FALSE(KeyPresent(kHkeyLocalMachine, path));

    // An existing key that may be read but not written.
    setRaw(r.reg, kHkeyCurrentUser, kKey, L"V", dword(5));
    r.reg.denyAccess(kHkeyCurrentUser, kKey, kKeySetValue);
    CHECK(messageOf([&] { WriteDwordValue(kHkeyCurrentUser, kKey, L"V", 1); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Software\\Test\" for write");
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, kKey, L"V", 0) == 5);

    CHECK(messageOf([&] { WriteDwordValue(0, L"Any", L"V", 1); }) ==
          L"Unable to open key \"$00000000\\Any\" for write");
}

TEST_CASE("RemoveValue deletes a value and raises for a missing one or a closed key") {
    RegistryScope r;
    const std::wstring key = L"Control Panel\\don't load";
    setRaw(r.reg, kHkeyCurrentUser, key, L"desk.cpl", sz(L"Yes"));
    CHECK(RemoveValue(kHkeyCurrentUser, key, L"DESK.CPL"));
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, key, L"desk.cpl"));

    CHECK(messageOf([&] { RemoveValue(kHkeyCurrentUser, key, L"desk.cpl"); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Control Panel\\don't load\" and access value \"desk.cpl\"");
    CHECK(messageOf([&] { RemoveValue(kHkeyCurrentUser, L"Control Panel\\Missing", L"x"); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Control Panel\\Missing\" for write");

    setRaw(r.reg, kHkeyCurrentUser, key, L"main.cpl", sz(L"Yes"));
    r.reg.denyAccess(kHkeyCurrentUser, key, kKeySetValue);
    CHECK(messageOf([&] { RemoveValue(kHkeyCurrentUser, key, L"main.cpl"); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Control Panel\\don't load\" for write");
    CHECK(ValuePresent(kHkeyCurrentUser, key, L"main.cpl"));
}

TEST_CASE("ListSubkeyNames lists direct subkeys sorted without regard to case") {
    RegistryScope r;
    for (const wchar_t* name : {L"b", L"A", L"c\\deeper", L"B2"}) r.reg.createKey(kHkeyCurrentUser, kKey + L"\\" + name, kKeyWrite);
    std::vector<std::wstring> list{L"stale"};
    CHECK(ListSubkeyNames(kHkeyCurrentUser, kKey, list));
    CHECK(list == std::vector<std::wstring>{L"A", L"b", L"B2", L"c"});

    CHECK(messageOf([&] { ListSubkeyNames(kHkeyCurrentUser, L"Software\\Missing", list); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Software\\Missing\" for read");
    CHECK(list.empty());
}

TEST_CASE("ExpandOfficeKey") {
    const std::wstring marked = L"[OfficeAllVersions]\\Common\\General";
    const std::wstring office = L"Software\\Microsoft\\Office";

    SUBCASE("a path without the marker is left alone, even without Office") {
        RegistryScope r;
        std::wstring path = L"Software\\[Identity]\\{Unique Identity}";
        CHECK(ExpandOfficeKey(path));
        CHECK(path == L"Software\\[Identity]\\{Unique Identity}");
    }
    SUBCASE("the marker's search is case-sensitive") {
        RegistryScope r;
        std::wstring path = L"[officeallversions]\\Common";
        CHECK(ExpandOfficeKey(path));
        CHECK(path == L"[officeallversions]\\Common");
    }
    SUBCASE("no Office key: false and the path unchanged") {
        RegistryScope r;
        std::wstring path = marked;
        CHECK_FALSE(ExpandOfficeKey(path));
        CHECK(path == marked);
    }
    SUBCASE("an Office key without versions: false and the marker gone") {
        RegistryScope r;
        r.reg.createKey(kHkeyCurrentUser, office, kKeyWrite);
        std::wstring path = marked;
        CHECK_FALSE(ExpandOfficeKey(path));
        CHECK(path == L"\\Common\\General");
    }
    SUBCASE("the first listed version wins, whatever lies below it") {
        RegistryScope r;
        r.reg.createKey(kHkeyCurrentUser, office + L"\\11.0\\Common\\General", kKeyWrite);
        r.reg.createKey(kHkeyCurrentUser, office + L"\\10.0", kKeyWrite);
        std::wstring path = marked;
        CHECK(ExpandOfficeKey(path));
        CHECK(path == L"Software\\Microsoft\\Office\\10.0\\Common\\General");
    }
    SUBCASE("the expansion always looks under the current user") {
        RegistryScope r;
        r.reg.createKey(kHkeyLocalMachine, office + L"\\12.0", kKeyWrite);
        std::wstring path = marked;
        CHECK_FALSE(ExpandOfficeKey(path));
    }
}

TEST_CASE("RenameKey moves a whole tree") {
    const std::wstring from = L"CLSID\\{ID}";
    const std::wstring to = L"CLSID\\-{ID}";
    RegistryScope r;
    setRaw(r.reg, kHkeyClassesRoot, from, L"", sz(L"Menu bars"));
    setRaw(r.reg, kHkeyClassesRoot, from, L"Flags", bytes(kRegBinary, {1, 2, 3}));
    setRaw(r.reg, kHkeyClassesRoot, from + L"\\InprocServer32", L"ThreadingModel", sz(L"Apartment"));
    setRaw(r.reg, kHkeyClassesRoot, from + L"\\InprocServer32\\Deep", L"N", dword(7));
    r.reg.createKey(kHkeyClassesRoot, from + L"\\Empty", kKeyWrite);

    SUBCASE("values with their types and all subkeys") {
        RenameKey(kHkeyClassesRoot, from, to);
        CHECK_FALSE(KeyPresent(kHkeyClassesRoot, from));
        CHECK(getRaw(r.reg, kHkeyClassesRoot, to, L"") == sz(L"Menu bars"));
        CHECK(getRaw(r.reg, kHkeyClassesRoot, to, L"Flags") == RegValue{kRegBinary, {1, 2, 3}});
        CHECK(getRaw(r.reg, kHkeyClassesRoot, to + L"\\InprocServer32", L"ThreadingModel") == sz(L"Apartment"));
        CHECK(getRaw(r.reg, kHkeyClassesRoot, to + L"\\InprocServer32\\Deep", L"N") == dword(7));
        CHECK(KeyPresent(kHkeyClassesRoot, to + L"\\Empty"));
    }
    SUBCASE("nothing when the target exists") {
        setRaw(r.reg, kHkeyClassesRoot, to, L"Old", dword(1));
        RenameKey(kHkeyClassesRoot, from, to);
        CHECK(ValuePresent(kHkeyClassesRoot, from, L"Flags"));
        CHECK_FALSE(ValuePresent(kHkeyClassesRoot, to, L"Flags"));
    }
    SUBCASE("nothing when the source is missing") {
        RenameKey(kHkeyClassesRoot, L"CLSID\\{Other}", L"CLSID\\-{Other}");
        CHECK_FALSE(KeyPresent(kHkeyClassesRoot, L"CLSID\\-{Other}"));
    }
    SUBCASE("a copy that fails half-way leaves the original whole and no partial copy") {
        r.reg.denyAccess(kHkeyClassesRoot, to + L"\\InprocServer32", kKeyCreateSubKey | kKeyWrite);
        RenameKey(kHkeyClassesRoot, from, to);
        CHECK_FALSE(KeyPresent(kHkeyClassesRoot, to));
        CHECK(getRaw(r.reg, kHkeyClassesRoot, from + L"\\InprocServer32\\Deep", L"N") == dword(7));
        CHECK(ValuePresent(kHkeyClassesRoot, from, L"Flags"));
    }
    SUBCASE("never into its own subtree") {
        RenameKey(kHkeyClassesRoot, from, from + L"\\Inner");
        CHECK_FALSE(KeyPresent(kHkeyClassesRoot, from + L"\\Inner"));
        CHECK(ValuePresent(kHkeyClassesRoot, from, L"Flags"));
    }
}

TEST_CASE("The in-memory registry keeps the registry's rules") {
    MemoryRegistry reg;
    reg.createKey(kHkeyCurrentUser, L"Software\\MixedCase\\Sub", kKeyWrite);
    CHECK(reg.openKey(kHkeyCurrentUser, L"software\\MIXEDCASE", kKeyRead));
    {
        auto key = reg.openKey(kHkeyCurrentUser, L"SOFTWARE", kKeyRead);
        REQUIRE(key);
        CHECK(key->enumSubkey(0, 64) == std::optional<std::wstring>(L"MixedCase"));
        CHECK_FALSE(key->enumSubkey(0, 9));  // a buffer too small for the name and its null
        CHECK_FALSE(key->setValue(L"x", dword(1)));  // opened for reading only
    }
    CHECK_FALSE(reg.deleteKey(kHkeyCurrentUser, L"Software\\MixedCase"));
    CHECK(reg.deleteKey(kHkeyCurrentUser, L"Software\\MixedCase\\SUB"));
    CHECK(reg.deleteKey(kHkeyCurrentUser, L"Software\\MixedCase"));
    CHECK_FALSE(reg.openKey(kHkeyCurrentUser, L"Software\\MixedCase", kKeyRead));
    CHECK_FALSE(reg.openKey(0x80000010, L"", kKeyRead));

    reg.denyAccess(kHkeyLocalMachine, L"Software", kKeyWrite);
    CHECK_FALSE(reg.createKey(kHkeyLocalMachine, L"Software\\New", kKeyWrite));
    CHECK(reg.openKey(kHkeyLocalMachine, L"", kKeyRead));
    CHECK(reg.openKeyCount() == 0);
}
