#include <doctest/doctest.h>

#include <functional>

#include "store/atomic_file.h"
#include "store/Encript.h"
#include "tests/native/store_format.h"
#include "tests/support/files.h"

#include <chrono>
#include <climits>
#include <cwchar>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace storeformat;

namespace {

// A fresh empty folder per test, removed afterwards.
using TempDir = testsupport::TempFolder;
using testsupport::readBytes;
using testsupport::writeBytes;

std::string marker() {
    std::string m(ValidityMarker.begin(), ValidityMarker.end());
    return m + "=" + m;
}

std::wstring wide(const std::string& s) {
    std::wstring w;
    for (unsigned char c : s) w += static_cast<wchar_t>(c);
    return w;
}

}  // namespace

TEST_CASE("a store on a missing path creates a scrambled file holding the validity marker") {
    TempDir dir;
    const std::wstring path = dir.file("quillmark.dat");
    TEncriptor store(path, true);
    CHECK(store.IsValid);
    CHECK_FALSE(store.MayFlush);
    REQUIRE(store.IDList.size() == 1);
    CHECK(store.IDList[0] == ValidityMarker + L"=" + ValidityMarker);

    Decoded d = decodeFile(readBytes(path));
    CHECK(d.wellFormed);
    CHECK(d.text == marker() + "\r\n");
    CHECK(dir.count() == 1);
}

TEST_CASE("saved files are cut into 80-character lines of four characters per text character") {
    struct Case { std::size_t entryLength; std::vector<std::size_t> lines; };
    const Case cases[] = {
        {0, {}},         // no entries: empty file
        {18, {80}},      // 20 text characters with CR LF
        {19, {80, 4}},
        {34, {80, 64}},  // 36 characters
        {38, {80, 80}},
        {39, {80, 80, 4}},
    };
    for (const Case& c : cases) {
        CAPTURE(c.entryLength);
        TempDir dir;
        TEncriptor store(dir.file("s.dat"), true);
        store.IDList.clear();
        std::string entry;
        if (c.entryLength) {
            entry = "k=" + std::string(c.entryLength - 2, 'v');
            store.IDList.push_back(wide(entry));
        }
        CHECK(store.Flush(true));
        std::string file = readBytes(store.DataFile);
        Decoded d = decodeFile(file);
        CHECK(d.wellFormed);
        CHECK(d.lineLengths == c.lines);
        CHECK(d.text == (entry.empty() ? "" : entry + "\r\n"));
        if (c.lines.empty()) CHECK(file.empty());
    }
}

TEST_CASE("loading joins lines before removing the rolling offset and skips empty lines") {
    const std::string text = marker() + "\r\nAdminPass=s3cret\r\nTweak_str=a=b\r\n";
    struct Case { const char* name; std::vector<std::size_t> lines; bool emptyLines; };
    const Case cases[] = {
        {"lines of 80", {}, false},
        {"uneven lines", {50, 34, 7, 80, 13}, false},
        {"one character lines", std::vector<std::size_t>(400, 1), false},
        {"empty lines between", {80, 80}, true},
    };
    std::vector<std::size_t> eighty(100, 80);
    for (const Case& c : cases) {
        CAPTURE(c.name);
        TempDir dir;
        writeBytes(dir.file("s.dat"), encodeFile(text, c.lines.empty() ? eighty : c.lines, c.emptyLines));
        TEncriptor store(dir.file("s.dat"), true);
        CHECK(store.IsValid);
        CHECK(store.IDList == std::vector<std::wstring>{ValidityMarker + L"=" + ValidityMarker, L"AdminPass=s3cret", L"Tweak_str=a=b"});
    }
}

TEST_CASE("every character up to U+00FF except line ends survives a save and a load") {
    TempDir dir;
    std::wstring all;
    for (wchar_t c = 0; c <= 0xFF; ++c)
        if (c != L'\r' && c != L'\n') all += c;
    const std::vector<std::wstring> entries = {L"name=" + all, all, L"x==y=", L"\x00C4rger= \t padded \t "};
    {
        TEncriptor store(dir.file("s.dat"), true);
        store.IDList = entries;
        store.Flush(true);
    }
    TEncriptor reloaded(dir.file("s.dat"), true);
    CHECK(reloaded.IDList == entries);
}

