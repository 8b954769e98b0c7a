// The phases that need the real registry and the real program, timed under Wine, each
// beside its floor measured in the same run. Run it only in a throw-away prefix: it sets
// and clears every tweak of the shipped scheme. Prints one tab-separated line per result.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "app/appobjects.h"
#include "base/text.h"
#include "base/win/module.h"
#include "bench/bench_common.h"
#include "registry/applytweak.h"
#include "registry/keycache.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

namespace {

int runs = 11;

double nowMicroseconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1e6 / frequency;
}

struct Timing {
    std::vector<double> samples;
    void add(double us) { samples.push_back(us); }
    double min() const { return *std::min_element(samples.begin(), samples.end()); }
    double median() const {
        std::vector<double> s = samples;
        std::sort(s.begin(), s.end());
        return s.size() % 2 ? s[s.size() / 2] : (s[s.size() / 2 - 1] + s[s.size() / 2]) / 2;
    }
};

void report(const char* id, const Timing& t) {
    std::printf("RESULT\t%s\t%.1f\t%.1f\t%zu\n", id, t.min(), t.median(), t.samples.size());
}

double timeOnce(const std::function<void()>& work) {
    const double start = nowMicroseconds();
    work();
    return nowMicroseconds() - start;
}

// Runs the phases in turn, `runs` times, so that a disturbance hits them alike; one
// untimed warm-up round first.
struct Phase {
    const char* id;
    std::function<void()> work;
    Timing timing;
};
void measureInterleaved(std::vector<Phase>& phases) {
    for (Phase& p : phases) p.work();
    for (int i = 0; i < runs; ++i)
        for (Phase& p : phases) p.timing.add(timeOnce(p.work));
    for (const Phase& p : phases) report(p.id, p.timing);
}

// A Unix path handed in from the shell names a file on Wine's Z: drive.
std::wstring windowsPath(const char* path) {
    std::wstring p = fromUtf8(path);
    if (p.starts_with(L"/")) p = L"Z:" + p;
    std::replace(p.begin(), p.end(), L'/', L'\\');
    return p;
}

// The locations ApplyTweak could not write; zero where it does not report them.
template <class... Args>
std::size_t applyTweak(const Args&... args) {
    if constexpr (std::is_void_v<decltype(ApplyTweak(args...))>) {
        ApplyTweak(args...);
        return 0;
    } else {
        return ApplyTweak(args...).size();
    }
}

HKEY rootHandle(RegRoot root) { return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(static_cast<LONG>(root))); }

struct Tweak {
    std::wstring name, group;
    bool checkBox = false;
};

