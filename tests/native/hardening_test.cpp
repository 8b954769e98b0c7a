#include <doctest/doctest.h>

#include "app/mainmodel.h"
#include "scheme/xml.h"
#include "store/Encript.h"
#include "store/atomic_file.h"
#include "tests/native/store_format.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        static int counter = 0;
        path = fs::temp_directory_path() / ("qm_hardening_" + std::to_string(::getpid()) + "_" + std::to_string(++counter));
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::wstring file(const std::string& name) const { return (path / name).wstring(); }
    std::size_t count() const { return std::distance(fs::directory_iterator(path), fs::directory_iterator()); }
};

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

fs::path damaged(const std::string& name) {
    return fs::path(QM_SOURCE_DIR) / "tests/fixtures/store/damaged" / name;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::wstring markerEntry() { return ValidityMarker + L"=" + ValidityMarker; }

}  // namespace

TEST_CASE("damaged store files load whatever entries decode") {
    // intact.dat holds: marker, AdminPass=s3cret, NoDispCPL=1, LegalNoticeText_str=Authorised use
    // only, MaxSize_str=120, aliceDisallowRun0 and 1. The others are made from it or from nothing.
    TempDir dir;
    const fs::path path = dir.path / "quillmark.dat";
    std::vector<std::wstring> intact;
    {
        fs::copy_file(damaged("intact.dat"), path);
        TEncriptor store(path.wstring(), true);
        intact = store.IDList;
        REQUIRE(intact.size() == 7);
        CHECK(store.IsValid);
        CHECK(store.GetStr(L"AdminPass", L"") == L"s3cret");
        fs::remove(path);
    }
    std::vector<std::wstring> items;
    struct Case {
        const char* file;
        void (*check)(TEncriptor&, const std::vector<std::wstring>& intact);
    };
    const Case cases[] = {
        {"truncated_mid_line.dat", [](TEncriptor& s, const std::vector<std::wstring>& full) {
             // Every entry before the cut is whole; the one at the cut is a prefix of itself.
             // Every entry before the cut is whole; the one at the cut keeps all but its last
             // character, which is made of the half group of digits the cut left.
             REQUIRE(s.IDList.size() >= 2);
             REQUIRE(s.IDList.size() <= full.size());
             for (std::size_t i = 0; i + 1 < s.IDList.size(); ++i) CHECK(s.IDList[i] == full[i]);
             const std::wstring& cut = s.IDList.back();
             CHECK(full[s.IDList.size() - 1].starts_with(cut.substr(0, cut.size() - 1)));
             CHECK(s.IsValid);
         }},
        {"truncated_mid_pair.dat", [](TEncriptor& s, const std::vector<std::wstring>& full) {
             REQUIRE(s.IDList.size() == full.size());
             for (std::size_t i = 0; i + 1 < full.size(); ++i) CHECK(s.IDList[i] == full[i]);
             CHECK(s.IDList.back() != full.back());
         }},
        {"lines_reordered.dat", [](TEncriptor& s, const std::vector<std::wstring>&) {
             // Lines of 80 keep the rolling offset in step, so every character decodes, in the
             // wrong places: the entries are garbled but there, and nothing fails.
             CHECK_FALSE(s.IDList.empty());
             CHECK_FALSE(s.IsValid);  // the second line held the marker's value
             CHECK(s.GetStr(L"AdminPass", L"none") != L"s3cret");
         }},
        {"one_line_garbled.dat", [](TEncriptor& s, const std::vector<std::wstring>& full) {
             // The damage stays within the entries of that line; the later ones are intact.
             CHECK_FALSE(s.IsValid);
             CHECK(s.IDList.size() == full.size());
             std::vector<std::wstring> list;
             CHECK(s.getList(L"aliceDisallowRun", list, false) == 2);
             CHECK(s.GetStr(L"LegalNoticeText_str", L"") == L"Authorised use only");
         }},
        {"garbage.dat", [](TEncriptor& s, const std::vector<std::wstring>&) { CHECK_FALSE(s.IsValid); }},
        {"plain_text_as_scrambled.dat", [](TEncriptor& s, const std::vector<std::wstring>&) {
             CHECK_FALSE(s.IsValid);
             CHECK_FALSE(s.isValue(L"AdminPass"));
         }},
        {"empty.dat", [](TEncriptor& s, const std::vector<std::wstring>&) {
             CHECK(s.IDList.empty());
             CHECK_FALSE(s.IsValid);
         }},
        {"not_a_number.dat", [](TEncriptor& s, const std::vector<std::wstring>&) {
             CHECK(s.IsValid);
             CHECK(s.GetInt(L"MaxSize_str", 5) == 5);
             CHECK(s.GetInt(L"Delay_str", 5) == 5);
             CHECK_FALSE(s.GetBool(L"NoDispCPL", true));
         }},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.file));
        for (const char* name : {"quillmark.dat", "default.qmk"}) {
            CAPTURE(std::string(name));
            const fs::path target = dir.path / name;
            fs::copy_file(damaged(c.file), target, fs::copy_options::overwrite_existing);
            const std::string before = readBytes(target);
            TEncriptor store(target.wstring(), true);
            c.check(store, intact);
            CHECK(readBytes(target) == before);  // loading never rewrites it
        }
    }
}

