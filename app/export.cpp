#include "app/export.h"

#include <cstdio>
#include <fstream>

#include "app/locationtext.h"
#include "app/runlists.h"
#include "app/savesequence.h"
#include "base/error.h"
#include "base/text.h"
#include "registry/applytweak.h"
#include "registry/cpapplets.h"
#include "registry/regaccess.h"
#include "scheme/xmldata.h"

namespace {

class PlanBuilder {
public:
    ExportKey& key(RegRoot root, const std::wstring& path) {
        for (ExportKey& k : plan.Keys)
            if (k.Root == root && sameTextNoCase(k.Path, path)) return k;
        plan.Keys.push_back({root, path, false, true, {}});
        return plan.Keys.back();
    }
    // A later change of the same value replaces the earlier one, as the later write would.
    void value(RegRoot root, const std::wstring& path, const std::wstring& name, std::optional<RegValue> data) {
        ExportKey& k = key(root, path);
        for (ExportValue& v : k.Values)
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

// regedit's escapes inside quotes.
std::wstring escaped(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\' || c == L'"') out += L'\\';
        out += c;
    }
    return out;
}

bool hasControlCharacter(const std::wstring& text) {
    for (wchar_t c : text)
        if (c < 0x20) return true;
    return false;
}

std::wstring hexBytes(const std::vector<std::uint8_t>& bytes) {
    std::wstring out;
    wchar_t pair[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::swprintf(pair, 4, L"%02x", bytes[i]);
        if (i) out += L',';
        out += pair;
    }
    return out;
}

std::wstring regData(const RegValue& value) {
    if (value.type == kRegDword && value.data.size() == 4) {
        wchar_t text[16];
        const std::uint32_t n = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                (static_cast<std::uint32_t>(value.data[3]) << 24);
        std::swprintf(text, 16, L"dword:%08x", static_cast<unsigned>(n));
        return text;
    }
    if (value.type == kRegSz) {
        const std::wstring text = registryText(value.data);
        // A line break inside quotes would end the line; hex(1) carries any text intact.
        if (!hasControlCharacter(text)) return L"\"" + escaped(text) + L"\"";
        return L"hex(1):" + hexBytes(value.data);
    }
    return L"hex(" + std::to_wstring(value.type) + L"):" + hexBytes(value.data);
}

void appendUnit(std::vector<std::uint8_t>& out, wchar_t c) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>((static_cast<std::uint32_t>(c) >> 8) & 0xFF));
}

void appendDword(std::vector<std::uint8_t>& out, std::uint32_t n) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}

void appendRecord(std::vector<std::uint8_t>& out, const std::wstring& key, const std::wstring& value, RegType type,
                  const std::vector<std::uint8_t>& data) {
    appendUnit(out, L'[');
    const std::vector<std::uint8_t> keyBytes = toUtf16le(key, true);
    out.insert(out.end(), keyBytes.begin(), keyBytes.end());
    appendUnit(out, L';');
    const std::vector<std::uint8_t> valueBytes = toUtf16le(value, true);
    out.insert(out.end(), valueBytes.begin(), valueBytes.end());
    appendUnit(out, L';');
    appendDword(out, type);
    appendUnit(out, L';');
    appendDword(out, static_cast<std::uint32_t>(data.size()));
    appendUnit(out, L';');
    out.insert(out.end(), data.begin(), data.end());
    appendUnit(out, L']');
}

std::vector<std::uint8_t> policyHeader() {
    std::vector<std::uint8_t> out{'P', 'R', 'e', 'g'};
    appendDword(out, 1);
    return out;
}

void writeFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (out) out.close();
    // The path as UTF-8 converts losslessly on every platform, unlike its native forms.
    const std::u8string name = file.u8string();
    if (!out) throw WideError(L"Unable to write the file \"" + fromUtf8({reinterpret_cast<const char*>(name.data()), name.size()}) + L"\"");
}

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
        ExportKey& key = builder.key(runList.Root, runList.KeyPath);
        key.DeleteFirst = true;
        key.Recreate = true;
        key.Values.clear();
        for (const auto& [name, fileName] : runList.Values) key.Values.push_back({name, RegValue{kRegSz, toUtf16le(fileName, true)}});
    }
    for (const ExportKey& key : builder.plan.Keys)
        if (key.Root != kHkeyLocalMachine && key.Root != kHkeyCurrentUser)
            builder.plan.NotInPolicy.push_back({{}, {}, place(key.Root, key.Path)});
    return std::move(builder.plan);
}

std::wstring RegFileText(const ExportPlan& plan) {
    const wchar_t* const end = L"\r\n";
    std::wstring text = std::wstring(L"Windows Registry Editor Version 5.00") + end + end;
    if (!plan.MadeFor.empty())
        text += L"; Made for " + plan.MadeFor + L": HKEY_CURRENT_USER below is the user who imports this file." +
                end + end;
    for (const ExportLeftOut& l : plan.LeftOut)
        text += L"; Left out: \"" + l.Caption + L"\" (" + l.Name + L") renames a class key under " + l.Where +
                L", which a .reg file cannot express." + end;
    if (!plan.LeftOut.empty()) text += end;
    for (const ExportKey& key : plan.Keys) {
        const std::wstring name = place(key.Root, key.Path);
        if (key.DeleteFirst) {
            text += L"[-" + name + L"]" + end + end;
            if (!key.Recreate) continue;
        }
        text += L"[" + name + L"]" + end;
        for (const ExportValue& v : key.Values) {
            text += v.Name.empty() ? std::wstring(L"@") : L"\"" + escaped(v.Name) + L"\"";
            text += L"=" + (v.Data ? regData(*v.Data) : std::wstring(L"-")) + end;
        }
        text += end;
    }
    return text;
}

std::vector<std::uint8_t> RegFileBytes(const ExportPlan& plan) {
    std::vector<std::uint8_t> bytes{0xFF, 0xFE};
    const std::vector<std::uint8_t> text = toUtf16le(RegFileText(plan), false);
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

PolicyFiles PolicyFileBytes(const ExportPlan& plan) {
    PolicyFiles files{policyHeader(), policyHeader()};
    // "**del." and "**delvals." records carry a blank text, as the policy editor writes them.
    const std::vector<std::uint8_t> blank = toUtf16le(L" ", true);
    for (const ExportKey& key : plan.Keys) {
        std::vector<std::uint8_t>* file = key.Root == kHkeyLocalMachine ? &files.Machine
                                          : key.Root == kHkeyCurrentUser ? &files.User
                                                                         : nullptr;
        if (!file) continue;
        if (key.DeleteFirst) {
            // A policy file removes values, not keys: the key is emptied, then filled again.
            appendRecord(*file, key.Path, L"**delvals.", kRegSz, blank);
            if (!key.Recreate) continue;
        }
        for (const ExportValue& v : key.Values) {
            if (v.Data)
                appendRecord(*file, key.Path, v.Name, v.Data->type, v.Data->data);
            else
                appendRecord(*file, key.Path, L"**del." + v.Name, kRegSz, blank);
        }
    }
    return files;
}

void WriteRegFile(const std::filesystem::path& file, const ExportPlan& plan) { writeFile(file, RegFileBytes(plan)); }

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

void WritePolicyFiles(const std::filesystem::path& folder, const ExportPlan& plan) {
    const PolicyFiles files = PolicyFileBytes(plan);
    for (const auto& [part, bytes] : {std::pair{PolicyParts[0], &files.Machine}, std::pair{PolicyParts[1], &files.User}}) {
        const std::filesystem::path dir = folder / part;
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        writeFile(dir / "Registry.pol", *bytes);
    }
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