// The marker line that the store puts first when its text needs more than one byte per character.
const std::string utf8Header = "#QUILLMARK-UTF8-TEXT$VK3RZQ8WMT5NXJ2PLD7H";

TEST_CASE("text beyond U+00FF is carried as UTF-8 behind a header line") {
    struct Case { const char* what; std::wstring value; std::string utf8; };
    const Case cases[] = {
        {"Cyrillic logon message", L"\x0412\x0445\x043E\x0434 \x0437\x0430\x043F\x0440\x0435\x0449\x0451\x043D",
         "\xD0\x92\xD1\x85\xD0\xBE\xD0\xB4 \xD0\xB7\xD0\xB0\xD0\xBF\xD1\x80\xD0\xB5\xD1\x89\xD1\x91\xD0\xBD"},
        {"CJK path", L"C:\\\x7A0B\x5E8F\\\x5DE5\x5177.exe", "C:\\\xE7\xA8\x8B\xE5\xBA\x8F\\\xE5\xB7\xA5\xE5\x85\xB7.exe"},
        {"astral", L"smile \U0001F600 \U00010348", "smile \xF0\x9F\x98\x80 \xF0\x90\x8D\x88"},
        {"Latin-1 beside Greek", L"caf\x00E9 \x03A9", "caf\xC3\xA9 \xCE\xA9"},
        {"lone surrogate", std::wstring(L"a") + wchar_t(0xD800) + L"b", "a\xED\xA0\x80" "b"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        TempDir dir;
        {
            TEncriptor store(dir.file("s.dat"), true);
            store.SetStr(L"LogonText", c.value);
            store.setListItem(L"userDisallowRun", c.value);
            REQUIRE(store.Flush(false));
        }
        Decoded d = decodeFile(readBytes(dir.file("s.dat")));
        CHECK(d.wellFormed);
        CHECK(d.text == utf8Header + "\r\n" + marker() + "\r\nLogonText=" + c.utf8 + "\r\nuserDisallowRun0=" + c.utf8 + "\r\n");
        TEncriptor reloaded(dir.file("s.dat"), true);
        CHECK(reloaded.IsValid);
        CHECK(reloaded.IDList.size() == 3);
        CHECK(reloaded.GetStr(L"LogonText", L"") == c.value);
        std::vector<std::wstring> items;
        CHECK(reloaded.getList(L"userDisallowRun", items, false) == 1);
        CHECK(items == std::vector<std::wstring>{c.value});

        const std::wstring part = reloaded.EncodePart(c.value);
        CHECK(part.find_first_not_of(L"0123456789ABCDEF") == std::wstring::npos);
        CHECK(reloaded.DecodePart(part) == c.value);
    }
}

TEST_CASE("text within U+00FF never carries the header") {
    TempDir dir;
    TEncriptor store(dir.file("s.dat"), true);
    SUBCASE("a Latin-1 store is saved as the one-byte format") {
        store.SetStr(L"Name", L"\x00C4rger \x00FF");
        store.Flush(false);
        CHECK(readBytes(dir.file("s.dat")) == encodeFile(marker() + "\r\nName=\xC4rger \xFF\r\n", std::vector<std::size_t>(10, 80)));
        CHECK(store.EncodePart(L"\x00E9").size() == 4);
    }
    SUBCASE("a store that lost its last wide character goes back to the one-byte format") {
        store.SetStr(L"Name", L"\x0416");
        store.Flush(false);
        store.SetStr(L"Name", L"plain");
        store.Flush(false);
        CHECK(decodeFile(readBytes(dir.file("s.dat"))).text == marker() + "\r\nName=plain\r\n");
    }
    SUBCASE("a first entry that reads like the header is marked, so it comes back as it was") {
        const std::wstring header(utf8Header.begin(), utf8Header.end());
        store.IDList = {header, L"k=\x00E9"};
        store.Flush(true);
        CHECK(TEncriptor(dir.file("s.dat"), true).IDList == store.IDList);
        CHECK(store.DecodePart(store.EncodePart(header + L"\r\nx")) == header + L"\r\nx");
    }
}

TEST_CASE("a header followed by malformed UTF-8 reads the bad bytes one per character") {
    TempDir dir;
    const std::string body = "A=\xC3( \xE2\x82\xAC \xF0\x9F\x98\x80 \xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82";
    writeBytes(dir.file("s.dat"), encodeFile(utf8Header + "\n" + body + "\r\nB=\xFF", std::vector<std::size_t>(20, 80)));
    TEncriptor store(dir.file("s.dat"), true);
    const std::wstring expected = std::wstring(L"A=\x00C3( \x20AC \U0001F600 \x00C0\x00AF ") + wchar_t(0xD800) +
                                  L" \x00F4\x0090\x0080\x0080 \x00E2\x0082";
    CHECK(store.IDList == std::vector<std::wstring>{expected, L"B=\x00FF"});
    // A header that is only a prefix of the first line is no header.
    writeBytes(dir.file("t.dat"), encodeFile(utf8Header + "X\r\nA=\xC3\xA9\r\n", {}));
    CHECK(TEncriptor(dir.file("t.dat"), true).IDList == std::vector<std::wstring>{wide(utf8Header + "X"), L"A=\x00C3\x00A9"});
}

TEST_CASE("plain mode writes the code page when it carries the text, else UTF-8 with a byte-order mark") {
    TempDir dir;
    const std::wstring path = dir.file("p.dat");
    {
        TEncriptor store(path, false);
        store.SetStr(L"K", L"\x0416 \U0001F600");
        store.Flush(false);
    }
    CHECK(readBytes(path) == "\xEF\xBB\xBF" + marker() + "\r\nK=\xD0\x96 \xF0\x9F\x98\x80\r\n");
    TEncriptor reloaded(path, false);
    CHECK(reloaded.GetStr(L"K", L"") == L"\x0416 \U0001F600");
}

TEST_CASE("damaged files load whatever decodes, without failing") {
    std::mt19937 random(20240611);
    std::vector<std::string> files = {
        "not scrambled at all\r\n",
        std::string(1, '\0'),
        "GGGG\r\n\r\n\n\r",
        "0",  // one character: half a pair
        std::string(100000, 'O'),                 // one long line
        std::string(3, '\xFF') + "\r\n0123\r\n",  // bytes below the offset's reach
    };
    for (int i = 0; i < 200; ++i) {
        std::string f(random() % 600, ' ');
        for (char& c : f) c = static_cast<char>(random() % 3 ? '0' + random() % 32 : random() % 256);
        files.push_back(f);
    }
    for (const std::string& f : files) {
        TempDir dir;
        writeBytes(dir.file("s.dat"), f);
        TEncriptor store(dir.file("s.dat"), true);
        CHECK_FALSE(store.IsValid);
        CHECK(readBytes(dir.file("s.dat")) == f);  // loading never rewrites an existing file
    }
}

TEST_CASE("a large store loads in time linear in its size") {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 40000; ++i) text += "Entry" + std::to_string(i) + "=C:\\Program Files\\App" + std::to_string(i) + "\\app.exe\r\n";
    writeBytes(dir.file("s.dat"), encodeFile(text, std::vector<std::size_t>(text.size() * 4 / 80 + 1, 80)));
    auto start = std::chrono::steady_clock::now();
    TEncriptor store(dir.file("s.dat"), true);
    auto elapsed = std::chrono::steady_clock::now() - start;
    CHECK(store.IDList.size() == 40000);
    CHECK(store.GetStr(L"entry39999", L"") == L"C:\\Program Files\\App39999\\app.exe");
    CHECK(elapsed < std::chrono::seconds(10));
}

