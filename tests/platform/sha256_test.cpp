// SHA-256 against the examples of FIPS 180-4 (the 448-bit one needs a second
// block for its padding), and a stream fed in pieces of every awkward size.
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
