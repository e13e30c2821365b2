#pragma once

#include <string>

namespace zov_crypt {

// MD5 digests as text. Stateless and thread-safe.
class MD5 {
public:
    // The digest of the bytes of `data` as 32 lower-case hex digits.
    static std::string md5Data(const std::string& data);
};

} // namespace zov_crypt