// The registry floor of reading a tweak location: open, one read, close.
void rawRead(const TweakLocation& location) {
    const bool clsid = location.ValueType == L"CLSID";
    const std::wstring path = clsid ? location.KeyPath + L"\\-" + location.ValueName : location.KeyPath;
    HKEY key = nullptr;
    if (RegOpenKeyExW(rootHandle(location.Root), path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    if (!clsid) {
        BYTE data[2048];
        DWORD type = 0, size = sizeof data;
        RegQueryValueExW(key, location.ValueName.c_str(), nullptr, &type, data, &size);
    }
    RegCloseKey(key);
}

// The registry floor of a planned write, by advapi32 alone.
void rawWrite(const RegistryWrite& write) {
    const HKEY root = rootHandle(write.root);
    if (write.op == RegistryWrite::Op::RenameKey) {
        HKEY source = nullptr, target = nullptr;
        if (RegOpenKeyExW(root, write.keyPath.c_str(), 0, KEY_ALL_ACCESS, &source) != ERROR_SUCCESS) return;
        if (RegCreateKeyExW(root, write.newKeyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target,
                            nullptr) == ERROR_SUCCESS) {
            RegCopyTreeW(source, nullptr, target);
            RegCloseKey(target);
        }
        RegCloseKey(source);
        RegDeleteTreeW(root, write.keyPath.c_str());
        return;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, write.keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    if (write.op == RegistryWrite::Op::WriteDword) {
        const DWORD number = static_cast<DWORD>(write.number);
        RegSetValueExW(key, write.valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                       sizeof number);
    } else {
        RegSetValueExW(key, write.valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(write.text.c_str()),
                       static_cast<DWORD>((write.text.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

class Bench {
public:
    explicit Bench(const std::string& schemeBytes) {
        XMLDataModule = &module_;
        module_.FXml.loadFromBytes(schemeBytes);
        for (const bench::SchemeObject& o : bench::schemeObjects(module_.FXml)) {
            Tweak tweak{o.name, o.group};
            TAppObjectsRec object;
            if (FindTweakObject(o.name, o.group, object)) tweak.checkBox = object.AType == L"CheckBox";
            tweaks_.push_back(tweak);
            const std::wstring* slots[2][4] = {
                {&object.AKey1, &object.RootKey1, &object.AValue1, &object.AValueType1},
                {&object.AKey2, &object.RootKey2, &object.AValue2, &object.AValueType2},
            };
            for (const auto& s : slots) {
                TweakLocation location;
                if (ResolveLocation(*s[0], *s[1], *s[2], *s[3], location) == LocationResult::Resolved)
                    locations_.push_back(location);
            }
        }
        std::printf("INFO\tobjects\t%zu\n", tweaks_.size());
        std::printf("INFO\tcheckboxes\t%zu\n",
                    static_cast<std::size_t>(std::count_if(tweaks_.begin(), tweaks_.end(),
                                                           [](const Tweak& t) { return t.checkBox; })));
        std::printf("INFO\tlocations\t%zu\n", locations_.size());
    }
    ~Bench() { XMLDataModule = nullptr; }

    // Start-up's state reading, the registry floor, and a save that changes nothing.
    void readPhases(const char* state) {
        // The save compares with the state read at start-up, as the entries hold it.
        current_.clear();
        for (const Tweak& t : tweaks_) {
            TCheckBoxRec record;
            GetTweakState(t.name, t.group, record);
            current_.push_back(record);
        }
        const std::string prefix = std::string("read.") + state + ".";
        std::vector<Phase> phases;
        phases.push_back({"floor", [this] { readFloor(); }, {}});
        phases.push_back({"state", [this] { readStates(); }, {}});
        phases.push_back({"load", [] {
                              TAppObjectsList list;
                              LoadAppObjects(list);
                          }, {}});
        phases.push_back({"savenothing", [this] { saveNothing(); }, {}});
        std::vector<std::string> ids;
        for (Phase& p : phases) ids.push_back(prefix + p.id);
        for (std::size_t i = 0; i < phases.size(); ++i) phases[i].id = ids[i].c_str();
        measureInterleaved(phases);
    }

    // Switching every tweak on, then off, against the floor of the same writes.
    void saveAllPhases() {
        const std::vector<TweakPlan> planOn = plans(true);
        Timing on, off, floorOn, floorOff;
        on.add(timeOnce([this] { saveAll(true); }));
        const std::vector<TweakPlan> planOff = plans(false);
        off.add(timeOnce([this] { saveAll(false); }));
        std::printf("INFO\twrites_on\t%zu\nINFO\twrites_off\t%zu\n", writeCount(planOn), writeCount(planOff));
        report("saveall.first_on_from_empty", on);
        for (int i = 0; i < runs; ++i) {
            floorOn.add(timeOnce([&] { rawWrites(planOn); }));
            floorOff.add(timeOnce([&] { rawWrites(planOff); }));
            if (i) on.add(timeOnce([this] { saveAll(true); }));
            off.add(timeOnce([this] { saveAll(false); }));
        }
        on.add(timeOnce([this] { saveAll(true); }));
        on.samples.erase(on.samples.begin());  // the first run created the keys
        report("saveall.on", on);
        report("saveall.off", off);
        report("saveall.floor_on", floorOn);
        report("saveall.floor_off", floorOff);
        std::printf("INFO\tsave_failures\t%zu\n", failures_);
    }

private:
    void readFloor() {
        for (const TweakLocation& location : locations_) rawRead(location);
    }

    void readStates() {
        for (const Tweak& t : tweaks_) {
            TCheckBoxRec record;
            GetTweakState(t.name, t.group, record);
        }
    }

    // What the save does for entries that did not change: each reads its state and
    // writes nothing.
    void saveNothing() {
        ScopedKeyCache keys;  // as a save holds them
        for (std::size_t i = 0; i < tweaks_.size(); ++i) {
            const Tweak& t = tweaks_[i];
            if (!t.checkBox) continue;
            const TCheckBoxRec& r = current_[i];
            failures_ += applyTweak(t.name, r.SetValue, t.group, r.cValue, r.nValue);
        }
    }

    void saveAll(bool wanted) {
        ScopedKeyCache keys;  // as a save holds them
        for (const Tweak& t : tweaks_)
            if (t.checkBox) failures_ += applyTweak(t.name, wanted, t.group, std::wstring(L"C:\\bench"), 1);
    }

    std::vector<TweakPlan> plans(bool wanted) const {
        std::vector<TweakPlan> result;
        for (const Tweak& t : tweaks_)
            if (t.checkBox) result.push_back(PlanTweak(t.name, wanted, t.group, L"C:\\bench", 1));
        return result;
    }

    static std::size_t writeCount(const std::vector<TweakPlan>& plans) {
        std::size_t n = 0;
        for (const TweakPlan& p : plans)
            for (const LocationPlan& l : p.locations) n += l.write.has_value();
        return n;
    }

    static void rawWrites(const std::vector<TweakPlan>& plans) {
        for (const TweakPlan& p : plans)
            for (const LocationPlan& l : p.locations)
                if (l.write) rawWrite(*l.write);
    }

    TXMLDataModule module_;
    std::vector<Tweak> tweaks_;
    std::vector<TweakLocation> locations_;
    std::vector<TCheckBoxRec> current_;
    std::size_t failures_ = 0;
};

struct Started {
    double microseconds = 0;
    SIZE_T workingSet = 0, privateBytes = 0;
};

struct WindowSearch {
    DWORD processId;
    HWND found = nullptr;
};

BOOL CALLBACK findProcessWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->processId || !IsWindowVisible(window) || GetWindow(window, GW_OWNER)) return TRUE;
    search->found = window;
    return FALSE;
}

// From CreateProcess to a visible top-level window and an idle message queue.
bool startProgram(const std::wstring& exe, Started& result) {
    std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // A traced program times its phases from here, on the same clock as the whole start.
    LARGE_INTEGER origin;
    QueryPerformanceCounter(&origin);
    SetEnvironmentVariableW(L"QM_PHASE_ORIGIN", std::to_wstring(origin.QuadPart).c_str());
    const double start = nowMicroseconds();
    const BOOL created = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        folder.c_str(), &startup, &process);
    SetEnvironmentVariableW(L"QM_PHASE_ORIGIN", nullptr);  // the program has its copy
    if (!created) {
        std::fprintf(stderr, "cannot start %ls (error %lu)\n", exe.c_str(), GetLastError());
        return false;
    }
    WindowSearch search{process.dwProcessId};
    bool ready = false;
    for (int waited = 0; waited < 60000 && !ready; ++waited) {
        if (WaitForInputIdle(process.hProcess, 0) == 0) {
            EnumWindows(findProcessWindow, reinterpret_cast<LPARAM>(&search));
            ready = search.found != nullptr;
        }
        if (!ready) {
            if (WaitForSingleObject(process.hProcess, 1) == WAIT_OBJECT_0) break;
        }
    }
    result.microseconds = nowMicroseconds() - start;
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (ready && GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory)) {
        result.workingSet = memory.WorkingSetSize;
        result.privateBytes = memory.PagefileUsage;  // the committed private memory
    }
    if (search.found) PostMessageW(search.found, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!ready) std::fprintf(stderr, "%ls showed no idle window\n", exe.c_str());
    return ready;
}

// The phase marks a traced program wrote during one start (QM_PHASE_TIMES), in order.
std::vector<std::pair<std::string, double>> readPhaseTimes(const std::wstring& path) {
    std::vector<std::pair<std::string, double>> marks;
    std::FILE* file = _wfopen(path.c_str(), L"r");
    if (!file) return marks;
    char name[64];
    double microseconds = 0;
    while (std::fscanf(file, "%63s %lf", name, &microseconds) == 2) marks.emplace_back(name, microseconds);
    std::fclose(file);
    return marks;
}

double medianOf(std::vector<double> values) {
    Timing t;
    t.samples = std::move(values);
    return t.median();
}

// One program's phase marks across the rounds: each mark's name and its times.
struct PhaseSeries {
    std::vector<std::string> names;
    std::vector<std::vector<double>> times;

    void add(const std::vector<std::pair<std::string, double>>& marks) {
        for (std::size_t m = 0; m < marks.size(); ++m) {
            if (m == names.size()) {
                names.push_back(marks[m].first);
                times.emplace_back();
            }
            if (names[m] == marks[m].first) times[m].push_back(marks[m].second);
        }
    }
    // Each mark's median time since the bench started the program.
    void print(const char* id) const {
        for (std::size_t m = 0; m < names.size(); ++m)
            std::printf("PHASE\t%s\t%s\t%.0f\t%zu\n", id, names[m].c_str(), medianOf(times[m]), times[m].size());
    }
};

// Each round starts the trivial program, the probe and quillmark.exe in turn, so that each
// program runs right after its floors; the ratios are the medians of each round's ratios.
// The probe marks the same phases as quillmark.exe where it has them, so that the two read
// side by side.
void startPhases(const std::wstring& app, const std::wstring& folder, int starts) {
    struct Program {
        const char* id;
        std::wstring exe;
        bool traced;
        Timing timing;
        std::vector<double> workingSet, privateBytes;
        PhaseSeries phases;
    } programs[] = {{"start.trivial", folder + L"\\trivial_win32.exe", false, {}, {}, {}, {}},
                    {"start.probe", folder + L"\\probe_win32.exe", true, {}, {}, {}, {}},
                    {"start.quillmark", app, true, {}, {}, {}, {}}};
    const std::wstring phaseFile = folder + L"\\phases.tsv";
    const auto start = [&](Program& p, Started& s) {
        DeleteFileW(phaseFile.c_str());
        SetEnvironmentVariableW(L"QM_PHASE_TIMES", p.traced ? phaseFile.c_str() : nullptr);
        return startProgram(p.exe, s);
    };
    for (Program& p : programs) {
        Started warmUp;  // also the first start that writes the undo snapshot
        if (!start(p, warmUp)) return;
    }
    std::vector<double> toProbe, toTrivial;
    for (int i = 0; i < starts; ++i) {
        for (Program& p : programs) {
            Started s;
            if (!start(p, s)) return;
            p.timing.add(s.microseconds);
            p.workingSet.push_back(static_cast<double>(s.workingSet) / 1024);
            p.privateBytes.push_back(static_cast<double>(s.privateBytes) / 1024);
            if (p.traced) p.phases.add(readPhaseTimes(phaseFile));
        }
        const double quillmark = programs[2].timing.samples.back();
        toTrivial.push_back(quillmark / programs[0].timing.samples.back());
        toProbe.push_back(quillmark / programs[1].timing.samples.back());
    }
    SetEnvironmentVariableW(L"QM_PHASE_TIMES", nullptr);
    for (Program& p : programs) {
        report(p.id, p.timing);
        std::sort(p.workingSet.begin(), p.workingSet.end());
        std::sort(p.privateBytes.begin(), p.privateBytes.end());
        std::printf("MEMORY\t%s\t%.0f\t%.0f\n", p.id, p.workingSet[p.workingSet.size() / 2],
                    p.privateBytes[p.privateBytes.size() / 2]);
        if (p.traced) p.phases.print(p.id);
    }
    std::printf("RATIO\tstart.quillmark/start.probe\t%.3f\nRATIO\tstart.quillmark/start.trivial\t%.3f\n",
                medianOf(toProbe), medianOf(toTrivial));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        const char* app = std::getenv("QM_EXE");
        bool startOnly = false;  // only the program's start, e.g. to compare builds
        for (int i = 1; i < argc; ++i) {
            if (std::wstring(argv[i]) == L"--runs" && i + 1 < argc) runs = std::max(1, _wtoi(argv[++i]));
            else if (std::wstring(argv[i]) == L"--start-only") startOnly = true;
        }

        std::wstring folder = executableFolder();
        folder.pop_back();

        // The program's start comes first, while the prefix holds no tweak.
        // As many rounds as runs: a start varies most of all the phases, by a factor of two.
        if (app && *app) startPhases(windowsPath(app), folder, std::max(3, runs));
        if (startOnly) return 0;

        TEncriptor store(folder + L"\\bench-store.dat", true);
        SettingsStore = &store;
        Bench bench(bench::schemeBytes());
        bench.readPhases("empty");
        bench.saveAllPhases();  // leaves every tweak set
        bench.readPhases("set");
        SettingsStore = nullptr;
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wine_bench: %s\n", e.what());
        return 1;
    }
}
