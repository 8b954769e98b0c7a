#include <doctest/doctest.h>

#include "base/win/handles.h"
#include "store/atomic_file.h"
#include "store/Encript.h"
#include "tests/native/store_format.h"
#include "tests/support/files.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using storeformat::decodeFile;

namespace {

using TempDir = testsupport::TempFolder;

std::string readThrough(HANDLE file) {
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    return content;
}

std::string readBytes(const std::wstring& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    REQUIRE(file);
    return readThrough(file.get());
}

std::string markerLine() {
    std::string m(ValidityMarker.begin(), ValidityMarker.end());
    return m + "=" + m + "\r\n";
}

// A store file holding the marker and an old password, saved by the store itself.
std::string writeOldStore(const std::wstring& path) {
    TEncriptor store(path, true);
    store.SetStr(L"AdminPass", L"old");
    REQUIRE(store.Flush(false));
    return readBytes(path);
}

}  // namespace

TEST_CASE("a store created in an empty folder is one scrambled file holding the validity marker") {
    TempDir dir;
    const std::wstring path = dir.file(L"quillmark.dat");
    TEncriptor store(path, true);
    CHECK(store.IsValid);
    CHECK(dir.names() == std::vector<std::wstring>{L"quillmark.dat"});
    storeformat::Decoded d = decodeFile(readBytes(path));
    CHECK(d.wellFormed);
    CHECK(d.text == markerLine());
    CHECK(d.lineLengths == std::vector<std::size_t>{80, 80, 80, 36});
}

TEST_CASE("a save replaces the file in one step") {
    TempDir dir;
    const std::wstring path = dir.file(L"quillmark.dat");
    const std::string before = writeOldStore(path);

    CHECK(decodeFile(before).text == markerLine() + "AdminPass=old\r\n");
    TEncriptor store(path, true);
    store.SetStr(L"AdminPass", L"new");
    store.setListItem(L"userDisallowRun", L"C:\\Tools\\regedit.exe");
    CHECK(store.Flush(false));

    CHECK(decodeFile(readBytes(path)).text ==
          markerLine() + "AdminPass=new\r\nuserDisallowRun0=C:\\Tools\\regedit.exe\r\n");
    CHECK(dir.names() == std::vector<std::wstring>{L"quillmark.dat"});
    TEncriptor reloaded(path, true);
    CHECK(reloaded.IDList == store.IDList);
}

