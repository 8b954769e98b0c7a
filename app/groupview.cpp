#include "app/groupview.h"

#include <algorithm>

#include "app/savesequence.h"
#include "base/text.h"
#include "scheme/xmldata.h"

namespace {

const XmlElement* treeItem() { return getElem(L"TreeItem", nullptr); }

void AddGroupNodes(const XmlElement* elem, std::vector<CategoryNode>& nodes, bool isAdministrator) {
    for (const XmlElement* child : elem->elements()) {
        const std::wstring name(child->name());
        if (!isAdministrator && name == L"Group_WinCommonRestr") continue;
        TDescriptionRec description;
        getDescription(name, description);
        TAppObjectsRec object;
        getAppObject(name, treeItem(), object);
        // Tweaks are not tree nodes, and what they hold is not visited.
        if (object.AType != L"Group" && object.AType != L"Custom") continue;
        CategoryNode node{description.Caption, name, object.ImgIndex16, {}};
        if (!child->elements().empty()) AddGroupNodes(child, node.Children, isAdministrator);
        nodes.push_back(std::move(node));
    }
}

void sortNodes(std::vector<CategoryNode>& nodes, const CaptionCompare& compare) {
    std::stable_sort(nodes.begin(), nodes.end(),
                     [&](const CategoryNode& a, const CategoryNode& b) { return compare(a.Caption, b.Caption) < 0; });
    for (CategoryNode& node : nodes) sortNodes(node.Children, compare);
}

}  // namespace

std::vector<CategoryNode> BuildCategoryTree(bool isAdministrator, const CaptionCompare& compare) {
    std::vector<CategoryNode> roots;
    if (const XmlElement* root = treeItem()) AddGroupNodes(root, roots, isAdministrator);
    sortNodes(roots, compare);
    return roots;
}

bool ShowsApplets(const std::wstring& groupName) {
    TAppObjectsRec group;
    getAppObject(groupName, treeItem(), group);
    return group.AFrame == L"frameCPApplets";
}

bool ApplyEffect(ListItemView& item, const EffectView& effect) {
    item.NoEffect = !TweakHasEffect(item.Name, effect.Running);
    return !(item.NoEffect && effect.HideWithoutEffect);
}

void AddNoEffectSuffix(ListItemView& item) {
    if (item.NoEffect) item.Caption += NoEffectSuffix;
}

GroupView ShowGroup(const TAppObjectsList& entries, TFrameHost& frames, const std::wstring& groupName,
                    const CaptionCompare& compare, const EffectView& effect) {
    GroupView view;
    TAppObjectsRec group;
    getAppObject(groupName, treeItem(), group);
    view.Frame = frames.ShowOptionFrame(group.AFrame, -1);
    view.Description = getDescr(groupName);
    view.Supported = SupportedOnLine(groupName);
    if (group.AFrame == L"frameAdvertise") {
        view.Advertise = true;
        return view;
    }
    const bool groupOfGroups = group.AFrame == L"frameGroup";
    view.View = groupOfGroups ? ListViewStyle::LargeIcons : ListViewStyle::Report;
    view.CheckBoxes = !groupOfGroups;

    std::vector<std::wstring> names;
    if (ShowsApplets(groupName)) {
        view.SmallImages = ImageListKind::AppImageList;
        for (int i = 0; i < entries.Count(); ++i)
            if (entries[i].GroupName == AppletGroupName) names.push_back(entries[i].AppName);
    } else {
        view.SmallImages = ImageListKind::Img16;
        getChildNames(groupName, names, treeItem());
    }

    for (const std::wstring& name : names) {
        const int index = entries.IndexOf(name);
        if (index < 0) continue;
        const TRestrListRec& entry = entries[index];
        ListItemView item;
        item.Name = name;
        item.Caption = entry.ACaption.empty() ? getCaption(name) : entry.ACaption;
        item.Checked = entry.SetValue;
        item.NotConfigured = !groupOfGroups && NotConfiguredAfterSave(entries, index);
        if (entry.GroupName == AppletGroupName || groupOfGroups)
            item.Image = entry.nImageIndex;
        else
            item.Image = item.Checked ? ImageChecked : ImageUnchecked;
        if (entry.AType == L"CheckBox" && entry.GroupName != AppletGroupName && !ApplyEffect(item, effect)) continue;
        view.Items.push_back(std::move(item));
    }
    std::stable_sort(view.Items.begin(), view.Items.end(),
                     [&](const ListItemView& a, const ListItemView& b) { return compare(a.Caption, b.Caption) < 0; });
    for (ListItemView& item : view.Items) AddNoEffectSuffix(item);
    return view;
}

ListChange lstRestrListChange(TAppObjectsList& entries, TFrameHost& frames, const std::wstring& itemName,
                              bool checked, ImageListKind smallImages, const SettingsChangedFn& settingsChanged) {
    ListChange change;
    try {
        if (itemName.empty()) return change;
        const int index = entries.IndexOf(itemName);
        if (index < 0) return change;
        TRestrListRec& entry = entries[index];
        if (entry.SetValue != checked) {
            // Before the new state is stored: the frame's enabling rule reads the old one.
            if (settingsChanged) change.EnableShownFrame = settingsChanged(index);
            // A switch writes the switched state, whatever Undo all or Remove from registry planned.
            for (int i = 0; i < entries.Count(); ++i)
                if (sameTextNoCase(entries[i].AppName, itemName)) entries[i].Exact.reset();
            change.NewImage = CheckImage(entry, smallImages, checked);
        }
        // A tweak listed in two groups has two entries; both hold what the user chose, so
        // the later one cannot write its start-up state back at save.
        for (int i = index; i < entries.Count(); ++i)
            if (sameTextNoCase(entries[i].AppName, itemName)) entries[i].SetValue = checked;
        change.Description = entry.ADescription.empty() ? getDescr(itemName) : entry.ADescription;
        if (entry.GroupName != AppletGroupName) change.Supported = SupportedOnLine(itemName);
        change.Frame = frames.ShowOptionFrame(entry.AFrame, index);
    } catch (...) {
        // A failed list change shows nothing; the entry keeps what was already done.
    }
    return change;
}

std::optional<int> CheckImage(const TRestrListRec& entry, ImageListKind smallImages, bool checked) {
    if (smallImages != ImageListKind::AppImageList) return checked ? ImageChecked : ImageUnchecked;
    if (entry.GroupName == AppletGroupName) return std::nullopt;
    return checked ? AppImageChecked : AppImageUnchecked;
}

int DblClickTarget(ListViewStyle view, const std::optional<std::wstring>& selectedCaption,
                   const std::vector<std::wstring>& childCaptions) {
    if (view != ListViewStyle::LargeIcons || !selectedCaption) return -1;
    for (std::size_t i = 0; i < childCaptions.size(); ++i)
        if (childCaptions[i] == *selectedCaption) return static_cast<int>(i);
    return -1;
}
