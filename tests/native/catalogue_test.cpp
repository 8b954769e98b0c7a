// Checks the shipped scheme document against the catalogue it must carry: its text form,
// its sections, the key aliases, the object tree and the descriptions. The document is read
// with a small line scanner of its own, so these checks do not depend on the scheme reader;
// one case then loads it with the reader and compares the two views.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/supportedon.h"
#include "base/text.h"
#include "registry/tweakstate.h"
#include "scheme/xmldata.h"
#include "tests/support/files.h"

namespace {

struct Element {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::vector<Element> children;
    bool openClose = false;  // written as an open and a close tag without children

    bool has(const std::string& key) const {
        for (const auto& [k, v] : attrs)
            if (k == key) return true;
        return false;
    }
    // First attribute of that name; empty when absent.
    std::string attr(const std::string& key) const {
        for (const auto& [k, v] : attrs)
            if (k == key) return v;
        return {};
    }
    std::vector<std::string> attrNames() const {
        std::vector<std::string> names;
        for (const auto& a : attrs) names.push_back(a.first);
        return names;
    }
    std::vector<std::string> childNames() const {
        std::vector<std::string> names;
        for (const auto& c : children) names.push_back(c.name);
        return names;
    }
    const Element* child(const std::string& childName) const {
        for (const auto& c : children)
            if (c.name == childName) return &c;
        return nullptr;
    }
};

const std::string kDeclaration = R"(<?xml version="1.0" encoding="UTF-8"?>)";

bool isNameChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ':';
}

[[noreturn]] void fail(std::size_t line, const std::string& what) {
    throw std::runtime_error("line " + std::to_string(line) + ": " + what);
}

// Reads the document in the exact text form it is shipped in: ASCII, CR LF, one element per
// line, two spaces of indent per level, double-quoted attributes, empty elements as "<x/>".
// Anything else is an error naming the line.
Element scanScheme(const std::string& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') {
            if (i + 1 >= bytes.size() || bytes[i + 1] != '\n') fail(0, "CR without LF");
        } else if (c == '\n') {
            if (i == 0 || bytes[i - 1] != '\r') fail(0, "LF without CR");
        } else if (c < 0x20 || c > 0x7E) {
            fail(0, "character outside printable ASCII at offset " + std::to_string(i));
        }
    }
    if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0) fail(0, "no CR LF after the last line");

    std::vector<std::string> lines;
    for (std::size_t start = 0; start < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", start);
        lines.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    if (lines.empty() || lines[0] != kDeclaration) fail(1, "the XML declaration must come first");

    Element document;                       // holds the root as its only child
    std::vector<Element*> open{&document};  // open elements, innermost last
    std::vector<bool> justOpened{false};
    for (std::size_t n = 1; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::size_t lineNo = n + 1;
        if (open.empty()) fail(lineNo, "text after the root element");
        std::size_t indent = line.find_first_not_of(' ');
        if (indent == std::string::npos) fail(lineNo, "blank line");
        if (indent % 2 != 0) fail(lineNo, "odd indent");
        std::size_t p = indent;
        if (line[p] != '<') fail(lineNo, "line does not start with a tag");
        ++p;

        if (line[p] == '/') {  // close tag
            ++p;
            const std::size_t nameStart = p;
            while (p < line.size() && isNameChar(line[p])) ++p;
            const std::string name = line.substr(nameStart, p - nameStart);
            if (p + 1 != line.size() || line[p] != '>') fail(lineNo, "malformed close tag");
            if (open.size() == 1) fail(lineNo, "close tag without open tag");
            if (indent / 2 != open.size() - 2) fail(lineNo, "close tag at the wrong indent");
            if (open.back()->name != name) fail(lineNo, "close tag " + name + " for " + open.back()->name);
            open.back()->openClose = justOpened.back();
            open.pop_back();
            justOpened.pop_back();
            if (open.size() == 1) open.clear();  // the root is closed
            continue;
        }

        Element element;
        const std::size_t nameStart = p;
        while (p < line.size() && isNameChar(line[p])) ++p;
        element.name = line.substr(nameStart, p - nameStart);
        if (element.name.empty()) fail(lineNo, "tag without a name");
        while (p < line.size() && line[p] == ' ') {
            ++p;
            const std::size_t keyStart = p;
            while (p < line.size() && isNameChar(line[p])) ++p;
            const std::string key = line.substr(keyStart, p - keyStart);
            if (key.empty() || line.compare(p, 2, "=\"") != 0) fail(lineNo, "malformed attribute");
            p += 2;
            const std::size_t close = line.find('"', p);
            if (close == std::string::npos) fail(lineNo, "unterminated attribute value");
            element.attrs.emplace_back(key, line.substr(p, close - p));
            p = close + 1;
        }
        const std::string rest = line.substr(p);
        if (rest != "/>" && rest != ">") fail(lineNo, "malformed end of tag: " + rest);
        if (indent / 2 != open.size() - 1) fail(lineNo, "element at the wrong indent");
        justOpened.back() = false;
        open.back()->children.push_back(std::move(element));
        if (rest == ">") {
            open.push_back(&open.back()->children.back());
            justOpened.push_back(true);
        }
    }
    if (!open.empty()) fail(lines.size(), "unclosed elements at the end");
    return std::move(document.children.at(0));
}

std::string readShipped() { return testsupport::sourceFile("resources/scheme.xml"); }

const Element& shipped() {
    static const Element root = scanScheme(readShipped());
    return root;
}

// A table of tools/scheme: its rows of tab-separated cells, the header row checked and dropped.
std::vector<std::vector<std::string>> readTable(const std::string& name, const std::vector<std::string>& header) {
    std::ifstream in(testsupport::sourceDir() / "tools" / "scheme" / name, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read tools/scheme/" + name);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (cells.size() != header.size()) throw std::runtime_error(name + ": a row with the wrong number of cells");
        rows.push_back(std::move(cells));
    }
    if (rows.empty() || rows.front() != header) throw std::runtime_error(name + ": unexpected header");
    rows.erase(rows.begin());
    return rows;
}

struct Correction {
    std::string name, field, specified, now, source;
};

const std::vector<Correction>& corrections() {
    static const std::vector<Correction> all = [] {
        std::vector<Correction> out;
        for (auto& r : readTable("corrections.tsv", {"name", "field", "specified", "new", "source"}))
            out.push_back({r[0], r[1], r[2], r[3], r[4]});
        return out;
    }();
    return all;
}

Element& childNamed(Element& parent, const std::string& name) {
    for (Element& c : parent.children)
        if (c.name == name) return c;
    throw std::runtime_error("no element " + name);
}

void placementsOf(Element& parent, const std::string& name, std::vector<Element*>& out) {
    for (Element& c : parent.children) {
        if (c.name == name) out.push_back(&c);
        placementsOf(c, name, out);
    }
}

std::string& attrRef(Element& e, const std::string& key) {
    for (auto& [k, v] : e.attrs)
        if (k == key) return v;
    throw std::runtime_error(e.name + " has no attribute " + key);
}

// The shipped document with every correction undone, each checked to be in place first: the
// catalogue as it was specified.
Element revertCorrections(Element root) {
    Element& regKey = childNamed(root, "RegKey");
    Element& treeItem = childNamed(root, "TreeItem");
    for (const Correction& c : corrections()) {
        const std::string what = c.name + " " + c.field;
        if (c.field == "RegKey") {
            auto it = std::find_if(regKey.children.begin(), regKey.children.end(),
                                   [&](const Element& e) { return e.name == c.name; });
            if (it == regKey.children.end() || it->attr("Value") != c.now)
                throw std::runtime_error(what + ": the shipped alias is not the corrected one");
            if (c.specified.empty())
                regKey.children.erase(it);
            else
                attrRef(*it, "Value") = c.specified;
            continue;
        }
        std::vector<Element*> placements;
        placementsOf(treeItem, c.name, placements);
        if (placements.empty()) throw std::runtime_error(what + ": no such object");
        for (Element* e : placements) {
            std::string& value = attrRef(*e, c.field);
            if (value != c.now) throw std::runtime_error(what + ": the shipped value is not the corrected one");
            value = c.specified;
        }
    }
    return root;
}