TEST_CASE("start-up goes on over a damaged settings file") {
    for (const char* file : {"garbage.dat", "empty.dat", "truncated_mid_line.dat", "lines_reordered.dat", "not_a_number.dat"}) {
        CAPTURE(std::string(file));
        TempDir dir;
        fs::copy_file(damaged(file), dir.path / "quillmark.dat");
        TMainModel model;
        StartupSources sources{(dir.path / "").wstring(),
                               [](XmlDocument& doc) { doc.loadFromBytes("<OBJECTS><Description/><RegKey/><TreeItem/></OBJECTS>"); },
                               [] { return std::wstring(L"alice"); }};
        CHECK_NOTHROW(model.FormCreate(sources));
        CHECK(model.Store() != nullptr);
        CHECK(model.DataModule()->FXml.root() != nullptr);
    }
}

TEST_CASE("huge store files load in seconds") {
    TempDir dir;
    const fs::path path = dir.path / "quillmark.dat";
    const std::wstring marker = markerEntry();
    std::string text = std::string(marker.begin(), marker.end()) + "\r\n";
    for (int i = 0; text.size() < 8'000'000; ++i)
        text += "userDisallowRun" + std::to_string(i) + "=C:\\Program Files\\Vendor\\Tool " + std::to_string(i) + "\\tool.exe\r\n";
    const std::size_t entries = std::count(text.begin(), text.end(), '\n');

    struct Case { const char* what; std::string bytes; bool scrambled; std::size_t entries; };
    std::mt19937 random(5);
    std::string garbage(32'000'000, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    const Case cases[] = {
        {"scrambled, 32 MB", storeformat::encodeFile(text, std::vector<std::size_t>(text.size() / 20 + 1, 80)), true, entries},
        {"scrambled, one line of 32 MB", storeformat::encodeFile(text, {text.size() * 4}), true, entries},
        {"random bytes, 32 MB", garbage, true, 0},
        {"plain, 8 MB", text, false, entries},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        writeBytes(path, c.bytes);
        const auto start = std::chrono::steady_clock::now();
        TEncriptor store(path.wstring(), c.scrambled);
        const double load = secondsSince(start);
        MESSAGE(std::string(c.what) << ": " << c.bytes.size() / 1'000'000 << " MB loaded in " << load << " s");
        if (c.entries) {
            CHECK(store.IsValid);
            CHECK(store.IDList.size() == c.entries);
            std::vector<std::wstring> items;
            CHECK(store.getList(L"userDisallowRun", items, false) == static_cast<int>(c.entries) - 1);
        }
        // A generous bound for a sanitizer build on a busy machine; a quadratic step would
        // take hours here.
        CHECK(load < 60);
    }
}

TEST_CASE("a save that fails at any step leaves the old file whole, and a later save writes the new one") {
    for (bool scrambled : {true, false}) {
        for (storefile::WriteStep step : {storefile::WriteStep::Create, storefile::WriteStep::Write, storefile::WriteStep::Flush,
                                          storefile::WriteStep::Close, storefile::WriteStep::Replace}) {
            CAPTURE(scrambled);
            CAPTURE(static_cast<int>(step));
            TempDir dir;
            const std::wstring path = dir.file("quillmark.dat");
            TEncriptor store(path, scrambled);
            store.SetStr(L"AdminPass", L"old");
            REQUIRE(store.Flush(false));
            const std::string before = readBytes(path);
            const std::vector<std::wstring> saved = store.IDList;

            store.setList(L"userDisallowRun", std::vector<std::wstring>(500, L"C:\\a rather long path\\app.exe"));
            {
                storefile::ScopedStepFault fault(step);
                CHECK_THROWS_AS(store.Flush(true), EInOutError);
            }
            CHECK(readBytes(path) == before);
            CHECK(TEncriptor(path, scrambled).IDList == saved);
            CHECK(dir.count() == 1);  // no temporary file left behind
            CHECK(store.MayFlush);

            CHECK(store.Flush(false));
            CHECK(TEncriptor(path, scrambled).IDList == store.IDList);
            CHECK(dir.count() == 1);
        }
    }
    SUBCASE("a new store whose first save fails leaves no file at all") {
        TempDir dir;
        storefile::ScopedStepFault fault(storefile::WriteStep::Replace);
        CHECK_THROWS_AS(TEncriptor(dir.file("default.qmk"), true), EInOutError);
        CHECK(dir.count() == 0);
    }
}

TEST_CASE("a process killed while saving leaves the old list or the new one") {
    TempDir dir;
    const std::wstring path = dir.file("quillmark.dat");
    // Two lists of about a megabyte of file each, both with a wide character so both
    // the header and the plain form are exercised.
    std::vector<std::wstring> lists[2];
    for (int which = 0; which < 2; ++which) {
        lists[which].push_back(markerEntry());
        for (int i = 0; i < 4000; ++i)
            lists[which].push_back(L"list" + std::to_wstring(which) + L"_" + std::to_wstring(i) +
                                   (which ? L"=\x0416\x0437 path" : L"=C:\\Programs\\app.exe"));
    }
    {
        TEncriptor store(path, true);
        store.IDList = lists[0];
        store.Flush(true);
    }
    std::mt19937 random(11);
    int sawNew = 0, leftBehind = 0;
    for (int round = 0; round < 12; ++round) {
        CAPTURE(round);
        const pid_t child = ::fork();
        REQUIRE(child >= 0);
        if (child == 0) {
            TEncriptor store(path, true);
            for (int i = 0;; ++i) {
                store.IDList = lists[(i + round) % 2];
                store.Flush(true);
            }
        }
        ::usleep(20'000 + random() % 150'000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        REQUIRE(WIFSIGNALED(status));

        TEncriptor reloaded(path, true);
        const bool isOld = reloaded.IDList == lists[0], isNew = reloaded.IDList == lists[1];
        CHECK((isOld || isNew));
        sawNew += isNew;
        // The killed process may have left its temporary file; it is never read, and the
        // next save removes it.
        leftBehind += std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()) > 1;
        reloaded.Flush(true);
        CHECK(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()) == 1);
    }
    MESSAGE("the second list was found after " << sawNew << " of 12 kills; " << leftBehind
                                               << " kills left a temporary file");
}

