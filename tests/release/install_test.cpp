// The MSI under Wine's msiexec, as an administrator deploys it: a silent install, the installed
// program started, an upgrade in place, a refused downgrade and an uninstall that keeps the
// settings the program wrote. The packages come from prepare.sh (QM_RELEASE).
#include <doctest/doctest.h>

#include <windows.h>

#include <msi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "resources/dialogs.h"
#include "tests/wine/gui_fixture.h"
#include "ui/about.h"

using namespace guitest;
namespace fs = std::filesystem;

namespace {

const wchar_t* const UpgradeCode = L"{8EEF7456-6CB6-436A-8739-0C93D8CA394B}";
const wchar_t* const ShippedFiles[] = {L"quillmark.exe", L"README.md", L"LICENSE", L"THIRD-PARTY-NOTICES"};

// major.minor.patch as written in VERSION at the root of the sources.
std::wstring sourceVersion()
{
    std::string text = testsupport::sourceFile("VERSION");
    text.erase(text.find_last_not_of("\r\n ") + 1);
    return {text.begin(), text.end()};
}

fs::path knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    REQUIRE(SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK);
    const fs::path folder(path);
    CoTaskMemFree(path);
    return folder;
}

// msiexec with the given action and package, silent, its log among the artifacts.
DWORD msiexec(const std::wstring& action, const fs::path& package, const wchar_t* log)
{
    return testsupport::runUncaptured(L"msiexec.exe " + action + L" \"" + package.wstring() + L"\" /qn /l*v \"" +
                                          (artifacts() / log).wstring() + L"\"",
                                      180000);
}

// The products installed under Quillmark's upgrade code.
std::vector<std::wstring> installedProducts()
{
    std::vector<std::wstring> codes;
    wchar_t code[39];
    for (DWORD i = 0; MsiEnumRelatedProductsW(UpgradeCode, 0, i, code) == ERROR_SUCCESS; ++i) codes.push_back(code);
    return codes;
}

std::wstring productVersion(const std::wstring& code)
{
    wchar_t text[64] = {};
    DWORD size = 64;
    if (MsiGetProductInfoW(code.c_str(), INSTALLPROPERTY_VERSIONSTRING, text, &size) != ERROR_SUCCESS) return {};
    return text;
}

// Where the Start menu's Quillmark shortcut points; empty without one. A per-machine shortcut
// goes to the common Start menu on Windows and to the user's under Wine.
std::wstring shortcutTarget()
{
    for (const KNOWNFOLDERID& id : {FOLDERID_CommonPrograms, FOLDERID_Programs}) {
        const fs::path link = knownFolder(id) / L"Quillmark.lnk";
        if (!fs::exists(link)) continue;
        ComPtr<IShellLinkW> shellLink;
        REQUIRE(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 shellLink.putVoid()) == S_OK);
        ComPtr<IPersistFile> file;
        REQUIRE(shellLink->QueryInterface(IID_IPersistFile, file.putVoid()) == S_OK);
        REQUIRE(file->Load(link.c_str(), STGM_READ) == S_OK);
        wchar_t target[MAX_PATH] = {};
        REQUIRE(shellLink->GetPath(target, MAX_PATH, nullptr, 0) == S_OK);
        return target;
    }
    return {};
}

// The assembly version in the manifest built into the exe.
std::wstring manifestVersion(const fs::path& exe)
{
    UniqueModule module(
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    REQUIRE(module);
    const HRSRC found = FindResourceW(module.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    REQUIRE(found);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module.get(), found)));
    const std::string manifest(data, SizeofResource(module.get(), found));
    const std::string key = "name=\"Quillmark\" version=\"";
    const std::size_t at = manifest.find(key);
    REQUIRE(at != std::string::npos);
    const std::size_t start = at + key.size();
    const std::string version = manifest.substr(start, manifest.find('"', start) - start);
    return {version.begin(), version.end()};
}

