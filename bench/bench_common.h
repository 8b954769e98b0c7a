#pragma once
// What both benchmark programs need: the shipped scheme's bytes and its objects.
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "scheme/xml.h"

namespace bench {

// The shipped scheme document, from the source tree (QM_SOURCE_DIR overrides the
// path compiled in, so the Windows program finds it under Wine's Z: drive too).
inline std::string schemeBytes() {
    const char* env = std::getenv("QM_SOURCE_DIR");
    std::string path = std::string(env && *env ? env : QM_SOURCE_DIR) + "/resources/scheme.xml";
#ifdef _WIN32
    // A Unix path seen from Wine: its root is the Z: drive.
    if (path.starts_with("/")) path = "Z:" + path;
#endif
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct SchemeObject {
    std::wstring name, group;
};

// Every element below "TreeItem", depth first, parents before children: the objects
// start-up turns into entries, each with the group it is looked up under.
inline std::vector<SchemeObject> schemeObjects(const XmlDocument& document) {
    std::vector<SchemeObject> objects;
    const XmlElement* treeItem = nullptr;
    for (const XmlElement* section : document.root()->elements())
        if (section->name() == L"TreeItem") treeItem = section;
    if (!treeItem) throw std::runtime_error("the scheme has no TreeItem section");
    struct Walk {
        std::vector<SchemeObject>& out;
        void operator()(const XmlElement* group) {
            for (const XmlElement* child : group->elements()) {
                out.push_back({std::wstring(child->name()), std::wstring(group->name())});
                (*this)(child);
            }
        }
    };
    Walk{objects}(treeItem);
    return objects;
}

}  // namespace bench
