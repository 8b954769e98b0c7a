#include <doctest/doctest.h>

#include "app/appobjects.h"
#include "app/mainmodel.h"
#include "registry/cpapplets.h"
#include "registry/memory_registry.h"
#include "registry/regaccess.h"
#include "tests/native/registry_fixture.h"

using namespace regtest;

namespace {

const std::wstring kDontLoad = L"Control Panel\\don't load";
const std::wstring kApplet = L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\::{21EC2020-3AEA-1069-A2DD-08002B30309D}\\C:\\windows\\system32\\appwiz.cpl";

// The in-memory registry with a scheme that holds the CPApplets element.
struct Applets {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    SchemeScope scheme{"../applets/scheme.xml"};
    ~Applets() { CHECK(reg.openKeyCount() == 0); }

    std::optional<RegValue> value(const std::wstring& name = kApplet) {
        return getRaw(reg, kHkeyCurrentUser, kDontLoad, name);
    }
    bool keyExists() { return reg.openKey(kHkeyCurrentUser, kDontLoad, kKeyRead) != nullptr; }
};

const RegValue kAbsent{0xFFFFFFFF, {}};

}  // namespace

TEST_CASE("An applet reads as hidden only for the text Yes") {
    const struct {
        const char* what;
        RegValue stored;
        bool hidden;
    } cases[] = {
        {"absent", kAbsent, false}, {"Yes", sz(L"Yes"), true}, {"No", sz(L"No"), false},
        {"yes", sz(L"yes"), false}, {"Yes ", sz(L"Yes "), false}, {"DWORD 1", dword(1), false},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        Applets a;
        if (c.stored.type != kAbsent.type) setRaw(a.reg, kHkeyCurrentUser, kDontLoad, kApplet, c.stored);
        TCheckBoxRec rec;
        rec.SetValue = rec.Exists2 = rec.SetValue2 = true;
        rec.cValue = L"stale";
        rec.nValue = 7;
        GetAppletState(kApplet, rec);
        CHECK(rec.SetValue == c.hidden);
        CHECK(rec.SetValue1 == c.hidden);
        CHECK(rec.Exists1 == (c.stored.type != kAbsent.type));
        CHECK_FALSE(rec.Exists2);
        CHECK_FALSE(rec.SetValue2);
        CHECK(rec.cValue.empty());
        CHECK(rec.nValue == 0);
    }
}

TEST_CASE("ApplyAppletState writes Yes to hide, removes the value to show, and leaves agreeing values alone") {
    const struct {
        const char* what;
        RegValue before;
        bool hidden;
        RegValue after;
    } cases[] = {
        {"hide an absent applet", kAbsent, true, sz(L"Yes")},
        {"hide over No", sz(L"No"), true, sz(L"Yes")},
        {"hide over yes", sz(L"yes"), true, sz(L"Yes")},
        {"show a hidden applet removes the value", sz(L"Yes"), false, kAbsent},
        {"show keeps No as it is", sz(L"No"), false, sz(L"No")},
        {"show keeps an absent value absent", kAbsent, false, kAbsent},
        {"hide keeps Yes", sz(L"Yes"), true, sz(L"Yes")},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        Applets a;
        if (c.before.type != kAbsent.type) setRaw(a.reg, kHkeyCurrentUser, kDontLoad, kApplet, c.before);
        setRaw(a.reg, kHkeyCurrentUser, kDontLoad, L"other.cpl", sz(L"Yes"));
        ApplyAppletState(kApplet, c.hidden);
        if (c.after.type == kAbsent.type)
            CHECK(a.value() == std::nullopt);
        else
            CHECK(a.value() == c.after);
        CHECK(a.value(L"other.cpl") == sz(L"Yes"));
    }
}

TEST_CASE("Hiding creates the don't load key; agreeing with the registry creates nothing") {
    Applets a;
    ApplyAppletState(kApplet, false);
    CHECK_FALSE(a.keyExists());
    ApplyAppletState(kApplet, true);
    CHECK(a.keyExists());
    CHECK(a.value() == sz(L"Yes"));
}

TEST_CASE("Registry errors of ApplyAppletState reach the caller") {
    Applets a;
    SUBCASE("writing to a key that cannot be created") {
        a.reg.denyAccess(kHkeyCurrentUser, L"Control Panel");
        try {
            ApplyAppletState(kApplet, true);
            FAIL("no error");
        } catch (const EJclRegistryError& e) {
            CHECK(e.message() == L"Unable to open key \"HKEY_CURRENT_USER\\Control Panel\\don't load\" for write");
        }
    }
    SUBCASE("removing from a key that cannot be changed") {
        setRaw(a.reg, kHkeyCurrentUser, kDontLoad, kApplet, sz(L"Yes"));
        a.reg.denyAccess(kHkeyCurrentUser, kDontLoad, kKeySetValue);
        CHECK_THROWS_AS(ApplyAppletState(kApplet, false), EJclRegistryError);
        CHECK(a.value() == sz(L"Yes"));
    }
}

