#pragma once
// The scrambled store format written out from its description alone, to check the store
// against: each byte XOR the key as two hex digits, twice; a rolling offset 0..9 over the
// whole text; lines of 80 characters ending CR LF.
#include "store/Encript.h"

#include <cstddef>
#include <string>
#include <vector>

namespace storeformat {

struct Decoded {
    std::string text;
    std::vector<std::size_t> lineLengths;
    bool wellFormed = true;
};

inline int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline std::string unhexOnce(const std::string& s, bool& ok) {
    std::string out;
    if (s.size() % 2) ok = false;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        int hi = hexValue(s[i]), lo = hexValue(s[i + 1]);
        if (hi < 0 || lo < 0) ok = false;
        out += static_cast<char>((hi * 16 + lo) ^ TEncriptor::ScrambleKey);
    }
    return out;
}

inline Decoded decodeFile(const std::string& file) {
    Decoded d;
    std::string joined;
    std::size_t pos = 0;
    while (pos < file.size()) {
        std::size_t end = file.find("\r\n", pos);
        if (end == std::string::npos) { d.wellFormed = false; end = file.size(); }
        d.lineLengths.push_back(end - pos);
        joined += file.substr(pos, end - pos);
        pos = end + 2;
    }
    for (std::size_t i = 0; i < joined.size(); ++i) {
        if (joined[i] < '0' || joined[i] > 'O') d.wellFormed = false;
        joined[i] = static_cast<char>(joined[i] - static_cast<int>(i % 10));
    }
    d.text = unhexOnce(unhexOnce(joined, d.wellFormed), d.wellFormed);
    return d;
}

// Writes text in the scrambled format with the given line lengths (the rest on a last line).
inline std::string encodeFile(const std::string& text, std::vector<std::size_t> lineLengths, bool emptyLines = false) {
    auto hex = [](const std::string& s) {
        static const char digits[] = "0123456789ABCDEF";
        std::string out;
        for (unsigned char c : s) {
            unsigned char b = c ^ TEncriptor::ScrambleKey;
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        return out;
    };
    std::string body = hex(hex(text));
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(body[i] + i % 10);
    std::string file;
    std::size_t pos = 0, line = 0;
    if (emptyLines) file += "\r\n";
    while (pos < body.size()) {
        std::size_t len = line < lineLengths.size() ? lineLengths[line] : body.size() - pos;
        file += body.substr(pos, len) + "\r\n";
        if (emptyLines) file += "\n\r\n";
        pos += len;
        ++line;
    }
    return file;
}

}  // namespace storeformat
