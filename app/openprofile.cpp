#include "app/openprofile.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "app/locationtext.h"
#include "base/number.h"
#include "base/text.h"
#include "app/mainmodel.h"
#include "app/pathrules.h"
#include "app/runlists.h"
#include "registry/cpapplets.h"
#include "registry/regaccess.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"
#include "store/Encript.h"

namespace {

using NamedValues = std::vector<std::pair<std::wstring, std::optional<RegValue>>>;

// A later value of the same name replaces the earlier one, as a later write would.
void setNamed(NamedValues& values, const std::wstring& name, const std::optional<RegValue>& data) {
    for (auto& [n, d] : values)
        if (sameTextNoCase(n, name)) {
            d = data;
            return;
        }
    values.emplace_back(name, data);
}

// Whether removing `removed` (with its subkeys when tree) removes the values of `key`. An
// empty path is the root itself.
bool removes(const std::wstring& removed, bool tree, const std::wstring& key) {
    return sameTextNoCase(key, removed) || (tree && (removed.empty() || IsKeyInside(key, removed)));
}

// One location of a tweak as a profile's keys can meet it.
struct TweakTarget {
    int entry = -1;  // the first entry of the tweak's name: the one every edit reaches
    RegRoot root = 0;
    std::wstring keyPath;  // as the scheme gives it, an Office marker and all
    std::wstring valueName, valueType;

    // The location's key for a profile's key path: an Office location takes the version
    // that the path names.
    std::wstring keyFor(const std::wstring& path) const {
        if (std::optional<std::wstring> expanded = ExpandOfficeKeyFor(keyPath, path)) return *expanded;
        return keyPath;
    }
    bool holds(RegRoot r, const std::wstring& path, const std::wstring& name) const {
        return root == r && sameTextNoCase(keyFor(path), path) && sameTextNoCase(valueName, name);
    }
    bool removedBy(RegRoot r, const std::wstring& path, bool tree) const {
        if (root != r) return false;
        // Every Office version goes with the Office key or anything above it.
        if (HasOfficeMarker(keyPath) && !ExpandOfficeKeyFor(keyPath, path))
            return tree && removes(path, true, OfficeKeyPath());
        return removes(path, tree, keyFor(path));
    }
};

struct RunListTarget {
    std::wstring name;
    RegRoot root = 0;
    std::wstring keyPath;
    bool touched = false, cleared = false;
    NamedValues values;
};

bool isText(const RegValue& value) { return value.type == kRegSz || value.type == kRegExpandSz; }

// A list's values in the order of their numbers, then the others in the order given.
std::vector<std::wstring> listItems(NamedValues values) {
    const auto number = [](const std::wstring& name) -> std::optional<long long> {
        const std::optional<long long> n = parseDecimal(name);
        if (n && *n >= 0) return n;
        return std::nullopt;
    };
    std::stable_sort(values.begin(), values.end(), [&](const auto& a, const auto& b) {
        const auto na = number(a.first), nb = number(b.first);
        if (na && nb) return *na < *nb;
        return na.has_value() && !nb.has_value();
    });
    std::vector<std::wstring> items;
    for (const auto& [name, data] : values)
        if (data) items.push_back(StrOfValue(data, L""));
    return items;
}

class ProfileMapper {
public:
    ProfileMapper(TAppObjectsList& entries, TEncriptor* store, const std::wstring& userName,
                  const std::wstring& ownExeName)
        : entries_(entries), store_(store), userName_(userName), ownExeName_(ownExeName), applets_(AppletsKey()) {
        for (int i = 0; i < entries.Count(); ++i) addTweakTargets(entries[i]);
        for (const wchar_t* name : {DisallowRunName, RestrictRunName})
            if (entries.IndexOf(name) >= 0)
                lists_.push_back({name, PolicyRootKey, RunListsKey + std::wstring(name), false, false, {}});
    }

