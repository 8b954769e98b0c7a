#include "app/search.h"

#include <algorithm>
#include <cwctype>
#include <map>

#include "app/savesequence.h"
#include "base/text.h"
#include "registry/cpapplets.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"

namespace {

std::vector<std::wstring> wordsOf(const std::wstring& folded) {
    std::vector<std::wstring> words;
    std::wstring word;
    for (wchar_t c : folded) {
        if (std::iswspace(static_cast<wint_t>(c))) {
            if (!word.empty()) words.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

// Everything the user may type to find the entry, one field a line.
std::wstring fieldsOf(const TRestrListRec& entry, const std::wstring& caption) {
    std::wstring text = caption + L'\n' + (entry.ADescription.empty() ? getDescr(entry.AppName) : entry.ADescription) +
                        L'\n' + entry.AppName + L'\n';
    if (entry.GroupName == AppletGroupName) {
        if (const std::optional<RegistryWrite> write = PlanAppletState(entry.AppName, true, PlanScope::All))
            text += write->keyPath + L'\n';
        return text;
    }
    TAppObjectsRec object;
    if (!FindTweakObject(entry.AppName, entry.GroupName, object)) return text;
    for (const std::wstring* field : {&object.AValue1, &object.AValue2}) text += *field + L'\n';
    // The alias's text as the scheme gives it; the Office marker stays as it is.
    for (const std::wstring* alias : {&object.AKey1, &object.AKey2})
        if (!alias->empty()) text += getRegKey(*alias) + L'\n';
    return text;
}

}  // namespace

void TTweakSearch::Build(const TAppObjectsList& entries) {
    haystacks_.clear();
    std::map<int, std::size_t> byFirstIndex;
    for (int i = 0; i < entries.Count(); ++i) {
        const TRestrListRec& entry = entries[i];
        if (entry.AType != L"CheckBox") continue;
        const int first = entries.IndexOf(entry.AppName);
        const std::wstring caption = entry.ACaption.empty() ? getCaption(entry.AppName) : entry.ACaption;
        const std::wstring group = getCaption(entry.GroupName);
        const auto [it, added] = byFirstIndex.emplace(first, haystacks_.size());
        if (added) {
            haystacks_.push_back({first, caption, group, {}});
        } else {
            // A tweak listed in two groups is one row that names both.
            std::wstring& groups = haystacks_[it->second].GroupCaption;
            if (!group.empty()) groups += (groups.empty() ? L"" : L", ") + group;
        }
        haystacks_[it->second].Text += upperCase(fieldsOf(entry, caption));
    }
    builtFor_ = entries.Count();
}

SearchView TTweakSearch::Find(const TAppObjectsList& entries, const std::wstring& query,
                              const CaptionCompare& compare, const EffectView& effect) {
    SearchView view;
    const std::vector<std::wstring> words = wordsOf(upperCase(query));
    if (words.empty()) return view;
    view.Active = true;
    if (builtFor_ != entries.Count()) Build(entries);
    for (const Haystack& h : haystacks_) {
        const bool all = std::all_of(words.begin(), words.end(),
                                     [&](const std::wstring& w) { return h.Text.find(w) != std::wstring::npos; });
        if (!all || !entries.Valid(h.Index)) continue;
        const TRestrListRec& entry = entries[h.Index];
        SearchRow row;
        row.Index = h.Index;
        row.GroupCaption = h.GroupCaption;
        row.Item.Name = entry.AppName;
        row.Item.Caption = h.Caption;
        row.Item.Checked = entry.SetValue;
        if (entry.GroupName == AppletGroupName) {
            row.Item.Image = entry.nImageIndex;
        } else {
            row.Item.Image = entry.SetValue ? AppImageChecked : AppImageUnchecked;
            if (!ApplyEffect(row.Item, effect)) continue;
            row.Item.NotConfigured = NotConfiguredAfterSave(entries, h.Index);
        }
        view.Rows.push_back(std::move(row));
    }
    std::stable_sort(view.Rows.begin(), view.Rows.end(), [&](const SearchRow& a, const SearchRow& b) {
        return (compare ? compare(a.Item.Caption, b.Item.Caption) : compareTextNoCase(a.Item.Caption, b.Item.Caption)) <
               0;
    });
    for (SearchRow& row : view.Rows) AddNoEffectSuffix(row.Item);
    return view;
}