// The version line of the installed exe's own About box.
std::wstring aboutLine(const fs::path& exe)
{
    UniqueModule resources(
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    REQUIRE(resources);
    MessageBoxAnswerer answerer(IDOK, IDC_VERSION);
    TfrmAbout about(resources.get(), exe.wstring());
    about.ShowModal(nullptr);
    REQUIRE(MessageBoxAnswerer::texts.size() == 1);
    return MessageBoxAnswerer::texts[0];
}

// Starts the program as its shortcut does, waits for its window and closes it.
void startAndClose(const fs::path& exe)
{
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
    REQUIRE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           exe.parent_path().c_str(), &si, &pi));
    UniqueHandle process(pi.hProcess), thread(pi.hThread);
    HWND window = nullptr;
    for (int i = 0; i < 300 && !(window && IsWindowVisible(window)); ++i) {
        Sleep(100);
        window = FindWindowW(L"TfrmQuillmark", L"Quillmark");
    }
    REQUIRE_MESSAGE(window, "the installed program showed no window");
    CHECK(IsWindowVisible(window));
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    CHECK(owner == pi.dwProcessId);
    PostMessageW(window, WM_CLOSE, 0, 0);
    REQUIRE(WaitForSingleObject(process.get(), 20000) == WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    CHECK(exitCode == 0);
}

bool sameFile(const std::wstring& a, const fs::path& b) { return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL; }

}  // namespace

TEST_CASE("the MSI installs, starts, upgrades in place, refuses a downgrade and uninstalls keeping the settings")
{
    const ComApartment com;
    const std::wstring version = sourceVersion(), next = env(L"QM_NEXT_VERSION");
    const fs::path release = env(L"QM_RELEASE");
    const fs::path msi = release / L"dist" / (L"quillmark-" + version + L"-x64.msi");
    const fs::path nextMsi = release / L"next.msi";
    const fs::path folder = knownFolder(FOLDERID_ProgramFiles) / L"Quillmark";
    const fs::path exe = folder / L"quillmark.exe";

    // What an earlier, interrupted run left behind.
    for (const std::wstring& code : installedProducts()) msiexec(L"/x", code, L"leftover.log");
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    REQUIRE(installedProducts().empty());

    // A silent install: the files in Program Files, the Start menu shortcut, one product.
    REQUIRE(msiexec(L"/i", msi, L"install.log") == 0);
    for (const wchar_t* file : ShippedFiles) CHECK_MESSAGE(fs::exists(folder / file), fs::path(file).string());
    CHECK(sameFile(shortcutTarget(), exe));
    const std::vector<std::wstring> first = installedProducts();
    REQUIRE(first.size() == 1);

    // One version everywhere: VERSION, the MSI, the exe's version record, its manifest, About.
    const std::wstring majorMinor = version.substr(0, version.rfind(L'.'));
    CHECK(productVersion(first[0]) == version);
    CHECK(GetAppVersion(exe.wstring()) == version + L".0");
    CHECK(manifestVersion(exe) == version + L".0");
    CHECK(aboutLine(exe) == L"Version " + majorMinor + L" (Build " + version + L".0)");

    // The installed program starts; as an administrator it writes its settings beside itself.
    startAndClose(exe);
    const fs::path settings[] = {folder / L"quillmark.dat", folder / L"default.qmk"};
    std::vector<std::string> written;
    for (const fs::path& file : settings) {
        REQUIRE(fs::exists(file));
        written.push_back(readBytes(file));
    }

    // The next version replaces this one in place and keeps the settings.
    REQUIRE(msiexec(L"/i", nextMsi, L"upgrade.log") == 0);
    const std::vector<std::wstring> upgraded = installedProducts();
    REQUIRE(upgraded.size() == 1);
    CHECK(upgraded[0] != first[0]);
    CHECK(productVersion(upgraded[0]) == next);
    CHECK(MsiQueryProductStateW(first[0].c_str()) == INSTALLSTATE_UNKNOWN);
    CHECK(GetAppVersion(exe.wstring()) == next + L".0");
    CHECK(sameFile(shortcutTarget(), exe));
    for (std::size_t i = 0; i < std::size(settings); ++i) CHECK(readBytes(settings[i]) == written[i]);

    // An older package does not replace a newer one.
    CHECK(msiexec(L"/i", msi, L"downgrade.log") != 0);
    CHECK(installedProducts() == upgraded);
    CHECK(GetAppVersion(exe.wstring()) == next + L".0");

    // Uninstall removes what the package brought and leaves what the program wrote.
    REQUIRE(msiexec(L"/x", nextMsi, L"uninstall.log") == 0);
    CHECK(installedProducts().empty());
    for (const wchar_t* file : ShippedFiles) CHECK_FALSE_MESSAGE(fs::exists(folder / file), fs::path(file).string());
    CHECK(shortcutTarget().empty());
    for (std::size_t i = 0; i < std::size(settings); ++i) CHECK(readBytes(settings[i]) == written[i]);

    fs::remove_all(folder, ignored);
}