    void apply(const ProfileKey& key) {
        if (key.Remove != ProfileKey::Removal::None) remove(key);
        if (key.Remove == ProfileKey::Removal::Tree && !key.Recreate) return;
        for (const ProfileValue& value : key.Values)
            if (!setValue(key, value)) unmatchedKey(key.Root, key.Path).Values.push_back(value);
    }

    OpenedProfile finish() {
        finishTweaks();
        finishApplets();
        finishLists();
        return std::move(opened_);
    }

private:
    void addTweakTargets(const TRestrListRec& entry) {
        if (entry.AType != L"CheckBox" || entry.GroupName == AppletGroupName) return;
        TAppObjectsRec object;
        if (!FindTweakObject(entry.AppName, entry.GroupName, object)) return;
        const int first = entries_.IndexOf(entry.AppName);
        const struct {
            const std::wstring &alias, &root, &value, &type;
        } slots[] = {{object.AKey1, object.RootKey1, object.AValue1, object.AValueType1},
                     {object.AKey2, object.RootKey2, object.AValue2, object.AValueType2}};
        for (const auto& slot : slots) {
            if (slot.alias.empty()) continue;
            const std::wstring keyPath = getRegKey(slot.alias);
            const TValueTypeRec* type = FindValueType(slot.type);
            // Class key renames are no values: no profile file carries them.
            if (keyPath.empty() || !type || type->Kind == ValueKind::Clsid) continue;
            tweaks_.push_back({first, RootKeyByName(slot.root), keyPath, slot.value, slot.type});
        }
    }

    void remove(const ProfileKey& key) {
        const bool tree = key.Remove == ProfileKey::Removal::Tree;
        bool matched = false;
        for (std::size_t t = 0; t < tweaks_.size(); ++t)
            if (tweaks_[t].removedBy(key.Root, key.Path, tree)) {
                named_[t] = std::nullopt;
                matched = true;
            }
        if (applets_ && applets_->Root == key.Root && removes(key.Path, tree, applets_->KeyPath)) {
            appletsCleared_ = true;
            appletValues_.clear();
            matched = true;
        }
        for (RunListTarget& list : lists_)
            if (list.root == key.Root && removes(key.Path, tree, list.keyPath)) {
                list.touched = list.cleared = true;
                list.values.clear();
                matched = true;
            }
        if (!matched) opened_.Unmatched.push_back({key.Root, key.Path, key.Remove, !tree, {}});
    }

    bool setValue(const ProfileKey& key, const ProfileValue& value) {
        bool matched = false;
        for (std::size_t t = 0; t < tweaks_.size(); ++t)
            if (tweaks_[t].holds(key.Root, key.Path, value.Name)) {
                named_[t] = value.Data;
                matched = true;
            }
        if (matched) return true;
        if (applets_ && applets_->Root == key.Root && sameTextNoCase(applets_->KeyPath, key.Path) && !value.Name.empty()) {
            setNamed(appletValues_, value.Name, value.Data);
            return true;
        }
        for (RunListTarget& list : lists_)
            if (list.root == key.Root && sameTextNoCase(list.keyPath, key.Path) && (!value.Data || isText(*value.Data))) {
                list.touched = true;
                setNamed(list.values, value.Name, value.Data);
                return true;
            }
        return false;
    }

    ProfileKey& unmatchedKey(RegRoot root, const std::wstring& path) {
        std::vector<ProfileKey>& keys = opened_.Unmatched;
        if (keys.empty() || keys.back().Root != root || !sameTextNoCase(keys.back().Path, path) ||
            keys.back().Remove != ProfileKey::Removal::None)
            keys.push_back({root, path, ProfileKey::Removal::None, true, {}});
        return keys.back();
    }

