// A save opens each key once, however many of its values it reads and writes, and still
// behaves as if every operation had opened the key afresh: deleted keys read as gone,
// created keys as there, a key that refuses writes is still read.
#include <doctest/doctest.h>

#include <map>
#include <memory>

#include "app/runlists.h"
#include "app/savesequence.h"
#include "registry/keycache.h"
#include "registry/regaccess.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::getRaw;
using regtest::setRaw;
using regtest::sz;

namespace {

// Counts the handles the registry behind it hands out, and the requests it refuses, by key.
class CountingRegistry : public IRegistry {
public:
    explicit CountingRegistry(IRegistry& inner) : inner_(inner) {}
    std::unique_ptr<IRegKey> openKey(RegRoot root, const std::wstring& path, RegAccess access) override {
        asked |= access;
        return count(root, path, inner_.openKey(root, path, access));
    }
    std::unique_ptr<IRegKey> createKey(RegRoot root, const std::wstring& path, RegAccess access) override {
        return count(root, path, inner_.createKey(root, path, access));
    }
    bool deleteKey(RegRoot root, const std::wstring& path) override { return inner_.deleteKey(root, path); }

    using Counts = std::map<std::wstring, int, MemoryRegistry::NameLess>;
    Counts opened, refused;
    RegAccess asked = 0;  // every right an open asked for

private:
    std::unique_ptr<IRegKey> count(RegRoot root, const std::wstring& path, std::unique_ptr<IRegKey> key) {
        ++(key ? opened : refused)[RootKeyName(root) + L"\\" + path];
        return key;
    }
    IRegistry& inner_;
};

const std::wstring kOfficeKey = L"Software\\Microsoft\\Office";
const std::wstring kOfficeGeneral = kOfficeKey + L"\\11.0\\Common\\General";
const std::wstring kDisallowRunKey = std::wstring(RunListsKey) + L"DisallowRun";
const std::wstring kPlace = L"Software\\QuillmarkTest\\Cache";

}  // namespace

TEST_CASE("a save switching many tweaks opens each key once and writes every value") {
    App app("tests/fixtures/app/registry_change.xml");
    app.model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
    setRaw(app.reg, kHkeyCurrentUser, kOfficeGeneral, L"OfficeFlag", dword(0));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Flag", dword(0));
    setRaw(app.reg, kHkeyLocalMachine, kMachine, L"MachineFlag", dword(0));
    app.start();
    for (const wchar_t* name : {L"Flag", L"Other", L"Level", L"DrivesTweak", L"TextTweak", L"MachineFlag",
                                L"OfficeFlag", L"DisallowRun"})
        app.toggle(name, true);
    app.entry(L"TextTweak").cValue = L"text";
    app.entry(L"DrivesTweak").nValue = 5;
    AddRunListFiles(*SettingsStore, RunListBlock(L"alice", L"DisallowRun"), {L"C:\\Games\\game.exe"});

    CountingRegistry counting(app.reg);
    SaveResult result;
    {
        ScopedRegistry scope(counting);
        result = app.model.SaveSettings();
    }
    CHECK(result.Succeeded());
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Flag") == dword(1));
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Other") == dword(1));
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Level") == dword(3));
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"DrivesTweak") == dword(5));
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"TextTweak") == sz(L"text"));
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kPolicies, L"DisallowRun") == dword(1));
    CHECK(getRaw(app.reg, kHkeyLocalMachine, kMachine, L"MachineFlag") == dword(1));
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kOfficeGeneral, L"OfficeFlag") == dword(1));
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kDisallowRunKey, L"0") == sz(L"game.exe"));

    // Six tweaks and a run-list flag in one key, the list's key created by the save, the
    // Office key listed and its version key tested on the way to the Office value.
    for (const std::wstring& key : {L"HKEY_CURRENT_USER\\" + kPolicies, L"HKEY_LOCAL_MACHINE\\" + kMachine,
                                    L"HKEY_CURRENT_USER\\" + kDisallowRunKey, L"HKEY_CURRENT_USER\\" + kOfficeKey,
                                    L"HKEY_CURRENT_USER\\" + kOfficeKey + L"\\11.0",
                                    L"HKEY_CURRENT_USER\\" + kOfficeGeneral}) {
        CAPTURE(std::string(key.begin(), key.end()));
        CHECK(counting.opened[key] == 1);
    }
    for (const auto& [key, count] : counting.opened) {
        CAPTURE(std::string(key.begin(), key.end()));
        CHECK(count == 1);
    }
    // A missing key is tried once with write rights and once as asked, then remembered.
    for (const auto& [key, count] : counting.refused) {
        CAPTURE(std::string(key.begin(), key.end()));
        CHECK(count <= 2);
    }
    CHECK(app.reg.openKeyCount() == 0);  // the save's keys are closed when it ends
}

