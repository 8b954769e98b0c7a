#include "profile/profilefile.h"

#include <fstream>
#include <iterator>

#include "base/text.h"
#include "profile/polfile.h"
#include "profile/regfile.h"

namespace fs = std::filesystem;

namespace {

const wchar_t* const PolicyFileName = L"Registry.pol";

struct Part {
    const wchar_t* folder;
    RegRoot root;
};
const Part Parts[] = {{L"Machine", kHkeyLocalMachine}, {L"User", kHkeyCurrentUser}};

// The path for messages: its UTF-8 form converts losslessly on every platform.
std::wstring pathText(const fs::path& path) {
    const std::u8string name = path.u8string();
    return fromUtf8({reinterpret_cast<const char*>(name.data()), name.size()});
}

std::vector<std::uint8_t> readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ProfileError(L"\"" + pathText(file) + L"\" cannot be opened");
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) throw ProfileError(L"\"" + pathText(file) + L"\" cannot be read");
    return bytes;
}

}  // namespace

RegRoot PolicyRootOfFolder(const fs::path& file) {
    const std::wstring folder = pathText(file.parent_path().filename());
    for (const Part& part : Parts)
        if (sameTextNoCase(folder, part.folder)) return part.root;
    return 0;
}

std::vector<ProfileSource> PolicyFolderParts(const fs::path& folder) {
    std::vector<ProfileSource> parts;
    for (const Part& part : Parts) {
        const fs::path file = folder / part.folder / PolicyFileName;
        std::error_code ec;
        if (fs::is_regular_file(file, ec)) parts.push_back({file, part.root});
    }
    return parts;
}

std::optional<ProfileSource> OtherPolicyPart(const fs::path& file) {
    const RegRoot root = PolicyRootOfFolder(file);
    if (!root) return std::nullopt;
    for (const Part& part : Parts) {
        if (part.root == root) continue;
        const fs::path other = file.parent_path().parent_path() / part.folder / file.filename();
        std::error_code ec;
        if (fs::is_regular_file(other, ec)) return ProfileSource{other, part.root};
    }
    return std::nullopt;
}

std::vector<ProfileSource> ProfileSourcesOf(const fs::path& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        std::vector<ProfileSource> parts = PolicyFolderParts(path);
        if (parts.empty())
            throw ProfileError(L"\"" + pathText(path) + L"\" holds neither Machine\\Registry.pol nor User\\Registry.pol");
        return parts;
    }
    if (!fs::exists(path, ec)) throw ProfileError(L"\"" + pathText(path) + L"\" does not exist");
    return {{path, IsPolicyFile(path) ? PolicyRootOfFolder(path) : 0}};
}

bool IsPolicyFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ProfileError(L"\"" + pathText(file) + L"\" cannot be opened");
    char head[4] = {};
    in.read(head, 4);
    return HasPolicySignature(std::vector<std::uint8_t>(head, head + in.gcount()));
}

std::vector<ProfileKey> ReadProfile(const std::vector<ProfileSource>& sources) {
    std::vector<ProfileKey> keys;
    for (const ProfileSource& source : sources) {
        const std::vector<std::uint8_t> bytes = readBytes(source.File);
        const bool policy = HasPolicySignature(bytes);
        if (policy && !source.Root)
            throw ProfileError(L"\"" + pathText(source.File) +
                               L"\" is a Registry.pol file outside a Machine or User folder: it does not tell whether "
                               L"it holds machine or user settings");
        std::vector<ProfileKey> read;
        try {
            read = policy ? ReadPolicyFile(bytes, source.Root) : ReadRegFile(bytes);
        } catch (const ProfileError& e) {
            throw ProfileError(L"\"" + pathText(source.File) + L"\", " + e.message());
        }
        keys.insert(keys.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
    }
    return keys;
}

void WriteProfileFile(const fs::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (out) out.close();
    if (!out) throw ProfileError(L"Unable to write the file \"" + pathText(file) + L"\"");
}
