// The crypt text operations on outside text: base64, hex, AES and the value encoding read any input
// without fault; what the writers make reads back to what was written.
#include "fuzz_check.h"

#include <bridge/crypt.h>
#include <bridge/value.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bg::Crypt crypt;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = bytes.c_str(); // up to the first zero, as the C-string operations see it
    static const unsigned char key16[] = "0123456789abcdef";
    const std::string key = "norvo.zq_&^%*_84";

    // Reading outside text.
    crypt.base64_decode(bytes);
    std::vector<unsigned char> out(size + 16);
    crypt.base64_decode_buf(out.data(), text.c_str(), int(out.size()));
    crypt.base64_decode_buf(out.data(), text.c_str(), 3);
    crypt.hex_decode(bytes.data(), int(size), out.data(), int(out.size()));
    crypt.hex_decode(bytes.data(), int(size), out.data(), 1);
    bool ok = false;
    crypt.aes_decrypt(bytes, key, &ok);
    crypt.aes_decrypt(bytes, bytes, &ok);
    crypt.aes128_decrypt(text.c_str(), key16);
    char* plain = nullptr;
    if (crypt.aes128_decrypt_buf(text.c_str(), int(text.size()), &plain, key16) > 0)
        crypt.free_buffer(plain);
    crypt.decode_value(bg::Value(text), 0x5A);
    crypt.decode_text(data, int(size));
    crypt.hidden_text_aux(bytes, text);
    crypt.from_units(crypt.to_units(bytes));

    // Writing, then reading back.
    FUZZ_CHECK(crypt.base64_decode(crypt.base64_encode(bytes)) == bytes);
    const std::string cipher = crypt.aes_encrypt(bytes, key, &ok);
    if (!bytes.empty()) {
        FUZZ_CHECK(ok);
        FUZZ_CHECK(crypt.aes_decrypt(cipher, key, &ok) == bytes && ok);
    }
    std::vector<char> hex(size * 2 + 1);
    crypt.hex_encode(data, int(size), hex.data(), int(hex.size()));
    std::vector<unsigned char> back(size + 1);
    FUZZ_CHECK(crypt.hex_decode(hex.data(), int(size * 2), back.data(), int(back.size())) == int(size));
    FUZZ_CHECK(std::string(reinterpret_cast<char*>(back.data()), size) == bytes);
    const bg::Value encoded = crypt.encode_value(bg::Value(text), 0x5A);
    FUZZ_CHECK(crypt.decode_value(encoded, 0x5A) == bg::Value(text));
    return 0;
}
