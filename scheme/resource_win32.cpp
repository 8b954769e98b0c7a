#include <windows.h>

#include "scheme/xml.h"

namespace {

HMODULE moduleOfThisCode() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&moduleOfThisCode), &module);
    return module;
}

}  // namespace

void XmlDocument::loadFromResource(const std::wstring& name, void* module) {
    clear();
    const HMODULE source = module ? static_cast<HMODULE>(module) : moduleOfThisCode();
    // Found by name and type alone, whatever language it is stored under.
    const HRSRC info = FindResourceW(source, name.c_str(), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
    const HGLOBAL loaded = info ? LoadResource(source, info) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) throw EXmlReaderError(L"Resource " + name + L" not found");
    loadFromBytes(std::string_view(static_cast<const char*>(data), SizeofResource(source, info)));
}