TEST_CASE("a save that cannot complete leaves the old file and raises") {
    TempDir dir;
    const std::wstring path = dir.file(L"quillmark.dat");
    const std::string before = writeOldStore(path);
    TEncriptor store(path, true);
    store.SetStr(L"AdminPass", L"new");

    SUBCASE("the disk fills part way") {
        storefile::ScopedWriteFault fault(100);
        CHECK_THROWS_AS(store.Flush(true), EInOutError);
    }
    SUBCASE("the file is read-only") {
        REQUIRE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
        CHECK_THROWS_AS(store.Flush(true), EInOutError);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    SUBCASE("another program holds the file open without sharing") {
        const UniqueFile holder(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(holder);
        CHECK_THROWS_AS(store.Flush(true), EInOutError);
    }
    CHECK(store.MayFlush);
    CHECK(readBytes(path) == before);
    CHECK(dir.names() == std::vector<std::wstring>{L"quillmark.dat"});
}

TEST_CASE("a store on a folder that cannot hold it raises on creation") {
    TempDir dir;
    CHECK_THROWS_AS(TEncriptor(dir.file(L"missing\\quillmark.dat"), true), EInOutError);
    CHECK_THROWS_AS(TEncriptor(dir.path.wstring(), true), EInOutError);
}

TEST_CASE("text beyond U+00FF survives a save and a load") {
    struct Case { const char* what; std::wstring value; };
    const Case cases[] = {
        {"Cyrillic logon message", L"\x0412\x0445\x043E\x0434 \x0437\x0430\x043F\x0440\x0435\x0449\x0451\x043D"},
        {"CJK path", L"C:\\\x7A0B\x5E8F\\\x5DE5\x5177.exe"},
        {"surrogate pairs", L"smile \xD83D\xDE00 \xD800\xDF48"},
        {"lone surrogate", L"a\xD800" L"b\xDC00"},
    };
    for (const Case& c : cases) {
        CAPTURE(std::string(c.what));
        TempDir dir;
        const std::wstring path = dir.file(L"quillmark.dat");
        {
            TEncriptor store(path, true);
            store.SetStr(L"LegalNoticeText_str", c.value);
            store.setListItem(L"userDisallowRun", c.value);
            REQUIRE(store.Flush(false));
        }
        // The file itself stays in the scrambled format: only ASCII, lines of 80.
        storeformat::Decoded d = decodeFile(readBytes(path));
        CHECK(d.wellFormed);
        CHECK(d.text.starts_with("#QUILLMARK-UTF8-TEXT$VK3RZQ8WMT5NXJ2PLD7H\r\n" + markerLine()));
        TEncriptor reloaded(path, true);
        CHECK(reloaded.IsValid);
        CHECK(reloaded.GetStr(L"LegalNoticeText_str", L"") == c.value);
        std::vector<std::wstring> items;
        CHECK(reloaded.getList(L"userDisallowRun", items, false) == 1);
        CHECK(items == std::vector<std::wstring>{c.value});
        CHECK(reloaded.DecodePart(reloaded.EncodePart(c.value)) == c.value);

        TEncriptor plain(dir.file(L"plain.dat"), false);
        plain.SetStr(L"K", c.value);
        plain.Flush(false);
        CHECK(TEncriptor(dir.file(L"plain.dat"), false).GetStr(L"K", L"") == c.value);
    }
}

TEST_CASE("a Latin-1 store is written in the one-byte format, without the header") {
    TempDir dir;
    const std::wstring path = dir.file(L"quillmark.dat");
    TEncriptor store(path, true);
    store.SetStr(L"Name", L"\x00C4rger \x00FF");
    store.Flush(false);
    CHECK(decodeFile(readBytes(path)).text == markerLine() + "Name=\xC4rger \xFF\r\n");
}

TEST_CASE("a save that fails at any step leaves the old file whole") {
    using storefile::WriteStep;
    for (WriteStep step : {WriteStep::Create, WriteStep::Write, WriteStep::Flush, WriteStep::Close, WriteStep::Replace}) {
        CAPTURE(static_cast<int>(step));
        TempDir dir;
        const std::wstring path = dir.file(L"quillmark.dat");
        const std::string before = writeOldStore(path);
        TEncriptor store(path, true);
        store.SetStr(L"AdminPass", L"new");
        {
            storefile::ScopedStepFault fault(step);
            CHECK_THROWS_AS(store.Flush(true), EInOutError);
        }
        CHECK(readBytes(path) == before);
        CHECK(dir.names() == std::vector<std::wstring>{L"quillmark.dat"});
        CHECK(store.Flush(false));
        CHECK(TEncriptor(path, true).GetStr(L"AdminPass", L"") == L"new");
    }
}

namespace {

// A process started suspended: running until ended.
struct ChildProcess {
    PROCESS_INFORMATION info{};
    ChildProcess() {
        wchar_t command[] = L"cmd.exe /c exit 0";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        REQUIRE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &info));
    }
    ~ChildProcess() {
        if (!info.hProcess) return;
        TerminateProcess(info.hProcess, 0);
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // Ends the process and lets go of it, so the system forgets it; gives its id.
    DWORD end() {
        const DWORD id = info.dwProcessId;
        ResumeThread(info.hThread);
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        info = {};
        return id;
    }
};

void writeFile(const std::wstring& path, const std::string& bytes) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    REQUIRE(file);
    DWORD written = 0;
    REQUIRE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

}  // namespace

TEST_CASE("a save removes the temporary files that ended processes left beside it, and nothing else") {
    TempDir dir;
    const std::wstring path = dir.file(L"quillmark.dat");
    TEncriptor store(path, true);
    ChildProcess running;
    const std::wstring ended = std::to_wstring(ChildProcess().end());
    const std::wstring mine = std::to_wstring(GetCurrentProcessId());

    const std::vector<std::wstring> stale = {
        L"quillmark.dat.~" + ended + L".1",
        L"QUILLMARK.DAT.~" + ended + L".2",  // the same name to Windows
    };
    const std::vector<std::wstring> kept = {
        L"quillmark.dat.~" + mine + L".999",  // this process: may be in use
        L"quillmark.dat.~" + std::to_wstring(running.info.dwProcessId) + L".1",  // a running process
        L"quillmark.dat.~" + ended,           // not our pattern from here on
        L"quillmark.dat.~" + ended + L".1.bak",
        L"quillmark.dat.~" + ended + L".1x",
        L"quillmark.dat.~x" + ended + L".1",
        L"xquillmark.dat.~" + ended + L".1",
        L"default.qmk.~" + ended + L".1",
    };
    for (const std::wstring& name : stale) writeFile(dir.file(name), "stale");
    for (const std::wstring& name : kept) writeFile(dir.file(name), "keep");
    const std::wstring folder = dir.file((L"quillmark.dat.~" + ended + L".3").c_str());
    REQUIRE(CreateDirectoryW(folder.c_str(), nullptr));  // a folder is never removed

    store.SetStr(L"AdminPass", L"pw");
    REQUIRE(store.Flush(true));

    std::vector<std::wstring> expected = kept;
    expected.push_back(L"quillmark.dat");
    expected.push_back(L"quillmark.dat.~" + ended + L".3");
    std::vector<std::wstring> found = dir.names();
    std::sort(expected.begin(), expected.end());
    std::sort(found.begin(), found.end());
    CHECK(found == expected);
    for (const std::wstring& name : kept) CHECK(readBytes(dir.file(name)) == "keep");
    CHECK(TEncriptor(path, true).GetStr(L"AdminPass", L"") == L"pw");
    RemoveDirectoryW(folder.c_str());
}
