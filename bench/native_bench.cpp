// The window-free phases of start-up and the settings store, each beside its floor.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_common.h"
#include "scheme/xml.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

namespace {

const std::string& scheme() {
    static const std::string bytes = bench::schemeBytes();
    return bytes;
}

// Parsing the shipped scheme, against touching each of its bytes once.
void BM_ParseScheme(benchmark::State& state) {
    for (auto _ : state) {
        XmlDocument document;
        document.loadFromBytes(scheme());
        benchmark::DoNotOptimize(document.root());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * scheme().size()));
}
BENCHMARK(BM_ParseScheme)->Name("parse/scheme");

void BM_ScanScheme(benchmark::State& state) {
    for (auto _ : state) {
        std::size_t tags = 0;
        for (char c : scheme()) tags += c == '<';
        benchmark::DoNotOptimize(tags);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * scheme().size()));
}
BENCHMARK(BM_ScanScheme)->Name("parse/floor_scan");

// What turning the bytes into wide text costs at the least, for comparison.
void BM_WidenScheme(benchmark::State& state) {
    for (auto _ : state) {
        std::wstring text(scheme().begin(), scheme().end());
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_WidenScheme)->Name("parse/widen_only");

// The lookups start-up makes for each object: its entry's attributes under "TreeItem",
// its tweak again under its group (the state read), the key paths of its two aliases,
// and its description for the list.
void startupLookups(const std::vector<bench::SchemeObject>& objects) {
    for (const bench::SchemeObject& o : objects) {
        TAppObjectsRec entry;
        getAppObject(o.name, getElem(L"TreeItem", nullptr), entry);
        TAppObjectsRec object;
        getAppObject(o.name, getElem(o.group, getElem(L"TreeItem", nullptr)), object);
        benchmark::DoNotOptimize(getRegKey(object.AKey1));
        benchmark::DoNotOptimize(getRegKey(object.AKey2));
        TDescriptionRec description;
        getDescription(o.name, description);
    }
}

// The same lookups by the plain walk, reading the same attributes.
void readObject(const XmlElement* e, const std::wstring& name, TAppObjectsRec& object) {
    if (!e) return;
    object.AName = name;
    object.AType = e->attributeValue(L"AType");
    object.AFrame = e->attributeValue(L"AFrame");
    object.AKey1 = e->attributeValue(L"AKey1");
    object.AValue1 = e->attributeValue(L"AValue1");
    object.AValueType1 = e->attributeValue(L"AValueType1");
    object.AKey2 = e->attributeValue(L"AKey2");
    object.AValue2 = e->attributeValue(L"AValue2");
    object.AValueType2 = e->attributeValue(L"AValueType2");
    object.RootKey1 = e->attributeValue(L"RootKey1");
    object.RootKey2 = e->attributeValue(L"RootKey2");
    object.ImgIndex16 = static_cast<int>(e->attributeAsInteger(L"img16"));
    object.imgIndex32 = static_cast<int>(e->attributeAsInteger(L"img32"));
}

void startupLookupsByWalk(const XmlDocument& document, const std::vector<bench::SchemeObject>& objects) {
    const auto section = [&](const wchar_t* name) { return findElementByWalk(name, document.root()); };
    const auto regKey = [&](const std::wstring& alias) {
        const XmlElement* e = findElementByWalk(alias, section(L"RegKey"));
        return e ? e->attributeValue(L"Value") : std::wstring();
    };
    for (const bench::SchemeObject& o : objects) {
        TAppObjectsRec entry;
        readObject(findElementByWalk(o.name, section(L"TreeItem")), o.name, entry);
        TAppObjectsRec object;
        // A top-level object's group is "TreeItem" itself, not found below it: the section is searched.
        const XmlElement* group = findElementByWalk(o.group, section(L"TreeItem"));
        readObject(findElementByWalk(o.name, group ? group : section(L"TreeItem")), o.name, object);
        benchmark::DoNotOptimize(regKey(object.AKey1));
        benchmark::DoNotOptimize(regKey(object.AKey2));
        TDescriptionRec description;
        if (const XmlElement* e = findElementByWalk(o.name, section(L"Description"))) {
            description.Caption = e->attributeValue(L"Caption");
            description.Descr = e->attributeValue(L"Descr");
        }
        benchmark::DoNotOptimize(description);
    }
}

// First use after a load: the index is built within the timed lookups, as at start-up.
void BM_LookupsIndexedFirstUse(benchmark::State& state) {
    TXMLDataModule module;
    XMLDataModule = &module;
    module.FXml.loadFromBytes(scheme());
    const std::vector<bench::SchemeObject> objects = bench::schemeObjects(module.FXml);
    for (auto _ : state) {
        state.PauseTiming();
        module.FXml.loadFromBytes(scheme());
        state.ResumeTiming();
        startupLookups(objects);
    }
    state.counters["objects"] = static_cast<double>(objects.size());
    XMLDataModule = nullptr;
}
BENCHMARK(BM_LookupsIndexedFirstUse)->Name("lookups/indexed_first_use")->Unit(benchmark::kMicrosecond);

void BM_LookupsIndexed(benchmark::State& state) {
    TXMLDataModule module;
    XMLDataModule = &module;
    module.FXml.loadFromBytes(scheme());
    const std::vector<bench::SchemeObject> objects = bench::schemeObjects(module.FXml);
    startupLookups(objects);
    for (auto _ : state) startupLookups(objects);
    state.counters["objects"] = static_cast<double>(objects.size());
    XMLDataModule = nullptr;
}
BENCHMARK(BM_LookupsIndexed)->Name("lookups/indexed")->Unit(benchmark::kMicrosecond);

void BM_LookupsWalk(benchmark::State& state) {
    XmlDocument document;
    document.loadFromBytes(scheme());
    const std::vector<bench::SchemeObject> objects = bench::schemeObjects(document);
    for (auto _ : state) startupLookupsByWalk(document, objects);
    state.counters["objects"] = static_cast<double>(objects.size());
}
BENCHMARK(BM_LookupsWalk)->Name("lookups/walk")->Unit(benchmark::kMicrosecond);

// The walk on a freshly loaded tree, to set beside the indexed first use.
void BM_LookupsWalkFirstUse(benchmark::State& state) {
    XmlDocument document;
    document.loadFromBytes(scheme());
    const std::vector<bench::SchemeObject> objects = bench::schemeObjects(document);
    for (auto _ : state) {
        state.PauseTiming();
        document.loadFromBytes(scheme());
        state.ResumeTiming();
        startupLookupsByWalk(document, objects);
    }
}
BENCHMARK(BM_LookupsWalkFirstUse)->Name("lookups/walk_first_use")->Unit(benchmark::kMicrosecond);

// Only the element searches of those lookups, without reading attributes.
void elementSearches(const std::vector<bench::SchemeObject>& objects) {
    const XmlElement* treeItem = getElem(L"TreeItem", nullptr);
    const XmlElement* description = getElem(L"Description", nullptr);
    for (const bench::SchemeObject& o : objects) {
        benchmark::DoNotOptimize(getElem(o.name, treeItem));
        benchmark::DoNotOptimize(getElem(o.name, description));
    }
}

void BM_ElementSearchIndexed(benchmark::State& state) {
    TXMLDataModule module;
    XMLDataModule = &module;
    module.FXml.loadFromBytes(scheme());
    const std::vector<bench::SchemeObject> objects = bench::schemeObjects(module.FXml);
    elementSearches(objects);
    for (auto _ : state) elementSearches(objects);
    XMLDataModule = nullptr;
}
BENCHMARK(BM_ElementSearchIndexed)->Name("lookups/elements_indexed")->Unit(benchmark::kMicrosecond);

void BM_ElementSearchWalk(benchmark::State& state) {
    XmlDocument document;
    document.loadFromBytes(scheme());
    const std::vector<bench::SchemeObject> objects = bench::schemeObjects(document);
    for (auto _ : state) {
        const XmlElement* treeItem = findElementByWalk(L"TreeItem", document.root());
        const XmlElement* description = findElementByWalk(L"Description", document.root());
        for (const bench::SchemeObject& o : objects) {
            benchmark::DoNotOptimize(findElementByWalk(o.name, treeItem));
            benchmark::DoNotOptimize(findElementByWalk(o.name, description));
        }
    }
}
BENCHMARK(BM_ElementSearchWalk)->Name("lookups/elements_walk")->Unit(benchmark::kMicrosecond);

// Settings store files of n entries, shaped like the real ones: "<name>=<value>".
std::wstring entryName(long i) { return L"Tweak_" + std::to_wstring(i) + L"_str"; }

class StoreFiles {
public:
    StoreFiles() : dir_(std::filesystem::temp_directory_path() / ("qm-bench-" + std::to_string(getpid()))) {
        std::filesystem::create_directories(dir_);
    }
    ~StoreFiles() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    std::wstring file(long n) {
        const std::filesystem::path path = dir_ / ("store" + std::to_string(n) + ".dat");
        if (!std::filesystem::exists(path)) {
            TEncriptor store(path.wstring(), true);
            // Straight into the list: SetStr looks each name up first, which is what is measured.
            for (long i = 0; i < n; ++i) store.IDList.push_back(entryName(i) + L"=C:\\Program Files\\App" + std::to_wstring(i));
            store.Flush(true);
        }
        return path.wstring();
    }

private:
    std::filesystem::path dir_;
};

StoreFiles& storeFiles() {
    static StoreFiles files;
    return files;
}

void storeSizes(benchmark::internal::Benchmark* b) { b->Arg(100)->Arg(10'000)->Arg(100'000); }

void BM_StoreLoad(benchmark::State& state) {
    const std::wstring file = storeFiles().file(state.range(0));
    for (auto _ : state) {
        TEncriptor store(file, true);
        benchmark::DoNotOptimize(store.IDList.data());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_StoreLoad)->Name("store/load")->Apply(storeSizes)->Unit(benchmark::kMicrosecond)->Complexity();

void BM_StoreSave(benchmark::State& state) {
    TEncriptor store(storeFiles().file(state.range(0)), true);
    for (auto _ : state) store.Flush(true);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_StoreSave)->Name("store/save")->Apply(storeSizes)->Unit(benchmark::kMicrosecond)->Complexity();

// One name look-up, averaged over names spread evenly through the file.
void BM_StoreLookup(benchmark::State& state) {
    const long n = state.range(0);
    TEncriptor store(storeFiles().file(n), true);
    constexpr long kProbes = 100;
    std::vector<std::wstring> names;
    for (long i = 0; i < kProbes; ++i) names.push_back(entryName(i * n / kProbes));
    for (auto _ : state)
        for (const std::wstring& name : names) benchmark::DoNotOptimize(store.GetStr(name, L""));
    state.SetItemsProcessed(state.iterations() * kProbes);
    state.SetComplexityN(n);
}
BENCHMARK(BM_StoreLookup)->Name("store/lookup")->Apply(storeSizes)->Unit(benchmark::kMicrosecond)->Complexity();

// Loading a store and reading every entry by name, as a caller that reads all it holds.
// Not run at 100,000: with linear look-ups that takes minutes.
void BM_StoreLoadAndLookupAll(benchmark::State& state) {
    const long n = state.range(0);
    const std::wstring file = storeFiles().file(n);
    std::vector<std::wstring> names;
    for (long i = 0; i < n; ++i) names.push_back(entryName(i));
    for (auto _ : state) {
        TEncriptor store(file, true);
        for (const std::wstring& name : names) benchmark::DoNotOptimize(store.GetStr(name, L""));
    }
    state.SetComplexityN(n);
}
BENCHMARK(BM_StoreLoadAndLookupAll)->Name("store/load_lookup_all")->Arg(100)->Arg(1'000)->Arg(10'000)
    ->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
