#include <doctest/doctest.h>

#include "store/Encript.h"
#include "store/atomic_file.h"
#include "tests/native/store_format.h"

#include <windows.h>

#include <string>
#include <vector>

using storeformat::decodeFile;

namespace {

struct Handle {
    HANDLE h;
    explicit Handle(HANDLE handle) : h(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { if (h != INVALID_HANDLE_VALUE) CloseHandle(h); }
};

// A fresh empty folder under the user's temp folder, removed afterwards.
struct TempDir {
    std::wstring path;
    TempDir() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static int counter = 0;
        path = std::wstring(base) + L"qm_store_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
        REQUIRE(CreateDirectoryW(path.c_str(), nullptr));
    }
    ~TempDir() {
        for (const std::wstring& name : names()) {
            std::wstring full = path + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(full.c_str());
        }
        RemoveDirectoryW(path.c_str());
    }
    std::wstring file(const wchar_t* name) const { return path + L"\\" + name; }
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> found;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return found;
        do {
            std::wstring name = data.cFileName;
            if (name != L"." && name != L"..") found.push_back(name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return found;
    }
};

std::string readThrough(HANDLE file) {
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    return content;
}

std::string readBytes(const std::wstring& path) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr));
    REQUIRE(file.h != INVALID_HANDLE_VALUE);
    return readThrough(file.h);
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
        Handle holder(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(holder.h != INVALID_HANDLE_VALUE);
        CHECK_THROWS_AS(store.Flush(true), EInOutError);
    }
    CHECK(store.MayFlush);
    CHECK(readBytes(path) == before);
    CHECK(dir.names() == std::vector<std::wstring>{L"quillmark.dat"});
}

TEST_CASE("a store on a folder that cannot hold it raises on creation") {
    TempDir dir;
    CHECK_THROWS_AS(TEncriptor(dir.file(L"missing\\quillmark.dat"), true), EInOutError);
    CHECK_THROWS_AS(TEncriptor(dir.path, true), EInOutError);
}