TEST_CASE("reading entries by name") {
    TempDir dir;
    TEncriptor store(dir.file("s.dat"), true);
    store.IDList = {L"Flag=1", L"Padded=  text  ", L"Tabbed=\ttext ", L"dup=first", L"DUP=second", L"NoEquals",
                    L"Num= -42 ", L"Word=abc", L"Big=2147483648", L"Min=-2147483648", L"True=true", L"Two=2",
                    L"Empty=", L"Blank=   "};
    struct StrCase { const wchar_t* id; const wchar_t* expected; };
    const StrCase strs[] = {
        {L"padded", L"text"}, {L"Tabbed", L"\ttext"}, {L"Dup", L"first"}, {L"NoEquals", L"default"},
        {L"Missing", L"default"}, {L"Empty", L""}, {L"Blank", L""}, {L"Flag=1", L"default"},
    };
    for (const StrCase& c : strs) {
        CAPTURE(std::string(c.id, c.id + std::wcslen(c.id)));
        CHECK(store.GetStr(c.id, L"default") == c.expected);
    }
    struct IntCase { const wchar_t* id; int expected; };
    const IntCase ints[] = {
        {L"Num", -42}, {L"Flag", 1}, {L"Min", INT_MIN}, {L"Missing", 7}, {L"Empty", 7}, {L"Blank", 7},
        {L"Word", 7}, {L"Big", 7}, {L"Tabbed", 7},  // not integers: read as absent
    };
    for (const IntCase& c : ints) {
        CAPTURE(std::string(c.id, c.id + std::wcslen(c.id)));
        CHECK(store.GetInt(c.id, 7) == c.expected);
    }
    struct BoolCase { const wchar_t* id; bool whenDefaultFalse; bool whenDefaultTrue; };
    const BoolCase bools[] = {
        {L"flag", true, true}, {L"True", false, false}, {L"Two", false, false}, {L"Empty", false, false},
        {L"Missing", false, true}, {L"Word", false, false},
    };
    for (const BoolCase& c : bools) {
        CAPTURE(std::string(c.id, c.id + std::wcslen(c.id)));
        CHECK(store.GetBool(c.id, false) == c.whenDefaultFalse);
        CHECK(store.GetBool(c.id, true) == c.whenDefaultTrue);
    }
    CHECK(store.isValue(L"EMPTY"));
    CHECK_FALSE(store.isValue(L"NoEquals"));
    CHECK(store.GetStr(L"\x00E4rger", L"none") == L"none");
    store.IDList.push_back(L"\x00C4RGER=latin");
    CHECK(store.GetStr(L"\x00E4rger", L"none") == L"latin");
}

