#include "registry/cpapplets.h"

#include <cwchar>

#include "registry/regaccess.h"
#include "scheme/xmldata.h"

std::optional<AppletLocation> AppletsKey()
{
    TAppObjectsRec object;
    getAppObject(CPAppletsGroup, getElem(L"TreeItem", nullptr), object);
    if (object.AName.empty() || object.AKey1.empty()) return std::nullopt;
    std::wstring keyPath = getRegKey(object.AKey1);
    if (keyPath.empty()) return std::nullopt;
    return AppletLocation{RootKeyByName(object.RootKey1), std::move(keyPath)};
}

void GetAppletState(const std::wstring& appletPath, TCheckBoxRec& record)
{
    record.SetValue = record.Exists1 = record.SetValue1 = record.Exists2 = record.SetValue2 = false;
    record.cValue.clear();
    record.nValue = 0;
    const std::optional<AppletLocation> location = AppletsKey();
    if (!location) return;
    record.Exists1 = ValuePresent(location->Root, location->KeyPath, appletPath);
    if (record.Exists1)
        record.SetValue1 = ReadStrOrDefault(location->Root, location->KeyPath, appletPath, L"") == AppletHiddenText;
    record.SetValue = record.SetValue1;
}

std::optional<RegistryWrite> PlanAppletState(const std::wstring& appletPath, bool hidden, PlanScope scope)
{
    const std::optional<AppletLocation> location = AppletsKey();
    if (!location) return std::nullopt;
    if (scope == PlanScope::Changed) {
        TCheckBoxRec current;
        GetAppletState(appletPath, current);
        if (current.SetValue == hidden) return std::nullopt;
    }
    RegistryWrite write;
    write.op = hidden ? RegistryWrite::Op::WriteString : RegistryWrite::Op::DeleteValue;
    write.root = location->Root;
    write.keyPath = location->KeyPath;
    write.valueName = appletPath;
    if (hidden) write.text = AppletHiddenText;
    return write;
}

void ApplyAppletState(const std::wstring& appletPath, bool hidden)
{
    if (const std::optional<RegistryWrite> write = PlanAppletState(appletPath, hidden)) ExecuteRegistryWrite(*write);
}

std::wstring AppletCaption(const std::wstring& inFolderName) { return L" Hide " + inFolderName; }

std::wstring JoinAppletPath(const std::vector<ShellLevel>& levels)
{
    std::wstring path;
    for (const ShellLevel& level : levels) {
        if (!path.empty()) path += L'\\';
        path += level.ClassId ? L"::" + *level.ClassId : level.ParsingName;
    }
    return path;
}

std::wstring ClassIdText(std::uint32_t data1, std::uint16_t data2, std::uint16_t data3, const std::uint8_t (&data4)[8])
{
    wchar_t text[39];
    std::swprintf(text, 39, L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(data1),
                  static_cast<unsigned>(data2), static_cast<unsigned>(data3), data4[0], data4[1], data4[2], data4[3],
                  data4[4], data4[5], data4[6], data4[7]);
    return text;
}
