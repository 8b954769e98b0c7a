#pragma once
// Lookups over the loaded scheme: the only way the rest of the program reads it,
// besides walking an element's children.
#include <memory>
#include <string>
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
    const XmlElement* getXmlElem(const std::wstring& AName, const XmlElement* AnXMLNode) const;

    XmlDocument FXml;

private:
    void DataModuleCreate();
};

// Process-wide references, set while the main window is created.
extern XmlDocument* SchemeDocument;     // set by DataModuleCreate
extern TXMLDataModule* XMLDataModule;   // set by the main window

const XmlElement* getElem(const std::wstring& name, const XmlElement* start);
void getChildNames(const std::wstring& name, std::vector<std::wstring>& list, const XmlElement* start);
std::wstring getRegKey(const std::wstring& alias);
std::wstring getCaption(const std::wstring& name);
std::wstring getDescr(const std::wstring& name);
void getDescription(const std::wstring& name, TDescriptionRec& record);
void getAppObject(const std::wstring& name, const XmlElement* start, TAppObjectsRec& record);
