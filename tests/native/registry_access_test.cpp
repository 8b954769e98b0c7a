// Registry access: the contract on the in-memory registry, plus what only it can show:
// denied access, and root names that need no registry at all.
#include "tests/contract/registry_access_contract.cpp"

using namespace contract;

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

TEST_CASE("Denied reads give the default and presence tests false") {
    Sandbox s;
    const std::wstring key = s.path(L"Read");
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"One", sz(L"1"));
    s.memory().denyAccess(kHkeyCurrentUser, key, kKeyQueryValue);
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"One", 9) == 9);
    CHECK(ReadStrOrDefault(kHkeyCurrentUser, key, L"One", L"d") == L"d");
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, key));
    CHECK_FALSE(ValuePresent(kHkeyCurrentUser, key, L"One"));
}

TEST_CASE("Denied writes name the root and the key as passed") {
    Sandbox s;
    s.memory().denyAccess(kHkeyLocalMachine, L"SYSTEM", kKeyWrite);
    const std::wstring path = L"SYSTEM\\CurrentControlSet\\Services\\EventLog";
    const std::wstring expected =
        L"Unable to open key \"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\" for write";
    CHECK(messageOf([&] { WriteDwordValue(kHkeyLocalMachine, path, L"V", 1); }) == expected);
    CHECK(messageOf([&] { WriteStringValue(kHkeyLocalMachine, path, L"V", L"a"); }) == expected);
    CHECK(messageOf([&] { WriteFlagValue(kHkeyLocalMachine, path, L"V", kRegSz, true); }) == expected);
    CHECK_FALSE(KeyPresent(kHkeyLocalMachine, path));

    // An existing key that may be read but not written.
    const std::wstring key = s.path(L"Test");
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"V", dword(5));
    s.memory().denyAccess(kHkeyCurrentUser, key, kKeySetValue);
    CHECK(messageOf([&] { WriteDwordValue(kHkeyCurrentUser, key, L"V", 1); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\" + key + L"\" for write");
    CHECK(ReadIntOrDefault(kHkeyCurrentUser, key, L"V", 0) == 5);
}

TEST_CASE("RemoveValue on a key that may not be changed") {
    Sandbox s;
    const std::wstring key = L"Control Panel\\don't load";
    regtest::setRaw(s.reg(), kHkeyCurrentUser, key, L"main.cpl", sz(L"Yes"));
    s.memory().denyAccess(kHkeyCurrentUser, key, kKeySetValue);
    CHECK(messageOf([&] { RemoveValue(kHkeyCurrentUser, key, L"main.cpl"); }) ==
          L"Unable to open key \"HKEY_CURRENT_USER\\Control Panel\\don't load\" for write");
    CHECK(ValuePresent(kHkeyCurrentUser, key, L"main.cpl"));
}

TEST_CASE("A rename whose copy fails half-way leaves the original whole and no partial copy") {
    Sandbox s;
    const std::wstring from = L"CLSID\\{ID}";
    const std::wstring to = L"CLSID\\-{ID}";
    regtest::setRaw(s.reg(), kHkeyClassesRoot, from, L"Flags", bytes(kRegBinary, {1, 2, 3}));
    regtest::setRaw(s.reg(), kHkeyClassesRoot, from + L"\\InprocServer32\\Deep", L"N", dword(7));
    s.memory().denyAccess(kHkeyClassesRoot, to + L"\\InprocServer32", kKeyCreateSubKey | kKeyWrite);
    RenameKey(kHkeyClassesRoot, from, to);
    CHECK_FALSE(KeyPresent(kHkeyClassesRoot, to));
    CHECK(regtest::getRaw(s.reg(), kHkeyClassesRoot, from + L"\\InprocServer32\\Deep", L"N") == dword(7));
    CHECK(ValuePresent(kHkeyClassesRoot, from, L"Flags"));
}

TEST_CASE("The in-memory registry denies by right and by subtree") {
    MemoryRegistry reg;
    REQUIRE(reg.createKey(kHkeyLocalMachine, L"Software\\Old", kKeyWrite));
    reg.denyAccess(kHkeyLocalMachine, L"Software", kKeyWrite);
    CHECK_FALSE(reg.createKey(kHkeyLocalMachine, L"Software\\New", kKeyWrite));
    CHECK_FALSE(reg.openKey(kHkeyLocalMachine, L"software\\old", kKeyWrite));
    CHECK(reg.openKey(kHkeyLocalMachine, L"Software\\Old", kKeyRead));
    CHECK(reg.openKey(kHkeyLocalMachine, L"", kKeyWrite));
    CHECK(reg.openKey(kHkeyCurrentUser, L"", kKeyWrite));
    CHECK(reg.openKeyCount() == 0);
}
