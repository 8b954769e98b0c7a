#pragma once
// The registry engine's contract: tests that hold for every registry backend. The same
// sources are compiled into a native test, where Registry() is a fresh in-memory registry,
// and into a Wine test, where it is the real registry with a scratch area of its own.
// Where the two disagree, the real registry is right.
#include <doctest/doctest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "registry/regaccess.h"
#include "registry/registry.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"
#include "tests/native/registry_fixture.h"

#ifdef _WIN32
#include <windows.h>
#else
#include "registry/memory_registry.h"
#endif
#ifdef QM_CONTRACT_IN_USER_HIVE
#include "registry/userhive_registry.h"
#endif

namespace contract {

using regtest::dword;
using regtest::sz;
using regtest::utf16;

inline RegValue bytes(RegType type, std::vector<std::uint8_t> data) { return {type, std::move(data)}; }

inline const std::wstring kOffice = L"Software\\Microsoft\\Office";

// Deepest keys first, through the backend under test.
inline void deleteTree(RegRoot root, const std::wstring& path) {
    std::vector<std::wstring> subkeys;
    if (std::unique_ptr<IRegKey> key = Registry().openKey(root, path, kKeyRead)) {
        for (std::uint32_t i = 0;; ++i) {
            std::optional<std::wstring> name = key->enumSubkey(i, 256);
            if (!name) break;
            subkeys.push_back(*name);
        }
    } else {
        return;
    }
    for (const std::wstring& name : subkeys) deleteTree(root, path + L"\\" + name);
    Registry().deleteKey(root, path);
}

#ifdef QM_CONTRACT_IN_USER_HIVE
// The contract again through another user's hive: HKEY_CURRENT_USER is HKEY_USERS\<kOtherUser>,
// and the registry beneath the view is never asked for HKEY_CURRENT_USER itself.
inline const std::wstring kOtherUser = L"S-1-5-21-0-0-0-4242";

class OtherUserHive {
public:
    OtherUserHive() { REQUIRE(Registry().createKey(kHkeyUsers, kOtherUser, kKeyWrite)); }
    ~OtherUserHive() {
        deleteTree(kHkeyUsers, kOtherUser);
        CHECK_FALSE(spy_.sawCurrentUser);
    }
    OtherUserHive(const OtherUserHive&) = delete;
    OtherUserHive& operator=(const OtherUserHive&) = delete;

private:
    // Passes every request on and notes one for HKEY_CURRENT_USER.
    struct RootSpy : IRegistry {
        explicit RootSpy(IRegistry& inner) : inner(inner) {}
        std::unique_ptr<IRegKey> openKey(RegRoot root, const std::wstring& path, RegAccess access) override {
            sawCurrentUser = sawCurrentUser || root == kHkeyCurrentUser;
            return inner.openKey(root, path, access);
        }
        std::unique_ptr<IRegKey> createKey(RegRoot root, const std::wstring& path, RegAccess access) override {
            sawCurrentUser = sawCurrentUser || root == kHkeyCurrentUser;
            return inner.createKey(root, path, access);
        }
        bool deleteKey(RegRoot root, const std::wstring& path) override {
            sawCurrentUser = sawCurrentUser || root == kHkeyCurrentUser;
            return inner.deleteKey(root, path);
        }
        IRegistry& inner;
        bool sawCurrentUser = false;
    };
    RootSpy spy_{Registry()};
    UserHiveRegistry view_{spy_, kOtherUser};
    ScopedRegistry scope_{view_};
};
#endif

// One test's registry. Natively a fresh in-memory registry; under Wine the real one, where
// the test works below Software\QuillmarkTest\<unique> of HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE, removed before and after.
class Sandbox {
public:
    Sandbox() : root_(uniqueRoot()) { clean(); }
    ~Sandbox() {
        clean();
#ifndef _WIN32
        CHECK(memory_.openKeyCount() == 0);
#endif
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    IRegistry& reg() { return Registry(); }
    // The scratch key path, the same under both roots.
    const std::wstring& root() const { return root_; }
    std::wstring path(const std::wstring& sub) const { return root_ + L"\\" + sub; }

#ifndef _WIN32
    // Denied access exists only in the in-memory registry: Wine cannot deny.
    MemoryRegistry& memory() { return memory_; }
#endif

private:
    static std::wstring uniqueRoot() {
        static int counter = 0;
#ifdef _WIN32
        const unsigned long process = GetCurrentProcessId();
#else
        const unsigned long process = 0;
#endif
        return L"Software\\QuillmarkTest\\" + std::to_wstring(process) + L"-" + std::to_wstring(++counter);
    }
    void clean() {
        for (RegRoot r : {kHkeyCurrentUser, kHkeyLocalMachine}) {
            deleteTree(r, root_);
            Registry().deleteKey(r, L"Software\\QuillmarkTest");  // only when no other test uses it
        }
    }

#ifndef _WIN32
    MemoryRegistry memory_;
    ScopedRegistry scope_{memory_};
#endif
#ifdef QM_CONTRACT_IN_USER_HIVE
    OtherUserHive otherUser_;
#endif
    std::wstring root_;
};

// The engine looks for Office settings under one fixed key; a test that creates it owns it
// for its lifetime, and refuses to run where that key is the machine's own.
class OfficeScope {
public:
    explicit OfficeScope(RegRoot root = kHkeyCurrentUser) : root_(root) {
        REQUIRE_FALSE_MESSAGE(KeyPresent(root_, kOffice), "the registry already holds Office settings");
    }
    ~OfficeScope() { deleteTree(root_, kOffice); }
    OfficeScope(const OfficeScope&) = delete;
    OfficeScope& operator=(const OfficeScope&) = delete;

private:
    RegRoot root_;
};

// The fixture scheme with its key paths moved into the sandbox.
class SchemeScope {
public:
    explicit SchemeScope(const Sandbox& sandbox) {
        std::string xml = regtest::readFixture("tweaks.xml");
        REQUIRE_FALSE(xml.empty());
        const std::string from = "Software\\QuillmarkTest\\";
        std::string to;
        for (wchar_t c : sandbox.root()) to += static_cast<char>(c);
        to += "\\";
        for (std::size_t at = xml.find(from); at != std::string::npos; at = xml.find(from, at + to.size()))
            xml.replace(at, from.size(), to);
        module_.FXml.loadFromBytes(xml);
        XMLDataModule = &module_;
    }
    ~SchemeScope() { XMLDataModule = nullptr; }
    SchemeScope(const SchemeScope&) = delete;
    SchemeScope& operator=(const SchemeScope&) = delete;

private:
    TXMLDataModule module_;
};

// The engine with the fixture scheme and a scratch settings store.
struct Engine {
    Sandbox sandbox;
    SchemeScope scheme{sandbox};
    regtest::StoreScope store;
    const std::wstring policies = sandbox.path(L"Policies");
    const std::wstring machine = sandbox.path(L"Machine");
    const std::wstring classes = sandbox.path(L"CLSID");

    void set(const std::wstring& name, const RegValue& value) { setAt(policies, name, value); }
    void setAt(const std::wstring& key, const std::wstring& name, const RegValue& value,
               RegRoot root = kHkeyCurrentUser) {
        regtest::setRaw(Registry(), root, key, name, value);
    }
    std::optional<RegValue> value(const std::wstring& name) { return valueAt(policies, name); }
    std::optional<RegValue> valueAt(const std::wstring& key, const std::wstring& name,
                                    RegRoot root = kHkeyCurrentUser) {
        return regtest::getRaw(Registry(), root, key, name);
    }
    void createKey(const std::wstring& key, RegRoot root = kHkeyCurrentUser) {
        REQUIRE(Registry().createKey(root, key, kKeyWrite));
    }
    // Every field set to something the readers must overwrite, but AName.
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

template <class F>
std::wstring messageOf(F&& f) {
    try {
        f();
    } catch (const EJclRegistryError& e) {
        return e.message();
    }
    return L"(nothing raised)";
}

inline std::string show(const std::wstring& s) { return doctest::StringMaker<std::wstring>::convert(s).c_str(); }

}  // namespace contract
