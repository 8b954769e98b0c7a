// The main window's model end to end on the in-memory registry, for what the scheme and store
// fuzzers do not reach: registry data of any type and content read as tweak states, the save's
// plans, the application lists, the pending changes, both export writers and Undo all.
//
// The input is a script: it fills the registry at every location of a small scheme (every
// value type, two-location tweaks, a class key, the Office key, both application lists) and
// the settings store, starts the model, edits it, saves, and may undo all and save again.
// After every save that reports success:
//  - nothing is left pending: the registry is as the save meant to leave it (but for a value
//    that two tweaks share and want different things of);
//  - no value of an application list is gone unless the script removed its program, and no
//    value that is not a program name (another type) is touched at all;
//  - a list whose tweak is on holds every program the frame shows (the program itself aside
//    for "DisallowRun").
// Every export's Registry.pol files read back record by record.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/export.h"
#include "app/mainmodel.h"
#include "app/pathrules.h"
#include "app/pending.h"
#include "app/runlists.h"
#include "base/text.h"
#include "registry/memory_registry.h"
#include "registry/regaccess.h"
#include "tests/support/pol_reader.h"

namespace fs = std::filesystem;

namespace {

// Names the property that broke, for whoever reads the crash report.
#define check(condition)                                                        \
    do {                                                                        \
        if (!(condition)) {                                                     \
            std::fprintf(stderr, "failed: %s (line %d)\n", #condition, __LINE__); \
            std::abort();                                                       \
        }                                                                       \
    } while (false)

const std::wstring kOwnExe = L"quillmark.exe";
const std::wstring kPolicies = L"Software\\QuillmarkTest\\Policies";
const std::wstring kMachine = L"Software\\QuillmarkTest\\Machine";
const std::wstring kClass = L"Software\\QuillmarkTest\\CLSID\\";
const std::wstring kOffice = L"Software\\Microsoft\\Office\\16.0\\Common\\General";
const wchar_t* const kLists[] = {DisallowRunName, RestrictRunName};
const wchar_t* const kPrograms[] = {L"a.exe", L"B.EXE", L"quillmark.exe", L"C:\\Tools\\c.exe", L"D:\\x\\a.exe",
                                    L"", L"e f.exe"};

// The registry tests' scheme, with the two list tweaks added to its last group.
const std::string& scheme() {
    static const std::string text = [] {
        std::ifstream in(fs::path(QM_SOURCE_DIR) / "tests/fixtures/registry/tweaks.xml", std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        std::string xml = bytes.str();
        const std::string lists =
            R"(<DisallowRun AType="CheckBox" AFrame="frameApplications" AKey1="Policies" AValue1="DisallowRun" AValueType1="Integer10" AKey2="" AValue2="" AValueType2="" RootKey1="HKEY_CURRENT_USER" RootKey2="" img16="-1" img32="-1"/>)"
            R"(<RestrictRun AType="CheckBox" AFrame="frameApplications" AKey1="Policies" AValue1="RestrictRun" AValueType1="Integer10" AKey2="" AValue2="" AValueType2="" RootKey1="HKEY_CURRENT_USER" RootKey2="" img16="-1" img32="-1"/>)";
        const std::size_t end = xml.find("</Group_Other>");
        check(end != std::string::npos);
        xml.insert(end, lists);
        return xml;
    }();
    return text;
}

// Every value name the scheme's tweaks use.
const std::vector<std::wstring>& valueNames() {
    static const std::vector<std::wstring> names = [] {
        std::set<std::wstring> found;
        const std::regex value(R"re(AValue[12]="([^"]+)")re");
        for (auto it = std::sregex_iterator(scheme().begin(), scheme().end(), value); it != std::sregex_iterator(); ++it)
            found.insert(fromUtf8((*it)[1].str()));
        return std::vector<std::wstring>(found.begin(), found.end());
    }();
    return names;
}

// Names that two tweaks use, told apart only by letter case, which the registry ignores: one
// value that two tweaks want different things of. What a save leaves there may stay pending.
bool sharedByTweaks(const std::wstring& valueName) {
    int uses = 0;
    for (const std::wstring& name : valueNames()) uses += sameTextNoCase(name, valueName);
    return uses > 1;
}

const fs::path& workFolder() {
    static const fs::path folder = [] {
        fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path p = base / ("qm_save_fuzz_" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    return folder;
}

class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : fdp_(data, size) {}
    bool more() { return fdp_.remaining_bytes() > 0; }
    int pick(int count) { return fdp_.ConsumeIntegralInRange<int>(0, count - 1); }
    bool flag() { return fdp_.ConsumeBool(); }
    std::wstring text() { return fromUtf8(fdp_.ConsumeRandomLengthString(24)); }
    std::wstring program() {
        const int i = pick(8);
        return i < 7 ? kPrograms[i] : text();
    }
    // Data of any type: mostly what tweaks write, sometimes anything.
    RegValue value() {
        static const RegType types[] = {kRegSz, kRegExpandSz, kRegDword, kRegQword, kRegBinary, kRegMultiSz, kRegNone,
                                        kRegDwordBigEndian};
        const RegType type = types[pick(8)];
        if (flag()) {
            static const wchar_t* const texts[] = {L"1", L"0", L"Yes", L"no", L"Y", L"3", L"$10", L"-1"};
            return {type, toUtf16le(texts[pick(8)], true)};
        }
        return {type, fdp_.ConsumeBytes<std::uint8_t>(pick(10))};
    }

private:
    FuzzedDataProvider fdp_;
};

void set(IRegistry& reg, RegRoot root, const std::wstring& path, const std::wstring& name, const RegValue& value) {
    if (auto key = reg.createKey(root, path, kKeyAllAccess)) key->setValue(name, value);
}

void fillRegistry(IRegistry& reg, Script& script) {
    for (const std::wstring& name : valueNames()) {
        if (script.flag()) set(reg, kHkeyCurrentUser, kPolicies, name, script.value());
        if (script.pick(4) == 0) set(reg, kHkeyLocalMachine, kMachine, name, script.value());
        if (script.pick(4) == 0) set(reg, kHkeyCurrentUser, kOffice, name, script.value());
        if (script.pick(6) == 0) reg.createKey(kHkeyCurrentUser, kClass + name, kKeyWrite);
        if (script.pick(6) == 0) reg.createKey(kHkeyCurrentUser, kClass + L"-" + name, kKeyWrite);
    }
    for (const wchar_t* list : kLists)
        for (int n = script.pick(12); n > 0; --n) {
            const std::wstring name = script.flag() ? std::to_wstring(script.pick(20)) : script.text();
            const RegValue value = script.pick(4) ? RegValue{kRegSz, toUtf16le(script.program(), true)} : script.value();
            set(reg, kHkeyCurrentUser, RunListsKey + std::wstring(list), name, value);
        }
}

using Values = std::vector<std::pair<std::wstring, RegValue>>;

Values listValues(IRegistry& reg, const std::wstring& list) {
    Values values;
    auto key = reg.openKey(kHkeyCurrentUser, RunListsKey + list, kKeyRead);
    if (!key) return values;
    for (std::uint32_t i = 0;; ++i) {
        const auto name = key->enumValueName(i);
        if (!name) break;
        values.emplace_back(*name, *key->queryValue(*name));
    }
    return values;
}

std::vector<std::wstring> shown(TMainModel& model, const std::wstring& list) {
    std::vector<std::wstring> items;
    model.Store()->getList(RunListBlock(L"alice", list), items, false);
    return items;
}

// The program a list item or value names, as the registry reads it back.
std::wstring programOf(const std::wstring& item) { return FileNamePart(item.substr(0, item.find(L'\0'))); }

bool holds(const std::vector<std::wstring>& items, const std::wstring& program) {
    for (const std::wstring& item : items)
        if (sameTextNoCase(programOf(item), program)) return true;
    return false;
}

void exportEverything(TMainModel& model) {
    const ExportPlan plan = PlanExport(model.FAppObjectsList, kOwnExe);
    const std::vector<std::uint8_t> reg = RegFileBytes(plan);
    check(reg.size() >= 2 && reg[0] == 0xFF && reg[1] == 0xFE);
    const PolicyFiles files = PolicyFileBytes(plan);
    polreader::read(files.Machine);  // throws on a malformed file
    polreader::read(files.User);
    ExportMessage(plan);
}

// A save, and what must hold after it.
void saveAndCheck(MemoryRegistry& reg, TMainModel& model) {
    Values before[2];
    for (int l = 0; l < 2; ++l) before[l] = listValues(reg, kLists[l]);
    std::vector<std::wstring> items[2];
    for (int l = 0; l < 2; ++l) items[l] = shown(model, kLists[l]);
    PendingChanges(model.FAppObjectsList, kOwnExe);
    const SaveResult result = model.SaveSettings();
    if (!result.Succeeded()) return;
    for (const PendingChange& c : PendingChanges(model.FAppObjectsList, kOwnExe)) {
        if (sharedByTweaks(c.ValueName)) continue;
        std::fprintf(stderr, "left pending: %s [%s] %s -> %s\n", toUtf8(c.Location).c_str(), toUtf8(c.ValueName).c_str(),
                     toUtf8(c.Now).c_str(), toUtf8(c.After).c_str());
        check(!"nothing is left pending after a save");
    }
    for (int l = 0; l < 2; ++l) {
        const Values after = listValues(reg, kLists[l]);
        const auto kept = [&](const std::pair<std::wstring, RegValue>& v) {
            for (const auto& a : after)
                if (sameTextNoCase(a.first, v.first) && a.second == v.second) return true;
            return false;
        };
        for (const auto& v : before[l]) {
            const bool program = v.second.type == kRegSz || v.second.type == kRegExpandSz;
            if (!program || holds(items[l], programOf(registryText(v.second.data)))) check(kept(v));
        }
        const int index = model.FAppObjectsList.IndexOf(kLists[l]);
        if (index < 0 || !model.FAppObjectsList[index].SetValue) continue;
        std::vector<std::wstring> inForce;
        for (const auto& a : after)
            if (a.second.type == kRegSz || a.second.type == kRegExpandSz) inForce.push_back(registryText(a.second.data));
        for (const std::wstring& item : items[l]) {
            const std::wstring program = programOf(item);
            if (program.empty() || (l == 0 && sameTextNoCase(program, kOwnExe))) continue;
            check(holds(inForce, program));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Script script(data, size);
    MemoryRegistry reg;
    ScopedRegistry scope(reg);
    fillRegistry(reg, script);

    fs::remove(workFolder() / "quillmark.dat");
    fs::remove(workFolder() / "default.qmk");
    {
        TEncriptor store((workFolder() / "quillmark.dat").wstring(), true);
        for (const wchar_t* list : kLists)
            for (int n = script.pick(5); n > 0; --n) store.setListItem(RunListBlock(L"alice", list), script.program());
        store.Flush(true);
    }

    TMainModel model;
    model.SaveSteps = DefaultSaveHooks(kOwnExe);
    model.FormCreate({(workFolder() / "").wstring(), [](XmlDocument& doc) { doc.loadFromBytes(scheme()); },
                      [] { return std::wstring(L"alice"); }});
    TAppObjectsList& entries = model.FAppObjectsList;
    UndoWindow undo;
    undo.askYesNo = [](auto&, auto&) { return true; };
    undo.showError = [](auto&, auto&) {};

    for (int steps = 0; script.more() && steps < 40; ++steps) {
        const int index = entries.Count() ? script.pick(entries.Count()) : 0;
        switch (script.pick(8)) {
        case 0:
        case 1:
            if (entries.Count()) model.lstRestrListChange(entries[index].AppName, script.flag(), ImageListKind::Img16);
            break;
        case 2:
            // Typed into an edit control, which holds no null.
            if (entries.Count()) {
                const std::wstring typed = script.text();
                entries[index].cValue = typed.substr(0, typed.find(L'\0'));
            }
            break;
        case 3:
            if (entries.Count()) entries[index].nValue = script.pick(70000) - 5;
            break;
        case 4:
            AddRunListFiles(*model.Store(), RunListBlock(L"alice", kLists[script.pick(2)]), {script.program()});
            break;
        case 5: {
            const wchar_t* list = kLists[script.pick(2)];
            const std::vector<std::wstring> items = shown(model, list);
            if (!items.empty()) DeleteRunListFile(*model.Store(), RunListBlock(L"alice", list), items[script.pick(items.size())]);
            break;
        }
        case 6:
            exportEverything(model);
            saveAndCheck(reg, model);
            break;
        case 7:
            model.UndoAllTweaks(undo);
            break;
        }
    }
    exportEverything(model);
    saveAndCheck(reg, model);
    return 0;
}