TEST_CASE("changing entries by name") {
    TempDir dir;
    TEncriptor store(dir.file("s.dat"), true);
    store.IDList = {L"A=1", L"Name=Value", L"name=later"};
    struct Case { const char* what; void (*change)(TEncriptor&); std::vector<std::wstring> expected; bool flushes; };
    const Case cases[] = {
        {"same value", [](TEncriptor& s) { s.SetStr(L"NAME", L"Value"); }, {L"A=1", L"Name=Value", L"name=later"}, false},
        {"other case is another value", [](TEncriptor& s) { s.SetStr(L"name", L"VALUE"); }, {L"A=1", L"Name=VALUE", L"name=later"}, true},
        {"new name appends", [](TEncriptor& s) { s.SetStr(L"B", L"x=y"); }, {L"A=1", L"Name=Value", L"name=later", L"B=x=y"}, true},
        {"empty value for a new name appends", [](TEncriptor& s) { s.SetStr(L"B", L""); }, {L"A=1", L"Name=Value", L"name=later", L"B="}, true},
        {"empty value removes the first", [](TEncriptor& s) { s.SetStr(L"name", L""); }, {L"A=1", L"name=later"}, true},
        {"integer", [](TEncriptor& s) { s.SetInt(L"a", -12); }, {L"A=-12", L"Name=Value", L"name=later"}, true},
        {"same boolean", [](TEncriptor& s) { s.SetBool(L"A", true); }, {L"A=1", L"Name=Value", L"name=later"}, false},
        {"boolean", [](TEncriptor& s) { s.SetBool(L"A", false); }, {L"A=0", L"Name=Value", L"name=later"}, true},
        {"delete removes the first", [](TEncriptor& s) { s.Delete(L"NAME"); }, {L"A=1", L"name=later"}, true},
        {"delete of an absent name", [](TEncriptor& s) { s.Delete(L"Zed"); }, {L"A=1", L"Name=Value", L"name=later"}, false},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        TEncriptor copy = store;
        copy.MayFlush = false;
        c.change(copy);
        CHECK(copy.IDList == c.expected);
        CHECK(copy.MayFlush == c.flushes);
    }
}

