#include "scheme/xmldata.h"

#include <algorithm>

XmlDocument* SchemeDocument = nullptr;
TXMLDataModule* XMLDataModule = nullptr;

TXMLDataModule::TXMLDataModule() { DataModuleCreate(); }

TXMLDataModule::~TXMLDataModule() {
    // Leave no process-wide reference dangling.
    if (SchemeDocument == &FXml) SchemeDocument = nullptr;
    if (XMLDataModule == this) XMLDataModule = nullptr;
}

void TXMLDataModule::DataModuleCreate() { SchemeDocument = &FXml; }

const XmlElement* findElementByWalk(const std::wstring& name, const XmlElement* start) {
    if (!start) return nullptr;
    for (const XmlElement* child : start->elements())
        if (child->name() == name) return child;
    for (const XmlElement* child : start->elements()) {
        if (child->elements().empty()) continue;
        if (const XmlElement* found = findElementByWalk(name, child)) return found;
    }
    return nullptr;
}

namespace {

using NameIndex = std::vector<std::pair<std::wstring_view, const XmlElement*>>;

// Lists every element below start in the order of findElementByWalk, then sorts by name
// keeping that order among equal names, so the first entry of a name is the element the
// walk would return.
void indexInSearchOrder(const XmlElement* start, NameIndex& index) {
    const auto addChildren = [&](const XmlElement* element) {
        for (const XmlElement* child : element->elements()) index.emplace_back(child->name(), child);
    };
    struct Pending {
        const XmlElement* element;
        std::size_t nextChild;
    };
    addChildren(start);
    std::vector<Pending> stack{{start, 0}};
    while (!stack.empty()) {
        Pending& top = stack.back();
        if (top.nextChild == top.element->elements().size()) {
            stack.pop_back();
            continue;
        }
        const XmlElement* child = top.element->elements()[top.nextChild++];
        if (child->elements().empty()) continue;
        addChildren(child);
        stack.push_back({child, 0});
    }
    const auto byName = [](const auto& a, const auto& b) { return a.first < b.first; };
    std::stable_sort(index.begin(), index.end(), byName);
    index.erase(std::unique(index.begin(), index.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
                index.end());
    index.shrink_to_fit();
}

}  // namespace

const XmlElement* TXMLDataModule::getXmlElem(const std::wstring& AName, const XmlElement* AnXMLNode) const {
    const XmlElement* start = AnXMLNode ? AnXMLNode : FXml.root();
    if (!start) return nullptr;
    if (indexedGeneration_ != FXml.generation()) {
        index_.clear();
        indexable_.clear();
        indexedGeneration_ = FXml.generation();
        if (FXml.root()) indexable_.push_back(FXml.root());
        for (std::size_t i = 0; i < indexable_.size(); ++i)
            indexable_.insert(indexable_.end(), indexable_[i]->elements().begin(), indexable_[i]->elements().end());
        std::sort(indexable_.begin(), indexable_.end());
    }
    // An element of another document may share an address with a freed one: no index.
    if (!std::binary_search(indexable_.begin(), indexable_.end(), start)) return findElementByWalk(AName, start);
    auto [entry, added] = index_.try_emplace(start);
    if (added) indexInSearchOrder(start, entry->second);
    const NameIndex& index = entry->second;
    const std::wstring_view name(AName);
    const auto found = std::lower_bound(index.begin(), index.end(), name,
                                        [](const auto& item, std::wstring_view key) { return item.first < key; });
    return found != index.end() && found->first == name ? found->second : nullptr;
}

const XmlElement* getElem(const std::wstring& name, const XmlElement* start) {
    return XMLDataModule ? XMLDataModule->getXmlElem(name, start) : nullptr;
}

void getChildNames(const std::wstring& name, std::vector<std::wstring>& list, const XmlElement* start) {
    list.clear();
    const XmlElement* element = getElem(name, start);
    if (!element) return;
    // Every child node, unfiltered: comments and text have empty names.
    for (const XmlNode& node : element->nodes())
        list.emplace_back(node.element ? node.element->name() : std::wstring_view());
}

namespace {

// The entry of a section below the root; none when the section or the entry is missing.
const XmlElement* sectionEntry(const wchar_t* section, const std::wstring& name) {
    const XmlElement* sectionElement = getElem(section, nullptr);
    return sectionElement ? getElem(name, sectionElement) : nullptr;
}

std::wstring sectionAttribute(const wchar_t* section, const std::wstring& name, const wchar_t* attribute) {
    const XmlElement* entry = sectionEntry(section, name);
    return entry ? entry->attributeValue(attribute) : std::wstring();
}

}  // namespace

std::wstring getRegKey(const std::wstring& alias) { return sectionAttribute(L"RegKey", alias, L"Value"); }

std::wstring getCaption(const std::wstring& name) { return sectionAttribute(L"Description", name, L"Caption"); }

std::wstring getDescr(const std::wstring& name) { return sectionAttribute(L"Description", name, L"Descr"); }

std::wstring getSupported(const std::wstring& name) { return sectionAttribute(L"Description", name, L"Supported"); }

std::wstring getWindows(const std::wstring& name) { return sectionAttribute(L"Description", name, L"Windows"); }

void getDescription(const std::wstring& name, TDescriptionRec& record) {
    const XmlElement* entry = sectionEntry(L"Description", name);
    if (!entry) return;
    record.Caption = entry->attributeValue(L"Caption");
    record.Descr = entry->attributeValue(L"Descr");
}

void getAppObject(const std::wstring& name, const XmlElement* start, TAppObjectsRec& record) {
    if (!start) start = getElem(L"TreeItem", nullptr);
    const XmlElement* object = getElem(name, start);
    if (!object) return;
    record.AName = name;
    const struct {
        const wchar_t* attribute;
        std::wstring TAppObjectsRec::*field;
    } fields[] = {
        {L"AType", &TAppObjectsRec::AType},         {L"AFrame", &TAppObjectsRec::AFrame},
        {L"AKey1", &TAppObjectsRec::AKey1},         {L"AValue1", &TAppObjectsRec::AValue1},
        {L"AValueType1", &TAppObjectsRec::AValueType1}, {L"AKey2", &TAppObjectsRec::AKey2},
        {L"AValue2", &TAppObjectsRec::AValue2},     {L"AValueType2", &TAppObjectsRec::AValueType2},
        {L"RootKey1", &TAppObjectsRec::RootKey1},   {L"RootKey2", &TAppObjectsRec::RootKey2},
    };
    // An absent attribute keeps what the record held; a present empty one clears it.
    for (const auto& f : fields)
        if (const XmlAttribute* attribute = object->findAttribute(f.attribute)) record.*f.field = attribute->value;
    record.ImgIndex16 = static_cast<int>(object->attributeAsInteger(L"img16"));
    record.imgIndex32 = static_cast<int>(object->attributeAsInteger(L"img32"));
}
