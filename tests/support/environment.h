#pragma once
// What a Wine test gets from CTest besides the source tree (files.h): the product's
// executable (QM_EXE) and the folder for screenshots (QM_ARTIFACTS), as Windows paths.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "base/win/handles.h"
#include "tests/support/files.h"
#include "tests/support/where.h"

namespace testsupport {

// The variable's value; a Unix path from the shell is named by Wine's Z: drive.
inline std::wstring env(const wchar_t* name, const Where& where = Where::current()) {
    const wchar_t* value = _wgetenv(name);
    require(value != nullptr, "environment variable " + toUtf8(name) + " is not set", where);
    std::wstring text = value;
    if (!text.empty() && text[0] == L'/') text = L"Z:" + text;
    return text;
}

// The folder for screenshots and other files to look at after a run; created on first use.
inline fs::path artifacts(const Where& where = Where::current()) {
    const fs::path folder = env(L"QM_ARTIFACTS", where);
    fs::create_directories(folder);
    return folder;
}

// The product's executable mapped as data, for its resources: menu, accelerators, dialogs,
// icons and the scheme (APPSCHEME).
class ProductResources {
public:
    explicit ProductResources(const Where& where = Where::current())
        : module_(LoadLibraryExW(env(L"QM_EXE", where).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {
        require(static_cast<bool>(module_), "cannot map QM_EXE, error " + std::to_string(GetLastError()), where);
    }
    HMODULE get() const { return module_.get(); }

private:
    UniqueModule module_;
};

}  // namespace testsupport