TEST_CASE("the scheme reader refuses nesting deeper than its limit with a reader error") {
    const auto nested = [](std::size_t depth) {
        std::string s;
        for (std::size_t i = 0; i < depth; ++i) s += "<a>";
        for (std::size_t i = 0; i < depth; ++i) s += "</a>";
        return s;
    };
    XmlDocument doc;
    CHECK_NOTHROW(doc.loadFromBytes(nested(XmlDocument::kMaxDepth)));
    std::size_t depth = 0;
    for (const XmlElement* e = doc.root(); e; e = e->elements().empty() ? nullptr : e->elements().front()) ++depth;
    CHECK(depth == XmlDocument::kMaxDepth);

    for (std::size_t tooDeep : {XmlDocument::kMaxDepth + 1, std::size_t{500'000}}) {
        CAPTURE(tooDeep);
        try {
            doc.loadFromBytes(nested(tooDeep));
            FAIL("loaded");
        } catch (const EXmlReaderError& e) {
            CHECK(e.message() == L"Invalid XML Element: elements nested deeper than 1024 levels");
        }
    }
}

TEST_CASE("repeated XML declarations cost no more than their bytes") {
    std::string bytes;
    while (bytes.size() < 4'000'000) bytes += "<?xml encoding=\"utf-16\"?><?xml encoding=\"windows-1251\"?>";
    bytes.insert(0, "<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    bytes += "<OBJECTS Caption=\"\xD0\x96\"/>";
    XmlDocument doc;
    const auto start = std::chrono::steady_clock::now();
    doc.loadFromBytes(bytes);
    CHECK(secondsSince(start) < 20);
    // The first declaration decides the character set; later ones are kept and change nothing.
    CHECK(doc.encoding() == L"utf-8");
    CHECK(doc.prolog().size() > 100'000);
    REQUIRE(doc.root() != nullptr);
    CHECK(doc.root()->attributeValue(L"Caption") == L"\x0416");
}