TEST_CASE("Without the CPApplets element applets read as shown and nothing is written") {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    SchemeScope scheme;  // the registry fixture has no CPApplets element
    setRaw(reg, kHkeyCurrentUser, kDontLoad, kApplet, sz(L"Yes"));
    TCheckBoxRec rec;
    GetAppletState(kApplet, rec);
    CHECK_FALSE(rec.SetValue);
    CHECK_FALSE(rec.Exists1);
    ApplyAppletState(L"new.cpl", true);
    CHECK(getRaw(reg, kHkeyCurrentUser, kDontLoad, L"new.cpl") == std::nullopt);
}

TEST_CASE("An applet entry carries the item's names, path, icon and state") {
    Applets a;
    setRaw(a.reg, kHkeyCurrentUser, kDontLoad, kApplet, sz(L"Yes"));
    const ControlPanelItem hidden{L"Add/Remove Programs", L"Add/Remove Programs (normal)", kApplet, 3};
    const TRestrListRec entry = MakeAppletEntry<TRestrListRec>(hidden);
    CHECK(entry.AppName == kApplet);
    CHECK(entry.GroupName == L"CPApplets");
    CHECK(entry.GroupName == AppletGroupName);
    CHECK(entry.AType == L"CheckBox");
    CHECK(entry.AFrame.empty());
    CHECK(entry.ACaption == L" Hide Add/Remove Programs");
    CHECK(entry.ADescription == L"Add/Remove Programs (normal)");
    CHECK(entry.SetValue);
    CHECK(entry.cValue.empty());
    CHECK(entry.nValue == 0);
    CHECK(entry.nImageIndex == 3);

    const TRestrListRec shown = MakeAppletEntry<TRestrListRec>({L"Display", L"Display", L"desk.cpl", 0});
    CHECK(shown.ACaption == L" Hide Display");
    CHECK(shown.ACaption.substr(0, 6) == L" Hide ");
    CHECK_FALSE(shown.SetValue);
    CHECK(shown.nImageIndex == 0);
}

TEST_CASE("An applet's path joins its levels from the top, class identifiers marked with ::") {
    const std::wstring computer = L"{20D04FE0-3AEA-1069-A2D8-08002B30309D}";
    const std::wstring controls = L"{21EC2020-3AEA-1069-A2DD-08002B30309D}";
    const struct {
        const char* what;
        std::vector<ShellLevel> levels;
        std::wstring path;
    } cases[] = {
        {"folders with class identifiers above the item",
         {{computer, L"ignored"}, {controls, L""}, {std::nullopt, L"C:\\windows\\system32\\appwiz.cpl"}},
         L"::" + computer + L"\\::" + controls + L"\\C:\\windows\\system32\\appwiz.cpl"},
        {"a folder without a class identifier is named by its parsing name",
         {{std::nullopt, L"C:\\"}, {std::nullopt, L"applet"}},
         L"C:\\\\applet"},
        {"one level", {{std::nullopt, L"desk.cpl"}}, L"desk.cpl"},
        {"no levels", {}, L""},
    };
    for (const auto& c : cases) {
        CAPTURE(c.what);
        CHECK(JoinAppletPath(c.levels) == c.path);
    }
}

TEST_CASE("Class identifiers are written in braces with upper-case digits in 8-4-4-4-12 groups") {
    const std::uint8_t computer[8] = {0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};
    CHECK(ClassIdText(0x20D04FE0, 0x3AEA, 0x1069, computer) == L"{20D04FE0-3AEA-1069-A2D8-08002B30309D}");
    const std::uint8_t small[8] = {0, 1, 2, 3, 4, 5, 6, 0xab};
    CHECK(ClassIdText(0xa, 0xb, 0xc, small) == L"{0000000A-000B-000C-0001-0203040506AB}");
}

TEST_CASE("An applet that cannot be written ends the save with its error and leaves the settings unsaved") {
    Applets a;
    TMainModel model;
    model.SaveSteps.applyAppletState = ApplyAppletState;
    auto entry = std::make_unique<TRestrListRec>(
        MakeAppletEntry<TRestrListRec>({L"Add/Remove Programs", L"Add/Remove Programs", kApplet, 2}));
    entry->SetValue = true;
    model.FAppObjectsList.Add(std::move(entry));
    model.SettingsChanged(-1);
    a.reg.denyAccess(kHkeyCurrentUser, L"Control Panel");

    CHECK_THROWS_AS(model.SaveSettings(), EJclRegistryError);
    CHECK(model.SettingsModified());
    CHECK(a.value() == std::nullopt);
}
