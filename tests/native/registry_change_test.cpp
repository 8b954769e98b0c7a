// Another process may delete or retype keys and values at any moment: between the
// window's start-up and its save, or between two operations of one read. Reads then give
// their defaults, writes that cannot be done are reported, and nothing ends start-up or
// the save half-way.
#include <doctest/doctest.h>

#include <cwchar>
#include <memory>

#include "app/runlists.h"
#include "registry/applytweak.h"
#include "registry/regaccess.h"
#include "tests/native/app_model_fixture.h"

using namespace apptest;
using regtest::dword;
using regtest::getRaw;
using regtest::setRaw;
using regtest::sz;

namespace {

const std::wstring kOffice = L"Software\\Microsoft\\Office";
const std::wstring kClasses = L"Software\\QuillmarkTest\\CLSID";
const std::wstring kClassId = L"{5b4dae26-b807-11d0-9815-00c04fd91972}";
const std::wstring kDisallowRunKey = std::wstring(RunListsKey) + L"DisallowRun";

const RegValue kText{kRegSz, regtest::utf16(L"abc")};
const RegValue kBinary16{kRegBinary, std::vector<std::uint8_t>(16, 1)};
const RegValue kMultiSz{kRegMultiSz, regtest::utf16(std::wstring(L"1\0", 2))};

void setOfficeVersion(IRegistry& reg) {
    setRaw(reg, kHkeyCurrentUser, kOffice + L"\\11.0\\Common\\General", L"OfficeFlag", dword(1));
}

void deleteOfficeTree(IRegistry& reg) {
    for (const wchar_t* sub : {L"\\11.0\\Common\\General", L"\\11.0\\Common", L"\\11.0", L""})
        reg.deleteKey(kHkeyCurrentUser, kOffice + sub);
}

// Removes the Office key when it, or a key below it, is opened for the second time within
// one expansion: after the presence test, before the listing; or, where the listing goes
// through the handle the presence test opened (start-up's reads), before the version key's test.
void vanishOfficeOnListing(MemoryRegistry& reg) {
    auto opens = std::make_shared<int>(0);
    reg.beforeOpen = [&reg, opens](RegRoot root, const std::wstring& path) {
        if (root != kHkeyCurrentUser || !(path == kOffice || IsKeyInside(path, kOffice))) return;
        if (++*opens == 2) deleteOfficeTree(reg);
    };
}

struct ChangeApp : App {
    ChangeApp() : App("tests/fixtures/app/registry_change.xml") { model.SaveSteps = DefaultSaveHooks(L"quillmark.exe"); }
    std::optional<RegValue> policy(const std::wstring& name) { return getRaw(reg, kHkeyCurrentUser, kPolicies, name); }
    bool classKey(const std::wstring& prefix) {
        return reg.openKey(kHkeyCurrentUser, kClasses + L"\\" + prefix + kClassId, kKeyRead) != nullptr;
    }
};

}  // namespace

TEST_CASE("the Office key vanishing between its presence test and its listing reads as no Office settings") {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    setOfficeVersion(reg);
    vanishOfficeOnListing(reg);

    std::wstring path = L"[OfficeAllVersions]\\Common\\General";
    bool expanded = true;
    CHECK_NOTHROW(expanded = ExpandOfficeKey(path));
    CHECK_FALSE(expanded);
    CHECK(path == L"\\Common\\General");
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, kOffice));
    CHECK(reg.openKeyCount() == 0);

    // The hook fires where it should: without the change the same registry expands.
    MemoryRegistry steady;
    ScopedRegistry steadyScope{steady};
    setOfficeVersion(steady);
    path = L"[OfficeAllVersions]\\Common\\General";
    CHECK(ExpandOfficeKey(path));
    CHECK(path == kOffice + L"\\11.0\\Common\\General");
}

TEST_CASE("start-up survives the Office key vanishing mid-read; the Office tweak reads unchecked") {
    ChangeApp app;
    setOfficeVersion(app.reg);
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Flag", dword(1));
    vanishOfficeOnListing(app.reg);
    REQUIRE_NOTHROW(app.start());
    CHECK_FALSE(app.entry(L"OfficeFlag").SetValue);
    CHECK(app.entry(L"Flag").SetValue);  // the tweaks after it were read as well
}

TEST_CASE("a save survives the Office key vanishing mid-read and writes the other tweaks") {
    ChangeApp app;
    setOfficeVersion(app.reg);
    app.start();
    REQUIRE(app.entry(L"OfficeFlag").SetValue);
    app.toggle(L"OfficeFlag", false);
    app.toggle(L"Flag", true);
    vanishOfficeOnListing(app.reg);

    SaveResult result;
    REQUIRE_NOTHROW(result = app.model.SaveSettings());
    CHECK(result.Succeeded());
    CHECK(app.policy(L"Flag") == dword(1));
    // Nothing was written for the Office tweak, and no Office key was made up.
    CHECK_FALSE(KeyPresent(kHkeyCurrentUser, kOffice));
}

TEST_CASE("start-up over values of unexpected types reads the defaults") {
    ChangeApp app;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Flag", kText);
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Other", kMultiSz);
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Level", kBinary16);
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"TextTweak", dword(7));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"DrivesTweak", kText);
    REQUIRE_NOTHROW(app.start());
    for (const wchar_t* name : {L"Flag", L"Other", L"Level", L"TextTweak", L"DrivesTweak"}) {
        CAPTURE(std::string(name, name + std::wcslen(name)));
        CHECK_FALSE(app.entry(name).SetValue);
    }
    CHECK(app.entry(L"TextTweak").cValue == L"");
    CHECK(app.entry(L"DrivesTweak").nValue == 0);
}

