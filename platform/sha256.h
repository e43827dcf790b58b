// SHA-256 of a byte stream fed in pieces, so that a download is hashed as its
// body arrives instead of being read back from the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class Sha256 {
public:
    Sha256();
    void update(const void* data, std::size_t size);
    // The digest of everything fed so far, as 64 lower-case hexadecimal
    // digits. It pads the stream: feed nothing after it.
    [[nodiscard]] std::string hex_digest();

private:
    void compress(const unsigned char* block);
    std::uint32_t state_[8];
    unsigned char block_[64];  // the pieces' bytes that do not yet fill a block
    std::size_t held_ = 0;  // how many of block_ are in use
    std::uint64_t length_ = 0;  // bytes fed in all
};

}  // namespace platform
