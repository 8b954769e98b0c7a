// The Windows part of base/ on the real system: handles, COM, the executable's path, the
// system's error text and ANSI code page; the error text contract on the real registry and
// file system, and the derivation contract on bcrypt.dll.
#include "tests/contract/error_text_contract.cpp"
#include "tests/contract/crypto_contract.cpp"

#include <windows.h>

#include <filesystem>
#include <string>

#include "base/text.h"
#include "base/win/handles.h"
#include "base/win/module.h"
#include "base/win/win32_error.h"

namespace {

namespace fs = std::filesystem;

bool handleOpen(HANDLE h)
{
    DWORD flags = 0;
    return GetHandleInformation(h, &flags) != FALSE;
}

// A COM object that counts its references.
class Counted : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }
    int references = 1;
};

}  // namespace

TEST_CASE("a handle has one owner: moved, reset and closed once")
{
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    REQUIRE(event);
    const HANDLE raw = event.get();
    UniqueHandle moved(std::move(event));
    CHECK_FALSE(event);
    CHECK(moved.get() == raw);
    CHECK(handleOpen(raw));
    moved.reset();
    CHECK_FALSE(handleOpen(raw));

    // Files and find handles fail with INVALID_HANDLE_VALUE, not null.
    const UniqueFile missing(CreateFileW(L"C:\\no such folder\\no such file", GENERIC_READ, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    CHECK_FALSE(missing);
    CHECK(missing.get() == INVALID_HANDLE_VALUE);
    WIN32_FIND_DATAW data;
    CHECK_FALSE(UniqueFind(FindFirstFileW(L"C:\\no such folder\\*", &data)));
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    UniqueFind found(FindFirstFileW((std::wstring(windows) + L"\\*").c_str(), &data));
    REQUIRE(found);
    const HANDLE findHandle = found.get();
    found.reset();
    CHECK_FALSE(FindNextFileW(findHandle, &data));  // closed
}

TEST_CASE("a device context and the object selected into it come back on every way out")
{
    const UniqueGdi<HFONT> font(CreateFontW(-12, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                            DEFAULT_PITCH, L"Tahoma"));
    REQUIRE(font);
    const WindowDc screen(nullptr);
    REQUIRE(screen.get());
    const HGDIOBJ before = GetCurrentObject(screen.get(), OBJ_FONT);
    try {
        const SelectedObject selected(screen.get(), font.get());
        CHECK(GetCurrentObject(screen.get(), OBJ_FONT) == font.get());
        throw std::runtime_error("drawing failed");
    } catch (const std::runtime_error&) {
    }
    CHECK(GetCurrentObject(screen.get(), OBJ_FONT) == before);
}

TEST_CASE("a COM pointer releases its reference once, also when its slot is reused")
{
    Counted first, second;
    {
        ComPtr<IUnknown> pointer(&first);
        ComPtr<IUnknown> other(std::move(pointer));
        CHECK_FALSE(pointer);
        CHECK(first.references == 1);
        *other.put() = &second;  // an out parameter: the old reference goes first
        CHECK(first.references == 0);
        CHECK(second.references == 1);
    }
    CHECK(second.references == 0);
}

TEST_CASE("COM set up for a scope and undone after it")
{
    {
        const ComApartment com;
        // The thread is in a single-threaded apartment now: another model is refused.
        const HRESULT other = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CHECK(other == RPC_E_CHANGED_MODE);
        {
            const ComApartment again;  // a further reference, given back by itself
        }
        CHECK(CoInitializeEx(nullptr, COINIT_MULTITHREADED) == RPC_E_CHANGED_MODE);
    }
    const HRESULT after = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CHECK(after == S_OK);
    if (SUCCEEDED(after)) CoUninitialize();
}

TEST_CASE("the system's error text, in Unicode, without its line end")
{
    wchar_t expected[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                        ERROR_ACCESS_DENIED, 0, expected, 512, nullptr);
    REQUIRE(length > 0);
    std::wstring text = expected;
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    CHECK(systemErrorText(ERROR_ACCESS_DENIED) == text);
    CHECK(systemErrorText(0x2FFFFFFF) == L"error 805306367");

    SetLastError(ERROR_FILE_NOT_FOUND);
    try {
        throwLastError("OpenThing");
        FAIL("nothing raised");
    } catch (const Win32Error& error) {
        CHECK(error.code() == ERROR_FILE_NOT_FOUND);
        CHECK(errorText(error) == L"OpenThing: " + systemErrorText(ERROR_FILE_NOT_FOUND));
    }
    CHECK_NOTHROW(throwIfFailed(ERROR_SUCCESS, "RegSetValueExW"));
    CHECK_THROWS_AS(throwIfFailed(ERROR_ACCESS_DENIED, "RegSetValueExW"), Win32Error);
}

TEST_CASE("the ANSI code page: what it carries, what it loses, look-alikes included")
{
    REQUIRE(GetACP() == 1252);  // Wine's default for an English prefix
    bool lossless = false;
    CHECK(toAnsi(L"\u20ac \u00e9", &lossless) == "\x80 \xE9");
    CHECK(lossless);
    CHECK(fromAnsi("\x80 \xE9") == L"\u20ac \u00e9");
    // "a with ogonek" has a best-fit "a" in 1252: written, but not the same text.
    toAnsi(L"\u0105", &lossless);
    CHECK_FALSE(lossless);
    toAnsi(L"\u0416", &lossless);
    CHECK_FALSE(lossless);
}

TEST_CASE("Unicode case folding of the Windows build agrees with the native one")
{
    CHECK(sameTextNoCase(L"\u043f\u0430\u043f\u043a\u0430", L"\u041f\u0410\u041f\u041a\u0410"));
    CHECK(sameTextNoCase(L"\u00ff", L"\u0178"));
    CHECK_FALSE(sameTextNoCase(L"\u0131", L"I"));
    CHECK_FALSE(sameTextNoCase(L"\u017f", L"S"));
    CHECK_FALSE(sameTextNoCase(L"\u00df", L"SS"));
}

TEST_CASE("the path of a module in full beyond MAX_PATH")
{
    const std::wstring self = modulePath();
    CHECK(self.ends_with(L"\\base_win_test.exe"));
    CHECK(executableFolder() + executableName() == self);

    // A copy of this program deeper than MAX_PATH, mapped as a module: Wine starts no
    // process from such a path, but it maps one, and the name must come back whole.
    const fs::path top = fs::temp_directory_path() / L"qm_long_path";
    fs::path folder = top;
    for (int i = 0; folder.wstring().size() <= MAX_PATH + 20; ++i)
        folder /= std::wstring(40, static_cast<wchar_t>(L'a' + i));
    const std::wstring copy = (folder / L"base_win_test.exe").wstring();
    REQUIRE(copy.size() > MAX_PATH);
    fs::create_directories(folder);
    fs::copy_file(self, copy, fs::copy_options::overwrite_existing);
    {
        const UniqueModule module(LoadLibraryExW(copy.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES));
        REQUIRE(module);
        CHECK(modulePath(module.get()) == copy);
    }
    std::error_code ec;
    fs::remove_all(top, ec);
}
