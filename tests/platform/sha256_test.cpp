// SHA-256 against the examples of FIPS 180-4, the padding's edge lengths, and
// a stream fed in pieces of every awkward size.
#include "platform/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string Digest(const std::string& bytes)
{
    platform::Sha256 hash;
    hash.update(bytes.data(), bytes.size());
    return hash.hex_digest();
}

TEST(Sha256, TheStandardsExamples)
{
    EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Digest(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
}

TEST(Sha256, LengthsWherePaddingTakesAnotherBlock)
{
    // Digests from Python's hashlib of the bytes i * 7 mod 256.
    const auto bytes = [](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(i * 7);
        return s;
    };
    EXPECT_EQ(Digest(bytes(55)), "576a1bf8d4478657e6dc4af9398544765c2a92cde28478b019235cfed315fc09");
    EXPECT_EQ(Digest(bytes(56)), "9b20501dfd1d99161c257950f3444f3e49230c351c5c8e0943ef369f85f5205d");
    EXPECT_EQ(Digest(bytes(64)), "d8bc63b4fc1156e5e7d95a418b9bf54cd3174bedbc2db40f74895349b229b3c0");
}

TEST(Sha256, PiecesGiveTheDigestOfTheWhole)
{
    const std::string million(1000000, 'a');
    for (const std::size_t piece : {1u, 3u, 63u, 64u, 65u, 4096u, 999999u}) {
        platform::Sha256 hash;
        for (std::size_t at = 0; at < million.size(); at += piece)
            hash.update(million.data() + at, std::min(piece, million.size() - at));
        EXPECT_EQ(hash.hex_digest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0") << piece;
    }
}

}  // namespace
