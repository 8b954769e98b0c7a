#pragma once
// Shared by the registry engine tests: the fixture scheme loaded as the process-wide data
// module, a settings store on a scratch file, and raw value helpers.
#include <doctest/doctest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "registry/registry.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"
#include "tests/support/files.h"

namespace regtest {

inline std::string readFixture(const std::string& name) {
    return testsupport::sourceFile("tests/fixtures/registry/" + name);
}

// The scheme loaded into the data module the lookups use, for one test's lifetime.
class SchemeScope {
public:
    explicit SchemeScope(const std::string& fixture = "tweaks.xml") {
        module_.FXml.loadFromBytes(readFixture(fixture));
        XMLDataModule = &module_;
    }
    ~SchemeScope() { XMLDataModule = nullptr; }
    SchemeScope(const SchemeScope&) = delete;
    SchemeScope& operator=(const SchemeScope&) = delete;
private:
    TXMLDataModule module_;
};

// A settings store on its own scratch file, installed as SettingsStore.
class StoreScope {
public:
    StoreScope() : store_(std::make_unique<TEncriptor>(folder_.file("store.dat"), true)) { SettingsStore = store_.get(); }
    ~StoreScope() {
        SettingsStore = nullptr;
        store_.reset();
    }
    StoreScope(const StoreScope&) = delete;
    StoreScope& operator=(const StoreScope&) = delete;
    TEncriptor& store() { return *store_; }
private:
    testsupport::TempFolder folder_{"registry_store"};
    std::unique_ptr<TEncriptor> store_;
};

inline std::vector<std::uint8_t> utf16(const std::wstring& text, bool terminated = true) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((static_cast<std::uint32_t>(c) >> 8) & 0xFF));
    }
    if (terminated) bytes.insert(bytes.end(), {0, 0});
    return bytes;
}

inline RegValue sz(const std::wstring& text) { return {kRegSz, utf16(text)}; }
inline RegValue dword(std::uint32_t v) {
    return {kRegDword,
            {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
             static_cast<std::uint8_t>(v >> 24)}};
}

inline void setRaw(IRegistry& reg, RegRoot root, const std::wstring& path, const std::wstring& name,
                   const RegValue& value) {
    std::unique_ptr<IRegKey> key = reg.createKey(root, path, kKeyAllAccess);
    REQUIRE(key);
    REQUIRE(key->setValue(name, value));
}

inline std::optional<RegValue> getRaw(IRegistry& reg, RegRoot root, const std::wstring& path,
                                      const std::wstring& name) {
    std::unique_ptr<IRegKey> key = reg.openKey(root, path, kKeyRead);
    if (!key) return std::nullopt;
    return key->queryValue(name);
}

inline const std::wstring kPolicies = L"Software\\QuillmarkTest\\Policies";
inline const std::wstring kMachine = L"Software\\QuillmarkTest\\Machine";
inline const std::wstring kClasses = L"Software\\QuillmarkTest\\CLSID";
inline const std::wstring kClassId = L"{5b4dae26-b807-11d0-9815-00c04fd91972}";

}  // namespace regtest

namespace doctest {
template <>
struct StringMaker<std::wstring> {
    static String convert(const std::wstring& s) {
        return String(toUtf8(s).c_str());
    }
};
template <>
struct StringMaker<std::optional<RegValue>> {
    static String convert(const std::optional<RegValue>& v) {
        if (!v) return "(no value)";
        std::string out = "type " + std::to_string(v->type) + ":";
        for (std::uint8_t b : v->data) out += " " + std::to_string(b);
        return String(out.c_str());
    }
};
template <>
struct StringMaker<RegValue> {
    static String convert(const RegValue& v) { return StringMaker<std::optional<RegValue>>::convert(v); }
};
}  // namespace doctest
