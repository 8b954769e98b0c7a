#include "app/export.h"

#include "app/locationtext.h"
#include "app/runlists.h"
#include "app/savesequence.h"
#include "base/text.h"
#include "profile/polfile.h"
#include "profile/profilefile.h"
#include "profile/regfile.h"
#include "registry/applytweak.h"
#include "registry/cpapplets.h"
#include "registry/regaccess.h"
#include "scheme/xmldata.h"

namespace {

class PlanBuilder {
public:
    ProfileKey& key(RegRoot root, const std::wstring& path) {
        for (ProfileKey& k : plan.Keys)
            if (k.Root == root && sameTextNoCase(k.Path, path)) return k;
        plan.Keys.push_back({root, path, ProfileKey::Removal::None, true, {}});
        return plan.Keys.back();
    }
    // A later change of the same value replaces the earlier one, as the later write would.
    void value(RegRoot root, const std::wstring& path, const std::wstring& name, std::optional<RegValue> data) {
        ProfileKey& k = key(root, path);
        for (ProfileValue& v : k.Values)
            if (sameTextNoCase(v.Name, name)) {
                v.Data = std::move(data);
                return;
            }
        k.Values.push_back({name, std::move(data)});
    }
    void write(const RegistryWrite& w) {
        if (w.op == RegistryWrite::Op::DeleteValue)
            value(w.root, w.keyPath, w.valueName, std::nullopt);
        else if (std::optional<RegValue> data = WrittenValue(w))
            value(w.root, w.keyPath, w.valueName, std::move(data));
    }
    void leaveOut(const std::wstring& name, const std::wstring& caption, const std::wstring& where) {
        for (const ExportLeftOut& l : plan.LeftOut)
            if (sameTextNoCase(l.Name, name)) return;
        plan.LeftOut.push_back({name, caption, where});
    }
    ExportPlan plan;
};

bool isClassKey(const TweakLocation& location) {
    const TValueTypeRec* type = FindValueType(location.ValueType);
    return type && type->Kind == ValueKind::Clsid;
}

std::wstring place(RegRoot root, const std::wstring& path) { return RootKeyName(root) + L"\\" + path; }

}  // namespace

ExportPlan PlanExport(const TAppObjectsList& entries, const std::wstring& ownExeName,
                      const std::function<bool(const std::wstring& name)>& include) {
    const auto included = [&](const std::wstring& name) { return !include || include(name); };
    PlanBuilder builder;
    for (const TweakRequest& r : CheckBoxTweakRequests(entries)) {
        if (!included(r.Name)) continue;
        TweakPlan plan;
        try {
            plan = PlanTweak(r.Name, r.Wanted, r.GroupName, r.Text, r.Number,
                             r.Wanted ? PlanScope::All : PlanScope::Changed);
        } catch (const std::exception&) {
            continue;  // the Office key vanished while it was read: nothing to tell here
        }
        for (const LocationPlan& location : plan.locations) {
            if (isClassKey(location.location))
                builder.leaveOut(r.Name, getCaption(r.Name), place(location.location.Root, location.location.KeyPath));
            else if (location.write)
                builder.write(*location.write);
        }
    }
    for (const SwitchRequest& r : AppletRequests(entries)) {
        if (!included(r.Name)) continue;
        const std::optional<RegistryWrite> write =
            r.Set ? PlanAppletState(r.Name, true, PlanScope::All) : PlanAppletState(r.Name, false);
        if (write) builder.write(*write);
    }
    for (const TweakRequest& r : RunListRequests(entries)) {
        if (!r.Wanted || !included(r.Name)) continue;  // switched off: the list stays as it is
        const RunListPlan runList = PlanRunList(r.Name, true, ownExeName);
        ProfileKey& key = builder.key(runList.Root, runList.KeyPath);
        key.Remove = ProfileKey::Removal::Tree;
        key.Recreate = true;
        key.Values.clear();
        for (const auto& [name, fileName] : runList.Values) key.Values.push_back({name, RegValue{kRegSz, toUtf16le(fileName, true)}});
    }
    for (const ProfileKey& key : builder.plan.Keys)
        if (key.Root != kHkeyLocalMachine && key.Root != kHkeyCurrentUser)
            builder.plan.NotInPolicy.push_back({{}, {}, place(key.Root, key.Path)});
    return std::move(builder.plan);
}

std::wstring RegFileText(const ExportPlan& plan) {
    std::vector<std::wstring> comments;
    if (!plan.MadeFor.empty())
        comments.push_back(L"Made for " + plan.MadeFor + L": HKEY_CURRENT_USER below is the user who imports this file.");
    for (const ExportLeftOut& l : plan.LeftOut)
        comments.push_back(L"Left out: \"" + l.Caption + L"\" (" + l.Name + L") renames a class key under " + l.Where +
                           L", which a .reg file cannot express.");
    return RegFileText(plan.Keys, comments);
}

std::vector<std::uint8_t> RegFileBytes(const ExportPlan& plan) { return RegFileBytes(RegFileText(plan)); }

PolicyFiles PolicyFileBytes(const ExportPlan& plan) {
    return {PolicyFileBytes(plan.Keys, kHkeyLocalMachine), PolicyFileBytes(plan.Keys, kHkeyCurrentUser)};
}

void WriteRegFile(const std::filesystem::path& file, const ExportPlan& plan) {
    WriteProfileFile(file, RegFileBytes(plan));
}

namespace {
const char* const PolicyParts[] = {"Machine", "User"};
}

std::vector<std::filesystem::path> ExistingPolicyFiles(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> found;
    for (const char* part : PolicyParts) {
        std::error_code ec;
        if (std::filesystem::exists(folder / part / "Registry.pol", ec)) found.push_back(folder / part / "Registry.pol");
    }
    return found;
}

std::wstring ReplacePolicyFilesQuestion(const std::vector<std::filesystem::path>& files) {
    std::wstring text = files.size() == 1 ? L"This file already exists:\n" : L"These files already exist:\n";
    for (const std::filesystem::path& file : files) {
        const std::u8string name = file.u8string();
        text += L"\n" + fromUtf8({reinterpret_cast<const char*>(name.data()), name.size()});
    }
    return text + (files.size() == 1 ? L"\n\nDo you want to replace it?" : L"\n\nDo you want to replace them?");
}

std::vector<std::filesystem::path> WritePolicyFiles(const std::filesystem::path& folder, const ExportPlan& plan,
                                                    const std::filesystem::path& fileName) {
    const PolicyFiles files = PolicyFileBytes(plan);
    std::vector<std::filesystem::path> written;
    for (const auto& [part, bytes] : {std::pair{PolicyParts[0], &files.Machine}, std::pair{PolicyParts[1], &files.User}}) {
        const std::filesystem::path dir = folder / part;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        WriteProfileFile(dir / fileName, *bytes);
        written.push_back(dir / fileName);
    }
    return written;
}

std::wstring ExportMessage(const ExportPlan& plan) {
    std::wstring text;
    if (!plan.LeftOut.empty()) {
        text += L"These tweaks rename a class key, which neither a .reg file nor a Registry.pol file can "
                L"express; they were left out of the export:\n";
        for (const ExportLeftOut& l : plan.LeftOut) text += L"\n" + l.Caption + L" (" + l.Name + L")";
    }
    if (!plan.NotInPolicy.empty()) {
        if (!text.empty()) text += L"\n\n";
        text += L"These keys are outside HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER; they are in the .reg "
                L"file but not in the Registry.pol files:\n";
        for (const ExportLeftOut& l : plan.NotInPolicy) text += L"\n" + l.Where;
    }
    return text;
}
