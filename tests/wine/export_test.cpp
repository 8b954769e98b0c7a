// The export on the real registry: a .reg file imported with Wine's own `reg import` gives
// exactly the values a save of the same tweaks gives, and the Registry.pol files, read back by
// a reader of the published format, hold the same values.
#include <doctest/doctest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/export.h"
#include "app/mainmodel.h"
#include "app/runlists.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/environment.h"
#include "tests/support/files.h"
#include "tests/support/pol_reader.h"
#include "tests/support/program.h"

namespace fs = std::filesystem;

namespace {

const std::wstring kScratch = L"Software\\QuillmarkTest";
const std::wstring kPolicies = kScratch + L"\\Policies";
const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kDesk = L"QuillmarkTest\\desk.cpl";
const std::wstring kMouse = L"QuillmarkTest\\mouse.cpl";
const std::wstring kDisallow = std::wstring(RunListsKey) + DisallowRunName;
const std::wstring kRestrict = std::wstring(RunListsKey) + RestrictRunName;

std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
    return s;
}

// Values by root, lower-case key path and value name.
struct Where {
    HKEY root;
    std::wstring key, name;
    auto operator<=>(const Where&) const = default;
};
using Dump = std::map<Where, RegValue>;

void dumpKey(HKEY root, const std::wstring& path, Dump& dump, const std::wstring& namePrefix = L"") {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        std::vector<std::uint8_t> data(size);
        nameLength = 16384;
        REQUIRE(RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data.data(), &size) == ERROR_SUCCESS);
        if (lower(name).rfind(lower(namePrefix), 0) == 0) dump[{root, lower(path), lower(name)}] = {type, data};
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::wstring& child : children) dumpKey(root, path + L"\\" + child, dump, namePrefix);
}

// Everything the scheme's tweaks, the test's applets and the run lists can touch.
Dump dumpAll() {
    Dump dump;
    dumpKey(HKEY_CURRENT_USER, kScratch, dump);
    dumpKey(HKEY_LOCAL_MACHINE, kScratch, dump);
    dumpKey(HKEY_CURRENT_USER, kDontLoad, dump, L"QuillmarkTest\\");
    dumpKey(HKEY_CURRENT_USER, kDisallow, dump);
    dumpKey(HKEY_CURRENT_USER, kRestrict, dump);
    return dump;
}

void clean() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kScratch.c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kScratch.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, kDisallow.c_str());
    RegDeleteTreeW(HKEY_CURRENT_USER, kRestrict.c_str());
    for (const std::wstring& applet : {kDesk, kMouse})
        RegDeleteKeyValueW(HKEY_CURRENT_USER, kDontLoad.c_str(), applet.c_str());
}

void setString(const std::wstring& key, const std::wstring& name, const std::wstring& text) {
    REQUIRE(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_SZ, text.c_str(),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
}
void setDword(const std::wstring& key, const std::wstring& name, DWORD value) {
    REQUIRE(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_DWORD, &value, sizeof value) ==
            ERROR_SUCCESS);
}

// What the machine holds before either the save or the import: some tweaks on, an applet
// hidden that the window shows, an application list with entries to replace.
void preState() {
    clean();
    setDword(kPolicies, L"Zeta", 1);
    setDword(kPolicies, L"Alpha", 1);
    setString(kDontLoad, kMouse, L"Yes");
    setString(kDisallow, L"0", L"old.exe");
    setString(kDisallow, L"5", L"gone.exe");
}

DWORD run(const std::wstring& commandLine) { return testsupport::runUncaptured(commandLine, 60000); }

