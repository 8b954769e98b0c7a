#pragma once
// The real main window driven in-process under Wine: a store folder of its own, the
// product's resources, message boxes answered by a hook, screenshots.
#include <doctest/doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/win/handles.h"
#include "resources/resource.h"
#include "platform/user.h"
#include "store/Encript.h"
#include "tests/support/environment.h"
#include "tests/support/files.h"
#include "tests/support/program.h"
#include "tests/support/screenshot.h"
#include "ui/mainwindow.h"

namespace guitest {

namespace fs = std::filesystem;

inline const std::string kMarker = "#QZRWPLMTBKXNDCVG$HSYFJEWQAZMRTLK";

using testsupport::artifacts;
using testsupport::env;
using testsupport::ProductResources;
using testsupport::readBytes;
using testsupport::runReg;
using testsupport::screenshot;
using testsupport::TempFolder;

inline void forgetPlacement()
{
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quillmark\\frmQuillmark");
}

inline std::wstring userName()
{
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) ? std::wstring(name, size - 1) : std::wstring();
}

// The running user as the window names it: DOMAIN\name.
inline std::wstring shownUserName()
{
    return accountNameOfSid(runningUserSid()).value_or(userName());
}

// The scrambled file read without the store's code: lines of 80 characters ending in CR LF,
// a rolling offset over the joined text, then two hex passes with one XOR key, which is
// found by trying all 256. Returns the plain texts for every key that decodes cleanly.
inline std::vector<std::string> decodeStoreFile(const std::string& file)
{
    std::string joined;
    size_t pos = 0;
    while (pos < file.size()) {
        const size_t end = file.find("\r\n", pos);
        REQUIRE_MESSAGE(end != std::string::npos, "line without CR LF");
        const std::string line = file.substr(pos, end - pos);
        const bool last = end + 2 == file.size();
        CHECK((last ? (!line.empty() && line.size() <= 80) : line.size() == 80));
        for (char c : line) CHECK((c >= '0' && c <= 'O'));
        joined += line;
        pos = end + 2;
    }
    for (size_t i = 0; i < joined.size(); ++i) joined[i] = static_cast<char>(joined[i] - static_cast<char>(i % 10));

    const auto unhex = [](const std::string& text, int key, std::string& out) {
        out.clear();
        if (text.size() % 2) return false;
        for (size_t i = 0; i < text.size(); i += 2) {
            unsigned value = 0;
            if (std::sscanf(text.substr(i, 2).c_str(), "%2X", &value) != 1 || !std::isxdigit(text[i]) ||
                !std::isxdigit(text[i + 1]))
                return false;
            out += static_cast<char>(value ^ static_cast<unsigned>(key));
        }
        return true;
    };
    std::vector<std::string> texts;
    for (int key = 0; key < 256; ++key) {
        std::string once, twice;
        if (unhex(joined, key, once) && unhex(once, key, twice)) texts.push_back(twice);
    }
    return texts;
}

inline std::vector<std::wstring> menuTexts(HMENU menu)
{
    std::vector<std::wstring> texts;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t text[128] = {};
        GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
        std::wstring t = text;
        if (const size_t tab = t.find(L'\t'); tab != std::wstring::npos) t.resize(tab);
        std::erase(t, L'&');
        if (!t.empty()) texts.push_back(t);
        if (const HMENU sub = GetSubMenu(menu, i)) {
            for (const std::wstring& s : menuTexts(sub)) texts.push_back(t + L" > " + s);
        }
    }
    return texts;
}

inline const std::vector<std::wstring> kMenu = {
    L"File", L"File > Open profile...", L"File > Save", L"File > Choose user...",
    L"File > Export as .reg file...", L"File > Export as Registry.pol...",
    L"File > Exit", L"Edit", L"Edit > Undo all tweaks", L"Edit > Remove from registry", L"Edit > Administrators password...",
    L"Edit > Find a tweak", L"Edit > Pending changes...", L"View", L"View > Hide tweaks without effect on this Windows", L"View > Move the category split bar",
    L"View > Move the description split bar",
    L"Help", L"Help > Web site", L"Help > About ...",
};