const Element& specified() {
    static const Element root = revertCorrections(shipped());
    return root;
}

const Element& sectionOf(const Element& root, const std::string& name) {
    const Element* s = root.child(name);
    REQUIRE_MESSAGE(s, name);
    return *s;
}

// Sections of the catalogue as specified, and as shipped with the corrections.
const Element& section(const std::string& name) { return sectionOf(specified(), name); }
const Element& shippedSection(const std::string& name) { return sectionOf(shipped(), name); }

struct Object {
    const Element* element;
    std::string parent;  // empty for the top-level groups
    int depth;           // 0 for the top-level groups
};

void collectObjects(const Element& parent, const std::string& parentName, int depth, std::vector<Object>& out) {
    for (const Element& child : parent.children) {
        out.push_back({&child, parentName, depth});
        collectObjects(child, child.name, depth + 1, out);
    }
}

std::vector<Object> objectsOf(const Element& root) {
    std::vector<Object> out;
    collectObjects(sectionOf(root, "TreeItem"), "", 0, out);
    return out;
}

// Every object of the tree in document order (depth-first), as specified and as shipped.
const std::vector<Object>& objects() {
    static const std::vector<Object> all = objectsOf(specified());
    return all;
}
const std::vector<Object>& shippedObjects() {
    static const std::vector<Object> all = objectsOf(shipped());
    return all;
}

std::vector<const Object*> tweaks(const std::vector<Object>& all = objects()) {
    std::vector<const Object*> out;
    for (const Object& o : all)
        if (o.element->attr("AType") == "CheckBox") out.push_back(&o);
    return out;
}

const Object* findObject(const std::string& name, const std::vector<Object>& all = objects()) {
    for (const Object& o : all)
        if (o.element->name == name) return &o;
    return nullptr;
}

std::map<std::string, int> countBy(const std::string& attribute, bool skipEmpty,
                                   const std::vector<Object>& all = objects()) {
    std::map<std::string, int> counts;
    for (const Object* t : tweaks(all)) {
        const std::string value = t->element->attr(attribute);
        if (!(skipEmpty && value.empty())) ++counts[value];
    }
    return counts;
}

std::wstring widen(const std::string& s) { return fromUtf8(s); }

struct AliasRow { const char* alias; const char* path; int references; };
struct GroupRow {
    const char* name; const char* parent; const char* frame; int img16; int img32; const char* caption;
    int groups; int tweaks; int applets;
};
struct SecondRow {
    const char* tweak; const char* group; const char* root; const char* key;
    const char* value1; const char* type1; const char* value2; const char* type2;
};
struct EditorRow {
    const char* tweak; const char* group; const char* frame; const char* root; const char* key;
    const char* value; const char* type;
};
struct DescriptionRow { const char* name; const char* caption; const char* descr; };