struct Started {
    testsupport::TempFolder folder{"export"};
    TMainModel model;
    Started() {
        preState();
        const std::string scheme = testsupport::sourceFile("tests/fixtures/app/groups.xml");
        model.LoadCPApplets = [done = false](TAppObjectsList& list) mutable {
            if (std::exchange(done, true)) return;
            for (const auto& [path, hidden] : {std::pair{kDesk, true}, std::pair{kMouse, false}}) {
                auto entry = std::make_unique<TRestrListRec>();
                entry->AppName = path;
                entry->GroupName = AppletGroupName;
                entry->AType = L"CheckBox";
                entry->ACaption = L" Hide " + path;
                entry->SetValue = hidden;
                list.Add(std::move(entry));
            }
        };
        model.SaveSteps = DefaultSaveHooks(L"quillmark.exe");
        model.FormCreate({folder.withSeparator(), [scheme](XmlDocument& doc) { doc.loadFromBytes(scheme); },
                          [] { return std::wstring(L"alice"); }});
    }
    ~Started() {
        clean();
    }
    TRestrListRec& entry(const std::wstring& name) { return model.FAppObjectsList[model.FAppObjectsList.IndexOf(name)]; }
    void toggle(const std::wstring& name, bool on) { model.lstRestrListChange(name, on, ImageListKind::Img16); }
};

// A dump's values under one root in the reader's terms.
polreader::Values policyValues(const Dump& dump, HKEY root) {
    polreader::Values values;
    for (const auto& [where, value] : dump)
        if (where.root == root)
            values[{std::u16string(where.key.begin(), where.key.end()),
                    std::u16string(where.name.begin(), where.name.end())}] = {value.type, value.data};
    return values;
}

std::vector<std::uint8_t> readFile(const fs::path& file) {
    const std::string bytes = testsupport::readBytes(file);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

TEST_CASE("export: reg import of the .reg file and the save leave the same registry; the policy files agree") {
    Started s;
    s.toggle(L"Zeta", false);
    s.toggle(L"MachineFlag", true);
    s.toggle(L"TextTweak", true);
    s.entry(L"TextTweak").cValue = L"C:\\dir \"quoted\" \u00e9";
    s.toggle(L"DrivesTweak", true);
    s.entry(L"DrivesTweak").nValue = 0x8000001;
    s.toggle(L"DisallowRun", true);
    AddRunListFiles(*s.model.Store(), RunListBlock(L"alice", DisallowRunName), {L"C:\\a\\x.exe", L"D:\\y.exe"});
    // Start-up showed what the registry held; the administrator takes one of them out.
    DeleteRunListFile(*s.model.Store(), RunListBlock(L"alice", DisallowRunName), L"gone.exe");

    const ExportPlan plan = PlanExport(s.model.FAppObjectsList, L"quillmark.exe");
    const fs::path regFile = s.folder.path / "tweaks.reg";
    WriteRegFile(regFile, plan);
    WritePolicyFiles(s.folder.path / "gpo", plan);

    const Dump before = dumpAll();
    const SaveResult saved = s.model.SaveSettings();
    REQUIRE(saved.Succeeded());
    CHECK(saved.Wrote);
    const Dump afterSave = dumpAll();
    // The save did something worth comparing: values changed, added and removed.
    CHECK(afterSave.at({HKEY_CURRENT_USER, lower(kPolicies), L"zeta"}) == regtest::dword(0));
    CHECK_FALSE(afterSave.count({HKEY_CURRENT_USER, lower(kDontLoad), lower(kMouse)}));
    CHECK_FALSE(afterSave.count({HKEY_CURRENT_USER, lower(kDisallow), L"5"}));

    preState();
    CHECK(dumpAll() == before);
    CHECK(run(L"reg.exe import \"" + regFile.wstring() + L"\"") == 0);
    CHECK(dumpAll() == afterSave);

    for (const auto& [part, root] : {std::pair{"User", HKEY_CURRENT_USER}, std::pair{"Machine", HKEY_LOCAL_MACHINE}}) {
        CAPTURE(part);
        polreader::Values values = policyValues(before, root);
        polreader::apply(polreader::read(readFile(s.folder.path / "gpo" / part / "Registry.pol")), values);
        CHECK(values == policyValues(afterSave, root));
    }
}