    void finishTweaks() {
        struct Wanted {
            bool set = false;
            std::optional<std::wstring> text;
            std::optional<int> number;
        };
        std::map<int, Wanted> wanted;  // by entry, in list order
        for (const auto& [t, data] : named_) {
            const TweakTarget& target = tweaks_[t];
            std::wstring text;
            int number = 0;
            Wanted& w = wanted[target.entry];
            if (!StateOfValue(target.valueType, data, text, number)) continue;
            w.set = true;
            const ValueKind kind = FindValueType(target.valueType)->Kind;
            if (kind == ValueKind::String) w.text = text;
            if (kind == ValueKind::Integer) w.number = number;
        }
        for (const auto& [index, w] : wanted) {
            TRestrListRec& entry = entries_[index];
            opened_.Names.push_back(entry.AppName);
            // An unchecked text or number tweak keeps the text or number it had, as by hand.
            const bool changed = entry.SetValue != w.set || (w.text && *w.text != entry.cValue) ||
                                 (w.number && *w.number != entry.nValue);
            entry.SetValue = w.set;
            if (w.text) entry.cValue = *w.text;
            if (w.number) entry.nValue = *w.number;
            if (changed) ++opened_.Changed;
        }
    }

    int appletIndex(const std::wstring& path) const {
        for (int i = 0; i < entries_.Count(); ++i)
            if (entries_[i].GroupName == AppletGroupName && sameTextNoCase(entries_[i].AppName, path)) return i;
        return -1;
    }

    void switchApplet(TRestrListRec& entry, bool hidden) {
        opened_.Names.push_back(entry.AppName);
        if (entry.SetValue == hidden) return;
        entry.SetValue = hidden;
        ++opened_.Changed;
    }

    void finishApplets() {
        if (appletsCleared_)
            for (int i = 0; i < entries_.Count(); ++i)
                if (entries_[i].GroupName == AppletGroupName && entries_[i].SetValue) switchApplet(entries_[i], false);
        for (const auto& [path, data] : appletValues_) {
            const bool hidden = data && StrOfValue(data, L"") == AppletHiddenText;
            const int index = appletIndex(path);
            if (index >= 0) {
                switchApplet(entries_[index], hidden);
                continue;
            }
            // An applet this machine does not list: its own entry, when there is anything to
            // write for it.
            TCheckBoxRec now;
            GetAppletState(path, now);
            if (!hidden && !now.SetValue) continue;
            auto entry = std::make_unique<TRestrListRec>();
            entry->AppName = path;
            entry->GroupName = AppletGroupName;
            entry->AType = L"CheckBox";
            entry->ACaption = AppletCaption(FileNamePart(path));
            entry->ADescription = path;
            entry->SetValue = now.SetValue;
            switchApplet(entries_[entries_.Add(std::move(entry))], hidden);
        }
    }

    void finishLists() {
        for (RunListTarget& list : lists_) {
            if (!list.touched) continue;
            opened_.Lists.push_back(list.name);
            NamedValues values;
            if (!list.cleared)
                for (auto& [name, data] : ReadValues(list.root, list.keyPath))
                    if (isText(data)) values.emplace_back(name, std::move(data));
            for (const auto& [name, data] : list.values) setNamed(values, name, data);
            if (!store_) continue;
            const std::wstring block = RunListBlock(userName_, list.name);
            std::vector<std::wstring> stored;
            store_->getList(block, stored, false);
            // A stored full path stands for the program the profile names; the program's own
            // name is the save's business (always allowed, never refused).
            std::vector<std::wstring> items;
            for (const std::wstring& item : listItems(std::move(values))) {
                const std::wstring program = FileNamePart(item);
                if (sameTextNoCase(program, ownExeName_)) continue;
                const auto path = std::find_if(stored.begin(), stored.end(), [&](const std::wstring& s) {
                    return sameTextNoCase(FileNamePart(s), program);
                });
                items.push_back(path != stored.end() ? *path : item);
            }
            std::vector<std::wstring> storedOthers;
            for (const std::wstring& s : stored)
                if (!sameTextNoCase(FileNamePart(s), ownExeName_)) storedOthers.push_back(s);
            if (items == storedOthers) continue;
            store_->setList(block, items);
            ++opened_.Changed;
        }
    }