TEST_CASE("EncodePart and DecodePart") {
    TempDir dir;
    TEncriptor store(dir.file("s.dat"), true);
    const std::wstring secret = L"p\x00E4ss=w\x00F6rd ";
    std::wstring encoded = store.EncodePart(secret);
    CHECK(encoded.size() == secret.size() * 4);
    CHECK(encoded.find_first_not_of(L"0123456789ABCDEF") == std::wstring::npos);
    CHECK(store.DecodePart(encoded) == secret);
    store.EncodeStr(L"Key", secret);
    CHECK(store.GetStr(L"Key", L"") == encoded);
    CHECK(store.DecodeStr(L"Key") == secret);
    // Pairs that are not hexadecimal read as 0, which then passes through the key like any byte.
    CHECK(store.DecodePart(L"zz!") == std::wstring(1, static_cast<wchar_t>(TEncriptor::ScrambleKey)));
}

TEST_CASE("blocks") {
    TempDir dir;
    TEncriptor store(dir.file("s.dat"), true);
    const std::wstring id = L"userDisallowRun";
    store.IDList = {L"A=1"};
    store.MayFlush = false;

    SUBCASE("setListItem trims, adds once and always marks the store changed") {
        store.setListItem(id, L"  C:\\Apps\\Tool.exe \t");
        CHECK(store.IDList.back() == id + L"0=C:\\Apps\\Tool.exe");
        store.MayFlush = false;
        store.setListItem(id, L"c:\\apps\\TOOL.EXE");
        CHECK(store.IDList.size() == 2);
        CHECK(store.MayFlush);
        store.setListItem(L"USERdisallowrun", L"D:\\x.exe");
        CHECK(store.IDList.back() == L"USERdisallowrun1=D:\\x.exe");
    }
    SUBCASE("getList returns values as stored; lower-casing touches only ASCII letters") {
        store.setList(id, {L" Mixed ", L"\x00C4PP.EXE", L"a=b"});
        std::vector<std::wstring> values = {L"stale"};
        CHECK(store.getList(L"USERDISALLOWRUN", values, false) == 3);
        CHECK(values == std::vector<std::wstring>{L" Mixed ", L"\x00C4PP.EXE", L"a=b"});
        CHECK(store.getList(id, values, true) == 3);
        CHECK(values == std::vector<std::wstring>{L" mixed ", L"\x00C4pp.exe", L"a=b"});
        CHECK(store.getList(L"userRestrictRun", values, false) == 0);
        CHECK(values.empty());
    }
    SUBCASE("membership is a prefix of the whole entry text") {
        store.IDList = {id + L"0=a", L"other=1", id + L"Extra=b", L"userDisallow=not"};
        std::vector<std::wstring> values;
        CHECK(store.getList(id, values, false) == 2);
        store.DeleteBlock(id);
        CHECK(store.IDList == std::vector<std::wstring>{L"other=1", L"userDisallow=not"});
        CHECK(store.MayFlush);
        store.MayFlush = false;
        store.DeleteBlock(id);
        CHECK_FALSE(store.MayFlush);
    }
    SUBCASE("deleting an item renumbers the block at the end of the list") {
        store.setList(id, {L"one", L"two", L"three"});
        store.IDList.push_back(L"Z=last");
        store.MayFlush = false;
        store.DeleteListItem(id, std::wstring(L"TWO"));
        CHECK(store.IDList == std::vector<std::wstring>{L"A=1", L"Z=last", id + L"0=one", id + L"1=three"});
        CHECK(store.MayFlush);
        store.DeleteListItem(id, 0);
        CHECK(store.IDList == std::vector<std::wstring>{L"A=1", L"Z=last", id + L"0=three"});
    }
    SUBCASE("deleting an item that is not there changes nothing") {
        store.setList(id, {L"one", L"two"});
        store.MayFlush = false;
        const auto before = store.IDList;
        for (int index : {2, 99, -1}) store.DeleteListItem(id, index);
        store.DeleteListItem(id, std::wstring(L"three"));
        store.DeleteListItem(id, std::wstring(L" one"));
        CHECK(store.IDList == before);
        CHECK_FALSE(store.MayFlush);
    }
    SUBCASE("renaming replaces the leading block name") {
        store.setList(L"oldDisallowRun", {L"x", L"y"});
        store.MayFlush = false;
        store.RenameBlock(L"OLDDISALLOWRUN", L"newDisallowRun");
        CHECK(store.IDList == std::vector<std::wstring>{L"A=1", L"newDisallowRun0=x", L"newDisallowRun1=y"});
        CHECK(store.MayFlush);
        store.MayFlush = false;
        store.RenameBlock(L"newDisallowRun", L"newDisallowRun");
        store.RenameBlock(L"missing", L"other");
        CHECK_FALSE(store.MayFlush);
    }
}

