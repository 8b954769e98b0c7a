// The portable SHA-256 (FIPS 180-4), HMAC (RFC 2104) and PBKDF2 (RFC 8018).
#include "base/crypto.h"

#include <algorithm>
#include <array>

namespace portable {

namespace {

constexpr std::array<std::uint32_t, 64> K{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::size_t BlockSize = 64, DigestSize = 32;

std::uint32_t rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

class Sha256 {
public:
    void update(std::span<const std::uint8_t> data) {
        for (std::uint8_t byte : data) {
            block_[used_++] = byte;
            if (used_ == BlockSize) compress();
        }
        bits_ += static_cast<std::uint64_t>(data.size()) * 8;
    }
    Bytes finish() {
        const std::uint64_t bits = bits_;
        block_[used_++] = 0x80;
        if (used_ > BlockSize - 8) {
            std::fill(block_.begin() + static_cast<std::ptrdiff_t>(used_), block_.end(), 0);
            used_ = BlockSize;
            compress();
        }
        std::fill(block_.begin() + static_cast<std::ptrdiff_t>(used_), block_.end() - 8, 0);
        for (int i = 0; i < 8; ++i) block_[BlockSize - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
        used_ = BlockSize;
        compress();
        Bytes digest(DigestSize);
        for (std::size_t i = 0; i < 8; ++i)
            for (int b = 0; b < 4; ++b) digest[i * 4 + b] = static_cast<std::uint8_t>(h_[i] >> (24 - 8 * b));
        return digest;
    }

private:
    void compress() {
        std::array<std::uint32_t, 64> w;
        for (std::size_t i = 0; i < 16; ++i)
            w[i] = (std::uint32_t{block_[i * 4]} << 24) | (std::uint32_t{block_[i * 4 + 1]} << 16) |
                   (std::uint32_t{block_[i * 4 + 2]} << 8) | block_[i * 4 + 3];
        for (std::size_t i = 16; i < 64; ++i) {
            const std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        std::uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
        for (std::size_t i = 0; i < 64; ++i) {
            const std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + K[i] + w[i];
            const std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        h_[0] += a, h_[1] += b, h_[2] += c, h_[3] += d, h_[4] += e, h_[5] += f, h_[6] += g, h_[7] += h;
        used_ = 0;
    }

    std::array<std::uint32_t, 8> h_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                    0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, BlockSize> block_{};
    std::size_t used_ = 0;
    std::uint64_t bits_ = 0;
};

// HMAC with the key's inner and outer pads hashed once, for the many rounds of PBKDF2.
class Hmac {
public:
    explicit Hmac(std::span<const std::uint8_t> key) {
        Bytes k = key.size() > BlockSize ? sha256(key) : Bytes(key.begin(), key.end());
        k.resize(BlockSize, 0);
        std::array<std::uint8_t, BlockSize> pad;
        for (std::size_t i = 0; i < BlockSize; ++i) pad[i] = k[i] ^ 0x36;
        inner_.update(pad);
        for (std::size_t i = 0; i < BlockSize; ++i) pad[i] = k[i] ^ 0x5c;
        outer_.update(pad);
    }
    Bytes operator()(std::span<const std::uint8_t> data) const {
        Sha256 inner = inner_;
        inner.update(data);
        Sha256 outer = outer_;
        outer.update(inner.finish());
        return outer.finish();
    }

private:
    Sha256 inner_, outer_;
};

}  // namespace

Bytes sha256(std::span<const std::uint8_t> data) {
    Sha256 hash;
    hash.update(data);
    return hash.finish();
}

Bytes hmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data) { return Hmac(key)(data); }

Bytes pbkdf2Sha256(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                   std::uint32_t iterations, std::size_t length) {
    const Hmac prf(password);
    Bytes out;
    out.reserve(length);
    for (std::uint32_t block = 1; out.size() < length; ++block) {
        Bytes first(salt.begin(), salt.end());
        for (int i = 3; i >= 0; --i) first.push_back(static_cast<std::uint8_t>(block >> (8 * i)));
        Bytes u = prf(first);
        Bytes t = u;
        for (std::uint32_t i = 1; i < iterations; ++i) {
            u = prf(u);
            for (std::size_t j = 0; j < t.size(); ++j) t[j] ^= u[j];
        }
        const std::size_t take = std::min(t.size(), length - out.size());
        out.insert(out.end(), t.begin(), t.begin() + static_cast<std::ptrdiff_t>(take));
    }
    return out;
}

}  // namespace portable
