#pragma once

#include <json/value.h>

#include <optional>
#include <string>

// The service's own view of a client's request: AES envelope and signature, computed with OpenSSL and
// without any of the client's code. Pure functions, safe from any thread.
namespace devservice {

// AES in ECB mode, PKCS#7 padding, standard base64 with padding and no line breaks. Keys of 16, 24 or 32
// bytes; any other key gives an empty text (encryption) or no value (decryption).
std::string aesEncrypt(const std::string& plain, const std::string& key);
std::optional<std::string> aesDecrypt(const std::string& base64, const std::string& key);

std::string md5Hex(const std::string& data);

// The text a signature is computed over: the members of `object` (the signature member included) sorted by
// name, "name=value&" each, then "&" and the salt.
std::string signatureText(const Json::Value& object);

struct SignatureCheck {
    bool valid = false;
    std::string problem; // empty when valid
};

// Checks that `object` carries the context members with their types and a signature that matches the
// signature text of the object without its signature member.
SignatureCheck verifySignature(const Json::Value& object);

} // namespace devservice
