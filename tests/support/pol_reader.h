#pragma once
// A Registry.pol reader written from the format's public description, independent of the
// writer: "PReg", version 1, then records [key;value;type;size;data] whose brackets,
// semicolons and names are UTF-16LE and whose names end in a NUL character.
#include <cstdint>
#include <map>
#include <optional>
#include <iterator>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

namespace polreader {

struct Record {
    std::u16string key, value;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

inline std::vector<Record> read(const std::vector<std::uint8_t>& bytes) {
    std::size_t at = 0;
    auto need = [&](std::size_t n) {
        if (at + n > bytes.size()) throw std::runtime_error("truncated");
    };
    auto u16 = [&]() {
        need(2);
        const char16_t c = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << 8));
        at += 2;
        return c;
    };
    auto u32 = [&]() {
        need(4);
        const std::uint32_t n = bytes[at] | (bytes[at + 1] << 8) | (bytes[at + 2] << 16) |
                                (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
        at += 4;
        return n;
    };
    auto expect = [&](char16_t c) {
        if (u16() != c) throw std::runtime_error("bad delimiter");
    };
    auto name = [&]() {
        std::u16string s;
        for (char16_t c = u16(); c != 0; c = u16()) s += c;
        return s;
    };
    if (u32() != 0x67655250u) throw std::runtime_error("bad signature");
    if (u32() != 1) throw std::runtime_error("bad version");
    std::vector<Record> records;
    while (at < bytes.size()) {
        Record r;
        expect(u'[');
        r.key = name();
        expect(u';');
        r.value = name();
        expect(u';');
        r.type = u32();
        expect(u';');
        const std::uint32_t size = u32();
        expect(u';');
        need(size);
        r.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
        at += size;
        expect(u']');
        records.push_back(std::move(r));
    }
    return records;
}

inline std::u16string lower(std::u16string s) {
    for (char16_t& c : s)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    return s;
}

// Values by lower-case key and value name, each as type and data.
struct Value {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    bool operator==(const Value&) const = default;
};
using Values = std::map<std::pair<std::u16string, std::u16string>, Value>;

// What the records do to a set of values, as Group Policy applies them: "**delvals." empties
// a key, "**del.NAME" removes one value, anything else sets it.
inline void apply(const std::vector<Record>& records, Values& values) {
    const std::u16string delvals = u"**delvals.", del = u"**del.";
    for (const Record& r : records) {
        const std::u16string key = lower(r.key);
        const std::u16string name = lower(r.value);
        if (name == delvals) {
            for (auto it = values.begin(); it != values.end();) it = it->first.first == key ? values.erase(it) : std::next(it);
        } else if (name.rfind(del, 0) == 0) {
            values.erase({key, name.substr(del.size())});
        } else {
            values[{key, name}] = {r.type, r.data};
        }
    }
}

}  // namespace polreader
