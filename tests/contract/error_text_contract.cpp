// Every error of the program reaches the user with its text intact: a name in Cyrillic
// stays Cyrillic through the error's message, its what() and errorText, the one function a
// message box uses. The same sources run natively and under Wine, each error made by the
// real failure it stands for (the in-memory registry natively, the real one under Wine).
#include <doctest/doctest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "app/export.h"
#include "base/error.h"
#include "base/text.h"
#include "registry/applytweak.h"
#include "registry/regaccess.h"
#include "scheme/xml.h"
#include "store/Encript.h"
#include "tests/contract/registry_contract.h"
#include "tests/support/files.h"

#ifdef _WIN32
#include <windows.h>

#include "base/win/win32_error.h"
#endif

namespace errortext {

namespace fs = std::filesystem;

// "Folder", "value", "key" in Russian: names no ASCII-only path would keep.
inline const std::wstring kFolder = L"\u043f\u0430\u043f\u043a\u0430";
inline const std::wstring kValue = L"\u0437\u043d\u0430\u0447\u0435\u043d\u0438\u0435";
inline const std::wstring kKey = L"\u041a\u043b\u044e\u0447";

// A folder of its own whose child kFolder does not exist; paths joined as text, since the
// native build's paths convert only ASCII to wide text and back.
struct ScratchFolder {
    testsupport::TempFolder folder{"error_text"};
    std::wstring missing(const std::wstring& file) const {
        const std::wstring separator(1, static_cast<wchar_t>(fs::path::preferred_separator));
        return folder.path.wstring() + separator + kFolder + separator + file;
    }
};

// What the user reads for the error `raise` throws, after checking that the exception's
// own what() carries the same text in UTF-8.
inline std::wstring textOf(const std::function<void()>& raise) {
    try {
        raise();
    } catch (const std::exception& error) {
        CHECK(fromUtf8(error.what()) == errorText(error));
        CHECK(currentErrorText() == errorText(error));
        return errorText(error);
    }
    return L"(nothing raised)";
}

inline bool contains(const std::wstring& text, const std::wstring& part) { return text.find(part) != std::wstring::npos; }

}  // namespace errortext

TEST_CASE("every error type keeps a non-ASCII name in the text the user reads") {
    using namespace errortext;
    contract::Sandbox sandbox;
    ScratchFolder folder;
    const std::wstring key = sandbox.path(kKey);

    SUBCASE("reader error") {
        const std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?><" + toUtf8(kFolder) + "></" +
                                toUtf8(kKey) + ">";
        const std::wstring text = textOf([&] { XmlDocument().loadFromBytes(xml); });
        CHECK(text == L"Invalid XML Element: Erroneous end of tag, expecting </" + kFolder + L"> but </" + kKey +
                          L"> found");
    }
    SUBCASE("registry error") {
        CHECK(textOf([&] { RemoveValue(kHkeyCurrentUser, key, kValue); }) ==
              L"Unable to open key \"HKEY_CURRENT_USER\\" + key + L"\" for write");
        std::vector<std::wstring> names;
        CHECK(textOf([&] { ListSubkeyNames(kHkeyCurrentUser, key, names); }) ==
              L"Unable to open key \"HKEY_CURRENT_USER\\" + key + L"\" for read");
    }
    SUBCASE("registry error of a save, as its failure list shows it") {
        TweakPlan plan;
        plan.tweakName = L"T";
        RegistryWrite removal;
        removal.op = RegistryWrite::Op::DeleteValue;
        removal.root = kHkeyCurrentUser;
        removal.keyPath = key;
        removal.valueName = kValue;
        LocationPlan location;
        location.write = removal;
        plan.locations.push_back(location);
        const std::vector<LocationFailure> failures = ExecutePlan(plan);
        REQUIRE(failures.size() == 1);
        CHECK(failures[0].message == L"Unable to open key \"HKEY_CURRENT_USER\\" + key + L"\" for write");
    }
    SUBCASE("store error") {
        const std::wstring path = folder.missing(L"quillmark.dat");
        const std::wstring text = textOf([&] { TEncriptor store(path, true); });
        CHECK(text.starts_with(L"Cannot create " + path + L"."));
        CHECK(contains(text, kFolder));
    }
    SUBCASE("export error") {
        const std::wstring path = folder.missing(kValue + L".reg");
        const std::string utf8 = toUtf8(path);
        const fs::path file(std::u8string(utf8.begin(), utf8.end()));
        CHECK(textOf([&] { WriteRegFile(file, ExportPlan{}); }) == L"Unable to write the file \"" + path + L"\"");
    }
#ifdef _WIN32
    SUBCASE("system error") {
        const std::wstring path = folder.missing(kValue);
        const std::wstring text = textOf([&] {
            const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            REQUIRE(file == INVALID_HANDLE_VALUE);
            throw Win32Error(L"CreateFileW " + path, GetLastError());
        });
        CHECK(text == L"CreateFileW " + path + L": " + systemErrorText(ERROR_PATH_NOT_FOUND));
    }
#endif
}

TEST_CASE("errorText of exceptions that are not the program's own") {
    using errortext::textOf;
    // A library's message is UTF-8, or plain bytes that read as Latin-1.
    CHECK(textOf([] { throw std::runtime_error("caf\xC3\xA9"); }) == L"caf\u00e9");
    CHECK(textOf([] { throw std::runtime_error("caf\xE9"); }) == L"caf\u00e9");
    try {
        throw 42;
    } catch (...) {
        CHECK(currentErrorText() == L"Unknown error");
    }
}
