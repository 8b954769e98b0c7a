// Another user's hive: the engine's whole contract again with HKEY_CURRENT_USER mapped below
// HKEY_USERS (and never reaching the running user's own), then what the view itself does.
#define QM_CONTRACT_IN_USER_HIVE
#include "tests/contract/registry_access_contract.cpp"
#include "tests/contract/applytweak_contract.cpp"
#include "tests/contract/tweakstate_contract.cpp"

using regtest::dword;
using regtest::getRaw;
using regtest::setRaw;

TEST_CASE("the view moves HKEY_CURRENT_USER below HKEY_USERS and passes every other root through") {
    MemoryRegistry reg;
    const std::wstring user = L"S-1-5-21-9-9-9-1001";
    UserHiveRegistry view(reg, user);
    const std::wstring key = L"Software\\Policies\\Test";
    setRaw(reg, kHkeyUsers, user + L"\\" + key, L"V", dword(1));
    setRaw(reg, kHkeyCurrentUser, key, L"V", dword(2));
    setRaw(reg, kHkeyLocalMachine, key, L"V", dword(3));
    setRaw(reg, kHkeyClassesRoot, key, L"V", dword(4));

    const std::pair<RegRoot, std::uint32_t> reads[] = {
        {kHkeyCurrentUser, 1}, {kHkeyLocalMachine, 3}, {kHkeyClassesRoot, 4}};
    for (const auto& [root, expected] : reads) {
        CAPTURE(root);
        CHECK(getRaw(view, root, key, L"V") == dword(expected));
    }
    CHECK(getRaw(view, kHkeyUsers, user + L"\\" + key, L"V") == dword(1));

    REQUIRE(view.createKey(kHkeyCurrentUser, L"Software\\New\\Deep", kKeyWrite));
    CHECK(reg.openKey(kHkeyUsers, user + L"\\Software\\New\\Deep", kKeyRead));
    CHECK_FALSE(reg.openKey(kHkeyCurrentUser, L"Software\\New", kKeyRead));
    CHECK(view.deleteKey(kHkeyCurrentUser, L"Software\\New\\Deep"));
    CHECK_FALSE(reg.openKey(kHkeyUsers, user + L"\\Software\\New\\Deep", kKeyRead));

    // The hive's own root is no key of a tweak: a path that ends up empty never deletes it.
    REQUIRE(reg.createKey(kHkeyUsers, L"S-1-5-21-9-9-9-1002", kKeyWrite));
    UserHiveRegistry empty(reg, L"S-1-5-21-9-9-9-1002");
    CHECK_FALSE(empty.deleteKey(kHkeyCurrentUser, L""));
    CHECK(reg.openKey(kHkeyUsers, L"S-1-5-21-9-9-9-1002", kKeyRead));
    CHECK(reg.openKeyCount() == 0);
}
