// SHA-256, HMAC and PBKDF2-HMAC-SHA256 by published vectors (FIPS 180-4 examples, RFC 4231,
// RFC 7914 section 11 and the RFC 6070 cases computed for SHA-256). The same table runs
// natively and under Wine: the system's derivation (bcrypt.dll there) and the portable stand-in
// give the published bytes, so a password hashed by one is checked alike by the other.
#include <doctest/doctest.h>

#include <string>
#include <string_view>

#include "base/crypto.h"

namespace cryptotest {

inline Bytes bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline std::string hex(const Bytes& data) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : data) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

struct Pbkdf2Case {
    std::string_view password, salt;
    std::uint32_t iterations;
    std::size_t length;
    const char* expected;
};

using namespace std::string_view_literals;
inline const Pbkdf2Case kPbkdf2Cases[] = {
    {"passwd", "salt", 1, 64,
     "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783"},
    {"Password", "NaCl", 80000, 64,
     "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d"},
    {"password", "salt", 1, 32, "120fb6cffcf8b32c43e7225256c4f837a86548c92ccc35480805987cb70be17b"},
    {"password", "salt", 2, 32, "ae4d0c95af6b46d32d0adff928f06dd02a303f8ef3c251dfd6e2d85a95474c43"},
    {"password", "salt", 4096, 32, "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a"},
    {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 40,
     "348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c4e2a1fb8dd53e1c635518c7dac47e9"},
    {"pass\0word"sv, "sa\0lt"sv, 4096, 16, "89b69d0516f829893c696226650a8687"},
    // An empty password (what an empty answer to the prompt derives), UTF-8 beyond ASCII
    // and a key longer than a block, which HMAC hashes first.
    {"", "salt", 1, 32, "f135c27993baf98773c5cdb40a5706ce6a345cde61b000a67858650cd6a324d7"},
    {"\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c", "salt", 2, 32,
     "c3d005f4ed62cf1486e15634a6d6c08fede54710f9b13fb615ee9b4f02cae3fe"},
    {"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk", "salt", 3,
     32, "219c68bb88f1010f4a763b7c8fd58639c2280baf6820814c6d404891fcd85c3d"},
};

TEST_CASE("PBKDF2-HMAC-SHA256: the system's and the portable derivation give the published bytes") {
    for (const Pbkdf2Case& c : kPbkdf2Cases) {
        CAPTURE(c.expected);
        const Bytes password = bytes(c.password), salt = bytes(c.salt);
        CHECK(hex(pbkdf2Sha256(password, salt, c.iterations, c.length)) == c.expected);
        CHECK(hex(portable::pbkdf2Sha256(password, salt, c.iterations, c.length)) == c.expected);
    }
}

TEST_CASE("SHA-256 and HMAC-SHA-256 of the portable stand-in") {
    const struct {
        std::string message;
        const char* expected;
    } digests[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        // Lengths around the padding's edge: the length field fits the block, or needs another.
        {std::string(55, 'x'), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072"},
        {std::string(56, 'x'), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e"},
        {std::string(63, 'x'), "75220b47218278e656f2013bb8f0c455a25eaf01e86c64924e9d48d89776d6f2"},
        {std::string(64, 'x'), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& d : digests) {
        CAPTURE(d.message.size());
        CHECK(hex(portable::sha256(bytes(d.message))) == d.expected);
    }
    CHECK(hex(portable::hmacSha256(bytes("Jefe"), bytes("what do ya want for nothing?"))) ==
          "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    CHECK(hex(portable::hmacSha256(Bytes(131, 0xaa), bytes("Test Using Larger Than Block-Size Key - Hash Key First"))) ==
          "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54");
}

TEST_CASE("random bytes: as many as asked, not the same twice, and agreeing derivations on them") {
    const Bytes a = randomBytes(16), b = randomBytes(16);
    CHECK(a.size() == 16);
    CHECK(a != b);
    CHECK(randomBytes(0).empty());
    // Arbitrary bytes as password and salt: the system's and the portable derivation agree.
    const Bytes password = randomBytes(40), salt = randomBytes(16);
    CHECK(pbkdf2Sha256(password, salt, 50, 32) == portable::pbkdf2Sha256(password, salt, 50, 32));
}

}  // namespace cryptotest