TEST_CASE("saving: Flush, destruction and plain mode") {
    TempDir dir;
    const std::wstring path = dir.file("s.dat");
    SUBCASE("Flush(false) without changes leaves the file alone") {
        TEncriptor store(path, true);
        writeBytes(path, "changed by someone else");
        store.SetStr(ValidityMarker, ValidityMarker);
        CHECK_FALSE(store.Flush(false));
        CHECK(readBytes(path) == "changed by someone else");
        // Nor does Flush(true) overwrite what someone else wrote since.
        CHECK_THROWS_AS(store.Flush(true), EStoreChanged);
        CHECK(readBytes(path) == "changed by someone else");
    }
    SUBCASE("destruction never saves") {
        {
            TEncriptor store(path, true);
            store.SetStr(L"AdminPass", L"pw");
            CHECK(store.MayFlush);
        }
        TEncriptor reloaded(path, true);
        CHECK_FALSE(reloaded.isValue(L"AdminPass"));
    }
    SUBCASE("plain mode writes one entry per line") {
        {
            TEncriptor store(path, false);
            CHECK(store.IsValid);
            store.SetStr(L"K", L"v\x00E9");
            store.Flush(false);
        }
        CHECK(readBytes(path) == marker() + "\r\nK=v\xE9\r\n");
        writeBytes(path, "a=1\nb=2\r\rc=3");
        TEncriptor reloaded(path, false);
        CHECK(reloaded.IDList == std::vector<std::wstring>{L"a=1", L"b=2", L"", L"c=3"});
    }
}

TEST_CASE("a save that fails part way leaves the previous file untouched") {
    TempDir dir;
    const std::wstring path = dir.file("quillmark.dat");
    TEncriptor store(path, true);
    store.SetStr(L"AdminPass", L"old");
    store.Flush(true);
    const std::string before = readBytes(path);

    store.SetStr(L"AdminPass", L"new password that makes the file longer");
    for (std::size_t failAfter : {std::size_t{0}, std::size_t{1}, std::size_t{81}, before.size()}) {
        CAPTURE(failAfter);
        storefile::ScopedWriteFault fault(failAfter);
        CHECK_THROWS_AS(store.Flush(true), EInOutError);
        CHECK(store.MayFlush);
        CHECK(readBytes(path) == before);
        CHECK(dir.count() == 1);  // no temporary file left behind
    }
    CHECK(store.Flush(false));
    CHECK(TEncriptor(path, true).GetStr(L"AdminPass", L"") == L"new password that makes the file longer");
}

TEST_CASE("file system failures raise EInOutError") {
    TempDir dir;
    SUBCASE("creating in a missing folder") {
        CHECK_THROWS_AS(TEncriptor(dir.file("missing/s.dat"), true), EInOutError);
    }
    SUBCASE("loading a folder") {
        fs::create_directory(dir.path / "folder.dat");
        CHECK_THROWS_AS(TEncriptor(dir.file("folder.dat"), true), EInOutError);
    }
    SUBCASE("creating a missing file while writes fail leaves no file") {
        storefile::ScopedWriteFault fault(10);
        CHECK_THROWS_AS(TEncriptor(dir.file("s.dat"), true), EInOutError);
        CHECK(dir.count() == 0);
    }
}