TEST_CASE("a flag deleted or retyped after start-up: the save writes what the user chose") {
    struct Case {
        const char* name;
        std::optional<RegValue> changedTo;  // nullopt: deleted
        bool wanted;
        std::optional<RegValue> saved;  // nullopt: no value
    };
    const Case cases[] = {
        {"deleted, kept checked", std::nullopt, true, dword(1)},
        {"deleted, unchecked: absent already reads unchecked", std::nullopt, false, std::nullopt},
        {"retyped to text, kept checked", kText, true, dword(1)},
        {"retyped to 16 bytes, kept checked", kBinary16, true, dword(1)},
        {"retyped to a string list, kept checked", kMultiSz, true, dword(1)},
        {"retyped to text, unchecked: reads unchecked, left as it is", kText, false, kText},
    };
    for (const Case& c : cases) {
        CAPTURE(c.name);
        ChangeApp app;
        setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"Flag", dword(1));
        app.start();
        REQUIRE(app.entry(L"Flag").SetValue);
        app.toggle(L"Flag", c.wanted);
        app.toggle(L"Other", true);
        std::unique_ptr<IRegKey> key = app.reg.openKey(kHkeyCurrentUser, kPolicies, kKeyAllAccess);
        if (c.changedTo)
            key->setValue(L"Flag", *c.changedTo);
        else
            key->deleteValue(L"Flag");
        key.reset();

        SaveResult result;
        REQUIRE_NOTHROW(result = app.model.SaveSettings());
        CHECK(result.Succeeded());
        CHECK(app.policy(L"Flag") == c.saved);
        CHECK(app.policy(L"Other") == dword(1));
    }
}

TEST_CASE("keys deleted after start-up: the save recreates what it writes and completes") {
    ChangeApp app;
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"TextTweak", sz(L"abc"));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"DrivesTweak", dword(4));
    setRaw(app.reg, kHkeyCurrentUser, kClasses + L"\\" + kClassId, L"", sz(L"Class"));
    setRaw(app.reg, kHkeyCurrentUser, kDisallowRunKey, L"1", sz(L"game.exe"));
    setRaw(app.reg, kHkeyCurrentUser, kPolicies, L"DisallowRun", dword(1));
    app.start();
    AddRunListFiles(*SettingsStore, RunListBlock(L"alice", L"DisallowRun"), {L"C:\\Games\\game.exe"});
    app.toggle(L"TextTweak", true);
    app.entry(L"TextTweak").cValue = L"abd";
    app.toggle(L"DrivesTweak", true);
    app.entry(L"DrivesTweak").nValue = 8;
    app.toggle(L"HideClass", true);
    REQUIRE(app.entry(L"DisallowRun").SetValue);

    // Another process removes the policy key, the class key and the run list.
    for (const std::wstring& path : {kPolicies, kClasses + L"\\" + kClassId, kDisallowRunKey}) {
        std::unique_ptr<IRegKey> key = app.reg.openKey(kHkeyCurrentUser, path, kKeyAllAccess);
        REQUIRE(key);
        for (const wchar_t* name : {L"", L"1", L"TextTweak", L"DrivesTweak", L"DisallowRun"}) key->deleteValue(name);
        key.reset();
        REQUIRE(app.reg.deleteKey(kHkeyCurrentUser, path));
    }

    SaveResult result;
    REQUIRE_NOTHROW(result = app.model.SaveSettings());
    CHECK(app.policy(L"TextTweak") == sz(L"abd"));
    CHECK(app.policy(L"DrivesTweak") == dword(8));
    CHECK(app.policy(L"DisallowRun") == dword(1));
    // A class key that is gone cannot be hidden: nothing is made up in its place, and the
    // save says so.
    REQUIRE(result.Failures.size() == 1);
    CHECK(result.Failures[0].Name == L"HideClass");
    CHECK(result.Failures[0].Message.find(L"is not registered") != std::wstring::npos);
    CHECK_FALSE(app.classKey(L""));
    CHECK_FALSE(app.classKey(L"-"));
    // The tweak goes on again, so its list is put in place first.
    CHECK(getRaw(app.reg, kHkeyCurrentUser, kDisallowRunKey, L"0") == sz(L"game.exe"));
}

TEST_CASE("keys made unwritable after start-up: the save reports them and writes the rest") {
    ChangeApp app;
    app.start();
    app.toggle(L"MachineFlag", true);
    app.toggle(L"DisallowRun", true);
    AddRunListFiles(*SettingsStore, RunListBlock(L"alice", L"DisallowRun"), {L"C:\\Games\\game.exe"});
    app.toggle(L"Flag", true);
    app.reg.denyAccess(kHkeyLocalMachine, kMachine);
    app.reg.denyAccess(kHkeyCurrentUser, kDisallowRunKey);

    SaveResult result;
    REQUIRE_NOTHROW(result = app.model.SaveSettings());
    std::vector<std::wstring> failed;
    for (const SaveFailure& f : result.Failures) failed.push_back(f.Name);
    CHECK(failed == std::vector<std::wstring>{L"MachineFlag", L"DisallowRun"});
    CHECK(result.Failures[0].Message == L"Unable to open key \"HKEY_LOCAL_MACHINE\\" + kMachine + L"\" for write");
    CHECK(app.policy(L"Flag") == dword(1));
    // Its list could not be written: the tweak stays off.
    CHECK_FALSE(app.policy(L"DisallowRun"));
    CHECK(app.model.SettingsModified());
}
