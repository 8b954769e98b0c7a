// Loads arbitrary bytes as a settings store file, then runs a sequence of store operations
// decoded from the input. Input: the file's bytes, then optionally OpsMark and the script.
// Without the mark the whole input is the file and a fixed script runs, so that plain store
// files serve as seeds. After every save the file must read back as the list that was saved.
#include "base/text.h"
#include "store/Encript.h"
#include "store/atomic_file.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view OpsMark = "\n#QM-OPS#\n";

void check(bool condition) {
    if (!condition) std::abort();
}

// A folder of this process's own, in memory where possible: saves sync to disk.
const fs::path& workFolder() {
    static const fs::path folder = [] {
        fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        fs::path p = base / ("qm_store_fuzz_" + std::to_string(::getpid()));
        fs::create_directories(p);
        return p;
    }();
    return folder;
}

bool holdsLineEnd(const std::vector<std::wstring>& list) {
    for (const std::wstring& entry : list)
        if (entry.find_first_of(L"\r\n") != std::wstring::npos) return true;
    return false;
}

// Saving and loading again gives the same list, unless an entry holds a line end (which
// splits it).
void checkSaved(const TEncriptor& store) {
    if (holdsLineEnd(store.IDList)) return;
    TEncriptor reloaded(store.DataFile, store.Encripted);
    check(reloaded.IDList == store.IDList);
}

class Script {
public:
    explicit Script(std::string_view bytes) : fdp_(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()) {}

    bool more() { return fdp_.remaining_bytes() > 0; }
    int op(int count) { return fdp_.ConsumeIntegralInRange<int>(0, count - 1); }
    int number() { return fdp_.ConsumeIntegralInRange<int>(-2, 40); }
    bool flag() { return fdp_.ConsumeBool(); }
    // Text as UTF-8 (read leniently), so that characters beyond U+00FF come up too.
    std::wstring text() { return fromUtf8(fdp_.ConsumeRandomLengthString(48)); }
    // Mostly names that the store uses, so operations meet existing entries.
    std::wstring id() {
        static const wchar_t* const known[] = {L"AdminPass", L"userDisallowRun", L"userRestrictRun", L"user",
                                               L"NoDispCPL_str", L"#QZRWPLMTBKXNDCVG$HSYFJEWQAZMRTLK", L"a", L"A0"};
        int pick = fdp_.ConsumeIntegralInRange<int>(0, 8);
        return pick < 8 ? known[pick] : text();
    }

private:
    FuzzedDataProvider fdp_;
};

void run(TEncriptor& store, Script& script) {
    std::vector<std::wstring> list;
    for (int steps = 0; script.more() && steps < 200; ++steps) {
        switch (script.op(19)) {
        case 0: store.SetStr(script.id(), script.text()); break;
        case 1: store.SetInt(script.id(), script.number()); break;
        case 2: store.SetBool(script.id(), script.flag()); break;
        case 3: store.GetStr(script.id(), L"d"); break;
        case 4: store.GetInt(script.id(), 7); break;
        case 5: store.GetBool(script.id(), script.flag()); break;
        case 6: store.Delete(script.id()); break;
        case 7: store.setListItem(script.id(), script.text()); break;
        case 8: {
            std::wstring id = script.id();
            int count = store.getList(id, list, script.flag());
            check(count == static_cast<int>(list.size()));
            break;
        }
        case 9: store.DeleteListItem(script.id(), script.number()); break;
        case 10: store.DeleteListItem(script.id(), script.text()); break;
        case 11: store.DeleteBlock(script.id()); break;
        case 12: {
            std::wstring id = script.id();
            store.RenameBlock(id, script.id());
            break;
        }
        case 13: {
            std::wstring id = script.id();
            list.clear();
            for (int n = script.number(); n > 0; --n) list.push_back(script.text());
            store.setList(id, list);
            break;
        }
        case 14: {
            std::wstring id = script.id(), value = script.text();
            store.EncodeStr(id, value);
            // The first entry of that name may be another one (a name holding "=" or case twins).
            if (id.find(L'=') == std::wstring::npos && !value.empty() && store.GetStr(id, L"") == store.EncodePart(value))
                check(store.DecodeStr(id) == value);
            break;
        }
        case 15: {
            std::wstring value = script.text();
            check(store.DecodePart(store.EncodePart(value)) == value);
            store.DecodePart(value);
            break;
        }
        case 16:
            if (store.Flush(script.flag())) checkSaved(store);
            break;
        case 17: store.isValue(script.id()); break;
        case 18: store.IDList.push_back(script.text()); break;
        }
    }
}

// Every operation once on a few names, for inputs that carry no script.
void runFixedScript(TEncriptor& store) {
    std::vector<std::wstring> list;
    store.GetInt(L"AdminPass", 0);
    store.GetBool(ValidityMarker, false);
    store.getList(L"user", list, true);
    store.setListItem(L"userDisallowRun", L" C:\\Tools\\regedit.exe ");
    store.setListItem(L"userDisallowRun", L"D:\\\x7A0B\x5E8F.exe");
    store.DeleteListItem(L"userDisallowRun", 0);
    store.DeleteListItem(L"userDisallowRun", std::wstring(L"d:\\\x7A0B\x5E8F.EXE"));
    store.RenameBlock(L"user", L"other");
    store.DeleteBlock(L"otherRestrictRun");
    store.SetStr(L"AdminPass", L"\x0436");
    store.EncodeStr(L"Part", L"p\x00E4ss");
    store.DecodeStr(L"Part");
    if (store.Flush(true)) checkSaved(store);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t mark = input.find(OpsMark);
    const std::string_view file = input.substr(0, mark);
    std::string_view ops = mark == std::string_view::npos ? std::string_view() : input.substr(mark + OpsMark.size());

    // The script's first byte: bit 0 plain mode, bit 1 no file at all.
    const unsigned flags = ops.empty() ? 0 : static_cast<unsigned char>(ops.front());
    if (!ops.empty()) ops.remove_prefix(1);
    const fs::path path = workFolder() / "quillmark.dat";
    fs::remove(path);
    if (!(flags & 2)) {
        std::ofstream out(path, std::ios::binary);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }
    TEncriptor store(path.wstring(), !(flags & 1));
    if (mark == std::string_view::npos) {
        runFixedScript(store);
    } else {
        Script script(ops);
        run(store, script);
    }
    return 0;
}
