#pragma once
// Lookups over the loaded scheme: the only way the rest of the program reads it,
// besides walking an element's children.
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <string_view>
#include <utility>
#include <vector>

#include "scheme/xml.h"

struct TAppObjectsRec {
    std::wstring AName, AType, AFrame, AKey1, AValue1, AValueType1, AKey2, AValue2, AValueType2,
        RootKey1, RootKey2;
    int ImgIndex16 = -1;
    int imgIndex32 = -1;
};

struct TDescriptionRec {
    std::wstring Caption, Descr;
};

// Owns the scheme document for the life of the main window.
class TXMLDataModule {
public:
    TXMLDataModule();  // runs DataModuleCreate
    ~TXMLDataModule();
    TXMLDataModule(const TXMLDataModule&) = delete;
    TXMLDataModule& operator=(const TXMLDataModule&) = delete;

    // Direct children first, then each subtree depth-first, names compared exactly.
    // AnXMLNode null: the root. Starts within FXml are answered from a per-start index
    // built on first use, which always equals findElementByWalk; others by the walk.
    const XmlElement* getXmlElem(const std::wstring& AName, const XmlElement* AnXMLNode) const;

    XmlDocument FXml;

private:
    void DataModuleCreate();

    // One start's names, each with the first element the walk finds by it, sorted by name.
    // The names are views of the elements' own: valid while the document holds the tree.
    using NameIndex = std::vector<std::pair<std::wstring_view, const XmlElement*>>;
    mutable std::unordered_map<const XmlElement*, NameIndex> index_;
    mutable std::vector<const XmlElement*> indexable_;  // the elements of FXml, sorted
    mutable std::uint64_t indexedGeneration_ = 0;
};

// The plain search of getXmlElem from a given start (none: nothing found): the start's
// direct children in order, then the subtree of each child in order, recursively.
const XmlElement* findElementByWalk(const std::wstring& name, const XmlElement* start);

// Process-wide references, set while the main window is created.
extern XmlDocument* SchemeDocument;     // set by DataModuleCreate
extern TXMLDataModule* XMLDataModule;   // set by the main window

const XmlElement* getElem(const std::wstring& name, const XmlElement* start);
void getChildNames(const std::wstring& name, std::vector<std::wstring>& list, const XmlElement* start);
std::wstring getRegKey(const std::wstring& alias);
std::wstring getCaption(const std::wstring& name);
std::wstring getDescr(const std::wstring& name);
void getDescription(const std::wstring& name, TDescriptionRec& record);
// A Description entry's "Supported on" text and the Windows range the program compares;
// empty when the entry or the attribute is missing.
std::wstring getSupported(const std::wstring& name);
std::wstring getWindows(const std::wstring& name);
void getAppObject(const std::wstring& name, const XmlElement* start, TAppObjectsRec& record);