TEST_CASE("a save removes the temporary files that ended processes left beside it, and nothing else") {
    TempDir dir;
    const std::wstring path = dir.file("quillmark.dat");
    TEncriptor store(path, true);

    const pid_t child = ::fork();
    REQUIRE(child >= 0);
    if (child == 0) ::_exit(0);
    int status = 0;
    REQUIRE(::waitpid(child, &status, 0) == child);
    const std::string ended = std::to_string(child);
    const std::string mine = std::to_string(::getpid());
    const std::string running = std::to_string(::getppid());

    const std::vector<std::string> stale = {
        "quillmark.dat.~" + ended + ".1",
        "quillmark.dat.~" + ended + ".4711",
    };
    const std::vector<std::string> kept = {
        "quillmark.dat.~" + mine + ".999",     // this process: may be in use
        "quillmark.dat.~" + running + ".1",    // a running process: may be in use
        "quillmark.dat.~" + ended,             // not our pattern from here on
        "quillmark.dat.~" + ended + ".",
        "quillmark.dat.~" + ended + ".1.bak",
        "quillmark.dat.~" + ended + ".1x",
        "quillmark.dat.~+" + ended + ".1",
        "quillmark.dat.~" + ended + "0000000000.1",
        "quillmark.dat." + ended + ".1",
        "Quillmark.dat.~" + ended + ".1",
        "xquillmark.dat.~" + ended + ".1",
        "quillmark.da.~" + ended + ".1",
        "default.qmk.~" + ended + ".1",
    };
    for (const std::string& name : stale) writeBytes(dir.file(name.c_str()), "stale");
    for (const std::string& name : kept) writeBytes(dir.file(name.c_str()), "keep");
    fs::create_directory(dir.path / ("quillmark.dat.~" + ended + ".2"));  // a folder is never removed

    store.SetStr(L"AdminPass", L"pw");
    REQUIRE(store.Flush(true));

    std::set<std::string> expected(kept.begin(), kept.end());
    expected.insert("quillmark.dat");
    expected.insert("quillmark.dat.~" + ended + ".2");
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir.path)) found.insert(entry.path().filename().string());
    CHECK(found == expected);
    for (const std::string& name : kept) CHECK(readBytes(dir.file(name.c_str())) == "keep");
    CHECK(TEncriptor(path, true).GetStr(L"AdminPass", L"") == L"pw");
}

TEST_CASE("a save refuses to replace a file that changed since the store read or wrote it") {
    const struct {
        const char* what;
        std::function<void(const std::wstring& path)> meanwhile;
        bool refused;
    } cases[] = {
        {"nothing happened", [](const std::wstring&) {}, false},
        {"another copy saved other entries", [](const std::wstring& p) { TEncriptor other(p, true); other.SetStr(L"x", L"1"); other.Flush(true); }, true},
        {"the file was deleted: nothing to lose", [](const std::wstring& p) { std::filesystem::remove(p); }, false},
        {"the same bytes written again", [](const std::wstring& p) { writeBytes(p, readBytes(p)); }, false},
        {"one byte changed", [](const std::wstring& p) { std::string b = readBytes(p); b[0] ^= 1; writeBytes(p, b); }, true},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        TempDir dir;
        const std::wstring path = dir.file("s.dat");
        TEncriptor store(path, true);
        store.SetStr(L"Mine", L"1");
        REQUIRE(store.Flush(true));  // what this store wrote is what it compares with from now on
        c.meanwhile(path);
        const std::string before = std::filesystem::exists(path) ? readBytes(path) : std::string("(none)");
        store.SetStr(L"Mine", L"2");
        if (c.refused) {
            CHECK_THROWS_WITH_AS(store.Flush(true), doctest::Contains("was changed by another program"), EStoreChanged);
            CHECK((std::filesystem::exists(path) ? readBytes(path) : std::string("(none)")) == before);
        } else {
            CHECK(store.Flush(true));
            CHECK(TEncriptor(path, true).GetStr(L"Mine", L"") == L"2");
        }
    }
    SUBCASE("a file created where there was none, for a store that kept its entries in memory") {
        TempDir dir;
        const std::wstring path = dir.file("late.dat");
        TEncriptor store(path, true, false);
        CHECK_FALSE(store.HasFile());
        CHECK_FALSE(std::filesystem::exists(path));
        writeBytes(path, "someone else's");
        CHECK_THROWS_AS(store.Flush(true), EStoreChanged);
    }
    SUBCASE("a copy given another file writes it without comparing") {
        TempDir dir;
        TEncriptor store(dir.file("a.dat"), true);
        writeBytes(dir.file("b.dat"), "old snapshot");
        TEncriptor copy = store;
        copy.DataFile = dir.file("b.dat");
        CHECK(copy.Flush(true));
    }
}

// The damaged-store fixtures, and files of tens of megabytes.
namespace {

fs::path damaged(const std::string& name) { return testsupport::sourceDir() / "tests/fixtures/store/damaged" / name; }

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