    TAppObjectsList& entries_;
    TEncriptor* store_;
    std::wstring userName_, ownExeName_;
    std::vector<TweakTarget> tweaks_;
    std::map<std::size_t, std::optional<RegValue>> named_;  // by target: what the profile leaves there
    std::optional<AppletLocation> applets_;
    bool appletsCleared_ = false;
    NamedValues appletValues_;
    std::vector<RunListTarget> lists_;
    OpenedProfile opened_;
};

}  // namespace

int OpenedProfile::UnmatchedCount() const {
    int count = 0;
    for (const ProfileKey& key : Unmatched)
        count += key.Remove != ProfileKey::Removal::None ? 1 : static_cast<int>(key.Values.size());
    return count;
}

OpenedProfile OpenProfile(TAppObjectsList& entries, const std::vector<ProfileKey>& profile, TEncriptor* store,
                          const std::wstring& userName, const std::wstring& ownExeName) {
    ProfileMapper mapper(entries, store, userName, ownExeName);
    for (const ProfileKey& key : profile) mapper.apply(key);
    return mapper.finish();
}

std::vector<ProfileChoice> ProfileChoices(const std::filesystem::path& file) {
    if (!IsPolicyFile(file)) return {{L"", {{file, 0}}}};
    const auto partName = [](RegRoot root) {
        return root == kHkeyLocalMachine ? std::wstring(L"the machine part (HKEY_LOCAL_MACHINE)")
                                         : std::wstring(L"the user part (HKEY_CURRENT_USER)");
    };
    if (const RegRoot root = PolicyRootOfFolder(file)) {
        const std::optional<ProfileSource> other = OtherPolicyPart(file);
        if (!other) return {{L"", {{file, root}}}};
        return {{L"Both parts: " + partName(kHkeyLocalMachine) + L" and " + partName(kHkeyCurrentUser),
                 {{file, root}, *other}},
                {L"Only " + partName(root), {{file, root}}}};
    }
    return {{L"As " + partName(kHkeyCurrentUser), {{file, kHkeyCurrentUser}}},
            {L"As " + partName(kHkeyLocalMachine), {{file, kHkeyLocalMachine}}}};
}

std::vector<std::wstring> UnmatchedLines(const std::vector<ProfileKey>& unmatched) {
    std::vector<std::wstring> lines;
    for (const ProfileKey& key : unmatched) {
        const std::wstring where = RootKeyName(key.Root) + L"\\" + key.Path;
        if (key.Remove == ProfileKey::Removal::Tree) lines.push_back(where + L": the key is removed");
        if (key.Remove == ProfileKey::Removal::Values) lines.push_back(where + L": every value is removed");
        for (const ProfileValue& v : key.Values)
            lines.push_back(where + L": " + ValueNameText(v.Name) + L" " +
                            (v.Data ? L"= " + RegistryValueText(v.Data) : std::wstring(L"is removed")));
    }
    return lines;
}

std::wstring OpenProfileMessage(const OpenedProfile& opened) {
    std::wstring text;
    if (opened.Names.empty() && opened.Lists.empty())
        text = L"The profile holds nothing that belongs to a tweak.";
    else if (opened.Changed == 0)
        text = L"Every tweak in the profile is already as the profile says: nothing changed.";
    else
        text = L"The profile changed " + std::to_wstring(opened.Changed) +
               (opened.Changed == 1 ? L" tweak, applet or application list" : L" tweaks, applets and application lists") +
               L". Nothing is written until File > Save; Edit > Pending changes shows what will be.";
    const int count = opened.UnmatchedCount();
    if (count == 0) return text;
    text += L"\n\n" + std::to_wstring(count) + (count == 1 ? L" value belongs" : L" values belong") +
            L" to no tweak and " + (count == 1 ? L"was" : L"were") + L" not taken:\n";
    const std::vector<std::wstring> lines = UnmatchedLines(opened.Unmatched);
    constexpr std::size_t shown = 12;  // a message box taller than the screen helps nobody
    for (std::size_t i = 0; i < lines.size() && i < shown; ++i) text += L"\n" + lines[i];
    if (lines.size() > shown) text += L"\n... and " + std::to_wstring(lines.size() - shown) + L" more";
    return text;
}