// Answers every message box and task dialog of this thread with one button, or with the
// given buttons in turn (the last one for any further box), and keeps what they showed.
class MessageBoxAnswerer {
public:
    // textControl: the control whose text is recorded; a message box's text by default.
    explicit MessageBoxAnswerer(int button, int textControl = 0xFFFF)
        : MessageBoxAnswerer(std::vector<int>{button}, textControl) {}
    explicit MessageBoxAnswerer(std::vector<int> buttons, int textControl = 0xFFFF)
        : hook_(SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId()))
    {
        REQUIRE(hook_);
        REQUIRE_FALSE(buttons.empty());
        buttons_ = std::move(buttons);
        textControl_ = textControl;
        texts.clear();
        captions.clear();
        lastBox_ = nullptr;
    }
    static inline std::vector<std::wstring> texts, captions;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_ACTIVATE) {
            const HWND box = reinterpret_cast<HWND>(wParam);
            wchar_t cls[32] = {};
            GetClassNameW(box, cls, 32);
            if (std::wstring(cls) == L"#32770" && box != lastBox_) {
                lastBox_ = box;
                wchar_t text[2048] = {}, caption[128] = {};
                GetDlgItemTextW(box, textControl_, text, 2048);
                GetWindowTextW(box, caption, 128);
                texts.push_back(text);
                captions.push_back(caption);
                const std::size_t turn = std::min(texts.size() - 1, buttons_.size() - 1);
                PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(buttons_[turn]), 0);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    Unique<HHOOK, &UnhookWindowsHookEx> hook_;
    static inline std::vector<int> buttons_;
    static inline int textControl_ = 0xFFFF;
    static inline HWND lastBox_ = nullptr;
};

// The real main window in this process, its store in a folder of its own.
struct InProcessWindow {
    ProductResources resources;
    TempFolder folder{"gui"};
    std::unique_ptr<TfrmQuillmark> window;
    std::optional<std::wstring> exportPath;  // what File > Export writes to; none: cancelled
    std::optional<ExportContent> exportContent = ExportContent::Everything;  // the answer to its question
    std::optional<std::wstring> profilePath;  // what File > Open profile reads; none: cancelled
    // Told the list's context menu when it opens; returns the command chosen (none: 0).
    std::function<int(HMENU)> contextMenu;
    // isAdministrator: the tree's administrator test; none: the process's token. startUser: the
    // command line's /user. isElevated: the token's elevation; none: the process's (always
    // elevated under Wine).
    explicit InProcessWindow(const std::wstring& dataFolder = {}, std::function<bool()> isAdministrator = {},
                             bool mustStart = true, std::optional<std::wstring> startUser = {},
                             std::function<bool()> isElevated = {})
    {
        window = std::make_unique<TfrmQuillmark>(
            MainWindowOptions{.dataFolder = dataFolder.empty() ? folder.withSeparator() : dataFolder,
                              .endsApplication = false,
                              .resources = resources.get(),
                              .isAdministrator = std::move(isAdministrator),
                              .chooseExportPath = [this](bool) { return exportPath; },
                              .chooseExportContent = [this] { return exportContent; },
                              .chooseProfilePath = [this] { return profilePath; },
                              .startUser = std::move(startUser),
                              .isElevated = std::move(isElevated),
                              .restartElevated = {},
                              .trackContextMenu = [this](HMENU menu) { return contextMenu ? contextMenu(menu) : 0; }});
        window->Create(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
        if (mustStart) REQUIRE(window->hwnd());
    }
    HWND hwnd() const { return window->hwnd(); }
    bool saveEnabled() const
    {
        const UINT state = GetMenuState(GetMenu(hwnd()), IDM_SAVE, MF_BYCOMMAND);
        return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
    }
    // A change that only a save writes: in the store's memory, reported to the window.
    void change()
    {
        REQUIRE(SettingsStore);
        SettingsStore->SetStr(L"Probe", L"1");
        window->OnSettingsChanged(-1);
    }
};

inline LayoutRect rectIn(HWND control, HWND parent)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return {r.left, r.top, r.right, r.bottom};
}

}  // namespace guitest