TEST_CASE("reading every tweak's state opens each key once, for reading only") {
    App app("tests/fixtures/app/registry_change.xml");
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Flag", dword(1));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Level", dword(3));
    setRaw(app.reg, kHkeyLocalMachine, kMachine, L"MachineFlag", dword(1));
    app.start();

    CountingRegistry counting(app.reg);
    ScopedRegistry scope(counting);
    TAppObjectsList list;
    LoadAppObjects(list);
    const auto state = [&list](const wchar_t* name) { return list[list.IndexOf(name)].SetValue; };
    CHECK(state(L"Flag"));
    CHECK(state(L"Level"));
    CHECK(state(L"MachineFlag"));
    CHECK_FALSE(state(L"Other"));

    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Other", dword(1));
    ReloadEntryStates(list);
    CHECK(state(L"Other"));

    // Twice each: once for the first reading, once for the reload.
    CHECK(counting.opened[L"HKEY_CURRENT_USER\\" + kPolicies] == 2);
    for (const auto& [key, count] : counting.opened) {
        CAPTURE(std::string(key.begin(), key.end()));
        CHECK(count == 2);
    }
    for (const auto& [key, count] : counting.refused) {
        CAPTURE(std::string(key.begin(), key.end()));
        CHECK(count == 2);
    }
    CHECK_FALSE(counting.refused.empty());  // the fixture's Office key, among others, is missing
    CHECK((counting.asked & ~kKeyRead) == 0);
    CHECK(app.reg.openKeyCount() == 0);
}

TEST_CASE("through the key cache, keys read as the registry holds them after each change") {
    MemoryRegistry reg;
    ScopedRegistry scope(reg);
    CountingRegistry counting(reg);
    ScopedRegistry countingScope(counting);
    const std::wstring key = L"HKEY_CURRENT_USER\\" + kPlace;

    SUBCASE("a missing key is tried once, reads as missing until a write creates it") {
        ScopedKeyCache cache;
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, kPlace));
        CHECK_FALSE(ReadValue(kHkeyCurrentUser, kPlace, L"A"));
        CHECK(counting.refused[key] == 2);
        WriteDwordValue(kHkeyCurrentUser, kPlace, L"A", 7);
        CHECK(KeyPresent(kHkeyCurrentUser, kPlace));
        CHECK(KeyPresent(kHkeyCurrentUser, L"Software\\QuillmarkTest"));  // created above it as well
        CHECK(ReadValue(kHkeyCurrentUser, kPlace, L"A") == dword(7));
        CHECK(counting.opened[key] == 1);
    }
    SUBCASE("a key deleted through the cache reads as gone, and a write creates it afresh") {
        ScopedKeyCache cache;
        WriteDwordValue(kHkeyCurrentUser, kPlace + L"\\Sub", L"A", 1);
        WriteDwordValue(kHkeyCurrentUser, kPlace, L"B", 2);
        REQUIRE(RemoveValue(kHkeyCurrentUser, kPlace + L"\\Sub", L"A"));
        REQUIRE(Registry().deleteKey(kHkeyCurrentUser, kPlace + L"\\SUB"));  // case aside
        CHECK_FALSE(KeyPresent(kHkeyCurrentUser, kPlace + L"\\Sub"));
        CHECK(ReadValue(kHkeyCurrentUser, kPlace, L"B") == dword(2));  // the key above is kept
        WriteDwordValue(kHkeyCurrentUser, kPlace + L"\\Sub", L"A", 3);
        CHECK(ReadValue(kHkeyCurrentUser, kPlace + L"\\Sub", L"A") == dword(3));
        CHECK(counting.opened[key + L"\\Sub"] == 2);
        CHECK(counting.opened[key] == 1);
    }
    SUBCASE("a key that refuses writes is still read; its write fails and the next key's does not") {
        setRaw(reg, kHkeyCurrentUser, kPlace, L"A", dword(1));
        reg.denyAccess(kHkeyCurrentUser, kPlace, kKeySetValue | kKeyCreateSubKey);
        ScopedKeyCache cache;
        CHECK(ReadValue(kHkeyCurrentUser, kPlace, L"A") == dword(1));
        CHECK_THROWS_AS(WriteDwordValue(kHkeyCurrentUser, kPlace, L"A", 0), EJclRegistryError);
        CHECK_THROWS_AS(RemoveValue(kHkeyCurrentUser, kPlace, L"A"), EJclRegistryError);
        WriteDwordValue(kHkeyCurrentUser, kPlace + L"Other", L"A", 2);
        CHECK(ReadValue(kHkeyCurrentUser, kPlace, L"A") == dword(1));
        CHECK(ReadValue(kHkeyCurrentUser, kPlace + L"Other", L"A") == dword(2));
    }
    CHECK(reg.openKeyCount() == 0);
}
