#pragma once

#include <cstddef>
#include <cstdint>

namespace bg::md5 {

// Streaming MD5 digest.
class Digest {
public:
    Digest();
    void update(const void* data, size_t length);
    void finish(unsigned char out[16]);

private:
    void transform(const unsigned char block[64]);

    uint32_t state_[4];
    uint64_t length_ = 0;
    unsigned char buffer_[64];
    size_t used_ = 0;
};

} // namespace bg::md5
