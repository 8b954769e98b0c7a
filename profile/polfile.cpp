#include "profile/polfile.h"

#include <string>

#include "base/text.h"

namespace {

constexpr std::uint32_t Signature = 0x67655250;  // "PReg"
constexpr std::uint32_t Version = 1;
const wchar_t* const DeleteValuePrefix = L"**del.";
const wchar_t* const DeleteValuesName = L"**delvals.";

void appendUnit(std::vector<std::uint8_t>& out, wchar_t c) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>((static_cast<std::uint32_t>(c) >> 8) & 0xFF));
}

void appendDword(std::vector<std::uint8_t>& out, std::uint32_t n) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
}

void appendRecord(std::vector<std::uint8_t>& out, const std::wstring& key, const std::wstring& value, RegType type,
                  const std::vector<std::uint8_t>& data) {
    appendUnit(out, L'[');
    const std::vector<std::uint8_t> keyBytes = toUtf16le(key, true);
    out.insert(out.end(), keyBytes.begin(), keyBytes.end());
    appendUnit(out, L';');
    const std::vector<std::uint8_t> valueBytes = toUtf16le(value, true);
    out.insert(out.end(), valueBytes.begin(), valueBytes.end());
    appendUnit(out, L';');
    appendDword(out, type);
    appendUnit(out, L';');
    appendDword(out, static_cast<std::uint32_t>(data.size()));
    appendUnit(out, L';');
    out.insert(out.end(), data.begin(), data.end());
    appendUnit(out, L']');
}

ProfileError offsetError(std::size_t offset, const std::wstring& what) {
    return ProfileError(L"byte offset " + std::to_wstring(offset) + L": " + what);
}

class PolicyReader {
public:
    PolicyReader(const std::vector<std::uint8_t>& bytes, RegRoot root) : bytes_(bytes), root_(root) {}

    std::vector<ProfileKey> read() {
        if (bytes_.size() < 8) throw offsetError(0, L"not a Registry.pol file: it is shorter than its 8-byte header");
        if (!HasPolicySignature(bytes_))
            throw offsetError(0, L"not a Registry.pol file: it does not begin with \"PReg\"");
        at_ = 4;
        if (const std::uint32_t version = dword(); version != Version)
            throw offsetError(4, L"version " + std::to_wstring(version) + L" is not supported, only version 1");
        while (at_ < bytes_.size()) record();
        return std::move(keys_);
    }

private:
    void record() {
        start_ = at_;
        expect(L'[', L"\"[\" at the start of a record");
        const std::wstring key = name();
        expect(L';', L"\";\" after the key name");
        const std::wstring value = name();
        expect(L';', L"\";\" after the value name");
        const RegType type = dword();
        expect(L';', L"\";\" after the data type");
        const std::uint32_t size = dword();
        expect(L';', L"\";\" after the data size");
        need(size);
        std::vector<std::uint8_t> data(bytes_.begin() + static_cast<std::ptrdiff_t>(at_),
                                       bytes_.begin() + static_cast<std::ptrdiff_t>(at_ + size));
        at_ += size;
        expect(L']', L"\"]\" at the end of the record");

        if (sameTextNoCase(value, DeleteValuesName)) {
            ProfileKey& k = keyFor(key, true);
            k.Remove = ProfileKey::Removal::Values;
        } else if (value.size() > 6 && sameTextNoCase(value.substr(0, 6), DeleteValuePrefix)) {
            keyFor(key, false).Values.push_back({value.substr(6), std::nullopt});
        } else if (!value.empty() || type != kRegNone || size != 0) {  // else it only creates the key
            keyFor(key, false).Values.push_back({value, RegValue{type, std::move(data)}});
        }
    }

    // Records of one key in a row make one key; a removal starts a new one unless nothing
    // was set in the key yet.
    ProfileKey& keyFor(const std::wstring& path, bool removal) {
        if (!keys_.empty() && sameTextNoCase(keys_.back().Path, path) &&
            (!removal || (keys_.back().Values.empty() && keys_.back().Remove == ProfileKey::Removal::None)))
            return keys_.back();
        keys_.push_back({root_, path, ProfileKey::Removal::None, true, {}});
        return keys_.back();
    }

    void need(std::size_t n) {
        if (bytes_.size() - at_ < n)
            throw offsetError(bytes_.size(),
                              L"the file ends inside the record that begins at byte offset " + std::to_wstring(start_));
    }

    wchar_t unit() {
        need(2);
        const auto c = static_cast<wchar_t>(bytes_[at_] | (bytes_[at_ + 1] << 8));
        at_ += 2;
        return c;
    }

    std::uint32_t dword() {
        need(4);
        const std::uint32_t n = bytes_[at_] | (bytes_[at_ + 1] << 8) | (bytes_[at_ + 2] << 16) |
                                (static_cast<std::uint32_t>(bytes_[at_ + 3]) << 24);
        at_ += 4;
        return n;
    }

    void expect(wchar_t c, const wchar_t* what) {
        const std::size_t offset = at_;
        if (unit() != c) throw offsetError(offset, std::wstring(what) + L" expected");
    }

    // A NUL-terminated name.
    std::wstring name() {
        const std::size_t begin = at_;
        while (unit() != 0) {
        }
        return fromUtf16le(bytes_.data() + begin, at_ - begin - 2);
    }

    const std::vector<std::uint8_t>& bytes_;
    RegRoot root_;
    std::size_t at_ = 0, start_ = 0;
    std::vector<ProfileKey> keys_;
};

}  // namespace

std::vector<std::uint8_t> PolicyFileBytes(const std::vector<ProfileKey>& keys, RegRoot root) {
    std::vector<std::uint8_t> out;
    appendDword(out, Signature);
    appendDword(out, Version);
    // "**del." and "**delvals." records carry a blank text, as the policy editor writes them.
    const std::vector<std::uint8_t> blank = toUtf16le(L" ", true);
    for (const ProfileKey& key : keys) {
        if (key.Root != root) continue;
        if (key.Remove != ProfileKey::Removal::None) {
            // A policy file removes values, not keys: the key is emptied, then filled again.
            appendRecord(out, key.Path, DeleteValuesName, kRegSz, blank);
            if (!key.Recreate) continue;
        }
        for (const ProfileValue& v : key.Values) {
            if (v.Data)
                appendRecord(out, key.Path, v.Name, v.Data->type, v.Data->data);
            else
                appendRecord(out, key.Path, DeleteValuePrefix + v.Name, kRegSz, blank);
        }
    }
    return out;
}

std::vector<ProfileKey> ReadPolicyFile(const std::vector<std::uint8_t>& bytes, RegRoot root) {
    return PolicyReader(bytes, root).read();
}

bool HasPolicySignature(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'R' && bytes[2] == 'e' && bytes[3] == 'g';
}
