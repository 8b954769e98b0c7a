#pragma once
// A started main window model on the in-memory registry: a fixture scheme, a store in a
// scratch folder, applet entries from a fake enumeration, and other users' hives opened on it.
#include <doctest/doctest.h>

#include <cstdlib>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/mainmodel.h"
#include "base/error.h"
#include "registry/memory_registry.h"
#include "tests/native/registry_fixture.h"
#include "tests/support/files.h"

namespace apptest {

namespace fs = std::filesystem;

using testsupport::sourceFile;

using testsupport::TempFolder;

// Registry paths and value names in one case, for comparing them as Windows does.
inline std::wstring lower(std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return s;
}

struct FakeApplet {
    std::wstring path, name;
    bool hidden;
};

// Appends its applets on its first call only, as the real enumeration does once its image
// list is filled.
struct FakeAppletEnumeration {
    std::vector<FakeApplet> applets{{L"C:\\Windows\\system32\\desk.cpl", L"Display", true},
                                    {L"::{GUID-MOUSE}\\mouse", L"Mouse", false}};
    int calls = 0;
    void operator()(TAppObjectsList& list) {
        if (calls++ > 0) return;
        int image = 2;
        for (const FakeApplet& a : applets) {
            auto entry = std::make_unique<TRestrListRec>();
            entry->AppName = a.path;
            entry->GroupName = L"CPApplets";
            entry->AType = L"CheckBox";
            entry->ACaption = L" Hide " + a.name;
            entry->ADescription = a.name;
            entry->SetValue = a.hidden;
            entry->nImageIndex = image++;
            list.Add(std::move(entry));
        }
    }
};

struct App {
    MemoryRegistry reg;
    ScopedRegistry scope{reg};
    TempFolder folder;
    FakeAppletEnumeration applets;
    TMainModel model;
    std::string scheme;

    explicit App(const std::string& schemeFile = "tests/fixtures/app/groups.xml") : scheme(sourceFile(schemeFile)) {
        model.LoadCPApplets = [this](TAppObjectsList& list) { applets(list); };
    }
    ~App() { CHECK(reg.openKeyCount() == 0); }

    void start(bool administrator = true) {
        model.IsAdministrator = [administrator] { return administrator; };
        model.FormCreate({folder.withSeparator(), [this](XmlDocument& doc) { doc.loadFromBytes(scheme); },
                          [] { return std::wstring(L"alice"); }});
    }
    int index(const std::wstring& name) const { return model.FAppObjectsList.IndexOf(name); }
    TRestrListRec& entry(const std::wstring& name) { return model.FAppObjectsList[index(name)]; }
    std::vector<std::wstring> names() const {
        std::vector<std::wstring> out;
        for (int i = 0; i < model.FAppObjectsList.Count(); ++i) out.push_back(model.FAppObjectsList[i].AppName);
        return out;
    }
    // Switches an item as the list reports it after a click on its check box.
    ListChange toggle(const std::wstring& name, bool checked, ImageListKind images = ImageListKind::Img16) {
        return model.lstRestrListChange(name, checked, images);
    }
};

// Opens hives as the platform would: HKEY_USERS\<SID> for a signed-in user, a mount named
// after the SID for the others. Counts the hives still open.
struct FakeHives {
    struct Hive : IUserHive {
        Hive(std::wstring key, int& open) : key(std::move(key)), open(open) { ++open; }
        ~Hive() override { --open; }
        const std::wstring& KeyName() const override { return key; }
        std::wstring key;
        int& open;
    };
    std::shared_ptr<int> open = std::make_shared<int>(0);
    std::vector<std::wstring> opened;
    std::optional<std::wstring> failure;
    OpenUserHiveHook hook() {
        return [this, open = open](const UserProfile& user) -> std::unique_ptr<IUserHive> {
            opened.push_back(user.Name);
            if (failure) throw WideError(*failure);
            return std::make_unique<Hive>(mountOf(user), *open);
        };
    }
    static std::wstring mountOf(const UserProfile& user) {
        return user.SignedIn ? user.Sid : L"Quillmark.1." + (user.Sid.empty() ? L"default" : user.Sid);
    }
};

inline const std::wstring kPolicies = L"Software\\QuillmarkTest\\Policies";
inline const std::wstring kMachine = L"Software\\QuillmarkTest\\Machine";

}  // namespace apptest
