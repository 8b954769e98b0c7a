#pragma once
// The search box: every check-box tweak of the catalogue and every Control Panel applet,
// found by caption, description, value name, key path or name, without regard to case.
#include <string>
#include <vector>

#include "app/appobjects.h"
#include "app/groupview.h"

struct SearchRow {
    ListItemView Item;          // as a group's list shows it; Item.Name finds the entry
    int Index = -1;             // the entry that carries the state (the first of that name)
    std::wstring GroupCaption;  // every group that lists the tweak, joined by ", "
};

// What the list shows while the box holds text. The rows mix applets (their own icons) and
// tweaks (the check images), so they use AppImageList, which holds both; a row switched
// goes through lstRestrListChange with ImageListKind::AppImageList like any group's row.
struct SearchView {
    bool Active = false;  // false: the box holds only blanks, show the tree's group again
    ImageListKind SmallImages = ImageListKind::AppImageList;
    std::vector<SearchRow> Rows;  // sorted by caption
};

class TTweakSearch {
public:
    // Builds the lower-case text of every entry once; done again by Find when the number of
    // entries has changed since (the applets come in after the scheme's entries).
    void Build(const TAppObjectsList& entries);
    // Rows of every tweak whose text holds each blank-separated word of `query`. The check
    // marks are the entries' state at the time of the call; tweaks without effect on the
    // running Windows are marked, or left out, as in a group's list.
    SearchView Find(const TAppObjectsList& entries, const std::wstring& query, const CaptionCompare& compare,
                    const EffectView& effect = {});

private:
    struct Haystack {
        int Index;  // first entry of the name
        std::wstring Caption, GroupCaption;
        std::wstring Text;  // lower case, fields separated by '\n' so no word spans two
    };
    std::vector<Haystack> haystacks_;
    int builtFor_ = -1;
};