// alias, key path, references from the tree
const AliasRow kAliases[] = {
    {"Winlogon", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", 24},
    {"EventLog", "SYSTEM\\CurrentControlSet\\Services\\EventLog", 1},
    {"Memory_Management", "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management", 1},
    {"Session_Manager", "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 1},
    {"Policies_Network", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Network", 7},
    {"Network_Logon", "Network\\Logon", 1},
    {"LanmanServer_Parameters", "System\\CurrentControlSet\\Services\\LanmanServer\\Parameters", 4},
    {"RasMan_Parameters", "SYSTEM\\CurrentControlSet\\Services\\RasMan\\Parameters", 1},
    {"LSA", "SYSTEM\\CurrentControlSet\\Control\\LSA", 4},
    {"Policies_System", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", 15},
    {"Control_Panel", "Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel", 0},
    {"Policies_Explorer", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", 115},
    {"Policies_ActiveDesktop", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\ActiveDesktop", 8},
    {"Policies_NonEnum", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\NonEnum", 2},
    {"IE_Restrictions", "Software\\Policies\\Microsoft\\Internet Explorer\\Restrictions", 22},
    {"IE_Main", "Software\\Microsoft\\Internet Explorer\\Main", 14},
    {"User_SF", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", 0},
    {"CPApplets", "Control Panel\\don't load", 1},
    {"MSI", "Software\\Policies\\Microsoft\\Windows\\Installer", 1},
    {"Terminal_Server", "SYSTEM\\CurrentControlSet\\Control\\Terminal Server", 2},
    {"IE_ControlPanel", "Software\\Policies\\Microsoft\\Internet Explorer\\Control Panel", 38},
    {"Policies_Uninstall", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Uninstall", 11},
    {"ControlPanel_Desktop", "Software\\Policies\\Microsoft\\Windows\\Control Panel\\Desktop", 3},
    {"WindowsUpdate_AU", "SOFTWARE\\Policies\\Microsoft\\Windows\\WindowsUpdate\\AU", 1},
    {"Setup_RecoveryConsole", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Setup\\RecoveryConsole", 1},
    {"lanmanworkstation", "SYSTEM\\CurrentControlSet\\Services\\lanmanworkstation\\parameters", 2},
    {"Internet_Settings", "SOFTWARE\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 9},
    {"Control_Print", "System\\CurrentControlSet\\Control\\Print", 1},
    {"DNS_Parameters", "SYSTEM\\CurrentControlSet\\Services\\DNS\\Parameters", 1},
    {"Microsoft_Ole", "SOFTWARE\\Microsoft\\Ole", 2},
    {"DirectPlayNATHelp_DPNHUPnP", "SOFTWARE\\Microsoft\\DirectPlayNATHelp\\DPNHUPnP", 1},
    {"Services_BridgeMP", "SYSTEM\\CurrentControlSet\\Services\\BridgeMP", 2},
    {"CurrentVersion_Windows", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Windows", 1},
    {"Printers", "SOFTWARE\\Policies\\Microsoft\\Windows NT\\Printers", 1},
    {"Services_Ipsec", "System\\CurrentControlSet\\Services\\Ipsec", 1},
    {"Directory_UI", "Software\\Policies\\Microsoft\\Windows\\Directory UI", 1},
    {"Network_Connections", "Software\\Policies\\Microsoft\\Windows\\Network Connections", 20},
    {"Services_MrxSmb_Parameters", "SYSTEM\\CurrentControlSet\\Services\\MrxSmb\\Parameters", 1},
    {"Services_Tcpip_Parameters", "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", 1},
    {"CLSID", "CLSID", 2},
    {"Explorer_Advanced", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced", 17},
    {"Policies_Microsoft_MMC", "Software\\Policies\\Microsoft\\MMC", 2},
    {"SystemRestore", "SOFTWARE\\Policies\\Microsoft\\Windows NT\\SystemRestore", 2},
    {"Windows_System", "Software\\Policies\\Microsoft\\Windows\\System", 1},
    {"Windows_Script_Host_Settings", "SOFTWARE\\Microsoft\\Windows Script Host\\Settings", 1},
    {"System_Power", "Software\\Policies\\Microsoft\\Windows\\System\\Power", 1},
    {"CrashControl", "SYSTEM\\CurrentControlSet\\Control\\CrashControl", 1},
    {"CurrentVersion_Explorer", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", 3},
    {"Internet_Explorer", "Software\\Microsoft\\Internet Explorer", 3},
    {"IE_Toolbar", "Software\\Microsoft\\Internet Explorer\\Toolbar", 2},
    {"Microsoft_Ftp", "Software\\Microsoft\\Ftp", 1},
    {"IE_Search", "SOFTWARE\\Microsoft\\Internet Explorer\\Search", 1},
    {"Zones_3", "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3", 2},
    {"IE_Styles", "Software\\Microsoft\\Internet Explorer\\Styles", 1},
    {"Internet_Settings_Cache", "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Cache", 1},
    {"IE_Toolbar_Restrictions", "Software\\Policies\\Microsoft\\Internet Explorer\\Toolbars\\Restrictions", 4},
    {"IE_Infodelivery_Restrictions", "Software\\Policies\\Microsoft\\Internet Explorer\\Infodelivery\\Restrictions", 1},
    {"IE_PhotoSupport", "Software\\Policies\\Microsoft\\Internet Explorer\\PhotoSupport", 1},
    {"Explorer_BrowseNewProcess", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BrowseNewProcess", 1},
    {"IE_Help_Menu_Urls", "SOFTWARE\\Microsoft\\Internet Explorer\\Help_Menu_Urls", 1},
    {"Explorer_AutoComplete", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\AutoComplete", 1},
    {"IE_Extensions", "SOFTWARE\\Microsoft\\Internet Explorer\\Extensions", 1},
    {"mailto_shell_open_command", "mailto\\shell\\open\\command", 1},
    {"Conferencing_Debug", "SOFTWARE\\Microsoft\\Conferencing\\Debug", 1},
    {"User_Location_Service_Client", "Software\\Microsoft\\User Location Service\\Client", 8},
    {"Policies_Microsoft_Conferencing", "SOFTWARE\\Policies\\Microsoft\\Conferencing", 32},
    {"Policies_Microsoft_WMPlayer", "Software\\Policies\\Microsoft\\WindowsMediaPlayer", 9},
    {"MediaPlayer_Preferences", "Software\\Microsoft\\MediaPlayer\\Preferences", 2},
    {"MediaPlayer_Player_Settings", "Software\\Microsoft\\MediaPlayer\\Player\\Settings", 1},
    {"Wab_File_Name", "Software\\Microsoft\\WAB\\WAB4\\Wab File Name", 1},
    {"Outlook_Express", "SOFTWARE\\Microsoft\\Outlook Express", 5},
    {"Identities", "Identities\\[Identity]\\Software\\Microsoft\\Outlook Express\\5.0", 1},
    {"Trident_Main", "Identities\\{Unique Identity}\\Software\\Microsoft\\Outlook Express\\5.0\\Trident\\Main", 1},
    {"Outlook_Express_5_0", "Identities\\{Unique Identity}\\Software\\Microsoft\\Outlook Express\\5.0", 2},
    {"Internet_Mail_and_News", "Software\\Microsoft\\Internet Mail and News", 1},
    {"MessengerService_Policies", "SOFTWARE\\Microsoft\\MessengerService\\Policies", 1},
    {"Office_10_Outlook_InstantMessaging", "Software\\Policies\\Microsoft\\Office\\10.0\\Outlook\\InstantMessaging", 1},
    {"Messenger_Client", "Software\\Policies\\Microsoft\\Messenger\\Client", 10},
    {"Office_10_Common", "[OfficeAllVersions]\\Common", 0},
    {"Office_10_Toolbars_Settings", "[OfficeAllVersions]\\Common\\Toolbars\\Settings", 0},
    {"Office_General", "[OfficeAllVersions]\\Common\\General", 0},
    {"Office_9_Common_General", "[OfficeAllVersions]\\Common\\General", 0},
    {"Windows_Installer", "SOFTWARE\\Policies\\Microsoft\\Windows\\Installer", 3},
    {"TaskScheduler5", "Software\\Policies\\Microsoft\\Windows\\Task Scheduler5.0", 7},
    {"SessionManager_Environment", "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment", 2},
    {"Windows_NetCache", "SOFTWARE\\Policies\\Microsoft\\Windows\\NetCache", 1},
    {"Explorer_BitBucket", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\BitBucket", 1},
    {"Reliability", "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Reliability", 1},
    {"ContentIndex", "SYSTEM\\CurrentControlSet\\Control\\ContentIndex", 1},
    {"RecoveryConsole", "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Setup\\RecoveryConsole", 1},
    {"CleanupWiz", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Desktop\\CleanupWiz", 1},
    {"AppManagement", "Software\\Policies\\Microsoft\\Windows\\App Management", 1},
    {"Control_Windows", "SYSTEM\\CurrentControlSet\\Control\\Windows", 1},
    {"Services_upnphost", "SYSTEM\\CurrentControlSet\\Services\\upnphost", 1},
    {"W32Time_Parameters", "SYSTEM\\CurrentControlSet\\Services\\W32Time\\Parameters", 1},
    {"Office_PlacesPublishing", "[OfficeAllVersions]\\Common\\Open Find\\Places\\StandardPlaces\\Publishing", 1},
    {"Office_PlacesDesktop", "[OfficeAllVersions]\\Common\\Open Find\\Places\\StandardPlaces\\Desktop", 1},
    {"Office_PlacesFavorites", "[OfficeAllVersions]\\Common\\Open Find\\Places\\StandardPlaces\\Favorites", 1},
    {"Office_PlacesMyDocuments", "[OfficeAllVersions]\\Common\\Open Find\\Places\\StandardPlaces\\MyDocuments", 1},
    {"Office_PlacesRecent", "[OfficeAllVersions]\\Common\\Open Find\\Places\\StandardPlaces\\Recent", 1},
    {"Comdlg32", "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\comdlg32", 3},
};
// name, parent, frame, img16, img32, caption, groups held, tweaks held, CPApplets held
const GroupRow kGroups[] = {
    {"Group_AboutAdvertise", "", "frameAdvertise", 10, 5, "Advaced", 0, 0, 0},
    {"Group_WinCommonRestr", "", "frameGroup", 10, 5, "Windows Common Restrictions", 5, 0, 0},
    {"Group_CommonSystem", "Group_WinCommonRestr", "frameCheckBoxes", 10, 5, "System", 0, 28, 0},
    {"Group_CommonNetwork", "Group_WinCommonRestr", "frameCheckBoxes", 4, 7, "Network", 0, 25, 0},
    {"Group_Login_and_Authentication", "Group_WinCommonRestr", "frameCheckBoxes", 5, 8, "Login and Authentication", 0, 26, 0},
    {"Group_CommonInternet", "Group_WinCommonRestr", "frameCheckBoxes", 3, 0, "Internet", 0, 2, 0},
    {"Group_CommonSoftware", "Group_WinCommonRestr", "frameCheckBoxes", 29, 15, "Software Restrictions", 0, 15, 0},
    {"Group_UserRestr", "", "frameGroup", 0, 0, "User Restrictions", 13, 0, 0},
    {"Group_ControlPanel", "Group_UserRestr", "frameGroup", 12, 6, "Control Panel", 5, 0, 1},
    {"Group_Display", "Group_ControlPanel", "frameCheckBoxes", 11, 4, "Display settings", 0, 11, 0},
    {"CPApplets", "Group_ControlPanel", "frameCPApplets", 7, 2, "Control Panel Applets", 0, 0, 0},
    {"Cp_IEOptions", "Group_ControlPanel", "frameCheckBoxes", 3, 0, "Internet options", 0, 40, 0},
    {"CP_Printers", "Group_ControlPanel", "frameCheckBoxes", 9, 3, "Printers", 0, 3, 0},
    {"Cp_AddRemovePrograms", "Group_ControlPanel", "frameCheckBoxes", 6, 1, "Add-Remove Programs", 0, 11, 0},
    {"Cp_Restrictions", "Group_ControlPanel", "frameCheckBoxes", 24, 10, "Control panel restrictions", 0, 2, 0},
    {"ActiveDesktop", "Group_UserRestr", "frameCheckBoxes", 23, 9, "Active Desktop", 0, 12, 0},
    {"Group_DesktopExplorer", "Group_UserRestr", "frameCheckBoxes", 25, 11, "Desktop and Explorer", 0, 30, 0},
    {"Group_UserNetwork", "Group_UserRestr", "frameCheckBoxes", 4, 7, "Network", 0, 28, 0},
    {"Group_StartMenuTaskbar", "Group_UserRestr", "frameCheckBoxes", 26, 12, "Start Menu and Taskbar", 0, 36, 0},
    {"Group_UserSystem", "Group_UserRestr", "frameCheckBoxes", 10, 5, "System", 0, 14, 0},
    {"Group_UserFolderLocations", "Group_UserRestr", "frameCheckBoxes", 28, 14, "User Folder Locations", 0, 4, 0},
    {"Group_DocumentsFolders", "Group_UserRestr", "frameCheckBoxes", 27, 13, "Documents and Folders", 0, 7, 0},
    {"Group_UserSoftware", "Group_UserRestr", "frameGroup", 29, 15, "Software", 7, 0, 0},
    {"Group_UserInternetExplorer", "Group_UserSoftware", "frameGroup", 30, 16, "Internet Explorer", 5, 0, 0},
    {"Group_UserIEAppearance", "Group_UserInternetExplorer", "frameCheckBoxes", 31, 17, "Appearance", 0, 33, 0},
    {"Group_IEUserNetwork", "Group_UserInternetExplorer", "frameCheckBoxes", 32, 18, "Network and Connections", 0, 3, 0},
    {"Group_IEUserSearch", "Group_UserInternetExplorer", "frameCheckBoxes", 33, 20, "Search Features", 0, 2, 0},
    {"Group_IEUserSecurity", "Group_UserInternetExplorer", "frameCheckBoxes", 34, 19, "Security", 0, 21, 0},
    {"Group_IEUserToolbarBtn", "Group_UserInternetExplorer", "frameCheckBoxes", 36, 22, "Internet Explorer Toolbar Buttons", 0, 23, 0},
    {"Group_Netmeeting", "Group_UserSoftware", "frameGroup", 37, 23, "Netmeeting", 2, 0, 0},
    {"Group_NetmeetRestr", "Group_Netmeeting", "frameCheckBoxes", 34, 19, "Netmeeting Policies and Restrictions", 0, 32, 0},
    {"Group_NetmeetUser", "Group_Netmeeting", "frameCheckBoxes", 38, 24, "User Parameters for Netmeeting", 0, 8, 0},
    {"Group_MediaPlayer", "Group_UserSoftware", "frameCheckBoxes", 39, 25, "Media Player", 0, 10, 0},
    {"Group_OutlookExpress", "Group_UserSoftware", "frameCheckBoxes", 40, 26, "Outlook Express", 0, 7, 0},
    {"Group_UserMessenger", "Group_UserSoftware", "frameCheckBoxes", 41, 27, "Windows Messenger", 0, 10, 0},
    {"Group_TaskSheduler", "Group_UserSoftware", "frameCheckBoxes", 46, 32, "Task Scheduler", 0, 6, 0},
    {"Group_MicrosoftOfficeRestr", "Group_UserSoftware", "frameCheckBoxes", 44, 30, "Office Applications Restrictions", 0, 5, 0},
    {"Group_UserDrives", "Group_UserRestr", "frameCheckBoxes", 35, 21, "Drives restrictions", 0, 2, 0},
    {"Group_WinInstaller", "Group_UserRestr", "frameCheckBoxes", 45, 31, "Windows Installer", 0, 3, 0},
    {"Group_UserFileSystem", "Group_UserRestr", "frameCheckBoxes", 47, 33, "File System", 0, 10, 0},
    {"Group_UserApplications", "Group_UserRestr", "frameCheckBoxes", 65, 36, "Restrict Applications Users Can Run", 0, 2, 0},
};
// tweak, group, root, key, first value, its type, second value, its type
const SecondRow kTwoLocations[] = {
    {"AllowTSConnections", "Group_CommonSystem", "HKEY_LOCAL_MACHINE", "Terminal_Server", "AllowTSConnections", "Integer10", "fAllowToGetHelp", "Integer10"},
    {"DisableConfig", "Group_CommonSystem", "HKEY_LOCAL_MACHINE", "SystemRestore", "DisableConfig", "Integer10", "DisableSR", "Integer10"},
    {"AutoShareServer", "Group_CommonNetwork", "HKEY_LOCAL_MACHINE", "LanmanServer_Parameters", "AutoShareServer", "Integer01", "AutoShareWks", "Integer01"},
    {"DisableForwarding", "Group_CommonNetwork", "HKEY_LOCAL_MACHINE", "Services_BridgeMP", "DisableForwarding", "Integer10", "DisableSTA", "Integer10"},
    {"DisableAutoUpdate", "Group_CommonSoftware", "HKEY_LOCAL_MACHINE", "Policies_Microsoft_WMPlayer", "DisableAutoUpdate", "Integer10", "EnableAutoUpgrade", "String_NoYes"},
    {"NoRunasInstallPrompt", "Group_UserSystem", "HKEY_CURRENT_USER", "Policies_Explorer", "NoRunasInstallPrompt", "Integer01", "PromptRunasInstallNetPath", "Integer10"},
    {"PreventAutoRun", "Group_UserMessenger", "HKEY_CURRENT_USER", "Messenger_Client", "PreventAutoRun", "Integer10", "PreventRun", "Integer10"},
    {"TaskCreation", "Group_TaskSheduler", "HKEY_CURRENT_USER", "TaskScheduler5", "Task Creation", "Integer10", "Task Deletion", "Integer10"},
};
// tweak, group, frame, root, key, value, type
const EditorRow kEditors[] = {
    {"Welcome", "Group_Login_and_Authentication", "frameStringEdit", "HKEY_LOCAL_MACHINE", "Winlogon", "Welcome", "String"},
    {"LogonPrompt", "Group_Login_and_Authentication", "frameStringEdit", "HKEY_LOCAL_MACHINE", "Winlogon", "LogonPrompt", "String"},
    {"SearchAssistant", "Group_CommonSoftware", "frameStringEdit", "HKEY_LOCAL_MACHINE", "IE_Search", "SearchAssistant", "String"},
    {"SearchBar", "Group_CommonSoftware", "frameStringEdit", "HKEY_LOCAL_MACHINE", "IE_Main", "Search Bar", "String"},
    {"Online_Support", "Group_CommonSoftware", "frameStringEdit", "HKEY_LOCAL_MACHINE", "IE_Help_Menu_Urls", "Online_Support", "String"},
    {"IMWarning", "Group_CommonSoftware", "frameStringEdit", "HKEY_LOCAL_MACHINE", "MessengerService_Policies", "IMWarning", "String"},
    {"WindowTitle", "Group_UserIEAppearance", "frameStringEdit", "HKEY_CURRENT_USER", "IE_Main", "Window Title", "String"},
    {"Account", "Group_NetmeetUser", "frameStringEdit", "HKEY_CURRENT_USER", "User_Location_Service_Client", "Account", "String"},
    {"Comments", "Group_NetmeetUser", "frameStringEdit", "HKEY_CURRENT_USER", "User_Location_Service_Client", "Comments", "String"},
    {"EmailName", "Group_NetmeetUser", "frameStringEdit", "HKEY_CURRENT_USER", "User_Location_Service_Client", "Email Name", "String"},
    {"FirstName", "Group_NetmeetUser", "frameStringEdit", "HKEY_CURRENT_USER", "User_Location_Service_Client", "First Name", "String"},
    {"LastName", "Group_NetmeetUser", "frameStringEdit", "HKEY_CURRENT_USER", "User_Location_Service_Client", "Last Name", "String"},
    {"Location", "Group_NetmeetUser", "frameStringEdit", "HKEY_CURRENT_USER", "User_Location_Service_Client", "Location", "String"},
    {"Phonenum", "Group_NetmeetUser", "frameStringEdit", "HKEY_CURRENT_USER", "User_Location_Service_Client", "Phonenum", "String"},
    {"UserName", "Group_NetmeetUser", "frameStringEdit", "HKEY_CURRENT_USER", "User_Location_Service_Client", "User Name", "String"},
    {"TitleBar", "Group_MediaPlayer", "frameStringEdit", "HKEY_CURRENT_USER", "Policies_Microsoft_WMPlayer", "TitleBar", "String"},
    {"WindowTitleOutlookExp", "Group_OutlookExpress", "frameStringEdit", "HKEY_CURRENT_USER", "Outlook_Express", "WindowTitle", "String"},
    {"DefaultCategory", "Cp_AddRemovePrograms", "frameDirectoryEdit", "HKEY_LOCAL_MACHINE", "Policies_Uninstall", "DefaultCategory", "String_noyes"},
    {"NoChooseProgramsPage", "Cp_AddRemovePrograms", "frameDirectoryEdit", "HKEY_LOCAL_MACHINE", "Policies_Uninstall", "NoChooseProgramsPage", "String_noyes"},
    {"Download_Directory", "Group_IEUserSecurity", "frameDirectoryEdit", "HKEY_CURRENT_USER", "Internet_Explorer", "Download Directory", "String"},
    {"StoreRoot", "Group_OutlookExpress", "frameDirectoryEdit", "HKEY_CURRENT_USER", "Outlook_Express_5_0", "Store Root", "String"},
    {"DefaultMailClient", "Group_CommonInternet", "frameFileNameEdit", "HKEY_CLASSES_ROOT", "mailto_shell_open_command", "", "String"},
    {"RetailLog", "Group_CommonSoftware", "frameFileNameEdit", "HKEY_LOCAL_MACHINE", "Conferencing_Debug", "RetailLog", "Integer01"},
    {"BackBitmapShell", "Group_UserIEAppearance", "frameFileNameEdit", "HKEY_CURRENT_USER", "IE_Toolbar", "BackBitmapShell", "String"},
    {"AddressBookLocation", "Group_OutlookExpress", "frameFileNameEdit", "HKEY_CURRENT_USER", "Wab_File_Name", "", "String"},
    {"FrontPagePath", "Group_OutlookExpress", "frameFileNameEdit", "HKEY_CURRENT_USER", "Identities", "FrontPagePath", "String"},
    {"NoDrives", "Group_UserDrives", "frameDrives", "HKEY_CURRENT_USER", "Policies_Explorer", "NoDrives", "Integer"},
    {"NoViewOnDrive", "Group_UserDrives", "frameDrives", "HKEY_CURRENT_USER", "Policies_Explorer", "NoViewOnDrive", "Integer"},
    {"DisallowRun", "Group_UserApplications", "frameApplications", "HKEY_CURRENT_USER", "Policies_Explorer", "DisallowRun", "Integer10"},
    {"RestrictRun", "Group_UserApplications", "frameApplications", "HKEY_CURRENT_USER", "Policies_Explorer", "RestrictRun", "Integer10"},
};
const DescriptionRow kGivenTexts[] = {
    {"Group_AboutAdvertise", "Advaced", "Advanced system tweaking"},
    {"1001", "Restrict ActiveX program installations in Internet Explorer", "This tweak allows you to restrict the ability to install programs via the ActiveX control using Internet Explorer."},
    {"1803", "Disable File Download in Internet Explorer", "This setting allows you to restrict the ability to download files using Internet Explorer."},
    {"CPApplets", "Control Panel Applets", "This tweak allows you to show or hide specific applets found in the Windows Control Panel."},
    {"SpecifyDefaultButtons", ".Remove Selected Internet Explorer Toolbar Buttons", "These settings allow you to hide and disable specific buttons on the Internet Explorer toolbar."},
    {"Btn_Back", "Remove the 'Back' button", "Remove the 'Back' button on the Internet Explorer toolbar."},
    {"NoDrives", "Hide Drives in My Computer", "This setting allows you to control which drives are visible in My Computer and Explorer. It is possible to hide all drives or just selected ones."},
};

// The extra Description entries that name no object of the tree.
const char* const kExtraDescriptions[] = {
    "Group_NetworkCtrl", "NoChangingWallPaper", "NoSecurityPage", "Group_MicrosoftOffice", "Group_Outlook",
    "Group_Word", "BlockHTTPImages", "MicrosoftAccessAWDropdownHidden", "MicrosoftExcelAWDropdownHidden",
    "MicrosoftOutlookAWDropdownHidden", "MicrosoftPowerpointAWDropdownHidden", "MicrosoftWordAWDropdownHidden",
    "DWNeverUpload", "DWNoFileCollection", "UseOfficeUIFont", "NoTrack", "AcbControl",
    "AvoidAccidentalRegistryImports", "UserPreferencesMask"};

const std::vector<std::string> kObjectAttributes{"AType", "AFrame", "AKey1", "AValue1", "AValueType1", "AKey2",
                                                 "AValue2", "AValueType2", "RootKey1", "RootKey2", "img16", "img32"};

}  // namespace

TEST_CASE("the scanner rejects every departure from the shipped text form") {
    const std::string head = kDeclaration + "\r\n";
    struct Case { const char* what; std::string text; };
    const Case cases[] = {
        {"LF line ends", kDeclaration + "\n<OBJECTS>\n</OBJECTS>\n"},
        {"no declaration", "<OBJECTS>\r\n</OBJECTS>\r\n"},
        {"byte-order mark", "\xEF\xBB\xBF" + head + "<OBJECTS>\r\n</OBJECTS>\r\n"},
        {"non-ASCII text", head + "<OBJECTS>\r\n  <A Caption=\"caf\xC3\xA9\"/>\r\n</OBJECTS>\r\n"},
        {"odd indent", head + "<OBJECTS>\r\n   <A/>\r\n</OBJECTS>\r\n"},
        {"indent one level too deep", head + "<OBJECTS>\r\n    <A/>\r\n</OBJECTS>\r\n"},
        {"single quotes", head + "<OBJECTS>\r\n  <A Value='x'/>\r\n</OBJECTS>\r\n"},
        {"space before the empty-element end", head + "<OBJECTS>\r\n  <A />\r\n</OBJECTS>\r\n"},
        {"two elements on a line", head + "<OBJECTS>\r\n  <A/><B/>\r\n</OBJECTS>\r\n"},
        {"mismatched close tag", head + "<OBJECTS>\r\n  <A>\r\n  </B>\r\n</OBJECTS>\r\n"},
        {"unclosed root", head + "<OBJECTS>\r\n  <A/>\r\n"},
        {"no final line end", head + "<OBJECTS>\r\n</OBJECTS>"},
        {"text after the root", head + "<OBJECTS>\r\n</OBJECTS>\r\n<X/>\r\n"},
    };
    for (const Case& c : cases) {
        CAPTURE(c.what);
        CHECK_THROWS(scanScheme(c.text));
    }
    const Element ok = scanScheme(head + "<OBJECTS a=\"1\">\r\n  <R>\r\n  </R>\r\n  <S>\r\n    <T b=\"x y\" b=\"z\"/>\r\n  </S>\r\n</OBJECTS>\r\n");
    CHECK(ok.childNames() == std::vector<std::string>{"R", "S"});
    CHECK(ok.children[0].openClose);
    CHECK_FALSE(ok.children[1].openClose);
    CHECK(ok.children[1].children[0].attrs.size() == 2);
}

TEST_CASE("the shipped scheme has the shipped text form and its nine sections") {
    const std::string bytes = readShipped();
    REQUIRE_NOTHROW(scanScheme(bytes));
    const Element& root = shipped();
    CHECK(root.name == "OBJECTS");
    CHECK(root.attrNames() == std::vector<std::string>{"xmlns:xsi", "xsi:noNamespaceSchemaLocation"});
    CHECK(root.attr("xmlns:xsi") == "http://www.w3.org/2001/XMLSchema-instance");
    CHECK_FALSE(root.attr("xsi:noNamespaceSchemaLocation").empty());
    CHECK(root.childNames() == std::vector<std::string>{"Description", "RegKey", "Constant", "Restriction",
                                                        "RestrictionType", "TreeItem", "AppObjType",
                                                        "ValueType", "Frame"});

    // Only these two are written as an open and a close tag without children.
    std::vector<std::string> openClose;
    std::vector<const Element*> pending{&root};
    while (!pending.empty()) {
        const Element* e = pending.back();
        pending.pop_back();
        if (e->openClose) openClose.push_back(e->name);
        for (const Element& c : e->children) pending.push_back(&c);
    }
    std::sort(openClose.begin(), openClose.end());
    CHECK(openClose == std::vector<std::string>{"Group_AboutAdvertise", "Restriction"});

    const Element& constants = shippedSection("Constant");
    CHECK(constants.childNames() ==
          std::vector<std::string>{"AppName", "AppSName", "HelpFileName", "HomePage", "EMail", "LinksPage", "OrderPage"});
    for (const Element& c : constants.children) {
        CAPTURE(c.name);
        CHECK(c.attrNames() == std::vector<std::string>{"Value"});
        CHECK_FALSE(c.attr("Value").empty());
    }
    CHECK(shippedSection("Restriction").children.empty());
    CHECK(shippedSection("RestrictionType").childNames() == std::vector<std::string>{"Custom", "CheckBox"});
    CHECK(shippedSection("AppObjType").childNames() == std::vector<std::string>{"Group", "CheckBox", "Custom"});

    struct TypeRow { const char* name; const char* on; const char* off; };
    const TypeRow types[] = {
        {"String", nullptr, nullptr}, {"String10", "1", "0"}, {"String01", "0", "1"},
        {"String_yesno", "yes", "no"}, {"String_noyes", "no", "yes"}, {"String_YesNo", "Yes", "No"},
        {"String_NoYes", "No", "Yes"}, {"String_YN", "Y", "N"}, {"String_NY", "N", "Y"},
        {"Integer10", "1", "0"}, {"Integer31", "3", "1"}, {"Integer30", "3", "0"}, {"Integer43", "4", "3"},
        {"Integer20", "2", "0"}, {"Integer01", "0", "1"}, {"CLSID", nullptr, nullptr}, {"Integer", nullptr, nullptr},
        // The seventeen specified types, then the toolbar buttons' documented one.
        {"Integer21", "2", "1"}};
    const Element& valueTypes = shippedSection("ValueType");
    REQUIRE(valueTypes.children.size() == std::size(types));
    for (std::size_t i = 0; i < std::size(types); ++i) {
        const Element& e = valueTypes.children[i];
        CAPTURE(types[i].name);
        CHECK(e.name == types[i].name);
        if (types[i].on) {
            REQUIRE(e.attrs.size() == 2);
            CHECK(e.attrs[0] == std::pair<std::string, std::string>{"Value1", types[i].on});
            CHECK(e.attrs[1] == std::pair<std::string, std::string>{"Value1", types[i].off});
        } else {
            CHECK(e.attrs.empty());
        }
    }
    CHECK(shippedSection("Frame").childNames() ==
          std::vector<std::string>{"frameGroup", "frameCheckBoxes", "frameCPApplets", "frameCheckBox",
                                   "frameToolbarButtons", "frameStringEdit", "frameDirectoryEdit",
                                   "frameFileNameEdit", "frameDrives", "frameApplications", "frameProtectFiles",
                                   "frameUserTime"});
}

TEST_CASE("the RegKey section holds the 101 aliases and the tree references them as catalogued") {
    const Element& regKey = section("RegKey");
    REQUIRE(regKey.children.size() == std::size(kAliases));
    std::map<std::string, int> references;
    for (const Object& o : objects())
        for (const char* key : {"AKey1", "AKey2"})
            if (const std::string alias = o.element->attr(key); !alias.empty()) ++references[alias];

    std::set<std::string> aliases;
    int officePaths = 0, officeReferenced = 0, unreferenced = 0;
    for (std::size_t i = 0; i < std::size(kAliases); ++i) {
        const Element& e = regKey.children[i];
        CAPTURE(kAliases[i].alias);
        CHECK(e.name == kAliases[i].alias);
        CHECK(e.attrNames() == std::vector<std::string>{"Value"});
        CHECK(e.attr("Value") == kAliases[i].path);
        CHECK(references[e.name] == kAliases[i].references);
        aliases.insert(e.name);
        if (e.attr("Value").rfind("[OfficeAllVersions]", 0) == 0) {
            ++officePaths;
            officeReferenced += references[e.name] > 0;
        }
        unreferenced += references[e.name] == 0;
    }
    CHECK(aliases.size() == 101);
    CHECK(officePaths == 9);
    CHECK(officeReferenced == 5);
    CHECK(unreferenced == 6);
    for (const auto& [alias, count] : references) {
        CAPTURE(alias);
        CHECK(aliases.count(alias) == 1);  // every AKey names an existing alias
    }
}

TEST_CASE("the tree holds the 40 groups and the applets object where the catalogue puts them") {
    const std::vector<Object>& all = objects();
    CHECK(all.size() == 512);
    std::set<std::string> names;
    for (const Object& o : all) names.insert(o.element->name);
    CHECK(names.size() == 511);
    CHECK(section("TreeItem").childNames() ==
          std::vector<std::string>{"Group_AboutAdvertise", "Group_WinCommonRestr", "Group_UserRestr"});

    std::vector<std::string> nonTweaks;
    int groups = 0, custom = 0;
    for (const Object& o : all) {
        const std::string type = o.element->attr("AType");
        if (type == "CheckBox") continue;
        nonTweaks.push_back(o.element->name);
        groups += type == "Group";
        custom += type == "Custom";
    }
    CHECK(groups == 40);
    CHECK(custom == 1);
    std::vector<std::string> expectedOrder;
    for (const GroupRow& g : kGroups) expectedOrder.push_back(g.name);
    CHECK(nonTweaks == expectedOrder);  // document order, depth-first

    for (const GroupRow& g : kGroups) {
        CAPTURE(g.name);
        const Object* o = findObject(g.name);
        REQUIRE(o);
        const Element& e = *o->element;
        const bool applets = std::string(g.name) == "CPApplets";
        CHECK(o->parent == g.parent);
        CHECK(e.attrNames() == kObjectAttributes);
        CHECK(e.attr("AType") == (applets ? "Custom" : "Group"));
        CHECK(e.attr("AFrame") == g.frame);
        CHECK(e.attr("img16") == std::to_string(g.img16));
        CHECK(e.attr("img32") == std::to_string(g.img32));
        if (applets) {
            CHECK(e.attr("RootKey1") == "HKEY_CURRENT_USER");
            CHECK(e.attr("AKey1") == "CPApplets");
            CHECK(e.attr("AValueType1") == "String_YesNo");
            CHECK(e.attr("AValue1").empty());
            for (const char* a : {"AKey2", "AValue2", "AValueType2", "RootKey2"}) CHECK(e.attr(a).empty());
        } else {
            for (const char* a : {"AKey1", "AValue1", "AValueType1", "AKey2", "AValue2", "AValueType2", "RootKey1", "RootKey2"})
                CHECK(e.attr(a).empty());
        }

        int heldGroups = 0, heldTweaks = 0, heldApplets = 0;
        for (const Element& c : e.children) {
            const std::string type = c.attr("AType");
            heldGroups += type == "Group";
            heldTweaks += type == "CheckBox";
            heldApplets += type == "Custom";
        }
        CHECK(heldGroups == g.groups);
        CHECK(heldTweaks == g.tweaks);
        CHECK(heldApplets == g.applets);
        // A group holds groups (frameGroup) or tweaks (frameCheckBoxes), never both.
        if (heldTweaks > 0) CHECK(e.attr("AFrame") == "frameCheckBoxes");
        if (heldGroups > 0) CHECK(e.attr("AFrame") == "frameGroup");
    }
}

TEST_CASE("the 471 tweaks carry the catalogued value types, roots, frames and images") {
    const std::vector<const Object*> all = tweaks();
    REQUIRE(all.size() == 471);

    using Counts = std::map<std::string, int>;
    CHECK(countBy("AValueType1", false) ==
          Counts{{"Integer10", 323}, {"Integer01", 60}, {"Integer20", 25}, {"String", 23}, {"String10", 14},
                 {"String_noyes", 5}, {"String_YesNo", 5}, {"CLSID", 3}, {"String01", 2}, {"String_NY", 2},
                 {"String_NoYes", 2}, {"String_yesno", 2}, {"Integer", 2}, {"Integer43", 1}, {"Integer31", 1},
                 {"Integer30", 1}});
    CHECK(countBy("AValueType2", true) == Counts{{"Integer10", 6}, {"Integer01", 1}, {"String_NoYes", 1}});
    CHECK(countBy("RootKey1", false) ==
          Counts{{"HKEY_CURRENT_USER", 374}, {"HKEY_LOCAL_MACHINE", 94}, {"HKEY_CLASSES_ROOT", 3}});
    CHECK(countBy("RootKey2", true) == Counts{{"HKEY_LOCAL_MACHINE", 5}, {"HKEY_CURRENT_USER", 3}});
    CHECK(countBy("AFrame", false) ==
          Counts{{"frameCheckBox", 418}, {"frameToolbarButtons", 23}, {"frameStringEdit", 17},
                 {"frameFileNameEdit", 5}, {"frameDirectoryEdit", 4}, {"frameDrives", 2}, {"frameApplications", 2}});

    int renamedValues = 0, withoutImages = 0;
    std::vector<std::string> emptyValues;
    for (const Object* t : all) {
        const Element& e = *t->element;
        CAPTURE(e.name);
        CHECK(e.children.empty());
        CHECK(t->depth >= 2);
        CHECK(t->depth <= 4);
        CHECK(!e.attr("AKey1").empty());
        CHECK(!e.attr("RootKey1").empty());
        renamedValues += e.attr("AValue1") != e.name;
        if (e.attr("AValue1").empty()) emptyValues.push_back(e.name);
        if (e.has("img16")) {
            CHECK(e.attrNames() == kObjectAttributes);
            CHECK(e.attr("img16") == "-1");
            CHECK(e.attr("img32") == "-1");
        } else {
            ++withoutImages;
            CHECK(e.attrNames() == std::vector<std::string>(kObjectAttributes.begin(), kObjectAttributes.end() - 2));
        }
        // The second value is all there or not at all, always under the first's key and root.
        if (!e.attr("AValueType2").empty()) {
            CHECK(e.attr("AKey2") == e.attr("AKey1"));
            CHECK(e.attr("RootKey2") == e.attr("RootKey1"));
        } else {
            CHECK(e.attr("AKey2").empty());
            CHECK(e.attr("AValue2").empty());
            CHECK(e.attr("RootKey2").empty());
        }
    }
    CHECK(renamedValues == 44);
    CHECK(withoutImages == 36);
    CHECK(emptyValues == std::vector<std::string>{"DefaultMailClient", "AddressBookLocation"});

    // Names: ASCII letters, digits and "_", at most 36 characters.
    for (const Object& o : objects()) {
        const std::string& name = o.element->name;
        CAPTURE(name);
        CHECK(name.size() <= 36);
        CHECK(name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") == std::string::npos);
    }
    for (const char* digits : {"1001", "1803"}) {
        const Object* o = findObject(digits);
        REQUIRE(o);
        CHECK(o->parent == "Group_IEUserSecurity");
        CHECK(o->element->attr("AValue1") == digits);
        CHECK(o->element->attr("AKey1") == "Zones_3");
    }
}

TEST_CASE("NoNetConnectDisconnect stands in two groups with identical attributes") {
    std::vector<const Object*> places;
    for (const Object& o : objects())
        if (o.element->name == "NoNetConnectDisconnect") places.push_back(&o);
    REQUIRE(places.size() == 2);
    CHECK(places[0]->parent == "Group_CommonNetwork");
    CHECK(places[1]->parent == "Group_UserNetwork");
    CHECK(places[0]->element->attrs == places[1]->element->attrs);
    CHECK(places[0]->element->attr("AKey1") == "Policies_Explorer");
    CHECK(places[0]->element->attr("RootKey1") == "HKEY_CURRENT_USER");
}

TEST_CASE("exactly the catalogued tweaks switch two registry values") {
    std::set<std::string> listed;
    for (const SecondRow& r : kTwoLocations) {
        CAPTURE(r.tweak);
        listed.insert(r.tweak);
        const Object* o = findObject(r.tweak);
        REQUIRE(o);
        const Element& e = *o->element;
        CHECK(o->parent == r.group);
        CHECK(e.attr("RootKey1") == r.root);
        CHECK(e.attr("RootKey2") == r.root);
        CHECK(e.attr("AKey1") == r.key);
        CHECK(e.attr("AKey2") == r.key);
        CHECK(e.attr("AValue1") == r.value1);
        CHECK(e.attr("AValueType1") == r.type1);
        CHECK(e.attr("AValue2") == r.value2);
        CHECK(e.attr("AValueType2") == r.type2);
    }
    CHECK(listed.size() == 8);
    for (const Object* t : tweaks()) {
        CAPTURE(t->element->name);
        CHECK((listed.count(t->element->name) == 1) == !t->element->attr("AValue2").empty());
    }
}

TEST_CASE("exactly the catalogued tweaks have an editor frame") {
    std::set<std::string> listed;
    for (const EditorRow& r : kEditors) {
        CAPTURE(r.tweak);
        listed.insert(r.tweak);
        const Object* o = findObject(r.tweak);
        REQUIRE(o);
        const Element& e = *o->element;
        CHECK(o->parent == r.group);
        CHECK(e.attr("AFrame") == r.frame);
        CHECK(e.attr("RootKey1") == r.root);
        CHECK(e.attr("AKey1") == r.key);
        CHECK(e.attr("AValue1") == r.value);
        CHECK(e.attr("AValueType1") == r.type);
    }
    CHECK(listed.size() == 30);
    for (const Object* t : tweaks()) {
        if (listed.count(t->element->name)) continue;
        CAPTURE(t->element->name);
        const char* plain = t->parent == "Group_IEUserToolbarBtn" ? "frameToolbarButtons" : "frameCheckBox";
        CHECK(t->element->attr("AFrame") == plain);
    }
}

TEST_CASE("every object has a description that fits the main window") {
    const Element& descriptions = shippedSection("Description");
    CHECK(descriptions.children.size() == 530);

    std::map<std::string, const Element*> entries;
    for (const Element& e : descriptions.children) {
        CAPTURE(e.name);
        CHECK(entries.emplace(e.name, &e).second);  // one entry per name
        CHECK(e.attrNames() == std::vector<std::string>{"Caption", "Descr", "Supported", "Windows"});
        const std::string caption = e.attr("Caption"), descr = e.attr("Descr"), supported = e.attr("Supported");
        CHECK_FALSE(caption.empty());
        CHECK(caption.size() <= 71);
        CHECK(descr.size() <= 369);
        CHECK(supported.size() <= 80);
        // The reader takes values verbatim, so markup characters would show as written.
        CHECK((caption + descr + supported).find_first_of("&<>") == std::string::npos);
        // A range the program could not read would grey nothing: the generator and the
        // program must agree on every one.
        CHECK(ValidWindowsRange(widen(e.attr("Windows"))));
        if (!e.attr("Windows").empty()) CHECK_FALSE(supported.empty());
    }

    std::set<std::string> expected(std::begin(kExtraDescriptions), std::end(kExtraDescriptions));
    for (const Object& o : objects()) expected.insert(o.element->name);
    std::set<std::string> actual;
    for (const auto& [name, e] : entries) actual.insert(name);
    CHECK(actual == expected);

    for (const GroupRow& g : kGroups) {
        CAPTURE(g.name);
        REQUIRE(entries.count(g.name));
        CHECK(entries[g.name]->attr("Caption") == g.caption);
    }
    for (const DescriptionRow& r : kGivenTexts) {
        CAPTURE(r.name);
        REQUIRE(entries.count(r.name));
        CHECK(entries[r.name]->attr("Caption") == r.caption);
        CHECK(entries[r.name]->attr("Descr") == r.descr);
    }
    const std::set<std::string> emptyDescr{"Group_CommonSystem", "Group_CommonNetwork", "Group_NetworkCtrl"};
    for (const auto& [name, e] : entries) {
        CAPTURE(name);
        // Every object the user can select explains itself; only these groups say nothing.
        CHECK(e->attr("Descr").empty() == (emptyDescr.count(name) == 1));
    }
}

TEST_CASE("the shipped catalogue is the specified one with exactly the rows of corrections.tsv applied") {
    // specified() undid every row after finding its new value in place; what is left must be
    // the specified tables, attribute by attribute.
    const auto tree = readTable("tree.tsv", {"name", "parent", "AType", "AFrame", "AKey1", "AValue1", "AValueType1",
                                             "AKey2", "AValue2", "AValueType2", "RootKey1", "RootKey2", "img16",
                                             "img32"});
    const std::vector<Object>& all = objects();
    REQUIRE(all.size() == tree.size());
    for (std::size_t i = 0; i < tree.size(); ++i) {
        const std::vector<std::string>& row = tree[i];
        CAPTURE(row[0]);
        CHECK(all[i].element->name == row[0]);
        CHECK(all[i].parent == row[1]);
        std::vector<std::pair<std::string, std::string>> attrs;
        for (std::size_t a = 0; a < kObjectAttributes.size(); ++a)
            if (a < 10 || !row[2 + a].empty()) attrs.emplace_back(kObjectAttributes[a], row[2 + a]);
        CHECK(all[i].element->attrs == attrs);
    }
    const auto regkeys = readTable("regkeys.tsv", {"alias", "path"});
    const Element& regKey = section("RegKey");
    REQUIRE(regKey.children.size() == regkeys.size());
    for (std::size_t i = 0; i < regkeys.size(); ++i) {
        CAPTURE(regkeys[i][0]);
        CHECK(regKey.children[i].name == regkeys[i][0]);
        CHECK(regKey.children[i].attrs == std::vector<std::pair<std::string, std::string>>{{"Value", regkeys[i][1]}});
    }

    // Every difference between the shipped and the specified catalogue is a row, and every
    // row a difference.
    std::set<std::pair<std::string, std::string>> differences, rows;
    const std::vector<Object>& shippedAll = shippedObjects();
    REQUIRE(shippedAll.size() == all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Element &was = *all[i].element, &is = *shippedAll[i].element;
        REQUIRE(was.name == is.name);
        REQUIRE(was.attrNames() == is.attrNames());
        for (std::size_t a = 0; a < was.attrs.size(); ++a)
            if (was.attrs[a].second != is.attrs[a].second) differences.insert({was.name, was.attrs[a].first});
    }
    for (const Element& alias : shippedSection("RegKey").children) {
        const Element* before = regKey.child(alias.name);
        if (!before || before->attr("Value") != alias.attr("Value")) differences.insert({alias.name, "RegKey"});
    }
    const std::set<std::string> fields{"AFrame",      "AKey1",    "AValue1",  "AValueType1", "AKey2",
                                       "AValue2",     "AValueType2", "RootKey1", "RootKey2", "RegKey"};
    for (const Correction& c : corrections()) {
        CAPTURE(c.name);
        CAPTURE(c.field);
        CHECK(fields.count(c.field) == 1);
        CHECK(rows.insert({c.name, c.field}).second);  // one row per field
        CHECK(c.specified != c.now);
        CHECK(c.source.find(' ') != std::string::npos);  // names a document, not just a word
    }
    CHECK(differences == rows);
    CHECK(rows.size() == 47);
}

TEST_CASE("the corrected catalogue: its totals, its aliases, and value types the engine knows") {
    const std::vector<Object>& all = shippedObjects();
    using Counts = std::map<std::string, int>;
    CHECK(countBy("AValueType1", false, all) ==
          Counts{{"Integer10", 322}, {"Integer01", 60}, {"String", 24}, {"Integer21", 20}, {"String10", 15},
                 {"Integer20", 5}, {"String_yesno", 4}, {"CLSID", 3}, {"String01", 3}, {"String_noyes", 3},
                 {"String_YesNo", 3}, {"String_NY", 2}, {"String_NoYes", 2}, {"Integer", 2}, {"Integer43", 1},
                 {"Integer31", 1}, {"Integer30", 1}});
    CHECK(countBy("AValueType2", true, all) == Counts{{"Integer10", 7}, {"Integer01", 1}, {"String_NoYes", 1}});
    CHECK(countBy("RootKey1", false, all) ==
          Counts{{"HKEY_CURRENT_USER", 379}, {"HKEY_LOCAL_MACHINE", 89}, {"HKEY_CLASSES_ROOT", 3}});
    CHECK(countBy("RootKey2", true, all) == Counts{{"HKEY_LOCAL_MACHINE", 6}, {"HKEY_CURRENT_USER", 3}});
    CHECK(countBy("AFrame", false, all) ==
          Counts{{"frameCheckBox", 419}, {"frameToolbarButtons", 23}, {"frameStringEdit", 18},
                 {"frameFileNameEdit", 5}, {"frameDirectoryEdit", 2}, {"frameDrives", 2}, {"frameApplications", 2}});

    // The specified aliases stay as they were; the new ones follow them.
    const Element& regKey = shippedSection("RegKey");
    REQUIRE(regKey.children.size() == std::size(kAliases) + 3);
    for (std::size_t i = 0; i < std::size(kAliases); ++i) CHECK(regKey.children[i].name == kAliases[i].alias);
    std::map<std::string, int> references;
    for (const Object& o : all)
        for (const char* key : {"AKey1", "AKey2"})
            if (const std::string alias = o.element->attr(key); !alias.empty()) ++references[alias];
    for (const auto& [alias, count] : references) {
        CAPTURE(alias);
        CHECK(regKey.child(alias) != nullptr);
    }
    CHECK(references["EventLog"] == 0);
    CHECK(references["EventLog_Application"] == 1);
    CHECK(references["EventLog_System"] == 1);
    CHECK(references["IE_Policies"] == 1);

    // Every value type the shipped tweaks name has a row in the engine's table.
    for (const Object* t : tweaks(all))
        for (const char* type : {"AValueType1", "AValueType2"}) {
            const std::string name = t->element->attr(type);
            CAPTURE(t->element->name);
            CAPTURE(name);
            if (!name.empty()) CHECK(FindValueType(widen(name)) != nullptr);
        }
}

TEST_CASE("the scheme reader and the lookups see the same catalogue") {
    TXMLDataModule module;
    module.FXml.loadFromBytes(readShipped());
    XMLDataModule = &module;
    const XmlElement* treeItem = getElem(L"TreeItem", nullptr);
    REQUIRE(treeItem);

    for (const Object& o : shippedObjects()) {
        const Element& e = *o.element;
        CAPTURE(e.name);
        // Looked up from its own group, as the tweak engine does, so the repeated name resolves too.
        const XmlElement* start = o.parent.empty() ? treeItem : getElem(widen(o.parent), treeItem);
        REQUIRE(start);
        TAppObjectsRec record;
        getAppObject(widen(e.name), start, record);
        CHECK(record.AName == widen(e.name));
        CHECK(record.AType == widen(e.attr("AType")));
        CHECK(record.AFrame == widen(e.attr("AFrame")));
        CHECK(record.AKey1 == widen(e.attr("AKey1")));
        CHECK(record.AValue1 == widen(e.attr("AValue1")));
        CHECK(record.AValueType1 == widen(e.attr("AValueType1")));
        CHECK(record.AKey2 == widen(e.attr("AKey2")));
        CHECK(record.AValue2 == widen(e.attr("AValue2")));
        CHECK(record.AValueType2 == widen(e.attr("AValueType2")));
        CHECK(record.RootKey1 == widen(e.attr("RootKey1")));
        CHECK(record.RootKey2 == widen(e.attr("RootKey2")));
        CHECK(record.ImgIndex16 == (e.has("img16") ? std::stoi(e.attr("img16")) : -1));
        CHECK(record.imgIndex32 == (e.has("img32") ? std::stoi(e.attr("img32")) : -1));
        TDescriptionRec description;
        getDescription(widen(e.name), description);
        CHECK_FALSE(description.Caption.empty());
        CHECK(description.Caption == getCaption(widen(e.name)));
        const Element* entry = shippedSection("Description").child(e.name);
        REQUIRE(entry);
        CHECK(getSupported(widen(e.name)) == widen(entry->attr("Supported")));
        CHECK(getWindows(widen(e.name)) == widen(entry->attr("Windows")));
    }
    for (const Element& alias : shippedSection("RegKey").children) {
        CAPTURE(alias.name);
        CHECK(getRegKey(widen(alias.name)) == widen(alias.attr("Value")));
    }
    // Searched from the whole tree, the repeated name resolves to its first place.
    const XmlElement* first = getElem(L"NoNetConnectDisconnect", treeItem);
    const XmlElement* commonNetwork = getElem(L"Group_CommonNetwork", treeItem);
    REQUIRE(commonNetwork);
    CHECK(first == getElem(L"NoNetConnectDisconnect", commonNetwork));
    XMLDataModule = nullptr;
}
